// dravolin-timer-check [seconds]
//
// Runs the simulation timer (33 ms, Qt::PreciseTimer on the event loop of this thread, as in the
// driving window) for the given time, ten seconds by default, and prints the mean, the 99th
// percentile and the largest of the periods between ticks. Exits with status 2 on a bad argument;
// --help prints the usage.
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/language.h"
#include "platform/qt_timers.h"

namespace {
constexpr const char* kUsage = "usage: dravolin-timer-check [SECONDS] [--lang ja|en]\n";
}

int main(int argc, char** argv) {
  std::string languageError;
  if (!dravolin::msg::takeLanguageOption(argc, argv, languageError)) {
    std::fprintf(stderr, "dravolin-timer-check: %s\n%s", languageError.c_str(), kUsage);
    return 2;
  }
  QCoreApplication app(argc, argv);
  double seconds = 10.0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  if (argc > 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (argc == 2) {
    char* end = nullptr;
    seconds = std::strtod(argv[1], &end);
    if (end == argv[1] || *end != '\0' || !(seconds > 0.0) || seconds > 86400.0) {
      std::fprintf(stderr, "dravolin-timer-check: '%s' is not a number of seconds\n%s", argv[1],
                   kUsage);
      return 2;
    }
  }

  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> ticks;
  ticks.reserve(
      static_cast<std::size_t>(seconds * 1000.0 / dravolin::platform::kSimulationPeriodMs) + 16);
  const auto timer = dravolin::platform::makeSimulationTimer();
  timer->setHandler([&] { ticks.push_back(Clock::now()); });
  timer->setEnabled(true);
  QTimer::singleShot(static_cast<int>(seconds * 1000.0), &app, &QCoreApplication::quit);
  app.exec();
  timer->setEnabled(false);

  if (ticks.size() < 2) {
    std::fprintf(stderr, "dravolin-timer-check: fewer than two ticks in %.1f s\n", seconds);
    return 1;
  }
  std::vector<double> periods;  // milliseconds
  for (std::size_t i = 1; i < ticks.size(); ++i) {
    periods.push_back(std::chrono::duration<double, std::milli>(ticks[i] - ticks[i - 1]).count());
  }
  double sum = 0.0;
  for (double p : periods) sum += p;
  const double mean = sum / static_cast<double>(periods.size());
  std::vector<double> sorted = periods;
  std::sort(sorted.begin(), sorted.end());
  // Nearest-rank 99th percentile.
  const std::size_t rank =
      static_cast<std::size_t>(std::max(1.0, std::ceil(0.99 * static_cast<double>(sorted.size()))));
  const double p99 = sorted[rank - 1];

  std::printf("simulation timer: %d ms requested, %zu periods in %.1f s\n",
              dravolin::platform::kSimulationPeriodMs, periods.size(), seconds);
  std::printf("mean period:            %.3f ms\n", mean);
  std::printf("99th percentile period: %.3f ms\n", p99);
  std::printf("shortest / longest:     %.3f / %.3f ms\n", sorted.front(), sorted.back());
  return 0;
}
