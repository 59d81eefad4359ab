#include "run/program.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/system.h"
#include "run/command_line.h"
#include "run/context.h"
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
  Main(ctx, cl.arguments, TransferOps{PCassa_SincroScontrino, PCassa_AggiornaMagazzinoDaScontrino});
  return 0;
}

}  // namespace velkaris
