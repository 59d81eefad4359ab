#include "warehouse/discount_justifications.h"

#include <algorithm>
#include <vector>

#include "data/new_ids.h"
#include "data/sql_helpers.h"
#include "data/sync_ledger.h"
#include "db/recordset.h"
#include "core/failure.h"

namespace velkaris {
namespace {

// A reason copied earlier in the open unit of work: its front-office flag is held back until
// the commit, so the front office still reads it as not exported.
bool CopiedInThisUnit(Context& ctx, const db::Recordset& reason) {
  const std::vector<int32_t>& ids = ctx.uow.reasons_copied;
  return !ids.empty() && std::find(ids.begin(), ids.end(), db::CLng(reason["ID"])) != ids.end();
}

// Whether the reasons read include one still to copy: the records of the open unit of work
// count as exported, as they would be with the flag written at once.
bool HasReasonToCopy(Context& ctx, db::Recordset& reasons) {
  while (!reasons.Eof() && CopiedInThisUnit(ctx, reasons)) reasons.MoveNext();
  return !reasons.Eof();
}

}  // namespace

std::string SQL_ExportRigheGiustificaSconto(Context& ctx, bool exported, int32_t id_riga, int32_t id_testata) {
  std::string result;
  Guarded(ctx, "SQL_ExportRigheGiustificaSconto", [&] {
    result = std::string("SELECT * ") + "FROM tabGiustificaSconto " +
             (exported ? "WHERE isnull(flagExport,0)<>0" : "WHERE isnull(flagExport,0)= 0");
    if (id_riga != 0) result += " and tabGiustificaSconto.idDettaglioMovimento = " + std::to_string(id_riga);
    if (id_testata != 0) result += " and tabGiustificaSconto.idTestataMovimento = " + std::to_string(id_testata);
  });
  return result;
}

int32_t AggiornaTabGiustificaSconto(Context& ctx, db::Connection& front, db::Connection& back, int32_t id_riga_pos,
                                    int32_t id_testata_pos, int32_t id_riga_movimento, int32_t id_testata_movimento,
                                    bool& ok) {
  ok = false;
  int32_t result = -1;
  Guarded(ctx, "AggiornaTabGiustificaSconto", [&] {
    bool all = id_riga_pos == -1 || id_testata_pos == -1;
    auto reasons = front.OpenRecordset(
        all ? SQL_ExportRigheGiustificaSconto(ctx, false, 0, 0)
            : SQL_ExportRigheGiustificaSconto(ctx, false, id_riga_pos, id_testata_pos),
        db::kStatic, db::kPessimistic);
    bool whole_receipt = false;
    if (!HasReasonToCopy(ctx, *reasons)) {
      CloseRS(reasons);
      reasons = front.OpenRecordset(SQL_ExportRigheGiustificaSconto(ctx, false, -1, id_testata_pos), db::kStatic,
                                    db::kPessimistic);
      if (!HasReasonToCopy(ctx, *reasons)) {
        CloseRS(reasons);
        ok = true;
        return;  // no reason at all: -1
      }
      whole_receipt = true;
      auto copied = back.OpenRecordset("Select * from tabGiustificaSconto where idTestataMovimento=" +
                                           std::to_string(id_testata_pos) + " and idDettaglioMovimento=-1",
                                       db::kStatic, db::kPessimistic);
      bool already = !copied->Eof();
      CloseRS(copied);
      if (already) {
        CloseRS(reasons);
        result = 0;
        ok = true;
        return;
      }
    }
    bool keep_movement_columns = id_riga_movimento == -1 || id_testata_movimento == -1;
    auto out = back.OpenRecordset("Select * from tabGiustificaSconto where 1=2", db::kStatic, db::kPessimistic);
    std::string yes = BooleanForSql(ctx, true, kSqlServer);
    db::Date today = ctx.clock.Now().DateOnly();
    result = 0;
    for (; !reasons->Eof(); reasons->MoveNext()) {
      const db::Recordset& in = *reasons;
      if (CopiedInThisUnit(ctx, in)) continue;
      out->AddNew();
      int32_t id = funGetNuovoIdGENERICO(ctx, "tabGiustificaSconto", "ID", back, -1, -1);
      out->Set("ID", db::Value(id));
      if (keep_movement_columns) {
        out->Set("idTestataMovimento", in["idTestataMovimento"]);
        out->Set("idDettaglioMovimento", in["idDettaglioMovimento"]);
      } else {
        out->Set("idTestataMovimento", db::Value(id_testata_movimento));
        out->Set("idDettaglioMovimento", db::Value(whole_receipt ? -1 : id_riga_movimento));
      }
      for (const char* c : {"idMagazzino", "idCassa", "NumeroScontrino", "dataScontrino", "percentualeSconto",
                            "ImportoSconto", "motivazione"}) {
        out->Set(c, in[c]);
      }
      out->Set("flagExport", db::Value(yes));
      out->Set("dataExport", db::Value(today));
      reasons->Set("flagExport", db::Value(yes));
      reasons->Set("dataExport", db::Value(today));
      out->Update();
      if (front.defers_writes()) {
        int32_t pos_id = db::CLng(in["ID"]);
        ctx.uow.reasons_copied.push_back(pos_id);
        LedgerAddReason(ctx, pos_id, db::CLng(TestNull(ctx, in["idTestataMovimento"], db::Value(-1))), id);
      }
      result = id;
    }
    CloseRS(out);
    CloseRS(reasons);
    ok = true;
  });
  return result;
}

}  // namespace velkaris
