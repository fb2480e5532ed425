// The sound track of a movie file through FFmpeg: the first audio stream decoded whole into a
// wave of 16-bit samples at the stream's own rate, mono or stereo (more channels keep the first
// two). Used for the opening movie's sound.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/wave_file.h"

namespace dravolin::platform {

// Decoded sound above this many bytes is cut off there (about 12 minutes at 44.1 kHz stereo).
inline constexpr std::int64_t kMaxDecodedAudioBytes = 128LL * 1024 * 1024;

// The decoded sound track; std::nullopt when the file cannot be opened, has no audio stream, or
// none of it decodes.
std::optional<Wave> readAudioTrack(const std::string& path);

}  // namespace dravolin::platform
