#include "components/causale.h"

#include "data/sql_helpers.h"
#include "db/recordset.h"

namespace velkaris {

void CausaleComponent::Load(Context& ctx, CompanionSql& sql, int32_t id_causale) {
  auto rs = sql.connection().OpenRecordset("Select * from tabCausali where IdCausale=" + std::to_string(id_causale),
                                           db::kStatic, db::kReadOnly);
  if (rs->Eof()) return;
  auto flag = [&](const char* column) { return db::CBool(TestNull(ctx, (*rs)[column], db::Value(false))); };
  gestionale_ = flag("Gestionale");
  ddt_ = flag("Ddt");
  fatture_ = flag("Fatture");
  preventivo_ = flag("Preventivo");
  inverti_magazzini_ = flag("InvertiMagazzini");
  esplodi_distinta_ = flag("EsplodiDistinta");
}

}  // namespace velkaris
