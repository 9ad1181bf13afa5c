#include "tapein/drill_time_estimator.h"

#include <gtest/gtest.h>

namespace {

// The reader's seeds: 400 inches a minute, reached after one inch.
TDrillTimeEstimator Clock(double acceleration, double topSpeed, double hitTime) {
  TDrillTimeEstimator t;
  t.Init(acceleration, topSpeed, hitTime);
  return t;
}

TDrillTimeEstimator ReaderClock() { return Clock(1128888888.8888889, 169333333.33333334, 0.0); }

constexpr double kInch = 25400000.0;

TEST(DrillTimeEstimator, RampAndCruiseTimes) {
  TDrillTimeEstimator t = ReaderClock();
  ASSERT_TRUE(t.Enabled);
  EXPECT_NEAR(t.RampDistance, kInch, 1e-3);
  EXPECT_NEAR(t.RampTime, 0.3, 1e-12);

  t.AddMove(kInch, 0);  // exactly the ramp: 0.3 s
  EXPECT_NEAR(t.Total, 0.3, 1e-9);
  t.AddMove(0, -2 * kInch);  // ramp plus one inch at top speed
  EXPECT_NEAR(t.Total, 0.3 + 0.45, 1e-9);
  t.AddMove(kInch / 4, 0);  // never reaches top speed
  EXPECT_NEAR(t.Total, 0.75 + 0.15, 1e-9);
}

TEST(DrillTimeEstimator, LongerAxisAndHitTime) {
  TDrillTimeEstimator a = ReaderClock(), b = ReaderClock();
  a.AddMove(3 * kInch, 4 * kInch);
  b.AddMove(0, 4 * kInch);
  EXPECT_DOUBLE_EQ(a.Total, b.Total);

  TDrillTimeEstimator h = ReaderClock();
  h.SetHitTime(0.5);
  h.AddMove(0, 0);  // a zero move costs only the hit
  EXPECT_DOUBLE_EQ(h.Total, 0.5);
}

TEST(DrillTimeEstimator, DisabledStillTakesFixedTimes) {
  TDrillTimeEstimator t = Clock(1000.0, 0.0, 2.0);
  EXPECT_FALSE(t.Enabled);
  t.AddMove(kInch, kInch);
  EXPECT_EQ(t.Total, 0.0);
  t.AddTime(16.0);
  EXPECT_EQ(t.Total, 16.0);
}

}  // namespace
