#include "platform/openal_environment.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace dravolin::platform {
namespace {

namespace fs = std::filesystem;

bool isSet(const char* value) { return value != nullptr && *value != '\0'; }

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Whether the user gives the PulseAudio property `key` in any of the ways libpulse reads.
bool userGivesProperty(const EnvironmentReader& env, const std::string& key) {
  for (const char* list : {"PULSE_PROP", "PULSE_PROP_OVERRIDE"}) {
    const char* value = env(list);
    if (isSet(value) && std::string(value).find(key) != std::string::npos) return true;
  }
  return isSet(env(("PULSE_PROP_" + key).c_str())) ||
         isSet(env(("PULSE_PROP_OVERRIDE_" + key).c_str()));
}

// ALSA's error printing, silenced: a failed open prints eight lines for every try, and OpenAL
// Soft's own log already says the device could not be opened.
void alsaError(const char*, int, const char*, int, const char*, ...) {}

// Installs the handler in the ALSA library OpenAL Soft will load (the same shared library).
void quietAlsa() {
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
  if (alsa == nullptr) return;  // no ALSA: nothing will print
  auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
  if (set != nullptr) set(&alsaError);
  // The library stays loaded for the life of the program, as OpenAL Soft keeps it.
}

}  // namespace

bool setsAllowMoves(const std::string& configText) {
  std::istringstream in(configText);
  std::string line;
  std::string section;  // "" for the general block
  while (std::getline(in, line)) {
    line = trimmed(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      section = lower(trimmed(line.substr(1, close == std::string::npos ? close : close - 1)));
      if (section == "general") section.clear();
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = lower(trimmed(line.substr(0, equals)));
    const std::string value = trimmed(line.substr(equals + 1));
    if (!section.empty()) key = section + "/" + key;
    // An empty value leaves the library's default.
    if (key == "pulse/allow-moves" && !value.empty() && value != "\"\"" && value != "''") {
      return true;
    }
  }
  return false;
}

std::vector<fs::path> openAlConfigFiles(const EnvironmentReader& env) {
  std::vector<fs::path> files = {"/etc/openal/alsoft.conf"};
  const char* dirs = env("XDG_CONFIG_DIRS");
  std::string list = isSet(dirs) ? dirs : "/etc/xdg";
  // Read from the last to the first, so that the first listed wins.
  std::vector<fs::path> system;
  std::istringstream in(list);
  for (std::string dir; std::getline(in, dir, ':');) {
    if (!dir.empty() && dir.front() == '/') system.push_back(fs::path(dir) / "alsoft.conf");
  }
  files.insert(files.end(), system.rbegin(), system.rend());
  const char* home = env("HOME");
  if (isSet(home)) files.push_back(fs::path(home) / ".alsoftrc");
  const char* configHome = env("XDG_CONFIG_HOME");
  if (isSet(configHome)) {
    files.push_back(fs::path(configHome) / "alsoft.conf");
  } else if (isSet(home)) {
    files.push_back(fs::path(home) / ".config" / "alsoft.conf");
  }
  return files;
}

fs::path soundStateFolder(const EnvironmentReader& env) {
  const char* state = env("XDG_STATE_HOME");
  if (isSet(state) && *state == '/') return fs::path(state) / "dravolin";
  const char* home = env("HOME");
  return fs::path(isSet(home) ? home : "/tmp") / ".local" / "state" / "dravolin";
}

SoundEnvironmentPlan planSoundEnvironment(const EnvironmentReader& env, const FileReader& readFile,
                                          const fs::path& stateFolder) {
  SoundEnvironmentPlan plan;
  const char* verbose = env(kSoundLogVariable);
  if (!isSet(verbose) || std::string(verbose) == "0") {
    const char* userLog = env("ALSOFT_LOGFILE");
    plan.logFile = isSet(userLog) ? fs::path(userLog) : stateFolder / kSoundLogName;
    if (!isSet(userLog)) plan.variables.emplace_back("ALSOFT_LOGFILE", plan.logFile.string());
    plan.quietAlsa = true;
  }
  bool userMoves = isSet(env("ALSOFT_CONF"));
  for (const fs::path& file : openAlConfigFiles(env)) {
    if (userMoves) break;
    if (const std::optional<std::string> text = readFile(file)) userMoves = setsAllowMoves(*text);
  }
  if (!userMoves) {
    plan.configFile = stateFolder / kOpenAlConfigName;
    plan.configText =
        "# Written by Dravolin for its own sound output: the sound server may move the stream\n"
        "# to another output. Your own OpenAL Soft settings (~/.alsoftrc, ALSOFT_CONF) win.\n"
        "[pulse]\n"
        "allow-moves = true\n";
    plan.variables.emplace_back("ALSOFT_CONF", plan.configFile.string());
  }
  if (!userGivesProperty(env, "application.name")) {
    plan.variables.emplace_back("PULSE_PROP_OVERRIDE_application.name", "Dravolin");
  }
  if (!userGivesProperty(env, "application.icon_name")) {
    plan.variables.emplace_back("PULSE_PROP_application.icon_name", "dravolin");
  }
  return plan;
}

void applySoundEnvironment(const SoundEnvironmentPlan& plan) {
  std::error_code ec;
  for (const fs::path& file : {plan.configFile, plan.logFile}) {
    if (!file.empty() && file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  }
  bool configWritten = false;
  if (!plan.configFile.empty()) {
    std::ofstream out(plan.configFile, std::ios::binary | std::ios::trunc);
    out << plan.configText;
    configWritten = static_cast<bool>(out.flush());
  }
  for (const auto& [name, value] : plan.variables) {
    if (name == "ALSOFT_CONF" && !configWritten) continue;
    ::setenv(name.c_str(), value.c_str(), 0);
  }
  if (plan.quietAlsa) quietAlsa();
}

SoundEnvironmentPlan prepareSoundEnvironment() {
  const EnvironmentReader env = [](const char* name) { return std::getenv(name); };
  const FileReader readFile = [](const fs::path& path) -> std::optional<std::string> {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  };
  SoundEnvironmentPlan plan = planSoundEnvironment(env, readFile, soundStateFolder(env));
  applySoundEnvironment(plan);
  return plan;
}

}  // namespace dravolin::platform
