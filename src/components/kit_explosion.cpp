#include "components/kit_explosion.h"

#include <set>

#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "lookups/article_lookups.h"

namespace velkaris {
namespace {

constexpr int kMaxLevels = 20;

NodiDistinta Explode(Context& ctx, db::Connection& connection, int32_t id_articolo, double quantity,
                     std::set<int32_t>& path) {
  NodiDistinta nodes;
  if (static_cast<int>(path.size()) >= kMaxLevels || !path.insert(id_articolo).second) return nodes;
  auto rs = connection.OpenRecordset(
      "Select * from tabGestioneDistinteBase where idArticoloPadre=" + std::to_string(id_articolo) + " order by ID",
      db::kStatic, db::kReadOnly);
  for (; !rs->Eof(); rs->MoveNext()) {
    auto node = std::make_shared<NodoDistinta>();
    node->idArticolo = db::CLng(TestNull(ctx, (*rs)["idArticoloFiglio"], db::Value(-1)));
    // A component that contains the kit it belongs to is a loop in the data: left out.
    if (path.count(node->idArticolo)) continue;
    node->Quantita = quantity * db::CDbl(TestNull(ctx, (*rs)["Quantita"], db::Value(0)));
    node->DataInizioValidita = (*rs)["DataInizioValidita"];
    node->DataFineValidita = (*rs)["DataFineValidita"];
    node->Figli = Explode(ctx, connection, node->idArticolo, node->Quantita, path);
    nodes.push_back(node);
  }
  path.erase(id_articolo);
  return nodes;
}

}  // namespace

ArticoloDistinta ArticoloDaBarcode(Context& ctx, db::Connection& connection, const std::string& barcode) {
  ArticoloDistinta a;
  a.idArticolo = GetIdArticoloCorretto(ctx, barcode, false);
  auto rs = connection.OpenRecordset("Select CodiceArticolo, UM from tabArticoli where idArticolo=" +
                                         std::to_string(a.idArticolo),
                                     db::kStatic, db::kReadOnly);
  if (!rs->Eof()) {
    a.CodiceArticolo = db::CStr(TestNull(ctx, (*rs)["CodiceArticolo"], db::Value("")));
    a.UM = db::CStr(TestNull(ctx, (*rs)["UM"], db::Value("")));
  }
  return a;
}

NodiDistinta EsplodiDistinta(Context& ctx, db::Connection& connection, const ArticoloDistinta& kit, double quantity) {
  std::set<int32_t> path;
  return Explode(ctx, connection, kit.idArticolo, quantity, path);
}

}  // namespace velkaris
