#include "rows/receipt_row_writer.h"

#include <gtest/gtest.h>

#include "components/article.h"
#include "db/recordset.h"
#include "rows/row_engine.h"
#include "rows/unit_conversion.h"
#include "testing/builders.h"
#include "testing/context_fixture.h"
#include "testing/fault_injector.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::Insert;

class RowWriterTest : public testing_support::ContextTest {
 protected:
  void SetUp() override {
    ctx.settings.AliquotaIvaPredefinita = 22;
    ctx.settings.CodiceIvaPredefinito = "22";
    ctx.settings.GestioneAnagraficheConBarcode = 1;
    auto& back = *ctx.connDbLocale;
    Insert(back, "tabAliquoteIva", {{"Codice", Value("10")}, {"aliquotaIva", Value(10.0)}});
    // Article 1 sells in PZ and converts CF x 12; its purchase cost is known.
    Insert(back, "tabArticoli",
           {{"idArticolo", Value(1)}, {"CodiceArticolo", Value("ART1")}, {"aliquotaIva", Value(4.0)},
            {"CodiceIva", Value("4")}, {"UM", Value("PZ")}, {"UM2", Value("CF")}, {"ConversioneUM", Value(true)},
            {"TipoConversioneUM2", Value(1)}, {"FattoreConversione", Value(12.0)}, {"CostoImponibile", Value(8.2)},
            {"CostoImporto", Value(10.0)}, {"CostoCodiceIva", Value("22")}, {"CostoSconto1", Value(50.0)},
            {"CostoSconto2", Value(1.0)}, {"CostoSconto3", Value(2.0)}, {"CostoSconto4", Value(3.0)}});
    Insert(back, "tabBarcode", {{"Barcode", Value("8001")}, {"idArticolo", Value(1)}});
    Insert(back, "tabPersonale", {{"id", Value(3)}, {"idUtente", Value(30)}});
    Insert(back, "tabTestateScontrini", {{"idTestata", Value(5)}});
    Insert(*ctx.connDbPuntoCassa, "tabDettaglio",
           {{"idDettaglio", Value(11)}, {"IdTestata", Value(1)}, {"Barcode", Value("8001")}, {"Note", Value("n")},
            {"TotaleNettoSconto", Value(20.0)}, {"PromoExPrezzo", Value(9.5)}, {"StoricoSc4Listino", Value(4.0)},
            {"priceManuallyChanged", Value(true)}, {"UtenteUltimoAccesso", Value("cassa1")}});
  }
  RigaScontrino Sale() {
    RigaScontrino r;
    r.IdCausale = 1;
    r.Barcode = "8001";
    r.Descrizione = "Latte";
    r.Quantita = 2;
    r.UM = "CF";
    r.prezzoVendita = 12.2;
    r.PrezzoVenditaNettoIva = 10;
    r.CodiceIva = "22";
    r.AliquotaIva = 22;
    r.idTestataPOS = 1;
    r.idDettaglioPOS = 11;
    r.IdOperatore_Riga = 3;
    return r;
  }
  std::unique_ptr<db::Recordset> Written(int32_t id) {
    return ctx.connDbLocale->OpenRecordset("select * from tabDettaglioScontrini where idDettaglio=" + std::to_string(id));
  }
};

TEST_F(RowWriterTest, SaleRowWithConvertedUnitsCopiedPosColumnsAndCosts) {
  RigaScontrino row = Sale();
  row.Sconto[0] = 12.5;
  row.Sconto[1] = -1;
  row.Sconto[2] = 0;
  row.CostoImponibile = 5;  // ignored: CostoImporto -1 takes all seven costs from the article
  int32_t id = funCreaRecordsetScontrino(ctx, 5, row);
  ASSERT_GT(id, 0);
  auto rs = Written(id);
  const db::Recordset& r = *rs;
  EXPECT_EQ(r["idTestata"], Value(5));
  EXPECT_EQ(r["riga"], Value(1));
  EXPECT_EQ(r["idArticolo"], Value(1));
  EXPECT_EQ(r["Barcode"], Value("8001"));
  EXPECT_EQ(r["Quantita"], Value(24.0));
  EXPECT_EQ(r["UM"], Value("PZ"));
  EXPECT_EQ(r["Quantita2"], Value(2.0));
  EXPECT_EQ(r["UM2"], Value("CF"));
  EXPECT_EQ(row.Quantita, 24);  // the caller's quantity becomes the first-unit quantity
  EXPECT_EQ(r["aliquotaIva"], Value(22.0));
  EXPECT_EQ(r["CodiceIva"], Value("22"));
  EXPECT_EQ(r["Sconto1"], Value(12.5));
  EXPECT_EQ(r["Sconto2"], Value(0.0));
  EXPECT_EQ(r["Sconto3"], Value(0.0));
  EXPECT_TRUE(r["idBuono"].IsNull());
  EXPECT_TRUE(r["IdModoPunti"].IsNull());
  EXPECT_TRUE(r["Fid_PuntiArticolo"].IsNull());
  EXPECT_EQ(r["CostoImponibile"], Value(8.2));
  EXPECT_EQ(r["CostoImporto"], Value(10.0));
  EXPECT_EQ(r["CostoCodiceIva"], Value("22"));
  EXPECT_EQ(r["CostoSconto1"], Value(50.0));
  EXPECT_EQ(r["CostoSconto4"], Value(3.0));
  EXPECT_EQ(r["Note"], Value("n"));
  EXPECT_EQ(r["PromoExPrezzo"], Value(9.5));
  EXPECT_EQ(r["StoricoSc4Listino"], Value(4.0));
  EXPECT_EQ(r["priceManuallyChanged"], Value(true));
  EXPECT_TRUE(r["PromoExSconto1"].IsNull());
  EXPECT_EQ(r["idUtente_Comanda"], Value(30));
  EXPECT_EQ(CStr(r["DataCreaz"]), "04/12/2026 19:05:11");
  EXPECT_TRUE(r["TotaleNettoSconto"].IsNull());  // amounts are the row engine's
  // The next row of the same receipt is numbered 6.
  RigaScontrino second = Sale();
  EXPECT_EQ(db::CLng((*Written(funCreaRecordsetScontrino(ctx, 5, second)))["riga"]), 6);
}

TEST_F(RowWriterTest, VatCodesRatesFidelityAndVoucher) {
  RigaScontrino from_article = Sale();
  from_article.AliquotaIva = -1;
  from_article.CodiceIva = "";
  auto a = Written(funCreaRecordsetScontrino(ctx, 5, from_article));
  EXPECT_EQ((*a)["aliquotaIva"], Value(4.0));
  EXPECT_EQ((*a)["CodiceIva"], Value("4"));

  RigaScontrino by_code = Sale();
  by_code.AliquotaIva = -1;
  by_code.CodiceIva = "10";
  by_code.idBuono = 7;
  by_code.IdModoPunti = 1;
  by_code.Fid_PuntiArticolo = 5;
  by_code.CostoImporto = 3;
  by_code.CostoImponibile = 2;
  by_code.CostoCodiceIva = "10";
  by_code.CostoSconto[0] = 0;
  auto b = Written(funCreaRecordsetScontrino(ctx, 5, by_code));
  EXPECT_EQ((*b)["aliquotaIva"], Value(10.0));
  EXPECT_EQ((*b)["CodiceIva"], Value("10"));
  EXPECT_EQ((*b)["idBuono"], Value(7));
  EXPECT_EQ((*b)["IdModoPunti"], Value(1));
  EXPECT_EQ((*b)["Fid_PuntiArticolo"], Value(5.0));
  EXPECT_EQ((*b)["CostoImporto"], Value(3.0));
  EXPECT_EQ((*b)["CostoImponibile"], Value(2.0));
  EXPECT_EQ((*b)["CostoSconto2"], Value(-1.0));
}

TEST_F(RowWriterTest, UnknownArticleStillWritesASaleRowInThePosUnit) {
  Insert(*ctx.connDbPuntoCassa, "tabDettaglio", {{"idDettaglio", Value(12)}, {"IdTestata", Value(1)}});
  RigaScontrino row = Sale();
  row.idDettaglioPOS = 12;
  row.Barcode = "NOPE";
  row.UM = "KG";
  row.Quantita = 1.5;
  auto r = Written(funCreaRecordsetScontrino(ctx, 5, row));
  EXPECT_EQ((*r)["idArticolo"], Value(-1));
  EXPECT_EQ((*r)["Quantita"], Value(1.5));
  EXPECT_EQ((*r)["Quantita2"], Value(1.5));
  EXPECT_EQ((*r)["UM"], Value("KG"));
  EXPECT_EQ((*r)["UM2"], Value("KG"));
  EXPECT_EQ((*r)["CostoImporto"], Value(0.0));
}

TEST_F(RowWriterTest, TextOnlyRow) {
  RigaScontrino row;
  row.Descrizione = "Grazie e arrivederci";
  row.idTestataPOS = 1;
  row.idDettaglioPOS = 11;
  row.IdOperatore_Riga = 3;
  int32_t id = funCreaRecordsetScontrino(ctx, 5, row);
  auto r = Written(id);
  EXPECT_EQ((*r)["Descrizione"], Value("Grazie e arrivederci"));
  EXPECT_EQ((*r)["riga"], Value(1));
  EXPECT_EQ((*r)["Note"], Value("n"));
  EXPECT_EQ((*r)["idUtente_Comanda"], Value(30));
  EXPECT_TRUE((*r)["Barcode"].IsNull());
  EXPECT_TRUE((*r)["Quantita"].IsNull());
  EXPECT_TRUE((*r)["aliquotaIva"].IsNull());
  AggiornaTotaliRiga(ctx, id, "tabDettaglioScontrini", nullptr, 0);
  EXPECT_TRUE((*Written(id))["TotaleNettoSconto"].IsNull());
}

TEST_F(RowWriterTest, DownPaymentMovementAndItsLogLine) {
  ctx.connDbPuntoCassa->Execute("update tabDettaglio set idtabAccontiClienti=57 where idDettaglio=11");
  for (int kind : {1, 2}) {
    RigaScontrino row = Sale();
    row.kind = kind;
    row.IdCausale = kind;
    int32_t id = funCreaRecordsetScontrino(ctx, 5, row);
    auto m = ctx.connDbLocale->OpenRecordset("select * from tabdettaglioAccontiClienti where IdDettaglioDocumento=" +
                                             std::to_string(id));
    ASSERT_FALSE(m->Eof());
    EXPECT_EQ((*m)["idtabAccontiClienti"], Value(57));
    EXPECT_EQ((*m)["TipoDocumento"], Value(kind == 2 ? 23 : 9));
    EXPECT_EQ((*m)["TipoOperazione"], Value(kind == 1 ? 1 : -1));
    EXPECT_EQ((*m)["ImportoMovimentoAcconto"], Value(20.0));
    EXPECT_EQ((*m)["UtenteUltimoAccesso"], Value("cassa1"));
    EXPECT_GT(db::CLng((*m)["ID"]), 0);
  }
  ctx.connDbPuntoCassa->Execute("update tabDettaglio set idtabAccontiClienti=0 where idDettaglio=11");
  RigaScontrino row = Sale();
  funCreaRecordsetScontrino(ctx, 5, row);
  EXPECT_EQ(db::CLng(testing_support::Scalar(*ctx.connDbLocale, "select count(*) from tabdettaglioAccontiClienti")), 2);
  auto lines = ErrorsFrom("Velkaris-PCassa_AggiornaMagazzinoDaScontrino");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "04/12/2026 19:05:11 :Acconto rilevato num: 57. Oggetto: MODULO "
                      "\\Velkaris-PCassa_AggiornaMagazzinoDaScontrino");
  EXPECT_NE(lines[2].find("Acconto rilevato num: 0."), std::string::npos);
}

TEST_F(RowWriterTest, AFailureBeforeTheInsertLeavesNoRow) {
  testing_support::FaultInjector faults;
  faults.FailMatching("INSERT INTO \"tabDettaglioScontrini\"", "The INSERT statement conflicted.");
  faults.Attach(*ctx.connDbLocale);
  RigaScontrino row = Sale();
  EXPECT_EQ(funCreaRecordsetScontrino(ctx, 5, row), 0);
  EXPECT_EQ(ErrorLogLines().size(), 1u);
  EXPECT_EQ(ErrorsFrom("funCreaRecordsetScontrino").size(), 1u);
  EXPECT_EQ(db::CLng(testing_support::Scalar(*ctx.connDbLocale, "select count(*) from tabDettaglioScontrini")), 0);
  // A missing POS row fails the writer too.
  RigaScontrino gone = Sale();
  gone.idDettaglioPOS = 404;
  EXPECT_EQ(funCreaRecordsetScontrino(ctx, 5, gone), 0);
}

// ---- Unit conversion ----------------------------------------------------------

class UnitConversionTest : public RowWriterTest {
 protected:
  ArticleComponent Article(int kind) {
    ctx.connDbLocale->Execute("update tabArticoli set TipoConversioneUM2=" + std::to_string(kind) +
                              ", UMAlternativa='BT', UMAlternativaDestinazione='LT', FattoreConversione=12 where idArticolo=1");
    ArticleComponent a(ctx);
    EXPECT_TRUE(a.LoadById(ctx.sql_locale(), 1));
    return a;
  }
  struct Out {
    double q1 = -7, q2 = -7;
    std::string u1 = "?", u2 = "?";
  };
  Out Convert(int32_t type, const ArticleComponent& a, double& q, std::string& u) {
    Out o;
    ConversioneUnitaMisura(ctx, type, a, q, u, o.q1, o.u1, o.q2, o.u2);
    return o;
  }
};

TEST_F(UnitConversionTest, SecondUnitMultipliesOrDivides) {
  double q = 2;
  std::string u = "cf";
  Out o = Convert(9, Article(1), q, u);
  EXPECT_EQ(o.q1, 24);
  EXPECT_EQ(o.u1, "PZ");
  EXPECT_EQ(o.q2, 2);
  EXPECT_EQ(o.u2, "cf");
  EXPECT_EQ(q, 24);
  q = 24;
  u = "CF";
  o = Convert(9, Article(2), q, u);
  EXPECT_EQ(o.q1, 2);
  EXPECT_EQ(o.u1, "PZ");
}

TEST_F(UnitConversionTest, BlankUnitNoConversionAndAlternativeUnit) {
  ArticleComponent a = Article(1);
  double q = 3;
  std::string u = "  ";
  Out o = Convert(9, a, q, u);
  EXPECT_EQ(u, "PZ");
  EXPECT_EQ(o.q1, 3);
  EXPECT_EQ(o.u1, "PZ");
  EXPECT_EQ(o.q2, 3);
  EXPECT_EQ(o.u2, "  ");

  q = 10;
  u = "MT";  // matches none of the article's units
  o = Convert(8, a, q, u);
  EXPECT_EQ(o.q1, 10);
  EXPECT_EQ(o.u1, "MT");

  ctx.connDbLocale->Execute("update tabArticoli set FattoreConversione=6 where idArticolo=1");
  ArticleComponent six(ctx);
  six.LoadById(ctx.sql_locale(), 1);
  q = 10;
  u = "bt";
  o = Convert(9, six, q, u);
  EXPECT_DOUBLE_EQ(o.q1, 1.67);
  EXPECT_EQ(o.u1, "LT");
  EXPECT_EQ(q, 10);

  ArticleComponent plain(ctx);  // set up without an article: conversion off
  plain.SetIdArticolo(0);
  plain.SetUMAlternativa("BT");
  plain.SetFattoreConversione(1);
  q = 4;
  u = "BT";
  o = Convert(9, plain, q, u);
  EXPECT_EQ(o.q1, 4);
  EXPECT_EQ(o.u1, "BT");
}

TEST_F(UnitConversionTest, ADividingFactorOfZeroIsLoggedAndLeavesTheFirstOutputs) {
  ctx.connDbLocale->Execute("update tabArticoli set TipoConversioneUM2=2, FattoreConversione=0 where idArticolo=1");
  ArticleComponent a(ctx);
  a.LoadById(ctx.sql_locale(), 1);
  double q = 5;
  std::string u = "CF";
  Out o = Convert(9, a, q, u);
  EXPECT_EQ(o.q1, -7);
  EXPECT_EQ(o.u1, "?");
  EXPECT_EQ(o.q2, 5);
  EXPECT_EQ(o.u2, "CF");
  EXPECT_EQ(ErrorsFrom("ConversioneUnitaMisura").size(), 1u);
}

}  // namespace
}  // namespace velkaris
