// A PulseAudio server of the test's own, as a desktop's sound server: its own runtime folder,
// socket and home, two null sinks whose monitors the test records, no module of the system's
// default script and no daemon of the system's. The test starts it, kills it as a crash would
// and starts it again on the same socket.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/numbered_video.h"
#include "fixtures/run_tool.h"

extern char** environ;

namespace dravolin::testing {

namespace fs = std::filesystem;

// Where a program is on the PATH; empty when it is not.
inline std::string onPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string list = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t from = 0; from <= list.size();) {
    const std::size_t to = std::min(list.find(':', from), list.size());
    const fs::path file = fs::path(list.substr(from, to - from)) / name;
    if (::access(file.c_str(), X_OK) == 0) return file.string();
    from = to + 1;
  }
  return {};
}

// A child process with some environment variables of its own and its output in a file. It is
// killed with the test program, however that ends.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { end(SIGKILL); }

  bool start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
             const fs::path& output) {
    // Everything the child needs is made before the fork.
    const std::string program = onPath(args.at(0));
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (!env.contains(entry.substr(0, entry.find('=')))) envStrings.push_back(entry);
    }
    for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (program.empty() || out < 0) return false;
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      ::dup2(out, 1);
      ::dup2(out, 2);
      ::execve(program.c_str(), argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(out);
    return pid_ > 0;
  }
  // Sends `signal` and waits for the end.
  void end(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  bool running() const {
    if (pid_ <= 0) return false;
    int status = 0;
    return ::waitpid(pid_, &status, WNOHANG) == 0;
  }

 private:
  pid_t pid_ = -1;
};

// Signed 16-bit mono samples at kRecordRate, recorded from a sink's monitor.
constexpr int kRecordRate = 22050;

inline double rmsDb(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
  to = std::min(to, s.size());
  if (to <= from) return -200;
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
  const double rms = std::sqrt(sum / static_cast<double>(to - from)) / 32768.0;
  return rms > 0 ? 20.0 * std::log10(rms) : -200;
}

// Seconds from the start of the recording to the first 50 ms with sound above `thresholdDb`;
// a negative value when there is none.
inline double firstSoundSeconds(const std::vector<std::int16_t>& s, double thresholdDb) {
  const std::size_t window = kRecordRate / 20;
  for (std::size_t at = 0; at + window <= s.size(); at += window) {
    if (rmsDb(s, at, at + window) > thresholdDb) {
      return static_cast<double>(at) / kRecordRate;
    }
  }
  return -1;
}

class PrivateSoundServer {
 public:
  static constexpr const char* kFirstSink = "dravolin_first";
  static constexpr const char* kSecondSink = "dravolin_second";

  // Whether the server and its tools are installed (scripts/setup installs them).
  static bool installed() {
    return !onPath("pulseaudio").empty() && !onPath("pactl").empty() && !onPath("parec").empty();
  }

  PrivateSoundServer() {
    fs::create_directories(home());
    fs::create_directories(runtime());
    ::chmod(runtime().c_str(), 0700);
    // No client of this server ever starts a server of its own.
    std::ofstream(clientConfig()) << "autospawn = no\n";
  }

  const fs::path& folder() const { return folder_.path(); }
  fs::path home() const { return folder() / "home"; }
  fs::path runtime() const { return folder() / "run"; }
  fs::path clientConfig() const { return folder() / "client.conf"; }
  fs::path log() const { return folder() / "server.log"; }
  std::string address() const { return "unix:" + (runtime() / "native").string(); }

  // Starts the server and waits until it answers; false with its log when it does not.
  bool start() {
    const std::vector<std::string> args = {
        "pulseaudio",
        "-n",
        "--daemonize=no",
        "--system=false",
        "--exit-idle-time=-1",
        "--use-pid-file=false",
        "--disable-shm=true",
        "--log-target=stderr",
        "-L",
        "module-native-protocol-unix auth-anonymous=1 socket=" + (runtime() / "native").string(),
        "-L",
        std::string("module-null-sink rate=44100 sink_name=") + kFirstSink,
        "-L",
        std::string("module-null-sink rate=44100 sink_name=") + kSecondSink};
    if (!process_.start(args, serverEnvironment(), log())) return false;
    for (int i = 0; i < 200; ++i) {
      if (pactl("info").status == 0) return true;
      if (!process_.running()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // Ends the server at once, as a crash would.
  void kill() { process_.end(SIGKILL); }

  ToolRun pactl(const std::string& args) const {
    return runTool("pactl", "--server=" + quoted(address()) + " " + args);
  }
  std::string serverLog() const { return slurp(log()); }

  // Records a sink's monitor until stop().
  class Recording {
   public:
    Recording(const PrivateSoundServer& server, const std::string& sink, const fs::path& file)
        : file_(file) {
      std::error_code ec;
      fs::remove(file_, ec);
      process_.start({"parec", "--server=" + server.address(), "--device=" + sink + ".monitor",
                      "--format=s16le", "--rate=" + std::to_string(kRecordRate), "--channels=1",
                      "--latency-msec=20", "--raw"},
                     server.clientEnvironment(), file);
    }
    // How many samples have arrived so far.
    std::size_t samples() const {
      std::error_code ec;
      const auto bytes = fs::file_size(file_, ec);
      return ec ? 0 : static_cast<std::size_t>(bytes / 2);
    }
    std::vector<std::int16_t> stop() {
      process_.end(SIGTERM);
      const std::string bytes = slurp(file_);
      std::vector<std::int16_t> samples(bytes.size() / 2);
      if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
      return samples;
    }

   private:
    fs::path file_;
    ChildProcess process_;
  };

  std::map<std::string, std::string> clientEnvironment() const {
    return {{"PULSE_SERVER", address()}, {"PULSE_CLIENTCONFIG", clientConfig().string()}};
  }

 private:
  std::map<std::string, std::string> serverEnvironment() const {
    return {{"HOME", home().string()},
            {"XDG_RUNTIME_DIR", runtime().string()},
            {"PULSE_RUNTIME_PATH", (runtime() / "pulse").string()},
            {"XDG_CONFIG_HOME", (home() / ".config").string()},
            {"PULSE_CLIENTCONFIG", clientConfig().string()},
            {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}};
  }

  TemporaryFolder folder_;
  ChildProcess process_;
};

}  // namespace dravolin::testing
