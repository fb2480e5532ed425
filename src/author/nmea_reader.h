// NMEA 0183 logs: RMC (time, date, position, speed, validity), GGA (time, position, height, fix
// quality) and VTG (speed) from the talkers GP (GPS), GN (combined), GL (GLONASS), GA
// (Galileo), BD and GB (BeiDou) and QZ (QZSS), at any rate (1 to 10 fixes a second and more).
// The sentences of one instant (the same time of day) make one fix: its position from RMC or
// GGA, its height from GGA, its speed from RMC or VTG.
//
// A sentence starts at "$" followed by its address (four to six capital letters or digits) and a
// comma, wherever it stands: whatever comes before the first sentence and between sentences (a
// comment header, a receiver's binary start-up or protocol, lines of other programs) is passed
// over. A sentence ends at the end of its line or at the next sentence's "$".
//
// Skipped and counted (Track::skipped), never fatal:
// - a sentence whose checksum ("*HH", the XOR of the bytes between "$" and "*") is missing or
//   wrong, as a logger that was cut off or a noisy serial line leaves them; one with anything
//   but blanks after its checksum;
// - a sentence that says the receiver has no fix (RMC status V or mode N, GGA quality 0), as
//   every cold start writes them, and one whose time or position is empty;
// - a fix whose time comes before the fix before it (a stale sentence), or equals it.
// Sentences of other kinds and talkers are passed over without counting.
//
// The date: RMC carries it. A log of GGA alone takes it from the ride (TrackDating): the user's
// date, else the day that puts its first fix within twelve hours of the video's creation time.
// A time of day that falls back by more than twelve hours starts the next day.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "author/track.h"

namespace dravolin::author {

// Where the date of a log without dates comes from.
struct TrackDating {
  // The UTC date of the log's first fix (the tool's --date), s since 1970 at its 00:00.
  std::optional<double> dayS;
  // An instant near the ride (the video's creation time), s since 1970 (UTC).
  std::optional<double> aroundS;
};

// Throws AuthorError naming the file and the line of a sentence whose checksum is right but one
// of whose fields cannot be read, or when nothing dates the fixes.
Track readNmea(std::string_view bytes, const std::string& fileName, const TrackDating& dating = {});

// Whether `bytes` hold the start of an NMEA sentence ("$GPRMC,", "$PUBX,"...) anywhere.
bool containsNmeaSentence(std::string_view bytes);

// The checksum of a sentence's body (the bytes between "$" and "*").
unsigned nmeaChecksum(std::string_view body);

}  // namespace dravolin::author
