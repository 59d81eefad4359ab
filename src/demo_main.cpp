// velkaris-demo: creates the demo shop and runs one pass on it, with an account of the pass.
//
//   velkaris-demo run DIR [--receipts N] [--days D] [--seed S] [--fresh]
//       creates the demo in DIR when it is not there (or with --fresh), runs one pass of the
//       velkaris binary beside this one, and prints what the pass did
//   velkaris-demo generate DIR [--receipts N] [--days D] [--seed S]
//       only (re)creates the demo
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/demo_account.h"
#include "demo/demo_generator.h"
#include "platform/system.h"

namespace {

const char kUsage[] =
    "Usage: velkaris-demo run DIR [--receipts N] [--days D] [--seed S] [--fresh]\n"
    "       velkaris-demo generate DIR [--receipts N] [--days D] [--seed S]\n"
    "\n"
    "  run       creates the demo shop in DIR when it is not there (or with --fresh), runs one\n"
    "            pass of the velkaris binary beside this one and prints what the pass did\n"
    "  generate  only (re)creates the demo shop\n"
    "  --receipts N  printed POS receipts (1 to 1000000, default 300)\n"
    "  --days D      days they spread over (1 to 366, default 3)\n"
    "  --seed S      seed of the generator (0 to 2147483647): the same seed gives the same shop\n";

int Usage(const std::string& error) {
  std::fprintf(stderr, "velkaris-demo: %s\n\n%s", error.c_str(), kUsage);
  return 2;
}

// A whole number in [low, high], written in decimal and nothing else.
bool ParseNumber(const std::string& text, long low, long high, long* out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10) return false;
  long value = std::stol(text);
  if (value < low || value > high) return false;
  *out = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  if (args.empty() || (args[0] != "run" && args[0] != "generate")) return Usage("say run or generate");
  if (args.size() < 2 || args[1].rfind("--", 0) == 0) return Usage(args[0] + " needs the folder of the demo shop");
  velkaris::demo::DemoOptions options;
  options.dir = args[1];
  options.schema_dir = VELKARIS_SCHEMA_DIR;
  bool fresh = false;
  for (size_t i = 2; i < args.size(); ++i) {
    struct Bound {
      const char* name;
      long low, high;
    };
    auto number = [&](const Bound& b, auto* out) {
      long value = 0;
      if (i + 1 >= args.size()) return Usage(std::string(b.name) + " needs a number");
      if (!ParseNumber(args[++i], b.low, b.high, &value)) {
        return Usage(std::string(b.name) + " must be a whole number from " + std::to_string(b.low) + " to " +
                     std::to_string(b.high) + ", not '" + args[i] + "'");
      }
      *out = static_cast<std::remove_pointer_t<decltype(out)>>(value);
      return 0;
    };
    int bad = 0;
    if (args[i] == "--fresh" && args[0] == "run") {
      fresh = true;
    } else if (args[i] == "--receipts") {
      bad = number({"--receipts", 1, 1000000}, &options.receipts);
    } else if (args[i] == "--days") {
      bad = number({"--days", 1, 366}, &options.days);
    } else if (args[i] == "--seed") {
      bad = number({"--seed", 0, 2147483647}, &options.seed);
    } else {
      bad = Usage("unknown argument '" + args[i] + "'");
    }
    if (bad) return bad;
  }
  try {
    velkaris::demo::DemoFiles files = velkaris::demo::DemoPaths(options.dir);
    if (args[0] == "generate" || fresh || !std::filesystem::exists(files.front)) {
      int64_t rows = velkaris::demo::GenerateDemo(options);
      std::printf("Demo shop created in %s: %d printed POS receipts with %lld rows over %d days.\n", options.dir.c_str(),
                  options.receipts, static_cast<long long>(rows), options.days);
      if (fresh) {
        for (const auto& e : std::filesystem::directory_iterator(options.dir)) {
          std::string name = e.path().filename().string();
          if (name.rfind("logSincro", 0) == 0 || name == "logVelkaris.log") std::filesystem::remove(e.path());
        }
      }
    }
    if (args[0] == "generate") return 0;
    std::string log_dir = std::filesystem::path(files.registry).parent_path().string();
    velkaris::demo::Snapshot before = velkaris::demo::TakeSnapshot(files, log_dir);
    std::string velkaris = platform::ProgramDir() + "/velkaris";
    std::string command = "'" + velkaris + "' --registry '" + files.registry + "' --log-dir '" + log_dir + "' /no_wait";
    int status = std::system(command.c_str());
    if (status != 0) std::fprintf(stderr, "velkaris-demo: '%s' ended with status %d\n", command.c_str(), status);
    velkaris::demo::Snapshot after = velkaris::demo::TakeSnapshot(files, log_dir);
    std::fputs(velkaris::demo::Account(before, after, log_dir).c_str(), stdout);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velkaris-demo: %s\n", e.what());
    return 1;
  }
}
