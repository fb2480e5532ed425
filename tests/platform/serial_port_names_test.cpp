// Which device a port name stands for, what the setup dialog offers, and the open failure text.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace dravolin::testing {
namespace {

using platform::EnvironmentLookup;

EnvironmentLookup environment(const std::map<std::string, std::string>& vars) {
  return [vars](const char* name) -> const char* {
    const auto it = vars.find(name);
    return it == vars.end() ? nullptr : it->second.c_str();
  };
}

TEST(SerialDevicePath, ComNamesMapToTheSerialPortsUnlessTheEnvironmentNamesADevice) {
  struct Case {
    std::string name;
    std::map<std::string, std::string> env;
    std::string device;
  };
  const std::vector<Case> cases = {
      {"COM1", {}, "/dev/ttyS0"},
      {"COM2", {}, "/dev/ttyS1"},
      {"com2", {}, "/dev/ttyS1"},
      {"Com10", {}, "/dev/ttyS9"},
      {"COM256", {}, "/dev/ttyS255"},
      {"COM1", {{"DRAVOLIN_COM1", "/dev/pts/4"}}, "/dev/pts/4"},
      {"COM1", {{"DRAVOLIN_COM1", ""}}, "/dev/ttyS0"},
      {"COM2", {{"DRAVOLIN_COM1", "/dev/pts/4"}}, "/dev/ttyS1"},
      {"COM2", {{"DRAVOLIN_COM2", "/dev/ttyUSB0"}}, "/dev/ttyUSB0"},
      // Not a COM name: a path is itself, a bare name is under /dev.
      {"COM0", {}, "/dev/COM0"},
      {"COM01", {}, "/dev/COM01"},
      {"COM257", {}, "/dev/COM257"},
      {"COMX", {}, "/dev/COMX"},
      {"COM1 ", {}, "/dev/COM1 "},
      {"/dev/ttyUSB0", {}, "/dev/ttyUSB0"},
      {"ttyACM0", {}, "/dev/ttyACM0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::serialDevicePath(c.name, environment(c.env)), c.device) << c.name;
  }
}

TEST(SerialPortChoices, OfferPresentDevicesUnderTheirComNamesFirst) {
  struct Case {
    const char* what;
    std::vector<std::string> present;
    std::map<std::string, std::string> env;
    std::vector<std::string> existing;  // paths that exist besides the present ports
    std::vector<std::string> choices;
  };
  const std::vector<Case> cases = {
      {"none", {}, {}, {}, {}},
      {"serial ports by number, others by path",
       {"/dev/ttyUSB0", "/dev/ttyS10", "/dev/ttyS1", "/dev/ttyACM0", "/dev/ttyS0"},
       {},
       {},
       {"COM1", "COM2", "COM11", "/dev/ttyACM0", "/dev/ttyUSB0"}},
      {"a pseudo-terminal named by the environment",
       {"/dev/ttyS0"},
       {{"DRAVOLIN_COM1", "/dev/pts/3"}},
       {"/dev/pts/3"},
       {"COM1", "/dev/ttyS0"}},
      {"an environment device that does not exist",
       {"/dev/ttyS0"},
       {{"DRAVOLIN_COM3", "/dev/pts/9"}},
       {},
       {"COM1"}},
      {"a present adapter under a COM name",
       {"/dev/ttyUSB0"},
       {{"DRAVOLIN_COM2", "/dev/ttyUSB0"}},
       {},
       {"COM2"}},
  };
  for (const Case& c : cases) {
    const auto exists = [&](const std::string& path) {
      for (const auto& e : c.existing) {
        if (e == path) return true;
      }
      return false;
    };
    EXPECT_EQ(platform::serialPortChoices(c.present, environment(c.env), exists), c.choices)
        << c.what;
  }
}

TEST(SerialOpenFailureText, CarriesTheSystemErrorNumber) {
  EXPECT_EQ(platform::serialOpenFailureText(2), "Unable to open com port (win error code: 2)");
  EXPECT_EQ(platform::serialOpenFailureText(16), "Unable to open com port (win error code: 16)");
}

}  // namespace
}  // namespace dravolin::testing
