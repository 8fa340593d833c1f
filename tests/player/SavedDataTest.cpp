#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "player/SavedData.h"
#include "tests/common/Sandbox.h"

namespace fs = std::filesystem;

namespace {

class SavedData : public vtest::Sandbox {};

// A database that reads back whole stays; one that does not is moved with its
// journal into a folder beside the store, under the same relative path.
TEST_F(SavedData, OnlyDamagedDatabasesAreSetAsideWithTheirJournals) {
  const std::string store = path("data/movies").string();
  fs::create_directories(store);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((store + "/sound.localstorage").c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "create table t(x); insert into t values(1);", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const struct {
    std::string name, content;
    bool setAside;
  } files[] = {
      {"localstorage/game.localstorage", "not a database", true},
      {"localstorage/game.localstorage-wal", "its journal", true},
      {"idb/v1/origin/IndexedDB.sqlite3", std::string(4096, '\0') + "x", true},
      {"empty.localstorage", "", false},
      {"storage/salt", "not a database, not one of its names", false},
  };
  for (const auto& f : files) writeFile("data/movies/" + f.name, f.content);

  std::vector<player::SetAside> moved;
  ASSERT_TRUE(player::prepareSavedData(store, moved));
  EXPECT_EQ(moved.size(), 2u);
  EXPECT_TRUE(fs::exists(store + "/sound.localstorage"));
  fs::path aside;
  for (const auto& entry : fs::directory_iterator(path("data")))
    if (entry.path().filename().string().rfind("damaged-", 0) == 0) aside = entry.path();
  ASSERT_FALSE(aside.empty());
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(fs::exists(store + "/" + f.name), !f.setAside);
    EXPECT_EQ(fs::exists(aside / f.name), f.setAside);
  }
  EXPECT_EQ(fs::status(store).permissions() & fs::perms::all, fs::perms::owner_all);

  writeFile("file", "");
  EXPECT_FALSE(player::prepareSavedData(path("file/movies").string(), moved));
}

}  // namespace
