#include "platform/sqlite_drive_history.h"

#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <system_error>
#include <thread>

namespace dravolin::platform {

namespace {

// Each step takes the schema from the version before it to its own.
constexpr const char* kMigrations[] = {
    // 1: the drives and their stations.
    "CREATE TABLE runs (id INTEGER PRIMARY KEY, date TEXT NOT NULL, train TEXT NOT NULL,"
    " line TEXT NOT NULL, score INTEGER NOT NULL);"
    "CREATE TABLE stations (run INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE,"
    " position INTEGER NOT NULL, station INTEGER NOT NULL, name TEXT NOT NULL,"
    " outcome TEXT NOT NULL, stop_cm INTEGER NOT NULL, arrival_late_s INTEGER NOT NULL,"
    " departure_late_s INTEGER NOT NULL, departed INTEGER NOT NULL,"
    " protection INTEGER NOT NULL, points INTEGER NOT NULL, PRIMARY KEY (run, position));",
    // 2: the recording of each drive, and the look-up by train.
    "ALTER TABLE runs ADD COLUMN recording TEXT NOT NULL DEFAULT '';"
    "CREATE INDEX runs_by_train ON runs (train, score);",
    // 3: how each drive ended and whether it was practice. Drives stored before are not driven
    // when no station after their first was judged, else abandoned: whether one reached the
    // line's last station is known only from its line, which the step to 4 reads.
    "ALTER TABLE runs ADD COLUMN kind TEXT NOT NULL DEFAULT 'complete';"
    "ALTER TABLE runs ADD COLUMN practice INTEGER NOT NULL DEFAULT 0;"
    "UPDATE runs SET kind = 'not-driven' WHERE NOT EXISTS"
    " (SELECT 1 FROM stations s WHERE s.run = runs.id AND s.outcome <> 'origin');"
    "UPDATE runs SET kind = 'abandoned' WHERE kind = 'complete';"
    "CREATE INDEX runs_by_line ON runs (line, kind, practice, score);",
    // 4: the line's identity, where the line is (identifyLines() fills it in for the drives
    // stored before, from their recordings).
    "ALTER TABLE runs ADD COLUMN place TEXT NOT NULL DEFAULT '';"
    "CREATE INDEX runs_by_place ON runs (place, line, train, kind, practice, score);",
};
static_assert(std::size(kMigrations) == SqliteDriveHistory::kSchemaVersion);

// The drives that count for a best drive and a rank.
#define DRAVOLIN_COUNTED "kind = 'complete' AND practice = 0"

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
  ~Statement() { sqlite3_finalize(s_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return s_ != nullptr; }
  void text(int i, const std::string& v) {
    sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  void integer(int i, long long v) { sqlite3_bind_int64(s_, i, v); }
  int step() { return sqlite3_step(s_); }
  std::string columnText(int i) {
    const unsigned char* t = sqlite3_column_text(s_, i);
    return t == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(t));
  }
  long long columnInt(int i) { return sqlite3_column_int64(s_, i); }

 private:
  sqlite3_stmt* s_ = nullptr;
};

}  // namespace

SqliteDriveHistory::SqliteDriveHistory(std::filesystem::path path, HistoryMigration migration)
    : path_(std::move(path)), migration_(std::move(migration)) {}

SqliteDriveHistory::~SqliteDriveHistory() { close(); }

void SqliteDriveHistory::close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool SqliteDriveHistory::exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error_ = message != nullptr ? message : sqlite3_errmsg(db_);
  sqlite3_free(message);
  return false;
}

void SqliteDriveHistory::rollback() {
  // Only an open transaction is rolled back, and its failure would say nothing new.
  if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
}

bool SqliteDriveHistory::writeAheadJournal() {
  // Turning a new database to the write-ahead journal needs it to itself; another program
  // creating it at the same time is waited for as long as any other write.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  while (true) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, &message);
    if (rc == SQLITE_OK) return true;
    const std::string text = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    if ((rc & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) {
      error_ = text;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool SqliteDriveHistory::open() {
  if (db_ != nullptr) return true;
  error_.clear();
  std::error_code ec;
  if (path_.has_parent_path()) std::filesystem::create_directories(path_.parent_path(), ec);
  if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    error_ = db_ != nullptr ? sqlite3_errmsg(db_) : "cannot open the database";
    close();
    return false;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  if (!writeAheadJournal() || !exec("PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL;") ||
      !migrate()) {
    close();
    return false;
  }
  return true;
}

bool SqliteDriveHistory::schemaVersion(long long& version) {
  Statement q(db_, "PRAGMA user_version");
  if (!q.ok() || q.step() != SQLITE_ROW) {
    error_ = sqlite3_errmsg(db_);
    return false;
  }
  version = q.columnInt(0);
  if (version > kSchemaVersion) {
    error_ = "the history was written by a newer version of the program (schema " +
             std::to_string(version) + ")";
    return false;
  }
  return true;
}

bool SqliteDriveHistory::migrate() {
  long long from = 0;
  if (!schemaVersion(from)) return false;
  if (from == kSchemaVersion) return true;
  // Every step in one write transaction, which waits for any other program's: the schema is
  // made whole or not at all, and made once when two programs open a new history together.
  if (!exec("BEGIN IMMEDIATE")) return false;
  bool done = schemaVersion(from);  // the version now that this program may write
  for (long long v = from; done && v < kSchemaVersion; ++v) {
    done = exec(kMigrations[v]);
    if (done && v + 1 == 4) done = identifyLines();
  }
  if (done && from < kSchemaVersion) {
    done = exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
  }
  if (done) done = exec("COMMIT");
  if (!done) rollback();
  return done;
}

bool SqliteDriveHistory::add(HistoryRun& run, std::string& error) {
  if (!open()) {
    error = error_;
    return false;
  }
  const auto fail = [&]() {
    error = sqlite3_errmsg(db_);
    rollback();
    return false;
  };
  if (!exec("BEGIN IMMEDIATE")) {
    error = error_;
    return false;
  }
  {
    Statement insert(db_,
                     "INSERT INTO runs (date, train, line, score, recording, kind, practice, place)"
                     " VALUES (?,?,?,?,?,?,?,?)");
    if (!insert.ok()) return fail();
    insert.text(1, run.date);
    insert.text(2, run.train);
    insert.text(3, run.line);
    insert.integer(4, run.score);
    insert.text(5, run.recording);
    insert.text(6, run.kind);
    insert.integer(7, run.practice ? 1 : 0);
    insert.text(8, run.place);
    if (insert.step() != SQLITE_DONE) return fail();
  }
  const long long id = sqlite3_last_insert_rowid(db_);
  for (std::size_t i = 0; i < run.stations.size(); ++i) {
    const HistoryStation& s = run.stations[i];
    Statement insert(db_,
                     "INSERT INTO stations (run, position, station, name, outcome, stop_cm,"
                     " arrival_late_s, departure_late_s, departed, protection, points)"
                     " VALUES (?,?,?,?,?,?,?,?,?,?,?)");
    if (!insert.ok()) return fail();
    insert.integer(1, id);
    insert.integer(2, static_cast<long long>(i));
    insert.integer(3, s.station);
    insert.text(4, s.nameUtf8);
    insert.text(5, s.outcome);
    insert.integer(6, s.stopErrorCm);
    insert.integer(7, s.arrivalLateS);
    insert.integer(8, s.departureLateS);
    insert.integer(9, s.departed ? 1 : 0);
    insert.integer(10, s.protectionEvents);
    insert.integer(11, s.points);
    if (insert.step() != SQLITE_DONE) return fail();
  }
  if (!exec("COMMIT")) {
    error = error_;
    rollback();
    return false;
  }
  run.id = id;
  return true;
}

std::optional<HistoryRun> SqliteDriveHistory::oneRun(const char* sql, const LineIdentity& line,
                                                     const std::string& train) {
  if (!open()) return std::nullopt;
  Statement q(db_, sql);
  if (!q.ok()) return std::nullopt;
  q.text(1, line.place);
  q.text(2, line.line);
  q.text(3, train);
  if (q.step() != SQLITE_ROW) return std::nullopt;
  HistoryRun r;
  r.id = q.columnInt(0);
  r.date = q.columnText(1);
  r.train = q.columnText(2);
  r.line = q.columnText(3);
  r.score = static_cast<int>(q.columnInt(4));
  r.recording = q.columnText(5);
  r.kind = q.columnText(6);
  r.practice = q.columnInt(7) != 0;
  r.place = q.columnText(8);
  Statement st(db_,
               "SELECT station, name, outcome, stop_cm, arrival_late_s, departure_late_s, departed,"
               " protection, points FROM stations WHERE run = ? ORDER BY position");
  if (!st.ok()) return r;
  st.integer(1, r.id);
  while (st.step() == SQLITE_ROW) {
    HistoryStation s;
    s.station = static_cast<int>(st.columnInt(0));
    s.nameUtf8 = st.columnText(1);
    s.outcome = st.columnText(2);
    s.stopErrorCm = static_cast<int>(st.columnInt(3));
    s.arrivalLateS = static_cast<int>(st.columnInt(4));
    s.departureLateS = static_cast<int>(st.columnInt(5));
    s.departed = st.columnInt(6) != 0;
    s.protectionEvents = static_cast<int>(st.columnInt(7));
    s.points = static_cast<int>(st.columnInt(8));
    r.stations.push_back(std::move(s));
  }
  return r;
}

#define DRAVOLIN_RUN_COLUMNS "id, date, train, line, score, recording, kind, practice, place"
#define DRAVOLIN_ON_LINE "place = ? AND line = ? AND train = ?"

std::optional<HistoryRun> SqliteDriveHistory::best(const LineIdentity& line,
                                                   const std::string& train) {
  return oneRun("SELECT " DRAVOLIN_RUN_COLUMNS " FROM runs WHERE " DRAVOLIN_ON_LINE
                " AND " DRAVOLIN_COUNTED " ORDER BY score DESC, id ASC LIMIT 1",
                line, train);
}

std::optional<HistoryRun> SqliteDriveHistory::last(const LineIdentity& line,
                                                   const std::string& train) {
  return oneRun("SELECT " DRAVOLIN_RUN_COLUMNS " FROM runs WHERE " DRAVOLIN_ON_LINE
                " AND kind <> 'not-driven' ORDER BY id DESC LIMIT 1",
                line, train);
}

bool SqliteDriveHistory::rank(const LineIdentity& line, int score, int& better, int& total) {
  if (!open()) return false;
  Statement q(db_,
              "SELECT COUNT(*), COALESCE(SUM(score > ?), 0) FROM runs WHERE place = ? AND line = ? "
              "AND " DRAVOLIN_COUNTED);
  if (!q.ok()) return false;
  q.integer(1, score);
  q.text(2, line.place);
  q.text(3, line.line);
  if (q.step() != SQLITE_ROW) return false;
  total = static_cast<int>(q.columnInt(0));
  better = static_cast<int>(q.columnInt(1));
  return true;
}

std::vector<std::string> SqliteDriveHistory::bestRecordings() {
  std::vector<std::string> files;
  if (!open()) return files;
  Statement q(db_,
              "SELECT r.recording FROM runs r WHERE r.recording <> '' AND r.id ="
              " (SELECT b.id FROM runs b WHERE b.place = r.place AND b.line = r.line"
              " AND b.train = r.train AND b.kind = 'complete'"
              " AND b.practice = 0 ORDER BY b.score DESC, b.id ASC LIMIT 1)");
  if (!q.ok()) return files;
  while (q.step() == SQLITE_ROW) files.push_back(q.columnText(0));
  return files;
}

namespace {

// The data folder and the line file a recording's header names ("# data-folder PATH",
// "# line NAME"); empty when the recording is gone or has no header.
std::pair<std::string, std::string> recordedLine(const std::string& recording) {
  std::ifstream in(recording, std::ios::binary);
  std::string folder;
  std::string line;
  std::string text;
  for (int n = 0; n < 64 && std::getline(in, text); ++n) {
    if (text.empty() || text[0] != '#') break;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.rfind("# data-folder ", 0) == 0) folder = text.substr(14);
    if (text.rfind("# line ", 0) == 0) line = text.substr(7);
  }
  return {folder, line};
}

}  // namespace

bool SqliteDriveHistory::identifyLines() {
  struct Row {
    long long id;
    std::string line;
    std::string recording;
    std::string kind;
  };
  std::vector<Row> rows;
  {
    Statement q(db_, "SELECT id, line, recording, kind FROM runs WHERE place = ''");
    if (!q.ok()) {
      error_ = sqlite3_errmsg(db_);
      return false;
    }
    while (q.step() == SQLITE_ROW) {
      rows.push_back({q.columnInt(0), q.columnText(1), q.columnText(2), q.columnText(3)});
    }
  }
  for (const Row& row : rows) {
    const auto [folder, recordedLineFile] = recordedLine(row.recording);
    if (folder.empty() || recordedLineFile != row.line) continue;  // not known: stays unplaced
    std::string place;
    if (migration_.placeOf) {
      place = migration_.placeOf(folder);
    } else {
      std::error_code ec;
      place = std::filesystem::weakly_canonical(folder, ec).string();
      if (ec) place = folder;
    }
    // The kind from the line: complete only when the drive stopped at its last stop.
    std::string kind = row.kind;
    if (kind != "not-driven" && migration_.lastStopOf) {
      if (const std::optional<int> lastStop = migration_.lastStopOf(folder, row.line)) {
        Statement q(db_,
                    "SELECT station, outcome FROM stations WHERE run = ?"
                    " ORDER BY position DESC LIMIT 1");
        q.integer(1, row.id);
        const bool reached = q.ok() && q.step() == SQLITE_ROW && q.columnInt(0) == *lastStop &&
                             q.columnText(1) == "stopped";
        kind = reached ? "complete" : "abandoned";
      }
    }
    Statement u(db_, "UPDATE runs SET place = ?, kind = ? WHERE id = ?");
    if (!u.ok()) {
      error_ = sqlite3_errmsg(db_);
      return false;
    }
    u.text(1, place);
    u.text(2, kind);
    u.integer(3, row.id);
    if (u.step() != SQLITE_DONE) {
      error_ = sqlite3_errmsg(db_);
      return false;
    }
  }
  return true;
}

std::filesystem::path SqliteDriveHistory::keepBeside(const HistoryRun& run) const {
  std::string stamp;
  for (char c : run.date) {
    if (c >= '0' && c <= '9') stamp += c;
    if (c == ' ') stamp += '-';
  }
  std::filesystem::path file = path_;
  file += ".unsaved-" + stamp + ".txt";
  std::ofstream out(file, std::ios::binary | std::ios::app);
  out << "date\t" << run.date << "\ntrain\t" << run.train << "\nline\t" << run.line << "\nscore\t"
      << run.score << "\nplace\t" << run.place << "\nrecording\t" << run.recording << "\nkind\t"
      << run.kind << "\npractice\t" << (run.practice ? 1 : 0) << "\n";
  for (const HistoryStation& s : run.stations) {
    out << "station\t" << s.station << '\t' << s.nameUtf8 << '\t' << s.outcome << '\t'
        << s.stopErrorCm << '\t' << s.arrivalLateS << '\t'
        << (s.departed ? std::to_string(s.departureLateS) : std::string("-")) << '\t'
        << s.protectionEvents << '\t' << s.points << '\n';
  }
  out.flush();
  return out ? file : std::filesystem::path();
}

}  // namespace dravolin::platform
