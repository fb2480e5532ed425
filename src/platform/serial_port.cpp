// Port-name rules: which device a Windows-style port name ("COM1") stands for on this machine,
// and which names the setup dialog offers.
#include "platform/serial_port.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>

namespace dravolin::platform {

namespace {

// COM port numbers as Windows counts them.
constexpr int kMaxComNumber = 256;

// n for "COMn" in any letter case with 1 <= n <= 256 and no leading zero; nullopt otherwise.
std::optional<int> comNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) {
    return std::nullopt;
  }
  for (int i = 0; i < 3; ++i) {
    const char c = static_cast<char>(name[static_cast<std::size_t>(i)] & ~0x20);
    if (c != "COM"[i]) {
      return std::nullopt;
    }
  }
  if (name[3] == '0') {
    return std::nullopt;
  }
  int n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') {
      return std::nullopt;
    }
    n = n * 10 + (name[i] - '0');
  }
  if (n > kMaxComNumber) {
    return std::nullopt;
  }
  return n;
}

const char* overrideFor(int comNumber, const EnvironmentLookup& env) {
  const std::string variable = "DRAVOLIN_COM" + std::to_string(comNumber);
  const char* value = env(variable.c_str());
  return (value != nullptr && value[0] != '\0') ? value : nullptr;
}

}  // namespace

std::string serialDevicePath(const std::string& portName, const EnvironmentLookup& env) {
  if (const auto n = comNumber(portName)) {
    if (const char* device = overrideFor(*n, env)) {
      return device;
    }
    return "/dev/ttyS" + std::to_string(*n - 1);
  }
  if (!portName.empty() && portName[0] == '/') {
    return portName;
  }
  return "/dev/" + portName;
}

std::string serialDevicePath(const std::string& portName) {
  return serialDevicePath(portName, [](const char* name) { return std::getenv(name); });
}

std::vector<std::string> serialPortChoices(const std::vector<std::string>& presentDevices,
                                           const EnvironmentLookup& env,
                                           const std::function<bool(const std::string&)>& exists) {
  std::vector<std::string> choices;
  std::set<std::string> covered;  // devices offered under a COM name
  const std::set<std::string> present(presentDevices.begin(), presentDevices.end());
  for (int n = 1; n <= kMaxComNumber; ++n) {
    const std::string name = "COM" + std::to_string(n);
    const std::string device = serialDevicePath(name, env);
    const bool overridden = overrideFor(n, env) != nullptr;
    if (present.count(device) != 0 || (overridden && exists(device))) {
      choices.push_back(name);
      covered.insert(device);
    }
  }
  std::vector<std::string> others;
  for (const std::string& device : present) {
    if (covered.count(device) != 0) {
      continue;
    }
    others.push_back(device);
  }
  std::sort(others.begin(), others.end());
  choices.insert(choices.end(), others.begin(), others.end());
  return choices;
}

}  // namespace dravolin::platform
