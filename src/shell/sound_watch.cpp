#include "shell/sound_watch.h"

namespace dravolin::shell {

using platform::SoundSlots;

QString titleNotice(const QString& notice, const SoundSlots* sound) {
  if (sound == nullptr || sound->outputState() != SoundSlots::OutputState::Missing) return notice;
  return notice.isEmpty() ? QString(kRunningSilent) : notice + "　" + kRunningSilent;
}

SoundWatch::SoundWatch(SoundSlots& sound, std::function<void(const QString&)> show, QObject* parent)
    : QObject(parent), sound_(sound), show_(std::move(show)) {
  clock_.start();
  connect(&timer_, &QTimer::timeout, this, &SoundWatch::check);
  timer_.start(kPeriodMs);
}

void SoundWatch::followTicks(bool on) {
  if (on) {
    timer_.stop();
  } else if (!timer_.isActive()) {
    timer_.start(kPeriodMs);
  }
}

void SoundWatch::check() {
  switch (sound_.checkOutput(clock_.elapsed())) {
    case SoundSlots::OutputChange::None:
      return;
    case SoundSlots::OutputChange::Lost:
      if (show_) show_(kSoundOutputLost);
      return;
    case SoundSlots::OutputChange::Restored:
      if (show_) show_(kSoundOutputBack);
      return;
  }
}

}  // namespace dravolin::shell
