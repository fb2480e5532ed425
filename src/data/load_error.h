// The error that ends the loading of a drive: a bad or missing data file or picture. It carries
// the exact text the user is shown (UTF-8); the shell shows it in a message box and ends the
// program, a command-line tool prints it on standard error and exits with a non-zero status.
#pragma once

#include <stdexcept>
#include <string>

namespace dravolin::data {

class LoadError : public std::runtime_error {
 public:
  explicit LoadError(const std::string& message) : std::runtime_error(message) {}

  // The text shown to the user, UTF-8 (the same as what()).
  std::string message() const { return what(); }
};

}  // namespace dravolin::data
