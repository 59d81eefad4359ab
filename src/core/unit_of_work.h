// How a run commits what it writes. By default every receipt is one unit of work: all it
// writes into the back office commits together with its row in the sync ledger, and its
// front-office flags follow the commit. The original way, every statement committing on
// its own with compensating deletes, stays behind "Velkarys.Transazioni"="0".
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace velkaris {

struct UnitOfWork {
  bool per_receipt = true;
  // Per statement: the back office holds ledger rows of earlier runs as units of work. A
  // receipt or payment of no receipt found there is only flagged, never copied again (a run
  // killed between the back office's commit and the flags, then switched to per statement).
  bool ledger_found = false;
  // The back office has the ledger of discount reasons (a run as units of work creates it;
  // one per statement may meet a back office of an earlier version without it).
  bool reasons_ledger = false;
  // On SQLite, a unit of work takes what it would read back right after a write from what it
  // wrote: new document rows are inserted with their amounts instead of being read back and
  // updated (see SetRowTotalsBeforeInsert), a stock row gets its available quantity with its
  // stock. The rest of a unit of work is the same.
  bool no_read_back = true;
  // On SQLite, the totals of the movement headers a batch's receipts wrote rows to are worked
  // out once, before the batch commits, instead of after every receipt: they are sums over
  // the header's rows, which only receipts change and nothing reads in between.
  bool movement_totals_per_batch = true;
  // While the front office is read as one snapshot, the reads every POS row of a receipt
  // makes there are answered from one read of the whole receipt each (PrefetchReceiptReads).
  bool prefetch_reads = true;
  // The headers whose totals wait for the commit (see movement_totals_per_batch), in the
  // order the receipts wrote to them; trimmed with a receipt that fails.
  std::vector<int32_t> movement_totals;
  // A batch of receipts commits once this much time has passed since it began.
  int32_t commit_every_ms = 250;
  // POS payments without a receipt written in the open transaction, by POS payment id:
  // flagged in the front office once the back office has committed them.
  std::vector<int32_t> payments_to_flag;
  // POS payments without a receipt whose id the ledger holds for another payment (ids used
  // again): neither copied nor flagged, named once in the error log.
  std::set<int32_t> payments_of_another;
  // Front-office discount reasons copied in the open transaction, by their ID: their
  // flagExport waits with the front office's other writes, so until the commit they still
  // read as not exported and must not be copied again.
  std::vector<int32_t> reasons_copied;
  // The row number last written in the open transaction, by detail table (lower case) and
  // document: the next one follows it without reading the table again. Forgotten with a
  // receipt that fails and at every commit.
  std::map<std::pair<std::string, int32_t>, int32_t> row_numbers;
};

}  // namespace velkaris
