// Which POS receipts a pass transfers: printed, of the pass's causale, with at least one
// row not yet exported. One sync record per receipt.
#pragma once

#include <cstdint>

#include "core/context.h"
#include "core/sync_records.h"

namespace velkaris {

// kind 2 selects tabTestate.IdCausale 5, any other kind 4. Reconnects both databases
// first. True when the selection ran to its end.
bool RecuperaTestate(Context& ctx, int32_t& kind, SyncCollection& receipts);

}  // namespace velkaris
