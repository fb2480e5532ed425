// What the program tells the sound libraries through the environment: where their messages go,
// whether the sound server may move the stream, and the stream's name and icon. Each case is an
// environment and the user's configuration files; the plan is checked, nothing is applied.
#include "platform/openal_environment.h"

#include <gtest/gtest.h>

#include <map>

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;
using platform::planSoundEnvironment;
using platform::setsAllowMoves;
using Vars = std::map<std::string, std::string>;

const fs::path kState = "/state/dravolin";

struct Plan {
  Vars set;  // the variables the plan sets
  bool config = false;
  std::string logFile;
  bool quietAlsa = false;
};

Plan plan(const Vars& env, const std::map<fs::path, std::string>& files) {
  const platform::SoundEnvironmentPlan p = planSoundEnvironment(
      [&env](const char* name) -> const char* {
        const auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
      },
      [&files](const fs::path& path) -> std::optional<std::string> {
        const auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return it->second;
      },
      kState);
  Plan out{{}, !p.configFile.empty(), p.logFile.string(), p.quietAlsa};
  for (const auto& [name, value] : p.variables) out.set[name] = value;
  if (out.config) {
    EXPECT_EQ(p.configFile, kState / "alsoft.conf");
    EXPECT_TRUE(setsAllowMoves(p.configText));
  }
  return out;
}

TEST(SoundEnvironment, PlanFollowsTheUsersOwnSettings) {
  const Vars home = {{"HOME", "/home/u"}};
  const std::string log = (kState / "sound.log").string();
  const std::string conf = (kState / "alsoft.conf").string();
  const Vars ours = {{"ALSOFT_LOGFILE", log},
                     {"ALSOFT_CONF", conf},
                     {"PULSE_PROP_OVERRIDE_application.name", "Dravolin"},
                     {"PULSE_PROP_application.icon_name", "dravolin"}};
  auto without = [&ours](std::initializer_list<const char*> names) {
    Vars v = ours;
    for (const char* n : names) v.erase(n);
    return v;
  };
  auto with = [&home](Vars extra) {
    extra.insert(home.begin(), home.end());
    return extra;
  };
  const std::string moves = "[pulse]\nallow-moves = false\n";
  struct Case {
    const char* name;
    Vars env;
    std::map<fs::path, std::string> files;
    Plan expected;
  };
  const std::vector<Case> cases = {
      {"nothing of the user's", home, {}, {ours, true, log, true}},
      {"messages asked for",
       with({{"DRAVOLIN_SOUND_LOG", "1"}}),
       {},
       {without({"ALSOFT_LOGFILE"}), true, "", false}},
      {"messages not asked for", with({{"DRAVOLIN_SOUND_LOG", "0"}}), {}, {ours, true, log, true}},
      {"the user's log file",
       with({{"ALSOFT_LOGFILE", "/tmp/mine.log"}}),
       {},
       {without({"ALSOFT_LOGFILE"}), true, "/tmp/mine.log", true}},
      {"the user's ALSOFT_CONF",
       with({{"ALSOFT_CONF", "/home/u/x.conf"}}),
       {},
       {without({"ALSOFT_CONF"}), false, log, true}},
      {"~/.alsoftrc sets it",
       home,
       {{"/home/u/.alsoftrc", moves}},
       {without({"ALSOFT_CONF"}), false, log, true}},
      {"XDG_CONFIG_HOME's file sets it",
       with({{"XDG_CONFIG_HOME", "/cfg"}}),
       {{"/cfg/alsoft.conf", moves}},
       {without({"ALSOFT_CONF"}), false, log, true}},
      {"~/.config is not read under XDG_CONFIG_HOME",
       with({{"XDG_CONFIG_HOME", "/cfg"}}),
       {{"/home/u/.config/alsoft.conf", moves}},
       {ours, true, log, true}},
      {"an XDG_CONFIG_DIRS file sets it",
       with({{"XDG_CONFIG_DIRS", "/a:/b"}}),
       {{"/b/alsoft.conf", moves}},
       {without({"ALSOFT_CONF"}), false, log, true}},
      {"the system's file only mentions it",
       home,
       {{"/etc/openal/alsoft.conf", "[pulse]\n#allow-moves = true\n"}},
       {ours, true, log, true}},
      {"PULSE_PROP names the program",
       with({{"PULSE_PROP", "application.name=Mine"}}),
       {},
       {without({"PULSE_PROP_OVERRIDE_application.name"}), true, log, true}},
      {"a per-key icon",
       with({{"PULSE_PROP_application.icon_name", "x"}}),
       {},
       {without({"PULSE_PROP_application.icon_name"}), true, log, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Plan p = plan(c.env, c.files);
    EXPECT_EQ(p.set, c.expected.set);
    EXPECT_EQ(p.config, c.expected.config);
    EXPECT_EQ(p.logFile, c.expected.logFile);
    EXPECT_EQ(p.quietAlsa, c.expected.quietAlsa);
  }
}

TEST(SoundEnvironment, AllowMovesIsSetOnlyByAKeyWithAValueInThePulseBlock) {
  struct Case {
    const char* text;
    bool sets;
  };
  for (const Case c :
       {Case{"[pulse]\nallow-moves = false\n", true}, Case{"[Pulse]\r\nAllow-Moves=1\r\n", true},
        Case{"[pulse]\nallow-moves = true # the stream may move\n", true},
        Case{"pulse/allow-moves = yes\n", true}, Case{"[general]\npulse/allow-moves = yes\n", true},
        Case{"[pulse]\n# allow-moves = true\n", false}, Case{"[pulse]\nallow-moves =\n", false},
        Case{"[pulse]\nallow-moves = \"\"\n", false}, Case{"[alsa]\nallow-moves = true\n", false},
        Case{"[pulse]\n[general]\nallow-moves = true\n", false},
        Case{"allow-moves = true\n", false}, Case{"", false}}) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(setsAllowMoves(c.text), c.sets);
  }
}

TEST(SoundEnvironment, StateFolderFollowsXdgStateHome) {
  struct Case {
    Vars env;
    fs::path folder;
  };
  for (const Case& c :
       {Case{{{"HOME", "/home/u"}}, "/home/u/.local/state/dravolin"},
        Case{{{"HOME", "/home/u"}, {"XDG_STATE_HOME", "/st"}}, "/st/dravolin"},
        Case{{{"HOME", "/home/u"}, {"XDG_STATE_HOME", "rel"}}, "/home/u/.local/state/dravolin"}}) {
    EXPECT_EQ(platform::soundStateFolder([&c](const char* name) -> const char* {
                const auto it = c.env.find(name);
                return it == c.env.end() ? nullptr : it->second.c_str();
              }),
              c.folder);
  }
}

}  // namespace
}  // namespace dravolin::testing
