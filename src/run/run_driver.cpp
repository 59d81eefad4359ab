#include "run/run_driver.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "db/error.h"
#include "platform/system.h"
#include "platform/writable.h"
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
// However long "Velkarys.CommitOgniMs" lets a batch last, it goes on over a reopening of the
// connections only while it holds fewer receipts than this: the write lock other tills wait
// for, and what the batch keeps in memory, stay bounded.
constexpr size_t kMaxBatchOverReopening = 500;
constexpr int32_t kCommitEveryMsSqlite = 250;
constexpr int32_t kCommitEveryMsServer = 100;

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
  db::Connection& back = ctx.back_office();
  back.ExecuteNoRecords("delete from tabtestatescontrini where idtestata=" + id);
  back.ExecuteNoRecords("delete from tabPagamentiScontriniBackoffice where idtestata=" + id);
  back.ExecuteNoRecords(DeleteDownPaymentsSql(header->IdTestataScontrinoBKF));
  back.ExecuteNoRecords("delete from tabDettaglioScontrini where idtestata=" + id);
  if (first_pass) {
    for (const auto& row : header->Righe) {
      if (row->SincronizzatoMovMagBKF) {
        back.ExecuteNoRecords("Delete from tabDettaglioMagazzino where idDettaglio=" +
                              std::to_string(row->IdDettaglioMovMagBKF));
      }
    }
  }
  try {
    back.ExecuteNoRecords("delete from tabFidelity_Transazioni where idScontrino=" + id);
  } catch (...) {
  }
  CloseAllConnections(ctx);
}

// Whether the open batch may go on over a reopening of the connections instead of ending:
// the reopening would write no line (the first pass logs none) and change nothing in the
// databases, and the batch is not yet at its bound.
bool BatchGoesOnOverReopening(Context& ctx, ReceiptBatch& batch, bool reopening_logged) {
  return !reopening_logged && batch.IsOpen() && batch.Held() < kMaxBatchOverReopening && ConnectionsReopenAsIs(ctx);
}

// One pass with every receipt as a unit of work: a failing receipt is rolled back and
// recorded, and the pass goes on. False when the process must end.
bool RunPassAsUnits(Context& ctx, int32_t kind, SyncCollection& receipts, const TransferOps& ops) {
  const size_t count = receipts.Count();
  const bool reconnect_log = kind == 2;
  ReceiptBatch batch(ctx);
  for (size_t i = 1; i <= count; ++i) {
    // Opening the connections again ends the batch, unless it may go on over it.
    if (i % kReconnectEvery == 0 && !BatchGoesOnOverReopening(ctx, batch, reconnect_log)) {
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
    ctx.logs.Flush();
    if (ctx.progress) ctx.progress(kind, i, count);
  }
  batch.Commit();
  return true;
}

// A receipt the ledger already holds (a run as units of work committed it and was stopped
// before its flags): only flagged, as a run as units of work does; another receipt with its
// POS id is left alone and logged. False when the ledger does not hold it.
bool FlaggedFromLedger(Context& ctx, SyncCollection& single) {
  int32_t pos = single(1)->IdTestataPOS;
  int32_t bkf = LedgerReceipt(ctx, pos);
  if (bkf <= 0) return false;
  std::string other = LedgerReceiptMismatch(ctx, pos, bkf);
  if (!other.empty()) {
    ctx.logs.ScriviLogErrore("Main", other);
    ++ctx.account.failed;
    return true;
  }
  FlagTransferredReceipt(ctx, pos, bkf);
  ++ctx.account.already_present;
  return true;
}

// One pass over the receipts of a kind, every statement committing on its own; the first
// failing receipt ends the run. False when the process must end.
bool RunPass(Context& ctx, int32_t kind, SyncCollection& receipts, const TransferOps& ops) {
  if (ctx.uow.per_receipt) return RunPassAsUnits(ctx, kind, receipts, ops);
  if (ctx.uow.ledger_found) FlagPaymentsAlreadyTransferred(ctx);
  const size_t count = receipts.Count();
  const bool reconnect_log = kind == 2;
  for (size_t i = 1; i <= count; ++i) {
    if (i % kReconnectEvery == 0) {
      if (!AvviaConnessioneBackoffice(ctx, reconnect_log)) return false;
      if (!AvviaConnessionePcassa(ctx, reconnect_log)) return false;
    }
    SyncCollection single;
    single.Add(receipts(i));
    if (ctx.uow.ledger_found && FlaggedFromLedger(ctx, single)) {
      if (ctx.progress) ctx.progress(kind, i, count);
      continue;
    }
    // The counts of a receipt that fails are taken back with its writes.
    const RunAccount::Written written_before = ctx.account.written;
    auto failed = [&] {
      ctx.account.written = written_before;
      ++ctx.account.failed;
    };
    if (!ops.sincro_scontrino(ctx, kind, single)) {
      failed();
      FailureExitA(ctx);
      return false;
    }
    for (int32_t causale : {1, 2}) {
      if (!ops.aggiorna_magazzino(ctx, kind, single, causale)) {
        failed();
        FailureExitB(ctx, kind == 1, single);
        return false;
      }
    }
    ParseCollectionForLoggin(ctx, single);
    ParseCollectionForUpdatingRow(ctx, single);
    ++ctx.account.transferred;
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

namespace {

// How this run commits: "Velkarys.Transazioni"="0" keeps every statement on its own.
void ReadUnitOfWork(Context& ctx) {
  ctx.uow.per_receipt = db::CStr(GetKeyValue(ctx, "Options", "Velkarys.Transazioni", db::Value("1"))) != "0";
  ctx.account.mode = ctx.uow.per_receipt ? "transactions" : "per-statement";
  ctx.logs.set_hold_notices(ctx.uow.per_receipt);  // a receipt's notices go out at its end
}

// Known once the back office is open: SQL Server commits sooner, so that the locks on
// counters and stock rows are held briefly while other tills wait for them.
bool PrepareUnitsOfWork(Context& ctx) {
  ctx.uow.ledger_found = false;
  ctx.uow.reasons_ledger = false;
  ctx.uow.payments_of_another.clear();
  if (!ctx.uow.per_receipt) {
    ctx.uow.ledger_found = LedgerHoldsThisTill(ctx);
    ctx.uow.reasons_ledger = ctx.uow.ledger_found && LedgerHasTable(ctx, kLedgerReasons);
    return true;
  }
  return Guarded(ctx, "Main", [&] {
    int32_t fallback = ctx.connDbLocale->IsSqlite() ? kCommitEveryMsSqlite : kCommitEveryMsServer;
    db::Value ms = GetKeyValue(ctx, "Options", "Velkarys.CommitOgniMs", db::Value(fallback));
    ctx.uow.commit_every_ms = db::IsNumeric(ms) ? std::max(0, db::CLng(ms)) : fallback;
    EnsureSyncLedger(ctx);
    ctx.uow.reasons_ledger = true;
  });
}

// Fills the end of the account: its time and the errors the logs counted.
void CloseAccount(Context& ctx) {
  RunAccount& a = ctx.account;
  a.end = ctx.clock.Now();
  a.errors = ctx.logs.error_count();
  a.first_error = ctx.logs.first_error();
}

void Run(Context& ctx, const std::string& command_line, const TransferOps& ops) {
  RunAccount& a = ctx.account;
  bool finished = false;
  ReadUnitOfWork(ctx);
  Guarded(ctx, "Main", [&] {
    if (!CheckLogsWritable(ctx)) {
      a.not_started = "the logs cannot be written";
      return;
    }
    if (!AvviaConnessioneBackoffice(ctx, true) || !AvviaConnessionePcassa(ctx, true)) {
      a.not_started = "a database connection could not be opened";
      return;
    }
    if (EsistonoTransazioniInCorso(ctx)) {
      a.not_started = "another till's run is active on the back office";
      return;
    }
    if (command_line != "/no_wait") {
      UnseededRandom rnd;
      Sleep2(ctx, (static_cast<int32_t>(rnd.Next() * 60) + 1) * 1000);
    }
    // Settings that did not load would write receipts with till 0 and warehouse 0.
    if (!SubInitParams(ctx)) {
      a.not_started = "the settings could not be loaded";
      return;
    }
    if (!PrepareUnitsOfWork(ctx)) {
      a.not_started = "the sync ledger of the back office could not be prepared";
      return;
    }
    a.started = true;
    SyncCollection first_pass, second_pass;
    int32_t kind = 1;
    if (!RecuperaTestate(ctx, kind, first_pass)) return;
    a.selected += static_cast<int64_t>(first_pass.Count());
    if (!RunPass(ctx, 1, first_pass, ops)) return;
    kind = 2;
    if (!RecuperaTestate(ctx, kind, second_pass)) return;
    a.selected += static_cast<int64_t>(second_pass.Count());
    a.ended_early = !RunPass(ctx, 2, second_pass, ops);
    finished = true;
  });
  // A selection, a reconnection or anything else that ended the passes before their end.
  if (a.started && !finished) a.ended_early = true;
}

}  // namespace

bool CheckLogsWritable(Context& ctx) {
  bool ok = true;
  for (const std::string& path : {ctx.logs.SyncLogPath(ctx.clock.Now()), ctx.logs.ErrorLogPath()}) {
    std::string problem = platform::WhyNotWritable(path);
    if (problem.empty()) continue;
    ctx.logs.ScriviLogErrore("Main", "The log file '" + path + "' cannot be written (" + problem +
                                         "): give the user running velkaris write access to it and to its "
                                         "folder, or choose another folder with --log-dir. Nothing was transferred.");
    ok = false;
  }
  return ok;
}

void Main(Context& ctx, const std::string& command_line, const TransferOps& ops) {
  ctx.account = RunAccount();
  ctx.logs.CloseFiles();  // each pass opens its logs afresh (they may have been moved since)
  ctx.logs.ResetErrorCount();
  ctx.account.start = ctx.clock.Now();
  platform::InstanceLock lock(platform::MachineLockPath());
  switch (lock.Acquire()) {
    case platform::InstanceLock::kAcquired:
      Run(ctx, command_line, ops);
      break;
    case platform::InstanceLock::kHeldElsewhere:  // another instance runs: end silently
      ctx.account.not_started = "another instance of velkaris is running on this machine";
      break;
    case platform::InstanceLock::kCannotCreate:
      std::fprintf(stderr, "velkaris: cannot create the lock file %s (set VELKARIS_LOCK_FILE to a writable path)\n",
                   lock.path().c_str());
      ctx.account.not_started = "the lock file " + lock.path() + " cannot be created";
      break;
  }
  ctx.engine_pool.Clear();  // the databases are left as a run that closed its connections leaves them
  CloseAccount(ctx);
  ctx.logs.CloseFiles();
}

}  // namespace velkaris
