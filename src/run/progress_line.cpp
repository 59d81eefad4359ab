#include "run/progress_line.h"

namespace velkaris {

void ProgressLine::Update(int32_t kind, size_t done, size_t total) {
  Clock::time_point now = Clock::now();
  if (kind != kind_) {
    kind_ = kind;
    start_ = now;
    last_ = Clock::time_point();
  }
  bool finished = done == total;
  if (!finished && now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  double seconds = std::chrono::duration<double>(now - start_).count();
  double rate = seconds > 0 ? done / seconds : 0;
  double left = rate > 0 ? (total - done) / rate : 0;
  std::fprintf(out_, "\r%s: %zu/%zu receipts, %.1f/s, about %.0f s left   ",
               kind == 2 ? "Returns" : "Sales", done, total, rate, left);
  if (finished) std::fputc('\n', out_);
  std::fflush(out_);
}

void ProgressLine::Finish(const std::string& summary) {
  // "\x1b[K" clears what is left of a longer progress line.
  std::fprintf(out_, "\r%s\x1b[K\n", summary.c_str());
  std::fflush(out_);
}

}  // namespace velkaris
