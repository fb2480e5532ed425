# Two separate handles on two axes: power on axis 0 (N to P5), brake on axis 1 (N to B8, then
# emergency at the end of its travel). An applied brake wins over the power handle.
dravolin-profile 1
name Two-handle controller (axes)
kind two-handle
hysteresis 256
axis 0 power
  notch N -32768 -22047
  notch P1 -21646 -11125
  notch P2 -10724 -203
  notch P3 198 10719
  notch P4 11120 21641
  notch P5 22042 32767
axis 1 brake
  notch N -32768 -26416
  notch B1 -26015 -19863
  notch B2 -19462 -13310
  notch B3 -12909 -6757
  notch B4 -6356 -204
  notch B5 197 6349
  notch B6 6750 12902
  notch B7 13303 19455
  notch B8 19856 26008
  notch EB 26409 32767
button 0 ATS
button 1 HORN
button 2 CALLOUT
button 3 FORWARD
button 4 NEUTRAL
button 5 REVERSE
