// The bounds of the length fields of the step, panel origin and auto rout
// settings, each the longer of its inch and its millimetre figure as a
// length: a field takes every length up to it in the unit it shows, so a
// length stored while the job showed one unit is taken again in the other.
#pragma once
#include <algorithm>

#include "foundation/settings_families.h"

struct TLengthBound {
  double Inch = 0, Metric = 0;
  // The bound in database units.
  constexpr double Units() const {
    return std::max(Inch * UnitsFactorOf(false), Metric * UnitsFactorOf(true));
  }
};

// Auto Step & Repeat's step distances and the panel origin, either way
// along an axis.
inline constexpr TLengthBound StepDistanceBound{40, 1000};
inline constexpr TLengthBound PanelOriginBound{40, 1000};
// Auto Rout's plunge offset, overcut and edge offset (the overcut down to
// minus an inch).
inline constexpr TLengthBound AutoRoutLengthBound{25, 500};
