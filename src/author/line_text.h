// The line file of a draft, as the loader reads it: code page 932 text with CR LF line ends.
#pragma once

#include <string>
#include <vector>

#include "author/line_draft.h"

namespace dravolin::author {

// Names of the files the line file refers to, relative to the data folder, with "\" as data
// files write them.
inline constexpr const char* kStillPicture = "image\\author\\still.bmp";
inline constexpr const char* kSignPictures = "image\\author\\sign.bmp";
inline constexpr const char* kSignalPictures = "image\\author\\signal.bmp";
inline constexpr const char* kDepartureSound = "sound\\author\\departure.wav";

// The lines of the line file (UTF-8, without line ends).
std::vector<std::string> lineFileLines(const LineDraft& draft);

// The file's bytes: the lines in code page 932, each ended by CR LF.
std::string lineFileBytes(const LineDraft& draft);

// A station name as a comma record can hold it: commas and line breaks replaced, characters the
// code page lacks replaced by the loader's conversion.
std::string recordSafe(const std::string& utf8);

}  // namespace dravolin::author
