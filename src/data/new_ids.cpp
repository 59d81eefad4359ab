#include "data/new_ids.h"

#include "db/command.h"
#include "core/failure.h"

namespace velkaris {

int32_t funGetNuovoId(Context& ctx, const std::string& schema, const std::string& table,
                      const std::string& column, db::Connection& connection) {
  int32_t result = 0;
  Guarded(ctx, "funGetNuovoId", [&] {
    db::Command cmd(&connection);
    cmd.set_command_type(db::kCmdStoredProc);
    cmd.set_command_text("GetNewID");
    cmd.Append({"schemaName", db::kAdVarChar, db::kParamInput, 255, db::Value(schema)});
    cmd.Append({"tableName", db::kAdVarChar, db::kParamInput, 255, db::Value(table)});
    cmd.Append({"columnName", db::kAdVarChar, db::kParamInput, 255, db::Value(column)});
    cmd.Append({"checkConflictOnSourceTable", db::kAdInteger, db::kParamInput, 1, db::Value(1)});
    cmd.Append({"newID", db::kAdInteger, db::kParamOutput, 0, db::Value()});
    cmd.Execute();
    const db::Value& id = cmd.Item("newID").value;
    result = db::IsNumeric(id) && db::CLng(id) > 0 ? db::CLng(id) : -1;
  });
  return result;
}

int32_t funGetNuovoIdGENERICO(Context& ctx, const std::string& table, const std::string& column,
                              db::Connection& connection, int32_t, int32_t) {
  int32_t result = 0;
  Guarded(ctx, "funGetNuovoIdGENERICO", [&] { result = funGetNuovoId(ctx, "dbo", table, column, connection); });
  return result;
}

}  // namespace velkaris
