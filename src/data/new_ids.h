// New identifiers for back-office rows, from the database's "GetNewID" procedure.
#pragma once

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "core/context.h"

namespace velkaris {

// The new id (> 0); -1 when the procedure gave no usable id; 0 after an error.
int32_t funGetNuovoIdGENERICO(Context& ctx, const std::string& table, const std::string& column,
                              db::Connection& connection, int32_t unused1 = -1, int32_t unused2 = -1);
int32_t funGetNuovoId(Context& ctx, const std::string& schema, const std::string& table,
                      const std::string& column, db::Connection& connection);

}  // namespace velkaris
