// Feeds arbitrary bytes to the reader of a drive's recording (its header and its events): it
// must never crash, hang or read out of bounds, and a header it accepts must read back the same
// after it is written out again, naming only files inside its data folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "drive/recording.h"
#include "drive/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  if (const auto events = dravolin::drive::parseScript(text, error)) {
    const auto end = dravolin::drive::scriptEndMs(*events);
    volatile std::size_t total = events->size() + static_cast<std::size_t>(end.value_or(0));
    (void)total;
  }
  const auto header = dravolin::drive::parseRecordingHeader(text, error);
  if (!header) return 0;
  for (const auto& f : header->files) {
    if (!dravolin::drive::staysInDataFolder(f.path)) std::abort();
  }
  if (!dravolin::drive::staysInDataFolder(header->trainFile) ||
      !dravolin::drive::staysInDataFolder(header->lineFile)) {
    std::abort();
  }
  std::string again;
  const auto reread =
      dravolin::drive::parseRecordingHeader(dravolin::drive::formatRecordingHeader(*header), again);
  if (!reread || reread->files != header->files || reread->trainFile != header->trainFile ||
      reread->lineFile != header->lineFile || reread->dataFolder != header->dataFolder ||
      reread->settings != header->settings) {
    std::abort();
  }
  return 0;
}
