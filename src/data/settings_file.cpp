#include "data/settings_file.h"

#include <utility>

#include "data/data_path.h"
#include "data/keyed_file.h"
#include "data/text_encoding.h"

namespace dravolin::data {

Settings parseSettingsFile(std::string bytes) {
  KeyedFile f(std::move(bytes), [](const KeyedFile&, std::string_view detail) {
    // The only detail a settings file can meet is a budget: it follows on a line of
    // its own, naming the file.
    if (detail.empty()) return LoadError(kSettingsFileError);
    return LoadError(std::string(kSettingsFileError) + "\n" + kSettingsFileName + ":" +
                     std::string(detail));
  });
  Settings s;
  auto shown = [&f] { return cp932ToUtf8(f.nextText()); };
  while (!f.atEnd()) {
    f.next();
    if (!f.mayBeKey()) continue;
    if (f.isKey("[Path]")) s.Path = f.nextText();
    if (f.isKey("[Forward]")) s.Forward = shown();
    if (f.isKey("[Neutral]")) s.Neutral = shown();
    if (f.isKey("[Reverse]")) s.Reverse = shown();
    if (f.isKey("[Stop]")) s.Stop = shown();
    if (f.isKey("[Pass]")) s.Pass = shown();
    if (f.isKey("[Stop2]")) s.Stop2 = shown();
    if (f.isKey("[Neut]")) s.Neut = shown();
    if (f.isKey("[Neut2]")) s.Neut2 = shown();
    if (f.isKey("[Apply]")) s.Apply = shown();
    if (f.isKey("[Maintain]")) s.Maintain = shown();
    if (f.isKey("[Hold]")) s.Hold = shown();
    if (f.isKey("[Hold2]")) s.Hold2 = shown();
    if (f.isKey("[EB]")) s.EB = shown();
    if (f.isKey("[Start]")) s.Start = shown();
    if (f.isKey("[Move]")) s.Move = shown();
    if (f.isKey("[Display]")) {
      std::array<std::string, 3> captions;
      for (std::string& c : captions) c = shown();
      s.Display = captions;
    }
    if (f.isKey("[Control]")) s.Control = shown();
  }
  return s;
}

Settings readSettingsFile(const LoadContext& ctx) {
  std::optional<std::string> bytes = ctx.readDataFile(kSettingsFileName);
  if (!bytes) throw LoadError(kSettingsFileError);
  return parseSettingsFile(std::move(*bytes));
}

}  // namespace dravolin::data
