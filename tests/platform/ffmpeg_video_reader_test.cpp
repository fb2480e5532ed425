// The FFmpeg line video reader on videos made for the purpose, whose every frame shows its own
// number: each access pattern must land on exactly the frame asked for, whatever the codec, and
// damaged files must give an honest frame count and never hang.
#include "platform/ffmpeg_video_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <sstream>

#include "fixtures/numbered_video.h"

namespace dravolin::testing {
namespace {

using platform::Bitmap;
using platform::FfmpegVideoReader;
using platform::kMaxVideoFrameSide;
constexpr const char* kVideoFirstFrameUnknown =
    "動画の最初のフレームが壊れていて、フレームの番号を決められません";
constexpr const char* kVideoTooLarge = "動画の画面が大きすぎます（最大4096 x 4096）";

constexpr int kFrames = 300;
constexpr int kWidth = 160;
constexpr int kHeight = 96;

struct Encoding {
  const char* name;
  const char* file;     // its extension chooses the container
  const char* options;  // ffmpeg output options
};

void PrintTo(const Encoding& encoding, std::ostream* out) { *out << encoding.name; }

const Encoding kMjpeg{"Mjpeg", "mjpeg.avi", "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p"};
const Encoding kMpeg4{"Mpeg4KeyEvery300", "mpeg4.avi", "-c:v mpeg4 -g 300 -q:v 3"};
const Encoding kMpeg4Key30{"Mpeg4BFramesKeyEvery30", "mpeg4b30.avi",
                           "-c:v mpeg4 -g 30 -bf 2 -q:v 3"};

const Encoding kH264Key25{
    "H264KeyEvery25", "h264k25.avi",
    "-c:v libx264 -preset veryfast -g 25 -keyint_min 25 -sc_threshold 0 -bf 3 -pix_fmt yuv420p"};

// A line video with its recorded sound interleaved: the sound is skipped.
const Encoding kMpeg4WithSound{"Mpeg4WithSound", "sound.avi",
                               "-f lavfi -i sine=r=22050 -map 0:v -map 1:a -shortest "
                               "-c:a pcm_s16le -c:v mpeg4 -g 30 -bf 2 -q:v 3"};

const Encoding kEncodings[] = {
    kMjpeg,
    kMpeg4,
    {"Mpeg4BFramesKeyEvery300", "mpeg4b.avi", "-c:v mpeg4 -g 300 -bf 2 -q:v 3"},
    kMpeg4Key30,
    {"H264KeyEvery300", "h264.avi", "-c:v libx264 -preset veryfast -g 300 -bf 3 -pix_fmt yuv420p"},
    kH264Key25,
    {"H264InMp4", "h264.mp4", "-c:v libx264 -preset veryfast -g 50 -bf 2 -pix_fmt yuv420p"},
    // Key frames at 26, 52, ... each with a B-frame before it that refers to the key frame
    // before: after a jump to the key frame that B-frame cannot be decoded.
    {"H264OpenGopKeyEvery26", "h264open.avi",
     "-c:v libx264 -preset veryfast -g 26 -keyint_min 26 -sc_threshold 0 -bf 3 "
     "-x264-params open-gop=1:b-adapt=0 -pix_fmt yuv420p"},
    {"Mpeg4InMatroska", "mpeg4.mkv", "-c:v mpeg4 -g 30 -bf 2 -q:v 3"},
    kMpeg4WithSound,
};

TemporaryFolder& folder() {
  static TemporaryFolder shared;
  return shared;
}

// Each video is made once per test program and shared by its tests.
std::string numberedVideo(const Encoding& encoding) {
  static std::map<std::string, std::string> made;
  const auto found = made.find(encoding.file);
  if (found != made.end()) return found->second;
  const std::string path = folder().file(encoding.file);
  EXPECT_TRUE(writeNumberedVideo(path, kWidth, kHeight, kFrames, encoding.options))
      << "ffmpeg could not make " << path;
  made.emplace(encoding.file, path);
  return path;
}

// Asks for each frame of `requests` in turn; names the first requests that showed a number other
// than `expected` (the request itself when empty). Empty when all were right.
std::string wrongFrames(FfmpegVideoReader& reader, const std::vector<int>& requests,
                        const std::vector<int>& expected = {}) {
  std::ostringstream out;
  int wrong = 0;
  Bitmap bitmap;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const int want = expected.empty() ? requests[i] : expected[i];
    const int shown = reader.getFrame(requests[i], bitmap) ? readFrameNumber(bitmap) : -2;
    if (shown != want && wrong++ < 8) {
      out << " frame " << requests[i] << " showed " << shown << " instead of " << want << ";";
    }
  }
  if (wrong > 0) out << " " << wrong << " of " << requests.size() << " wrong";
  return out.str();
}

std::vector<int> range(int from, int to) {  // from .. to - 1, or downwards when to < from
  std::vector<int> frames;
  for (int n = from; n != to; n += from < to ? 1 : -1) frames.push_back(n);
  return frames;
}

// ---------------------------------------------------------------------------------------------
// Exact frames for every codec and access pattern
// ---------------------------------------------------------------------------------------------

class EveryCodec : public ::testing::TestWithParam<Encoding> {
 protected:
  void SetUp() override { ASSERT_TRUE(reader.open(numberedVideo(GetParam()))); }
  FfmpegVideoReader reader;
};

TEST_P(EveryCodec, CountsEveryFrameAtTheVideoSize) {
  EXPECT_EQ(reader.frameCount(), kFrames);
  EXPECT_EQ(reader.width(), kWidth);
  EXPECT_EQ(reader.height(), kHeight);
  EXPECT_DOUBLE_EQ(reader.frameRate(), 30.0);
  Bitmap bitmap;
  ASSERT_TRUE(reader.getFrame(0, bitmap));
  EXPECT_EQ(bitmap.width, kWidth);
  EXPECT_EQ(bitmap.height, kHeight);
  ASSERT_EQ(bitmap.pixels.size(), static_cast<std::size_t>(kWidth * kHeight));
  for (const std::uint32_t pixel : bitmap.pixels) ASSERT_EQ(pixel >> 24, 0xFFu);
}

TEST_P(EveryCodec, SequentialFramesInOrder) {
  EXPECT_EQ(wrongFrames(reader, range(0, kFrames)), "");
}

TEST_P(EveryCodec, ForwardAndBackwardJumpsLandOnTheFrameAskedFor) {
  // First and last frames, jumps both ways across key frames, short steps forward that decode
  // on, repeats, and steps back one frame at a time as a reversing train asks for them.
  const std::vector<int> script = {250, 10,  299, 0,   150, 149, 151, 30, 29,  31,  298, 1,
                                   299, 299, 120, 119, 60,  61,  63,  67, 75,  2,   200, 100,
                                   25,  24,  26,  50,  51,  49,  0,   0,  299, 298, 297, 296};
  EXPECT_EQ(wrongFrames(reader, script), "");
  EXPECT_EQ(wrongFrames(reader, range(180, 140)), "");
}

TEST_P(EveryCodec, RandomJumpsLandOnTheFrameAskedFor) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> frame(0, kFrames - 1);
  std::vector<int> jumps;
  for (int i = 0; i < 60; ++i) jumps.push_back(frame(random));
  EXPECT_EQ(wrongFrames(reader, jumps), "");
}

INSTANTIATE_TEST_SUITE_P(FfmpegVideoReader, EveryCodec, ::testing::ValuesIn(kEncodings),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Out of range, nothing open, reopening
// ---------------------------------------------------------------------------------------------

TEST(FfmpegVideoReader, OutOfRangeDeliversTheLastDecodedFrameAgain) {
  FfmpegVideoReader reader;
  ASSERT_TRUE(reader.open(numberedVideo(kMpeg4Key30)));
  Bitmap bitmap;
  bitmap.width = 7;
  EXPECT_FALSE(reader.getFrame(-1, bitmap)) << "nothing was decoded yet";
  EXPECT_EQ(bitmap.width, 7) << "the bitmap stays as it was";
  ASSERT_TRUE(reader.getFrame(117, bitmap));
  for (const int n : {-1, kFrames, kFrames + 1, INT_MAX, INT_MIN}) {
    Bitmap again;
    EXPECT_TRUE(reader.getFrame(n, again)) << n;
    EXPECT_EQ(readFrameNumber(again), 117) << n;
  }
  EXPECT_EQ(wrongFrames(reader, {118, 116}), "") << "decoding goes on after the repeats";
}

TEST(FfmpegVideoReader, NothingOpenCountsMinusOne) {
  const std::string text = folder().file("not-a-video.avi");
  ASSERT_TRUE(writeFileBytes(text, {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'n', 'o', 'p', 'e'}));
  const std::string sound = folder().file("sound-only.avi");
  ASSERT_EQ(
      std::system(
          ("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=d=0.5 '" + sound + "'").c_str()),
      0);
  FfmpegVideoReader reader;
  Bitmap bitmap;
  EXPECT_EQ(reader.frameCount(), -1);
  EXPECT_FALSE(reader.getFrame(0, bitmap));
  for (const std::string& path :
       {folder().file("missing.avi"), text, sound, folder().path().string()}) {
    ASSERT_TRUE(reader.open(numberedVideo(kMjpeg)));
    EXPECT_FALSE(reader.open(path)) << path;
    EXPECT_EQ(reader.frameCount(), -1) << "a failed open leaves nothing open: " << path;
    EXPECT_FALSE(reader.getFrame(0, bitmap)) << path;
    EXPECT_EQ(reader.width(), 0);
  }
  ASSERT_TRUE(reader.open(numberedVideo(kMjpeg)));
  reader.close();
  EXPECT_EQ(reader.frameCount(), -1);
}

TEST(FfmpegVideoReader, ReopeningReadsTheNewFile) {
  const std::string other = folder().file("other.avi");
  ASSERT_TRUE(writeNumberedVideo(other, 64, 48, range(1000, 1050), "-c:v mpeg4 -g 20 -q:v 3"));
  FfmpegVideoReader reader;
  ASSERT_TRUE(reader.open(numberedVideo(kMpeg4)));
  ASSERT_EQ(wrongFrames(reader, range(0, 40)), "");
  ASSERT_TRUE(reader.open(other));
  EXPECT_EQ(reader.frameCount(), 50);
  EXPECT_EQ(reader.width(), 64);
  EXPECT_EQ(wrongFrames(reader, {0, 39, 49, 3}, {1000, 1039, 1049, 1003}), "");
}

// ---------------------------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------------------------

TEST(FfmpegVideoReader, ColoursKeepTheirChannels) {
  struct Case {
    const char* colour;
    std::uint32_t rgb;
    const char* options;
  };
  const Case cases[] = {
      {"red", 0xFF0000, "-c:v mjpeg -q:v 2 -pix_fmt yuvj420p"},
      {"blue", 0x0000FF, "-c:v mpeg4 -q:v 2"},
      {"lime", 0x00FF00, "-c:v libx264 -crf 10 -pix_fmt yuv420p"},
      {"white", 0xFFFFFF, "-c:v mjpeg -q:v 2 -pix_fmt yuvj422p"},
      // Dark grey tells full-range (JPEG) from limited-range samples.
      {"0x202020", 0x202020, "-c:v mjpeg -q:v 2 -pix_fmt yuvj420p"},
      {"0x202020", 0x202020, "-c:v mpeg4 -q:v 2"},
  };
  for (const Case& c : cases) {
    const std::string path =
        folder().file(std::string("colour-") + c.colour + std::to_string(&c - cases) + ".avi");
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i color=c=" + std::string(c.colour) +
        ":s=64x48:r=30:d=0.2 " + c.options + " '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    FfmpegVideoReader reader;
    ASSERT_TRUE(reader.open(path)) << c.colour;
    Bitmap bitmap;
    ASSERT_TRUE(reader.getFrame(0, bitmap)) << c.colour;
    const std::uint32_t pixel = bitmap.pixel(32, 24);
    EXPECT_EQ(pixel >> 24, 0xFFu) << c.colour;
    for (const int shift : {16, 8, 0}) {
      const int got = static_cast<int>((pixel >> shift) & 0xFF);
      const int want = static_cast<int>((c.rgb >> shift) & 0xFF);
      EXPECT_NEAR(got, want, 6) << c.colour << " channel at bit " << shift << ", pixel " << std::hex
                                << pixel;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Damaged and unusual AVI files
// ---------------------------------------------------------------------------------------------

// The chunks of an AVI file: where the top-level ones start, and the frame chunks of its movie
// list that lie wholly inside the file.
struct AviLayout {
  std::size_t idx1 = 0;  // start of the idx1 chunk, 0 when there is none
  std::size_t strh = 0;  // start of the first stream header chunk
  std::size_t avih = 0;
  std::vector<std::size_t> frameChunks;
  std::size_t frameBytesStart = 0;  // where the movie list's data begins
};

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void putLe32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool isId(const std::vector<std::uint8_t>& b, std::size_t at, const char* id) {
  const std::size_t length = std::strlen(id);
  return at + length <= b.size() && std::memcmp(b.data() + at, id, length) == 0;
}

void walkAvi(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to, AviLayout& out) {
  std::size_t at = from;
  while (at + 8 <= to && at + 8 <= b.size()) {
    const std::size_t size = le32(b, at + 4);
    if (isId(b, at, "LIST") && isId(b, at + 8, "movi")) {
      out.frameBytesStart = at + 12;
      std::size_t chunk = at + 12;
      while (chunk + 8 <= b.size() && chunk + 8 <= at + 8 + size) {
        const std::size_t length = le32(b, chunk + 4);
        if (chunk + 8 + length > b.size()) break;  // cut off by the end of the file
        if (isId(b, chunk + 2, "dc") || isId(b, chunk + 2, "db")) out.frameChunks.push_back(chunk);
        chunk += 8 + length + (length & 1);
      }
    } else if (isId(b, at, "LIST") || isId(b, at, "RIFF")) {
      walkAvi(b, at + 12, at + 8 + size, out);
    } else if (isId(b, at, "idx1")) {
      out.idx1 = at;
    } else if (isId(b, at, "strh") && out.strh == 0) {
      out.strh = at;
    } else if (isId(b, at, "avih")) {
      out.avih = at;
    }
    at += 8 + size + (size & 1);
  }
}

AviLayout layoutOf(const std::vector<std::uint8_t>& bytes) {
  AviLayout layout;
  walkAvi(bytes, 0, bytes.size(), layout);
  return layout;
}

// Frames the header claims: the main header's total and the stream header's length.
void setHeaderFrames(std::vector<std::uint8_t>& bytes, const AviLayout& layout, std::uint32_t n) {
  putLe32(bytes, layout.avih + 8 + 16, n);
  putLe32(bytes, layout.strh + 8 + 32, n);
}

struct CutCase {
  const char* name;
  // Changes the file's bytes; returns the frame count the reader must find.
  int (*damage)(std::vector<std::uint8_t>& bytes, const AviLayout& layout);
  // Frames fewer with B-frames: when the data stops after whole chunks, the anchor picture the
  // decoder still holds may have lost B-frames shown before it, so it is not counted.
  int heldByReordering = 0;
};

const CutCase kCutCases[] = {
    {"IndexCutInHalf",
     [](std::vector<std::uint8_t>& b, const AviLayout& l) {
       const std::uint32_t entries = le32(b, l.idx1 + 4) / 16;
       b.resize(l.idx1 + 8 + entries / 2 * 16);  // the chunk still claims the whole index
       return kFrames;
     }},
    {"IndexDropped",
     [](std::vector<std::uint8_t>& b, const AviLayout& l) {
       b.resize(l.idx1);
       return kFrames;
     }},
    {"FileCutInTheMiddle",
     [](std::vector<std::uint8_t>& b, const AviLayout& l) {
       // Chunk 151 loses half its data. With B-frames it holds the P-frame shown as frame 153,
       // and the frames before it all come from complete chunks.
       b.resize(l.frameChunks[151] + 8 + le32(b, l.frameChunks[151] + 4) / 2);
       return 151;
     }},
    {"FileCutBetweenFrames",
     [](std::vector<std::uint8_t>& b, const AviLayout& l) {
       b.resize(l.frameChunks[97]);
       return 97;
     },
     1},
    // A recording that never finished: no index, and the headers still count no frames. The
    // demultiplexer's own index then holds only the chunks it read while probing the file.
    {"RecordingNeverFinished",
     [](std::vector<std::uint8_t>& b, const AviLayout& l) {
       b.resize(l.idx1);
       setHeaderFrames(b, l, 0);
       return kFrames;
     }},
    {"HeaderClaimsMoreThanTheIndex",
     [](std::vector<std::uint8_t>& b, const AviLayout& l) {
       setHeaderFrames(b, l, 400);
       return kFrames;
     }},
    {"HeaderClaimsLessThanTheIndex",
     [](std::vector<std::uint8_t>& b, const AviLayout& l) {
       setHeaderFrames(b, l, 200);
       return kFrames;
     }},
};

void PrintTo(const CutCase& cut, std::ostream* out) { *out << cut.name; }

class CutAvi : public ::testing::TestWithParam<std::tuple<Encoding, CutCase>> {};

TEST_P(CutAvi, CountsTheFramesThatReallyDecode) {
  const auto& [encoding, cut] = GetParam();
  std::vector<std::uint8_t> bytes = readFileBytes(numberedVideo(encoding));
  const AviLayout layout = layoutOf(bytes);
  ASSERT_EQ(layout.frameChunks.size(), static_cast<std::size_t>(kFrames));
  ASSERT_NE(layout.idx1, 0u);
  const bool reorders = std::strstr(encoding.options, "-bf") != nullptr;
  const int expected = cut.damage(bytes, layout) - (reorders ? cut.heldByReordering : 0);
  const std::string path = folder().file(std::string(encoding.name) + "-" + cut.name + ".avi");
  ASSERT_TRUE(writeFileBytes(path, bytes));

  FfmpegVideoReader reader;
  ASSERT_TRUE(reader.open(path));
  EXPECT_EQ(reader.frameCount(), expected);
  const int last = expected - 1;
  EXPECT_EQ(wrongFrames(reader, {last, 0, last / 2, last, last - 1, 1, last / 3}), "");
  EXPECT_EQ(wrongFrames(reader, range(std::max(0, last - 40), expected)), "");
}

INSTANTIATE_TEST_SUITE_P(FfmpegVideoReader, CutAvi,
                         ::testing::Combine(::testing::Values(kMjpeg, kMpeg4, kMpeg4Key30,
                                                              kMpeg4WithSound),
                                            ::testing::ValuesIn(kCutCases)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  std::get<1>(info.param).name;
                         });

TEST(FfmpegVideoReader, AFrameWithIncompleteDataEndsTheCount) {
  // With two B-frames between P-frames, chunk 150 holds the B-frame shown as frame 149, after the
  // P-frame shown as frame 150. Cutting that chunk in half leaves frames 0 to 148 whole.
  std::vector<std::uint8_t> bytes = readFileBytes(numberedVideo(kMpeg4Key30));
  const AviLayout layout = layoutOf(bytes);
  ASSERT_EQ(layout.frameChunks.size(), static_cast<std::size_t>(kFrames));
  bytes.resize(layout.frameChunks[150] + 8 + le32(bytes, layout.frameChunks[150] + 4) / 2);
  const std::string path = folder().file("b-frame-cut.avi");
  ASSERT_TRUE(writeFileBytes(path, bytes));
  FfmpegVideoReader reader;
  ASSERT_TRUE(reader.open(path));
  EXPECT_EQ(reader.frameCount(), 149);
  EXPECT_EQ(wrongFrames(reader, {148, 0, 147, 148, 120}), "");
}

// A B-frame AVI whose data stops at or inside each chunk of a stretch: the stretch covers every
// place in the pattern of anchor and B-frames, so the data may end just after an anchor whose
// B-frames are lost. The decoder hands such an anchor out only when drained, and which frame it
// is cannot be told; every frame counted must show its own number, and at most the pictures
// after the last complete chunk are lost.
TEST(FfmpegVideoReader, BFramesCutAnywhereShowNoWrongFrame) {
  for (const Encoding& encoding : {kMpeg4Key30, kH264Key25}) {
    const std::vector<std::uint8_t> original = readFileBytes(numberedVideo(encoding));
    const AviLayout layout = layoutOf(original);
    ASSERT_EQ(layout.frameChunks.size(), static_cast<std::size_t>(kFrames));
    for (int chunk = 120; chunk < 128; ++chunk) {
      for (const bool inside : {false, true}) {
        const std::size_t at = layout.frameChunks[static_cast<std::size_t>(chunk)];
        std::vector<std::uint8_t> bytes = original;
        bytes.resize(inside ? at + 8 + le32(bytes, at + 4) / 2 : at);
        const std::string where = std::string(encoding.name) + (inside ? " inside" : " before") +
                                  " chunk " + std::to_string(chunk);
        const std::string path = folder().file("b-cut.avi");
        ASSERT_TRUE(writeFileBytes(path, bytes));
        FfmpegVideoReader reader;
        ASSERT_TRUE(reader.open(path)) << where;
        const int count = reader.frameCount();
        EXPECT_LE(count, chunk) << where;
        EXPECT_GE(count, chunk - 4) << where;
        EXPECT_EQ(wrongFrames(reader, range(count - 8, count)), "") << where;
        FfmpegVideoReader jumping;
        ASSERT_TRUE(jumping.open(path)) << where;
        EXPECT_EQ(wrongFrames(jumping, {count - 1, 0, count - 2, count - 1, count - 30}), "")
            << where;
      }
    }
  }
}

TEST(FfmpegVideoReader, EmptyChunksRepeatThePreviousFrame) {
  // Frames 5, 15, 25, ... were dropped at recording: their chunks are empty and the header
  // still counts them. An empty chunk shows the frame before it again.
  for (const Encoding& encoding : {kMjpeg, kMpeg4Key30}) {
    const std::string path = folder().file(std::string("gaps-") + encoding.file);
    const std::string options =
        std::string("-vf 'select=not(eq(mod(n\\,10)\\,5))' -vsync passthrough ") + encoding.options;
    ASSERT_TRUE(writeNumberedVideo(path, kWidth, kHeight, 60, options));
    FfmpegVideoReader reader;
    ASSERT_TRUE(reader.open(path)) << encoding.name;
    EXPECT_EQ(reader.frameCount(), 60) << encoding.name;
    std::vector<int> expected;
    for (int n = 0; n < 60; ++n) expected.push_back(n % 10 == 5 ? n - 1 : n);
    EXPECT_EQ(wrongFrames(reader, range(0, 60), expected), "") << encoding.name;
    EXPECT_EQ(wrongFrames(reader, {45, 25, 26, 35, 59, 5}, {44, 24, 26, 34, 59, 4}), "")
        << encoding.name;
  }
}

// Rewrites an AVI of MPEG-4 part 2 with single B-frames the way DivX 5 stores B-frames ("packed
// B-frames"): each anchor frame followed by a B-frame shares its chunk with that B-frame, and the
// B-frame's own chunk holds a 6-byte not-coded frame instead. Every chunk then stands for the
// frame shown at its place. The first chunk gets the DivX user data that announces the packing.
std::vector<std::uint8_t> packBFrames(const std::vector<std::uint8_t>& bytes) {
  const AviLayout layout = layoutOf(bytes);
  struct Chunk {
    std::vector<std::uint8_t> data;
    bool key = false;
  };
  auto vopType = [](const std::vector<std::uint8_t>& data) {  // 0 I, 1 P, 2 B, -1 none
    for (std::size_t i = 0; i + 4 < data.size(); ++i) {
      if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6) {
        return data[i + 4] >> 6;
      }
    }
    return -1;
  };
  std::vector<Chunk> original;
  for (std::size_t i = 0; i < layout.frameChunks.size(); ++i) {
    const std::size_t at = layout.frameChunks[i];
    const std::size_t length = le32(bytes, at + 4);
    const std::size_t flags = layout.idx1 + 8 + 16 * i + 4;
    original.push_back(
        {std::vector<std::uint8_t>(bytes.begin() + at + 8, bytes.begin() + at + 8 + length),
         (le32(bytes, flags) & 0x10) != 0});
  }
  const std::vector<std::uint8_t> notCoded = {0, 0, 1, 0xB6, 0x50, 0x4F};
  std::vector<Chunk> packed;
  for (std::size_t i = 0; i < original.size(); ++i) {
    if (vopType(original[i].data) != 2 && i + 1 < original.size() &&
        vopType(original[i + 1].data) == 2) {
      Chunk both = original[i];
      both.data.insert(both.data.end(), original[i + 1].data.begin(), original[i + 1].data.end());
      packed.push_back(both);
      packed.push_back({notCoded, false});
      ++i;
    } else {
      packed.push_back(original[i]);
    }
  }
  // The announcement goes before the first frame's picture data.
  std::vector<std::uint8_t>& first = packed.front().data;
  const std::string divx = "DivX503b1393p";
  for (std::size_t i = 0; i + 3 < first.size(); ++i) {
    if (first[i] == 0 && first[i + 1] == 0 && first[i + 2] == 1 && first[i + 3] == 0xB6) {
      std::vector<std::uint8_t> userData = {0, 0, 1, 0xB2};
      userData.insert(userData.end(), divx.begin(), divx.end());
      first.insert(first.begin() + static_cast<std::ptrdiff_t>(i), userData.begin(),
                   userData.end());
      break;
    }
  }

  // Everything before the movie list stays; the movie list and the index are written anew.
  const std::size_t movi = layout.frameBytesStart - 12;
  std::vector<std::uint8_t> out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(movi));
  auto put = [&out](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto putId = [&out](const char* id) { out.insert(out.end(), id, id + 4); };
  putId("LIST");
  put(0);  // size, filled in below
  putId("movi");
  std::vector<std::uint32_t> offsets;
  for (const Chunk& chunk : packed) {
    offsets.push_back(static_cast<std::uint32_t>(out.size() - (movi + 8)));
    putId("00dc");
    put(static_cast<std::uint32_t>(chunk.data.size()));
    out.insert(out.end(), chunk.data.begin(), chunk.data.end());
    if (chunk.data.size() % 2 != 0) out.push_back(0);
  }
  putLe32(out, movi + 4, static_cast<std::uint32_t>(out.size() - (movi + 8)));
  putId("idx1");
  put(static_cast<std::uint32_t>(16 * packed.size()));
  for (std::size_t i = 0; i < packed.size(); ++i) {
    putId("00dc");
    put(packed[i].key ? 0x10 : 0);
    put(offsets[i]);
    put(static_cast<std::uint32_t>(packed[i].data.size()));
  }
  putLe32(out, 4, static_cast<std::uint32_t>(out.size() - 8));
  return out;
}

TEST(FfmpegVideoReader, PackedBFramesKeepTheirFrameNumbers) {
  const std::string plain = folder().file("single-b.avi");
  ASSERT_TRUE(writeNumberedVideo(plain, kWidth, kHeight, kFrames, "-c:v mpeg4 -g 30 -bf 1 -q:v 3"));
  const std::string path = folder().file("packed-b.avi");
  ASSERT_TRUE(writeFileBytes(path, packBFrames(readFileBytes(plain))));
  FfmpegVideoReader reader;
  ASSERT_TRUE(reader.open(path));
  EXPECT_EQ(reader.frameCount(), kFrames);
  EXPECT_EQ(wrongFrames(reader, range(0, 70)), "");
  EXPECT_EQ(wrongFrames(reader, {250, 10, 299, 0, 150, 149, 151, 29, 30, 31, 59, 60, 298, 1}), "");
  EXPECT_EQ(wrongFrames(reader, range(200, 170)), "");
}

TEST(FfmpegVideoReader, WrongKeyFlagsInTheIndexDoNotChangeTheFrames) {
  // Every index entry flagged as a key frame, though only every 30th is one.
  std::vector<std::uint8_t> bytes = readFileBytes(numberedVideo(kMpeg4Key30));
  const AviLayout layout = layoutOf(bytes);
  const std::uint32_t entries = le32(bytes, layout.idx1 + 4) / 16;
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::size_t flags = layout.idx1 + 8 + 16 * i + 4;
    putLe32(bytes, flags, le32(bytes, flags) | 0x10);
  }
  const std::string path = folder().file("all-keys.avi");
  ASSERT_TRUE(writeFileBytes(path, bytes));
  FfmpegVideoReader reader;
  ASSERT_TRUE(reader.open(path));
  EXPECT_EQ(wrongFrames(reader, {250, 10, 299, 0, 150, 149, 151, 45, 44, 200, 100, 77}), "");
}

TEST(FfmpegVideoReader, DamagedFramesNeverHangOrCrash) {
  // Bytes overwritten with noise in the middle of frames, at several places: every frame may be
  // asked for and the count stays within the header's.
  const std::vector<std::uint8_t> original = readFileBytes(numberedVideo(kMpeg4Key30));
  const AviLayout layout = layoutOf(original);
  std::mt19937 random(7);
  for (int round = 0; round < 4; ++round) {
    std::vector<std::uint8_t> bytes = original;
    std::uniform_int_distribution<std::size_t> where(layout.frameBytesStart, bytes.size() - 64);
    for (int spot = 0; spot < 6; ++spot) {
      const std::size_t at = where(random);
      for (std::size_t i = 0; i < 48; ++i) bytes[at + i] = static_cast<std::uint8_t>(random());
    }
    const std::string path = folder().file("noise-" + std::to_string(round) + ".avi");
    ASSERT_TRUE(writeFileBytes(path, bytes));
    FfmpegVideoReader reader;
    if (!reader.open(path)) continue;
    EXPECT_LE(reader.frameCount(), kFrames);
    Bitmap bitmap;
    int delivered = 0;
    for (const int n : {299, 0, 150, 10, 280, 140}) delivered += reader.getFrame(n, bitmap);
    for (int n = 0; n < reader.frameCount(); ++n) delivered += reader.getFrame(n, bitmap);
    EXPECT_GT(delivered, 0);
  }
}

// Cuts the file at every 7th percent: each part opens with a count and shows the right frames,
// or is refused.
void filesCutAnywhere(const std::vector<std::uint8_t>& original) {
  for (int percent = 1; percent < 100; percent += 7) {
    std::vector<std::uint8_t> bytes = original;
    bytes.resize(bytes.size() * percent / 100);
    const std::string path = folder().file("cut-" + std::to_string(percent) + ".avi");
    ASSERT_TRUE(writeFileBytes(path, bytes));
    FfmpegVideoReader reader;
    if (!reader.open(path)) {
      EXPECT_EQ(reader.frameCount(), -1);
      continue;
    }
    const int count = reader.frameCount();
    EXPECT_GT(count, 0) << percent << "%";
    EXPECT_LE(count, kFrames) << percent << "%";
    EXPECT_EQ(wrongFrames(reader, {count - 1, 0, count / 2, count - 1}), "") << percent << "%";
  }
}

TEST(FfmpegVideoReader, FilesCutAnywhereNeverHangOrCrash) {
  // The encoder lays its pictures out differently with one thread: cut at 22 % that file once
  // ended on a dropped B-frame, which was shown as the picture before it.
  const Encoding oneThread{"Mpeg4BFramesKeyEvery30OneThread", "mpeg4b30t1.avi",
                           "-threads 1 -c:v mpeg4 -g 30 -bf 2 -q:v 3"};
  for (const Encoding& encoding : {kMpeg4Key30, oneThread}) {
    SCOPED_TRACE(encoding.name);
    filesCutAnywhere(readFileBytes(numberedVideo(encoding)));
  }
}

// ---------------------------------------------------------------------------------------------
// Damaged videos that must not show a wrong frame
// ---------------------------------------------------------------------------------------------

void garbleChunk(std::vector<std::uint8_t>& b, std::size_t chunk) {
  const std::uint32_t length = le32(b, chunk + 4);
  for (std::uint32_t i = 0; i < length; ++i) b[chunk + 8 + i] = static_cast<std::uint8_t>(i * 37);
}

struct DamageCase {
  const char* name;
  Encoding encoding;
  void (*damage)(std::vector<std::uint8_t>& bytes, const AviLayout& layout);
  const char* refusal;  // the open error expected, or nullptr when the file opens
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

// From entry 30 on, every index entry points at the chunk after its own: intact chunks, wrong
// frames.
void shiftIndexFrom30(std::vector<std::uint8_t>& b, const AviLayout& l) {
  const std::uint32_t entries = le32(b, l.idx1 + 4) / 16;
  for (std::uint32_t i = 30; i + 1 < entries; ++i) {
    const std::size_t offset = l.idx1 + 8 + 16 * i + 8;
    putLe32(b, offset, le32(b, offset + 16));
    putLe32(b, offset + 4, le32(b, offset + 16 + 4));
  }
}

const DamageCase kDamageCases[] = {
    {"MjpegFirstChunkGarbage", kMjpeg,
     [](std::vector<std::uint8_t>& b, const AviLayout& l) { garbleChunk(b, l.frameChunks[0]); },
     nullptr},
    {"MjpegIndexOffsetsShifted", kMjpeg, shiftIndexFrom30, nullptr},
    {"Mpeg4IndexOffsetsShifted", kMpeg4Key30, shiftIndexFrom30, nullptr},
    // The first key frame does not decode: which frame the first picture out is cannot be told.
    {"Mpeg4FirstKeyFrameGarbage", kMpeg4Key30,
     [](std::vector<std::uint8_t>& b, const AviLayout& l) { garbleChunk(b, l.frameChunks[0]); },
     kVideoFirstFrameUnknown},
};

class DamagedVideo : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedVideo, NeverShowsAWrongFrame) {
  const DamageCase& c = GetParam();
  std::vector<std::uint8_t> bytes = readFileBytes(numberedVideo(c.encoding));
  const AviLayout layout = layoutOf(bytes);
  ASSERT_EQ(layout.frameChunks.size(), static_cast<std::size_t>(kFrames));
  c.damage(bytes, layout);
  const std::string path = folder().file(std::string("damaged-") + c.name + ".avi");
  ASSERT_TRUE(writeFileBytes(path, bytes));
  FfmpegVideoReader reader;
  if (c.refusal != nullptr) {
    EXPECT_FALSE(reader.open(path));
    EXPECT_EQ(reader.openError(), c.refusal);
    return;
  }
  ASSERT_TRUE(reader.open(path)) << reader.openError();
  EXPECT_EQ(reader.frameCount(), kFrames);
  // Every frame shown is the frame asked for; a frame that cannot be decoded is not shown.
  Bitmap bitmap;
  for (const int n : {0, 1, 2, 299, 150, 29, 30, 31, 45, 200, 1, 0, 60, 61, 298}) {
    if (reader.getFrame(n, bitmap)) {
      EXPECT_EQ(readFrameNumber(bitmap), n) << "frame " << n;
    }
  }
  EXPECT_EQ(wrongFrames(reader, range(1, 80)), "");
  EXPECT_EQ(wrongFrames(reader, range(260, 200)), "");
}

INSTANTIATE_TEST_SUITE_P(FfmpegVideoReader, DamagedVideo, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FfmpegVideoReader, PictureSizeIsBoundedBeforeDecoding) {
  struct Size {
    int width;
    bool opens;
  };
  for (const Size size : {Size{kMaxVideoFrameSide, true}, Size{kMaxVideoFrameSide + 8, false}}) {
    const std::string path = folder().file("wide-" + std::to_string(size.width) + ".avi");
    ASSERT_TRUE(writeNumberedVideo(path, size.width, 16, 3, kMjpeg.options));
    FfmpegVideoReader reader;
    EXPECT_EQ(reader.open(path), size.opens) << size.width;
    EXPECT_EQ(reader.openError(), size.opens ? std::string() : std::string(kVideoTooLarge))
        << size.width;
  }
}

TEST(FfmpegVideoReader, Mpeg4FileCutInsideBFramesShowsNoWrongFrame) {
  const std::string plain = folder().file("bframes-faststart.mp4");
  ASSERT_TRUE(writeNumberedVideo(plain, kWidth, kHeight, kFrames,
                                 "-c:v mpeg4 -g 30 -bf 2 -q:v 3 -movflags +faststart"));
  const std::vector<std::uint8_t> original = readFileBytes(plain);
  for (const int percent : {50, 51, 52, 53, 60, 75}) {
    std::vector<std::uint8_t> bytes = original;
    bytes.resize(bytes.size() * static_cast<std::size_t>(percent) / 100);
    const std::string path = folder().file("bcut-" + std::to_string(percent) + ".mp4");
    ASSERT_TRUE(writeFileBytes(path, bytes));
    FfmpegVideoReader reader;
    ASSERT_TRUE(reader.open(path)) << reader.openError();
    const int count = reader.frameCount();
    ASSERT_GT(count, 0);
    EXPECT_EQ(wrongFrames(reader, range(std::max(0, count - 12), count)), "") << percent << "%";
    EXPECT_EQ(wrongFrames(reader, {count - 1, 0, count - 2, count - 1}), "") << percent << "%";
  }
}

}  // namespace
}  // namespace dravolin::testing

namespace dravolin::testing {
namespace {

TEST(FfmpegVideoReader, UnknownColourSpaceInTheStreamIsNoFault) {
  // MPEG-2 states the colour matrix in every sequence header's display extension
  // (00 00 01 B5, extension 2 with colour description: primaries, transfer, matrix). A damaged
  // file says matrix 31, which is no colour space: FFmpeg passes it on as it is.
  const std::string plain = folder().file("mpeg2-bt601.avi");
  ASSERT_TRUE(writeNumberedVideo(plain, kWidth, kHeight, 60,
                                 "-c:v mpeg2video -g 15 -bf 2 -q:v 3 -color_primaries bt470bg "
                                 "-color_trc gamma28 -colorspace bt470bg"));
  std::vector<std::uint8_t> bytes = readFileBytes(plain);
  int patched = 0;
  for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && bytes[i + 3] == 0xB5 &&
        (bytes[i + 4] >> 4) == 2 && (bytes[i + 4] & 1) != 0 && bytes[i + 7] == 5) {
      bytes[i + 7] = 31;
      ++patched;
    }
  }
  ASSERT_GT(patched, 0);
  const std::string path = folder().file("mpeg2-colour-space-31.avi");
  ASSERT_TRUE(writeFileBytes(path, bytes));

  // Each picture is converted (and so its colour fields read) on the way.
  FfmpegVideoReader damaged;
  ASSERT_TRUE(damaged.open(path));
  EXPECT_EQ(damaged.frameCount(), 60);
  EXPECT_EQ(wrongFrames(damaged, range(0, 60)), "");
  EXPECT_EQ(wrongFrames(damaged, {59, 3, 31, 30, 0}), "");
}

}  // namespace
}  // namespace dravolin::testing
