#include "platform/language.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

namespace dravolin::msg {
namespace {

// The desktop's language from its variables, as gettext reads them.
TEST(Language, TheDesktopsLanguageAsGettextFindsIt) {
  using Env = std::map<std::string, std::string>;
  const struct {
    const char* what;
    Env env;
    Language expected;
  } cases[] = {
      {"nothing set: the C locale", {}, Language::Japanese},
      {"English", {{"LANG", "en_US.UTF-8"}}, Language::English},
      {"English without a region", {{"LANG", "en"}}, Language::English},
      {"British English", {{"LANG", "en_GB.UTF-8"}}, Language::English},
      {"Japanese", {{"LANG", "ja_JP.UTF-8"}}, Language::Japanese},
      {"another language", {{"LANG", "de_DE.UTF-8"}}, Language::Japanese},
      {"the C locale", {{"LANG", "C.UTF-8"}}, Language::Japanese},
      {"POSIX", {{"LANG", "POSIX"}}, Language::Japanese},
      {"a name that only begins like en", {{"LANG", "eng"}}, Language::Japanese},
      {"LC_ALL before LANG",
       {{"LC_ALL", "ja_JP.UTF-8"}, {"LANG", "en_US.UTF-8"}},
       Language::Japanese},
      {"LC_MESSAGES before LANG",
       {{"LC_MESSAGES", "en_US.UTF-8"}, {"LANG", "ja_JP.UTF-8"}},
       Language::English},
      {"LC_ALL before LC_MESSAGES",
       {{"LC_ALL", "en_US.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}},
       Language::English},
      {"an empty LC_ALL is no locale",
       {{"LC_ALL", ""}, {"LANG", "en_US.UTF-8"}},
       Language::English},
      {"LANGUAGE before the locale",
       {{"LANGUAGE", "en"}, {"LANG", "ja_JP.UTF-8"}},
       Language::English},
      {"LANGUAGE Japanese before an English locale",
       {{"LANGUAGE", "ja"}, {"LANG", "en_US.UTF-8"}},
       Language::Japanese},
      {"LANGUAGE is ignored in the C locale",
       {{"LANGUAGE", "en"}, {"LANG", "C.UTF-8"}},
       Language::Japanese},
      {"LANGUAGE is ignored without a locale", {{"LANGUAGE", "en_US"}}, Language::Japanese},
      {"the first of LANGUAGE's list the program has",
       {{"LANGUAGE", "fr:en:ja"}, {"LANG", "de_DE"}},
       Language::English},
      {"LANGUAGE without a language of ours: the locale",
       {{"LANGUAGE", "fr:de"}, {"LANG", "en_US"}},
       Language::English},
      {"an empty LANGUAGE entry is skipped",
       {{"LANGUAGE", ":ja"}, {"LANG", "en_US"}},
       Language::Japanese},
  };
  for (const auto& c : cases) {
    const Env env = c.env;
    const Language got = languageOfEnvironment([&env](const char* name) -> const char* {
      const auto it = env.find(name);
      return it == env.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(got, c.expected) << c.what;
  }
}

TEST(Language, CodesRoundTrip) {
  for (Language l : kLanguages) EXPECT_EQ(languageOfCode(languageCode(l)), l);
  EXPECT_EQ(languageOfCode("EN"), std::nullopt);
  EXPECT_EQ(languageOfCode(""), std::nullopt);
}

// The tools' --lang: taken out of the arguments, the others kept in their order.
TEST(Language, TheToolsOptionIsTakenOutOfTheArguments) {
  const struct {
    std::vector<std::string> args;
    bool ok;
    std::vector<std::string> left;
    Language language;  // when ok
  } cases[] = {
      {{"a", "--lang", "en", "b"}, true, {"a", "b"}, Language::English},
      {{"--lang=ja", "a"}, true, {"a"}, Language::Japanese},
      {{"--lang", "en", "--lang", "ja"}, true, {}, Language::Japanese},  // the last one holds
      {{"a", "--", "--lang", "en"}, true, {"a", "--", "--lang", "en"}, Language::Japanese},
      {{"--lang"}, false, {}, Language::Japanese},
      {{"--lang", "fr"}, false, {}, Language::Japanese},
      {{"--lang="}, false, {}, Language::Japanese},
      {{"--language", "en"}, true, {"--language", "en"}, Language::Japanese},
  };
  // Without --lang the desktop's language holds: here the C locale's, Japanese.
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) unsetenv(name);
  setenv("LANG", "C.UTF-8", 1);
  for (const auto& c : cases) {
    std::vector<std::string> storage = {"tool"};
    storage.insert(storage.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(storage.size());
    setLanguage(Language::English);  // a case without --lang takes the environment's (C)
    std::string error;
    const bool ok = takeLanguageOption(argc, argv.data(), error);
    const std::string what = ::testing::PrintToString(c.args);
    ASSERT_EQ(ok, c.ok) << what;
    if (!ok) {
      EXPECT_NE(error.find("--lang"), std::string::npos) << what;
      continue;
    }
    std::vector<std::string> left(argv.begin() + 1, argv.begin() + argc);
    EXPECT_EQ(left, c.left) << what;
    EXPECT_EQ(argv[static_cast<std::size_t>(argc)], nullptr) << what;
    EXPECT_EQ(currentLanguage(), c.language) << what;
  }
  setLanguage(Language::Japanese);
}

}  // namespace
}  // namespace dravolin::msg
