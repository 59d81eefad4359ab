// The two timeouts of ADO, given to the ODBC driver: the login timeout (ADO's
// ConnectionTimeout, 15 seconds unless the string says "Connect Timeout") and the query
// timeout of every statement (ADO's CommandTimeout, 30 seconds), so that a server that
// never answers, or a lock that is never released, ends the run with an error instead of
// hanging it.
#pragma once

#include <sql.h>

namespace db::odbc {

inline constexpr int kDefaultLoginTimeout = 15;
inline constexpr int kDefaultQueryTimeout = 30;

// Seconds; 0 waits without limit.
void SetLoginTimeout(SQLHDBC dbc, int seconds);
void SetQueryTimeout(SQLHSTMT st, int seconds);
// What the driver holds, -1 when it does not tell.
int LoginTimeout(SQLHDBC dbc);
int QueryTimeout(SQLHSTMT st);

}  // namespace db::odbc
