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
#include "run/selection.h"
#include "run/sync_report.h"

namespace velkaris {
namespace {

constexpr size_t kReconnectEvery = 50;

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

// One pass over the receipts of a kind. False when the process must end.
bool RunPass(Context& ctx, int32_t kind, SyncCollection& receipts, const TransferOps& ops) {
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

void Main(Context& ctx, const std::string& command_line, const TransferOps& ops) {
  platform::InstanceLock lock(ctx.logs.dir() + "/velkaris.lock");
  switch (lock.Acquire()) {
    case platform::InstanceLock::kAcquired: break;
    case platform::InstanceLock::kHeldElsewhere: return;  // another instance runs: end silently
    case platform::InstanceLock::kCannotCreate:
      std::fprintf(stderr, "velkaris: cannot create the lock file %s (is the log directory writable?)\n",
                   lock.path().c_str());
      return;
  }
  Guarded(ctx, "Main", [&] {
    if (!AvviaConnessioneBackoffice(ctx, true)) return;
    if (!AvviaConnessionePcassa(ctx, true)) return;
    if (EsistonoTransazioniInCorso(ctx)) return;
    if (command_line != "/no_wait") {
      UnseededRandom rnd;
      Sleep2(ctx, (static_cast<int32_t>(rnd.Next() * 60) + 1) * 1000);
    }
    SubInitParams(ctx);
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
