#include "db/odbc/odbc_timeouts.h"

#include <sqlext.h>

#include <cstdint>

namespace db::odbc {

void SetLoginTimeout(SQLHDBC dbc, int seconds) {
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(seconds)), 0);
}

void SetQueryTimeout(SQLHSTMT st, int seconds) {
  SQLSetStmtAttr(st, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(seconds)), 0);
}

int LoginTimeout(SQLHDBC dbc) {
  SQLULEN v = 0;
  if (!SQL_SUCCEEDED(SQLGetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, &v, 0, nullptr))) return -1;
  return static_cast<int>(v);
}

int QueryTimeout(SQLHSTMT st) {
  SQLULEN v = 0;
  if (!SQL_SUCCEEDED(SQLGetStmtAttr(st, SQL_ATTR_QUERY_TIMEOUT, &v, 0, nullptr))) return -1;
  return static_cast<int>(v);
}

}  // namespace db::odbc
