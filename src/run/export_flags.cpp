#include "run/export_flags.h"

#include "data/sql_helpers.h"
#include "core/failure.h"

namespace velkaris {

bool ParseCollectionForUpdatingRow(Context& ctx, SyncCollection& receipts) {
  bool result = false;
  Guarded(ctx, "ParseCollectionForUpdatingRow", [&] {
    if (receipts.empty()) return;
    std::string flag = BooleanForSql(ctx, true, kSqlServer);
    for (const auto& header : receipts) {
      for (const auto& row : header->Righe) {
        if (!(row->SincronizzatoMovMagBKF && row->SincronizzatoScontrinoBKF)) continue;
        std::string id = std::to_string(row->IdDettaglioPOS);
        if (ctx.connDbPuntoCassa->Execute("update tabDettaglio SET FlagExport=" + flag + " where idDettaglio=" + id) == 0) {
          ctx.logs.ScriviLogSincro(
              "ERRORE durante il tentativo di aggiornamento del campo 'FlagExport' where POSDettaglio.idDettaglio=" + id);
        }
        if (ctx.connDbPuntoCassa->Execute("Update tabPagamentiScontrini set FlagExport=" + flag +
                                          " where idTestata=" + std::to_string(header->IdTestataPOS)) == 0) {
          ctx.logs.ScriviLogSincro(
              "ERRORE durante il tentativo di aggiornamento del campo 'FlagExport' where POSPagamenti.idDettaglio=" + id);
        }
      }
    }
    result = true;
  });
  return result;
}

}  // namespace velkaris
