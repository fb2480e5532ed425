#include "tools/drive/run_drive.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "data/load_error.h"
#include "drive/recording.h"
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
  d.program = &services->program;
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
        o.dirGiven = true;
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
  // A recording names its train and line and ends with its "end" event: with one as the
  // script, both may be left out.
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
  } else if (files.size() != 2 && !(files.empty() && o.script)) {
    error = files.size() < 2 ? "a train file and a line file are needed"
                             : "unexpected argument '" + files[2] + "'";
    return std::nullopt;
  }
  if (!until && !o.script) {
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
  // The idle handler's pass, on a cab view that has every frame ready: a due picture (another
  // frame, or another share of the next frame blended over it, as the window's default blends)
  // is drawn while running, at most one every 33 ms.
  constexpr int kMinFrameIntervalMs = 33;
  long long lastDrawMs = 0;
  const auto idlePass = [&](int t) {
    drive::ShownFrame& shown = drive.shownFrame();
    const drive::FramePosition position = shown.position(drive.state(), true);
    if (drive.running() && shown.due(position) && t - lastDrawMs >= kMinFrameIntervalMs) {
      shown.presented(position.frame, position.blend);
      lastDrawMs = t;
    }
  };
  drive::ScriptController controller(profiles);
  sim::runVirtualTime(
      untilMs, drive.running(),
      [&](int t) {
        sounds.setTimeMs(t);
        bool any = false;
        for (; next < events.size() && events[next].timeMs == t; ++next) {
          drive::applyScriptEvent(drive, events[next]);
          for (int line : controller.handle(events[next])) drive.ControllerCommand(line);
          any = true;
        }
        if (any) {
          for (int line : controller.flush()) drive.ControllerCommand(line);
        }
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
                               &drive.shownFrame(),
                               &drive.evaluation()};
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
  std::filesystem::path dir = options.dir;
  std::string trainFile = options.trainFile;
  std::string lineFile = options.lineFile;
  int untilMs = options.untilMs;
  // A recording's drive starts with the settings it was recorded with.
  drive::RecordedSettings settings;
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
    // A recording: its drive, checked against the files as they are now.
    const std::optional<drive::RecordingHeader> header =
        drive::parseRecordingHeader(text.str(), error);
    if (!header && !error.empty()) return usage(options.script->string() + ": " + error);
    if (header) {
      if (!options.dirGiven) dir = header->dataFolder;
      if (trainFile.empty()) {
        trainFile = header->trainFile;
        lineFile = header->lineFile;
      }
      settings = header->settings;
      if (const std::string changed = drive::checkRecordedFiles(*header, dir); !changed.empty()) {
        err << "dravolin-drive: " << options.script->string() << ": " << changed
            << "; the recording cannot be replayed\n";
        return kExitLoadError;
      }
    }
    if (untilMs == 0) untilMs = drive::scriptEndMs(events).value_or(0);
    if (trainFile.empty()) return usage("a train file and a line file are needed");
    if (untilMs == 0) return usage("--until MS is needed: the script has no end event");
  }

  if (options.check) {
    CheckedDrive d;
    try {
      d = loadCheckedDrive(dir, trainFile, lineFile);
    } catch (const data::LoadError& e) {
      err << e.what() << '\n';
      return kExitLoadError;
    }
    drive::applySettings(settings, *d.program, d.drive->valueDisplay());
    if (const std::string bad = checkStationEvents(*d.drive, events); !bad.empty()) {
      return usage((options.script ? options.script->string() + ": " : std::string()) + bad);
    }
    SoakStats stats;
    if (const auto failure =
            runChecked(*d.drive, *d.sounds, events, untilMs, allocations, &stats)) {
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
    drive =
        drive::Drive::FormCreate({dir, trainFile, lineFile}, {pictures, sounds, &video}, program);
  } catch (const data::LoadError& e) {
    err << e.what() << '\n';
    return kExitLoadError;
  }
  drive::applySettings(settings, program, drive->valueDisplay());
  if (const std::string bad = checkStationEvents(*drive, events); !bad.empty()) {
    return usage((options.script ? options.script->string() + ": " : std::string()) + bad);
  }

  std::ofstream soundLog;
  if (options.sounds) {
    soundLog.open(*options.sounds, std::ios::binary);
    if (!soundLog) return usage("cannot write the sound log " + options.sounds->string());
  }
  runDrive(*drive, sounds, events, splitColumns(options.columns), untilMs, options.everyMs,
           {out, options.sounds ? &soundLog : nullptr}, profiles);
  out.flush();
  return out && (!options.sounds || soundLog) ? 0 : kExitLoadError;
}

}  // namespace dravolin::tools
