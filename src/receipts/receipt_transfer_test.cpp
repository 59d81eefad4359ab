#include "receipts/receipt_transfer.h"

#include <gtest/gtest.h>

#include "db/recordset.h"
#include "testing/fault_injector.h"
#include "testing/shop_fixture.h"

namespace velkaris {
namespace {

using db::Value;

class ReceiptTransferTest : public testing_support::ShopTest {
 protected:
  bool Transfer(std::initializer_list<int> pos_ids, int32_t kind = 1) {
    receipts.Clear();
    for (int id : pos_ids) {
      auto r = std::make_shared<clsSincroTestataScontrino>();
      r->IdTestataPOS = id;
      receipts.Add(r, "ID_" + std::to_string(id));
    }
    return PCassa_SincroScontrino(ctx, kind, receipts);
  }
  // Every back-office table a receipt writes is empty.
  void ExpectNothingLeft() {
    for (const char* t : {"tabTestateScontrini", "tabDettaglioScontrini", "tabPagamentiScontriniBackoffice",
                          "tabFidelity_Transazioni"}) {
      EXPECT_EQ(Count(t), 0) << t;
    }
  }
  void Attach(testing_support::FaultInjector& f) { f.Attach(*ctx.connDbLocale); }
  SyncCollection receipts;
};

TEST_F(ReceiptTransferTest, AReceiptBecomesAHeaderWithRowsPaymentsAndTotals) {
  PosReceipt(1, {{"IDCliente", Value(15)}, {"Sconto1", Value(5.0)}});
  PosRow(11, 1, {{"Quantita", Value(2.0)}});
  PosRow(12, 1, {{"Barcode", Value("")}, {"Descrizione", Value("Buone feste")}});
  PosRow(13, 1, {{"Barcode", Value("9999999999999")}, {"Descrizione", Value("Reparto")}, {"Prezzo", Value(5.0)}});
  PosRow(14, 1, {{"IdCausale", Value(2)}, {"Barcode", Value("8002")}, {"Prezzo", Value(2.08)}, {"AIva", Value(4.0)},
                 {"CodiceIva", Value("4")}});
  PosPayment(1, 20.0);
  PosPayment(1, -5.0, {{"Coefficiente", Value(-1)}, {"TipoOperazione", Value(3)}});
  PosPayment(-1, 7.5, {{"Coefficiente", Value()}});
  ASSERT_TRUE(Transfer({1}));

  auto h = ctx.connDbLocale->OpenRecordset("select * from tabTestateScontrini");
  ASSERT_EQ(h->RecordCount(), 1);
  int32_t id = db::CLng((*h)["idTestata"]);
  EXPECT_EQ((*h)["Numerazione"], Value(1));
  EXPECT_EQ(Back("select Numero from tabProgressivi where Causale='SCBK_Num4' and AnnoProgressivo=2026"), Value(1));
  EXPECT_EQ((*h)["NumeroScontrino"], Value(1));
  EXPECT_EQ((*h)["IdCausale"], Value(4));
  EXPECT_EQ((*h)["IDCliente"], Value(15));
  EXPECT_EQ((*h)["idCassa"], Value(1));
  EXPECT_EQ((*h)["idMagazzino"], Value(1));
  EXPECT_EQ((*h)["idOperatore"], Value(3));
  EXPECT_EQ((*h)["idUtente_Creazione"], Value(30));
  EXPECT_EQ((*h)["Sconto1"], Value(5.0));
  EXPECT_TRUE((*h)["Sconto2"].IsNull());
  EXPECT_TRUE((*h)["IdModoPunti"].IsNull());
  EXPECT_TRUE((*h)["Fid_SaldoPunti"].IsNull());
  EXPECT_EQ(db::CStr((*h)["DataOraScontrino"]), "04/12/2026 19:05:11");
  EXPECT_EQ(db::CStr((*h)["DataIncasso"]), "04/12/2026 19:05:11");
  EXPECT_EQ((*h)["idTransazioneFidelity"], Value(-1));
  // 2 x 12.20 + 5.00 - 2.08 (a return at 4%).
  EXPECT_DOUBLE_EQ(db::CDbl((*h)["TotaleImporto"]), 27.32);
  EXPECT_DOUBLE_EQ(db::CDbl((*h)["TotaleImponibile"]), 22.10);
  EXPECT_DOUBLE_EQ(db::CDbl((*h)["TotaleIva"]), 5.22);

  auto rows = ctx.connDbLocale->OpenRecordset("select * from tabDettaglioScontrini order by riga");
  ASSERT_EQ(rows->RecordCount(), 4);
  EXPECT_EQ((*rows)["riga"], Value(1));
  EXPECT_DOUBLE_EQ(db::CDbl((*rows)["TotaleNettoSconto"]), 24.4);
  EXPECT_DOUBLE_EQ(db::CDbl((*rows)["Imponibile"]), 20.0);
  EXPECT_EQ((*rows)["UM"], Value("PZ"));
  rows->MoveNext();
  EXPECT_EQ((*rows)["Descrizione"], Value("Buone feste"));
  EXPECT_TRUE((*rows)["TotaleNettoSconto"].IsNull());
  rows->MoveNext();
  EXPECT_EQ((*rows)["Barcode"], Value("0"));  // the annulled barcode
  EXPECT_DOUBLE_EQ(db::CDbl((*rows)["TotaleNettoSconto"]), 5.0);
  rows->MoveNext();
  EXPECT_EQ((*rows)["IdCausale"], Value(2));

  auto pays = ctx.connDbLocale->OpenRecordset("select * from tabPagamentiScontriniBackoffice order by ImportoIncassato");
  ASSERT_EQ(pays->RecordCount(), 3);
  EXPECT_EQ((*pays)["Coefficiente"], Value(-1));
  EXPECT_EQ((*pays)["TipoOperazione"], Value(3));
  EXPECT_EQ((*pays)["idTestata"], Value(id));
  pays->MoveNext();
  EXPECT_EQ((*pays)["idTestata"], Value(-1));  // the payment of no receipt
  EXPECT_EQ((*pays)["Coefficiente"], Value(1));
  EXPECT_TRUE((*pays)["TipoOperazione"].IsNull());
  EXPECT_EQ((*pays)["valuta"], Value("EUR"));
  EXPECT_EQ((*pays)["idCassa"], Value(1));
  EXPECT_EQ(Front("select FlagExport from tabPagamentiScontrini where idTestata=-1"), Value(true));

  const auto& record = receipts["ID_1"];
  EXPECT_EQ(record->IdTestataScontrinoBKF, id);
  EXPECT_TRUE(record->SincronizzatoScontrinoBKF);
  ASSERT_EQ(record->Righe.Count(), 4u);
  EXPECT_EQ(record->Righe["id_12"]->SincronizzatoScontrinoBKF, true);
  EXPECT_GT(record->Righe["ID_14"]->IdDettaglioScontrinoBKF, 0);
  EXPECT_FALSE(record->SincronizzatoMovMagBKF);
  for (const auto& l : ErrorLogLines()) EXPECT_NE(l.find("Acconto rilevato num: -1"), std::string::npos) << l;
}

TEST_F(ReceiptTransferTest, FidelityPointsTakingsPrizeReversalAndOmaggio) {
  PosReceipt(1, {{"idFidelityCard", Value(77)}, {"IDCliente", Value(15)}, {"Fid_PuntiArticoli", Value(10.0)},
                 {"Fid_PuntiSpesa", Value(5.0)}, {"Fid_ImportoOmaggi", Value(5.0)}, {"IdModoPunti", Value(1)},
                 {"Fid_SaldoPunti", Value(120.0)}});
  PosRow(11, 1);
  PosRow(12, 1, {{"isOmaggio", Value(true)}, {"Fid_PuntiArticolo", Value(3.0)}, {"Descrizione", Value("Regalo")}});
  PosRow(13, 1, {{"isOmaggio", Value(true)}, {"Fid_PuntiArticolo", Value(4.0)}, {"IdModoPunti", Value(2)}});
  PosPayment(1, 60.0);
  PosPayment(1, 40.0, {{"FlagExport", Value(true)}});  // exported or not, takings count every payment
  ASSERT_TRUE(Transfer({1}));
  int32_t bkf = receipts["ID_1"]->IdTestataScontrinoBKF;
  auto m = ctx.connDbLocale->OpenRecordset("select * from tabFidelity_Transazioni order by idTransazione");
  ASSERT_EQ(m->RecordCount(), 3);
  int32_t sale = db::CLng((*m)["idTransazione"]);
  EXPECT_EQ((*m)["TipoMovimento"], Value(1));
  EXPECT_EQ((*m)["Quantita"], Value(15.0));
  EXPECT_EQ((*m)["ImportoIncasso"], Value(105.0));
  EXPECT_EQ((*m)["idScontrino"], Value(bkf));
  EXPECT_EQ((*m)["NumeroDocumento"], Value(1));
  EXPECT_EQ((*m)["IDCliente"], Value(15));
  EXPECT_EQ(db::CStr((*m)["DataMovimento"]), "04/12/2026 19:05:11");
  m->MoveNext();
  EXPECT_EQ((*m)["TipoMovimento"], Value(4));
  EXPECT_EQ((*m)["Quantita"], Value(-5.0));
  EXPECT_EQ((*m)["Descrizione"], Value("Storno vincita fidelity card"));
  m->MoveNext();
  EXPECT_EQ((*m)["TipoMovimento"], Value(5));  // only the row with points mode 1
  EXPECT_EQ((*m)["Quantita"], Value(-3.0));
  EXPECT_EQ((*m)["Codice"], Value("8001"));
  EXPECT_EQ((*m)["Descrizione"], Value("Regalo"));
  EXPECT_EQ(Back("select idTransazioneFidelity from tabTestateScontrini"), Value(sale));
  EXPECT_EQ(Back("select Fid_SaldoPunti from tabTestateScontrini"), Value(120.0));
}

TEST_F(ReceiptTransferTest, ReturnReceiptsLinkTheirFidelityTransactionAsType23) {
  ctx.connDbLocale->Execute("update tabFidelity_Regole set ModalitaPunti=0, PremiComeIncasso=0");
  PosReceipt(2, {{"IdCausale", Value(5)}, {"idFidelityCard", Value(77)}, {"Fid_ImportoArticoli", Value(2.5)},
                 {"Fid_PuntiArticoli", Value(99.0)}, {"Fid_ImportoOmaggi", Value(5.0)}});
  PosRow(21, 2, {{"IdCausale", Value(2)}});
  PosPayment(2, -12.2);
  testing_support::FaultInjector recorder;
  Attach(recorder);
  ASSERT_TRUE(Transfer({2}, 2));
  EXPECT_EQ(Count("tabFidelity_Transazioni"), 1);  // prizes are not takings: no reversal
  EXPECT_EQ(Back("select Quantita from tabFidelity_Transazioni"), Value(2.5));
  EXPECT_EQ(Back("select ImportoIncasso from tabFidelity_Transazioni"), Value(-12.2));
  EXPECT_EQ(recorder.StatementsMatching("Update tabTestateScontrini set idTransazioneFidelity=").size(), 1u);
  EXPECT_EQ(Back("select Numerazione from tabTestateScontrini"), Value(1));
  EXPECT_EQ(Back("select count(*) from tabProgressivi where Causale='SCBK_Num5'"), Value(1));
  EXPECT_EQ(Back("select IdCausaleMagazzino from tabDettaglioScontrini"), Value(-1));
}

TEST_F(ReceiptTransferTest, VouchersSoldAndUsedAreWrittenBackAfterTheRows) {
  ctx.connDbLocale->Execute("insert into tabBuoniMerce (idBuono, Importo, ImportoResiduo, dataEmissione) values "
                            "(3, 50, 50, '2026-11-01 00:00:00'), (4, 20, 20, NULL)");
  PosReceipt(1, {{"IDCliente", Value(15)}});
  PosRow(11, 1, {{"idBuono", Value(3)}, {"IdCausale", Value(2)}, {"Barcode", Value("BUONO")}, {"Prezzo", Value(20.0)},
                 {"TotaleNettoSconto", Value(20.0)}});  // a voucher used as payment
  PosRow(12, 1, {{"idBuono", Value(4)}, {"Prezzo", Value(20.0)}, {"TotaleNettoSconto", Value(20.0)}});  // one sold
  PosRow(13, 1, {{"idBuono", Value(404)}});  // unknown to the back office
  ASSERT_TRUE(Transfer({1}));
  int32_t bkf = receipts["ID_1"]->IdTestataScontrinoBKF;
  auto used = ctx.connDbLocale->OpenRecordset("select * from tabBuoniMerce where idBuono=3");
  EXPECT_DOUBLE_EQ(db::CDbl((*used)["ImportoResiduo"]), 30.0);
  EXPECT_EQ((*used)["idTestataScontrino"], Value(bkf));
  EXPECT_EQ((*used)["IDCliente"], Value(15));
  // Both vouchers carry the receipt's totals: 20.00 + 12.20 sold, 20.00 returned.
  EXPECT_DOUBLE_EQ(db::CDbl((*used)["importoVendutoScontrino"]), 12.2);
  EXPECT_DOUBLE_EQ(db::CDbl((*used)["imponibileVendutoScontrino"]), 10.0);
  auto sold = ctx.connDbLocale->OpenRecordset("select * from tabBuoniMerce where idBuono=4");
  EXPECT_DOUBLE_EQ(db::CDbl((*sold)["ImportoResiduo"]), 20.0);
  EXPECT_EQ((*sold)["idMagazzinoScontrinoAcquisto"], Value(1));
  EXPECT_EQ((*sold)["idCassaScontrinoAcquisto"], Value(1));
  EXPECT_EQ((*sold)["numeroScontrinoAcquisto"], Value(1));
  EXPECT_EQ(db::CStr((*sold)["dataScontrinoAcquisto"]), "04/12/2026 19:05:11");
  EXPECT_DOUBLE_EQ(db::CDbl((*sold)["importoVendutoScontrino"]), 12.2);
  EXPECT_TRUE((*sold)["idTestataScontrino"].IsNull());
  EXPECT_EQ(Count("tabBuoniMerce"), 2);
  EXPECT_TRUE(ErrorsFrom("TovoVelkaris_Scontrino").empty());
}

TEST_F(ReceiptTransferTest, AUsedVoucherWithoutResidualKeepsItNullQuietly) {
  ctx.connDbLocale->Execute("insert into tabBuoniMerce (idBuono, Importo, ImportoResiduo) values (5, 50, NULL)");
  PosReceipt(1);
  PosRow(11, 1, {{"idBuono", Value(5)}, {"IdCausale", Value(2)}, {"TotaleNettoSconto", Value(20.0)}});
  ASSERT_TRUE(Transfer({1}));
  EXPECT_TRUE(Back("select ImportoResiduo from tabBuoniMerce where idBuono=5").IsNull());
  EXPECT_EQ(Back("select idTestataScontrino from tabBuoniMerce where idBuono=5"),
            Value(receipts["ID_1"]->IdTestataScontrinoBKF));
  EXPECT_TRUE(ErrorsFrom("Velkaris-UpdateImportoResiduo").empty());
  EXPECT_TRUE(ErrorsFrom("ScritturaBuoniMerce").empty());
}

TEST_F(ReceiptTransferTest, AReceiptWithoutRowsOrCardAndTwoReceiptsInOneCall) {
  PosReceipt(1, {{"idFidelityCard", Value(0)}});
  PosRow(11, 1);
  PosReceipt(2);
  PosReceipt(3, {{"idFidelityCard", Value()}});
  PosRow(31, 3);
  testing_support::FaultInjector recorder;
  Attach(recorder);
  ASSERT_TRUE(Transfer({1, 2, 3}));
  EXPECT_EQ(Count("tabTestateScontrini"), 2);  // receipt 2 has no rows: no header
  EXPECT_EQ(Count("tabFidelity_Transazioni"), 0);
  EXPECT_EQ(receipts["ID_2"]->IdTestataScontrinoBKF, -1);
  EXPECT_FALSE(receipts["ID_2"]->SincronizzatoScontrinoBKF);
  // The first receipt's totals are computed when the third starts, before its header.
  const auto& s = recorder.statements();
  int32_t first = receipts["ID_1"]->IdTestataScontrinoBKF;
  auto at = [&](const std::string& text) {
    return std::find_if(s.begin(), s.end(), [&](const std::string& x) { return x.find(text) != std::string::npos; }) -
           s.begin();
  };
  auto second_header = std::find_if(s.begin(), s.end(), [](const std::string& x) {
                         return x.find("INSERT INTO \"tabTestateScontrini\"") != std::string::npos;
                       });
  ASSERT_NE(second_header, s.end());
  second_header = std::find_if(second_header + 1, s.end(), [](const std::string& x) {
    return x.find("INSERT INTO \"tabTestateScontrini\"") != std::string::npos;
  });
  EXPECT_LT(at("Select * from tabTestateScontrini where idTestata=" + std::to_string(first)),
            second_header - s.begin());
  EXPECT_DOUBLE_EQ(db::CDbl(Back("select TotaleImporto from tabTestateScontrini where idTestata=" + std::to_string(first))),
                   12.2);
}

TEST_F(ReceiptTransferTest, NoReceiptStillTransfersAndFlagsPaymentsOfNoReceipt) {
  PosPayment(-1, 3.0);
  ASSERT_TRUE(Transfer({}));
  EXPECT_EQ(Count("tabPagamentiScontriniBackoffice", "idTestata=-1"), 1);
  ASSERT_TRUE(Transfer({}));
  EXPECT_EQ(Count("tabPagamentiScontriniBackoffice"), 1);  // flagged: not copied twice
}

// ---- Failure paths ------------------------------------------------------------

class ReceiptFailureTest : public ReceiptTransferTest {
 protected:
  void SetUp() override {
    PosReceipt(1, {{"idFidelityCard", Value(77)}, {"Fid_PuntiArticoli", Value(1.0)}});
    PosRow(11, 1);
    PosRow(12, 1, {{"isOmaggio", Value(true)}, {"Fid_PuntiArticolo", Value(2.0)}});
    PosPayment(1, 24.4);
    faults.Attach(*ctx.connDbLocale);
  }
  std::vector<std::string> Deletes() { return faults.StatementsMatching("delete from"); }
  std::vector<std::string> Messages() { return ErrorsFrom("TovoVelkaris_Scontrino"); }
  // The whole error log but the "Acconto rilevato" line every row writes.
  std::vector<std::string> Logged() {
    std::vector<std::string> out;
    for (const auto& l : ErrorLogLines()) {
      if (l.find("Acconto rilevato num:") == std::string::npos) out.push_back(l);
    }
    return out;
  }
  testing_support::FaultInjector faults;
};

const char kE[] = "Eliminazione forzata di tutto lo scontrino backoffice id:1 causa eccezione funzione "
                  "'PCassa_SincroPagamentiScontrini'. Oggetto: MODULO \\TovoVelkaris_Scontrino";

TEST_F(ReceiptFailureTest, HeaderNotCreated) {
  testing_support::FaultInjector front;
  front.FailMatching("Select * from tabTestate where idTestata=1", "timeout expired");
  front.Attach(*ctx.connDbPuntoCassa);
  EXPECT_FALSE(Transfer({1}));
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find(":Attenzione: testata scontrino POS id:1 non sincronizzata. Errore creazione testata."),
            std::string::npos)
      << m[0];
  EXPECT_TRUE(Deletes().empty());
  EXPECT_EQ(ErrorsFrom("ScriviTestataScontrino").size(), 1u);
  ExpectNothingLeft();
}

TEST_F(ReceiptFailureTest, PaymentsNotWritten) {
  faults.FailMatching("INSERT INTO \"tabPagamentiScontriniBackoffice\"", "payment refused");
  EXPECT_FALSE(Transfer({1}));
  auto m = Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_NE(m[0].find(":Attenzione: pagamenti scontrino POS id:1 per scontrino backoffice id:1 non sincronizzata. "
                      "Errore creazione pagamento."),
            std::string::npos);
  EXPECT_NE(m[1].find(kE), std::string::npos) << m[1];
  EXPECT_EQ(Deletes(), (std::vector<std::string>{"delete from tabPagamentiScontriniBackoffice where idtestata=1",
                                                 "delete from tabtestatescontrini where idtestata=1"}));
  ExpectNothingLeft();
}

TEST_F(ReceiptFailureTest, FidelityMovementNotWritten) {
  faults.FailMatching("INSERT INTO \"tabFidelity_Transazioni\"", "card refused");
  EXPECT_FALSE(Transfer({1}));
  auto m = Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_NE(m[0].find(":Attenzione: movimento tessera fidelity card non sincronizzato per idtestata POS id:1 per "
                      "scontrino backoffice id:1. Errore creazione movimento fidelity."),
            std::string::npos);
  EXPECT_EQ(Deletes(), (std::vector<std::string>{"delete from tabtestatescontrini where idtestata=1",
                                                 "delete from tabPagamentiScontriniBackoffice where idtestata=1",
                                                 "delete from tabFidelity_Transazioni where idScontrino=1"}));
  ExpectNothingLeft();
  EXPECT_EQ(Logged(), m);  // F and E, and nothing of the card component's own
}

TEST_F(ReceiptFailureTest, RowNotWritten) {
  faults.FailMatching("INSERT INTO \"tabDettaglioScontrini\"", "row refused", 1);
  EXPECT_FALSE(Transfer({1}));
  auto m = Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_NE(m[0].find(":Attenzione: riga scontrino non sincronizzata per idtestata POS id:1 dettaglio POS id: 11 per "
                      "scontrino backoffice id:1. Errore creazione riga scontrino."),
            std::string::npos)
      << m[0];
  EXPECT_EQ(Deletes(), (std::vector<std::string>{"delete from tabtestatescontrini where idtestata=1",
                                                 "delete from tabPagamentiScontriniBackoffice where idtestata=1",
                                                 "delete from tabdettaglioAccontiClienti where TipoDocumento in "
                                                 "(9, 23) and IdDettaglioDocumento in (select idDettaglio from "
                                                 "tabDettaglioScontrini where idtestata=1)",
                                                 "delete from tabDettaglioScontrini where idtestata=1",
                                                 "delete from tabFidelity_Transazioni where idScontrino=1"}));
  ExpectNothingLeft();
  EXPECT_TRUE(receipts["ID_1"]->Righe.empty());
}

TEST_F(ReceiptFailureTest, OmaggioMovementNotWritten) {
  // The sale movement goes through; the second fidelity insert, the omaggio, fails.
  faults.FailMatching("INSERT INTO \"tabFidelity_Transazioni\"", "omaggio refused", -1, 1);
  EXPECT_FALSE(Transfer({1}));
  auto m = Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_NE(m[0].find(":Attenzione: movimento tessera fidelity card per gestione OMAGGIO non sincronizzato per "
                      "idtestata POS id:1 dettaglio POS id: 12 per idDettaglio BKF id:2 per scontrino backoffice "
                      "id:1. Errore creazione movimento fidelity gestione OMAGGIO."),
            std::string::npos)
      << m[0];
  ExpectNothingLeft();
  EXPECT_EQ(Logged(), m);  // O and E only
}

TEST_F(ReceiptFailureTest, AFailedReceiptTakesItsDownPaymentsWithIt) {
  ctx.connDbPuntoCassa->Execute("update tabDettaglio set idtabAccontiClienti=57 where idDettaglio=11");
  faults.FailMatching("INSERT INTO \"tabDettaglioScontrini\"", "row refused", 1, 1);  // row 12, after row 11's
  EXPECT_FALSE(Transfer({1}));
  ExpectNothingLeft();
  EXPECT_EQ(Count("tabdettaglioAccontiClienti"), 0);
  // The retry writes the down payment once.
  EXPECT_TRUE(Transfer({1}));
  EXPECT_EQ(Count("tabdettaglioAccontiClienti"), 1);
  EXPECT_EQ(Back("select IdDettaglioDocumento from tabdettaglioAccontiClienti"),
            Back("select idDettaglio from tabDettaglioScontrini where Barcode='8001' and isOmaggio=0"));
}

TEST_F(ReceiptFailureTest, UnexpectedErrorsAreLoggedWithoutDeletes) {
  faults.FailMatching("delete from tabtestatescontrini", "deadlock victim");
  faults.FailMatching("INSERT INTO \"tabDettaglioScontrini\"", "row refused", 1);
  EXPECT_FALSE(Transfer({1}));
  auto m = Messages();
  ASSERT_EQ(m.size(), 3u);  // R, E, then U for the failing delete
  EXPECT_NE(m[2].find(":deadlock victim. Oggetto"), std::string::npos) << m[2];
  EXPECT_EQ(Count("tabPagamentiScontriniBackoffice"), 1);  // the deletes stopped there

  testing_support::FaultInjector front;
  front.FailMatching("Update tabPagamentiScontrini set FlagExport=1 where idTestata=-1", "front office gone");
  front.Attach(*ctx.connDbPuntoCassa);
  EXPECT_FALSE(Transfer({1}));
  EXPECT_NE(Messages().back().find("front office gone"), std::string::npos);
}

}  // namespace
}  // namespace velkaris
