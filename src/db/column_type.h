// SQL Server column types as declared in the schema, and how assigned values are
// converted to them (as the server would, failing as it would).
#pragma once

#include <string_view>

#include "db/engine.h"
#include "db/value.h"

namespace db {

ColumnKind KindOf(std::string_view decl_type);
// Declared length of a text column ("nvarchar(50)" -> 50), 0 when unbounded.
int TextLength(std::string_view decl_type);

// Converts a value assigned to a column to the column's type (its kind and max_length);
// Null stays Null.
// Throws db::Error naming the column when the server would refuse the value.
Value ToColumnType(const Value& v, const TableColumn& column);

}  // namespace db
