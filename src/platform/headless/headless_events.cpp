#include "platform/headless/headless_events.h"

#include <chrono>
#include <ctime>
#include <map>

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = unsigned(y - era * 400);
  unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = unsigned(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t yy = int64_t(yoe) + era * 400;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yy + (m <= 2));
}

// Local wall-clock time as milliseconds from 1970 (no time zone applied).
int64_t WallMs(const TDateTimeParts& p) {
  int64_t days = DaysFromCivil(p.Year, unsigned(p.Month), unsigned(p.Day));
  return ((days * 24 + p.Hour) * 60 + p.Minute) * 60000 + int64_t(p.Second) * 1000 + p.Millisecond;
}

TDateTimeParts PartsOf(int64_t ms) {
  int64_t days = ms >= 0 ? ms / 86400000 : (ms - 86399999) / 86400000;
  int64_t rest = ms - days * 86400000;
  TDateTimeParts p;
  CivilFromDays(days, p.Year, p.Month, p.Day);
  p.Hour = int(rest / 3600000);
  p.Minute = int(rest / 60000 % 60);
  p.Second = int(rest / 1000 % 60);
  p.Millisecond = int(rest % 1000);
  return p;
}

TDateTimeParts SystemLocalNow() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  TDateTimeParts p;
  p.Year = tm.tm_year + 1900;
  p.Month = tm.tm_mon + 1;
  p.Day = tm.tm_mday;
  p.Hour = tm.tm_hour;
  p.Minute = tm.tm_min;
  p.Second = tm.tm_sec;
  p.Millisecond =
      int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return p;
}

class THeadlessEvents : public TEventsBackend {
 public:
  THeadlessEvents() { wallAtZero_ = WallMs(SystemLocalNow()); }

  void ProcessMessages() override {
    if (hook_ && !inHook_) {
      inHook_ = true;
      std::function<void()> hook = hook_;
      try {
        hook();
      } catch (...) {
        inHook_ = false;
        throw;
      }
      inHook_ = false;
    }
    Advance(0);
  }
  uint32_t GetTickCount() override { return uint32_t(now_); }
  TDateTimeParts LocalNow() override { return PartsOf(wallAtZero_ + int64_t(now_)); }

  void TimerChanged(TTimer& timer) override {
    if (!timer.Running()) {
      due_.erase(timer.Id());
      return;
    }
    due_[timer.Id()] = {&timer, now_ + timer.Interval(), ++order_};
  }
  void TimerRemoved(TTimer& timer) override { due_.erase(timer.Id()); }

  void Advance(uint64_t ms) {
    uint64_t target = now_ + ms;
    for (;;) {
      auto next = due_.end();
      for (auto it = due_.begin(); it != due_.end(); ++it) {
        if (it->second.due > target) continue;
        if (next == due_.end() || it->second.due < next->second.due ||
            (it->second.due == next->second.due && it->second.order < next->second.order))
          next = it;
      }
      if (next == due_.end()) break;
      TEntry& e = next->second;
      if (e.due > now_) now_ = e.due;
      // Schedule the next round before the handler runs: it may change or
      // delete the timer (which updates or erases this entry).
      TTimer* timer = e.timer;
      e.due += timer->Interval();
      e.order = ++order_;
      timer->Fire();
    }
    if (target > now_) now_ = target;
  }

  void Reset() {
    now_ = 0;
    wallAtZero_ = WallMs(SystemLocalNow());
    hook_ = nullptr;
    for (auto& [id, e] : due_) e.due = e.timer->Interval();
  }

  void SetLocalTime(const TDateTimeParts& p) { wallAtZero_ = WallMs(p) - int64_t(now_); }
  void SetHook(std::function<void()> hook) { hook_ = std::move(hook); }
  uint64_t Now() const { return now_; }

 private:
  struct TEntry {
    TTimer* timer = nullptr;
    uint64_t due = 0;
    uint64_t order = 0;
  };
  uint64_t now_ = 0;
  int64_t wallAtZero_ = 0;
  uint64_t order_ = 0;
  std::map<uint64_t, TEntry> due_;
  std::function<void()> hook_;
  bool inHook_ = false;
};

THeadlessEvents& Headless() {
  static THeadlessEvents* events = new THeadlessEvents;
  return *events;
}

}  // namespace

TEventsBackend& HeadlessEventsBackend() { return Headless(); }
void HeadlessAdvanceTime(uint32_t ms) { Headless().Advance(ms); }
uint64_t HeadlessElapsed() { return Headless().Now(); }
void HeadlessSetLocalTime(const TDateTimeParts& now) { Headless().SetLocalTime(now); }
void HeadlessSetProcessMessagesHook(std::function<void()> hook) { Headless().SetHook(std::move(hook)); }
void HeadlessResetEvents() { Headless().Reset(); }
