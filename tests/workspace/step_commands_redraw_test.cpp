// The screen after each step command of the drill and rout editors, and
// after its Undo and Redo, pixel for pixel against a fresh redraw of the
// job: a one-slot rout layer, a tabbed profile, drill hits with a slot and
// a circle, under plain, nested, rotated and mirrored patterns.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <iomanip>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "command/button_manager.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/step_repeat.h"
#include "model/undo_journal.h"
#include "workspace/db_bitmap.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

// Step lists: two copies up; a rotated and a mirrored copy; one copy to the
// right (used as the outer level of a nested pattern).
const TStepCommandList Up{{1, 1, 0, 0, 0}, {0, 2, 0, In / 2, 0}, {0, 1, 0, 0, 0}};
const TStepCommandList Turned{{1, 1, 0, 0, 0}, {0, 1, In / 3, In * 4 / 5, 1}, {0, 1, In / 4, In / 5, 6},
                              {0, 1, 0, 0, 0}};
const TStepCommandList Across{{1, 1, 0, 0, 0}, {0, 1, 7 * In / 2, 0, 0}, {0, 1, 0, 0, 0}};
const TStepCommandList Fewer{{1, 1, 0, 0, 0}, {0, 1, In / 4, In / 3, 2}, {0, 1, 0, 0, 0}};

// One step command on the job every case starts from. Rout layer 40: one
// slot from (1, 1) to (2, 1) and one from (1, 3) to (2, 3). Rout layer 41:
// a square profile from (3, 0) to (5, 2) tabbed twice. Drill layer 30:
// hits, a slot and a circle around (2.5, 0.5), their copies clear of the
// rout cuts (an erase paints the background over whatever lies under what
// it erases); a lone hit at (6, 3).
struct TStepCase {
  const char* Name;
  uint8_t Mode;              // the editor the command runs in
  const char* Item;          // its menu item
  std::vector<TStepCommandList> Before;  // patterns given first, each by Create Step & Repeat
  std::vector<TIntPoint> Target;         // the clicks that choose what the command works on
  std::vector<TIntPoint> Extra;          // the clicks after them (a source)
  std::vector<TStepCommandList> Answer;  // the Edit Steps dialog's levels for the command
  // Empty points among the paths the command leaves alone: the view need
  // not paint them again.
  std::vector<TIntPoint> Alone = {};
};

class TStepCommandsRedrawTest : public TWorkspaceDialogsTest {
 protected:
  static void Undo() { ButtonManager().Press(UndoCommand); }
  static void Redo() { ButtonManager().Press(RedoCommand); }
  static void ClickAll(const std::vector<TIntPoint>& points) {
    for (const TIntPoint& p : points) Click(p.X, p.Y);
  }
  // The Edit Steps dialog answers the levels given, the rest left out.
  static void AnswerSteps(std::vector<TStepCommandList> levels) {
    SetEditStepDialog([levels](TEditStepLists& lists) {
      for (std::size_t k = 0; k < lists.size(); ++k)
        lists[k] = k < levels.size() ? std::optional<TStepCommandList>(levels[k]) : std::nullopt;
      return true;
    });
  }
  // Create Step & Repeat of the mode on what the clicks choose.
  static void GiveSteps(TWorkspace& form, uint8_t mode, const std::vector<TIntPoint>& target,
                        const TStepCommandList& steps) {
    AnswerSteps({steps});
    Run(form, mode, mode == emRout ? "CreateStepRepeat1" : "CreateStepRepeat2");
    ClickAll(target);
    ECO->CancelCommand();
  }
  void BuildJob(TWorkspace& form) {
    SelectLayer(40);
    for (const int32_t y : {In, 3 * In}) {
      ButtonManager().Press(59);
      Click(In, y);
      Click(2 * In, y);
      ECO->CancelCommand();
    }
    SelectLayer(41);
    RTDB->AutoTab = TAutoTabSettings{In / 5, 0, 0, In / 10, true, true, 3, false, 7, In / 10};
    ButtonManager().Press(59);
    Click(3 * In, 0);
    Click(5 * In, 0);
    ECO->CancelCommand();
    for (const TIntPoint p : {TIntPoint{5 * In, 2 * In}, TIntPoint{3 * In, 2 * In}, TIntPoint{3 * In, 0}})
      RTDB->AppendLine(p, 0, NoZOffset);
    RoutUndo->BeginOperation("Line");
    for (const TIntPoint p : {TIntPoint{4 * In, 0}, TIntPoint{4 * In, 2 * In}}) {
      Run(form, emRout, "Tab1");
      Click(p.X, p.Y);
      Click(p.X, p.Y);
      ECO->CancelCommand();
    }
    SelectLayer(30);
    for (const TIntPoint p : {TIntPoint{In * 23 / 10, In * 2 / 5}, TIntPoint{In * 27 / 10, In * 2 / 5},
                              TIntPoint{In * 5 / 2, In * 7 / 5}, TIntPoint{6 * In, 3 * In}})
      ASSERT_NE(DRDB->AddHole(p.X, p.Y, true), 0);
    ASSERT_NE(DRDB->AddSlotOnLayer(In * 11 / 5, In * 3 / 5, In * 14 / 5, In * 3 / 5, 30, 2, true), 0);
    ASSERT_NE(DRDB->AddCircleOnLayer(In * 5 / 2, In / 5, In / 8, 30, 3, true), 0);
    DrillUndo->BeginOperation("Hole");
    ViewServices().ZoomWindow(0, -In, 7 * In, 5 * In);
  }
  static std::vector<TColor> Shown() { return OffscreenBitmap->Pixels().Pixels(); }
  // The pixels two pictures paint otherwise: for each pair of colours, how
  // many and where (inches); empty when none.
  static std::string Differences(const std::vector<TColor>& shown, const std::vector<TColor>& fresh) {
    if (shown.size() != fresh.size()) return "pictures of other sizes";
    std::map<std::pair<TColor, TColor>, std::array<double, 5>> kinds;  // count, box
    const int32_t w = OffscreenBitmap->Pixels().Width();
    for (std::size_t k = 0; k < shown.size(); ++k) {
      if (shown[k] == fresh[k]) continue;
      const double x = DBBitmap->Left / In + double(k % w) / DBBitmap->PixelsPerInch;
      const double y = DBBitmap->Top / In - double(k / w) / DBBitmap->PixelsPerInch;
      auto [it, added] = kinds.try_emplace({shown[k], fresh[k]}, std::array<double, 5>{0, x, y, x, y});
      std::array<double, 5>& r = it->second;
      r = {r[0] + 1, std::min(r[1], x), std::min(r[2], y), std::max(r[3], x), std::max(r[4], y)};
    }
    std::ostringstream text;
    text << std::hex << std::setprecision(3);
    for (const auto& [colours, r] : kinds)
      text << colours.first << " for " << colours.second << ": " << std::dec << r[0] << " from (" << r[1] << ", "
           << r[2] << ") to (" << r[3] << ", " << r[4] << ")" << std::hex << "; ";
    return text.str();
  }
  // What the view shows otherwise than a fresh redraw of the job: the
  // picture as the window brings it up to date after a command.
  static std::string DifferFromRedraw() {
    ViewServices().UpdateView();
    const std::vector<TColor> shown = Shown();
    ViewServices().RedrawView();
    return Differences(shown, Shown());
  }
};

// Points: on the first slot, on the second, on the profile's left side;
// the window around the drill hits below the first slot; the lone hit.
const TIntPoint OnSlot{In * 3 / 2, In}, OnSecond{In * 3 / 2, 3 * In}, OnProfile{3 * In, In};
const std::vector<TIntPoint> HitsWindow{{In * 21 / 10, 0}, {In * 29 / 10, In * 17 / 10}};
const TIntPoint LoneHit{6 * In, 3 * In};

const TStepCase Cases[] = {
    {"rout create on a slot", emRout, "CreateStepRepeat1", {}, {OnSlot}, {}, {Up}},
    {"rout create nested turned", emRout, "CreateStepRepeat1", {}, {OnSlot}, {}, {Across, Turned}},
    {"rout create on a profile", emRout, "CreateStepRepeat1", {}, {OnProfile}, {}, {Turned}},
    {"rout delete on a slot", emRout, "DeleteStepRepeat1", {Up}, {OnSlot}, {}, {}, {{4 * In, In}, {In * 5 / 2, In * 29 / 10}}},
    {"rout delete nested turned", emRout, "DeleteStepRepeat1", {Turned, Across}, {OnSlot}, {}, {}},
    {"rout delete on a profile", emRout, "DeleteStepRepeat1", {Up}, {OnProfile}, {}, {}},
    {"rout edit to fewer", emRout, "EditStepList1", {Up}, {OnSlot}, {}, {Fewer}},
    {"rout edit a profile", emRout, "EditStepList1", {Turned}, {OnProfile}, {}, {Up}},
    {"rout auto on a slot", emRout, "AutoStepRepeat1", {}, {OnSlot}, {}, {}},
    {"rout auto on a profile", emRout, "AutoStepRepeat1", {Turned}, {OnProfile}, {}, {}},
    {"rout add to step list", emRout, "AddtoStepList1", {Up}, {OnSecond}, {OnSlot}, {}},
    {"rout expand", emRout, "ExpandSteps1", {Turned}, {OnSlot}, {}, {}},
    {"rout expand a profile", emRout, "ExpandSteps1", {Up}, {OnProfile}, {}, {}},
    {"rout duplicate from a hit", emRout, "DuplicateStepRepeat2", {}, {OnSlot}, {LoneHit}, {}},
    {"drill create", emDrill, "CreateStepRepeat2", {}, HitsWindow, {}, {Turned}},
    {"drill delete", emDrill, "DeleteStepRepeat2", {Up}, HitsWindow, {}, {}},
    {"drill delete nested", emDrill, "DeleteStepRepeat2", {Turned, Across}, HitsWindow, {}, {}},
    {"drill edit to fewer", emDrill, "EditStepList2", {Up}, HitsWindow, {}, {Fewer}},
    {"drill auto", emDrill, "AutoStepRepeat2", {}, HitsWindow, {}, {}},
    {"drill add to step list", emDrill, "AddtoStepList2", {}, HitsWindow, {LoneHit}, {}},
    {"drill expand", emDrill, "ExpandSteps2", {Turned}, HitsWindow, {}, {}},
    {"drill duplicate from a slot", emDrill, "DuplicateStepRepeat2", {}, HitsWindow, {OnSecond}, {}},
};

TEST_F(TStepCommandsRedrawTest, TheScreenAfterEachStepCommandIsAFreshRedraw) {
  for (const TStepCase& c : Cases) {
    SCOPED_TRACE(c.Name);
    TWorkspace& form = StartProgram();
    ASSERT_NE(OffscreenBitmap, nullptr);
    RTDB->AutoStepRepeat = {2, In / 2, 2, In * 3 / 4, false, true, true};
    // The axes shown: copies cross them, and what is erased over them
    // leaves them whole.
    ZeroZeroLines = true;
    BuildJob(form);
    // The source of Add to Step List and Duplicate carries a pattern.
    const bool source = !c.Extra.empty();
    const bool other = std::string(c.Item) == "DuplicateStepRepeat2";
    const uint8_t sourceMode = other ? uint8_t(c.Mode == emRout ? emDrill : emRout) : c.Mode;
    if (source) {
      SelectLayer(sourceMode == emRout ? 40 : 30);
      GiveSteps(form, sourceMode,
                sourceMode == emRout ? std::vector<TIntPoint>{c.Extra[0]}
                                     : std::vector<TIntPoint>{{LoneHit.X - In / 10, LoneHit.Y - In / 10},
                                                              {LoneHit.X + In / 10, LoneHit.Y + In / 10}},
                Turned);
    }
    SelectLayer(c.Mode == emRout ? (c.Target[0] == OnProfile ? 41 : 40) : 30);
    for (const TStepCommandList& steps : c.Before) GiveSteps(form, c.Mode, c.Target, steps);
    ViewServices().RedrawView();
    const std::vector<TColor> start = Shown();
    const int32_t entities = RoutEntityCount + DrillEntityCount;
    // A pixel marked where nothing lies keeps its mark unless the view
    // paints it again.
    constexpr TColor Mark = 0x123456;
    std::vector<TPoint> marks;
    for (const TIntPoint& p : c.Alone) {
      TPoint m;
      DBBitmap->WorldToDevice(p.X, p.Y, m.X, m.Y);
      DBBitmap->Canvas->SetPixel(m.X, m.Y, Mark);
      marks.push_back(m);
    }

    AnswerSteps(c.Answer);
    QueueModalScript("TStepRepeatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, c.Mode, c.Item);
    ClickAll(c.Target);
    ClickAll(c.Extra);
    ECO->CancelCommand();
    std::string done;
    ASSERT_TRUE(ActiveUndo->CanUndo(done));
    EXPECT_TRUE(Differences(start, Shown()) != "" || RoutEntityCount + DrillEntityCount != entities)
        << "the command changed nothing";
    // The mode's own layers, which the command draws again in full, are
    // not painted a second time.
    for (const TPoint& m : marks) {
      EXPECT_EQ(DBBitmap->Canvas->GetPixel(m.X, m.Y), Mark) << "painted again at pixel " << m.X << ", " << m.Y;
      DBBitmap->Canvas->SetPixel(m.X, m.Y, start[std::size_t(m.Y) * OffscreenBitmap->Pixels().Width() + m.X]);
    }
    EXPECT_EQ(DifferFromRedraw(), "") << "after " << done;
    Undo();
    EXPECT_EQ(DifferFromRedraw(), "") << "after its undo";
    Redo();
    EXPECT_EQ(DifferFromRedraw(), "") << "after its redo";
    DatabaseModified = false;
    CloseProgram();
  }
}

// A tab put on a line of layer 40 after a pattern was given to a line of
// layer 41 (whose change was still marked): the tabbed path shows its gap.
TEST_F(TStepCommandsRedrawTest, ATabAfterAPatternOnAnotherLayerShowsItsGap) {
  TWorkspace& form = StartProgram();
  RTDB->AutoTab = TAutoTabSettings{In / 5, 0, 0, In / 10, true, true, 3, false, 7, In / 10};
  for (const auto& [layer, from, to] : {std::tuple{41, TIntPoint{0, 2 * In}, TIntPoint{4 * In, 2 * In}},
                                        std::tuple{40, TIntPoint{0, In}, TIntPoint{4 * In, In}}}) {
    SelectLayer(layer);
    ButtonManager().Press(59);
    Click(from.X, from.Y);
    Click(to.X, to.Y);
    ECO->CancelCommand();
  }
  ViewServices().ZoomWindow(-In, -In, 5 * In, 4 * In);
  SelectLayer(41);
  GiveSteps(form, emRout, {{2 * In, 2 * In}}, Up);
  SelectLayer(40);
  Run(form, emRout, "Tab1");
  Click(2 * In, In);
  Click(2 * In, In);
  ECO->CancelCommand();
  EXPECT_EQ(DifferFromRedraw(), "") << "after the tab";
  DatabaseModified = false;
}

// ---- Random layouts ----------------------------------------------------------------------------

// A job drawn at random from a seed: on CAD layers 0 and 1 lines across the
// board; on rout layers 40 and 41 paths of lines
// and arcs, some compensated, and a tabbed profile; on drill layer 30 hits
// of three tools; patterns, some nested, given to some paths and hits, their
// copies crossing other paths and each other; the axes shown; a zoom in or
// out. Every command a CAM operator gives on such a job (the step commands,
// the window edits, tabs, the cut order, Inspect, the CAD editor's drawing
// and edits, a pick left shown, a switch of layer), then its Undo
// and its Redo, one after the other on the same job, each compared with a
// fresh redraw.
class TRandomLayoutRedrawTest : public TStepCommandsRedrawTest {
 protected:
  std::mt19937 Rng;
  int32_t Between(int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(Rng); }
  // A point of the board area, on a tenth of an inch.
  TIntPoint Anywhere() { return {Between(0, 60) * In / 10, Between(0, 40) * In / 10}; }
  TStepCommandList Steps() {
    TStepCommandList steps{{1, 1, 0, 0, 0}};
    for (int k = Between(1, 2); k > 0; --k)
      steps.push_back({0, Between(1, 3), Between(-20, 20) * In / 10, Between(-15, 15) * In / 10,
                       uint8_t(Between(0, 3) == 0 ? Between(1, 7) : 0)});
    steps.push_back({0, 1, 0, 0, 0});
    return steps;
  }
  std::vector<std::pair<uint8_t, TIntPoint>> Paths;  // layer and a point on each path's first cut
  std::vector<TIntPoint> Hits;
  std::vector<std::pair<uint8_t, TIntPoint>> Lines;  // CAD layer and the middle of each line

  // A line between two points anywhere, drawn with the Line button's clicks.
  std::pair<TIntPoint, TIntPoint> ClickLine() {
    const TIntPoint a = Anywhere();
    TIntPoint b = Anywhere();
    if (b == a) b.X += In / 2;
    ButtonManager().Press(59);
    Click(a.X, a.Y);
    Click(b.X, b.Y);
    ECO->CancelCommand();
    return {a, b};
  }
  void AddPath(uint8_t layer) {
    SelectLayer(layer);
    ButtonManager().Press(Between(0, 2) == 0 ? 46 + 2 * Between(0, 1) : 47);
    const auto [a, b] = ClickLine();
    TIntPoint last = b;
    for (int k = Between(0, 3); k > 0; --k) {
      const TIntPoint to = Anywhere();
      if (to == last) continue;
      if (Between(0, 1) == 0) {
        RTDB->AppendLine(to, 0, NoZOffset);
      } else {
        // A half circle: its centre halfway.
        const TIntPoint end{to.X - to.X % 2, to.Y - to.Y % 2};
        const TIntPoint from{last.X - last.X % 2, last.Y - last.Y % 2};
        if (end == from) continue;
        RTDB->AppendLine(from, 0, NoZOffset);
        RTDB->AppendArc(end, {(from.X + end.X) / 2, (from.Y + end.Y) / 2}, 0, NoZOffset, Between(0, 1) == 1);
      }
      last = to;
    }
    RoutUndo->BeginOperation("Line");
    ButtonManager().Press(47);
    Paths.push_back({layer, {(a.X + b.X) / 2, (a.Y + b.Y) / 2}});
  }
  void AddProfile(TWorkspace& form, uint8_t layer) {
    SelectLayer(layer);
    const TIntPoint o = Anywhere();
    const int32_t w = Between(5, 20) * In / 10, h = Between(5, 20) * In / 10;
    RTDB->AutoTab = TAutoTabSettings{In / 5, 0, 0, In / 10, true, true, 3, false, 7, In / 10};
    ButtonManager().Press(59);
    Click(o.X, o.Y);
    Click(o.X + w, o.Y);
    ECO->CancelCommand();
    for (const TIntPoint p : {TIntPoint{o.X + w, o.Y + h}, TIntPoint{o.X, o.Y + h}, o})
      RTDB->AppendLine(p, 0, NoZOffset);
    RoutUndo->BeginOperation("Line");
    Run(form, emRout, "Tab1");
    Click(o.X + w / 2, o.Y);
    Click(o.X + w / 2, o.Y);
    ECO->CancelCommand();
    Paths.push_back({layer, {o.X, o.Y + h / 2}});
  }
  // A CAD line of layer 0 or 1 across the board.
  void AddLine() {
    const uint8_t layer = uint8_t(Between(0, 1));
    SelectLayer(layer);
    const auto [a, b] = ClickLine();
    Lines.push_back({layer, {a.X / 2 + b.X / 2, a.Y / 2 + b.Y / 2}});
  }
  void BuildRandomJob(TWorkspace& form) {
    Paths.clear();
    Hits.clear();
    Lines.clear();
    for (int k = Between(2, 4); k > 0; --k) AddLine();
    for (int k = Between(2, 5); k > 0; --k) AddPath(uint8_t(Between(40, 41)));
    if (Between(0, 1) == 1) AddProfile(form, uint8_t(Between(40, 41)));
    SelectLayer(30);
    for (int k = Between(2, 6); k > 0; --k) {
      const TIntPoint p = Anywhere();
      if (DRDB->AddHoleOnLayer(p.X, p.Y, 30, Between(1, 3), true) != 0) Hits.push_back(p);
    }
    DrillUndo->BeginOperation("Hole");
    for (int k = Between(0, 2); k > 0; --k) {
      const auto& [layer, at] = Paths[Between(0, int32_t(Paths.size()) - 1)];
      SelectLayer(layer);
      GiveSteps(form, emRout, {at}, Steps());
    }
    if (Between(0, 1) == 1) {
      SelectLayer(30);
      const TIntPoint h = Hits[Between(0, int32_t(Hits.size()) - 1)];
      GiveSteps(form, emDrill, HitWindow(h), Steps());
    }
    switch (Between(0, 2)) {
      case 0: ViewServices().ZoomWindow(-In, -In, 7 * In, 5 * In); break;
      case 1: {
        const TIntPoint c = Anywhere();
        ViewServices().ZoomWindow(c.X - In, c.Y - In, c.X + In, c.Y + In);
        break;
      }
      default: ViewServices().ZoomWindow(-12 * In, -12 * In, 18 * In, 16 * In); break;
    }
  }
  static std::vector<TIntPoint> HitWindow(const TIntPoint& h) {
    return {{h.X - In / 20, h.Y - In / 20}, {h.X + In / 20, h.Y + In / 20}};
  }
  // One command, chosen at random, on what the job holds; its name.
  std::string RandomCommand(TWorkspace& form) {
    const auto& [layer, at] = Paths[Between(0, int32_t(Paths.size()) - 1)];
    const auto& [otherLayer, other] = Paths[Between(0, int32_t(Paths.size()) - 1)];
    const TIntPoint hit = Hits[Between(0, int32_t(Hits.size()) - 1)];
    const TIntPoint c1 = Anywhere(), c2 = Anywhere(), to = Anywhere();
    const auto& [cadLayer, line] = Lines[Between(0, int32_t(Lines.size()) - 1)];
    const TIntPoint otherLine = Lines[Between(0, int32_t(Lines.size()) - 1)].second;
    AnswerSteps({Steps(), Steps()});
    const int kind = Between(0, 42);
    auto rout = [&](const char* item, std::vector<TIntPoint> clicks, const char* typed = nullptr) {
      SelectLayer(layer);
      Run(form, emRout, item);
      ClickAll(clicks);
      if (typed != nullptr) Type(form, typed);
      ECO->CancelCommand();
      return std::string(item) + " on layer " + std::to_string(layer);
    };
    auto drill = [&](const char* item, std::vector<TIntPoint> clicks, const char* typed = nullptr) {
      SelectLayer(30);
      Run(form, emDrill, item);
      ClickAll(clicks);
      if (typed != nullptr) Type(form, typed);
      ECO->CancelCommand();
      return std::string(item) + " on drill";
    };
    // A command of the CAD editor by its button; with pending, left
    // waiting for its next input, its pick shown.
    auto cad = [&](const char* name, int32_t button, std::vector<TIntPoint> clicks, const char* typed = nullptr,
                   bool pending = false) {
      SelectLayer(cadLayer);
      ButtonManager().Press(button);
      ClickAll(clicks);
      if (typed != nullptr) Type(form, typed);
      if (!pending) ECO->CancelCommand();
      return std::string(name) + " on layer " + std::to_string(cadLayer);
    };
    // Inspect: the first field of the entity edited, then saved.
    auto inspect = [&](uint8_t on, const TIntPoint& p) {
      SelectLayer(on);
      ButtonManager().Press(78);
      Click(p.X, p.Y);
      Type(form, "0.5");
      form.KeyDown(VK_RETURN);
      ECO->CancelCommand();
      return "Inspect on layer " + std::to_string(on);
    };
    switch (kind) {
      case 27: return cad("Window Erase", 127, {c1, c2});
      case 28: return cad("Window Move", 130, {c1, c2, c1, to});
      case 29: return cad("Window Copy", 126, {c1, c2, c1, to});
      case 30: return cad("Window Mirror", 129, {c1, c2, c1, to});
      case 31: return cad("Rotate", 95, {c1, c2, c1}, "30");
      case 32: return cad("Create Line", 59, {c1, to});
      case 33: return cad("Create Circle", 21, {line, {line.X + In / 4, line.Y}});
      case 34: return inspect(cadLayer, line);
      case 35: return cad("Object Break picked", 75, {line}, nullptr, true);
      case 36: return cad("Trim Line", 94, {line, otherLine});
      case 37: return cad("Fillet Lines", 40, {line, otherLine});
      case 38: {
        const uint8_t next = uint8_t(1 - cadLayer);
        SelectLayer(cadLayer);
        SelectLayer(next);
        return "switch from CAD layer " + std::to_string(cadLayer) + " to " + std::to_string(next);
      }
      case 39: return inspect(layer, at);
      case 40: return inspect(30, hit);
      case 0: return rout("CreateStepRepeat1", {at});
      case 1: return rout("DeleteStepRepeat1", {at});
      case 2: return rout("EditStepList1", {at});
      case 3: return rout("AutoStepRepeat1", {at});
      case 4: return otherLayer == layer ? rout("AddtoStepList1", {at, other}) : rout("ExpandSteps1", {at});
      case 5: return rout("ExpandSteps1", {at});
      case 6: return rout("DuplicateStepRepeat2", {at, hit});
      case 7: return rout("Delete1", {c1, c2});
      case 8: return rout("Move1", {c1, c2, c1, to});
      case 9: return rout("Tab1", {at, at});
      case 10: return rout("DoFirst1", {at});
      case 11: return rout("DoLast1", {at});
      case 12: return otherLayer == layer ? rout("DoBefore1", {at, other}) : rout("DoLast1", {at});
      case 13: return drill("CreateStepRepeat2", HitWindow(hit));
      case 14: return drill("DeleteStepRepeat2", HitWindow(hit));
      case 15: return drill("EditStepList2", HitWindow(hit));
      case 16: return drill("ExpandSteps2", HitWindow(hit));
      case 17: return drill("Delete1", {c1, c2});
      case 18: return drill("Move1", {c1, c2, c1, to});
      case 19: return drill("DuplicateStepRepeat2", {hit, hit, at});
      case 20: return rout("Copy1", {c1, c2, c1, to});
      case 21: return rout("Mirror1", {c1, c2, c1, to});
      case 22: return rout("Stretch1", {c1, c2, c1, to});
      case 23: return rout("Rotate1", {c1, c2, c1}, "90");
      case 24: return drill("Copy1", {c1, c2, c1, to});
      case 25: return drill("Flip1", {c1, c2});
      case 26: return drill("Rotate1", {c1, c2, c1}, "45");
      default: {
        const uint8_t next = kind % 2 == 1 ? layer : uint8_t(30);
        SelectLayer(next);
        return "switch to layer " + std::to_string(next);
      }
    }
  }
};

TEST_F(TRandomLayoutRedrawTest, TheScreenAfterEachCommandAndItsUndoAndRedoIsAFreshRedraw) {
  RegisterModalScript("TStepRepeatDialog", [](TForm& f) { f.Click("OKButton"); });
  for (uint32_t seed = 1; seed <= 10; ++seed) {
    Rng.seed(seed);
    TWorkspace& form = StartProgram();
    ASSERT_NE(OffscreenBitmap, nullptr);
    RTDB->AutoStepRepeat = {2, In / 2, 2, In * 3 / 4, false, true, true};
    BuildRandomJob(form);
    ViewServices().RedrawView();
    for (int k = 0; k < 8; ++k) {
      const std::string name = RandomCommand(form);
      SCOPED_TRACE("seed " + std::to_string(seed) + ", command " + std::to_string(k + 1) + ": " + name);
      EXPECT_EQ(DifferFromRedraw(), "") << "after the command";
      std::string done, redone;
      if (!ActiveUndo->CanUndo(done)) continue;
      Undo();
      EXPECT_EQ(DifferFromRedraw(), "") << "after its undo (" << done << ")";
      if (!ActiveUndo->CanRedo(redone)) continue;
      Redo();
      EXPECT_EQ(DifferFromRedraw(), "") << "after its redo (" << redone << ")";
    }
    DatabaseModified = false;
    CloseProgram();
  }
}

// Crossing paths of rout layers 40, 41 and 42, and crossing lines of CAD
// layers 0 and 1, over the axes: a path of layer 41 put back by Redo while
// 40 is current, and a switch of the current layer to the other and back
// in either editor; a redraw paints the current layer over the other and
// both over the axes.
TEST_F(TStepCommandsRedrawTest, ARedoOnAnotherLayerLeavesTheCurrentLayerOnTop) {
  StartProgram();
  ZeroZeroLines = true;
  for (const auto& [layer, from, to] : {std::tuple{0, TIntPoint{3 * In, 0}, TIntPoint{3 * In, 2 * In}},
                                        std::tuple{1, TIntPoint{0, In / 2}, TIntPoint{4 * In, In / 2}},
                                        std::tuple{40, TIntPoint{2 * In, 0}, TIntPoint{2 * In, 2 * In}},
                                        std::tuple{42, TIntPoint{0, In * 9 / 5}, TIntPoint{4 * In, In * 9 / 5}},
                                        std::tuple{41, TIntPoint{0, In}, TIntPoint{4 * In, In}}}) {
    SelectLayer(layer);
    ButtonManager().Press(59);
    Click(from.X, from.Y);
    Click(to.X, to.Y);
    ECO->CancelCommand();
  }
  ViewServices().ZoomWindow(-In, -In, 5 * In, 3 * In);
  SelectLayer(40);
  ViewServices().RedrawView();
  Undo();
  EXPECT_EQ(DifferFromRedraw(), "") << "after the undo";
  Redo();
  EXPECT_EQ(DifferFromRedraw(), "") << "after the redo";
  for (const uint8_t layer : {41, 40, 0, 1, 0}) {
    SelectLayer(layer);
    EXPECT_EQ(DifferFromRedraw(), "") << "after a switch to layer " << int(layer);
  }
  DatabaseModified = false;
}

}  // namespace
