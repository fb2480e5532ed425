#include "input/device_mapper.h"

#include <algorithm>
#include <climits>

namespace dravolin::input {

DeviceMapper::DeviceMapper(ControllerProfile profile)
    : profile_(std::move(profile)),
      axes_(profile_.axes.size()),
      encoded_(profile_.encodings.size(), 0),
      changed_(profile_.encodings.size(), false),
      buttons_(kMaxButtons, false) {
  for (std::size_t i = 0; i < profile_.axes.size(); ++i) {
    // Hysteresis never reaches past half of the narrowest position, so that no position can be
    // stepped over.
    int narrowest = INT_MAX;
    for (const NotchRange& n : profile_.axes[i].notches) {
      narrowest = std::min(narrowest, n.high - n.low + 1);
    }
    axes_[i].hysteresis = std::clamp(profile_.axes[i].hysteresis, 0, narrowest / 2);
  }
}

int DeviceMapper::positionAt(const AxisMap& map, const AxisState& state, int value) const {
  if (state.position != 0) {
    for (const NotchRange& n : map.notches) {
      if (n.line == state.position && value >= n.low - state.hysteresis &&
          value <= n.high + state.hysteresis) {
        return state.position;
      }
    }
  }
  for (const NotchRange& n : map.notches) {
    if (value >= n.low && value <= n.high) return n.line;
  }
  return state.position;  // between two positions: stays
}

int DeviceMapper::encodedPosition(const ButtonEncoding& e) const {
  for (const ButtonCode& c : e.codes) {
    bool match = true;
    for (std::size_t i = 0; i < e.buttons.size() && match; ++i) {
      const bool down = buttons_[static_cast<std::size_t>(e.buttons[i])];
      match = c.pattern[i] == 'x' || (c.pattern[i] == '1') == down;
    }
    if (match) return c.line;
  }
  return 0;
}

void DeviceMapper::moved(HandleRole role, int line, std::vector<int>& out) {
  int command = 0;
  switch (role) {
    case HandleRole::Reverser:
      if (line != reverser_) out.push_back(line);
      reverser_ = line;
      return;
    case HandleRole::Combined:
      command = line;
      break;
    case HandleRole::Power:
      power_ = line;
      break;
    case HandleRole::Brake:
      brake_ = line;
      break;
  }
  if (role != HandleRole::Combined) {
    // An applied brake wins; the power handle counts once the brake is released.
    const bool braking = brake_ != 0 && brake_ != kLineNeutral;
    command = braking ? brake_ : power_ != 0 ? power_ : brake_;
  }
  if (command != 0 && command != handleSent_) out.push_back(command);
  handleSent_ = command;
}

void DeviceMapper::settle(const std::vector<int>& axes, const std::vector<bool>& buttons) {
  std::fill(buttons_.begin(), buttons_.end(), false);
  std::fill(changed_.begin(), changed_.end(), false);
  std::fill(encoded_.begin(), encoded_.end(), 0);
  for (AxisState& a : axes_) a.position = 0;
  power_ = brake_ = handleSent_ = reverser_ = 0;
  for (std::size_t b = 0; b < buttons.size() && b < buttons_.size(); ++b) buttons_[b] = buttons[b];
  std::vector<int> ignored;
  for (std::size_t i = 0; i < profile_.axes.size(); ++i) {
    const AxisMap& m = profile_.axes[i];
    const int value = m.axis < static_cast<int>(axes.size())
                          ? std::clamp(axes[static_cast<std::size_t>(m.axis)], kAxisMin, kAxisMax)
                          : 0;
    axes_[i].position = positionAt(m, axes_[i], value);
    if (axes_[i].position != 0) moved(m.role, axes_[i].position, ignored);
  }
  for (std::size_t i = 0; i < profile_.encodings.size(); ++i) {
    encoded_[i] = encodedPosition(profile_.encodings[i]);
    if (encoded_[i] != 0) moved(profile_.encodings[i].role, encoded_[i], ignored);
  }
}

std::vector<int> DeviceMapper::axis(int axis, int value) {
  std::vector<int> out;
  value = std::clamp(value, kAxisMin, kAxisMax);
  for (std::size_t i = 0; i < profile_.axes.size(); ++i) {
    const AxisMap& m = profile_.axes[i];
    if (m.axis != axis) continue;
    const int position = positionAt(m, axes_[i], value);
    if (position == axes_[i].position) continue;
    axes_[i].position = position;
    moved(m.role, position, out);
  }
  return out;
}

std::vector<int> DeviceMapper::button(int button, bool down) {
  std::vector<int> out;
  if (button < 0 || button >= kMaxButtons) return out;
  const auto b = static_cast<std::size_t>(button);
  if (buttons_[b] == down) return out;
  buttons_[b] = down;
  for (std::size_t i = 0; i < profile_.encodings.size(); ++i) {
    const ButtonEncoding& e = profile_.encodings[i];
    if (std::find(e.buttons.begin(), e.buttons.end(), button) != e.buttons.end()) {
      changed_[i] = true;
    }
  }
  if (down) {
    for (const ButtonCommand& c : profile_.buttons) {
      if (c.button == button) out.push_back(c.line);
    }
  }
  return out;
}

std::vector<int> DeviceMapper::flush() {
  std::vector<int> out;
  for (std::size_t i = 0; i < profile_.encodings.size(); ++i) {
    if (!changed_[i]) continue;
    changed_[i] = false;
    const int position = encodedPosition(profile_.encodings[i]);
    if (position == 0 || position == encoded_[i]) continue;  // between positions: stays
    encoded_[i] = position;
    moved(profile_.encodings[i].role, position, out);
  }
  return out;
}

int DeviceMapper::axisPosition(int axis) const {
  for (std::size_t i = 0; i < profile_.axes.size(); ++i) {
    if (profile_.axes[i].axis == axis) return axes_[i].position;
  }
  return 0;
}

}  // namespace dravolin::input
