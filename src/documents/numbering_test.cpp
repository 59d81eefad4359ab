#include "documents/numbering.h"

#include <gtest/gtest.h>

#include "db/recordset.h"
#include "testing/shop_fixture.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::Insert;

class NumberingTest : public testing_support::ShopTest {
 protected:
  int32_t Next(const std::string& code, const std::string& year = "2026", const std::string& book = "") {
    return funGetNuovoNumeroDocumento(ctx, *ctx.connDbLocale, code, year, book, false, -1);
  }
  bool Free(int32_t causale, const std::string& number, const db::Date& date, const std::string& book = "") {
    return funTestDocumento_CambioNumero(ctx, *ctx.connDbLocale, causale, number, date, book, -1, -1, false, 0);
  }
  void Causale(int id, const char* code, const char* flag) {
    Insert(*ctx.connDbLocale, "tabCausali", {{"IdCausale", Value(id)}, {"Causale", Value(code)}});
    if (*flag) ctx.connDbLocale->Execute(std::string("update tabCausali set ") + flag + "=1 where IdCausale=" + std::to_string(id));
  }
};

TEST_F(NumberingTest, CountersStartAtOneAndCountPerBookYearAndKey) {
  EXPECT_EQ(Next("SCBK_Num4"), 1);
  EXPECT_EQ(Next("SCBK_Num4"), 2);
  EXPECT_EQ(Next("SCBK_Num4", "2027"), 1);
  EXPECT_EQ(Next("SCBK_Num4", "2026", "B"), 1);
  EXPECT_EQ(Next("SCBK_Num5"), 1);
  EXPECT_EQ(Back("select Numero from tabProgressivi where Causale='SCBK_Num4' and AnnoProgressivo=2026 and Prefisso=''"),
            Value(2));
  // An empty book also matches a counter whose Prefisso is Null.
  ctx.connDbLocale->Execute("insert into tabProgressivi (Prefisso, AnnoProgressivo, Causale, Numero) values "
                            "(NULL, 2026, 'LEGACY', 41)");
  EXPECT_EQ(Next("LEGACY"), 42);
  // A counter whose Numero is Null starts again at 1 in a new record; the old one stays.
  ctx.connDbLocale->Execute("insert into tabProgressivi (Prefisso, AnnoProgressivo, Causale, Numero) values "
                            "('Z', 2026, 'NULLED', NULL)");
  EXPECT_EQ(Next("NULLED", "2026", "Z"), 1);
  EXPECT_EQ(Count("tabProgressivi", "Causale='NULLED'"), 2);
  // A forced number is stored and -1 returned.
  EXPECT_EQ(funGetNuovoNumeroDocumento(ctx, *ctx.connDbLocale, "SCBK_Num4", "2026", "", true, 100), -1);
  EXPECT_EQ(Next("SCBK_Num4"), 101);
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(NumberingTest, TheKeyComesFromTheCausaleKindOrTheCodeItself) {
  Causale(20, "DDT1", "Ddt");
  Causale(21, "FT", "Fatture");
  Causale(22, "PREV", "Preventivo");
  Causale(23, "XY Z", "");
  EXPECT_EQ(Next("VEN"), 1);   // Gestionale
  EXPECT_EQ(Next("RES"), 2);   // all Gestionale causali share "MAG"
  EXPECT_EQ(Next("DDT1"), 1);
  EXPECT_EQ(Next("FT"), 1);
  EXPECT_EQ(Next("PREV"), 1);
  EXPECT_EQ(Next(" X Y Z"), 1);  // spaces removed: causale XYZ is unknown, the code is the key
  EXPECT_EQ(Next("NOPE"), 1);
  EXPECT_EQ(Next(""), 1);
  for (const char* key : {"MAG", "DDT", "FAT", "PRE", "XYZ", "NOPE", "FREE"}) {
    EXPECT_EQ(Count("tabProgressivi", std::string("Causale='") + key + "'"), 1) << key;
  }
  std::string code = " V E N ";
  EXPECT_EQ(funConvertiCausaleInID(ctx, code, nullptr), 4);
  EXPECT_EQ(code, "VEN");
}

TEST_F(NumberingTest, UsedNumbersOfTheSameKindBookAndYearAreRejected) {
  db::Date d2026 = db::Date::FromParts(2026, 5, 1), d2025 = db::Date::FromParts(2025, 5, 1);
  Insert(*ctx.connDbLocale, "tabTestateMagazzino", {{"idTestata", Value(1)}, {"IdCausale", Value(5)},
                                                    {"NumeroDocumento", Value(7)}, {"bollettario", Value("")},
                                                    {"DataDocumento", Value(d2026)}});
  EXPECT_FALSE(Free(4, "7", d2026));  // another Gestionale causale used it
  EXPECT_TRUE(Free(4, "7", d2026, "B"));
  EXPECT_TRUE(Free(4, "7", d2025));
  EXPECT_TRUE(Free(4, "8", d2026));
  EXPECT_FALSE(funTestDocumento_CambioNumero(ctx, *ctx.connDbLocale, 4, "7", d2026, "", -1, 2, false, 0));
  EXPECT_TRUE(funTestDocumento_CambioNumero(ctx, *ctx.connDbLocale, 4, "7", d2026, "", -1, 1, false, 0));

  Causale(21, "FT", "Fatture");
  Causale(18, "FTX", "Fatture");
  Insert(*ctx.connDbLocale, "tabTestateFatture", {{"idTestata", Value(1)}, {"IdCausale", Value(18)},
                                                  {"NumeroDocumento", Value(3)}, {"Bollettario", Value("")},
                                                  {"DataDocumento", Value(d2026)}});
  Insert(*ctx.connDbLocale, "tabTestateFatture", {{"idTestata", Value(2)}, {"IdCausale", Value(21)},
                                                  {"NumeroDocumento", Value(4)}, {"Bollettario", Value("")},
                                                  {"DataDocumento", Value(d2026)}});
  EXPECT_TRUE(Free(21, "3", d2026));  // invoices of causale 18 never block
  EXPECT_FALSE(Free(21, "4", d2026));
  EXPECT_TRUE(Free(1, "7", d2026));   // a causale of no known kind accepts every number
  EXPECT_TRUE(Free(404, "7", d2026));
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(NumberingTest, LookUpsOfTablesAccountsAndMovementTypes) {
  std::string detail, header;
  funGetTabelleDocumento(23, detail, header);
  EXPECT_EQ(detail, "tabDettaglioScontrini");
  EXPECT_EQ(header, "tabTestateScontrini");
  funGetTabelleDocumento(3, detail, header);
  EXPECT_EQ(detail, "tabDettaglioMagazzino");
  funGetTabelleDocumento(99, detail, header);
  EXPECT_EQ(detail, "");
  EXPECT_EQ(header, "");
  Insert(*ctx.connDbLocale, "tabConti", {{"ID", Value(1)}, {"Conto", Value("Vendite")}});
  Insert(*ctx.connDbLocale, "tabConti", {{"ID", Value(2)}});
  EXPECT_EQ(funGetDescrizioneConto(ctx, 1), "Vendite");
  EXPECT_EQ(funGetDescrizioneConto(ctx, 2), "");
  EXPECT_EQ(funGetTipoMovimentoDaCausale(ctx, "4", nullptr), "S");
  EXPECT_EQ(funGetTipoMovimentoDaCausale(ctx, "404", ctx.connDbLocale.get()), "");
}

}  // namespace
}  // namespace velkaris
