// The one statement that answers "GetNewID" on an SQLite database: the counter row of the
// table and column is created or advanced atomically, never below the table's own maximum
// when the conflict check is asked for.
#pragma once

#include <cstdint>
#include <string>

namespace db::sqlite {

// Letters, digits and underscores only: safe to put between double quotes in SQL text.
bool IsPlainIdentifier(const std::string& name);

// Parameters: ?1 the table name, ?2 the column name (both in lower case). With `returning`
// the statement returns the new id as one row; without, read it with kNewIdCounterQuery in
// the same transaction. Throws db::Error for names that are not plain identifiers.
std::string NewIdStatement(const std::string& table, const std::string& column, int32_t check_conflict,
                           bool returning = true);
inline constexpr const char* kNewIdCounterQuery =
    "SELECT UltimoID FROM tabContatoriID WHERE NomeTabella = ?1 AND NomeColonna = ?2";

}  // namespace db::sqlite
