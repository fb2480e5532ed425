#include "shell/help_window.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include "data/data_path.h"
#include "data/text_encoding.h"
#include "shell/messages.h"

namespace dravolin::shell {

bool readHelpFile(const std::filesystem::path& path, QString& caption, QStringList& lines) {
  const std::optional<std::string> bytes = data::readFileBytes(path);
  if (!bytes) return false;
  QString text = QString::fromStdString(data::cp932ToUtf8(*bytes));
  text.replace("\r\n", "\n");
  text.replace('\r', '\n');
  QStringList all = text.split('\n');
  // A final line break ends the last line; it does not start an empty one.
  if (!all.isEmpty() && all.back().isEmpty()) all.removeLast();
  caption = all.isEmpty() ? QString() : all.takeFirst();
  lines = all;
  return true;
}

HelpWindow::HelpWindow(const std::filesystem::path& dataDir, QWidget* parent)
    : QWidget(parent, Qt::Dialog), memo_(new QPlainTextEdit(this)) {
  setWindowTitle("Help");
  setFixedSize(kWidth, kHeight);
  memo_->setGeometry(1, 1, 225, 329);
  memo_->setReadOnly(true);
  // Read-only, the text box would take no input method; its committed text goes on as typed.
  memo_->setAttribute(Qt::WA_InputMethodEnabled, true);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->installEventFilter(this);
  QString caption;
  QStringList lines;
  const std::filesystem::path path = data::resolveDataPath(dataDir, kHelpFile);
  if (!readHelpFile(path, caption, lines)) {
    showMessage(QString("ファイルを開けません: %1").arg(QString::fromStdString(path.string())));
    return;
  }
  setWindowTitle(caption);
  memo_->setPlainText(lines.join('\n'));
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
  // The driving window gets every key first; the text box then scrolls as usual (it is
  // read-only, so typing changes nothing).
  if (watched == memo_ && event->type() == QEvent::KeyPress && onKey) {
    onKey(static_cast<QKeyEvent*>(event));
  }
  if (watched == memo_ && event->type() == QEvent::InputMethod) {
    const QString text = static_cast<QInputMethodEvent*>(event)->commitString();
    if (!text.isEmpty() && onKey) {
      QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
      onKey(&typed);
    }
    event->accept();
    return true;  // nothing is written into the text
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace dravolin::shell
