#include "run/command_line.h"

#include <cstdlib>

namespace velkaris {

const char kUsage[] =
    "Usage: velkaris [--registry FILE] [--log-dir DIR] [--summary FILE] [--exit-status] [/no_wait]\n"
    "       velkaris verify [--registry FILE] [--from DAY] [--to DAY]\n"
    "\n"
    "Copies the printed, not yet exported POS receipts of the front office into the back\n"
    "office, flags them exported, writes logSincro<dd>.txt and logVelkaris.log, and ends.\n"
    "\n"
    "  --registry FILE  registry export (.reg) holding the connection strings, IdCassa and\n"
    "                   IdMagazzinoForzato (default: $VELKARIS_REGISTRY, else\n"
    "                   $XDG_CONFIG_HOME/velkaris/registry.reg or ~/.config/velkaris/registry.reg)\n"
    "  --log-dir DIR    where the two logs go (default: the program's directory)\n"
    "  --summary FILE   write an account of the run to FILE (JSON)\n"
    "  --exit-status    exit 0 when every selected receipt was transferred, 1 when some\n"
    "                   receipt failed, 2 when the run could not start (default: always 0)\n"
    "  /no_wait         start at once instead of pausing up to a minute\n"
    "  --help, --version\n"
    "\n"
    "verify compares, for this till and the days from DAY to DAY (dd/mm/yyyy or yyyy-mm-dd;\n"
    "every day when not given), the front office with the back office and prints a table;\n"
    "it exits 0 when everything agrees, 1 when something differs, 2 when it cannot check.\n";

namespace {

// Reads the value of option `name` at args[i] ("--name VALUE" or "--name=VALUE"). Returns
// false when args[i] is not that option.
bool OptionValue(const std::vector<std::string>& args, size_t& i, const std::string& name, std::string* out,
                 std::string* error) {
  const std::string& a = args[i];
  if (a == name) {
    if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
      *error = name + " needs a value";
      return true;
    }
    *out = args[++i];
  } else if (a.rfind(name + "=", 0) == 0) {
    *out = a.substr(name.size() + 1);
  } else {
    return false;
  }
  if (out->empty()) *error = name + " needs a value";
  return true;
}

bool LooksLikeOption(const std::string& a) { return a.size() > 1 && a[0] == '-'; }

void ParseVerify(const std::vector<std::string>& args, CommandLine& cl) {
  cl.command = CommandLine::kVerify;
  for (size_t i = 1; i < args.size() && cl.error.empty(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (OptionValue(args, i, "--registry", &cl.registry_file, &cl.error) ||
               OptionValue(args, i, "--from", &cl.from_day, &cl.error) ||
               OptionValue(args, i, "--to", &cl.to_day, &cl.error)) {
    } else {
      cl.error = "verify does not take '" + a + "'";
    }
  }
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  if (!args.empty() && args[0] == "verify") {
    ParseVerify(args, cl);
    return cl;
  }
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size() && cl.error.empty(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a == "--version") {
      cl.version = true;
    } else if (a == "--exit-status") {
      cl.exit_status = true;
    } else if (OptionValue(args, i, "--registry", &cl.registry_file, &cl.error) ||
               OptionValue(args, i, "--log-dir", &cl.log_dir, &cl.error) ||
               OptionValue(args, i, "--summary", &cl.summary_file, &cl.error)) {
    } else if (LooksLikeOption(a)) {
      cl.error = "unknown option '" + a + "'";
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
