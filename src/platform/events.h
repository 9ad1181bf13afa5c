// The event loop, timers and time.
//
// The installed events backend runs them: the headless one (the default)
// has a virtual clock that tests advance (headless/headless_events.h); the
// Qt one uses QTimer and the application's event loop.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

// Lets pending events run (repaints, input, due timers), as long operations
// do at intervals.
void ProcessMessages();

// The same for a loop that offers a pass at a fixed count of its steps,
// thousands of times a second (the job file's reader every 101 lines, its
// writer every 51 write steps, the plot's and the layer copy's walks every
// 100 entities, the decompressor every 2,000 bytes). A window system's
// pass polls its connection even when nothing waits, which would cost a
// job of a million holes more than its reading: the Qt backend leaves a
// pass out while its last one is under kLoopPassMs old. The headless
// backend runs every pass, so that a test's hook sees each one.
void ProcessMessagesInLoop();
constexpr int64_t kLoopPassMs = 1;

// Ends the application's event loop once the current event is handled: the
// main window's close ends the program. Nothing happens where no loop runs.
void TerminateApplication();

// Milliseconds since an arbitrary start; wraps like a 32-bit tick count.
uint32_t GetTickCount();

struct TDateTimeParts {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  bool operator==(const TDateTimeParts&) const = default;
};
TDateTimeParts LocalNow();

// A timer that calls OnTimer every Interval ms while Enabled, from the event
// loop. A new timer is enabled with an interval of 1000 ms; it runs while it
// is enabled, its interval is above 0 and OnTimer is set. Changing Enabled
// or Interval restarts the countdown. OnTimer is never entered again while
// it runs (a handler that lets messages run is not re-entered), and it may
// disable, change or delete any timer, its own included.
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

  // For the backends: a number no other timer of the process gets, whether
  // the countdown should run (enabled, interval above 0), and the call of
  // OnTimer when the countdown expires (skipped while OnTimer runs or when
  // the timer is no longer running).
  uint64_t Id() const { return id_; }
  bool Running() const { return enabled_ && interval_ > 0; }
  void Fire();

 private:
  uint32_t interval_ = 1000;
  bool enabled_ = true;
  bool firing_ = false;
  uint64_t id_;
  std::shared_ptr<bool> alive_;
};

// What a backend provides. The timer calls arrive when a timer is created,
// when its Enabled or Interval changes (start or restart the countdown when
// Running(), else stop it) and when it is destroyed.
class TEventsBackend {
 public:
  virtual ~TEventsBackend() = default;
  virtual void ProcessMessages() = 0;
  virtual void ProcessMessagesInLoop() { ProcessMessages(); }
  virtual uint32_t GetTickCount() = 0;
  virtual TDateTimeParts LocalNow() = 0;
  virtual void TimerChanged(TTimer& timer) = 0;
  virtual void TimerRemoved(TTimer& timer) = 0;
  virtual void Terminate() {}
};

// Installs a backend (nullptr goes back to the headless one). The timers
// that exist move to the new backend with their countdowns restarted.
void SetEventsBackend(std::unique_ptr<TEventsBackend> backend);
TEventsBackend& EventsBackend();
