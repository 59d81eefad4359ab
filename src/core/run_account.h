// The account of one run: what it selected, transferred and wrote, and how it ended. The
// run driver and the writers fill it; --summary and the terminal's last line read it.
#pragma once

#include <cstdint>
#include <string>

#include "db/value.h"

namespace velkaris {

struct RunAccount {
  // "transactions" (a receipt is one unit of work) or "per-statement" (the original's way).
  std::string mode = "transactions";
  db::Date start, end;
  // False until the lock, the logs, both connections, the guard and the settings let the run
  // start; `not_started` then says why.
  bool started = false;
  std::string not_started;
  // The passes stopped before their end (a selection or a reconnection failed, or the first
  // failing receipt of the per-statement mode ended the run).
  bool ended_early = false;

  int64_t selected = 0;         // receipts of both passes
  int64_t transferred = 0;      // receipts written, reported and flagged by this run
  int64_t failed = 0;           // receipts that failed (their writes removed)
  int64_t already_present = 0;  // receipts found already transferred; only their flags were set

  // What the transferred receipts wrote into the back office. The writers count as they
  // write; the run driver takes back the counts of a receipt that fails.
  struct Written {
    int64_t rows = 0;        // receipt rows
    int64_t payments = 0;    // receipt payments
    int64_t movements = 0;   // warehouse movement rows
    int64_t stock_rows = 0;  // stock-row updates
  } written;

  int64_t errors = 0;       // error-log entries that are errors (not the row notices)
  std::string first_error;  // the first of them, without its time stamp

  // Every selected receipt is accounted for as transferred or already present.
  bool Complete() const {
    return started && !ended_early && failed == 0 && transferred + already_present == selected;
  }
};

}  // namespace velkaris
