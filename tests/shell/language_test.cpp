// The windows' languages: the translation files are complete, a language installs the windows'
// texts, Qt's own and the catalogue's together, the start's language comes from the command
// line, the settings or the desktop, and the language menu changes the windows.
#include "shell/language.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include "platform/message_ids.h"
#include "platform/virtual_sound_slots.h"
#include "shell/app_settings.h"
#include "shell/program_shell.h"
#include "shell/title_window.h"
#include "shell_fixture.h"
#include "tests/shell/pseudo_language.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;
using msg::Language;

// Every translations/dravolin_*.ts has a finished translation of every window text of the
// sources and nothing the sources no longer have; lupdate places every tr() in a context.
TEST(Translations, EveryTranslationFileIsComplete) {
  const QStringList problems = incompleteTranslations();
  EXPECT_TRUE(problems.isEmpty()) << problems.join("\n").toStdString();
}

TEST(Translations, ThePseudoLanguageIsMadeFromTheEnglishFile) {
  QString error;
  const QString qm = pseudoLanguageQm(&error);
  ASSERT_FALSE(qm.isEmpty()) << error.toStdString();
  shell::Translations t;
  ASSERT_TRUE(t.installPseudo(qm));
  EXPECT_EQ(QCoreApplication::translate("dravolin::shell::ProgramShell", "音量(&V)"),
            QString::fromUtf8("⟦&Volume⟧"));
  EXPECT_EQ(QString::fromStdString(msg::carsLabel(4).text()), QString::fromUtf8("4⟦ cars⟧"));
  t.install(Language::Japanese);
  EXPECT_FALSE(msg::pseudoTexts());
}

TEST(Language, TheStartsLanguageIsTheCommandLinesThenTheKeptOneThenTheDesktops) {
  const auto desktop = [](const char* lang) {
    return [lang](const char* name) -> const char* {
      return std::string_view(name) == "LANG" ? lang : nullptr;
    };
  };
  const struct {
    std::optional<Language> commandLine, kept;
    const char* lang;
    Language expected;
  } cases[] = {
      {std::nullopt, std::nullopt, "en_US.UTF-8", Language::English},
      {std::nullopt, std::nullopt, "C.UTF-8", Language::Japanese},
      {std::nullopt, Language::Japanese, "en_US.UTF-8", Language::Japanese},
      {std::nullopt, Language::English, "C.UTF-8", Language::English},
      {Language::Japanese, Language::English, "en_US.UTF-8", Language::Japanese},
      {Language::English, Language::Japanese, "C", Language::English},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shell::startLanguage(c.commandLine, c.kept, desktop(c.lang)), c.expected) << c.lang;
  }
}

// A language is the windows', Qt's own and the catalogue's at once.
TEST(Language, ALanguageInstallsTheWindowsQtsAndTheCataloguesTexts) {
  shell::Translations t;
  const auto window = [] {
    return QCoreApplication::translate("dravolin::shell::ProgramShell", "全画面表示(&F)");
  };
  const auto yes = [] { return QCoreApplication::translate("QPlatformTheme", "&Yes"); };
  t.install(Language::English);
  EXPECT_EQ(window(), "&Full Screen");
  EXPECT_EQ(yes(), "&Yes");
  EXPECT_EQ(msg::currentLanguage(), Language::English);
  EXPECT_EQ(QLocale().language(), QLocale::English);
  t.install(Language::Japanese);
  EXPECT_EQ(window(), "全画面表示(&F)");  // the source, as it is
  EXPECT_TRUE(yes().contains(QString::fromUtf8("はい"))) << yes().toStdString();
  EXPECT_EQ(msg::currentLanguage(), Language::Japanese);
  EXPECT_EQ(QLocale().language(), QLocale::Japanese);
}

QAction* languageEntry(const QList<QAction*>& actions, Language language) {
  for (QAction* a : actions) {
    if (a->menu() != nullptr && a->menu()->objectName() == "Language") {
      for (QAction* entry : a->menu()->actions()) {
        if (entry->data().toInt() == static_cast<int>(language)) return entry;
      }
    }
  }
  return nullptr;
}

// The language menu: on the title window the windows are made again in the language at once; in
// the driving window the choice waits for the drive's end, and the status line says so in both
// languages. The choice is kept in the settings.
TEST(Language, TheMenuChangesTheWindowsAtOnceOrWhenTheDriveEnds) {
  shell::Translations translations;
  translations.install(Language::Japanese);
  MessageRecorder messages;
  DataFolder folder;
  TemporaryFolder settingsDir;
  QSettings store(QString::fromStdString(settingsDir.file("dravolin.conf")), QSettings::IniFormat);
  platform::VirtualSoundSlots sound;
  input::ProgramInputState program;
  const fs::path startDir = fs::current_path();
  {
    shell::ProgramShell::Context context;
    context.title.driving.sound = &sound;
    context.title.driving.makeDrive = [](const drive::LoadRequest& r,
                                         const drive::StartupServices& s,
                                         const drive::StartupProgress& p) {
      return std::make_unique<RecordingDrive>(drive::loadDriveData(r, s, p));
    };
    context.title.trains = {};
    context.title.trains[1] = shell::TrainChoice{"test_train.dat", "test_line.dat"};
    context.program = &program;
    context.store = &store;
    context.applyLanguage = [&translations](Language l) { translations.install(l); };
    shell::ProgramShell shell(context, {}, folder.path());
    shell::TitleWindow* title = shell.titleWindow();
    EXPECT_EQ(shell.openFolderAction()->text(), "データフォルダを開く(&O)...");

    QAction* english = languageEntry(title->actions(), Language::English);
    ASSERT_NE(english, nullptr);
    EXPECT_FALSE(english->isChecked());
    english->trigger();
    EXPECT_EQ(shell.language(), Language::English);
    EXPECT_NE(shell.titleWindow(), title);
    EXPECT_EQ(shell.openFolderAction()->text(), "&Open Data Folder...");
    EXPECT_TRUE(languageEntry(shell.titleWindow()->actions(), Language::English)->isChecked());
    EXPECT_EQ(shell::readAppSettings(store).language, Language::English);

    // In the driving window: kept, said, and applied when the drive ends.
    shell.titleWindow()->TrainClick(2);
    shell::DrivingWindow* d = shell.titleWindow()->drivingWindow();
    ASSERT_NE(d, nullptr) << ::testing::PrintToString(messages.texts);
    d->show();
    QAction* japanese = languageEntry(d->displayMenu()->actions(), Language::Japanese);
    ASSERT_NE(japanese, nullptr);
    japanese->trigger();
    EXPECT_EQ(shell.language(), Language::English);
    EXPECT_EQ(shell.pendingLanguage(), Language::Japanese);
    EXPECT_EQ(shell::readAppSettings(store).language, Language::Japanese);
    EXPECT_TRUE(d->statusLine()->text().contains("The language changes when this drive ends"));
    EXPECT_TRUE(d->statusLine()->text().contains("言語は運転を終えると切り替わります"));
    d->close();
    QApplication::processEvents();
    EXPECT_EQ(shell.language(), Language::Japanese);
    EXPECT_EQ(shell.pendingLanguage(), std::nullopt);
    EXPECT_EQ(shell.openFolderAction()->text(), "データフォルダを開く(&O)...");
    EXPECT_EQ(msg::currentLanguage(), Language::Japanese);
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  fs::current_path(startDir);
}

}  // namespace
}  // namespace dravolin::testing
