#include "run/program.h"

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "platform/clock.h"
#include "platform/system.h"
#include "run/command_line.h"
#include "core/context.h"
#include "run/progress_line.h"
#include "receipts/receipt_transfer.h"
#include "run/run_driver.h"
#include "warehouse/warehouse_transfer.h"

namespace velkaris {

int RunProgram(const std::vector<std::string>& args) {
  CommandLine cl = ParseCommandLine(args);
  if (cl.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (cl.version) {
    std::printf("velkaris %s\n", VELKARIS_VERSION);
    return 0;
  }
  if (!cl.error.empty()) {
    std::fprintf(stderr, "velkaris: %s\n%s", cl.error.c_str(), kUsage);
    return 0;
  }
  platform::SystemClock clock;
  Context ctx(clock, cl.log_dir.empty() ? platform::ProgramDir() : cl.log_dir);
  ctx.registry = platform::Registry::Load(RegistryPath(cl));
  ProgressLine progress(stderr);
  if (isatty(STDERR_FILENO)) {
    ctx.progress = [&](int32_t kind, size_t done, size_t total) { progress.Update(kind, done, total); };
  }
  Main(ctx, cl.arguments, TransferOps{PCassa_SincroScontrino, PCassa_AggiornaMagazzinoDaScontrino});
  // For the benchmark: the statements the run sent.
  if (const char* stats = std::getenv("VELKARIS_STATS"); stats && *stats) {
    if (FILE* f = std::fopen(stats, "w")) {
      std::fprintf(f, "statements=%llu\n", static_cast<unsigned long long>(ctx.StatementCount()));
      std::fclose(f);
    }
  }
  return 0;
}

}  // namespace velkaris
