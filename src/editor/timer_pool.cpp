#include "editor/timer_pool.h"

#include <algorithm>

namespace {
// A trigger fires on the tick that comes within this much of its due time.
constexpr uint32_t kSlack = 27;
}  // namespace

TQedTimerPool::TQedTimerPool() {
  Timer_.SetEnabled(false);
  Timer_.OnTimer = [this] { Tick(); };
}

TQedTimerPool::TTrigger* TQedTimerPool::Find(int handle) {
  for (TTrigger& t : Triggers_)
    if (t.Handle == handle) return &t;
  return nullptr;
}

int TQedTimerPool::Add(uint32_t interval, TTriggerEvent handler, bool repeating) {
  TTrigger t;
  t.Handle = NextHandle_++;
  t.Repeating = repeating;
  t.Interval = std::max<uint32_t>(interval, 1);
  t.Start = t.LastFired = GetTickCount();
  t.Handler = std::move(handler);
  Triggers_.push_back(std::move(t));
  Reschedule();
  return Triggers_.back().Handle;
}

void TQedTimerPool::Remove(int handle) {
  std::erase_if(Triggers_, [handle](const TTrigger& t) { return t.Handle == handle; });
  Reschedule();
}

void TQedTimerPool::SetActive(int handle, bool active) {
  TTrigger* t = Find(handle);
  if (t == nullptr || t->Active == active) return;
  t->Active = active;
  if (active) t->LastFired = GetTickCount();
  Reschedule();
}

bool TQedTimerPool::Active(int handle) const {
  for (const TTrigger& t : Triggers_)
    if (t.Handle == handle) return t.Active;
  return false;
}

int TQedTimerPool::ActiveCount() const {
  return int(std::count_if(Triggers_.begin(), Triggers_.end(), [](const TTrigger& t) { return t.Active; }));
}

void TQedTimerPool::Reschedule() {
  // The base interval: the shortest wait of any active trigger, at least
  // the minimum, then lowered until every interval is a multiple of it.
  const uint32_t now = GetTickCount();
  uint32_t base = UINT32_MAX;
  for (const TTrigger& t : Triggers_) {
    if (!t.Active) continue;
    const uint32_t since = now - t.LastFired;
    base = std::min({base, t.Interval, t.Interval > since ? t.Interval - since : 0u});
  }
  if (base == UINT32_MAX) {
    Timer_.SetEnabled(false);
    return;
  }
  base = std::max(base, kMinInterval);
  bool lowered = true;
  while (lowered && base > kMinInterval) {
    lowered = false;
    for (const TTrigger& t : Triggers_)
      if (t.Active && t.Interval % base != 0) {
        // Never below the minimum: a trigger part-way through its wait
        // would otherwise drive the timer ever faster.
        base = std::max(base - t.Interval % base, kMinInterval);
        lowered = true;
        break;
      }
  }
  Base_ = base;
  Timer_.SetInterval(base);
  Timer_.SetEnabled(true);
}

void TQedTimerPool::Tick() {
  const uint32_t now = GetTickCount();
  // Handlers may add, remove or switch triggers: walk a list of handles.
  std::vector<int> due;
  for (const TTrigger& t : Triggers_)
    if (t.Active && now - t.LastFired + kSlack >= t.Interval) due.push_back(t.Handle);
  bool removed = false;
  for (int h : due) {
    TTrigger* t = Find(h);
    if (t == nullptr || !t->Active) continue;
    t->LastFired = now;
    const uint32_t elapsed = now - t->Start, interval = t->Interval;
    TTriggerEvent handler = t->Handler;
    if (!t->Repeating) {
      Remove(h);
      removed = true;
    }
    if (handler) handler(h, elapsed, interval);
    if (OnAllTriggers) OnAllTriggers(h, elapsed, interval);
  }
  if (removed) Reschedule();
}
