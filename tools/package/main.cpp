// dravolin-package create FOLDER FILE [--id ID] [--version V] [--author A] [--licence L]
//                         [--name NAME] [--description TEXT]
// dravolin-package install FILE [--force]
// dravolin-package list
// dravolin-package remove ID
// dravolin-package verify FILE|ID
//
// Makes a line package of a data folder, installs one into the library of lines
// ($XDG_DATA_HOME/dravolin/lines), lists the lines installed, removes one, and checks a package
// or an installed line against its manifest. Messages go to standard error in the language of
// --lang; on a terminal, long work shows its percentage there. Exit status: 0 done, 1 refused or
// failed, 2 a wrong command line. Ctrl+C stops an install or a packing and leaves nothing.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "library/line_library.h"
#include "library/package_reader.h"
#include "library/package_writer.h"
#include "platform/language.h"
#include "platform/message_ids.h"

namespace {

namespace fs = std::filesystem;
using namespace dravolin;

const char kUsage[] =
    "usage: dravolin-package create FOLDER FILE [--id ID] [--version V] [--author A]\n"
    "                               [--licence L] [--name NAME] [--description TEXT]\n"
    "       dravolin-package install FILE [--force]\n"
    "       dravolin-package list\n"
    "       dravolin-package remove ID\n"
    "       dravolin-package verify FILE|ID\n"
    "\n"
    "  create    packages a data folder (the demo, a line from dravolin-author) into FILE\n"
    "            (NAME.dravolin): every file with its SHA-256 in manifest.json\n"
    "  install   checks the package and installs it into the library of lines\n"
    "            ($XDG_DATA_HOME/dravolin/lines, by default ~/.local/share/dravolin/lines);\n"
    "            an older version of a line installed is replaced only with --force\n"
    "  list      the installed lines: id, version, name, length, stations, trains\n"
    "  remove    removes an installed line\n"
    "  verify    checks a package file, or an installed line's files, against its manifest\n"
    "\n"
    "  --id ID        the line's stable id (default: from the folder's name)\n"
    "  --version V    numbers separated by \".\" (default: 1)\n"
    "  --author A, --licence L, --name NAME, --description TEXT   the manifest's fields\n"
    "  --force        install an older version over a newer one\n";

std::atomic<bool> gCancel{false};

extern "C" void onSignal(int) { gCancel = true; }

// Percentages on standard error when it is a terminal.
library::Progress terminalProgress() {
  library::Progress p;
  p.cancel = &gCancel;
  if (::isatty(2)) {
    auto last = std::make_shared<int>(-1);
    p.report = [last](const msg::Message& stage, std::uint64_t done, std::uint64_t total) {
      const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
      if (percent == *last) return;
      *last = percent;
      std::fprintf(stderr, "\r%s %3d%%%s", stage.text().c_str(), percent,
                   percent >= 100 ? "\n" : "");
      std::fflush(stderr);
    };
  }
  return p;
}

void say(const msg::Message& m) { std::cout << m.text() << '\n'; }
int fail(const library::PackageError& e) {
  std::cerr << "dravolin-package: " << e.text() << '\n';
  return 1;
}

std::string formatLength(double metres) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", metres / 1000.0);
  return text;
}

int create(const std::vector<std::string>& args,
           const std::map<std::string, std::string>& options) {
  if (args.size() != 2) {
    std::cerr << kUsage;
    return 2;
  }
  library::PackageOptions o;
  const auto get = [&](const char* key, std::string& into) {
    if (const auto it = options.find(key); it != options.end()) into = it->second;
  };
  get("--id", o.id);
  get("--version", o.version);
  get("--author", o.author);
  get("--licence", o.licence);
  get("--name", o.name);
  get("--description", o.description);
  const library::Manifest m = library::createPackage(args[0], args[1], o, terminalProgress());
  say(msg::createWritten(args[1], static_cast<long long>(m.files.size()),
                         static_cast<long long>((m.totalBytes() + (1 << 19)) >> 20)));
  return 0;
}

int install(library::LineLibrary& library, const std::string& file, bool force) {
  const library::InstallOutcome outcome = library.install(
      file, [force](const library::Manifest&, const library::Manifest&) { return force; },
      terminalProgress());
  if (outcome.result == library::InstallResult::Declined) {
    std::cerr << "dravolin-package: " << outcome.message().text() << '\n';
    return 1;
  }
  say(outcome.message());
  return 0;
}

int list(const library::LineLibrary& library) {
  const std::vector<library::InstalledLine> lines = library.lines();
  if (lines.empty()) {
    std::cerr << msg::libraryEmpty().text() << '\n';
    return 0;
  }
  // One line each: id, version, length in km, stations, trains, name (last: it may have blanks).
  for (const library::InstalledLine& l : lines) {
    const library::Manifest& m = l.manifest;
    double length = 0;
    std::size_t stations = 0;
    std::string trains;
    for (const library::ManifestLine& line : m.lines) {
      length = std::max(length, line.lengthM);
      stations = std::max(stations, line.stations.size());
      for (const library::ManifestTrain& t : line.trains)
        trains += (trains.empty() ? "" : ",") + t.name;
    }
    std::cout << m.id << ' ' << m.version << ' ' << formatLength(length) << "km " << stations << ' '
              << (trains.empty() ? "-" : trains) << ' ' << m.name << '\n';
  }
  return 0;
}

int report(const std::string& what, const library::VerifyReport& r) {
  for (const std::string& f : r.changed) std::cout << msg::verifyChanged(f).text() << '\n';
  for (const std::string& f : r.missing) std::cout << msg::verifyMissing(f).text() << '\n';
  for (const std::string& f : r.extra) std::cout << msg::verifyExtra(f).text() << '\n';
  if (!r.ok()) {
    std::cerr << "dravolin-package: "
              << msg::verifyFailed(what,
                                   static_cast<long long>(r.changed.size() + r.missing.size()))
                     .text()
              << '\n';
    return 1;
  }
  say(msg::verifyOk(what, static_cast<long long>(r.files)));
  return 0;
}

int verify(const library::LineLibrary& library, const std::string& target) {
  std::error_code ec;
  if (fs::is_regular_file(target, ec)) {
    library::PackageReader reader{fs::path(target)};
    reader.unpack({}, terminalProgress());
    say(msg::verifyOk(reader.name(), static_cast<long long>(reader.manifest().files.size())));
    return 0;
  }
  const std::optional<library::InstalledLine> line = library.find(target);
  if (!line) throw library::PackageError(msg::lineNotInstalled(target));
  return report(line->manifest.name, library.verify(target, terminalProgress()));
}

}  // namespace

int main(int argc, char** argv) {
  std::string languageError;
  if (!msg::takeLanguageOption(argc, argv, languageError)) {
    std::cerr << "dravolin-package: " << languageError << '\n'
              << kUsage << msg::kLanguageOptionUsage;
    return 2;
  }
  std::vector<std::string> args;
  std::map<std::string, std::string> options;
  bool force = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << msg::kLanguageOptionUsage;
      return 0;
    }
    if (arg == "--force") {
      force = true;
      continue;
    }
    bool known = false;
    for (const char* key :
         {"--id", "--version", "--author", "--licence", "--name", "--description"}) {
      const std::string k = key;
      if (arg == k && i + 1 < argc) {
        options[k] = argv[++i];
        known = true;
      } else if (arg.rfind(k + "=", 0) == 0) {
        options[k] = arg.substr(k.size() + 1);
        known = true;
      }
    }
    if (known) continue;
    if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
      std::cerr << "dravolin-package: unknown option " << arg << '\n' << kUsage;
      return 2;
    }
    if (arg != "--") args.push_back(arg);
  }
  if (args.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  const bool createOptions = !options.empty();
  if ((command != "create" && createOptions) || (command != "install" && force)) {
    std::cerr << "dravolin-package: option not used by " << command << '\n' << kUsage;
    return 2;
  }

  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);

  library::LineLibrary library(library::defaultLibraryRoot());
  try {
    if (command == "create") return create(args, options);
    if (command == "install" && args.size() == 1) return install(library, args[0], force);
    if (command == "list" && args.empty()) return list(library);
    if (command == "remove" && args.size() == 1) {
      const std::optional<library::InstalledLine> line = library.find(args[0]);
      library.remove(args[0]);
      say(msg::lineRemoved(line ? line->manifest.name : args[0], args[0]));
      return 0;
    }
    if (command == "verify" && args.size() == 1) return verify(library, args[0]);
  } catch (const library::PackageError& e) {
    return fail(e);
  }
  std::cerr << kUsage;
  return 2;
}
