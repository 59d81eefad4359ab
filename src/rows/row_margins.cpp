#include "rows/row_margins.h"

#include "data/sql_helpers.h"
#include "lookups/row_lookups.h"
#include "core/failure.h"

namespace velkaris {

std::string FormatPV(Context& ctx, const db::Value& value, int16_t decimals) {
  std::string result;
  Guarded(ctx, "FormatPV", [&] {
    if (value.IsNull() || !db::IsNumeric(value)) {
      result = "0,00";
      return;
    }
    double rounded = Euro(ctx, value, decimals);
    result = db::FormatNumber(rounded, decimals == 2 ? "###,##0.00" : ctx.settings.FormatoNumero);
  });
  return result;
}

double funGetMarginalita(Context& ctx, double costo, const double costo_sconti[4], double vendita,
                         const double vendita_sconti[4], bool in_euro) {
  double result = 0;
  Guarded(ctx, "funGetMarginalita", [&] {
    double cost = funGetPrezzoNettoSconti(ctx, costo, costo_sconti[0], costo_sconti[1], costo_sconti[2],
                                          costo_sconti[3], 0);
    double sale = funGetPrezzoNettoSconti(ctx, vendita, vendita_sconti[0], vendita_sconti[1], vendita_sconti[2],
                                          vendita_sconti[3], 0);
    if (in_euro) {
      result = Euro(ctx, db::Value(sale - cost), ctx.settings.CifreDecimali);
    } else if (cost > 0) {
      result = db::CDbl(db::Value(FormatQta(ctx, db::Value((sale / cost - 1) * 100), 2)));
    }
  });
  return result;
}

}  // namespace velkaris
