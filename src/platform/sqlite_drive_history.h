// The drive history in one SQLite database file. The schema carries its version (user_version)
// and is brought up to date when the file is opened, inside one write transaction that waits its
// turn, so programs opening a new history together create it once; the journal is write-ahead,
// and every drive is written in one transaction, so a program killed while writing leaves the
// drives before it whole and none half-written. A file that is not a database, or one locked by
// another program for longer than kBusyTimeoutMs, makes the calls fail with the first error's
// message; the caller keeps the result elsewhere (keepBeside()) and the drive is not held up.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/drive_history.h"

struct sqlite3;

namespace dravolin::platform {

// What the migration to the line's identity (schema 4) asks of the program: drives stored before
// name their line by its file alone, and find their data folder in their recording's header.
struct HistoryMigration {
  // The identity of a data folder (LineIdentity::place); none: its canonical path.
  std::function<std::string(const std::string& dataFolder)> placeOf;
  // The index of the last station of the line file (raw name) in the data folder at which a
  // drive stops (the station a complete drive ends at); nullopt when the line cannot be read.
  // None: no line is read, and no drive is taken as complete that was not stored as one.
  std::function<std::optional<int>(const std::string& dataFolder, const std::string& lineFile)>
      lastStopOf;
};

class SqliteDriveHistory final : public DriveHistory {
 public:
  // The schema version this program writes.
  static constexpr int kSchemaVersion = 4;
  // How long a call waits for another program's write to end.
  static constexpr int kBusyTimeoutMs = 1000;

  explicit SqliteDriveHistory(std::filesystem::path path, HistoryMigration migration = {});
  ~SqliteDriveHistory() override;
  SqliteDriveHistory(const SqliteDriveHistory&) = delete;
  SqliteDriveHistory& operator=(const SqliteDriveHistory&) = delete;

  // Opens (creating and migrating) the database; false with error() set when it cannot. The
  // other calls open it first when it is not open.
  bool open();
  const std::string& error() const { return error_; }
  const std::filesystem::path& path() const { return path_; }

  bool add(HistoryRun& run, std::string& error) override;
  std::optional<HistoryRun> best(const LineIdentity& line, const std::string& train) override;
  std::optional<HistoryRun> last(const LineIdentity& line, const std::string& train) override;
  bool rank(const LineIdentity& line, int score, int& better, int& total) override;
  std::vector<std::string> bestRecordings() override;

  // Writes a drive that could not be stored to a text file beside the database
  // ("history.db.unsaved-YYYYMMDD-hhmmss.txt"); returns its path, or empty when that failed too.
  std::filesystem::path keepBeside(const HistoryRun& run) const;

 private:
  // Runs `sql`; on failure keeps its message in error_ unless an earlier one is kept.
  bool exec(const char* sql);
  // Ends a failed transaction without losing the message of what failed.
  void rollback();
  // Sets the write-ahead journal, waiting while another program holds the database.
  bool writeAheadJournal();
  // The schema version of the file; false for an error or a version newer than this program's.
  bool schemaVersion(long long& version);
  bool migrate();
  // Schema 4: each drive's place from its recording, and its kind again from its line.
  bool identifyLines();
  void close();
  std::optional<HistoryRun> oneRun(const char* sql, const LineIdentity& line,
                                   const std::string& train);

  std::filesystem::path path_;
  HistoryMigration migration_;
  sqlite3* db_ = nullptr;
  std::string error_;
};

}  // namespace dravolin::platform
