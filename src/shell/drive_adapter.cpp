#include "shell/drive_adapter.h"

#include "drive/drive.h"

namespace dravolin::shell {

namespace {

// drive::Drive as the driving window sees it.
class RealDrive final : public DriveHandlers {
 public:
  explicit RealDrive(std::unique_ptr<drive::Drive> drive) : d_(std::move(drive)) {}

  void MMTimer1Timer() override { d_->MMTimer1Timer(); }
  void Timer1Timer() override { d_->Timer1Timer(); }
  void start1Click() override { d_->start1Click(); }
  void keydowns(int virtualKey, unsigned modifiers) override {
    d_->keydowns(virtualKey, modifiers);
  }
  void AsciiDown(char key) override { d_->AsciiDown(key); }
  void WheelD() override { d_->WheelD(); }
  void WheelU() override { d_->WheelU(); }
  void RxChar(const std::string& message) override { d_->RxChar(message); }
  void ControllerCommand(int line) override { d_->ControllerCommand(line); }
  void StationClick(const std::string& itemName) override { d_->StationClick(itemName); }
  void FormCloseQuery() override { d_->FormCloseQuery(); }
  const drive::DriveData& data() const override { return d_->data(); }
  sim::TrainState& state() override { return d_->state(); }
  const sim::CabModel& cab() const override { return d_->cab(); }
  cab::ValueDisplay& valueDisplay() override { return d_->valueDisplay(); }
  drive::ShownFrame& shownFrame() override { return d_->shownFrame(); }
  const drive::Evaluation* evaluation() const override { return &d_->evaluation(); }

 private:
  std::unique_ptr<drive::Drive> d_;
};

}  // namespace

std::unique_ptr<DriveHandlers> makeDriveHandlers(std::unique_ptr<drive::Drive> drive) {
  return std::make_unique<RealDrive>(std::move(drive));
}

DriveFactory makeDriveFactory(input::ProgramInputState& program) {
  return [&program](const drive::LoadRequest& request, const drive::StartupServices& services,
                    const drive::StartupProgress& progress) -> std::unique_ptr<DriveHandlers> {
    return makeDriveHandlers(drive::Drive::FormCreate(request, services, program, progress));
  };
}

}  // namespace dravolin::shell
