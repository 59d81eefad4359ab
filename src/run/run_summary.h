// How a run went, told three ways: the JSON account of --summary, the one line a terminal
// shows at the end, and the exit status of --exit-status.
#pragma once

#include <string>

#include "core/run_account.h"

namespace velkaris {

std::string SummaryJson(const RunAccount& account);
std::string SummaryLine(const RunAccount& account);
// 0: every selected receipt transferred; 1: some receipt failed or was not reached;
// 2: the run could not start.
int ExitStatus(const RunAccount& account);

// Writes text to `path`, replacing it; the reason when it cannot ("" on success).
std::string WriteTextFile(const std::string& path, const std::string& text);

}  // namespace velkaris
