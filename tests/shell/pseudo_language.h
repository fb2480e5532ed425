// The tests' pseudo-language: every window text wrapped in "⟦" and "⟧" (and the catalogue's
// messages too, msg::setPseudoTexts), so that a text a window shows without the marks has
// escaped the translations. Its .qm file is made at test time from translations/dravolin_en.ts:
// every translation wrapped, then lrelease.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

namespace dravolin::testing {

// The pseudo-language's .qm file, made once a test program (empty with `error` set when it
// cannot be made).
QString pseudoLanguageQm(QString* error = nullptr);

// Runs lupdate over the windows' sources into a copy of each translations/dravolin_*.ts and
// returns what is not complete: an unfinished, vanished or obsolete entry (with its source
// text), or a warning of lupdate (a tr() it cannot place). Empty when every file is complete.
QStringList incompleteTranslations();

// Every text `window` shows: its title, the texts, tool tips and status tips of its widgets
// (labels, buttons, group boxes, check boxes, line edits' place holders, tables' headers and
// cells, list items), its menus and their actions, down to every submenu. Hidden widgets count
// too (they show in time). Each text comes with where it was found.
struct ShownText {
  QString where;
  QString text;
};
std::vector<ShownText> shownTexts(const QWidget& window);

// The part of `text` that escaped the pseudo-language: what is left once every "⟦...⟧" and
// every one of `names` (the content's own names) is taken out and the mnemonic "&" dropped, if
// it holds a letter of any script; empty when nothing escaped.
QString escapedText(const QString& text, const QStringList& names);

}  // namespace dravolin::testing
