// The report of synchronised receipts in the daily sync log.
#pragma once

#include "core/context.h"
#include "core/sync_records.h"

namespace velkaris {

// Writes one report block for the collection (or the "Nessun dato da esportare" line when
// it is empty); first empties tomorrow's file so that each file holds a single day.
bool ParseCollectionForLoggin(Context& ctx, SyncCollection& receipts);

}  // namespace velkaris
