// What the window tests share: a copy of the fixture drive's data folder (with a numbered line
// video), a drive that records the events its window forwards, and the recorded messages.
#pragma once

#include <QImage>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>
#include "platform/input_devices.h"

#include "drive/startup.h"
#include "fixtures/fake_sound_slots.h"
#include "fixtures/numbered_video.h"
#include "platform/input_devices.h"
#include "shell/drive_handlers.h"
#include "shell/driving_window.h"
#include "shell/messages.h"

namespace dravolin::testing {

// The fixture drive's data folder.
inline std::filesystem::path fixtureDriveFolder() {
  const char* root = std::getenv("DRAVOLIN_FIXTURES");
  return std::filesystem::path(root != nullptr ? root : "tests/fixtures") / "drive";
}

// A copy of the fixture drive's folder; with `frames` > 0 it gets a line video ("move\test.avi")
// of that many numbered frames.
class DataFolder {
 public:
  explicit DataFolder(int frames = 0) {
    std::filesystem::copy(fixtureDriveFolder(), folder_.path(),
                          std::filesystem::copy_options::recursive);
    if (frames > 0) {
      std::filesystem::create_directories(folder_.path() / "move");
      videoWritten_ = writeNumberedVideo((folder_.path() / "move" / "test.avi").string(), 64, 32,
                                         frames, "-c:v mjpeg -q:v 3");
    }
  }
  const std::filesystem::path& path() const { return folder_.path(); }
  bool videoWritten() const { return videoWritten_; }

 private:
  TemporaryFolder folder_;
  bool videoWritten_ = false;
};

// A drive whose handlers only record what reached them; its loading is the real one.
class RecordingDrive : public shell::DriveHandlers {
 public:
  explicit RecordingDrive(drive::DriveData data) : data_(std::move(data)) {}
  void MMTimer1Timer() override { ++simulationTicks; }
  void Timer1Timer() override {
    ++displayTicks;
    data_.cab.Title = "Test line";
  }
  void start1Click() override { log.push_back("start1Click"); }
  void keydowns(int key, unsigned mods) override {
    if (failKey == key) throw std::runtime_error("key handler failed");
    log.push_back("keydowns " + std::to_string(key) + " " + std::to_string(mods));
  }
  void AsciiDown(char c) override { log.push_back(std::string("AsciiDown ") + c); }
  void WheelD() override { log.push_back("WheelD"); }
  void WheelU() override { log.push_back("WheelU"); }
  void RxChar(const std::string& m) override { log.push_back("RxChar " + m); }
  void ControllerCommand(int line) override {
    log.push_back("ControllerCommand " + std::to_string(line));
  }
  void StationClick(const std::string& name) override { log.push_back("StationClick " + name); }
  void FormCloseQuery() override { log.push_back("FormCloseQuery"); }
  const drive::DriveData& data() const override { return data_; }
  sim::TrainState& state() override { return data_.state; }
  const sim::CabModel& cab() const override { return data_.cab; }
  cab::ValueDisplay& valueDisplay() override { return values_; }
  drive::ShownFrame& shownFrame() override { return shown_; }

  std::vector<std::string> log;
  int failKey = -1;  // keydowns throws for this key
  int simulationTicks = 0;
  int displayTicks = 0;

 private:
  drive::DriveData data_;
  cab::ValueDisplay values_;
  drive::ShownFrame shown_;
};

// One device whose state the test sets.
class FakeInputDevices : public platform::InputDevices {
 public:
  void setHandlers(Handlers h) override { handlers = std::move(h); }
  std::vector<platform::InputDeviceInfo> devices() const override { return list; }
  std::vector<int> axisValues(int id) const override { return id == 7 ? axes : std::vector<int>{}; }
  std::vector<bool> buttonStates(int id) const override {
    return id == 7 ? buttons : std::vector<bool>{};
  }
  void pump() override {}
  std::string lastError() const override { return {}; }

  Handlers handlers;
  std::vector<platform::InputDeviceInfo> list{
      {7, "Test Master Controller", "0300aabbccddeeff0011223344556677", false, 2, 8}};
  std::vector<int> axes{20000, -5};
  std::vector<bool> buttons{false, true, false, false, false, false, false, false};
};

// Records every message instead of showing a box.
class MessageRecorder {
 public:
  MessageRecorder() {
    previous_ = shell::setMessageSink(
        [this](const QString& text, shell::MessageKind) { texts.push_back(text.toStdString()); });
  }
  ~MessageRecorder() { shell::setMessageSink(previous_); }
  std::vector<std::string> texts;

 private:
  shell::MessageSink previous_;
};

// The frame number a cab-view picture shows (its top-left 64 x 32 pixels), or -1.
inline int frameNumberShown(const QImage& screen) {
  if (screen.width() < 64 || screen.height() < 32) return -1;
  platform::Bitmap b{64, 32, {}};
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 64; ++x) b.pixels.push_back(screen.pixel(x, y));
  }
  return readFrameNumber(b);
}

// Saves a window's picture into the build folder for a person to look at.
inline void saveScreenshot(QWidget& w, const char* name) {
  w.grab().save(QString(DRAVOLIN_SCREENSHOTS) + "/" + name);
}

}  // namespace dravolin::testing
