// Current date and time, the millisecond tick counter and the yielding sleep; tests
// freeze it.
#pragma once

#include <cstdint>

#include "db/value.h"

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual db::Date Now() = 0;             // local date and time, to the second
  virtual int32_t TickCount() = 0;        // milliseconds since an arbitrary start, wraps
  virtual void Yield() = 0;               // gives up the rest of the time slice
  virtual void SleepMs(int32_t ms) = 0;   // waits without spinning
};

class SystemClock : public Clock {
 public:
  db::Date Now() override;
  int32_t TickCount() override;
  void Yield() override;
  void SleepMs(int32_t ms) override;
};

// A clock that stands still until told to move; sleeping advances it.
class FrozenClock : public Clock {
 public:
  explicit FrozenClock(db::Date now, int32_t tick = 1000) : now_(now), tick_(tick) {}
  db::Date Now() override { return now_; }
  db::Date now() const { return now_; }
  int32_t TickCount() override { return tick_; }
  void Yield() override { Advance(1); }
  void SleepMs(int32_t ms) override { Advance(ms); }
  void Set(db::Date now) { now_ = now; }
  void SetTick(int32_t tick) { tick_ = tick; }
  void Advance(int32_t ms);
  int64_t slept_ms() const { return slept_ms_; }

 private:
  db::Date now_;
  int32_t tick_;
  int64_t slept_ms_ = 0;
};

}  // namespace platform
