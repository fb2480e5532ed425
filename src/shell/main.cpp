// Program entry point: the title window with the help and value display windows, or the
// measuring run of one drive's video presentation.
#include <sys/resource.h>

#include <QApplication>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "data/load_error.h"
#include "input/input_state.h"
#include "input/profile_library.h"
#include "library/line_library.h"
#include "platform/ffmpeg_decode_reference.h"
#include "platform/openal_environment.h"
#include "platform/openal_sound_slots.h"
#include "platform/sdl_input_devices.h"
#include "platform/sqlite_drive_history.h"
#include "shell/app_options.h"
#include "shell/app_settings.h"
#include "shell/data_folder.h"
#include "shell/drive_adapter.h"
#include "shell/drive_clock.h"
#include "shell/drive_end.h"
#include "shell/driving_window.h"
#include "shell/help_window.h"
#include "shell/language.h"
#include "shell/messages.h"
#include "shell/program_shell.h"
#include "shell/replay_program.h"
#include "shell/screen_fit.h"
#include "shell/sound_watch.h"
#include "shell/title_window.h"
#include "shell/value_display_window.h"

namespace {

using namespace dravolin;

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Loads the drive in its window, starts it and reports the video presentation: what was drawn,
// how late, the process's processor time and, at the recording speed, that of FFmpeg's own
// single-threaded decoding of the same frames, measured after the run. With --jumps the train
// moves on a third of the video every 2 s, and the longest wait for the picture of its new
// place is reported.
int measure(const shell::AppOptions& options, shell::DrivingWindow::Context context) {
  drive::LoadRequest request;
  request.dataDir = ".";
  request.trainFile = options.trainFile;
  request.lineFile = options.lineFile;
  std::unique_ptr<shell::DrivingWindow> window;
  try {
    window = std::make_unique<shell::DrivingWindow>(context, request, drive::StartupProgress{});
  } catch (const data::LoadError& e) {
    std::fprintf(stderr, "%s\n", e.message().c_str());
    return 1;
  }
  window->show();
  // As a driver does, Start is pressed once the picture of the start position is ready (it is
  // decoded while the still picture shows): a press at once would count that decode as late.
  for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
       !window->positionPictureReady() && std::chrono::steady_clock::now() < until;) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  window->start1Click();
  sim::TrainState& state = window->drive().state();
  if (!options.still) state.AutoSpeed = true;
  const int videoFrames = window->drive().data().videoFrameCount;

  using Clock = std::chrono::steady_clock;
  QTimer jumpTimer;
  int jumps = 0;
  double maxJumpMs = 0;
  std::optional<Clock::time_point> jumpedAt;
  if (options.jumps && videoFrames > 0) {
    QObject::connect(&jumpTimer, &QTimer::timeout, [&] {
      state.FrameIndex = (state.FrameIndex + videoFrames / 3) % videoFrames;
      jumpedAt = Clock::now();
      ++jumps;
    });
    QObject::connect(window.get(), &shell::DrivingWindow::framePresented, [&](int shown, int at) {
      if (jumpedAt && shown == at) {
        maxJumpMs = std::max(
            maxJumpMs, std::chrono::duration<double, std::milli>(Clock::now() - *jumpedAt).count());
        jumpedAt.reset();
      }
    });
  }

  // The processor time is counted from the first picture of the start position on the screen:
  // what the drive costs while it runs or stands, not the decoding up to its start frame.
  bool measuring = false;
  Clock::time_point wallStart;
  double cpuStart = 0;
  int firstFrame = 0;
  // At the recording speed, FFmpeg's own decoding of the same frames at the same pace (one
  // picture per 1/30 s, as a player decodes them) runs beside the drive on a thread of its own:
  // it meets the same machine at the same time. Its processor time is not the drive's.
  const bool compare = !options.still && !options.jumps && videoFrames > 0;
  std::atomic<bool> stopPaced{false};
  std::thread paced;
  platform::DecodeReference pacedResult;
  double pacedThreadCpu = 0;
  const auto stopPacedReference = [&] {
    stopPaced = true;
    if (paced.joinable()) paced.join();
  };
  const auto report = [&] {
    const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    const double processCpu = cpuSeconds() - cpuStart;
    stopPacedReference();
    const double cpu = processCpu - pacedThreadCpu;
    jumpTimer.stop();
    const shell::DrivingWindow::Stats& s = window->stats();
    std::printf(
        "frames_drawn %ld\nframes_changed %ld\nlate_frames %ld\nmax_gap_ms %u\n"
        "cpu_percent %.2f\nmax_tick_late_ms %d\n",
        s.framesDrawn, s.framesChanged, s.lateFrames, s.maxGapMs,
        wall > 0 ? 100.0 * cpu / wall : 0.0, s.maxTickLateMs);
    if (options.jumps) std::printf("jumps %d\nmax_jump_ms %.0f\n", jumps, maxJumpMs);
    const int lastFrame = state.FrameIndex;
    if (compare && lastFrame > firstFrame && wall > 0) {
      const auto line = [&](const char* name, const platform::DecodeReference& r) {
        if (!r.ok) return;
        std::printf("%s_frames %ld\n%s_cpu_percent %.1f\n%s_cpu_ratio %.2f\n", name, r.frames, name,
                    100.0 * r.cpuSeconds / wall, name, r.cpuSeconds > 0 ? cpu / r.cpuSeconds : 0.0);
      };
      line("paced", pacedResult);
      // The same frames decoded as fast as FFmpeg can, on one thread, after the drive.
      line("burst", platform::decodeSingleThreaded(window->drive().data().videoPath.string(),
                                                   firstFrame, lastFrame));
    }
    std::fflush(stdout);
    QApplication::exit(0);
  };
  // Standing is counted once the train has stood for a while: the window keeps its 33 ms wakes
  // for a second after the last input (Start).
  bool settled = !options.still;
  bool settling = false;
  std::function<void()> begin;
  begin = [&] {
    if (measuring || settling) return;
    if (!settled) {
      settling = true;
      QTimer::singleShot(shell::DriveClock::kRestAfterInputMs + 1000, [&] {
        settling = false;
        settled = true;
        begin();
      });
      return;
    }
    measuring = true;
    wallStart = Clock::now();
    cpuStart = cpuSeconds();
    firstFrame = state.FrameIndex;
    if (compare) {
      paced = std::thread([&, path = window->drive().data().videoPath.string(), first = firstFrame,
                           last = videoFrames - 1] {
        const double threadStart = threadCpuSeconds();
        pacedResult = platform::decodeSingleThreaded(path, first, last, {30.0, &stopPaced});
        pacedThreadCpu = threadCpuSeconds() - threadStart;
      });
    }
    if (options.jumps && videoFrames > 0) jumpTimer.start(2000);
    QTimer::singleShot(static_cast<int>(*options.measureSeconds * 1000), report);
  };
  QObject::connect(window.get(), &shell::DrivingWindow::framePresented, [&](int shown, int at) {
    if (shown == at) begin();
  });
  QTimer::singleShot(5000, begin);  // a drive without a video, or one whose picture never comes
  const int status = QApplication::exec();
  stopPacedReference();
  window->close();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  std::optional<shell::AppOptions> options = shell::parseAppOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "dravolin: %s\n%s", error.c_str(), shell::usageText());
    return 2;
  }
  if (options->version) {
    std::printf("Dravolin %s\n", DRAVOLIN_VERSION);
    return 0;
  }
  if (options->help) {
    std::printf("%s", shell::usageText());
    return 0;
  }
  // Before anything else starts a thread or uses OpenAL Soft: where the sound libraries'
  // messages go, and how the desktop's sound server may treat the program's stream.
  const platform::SoundEnvironmentPlan soundEnvironment = platform::prepareSoundEnvironment();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Dravolin");
  // The desktop names every window "TITLE — Dravolin" and finds the program's entry and icon.
  QApplication::setApplicationDisplayName("Dravolin");
  QApplication::setDesktopFileName("dravolin");

  // The user's folders, under one name; files an earlier version kept under the other are moved
  // over first (a file never replaces one of the same name: it stays, and is named here).
  const shell::UserFolders userFolders = shell::userFolders();
  const std::vector<std::string> leftBehind =
      shell::moveFormerUserFiles(shell::userFolders(shell::kFormerUserFolderName), userFolders);
  for (const std::string& line : leftBehind) std::fprintf(stderr, "dravolin: %s\n", line.c_str());

  // Without a folder on the command line: the one used last, else the installed demo.
  const std::unique_ptr<QSettings> store = shell::openUserSettings();
  shell::AppSettings settings = shell::readAppSettings(*store);
  // The language: the command line's, else the one chosen in the menu, else the desktop's.
  shell::Translations translations;
  translations.install(shell::startLanguage(options->language, settings.language));
  // A line package on the command line (a .dravolin file opened from the file manager) is
  // installed once the windows are up; the data folder is then the usual one.
  std::optional<std::filesystem::path> package;
  if (options->dataDirGiven && !options->measureSeconds &&
      QString::fromStdString(options->dataDir).endsWith(".dravolin", Qt::CaseInsensitive)) {
    std::error_code fileError;
    if (std::filesystem::is_regular_file(options->dataDir, fileError)) {
      package = std::filesystem::absolute(options->dataDir, fileError);
      options->dataDirGiven = false;
    }
  }
  std::filesystem::path folder = options->dataDir;
  if (!options->measureSeconds) {
    const std::filesystem::path programDir = QCoreApplication::applicationDirPath().toStdString();
    folder = shell::startFolder(options->dataDirGiven
                                    ? std::optional<std::filesystem::path>(options->dataDir)
                                    : std::nullopt,
                                settings.dataFolder.toStdString(),
                                shell::installedDemoFolder(programDir, DRAVOLIN_INSTALL_DATADIR));
  }
  // The data folder is the working folder: every file name of the data is relative to it.
  std::error_code ec;
  if (!options->replayFile) std::filesystem::current_path(folder, ec);
  if (ec) {
    std::fprintf(stderr, "dravolin: cannot use the data folder %s: %s\n", folder.c_str(),
                 ec.message().c_str());
    return 1;
  }

  // The scale: given, else the one kept; lowered until the windows fit the screen.
  const int wanted = options->scaleGiven ? options->scale : settings.scale.value_or(1);
  if (options->scaleGiven) settings.scale = options->scale;
  int scale = wanted;
  QString notice;
  if (!leftBehind.empty()) {
    notice = QCoreApplication::translate(
                 "dravolin::shell::ProgramShell",
                 "以前の「%1」フォルダのファイル %2 個は、「%3」フォルダに同じ名前のファイルが"
                 "あるため元の場所に残しています")
                 .arg(QString::fromUtf8(shell::kFormerUserFolderName))
                 .arg(leftBehind.size())
                 .arg(QString::fromUtf8(shell::kUserFolderName));
  }
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    scale = shell::fittingScale(wanted, {shell::kTitleWindowNeed, shell::kDrivingWindowNeed},
                                screen->availableGeometry().size());
    if (scale < wanted) {
      if (!notice.isEmpty()) notice += "　";
      notice += QCoreApplication::translate("dravolin::shell::ProgramShell",
                                            "倍率%1は画面に収まらないため、%2で表示しています")
                    .arg(wanted)
                    .arg(scale);
      std::fprintf(stderr, "dravolin: scale %d does not fit the screen; using %d\n", wanted, scale);
    }
  }

  // Without an output the program runs silent and keeps trying to open one (the watch).
  platform::OpenAlSoundSlots sound;
  if (!sound.initialise() && sound.outputState() == platform::SoundSlots::OutputState::Missing) {
    const std::string log = soundEnvironment.logFile.empty()
                                ? std::string()
                                : " (messages in " + soundEnvironment.logFile.string() + ")";
    std::fprintf(stderr, "dravolin: no sound output; running silent%s\n", log.c_str());
  }
  shell::SoundWatch soundWatch(sound, nullptr);
  input::ProgramInputState program;

  shell::DrivingWindow::Context driving;
  driving.dataDir = ".";
  driving.sound = &sound;
  driving.scale = scale;
  driving.makeDrive = shell::makeDriveFactory(program);
  driving.program = &program;
  driving.endProgram = [](int status) { std::exit(status); };
  driving.eachDisplayTick = [&soundWatch] { soundWatch.check(); };
  driving.displayTicksRunning = [&soundWatch](bool on) { soundWatch.followTicks(on); };

  // USB controllers: the generic profiles, then those shipped beside the program, then the
  // user's own (each may replace one before it); calibrations in the user's config folder.
  platform::SdlInputDevices devices;
  if (!devices.lastError().empty())
    std::fprintf(stderr, "dravolin: %s\n", devices.lastError().c_str());
  input::ProfileLibrary profiles;
  const std::filesystem::path programDir = QCoreApplication::applicationDirPath().toStdString();
  const std::filesystem::path& config = userFolders.config;
  for (const std::filesystem::path& folder :
       {programDir / "controllers", programDir / ".." / "share" / "dravolin" / "controllers",
        config / "controllers"}) {
    for (const std::string& e : profiles.addFolder(folder)) {
      std::fprintf(stderr, "dravolin: %s\n", e.c_str());
      driving.profileErrors.push_back(e);
    }
  }
  driving.devices = &devices;
  driving.profiles = &profiles;
  driving.calibrationFolder = config / "calibration";
  devices.pump();  // the devices already plugged in

  if (options->replayFile) {
    shell::ValueDisplayWindow values;
    driving.valueDisplay = &values;
    return shell::playRecording(
        std::filesystem::absolute(*options->replayFile).string(), driving,
        [&soundWatch](shell::DrivingWindow& w) {
          soundWatch.setShow([&w](const QString& text) { w.showStatus(text); });
        });
  }
  if (options->measureSeconds) {
    shell::ValueDisplayWindow values;
    driving.valueDisplay = &values;
    return measure(*options, driving);
  }

  // Every drive from the title screen is recorded in the user's data folder, and goes into the
  // history there when it ends.
  const std::filesystem::path& userData = userFolders.data;
  driving.recordingsFolder = userData / "recordings";
  platform::SqliteDriveHistory history(userData / "history.db", shell::historyMigration());
  driving.onDriveEnded = [&history](shell::DrivingWindow& w) { shell::endOfDrive(w, &history); };
  // The trains' best drives keep their recordings, however old.
  driving.keptRecordings = [&history] {
    std::set<std::string> names;
    for (const std::string& file : history.bestRecordings()) {
      names.insert(std::filesystem::path(file).filename().string());
    }
    return names;
  };

  // The title window first, then the help and value display windows it hands to each drive.
  shell::ProgramShell::Context shellContext;
  shellContext.title.driving = driving;
  // The opening movie's sound plays in slot 0 of the sound service, free until a drive loads.
  shellContext.title.playMovieSound = [&sound](const platform::Wave& wave) {
    sound.assign(0, sound.addWave(wave));
    sound.playOnce(0);
  };
  shellContext.title.stopMovieSound = [&sound] {
    sound.stop(0);
    sound.assign(0, platform::SoundSlots::kNoWave);
  };
  // The history of the line in the open data folder (the working folder).
  shellContext.title.historyOf = [&history](const shell::TrainChoice& choice) {
    return shell::historyLine(history, {shell::historyPlace("."), choice.lineFile},
                              choice.trainFile);
  };
  // An installed line's best score: the best of its trains on its lines.
  shellContext.bestOf = [&history](const library::InstalledLine& line) {
    std::optional<int> best;
    for (const library::ManifestLine& l : line.manifest.lines) {
      for (const library::ManifestTrain& t : l.trains) {
        if (const auto run = history.best({"package:" + line.manifest.id, l.file}, t.file)) {
          best = std::max(best.value_or(run->score), run->score);
        }
      }
    }
    return best ? QCoreApplication::translate("dravolin::shell::ProgramShell", "最高 %1点")
                      .arg(*best)
                : QString();
  };
  shellContext.program = &program;
  shellContext.store = store.get();
  shellContext.notice = notice;
  shellContext.applyLanguage = [&translations](msg::Language l) { translations.install(l); };
  shell::ProgramShell shell(shellContext, settings, std::filesystem::current_path(ec));
  soundWatch.setShow([&shell](const QString& text) { shell.showSoundStatus(text); });
  QObject::connect(&shell, &shell::ProgramShell::quitRequested, &app, &QApplication::quit);
  if (package) shell.installPackage(*package);
  return QApplication::exec();
}
