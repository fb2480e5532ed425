// What the library of lines reports when it refuses or fails: a message id with its arguments
// (platform/message.h), formatted in the program's language when it is shown. A refused package's
// message names the package, the entry and the reason.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>

#include "platform/message.h"

namespace dravolin::library {

class PackageError : public std::runtime_error {
 public:
  explicit PackageError(msg::Message message)
      : std::runtime_error(message.text()), message_(std::move(message)) {}
  // The text shown to the user, UTF-8, in the program's language.
  std::string text() const { return message_.text(); }
  const msg::Message& message() const { return message_; }

 private:
  msg::Message message_;
};

// Progress of long work (making, unpacking, verifying a package): what is being done, and how
// many of the bytes to be read have been read. `cancel`, when set and true, stops the work at the
// next block with PackageError(InstallCancelled); what was written is taken away.
struct Progress {
  std::function<void(const msg::Message& stage, std::uint64_t done, std::uint64_t total)> report;
  const std::atomic<bool>* cancel = nullptr;

  bool cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
  void operator()(const msg::Message& stage, std::uint64_t done, std::uint64_t total) const {
    if (report) report(stage, done, total);
  }
};

}  // namespace dravolin::library
