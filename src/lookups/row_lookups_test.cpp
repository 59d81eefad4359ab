#include "lookups/row_lookups.h"

#include <gtest/gtest.h>

#include "lookups/article_lookups.h"
#include "testing/builders.h"
#include "testing/context_fixture.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::Insert;

class LookupsTest : public testing_support::ContextTest {
 protected:
  void SetUp() override {
    ctx.settings.AliquotaIvaPredefinita = 22;
    ctx.settings.CodiceIvaPredefinito = "22";
    ctx.settings.UnitaMisuraPredefinita = "PZ";
    ctx.settings.GestioneAnagraficheConBarcode = 1;
    auto& back = *ctx.connDbLocale;
    Insert(back, "tabArticoli", {{"idArticolo", Value(1)}, {"CodiceArticolo", Value("ART1")}, {"aliquotaIva", Value(10.0)},
                                 {"CodiceIva", Value("10")}, {"UM", Value("KG")}, {"UM2", Value("CF")},
                                 {"TipoUmVen", Value(1)}});
    Insert(back, "tabArticoli", {{"idArticolo", Value(2)}, {"CodiceArticolo", Value("ABC")}, {"TipoUmVen", Value(2)}});
    Insert(back, "tabArticoli", {{"idArticolo", Value(123)}, {"CodiceArticolo", Value("X123")}});
    Insert(back, "tabBarcode", {{"Barcode", Value("8001")}, {"idArticolo", Value(1)}});
    Insert(back, "tabBarcode", {{"Barcode", Value("L'8002")}, {"idArticolo", Value(2)}});
    // Article ABC's barcodes: B1 yesterday, B2 today but hidden, B3 last week.
    Insert(back, "tabBarcode", {{"Barcode", Value("B1")}, {"idArticolo", Value(2)}, {"DataCreaz", Value("03/12/2026")}});
    Insert(back, "tabBarcode", {{"Barcode", Value("B2")}, {"idArticolo", Value(2)}, {"DataCreaz", Value("04/12/2026")},
                                {"NonVisibile", Value(true)}});
    Insert(back, "tabBarcode", {{"Barcode", Value("B3")}, {"idArticolo", Value(2)}, {"DataCreaz", Value("27/11/2026")}});
    Insert(back, "tabBarcode", {{"Barcode", Value("S1")}, {"idArticolo", Value(123)}, {"isNumSeriale", Value(true)}});
    Insert(back, "tabBarcode", {{"Barcode", Value("V1")}, {"idArticolo", Value(123)}, {"idVariante1", Value(1)},
                                {"idVariante2", Value(0)}, {"idVariante3", Value(0)}});
    Insert(back, "tabClienti", {{"IdCliente", Value(15)}, {"FlagIvaCliente", Value(true)}, {"IvaCliente", Value(4.0)},
                                {"CodiceIvaCliente", Value("4")}});
    Insert(back, "tabClienti", {{"IdCliente", Value(16)}, {"FlagIvaCliente", Value(false)}, {"IvaCliente", Value(4.0)}});
    Insert(back, "tabClienti", {{"IdCliente", Value(17)}});
  }
};

TEST_F(LookupsTest, ArticleIdsFromBarcodesAndCodes) {
  EXPECT_EQ(funGetIdArticolo(ctx, "8001", false, false), 1);
  EXPECT_EQ(funGetIdArticolo(ctx, "L'8002", false, false), 2);  // the quote is doubled
  EXPECT_EQ(funGetIdArticolo(ctx, "9999", false, false), -1);
  EXPECT_EQ(funGetIdArticolo(ctx, "ABC", false, true), 2);
  EXPECT_EQ(GetIdArticoloCorretto(ctx, "8001", false), 1);
  EXPECT_EQ(GetIdArticoloCorretto(ctx, "ABC", false), 2);  // not a barcode: found as an article code
  ctx.settings.GestioneAnagraficheConBarcode = 0;
  EXPECT_EQ(GetIdArticoloCorretto(ctx, "8001", false), -1);  // only the article-code search
  EXPECT_EQ(GetIdArticoloCorretto(ctx, "ART1", false), 1);
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(LookupsTest, SaleUnitAndTaxableAmounts) {
  EXPECT_EQ(funGetUMVend(ctx, 1, false), "KG");   // TipoUmVen 1: UM
  EXPECT_EQ(funGetUMVend(ctx, 2, false), "PZ");   // UM2 Null: the default unit
  EXPECT_EQ(funGetUMVend(ctx, 123, false), "PZ");  // TipoUmVen Null counts as UM2
  EXPECT_EQ(funGetUMVend(ctx, -1, false), "PZ");
  EXPECT_DOUBLE_EQ(Imponibile(ctx, Value(122), Value(22), 2), 100);
  EXPECT_DOUBLE_EQ(Imponibile(ctx, Value(10), Value(22), 2), 8.2);
  EXPECT_DOUBLE_EQ(Imponibile(ctx, Value(10), Value("x"), 2), 0);
}

TEST_F(LookupsTest, RowNumbersGoInStepsOfFive) {
  EXPECT_EQ(funGetProgressivoRiga(ctx, "tabDettaglioScontrini", 5, nullptr, "idTestata"), 1);
  Insert(*ctx.connDbLocale, "tabDettaglioScontrini", {{"idDettaglio", Value(1)}, {"idTestata", Value(5)}, {"riga", Value(1)}});
  EXPECT_EQ(funGetProgressivoRiga(ctx, "tabDettaglioScontrini", 5, nullptr, "idTestata"), 6);
  Insert(*ctx.connDbLocale, "tabDettaglioScontrini", {{"idDettaglio", Value(2)}, {"idTestata", Value(5)}, {"riga", Value(6)}});
  EXPECT_EQ(funGetProgressivoRiga(ctx, "tabDettaglioScontrini", 5, ctx.connDbLocale.get(), "idTestata"), 11);
  Insert(*ctx.connDbLocale, "tabDettaglioScontrini", {{"idDettaglio", Value(3)}, {"idTestata", Value(6)}});
  EXPECT_EQ(funGetProgressivoRiga(ctx, "tabDettaglioScontrini", 6, nullptr, "idTestata"), 1);  // Null Riga
}

TEST_F(LookupsTest, BarcodeChoice) {
  EXPECT_EQ(funGetBarcodeCorretto(ctx, "ABC"), "B1");  // newest visible barcode of the article code
  EXPECT_EQ(funGetBarcodeCorretto(ctx, "8001"), "8001");
  EXPECT_EQ(funGetBarcodeCorretto(ctx, "NOPE"), "NOPE");
  ctx.settings.GestioneAnagraficheConBarcode = 0;
  EXPECT_EQ(funGetBarcodeCorretto(ctx, "ABC"), "ABC");
  EXPECT_EQ(funGetBarcode(ctx, *ctx.connDbLocale, "123", false), "V1");  // numeric: an article id
  EXPECT_EQ(funGetBarcode(ctx, *ctx.connDbLocale, "ABC", false), "B1");  // not numeric: an article code
  EXPECT_EQ(funGetBarcode(ctx, *ctx.connDbLocale, "X123", true), "V1");  // the serial number is left out
  EXPECT_EQ(funGetBarcode(ctx, *ctx.connDbLocale, "NONE", true), "");
  EXPECT_EQ(funGetBarcodefromIdArticoloAndVarianti(ctx, *ctx.connDbLocale, "123", 1, 0, 0), "V1");
  EXPECT_EQ(funGetBarcodefromIdArticoloAndVarianti(ctx, *ctx.connDbLocale, "123", 2, 0, 0), "");
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(LookupsTest, ApostrophesAreDoubledOnlyWhereTheQueryDoesIt) {
  Insert(*ctx.connDbLocale, "tabArticoli", {{"idArticolo", Value(9)}, {"CodiceArticolo", Value("D'OR")}});
  Insert(*ctx.connDbLocale, "tabBarcode", {{"Barcode", Value("9009")}, {"idArticolo", Value(9)}});
  EXPECT_EQ(funGetBarcode(ctx, *ctx.connDbLocale, "D'OR", true), "9009");
  EXPECT_FALSE(EsisteBarcode(ctx, "L'8002", *ctx.connDbLocale));
  EXPECT_EQ(ErrorsFrom("EsisteBarcode").size(), 1u);
  EXPECT_EQ(funGetBarcodeCorretto(ctx, "L'8002"), "L'8002");
}

TEST_F(LookupsTest, VatRateAndCodeWithTheCustomersOwnFirst) {
  EXPECT_EQ(funGetAliquotaIva(ctx, 1, 15, false), "4");
  EXPECT_EQ(funGetCodiceIva(ctx, 1, 15, false), "4");
  EXPECT_EQ(funGetAliquotaIva(ctx, 1, 16, false), "10");  // flag off: the article's rate
  EXPECT_EQ(funGetAliquotaIva(ctx, 1, -1, false), "10");
  EXPECT_EQ(funGetCodiceIva(ctx, 1, -1, false), "10");
  EXPECT_EQ(funGetAliquotaIva(ctx, 2, -1, false), "22");  // Null rate: the default
  EXPECT_EQ(funGetAliquotaIva(ctx, 404, -1, false), "22");
  EXPECT_EQ(funGetCodiceIva(ctx, 404, -1, false), "22");
  EXPECT_TRUE(ErrorLogLines().empty());
  EXPECT_EQ(funGetAliquotaIva(ctx, 1, 17, false), "");  // a Null flag is an error
  EXPECT_EQ(ErrorsFrom("funGetAliquotaIva").size(), 1u);
}

TEST_F(LookupsTest, NetPricesAndQuantityFormats) {
  EXPECT_DOUBLE_EQ(funGetPrezzoNettoSconti(ctx, 100, 10, 10, 0, 0, 0), 81);
  EXPECT_DOUBLE_EQ(funGetPrezzoNettoSconti(ctx, 10.30, 0, 0, 0, 0, 0.5), 10.5);
  EXPECT_EQ(FormatQta(ctx, Value(1234.5), 2), "1.234,50");
  EXPECT_EQ(FormatQta(ctx, Value(), 2), "0,00");
  EXPECT_EQ(FormatQta(ctx, Value(7), 0), "7");
  EXPECT_EQ(FormatQta(ctx, Value("abc"), 0), "0,");
  ctx.settings.CifreDecimaliQuantita = 3;
  int16_t decimals = -1;
  EXPECT_EQ(FormatQta(ctx, Value(2.5), decimals), "2,500");
  EXPECT_EQ(decimals, 3);
}

}  // namespace
}  // namespace velkaris
