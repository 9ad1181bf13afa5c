// The bounds of the Auto Tab dialog's fields, in the unit the dialog shows
// them in (inches, or millimetres in a metric job). The dialog accepts
// nothing outside them, so they are also how far a tab made with any of its
// settings reaches: the widest gap, the farthest neck or row of break-off
// holes, the widest spacing of the holes.
#pragma once
#include <algorithm>

#include "foundation/settings_families.h"

struct TAutoTabBound {
  double Low = 0;              // the least, in either unit
  double Inch = 0, Metric = 0;  // the most, in inches and in millimetres (counts: the same)
  constexpr double High(bool metric) const { return metric ? Metric : Inch; }
  // The most of either unit, in database units (a length's bound).
  constexpr double Widest() const {
    return std::max(Inch * UnitsFactorOf(false), Metric * UnitsFactorOf(true));
  }
};

struct TAutoTabBounds {
  TAutoTabBound Width, CutInOffset, HoleOffset, NumberOfHoles, HoleSpacing, ToolNumber;
};

// The Cut-In Width is bounded by the Width (A) the dialog holds.
inline constexpr TAutoTabBounds AutoTabBounds{
    .Width = {0, 1.0, 25.4},
    .CutInOffset = {0, 0.5, 12.7},
    .HoleOffset = {0, 0.5, 12.7},
    .NumberOfHoles = {1, 50, 50},
    .HoleSpacing = {0, 0.25, 6.4},
    .ToolNumber = {1, 960, 960},
};
