#include "model/rout_edit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// The angle helpers against the plain repeated-360 definition on ordinary
// input, and their behaviour where that definition breaks down.
TEST(RoutAngles, NormalizeDegreesMatchesTheRepeatedTurnOnOrdinaryInput) {
  auto looped = [](double a) {
    while (a < 0) a += 360.0;
    while (a >= 360.0) a -= 360.0;
    return a;
  };
  for (double a : {0.0, 1.5, 90.0, 359.999, 360.0, 361.0, 725.25, -0.5, -90.0, -360.0, -721.0,
                   1e-12, -1e-12, 3599.0}) {
    EXPECT_EQ(NormalizeDegrees(a), looped(a)) << a;
  }
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(NormalizeDegrees(inf), 0.0);
  EXPECT_EQ(NormalizeDegrees(-inf), 0.0);
  EXPECT_EQ(NormalizeDegrees(std::nan("")), 0.0);
  // Huge values finish at once and land in range.
  const double big = NormalizeDegrees(1e300);
  EXPECT_GE(big, 0.0);
  EXPECT_LT(big, 360.0);
}

TEST(RoutAngles, QuadrantAnglesFromEveryQuadrantInBothDirections) {
  EXPECT_EQ(NextQuadrantAngle(90), 90);
  EXPECT_EQ(NextQuadrantAngle(91), 180);
  EXPECT_EQ(PreviousQuadrantAngle(90), 0);
  EXPECT_EQ(PreviousQuadrantAngle(-30), 270);
  for (int q = 0; q < 360; q += 90) {
    EXPECT_EQ(NextQuadrantAngle(q), q);
    EXPECT_EQ(NextQuadrantAngle(q + 0.5), (q + 90) % 360);
    EXPECT_EQ(NextQuadrantAngle(q - 0.5), q);
    EXPECT_EQ(PreviousQuadrantAngle(q), (q + 270) % 360);
    EXPECT_EQ(PreviousQuadrantAngle(q + 0.5), q);
    EXPECT_EQ(PreviousQuadrantAngle(q + 360), (q + 270) % 360);
  }
}

std::vector<double> Pieces(double a0, double a1, bool cw) { return ArcPieceAngles(a0, a1, cw, true); }

TEST(RoutArcPieces, QuadrantCuttingEndsOnEveryInnerAxisAndNeverMakesAnEmptyPiece) {
  EXPECT_EQ(Pieces(30, 200, false), (std::vector<double>{90, 180}));
  EXPECT_EQ(Pieces(200, 30, true), (std::vector<double>{180, 90}));
  // Starting on an axis: the start itself is no piece end.
  for (int q = 0; q < 360; q += 90) {
    const double next = (q + 90) % 360, prev = (q + 270) % 360;
    EXPECT_EQ(Pieces(q, q + 45, false), std::vector<double>{}) << q;
    EXPECT_EQ(Pieces(q, q + 135, false), std::vector<double>{next}) << q;
    EXPECT_EQ(Pieces(q, q - 45, true), std::vector<double>{}) << q;
    EXPECT_EQ(Pieces(q, q - 135, true), std::vector<double>{prev}) << q;
    // Ending on an axis: the last piece ends there, no piece before it does.
    EXPECT_EQ(Pieces(q - 30, q, false), std::vector<double>{}) << q;
    EXPECT_EQ(Pieces(q + 30, q, true), std::vector<double>{}) << q;
    // Axis to axis, half a turn.
    EXPECT_EQ(Pieces(q, q + 180, false), std::vector<double>{next}) << q;
    EXPECT_EQ(Pieces(q, q + 180, true), std::vector<double>{prev}) << q;
  }
  // Almost a full turn crosses all four axes once.
  EXPECT_EQ(Pieces(30, 29, false), (std::vector<double>{90, 180, 270, 0}));
  EXPECT_EQ(Pieces(0, 359, false), (std::vector<double>{90, 180, 270}));
  EXPECT_EQ(Pieces(270, 0, false), std::vector<double>{});
}

TEST(RoutArcPieces, WithoutQuadrantCuttingPiecesStayBelow135Degrees) {
  auto pieces = ArcPieceAngles(10, 310, false, false);  // 300 degrees
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_DOUBLE_EQ(pieces[0], 110);
  EXPECT_DOUBLE_EQ(pieces[1], 210);
  pieces = ArcPieceAngles(0, 135, false, false);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_DOUBLE_EQ(pieces[0], 67.5);
  EXPECT_TRUE(ArcPieceAngles(0, 90, false, false).empty());
  pieces = ArcPieceAngles(90, 300, true, false);  // 150 degrees clockwise
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_DOUBLE_EQ(pieces[0], 15);
}

TEST(RoutArcPieces, ChordStepsKeepTheDeviation) {
  int32_t steps = 0;
  double angle = 0;
  const TRealPoint c{0, 0};
  ArcChordSteps(c, {1e6, 0}, {0, 1e6}, 1000, steps, angle);
  const double deviation = 1e6 * (1 - std::cos(angle * M_PI / 360.0));
  EXPECT_LE(deviation, 1000.0);
  EXPECT_NEAR(steps * angle, 90.0, 1e-9);
  EXPECT_GT(steps, 1);
  ArcChordSteps(c, {1e6, 0}, {1e6, 0}, 1000, steps, angle);
  EXPECT_NEAR(steps * angle, 360.0, 1e-9);
  ArcChordSteps(c, {100, 0}, {0, 100}, 1000, steps, angle);  // tolerance beyond the radius
  EXPECT_EQ(steps, 1);
  EXPECT_DOUBLE_EQ(angle, 90.0);
}

}  // namespace
