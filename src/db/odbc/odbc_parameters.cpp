#include "db/odbc/odbc_parameters.h"

#include <sqlext.h>

#include "db/odbc/odbc_diagnostics.h"
#include "util/text.h"

namespace db::odbc {
namespace {

// SQL Server: UTF-16 as NVARCHAR(4000), or NVARCHAR(MAX) (size 0) beyond 4000 characters.
// A Null goes the same way: it converts to any column type, and keeps one declaration.
Binding WideText(const Value& v, BoundParameter& b) {
  Binding g;
  g.c_type = SQL_C_WCHAR, g.sql_type = SQL_WVARCHAR;
  if (v.IsNull()) {
    b.indicator = SQL_NULL_DATA;
    g.size = kNVarCharChars;
    return g;
  }
  b.wide = util::Utf8ToUtf16(v.AsText());
  b.indicator = static_cast<SQLLEN>(b.wide.size() * sizeof(char16_t));
  g.data = b.wide.data();
  g.buffer_length = b.indicator;
  g.size = b.wide.size() <= kNVarCharChars ? kNVarCharChars : b.wide.size();
  if (b.wide.size() > kNVarCharChars) g.sql_type = SQL_WLONGVARCHAR;
  return g;
}

// UTF-8 text (SQLite's driver). A buffer `kept` bound from one execution to the next is
// declared as long as it holds, so that a shorter or equal text needs no new binding.
Binding NarrowText(const std::string& text, BoundParameter& b, bool kept) {
  Binding g;
  b.text = text;
  b.indicator = static_cast<SQLLEN>(b.text.size());
  g.data = b.text.data();
  size_t declared = std::max<size_t>(kept ? b.text.capacity() : b.text.size(), 1);
  g.buffer_length = static_cast<SQLLEN>(kept ? declared : b.text.size());
  g.size = static_cast<SQLULEN>(declared);
  return g;
}

Binding Timestamp(const Date& d, BoundParameter& b) {
  Date::Parts p = d.ToParts();
  b.ts = {static_cast<SQLSMALLINT>(p.year),   static_cast<SQLUSMALLINT>(p.month),  static_cast<SQLUSMALLINT>(p.day),
          static_cast<SQLUSMALLINT>(p.hour),  static_cast<SQLUSMALLINT>(p.minute), static_cast<SQLUSMALLINT>(p.second),
          static_cast<SQLUINTEGER>(p.millisecond * 1000000)};
  Binding g;
  g.c_type = SQL_C_TYPE_TIMESTAMP, g.sql_type = SQL_TYPE_TIMESTAMP, g.data = &b.ts, g.size = 23, g.digits = 3;
  return g;
}

// Fills `b` with `v` and tells how to bind it; `kept`: text in a buffer kept between executions.
Binding Fill(const Value& v, BoundParameter& b, bool sqlite, bool kept) {
  Binding g;
  b.indicator = 0;
  switch (v.type()) {
    case Type::Null:
      if (!sqlite) {
        g = WideText(v, b);
      } else {
        b.indicator = SQL_NULL_DATA, g.size = 1;
      }
      break;
    case Type::Boolean: b.b = v.AsBool() ? 1 : 0, g.c_type = SQL_C_BIT, g.sql_type = SQL_BIT, g.data = &b.b; break;
    case Type::Long: b.l = v.AsLong(), g.c_type = SQL_C_SLONG, g.sql_type = SQL_INTEGER, g.data = &b.l; break;
    case Type::LongLong:
      b.ll = v.AsLongLong(), g.c_type = SQL_C_SBIGINT, g.sql_type = SQL_BIGINT, g.data = &b.ll;
      break;
    case Type::Double: b.d = v.AsDouble(), g.c_type = SQL_C_DOUBLE, g.sql_type = SQL_DOUBLE, g.data = &b.d; break;
    case Type::Text: g = sqlite ? NarrowText(v.AsText(), b, kept) : WideText(v, b); break;
    case Type::Date:
      // SQLite keeps dates as ISO text, the form the program compares with.
      g = sqlite ? NarrowText(ToIso(v.AsDate()), b, kept) : Timestamp(v.AsDate(), b);
      break;
  }
  return g;
}

void Bind(SQLHSTMT st, SQLUSMALLINT index, const Binding& g, BoundParameter& b, const std::string& sql) {
  Check(SQLBindParameter(st, index, SQL_PARAM_INPUT, g.c_type, g.sql_type, g.size, g.digits, g.data,
                         g.buffer_length, &b.indicator),
        SQL_HANDLE_STMT, st, sql);
  b.binding = g;
  b.bound = true;
}

}  // namespace

void BindParameter(SQLHSTMT st, SQLUSMALLINT index, const Value& v, BoundParameter& b, bool sqlite,
                   const std::string& sql) {
  Bind(st, index, Fill(v, b, sqlite, false), b, sql);
}

void RebindParameter(SQLHSTMT st, SQLUSMALLINT index, const Value& v, BoundParameter& b, const std::string& sql) {
  if (v.IsNull() && b.bound) {
    b.indicator = SQL_NULL_DATA;  // a Null goes as any type
    return;
  }
  Binding g = Fill(v, b, true, true);
  if (!b.bound || !(g == b.binding)) Bind(st, index, g, b, sql);
}

}  // namespace db::odbc
