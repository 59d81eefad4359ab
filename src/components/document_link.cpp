#include "components/document_link.h"

#include "data/new_ids.h"
#include "db/recordset.h"

namespace velkaris {

void CollegaDocumenti(Context& ctx, CompanionSql& sql, int32_t id_scontrino, int32_t id_movimento,
                      int32_t id_riga_scontrino, int32_t id_riga_movimento, int32_t tipo_collegamento) {
  db::Connection& conn = sql.connection();
  int32_t id = funGetNuovoIdGENERICO(ctx, "tabDocumentiCollegati", "ID", conn);
  if (id <= 0) return;
  auto rs = conn.OpenRecordset("select * from tabDocumentiCollegati where 1=2", db::kStatic, db::kPessimistic);
  rs->AddNew();
  rs->Set("ID", db::Value(id));
  rs->Set("TipoCollegamento", db::Value(tipo_collegamento));
  rs->Set("idTestataOrigine", db::Value(id_scontrino));
  rs->Set("idDettaglioOrigine", db::Value(id_riga_scontrino));
  rs->Set("idTestataDestinazione", db::Value(id_movimento));
  rs->Set("idDettaglioDestinazione", db::Value(id_riga_movimento));
  rs->Set("DataCreaz", db::Value(ctx.clock.Now()));
  rs->Update();
  rs->Close();
}

}  // namespace velkaris
