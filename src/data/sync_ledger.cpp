#include "data/sync_ledger.h"

#include <vector>

#include "data/sql_helpers.h"
#include "db/error.h"
#include "db/recordset.h"

namespace velkaris {
namespace {

constexpr size_t kMaxErrorText = 4000;

struct LedgerTable {
  const char* name;
  const char* create;
  const char* index = nullptr;  // created with the table
};

const LedgerTable kTables[] = {
    {kLedgerReceipts,
     "CREATE TABLE tabSincroScontrini (IdCassa int NOT NULL, IdScontrinoPos int NOT NULL, IdDocumento int NOT NULL, "
     "DataSincro datetime NOT NULL, CONSTRAINT PK_tabSincroScontrini PRIMARY KEY (IdCassa, IdScontrinoPos))"},
    {kLedgerPayments,
     "CREATE TABLE tabSincroPagamenti (IdCassa int NOT NULL, IdPagamentoPos int NOT NULL, IdPagamento int NOT NULL, "
     "DataSincro datetime NOT NULL, CONSTRAINT PK_tabSincroPagamenti PRIMARY KEY (IdCassa, IdPagamentoPos))"},
    {kLedgerReasons,
     "CREATE TABLE tabSincroGiustifiche (IdCassa int NOT NULL, IdGiustificaPos int NOT NULL, IdScontrinoPos int NOT "
     "NULL, IdGiustifica int NOT NULL, DataSincro datetime NOT NULL, "
     "CONSTRAINT PK_tabSincroGiustifiche PRIMARY KEY (IdCassa, IdGiustificaPos))",
     "CREATE INDEX ixSincroGiustifiche_Scontrino ON tabSincroGiustifiche (IdCassa, IdScontrinoPos)"},
    {kLedgerFailures,
     "CREATE TABLE tabSincroErrori (IdCassa int NOT NULL, IdScontrinoPos int NOT NULL, Tentativi int NOT NULL, "
     "UltimoErrore nvarchar(4000) NULL, DataUltimoTentativo datetime NOT NULL, "
     "CONSTRAINT PK_tabSincroErrori PRIMARY KEY (IdCassa, IdScontrinoPos))"},
};

bool TableExists(db::Connection& back, const char* table) {
  try {
    back.TableColumns(table);
    return true;
  } catch (const db::Error&) {
    return false;
  }
}

std::string Key(Context& ctx, const char* column, int32_t id) {
  return " where IdCassa=" + std::to_string(ctx.settings.IdCassa) + " and " + column + "=" + std::to_string(id);
}

// What the error log says of a POS id the ledger (`table`, keyed by `column`) holds for
// another receipt or payment (`what`); each side is shown as its caller describes it.
std::string AnotherUnderTheSameId(Context& ctx, const std::string& what, const char* table, const char* column,
                                  int32_t pos_id, const std::string& pos_shown, int32_t bkf_id,
                                  const std::string& bkf_shown) {
  std::string id = std::to_string(pos_id);
  return "POS " + what + " " + id + " " + pos_shown + " is in the sync ledger (" + table + ") as back-office " +
         what + " " + std::to_string(bkf_id) + " " + bkf_shown + ": another " + what +
         " with the same POS id (was the front-office database restored or replaced?). It is neither transferred "
         "nor flagged. To transfer it, delete its ledger row (delete from " + table + Key(ctx, column, pos_id) +
         ") and run again.";
}

}  // namespace

void EnsureSyncLedger(Context& ctx) {
  db::Connection& back = ctx.back_office();
  for (const LedgerTable& t : kTables) {
    if (TableExists(back, t.name)) continue;
    try {
      back.ExecuteNoRecords(t.create);
      if (t.index) back.ExecuteNoRecords(t.index);
    } catch (const db::Error& e) {
      throw db::Error(std::string("The sync ledger table ") + t.name +
                      " is missing from the back-office database and cannot be created (" + e.what() +
                      "). Give the program's database login the permission to create tables (CREATE TABLE, and "
                      "ALTER on schema dbo) for one run, or create the table with schema/sqlserver/backoffice.sql.");
    }
  }
}

bool LedgerHasTable(Context& ctx, const char* table) { return TableExists(ctx.back_office(), table); }

bool LedgerHoldsThisTill(Context& ctx) {
  db::Connection& back = ctx.back_office();
  if (!TableExists(back, kLedgerReceipts) || !TableExists(back, kLedgerPayments)) return false;
  try {
    for (const char* t : {kLedgerReceipts, kLedgerPayments}) {
      auto rs = back.OpenRecordset(std::string("select count(*) as n from ") + t +
                                   " where IdCassa=" + std::to_string(ctx.settings.IdCassa));
      if (!rs->Eof() && db::CLng(rs->Field("n")) > 0) return true;
    }
  } catch (const db::Error&) {
    // A login that may not read it: the run goes on as the original did, without it.
  }
  return false;
}

int32_t LedgerReceipt(Context& ctx, int32_t id_testata_pos) {
  auto rs = ctx.back_office().OpenRecordset(std::string("select IdDocumento from ") + kLedgerReceipts +
                                    Key(ctx, "IdScontrinoPos", id_testata_pos));
  return rs->Eof() ? -1 : db::CLng(rs->Field("IdDocumento"));
}

void LedgerAddReceipt(Context& ctx, int32_t id_testata_pos, int32_t id_testata_bkf) {
  ctx.back_office().ExecuteWithParams(
      std::string("insert into ") + kLedgerReceipts +
          " (IdCassa, IdScontrinoPos, IdDocumento, DataSincro) values (?, ?, ?, ?)",
      {db::Value(ctx.settings.IdCassa), db::Value(id_testata_pos), db::Value(id_testata_bkf), db::Value(ctx.clock.Now())});
}

std::string LedgerReceiptMismatch(Context& ctx, int32_t id_testata_pos, int32_t id_testata_bkf) {
  auto back = ctx.back_office().OpenRecordset("select DataOraScontrino from tabTestateScontrini where idTestata=" +
                                              std::to_string(id_testata_bkf));
  if (back->Eof() || !db::IsDate(back->Field("DataOraScontrino"))) return "";
  auto pos = ctx.connDbPuntoCassa->OpenRecordset("select Data, Ora from tabTestate where idTestata=" +
                                                 std::to_string(id_testata_pos));
  if (pos->Eof() || !db::IsDate(pos->Field("Data"))) return "";
  // Without a time of its own the copy got the moment of its transfer: the day alone counts.
  const char* shown = pos->Field("Ora").IsNull() ? "dd/MM/yyyy" : "dd/MM/yyyy HH:mm:ss";
  std::string written = db::FormatPattern(db::CDate(back->Field("DataOraScontrino")), shown);
  std::string now = db::FormatPattern(DataOra(ctx, pos->Field("Data"), pos->Field("Ora")), shown);
  if (written == now) return "";
  return AnotherUnderTheSameId(ctx, "receipt", kLedgerReceipts, "IdScontrinoPos", id_testata_pos, "of " + now,
                               id_testata_bkf, "of " + written);
}

bool ReceiptHeaderExists(Context& ctx, int32_t id_testata_bkf) {
  auto rs = ctx.back_office().OpenRecordset("select idTestata from tabTestateScontrini where idTestata=" +
                                    std::to_string(id_testata_bkf));
  return !rs->Eof();
}

int32_t LedgerPayment(Context& ctx, int32_t id_pagamento_pos) {
  auto rs = ctx.back_office().OpenRecordset(std::string("select IdPagamento from ") + kLedgerPayments +
                                    Key(ctx, "IdPagamentoPos", id_pagamento_pos));
  return rs->Eof() ? -1 : db::CLng(rs->Field("IdPagamento"));
}

std::string LedgerPaymentMismatch(Context& ctx, int32_t id_pagamento_pos, int32_t id_pagamento_bkf) {
  const char* kColumns = "select DataOperazione, ImportoIncassato from ";
  auto back = ctx.back_office().OpenRecordset(kColumns + std::string("tabPagamentiScontriniBackoffice where ID=") +
                                              std::to_string(id_pagamento_bkf));
  auto pos = ctx.connDbPuntoCassa->OpenRecordset(kColumns + std::string("tabPagamentiScontrini where ID=") +
                                                 std::to_string(id_pagamento_pos));
  if (back->Eof() || pos->Eof()) return "";
  // Compared where the POS payment has them (without a date, the copy got the day it was made).
  auto day = [](const db::Recordset& rs) {
    const db::Value& v = rs.Field("DataOperazione");
    return db::IsDate(v) ? db::FormatPattern(db::CDate(v), "dd/MM/yyyy HH:mm:ss") : std::string("-");
  };
  auto amount = [](const db::Recordset& rs) {
    const db::Value& v = rs.Field("ImportoIncassato");
    return v.IsNull() ? std::string("-") : db::CStr(db::Value(db::CDbl(v)));
  };
  bool same_day = day(*pos) == "-" || day(*pos) == day(*back);
  bool same_amount = amount(*pos) == "-" || amount(*pos) == amount(*back);
  if (same_day && same_amount) return "";
  return AnotherUnderTheSameId(ctx, "payment", kLedgerPayments, "IdPagamentoPos", id_pagamento_pos,
                               "(" + day(*pos) + ", " + amount(*pos) + ")", id_pagamento_bkf,
                               "(" + day(*back) + ", " + amount(*back) + ")");
}

void LedgerAddPayment(Context& ctx, int32_t id_pagamento_pos, int32_t id_pagamento_bkf) {
  ctx.back_office().ExecuteWithParams(
      std::string("insert into ") + kLedgerPayments +
          " (IdCassa, IdPagamentoPos, IdPagamento, DataSincro) values (?, ?, ?, ?)",
      {db::Value(ctx.settings.IdCassa), db::Value(id_pagamento_pos), db::Value(id_pagamento_bkf),
       db::Value(ctx.clock.Now())});
}

// A POS reason id the ledger holds already belongs to a reason copied before the front office
// was restored or replaced: the new copy takes its place.
void LedgerAddReason(Context& ctx, int32_t id_giustifica_pos, int32_t id_testata_pos, int32_t id_giustifica_bkf) {
  db::Connection& back = ctx.back_office();
  std::vector<db::Value> params = {db::Value(id_testata_pos), db::Value(id_giustifica_bkf), db::Value(ctx.clock.Now()),
                                   db::Value(ctx.settings.IdCassa), db::Value(id_giustifica_pos)};
  if (back.ExecuteWithParams(std::string("update ") + kLedgerReasons +
                                 " set IdScontrinoPos=?, IdGiustifica=?, DataSincro=? where IdCassa=? and "
                                 "IdGiustificaPos=?",
                             params) > 0) {
    return;
  }
  back.ExecuteWithParams(std::string("insert into ") + kLedgerReasons +
                             " (IdScontrinoPos, IdGiustifica, DataSincro, IdCassa, IdGiustificaPos) "
                             "values (?, ?, ?, ?, ?)",
                         params);
}

std::vector<int32_t> LedgerReasons(Context& ctx, int32_t id_testata_pos) {
  std::vector<int32_t> ids;
  if (!ctx.uow.reasons_ledger) return ids;
  auto rs = ctx.back_office().OpenRecordset(std::string("select IdGiustificaPos from ") + kLedgerReasons +
                                            Key(ctx, "IdScontrinoPos", id_testata_pos) + " order by IdGiustificaPos");
  for (; !rs->Eof(); rs->MoveNext()) ids.push_back(db::CLng(rs->Field("IdGiustificaPos")));
  return ids;
}

void LedgerRecordFailure(Context& ctx, int32_t id_testata_pos, const std::string& error) {
  db::Connection& back = ctx.back_office();
  db::Value text(error.size() > kMaxErrorText ? error.substr(0, kMaxErrorText) : error);
  std::vector<db::Value> params = {text, db::Value(ctx.clock.Now()), db::Value(ctx.settings.IdCassa),
                                   db::Value(id_testata_pos)};
  int64_t updated = back.ExecuteWithParams(
      std::string("update ") + kLedgerFailures +
          " set Tentativi=Tentativi+1, UltimoErrore=?, DataUltimoTentativo=? where IdCassa=? and IdScontrinoPos=?",
      params);
  if (updated > 0) return;
  back.ExecuteWithParams(std::string("insert into ") + kLedgerFailures +
                             " (UltimoErrore, DataUltimoTentativo, IdCassa, IdScontrinoPos, Tentativi) "
                             "values (?, ?, ?, ?, 1)",
                         params);
}

void LedgerClearFailure(Context& ctx, int32_t id_testata_pos) {
  ctx.back_office().ExecuteNoRecords(std::string("delete from ") + kLedgerFailures +
                                     Key(ctx, "IdScontrinoPos", id_testata_pos));
}

std::set<int32_t> LedgerFailedReceipts(Context& ctx) {
  std::set<int32_t> ids;
  auto rs = ctx.back_office().OpenRecordset(std::string("select IdScontrinoPos from ") + kLedgerFailures +
                                    " where IdCassa=" + std::to_string(ctx.settings.IdCassa));
  for (; !rs->Eof(); rs->MoveNext()) ids.insert(db::CLng(rs->Field("IdScontrinoPos")));
  return ids;
}

}  // namespace velkaris
