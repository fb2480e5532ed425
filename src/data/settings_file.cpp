#include "data/settings_file.h"

#include <utility>

#include "data/data_path.h"
#include "data/keyed_file.h"
#include "data/text_encoding.h"
#include "platform/message_ids.h"

namespace dravolin::data {

Settings parseSettingsFile(std::string bytes) {
  KeyedFile f(std::move(bytes), [](const KeyedFile&, const Detail& detail) {
    // The only detail a settings file can meet is a budget: it follows on a line of
    // its own, naming the file.
    if (!detail) return LoadError(msg::settingsFileError());
    return LoadError(msg::settingsFileErrorDetail(kSettingsFileName, *detail));
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

Settings inLanguage(Settings s, msg::Language language) {
  if (language == msg::Language::Japanese) return s;
  const auto word = [language](const msg::Message& m) { return m.text(language); };
  s.Forward = word(msg::wordForward());
  s.Neutral = word(msg::wordNeutral());
  s.Reverse = word(msg::wordReverse());
  s.Stop = word(msg::wordStopSuffix());
  s.Pass = word(msg::wordPassSuffix());
  s.Stop2 = word(msg::wordStop2Suffix());
  s.Neut = word(msg::wordBrakeReleased());
  s.Neut2 = word(msg::wordPowerOff());
  s.Apply = word(msg::wordBrakeApply());
  s.Maintain = word(msg::wordBrakeMaintain());
  s.Hold = word(msg::wordBrakeHold());
  s.Hold2 = word(msg::wordHoldingBrake());
  s.EB = word(msg::wordEmergency());
  s.Start = word(msg::wordMenuStart());
  s.Move = word(msg::wordMenuMove());
  s.Display = {word(msg::wordMenuDisplay()), word(msg::wordMenuHelp()),
               word(msg::wordMenuRedraw())};
  s.Control = word(msg::wordMenuController());
  return s;
}

Settings readSettingsFile(const LoadContext& ctx) {
  std::optional<std::string> bytes = ctx.readDataFile(kSettingsFileName);
  if (!bytes) throw LoadError(msg::settingsFileError());
  return inLanguage(parseSettingsFile(std::move(*bytes)), msg::currentLanguage());
}

}  // namespace dravolin::data
