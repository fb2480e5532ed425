#include "author/line_text.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "data/text_encoding.h"

namespace dravolin::author {

namespace {

std::string fixed4(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", v);
  // "-0.0000" reads the same as "0.0000" but looks like a fault.
  return std::string(text) == "-0.0000" ? "0.0000" : text;
}

std::string csv(std::initializer_list<std::string> fields) {
  std::string out;
  for (const std::string& f : fields) {
    if (!out.empty()) out += ',';
    out += f;
  }
  return out;
}

std::string n(int v) { return std::to_string(v); }

// Bytes of the UTF-8 sequence that starts with `lead` (1 for a byte that starts none).
std::size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

// The rule of stationName() and lineName(), with the first character that must not lead, its
// replacement, the bound and the name when nothing is left.
std::string safeName(const std::string& utf8, std::string_view badFirst, std::string_view goodFirst,
                     std::size_t maxBytes, const char* empty) {
  // Characters one by one: a control character (C0, DEL, C1) is a blank, a comma "、".
  std::vector<std::string> chars;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const std::size_t len = std::min(sequenceLength(c), utf8.size() - i);
    std::string ch = utf8.substr(i, len);
    i += len;
    if (c < 0x20 || c == 0x7F ||
        (c == 0xC2 && len == 2 && static_cast<unsigned char>(ch[1]) < 0xA0)) {
      ch = " ";
    } else if (c == ',') {
      ch = "、";
    }
    chars.push_back(std::move(ch));
  }
  while (!chars.empty() && (chars.front() == " " || chars.front() == "\xE3\x80\x80")) {
    chars.erase(chars.begin());
  }
  while (!chars.empty() && (chars.back() == " " || chars.back() == "\xE3\x80\x80")) {
    chars.pop_back();
  }
  if (!chars.empty() && chars.front() == badFirst) chars.front() = std::string(goodFirst);
  std::string out;
  std::size_t bytes = 0;
  for (const std::string& ch : chars) {
    bytes += data::utf8ToCp932(ch).size();
    if (bytes > maxBytes) break;
    out += ch;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out.empty() ? empty : out;
}

}  // namespace

std::string stationName(const std::string& utf8) {
  return safeName(utf8, "#", "＃", kMaxStationNameBytes, "駅");
}

std::string lineName(const std::string& utf8) {
  return safeName(utf8, "[", "［", kMaxLineNameBytes, "路線");
}

std::vector<std::string> lineFileLines(const LineDraft& d) {
  std::vector<std::string> l;
  const LineOptions& o = d.options;
  const std::string name = lineName(o.lineName);
  l.push_back(name + " (dravolin-author で作成)");
  l.push_back("[LineName]");
  l.push_back(name);
  l.push_back("[StartPos]");
  l.push_back(n(d.startPos));
  l.push_back("[FrameRate]");
  l.push_back(n(d.frameRateKey));
  l.push_back("[Staf]");
  l.push_back("");
  l.push_back(kStillPicture);
  l.push_back("[StartTime]");
  l.push_back(n(d.startTimeTicks));
  for (const auto& [key, kmh] : {std::pair{"[Speed_YY]", 25}, std::pair{"[Speed_Y]", 45},
                                 std::pair{"[Speed_YG]", 65}, std::pair{"[Speed_G]", 120}}) {
    l.push_back(key);
    l.push_back(n(kmh));
  }
  l.push_back("[DataName]");
  l.push_back(o.dataName);
  l.push_back("[Pre_Time]");
  l.push_back("30");
  l.push_back("[OneMan]");
  l.push_back("0");
  l.push_back("[SoundData]");
  l.push_back(kDepartureSound);
  l.push_back("#");
  l.push_back("[Tunnel]");
  for (const DraftTunnel& t : d.tunnels) {
    l.push_back(n(t.firstFrame));
    l.push_back(n(t.lastFrame));
  }
  l.push_back("#");
  l.push_back("[Station]");
  for (const DraftStation& s : d.stations) {
    l.push_back(csv({stationName(s.name), n(s.type), n(s.rangeStart), n(s.rangeEnd), "0",
                     n(s.departureSoundTicks), n(s.departureTicks)}));
  }
  l.push_back("#");
  l.push_back("[Signal]");
  for (const DraftSignal& s : d.signalList) {
    l.push_back(csv({"0", stationName(s.name), "3", n(s.displayFrom), n(s.boundary),
                     n(s.transponder), n(s.check), "0", "0"}));
  }
  l.push_back("#");
  l.push_back("[Slope]");
  for (const DraftSlope& s : d.slopes) {
    l.push_back(csv({fixed4(s.permil), n(s.fromFrame), n(s.toFrame)}));
  }
  l.push_back("#");
  l.push_back("[SignImageList]");
  l.push_back(kSignPictures);
  l.push_back("#");
  if (!d.signalList.empty()) {
    l.push_back("[SignalImageList]");
    l.push_back(kSignalPictures);
    l.push_back("#");
  }
  l.push_back("[SpeedUnit]");
  for (const sim::SpeedUnitRow& r : d.speed.rows) {
    l.push_back(csv({n(r.startFrame), n(r.endFrame), n(r.startSpeed), n(r.endSpeed)}));
  }
  l.push_back("#");
  return l;
}

std::string lineFileBytes(const LineDraft& draft) {
  std::string bytes;
  for (const std::string& line : lineFileLines(draft)) {
    bytes += data::utf8ToCp932(line);
    bytes += "\r\n";
  }
  return bytes;
}

}  // namespace dravolin::author
