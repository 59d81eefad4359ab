#include "receipts/payments.h"

#include "data/new_ids.h"
#include "data/sql_helpers.h"
#include "data/sync_ledger.h"
#include "db/recordset.h"
#include "core/failure.h"

namespace velkaris {
namespace {

Pagamento ReadPayment(Context& ctx, const db::Recordset& rs) {
  auto v = [&](const char* column, const db::Value& fallback) { return TestNull(ctx, rs[column], fallback); };
  Pagamento p;
  p.IdPagamento = db::CLng(v("IdPagamento", db::Value(-1)));
  p.idCausaleContabile = db::CLng(v("idCausaleContabile", db::Value(-1)));
  p.ImportoIncassato = db::CDbl(v("ImportoIncassato", db::Value(-1)));
  p.isIncasso = db::CStr(v("Coefficiente", db::Value(1))) == "1";
  p.DataOperazione = db::CDate(v("DataOperazione", db::Value(ctx.clock.Now().DateOnly())));
  p.valuta = db::CStr(v("valuta", db::Value(ctx.settings.ValutaAziendale)));
  p.Cambio = db::CDbl(v("Cambio", db::Value(1)));
  p.NoteMovimento = db::CStr(v("NoteMovimento", db::Value("")));
  p.Cassetto = db::CInt(v("Cassetto", db::Value(0)));
  p.TipoOperazione = db::CInt(v("TipoOperazione", db::Value(0)));
  p.ingenico_AuthCode = db::CStr(v("ingenico_AuthCode", db::Value("")));
  p.ingenico_Ticket = db::CStr(v("ingenico_Ticket", db::Value("")));
  p.ingenico_CardType = db::CInt(v("ingenico_CardType", db::Value(-1)));
  return p;
}

}  // namespace

bool PCassa_SincroPagamentiScontrini(Context& ctx, int32_t id_testata_pos, int32_t id_testata_backoffice,
                                     db::Connection& front, db::Connection& back) {
  bool result = false;
  Guarded(ctx, "PCassa_SincroPagamentiScontrini", [&] {
    auto rs = front.OpenRecordset(
        "Select * from tabPagamentiScontrini where (FlagExport=0 or FlagExport is null) and idTestata=" +
            std::to_string(id_testata_pos),
        db::kStatic, db::kReadOnly);
    // Payments of no receipt go through the ledger when receipts are units of work: one
    // already written is not written again, and all are flagged after the commit.
    const bool ledger = ctx.uow.per_receipt && id_testata_pos == -1;
    for (; !rs->Eof(); rs->MoveNext()) {
      int32_t pos_id = ledger ? db::CLng(TestNull(ctx, (*rs)["ID"], db::Value(-1))) : -1;
      if (ledger && LedgerPayment(ctx, pos_id) > 0) {
        if (!ctx.uow.payments_of_another.count(pos_id)) ctx.uow.payments_to_flag.push_back(pos_id);
        continue;
      }
      int32_t id = PuntoCassa_SalvaPagamento(ctx, back, id_testata_backoffice, ReadPayment(ctx, *rs), false);
      if (id <= 0) {
        CloseRS(rs);
        return;
      }
      if (ledger) {
        LedgerAddPayment(ctx, pos_id, id);
        ctx.uow.payments_to_flag.push_back(pos_id);
      }
    }
    rs->Close();
    result = true;
  });
  return result;
}

int32_t PuntoCassa_SalvaPagamento(Context& ctx, db::Connection& connection, int32_t id_testata, const Pagamento& p,
                                  bool target) {
  int32_t result = -1;
  Guarded(ctx, "PuntoCassa_SalvaPagamento", [&] {
    std::string table = target ? "tabPagamentiScontrini" : "tabPagamentiScontriniBackoffice";
    int32_t id = funGetNuovoIdGENERICO(ctx, table, "id", connection, -1, -1);
    auto rs = connection.OpenRecordset("select * from " + table + " where 1=2", db::kStatic, db::kPessimistic);
    db::Recordset& r = *rs;
    r.AddNew();
    r.Set("ID", db::Value(id));
    r.Set("idTestata", db::Value(id_testata));
    r.Set("IdPagamento", db::Value(p.IdPagamento));
    r.Set("idCausaleContabile", db::Value(p.idCausaleContabile));
    r.Set("idUtente", db::Value(0));
    r.Set("idCassa", db::Value(ctx.settings.IdCassa));
    r.Set("ImportoIncassato", db::Value(p.ImportoIncassato));
    r.Set("Coefficiente", db::Value(p.isIncasso ? 1 : -1));
    r.Set("DataOperazione", db::Value(p.DataOperazione));
    r.Set("DataCreaz", db::Value(ctx.clock.Now()));
    r.Set("DataAgg", db::Value(ctx.clock.Now()));
    r.Set("UtenteUltimoAccesso", db::Value(""));
    r.Set("Cambio", db::Value(p.Cambio));
    r.Set("valuta", db::Value(p.valuta));
    r.Set("NoteMovimento", db::Value(p.NoteMovimento));
    r.Set("Cassetto", db::Value(static_cast<int>(p.Cassetto)));
    if (p.TipoOperazione > 0) r.Set("TipoOperazione", db::Value(static_cast<int>(p.TipoOperazione)));
    r.Set("ingenico_AuthCode", db::Value(p.ingenico_AuthCode));
    r.Set("ingenico_Ticket", db::Value(p.ingenico_Ticket));
    r.Set("ingenico_CardType", db::Value(static_cast<int>(p.ingenico_CardType)));
    r.Update();
    r.Close();
    if (!target) ++ctx.account.written.payments;
    result = id;
  });
  return result;
}

}  // namespace velkaris
