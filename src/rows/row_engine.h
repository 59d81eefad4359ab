// The amounts of one stored document row: discounted total, taxable amount, VAT, gross total,
// discount amount, and for receipt, movement and invoice rows the cost totals and margin.
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "db/recordset.h"
#include "core/context.h"

namespace velkaris {

// Computes and stores the amounts of row `id` of `table` (a null connection means
// connDbLocale); `step` is the currency rounding unit, 0 for none.
void AggiornaTotaliRiga(Context& ctx, int32_t id, const std::string& table, db::Connection* connection, double step);

// The same amounts set on a new row of `table` before it is inserted, so that it is written
// once instead of inserted, read back and updated. Only where reading it back would give the
// very fields of the pending record: a receipt's unit of work on SQLite (whose schema has no
// triggers) with every column selected and none left to a default. True when the amounts
// were set; false (the record unchanged) when they must be computed after the insert.
bool SetRowTotalsBeforeInsert(Context& ctx, const std::string& table, db::Connection& connection,
                              db::Recordset& pending, double step);

}  // namespace velkaris
