#include "author/line_assets.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sim/signals.h"

namespace dravolin::author {

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kDark = 0xFF202020;
constexpr std::uint32_t kRed = 0xFFE02020;
constexpr std::uint32_t kYellow = 0xFFF0C020;
constexpr std::uint32_t kGreen = 0xFF20D080;
constexpr std::uint32_t kUnlit = 0xFF404040;

class Canvas {
 public:
  Canvas(int w, int h, std::uint32_t fill) {
    b_.width = w;
    b_.height = h;
    b_.pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill);
  }
  void set(int x, int y, std::uint32_t c) {
    if (x < 0 || y < 0 || x >= b_.width || y >= b_.height) return;
    b_.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(b_.width) +
              static_cast<std::size_t>(x)] = c;
  }
  void rect(int x, int y, int w, int h, std::uint32_t c) {
    for (int j = y; j < y + h; ++j) {
      for (int i = x; i < x + w; ++i) set(i, j, c);
    }
  }
  void frame(int x, int y, int w, int h, int t, std::uint32_t c) {
    rect(x, y, w, t, c);
    rect(x, y + h - t, w, t, c);
    rect(x, y, t, h, c);
    rect(x + w - t, y, t, h, c);
  }
  void disc(double cx, double cy, double r, std::uint32_t c) {
    for (int j = static_cast<int>(cy - r); j <= static_cast<int>(cy + r) + 1; ++j) {
      for (int i = static_cast<int>(cx - r); i <= static_cast<int>(cx + r) + 1; ++i) {
        if ((i + 0.5 - cx) * (i + 0.5 - cx) + (j + 0.5 - cy) * (j + 0.5 - cy) <= r * r) {
          set(i, j, c);
        }
      }
    }
  }
  // A thick line from (x0, y0) to (x1, y1).
  void line(double x0, double y0, double x1, double y1, double width, std::uint32_t c) {
    const double len = std::hypot(x1 - x0, y1 - y0);
    for (double s = 0; s <= len; s += 0.5) {
      disc(x0 + (x1 - x0) * s / len, y0 + (y1 - y0) * s / len, width / 2, c);
    }
  }
  platform::Bitmap take() { return std::move(b_); }

 private:
  platform::Bitmap b_;
};

// A gradient post: a white board with the line rising (or falling) across it and an arrow.
void slopeSign(Canvas& c, int x0, bool up) {
  c.rect(x0, 0, 50, 50, kWhite);
  c.frame(x0, 0, 50, 50, 2, kBlack);
  const double ya = up ? 38 : 12, yb = up ? 12 : 38;
  c.line(x0 + 8, ya, x0 + 42, yb, 4, kBlack);
  const double dir = up ? -1 : 1;
  c.line(x0 + 42, yb, x0 + 32, yb, 3, kBlack);
  c.line(x0 + 42, yb, x0 + 42, yb - 10 * dir, 3, kBlack);
}

}  // namespace

platform::Bitmap signPictures() {
  Canvas c(150, 50, kWhite);
  // The stop marker: a white board, a red band and the post below it.
  c.frame(0, 0, 50, 50, 2, kBlack);
  c.rect(6, 16, 38, 12, kRed);
  c.rect(23, 30, 4, 16, kBlack);
  slopeSign(c, 50, true);
  slopeSign(c, 100, false);
  return c.take();
}

platform::Bitmap signalPictures() {
  Canvas c(22 * 50, 100, kBlack);
  for (int code = 0; code <= 21; ++code) {
    const int x = code * 50;
    c.rect(x + 5, 2, 40, 96, kDark);
    // Lamps from the top: green, yellow, red, yellow (the fourth only for YY), lit
    // by the indication each code stands for, as the drive reads it.
    const sim::IndicationClass shown = sim::indicationClass(code);
    const bool r = shown == sim::IndicationClass::R;
    const bool g = shown == sim::IndicationClass::G || shown == sim::IndicationClass::YG;
    const bool y1 = shown == sim::IndicationClass::Y || shown == sim::IndicationClass::YG ||
                    shown == sim::IndicationClass::YY;
    const bool y2 = shown == sim::IndicationClass::YY;
    c.disc(x + 25, 15, 8, g ? kGreen : kUnlit);
    c.disc(x + 25, 38, 8, y1 ? kYellow : kUnlit);
    c.disc(x + 25, 61, 8, r ? kRed : kUnlit);
    c.disc(x + 25, 84, 8, y2 ? kYellow : kUnlit);
  }
  return c.take();
}

std::vector<std::uint8_t> departureChime() {
  constexpr int rate = 22050;
  constexpr int samples = rate * 3;
  std::vector<std::uint8_t> out(44 + static_cast<std::size_t>(samples) * 2);
  std::size_t at = 0;
  const auto put = [&out, &at](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at++] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  const auto text = [&out, &at](const char* s) {
    for (int i = 0; i < 4; ++i) out[at++] = static_cast<std::uint8_t>(s[i]);
  };
  text("RIFF");
  put(36 + samples * 2, 4);
  text("WAVE");
  text("fmt ");
  put(16, 4);
  put(1, 2);  // PCM
  put(1, 2);  // mono
  put(rate, 4);
  put(rate * 2, 4);
  put(2, 2);
  put(16, 2);
  text("data");
  put(samples * 2, 4);
  // Two strokes of a bell each second, a fourth apart, dying away.
  const double notes[] = {659.25, 493.88};
  for (int i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i) / rate;
    const int stroke = static_cast<int>(t / 0.5);
    const double since = t - stroke * 0.5;
    const double f = notes[stroke % 2];
    const double w = 2 * std::numbers::pi * f * t;
    const double v = std::exp(-since * 5.0) * (std::sin(w) + 0.3 * std::sin(2.76 * w)) * 0.3;
    put(static_cast<std::uint16_t>(
            static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767))),
        2);
  }
  return out;
}

}  // namespace dravolin::author
