// Our document link component: records which warehouse movement row a receipt row
// produced, in tabDocumentiCollegati.
#pragma once

#include <cstdint>

#include "core/companion_sql.h"
#include "core/context.h"

namespace velkaris {

// Writes one link; errors reach the caller.
void CollegaDocumenti(Context& ctx, CompanionSql& sql, int32_t id_scontrino, int32_t id_movimento,
                      int32_t id_riga_scontrino, int32_t id_riga_movimento, int32_t tipo_collegamento);

}  // namespace velkaris
