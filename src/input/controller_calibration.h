// Calibration of one device: the raw axis value measured at each position of its handles, as
// the calibration dialog records it. Applied to the device's profile it replaces the ranges of
// the calibrated axes: each position reaches halfway to its neighbours.
//
// The file, one per device, named after its GUID ("<guid>.calibration"):
//   dravolin-calibration 1
//   guid 03000000...        the device's GUID, 32 hexadecimal digits
//   name TEXT               the device's name when it was calibrated (shown only)
//   profile ID              the profile it was calibrated with
//   point AXIS POSITION RAW one line per measured position
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "input/controller_profile.h"

namespace dravolin::input {

struct CalibrationPoint {
  int axis = 0;
  int line = 0;  // the handle position (command line)
  int raw = 0;
  bool operator==(const CalibrationPoint&) const = default;
};

struct Calibration {
  std::string guid;  // lower-case hex
  std::string deviceName;
  std::string profileId;
  std::vector<CalibrationPoint> points;
  bool operator==(const Calibration&) const = default;
};

// The file name of a device's calibration.
std::string calibrationFileName(std::string_view guid);

// Reads a calibration file; throws ProfileError naming the file and the line. Two points of one
// axis may not share a position or a raw value.
Calibration parseCalibration(std::string_view text, const std::string& fileName);
std::string formatCalibration(const Calibration& calibration);

// Gives every axis of `profile` that has points the ranges those points make. Throws
// ProfileError (naming `fileName`) when a point's axis is not in the profile or its position is
// not one of that axis's, or an axis has fewer than two points.
void applyCalibration(ControllerProfile& profile, const Calibration& calibration,
                      const std::string& fileName);

}  // namespace dravolin::input
