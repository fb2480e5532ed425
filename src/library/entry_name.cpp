#include "library/entry_name.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>
#include <vector>

#include "platform/message_ids.h"

namespace dravolin::library {

namespace {

// Decodes one UTF-8 character at `i`; false for a malformed one.
bool nextCodePoint(std::string_view s, std::size_t& i, char32_t& out) {
  const auto c = static_cast<unsigned char>(s[i]);
  int more = 0;
  char32_t value = 0;
  if (c < 0x80) {
    out = c;
    ++i;
    return true;
  } else if ((c & 0xE0) == 0xC0) {
    more = 1;
    value = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    more = 2;
    value = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    more = 3;
    value = c & 0x07;
  } else {
    return false;
  }
  if (i + static_cast<std::size_t>(more) >= s.size()) return false;
  for (int k = 1; k <= more; ++k) {
    const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) return false;
    value = (value << 6) | (b & 0x3F);
  }
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (value < kLeast[more] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return false;
  out = value;
  i += static_cast<std::size_t>(more) + 1;
  return true;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The C library's case tables of a UTF-8 locale, made once; the process's own locale (the C
// locale of a tool) has none beyond ASCII.
locale_t utf8Locale() {
  static const locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (l == static_cast<locale_t>(nullptr))
      l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return locale;
}

}  // namespace

bool isUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    if (!nextCodePoint(text, i, c)) return false;
  }
  return true;
}

std::string normalisedEntryName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  if (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

std::optional<msg::Message> entryNameFault(std::string_view name) {
  if (name.empty() || !isUtf8(name)) return msg::entryBadName();
  if (name.front() == '/' || name.front() == '\\') return msg::entryAbsolutePath();
  // "C:" at the start is a drive on Windows, whatever follows it.
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
    return msg::entryDriveLetter();
  const std::string path = normalisedEntryName(name);
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string_view part(path.data() + start, end - start);
    if (part == "..") return msg::entryParentFolder();
    if (part.empty() || part == ".") return msg::entryBadName();
    for (char c : part) {
      const auto u = static_cast<unsigned char>(c);
      if (u < 0x20 || u == 0x7F || c == ':') return msg::entryBadName();
    }
    start = end + 1;
  }
  return std::nullopt;
}

std::string foldedEntryName(std::string_view name) {
  const std::string path = normalisedEntryName(name);
  const locale_t locale = utf8Locale();
  std::string out;
  out.reserve(path.size());
  for (std::size_t i = 0; i < path.size();) {
    char32_t c = 0;
    if (!nextCodePoint(path, i, c)) {
      out += path[i++];  // not UTF-8: the byte as it is (such a name is refused anyway)
      continue;
    }
    if (c < 0x80) {
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    } else {
      const auto lower = locale != static_cast<locale_t>(nullptr)
                             ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale))
                             : c;
      appendUtf8(out, lower);
    }
  }
  return out;
}

}  // namespace dravolin::library
