#include "platform/sqlite_drive_history.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
  ASSERT_TRUE(h.rank("a.dat", "line.dat", 80, better, total));
  EXPECT_EQ(better, 2);
  EXPECT_EQ(total, 4);
  EXPECT_EQ(query("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(query("PRAGMA user_version"), std::to_string(SqliteDriveHistory::kSchemaVersion));
}

// A database of the first schema (no recordings) is brought up to date; its drives stay.
TEST_F(History, OlderSchemaIsMigratedOnOpen) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir_ / "history.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE runs (id INTEGER PRIMARY KEY, date TEXT NOT NULL, train "
                         "TEXT NOT NULL, line TEXT NOT NULL, score INTEGER NOT NULL);"
                         "CREATE TABLE stations (run INTEGER NOT NULL, position INTEGER NOT NULL,"
                         " station INTEGER NOT NULL, name TEXT NOT NULL, outcome TEXT NOT NULL,"
                         " stop_cm INTEGER NOT NULL, arrival_late_s INTEGER NOT NULL,"
                         " departure_late_s INTEGER NOT NULL, departed INTEGER NOT NULL,"
                         " protection INTEGER NOT NULL, points INTEGER NOT NULL,"
                         " PRIMARY KEY (run, position));"
                         "INSERT INTO runs VALUES (1, '2026-01-01 08:00:00', 'a.dat', 'l.dat', 77);"
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
    EXPECT_EQ(query("PRAGMA user_version"), "2");
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
