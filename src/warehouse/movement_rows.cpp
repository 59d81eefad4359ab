#include "warehouse/movement_rows.h"

#include <cmath>

#include "components/article.h"
#include "components/causale.h"
#include "data/new_ids.h"
#include "data/sql_helpers.h"
#include "db/error.h"
#include "db/recordset.h"
#include "lookups/article_lookups.h"
#include "rows/row_engine.h"
#include "rows/row_margins.h"
#include "lookups/row_lookups.h"
#include "rows/unit_conversion.h"
#include "data/configuration.h"
#include "core/failure.h"
#include "stock/stock_levels.h"
#include "util/text.h"
#include "warehouse/movement_header.h"
#include "documents/numbering.h"

namespace velkaris {
namespace {

db::Value TextOrNull(const std::string& s) { return s.empty() ? db::Value() : db::Value(s); }

void WriteVat(Context& ctx, db::Recordset& r, int32_t id_articolo, double aliquota, const std::string& codice) {
  if (aliquota != -1) {
    r.Set("aliquotaIva", db::Value(aliquota));
    r.Set("CodiceIva", db::Value(std::string(util::Trim(codice))));
  } else if (codice.empty()) {
    r.Set("aliquotaIva", db::Value(db::CDbl(db::Value(funGetAliquotaIva(ctx, id_articolo, -1, false)))));
    r.Set("CodiceIva", db::Value(std::string(util::Trim(funGetCodiceIva(ctx, id_articolo, -1, false)))));
  } else {
    bool found = false;
    r.Set("CodiceIva", db::Value(codice));
    r.Set("aliquotaIva", db::Value(funGetAliquotaIvaByCodice(ctx, codice, nullptr, found)));
  }
}

// Returns whether the row was written with its amounts.
bool WriteArticleRow(Context& ctx, db::Connection& connection, const std::string& table, int32_t tipo,
                     int32_t id, int32_t id_testata, RigaMovimento& row, int32_t id_magazzino, double aliquota,
                     int32_t id_reparto) {
  int32_t id_articolo = GetIdArticoloCorretto(ctx, row.Barcode, false);
  if (id_articolo == -1) id_articolo = -300;
  ArticleComponent article(ctx);
  if (id_articolo <= 0 || !article.LoadById(ctx.sql_locale(), id_articolo, row.Barcode)) {
    article.SetIdArticolo(id_articolo);
    article.SetUMAlternativa(row.UM);
    article.SetUMAlternativaDestinazione(row.UM);
    article.SetFattoreConversione(1);
    article.SetBarcode(row.Barcode);
  }
  auto rs = connection.OpenRecordset("select * from " + table + " where 1=2", db::kStatic, db::kOptimistic);
  db::Recordset& r = *rs;
  r.AddNew();
  r.Set("riga", db::Value(funGetProgressivoRiga(ctx, table, id_testata, &connection, "idTestata")));
  r.Set("idDettaglio", db::Value(id));
  r.Set("idTestata", db::Value(id_testata));
  r.Set("idArticolo", db::Value(id_articolo));
  r.Set("Barcode", db::Value(article.Barcode()));
  r.Set("Descrizione", db::Value(row.Descrizione));
  double q1 = 0, q2 = 0;
  std::string u1, u2;
  ConversioneUnitaMisura(ctx, tipo, article, row.Quantita, row.UM, q1, u1, q2, u2);
  r.Set("Quantita", db::Value(q1));
  r.Set("UM", db::Value(u1));
  r.Set("Quantita2", db::Value(q2));
  r.Set("UM2", db::Value(u2));
  row.Quantita = q1;
  row.UM = u1;
  r.Set("PrezzoVenditaNettoIva", db::Value(row.PrezzoVenditaNettoIva));
  r.Set("prezzoVendita", db::Value(row.PrezzoVendita));
  WriteVat(ctx, r, id_articolo, aliquota, row.CodiceIva);
  for (int i = 0; i < 4; ++i) {
    r.Set("Sconto" + std::to_string(i + 1), db::Value(row.Sconto[i] != -1 ? row.Sconto[i] : 0.0));
  }
  if (r.HasField("note")) r.Set("Note", TextOrNull(row.Note));
  r.Set("Annotazioni", TextOrNull(row.Annotazioni));
  r.Set("idMagazzino", db::Value(id_magazzino));
  r.Set("idReparto", db::Value(id_reparto));
  if (tipo == 4) {
    r.Set("IdConto", db::Value(-1));
    r.Set("DescrizioneConto", db::Value(funGetDescrizioneConto(ctx, -1)));
  }
  r.Set("isVuoto", db::Value(false));
  r.Set("IdRifDettaglioVuoto", db::Value(-1));
  r.Set("CostoImponibile", db::Value(row.CostoImponibile));
  r.Set("CostoImporto", db::Value(row.CostoImporto));
  r.Set("CostoCodiceIva", db::Value(row.CostoCodiceIva));
  for (int i = 0; i < 4; ++i) r.Set("CostoSconto" + std::to_string(i + 1), db::Value(row.CostoSconto[i]));
  r.Set("MarginalitaEuro", db::Value(row.MarginalitaEuro));
  r.Set("MarginalitaPercen", db::Value(row.MarginalitaPercen));
  r.Set("peso", db::Value(row.Peso));
  r.Set("Volume", db::Value(row.Volume));
  if (tipo != 4) {
    r.Set("ImponibileSpesaExtra", db::Value(0));
    r.Set("idDettaglioScontrino", db::Value(row.idDettaglioScontrino));
  }
  r.Set("DataCreaz", db::Value(ctx.clock.Now()));
  bool totals = SetRowTotalsBeforeInsert(ctx, table, connection, r, row.ArrotondamentoValuta);
  r.Update();
  RowNumberWritten(ctx, table, id_testata, r["riga"], connection);
  r.Close();
  return totals;
}

void WriteDescriptiveRow(Context& ctx, db::Connection& connection, const std::string& table, int32_t id,
                         int32_t id_testata, const RigaMovimento& row, int32_t id_magazzino) {
  auto rs = connection.OpenRecordset("Select * from " + table + " where 1=2", db::kStatic, db::kOptimistic);
  db::Recordset& r = *rs;
  r.AddNew();
  r.Set("idDettaglio", db::Value(id));
  r.Set("idTestata", db::Value(id_testata));
  r.Set("Descrizione", db::Value(row.Descrizione));
  r.Set("riga", db::Value(funGetProgressivoRiga(ctx, table, id_testata, &connection, "idTestata")));
  std::string lower = util::ToLower(table);
  if (lower == "tabdettagliomagazzino" || lower == "tabdettagliofatture") {
    r.Set("idMagazzino", db::Value(id_magazzino));
    r.Set("isVuoto", db::Value(false));
  }
  r.Set("DataCreaz", db::Value(ctx.clock.Now()));
  r.Set("Note", db::Value(row.Note.empty() ? " " : row.Note));
  r.Update();
  RowNumberWritten(ctx, table, id_testata, r["riga"], connection);
  r.Close();
}

// The row of one exploded kit component: the component's own barcode, prices, costs and
// margins; only the kit's document values (note, rounding, receipt row) carry over.
RigaMovimento ComponentRow(Context& ctx, const ArticleComponent& article, int32_t id_articolo, double quantita,
                           const db::Date& data_riga, const RigaMovimento& kit) {
  RigaMovimento row;
  row.Note = kit.Note;
  row.Annotazioni = kit.Annotazioni;
  row.ArrotondamentoValuta = kit.ArrotondamentoValuta;
  row.idDettaglioScontrino = kit.idDettaglioScontrino;
  row.Barcode = article.Barcode();
  row.Descrizione = article.Descrizione();
  row.CodiceIva = funGetCodiceIva(ctx, id_articolo, -1, false);
  row.Quantita = Euro(ctx, db::Value(quantita), ctx.settings.CifreDecimaliQuantita);
  row.UM = article.UM1();
  row.PrezzoVendita = article.PrezzoVendita();
  row.PrezzoVenditaNettoIva = article.Prezzo(ctx.sql_locale(), 0, data_riga, -1, row.Quantita, false).PrezzoVenditaNettoIva;
  for (double& d : row.Sconto) d = 0;
  CostoArticolo cost = article.Costo(ctx.sql_locale(), ctx.settings.TipoPrezzoAcquistoRegola);
  row.CostoImponibile = cost.CostoImponibile;
  row.CostoImporto = cost.CostoImporto;
  row.CostoCodiceIva = cost.CostoCodiceIva;
  for (int i = 0; i < 4; ++i) row.CostoSconto[i] = cost.CostoSconto[i];
  row.MarginalitaEuro = funGetMarginalita(ctx, cost.CostoImponibile, cost.CostoSconto, row.PrezzoVenditaNettoIva,
                                          row.Sconto, true);
  row.MarginalitaPercen = funGetMarginalita(ctx, cost.CostoImponibile, cost.CostoSconto, row.PrezzoVenditaNettoIva,
                                            row.Sconto, false);
  row.Peso = article.Peso() * row.Quantita;
  row.Volume = article.Volume() * row.Quantita;
  return row;
}

// The kit explosion of a row: component rows instead of the kit's own.
void ExplodeKit(Context& ctx, db::Connection& connection, int32_t id_testata, const db::Date& data_riga,
                int32_t id_causale, int32_t id_magazzino, RigaMovimento& row) {
  ArticoloDistinta kit = ArticoloDaBarcode(ctx, connection, row.Barcode);
  double quantity = Euro(ctx, db::Value(row.Quantita), ctx.settings.CifreDecimaliQuantita);
  NodiDistinta nodes = EsplodiDistinta(ctx, connection, kit, quantity);
  funGetIdClienteTransazCorr(ctx, id_testata, "tabTestateMagazzino");
  int32_t last = -1;
  localCreaRigheFigli(ctx, nodes, data_riga, id_testata, id_causale, id_magazzino, row, last);
}

// The matching row of the secondary movement, linked from this one.
void SecondaryRow(Context& ctx, db::Connection& connection, int32_t id_testata, const db::Date& data_riga,
                  int32_t row_id, const RigaMovimento& row) {
  int32_t secondary = funGetIdTestataSecondaria(ctx, connection, id_testata, false);
  if (secondary <= 0) return;
  auto rs = connection.OpenRecordset(
      "Select idCausale,idMagazzinoPartenza,idMagazzinoDestinazione from tabTestateMagazzino where idTestata=" +
          std::to_string(secondary),
      db::kStatic, db::kReadOnly);
  if (rs->Eof()) return;
  int32_t causale = db::CLng(TestNull(ctx, (*rs)["IdCausale"], db::Value(-1)));
  int32_t magazzino = db::CLng(TestNull(ctx, (*rs)["IDMagazzinoPartenza"], db::Value(-1)));
  // A secondary causale that swaps the warehouses leaves the departure at -1: its rows move
  // the real warehouse the header names, its destination.
  if (magazzino < 0) magazzino = db::CLng(TestNull(ctx, (*rs)["IDMagazzinoDestinazione"], db::Value(-1)));
  rs->Close();
  RigaMovimento copy = row;
  int32_t secondary_row = CreaRigaMovimentoMagazzino(ctx, connection, secondary, data_riga, causale, magazzino, copy);
  if (secondary_row > 0) {
    connection.ExecuteNoRecords("Update tabDettaglioMagazzino set IdDettaglioRiferimento=" +
                                std::to_string(secondary_row) + " where idDettaglio=" + std::to_string(row_id));
  }
}

}  // namespace

int32_t CreaRigaMovimentoMagazzino(Context& ctx, db::Connection& connection, int32_t id_testata,
                                   const db::Date& data_riga, int32_t id_causale, int32_t id_magazzino,
                                   RigaMovimento& row) {
  int32_t result = -1;
  Guarded(ctx, "CreaRigaMovimentoMagazzino", [&] {
    if (row.Barcode.empty()) {
      result = funCreaRecordsetDettaglio(ctx, connection, 0, id_testata, row, id_magazzino, -1, -1);
      return;
    }
    CausaleComponent causale;
    causale.Load(ctx, ctx.sql_locale(), id_causale);
    RigaMovimento original = row;
    if (causale.EsplodiDistinta()) {
      ExplodeKit(ctx, connection, id_testata, data_riga, id_causale, id_magazzino, row);
    } else {
      row.Quantita = Euro(ctx, db::Value(row.Quantita), ctx.settings.CifreDecimaliQuantita);
      result = ScriviRigaMovimentoMagazzino(ctx, connection, 0, id_testata, id_magazzino, id_causale, row);
    }
    SecondaryRow(ctx, connection, id_testata, data_riga, result, original);
  });
  return result;
}

int32_t ScriviRigaMovimentoMagazzino(Context& ctx, db::Connection& connection, int32_t tipo_documento,
                                     int32_t id_testata, int32_t id_magazzino, int32_t id_causale, RigaMovimento& row) {
  int32_t result = 0;
  Guarded(ctx, "ScriviRigaMovimentoMagazzino", [&] {
    std::string table = tipo_documento == 4 ? "tabDettaglioFatture" : "tabDettaglioMagazzino";
    bool found = false;
    double rate = funGetAliquotaIvaByCodice(ctx, std::string(util::Trim(row.CodiceIva)), nullptr, found);
    result = funCreaRecordsetDettaglio(ctx, connection, tipo_documento, id_testata, row, id_magazzino, rate, -1);
    if (!row.totals_written) AggiornaTotaliRiga(ctx, result, table, &connection, row.ArrotondamentoValuta);
    std::string tipo = funGetTipoMovimentoDaCausale(ctx, std::to_string(id_causale), &connection);
    Giacenze_AggiornaGiacenza(ctx, connection, id_magazzino, row.Barcode, std::fabs(row.Quantita), tipo);
  });
  return result;
}

int32_t funCreaRecordsetDettaglio(Context& ctx, db::Connection& connection, int32_t tipo_documento,
                                  int32_t id_testata, RigaMovimento& row, int32_t id_magazzino, double aliquota_iva,
                                  int32_t id_reparto) {
  int32_t result = 0;
  Guarded(ctx, "funCreaRecordsetDettaglio", [&] {
    if (row.CostoCodiceIva.empty()) row.CostoCodiceIva = row.CodiceIva;
    std::string detail, header;
    funGetTabelleDocumento(tipo_documento, detail, header);
    if (tipo_documento != 0 && tipo_documento != 3 && tipo_documento != 4) {
      throw db::Error("Document type " + std::to_string(tipo_documento) + " has no movement row writer.");
    }
    row.totals_written = false;
    int32_t id = funGetNuovoIdGENERICO(ctx, detail, "idDettaglio", connection, -1, -1);
    if (!row.Barcode.empty()) {
      row.totals_written = WriteArticleRow(ctx, connection, detail, tipo_documento, id, id_testata, row, id_magazzino,
                                           aliquota_iva, id_reparto);
    } else {
      WriteDescriptiveRow(ctx, connection, detail, id, id_testata, row, id_magazzino);
    }
    if (tipo_documento == 0) ++ctx.account.written.movements;
    result = id;
  });
  return result;
}

void localCreaRigheFigli(Context& ctx, const NodiDistinta& nodes, const db::Date& data_riga, int32_t id_testata,
                         int32_t id_causale, int32_t id_magazzino, const RigaMovimento& kit, int32_t& last_row) {
  Guarded(ctx, "localCreaRigheFigli", [&] {
    for (const auto& node : nodes) {
      if (db::IsDate(node->DataInizioValidita) && db::CDate(node->DataInizioValidita).serial > data_riga.serial) continue;
      if (db::IsDate(node->DataFineValidita) && db::CDate(node->DataFineValidita).serial < data_riga.serial) continue;
      ArticleComponent article(ctx);
      article.LoadById(ctx.sql_locale(), node->idArticolo);
      RigaMovimento row = ComponentRow(ctx, article, node->idArticolo, node->Quantita, data_riga, kit);
      if (row.Barcode.empty()) {
        // A component without a barcode of its own moves no stock: a descriptive row names it.
        last_row = funCreaRecordsetDettaglio(ctx, *ctx.connDbLocale, 0, id_testata, row, id_magazzino, -1, -1);
      } else {
        last_row = ScriviRigaMovimentoMagazzino(ctx, *ctx.connDbLocale, 0, id_testata, id_magazzino, id_causale, row);
      }
      ctx.connDbLocale->ExecuteNoRecords("Update tabDettaglioMagazzino set idDettaglioRiferimento=" +
                                         std::to_string(last_row) + " where IdDEttaglio=" + std::to_string(last_row));
      if (!node->Figli.empty()) {
        localCreaRigheFigli(ctx, node->Figli, data_riga, id_testata, id_causale, id_magazzino, kit, last_row);
      }
    }
  });
}

int32_t funGetIdClienteTransazCorr(Context& ctx, int32_t id_testata, const std::string& table) {
  int32_t result = -1;
  Guarded(ctx, "funGetIdClienteTransazCorr", [&] {
    auto rs = ctx.connDbLocale->OpenRecordset("Select * from " + table + " where IdTestata=" + std::to_string(id_testata),
                                              db::kStatic, db::kPessimistic);
    if (!rs->Eof()) result = db::CLng(TestNull(ctx, (*rs)["IDCliente"], db::Value(-1)));
    rs->Close();
  });
  return result;
}

}  // namespace velkaris
