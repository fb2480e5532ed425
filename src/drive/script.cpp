#include "drive/script.h"

#include <charconv>
#include <climits>
#include <iterator>

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

// One escape of a char or serial argument: the byte and the letter after the "\\"; any byte
// also as \xHH.
struct ByteEscape {
  char byte;
  char letter;
};
constexpr ByteEscape kByteEscapes[] = {{'\r', 'r'}, {'\n', 'n'}, {'\\', '\\'}};
constexpr char kHexDigits[] = "0123456789abcdef";

// Undoes the escapes of a char or serial argument.
bool unescape(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    if (text[i] == 'x') {
      if (i + 2 >= text.size()) return false;
      const int high = hexDigit(text[i + 1]);
      const int low = hexDigit(text[i + 2]);
      if (high < 0 || low < 0) return false;
      out += static_cast<char>(high * 16 + low);
      i += 2;
      continue;
    }
    bool known = false;
    for (const ByteEscape& e : kByteEscapes) {
      if (e.letter == text[i]) {
        out += e.byte;
        known = true;
      }
    }
    if (!known) return false;
  }
  return true;
}

constexpr ScriptEventWords kEventWords[] = {
    {ScriptEventKind::Start, "start", "", ""},
    {ScriptEventKind::Char, "char", "", ""},
    {ScriptEventKind::Key, "key", "", ""},
    {ScriptEventKind::WheelDown, "wheel", "down", ""},
    {ScriptEventKind::WheelUp, "wheel", "up", ""},
    {ScriptEventKind::Serial, "serial", "", ""},
    {ScriptEventKind::Station, "station", "", ""},
    {ScriptEventKind::DeviceAdd, "device", "add", "PROFILE"},
    {ScriptEventKind::DeviceRemove, "device", "remove", ""},
    {ScriptEventKind::Axis, "axis", "", ""},
    {ScriptEventKind::Button, "button", "", ""},
    {ScriptEventKind::Controller, "controller", "", ""},
    {ScriptEventKind::ValuesClosed, "values", "closed", ""},
    {ScriptEventKind::End, "end", "", ""},
};

constexpr bool eventWordsInKindOrder() {
  for (std::size_t i = 0; i < std::size(kEventWords); ++i) {
    if (static_cast<std::size_t>(kEventWords[i].kind) != i) return false;
  }
  return static_cast<std::size_t>(ScriptEventKind::End) + 1 == std::size(kEventWords);
}
static_assert(eventWordsInKindOrder(), "one row a kind, in the kinds' order");

// The row of an event's words: the event word and, for the kinds that share it, the word after
// it (taken from `rest`). nullptr when there is none; `known` tells whether the word is known.
const ScriptEventWords* findEvent(std::string_view event, std::string_view& rest, bool& known) {
  known = false;
  for (const ScriptEventWords& row : kEventWords) {
    if (row.word != event) continue;
    known = true;
    if (row.fixedArgument.empty()) return &row;
    std::string_view after = rest;
    if (nextWord(after) == row.fixedArgument) {
      rest = after;
      return &row;
    }
  }
  return nullptr;
}

// "'device' takes 'add PROFILE' or 'remove'": what may follow a shared event word.
std::string fixedArgumentsOf(std::string_view event) {
  std::string text = "'" + std::string(event) + "' takes ";
  bool first = true;
  for (const ScriptEventWords& row : kEventWords) {
    if (row.word != event) continue;
    if (!first) text += " or ";
    text += "'" + std::string(row.fixedArgument) +
            (row.argument.empty() ? "" : " " + std::string(row.argument)) + "'";
    first = false;
  }
  return text;
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

std::span<const ScriptEventWords> scriptEventWords() { return kEventWords; }

const ScriptEventWords& scriptEventWords(ScriptEventKind kind) {
  return kEventWords[static_cast<std::size_t>(kind)];
}

std::size_t escapeByte(char c, char* out) {
  for (const ByteEscape& e : kByteEscapes) {
    if (e.byte == c) {
      out[0] = '\\';
      out[1] = e.letter;
      return 2;
    }
  }
  if (c > ' ' && c < 127) {
    out[0] = c;
    return 1;
  }
  const auto b = static_cast<unsigned char>(c);
  out[0] = '\\';
  out[1] = 'x';
  out[2] = kHexDigits[b >> 4];
  out[3] = kHexDigits[b & 15];
  return 4;
}

std::size_t charArgument(char c, char* out) {
  if (c == ' ') {
    constexpr std::string_view kSpace = "space";
    kSpace.copy(out, kSpace.size());
    return kSpace.size();
  }
  return escapeByte(c, out);
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
    if (e.timeMs > kLongestScriptMs) {
      error = where + "the time " + std::to_string(e.timeMs) + " is past " +
              std::to_string(kLongestScriptMs) + " ms, a day of driving";
      return std::nullopt;
    }
    if (e.timeMs < lastTime) {
      error = where + "the time " + std::to_string(e.timeMs) + " is before the time " +
              std::to_string(lastTime) + " of an earlier line";
      return std::nullopt;
    }
    lastTime = e.timeMs;
    std::string_view event = nextWord(rest);
    if (!event.empty()) {
      e.text = trimmed(line.substr(static_cast<std::size_t>(event.data() - line.data())));
    }
    auto bad = [&](const std::string& what) {
      error = where + what;
      return std::nullopt;
    };
    bool known = false;
    const ScriptEventWords* row = findEvent(event, rest, known);
    if (!known) return bad("unknown event '" + std::string(event) + "'");
    if (row == nullptr) return bad(fixedArgumentsOf(event));
    e.kind = row->kind;
    const std::string_view argument = trimmed(rest);
    switch (e.kind) {
      case ScriptEventKind::Start:
      case ScriptEventKind::WheelDown:
      case ScriptEventKind::WheelUp:
      case ScriptEventKind::DeviceRemove:
      case ScriptEventKind::ValuesClosed:
      case ScriptEventKind::End:
        if (!argument.empty()) {
          return bad(row->fixedArgument.empty()
                         ? "'" + std::string(row->word) + "' takes no argument"
                         : fixedArgumentsOf(row->word));
        }
        ended = e.kind == ScriptEventKind::End;
        break;
      case ScriptEventKind::Char: {
        std::string byte;
        if (argument == "space") {
          e.character = ' ';
        } else if (argument.size() == 1 && argument[0] > ' ' && argument[0] < 127) {
          e.character = argument[0];
        } else if (unescape(argument, byte) && byte.size() == 1) {
          e.character = byte[0];
        } else {
          return bad(
              "'char' takes one printable ASCII character, the word space, or one byte as "
              "\\r, \\n, \\\\ or \\xHH");
        }
        break;
      }
      case ScriptEventKind::Key: {
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
        break;
      }
      case ScriptEventKind::Serial:
        if (argument.empty() || !unescape(argument, e.bytes)) {
          return bad("'serial' takes a text; its escapes are \\r, \\n, \\\\ and \\xHH");
        }
        break;
      case ScriptEventKind::Station:
        if (!parseInt(argument, e.station) || e.station < 0) {
          return bad("'station' takes a station number");
        }
        break;
      case ScriptEventKind::DeviceAdd:
        if (argument.empty() || argument.find_first_of(" \t") != std::string_view::npos) {
          return bad(fixedArgumentsOf(row->word));
        }
        e.profile = std::string(argument);
        break;
      case ScriptEventKind::Axis: {
        std::string_view number = nextWord(rest);
        std::string_view value = trimmed(rest);
        if (!parseInt(number, e.index) || e.index < 0 || e.index > 63 ||
            !parseInt(value, e.value) || e.value < -32768 || e.value > 32767) {
          return bad("'axis' takes an axis number from 0 to 63 and a value from -32768 to 32767");
        }
        break;
      }
      case ScriptEventKind::Button: {
        std::string_view number = nextWord(rest);
        std::string_view state = trimmed(rest);
        if (!parseInt(number, e.index) || e.index < 0 || e.index > 1023 ||
            (state != "down" && state != "up")) {
          return bad("'button' takes a button number from 0 to 1023 and down or up");
        }
        e.value = state == "down" ? 1 : 0;
        break;
      }
      case ScriptEventKind::Controller:
        if (!parseInt(argument, e.index) || e.index < 1 || e.index > 22) {
          return bad("'controller' takes a command line of the controller box from 1 to 22");
        }
        break;
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
    case ScriptEventKind::ValuesClosed:
      d.valueDisplay().visible = false;
      break;
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
  const ScriptEventWords& words = scriptEventWords(e.kind);
  line += words.word;
  if (!words.fixedArgument.empty()) {
    line += ' ';
    line += words.fixedArgument;
  }
  char escaped[kMaxEscapedByte + 1];
  switch (e.kind) {
    case ScriptEventKind::Char:
      line += ' ';
      line.append(escaped, charArgument(e.character, escaped));
      break;
    case ScriptEventKind::Key: {
      line += ' ' + std::to_string(e.virtualKey);
      char mods[64];
      if (const std::size_t n = formatModifiers(e.modifiers, mods); n > 0) {
        line += ' ';
        line.append(mods, n);
      }
      break;
    }
    case ScriptEventKind::Serial:
      line += ' ';
      for (const char c : e.bytes) line.append(escaped, escapeByte(c, escaped));
      break;
    case ScriptEventKind::Station:
      line += ' ' + std::to_string(e.station);
      break;
    case ScriptEventKind::DeviceAdd:
      line += ' ' + e.profile;
      break;
    case ScriptEventKind::Axis:
      line += ' ' + std::to_string(e.index) + ' ' + std::to_string(e.value);
      break;
    case ScriptEventKind::Button:
      line += ' ' + std::to_string(e.index) + (e.value != 0 ? " down" : " up");
      break;
    case ScriptEventKind::Controller:
      line += ' ' + std::to_string(e.index);
      break;
    default:  // the words alone
      break;
  }
  return line;
}

}  // namespace dravolin::drive
