// The history of drives: every drive that judged a station after its start, with its score, its
// stations, how it ended and whether it was practice, kept per user. Drives are kept by the
// line's identity: where the line is (an installed package's id, or a data folder's canonical
// path) and its line file, so two lines whose files have the same name (every made line is
// 205_line.dat) each have their own history. Only complete drives that were not practice count
// for a train's best on a line and for the rank on a line.
// The program keeps it in an SQLite database (SqliteDriveHistory); tests may give their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dravolin::platform {

// One judged station of a drive.
struct HistoryStation {
  int station = 0;  // index in the line's station list
  std::string nameUtf8;
  std::string outcome;  // "origin", "stopped" or "passed"
  int stopErrorCm = 0;  // > 0 over the mark, < 0 short of it
  int arrivalLateS = 0;
  int departureLateS = 0;
  bool departed = false;  // departureLateS is meaningful
  int protectionEvents = 0;
  int points = 0;
  bool operator==(const HistoryStation&) const = default;
};

// A line's identity in the history: where it is, "package:ID" for a line installed from a
// package (kept when the package is updated) or the data folder's canonical path, and the line
// file's name (raw).
struct LineIdentity {
  std::string place;
  std::string line;
  bool operator==(const LineIdentity&) const = default;
};

// One drive.
struct HistoryRun {
  long long id = 0;   // given by the history
  std::string date;   // local, "YYYY-MM-DD hh:mm:ss"
  std::string train;  // the train file's name (raw)
  std::string line;   // the line file's name (raw)
  std::string place;  // where the line is (LineIdentity::place); empty: not known
  int score = 0;
  std::string recording;  // the recording's path; empty when none was written
  // How the drive ended: "complete" (stopped at the last station), "abandoned" (closed before)
  // or, for drives of an older program that never left their first station, "not-driven".
  std::string kind = "complete";
  bool practice = false;  // the move command or the frame, clock or speed keys were used
  std::vector<HistoryStation> stations;
  bool operator==(const HistoryRun&) const = default;
};

class DriveHistory {
 public:
  virtual ~DriveHistory() = default;
  // Adds a drive, all of it or nothing. False with `error` set when it could not be stored.
  virtual bool add(HistoryRun& run, std::string& error) = 0;
  // A train's best drive on a line (highest score, then earliest) of the complete drives that
  // were not practice; nullopt for none.
  virtual std::optional<HistoryRun> best(const LineIdentity& line, const std::string& train) = 0;
  // A train's latest drive on a line of any kind but not driven; nullopt for none.
  virtual std::optional<HistoryRun> last(const LineIdentity& line, const std::string& train) = 0;
  // Of the complete drives on the line that were not practice, whatever the train: how many
  // scored more than `score`, and how many there are.
  virtual bool rank(const LineIdentity& line, int score, int& better, int& total) = 0;
  // The recordings of every train's best drive on every line (those that have one).
  virtual std::vector<std::string> bestRecordings() = 0;
};

}  // namespace dravolin::platform
