#include "author/line_folder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "author/line_assets.h"
#include "author/line_text.h"
#include "data/data_path.h"
#include "data/drive_files.h"
#include "data/load_error.h"
#include "data/text_encoding.h"
#include "platform/bmp_writer.h"
#include "platform/file_picture_loader.h"

namespace dravolin::author {

namespace fs = std::filesystem;

namespace {

constexpr int kStillWidth = 480;
constexpr int kStillHeight = 240;

// Extensions of the files a trains folder's trains and title screen need.
constexpr const char* kCopiedExtensions[] = {".dat", ".bmp",  ".jpg", ".jpeg", ".png", ".gif",
                                             ".wav", ".html", ".htm", ".css",  ".txt"};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

// Whether `inner` is `outer` or lies inside it, component by component after resolving links
// and "..": "demo2" is not inside "demo".
bool inside(const fs::path& inner, const fs::path& outer) {
  std::error_code ec;
  const fs::path ci = fs::weakly_canonical(fs::absolute(inner, ec), ec);
  const fs::path co = fs::weakly_canonical(fs::absolute(outer, ec), ec);
  auto ii = ci.begin(), io = co.begin();
  for (; io != co.end(); ++ii, ++io) {
    if (io->empty()) continue;  // the empty last component of a path ending in "/"
    if (ii == ci.end() || *ii != *io) return false;
  }
  return true;
}

// The folder being written: every path in it is made from names relative to it (never leaving
// it), and every file is created afresh, never opened when something is there.
class Folder {
 public:
  explicit Folder(fs::path root) : root_(std::move(root)) {}
  const fs::path& root() const { return root_; }

  // A data file's name ("image\\a.bmp", "/"-separated too) as a path in the folder.
  fs::path at(const std::string& rawName) const {
    const fs::path rel = fs::path(data::toSlashes(rawName)).lexically_normal();
    if (rel.is_absolute() || rel.empty() || *rel.begin() == "..") {
      throw AuthorError(rawName + ": 書き出すフォルダの外を指す名前です");
    }
    return root_ / rel;
  }

  void write(const fs::path& p, const void* data, std::size_t size) const {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(create(p), &std::fclose);
    const bool written = std::fwrite(data, 1, size, out.get()) == size;
    if (!written || std::fclose(out.release()) != 0) {
      throw AuthorError(p.string() + ": 書き込めません");
    }
  }
  void write(const fs::path& p, const std::string& bytes) const {
    write(p, bytes.data(), bytes.size());
  }
  void write(const fs::path& p, const std::vector<std::uint8_t>& bytes) const {
    write(p, bytes.data(), bytes.size());
  }

  // A new file, opened for writing only when nothing of that name is there.
  std::FILE* create(const fs::path& p) const {
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    std::FILE* f = std::fopen(p.c_str(), "wbx");
    if (f == nullptr) throw AuthorError(p.string() + ": 書き込めません");
    return f;
  }

 private:
  fs::path root_;
};

void copyFile(const Folder& to, const fs::path& from, const fs::path& dest,
              const std::function<bool(double)>& copied) {
  std::ifstream in(from, std::ios::binary);
  if (!in) throw AuthorError(from.string() + ": 読み込めません");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(to.create(dest), &std::fclose);
  std::vector<char> buffer(1 << 20);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize n = in.gcount();
    if (n <= 0) break;
    if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), out.get()) !=
        static_cast<std::size_t>(n)) {
      throw AuthorError(dest.string() + ": 書き込めません");
    }
    if (!copied(static_cast<double>(n))) throw platform::FootageCancelled();
  }
  if (in.bad() || std::fclose(out.release()) != 0) {
    throw AuthorError(dest.string() + ": 書き込めません");
  }
}

void copyTrains(const fs::path& from, const Folder& to, bool ownTitle,
                const WriteProgress& progress) {
  std::vector<std::pair<fs::path, std::string>> files;
  for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string rel = fs::relative(it->path(), from).generic_string();
    if (it->is_regular_file() && copiedFromTrains(rel, ownTitle))
      files.emplace_back(it->path(), rel);
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!progress(0.04 * static_cast<double>(i) / static_cast<double>(files.size()),
                  "列車を写しています")) {
      throw platform::FootageCancelled();
    }
    copyFile(to, files[i].first, to.at(files[i].second), [](double) { return true; });
  }
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

// A folder beside `target` that did not exist: "line.part-1a2b3c".
fs::path makeWorkFolder(const fs::path& target) {
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".part-%06x", random() & 0xFFFFFF);
    const fs::path work = target.parent_path() / (target.filename().string() + suffix);
    if (fs::create_directory(work, ec) && !ec) return work;
  }
  throw AuthorError(target.parent_path().string() + ": 作業用のフォルダを作れません");
}

// The title picture: the footage at the first station (the middle of its stand), as tall as
// the title and as wide as the footage's shape.
platform::Bitmap titleFrame(const RideMeasurements& ride, const LineDraft& d,
                            platform::FootageService& footage) {
  int frame = d.startPos;
  if (!d.stations.empty())
    frame = (d.stations.front().arriveFrame + d.stations.front().departFrame) / 2;
  frame = std::clamp(frame, 0, static_cast<int>(d.frameTimeS.size()) - 1);
  const double shape = ride.width > 0 && ride.height > 0
                           ? static_cast<double>(ride.width) / ride.height
                           : static_cast<double>(kTitleWidth) / kTitleHeight;
  const int width = std::clamp(static_cast<int>(std::lround(kTitleHeight * shape)), 16, 4096);
  return footage.frameAt(ride.videoFile, d.frameTimeS[static_cast<std::size_t>(frame)], width,
                         kTitleHeight);
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
       {programDir / ".." / "share" / "dravolin" / "demo", installedDataDir / "demo",
        // A build from source: scripts/run makes the demo beside the build's bin/ folder.
        programDir / ".." / "demo"}) {
    if (!dir.empty() && missingTrainFiles(dir).empty()) return dir.lexically_normal();
  }
  return std::nullopt;
}

std::string videoFolderOf(const std::string& rawPath, const fs::path& settingsFile) {
  const std::string slashed = data::toSlashes(rawPath);
  const bool driveLetter = slashed.size() >= 2 && slashed[1] == ':' &&
                           std::isalpha(static_cast<unsigned char>(slashed[0])) != 0;
  bool up = false;
  for (const fs::path& part : fs::path(slashed)) up = up || part == "..";
  if (slashed.empty()) return {};
  if (slashed.front() == '/' || driveLetter || up) {
    throw AuthorError(settingsFile.string() + ": [Path] \"" + data::cp932ToUtf8(rawPath) +
                      "\" は列車のフォルダの外を指しています（作る路線の動画はこのフォルダの中に"
                      "置きます。絶対パスや .. を使わない相対パスにしてください）");
  }
  return slashed;
}

bool copiedFromTrains(const std::string& relative, bool ownTitle) {
  const std::string name = lower(relative);
  if (name == lower(kAuthorNote)) return false;
  for (const TitleDrive& t : kTitleDrives) {
    if (name == lower(t.line)) return false;
  }
  if (ownTitle && name == lower(data::toSlashes(kTitlePictureName))) return false;
  const std::string extension = lower(fs::path(relative).extension().string());
  return std::find(std::begin(kCopiedExtensions), std::end(kCopiedExtensions), extension) !=
         std::end(kCopiedExtensions);
}

void checkTarget(const fs::path& outDir, const fs::path& trainsDir,
                 const std::vector<std::string>& inputs) {
  std::error_code ec;
  if (inside(outDir, trainsDir) || inside(trainsDir, outDir)) {
    throw AuthorError(outDir.string() + ": 列車のフォルダ " + trainsDir.string() +
                      " と重なるフォルダには書き出せません");
  }
  for (const std::string& input : inputs) {
    if (!input.empty() && inside(input, outDir)) {
      throw AuthorError(outDir.string() + ": " + input +
                        " を含むフォルダには書き出せません（別のフォルダを指定してください）");
    }
  }
  if (!fs::exists(outDir, ec)) return;
  if (!fs::is_directory(outDir, ec)) {
    throw AuthorError(outDir.string() + ": フォルダではありません");
  }
  if (fs::is_empty(outDir, ec) || fs::exists(outDir / kAuthorNote, ec)) return;
  throw AuthorError(outDir.string() +
                    ": 空でないフォルダです（dravolin-author が作ったフォルダか空のフォルダを指定し"
                    "てください）");
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
  checkTarget(options.outDir, options.trainsDir, {ride.videoFile, ride.trackFile});
  const fs::path settingsFile = options.trainsDir / kSettingsFileName;
  const std::string videoFolder =
      videoFolderOf(keyValue(readBytes(settingsFile), "[Path]"), settingsFile);
  fs::path target = fs::absolute(options.outDir).lexically_normal();
  if (target.filename().empty()) target = target.parent_path();
  const Folder work(makeWorkFolder(target));
  std::error_code ec;
  try {
    if (!progress(0.0, "列車を写しています")) throw platform::FootageCancelled();
    const bool ownTitle = static_cast<bool>(options.titlePicture);
    copyTrains(options.trainsDir, work, ownTitle, progress);

    const std::string lineBytes = lineFileBytes(draft);
    for (const TitleDrive& t : kTitleDrives) work.write(work.at(t.line), lineBytes);
    work.write(work.at(kSignPictures), platform::encodeBmp24(signPictures()));
    if (!draft.signalList.empty()) {
      work.write(work.at(kSignalPictures), platform::encodeBmp24(signalPictures()));
    }
    work.write(work.at(kDepartureSound), departureChime());
    const double stillTime = draft.frameTimeS[static_cast<std::size_t>(draft.startPos)];
    work.write(work.at(kStillPicture), platform::encodeBmp24(footage.frameAt(
                                           ride.videoFile, stillTime, kStillWidth, kStillHeight)));
    if (ownTitle) {
      const std::vector<std::uint8_t> title =
          options.titlePicture(titleFrame(ride, draft, footage), lineName(draft.options.lineName));
      const fs::path trainsTitle = data::resolveDataPath(options.trainsDir, kTitlePictureName);
      if (!title.empty()) {
        work.write(work.at(kTitlePictureName), title);
      } else if (fs::is_regular_file(trainsTitle, ec)) {
        // Not drawn (no picture encoder): the trains folder's stays.
        copyFile(work, trainsTitle, work.at(kTitlePictureName), [](double) { return true; });
      }
    }
    if (!progress(0.05, "動画を書き出しています")) throw platform::FootageCancelled();

    const std::string extension = lineVideoName(ride.videoFile, draft.reencode).extension;
    const fs::path video = work.at(videoFolder + draft.options.dataName + extension);
    fs::create_directories(video.parent_path());
    if (draft.reencode) {
      footage.writeLineVideo(
          ride.videoFile, video.string(), static_cast<int>(kMaxLineFps),
          [&](double share) { return progress(0.05 + 0.93 * share, "動画を書き出しています"); });
    } else {
      const auto total =
          static_cast<double>(std::max<std::uintmax_t>(1, fs::file_size(ride.videoFile, ec)));
      double done = 0;
      copyFile(work, ride.videoFile, video, [&](double bytes) {
        done += bytes;
        return progress(0.05 + 0.93 * done / total, "動画を写しています");
      });
    }
    work.write(work.root() / kAuthorNote, authorNote(ride, draft));
    if (!progress(0.98, "読み込みを確かめています")) throw platform::FootageCancelled();
    checkLoads(work.root());

    fs::remove_all(target, ec);
    fs::rename(work.root(), target);
    progress(1.0, "書き出しました");
  } catch (...) {
    fs::remove_all(work.root(), ec);
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
  if (const std::string skipped = skippedText(ride.track); !skipped.empty()) {
    add("読み飛ばした記録: " + skipped);
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
    std::snprintf(line, sizeof line, "駅: %s（%s）%d フレーム、%.1f m",
                  stationName(st.name).c_str(), st.type == 1 ? "通過" : "停車", st.arriveFrame,
                  st.distanceM);
    add(line);
  }
  add("勾配 " + std::to_string(d.slopes.size()) + " 区間、トンネル " +
      std::to_string(d.tunnels.size()) + " か所、信号 " + std::to_string(d.signalList.size()) +
      " 基");
  return s;
}

}  // namespace dravolin::author
