// The diagnostic records of an ODBC handle, every one whole, as "[SQLSTATE/native] message",
// and the check that turns a failed call into db::Error.
#pragma once

#include <sql.h>

#include <string>
#include <vector>

namespace db::odbc {

struct DiagRecord {
  std::string state;  // SQLSTATE, "HYT00"
  int native = 0;     // the server's error number
  std::string message;
};

std::vector<DiagRecord> DiagRecords(SQLSMALLINT type, SQLHANDLE handle);
// All records joined, each "[42S02/208] [FreeTDS][SQL Server]Invalid object name 't'.";
// "ODBC call failed" when the driver left none.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle);
std::string Describe(const std::vector<DiagRecord>& records);

// Throws db::Error with the diagnostics (and the SQL text, when given) unless rc succeeded.
void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& sql);

}  // namespace db::odbc
