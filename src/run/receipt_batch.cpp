#include "run/receipt_batch.h"

#include <exception>
#include <string>

#include "core/failure.h"
#include "data/sync_ledger.h"
#include "db/error.h"
#include "db/recordset.h"
#include "run/export_flags.h"
#include "run/receipt_prefetch.h"
#include "run/sync_report.h"
#include "warehouse/warehouse_transfer.h"

namespace velkaris {
namespace {

constexpr const char* kSavepoint = "velkaris_receipt";
constexpr const char* kSource = "TovoVelkaris_Scontrino";
std::string ErrorText(const std::vector<std::string>& errors) {
  std::string text;
  for (const std::string& e : errors) {
    if (!text.empty()) text += " | ";
    text += e;
  }
  return text.empty() ? "The transfer failed without an error message of its own." : text;
}

}  // namespace

ReceiptBatch::ReceiptBatch(Context& ctx) : ctx_(ctx) {
  failed_before_ = LedgerFailedReceipts(ctx);
  FlagPaymentsAlreadyTransferred(ctx);
}

ReceiptBatch::~ReceiptBatch() {
  try {
    if (ctx_.connDbLocale && ctx_.connDbLocale->State() == 1) ctx_.connDbLocale->RollbackTransaction();
  } catch (...) {
  }
  if (ctx_.connDbPuntoCassa) {
    ctx_.connDbPuntoCassa->DropDeferredWrites(0);
    ctx_.connDbPuntoCassa->set_defer_writes(false);
    try {
      if (ctx_.connDbPuntoCassa->State() == 1) ctx_.connDbPuntoCassa->EndSnapshot();
    } catch (...) {
    }
  }
  ctx_.uow.payments_to_flag.clear();
  ctx_.uow.reasons_copied.clear();
  ctx_.uow.row_numbers.clear();
  ctx_.uow.movement_totals.clear();
}

// The front office is written only once the back office has committed: its writes during
// the batch (the discount reasons it marks copied) are held back until then.
uint64_t ReceiptBatch::Refused() const {
  uint64_t n = 0;
  for (const auto* c : {&ctx_.connDbLocale, &ctx_.connDbPuntoCassa}) n += *c ? (*c)->refused_count() : 0;
  return n;
}

// While a batch is open the front office is only read (its writes wait for the commit): its
// reads share one snapshot and take its read lock once.
void ReceiptBatch::Begin() {
  if (ctx_.back_office().InTransaction()) return;
  ctx_.back_office().BeginTransaction();
  ctx_.connDbPuntoCassa->set_defer_writes(true);
  ctx_.connDbPuntoCassa->BeginSnapshot();
  began_tick_ = ctx_.clock.TickCount();
  written_at_begin_ = ctx_.account.written;
  ctx_.uow.row_numbers.clear();
}

void ReceiptBatch::Transfer(int32_t kind, SyncCollection& single, const TransferOps& ops) {
  Begin();
  clsSincroTestataScontrino& record = *single(1);
  int32_t present = LedgerReceipt(ctx_, record.IdTestataPOS);
  if (present > 0) {
    std::string other = LedgerReceiptMismatch(ctx_, record.IdTestataPOS, present);
    if (other.empty()) {
      present_.emplace_back(record.IdTestataPOS, present);
    } else {
      ctx_.logs.ScriviLogErrore(kSource, other);
      ++ctx_.account.failed;
      Failed(record.IdTestataPOS, {other});
    }
  } else {
    size_t payments_mark = ctx_.uow.payments_to_flag.size();
    size_t reasons_mark = ctx_.uow.reasons_copied.size();
    size_t totals_mark = ctx_.uow.movement_totals.size();
    const RunAccount::Written written_before = ctx_.account.written;
    size_t front_mark = ctx_.connDbPuntoCassa->deferred_writes();
    ctx_.back_office().Savepoint(kSavepoint);
    ctx_.back_office().KeepNewIds();
    ctx_.logs.BeginCapture();
    bool ok = false;
    std::exception_ptr escaped;  // what the transfer let through: rolled back, then passed on
    PrefetchReceiptReads(ctx_, record);  // a read of its that fails is no failure of the receipt
    const uint64_t refused_before = Refused();
    try {
      ok = Attempt(kind, single, ops);
    } catch (...) {
      escaped = std::current_exception();
    }
    // A statement the database refused is a failure of the receipt even where the transfer
    // logs it and goes on (as the original does for a stock update, say): a receipt goes in
    // whole or not at all, and the next run tries it again.
    if (Refused() != refused_before) ok = false;
    std::vector<std::string> errors = ctx_.logs.EndCapture();
    if (ok) {
      ctx_.back_office().ReleaseSavepoint(kSavepoint);
      done_.push_back(single);
    } else {
      ctx_.uow.payments_to_flag.resize(payments_mark);
      ctx_.uow.reasons_copied.resize(reasons_mark);
      ctx_.uow.movement_totals.resize(totals_mark);
      ctx_.uow.row_numbers.clear();  // its rows are rolled back: the tables are read again
      ctx_.account.written = written_before;  // its writes are rolled back
      ++ctx_.account.failed;
      ctx_.connDbPuntoCassa->DropDeferredWrites(front_mark);
      try {
        ctx_.back_office().RollbackToSavepoint(kSavepoint);
        ctx_.back_office().ReleaseSavepoint(kSavepoint);
      } catch (const db::Error& e) {
        ctx_.logs.ScriviLogErrore(kSource, e.what());
        AbandonAfterBrokenRollback();
        if (escaped) std::rethrow_exception(escaped);
        Begin();
      }
      if (escaped) std::rethrow_exception(escaped);
      Failed(record.IdTestataPOS, errors);
    }
  }
  uint32_t elapsed = static_cast<uint32_t>(ctx_.clock.TickCount()) - static_cast<uint32_t>(began_tick_);
  if (elapsed >= static_cast<uint32_t>(ctx_.uow.commit_every_ms)) Commit();
}

// The receipt transfer, both warehouse calls and the ledger row; False at the first failure.
bool ReceiptBatch::Attempt(int32_t kind, SyncCollection& single, const TransferOps& ops) {
  if (!ops.sincro_scontrino(ctx_, kind, single)) return false;
  for (int32_t causale : {1, 2}) {
    if (!ops.aggiorna_magazzino(ctx_, kind, single, causale)) return false;
  }
  const clsSincroTestataScontrino& record = *single(1);
  bool ok = false;
  Guarded(ctx_, kSource, [&] {
    // A header whose write failed may still have handed out its id: rows without their
    // header are not a receipt, so it is tried again rather than recorded as transferred.
    if (record.SincronizzatoScontrinoBKF && !ReceiptHeaderExists(ctx_, record.IdTestataScontrinoBKF)) return;
    LedgerAddReceipt(ctx_, record.IdTestataPOS, record.IdTestataScontrinoBKF);
    if (failed_before_.count(record.IdTestataPOS)) LedgerClearFailure(ctx_, record.IdTestataPOS);
    ok = true;
  });
  return ok;
}

void ReceiptBatch::Failed(int32_t id_testata_pos, const std::vector<std::string>& errors) {
  Guarded(ctx_, kSource, [&] {
    LedgerRecordFailure(ctx_, id_testata_pos, ErrorText(errors));
    failed_before_.insert(id_testata_pos);
  });
}

// A backend that cannot roll back to the savepoint (SQL Server dooms a transaction on some
// errors) loses the whole batch: nothing of it was flagged, so the next run transfers it.
void ReceiptBatch::AbandonAfterBrokenRollback() {
  try {
    ctx_.back_office().RollbackTransaction();
  } catch (const db::Error& e) {
    ctx_.logs.ScriviLogErrore(kSource, e.what());
  }
  done_.clear();
  present_.clear();
  ctx_.uow.payments_to_flag.clear();
  ctx_.uow.reasons_copied.clear();
  ctx_.uow.row_numbers.clear();
  ctx_.uow.movement_totals.clear();
  ctx_.account.written = written_at_begin_;
  ctx_.connDbPuntoCassa->DropDeferredWrites(0);
  ctx_.connDbPuntoCassa->EndSnapshot();
}

bool ReceiptBatch::IsOpen() const { return ctx_.connDbLocale && ctx_.connDbLocale->InTransaction(); }

void ReceiptBatch::Commit() {
  db::Connection& back = ctx_.back_office();
  if (!back.InTransaction()) return;
  ctx_.uow.row_numbers.clear();
  try {
    // The totals the receipts left for the commit: if they cannot be written, the batch is
    // not committed, as when the commit itself fails.
    const uint64_t refused_before = Refused();
    if (!UpdateMovementTotalsOfTheBatch(ctx_) || Refused() != refused_before) {
      throw db::Error("The totals of the movement headers of the last receipts could not be written: none of "
                      "those receipts was transferred; they are tried again in the next run.");
    }
    back.CommitTransaction();
  } catch (...) {
    // Nothing of the batch is in the back office, and nothing of it is flagged; a commit
    // is not tried twice.
    ctx_.account.written = written_at_begin_;
    AbandonAfterBrokenRollback();
    throw;
  }
  ctx_.account.transferred += static_cast<int64_t>(done_.size());
  ctx_.account.already_present += static_cast<int64_t>(present_.size());
  std::vector<SyncCollection> done = std::move(done_);
  std::vector<std::pair<int32_t, int32_t>> present = std::move(present_);
  std::vector<int32_t> payments = std::move(ctx_.uow.payments_to_flag);
  done_.clear();
  present_.clear();
  ctx_.uow.payments_to_flag.clear();
  ctx_.uow.reasons_copied.clear();  // their flags are among the front office's writes below

  // The flags are a cache of the ledger: a crash from here on loses none of the receipts,
  // the next run finds them in the ledger and only sets their flags.
  db::Connection& front = *ctx_.connDbPuntoCassa;
  front.set_defer_writes(false);
  front.BeginTransaction();
  try {
    front.RunDeferredWrites();
    FlagTransferredPayments(ctx_, payments);
    for (SyncCollection& single : done) {
      ParseCollectionForLoggin(ctx_, single);
      ParseCollectionForUpdatingRow(ctx_, single);
    }
    for (const auto& [pos, bkf] : present) FlagTransferredReceipt(ctx_, pos, bkf);
    front.CommitTransaction();
  } catch (...) {
    front.RollbackTransaction();
    throw;
  }
}

}  // namespace velkaris
