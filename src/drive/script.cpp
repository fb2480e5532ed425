#include "drive/script.h"

#include <charconv>
#include <climits>

#include "drive/drive.h"

namespace dravolin::drive {
namespace {

// Splits off the next word (runs of blanks or tabs separate words).
std::string_view nextWord(std::string_view& rest) {
  std::size_t start = rest.find_first_not_of(" \t");
  if (start == std::string_view::npos) {
    rest = {};
    return {};
  }
  rest.remove_prefix(start);
  std::size_t end = rest.find_first_of(" \t");
  std::string_view word = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
  return word;
}

std::string_view trimmed(std::string_view s) {
  std::size_t start = s.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  std::size_t end = s.find_last_not_of(" \t");
  return s.substr(start, end - start + 1);
}

bool parseInt(std::string_view word, int& value) {
  if (word.empty()) return false;
  const char* end = word.data() + word.size();
  auto [ptr, ec] = std::from_chars(word.data(), end, value);
  return ec == std::errc() && ptr == end;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes the escapes \r, \n, \\ and \xHH (any byte) of a serial event's text.
bool unescape(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case '\\':
        out += '\\';
        break;
      case 'x': {
        if (i + 2 >= text.size()) return false;
        const int high = hexDigit(text[i + 1]);
        const int low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

struct ModifierWord {
  std::string_view word;
  unsigned bit;
};
constexpr ModifierWord kModifierWords[] = {
    {"shift", input::kShift},     {"alt", input::kAlt},           {"ctrl", input::kCtrl},
    {"left", input::kLeftButton}, {"right", input::kRightButton}, {"middle", input::kMiddleButton}};

bool parseModifiers(std::string_view text, unsigned& modifiers) {
  modifiers = 0;
  if (text.empty()) return true;
  while (true) {
    const std::size_t plus = text.find('+');
    const std::string_view word = text.substr(0, plus);
    bool known = false;
    for (const ModifierWord& m : kModifierWords) {
      if (m.word == word) {
        modifiers |= m.bit;
        known = true;
      }
    }
    if (!known) return false;
    if (plus == std::string_view::npos) return true;
    text.remove_prefix(plus + 1);
  }
}

}  // namespace

std::size_t formatModifiers(unsigned modifiers, char* out) {
  std::size_t n = 0;
  for (const ModifierWord& m : kModifierWords) {
    if ((modifiers & m.bit) == 0) continue;
    if (n > 0) out[n++] = '+';
    for (char c : m.word) out[n++] = c;
  }
  return n;
}

std::optional<std::vector<ScriptEvent>> parseScript(std::string_view text, std::string& error) {
  std::vector<ScriptEvent> events;
  bool ended = false;
  int lineNumber = 0;
  int lastTime = 1;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t eol = text.find('\n', pos);
    std::string_view line =
        text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    std::string_view rest = line;
    std::string_view first = trimmed(line);
    if (first.empty() || first.front() == '#') continue;
    if (ended) {
      error = where + "an event after the end of the drive";
      return std::nullopt;
    }
    ScriptEvent e;
    e.line = lineNumber;
    std::string_view timeWord = nextWord(rest);
    if (!parseInt(timeWord, e.timeMs) || e.timeMs < 1) {
      error = where + "the time must be a whole millisecond of at least 1, not '" +
              std::string(timeWord) + "'";
      return std::nullopt;
    }
    if (e.timeMs < lastTime) {
      error = where + "the time " + std::to_string(e.timeMs) + " is before the time " +
              std::to_string(lastTime) + " of an earlier line";
      return std::nullopt;
    }
    lastTime = e.timeMs;
    std::string_view event = nextWord(rest);
    std::string_view argument = trimmed(rest);
    if (!event.empty()) {
      e.text = trimmed(line.substr(static_cast<std::size_t>(event.data() - line.data())));
    }
    auto bad = [&](const std::string& what) {
      error = where + what;
      return std::nullopt;
    };
    if (event == "start") {
      if (!argument.empty()) return bad("'start' takes no argument");
      e.kind = ScriptEventKind::Start;
    } else if (event == "char") {
      e.kind = ScriptEventKind::Char;
      if (argument == "space") {
        e.character = ' ';
      } else if (argument.size() == 1 && argument[0] > ' ' && argument[0] < 127) {
        e.character = argument[0];
      } else {
        return bad("'char' takes one printable ASCII character or the word space");
      }
    } else if (event == "key") {
      e.kind = ScriptEventKind::Key;
      std::string_view code = nextWord(rest);
      std::string_view modifier = trimmed(rest);
      if (!parseInt(code, e.virtualKey) || e.virtualKey < 0 || e.virtualKey > 0xFFFF) {
        return bad("'key' takes a virtual key code from 0 to 65535");
      }
      if (!parseModifiers(modifier, e.modifiers)) {
        return bad(
            "'key' knows the modifiers shift, alt, ctrl, left, right and middle joined by "
            "+, not '" +
            std::string(modifier) + "'");
      }
    } else if (event == "wheel") {
      if (argument == "down") {
        e.kind = ScriptEventKind::WheelDown;
      } else if (argument == "up") {
        e.kind = ScriptEventKind::WheelUp;
      } else {
        return bad("'wheel' takes down or up");
      }
    } else if (event == "serial") {
      e.kind = ScriptEventKind::Serial;
      if (argument.empty() || !unescape(argument, e.bytes)) {
        return bad("'serial' takes a text; its escapes are \\r, \\n, \\\\ and \\xHH");
      }
    } else if (event == "station") {
      e.kind = ScriptEventKind::Station;
      if (!parseInt(argument, e.station) || e.station < 0) {
        return bad("'station' takes a station number");
      }
    } else if (event == "device") {
      std::string_view what = nextWord(rest);
      std::string_view profile = trimmed(rest);
      if (what == "add" && !profile.empty() &&
          profile.find_first_of(" \t") == std::string_view::npos) {
        e.kind = ScriptEventKind::DeviceAdd;
        e.profile = std::string(profile);
      } else if (what == "remove" && profile.empty()) {
        e.kind = ScriptEventKind::DeviceRemove;
      } else {
        return bad("'device' takes 'add PROFILE' or 'remove'");
      }
    } else if (event == "axis") {
      e.kind = ScriptEventKind::Axis;
      std::string_view number = nextWord(rest);
      std::string_view value = trimmed(rest);
      if (!parseInt(number, e.index) || e.index < 0 || e.index > 63 || !parseInt(value, e.value) ||
          e.value < -32768 || e.value > 32767) {
        return bad("'axis' takes an axis number from 0 to 63 and a value from -32768 to 32767");
      }
    } else if (event == "button") {
      e.kind = ScriptEventKind::Button;
      std::string_view number = nextWord(rest);
      std::string_view state = trimmed(rest);
      if (!parseInt(number, e.index) || e.index < 0 || e.index > 1023 ||
          (state != "down" && state != "up")) {
        return bad("'button' takes a button number from 0 to 1023 and down or up");
      }
      e.value = state == "down" ? 1 : 0;
    } else if (event == "controller") {
      e.kind = ScriptEventKind::Controller;
      if (!parseInt(argument, e.index) || e.index < 1 || e.index > 22) {
        return bad("'controller' takes a command line of the controller box from 1 to 22");
      }
    } else if (event == "end") {
      if (!argument.empty()) return bad("'end' takes no argument");
      e.kind = ScriptEventKind::End;
      ended = true;
    } else {
      return bad("unknown event '" + std::string(event) + "'");
    }
    events.push_back(std::move(e));
  }
  return events;
}

void applyScriptEvent(Drive& d, const ScriptEvent& e) {
  switch (e.kind) {
    case ScriptEventKind::Start:
      d.start1Click();
      break;
    case ScriptEventKind::Char:
      d.AsciiDown(e.character);
      break;
    case ScriptEventKind::Key:
      d.keydowns(e.virtualKey, e.modifiers);
      break;
    case ScriptEventKind::WheelDown:
      d.WheelD();
      break;
    case ScriptEventKind::WheelUp:
      d.WheelU();
      break;
    case ScriptEventKind::Serial:
      d.RxChar(e.bytes);
      break;
    case ScriptEventKind::Station:
      d.StationClick("Sta" + std::to_string(e.station));
      break;
    case ScriptEventKind::Controller:
      d.ControllerCommand(e.index);
      break;
    case ScriptEventKind::DeviceAdd:
    case ScriptEventKind::DeviceRemove:
    case ScriptEventKind::Axis:
    case ScriptEventKind::Button:
      break;  // the USB controller's events: see ScriptController
    case ScriptEventKind::End:
      d.FormCloseQuery();
      break;
  }
}

std::optional<int> scriptEndMs(const std::vector<ScriptEvent>& events) {
  if (!events.empty() && events.back().kind == ScriptEventKind::End) return events.back().timeMs;
  return std::nullopt;
}

std::string formatScriptEvent(const ScriptEvent& e) {
  std::string line = std::to_string(e.timeMs) + ' ';
  if (!e.text.empty()) return line + e.text;
  switch (e.kind) {
    case ScriptEventKind::Start:
      return line + "start";
    case ScriptEventKind::Char:
      return line + "char " +
             (e.character == ' ' ? std::string("space") : std::string(1, e.character));
    case ScriptEventKind::Key: {
      line += "key " + std::to_string(e.virtualKey);
      char mods[64];
      if (const std::size_t n = formatModifiers(e.modifiers, mods); n > 0) {
        line += ' ';
        line.append(mods, n);
      }
      return line;
    }
    case ScriptEventKind::WheelDown:
      return line + "wheel down";
    case ScriptEventKind::WheelUp:
      return line + "wheel up";
    case ScriptEventKind::Serial: {
      line += "serial ";
      for (const char c : e.bytes) {
        if (c == '\r') {
          line += "\\r";
        } else if (c == '\n') {
          line += "\\n";
        } else if (c == '\\') {
          line += "\\\\";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
          static constexpr char kHex[] = "0123456789ABCDEF";
          const auto b = static_cast<unsigned char>(c);
          line += "\\x";
          line += kHex[b >> 4];
          line += kHex[b & 15];
        } else {
          line += c;
        }
      }
      return line;
    }
    case ScriptEventKind::Station:
      return line + "station " + std::to_string(e.station);
    default:  // a kind only ever read from a script is written from its text
      break;
  }
  return line;
}

}  // namespace dravolin::drive
