#include "run/connections.h"

#include <gtest/gtest.h>

#include "testing/context_fixture.h"

namespace velkaris {
namespace {

class ConnectionsTest : public testing_support::ContextTest {
 protected:
  void SetUp() override {
    ctx.connDbLocale.reset();
    ctx.connDbPuntoCassa.reset();
    RegisterDatabases();
  }
  std::string Back() { return testing_support::SqliteConnectionString(dbs.back_path); }
};

TEST_F(ConnectionsTest, OpensBothPairsAndLogsTheStartLines) {
  ASSERT_TRUE(AvviaConnessioneBackoffice(ctx, true));
  ASSERT_TRUE(AvviaConnessionePcassa(ctx, true));
  EXPECT_EQ(ctx.connDbLocale->State(), 1);
  EXPECT_EQ(ctx.objSQL_ConnDbLocale->State(), 1);
  EXPECT_EQ(ctx.objSQL_ConnDbPuntoCassa->ConnectionString(), ctx.connDbPuntoCassa->ConnectionString());
  EXPECT_EQ(ctx.objSQL_ConnDbPuntoCassa->Mode(), 2);
  auto lines = SyncLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "04/12/2026 19:05:11 - Avviata connessione: " + Back());
  EXPECT_EQ(lines[1], "04/12/2026 19:05:11 - Avviata connessione cassa: " +
                          testing_support::SqliteConnectionString(dbs.front_path));
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(ConnectionsTest, TimeoutOfOneBecomesTenExactlyAndEverywhere) {
  struct Case {
    std::string suffix, opened;
  };
  const Case cases[] = {
      {"Timeout=1;", "Timeout=10;"},
      {"Connect Timeout=1;Timeout=1;", "Connect Timeout=10;Timeout=10;"},
      {"ConnectTimeout=1;", "ConnectTimeout=10;"},
      {"timeout=1;", "timeout=1;"},
      {"Timeout=15;", "Timeout=15;"},
      {"Timeout=1", "Timeout=1"},
  };
  for (const Case& c : cases) {
    SetRegistryText("Velkarys.ConnDBLocale.ConnectionString", Back() + c.suffix);
    ASSERT_TRUE(AvviaConnessioneBackoffice(ctx, true)) << c.suffix;
    EXPECT_EQ(ctx.connDbLocale->ConnectionString(), Back() + c.opened);
    EXPECT_EQ(SyncLogLines().back(), "04/12/2026 19:05:11 - Avviata connessione: " + Back() + c.opened);
  }
}

TEST_F(ConnectionsTest, WithoutTheLogFlagNothingIsWritten) {
  ASSERT_TRUE(AvviaConnessioneBackoffice(ctx, false));
  ASSERT_TRUE(AvviaConnessionePcassa(ctx, false));
  EXPECT_TRUE(SyncLogLines().empty());
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(ConnectionsTest, ReconnectingReplacesThePairAndClosesTheOldOne) {
  ASSERT_TRUE(AvviaConnessioneBackoffice(ctx, false));
  ctx.connDbLocale->Execute("delete from tabValute");
  ASSERT_TRUE(AvviaConnessioneBackoffice(ctx, false));
  // A new connection (the old one's address may be reused): it has sent nothing yet, and the
  // old one's statement is kept in the count of retired connections.
  EXPECT_EQ(ctx.connDbLocale->statement_count(), 0u);
  EXPECT_EQ(ctx.retired_statements, 1u);
  // The previous connection already closed: it is simply replaced.
  ctx.connDbLocale->Close();
  ASSERT_TRUE(AvviaConnessioneBackoffice(ctx, false));
  EXPECT_EQ(ctx.connDbLocale->State(), 1);
}

TEST_F(ConnectionsTest, MissingOrUnreachableDatabasesAreExplainedInTheErrorLog) {
  ctx.registry = platform::Registry();
  EXPECT_FALSE(AvviaConnessioneBackoffice(ctx, true));
  SetRegistryText("Velkarys.ConnDBPuntoCassa.ConnectionString", "Provider=SQLite;Data Source=" +
                                                                    dbs.dir.File("nowhere.db") + ";");
  EXPECT_FALSE(AvviaConnessionePcassa(ctx, true));
  auto back = ErrorsFrom("AvviaConnessioneBackoffice");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_NE(back[0].find("Velkarys.ConnDBLocale.ConnectionString"), std::string::npos) << back[0];
  EXPECT_NE(back[0].find("empty"), std::string::npos);
  auto front = ErrorsFrom("AvviaConnessionePcassa");
  ASSERT_EQ(front.size(), 1u);
  EXPECT_NE(front[0].find("nowhere.db"), std::string::npos) << front[0];
  EXPECT_TRUE(SyncLogLines().empty());
  EXPECT_EQ(ctx.connDbPuntoCassa->State(), 0);
}

TEST_F(ConnectionsTest, ACompanionObjectThatDoesNotConnectIsReported) {
  int created = 0;
  ctx.connection_created = [&](db::Connection&) {
    if (++created == 2) throw db::Error("refused");  // the companion's own connection
  };
  EXPECT_FALSE(AvviaConnessionePcassa(ctx, true));
  auto lines = ErrorsFrom("TovoVelkaris_Scontrino");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "04/12/2026 19:05:11 :Connessione 'objSQL_ConnDbPuntoCassa' non avvenuta con database "
                      "frontoffice. Procedura Velkaris non avviata. Oggetto: MODULO \\TovoVelkaris_Scontrino");
  EXPECT_TRUE(SyncLogLines().empty());
}

TEST_F(ConnectionsTest, CloseAllConnectionsLeavesNothingOpen) {
  ASSERT_TRUE(AvviaConnessioneBackoffice(ctx, false));
  ASSERT_TRUE(AvviaConnessionePcassa(ctx, false));
  ctx.connDbPuntoCassa->Close();
  CloseAllConnections(ctx);
  EXPECT_EQ(ctx.connDbLocale->State(), 0);
  EXPECT_EQ(ctx.objSQL_ConnDbLocale->State(), 0);
  EXPECT_EQ(ctx.objSQL_ConnDbPuntoCassa->State(), 0);
}

}  // namespace
}  // namespace velkaris
