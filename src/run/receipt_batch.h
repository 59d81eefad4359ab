// Receipts as units of work. Several receipts share one back-office transaction, each
// under its own savepoint: a receipt that fails rolls back alone, is recorded with its
// errors beside the sync ledger, and the pass goes on. The batch commits once
// `commit_every_ms` has passed since it began; only then are its receipts reported in the
// sync log and flagged in the front office, in one front-office transaction.
#pragma once

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "core/context.h"
#include "core/sync_records.h"
#include "run/run_driver.h"

namespace velkaris {

class ReceiptBatch {
 public:
  explicit ReceiptBatch(Context& ctx);
  ~ReceiptBatch();  // rolls back what was not committed
  ReceiptBatch(const ReceiptBatch&) = delete;
  ReceiptBatch& operator=(const ReceiptBatch&) = delete;

  // Transfers the receipt of `single` unless the ledger already holds it.
  void Transfer(int32_t kind, SyncCollection& single, const TransferOps& ops);
  // Commits the open transaction, then reports and flags what it held. Throws when the
  // commit fails (nothing is flagged then, and the receipts come back in the next run).
  void Commit();
  // Whether a transaction of the batch is open.
  bool IsOpen() const;
  // The receipts the open transaction holds (transferred, or found in the ledger).
  size_t Held() const { return done_.size() + present_.size(); }

 private:
  bool Attempt(int32_t kind, SyncCollection& single, const TransferOps& ops);
  void Failed(int32_t id_testata_pos, const std::vector<std::string>& errors);
  void Begin();
  uint64_t Refused() const;
  void AbandonAfterBrokenRollback();

  Context& ctx_;
  std::set<int32_t> failed_before_;
  int32_t began_tick_ = 0;
  RunAccount::Written written_at_begin_;              // the account's counts when the transaction began
  std::vector<SyncCollection> done_;                   // transferred in the open transaction
  std::vector<std::pair<int32_t, int32_t>> present_;   // (POS id, back-office id) found in the ledger
};

}  // namespace velkaris
