// Entry point of the sound server tests. Before anything starts a thread or uses OpenAL Soft:
// the private server's address for every client of the program, OpenAL Soft on its PulseAudio
// back end, a home and state folder of the test's own (no configuration of the machine's user
// is read), and the program's own sound environment. Then GoogleTest inside a QApplication on
// the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "platform/openal_environment.h"
#include "private_sound_server.h"

namespace dravolin::testing {
PrivateSoundServer* soundServer = nullptr;
}  // namespace dravolin::testing

int main(int argc, char** argv) {
  using dravolin::testing::PrivateSoundServer;
  std::unique_ptr<PrivateSoundServer> server;
  if (PrivateSoundServer::installed()) {
    server = std::make_unique<PrivateSoundServer>();
    for (const auto& [name, value] : server->clientEnvironment()) {
      ::setenv(name.c_str(), value.c_str(), 1);
    }
    const std::filesystem::path home = server->folder() / "client";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (home / ".local" / "state").c_str(), 1);
    ::setenv("ALSOFT_DRIVERS", "pulse", 1);
    for (const char* name : {"ALSOFT_CONF", "ALSOFT_LOGFILE", "PULSE_PROP", "PULSE_PROP_OVERRIDE",
                             "DRAVOLIN_SOUND_DEVICE"}) {
      ::unsetenv(name);
    }
    dravolin::platform::prepareSoundEnvironment();
    dravolin::testing::soundServer = server.get();
  }
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
