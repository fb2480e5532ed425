// The driver input's own state for one drive.
#pragma once

namespace dravolin::input {

struct InputState {
  bool HoldExitLatch = false;   // a brake step left the holding position: it ends on step 1
  bool TimetableShown = false;  // F1: the timetable card slides in
  int AnnounceCursor = 0;       // next "[Announce]" entry of the one-man announcements
};

// Kept across drives for the whole program run: Scroll Lock swaps the keypad's "2" and "8".
struct ProgramInputState {
  bool KeypadSwap = false;
};

}  // namespace dravolin::input
