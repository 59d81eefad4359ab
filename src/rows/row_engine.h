// The amounts of one stored document row: discounted total, taxable amount, VAT, gross total,
// discount amount, and for receipt, movement and invoice rows the cost totals and margin.
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "core/context.h"

namespace velkaris {

// Computes and stores the amounts of row `id` of `table` (a null connection means
// connDbLocale); `step` is the currency rounding unit, 0 for none.
void AggiornaTotaliRiga(Context& ctx, int32_t id, const std::string& table, db::Connection* connection, double step);

}  // namespace velkaris
