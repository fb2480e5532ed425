// One device's state turned into the controller box's commands through its profile. Only a
// change of a mapped position gives a command, so a handle the keyboard moved stays where it is
// until the device's handle moves again. Positions of the power and brake handles of a
// two-handle device are combined as the box's commands need: an applied brake wins, and the
// power notch comes back when the brake is released.
#pragma once

#include <vector>

#include "input/controller_profile.h"

namespace dravolin::input {

class DeviceMapper {
 public:
  explicit DeviceMapper(ControllerProfile profile);

  // Takes the device's present state as the starting point without giving commands (a device
  // plugged in or a drive started does not move the handles).
  void settle(const std::vector<int>& axes, const std::vector<bool>& buttons);

  // An axis moved to `value` (clamped to the raw range) or a button changed: the command lines
  // to perform, in order (usually none or one). Unmapped axes and buttons give none. A button
  // of an encoding only records its state: see flush().
  std::vector<int> axis(int axis, int value);
  std::vector<int> button(int button, bool down);
  // The end of one report of the device (the events that arrived together): the positions of
  // the button encodings whose buttons changed. A device reports a handle's buttons one by one,
  // so the combinations in between are never taken for positions.
  std::vector<int> flush();

  const ControllerProfile& profile() const { return profile_; }
  // The position an axis stands in (a command line), 0 while unknown.
  int axisPosition(int axis) const;

 private:
  struct AxisState {
    int position = 0;  // 0 unknown
    int hysteresis = 0;
  };
  // Position of the axis map at `value`, starting from `current`.
  int positionAt(const AxisMap& map, const AxisState& state, int value) const;
  // A handle of `role` now stands at `line`: the commands that follow.
  void moved(HandleRole role, int line, std::vector<int>& out);
  int encodedPosition(const ButtonEncoding& e) const;

  ControllerProfile profile_;
  std::vector<AxisState> axes_;  // parallel to profile_.axes
  std::vector<int> encoded_;     // parallel to profile_.encodings, 0 unknown
  std::vector<bool> changed_;    // parallel to profile_.encodings: a button changed
  std::vector<bool> buttons_;    // kMaxButtons
  int power_ = 0;                // positions of the separate handles, 0 unknown
  int brake_ = 0;
  int handleSent_ = 0;  // the last handle command given, 0 none
  int reverser_ = 0;
};

}  // namespace dravolin::input
