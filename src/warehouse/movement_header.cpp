#include "warehouse/movement_header.h"

#include "components/causale.h"
#include "data/new_ids.h"
#include "data/sql_helpers.h"
#include "db/error.h"
#include "db/recordset.h"
#include "core/failure.h"
#include "util/text.h"
#include "documents/numbering.h"

namespace velkaris {
namespace {

// The number test takes True for its revision, excluded header and section: as a Long, -1.
constexpr int32_t kTrue = -1;

db::Value DateOrNull(const db::Value& v) { return db::IsDate(v) ? db::Value(db::CDate(v)) : db::Value(); }

bool Given(const std::string& reference) { return reference != "-1" && !reference.empty(); }

void WriteReferences(db::Recordset& r, const TestataMagazzino& t, const std::string& numero) {
  if (Given(t.NumeroDocumentoRiferimento)) {
    r.Set("NumeroDocumentoRiferimento", db::Value(t.NumeroDocumentoRiferimento));
    r.Set("dataDocumentoRiferimento", DateOrNull(t.dataDocumentoRiferimento));
  } else {
    r.Set("NumeroDocumentoRiferimento", numero.empty() ? db::Value() : db::Value(numero));
    r.Set("dataDocumentoRiferimento", DateOrNull(t.DataDocumento));
  }
  if (Given(t.NumeroFatturaRiferimento)) {
    r.Set("NumeroFatturaRiferimento", db::Value(t.NumeroFatturaRiferimento));
    if (db::IsDate(t.DataFatturaRiferimento)) {
      r.Set("DataFatturaRiferimento", DateOrNull(t.DataFatturaRiferimento));
      if (!db::IsDate(t.dataDocumentoRiferimento)) r.Set("dataDocumentoRiferimento", DateOrNull(t.DataFatturaRiferimento));
    } else {
      r.Set("DataFatturaRiferimento", db::Value());
    }
  } else {
    r.Set("NumeroFatturaRiferimento", db::Value(" "));
    r.Set("DataFatturaRiferimento", db::Value());
  }
}

// Takes numbers until the test accepts one; a number that is never accepted is an error.
std::string NumberFor(Context& ctx, db::Connection& connection, const TestataMagazzino& t) {
  std::string code = funConvertiIdCausaleInCausale(ctx, t.IdCausale);
  db::Date date = db::IsDate(t.DataDocumento) ? db::CDate(t.DataDocumento) : ctx.clock.Now();
  std::string year = std::to_string(date.ToParts().year);
  for (int attempt = 0; attempt < kMaxNumberAttempts; ++attempt) {
    std::string number = std::to_string(funGetNuovoNumeroDocumento(ctx, connection, code, year, t.bollettario, false, -1));
    if (funTestDocumento_CambioNumero(ctx, connection, t.IdCausale, number, date, t.bollettario, kTrue, kTrue,
                                      false, kTrue)) {
      return number;
    }
  }
  throw db::Error("No document number accepted after " + std::to_string(kMaxNumberAttempts) +
                  " attempts (causale " + std::to_string(t.IdCausale) + ", bollettario '" + t.bollettario +
                  "', year " + year + "): the movement header is not written.");
}

int32_t CreaTestata(Context& ctx, db::Connection& connection, int32_t& id_testata, const TestataMagazzino& t,
                    std::set<int32_t>& chain);

}  // namespace

int32_t funGetIdMovimentoRiepilogoPerCassa(Context& ctx, db::Connection& connection, int32_t id_causale,
                                           const db::Date& data_documento, int32_t id_magazzino_partenza,
                                           int32_t id_cassa, int32_t id_operatore, int32_t id_cliente) {
  int32_t result = -1;
  Guarded(ctx, "funGetIdMovimentoRiepilogoPerCassa", [&] {
    std::string sql = "Select idTestata from tabTestateMagazzino where IdCausale= " + std::to_string(id_causale) +
                      " and DataDocumento=" + DateForSql(ctx, data_documento, false, false, false);
    if (id_cassa >= 0) sql += " AND IdCassa=" + std::to_string(id_cassa) + " ";
    if (id_operatore >= 0) sql += " AND idOperatore = " + std::to_string(id_operatore) + " ";
    if (id_cliente > 0) sql += " AND tabTestateMagazzino.idcliente=" + std::to_string(id_cliente) + " ";
    if (id_magazzino_partenza != -1) {
      // A causale that swaps the warehouses wrote the departure warehouse as the destination.
      CausaleComponent causale;
      causale.Load(ctx, ctx.sql_locale(), id_causale);
      std::string column = causale.InvertiMagazzini() ? "idMagazzinoDestinazione" : "idMagazzinoPartenza";
      sql += " AND tabTestateMagazzino." + column + "=" + std::to_string(id_magazzino_partenza) + " ";
    }
    auto rs = connection.OpenRecordset(sql, db::kStatic, db::kReadOnly);
    if (!rs->Eof()) result = db::CLng(TestNull(ctx, (*rs)["idTestata"], db::Value(-1)));
    rs->Close();
  });
  return result;
}

namespace {

int32_t CreaTestata(Context& ctx, db::Connection& connection, int32_t& id_testata, const TestataMagazzino& t,
                    std::set<int32_t>& chain) {
  int32_t result = 0;
  Guarded(ctx, "CreaTestateMovMag", [&] {
    chain.insert(t.IdCausale);
    CausaleComponent causale;
    causale.Load(ctx, ctx.sql_locale(), t.IdCausale);
    TestataMagazzino header = t;
    for (double& d : header.Sconto) d = d >= 0 ? d : 0;
    if (causale.InvertiMagazzini()) std::swap(header.IDMagazzinoPartenza, header.IDMagazzinoDestinazione);
    std::string numero;
    ConfermaTestataMagazzino(ctx, connection, id_testata, header, ctx.settings.IdCassa, numero);

    int32_t secondary = funGetIdCausaleSecondaria(ctx, t.IdCausale);
    if (secondary > 0 && id_testata > 0) {
      if (chain.count(secondary)) {
        ctx.logs.ScriviLogErrore("CreaTestateMovMag",
                                 "The secondary causale " + std::to_string(secondary) + " of causale " +
                                     std::to_string(t.IdCausale) +
                                     " leads back to a causale already in the chain: no further secondary movement.");
      } else {
        int32_t reference = funGetIdTestataSecondaria(ctx, connection, id_testata, false);
        TestataMagazzino second = t;
        second.IdCausale = secondary;
        CreaTestata(ctx, connection, reference, second, chain);
        connection.ExecuteNoRecords("Update tabTestateMagazzino set idTestataRiferimento=" + std::to_string(reference) +
                                    " where IdTestata=" + std::to_string(id_testata));
      }
    }
    result = id_testata;
  });
  return result;
}

}  // namespace

int32_t CreaTestateMovMag(Context& ctx, db::Connection& connection, int32_t& id_testata, const TestataMagazzino& t) {
  std::set<int32_t> chain;
  return CreaTestata(ctx, connection, id_testata, t, chain);
}

void ConfermaTestataMagazzino(Context& ctx, db::Connection& connection, int32_t& id_testata, const TestataMagazzino& t,
                              int32_t id_cassa, std::string& numero_documento) {
  Guarded(ctx, "ConfermaTestataMagazzino", [&] {
    if (util::Trim(numero_documento).empty() && t.Numera) numero_documento = NumberFor(ctx, connection, t);
    id_testata = funGetNuovoIdGENERICO(ctx, "tabTestateMagazzino", "idTestata", connection, -1, -1);
    auto rs = connection.OpenRecordset("select * from tabTestateMagazzino where 1=2", db::kStatic, db::kPessimistic);
    db::Recordset& r = *rs;
    r.AddNew();
    r.Set("idTestata", db::Value(id_testata));
    r.Set("IdTestataRiferimento", db::Value(-1));
    r.Set("IDMagazzinoPartenza", db::Value(t.IDMagazzinoPartenza));
    r.Set("IDMagazzinoDestinazione", db::Value(t.IDMagazzinoDestinazione));
    r.Set("idOperatore", db::Value(t.idOperatore));
    r.Set("IdPagamento", db::Value(-1));
    r.Set("IdBanca", db::Value(-1));
    r.Set("IDCliente", db::Value(t.IDCliente));
    r.Set("idDestinazione", db::Value(t.idDestinazione));
    r.Set("idCassa", db::Value(id_cassa));
    r.Set("IdCausale", db::Value(t.IdCausale));
    r.Set("ForzaListinoTestata", db::Value(db::CLng(db::Value(BooleanForSql(ctx, t.ForzaListinoTestata, kSqlServer)))));
    r.Set("bollettario", db::Value(t.bollettario));
    r.Set("idAgente", db::Value(t.idAgente > 0 ? t.idAgente : -1));
    r.Set("idOrdineConsegna", db::Value(-1));
    if (CausaleDiVendita(ctx, t.IdCausale)) r.Set("Ddt", db::Value(1));
    if (!numero_documento.empty()) r.Set("numeroDocumento", db::Value(numero_documento));
    if (db::IsDate(t.DataDocumento)) r.Set("DataDocumento", db::Value(db::CDate(t.DataDocumento)));
    WriteReferences(r, t, numero_documento);
    r.Set("Referente", db::Value(t.Referente));
    r.Set("Oggetto", db::Value(t.Oggetto));
    r.Set("Note", db::Value(t.Note));
    r.Set("idListino", db::Value(t.idListino));
    r.Set("idScontoListini", db::Value(t.idScontoListini));
    for (int i = 0; i < 4; ++i) {
      r.Set("Sconto" + std::to_string(i + 1), t.Sconto[i] != -1 ? db::Value(t.Sconto[i]) : db::Value());
    }
    r.Set("DataCreaz", db::Value(ctx.clock.Now()));
    r.Set("DataAgg", db::Value(ctx.clock.Now()));
    r.Set("BollettarioRientroVuoti", db::Value(t.BollettarioRientroVuoti));
    r.Set("NumeroDocumentoRientroVuoti", db::Value(t.NumeroDocumentoRientroVuoti));
    r.Set("DataDocumentoRientroVuoti", DateOrNull(t.DataDocumentoRientroVuoti));
    r.Set("IdCausaleRientroVuoti", db::Value(t.IdCausaleRientroVuoti));
    r.Set("AggiornaPrezziAcquisto", db::Value(t.AggiornaPrezziAcquisto));
    r.Set("Dest_RagioneSociale", db::Value(t.Dest_RagioneSociale));
    r.Set("Dest_Indirizzo", db::Value(t.Dest_Indirizzo));
    r.Set("Dest_CAP", db::Value(t.Dest_CAP));
    r.Set("Dest_Citta", db::Value(t.Dest_Citta));
    r.Set("Dest_provincia", db::Value(t.Dest_provincia));
    r.Set("Dest_Stato", db::Value(t.Dest_Stato));
    r.Set("Dest_IsFatturazione", db::Value(t.Dest_IsFatturazione));
    r.Set("numDocRiferimento", db::Value(t.numDocRiferimento));
    r.Set("dataDocRiferimento", db::Value(t.dataDocRiferimento));
    r.Set("valuta", db::Value(t.valuta));
    r.Set("Cambio", db::Value(t.Cambio));
    r.Update();
    r.Close();
  });
}

int32_t funGetIdCausaleSecondaria(Context& ctx, int32_t id_causale) {
  int32_t result = -1;
  Guarded(ctx, "funGetIdCausaleSecondaria", [&] {
    auto rs = ctx.connDbLocale->OpenRecordset("Select * from tabCausali where IdCausale = " + std::to_string(id_causale),
                                              db::kStatic, db::kReadOnly);
    if (rs->Eof()) {
      CloseRS(rs);
      return;
    }
    std::string code = db::CStr(TestNull(ctx, (*rs)["CausaleMovimentoSecondario"], db::Value("")));
    CloseRS(rs);
    if (code.empty()) return;
    rs = ctx.connDbLocale->OpenRecordset("Select * from tabCausali where Causale='" + code + "'", db::kStatic,
                                         db::kReadOnly);
    if (!rs->Eof()) result = db::CLng(TestNull(ctx, (*rs)["IdCausale"], db::Value(-1)));
    CloseRS(rs);
  });
  return result;
}

int32_t funGetIdTestataSecondaria(Context& ctx, db::Connection& connection, int32_t id_testata, bool da_fattura) {
  int32_t result = -1;
  Guarded(ctx, "funGetIdTestataSecondaria", [&] {
    auto rs = connection.OpenRecordset(
        "Select idTestataRiferimento as IdRif from tabTestateMagazzino where idTestata=" + std::to_string(id_testata),
        db::kStatic, db::kReadOnly);
    if (!rs->Eof()) result = db::CLng(TestNull(ctx, (*rs)["idRif"], db::Value(-1)));
    rs->Close();
  });
  return result;
}

std::string funConvertiIdCausaleInCausale(Context& ctx, int32_t id_causale) {
  std::string result;
  Guarded(ctx, "funConvertiIdCausaleInCausale", [&] {
    auto rs = ctx.connDbLocale->OpenRecordset("Select * from tabCausali where IdCausale=" + std::to_string(id_causale),
                                              db::kStatic, db::kOptimistic);
    if (!rs->Eof()) result = db::CStr(TestNull(ctx, (*rs)["Causale"], db::Value("")));
    rs->Close();
  });
  return result;
}

bool CausaleDiVendita(Context& ctx, int32_t id_causale) {
  bool result = false;
  Guarded(ctx, "CausaleDiVendita", [&] {
    auto rs = ctx.connDbLocale->OpenRecordset("Select * from tabCausali where IdCausale=" + std::to_string(id_causale),
                                              db::kStatic, db::kReadOnly);
    if (!rs->Eof()) {
      // All three flags are read before the answer is given: a Null in any of them is an
      // error and the answer stays False.
      std::string yes = BooleanForSql(ctx, true, kSqlServer);
      bool sale = false;
      for (const char* flag : {"FlagVendita", "Ddt", "Fatture"}) {
        if (BooleanForSql(ctx, db::CBool((*rs)[flag]), kSqlServer) == yes) sale = true;
      }
      result = sale;
    }
    rs->Close();
  });
  return result;
}

}  // namespace velkaris
