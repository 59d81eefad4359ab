#include "documents/numbering.h"

#include "components/causale.h"
#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "core/failure.h"
#include "util/text.h"

namespace velkaris {
namespace {

// The counter a causale code numbers from: one per kind of causale, or the code itself.
std::string CounterKey(Context& ctx, db::Connection& connection, std::string& code) {
  int32_t id = funConvertiCausaleInID(ctx, code, &connection);
  if (id == 0) return code.empty() ? "FREE" : code;
  CausaleComponent causale;
  causale.Load(ctx, ctx.sql_locale(), id);
  if (causale.Gestionale()) return "MAG";
  if (causale.Ddt()) return "DDT";
  if (causale.Fatture()) return "FAT";
  if (causale.Preventivo()) return "PRE";
  return "_" + code.substr(0, 2);
}

std::string NumberTestQuery(Context& ctx, const CausaleComponent& c, int32_t id_causale, const std::string& numero,
                            const std::string& book, const std::string& year, int32_t revisione, int32_t escluso,
                            int32_t sezione) {
  std::string yes = BooleanForSql(ctx, true);
  std::string excluded_m = escluso != -1 ? " and tabTestateMagazzino.idtestata<>" + std::to_string(escluso) : "";
  auto magazzino = [&](const char* flag) {
    return "SELECT tabTestateMagazzino.idTestata FROM tabTestateMagazzino INNER JOIN tabCausali ON "
           "tabTestateMagazzino.IdCausale = tabCausali.IdCausale where NumeroDocumento=" +
           numero + " and Bollettario='" + book + "' and tabCausali." + flag + "=" + yes +
           " and year(DataDocumento)= " + year + excluded_m;
  };
  if (c.Gestionale()) return magazzino("Gestionale");
  if (c.Ddt()) return magazzino("Ddt");
  if (c.Fatture()) {
    return "SELECT tabTestateFatture.idTestata FROM tabTestateFatture INNER JOIN tabCausali ON "
           "tabTestateFatture.IdCausale = tabCausali.IdCausale where tabTestateFatture.IdCausale <> " +
           std::to_string(18) + " and Bollettario='" + book + "' and NumeroDocumento=" + numero +
           " and tabCausali.Fatture=" + yes + " and year(DataDocumento)= " + year +
           (escluso != -1 ? " and tabTestateFatture.idtestata<>" + std::to_string(escluso) : "");
  }
  if (c.Preventivo()) {
    return "SELECT * FROM tabTestatePreventivi where Bollettario='" + book + "' and NumeroDocumento=" + numero +
           (revisione != -1 ? " and Revisione=" + std::to_string(revisione) : "") +
           " and year(DataDocumento)= " + year +
           (escluso != -1 ? " and tabTestatePreventivi.idtestata<>" + std::to_string(escluso) : "");
  }
  auto by_book = [&](const char* table, const char* date_column) {
    return std::string("SELECT * FROM ") + table + " where Bollettario='" + book + "' and NumeroDocumento=" + numero +
           " and year(" + date_column + ")= " + year;
  };
  switch (id_causale) {
    case 22: return by_book("tabTestateEstrattiConto", "DataDocumento");
    case 30: return by_book("tabTestateCommesse", "DataDocumento");
    case 32: return by_book("tabTestateOrdiniCliente", "Data");
    case 33: return by_book("tabTestateOrdiniFornitore", "Data");
    case 63:
      return "SELECT tabAssistenze_Testate.NumeroDocumento FROM tabAssistenze_Testate where Sezione= " +
             std::to_string(sezione) + " and  NumeroDocumento=" + numero + " and year(DataDocumento)= " + year;
    default: return "";
  }
}

}  // namespace

int32_t funGetNuovoNumeroDocumento(Context& ctx, db::Connection& connection, std::string causale,
                                   const std::string& anno, const std::string& bollettario, bool force,
                                   int32_t forced_number) {
  int32_t result = 0;
  Guarded(ctx, "funGetNuovoNumeroDocumento", [&] {
    std::string key = CounterKey(ctx, connection, causale);
    std::string sql =
        util::Trim(bollettario).empty()
            ? "SELECT * From tabProgressivi WHERE (tabProgressivi.Prefisso='" + bollettario +
                  "' or tabProgressivi.Prefisso is null) and tabProgressivi.AnnoProgressivo=" + anno +
                  " AND tabProgressivi.Causale='" + key + "'"
            : "SELECT * From tabProgressivi WHERE tabProgressivi.Prefisso='" + bollettario +
                  "' and tabProgressivi.AnnoProgressivo=" + anno + " AND tabProgressivi.Causale='" + key + "'";
    auto rs = connection.OpenRecordset(sql, db::kStatic, db::kPessimistic);
    auto add_counter = [&](int32_t numero) {
      rs->AddNew();
      rs->Set("AnnoProgressivo", db::Value(anno));
      rs->Set("Causale", db::Value(key));
      rs->Set("Prefisso", db::Value(bollettario));
      rs->Set("Numero", db::Value(numero));
      rs->Update();
    };
    if (rs->Eof()) {
      add_counter(force ? forced_number : 1);
      result = force ? -1 : 1;
    } else if (!force && (*rs)["Numero"].IsNull()) {
      add_counter(1);
      result = 1;
    } else if (force) {
      rs->Set("Numero", db::Value(forced_number));
      rs->Update();
      result = -1;
    } else {
      int32_t next = db::CLng((*rs)["Numero"]) + 1;
      rs->Set("Numero", db::Value(next));
      rs->Update();
      result = next;
    }
    rs->Close();
  });
  return result;
}

bool funTestDocumento_CambioNumero(Context& ctx, db::Connection& connection, int32_t id_causale,
                                   const std::string& numero, const db::Date& data, const std::string& bollettario,
                                   int32_t revisione, int32_t id_escluso, bool messaggio, int32_t sezione) {
  bool result = false;
  Guarded(ctx, "funTestDocumento_CambioNumero", [&] {
    CausaleComponent causale;
    causale.Load(ctx, ctx.sql_locale(), id_causale);
    std::string year = std::to_string(data.ToParts().year);
    std::string sql = NumberTestQuery(ctx, causale, id_causale, numero, bollettario, year, revisione, id_escluso,
                                      sezione);
    if (sql.empty()) {
      result = true;
      return;
    }
    auto rs = connection.OpenRecordset(sql, db::kStatic, db::kReadOnly);
    result = rs->Eof();
    rs->Close();
  });
  return result;
}

void funGetTabelleDocumento(int32_t tipo_documento, std::string& dettaglio, std::string& testata) {
  switch (tipo_documento) {
    case 0:
    case 3: dettaglio = "tabDettaglioMagazzino", testata = "tabTestateMagazzino"; break;
    case 1: dettaglio = "tabDettaglioOrdiniCliente", testata = "tabTestateOrdiniCliente"; break;
    case 2: dettaglio = "tabDettaglioOrdiniFornitore", testata = "tabTestateOrdiniFornitore"; break;
    case 4: dettaglio = "tabDettaglioFatture", testata = "tabTestateFatture"; break;
    case 8:
    case 19: dettaglio = "tabDettaglioPreventivi", testata = "tabTestatePreventivi"; break;
    case 9:
    case 23: dettaglio = "tabDettaglioScontrini", testata = "tabTestateScontrini"; break;
    case 10: dettaglio = "tabDettaglioEstrattiConto", testata = "tabTestateEstrattiConto"; break;
    case 16: dettaglio = "tabDettaglioRicevute", testata = "tabTestateRicevute"; break;
    case 17: dettaglio = "tabDettaglioPreconti", testata = "tabTestatePreconti"; break;
    case 20: dettaglio = "tabDettaglioRDA", testata = "tabTestateRDA"; break;
    default: dettaglio.clear(), testata.clear();
  }
}

std::string funGetDescrizioneConto(Context& ctx, int32_t id) {
  std::string result;
  Guarded(ctx, "funGetDescrizioneConto", [&] {
    auto rs = ctx.connDbLocale->OpenRecordset("Select * from tabConti where ID=" + std::to_string(id), db::kStatic,
                                              db::kReadOnly);
    if (!rs->Eof() && !(*rs)["Conto"].IsNull()) result = db::CStr((*rs)["Conto"]);
    rs->Close();
  });
  return result;
}

std::string funGetTipoMovimentoDaCausale(Context& ctx, const std::string& id_causale, db::Connection* connection) {
  std::string result;
  Guarded(ctx, "funGetTipoMovimentoDaCausale", [&] {
    db::Connection& conn = connection ? *connection : *ctx.connDbLocale;
    auto rs = conn.OpenRecordset("Select * from tabCausali where IdCausale=" + id_causale, db::kStatic, db::kReadOnly);
    if (!rs->Eof()) result = db::CStr(TestNull(ctx, (*rs)["TipoMovimento"], db::Value("")));
    rs->Close();
  });
  return result;
}

int32_t funConvertiCausaleInID(Context& ctx, std::string& causale, db::Connection* connection) {
  int32_t result = 0;
  Guarded(ctx, "funConvertiCausaleInID", [&] {
    causale = util::ReplaceAll(causale, " ", "");
    db::Connection& conn = connection ? *connection : *ctx.connDbLocale;
    auto rs = conn.OpenRecordset("Select * from tabCausali where tabCausali.Causale='" + causale + "'", db::kStatic,
                                 db::kReadOnly);
    if (!rs->Eof()) result = db::CLng(TestNull(ctx, (*rs)["IdCausale"], db::Value(0)));
    rs->Close();
  });
  return result;
}

}  // namespace velkaris
