// After a pass, every stock level equals the initial stock plus the movements of its
// warehouse: in tabGiacenze per warehouse and barcode, and in tabBarcode and tabArticoli for
// the till's warehouse. The shop below is crafted so that unit conversion, exploded kits,
// warehouse-swapping causali (primary and secondary) and headers reached out of order all
// take part, in both run modes.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <utility>

#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "receipts/receipt_transfer.h"
#include "run/run_driver.h"
#include "testing/shop_fixture.h"
#include "util/text.h"
#include "warehouse/warehouse_transfer.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::Insert;
using Key = std::pair<int32_t, std::string>;  // warehouse, barcode (upper case)

// Run in both modes: receipts as units of work (true) and every statement on its own.
class StockInvariantTest : public testing_support::ShopTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) UseUnitsOfWork();
    RegisterDatabases();
    ctx.computer_name = "TILL1";
    auto& back = *ctx.connDbLocale;
    // An article counted in cartons of 6 pieces, sold in the shop's default unit (PZ).
    Insert(back, "tabArticoli", {{"idArticolo", Value(3)}, {"CodiceArticolo", Value("ART3")}, {"UM", Value("CT")},
                                 {"TipoUmVen", Value(2)}, {"ConversioneUM", Value(true)},
                                 {"UMAlternativa", Value("PZ")}, {"UMAlternativaDestinazione", Value("CT")},
                                 {"FattoreConversione", Value(6.0)}, {"AggiornaGiacenze", Value(true)},
                                 {"aliquotaIva", Value(22.0)}, {"CodiceIva", Value("22")}});
    Insert(back, "tabBarcode", {{"Barcode", Value("8003")}, {"idArticolo", Value(3)}});
    // A kit: two of 8001, a part without a barcode, and a sub-kit of 8002 that loops back.
    Insert(back, "tabArticoli", {{"idArticolo", Value(9)}, {"CodiceArticolo", Value("KIT")}, {"UM", Value("PZ")}});
    Insert(back, "tabBarcode", {{"Barcode", Value("KIT9")}, {"idArticolo", Value(9)}});
    Insert(back, "tabArticoli", {{"idArticolo", Value(8)}, {"CodiceArticolo", Value("SUB")}, {"UM", Value("PZ")},
                                 {"AggiornaGiacenze", Value(true)}});
    Insert(back, "tabBarcode", {{"Barcode", Value("SUB8")}, {"idArticolo", Value(8)}});
    Insert(back, "tabArticoli", {{"idArticolo", Value(900)}, {"CodiceArticolo", Value("NOBAR")},
                                 {"Descrizione", Value("Nastro")}, {"AggiornaGiacenze", Value(true)}});
    Insert(back, "tabArticoli", {{"idArticolo", Value(901)}, {"CodiceArticolo", Value("900")}, {"UM", Value("PZ")},
                                 {"AggiornaGiacenze", Value(true)}});
    Insert(back, "tabBarcode", {{"Barcode", Value("X901")}, {"idArticolo", Value(901)}});
    for (auto [parent, child, qty] : {std::tuple<int, int, double>{9, 1, 2}, {9, 900, 1}, {9, 8, 1}, {8, 2, 3}, {8, 9, 1}}) {
      Insert(back, "tabGestioneDistinteBase", {{"idArticoloPadre", Value(parent)}, {"idArticoloFiglio", Value(child)},
                                               {"Quantita", Value(qty)}});
    }
    // Warehouse causali: 41 explodes kits; 42 has the secondary 43, which swaps the
    // warehouses and loads; 44 swaps the warehouses itself; 45 is a plain unload.
    back.Execute("insert into tabCausali (IdCausale, Causale, TipoMovimento, Gestionale, EsplodiDistinta, "
                 "InvertiMagazzini, CausaleMovimentoSecondario) values (41, 'KIT', 'S', 1, 1, 0, NULL), "
                 "(42, 'PRI', 'S', 1, 0, 0, 'SWP'), (43, 'SWP', 'C', 1, 0, 1, NULL), (44, 'INV', 'S', 1, 0, 1, NULL), "
                 "(45, 'ALT', 'S', 1, 0, 0, NULL)");
    // Initial stock of the till's warehouse 1, and of warehouse 2.
    for (auto [warehouse, barcode, article, qty] :
         {std::tuple<int, const char*, int, double>{1, "8001", 1, 100}, {1, "8002", 2, 40}, {1, "8003", 3, 50},
          {1, "X901", 901, 10}, {2, "8001", 1, 30}}) {
      initial_[{warehouse, barcode}] = qty;
      Insert(back, "tabGiacenze", {{"IdGiacenza", Value(static_cast<int32_t>(initial_.size()))},
                                   {"idMagazzino", Value(warehouse)}, {"Barcode", Value(barcode)},
                                   {"idArticolo", Value(article)}, {"giacenza", Value(qty)}, {"Ordinato", Value(0)},
                                   {"impegnato", Value(0)}, {"disponibile", Value(qty)}});
      if (warehouse == 1) {
        back.Execute("update tabBarcode set Giacenza=" + std::to_string(qty) + " where Barcode='" + barcode + "'");
        back.Execute("update tabArticoli set Giacenza=" + std::to_string(qty) + " where idArticolo=" +
                     std::to_string(article));
      }
    }
  }

  void Run() { Main(ctx, "/no_wait", TransferOps{PCassa_SincroScontrino, PCassa_AggiornaMagazzinoDaScontrino}); }

  // Initial stock plus the movement rows of each warehouse and barcode, by the direction of
  // their header's causale.
  std::map<Key, double> Expected() {
    std::map<Key, double> stock = initial_;
    auto rows = dbs.back->OpenRecordset(
        "select m.idMagazzino, m.Barcode, m.Quantita, c.TipoMovimento from tabDettaglioMagazzino m inner join "
        "tabTestateMagazzino t on m.idTestata = t.idTestata inner join tabCausali c on t.IdCausale = c.IdCausale "
        "where m.Barcode is not null");
    for (; !rows->Eof(); rows->MoveNext()) {
      std::string tipo = db::CStr((*rows)["TipoMovimento"]);
      if (util::ToLower(tipo) == "n") continue;
      double q = std::fabs(db::CDbl((*rows)["Quantita"]));
      stock[{db::CLng((*rows)["idMagazzino"]), util::ToUpper(db::CStr((*rows)["Barcode"]))}] += tipo == "S" ? -q : q;
    }
    return stock;
  }
  std::map<Key, double> Actual() {
    std::map<Key, double> stock;
    for (auto rs = dbs.back->OpenRecordset("select idMagazzino, Barcode, giacenza from tabGiacenze"); !rs->Eof();
         rs->MoveNext()) {
      stock[{db::CLng((*rs)["idMagazzino"]), util::ToUpper(db::CStr((*rs)["Barcode"]))}] =
          db::CDbl((*rs)["giacenza"]);
    }
    return stock;
  }

  static double At(std::map<Key, double>& levels, int32_t warehouse, const std::string& barcode) {
    return levels[{warehouse, barcode}];
  }

  std::map<Key, double> initial_;
};

TEST_P(StockInvariantTest, EveryStockLevelIsTheInitialStockPlusItsWarehousesMovements) {
  // 1: 2 of 8001 and 10 PZ of the carton article.
  PosReceipt(1);
  PosRow(11, 1, {{"Quantita", Value(2.0)}});
  PosRow(12, 1, {{"Barcode", Value("8003")}, {"Quantita", Value(10.0)}});
  // 2: the header of causale 4 exists; a header of causale 45 is created between two rows
  // that go back to it.
  PosReceipt(2);
  PosRow(21, 2, {{"Barcode", Value("8002")}});
  PosRow(22, 2, {{"IdCausaleMagazzino", Value(45)}});
  PosRow(23, 2, {{"Barcode", Value("8002")}, {"Quantita", Value(2.0)}});
  // 3: a kit of causale 41, exploded.
  PosReceipt(3);
  PosRow(31, 3, {{"Barcode", Value("KIT9")}, {"Quantita", Value(2.0)}, {"IdCausaleMagazzino", Value(41)}});
  // 4: causale 42 with its warehouse-swapping secondary.
  PosReceipt(4);
  PosRow(41, 4, {{"Quantita", Value(3.0)}, {"IdCausaleMagazzino", Value(42)}});
  // 5 and 6: a causale that swaps the warehouses itself, over two receipts.
  PosReceipt(5);
  PosRow(51, 5, {{"Barcode", Value("8002")}, {"IdCausaleMagazzino", Value(44)}});
  PosRow(52, 5, {{"Barcode", Value("8002")}, {"IdCausaleMagazzino", Value(44)}});
  PosReceipt(6);
  PosRow(61, 6, {{"IdCausaleMagazzino", Value(44)}});
  Run();
  EXPECT_TRUE(ErrorsFrom("Giacenze_AggiornaGiacenza").empty());
  EXPECT_EQ(Front("select count(*) from tabDettaglio where FlagExport=1"), Value(10));

  // The invariant, per warehouse and barcode, on every level that exists or was moved.
  std::map<Key, double> expected = Expected(), actual = Actual();
  for (const auto& [key, level] : expected) {
    EXPECT_GE(key.first, 0) << key.second;
    ASSERT_TRUE(actual.count(key)) << key.first << " " << key.second;
    EXPECT_NEAR(actual[key], level, 1e-9) << key.first << " " << key.second;
  }
  EXPECT_EQ(actual.size(), expected.size());
  // tabBarcode and tabArticoli hold the till's warehouse.
  for (auto rs = dbs.back->OpenRecordset("select Barcode, idArticolo, Giacenza from tabBarcode where Giacenza is not null");
       !rs->Eof(); rs->MoveNext()) {
    std::string barcode = util::ToUpper(db::CStr((*rs)["Barcode"]));
    EXPECT_NEAR(db::CDbl((*rs)["Giacenza"]), At(expected, 1, barcode), 1e-9) << barcode;
    int32_t article = db::CLng((*rs)["idArticolo"]);
    EXPECT_NEAR(db::CDbl(Back("select Giacenza from tabArticoli where idArticolo=" + std::to_string(article))),
                At(expected, 1, barcode), 1e-9)
        << barcode;
  }
  // The figures themselves: 8001 -2 (sale) -1 (45) -4 (kit) -3 +3 (42 and its swapped
  // secondary) -1 (44); 8002 -1 -2 -6 (sub-kit) -1 -1; 10 PZ are 1.67 CT.
  EXPECT_NEAR(At(expected, 1, "8001"), 92, 1e-9);
  EXPECT_NEAR(At(expected, 1, "8002"), 29, 1e-9);
  EXPECT_NEAR(At(expected, 1, "8003"), 48.33, 1e-9);
  EXPECT_NEAR(At(expected, 2, "8001"), 30, 1e-9);
  EXPECT_NEAR(At(expected, 1, "X901"), 10, 1e-9);  // the part without a barcode moves no other article

  // The movement row counts what the receipt row counts.
  auto carton = dbs.back->OpenRecordset("select * from tabDettaglioMagazzino where Barcode='8003'");
  ASSERT_FALSE(carton->Eof());
  EXPECT_EQ((*carton)["UM"], Value("CT"));
  EXPECT_EQ((*carton)["Quantita"], Value(1.67));
  EXPECT_EQ((*carton)["UM2"], Value("PZ"));
  EXPECT_EQ((*carton)["Quantita2"], Value(10.0));
  EXPECT_EQ(Back("select Quantita from tabDettaglioScontrini where Barcode='8003'"), Value(1.67));
  EXPECT_EQ(Back("select UM from tabDettaglioScontrini where Barcode='8003'"), Value("CT"));

  // The kit: its components, the part as a descriptive row, no row for the looping kit.
  EXPECT_EQ(Count("tabDettaglioMagazzino", "Barcode in ('KIT9', '900', 'X901')"), 0);
  EXPECT_EQ(Count("tabDettaglioMagazzino", "Barcode is null and Descrizione='Nastro'"), 1);

  // Headers: the swapping causale found its header again; the swapped secondary books its
  // rows to the warehouse it names; every header has its totals.
  EXPECT_EQ(Count("tabTestateMagazzino", "IdCausale=44"), 1);
  EXPECT_EQ(Back("select IDMagazzinoPartenza from tabTestateMagazzino where IdCausale=43"), Value(-1));
  EXPECT_EQ(Back("select IDMagazzinoDestinazione from tabTestateMagazzino where IdCausale=43"), Value(1));
  EXPECT_EQ(Count("tabDettaglioMagazzino", "idMagazzino < 0"), 0);
  EXPECT_EQ(Count("tabGiacenze", "idMagazzino < 0"), 0);
  for (auto h = dbs.back->OpenRecordset("select idTestata, IdCausale, TotImponibile from tabTestateMagazzino");
       !h->Eof(); h->MoveNext()) {
    std::string id = db::CStr((*h)["idTestata"]);
    ASSERT_FALSE((*h)["TotImponibile"].IsNull()) << "header of causale " << db::CStr((*h)["IdCausale"]);
    EXPECT_NEAR(db::CDbl((*h)["TotImponibile"]),
                db::CDbl(TestNull(ctx, Back("select sum(Imponibile) from tabDettaglioMagazzino where idTestata=" + id),
                                  Value(0.0))),
                0.005)
        << "header of causale " << db::CStr((*h)["IdCausale"]);
  }

  // A second pass changes nothing.
  std::map<Key, double> before = Actual();
  Run();
  EXPECT_EQ(Actual(), before);
}

INSTANTIATE_TEST_SUITE_P(BothModes, StockInvariantTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                           return mode.param ? "UnitsOfWork" : "EveryStatementOnItsOwn";
                         });

}  // namespace
}  // namespace velkaris
