// The history of drives: every finished drive with its score and its stations, kept per user.
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

// One drive.
struct HistoryRun {
  long long id = 0;   // given by the history
  std::string date;   // local, "YYYY-MM-DD hh:mm:ss"
  std::string train;  // the train file's name (raw)
  std::string line;   // the line file's name (raw)
  int score = 0;
  std::string recording;  // the recording's path; empty when none was written
  std::vector<HistoryStation> stations;
  bool operator==(const HistoryRun&) const = default;
};

class DriveHistory {
 public:
  virtual ~DriveHistory() = default;
  // Adds a drive, all of it or nothing. False with `error` set when it could not be stored.
  virtual bool add(HistoryRun& run, std::string& error) = 0;
  // The best (highest score, then earliest) and the latest drive of a train; nullopt for none.
  virtual std::optional<HistoryRun> best(const std::string& train) = 0;
  virtual std::optional<HistoryRun> last(const std::string& train) = 0;
  // How many drives of the train on the line scored more than `score`, and how many there are.
  virtual bool rank(const std::string& train, const std::string& line, int score, int& better,
                    int& total) = 0;
};

}  // namespace dravolin::platform
