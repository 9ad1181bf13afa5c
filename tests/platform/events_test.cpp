#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "korvex_test.h"
#include "platform/events.h"
#include "platform/headless/headless_events.h"

namespace {

class EventsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    SetEventsBackend(nullptr);
    HeadlessResetEvents();
  }
  void TearDown() override {
    HeadlessResetEvents();
    TKorvexTest::TearDown();
  }
};

}  // namespace

TEST_F(EventsTest, TimersFireInOrderOfTheirDueTimes) {
  std::string log;
  TTimer fast, slow, idle;
  fast.SetInterval(30);
  slow.SetInterval(50);
  fast.OnTimer = [&] { log += "f" + std::to_string(HeadlessElapsed()) + " "; };
  slow.OnTimer = [&] { log += "s" + std::to_string(HeadlessElapsed()) + " "; };
  idle.SetInterval(10);  // no handler: nothing happens

  HeadlessAdvanceTime(29);
  EXPECT_EQ(log, "");
  HeadlessAdvanceTime(131);
  // At 150 both are due; the slow one was started first.
  EXPECT_EQ(log, "f30 s50 f60 f90 s100 f120 s150 f150 ");
  EXPECT_EQ(GetTickCount(), 160u);

  // Changing the interval restarts the countdown from now.
  log.clear();
  fast.SetInterval(100);
  slow.SetEnabled(false);
  HeadlessAdvanceTime(99);
  EXPECT_EQ(log, "");
  HeadlessAdvanceTime(1);
  EXPECT_EQ(log, "f260 ");
  // A disabled timer, or one with interval 0, stays quiet.
  fast.SetInterval(0);
  HeadlessAdvanceTime(1000);
  EXPECT_EQ(log, "f260 ");
}

TEST_F(EventsTest, HandlersMayStopOrDeleteTimersTheirOwnIncluded) {
  int selfStopped = 0, deleted = 0, other = 0;
  TTimer stopper;
  stopper.SetInterval(10);
  stopper.OnTimer = [&] {
    ++selfStopped;
    stopper.SetEnabled(false);
  };

  auto doomed = std::make_unique<TTimer>();
  auto victim = std::make_unique<TTimer>();
  doomed->SetInterval(10);
  victim->SetInterval(10);
  doomed->OnTimer = [&] {
    ++deleted;
    victim.reset();  // another timer due at the same moment
    doomed.reset();  // and itself
  };
  victim->OnTimer = [&] { ++other; };

  HeadlessAdvanceTime(100);
  EXPECT_EQ(selfStopped, 1);
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(other, 0);
  EXPECT_FALSE(stopper.Enabled());

  // Enabling again restarts it.
  stopper.SetEnabled(true);
  HeadlessAdvanceTime(10);
  EXPECT_EQ(selfStopped, 2);
}

TEST_F(EventsTest, AHandlerThatLetsMessagesRunIsNotReentered) {
  int depth = 0, maxDepth = 0, calls = 0, otherCalls = 0;
  TTimer busy, other;
  busy.SetInterval(10);
  other.SetInterval(5);
  other.OnTimer = [&] { ++otherCalls; };
  busy.OnTimer = [&] {
    ++calls;
    maxDepth = std::max(maxDepth, ++depth);
    // A long operation: time passes while it polls the message loop.
    for (int i = 0; i < 5; ++i) {
      HeadlessAdvanceTime(10);
      ProcessMessages();
    }
    --depth;
  };
  HeadlessAdvanceTime(10);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(maxDepth, 1);
  EXPECT_GE(otherCalls, 10);  // other timers keep running meanwhile
}

TEST_F(EventsTest, ProcessMessagesRunsTheHookAndDueTimers) {
  int ticks = 0;
  TTimer t;
  t.SetInterval(100);
  t.OnTimer = [&] { ++ticks; };
  // A long operation that polls a Cancel flag, which the "user" sets after
  // the clock has run for a second.
  bool cancel = false;
  HeadlessSetProcessMessagesHook([&] {
    HeadlessAdvanceTime(50);
    if (HeadlessElapsed() >= 1000) cancel = true;
  });
  int rounds = 0;
  while (!cancel) {
    ++rounds;
    ProcessMessages();
  }
  EXPECT_EQ(rounds, 20);
  EXPECT_EQ(ticks, 10);
  HeadlessSetProcessMessagesHook(nullptr);
  ProcessMessages();
  EXPECT_EQ(HeadlessElapsed(), 1000u);
}

TEST_F(EventsTest, LocalTimeRunsWithTheVirtualClock) {
  HeadlessSetLocalTime({2024, 2, 28, 23, 59, 59, 500});
  EXPECT_EQ(LocalNow(), (TDateTimeParts{2024, 2, 28, 23, 59, 59, 500}));
  HeadlessAdvanceTime(500);
  EXPECT_EQ(LocalNow(), (TDateTimeParts{2024, 2, 29, 0, 0, 0, 0}));  // a leap day
  HeadlessAdvanceTime(86400000);
  EXPECT_EQ(LocalNow(), (TDateTimeParts{2024, 3, 1, 0, 0, 0, 0}));

  // The tick count wraps like a 32-bit counter.
  HeadlessResetEvents();
  HeadlessAdvanceTime(0xFFFFFFFFu);
  HeadlessAdvanceTime(2);
  EXPECT_EQ(GetTickCount(), 1u);
}

TEST_F(EventsTest, TimersMoveToANewBackend) {
  struct TLogBackend : TEventsBackend {
    std::string* log;
    explicit TLogBackend(std::string* l) : log(l) {}
    void ProcessMessages() override {}
    uint32_t GetTickCount() override { return 7; }
    TDateTimeParts LocalNow() override { return {}; }
    void TimerChanged(TTimer& t) override { *log += t.Running() ? "start " : "stop "; }
    void TimerRemoved(TTimer&) override { *log += "remove "; }
  };
  std::string log;
  int fired = 0;
  TTimer t;
  t.SetInterval(10);
  t.OnTimer = [&] { ++fired; };
  SetEventsBackend(std::make_unique<TLogBackend>(&log));
  EXPECT_EQ(GetTickCount(), 7u);
  t.SetEnabled(false);
  SetEventsBackend(nullptr);
  EXPECT_EQ(log, "start stop remove ");
  t.SetEnabled(true);
  HeadlessAdvanceTime(10);
  EXPECT_EQ(fired, 1);
}
