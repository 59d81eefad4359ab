#include "platform/clock.h"

#include <sched.h>
#include <time.h>

#include <chrono>
#include <thread>

namespace platform {

db::Date SystemClock::Now() {
  time_t t = time(nullptr);
  struct tm local;
  localtime_r(&t, &local);
  return db::Date::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, local.tm_sec);
}

int32_t SystemClock::TickCount() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

void SystemClock::Yield() { sched_yield(); }

void SystemClock::SleepMs(int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void FrozenClock::Advance(int32_t ms) {
  tick_ = static_cast<int32_t>(static_cast<uint32_t>(tick_) + static_cast<uint32_t>(ms));
  now_.serial += ms / 86400000.0;
  slept_ms_ += ms;
}

}  // namespace platform
