#include "sim/clock.h"

#include <cmath>
#include <numbers>
#include <string>

#include "sim/fixed.h"

namespace dravolin::sim {

namespace {

std::string twoDigits(int v) {
  std::string t = std::to_string(v);
  return t.size() == 1 ? "0" + t : t;
}

// A hand from the face's centre (25, 25) at `degrees` clockwise from twelve o'clock.
ClockHand hand(long double degrees, int length) {
  const long double rad = degrees * std::numbers::pi_v<long double> / 180.0L;
  ClockHand h;
  h.x2 = 25 + roundToInt(std::sin(rad) * length);
  h.y2 = 25 + roundToInt(-std::cos(rad) * length);
  return h;
}

}  // namespace

void timecalc(int time, CabLabel& Label3, CabClock& clock) {
  const int h = time / kTicksPerHour;
  const int d = time / 30 - h * 3600;  // seconds within the hour
  const int m = d / 60;
  const int s = d - m * 60;
  Label3.text = twoDigits(h) + ":" + twoDigits(m) + ":" + twoDigits(s);

  if (!clock.exists) return;
  const int L = clock.handLength;
  clock.hour = hand(h * 30.0L + m * 0.5L, roundToInt(L * 0.6L));
  clock.minute = hand(m * 6.0L + s * 0.1L, L);
  clock.second = hand(s * 6.0L, L);
  clock.drawn = true;
}

}  // namespace dravolin::sim
