// Writing a made line as a data folder that the title screen opens: the trains and everything
// the title screen needs come from a folder of trains (the installed demo, or one the user
// names), the line file is written under both line file names the title buttons open (so each
// train drives the new line), then the line's own pictures, sound, still picture and video.
//
// The folder is written beside the target under a temporary name, loaded once as the program
// would load it (every title button's train on the line), and only then put in place, so a
// failure never leaves a half-written folder. A target that exists must be empty or a folder
// this writer made before (it holds kAuthorNote); anything else is refused rather than
// overwritten.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "author/line_draft.h"
#include "platform/footage.h"

namespace dravolin::author {

// The title buttons' train and line files.
struct TitleDrive {
  const char* train;
  const char* line;
};
inline constexpr TitleDrive kTitleDrives[] = {{"E231_train.dat", "E231_line2.dat"},
                                              {"205_train.dat", "205_line.dat"}};
inline constexpr const char* kSettingsFileName = "dravolin.dat";
// The note this writer leaves in every folder it makes: what was made and how well it fits.
inline constexpr const char* kAuthorNote = "dravolin-author.txt";

struct FolderOptions {
  std::filesystem::path outDir;
  std::filesystem::path trainsDir;
};

// Called with the share done (0 to 1) and what is being done; returns false to stop.
using WriteProgress = std::function<bool(double share, const std::string& step)>;

// What `trainsDir` lacks to give a made line its trains (empty when nothing): "dravolin.dat",
// or every title button's train file.
std::vector<std::string> missingTrainFiles(const std::filesystem::path& trainsDir);

// The demo installed with the program, whose trains a made line takes by default:
// share/dravolin/demo beside the program's bin/ folder, else under `installedDataDir`.
std::optional<std::filesystem::path> installedTrainsFolder(
    const std::filesystem::path& programDir, const std::filesystem::path& installedDataDir);

// Throws AuthorError (a folder that cannot be written, a target that is not ours, missing
// trains, a line the program would not load) or platform::FootageError /
// platform::FootageCancelled from the video.
void writeLineFolder(const RideMeasurements& ride, const LineDraft& draft,
                     const FolderOptions& options, platform::FootageService& footage,
                     const WriteProgress& progress);

// The text of kAuthorNote (UTF-8): the inputs, the offset and how sure it is, the stations and
// the fit's worst errors.
std::string authorNote(const RideMeasurements& ride, const LineDraft& draft);

}  // namespace dravolin::author
