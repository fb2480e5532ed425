#include "platform/sqlite_drive_history.h"

#include <sqlite3.h>

#include <ctime>
#include <fstream>
#include <system_error>

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
};
static_assert(std::size(kMigrations) == SqliteDriveHistory::kSchemaVersion);

constexpr int kBusyTimeoutMs = 1000;

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

SqliteDriveHistory::SqliteDriveHistory(std::filesystem::path path) : path_(std::move(path)) {}

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
  if (!exec("PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL;") ||
      !migrate()) {
    close();
    return false;
  }
  return true;
}

bool SqliteDriveHistory::migrate() {
  Statement version(db_, "PRAGMA user_version");
  if (!version.ok() || version.step() != SQLITE_ROW) {
    error_ = sqlite3_errmsg(db_);
    return false;
  }
  const long long from = version.columnInt(0);
  if (from > kSchemaVersion) {
    error_ = "the history was written by a newer version of the program (schema " +
             std::to_string(from) + ")";
    return false;
  }
  for (long long v = from; v < kSchemaVersion; ++v) {
    // One transaction per step: a step is done whole or not at all.
    const std::string sql = std::string("BEGIN IMMEDIATE;") + kMigrations[v] +
                            "PRAGMA user_version=" + std::to_string(v + 1) + ";COMMIT;";
    if (!exec(sql.c_str())) {
      exec("ROLLBACK");
      return false;
    }
  }
  return true;
}

bool SqliteDriveHistory::add(HistoryRun& run, std::string& error) {
  if (!open()) {
    error = error_;
    return false;
  }
  const auto fail = [&]() {
    error = sqlite3_errmsg(db_);
    exec("ROLLBACK");
    return false;
  };
  if (!exec("BEGIN IMMEDIATE")) {
    error = error_;
    return false;
  }
  {
    Statement insert(db_,
                     "INSERT INTO runs (date, train, line, score, recording) VALUES (?,?,?,?,?)");
    if (!insert.ok()) return fail();
    insert.text(1, run.date);
    insert.text(2, run.train);
    insert.text(3, run.line);
    insert.integer(4, run.score);
    insert.text(5, run.recording);
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
    exec("ROLLBACK");
    return false;
  }
  run.id = id;
  return true;
}

std::optional<HistoryRun> SqliteDriveHistory::oneRun(const char* sql, const std::string& train) {
  if (!open()) return std::nullopt;
  Statement q(db_, sql);
  if (!q.ok()) return std::nullopt;
  q.text(1, train);
  if (q.step() != SQLITE_ROW) return std::nullopt;
  HistoryRun r;
  r.id = q.columnInt(0);
  r.date = q.columnText(1);
  r.train = q.columnText(2);
  r.line = q.columnText(3);
  r.score = static_cast<int>(q.columnInt(4));
  r.recording = q.columnText(5);
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

std::optional<HistoryRun> SqliteDriveHistory::best(const std::string& train) {
  return oneRun(
      "SELECT id, date, train, line, score, recording FROM runs WHERE train = ?"
      " ORDER BY score DESC, id ASC LIMIT 1",
      train);
}

std::optional<HistoryRun> SqliteDriveHistory::last(const std::string& train) {
  return oneRun(
      "SELECT id, date, train, line, score, recording FROM runs WHERE train = ?"
      " ORDER BY id DESC LIMIT 1",
      train);
}

bool SqliteDriveHistory::rank(const std::string& train, const std::string& line, int score,
                              int& better, int& total) {
  if (!open()) return false;
  Statement q(
      db_, "SELECT COUNT(*), COALESCE(SUM(score > ?), 0) FROM runs WHERE train = ? AND line = ?");
  if (!q.ok()) return false;
  q.integer(1, score);
  q.text(2, train);
  q.text(3, line);
  if (q.step() != SQLITE_ROW) return false;
  total = static_cast<int>(q.columnInt(0));
  better = static_cast<int>(q.columnInt(1));
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
      << run.score << "\nrecording\t" << run.recording << "\n";
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
