// The pending-transaction guard: another till's run active on the back office in the last
// 10 minutes stops this run.
#pragma once

#include <string>

#include "core/context.h"

namespace velkaris {

inline constexpr const char* kApplicationName = "Velkaris";

// True when another machine's instance is busy; writes its finding in the sync log.
bool EsistonoTransazioniInCorso(Context& ctx);
// This machine's name, as the server sees it in sysprocesses.hostname.
std::string funGetNomeComputer(Context& ctx);

}  // namespace velkaris
