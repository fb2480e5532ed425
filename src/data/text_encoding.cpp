#include "data/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace dravolin::data {

namespace {

// One iconv conversion descriptor. Opening one costs far more than converting a name, so each
// thread keeps one per direction for its life.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`; every byte that cannot be converted is replaced by `replacement` (with
  // `utf8Input`, a whole UTF-8 sequence is replaced once).
  std::string convert(std::string_view in, std::string_view replacement, bool utf8Input) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // a fresh state for this text
    std::string out;
    out.reserve(in.size() * 3 / 2 + 8);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[256];
    while (srcLeft > 0) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      const std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (r != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ (not a character) or EINVAL (cut off at the end): replace one byte, go on.
      out.append(replacement);
      ++src;
      --srcLeft;
      while (utf8Input && srcLeft > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80) {
        ++src;
        --srcLeft;
      }
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

bool isAscii(std::string_view text) {
  for (const char ch : text) {
    if (static_cast<unsigned char>(ch) >= 0x80) return false;
  }
  return true;
}

}  // namespace

// Both code pages keep the ASCII bytes as they are, so most names and keys need no conversion.
std::string cp932ToUtf8(std::string_view bytes) {
  if (isAscii(bytes)) return std::string(bytes);
  thread_local Converter c("UTF-8", "CP932");
  if (!c.ok()) {
    // Without the code page only ASCII is safe to show as it is.
    std::string out;
    for (unsigned char ch : bytes)
      out += ch < 0x80 ? std::string(1, static_cast<char>(ch)) : "\xEF\xBF\xBD";
    return out;
  }
  return c.convert(bytes, "\xEF\xBF\xBD", false);
}

std::string utf8ToCp932(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  thread_local Converter c("CP932", "UTF-8");
  if (!c.ok()) return std::string(utf8);
  return c.convert(utf8, "?", true);
}

}  // namespace dravolin::data
