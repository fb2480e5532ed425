// The USB controller settings of the Controller menu: the devices plugged in, what each axis and
// button does now under the chosen profile, and the calibration walk: the driver puts the handle
// in each position in turn ("ハンドルを P1 に合わせて「次へ」を押してください") and the measured
// values are saved for the device, to be used from then on and at every later start.
#pragma once

#include <QDialog>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <vector>

#include "input/controller_calibration.h"
#include "input/profile_library.h"
#include "platform/input_devices.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace dravolin::shell {

class CalibrationDialog final : public QDialog {
  Q_OBJECT

 public:
  // Live values are read every kLivePeriodMs while the dialog is open.
  static constexpr int kLivePeriodMs = 50;

  CalibrationDialog(platform::InputDevices& devices, const input::ProfileLibrary& profiles,
                    std::filesystem::path calibrationFolder, QWidget* parent = nullptr);

  QComboBox* deviceBox() const { return device_; }
  QComboBox* profileBox() const { return profile_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* nextButton() const { return next_; }
  QLabel* prompt() const { return prompt_; }
  // Reads the selected device's axes and buttons and shows them.
  void refresh();

 Q_SIGNALS:
  // A calibration of the device was saved.
  void saved(int deviceId);

 private:
  void deviceChanged();
  void profileChanged();
  void startWalk();
  void nextStep();
  int deviceId() const;
  const input::ControllerProfile* selectedProfile() const;

  platform::InputDevices& devices_;
  const input::ProfileLibrary& profiles_;
  std::filesystem::path folder_;
  QComboBox* device_ = nullptr;
  QComboBox* profile_ = nullptr;
  QVBoxLayout* axesLayout_ = nullptr;
  std::vector<QProgressBar*> axisBars_;
  std::vector<QLabel*> axisLabels_;
  QLabel* buttons_ = nullptr;
  QLabel* prompt_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* next_ = nullptr;
  QTimer live_;
  // The walk: the positions still to measure, and the points measured.
  struct Step {
    int axis;
    int line;
  };
  std::vector<Step> steps_;
  std::size_t step_ = 0;
  input::Calibration calibration_;
};

}  // namespace dravolin::shell
