#include "demo/demo_generator.h"

#include <gtest/gtest.h>

#include "db/recordset.h"
#include "demo/demo_account.h"
#include "platform/clock.h"
#include "receipts/receipt_transfer.h"
#include "core/context.h"
#include "run/reconciliation.h"
#include "run/run_driver.h"
#include "testing/builders.h"
#include "testing/temp_databases.h"
#include "warehouse/warehouse_transfer.h"

namespace velkaris::demo {
namespace {

std::string Dump(const std::string& path) { return testing_support::DumpTables(*testing_support::OpenSqlite(path)); }

int64_t Count(const std::string& path, const std::string& sql) {
  return db::CLng(testing_support::Scalar(*testing_support::OpenSqlite(path), sql));
}

TEST(Demo, TheSameSeedGivesTheSameShopWithEveryKindOfReceipt) {
  testing_support::TempDir a, b;
  DemoOptions options;
  options.receipts = 200;
  options.days = 2;
  options.schema_dir = VELKARIS_SCHEMA_DIR;
  options.dir = a.path();
  int64_t rows = GenerateDemo(options);
  options.dir = b.path();
  EXPECT_EQ(GenerateDemo(options), rows);
  DemoFiles fa = DemoPaths(a.path()), fb = DemoPaths(b.path());
  EXPECT_EQ(Dump(fa.front), Dump(fb.front));
  EXPECT_EQ(Dump(fa.back), Dump(fb.back));
  options.seed = 2;
  GenerateDemo(options);
  EXPECT_NE(Dump(fa.front), Dump(fb.front));

  const std::string& f = fa.front;
  EXPECT_EQ(Count(f, "select count(*) from tabTestate where Printed=1"), 200);
  EXPECT_EQ(Count(f, "select count(*) from tabDettaglio"), rows);
  EXPECT_EQ(Count(f, "select count(distinct Data) from tabTestate"), 2);
  EXPECT_EQ(Count(f, "select count(distinct Cassa) from tabTestate"), 2);
  EXPECT_GT(Count(f, "select count(*) from tabTestate where IdCausale=5"), 0);
  EXPECT_GT(Count(f, "select count(*) from tabDettaglio where IdCausale=2"), 0);
  EXPECT_GT(Count(f, "select count(*) from tabDettaglio where Barcode=''"), 0);
  EXPECT_GT(Count(f, "select count(*) from tabDettaglio where Sconto1 > 0"), 0);
  EXPECT_GT(Count(f, "select count(*) from tabDettaglio where isOmaggio=1"), 0);
  EXPECT_GT(Count(f, "select count(*) from tabDettaglio where idBuono > 0"), 0);
  EXPECT_GT(Count(f, "select count(*) from tabTestate where idFidelityCard > 0"), 0);
  EXPECT_GT(Count(f, "select count(*) from tabPuntoCassa_DettaglioDistinta"), 0);
  EXPECT_GT(Count(f, "select count(*) from tabGiustificaSconto"), 0);
  EXPECT_GT(Count(f, "select count(distinct IdPagamento) from tabPagamentiScontrini"), 1);
  EXPECT_LE(Count(f, "select max(n) from (select count(*) as n from tabDettaglio group by IdTestata)"), 16);
  EXPECT_GE(Count(fa.back, "select count(*) from tabArticoli"), 300);
  EXPECT_EQ(Count(fa.back, "select count(*) from tabArticoli where BloccaConGiacenzaAZero=1"), 1);
  EXPECT_GT(Count(fa.back, "select count(*) from tabArticoli where UM2='CF'"), 0);
  EXPECT_EQ(Count(fa.back, "select count(*) from tabCausali where CausaleMovimentoSecondario is not null"), 1);
  std::string reg = testing_support::ReadFile(fa.registry);
  EXPECT_NE(reg.find("Data Source=" + fa.back + ";"), std::string::npos);
}

TEST(Demo, TheAccountAgreesWithTheDatabases) {
  testing_support::TempDir dir;
  DemoOptions options;
  options.dir = dir.path();
  options.receipts = 60;
  options.schema_dir = VELKARIS_SCHEMA_DIR;
  GenerateDemo(options);
  DemoFiles files = DemoPaths(dir.path());
  Snapshot before = TakeSnapshot(files, dir.path());
  platform::FrozenClock clock(db::Date::FromParts(2026, 12, 4, 21, 0, 0));
  Context ctx(clock, dir.path());
  ctx.registry = platform::Registry::Load(files.registry);
  Main(ctx, "/no_wait", TransferOps{PCassa_SincroScontrino, PCassa_AggiornaMagazzinoDaScontrino});
  Snapshot after = TakeSnapshot(files, dir.path());
  std::string account = Account(before, after, dir.path());
  auto expect_line = [&](const std::string& label, int64_t value) {
    EXPECT_NE(account.find(label + std::to_string(value)), std::string::npos) << label << "\n" << account;
  };
  expect_line("POS receipts waiting before the pass: ", 60);
  expect_line("receipts transferred:        ", Count(files.back, "select count(*) from tabTestateScontrini"));
  expect_line("receipt rows written:        ", Count(files.back, "select count(*) from tabDettaglioScontrini"));
  // The demo's only movement before the pass is the opening stock (causale 9).
  const std::string pass_rows = "select count(*) from tabDettaglioMagazzino where idTestata in "
                                "(select idTestata from tabTestateMagazzino where IdCausale <> 9)";
  expect_line("warehouse movement rows:     ", Count(files.back, pass_rows));
  expect_line("warehouse movement headers:  ",
              Count(files.back, "select count(*) from tabTestateMagazzino where IdCausale <> 9"));
  expect_line("payments written:            ", Count(files.back, "select count(*) from tabPagamentiScontriniBackoffice"));
  expect_line("warnings and errors logged:  ", 0);

  // The run's own account agrees with the databases too.
  const RunAccount& a = ctx.account;
  EXPECT_TRUE(a.started);
  EXPECT_TRUE(a.Complete());
  EXPECT_EQ(a.selected, 60);
  EXPECT_EQ(a.transferred, 60);
  EXPECT_EQ(a.failed, 0);
  EXPECT_EQ(a.written.rows, Count(files.back, "select count(*) from tabDettaglioScontrini"));
  EXPECT_EQ(a.written.payments, Count(files.back, "select count(*) from tabPagamentiScontriniBackoffice"));
  EXPECT_EQ(a.written.movements, Count(files.back, pass_rows));
  EXPECT_GT(a.written.stock_rows, 0);
  EXPECT_EQ(a.errors, 0);  // the row notices are no errors
  EXPECT_EQ(a.first_error, "");

  // And so does the reconciliation: every check agrees (failures are not kept by this schema
  // or are none).
  {
    db::Connection front, back;
    front.Open("Provider=SQLite;Data Source=" + files.front + ";");
    back.Open("Provider=SQLite;Data Source=" + files.back + ";");
    for (const Check& c : Reconcile(front, back, 1, DayRange{})) {
      EXPECT_NE(c.result, Check::kDiffers) << FormatChecks({c});
    }
    EXPECT_EQ(Reconcile(front, back, 1, DayRange{})[0].front, "60");
  }
  EXPECT_EQ(after.pending_receipts, 0);
  EXPECT_EQ(Count(files.front, "select count(*) from tabDettaglio where ifnull(FlagExport,0)=0"), 0);
  // A second pass finds nothing.
  Main(ctx, "/no_wait", TransferOps{PCassa_SincroScontrino, PCassa_AggiornaMagazzinoDaScontrino});
  std::string second = Account(after, TakeSnapshot(files, dir.path()), dir.path());
  EXPECT_NE(second.find("receipts transferred:        0"), std::string::npos) << second;
  EXPECT_EQ(ctx.account.selected, 0);
  EXPECT_EQ(ctx.account.transferred, 0);
  EXPECT_TRUE(ctx.account.Complete());
}

}  // namespace
}  // namespace velkaris::demo
