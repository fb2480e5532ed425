#include "drive/script_controller.h"

#include <fstream>
#include <sstream>

#include "input/profile_library.h"

namespace dravolin::drive {

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

std::vector<int> ScriptController::handle(const ScriptEvent& e) {
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
      if (mapper_) return mapper_->axis(e.index, e.value);
      break;
    case ScriptEventKind::Button:
      if (mapper_) return mapper_->button(e.index, e.value != 0);
      break;
    default:
      break;
  }
  return {};
}

std::vector<int> ScriptController::flush() {
  return mapper_ ? mapper_->flush() : std::vector<int>{};
}

}  // namespace dravolin::drive
