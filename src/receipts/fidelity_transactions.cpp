#include "receipts/fidelity_transactions.h"

#include "components/fidelity.h"
#include "data/sql_helpers.h"
#include "core/failure.h"

namespace velkaris {

int32_t ScriviRigaFidelityCard(Context& ctx, db::Recordset& rows, int32_t id_fidelity_card, int32_t id_testata_pos,
                               int32_t id_testata_backoffice, int32_t kind, int32_t numero_scontrino) {
  int32_t result = -1;
  Guarded(ctx, "ScriviRigaFidelityCard", [&] {
    CardRules rules;
    rules.Open(ctx, id_fidelity_card, *ctx.connDbLocale);
    FidelityCard card;
    card.Open(ctx, *ctx.connDbLocale, id_fidelity_card, false);
    auto v = [&](const char* column, const db::Value& fallback) { return TestNull(ctx, rows[column], fallback); };
    int32_t cliente = db::CLng(v("IDCliente", db::Value(-1)));
    db::Date when = DataOra(ctx, rows["Data"], rows["Ora"]);
    double earned = rules.ModalitaPunti()
                        ? db::CDbl(v("Fid_PuntiArticoli", db::Value(0))) + db::CDbl(v("Fid_PuntiSpesa", db::Value(0)))
                        : db::CDbl(v("Fid_ImportoArticoli", db::Value(0))) + db::CDbl(v("Fid_ImportoSpesa", db::Value(0)));
    double takings = getIncassoFromPagamenti(ctx, id_testata_pos, *ctx.connDbPuntoCassa, rules.PremiComeIncasso());

    MovimentoFidelity m;
    m.idMagazzino = ctx.settings.IdMagazzinoCorrente;
    m.idCassa = ctx.settings.IdCassa;
    m.IDCliente = cliente;
    m.NumeroDocumento = numero_scontrino;
    m.DataMovimento = m.DataValuta = when;
    m.TipoMovimento = 1;
    m.ImportoIncasso = takings;
    m.Quantita = earned;
    m.TipoDocumento = 9;
    m.idDocumento = id_testata_backoffice;
    result = card.Scrivi(m);
    AggiornaInfoTransazioneFidelity(ctx, kind == 2 ? 23 : 9, id_testata_backoffice, result, *ctx.connDbLocale);

    double prize = db::CDbl(v("Fid_ImportoOmaggi", db::Value(0)));
    if (db::CDbl(v("IdRiferimento", db::Value(-1))) <= 0 && rules.PremiComeIncasso() && prize > 0) {
      m.TipoMovimento = 4;
      m.ImportoIncasso = 0;
      m.Quantita = prize * -1;
      m.Descrizione = "Storno vincita fidelity card";
      card.Scrivi(m);
    }
  }, kErroreNonPrevisto);
  return result;
}

double getIncassoFromPagamenti(Context& ctx, int32_t id_testata_pos, db::Connection& connection, bool include_prizes) {
  double takings = 0;
  Guarded(ctx, "getIncassoFromPagamenti", [&] {
    std::string id = std::to_string(id_testata_pos);
    auto rs = connection.OpenRecordset(
        "SELECT Sum(tabPagamentiScontrini.ImportoIncassato) AS Incasso From tabPagamentiScontrini WHERE "
        "(((tabPagamentiScontrini.idTestata)=" + id + "))",
        db::kStatic, db::kReadOnly);
    if (!rs->Eof()) takings = db::CDbl(TestNull(ctx, (*rs)["Incasso"], db::Value(0)));
    rs->Close();
    if (include_prizes) {
      auto prizes = connection.OpenRecordset(
          "SELECT (tabTestate.Fid_ImportoOmaggi) AS Incasso From tabTestate WHERE tabTestate.idTestata=" + id,
          db::kStatic, db::kReadOnly);
      if (!prizes->Eof()) takings += db::CDbl(TestNull(ctx, (*prizes)["Incasso"], db::Value(0)));
      prizes->Close();
    }
  });
  return takings;
}

bool AggiornaInfoTransazioneFidelity(Context& ctx, int32_t tipo_documento, int32_t id_documento,
                                     int32_t id_transazione, db::Connection& connection) {
  bool result = false;
  Guarded(ctx, "AggiornaInfoTransazioneFidelity", [&] {
    if (tipo_documento != 9 && tipo_documento != 23) return;
    connection.ExecuteNoRecords(std::string("Update ") + "tabTestateScontrini" + " set " + "idTransazioneFidelity" +
                                "=" + std::to_string(id_transazione) + " where " + "idTestata" + "=" +
                                std::to_string(id_documento));
    result = true;
  });
  return result;
}

}  // namespace velkaris
