// Scripted Inspect sessions on the drill, rout and CAD layers: the entity is
// picked through ECO, its fields are typed on the command panel, and the
// stores are compared before and after the edit, after Undo and after Redo.
#include <gtest/gtest.h>

#include <algorithm>

#include "cleanup_test_support.h"
#include "command/argument_command.h"
#include "command/button_manager.h"
#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/user_panel.h"
#include "edit/edit_commands.h"
#include "edit/entity_editors.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/undo_journal.h"
#include "platform/headless/headless_dialogs.h"
#include "model/tool_tables.h"
#include "model/view_services.h"

namespace {

using V = std::vector<std::string>;
constexpr int32_t In = 25400000;
constexpr const char* Prompt3 = "Use mouse to select, <Esc> to abort, <Enter> to save changes > ";

class TEntityEditorTest : public TCleanupTest {
 protected:
  void SetUp() override {
    TCleanupTest::SetUp();
    SavedVersion = Version;
    SavedHeadUpMoves = HeadUpMoves;
    Version = 1;
    ToolTable.Fill(TToolRecord{});
    ActiveTools.Fill(true);
    for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
      RoutLayerTools[l] = {};
      RoutToolPages[l].Fill({});
    }
    RoutToolPages[40][1].HighFeed = 40 * 127;
    RoutToolPages[40][1].Diameter = In / 8;
    DrillUndo = new TDrillUndo();
    DRDB = new TDrillDatabase();
    RoutUndo = new TRoutUndo();
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
    ECO = new TCommandInterpreter();
    UserPanel = new TUserPanel();
    ButtonManagerObject = new TButtonManager();
    ButtonManagerObject->AddButtons(nullptr);
    DefineEditCommands();
    CommandServices.Aperture = [] { return int32_t(254000); };
    EditLayerActive = nullptr;
    DrilledTextDialog = nullptr;
    FeedScopeDialog = nullptr;
  }
  void TearDown() override {
    delete ECO;
    ECO = nullptr;
    delete ButtonManagerObject;
    ButtonManagerObject = nullptr;
    delete UserPanel;
    UserPanel = nullptr;
    CommandServices.Aperture = nullptr;
    EditLayerActive = nullptr;
    DrilledTextDialog = nullptr;
    FeedScopeDialog = nullptr;
    delete Seq;
    Seq = nullptr;
    delete RTDB;
    RTDB = nullptr;
    delete RoutUndo;
    RoutUndo = nullptr;
    delete DRDB;
    DRDB = nullptr;
    delete DrillUndo;
    DrillUndo = nullptr;
    Version = SavedVersion;
    HeadUpMoves = SavedHeadUpMoves;
    TCleanupTest::TearDown();
  }
  uint8_t SavedVersion = 1;
  bool SavedHeadUpMoves = false;

  void DrillMode() {
    ECO->EnterDrillMode();
    EditorMode = emDrill;
    ActiveUndo = DrillUndo;
    CurrentLayer = 30;
  }
  void RoutMode() {
    ECO->EnterRoutMode();
    EditorMode = emRout;
    ActiveUndo = RoutUndo;
    CurrentLayer = 40;
    RTDB->PathState[40].Tool = 1;
    RTDB->PathState[40].CompIndex = 1;
    Seq->SetInsertAtEnd(40);
  }

  // Inspect, then a click on the entity.
  static void Inspect(int32_t x, int32_t y) {
    ButtonManager().Press(78);
    TInputEvent e;
    e.Kind = ievMouseDown;
    e.Buttons = mbtLeft;
    e.WorldX = x;
    e.WorldY = y;
    ECO->HandleEvent(e);
  }
  static void Key(uint16_t key) {
    TInputEvent e;
    e.Kind = ievKey;
    e.Flags[0] = uint8_t(key);
    ECO->HandleEvent(e);
  }
  static int FieldOf(uint8_t code) {
    const auto& fields = UserPanel->Fields();
    for (size_t i = 0; i < fields.size(); ++i)
      if (fields[i].Code == code) return int(i);
    return -1;
  }
  // Types a value into the field of the code; false when refused or absent.
  static bool Set(uint8_t code, const std::string& text) {
    const int i = FieldOf(code);
    return i >= 0 && UserPanel->AcceptField(i, text);
  }
  static bool Choose(uint8_t code) {
    const int i = FieldOf(code);
    return i >= 0 && UserPanel->ChooseField(i);
  }
  static std::string LastBox() {
    return ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text;
  }
  static std::string UndoName() {
    std::string name;
    return ActiveUndo->CanUndo(name) ? name : "-";
  }
  static void Undo() { ButtonManager().Press(UndoCommand); }
  static void Redo() { ButtonManager().Press(RedoCommand); }

  // Live drill entities with every field, sorted.
  static V Drill() {
    V out;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      if (SlotDeleted(DRDB->WordAt(i))) continue;
      TDrillEntity* e = DRDB->EntityAt(i);
      std::string s = std::to_string(e->GetType()) + " " + std::to_string(e->X) + "," +
                      std::to_string(e->Y) + " t" + std::to_string(e->Tool) + " w" +
                      std::to_string(DRDB->WordAt(i));
      if (auto* slot = dynamic_cast<TDrillSlot*>(e))
        s += " to " + std::to_string(slot->X2) + "," + std::to_string(slot->Y2);
      if (auto* c = dynamic_cast<TDrillCircle*>(e)) s += " r" + std::to_string(c->Radius);
      if (auto* t = dynamic_cast<TDrillText*>(e)) s += " '" + t->Text + "'" + (t->Vertical ? "v" : "h");
      out.push_back(s);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // The visible rout entities of layer 40 in cut order with their own
  // feed, Z offset and tool.
  static V Rout() {
    V out;
    Seq->SetReadCursor(40, 1);
    for (int32_t h = Seq->NextVisible(40); h != 0; h = Seq->NextVisible(40)) {
      TRoutEntity* e = RTDB->EntityAt(h);
      std::string s = std::to_string(e->GetType()) + " " + std::to_string(e->X) + "," + std::to_string(e->Y);
      switch (e->GetType()) {
        case etRoutJog: s += " t" + std::to_string(e->GetToolNumber()) + " c" + std::to_string(e->GetComp()); break;
        case etRoutLine:
        case etRoutArc:
        case etRoutArcReverse:
          s += " f" + std::to_string(e->GetFeedRate());
          if (e->GetZOffset() != NoZOffset) s += " z" + std::to_string(e->GetZOffset());
          break;
        default: break;
      }
      out.push_back(s);
    }
    return out;
  }
  // Every rout slot stands exactly once in the layer's sequence.
  static void ExpectEveryRoutEntityListed() {
    std::vector<int> seen(size_t(RoutEntityCount) + 1, 0);
    for (int32_t p = 1; p <= Seq->Count(40); ++p) ++seen[size_t(Seq->HandleAt(40, p))];
    for (int32_t h = 1; h <= RoutEntityCount; ++h) EXPECT_EQ(seen[size_t(h)], 1) << "handle " << h;
  }
  // Edit, Undo, Redo: the snapshots before and after, one named step.
  template <class F>
  void ExpectOneStep(F snapshot, const V& before, const V& after, const std::string& name) {
    EXPECT_EQ(snapshot(), after);
    EXPECT_EQ(UndoName(), name);
    Undo();
    EXPECT_EQ(snapshot(), before);
    Redo();
    EXPECT_EQ(snapshot(), after);
  }
};

// ---- Drill ---------------------------------------------------------------------------

TEST_F(TEntityEditorTest, DrillHoleMovedAndRetooledIsOneStepAndUndoGivesItBack) {
  DrillMode();
  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(In, In, 31, 1, true);
  DrillUndo->BeginOperation("Hole");
  const V before = Drill();
  const int32_t count = DrillEntityCount;
  Inspect(In, In);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 26), "Hole X  +1.0000 Y  +1.0000");
  EXPECT_EQ(UserPanel->PromptLine(2), "Tool = 1  Size = .0250  Layer = D1");
  EXPECT_EQ(UserPanel->PromptLine(3), Prompt3);
  EXPECT_FALSE(UserPanel->EntryEnabled());
  EXPECT_TRUE(Set(fcX1, "2"));
  EXPECT_TRUE(Set(fcTN, "3"));
  EXPECT_EQ(UserPanel->PromptLine(2).substr(0, 8), "Tool = 3");
  // Until Enter the database still holds the picked hole (the copy is shown).
  Key(vkEnter);
  EXPECT_FALSE(ECO->Inspecting());
  EXPECT_TRUE(UserPanel->EntryEnabled());
  EXPECT_EQ(DrillEntityCount, count + 1);
  ExpectOneStep(Drill, before, V{"12 50800000,25400000 t3 w2"}, "Obj Inspect Edit");
}

TEST_F(TEntityEditorTest, DrillSlotShowsAngleAndLengthAndMovesToAnotherLayer) {
  DrillMode();
  DRDB->AddSlotOnLayer(0, 0, In, 0, 31, 1, true);
  DrillUndo->BeginOperation("Slot");
  const V before = Drill();
  Inspect(In / 2, 0);
  EXPECT_NE(UserPanel->PromptLine(1).find("Angle = 0.0"), std::string::npos);
  EXPECT_TRUE(Set(fcX2, "0"));
  EXPECT_TRUE(Set(fcY2, "2"));
  EXPECT_NE(UserPanel->PromptLine(1).find("Angle = 90.0"), std::string::npos);
  EXPECT_NE(UserPanel->PromptLine(2).find("Length =   +2.0000"), std::string::npos);
  EXPECT_TRUE(Set(fcLC, "35"));
  EXPECT_NE(UserPanel->PromptLine(2).find("Layer = D5"), std::string::npos);
  Key(vkEnter);
  ExpectOneStep(Drill, before, V{"13 0,0 t1 w32 to 0,50800000"}, "Obj Inspect Edit");
}

TEST_F(TEntityEditorTest, DrillValuesChangedBackEscapeAndRefusalsLeaveStoreAndJournal) {
  DrillMode();
  DRDB->AddCircleOnLayer(0, 0, In, 30, 2, true);
  DrillUndo->BeginOperation("Circle");
  const V before = Drill();
  const int32_t count = DrillEntityCount;
  Inspect(In, 0);
  ASSERT_TRUE(ECO->Inspecting());
  // Out-of-bounds values are refused by the panel with its text and never
  // reach the entity; a tool or radius of 0 is not applied.
  EXPECT_FALSE(Set(fcTN, "0"));
  EXPECT_EQ(LastBox(), "<0> is illegal! Must be from 1 to 1000");
  EXPECT_FALSE(Set(fcLC, "40"));
  EXPECT_EQ(LastBox(), "<40> is illegal! Must be from 30 to 39");
  EXPECT_FALSE(Set(fcRA, "-1"));
  EXPECT_EQ(LastBox(), "<-1> is illegal! Must be from +0.0000 to +42.2733");
  EXPECT_TRUE(Set(fcRA, "0"));
  // A value changed and changed back: the picked circle is in force again.
  EXPECT_TRUE(Set(fcX1, "3"));
  EXPECT_TRUE(Set(fcX1, "0"));
  Key(vkEnter);  // nothing changed: as Escape
  EXPECT_EQ(Drill(), before);
  EXPECT_EQ(DrillEntityCount, count);
  EXPECT_EQ(UndoName(), "Circle");
  // Several changes, then Escape.
  Inspect(In, 0);
  EXPECT_TRUE(Set(fcX1, "3"));
  EXPECT_TRUE(Set(fcRA, "2"));
  Key(vkEscape);
  EXPECT_EQ(Drill(), before);
  EXPECT_EQ(DrillEntityCount, count);
  EXPECT_EQ(UndoName(), "Circle");
  // The edit abandoned half-way (another command cancels it).
  Inspect(In, 0);
  EXPECT_TRUE(Set(fcY1, "3"));
  ECO->CancelCommand();
  EXPECT_FALSE(ECO->Inspecting());
  EXPECT_EQ(Drill(), before);
  EXPECT_EQ(DrillEntityCount, count);
  EXPECT_EQ(UndoName(), "Circle");
  EXPECT_TRUE(UserPanel->EntryEnabled());
}

TEST_F(TEntityEditorTest, DrillDeleteAndRestoreAndInactiveLayer) {
  DrillMode();
  DRDB->AddHoleOnLayer(0, 0, 30, 1, true);
  DRDB->AddHoleOnLayer(In, 0, 32, 1, true);
  DrillUndo->BeginOperation("Holes");
  const V before = Drill();
  Inspect(0, 0);
  Key(vkDelete);
  ExpectOneStep(Drill, before, V{"12 25400000,0 t1 w4"}, "Delete");
  Undo();
  // On an inactive layer the template is shown but no field changes anything.
  EditLayerActive = [](uint8_t layer) { return layer != 32; };
  Inspect(In, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_TRUE(Set(fcX1, "5"));
  Key(vkEnter);
  EXPECT_EQ(Drill(), before);
  EXPECT_EQ(UndoName(), "Holes");
}

TEST_F(TEntityEditorTest, DrilledTextThroughTheDialogAndASteppedHoleMovesEveryCopy) {
  DrillMode();
  DRDB->AddTextOnLayer(0, 0, "AB", false, 30, 1, true);
  DrillUndo->BeginOperation("Text");
  const V before = Drill();
  uint8_t flagDuringDialog = 9;
  DrilledTextDialog = [&](std::string& text, int maxLength, bool& vertical) {
    flagDuringDialog = ECO->EntityEditFlag;
    EXPECT_EQ(text, "AB");
    EXPECT_EQ(maxLength, 255);
    text = "XY12";
    vertical = true;
    return true;
  };
  Inspect(0, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 9), "M97 Text ");
  EXPECT_NE(UserPanel->PromptLine(2).find("Text = AB"), std::string::npos);
  EXPECT_TRUE(Choose(fcMS));
  EXPECT_EQ(flagDuringDialog, 0);
  EXPECT_EQ(ECO->EntityEditFlag, 1);
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 9), "M98 Text ");
  EXPECT_NE(UserPanel->PromptLine(2).find("Text = XY12"), std::string::npos);
  Key(vkEnter);
  ExpectOneStep(Drill, before, V{"15 0,0 t1 w1 'XY12'v"}, "Obj Inspect Edit");
  // A dialog cancelled changes nothing.
  DrilledTextDialog = [](std::string& text, int, bool&) {
    text = "ZZ";
    return false;
  };
  Inspect(0, 0);
  Choose(fcMS);
  Key(vkEnter);
  EXPECT_EQ(Drill(), V{"15 0,0 t1 w1 'XY12'v"});

  // A stepped hole: the copies follow the edited hole.
  const int32_t h = DRDB->AddHoleOnLayer(5 * In, 0, 30, 1, true);
  DRDB->EntityAt(h)->SetStepObj(new TStepObject({{1, 1, 0, 0, 0}, {0, 2, In, 0, 0}, {0, 1, 0, 0, 0}}));
  // Picked at its own point, a stepped hole is noted as a part.
  Inspect(5 * In, 0);
  EXPECT_EQ(UserPanel->PromptLine(1), "Hole X  +5.0000 Y  +0.0000  Part");
  EXPECT_TRUE(Set(fcY1, "1"));
  Key(vkEnter);
  TDrillEntity* moved = nullptr;
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (!SlotDeleted(DRDB->WordAt(i)) && DRDB->EntityAt(i)->GetType() == etDrillHole) moved = DRDB->EntityAt(i);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->Y, In);
  ASSERT_TRUE(moved->BeginStepCopies());
  TIntPoint copy;
  V copies;
  while (moved->NextStepCopy(copy)) copies.push_back(std::to_string(copy.X) + "," + std::to_string(copy.Y));
  EXPECT_EQ(copies, (V{"152400000,25400000", "177800000,25400000"}));
}

TEST_F(TEntityEditorTest, DrillFieldsFollowTheAxisVersionAndUndoOrCompactionEndTheEdit) {
  DrillMode();
  DRDB->AddHoleOnLayer(In, 2 * In, 30, 1, true);
  DrillUndo->BeginOperation("Hole");
  // Version 2 exchanges X and Y on the panel.
  Version = 2;
  Inspect(In, 2 * In);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 26), "Hole X  +2.0000 Y  +1.0000");
  EXPECT_TRUE(Set(fcX1, "3"));  // the shown X is the stored Y
  Key(vkEnter);
  EXPECT_EQ(Drill(), V{"12 25400000,76200000 t1 w1"});
  // Undo while an edit is open ends the edit first, as if abandoned.
  const int32_t count = DrillEntityCount;
  Inspect(In, 3 * In);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(DrillEntityCount, count + 1);
  EXPECT_TRUE(Set(fcY1, "5"));
  Undo();
  EXPECT_FALSE(ECO->Inspecting());
  EXPECT_EQ(DrillEntityCount, count);
  EXPECT_EQ(Drill(), V{"12 25400000,50800000 t1 w1"});
  EXPECT_TRUE(UserPanel->EntryEnabled());
  // The store compacted under an open edit: the editor touches it no more
  // (the hole shown is the one kept; no stale index is journalled).
  Inspect(In, 2 * In);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_TRUE(Set(fcY1, "5"));
  DRDB->Compact();
  const int32_t compacted = DrillEntityCount;
  Key(vkEnter);
  EXPECT_FALSE(ECO->Inspecting());
  EXPECT_EQ(DrillEntityCount, compacted);
  EXPECT_EQ(Drill().size(), 1u);
  EXPECT_EQ(UndoName(), "-");
}

// ---- Rout ----------------------------------------------------------------------------

TEST_F(TEntityEditorTest, RoutLineEndAndStartPointsMoveTheirNeighbours) {
  RoutMode();
  RTDB->AppendJog({0, 0});
  RTDB->AppendLine({In, 0}, 0, NoZOffset);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  RoutUndo->BeginOperation("Path");
  const V before = Rout();
  ASSERT_EQ(before, (V{"5 0,0 t1 c2", "6 25400000,0 f0", "6 25400000,25400000 f0"}));
  // Changes abandoned with Escape leave the store, the picture's path and
  // the journal as they were.
  const int32_t count = RoutEntityCount;
  Inspect(In / 2, 0);
  EXPECT_TRUE(Set(fcX2, "3"));
  Key(vkEscape);
  EXPECT_EQ(Rout(), before);
  EXPECT_EQ(RoutEntityCount, count);
  EXPECT_EQ(UndoName(), "Path");
  Inspect(In / 2, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 26), "Line X  +0.0000 Y  +0.0000");
  // The end point: the next line starts there by itself.
  EXPECT_TRUE(Set(fcX2, "2"));
  // The start point: the jog moves.
  EXPECT_TRUE(Set(fcY1, "-1"));
  EXPECT_NE(UserPanel->PromptLine(1).find("Angle = 26.565"), std::string::npos);
  Key(vkEnter);
  ExpectOneStep(Rout, before,
                V{"5 0,-25400000 t1 c2", "6 50800000,0 f0", "6 25400000,25400000 f0"}, "Obj Inspect Edit");
  ExpectEveryRoutEntityListed();
}

TEST_F(TEntityEditorTest, RoutDeletingAPathsJogDeletesThatPathNotJoinsIt) {
  RoutMode();
  RTDB->AppendJog({0, 0});
  RTDB->AppendLine({In, 0}, 0, NoZOffset);
  RTDB->AppendJog({5 * In, 0});
  RTDB->AppendLine({6 * In, 0}, 0, NoZOffset);
  RTDB->AppendLine({6 * In, In}, 0, NoZOffset);
  RoutUndo->BeginOperation("Paths");
  const V before = Rout();
  HeadUpMoves = true;  // the jogs' travel is drawn and can be picked
  Inspect(3 * In, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 4), "Jog ");
  Key(vkDelete);
  ExpectOneStep(Rout, before, V{"5 0,0 t1 c2", "6 25400000,0 f0"}, "Delete");
  ExpectEveryRoutEntityListed();
}

TEST_F(TEntityEditorTest, RoutDeletingACutBeforeAnArcTurnsTheArcIntoALine) {
  RoutMode();
  RTDB->AppendJog({0, 0});
  RTDB->AppendLine({In, 0}, 0, NoZOffset);
  RTDB->AppendArc({2 * In, In}, {In, In}, 0, NoZOffset, false);
  RoutUndo->BeginOperation("Path");
  const V before = Rout();
  ASSERT_EQ(before.size(), 3u);
  ASSERT_EQ(before[2].substr(0, 1), "7");
  Inspect(In / 2, 0);
  Key(vkDelete);
  ExpectOneStep(Rout, before, V{"5 0,0 t1 c2", "6 50800000,25400000 f0"}, "Delete");
  ExpectEveryRoutEntityListed();
}

TEST_F(TEntityEditorTest, RoutFeedScopesAndToolOnTheAttributesPage) {
  RoutMode();
  RTDB->AppendJog({0, 0});
  RTDB->AppendLine({In, 0}, 0, NoZOffset);
  RTDB->AppendLine({2 * In, 0}, 0, NoZOffset);
  RTDB->AppendLine({3 * In, 0}, 60 * 127, NoZOffset);
  RTDB->AppendLine({4 * In, 0}, 0, NoZOffset);
  RoutUndo->BeginOperation("Path");
  const V before = Rout();
  int scope = 1;
  FeedScopeDialog = [&](int& s, bool forZ) {
    EXPECT_FALSE(forZ);
    s = scope;
    return true;
  };
  // This cut only: the cut after keeps the rate it had (the tool's 40).
  Inspect(In / 2, 0);
  EXPECT_TRUE(Choose(fcHE));
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 23), "Attributes:  Tool = 1  ");
  EXPECT_NE(UserPanel->PromptLine(1).find("FeedRate = 40"), std::string::npos);
  EXPECT_FALSE(Set(fcFE, "151"));
  EXPECT_EQ(LastBox(), "<151> is illegal! Must be from 10 to 150");
  EXPECT_TRUE(Set(fcFE, "20"));
  Key(vkEnter);
  const V thisCut{"5 0,0 t1 c2", "6 25400000,0 f2540", "6 50800000,0 f5080", "6 76200000,0 f7620",
                  "6 101600000,0 f0"};
  ExpectOneStep(Rout, before, thisCut, "Obj Inspect Edit");
  Undo();
  // The whole chain: later cuts lose their own rates.
  scope = 2;
  Inspect(In / 2, 0);
  Choose(fcHE);
  Set(fcFE, "20");
  Key(vkEnter);
  EXPECT_EQ(Rout(), (V{"5 0,0 t1 c2", "6 25400000,0 f2540", "6 50800000,0 f0", "6 76200000,0 f0",
                       "6 101600000,0 f0"}));
  Undo();
  // A cancelled scope drops the change; the tool goes onto the jog.
  FeedScopeDialog = [](int&, bool) { return false; };
  Inspect(In / 2, 0);
  Choose(fcHE);
  EXPECT_TRUE(Set(fcFE, "20"));
  EXPECT_TRUE(Set(fcTN, "3"));
  EXPECT_TRUE(Choose(fcCO));  // left -> none -> right -> left
  Key(vkEnter);
  EXPECT_EQ(Rout()[0], "5 0,0 t3 c1");
  EXPECT_EQ(Rout()[1], "6 25400000,0 f0");
  EXPECT_EQ(RTDB->EntityAt(Seq->FindPathJog(Seq->HandleAt(40, Seq->Count(40))))->GetCompIndex(), 3);
  Undo();
  EXPECT_EQ(Rout(), before);
  // Millimetre display: feeds shown in their own range.
  Metric = true;
  UnitsPerDisplayUnit = MetricUnitsPerDisplayUnit;
  Inspect(In / 2, 0);
  Choose(fcHE);
  EXPECT_FALSE(Set(fcFE, "64"));
  EXPECT_EQ(LastBox(), "<64> is illegal! Must be from 4 to 63");
  Key(vkEscape);
  ExpectEveryRoutEntityListed();
}

TEST_F(TEntityEditorTest, RoutArcWhoseEndMovesBecomesALineAndZEqualToTheInheritedIsNotOwn) {
  RoutMode();
  RoutToolPages[40][1].ZOffset = 1000;
  RTDB->AppendJog({0, 0});
  RTDB->AppendLine({In, 0}, 0, 5080);
  RTDB->AppendArc({2 * In, In}, {In, In}, 0, NoZOffset, false);
  RoutUndo->BeginOperation("Path");
  const V before = Rout();
  ASSERT_EQ(before.size(), 3u);
  FeedScopeDialog = [](int& scope, bool forZ) {
    EXPECT_TRUE(forZ);
    scope = 0;
    return true;
  };
  // Pick the arc near its middle.
  Inspect(In + int32_t(In * 0.2929), int32_t(In * 0.7071));
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 12), "Arc Center X");
  EXPECT_NE(UserPanel->PromptLine(1).find("Radius  +1.0000"), std::string::npos);
  EXPECT_TRUE(Set(fcXE, "3"));
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 6), "Line X");
  Choose(fcHE);
  // The arc runs at the line's Z before it: typing that stores no own value.
  EXPECT_NE(UserPanel->PromptLine(1).find("Z Offset =   +0.0002"), std::string::npos);
  EXPECT_TRUE(Set(fcCZ, "0.0002"));
  Key(vkEnter);
  ExpectOneStep(Rout, before, V{"5 0,0 t1 c2", "6 25400000,0 f0 z5080", "6 76200000,25400000 f0"},
                "Obj Inspect Edit");
  ExpectEveryRoutEntityListed();
}

TEST_F(TEntityEditorTest, RoutCircleAndHoleAndAStepppedPathKeepsItsSteps) {
  RoutMode();
  RTDB->AddCircle({0, 0}, 40, 1, 0, 1, In, false, NoZOffset);
  RTDB->AddHole({5 * In, 0}, 40, 2);
  RoutUndo->BeginOperation("Circle and hole");
  Inspect(In, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 10), "G33 Circle");
  EXPECT_FALSE(Set(fcRA, "-1"));
  EXPECT_TRUE(Set(fcRA, "2"));
  Choose(fcHE);
  EXPECT_NE(UserPanel->PromptLine(2).find("Comp Type = Left "), std::string::npos);
  EXPECT_TRUE(Choose(fcCO));
  EXPECT_NE(UserPanel->PromptLine(2).find("Comp Type = Right"), std::string::npos);
  Key(vkEnter);
  TRoutEntity* circle = RTDB->EntityAt(Seq->FindPathJog(Seq->HandleAt(40, Seq->Count(40))));
  V shown = Rout();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "9 0,0");
  for (int32_t h = 1; h <= RoutEntityCount; ++h)
    if (!SlotDeleted(RTDB->SlotAt(h)->Flags) && RTDB->EntityAt(h)->GetType() == etRoutCircle) circle = RTDB->EntityAt(h);
  EXPECT_EQ(circle->GetRadius(), 2 * In);
  EXPECT_TRUE(circle->IsAG32());
  Undo();
  // The hole: its point and tool, no neighbours.
  Inspect(5 * In, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 12), "Drill Hole X");
  EXPECT_TRUE(Set(fcX1, "6"));
  Choose(fcHE);
  EXPECT_EQ(UserPanel->PromptLine(2).substr(0, 13), "Layer = R0   ");
  EXPECT_EQ(FieldOf(fcCI), -1);
  EXPECT_TRUE(Set(fcTN, "4"));
  Key(vkEnter);
  EXPECT_EQ(Rout(), (V{"9 0,0", "10 152400000,0"}));
  for (int32_t h = 1; h <= RoutEntityCount; ++h)
    if (!SlotDeleted(RTDB->SlotAt(h)->Flags) && RTDB->EntityAt(h)->GetType() == etRoutHole)
      EXPECT_EQ(RTDB->EntityAt(h)->GetToolNumber(), 4);

  // A stepped path: the new jog carries the same steps, so every copy follows.
  RTDB->AppendJog({10 * In, 0});
  RTDB->AppendLine({11 * In, 0}, 0, NoZOffset);
  const int32_t jog = Seq->FindPathJog(Seq->HandleAt(40, Seq->Count(40)));
  RTDB->EntityAt(jog)->SetStepObj(new TStepObject({{1, 1, 0, 0, 0}, {0, 2, In, 0, 0}, {0, 1, 0, 0, 0}}));
  TStepObject* steps = RTDB->EntityAt(jog)->GetStepObj();
  RoutUndo->BeginOperation("Stepped");
  Inspect(10 * In + In / 2, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_TRUE(Set(fcY1, "1"));  // the start of the line: the jog moves
  Key(vkEnter);
  EXPECT_EQ(Rout(), (V{"9 0,0", "10 152400000,0", "5 254000000,25400000 t1 c2", "6 279400000,0 f0"}));
  int32_t moved = 0;
  for (int32_t h = 1; h <= RoutEntityCount; ++h)
    if (!SlotDeleted(RTDB->SlotAt(h)->Flags) && RTDB->EntityAt(h)->GetType() == etRoutJog) moved = h;
  EXPECT_NE(moved, jog);
  EXPECT_EQ(RTDB->EntityAt(moved)->GetStepObj(), steps);
  // The next path drawn still goes at the end of the layer.
  RTDB->AppendJog({20 * In, 0});
  EXPECT_EQ(Rout().back(), "5 508000000,0 t1 c2");
  ExpectEveryRoutEntityListed();
}

// ---- CAD -----------------------------------------------------------------------------

TEST_F(TEntityEditorTest, CadLineMovedIsOneHandEditAndEscapeTouchesNothing) {
  DB->AddLine(0, 0, In, 0);
  CadUndo->BeginOperation("Line");
  const V before = Drawing();
  Inspect(In / 2, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_NE(UserPanel->PromptLine(1).find("Angle = 0.0  Layer = 0"), std::string::npos);
  EXPECT_TRUE(Set(fcX2, "2"));
  EXPECT_TRUE(Set(fcY2, "2"));
  EXPECT_NE(UserPanel->PromptLine(1).find("Angle = 45.0"), std::string::npos);
  Key(vkEscape);
  EXPECT_EQ(Drawing(), before);
  EXPECT_EQ(UndoName(), "Line");
  Inspect(In / 2, 0);
  EXPECT_TRUE(Set(fcX2, "2"));
  EXPECT_TRUE(Set(fcY2, "2"));
  Key(vkEnter);
  ExpectOneStep(Drawing, before, V{Line(0, 0, 2 * In, 2 * In)}, "Hand Edit");
  // A full drawing refuses the new line: the old one stays, nothing is journalled.
  Inspect(In, In);
  Set(fcX2, "3");
  const int32_t count = CadEntityCount;
  CadEntityCount = TEntityArray::HighestIndex;
  Key(vkEnter);
  CadEntityCount = count;
  EntityArray->SetCount(count);
  EXPECT_EQ(LastBox(), "The CAD drawing is full: it holds at most 1,000,000 entities.");
  EXPECT_EQ(Drawing(), V{Line(0, 0, 2 * In, 2 * In)});
  EXPECT_EQ(UndoName(), "Hand Edit");
  Undo();
  EXPECT_EQ(Drawing(), before);
  Redo();
  // Shortened to within 500 units it is saved as a point.
  Inspect(In, In);
  Set(fcX2, "0.00001");
  Set(fcY2, "0");
  Key(vkEnter);
  EXPECT_EQ(Drawing(), V{"P 0 0"});
}

// A value that shortens a line of the template leaves nothing of the
// longer text behind it: the angle 26.565 becoming 45.0 does not turn
// "Layer = 0" into "Layer = 00".
TEST_F(TEntityEditorTest, ShorterTemplateTextLeavesNoRemnant) {
  DB->AddLine(0, 0, 2 * In, In);
  CadUndo->BeginOperation("Line");
  Inspect(In, In / 2);
  ASSERT_TRUE(ECO->Inspecting());
  const std::string longer = UserPanel->PromptLine(1);
  ASSERT_NE(longer.find("Angle = 26.565  Layer = 0"), std::string::npos);
  EXPECT_TRUE(Set(fcX1, "1"));
  const std::string shorter = UserPanel->PromptLine(1);
  ASSERT_NE(shorter.find("Angle = 45.0  Layer = 0"), std::string::npos);
  EXPECT_EQ(shorter.find_last_not_of(' '), shorter.find("Layer = 0") + 8) << shorter;
  // The fields are still those of the template, and still take values.
  EXPECT_EQ(UserPanel->Fields().size(), 5u);
  EXPECT_TRUE(Set(fcLC, "3"));
  EXPECT_NE(UserPanel->PromptLine(1).find("Layer = 3"), std::string::npos);
  Key(vkEscape);
}

TEST_F(TEntityEditorTest, CadCircleRefusesNonPositiveRadiiAndChangesLayer) {
  DB->AddCircle(0, 0, In);
  CadUndo->BeginOperation("Circle");
  const V before = Drawing();
  Inspect(In, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_FALSE(Set(fcRA, "0"));
  EXPECT_EQ(LastBox(), "<0> is illegal! Must be from +0.0000 to +42.2733");
  EXPECT_FALSE(Set(fcRA, "-1"));
  EXPECT_FALSE(Set(fcLC, "30"));
  EXPECT_EQ(LastBox(), "<30> is illegal! Must be from 0 to 29");
  EXPECT_TRUE(Set(fcLC, "12"));
  EXPECT_TRUE(Set(fcRA, "2"));
  Key(vkEnter);
  EXPECT_EQ(CurrentLayer, 0);
  ExpectOneStep(Drawing, before, V{Circle(0, 0, 2 * In) + " @12"}, "Hand Edit");
  // Delete inside an edit, and Undo restores it.
  Inspect(2 * In, 0);
  Key(vkDelete);
  ExpectOneStep(Drawing, V{Circle(0, 0, 2 * In) + " @12"}, V{}, "Delete");
}

TEST_F(TEntityEditorTest, CadArcNoticeOnceAndTheArcStaysAnArc) {
  DB->AddArc({In, 0}, {0, In}, {0, 0});
  CadUndo->BeginOperation("Arc");
  const V before = Drawing();
  ASSERT_EQ(before.size(), 1u);
  Inspect(In, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_EQ(UserPanel->PromptLine(1).substr(0, 12), "Arc Center X");
  const size_t boxes = ShownMessageBoxes().size();
  EXPECT_TRUE(Set(fcXS, "2"));
  EXPECT_EQ(ShownMessageBoxes().size(), boxes + 1);
  EXPECT_EQ(LastBox(), "Sorry, arc hand edits are\nnot yet operational...");
  EXPECT_TRUE(Set(fcLC, "3"));
  EXPECT_EQ(ShownMessageBoxes().size(), boxes + 1);
  Key(vkEnter);
  ExpectOneStep(Drawing, before, V{before[0] + " @3"}, "Hand Edit");
}

}  // namespace

// ---- The job's modified flags ------------------------------------------------------

// Looking at an entity and leaving it as it was is no change to the job; a
// saved or deleted edit is.
TEST_F(TEntityEditorTest, InspectLeftWithoutAChangeKeepsTheJobUnmodified) {
  DRDB->AddHoleOnLayer(0, 0, 30, 1, true);
  DB->AddLine(0, 0, In, 0);
  RoutMode();
  RTDB->AppendJog({0, 0});
  RTDB->AppendLine({In, 0}, 0, NoZOffset);
  auto clean = [] {
    DatabaseModified = false;
    RoutLayerModified.Fill(false);
  };
  auto expectClean = [](const char* what) {
    EXPECT_FALSE(DatabaseModified) << what;
    EXPECT_FALSE(RoutLayerModified[40]) << what;
  };
  DrillMode();
  clean();
  Inspect(0, 0);
  ASSERT_TRUE(ECO->Inspecting());
  Key(vkEscape);
  expectClean("drill, Escape");
  Inspect(0, 0);
  EXPECT_TRUE(Set(fcX1, "2"));
  Key(vkEscape);
  expectClean("drill, changed then Escape");
  Inspect(0, 0);
  Key(vkEnter);
  expectClean("drill, Enter with nothing changed");
  Inspect(0, 0);
  ECO->CancelCommand();
  expectClean("drill, abandoned");
  Inspect(0, 0);
  EXPECT_TRUE(Set(fcX1, "2"));
  Key(vkEnter);
  EXPECT_TRUE(DatabaseModified);

  RoutMode();
  clean();
  Inspect(In / 2, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_TRUE(Set(fcX2, "3"));  // the preview shows the moved line
  Key(vkEscape);
  expectClean("rout, changed then Escape");
  Inspect(In / 2, 0);
  Key(vkDelete);
  EXPECT_TRUE(DatabaseModified);
  EXPECT_TRUE(RoutLayerModified[40]);

  ECO->EnterCadMode();
  EditorMode = emCad;
  ActiveUndo = CadUndo;
  clean();
  Inspect(In / 2, 0);
  ASSERT_TRUE(ECO->Inspecting());
  EXPECT_TRUE(Set(fcX2, "2"));
  Key(vkEscape);
  expectClean("CAD, changed then Escape");
  Inspect(In / 2, 0);
  Key(vkDelete);
  EXPECT_TRUE(DatabaseModified);
}
