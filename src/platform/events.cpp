// Timers and the switch between events backends.
#include "platform/events.h"

#include <map>

#include "platform/headless/headless_events.h"

namespace {

struct TEventsState {
  std::unique_ptr<TEventsBackend> installed;
  std::map<uint64_t, TTimer*> timers;  // live timers by id (creation order)
  uint64_t nextId = 1;
};

// Never destroyed, so timers and backends outliving static destruction stay
// safe.
TEventsState& State() {
  static TEventsState* state = new TEventsState;
  return *state;
}

}  // namespace

TEventsBackend& EventsBackend() {
  TEventsState& s = State();
  return s.installed ? *s.installed : HeadlessEventsBackend();
}

void SetEventsBackend(std::unique_ptr<TEventsBackend> backend) {
  TEventsState& s = State();
  TEventsBackend& old = EventsBackend();
  for (auto& [id, timer] : s.timers) old.TimerRemoved(*timer);
  s.installed = std::move(backend);
  TEventsBackend& now = EventsBackend();
  for (auto& [id, timer] : s.timers) now.TimerChanged(*timer);
}

void ProcessMessages() { EventsBackend().ProcessMessages(); }
void ProcessMessagesInLoop() { EventsBackend().ProcessMessagesInLoop(); }
void TerminateApplication() { EventsBackend().Terminate(); }
uint32_t GetTickCount() { return EventsBackend().GetTickCount(); }
TDateTimeParts LocalNow() { return EventsBackend().LocalNow(); }

TTimer::TTimer() : id_(State().nextId++), alive_(std::make_shared<bool>(true)) {
  State().timers[id_] = this;
  EventsBackend().TimerChanged(*this);
}

TTimer::~TTimer() {
  *alive_ = false;
  State().timers.erase(id_);
  EventsBackend().TimerRemoved(*this);
}

void TTimer::SetInterval(uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  EventsBackend().TimerChanged(*this);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  EventsBackend().TimerChanged(*this);
}

void TTimer::Fire() {
  if (firing_ || !Running() || !OnTimer) return;
  // The handler may delete this timer (and with it OnTimer): run a copy and
  // touch the object afterwards only while it lives.
  std::shared_ptr<bool> alive = alive_;
  std::function<void()> handler = OnTimer;
  firing_ = true;
  try {
    handler();
  } catch (...) {
    if (*alive) firing_ = false;
    throw;
  }
  if (*alive) firing_ = false;
}
