#include "run/export_flags.h"

#include <algorithm>

#include "data/sql_helpers.h"
#include "data/sync_ledger.h"
#include "db/recordset.h"
#include "core/failure.h"

namespace velkaris {
namespace {

// At most this many rows a statement, so that a long receipt's list stays one any server takes.
constexpr size_t kRowsAStatement = 500;

// The rows of one receipt flagged in one statement (or one for every kRowsAStatement); false
// when fewer rows than named were there to flag. Held back for the commit, a statement
// counts as done.
bool FlagRowsTogether(Context& ctx, const std::string& flag, const std::vector<std::string>& ids) {
  int64_t rows = 0;
  for (size_t first = 0; first < ids.size(); first += kRowsAStatement) {
    std::string list;
    for (size_t i = first; i < std::min(ids.size(), first + kRowsAStatement); ++i) {
      list += (list.empty() ? "" : ", ") + ids[i];
    }
    rows += ctx.connDbPuntoCassa->Execute("update tabDettaglio SET FlagExport=" + flag + " where idDettaglio in (" +
                                          list + ")");
  }
  return ctx.connDbPuntoCassa->defers_writes() || rows == static_cast<int64_t>(ids.size());
}

}  // namespace

bool ParseCollectionForUpdatingRow(Context& ctx, SyncCollection& receipts) {
  bool result = false;
  Guarded(ctx, "ParseCollectionForUpdatingRow", [&] {
    if (receipts.empty()) return;
    std::string flag = BooleanForSql(ctx, true, kSqlServer);
    auto flag_payments = [&](const clsSincroTestataScontrino& header, const std::string& row_id) {
      if (ctx.connDbPuntoCassa->Execute("Update tabPagamentiScontrini set FlagExport=" + flag +
                                        " where idTestata=" + std::to_string(header.IdTestataPOS)) == 0) {
        ctx.logs.ScriviLogSincro(
            "ERRORE durante il tentativo di aggiornamento del campo 'FlagExport' where POSPagamenti.idDettaglio=" +
            row_id);
      }
    };
    auto flag_row = [&](const std::string& id) {
      if (ctx.connDbPuntoCassa->Execute("update tabDettaglio SET FlagExport=" + flag + " where idDettaglio=" + id) == 0) {
        ctx.logs.ScriviLogSincro(
            "ERRORE durante il tentativo di aggiornamento del campo 'FlagExport' where POSDettaglio.idDettaglio=" + id);
      }
    };
    for (const auto& header : receipts) {
      std::vector<std::string> marked;
      for (const auto& row : header->Righe) {
        if (!(row->SincronizzatoMovMagBKF && row->SincronizzatoScontrinoBKF)) continue;
        marked.push_back(std::to_string(row->IdDettaglioPOS));
        // The original flags each row and then the payments again; a unit of work flags
        // them once for the whole receipt, below.
        if (!ctx.uow.per_receipt) flag_row(marked.back()), flag_payments(*header, marked.back());
      }
      if (!ctx.uow.per_receipt || marked.empty()) continue;
      if (!FlagRowsTogether(ctx, flag, marked)) {
        for (const std::string& id : marked) flag_row(id);  // to name the rows that were not there
      }
      flag_payments(*header, marked.back());
    }
    result = true;
  });
  return result;
}

void FlagTransferredReceipt(Context& ctx, int32_t id_testata_pos, int32_t id_testata_bkf) {
  std::string flag = BooleanForSql(ctx, true, kSqlServer);
  std::string pos = std::to_string(id_testata_pos);
  int64_t rows = ctx.connDbPuntoCassa->Execute("update tabDettaglio SET FlagExport=" + flag + " where idTestata=" + pos +
                                               " and (FlagExport=0 or FlagExport is null)");
  int64_t payments = ctx.connDbPuntoCassa->Execute("Update tabPagamentiScontrini set FlagExport=" + flag +
                                                   " where idTestata=" + pos + " and (FlagExport=0 or FlagExport is null)");
  // Its discount reasons that went into the back office with it, and only those (the reason
  // of a kit's row, say, is not copied and stays as it is).
  std::string today = DateForSql(ctx, ctx.clock.Now().DateOnly(), false, false, false);
  for (int32_t reason : LedgerReasons(ctx, id_testata_pos)) {
    ctx.connDbPuntoCassa->ExecuteNoRecords("update tabGiustificaSconto set flagExport=" + flag + ", dataExport=" +
                                           today + " where ID=" + std::to_string(reason) +
                                           " and isnull(flagExport,0)=0");
  }
  ctx.logs.ScriviLogSincro("Scontrino POS id:" + pos + " gia' trasferito nello scontrino backoffice id:" +
                           std::to_string(id_testata_bkf) + ": segnate come esportate " + std::to_string(rows) +
                           " righe e " + std::to_string(payments) + " pagamenti rimasti.");
}

void FlagPaymentsAlreadyTransferred(Context& ctx) {
  std::vector<int32_t> ids;
  auto rs = ctx.connDbPuntoCassa->OpenRecordset(
      "Select ID from tabPagamentiScontrini where (FlagExport=0 or FlagExport is null) and idTestata=-1");
  for (; !rs->Eof(); rs->MoveNext()) {
    int32_t id = db::CLng(rs->Field("ID"));
    int32_t bkf = LedgerPayment(ctx, id);
    if (bkf <= 0) continue;
    std::string other = LedgerPaymentMismatch(ctx, id, bkf);
    if (other.empty()) {
      ids.push_back(id);
    } else if (ctx.uow.per_receipt && ctx.uow.payments_of_another.insert(id).second) {
      ctx.logs.ScriviLogErrore("PCassa_SincroPagamentiScontrini", other);
    }
  }
  FlagTransferredPayments(ctx, ids);
}

void FlagTransferredPayments(Context& ctx, const std::vector<int32_t>& pos_payment_ids) {
  std::string flag = BooleanForSql(ctx, true, kSqlServer);
  for (int32_t id : pos_payment_ids) {
    ctx.connDbPuntoCassa->ExecuteNoRecords("Update tabPagamentiScontrini set FlagExport=" + flag +
                                           " where ID=" + std::to_string(id));
  }
}

}  // namespace velkaris
