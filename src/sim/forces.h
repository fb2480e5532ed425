// The display tick's half of the physics: braking force, adhesion, gradient, starting and running
// resistance, holding brake and the speed integration over 0.1 s, and the gradient averaged over
// the train's cars. They act on the tractive force left by the latest simulation tick.
//
// Notation: v = |Speed| in km/h, m = Tons x 1000 kg, g = 9.8 m/s^2, forces in newtons.
#pragma once

#include "sim/train_params.h"
#include "sim/train_state.h"

namespace dravolin::sim {

// Braking force m x BrakeRate x (BrakePressure / EBPress) / 3.6 against the direction of motion;
// none at Speed exactly 0.
void brakingForce(TrainState& s, const TrainParams& p);

// AdhesionCoefficient := AdhesionBase x (1 + 0.05 v) / (1 + 0.1 v).
void adhesionCoefficient(TrainState& s);

// The slope's share of the weight, -m g G / sqrt(G^2 + 1000^2), added to ResistanceForce.
void gradientForce(TrainState& s, const TrainParams& p);

// Wheel spin under power (force limited to half the driven mass's adhesion, "Racing") and wheel
// slide under brake (force limited to the whole train's adhesion, "Sliding"), tested on the
// handle positions.
void adhesionCheck(TrainState& s, const TrainParams& p);

// Starting resistance below 8 km/h: 8 kgf/t at standstill falling to 0 at 8 km/h, against the
// motion; none at Speed exactly 0.
void startingResistance(TrainState& s, const TrainParams& p);

// Running resistance above 0.1 km/h: g (1.32 T + 0.0164 T v + (0.028 + 0.0078 (Cars - 1)) v^2),
// against the motion.
void runningResistance(TrainState& s, const TrainParams& p);

// With the holding brake set on a falling gradient, the forward push of the resistances is taken
// off the tractive force so the train does not accelerate downhill.
void holdingBrake(TrainState& s);

// Speed += ResistanceForce / m x 0.36, then Speed += TractiveForce / m x 0.36 (km/h over 0.1 s).
void integrateSpeed(TrainState& s, const TrainParams& p);

// The eight steps above in their order; then friction is kept from reversing the motion. The
// brakes, the starting and running resistance and the holding brake can bring the speed to exactly
// 0 but not carry it across: when the speed reaches or crosses 0 in this step and the slope and the
// traction alone would not have turned the train round, it becomes 0. A standing train stays at 0
// while the pushing force (slope and traction, less the holding brake's share) is no greater than
// the brakes' force at the current pressure plus the starting resistance at rest (8 kgf/t); a
// greater force moves it exactly as it would have moved without this rule.
void forcesAndSpeed(TrainState& s, const TrainParams& p);

// Every 20 m of travel: shift the per-car gradient samples back by one car, sample the head
// gradient into car 0 and set Gradient to their mean over the train.
void averageGradient(TrainState& s, const TrainParams& p);

}  // namespace dravolin::sim
