// The language the program speaks: Japanese, whose texts are the system's own, or English.
//
// The windows translate their texts with Qt Linguist (src/shell/language.h); the libraries that
// link no Qt give a message id with its arguments, which the catalogue formats in the language
// chosen here (platform/message.h). One language holds for the whole process: the program sets
// it at start and when the driver changes it, a tool from its --lang option or the desktop.
//
// The desktop's language is found as gettext finds it: the locale is the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty; LANGUAGE, a list such as "fr:en", goes before
// it unless that locale is C or POSIX (or unset). The first entry that names English ("en",
// "en_GB.UTF-8", ...) or Japanese decides; anything else, the C locale included, is Japanese.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dravolin::msg {

enum class Language { Japanese, English };

inline constexpr Language kLanguages[] = {Language::Japanese, Language::English};

// "ja", "en": the codes of the catalogues' files, the settings and the --lang option.
std::string_view languageCode(Language language);
// The language of a code; nullopt for a code the program has no language for.
std::optional<Language> languageOfCode(std::string_view code);

// Reads an environment variable: null when it is not set.
using EnvironmentReader = std::function<const char*(const char* name)>;
// The desktop's language by the rule above; null `getenv`: the process's environment.
Language languageOfEnvironment(const EnvironmentReader& getenv = nullptr);

// The language messages are formatted in; Japanese until set.
Language currentLanguage();
void setLanguage(Language language);

// The tools' option: takes every "--lang CODE" and "--lang=CODE" out of argv (argc shrinks) and
// sets the language to the last one given, or to the desktop's when none is. False with
// `error` set for a code that is no language or an option without its code.
bool takeLanguageOption(int& argc, char** argv, std::string& error);

// The line of the tools' usage texts that names the option.
inline constexpr const char* kLanguageOptionUsage =
    "  --lang ja|en   the language of the messages (default: the desktop's, Japanese unless it "
    "is English)\n";

}  // namespace dravolin::msg
