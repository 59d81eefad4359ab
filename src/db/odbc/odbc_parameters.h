// Binding the positional parameters of a statement. On SQL Server every text goes as wide
// characters (NVARCHAR) of a fixed declared size, NVARCHAR(4000) or NVARCHAR(MAX) when
// longer, so no character is lost to the server's code page, nothing is cut, and the server
// reuses one plan whatever the lengths of the values. SQLite's driver gets UTF-8 text.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "db/value.h"

namespace db::odbc {

// Characters of the NVARCHAR(n) declaration that every text up to that length shares.
inline constexpr size_t kNVarCharChars = 4000;

// How a parameter is bound: what SQLBindParameter was last given.
struct Binding {
  SQLSMALLINT c_type = SQL_C_CHAR, sql_type = SQL_VARCHAR;
  SQLPOINTER data = nullptr;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  SQLLEN buffer_length = 0;
  bool operator==(const Binding&) const = default;
};

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
  bool bound = false;  // `binding` is what the statement holds for this parameter
  Binding binding;
};

// Binds `v` as input parameter `index` of `st`; throws db::Error (with `sql`) when refused.
void BindParameter(SQLHSTMT st, SQLUSMALLINT index, const Value& v, BoundParameter& b, bool sqlite,
                   const std::string& sql);

// The same for a statement executed again with the same buffers, on SQLite's driver: the value
// is written into `b`, and the parameter bound again only when its type or buffer changed (the
// driver reads the buffer and its length when the statement runs). A Null keeps the binding.
void RebindParameter(SQLHSTMT st, SQLUSMALLINT index, const Value& v, BoundParameter& b, const std::string& sql);

}  // namespace db::odbc
