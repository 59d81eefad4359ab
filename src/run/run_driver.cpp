#include "run/run_driver.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "db/error.h"
#include "platform/system.h"
#include "data/configuration.h"
#include "rows/receipt_row_writer.h"
#include "run/connections.h"
#include "run/export_flags.h"
#include "core/failure.h"
#include "run/guard.h"
#include "run/receipt_batch.h"
#include "data/sync_ledger.h"
#include "run/selection.h"
#include "run/sync_report.h"

namespace velkaris {
namespace {

constexpr size_t kReconnectEvery = 50;
constexpr int32_t kCommitEveryMsSqlite = 250;
constexpr int32_t kCommitEveryMsServer = 100;

db::Connection& Open(std::unique_ptr<db::Connection>& conn) {
  if (!conn) throw db::Error("Operation is not allowed when the object is closed.", 3704);
  return *conn;
}

// The receipt transfer failed: it already removed its own partial receipt.
void FailureExitA(Context& ctx) { CloseAllConnections(ctx); }

// A warehouse transfer failed: remove the receipt's back-office document (and, in the first
// pass, the movement rows recorded so far). Errors before the fidelity delete reach Main.
void FailureExitB(Context& ctx, bool first_pass, SyncCollection& single) {
  const auto& header = single(1);
  std::string id = std::to_string(header->IdTestataScontrinoBKF);
  if (first_pass) {
    AvviaConnessioneBackoffice(ctx, false);
    AvviaConnessionePcassa(ctx, false);
  }
  db::Connection& back = Open(ctx.connDbLocale);
  back.Execute("delete from tabtestatescontrini where idtestata=" + id);
  back.Execute("delete from tabPagamentiScontriniBackoffice where idtestata=" + id);
  back.Execute(DeleteDownPaymentsSql(header->IdTestataScontrinoBKF));
  back.Execute("delete from tabDettaglioScontrini where idtestata=" + id);
  if (first_pass) {
    for (const auto& row : header->Righe) {
      if (row->SincronizzatoMovMagBKF) {
        back.Execute("Delete from tabDettaglioMagazzino where idDettaglio=" + std::to_string(row->IdDettaglioMovMagBKF));
      }
    }
  }
  try {
    back.Execute("delete from tabFidelity_Transazioni where idScontrino=" + id);
  } catch (...) {
  }
  CloseAllConnections(ctx);
}

// One pass with every receipt as a unit of work: a failing receipt is rolled back and
// recorded, and the pass goes on. False when the process must end.
bool RunPassAsUnits(Context& ctx, int32_t kind, SyncCollection& receipts, const TransferOps& ops) {
  const size_t count = receipts.Count();
  const bool reconnect_log = kind == 2;
  ReceiptBatch batch(ctx);
  for (size_t i = 1; i <= count; ++i) {
    if (i % kReconnectEvery == 0) {
      batch.Commit();
      if (!AvviaConnessioneBackoffice(ctx, reconnect_log)) return false;
      if (!AvviaConnessionePcassa(ctx, reconnect_log)) return false;
    }
    SyncCollection single;
    single.Add(receipts(i));
    try {
      batch.Transfer(kind, single, ops);
    } catch (...) {
      // A failure outside any receipt's unit (the database gone, a full disk) ends the run;
      // every receipt before it is whole, with its ledger row, and is kept if it still can be.
      try {
        batch.Commit();
      } catch (...) {
      }
      throw;
    }
    if (ctx.progress) ctx.progress(kind, i, count);
  }
  batch.Commit();
  return true;
}

// One pass over the receipts of a kind, every statement committing on its own; the first
// failing receipt ends the run. False when the process must end.
bool RunPass(Context& ctx, int32_t kind, SyncCollection& receipts, const TransferOps& ops) {
  if (ctx.uow.per_receipt) return RunPassAsUnits(ctx, kind, receipts, ops);
  const size_t count = receipts.Count();
  const bool reconnect_log = kind == 2;
  for (size_t i = 1; i <= count; ++i) {
    if (i % kReconnectEvery == 0) {
      if (!AvviaConnessioneBackoffice(ctx, reconnect_log)) return false;
      if (!AvviaConnessionePcassa(ctx, reconnect_log)) return false;
    }
    SyncCollection single;
    single.Add(receipts(i));
    if (!ops.sincro_scontrino(ctx, kind, single)) {
      FailureExitA(ctx);
      return false;
    }
    for (int32_t causale : {1, 2}) {
      if (!ops.aggiorna_magazzino(ctx, kind, single, causale)) {
        FailureExitB(ctx, kind == 1, single);
        return false;
      }
    }
    ParseCollectionForLoggin(ctx, single);
    ParseCollectionForUpdatingRow(ctx, single);
    if (ctx.progress) ctx.progress(kind, i, count);
  }
  return true;
}

}  // namespace

TransferOps NoTransfers() {
  return {[](Context&, int32_t&, SyncCollection&) { return true; },
          [](Context&, int32_t&, SyncCollection&, int32_t&) { return true; }};
}

double UnseededRandom::Next() {
  state_ = (state_ * 1140671485u + 12820163u) & 0xFFFFFFu;
  return state_ / 16777216.0;
}

void Sleep2(Context& ctx, int32_t ms) {
  Guarded(ctx, "Sleep2", [&] {
    int64_t end = static_cast<int64_t>(ctx.clock.TickCount()) + ms;
    if (end > INT32_MAX || end < INT32_MIN) throw db::VbError::Overflow();
    for (;;) {
      int32_t now = ctx.clock.TickCount();
      if (now >= end) return;
      ctx.clock.SleepMs(static_cast<int32_t>(std::min<int64_t>(end - now, 200)));
    }
  });
}

// How this run commits: "Velkarys.Transazioni"="0" keeps every statement on its own.
void ReadUnitOfWork(Context& ctx) {
  ctx.uow.per_receipt = db::CStr(GetKeyValue(ctx, "Options", "Velkarys.Transazioni", db::Value("1"))) != "0";
}

// Known once the back office is open: SQL Server commits sooner, so that the locks on
// counters and stock rows are held briefly while other tills wait for them.
bool PrepareUnitsOfWork(Context& ctx) {
  if (!ctx.uow.per_receipt) return true;
  return Guarded(ctx, "Main", [&] {
    int32_t fallback = ctx.connDbLocale->IsSqlite() ? kCommitEveryMsSqlite : kCommitEveryMsServer;
    db::Value ms = GetKeyValue(ctx, "Options", "Velkarys.CommitOgniMs", db::Value(fallback));
    ctx.uow.commit_every_ms = db::IsNumeric(ms) ? std::max(0, db::CLng(ms)) : fallback;
    EnsureSyncLedger(ctx);
  });
}

void Main(Context& ctx, const std::string& command_line, const TransferOps& ops) {
  platform::InstanceLock lock(platform::MachineLockPath());
  switch (lock.Acquire()) {
    case platform::InstanceLock::kAcquired: break;
    case platform::InstanceLock::kHeldElsewhere: return;  // another instance runs: end silently
    case platform::InstanceLock::kCannotCreate:
      std::fprintf(stderr, "velkaris: cannot create the lock file %s (set VELKARIS_LOCK_FILE to a writable path)\n",
                   lock.path().c_str());
      return;
  }
  ReadUnitOfWork(ctx);
  Guarded(ctx, "Main", [&] {
    if (!AvviaConnessioneBackoffice(ctx, true)) return;
    if (!AvviaConnessionePcassa(ctx, true)) return;
    if (EsistonoTransazioniInCorso(ctx)) return;
    if (command_line != "/no_wait") {
      UnseededRandom rnd;
      Sleep2(ctx, (static_cast<int32_t>(rnd.Next() * 60) + 1) * 1000);
    }
    SubInitParams(ctx);
    if (!PrepareUnitsOfWork(ctx)) return;
    SyncCollection first_pass, second_pass;
    int32_t kind = 1;
    if (!RecuperaTestate(ctx, kind, first_pass)) return;
    if (!RunPass(ctx, 1, first_pass, ops)) return;
    kind = 2;
    if (!RecuperaTestate(ctx, kind, second_pass)) return;
    RunPass(ctx, 2, second_pass, ops);
  });
}

}  // namespace velkaris
