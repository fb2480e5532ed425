#include "shell/messages.h"

#include <QApplication>
#include <QMessageBox>

namespace dravolin::shell {

namespace {

MessageSink& sink() {
  static MessageSink s;
  return s;
}

}  // namespace

void showMessage(const QString& text, MessageKind kind) {
  if (sink()) {
    sink()(text, kind);
    return;
  }
  QWidget* parent = QApplication::activeWindow();
  if (kind == MessageKind::Error) {
    QMessageBox::critical(parent, QApplication::applicationName(), text);
  } else {
    QMessageBox::information(parent, QApplication::applicationName(), text);
  }
}

MessageSink setMessageSink(MessageSink s) {
  MessageSink previous = std::move(sink());
  sink() = std::move(s);
  return previous;
}

}  // namespace dravolin::shell
