#include "tapein/drill_time_estimator.h"

#include <algorithm>
#include <cmath>

TDrillTimeEstimator::TDrillTimeEstimator(double acceleration, double topSpeed, double hitTime)
    : Acceleration(acceleration), TopSpeed(topSpeed), TimePerHit(hitTime) {
  if (Acceleration > 0.0 && TopSpeed > 0.0) {
    RampDistance = TopSpeed * TopSpeed / Acceleration;
    RampTime = RampTimeFor(RampDistance);
    Enabled = true;
  }
}

double TDrillTimeEstimator::RampTimeFor(double d) const { return 2.0 * std::sqrt(d / Acceleration); }

void TDrillTimeEstimator::AddMove(double dx, double dy) {
  if (!Enabled) return;
  const double d = std::max(std::fabs(dx), std::fabs(dy));
  if (d <= RampDistance)
    Total += RampTimeFor(d) + TimePerHit;
  else
    Total += RampTime + (d - RampDistance) / TopSpeed + TimePerHit;
}
