// Fidelity-card movements of a receipt: the points or amount it earns, the link to the
// back-office header and the reversal of a redeemed prize.
#pragma once

#include <cstdint>

#include "db/connection.h"
#include "db/recordset.h"
#include "core/context.h"

namespace velkaris {

// `rows` is the receipt's row recordset, on its first row. Returns the sale movement's
// transaction id; -1 when an error came before it.
int32_t ScriviRigaFidelityCard(Context& ctx, db::Recordset& rows, int32_t id_fidelity_card, int32_t id_testata_pos,
                               int32_t id_testata_backoffice, int32_t kind, int32_t numero_scontrino);
// The receipt's payments (exported or not), plus the prize redeemed when include_prizes.
double getIncassoFromPagamenti(Context& ctx, int32_t id_testata_pos, db::Connection& connection, bool include_prizes);
// Links a fidelity transaction to a receipt header (document types 9 and 23 only).
bool AggiornaInfoTransazioneFidelity(Context& ctx, int32_t tipo_documento, int32_t id_documento,
                                     int32_t id_transazione, db::Connection& connection);

}  // namespace velkaris
