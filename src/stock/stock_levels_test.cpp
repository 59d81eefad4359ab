#include "stock/stock_levels.h"

#include <gtest/gtest.h>

#include "db/recordset.h"
#include "testing/fault_injector.h"
#include "testing/shop_fixture.h"
#include "warehouse/movement_header.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::Insert;

class StockTest : public testing_support::ShopTest {
 protected:
  bool Move(const std::string& barcode, double qty, const std::string& tipo, int32_t warehouse = 1) {
    return Giacenze_AggiornaGiacenza(ctx, *ctx.connDbLocale, warehouse, barcode, qty, tipo);
  }
};

TEST_F(StockTest, SalesUnloadOtherMovementsLoadAndAvailabilityFollows) {
  EXPECT_TRUE(Move("8001", 2, "S"));
  auto g = ctx.connDbLocale->OpenRecordset("select * from tabGiacenze");
  ASSERT_EQ(g->RecordCount(), 1);
  EXPECT_EQ((*g)["Giacenza"], Value(-2.0));
  EXPECT_EQ((*g)["Ordinato"], Value(0.0));
  EXPECT_EQ((*g)["Impegnato"], Value(0.0));
  EXPECT_EQ((*g)["Disponibile"], Value(-2.0));
  EXPECT_EQ((*g)["idArticolo"], Value(1));
  EXPECT_TRUE(Move("8001", 3.5, "C"));
  EXPECT_EQ(Back("select Giacenza from tabGiacenze"), Value(1.5));
  EXPECT_EQ(Back("select Giacenza from tabBarcode where Barcode='8001'"), Value(1.5));
  EXPECT_EQ(Back("select Giacenza from tabArticoli where idArticolo=1"), Value(1.5));
  EXPECT_EQ(Back("select Disponibile from tabArticoli where idArticolo=1"), Value(1.5));
  ctx.connDbLocale->Execute("update tabGiacenze set Ordinato=4, Impegnato=1");
  EXPECT_TRUE(Move("8001", 0.5, "S"));
  EXPECT_EQ(Back("select Disponibile from tabGiacenze"), Value(4.0));  // 1.0 + 4 - 1
  EXPECT_TRUE(ErrorLogLines().empty());
}

TEST_F(StockTest, NoEffectForTypeNAndForArticlesNotStockManaged) {
  EXPECT_FALSE(Move("8001", 2, "n"));
  EXPECT_FALSE(Move("8001", 2, "N"));
  EXPECT_TRUE(Back("select Movimentato from tabArticoli where idArticolo=1").IsNull());
  ctx.connDbLocale->Execute("update tabArticoli set AggiornaGiacenze=NULL where idArticolo=1");
  ctx.connDbLocale->Execute("update tabArticoli set AggiornaGiacenze=0 where idArticolo=2");
  EXPECT_FALSE(Move("8001", 2, "S"));
  EXPECT_FALSE(Move("8002", 2, "S"));
  EXPECT_FALSE(Move("NOPE", 2, "S"));
  EXPECT_EQ(Count("tabGiacenze"), 0);
  EXPECT_TRUE(Back("select Movimentato from tabArticoli where idArticolo=1").IsNull());
}

TEST_F(StockTest, WithTriggersOnlyTheFlagsAreKept) {
  SetSetting("GiacenzaByTrigger", "1");
  ctx.connDbLocale->Execute("update tabArticoli set BloccaConGiacenzaAZero=1, Attivo=1 where idArticolo=1");
  EXPECT_TRUE(Move("8001", 2, "S"));
  EXPECT_EQ(Count("tabGiacenze"), 0);
  EXPECT_EQ(Back("select Movimentato from tabArticoli where idArticolo=1"), Value(true));
  EXPECT_EQ(Back("select Attivo from tabArticoli where idArticolo=1"), Value(true));  // no stock rows: unchanged
  Insert(*ctx.connDbLocale, "tabGiacenze", {{"IdGiacenza", Value(50)}, {"idMagazzino", Value(1)}, {"Barcode", Value("8001")},
                                            {"idArticolo", Value(1)}, {"Giacenza", Value(0.0)}});
  EXPECT_TRUE(Move("8001", 2, "S"));
  EXPECT_EQ(Back("select Attivo from tabArticoli where idArticolo=1"), Value(false));
  EXPECT_EQ(Back("select Giacenza from tabGiacenze"), Value(0.0));  // the trigger's job
}

TEST_F(StockTest, ArticlesBlockedAtZeroStockGoInactiveAndComeBack) {
  ctx.connDbLocale->Execute("update tabArticoli set BloccaConGiacenzaAZero=1, Attivo=1 where idArticolo=1");
  Move("8001", 1, "C");
  EXPECT_EQ(Back("select Attivo from tabArticoli where idArticolo=1"), Value(true));
  Move("8001", 1, "S");
  EXPECT_EQ(Back("select Attivo from tabArticoli where idArticolo=1"), Value(false));
  ctx.connDbLocale->Execute("update tabGiacenze set Arrivato=3");
  Move("8001", 0, "C");
  EXPECT_EQ(Back("select Attivo from tabArticoli where idArticolo=1"), Value(true));
}

TEST_F(StockTest, OtherWarehousesDoNotRefreshTheTillsFigures) {
  Move("8001", 1, "S", 1);
  Move("8001", 5, "S", 2);
  EXPECT_EQ(Count("tabGiacenze"), 2);
  EXPECT_EQ(Back("select Giacenza from tabBarcode where Barcode='8001'"), Value(-1.0));
  EXPECT_EQ(Back("select Giacenza from tabArticoli where idArticolo=1"), Value(-1.0));
}

TEST_F(StockTest, AMovementWithoutAWarehouseWritesNoStock) {
  EXPECT_TRUE(Move("8001", 4, "C", 1));
  EXPECT_FALSE(Move("8001", 3, "S", -1));
  EXPECT_EQ(Count("tabGiacenze"), 1);
  ASSERT_EQ(ErrorsFrom("Giacenze_AggiornaGiacenza").size(), 1u);
  EXPECT_NE(ErrorsFrom("Giacenze_AggiornaGiacenza")[0].find("Stock of barcode '8001' not updated: the movement row "
                                                            "has warehouse -1."),
            std::string::npos);
  // Figures of a warehouse below 0, however they came, never reach the barcode or the article.
  Insert(*ctx.connDbLocale, "tabGiacenze", {{"IdGiacenza", Value(99)}, {"idMagazzino", Value(-1)},
                                            {"Barcode", Value("8001")}, {"idArticolo", Value(1)},
                                            {"giacenza", Value(-7.0)}, {"disponibile", Value(-7.0)}});
  GiacenzeTabBarcode_LanciaAllineamento(ctx, *ctx.connDbLocale, 2, "8001", -1);
  GiacenzeTabArticolo_LanciaAllineamento(ctx, *ctx.connDbLocale, 2, 1, -1);
  EXPECT_EQ(Back("select Giacenza from tabBarcode where Barcode='8001'"), Value(4.0));
  EXPECT_EQ(Back("select Giacenza from tabArticoli where idArticolo=1"), Value(4.0));
}

TEST_F(StockTest, QuantitiesReachTheUpdateTextWithADecimalPoint) {
  testing_support::FaultInjector recorder;
  recorder.Attach(*ctx.connDbLocale);
  Move("8001", 1.5, "C");
  EXPECT_EQ(recorder.StatementsMatching("Update tabArticoli set Giacenza=1.5, Disponibile=1.5 where idarticolo=1").size(),
            1u);
  // The whole-store refresh of every article.
  GiacenzeTabArticolo_LanciaAllineamento(ctx, *ctx.connDbLocale, 2, -1, -1);
  EXPECT_EQ(Back("select Giacenza from tabArticoli where idArticolo=1"), Value(1.5));
  EXPECT_TRUE(Back("select Giacenza from tabArticoli where idArticolo=2").IsNull());
  GiacenzeTabBarcode_LanciaAllineamento(ctx, *ctx.connDbLocale, 2, "", -1);
  EXPECT_EQ(Back("select Giacenza from tabBarcode where Barcode='8001'"), Value(1.5));
  EXPECT_TRUE(Back("select Giacenza from tabBarcode where Barcode='8002'").IsNull());
}

// In a receipt's unit of work on SQLite a stock row is written once, what is available with
// the stock, and not read back; the article is marked moved where its stock is copied into
// it. The figures are those of a statement per step.
TEST_F(StockTest, InAUnitOfWorkTheStockRowAndTheArticleAreEachWrittenOnce) {
  auto moves = [&](testing_support::FaultInjector& recorder) {
    recorder.Attach(*ctx.connDbLocale);
    bool unit = ctx.uow.per_receipt;
    if (unit) ctx.connDbLocale->BeginTransaction();
    Move("8001", 2, "S");  // a new stock row
    ctx.connDbLocale->Execute("update tabGiacenze set Ordinato=4, Impegnato=1");
    Move("8001", 0.5, "C");  // one with goods on order and committed
    if (unit) ctx.connDbLocale->CommitTransaction();
    return db::CStr(Back("select Giacenza || ' ' || Disponibile from tabGiacenze")) + ", " +
           db::CStr(Back("select Giacenza || ' ' || Disponibile from tabBarcode where Barcode='8001'")) + ", " +
           db::CStr(Back("select Giacenza || ' ' || Disponibile || ' ' || Movimentato from tabArticoli where idArticolo=1"));
  };
  testing_support::FaultInjector per_statement, unit;
  // -2 + 0.5 on hand; + 4 on order - 1 committed available.
  EXPECT_EQ(moves(per_statement), "-1.5 1.5, -1.5 1.5, -1.5 1.5 1");
  const size_t statements = per_statement.statements().size();
  EXPECT_EQ(per_statement.StatementsMatching("SELECT * FROM tabGiacenze WHERE").size(), 4u);  // 2 a move
  EXPECT_EQ(per_statement.StatementsMatching("set Movimentato=1 where").size(), 2u);

  ctx.connDbLocale->Execute("delete from tabGiacenze");
  ctx.connDbLocale->Execute("update tabBarcode set Giacenza=null, Disponibile=null");
  ctx.connDbLocale->Execute("update tabArticoli set Giacenza=null, Disponibile=null, Movimentato=null");
  UseUnitsOfWork();
  EXPECT_EQ(moves(unit), "-1.5 1.5, -1.5 1.5, -1.5 1.5 1");
  EXPECT_EQ(unit.StatementsMatching("SELECT * FROM tabGiacenze WHERE").size(), 2u);
  EXPECT_EQ(unit.StatementsMatching("\"Disponibile\"").size(), 2u);  // in the insert and in the update
  EXPECT_EQ(unit.StatementsMatching("set Movimentato=1 where").size(), 0u);
  EXPECT_EQ(unit.StatementsMatching("Update tabArticoli set Movimentato=1, Giacenza=-1.5, Disponibile=1.5 where").size(), 1u);
  EXPECT_EQ(unit.statements().size(), statements - 6 + 2);  // and a BEGIN and a COMMIT
  EXPECT_TRUE(ErrorLogLines().empty());
}

// Another warehouse's stock is not copied into the article: the mark is written on its own.
TEST_F(StockTest, InAUnitOfWorkAnotherWarehousesMovementStillMarksTheArticleMoved) {
  UseUnitsOfWork();
  testing_support::FaultInjector recorder;
  recorder.Attach(*ctx.connDbLocale);
  ctx.connDbLocale->BeginTransaction();
  Move("8001", 2, "S", 2);
  ctx.connDbLocale->CommitTransaction();
  EXPECT_EQ(recorder.StatementsMatching("Update tabArticoli set Movimentato=1 where IdArticolo=1").size(), 1u);
  EXPECT_EQ(Back("select Movimentato from tabArticoli where idArticolo=1"), Value(true));
  EXPECT_TRUE(Back("select Giacenza from tabArticoli where idArticolo=1").IsNull());
  EXPECT_EQ(Back("select Giacenza || ' ' || Disponibile from tabGiacenze where idMagazzino=2"), Value("-2.0 -2.0"));
}

// ---- Movement headers -----------------------------------------------------------

class HeaderSearchTest : public testing_support::ShopTest {
 protected:
  int32_t Create(TestataMagazzino t) {
    int32_t id = -1;
    return CreaTestateMovMag(ctx, *ctx.connDbLocale, id, t);
  }
  TestataMagazzino Sale(int cliente = 15, int operatore = 30) {
    TestataMagazzino t;
    t.IdCausale = 4;
    t.IDCliente = cliente;
    t.IDMagazzinoPartenza = 1;
    t.DataDocumento = Value(db::Date::FromParts(2026, 12, 4));
    t.idOperatore = operatore;
    return t;
  }
  int32_t Find(int cliente, int operatore, int cassa = 1) {
    return funGetIdMovimentoRiepilogoPerCassa(ctx, *ctx.connDbLocale, 4, db::Date::FromParts(2026, 12, 4, 18, 0, 0), 1,
                                              cassa, operatore, cliente);
  }
};

TEST_F(HeaderSearchTest, CustomersAndOperatorsNotGivenMatchAny) {
  int32_t id = Create(Sale());
  EXPECT_EQ(Find(15, 30), id);
  EXPECT_EQ(Find(-1, 30), id);
  EXPECT_EQ(Find(0, -1), id);
  EXPECT_EQ(Find(16, 30), -1);
  EXPECT_EQ(Find(15, 31), -1);
  EXPECT_EQ(Find(15, 30, 2), -1);
  EXPECT_EQ(Find(15, 30, -1), id);
  EXPECT_EQ(funGetIdMovimentoRiepilogoPerCassa(ctx, *ctx.connDbLocale, 4, db::Date::FromParts(2026, 12, 5), 1, 1, 30, 15),
            -1);
}

TEST_F(HeaderSearchTest, SwapDiscountsAndNumbers) {
  ctx.connDbLocale->Execute("update tabCausali set InvertiMagazzini=1 where IdCausale=5");
  TestataMagazzino t = Sale();
  t.IdCausale = 5;
  t.Sconto[0] = -1;
  t.Sconto[1] = -5;
  t.Sconto[2] = 7;
  int32_t id = Create(t);
  auto h = dbs.back->OpenRecordset("select * from tabTestateMagazzino where idTestata=" + std::to_string(id));
  EXPECT_EQ((*h)["IDMagazzinoPartenza"], Value(-1));
  EXPECT_EQ((*h)["IDMagazzinoDestinazione"], Value(1));
  EXPECT_EQ((*h)["Sconto1"], Value(0.0));  // not a number >= 0: 0
  EXPECT_EQ((*h)["Sconto2"], Value(0.0));
  EXPECT_EQ((*h)["Sconto3"], Value(7.0));
  EXPECT_EQ((*h)["ForzaListinoTestata"], Value(0));
  EXPECT_TRUE((*h)["Ddt"].IsNull());  // not a sale causale: the column keeps its default
  EXPECT_EQ((*h)["NumeroDocumento"], Value(1));
  // Numbers already used by a document of the same kind are skipped.
  ctx.connDbLocale->Execute("update tabTestateMagazzino set NumeroDocumento=3 where idTestata=" + std::to_string(id));
  ctx.connDbLocale->Execute("update tabProgressivi set Numero=2 where Causale='MAG'");
  int32_t next = Create(Sale());
  EXPECT_EQ(Back("select NumeroDocumento from tabTestateMagazzino where idTestata=" + std::to_string(next)), Value(4));
}

TEST_F(HeaderSearchTest, ACausaleThatSwapsTheWarehousesFindsItsOwnHeader) {
  ctx.connDbLocale->Execute("update tabCausali set InvertiMagazzini=1 where IdCausale=4");
  int32_t id = Create(Sale());
  EXPECT_EQ(Back("select IDMagazzinoDestinazione from tabTestateMagazzino"), Value(1));
  EXPECT_EQ(Find(15, 30), id);
  EXPECT_EQ(funGetIdMovimentoRiepilogoPerCassa(ctx, *ctx.connDbLocale, 4, db::Date::FromParts(2026, 12, 4), 2, 1, 30,
                                               15),
            -1);  // another warehouse
}

TEST_F(HeaderSearchTest, ANullFlagMakesNoSaleCausale) {
  ctx.connDbLocale->Execute("update tabCausali set Ddt=NULL where IdCausale=4");  // FlagVendita is set
  EXPECT_FALSE(CausaleDiVendita(ctx, 4));
  EXPECT_EQ(ErrorsFrom("CausaleDiVendita").size(), 1u);
  int32_t id = Create(Sale());
  EXPECT_TRUE(Back("select Ddt from tabTestateMagazzino where idTestata=" + std::to_string(id)).IsNull());
  ctx.connDbLocale->Execute("update tabCausali set Ddt=0 where IdCausale=4");
  EXPECT_TRUE(CausaleDiVendita(ctx, 4));
}

TEST_F(HeaderSearchTest, TheSearchAndTheNumberTestSendTheirTexts) {
  testing_support::FaultInjector recorder;
  recorder.Attach(*ctx.connDbLocale);
  Find(15, 30);
  EXPECT_EQ(recorder.StatementsMatching("Select idTestata from tabTestateMagazzino"),
            (std::vector<std::string>{"Select idTestata from tabTestateMagazzino where IdCausale= 4 and "
                                      "DataDocumento='04/12/2026' AND IdCassa=1  AND idOperatore = 30  AND "
                                      "tabTestateMagazzino.idcliente=15  AND tabTestateMagazzino.idMagazzinoPartenza=1 "}));
  // A causale of no kind but 63 tests the number on the service documents of section True.
  ctx.connDbLocale->Execute("insert into tabCausali (IdCausale, Causale, TipoMovimento) values (63, 'ASS', 'N')");
  TestataMagazzino t = Sale();
  t.IdCausale = 63;
  EXPECT_GT(Create(t), 0);
  auto tests = recorder.StatementsMatching("tabAssistenze_Testate");
  ASSERT_EQ(tests.size(), 1u);
  EXPECT_EQ(tests[0].rfind("SELECT tabAssistenze_Testate.NumeroDocumento FROM tabAssistenze_Testate where Sezione= -1 "
                           "and  NumeroDocumento=1 and",
                           0),
            0u)
      << tests[0];
}

TEST_F(HeaderSearchTest, ANumberNeverAcceptedEndsTheHeaderAfterABoundedNumberOfTries) {
  testing_support::FaultInjector faults;
  faults.FailMatching("FROM tabTestateMagazzino INNER JOIN tabCausali", "connection lost");
  faults.Attach(*ctx.connDbLocale);
  EXPECT_LE(Create(Sale()), 0);
  EXPECT_EQ(Count("tabTestateMagazzino"), 0);
  EXPECT_EQ(ErrorsFrom("funTestDocumento_CambioNumero").size(), static_cast<size_t>(kMaxNumberAttempts));
  ASSERT_EQ(ErrorsFrom("ConfermaTestataMagazzino").size(), 1u);
  EXPECT_NE(ErrorsFrom("ConfermaTestataMagazzino")[0].find("No document number accepted after 100 attempts"),
            std::string::npos);
}

}  // namespace
}  // namespace velkaris
