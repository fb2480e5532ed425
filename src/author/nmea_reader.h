// NMEA 0183 logs: RMC (time, date, position, speed, validity), GGA (time, position, height, fix
// quality) and VTG (speed) from the talkers GP (GPS), GN (combined), GL (GLONASS) and GA
// (Galileo). The sentences of one instant (the same time of day) make one fix: its position from
// RMC or GGA, its height from GGA, its speed from RMC or VTG. GGA carries no date: the date comes
// from the last RMC, and a time of day that falls back by more than twelve hours starts the next
// day.
//
// Every sentence must end in "*HH", the checksum (the XOR of the bytes between "$" and "*"): a
// sentence whose checksum is missing or wrong is skipped and counted (Track::checksumFailures),
// as a logger that was cut off or a noisy serial line leaves them. Lines that do not start with
// "$", and sentences of other kinds or talkers, are ignored.
#pragma once

#include <string>
#include <string_view>

#include "author/track.h"

namespace dravolin::author {

// Throws AuthorError naming the file and the line of a sentence whose checksum is right but
// whose fields cannot be read, or when no sentence gives a date for the fixes.
Track readNmea(std::string_view bytes, const std::string& fileName);

// The checksum of a sentence's body (the bytes between "$" and "*").
unsigned nmeaChecksum(std::string_view body);

}  // namespace dravolin::author
