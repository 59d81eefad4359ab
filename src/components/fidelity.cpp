#include "components/fidelity.h"

#include "data/new_ids.h"
#include "data/sql_helpers.h"
#include "db/error.h"
#include "db/recordset.h"

namespace velkaris {

void CardRules::Open(Context& ctx, int32_t id_fidelity_card, db::Connection& connection) {
  auto rs = connection.OpenRecordset(
      "Select tabFidelity_Regole.ModalitaPunti, tabFidelity_Regole.PremiComeIncasso from tabFidelityCard INNER JOIN "
      "tabFidelity_Regole ON tabFidelityCard.idRegola = tabFidelity_Regole.idRegola where "
      "tabFidelityCard.idFidelityCard=" + std::to_string(id_fidelity_card),
      db::kStatic, db::kReadOnly);
  if (rs->Eof()) return;
  modalita_punti_ = db::CBool(TestNull(ctx, (*rs)["ModalitaPunti"], db::Value(true)));
  premi_come_incasso_ = db::CBool(TestNull(ctx, (*rs)["PremiComeIncasso"], db::Value(false)));
}

void FidelityCard::Open(Context& ctx, db::Connection& connection, int32_t id_fidelity_card, bool) {
  ctx_ = &ctx;
  connection_ = &connection;
  id_fidelity_card_ = id_fidelity_card;
}

int32_t FidelityCard::Scrivi(const MovimentoFidelity& m) {
  if (!connection_) throw db::Error("The fidelity card was not opened.");
  int32_t id = funGetNuovoIdGENERICO(*ctx_, "tabFidelity_Transazioni", "idTransazione", *connection_);
  if (id <= 0) return id;
  // A movement that cannot be stored is reported by its id alone: the caller logs the failure
  // and removes the receipt it belongs to.
  try {
    Store(id, m);
  } catch (const std::exception&) {
    return -1;
  }
  return id;
}

void FidelityCard::Store(int32_t id, const MovimentoFidelity& m) {
  auto rs = connection_->OpenRecordset("select * from tabFidelity_Transazioni where 1=2", db::kStatic,
                                       db::kPessimistic);
  rs->AddNew();
  rs->Set("idTransazione", db::Value(id));
  rs->Set("idFidelityCard", db::Value(id_fidelity_card_));
  rs->Set("idMagazzino", db::Value(m.idMagazzino));
  rs->Set("idCassa", db::Value(m.idCassa));
  rs->Set("IDCliente", db::Value(m.IDCliente));
  rs->Set("NumeroDocumento", db::Value(m.NumeroDocumento));
  rs->Set("DataMovimento", db::Value(m.DataMovimento));
  rs->Set("TipoMovimento", db::Value(m.TipoMovimento));
  rs->Set("DataValuta", db::Value(m.DataValuta));
  rs->Set("ImportoIncasso", db::Value(m.ImportoIncasso));
  rs->Set("Quantita", db::Value(m.Quantita));
  rs->Set("Codice", db::Value(m.Codice));
  rs->Set("Descrizione", db::Value(m.Descrizione));
  rs->Set("TipoDocumento", db::Value(m.TipoDocumento));
  rs->Set("idScontrino", db::Value(m.idDocumento));
  rs->Set("DataCreaz", db::Value(ctx_->clock.Now()));
  rs->Update();
  rs->Close();
}

}  // namespace velkaris
