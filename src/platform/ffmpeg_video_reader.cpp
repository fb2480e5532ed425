// The line video reader's operations. The open video, its frame table and its decoding are in
// the files that ffmpeg_video_stream.h lists.
#include "platform/ffmpeg_video_reader.h"

#include <cstdlib>
#include <limits>
#include <mutex>

#include "platform/ffmpeg_video_stream.h"
#include "platform/message_ids.h"

namespace dravolin::platform {

namespace {

// FFmpeg reports every damaged packet on standard error; the program keeps quiet about it unless
// DRAVOLIN_FFMPEG_LOG is set.
void quietLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* wanted = std::getenv("DRAVOLIN_FFMPEG_LOG");
    av_log_set_level(wanted != nullptr && *wanted != '\0' ? AV_LOG_INFO : AV_LOG_QUIET);
  });
}

}  // namespace

FfmpegVideoReader::FfmpegVideoReader() { quietLibraryOnce(); }

FfmpegVideoReader::~FfmpegVideoReader() = default;

void FfmpegVideoReader::close() { video_.reset(); }

bool FfmpegVideoReader::open(const std::string& path) {
  close();
  error_.clear();
  auto video = std::make_unique<FfmpegVideoStream>();
  bool opened = openVideo(*video, path, false);
  if (!opened && video->indexDisagrees) {
    // The index names other chunks than its frames: the file is read again without it, and the
    // frames are found from the chunks themselves.
    video = std::make_unique<FfmpegVideoStream>();
    opened = openVideo(*video, path, true);
  }
  if (!opened) {
    error_ = video->error.empty() ? msg::videoUnreadable().text() : video->error;
    return false;
  }
  video_ = std::move(video);
  return true;
}

bool FfmpegVideoReader::openVideo(FfmpegVideoStream& video, const std::string& path,
                                  bool ignoreIndex) {
  if (!video.packet || !video.current || !video.ahead || !video.shown) return false;
  if (!video.openFile(path, ignoreIndex) || !video.openDecoder()) return false;
  bool checked = false;
  if (ignoreIndex || !video.tableFromIndex()) {
    if (video.isAvi && !ignoreIndex) {
      // An AVI index that cannot be used as it stands still steers the demultiplexer: the file
      // is read again without it.
      video.indexDisagrees = true;
      return false;
    }
    if (!video.tableByReading()) return false;
    checked = true;
  } else if (video.stream->nb_frames != video.frames) {
    checked = true;  // the index holds more than the header claims: make sure they decode
  }
  if (video.frames > std::numeric_limits<int>::max()) return false;
  if (!video.measureDelay()) return false;
  if (checked) {
    video.checkTail();
    if (video.frames <= 0) return false;
  }
  return true;
}

int FfmpegVideoReader::frameCount() const { return video_ ? static_cast<int>(video_->frames) : -1; }

bool FfmpegVideoReader::getFrame(int n, Bitmap& bitmap) {
  if (!video_) return false;
  const AVFrame* picture = video_->deliver(n);
  return picture != nullptr && video_->converter.convert(*picture, bitmap);
}

bool FfmpegVideoReader::getViewFrame(int n, const VideoView& view, ViewPicture& picture) {
  if (!video_) return false;
  const AVFrame* decoded = video_->deliver(n);
  if (decoded == nullptr || !video_->converter.convertForView(*decoded, view, picture)) {
    return false;
  }
  picture.frame = static_cast<int>(video_->shownNumber);
  return true;
}

void FfmpegVideoReader::startOnThisThread() {
  if (!video_) return;
  FfmpegVideoStream& v = *video_;
  // The same decoder afresh: its delay is the one measured at open. The next request starts a
  // new run; the picture delivered last stays (it holds its own reference).
  v.codec.reset();
  v.recent.clear();
  v.haveCurrent = v.haveAhead = false;
  v.broken = true;
  if (!v.openDecoder()) v.codec.reset();
}

int FfmpegVideoReader::width() const { return video_ ? video_->width : 0; }

int FfmpegVideoReader::height() const { return video_ ? video_->height : 0; }

double FfmpegVideoReader::frameRate() const { return video_ ? video_->rate : 0; }

}  // namespace dravolin::platform
