// The line file of a draft, as the loader reads it: code page 932 text with CR LF line ends.
#pragma once

#include <cstddef>
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

// The most bytes of a station's name in the line file (code page 932: ten to forty characters),
// and of the line's name.
inline constexpr std::size_t kMaxStationNameBytes = 40;
inline constexpr std::size_t kMaxLineNameBytes = 60;

// A station's name as the line file holds it, the one rule of the tool and the window (which
// shows every name so): blanks at either end and control characters (line breaks, tabs) gone, a
// comma (which would split the record) made "、", a leading "#" (which would end the list and
// every station after it) made "＃", cut at a character to kMaxStationNameBytes bytes of code
// page 932; "駅" when nothing is left. Characters the code page lacks are left to the loader's
// conversion.
std::string stationName(const std::string& utf8);
// The line's name as "[LineName]" holds it: the same, but "[" first (which would read as a key)
// made "［", and cut to kMaxLineNameBytes; "路線" when nothing is left.
std::string lineName(const std::string& utf8);

}  // namespace dravolin::author
