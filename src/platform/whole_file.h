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

// Reads the regular file at `path` into the start of `buffer` (a std::string or a vector of
// bytes) and sets `length` to the bytes read. The buffer only grows, so a reader of many files
// can keep one and reuse its pages. Anything but a regular file is Unreadable without a read: a
// pipe or a device could block or never end, and the open does not wait for one. A size above
// `maxBytes` is refused before anything is read, and the read stops at the limit all the same in
// case the file grows meanwhile. A file that shrinks while it is read gives what was there.
template <class Bytes>
WholeFileRead readWholeFileInto(const char* path, std::uintmax_t maxBytes, Bytes& buffer,
                                std::size_t& length) {
  length = 0;
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
  std::size_t room = static_cast<std::size_t>(size) + 1;
  if (buffer.size() < room) buffer.resize(room);
  std::size_t got = 0;
  for (;;) {
    if (got == room) {
      if (got > maxBytes) return WholeFileRead::TooLarge;
      room = static_cast<std::size_t>(std::min<std::uintmax_t>(2 * got + 4096, maxBytes + 1));
      if (buffer.size() < room) buffer.resize(room);
    }
    const std::size_t want = room - got;
    const ssize_t n = ::read(fd, reinterpret_cast<char*>(buffer.data()) + got, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return WholeFileRead::Unreadable;
    }
    got += static_cast<std::size_t>(n);
    if (static_cast<std::size_t>(n) < want) break;  // the end of a regular file
  }
  if (got > maxBytes) return WholeFileRead::TooLarge;
  length = got;
  return WholeFileRead::Ok;
}

// The same into `out`, which holds exactly the file's bytes afterwards (nothing when the read
// fails).
template <class Bytes>
WholeFileRead readWholeFile(const char* path, std::uintmax_t maxBytes, Bytes& out) {
  out.clear();
  std::size_t length = 0;
  const WholeFileRead result = readWholeFileInto(path, maxBytes, out, length);
  out.resize(length);
  return result;
}

}  // namespace dravolin::platform
