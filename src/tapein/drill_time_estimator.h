// Drilling time estimate of a tape being read: both axes move at once, so a
// move lasts as long as its longer axis, and each axis accelerates at a
// constant rate up to a top speed and brakes at the same rate. Lengths are
// internal units (25,400,000 per inch), times seconds.
#pragma once

class TDrillTimeEstimator {
 public:
  TDrillTimeEstimator() = default;
  // Init: acceleration in units/s^2, top speed in units/s, seconds per hit.
  TDrillTimeEstimator(double acceleration, double topSpeed, double hitTime);

  // One move between hits plus the time spent at the hit; nothing unless
  // Enabled.
  void AddMove(double dx, double dy);
  void SetHitTime(double seconds) { TimePerHit = seconds; }
  // A fixed time such as a tool change; added also when not Enabled.
  void AddTime(double seconds) { Total += seconds; }
  // Time of a move of length d that accelerates and brakes without reaching
  // top speed: 2 x sqrt(d / Acceleration).
  double RampTimeFor(double d) const;

  double Acceleration = 0.0;
  double TopSpeed = 0.0;
  double TimePerHit = 0.0;
  double Total = 0.0;
  double RampDistance = 0.0;  // shortest move that reaches top speed
  double RampTime = 0.0;      // time of a move of exactly RampDistance
  bool Enabled = false;
};
