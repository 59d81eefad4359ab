#include "run/program.h"

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "platform/clock.h"
#include "platform/system.h"
#include "run/command_line.h"
#include "core/context.h"
#include "db/sqlite/library.h"
#include "run/progress_line.h"
#include "receipts/receipt_transfer.h"
#include "run/run_driver.h"
#include "run/run_summary.h"
#include "run/verify.h"
#include "warehouse/warehouse_transfer.h"

namespace velkaris {

namespace {

// The account of a run: --summary, the terminal's last line, and the statistics the
// benchmark reads.
void Report(const CommandLine& cl, Context& ctx, ProgressLine& progress, bool terminal) {
  if (!cl.summary_file.empty()) {
    std::string why = WriteTextFile(cl.summary_file, SummaryJson(ctx.account));
    if (!why.empty()) std::fprintf(stderr, "velkaris: cannot write the summary '%s': %s\n", cl.summary_file.c_str(), why.c_str());
  }
  if (terminal) progress.Finish(SummaryLine(ctx.account));
  if (const char* stats = std::getenv("VELKARIS_STATS"); stats && *stats) {
    if (FILE* f = std::fopen(stats, "w")) {
      std::fprintf(f, "statements=%llu\n", static_cast<unsigned long long>(ctx.StatementCount()));
      std::fclose(f);
    }
  }
}

}  // namespace

int RunProgram(const std::vector<std::string>& args) {
  db::sqlite::ConfigureLibrary();
  CommandLine cl = ParseCommandLine(args);
  if (!cl.error.empty()) {
    std::fprintf(stderr, "velkaris: %s\n\n%s", cl.error.c_str(), kUsage);
    return 2;
  }
  if (cl.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (cl.version) {
    std::printf("velkaris %s\n", VELKARIS_VERSION);
    return 0;
  }
  platform::SystemClock clock;
  if (cl.command == CommandLine::kVerify) {
    return Verify(platform::Registry::Load(RegistryPath(cl)), cl.from_day, cl.to_day, stdout, stderr);
  }
  Context ctx(clock, cl.log_dir.empty() ? platform::ProgramDir() : cl.log_dir);
  ctx.registry = platform::Registry::Load(RegistryPath(cl));
  ProgressLine progress(stderr);
  const bool terminal = isatty(STDERR_FILENO);
  if (terminal) {
    ctx.progress = [&](int32_t kind, size_t done, size_t total) { progress.Update(kind, done, total); };
  }
  Main(ctx, cl.arguments, TransferOps{PCassa_SincroScontrino, PCassa_AggiornaMagazzinoDaScontrino});
  Report(cl, ctx, progress, terminal);
  return cl.exit_status ? ExitStatus(ctx.account) : 0;
}

}  // namespace velkaris
