// Test support: inserts a row of any table from column/value pairs, through the database
// layer (so values are converted as the program's own writes are).
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "db/connection.h"
#include "db/value.h"

namespace testing_support {

using Columns = std::initializer_list<std::pair<const char*, db::Value>>;

// `overrides` are assigned after `columns`, so they win for a column named in both.
void Insert(db::Connection& connection, const std::string& table, Columns columns, Columns overrides = {});
// Every row of every table, in key order, one line a row: for comparing databases.
std::string DumpTables(db::Connection& connection);
// The first row of a query, as a map-like recordset; throws when there is none.
db::Value Scalar(db::Connection& connection, const std::string& sql);

}  // namespace testing_support
