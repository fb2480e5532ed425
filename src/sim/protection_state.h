// The run state of the signals and train protection, and of the trackside indications: created
// at start-up with the values below, reset in part by the move-to-station command, never saved.
#pragma once

namespace dravolin::sim {

// Signal indication code: 0 to 21 names the signal image and the indication class.
inline constexpr int kNoSignalCode = 999;
// ATS check state: no check, and the stop warning of a transponder passed at stop.
inline constexpr int kNoCheck = 999;
inline constexpr int kStopWarning = 998;
// A shown code no indication code equals, so the next signal picture is drawn afresh.
inline constexpr int kRedrawSignal = 1000;

// Signals, ATS, pattern ATS, ATC and the EB device.
struct ProtectionState {
  int SignalCode = kNoSignalCode;  // indication code of the signal ahead; 999 none
  int ShownCode = kNoSignalCode;   // code last presented; 999 none
  int AtsCheck = kNoCheck;         // 999 none, 998 stop warning, 0 stop check, else km/h
  int AtsRememberedCheck = 0;      // AtsCheck when the alarm last started
  bool AtsAlarm = false;           // the bell rings and waits for confirmation
  bool AtsConfirmed = false;       // the driver confirmed; the chime is due
  bool AtsAcknowledged = false;    // confirmed or reset; no new alarm while set
  int AtsTimerTicks = 0;           // display ticks since the alarm started
  bool AtcLatch = false;           // the ATC applied AtcBrakeApplied and will release it
  int PatternState = 0;            // 0 clear, 1 approaching the pattern, 2 braking
  int PreviousPatternState = 0;    // pattern state of the previous display tick
  int EbIdleTicks = 0;             // display ticks of movement since the last driver input
  bool EbFitted = false;           // the train's "[EB]"; switched off for the run by AutoSpeed
};

// The trackside indications' memory between display ticks.
struct IndicationState {
  bool LimitBlinking = false;  // a speed limit is announced and its picture blinks
  int AnnouncedLimitKmh = 0;   // km/h, limit of the running announcement
  int ShownLimitKmh = 0;       // km/h, limit whose picture is shown; 0 none
  int ShownSign = 0;           // other-indication image shown; 999 none (0 at start-up)
};

inline constexpr int kNoSign = 999;

}  // namespace dravolin::sim
