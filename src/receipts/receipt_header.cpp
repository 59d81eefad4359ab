#include "receipts/receipt_header.h"

#include "components/user_lookup.h"
#include "data/new_ids.h"
#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "core/failure.h"
#include "util/text.h"
#include "documents/numbering.h"

namespace velkaris {
namespace {

TestataScontrino ReadPosHeader(Context& ctx, const db::Recordset& rs) {
  auto v = [&](const char* column, const db::Value& fallback) { return TestNull(ctx, rs[column], fallback); };
  auto lng = [&](const char* column) { return db::CLng(v(column, db::Value(-1))); };
  auto dbl = [&](const char* column, double fallback) { return db::CDbl(v(column, db::Value(fallback))); };
  TestataScontrino t;
  t.IdCausale = lng("IdCausale");
  t.IDCliente = lng("IDCliente");
  t.idOperatore = lng("operatore");
  t.Cassa = lng("Cassa");
  t.NumeroScontrino = db::CStr(v("numScontrino", db::Value("")));
  t.DataOraScontrino = db::Value(DataOra(ctx, rs["Data"], rs["Ora"]));
  t.idListino = lng("idListino");
  t.idScontoListini = lng("idScontoListini");
  for (int i = 0; i < 4; ++i) t.Sconto[i] = dbl(("Sconto" + std::to_string(i + 1)).c_str(), -1);
  t.Printed = db::CBool(v("Printed", db::Value(false)));
  t.ForzaListinoTestata = db::CBool(v("ForzaListinoTestata", db::Value(false)));
  t.idFidelityCard = lng("idFidelityCard");
  t.IdModoPunti = lng("IdModoPunti");
  t.Fid_SaldoPunti = dbl("Fid_SaldoPunti", 0);
  t.Fid_SaldoImporto = dbl("Fid_SaldoImporto", 0);
  t.Fid_PuntiArticoli = dbl("Fid_PuntiArticoli", 0);
  t.Fid_ImportoArticoli = dbl("Fid_ImportoArticoli", 0);
  t.Fid_PuntiOmaggi = dbl("Fid_PuntiOmaggi", 0);
  t.Fid_ImportoOmaggi = dbl("Fid_ImportoOmaggi", 0);
  t.Fid_PuntiSpesa = dbl("Fid_PuntiSpesa", 0);
  t.Fid_ImportoSpesa = dbl("Fid_ImportoSpesa", 0);
  t.CAP = db::CStr(v("CAP", db::Value("")));
  t.idSospeso = lng("idSospeso");
  return t;
}

void WriteHeaderColumns(Context& ctx, db::Recordset& r, db::Connection& connection, TestataScontrino& t) {
  r.Set("IdCausale", db::Value(t.IdCausale));
  r.Set("IDCliente", db::Value(t.IDCliente));
  r.Set("idFidelityCard", db::Value(t.idFidelityCard));
  r.Set("idMagazzino", db::Value(t.idMagazzino));
  r.Set("idOperatore", db::Value(t.idOperatore));
  r.Set("idUtente_Creazione", db::Value(UtenteDaOperatore(ctx, t.idOperatore, connection)));
  r.Set("idCassa", db::Value(ctx.settings.IdCassa));
  r.Set("idOrdineConsegna", db::Value(-1));
  r.Set("bollettario", db::Value(t.bollettario));
  if (t.NumeroScontrino != "") r.Set("NumeroScontrino", db::Value(db::CLng(db::Value(t.NumeroScontrino))));
  if (db::IsDate(t.DataOraScontrino)) r.Set("DataOraScontrino", t.DataOraScontrino);
  r.Set("idListino", db::Value(t.idListino));
  r.Set("idScontoListini", db::Value(t.idScontoListini));
  for (int i = 0; i < 4; ++i) {
    r.Set("Sconto" + std::to_string(i + 1), t.Sconto[i] == -1 ? db::Value() : db::Value(t.Sconto[i]));
  }
  r.Set("ForzaListinoTestata", db::Value(t.ForzaListinoTestata));
  r.Set("Printed", db::Value(t.Printed));
  if (t.IdModoPunti != -1) {
    r.Set("IdModoPunti", db::Value(t.IdModoPunti));
    r.Set("Fid_SaldoPunti", db::Value(t.Fid_SaldoPunti));
    r.Set("Fid_SaldoImporto", db::Value(t.Fid_SaldoImporto));
    r.Set("Fid_PuntiArticoli", db::Value(t.Fid_PuntiArticoli));
    r.Set("Fid_ImportoArticoli", db::Value(t.Fid_ImportoArticoli));
    r.Set("Fid_PuntiOmaggi", db::Value(t.Fid_PuntiOmaggi));
    r.Set("Fid_ImportoOmaggi", db::Value(t.Fid_ImportoOmaggi));
    r.Set("Fid_PuntiSpesa", db::Value(t.Fid_PuntiSpesa));
    r.Set("Fid_ImportoSpesa", db::Value(t.Fid_ImportoSpesa));
  }
  r.Set("idTransazioneFidelity", db::Value(-1));
  if (db::IsDate(db::Value(t.DataIncasso))) r.Set("DataIncasso", db::Value(db::CDate(db::Value(t.DataIncasso))));
  r.Set("idSospeso", db::Value(t.idSospeso));
  r.Set("DataAgg", db::Value(ctx.clock.Now()));
  r.Set("UtenteUltimoAccesso", db::Value(""));
  r.Set("CAP", db::Value(t.CAP));
}

}  // namespace

int32_t ScriviTestataScontrino(Context& ctx, db::Connection& front, db::Connection& back, int32_t id_testata_pos,
                               int32_t& numero_scontrino) {
  int32_t result = -1;
  Guarded(ctx, "ScriviTestataScontrino", [&] {
    auto rs = front.OpenRecordset("Select * from tabTestate where idTestata=" + std::to_string(id_testata_pos),
                                  db::kStatic, db::kReadOnly);
    if (!rs->Eof()) {
      TestataScontrino t = ReadPosHeader(ctx, *rs);
      t.idMagazzino = ctx.settings.IdMagazzinoCorrente;
      t.bollettario = ctx.settings.BollettarioPredefinito;
      t.NumeraDaSolo = false;
      t.DataIncasso = db::CStr(t.DataOraScontrino);
      int32_t id = -1;
      ConfermaTestataScontrino(ctx, back, id, t);
      if (db::IsNumeric(db::Value(t.NumeroScontrino))) numero_scontrino = db::CLng(db::Value(t.NumeroScontrino));
      result = id;
    }
    CloseRS(rs);
  });
  return result;
}

void ConfermaTestataScontrino(Context& ctx, db::Connection& connection, int32_t& id_testata, TestataScontrino& t) {
  Guarded(ctx, "ConfermaTestataScontrino", [&] {
    std::unique_ptr<db::Recordset> rs;
    if (id_testata <= 0) {
      if (util::Trim(t.NumeroScontrino).empty() && t.NumeraDaSolo) {
        t.NumeroScontrino = std::to_string(funGetNuovoNumeroScontrinoByScontriniEmessi(
            ctx, connection, t.Cassa, t.idMagazzino, t.DataOraScontrino, true, t.IdCausale));
      }
      id_testata = funGetNuovoIdGENERICO(ctx, "tabTestateScontrini", "idTestata", connection, -1, -1);
      rs = connection.OpenRecordset("select * from tabTestateScontrini where 1=2", db::kStatic, db::kPessimistic);
      rs->AddNew();
      rs->Set("idTestata", db::Value(id_testata));
      rs->Set("DataCreaz", db::Value(ctx.clock.Now()));
      // The row's own DataOraScontrino is still Null here: the counter year is this year's.
      std::string year = std::to_string(ctx.clock.Now().ToParts().year);
      rs->Set("Numerazione", db::Value(funGetNuovoNumeroDocumento(ctx, connection, "SCBK_Num" + std::to_string(t.IdCausale),
                                                                  year, t.bollettario, false, -1)));
      rs->Set("TotaleImponibile", db::Value(0));
      rs->Set("TotaleIva", db::Value(0));
      rs->Set("TotaleImporto", db::Value(0));
    } else {
      rs = connection.OpenRecordset("Select * from tabTestateScontrini where IdTestata=" + std::to_string(id_testata),
                                    db::kStatic, db::kPessimistic);
      if (rs->Eof()) return;
    }
    WriteHeaderColumns(ctx, *rs, connection, t);
    rs->Update();
    rs->Close();
  });
}

int32_t funGetNuovoNumeroScontrinoByScontriniEmessi(Context& ctx, db::Connection& connection, int32_t cassa,
                                                    int32_t id_magazzino, const db::Value& data, bool backoffice,
                                                    int32_t id_causale) {
  int32_t result = 0;
  Guarded(ctx, "funGetNuovoNumeroScontrinoByScontriniEmessi", [&] {
    int32_t kind = kSqlServer;
    std::string sql;
    if (backoffice) {
      std::string day = db::CStr(db::Value(db::CDate(data).DateOnly()));
      std::string start = DateForSql(ctx, day + " 00.00:00", false, true, kind, true);
      std::string end = DateForSql(ctx, day + " 23.59:59", false, true, kind, true);
      sql = std::string("SELECT Max(CLng([NumeroScontrino])) AS Numero ") + "From tabTestateScontrini " +
            "WHERE (((tabTestateScontrini.idMagazzino)=" + std::to_string(id_magazzino) +
            ") AND ((tabTestateScontrini.IdCassa)=" + std::to_string(cassa) +
            ") AND ((tabTestateScontrini.DataOraScontrino)>=" + start +
            " And (tabTestateScontrini.DataOraScontrino)<=" + end + "))" + " and idcausale = " +
            std::to_string(id_causale);
    } else {
      std::string when = DateForSql(ctx, db::CStr(data), false, true, kind, false);
      sql = std::string("SELECT MAX(([NumScontrino])) AS Numero ") + "From tabTestate " + "WHERE tabTestate.Data>=" +
            when + " And tabTestate.Data<=" + when + " and idcausale = " + std::to_string(id_causale);
    }
    auto rs = connection.OpenRecordset(sql, db::kStatic, db::kReadOnly);
    if (!rs->Eof()) result = db::CLng(TestNull(ctx, (*rs)["Numero"], db::Value(0))) + 1;
    rs->Close();
  });
  return result;
}

}  // namespace velkaris
