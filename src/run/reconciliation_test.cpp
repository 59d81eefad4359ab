#include "run/reconciliation.h"

#include <gtest/gtest.h>

#include "testing/builders.h"
#include "testing/temp_databases.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::Insert;

class ReconciliationTest : public ::testing::Test {
 protected:
  ReconciliationTest() {
    db::Connection& f = *dbs.front;
    db::Connection& b = *dbs.back;
    // POS: two transferred receipts of 04/12 (a sale, a return row), one of 05/12 still
    // waiting, one never printed.
    Insert(f, "tabTestate", {{"idTestata", 1}, {"IdCausale", 4}, {"Printed", true}, {"Data", Day(4)}});
    Insert(f, "tabTestate", {{"idTestata", 2}, {"IdCausale", 4}, {"Printed", true}, {"Data", Day(4)}});
    Insert(f, "tabTestate", {{"idTestata", 3}, {"IdCausale", 5}, {"Printed", true}, {"Data", Day(5)}});
    Insert(f, "tabTestate", {{"idTestata", 4}, {"IdCausale", 4}, {"Printed", false}, {"Data", Day(5)}});
    PosRow(11, 1, 1, "A", 10, true);
    PosRow(12, 1, 1, "", 0, true);  // a text-only row: no movement
    PosRow(21, 2, 2, "B", 5, true);
    PosRow(31, 3, 1, "A", 7, false);
    PosRow(41, 4, 1, "A", 99, false);
    // Back office, till 1: the two receipts of 04/12; a receipt of till 2 is not ours.
    Insert(b, "tabTestateScontrini", {{"idTestata", 100}, {"idCassa", 1}, {"DataOraScontrino", Day(4, 10)},
                                      {"TotaleImporto", 10.0}});
    Insert(b, "tabTestateScontrini", {{"idTestata", 200}, {"idCassa", 1}, {"DataOraScontrino", Day(4, 11)},
                                      {"TotaleImporto", -5.0}});
    Insert(b, "tabTestateScontrini", {{"idTestata", 300}, {"idCassa", 2}, {"DataOraScontrino", Day(5, 9)},
                                      {"TotaleImporto", 50.0}});
    for (auto [id, receipt, barcode] : {std::tuple{1001, 100, "A"}, {1002, 100, ""}, {2001, 200, "B"}}) {
      Insert(b, "tabDettaglioScontrini", {{"idDettaglio", id}, {"idTestata", receipt}, {"Barcode", barcode}});
    }
    Insert(b, "tabCausali", {{"IdCausale", 4}, {"TipoMovimento", "S"}});
    Insert(b, "tabCausali", {{"IdCausale", 6}, {"TipoMovimento", "C"}});
    Insert(b, "tabTestateMagazzino", {{"idTestata", 1}, {"IdCausale", 4}});
    Insert(b, "tabTestateMagazzino", {{"idTestata", 2}, {"IdCausale", 6}});
    Insert(b, "tabDettaglioMagazzino", {{"idDettaglio", 1}, {"idTestata", 1}, {"Barcode", "A"}, {"Quantita", 1.0},
                                        {"idMagazzino", 1}, {"idDettaglioScontrino", 1001}});
    Insert(b, "tabDettaglioMagazzino", {{"idDettaglio", 2}, {"idTestata", 2}, {"Barcode", "B"}, {"Quantita", 1.0},
                                        {"idMagazzino", 1}, {"idDettaglioScontrino", 2001}});
    Insert(b, "tabGiacenze", {{"IdGiacenza", 1}, {"idMagazzino", 1}, {"Barcode", "A"}, {"Giacenza", -1.0}});
    Insert(b, "tabGiacenze", {{"IdGiacenza", 2}, {"idMagazzino", 1}, {"Barcode", "B"}, {"Giacenza", 3.0}});
    Insert(b, "tabSincroErrori", {{"IdCassa", 1}, {"IdScontrinoPos", 3}, {"Tentativi", 2},
                                  {"UltimoErrore", "Violazione PK"}, {"DataUltimoTentativo", Day(5, 20)}});
    Insert(b, "tabSincroErrori", {{"IdCassa", 2}, {"IdScontrinoPos", 1}, {"Tentativi", 1}, {"UltimoErrore", "x"},
                                  {"DataUltimoTentativo", Day(4, 20)}});
  }
  static Value Day(int day, int hour = 0) { return Value(db::Date::FromParts(2026, 12, day, hour, 0, 0)); }
  void PosRow(int id, int receipt, int causale, const char* barcode, double total, bool flagged) {
    Insert(*dbs.front, "tabDettaglio", {{"idDettaglio", id}, {"IdTestata", receipt}, {"IdCausale", causale},
                                        {"Barcode", barcode}, {"TotaleNettoSconto", total}, {"FlagExport", flagged}});
  }
  std::vector<Check> Run(DayRange days = {}) { return Reconcile(*dbs.front, *dbs.back, 1, days); }

  testing_support::TempDatabases dbs;
};

TEST_F(ReconciliationTest, EveryCheckComparesTheTwoSidesOfThisTill) {
  std::vector<Check> c = Run();
  ASSERT_EQ(c.size(), 6u);
  EXPECT_EQ(c[0].what, "printed POS receipts / back-office receipts");
  EXPECT_EQ(c[0].front, "3");
  EXPECT_EQ(c[0].back, "2");
  EXPECT_EQ(c[0].result, Check::kDiffers);
  ASSERT_EQ(c[0].details.size(), 2u);
  EXPECT_EQ(c[0].details[0], "05/12/2026: 1 POS receipts (7.00), 0 back-office receipts (0.00)");
  EXPECT_EQ(c[0].details[1], "1 POS receipts still have rows not flagged exported (the next run selects them)");
  EXPECT_EQ(c[1].front, "12.00");  // 10 - 5 (a returned row) + 7
  EXPECT_EQ(c[1].back, "5.00");
  EXPECT_EQ(c[1].result, Check::kDiffers);
  EXPECT_EQ(c[2].front, "3");  // flagged POS rows
  EXPECT_EQ(c[2].back, "3");   // receipt rows
  EXPECT_EQ(c[2].result, Check::kAgrees);
  EXPECT_EQ(c[3].front, "2");  // flagged rows of an article
  EXPECT_EQ(c[3].back, "2");   // receipt rows with a movement
  EXPECT_EQ(c[3].result, Check::kAgrees);
  EXPECT_EQ(c[4].back, "1");
  EXPECT_EQ(c[4].result, Check::kDiffers);
  ASSERT_EQ(c[4].details.size(), 1u);
  EXPECT_EQ(c[4].details[0], "POS receipt 3: 2 attempts, the last on 05/12/2026 20:00:00: Violazione PK");
  EXPECT_EQ(c[5].front, "2 checked");
  EXPECT_EQ(c[5].back, "1");  // B: stock 3, loaded once
  EXPECT_EQ(c[5].details, std::vector<std::string>{"barcode B in warehouse 1: stock 3, movements 1"});
  std::string table = FormatChecks(c);
  EXPECT_NE(table.find("DIFFERS"), std::string::npos);
  EXPECT_NE(table.find("    05/12/2026: 1 POS receipts"), std::string::npos) << table;
}

TEST_F(ReconciliationTest, ADayRangeLimitsTheReceiptsAndAMissingMovementIsFound) {
  dbs.back->Execute("update tabGiacenze set Giacenza = 1 where Barcode = 'B'");
  DayRange fourth{db::Date::FromParts(2026, 12, 4), db::Date::FromParts(2026, 12, 4)};
  for (const Check& c : Run(fourth)) EXPECT_EQ(c.result, Check::kAgrees) << FormatChecks({c});
  EXPECT_EQ(Run(fourth)[0].front, "2");
  // The movement of the returned row goes missing.
  dbs.back->Execute("update tabDettaglioMagazzino set idDettaglioScontrino = NULL where idDettaglio = 2");
  std::vector<Check> c = Run(fourth);
  EXPECT_EQ(c[3].front, "2");
  EXPECT_EQ(c[3].back, "1");
  EXPECT_EQ(c[3].result, Check::kDiffers);
  // From the 5th on: only the waiting receipt and its failure.
  c = Run(DayRange{db::Date::FromParts(2026, 12, 5), std::nullopt});
  EXPECT_EQ(c[0].front, "1");
  EXPECT_EQ(c[0].back, "0");
  EXPECT_EQ(c[4].back, "1");
}

TEST_F(ReconciliationTest, AnOlderBackOfficeWithoutTheFailureTableIsToldSo) {
  dbs.back->Execute("drop table tabSincroErrori");
  Check failed = Run()[4];
  EXPECT_EQ(failed.result, Check::kUnknown);
  EXPECT_EQ(failed.back, "not kept");
  ASSERT_EQ(failed.details.size(), 1u);
  EXPECT_NE(failed.details[0].find("no table tabSincroErrori"), std::string::npos);
  EXPECT_NE(FormatChecks({failed}).find("unknown"), std::string::npos);
}

}  // namespace
}  // namespace velkaris
