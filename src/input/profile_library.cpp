#include "input/profile_library.h"

#include "platform/message_ids.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <system_error>

namespace dravolin::input {

namespace {

// Profile and calibration files are small; anything larger is refused unread.
constexpr std::uintmax_t kMaxFileBytes = 1 << 20;

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The whole file, or false with the message in `error`.
bool readSmallFile(const std::filesystem::path& path, std::string& text, std::string& error) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    error = path.string() + ": cannot be read";
    return false;
  }
  if (size > kMaxFileBytes) {
    error = path.string() + ": the file is larger than 1 MiB";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  if (!in) {
    error = path.string() + ": cannot be read";
    return false;
  }
  text = s.str();
  return true;
}

}  // namespace

ProfileLibrary::ProfileLibrary() {
  for (const ProfileText& t : genericProfileTexts()) {
    add(parseControllerProfile(t.text, std::string(t.id) + ".profile", t.id));
  }
}

void ProfileLibrary::add(ControllerProfile profile) {
  for (ControllerProfile& p : profiles_) {
    if (p.id == profile.id) {
      p = std::move(profile);
      return;
    }
  }
  profiles_.push_back(std::move(profile));
}

std::vector<std::string> ProfileLibrary::addFolder(const std::filesystem::path& folder) {
  std::vector<std::string> errors;
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().extension() == ".profile") files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  for (const std::filesystem::path& f : files) {
    std::string text, error;
    if (!readSmallFile(f, text, error)) {
      errors.push_back(error);
      continue;
    }
    try {
      add(parseControllerProfile(text, f.string(), f.stem().string()));
    } catch (const ProfileError& e) {
      errors.emplace_back(e.what());
    }
  }
  return errors;
}

const ControllerProfile* ProfileLibrary::find(std::string_view id) const {
  for (const ControllerProfile& p : profiles_) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

const ControllerProfile& ProfileLibrary::generic(DeviceKind kind) const {
  const ControllerProfile* p = find(deviceKindName(kind));
  // The built-in generic profiles are always there (a folder may replace, never remove them).
  return p != nullptr ? *p : profiles_.front();
}

const ControllerProfile& ProfileLibrary::choose(const DeviceIdentity& device, bool* generic) const {
  if (generic != nullptr) *generic = false;
  const std::string guid = lowerAscii(device.guid);
  for (const ControllerProfile& p : profiles_) {
    if (std::find(p.guids.begin(), p.guids.end(), guid) != p.guids.end()) return p;
  }
  const std::string name = lowerAscii(device.name);
  for (const ControllerProfile& p : profiles_) {
    for (const std::string& part : p.names) {
      if (!part.empty() && name.find(lowerAscii(part)) != std::string::npos) return p;
    }
  }
  if (generic != nullptr) *generic = true;
  if (device.gamepad) return this->generic(DeviceKind::Gamepad);
  return this->generic(device.axes > 0 ? DeviceKind::OneHandle : DeviceKind::Buttons);
}

ControllerProfile profileForDevice(const ProfileLibrary& library, const DeviceIdentity& device,
                                   const std::filesystem::path& calibrationFolder,
                                   std::vector<std::string>& notes) {
  bool generic = false;
  ControllerProfile profile = library.choose(device, &generic);
  const std::filesystem::path file = calibrationFolder / calibrationFileName(device.guid);
  std::error_code ec;
  if (!device.guid.empty() && std::filesystem::exists(file, ec)) {
    std::string text, error;
    try {
      if (!readSmallFile(file, text, error)) throw ProfileError(error);
      const Calibration c = parseCalibration(text, file.string());
      ControllerProfile calibrated = profile;
      if (const ControllerProfile* chosen = library.find(c.profileId)) calibrated = *chosen;
      applyCalibration(calibrated, c, file.string());
      return calibrated;
    } catch (const ProfileError& e) {
      notes.emplace_back(e.what());
    }
  }
  if (generic) {
    notes.push_back(msg::genericProfileUsed(device.name, profile.name).text());
  }
  return profile;
}

std::string saveCalibration(const Calibration& calibration, const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::filesystem::path file = folder / calibrationFileName(calibration.guid);
  // Written beside and renamed over, so a failed write never leaves half a file.
  const std::filesystem::path part = file.string() + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << formatCalibration(calibration);
    out.flush();
    if (!out) {
      std::filesystem::remove(part, ec);
      return file.string() + ": cannot be written";
    }
  }
  std::filesystem::rename(part, file, ec);
  if (ec) {
    std::filesystem::remove(part, ec);
    return file.string() + ": cannot be written";
  }
  return {};
}

}  // namespace dravolin::input
