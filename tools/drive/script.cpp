#include "tools/drive/script.h"

#include <charconv>
#include <climits>

namespace dravolin::tools {
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

// Undoes the escapes \r, \n and \\ of a serial event's text.
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
      default:
        return false;
    }
  }
  return true;
}

}  // namespace

std::optional<std::vector<ScriptEvent>> parseScript(std::string_view text, std::string& error) {
  std::vector<ScriptEvent> events;
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
    e.text = std::string(trimmed(rest));
    std::string_view event = nextWord(rest);
    std::string_view argument = trimmed(rest);
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
      if (modifier == "shift") {
        e.shift = true;
      } else if (!modifier.empty()) {
        return bad("'key' knows only the modifier shift, not '" + std::string(modifier) + "'");
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
        return bad("'serial' takes a text; its only escapes are \\r, \\n and \\\\");
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
    } else {
      return bad("unknown event '" + std::string(event) + "'");
    }
    events.push_back(std::move(e));
  }
  return events;
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
    case ScriptEventKind::Key:
      return line + "key " + std::to_string(e.virtualKey) + (e.shift ? " shift" : "");
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

}  // namespace dravolin::tools
