// Receipts as units of work: what the default mode promises beyond the original one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "db/recordset.h"
#include "demo/demo_generator.h"
#include "receipts/receipt_transfer.h"
#include "rows/receipt_row_writer.h"
#include "run/run_driver.h"
#include "testing/builders.h"
#include "testing/fault_injector.h"
#include "testing/shop_fixture.h"
#include "util/text.h"
#include "warehouse/discount_justifications.h"
#include "warehouse/warehouse_transfer.h"

namespace velkaris {
namespace {

using db::Value;

const TransferOps kRealTransfers{PCassa_SincroScontrino, PCassa_AggiornaMagazzinoDaScontrino};

// Every table but the ledger's, in key order.
std::string DumpWithoutLedger(const std::string& path) {
  std::string all = testing_support::DumpTables(*testing_support::OpenSqlite(path));
  std::string out;
  size_t start = 0;
  bool skipping = false;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    std::string line = all.substr(start, end - start);
    if (line.find('|') == std::string::npos) skipping = line.rfind("tabSincro", 0) == 0;
    if (!skipping) out += line + "\n";
    start = end + 1;
  }
  return out;
}

int64_t CountIn(const std::string& path, const std::string& sql) {
  return db::CLng(testing_support::Scalar(*testing_support::OpenSqlite(path), sql));
}

// A copy of a database file, taken through SQLite so that it is consistent.
void CopyDatabase(const std::string& from, const std::string& to) {
  std::filesystem::remove(to);
  testing_support::OpenSqlite(from)->Execute("VACUUM INTO '" + to + "'");
}

// One pass over a demo shop with a frozen clock, in the given mode.
void RunDemo(const std::string& dir, const std::string& registry, bool units_of_work) {
  platform::FrozenClock clock(db::Date::FromParts(2026, 12, 4, 21, 0, 0));
  Context ctx(clock, dir);
  ctx.registry = platform::Registry::Load(registry);
  platform::RegistryValue mode;
  mode.type = platform::RegistryValue::kText;
  mode.text = units_of_work ? "1" : "0";
  ctx.registry.Set("HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options", "Velkarys.Transazioni", mode);
  Main(ctx, "/no_wait", kRealTransfers);
}

TEST(UnitsOfWork, BothModesWriteTheSameDataAndTheSameErrorLog) {
  testing_support::TempDir a, b;
  demo::DemoOptions options;
  options.receipts = 60;  // enough for reasons given on a whole receipt of several rows
  options.schema_dir = VELKARIS_SCHEMA_DIR;
  options.dir = a.path();
  demo::GenerateDemo(options);
  options.dir = b.path();
  demo::GenerateDemo(options);
  demo::DemoFiles fa = demo::DemoPaths(a.path()), fb = demo::DemoPaths(b.path());
  // A shop that predates the ledger: the program creates its tables on first use.
  for (const char* t : {"tabSincroScontrini", "tabSincroPagamenti", "tabSincroErrori"}) {
    testing_support::OpenSqlite(fb.back)->Execute(std::string("DROP TABLE ") + t);
  }

  RunDemo(a.path(), fa.registry, false);
  RunDemo(b.path(), fb.registry, true);

  EXPECT_GT(CountIn(fa.back, "select count(*) from tabDettaglioMagazzino"), 200);
  EXPECT_EQ(DumpWithoutLedger(fb.back), DumpWithoutLedger(fa.back));
  EXPECT_EQ(DumpWithoutLedger(fb.front), DumpWithoutLedger(fa.front));
  EXPECT_EQ(testing_support::ReadFile(b.path() + "/logVelkaris.log"),
            testing_support::ReadFile(a.path() + "/logVelkaris.log"));
  EXPECT_EQ(CountIn(fb.back, "select count(*) from tabSincroScontrini"),
            CountIn(fb.back, "select count(*) from tabTestateScontrini"));
  EXPECT_EQ(CountIn(fb.back, "select count(*) from tabSincroScontrini s left join tabTestateScontrini t "
                             "on t.idTestata = s.IdDocumento where t.idTestata is null"),
            0);
  EXPECT_GT(CountIn(fb.back, "select count(*) from tabSincroPagamenti"), 0);
}

// Every read a demo pass answers from what a connection kept, read again from the database at
// that moment: the same rows, embedded and through the ODBC driver.
TEST(UnitsOfWork, EveryKeptReadOfADemoPassAgreesWithTheDatabase) {
  for (bool odbc : {false, true}) {
    SCOPED_TRACE(odbc ? "ODBC" : "embedded");
    testing_support::TempDir dir;
    demo::DemoOptions options;
    options.receipts = 25;
    options.schema_dir = VELKARIS_SCHEMA_DIR;
    options.dir = dir.path();
    demo::GenerateDemo(options);
    demo::DemoFiles files = demo::DemoPaths(dir.path());
    platform::FrozenClock clock(db::Date::FromParts(2026, 12, 4, 21, 0, 0));
    Context ctx(clock, dir.path());
    ctx.registry = platform::Registry::Load(files.registry);
    if (odbc) {
      for (auto [name, path] : {std::pair{"Velkarys.ConnDBLocale.ConnectionString", files.back},
                                std::pair{"Velkarys.ConnDBPuntoCassa.ConnectionString", files.front}}) {
        platform::RegistryValue cs;
        cs.type = platform::RegistryValue::kText;
        cs.text = "Driver=SQLite3;Database=" + path + ";";
        ctx.registry.Set("HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\Options", name, cs);
      }
    }
    size_t checked = 0;
    std::vector<std::string> differing;
    ctx.connection_created = [&](db::Connection& c) {
      c.set_kept_read_check([&](const std::string& sql, bool same) {
        ++checked;
        if (!same) differing.push_back(sql);
      });
    };
    Main(ctx, "/no_wait", kRealTransfers);

    std::string sync_log;
    for (const auto& f : std::filesystem::directory_iterator(dir.path())) {
      if (f.path().filename().string().rfind("logSincro", 0) == 0) sync_log += testing_support::ReadFile(f.path());
    }
    EXPECT_EQ(sync_log.find("Driver=SQLite3;") != std::string::npos, odbc);
    EXPECT_GT(CountIn(files.back, "select count(*) from tabDettaglioMagazzino"), 200);
    EXPECT_GT(checked, 1000u);
    EXPECT_TRUE(differing.empty()) << differing.size() << " kept reads differ from the database, the first: "
                                   << (differing.empty() ? "" : differing[0]);
  }
}

// Counts and figures of the back office that do not depend on the ids handed out.
std::map<std::string, std::string> Figures(db::Connection& back) {
  std::map<std::string, std::string> f;
  for (const char* t : {"tabTestateScontrini", "tabDettaglioScontrini", "tabPagamentiScontriniBackoffice",
                        "tabTestateMagazzino", "tabDettaglioMagazzino", "tabDocumentiCollegati", "tabGiacenze",
                        "tabSincroScontrini", "tabFidelity_Transazioni", "tabGiustificaSconto"}) {
    f[t] = testing_support::Scalar(back, std::string("select count(*) from ") + t).DebugString();
  }
  auto all = [&](const std::string& sql) {
    std::string out;
    for (auto rs = back.OpenRecordset(sql); !rs->Eof(); rs->MoveNext()) {
      for (int i = 0; i < rs->FieldCount(); ++i) out += rs->Field(i).DebugString() + "|";
      out += "\n";
    }
    return out;
  };
  f["stock"] = all("select idMagazzino, Barcode, Giacenza, Disponibile from tabGiacenze order by 1, 2");
  f["numbers"] = all("select Causale, AnnoProgressivo, Numero from tabProgressivi order by 1, 2");
  f["totals"] = all("select NumeroScontrino, TotaleImporto from tabTestateScontrini order by 1");
  f["movements"] = all(
      "select DataDocumento, NumeroDocumento, TotImponibile, TotIva, TotIvato from tabTestateMagazzino order by 1, 2");
  return f;
}

class UnitsOfWorkTest : public testing_support::ShopTest {
 protected:
  void SetUp() override {
    RegisterDatabases();
    UseUnitsOfWork();
    ctx.computer_name = "TILL1";
  }
  void Run() { Main(ctx, "/no_wait", kRealTransfers); }
  int64_t Flagged(const std::string& where) {
    return db::CLng(Front("select count(*) from tabDettaglio where FlagExport=1 and " + where));
  }
  int64_t SyncLogLinesWith(const std::string& text) {
    int64_t n = 0;
    for (const auto& l : SyncLogLines()) n += l.find(text) != std::string::npos;
    return n;
  }
  // Three receipts and two payments of no receipt committed, and every front-office flag of
  // theirs lost (as when a run is killed between the two commits). The next run is an hour
  // later.
  void CommitThreeReceiptsAndLoseTheirFlags() {
    ThreeReceipts();
    // Without a time, its copy got the moment of the transfer: the next run's is another.
    ctx.connDbPuntoCassa->Execute("update tabTestate set Ora=NULL where idTestata=3");
    PosPayment(-1, 50.0);
    PosPayment(-1, 20.0, {{"DataOperazione", Value()}});  // its copy is dated the day it was made
    faults.FailMatching("set FlagExport", "disk I/O error");
    ctx.connection_created = [&](db::Connection& c) { faults.Attach(c); };
    Run();
    ctx.connection_created = nullptr;
    EXPECT_EQ(Count("tabTestateScontrini"), 3);
    EXPECT_EQ(Count("tabPagamentiScontriniBackoffice"), 3);
    EXPECT_EQ(Flagged("1=1"), 0);
    clock.Set(db::Date{clock.now().serial + 1.0 / 24});
  }
  // What the next run leaves: every flag set from the ledger, nothing copied again.
  void ExpectFlaggedFromTheLedgerWithoutACopy() {
    EXPECT_EQ(Count("tabTestateScontrini"), 3);
    EXPECT_EQ(Count("tabDettaglioScontrini"), 5);
    EXPECT_EQ(Count("tabDettaglioMagazzino"), 5);
    EXPECT_EQ(Count("tabPagamentiScontriniBackoffice"), 3);
    EXPECT_EQ(Flagged("1=1"), 5);
    EXPECT_EQ(db::CLng(Front("select count(*) from tabPagamentiScontrini where FlagExport=1")), 3);
    EXPECT_EQ(SyncLogLinesWith("gia' trasferito"), 3);
  }
  // A discount reason in the front office, of a POS row (-1: of the whole receipt).
  void Reason(int id, int receipt, int row) {
    testing_support::Insert(*ctx.connDbPuntoCassa, "tabGiustificaSconto",
                            {{"ID", Value(id)}, {"idTestataMovimento", Value(receipt)},
                             {"idDettaglioMovimento", Value(row)}, {"motivazione", Value("promo")}});
  }
  testing_support::FaultInjector faults;
  // Copies of both databases as they are now, to start again from.
  void KeepPristine() {
    CopyDatabase(dbs.front_path, pristine.File("front.db"));
    CopyDatabase(dbs.back_path, pristine.File("back.db"));
  }
  void RestorePristine() {
    ctx.connDbLocale.reset();
    ctx.connDbPuntoCassa.reset();
    dbs.front.reset();
    dbs.back.reset();
    CopyDatabase(pristine.File("front.db"), dbs.front_path);
    CopyDatabase(pristine.File("back.db"), dbs.back_path);
    dbs.front = testing_support::OpenSqlite(dbs.front_path);
    dbs.back = testing_support::OpenSqlite(dbs.back_path);
  }
  testing_support::TempDir pristine;
  // Three receipts of two rows; the second on a day of its own, with a payment.
  void ThreeReceipts() {
    PosReceipt(1);
    PosRow(11, 1);
    PosRow(12, 1, {{"Barcode", Value("8002")}, {"Sconto1", Value(10.0)}});
    PosReceipt(2, {{"Data", Value(db::Date::FromParts(2026, 12, 3))}});
    PosRow(21, 2, {{"Quantita", Value(2.0)}});
    PosRow(22, 2, {{"Barcode", Value("")}, {"Descrizione", Value("Auguri")}});
    PosPayment(2, 24.4);
    PosReceipt(3);
    PosRow(31, 3, {{"Barcode", Value("8002")}});
  }
};

TEST_F(UnitsOfWorkTest, ABadReceiptRollsBackAloneIsRecordedAndGoesInOnceRepaired) {
  ThreeReceipts();
  std::string long_text(300, 'x');
  ctx.connDbPuntoCassa->Execute("update tabDettaglio set Descrizione='" + long_text + "' where idDettaglio=21");
  Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 2);
  EXPECT_EQ(Count("tabDettaglioScontrini"), 3);
  EXPECT_EQ(Count("tabTestateMagazzino", "DataDocumento='2026-12-03 00:00:00'"), 0);
  EXPECT_EQ(Count("tabPagamentiScontriniBackoffice"), 0);
  EXPECT_EQ(Count("tabSincroScontrini"), 2);
  EXPECT_EQ(Back("select Tentativi from tabSincroErrori where IdScontrinoPos=2"), Value(1));
  EXPECT_NE(db::CStr(Back("select UltimoErrore from tabSincroErrori")).find("riga scontrino non sincronizzata"),
            std::string::npos);
  EXPECT_EQ(Flagged("IdTestata=2"), 0);
  EXPECT_EQ(Flagged("IdTestata in (1, 3)"), 3);
  // The original messages, as the per-statement mode writes them.
  EXPECT_EQ(ErrorsFrom("TovoVelkaris_Scontrino").size(), 2u);
  Value numbers = Back("select max(NumeroDocumento) from tabTestateMagazzino");

  Run();  // tried again, still bad
  EXPECT_EQ(Back("select Tentativi from tabSincroErrori where IdScontrinoPos=2"), Value(2));
  EXPECT_EQ(Count("tabTestateScontrini"), 2);
  EXPECT_EQ(Back("select max(NumeroDocumento) from tabTestateMagazzino"), numbers);

  ctx.connDbPuntoCassa->Execute("update tabDettaglio set Descrizione='Latte' where idDettaglio=21");
  Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 3);
  EXPECT_EQ(Count("tabSincroScontrini"), 3);
  EXPECT_EQ(Count("tabSincroErrori"), 0);
  EXPECT_EQ(Count("tabPagamentiScontriniBackoffice"), 1);
  EXPECT_EQ(Flagged("1=1"), 5);
}

// While a batch is open the front office is only read, in one snapshot; its flags are
// written after the snapshot, once the back office has committed.
TEST_F(UnitsOfWorkTest, TheFrontOfficeIsReadInOneSnapshotPerBatchAndWrittenAfterIt) {
  ThreeReceipts();
  std::vector<std::string> front;
  ctx.connection_created = [&](db::Connection& c) {
    c.set_statement_hook([&front, &c, this](const std::string& sql) {
      if (c.ConnectionString().find(dbs.front_path) != std::string::npos) front.push_back(sql);
    });
  };
  Run();
  ASSERT_EQ(Flagged("1=1"), 5);
  int snapshots = 0, reads_inside = 0;
  bool inside = false;
  for (const std::string& sql : front) {
    if (sql == "BEGIN DEFERRED") {
      EXPECT_FALSE(inside);
      inside = true;
      ++snapshots;
    } else if (sql == "END TRANSACTION") {
      EXPECT_TRUE(inside);
      inside = false;
    } else if (inside) {
      EXPECT_TRUE(util::StartsWithNoCase(util::Trim(sql), "select")) << sql;
      ++reads_inside;
    }
  }
  EXPECT_FALSE(inside);
  EXPECT_GE(snapshots, 1);
  EXPECT_GE(reads_inside, 3);  // the rows of each receipt at least
}

// Row numbers of a document follow the last row written in the transaction; a receipt that
// fails takes its rows back, and the next receipt numbers from what remains.
TEST_F(UnitsOfWorkTest, RowNumbersFollowTheRowsWrittenAndForgetAFailedReceiptsRows) {
  for (int receipt = 1; receipt <= 3; ++receipt) {
    PosReceipt(receipt);
    PosRow(receipt * 10 + 1, receipt);
    PosRow(receipt * 10 + 2, receipt, {{"Barcode", Value("8002")}});
  }
  testing_support::FaultInjector faults;
  // Receipt 2 fails after its first movement row went into the day's movement document.
  faults.FailMatching("INSERT INTO \"tabDocumentiCollegati\"", "injected fault", 1, 3);
  ctx.connection_created = [&](db::Connection& c) { faults.Attach(c); };
  Run();
  ASSERT_EQ(Count("tabSincroErrori", "IdScontrinoPos=2"), 1);
  std::string numbers;
  for (auto rs = dbs.back->OpenRecordset("select idTestata, Riga from tabDettaglioMagazzino order by idTestata, Riga");
       !rs->Eof(); rs->MoveNext()) {
    numbers += rs->Field(0).DebugString() + ":" + rs->Field(1).DebugString() + " ";
  }
  EXPECT_EQ(numbers, "1:1 1:6 1:11 1:16 ");  // receipts 1 and 3 in one document, no gap
  // Read once for each receipt's own document, and for the day's movement document at the
  // first receipt and again after receipt 2 took its rows back.
  EXPECT_EQ(faults.StatementsMatching("max(Riga)").size(), 5u);
}

TEST_F(UnitsOfWorkTest, ARowOfAnotherCausaleNoLongerBringsItsReceiptBack) {
  PosReceipt(1);
  PosRow(11, 1);
  PosRow(12, 1, {{"IdCausale", Value(3)}});
  PosRow(13, 1, {{"IdCausale", Value(Value())}, {"Barcode", Value("8002")}});
  for (int run = 0; run < 3; ++run) Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 1);
  EXPECT_EQ(Count("tabDettaglioScontrini"), 3);
  EXPECT_EQ(Count("tabDettaglioMagazzino"), 1);
  EXPECT_EQ(Flagged("1=1"), 3);
  EXPECT_EQ(SyncLogLinesWith("Scontrino POS id:1 gia' trasferito"), 1);
}

TEST_F(UnitsOfWorkTest, FlagsLostAfterTheCommitAreSetFromTheLedgerWithoutACopy) {
  CommitThreeReceiptsAndLoseTheirFlags();
  Run();
  ExpectFlaggedFromTheLedgerWithoutACopy();
  Run();
  EXPECT_EQ(SyncLogLinesWith("gia' trasferito"), 3);
}

// Of a receipt's discount reasons, those flags set from the ledger are the ones copied with
// it: a reason no row took (here of a row the receipt does not have; a kit's row, say) stays
// unflagged, as after a run that was not interrupted.
TEST_F(UnitsOfWorkTest, FlagsLostAfterTheCommitAreSetOnlyForTheDiscountReasonsCopied) {
  ThreeReceipts();
  Reason(1, 1, 11);
  Reason(2, 1, 99);
  Reason(3, 3, -1);  // the whole receipt's, copied with its first row
  // The front office's commit fails: none of its flags is written, as when the run is killed
  // between the two commits.
  ctx.connection_created = [&](db::Connection& c) {
    c.set_statement_hook([&c, this](const std::string& sql) {
      if (sql == "COMMIT TRANSACTION" && c.ConnectionString().find(dbs.front_path) != std::string::npos) {
        throw db::Error("disk I/O error");
      }
    });
  };
  Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 3);
  EXPECT_EQ(Flagged("1=1"), 0);
  EXPECT_EQ(Count("tabGiustificaSconto"), 2);
  EXPECT_EQ(db::CLng(Front("select count(*) from tabGiustificaSconto where flagExport=1")), 0);
  EXPECT_EQ(Count("tabSincroGiustifiche"), 2);

  ctx.connection_created = nullptr;
  Run();
  EXPECT_EQ(SyncLogLinesWith("gia' trasferito"), 3);
  EXPECT_EQ(Count("tabGiustificaSconto"), 2);
  EXPECT_EQ(Front("select group_concat(ID) from (select ID from tabGiustificaSconto where flagExport=1 order by ID)"),
            Value("1,3"));
}

// A POS id used again (the front office restored from a backup, its new receipts numbered
// from there) names another receipt than the one the ledger holds: it is neither flagged nor
// taken for transferred, but logged and recorded, until its ledger row is deleted.
TEST_F(UnitsOfWorkTest, AnotherReceiptUnderAPosIdTheLedgerHoldsIsNeitherFlaggedNorLost) {
  ThreeReceipts();
  Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 3);
  ctx.connDbPuntoCassa->Execute("update tabDettaglio set FlagExport=0 where idTestata=3");
  ctx.connDbPuntoCassa->Execute("update tabTestate set Data='2026-12-05', Ora='1899-12-30 09:10:00' where idTestata=3");
  for (bool per_statement : {false, true}) {
    SCOPED_TRACE(per_statement ? "per statement" : "units of work");
    if (per_statement) SetRegistryText("Velkarys.Transazioni", "0");
    Run();
    EXPECT_EQ(ctx.account.failed, 1);
    EXPECT_EQ(ctx.account.already_present, 0);
    EXPECT_EQ(Count("tabTestateScontrini"), 3);
    EXPECT_EQ(Flagged("idTestata=3"), 0);
    EXPECT_EQ(SyncLogLinesWith("gia' trasferito"), 0);
    auto errors = ErrorLogLines();
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors.back().find("POS receipt 3 of 05/12/2026 09:10:00 is in the sync ledger (tabSincroScontrini) as "
                                 "back-office receipt 3 of 04/12/2026"),
              std::string::npos)
        << errors.back();
    EXPECT_NE(errors.back().find("delete from tabSincroScontrini where IdCassa=1 and IdScontrinoPos=3"),
              std::string::npos);
  }
  EXPECT_EQ(Back("select Tentativi from tabSincroErrori where IdScontrinoPos=3"), Value(1));
  dbs.back->Execute("delete from tabSincroScontrini where IdCassa=1 and IdScontrinoPos=3");
  SetRegistryText("Velkarys.Transazioni", "1");
  Run();
  EXPECT_EQ(ctx.account.transferred, 1);
  EXPECT_EQ(Count("tabTestateScontrini"), 4);
  EXPECT_EQ(Flagged("idTestata=3"), 1);
}

// The same for a payment of no receipt: another payment under a POS id the ledger holds is
// neither flagged nor copied (its ledger row is in the way), and named once a run.
TEST_F(UnitsOfWorkTest, AnotherPaymentUnderAPosIdTheLedgerHoldsIsNeitherFlaggedNorLost) {
  ThreeReceipts();
  PosPayment(-1, 50.0);
  Run();
  EXPECT_EQ(Count("tabPagamentiScontriniBackoffice", "ImportoIncassato=50"), 1);
  ctx.connDbPuntoCassa->Execute("update tabPagamentiScontrini set ImportoIncassato=70, FlagExport=0 where idTestata=-1");
  PosReceipt(4);
  PosRow(41, 4);
  Run();
  EXPECT_EQ(ctx.account.transferred, 1);
  EXPECT_EQ(Count("tabPagamentiScontriniBackoffice", "ImportoIncassato=70"), 0);
  EXPECT_EQ(db::CLng(Front("select count(*) from tabPagamentiScontrini where idTestata=-1 and FlagExport=1")), 0);
  std::vector<std::string> named;
  for (const auto& l : ErrorLogLines()) {
    if (l.find("POS payment") != std::string::npos) named.push_back(l);
  }
  ASSERT_EQ(named.size(), 1u);
  EXPECT_NE(named[0].find("(04/12/2026 00:00:00, 70) is in the sync ledger (tabSincroPagamenti) as back-office "
                          "payment"),
            std::string::npos)
      << named[0];
  EXPECT_NE(named[0].find("delete from tabSincroPagamenti where IdCassa=1 and IdPagamentoPos="), std::string::npos);
  // Once its ledger row is deleted it goes in with the next receipt, as payments of no receipt do.
  dbs.back->Execute("delete from tabSincroPagamenti");
  PosReceipt(5);
  PosRow(51, 5);
  Run();
  EXPECT_EQ(Count("tabPagamentiScontriniBackoffice", "ImportoIncassato=70"), 1);
  EXPECT_EQ(db::CLng(Front("select count(*) from tabPagamentiScontrini where idTestata=-1 and FlagExport=1")), 1);
}

// Another reason under a POS reason id the ledger holds (the front office restored from a
// backup) takes its place in the ledger: its receipt goes in, and its flag comes from there.
TEST_F(UnitsOfWorkTest, AReasonUnderAPosIdTheLedgerHoldsTakesItsPlace) {
  ThreeReceipts();
  Reason(1, 1, 11);
  Run();
  ctx.connDbPuntoCassa->Execute("delete from tabGiustificaSconto where ID=1");
  PosReceipt(4);
  PosRow(41, 4);
  Reason(1, 4, 41);
  Run();
  EXPECT_EQ(ctx.account.failed, 0);
  EXPECT_EQ(ctx.account.transferred, 1);
  EXPECT_EQ(Count("tabGiustificaSconto"), 2);
  EXPECT_EQ(Back("select IdScontrinoPos from tabSincroGiustifiche where IdGiustificaPos=1"), Value(4));
  EXPECT_EQ(Count("tabSincroGiustifiche"), 1);
}

// A pass per statement on a back office whose ledger holds nothing of this till reads it once
// a run, not for every receipt.
TEST_F(UnitsOfWorkTest, APassPerStatementReadsAnEmptyLedgerOnce) {
  ThreeReceipts();
  SetRegistryText("Velkarys.Transazioni", "0");
  ctx.connection_created = [&](db::Connection& c) { faults.Attach(c); };
  Run();
  EXPECT_EQ(ctx.account.transferred, 3);
  EXPECT_EQ(faults.StatementsMatching("tabSincro").size(), 2u);
  EXPECT_EQ(faults.StatementsMatching("select count(*) as n from tabSincroScontrini where IdCassa=1").size(), 1u);
}

// The same, with the next run per statement: the receipts and the payment the ledger holds
// are flagged, not copied a second time.
TEST_F(UnitsOfWorkTest, FlagsLostAfterTheCommitAreSetFromTheLedgerEvenByARunPerStatement) {
  CommitThreeReceiptsAndLoseTheirFlags();
  SetRegistryText("Velkarys.Transazioni", "0");
  dbs.back->Execute("DROP TABLE tabSincroGiustifiche");  // a ledger an earlier version created
  Run();
  EXPECT_EQ(ctx.account.mode, "per-statement");
  EXPECT_EQ(ctx.account.already_present, 3);
  EXPECT_EQ(ctx.account.transferred, 0);
  ExpectFlaggedFromTheLedgerWithoutACopy();
  // A receipt the ledger does not hold still goes in per statement, without a ledger row.
  PosReceipt(4);
  PosRow(41, 4);
  Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 4);
  EXPECT_EQ(Flagged("idTestata=4"), 1);
  EXPECT_EQ(Count("tabSincroScontrini"), 3);
}

TEST_F(UnitsOfWorkTest, ALedgerThatCannotBeCreatedNamesTheTableAndThePermission) {
  ctx.connDbLocale->Execute("DROP TABLE tabSincroErrori");
  PosReceipt(1);
  PosRow(11, 1);
  testing_support::FaultInjector faults;
  faults.FailMatching("CREATE TABLE", "CREATE TABLE permission denied in database 'Negozio'.");
  ctx.connection_created = [&](db::Connection& c) { faults.Attach(c); };
  Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 0);
  auto errors = ErrorsFrom("Main");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("tabSincroErrori"), std::string::npos);
  EXPECT_NE(errors[0].find("permission to create tables"), std::string::npos);
}

// The totals of the movement headers are worked out once for a batch, before it commits: the
// figures a total after every receipt gives, with one sum for each header.
TEST_F(UnitsOfWorkTest, MovementTotalsAreWorkedOutOnceABatchBeforeItCommits) {
  ThreeReceipts();  // 1 and 3 go to the movement header of their day, 2 to another
  KeepPristine();
  ctx.uow.per_receipt = false;
  SetRegistryText("Velkarys.Transazioni", "0");
  testing_support::FaultInjector per_statement, per_batch;
  ctx.connection_created = [&](db::Connection& c) { per_statement.Attach(c); };
  Run();
  std::map<std::string, std::string> expected = Figures(*dbs.back);
  expected.erase("tabSincroScontrini");  // the ledger's
  EXPECT_EQ(per_statement.StatementsMatching("Sum(tabDettaglioMagazzino.").size(), 3u);

  RestorePristine();
  UseUnitsOfWork();
  ctx.connection_created = [&](db::Connection& c) { per_batch.Attach(c); };
  Run();
  std::map<std::string, std::string> figures = Figures(*dbs.back);
  figures.erase("tabSincroScontrini");
  EXPECT_EQ(figures, expected);
  EXPECT_NE(expected["movements"].find("#03/12/2026#|2|20|4,4|24,4|"), std::string::npos) << expected["movements"];
  EXPECT_EQ(per_batch.StatementsMatching("Sum(tabDettaglioMagazzino.").size(), 2u);
  std::vector<std::string> all = per_batch.statements();
  auto commit = std::find(all.begin(), all.end(), "COMMIT TRANSACTION");
  ASSERT_NE(commit, all.end());
  EXPECT_NE(std::find_if(all.begin(), commit, [](const std::string& sql) {
              return sql.find("Sum(tabDettaglioMagazzino.") != std::string::npos;
            }), commit);
}

// Totals that cannot be written keep the whole batch out, as a commit that fails does: nothing
// of it is in the back office or flagged, the run ends, and the next one transfers it once.
TEST_F(UnitsOfWorkTest, MovementTotalsThatCannotBeWrittenKeepTheBatchOutUntilTheNextRun) {
  ThreeReceipts();
  faults.FailMatching("UPDATE \"tabTestateMagazzino\" SET \"TotImponibile\"", "disk I/O error", 1);
  ctx.connection_created = [&](db::Connection& c) { faults.Attach(c); };
  Run();
  for (const char* t : {"tabTestateScontrini", "tabDettaglioMagazzino", "tabTestateMagazzino", "tabSincroScontrini"}) {
    EXPECT_EQ(Count(t), 0) << t;
  }
  EXPECT_EQ(Flagged("1=1"), 0);
  std::vector<std::string> errors = ErrorsFrom("Main");
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors.back().find("The totals of the movement headers of the last receipts could not be written"),
            std::string::npos)
      << errors.back();

  ctx.connection_created = nullptr;
  Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 3);
  EXPECT_EQ(Count("tabDettaglioMagazzino"), 5);
  EXPECT_EQ(Count("tabSincroScontrini"), 3);
  EXPECT_EQ(Flagged("1=1"), 5);
}

TEST_F(UnitsOfWorkTest, TheReadsOfAReceiptsRowsAreAnsweredFromOneReadOfTheReceipt) {
  ThreeReceipts();
  // A kit component and a reason of no POS row: the read of the whole receipt meets them,
  // no row's own read does.
  testing_support::Insert(*ctx.connDbPuntoCassa, "tabPuntoCassa_DettaglioDistinta",
                          {{"ID", Value(1)}, {"idTestata", Value(1)}, {"idDettaglio", Value()},
                           {"idArticolo", Value(1)}, {"qta", Value(1.0)}});
  testing_support::Insert(*ctx.connDbPuntoCassa, "tabGiustificaSconto",
                          {{"ID", Value(1)}, {"idTestataMovimento", Value(1)}, {"idDettaglioMovimento", Value()},
                           {"motivazione", Value("promo")}});
  testing_support::FaultInjector recorder;
  ctx.connection_created = [&](db::Connection& c) { recorder.Attach(c); };
  Run();
  EXPECT_EQ(Count("tabSincroScontrini"), 3);
  EXPECT_EQ(Flagged("1=1"), 5);
  const std::vector<std::string>& sent = recorder.statements();
  auto times = [&](const std::string& sql) { return std::count(sent.begin(), sent.end(), sql); };
  for (int receipt : {1, 2, 3}) EXPECT_EQ(times(PosRowsQuery(receipt)), 1) << receipt;
  for (auto [receipt, row] : std::vector<std::pair<int, int>>{{1, 11}, {1, 12}, {2, 21}, {2, 22}, {3, 31}}) {
    EXPECT_EQ(times(PosRowQuery(receipt, row)), 0) << row;
    EXPECT_EQ(times(KitQuery(receipt, row)), 0) << row;
    EXPECT_EQ(times(SQL_ExportRigheGiustificaSconto(ctx, false, row, receipt)), 0) << row;
  }
}

// A row with a reason of its own, and a row numbered 0 (whose reason read names no row and
// reads every reason of the receipt), read for themselves: what they copy is what they copy
// when every row reads for itself.
TEST_F(UnitsOfWorkTest, RowsWithReasonsOfTheirOwnReadThemAsWhenNothingIsReadAhead) {
  ThreeReceipts();
  PosRow(0, 1);
  Reason(1, 1, 12);
  Reason(2, 2, 21);
  KeepPristine();
  auto reasons = [&] {
    std::string out;
    for (auto rs = dbs.back->OpenRecordset("select g.motivazione, d.idArticolo, d.Quantita from tabGiustificaSconto g "
                                           "left join tabDettaglioMagazzino d on d.idDettaglio = g.idDettaglioMovimento "
                                           "order by g.ID");
         !rs->Eof(); rs->MoveNext()) {
      for (int i = 0; i < rs->FieldCount(); ++i) out += rs->Field(i).DebugString() + "|";
      out += "\n";
    }
    return out;
  };
  ctx.uow.prefetch_reads = false;
  Run();
  std::map<std::string, std::string> each_row = Figures(*dbs.back);
  std::string copied = reasons();
  ASSERT_EQ(db::CLng(Back("select count(*) from tabGiustificaSconto")), 2);  // each reason once

  RestorePristine();
  ctx.uow.prefetch_reads = true;
  Run();
  EXPECT_EQ(Figures(*dbs.back), each_row);
  EXPECT_EQ(reasons(), copied);
}

TEST_F(UnitsOfWorkTest, AFaultAtAnyStatementOfAReceiptLeavesNoTraceAndTheNextRunTransfersItOnce) {
  ThreeReceipts();
  KeepPristine();
  auto restore = [&] { RestorePristine(); };

  // A clean run tells which statements belong to receipt 2 and what the end state is.
  testing_support::FaultInjector recorder;
  std::vector<size_t> after_receipt;
  ctx.connection_created = [&](db::Connection& c) { recorder.Attach(c); };
  ctx.progress = [&](int32_t, size_t, size_t) { after_receipt.push_back(recorder.statements().size()); };
  Run();
  ASSERT_EQ(after_receipt.size(), 3u);
  std::map<std::string, std::string> clean = Figures(*dbs.back);
  ctx.progress = nullptr;

  // The same shop without receipt 2 (what the back office holds while 2 is failing), and
  // with receipt 1 alone (what it holds when a fault outside the receipts ends the run).
  auto run_without = [&](const std::string& receipts) {
    restore();
    dbs.front->Execute("update tabTestate set Printed=0 where idTestata in (" + receipts + ")");
    ctx.connection_created = nullptr;
    Run();
    return Figures(*dbs.back);
  };
  std::map<std::string, std::string> without_2 = run_without("2");
  std::map<std::string, std::string> only_1 = run_without("2, 3");
  std::map<std::string, std::string> without_3 = run_without("3");

  // The reads that answer the rows' own reads ahead of them: refused, the rows read for
  // themselves and the receipt goes in as in the clean run.
  const std::set<std::string> read_ahead_texts = {PosRowsQuery(2), KitsQuery(2),
                                                  SQL_ExportRigheGiustificaSconto(ctx, false, 0, 2)};
  int failed = 0, tolerated = 0, ended = 0, read_ahead = 0;
  for (size_t n = after_receipt[0] + 1; n <= after_receipt[1]; ++n) {
    SCOPED_TRACE("failing statement " + std::to_string(n) + ": " + recorder.statements()[n - 1]);
    restore();
    testing_support::FaultInjector faults;
    faults.FailNth(static_cast<int>(n), "injected fault");
    ctx.connection_created = [&](db::Connection& c) { faults.Attach(c); };
    Run();
    bool receipt_failed = Count("tabSincroErrori", "IdScontrinoPos=2") == 1;
    bool run_ended = !ErrorsFrom("Main").empty();
    if (run_ended) {
      // Not a statement of the receipt's own work (the ledger, the savepoint): the run ends,
      // keeping the receipts before it, and receipt 2 too when it was whole.
      ++ended;
      std::map<std::string, std::string> now = Figures(*dbs.back);
      EXPECT_TRUE(now == only_1 || now == without_3);
      EXPECT_EQ(Flagged("IdTestata in (2, 3)"), 0);
    } else if (receipt_failed) {
      ++failed;
      std::map<std::string, std::string> now = Figures(*dbs.back);
      EXPECT_EQ(now, without_2);
      EXPECT_EQ(Flagged("IdTestata=2"), 0);
    } else if (read_ahead_texts.count(recorder.statements()[n - 1])) {
      ++read_ahead;
      EXPECT_EQ(Figures(*dbs.back), clean);
      EXPECT_EQ(Flagged("IdTestata=2"), 2);
    } else {
      ++tolerated;  // a refused statement must never let the receipt in
      ADD_FAILURE() << "the receipt went in although a statement of it was refused";
    }
    std::filesystem::remove(ctx.logs.ErrorLogPath());
    ctx.connection_created = nullptr;
    Run();
    EXPECT_EQ(Count("tabSincroScontrini"), 3);
    EXPECT_EQ(Count("tabTestateScontrini"), 3);
    if (receipt_failed) {
      EXPECT_EQ(Figures(*dbs.back), clean);
    }
  }
  EXPECT_GT(failed, 40);
  EXPECT_EQ(tolerated, 0);
  EXPECT_GT(ended, 0);
  EXPECT_EQ(read_ahead, 3);
  RecordProperty("failed", failed);
  RecordProperty("tolerated", tolerated);
  RecordProperty("ended", ended);
}

}  // namespace
}  // namespace velkaris
