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
using platform::SqliteDriveHistory;

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
  const auto best = h.best("a.dat");
  ASSERT_TRUE(best);
  EXPECT_EQ(best->score, 95);
  EXPECT_EQ(best->id, 2);  // the earlier of two equal scores
  HistoryRun expected = run("a.dat", 95);
  expected.id = 2;
  EXPECT_EQ(*best, expected);
  EXPECT_EQ(h.last("a.dat")->score, 60);
  EXPECT_EQ(h.last("b.dat")->score, 10);
  EXPECT_FALSE(h.best("c.dat"));
  int better = 0;
  int total = 0;
  ASSERT_TRUE(h.rank("line.dat", 80, better, total));  // every train's drives on the line
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
  EXPECT_EQ(h.best("a.dat")->score, 80);
  EXPECT_EQ(h.best("b.dat")->score, 95);
  EXPECT_FALSE(h.best("c.dat"));
  const auto last = h.last("a.dat");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->score, 99);
  EXPECT_EQ(last->kind, "complete");
  EXPECT_TRUE(last->practice);
  EXPECT_EQ(h.last("c.dat")->kind, "abandoned");
  int better = -1, total = -1;
  ASSERT_TRUE(h.rank("l1", 85, better, total));  // a's 80 and b's 90 on l1
  EXPECT_EQ(better, 1);
  EXPECT_EQ(total, 2);
  ASSERT_TRUE(h.rank("l1", 90, better, total));  // a tie is not better
  EXPECT_EQ(better, 0);
  std::vector<std::string> kept = h.bestRecordings();
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<std::string>{"/rec/80.drs", "/rec/95.drs"}));
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

// A database of the first schema (no recordings) is brought up to date; its drives stay.
TEST_F(History, OlderSchemaIsMigratedOnOpen) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir_ / "history.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(db,
                   "CREATE TABLE runs (id INTEGER PRIMARY KEY, date TEXT NOT NULL, train "
                   "TEXT NOT NULL, line TEXT NOT NULL, score INTEGER NOT NULL);"
                   "CREATE TABLE stations (run INTEGER NOT NULL, position INTEGER NOT NULL,"
                   " station INTEGER NOT NULL, name TEXT NOT NULL, outcome TEXT NOT NULL,"
                   " stop_cm INTEGER NOT NULL, arrival_late_s INTEGER NOT NULL,"
                   " departure_late_s INTEGER NOT NULL, departed INTEGER NOT NULL,"
                   " protection INTEGER NOT NULL, points INTEGER NOT NULL,"
                   " PRIMARY KEY (run, position));"
                   "INSERT INTO runs VALUES (1, '2026-01-01 08:00:00', 'a.dat', 'l.dat', 77);"
                   "INSERT INTO stations VALUES (1, 0, 0, 'A', 'origin', 0, 0, 5, 1, 0, 100);"
                   "INSERT INTO stations VALUES (1, 1, 3, 'D', 'stopped', 8, 0, 0, 0, 0, 99);"
                   // closed at once: only the first station
                   "INSERT INTO runs VALUES (2, '2026-01-02 08:00:00', 'a.dat', 'l.dat', 100);"
                   "INSERT INTO stations VALUES (2, 0, 0, 'A', 'origin', 0, 0, 0, 0, 0, 100);"
                   // closed at C, short of D, the furthest stop on the line
                   "INSERT INTO runs VALUES (3, '2026-01-03 08:00:00', 'a.dat', 'l.dat', 90);"
                   "INSERT INTO stations VALUES (3, 0, 0, 'A', 'origin', 0, 0, 5, 1, 0, 100);"
                   "INSERT INTO stations VALUES (3, 1, 2, 'C', 'stopped', 8, 0, 0, 0, 0, 80);"
                   "PRAGMA user_version=1;",
                   nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);
  {
    SqliteDriveHistory h(dir_ / "history.db");
    ASSERT_TRUE(h.open()) << h.error();
    const auto old = h.best("a.dat");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->score, 77);
    EXPECT_EQ(old->recording, "");
    EXPECT_EQ(old->kind, "complete");
    EXPECT_FALSE(old->practice);
    EXPECT_EQ(old->stations.size(), 2u);
    EXPECT_EQ(query("SELECT group_concat(kind, ',') FROM (SELECT kind FROM runs ORDER BY id)"),
              "complete,not-driven,abandoned");
    EXPECT_EQ(h.last("a.dat")->score, 90);  // the drive that was never driven is not the last
    EXPECT_EQ(query("PRAGMA user_version"), "3");
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
  EXPECT_FALSE(h.best("a.dat"));
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
  EXPECT_EQ(h.best("a.dat")->score, 100);
}

}  // namespace
}  // namespace dravolin::testing
