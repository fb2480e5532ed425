// Reading a file whole, with one open and no separate look at the name first: a start-up reads
// every file of a drive this way, so each file costs an open, a status, its reads and a close.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace dravolin::platform {

enum class WholeFileRead { Ok, Unreadable, TooLarge };

// Reads the regular file at `path` into `out` (a std::string or a vector of bytes). Anything but
// a regular file is Unreadable without a read: a pipe or a device could block or never end, and
// the open does not wait for one. A size above `maxBytes` is refused before anything is read, and
// the read stops at the limit all the same in case the file grows meanwhile. A file that shrinks
// while it is read gives what was there.
template <class Bytes>
WholeFileRead readWholeFile(const char* path, std::uintmax_t maxBytes, Bytes& out) {
  out.clear();
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return WholeFileRead::Unreadable;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return WholeFileRead::Unreadable;
  const auto size = static_cast<std::uintmax_t>(std::max<off_t>(st.st_size, 0));
  if (size > maxBytes) return WholeFileRead::TooLarge;

  // One byte more than the size, so that a file read to its end shows it with a short read.
  out.resize(static_cast<std::size_t>(size) + 1);
  std::size_t got = 0;
  for (;;) {
    if (got == out.size()) {
      if (got > maxBytes) {
        out.clear();
        return WholeFileRead::TooLarge;
      }
      const std::uintmax_t grown = std::min<std::uintmax_t>(2 * got + 4096, maxBytes + 1);
      out.resize(static_cast<std::size_t>(grown));
    }
    const std::size_t want = out.size() - got;
    const ssize_t n = ::read(fd, reinterpret_cast<char*>(out.data()) + got, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      out.clear();
      return WholeFileRead::Unreadable;
    }
    got += static_cast<std::size_t>(n);
    if (static_cast<std::size_t>(n) < want) break;  // the end of a regular file
  }
  out.resize(got);
  if (got > maxBytes) {
    out.clear();
    return WholeFileRead::TooLarge;
  }
  return WholeFileRead::Ok;
}

}  // namespace dravolin::platform
