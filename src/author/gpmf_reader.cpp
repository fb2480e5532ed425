#include "author/gpmf_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>

namespace dravolin::author {

namespace {

constexpr int kNestLimit = 16;
constexpr double k2000 = 946684800.0;  // 2000-01-01 00:00:00 UTC, s since 1970

std::uint32_t fourcc(const char (&s)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[3]));
}

std::uint64_t bigEndian(const std::uint8_t* p, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

// Bytes of one value of a simple type; 0 for a type that is not a number.
int typeSize(char type) {
  switch (type) {
    case 'b':
    case 'B':
      return 1;
    case 's':
    case 'S':
      return 2;
    case 'l':
    case 'L':
    case 'f':
    case 'q':
      return 4;
    case 'd':
    case 'j':
    case 'J':
    case 'Q':
      return 8;
    default:
      return 0;
  }
}

double decode(char type, const std::uint8_t* p) {
  switch (type) {
    case 'b':
      return static_cast<std::int8_t>(p[0]);
    case 'B':
      return p[0];
    case 's':
      return static_cast<std::int16_t>(bigEndian(p, 2));
    case 'S':
      return static_cast<double>(bigEndian(p, 2));
    case 'l':
      return static_cast<std::int32_t>(bigEndian(p, 4));
    case 'L':
      return static_cast<double>(bigEndian(p, 4));
    case 'q':
      return static_cast<std::int32_t>(bigEndian(p, 4)) / 65536.0;
    case 'j':
      return static_cast<double>(static_cast<std::int64_t>(bigEndian(p, 8)));
    case 'J':
      return static_cast<double>(bigEndian(p, 8));
    case 'Q':
      return static_cast<double>(static_cast<std::int64_t>(bigEndian(p, 8))) / 4294967296.0;
    case 'f': {
      const auto bits = static_cast<std::uint32_t>(bigEndian(p, 4));
      float f = 0;
      std::memcpy(&f, &bits, 4);
      return f;
    }
    case 'd': {
      const std::uint64_t bits = bigEndian(p, 8);
      double d = 0;
      std::memcpy(&d, &bits, 8);
      return d;
    }
    default:
      return 0;
  }
}

// Keys that describe a stream rather than carry its samples.
bool describesStream(std::uint32_t key) {
  static const std::set<std::uint32_t> keys = {
      fourcc("DEVC"), fourcc("DVID"), fourcc("DVNM"), fourcc("STRM"), fourcc("STNM"),
      fourcc("RMRK"), fourcc("SCAL"), fourcc("SIUN"), fourcc("UNIT"), fourcc("TYPE"),
      fourcc("TSMP"), fourcc("TIMO"), fourcc("EMPT"), fourcc("TICK"), fourcc("TOCK"),
      fourcc("ORIN"), fourcc("ORIO"), fourcc("MTRX"), fourcc("STMP"), fourcc("GPSU"),
      fourcc("GPSF"), fourcc("GPSP"), fourcc("GPSA")};
  return keys.count(key) != 0;
}

std::string keyText(std::uint32_t key) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((key >> shift) & 0xFF);
    s += (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? c : '?';
  }
  return s;
}

// One key-length-value item.
struct Item {
  std::uint32_t key = 0;
  char type = 0;
  int size = 0;    // bytes of one sample
  int repeat = 0;  // samples
  const std::uint8_t* data = nullptr;
  std::int64_t offset = 0;  // of the key in the file
};

// What a stream has said so far (its "sticky" properties) and the fixes read from it.
struct Stream {
  std::vector<double> scale;
  std::string type;  // TYPE of a complex structure, expanded ("lllllllSS")
  std::optional<double> gpsu;
  std::optional<double> fix;
};

class Reader {
 public:
  explicit Reader(const std::string& fileName) {
    gps5_.fileName = gps9_.fileName = fileName;
    gps5_.byteOffsets = gps9_.byteOffsets = true;
  }

  void payload(const GpmfPayload& p) {
    payload_ = &p;
    Stream top;
    level(p.bytes.data(), p.bytes.data() + p.bytes.size(), 0, top);
  }

  Track finish() {
    if (!seenGps5_ && !seenGps9_) {
      // A stream of another kind: named, so that the user knows what the camera wrote.
      std::string kinds;
      for (const std::string& k : otherKinds_) kinds += (kinds.empty() ? "" : ", ") + k;
      throw AuthorError(gps5_.fileName + ": GPMF に位置の流れ (GPS5、GPS9) がありません" +
                        (kinds.empty() ? std::string() : "（あるのは " + kinds + "）"));
    }
    Track& t = seenGps9_ && (!gps9_.points.empty() || gps5_.points.empty()) ? gps9_ : gps5_;
    t.format = &t == &gps9_ ? "GPMF (GPS9)" : "GPMF (GPS5)";
    return std::move(t);
  }

 private:
  [[noreturn]] void fail(std::int64_t offset, const std::string& why) const {
    throw AuthorError(placeOf(gps5_, offset) + why);
  }

  std::int64_t offsetOf(const std::uint8_t* p) const {
    return payload_->fileOffset + (p - payload_->bytes.data());
  }

  void level(const std::uint8_t* p, const std::uint8_t* end, int depth, Stream& stream) {
    if (depth > kNestLimit) fail(offsetOf(p), "GPMF の入れ子が深すぎます");
    while (end - p >= 8) {
      Item it;
      it.key = static_cast<std::uint32_t>(bigEndian(p, 4));
      it.type = static_cast<char>(p[4]);
      it.size = p[5];
      it.repeat = static_cast<int>(bigEndian(p + 6, 2));
      it.offset = offsetOf(p);
      if (it.key == 0) return;  // padding at the end of a payload
      const std::int64_t length = static_cast<std::int64_t>(it.size) * it.repeat;
      const std::int64_t padded = (length + 3) / 4 * 4;
      if (length > end - p - 8) fail(it.offset, "GPMF の値が記録の終わりを越えています");
      it.data = p + 8;
      if (it.type == 0) {
        // A nested level; a stream's properties hold inside it only.
        Stream inner;
        level(it.data, it.data + length, depth + 1, it.key == fourcc("STRM") ? inner : stream);
      } else {
        item(it, stream);
      }
      p += 8 + std::min<std::int64_t>(padded, end - p - 8);
    }
  }

  void item(const Item& it, Stream& s) {
    if (it.key == fourcc("SCAL")) {
      const int n = typeSize(it.type);
      if (n == 0 || it.size % n != 0) fail(it.offset, "SCAL の型が数値ではありません");
      s.scale.clear();
      for (int i = 0; i < it.size / n * it.repeat; ++i) {
        const double v = decode(it.type, it.data + static_cast<std::ptrdiff_t>(i) * n);
        if (!(v != 0) || !std::isfinite(v)) fail(it.offset, "SCAL に 0 があります");
        s.scale.push_back(v);
      }
    } else if (it.key == fourcc("TYPE")) {
      s.type = expandType(it);
    } else if (it.key == fourcc("GPSU")) {
      s.gpsu = gpsu(it);
    } else if (it.key == fourcc("GPSF")) {
      const int n = typeSize(it.type);
      if (n == 0 || it.repeat < 1 || it.size < n) fail(it.offset, "GPSF の型が数値ではありません");
      s.fix = decode(it.type, it.data);
    } else if (it.key == fourcc("GPS5")) {
      gps5(it, s);
    } else if (it.key == fourcc("GPS9")) {
      gps9(it, s);
    } else if (!describesStream(it.key) && otherKinds_.size() < 12) {
      otherKinds_.insert(keyText(it.key));
    }
  }

  std::string expandType(const Item& it) const {
    if (it.type != 'c') fail(it.offset, "TYPE が文字列ではありません");
    const std::string_view text(reinterpret_cast<const char*>(it.data),
                                static_cast<std::size_t>(it.size) * it.repeat);
    std::string out;
    for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
      if (text[i] == '[') {
        const std::size_t close = text.find(']', i);
        if (out.empty() || close == std::string_view::npos || close - i > 4) {
          fail(it.offset, "TYPE の配列指定が読めません");
        }
        int n = 0;
        for (std::size_t k = i + 1; k < close; ++k) {
          if (text[k] < '0' || text[k] > '9') fail(it.offset, "TYPE の配列指定が読めません");
          n = n * 10 + (text[k] - '0');
        }
        if (n < 1) fail(it.offset, "TYPE の配列指定が読めません");
        out.append(static_cast<std::size_t>(n - 1), out.back());
        i = close;
      } else {
        out += text[i];
      }
      // A sample is at most 255 bytes, so it never holds more values than that.
      if (out.size() > 255) fail(it.offset, "TYPE が長すぎます");
    }
    return out;
  }

  double gpsu(const Item& it) const {
    if ((it.type != 'U' && it.type != 'c') || it.size * it.repeat < 16) {
      fail(it.offset, "GPSU の型が時刻ではありません");
    }
    const auto* c = reinterpret_cast<const char*>(it.data);
    int v[6] = {};
    for (int i = 0; i < 6; ++i) {
      const char a = c[2 * i], b = c[2 * i + 1];
      if (a < '0' || a > '9' || b < '0' || b > '9') fail(it.offset, "GPSU の時刻が読めません");
      v[i] = (a - '0') * 10 + (b - '0');
    }
    double fraction = 0;
    if (c[12] == '.') {
      for (int i = 13, scale = 100; i < 16; ++i, scale /= 10) {
        if (c[i] < '0' || c[i] > '9') fail(it.offset, "GPSU の時刻が読めません");
        fraction += (c[i] - '0') * scale / 1000.0;
      }
    }
    if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 60) {
      fail(it.offset, "GPSU の時刻が読めません");
    }
    return utcSeconds(2000 + v[0], v[1], v[2], v[3], v[4], v[5] + fraction);
  }

  // The values of sample k as doubles, scaled.
  std::vector<double> sample(const Item& it, const Stream& s, const std::string& types,
                             int k) const {
    std::vector<double> values;
    const std::uint8_t* p = it.data + static_cast<std::ptrdiff_t>(k) * it.size;
    for (const char t : types) {
      const int n = typeSize(t);
      values.push_back(decode(t, p));
      p += n;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!s.scale.empty()) values[i] /= s.scale.size() == 1 ? s.scale[0] : s.scale[i];
    }
    return values;
  }

  // The value types of one sample of `it`: its TYPE for a complex one, else its own type
  // repeated; empty when the sizes do not add up to the structure size.
  std::string layout(const Item& it, const Stream& s, std::size_t fields) const {
    std::string types;
    if (it.type == '?') {
      types = s.type;
    } else if (typeSize(it.type) > 0) {
      types.assign(static_cast<std::size_t>(it.size / typeSize(it.type)), it.type);
    }
    int bytes = 0;
    for (const char t : types) {
      if (typeSize(t) == 0) return {};
      bytes += typeSize(t);
    }
    if (bytes != it.size || types.size() < fields) return {};
    if (!s.scale.empty() && s.scale.size() != 1 && s.scale.size() != types.size()) return {};
    return types;
  }

  // A fix of GPS5 or GPS9: latitude, longitude, height and 2D speed lead both layouts.
  static TrackPoint point(const std::vector<double>& v, double timeS, double videoTimeS,
                          std::int64_t at) {
    TrackPoint p;
    p.latitudeDeg = v[0];
    p.longitudeDeg = v[1];
    p.elevationM = v[2];
    p.hasElevation = true;
    p.speedMps = v[3];
    p.timeS = timeS;
    p.videoTimeS = videoTimeS;
    p.at = at;
    return p;
  }

  // A fix, unless its time comes before (or is) the one before it.
  static void add(Track& t, const TrackPoint& p) {
    if (!t.points.empty() && p.timeS <= t.points.back().timeS) {
      t.skip(p.timeS < t.points.back().timeS ? SkipCause::TimeBack : SkipCause::SameTime, p.at);
      return;
    }
    t.points.push_back(p);
  }

  void gps5(const Item& it, const Stream& s) {
    seenGps5_ = true;
    const std::string types = layout(it, s, 5);
    if (types.empty()) fail(it.offset, "GPS5 の型または SCAL の数が合いません");
    if (it.repeat == 0) return;
    if (!s.gpsu) fail(it.offset, "GPS5 の前に時刻 GPSU がありません");
    const bool noFix = s.fix && *s.fix == 0;
    const double step = payload_->durationS / it.repeat;
    for (int k = 0; k < it.repeat; ++k) {
      const std::vector<double> v = sample(it, s, types, k);
      if (noFix || (v[0] == 0 && v[1] == 0)) {
        gps5_.skip(SkipCause::WithoutFix, it.offset);
        continue;
      }
      add(gps5_, point(v, *s.gpsu + k * step, payload_->timeS + k * step, it.offset));
    }
  }

  void gps9(const Item& it, const Stream& s) {
    seenGps9_ = true;
    const std::string types = layout(it, s, 9);
    if (types.empty()) fail(it.offset, "GPS9 の型または SCAL の数が合いません");
    const double step = it.repeat > 0 ? payload_->durationS / it.repeat : 0;
    for (int k = 0; k < it.repeat; ++k) {
      const std::vector<double> v = sample(it, s, types, k);
      if (v[8] == 0 || (v[0] == 0 && v[1] == 0)) {
        gps9_.skip(SkipCause::WithoutFix, it.offset);
        continue;
      }
      add(gps9_, point(v, k2000 + v[5] * 86400.0 + v[6], payload_->timeS + k * step, it.offset));
    }
  }

  const GpmfPayload* payload_ = nullptr;
  Track gps5_;
  Track gps9_;
  bool seenGps5_ = false;
  bool seenGps9_ = false;
  std::set<std::string> otherKinds_;
};

}  // namespace

Track readGpmf(const std::vector<GpmfPayload>& payloads, const std::string& fileName) {
  Reader reader(fileName);
  for (const GpmfPayload& p : payloads) reader.payload(p);
  return reader.finish();
}

}  // namespace dravolin::author
