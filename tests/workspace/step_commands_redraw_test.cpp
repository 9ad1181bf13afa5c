// The screen after each step command of the drill and rout editors, and
// after its Undo and Redo, pixel for pixel against a fresh redraw of the
// job: a one-slot rout layer, a tabbed profile, drill hits with a slot and
// a circle, under plain, nested, rotated and mirrored patterns.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <iomanip>
#include <map>
#include <sstream>
#include <string>
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
  // What the screen picture shows otherwise than a fresh redraw of the job.
  static std::string DifferFromRedraw() {
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
    {"rout delete on a slot", emRout, "DeleteStepRepeat1", {Up}, {OnSlot}, {}, {}},
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
    // The axes off: an erase paints the background over whatever lies
    // under what it erases, and copies cross the axes.
    ZeroZeroLines = false;
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
    EXPECT_EQ(DifferFromRedraw(), "") << "after " << done;
    Undo();
    EXPECT_EQ(DifferFromRedraw(), "") << "after its undo";
    Redo();
    EXPECT_EQ(DifferFromRedraw(), "") << "after its redo";
    DatabaseModified = false;
    CloseProgram();
  }
}

}  // namespace
