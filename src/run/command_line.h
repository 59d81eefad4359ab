// The command line. A run: our own options (--registry FILE, --log-dir DIR, --summary FILE,
// --exit-status, --help, --version) are taken out first; what remains is the argument text
// the run driver compares with "/no_wait". Anything else that looks like an option is an
// error. "verify" as the first word asks for the reconciliation instead of a run.
#pragma once

#include <string>
#include <vector>

namespace velkaris {

struct CommandLine {
  enum Command { kRun, kVerify } command = kRun;
  std::string registry_file;  // empty: $VELKARIS_REGISTRY, else the per-user default
  std::string log_dir;        // empty: the program's directory
  std::string summary_file;   // empty: no account of the run is written
  bool exit_status = false;   // the status tells how the run went (else always 0)
  std::string from_day, to_day;  // verify: the day range, as given (empty: no bound)
  std::string arguments;      // the rest, joined by single blanks
  bool help = false;
  bool version = false;
  std::string error;          // what is wrong with the command line
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);  // args without argv[0]

// --registry, else $VELKARIS_REGISTRY, else $XDG_CONFIG_HOME/velkaris/registry.reg, else
// ~/.config/velkaris/registry.reg.
std::string RegistryPath(const CommandLine& cl);

extern const char kUsage[];

}  // namespace velkaris
