// The clock panel.
#include <gtest/gtest.h>

#include "korvex_test.h"
#include "platform/forms.h"
#include "platform/headless/headless_events.h"
#include "workspace/clock_panel.h"
#include "workspace/workspace.h"

namespace {
class TClockTest : public TKorvexTest {
 protected:
  void SetTime(int h, int m, int s) { HeadlessSetLocalTime({2024, 5, 6, h, m, s, 0}); }
};

// Counts the changes of the shown time.
class TCountingClock : public TUserClock {
 public:
  using TUserClock::TUserClock;
  void SecondChanged() override { ++Changes; }
  int Changes = 0;
};
}  // namespace

TEST_F(TClockTest, TextOnTheTwelveHourDial) {
  EXPECT_EQ(TUserClock::ClockText(21, 5, 7), " 9:05:07 pm");
  EXPECT_EQ(TUserClock::ClockText(0, 0, 0), "12:00:00 am");
  EXPECT_EQ(TUserClock::ClockText(12, 30, 59), "12:30:59 pm");
  EXPECT_EQ(TUserClock::ClockText(11, 59, 59), "11:59:59 am");
}

TEST_F(TClockTest, PaintDrawsZerosAsLettersAndSizesTheHolder) {
  SetTime(21, 5, 7);
  TForm form("TClockForm");
  auto& holder = form.Add<TPanel>("ClockPanelRoot");
  auto& panel = holder.Add<TPaintBox>("ClockPanel");
  panel.SetAlign(alClient);
  TUserClock clock(&panel);
  clock.Paint();
  EXPECT_TRUE(clock.Painted);
  EXPECT_EQ(clock.ShownText, " 9:O5:O7 pm");
  EXPECT_GT(clock.CellWidth, 0);
  EXPECT_EQ(holder.Width(), panel.Canvas().TextWidth(" 9:O5:O7 pm") + 17);
}

TEST_F(TClockTest, PollingSettlesAndSpeedsUpAfterABusyPeriod) {
  bool ready = WorkspaceReady;
  WorkspaceReady = true;
  SetTime(10, 0, 0);
  TCountingClock clock;
  clock.Tick();  // first tick paints; same second: interval grows after grace
  EXPECT_TRUE(clock.Painted);
  EXPECT_EQ(clock.PollInterval, 1);
  for (int i = 0; i < 8; ++i) clock.Tick();
  const int32_t settled = clock.PollInterval;
  EXPECT_GT(settled, 1);
  // A new second: drawn, grace of four readings.
  SetTime(10, 0, 1);
  while (clock.PollCountdown > 0) clock.Tick();
  clock.Tick();
  EXPECT_EQ(clock.ShownSecond, 1);
  EXPECT_EQ(clock.Grace, 4);
  EXPECT_EQ(clock.Changes, 1);
  EXPECT_EQ(clock.ShownText, "1O:OO:O1 am");
  // Several seconds skipped (a busy period): the interval is halved.
  SetTime(10, 0, 5);
  const int32_t before = clock.PollInterval;
  while (clock.PollCountdown > 0) clock.Tick();
  clock.Tick();
  EXPECT_EQ(clock.PollInterval, before / 2);
  EXPECT_EQ(clock.ShownSecond, 5);
  // Across the hour.
  SetTime(11, 0, 0);
  clock.Refresh();
  EXPECT_EQ(clock.ShownHour, 11);
  EXPECT_EQ(clock.PollInterval, 0);
  EXPECT_EQ(clock.ShownText, "11:OO:OO am");
  WorkspaceReady = ready;
}
