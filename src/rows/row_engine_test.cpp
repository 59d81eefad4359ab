#include "rows/row_engine.h"

#include <gtest/gtest.h>

#include "db/recordset.h"
#include "documents/document_totals.h"
#include "testing/builders.h"
#include "testing/context_fixture.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::Insert;

class RowEngineTest : public testing_support::ContextTest {
 protected:
  void SetUp() override {
    ctx.settings.AliquotaIvaPredefinita = 22;
    ctx.settings.CifreDecimali = 2;
  }
  // A receipt row with the given columns besides its id, header and barcode.
  void Row(int id, testing_support::Columns columns, const char* table = "tabDettaglioScontrini") {
    Insert(*ctx.connDbLocale, table, {{"idDettaglio", Value(id)}, {"idTestata", Value(1)}, {"Barcode", Value("8001")}});
    auto rs = ctx.connDbLocale->OpenRecordset(std::string("select * from ") + table + " where idDettaglio=" +
                                                  std::to_string(id),
                                              db::kStatic, db::kPessimistic);
    for (const auto& [name, value] : columns) rs->Set(name, value);
    rs->Update();
  }
  db::Value Col(int id, const std::string& column, const char* table = "tabDettaglioScontrini") {
    return testing_support::Scalar(*ctx.connDbLocale, "select " + column + " from " + table +
                                                          " where idDettaglio=" + std::to_string(id));
  }
  double Num(int id, const std::string& column, const char* table = "tabDettaglioScontrini") {
    return db::CDbl(Col(id, column, table));
  }
};

TEST_F(RowEngineTest, GrossPricesWithADiscount) {
  Row(1, {{"prezzoVendita", Value(10.0)}, {"Quantita2", Value(3.0)}, {"Quantita", Value(99.0)},
          {"Sconto1", Value(10.0)}, {"aliquotaIva", Value(22.0)}});
  AggiornaTotaliRiga(ctx, 1, "tabDettaglioScontrini", ctx.connDbLocale.get(), 0);
  EXPECT_DOUBLE_EQ(Num(1, "TotaleNettoSconto"), 27.00);
  EXPECT_DOUBLE_EQ(Num(1, "Imponibile"), 22.13);
  EXPECT_DOUBLE_EQ(Num(1, "Iva"), 4.87);
  EXPECT_DOUBLE_EQ(Num(1, "Totale"), 30.00);  // Quantita2, never Quantita
  EXPECT_DOUBLE_EQ(Num(1, "ImportoSconto"), 3.00);
  EXPECT_TRUE(ErrorLogLines().empty());
}

// Inside a receipt's unit of work on SQLite a new row gets its amounts before the insert:
// one statement instead of insert, read back and update, and the same stored row.
TEST_F(RowEngineTest, ANewRowOfAUnitOfWorkIsInsertedWithTheAmountsAnUpdateWouldGiveIt) {
  UseUnitsOfWork();
  const testing_support::Columns columns = {
      {"prezzoVendita", Value(9.99)},  {"Quantita2", Value(3.0)},   {"Quantita", Value(99.0)},
      {"Sconto1", Value(10.0)},        {"Sconto3", Value(5.0)},     {"aliquotaIva", Value(22.0)},
      {"CostoImporto", Value(4.2)},    {"CostoSconto2", Value(3.0)}, {"PrezzoVenditaNettoIva", Value(8.19)}};
  Row(1, columns);
  AggiornaTotaliRiga(ctx, 1, "tabDettaglioScontrini", nullptr, 0.05);

  db::Connection& c = *ctx.connDbLocale;
  auto pending = [&](int id, testing_support::Columns values) {
    auto rs = c.OpenRecordset("select * from tabDettaglioScontrini where 1=2", db::kStatic, db::kPessimistic);
    rs->AddNew();
    rs->Set("idDettaglio", Value(id));
    rs->Set("idTestata", Value(1));
    rs->Set("Barcode", Value("8001"));
    for (const auto& [name, value] : values) rs->Set(name, value);
    return rs;
  };
  auto outside = pending(2, columns);
  EXPECT_FALSE(SetRowTotalsBeforeInsert(ctx, "tabDettaglioScontrini", c, *outside, 0.05));  // no transaction
  EXPECT_TRUE(outside->Field("TotaleNettoSconto").IsNull());

  c.BeginTransaction();
  auto rs = pending(2, columns);
  ASSERT_TRUE(SetRowTotalsBeforeInsert(ctx, "tabDettaglioScontrini", c, *rs, 0.05));
  uint64_t before = c.statement_count();
  rs->Update();
  EXPECT_EQ(c.statement_count() - before, 1u);
  c.CommitTransaction();
  auto stored = [&](int id) {
    auto r = c.OpenRecordset("select * from tabDettaglioScontrini where idDettaglio=" + std::to_string(id));
    std::string out;
    for (int i = 0; i < r->FieldCount(); ++i) {
      if (r->FieldName(i) != "idDettaglio") out += r->FieldName(i) + "=" + r->Field(i).DebugString() + " ";
    }
    return out;
  };
  EXPECT_NE(stored(1).find("TotaleNettoSconto=25,6 "), std::string::npos) << stored(1);  // 25.62 to the step
  EXPECT_EQ(stored(2), stored(1));

  // A quantity that cannot be computed: the record is left as it was, and the amounts are
  // computed after the insert, where the failure is logged as before.
  c.BeginTransaction();
  auto bad = pending(3, {{"prezzoVendita", Value(2.0)}, {"Quantita2", Value()}});
  db::Recordset::Pending as_given = bad->SavePending();
  EXPECT_FALSE(SetRowTotalsBeforeInsert(ctx, "tabDettaglioScontrini", c, *bad, 0));
  EXPECT_EQ(bad->SavePending().assigned, as_given.assigned);
  EXPECT_TRUE(ErrorLogLines().empty());
  c.RollbackTransaction();

  ctx.uow.no_read_back = false;  // as on SQL Server
  c.BeginTransaction();
  auto off = pending(4, columns);
  EXPECT_FALSE(SetRowTotalsBeforeInsert(ctx, "tabDettaglioScontrini", c, *off, 0.05));
  c.RollbackTransaction();
}

TEST_F(RowEngineTest, DiscountsCascadeAndTheStepRoundsTotals) {
  Row(1, {{"prezzoVendita", Value(100.0)}, {"Quantita2", Value(1.0)}, {"Sconto1", Value(10.0)},
          {"Sconto2", Value(10.0)}, {"aliquotaIva", Value(22.0)}});
  AggiornaTotaliRiga(ctx, 1, "tabDettaglioScontrini", nullptr, 0);
  EXPECT_DOUBLE_EQ(Num(1, "TotaleNettoSconto"), 81.00);  // factor 0.81, not 0.80

  Row(2, {{"prezzoVendita", Value(9.01)}, {"Quantita2", Value(3.0)}, {"aliquotaIva", Value(22.0)}});
  AggiornaTotaliRiga(ctx, 2, "tabDettaglioScontrini", nullptr, 0.05);
  EXPECT_NEAR(Num(2, "TotaleNettoSconto"), 27.05, 1e-9);  // 27.03 to the step
  EXPECT_NEAR(Num(2, "Imponibile"), 22.15, 1e-9);
  EXPECT_NEAR(Num(2, "Iva"), 4.90, 1e-9);  // the two-decimal difference of the stored values
}

TEST_F(RowEngineTest, CostsAndMargins) {
  Row(1, {{"prezzoVendita", Value(12.2)}, {"Quantita2", Value(2.0)}, {"aliquotaIva", Value(22.0)},
          {"CostoImporto", Value(10.0)}, {"CostoSconto1", Value(50.0)}});
  AggiornaTotaliRiga(ctx, 1, "tabDettaglioScontrini", nullptr, 0);
  EXPECT_DOUBLE_EQ(Num(1, "CostoTotaleImporto"), 10.00);
  EXPECT_DOUBLE_EQ(Num(1, "CostoTotaleImponibile"), 8.20);
  EXPECT_DOUBLE_EQ(Num(1, "CostoTotaleIva"), 1.80);
  // Imponibile 20.00, cost 8.20: margin 11.80 and 143.90 percent.
  EXPECT_DOUBLE_EQ(Num(1, "MarginalitaEuro"), 11.8);
  EXPECT_DOUBLE_EQ(Num(1, "MarginalitaPercen"), 143.9);

  Row(2, {{"prezzoVendita", Value(12.2)}, {"Quantita2", Value(1.0)}, {"aliquotaIva", Value(22.0)},
          {"CostoImporto", Value(5.0)}, {"MarginalitaEuro", Value(0.0)}, {"MarginalitaPercen", Value(7.0)}});
  AggiornaTotaliRiga(ctx, 2, "tabDettaglioScontrini", nullptr, 0);
  EXPECT_DOUBLE_EQ(Num(2, "MarginalitaEuro"), 0);  // kept
  EXPECT_DOUBLE_EQ(Num(2, "MarginalitaPercen"), 7);

  Row(3, {{"prezzoVendita", Value(12.2)}, {"Quantita2", Value(1.0)}, {"aliquotaIva", Value(22.0)}});
  AggiornaTotaliRiga(ctx, 3, "tabDettaglioScontrini", nullptr, 0);
  EXPECT_DOUBLE_EQ(Num(3, "MarginalitaEuro"), 10.0);  // no cost: the whole taxable amount
  EXPECT_DOUBLE_EQ(Num(3, "MarginalitaPercen"), 0);
}

TEST_F(RowEngineTest, NetPricesOnAReceiptRow) {
  ctx.settings.PrezziFatturaNettoIva_PCassa = 1;
  Row(1, {{"PrezzoVenditaNettoIva", Value(10.0)}, {"prezzoVendita", Value(99.0)}, {"Quantita2", Value(3.0)},
          {"Sconto1", Value(10.0)}, {"aliquotaIva", Value(22.0)}, {"CostoImponibile", Value(4.0)}});
  AggiornaTotaliRiga(ctx, 1, "tabDettaglioScontrini", nullptr, 0);
  EXPECT_DOUBLE_EQ(Num(1, "Imponibile"), 27.00);
  EXPECT_DOUBLE_EQ(Num(1, "TotaleNettoSconto"), 32.94);
  EXPECT_DOUBLE_EQ(Num(1, "Iva"), 5.94);
  EXPECT_DOUBLE_EQ(Num(1, "Totale"), 36.60);
  EXPECT_DOUBLE_EQ(Num(1, "ImportoSconto"), 3.66);
  EXPECT_DOUBLE_EQ(Num(1, "CostoTotaleImponibile"), 12.00);
  EXPECT_DOUBLE_EQ(Num(1, "CostoTotaleImporto"), 14.64);
  // The invoice switch alone does not turn a receipt row to net prices.
  ctx.settings.PrezziFatturaNettoIva_PCassa = 0;
  ctx.settings.PrezziFatturaNettoIva = 1;
  AggiornaTotaliRiga(ctx, 1, "tabDettaglioScontrini", nullptr, 0);
  EXPECT_DOUBLE_EQ(Num(1, "TotaleNettoSconto"), 267.30);
  // ... but does a movement row; a Null rate under the net rule is an error.
  Row(2, {{"PrezzoVenditaNettoIva", Value(10.0)}, {"Quantita2", Value(1.0)}, {"aliquotaIva", Value(10.0)}},
      "tabDettaglioMagazzino");
  AggiornaTotaliRiga(ctx, 2, "tabDettaglioMagazzino", nullptr, 0);
  EXPECT_DOUBLE_EQ(Num(2, "TotaleNettoSconto", "tabDettaglioMagazzino"), 11.00);
  Row(3, {{"PrezzoVenditaNettoIva", Value(10.0)}, {"Quantita2", Value(1.0)}}, "tabDettaglioMagazzino");
  AggiornaTotaliRiga(ctx, 3, "tabDettaglioMagazzino", nullptr, 0);
  EXPECT_TRUE(Col(3, "Imponibile", "tabDettaglioMagazzino").IsNull());
  EXPECT_EQ(ErrorsFrom("AggiornaTotaliRiga").size(), 1u);
}

TEST_F(RowEngineTest, RowsLeftAloneAndRowsThatFail) {
  Insert(*ctx.connDbLocale, "tabDettaglioScontrini",
         {{"idDettaglio", Value(1)}, {"idTestata", Value(1)}, {"prezzoVendita", Value(5.0)}, {"Quantita2", Value(1.0)}});
  AggiornaTotaliRiga(ctx, 1, "tabDettaglioScontrini", nullptr, 0);  // Null barcode: a text-only row
  EXPECT_TRUE(Col(1, "TotaleNettoSconto").IsNull());
  AggiornaTotaliRiga(ctx, 99, "tabDettaglioScontrini", nullptr, 0);  // no such row
  EXPECT_TRUE(ErrorLogLines().empty());
  Row(2, {{"prezzoVendita", Value(5.0)}, {"Quantita", Value(1.0)}});  // Null Quantita2
  AggiornaTotaliRiga(ctx, 2, "tabDettaglioScontrini", nullptr, 0);
  EXPECT_TRUE(Col(2, "TotaleNettoSconto").IsNull());
  ASSERT_EQ(ErrorsFrom("AggiornaTotaliRiga").size(), 1u);
  EXPECT_NE(ErrorsFrom("AggiornaTotaliRiga")[0].find("Invalid use of Null"), std::string::npos);
}

// ---- Document totals --------------------------------------------------------

TEST_F(RowEngineTest, ReceiptTotalsSubtractReturnsUnlessPricesAreNet) {
  Insert(*ctx.connDbLocale, "tabTestateScontrini", {{"idTestata", Value(1)}});
  Row(1, {{"IdCausale", Value(1)}, {"TotaleNettoSconto", Value(122.0)}, {"Imponibile", Value(100.0)},
          {"aliquotaIva", Value(22.0)}});
  Row(2, {{"IdCausale", Value(2)}, {"TotaleNettoSconto", Value(12.2)}, {"Imponibile", Value(10.0)},
          {"aliquotaIva", Value(22.0)}});
  ASSERT_TRUE(AggiornaTotaliDocumento(ctx, 9, 1, ctx.connDbLocale.get()));
  auto header = [&](const char* c) {
    return db::CDbl(testing_support::Scalar(*ctx.connDbLocale, std::string("select ") + c +
                                                                  " from tabTestateScontrini where idTestata=1"));
  };
  EXPECT_DOUBLE_EQ(header("TotaleImporto"), 109.80);
  EXPECT_DOUBLE_EQ(header("TotaleImponibile"), 90.00);
  EXPECT_DOUBLE_EQ(header("TotaleIva"), 19.80);

  ctx.settings.PrezziFatturaNettoIva = 1;  // one switch is not enough for receipts
  AggiornaTotaliDocumento(ctx, 23, 1, nullptr);
  EXPECT_DOUBLE_EQ(header("TotaleImporto"), 109.80);
  ctx.settings.PrezziFatturaNettoIva_PCassa = 1;
  AggiornaTotaliDocumento(ctx, 23, 1, nullptr);
  EXPECT_DOUBLE_EQ(header("TotaleImponibile"), 110.00);
  EXPECT_DOUBLE_EQ(header("TotaleImporto"), 134.20);
  EXPECT_DOUBLE_EQ(header("TotaleIva"), 24.20);
}

TEST_F(RowEngineTest, NullCausaleCountsAsSaleAndEmptyOrMissingHeadersAreFine) {
  Insert(*ctx.connDbLocale, "tabTestateScontrini", {{"idTestata", Value(1)}});
  Insert(*ctx.connDbLocale, "tabTestateScontrini", {{"idTestata", Value(2)}, {"TotaleImporto", Value(5.0)}});
  Row(1, {{"TotaleNettoSconto", Value(12.2)}, {"aliquotaIva", Value(22.0)}});
  double taxable = -1, vat = -1, total = -1;
  EXPECT_TRUE(AggiornaTotaliDocumento(ctx, 9, 1, nullptr, taxable, vat, total, 0));
  EXPECT_DOUBLE_EQ(total, 12.2);
  EXPECT_DOUBLE_EQ(taxable, 10);
  EXPECT_TRUE(AggiornaTotaliDocumento(ctx, 9, 2, nullptr));
  EXPECT_DOUBLE_EQ(db::CDbl(testing_support::Scalar(*ctx.connDbLocale,
                                                    "select TotaleImporto from tabTestateScontrini where idTestata=2")),
                   0);
  EXPECT_TRUE(AggiornaTotaliDocumento(ctx, 9, 77, nullptr));
  EXPECT_FALSE(AggiornaTotaliDocumento(ctx, 5, 1, nullptr));
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(RowEngineTest, MovementTotalsLeaveEmptyReturnRowsOut) {
  Insert(*ctx.connDbLocale, "tabTestateMagazzino", {{"idTestata", Value(7)}});
  Row(1, {{"idTestata", Value(7)}, {"TotaleNettoSconto", Value(24.4)}, {"aliquotaIva", Value(22.0)},
          {"isVuoto", Value(false)}},
      "tabDettaglioMagazzino");
  Row(2, {{"idTestata", Value(7)}, {"TotaleNettoSconto", Value(100.0)}, {"aliquotaIva", Value(22.0)},
          {"isVuoto", Value(true)}},
      "tabDettaglioMagazzino");
  Row(3, {{"idTestata", Value(7)}, {"TotaleNettoSconto", Value(11.0)}, {"aliquotaIva", Value(10.0)}},
      "tabDettaglioMagazzino");
  AggiornaTotaliDocumento(ctx, 0, 7, nullptr);
  auto rs = ctx.connDbLocale->OpenRecordset("select * from tabTestateMagazzino where idTestata=7");
  EXPECT_DOUBLE_EQ(db::CDbl((*rs)["TotIvato"]), 35.4);
  EXPECT_DOUBLE_EQ(db::CDbl((*rs)["TotImponibile"]), 30);
  EXPECT_DOUBLE_EQ(db::CDbl((*rs)["TotIva"]), 5.4);
}

TEST_F(RowEngineTest, IvatoAddsVatAndRoundsToTheStep) {
  EXPECT_DOUBLE_EQ(Ivato(ctx, Value(100), Value(22), 2, 0), 122);
  EXPECT_DOUBLE_EQ(Ivato(ctx, Value(8.2), Value(22), 2, 0), 10);
  EXPECT_NEAR(Ivato(ctx, Value(22.17), Value(22), 2, 0.05), 27.05, 1e-9);
  EXPECT_DOUBLE_EQ(Ivato(ctx, Value("x"), Value(22), 2, 0), 0);
  EXPECT_DOUBLE_EQ(Ivato(ctx, Value(1), Value(), 2, 0), 0);
}

}  // namespace
}  // namespace velkaris
