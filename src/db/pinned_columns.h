// The rows a statement is about, when its conditions pin columns to values:
// "... WHERE idArticolo=5", or "UPDATE b SET ... FROM g INNER JOIN b ON g.Barcode = b.Barcode
// WHERE g.Barcode='80' AND g.IdMagazzino=1", which pins b.Barcode to '80' as well. A read the
// connection keeps that is about other rows than an UPDATE stays valid after it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"

namespace db {

// A column pinned to one value: the column's lower-case name without table or quotes, and
// the value in a form where values that may compare equal are the same (5, 5.0 and '5';
// 'ab ' and 'AB', as text compares on SQLite and SQL Server alike).
struct PinnedColumn {
  std::string column;
  std::string value;
  bool operator==(const PinnedColumn&) const = default;
};

// The columns of `table` that the ON and WHERE conditions of a SELECT or UPDATE pin to a
// value each. Empty unless every condition is an equality of columns, literals and '?'
// marks joined by AND, over inner joins only; `params` are the values of the '?' marks.
// A column without a table prefix belongs to `table` when the statement names one table.
std::vector<PinnedColumn> PinnedColumns(std::string_view sql, std::string_view table,
                                        const std::vector<Value>& params = {});

// The same for a statement of one table that ends in "WHERE <column> = <value>", read from
// its end without reading the rest: that column, or nothing for any other ending.
std::optional<PinnedColumn> PinnedByWhereTail(std::string_view sql, std::string_view table,
                                              const std::vector<Value>& params = {});

}  // namespace db
