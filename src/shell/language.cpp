#include "shell/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/message.h"

namespace dravolin::shell {

namespace {

// Loads `name` (without ".qm") from `folder` into a fresh translator and installs it; null when
// there is no such file.
std::unique_ptr<QTranslator> installed(const QString& name, const QString& folder) {
  auto t = std::make_unique<QTranslator>();
  if (!t->load(name, folder)) return nullptr;
  QCoreApplication::installTranslator(t.get());
  return t;
}

}  // namespace

QString languageName(msg::Language language) {
  return language == msg::Language::English ? QStringLiteral("English") : QStringLiteral("日本語");
}

Translations::Translations() = default;

Translations::~Translations() { removeAll(); }

void Translations::removeAll() {
  for (std::unique_ptr<QTranslator>* t : {&windows_, &qtBase_, &qtSerialPort_}) {
    if (*t) QCoreApplication::removeTranslator(t->get());
    t->reset();
  }
}

void Translations::install(msg::Language language) {
  removeAll();
  language_ = language;
  msg::setPseudoTexts(false);
  msg::setLanguage(language);
  const QString code = QString::fromUtf8(msg::languageCode(language).data(),
                                         static_cast<int>(msg::languageCode(language).size()));
  // The windows' sources are Japanese: only the other languages have a file.
  if (language != msg::Language::Japanese) {
    windows_ = installed("dravolin_" + code, ":/i18n");
  }
  // Qt's own texts are English at the source: the other languages come from Qt's files.
  if (language != msg::Language::English) {
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    qtBase_ = installed("qtbase_" + code, qtFolder);
    qtSerialPort_ = installed("qtserialport_" + code, qtFolder);
  }
  // Dates, numbers and the words Qt's dialogs take from the locale follow the language, unless
  // the desktop's locale speaks it already (an en_GB desktop keeps its own).
  const QLocale::Language wanted =
      language == msg::Language::English ? QLocale::English : QLocale::Japanese;
  if (QLocale::system().language() != wanted) {
    QLocale::setDefault(QLocale(
        wanted, language == msg::Language::English ? QLocale::UnitedStates : QLocale::Japan));
  } else {
    QLocale::setDefault(QLocale::system());
  }
}

bool Translations::installPseudo(const QString& qmFile) {
  removeAll();
  language_ = msg::Language::English;
  msg::setLanguage(msg::Language::English);
  windows_ = std::make_unique<QTranslator>();
  if (!windows_->load(qmFile)) {
    windows_.reset();
    return false;
  }
  QCoreApplication::installTranslator(windows_.get());
  msg::setPseudoTexts(true);
  return true;
}

msg::Language startLanguage(std::optional<msg::Language> commandLine,
                            std::optional<msg::Language> kept,
                            const msg::EnvironmentReader& getenv) {
  if (commandLine) return *commandLine;
  if (kept) return *kept;
  return msg::languageOfEnvironment(getenv);
}

}  // namespace dravolin::shell
