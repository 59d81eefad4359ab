#include "receipts/receipt_header.h"

#include <gtest/gtest.h>

#include "db/recordset.h"
#include "receipts/payments.h"
#include "receipts/vouchers.h"
#include "testing/shop_fixture.h"

namespace velkaris {
namespace {

using db::Value;

class HeaderTest : public testing_support::ShopTest {
 protected:
  int32_t Write(int pos_id, int32_t& number) {
    return ScriviTestataScontrino(ctx, *ctx.connDbPuntoCassa, *ctx.connDbLocale, pos_id, number);
  }
};

TEST_F(HeaderTest, HeaderColumnsFollowThePosHeaderAndTheTillSettings) {
  PosReceipt(1, {{"Cassa", Value(9)}, {"Sconto1", Value()}, {"Sconto2", Value(3.0)}, {"IdModoPunti", Value()},
                 {"Fid_SaldoPunti", Value(50.0)}, {"NumScontrino", Value()}, {"CAP", Value("00100")},
                 {"ForzaListinoTestata", Value(true)}});
  int32_t number = 77;
  int32_t id = Write(1, number);
  ASSERT_GT(id, 0);
  EXPECT_EQ(number, 77);  // an empty number leaves the caller's value
  auto h = ctx.connDbLocale->OpenRecordset("select * from tabTestateScontrini where idTestata=" + std::to_string(id));
  EXPECT_TRUE((*h)["NumeroScontrino"].IsNull());
  EXPECT_EQ((*h)["idCassa"], Value(1));  // the till setting, not the POS Cassa
  EXPECT_TRUE((*h)["Sconto1"].IsNull());
  EXPECT_EQ((*h)["Sconto2"], Value(3.0));
  EXPECT_TRUE((*h)["IdModoPunti"].IsNull());
  EXPECT_TRUE((*h)["Fid_SaldoPunti"].IsNull());
  EXPECT_EQ((*h)["CAP"], Value("00100"));
  EXPECT_EQ((*h)["ForzaListinoTestata"], Value(true));
  EXPECT_EQ((*h)["idOrdineConsegna"], Value(-1));
  EXPECT_EQ(db::CStr((*h)["DataCreaz"]), "04/12/2026 19:05:11");
  EXPECT_EQ((*h)["UtenteUltimoAccesso"], Value(""));
  int32_t missing = 5;
  EXPECT_EQ(Write(404, missing), -1);
  EXPECT_EQ(Count("tabTestateScontrini"), 1);
}

TEST_F(HeaderTest, NumerazioneComesFromThisYearsCounterWhateverTheReceiptDate) {
  clock.Set(db::Date::FromParts(2027, 1, 2, 9, 0, 0));
  PosReceipt(1, {{"Data", Value(db::Date::FromParts(2026, 12, 31))}, {"NumScontrino", Value(12)}});
  int32_t number = 0;
  int32_t id = Write(1, number);
  EXPECT_EQ(number, 12);
  EXPECT_EQ(Back("select Numerazione from tabTestateScontrini where idTestata=" + std::to_string(id)), Value(1));
  EXPECT_EQ(Count("tabProgressivi", "AnnoProgressivo=2027 and Causale='SCBK_Num4'"), 1);
  EXPECT_EQ(db::CStr(Back("select DataOraScontrino from tabTestateScontrini")), "31/12/2026 19:05:11");
}

TEST_F(HeaderTest, ReceiptNumberFromTheReceiptsAlreadyIssued) {
  PosReceipt(1, {{"NumScontrino", Value(41)}});
  PosReceipt(2, {{"NumScontrino", Value(42)}});
  db::Value day(db::Date::FromParts(2026, 12, 4));
  EXPECT_EQ(funGetNuovoNumeroScontrinoByScontriniEmessi(ctx, *ctx.connDbPuntoCassa, 1, 1, day, false, 4), 43);
  EXPECT_EQ(funGetNuovoNumeroScontrinoByScontriniEmessi(ctx, *ctx.connDbPuntoCassa, 1, 1, day, false, 5), 1);
  // The POS search compares the whole date-time with the receipt dates: a time of day finds none.
  db::Value when(db::Date::FromParts(2026, 12, 4, 19, 5, 11));
  EXPECT_EQ(funGetNuovoNumeroScontrinoByScontriniEmessi(ctx, *ctx.connDbPuntoCassa, 1, 1, when, false, 4), 1);
}

TEST_F(HeaderTest, PaymentsCopyEveryUnexportedRowWithItsConventions) {
  PosPayment(1, 10.0, {{"Coefficiente", Value()}});
  PosPayment(1, 11.0, {{"Coefficiente", Value(0)}, {"TipoOperazione", Value(0)}});
  PosPayment(1, 12.0, {{"Coefficiente", Value(-1)}, {"TipoOperazione", Value()}, {"valuta", Value("USD")}});
  PosPayment(1, 13.0, {{"FlagExport", Value(true)}});
  PosPayment(1, 0, {{"ImportoIncassato", Value()}, {"Cassetto", Value(2)}, {"ingenico_CardType", Value()}});
  ASSERT_TRUE(PCassa_SincroPagamentiScontrini(ctx, 1, 9, *ctx.connDbPuntoCassa, *ctx.connDbLocale));
  auto p = ctx.connDbLocale->OpenRecordset("select * from tabPagamentiScontriniBackoffice order by ImportoIncassato");
  ASSERT_EQ(p->RecordCount(), 4);
  EXPECT_EQ((*p)["ImportoIncassato"], Value(-1.0));  // Null travels as -1
  EXPECT_EQ((*p)["Cassetto"], Value(2));
  EXPECT_EQ((*p)["ingenico_CardType"], Value(-1));
  p->MoveNext();
  EXPECT_EQ((*p)["Coefficiente"], Value(1));
  p->MoveNext();
  EXPECT_EQ((*p)["Coefficiente"], Value(-1));
  EXPECT_TRUE((*p)["TipoOperazione"].IsNull());
  p->MoveNext();
  EXPECT_EQ((*p)["Coefficiente"], Value(-1));
  EXPECT_EQ((*p)["valuta"], Value("USD"));
  EXPECT_EQ((*p)["idTestata"], Value(9));
  EXPECT_EQ((*p)["idUtente"], Value(0));
  EXPECT_TRUE(PCassa_SincroPagamentiScontrini(ctx, 2, 9, *ctx.connDbPuntoCassa, *ctx.connDbLocale));  // none
}

TEST_F(HeaderTest, VoucherTotalsSubtractReturnsAndAMissingNumberIsMinusOne) {
  ctx.connDbLocale->Execute("insert into tabTestateScontrini (idTestata, idMagazzino, idCassa, NumeroScontrino) "
                            "values (5, 2, 3, NULL)");
  ctx.connDbLocale->Execute("insert into tabDettaglioScontrini (idDettaglio, idTestata, IdCausale, TotaleNettoSconto, "
                            "Imponibile) values (1, 5, 4, 30, 24.59), (2, 5, 5, 10, 8.2), (3, 5, 99, 1, 0.82)");
  ctx.connDbLocale->Execute("insert into tabBuoniMerce (idBuono, Importo, ImportoResiduo) values (1, 10, 10)");
  auto v = std::make_shared<clsBuonoMerce>(ctx);
  v->setConnessione(ctx.connDbLocale.get());
  v->Inizializza(1);
  EXPECT_EQ(v->Importo, 10);
  v->idTestataScontrino = 5;
  v->IsRigaVendita = true;
  VoucherCollection c{v};
  ScritturaBuoniMerce(ctx, c);
  auto b = ctx.connDbLocale->OpenRecordset("select * from tabBuoniMerce");
  // Causale 4 sells (S), causale 5 returns (C), an unknown causale counts as a sale.
  EXPECT_DOUBLE_EQ(db::CDbl((*b)["importoVendutoScontrino"]), 21.0);
  EXPECT_DOUBLE_EQ(db::CDbl((*b)["imponibileVendutoScontrino"]), 17.21);
  EXPECT_EQ((*b)["numeroScontrinoAcquisto"], Value(-1));
  EXPECT_EQ((*b)["idMagazzinoScontrinoAcquisto"], Value(2));
  // A voucher without a connection does nothing.
  clsBuonoMerce loose(ctx);
  EXPECT_FALSE(loose.isConnessioneIstanziata());
  EXPECT_FALSE(loose.updateBuonoMerce(5, 1, 1, 1));
  EXPECT_FALSE(loose.UpdateImportoResiduo());
}

TEST_F(HeaderTest, AVoucherThatCannotBeWrittenIsReportedAndTheRestLeftAlone) {
  ctx.connDbLocale->Execute("insert into tabBuoniMerce (idBuono, Importo, ImportoResiduo, dataEmissione) values "
                            "(1, 10, 10, '2026-11-01 00:00:00'), (2, 5, 5, NULL)");
  auto first = std::make_shared<clsBuonoMerce>(ctx);
  first->setConnessione(ctx.connDbLocale.get());
  first->Inizializza(1);
  ctx.connDbLocale->Execute("drop table tabBuoniMerce");  // the write-back fails
  auto second = std::make_shared<clsBuonoMerce>(ctx);
  second->setConnessione(ctx.connDbLocale.get());
  VoucherCollection c{first, second};
  ScritturaBuoniMerce(ctx, c);
  auto m = ErrorsFrom("TovoVelkaris_Scontrino");
  ASSERT_EQ(m.size(), 2u);
  EXPECT_NE(m[0].find(":Attenzione: buono merce emesso il 01/11/2026, importo 10 non sincronizzato con backoffice."),
            std::string::npos)
      << m[0];
  EXPECT_NE(m[1].find(":Lo scontrino NON VERRA' ELIMINATO e verrà comunque sincronizzato con backoffice."),
            std::string::npos);
  EXPECT_EQ(ErrorsFrom("Velkaris-updateBuonoMerce").size(), 1u);
  EXPECT_NE(ErrorsFrom("Velkaris-updateBuonoMerce")[0].find(":-2147467259-no such table"), std::string::npos);
}

}  // namespace
}  // namespace velkaris
