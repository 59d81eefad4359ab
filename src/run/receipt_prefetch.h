// The reads every POS row of a receipt makes in the front office (the row's own columns, its
// kit components, its discount reasons), answered for the whole receipt by one read each
// while the front office is read as one frozen snapshot: the rows' reads then find their
// answers kept and are not sent. A row that has components or reasons of its own reads them
// as before (only empty answers are kept for those reads), so that what it reads comes in
// the database's order.
#pragma once

#include "core/context.h"
#include "core/sync_records.h"

namespace velkaris {

// Drops what the previous receipt left unread, then keeps the answers for this one. Does
// nothing outside a frozen snapshot; a read that fails leaves the rows to read for
// themselves, as they would have (the caller counts the connection's refused statements
// for the receipt only after this).
void PrefetchReceiptReads(Context& ctx, const clsSincroTestataScontrino& record);

}  // namespace velkaris
