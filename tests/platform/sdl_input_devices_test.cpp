// The SDL2 input devices, with SDL's virtual joysticks standing in for USB controllers: devices
// come and go, their axes and buttons reach a profile's mapper, and a device pulled out in the
// middle of a drive leaves the handles where they are.
#include "platform/sdl_input_devices.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <fstream>

#include "fixtures/numbered_video.h"

#include "input/device_mapper.h"
#include "input/input_rig.h"
#include "input/profile_library.h"

namespace dravolin::testing {
namespace {

using platform::SdlInputDevices;

// A headless SDL that sees only the virtual devices of the test.
class SdlDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");
    devices_ = std::make_unique<SdlInputDevices>(QString());
    ASSERT_EQ(devices_->lastError(), "");
    platform::InputDevices::Handlers h;
    // As the driving window does: a device gets its mapper the moment it is plugged in.
    h.added = [this](const platform::InputDeviceInfo& d) {
      added.push_back(d);
      if (profile_.empty()) return;
      mapper.emplace(*library.find(profile_));
      mapper->settle(devices_->axisValues(d.id), devices_->buttonStates(d.id));
    };
    h.removed = [this](int id) { removed.push_back(id); };
    h.axis = [this](int, int axis, int value) { take(mapper->axis(axis, value)); };
    h.button = [this](int, int button, bool down) { take(mapper->button(button, down)); };
    h.reportEnd = [this](int) { take(mapper->flush()); };
    devices_->setHandlers(h);
    devices_->pump();
    added.clear();  // devices of the machine, if any
  }

  void take(const std::vector<int>& lines) {
    for (int l : lines) {
      commands += (commands.empty() ? "" : " ") + std::string(input::commandName(l));
      auto x = rig.ctx();
      input::deviceCommand(x, l);
    }
  }

  // A virtual joystick plugged in and opened by the service, its mapper settled.
  SDL_Joystick* plugIn(const char* profile, int axes, int buttons, int hats = 0) {
    profile_ = profile;
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_THROTTLE, axes, buttons, hats);
    EXPECT_GE(index, 0) << SDL_GetError();
    devices_->pump();
    EXPECT_EQ(added.size(), 1u);
    if (added.empty()) return nullptr;
    joystick_ = SDL_JoystickFromInstanceID(added.back().id);
    index_ = index;
    return joystick_;
  }

  void unplug() {
    SDL_JoystickDetachVirtual(index_);
    devices_->pump();
  }

  std::unique_ptr<SdlInputDevices> devices_;
  input::ProfileLibrary library;
  std::optional<input::DeviceMapper> mapper;
  std::vector<platform::InputDeviceInfo> added;
  std::vector<int> removed;
  std::string commands;
  InputRig rig;  // P4, B8
  SDL_Joystick* joystick_ = nullptr;
  std::string profile_;
  int index_ = -1;
};

TEST_F(SdlDevices, OneHandleSweepFromEmergencyToFullPowerAndBack) {
  EXPECT_FALSE(devices_->reading());
  SDL_Joystick* j = plugIn("one-handle", 1, 8);
  ASSERT_NE(j, nullptr);
  EXPECT_TRUE(devices_->reading());
  EXPECT_EQ(added[0].guid.size(), 32u);
  EXPECT_EQ(added[0].axes, 1);
  EXPECT_EQ(added[0].buttons, 8);
  EXPECT_FALSE(added[0].gamepad);
  const int step = 997;
  for (int v = -32768; v <= 32767; v += step) {
    SDL_JoystickSetVirtualAxis(j, 0, static_cast<Sint16>(v));
    devices_->pump();
  }
  for (int v = 32767; v >= -32768; v -= step) {
    SDL_JoystickSetVirtualAxis(j, 0, static_cast<Sint16>(v));
    devices_->pump();
  }
  // Settled at 0 (B2), the sweep's first value is emergency.
  EXPECT_EQ(commands,
            "EB B8 B7 B6 B5 B4 B3 B2 B1 N P1 P2 P3 P4 P5 P4 P3 P2 P1 N B1 B2 B3 B4 B5 B6 B7 B8 EB");
  EXPECT_EQ(rig.state.BrakeHandle, -8);  // the train's own emergency
  unplug();
  EXPECT_EQ(removed.size(), 1u);
  EXPECT_FALSE(devices_->reading());
}

TEST_F(SdlDevices, ButtonEncodedAdapterGivesEveryNotchOneReportAtATime) {
  SDL_Joystick* j = plugIn("buttons", 0, 13);
  ASSERT_NE(j, nullptr);
  const struct {
    int first;  // the encoding's first button
    const char* bits;
  } reports[] = {{0, "001"},  {0, "010"},  {0, "011"},  {0, "100"},  {0, "101"},  {0, "000"},
                 {3, "0001"}, {3, "0010"}, {3, "0011"}, {3, "0100"}, {3, "0101"}, {3, "0110"},
                 {3, "0111"}, {3, "1000"}, {3, "1001"}, {3, "0000"}};
  for (const auto& r : reports) {
    for (int i = 0; r.bits[i] != 0; ++i) {
      SDL_JoystickSetVirtualButton(j, r.first + i, r.bits[i] == '1' ? SDL_PRESSED : SDL_RELEASED);
    }
    devices_->pump();
  }
  EXPECT_EQ(commands, "P1 P2 P3 P4 P5 N B1 B2 B3 B4 B5 B6 B7 B8 EB N");
}

TEST_F(SdlDevices, UnpluggedMidDriveTheHandlesStayAndANewDeviceWorks) {
  SDL_Joystick* j = plugIn("one-handle", 1, 8);
  ASSERT_NE(j, nullptr);
  SDL_JoystickSetVirtualAxis(j, 0, 21844);  // P3
  devices_->pump();
  ASSERT_EQ(rig.state.PowerHandle, 3) << commands;
  unplug();
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(rig.state.PowerHandle, 3);
  EXPECT_EQ(rig.state.BrakeHandle, 0);
  added.clear();
  commands.clear();
  j = plugIn("one-handle", 1, 8);
  ASSERT_NE(j, nullptr);
  devices_->pump();
  EXPECT_EQ(commands, "");  // plugged in at B2: no command until it moves
  EXPECT_EQ(rig.state.PowerHandle, 3);
  SDL_JoystickSetVirtualAxis(j, 0, 13106);  // P1
  devices_->pump();
  EXPECT_EQ(commands, "P1");
  EXPECT_EQ(rig.state.PowerHandle, 1);
  unplug();
}

// Hot-plug without any reading loop: a change in the device folder makes the service look.
TEST(SdlDevicesHotPlug, ADeviceNodeAppearingWakesTheService) {
  TemporaryFolder folder;
  SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");
  SdlInputDevices devices(QString::fromStdString(folder.path().string()));
  std::vector<platform::InputDeviceInfo> added;
  platform::InputDevices::Handlers h;
  h.added = [&](const platform::InputDeviceInfo& d) { added.push_back(d); };
  devices.setHandlers(h);
  devices.pump();
  added.clear();
  EXPECT_FALSE(devices.reading());
  const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_THROTTLE, 1, 2, 0);
  QCoreApplication::processEvents();
  EXPECT_TRUE(added.empty()) << "nothing is read until the folder changes";
  std::ofstream(folder.file("event7")) << "";
  QElapsedTimer waited;
  waited.start();
  while (added.empty() && waited.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  ASSERT_EQ(added.size(), 1u);
  EXPECT_TRUE(devices.reading());
  SDL_JoystickDetachVirtual(index);
  devices.pump();
  EXPECT_FALSE(devices.reading());
}

TEST_F(SdlDevices, AGamepadWorksThroughTheGameControllerInterface) {
  profile_ = "gamepad";
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = SDL_CONTROLLER_AXIS_MAX;
  desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  desc.name = "Virtual Pad";
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_GE(index, 0) << SDL_GetError();
  devices_->pump();
  ASSERT_EQ(added.size(), 1u);
  EXPECT_TRUE(added[0].gamepad);
  EXPECT_EQ(added[0].axes, SDL_CONTROLLER_AXIS_MAX);
  SDL_Joystick* j = SDL_JoystickFromInstanceID(added[0].id);
  // A trigger reads 0 to 32767 from the raw axis's -32768 to 32767.
  const auto trigger = [&](SDL_GameControllerAxis axis, int value) {
    SDL_JoystickSetVirtualAxis(j, axis, static_cast<Sint16>(2 * value - 32768));
    devices_->pump();
  };
  const auto press = [&](SDL_GameControllerButton button) {
    SDL_JoystickSetVirtualButton(j, button, SDL_PRESSED);
    devices_->pump();
    SDL_JoystickSetVirtualButton(j, button, SDL_RELEASED);
    devices_->pump();
  };
  trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 19000);  // P3
  trigger(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767);   // B8, the last service step
  trigger(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0);       // released: P3 again
  trigger(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 0);
  press(SDL_CONTROLLER_BUTTON_B);
  press(SDL_CONTROLLER_BUTTON_A);
  press(SDL_CONTROLLER_BUTTON_DPAD_UP);
  EXPECT_EQ(commands, "P3 B8 P3 N EB ATS FORWARD");
  SDL_JoystickDetachVirtual(index);
  devices_->pump();
  EXPECT_EQ(removed.size(), 1u);
}

TEST_F(SdlDevices, AFloodIsReadInBoundedParts) {
  SDL_Joystick* j = plugIn("one-handle", 1, 200);
  ASSERT_NE(j, nullptr);
  for (int round = 0; round < 4; ++round) {
    for (int b = 0; b < 200; ++b) SDL_JoystickSetVirtualButton(j, b, (round % 2) == 0);
    devices_->pump();
  }
  for (int i = 0; i < 5; ++i) devices_->pump();
  EXPECT_GE(rig.state.PowerHandle, 0);
  EXPECT_LE(rig.state.PowerHandle, 4);
  EXPECT_GE(rig.state.BrakeHandle, -8);
  unplug();
}

}  // namespace
}  // namespace dravolin::testing
