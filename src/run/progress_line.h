// A progress line for people watching a long run in a terminal: receipts done of those
// selected, the rate and the time left. Silent under a scheduler.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace velkaris {

class ProgressLine {
 public:
  explicit ProgressLine(FILE* out) : out_(out) {}
  void Update(int32_t kind, size_t done, size_t total);

 private:
  using Clock = std::chrono::steady_clock;
  FILE* out_;
  int32_t kind_ = 0;
  Clock::time_point start_, last_;
};

}  // namespace velkaris
