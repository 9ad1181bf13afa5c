// Every item of the three mode menus reaches its handler: the items that
// press a command run that command's text in ECO, the items whose work is
// still to come say so, and every other item has its own handler. An item
// the tables below do not know fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_menus.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/entity_store.h"
#include "model/undo_journal.h"
#include "model/rout_database.h"
#include "plot/cad_export.h"
#include "platform/common_dialogs.h"
#include "tapeout/make_drill_tape.h"
#include "workspace_test_support.h"

namespace {

struct TCommandItem {
  const char* Name;
  const char* Word;  // first word of the command text; "" while the command is to come
};

// Items that press a command, by mode (drill, rout, CAD).
const std::map<uint8_t, std::vector<TCommandItem>> CommandItems = {
    {emCad,
     {{"FullScreen1", "FULLSCREEN"}, {"ZoomIn1", "ZOOMWINDOW"}, {"ZoomOut2X1", "ZOOMOUT"},
      {"ZoomAll1", "ZOOMEXTENTS"}, {"Pan1", "ZOOMPAN"}, {"UnDo1", "UNDO"}, {"ReDo1", "REDO"},
      {"Point1", "ADDPOINT"}, {"Line1", "ADDLINE"}, {"Rectangle1", "ADDRECTANGLE"}, {"Point2", "ADDBRC"},
      {"N3PointArc1", "ADDARC"}, {"Circle1", "ADDCIRCLE"}, {"Text1", "ADDTEXT"}, {"Delete1", "EDITDELETE"},
      {"DeleteOutside1", "EDITOUTSIDEDELETE"}, {"Move1", "EDITMOVE"}, {"Copy1", "EDITCOPY"},
      {"Stretch1", "EDITSTRETCH"}, {"Scale1", "EDITSCALE"}, {"Flip1", "EDITFLIP"}, {"Mirror1", "EDITMIRROR"},
      {"Rotate1", "EDITROTATE"}, {"RadialCopy1", "EDITRADIAL"}, {"MatrixCopy1", "EDITMATRIX"},
      {"ClosestPoint1", "POSEND"}, {"Intersection1", "POSINTER"}, {"Midpoint1", "POSMID"},
      {"ArcCenter1", "POSCTR"}, {"Tangent1", "POSTAN1"}, {"Perpendicular1", "POSPERP2"},
      {"Paralell1", "POSPAR1"}, {"Ortho1", "ORTHO"}, {"OrthoAngle1", "SET"}, {"TrimExtend1", "LINETRIM"},
      {"JoinMeet1", "LINEMEET"}, {"Break1", "BREAK"}, {"Chamfer1", "LINECHAMFER"},
      {"ChamferDistance1", "SET"}, {"Fillet1", "LINEFILLET"}, {"FilletSize1", "SET"},
      {"Inspect1", "INSPECT"}, {"Measure1", "MEASURE"}, {"Path1", "TESTPATH"}}},
    {emRout,
     {{"FullScreen1", "FULLSCREEN"}, {"ZoomIn1", "ZOOMWINDOW"}, {"ZoomOut2X1", "ZOOMOUT"},
      {"ZoomAll1", "ZOOMEXTENTS"}, {"Pan1", "ZOOMPAN"}, {"Undo2", "UNDO"}, {"Redo2", "REDO"},
      {"DrillHole2", "ADDHOLE"}, {"Line1", "ADDLINE"}, {"N2PtArc1", "ADDBRC"}, {"N3PtArc1", "ADDARC"},
      {"G32G33Circle1", "ADDCIRCLE"}, {"InsideRoutedRectangle1", "ADDINSIDERECTANGLE"},
      {"OutsideRoutedRectangle1", "ADDOUTSIDERECTANGLE"}, {"Tab1", "ADDTAB"}, {"FollowProfile1", "FOLLOWPATH"},
      {"WindowAutoFollow1", "WINDOWAUTOFOLLOW"}, {"PocketRout1", "POCKETPATH"}, {"MilledPocketRout1", "MILLPOCKETPATH"}, {"AutoRout3", "AUTOROUTOUTPATH"},
      {"AutoRoutInside1", "AUTOROUTINPATH"}, {"AutoWebRout1", "AUTOWEBROUT"}, {"AutoPartRout1", "AUTOPARTROUT"}, {"Delete1", "EDITDELETE"},
      {"DeleteOutside1", "EDITOUTSIDEDELETE"}, {"Move1", "EDITMOVE"}, {"Copy1", "EDITCOPY"},
      {"Stretch1", "EDITSTRETCH"}, {"Scale1", "EDITSCALE"}, {"Flip1", "EDITFLIP"}, {"Mirror1", "EDITMIRROR"},
      {"Rotate1", "EDITROTATE"}, {"RadialCopy1", "EDITRADIAL"}, {"MatrixCopy1", "EDITMATRIX"},
      {"Left1", "COMPLEFT"}, {"None1", "COMPNONE"}, {"Right1", "COMPRIGHT"}, {"EditStepList1", "STEPMODIFY"}, {"CreateStepRepeat1", "STEPCREATE"},
      {"AutoStepRepeat1", "STEPAUTO"}, {"AddtoStepList1", "STEPADD"}, {"ExpandSteps1", "STEPEXPAND"},
      {"DeleteStepRepeat1", "STEPDEL"},
      {"DuplicateStepRepeat2", "STEPDUPLICATE"}, {"DoFirst1", "LINKFIRST"}, {"DoBefore1", "LINKBEFORE"},
      {"DoLast1", "LINKLAST"},
      {"Inspect1", "INSPECT"}, {"Measure1", "MEASURE"}}},
    {emDrill,
     {{"FullScreen1", "FULLSCREEN"}, {"ZoomIn1", "ZOOMWINDOW"}, {"ZoomOut2X1", "ZOOMOUT"},
      {"ZoomAll1", "ZOOMEXTENTS"}, {"Pan1", "ZOOMPAN"}, {"Undo3", "UNDO"}, {"Redo3", "REDO"},
      {"DrillHole3", "ADDHOLE"}, {"DrillSlot1", "ADDLINE"}, {"DrillCircle1", "ADDCIRCLE"},
      {"DrillText1", "ADDTEXT"}, {"SingleHoleSlot1", "ADDSINGLEHOLESLOT"}, {"ConvertHoletoSlot1", "CONXSINGLEHOLESLOT"},
      {"ConvertTwoholestoSlot1", "CONDOUBLEHOLETOSLOT"}, {"ConvertHoletoCircle1", "CONQSINGLEHOLECIRCLE"}, {"Delete1", "EDITDELETE"},
      {"DeleteOutside1", "EDITOUTSIDEDELETE"}, {"Move1", "EDITMOVE"}, {"Copy1", "EDITCOPY"},
      {"Scale1", "EDITSCALE"}, {"Flip1", "EDITFLIP"}, {"Mirror1", "EDITMIRROR"}, {"Rotate1", "EDITROTATE"},
      {"RadialCopy1", "EDITRADIAL"}, {"MatrixCopy1", "EDITMATRIX"}, {"ChangeTool1", "EDITNEWTOOL"},
      {"EditStepList2", "STEPMODIFY"}, {"CreateStepRepeat2", "STEPCREATE"}, {"AutoStepRepeat2", "STEPAUTO"},
      {"AddtoStepList2", "STEPADD"}, {"ExpandSteps2", "STEPEXPAND"}, {"DeleteStepRepeat2", "STEPDEL"},
      {"DuplicateStepRepeat2", "STEPDUPLICATE"},
      {"Inspect1", "INSPECT"}, {"Measure1", "MEASURE"}}},
};

// Items whose work other parts of the program are still to supply: each
// answers "... is not available yet." until it is connected.
const std::map<uint8_t, std::set<std::string>> PendingItems = {
    {emCad, {}},
    {emRout,
     {}},
    {emDrill,
     {}},
};

// Items with handlers of their own (files, dialogs, reports, display
// settings, layers, tools), tested where their work is.
const std::map<uint8_t, std::set<std::string>> OwnHandlerItems = {
    {emCad,
     {"New1", "Open1", "Plot1", "QuickPrint1", "PrinterSetup1", "Save1", "SaveAs1", "GetInfo1", "PackDatabase1", "Import1", "Export1", "Options1",
      "AboutPelmora1", "ErrorInspector1", "TextEditor1", "Exit1", "Refresh1", "Inches1", "Millimeters1", "DisplayGrid1",
      "ZeroZero1", "ConstPoints1", "Layers1", "LayerErase1", "SwitchToLayer1", "SnapToGrid1",
      "AutomaticCleanup1", "Contents1", "About1", "Version1", "DNCServer1"}},
    {emRout,
     {"New1", "Open1", "Plot1", "QuickPrint1", "PrinterSetup1", "Save1", "SaveAs1", "OpenRoutTape1", "MakeRoutTape1", "Filters1", "GetInfo2",
      "PackDatabase2", "PathLengthReport1", "Options1", "AboutPelmora1", "ErrorInspector1", "TextEditor1", "TextEditRout1", "Exit1",
      "Refresh1", "Inches1", "Millimeters1", "DisplayGrid1", "ZeroZero1", "ColorTool2", "ColorLayers2",
      "G932", "FullWidth1", "SteppedParts1", "RoutConstPoints1", "SequenceNumber1", "KerfFill1",
      "SingleStep1", "Animate1", "HeadUpMoves1", "FeedRateChanges1", "ZOffsetChanges1", "RoutDirectionArrows1",
      "GougeDetect1", "Layers1", "LayerErase1", "MoveLayertoCad1", "SwitchToLayer1", "RoutOutputFormat1", "SnapToGrid1",
      "Contents1", "About2", "Version1", "MakeESILaserFile1", "CutterConfig1", "DefaultToolTable1", "DNCServer1",
      "FullPanelAutoRoutConfig1", "Tabs1", "SetPanelOrigin1", "AutoRout1",
      "FullPanelInlineRoutConfig1"}},
    {emDrill,
     {"New1", "Open1", "Plot1", "QuickPrint1", "PrinterSetup1", "Save1", "SaveAs1", "Import2", "Export2", "Filters1", "GetInfo3", "PackDatabase3", "Options1",
      "AboutPelmora1", "ErrorInspector1", "TextEditor1", "Exit1", "Refresh1", "Inches1", "Millimeters1", "OnePixel1",
      "TrueSize1", "Alpha1", "Shapes1", "ColorTool1", "ColorLayers1", "ColorTypes1", "DisplayGrid1",
      "ZeroZero1", "G932", "Layers1", "LayerErase1", "MoveLayertoCad2", "SwitchToLayer1", "SnapToGrid1", "ShowToolTable1",
      "PrintToolTable1", "LoadToolTable1", "SaveToolTable1", "SortFewestHitsFirst1", "SortMostHitsFirst1",
      "SortSmallToolFirst1", "SortBigToolFirst1", "MergeSameSize1", "RemoveEmpties1", "Contents1",
      "About3", "Version1", "MakeDrillTape1", "MakeESILaserFile1", "ActiveTools1", "EditToolTable1",
      "AutoLoadFeedsSpeeds1", "DNCServer1", "SpacingCheck1", "ConvertExpandedSlottoSlot1", "SetPanelOrigin1",
      "SlotConfiguration1", "CircleConfiguration1"}},
};

const std::map<uint8_t, std::vector<std::string>> TopMenus = {
    {emCad, {"&File", "&View", "&Layers", "&Edit", "&Window Edit", "&Snap", "&Modify", "&Check", "&Help"}},
    {emRout, {"&File", "&View", "&Layers", "&Edit", "&Window Edit", "&Modify", "&Check", "&Help"}},
    {emDrill,
     {"&File", "&View", "&Layers", "&Edit", "&Window Edit", "&Tools", "Step && &Repeat", "&Check", "&Help"}},
};

class TMenuItemsTest : public TWorkspaceDialogsTest {};

TEST_F(TMenuItemsTest, EveryItemOfTheThreeMenusIsKnownAndReachesItsHandler) {
  TWorkspace& form = StartProgram();
  for (uint8_t mode : {emCad, emRout, emDrill}) {
    SCOPED_TRACE(int(mode));
    TMainMenu& menu = form.ModeMenu(mode);
    std::vector<std::string> tops;
    for (const auto& top : menu.Items().Items()) tops.push_back(top->Caption());
    EXPECT_EQ(tops, TopMenus.at(mode));

    std::map<std::string, std::string> commands;
    for (const TCommandItem& c : CommandItems.at(mode)) commands[c.Name] = c.Word;
    std::vector<TMenuItem*> leaves;
    CollectLeaves(menu.Items(), leaves);
    size_t classified = 0;
    for (TMenuItem* item : leaves) {
      const std::string& name = item->Name();
      SCOPED_TRACE(name);
      EXPECT_TRUE(static_cast<bool>(item->OnClick)) << "no handler";
      const bool command = commands.count(name) != 0;
      const bool pending = PendingItems.at(mode).count(name) != 0;
      const bool own = OwnHandlerItems.at(mode).count(name) != 0;
      EXPECT_EQ(int(command) + int(pending) + int(own), 1) << "unknown or twice-listed item";
      classified += command + pending + own;
      if (command && !std::string(commands[name]).empty()) {
        ECO->CancelCommand();
        ECO->SetCurrentCommand("");
        const size_t boxes = ShownMessageBoxes().size();
        item->OnClick(*item);
        std::string text;
        ECO->GetCurrentCommand(text);
        EXPECT_EQ(text.substr(0, text.find('(')), commands[name]);
        EXPECT_EQ(ShownMessageBoxes().size(), boxes);
      } else if (command || pending) {
        item->OnClick(*item);
        ASSERT_FALSE(ShownMessageBoxes().empty());
        const std::string& box = ShownMessageBoxes().back().Text;
        EXPECT_EQ(box.substr(box.size() - 22), " is not available yet.");
      }
    }
    EXPECT_EQ(classified, commands.size() + PendingItems.at(mode).size() + OwnHandlerItems.at(mode).size())
        << "a listed item is missing from the menu";
    ECO->CancelCommand();
  }
}

TEST_F(TMenuItemsTest, CommandItemsCarryTheirHintsTicksAndHelpContexts) {
  TWorkspace& form = StartProgram();
  EXPECT_EQ(form.MenuItem(emCad, "Line1")->Hint(), "[LI] Create Line");
  EXPECT_EQ(form.MenuItem(emCad, "ChamferDistance1")->Hint(), "[CA] / [CB] Chamfer Distance");
  EXPECT_EQ(form.MenuItem(emCad, "Flip1")->Hint(), "");
  EXPECT_EQ(form.MenuItem(emRout, "Flip1")->Hint(), "[WF] Window Flip");
  EXPECT_EQ(form.MenuItem(emDrill, "EditStepList2")->Hint(), "[SE] Step && Repeat Edit");
  // The compensation item of RTDB's side is ticked.
  EXPECT_TRUE(form.MenuItem(emRout, RTDB->AutoRoutCompensation == 1   ? "Left1"
                                    : RTDB->AutoRoutCompensation == 2 ? "Right1"
                                                                      : "None1")
                  ->Checked());
  // The help context of a command item is set before it runs.
  TMenuItem* fillet = form.MenuItem(emCad, "FilletSize1");
  fillet->OnClick(*fillet);
  EXPECT_EQ(CurrentHelpContext, 75);
}

TEST_F(TMenuItemsTest, SnapToGridAndDisplayGridFollowEachOther) {
  TWorkspace& form = StartProgram();
  DisplayGrid = false;
  SnapToGrid = false;
  TMenuItem* snap = form.MenuItem(emDrill, "SnapToGrid1");
  snap->OnClick(*snap);
  EXPECT_TRUE(SnapToGrid);
  EXPECT_TRUE(DisplayGrid);
  TMenuItem* grid = form.MenuItem(emCad, "DisplayGrid1");
  grid->OnClick(*grid);
  EXPECT_FALSE(DisplayGrid);
  EXPECT_FALSE(SnapToGrid);
  // The CAD Snap menu ticks the setting when it drops down.
  SnapToGrid = true;
  TMenuItem* snapMenu = form.MenuItem(emCad, "Snap1");
  snapMenu->DropDown();
  EXPECT_TRUE(form.MenuItem(emCad, "SnapToGrid1")->Checked());
  SnapToGrid = false;
}

}  // namespace

TEST_F(TMenuItemsTest, ExportItemsOpenTheirSaveDialogs) {
  TWorkspace& form = StartProgram();
  TMenuItem* cad = form.MenuItem(emCad, "Export1");
  ScriptCommonDialogCancel();
  cad->OnClick(*cad);
  ASSERT_FALSE(ShownCommonDialogs().empty());
  EXPECT_EQ(ShownCommonDialogs().back().Filter, CadExportFilterText);
  TMenuItem* drill = form.MenuItem(emDrill, "Export2");
  ScriptCommonDialogCancel();
  drill->OnClick(*drill);
  EXPECT_EQ(ShownCommonDialogs().back().Filter, OdbExportFilterText);
  EXPECT_EQ(PendingCommonDialogAnswers(), 0u);
}

namespace {

TEST_F(TMenuItemsTest, DrillToolsAreReachedFromTheDrillMenuAndMakeDrillTape) {
  TWorkspace& form = StartProgram();
  std::vector<std::string> shown;
  QueueModalScript("TSpacingCheckDialog", [&](TForm& f) {
    shown.push_back(f.Caption());
    f.Click("CancelButton");
  });
  TMenuItem* spacing = form.MenuItem(emDrill, "SpacingCheck1");
  spacing->OnClick(*spacing);
  ScriptInputBoxCancel();
  TMenuItem* slots = form.MenuItem(emDrill, "ConvertExpandedSlottoSlot1");
  slots->OnClick(*slots);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Caption, "Maximum nibble size");
  // Make Drill Tape's "C&ircle/Slot" opens the slot algorithm in the tape's units.
  QueueModalScript("TMakeDrillTapeDialog", [&](TForm& f) {
    f.Get<TRadioGroup>("UnitGroup").SetItemIndex(1);
    ASSERT_TRUE(f.Get<TButton>("CircleSlotButton").Enabled());
    QueueModalScript("TSlotAlgorithmDialog", [&](TForm& g) {
      shown.push_back(g.Get<TLabel>("UnitsLabel").Caption());
      g.Click("CancelButton");
    });
    f.Click("CircleSlotButton");
    f.Click("CancelButton");
  });
  TMenuItem* tape = form.MenuItem(emDrill, "MakeDrillTape1");
  tape->OnClick(*tape);
  EXPECT_EQ(shown, (std::vector<std::string>{"Spacing Check", "mm"}));
}

// A broken tape stacks thousands of hits at a few places. The slot
// conversion keeps the stacks and turns the nibbled row into its slot; the
// spacing check then deletes the identical and pilot hits and moves the hits
// too close to their neighbour to D9, counted in its summary.
TEST_F(TMenuItemsTest, DrillToolsDealWithThousandsOfStackedHits) {
  TWorkspace& form = StartProgram();
  std::string tape = "M48\nINCH,LZ\nT01C0.030\nT02C0.062\nT03C0.040\n%\nT01\n";
  auto hits = [&tape](const std::string& at, int count) {
    for (int i = 0; i < count; ++i) tape += at + "\n";
  };
  hits("X1.0Y1.0", 2000);    // identical hits
  hits("X2.0Y1.0", 1000);    // pilots of the large hole below
  hits("X3.0Y1.0", 500);     // a stack too close to the next hole
  hits("X3.025Y1.0", 1);
  tape += "T02\n";
  hits("X2.0Y1.0", 1);
  tape += "T03\n";
  for (const char* x : {"X5.0", "X5.004", "X5.008", "X5.012", "X5.016", "X5.02"}) hits(std::string(x) + "Y1.0", 1);
  hits("X6.0Y1.0", 1000);    // identical hits of the slot's tool
  tape += "M30\n";
  ImportExcellonTape(form, Input("STACKS.DRL", tape));

  // Live entities as layer, tool, type, place and end.
  using TEntity = std::tuple<int, int, int, int32_t, int32_t, int32_t>;
  auto live = [] {
    std::map<TEntity, int> counts;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      const uint32_t word = DRDB->WordAt(i);
      if (static_cast<int32_t>(word) <= 0) continue;
      TDrillEntity* e = DRDB->EntityAt(i);
      TIntPoint a, b;
      e->GetPoint(a);
      if (e->GetType() == etDrillSlot) e->GetSecondPoint(b);
      ++counts[{30 + LayerOfBit(word & 0x3FFu), e->Tool, e->GetType(), a.X, a.Y, b.X}];
    }
    return counts;
  };
  constexpr int32_t in = 25400000;
  const int32_t y = in;
  ASSERT_EQ(live().size(), 12u);

  ScriptInputBoxAnswer("0.001");
  Run(form, emDrill, "ConvertExpandedSlottoSlot1");
  const std::map<TEntity, int> converted{
      {{30, 1, etDrillHole, in, y, 0}, 2000},           {{30, 1, etDrillHole, 2 * in, y, 0}, 1000},
      {{30, 1, etDrillHole, 3 * in, y, 0}, 500},        {{30, 1, etDrillHole, 3 * in + in / 40, y, 0}, 1},
      {{30, 2, etDrillHole, 2 * in, y, 0}, 1},          {{30, 3, etDrillSlot, 5 * in, y, 5 * in + in / 50}, 1},
      {{30, 3, etDrillHole, 6 * in, y, 0}, 1000}};
  EXPECT_EQ(live(), converted);

  QueueModalScript("TSpacingCheckDialog", [](TForm& f) {
    f.Click("PilotCheckBox");
    f.Click("OKButton");
  });
  Run(form, emDrill, "SpacingCheck1");
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "Spacing Check did the following:\r\n2998 identical holes were deleted\r\n"
            "1000 pilot holes were deleted\r\n501 holes failed the spacing check and\r\n"
            "were moved to layer D9 for inspection.");
  // The first of each identical stack and the large hole stay; the stack
  // and the hole too close to it are on D9 whole.
  const std::map<TEntity, int> checked{
      {{30, 1, etDrillHole, in, y, 0}, 1},              {{39, 1, etDrillHole, 3 * in, y, 0}, 500},
      {{39, 1, etDrillHole, 3 * in + in / 40, y, 0}, 1}, {{30, 2, etDrillHole, 2 * in, y, 0}, 1},
      {{30, 3, etDrillSlot, 5 * in, y, 5 * in + in / 50}, 1}, {{30, 3, etDrillHole, 6 * in, y, 0}, 1}};
  EXPECT_EQ(live(), checked);
}

// On a drill store without room for what they would add, the slot
// conversion and the spacing check change nothing: the box names the store,
// what the command needs and the room, and no undo step is made (the
// import stays the step to undo).
TEST_F(TMenuItemsTest, DrillToolsOnAFullStoreAreRefusedWhole) {
  TWorkspace& form = StartProgram();
  std::string tape = "M48\nINCH,LZ\nT01C0.030\nT03C0.040\n%\nT01\nX3.0Y1.0\nX3.025Y1.0\nT03\n";
  for (const char* x : {"X5.0", "X5.004", "X5.008", "X5.012", "X5.016", "X5.02"}) tape += std::string(x) + "Y1.0\n";
  tape += "M30\n";
  ImportExcellonTape(form, Input("FULL.DRL", tape));
  // Live entities of the job as layer, tool, type and place.
  using TEntity = std::tuple<int, int, int, int32_t, int32_t>;
  auto live = [] {
    std::multiset<TEntity> out;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      const uint32_t word = DRDB->WordAt(i);
      TDrillEntity* e = DRDB->EntityAt(i);
      TIntPoint p;
      if (static_cast<int32_t>(word) <= 0 || e == nullptr || (e->GetPoint(p), p.X < 0)) continue;
      out.insert({30 + LayerOfBit(word & 0x3FFu), e->Tool, e->GetType(), p.X, p.Y});
    }
    return out;
  };
  const std::multiset<TEntity> job = live();
  ASSERT_EQ(job.size(), 8u);
  TDrillEntityBatch filler;
  while (filler.Count() < TDrillEntities::HighestIndex - DrillEntityCount)
    filler.Append(NCLayerBit(30) | SlotDeletedBit)->Entity = new TDrillHole({-10 * 25400000, 0}, 1);
  DRDB->TakeEntities(filler);
  ResetHeadlessDialogs();

  ScriptInputBoxAnswer("0.001");
  Run(form, emDrill, "ConvertExpandedSlottoSlot1");
  EXPECT_EQ(LastBox(), "The drill database is full: it holds at most 1,000,000 entities.\r\nConverting the "
                       "expanded slots needs 1 more; there is room for 0.\r\nNothing was changed.");
  EXPECT_EQ(live(), job);

  QueueModalScript("TSpacingCheckDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emDrill, "SpacingCheck1");
  EXPECT_EQ(LastBox(), "The drill database is full: it holds at most 1,000,000 entities.\r\nChecking the "
                       "spacing needs 8 more; there is room for 0.\r\nNothing was changed.");
  EXPECT_EQ(ShownMessageBoxes().size(), 3u);  // the nibble question and the two refusals
  EXPECT_EQ(live(), job);
  std::string name;
  ASSERT_TRUE(DrillUndo->CanUndo(name));
  EXPECT_EQ(name, "Import file");
}

// Make Drill Tape with Band Sweep Y on a row of a thousand hits along X,
// stored in no order: the row lies across the bands, and the tape drills
// it from one end to the other (each band's hits in turn, not back and
// forth in the order stored).
TEST_F(TMenuItemsTest, BandSweepYDrillsARowAcrossItsBandsEndToEnd) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  constexpr int32_t in = 25400000;
  ToolTable[1].Diameter = in / 100;
  for (int32_t k = 0; k < 1000; ++k) ASSERT_NE(DRDB->AddHoleOnLayer(in + (k * 379 % 1000) * (in / 100), in, 30, 1, true), 0);
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.ToolTableCheckBox.SetChecked(false);
    d.MarkFirstCheckBox.SetChecked(false);
    d.MarkLastCheckBox.SetChecked(false);
    d.OptimizerGroup.ClickItem(3);
    d.OKButton.Click();
  });
  const std::string tape = (TempDir / "ROW.DRL").string();
  ScriptFileDialogAnswer(tape);
  Run(form, emDrill, "MakeDrillTape1");
  // The X of each hit in the order drilled (inches, two integer digits,
  // trailing zeros left out).
  std::vector<double> xs;
  const std::string bytes = ReadFileBytes(tape);
  for (std::size_t at = bytes.find("\nX"); at != std::string::npos; at = bytes.find("\nX", at + 1)) {
    std::string digits = bytes.substr(at + 2, bytes.find('Y', at) - at - 2);
    digits.resize(6, '0');
    xs.push_back(std::strtod((digits.substr(0, 2) + "." + digits.substr(2)).c_str(), nullptr));
  }
  ASSERT_EQ(xs.size(), 1000u) << bytes.substr(0, 200);
  double travel = 0;
  for (std::size_t k = 1; k < xs.size(); ++k) travel += std::abs(xs[k] - xs[k - 1]);
  EXPECT_NEAR(travel, 9.99, 1e-9);
  EXPECT_EQ(std::min(xs.front(), xs.back()), *std::min_element(xs.begin(), xs.end()));
  EXPECT_EQ(std::max(xs.front(), xs.back()), *std::max_element(xs.begin(), xs.end()));
}

}  // namespace
