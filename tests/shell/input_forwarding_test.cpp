// Keyboard events as the key handlers receive them, the command line, and the two windows that
// pass their keys on (value display, help).
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <fstream>

#include "input/key_codes.h"
#include "shell/app_options.h"
#include "shell/help_window.h"
#include "shell/key_mapping.h"
#include "shell/value_display_window.h"
#include "shell_fixture.h"

namespace dravolin::testing {
namespace {

TEST(KeyMapping, KeysBecomeVirtualKeysAndCharactersAsTyped) {
  struct Case {
    int key;
    Qt::KeyboardModifiers mods;
    const char* text;  // UTF-8, as the platform gives it
    int wantKey;       // 0: no key-down
    unsigned wantMods;
    std::string wantChars;  // the bytes the character handler gets, one per character
  };
  const Case cases[] = {
      {Qt::Key_Return, Qt::NoModifier, "\r", 13, 0, "\r"},
      {Qt::Key_Enter, Qt::KeypadModifier, "\r", 13, 0, "\r"},
      {Qt::Key_F1, Qt::NoModifier, "", 112, 0, ""},
      {Qt::Key_F12, Qt::ShiftModifier, "", 123, input::kShift, ""},
      {Qt::Key_F5, Qt::ShiftModifier | Qt::ControlModifier, "", 116, input::kShift | input::kCtrl,
       ""},
      {Qt::Key_ScrollLock, Qt::NoModifier, "", 145, 0, ""},
      {Qt::Key_Z, Qt::NoModifier, "z", 90, 0, "z"},
      {Qt::Key_Z, Qt::ShiftModifier, "Z", 90, input::kShift, "Z"},  // upper case as typed
      {Qt::Key_2, Qt::KeypadModifier, "2", 50, 0, "2"},
      {Qt::Key_Space, Qt::NoModifier, " ", 32, 0, " "},
      {Qt::Key_Slash, Qt::NoModifier, "/", 0, 0, "/"},
      // Qt reports the Shift key with the state before it (no Shift) and turns it round.
      {Qt::Key_Shift, Qt::NoModifier, "", 16, input::kShift, ""},
      // Control characters: Ctrl+letter whatever text the platform gives, Tab, Escape.
      {Qt::Key_A, Qt::ControlModifier, "\x01", 65, input::kCtrl, "\x01"},
      {Qt::Key_R, Qt::ControlModifier, "r", 82, input::kCtrl, "\x12"},
      {Qt::Key_Z, Qt::ControlModifier, "", 90, input::kCtrl, "\x1a"},
      {Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier, "\x03", 67, input::kCtrl | input::kShift,
       "\x03"},
      {Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier, "@", 81, input::kCtrl | input::kAlt, "@"},
      {Qt::Key_Tab, Qt::NoModifier, "\t", 9, 0, "\t"},
      {Qt::Key_Backtab, Qt::ShiftModifier, "\t", 9, input::kShift, "\t"},
      {Qt::Key_Escape, Qt::NoModifier, "\x1b", 27, 0, "\x1b"},
      // Delete types nothing, whatever text the platform gives it.
      {Qt::Key_Delete, Qt::NoModifier, "\x7f", 46, 0, ""},
      // Beyond ASCII: half-width kana as their one byte, others by their first byte in code
      // page 932, a character it lacks as "?"; several characters, one byte each.
      {Qt::Key_unknown, Qt::NoModifier, "\uFF71", 0, 0, "\xB1"},            // ｱ
      {Qt::Key_unknown, Qt::NoModifier, "\uFF61\uFF9F", 0, 0, "\xA1\xDF"},  // ｡ﾟ
      {Qt::Key_unknown, Qt::NoModifier, "\u3042", 0, 0, "\x82"},            // あ
      {Qt::Key_unknown, Qt::NoModifier, "\u00E9\U0001F683", 0, 0, "??"},
      {Qt::Key_unknown, Qt::NoModifier, "z8", 0, 0, "z8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.key) + " " + c.text);
    const QKeyEvent e(QEvent::KeyPress, c.key, c.mods, QString::fromUtf8(c.text));
    const auto down = shell::keyDownOf(e, Qt::NoButton);
    EXPECT_EQ(down ? down->virtualKey : 0, c.wantKey);
    if (down) {
      EXPECT_EQ(down->modifiers, c.wantMods);
    }
    EXPECT_EQ(shell::charactersOf(e), c.wantChars);
  }
  EXPECT_EQ(shell::modifiersOf(Qt::AltModifier, Qt::LeftButton | Qt::RightButton),
            input::kAlt | input::kLeftButton | input::kRightButton);
}

TEST(AppOptions, CommandLines) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
    std::string dataDir;
    int scale;
    double measure;  // 0: none
    bool still;
  };
  const Case cases[] = {
      {{}, true, ".", 1, 0, false},
      {{"data"}, true, "data", 1, 0, false},
      {{"--scale", "3", "data"}, true, "data", 3, 0, false},
      {{"--scale", "5"}, false, "", 0, 0, false},
      {{"--scale", "0"}, false, "", 0, 0, false},
      {{"--scale"}, false, "", 0, 0, false},
      {{"a", "b"}, false, "", 0, 0, false},
      {{"--measure", "10", "t.dat", "l.dat"}, true, ".", 1, 10, false},
      {{"--measure", "2.5", "--still", "d", "t.dat", "l.dat"}, true, "d", 1, 2.5, true},
      {{"--measure", "10", "t.dat"}, false, "", 0, 0, false},
      {{"--measure", "-1", "t.dat", "l.dat"}, false, "", 0, 0, false},
      {{"--measure", "x", "t.dat", "l.dat"}, false, "", 0, 0, false},
      {{"--still"}, false, "", 0, 0, false},
      {{"--bogus"}, false, "", 0, 0, false},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    std::string error;
    const auto o = shell::parseAppOptions(c.args, error);
    ASSERT_EQ(o.has_value(), c.ok) << error;
    if (!o) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(o->dataDir, c.dataDir);
    EXPECT_EQ(o->scale, c.scale);
    EXPECT_EQ(o->measureSeconds.value_or(0), c.measure);
    EXPECT_EQ(o->still, c.still);
    // What the command line left open is taken from the settings kept between runs.
    EXPECT_EQ(o->dataDirGiven, c.dataDir != ".");
    EXPECT_EQ(o->scaleGiven, joined.find("--scale") != std::string::npos);
  }
}

TEST(ValueDisplayWindow, ShowsTheModelOnlyWhileVisibleAndPassesKeysOn) {
  shell::ValueDisplayWindow w;
  EXPECT_EQ(w.size(), QSize(604, 195));
  EXPECT_FALSE(w.isVisible());
  cab::ValueDisplay v;
  v.Speed = "45.7 km/h";
  v.Gauge1 = 200000;
  v.caption = "P3";
  w.showValues(v);  // hidden: no texts set
  EXPECT_EQ(w.refreshes(), 0);
  EXPECT_EQ(w.valueLabel(1)->text(), "0 km/h");
  EXPECT_EQ(w.windowTitle(), "P3");
  v.visible = true;
  w.showValues(v);
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.valueLabel(1)->text(), "45.7 km/h");
  EXPECT_EQ(w.gauge(1)->value(), 200000);
  EXPECT_EQ(w.gauge(2)->value(), cab::ValueDisplay::kGaugeMin);
  int keys = 0;
  bool closed = false;
  w.onKey = [&](QKeyEvent* e) { keys += e->key() == Qt::Key_F5 ? 1 : 0; };
  w.onClosed = [&] { closed = true; };
  QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
  QApplication::sendEvent(&w, &f5);
  EXPECT_EQ(keys, 1);
  w.close();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(w.isVisible());
  saveScreenshot(w, "value_display.png");
}

TEST(HelpWindow, CaptionFromTheFirstLineAndTheRestInTheMemo) {
  struct Case {
    const char* bytes;  // code page 932
    bool write;
    const char* caption;
    const char* memo;
    std::size_t messages;
  };
  const Case cases[] = {
      {"\x91\x80\x8d\xec\x90\xe0\x96\xbe\r\nline 1\r\nline 2\r\n", true, "操作説明",
       "line 1\nline 2", 0},
      {"Only caption\r\n", true, "Only caption", "", 0},
      {"", false, "Help", "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    MessageRecorder messages;
    TemporaryFolder dir;
    if (c.write) std::ofstream(dir.path() / "operation.dat", std::ios::binary) << c.bytes;
    shell::HelpWindow w(dir.path());
    EXPECT_EQ(w.windowTitle().toStdString(), c.caption);
    EXPECT_EQ(w.memo()->toPlainText().toStdString(), c.memo);
    EXPECT_TRUE(w.memo()->isReadOnly());
    EXPECT_EQ(messages.texts.size(), c.messages);
    int keys = 0;
    w.onKey = [&](QKeyEvent*) { ++keys; };
    QKeyEvent z(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z");
    QApplication::sendEvent(w.memo(), &z);
    EXPECT_EQ(keys, 1);
  }
}

}  // namespace
}  // namespace dravolin::testing
