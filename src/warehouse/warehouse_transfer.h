// The warehouse transfer: the rows of a POS receipt of one row causale become rows of
// summary warehouse movements that unload the stock.
#pragma once

#include <cstdint>
#include <string>

#include "core/context.h"
#include "core/sync_records.h"

namespace velkaris {

// Handles the POS rows whose tabDettaglio.IdCausale is the row causale (1, or 2 for any
// other value). Row failures are logged and the run goes on; False when a movement header
// is neither found nor created, the back office cannot be reached again, or on an
// unexpected error.
bool PCassa_AggiornaMagazzinoDaScontrino(Context& ctx, int32_t& kind, SyncCollection& receipts, int32_t& causale);

// The components of a POS row that sells a kit, and those of every row of a POS receipt.
std::string KitQuery(int32_t id_testata, int32_t id_dettaglio);
std::string KitsQuery(int32_t id_testata);

// Works out the totals of the movement headers that wait for the commit of a batch (and of
// the secondary headers that took their twin rows). False when one of them failed: the
// batch must not commit.
bool UpdateMovementTotalsOfTheBatch(Context& ctx);

}  // namespace velkaris
