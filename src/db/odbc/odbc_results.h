// Reading what an executed statement returns: the rows of its result set, typed as the
// program expects, and its records affected.
#pragma once

#include <sql.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/engine.h"

namespace db::odbc {

struct StatementResults {
  ResultSet rows;                // the first result set
  int64_t records_affected = 0;  // the statement's own count
};

// How a result column is read: its ODBC type, and whether SQLite's driver only guessed a
// text type for an expression.
struct ColumnRead {
  SQLSMALLINT type = 0;
  bool untyped = false;
};

// The result columns of a prepared statement, described by the driver once: the same
// statement describes the same columns on every execution, whatever its rows.
struct ResultShape {
  std::shared_ptr<const std::vector<ColumnInfo>> columns;
  std::vector<ColumnRead> reads;
  std::shared_ptr<const ColumnIndex> index;
};

// A column of a result bound to a buffer (SQLite's driver): every fetch fills it, with no
// call per value. A text longer than its buffer is read whole with SQLGetData, which the
// driver allows on a bound column.
struct BoundColumn {
  enum Kind : unsigned char { kNone, kInteger, kBit, kReal, kText } kind = kNone;
  static constexpr size_t kTextBuffer = 128;
  SQLLEN indicator = 0;
  SQLBIGINT integer = 0;
  SQLINTEGER bit = 0;
  char text[kTextBuffer] = {};  // a text, or a number as the driver writes it
};

// What is kept between executions of a prepared statement.
struct PreparedResults {
  std::shared_ptr<const ResultShape> shape;  // filled at the first execution that returns rows
  // SQLite: one per column of `shape`, bound; never resized while bound.
  std::vector<BoundColumn> bound;
};

// Reads every result of a statement that returned `rc`, so that nothing is left pending on
// the connection and every error the server sent is raised. A trigger without NOCOUNT
// reports its own counts before the statement's: the last count is the statement's.
// `prepared` is given for a statement prepared once and run again.
StatementResults ReadResults(SQLHSTMT st, SQLRETURN rc, bool sqlite, const std::string& sql,
                             PreparedResults* prepared = nullptr);

}  // namespace db::odbc
