// The USB controller settings dialog: live axes and buttons, and the calibration walk through
// every position, saved for the device and used by the next drive.
#include "shell/calibration_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "fixtures/numbered_video.h"
#include "input/controller_devices.h"
#include "shell_fixture.h"

namespace dravolin::testing {
namespace {

TEST(CalibrationDialog, WalksEveryPositionAndTheNextDriveUsesIt) {
  TemporaryFolder dir;
  FakeInputDevices devices;
  const input::ProfileLibrary library;
  shell::CalibrationDialog dialog(devices, library, dir.path());
  dialog.show();
  EXPECT_EQ(dialog.deviceBox()->currentText(), "Test Master Controller");
  EXPECT_EQ(dialog.profileBox()->currentData().toString(), "one-handle");
  dialog.refresh();
  EXPECT_EQ(dialog.findChild<QLabel*>("buttons")->text(), "押されているボタン: 1(HORN)");

  int savedId = -1;
  QObject::connect(&dialog, &shell::CalibrationDialog::saved, [&](int id) { savedId = id; });
  dialog.startButton()->click();
  EXPECT_EQ(dialog.prompt()->text(),
            "ハンドルを EB に合わせて「次へ」を押してください（軸 0、1/15）");
  saveScreenshot(dialog, "calibration_dialog.png");
  // The device's handle runs the other way: EB at 30000 down to P5 near -26000, 4000 a
  // position, every other one a little off its detent.
  for (int i = 0; i < 15; ++i) {
    devices.axes[0] = 30000 - 4000 * i + (i % 2);
    dialog.nextButton()->click();
    if (i == 3) {  // not moved: refused, the walk waits on the same position
      dialog.nextButton()->click();
      EXPECT_NE(dialog.prompt()->text().indexOf("同じ位置"), -1);
    }
  }
  EXPECT_EQ(savedId, 7);
  EXPECT_EQ(dialog.prompt()->text(), "校正を保存しました。次からもこの校正を使います。");

  // The next drive takes the calibration up: standing at -6000 (N measured at -5999) gives no
  // command, -10000 (P1) and 30000 (EB) do.
  std::vector<int> commands;
  std::vector<std::string> status;
  devices.axes[0] = -6000;
  input::ControllerDevices drive(
      devices, library, dir.path(), [&](int line) { commands.push_back(line); },
      [&](const std::string& s) { status.push_back(s); });
  EXPECT_TRUE(status.empty()) << status[0];
  EXPECT_EQ(drive.profile(7)->axisMap(0)->notches.front().line, input::commandLine("P5"));
  devices.handlers.axis(7, 0, -10000);
  devices.handlers.axis(7, 0, 30000);
  EXPECT_EQ(commands, (std::vector<int>{input::commandLine("P1"), input::commandLine("EB")}));
  devices.handlers.removed(7);
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0], input::deviceRemovedText("Test Master Controller"));
}

}  // namespace
}  // namespace dravolin::testing
