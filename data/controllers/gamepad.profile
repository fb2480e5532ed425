# A gamepad: the right trigger is the power handle (N to P5), the left trigger the brake (N to
# B8, ending at the last service step); B is emergency, A the ATS confirmation, X the horn,
# Y the call-out; the pad's up, left and down set the reverser forward, neutral and reverse.
# Axes and buttons are numbered as the game-controller interface names them: axis 4 the left
# trigger, 5 the right trigger; buttons 0 A, 1 B, 2 X, 3 Y, 11 up, 12 down, 13 left.
dravolin-profile 1
name Gamepad
kind gamepad
hysteresis 256
axis 5 power
  notch N -32768 5260
  notch P1 5661 10721
  notch P2 11122 16182
  notch P3 16583 21643
  notch P4 22044 27104
  notch P5 27505 32767
axis 4 brake
  notch N -32768 3439
  notch B1 3840 7079
  notch B2 7480 10719
  notch B3 11120 14359
  notch B4 14760 17999
  notch B5 18400 21639
  notch B6 22040 25279
  notch B7 25680 28919
  notch B8 29320 32767
button 1 EB
button 0 ATS
button 2 HORN
button 3 CALLOUT
button 11 FORWARD
button 13 NEUTRAL
button 12 REVERSE
