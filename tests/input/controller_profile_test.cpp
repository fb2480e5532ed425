// USB controller profiles: the file format, the device state -> command mapping, calibration,
// the choice of a profile and the commands' effect on the handles.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "fixtures/numbered_video.h"
#include "input/controller_calibration.h"
#include "input/device_mapper.h"
#include "input/profile_library.h"
#include "input_rig.h"

namespace dravolin::testing {
namespace {

using input::commandLine;
using input::ControllerProfile;
using input::DeviceMapper;
using input::ProfileLibrary;

std::string names(const std::vector<int>& ls) {
  std::string out;
  for (int l : ls) out += (out.empty() ? "" : " ") + std::string(input::commandName(l));
  return out;
}

const ControllerProfile& generic(std::string_view id) {
  static const ProfileLibrary library;
  const ControllerProfile* p = library.find(id);
  EXPECT_NE(p, nullptr) << id;
  return *p;
}

TEST(ControllerProfile, GenericProfilesParseAndFormatBack) {
  const ProfileLibrary library;
  ASSERT_EQ(library.profiles().size(), 4u);
  for (const char* id : {"one-handle", "two-handle", "buttons", "gamepad"}) {
    SCOPED_TRACE(id);
    const ControllerProfile* p = library.find(id);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(input::deviceKindName(p->kind), id);
    const std::string text = input::formatControllerProfile(*p);
    EXPECT_EQ(input::parseControllerProfile(text, "again.profile", id), *p) << text;
  }
}

TEST(ControllerProfile, DamagedFilesAreRefusedNamingFileAndLine) {
  const std::string head = "dravolin-profile 1\nkind one-handle\n";
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"", "x.profile:1: a profile begins with the line 'dravolin-profile 1'"},
      {"dravolin-profile 2\n", "x.profile:1: this profile's version is not 1"},
      {"dravolin-profile 1\naxis 0 combined\nnotch N 0 10\n",
       "x.profile:4: the profile has no 'kind'"},
      {head + "axis 0 combined\nnotch P7 0 10\n", "x.profile:4: 'notch' takes a position"},
      {head + "axis 0 power\nnotch B1 0 10\n",
       "x.profile:4: a power axis has the positions N or P1 to P6"},
      {head + "axis 0 combined\nnotch N 10 0\n", "x.profile:4: 'notch' takes"},
      {head + "axis 0 combined\nnotch N 0 40000\n", "x.profile:4: 'notch' takes"},
      {head + "axis 0 combined\nnotch N 0 10\nnotch P1 10 20\n",
       "x.profile:5: the range overlaps that of N"},
      {head + "axis 0 combined\nnotch N 0 10\nnotch N 20 30\n",
       "x.profile:5: the position N twice"},
      {head + "axis 0 combined\naxis 1 brake\nnotch N 0 1\n",
       "x.profile:3: the axis has no 'notch' lines"},
      {head + "axis 64 combined\n", "x.profile:3: 'axis' takes an axis number from 0 to 63"},
      {head + "axis 0 combined\nnotch N 0 1\naxis 0 brake\n",
       "x.profile:5: axis 0 is mapped twice"},
      {head + "notch N 0 1\n", "x.profile:3: 'notch' belongs after an 'axis' line"},
      {head + "encode power 1 1\n", "x.profile:3: button 1 twice in one encoding"},
      {head + "encode power 1 2\ncode 1 P1\n",
       "x.profile:4: the pattern has one 0, 1 or x for each of the 2"},
      {head + "encode reverser 1\ncode 1 P1\n",
       "x.profile:4: a reverser encoding has the positions"},
      {head + "button 1024 ATS\n", "x.profile:3: 'button' takes a button number from 0 to 1023"},
      {head + "button 1 JUMP\n", "x.profile:3: 'button' takes"},
      {head + "match guid 12\nbutton 1 ATS\n", "x.profile:3: 'match guid' takes 32 hexadecimal"},
      {head + "jump\n", "x.profile:3: unknown statement 'jump'"},
      {head, "x.profile:3: the profile maps no axis and no button"},
      {head + "button 1 ATS\n" + std::string(5000, 'a') + "\n",
       "x.profile:4: the line is too long"},
      {head + std::string("button 1 ATS\0", 13) + "\n", "x.profile:3: the line holds a NUL byte"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      input::parseControllerProfile(c.text, "x.profile", "x");
      ADD_FAILURE() << "accepted";
    } catch (const input::ProfileError& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.message.size()), c.message) << e.what();
    }
  }
}

// Moves axis 0 from `from` to `to` in steps of `step` and back, collecting the commands.
std::vector<int> sweep(DeviceMapper& m, int axis, int from, int to, int step) {
  std::vector<int> out;
  m.settle(std::vector<int>(8, 0), {});
  for (int v : m.axis(axis, from)) out.push_back(v);
  out.clear();  // the way to the start of the sweep is not part of it
  for (int v = from; v <= to; v += step) {
    for (int c : m.axis(axis, v)) out.push_back(c);
  }
  for (int v = to; v >= from; v -= step) {
    for (int c : m.axis(axis, v)) out.push_back(c);
  }
  return out;
}

TEST(DeviceMapper, AxisSweepGivesEveryPositionOnceEachWay) {
  const struct {
    const char* profile;
    int axis, from, to;
    const char* expected;
  } cases[] = {
      {"one-handle", 0, -32768, 32767,
       "B8 B7 B6 B5 B4 B3 B2 B1 N P1 P2 P3 P4 P5 P4 P3 P2 P1 N B1 B2 B3 B4 B5 B6 B7 B8 EB"},
      {"two-handle", 0, -32768, 32767, "P1 P2 P3 P4 P5 P4 P3 P2 P1 N"},
      {"two-handle", 1, -32768, 32767, "B1 B2 B3 B4 B5 B6 B7 B8 EB B8 B7 B6 B5 B4 B3 B2 B1 N"},
      // The gamepad's brake trigger ends at the last service step.
      {"gamepad", 4, 0, 32767, "B1 B2 B3 B4 B5 B6 B7 B8 B7 B6 B5 B4 B3 B2 B1 N"},
      {"gamepad", 5, 0, 32767, "P1 P2 P3 P4 P5 P4 P3 P2 P1 N"},
  };
  for (const auto& c : cases) {
    for (int step : {1, 37, 1000}) {
      SCOPED_TRACE(std::string(c.profile) + " step " + std::to_string(step));
      DeviceMapper m(generic(c.profile));
      EXPECT_EQ(names(sweep(m, c.axis, c.from, c.to, step)), c.expected);
    }
  }
}

TEST(DeviceMapper, HysteresisHoldsAtABoundaryWithNoise) {
  // Two positions that meet at 0/1 with a hysteresis of 100, as a calibration makes them; and the
  // generic one-handle profile, whose N ends at 10721 and P1 starts at 11122 (a gap keeps the
  // position).
  const ControllerProfile adjacent = input::parseControllerProfile(
      "dravolin-profile 1\nkind one-handle\naxis 0 combined hysteresis 100\nnotch N -32768 0\n"
      "notch P1 1 32767\n",
      "adjacent.profile", "adjacent");
  // P1 is 10 units wide (1 to 10): its hysteresis of 1000 is held to half of that, 5, so P1 is
  // left above 15 and below -4. At 11 units wide (1 to 11) the half is still 5.
  const auto narrow = [](int width) {
    return input::parseControllerProfile(
        "dravolin-profile 1\nkind one-handle\naxis 0 combined hysteresis 1000\n"
        "notch N -32768 0\nnotch P1 1 " +
            std::to_string(width) + "\nnotch P2 " + std::to_string(width + 1) + " 32767\n",
        "narrow.profile", "narrow");
  };
  const ControllerProfile even = narrow(10);
  const ControllerProfile odd = narrow(11);
  const struct {
    const ControllerProfile* profile;
    std::vector<int> values;
    const char* expected;
  } cases[] = {
      {&adjacent, {-5000, 50, -50, 99, 30, 100, -99, 100}, ""},
      {&adjacent, {-5000, 101, -99, 50, -98, 0, 1}, "P1"},
      {&adjacent, {-5000, 101, -99, 50, -100, 100, 101}, "P1 N P1"},
      {&adjacent, {5000, -100, 101, 100, -100, -99}, "N P1 N"},
      {&generic("one-handle"), {8000, 10900, 11100, 11000, 10722, 10721, 11121, 11122}, "P1"},
      {&generic("one-handle"), {8000, 11122, 10866, 10722, 10721, 11121, 11122}, "P1 N P1"},
      {&even, {5, 15, -4, 15, 16}, "P2"},
      {&even, {5, -4, 15, -5}, "N"},
      {&odd, {6, 16, -4, 17}, "P2"},
  };
  for (const auto& c : cases) {
    DeviceMapper m(*c.profile);
    m.settle({c.values.front()}, {});
    std::vector<int> out;
    for (std::size_t i = 1; i < c.values.size(); ++i) {
      for (int l : m.axis(0, c.values[i])) out.push_back(l);
    }
    EXPECT_EQ(names(out), c.expected) << c.profile->id << " case " << (&c - cases);
  }
}

// Presses exactly the buttons of `pattern` among `buttons` ('1' down), as one report of the
// device.
std::vector<int> setButtons(DeviceMapper& m, const std::vector<int>& buttons,
                            const std::string& pattern) {
  std::vector<int> out;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    for (int l : m.button(buttons[i], pattern[i] == '1')) out.push_back(l);
  }
  for (int l : m.flush()) out.push_back(l);
  return out;
}

TEST(DeviceMapper, ButtonEncodedTwoHandleAdapterGivesEveryNotch) {
  DeviceMapper m(generic("buttons"));
  m.settle({}, {});  // all released: N, N
  const std::vector<int> power = {0, 1, 2}, brake = {3, 4, 5, 6};
  const struct {
    const std::vector<int>* buttons;
    const char* pattern;
    const char* expected;
  } steps[] = {
      {&power, "001", "P1"},  {&power, "010", "P2"},  {&power, "011", "P3"},
      {&power, "100", "P4"},  {&power, "101", "P5"},  {&power, "111", ""},  // no code: stays
      {&power, "000", "N"},   {&brake, "0001", "B1"}, {&brake, "0010", "B2"},
      {&brake, "0011", "B3"}, {&brake, "0100", "B4"}, {&brake, "0101", "B5"},
      {&brake, "0110", "B6"}, {&brake, "0111", "B7"}, {&brake, "1000", "B8"},
      {&brake, "1001", "EB"}, {&power, "011", ""},  // power under an applied brake waits
      {&brake, "0000", "P3"},                       // and counts once it is released
      {&brake, "0010", "B2"}, {&power, "000", ""},    {&brake, "0000", "N"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.pattern);
    EXPECT_EQ(names(setButtons(m, *s.buttons, s.pattern)), s.expected);
  }
  // The buttons of single commands act on pressing only.
  EXPECT_EQ(names(m.button(7, true)), "ATS");
  EXPECT_EQ(names(m.button(7, false)), "");
  EXPECT_EQ(names(m.button(10, true)), "FORWARD");
}

TEST(DeviceMapper, OutOfRangeValuesAndManyButtonsNeverMoveAHandleOutOfItsRange) {
  for (const char* id : {"one-handle", "two-handle", "buttons", "gamepad"}) {
    SCOPED_TRACE(id);
    for (const sim::TrainParams& p : {electricTrain(), [] {
                                        sim::TrainParams t = electricTrain();
                                        t.BrakeType = 0;
                                        t.Brake = 4;
                                        t.Power = 3;
                                        return t;
                                      }()}) {
      InputRig rig(p);
      DeviceMapper m(generic(id));
      std::mt19937 random(7);
      std::uniform_int_distribution<int> kind(0, 2), index(-5, 2000), value(-200000, 200000);
      for (int i = 0; i < 20000; ++i) {
        std::vector<int> commands;
        if (kind(random) == 0) {
          commands = m.axis(index(random) % 70, value(random));
        } else {
          commands = m.button(index(random), kind(random) == 1);
        }
        if (i % 7 == 0) {
          for (int l : m.flush()) commands.push_back(l);
        }
        for (int l : commands) {
          ASSERT_GE(l, 1);
          ASSERT_LE(l, 22);
          auto x = rig.ctx();
          input::deviceCommand(x, l);
          rig.drive.posted = {};
          ASSERT_GE(rig.state.PowerHandle, 0);
          ASSERT_LE(rig.state.PowerHandle, p.Power);
          ASSERT_GE(rig.state.BrakeHandle, -p.Brake);
          ASSERT_LE(rig.state.BrakeHandle, 0);
        }
      }
    }
  }
}

TEST(DeviceCommand, AKeyMovesTheHandleAndTheControllerTakesOverAtItsNextChange) {
  InputRig rig;  // P4, B8, combined handle
  DeviceMapper m(generic("one-handle"));
  m.settle({8737}, {});  // N
  const auto move = [&](int value) {
    for (int l : m.axis(0, value)) {
      auto x = rig.ctx();
      input::deviceCommand(x, l);
    }
  };
  // step: an axis value, or a key when value is 0; then the expected power and brake handles.
  const struct {
    int value;
    char key;
    int power, brake;
  } steps[] = {
      {17475, 0, 2, 0},    // P2
      {0, '2', 1, 0},      // the key moves the handle
      {17300, 0, 1, 0},    // noise on the controller's detent changes nothing
      {17700, 0, 1, 0},    //
      {21844, 0, 3, 0},    // the controller's next notch takes over
      {0, '5', 0, 0},      //
      {0, '2', 0, -1},     //
      {17475, 0, 2, 0},    // back to P2
      {-30684, 0, 0, -8},  // EB: the train's own emergency
      {0, '8', 0, -7},     //
      {-26215, 0, 0, -7},  // B8 is beyond this train's service steps: its last one
  };
  for (const auto& s : steps) {
    if (s.key != 0) {
      rig.type(std::string(1, s.key));
    } else {
      move(s.value);
    }
    EXPECT_EQ(rig.state.PowerHandle, s.power) << s.value << s.key;
    EXPECT_EQ(rig.state.BrakeHandle, s.brake) << s.value << s.key;
  }
}

TEST(DeviceCommand, KeepsTheHandlesWithinTheTrainsRange) {
  // Train: P4, B8 (emergency -8); start P2 B3.
  const struct {
    const char* command;
    int power, brake;
    bool ebSound;
  } cases[] = {
      {"P1", 1, 0, false},  {"P4", 4, 0, false},  {"P6", 4, 0, false},
      {"N", 0, 0, false},   {"B1", 0, -1, false}, {"B7", 0, -7, false},
      {"B8", 0, -7, false}, {"EB", 0, -8, true},  {"FORWARD", 2, -3, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    InputRig rig;
    rig.state.PowerHandle = 2;
    rig.state.BrakeHandle = -3;
    rig.protection.EbIdleTicks = 100;
    auto x = rig.ctx();
    input::deviceCommand(x, commandLine(c.command));
    EXPECT_EQ(rig.state.PowerHandle, c.power);
    EXPECT_EQ(rig.state.BrakeHandle, c.brake);
    EXPECT_EQ(rig.sound.isPlaying(kEb), c.ebSound);
    EXPECT_EQ(rig.protection.EbIdleTicks, 0);
    EXPECT_EQ(rig.drive.caption, "");
  }
}

TEST(Calibration, RoundTripsAndGivesEachMeasuredPositionItsRange) {
  input::Calibration c;
  c.guid = "0300aabbccddeeff0011223344556677";
  c.deviceName = "Test One Handle";
  c.profileId = "two-handle";
  // A power axis that runs the other way round, with uneven detents.
  for (auto [line, raw] : {std::pair{"N", 30000},
                           {"P1", 20000},
                           {"P2", 12000},
                           {"P3", 3000},
                           {"P4", -9000},
                           {"P5", -30001}}) {
    c.points.push_back({0, commandLine(line), raw});
  }
  const std::string text = input::formatCalibration(c);
  EXPECT_EQ(input::parseCalibration(text, "c.calibration"), c);

  ControllerProfile p = generic("two-handle");
  input::applyCalibration(p, c, "c.calibration");
  DeviceMapper m(p);
  m.settle({30000, -32768}, {});
  std::vector<int> out;
  for (int raw : {30000, 20000, 12000, 3000, -9000, -30001, -32768, -9000, 12000, 32767}) {
    for (int l : m.axis(0, raw)) out.push_back(l);
  }
  EXPECT_EQ(names(out), "P1 P2 P3 P4 P5 P4 P2 N");
  // Halfway between two measured points, rounded down: -9000 and 3000 meet at -3000.
  EXPECT_EQ(m.axisPosition(0), commandLine("N"));
  DeviceMapper exact(p);
  exact.settle({-3000}, {});
  EXPECT_EQ(exact.axisPosition(0), commandLine("P4"));
  exact.settle({-2999}, {});
  EXPECT_EQ(exact.axisPosition(0), commandLine("P3"));
}

TEST(Calibration, DamagedFilesAreRefusedNamingFileAndLine) {
  const std::string head = "dravolin-calibration 1\nguid 0300aabbccddeeff0011223344556677\n";
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"dravolin-profile 1\n", "c:1: a calibration begins with"},
      {"dravolin-calibration 1\nname x\n", "c:3: the calibration has no 'guid' line"},
      {head + "point 0 P1 100\npoint 0 P1 200\n", "c:4: the position is measured twice"},
      {head + "point 0 P1 100\npoint 0 P2 100\n", "c:4: two positions of this axis at the same"},
      {head + "point 0 P1 99999\n", "c:3: 'point' takes"},
      {head + "point 0 P9 1\n", "c:3: 'point' takes"},
      {head + "guid xyz\n", "c:3: 'guid' takes 32 hexadecimal digits"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      input::parseCalibration(c.text, "c");
      ADD_FAILURE() << "accepted";
    } catch (const input::ProfileError& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.message.size()), c.message) << e.what();
    }
  }
  // Points that do not fit the profile.
  for (const char* text :
       {"point 5 P1 1\npoint 5 P2 2\n", "point 0 B1 1\npoint 0 P2 2\n", "point 0 P1 1\n"}) {
    ControllerProfile p = generic("two-handle");
    EXPECT_THROW(input::applyCalibration(p, input::parseCalibration(head + text, "c"), "c"),
                 input::ProfileError)
        << text;
  }
}

TEST(ProfileLibrary, ChoosesByGuidThenNameThenTheGenericOfTheKind) {
  ProfileLibrary library;
  library.add(
      input::parseControllerProfile("dravolin-profile 1\nname Mine\nkind one-handle\nmatch guid "
                                    "0300AABBCCDDEEFF0011223344556677\n"
                                    "match name Master Handle\nbutton 0 HORN\n",
                                    "mine.profile", "mine"));
  const struct {
    input::DeviceIdentity device;
    const char* profile;
    bool generic;
  } cases[] = {
      {{"0300aabbccddeeff0011223344556677", "Whatever", false, 1, 4}, "mine", false},
      {{"0000", "The MASTER handle 2", false, 1, 4}, "mine", false},
      {{"0000", "Pad", true, 6, 15}, "gamepad", true},
      {{"0000", "Stick", false, 2, 4}, "one-handle", true},
      {{"0000", "Adapter", false, 0, 16}, "buttons", true},
  };
  for (const auto& c : cases) {
    bool generic = false;
    EXPECT_EQ(library.choose(c.device, &generic).id, c.profile) << c.device.name;
    EXPECT_EQ(generic, c.generic) << c.device.name;
  }
}

TEST(ProfileLibrary, FolderAndCalibrationFilesThatAreDamagedLeaveTheGenericProfile) {
  TemporaryFolder dir;
  std::ofstream(dir.file("good.profile")) << "dravolin-profile 1\nkind buttons\nbutton 3 HORN\n";
  std::ofstream(dir.file("bad.profile")) << "dravolin-profile 1\nkind buttons\nbutton x HORN\n";
  ProfileLibrary library;
  const std::vector<std::string> errors = library.addFolder(dir.path());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], dir.file("bad.profile") +
                           ":3: 'button' takes a button number from 0 to "
                           "1023 and a command");
  EXPECT_NE(library.find("good"), nullptr);

  const input::DeviceIdentity device{"0300aabbccddeeff0011223344556677", "Stick", false, 1, 8};
  std::vector<std::string> notes;
  EXPECT_EQ(input::profileForDevice(library, device, dir.path(), notes), generic("one-handle"));
  ASSERT_EQ(notes.size(), 1u);  // an unknown device

  input::Calibration c{device.guid, device.name, "two-handle", {{0, 7, -100}, {0, 1, 100}}};
  ASSERT_EQ(input::saveCalibration(c, dir.path() / "cal"), "");
  notes.clear();
  const ControllerProfile calibrated =
      input::profileForDevice(library, device, dir.path() / "cal", notes);
  EXPECT_TRUE(notes.empty());
  EXPECT_EQ(calibrated.id, "two-handle");
  EXPECT_EQ(calibrated.axisMap(0)->notches.size(), 2u);

  std::ofstream(dir.path() / "cal" / input::calibrationFileName(device.guid), std::ios::app)
      << "point 0 XX 1\n";
  notes.clear();
  EXPECT_EQ(input::profileForDevice(library, device, dir.path() / "cal", notes),
            generic("one-handle"));
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_NE(notes[0].find(".calibration:7: 'point' takes"), std::string::npos) << notes[0];
}

}  // namespace
}  // namespace dravolin::testing
