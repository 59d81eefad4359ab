#include "db/odbc/odbc_results.h"

#include <sqlext.h>

#include <cctype>
#include <charconv>
#include <cstdlib>

#include "db/odbc/odbc_diagnostics.h"
#include "util/text.h"

namespace db::odbc {
namespace {

bool IsIntegerType(SQLSMALLINT t) { return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_TINYINT; }
bool IsFloatType(SQLSMALLINT t) {
  return t == SQL_DOUBLE || t == SQL_FLOAT || t == SQL_REAL || t == SQL_NUMERIC || t == SQL_DECIMAL;
}
bool IsDateType(SQLSMALLINT t) {
  return t == SQL_TYPE_TIMESTAMP || t == SQL_TYPE_DATE || t == SQL_TYPE_TIME || t == SQL_TIMESTAMP || t == SQL_DATE;
}

// The text of a column, read in pieces when it is long; false when Null.
bool ReadNarrowText(SQLHSTMT st, SQLUSMALLINT i, std::string* out, const std::string& sql) {
  out->clear();
  char buf[4096];
  for (;;) {
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(st, i, SQL_C_CHAR, buf, sizeof buf, &ind);
    if (rc == SQL_NO_DATA) break;
    Check(rc, SQL_HANDLE_STMT, st, sql);
    if (ind == SQL_NULL_DATA) return false;
    size_t got = (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf)) ? sizeof buf - 1 : static_cast<size_t>(ind);
    out->append(buf, got);
    if (rc == SQL_SUCCESS) break;
  }
  return true;
}

// The same in wide characters (SQL Server), whatever the client character set.
bool ReadWideText(SQLHSTMT st, SQLUSMALLINT i, std::string* out, const std::string& sql) {
  std::u16string all;
  SQLWCHAR buf[2048];
  for (;;) {
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(st, i, SQL_C_WCHAR, buf, sizeof buf, &ind);
    if (rc == SQL_NO_DATA) break;
    Check(rc, SQL_HANDLE_STMT, st, sql);
    if (ind == SQL_NULL_DATA) return false;
    size_t room = sizeof buf / sizeof buf[0] - 1;
    size_t got = (ind == SQL_NO_TOTAL || ind / 2 >= static_cast<SQLLEN>(room)) ? room : static_cast<size_t>(ind / 2);
    all.append(reinterpret_cast<const char16_t*>(buf), got);
    if (rc == SQL_SUCCESS) break;
  }
  *out = util::Utf16ToUtf8(all);
  return true;
}

// A value whose type the driver did not tell (an SQLite expression): numbers and ISO dates
// as SQLite stored them, anything else as text.
Value FromUntypedText(const std::string& text) {
  Date d;
  bool iso_shape = text.size() >= 19 && text.compare(4, 1, "-") == 0 && text.compare(10, 1, " ") == 0;
  if (iso_shape && ParseIso(text, &d)) return Value(d);
  char* end = nullptr;
  if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-')) {
    long long ll = std::strtoll(text.c_str(), &end, 10);
    if (*end == '\0') return ll >= INT32_MIN && ll <= INT32_MAX ? Value(static_cast<int32_t>(ll)) : Value(static_cast<int64_t>(ll));
    double dv = std::strtod(text.c_str(), &end);
    if (*end == '\0') return Value(dv);
  }
  return Value(text);
}

// A text read from a column, as its column makes it a value.
Value TextValue(std::string text, ColumnRead column) {
  if (IsDateType(column.type)) {
    Date d;
    return ParseIso(text, &d) ? Value(d) : Value(text);
  }
  if (column.untyped) return FromUntypedText(text);
  return Value(std::move(text));
}

Value ReadValue(SQLHSTMT st, SQLUSMALLINT i, ColumnRead column, bool sqlite, const std::string& sql) {
  SQLSMALLINT type = column.type;
  SQLLEN ind = 0;
  if (IsIntegerType(type) || type == SQL_BIGINT) {
    SQLBIGINT v = 0;
    Check(SQLGetData(st, i, SQL_C_SBIGINT, &v, 0, &ind), SQL_HANDLE_STMT, st, sql);
    if (ind == SQL_NULL_DATA) return Value();
    if (type == SQL_BIGINT || v < INT32_MIN || v > INT32_MAX) return Value(static_cast<int64_t>(v));
    return Value(static_cast<int32_t>(v));
  }
  if (type == SQL_BIT) {
    SQLINTEGER v = 0;
    Check(SQLGetData(st, i, SQL_C_SLONG, &v, 0, &ind), SQL_HANDLE_STMT, st, sql);
    return ind == SQL_NULL_DATA ? Value() : Value(v != 0);
  }
  if (IsFloatType(type)) {
    double v = 0;
    Check(SQLGetData(st, i, SQL_C_DOUBLE, &v, 0, &ind), SQL_HANDLE_STMT, st, sql);
    return ind == SQL_NULL_DATA ? Value() : Value(v);
  }
  if (IsDateType(type) && !sqlite) {
    SQL_TIMESTAMP_STRUCT ts{};
    Check(SQLGetData(st, i, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind), SQL_HANDLE_STMT, st, sql);
    if (ind == SQL_NULL_DATA) return Value();
    return Value(Date::FromParts(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                                 static_cast<int>(ts.fraction / 1000000)));
  }
  std::string text;
  bool read = sqlite ? ReadNarrowText(st, i, &text, sql) : ReadWideText(st, i, &text, sql);
  if (!read) return Value();
  return TextValue(std::move(text), column);
}

std::shared_ptr<const ResultShape> Describe(SQLHSTMT st, SQLSMALLINT n, bool sqlite, const std::string& sql) {
  auto shape = std::make_shared<ResultShape>();
  auto columns = std::make_shared<std::vector<ColumnInfo>>();
  shape->reads.resize(n);
  for (SQLSMALLINT i = 1; i <= n; ++i) {
    SQLCHAR name[256];
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    Check(SQLDescribeCol(st, i, name, sizeof name, &name_length, &type, &size, &digits, &nullable), SQL_HANDLE_STMT,
          st, sql);
    SQLCHAR type_name[128] = {};
    SQLSMALLINT type_name_length = 0;
    SQLColAttribute(st, i, SQL_DESC_TYPE_NAME, type_name, sizeof type_name, &type_name_length, nullptr);
    std::string declared = reinterpret_cast<char*>(type_name);
    shape->reads[i - 1] = {type, sqlite && type == SQL_VARCHAR && declared == "varchar"};
    columns->push_back({reinterpret_cast<char*>(name), declared});
  }
  shape->index = MakeColumnIndex(*columns);
  shape->columns = std::move(columns);
  return shape;
}

// Binds the columns of `shape` to the buffers of `bound`, once per prepared statement.
void BindColumns(SQLHSTMT st, const ResultShape& shape, std::vector<BoundColumn>& bound, const std::string& sql) {
  SQLFreeStmt(st, SQL_UNBIND);
  bound = std::vector<BoundColumn>(shape.reads.size());
  for (size_t k = 0; k < bound.size(); ++k) {
    SQLSMALLINT type = shape.reads[k].type;
    BoundColumn& b = bound[k];
    SQLUSMALLINT i = static_cast<SQLUSMALLINT>(k + 1);
    if (IsIntegerType(type) || type == SQL_BIGINT) {
      b.kind = BoundColumn::kInteger;
      Check(SQLBindCol(st, i, SQL_C_SBIGINT, &b.integer, 0, &b.indicator), SQL_HANDLE_STMT, st, sql);
    } else if (type == SQL_BIT) {
      b.kind = BoundColumn::kBit;
      Check(SQLBindCol(st, i, SQL_C_SLONG, &b.bit, 0, &b.indicator), SQL_HANDLE_STMT, st, sql);
    } else if (IsFloatType(type)) {
      // As the text the driver keeps it in: parsing it here costs less than the driver's
      // conversion, and gives the same number.
      b.kind = BoundColumn::kReal;
      Check(SQLBindCol(st, i, SQL_C_CHAR, b.text, sizeof b.text, &b.indicator), SQL_HANDLE_STMT, st, sql);
    } else {
      b.kind = BoundColumn::kText;
      Check(SQLBindCol(st, i, SQL_C_CHAR, b.text, sizeof b.text, &b.indicator), SQL_HANDLE_STMT, st, sql);
    }
  }
}

// A value the fetch left in its buffer, typed as ReadValue types it; a text too long for its
// buffer is read whole from the row.
Value BoundValue(SQLHSTMT st, SQLUSMALLINT i, const BoundColumn& b, ColumnRead column, const std::string& sql) {
  if (b.indicator == SQL_NULL_DATA) return Value();
  SQLSMALLINT type = column.type;
  switch (b.kind) {
    case BoundColumn::kInteger:
      if (type == SQL_BIGINT || b.integer < INT32_MIN || b.integer > INT32_MAX) {
        return Value(static_cast<int64_t>(b.integer));
      }
      return Value(static_cast<int32_t>(b.integer));
    case BoundColumn::kBit: return Value(b.bit != 0);
    case BoundColumn::kText: {
      if (b.indicator >= 0 && static_cast<size_t>(b.indicator) < sizeof b.text) {
        return TextValue(std::string(b.text, static_cast<size_t>(b.indicator)), column);
      }
      std::string text;
      if (!ReadNarrowText(st, i, &text, sql)) return Value();
      return TextValue(std::move(text), column);
    }
    default: {
      double v = 0;
      if (b.indicator > 0 && static_cast<size_t>(b.indicator) < sizeof b.text) {
        const char* end = b.text + b.indicator;
        auto parsed = std::from_chars(b.text, end, v);
        if (parsed.ec == std::errc() && parsed.ptr == end) return Value(v);
      }
      // Anything else (a text in a number column, say) is converted as the driver converts it.
      SQLLEN ind = 0;
      Check(SQLGetData(st, i, SQL_C_DOUBLE, &v, 0, &ind), SQL_HANDLE_STMT, st, sql);
      return ind == SQL_NULL_DATA ? Value() : Value(v);
    }
  }
}

ResultSet ReadResultSet(SQLHSTMT st, SQLSMALLINT n, bool sqlite, const std::string& sql, PreparedResults* prepared) {
  std::shared_ptr<const ResultShape> shape;
  if (prepared && prepared->shape && prepared->shape->reads.size() == static_cast<size_t>(n)) {
    shape = prepared->shape;
  } else {
    shape = Describe(st, n, sqlite, sql);
    if (prepared) {
      prepared->shape = shape;
      prepared->bound.clear();
      if (sqlite) BindColumns(st, *shape, prepared->bound, sql);
    }
  }
  const std::vector<BoundColumn>* bound = prepared && !prepared->bound.empty() ? &prepared->bound : nullptr;
  ResultSet rs;
  rs.columns = shape->columns;
  rs.index = shape->index;
  SQLRETURN rc;
  while ((rc = SQLFetch(st)) != SQL_NO_DATA) {
    Check(rc, SQL_HANDLE_STMT, st, sql);
    std::vector<Value> row;
    row.reserve(n);
    for (SQLSMALLINT i = 1; i <= n; ++i) {
      const ColumnRead& read = shape->reads[i - 1];
      if (bound && (*bound)[i - 1].kind != BoundColumn::kNone) {
        row.push_back(BoundValue(st, i, (*bound)[i - 1], read, sql));
      } else {
        row.push_back(ReadValue(st, i, read, sqlite, sql));
      }
    }
    rs.rows.push_back(std::move(row));
  }
  return rs;
}

}  // namespace

StatementResults ReadResults(SQLHSTMT st, SQLRETURN rc, bool sqlite, const std::string& sql,
                             PreparedResults* prepared) {
  StatementResults out;
  bool have_rows = false;
  for (;;) {
    Check(rc, SQL_HANDLE_STMT, st, sql);
    SQLSMALLINT n = 0;
    if (rc != SQL_NO_DATA) SQLNumResultCols(st, &n);
    if (n > 0 && !have_rows) {
      out.rows = ReadResultSet(st, n, sqlite, sql, prepared);
      have_rows = true;
    } else if (n == 0) {
      SQLLEN count = 0;
      if (rc != SQL_NO_DATA) SQLRowCount(st, &count);
      if (count >= 0) out.records_affected = count;
    }
    rc = SQLMoreResults(st);
    if (rc == SQL_NO_DATA) break;
  }
  return out;
}

}  // namespace db::odbc
