// Turns the literal values of a SQLite statement into parameters, so that statements that
// differ only in their values share one prepared statement. The program builds its SQL as
// text with the values written in; preparing each text from scratch cost more than running it.
#pragma once

#include <string>
#include <vector>

#include "db/value.h"

namespace db::sqlite {

struct ParameterizedSql {
  std::string text;           // the statement with ?1, ?2, ... where the literals were
  std::vector<Value> params;  // the literals, in order: Text, or a 64-bit integer or Double
};

// Only SELECT, INSERT, UPDATE and DELETE are rewritten, and only where a bound value means
// exactly what the literal meant: not in a select list (the literal would name its
// column), not in ORDER BY / GROUP BY (a number there is a column position), not in a
// type's length. Anything else comes back unchanged with no parameters.
ParameterizedSql ParameterizeLiterals(const std::string& sql);

}  // namespace db::sqlite
