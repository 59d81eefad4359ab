// Discount reasons given at the till, copied to the back office keyed to the movement
// header and row, and marked exported in the front office.
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "core/context.h"

namespace velkaris {

// Copies the reasons of a POS row, or else the receipt's whole-receipt reason (once).
// Returns the last back-office ID written (0 when none, -1 when no reason was found);
// `ok` is True when the procedure ended normally.
int32_t AggiornaTabGiustificaSconto(Context& ctx, db::Connection& front, db::Connection& back, int32_t id_riga_pos,
                                    int32_t id_testata_pos, int32_t id_riga_movimento, int32_t id_testata_movimento,
                                    bool& ok);
std::string SQL_ExportRigheGiustificaSconto(Context& ctx, bool exported, int32_t id_riga, int32_t id_testata);

}  // namespace velkaris
