#include "rows/row_engine.h"

#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "lookups/article_lookups.h"
#include "documents/document_totals.h"
#include "lookups/row_lookups.h"
#include "core/failure.h"
#include "util/text.h"

namespace velkaris {
namespace {

struct TableKind {
  bool pos_like, order, exactly_dettaglio, exactly_colli, no_totale, estratti, costs;
};

TableKind KindOf(const std::string& table) {
  std::string t = util::ToLower(table);
  TableKind k{};
  k.pos_like = t == "tabdettaglio" || t == "tabdettaglioscontrini" || t == "tabdettagliocolli";
  k.order = t == "tabdettaglioordinicliente" || t == "tabdettaglioordinifornitore";
  k.exactly_dettaglio = table == "tabDettaglio";
  k.exactly_colli = table == "tabDettaglioColli";
  k.no_totale = t == "tabdettagliopreventivi" || k.order;
  k.estratti = t == "tabdettaglioestratticonto";
  k.costs = t == "tabdettagliomagazzino" || t == "tabdettagliofatture" || t == "tabdettaglioscontrini";
  return k;
}

double Factor(Context& ctx, const db::Recordset& rs, const char* column) {
  const db::Value& v = rs[column];
  return v.IsNull() ? 1.0 : 1 - db::CDbl(v) / 100;
}

// Sets the amounts on the current or pending record `r` of `table`; false for a text-only
// row, which gets none.
bool SetRowTotals(Context& ctx, const std::string& table, db::Recordset& r, double step) {
  TableKind k = KindOf(table);
  if (r.HasField("barcode") && r["Barcode"].IsNull()) return false;

  double q = r.HasField("quantita2") ? db::CDbl(r["Quantita2"]) : r.HasField("quantita") ? db::CDbl(r["Quantita"]) : 0;
  bool net_rule = k.pos_like ? ctx.settings.PrezziFatturaNettoIva_PCassa != 0 : ctx.settings.PrezziFatturaNettoIva != 0;
  auto AV = [&](double x) { return ArrotondamentoValuta(ctx, x, step); };
  auto E2 = [&](double x) { return Euro(ctx, db::Value(x), 2); };
  auto get = [&](const char* c) { return db::CDbl(r[c]); };
  const db::Value default_rate(ctx.settings.AliquotaIvaPredefinita);
  double f1 = Factor(ctx, r, "Sconto1"), f2 = Factor(ctx, r, "Sconto2"), f3 = Factor(ctx, r, "Sconto3"),
         f4 = Factor(ctx, r, "Sconto4");
  auto cost_factor = [&] {
    double c = 1;
    for (const char* col : {"CostoSconto1", "CostoSconto2", "CostoSconto3", "CostoSconto4"}) {
      c *= 1 - db::CDbl(TestNull(ctx, r[col], db::Value(0))) / 100;
    }
    return c;
  };
  double a;
  if (!net_rule) {
    a = db::CDbl(TestNull(ctx, r[k.exactly_dettaglio ? "AIva" : "aliquotaIva"], default_rate));
    const char* price = k.exactly_dettaglio || k.order ? "Prezzo" : "prezzoVendita";
    double p = db::CDbl(TestNull(ctx, r[price], db::Value(0)));
    r.Set("TotaleNettoSconto", db::Value(AV(E2(p * q * f1 * f2 * f3 * f4))));
    r.Set("Imponibile", db::Value(AV(Imponibile(ctx, r["TotaleNettoSconto"], db::Value(a), 2))));
    r.Set("Iva", db::Value(E2(get("TotaleNettoSconto") - get("Imponibile"))));
    if (!k.no_totale) {
      r.Set("Totale", db::Value(AV(E2(p * q))));
      r.Set("ImportoSconto", db::Value(E2(get("Totale") - get("TotaleNettoSconto"))));
    }
    if (k.costs) {
      double c = db::CDbl(TestNull(ctx, r["CostoImporto"], db::Value(0)));
      r.Set("CostoTotaleImporto", db::Value(AV(E2(c * q * cost_factor()))));
      r.Set("CostoTotaleImponibile", db::Value(AV(Imponibile(ctx, r["CostoTotaleImporto"], db::Value(a), 2))));
      r.Set("CostoTotaleIva", db::Value(E2(get("CostoTotaleImporto") - get("CostoTotaleImponibile"))));
    }
  } else {
    double p;
    if (!k.exactly_dettaglio && !k.exactly_colli) {
      a = get("aliquotaIva");
      p = k.order ? AV(db::CDbl(TestNull(ctx, r["PrezzoNettoIva"], db::Value(0)))) : AV(get("PrezzoVenditaNettoIva"));
    } else {
      a = get("AIva");
      p = AV(db::CDbl(TestNull(ctx, r[k.exactly_colli ? "PrezzoNettoIva" : "PrezzoVenditaNettoIva"], db::Value(0))));
    }
    r.Set("Imponibile", db::Value(AV(E2(p * q * f1 * f2 * f3 * f4))));
    r.Set("TotaleNettoSconto", db::Value(AV(Ivato(ctx, r["Imponibile"], db::Value(a), 2, 0))));
    r.Set("Iva", db::Value(E2(get("TotaleNettoSconto") - get("Imponibile"))));
    if (!k.estratti && !k.no_totale) {
      r.Set("Totale", db::Value(AV(E2(Ivato(ctx, db::Value(p * q), db::Value(a), 2, 0)))));
      r.Set("ImportoSconto", db::Value(E2(get("Totale") - get("TotaleNettoSconto"))));
    }
    if (k.costs) {
      double c = db::CDbl(TestNull(ctx, r["CostoImponibile"], db::Value(0)));
      r.Set("CostoTotaleImponibile", db::Value(AV(E2(c * q * cost_factor()))));
      r.Set("CostoTotaleImporto", db::Value(AV(Ivato(ctx, r["CostoTotaleImponibile"], db::Value(a), 2, 0))));
      r.Set("CostoTotaleIva", db::Value(E2(get("CostoTotaleImporto") - get("CostoTotaleImponibile"))));
    }
  }
  if (k.costs && db::CDbl(TestNull(ctx, r["MarginalitaEuro"], db::Value(-1))) == -1) {
    r.Set("MarginalitaEuro", db::Value(Euro(ctx, db::Value(get("Imponibile") - get("CostoTotaleImponibile")), 5)));
    double cost = db::CDbl(TestNull(ctx, r["CostoTotaleImponibile"], db::Value(0)));
    if (cost != 0) {
      r.Set("MarginalitaPercen", db::Value(FormatQta(ctx, db::Value((get("Imponibile") / cost - 1) * 100), 2)));
    } else {
      r.Set("MarginalitaPercen", db::Value(0));
    }
  }
  return true;
}

}  // namespace

void AggiornaTotaliRiga(Context& ctx, int32_t id, const std::string& table, db::Connection* connection, double step) {
  Guarded(ctx, "AggiornaTotaliRiga", [&] {
    db::Connection& conn = connection ? *connection : *ctx.connDbLocale;
    std::string key = KindOf(table).order ? "IdRiga" : "IdDettaglio";
    auto rs = conn.OpenRecordset("Select * from " + table + " where " + key + "=" + std::to_string(id), db::kStatic,
                                 db::kPessimistic);
    if (rs->Eof()) return;
    if (!SetRowTotals(ctx, table, *rs, step)) return;
    rs->Update();
    rs->Close();
  });
}

bool SetRowTotalsBeforeInsert(Context& ctx, const std::string& table, db::Connection& connection,
                              db::Recordset& pending, double step) {
  if (!ctx.uow.no_read_back || !ctx.ReceiptUnitOfWorkOnSqlite(connection) || !pending.PendingRowIsWhole()) {
    return false;
  }
  db::Recordset::Pending before = pending.SavePending();
  try {
    SetRowTotals(ctx, table, pending, step);
    return true;
  } catch (...) {
    // Computed again after the insert, where the failure is reported as it always was.
    pending.RestorePending(std::move(before));
    return false;
  }
}

}  // namespace velkaris
