// Creates an SQLite database file from a schema script (the demo and the tests use it).
#pragma once

#include <string>

namespace db::sqlite {

// Creates (or extends) the database at `path` by running every statement of `script`.
// Throws db::Error naming the file on failure.
void CreateDatabase(const std::string& path, const std::string& script);

}  // namespace db::sqlite
