#include "rows/receipt_row_writer.h"

#include "components/article.h"
#include "components/user_lookup.h"
#include "data/new_ids.h"
#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "lookups/article_lookups.h"
#include "lookups/row_lookups.h"
#include "rows/row_engine.h"
#include "rows/unit_conversion.h"
#include "data/configuration.h"
#include "core/failure.h"

namespace velkaris {
namespace {

// Columns of the POS row copied as stored (Null stays Null).
const char* const kCopiedPosColumns[] = {
    "Note", "priceManuallyChanged", "idPromoAttivata", "idTipoPromoAttivata", "PromoExPrezzo", "PromoExSconto1",
    "PromoExSconto2", "PromoExSconto3", "PromoExSconto4", "storicoImportoRegolaSconto", "storicoSc1RegolaSconto",
    "storicoSc2RegolaSconto", "storicoSc3RegolaSconto", "storicoSc4RegolaSconto", "StoricoImportoListino",
    "StoricoSc1Listino", "StoricoSc2Listino", "StoricoSc3Listino", "StoricoSc4Listino", "IdTabRegolePrezziVendita",
    "idtabAccontiClienti"};

// The POS row's columns the row writer reads.
constexpr const char* kPosRowColumns =
    " SELECT [TotaleNettoSconto], [note],[idPromoAttivata],[idTipoPromoAttivata] "
    ",[PromoExPrezzo],[PromoExSconto1],[PromoExSconto2],[PromoExSconto3],[PromoExSconto4] "
    " ,[priceManuallyChanged],[StoricoImportoRegolaSconto],[StoricoSc1RegolaSconto],[StoricoSc2RegolaSconto] "
    ",[StoricoSc3RegolaSconto] "
    " ,[StoricoImportoListino],[StoricoSc1Listino],[StoricoSc2Listino],[StoricoSc3Listino],"
    "[StoricoSc4RegolaSconto] "
    " ,[StoricoSc4Listino],[idTabRegolePrezziVendita],[idtabAccontiClienti],[UtenteUltimoAccesso]";

}  // namespace

std::string PosRowQuery(int32_t id_testata, int32_t id_dettaglio) {
  return std::string(kPosRowColumns) + " From [dbo].[tabDettaglio] where idtestata = " + std::to_string(id_testata) +
         " and idDettaglio = " + std::to_string(id_dettaglio);
}

std::string PosRowsQuery(int32_t id_testata) {
  return std::string(kPosRowColumns) + ",[idDettaglio] From [dbo].[tabDettaglio] where idtestata = " +
         std::to_string(id_testata);
}

namespace {

void WriteTextOnlyRow(Context& ctx, int32_t id, int32_t id_testata, const RigaScontrino& row, db::Recordset& pos) {
  auto rs = ctx.connDbLocale->OpenRecordset("Select * from tabDettaglioScontrini where 1=2", db::kStatic,
                                            db::kPessimistic);
  rs->AddNew();
  rs->Set("idDettaglio", db::Value(id));
  rs->Set("idTestata", db::Value(id_testata));
  rs->Set("Descrizione", db::Value(row.Descrizione));
  rs->Set("riga", db::Value(funGetProgressivoRiga(ctx, "tabDettaglioScontrini", id_testata, ctx.connDbLocale.get(),
                                                  "idTestata")));
  rs->Set("Note", pos["note"]);
  rs->Set("idUtente_Comanda", db::Value(UtenteDaOperatore(ctx, row.IdOperatore_Riga, *ctx.connDbLocale)));
  rs->Set("DataCreaz", db::Value(ctx.clock.Now()));
  rs->Update();
  RowNumberWritten(ctx, "tabDettaglioScontrini", id_testata, (*rs)["riga"], *ctx.connDbLocale);
  rs->Close();
}

void WriteVat(Context& ctx, db::Recordset& rs, int32_t id_articolo, const RigaScontrino& row) {
  if (row.AliquotaIva != -1) {
    rs.Set("aliquotaIva", db::Value(row.AliquotaIva));
    rs.Set("CodiceIva", db::Value(row.CodiceIva));
  } else if (row.CodiceIva.empty()) {
    rs.Set("aliquotaIva", db::Value(db::CDbl(db::Value(funGetAliquotaIva(ctx, id_articolo, -1, false)))));
    rs.Set("CodiceIva", db::Value(funGetCodiceIva(ctx, id_articolo, -1, false)));
  } else {
    rs.Set("CodiceIva", db::Value(row.CodiceIva));
    bool found = false;
    rs.Set("aliquotaIva", db::Value(funGetAliquotaIvaByCodice(ctx, row.CodiceIva, nullptr, found)));
  }
}

void WriteCosts(db::Recordset& rs, const RigaScontrino& row, const ArticleComponent& article) {
  bool given = row.CostoImporto != -1;
  rs.Set("CostoImponibile", db::Value(given ? row.CostoImponibile : article.CostoImponibile()));
  rs.Set("CostoImporto", db::Value(given ? row.CostoImporto : article.CostoImporto()));
  rs.Set("CostoCodiceIva", db::Value(given ? row.CostoCodiceIva : article.CostoCodiceIva()));
  for (int i = 1; i <= 4; ++i) {
    rs.Set("CostoSconto" + std::to_string(i), db::Value(given ? row.CostoSconto[i - 1] : article.CostoSconto(i)));
  }
}

// Returns whether the row was written with its amounts.
bool WriteSaleRow(Context& ctx, int32_t id, int32_t id_testata, RigaScontrino& row, db::Recordset& pos) {
  int32_t id_articolo = GetIdArticoloCorretto(ctx, row.Barcode, false);
  auto rs = ctx.connDbLocale->OpenRecordset("select * from tabDettaglioScontrini where 1=2", db::kStatic,
                                            db::kPessimistic);
  db::Recordset& r = *rs;
  r.AddNew();
  r.Set("riga", db::Value(funGetProgressivoRiga(ctx, "tabDettaglioScontrini", id_testata, ctx.connDbLocale.get(),
                                                "idTestata")));
  r.Set("idDettaglio", db::Value(id));
  r.Set("idTestata", db::Value(id_testata));
  r.Set("IdCausale", db::Value(row.IdCausale));
  r.Set("idListino", db::Value(row.idListino));
  r.Set("idReparto", db::Value(row.idReparto));
  r.Set("idGiustificaSconto", db::Value(row.idGiustificaSconto));
  r.Set("Barcode", db::Value(funGetBarcodeCorretto(ctx, row.Barcode)));
  r.Set("idArticolo", db::Value(id_articolo));
  r.Set("Descrizione", db::Value(row.Descrizione));
  r.Set("PrezzoVenditaNettoIva", db::Value(row.PrezzoVenditaNettoIva));
  r.Set("prezzoVendita", db::Value(row.prezzoVendita));

  ArticleComponent article(ctx);
  if (id_articolo > 0) {
    article.LoadById(ctx.sql_locale(), id_articolo);
  } else {
    article.SetIdArticolo(id_articolo);
    article.SetUMAlternativa(row.UM);
    article.SetUMAlternativaDestinazione(row.UM);
    article.SetFattoreConversione(1);
  }
  double q1 = 0, q2 = 0;
  std::string u1, u2;
  ConversioneUnitaMisura(ctx, 9, article, row.Quantita, row.UM, q1, u1, q2, u2);
  r.Set("Quantita", db::Value(q1));
  r.Set("UM", db::Value(u1));
  r.Set("Quantita2", db::Value(q2));
  r.Set("UM2", db::Value(u2));
  row.Quantita = q1;

  WriteVat(ctx, r, id_articolo, row);
  for (int i = 1; i <= 4; ++i) {
    double d = row.Sconto[i - 1];
    r.Set("Sconto" + std::to_string(i), d != -1 ? db::Value(d) : db::Value(0));
  }
  if (row.idBuono != -1) r.Set("idBuono", db::Value(row.idBuono));
  r.Set("isOmaggio", db::Value(row.isOmaggio));
  if (row.IdModoPunti != -1) {
    r.Set("IdModoPunti", db::Value(row.IdModoPunti));
    r.Set("Fid_PuntiArticolo", db::Value(row.Fid_PuntiArticolo));
    r.Set("Fid_ImportoArticolo", db::Value(row.Fid_ImportoArticolo));
  }
  r.Set("ScontriniNonStampare", db::Value(row.ScontriniNonStampare));
  WriteCosts(r, row, article);
  r.Set("codiceArticolo", db::Value(row.codiceArticolo));
  r.Set("IdCausaleMagazzino", db::Value(row.IdCausaleMagazzino));
  for (const char* column : kCopiedPosColumns) r.Set(column, pos[column]);
  r.Set("idUtente_Comanda", db::Value(UtenteDaOperatore(ctx, row.IdOperatore_Riga, *ctx.connDbLocale)));
  r.Set("DataCreaz", db::Value(ctx.clock.Now()));
  r.Set("DataAgg", db::Value(ctx.clock.Now()));
  bool totals = SetRowTotalsBeforeInsert(ctx, "tabDettaglioScontrini", *ctx.connDbLocale, r, 0);
  r.Update();
  RowNumberWritten(ctx, "tabDettaglioScontrini", id_testata, r["riga"], *ctx.connDbLocale);
  r.Close();
  return totals;
}

void WriteDownPayment(Context& ctx, int32_t acconto, int32_t id_riga, const RigaScontrino& row, db::Recordset& pos) {
  auto rs = ctx.connDbLocale->OpenRecordset("select * from tabdettaglioAccontiClienti where 1=2", db::kStatic,
                                            db::kOptimistic);
  rs->AddNew();
  rs->Set("ID", db::Value(funGetNuovoId(ctx, "dbo", "tabdettaglioAccontiClienti", "id", *ctx.connDbLocale)));
  rs->Set("idtabAccontiClienti", db::Value(acconto));
  rs->Set("TipoOperazione", db::Value(row.IdCausale == 1 ? 1 : -1));
  rs->Set("TipoDocumento", db::Value(row.kind == 2 ? 23 : 9));
  rs->Set("IdDettaglioDocumento", db::Value(id_riga));
  rs->Set("ImportoMovimentoAcconto", TestNull(ctx, pos["TotaleNettoSconto"], db::Value(0)));
  rs->Set("UtenteUltimoAccesso", TestNull(ctx, pos["UtenteUltimoAccesso"], db::Value("")));
  rs->Update();
  rs->Close();
}

}  // namespace

int32_t funCreaRecordsetScontrino(Context& ctx, int32_t id_testata, RigaScontrino& row) {
  int32_t result = 0;
  Guarded(ctx, "funCreaRecordsetScontrino", [&] {
    auto pos = ctx.connDbPuntoCassa->OpenRecordset(PosRowQuery(row.idTestataPOS, row.idDettaglioPOS), db::kStatic,
                                                   db::kReadOnly);
    row.totals_written = false;
    int32_t id = funGetNuovoIdGENERICO(ctx, "tabDettaglioScontrini", "idDettaglio", *ctx.connDbLocale, -1, -1);
    if (row.Barcode.empty()) {
      WriteTextOnlyRow(ctx, id, id_testata, row, *pos);
    } else {
      row.totals_written = WriteSaleRow(ctx, id, id_testata, row, *pos);
    }
    result = id;
    ++ctx.account.written.rows;
    int32_t acconto = db::CLng(TestNull(ctx, (*pos)["idtabAccontiClienti"], db::Value(-1)));
    ctx.logs.ScriviLogAvviso("Velkaris-PCassa_AggiornaMagazzinoDaScontrino",
                             "Acconto rilevato num: " + std::to_string(acconto));
    if (acconto > 0) WriteDownPayment(ctx, acconto, id, row, *pos);
    CloseRS(pos);
  });
  return result;
}

std::string DeleteDownPaymentsSql(int32_t id_testata) {
  return "delete from tabdettaglioAccontiClienti where TipoDocumento in (9, 23) and IdDettaglioDocumento in "
         "(select idDettaglio from tabDettaglioScontrini where idtestata=" + std::to_string(id_testata) + ")";
}

}  // namespace velkaris
