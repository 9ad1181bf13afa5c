// Shared fixture and helpers of the geometry kernel tests.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "foundation/geometry.h"

// Every test starts from the kernel's start state and leaves it so.
class GeometryTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetKernel(); }
  void TearDown() override { ResetKernel(); }

  static void ResetKernel() {
    SetTolerance(0.0);
    Epsilon = 1.0E-10;
    NormalizeLines = true;
    GeoErrorCode = 0;
    GeoRoutineName.clear();
  }
};

#define EXPECT_POINT_NEAR(p, x, y, tol) \
  do {                                  \
    EXPECT_NEAR((p).X, (x), (tol));     \
    EXPECT_NEAR((p).Y, (y), (tol));     \
  } while (0)

using int128 = __int128;

// Exact integer arithmetic on grid points.
struct TGridPoint {
  int64_t X = 0;
  int64_t Y = 0;
};

inline int128 Cross(int64_t ax, int64_t ay, int64_t bx, int64_t by) {
  return int128{ax} * by - int128{ay} * bx;
}

inline TRealPoint Real(const TGridPoint& p) {
  return TRealPoint{static_cast<double>(p.X), static_cast<double>(p.Y)};
}

class TGridRandom {
 public:
  explicit TGridRandom(uint32_t seed) : Engine(seed) {}
  int64_t Int(int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(Engine); }
  TGridPoint Point(int64_t range) { return TGridPoint{Int(-range, range), Int(-range, range)}; }
  double Real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(Engine); }

 private:
  std::mt19937_64 Engine;
};
