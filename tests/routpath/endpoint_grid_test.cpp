// The endpoint grid on hand-placed entities: cells, entering, the search
// for continuations with its nearest-candidate rule, and following chains.
#include "routpath/endpoint_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "foundation/utilities.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"

namespace {

// CAD lines and arcs that note the colours they are drawn in instead of
// painting.
struct TTrace {
  virtual ~TTrace() = default;
  std::vector<TColor> Colours;
  int Draws = 0;
};
template <class TBase>
class TTraced : public TBase, public TTrace {
 public:
  using TBase::TBase;
  void DrawColour(TColor colour) override { Colours.push_back(colour); }
  void Draw(uint8_t layer) override { ++Draws; }
};

constexpr int32_t Mil = 25400;  // 0.001 in

class EndpointGridTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetLayerMasks();
    ResetHeadlessViewServices();
    InitFollowBranchUnit();
    ShowBranchAlert = true;
    ResetModalScripts();
    CadUndo = new TCadUndo();
    ActiveUndo = CadUndo;
    DB = new TCadDatabase();
  }
  void TearDown() override {
    EndpointGrid.Clear();
    InitFollowBranchUnit();
    SetFollowBranchHost(nullptr);
    HeadlessSetProcessMessagesHook({});
    ResetModalScripts();
    FreeObjectList<TRootEntityHandle>(Path);
    delete DB;
    DB = nullptr;
    ActiveUndo = nullptr;
    delete CadUndo;
    CadUndo = nullptr;
    TKorvexTest::TearDown();
  }

  // Appends a line or arc (a half circle over the two ends) on the layer;
  // returns its index.
  int32_t Add(uint8_t type, TIntPoint s, TIntPoint e, uint8_t layer = 0) {
    TCadEntity* entity;
    if (type == etCadArc) {
      const int32_t cx = static_cast<int32_t>((int64_t{s.X} + e.X) / 2);
      const int32_t cy = static_cast<int32_t>((int64_t{s.Y} + e.Y) / 2);
      entity = new TTraced<TCadArc>(s.X, s.Y, e.X, e.Y, cx, cy);
    } else {
      entity = new TTraced<TCadLine>(s.X, s.Y, e.X, e.Y);
    }
    TEntitySlot* slot = EntityArray->AddSlot(CadEntityCount);
    slot->Flags = CadLayerBit(layer);
    slot->Entity = entity;
    return CadEntityCount;
  }
  int32_t Line(TIntPoint s, TIntPoint e, uint8_t layer = 0) { return Add(etCadLine, s, e, layer); }
  TRootDBObject* Object(int32_t index) { return EntityArray->GetSlot(index)->Entity; }
  TTrace& Trace(int32_t index) { return *dynamic_cast<TTrace*>(Object(index)); }
  void SetStart(int32_t index, TIntPoint p) { Object(index)->SetPoint(p); }
  void SetEnd(int32_t index, TIntPoint p) { Object(index)->SetSecondPoint(p); }

  void BuildGrid(uint8_t layer = 0, bool interactive = false) {
    EndpointGrid.Init(layer, LinkTolerance, interactive);
    EndpointGrid.Build();
  }
  // Follows from the entity; Path holds the result.
  uint8_t Follow(int32_t first, bool reversed = false) {
    FreeObjectList<TRootEntityHandle>(Path);
    Path = new TCadHandle(first);
    return EndpointGrid.FollowPath(Path, reversed);
  }
  std::vector<int32_t> PathIndices() const {
    std::vector<int32_t> out;
    for (TRootEntityHandle* h = Path; h != nullptr; h = h->Next) out.push_back(h->GetIndex());
    return out;
  }
  static std::vector<int32_t> Indices(TRootEntityHandle* list) {
    std::vector<int32_t> out;
    for (TRootEntityHandle* h = list; h != nullptr; h = h->Next) out.push_back(h->GetIndex());
    return out;
  }

  TRootEntityHandle* Path = nullptr;
};

TEST(EndpointCells, CoarsePlanAndToleranceCells) {
  EXPECT_EQ(EndpointCell(-1, CoarseCellShift), 63u);
  EXPECT_EQ(EndpointCell(0, CoarseCellShift), 64u);
  EXPECT_EQ(EndpointCell(-(1 << 30), CoarseCellShift), 32u);
  EXPECT_EQ(EndpointCell((1 << 30) - 1, CoarseCellShift), 95u);
  EXPECT_EQ(EndpointCell(INT32_MIN, CoarseCellShift), 0u);
  EXPECT_EQ(EndpointCell(INT32_MAX, CoarseCellShift), 127u);
  // 2^17 = 131,072 is the first power of two not below 76,200.
  EXPECT_EQ(CellShiftForTolerance(LinkTolerance), 17);
  EXPECT_EQ(CellShiftForTolerance(131072), 17);
  EXPECT_EQ(CellShiftForTolerance(131073), 18);
  EXPECT_EQ(CellShiftForTolerance(1), 0);
}

TEST(IntPointDistanceTest, RoundsAndNeverOverflows) {
  EXPECT_EQ(IntPointDistance({0, 0}, {3, 4}), 5);
  EXPECT_EQ(IntPointDistance({10, 10}, {10, 10}), 0);
  EXPECT_EQ(IntPointDistance({0, 0}, {1, 1}), 1);  // 1.414
  EXPECT_EQ(IntPointDistance({0, 0}, {1, 2}), 2);  // 2.236
  // The differences of opposite extreme coordinates do not fit 32 bits.
  EXPECT_EQ(IntPointDistance({INT32_MIN, 0}, {INT32_MAX, 0}), 2147483647);
  EXPECT_EQ(IntPointDistance({-(1 << 30) + 1, 0}, {(1 << 30) - 1, 0}), 2147483646);
}

TEST_F(EndpointGridTest, BuildEntersLiveLinesAndArcsOfTheMaskOnly) {
  Line({0, 0}, {1000, 0});                          // one cell: one node
  Line({-10, 0}, {10, 0});                          // crosses a border: two nodes
  Add(etCadArc, {5000, 0}, {5000, 2000000});        // two cells
  DB->AddPointOnLayer(0, 0, 0);                      // never entered
  DB->AddCircleOnLayer(0, 0, 500, 0);                // never entered
  Line({0, 0}, {1000, 0}, 3);                       // other layer
  const int32_t gone = Line({0, 0}, {1000, 0});
  DB->MarkDeleted(gone);
  BuildGrid(0);
  EXPECT_EQ(EndpointGrid.NodeCount(), 5);

  // All active layers take layer 3 too; an inactive layer drops out.
  EndpointGrid.Init(AllActiveCadLayers, LinkTolerance, false);
  EndpointGrid.Build();
  EXPECT_EQ(EndpointGrid.NodeCount(), 6);
  ActiveLayerMask &= ~CadLayerBit(3);
  EndpointGrid.Init(AllActiveCadLayers, LinkTolerance, false);
  EndpointGrid.Build();
  EXPECT_EQ(EndpointGrid.NodeCount(), 5);

  EndpointGrid.Clear();
  EXPECT_EQ(EndpointGrid.NodeCount(), 0);
  EndpointGrid.Clear();  // a second clear is harmless
}

TEST_F(EndpointGridTest, EntityWithTwoNodesIsOfferedOnce) {
  // The second line's ends lie in different cells and both ends touch the
  // free end's neighbourhood; it is still one candidate.
  const int32_t a = Line({-200000, 0}, {-1, 0});
  const int32_t b = Line({0, 0}, {100000, 0});
  BuildGrid();
  int32_t index = a;
  bool reversed = false;
  EXPECT_EQ(EndpointGrid.NextSegment(Object(a), Object(a), index, reversed), fpContinue);
  EXPECT_EQ(index, b);
  EXPECT_FALSE(reversed);
  EXPECT_EQ(BranchCandidates, nullptr);
}

TEST_F(EndpointGridTest, ClearlyNearestCandidateIsTakenAlone) {
  const int32_t a = Line({-1000000, 0}, {0, 0});
  const int32_t near = Line({10, 0}, {0, 900000});      // 10 away
  const int32_t far = Line({1000000, 0}, {50, 0});      // 50 away, by its end
  BuildGrid();
  int32_t index = 0;
  bool reversed = false;
  EXPECT_EQ(EndpointGrid.NextSegment(Object(a), Object(a), index, reversed), fpContinue);
  EXPECT_EQ(index, near);
  EXPECT_FALSE(reversed);
  EXPECT_EQ(BranchCandidates, nullptr);

  // 10 against 40 is exactly a quarter: a junction, candidates pending with
  // the one found last first.
  SetEnd(far, {40, 0});
  BuildGrid();
  reversed = false;
  EXPECT_EQ(EndpointGrid.NextSegment(Object(a), Object(a), index, reversed), fpJunction);
  ASSERT_NE(BranchCandidates, nullptr);
  EXPECT_EQ(Indices(BranchCandidates).size(), 2u);
  DrawBranchCandidates();
  EXPECT_EQ(Trace(near).Colours, std::vector<TColor>{PickColor});
  EXPECT_EQ(Trace(far).Colours, std::vector<TColor>{PickColor});

  // Both exactly on the free end: no ratio to speak of, a junction.
  SetStart(near, {0, 0});
  SetEnd(far, {0, 0});
  BuildGrid();
  reversed = false;
  EXPECT_EQ(EndpointGrid.NextSegment(Object(a), Object(a), index, reversed), fpJunction);
}

TEST_F(EndpointGridTest, ToleranceIsStrict) {
  const int32_t a = Line({-1000000, 0}, {0, 0});
  const int32_t b = Line({LinkTolerance - 1, 0}, {1000000, 0});
  BuildGrid();
  EXPECT_EQ(Follow(a), fpOpen);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a, b}));

  SetStart(b, {LinkTolerance, 0});
  BuildGrid();
  EXPECT_EQ(Follow(a), fpOpen);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a}));

  // Diagonal: 53,881^2 * 2 rounds to 76,199.
  SetStart(b, {53881, 53881});
  BuildGrid();
  EXPECT_EQ(Follow(a), fpOpen);
  EXPECT_EQ(PathIndices().size(), 2u);
}

TEST_F(EndpointGridTest, ClosedLoopWithReversedEntitiesAndArcs) {
  const int32_t m = 1000 * Mil;
  const int32_t a = Line({0, 0}, {m, 0});
  const int32_t b = Add(etCadArc, {m, m}, {m, 0});  // stored against the walk
  const int32_t c = Line({m, m}, {0, m});
  const int32_t d = Line({0, 0}, {0, m});           // reversed too
  BuildGrid(0, true);
  EXPECT_EQ(Follow(a), fpClosed);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a, b, c, d}));
  // Each followed entity was painted white once; the start was not.
  EXPECT_TRUE(Trace(a).Colours.empty());
  EXPECT_EQ(Trace(d).Colours, std::vector<TColor>{0xFFFFFF});
  EXPECT_EQ(FollowPickState, fpsIdle);

  // The other way round from the start's first point.
  EXPECT_EQ(Follow(a, true), fpClosed);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a, d, c, b}));
  // Started in the middle.
  EXPECT_EQ(Follow(c), fpClosed);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{c, d, a, b}));
}

TEST_F(EndpointGridTest, JunctionEndsTheFollowWhenNotInteractive) {
  const int32_t m = 1000 * Mil;
  const int32_t a = Line({0, 0}, {m, 0});
  const int32_t b = Line({m, 0}, {2 * m, 0});
  const int32_t c = Line({m, 0}, {m, m});
  BuildGrid();
  EXPECT_EQ(Follow(a), fpJunction);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a}));
  std::vector<int32_t> pending = Indices(BranchCandidates);
  std::sort(pending.begin(), pending.end());
  EXPECT_EQ(pending, (std::vector<int32_t>{b, c}));
  // Reaching the junction from the far side of a branch.
  EXPECT_EQ(Follow(b, true), fpJunction);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{b}));
  // Leaving the junction away from it: open.
  EXPECT_EQ(Follow(c), fpOpen);
}

TEST_F(EndpointGridTest, ChainThatRunsIntoItselfStops) {
  // A tail into a loop whose entry vertex joins three entities; a user pick
  // at the junction takes the loop, and coming round the follow meets the
  // loop's first entity again.
  const int32_t m = 1000 * Mil;
  const int32_t t = Line({-m, 0}, {0, 0});
  const int32_t l1 = Line({0, 0}, {m, 0});
  const int32_t l2 = Line({m, 0}, {m, m});
  const int32_t l3 = Line({m, m}, {0, 0});

  struct THost : TFollowBranchHost {
    void PressBranchCommand() override { ++Presses; }
    void BackUpOneStep() override {}
    bool AppClosing() override { return false; }
    int Presses = 0;
  } host;
  SetFollowBranchHost(&host);
  ShowBranchAlert = false;
  // The user always picks the first loop line.
  HeadlessSetProcessMessagesHook([&] {
    if (FollowPickState != fpsWaitingForPick) return;
    FollowPickEntity = Object(l1);
    FollowPickIndex = l1;
    FollowPickState = fpsPicked;
  });
  BuildGrid(0, true);
  EXPECT_EQ(Follow(t), fpJunction);
  HeadlessSetProcessMessagesHook({});
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{t, l1, l2, l3}));
  EXPECT_EQ(host.Presses, 2);
  EXPECT_EQ(BranchCandidates, nullptr);
  EXPECT_EQ(FollowPickState, fpsIdle);
}

TEST_F(EndpointGridTest, ShortLastEntityDoesNotFoldBackIntoAClosedPath) {
  // An open chain ending in a stub shorter than the tolerance: from the
  // stub's free end the only entity in reach is the one before it.
  const int32_t m = 1000 * Mil;
  const int32_t a = Line({0, 0}, {m, 0});
  const int32_t b = Line({m, 0}, {m, m});
  const int32_t stub = Line({m, m}, {m + 30000, m});
  BuildGrid();
  EXPECT_EQ(Follow(a), fpOpen);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a, b, stub}));
  // Two entities only: the stub must not take the start for a closure.
  const int32_t c = Line({5 * m, 0}, {6 * m, 0});
  const int32_t stub2 = Line({6 * m, 0}, {6 * m + 30000, 0});
  BuildGrid();
  EXPECT_EQ(Follow(c), fpOpen);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{c, stub2}));
  // Two arcs making a circle do close.
  const int32_t u = Add(etCadArc, {9 * m, 0}, {11 * m, 0});
  const int32_t v = Add(etCadArc, {11 * m, 0}, {9 * m, 0});
  BuildGrid();
  EXPECT_EQ(Follow(u), fpClosed);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{u, v}));
}

TEST_F(EndpointGridTest, NonPathEntitiesAreNotFollowed) {
  const int32_t p = DB->AddPointOnLayer(0, 0, 0);
  Line({0, 0}, {1000000, 0});
  BuildGrid();
  EXPECT_EQ(Follow(p), fpOpen);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{p}));
  TRootEntityHandle* none = nullptr;
  EXPECT_EQ(EndpointGrid.FollowPath(none, false), fpOpen);
}

class TScriptHost : public TFollowBranchHost {
 public:
  void PressBranchCommand() override { ++Presses; }
  void BackUpOneStep() override { ++BackUps; }
  bool AppClosing() override { return Closing; }
  int Presses = 0, BackUps = 0;
  bool Closing = false;
};

TEST_F(EndpointGridTest, InteractivePickAtAJunction) {
  const int32_t m = 1000 * Mil;
  const int32_t a = Line({0, 0}, {m, 0});
  const int32_t b = Line({2 * m, 0}, {m, 0});  // reversed
  const int32_t c = Line({m, 0}, {m, m});
  TScriptHost host;
  SetFollowBranchHost(&host);

  // OK on the alert, untick "show next time"; then the user picks b.
  QueueModalScript("TFollowBranchDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Follow Branch");
    EXPECT_TRUE(f.Get<TCheckBox>("ShowAlertCheckBox").Checked());
    f.Get<TCheckBox>("ShowAlertCheckBox").SetChecked(false);
    f.Click("OKButton");
  });
  bool candidatesShown = false;
  HeadlessSetProcessMessagesHook([&] {
    if (FollowPickState != fpsWaitingForPick) return;
    candidatesShown = Trace(b).Colours == std::vector<TColor>{PickColor} &&
                      FollowPickedPath == BranchCandidates && FollowPickedPath != nullptr;
    FollowPickEntity = Object(b);
    FollowPickIndex = b;
    FollowPickState = fpsPicked;
  });
  BuildGrid(0, true);
  EXPECT_EQ(Follow(a), fpOpen);
  EXPECT_TRUE(candidatesShown);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a, b}));
  EXPECT_EQ(host.Presses, 1);
  EXPECT_FALSE(ShowBranchAlert);
  EXPECT_EQ(Trace(c).Draws, 1);  // back to its layer colour
  EXPECT_EQ(BranchCandidates, nullptr);
  EXPECT_EQ(FollowPickedPath, nullptr);

  // "Stop Here" ends the follow at the junction.
  ShowBranchAlert = true;
  HeadlessSetProcessMessagesHook({});
  QueueModalScript("TFollowBranchDialog", [](TForm& f) { f.Click("StopHereButton"); });
  EXPECT_EQ(Follow(a), fpJunction);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a}));
  EXPECT_EQ(host.BackUps, 1);
  EXPECT_TRUE(ShowBranchAlert);

  // A pick of an entity that does not touch the junction stops it too.
  const int32_t far = Line({5 * m, 5 * m}, {6 * m, 5 * m});
  BuildGrid(0, true);
  ShowBranchAlert = false;
  HeadlessSetProcessMessagesHook([&] {
    if (FollowPickState != fpsWaitingForPick) return;
    FollowPickEntity = Object(far);
    FollowPickIndex = far;
    FollowPickState = fpsPicked;
  });
  EXPECT_EQ(Follow(a), fpJunction);
  EXPECT_EQ(PathIndices(), (std::vector<int32_t>{a}));

  // The application closing ends the wait.
  host.Closing = true;
  HeadlessSetProcessMessagesHook({});
  EXPECT_EQ(Follow(a), fpJunction);
}

TEST_F(EndpointGridTest, WithoutAHostAnInteractiveJunctionEndsTheFollow) {
  const int32_t m = 1000 * Mil;
  const int32_t a = Line({0, 0}, {m, 0});
  Line({m, 0}, {2 * m, 0});
  Line({m, 0}, {m, m});
  BuildGrid(0, true);
  EXPECT_EQ(Follow(a), fpJunction);
  EXPECT_TRUE(ModalFormsShown().empty());
  EXPECT_NE(BranchCandidates, nullptr);
}

TEST_F(EndpointGridTest, LargeOutlineLinksClosed) {
  // 10,000 sides of a polygon of radius 10 in, every third one stored
  // against the walk and every fifth an arc.
  constexpr int32_t n = 10000;
  const double r = 254000000.0;
  std::vector<TIntPoint> v(n);
  for (int32_t i = 0; i < n; ++i) {
    const double a = 2.0 * 3.14159265358979323846 * i / n;
    v[i] = {static_cast<int32_t>(std::lround(r * std::cos(a))),
            static_cast<int32_t>(std::lround(r * std::sin(a)))};
  }
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < n; ++i) {
    const TIntPoint s = v[i], e = v[(i + 1) % n];
    const uint8_t type = i % 5 == 0 ? etCadArc : etCadLine;
    ids.push_back(i % 3 == 0 ? Add(type, e, s) : Add(type, s, e));
  }
  BuildGrid();
  // The first side is stored reversed: follow it from its first point.
  EXPECT_EQ(Follow(ids.front(), true), fpClosed);
  EXPECT_EQ(PathIndices(), ids);
}

}  // namespace
