// The process: reads the command line, sets up the context on the real clock, registry
// and log directory, and runs one pass.
#pragma once

#include <string>
#include <vector>

namespace velkaris {

// Returns the exit status: 0 unless asked with --exit-status (the logs are the record of a
// run), 2 for a command line that is not understood.
int RunProgram(const std::vector<std::string>& args);

}  // namespace velkaris
