// Feeds arbitrary bytes to the line video reader as a file (an in-memory file, no disk): opening
// must succeed or fail, and every frame then asked for must be delivered or refused, never a
// crash, a hang or a read out of bounds. Pictures are bounded in size before decoding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/bitmap.h"
#include "platform/ffmpeg_video_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = ::memfd_create("video", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, data, size) != static_cast<ssize_t>(size)) {
    ::close(fd);
    return 0;
  }
  {
    dravolin::platform::FfmpegVideoReader reader;
    if (reader.open("/proc/self/fd/" + std::to_string(fd))) {
      dravolin::platform::Bitmap bitmap;
      const int count = reader.frameCount();
      for (const int n : {0, count - 1, count / 2, 1, count, -1}) reader.getFrame(n, bitmap);
    }
  }
  ::close(fd);
  return 0;
}
