// The display tick: one function that runs its steps in their one order, and the steps that
// group several calls of one kind.
#include "cab/compressor_sound.h"
#include "cab/instruments.h"
#include "cab/sound_control.h"
#include "cab/trackside_indications.h"
#include "cab/value_display.h"
#include "drive/drive.h"
#include "sim/air_brake.h"
#include "sim/forces.h"
#include "sim/signals.h"
#include "sim/traction.h"
#include "sim/train_protection.h"

namespace dravolin::drive {

void Drive::Timer1Timer() {
  sim::TrainState& s = data_.state;
  sim::CabModel& c = data_.cab;
  const data::TrainFile& train = data_.files.train;
  const data::LineFile& line = data_.files.line;
  const sim::TrainParams& p = train.params;

  // A frame key may have moved the train since the last simulation tick.
  keepFrameInVideo();
  ++displayTicks_;                                                           // 1
  cab::needles(s, c);                                                        // 2
  cab::digitalSpeed(s, c);                                                   // 3
  sim::forcesAndSpeed(s, p);                                                 // 4
  cab::brakeSqueal(s, train, soundControl_, sound_);                         // 5
  doorClosingStep();                                                         // 6
  cab::showOthers(c);                                                        // 7
  cab::panelLamps(s, p, c);                                                  // 8
  cab::slideTimetableCard(input_.TimetableShown, c);                         // 9
  cab::speedLimitBlink(displayTicks_, indication_, c);                       // 10
  if (displayTicks_ % 10 == 0) timecalc(s.ClockTicks);                       // 11
  cab::slewMeters(s);                                                        // 12
  compressorStep();                                                          // 13
  placeSoundsStep();                                                         // 14
  gradientStep();                                                            // 15
  signalStatesStep();                                                        // 16
  cab::tunnelPanel(s, line.tunnels, c);                                      // 17
  signalAheadStep();                                                         // 18
  protectionStep();                                                          // 19
  cab::speedLimitIndication(s, line.speedLimits, indication_, c);            // 20
  sim::speedChecks(s, line.speedChecks, protection_);                        // 21
  stationStep();                                                             // 22
  ebDeviceStep();                                                            // 23
  cab::stopSound(s, train, line, sound_);                                    // 24
  cab::signIndication(s, line.signs, indication_, c);                        // 25
  trainSoundsStep();                                                         // 26
  cab::gearIndicator(s, gearShown_, c);                                      // 27
  sim::lowSpeedGearReset(s);                                                 // 28
  cab::stopLine(s, c);                                                       // 29
  cab::windowTitle(line.lineNameUtf8, c);                                    // 30
  if (valueDisplay_.visible) cab::refreshValueDisplay(valueDisplay_, s, p);  // 31
  evaluation_.displayTick(s, protection_);                                   // 32
}

// The signal ahead with its picture or cab lamps, and the ATS transponders and check points.
void Drive::signalAheadStep() {
  sim::signalAhead(data_.state, protectionParams_, data_.files.line.signals, signalState_,
                   protection_, data_.cab, sound_);
}

// ATC, ATS and pattern ATS; their brakes show through the handle display.
void Drive::protectionStep() {
  const data::LineFile& line = data_.files.line;
  sim::trainProtection(data_.state, protectionParams_, line.checkPoints, line.signals, signalState_,
                       protection_, data_.cab, sound_, [this] { masconupdate(); });
}

// The EB (dead-man) device.
void Drive::ebDeviceStep() {
  sim::ebDevice(data_.state, protectionParams_, protection_, data_.cab, sound_,
                [this] { masconupdate(); });
}

// The compressor governor with its start, running and stop sounds.
void Drive::compressorStep() {
  const data::TrainFile& t = data_.files.train;
  cab::compressorSounds(sim::compressor(data_.state, t.params), sound_,
                        {t.CP_Start, t.CP_Cnt, t.CP_End});
}

// Line sounds, announcements and passing sounds, tied to places on the line.
void Drive::placeSoundsStep() {
  const data::LineFile& line = data_.files.line;
  cab::lineSounds(data_.state, line, data_.sounds, soundControl_, sound_);
  cab::announcements(data_.state, line, data_.sounds, soundControl_, sound_);
  cab::passingSounds(data_.state, line, data_.sounds, soundControl_, sound_);
}

// The gradient averaged over the train, then its indication under the head of the train.
void Drive::gradientStep() {
  sim::averageGradient(data_.state, data_.files.train.params);
  cab::gradientIndication(data_.state, data_.files.line.slopes, data_.cab);
}

// Block states, then the fixed states of the signals.
void Drive::signalStatesStep() {
  sim::blockStates(data_.state, data_.files.line.signals, signalState_);
  sim::fixedStates(data_.state, data_.files.line.signals, signalState_);
}

// Running noise and motor sounds; for a diesel train the engine output, then its sound.
void Drive::trainSoundsStep() {
  const data::TrainFile& t = data_.files.train;
  cab::runningNoise(data_.state, data_.sounds, soundControl_, sound_);
  cab::motorSounds(data_.state, t, soundControl_, sound_);
  if (t.params.diesel()) sim::dieselEngineOutput(data_.state, t.params);
  cab::engineSound(data_.state, t, soundControl_, sound_);
}

}  // namespace dravolin::drive
