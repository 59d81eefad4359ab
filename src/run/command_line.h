// The command line: our own options (--registry FILE, --log-dir DIR, --help, --version) are
// taken out first; what remains is the argument text the run driver compares with
// "/no_wait".
#pragma once

#include <string>
#include <vector>

namespace velkaris {

struct CommandLine {
  std::string registry_file;  // empty: $VELKARIS_REGISTRY, else the per-user default
  std::string log_dir;        // empty: the program's directory
  std::string arguments;      // the rest, joined by single blanks
  bool help = false;
  bool version = false;
  std::string error;          // an option without its value
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);  // args without argv[0]

// --registry, else $VELKARIS_REGISTRY, else $XDG_CONFIG_HOME/velkaris/registry.reg, else
// ~/.config/velkaris/registry.reg.
std::string RegistryPath(const CommandLine& cl);

extern const char kUsage[];

}  // namespace velkaris
