#include "input/controller_calibration.h"

#include <algorithm>
#include <map>
#include <sstream>

#include "input/profile_text.h"

namespace dravolin::input {

namespace {

bool isGuid(std::string_view s) {
  return s.size() == 32 && s.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

std::string calibrationFileName(std::string_view guid) { return lower(guid) + ".calibration"; }

Calibration parseCalibration(std::string_view text, const std::string& fileName) {
  profile_text::Reader r(text, fileName);
  profile_text::Statement s;
  if (!r.next(s) || s.words[0] != "dravolin-calibration") {
    r.fail(s.line == 0 ? 1 : s.line, "a calibration begins with the line 'dravolin-calibration 1'");
  }
  if (s.words.size() != 2 || s.words[1] != "1")
    r.fail(s.line, "this calibration's version is not 1");
  Calibration c;
  while (r.next(s)) {
    const std::string_view w = s.words[0];
    if (w == "guid") {
      if (s.words.size() != 2 || !isGuid(s.words[1])) {
        r.fail(s.line, "'guid' takes 32 hexadecimal digits");
      }
      c.guid = lower(s.words[1]);
    } else if (w == "name") {
      c.deviceName = s.rest;
    } else if (w == "profile") {
      if (s.words.size() != 2) r.fail(s.line, "'profile' takes one profile name");
      c.profileId = s.words[1];
    } else if (w == "point") {
      CalibrationPoint p;
      p.line = s.words.size() == 4 ? commandLine(s.words[2]) : 0;
      if (s.words.size() != 4 || !profile_text::toInt(s.words[1], 0, kMaxAxes - 1, p.axis) ||
          p.line == 0 || !profile_text::toInt(s.words[3], kAxisMin, kAxisMax, p.raw)) {
        r.fail(s.line, "'point' takes an axis number, a position and a raw value");
      }
      for (const CalibrationPoint& o : c.points) {
        if (o.axis != p.axis) continue;
        if (o.line == p.line) r.fail(s.line, "the position is measured twice on this axis");
        if (o.raw == p.raw) {
          r.fail(s.line,
                 "two positions of this axis at the same raw value " + std::to_string(p.raw));
        }
      }
      c.points.push_back(p);
    } else {
      r.fail(s.line, "unknown statement '" + std::string(w) + "'");
    }
  }
  if (c.guid.empty()) r.fail(s.line + 1, "the calibration has no 'guid' line");
  return c;
}

std::string formatCalibration(const Calibration& c) {
  std::ostringstream out;
  out << "dravolin-calibration 1\nguid " << c.guid << '\n';
  if (!c.deviceName.empty()) out << "name " << c.deviceName << '\n';
  if (!c.profileId.empty()) out << "profile " << c.profileId << '\n';
  for (const CalibrationPoint& p : c.points) {
    out << "point " << p.axis << ' ' << commandName(p.line) << ' ' << p.raw << '\n';
  }
  return out.str();
}

void applyCalibration(ControllerProfile& profile, const Calibration& c,
                      const std::string& fileName) {
  auto fail = [&](const std::string& what) { throw ProfileError(fileName + ": " + what); };
  std::map<int, std::vector<CalibrationPoint>> byAxis;
  for (const CalibrationPoint& p : c.points) byAxis[p.axis].push_back(p);
  std::vector<AxisMap> axes = profile.axes;
  for (auto& [axis, points] : byAxis) {
    AxisMap* a = nullptr;
    for (AxisMap& m : axes) {
      if (m.axis == axis) a = &m;
    }
    if (a == nullptr) fail("axis " + std::to_string(axis) + " is not in the profile " + profile.id);
    if (points.size() < 2) fail("axis " + std::to_string(axis) + " needs two positions or more");
    for (const CalibrationPoint& p : points) {
      if (!positionFits(a->role, p.line)) {
        fail("the position " + std::string(commandName(p.line)) + " is not one of a " +
             std::string(handleRoleName(a->role)) + " axis");
      }
    }
    std::sort(points.begin(), points.end(),
              [](const CalibrationPoint& x, const CalibrationPoint& y) { return x.raw < y.raw; });
    a->notches.clear();
    int low = kAxisMin;
    for (std::size_t i = 0; i < points.size(); ++i) {
      // Halfway to the next position, rounded down, so each point lies inside its own range.
      const int high = i + 1 == points.size() ? kAxisMax : (points[i].raw + points[i + 1].raw) >> 1;
      a->notches.push_back({points[i].line, low, high});
      low = high + 1;
    }
  }
  profile.axes = std::move(axes);
}

}  // namespace dravolin::input
