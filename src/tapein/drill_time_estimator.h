// Drilling time estimate of a tape: both axes move at once, so a move lasts
// as long as its longer axis; each axis accelerates at a constant rate up to
// a top speed and brakes at the same rate. Times are seconds, distances
// internal units (25,400,000 per inch).
#pragma once
#include <cstdint>

class TDrillTimeEstimator {
 public:
  double Acceleration = 0.0;  // internal units per second squared
  double TopSpeed = 0.0;      // internal units per second
  double TimePerHit = 0.0;    // seconds added for every hit
  double Total = 0.0;         // accumulated seconds
  double RampDistance = 0.0;  // shortest move that reaches top speed
  double RampTime = 0.0;      // time of a move of exactly RampDistance
  bool Enabled = false;       // acceleration and top speed both positive

  void Init(double acceleration, double topSpeed, double hitTime);
  // One move between hits plus the hit time.
  void AddMove(double dx, double dy);
  void SetHitTime(double seconds);
  // A fixed time such as a tool change (also when not Enabled).
  void AddTime(double seconds);
  // 2 x sqrt(d / Acceleration).
  double RampTimeOf(double d) const;
  void Done();
};
