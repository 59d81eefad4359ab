#include "run/selection.h"

#include "data/sql_helpers.h"
#include "run/connections.h"
#include "core/failure.h"

namespace velkaris {

bool RecuperaTestate(Context& ctx, int32_t& kind, SyncCollection& receipts) {
  bool result = false;
  Guarded(ctx, "TovoVelkaris_RecuperaTestate", [&] {
    if (!AvviaConnessioneBackoffice(ctx, false)) return;
    if (!AvviaConnessionePcassa(ctx, false)) return;
    int causale = kind == 2 ? 5 : 4;
    std::string sql = std::string("SELECT distinct tabTestate.idTestata ") +
                      " FROM tabDettaglio INNER JOIN tabTestate ON tabDettaglio.IdTestata = tabTestate.idTestata " +
                      " WHERE (tabDettaglio.FlagExport = 0 or tabDettaglio.FlagExport is null) " +
                      " AND tabTestate.Printed <> 0" + " AND tabTestate.Printed is not null " +
                      " and tabTestate.IdCausale=" + std::to_string(causale) + " GROUP BY tabTestate.idTestata " +
                      " ORDER BY tabTestate.idTestata ";
    auto rs = ctx.connDbPuntoCassa->OpenRecordset(sql, db::kStatic, db::kReadOnly);
    for (; !rs->Eof(); rs->MoveNext()) {
      auto record = std::make_shared<clsSincroTestataScontrino>();
      record->IdTestataMovMagBKF = -1;
      record->IdTestataScontrinoBKF = -1;
      db::Value id = TestNull(ctx, (*rs)["idTestata"], db::Value(-1));
      record->IdTestataPOS = db::CLng(id);
      record->SincronizzatoScontrinoBKF = false;
      record->SincronizzatoMovMagBKF = false;
      receipts.Add(record, "ID_" + db::CStr(id));
    }
    rs->Close();
    result = true;
  });
  return result;
}

}  // namespace velkaris
