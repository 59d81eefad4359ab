#include "warehouse/warehouse_transfer.h"

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "components/article.h"
#include "components/document_link.h"
#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "lookups/article_lookups.h"
#include "documents/document_totals.h"
#include "lookups/row_lookups.h"
#include "core/failure.h"
#include "util/text.h"
#include "warehouse/discount_justifications.h"
#include "warehouse/movement_header.h"
#include "warehouse/movement_rows.h"
#include "rows/row_margins.h"

namespace velkaris {

std::string KitsQuery(int32_t id_testata) {
  return "SELECT tabArticoli.codicearticolo as CodArticolo,tabArticoli.idarticolo as CodArt , * FROM "
         "tabPuntoCassa_DettaglioDistinta INNER JOIN tabArticoli ON tabPuntoCassa_DettaglioDistinta.idArticolo = "
         "tabArticoli.idArticolo where idTestata=" +
         std::to_string(id_testata);
}

std::string KitQuery(int32_t id_testata, int32_t id_dettaglio) {
  return KitsQuery(id_testata) + " and idDettaglio=" + std::to_string(id_dettaglio);
}

namespace {

constexpr const char* kSource = "TovoVelkaris_MovMagazzino";
constexpr const char* kErrorKind = "Errore sincro movimento magazzino";
constexpr const char* kRecoverySource = "Velkaris-PCassa_AggiornaMagazzinoDaScontrino";

constexpr const char* kRowPrefix = "Attenzione: riga scontrino non sincronizzata per idtestata POS id:";
constexpr const char* kHeaderSuffix =
    ". Errore creazione o recupero testata movimento magazzino. Nessun movimento o riga di backoffice verrà tuttavia "
    "eliminato. La procedura di sincronizzazione verrà interrotta.";
constexpr const char* kRowSuffix =
    ". Errore creazione riga dettaglio movimento magazzino. Nessun movimento o riga di backoffice verrà tuttavia "
    "eliminato. La procedura di sincronizzazione non verrà interrotta.";
constexpr const char* kJustificationSuffix =
    ". Errore creazione riga giustifica sconto movimento magazzino. Nessun movimento o riga di backoffice verrà "
    "tuttavia eliminato. La procedura di sincronizzazione non verrà interrotta.";

std::string PosRowsQuery(int32_t id_testata, int32_t causale) {
  return std::string(
             "SELECT tabTestate.Fid_ImportoOmaggi, tabTestate.idFidelityCard, tabTestate.idCliente, "
             "tabTestate.Chiusura, tabTestate.Data, tabTestate.Ora, tabDettaglio.IdTestata, tabDettaglio.IdDettaglio, "
             "tabDettaglio.idCausale, tabDettaglio.idReparto, tabDettaglio.IdListino, tabDettaglio.BarCode, "
             "tabDettaglio.Descrizione, tabDettaglio.Prezzo, tabDettaglio.Quantita, tabDettaglio.Aiva, "
             "tabDettaglio.Imponibile, tabDettaglio.Iva, tabDettaglio.Totale, tabDettaglio.Sconto1, "
             "tabDettaglio.Sconto2, tabDettaglio.Sconto3, tabDettaglio.Sconto4, tabDettaglio.ImportoSconto, "
             "tabDettaglio.TotaleNettoSconto, tabDettaglio.CodiceIva, tabDettaglio.TipoSconto, tabDettaglio.idBuono, "
             "tabDettaglio.isOmaggio, tabDettaglio.IdModoPunti, tabDettaglio.Fid_PuntiArticolo, "
             "tabDettaglio.Fid_ImportoArticolo, tabTestate.Fid_PuntiArticoli, tabTestate.Fid_ImportoArticoli, "
             "tabTestate.Fid_PuntiOmaggi, tabTestate.Fid_ImportoOmaggi, tabTestate.Fid_PuntiSpesa, "
             "tabTestate.Fid_ImportoSpesa, tabDettaglio.ScontriniNonStampare, ") +
         " tabDettaglio.idCausaleMagazzino , tabDettaglio.CodiceArticolo,idtipobuono,tabDettaglio.Note , "
         "tabPersonale.idUtente " +
         " FROM (tabDettaglio INNER JOIN tabTestate ON tabDettaglio.IdTestata = tabTestate.idTestata) left join "
         "tabPersonale on tabTestate.Operatore  =tabPersonale.id " +
         " WHERE tabTestate.idTestata= " + std::to_string(id_testata) + " AND tabDettaglio.IdCausale=" +
         std::to_string(causale) + " ORDER BY TabTestate.Data, tabDettaglio.idTestata, tabDettaglio.idDettaglio ";
}


// One receipt's walk over its POS rows of one row causale.
class WarehouseTransfer {
 public:
  WarehouseTransfer(Context& ctx, int32_t kind, int32_t causale) : ctx_(ctx), kind_(kind), causale_(causale) {}
  // False when the procedure must stop.
  bool Receipt(clsSincroTestataScontrino& record);

 private:
  db::Value Field(const db::Recordset& rs, const char* name, const db::Value& fallback) {
    return TestNull(ctx_, rs[name], fallback);
  }
  int32_t Long(const char* name, int32_t fallback) { return db::CLng(Field(*rs_, name, db::Value(fallback))); }
  double Double(const char* name, double fallback) { return db::CDbl(Field(*rs_, name, db::Value(fallback))); }
  std::string Text(const char* name, const std::string& fallback) { return db::CStr(Field(*rs_, name, db::Value(fallback))); }

  bool FindOrCreateHeader();
  void UpdateTotals();
  bool Row(clsSincroTestataScontrino& record);
  bool LoadArticle(ArticleComponent& article, const std::string& barcode);
  void LogState(CompanionSql& sql);
  int32_t ReceiptRowId(clsSincroTestataScontrino& record, int32_t id_dettaglio);
  // The cost, display prices and margins of a row computed by the article component.
  void PriceRow(const ArticleComponent& article, RigaMovimento& row);
  RigaMovimento ArticleRow(const ArticleComponent& article, const RigaVendita& sale, const std::string& barcode,
                           int32_t receipt_row);
  // False when the back office cannot be reached again; the row id goes to `row_id`.
  bool WriteArticle(clsSincroTestataScontrino& record, const std::string& barcode, int32_t id_dettaglio,
                    int32_t& row_id);
  int32_t WriteKit(clsSincroTestataScontrino& record, db::Recordset& kit);
  int32_t WriteDescriptive(clsSincroTestataScontrino& record, int32_t id_dettaglio);
  void Justify(int32_t id_dettaglio, int32_t row_id, bool descriptive);
  void Message(const std::string& prefix, const std::string& suffix);

  Context& ctx_;
  int32_t kind_, causale_;
  std::unique_ptr<db::Recordset> rs_;
  int32_t current_ = -1;
  std::vector<int32_t> headers_;  // the headers this receipt's rows went to, in order
  int32_t pos_id_ = -1, id_causale_ = -1, cliente_ = -1, utente_ = -1;
  db::Date data_, data_riga_;
};

// The totals of the headers, each once, and of the secondary headers each one refers to.
bool UpdateTotalsOf(Context& ctx, const std::vector<int32_t>& headers) {
  bool ok = true;
  std::set<int32_t> done;
  for (int32_t id : headers) {
    while (id > 0 && done.insert(id).second) {
      ok = AggiornaTotaliDocumento(ctx, 0, id, ctx.connDbLocale.get()) && ok;
      id = funGetIdTestataSecondaria(ctx, *ctx.connDbLocale, id, false);
    }
  }
  return ok;
}

void WarehouseTransfer::Message(const std::string& prefix, const std::string& suffix) {
  ctx_.logs.ScriviLogErrore(kSource, prefix + std::to_string(pos_id_) + " dettaglio POS id: " +
                                         std::to_string(Long("idDettaglio", -1)) + " testata backoffice id:" +
                                         std::to_string(current_) + suffix,
                            kErrorKind);
}

bool WarehouseTransfer::FindOrCreateHeader() {
  current_ = funGetIdMovimentoRiepilogoPerCassa(ctx_, *ctx_.connDbLocale, id_causale_, data_,
                                                ctx_.settings.IdMagazzinoCorrente, ctx_.settings.IdCassa, utente_,
                                                cliente_);
  if (current_ == -1) {
    TestataMagazzino t;
    t.IdCausale = id_causale_;
    t.IDCliente = cliente_;
    t.IDMagazzinoPartenza = ctx_.settings.IdMagazzinoCorrente;
    t.bollettario = ctx_.settings.BollettarioPredefinito;
    t.DataDocumento = db::Value(data_);
    t.idOperatore = utente_;
    t.valuta = ctx_.settings.ValutaAziendale;
    t.NumeroDocumentoRientroVuoti = "-1";
    int32_t id = -1;
    current_ = CreaTestateMovMag(ctx_, *ctx_.connDbLocale, id, t);
  }
  if (current_ > 0) {
    if (std::find(headers_.begin(), headers_.end(), current_) == headers_.end()) headers_.push_back(current_);
    return true;
  }
  ctx_.logs.ScriviLogErrore(kSource, kRowPrefix + std::to_string(pos_id_) + " dettaglio POS id: " +
                                         std::to_string(Long("idDettaglio", -1)) + kHeaderSuffix,
                            kErrorKind);
  return false;
}

void WarehouseTransfer::LogState(CompanionSql& sql) {
  ctx_.logs.ScriviLogErrore(sql.ConnectionString() + " State:" + std::to_string(sql.State()),
                            "KORV log - Stato connessione...");
}

// Loads the article of a barcode; an unknown barcode first looks like a lost connection,
// which is restored. False when the connection cannot be restored.
bool WarehouseTransfer::LoadArticle(ArticleComponent& article, const std::string& barcode) {
  CompanionSql& sql = ctx_.sql_locale();
  if (article.LoadByBarcode(barcode, sql)) return true;
  ctx_.logs.ScriviLogErrore(kRecoverySource, "KORV log - il barcode che alza l'errore è : " + barcode +
                                                 " - Errore durante allineamento vendite");
  ctx_.logs.ScriviLogErrore(kRecoverySource, "KORV log - Errore connessione durante allineamento vendite");
  ctx_.logs.ScriviLogErrore(kRecoverySource, "KORV log - Tentativo di ripristino...");
  LogState(sql);
  LogState(*ctx_.objSQL_ConnDbPuntoCassa);
  sql.Disconnect();
  std::string cs = sql.ConnectionString();
  int32_t mode = sql.Mode();
  sql.Connect(cs, mode);
  if (sql.State() == 1) {
    if (!article.LoadByBarcode(barcode, sql)) {
      ctx_.logs.ScriviLogErrore(kRecoverySource, "KORV log - Articolo non trovato:" + barcode);
    }
    return true;
  }
  LogState(sql);
  LogState(*ctx_.objSQL_ConnDbPuntoCassa);
  ctx_.logs.ScriviLogErrore(kRecoverySource, "KORV log - Non è stato possibile ripristinare la connessione.");
  return false;
}

int32_t WarehouseTransfer::ReceiptRowId(clsSincroTestataScontrino& record, int32_t id_dettaglio) {
  std::string key = "id_" + std::to_string(id_dettaglio);
  return record.Righe.Exists(key) ? record.Righe[key]->IdDettaglioScontrinoBKF : -1;
}

void WarehouseTransfer::PriceRow(const ArticleComponent& article, RigaMovimento& row) {
  CostoArticolo cost = article.Costo(ctx_.sql_locale(), ctx_.settings.TipoPrezzoAcquistoRegola);
  row.CostoImponibile = cost.CostoImponibile;
  row.CostoImporto = cost.CostoImporto;
  row.CostoCodiceIva = cost.CostoCodiceIva;
  for (int i = 0; i < 4; ++i) row.CostoSconto[i] = cost.CostoSconto[i];
  int16_t decimals = ctx_.settings.CifreDecimali;
  row.PrezzoVendita = db::CDbl(db::Value(FormatPV(ctx_, db::Value(row.PrezzoVendita), decimals)));
  row.PrezzoVenditaNettoIva = db::CDbl(db::Value(FormatPV(ctx_, db::Value(row.PrezzoVenditaNettoIva), decimals)));
  double sale_discounts[4];
  for (int i = 0; i < 4; ++i) sale_discounts[i] = row.Sconto[i] == -1 ? 0 : row.Sconto[i];
  row.MarginalitaEuro = funGetMarginalita(ctx_, cost.CostoImponibile, cost.CostoSconto, row.PrezzoVenditaNettoIva,
                                          sale_discounts, true);
  row.MarginalitaPercen = funGetMarginalita(ctx_, cost.CostoImponibile, cost.CostoSconto, row.PrezzoVenditaNettoIva,
                                            sale_discounts, false);
}

RigaMovimento WarehouseTransfer::ArticleRow(const ArticleComponent& article, const RigaVendita& sale,
                                            const std::string& barcode, int32_t receipt_row) {
  RigaMovimento row;
  row.Barcode = barcode;
  row.Descrizione = sale.Descrizione;
  row.Quantita = sale.Quantita;
  row.UM = sale.UM;
  row.PrezzoVenditaNettoIva = sale.PrezzoVenditaNettoIva;
  row.CodiceIva = sale.CodiceIva;
  row.PrezzoVendita = sale.PrezzoVendita;
  for (int i = 0; i < 4; ++i) row.Sconto[i] = sale.Sconto[i];
  row.Peso = sale.Peso;
  row.Volume = sale.Volume;
  row.ArrotondamentoValuta = ctx_.settings.ArrotondamentoValutaAziendale;
  row.idDettaglioScontrino = receipt_row;
  PriceRow(article, row);
  return row;
}

bool WarehouseTransfer::WriteArticle(clsSincroTestataScontrino& record, const std::string& barcode,
                                     int32_t id_dettaglio, int32_t& row_id) {
  ArticleComponent article(ctx_);
  if (!LoadArticle(article, barcode)) return false;
  double prezzo = Double("Prezzo", 0);
  double aliquota = Double("AIva", ctx_.settings.AliquotaIvaPredefinita);
  double sconti[4];
  for (int i = 0; i < 4; ++i) sconti[i] = Double(("Sconto" + std::to_string(i + 1)).c_str(), 0);
  RigaVendita sale = article.CalcolaRiga(
      Text("Descrizione", ""), Double("Quantita", 0), prezzo, aliquota,
      Imponibile(ctx_, db::Value(prezzo), db::Value(aliquota), ctx_.settings.CifreDecimali),
      Text("CodiceIva", ctx_.settings.CodiceIvaPredefinito), Long("idReparto", -1), sconti);

  auto kit = ctx_.connDbPuntoCassa->OpenRecordset(KitQuery(pos_id_, id_dettaglio), db::kStatic, db::kReadOnly);
  if (!kit->Eof()) {
    row_id = WriteKit(record, *kit);
    return true;
  }
  kit->Close();
  RigaMovimento row = ArticleRow(article, sale, barcode, ReceiptRowId(record, id_dettaglio));
  row_id = CreaRigaMovimentoMagazzino(ctx_, *ctx_.connDbLocale, current_, data_riga_, id_causale_,
                                      ctx_.settings.IdMagazzinoCorrente, row);
  if (row_id <= 0) Message(kRowPrefix, kRowSuffix);
  Justify(id_dettaglio, row_id, false);
  return true;
}

int32_t WarehouseTransfer::WriteKit(clsSincroTestataScontrino& record, db::Recordset& kit) {
  int32_t row_id = -1;
  int32_t receipt_row = ReceiptRowId(record, Long("idDettaglio", -1));
  for (; !kit.Eof(); kit.MoveNext()) {
    ArticleComponent part(ctx_);
    int32_t id_articolo = db::CLng(Field(kit, "CodArt", db::Value(-1)));
    part.LoadById(ctx_.sql_locale(), id_articolo);
    double qta = db::CDbl(Field(kit, "qta", db::Value(0)));
    PrezzoArticolo price = part.Prezzo(*ctx_.objSQL_ConnDbPuntoCassa, 9, data_, cliente_, qta, false);
    std::string barcode = funGetBarcodefromIdArticoloAndVarianti(
        ctx_, *ctx_.connDbLocale, std::to_string(db::CLng(Field(kit, "idArticolo", db::Value(-1)))),
        db::CLng(Field(kit, "idVariante1", db::Value(0))), db::CLng(Field(kit, "idVariante2", db::Value(0))),
        db::CLng(Field(kit, "idVariante3", db::Value(0))));
    RigaVendita sale = part.CalcolaRiga(db::CStr(Field(kit, "Descrizione", db::Value(""))), qta, price.PrezzoVendita,
                                        part.AliquotaIva(), price.PrezzoVenditaNettoIva, part.CodiceIva(), -1,
                                        price.Sconto);
    RigaMovimento row = ArticleRow(part, sale, barcode, receipt_row);
    row_id = CreaRigaMovimentoMagazzino(ctx_, *ctx_.connDbLocale, current_, data_riga_, id_causale_,
                                        ctx_.settings.IdMagazzinoCorrente, row);
    if (row_id <= 0) Message("Attenzione: riga scontrino distinta base non sincronizzata per idtestata POS id:", kRowSuffix);
  }
  kit.Close();
  return row_id;
}

int32_t WarehouseTransfer::WriteDescriptive(clsSincroTestataScontrino& record, int32_t id_dettaglio) {
  RigaMovimento row;
  row.Descrizione = Text("Descrizione", "");
  row.idDettaglioScontrino = ReceiptRowId(record, id_dettaglio);
  int32_t row_id = CreaRigaMovimentoMagazzino(ctx_, *ctx_.connDbLocale, current_, data_riga_, id_causale_,
                                              ctx_.settings.IdMagazzinoCorrente, row);
  if (row_id <= 0) Message("Attenzione: riga scontrino descrittiva non sincronizzata per idtestata POS id:", kRowSuffix);
  Justify(id_dettaglio, row_id, true);
  return row_id;
}

void WarehouseTransfer::Justify(int32_t id_dettaglio, int32_t row_id, bool descriptive) {
  bool ok = false;
  AggiornaTabGiustificaSconto(ctx_, *ctx_.connDbPuntoCassa, *ctx_.connDbLocale, id_dettaglio, pos_id_, row_id,
                              current_, ok);
  if (ok) return;
  Message(descriptive ? "Attenzione: riga giustifica sconto descrittiva non sincronizzata per idtestata POS id:"
                      : "Attenzione: riga giustifica sconto non sincronizzata per idtestata POS id:",
          kJustificationSuffix);
}

bool WarehouseTransfer::Row(clsSincroTestataScontrino& record) {
  pos_id_ = Long("idTestata", -1);
  id_causale_ = Long("IdCausaleMagazzino", causale_ == 1 ? 4 : 6);
  cliente_ = Long("IDCliente", -1);
  data_ = db::CDate(Field(*rs_, "Data", db::Value(ctx_.clock.Now().DateOnly())));
  utente_ = Long("idUtente", -1);
  if (!FindOrCreateHeader()) return false;
  data_riga_ = DataOra(ctx_, (*rs_)["Data"], (*rs_)["Ora"]);
  std::string barcode = Text("Barcode", "");
  if (barcode == "9999999999999") barcode = "0";
  int32_t id_dettaglio = Long("idDettaglio", -1);
  int32_t row_id = -1;
  if (util::Trim(barcode).empty()) {
    row_id = WriteDescriptive(record, id_dettaglio);
  } else if (!WriteArticle(record, barcode, id_dettaglio, row_id)) {
    return false;
  }

  record.IdTestataMovMagBKF = current_;
  record.SincronizzatoMovMagBKF = true;
  const auto& row_record = record.Righe["ID_" + std::to_string(id_dettaglio)];
  row_record->IdDettaglioMovMagBKF = row_id;
  row_record->SincronizzatoMovMagBKF = true;
  CollegaDocumenti(ctx_, ctx_.sql_locale(), record.IdTestataScontrinoBKF, current_, row_record->IdDettaglioScontrinoBKF,
                   row_record->IdDettaglioMovMagBKF, kind_ == 1 ? 9 : 23);
  return true;
}

bool WarehouseTransfer::Receipt(clsSincroTestataScontrino& record) {
  rs_ = ctx_.connDbPuntoCassa->OpenRecordset(PosRowsQuery(record.IdTestataPOS, causale_ == 1 ? 1 : 2), db::kStatic,
                                             db::kReadOnly);
  current_ = -1;
  headers_.clear();
  for (; !rs_->Eof(); rs_->MoveNext()) {
    if (!Row(record)) return false;
  }
  UpdateTotals();
  if (rs_->State() != 0) rs_->Close();
  return true;
}

// Every header this receipt wrote or extended, and the secondary headers that took the twin
// rows, gets its totals once, whatever order the rows came in; in a batch of receipts on
// SQLite, once for the batch, before it commits.
void WarehouseTransfer::UpdateTotals() {
  if (ctx_.uow.movement_totals_per_batch && ctx_.ReceiptUnitOfWorkOnSqlite(*ctx_.connDbLocale)) {
    ctx_.uow.movement_totals.insert(ctx_.uow.movement_totals.end(), headers_.begin(), headers_.end());
    return;
  }
  UpdateTotalsOf(ctx_, headers_);
}

}  // namespace

bool PCassa_AggiornaMagazzinoDaScontrino(Context& ctx, int32_t& kind, SyncCollection& receipts, int32_t& causale) {
  bool result = false;
  Guarded(ctx, kSource, [&] {
    for (const auto& record : receipts) {
      WarehouseTransfer transfer(ctx, kind, causale);
      if (!transfer.Receipt(*record)) return;
    }
    result = true;
  }, kErroreNonPrevisto);
  return result;
}

bool UpdateMovementTotalsOfTheBatch(Context& ctx) {
  std::vector<int32_t> headers = std::move(ctx.uow.movement_totals);
  ctx.uow.movement_totals.clear();
  return UpdateTotalsOf(ctx, headers);
}

}  // namespace velkaris
