// ADO connection strings of SQL Server providers (SQLOLEDB, SQLNCLI*, MSOLEDBSQL) turned into
// ODBC connection strings for FreeTDS or Microsoft's driver. "Driver=" and "DSN=" strings
// are ODBC already and pass through unchanged.
#pragma once

#include <optional>
#include <string>

namespace db {

inline constexpr const char* kDefaultOdbcDriver = "FreeTDS";

struct OdbcTarget {
  std::string connection_string;  // always ends with ";"
  int login_timeout = 0;          // seconds; 0 = the driver's default
};

// Nothing when the string is for neither ODBC nor a SQL Server provider.
std::optional<OdbcTarget> ToOdbc(const std::string& ado, const std::string& driver = kDefaultOdbcDriver);

}  // namespace db
