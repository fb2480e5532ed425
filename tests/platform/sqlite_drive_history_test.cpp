#include "platform/sqlite_drive_history.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;
using platform::HistoryRun;
using platform::HistoryStation;
using platform::LineIdentity;
using platform::SqliteDriveHistory;

const LineIdentity kLine{"/data", "line.dat"};

class History : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dravolin_history_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static HistoryRun run(const std::string& train, int score, int stations = 3) {
    HistoryRun r;
    r.date = "2026-12-07 15:04:05";
    r.train = train;
    r.line = "line.dat";
    r.place = "/data";
    r.score = score;
    r.recording = "/rec/" + std::to_string(score) + ".drs";
    for (int i = 0; i < stations; ++i) {
      r.stations.push_back(
          {i, "駅" + std::to_string(i), i == 0 ? "origin" : "stopped", 40 - i, 3, i, true, 1, 90});
    }
    return r;
  }

  // Runs a query on the file with a connection of its own; the first column of the first row.
  std::string query(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open((dir_ / "history.db").c_str(), &db);
    sqlite3_stmt* s = nullptr;
    std::string value = "(error)";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(s, 0);
      value = t == nullptr ? "" : reinterpret_cast<const char*>(t);
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return value;
  }

  fs::path dir_;
};

TEST_F(History, KeepsBestAndLastRunPerTrain) {
  SqliteDriveHistory h(dir_ / "history.db");
  std::string error;
  struct Step {
    std::string train;
    int score;
  };
  for (const Step& s : std::vector<Step>{
           {"a.dat", 70}, {"a.dat", 95}, {"b.dat", 10}, {"a.dat", 95}, {"a.dat", 60}}) {
    HistoryRun r = run(s.train, s.score);
    ASSERT_TRUE(h.add(r, error)) << error;
    EXPECT_GT(r.id, 0);
  }
  const auto best = h.best(kLine, "a.dat");
  ASSERT_TRUE(best);
  EXPECT_EQ(best->score, 95);
  EXPECT_EQ(best->id, 2);  // the earlier of two equal scores
  HistoryRun expected = run("a.dat", 95);
  expected.id = 2;
  EXPECT_EQ(*best, expected);
  EXPECT_EQ(h.last(kLine, "a.dat")->score, 60);
  EXPECT_EQ(h.last(kLine, "b.dat")->score, 10);
  EXPECT_FALSE(h.best(kLine, "c.dat"));
  int better = 0;
  int total = 0;
  ASSERT_TRUE(h.rank(kLine, 80, better, total));  // every train's drives on the line
  EXPECT_EQ(better, 2);
  EXPECT_EQ(total, 5);
  EXPECT_EQ(query("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(query("PRAGMA user_version"), std::to_string(SqliteDriveHistory::kSchemaVersion));
}

// Only complete drives that were not practice count for the best and the rank; the last drive
// is the latest of any kind, and the best drives' recordings are named for keeping.
TEST_F(History, OnlyCompleteDrivesThatWereNotPracticeCount) {
  SqliteDriveHistory h(dir_ / "history.db");
  std::string error;
  struct Drive {
    std::string train, line;
    int score;
    const char* kind;
    bool practice;
  };
  for (const Drive& d : std::vector<Drive>{{"a.dat", "l1", 80, "complete", false},
                                           {"a.dat", "l1", 100, "abandoned", false},
                                           {"a.dat", "l1", 99, "complete", true},
                                           {"b.dat", "l1", 90, "complete", false},
                                           {"b.dat", "l2", 95, "complete", false},
                                           {"c.dat", "l1", 70, "abandoned", true}}) {
    HistoryRun r = run(d.train, d.score);
    r.line = d.line;
    r.kind = d.kind;
    r.practice = d.practice;
    ASSERT_TRUE(h.add(r, error)) << error;
  }
  const LineIdentity l1{"/data", "l1"};
  const LineIdentity l2{"/data", "l2"};
  EXPECT_EQ(h.best(l1, "a.dat")->score, 80);
  EXPECT_EQ(h.best(l1, "b.dat")->score, 90);  // the 95 was on another line
  EXPECT_EQ(h.best(l2, "b.dat")->score, 95);
  EXPECT_FALSE(h.best(l1, "c.dat"));
  EXPECT_FALSE(h.best({"/elsewhere", "l1"}, "a.dat"));
  const auto last = h.last(l1, "a.dat");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->score, 99);
  EXPECT_EQ(last->kind, "complete");
  EXPECT_TRUE(last->practice);
  EXPECT_EQ(h.last(l1, "c.dat")->kind, "abandoned");
  int better = -1, total = -1;
  ASSERT_TRUE(h.rank({"/data", "l1"}, 85, better, total));  // a's 80 and b's 90 on l1
  EXPECT_EQ(better, 1);
  EXPECT_EQ(total, 2);
  ASSERT_TRUE(h.rank({"/data", "l1"}, 90, better, total));  // a tie is not better
  EXPECT_EQ(better, 0);
  std::vector<std::string> kept = h.bestRecordings();
  std::sort(kept.begin(), kept.end());
  // b's best on each of its lines
  EXPECT_EQ(kept, (std::vector<std::string>{"/rec/80.drs", "/rec/90.drs", "/rec/95.drs"}));
}

// Two programs adding to a history that neither has created: each creates it or waits for the
// other, and no drive is lost.
TEST_F(History, TwoProgramsAddingToANewHistoryLoseNothing) {
  const fs::path file = dir_ / "history.db";
  constexpr int kEach = 200;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  pid_t children[2];
  for (pid_t& child : children) {
    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(go[1]);
      char c = 0;
      if (read(go[0], &c, 1) != 1) _exit(100);  // both start together
      SqliteDriveHistory h(file);
      std::string error;
      int failed = 0;
      for (int i = 0; i < kEach; ++i) {
        HistoryRun r = run("a.dat", i % 100, 3);
        if (!h.add(r, error)) {
          if (failed++ == 0) std::fprintf(stderr, "add failed: %s\n", error.c_str());
        }
      }
      _exit(failed > 99 ? 99 : failed);
    }
  }
  close(go[0]);
  ASSERT_EQ(write(go[1], "gg", 2), 2);
  close(go[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "adds that failed in one program";
  }
  EXPECT_EQ(query("SELECT COUNT(*) FROM runs"), std::to_string(2 * kEach));
  EXPECT_EQ(query("SELECT COUNT(*) FROM stations"), std::to_string(2 * kEach * 3));
  EXPECT_EQ(query("PRAGMA user_version"), std::to_string(SqliteDriveHistory::kSchemaVersion));
}

// Another program writing while this one would create the schema: the wait ends with the
// message of what failed (the lock), not with the rollback's.
TEST_F(History, TheFirstErrorIsTheOneReported) {
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dir_ / "history.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "PRAGMA journal_mode=WAL; BEGIN IMMEDIATE; CREATE TABLE x (y);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  SqliteDriveHistory h(dir_ / "history.db");
  EXPECT_FALSE(h.open());
  EXPECT_EQ(h.error(), "database is locked");
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(h.open()) << h.error();
}

// Databases of the older schemas are brought up to date in one step: every drive keeps its
// rows, finds its line's place from its recording's data folder, and is complete only when it
// stopped at its line's last stop (read from the line). Two drives that stopped at the first
// stop after the start of a longer line are not complete, whichever schema they were stored in.
TEST_F(History, OlderSchemasAreMigratedToTheLinesIdentity) {
  const auto recording = [&](const std::string& name, const std::string& folder,
                             const std::string& line) {
    const fs::path file = dir_ / name;
    std::ofstream(file) << "# dravolin recording 1\n# data-folder " << folder
                        << "\n# train a.dat\n# line " << line << "\n0 key 13\n";
    return file.string();
  };
  const std::string demo = recording("1.drs", "/lines/demo", "l.dat");
  const std::string made = recording("2.drs", "/home/u/made", "long.dat");
  const std::string installed = recording("3.drs", "/lib/sakura", "l.dat");
  const std::string elsewhere = recording("4.drs", "/gone", "l.dat");
  // Schema 2's tables (schema 1's with the recording), as the test builds them.
  const std::string schema2 =
      "CREATE TABLE runs (id INTEGER PRIMARY KEY, date TEXT NOT NULL, train TEXT NOT NULL,"
      " line TEXT NOT NULL, score INTEGER NOT NULL, recording TEXT NOT NULL DEFAULT '');"
      "CREATE TABLE stations (run INTEGER NOT NULL, position INTEGER NOT NULL,"
      " station INTEGER NOT NULL, name TEXT NOT NULL, outcome TEXT NOT NULL,"
      " stop_cm INTEGER NOT NULL, arrival_late_s INTEGER NOT NULL,"
      " departure_late_s INTEGER NOT NULL, departed INTEGER NOT NULL,"
      " protection INTEGER NOT NULL, points INTEGER NOT NULL, PRIMARY KEY (run, position));"
      "CREATE INDEX runs_by_train ON runs (train, score);";
  const auto row = [](int id, const std::string& line, int score, const std::string& rec,
                      std::vector<std::pair<int, const char*>> stations) {
    std::string sql = "INSERT INTO runs (id, date, train, line, score, recording) VALUES (" +
                      std::to_string(id) + ", '2026-01-0" + std::to_string(id % 10) +
                      " 08:00:00', 'a.dat', '" + line + "', " + std::to_string(score) + ", '" +
                      rec + "');";
    for (std::size_t i = 0; i < stations.size(); ++i) {
      sql += "INSERT INTO stations VALUES (" + std::to_string(id) + ", " + std::to_string(i) +
             ", " + std::to_string(stations[i].first) + ", 'S', '" + stations[i].second +
             "', 0, 0, 0, 1, 0, 100);";
    }
    return sql;
  };
  struct Drive {
    const char* what;
    std::string sql;
    const char* kind;
    const char* place;
    // Stored as complete by schema 3 and with no line to read: nothing says otherwise, so it
    // stays as it was stored.
    const char* kindFrom3 = nullptr;
  };
  // The demo's line l.dat stops last at station 3, the made line long.dat at station 5.
  const std::vector<Drive> drives = {
      {"to the last stop", row(1, "l.dat", 77, demo, {{0, "origin"}, {3, "stopped"}}), "complete",
       "/lines/demo"},
      {"never left", row(2, "l.dat", 100, demo, {{0, "origin"}}), "not-driven", "/lines/demo"},
      {"short of the last stop", row(3, "l.dat", 90, demo, {{0, "origin"}, {2, "stopped"}}),
       "abandoned", "/lines/demo"},
      {"through the last stop", row(4, "l.dat", 60, demo, {{0, "origin"}, {3, "passed"}}),
       "abandoned", "/lines/demo"},
      {"first stop of a longer line",
       row(5, "long.dat", 100, made, {{0, "origin"}, {1, "stopped"}}), "abandoned", "/home/u/made"},
      {"again", row(6, "long.dat", 100, made, {{0, "origin"}, {1, "stopped"}}), "abandoned",
       "/home/u/made"},
      {"an installed line", row(7, "l.dat", 95, installed, {{0, "origin"}, {3, "stopped"}}),
       "complete", "package:sakura"},
      {"a line that cannot be read",
       row(8, "l.dat", 88, elsewhere, {{0, "origin"}, {3, "stopped"}}), "abandoned", "/gone",
       "complete"},
      {"no recording", row(9, "l.dat", 85, "", {{0, "origin"}, {3, "stopped"}}), "abandoned", "",
       "complete"},
  };
  platform::HistoryMigration migration;
  migration.placeOf = [](const std::string& folder) {
    return folder == "/lib/sakura" ? std::string("package:sakura") : folder;
  };
  migration.lastStopOf = [](const std::string& folder,
                            const std::string& line) -> std::optional<int> {
    if (folder == "/gone") return std::nullopt;
    return line == "long.dat" ? 5 : 3;
  };
  for (const int from : {2, 3}) {
    SCOPED_TRACE("from schema " + std::to_string(from));
    fs::remove(dir_ / "history.db");
    std::string sql = schema2;
    for (const Drive& d : drives) sql += d.sql;
    if (from == 3) {
      // As the former step to schema 3 left them: every drive that judged a station after its
      // first, and whose last station was the furthest stop on its line, "complete".
      sql +=
          "ALTER TABLE runs ADD COLUMN kind TEXT NOT NULL DEFAULT 'complete';"
          "ALTER TABLE runs ADD COLUMN practice INTEGER NOT NULL DEFAULT 0;"
          "UPDATE runs SET kind = 'not-driven' WHERE id = 2;"
          "UPDATE runs SET kind = 'abandoned' WHERE id IN (3, 4);";
    }
    sql += "PRAGMA user_version=" + std::to_string(from) + ";";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir_ / "history.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    SqliteDriveHistory h(dir_ / "history.db", migration);
    ASSERT_TRUE(h.open()) << h.error();
    EXPECT_EQ(query("PRAGMA user_version"), "4");
    for (std::size_t i = 0; i < drives.size(); ++i) {
      SCOPED_TRACE(drives[i].what);
      const std::string id = std::to_string(i + 1);
      EXPECT_EQ(query("SELECT kind FROM runs WHERE id = " + id),
                from == 3 && drives[i].kindFrom3 ? drives[i].kindFrom3 : drives[i].kind);
      EXPECT_EQ(query("SELECT place FROM runs WHERE id = " + id), drives[i].place);
    }
    EXPECT_EQ(query("SELECT COUNT(*) FROM stations"), "17");
    EXPECT_EQ(h.best({"/lines/demo", "l.dat"}, "a.dat")->score, 77);
    EXPECT_EQ(h.best({"package:sakura", "l.dat"}, "a.dat")->score, 95);
    EXPECT_FALSE(h.best({"/home/u/made", "long.dat"}, "a.dat"));
    EXPECT_EQ(h.last({"/home/u/made", "long.dat"}, "a.dat")->score, 100);
  }
  // A database of a newer program is left alone.
  query("PRAGMA user_version=9");
  SqliteDriveHistory newer(dir_ / "history.db");
  EXPECT_FALSE(newer.open());
  EXPECT_NE(newer.error().find("newer version"), std::string::npos) << newer.error();
}

// A file that is not a database: the drive is refused with the reason, and kept beside it.
TEST_F(History, CorruptFileKeepsTheDriveBesideIt) {
  std::ofstream(dir_ / "history.db", std::ios::binary) << std::string(8192, 'x');
  SqliteDriveHistory h(dir_ / "history.db");
  HistoryRun r = run("a.dat", 50);
  std::string error;
  EXPECT_FALSE(h.add(r, error));
  EXPECT_NE(error.find("not a database"), std::string::npos) << error;
  EXPECT_FALSE(h.best(kLine, "a.dat"));
  const fs::path kept = h.keepBeside(r);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.parent_path(), dir_);
  std::ifstream in(kept);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "date\t2026-12-07 15:04:05");
}

// Another program holding the database: the drive is refused after the wait, not held up.
TEST_F(History, LockedDatabaseFailsAfterItsWait) {
  SqliteDriveHistory h(dir_ / "history.db");
  ASSERT_TRUE(h.open()) << h.error();
  sqlite3* other = nullptr;
  sqlite3_open((dir_ / "history.db").c_str(), &other);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  HistoryRun r = run("a.dat", 50);
  std::string error;
  EXPECT_FALSE(h.add(r, error));
  EXPECT_NE(error.find("locked"), std::string::npos) << error;
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(h.add(r, error)) << error;
}

// A process killed while it writes drives leaves every drive it committed whole, and no part
// of the one it was writing.
TEST_F(History, KilledWriterLeavesWholeDrives) {
  const fs::path file = dir_ / "history.db";
  {
    SqliteDriveHistory h(file);
    ASSERT_TRUE(h.open()) << h.error();
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SqliteDriveHistory h(file);
    std::string error;
    for (int i = 0;; ++i) {
      HistoryRun r = run("a.dat", i % 100, 40);
      if (!h.add(r, error)) _exit(3);
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own: " << status;

  EXPECT_EQ(query("PRAGMA integrity_check"), "ok");
  const int runs = std::stoi(query("SELECT COUNT(*) FROM runs"));
  EXPECT_GT(runs, 0);
  EXPECT_EQ(query("SELECT COUNT(*) FROM (SELECT run FROM stations GROUP BY run "
                  "HAVING COUNT(*) <> 40)"),
            "0");
  EXPECT_EQ(query("SELECT COUNT(DISTINCT run) FROM stations"), std::to_string(runs));
  SqliteDriveHistory h(file);
  HistoryRun r = run("a.dat", 100);
  std::string error;
  EXPECT_TRUE(h.add(r, error)) << error;
  EXPECT_EQ(h.best(kLine, "a.dat")->score, 100);
}

}  // namespace
}  // namespace dravolin::testing
