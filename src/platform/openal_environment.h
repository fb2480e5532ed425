// What the program tells OpenAL Soft (and the libraries beneath it) before their first use,
// through the environment they read then:
// - Their messages stay off standard error, which they would otherwise fill with a page of
//   lines when there is no sound card: OpenAL Soft's own log goes to the program's sound log
//   (ALSOFT_LOGFILE, a file in the program's state folder, written afresh at every start) and
//   ALSA's error printing is silenced. DRAVOLIN_SOUND_LOG=1 leaves both on standard error; a
//   log file the user names is kept.
// - The desktop's sound server may move the program's stream to another output (OpenAL Soft's
//   PulseAudio back end refuses unless its "allow-moves" is set): the program writes a
//   configuration file with only that key and names it in ALSOFT_CONF, unless the user names
//   a configuration file there already or one of the user's own files sets the key.
// - The mixer shows the stream under the program's name and icon (PulseAudio's
//   application.name and application.icon_name), unless the user's environment gives them.
// Must run before any other thread starts, as it sets environment variables.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dravolin::platform {

// DRAVOLIN_SOUND_LOG=1 (anything but empty or "0"): the libraries' messages stay on standard
// error.
inline constexpr const char* kSoundLogVariable = "DRAVOLIN_SOUND_LOG";
inline constexpr const char* kSoundLogName = "sound.log";
inline constexpr const char* kOpenAlConfigName = "alsoft.conf";

struct SoundEnvironmentPlan {
  // Variables to set, each only where the environment has no value for it yet.
  std::vector<std::pair<std::string, std::string>> variables;
  // The configuration file to write first (empty: none) and its text.
  std::filesystem::path configFile;
  std::string configText;
  // Where the libraries' messages go; empty: standard error.
  std::filesystem::path logFile;
  bool quietAlsa = false;  // ALSA's error printing is silenced
};

using EnvironmentReader = std::function<const char*(const char* name)>;
using FileReader = std::function<std::optional<std::string>(const std::filesystem::path& path)>;

// The plan for an environment and the user's files as `env` and `readFile` give them, with the
// program's files in `stateFolder`.
SoundEnvironmentPlan planSoundEnvironment(const EnvironmentReader& env, const FileReader& readFile,
                                          const std::filesystem::path& stateFolder);

// Whether an OpenAL Soft configuration text sets the PulseAudio back end's "allow-moves".
bool setsAllowMoves(const std::string& configText);

// The OpenAL Soft configuration files of the user and the system, in the order it reads them
// (ALSOFT_CONF, read last, aside).
std::vector<std::filesystem::path> openAlConfigFiles(const EnvironmentReader& env);

// The program's state folder: $XDG_STATE_HOME/dravolin, else ~/.local/state/dravolin.
std::filesystem::path soundStateFolder(const EnvironmentReader& env);

// Writes the configuration file, sets the variables and quiets ALSA as planned.
void applySoundEnvironment(const SoundEnvironmentPlan& plan);

// Plans for the process's own environment and files in soundStateFolder() and applies the plan.
SoundEnvironmentPlan prepareSoundEnvironment();

}  // namespace dravolin::platform
