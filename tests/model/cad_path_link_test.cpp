// Path linking on drawings made through DB: outlines of lines and arcs,
// open and closed, with junctions, reversed entities and ends just inside
// and just outside the link tolerance.
#include "routpath/cad_path_link.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "recording_surface.h"
#include "routpath/endpoint_grid.h"

namespace {

constexpr int32_t Inch = 25400000;

class CadPathLinkTest : public TCadTest {
 protected:
  void SetUp() override {
    TCadTest::SetUp();
    ResetModalScripts();
    InitFollowBranchUnit();
  }
  void TearDown() override {
    FreeObjectList<TRootEntityHandle>(Path);
    InitFollowBranchUnit();
    TCadTest::TearDown();
  }

  int32_t Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t layer = 0) {
    return DB->AddLineOnLayer(x1, y1, x2, y2, layer);
  }
  // Counter-clockwise arc from start to end about the centre.
  int32_t Arc(TIntPoint start, TIntPoint end, TIntPoint centre, uint8_t layer = 0) {
    return DB->AddArcOnLayer(start, end, centre, layer);
  }
  // A fresh one-handle path on the entity.
  TRootEntityHandle*& Pick(int32_t index) {
    FreeObjectList<TRootEntityHandle>(Path);
    Path = new TCadHandle(index);
    return Path;
  }
  std::vector<int32_t> PathIndices() const {
    std::vector<int32_t> out;
    for (TRootEntityHandle* h = Path; h != nullptr; h = h->Next) out.push_back(h->GetIndex());
    return out;
  }
  std::string Link(int32_t first, bool direction, bool draw = false) {
    std::string text;
    LinkPath(draw, Pick(first), 255, text, direction);
    return text;
  }

  TRootEntityHandle* Path = nullptr;
};

TEST_F(CadPathLinkTest, RectanglePickedAtAnyCornerLinksClosed) {
  const int32_t a = Line(0, 0, 2 * Inch, 0);
  const int32_t b = Line(2 * Inch, Inch, 2 * Inch, 0);  // reversed
  const int32_t c = Line(2 * Inch, Inch, 0, Inch);
  const int32_t d = Line(0, 0, 0, Inch);                // reversed
  const TIntPoint corners[] = {{0, 0}, {2 * Inch, 0}, {2 * Inch, Inch}, {0, Inch}};
  const int32_t picked[] = {a, b, c, d};
  for (int32_t first : picked) {
    for (const TIntPoint& corner : corners) {
      bool direction = false;
      Pick(first);
      EXPECT_TRUE(LinkPathQuiet(Path, corner, direction));
      EXPECT_EQ(PathIndices().size(), 4u);
      Pick(first);
      EXPECT_TRUE(LinkClosedPathTest(Path, false));
      EXPECT_EQ(PathIndices().size(), 4u);
    }
  }
  EXPECT_EQ(Link(a, false), "Linked closed path...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a, b, c, d}));
  EXPECT_EQ(Link(a, true), "Linked closed path...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a, d, c, b}));
}

TEST_F(CadPathLinkTest, SlotOutlineOfLinesAndArcs) {
  // Two lines and two half-circle end arcs, as a milled slot outline.
  const int32_t r = Inch / 8;
  const int32_t top = Line(0, r, Inch, r);
  const int32_t right = Arc({Inch, -r}, {Inch, r}, {Inch, 0});
  const int32_t bottom = Line(0, -r, Inch, -r);
  const int32_t left = Arc({0, r}, {0, -r}, {0, 0});
  EXPECT_EQ(Link(bottom, false), "Linked closed path...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{bottom, right, top, left}));
  EXPECT_EQ(Link(left, true), "Linked closed path...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{left, top, right, bottom}));
}

TEST_F(CadPathLinkTest, OpenChainsAndSingleLines) {
  const int32_t single = Line(5 * Inch, 5 * Inch, 6 * Inch, 5 * Inch);
  EXPECT_EQ(Link(single, false), "Linked open path...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{single}));

  const int32_t a = Line(0, 0, Inch, 0);
  const int32_t b = Arc({2 * Inch, 0}, {Inch, 0}, {3 * Inch / 2, 0});  // reversed half circle
  const int32_t c = Line(2 * Inch, 0, 3 * Inch, Inch);
  EXPECT_EQ(Link(a, false), "Linked open path...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a, b, c}));
  // From the far end backwards.
  EXPECT_EQ(Link(c, false), "Linked open path...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{c}));
  EXPECT_EQ(Link(c, true), "Linked open path...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{c, b, a}));

  bool direction = true;
  Pick(a);
  EXPECT_TRUE(LinkPathQuiet(Path, {Inch, 0}, direction));
  EXPECT_FALSE(direction);
  Pick(a);
  EXPECT_FALSE(LinkClosedPathTest(Path, false));
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a, b, c}));
}

TEST_F(CadPathLinkTest, ThreeLinesAtOnePointHalt) {
  const int32_t a = Line(0, 0, Inch, 0);
  const int32_t b = Line(Inch, 0, 2 * Inch, 0);
  Line(Inch, 0, Inch, Inch);
  EXPECT_EQ(Link(a, false), "Halted due to multiple paths...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a}));
  // Leaving the junction behind: open.
  EXPECT_EQ(Link(b, false), "Linked open path...");
  bool direction = false;
  Pick(a);
  EXPECT_FALSE(LinkPathQuiet(Path, {Inch, 0}, direction));
  Pick(a);
  EXPECT_FALSE(LinkClosedPathTest(Path, true));
}

TEST_F(CadPathLinkTest, EndsJustInsideAndJustOutsideTheTolerance) {
  const int32_t a = Line(0, 0, Inch, 0);
  const int32_t b = Line(Inch + 76199, 0, 2 * Inch, 0);
  const int32_t c = Line(2 * Inch + 76200, 0, 3 * Inch, 0);
  EXPECT_EQ(Link(a, false), "Linked open path...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a, b}));
  // A rectangle with a gap of 76,199 closes; with 76,200 it stays open.
  const int32_t s1 = Line(0, 5 * Inch, Inch, 5 * Inch);
  const int32_t s2 = Line(Inch, 5 * Inch, Inch, 6 * Inch);
  const int32_t s3 = Line(Inch, 6 * Inch, 0, 6 * Inch);
  const int32_t s4 = Line(0, 6 * Inch, 0, 5 * Inch + 76199);
  EXPECT_EQ(Link(s1, false), "Linked closed path...");
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{s1, s2, s3, s4}));
  DB->Clear();
  const int32_t t1 = Line(0, 5 * Inch, Inch, 5 * Inch);
  Line(Inch, 5 * Inch, Inch, 6 * Inch);
  Line(Inch, 6 * Inch, 0, 6 * Inch);
  Line(0, 6 * Inch, 0, 5 * Inch + 76200);
  EXPECT_EQ(Link(t1, false), "Linked open path...");
  EXPECT_EQ(PathIndices().size(), 4u);
  (void)c;
}

TEST_F(CadPathLinkTest, OnlyThePathsLayerAndLiveEntitiesLink) {
  const int32_t a = Line(0, 0, Inch, 0, 2);
  Line(Inch, 0, 2 * Inch, 0, 3);  // touches, but on another layer
  const int32_t gone = Line(Inch, 0, Inch, Inch, 2);
  DB->MarkDeleted(gone);
  Line(Inch, 0, Inch, -Inch, 2);
  DB->AddCircleOnLayer(Inch, 0, 1000, 2);  // circles never link
  EXPECT_EQ(Link(a, false), "Linked open path...");
  EXPECT_EQ(PathIndices().size(), 2u);
}

TEST_F(CadPathLinkTest, ChooseLinkDirectionFromThePick) {
  const int32_t a = Line(0, 0, 1000000, 0);
  TCadHandle h(a);
  EXPECT_TRUE(ChooseLinkDirection(&h, {100, 50}));
  EXPECT_FALSE(ChooseLinkDirection(&h, {999000, 0}));
  // The exact middle: the first point is not strictly nearer.
  EXPECT_FALSE(ChooseLinkDirection(&h, {500000, 0}));
  EXPECT_FALSE(ChooseLinkDirection(nullptr, {0, 0}));
  // A point has no second point to measure: false, and no error box.
  TCadHandle p(DB->AddPoint(3 * Inch, 3 * Inch));
  EXPECT_FALSE(ChooseLinkDirection(&p, {3 * Inch, 3 * Inch}));
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

TEST_F(CadPathLinkTest, EmptyListsDoNothing) {
  TRootEntityHandle* none = nullptr;
  bool direction = true;
  EXPECT_FALSE(LinkPathQuiet(none, {0, 0}, direction));
  EXPECT_TRUE(direction);
  EXPECT_FALSE(LinkClosedPathTest(none, true));
  LinkPathAndReport(nullptr, {0, 0});
  EXPECT_TRUE(ShownMessageBoxes().empty());
  std::string text;
  EXPECT_EQ(LinkPath(false, none, 255, text, false), 255);
  EXPECT_EQ(text, "Undefined result...");
}

TEST_F(CadPathLinkTest, ReportShowsTheOutcomeAndRestoresTheView) {
  const int32_t a = Line(0, 0, Inch, 0);
  Line(Inch, 0, Inch, Inch);
  TCadHandle* h = new TCadHandle(a);
  Path = h;
  LinkPathAndReport(h, {0, 0});  // nearer the first point: follows backwards
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtInformation);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "Linked open path...");
  EXPECT_EQ(PathIndices().size(), 1u);
  LinkPathAndReport(h, {Inch, 0});
  EXPECT_EQ(ShownMessageBoxes()[1].Text, "Linked open path...");
  EXPECT_EQ(PathIndices().size(), 2u);
  EXPECT_EQ(HeadlessViewServices().Cursor, crDefault);
}

TEST_F(CadPathLinkTest, DrawingPaintsFollowedEntitiesWhiteThenHighlightsThePath) {
  const int32_t a = Line(0, 0, Inch, 0);
  Line(Inch, 0, Inch, Inch);
  Line(Inch, Inch, 0, 0);
  Surface.Clear();
  EXPECT_EQ(Link(a, false, true), "Linked closed path...");
  const std::string white = "SetColor(" + std::to_string(0xFFFFFF) + ")";
  const std::string highlight = "SetColor(" + std::to_string(HighlightColor) + ")";
  EXPECT_EQ(Surface.Count(white), 1);
  EXPECT_EQ(Surface.Count(highlight), 1);
  EXPECT_EQ(Surface.Count("DrawLine"), 2 + 3);  // two followed, then the three highlighted
  EXPECT_EQ(HeadlessViewServices().Cursor, crDefault);
  // Without drawing nothing is painted.
  Surface.Clear();
  EXPECT_EQ(Link(a, false, false), "Linked closed path...");
  EXPECT_EQ(Surface.Count("DrawLine"), 0);
}

TEST_F(CadPathLinkTest, TextIsCutToTheMaximumLength) {
  const int32_t a = Line(0, 0, Inch, 0);
  std::string text;
  LinkPath(false, Pick(a), 6, text, false);
  EXPECT_EQ(text, "Linked");
  LinkPath(false, Pick(a), 0, text, false);
  EXPECT_EQ(text, "");
}

TEST_F(CadPathLinkTest, LargeOutlineLinksClosed) {
  // 10,000 sides of a polygon of radius 10 in, lines and arcs through the
  // vertices, every third side stored against the walk.
  constexpr int32_t n = 10000;
  const double r = 10.0 * Inch;
  std::vector<TIntPoint> v(n);
  for (int32_t i = 0; i < n; ++i) {
    const double t = 2.0 * 3.14159265358979323846 * i / n;
    v[i] = {static_cast<int32_t>(std::lround(r * std::cos(t))),
            static_cast<int32_t>(std::lround(r * std::sin(t)))};
  }
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < n; ++i) {
    const TIntPoint s = v[i], e = v[(i + 1) % n];
    if (i % 5 == 0) {
      ids.push_back(Arc(s, e, {0, 0}));  // counter-clockwise, centre at the origin
    } else if (i % 3 == 0) {
      ids.push_back(Line(e.X, e.Y, s.X, s.Y));
    } else {
      ids.push_back(Line(s.X, s.Y, e.X, e.Y));
    }
  }
  EXPECT_EQ(Link(ids.front(), false), "Linked closed path...");
  EXPECT_EQ(PathIndices(), ids);
}

}  // namespace
