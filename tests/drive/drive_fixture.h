// A small drive built by hand for the drive's tests: an electric train with an eight-position
// brake and a short line of five stations, one of each kind, with the sound slots laid out as
// loading would lay them out.
#pragma once

#include <string>

#include "drive/drive_data.h"
#include "fixtures/sample_trains.h"
#include "platform/virtual_sound_slots.h"

namespace dravolin::testing {

// Sound slots: drive sounds 0..2 (1 door open, 2 door close), line sounds 3..4, no
// announcements, one other-indication sound at 5.
inline constexpr int kDoorOpenSlot = 1;
inline constexpr int kDoorCloseSlot = 2;
inline constexpr int kFirstLineSlot = 3;
inline constexpr int kOtherSoundSlot = 5;
// Wave lengths, ms.
inline constexpr double kDoorOpenMs = 1000;
inline constexpr double kDoorCloseMs = 2000;
inline constexpr double kDepartureMs = 3000;

inline sim::StationRecord station(const char* name, int type, int rangeStart, int rangeEnd,
                                  int soundTime, int departureTime, int stopDistance) {
  sim::StationRecord r;
  r.name = name;
  r.nameUtf8 = name;
  r.type = type;
  r.rangeStart = rangeStart;
  r.rangeEnd = rangeEnd;
  r.departureSound = 0;  // line sound 0
  r.departureSoundTime = soundTime;
  r.departureTime = departureTime;
  r.stopDistance = stopDistance;
  return r;
}

// Stations A (stop), B (pass), C (stop without automatic doors), D (stop), E (stop, the last).
inline drive::DriveData testDriveData(int oneMan = 0) {
  drive::DriveData d;
  data::Settings& st = d.files.settings;
  st.Forward = "前";
  st.Neutral = "切";
  st.Reverse = "後";
  st.Neut = "緩め";
  st.Neut2 = "切";
  st.EB = "非常";
  st.Maintain = "保ち";
  st.Hold = "重なり";
  st.Apply = "込め";
  st.Hold2 = "抑速";
  st.Stop = " 停車";
  st.Pass = " 通過";
  st.Stop2 = " 停車2";

  d.files.train.params = electricTrain();
  d.files.train.params.HighAirPress = 880;
  d.files.train.params.EBPress = 400;
  d.files.train.Sound_DoorOpen = kDoorOpenSlot;
  d.files.train.Sound_DoorClose = kDoorCloseSlot;

  sim::LineParams& line = d.files.line.params;
  line = testLine();
  line.StartPos = 20;
  line.StartTime = 1500;
  line.FrameRate = 15;
  line.PreTimeFrames = 60;
  d.files.line.oneMan = oneMan;
  d.files.line.stations = {
      station("A", 0, 100, 200, 3000, 3300, 5000), station("B", 1, 400, 420, 0, 0, 0),
      station("C", 2, 600, 701, 4001, 4300, 20000), station("D", 0, 900, 1000, 5000, 5300, 30000),
      station("E", 0, 1200, 1300, 6000, 6300, 40000)};
  d.sounds.D = 3;
  d.sounds.S = 2;
  d.sounds.K = 0;
  d.sounds.O = 1;
  d.stationMenu = {{"Sta0", "A", 0}, {"Sta2", "C", 2}, {"Sta3", "D", 3}};

  d.cab.NotchImageP.images.resize(5);
  d.cab.NotchImageB.images.resize(9);
  d.cab.SignImages.images.resize(1);
  d.cab.Lamp_Door.exists = true;
  d.state = sim::loadState(d.files.train.params, line);
  return d;
}

// Gives the door, line and other-indication slots their waves.
inline void loadTestSounds(platform::VirtualSoundSlots& sound) {
  sound.initialise();
  sound.assign(kDoorOpenSlot, sound.addWave(kDoorOpenMs));
  sound.assign(kDoorCloseSlot, sound.addWave(kDoorCloseMs));
  sound.assign(kFirstLineSlot, sound.addWave(kDepartureMs));
  sound.assign(kFirstLineSlot + 1, sound.addWave(kDepartureMs));
  sound.assign(kOtherSoundSlot, sound.addWave(500));
  sound.setEventLog(true);
}

}  // namespace dravolin::testing
