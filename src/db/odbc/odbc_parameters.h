// Binding the positional parameters of a statement. On SQL Server every text goes as wide
// characters (NVARCHAR) of a fixed declared size, NVARCHAR(4000) or NVARCHAR(MAX) when
// longer, so no character is lost to the server's code page, nothing is cut, and the server
// reuses one plan whatever the lengths of the values. SQLite's driver gets UTF-8 text.
#pragma once

#include <sql.h>

#include <string>

#include "db/value.h"

namespace db::odbc {

// Characters of the NVARCHAR(n) declaration that every text up to that length shares.
inline constexpr size_t kNVarCharChars = 4000;

// The buffers of one bound parameter; they must live until the statement has run.
struct BoundParameter {
  SQLLEN indicator = 0;
  SQLINTEGER l = 0;
  SQLBIGINT ll = 0;
  double d = 0;
  unsigned char b = 0;
  std::string text;
  std::u16string wide;
  SQL_TIMESTAMP_STRUCT ts{};
};

// Binds `v` as input parameter `index` of `st`; throws db::Error (with `sql`) when refused.
void BindParameter(SQLHSTMT st, SQLUSMALLINT index, const Value& v, BoundParameter& b, bool sqlite,
                   const std::string& sql);

}  // namespace db::odbc
