// The error that ends the loading of a drive: a bad or missing data file or picture. It carries
// the message the user is shown, as a message id with its arguments (platform/message.h); the
// shell shows its text in a message box and ends the program, a command-line tool prints it on
// standard error and exits with a non-zero status.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/message.h"

namespace dravolin::data {

class LoadError : public std::runtime_error {
 public:
  // what() is the text in the language of the moment the error is made.
  explicit LoadError(msg::Message message)
      : std::runtime_error(message.text()), message_(std::move(message)) {}

  // The text shown to the user, UTF-8, in the program's language.
  std::string message() const { return message_.text(); }
  // The message id with its arguments.
  const msg::Message& id() const { return message_; }

 private:
  msg::Message message_;
};

}  // namespace dravolin::data
