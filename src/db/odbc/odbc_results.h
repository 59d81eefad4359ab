// Reading what an executed statement returns: the rows of its result set, typed as the
// program expects, and its records affected.
#pragma once

#include <sql.h>

#include <cstdint>
#include <string>

#include "db/engine.h"

namespace db::odbc {

struct StatementResults {
  ResultSet rows;                // the first result set
  int64_t records_affected = 0;  // the statement's own count
};

// Reads every result of a statement that returned `rc`, so that nothing is left pending on
// the connection and every error the server sent is raised. A trigger without NOCOUNT
// reports its own counts before the statement's: the last count is the statement's.
StatementResults ReadResults(SQLHSTMT st, SQLRETURN rc, bool sqlite, const std::string& sql);

}  // namespace db::odbc
