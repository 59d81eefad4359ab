// A progress line for people watching a long run in a terminal: receipts done of those
// selected, the rate and the time left, then one line that tells how the run went. Silent
// under a scheduler.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace velkaris {

class ProgressLine {
 public:
  explicit ProgressLine(FILE* out) : out_(out) {}
  void Update(int32_t kind, size_t done, size_t total);
  // Replaces the progress line with the run's last word.
  void Finish(const std::string& summary);

 private:
  using Clock = std::chrono::steady_clock;
  FILE* out_;
  int32_t kind_ = 0;
  Clock::time_point start_, last_;
};

}  // namespace velkaris
