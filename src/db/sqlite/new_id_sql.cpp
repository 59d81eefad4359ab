#include "db/sqlite/new_id_sql.h"

#include <cctype>

#include "db/error.h"

namespace db::sqlite {
bool IsPlainIdentifier(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

std::string NewIdStatement(const std::string& table, const std::string& column, int32_t check_conflict,
                           bool returning) {
  if (!IsPlainIdentifier(table) || !IsPlainIdentifier(column)) {
    throw Error("GetNewID: invalid table or column name '" + table + "." + column + "'.");
  }
  // Never below 1, whatever the table or the counter holds (a table whose ids are all -1 or
  // lower would otherwise give 0 or a negative id).
  std::string next_from_table =
      check_conflict == 1 ? "max((SELECT ifnull(max(\"" + column + "\"), 0) FROM \"" + table + "\") + 1, 1)" : "1";
  return "INSERT INTO tabContatoriID (NomeTabella, NomeColonna, UltimoID) VALUES (?1, ?2, " + next_from_table +
         ") ON CONFLICT (NomeTabella, NomeColonna) DO UPDATE SET UltimoID = max(UltimoID + 1, " + next_from_table +
         ")" + (returning ? " RETURNING UltimoID" : "");
}

}  // namespace db::sqlite
