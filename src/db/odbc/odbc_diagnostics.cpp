#include "db/odbc/odbc_diagnostics.h"

#include <sqlext.h>

#include "db/error.h"

namespace db::odbc {
namespace {

// A query timeout says what it was and what usually causes it.
constexpr const char* kTimeoutHint =
    " The statement did not finish within the query timeout (registry value \"Velkarys.CommandTimeout\", "
    "30 seconds unless set): another session probably holds a lock on the rows it needs.";

}  // namespace

std::vector<DiagRecord> DiagRecords(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<DiagRecord> records;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::string message(512, '\0');
    SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, reinterpret_cast<SQLCHAR*>(message.data()),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      // Longer than the buffer: ask again with room for the whole text.
      message.assign(static_cast<size_t>(length) + 1, '\0');
      rc = SQLGetDiagRec(type, handle, i, state, &native, reinterpret_cast<SQLCHAR*>(message.data()),
                         static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    message.resize(std::min<size_t>(static_cast<size_t>(length), message.size()));
    if (!message.empty() && message.back() == '\0') message.resize(message.find('\0'));
    records.push_back({reinterpret_cast<char*>(state), static_cast<int>(native), std::move(message)});
  }
  return records;
}

std::string Describe(const std::vector<DiagRecord>& records) {
  std::string all;
  bool timeout = false;
  for (const DiagRecord& r : records) {
    if (!all.empty()) all += " ";
    all += "[" + r.state + "/" + std::to_string(r.native) + "] " + r.message;
    timeout = timeout || r.state == "HYT00" || r.state == "HYT01";
  }
  if (all.empty()) return "ODBC call failed";
  return timeout ? all + kTimeoutHint : all;
}

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) { return Describe(DiagRecords(type, handle)); }

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& sql) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
  throw Error(Diagnostics(type, handle) + (sql.empty() ? "" : " [SQL: " + sql + "]"));
}

}  // namespace db::odbc
