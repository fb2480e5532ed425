// Writing a made line as a data folder that the title screen opens: the trains and everything
// the title screen needs come from a folder of trains (the installed demo, or one the user
// names), the line file is written under both line file names the title buttons open (so each
// train drives the new line), then the line's own pictures (its title picture among them),
// sound, still picture and video.
//
// The user's files are never at risk:
// - Nothing is written outside the target. The folder is made beside it under a temporary name
//   of its own ("line.part-1a2b3c", never one that exists), every file in it is created afresh
//   (never opened when it exists, so no input is ever opened for writing), and it is loaded once
//   as the program would load it (every title button's train on the line) before it is put in
//   place; a failure or a cancel (Ctrl+C, a closed window, the cancel button) removes it.
// - The trains folder's "[Path]" (where the line video goes) must be a relative path inside its
//   folder: an absolute path or ".." is refused.
// - Of the trains folder only what the trains need is copied: data files, pictures, sounds and
//   the readme; never a video, nor the line files and the title picture the made line replaces.
// - A target that exists must be empty or a folder this writer made before (it holds
//   kAuthorNote); a target that holds or lies inside the trains folder, or holds the footage or
//   the track, is refused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "author/line_draft.h"
#include "platform/bitmap.h"
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
// The title screen's picture, which a made line has of its own.
inline constexpr const char* kTitlePictureName = "image\\title\\title.jpg";
inline constexpr int kTitleWidth = 640;
inline constexpr int kTitleHeight = 480;

// Draws the line's title picture from a frame of its footage (kTitleHeight high, as wide as the
// footage's shape makes it) and its name (UTF-8): the bytes of a JPEG file of kTitleWidth x
// kTitleHeight. The library has no fonts: the program and the tool draw it.
using TitlePainter =
    std::function<std::vector<std::uint8_t>(const platform::Bitmap& frame, const std::string&)>;

struct FolderOptions {
  std::filesystem::path outDir;
  std::filesystem::path trainsDir;
  // When not given, the trains folder's title picture stays.
  TitlePainter titlePicture;
};

// Called with the share done (0 to 1) and what is being done; returns false to stop.
using WriteProgress = std::function<bool(double share, const std::string& step)>;

// What `trainsDir` lacks to give a made line its trains (empty when nothing): "dravolin.dat",
// or every title button's train file.
std::vector<std::string> missingTrainFiles(const std::filesystem::path& trainsDir);

// The demo whose trains a made line takes by default: the one installed with the program
// (share/dravolin/demo beside the program's bin/ folder, else under `installedDataDir`), else,
// for a program built from source, the demo that scripts/run makes in the build folder
// (build/release/demo, found from the program's folder upwards).
std::optional<std::filesystem::path> installedTrainsFolder(
    const std::filesystem::path& programDir, const std::filesystem::path& installedDataDir);

// The trains folder's "[Path]" (raw bytes, as written in its settings file) as a folder inside
// it, with "/" as separator ("" for the folder itself). Throws AuthorError, naming the settings
// file, for an absolute path (a leading separator or a drive letter) or one with "..".
std::string videoFolderOf(const std::string& rawPath, const std::filesystem::path& settingsFile);

// Whether the trains folder's file `relative` ("/"-separated) is copied into a made line's
// folder: data files, pictures, sounds and the readme, but no video, no line file the made line
// replaces, no earlier note, and no title picture when the line draws its own.
bool copiedFromTrains(const std::string& relative, bool ownTitle);

// Throws AuthorError when `outDir` may not be written: it is the trains folder, holds it or lies
// inside it; it holds one of `inputs`; it is not a folder; it is neither empty nor one this
// writer made.
void checkTarget(const std::filesystem::path& outDir, const std::filesystem::path& trainsDir,
                 const std::vector<std::string>& inputs);

// Throws AuthorError (a folder that cannot be written, a target that is not ours, missing
// trains, a "[Path]" outside the trains folder, a line the program would not load) or
// platform::FootageError / platform::FootageCancelled (also when `progress` says stop).
void writeLineFolder(const RideMeasurements& ride, const LineDraft& draft,
                     const FolderOptions& options, platform::FootageService& footage,
                     const WriteProgress& progress);

// The text of kAuthorNote (UTF-8): the inputs, the offset and how sure it is, the stations and
// the fit's worst errors.
std::string authorNote(const RideMeasurements& ride, const LineDraft& draft);

}  // namespace dravolin::author
