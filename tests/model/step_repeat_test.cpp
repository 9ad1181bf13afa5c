#include "model/step_repeat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "foundation/display_units.h"
#include "foundation/geometry_matrix.h"
#include "korvex_test.h"
#include "model/entity_store.h"
#include "platform/headless/headless_dialogs.h"

namespace {

TStepCommand Mark() { return TStepCommand{1, 1, 0, 0, 0}; }
TStepCommand Step(int32_t dx, int32_t dy, uint8_t code = 0, int32_t count = 1) {
  return TStepCommand{0, count, dx, dy, code};
}

struct TOffset {
  int32_t X, Y;
  uint8_t Code;
  bool operator==(const TOffset&) const = default;
};

std::vector<TOffset> Expand(const TStepCommandList& list, bool* ok = nullptr,
                            int32_t* position = nullptr) {
  TStepCommandList out;
  int32_t pos = -1;
  const bool result = ExpandStepList(false, list, out, pos);
  if (ok) *ok = result;
  if (position) *position = pos;
  std::vector<TOffset> offsets;
  for (const TStepCommand& c : out) {
    EXPECT_EQ(c.Command, 0);
    EXPECT_EQ(c.Count, 1);
    offsets.push_back(TOffset{c.DX, c.DY, c.Orientation});
  }
  return offsets;
}

// The orientation's map, written out case by case.
TIntPoint Orient(uint8_t code, TIntPoint p) {
  switch (code) {
    case 1: return {p.Y, p.X};
    case 2: return {-p.X, p.Y};
    case 3: return {p.Y, -p.X};
    case 4: return {p.X, -p.Y};
    case 5: return {-p.Y, p.X};
    case 6: return {-p.X, -p.Y};
    case 7: return {-p.Y, -p.X};
    default: return p;
  }
}

int64_t Cross(TIntPoint a, TIntPoint b, TIntPoint c) {
  return (int64_t{b.X} - a.X) * (int64_t{c.Y} - a.Y) - (int64_t{b.Y} - a.Y) * (int64_t{c.X} - a.X);
}

class StepRepeatTest : public TKorvexTest {};

TEST_F(StepRepeatTest, WorkedExamplesAndRepeatCounts) {
  // The last step of a level gives no copy of its own.
  EXPECT_EQ(Expand({Mark(), Step(10, 0), Step(0, 20), Step(5, 5)}),
            (std::vector<TOffset>{{10, 0, 0}, {10, 20, 0}}));
  EXPECT_EQ(Expand({Mark(), Step(10, 3, 0, 2)}), (std::vector<TOffset>{{10, 3, 0}}));
  EXPECT_TRUE(Expand({Mark(), Step(0, 0)}).empty());
  EXPECT_EQ(Expand({Mark(), Step(7, 0, 0, 4)}),
            (std::vector<TOffset>{{7, 0, 0}, {14, 0, 0}, {21, 0, 0}}));
  // A count of 0 or less runs once.
  for (int32_t count : {0, -1, -2147483647 - 1}) {
    EXPECT_EQ(Expand({Mark(), Step(10, 0, 0, count), Step(1, 1)}),
              (std::vector<TOffset>{{10, 0, 0}}))
        << count;
  }
  // Codes 8 and above count as 0.
  EXPECT_EQ(Expand({Mark(), Step(10, 0, 9), Step(1, 1)}), (std::vector<TOffset>{{10, 0, 0}}));
  EXPECT_EQ(Expand({Mark(), Step(10, 0, 5), Step(1, 1)}), (std::vector<TOffset>{{10, 0, 5}}));
}

TEST_F(StepRepeatTest, RelativeModeGivesMovesBetweenCopies) {
  TStepCommandList out;
  int32_t position = -1;
  ASSERT_TRUE(ExpandStepList(true, {Mark(), Step(10, 0), Step(0, 20), Step(5, 5)}, out, position));
  EXPECT_EQ(position, 0);
  EXPECT_EQ(out, (TStepCommandList{Mark(), Step(10, 0), Step(0, 20), Step(0, 0)}));
}

TEST_F(StepRepeatTest, ErrorsReportTheirPosition) {
  bool ok = true;
  int32_t position = 0;
  // A step with no level open.
  EXPECT_TRUE(Expand({Step(1, 1), Mark()}, &ok, &position).empty());
  EXPECT_FALSE(ok);
  EXPECT_EQ(position, 1);
  // A fourth level.
  Expand({Mark(), Step(1, 0), Mark(), Step(2, 0), Mark(), Step(3, 0), Mark(), Step(4, 0)}, &ok,
         &position);
  EXPECT_FALSE(ok);
  EXPECT_EQ(position, 7);
}

TEST_F(StepRepeatTest, OffsetOverflowIsCaughtOnBothSides) {
  for (int32_t sign : {1, -1}) {
    bool ok = true;
    int32_t position = 0;
    const int32_t big = sign * 2000000000;
    // Within one level: the second copy would lie at 4e9.
    auto offsets = Expand({Mark(), Step(big, 0), Step(big, 0), Step(0, 0)}, &ok, &position);
    EXPECT_FALSE(ok) << sign;
    EXPECT_EQ(position, 3) << sign;
    EXPECT_EQ(offsets, (std::vector<TOffset>{{big, 0, 0}}));
    // Y as well.
    Expand({Mark(), Step(0, big), Step(0, big), Step(0, 0)}, &ok, &position);
    EXPECT_FALSE(ok) << sign;
    EXPECT_EQ(position, 3) << sign;
    // Across levels: each level fits, the composed copy does not.
    offsets = Expand({Mark(), Step(big, 0), Step(0, 0), Mark(), Step(big, 0), Step(0, 0)}, &ok,
                     &position);
    EXPECT_FALSE(ok) << sign;
    EXPECT_GT(position, 0) << sign;
    ASSERT_EQ(offsets.size(), 3u);
    EXPECT_EQ(offsets[2].X, sign * 2147483647);
  }
  // 2,147,483,646 is still a position.
  bool ok = false;
  Expand({Mark(), Step(2147483646, -2147483646), Step(0, 0)}, &ok);
  EXPECT_TRUE(ok);
}

TEST_F(StepRepeatTest, HugeCountsEndQuickly) {
  bool ok = true;
  int32_t position = 0;
  auto offsets = Expand({Mark(), Step(1, 0, 0, 2147483647)}, &ok, &position);
  EXPECT_FALSE(ok);
  EXPECT_EQ(position, 2);
  EXPECT_EQ(offsets.size(), static_cast<size_t>(kMaxStepCopies));
  EXPECT_EQ(offsets.back().X, kMaxStepCopies);

  TStepCommand hugeMark = Mark();
  hugeMark.Count = 2147483647;
  Expand({hugeMark, Step(1, 0), Step(0, 0)}, &ok, &position);
  EXPECT_FALSE(ok);
  EXPECT_EQ(position, 1);

  // A long first step overflows only once, however often it repeats.
  offsets = Expand({Mark(), Step(1000000, 0, 0, 2147483647)}, &ok, &position);
  EXPECT_FALSE(ok);
  EXPECT_EQ(offsets.size(), 2147u);

  // Transforming a pattern with a huge count is arithmetic, not a loop.
  auto* s = new TStepObject({Mark(), Step(0, 0, 0, 2147483647)});
  TMatrix3 m = IdentityMatrix;
  TranslateMatrix(m, 100.0, 0.0);
  EXPECT_NE(s->Transformed(m), nullptr);
  ReleaseStepObject(s);
}

TEST_F(StepRepeatTest, ConvertOrientationVersion) {
  uint8_t r = 99;
  ASSERT_TRUE(ConvertOrientationVersion(1, 1, r, 3));
  EXPECT_EQ(r, 7);
  ASSERT_TRUE(ConvertOrientationVersion(7, 3, r, 1));
  EXPECT_EQ(r, 1);
  ASSERT_TRUE(ConvertOrientationVersion(2, 1, r, 2));
  EXPECT_EQ(r, 4);
  for (int v = 1; v <= 8; ++v) {
    ASSERT_TRUE(ConvertOrientationVersion(0, 1, r, v));
    EXPECT_EQ(r, 0);
    // Every code survives a round trip through any version.
    for (uint8_t code = 0; code < 8; ++code) {
      uint8_t there = 0, back = 0;
      ASSERT_TRUE(ConvertOrientationVersion(code, 1, there, v));
      ASSERT_TRUE(ConvertOrientationVersion(there, v, back, 1));
      EXPECT_EQ(back, code);
    }
  }
  r = 42;
  EXPECT_FALSE(ConvertOrientationVersion(8, 1, r, 3));
  EXPECT_FALSE(ConvertOrientationVersion(1, 0, r, 3));
  EXPECT_FALSE(ConvertOrientationVersion(1, 1, r, 9));
  EXPECT_EQ(r, 42);
}

TEST_F(StepRepeatTest, CompositionTableAndMirrorFlagAgreeWithTheMaps) {
  const TIntPoint probes[] = {{3, 5}, {-7, 11}, {13, -2}};
  for (uint8_t outer = 0; outer < 8; ++outer) {
    for (uint8_t inner = 0; inner < 8; ++inner) {
      const uint8_t both = StepCompositionTable[outer][inner];
      for (TIntPoint p : probes) EXPECT_EQ(Orient(both, p), Orient(outer, Orient(inner, p)));
      // A composition mirrors when exactly one of its parts does.
      EXPECT_EQ(StepOrientationMirrored(both),
                StepOrientationMirrored(outer) != StepOrientationMirrored(inner));
    }
  }
  const bool expected[8] = {false, true, true, false, true, false, false, true};
  for (uint8_t code = 0; code < 8; ++code) EXPECT_EQ(StepOrientationMirrored(code), expected[code]);
  EXPECT_FALSE(StepOrientationMirrored(8));
}

TEST_F(StepRepeatTest, EightOrientationsOnAPointAndAnArc) {
  // A counter-clockwise arc: start, a middle point, end.
  const std::vector<TIntPoint> arc = {{1000, 0}, {707, 707}, {0, 1000}};
  ASSERT_GT(Cross(arc[0], arc[1], arc[2]), 0);
  for (uint8_t code = 0; code < 8; ++code) {
    auto* s = new TStepObject({Mark(), Step(5000, -3000, code), Step(0, 0)});
    s->AddRef();
    ASSERT_EQ(s->CopyCount(), 1);
    s->BeginCopies(&arc);
    std::vector<TIntPoint> copy;
    bool mirrored = false;
    ASSERT_TRUE(s->NextCopy(copy, mirrored));
    ASSERT_EQ(copy.size(), 3u);
    for (size_t i = 0; i < arc.size(); ++i) {
      const TIntPoint o = Orient(code, arc[i]);
      EXPECT_EQ(copy[i], (TIntPoint{o.X + 5000, o.Y - 3000})) << int(code);
    }
    // The copy's arc runs clockwise exactly when the copy is mirrored.
    EXPECT_EQ(Cross(copy[0], copy[1], copy[2]) < 0, mirrored) << int(code);
    EXPECT_FALSE(s->NextCopy(copy, mirrored));
    EXPECT_TRUE(copy.empty());
    ReleaseStepObject(s);
    EXPECT_EQ(s, nullptr);
  }
}

// Copies of three levels against a direct construction: every level's
// instances are its origin and the running sums of its steps but the last;
// a copy places the point through level 1, then 2, then 3.
TEST_F(StepRepeatTest, ThreeLevelsMatchTheDirectConstruction) {
  std::mt19937 rng(154);
  std::uniform_int_distribution<int32_t> coord(-50000, 50000);
  std::uniform_int_distribution<int> steps(1, 4), code(0, 7);
  for (int trial = 0; trial < 40; ++trial) {
    struct TInstance {
      TIntPoint Offset;
      uint8_t Code;
    };
    std::vector<TInstance> levels[3];
    TStepCommandList lists[3];
    for (int l = 0; l < 3; ++l) {
      lists[l].push_back(Mark());
      levels[l].push_back(TInstance{{0, 0}, 0});
      TIntPoint sum{0, 0};
      const int n = steps(rng);
      for (int k = 0; k < n; ++k) {
        const TStepCommand st = Step(coord(rng), coord(rng), static_cast<uint8_t>(code(rng)));
        lists[l].push_back(st);
        sum = TIntPoint{sum.X + st.DX, sum.Y + st.DY};
        if (k + 1 < n) levels[l].push_back(TInstance{sum, st.Orientation});
      }
    }
    auto* outer = new TStepObject(lists[2]);
    auto* middle = new TStepObject(lists[1]);
    auto* inner = new TStepObject(lists[0]);
    middle->SetNested(outer);
    inner->SetNested(middle);
    inner->AddRef();
    ASSERT_EQ(inner->LevelCount(), 3);
    EXPECT_EQ(inner->GetLevel(3), outer);
    EXPECT_EQ(inner->GetLevel(4), nullptr);

    const std::vector<TIntPoint> point = {{123, -456}};
    std::vector<TIntPoint> expected;
    std::vector<bool> expectedMirror;
    for (size_t i3 = 0; i3 < levels[2].size(); ++i3)
      for (size_t i2 = 0; i2 < levels[1].size(); ++i2)
        for (size_t i1 = 0; i1 < levels[0].size(); ++i1) {
          if (i1 == 0 && i2 == 0 && i3 == 0) continue;
          TIntPoint p = point[0];
          bool mirror = false;
          for (const TInstance& in : {levels[0][i1], levels[1][i2], levels[2][i3]}) {
            p = Orient(in.Code, p);
            p = TIntPoint{p.X + in.Offset.X, p.Y + in.Offset.Y};
            mirror ^= StepOrientationMirrored(in.Code);
          }
          expected.push_back(p);
          expectedMirror.push_back(mirror);
        }
    ASSERT_EQ(inner->CopyCount(), expected.size()) << trial;
    inner->BeginCopies(&point);
    std::vector<TIntPoint> copy;
    bool mirrored = false;
    for (size_t k = 0; k < expected.size(); ++k) {
      ASSERT_TRUE(inner->NextCopy(copy, mirrored));
      EXPECT_EQ(copy[0], expected[k]) << trial << " copy " << k;
      EXPECT_EQ(mirrored, expectedMirror[k]) << trial << " copy " << k;
    }
    EXPECT_FALSE(inner->NextCopy(copy, mirrored));
    // The walk of single points gives the same copies.
    inner->BeginCopies(&point);
    TIntPoint q;
    for (size_t k = 0; k < expected.size(); ++k) {
      ASSERT_TRUE(inner->NextCopyPoint(q));
      EXPECT_EQ(q, expected[k]);
    }
    q = TIntPoint{1, 2};
    EXPECT_FALSE(inner->NextCopyPoint(q));
    EXPECT_EQ(q, (TIntPoint{1, 2}));
    ReleaseStepObject(inner);
  }
}

// Lists of thousands of steps: each copy is the sum of the steps before it,
// an overflow deep in the list names its own command, and long levels
// chained three deep give every combination of their copies.
TEST_F(StepRepeatTest, LongListsGiveTheSumsOfTheirStepsAndTheirFaultsPositions) {
  TStepCommandList list{Mark()};
  for (int k = 0; k < 40000; ++k) list.push_back(k % 2 == 0 ? Step(1, 0, 0) : Step(0, 2, 0));
  list.push_back(Step(0, 0));
  bool ok = false;
  const std::vector<TOffset> copies = Expand(list, &ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(copies.size(), 40000u);
  for (int32_t c = 1; c <= 40000; c += 3999)
    EXPECT_EQ(copies[static_cast<size_t>(c - 1)], (TOffset{(c + 1) / 2, 2 * (c / 2), 0})) << c;

  TStepCommandList overflow{Mark()};
  for (int k = 0; k < 5000; ++k) overflow.push_back(Step(1, 0));
  overflow.push_back(Step(2147483000, 0));
  overflow.push_back(Step(0, 0));
  int32_t position = 0;
  EXPECT_EQ(Expand(overflow, &ok, &position).size(), 5000u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(position, 5002);

  // 300 x 40 x 4 instances, each level's copies the sums of its steps.
  const int sizes[3] = {300, 40, 4};
  std::vector<TIntPoint> sums[3];
  TStepCommandList lists[3];
  for (int l = 0; l < 3; ++l) {
    lists[l].push_back(Mark());
    sums[l].push_back({0, 0});
    for (int k = 1; k < sizes[l]; ++k) {
      lists[l].push_back(Step(k * (l + 1), -k * 7 * l));
      sums[l].push_back({sums[l].back().X + k * (l + 1), sums[l].back().Y - k * 7 * l});
    }
    lists[l].push_back(Step(0, 0));
  }
  auto* outer = new TStepObject(lists[2]);
  auto* middle = new TStepObject(lists[1]);
  auto* inner = new TStepObject(lists[0]);
  middle->SetNested(outer);
  inner->SetNested(middle);
  inner->AddRef();
  ASSERT_EQ(inner->CopyCount(), 300u * 40u * 4u - 1u);
  const std::vector<TIntPoint> point = {{5, -9}};
  inner->BeginCopies(&point);
  TIntPoint q;
  for (size_t i3 = 0; i3 < 4; ++i3)
    for (size_t i2 = 0; i2 < 40; ++i2)
      for (size_t i1 = 0; i1 < 300; ++i1) {
        if (i1 == 0 && i2 == 0 && i3 == 0) continue;
        ASSERT_TRUE(inner->NextCopyPoint(q));
        ASSERT_EQ(q, (TIntPoint{5 + sums[0][i1].X + sums[1][i2].X + sums[2][i3].X,
                                -9 + sums[0][i1].Y + sums[1][i2].Y + sums[2][i3].Y}))
            << i1 << " " << i2 << " " << i3;
      }
  EXPECT_FALSE(inner->NextCopyPoint(q));
  ReleaseStepObject(inner);
}

TEST_F(StepRepeatTest, ExpansionErrorsAreShownWithTheirPosition) {
  auto* s = new TStepObject({Step(1, 1)});
  EXPECT_EQ(s->CopyCount(), 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "Step && Repeat Crash.  Error Line: 1");
  ReleaseStepObject(s);

  // A fourth level is found when the third is used up; the copies of the
  // three levels stay.
  auto* a = new TStepObject({Mark(), Step(10, 0), Step(0, 0)});
  auto* b = new TStepObject({Mark(), Step(0, 10), Step(0, 0)});
  auto* c = new TStepObject({Mark(), Step(0, 20), Step(0, 0)});
  auto* d = new TStepObject({Mark(), Step(0, 30), Step(0, 0)});
  a->AddRef();
  c->SetNested(d);
  b->SetNested(c);
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  a->SetNested(b);
  ASSERT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_EQ(ShownMessageBoxes()[1].Text, "Step && Repeat Crash.  Error Line: 10");
  EXPECT_EQ(a->CopyCount(), 7);
  ReleaseStepObject(a);
}

TEST_F(StepRepeatTest, ReferenceCounting) {
  auto* outer = new TStepObject({Mark(), Step(0, 100), Step(0, 0)});
  auto* s = new TStepObject({Mark(), Step(100, 0), Step(0, 0)});
  EXPECT_TRUE(s->IsUnused());
  s->AddRef();
  s->AddRef();
  s->SetNested(outer);
  EXPECT_EQ(outer->RefCount(), 1);
  EXPECT_FALSE(s->Release());
  EXPECT_FALSE(s->IsUnused());
  TStepObject* alias = s;
  ReleaseStepObject(alias);  // frees s and, with it, outer
  EXPECT_EQ(alias, nullptr);
  // A chain never contains itself.
  auto* x = new TStepObject({Mark(), Step(1, 0), Step(0, 0)});
  auto* y = new TStepObject({Mark(), Step(2, 0), Step(0, 0)});
  x->AddRef();
  x->SetNested(y);
  y->SetNested(x);
  EXPECT_EQ(y->Nested(), nullptr);
  EXPECT_EQ(y->AppendLevel(x), nullptr);
  ReleaseStepObject(x);
}

TEST_F(StepRepeatTest, TransformedIsCachedAndSurvivesItsUsers) {
  EXPECT_TRUE(SameMatrix(IdentityMatrix, [] {
    TMatrix3 m = IdentityMatrix;
    TranslateMatrix(m, 1.5, -1.5);
    return m;
  }()));
  TMatrix3 far = IdentityMatrix;
  TranslateMatrix(far, 2.0, 0.0);
  EXPECT_FALSE(SameMatrix(IdentityMatrix, far));

  auto* s = new TStepObject({Mark(), Step(100, 0), Step(0, 50, 0, 2), Step(7, 7)});
  s->AddRef();
  TStepObject* same = s->Transformed(IdentityMatrix);
  EXPECT_EQ(same->Commands(), s->Commands());
  EXPECT_EQ(same->Offsets(), s->Offsets());

  TMatrix3 m = IdentityMatrix;
  TranslateMatrix(m, 1000.0, 2000.0);
  TStepObject* moved = s->Transformed(m);
  TMatrix3 near = m;
  near(3, 1) += 1.0;
  EXPECT_EQ(s->Transformed(near), moved);
  // An entity takes the result and lets it go again: the cache still holds it.
  moved->AddRef();
  TStepObject* user = moved;
  ReleaseStepObject(user);
  EXPECT_EQ(s->Transformed(m), moved);
  EXPECT_EQ(moved->CopyCount(), s->CopyCount());
  ReleaseStepObject(s);
}

TEST_F(StepRepeatTest, ReplaceAndAppendLevels) {
  auto* outer = new TStepObject({Mark(), Step(0, 1000), Step(0, 0)});
  auto* s = new TStepObject({Mark(), Step(10, 0), Step(0, 0)});
  s->AddRef();
  s->SetNested(outer);
  ASSERT_EQ(s->CopyCount(), 3);

  const TStepCommandList newOuter = {Mark(), Step(0, 500), Step(0, 500), Step(0, 0)};
  bool emptied = true;
  TStepObject* r = s->ReplaceLevel(outer, &newOuter, emptied);
  ASSERT_NE(r, nullptr);
  EXPECT_FALSE(emptied);
  EXPECT_EQ(r->LevelCount(), 2);
  EXPECT_EQ(r->GetLevel(2)->Commands(), newOuter);
  EXPECT_EQ(r->CopyCount(), 5);
  EXPECT_EQ(s->ReplaceLevel(outer, &newOuter, emptied), r);

  // The same commands for another level give another chain.
  TStepObject* r1 = s->ReplaceLevel(s, &newOuter, emptied);
  ASSERT_NE(r1, r);
  EXPECT_EQ(r1->Commands(), newOuter);
  EXPECT_EQ(r1->Nested(), outer);

  // Removing levels.
  TStepObject* inner = s->ReplaceLevel(outer, nullptr, emptied);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->LevelCount(), 1);
  EXPECT_EQ(inner->Commands(), s->Commands());
  EXPECT_EQ(s->ReplaceLevel(s, nullptr, emptied), outer);
  EXPECT_FALSE(emptied);
  TStepObject* lone = inner;
  EXPECT_EQ(lone->ReplaceLevel(lone, nullptr, emptied), nullptr);
  EXPECT_TRUE(emptied);
  // A level that is not in the chain.
  auto* stranger = new TStepObject({Mark()});
  EXPECT_EQ(s->ReplaceLevel(stranger, &newOuter, emptied), nullptr);
  EXPECT_FALSE(emptied);
  ReleaseStepObject(stranger);

  // Appending an outermost level.
  auto* third = new TStepObject({Mark(), Step(5000, 5000), Step(0, 0)});
  third->AddRef();
  TStepObject* a = s->AppendLevel(third);
  EXPECT_EQ(a->LevelCount(), 3);
  EXPECT_EQ(a->GetLevel(3), third);
  EXPECT_EQ(a->CopyCount(), 7);
  EXPECT_EQ(s->AppendLevel(third), a);
  EXPECT_EQ(a->FlattenCommands().size(), 9u);
  ReleaseStepObject(s);
  EXPECT_EQ(third->RefCount(), 1);
  ReleaseStepObject(third);
}

TEST_F(StepRepeatTest, AnAppendedChainIsExpandedOnceAsAWhole) {
  // The same offsets as the chain built level by level.
  auto* outer = new TStepObject({Mark(), Step(0, 700, 2), Step(0, 0)});
  auto* s = new TStepObject({Mark(), Step(10, 0, 0, 3), Step(0, 0)});
  outer->AddRef();
  s->AddRef();
  TStepObject* appended = s->AppendLevel(outer);
  ASSERT_NE(appended, nullptr);
  auto* built = new TStepObject(s->Commands());
  built->AddRef();
  built->SetNested(outer);
  EXPECT_EQ(appended->Offsets(), built->Offsets());
  EXPECT_GT(appended->CopyCount(), 1);
  ReleaseStepObject(built);
  ReleaseStepObject(s);
  EXPECT_EQ(outer->RefCount(), 1);
  EXPECT_TRUE(ShownMessageBoxes().empty());

  // A level that fails on its own is reported once for the chain, not once
  // for the level and again for the chain.
  auto* bad = new TStepObject({Step(1, 1)});
  bad->AddRef();
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  ASSERT_NE(bad->AppendLevel(outer), nullptr);
  ASSERT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_EQ(ShownMessageBoxes()[1].Text, "Step && Repeat Crash.  Error Line: 1");
  ReleaseStepObject(bad);
  ReleaseStepObject(outer);
}

TEST_F(StepRepeatTest, ChainsGiveTheOffsetsOfTheirWholeList) {
  // Chains of two and three levels, of pattern-shaped levels (a mark and
  // its steps) and of other shapes, with orientations, counts, offsets near
  // the edge of the range and copy counts past the limit: the same offsets
  // and the same crash boxes as the expansion of the whole list.
  std::mt19937 random(4711);
  const auto pick = [&](int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(random);
  };
  const auto level = [&]() {
    TStepCommandList list;
    const int shape = pick(0, 9);
    if (shape != 0) list.push_back(TStepCommand{1, shape == 1 ? 2 : 1, 0, 0, 0});
    const int steps = pick(0, 4);
    for (int k = 0; k < steps; ++k) {
      const bool far = pick(0, 15) == 0;
      const int32_t d = far ? 1500000000 : 1000;
      list.push_back(Step(pick(-d, d), pick(-d, d), uint8_t(pick(0, 9)), pick(-1, shape == 2 ? 300 : 5)));
      if (shape == 3 && k == 0) list.push_back(Mark());
    }
    if (pick(0, 1) == 0) list.push_back(Step(0, 0));
    return list;
  };
  for (int round = 0; round < 400; ++round) {
    ResetHeadlessDialogs();
    const int levels = pick(2, 3);
    std::vector<TStepCommandList> lists;
    for (int k = 0; k < levels; ++k) lists.push_back(level());
    // The outermost level first, each next one wrapping the chain so far.
    TStepObject* chain = new TStepObject(lists.back());
    chain->AddRef();
    for (int k = levels - 2; k >= 0; --k) {
      TStepObject* inner = new TStepObject(lists[size_t(k)]);
      inner->AddRef();
      inner->SetNested(chain);
      ReleaseStepObject(chain);
      chain = inner;
    }
    TStepCommandList all, offsets;
    for (const TStepCommandList& l : lists) all.insert(all.end(), l.begin(), l.end());
    int32_t position = 0;
    const bool whole = ExpandStepList(false, all, offsets, position);
    ASSERT_EQ(chain->Offsets(), offsets) << "round " << round;
    ResetHeadlessDialogs();
    chain->Reexpand();
    ASSERT_EQ(chain->Offsets(), offsets) << "round " << round;
    if (whole) {
      EXPECT_TRUE(ShownMessageBoxes().empty()) << "round " << round;
    } else {
      ASSERT_EQ(ShownMessageBoxes().size(), 1u) << "round " << round;
      EXPECT_EQ(ShownMessageBoxes()[0].Text, "Step && Repeat Crash.  Error Line: " + std::to_string(position));
    }
    ReleaseStepObject(chain);
  }

  // A chain whose offsets were expanded before a level below it was taken
  // out: a level wrapped around it later takes the chain as it is now.
  auto* z = new TStepObject({Mark(), Step(0, 5000, 0, 2), Step(0, 0)});
  auto* y = new TStepObject({Mark(), Step(300, 0, 2, 2), Step(0, 0)});
  auto* x = new TStepObject({Mark(), Step(0, 20, 1, 3), Step(0, 0)});
  auto* w = new TStepObject({Mark(), Step(1, 1, 0, 2), Step(0, 0)});
  for (TStepObject* s : {z, y, x, w}) s->AddRef();
  y->SetNested(z);
  x->SetNested(y);
  y->SetNested(nullptr);
  w->SetNested(x);
  TStepCommandList all = w->Commands(), offsets;
  for (const TStepObject* s : {x, y}) all.insert(all.end(), s->Commands().begin(), s->Commands().end());
  int32_t position = 0;
  ASSERT_TRUE(ExpandStepList(false, all, offsets, position));
  EXPECT_EQ(w->Offsets(), offsets);
  for (TStepObject* s : {w, x, y, z}) ReleaseStepObject(s);
}

TEST_F(StepRepeatTest, OrientOffsetCases) {
  int32_t x, y;
  const int32_t expected[8][2] = {{10, 20},  {10 - 3 + 4, 20 - 4 + 3}, {10 - 6, 20},
                                  {11, 13},  {10, 20 - 8},             {10 - 3 - 4, 20 + 3 - 4},
                                  {4, 12},   {3, 13}};
  for (uint8_t code = 0; code < 8; ++code) {
    OrientOffset(10, 20, 3, 4, code, x, y);
    EXPECT_EQ(x, expected[code][0]) << int(code);
    EXPECT_EQ(y, expected[code][1]) << int(code);
  }
  OrientOffset(2147483647, 0, -2147483647, 0, 2, x, y);
  EXPECT_EQ(x, 2147483647);
}

}  // namespace

namespace {

// The extents of a point's copies as the copy walk makes them.
void WalkedExtents(TStepObject& step, const TIntPoint& p, TIntPoint& mn, TIntPoint& mx) {
  const std::vector<TIntPoint> points{p};
  std::vector<TIntPoint> copy;
  bool mirrored = false;
  step.BeginCopies(&points);
  while (step.NextCopy(copy, mirrored)) ExtendExtents(mn, mx, copy[0]);
  step.BeginCopies(nullptr);
}

}  // namespace

// The extents of the copies are worked out per orientation, not per copy:
// they must be the copies' own, for every orientation, for offsets that run
// into the limits of the plane, for chained levels and for a list without
// copies.
TEST_F(StepRepeatTest, CopyExtentsAreThoseOfTheCopies) {
  std::mt19937 rng(811);
  std::uniform_int_distribution<int32_t> offset(-5000000, 5000000);
  std::uniform_int_distribution<int32_t> code(0, 7), count(1, 4), steps(0, 5);
  std::uniform_int_distribution<int32_t> far(-2147483647, 2147483647);
  auto check = [](TStepObject& step, const TIntPoint& p) {
    TIntPoint walkedMin{p.X, p.Y}, walkedMax{p.X, p.Y}, min{p.X, p.Y}, max{p.X, p.Y};
    WalkedExtents(step, p, walkedMin, walkedMax);
    step.ExtendByCopies(p, min, max);
    EXPECT_EQ(min, walkedMin) << p.X << "," << p.Y;
    EXPECT_EQ(max, walkedMax) << p.X << "," << p.Y;
  };
  for (int i = 0; i < 60; ++i) {
    TStepCommandList list{Mark()};
    const int n = steps(rng);
    for (int k = 0; k < n; ++k)
      list.push_back(Step(offset(rng) * (k % 3 == 2 ? 400 : 1), offset(rng), uint8_t(code(rng)), count(rng)));
    list.push_back(Step(0, 0));
    auto* step = new TStepObject(list);
    step->AddRef();
    if (i % 3 == 0) {
      auto* outer = new TStepObject({Mark(), Step(offset(rng), offset(rng), uint8_t(code(rng)), 2), Step(0, 0)});
      step->SetNested(outer);
    }
    EXPECT_EQ(step->CopyCount(), [&] {
      int copies = 0;
      for (const TStepCommand& r : step->Offsets()) copies += r.Command == 0 ? 1 : 0;
      return copies;
    }());
    for (const TIntPoint& p : {TIntPoint{0, 0}, TIntPoint{offset(rng), offset(rng)}, TIntPoint{far(rng), far(rng)},
                               TIntPoint{2147483647, -2147483647}})
      check(*step, p);
    ReleaseStepObject(step);
  }
  auto* none = new TStepObject({Mark()});
  none->AddRef();
  check(*none, {5, -5});
  ReleaseStepObject(none);
}
