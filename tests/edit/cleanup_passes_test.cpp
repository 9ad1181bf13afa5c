#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "cleanup_test_support.h"
#include "edit/cleanup_passes.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/entity_store.h"

namespace {

using V = std::vector<std::string>;
V Sorted(V v) {
  std::sort(v.begin(), v.end());
  return v;
}

// ---- Duplicates ----------------------------------------------------------------

TEST_F(TCleanupTest, DuplicatesKeepTheNewestOfEachSet) {
  for (int32_t i = 1; i <= 12; ++i) {
    if (i == 5 || i == 9 || i == 12) {
      DB->AddLine(0, 0, 100000, 100000);
    } else {
      DB->AddLine(i * 1000000, 0, i * 1000000, 700000);
    }
  }
  EraseDuplicates();
  EXPECT_TRUE(SlotDeletedAt(5));
  EXPECT_TRUE(SlotDeletedAt(9));
  EXPECT_FALSE(SlotDeletedAt(12));
  EXPECT_EQ(Drawing().size(), 10u);
}

TEST_F(TCleanupTest, ReversedLinesAreDuplicatesReversedArcsAreNot) {
  DB->AddLine(0, 0, 1000000, 1000000);
  DB->AddLine(1000000, 1000000, 0, 0);
  DB->AddArc({1000000, 0}, {0, 1000000}, {0, 0});
  DB->AddArc({0, 1000000}, {1000000, 0}, {0, 0});
  DB->AddCircle(5000000, 5000000, 700000);
  DB->AddCircle(5000000, 5000000, 700000);
  DB->AddPoint(7000000, 7000000);
  DB->AddPoint(7000000, 7000000);
  EraseDuplicates();
  EXPECT_EQ(Drawing(), Sorted({Line(0, 0, 1000000, 1000000), Arc(1000000, 0, 0, 1000000, 0, 0),
                               Arc(0, 1000000, 1000000, 0, 0, 0), Circle(5000000, 5000000, 700000),
                               "P 7000000 7000000"}));
  EXPECT_TRUE(SlotDeletedAt(1));
  EXPECT_FALSE(SlotDeletedAt(2));
}

TEST_F(TCleanupTest, DuplicatesOnOtherLayersOrDeletedAreLeftAlone) {
  DB->AddLine(0, 0, 1000000, 0);
  DB->AddLineOnLayer(0, 0, 1000000, 0, 3);
  DB->AddLine(0, 0, 1000000, 0);
  DB->MarkDeleted(3);
  EraseDuplicates();
  EXPECT_EQ(Drawing(), Sorted({Line(0, 0, 1000000, 0), Line(0, 0, 1000000, 0) + " @3"}));
  EXPECT_FALSE(SlotDeletedAt(1));
}

TEST_F(TCleanupTest, DuplicatePassStopsAtOnceWhenCancelled) {
  DB->AddLine(0, 0, 1000000, 0);
  DB->AddLine(0, 0, 1000000, 0);
  View.CancelPressed = true;
  EraseDuplicates();
  EXPECT_EQ(Drawing().size(), 2u);
  EXPECT_EQ(View.Texts, V{"Preparing database"});
}

// ---- Overlapping lines -----------------------------------------------------------

TEST_F(TCleanupTest, LinesMeetingEndToEndMergeUnlessSomethingEndsAtTheJoint) {
  DB->AddLine(0, 0, 100000, 0);
  DB->AddLine(100000, 0, 200000, 0);
  RemoveOverlaps(50800);
  EXPECT_EQ(Drawing(), V{Line(0, 0, 200000, 0)});

  DB->Clear();
  DB->AddLine(0, 0, 100000, 0);
  DB->AddLine(100000, 0, 200000, 0);
  DB->AddLine(100000, 0, 100000, 900000);
  RemoveOverlaps(50800);
  EXPECT_EQ(Drawing(), Sorted({Line(0, 0, 100000, 0), Line(100000, 0, 200000, 0),
                               Line(100000, 0, 100000, 900000)}));
  // An arc ending there blocks the merge as well.
  DB->Clear();
  DB->AddLine(0, 0, 100000, 0);
  DB->AddLine(100000, 0, 200000, 0);
  DB->AddArc({100000, 0}, {100000, 2000000}, {100000, 1000000});
  RemoveOverlaps(50800);
  EXPECT_EQ(Drawing().size(), 3u);
}

TEST_F(TCleanupTest, ContainedLineGoesAndTheLongerOneIsCopied) {
  DB->AddLine(0, 5000000, 3000000, 5000000);
  DB->AddLine(2000000, 5000000, 1000000, 5000000);
  RemoveOverlaps(50800);
  EXPECT_EQ(Drawing(), V{Line(0, 5000000, 3000000, 5000000)});
  EXPECT_TRUE(SlotDeletedAt(1));
  EXPECT_TRUE(SlotDeletedAt(2));
  EXPECT_EQ(CadEntityCount, 3);
}

TEST_F(TCleanupTest, EndGapOfExactlyTheToleranceMergesOneMoreDoesNot) {
  DB->AddLine(0, 0, 1000000, 0);
  DB->AddLine(1002540, 0, 2000000, 0);
  DB->AddLine(0, 0, 0, -1000000);  // a vertical line with a gap of T + 1
  DB->AddLine(0, -1002541, 0, -2000000);
  RemoveOverlaps(2540);
  EXPECT_EQ(Drawing(), Sorted({Line(0, 0, 2000000, 0), Line(0, 0, 0, -1000000),
                               Line(0, -1002541, 0, -2000000)}));
}

TEST_F(TCleanupTest, ParallelLinesFurtherApartThanToleranceStay) {
  DB->AddLine(0, 0, 1000000, 0);
  DB->AddLine(500000, 3000, 1500000, 3000);
  RemoveOverlaps(2540);
  EXPECT_EQ(Drawing().size(), 2u);
}

TEST_F(TCleanupTest, CollinearLinesAtThirtyDegreesMergeInTheAngledStage) {
  // Direction (866025, 500000) is 30 degrees.
  DB->AddLine(0, 0, 866025, 500000);
  DB->AddLine(1732050, 1000000, 866025, 500000);
  RemoveOverlaps(50800);
  EXPECT_EQ(Drawing(), V{Line(0, 0, 1732050, 1000000)});
}

TEST_F(TCleanupTest, OverlapStagesReportTheirProgressTexts) {
  DB->AddLine(0, 0, 1000000, 0);
  RemoveOverlaps(50800);
  for (const char* text :
       {"Preparing database", "Preparing horizontal lines", "Removing horizontal overlaps, pass 1",
        "Removing horizontal overlaps, pass 2", "Preparing vertical lines",
        "Removing vertical overlaps, pass 2", "Preparing angled lines",
        "Removing angled overlaps, pass 1", "Removing angled overlaps, pass 2"}) {
    EXPECT_NE(std::find(View.Texts.begin(), View.Texts.end(), text), View.Texts.end()) << text;
  }
  EXPECT_EQ(View.StatusPercent, 100);
}

// ---- Arcs from chords --------------------------------------------------------------

TEST_F(TCleanupTest, ChordsOfAWholeCircleBecomeOneCircle) {
  AddChords(12700000, 0, 10, 36);
  BuildArcsFromChords(50800);
  EXPECT_EQ(Drawing(), V{Circle(0, 0, 12700000)});
  EXPECT_EQ(CircleCount, 1);
  EXPECT_EQ(ArcCount, 0);
  DB->Clear();
  AddChords(12700000, 0, 1, 360, 5000000, 0);  // a circle exported as 360 chords
  BuildArcsFromChords(50800);
  EXPECT_EQ(Drawing(), V{Circle(5000000, 0, 12700000)});
}

TEST_F(TCleanupTest, OpenChainOfChordsBecomesOneCounterClockwiseArc) {
  // Twelve chords of a quarter circle, entered clockwise from 90 to 0
  // degrees: the arc still runs counter-clockwise, from 0 to 90.
  AddChords(12700000, 90, -7.5, 12, 1000000, 2000000);
  BuildArcsFromChords(50800);
  EXPECT_EQ(Drawing(), V{Arc(13700000, 2000000, 1000000, 14700000, 1000000, 2000000)});
  EXPECT_EQ(ArcCount, 1);
}

TEST_F(TCleanupTest, UnevenChordsOfAClosedChainAreScannedForArcsInstead) {
  // A closed 24-gon on a circle whose chords alternate 100 and 300 units of
  // arc length: not a circle; the even one is.
  auto polygon = [](double shortArc, double longArc) {
    const double r = 2000.0;
    double step1 = shortArc / r * 180 / M_PI, step2 = longArc / r * 180 / M_PI;
    double scale = 360.0 / (12 * (step1 + step2));
    double a = 0;
    std::vector<TIntPoint> pts;
    for (int k = 0; k < 24; ++k) {
      pts.push_back({int32_t(std::lround(r * 1000 * std::cos(a * M_PI / 180))),
                     int32_t(std::lround(r * 1000 * std::sin(a * M_PI / 180)))});
      a += (k % 2 ? step2 : step1) * scale;
    }
    for (int k = 0; k < 24; ++k) {
      DB->AddLine(pts[k].X, pts[k].Y, pts[(k + 1) % 24].X, pts[(k + 1) % 24].Y);
    }
  };
  polygon(100, 200);
  BuildArcsFromChords(50800);
  EXPECT_EQ(CircleCount, 1);
  DB->Clear();
  polygon(100, 300);
  BuildArcsFromChords(50800);
  EXPECT_EQ(CircleCount, 0);
  EXPECT_GE(ArcCount, 1);
  for (const std::string& e : Drawing()) EXPECT_NE(e[0], 'C') << e;
}

TEST_F(TCleanupTest, UnevenClosedChainComesBackAsACircleThroughTheArcPass) {
  // Chords alternating 2 and 8 degrees: not even enough for the loop rule,
  // yet every chord lies on one circle. No arc may span the whole loop; the
  // loop becomes two arcs that the circle pass joins.
  const double r = 12700000.0;
  std::vector<TIntPoint> pts;
  for (double a = 0.0; a < 359.9; a += pts.size() % 2 ? 8.0 : 2.0) {
    pts.push_back({int32_t(std::lround(r * std::cos(a * M_PI / 180))),
                   int32_t(std::lround(r * std::sin(a * M_PI / 180)))});
  }
  const size_t n = pts.size();
  for (size_t k = 0; k < n; ++k) {
    DB->AddLine(pts[k].X, pts[k].Y, pts[(k + 1) % n].X, pts[(k + 1) % n].Y);
  }
  BuildArcsFromChords(50800);
  std::vector<std::string> arcs = Drawing();
  ASSERT_EQ(arcs.size(), 2u);
  for (const std::string& e : arcs) EXPECT_EQ(e[0], 'A') << e;
  BuildCirclesFromArcs(50800);
  ASSERT_EQ(Drawing().size(), 1u);
  EXPECT_EQ(Drawing()[0].substr(0, 2), "C ");
}

TEST_F(TCleanupTest, RoundedRectangleOfChordRunsComesBackAsLinesAndTangentArcs) {
  // A 4 x 2 in rectangle with corners of radius 0.25 in, each drawn as 9
  // chords; the first line starts at a corner's end, so one corner lies
  // across the closed chain's seam.
  const int32_t r = 6350000, w = 101600000, h = 50800000;
  DB->AddLine(r, 0, w - r, 0);
  AddChords(r, 270, 10, 9, w - r, r);
  DB->AddLine(w, r, w, h - r);
  AddChords(r, 0, 10, 9, w - r, h - r);
  DB->AddLine(w - r, h, r, h);
  AddChords(r, 90, 10, 9, r, h - r);
  DB->AddLine(0, h - r, 0, r);
  AddChords(r, 180, 10, 9, r, r);
  BuildArcsFromChords(50800);
  const V expected = Sorted({Line(r, 0, w - r, 0), Line(w, r, w, h - r), Line(r, h, w - r, h),
                             Line(0, r, 0, h - r), Arc(w - r, 0, w, r, w - r, r),
                             Arc(w, h - r, w - r, h, w - r, h - r), Arc(r, h, 0, h - r, r, h - r),
                             Arc(0, r, r, 0, r, r)});
  const V got = Drawing();
  ASSERT_EQ(got.size(), expected.size());
  // The tangent points come from the fitted circles: within a unit.
  for (size_t k = 0; k < got.size(); ++k) {
    std::istringstream a(got[k]), b(expected[k]);
    std::string kindA, kindB;
    a >> kindA;
    b >> kindB;
    EXPECT_EQ(kindA, kindB) << got[k];
    for (int64_t x, y; a >> x && b >> y;) EXPECT_NEAR(x, y, 1) << got[k] << " / " << expected[k];
  }
  EXPECT_EQ(ArcCount, 4);
}

TEST_F(TCleanupTest, ChordsMeetingOneUnitApartAreNotChained) {
  AddChords(12700000, 0, 7.5, 6);
  AddChords(12700000, 45, 7.5, 6, 1, 0);  // shifted by one unit
  BuildArcsFromChords(50800);
  // Each half is fitted on its own.
  EXPECT_EQ(ArcCount, 2);
}

TEST_F(TCleanupTest, HalfCircleBetweenParallelLinesBecomesATangentArc) {
  DB->AddLine(-10000000, 1270000, 0, 1270000);
  AddChords(1270000, 90, -22.5, 8);
  DB->AddLine(0, -1270000, -10000000, -1270000);
  BuildArcsFromChords(50800);
  EXPECT_EQ(Drawing(), Sorted({Line(-10000000, 1270000, 0, 1270000),
                               Line(-10000000, -1270000, 0, -1270000),
                               Arc(0, -1270000, 0, 1270000, 0, 0)}));
  EXPECT_EQ(ArcCount, 1);
  // Both lines were trimmed to the tangent points: replaced by new slots.
  EXPECT_TRUE(SlotDeletedAt(1));
  EXPECT_TRUE(SlotDeletedAt(10));
}

TEST_F(TCleanupTest, CornerRoundedWithChordsGetsAnArcTangentToBothLines) {
  // A quarter circle of radius 1,000,000 about (0, 0) from (1000000, 0) to
  // (0, 1000000) between a vertical line below it and a horizontal line to
  // its left, drawn as 6 chords.
  DB->AddLine(1000000, -5000000, 1000000, 0);
  AddChords(1000000, 0, 15, 6);
  DB->AddLine(0, 1000000, -5000000, 1000000);
  BuildArcsFromChords(50800);
  EXPECT_EQ(Drawing(), Sorted({Line(1000000, -5000000, 1000000, 0),
                               Line(-5000000, 1000000, 0, 1000000),
                               Arc(1000000, 0, 0, 1000000, 0, 0)}));
  EXPECT_TRUE(SlotDeletedAt(1));
  EXPECT_TRUE(SlotDeletedAt(8));
}

TEST_F(TCleanupTest, LinesFortyDegreesOffTheTangentKeepTheirEnds) {
  // The line into the first chord end comes in at 40 degrees off the arc's
  // tangent there: the plain fitted arc, lines untouched.
  DB->AddLine(1000000 + 3213938, -3830222, 1000000, 0);
  AddChords(1000000, 0, 15, 6);
  DB->AddLine(0, 1000000, -5000000, 1000000);
  BuildArcsFromChords(50800);
  EXPECT_FALSE(SlotDeletedAt(1));
  EXPECT_FALSE(SlotDeletedAt(8));
  EXPECT_EQ(ArcCount, 1);
  EXPECT_EQ(Drawing().size(), 3u);
}

// ---- Circles from arcs -------------------------------------------------------------

TEST_F(TCleanupTest, FourQuarterArcsBecomeOneCircle) {
  const int32_t r = 3000000;
  DB->AddArc({r, 0}, {0, r}, {0, 0});
  DB->AddArc({-r, 0}, {0, -r}, {0, 0});
  DB->AddArc({0, r}, {-r, 0}, {0, 0});
  DB->AddArc({0, -r}, {r, 0}, {0, 0});
  BuildCirclesFromArcs(50800);
  EXPECT_EQ(Drawing(), V{Circle(0, 0, r)});
}

TEST_F(TCleanupTest, ArcWithACentreTooFarOffKeepsTheRunOpen) {
  const int32_t r = 3000000, t = 50800;
  DB->AddArc({r, 0}, {0, r}, {0, 0});
  DB->AddArc({0, r}, {-r, 0}, {0, 0});
  DB->AddArc({-r, 0}, {0, -r}, {t * 3 / 2, 0});
  DB->AddArc({0, -r}, {r, 0}, {0, 0});
  V before = Drawing();
  BuildCirclesFromArcs(t);
  EXPECT_EQ(Drawing(), before);
}

TEST_F(TCleanupTest, ArcEndsMustMeetExactlyAndAClosedSingleArcStays) {
  const int32_t r = 3000000;
  DB->AddArc({r, 0}, {-r, 0}, {0, 0});
  DB->AddArc({-r, 1}, {r, 0}, {0, 0});
  DB->AddArc({r + 9000000, 0}, {r + 9000000, 0}, {9000000, 0});
  V before = Drawing();
  BuildCirclesFromArcs(50800);
  EXPECT_EQ(Drawing(), before);
}

}  // namespace

namespace {

TEST_F(TCleanupTest, ArcPassStopsBetweenChainsWhenCancelled) {
  // Four separate quarter circles of chords, 12 chords each (seeds 1, 13,
  // 25, 37): cancel at the status update of seed 20.
  for (int32_t k = 0; k < 4; ++k) AddChords(1000000, 0, 7.5, 12, k * 10000000, 0);
  CadUndo->BeginOperation("Draw");
  const V before = Drawing();
  View.CancelAtUpdate = 1 + 20;
  BuildArcsFromChords(50800);
  EXPECT_EQ(ArcCount, 2);
  EXPECT_EQ(Drawing().size(), 2u + 24u);
  CadUndo->BeginOperation("Auto Cleanup");
  CadUndo->Undo();
  EXPECT_EQ(Drawing(), before);
}

}  // namespace

TEST_F(TCleanupTest, EveryPassLeavesAnEmptyLayerAlone) {
  // Nothing on the current layer; a drawing on another one stays as it is.
  AddChords(12700000, 0, 10, 36);
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    EntityArray->GetSlot(i)->Flags = 1u << 3;
  }
  const V before = Drawing();
  EraseDuplicates();
  BuildArcsFromChords(50800);
  BuildCirclesFromArcs(50800);
  RemoveOverlaps(50800);
  EXPECT_EQ(Drawing(), before);
  EXPECT_EQ(ArcCount, 0);
  EXPECT_EQ(CircleCount, 0);
  DB->Clear();
  EraseDuplicates();
  BuildArcsFromChords(50800);
  BuildCirclesFromArcs(50800);
  RemoveOverlaps(50800);
  EXPECT_TRUE(Drawing().empty());
}
