// The whole life of a run: single instance, connections, guard, start-up pause, settings,
// then the two passes over the selected receipts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/context.h"
#include "core/sync_records.h"

namespace velkaris {

// The receipt transfer and the warehouse transfer the run driver calls for each receipt.
struct TransferOps {
  // (kind, single-receipt collection) -> False when the receipt failed.
  std::function<bool(Context&, int32_t& kind, SyncCollection& receipts)> sincro_scontrino;
  // (kind, single-receipt collection, row causale) -> False when the receipt failed.
  std::function<bool(Context&, int32_t& kind, SyncCollection& receipts, int32_t& causale)> aggiorna_magazzino;
};

// Transfers that write nothing and always succeed.
TransferOps NoTransfers();

// One run. `command_line` is the argument text after the program name (our own options
// removed); exactly "/no_wait" skips the start-up pause. ctx.account tells how it went.
void Main(Context& ctx, const std::string& command_line, const TransferOps& ops);

// True when today's sync log and the error log can be written; otherwise logs (or, when the
// error log is the one that cannot be written, prints) which file and what to do.
bool CheckLogsWritable(Context& ctx);

// Waits `ms` milliseconds on the tick counter.
void Sleep2(Context& ctx, int32_t ms);

// The platform's unseeded pseudo-random generator: the same sequence on every run,
// starting 0.7055475.
class UnseededRandom {
 public:
  double Next();

 private:
  uint32_t state_ = 0x50000;
};

}  // namespace velkaris
