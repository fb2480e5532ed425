// Feeds arbitrary bytes to the script reader of dravolin-drive: a list of events whose times
// never decrease and are at least 1 ms, on lines that follow each other, or a message naming the
// line; never a crash, a hang or a read out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/drive/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto events = dravolin::tools::parseScript(text, error);
  if (!events) {
    if (error.rfind("line ", 0) != 0) std::abort();
    return 0;
  }
  int time = 1;
  int line = 0;
  for (const dravolin::tools::ScriptEvent& e : *events) {
    if (e.timeMs < time || e.line <= line) std::abort();
    if (e.kind == dravolin::tools::ScriptEventKind::Serial && e.bytes.empty()) std::abort();
    if (e.kind == dravolin::tools::ScriptEventKind::Key &&
        (e.virtualKey < 0 || e.virtualKey > 0xFFFF))
      std::abort();
    time = e.timeMs;
    line = e.line;
  }
  return 0;
}
