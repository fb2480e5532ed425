#include "author/line_folder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "author/line_assets.h"
#include "author/line_text.h"
#include "data/data_path.h"
#include "data/drive_files.h"
#include "data/load_error.h"
#include "platform/bmp_writer.h"
#include "platform/file_picture_loader.h"

namespace dravolin::author {

namespace fs = std::filesystem;

namespace {

constexpr int kStillWidth = 480;
constexpr int kStillHeight = 240;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& p, const void* data, std::size_t size) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) throw AuthorError(p.string() + ": 書き込めません");
}

void writeBytes(const fs::path& p, const std::string& bytes) {
  writeBytes(p, bytes.data(), bytes.size());
}

// The value line after `key` in a keyed file (raw bytes), or empty.
std::string keyValue(const std::string& bytes, const std::string& key) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos = end + 1;
    if (line == key && pos < bytes.size()) {
      std::size_t e = bytes.find('\n', pos);
      if (e == std::string::npos) e = bytes.size();
      std::string value = bytes.substr(pos, e - pos);
      if (!value.empty() && value.back() == '\r') value.pop_back();
      return value;
    }
  }
  return {};
}

// A data file's name ("move\\a.avi") as a path under `root`.
fs::path under(const fs::path& root, const std::string& rawName) {
  return root / fs::path(data::toSlashes(rawName));
}

// Paths of the trains folder not to copy (lower case, "/"): the line files the made line
// replaces, the videos of the lines they were, and an earlier note.
std::set<std::string> notCopied(const fs::path& trainsDir, const std::string& videoPath) {
  std::set<std::string> skip{lower(kAuthorNote)};
  for (const TitleDrive& t : kTitleDrives) {
    skip.insert(lower(t.line));
    const std::string name = keyValue(readBytes(trainsDir / t.line), "[DataName]");
    if (!name.empty()) skip.insert(lower(data::toSlashes(videoPath + name + ".avi")));
  }
  return skip;
}

bool inside(const fs::path& a, const fs::path& b) {
  const fs::path ca = fs::weakly_canonical(a), cb = fs::weakly_canonical(b);
  auto ia = ca.begin(), ib = cb.begin();
  for (; ib != cb.end(); ++ia, ++ib) {
    if (ia == ca.end() || *ia != *ib) return false;
  }
  return true;
}

void checkTarget(const FolderOptions& o) {
  std::error_code ec;
  if (inside(o.outDir, o.trainsDir) || inside(o.trainsDir, o.outDir)) {
    throw AuthorError(o.outDir.string() + ": 列車のフォルダ " + o.trainsDir.string() +
                      " と重なるフォルダには書き出せません");
  }
  if (!fs::exists(o.outDir, ec)) return;
  if (!fs::is_directory(o.outDir, ec)) {
    throw AuthorError(o.outDir.string() + ": フォルダではありません");
  }
  if (fs::is_empty(o.outDir, ec) || fs::exists(o.outDir / kAuthorNote, ec)) return;
  throw AuthorError(o.outDir.string() +
                    ": 空でないフォルダです（dravolin-author が作ったフォルダか空のフォルダを指定し"
                    "てください）");
}

void copyTrains(const fs::path& from, const fs::path& to, const std::set<std::string>& skip) {
  for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path rel = fs::relative(it->path(), from);
    if (it->is_directory()) {
      fs::create_directories(to / rel);
    } else if (it->is_regular_file() && skip.count(lower(rel.generic_string())) == 0) {
      fs::create_directories((to / rel).parent_path());
      fs::copy_file(it->path(), to / rel, fs::copy_options::overwrite_existing);
    }
  }
}

void copyVideo(const fs::path& from, const fs::path& to, const WriteProgress& progress,
               double share0, double share1) {
  std::ifstream in(from, std::ios::binary);
  if (!in) throw AuthorError(from.string() + ": 読み込めません");
  fs::create_directories(to.parent_path());
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  std::error_code ec;
  const auto total = static_cast<double>(std::max<std::uintmax_t>(1, fs::file_size(from, ec)));
  std::vector<char> buffer(1 << 20);
  double done = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize n = in.gcount();
    if (n <= 0) break;
    out.write(buffer.data(), n);
    done += static_cast<double>(n);
    if (!progress(share0 + (share1 - share0) * done / total, "動画を写しています")) {
      throw platform::FootageCancelled();
    }
  }
  out.close();
  if (!out) throw AuthorError(to.string() + ": 書き込めません");
}

// Every title button's train on the made line, loaded as the program loads a drive.
void checkLoads(const fs::path& dir) {
  for (const TitleDrive& t : kTitleDrives) {
    if (!fs::exists(dir / t.train)) continue;
    platform::FilePictureLoader pictures;
    data::LoadContext ctx;
    ctx.dataDir = dir;
    ctx.pictures = &pictures;
    try {
      data::readDriveFiles(t.train, t.line, ctx);
    } catch (const data::LoadError& e) {
      throw AuthorError(std::string("作った路線を ") + t.train +
                        " で読み込めません: " + e.message());
    }
  }
}

}  // namespace

std::vector<std::string> missingTrainFiles(const fs::path& trainsDir) {
  std::vector<std::string> missing;
  std::error_code ec;
  if (!fs::exists(trainsDir / kSettingsFileName, ec)) missing.push_back(kSettingsFileName);
  bool anyTrain = false;
  for (const TitleDrive& t : kTitleDrives)
    anyTrain = anyTrain || fs::exists(trainsDir / t.train, ec);
  if (!anyTrain) {
    for (const TitleDrive& t : kTitleDrives) missing.push_back(t.train);
  }
  return missing;
}

std::optional<fs::path> installedTrainsFolder(const fs::path& programDir,
                                              const fs::path& installedDataDir) {
  for (const fs::path& dir :
       {programDir / ".." / "share" / "dravolin" / "demo", installedDataDir / "demo"}) {
    if (!dir.empty() && missingTrainFiles(dir).empty()) return dir.lexically_normal();
  }
  return std::nullopt;
}

void writeLineFolder(const RideMeasurements& ride, const LineDraft& draft,
                     const FolderOptions& options, platform::FootageService& footage,
                     const WriteProgress& progress) {
  const std::vector<std::string> missing = missingTrainFiles(options.trainsDir);
  if (!missing.empty()) {
    std::string names;
    for (const std::string& m : missing) names += (names.empty() ? "" : ", ") + m;
    throw AuthorError(options.trainsDir.string() + ": 列車のフォルダに " + names + " がありません");
  }
  checkTarget(options);
  fs::path target = fs::absolute(options.outDir).lexically_normal();
  if (target.filename().empty()) target = target.parent_path();
  const fs::path work = target.parent_path() / (target.filename().string() + ".part");
  std::error_code ec;
  fs::remove_all(work, ec);
  try {
    fs::create_directories(work);
    const std::string settings = readBytes(options.trainsDir / kSettingsFileName);
    const std::string videoPath = keyValue(settings, "[Path]");
    if (!progress(0.0, "列車を写しています")) throw platform::FootageCancelled();
    copyTrains(options.trainsDir, work, notCopied(options.trainsDir, videoPath));

    const std::string lineBytes = lineFileBytes(draft);
    for (const TitleDrive& t : kTitleDrives) writeBytes(work / t.line, lineBytes);
    const std::vector<std::uint8_t> signs = platform::encodeBmp24(signPictures());
    writeBytes(under(work, kSignPictures), signs.data(), signs.size());
    if (!draft.signalList.empty()) {
      const std::vector<std::uint8_t> lamps = platform::encodeBmp24(signalPictures());
      writeBytes(under(work, kSignalPictures), lamps.data(), lamps.size());
    }
    const std::vector<std::uint8_t> chime = departureChime();
    writeBytes(under(work, kDepartureSound), chime.data(), chime.size());
    const double stillTime = draft.frameTimeS[static_cast<std::size_t>(draft.startPos)];
    const std::vector<std::uint8_t> still = platform::encodeBmp24(
        footage.frameAt(ride.videoFile, stillTime, kStillWidth, kStillHeight));
    writeBytes(under(work, kStillPicture), still.data(), still.size());
    if (!progress(0.05, "動画を書き出しています")) throw platform::FootageCancelled();

    const std::string extension = lineVideoName(ride.videoFile, draft.reencode).extension;
    const fs::path video = under(work, videoPath + draft.options.dataName + extension);
    fs::create_directories(video.parent_path());
    if (draft.reencode) {
      footage.writeLineVideo(
          ride.videoFile, video.string(), static_cast<int>(kMaxLineFps),
          [&](double share) { return progress(0.05 + 0.93 * share, "動画を書き出しています"); });
    } else {
      copyVideo(ride.videoFile, video, progress, 0.05, 0.98);
    }
    writeBytes(work / kAuthorNote, authorNote(ride, draft));
    if (!progress(0.98, "読み込みを確かめています")) throw platform::FootageCancelled();
    checkLoads(work);

    fs::remove_all(target, ec);
    fs::rename(work, target);
    progress(1.0, "書き出しました");
  } catch (...) {
    fs::remove_all(work, ec);
    throw;
  }
}

std::string authorNote(const RideMeasurements& ride, const LineDraft& d) {
  std::string s;
  char line[512];
  const auto add = [&s](const std::string& t) { s += t + "\n"; };
  add("dravolin-author が作った路線です。");
  add("動画: " + ride.videoFile);
  add("GPS 記録: " + ride.trackFile + " (" + ride.track.format + ", " +
      std::to_string(ride.track.points.size()) + " 点)");
  if (ride.track.checksumFailures > 0) {
    add("チェックサムの誤りで読み飛ばした文: " + std::to_string(ride.track.checksumFailures));
  }
  std::snprintf(line, sizeof line,
                "時刻のずれ: %+.3f 秒（%s、確度 %s、一致した停車 %zu、発着 %d、ばらつき %.3f 秒）",
                d.userOffset(), d.sync.basis.c_str(), d.sync.sureness.c_str(), d.sync.pairs.size(),
                d.sync.events, d.sync.spreadS);
  add(line);
  std::snprintf(line, sizeof line,
                "長さ: %.1f m、速度表 %zu 行、距離の最大誤差 %.2f m、速度の最大誤差 %.2f km/h",
                d.lengthM, d.speed.rows.size(), d.speed.worstDistanceM, d.speed.worstSpeedKmh);
  add(line);
  for (const DraftStation& st : d.stations) {
    std::snprintf(line, sizeof line, "駅: %s（%s）%d フレーム、%.1f m", st.name.c_str(),
                  st.type == 1 ? "通過" : "停車", st.arriveFrame, st.distanceM);
    add(line);
  }
  add("勾配 " + std::to_string(d.slopes.size()) + " 区間、トンネル " +
      std::to_string(d.tunnels.size()) + " か所、信号 " + std::to_string(d.signalList.size()) +
      " 基");
  return s;
}

}  // namespace dravolin::author
