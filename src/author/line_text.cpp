#include "author/line_text.h"

#include <cstdio>

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

}  // namespace

std::string recordSafe(const std::string& utf8) {
  std::string out;
  for (const char c : utf8) {
    if (c == ',') {
      out += "、";
    } else if (c == '\r' || c == '\n' || c == '\t') {
      out += ' ';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out.empty() ? "駅" : out;
}

std::vector<std::string> lineFileLines(const LineDraft& d) {
  std::vector<std::string> l;
  const LineOptions& o = d.options;
  const std::string name = recordSafe(o.lineName);
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
    l.push_back(csv({recordSafe(s.name), n(s.type), n(s.rangeStart), n(s.rangeEnd), "0",
                     n(s.departureSoundTicks), n(s.departureTicks)}));
  }
  l.push_back("#");
  l.push_back("[Signal]");
  for (const DraftSignal& s : d.signalList) {
    l.push_back(csv({"0", recordSafe(s.name), "3", n(s.displayFrom), n(s.boundary),
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
