#include "input/controller_profile.h"

#include <algorithm>
#include <array>
#include <sstream>

#include "input/profile_text.h"

namespace dravolin::input {

namespace {

constexpr std::array<std::string_view, 22> kCommandNames = {
    "P1", "P2", "P3", "P4", "P5", "P6",      "N",       "B1",      "B2",  "B3",   "B4",
    "B5", "B6", "B7", "B8", "EB", "FORWARD", "NEUTRAL", "REVERSE", "ATS", "HORN", "CALLOUT"};

constexpr std::array<std::string_view, 4> kKindNames = {"one-handle", "two-handle", "buttons",
                                                        "gamepad"};
constexpr std::array<std::string_view, 4> kRoleNames = {"combined", "power", "brake", "reverser"};

constexpr int kMaxEncodingButtons = 16;

template <typename E, std::size_t N>
bool enumOf(const std::array<std::string_view, N>& names, std::string_view word, E& out) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == word) {
      out = static_cast<E>(i);
      return true;
    }
  }
  return false;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool isHexGuid(std::string_view s) {
  return s.size() == 32 && std::all_of(s.begin(), s.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

std::string positionsOf(HandleRole role) {
  switch (role) {
    case HandleRole::Combined:
      return "N, P1 to P6, B1 to B8 or EB";
    case HandleRole::Power:
      return "N or P1 to P6";
    case HandleRole::Brake:
      return "N, B1 to B8 or EB";
    case HandleRole::Reverser:
      return "FORWARD, NEUTRAL or REVERSE";
  }
  return {};
}

class ProfileParser {
 public:
  ProfileParser(std::string_view text, const std::string& fileName) : r_(text, fileName) {}

  ControllerProfile parse(const std::string& id) {
    p_.id = id;
    p_.name = id;
    profile_text::Statement s;
    if (!r_.next(s) || s.words[0] != "dravolin-profile") {
      r_.fail(s.line == 0 ? 1 : s.line, "a profile begins with the line 'dravolin-profile 1'");
    }
    if (s.words.size() != 2 || s.words[1] != "1") {
      r_.fail(s.line, "this profile's version is not 1");
    }
    bool kind = false;
    while (r_.next(s)) {
      const std::string_view w = s.words[0];
      if (w == "name") {
        if (s.rest.empty()) r_.fail(s.line, "'name' needs a text");
        p_.name = s.rest;
      } else if (w == "kind") {
        if (s.words.size() != 2 || !enumOf(kKindNames, s.words[1], p_.kind)) {
          r_.fail(s.line, "'kind' is one-handle, two-handle, buttons or gamepad");
        }
        kind = true;
      } else if (w == "match") {
        match(s);
      } else if (w == "hysteresis") {
        if (s.words.size() != 2 || !number(s.words[1], 0, 16384, hysteresis_)) {
          r_.fail(s.line, "'hysteresis' takes raw units from 0 to 16384");
        }
      } else if (w == "axis") {
        axis(s);
      } else if (w == "notch") {
        notch(s);
      } else if (w == "encode") {
        encode(s);
      } else if (w == "code") {
        code(s);
      } else if (w == "button") {
        button(s);
      } else {
        r_.fail(s.line, "unknown statement '" + std::string(w) + "'");
      }
    }
    if (!kind) r_.fail(s.line + 1, "the profile has no 'kind' line");
    endBlocks();
    if (p_.axes.empty() && p_.encodings.empty() && p_.buttons.empty()) {
      r_.fail(s.line + 1, "the profile maps no axis and no button");
    }
    return p_;
  }

 private:
  static bool number(std::string_view w, int lo, int hi, int& v) {
    return profile_text::toInt(w, lo, hi, v);
  }

  void match(const profile_text::Statement& s) {
    if (s.words.size() >= 3 && s.words[1] == "guid") {
      if (s.words.size() != 3 || !isHexGuid(s.words[2])) {
        r_.fail(s.line, "'match guid' takes 32 hexadecimal digits");
      }
      p_.guids.push_back(lower(s.words[2]));
    } else if (s.words.size() >= 3 && s.words[1] == "name") {
      // The text after "name", inner blanks kept ("rest" begins with the word "name").
      std::string_view text = s.rest.substr(4);
      text.remove_prefix(std::min(text.size(), text.find_first_not_of(" \t")));
      p_.names.emplace_back(text);
    } else {
      r_.fail(s.line, "'match' takes 'guid HEX' or 'name TEXT'");
    }
  }

  // The previous axis or encoding is complete: it must have positions.
  void endBlocks() {
    if (axisOpen_ && p_.axes.back().notches.empty()) {
      r_.fail(axisLine_, "the axis has no 'notch' lines");
    }
    if (encodingOpen_ && p_.encodings.back().codes.empty()) {
      r_.fail(encodingLine_, "the encoding has no 'code' lines");
    }
    axisOpen_ = encodingOpen_ = false;
  }

  void axis(const profile_text::Statement& s) {
    endBlocks();
    AxisMap a;
    a.hysteresis = hysteresis_;
    if (s.words.size() < 3 || !number(s.words[1], 0, kMaxAxes - 1, a.axis) ||
        !enumOf(kRoleNames, s.words[2], a.role)) {
      r_.fail(s.line, "'axis' takes an axis number from 0 to " + std::to_string(kMaxAxes - 1) +
                          " and combined, power, brake or reverser");
    }
    if (s.words.size() == 5 && s.words[3] == "hysteresis") {
      if (!number(s.words[4], 0, 16384, a.hysteresis)) {
        r_.fail(s.line, "'hysteresis' takes raw units from 0 to 16384");
      }
    } else if (s.words.size() != 3) {
      r_.fail(s.line, "'axis' takes only 'hysteresis N' after its role");
    }
    if (p_.axisMap(a.axis) != nullptr) {
      r_.fail(s.line, "axis " + std::to_string(a.axis) + " is mapped twice");
    }
    p_.axes.push_back(a);
    axisOpen_ = true;
    axisLine_ = s.line;
  }

  void notch(const profile_text::Statement& s) {
    if (!axisOpen_) r_.fail(s.line, "'notch' belongs after an 'axis' line");
    AxisMap& a = p_.axes.back();
    NotchRange n;
    n.line = s.words.size() >= 2 ? commandLine(s.words[1]) : 0;
    if (s.words.size() != 4 || n.line == 0 || !number(s.words[2], kAxisMin, kAxisMax, n.low) ||
        !number(s.words[3], kAxisMin, kAxisMax, n.high) || n.low > n.high) {
      r_.fail(s.line, "'notch' takes a position and the lowest and highest raw value (" +
                          std::to_string(kAxisMin) + " to " + std::to_string(kAxisMax) + ")");
    }
    if (!positionFits(a.role, n.line)) {
      r_.fail(s.line, "a " + std::string(handleRoleName(a.role)) + " axis has the positions " +
                          positionsOf(a.role));
    }
    for (const NotchRange& o : a.notches) {
      if (o.line == n.line) r_.fail(s.line, "the position " + std::string(s.words[1]) + " twice");
      if (n.low <= o.high && o.low <= n.high) {
        r_.fail(s.line, "the range overlaps that of " + std::string(commandName(o.line)));
      }
    }
    a.notches.push_back(n);
  }

  void encode(const profile_text::Statement& s) {
    endBlocks();
    ButtonEncoding e;
    if (s.words.size() < 3 || !enumOf(kRoleNames, s.words[1], e.role) ||
        s.words.size() - 2 > static_cast<std::size_t>(kMaxEncodingButtons)) {
      r_.fail(s.line, "'encode' takes combined, power, brake or reverser and 1 to " +
                          std::to_string(kMaxEncodingButtons) + " button numbers");
    }
    for (std::size_t i = 2; i < s.words.size(); ++i) {
      int b = 0;
      if (!number(s.words[i], 0, kMaxButtons - 1, b)) {
        r_.fail(s.line, "a button number is from 0 to " + std::to_string(kMaxButtons - 1));
      }
      if (std::find(e.buttons.begin(), e.buttons.end(), b) != e.buttons.end()) {
        r_.fail(s.line, "button " + std::to_string(b) + " twice in one encoding");
      }
      e.buttons.push_back(b);
    }
    p_.encodings.push_back(e);
    encodingOpen_ = true;
    encodingLine_ = s.line;
  }

  void code(const profile_text::Statement& s) {
    if (!encodingOpen_) r_.fail(s.line, "'code' belongs after an 'encode' line");
    ButtonEncoding& e = p_.encodings.back();
    ButtonCode c;
    if (s.words.size() != 3) r_.fail(s.line, "'code' takes a pattern and a position");
    c.pattern = std::string(s.words[1]);
    c.line = commandLine(s.words[2]);
    if (c.pattern.size() != e.buttons.size() ||
        c.pattern.find_first_not_of("01x") != std::string::npos) {
      r_.fail(s.line, "the pattern has one 0, 1 or x for each of the " +
                          std::to_string(e.buttons.size()) + " buttons");
    }
    if (c.line == 0 || !positionFits(e.role, c.line)) {
      r_.fail(s.line, "a " + std::string(handleRoleName(e.role)) + " encoding has the positions " +
                          positionsOf(e.role));
    }
    e.codes.push_back(c);
  }

  void button(const profile_text::Statement& s) {
    endBlocks();
    ButtonCommand b;
    b.line = s.words.size() == 3 ? commandLine(s.words[2]) : 0;
    if (s.words.size() != 3 || !number(s.words[1], 0, kMaxButtons - 1, b.button) || b.line == 0) {
      r_.fail(s.line, "'button' takes a button number from 0 to " +
                          std::to_string(kMaxButtons - 1) + " and a command");
    }
    p_.buttons.push_back(b);
  }

  profile_text::Reader r_;
  ControllerProfile p_;
  int hysteresis_ = kDefaultHysteresis;
  bool axisOpen_ = false;
  bool encodingOpen_ = false;
  int axisLine_ = 0;
  int encodingLine_ = 0;
};

}  // namespace

std::string_view commandName(int line) {
  if (line < 1 || line > static_cast<int>(kCommandNames.size())) return {};
  return kCommandNames[static_cast<std::size_t>(line - 1)];
}

int commandLine(std::string_view name) {
  for (std::size_t i = 0; i < kCommandNames.size(); ++i) {
    if (kCommandNames[i] == name) return static_cast<int>(i) + 1;
  }
  return 0;
}

std::string_view deviceKindName(DeviceKind kind) {
  return kKindNames[static_cast<std::size_t>(kind)];
}

std::string_view handleRoleName(HandleRole role) {
  return kRoleNames[static_cast<std::size_t>(role)];
}

bool positionFits(HandleRole role, int line) {
  switch (role) {
    case HandleRole::Combined:
      return line >= kLineP1 && line <= kLineEmergency;
    case HandleRole::Power:
      return line >= kLineP1 && line <= kLineNeutral;
    case HandleRole::Brake:
      return line >= kLineNeutral && line <= kLineEmergency;
    case HandleRole::Reverser:
      return line >= kLineForward && line <= kLineReverse;
  }
  return false;
}

AxisMap* ControllerProfile::axisMap(int axis) {
  for (AxisMap& a : axes) {
    if (a.axis == axis) return &a;
  }
  return nullptr;
}

const AxisMap* ControllerProfile::axisMap(int axis) const {
  return const_cast<ControllerProfile*>(this)->axisMap(axis);
}

ControllerProfile parseControllerProfile(std::string_view text, const std::string& fileName,
                                         const std::string& id) {
  return ProfileParser(text, fileName).parse(id);
}

std::string formatControllerProfile(const ControllerProfile& p) {
  std::ostringstream out;
  out << "dravolin-profile 1\nname " << p.name << "\nkind " << deviceKindName(p.kind) << '\n';
  for (const std::string& g : p.guids) out << "match guid " << g << '\n';
  for (const std::string& n : p.names) out << "match name " << n << '\n';
  for (const AxisMap& a : p.axes) {
    out << "axis " << a.axis << ' ' << handleRoleName(a.role) << " hysteresis " << a.hysteresis
        << '\n';
    for (const NotchRange& n : a.notches) {
      out << "  notch " << commandName(n.line) << ' ' << n.low << ' ' << n.high << '\n';
    }
  }
  for (const ButtonEncoding& e : p.encodings) {
    out << "encode " << handleRoleName(e.role);
    for (int b : e.buttons) out << ' ' << b;
    out << '\n';
    for (const ButtonCode& c : e.codes) {
      out << "  code " << c.pattern << ' ' << commandName(c.line) << '\n';
    }
  }
  for (const ButtonCommand& b : p.buttons) {
    out << "button " << b.button << ' ' << commandName(b.line) << '\n';
  }
  return out.str();
}

}  // namespace dravolin::input
