#include "tools/make-demo/plan.h"

#include <algorithm>
#include <cmath>

namespace dravolin::demo {

namespace {

// Writes the recorded run phase by phase and remembers where the phases of interest begin.
class RunBuilder {
 public:
  int frame() const { return frame_; }
  int speed() const { return speed_; }

  // Changes speed at a constant rate (km/h/s), in one row.
  void ramp(int to, double rate) {
    const int frames =
        std::max(1, static_cast<int>(std::lround(kFps * std::abs(to - speed_) / rate)));
    add(frames, to);
  }
  // Starting acceleration as an EMU does it: strong at first, weaker at speed.
  void accelerate(int to) {
    const int steps[][2] = {{25, 27}, {45, 22}, {65, 16}, {80, 11}, {95, 7}};
    for (const auto& s : steps) {
      if (speed_ >= to) break;
      if (s[0] <= speed_) continue;
      ramp(std::min(to, s[0]), s[1] / 10.0);
    }
  }
  void brakeTo(int to) {
    if (to == kStandKmh) {
      ramp(std::min(speed_, 20), 3.2);
      ramp(kStandKmh, 2.6);
    } else {
      ramp(to, 3.0);
    }
  }
  void cruise(double seconds) { add(static_cast<int>(std::lround(seconds * kFps)), speed_); }

  std::vector<SpeedRow> rows;

 private:
  void add(int frames, int to) {
    rows.push_back({frame_, frame_ + frames, speed_, to});
    frame_ += frames;
    speed_ = to;
  }
  int frame_ = 0;
  int speed_ = kStandKmh;
};

}  // namespace

double Plan::speedAt(int frame) const {
  for (const SpeedRow& r : rows) {
    if (frame >= r.f0 && frame < r.f1) {
      return r.v0 + static_cast<double>(r.v1 - r.v0) * (frame - r.f0) / (r.f1 - r.f0);
    }
  }
  return 0;
}

int Plan::frameAt(double metres) const {
  const auto it = std::lower_bound(frameM.begin(), frameM.end(), metres);
  return static_cast<int>(std::min<std::ptrdiff_t>(it - frameM.begin(), frameCount() - 1));
}

int Plan::insideRow(int frame) const {
  for (const SpeedRow& r : rows) {
    if (frame == r.f0 || frame == r.f1) return frame + 1;
  }
  return frame;
}

double Plan::curvatureAt(double m) const {
  for (const CurvePlan& c : curves) {
    if (m < c.fromM || m > c.toM) continue;
    // Easement: the curvature grows over the first and last 60 m.
    const double ease = std::min({1.0, (m - c.fromM) / 60.0, (c.toM - m) / 60.0});
    return c.curvature * ease;
  }
  return 0;
}

double Plan::gradientAt(double m) const {
  for (const SlopePlan& s : slopes) {
    if (m >= s.fromM && m < s.toM) return s.permil;
  }
  return 0;
}

void placeFrames(Plan& plan) {
  // Camera position of every frame, with the same formula the loader uses for distances.
  const int frames = plan.rows.empty() ? 0 : plan.rows.back().f1 + 1;
  plan.frameM.resize(frames);
  double total = 0;
  std::size_t ri = 0;
  for (int f = 0; f < frames; ++f) {
    while (ri + 1 < plan.rows.size() && f >= plan.rows[ri].f1) {
      const SpeedRow& r = plan.rows[ri];
      total += (r.v0 + r.v1) * (r.f1 - r.f0) / 2.16 / 100.0;
      ++ri;
    }
    const SpeedRow& r = plan.rows[ri];
    const double p = std::min(f, r.f1);
    const double vp = static_cast<double>(r.v1 - r.v0) / (r.f1 - r.f0) * (p - r.f0) + r.v0;
    plan.frameM[f] = total + (vp + r.v0) / 7.2 * ((p - r.f0) / kFps);
  }
}

Plan makePlan() {
  Plan plan;
  RunBuilder run;
  std::vector<int> stands;  // frames where the recording stands at a station
  int curve1 = 0, curve1End = 0, curve2 = 0, curve2End = 0, tunnelCruise = 0, bridgeCruise = 0;

  stands.push_back(0);
  run.cruise(2);  // standing at the first station
  // Leg 1: a long straight with the bridge.
  run.accelerate(90);
  bridgeCruise = run.frame();
  run.cruise(16);
  run.brakeTo(kStandKmh);
  stands.push_back(run.frame());
  run.cruise(1);
  // Leg 2: the first curve (65 km/h), then the tunnel and the passing train.
  run.accelerate(90);
  run.cruise(8);
  run.brakeTo(60);
  curve1 = run.frame();
  run.cruise(20);
  curve1End = run.frame();
  run.accelerate(90);
  tunnelCruise = run.frame();
  run.cruise(24);
  run.brakeTo(kStandKmh);
  stands.push_back(run.frame());
  run.cruise(1);
  // Leg 3: the second curve (75 km/h) and the level crossing before the terminus.
  run.accelerate(85);
  run.cruise(6);
  run.brakeTo(70);
  curve2 = run.frame();
  run.cruise(16);
  curve2End = run.frame();
  run.accelerate(90);
  run.cruise(10);
  run.brakeTo(kStandKmh);
  stands.push_back(run.frame());
  run.cruise(3);
  plan.rows = run.rows;

  placeFrames(plan);

  const char* names[][2] = {
      {"桜ヶ丘", "さくらがおか"}, {"川辺", "かわべ"}, {"中町", "なかまち"}, {"緑台", "みどりだい"}};
  for (std::size_t i = 0; i < stands.size(); ++i) {
    Station s;
    s.name = names[i][0];
    s.kana = names[i][1];
    s.stopFrame = stands[i];
    s.stopM = plan.frameM[stands[i]];
    s.arriveFrame = stands[i];
    // The range's midpoint lies inside the standstill row, half a second after its start.
    s.rangeStart = i == 0 ? 0 : stands[i] - 135;
    s.rangeEnd = i == 0 ? 30 : stands[i] + 165;
    plan.stations.push_back(s);
  }
  plan.startPos = 15;

  const double mc1 = plan.frameM[curve1], mc1e = plan.frameM[curve1End];
  const double mc2 = plan.frameM[curve2], mc2e = plan.frameM[curve2End];
  plan.curves.push_back({mc1 + 10, mc1e - 10, 1.0 / 400.0, 65});
  plan.curves.push_back({mc2 + 10, mc2e - 10, -1.0 / 600.0, 75});
  const double tunnelFrom = plan.frameM[tunnelCruise] + 120;
  plan.tunnel = {tunnelFrom, tunnelFrom + 420};
  const double bridgeFrom = plan.frameM[bridgeCruise] + 120;
  plan.bridge = {bridgeFrom, bridgeFrom + 140};
  plan.crossingM = plan.stations[3].stopM - 330;
  plan.passingM = plan.tunnel.toM + 160;
  plan.passingFrame = plan.frameAt(plan.passingM);

  // Gradients: level at the stations, a climb to the tunnel and a fall after it.
  const double s1 = plan.stations[1].stopM, s2 = plan.stations[2].stopM,
               s3 = plan.stations[3].stopM;
  const double len = plan.lengthM();
  plan.slopes = {{0, 300, 0},
                 {300, bridgeFrom - 100, 3.5},
                 {bridgeFrom - 100, s1 - 200, -2.5},
                 {s1 - 200, s1 + 200, 0},
                 {s1 + 200, tunnelFrom - 50, 8},
                 {tunnelFrom - 50, plan.tunnel.toM, 2},
                 {plan.tunnel.toM, s2 - 250, -10},
                 {s2 - 250, s2 + 200, 0},
                 {s2 + 200, mc2e, 4.5},
                 {mc2e, s3 - 200, -5},
                 {s3 - 200, len + 1, 0}};

  // Signals: a starting signal after each station, a home signal before the next, and block
  // blockSignals 500 to 700 m apart between them.
  int block = 1;
  for (std::size_t i = 0; i + 1 < plan.stations.size(); ++i) {
    const Station& from = plan.stations[i];
    const Station& to = plan.stations[i + 1];
    plan.blockSignals.push_back({from.name + " 出発", 2, from.stopM + 90});
    const double first = from.stopM + 90, home = to.stopM - 260;
    const int blocks = std::max(1, static_cast<int>(std::ceil((home - first) / 700.0)));
    for (int b = 1; b < blocks; ++b) {
      plan.blockSignals.push_back(
          {"第" + std::to_string(block++) + "閉塞", 3, first + (home - first) * b / blocks});
    }
    plan.blockSignals.push_back({to.name + " 場内", 2, home});
  }
  return plan;
}

}  // namespace dravolin::demo
