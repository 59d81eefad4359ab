#include "db/engine_pool.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "db/connection.h"
#include "db/recordset.h"
#include "testing/fault_injector.h"
#include "testing/temp_databases.h"

namespace db {
namespace {

// Each case runs on the embedded backend and through SQLite's ODBC driver.
class EnginePoolTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    testing_support::CreateDatabase(path, "frontoffice");
    testing_support::OpenSqlite(path)->Execute("create table t (n int)");
  }
  std::unique_ptr<Connection> Pooled() {
    auto c = std::make_unique<Connection>();
    c->set_engine_pool(&pool);
    c->Open(GetParam() ? "Driver=SQLite3;Database=" + path + ";" : testing_support::SqliteConnectionString(path));
    return c;
  }
  int64_t Rows(Connection& c) { return CLng((*c.OpenRecordset("select count(*) as n from t"))["n"]); }

  testing_support::TempDir dir;
  std::string path = dir.File("pooled.db");
  EnginePool pool;
};

TEST_P(EnginePoolTest, AClosedConnectionLeavesItsEngineIdleForTheNextOpenOfTheSameString) {
  auto a = Pooled();
  a->BeginTransaction();
  a->Execute("insert into t values (1)");
  a->Close();  // its transaction is rolled back, not kept open in the pool
  EXPECT_EQ(pool.size(), 1u);

  auto outsider = testing_support::OpenSqlite(path);
  outsider->Execute("insert into t values (2)");  // the write lock was given up

  auto b = Pooled();
  EXPECT_EQ(pool.size(), 0u);
  b->BeginSnapshot();
  EXPECT_EQ(Rows(*b), 1);
  b->Close();  // its snapshot ends: the next connection sees what others wrote since
  EXPECT_EQ(pool.size(), 1u);
  outsider->Execute("insert into t values (3)");
  auto c = Pooled();
  EXPECT_EQ(Rows(*c), 2);
}

TEST_P(EnginePoolTest, AnEngineWhoseSnapshotCouldNotEndIsClosedNotKept) {
  auto a = Pooled();
  testing_support::FaultInjector faults;
  faults.FailMatching("END TRANSACTION", "refused");
  faults.Attach(*a);
  a->BeginSnapshot();
  EXPECT_EQ(Rows(*a), 0);
  EXPECT_THROW(a->EndSnapshot(), std::exception);  // the engine's read transaction stays open
  a->Close();
  EXPECT_EQ(pool.size(), 0u);
  testing_support::OpenSqlite(path)->Execute("insert into t values (2)");
  EXPECT_EQ(Rows(*Pooled()), 1);  // a fresh engine, not one stuck in the old snapshot
}

TEST_P(EnginePoolTest, AnEngineWhoseFileWasReplacedIsNotTakenAgain) {
  Pooled()->Close();
  ASSERT_EQ(pool.size(), 1u);
  std::string copy = dir.File("copy.db");
  testing_support::OpenSqlite(path)->Execute("VACUUM INTO '" + copy + "'");
  testing_support::OpenSqlite(copy)->Execute("insert into t values (7)");  // the copy alone
  std::filesystem::remove(path);
  std::filesystem::rename(copy, path);
  auto b = Pooled();
  EXPECT_EQ(Rows(*b), 1);
  b->Execute("insert into t values (8)");
  EXPECT_EQ(Rows(*b), 2);
}

TEST_P(EnginePoolTest, AConnectionReopensAsItIsOnlyWithItsPoolItsStringAndItsFile) {
  std::string same =
      GetParam() ? "Driver=SQLite3;Database=" + path + ";" : testing_support::SqliteConnectionString(path);
  OdbcOptions options;
  auto a = Pooled();
  a->BeginTransaction();  // what is open on it does not matter: it would go on
  EXPECT_TRUE(a->ReopensAsIs(same, options));
  EXPECT_FALSE(a->ReopensAsIs(same + "Timeout=10;", options));
  OdbcOptions other_timeout;
  other_timeout.query_timeout = options.query_timeout + 1;
  EXPECT_FALSE(a->ReopensAsIs(same, other_timeout));

  Connection unpooled;
  unpooled.Open(same);
  EXPECT_FALSE(unpooled.ReopensAsIs(same, options));

  std::string copy = dir.File("copy.db");
  testing_support::OpenSqlite(path)->Execute("VACUUM INTO '" + copy + "'");
  std::filesystem::remove(path);
  std::filesystem::rename(copy, path);
  EXPECT_FALSE(a->ReopensAsIs(same, options));  // a new engine would be opened on the new file
}

TEST_P(EnginePoolTest, ClearingThePoolClosesItsEnginesAsTheLastConnectionWould) {
  auto a = Pooled();
  a->Execute("insert into t values (1)");
  a->Close();
  EXPECT_TRUE(std::filesystem::exists(path + "-wal"));  // still open in the pool
  pool.Clear();
  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));  // checkpointed and removed on close
  EXPECT_EQ(Rows(*testing_support::OpenSqlite(path)), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, EnginePoolTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Odbc" : "Embedded"; });

}  // namespace
}  // namespace db
