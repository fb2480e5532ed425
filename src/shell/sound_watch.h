// The watch over the sound output: every 100 ms (the display tick's period) it asks the sound
// service whether its output is still there and, while it is missing, lets the service try to
// open it again. What changed is shown in the status line of the window in front. While a drive's
// display ticks run, they do the looking and the watch's own timer rests.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "platform/sound_slots.h"

namespace dravolin::shell {

inline constexpr const char* kSoundOutputLost = "音声出力が切れました";
inline constexpr const char* kSoundOutputBack = "音声出力が戻りました";
inline constexpr const char* kRunningSilent = "音声出力がないため、音なしで動作しています";

// The title screen's notice: `notice` and, while the sound service wants an output it does not
// have, kRunningSilent.
QString titleNotice(const QString& notice, const platform::SoundSlots* sound);

class SoundWatch final : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPeriodMs = 100;

  // `show` puts a text in the status line of the window in front.
  SoundWatch(platform::SoundSlots& sound, std::function<void(const QString&)> show,
             QObject* parent = nullptr);

  void setShow(std::function<void(const QString&)> show) { show_ = std::move(show); }
  // One look at the output (the timer's work).
  void check();
  // Whether check() is called from outside (a drive's display ticks) instead of by the timer.
  void followTicks(bool on);
  bool timerRunning() const { return timer_.isActive(); }

 private:
  platform::SoundSlots& sound_;
  std::function<void(const QString&)> show_;
  QTimer timer_;
  QElapsedTimer clock_;
};

}  // namespace dravolin::shell
