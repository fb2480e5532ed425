// Feeds arbitrary bytes to the script reader of dravolin-drive: a list of events whose times
// never decrease and lie from 1 ms to a day, on lines that follow each other, each written back
// as a line that reads as the same event, or a message naming the line; never a crash, a hang or
// a read out of bounds.
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
    if (e.timeMs < time || e.timeMs > dravolin::drive::kLongestScriptMs || e.line <= line) {
      std::abort();
    }
    if (e.kind == dravolin::tools::ScriptEventKind::Serial && e.bytes.empty()) std::abort();
    if (e.kind == dravolin::tools::ScriptEventKind::Key &&
        (e.virtualKey < 0 || e.virtualKey > 0xFFFF))
      std::abort();
    time = e.timeMs;
    line = e.line;
    // Written from its fields (not its text), the event reads back as itself.
    dravolin::tools::ScriptEvent fields = e;
    fields.text.clear();
    std::string again;
    const auto back =
        dravolin::tools::parseScript(dravolin::tools::formatScriptEvent(fields), again);
    if (!back || back->size() != 1 || back->front().kind != e.kind ||
        back->front().character != e.character || back->front().bytes != e.bytes) {
      std::abort();
    }
  }
  return 0;
}
