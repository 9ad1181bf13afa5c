// The editor's timer pool: many logical timers (triggers) of one form served
// by a single platform timer. The timer runs at a base interval chosen so
// that every trigger's interval is a multiple of it; each tick fires the
// triggers that are due. Caret blinking and delayed notifications use it.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/events.h"

// A trigger's handler: its handle, the milliseconds since it was added and
// its interval.
using TTriggerEvent = std::function<void(int handle, uint32_t elapsed, uint32_t interval)>;

class TQedTimerPool {
 public:
  static constexpr uint32_t kMinInterval = 55;

  TQedTimerPool();
  TQedTimerPool(const TQedTimerPool&) = delete;
  TQedTimerPool& operator=(const TQedTimerPool&) = delete;

  // Adds an active trigger and returns its handle (never 0). A trigger that
  // does not repeat is removed after it fired once.
  int Add(uint32_t interval, TTriggerEvent handler, bool repeating = true);
  void Remove(int handle);
  void SetActive(int handle, bool active);
  bool Active(int handle) const;
  int ActiveCount() const;
  // The platform timer's interval; 0 while no trigger is active.
  uint32_t BaseInterval() const { return Timer_.Enabled() ? Base_ : 0; }

  // Called after each fired trigger's own handler.
  TTriggerEvent OnAllTriggers;

 private:
  struct TTrigger {
    int Handle = 0;
    bool Active = true;
    bool Repeating = true;
    uint32_t Start = 0;
    uint32_t Interval = 0;
    uint32_t LastFired = 0;
    TTriggerEvent Handler;
  };
  TTrigger* Find(int handle);
  void Reschedule();
  void Tick();

  TTimer Timer_;
  std::vector<TTrigger> Triggers_;
  uint32_t Base_ = kMinInterval;
  int NextHandle_ = 1;
};
