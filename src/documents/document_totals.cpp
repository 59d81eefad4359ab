#include "documents/document_totals.h"

#include <cmath>
#include <string>

#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "lookups/article_lookups.h"
#include "core/failure.h"

namespace velkaris {
namespace {

struct HeaderTable {
  const char* table;
  const char* taxable;
  const char* total;
  const char* vat;
  const char* key;
};

bool HeaderOf(int32_t type, HeaderTable* h) {
  switch (type) {
    case 0:
    case 3: *h = {"tabTestateMagazzino", "TotImponibile", "TotIvato", "TotIva", "IdTestata"}; return true;
    case 1: *h = {"tabTestateOrdiniCliente", "TotImponibile", "TotImporto", "TotIva", "IdOrdine"}; return true;
    case 2: *h = {"tabTestateOrdiniFornitore", "TotImponibile", "TotImporto", "TotIva", "IdOrdine"}; return true;
    case 4: *h = {"tabTestateFatture", "TotImponibile", "TotIvato", "TotIva", "IdTestata"}; return true;
    case 8:
    case 19: *h = {"tabTestatePreventivi", "TotImponibile", "TotImporto", "TotIva", "IdTestata"}; return true;
    case 9:
    case 23: *h = {"tabTestateScontrini", "TotaleImponibile", "TotaleImporto", "TotaleIva", "idTestata"}; return true;
    case 10: *h = {"tabTestateEstrattiConto", "TotImponibile", "TotImporto", "TotIva", "IdTestata"}; return true;
    case 16: *h = {"tabTestateRicevute", "TotImponibile", "TotIvato", "TotIva", "IdTestata"}; return true;
    case 17: *h = {"tabTestatePreconto", "TotImponibile", "TotIvato", "TotIva", "IdTestata"}; return true;
    default: return false;
  }
}

std::string PreventiviLike(const std::string& t, const std::string& id) {
  return "SELECT Sum(" + t + ".Imponibile) AS TotImponibile, Sum(" + t + ".TotaleNettoSconto) AS TotImporto, sum(" +
         t + ".Iva) as TotIva, " + t + ".AliquotaIva " + "From " + t + " " + "Where " + t + ".idTestata = " + id +
         " " + "GROUP BY " + t + ".AliquotaIva ";
}

// The row query of a document type; empty for the types whose rows are not summed.
std::string RowsQuery(int32_t type, const std::string& id) {
  switch (type) {
    case 0:
    case 3:
      return std::string(
                 "SELECT Sum(tabDettaglioMagazzino.TotaleNettoSconto) AS TotImporto, "
                 "Sum(tabDettaglioMagazzino.Imponibile) AS TotImponibile, Sum(tabDettaglioMagazzino.Iva) AS TotIva, "
                 "tabDettaglioMagazzino.AliquotaIva ") +
             "From tabDettaglioMagazzino " + "WHERE tabDettaglioMagazzino.IdTestata = " + id +
             " and  (tabDettaglioMagazzino.isVuoto=0 or tabDettaglioMagazzino.isVuoto is null)" +
             "GROUP BY tabDettaglioMagazzino.AliquotaIva ";
    case 8: return PreventiviLike("tabDettaglioPreventivi", id);
    case 10: return PreventiviLike("tabDettaglioEstrattiConto", id);
    case 1:
      return std::string(
                 "SELECT Sum(tabDettaglioOrdiniCliente.imponibile) AS TotImponibile, "
                 "Sum(tabDettaglioOrdiniCliente.totalenettosconto) AS TotImporto, Sum(tabDettaglioOrdiniCliente.iva) "
                 "AS TotIva, tabDettaglioOrdiniCliente.AliquotaIva ") +
             "From tabDettaglioOrdiniCliente " + "Where tabDettaglioOrdiniCliente.idOrdine = " + id + " " +
             "GROUP BY tabDettaglioOrdiniCliente.AliquotaIva ";
    case 2:
      return std::string(
                 "SELECT Sum(tabDettaglioOrdiniFornitore.Imponibile) AS TotImponibile, Sum(TotaleNettoSconto) AS "
                 "TotImporto, Sum(Iva) AS TotIva, tabDettaglioOrdiniFornitore.AliquotaIva ") +
             "From tabDettaglioOrdiniFornitore " + "Where tabDettaglioOrdiniFornitore.idOrdine = " + id + " " +
             "GROUP BY tabDettaglioOrdiniFornitore.AliquotaIva ";
    case 9:
    case 23:
      return std::string(
                 "SELECT Sum(tabdettaglioscontrini.TotaleNettoSconto) AS TotImporto, "
                 "Sum(tabdettaglioscontrini.Imponibile) AS TotImponibile, Sum(tabdettaglioscontrini.Iva) AS TotIva, "
                 "tabdettaglioscontrini.AliquotaIva, tabdettaglioscontrini.idCausale ") +
             "From tabdettaglioscontrini " + "WHERE tabdettaglioscontrini.IdTestata = " + id + " " +
             "GROUP BY tabdettaglioscontrini.AliquotaIva, tabdettaglioscontrini.idCausale ";
    default: return "";
  }
}

}  // namespace

double Ivato(Context& ctx, const db::Value& net, const db::Value& rate, int16_t decimals, double step) {
  double result = 0;
  Guarded(ctx, "Ivato", [&] {
    if (!db::IsNumeric(net) || !db::IsNumeric(rate)) return;
    result = Euro(ctx, db::Value(db::CDbl(net) * (db::CDbl(rate) / 100 + 1)), decimals);
    if (step != 0) result = db::RoundHalfEven(result / step) * step;
  });
  return result;
}

void funGetTotaliDocumento(Context& ctx, int32_t id_documento, int32_t tipo_documento, double& imponibile,
                           double& iva, double& totale, db::Connection* connection) {
  Guarded(ctx, "funGetTotaliDocumento", [&] {
    double taxable = 0, total = 0;
    std::string sql = RowsQuery(tipo_documento, std::to_string(id_documento));
    if (!sql.empty()) {
      db::Connection& conn = connection ? *connection : *ctx.connDbLocale;
      auto rs = conn.OpenRecordset(sql, db::kStatic, db::kPessimistic);
      bool receipt = tipo_documento == 9 || tipo_documento == 23;
      bool net_mode = receipt ? ctx.settings.PrezziFatturaNettoIva != 0 && ctx.settings.PrezziFatturaNettoIva_PCassa != 0
                              : ctx.settings.PrezziFatturaNettoIva != 0;
      int16_t decimals = ctx.settings.CifreDecimali;
      for (; !rs->Eof(); rs->MoveNext()) {
        db::Value importo = TestNull(ctx, (*rs)["TotImporto"], db::Value(0));
        db::Value imp = TestNull(ctx, (*rs)["TotImponibile"], db::Value(0));
        db::Value rate = TestNull(ctx, (*rs)["AliquotaIva"], db::Value(0));
        if (!net_mode) {
          double sign = 1;
          if (receipt && db::CDbl(TestNull(ctx, (*rs)["IdCausale"], db::Value(1))) != 1) sign = -1;
          total += sign * Euro(ctx, importo, decimals);
          taxable += sign * Imponibile(ctx, importo, rate, decimals);
        } else {
          taxable += Euro(ctx, imp, decimals);
          total += Ivato(ctx, imp, rate, decimals, 0);
        }
      }
      rs->Close();
    }
    imponibile = taxable;
    totale = total;
    iva = Euro(ctx, db::Value(total - taxable), ctx.settings.CifreDecimali);
  });
}

bool AggiornaTotaliDocumento(Context& ctx, int32_t tipo_documento, int32_t id_documento, db::Connection* connection,
                             double& imponibile, double& iva, double& totale, double step) {
  bool result = false;
  Guarded(ctx, "AggiornaTotaliDocumento", [&] {
    HeaderTable h;
    if (!HeaderOf(tipo_documento, &h)) return;
    db::Connection& conn = connection ? *connection : *ctx.connDbLocale;
    double taxable = 0, vat = 0, total = 0;
    funGetTotaliDocumento(ctx, id_documento, tipo_documento, taxable, vat, total, &conn);
    auto rs = conn.OpenRecordset(std::string("Select * from ") + h.table + " where " + h.key + "=" +
                                     std::to_string(id_documento),
                                 db::kStatic, db::kPessimistic);
    if (!rs->Eof()) {
      rs->Set(h.taxable, db::Value(ArrotondamentoValuta(ctx, taxable, step)));
      rs->Set(h.total, db::Value(ArrotondamentoValuta(ctx, total, step)));
      rs->Set(h.vat, db::Value(db::CDbl((*rs)[h.total]) - db::CDbl((*rs)[h.taxable]) -
                               ArrotondamentoValuta(ctx, 0, step)));
      rs->Update();
    }
    imponibile = ArrotondamentoValuta(ctx, taxable, step);
    totale = ArrotondamentoValuta(ctx, total, step);
    iva = totale - imponibile;
    CloseRS(rs);
    result = true;
  });
  return result;
}

bool AggiornaTotaliDocumento(Context& ctx, int32_t tipo_documento, int32_t id_documento, db::Connection* connection) {
  double imponibile = 0, iva = 0, totale = 0;
  return AggiornaTotaliDocumento(ctx, tipo_documento, id_documento, connection, imponibile, iva, totale, 0);
}

}  // namespace velkaris
