// SHA-256 of a stream of bytes, through OpenSSL's libcrypto (which uses the processor's SHA
// instructions where it has them): what a package's manifest names every file by.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace dravolin::library {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void add(const void* data, std::size_t size);
  // The digest as 64 lower-case hexadecimal digits; the hash starts afresh after it.
  std::string hex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The SHA-256 of a whole file; nullopt when it cannot be read.
std::optional<std::string> sha256OfFile(const std::filesystem::path& file);

}  // namespace dravolin::library
