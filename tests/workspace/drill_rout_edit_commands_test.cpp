// The drill Edit conversions, the window tool change, the rout compensation
// side, the cut-order moves and the step list duplicated between the drill
// and rout databases, run in the started program as a user runs them: a
// press, clicks and typed values; each run is one undo step.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <vector>

#include "command/argument_command.h"
#include "command/button_manager.h"
#include "command/user_panel.h"
#include "edit/entity_editors.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/undo_journal.h"
#include "platform/headless/headless_menus.h"
#include "platform/paths.h"
#include "routpath/auto_rout.h"
#include "routpath/edit_step_dialog.h"
#include "workspace/layer_dialogs.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class TDrillRoutEditTest : public TWorkspaceTest {
 protected:
  void SetUp() override {
    TWorkspaceTest::SetUp();
    ResetHeadlessDialogs();
  }
  void TearDown() override {
    SetEditStepDialog(nullptr);
    ResetHeadlessDialogs();
    TWorkspaceTest::TearDown();
  }
  static void Undo() { ButtonManager().Press(UndoCommand); }
  static void Redo() { ButtonManager().Press(RedoCommand); }
  static std::string LastStep() {
    std::string name;
    return ActiveUndo != nullptr && ActiveUndo->CanUndo(name) ? name : "";
  }
  // The live drill entities, one text each: "H x y t", "S x1 y1 x2 y2 t", "C x y r t".
  static std::vector<std::string> Drills() {
    std::vector<std::string> out;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      TDrillEntity* e = DRDB->EntityAt(i);
      if (e == nullptr || SlotDeleted(DRDB->WordAt(i))) continue;
      TIntPoint p, q;
      e->GetPoint(p);
      std::string t;
      switch (e->GetType()) {
        case etDrillHole: t = "H " + std::to_string(p.X) + " " + std::to_string(p.Y); break;
        case etDrillSlot:
          e->GetSecondPoint(q);
          t = "S " + std::to_string(p.X) + " " + std::to_string(p.Y) + " " + std::to_string(q.X) + " " +
              std::to_string(q.Y);
          break;
        case etDrillCircle:
          t = "C " + std::to_string(p.X) + " " + std::to_string(p.Y) + " " + std::to_string(e->GetRadius());
          break;
        default: t = "T"; break;
      }
      out.push_back(t + " t" + std::to_string(e->GetToolNumber()));
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // The path starts of a rout layer in cut order.
  static std::vector<int32_t> PathStarts(uint8_t layer) {
    std::vector<int32_t> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      if (TRoutEntity* e = RTDB->EntityAt(h); e != nullptr && IsPathStartType(e->GetType())) out.push_back(h);
    }
    return out;
  }
  // A rout line from a to b drawn with the line command: a path of its own.
  static int32_t DrawRoutLine(const TIntPoint& a, const TIntPoint& b) {
    ButtonManager().Press(59);
    Click(a.X, a.Y);
    Click(b.X, b.Y);
    ECO->CancelCommand();
    return Seq->FindPathJog(RoutEntityCount);
  }
  // Layer 40 in cut order: "J x y" (" sN" with a pattern of N copies), "L x y".
  static std::vector<std::string> RoutLayer() {
    std::vector<std::string> out;
    Seq->SetReadCursor(40, 1);
    for (int32_t h = Seq->NextVisible(40); h != 0; h = Seq->NextVisible(40)) {
      TRoutEntity* e = RTDB->EntityAt(h);
      std::string s = std::string(e->GetType() == etRoutJog ? "J " : "L ") + std::to_string(e->X / (In / 10)) +
                      " " + std::to_string(e->Y / (In / 10));
      if (e->GetType() == etRoutJog && e->GetStepObj() != nullptr)
        s += " s" + std::to_string(e->GetStepObj()->CopyCount());
      out.push_back(s);
    }
    return out;
  }
};

TEST_F(TDrillRoutEditTest, HolesBecomeSlotsAndCirclesAndASlotIsDroppedAtAPoint) {
  StartProgram();
  SelectLayer(30);
  ASSERT_EQ(ECO->Mode(), 0);
  DRDB->CurrentTool = 3;
  DRDB->DrilledSlots.Angle = 0.0;
  DRDB->DrilledSlots.Length = In / 2;
  DRDB->DrilledCircleRadius = In / 4;
  ASSERT_NE(DRDB->AddHole(In, In, true), 0);
  ASSERT_NE(DRDB->AddHole(3 * In, In, true), 0);
  ASSERT_NE(DRDB->AddHole(5 * In, In, true), 0);
  DrillUndo->Reset();
  const std::vector<std::string> holes = Drills();

  // Hole to slot: the drilled-slot length along the angle, centred on the hole.
  ASSERT_TRUE(ButtonManager().Press(50));
  Click(In, In);
  ECO->CancelCommand();
  const std::vector<std::string> slotted = Drills();
  EXPECT_EQ(slotted, (std::vector<std::string>{"H 127000000 25400000 t3", "H 76200000 25400000 t3",
                                               "S 19050000 25400000 31750000 25400000 t3"}));
  EXPECT_EQ(LastStep(), "Convert Hole to Slot");
  // A slot is no hole: the pick is refused and nothing changes.
  ButtonManager().Press(44);
  Click(In, In);
  ECO->CancelCommand();
  EXPECT_EQ(Drills(), slotted);
  // Hole to circle.
  ButtonManager().Press(44);
  Click(5 * In, In);
  ECO->CancelCommand();
  EXPECT_EQ(LastStep(), "Hole to Circle");
  EXPECT_EQ(Drills().front(), "C 127000000 25400000 6350000 t3");
  Undo();
  EXPECT_EQ(Drills(), slotted);
  Undo();
  EXPECT_EQ(Drills(), holes);
  Redo();
  EXPECT_EQ(Drills(), slotted);
}

TEST_F(TDrillRoutEditTest, TwoHolesJoinIntoOneSlotAndASingleHoleSlotIsOneStep) {
  StartProgram();
  SelectLayer(30);
  DRDB->CurrentTool = 2;
  DRDB->DrilledSlots.Angle = 90.0;
  DRDB->DrilledSlots.Length = In;
  ASSERT_NE(DRDB->AddHole(0, 0, true), 0);
  ASSERT_NE(DRDB->AddHole(2 * In, 0, true), 0);
  DrillUndo->Reset();
  const std::vector<std::string> holes = Drills();
  ASSERT_TRUE(ButtonManager().Press(13));
  Click(0, 0);
  Click(0, 0);  // the pick cycle has no other hole here: nothing is picked
  Click(0, 0);  // the cycle starts again: the same hole twice is refused
  EXPECT_EQ(Drills(), holes);
  Click(0, 0);
  Click(2 * In, 0);
  ECO->CancelCommand();
  EXPECT_EQ(Drills(), (std::vector<std::string>{"S 0 0 50800000 0 t2"}));
  EXPECT_EQ(LastStep(), "Two Holes to Slot");

  ASSERT_TRUE(ButtonManager().Press(103));
  Click(4 * In, 0);
  ECO->CancelCommand();
  EXPECT_EQ(Drills(), (std::vector<std::string>{"S 0 0 50800000 0 t2", "S 101600000 -12700000 101600000 12700000 t2"}));
  EXPECT_EQ(LastStep(), "Single Hole Slot");
  Undo();
  Undo();
  EXPECT_EQ(Drills(), holes);
}

// A hole on a layer that is displayed but not active can be picked, but the
// conversions leave it alone.
TEST_F(TDrillRoutEditTest, HoleConversionsChangeOnlyHolesOfActiveLayers) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  DRDB->CurrentTool = 2;
  DRDB->DrilledSlots.Angle = 0.0;
  DRDB->DrilledSlots.Length = In / 2;
  const int32_t hidden = DRDB->AddHoleOnLayer(In, In, 31, 2, true);
  const int32_t shown = DRDB->AddHole(3 * In, In, true);
  ASSERT_NE(hidden, 0);
  ASSERT_NE(shown, 0);
  DrillUndo->Reset();
  QueueModalScript("TLayerDialog", [](TForm& form) {
    auto& f = static_cast<TLayerDialog&>(form);
    f.Active(31).Click();
    f.Click("OKButton");
  });
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&Layers|&Layer Control"));
  ASSERT_TRUE(LayerDisplayed(31));
  ASSERT_FALSE(LayerActive(31));
  const std::vector<std::string> holes = Drills();
  const std::size_t beeps = Beeps().size();

  for (int32_t command : {50, 44}) {
    ASSERT_TRUE(ButtonManager().Press(command));
    Click(In, In);
    ECO->CancelCommand();
  }
  ASSERT_TRUE(ButtonManager().Press(13));
  Click(3 * In, In);
  Click(In, In);
  ECO->CancelCommand();
  EXPECT_EQ(Drills(), holes);
  EXPECT_EQ(Beeps().size(), beeps + 3);
  EXPECT_EQ(LastStep(), "");
  // The hole on the inactive layer stays when a slot is dropped on it; the
  // slot goes to the current layer.
  ASSERT_TRUE(ButtonManager().Press(103));
  Click(In, In);
  ECO->CancelCommand();
  ASSERT_EQ(Drills().size(), 3u);
  EXPECT_TRUE(SlotHasBit(DRDB->WordAt(hidden), NCLayerBit(31)));
  EXPECT_FALSE(SlotDeleted(DRDB->WordAt(hidden)));
  EXPECT_TRUE(SlotHasBit(DRDB->WordAt(DrillEntityCount), NCLayerBit(30)));
  // The active layer's hole still converts.
  ASSERT_TRUE(ButtonManager().Press(44));
  Click(3 * In, In);
  ECO->CancelCommand();
  EXPECT_EQ(LastStep(), "Hole to Circle");
  EXPECT_TRUE(SlotDeleted(DRDB->WordAt(shown)));
}

TEST_F(TDrillRoutEditTest, PicksAtOneSpotStepThroughStackedHitsAndTwoOfThemMakeASlot) {
  StartProgram();
  SelectLayer(30);
  DRDB->CurrentTool = 2;
  const int32_t first = DRDB->AddHole(In, In, true);
  ASSERT_NE(first, 0);
  ASSERT_NE(DRDB->AddHole(In, In, true), 0);
  ASSERT_NE(DRDB->AddHole(In, In, true), 0);
  ASSERT_NE(DRDB->AddHole(3 * In, In, true), 0);
  const int32_t aperture = CommandServices.Aperture();
  // The picks a PICK argument makes, one click after another.
  auto pick = [&](int32_t x, int32_t y) { return CommandServices.Pick(x, y, aperture, 0); };
  EXPECT_EQ(pick(In, In), first);
  EXPECT_TRUE(DRDB->PickMarkShown);
  EXPECT_EQ(pick(In, In), first + 1);
  EXPECT_TRUE(DRDB->MultipleNoticeShown);
  EXPECT_EQ(pick(In, In), first + 2);
  EXPECT_EQ(pick(In, In), 0);
  EXPECT_EQ(pick(In, In), first);
  // The pointer moving away starts a new cycle there; the command ending
  // takes the marks away.
  EXPECT_EQ(pick(In, In), first + 1);
  TInputEvent move;
  move.Kind = ievMouseMove;
  move.WorldX = 3 * In;
  move.WorldY = In;
  ECO->HandleEvent(move);
  EXPECT_FALSE(DRDB->PickMarkShown);
  move.WorldX = In;
  ECO->HandleEvent(move);
  EXPECT_EQ(pick(In, In), first);

  // Convert Holes to Slot on two stacked hits picks both.
  DrillUndo->Reset();
  ECO->CancelCommand();
  EXPECT_FALSE(DRDB->PickMarkPending);
  ASSERT_TRUE(ButtonManager().Press(13));
  Click(In, In);
  Click(In, In);
  ECO->CancelCommand();
  EXPECT_EQ(LastStep(), "Two Holes to Slot");
  EXPECT_EQ(Drills(), (std::vector<std::string>{"H 25400000 25400000 t2", "H 76200000 25400000 t2",
                                                "S 25400000 25400000 25400000 25400000 t2"}));
}

TEST_F(TDrillRoutEditTest, InspectStepsThroughStackedHitsClickByClick) {
  StartProgram();
  SelectLayer(30);
  for (int32_t tool : {1, 2, 3}) {
    DRDB->CurrentTool = tool;
    ASSERT_NE(DRDB->AddHole(In, In, true), 0);
  }
  // The tool the entity editor shows on its template line, 0 when none edits.
  auto edited = [] {
    if (!ECO->Inspecting() || UserPanel == nullptr) return 0;
    for (int line = 1; line <= 2; ++line) {
      const std::string& text = UserPanel->PromptLine(line);
      size_t at = text.find("Tool = ");
      if (at == std::string::npos) continue;
      at = text.find_first_of("0123456789", at);
      if (at != std::string::npos) return std::atoi(text.c_str() + at);
    }
    return -1;
  };
  ASSERT_TRUE(ButtonManager().Press(78));
  Click(In, In);
  EXPECT_EQ(edited(), 1);
  EXPECT_TRUE(DRDB->PickMarkShown);
  // A click at the spot while editing takes the next hit stacked there.
  Click(In, In);
  EXPECT_EQ(edited(), 2);
  EXPECT_TRUE(DRDB->MultipleNoticeShown);
  Click(In, In);
  EXPECT_EQ(edited(), 3);
  Click(In, In);  // every hit was shown: this pick fails and the cycle restarts
  EXPECT_EQ(edited(), 0);
  Click(In, In);
  EXPECT_EQ(edited(), 1);
  // Escape ends the edit and the cycle: the next click starts at the first.
  TInputEvent esc;
  esc.Kind = ievKey;
  esc.Flags[0] = uint8_t(vkEscape);
  ECO->HandleEvent(esc);
  EXPECT_FALSE(ECO->Inspecting());
  EXPECT_FALSE(DRDB->PickMarkPending);
  ButtonManager().Press(78);
  Click(In, In);
  EXPECT_EQ(edited(), 1);
  // Nothing was changed by looking.
  EXPECT_EQ(Drills(), (std::vector<std::string>{"H 25400000 25400000 t1", "H 25400000 25400000 t2",
                                                "H 25400000 25400000 t3"}));
}

TEST_F(TDrillRoutEditTest, WindowToolChangeGivesTheHitsInsideTheTypedTool) {
  StartProgram();
  SelectLayer(30);
  DRDB->CurrentTool = 1;
  ASSERT_NE(DRDB->AddHole(In, In, true), 0);
  ASSERT_NE(DRDB->AddSlot(In, 2 * In, 2 * In, 2 * In, true), 0);
  ASSERT_NE(DRDB->AddHole(9 * In, 9 * In, true), 0);
  DrillUndo->Reset();
  const std::vector<std::string> before = Drills();
  ASSERT_TRUE(ButtonManager().Press(115));
  Click(0, 0);
  Click(3 * In, 3 * In);
  // Tool numbers outside 1..1000 are refused by the field.
  ECO->EnterText("1001");
  ECO->EnterText("0");
  EXPECT_EQ(Drills(), before);
  ECO->EnterText("7");
  ECO->CancelCommand();
  EXPECT_EQ(Drills(), (std::vector<std::string>{"H 228600000 228600000 t1", "H 25400000 25400000 t7",
                                                "S 25400000 50800000 50800000 50800000 t7"}));
  EXPECT_EQ(LastStep(), "Window Tool Change");
  EXPECT_TRUE(ActiveTools[7]);
  Undo();
  EXPECT_EQ(Drills(), before);
}

TEST_F(TDrillRoutEditTest, TheCompensationSideFollowsTheButtonsAndTheMenuShowsIt) {
  TWorkspace& form = StartProgram();
  // Start-up pressed the button of RTDB's side and ticked its item.
  const int32_t commands[] = {47, 46, 48};
  const char* items[] = {"None1", "Left1", "Right1"};
  const uint8_t side = RTDB->AutoRoutCompensation;
  EXPECT_TRUE(ButtonManager().IsDown(commands[side]));
  EXPECT_TRUE(form.MenuItem(emRout, items[side])->Checked());
  SelectLayer(40);
  TMenuItem* left = form.MenuItem(emRout, "Left1");
  left->OnClick(*left);
  EXPECT_EQ(RTDB->AutoRoutCompensation, 1);
  EXPECT_TRUE(ButtonManager().IsDown(46));
  EXPECT_FALSE(ButtonManager().IsDown(48));
  EXPECT_TRUE(left->Checked());
  EXPECT_FALSE(form.MenuItem(emRout, "None1")->Checked());
  // A new path takes the side.
  const int32_t jog = DrawRoutLine({0, 0}, {In, 0});
  ASSERT_NE(RTDB->EntityAt(jog), nullptr);
  EXPECT_EQ(RTDB->EntityAt(jog)->GetComp(), 1);
  // The tool button changes it too; the Modify menu shows it when it drops down.
  ButtonManager().Press(47);
  EXPECT_EQ(RTDB->AutoRoutCompensation, 0);
  form.MenuItem(emRout, "Modify2")->DropDown();
  EXPECT_TRUE(form.MenuItem(emRout, "None1")->Checked());
  EXPECT_FALSE(left->Checked());
}

TEST_F(TDrillRoutEditTest, TheRoutEditMenusUndoFollowsTheRoutJournal) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  TMenuItem* undo = form.MenuItem(emRout, "Undo2");
  ASSERT_NE(undo, nullptr);
  form.MenuItem(emRout, "Modify2")->DropDown();  // nothing to undo yet
  EXPECT_FALSE(undo->Enabled());
  const int32_t jog = DrawRoutLine({0, 0}, {In, 0});
  ASSERT_NE(RTDB->EntityAt(jog), nullptr);
  // Opening the Edit menu itself, or its shortcut, finds the step.
  form.MenuItem(emRout, "Edit2")->DropDown();
  EXPECT_TRUE(undo->Enabled());
  EXPECT_TRUE(form.Menu()->ClickShortCut("Alt+Backspace"));
  EXPECT_TRUE(SlotDeleted(RTDB->SlotAt(jog)->Flags));
}

TEST_F(TDrillRoutEditTest, DoFirstDoBeforeAndDoLastReorderTheLayersPaths) {
  StartProgram();
  SelectLayer(40);
  ASSERT_EQ(ECO->Mode(), 1);
  const int32_t a = DrawRoutLine({0, 0}, {In, 0});
  const int32_t b = DrawRoutLine({0, In}, {In, In});
  const int32_t c = DrawRoutLine({0, 2 * In}, {In, 2 * In});
  ASSERT_EQ(PathStarts(40), (std::vector<int32_t>{a, b, c}));
  const int32_t entries = Seq->Count(40);

  ASSERT_TRUE(ButtonManager().Press(25));
  Click(In / 2, 2 * In);  // on c's line
  ECO->CancelCommand();
  EXPECT_EQ(PathStarts(40), (std::vector<int32_t>{c, a, b}));
  EXPECT_EQ(LastStep(), "Do First");
  // Each path keeps its line behind its jog.
  EXPECT_EQ(Seq->HandleAt(40, 2), c + 1);
  EXPECT_EQ(Seq->Count(40), entries);

  ASSERT_TRUE(ButtonManager().Press(27));
  Click(In / 2, 2 * In);
  ECO->CancelCommand();
  EXPECT_EQ(PathStarts(40), (std::vector<int32_t>{a, b, c}));

  // b before a; then a path before itself is refused.
  ASSERT_TRUE(ButtonManager().Press(22));
  Click(In / 2, In);
  Click(In / 2, 0);
  EXPECT_EQ(PathStarts(40), (std::vector<int32_t>{b, a, c}));
  EXPECT_EQ(LastStep(), "Do Before");
  Click(In / 2, 0);
  Click(In / 2, 0);
  ECO->CancelCommand();
  EXPECT_EQ(PathStarts(40), (std::vector<int32_t>{b, a, c}));

  Undo();
  EXPECT_EQ(PathStarts(40), (std::vector<int32_t>{a, b, c}));
  Undo();
  EXPECT_EQ(PathStarts(40), (std::vector<int32_t>{c, a, b}));
  Redo();
  Redo();
  EXPECT_EQ(PathStarts(40), (std::vector<int32_t>{b, a, c}));
}

// With Full Width on, a click on the drawn kerf of a path picks it, beside
// its centre line as far as the tool reaches.
TEST_F(TDrillRoutEditTest, AFullWidthPathIsPickedOnItsDrawnKerf) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  const int32_t a = DrawRoutLine({0, 0}, {In, 0});
  const int32_t c = DrawRoutLine({0, In}, {In, In});
  const int32_t aperture = CommandServices.Aperture();
  for (int32_t t = 1; t <= kToolCount; ++t) RoutToolPages[40][t].Diameter = 8 * aperture;
  for (bool fullWidth : {false, true}) {
    if (DisplayRoutsFullWidth != fullWidth) Run(form, emRout, "FullWidth1");
    ASSERT_TRUE(ButtonManager().Press(25));
    Click(In / 2, In + 3 * aperture);
    ECO->CancelCommand();
    EXPECT_EQ(PathStarts(40), (fullWidth ? std::vector<int32_t>{c, a} : std::vector<int32_t>{a, c}));
  }
}

// The cut-order moves keep the order they found when the sequence cache
// cannot be written, and say so.
TEST_F(TDrillRoutEditTest, CutOrderMovesReportASequenceCacheThatCannotBeWritten) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  const int32_t a = DrawRoutLine({0, 0}, {In, 0});
  const int32_t b = DrawRoutLine({0, In}, {In, In});
  const int32_t c = DrawRoutLine({0, 2 * In}, {In, 2 * In});
  const std::vector<int32_t> order{a, b, c};
  ASSERT_EQ(PathStarts(40), order);
  const std::string before = LastStep();
  // A folder where the cache file goes.
  const std::filesystem::path cache = NativePath(ExecutionPath() + "UNDOSEQ.LOG");
  std::filesystem::remove(cache);
  ASSERT_TRUE(std::filesystem::create_directory(cache));
  const std::string text = "File access error creating sequence cache!";
  ResetHeadlessDialogs();

  Run(form, emRout, "DoFirst1");
  Click(In / 2, 2 * In);
  ECO->CancelCommand();
  Run(form, emRout, "DoLast1");
  Click(In / 2, 0);
  ECO->CancelCommand();
  Run(form, emRout, "DoBefore1");
  Click(In / 2, 2 * In);
  Click(In / 2, 0);
  ECO->CancelCommand();
  EXPECT_EQ(PathStarts(40), order);
  EXPECT_EQ(LastStep(), before);
  ASSERT_EQ(ShownMessageBoxes().size(), 3u);
  for (const auto& box : ShownMessageBoxes()) {
    EXPECT_EQ(box.Text, text);
    EXPECT_EQ(box.Type, mtError);
  }

  // With the cache writable again the move is made.
  std::filesystem::remove(cache);
  Run(form, emRout, "DoFirst1");
  Click(In / 2, 2 * In);
  ECO->CancelCommand();
  EXPECT_EQ(PathStarts(40), (std::vector<int32_t>{c, a, b}));
  EXPECT_EQ(LastStep(), "Do First");
  EXPECT_EQ(ShownMessageBoxes().size(), 3u);
}

TEST_F(TDrillRoutEditTest, DuplicateStepAndRepeatTakesTheRoutPathsListForDrillHitsAndBack) {
  StartProgram();
  SetEditStepDialog([](TEditStepLists& lists) {
    lists[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, 10000, 0, 0}, {0, 1, 0, 0, 0}};
    return true;
  });
  SelectLayer(40);
  const int32_t jog = DrawRoutLine({0, 0}, {In, 0});
  // A step list on the path (its start is replaced by a copy that carries it).
  ASSERT_TRUE(ButtonManager().Press(18));
  Click(In / 2, 0);
  ECO->CancelCommand();
  ASSERT_NE(RTDB->EntityAt(Seq->FindPathJog(jog + 1))->GetStepObj(), nullptr);

  SelectLayer(30);
  const int32_t hole = DRDB->AddHole(3 * In, 3 * In, true);
  ASSERT_NE(hole, 0);
  DrillUndo->Reset();
  ASSERT_TRUE(ButtonManager().Press(32));
  Click(2 * In, 2 * In);
  Click(4 * In, 4 * In);
  Click(5 * In, 5 * In);  // no rout path near: nothing is copied
  EXPECT_EQ(DRDB->EntityAt(DrillEntityCount)->GetStepObj(), nullptr);
  Click(2 * In, 2 * In);
  Click(4 * In, 4 * In);
  Click(In / 2, 0);
  ECO->CancelCommand();
  EXPECT_EQ(LastStep(), "Duplicate Step && Re");
  EXPECT_NE(DRDB->EntityAt(DrillEntityCount)->GetStepObj(), nullptr);
  Undo();
  EXPECT_EQ(Drills(), (std::vector<std::string>{"H 76200000 76200000 t" +
                                                std::to_string(DRDB->EntityAt(hole)->GetToolNumber())}));
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (!SlotDeleted(DRDB->WordAt(i))) EXPECT_EQ(DRDB->EntityAt(i)->GetStepObj(), nullptr);

  // From the rout side: a second path takes the drill hit's list.
  Redo();
  SelectLayer(40);
  const int32_t other = DrawRoutLine({0, 4 * In}, {In, 4 * In});
  ASSERT_TRUE(ButtonManager().Press(32));
  Click(In / 2, 4 * In);
  Click(3 * In, 3 * In);
  ECO->CancelCommand();
  EXPECT_NE(RTDB->EntityAt(Seq->FindPathJog(other + 1))->GetStepObj(), nullptr);
}

// Expand Steps on a path of a jog and two lines, picked at its last line:
// every copy of its pattern is the whole path, one undo step; without room
// for the whole path's copies nothing changes and the box counts them all.
TEST_F(TDrillRoutEditTest, ExpandStepsCopiesTheWholePickedPath) {
  TWorkspace& form = StartProgram();
  SetEditStepDialog([](TEditStepLists& lists) {
    lists[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 3, 2 * In, 0, 0}, {0, 1, 0, 0, 0}};
    return true;
  });
  SelectLayer(40);
  DrawRoutLine({0, 0}, {In, 0});
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  RoutUndo->BeginOperation("Line");
  ASSERT_EQ(RoutLayer(), (std::vector<std::string>{"J 0 0", "L 10 0", "L 10 10"}));
  ASSERT_TRUE(ButtonManager().Press(18));
  Click(In / 2, 0);
  ECO->CancelCommand();
  const std::vector<std::string> stepped{"J 0 0 s3", "L 10 0", "L 10 10"};
  ASSERT_EQ(RoutLayer(), stepped);
  const std::string created = LastStep();

  Run(form, emRout, "ExpandSteps1");
  Click(In, In / 2);
  ECO->CancelCommand();
  const std::vector<std::string> expanded{"J 0 0",  "L 10 0",  "L 10 10", "J 20 0", "L 30 0", "L 30 10",
                                          "J 40 0", "L 50 0", "L 50 10", "J 60 0", "L 70 0", "L 70 10"};
  EXPECT_EQ(RoutLayer(), expanded);
  EXPECT_TRUE(ShownMessageBoxes().empty()) << LastBox();
  EXPECT_EQ(LastStep(), "Expand Step && Repea");
  Undo();
  EXPECT_EQ(RoutLayer(), stepped);
  EXPECT_EQ(LastStep(), created);
  Redo();
  EXPECT_EQ(RoutLayer(), expanded);
  Undo();

  // A clone of the start and three copies of three entities: 10 slots.
  while (RoutEntityCount < TRoutEntities::HighestIndex - 9) ASSERT_NE(RTDB->AddHole({-9 * In, 0}, 44, 1), 0);
  RoutUndo->BeginOperation("Filled");
  const int32_t count = RoutEntityCount;
  Run(form, emRout, "ExpandSteps1");
  Click(In / 2, 0);
  ECO->CancelCommand();
  EXPECT_EQ(LastBox(), "The rout database is full: it holds at most 100,000 entities.\r\nExpanding the steps "
                       "needs 10 more; there is room for 9.\r\nNothing was changed.");
  EXPECT_EQ(RoutEntityCount, count);
  EXPECT_EQ(RoutLayer(), stepped);
  EXPECT_EQ(LastStep(), "Filled");
}

}  // namespace

TEST_F(TDrillRoutEditTest, TheSlotAndCircleDefaultsAreSetFromTheDrillEditMenu) {
  StartProgram();
  SelectLayer(30);
  DRDB->CurrentTool = 1;
  ASSERT_NE(DRDB->AddHole(In, In, true), 0);
  ASSERT_NE(DRDB->AddHole(3 * In, In, true), 0);
  DrillUndo->Reset();
  QueueModalScript("TSlotConfigDialog", [](TForm& f) {
    f.Get<TEdit>("AngleEdit").SetFocus();
    f.Get<TEdit>("AngleEdit").SetText("90");
    f.Get<TEdit>("LengthEdit").SetFocus();
    f.Get<TEdit>("LengthEdit").SetText("0.2");
    f.Click("OKButton");
  });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|Slot Configuration"));
  QueueModalScript("TCircleConfigDialog", [](TForm& f) {
    f.Get<TEdit>("RadiusEdit").SetFocus();
    f.Get<TEdit>("RadiusEdit").SetText("0.1");
    f.Click("OKButton");
  });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|Circle Configuration"));
  EXPECT_EQ(HeadlessViewServices().ModalDepth, 0);
  // Single Hole Slot, Convert Hole to Slot and Convert Hole to Circle use them.
  ButtonManager().Press(103);
  Click(5 * In, 0);
  ECO->CancelCommand();
  ButtonManager().Press(50);
  Click(In, In);
  ECO->CancelCommand();
  ButtonManager().Press(44);
  Click(3 * In, In);
  ECO->CancelCommand();
  EXPECT_EQ(Drills(), (std::vector<std::string>{"C 76200000 25400000 2540000 t1",
                                                "S 127000000 -2540000 127000000 2540000 t1",
                                                "S 25400000 22860000 25400000 27940000 t1"}));
  // A cancelled dialog changes nothing.
  QueueModalScript("TCircleConfigDialog", [](TForm& f) {
    f.Get<TEdit>("RadiusEdit").SetText("0.3");
    f.Click("CancelButton");
  });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|Circle Configuration"));
  EXPECT_EQ(DRDB->DrilledCircleRadius, In / 10);
}

TEST_F(TDrillRoutEditTest, AutoRoutOutsideRoutsAWindowOfBoardsAsOneStep) {
  StartProgram();
  SelectLayer(40);
  ASSERT_EQ(ECO->Mode(), 1);
  // A panel of 40 boards, 1 x 0.5 in, 8 across and 5 up.
  for (int row = 0; row < 5; ++row)
    for (int col = 0; col < 8; ++col) {
      const int32_t x = col * 3 * In / 2, y = row * In;
      DB->AddLineOnLayer(x, y, x + In, y, 0);
      DB->AddLineOnLayer(x + In, y, x + In, y + In / 2, 0);
      DB->AddLineOnLayer(x + In, y + In / 2, x, y + In / 2, 0);
      DB->AddLineOnLayer(x, y + In / 2, x, y, 0);
    }
  RoutUndo->Reset();
  ASSERT_TRUE(ButtonManager().Press(AutoRoutOutsideCommand));
  Click(-In, -In);  // nothing there: a window opens
  EXPECT_EQ(UserPanel->PromptLine(3), "Select opposite corner of window > ");
  Click(13 * In, 6 * In);
  ECO->CancelCommand();
  const std::vector<int32_t> paths = PathStarts(40);
  ASSERT_EQ(paths.size(), 40u);
  // Nearest first from the origin: the first path is the board at the origin.
  TIntPoint first;
  RTDB->EntityAt(paths.front())->GetPoint(first);
  EXPECT_LT(first.X, In + In / 2);
  EXPECT_LT(first.Y, In);
  EXPECT_EQ(LastStep(), "auto rout outside");
  auto live = [] {
    int32_t n = 0;
    for (int32_t i = 1; i <= RoutEntityCount; ++i)
      if (RTDB->EntityAt(i) != nullptr && !SlotDeleted(RTDB->SlotAt(i)->Flags)) ++n;
    return n;
  };
  const int32_t routed = live();
  Undo();
  EXPECT_EQ(live(), 0) << "one step takes the whole panel back";
  EXPECT_EQ(LastStep(), "");
  Redo();
  EXPECT_EQ(live(), routed);
}

// A board routed outside once is not routed again: a second pick on it is
// refused with a box and changes nothing; a window over it and a board not
// yet routed routs that one only, the routed one named in the warning.
TEST_F(TDrillRoutEditTest, AutoRoutOutsideRefusesASecondPathOnARoutedProfile) {
  StartProgram();
  SelectLayer(40);
  for (const int32_t x : {0, 2 * In}) {
    DB->AddLineOnLayer(x, 0, x + In, 0, 0);
    DB->AddLineOnLayer(x + In, 0, x + In, In / 2, 0);
    DB->AddLineOnLayer(x + In, In / 2, x, In / 2, 0);
    DB->AddLineOnLayer(x, In / 2, x, 0, 0);
  }
  RoutUndo->Reset();
  // The starts of the live paths.
  auto starts = [] {
    std::vector<int32_t> out;
    for (int32_t h : PathStarts(40))
      if (!SlotDeleted(RTDB->SlotAt(h)->Flags)) out.push_back(h);
    return out;
  };
  ASSERT_TRUE(ButtonManager().Press(AutoRoutOutsideCommand));
  Click(In / 2, 0);
  const std::vector<int32_t> once = starts();
  ASSERT_EQ(once.size(), 1u);
  const int32_t count = RoutEntityCount;
  EXPECT_EQ(LastStep(), "auto rout outside");
  EXPECT_TRUE(ShownMessageBoxes().empty()) << LastBox();

  Click(In, In / 4);  // another side of the same board
  EXPECT_EQ(LastBox(), "This profile is routed on layer R0 already: a second path would rout it twice.\r\n"
                       "Nothing was changed.");
  EXPECT_EQ(starts(), once);
  for (int32_t h = count + 1; h <= RoutEntityCount; ++h) EXPECT_TRUE(SlotDeleted(RTDB->SlotAt(h)->Flags));

  std::vector<std::string> warnings;
  QueueModalScript("TSuppressDialog", [&](TForm& f) {
    warnings.push_back(f.Get<TLabel>("WarningLabel").Caption());
    f.Click("OKButton");
  });
  Click(-In, -In);
  Click(4 * In, In);
  ECO->CancelCommand();
  EXPECT_EQ(warnings, (std::vector<std::string>{"This profile is routed on layer R0 already: a second path would "
                                                "rout it twice.\r\nNothing was changed."}));
  const std::vector<int32_t> twice = starts();
  ASSERT_EQ(twice.size(), 2u);
  TIntPoint second;
  RTDB->EntityAt(twice.back())->GetPoint(second);
  EXPECT_GT(second.X, In + In / 2);
  Undo();
  EXPECT_EQ(starts(), once);
  Undo();
  EXPECT_TRUE(starts().empty());

  // The drill text typed on a rout layer is refused, naming it as the
  // layer bar does.
  Type(*Form, "DT");
  Click(In, In);
  Type(*Form, "AB");
  EXPECT_EQ(LastBox(), "Layer R0 is not a drill layer.");
}
