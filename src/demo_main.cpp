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

int Usage() {
  std::fputs("Usage: velkaris-demo run|generate DIR [--receipts N] [--days D] [--seed S] [--fresh]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2 || (args[0] != "run" && args[0] != "generate")) return Usage();
  velkaris::demo::DemoOptions options;
  options.dir = args[1];
  options.schema_dir = VELKARIS_SCHEMA_DIR;
  bool fresh = false;
  for (size_t i = 2; i < args.size(); ++i) {
    auto number = [&](auto* out) {
      if (i + 1 >= args.size()) return false;
      *out = static_cast<std::remove_pointer_t<decltype(out)>>(std::stol(args[++i]));
      return true;
    };
    if (args[i] == "--fresh") {
      fresh = true;
    } else if (!((args[i] == "--receipts" && number(&options.receipts)) || (args[i] == "--days" && number(&options.days)) ||
                 (args[i] == "--seed" && number(&options.seed)))) {
      return Usage();
    }
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
