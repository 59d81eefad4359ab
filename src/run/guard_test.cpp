#include "run/guard.h"

#include <gtest/gtest.h>

#include "data/new_ids.h"
#include "testing/context_fixture.h"
#include "testing/fault_injector.h"

namespace velkaris {
namespace {

class GuardTest : public testing_support::ContextTest {
 protected:
  void SetUp() override { ctx.computer_name = "TILL1"; }
  void Process(int spid, const char* host, const char* program, const char* age) {
    ctx.connDbLocale->Execute(std::string("insert into sysprocesses (spid, dbid, hostname, program_name, last_batch, "
                                          "status) values (") + std::to_string(spid) + ", 5, '" + host + "', '" +
                              program + "', datetime('now','localtime','" + age + "'), NULL)");
  }
};

TEST_F(GuardTest, OtherTillsActiveInTheLastTenMinutesStopTheRun) {
  Process(51, "TILL2", "Velkaris", "-1 minutes");
  Process(52, "TILL3", "Velkaris", "-3 minutes");
  Process(53, "TILL4", "Velkaris", "-11 minutes");  // too old
  Process(54, "TILL5", "Other", "-1 minutes");      // another program
  Process(55, "TILL1", "Velkaris", "-1 minutes");   // this machine
  EXPECT_TRUE(EsistonoTransazioniInCorso(ctx));
  auto lines = SyncLogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "04/12/2026 19:05:11 - Esistono una o più transazioni Velkaris pendenti su SQL.");
  EXPECT_EQ(lines[1], "04/12/2026 19:05:11 - Riga record: 1");
  EXPECT_EQ(lines[2], "spid: 51");
  // Every column of the row, by name; a Null adds nothing after the colon.
  auto status = std::find(lines.begin(), lines.end(), "status: ");
  EXPECT_NE(status, lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "hostname: TILL2"), lines.end());
  auto second = std::find(lines.begin(), lines.end(), "04/12/2026 19:05:11 - Riga record: 2");
  ASSERT_NE(second, lines.end());
  EXPECT_EQ(*(second - 1), "");  // each block ends with an empty line
  EXPECT_EQ(*(second + 1), "spid: 52");
  EXPECT_EQ(lines.back(), "");
  size_t columns = ctx.connDbLocale->TableColumns("sysprocesses").size();
  EXPECT_EQ(lines.size(), 1 + 2 * (1 + columns + 1));
}

TEST_F(GuardTest, OnlyThisMachineOrNobodyLetsTheRunGoOn) {
  Process(55, "TILL1", "Velkaris", "-1 minutes");
  EXPECT_FALSE(EsistonoTransazioniInCorso(ctx));
  EXPECT_TRUE(SyncLogLines().empty());
}

TEST_F(GuardTest, SwitchedOffWithZeroSendsNoQuery) {
  Process(51, "TILL2", "Velkaris", "-1 minutes");
  testing_support::FaultInjector recorder;
  recorder.Attach(*ctx.connDbLocale);
  SetRegistryText("Velkarissysprocesses", "0", "options");
  EXPECT_FALSE(EsistonoTransazioniInCorso(ctx));
  EXPECT_TRUE(recorder.statements().empty());
  SetRegistryText("Velkarissysprocesses", "no", "options");
  EXPECT_TRUE(EsistonoTransazioniInCorso(ctx));
  EXPECT_EQ(recorder.StatementsMatching("sys.sysprocesses").size(), 1u);
}

TEST_F(GuardTest, AFailingCheckIsLoggedAndLetsTheRunGoOn) {
  testing_support::FaultInjector faults;
  faults.FailMatching("sysprocesses", "The SELECT permission was denied on the object 'sysprocesses'.");
  faults.Attach(*ctx.connDbLocale);
  EXPECT_FALSE(EsistonoTransazioniInCorso(ctx));
  ASSERT_EQ(ErrorsFrom("EsistonoTransazioniInCorso").size(), 1u);
  EXPECT_NE(ErrorsFrom("EsistonoTransazioniInCorso")[0].find("permission"), std::string::npos);
  EXPECT_FALSE(funGetNomeComputer(ctx).empty());
}

// ---- New identifiers --------------------------------------------------------

TEST_F(GuardTest, NewIdsComeFromGetNewIdAndAreNeverBelowOne) {
  EXPECT_EQ(funGetNuovoIdGENERICO(ctx, "tabTestateScontrini", "idTestata", *ctx.connDbLocale, -1, -1), 1);
  EXPECT_EQ(funGetNuovoIdGENERICO(ctx, "tabTestateScontrini", "idTestata", *ctx.connDbLocale, -1, -1), 2);
  // A table whose own ids are all negative, or a counter gone below zero, still gives 1: no id
  // below 1 is ever handed out.
  ctx.connDbLocale->Execute("insert into tabConti (ID) values (-1)");
  EXPECT_EQ(funGetNuovoIdGENERICO(ctx, "tabConti", "ID", *ctx.connDbLocale), 1);
  ctx.connDbLocale->Execute("delete from tabContatoriID");
  ctx.connDbLocale->Execute("insert into tabConti (ID) values (-10)");
  ctx.connDbLocale->Execute("delete from tabConti where ID=-1");
  EXPECT_EQ(funGetNuovoId(ctx, "dbo", "tabConti", "ID", *ctx.connDbLocale), 1);
  ctx.connDbLocale->Execute("update tabContatoriID set UltimoID=-5");
  EXPECT_EQ(funGetNuovoId(ctx, "dbo", "tabConti", "ID", *ctx.connDbLocale), 1);
  EXPECT_EQ(funGetNuovoId(ctx, "dbo", "tabConti", "ID", *ctx.connDbLocale), 2);
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(GuardTest, ARaisedErrorGivesZeroWithOneEntry) {
  testing_support::FaultInjector faults;
  faults.FailMatching("GetNewID", "Could not find stored procedure 'GetNewID'.");
  faults.Attach(*ctx.connDbLocale);
  EXPECT_EQ(funGetNuovoIdGENERICO(ctx, "tabTestateScontrini", "idTestata", *ctx.connDbLocale), 0);
  EXPECT_EQ(ErrorLogLines().size(), 1u);
  EXPECT_EQ(ErrorsFrom("funGetNuovoId").size(), 1u);
}

}  // namespace
}  // namespace velkaris
