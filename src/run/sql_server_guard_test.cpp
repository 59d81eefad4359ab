// The connections and the guard against the scripted SQL Server: what a till presents at
// login, what the guard asks, and the settings that reach the driver.
#include <gtest/gtest.h>

#include <chrono>

#include "run/connections.h"
#include "run/guard.h"
#include "testing/context_fixture.h"
#include "testing/tds_server.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::TdsReply;
using testing_support::TdsResultSet;
using testing_support::TdsServer;
using testing_support::tds::ColumnKind;

class SqlServerGuardTest : public testing_support::ContextTest {
 protected:
  void SetUp() override {
    ctx.computer_name = kLongName;
    // A string migrated from another till: its own workstation id, no application name.
    SetRegistryText("Velkarys.ConnDBLocale.ConnectionString",
                    "Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(server.port()) +
                        ";Initial Catalog=Backoffice;User ID=velkaris;Password=secret;Workstation ID=OLDTILL;");
  }
  void Granted(int value) {
    TdsReply reply;
    reply.results.push_back({{{"granted", ColumnKind::kInt}}, {{Value(value)}}});
    server.On("HAS_PERMS_BY_NAME", reply);
  }

  static constexpr const char* kLongName = "till-04-of-the-shop-in-the-main-street-1";
  TdsServer server;
};

TEST_F(SqlServerGuardTest, TheTillPresentsItsWholeNameAndTheProgramAndTheGuardComparesWithTheSameName) {
  Granted(1);
  TdsReply other_till;
  other_till.results.push_back(
      {{{"spid", ColumnKind::kInt}, {"hostname", ColumnKind::kNVarChar, 128}, {"program_name", ColumnKind::kNVarChar, 128}},
       {{Value(61), Value("TILL2"), Value("Velkaris")}}});
  server.On("sys.sysprocesses", other_till);
  ASSERT_TRUE(AvviaConnessioneBackoffice(ctx, false));
  ASSERT_FALSE(server.logins().empty());
  for (const auto& login : server.logins()) {  // the connection and its companion object
    EXPECT_EQ(login.host_name, kLongName);
    EXPECT_EQ(login.app_name, "Velkaris");
  }

  EXPECT_TRUE(EsistonoTransazioniInCorso(ctx));
  auto asked = server.RequestsWith("sys.sysprocesses");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].sql, std::string("SELECT * FROM sys.sysprocesses WHERE dbid > 0 and hostname<> '") + kLongName +
                              "' and program_name ='Velkaris' and last_batch > dateadd(\"mi\", -10, getdate())");
  auto lines = SyncLogLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2], "spid: 61");
  EXPECT_EQ(lines[3], "hostname: TILL2");
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(SqlServerGuardTest, ALoginWithoutViewServerStateIsToldOnceAndTheRunGoesOn) {
  Granted(0);
  ASSERT_TRUE(AvviaConnessioneBackoffice(ctx, false));
  EXPECT_FALSE(EsistonoTransazioniInCorso(ctx));
  auto warnings = ErrorsFrom("EsistonoTransazioniInCorso");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("VIEW SERVER STATE"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[0].find("GRANT VIEW SERVER STATE TO"), std::string::npos) << warnings[0];
  // The guard switched off asks nothing at all.
  SetRegistryText("Velkarissysprocesses", "0", "options");
  size_t before = server.requests().size();
  EXPECT_FALSE(EsistonoTransazioniInCorso(ctx));
  EXPECT_EQ(server.requests().size(), before);
}

TEST_F(SqlServerGuardTest, TheRegistrysQueryTimeoutEndsAStatementThatNeverReturns) {
  SetRegistryNumber("Velkarys.CommandTimeout", 1);
  server.On("update tabContatoriID", TdsReply::Hang());
  ASSERT_TRUE(AvviaConnessioneBackoffice(ctx, false));
  auto start = std::chrono::steady_clock::now();
  try {
    ctx.connDbLocale->Execute("update tabContatoriID set UltimoID=UltimoID+1");
    FAIL() << "a statement that never returns did return";
  } catch (const db::Error& e) {
    EXPECT_NE(std::string(e.what()).find("[HYT00/"), std::string::npos) << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(server.attentions(), 1);
}

}  // namespace
}  // namespace velkaris
