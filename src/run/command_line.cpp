#include "run/command_line.h"

#include <cstdlib>

namespace velkaris {

const char kUsage[] =
    "Usage: velkaris [--registry FILE] [--log-dir DIR] [/no_wait]\n"
    "\n"
    "Copies the printed, not yet exported POS receipts of the front office into the back\n"
    "office, flags them exported, writes logSincro<dd>.txt and logVelkaris.log, and ends.\n"
    "\n"
    "  --registry FILE  registry export (.reg) holding the connection strings, IdCassa and\n"
    "                   IdMagazzinoForzato (default: $VELKARIS_REGISTRY, else\n"
    "                   $XDG_CONFIG_HOME/velkaris/registry.reg or ~/.config/velkaris/registry.reg)\n"
    "  --log-dir DIR    where the two logs and the lock file go (default: the program's directory)\n"
    "  /no_wait         start at once instead of pausing up to a minute\n"
    "  --help, --version\n";

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const std::string& name, std::string* out) {
      if (a == name) {
        if (i + 1 >= args.size()) {
          cl.error = name + " needs a value";
          return true;
        }
        *out = args[++i];
        return true;
      }
      if (a.rfind(name + "=", 0) == 0) {
        *out = a.substr(name.size() + 1);
        return true;
      }
      return false;
    };
    if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a == "--version") {
      cl.version = true;
    } else if (value("--registry", &cl.registry_file) || value("--log-dir", &cl.log_dir)) {
    } else {
      rest.push_back(a);
    }
  }
  for (size_t i = 0; i < rest.size(); ++i) cl.arguments += (i ? " " : "") + rest[i];
  return cl;
}

std::string RegistryPath(const CommandLine& cl) {
  if (!cl.registry_file.empty()) return cl.registry_file;
  if (const char* env = std::getenv("VELKARIS_REGISTRY"); env && *env) return env;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    return std::string(xdg) + "/velkaris/registry.reg";
  }
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.config/velkaris/registry.reg";
}

}  // namespace velkaris
