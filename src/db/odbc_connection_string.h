// ADO connection strings of SQL Server providers (SQLOLEDB, SQLNCLI*, MSOLEDBSQL) turned into
// ODBC connection strings for FreeTDS or Microsoft's driver. "Driver=" and "DSN=" strings
// are ODBC already and pass through unchanged.
#pragma once

#include <optional>
#include <string>

namespace db {

inline constexpr const char* kDefaultOdbcDriver = "FreeTDS";

// What the program adds to a translated string.
struct OdbcOptions {
  std::string driver = kDefaultOdbcDriver;
  std::string workstation_id;       // this machine's name, sent as WSID whatever the string says
  std::string default_application;  // sent as APP when the string names no application
  int query_timeout = 30;           // seconds for every statement, 0 = no limit (ADO's CommandTimeout)
};

struct OdbcTarget {
  std::string connection_string;  // always ends with ";"
  int login_timeout = 15;         // seconds, 0 = no limit: "Connect Timeout", else ADO's 15
  int query_timeout = 30;
  bool integrated_security = false;  // a failed login then says what Kerberos needs
};

// Nothing when the string is for neither ODBC nor a SQL Server provider.
std::optional<OdbcTarget> ToOdbc(const std::string& ado, const OdbcOptions& options = {});

// "KEY=value;" for an ODBC string: a value with ';', '{', '}' or blanks at its edges goes
// in braces, so that the driver reads it whole. Microsoft's drivers read "}}" inside braces
// as one '}'; FreeTDS ends a braced value at the first "};" and takes "}}" literally, so
// for it nothing is doubled and a value holding "};" cannot be written (db::Error).
std::string OdbcItem(const std::string& key, const std::string& value, bool freetds = false);

}  // namespace db
