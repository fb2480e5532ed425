// The program's sound on a desktop's sound server that goes away: a private PulseAudio server
// with two null sinks, the fast demo driven in the real driving window (its ticks in virtual
// time) through OpenAL Soft's PulseAudio back end, the sinks' monitors recorded and measured.
// The server is killed mid-drive and started again; the drive is closed while it is gone; the
// stream is moved to the other sink. Skipped when PulseAudio is not installed.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QtTest>

#include "fixtures/run_tool.h"
#include "input/input_state.h"
#include "platform/openal_environment.h"
#include "platform/openal_sound_slots.h"
#include "private_sound_server.h"
#include "shell/drive_adapter.h"
#include "shell/drive_clock.h"
#include "shell/program_shell.h"
#include "shell/sound_watch.h"
#include "shell/title_window.h"

namespace dravolin::testing {

// The server of this test program, made by main() before anything uses OpenAL Soft (null when
// PulseAudio is not installed).
extern PrivateSoundServer* soundServer;

namespace {

using platform::OpenAlSoundSlots;
using platform::SoundSlots;

constexpr double kSoundDb = -50;  // a 50 ms window louder than this has sound in it

// Runs the program's event loop (the drive's ticks, the sound watch) until `done` or `ms`.
template <typename Done>
bool waitFor(int ms, Done done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QTest::qWait(20);
  return done();
}

// The fast demo in the program's windows (the title window, a driving window) with the
// program's real sound service on the private server and its watch, which shows what happens
// to the output in the status line of the window in front; a drive of the E231 started and
// left standing at its first station, where the running noise and the motor loop at steady
// levels for its first 15 s.
class SoundServerDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (soundServer == nullptr) {
      GTEST_SKIP() << "PulseAudio (pulseaudio, pactl, parec) is not installed: scripts/setup "
                      "installs it; the sound server tests are skipped";
    }
    ASSERT_TRUE(soundServer->start()) << soundServer->serverLog();
    const ToolRun made =
        runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted((folder.path() / "demo").string()) + " --fast");
    ASSERT_EQ(made.status, 0) << made.err;
    ASSERT_TRUE(sound.initialise()) << "OpenAL Soft did not open the private server";
    shell::ProgramShell::Context context;
    context.title.driving.sound = &sound;
    context.title.driving.makeDrive = shell::makeDriveFactory(input);
    context.title.driving.endProgram = [this](int status) { ended.push_back(status); };
    // As the program does: while a drive runs, its display ticks look at the output.
    context.title.driving.eachDisplayTick = [this] { watch.check(); };
    context.title.driving.displayTicksRunning = [this](bool on) { watch.followTicks(on); };
    context.program = &input;
    programShell = std::make_unique<shell::ProgramShell>(context, shell::AppSettings{},
                                                         folder.path() / "demo");
    title = programShell->titleWindow();
  }
  void TearDown() override {
    if (title != nullptr && title->drivingWindow() != nullptr) title->drivingWindow()->close();
    programShell.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (soundServer != nullptr) soundServer->kill();
  }

  shell::DrivingWindow* startDrive() {
    title->TrainClick(2);
    shell::DrivingWindow* d = title->drivingWindow();
    if (d == nullptr) return nullptr;
    d->start1Click();
    QTest::qWait(1500);  // the motor's level falls to its steady value
    return d;
  }

  // `ms` of a sink's monitor, counted from the first sample the recorder gets.
  std::vector<std::int16_t> record(const char* sink, int ms, const char* name) {
    PrivateSoundServer::Recording r(*soundServer, sink, folder.path() / name);
    collect({&r}, ms);
    return r.stop();
  }
  // Runs the program until every recording holds `ms` of sound (at most 3 s longer).
  static void collect(std::initializer_list<const PrivateSoundServer::Recording*> recordings,
                      int ms) {
    const std::size_t wanted = static_cast<std::size_t>(kRecordRate) * ms / 1000;
    waitFor(ms + 3000, [&] {
      return std::all_of(recordings.begin(), recordings.end(),
                         [&](const auto* r) { return r->samples() >= wanted; });
    });
  }

  bool statusShown(const char* text) const {
    return std::find(statuses.begin(), statuses.end(), QString(text)) != statuses.end();
  }

  TemporaryFolder folder;
  OpenAlSoundSlots sound{OpenAlSoundSlots::Output::defaultDevice()};
  std::vector<QString> statuses;
  shell::SoundWatch watch{sound, [this](const QString& t) {
                            statuses.push_back(t);
                            if (programShell != nullptr) programShell->showSoundStatus(t);
                          }};
  input::ProgramInputState input;
  std::unique_ptr<shell::ProgramShell> programShell;
  shell::TitleWindow* title = nullptr;
  std::vector<int> ended;
};

// Killed 15 s into a drive, back some seconds later: the drive goes on silent meanwhile, and the
// sound is back within 3 s of the server's return, at the level it had (within 3 dB).
TEST_F(SoundServerDrive, ServerKilledMidDriveAndStartedAgain) {
  shell::DrivingWindow* d = startDrive();
  ASSERT_NE(d, nullptr);
  EXPECT_FALSE(watch.timerRunning()) << "the display ticks look at the output while driving";
  const std::vector<std::int16_t> before = record(PrivateSoundServer::kFirstSink, 2000, "a.raw");
  const double levelBefore = rmsDb(before, before.size() / 4, before.size());
  ASSERT_GT(levelBefore, -40) << "no drive sound before the server goes";

  soundServer->kill();
  ASSERT_TRUE(waitFor(1000, [&] { return statusShown(shell::kSoundOutputLost); }));
  EXPECT_EQ(sound.outputState(), SoundSlots::OutputState::Missing);
  EXPECT_EQ(d->statusLine()->text().toStdString(), shell::kSoundOutputLost);
  d->grab().save(QString(DRAVOLIN_SCREENSHOTS) + "/sound_output_lost.png");
  const int msAtLoss = d->clock().doneMs();
  QTest::qWait(2500);
  EXPECT_TRUE(d->running());
  EXPECT_GT(d->clock().doneMs(), msAtLoss + 2000) << "the drive stood still without sound";
  EXPECT_EQ(sound.outputState(), SoundSlots::OutputState::Missing);

  ASSERT_TRUE(soundServer->start()) << soundServer->serverLog();
  const std::vector<std::int16_t> after = record(PrivateSoundServer::kFirstSink, 4000, "b.raw");
  const double back = firstSoundSeconds(after, kSoundDb);
  EXPECT_GE(back, 0) << "no sound after the server came back";
  EXPECT_LT(back, 3.0);
  EXPECT_TRUE(statusShown(shell::kSoundOutputBack));
  EXPECT_EQ(d->statusLine()->text().toStdString(), shell::kSoundOutputBack);
  EXPECT_EQ(sound.outputState(), SoundSlots::OutputState::Open);
  const double levelAfter = rmsDb(after, after.size() * 3 / 4 - kRecordRate, after.size());
  EXPECT_NEAR(levelAfter, levelBefore, 3.0);
  EXPECT_TRUE(ended.empty());
}

// The drive closed while the server is gone: the program goes on at the title window, which
// says it runs silent; the server back, the next drive sounds.
TEST_F(SoundServerDrive, DriveClosedWhileTheServerIsGone) {
  shell::DrivingWindow* d = startDrive();
  ASSERT_NE(d, nullptr);
  soundServer->kill();
  ASSERT_TRUE(waitFor(1000, [&] { return statusShown(shell::kSoundOutputLost); }));
  d->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(ended.empty());
  EXPECT_TRUE(title->isVisible());
  EXPECT_EQ(title->drivingWindow(), nullptr);
  EXPECT_TRUE(watch.timerRunning()) << "without a drive the watch's own timer looks";
  EXPECT_EQ(title->statusLine()->text().toStdString(), shell::kRunningSilent);
  title->grab().save(QString(DRAVOLIN_SCREENSHOTS) + "/title_running_silent.png");

  ASSERT_TRUE(soundServer->start()) << soundServer->serverLog();
  ASSERT_TRUE(waitFor(3000, [&] { return statusShown(shell::kSoundOutputBack); }));
  EXPECT_EQ(sound.outputState(), SoundSlots::OutputState::Open);
  EXPECT_EQ(title->statusLine()->text().toStdString(), shell::kSoundOutputBack);
  ASSERT_NE(startDrive(), nullptr);
  const std::vector<std::int16_t> heard = record(PrivateSoundServer::kFirstSink, 1500, "c.raw");
  EXPECT_GT(rmsDb(heard, 0, heard.size()), -40);
}

// The mixer moves the stream to the second output: the sound follows it there. The mixer shows
// it under the program's name and icon.
TEST_F(SoundServerDrive, StreamMovesToTheSecondSink) {
  ASSERT_NE(startDrive(), nullptr);
  const ToolRun inputs = soundServer->pactl("list sink-inputs");
  EXPECT_NE(inputs.out.find("application.name = \"Dravolin\""), std::string::npos) << inputs.out;
  EXPECT_NE(inputs.out.find("application.icon_name = \"dravolin\""), std::string::npos);
  const ToolRun list = soundServer->pactl("list short sink-inputs");
  ASSERT_EQ(list.status, 0);
  const std::string id = list.out.substr(0, list.out.find('\t'));
  ASSERT_FALSE(id.empty()) << "the program has no stream";

  // Each sink heard for a second before the move and a second after it.
  auto levels = [this](const char* name) {
    PrivateSoundServer::Recording first(*soundServer, PrivateSoundServer::kFirstSink,
                                        folder.path() / (std::string(name) + "-first.raw"));
    PrivateSoundServer::Recording second(*soundServer, PrivateSoundServer::kSecondSink,
                                         folder.path() / (std::string(name) + "-second.raw"));
    collect({&first, &second}, 1000);
    const std::vector<std::int16_t> a = first.stop();
    const std::vector<std::int16_t> b = second.stop();
    EXPECT_GE(a.size(), static_cast<std::size_t>(kRecordRate));
    EXPECT_GE(b.size(), static_cast<std::size_t>(kRecordRate));
    return std::pair{rmsDb(a, kRecordRate / 5, a.size()), rmsDb(b, kRecordRate / 5, b.size())};
  };
  const auto [firstBefore, secondBefore] = levels("before");
  const ToolRun moved =
      soundServer->pactl("move-sink-input " + id + " " + PrivateSoundServer::kSecondSink);
  EXPECT_EQ(moved.status, 0) << moved.err;
  const auto [firstAfter, secondAfter] = levels("after");
  EXPECT_GT(firstBefore, -40);
  EXPECT_LT(secondBefore, kSoundDb);
  EXPECT_LT(firstAfter, kSoundDb);
  EXPECT_GT(secondAfter, -40);
  EXPECT_NEAR(secondAfter, firstBefore, 3.0);
  EXPECT_EQ(sound.outputState(), SoundSlots::OutputState::Open);
}

}  // namespace
}  // namespace dravolin::testing
