// The display price and the margins of a movement row.
#pragma once

#include <cstdint>
#include <string>

#include "db/value.h"
#include "core/context.h"

namespace velkaris {

// A price rounded with Euro to `decimals` and formatted ("###,##0.00", or FormatoNumero for
// other decimals); "0,00" when the value is Null or not a number.
std::string FormatPV(Context& ctx, const db::Value& value, int16_t decimals);

// Margin of a sale over its cost, both net of their four discounts: in amount (rounded to
// CifreDecimali) or in percent of the cost (0 when the cost is 0 or less).
double funGetMarginalita(Context& ctx, double costo, const double costo_sconti[4], double vendita,
                         const double vendita_sconti[4], bool in_euro);

}  // namespace velkaris
