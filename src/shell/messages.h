// Message boxes of the program. Everything the windows tell the user goes through one sink, so
// that tests can read the texts instead of facing a modal box.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace dravolin::shell {

enum class MessageKind { Information, Error };
using MessageSink = std::function<void(const QString& text, MessageKind kind)>;

// Shows a message and returns when the user has closed it (the sink in use decides how).
void showMessage(const QString& text, MessageKind kind = MessageKind::Error);
// Replaces the sink; an empty sink brings back the message boxes. Returns the previous sink.
MessageSink setMessageSink(MessageSink sink);

}  // namespace dravolin::shell
