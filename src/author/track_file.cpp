#include "author/track_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "author/gpmf_reader.h"
#include "author/gpx_reader.h"

namespace dravolin::author {

namespace fs = std::filesystem;

namespace {

// Larger track files are not read (a day of 10 Hz NMEA is a few hundred megabytes less).
constexpr std::uintmax_t kMaxTrackBytes = std::uintmax_t{512} << 20;
constexpr std::size_t kHeadBytes = 4096;

std::string readBytes(const std::string& path, std::uintmax_t most) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) throw AuthorError(path + ": 読み込めません（" + ec.message() + "）");
  if (size > kMaxTrackBytes && most > kMaxTrackBytes) {
    throw AuthorError(path + ": GPS 記録として大きすぎます");
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(std::min(size, most)), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!in) throw AuthorError(path + ": 読み込めません");
  return bytes;
}

}  // namespace

TrackFormat detectTrackFormat(std::string_view bytes) {
  if (bytes.size() >= 8 && bytes.substr(4, 4) == "ftyp") return TrackFormat::Mp4;
  std::string_view head = bytes.substr(0, kHeadBytes);
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  while (!head.empty() && (head.front() == ' ' || head.front() == '\t' || head.front() == '\r' ||
                           head.front() == '\n')) {
    head.remove_prefix(1);
  }
  if (!head.empty() && head.front() == '<') return TrackFormat::Gpx;
  if (containsNmeaSentence(bytes)) return TrackFormat::Nmea;
  return TrackFormat::Unknown;
}

Track readTrackBytes(std::string_view bytes, const std::string& fileName,
                     const TrackDating& dating) {
  switch (detectTrackFormat(bytes)) {
    case TrackFormat::Gpx:
      return readGpx(bytes, fileName);
    case TrackFormat::Nmea:
      return readNmea(bytes, fileName, dating);
    default:
      throw AuthorError(fileName + ": GPX、NMEA、GPS 記録を含む MP4 のどれでもありません");
  }
}

Track readTrackFile(const std::string& path, platform::FootageService& footage,
                    const TrackDating& dating) {
  if (detectTrackFormat(readBytes(path, kHeadBytes)) != TrackFormat::Mp4) {
    return readTrackBytes(readBytes(path, kMaxTrackBytes + 1), path, dating);
  }
  std::vector<GpmfPayload> payloads;
  for (platform::TelemetryPacket& p : footage.telemetry(path)) {
    payloads.push_back(
        {std::move(p.bytes), p.timeS, p.durationS, std::max<std::int64_t>(0, p.fileOffset)});
  }
  if (payloads.empty()) throw AuthorError(path + ": GPS 記録 (GPMF) の流れがありません");
  return readGpmf(payloads, path);
}

}  // namespace dravolin::author
