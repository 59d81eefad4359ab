// The receipt transfer: copies POS receipts into the back office as receipt documents
// (header, payments, fidelity movements, rows with their amounts, vouchers, totals).
#pragma once

#include <cstdint>

#include "core/context.h"
#include "core/sync_records.h"

namespace velkaris {

// Transfers the receipts of the collection (the run driver passes one). False when a step
// failed: the failure is logged and what was written for that receipt is deleted again.
bool PCassa_SincroScontrino(Context& ctx, int32_t& kind, SyncCollection& receipts);

}  // namespace velkaris
