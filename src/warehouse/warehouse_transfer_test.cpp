#include "warehouse/warehouse_transfer.h"

#include <gtest/gtest.h>

#include <tuple>

#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "receipts/receipt_transfer.h"
#include "run/run_driver.h"
#include "testing/fault_injector.h"
#include "testing/shop_fixture.h"

namespace velkaris {
namespace {

using db::Value;
using testing_support::Insert;

class WarehouseTest : public testing_support::ShopTest {
 protected:
  void SetUp() override {
    RegisterDatabases();
    ctx.computer_name = "TILL1";
  }
  // One whole run, as the binary does it.
  void Run() { Main(ctx, "/no_wait", TransferOps{PCassa_SincroScontrino, PCassa_AggiornaMagazzinoDaScontrino}); }
  std::unique_ptr<db::Recordset> Rows(const std::string& where = "1=1") {
    return dbs.back->OpenRecordset("select * from tabDettaglioMagazzino where " + where + " order by idDettaglio");
  }
  int64_t Unexported() {
    return db::CLng(Front("select count(*) from tabDettaglio where FlagExport is null or FlagExport=0"));
  }
  std::vector<std::string> Errors() {
    std::vector<std::string> out;
    for (const auto& l : ErrorLogLines()) {
      if (l.find("Acconto rilevato num:") == std::string::npos) out.push_back(l);
    }
    return out;
  }
};

TEST_F(WarehouseTest, ReceiptsOfTheSameDayTillOperatorAndCausaleShareOneMovement) {
  PosReceipt(1);
  PosRow(11, 1, {{"Quantita", Value(2.0)}});
  PosRow(12, 1, {{"Barcode", Value("")}, {"Descrizione", Value("Auguri")}});
  PosReceipt(2);
  PosRow(21, 2, {{"Barcode", Value("8002")}, {"Prezzo", Value(1.04)}, {"AIva", Value(4.0)}, {"CodiceIva", Value("4")}});
  PosPayment(1, 24.4);
  PosPayment(2, 1.04);
  Run();
  EXPECT_TRUE(Errors().empty()) << Errors()[0];
  auto headers = ctx.connDbLocale->OpenRecordset("select * from tabTestateMagazzino");
  ASSERT_EQ(headers->RecordCount(), 1);
  const db::Recordset& h = *headers;
  EXPECT_EQ(h["IdCausale"], Value(4));
  EXPECT_EQ(h["idCassa"], Value(1));
  EXPECT_EQ(h["idOperatore"], Value(30));  // the back-office user of POS operator 3
  EXPECT_EQ(h["IDMagazzinoPartenza"], Value(1));
  EXPECT_EQ(h["IDMagazzinoDestinazione"], Value(-1));
  EXPECT_EQ(h["IdTestataRiferimento"], Value(-1));
  EXPECT_EQ(db::CStr(h["DataDocumento"]), "04/12/2026");
  EXPECT_EQ(h["NumeroDocumento"], Value(1));
  EXPECT_EQ(h["NumeroDocumentoRiferimento"], Value("1"));
  EXPECT_EQ(h["NumeroFatturaRiferimento"], Value(" "));
  EXPECT_EQ(h["NumeroDocumentoRientroVuoti"], Value("-1"));
  EXPECT_EQ(h["Ddt"], Value(true));  // a sale causale
  EXPECT_EQ(h["valuta"], Value("EUR"));
  EXPECT_DOUBLE_EQ(db::CDbl(h["TotIvato"]), 25.44);
  EXPECT_DOUBLE_EQ(db::CDbl(h["TotImponibile"]), 21.0);
  EXPECT_EQ(Back("select Numero from tabProgressivi where Causale='MAG'"), Value(1));

  auto rows = Rows();
  ASSERT_EQ(rows->RecordCount(), 3);
  EXPECT_EQ((*rows)["idArticolo"], Value(1));
  EXPECT_EQ((*rows)["Quantita"], Value(2.0));
  EXPECT_EQ((*rows)["riga"], Value(1));
  EXPECT_EQ((*rows)["idMagazzino"], Value(1));
  EXPECT_EQ((*rows)["idReparto"], Value(-1));
  EXPECT_DOUBLE_EQ(db::CDbl((*rows)["TotaleNettoSconto"]), 24.4);
  EXPECT_DOUBLE_EQ(db::CDbl((*rows)["CostoImponibile"]), 5.0);
  EXPECT_DOUBLE_EQ(db::CDbl((*rows)["MarginalitaEuro"]), 5.0);  // 10.00 - 5.00 per piece
  EXPECT_DOUBLE_EQ(db::CDbl((*rows)["MarginalitaPercen"]), 100.0);
  int32_t receipt_row = db::CLng(Back("select idDettaglio from tabDettaglioScontrini where Barcode='8001'"));
  EXPECT_EQ((*rows)["idDettaglioScontrino"], Value(receipt_row));
  rows->MoveNext();
  EXPECT_EQ((*rows)["Note"], Value(" "));  // the descriptive row
  EXPECT_TRUE((*rows)["idArticolo"].IsNull());
  rows->MoveNext();
  EXPECT_EQ((*rows)["riga"], Value(11));

  // Stock: 2 pieces of 8001 and 1 of 8002 out of warehouse 1, never stocked before.
  EXPECT_EQ(Back("select Giacenza from tabGiacenze where Barcode='8001' and idMagazzino=1"), Value(-2.0));
  EXPECT_EQ(Back("select Disponibile from tabGiacenze where Barcode='8001'"), Value(-2.0));
  EXPECT_EQ(Back("select Giacenza from tabBarcode where Barcode='8001'"), Value(-2.0));
  EXPECT_EQ(Back("select Disponibile from tabArticoli where idArticolo=1"), Value(-2.0));
  EXPECT_EQ(Back("select Movimentato from tabArticoli where idArticolo=2"), Value(true));
  EXPECT_EQ(Count("tabGiacenze"), 2);

  EXPECT_EQ(Unexported(), 0);
  EXPECT_EQ(Front("select count(*) from tabPagamentiScontrini where FlagExport=1"), Value(2));
  EXPECT_EQ(Count("tabDocumentiCollegati", "TipoCollegamento=9"), 3);
  int riga_lines = 0;
  for (const auto& l : SyncLogLines()) riga_lines += l.rfind("     Riga sincronizzata - ", 0) == 0;
  EXPECT_EQ(riga_lines, 3);
}

TEST_F(WarehouseTest, ASecondRunChangesNothing) {
  PosReceipt(1);
  PosRow(11, 1);
  PosReceipt(2, {{"IdCausale", Value(5)}});
  PosRow(21, 2, {{"IdCausale", Value(2)}});
  Run();
  auto dump = [&] {
    std::string all;
    for (const char* t : {"tabTestateScontrini", "tabDettaglioScontrini", "tabTestateMagazzino",
                          "tabDettaglioMagazzino", "tabGiacenze", "tabArticoli", "tabBarcode", "tabProgressivi"}) {
      auto rs = ctx.connDbLocale->OpenRecordset(std::string("select * from ") + t);
      for (; !rs->Eof(); rs->MoveNext()) {
        for (int i = 0; i < rs->FieldCount(); ++i) all += rs->Field(i).DebugString() + "|";
        all += "\n";
      }
    }
    return all;
  };
  std::string first = dump();
  EXPECT_EQ(Count("tabTestateMagazzino"), 2);  // causale 4 for the sale, 6 for the return
  EXPECT_EQ(Back("select Giacenza from tabGiacenze"), Value(0.0));  // -1 then +1
  Run();
  EXPECT_EQ(dump(), first);
}

TEST_F(WarehouseTest, ASecondaryCausaleDoublesHeadersAndRows) {
  ctx.connDbLocale->Execute("insert into tabCausali (IdCausale, Causale, TipoMovimento, Gestionale) values "
                            "(40, 'SCARICO', 'S', 1)");
  ctx.connDbLocale->Execute("update tabCausali set CausaleMovimentoSecondario='SCARICO' where IdCausale=4");
  PosReceipt(1);
  PosRow(11, 1);
  Run();
  ASSERT_EQ(Count("tabTestateMagazzino"), 2);
  int32_t primary = db::CLng(Back("select idTestata from tabTestateMagazzino where IdCausale=4"));
  int32_t secondary = db::CLng(Back("select idTestata from tabTestateMagazzino where IdCausale=40"));
  EXPECT_EQ(Back("select IdTestataRiferimento from tabTestateMagazzino where IdCausale=4"), Value(secondary));
  EXPECT_EQ(Back("select IdTestataRiferimento from tabTestateMagazzino where IdCausale=40"), Value(-1));
  auto first = Rows("idTestata=" + std::to_string(primary));
  auto second = Rows("idTestata=" + std::to_string(secondary));
  ASSERT_EQ(first->RecordCount(), 1);
  ASSERT_EQ(second->RecordCount(), 1);
  EXPECT_EQ((*first)["IdDettaglioRiferimento"], (*second)["idDettaglio"]);
  EXPECT_EQ(Back("select Giacenza from tabGiacenze"), Value(-2.0));  // both unload
  EXPECT_TRUE(Errors().empty());
}

TEST_F(WarehouseTest, ALoopOfSecondaryCausaliIsCutAndLogged) {
  ctx.connDbLocale->Execute("insert into tabCausali (IdCausale, Causale, TipoMovimento, CausaleMovimentoSecondario) "
                            "values (40, 'A', 'S', 'B'), (41, 'B', 'N', 'A')");
  ctx.connDbLocale->Execute("update tabCausali set CausaleMovimentoSecondario='A' where IdCausale=4");
  PosReceipt(1);
  PosRow(11, 1);
  Run();
  EXPECT_EQ(Count("tabTestateMagazzino"), 3);  // 4 -> A -> B, and B's way back to A is not followed
  ASSERT_EQ(ErrorsFrom("CreaTestateMovMag").size(), 1u);
  EXPECT_NE(ErrorsFrom("CreaTestateMovMag")[0].find("leads back"), std::string::npos);
  EXPECT_EQ(Unexported(), 0);
}

TEST_F(WarehouseTest, APosKitWritesItsComponentsAndNotItself) {
  Insert(*ctx.connDbPuntoCassa, "tabArticoli", {{"idArticolo", Value(1)}, {"CodiceArticolo", Value("ART1")}});
  Insert(*ctx.connDbPuntoCassa, "tabArticoli", {{"idArticolo", Value(2)}, {"CodiceArticolo", Value("ART2")}});
  Insert(*ctx.connDbLocale, "tabArticoli", {{"idArticolo", Value(9)}, {"CodiceArticolo", Value("KIT")}, {"UM", Value("PZ")}});
  Insert(*ctx.connDbLocale, "tabBarcode", {{"Barcode", Value("KIT9")}, {"idArticolo", Value(9)}});
  ctx.connDbLocale->Execute("update tabBarcode set idVariante1=0, idVariante2=0, idVariante3=0");
  PosReceipt(1);
  PosRow(11, 1, {{"Barcode", Value("KIT9")}});
  // The third component's variant has no barcode: a descriptive row that moves no stock.
  for (auto [article, qta, variant] : {std::tuple<int, double, int>{1, 2, 0}, {2, 1, 0}, {2, 4, 5}, {1, 3, 0}}) {
    Insert(*ctx.connDbPuntoCassa, "tabPuntoCassa_DettaglioDistinta",
           {{"idTestata", Value(1)}, {"idDettaglio", Value(11)}, {"idArticolo", Value(article)}, {"qta", Value(qta)},
            {"Descrizione", Value("parte")}, {"idVariante1", Value(variant)}, {"idVariante2", Value(0)},
            {"idVariante3", Value(0)}});
  }
  Run();
  auto rows = Rows();
  ASSERT_EQ(rows->RecordCount(), 4);
  std::vector<std::string> barcodes;
  int32_t last = 0;
  for (; !rows->Eof(); rows->MoveNext()) {
    barcodes.push_back(db::CStr(TestNull(ctx, (*rows)["Barcode"], Value("-"))) + " " + db::CStr((*rows)["Descrizione"]));
    last = db::CLng((*rows)["idDettaglio"]);
  }
  EXPECT_EQ(barcodes, (std::vector<std::string>{"8001 parte", "8002 parte", "- parte", "8001 parte"}));
  EXPECT_EQ(Back("select Giacenza from tabGiacenze where Barcode='8001'"), Value(-5.0));
  EXPECT_EQ(Back("select Giacenza from tabGiacenze where Barcode='8002'"), Value(-1.0));
  EXPECT_EQ(Count("tabGiacenze", "Barcode='KIT9'"), 0);
  EXPECT_EQ(Back("select idDettaglioDestinazione from tabDocumentiCollegati"), Value(last));
  EXPECT_EQ(Unexported(), 0);
}

TEST_F(WarehouseTest, ACausaleThatExplodesKitsWritesValidNodesOnly) {
  ctx.connDbLocale->Execute("update tabCausali set EsplodiDistinta=1 where IdCausale=4");
  Insert(*ctx.connDbLocale, "tabArticoli", {{"idArticolo", Value(9)}, {"CodiceArticolo", Value("KIT")}, {"UM", Value("PZ")}});
  Insert(*ctx.connDbLocale, "tabBarcode", {{"Barcode", Value("KIT9")}, {"idArticolo", Value(9)}});
  Insert(*ctx.connDbLocale, "tabArticoli", {{"idArticolo", Value(8)}, {"CodiceArticolo", Value("SUB")}, {"UM", Value("PZ")},
                                            {"AggiornaGiacenze", Value(true)}});
  Insert(*ctx.connDbLocale, "tabBarcode", {{"Barcode", Value("SUB8")}, {"idArticolo", Value(8)}});
  auto bom = [&](int parent, int child, double qty, Value from, Value to) {
    Insert(*ctx.connDbLocale, "tabGestioneDistinteBase", {{"idArticoloPadre", Value(parent)}, {"idArticoloFiglio", Value(child)},
                                                          {"Quantita", Value(qty)}, {"DataInizioValidita", from},
                                                          {"DataFineValidita", to}});
  };
  bom(9, 1, 2, Value(), Value());
  bom(9, 2, 1, Value("04/12/2026"), Value());  // valid from the receipt's day
  bom(9, 8, 1, Value(), Value("04/12/2026"));  // ended at midnight: not valid at 19:05
  bom(9, 8, 1, Value(), Value());              // a sub-kit with a component of its own
  bom(8, 2, 3, Value(), Value());
  bom(8, 9, 1, Value(), Value());              // a loop back to the kit: left out
  // A component without a barcode of its own: named by a descriptive row, never by its id
  // (900 would be read as an article code and move another article's stock).
  Insert(*ctx.connDbLocale, "tabArticoli", {{"idArticolo", Value(900)}, {"CodiceArticolo", Value("NOBAR")},
                                            {"Descrizione", Value("Nastro")}, {"AggiornaGiacenze", Value(true)}});
  Insert(*ctx.connDbLocale, "tabArticoli", {{"idArticolo", Value(901)}, {"CodiceArticolo", Value("900")},
                                            {"UM", Value("PZ")}, {"AggiornaGiacenze", Value(true)}});
  Insert(*ctx.connDbLocale, "tabBarcode", {{"Barcode", Value("X901")}, {"idArticolo", Value(901)}});
  bom(9, 900, 1, Value(), Value());
  ctx.connDbLocale->Execute("update tabArticoli set PrezzoVendita=24.4, CostoImponibile=8 where idArticolo=2");
  PosReceipt(1);
  PosRow(11, 1, {{"Barcode", Value("KIT9")}, {"Quantita", Value(2.0)}});
  Run();
  std::vector<std::string> barcodes;
  for (auto rows = Rows(); !rows->Eof(); rows->MoveNext()) {
    barcodes.push_back(db::CStr(TestNull(ctx, (*rows)["Barcode"], Value("-"))) + "x" +
                       db::CStr(TestNull(ctx, (*rows)["Quantita"], Value("-"))));
    EXPECT_EQ((*rows)["IdDettaglioRiferimento"], (*rows)["idDettaglio"]);  // component rows refer to themselves
  }
  EXPECT_EQ(barcodes, (std::vector<std::string>{"8001x4", "8002x2", "SUB8x2", "8002x6", "-x-"}));
  EXPECT_EQ(Back("select Descrizione from tabDettaglioMagazzino where Barcode is null"), Value("Nastro"));
  EXPECT_EQ(Count("tabGiacenze", "idArticolo in (900, 901)"), 0);
  // Each component's margins come from its own price and cost: 8001 sells at 10.00 net over a
  // cost of 5.00, 8002 at 23.46 (24.40 at 4%) over 8.00.
  EXPECT_DOUBLE_EQ(db::CDbl(Back("select MarginalitaEuro from tabDettaglioMagazzino where Barcode='8001'")), 5.0);
  EXPECT_DOUBLE_EQ(db::CDbl(Back("select MarginalitaPercen from tabDettaglioMagazzino where Barcode='8001'")), 100.0);
  EXPECT_NEAR(db::CDbl(Back("select max(MarginalitaEuro) from tabDettaglioMagazzino where Barcode='8002'")), 15.46,
              1e-9);
  EXPECT_NEAR(db::CDbl(Back("select min(MarginalitaPercen) from tabDettaglioMagazzino where Barcode='8002'")), 193.25,
              1e-9);
  // The kit row itself has no movement row: it is reported and still flagged.
  auto logged = ErrorsFrom("TovoVelkaris_MovMagazzino");
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_NE(logged[0].find("Errore creazione riga dettaglio movimento magazzino."), std::string::npos);
  EXPECT_EQ(Unexported(), 0);
}

TEST_F(WarehouseTest, UnknownBarcodesDescriptiveRowsAndRowsThatCannotBeWritten) {
  PosReceipt(1);
  PosRow(11, 1, {{"Barcode", Value("NOPE")}});
  PosRow(12, 1, {{"Barcode", Value("  ")}, {"Descrizione", Value("Nota")}});
  PosRow(13, 1);
  testing_support::FaultInjector faults;
  faults.FailMatching("INSERT INTO \"tabDettaglioMagazzino\"", "disk full", 1, 2);  // the third row's insert
  ctx.connection_created = [&](db::Connection& c) { faults.Attach(c); };
  Run();
  auto rows = Rows();
  ASSERT_EQ(rows->RecordCount(), 2);
  EXPECT_EQ((*rows)["idArticolo"], Value(-300));
  EXPECT_EQ((*rows)["Barcode"], Value("NOPE"));
  rows->MoveNext();
  EXPECT_EQ((*rows)["Descrizione"], Value("Nota"));
  EXPECT_EQ((*rows)["Note"], Value(" "));
  // The unknown article moves no stock; the row that could not be written still unloads its
  // stock, as the row writer applies the stock effect whatever the record writer did.
  EXPECT_EQ(Count("tabGiacenze", "Barcode='NOPE'"), 0);
  EXPECT_EQ(Back("select Giacenza from tabGiacenze where Barcode='8001'"), Value(-1.0));
  auto recovery = ErrorsFrom("Velkaris-PCassa_AggiornaMagazzinoDaScontrino");
  std::vector<std::string> korv;
  for (const auto& l : recovery) {
    if (l.find("KORV log") != std::string::npos) korv.push_back(l.substr(l.find(" :") + 2));
  }
  ASSERT_EQ(korv.size(), 4u);
  EXPECT_EQ(korv[0].rfind("KORV log - il barcode che alza l'errore è : NOPE - Errore durante allineamento vendite. "
                          "Oggetto", 0), 0u);
  EXPECT_EQ(korv[1].rfind("KORV log - Errore connessione durante allineamento vendite. Oggetto", 0), 0u);
  EXPECT_EQ(korv[2].rfind("KORV log - Tentativo di ripristino... Oggetto", 0), 0u);
  EXPECT_EQ(korv[3].rfind("KORV log - Articolo non trovato:NOPE. Oggetto", 0), 0u);
  int state_lines = 0;
  for (const auto& l : ErrorLogLines()) state_lines += l.find(":KORV log - Stato connessione...") != std::string::npos;
  EXPECT_EQ(state_lines, 2);
  auto failed = ErrorsFrom("TovoVelkaris_MovMagazzino");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find(":Attenzione: riga scontrino non sincronizzata per idtestata POS id:1 dettaglio POS id: 13 "
                           "testata backoffice id:1. Errore creazione riga dettaglio movimento magazzino."),
            std::string::npos)
      << failed[0];
  EXPECT_EQ(Unexported(), 0);  // the run went on and the receipt is done
}

std::vector<std::string> Korv(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    if (l.find("KORV log") != std::string::npos) out.push_back(l);
  }
  return out;
}

TEST_F(WarehouseTest, ARowWithAnArticleCodeOrTrailingBlanksIsTheArticleItNames) {
  PosReceipt(1);
  PosRow(11, 1, {{"Barcode", Value("ART1")}, {"Quantita", Value(2.0)}});  // an article code
  PosRow(12, 1, {{"Barcode", Value("8002  ")}});                          // blanks after the barcode
  ctx.connDbLocale->Execute("update tabArticoli set Peso=0.5 where idArticolo=1");
  Run();
  EXPECT_TRUE(Korv(ErrorLogLines()).empty());  // nothing looks like a lost connection
  auto rows = Rows();
  ASSERT_EQ(rows->RecordCount(), 2);
  EXPECT_EQ((*rows)["idArticolo"], Value(1));
  EXPECT_EQ((*rows)["Barcode"], Value("8001"));
  EXPECT_EQ((*rows)["UM"], Value("PZ"));
  EXPECT_EQ((*rows)["CostoImponibile"], Value(5.0));
  EXPECT_EQ((*rows)["peso"], Value(1.0));
  rows->MoveNext();
  EXPECT_EQ((*rows)["idArticolo"], Value(2));
  EXPECT_EQ(Back("select idArticolo from tabDettaglioScontrini where idDettaglio=2"), Value(2));
  EXPECT_EQ(Back("select Giacenza from tabBarcode where Barcode='8001'"), Value(-2.0));
  EXPECT_EQ(Back("select Giacenza from tabBarcode where Barcode='8002'"), Value(-1.0));
  EXPECT_EQ(Back("select Giacenza from tabArticoli where idArticolo=2"), Value(-1.0));
  EXPECT_EQ(Count("tabGiacenze"), 2);
}

TEST_F(WarehouseTest, AnArticleThatCannotBeReadSetsOffTheRecoveryWhichRestoresIt) {
  PosReceipt(1);
  PosRow(11, 1);
  SyncCollection receipts;
  auto record = std::make_shared<clsSincroTestataScontrino>();
  record->IdTestataPOS = 1;
  receipts.Add(record, "ID_1");
  int32_t kind = 1, causale = 1;
  ASSERT_TRUE(PCassa_SincroScontrino(ctx, kind, receipts));
  // The article component's connection breaks; the recovery connects it again.
  testing_support::FaultInjector faults;
  faults.FailMatching("from tabBarcode", "Communication link failure");
  faults.Attach(ctx.sql_locale().connection());
  EXPECT_TRUE(PCassa_AggiornaMagazzinoDaScontrino(ctx, kind, receipts, causale));
  auto korv = Korv(ErrorLogLines());
  ASSERT_EQ(korv.size(), 5u);  // barcode, connection, attempt, two states; then the reload works
  EXPECT_NE(korv[0].find("il barcode che alza l'errore è : 8001"), std::string::npos);
  EXPECT_EQ(Back("select CostoImponibile from tabDettaglioMagazzino"), Value(5.0));
  EXPECT_EQ(Back("select Giacenza from tabBarcode where Barcode='8001'"), Value(-1.0));
}

TEST_F(WarehouseTest, ExitBInTheFirstPassRemovesTheReceiptAndItsMovementRows) {
  PosReceipt(1);
  PosRow(11, 1);
  PosRow(12, 1, {{"IdCausale", Value(2)}});
  PosPayment(1, 12.2);
  testing_support::FaultInjector faults;  // the second warehouse call fails on row 12
  faults.FailMatching("and idDettaglio=12", "Timeout expired", 1);
  ctx.connection_created = [&](db::Connection& c) { faults.Attach(c); };
  Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 0);
  EXPECT_EQ(Count("tabDettaglioScontrini"), 0);
  EXPECT_EQ(Count("tabPagamentiScontriniBackoffice"), 0);
  EXPECT_EQ(Count("tabDettaglioMagazzino"), 0);
  EXPECT_EQ(Count("tabTestateMagazzino"), 2);  // causali 4 and 6: headers are never deleted
  EXPECT_EQ(Unexported(), 2);
  EXPECT_EQ(Front("select count(*) from tabPagamentiScontrini where FlagExport=1"), Value(0));
  // The next run transfers the receipt.
  Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 1);
  EXPECT_EQ(Count("tabDettaglioMagazzino"), 2);
  EXPECT_EQ(Unexported(), 0);
}

TEST_F(WarehouseTest, ExitBInTheSecondPassKeepsTheMovementRows) {
  PosReceipt(2, {{"IdCausale", Value(5)}});
  PosRow(21, 2, {{"IdCausale", Value(2)}});
  PosRow(22, 2, {{"IdCausale", Value(1)}});
  testing_support::FaultInjector faults;
  faults.FailMatching("and idDettaglio=21", "Timeout expired", 1);
  ctx.connection_created = [&](db::Connection& c) { faults.Attach(c); };
  Run();
  EXPECT_EQ(Count("tabTestateScontrini"), 0);
  EXPECT_EQ(Count("tabDettaglioMagazzino"), 1);  // the row of causale 1 stays
  EXPECT_EQ(Unexported(), 2);
  ASSERT_EQ(ErrorsFrom("TovoVelkaris_MovMagazzino").size(), 1u);
  EXPECT_NE(ErrorsFrom("TovoVelkaris_MovMagazzino")[0].find(":Timeout expired"), std::string::npos);
}

TEST_F(WarehouseTest, AMovementHeaderThatCannotBeCreatedStopsTheRun) {
  PosReceipt(1);
  PosRow(11, 1);
  PosReceipt(2);
  PosRow(21, 2);
  testing_support::FaultInjector faults;
  faults.FailMatching("GetNewID('dbo', 'tabTestateMagazzino'", "permission denied", 1);
  ctx.connection_created = [&](db::Connection& c) { faults.Attach(c); };
  Run();
  auto failed = ErrorsFrom("TovoVelkaris_MovMagazzino");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find(":Attenzione: riga scontrino non sincronizzata per idtestata POS id:1 dettaglio POS id: 11"
                           ". Errore creazione o recupero testata movimento magazzino. Nessun movimento o riga di "
                           "backoffice verrà tuttavia eliminato. La procedura di sincronizzazione verrà interrotta."),
            std::string::npos)
      << failed[0];
  EXPECT_EQ(Count("tabTestateScontrini"), 0);
  EXPECT_EQ(Unexported(), 2);  // receipt 2 was never reached
}

}  // namespace
}  // namespace velkaris
