// Marks the POS rows and payments of transferred receipts as exported (FlagExport 1), so
// that the next selection does not pick them again.
#pragma once

#include <cstdint>
#include <vector>

#include "core/context.h"
#include "core/sync_records.h"

namespace velkaris {

// A row is marked only when both its receipt row and its warehouse row were written.
// False for an empty collection or when an error stopped it.
bool ParseCollectionForUpdatingRow(Context& ctx, SyncCollection& receipts);

// A receipt found in the sync ledger: flags its POS rows and payments that are still
// unflagged and says so once in the sync log.
void FlagTransferredReceipt(Context& ctx, int32_t id_testata_pos, int32_t id_testata_bkf);

// POS payments without a receipt that the back office has committed.
void FlagTransferredPayments(Context& ctx, const std::vector<int32_t>& pos_payment_ids);

// Payments of no receipt whose flags were lost after their commit: the ledger has them. One
// whose id the ledger holds for another payment is left unflagged (as units of work, named
// in the error log and never copied: see LedgerPaymentMismatch).
void FlagPaymentsAlreadyTransferred(Context& ctx);

}  // namespace velkaris
