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

void Insert(db::Connection& connection, const std::string& table, Columns columns);
// The first row of a query, as a map-like recordset; throws when there is none.
db::Value Scalar(db::Connection& connection, const std::string& sql);

}  // namespace testing_support
