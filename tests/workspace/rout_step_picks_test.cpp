// The rout step commands on what a pick stands for: every piece and
// break-off hole of a cut that tabs split; a typed list that makes no copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "command/button_manager.h"
#include "model/cad_database.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/undo_journal.h"
#include "routpath/auto_rout.h"
#include "routpath/rout_tabs.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class TRoutStepPicksTest : public TWorkspaceDialogsTest {
 protected:
  // The line or hole button or a rout menu item, then clicks at points in tenths of an inch.
  static void Do(TWorkspace& form, const std::string& item, std::vector<TIntPoint> tenths) {
    if (item == "Line" || item == "Hole") ButtonManager().Press(item == "Line" ? 59 : 26);
    else Run(form, emRout, item);
    for (const TIntPoint& p : tenths) Click(p.X * (In / 10), p.Y * (In / 10));
    ECO->CancelCommand();
  }
  // The layer in cut order, in tenths: "J x,y", "L x,y", "H x,y", a start's copies "+dx,dy".
  static std::vector<std::string> Layer(uint8_t layer, int shift = 0) {
    auto at = [](int32_t x, int32_t y) { return std::to_string(x / (In / 10)) + "," + std::to_string(y / (In / 10)); };
    std::vector<std::string> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      if (SlotDeleted(RTDB->SlotAt(h)->Flags)) continue;
      std::string s = std::string(1, "JLLLLH"[e->GetType() - etRoutJog]) + " " + at(e->X - shift * In / 10, e->Y);
      if (TStepObject* steps = e->GetType() != etRoutLine && !IsArcType(e->GetType()) ? e->GetStepObj() : nullptr)
        for (const TStepCommand& c : steps->Offsets()) s += " +" + at(c.DX, c.DY);
      out.push_back(s);
    }
    return out;
  }
  // The entities with the copies text added to each start.
  static std::vector<std::string> Stepped(std::vector<std::string> layer, const std::string& copies) {
    for (std::string& s : layer) s += s[0] == 'L' ? "" : copies;
    return layer;
  }
};

// A square cut with two tabs of three holes is three paths with the holes
// between: a step command picked on any piece or hole takes them all.
TEST_F(TRoutStepPicksTest, StepCommandsTakeEveryPieceAndHoleOfATabbedProfile) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AutoTab = TAutoTabSettings{In / 5, 0, 0, In / 10, true, true, 3, false, 7, In / 10};
  RTDB->AutoStepRepeat = {2, 3 * In, 1, In, false, true, false};
  Do(form, "Line", {{0, 0}, {20, 0}});
  for (const TIntPoint p : {TIntPoint{2 * In, 2 * In}, TIntPoint{0, 2 * In}, TIntPoint{0, 0}})
    RTDB->AppendLine(p, 0, NoZOffset);
  RoutUndo->BeginOperation("Line");
  Do(form, "Tab1", {{10, 0}, {10, 0}});
  Do(form, "Tab1", {{10, 20}, {10, 20}});
  const std::vector<std::string> tabbed{"J 0,0",   "L 9,0",   "H 9,1",   "H 10,1",  "H 11,1",
                                        "J 11,0",  "L 20,0",  "L 20,20", "L 11,20", "H 11,19",
                                        "H 10,19", "H 9,19",  "J 9,20",  "L 0,20",  "L 0,0"};
  ASSERT_EQ(Layer(40), tabbed);
  QueueModalScript("TStepRepeatDialog", [](TForm& f) { f.Click("OKButton"); });
  Do(form, "AutoStepRepeat1", {{20, 10}});
  EXPECT_EQ(Layer(40), Stepped(tabbed, " +30,0"));
  Do(form, "ExpandSteps1", {{0, 10}});
  const std::vector<std::string> copies = Layer(40, 30);  // every entity again, 3 in to the right
  ASSERT_EQ(copies.size(), 30u);
  EXPECT_EQ(std::vector<std::string>(copies.begin() + 15, copies.end()), tabbed);
  ButtonManager().Press(UndoCommand);
  ButtonManager().Press(UndoCommand);
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "M02X0Y03", "M02", "M08"});
    f.Click("OKButton");
  });
  Do(form, "CreateStepRepeat1", {{10, 1}});  // on a hole
  EXPECT_EQ(Layer(40), Stepped(tabbed, " +0,30"));

  EXPECT_EQ(ApplicationHint(), "Create Step & Repeat took 3 paths and 6 holes: every piece and break-off hole of "
                               "the tabbed cut picked.");

  // An open cut: the tab's holes join its pieces; the path after them,
  // begun within a tab's gap of their end, is named.
  SelectLayer(41);
  Do(form, "Line", {{0, 50}, {20, 50}});
  Do(form, "Line", {{21, 50}, {40, 50}});
  Do(form, "Tab1", {{10, 50}, {10, 50}});
  QueueModalScript("TStepRepeatDialog", [](TForm& f) { f.Click("OKButton"); });
  Do(form, "AutoStepRepeat1", {{5, 50}});
  EXPECT_EQ(Layer(41), (std::vector<std::string>{"J 0,50 +30,0", "L 9,50", "H 9,51 +30,0", "H 10,51 +30,0",
                                                 "H 11,51 +30,0", "J 11,50 +30,0", "L 20,50", "J 21,50",
                                                 "L 40,50"}));
  EXPECT_EQ(LastBox(), "Step && Repeat took only the pieces of the cut picked that break-off holes join: they close "
                       "no profile, and the paths cut next to them may be pieces of it too.\r\nNot taken: the path "
                       "starting at (2.1, 5.0).");
  EXPECT_EQ(ApplicationHint(),
            "Step & Repeat took 2 paths and 3 holes: only the pieces of the cut picked that break-off holes join.");
  // Create Step & Repeat on the same pick: the hint strip and the box name
  // the command alike and give one account of what it took.
  ButtonManager().Press(UndoCommand);
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "M02X0Y03", "M02", "M08"});
    f.Click("OKButton");
  });
  Do(form, "CreateStepRepeat1", {{5, 50}});
  const std::string strip = MessageDisplayText(form.HintPanel.Caption());
  EXPECT_TRUE(strip.starts_with("Create Step & Repeat took 2 paths and 3 holes: only the pieces")) << strip;
  EXPECT_TRUE(LastBox().starts_with("Create Step && Repeat took only the pieces")) << LastBox();

  // Boards routed outside and tabbed twice: one from its corner without
  // break-off holes (its last piece comes back over its first move), a
  // circle led in and out (its last piece passes its entry on an arc).
  const std::size_t boxes = ShownMessageBoxes().size();
  const int32_t d = int32_t(In / 2 * std::sqrt(0.5));
  for (const bool corner : {true, false}) {
    SelectLayer(corner ? 42 : 43);
    RTDB->AutoRout.AutoRoutStyle = corner ? 0 : 2;
    RTDB->AutoTab.DrilledHolesEnabled = !corner;
    if (corner)
      for (int k = 0; k < 4; ++k)
        DB->AddLineOnLayer(k % 3 ? 2 * In : 0, (k / 2 + 7) * In, k < 2 ? 2 * In : 0, ((k + 1) % 4 / 2 + 7) * In, 0);
    else
      DB->AddCircleOnLayer(In, 10 * In, In / 2, 0);
    ButtonManager().Press(AutoRoutOutsideCommand);
    Click(corner ? In : In / 2, corner ? 7 * In : 10 * In);
    for (const TIntPoint& p : corner ? std::vector<TIntPoint>{{In, 7 * In}, {In, 8 * In}}
                                     : std::vector<TIntPoint>{{In - d, 10 * In - d}, {In + d, 10 * In - d}}) {
      Run(form, emRout, "Tab1");
      Click(p.X, p.Y);
      Click(p.X, p.Y);
    }
    QueueModalScript("TStepRepeatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "AutoStepRepeat1");
    Click(corner ? 0 : In / 2, corner ? 15 * In / 2 : 10 * In);
    ECO->CancelCommand();
    const std::vector<std::string> layer = Layer(corner ? 42 : 43);
    ASSERT_EQ(layer.size(), corner ? 11u : 18u) << LastBox();
    for (const std::string& s : layer) EXPECT_TRUE(s[0] == 'L' || s.ends_with(" +30,0")) << s;
  }
  EXPECT_EQ(ShownMessageBoxes().size(), boxes) << LastBox();
}

// A square tabbed three times with the Auto Tab settings a new job has,
// simple and complex tabs, on a path compensated or not: the pieces, their
// necks and the break-off holes stand as the gap of each setting leaves
// them, and a pick on the first piece takes them all.
TEST_F(TRoutStepPicksTest, TabsOfTheDefaultSettingsKeepTheProfileWhole) {
  TWorkspace& form = StartProgram();
  for (uint8_t layer = 40; layer < 44; ++layer) {
    SelectLayer(layer);
    RTDB->AutoTab.TabType = layer % 2 == 0;  // the rest as start-up loaded them
    Do(form, "Line", {{0, 0}, {20, 0}});
    for (const TIntPoint p : {TIntPoint{2 * In, 2 * In}, TIntPoint{0, 2 * In}, TIntPoint{0, 0}})
      RTDB->AppendLine(p, 0, NoZOffset);
    RoutUndo->BeginOperation("Line");
    const int32_t first = Seq->HandleAt(layer, 1);
    if (layer >= 42) RTDB->EntityAt(first)->SetComp(1);
    for (const TIntPoint p : {TIntPoint{10, 0}, TIntPoint{20, 10}, TIntPoint{10, 20}}) Do(form, "Tab1", {p, p});
    std::size_t starts = 0;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p)
      starts += RTDB->EntityAt(Seq->HandleAt(layer, p))->GetType() != etRoutLine;
    ASSERT_EQ(starts, 13u);  // 4 pieces, 9 holes
    EXPECT_EQ(FindTabbedCut(first).Starts.size(), starts) << int(layer);
  }
}

// Where no tab split the path picked, a step command takes what is picked:
// a slot that ends on another, a notch ending on a board's edge (also one
// begun within a tab's gap of where the board ended), a hole far from the
// gap between two slots. Create takes it alone; Delete, on paths
// of one pattern, leaves the others theirs.
TEST_F(TRoutStepPicksTest, StepCommandsTakeWhatIsPickedWhereNoTabSplitIt) {
  TWorkspace& form = StartProgram();
  const std::size_t boxes = ShownMessageBoxes().size();
  auto create = [&](const TIntPoint& at) {
    QueueModalScript("TEditStepDialog", [](TForm& f) {
      f.Get<TMemo>("Step1Memo").SetLines({"M01", "M02X0Y03", "M02", "M08"});
      f.Click("OKButton");
    });
    Do(form, "CreateStepRepeat1", {at});
  };
  struct TLayout {
    uint8_t Layer;
    std::vector<std::string> Entities;  // as drawn, in cut order
    std::vector<TIntPoint> Picks;       // one on each path or hole
    std::size_t Picked;                 // the pick the commands are tried on
  };
  const std::vector<TLayout> layouts{
      // Three slots of one tool, the last ending on the first.
      {40, {"J 0,0", "L 20,0", "J 50,50", "L 60,50", "J 10,10", "L 10,0"}, {{5, 0}, {55, 50}, {10, 5}}, 1},
      // A board routed from its corner along its top edge, then a notch
      // ending on that edge.
      {41,
       {"J 0,100", "L 100,100", "L 100,0", "L 0,0", "L 0,100", "J 10,110", "L 10,100"},
       {{50, 100}, {10, 105}},
       1},
      // A slot, a hole on the line square to the gap farther from it than
      // a tab sets its holes, a slot.
      {42, {"J 0,150", "L 20,150", "H 25,230", "J 30,150", "L 40,150"}, {{5, 150}, {25, 230}, {35, 150}}, 1},
      // Boards whose notch begins within a tab's gap of where the board
      // ended and ends on its first side: one cut back to its corner, one
      // begun before its corner and cut past it.
      {43,
       {"J 200,100", "L 300,100", "L 300,0", "L 200,0", "L 200,100", "J 201,101", "L 201,100"},
       {{250, 100}, {201, 101}},
       1},
      {44,
       {"J 397,0", "L 500,0", "L 500,100", "L 400,100", "L 400,0", "L 400,-2", "J 401,-3", "L 401,0"},
       {{450, 0}, {401, -3}},
       1},
  };
  for (const TLayout& l : layouts) {
    SelectLayer(l.Layer);
    for (std::size_t k = 0; k < l.Entities.size(); ++k) {
      auto at = [&](std::size_t i) {
        const std::string& e = l.Entities[i];
        return TIntPoint{std::stoi(e.substr(2)), std::stoi(e.substr(e.find(',') + 1))};
      };
      if (l.Entities[k][0] == 'H') Do(form, "Hole", {at(k)});
      if (l.Entities[k][0] != 'J') continue;
      Do(form, "Line", {at(k), at(k + 1)});
      for (k += 2; k < l.Entities.size() && l.Entities[k][0] == 'L'; ++k)
        RTDB->AppendLine({at(k).X * (In / 10), at(k).Y * (In / 10)}, 0, NoZOffset);
      RoutUndo->BeginOperation("Line");
      --k;
    }
    ASSERT_EQ(Layer(l.Layer), l.Entities);
    // The picked start alone gets the pattern.
    create(l.Picks[l.Picked]);
    std::vector<std::string> picked = l.Entities;
    for (std::size_t k = 0, starts = 0; k < picked.size(); ++k)
      if (picked[k][0] != 'L' && starts++ == l.Picked) picked[k] += " +0,30";
    EXPECT_EQ(Layer(l.Layer), picked);
    ButtonManager().Press(UndoCommand);
    // Every path and hole with one pattern: Delete takes it from the picked
    // one only.
    create(l.Picks[0]);
    for (std::size_t k = 1; k < l.Picks.size(); ++k) Do(form, "AddtoStepList1", {l.Picks[k], l.Picks[0]});
    const std::vector<std::string> all = Stepped(l.Entities, " +0,30");
    ASSERT_EQ(Layer(l.Layer), all);
    Do(form, "DeleteStepRepeat1", {l.Picks[l.Picked]});
    std::vector<std::string> others = all;
    for (std::size_t k = 0; k < others.size(); ++k)
      if (others[k][0] != 'L' && picked[k] != l.Entities[k]) others[k] = l.Entities[k];
    EXPECT_EQ(Layer(l.Layer), others);
  }
  EXPECT_EQ(ShownMessageBoxes().size(), boxes) << LastBox();
}

// Layouts drawn on layer 40 one after another, each tabbed before the next
// is drawn, and what a pick on each path start and hole takes.
struct TTabbedLayout {
  // "J x,y" (a line from it, or the arc after it), "L x,y", "A x,y cx,cy"
  // (counter-clockwise), "W x,y cx,cy" (clockwise), "H x,y"; in hundredths.
  std::vector<std::string> Paths;
  uint8_t Comp;
  TAutoTabSettings Tab;
  std::vector<TIntPoint> Tabs;
  std::string Take;  // of each path start and hole in cut order, the cut it belongs to
  // Read back from a tape, where it cuts otherwise; '?': a path that goes
  // with either cut, whose pick is not checked.
  std::string TapeTake = Take;
};

class TTabbedLayoutsTest : public TRoutStepPicksTest {
 protected:
  static constexpr int32_t C = In / 100;
  // Draws the layouts, six to a row 6 in apart (each row staggered so that
  // no layout's line goes on into the next; the seventh row and those after
  // it below the first, so that the layer fits a tape of 3 integer digits
  // in millimetres), the first one's tabs followed
  // by extra, taken back at once; the letters of all the layouts' Take and
  // TapeTake, each layout its own.
  static void Draw(TWorkspace& form, const std::vector<TTabbedLayout>& layouts, std::u32string& take,
                   std::u32string& tapeTake, const std::vector<TIntPoint>& extra = {}) {
    for (std::size_t k = 0; k < layouts.size(); ++k) {
      const TTabbedLayout& l = layouts[k];
      const int32_t row = int32_t(k / 6) < 6 ? int32_t(k / 6) : 5 - int32_t(k / 6);
      const TIntPoint at{int32_t(k % 6) * 600 * C, (row * 600 + int32_t(k % 6) * 50) * C};
      auto point = [&](const std::string& text) {
        return TIntPoint{at.X + int32_t(std::llround(std::stod(text) * C)),
                         at.Y + int32_t(std::llround(std::stod(text.substr(text.find(',') + 1)) * C))};
      };
      for (std::size_t i = 0; i < l.Paths.size(); ++i) {
        const std::string& e = l.Paths[i];
        const TIntPoint p = point(e.substr(2));
        const bool arcNext = e[0] == 'J' && i + 1 < l.Paths.size() && l.Paths[i + 1][0] != 'L';
        const bool goesOn = e[0] == 'J' && i > 0 && point(l.Paths[i - 1].substr(2)) == p;
        if (arcNext && !goesOn) {
          // An arc goes on from where the layer's last path ended: the jog
          // is appended so that the arc starts from it.
          RTDB->AppendJog(p);
          RTDB->EntityAt(Seq->HandleAt(40, Seq->Count(40)))->SetComp(l.Comp);
        } else if (goesOn) {
          // The Line button would go on with the path: a jog of the same cut.
          const int32_t last = Seq->Count(40) > 0 ? Seq->FindPathJog(Seq->HandleAt(40, Seq->Count(40))) : 0;
          TRoutEntity* jog = RTDB->EntityAt(last);
          RTDB->AddJog(p, 40, l.Comp, jog != nullptr ? jog->GetToolNumber() : 1,
                       jog != nullptr ? jog->GetCompIndex() : 0);
        } else if (e[0] == 'J' || e[0] == 'H') {
          ButtonManager().Press(e[0] == 'J' ? 59 : 26);
          Click(p.X, p.Y);
          const TIntPoint q = e[0] == 'J' ? point(l.Paths[++i].substr(2)) : p;
          if (e[0] == 'J') Click(q.X, q.Y);
          ECO->CancelCommand();
          if (e[0] == 'J') RTDB->EntityAt(Seq->HandleAt(40, Seq->Count(40) - 1))->SetComp(l.Comp);
        } else {
          if (e[0] == 'L') RTDB->AppendLine(p, 0, NoZOffset);
          else RTDB->AppendArc(p, point(e.substr(e.find(' ', 2) + 1)), 0, NoZOffset, e[0] == 'W');
          RoutUndo->BeginOperation("Line");
        }
      }
      RTDB->AutoTab = l.Tab;
      std::vector<TIntPoint> tabs = l.Tabs;
      if (k == 0) tabs.insert(tabs.end(), extra.begin(), extra.end());
      for (const TIntPoint& t : tabs) {
        const TIntPoint q = point(std::to_string(t.X) + "," + std::to_string(t.Y));
        Run(form, emRout, "Tab1");
        Click(q.X, q.Y);
        Click(q.X, q.Y);
        ECO->CancelCommand();
      }
      for (std::size_t x = 0; k == 0 && x < extra.size(); ++x) ButtonManager().Press(UndoCommand);
      for (const char c : l.Take) take += char32_t(c + 10 * k);
      for (const char c : l.TapeTake) tapeTake += c == '?' ? U'?' : char32_t(c + 10 * k);
    }
  }
  // Of each start in cut order, the starts a pick on it takes, by place;
  // those of a '?' of take left out.
  static std::string Takes(uint8_t layer, const std::u32string& take = U"") {
    std::vector<int32_t> starts;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p)
      if (const int32_t h = Seq->HandleAt(layer, p);
          !SlotDeleted(RTDB->SlotAt(h)->Flags) && RTDB->EntityAt(h)->GetType() != etRoutLine &&
          !IsArcType(RTDB->EntityAt(h)->GetType()))
        starts.push_back(h);
    std::string out;
    for (std::size_t i = 0; i < starts.size(); ++i) {
      out += "\n" + std::to_string(i) + ":";
      if (i < take.size() && take[i] == U'?') {
        out += " ?";
        continue;
      }
      for (const int32_t g : FindTabbedCut(starts[i]).Starts)
        if (const std::size_t j = std::find(starts.begin(), starts.end(), g) - starts.begin();
            j >= take.size() || take[j] != U'?')
          out += " " + std::to_string(j);
    }
    return out;
  }
  static std::string Expect(const std::u32string& take) {
    std::string out;
    for (std::size_t i = 0; i < take.size(); ++i) {
      out += "\n" + std::to_string(i) + ":";
      if (take[i] == U'?') out += " ?";
      for (std::size_t j = 0; j < take.size() && take[i] != U'?'; ++j)
        if (take[j] == take[i]) out += " " + std::to_string(j);
    }
    return out;
  }
};

// Boards and cuts tabbed with settings of every kind the Auto Tab dialog
// allows (every field at its bound, inch and metric, simple and complex,
// holes on either side, on lines and on arcs cut either way), each drawn
// after the last was tabbed (one tab taken back), and paths that no tab
// split: a pick on each path and hole takes what the layer holds, whatever
// the settings and tool page say later, in the job reopened by a fresh
// program and in the layer read back from its own rout tape in the
// coarsest formats that keep a tabbed cut whole.
TEST_F(TTabbedLayoutsTest, TabbedCutsAreFoundFromTheLayerAlone) {
  // The widest settings of either unit's dialog (holes 6.4 mm apart).
  const TAutoTabSettings startUp{}, widest{In, In / 2, In / 2, In / 2, true, false, 3, true, 1, 6400000},
      plain{In / 4, 0, 0, 0, false, true, 1, false, 1, 0},
      narrow{In / 100, 0, 0, In * 45 / 100, true, true, 3, false, 1, In / 10},
      pair{3 * In / 10, In / 20, In / 10, In / 20, true, false, 2, true, 1, In / 20},
      // Every field at a bound: the inch dialog's (no neck width), the
      // metric one's (the neck as wide as the tab), the least of each.
      inchBounds{In, In / 2, 0, In / 2, true, false, 50, true, 960, In / 4},
      metricBounds{25400000, 12700000, 25400000, 12700000, true, false, 50, true, 960, 6400000},
      least{0, 0, 0, 0, true, true, 1, true, 1, 0},
      // A round board's tabs, the holes nearly as far off as the dialog allows.
      round{In / 2, 0, 0, In * 48 / 100, true, true, 3, false, 1, In / 10},
      // Tabs that leave no gap without the cutter: one 0 wide, a complex one
      // whose necks meet at their ends, a complex one 0 wide (its neck cut
      // out and straight back); and a complex one with no neck at all.
      noGap{0, 0, 0, In / 10, false, true, 2, false, 1, In / 10},
      necksMeet{In / 4, In / 5, 0, In / 10, false, false, 1, false, 1, 0},
      neckBack{0, In / 5, 0, In / 10, false, false, 1, false, 1, 0},
      noNeck{In / 4, 0, In / 4, In / 10, false, false, 1, true, 1, 0},
      // Complex tabs 0.2 in wide, and 2 units narrower.
      fifth{In / 5, In / 10, In / 10, In / 10, true, false, 2, false, 1, In / 20},
      nearFifth{In / 5 - 2, In / 10, In / 10, In / 10, true, false, 2, false, 1, In / 20},
      // Simple ones alike with a hole, and a complex one 0.0002 in short of
      // the corner that ends its side.
      simpleFifth{In / 5, 0, 0, In / 20, true, true, 1, false, 1, 0},
      nearSimpleFifth{In / 5 - 2, 0, 0, In / 20, true, true, 1, false, 1, 0},
      shortOfCorner{In / 5 - 10160, In / 10, In / 10, In / 10, true, false, 2, false, 1, In / 20},
      simpleShortOfCorner{In / 5 - 10160, 0, 0, In / 20, true, true, 1, false, 1, 0},
      // Complex tabs 0 wide, their holes as far off as the dialog allows.
      cornerNecks{0, In / 10, 0, In / 2, true, false, 3, false, 1, In / 10},
      // A complex tab 1 in wide whose necks stand 0.0001 in off the path.
      flatNecks{In, In / 10000, In / 5, In * 4 / 10, true, false, 3, false, 1, In / 10};
  const std::vector<std::string> board{"J 0,0", "L 200,0", "L 200,200", "L 0,200", "L 0,0"},
      arced{"J 0,0", "L 200,0", "A 200,200 200,100", "L 0,200", "L 0,0"},
      slanted{"J 0,0", "L 300,100", "L 200,400", "L -100,300", "L 0,0"},
      clockwise{"J 200,100", "W 100,200 200,200", "W 200,300 200,200", "W 300,200 200,200", "W 200,100 200,200"},
      anticlockwise{"J 200,100", "A 300,200 200,200", "A 200,300 200,200", "A 100,200 200,200",
                    "A 200,100 200,200"};
  // On the circle at 225 and 45 degrees, and (at 196 degrees) just far
  // enough from the end of an arc for the tab: its gap leaves a short arc.
  const std::vector<TIntPoint> roundTabs{{129, 129}, {271, 271}}, nearEnd{{104, 172}};
  const std::vector<TTabbedLayout> layouts{
      {board, 0, startUp, {{100, 0}, {200, 100}, {100, 200}}, std::string(13, 'a')},
      {{"J 0,0", "L 400,0", "L 400,400", "L 0,400", "L 0,0"}, 2, widest, {{200, 0}, {400, 200}, {200, 400}, {0, 200}},
       std::string(17, 'a')},
      // A notch begun within a tab's gap of the board's corner, ending on its edge.
      {{"J 0,0", "L 200,0", "L 200,200", "L 0,200", "L 0,0", "J 8,6", "L 0,6"}, 0, startUp,
       {{100, 0}, {200, 100}, {100, 200}, {0, 100}}, std::string(17, 'a') + "b"},
      {arced, 0, plain, {{271, 29}, {100, 200}}, "aaa"},
      {arced, 1, pair, {{271, 29}, {100, 0}}, "aaaaaaa"},
      {slanted, 0, startUp, {{150, 50}, {250, 250}, {50, 350}, {-50, 150}}, std::string(17, 'a')},
      {slanted, 0, narrow, {{150, 50}, {250, 250}}, std::string(9, 'a')},
      // Holes far from the gap, off its middle, and in it.
      {{"J 0,0", "L 200,0", "H 250,80", "J 300,0", "L 400,0", "J 0,100", "L 200,100", "H 230,102", "J 280,100",
        "L 400,100", "J 0,200", "L 200,200", "H 240,202", "J 280,200", "L 400,200"},
       0, startUp, {}, "abcdefggg"},
      // A path begun where the last ended (the tape goes on cutting it).
      {{"J 0,0", "L 100,0", "J 100,0", "L 200,0"}, 0, startUp, {}, "ab", "a"},
      // A path after one that closed alone past its entry.
      {{"J 20,0", "L 200,0", "L 200,200", "L 0,200", "L 0,0", "L 40,0", "J 60,0", "L 100,0"}, 0, startUp, {}, "ab"},
      // Necks on either side of the line.
      {{"J 0,0", "L 100,0", "L 110,10", "J 130,-10", "L 140,0", "L 300,0"}, 0, startUp, {}, "ab"},
      // Round boards: holes outside a clockwise one, inside and outside
      // anticlockwise ones; a short arc after a tab's gap.
      {clockwise, 0, round, roundTabs, std::string(9, 'a')},
      {anticlockwise, 0, round, roundTabs, std::string(9, 'a')},
      {anticlockwise, 1, round, roundTabs, std::string(9, 'a')},
      {clockwise, 2, round, nearEnd, std::string(5, 'a')},
      // Tabs at 195 and 255 degrees after one at 225: the middle gap lies
      // between two arcs so short that a tape's radius leaves their centres
      // unsure.
      {anticlockwise, 0, round, {{129, 129}, {103, 174}, {174, 103}}, std::string(13, 'a')},
      // Every field at its bound.
      {board, 0, inchBounds, {{100, 0}, {200, 100}}, std::string(103, 'a')},
      {arced, 1, metricBounds, {{100, 0}, {271, 29}}, std::string(103, 'a')},
      {slanted, 2, least, {{150, 50}, {250, 250}, {50, 350}}, std::string(7, 'a')},
      {anticlockwise, 2, inchBounds, {{129, 129}}, std::string(52, 'a')},
      // No gap left: the tape cuts on through it.
      {board, 0, noGap, {{100, 0}, {200, 100}, {100, 200}}, "aaaa", "a"},
      {board, 1, necksMeet, {{100, 0}, {200, 100}}, "aaa", "a"},
      {board, 2, neckBack, {{100, 0}, {200, 100}}, "aaa", "a"},
      {board, 0, noNeck, {{100, 0}, {200, 100}}, "aaa"},
      // A slot cut after the board along its first side, past a tab there,
      // within a tab's gap of the board's end.
      {{"J 0,100", "L 0,0", "L 200,0", "L 200,200", "L 0,200", "L 0,100", "J 0,30", "L 0,10"}, 0, startUp,
       {{0, 50}, {200, 100}}, std::string(9, 'a') + "b"},
      // Complex tabs half their gap from the board's start and end: the
      // first piece is the neck alone, the last the neck back alone; or a
      // unit of line is left beside the neck, which a tape drops.
      {board, 0, fifth, {{10, 0}, {0, 10}}, std::string(7, 'a')},
      {board, 0, nearFifth, {{10, 0}, {0, 10}}, std::string(7, 'a')},
      // The unit of line beside the neck back, then the next side from the
      // corner, which passes where the piece came back onto the line.
      {board, 0, nearFifth, {{190, 0}}, "aaaa"},
      // Simple tabs half their gap from a corner: a piece is a start alone
      // between two tabs, one begins on the corner and goes on along the
      // next side, one ends with the arc before the side; or a unit of the
      // side is left, which a tape drops.
      {board, 0, simpleFifth, {{190, 0}, {200, 10}, {200, 190}}, std::string(7, 'a')},
      {arced, 0, simpleFifth, {{190, 200}}, "aaa"},
      {board, 0, nearSimpleFifth, {{190, 0}, {200, 10}}, std::string(5, 'a')},
      // A complex tab by a corner of under 10 degrees: the next side from
      // the corner passes within 0.0001 in of where the piece came back
      // onto the line, without closing it.
      {{"J 0,0", "L 300,0", "L 0,50", "L 0,0"}, 0, shortOfCorner, {{290, 0}}, "aaaa"},
      // Simple tabs on either side of that corner: the piece between is a
      // stub of each side, the second ending 0.0001 in from the first.
      {{"J 0,0", "L 0,50", "L 300,0", "L 0,0"}, 0, simpleShortOfCorner, {{290, 2}, {290, 0}}, std::string(5, 'a')},
      // Two of them 0.01 in apart by a corner of a slanted side: the line the
      // first was put on is known only from the 0.03 in between the corner
      // and the second, which a tape's rounding turns.
      {{"J 0,0", "L 300,0", "L 330,70", "L 0,70", "L 0,0"}, 0, cornerNecks, {{329, 68}, {329, 67}},
       std::string(9, 'a')},
      // On a round board its two necks run on one straight line, but its
      // holes stand off the arc the tab was put on, outside it.
      {clockwise, 0, flatNecks, {{129, 129}}, std::string(5, 'a')},
      // A second board begun where the first ended, its first side along the
      // first's last: a pick on the first's last piece takes the first alone.
      // A tape goes on cutting from the one into the other: read back, the
      // path they share goes with either.
      {{"J 0,0", "L 0,-150", "L 100,-150", "L 100,0", "L 0,0", "J 0,0", "L -100,0", "L -100,-100", "L 0,-100",
        "L 0,0"},
       0, startUp, {{0, -75}, {50, -150}, {100, -75}, {50, 0}, {-100, -50}}, std::string(17, 'a') + "bbbbb",
       std::string(16, 'a') + "?bbbb"},
      // A board that no tab split, and one begun where it ended by a tab 0
      // wide put on its start (a start alone there): each its own.
      {{"J 0,0", "L 200,0", "L 200,200", "L 0,200", "L 0,0", "J 0,0", "J 0,0", "L -100,0", "L -100,-100", "L 0,-100",
        "L 0,0"},
       0, startUp, {}, "abb", "a"},
      // A board begun part way along its first side, and a second begun on
      // the corner that side runs to, going on along the line the first
      // board's last piece ran on.
      {{"J 100,0", "L 200,0", "L 200,200", "L 0,200", "L 0,0", "L 100,0", "J 200,0", "L 300,0", "L 300,-100",
        "L 200,-100", "L 200,0"},
       0, startUp, {{150, 0}, {300, -50}}, "aaaaabbbbb"},
      // A tabbed board cut again on top of itself from its start.
      {{"J 0,0", "L 100,0", "J 100,0", "L 200,0", "L 200,200", "L 0,200", "L 0,0", "J 0,0", "L 100,0", "J 100,0",
        "L 200,0", "L 200,200", "L 0,200", "L 0,0"},
       0, startUp, {}, "aabb", "a"},
      // A board that no tab split, and one begun where it ended by a stub
      // a hair long (a unit each way) that the next piece does not go on
      // along: nothing of the second goes with the first (its pieces after
      // tabs so near its start are taken one by one).
      {{"J 0,0", "L 200,0", "L 200,200", "L 0,200", "L 0,0", "J 0,0", "L 0.000003937,-0.000003937",
        "J 0.000003937,-0.000003937", "L 0.015464567,-0.01430315", "J 0.015464567,-0.01430315",
        "L 99.993889764,-92.484165354", "L 0,-150", "L 0,0"},
       0, startUp, {}, "abcd", "a"},
  };
  TWorkspace* form = &StartProgram();
  SelectLayer(40);
  std::u32string take, tapeTake;  // of the whole layer, the layouts' cuts told apart
  Draw(*form, layouts, take, tapeTake, {{0, 100}});
  EXPECT_EQ(Takes(40), Expect(take)) << "as tabbed";
  // Other settings and a cutter 0.001 in smaller on every page.
  RTDB->AutoTab = TAutoTabSettings{In / 10, 0, 0, 0, true, false, 1, false, 1, 0};
  for (uint8_t layer = 40; layer < 45; ++layer) RoutToolPages[layer][1].Diameter -= In / 1000;
  EXPECT_EQ(Takes(40), Expect(take)) << "with other settings";
  // The step commands on the second piece of the first board take the
  // board, and the hint strip says so as the commands are named.
  for (const std::string item : {"CreateStepRepeat1", "EditStepList1", "AutoStepRepeat1"}) {
    const bool typed = item != "AutoStepRepeat1";
    QueueModalScript(typed ? "TEditStepDialog" : "TStepRepeatDialog", [typed, item](TForm& f) {
      if (typed) f.Get<TMemo>("Step1Memo").SetLines({"M01", item[0] == 'C' ? "M02X0Y03" : "M02X0Y04", "M02", "M08"});
      f.Click("OKButton");
    });
    Run(*form, emRout, item);
    Click(200 * C, 50 * C);
    ECO->CancelCommand();
    const std::string hint = MessageDisplayText(form->HintPanel.Caption());
    EXPECT_NE(hint.find(item[0] == 'C' ? "Create Step & Repeat took 4 paths and 9 holes"
                        : typed       ? "Step & Repeat Edit took 4 paths and 9 holes"
                                      : "Step & Repeat took 4 paths and 9 holes"),
              std::string::npos)
        << item << ": " << hint;
  }
  ButtonManager().Press(UndoCommand);
  ButtonManager().Press(UndoCommand);
  EXPECT_EQ(RTDB->EntityAt(Seq->HandleAt(40, 1))->GetStepObj(), nullptr);

  const std::string job = (TempDir / "TABBED.ZUL").string();
  ScriptFileDialogAnswer(job);
  Run(*form, emRout, "SaveAs1");
  CloseProgram();
  form = &StartProgram();
  ScriptFileDialogAnswer(job);
  Run(*form, emRout, "Open1");
  ASSERT_EQ(DatabaseFileName, job) << LastBox();
  EXPECT_EQ(Takes(40), Expect(take)) << "reopened";

  // Read back from tapes of the format a new job has (inch 2.4), the
  // coarsest inch one (2.3) and metric ones of 2 decimals.
  struct TFormat {
    bool Metric;
    int Integers, Decimals;
    uint8_t Layer;
  };
  for (const TFormat& t : {TFormat{false, 2, 4, 41}, TFormat{false, 2, 3, 41}, TFormat{true, 3, 2, 43},
                           TFormat{true, 4, 2, 44}}) {
    SelectLayer(40);
    const std::string tape =
        NativePath(ExecutionPath() + "ROUT\\TABBED" + std::to_string(t.Integers) + std::to_string(t.Decimals) + ".RT");
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TRoutOutputFormatDialog", [t](TForm& f) {
      f.Get<TRadioGroup>("UnitGroup").SetItemIndex(t.Metric ? 1 : 0);
      f.Get<TSpinEdit>("IntegerEdit").SetValue(t.Integers);
      f.Get<TSpinEdit>("DecimalEdit").SetValue(t.Decimals);
      f.Click("OKButton");
    });
    const std::size_t boxes = ShownMessageBoxes().size();
    Run(*form, emRout, "MakeRoutTape1");
    ASSERT_EQ(ShownMessageBoxes().size(), boxes) << LastBox();
    ASSERT_NE(ReadFileBytes(tape).find(t.Metric ? "METRIC" : "INCH"), std::string::npos);
    SelectLayer(t.Layer);
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(*form, emRout, "OpenRoutTape1");
    EXPECT_EQ(Takes(t.Layer, tapeTake), Expect(tapeTake))
        << "read back from its tape, " << (t.Metric ? "metric " : "inch ") << t.Integers << "." << t.Decimals;
  }

  // A tape from elsewhere whose tabs leave gaps of 0.39 in.
  SelectLayer(42);
  ScriptFileDialogAnswer(Input("GAPS.RT", "M48\nINCH,TZ\nT01C0.125\n%\nT01\nG00X0.Y0.\nG42\nM15\nG01X3.Y0.\n"
                                          "X3.Y1.3035\nM16\nG40\nG00X3.Y1.6965\nG42\nM15\nG01X3.Y3.\nX2.1965Y3.\nM16\n"
                                          "G40\nG00X1.8035Y3.\nG42\nM15\nG01X0.Y3.\nX0.Y0.\nM16\nG40\nM30\n"));
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(*form, emRout, "OpenRoutTape1");
  EXPECT_EQ(Takes(42), "\n0: 0 1 2\n1: 0 1 2\n2: 0 1 2");
}

// Holes and paths that stand near a gap between two pieces of one line but
// not as a tab leaves them: each is a cut of its own. And a board tabbed
// 1 in wide with a 0.125 in cutter stays one cut after its page is set to a
// 0.02 in cutter.
TEST_F(TTabbedLayoutsTest, HolesAndPathsNearAGapThatNoTabLeftAreCutsOfTheirOwn) {
  const TAutoTabSettings startUp{}, wide{In, 0, 0, In / 5, true, true, 3, true, 1, In / 10};
  const std::vector<TTabbedLayout> layouts{
      // A tab's 1 in gap widened by a 0.125 in cutter.
      {{"J 0,0", "L 300,0", "L 300,300", "L 0,300", "L 0,0"}, 0, wide, {{150, 0}, {300, 150}, {150, 300}},
       std::string(13, 'a')},
      // Tooling holes midway between two slots on one line, off the gap's middle.
      {{"J 0,0", "L 200,0", "H 245,10", "H 255,10", "H 265,10", "J 280,0", "L 400,0"}, 0, startUp, {}, "abcde"},
      // Holes spaced wider than the dialog allows.
      {{"J 0,0", "L 200,0", "H 213,10", "H 240,10", "H 267,10", "J 280,0", "L 400,0"}, 0, startUp, {}, "abcde"},
      // Holes spaced unevenly.
      {{"J 0,0", "L 200,0", "H 222,10", "H 238,10", "H 242,10", "H 258,10", "J 280,0", "L 400,0"}, 0, startUp, {},
       "abcdef"},
      // A path after a slot, begun near its line and leading off it.
      {{"J 0,0", "L 200,0", "H 235,0", "H 240,0", "H 245,0", "J 280,0", "L 400,10"}, 0, startUp, {}, "abcde"},
      // A slot on the line cut back towards the first.
      {{"J 0,0", "L 200,0", "H 255,10", "H 265,10", "H 275,10", "J 330,0", "L 280,0"}, 0, startUp, {}, "abcde"},
      // A complex tab's necks with holes down the neck, square to the line.
      {{"J 0,0", "L 100,0", "L 110,10", "H 120,10", "H 120,20", "H 120,30", "J 130,10", "L 140,0", "L 300,0"}, 0,
       startUp, {}, "abcde"},
  };
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RoutToolPages[40][1].Diameter = In / 8;
  std::u32string take, tapeTake;
  Draw(form, layouts, take, tapeTake);
  RoutToolPages[40][1].Diameter = In / 50;
  EXPECT_EQ(Takes(40), Expect(take));
}

// A list typed as a tape writes it makes no copy in a step table (its last
// M02 closes the level): the dialog says so and stays open.
TEST_F(TRoutStepPicksTest, CreateStepRepeatSaysWhenTheListMakesNoCopy) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  Do(form, "Line", {{0, 0}, {10, 0}});
  const int32_t count = RoutEntityCount;
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "M02X03Y0", "M08"});
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    f.Click("CancelButton");
  });
  Do(form, "CreateStepRepeat1", {{5, 0}});
  EXPECT_EQ(LastBox(), "Step && Repeat makes no copy.\r\nThe last M02 of a level closes it and makes no copy of "
                       "its own: end the level with a line M02 after its last step.\r\nCheck line 2 for errors.");
  EXPECT_EQ(RoutEntityCount, count);
}

// A level typed as a tape states it, its last step moving with no bare M02
// after it, would make no copy of that step (a tape cuts one): the dialog
// refuses it at that step, in the pane of its level, and the list closed
// makes every copy.
TEST_F(TRoutStepPicksTest, StepListsRefuseALevelWhoseLastStepWouldMakeNoCopy) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  Do(form, "Line", {{0, 0}, {10, 0}});
  const std::string box = "Step && Repeat makes no copy.\r\nThe last M02 of a level closes it and makes no copy of "
                          "its own: end the level with a line M02 after its last step.\r\nCheck line ";
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    TMemo& pane = f.Get<TMemo>("Step1Memo");
    pane.SetLines({"M01", "M02X05Y0", "M02X0Y05", "M08"});
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    EXPECT_EQ(pane.CaretLine(), 2);
    pane.SetLines({"M01", "M02X05Y0", "M02X0Y05", "M02", "M08"});
    f.Click("OKButton");
  });
  Do(form, "CreateStepRepeat1", {{5, 0}});
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(LastBox(), box + "3 for errors.");
  const std::vector<std::string> twice{"J 0,0 +50,0 +50,50", "L 10,0"};
  EXPECT_EQ(Layer(40), twice);

  // A second level typed so adds nothing: refused in its pane, the lines
  // counted on from the first, and the pattern stays as it was.
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "M02X0Y10", "M02", "M08"});
    f.Click("OKButton");
  });
  Do(form, "CreateStepRepeat1", {{5, 0}});
  const std::vector<std::string> nested = Layer(40);
  ASSERT_EQ(std::count(nested[0].begin(), nested[0].end(), '+'), 5) << nested[0];
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "R2M02X0Y0", "M02"});
    f.Get<TMemo>("Step2Memo").SetLines({"M01", "M02X0Y05", "M08"});
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    EXPECT_TRUE(f.Get<TMemo>("Step2Memo").Focused());
    EXPECT_EQ(f.Get<TMemo>("Step2Memo").CaretLine(), 1);
    f.Click("CancelButton");
  });
  Do(form, "EditStepList1", {{5, 0}});
  EXPECT_EQ(LastBox(), box + "5 for errors.");
  EXPECT_EQ(Layer(40), nested);
}

}  // namespace
