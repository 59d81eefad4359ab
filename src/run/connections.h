// The two process-wide connections and their companion SQL objects: (re)opened at start,
// before every 50th receipt, in the failure exit and at every receipt selection.
#pragma once

#include "core/context.h"

namespace velkaris {

// True when both the back-office connection and its companion object are open. With
// log_flag the daily sync log gets the "Avviata connessione" line.
bool AvviaConnessioneBackoffice(Context& ctx, bool log_flag);
// The same for the front office (POS).
bool AvviaConnessionePcassa(Context& ctx, bool log_flag);
// Whether opening both connections again would hand back the same open SQLite engines (see
// db::EnginePool): then nothing in either database would change.
bool ConnectionsReopenAsIs(Context& ctx);

// Closes both connections (when open) and disconnects both companion objects; errors are
// ignored. Used by the run driver just before it ends on a failure.
void CloseAllConnections(Context& ctx) noexcept;

}  // namespace velkaris
