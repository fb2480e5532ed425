// Start-up loading of one drive: reads the four data files of the chosen train and line, builds
// the cab panel, opens the line video, loads every sound into its slot and sets the train state
// to its starting values. What it builds is a fresh DriveData; nothing of an earlier drive is
// taken over. The handle display and the timers are started by the drive and the shell after it.
//
// Any fault ends the loading with a data::LoadError carrying the message the user is shown.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "drive/drive_data.h"
#include "platform/picture_loader.h"
#include "platform/sound_slots.h"
#include "platform/video_reader.h"

namespace dravolin::drive {

// The drive the title screen chose.
struct LoadRequest {
  std::filesystem::path dataDir = ".";  // the folder the data files name their files from
  std::string trainFile;                // raw code page 932 name, e.g. "E231_train.dat"
  std::string lineFile;                 // raw code page 932 name, e.g. "E231_line2.dat"
};

// The services the loading uses; they live as long as the drive.
struct StartupServices {
  platform::PictureLoader& pictures;
  platform::SoundSlots& sounds;
  platform::VideoReader* video = nullptr;  // none: the drive has no line video
};

// Receives the progress texts (UTF-8), each to be shown at once.
using StartupProgress = std::function<void(const std::string& textUtf8)>;

// Progress texts, in the order they are shown (in the program's language): msg::
// progressReadingFiles(), progressBuildingPanel(), progressCreatingSound(),
// progressLoadingSounds(), progressSettingUp(). The loading's own faults: msg::fileNotFound()
// for a picture, msg::tooManySoundSlots(), msg::soundsOverlapMotorSlots().

// The overlay picture every drive needs (checked, never drawn).
inline constexpr std::string_view kAtsOverlayPicture = "image\\atsp.bmp";
// Sound output format asked of the sound service.
inline constexpr int kOutputRateHz = 22050;
inline constexpr int kOutputBits = 8;

// Loads the drive `request` names. Throws data::LoadError on the first fault.
DriveData loadDriveData(const LoadRequest& request, const StartupServices& services,
                        const StartupProgress& progress = {});

// The "Move" menu entries of a line's stations: types 0 and 2, never the last station, in
// station order.
std::vector<StationMenuEntry> stationMenuEntries(const std::vector<sim::StationRecord>& stations);

// Checks that every slot of the layout lies within 0 to 255 and that the sounds below the motor
// sounds do not run into slot 200 while the train has motor sounds; throws data::LoadError.
void checkSoundLayout(const SoundLayout& layout);

}  // namespace dravolin::drive
