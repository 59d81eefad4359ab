// Marks the POS rows and payments of transferred receipts as exported (FlagExport 1), so
// that the next selection does not pick them again.
#pragma once

#include "core/context.h"
#include "core/sync_records.h"

namespace velkaris {

// A row is marked only when both its receipt row and its warehouse row were written.
// False for an empty collection or when an error stopped it.
bool ParseCollectionForUpdatingRow(Context& ctx, SyncCollection& receipts);

}  // namespace velkaris
