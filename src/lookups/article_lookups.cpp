#include "lookups/article_lookups.h"

#include "data/sql_helpers.h"
#include "db/recordset.h"
#include "core/failure.h"

namespace velkaris {

int32_t funGetIdArticolo(Context& ctx, std::string code, bool front_office, bool by_article_code,
                         db::Connection* connection) {
  int32_t result = 0;
  Guarded(ctx, "funGetIdArticolo", [&] {
    code = Apice(ctx, code);
    std::string sql = by_article_code ? "Select * from tabArticoli where CodiceArticolo='" + code + "'"
                                      : "Select * from tabBarcode where Barcode='" + code + "'";
    db::Connection& conn = front_office ? *ctx.connDbPuntoCassa : connection ? *connection : *ctx.connDbLocale;
    auto rs = conn.OpenRecordset(sql, db::kStatic, db::kReadOnly);
    result = rs->Eof() ? -1 : db::CLng(TestNull(ctx, (*rs)["idArticolo"], db::Value(-1)));
    rs->Close();
  });
  return result;
}

int32_t GetIdArticoloCorretto(Context& ctx, const std::string& barcode, bool front_office) {
  int32_t result = 0;
  Guarded(ctx, "GetIdArticoloCorretto", [&] {
    if (ctx.settings.GestioneAnagraficheConBarcode == 1) {
      int32_t r = funGetIdArticolo(ctx, barcode, front_office, false);
      if (r != -1) {
        result = r;
        return;
      }
    }
    result = funGetIdArticolo(ctx, barcode, front_office, true);
  });
  return result;
}

std::string funGetUMVend(Context& ctx, int32_t id_articolo, bool front_office) {
  std::string result;
  Guarded(ctx, "funGetUMVend", [&] {
    db::Connection& conn = front_office ? *ctx.connDbPuntoCassa : *ctx.connDbLocale;
    auto rs = conn.OpenRecordset("Select UM,UM2, TipoUmVen from tabArticoli Where idArticolo=" +
                                     std::to_string(id_articolo),
                                 db::kStatic, db::kReadOnly);
    if (rs->Eof()) {
      result = ctx.settings.UnitaMisuraPredefinita;
    } else {
      result = UnitaDiVendita(ctx, (*rs)["UM"], (*rs)["UM2"], (*rs)["tipoumven"]);
    }
    rs->Close();
  });
  return result;
}

std::string UnitaDiVendita(Context& ctx, const db::Value& um, const db::Value& um2, const db::Value& tipo_um_ven) {
  const db::Value& unit = !tipo_um_ven.IsNull() && db::CDbl(tipo_um_ven) == 1 ? um : um2;
  return unit.IsNull() ? ctx.settings.UnitaMisuraPredefinita : db::CStr(unit);
}

double Imponibile(Context& ctx, const db::Value& amount, const db::Value& rate, int16_t decimals) {
  double result = 0;
  Guarded(ctx, "Imponibile", [&] {
    if (!db::IsNumeric(amount) || !db::IsNumeric(rate)) return;
    result = Euro(ctx, db::Value(db::CDbl(amount) / (db::CDbl(rate) / 100 + 1)), decimals);
  });
  return result;
}

}  // namespace velkaris
