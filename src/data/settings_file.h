// The settings and message file "dravolin.dat": the folder of the line videos, the texts the
// driving window shows for the handles and the station stops, and the main menu's captions.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "data/load_context.h"
#include "data/load_error.h"
#include "platform/language.h"

namespace dravolin::data {

inline constexpr const char* kSettingsFileName = "dravolin.dat";

struct Settings {
  // "[Path]": prefix of the video file name, raw code page 932 bytes (a path, never shown).
  std::string Path;
  // Indication texts, UTF-8; empty when their key is absent.
  std::string Forward;   // reverser forward
  std::string Neutral;   // reverser neutral
  std::string Reverse;   // reverser reverse
  std::string Stop;      // next-station suffix, station type 0
  std::string Pass;      // next-station suffix, station type 1
  std::string Stop2;     // next-station suffix, station type 2
  std::string Neut;      // brake released
  std::string Neut2;     // power off
  std::string Apply;     // four-position brake, position 3
  std::string Maintain;  // four-position brake, position 1
  std::string Hold;      // four-position brake, position 2
  std::string Hold2;     // holding brake
  std::string EB;        // emergency brake
  // Main menu captions, UTF-8; absent when the file does not give them (the designed captions
  // then stay).
  std::optional<std::string> Start;                   // `start1`
  std::optional<std::string> Move;                    // `GoTo1`
  std::optional<std::array<std::string, 3>> Display;  // `Show1`, `menu_d1`, `menu_d2`
  std::optional<std::string> Control;                 // `Controller1`
};

// Reads the settings file from its bytes; every value is a text, so nothing fails.
Settings parseSettingsFile(std::string bytes);

// The texts the driving window shows in `language`: in Japanese those of the file, as they are;
// in any other language the catalogue's words for every text and caption (a driver who does not
// read Japanese gets them whatever the data folder's file says). The video folder stays.
Settings inLanguage(Settings settings, msg::Language language);

// Reads "dravolin.dat" in the data folder, its texts in the program's language (inLanguage()).
// Throws LoadError "stringファイルに誤りがあります" when the file cannot be opened or read.
Settings readSettingsFile(const LoadContext& ctx);

}  // namespace dravolin::data
