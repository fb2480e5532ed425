# A two-handle controller behind a USB adapter that tells the handle positions by buttons:
# buttons 0 to 2 carry the power notch as a binary number (000 N to 101 P5), buttons 3 to 6 the
# brake step (0000 N to 1000 B8, 1001 emergency). A combination between two positions keeps the
# last one. Write a profile of your own when your adapter encodes them otherwise.
dravolin-profile 1
name Two-handle controller (button-encoded)
kind buttons
encode power 0 1 2
  code 000 N
  code 001 P1
  code 010 P2
  code 011 P3
  code 100 P4
  code 101 P5
encode brake 3 4 5 6
  code 0000 N
  code 0001 B1
  code 0010 B2
  code 0011 B3
  code 0100 B4
  code 0101 B5
  code 0110 B6
  code 0111 B7
  code 1000 B8
  code 1001 EB
button 7 ATS
button 8 HORN
button 9 CALLOUT
button 10 FORWARD
button 11 NEUTRAL
button 12 REVERSE
