#include "platform/language.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace dravolin::msg {

namespace {

std::atomic<Language>& current() {
  static std::atomic<Language> language{Language::Japanese};
  return language;
}

// The language a locale or LANGUAGE entry names ("en_US.UTF-8" is English), if one of ours.
std::optional<Language> languageOfLocale(std::string_view name) {
  const std::size_t end = name.find_first_of("_.@");
  return languageOfCode(name.substr(0, end));
}

bool isCLocale(std::string_view name) {
  return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

}  // namespace

std::string_view languageCode(Language language) {
  return language == Language::English ? "en" : "ja";
}

std::optional<Language> languageOfCode(std::string_view code) {
  for (Language l : kLanguages) {
    if (code == languageCode(l)) return l;
  }
  return std::nullopt;
}

Language languageOfEnvironment(const EnvironmentReader& getenv) {
  const auto read = [&getenv](const char* name) -> std::string_view {
    const char* value = getenv ? getenv(name) : std::getenv(name);
    return value == nullptr ? std::string_view() : std::string_view(value);
  };
  std::string_view locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = read(name);
    if (!locale.empty()) break;
  }
  if (locale.empty() || isCLocale(locale)) return Language::Japanese;
  std::string_view list = read("LANGUAGE");
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    if (const std::optional<Language> l = languageOfLocale(list.substr(0, colon))) return *l;
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return languageOfLocale(locale).value_or(Language::Japanese);
}

Language currentLanguage() { return current().load(std::memory_order_relaxed); }

void setLanguage(Language language) { current().store(language, std::memory_order_relaxed); }

bool takeLanguageOption(int& argc, char** argv, std::string& error) {
  std::optional<Language> chosen;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::optional<std::string_view> code;
    if (arg == "--") {
      // Everything after "--" is an operand.
      while (i < argc) argv[kept++] = argv[i++];
      break;
    }
    if (arg == "--lang") {
      if (i + 1 >= argc) {
        error = "--lang needs a language: ja or en";
        return false;
      }
      code = argv[++i];
    } else if (arg.rfind("--lang=", 0) == 0) {
      code = arg.substr(7);
    } else {
      argv[kept++] = argv[i];
      continue;
    }
    chosen = languageOfCode(*code);
    if (!chosen) {
      error = "--lang takes ja or en, not '" + std::string(*code) + "'";
      return false;
    }
  }
  argc = kept;
  argv[argc] = nullptr;
  setLanguage(chosen.value_or(languageOfEnvironment()));
  return true;
}

}  // namespace dravolin::msg
