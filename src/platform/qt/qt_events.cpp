#include "platform/qt/qt_events.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <map>

#include "platform/events.h"

namespace {

class TQtEvents : public TEventsBackend {
 public:
  TQtEvents() { clock_.start(); }
  ~TQtEvents() override {
    for (auto& [id, t] : timers_) delete t.qt;
  }

  void ProcessMessages() override {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
    lastPass_ = clock_.nsecsElapsed();
  }
  // Counted from the end of the last pass, so that a pass that repaints
  // for a while is not followed by another at once.
  void ProcessMessagesInLoop() override {
    if (clock_.nsecsElapsed() - lastPass_ >= kLoopPassMs * 1000000) ProcessMessages();
  }
  // Only a running loop is told to end: an exit request with none running
  // would make the next loop (a modal dialog's) return at once.
  void Terminate() override {
    if (QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
  }
  uint32_t GetTickCount() override { return uint32_t(clock_.elapsed()); }
  TDateTimeParts LocalNow() override {
    QDateTime now = QDateTime::currentDateTime();
    QDate d = now.date();
    QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()};
  }

  void TimerChanged(TTimer& timer) override {
    auto it = timers_.find(timer.Id());
    if (!timer.Running()) {
      if (it != timers_.end()) it->second.qt->stop();
      return;
    }
    if (it == timers_.end()) {
      auto* qt = new QTimer;
      uint64_t id = timer.Id();
      // Look the timer up when it fires: it may be gone by then.
      QObject::connect(qt, &QTimer::timeout, [this, id] {
        auto found = timers_.find(id);
        if (found != timers_.end()) found->second.timer->Fire();
      });
      it = timers_.emplace(id, TEntry{&timer, qt}).first;
    }
    it->second.qt->start(int(std::min<uint32_t>(timer.Interval(), 0x7FFFFFFF)));
  }

  void TimerRemoved(TTimer& timer) override {
    auto it = timers_.find(timer.Id());
    if (it == timers_.end()) return;
    QTimer* qt = it->second.qt;
    timers_.erase(it);
    qt->stop();
    // It may be the sender whose timeout is running right now.
    qt->deleteLater();
  }

 private:
  struct TEntry {
    TTimer* timer;
    QTimer* qt;
  };
  QElapsedTimer clock_;
  qint64 lastPass_ = -kLoopPassMs * 1000000;
  std::map<uint64_t, TEntry> timers_;
};

}  // namespace

void InstallQtEventsBackend() { SetEventsBackend(std::make_unique<TQtEvents>()); }
