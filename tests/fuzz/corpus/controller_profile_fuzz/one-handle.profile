# A one-handle master controller that shows itself as a joystick: its handle is axis 0, from
# emergency at one end to P5 at the other, with a small gap at each detent. Calibrate it once in
# 設定 > Controller so that the ranges fit the device's own detents.
dravolin-profile 1
name One-handle master controller (axis)
kind one-handle
hysteresis 256
axis 0 combined
  notch EB -32768 -28600
  notch B8 -28199 -24231
  notch B7 -23830 -19862
  notch B6 -19461 -15493
  notch B5 -15092 -11124
  notch B4 -10723 -6755
  notch B3 -6354 -2386
  notch B2 -1985 1983
  notch B1 2384 6352
  notch N 6753 10721
  notch P1 11122 15090
  notch P2 15491 19459
  notch P3 19860 23828
  notch P4 24229 28197
  notch P5 28598 32767
button 0 ATS
button 1 HORN
button 2 CALLOUT
button 3 FORWARD
button 4 NEUTRAL
button 5 REVERSE
