// The windows' language. Every window text goes through Qt's tr() with the Japanese text as its
// source, so Japanese shows the source as it is; the other languages come from Qt Linguist
// files (translations/dravolin_LANGUAGE.ts, built into the program as :/i18n/dravolin_LANGUAGE.qm).
// Qt's own texts (file dialogs, message box buttons, the standard menus) come from Qt's
// translations (qtbase_LANGUAGE.qm, Debian's qt6-translations-l10n); the libraries without Qt
// format their messages in the same language (platform/message.h).
#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/language.h"

class QTranslator;

namespace dravolin::shell {

// The language menu's entries, each in its own language: "日本語", "English".
QString languageName(msg::Language language);

class Translations {
 public:
  Translations();
  ~Translations();
  Translations(const Translations&) = delete;
  Translations& operator=(const Translations&) = delete;

  // Makes `language` the application's: the windows' translation, Qt's own, the default locale
  // (for Qt's dialogs) and the catalogue of the libraries. Windows made afterwards are in it.
  void install(msg::Language language);
  // The tests' pseudo-language: the windows' texts from `qmFile`, the catalogue's pseudo mode.
  // False when the file cannot be loaded.
  bool installPseudo(const QString& qmFile);

  msg::Language language() const { return language_; }

 private:
  void removeAll();

  msg::Language language_ = msg::Language::Japanese;
  std::unique_ptr<QTranslator> windows_;
  std::unique_ptr<QTranslator> qtBase_;
  std::unique_ptr<QTranslator> qtSerialPort_;
};

// The language a program start uses: the command line's, else the one kept in the settings,
// else the desktop's (msg::languageOfEnvironment()).
msg::Language startLanguage(std::optional<msg::Language> commandLine,
                            std::optional<msg::Language> kept,
                            const msg::EnvironmentReader& getenv = nullptr);

}  // namespace dravolin::shell
