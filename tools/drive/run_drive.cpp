#include "tools/drive/run_drive.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "data/load_error.h"
#include "input/device_mapper.h"
#include "input/profile_library.h"
#include "platform/ffmpeg_video_reader.h"
#include "platform/file_picture_loader.h"
#include "sim/virtual_time.h"
#include "tools/drive/soak.h"

namespace dravolin::tools {
namespace {

bool parsePositive(const std::string& word, int& value) {
  const char* end = word.data() + word.size();
  auto [ptr, ec] = std::from_chars(word.data(), end, value);
  return !word.empty() && ec == std::errc() && ptr == end && value >= 1;
}

std::vector<std::string> splitColumns(std::string_view list) {
  std::vector<std::string> names;
  std::size_t pos = 0;
  while (true) {
    const std::size_t comma = list.find(',', pos);
    names.emplace_back(list.substr(pos, comma == std::string_view::npos ? comma : comma - pos));
    if (comma == std::string_view::npos) return names;
    pos = comma + 1;
  }
}

}  // namespace

void handleScriptEvent(drive::Drive& d, const ScriptEvent& e) {
  switch (e.kind) {
    case ScriptEventKind::Start:
      d.start1Click();
      break;
    case ScriptEventKind::Char:
      d.AsciiDown(e.character);
      break;
    case ScriptEventKind::Key:
      d.keydowns(e.virtualKey, e.shift ? input::kShift : 0u);
      break;
    case ScriptEventKind::WheelDown:
      d.WheelD();
      break;
    case ScriptEventKind::WheelUp:
      d.WheelU();
      break;
    case ScriptEventKind::Serial:
      d.RxChar(e.bytes);
      break;
    case ScriptEventKind::Station:
      d.StationClick("Sta" + std::to_string(e.station));
      break;
    case ScriptEventKind::DeviceAdd:
    case ScriptEventKind::DeviceRemove:
    case ScriptEventKind::Axis:
    case ScriptEventKind::Button:
      break;  // the controller's events: see ScriptController
  }
}

// The script's USB controller: its events become the controller box's commands.
class ScriptController {
 public:
  explicit ScriptController(const ScriptProfiles& profiles) : profiles_(profiles) {}

  void handle(drive::Drive& d, const ScriptEvent& e) {
    switch (e.kind) {
      case ScriptEventKind::DeviceAdd:
        if (auto it = profiles_.find(e.profile); it != profiles_.end()) {
          mapper_.emplace(it->second);
          mapper_->settle({}, {});
        }
        break;
      case ScriptEventKind::DeviceRemove:
        mapper_.reset();
        break;
      case ScriptEventKind::Axis:
        if (mapper_) perform(d, mapper_->axis(e.index, e.value));
        break;
      case ScriptEventKind::Button:
        if (mapper_) perform(d, mapper_->button(e.index, e.value != 0));
        break;
      default:
        break;
    }
  }
  // The end of the device's report of one millisecond.
  void flush(drive::Drive& d) {
    if (mapper_) perform(d, mapper_->flush());
  }

 private:
  static void perform(drive::Drive& d, const std::vector<int>& lines) {
    for (int line : lines) d.ControllerCommand(line);
  }

  const ScriptProfiles& profiles_;
  std::optional<input::DeviceMapper> mapper_;
};

namespace {

void writeSoundEvents(platform::VirtualSoundSlots& sounds, std::ostream* out) {
  if (out != nullptr) {
    for (const platform::VirtualSoundSlots::Event& e : sounds.events()) {
      *out << e.tMs << ',' << e.slot << ',' << e.action << '\n';
    }
  }
  sounds.clearEvents();
}

// A drive with the checking sound service, the real picture loader and the line video, as the
// headless drive loads it. Throws the data::LoadError of a file at fault.
CheckedDrive loadCheckedDrive(const std::filesystem::path& dir, const std::string& train,
                              const std::string& line) {
  struct Services {
    platform::FilePictureLoader pictures;
    CheckedSoundSlots sounds;
    platform::FfmpegVideoReader video;
    input::ProgramInputState program;
  };
  auto services = std::make_shared<Services>();
  services->sounds.initialise();
  CheckedDrive d;
  d.sounds = &services->sounds;
  d.drive = drive::Drive::FormCreate({dir, train, line},
                                     {services->pictures, services->sounds, &services->video},
                                     services->program);
  services->sounds.setLayout(d.drive->data().sounds);
  d.services = std::move(services);
  return d;
}

void printFailure(std::ostream& err, const std::string& where, const SoakFailure& f) {
  err << "dravolin-drive: " << where << "at " << f.timeMs << " ms: " << f.message << '\n';
}

// The soak: each train on its line for untilMs of random driving, stopping at the first broken
// invariant, whose reduced script goes to `out`.
int runSoak(const DriveToolOptions& options, std::ostream& out, std::ostream& err,
            AllocationCount allocations) {
  std::vector<std::pair<std::string, std::string>> drives = kDemoDrives;
  if (!options.trainFile.empty()) drives = {{options.trainFile, options.lineFile}};
  for (std::size_t i = 0; i < drives.size(); ++i) {
    const auto& [train, line] = drives[i];
    auto load = [&options, &train, &line] { return loadCheckedDrive(options.dir, train, line); };
    CheckedDrive d;
    try {
      d = load();
    } catch (const data::LoadError& e) {
      err << e.what() << '\n';
      return kExitLoadError;
    }
    // Each train has a script of its own, drawn from the seed and the train's place in the list.
    const std::uint64_t seed =
        SoakRandom(*options.randomSeed ^ (0x9E3779B97F4A7C15ULL * (i + 1))).next();
    const std::vector<ScriptEvent> events =
        randomScript(seed, options.untilMs, randomContext(*d.drive));
    SoakStats stats;
    const auto failure =
        runChecked(*d.drive, *d.sounds, events, options.untilMs, allocations, &stats);
    const std::string name = train + " " + line;
    if (!failure) {
      out << name << ": seed " << *options.randomSeed << ", " << options.untilMs << " ms, "
          << events.size() << " events, " << stats.displayTicks << " display ticks, up to "
          << sim::formatFixed(sim::Fixed::round(stats.fastestKmh), 1) << " km/h, frame "
          << stats.lastFrame << ", doors opened " << stats.stationStops << " times, no fault\n";
      out.flush();
      continue;
    }
    printFailure(err, name + " seed " + std::to_string(*options.randomSeed) + ": ", *failure);
    d = {};
    ReducedFailure r;
    try {
      r = reduceFailure(load, events, *failure, allocations, 400, 300.0);
    } catch (const data::LoadError& e) {
      err << e.what() << '\n';
      return kExitLoadError;
    }
    out << "# dravolin-drive --dir " << options.dir.string() << ' ' << name << " --check --until "
        << r.failure.timeMs << " --script SCRIPT\n"
        << "# at " << r.failure.timeMs << " ms: " << r.failure.message << '\n';
    for (const ScriptEvent& e : r.events) out << formatScriptEvent(e) << '\n';
    out.flush();
    return kExitCheckFailed;
  }
  return 0;
}

}  // namespace

std::optional<DriveToolOptions> parseDriveArguments(const std::vector<std::string>& args,
                                                    std::string& error) {
  DriveToolOptions o;
  std::vector<std::string> files;
  bool until = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--check") {
      o.check = true;
    } else if (a.size() > 1 && a.starts_with("-")) {
      if (a != "--dir" && a != "--until" && a != "--script" && a != "--columns" && a != "--every" &&
          a != "--sounds" && a != "--random") {
        error = "unknown option '" + a + "'";
        return std::nullopt;
      }
      if (i + 1 == args.size()) {
        error = "the option " + a + " needs a value";
        return std::nullopt;
      }
      const std::string& v = args[++i];
      if (a == "--dir") {
        o.dir = v;
      } else if (a == "--until") {
        if (!parsePositive(v, o.untilMs)) {
          error = "--until needs a whole number of milliseconds of at least 1, not '" + v + "'";
          return std::nullopt;
        }
        until = true;
      } else if (a == "--script") {
        o.script = v;
      } else if (a == "--random") {
        std::uint64_t seed = 0;
        const char* end = v.data() + v.size();
        auto [ptr, ec] = std::from_chars(v.data(), end, seed);
        if (v.empty() || ec != std::errc() || ptr != end) {
          error = "--random needs a seed, a whole number from 0 to 18446744073709551615, not '" +
                  v + "'";
          return std::nullopt;
        }
        o.randomSeed = seed;
      } else if (a == "--columns") {
        o.columns = v;
      } else if (a == "--every") {
        if (!parsePositive(v, o.everyMs)) {
          error = "--every needs a whole number of milliseconds of at least 1, not '" + v + "'";
          return std::nullopt;
        }
      } else {
        o.sounds = v;
      }
    } else {
      files.push_back(a);
    }
  }
  if (o.help) return o;
  if (o.randomSeed) {
    if (o.script || o.sounds || o.check || o.columns != kDefaultColumns || o.everyMs != 100) {
      error = "--random makes its own events and checks them; it takes only --dir and --until";
      return std::nullopt;
    }
    if (files.size() == 1 || files.size() > 2) {
      error = files.size() == 1 ? "a train file needs its line file"
                                : "unexpected argument '" + files[2] + "'";
      return std::nullopt;
    }
  } else if (files.size() != 2) {
    error = files.size() < 2 ? "a train file and a line file are needed"
                             : "unexpected argument '" + files[2] + "'";
    return std::nullopt;
  }
  if (!until) {
    error = "--until MS is needed";
    return std::nullopt;
  }
  if (files.size() == 2) {
    o.trainFile = files[0];
    o.lineFile = files[1];
  }
  for (const std::string& name : splitColumns(o.columns)) {
    if (!column(name)) {
      error = name.empty() ? "an empty column name in --columns" : "unknown column '" + name + "'";
      return std::nullopt;
    }
  }
  return o;
}

std::string checkStationEvents(const drive::Drive& drive, const std::vector<ScriptEvent>& events) {
  const std::vector<drive::StationMenuEntry>& menu = drive.data().stationMenu;
  for (const ScriptEvent& e : events) {
    if (e.kind != ScriptEventKind::Station) continue;
    const std::string name = "Sta" + std::to_string(e.station);
    bool found = false;
    for (const drive::StationMenuEntry& entry : menu) found = found || entry.name == name;
    if (!found) {
      return "line " + std::to_string(e.line) + ": the \"Move\" menu has no entry " + name;
    }
  }
  return {};
}

std::string loadScriptProfiles(const std::vector<ScriptEvent>& events,
                               const std::filesystem::path& folder, ScriptProfiles& profiles) {
  const input::ProfileLibrary library;
  bool attached = false;
  for (const ScriptEvent& e : events) {
    const std::string where = "line " + std::to_string(e.line) + ": ";
    if (e.kind == ScriptEventKind::DeviceAdd) {
      attached = true;
      if (profiles.count(e.profile) != 0) continue;
      if (const input::ControllerProfile* p = library.find(e.profile)) {
        profiles.emplace(e.profile, *p);
        continue;
      }
      if (!e.profile.ends_with(".profile")) {
        return where + "no built-in profile '" + e.profile +
               "' (one-handle, two-handle, buttons, gamepad) and not a .profile file";
      }
      const std::filesystem::path file = folder / e.profile;
      std::ifstream in(file, std::ios::binary);
      std::ostringstream text;
      text << in.rdbuf();
      if (!in) return where + "cannot read the profile " + file.string();
      try {
        profiles.emplace(e.profile, input::parseControllerProfile(text.str(), file.string(),
                                                                  file.stem().string()));
      } catch (const input::ProfileError& error) {
        return where + error.what();
      }
    } else if (e.kind == ScriptEventKind::DeviceRemove) {
      attached = false;
    } else if ((e.kind == ScriptEventKind::Axis || e.kind == ScriptEventKind::Button) &&
               !attached) {
      return where + "no device is plugged in ('device add PROFILE' first)";
    }
  }
  return {};
}

void runDrive(drive::Drive& drive, platform::VirtualSoundSlots& sounds,
              const std::vector<ScriptEvent>& events, const std::vector<std::string>& columnNames,
              int untilMs, int everyMs, const DriveOutputs& out, const ScriptProfiles& profiles) {
  std::vector<ColumnFormatter> formatters;
  for (std::size_t i = 0; i < columnNames.size(); ++i) {
    out.trace << (i == 0 ? "" : ",") << columnNames[i];
    if (auto f = column(columnNames[i])) formatters.push_back(std::move(*f));
  }
  out.trace << '\n';

  sounds.clearEvents();
  sounds.setEventLog(out.sounds != nullptr);
  std::size_t next = 0;
  // The idle handler's pass, on a cab view that has every frame: a due frame is drawn while
  // running, at most one every 33 ms.
  constexpr int kMinFrameIntervalMs = 33;
  long long lastDrawMs = 0;
  const auto idlePass = [&](int t) {
    drive::ShownFrame& shown = drive.shownFrame();
    const int frame = drive.state().FrameIndex;
    if (drive.running() && shown.due(frame) && t - lastDrawMs >= kMinFrameIntervalMs) {
      shown.presented(frame);
      lastDrawMs = t;
    }
  };
  ScriptController controller(profiles);
  sim::runVirtualTime(
      untilMs, drive.running(),
      [&](int t) {
        sounds.setTimeMs(t);
        bool any = false;
        for (; next < events.size() && events[next].timeMs == t; ++next) {
          handleScriptEvent(drive, events[next]);
          controller.handle(drive, events[next]);
          any = true;
        }
        if (any) controller.flush(drive);
      },
      [&](int) { drive.MMTimer1Timer(); }, [&](int) { drive.Timer1Timer(); },
      [&](int t) {
        idlePass(t);
        if (t % everyMs == 0) {
          const DriveView view{t,
                               &drive.state(),
                               &drive.cab(),
                               &drive.protection(),
                               &drive.valueDisplay(),
                               &drive.shownFrame()};
          for (std::size_t i = 0; i < formatters.size(); ++i) {
            out.trace << (i == 0 ? "" : ",") << formatters[i](view);
          }
          out.trace << '\n';
        }
        writeSoundEvents(sounds, out.sounds);
      });
}

int runDriveTool(const DriveToolOptions& options, std::ostream& out, std::ostream& err,
                 AllocationCount allocations) {
  if (options.randomSeed) return runSoak(options, out, err, allocations);
  auto usage = [&err](const std::string& message) {
    err << "dravolin-drive: " << message << '\n' << kDriveUsage << '\n';
    return kExitUsageError;
  };

  std::vector<ScriptEvent> events;
  ScriptProfiles profiles;
  if (options.script) {
    std::ifstream in(*options.script, std::ios::binary);
    if (!in) return usage("cannot read the script " + options.script->string());
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    auto parsed = parseScript(text.str(), error);
    if (!parsed) return usage(options.script->string() + ": " + error);
    events = std::move(*parsed);
    if (const std::string bad = loadScriptProfiles(events, options.script->parent_path(), profiles);
        !bad.empty()) {
      return usage(options.script->string() + ": " + bad);
    }
  }

  if (options.check) {
    CheckedDrive d;
    try {
      d = loadCheckedDrive(options.dir, options.trainFile, options.lineFile);
    } catch (const data::LoadError& e) {
      err << e.what() << '\n';
      return kExitLoadError;
    }
    if (const std::string bad = checkStationEvents(*d.drive, events); !bad.empty()) {
      return usage((options.script ? options.script->string() + ": " : std::string()) + bad);
    }
    SoakStats stats;
    if (const auto failure =
            runChecked(*d.drive, *d.sounds, events, options.untilMs, allocations, &stats)) {
      printFailure(err, "", *failure);
      return kExitCheckFailed;
    }
    out << "no fault in " << stats.displayTicks << " display ticks\n";
    out.flush();
    return out ? 0 : kExitLoadError;
  }

  platform::FilePictureLoader pictures;
  platform::VirtualSoundSlots sounds;
  sounds.initialise();
  platform::FfmpegVideoReader video;
  input::ProgramInputState program;
  std::unique_ptr<drive::Drive> drive;
  try {
    drive = drive::Drive::FormCreate({options.dir, options.trainFile, options.lineFile},
                                     {pictures, sounds, &video}, program);
  } catch (const data::LoadError& e) {
    err << e.what() << '\n';
    return kExitLoadError;
  }
  if (const std::string bad = checkStationEvents(*drive, events); !bad.empty()) {
    return usage((options.script ? options.script->string() + ": " : std::string()) + bad);
  }

  std::ofstream soundLog;
  if (options.sounds) {
    soundLog.open(*options.sounds, std::ios::binary);
    if (!soundLog) return usage("cannot write the sound log " + options.sounds->string());
  }
  runDrive(*drive, sounds, events, splitColumns(options.columns), options.untilMs, options.everyMs,
           {out, options.sounds ? &soundLog : nullptr}, profiles);
  out.flush();
  return out && (!options.sounds || soundLog) ? 0 : kExitLoadError;
}

}  // namespace dravolin::tools
