#include "tools/ride_footage.h"

#include <QImage>
#include <algorithm>
#include <cmath>

#include "author/track.h"
#include "platform/ffmpeg_mp4_writer.h"
#include "tools/make-demo/scene.h"

namespace dravolin::testing {

namespace {

constexpr int kFps = 30;

// Stand 20 s, away to 60 km/h, through the tunnel, stop 20 s, away to 54 km/h, stop to the end.
const demo::SpeedRow kRows[] = {
    {0, 600, 0, 0},       {600, 1320, 0, 60},  {1320, 3420, 60, 60},
    {3420, 4020, 60, 0},  {4020, 4620, 0, 0},  {4620, 5220, 0, 54},
    {5220, 6420, 54, 54}, {6420, 6960, 54, 0}, {6960, 7499, 0, 0},
};

// Stand 16 s, away to 36 km/h, stop, stand 16 s to the end.
const demo::SpeedRow kBriefRows[] = {
    {0, 480, 0, 0}, {480, 780, 0, 36}, {780, 1080, 36, 36}, {1080, 1440, 36, 0}, {1440, 1919, 0, 0},
};

}  // namespace

double RideTruth::fromM(double t) const {
  const double f = std::clamp(t * kFps, 0.0, static_cast<double>(plan.frameCount() - 1));
  const auto i = static_cast<std::size_t>(f);
  const std::size_t j = std::min(i + 1, plan.frameM.size() - 1);
  return plan.frameM[i] + (plan.frameM[j] - plan.frameM[i]) * (f - static_cast<double>(i));
}

double RideTruth::speedMps(double t) const {
  return plan.speedAt(static_cast<int>(std::floor(t * kFps))) / 3.6;
}

RideTruth rideTruth(bool brief) {
  RideTruth r;
  demo::Plan& p = r.plan;
  if (brief) {
    p.rows.assign(std::begin(kBriefRows), std::end(kBriefRows));
  } else {
    p.rows.assign(std::begin(kRows), std::end(kRows));
  }
  demo::placeFrames(p);
  if (brief) {
    r.stands = {{0, 480}, {1440, p.frameCount()}};
  } else {
    r.stands = {{0, 600}, {4020, 4620}, {6960, p.frameCount()}};
  }
  const char* names[][2] = {
      {"若葉台", "わかばだい"}, {"川原町", "かわらまち"}, {"東浜", "ひがしはま"}};
  for (std::size_t i = 0; i < r.stands.size(); ++i) {
    demo::Station s;
    s.name = names[i][0];
    s.kana = names[i][1];
    s.stopFrame = r.stands[i].first;
    s.stopM = p.frameM[static_cast<std::size_t>(s.stopFrame)];
    p.stations.push_back(s);
  }
  p.curves = {{300, 700, 1.0 / 500.0, 0}, {1750, 2100, -1.0 / 800.0, 0}};
  p.slopes = {{0, 250, 0}, {250, 1100, 6}, {1100, 1800, -4}, {1800, 1e6, 3}};
  p.tunnel = brief ? demo::Range{1e6, 1e6 + 1} : demo::Range{700, 950};
  p.bridge = {-200, -100};
  p.crossingM = -1000;
  p.passingM = 1e7;
  p.passingFrame = 0;
  r.videoStartUtc = author::utcSeconds(2024, 5, 1, 0, 59, 30.4);
  r.cameraClockUtc = std::floor(r.videoStartUtc - 43.6);
  return r;
}

author::testing::Route rideRoute(const RideTruth& truth) {
  const demo::Plan& p = truth.plan;
  return author::testing::Route(
      p.lengthM() + 10, [&p](double m) { return p.curvatureAt(m); },
      [&p](double m) { return p.gradientAt(m); });
}

std::vector<author::testing::Fix> rideFixes(const RideTruth& truth) {
  const author::testing::Route route = rideRoute(truth);
  const demo::Range tunnel = truth.plan.tunnel;
  return author::testing::recordRun(
      route, truth.videoStartUtc, truth.videoStartUtc - 5,
      truth.videoStartUtc + truth.durationS() + 5, [&truth](double t) { return truth.fromM(t); },
      [&truth](double t) { return truth.speedMps(t); },
      [tunnel](double m) { return m > tunnel.fromM + 10 && m < tunnel.toM + 25; },
      author::testing::ReceiverNoise{});
}

void writeRideFootage(const RideTruth& truth, int width, int height, const std::string& plain,
                      const std::string& withGps, const std::vector<author::GpmfPayload>& gps) {
  const demo::Scene scene(truth.plan);
  platform::FfmpegMp4Writer::Options o;
  o.width = width;
  o.height = height;
  o.creationTimeS = truth.cameraClockUtc;
  o.preset = "ultrafast";
  o.crf = 18;
  o.threads = 1;
  platform::FfmpegMp4Writer a(plain, o);
  o.telemetry = true;
  platform::FfmpegMp4Writer b(withGps, o);
  QImage image(width, height, QImage::Format_RGB32);
  platform::Bitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  std::uint32_t noise = 12345;
  std::size_t next = 0;
  for (int f = 0; f < truth.plan.frameCount(); ++f) {
    scene.render(f, image);
    bitmap.pixels.assign(reinterpret_cast<const std::uint32_t*>(image.constBits()),
                         reinterpret_cast<const std::uint32_t*>(image.constBits()) +
                             static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    // The sensor's noise: a grey level or two on every pixel, different in every frame.
    for (std::uint32_t& px : bitmap.pixels) {
      noise ^= noise << 13;
      noise ^= noise >> 17;
      noise ^= noise << 5;
      const int d = static_cast<int>(noise % 5) - 2;
      std::uint32_t out = 0xFF000000;
      for (int shift : {0, 8, 16}) {
        const int c = std::clamp(static_cast<int>((px >> shift) & 0xFF) + d, 0, 255);
        out |= static_cast<std::uint32_t>(c) << shift;
      }
      px = out;
    }
    a.addFrame(bitmap);
    b.addFrame(bitmap);
    // The telemetry payloads that begin before the next frame.
    while (next < gps.size() && gps[next].timeS < (f + 1.0) / kFps) {
      if (gps[next].timeS >= 0)
        b.addTelemetry(gps[next].bytes, gps[next].timeS, gps[next].durationS);
      ++next;
    }
  }
  a.finish();
  b.finish();
}

}  // namespace dravolin::testing
