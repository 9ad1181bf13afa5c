// The event loop, timers and time.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

// Lets pending events run (repaints, input, due timers), as long operations
// do at intervals.
void ProcessMessages();

// Milliseconds since an arbitrary start; wraps like a 32-bit tick count.
uint32_t GetTickCount();

struct TDateTimeParts {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};
TDateTimeParts LocalNow();

// A timer that calls OnTimer every Interval ms while Enabled, from the event
// loop (never re-entrantly).
class TTimer {
 public:
  TTimer();
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  void SetInterval(uint32_t ms);
  uint32_t Interval() const { return interval_; }
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  std::function<void()> OnTimer;

  // Backend bookkeeping.
  struct Impl;
  Impl* impl() { return impl_.get(); }

 private:
  uint32_t interval_ = 1000;
  bool enabled_ = true;
  std::unique_ptr<Impl> impl_;
};
