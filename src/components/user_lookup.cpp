#include "components/user_lookup.h"

#include "data/sql_helpers.h"
#include "db/recordset.h"

namespace velkaris {

int32_t UtenteDaOperatore(Context& ctx, int32_t id_operatore, db::Connection& connection) {
  auto rs = connection.OpenRecordset("Select idUtente from tabPersonale where id=" + std::to_string(id_operatore),
                                     db::kStatic, db::kReadOnly);
  int32_t user = rs->Eof() ? -1 : db::CLng(TestNull(ctx, (*rs)["idUtente"], db::Value(-1)));
  rs->Close();
  return user;
}

}  // namespace velkaris
