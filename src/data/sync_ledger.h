// The sync ledger in the back office: one row per POS receipt this till has transferred
// (written in the same transaction as the receipt), one per POS payment without receipt,
// one per POS discount reason copied with a receipt, and one per receipt that failed, with
// its attempts and last error. The ledger is the truth about what was transferred; the
// front office's FlagExport is a cache of it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/context.h"

namespace velkaris {

inline constexpr const char* kLedgerReceipts = "tabSincroScontrini";
inline constexpr const char* kLedgerPayments = "tabSincroPagamenti";
inline constexpr const char* kLedgerReasons = "tabSincroGiustifiche";
inline constexpr const char* kLedgerFailures = "tabSincroErrori";

// Creates the ledger tables that are missing. Throws db::Error naming the table and the
// permission the login lacks when one cannot be created.
void EnsureSyncLedger(Context& ctx);

// Whether the back office holds one of the ledger's tables.
bool LedgerHasTable(Context& ctx, const char* table);
// Whether the ledger of receipts and payments holds rows of this till (runs as units of work
// wrote them); false without it, or when the login may not read it.
bool LedgerHoldsThisTill(Context& ctx);

// The back-office receipt recorded for a POS receipt of this till; -1 when there is none.
int32_t LedgerReceipt(Context& ctx, int32_t id_testata_pos);
void LedgerAddReceipt(Context& ctx, int32_t id_testata_pos, int32_t id_testata_bkf);

// "" when the back-office receipt the ledger records for a POS receipt is that receipt (the
// same date and time, where both have one); otherwise why it is another receipt: a POS id
// used again, after the front-office database was restored or replaced, say. Such a receipt
// is neither transferred nor flagged until someone looks at it.
std::string LedgerReceiptMismatch(Context& ctx, int32_t id_testata_pos, int32_t id_testata_bkf);

// Whether the back office holds the receipt header `id_testata_bkf`.
bool ReceiptHeaderExists(Context& ctx, int32_t id_testata_bkf);

// POS payments that belong to no receipt, by their POS id.
// The back-office payment recorded for a POS payment of this till; -1 when there is none.
int32_t LedgerPayment(Context& ctx, int32_t id_pagamento_pos);
// As LedgerReceiptMismatch, for a payment: "" when the back-office payment the ledger records
// has the POS payment's date and amount (or cannot be compared).
std::string LedgerPaymentMismatch(Context& ctx, int32_t id_pagamento_pos, int32_t id_pagamento_bkf);
void LedgerAddPayment(Context& ctx, int32_t id_pagamento_pos, int32_t id_pagamento_bkf);

// POS discount reasons copied with their receipt, by their POS id; those of one POS receipt
// (none when the back office has no such ledger: see UnitOfWork::reasons_ledger).
void LedgerAddReason(Context& ctx, int32_t id_giustifica_pos, int32_t id_testata_pos, int32_t id_giustifica_bkf);
std::vector<int32_t> LedgerReasons(Context& ctx, int32_t id_testata_pos);

// Failed receipts: one more attempt with its last error; cleared once the receipt is in.
void LedgerRecordFailure(Context& ctx, int32_t id_testata_pos, const std::string& error);
void LedgerClearFailure(Context& ctx, int32_t id_testata_pos);
std::set<int32_t> LedgerFailedReceipts(Context& ctx);

}  // namespace velkaris
