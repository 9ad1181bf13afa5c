#include "tapein/drill_time_estimator.h"

#include <algorithm>
#include <cmath>

void TDrillTimeEstimator::Init(double acceleration, double topSpeed, double hitTime) {
  Acceleration = acceleration;
  TopSpeed = topSpeed;
  TimePerHit = hitTime;
  Total = 0.0;
  Enabled = Acceleration > 0.0 && TopSpeed > 0.0;
  if (Enabled) {
    RampDistance = TopSpeed * TopSpeed / Acceleration;
    RampTime = RampTimeOf(RampDistance);
  }
}

double TDrillTimeEstimator::RampTimeOf(double d) const { return 2.0 * std::sqrt(d / Acceleration); }

void TDrillTimeEstimator::AddMove(double dx, double dy) {
  if (!Enabled) return;
  const double d = std::max(std::fabs(dx), std::fabs(dy));
  if (d <= RampDistance)
    Total += RampTimeOf(d) + TimePerHit;
  else
    Total += RampTime + (d - RampDistance) / TopSpeed + TimePerHit;
}

void TDrillTimeEstimator::SetHitTime(double seconds) { TimePerHit = seconds; }

void TDrillTimeEstimator::AddTime(double seconds) { Total += seconds; }

void TDrillTimeEstimator::Done() {}
