#include "receipts/receipt_transfer.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "components/fidelity.h"
#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "lookups/article_lookups.h"
#include "documents/document_totals.h"
#include "receipts/fidelity_transactions.h"
#include "receipts/payments.h"
#include "receipts/receipt_header.h"
#include "receipts/vouchers.h"
#include "rows/receipt_row_writer.h"
#include "rows/row_engine.h"
#include "core/failure.h"

namespace velkaris {
namespace {

constexpr const char* kSource = "TovoVelkaris_Scontrino";
constexpr const char* kErrorKind = "Errore sincro scontrino";
constexpr const char* kAnnulledBarcode = "9999999999999";

std::string RowQuery(int32_t id_testata_pos) {
  return std::string(
             "SELECT tabTestate.Fid_ImportoOmaggi, tabTestate.idFidelityCard, tabTestate.idCliente, "
             "tabTestate.Chiusura, tabTestate.Data, tabTestate.Ora, ") +
         " tabDettaglio.idRiferimento, tabDettaglio.idTestata , tabDettaglio.idDettaglio, tabDettaglio.IdCausale, "
         "tabDettaglio.idReparto, tabDettaglio.idListino, tabDettaglio.barcode, tabDettaglio.Descrizione, "
         "tabDettaglio.prezzo, tabDettaglio.Quantita, tabDettaglio.AIva, tabDettaglio.Imponibile, tabDettaglio.Iva, "
         "tabDettaglio.Totale, tabDettaglio.Sconto1, tabDettaglio.Sconto2, tabDettaglio.Sconto3, "
         "tabDettaglio.Sconto4, tabDettaglio.ImportoSconto, tabDettaglio.TotaleNettoSconto, tabDettaglio.CodiceIva, "
         "tabDettaglio.TipoSconto, tabDettaglio.idBuono, tabDettaglio.isOmaggio, tabDettaglio.IdModoPunti, "
         "tabDettaglio.Fid_PuntiArticolo, tabDettaglio.Fid_ImportoArticolo, tabTestate.Fid_PuntiArticoli, "
         "tabTestate.Fid_ImportoArticoli, tabTestate.Fid_PuntiOmaggi, tabTestate.Fid_ImportoOmaggi, "
         "tabTestate.Fid_PuntiSpesa, tabTestate.Fid_ImportoSpesa, tabDettaglio.ScontriniNonStampare, " +
         " tabDettaglio.idCausaleMagazzino , tabDettaglio.CodiceArticolo,idtipobuono,tabDettaglio.Note , "
         "tabdettaglio.priceManuallyChanged, tabDettaglio.idOperatore_Riga " +
         " FROM tabDettaglio INNER JOIN tabTestate ON tabDettaglio.IdTestata = tabTestate.idTestata " +
         " WHERE tabTestate.idTestata= " + std::to_string(id_testata_pos) +
         " ORDER BY TabTestate.Data, tabDettaglio.idTestata, tabDettaglio.idDettaglio ";
}

// The state of one call: the receipt being written and what it collected.
class Transfer {
 public:
  Transfer(Context& ctx, int32_t& kind) : ctx_(ctx), kind_(kind) {}
  // False when the receipt failed (after its messages and deletes).
  bool Record(clsSincroTestataScontrino& record);
  void FinishTotals();
  VoucherCollection& vouchers() { return vouchers_; }

 private:
  db::Value Field(const char* name, const db::Value& fallback) { return TestNull(ctx_, (*rs_)[name], fallback); }
  int32_t Long(const char* name, int32_t fallback) { return db::CLng(Field(name, db::Value(fallback))); }
  double Double(const char* name, double fallback) { return db::CDbl(Field(name, db::Value(fallback))); }
  std::string Text(const char* name, const std::string& fallback) { return db::CStr(Field(name, db::Value(fallback))); }
  std::string RowIdText() { return Text("idDettaglio", ""); }

  bool StartReceipt();
  RigaScontrino ArticleRow(const std::string& barcode);
  RigaScontrino TextOnlyRow();
  bool OmaggioMovement(int32_t new_row_id);
  void CollectVoucher(int32_t id_buono);
  // Logs message E and deletes the receipt from the given tables; the fidelity movements
  // last, with their errors ignored.
  void Remove(const std::vector<const char*>& tables, bool fidelity);
  void Log(const std::string& message, const char* kind = kErrorKind) { ctx_.logs.ScriviLogErrore(kSource, message, kind); }

  Context& ctx_;
  int32_t& kind_;
  std::unique_ptr<db::Recordset> rs_;
  int32_t pos_id_ = -1;
  int32_t bkf_id_ = -1;
  int32_t card_id_ = -1;
  int32_t numero_ = 0;
  VoucherCollection vouchers_;
};

void Transfer::Remove(const std::vector<const char*>& tables, bool fidelity) {
  std::string id = std::to_string(bkf_id_);
  Log("Eliminazione forzata di tutto lo scontrino backoffice id:" + id +
          " causa eccezione funzione 'PCassa_SincroPagamentiScontrini'",
      "Eliminazione forzata");
  for (const char* table : tables) {
    if (std::string_view(table) == "tabDettaglioScontrini") {
      ctx_.connDbLocale->ExecuteNoRecords(DeleteDownPaymentsSql(bkf_id_));  // they point at the rows
    }
    ctx_.connDbLocale->ExecuteNoRecords(std::string("delete from ") + table + " where idtestata=" + id);
  }
  if (fidelity) {
    try {
      ctx_.connDbLocale->ExecuteNoRecords("delete from tabFidelity_Transazioni where idScontrino=" + id);
    } catch (...) {
    }
  }
}

bool Transfer::StartReceipt() {
  if (bkf_id_ > 0) AggiornaTotaliDocumento(ctx_, kind_ == 2 ? 23 : 9, bkf_id_, ctx_.connDbLocale.get());
  pos_id_ = Long("idTestata", -1);
  std::string pos = std::to_string(pos_id_);
  bkf_id_ = ScriviTestataScontrino(ctx_, *ctx_.connDbPuntoCassa, *ctx_.connDbLocale, pos_id_, numero_);
  if (bkf_id_ <= 0) {
    Log("Attenzione: testata scontrino POS id:" + pos + " non sincronizzata. Errore creazione testata.");
    return false;
  }
  std::string bkf = std::to_string(bkf_id_);
  if (!PCassa_SincroPagamentiScontrini(ctx_, pos_id_, bkf_id_, *ctx_.connDbPuntoCassa, *ctx_.connDbLocale)) {
    Log("Attenzione: pagamenti scontrino POS id:" + pos + " per scontrino backoffice id:" + bkf +
        " non sincronizzata. Errore creazione pagamento.");
    Remove({"tabPagamentiScontriniBackoffice", "tabtestatescontrini"}, false);
    return false;
  }
  card_id_ = Long("idFidelityCard", -1);
  if (card_id_ > 0 && ScriviRigaFidelityCard(ctx_, *rs_, card_id_, pos_id_, bkf_id_, kind_, numero_) <= 0) {
    Log("Attenzione: movimento tessera fidelity card non sincronizzato per idtestata POS id:" + pos +
        " per scontrino backoffice id:" + bkf + ". Errore creazione movimento fidelity.");
    Remove({"tabtestatescontrini", "tabPagamentiScontriniBackoffice"}, true);
    return false;
  }
  return true;
}

RigaScontrino Transfer::ArticleRow(const std::string& barcode) {
  RigaScontrino r;
  r.IdCausale = Long("IdCausale", -1);
  r.idListino = Long("idListino", -1);
  r.idReparto = Long("idReparto", -1);
  r.idGiustificaSconto = 0;
  r.Barcode = barcode;
  r.Descrizione = Text("Descrizione", "");
  r.Quantita = Double("Quantita", 0);
  r.UM = funGetUMVend(ctx_, funGetIdArticolo(ctx_, barcode, false, false), false);
  r.prezzoVendita = Double("Prezzo", 0);
  double rate = Double("AIva", ctx_.settings.AliquotaIvaPredefinita);
  r.PrezzoVenditaNettoIva = Imponibile(ctx_, db::Value(r.prezzoVendita), db::Value(rate), ctx_.settings.CifreDecimali);
  r.CodiceIva = Text("CodiceIva", ctx_.settings.CodiceIvaPredefinito);
  r.AliquotaIva = rate;
  for (int i = 0; i < 4; ++i) r.Sconto[i] = Double(("Sconto" + std::to_string(i + 1)).c_str(), 0);
  r.TipoSconto = Text("TipoSconto", "");
  r.idBuono = Long("idBuono", -1);
  r.isOmaggio = db::CBool(Field("isOmaggio", db::Value(false)));
  r.IdModoPunti = Long("IdModoPunti", -1);
  r.Fid_PuntiArticolo = Double("Fid_PuntiArticolo", 0);
  r.Fid_ImportoArticolo = Double("Fid_ImportoArticolo", 0);
  r.ScontriniNonStampare = db::CBool(Field("ScontriniNonStampare", db::Value(false)));
  r.codiceArticolo = Text("codiceArticolo", "");
  r.IdCausaleMagazzino = Long("IdCausaleMagazzino", -1);
  return r;
}

RigaScontrino Transfer::TextOnlyRow() {
  RigaScontrino r;
  r.Descrizione = Text("Descrizione", "");
  r.Quantita = -1;
  r.prezzoVendita = -1;
  r.PrezzoVenditaNettoIva = -1;
  r.Fid_PuntiArticolo = -1;
  r.Fid_ImportoArticolo = -1;
  r.IdCausaleMagazzino = kind_ == 1 ? 4 : 6;
  return r;
}

bool Transfer::OmaggioMovement(int32_t new_row_id) {
  bool omaggio = card_id_ > 0 && Long("IdModoPunti", 1) == 1 && db::CBool(Field("isOmaggio", db::Value(false)));
  if (!omaggio) return true;
  FidelityCard card;
  card.Open(ctx_, *ctx_.connDbLocale, card_id_, false);
  MovimentoFidelity m;
  m.idMagazzino = ctx_.settings.IdMagazzinoCorrente;
  m.idCassa = ctx_.settings.IdCassa;
  m.IDCliente = Long("IDCliente", -1);
  m.NumeroDocumento = numero_;
  m.DataMovimento = m.DataValuta = DataOra(ctx_, (*rs_)["Data"], (*rs_)["Ora"]);
  m.TipoMovimento = 5;
  m.ImportoIncasso = 0;
  m.Quantita = Double("Fid_PuntiArticolo", 0) * -1;
  m.Codice = Text("Barcode", "");
  m.Descrizione = Text("Descrizione", "");
  m.TipoDocumento = 9;
  m.idDocumento = bkf_id_;
  if (card.Scrivi(m) > 0) return true;
  Log("Attenzione: movimento tessera fidelity card per gestione OMAGGIO non sincronizzato per idtestata POS id:" +
      std::to_string(pos_id_) + " dettaglio POS id: " + RowIdText() + " per idDettaglio BKF id:" +
      std::to_string(new_row_id) + " per scontrino backoffice id:" + std::to_string(bkf_id_) +
      ". Errore creazione movimento fidelity gestione OMAGGIO.");
  Remove({"tabtestatescontrini", "tabPagamentiScontriniBackoffice", "tabDettaglioScontrini"}, true);
  return false;
}

void Transfer::CollectVoucher(int32_t id_buono) {
  auto voucher = std::make_shared<clsBuonoMerce>(ctx_);
  voucher->setConnessione(ctx_.connDbLocale.get());
  voucher->Inizializza(id_buono);
  voucher->idTestataScontrino = bkf_id_;
  voucher->IDCliente = Long("IDCliente", -1);
  voucher->ImportoDaStornare = Double("TotaleNettoSconto", 0);
  voucher->idTipoBuono = Long("idTipoBuono", 0);
  voucher->IsRigaVendita = Long("IdCausale", -1) == 1;
  vouchers_.push_back(voucher);
}

bool Transfer::Record(clsSincroTestataScontrino& record) {
  rs_ = ctx_.connDbPuntoCassa->OpenRecordset(RowQuery(record.IdTestataPOS), db::kStatic, db::kReadOnly);
  for (; !rs_->Eof(); rs_->MoveNext()) {
    if (Long("idTestata", -1) != pos_id_ && !StartReceipt()) return false;
    std::string barcode = Text("Barcode", "");
    if (barcode == kAnnulledBarcode) barcode = "0";
    bool article = !barcode.empty();
    RigaScontrino row = article ? ArticleRow(barcode) : TextOnlyRow();
    row.idTestataPOS = db::CLng((*rs_)["idTestata"]);
    row.idDettaglioPOS = db::CLng((*rs_)["idDettaglio"]);
    row.kind = kind_;
    row.IdOperatore_Riga = Long("IdOperatore_Riga", -1);
    int32_t id_buono = row.idBuono;
    int32_t new_id = funCreaRecordsetScontrino(ctx_, bkf_id_, row);
    if (new_id <= 0) {
      Log("Attenzione: riga scontrino non sincronizzata per idtestata POS id:" + std::to_string(pos_id_) +
          " dettaglio POS id: " + RowIdText() + " per scontrino backoffice id:" + std::to_string(bkf_id_) +
          ". Errore creazione riga scontrino.");
      Remove({"tabtestatescontrini", "tabPagamentiScontriniBackoffice", "tabDettaglioScontrini"}, true);
      return false;
    }
    if (article) {
      if (!row.totals_written) AggiornaTotaliRiga(ctx_, new_id, "tabDettaglioScontrini", ctx_.connDbLocale.get(), 0);
      if (!OmaggioMovement(new_id)) return false;
      if (id_buono > 0) CollectVoucher(id_buono);
    }
    record.IdTestataScontrinoBKF = bkf_id_;
    record.SincronizzatoScontrinoBKF = true;
    auto row_record = record.AggiungiRiga(db::CLng(Field("idDettaglio", db::Value(-1))));
    row_record->IdDettaglioScontrinoBKF = new_id;
    row_record->SincronizzatoScontrinoBKF = true;
  }
  rs_->Close();
  return true;
}

void Transfer::FinishTotals() {
  if (bkf_id_ > 0) AggiornaTotaliDocumento(ctx_, kind_ == 2 ? 23 : 9, bkf_id_, ctx_.connDbLocale.get());
}

}  // namespace

bool PCassa_SincroScontrino(Context& ctx, int32_t& kind, SyncCollection& receipts) {
  bool result = false;
  Guarded(ctx, kSource, [&] {
    if (!PCassa_SincroPagamentiScontrini(ctx, -1, -1, *ctx.connDbPuntoCassa, *ctx.connDbLocale)) return;
    // As a unit of work they are flagged one by one once the back office has committed.
    if (!ctx.uow.per_receipt) {
      ctx.connDbPuntoCassa->ExecuteNoRecords("Update tabPagamentiScontrini set FlagExport=" +
                                             BooleanForSql(ctx, true, kSqlServer) + " where idTestata=-1");
    }
    Transfer transfer(ctx, kind);
    for (const auto& record : receipts) {
      if (!transfer.Record(*record)) return;
    }
    transfer.FinishTotals();
    ScritturaBuoniMerce(ctx, transfer.vouchers());
    result = true;
  }, kErroreNonPrevisto);
  return result;
}

}  // namespace velkaris
