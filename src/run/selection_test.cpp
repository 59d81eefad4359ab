#include "run/selection.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "db/recordset.h"

#include "run/export_flags.h"
#include "run/sync_report.h"
#include "testing/builders.h"
#include "testing/context_fixture.h"

namespace velkaris {
namespace {

class SelectionTest : public testing_support::ContextTest {
 protected:
  void SetUp() override { RegisterDatabases(); }
  void CheckExportFlags();
  void Receipt(int id, int causale, const char* printed) {
    ctx.connDbPuntoCassa->Execute("insert into tabTestate (idTestata, IdCausale, Printed) values (" +
                                  std::to_string(id) + ", " + std::to_string(causale) + ", " + printed + ")");
  }
  void Row(int id, int receipt, const char* flag) {
    ctx.connDbPuntoCassa->Execute("insert into tabDettaglio (idDettaglio, IdTestata, FlagExport) values (" +
                                  std::to_string(id) + ", " + std::to_string(receipt) + ", " + flag + ")");
  }
  std::vector<int32_t> Select(int32_t kind) {
    SyncCollection c;
    EXPECT_TRUE(RecuperaTestate(ctx, kind, c));
    std::vector<int32_t> ids;
    for (const auto& r : c) ids.push_back(r->IdTestataPOS);
    return ids;
  }
};

TEST_F(SelectionTest, PrintedReceiptsOfThePassCausaleWithAnUnexportedRow) {
  Receipt(3, 4, "1");
  Row(30, 3, "NULL");
  Receipt(1, 4, "-1");
  Row(10, 1, "1");
  Row(11, 1, "0");
  Receipt(2, 4, "1");  // every row exported
  Row(20, 2, "1");
  Row(21, 2, "1");
  Receipt(4, 4, "NULL");  // not printed
  Row(40, 4, "0");
  Receipt(5, 4, "0");
  Row(50, 5, "NULL");
  Receipt(6, 5, "1");  // a return
  Row(60, 6, "0");
  Receipt(7, 4, "1");  // no rows at all
  EXPECT_EQ(Select(1), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(Select(2), (std::vector<int32_t>{6}));
  EXPECT_EQ(Select(9), (std::vector<int32_t>{1, 3}));

  SyncCollection c;
  int32_t kind = 1;
  ASSERT_TRUE(RecuperaTestate(ctx, kind, c));
  const auto& r = c["id_3"];
  EXPECT_EQ(r->IdTestataPOS, 3);
  EXPECT_EQ(r->IdTestataScontrinoBKF, -1);
  EXPECT_EQ(r->IdTestataMovMagBKF, -1);
  EXPECT_FALSE(r->SincronizzatoScontrinoBKF);
  EXPECT_FALSE(r->SincronizzatoMovMagBKF);
  EXPECT_TRUE(r->Righe.empty());
}

TEST_F(SelectionTest, NothingToSelectIsAnEmptySuccess) { EXPECT_TRUE(Select(1).empty()); }

TEST_F(SelectionTest, AKeyAddedTwiceFailsAndKeepsWhatWasAdded) {
  Receipt(1, 4, "1");
  Row(10, 1, "0");
  Receipt(2, 4, "1");
  Row(20, 2, "0");
  SyncCollection c;
  auto existing = std::make_shared<clsSincroTestataScontrino>();
  c.Add(existing, "ID_2");
  int32_t kind = 1;
  EXPECT_FALSE(RecuperaTestate(ctx, kind, c));
  EXPECT_EQ(c.Count(), 2u);
  EXPECT_EQ(ErrorsFrom("TovoVelkaris_RecuperaTestate").size(), 1u);
}

TEST_F(SelectionTest, FailsWhenADatabaseCannotBeReached) {
  SetRegistryText("Velkarys.ConnDBPuntoCassa.ConnectionString", "");
  SyncCollection c;
  int32_t kind = 1;
  EXPECT_FALSE(RecuperaTestate(ctx, kind, c));
  EXPECT_EQ(ErrorsFrom("AvviaConnessionePcassa").size(), 1u);
  EXPECT_TRUE(ErrorsFrom("TovoVelkaris_RecuperaTestate").empty());
}

// ---- The receipt report ----------------------------------------------------

std::shared_ptr<clsSincroTestataScontrino> Header(int pos, int bkf, int mov) {
  auto h = std::make_shared<clsSincroTestataScontrino>();
  h->IdTestataPOS = pos;
  h->IdTestataScontrinoBKF = bkf;
  h->IdTestataMovMagBKF = mov;
  h->SincronizzatoScontrinoBKF = bkf > 0;
  h->SincronizzatoMovMagBKF = mov > 0;
  return h;
}

// A receipt whose rows `ids` were written on both sides, as a transfer hands it over.
SyncCollection WrittenOnBothSides(std::shared_ptr<clsSincroTestataScontrino> header, const std::vector<int>& ids) {
  for (int id : ids) {
    auto r = header->AggiungiRiga(id);
    r->SincronizzatoScontrinoBKF = r->SincronizzatoMovMagBKF = true;
  }
  SyncCollection c;
  c.Add(header, "ID_" + std::to_string(header->IdTestataPOS));
  return c;
}

TEST_F(SelectionTest, ReportListsTheHeaderAndEveryRowWithItsFlags) {
  SyncCollection c;
  auto h = Header(1, 5, 7);
  auto ok = h->AggiungiRiga(10);
  ok->IdDettaglioScontrinoBKF = 100;
  ok->IdDettaglioMovMagBKF = 200;
  ok->SincronizzatoScontrinoBKF = ok->SincronizzatoMovMagBKF = true;
  auto half = h->AggiungiRiga(11);
  half->IdDettaglioScontrinoBKF = 101;
  half->SincronizzatoScontrinoBKF = true;
  c.Add(h, "ID_1");
  ParseCollectionForLoggin(ctx, c);
  auto lines = SyncLogLines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Esito avvio sincronizzazione - 04/12/2026 19:05:11");
  EXPECT_EQ(lines[1], "Testata sincronizzata -  IdTestataMovMagBKF:7 IdTestataPOS:1 IdTestataScontrinoBKF:5 "
                      "SincronizzatoMovMagBKF:True SincronizzatoScontrinoBKF:True");
  EXPECT_EQ(lines[2], "     Riga sincronizzata -  IdDettaglioMovMagBKF:200 IdDettaglioPOS:10 "
                      "IdDettaglioScontrinoBKF:100 SincronizzatoMovMagBKF:True SincronizzatoScontrinoBKF:True");
  EXPECT_EQ(lines[3], "     ERRORE Riga sincronizzata -  IdDettaglioMovMagBKF:-1 IdDettaglioPOS:11 "
                      "IdDettaglioScontrinoBKF:101 SincronizzatoMovMagBKF:False SincronizzatoScontrinoBKF:True");
  EXPECT_EQ(lines[4], "Fine sincronizzazione - 04/12/2026 19:05:11");
  EXPECT_EQ(lines[5], " ");
}

TEST_F(SelectionTest, ReportOfAHeaderWithoutRowsAndOfAnEmptyCollection) {
  SyncCollection empty;
  ParseCollectionForLoggin(ctx, empty);
  SyncCollection c;
  c.Add(Header(2, -1, -1), "ID_2");
  ParseCollectionForLoggin(ctx, c);
  auto lines = SyncLogLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "04/12/2026 19:05:11 - Nessun dato da esportare. Programma in chiusura.");
  EXPECT_EQ(lines[2], "Testata sincronizzata -  IdTestataMovMagBKF:-1 IdTestataPOS:2 IdTestataScontrinoBKF:-1 "
                      "SincronizzatoMovMagBKF:False SincronizzatoScontrinoBKF:False");
  EXPECT_EQ(lines[3], "Fine sincronizzazione - 04/12/2026 19:05:11");
}

TEST_F(SelectionTest, OnThe31stTheReportEmptiesTheFileOfDay01First) {
  clock.Set(db::Date::FromParts(2026, 12, 31, 23, 0, 0));
  std::string day01 = ctx.logs.SyncLogPath(db::Date::FromParts(2027, 1, 1));
  std::string day31 = ctx.logs.SyncLogPath(clock.now());
  EXPECT_EQ(day01.substr(day01.size() - 15), "logSincro01.txt");
  ctx.logs.AppendSync("last month's line");
  clock.Set(db::Date::FromParts(2027, 1, 1, 9, 0, 0));
  ctx.logs.AppendSync("last month's line");
  clock.Set(db::Date::FromParts(2026, 12, 31, 23, 0, 0));
  SyncCollection c;
  c.Add(Header(1, 5, 7), "ID_1");
  ParseCollectionForLoggin(ctx, c);
  EXPECT_FALSE(std::filesystem::exists(day01));
  EXPECT_EQ(testing_support::ReadLines(day31).size(), 5u);  // its own old line stays
}

// ---- Export flags -----------------------------------------------------------

// Rows written on both sides are flagged, with the payments of their receipt; a row that
// is no longer there is named in the sync log.
void SelectionTest::CheckExportFlags() {
  Receipt(1, 4, "1");
  Row(10, 1, "0");
  Row(11, 1, "NULL");
  ctx.connDbPuntoCassa->Execute("insert into tabPagamentiScontrini (ID, idTestata, FlagExport) values (1, 1, 0), "
                                "(2, 1, NULL), (3, 2, 0)");
  SyncCollection c;
  auto h = Header(1, 5, 7);
  auto both = h->AggiungiRiga(10);
  both->SincronizzatoScontrinoBKF = both->SincronizzatoMovMagBKF = true;
  auto one = h->AggiungiRiga(11);
  one->SincronizzatoScontrinoBKF = true;  // warehouse side not written
  auto vanished = h->AggiungiRiga(99);
  vanished->SincronizzatoScontrinoBKF = vanished->SincronizzatoMovMagBKF = true;
  c.Add(h, "ID_1");
  EXPECT_TRUE(ParseCollectionForUpdatingRow(ctx, c));
  auto flags = ctx.connDbPuntoCassa->OpenRecordset("select idDettaglio, FlagExport from tabDettaglio order by 1");
  EXPECT_EQ((*flags)["FlagExport"], db::Value(true));
  flags->MoveNext();
  EXPECT_TRUE((*flags)["FlagExport"].IsNull());
  auto pays = ctx.connDbPuntoCassa->OpenRecordset("select count(*) as n from tabPagamentiScontrini where FlagExport=1");
  EXPECT_EQ((*pays)["n"], db::Value(2));
  auto lines = SyncLogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "04/12/2026 19:05:11 - ERRORE durante il tentativo di aggiornamento del campo 'FlagExport' "
                      "where POSDettaglio.idDettaglio=99");
  // Selected again next time: row 11 is still unexported.
  EXPECT_EQ(Select(1), (std::vector<int32_t>{1}));
}

TEST_F(SelectionTest, ExportFlagsMarkRowsWrittenOnBothSidesAndTheirPayments) { CheckExportFlags(); }

TEST_F(SelectionTest, ExportFlagsOfAUnitOfWorkMarkTheSameRowsAndAReceiptsRowsInOneStatement) {
  UseUnitsOfWork();
  CheckExportFlags();
  Receipt(2, 4, "1");
  Row(20, 2, "0");
  Row(21, 2, "0");
  SyncCollection c = WrittenOnBothSides(Header(2, 6, 8), {20, 21});
  uint64_t before = ctx.connDbPuntoCassa->statement_count();
  EXPECT_TRUE(ParseCollectionForUpdatingRow(ctx, c));
  EXPECT_EQ(ctx.connDbPuntoCassa->statement_count() - before, 2u);  // the rows, then the payments
  EXPECT_EQ(testing_support::Scalar(*ctx.connDbPuntoCassa, "select count(*) from tabDettaglio where idTestata=2 and "
                                                            "FlagExport=1"),
            db::Value(2));
  EXPECT_EQ(SyncLogLines().size(), 1u);  // only the vanished row of the first receipt
}

TEST_F(SelectionTest, ExportFlagsOfAUnitOfWorkTakeALongReceiptsRowsFiveHundredAStatement) {
  UseUnitsOfWork();
  Receipt(1, 4, "1");
  std::vector<int> ids;
  for (int id = 1000; id < 1501; ++id) Row(id, 1, "0"), ids.push_back(id);
  SyncCollection c = WrittenOnBothSides(Header(1, 5, 7), ids);
  uint64_t before = ctx.connDbPuntoCassa->statement_count();
  EXPECT_TRUE(ParseCollectionForUpdatingRow(ctx, c));
  EXPECT_EQ(ctx.connDbPuntoCassa->statement_count() - before, 3u);  // 500 rows, 1 row, the payments
  EXPECT_EQ(testing_support::Scalar(*ctx.connDbPuntoCassa, "select count(*) from tabDettaglio where FlagExport=1"),
            db::Value(501));
  EXPECT_EQ(SyncLogLines().size(), 1u);  // no payments: warned once, no row named
}

TEST_F(SelectionTest, ExportFlagsWithoutPaymentsWarnOncePerMarkedRow) {
  Receipt(1, 4, "1");
  Row(10, 1, "0");
  Row(11, 1, "0");
  SyncCollection c = WrittenOnBothSides(Header(1, 5, 7), {10, 11});
  EXPECT_TRUE(ParseCollectionForUpdatingRow(ctx, c));
  auto lines = SyncLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "04/12/2026 19:05:11 - ERRORE durante il tentativo di aggiornamento del campo 'FlagExport' "
                      "where POSPagamenti.idDettaglio=11");
  EXPECT_TRUE(Select(1).empty());
  SyncCollection empty;
  EXPECT_FALSE(ParseCollectionForUpdatingRow(ctx, empty));
}

TEST_F(SelectionTest, ExportFlagsStopAtAnErrorAndLogIt) {
  SyncCollection c;
  auto h = Header(1, 5, 7);
  auto r = h->AggiungiRiga(10);
  r->SincronizzatoScontrinoBKF = r->SincronizzatoMovMagBKF = true;
  c.Add(h, "ID_1");
  ctx.connDbPuntoCassa->Close();
  EXPECT_FALSE(ParseCollectionForUpdatingRow(ctx, c));
  EXPECT_EQ(ErrorsFrom("ParseCollectionForUpdatingRow").size(), 1u);
}

}  // namespace
}  // namespace velkaris
