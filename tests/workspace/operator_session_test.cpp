// What an operator meets in the started program: Zoom In takes a window of
// two clicks, the hint strip follows the mode and keeps what a command
// reported, a file dialog locks the menus like any other, the window opens
// centred with its frame, and scratch files of an earlier run are cleared.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/drill_database.h"
#include "model/tool_tables.h"
#include "platform/common_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/keys.h"
#include "plot/plot_placement.h"
#include "tapeout/make_drill_tape.h"
#include "workspace/layer_dialogs.h"
#include "workspace_test_support.h"

namespace fs = std::filesystem;

namespace {

class TOperatorSessionTest : public TWorkspaceTest {};

TEST_F(TOperatorSessionTest, ZoomInZoomsToTheWindowOfTwoClicks) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  MyScreen->ZoomAll();
  Run(form, emDrill, "ZoomIn1");
  EXPECT_EQ(UserPanel->PromptLine(1), "Zoom In");
  EXPECT_EQ(UserPanel->PromptLine(3), "Select first corner of window > ");
  // A window a tenth of the drawing area's width.
  const int w = form.PaintBox.Width(), h = form.PaintBox.Height();
  const int x1 = w / 2, y1 = h / 2, x2 = w / 2 + w / 10, y2 = h / 2 + h / 10;
  const double cx = (double(MyScreen->MouseToWorldX(x1)) + MyScreen->MouseToWorldX(x2)) / 2;
  const double span = double(MyScreen->MouseToWorldX(x2)) - MyScreen->MouseToWorldX(x1);
  Click(form, x1, y1);
  EXPECT_EQ(UserPanel->PromptLine(3), "Select opposite corner of window > ");
  Click(form, x2, y2);
  // The window fills most of the view, centred on it; Inspect waits again.
  EXPECT_GT(MyScreen->Zoom, 0.95 * 8);
  EXPECT_NEAR(MyScreen->CentreX, cx, span / 50);
  EXPECT_EQ(HeadlessButtonBar().StateOf(cmZoomIn), THeadlessButtonBar::bsReleased);
  EXPECT_EQ(UserPanel->PromptLine(3), "Pick entity to inspect > ");
  // Escape before the second corner leaves the view as it was.
  const double zoom = MyScreen->Zoom;
  Run(form, emDrill, "ZoomIn1");
  Click(form, 10, 10);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(MyScreen->Zoom, zoom);
  EXPECT_EQ(UserPanel->PromptLine(3), "Pick entity to inspect > ");
}

// The file dialogs of Plot, Export, the tapes and the tool tables: the window
// shows the Working menu while one is open, so no menu pick can start a
// second command.
TEST_F(TOperatorSessionTest, TheFileDialogsOfPlotExportAndTapesLockTheMenus) {
  TWorkspace& form = StartProgram();
  struct TWatch : TCommonDialogBackend {
    TWorkspace* Form = nullptr;
    std::vector<std::string> Seen;
    bool ExecuteFileDialog(TOpenDialog& dialog) override {
      Seen.push_back(dialog.Filter.substr(0, 6) + (Form->Menu() == &Form->WorkingMenu ? " working" : " mode") +
                     " activity " + std::to_string(ViewServices().Activity()));
      return false;
    }
    bool ExecuteFontDialog(TFontDialog&) override { return false; }
  } watch;
  watch.Form = &form;
  TCommonDialogBackend* previous = SetCommonDialogBackend(&watch);
  Run(form, emCad, "Plot1");
  Run(form, emCad, "Export1");
  SelectLayer(30);
  Run(form, emDrill, "Plot1");
  Run(form, emDrill, "Export2");
  Run(form, emDrill, "MakeESILaserFile1");
  SelectLayer(40);
  Run(form, emRout, "MakeRoutTape1");
  Run(form, emRout, "OpenRoutTape1");
  SelectLayer(30);
  Run(form, emDrill, "LoadToolTable1");
  Run(form, emDrill, "SaveToolTable1");
  SetCommonDialogBackend(previous);
  EXPECT_EQ(watch.Seen, (std::vector<std::string>{"Gerber working activity 4", "DXF (* working activity 4",
                                                  "Gerber working activity 4", "VALOR  working activity 4",
                                                  " working activity 4", "Standa working activity 4",
                                                  "Standa working activity 4", " working activity 4",
                                                  " working activity 4"}));
  // Cancel gives the mode's menu and the drawing area back.
  EXPECT_EQ(form.Menu(), &form.DrillMenu);
  EXPECT_EQ(ViewServices().Activity(), 0);
}

// The journals' scratch files: a run that was killed left its empty ones
// behind; the next start clears those, keeps a file with contents, and the
// exit leaves the folder empty.
TEST_F(TOperatorSessionTest, EmptyScratchFilesOfAKilledRunGoAtTheNextStart) {
  const fs::path scratch = Home() / "SCRATCH";
  fs::create_directories(scratch);
  std::ofstream(scratch / "00000001.TMP").close();
  std::ofstream(scratch / "00000002.TMP") << "kept";
  std::ofstream(scratch / "NOTES.TXT").close();
  StartProgram();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(scratch)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  // This run's three journals, the file with contents and the other file.
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(names.front(), "00000002.TMP");
  EXPECT_EQ(names.back(), "NOTES.TXT");
  EXPECT_FALSE(fs::exists(scratch / "00000001.TMP"));
  CloseProgram();
  EXPECT_FALSE(fs::exists(scratch / "00000002.TMP"));
  EXPECT_TRUE(fs::exists(scratch / "NOTES.TXT"));
}

// The hint strip: a pointed hint shows while the pointer is on its item and
// gives way to the written tape's report, which stands until the operator
// clicks or types; a mode change takes the old mode's hint away.
TEST_F(TOperatorSessionTest, TheHintStripKeepsAReportAndDropsTheOldModesHint) {
  TWorkspace& form = StartProgram();
  // A hint left by the CAD tool button under the pointer when the layer
  // button switches to drill mode.
  SetPointedHint("[LI] Create Line");
  EXPECT_EQ(form.HintPanel.Caption(), "[LI] Create Line");
  SelectLayer(30);
  EXPECT_EQ(form.HintPanel.Caption(), "");

  ToolTable[1].Diameter = 25400000 / 40;
  DRDB->AddHoleOnLayer(25400000, 25400000, 30, 1, true);
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.ToolTableCheckBox.SetChecked(false);
    d.MarkFirstCheckBox.SetChecked(false);
    d.MarkLastCheckBox.SetChecked(false);
    d.OKButton.Click();
  });
  const std::string tape = (TempDir / "ONE.DRL").string();
  ScriptFileDialogAnswer(tape);
  Run(form, emDrill, "MakeDrillTape1");
  const std::string report = "Drill tape written: 1 hit, 1 tool, " + tape;
  ASSERT_EQ(form.HintPanel.Caption(), report);
  // The pointer crosses a tool button and the menu bar.
  SetPointedHint("[ZW] Zoom In");
  EXPECT_EQ(form.HintPanel.Caption(), "[ZW] Zoom In");
  SetPointedHint("");
  EXPECT_EQ(form.HintPanel.Caption(), report);
  // A pointed hint of another form (the text editor's "F3") is no report.
  SetPointedHint("F3");
  SetPointedHint("");
  EXPECT_EQ(form.HintPanel.Caption(), report);
  // Moving over the drawing leaves it; a click is something else.
  form.PaintBox.MouseMove(0, 20, 20);
  EXPECT_EQ(form.HintPanel.Caption(), report);
  form.PaintBox.MouseDown(mbRight, 0, 20, 20);
  form.PaintBox.MouseUp(mbRight, 0, 20, 20);
  EXPECT_EQ(form.HintPanel.Caption(), "");
  SetPointedHint("F3");
  SetPointedHint("");
  EXPECT_EQ(form.HintPanel.Caption(), "");
}

// Layer Control: the three columns' heads stand on one line at the top, the
// first rows of all columns on the next.
TEST_F(TOperatorSessionTest, TheLayerControlHeadsOfAllColumnsStandOnOneLine) {
  StartProgram();
  auto top = [](TControl& c) {
    int y = 0;
    for (TControl* p = &c; p != nullptr && p->Kind() != TControlKind::Form; p = p->Parent()) y += p->Top();
    return y;
  };
  auto left = [](TControl& c) {
    int x = 0;
    for (TControl* p = &c; p != nullptr && p->Kind() != TControlKind::Form; p = p->Parent()) x += p->Left();
    return x;
  };
  std::vector<int> heads, firstRows, lefts;
  RegisterModalScript("TLayerDialog", [&](TForm& f) {
    for (const char* name : {"ActiveHead1", "ActiveHead2", "ActiveHead3"}) heads.push_back(top(f.Get<TControl>(name)));
    for (const char* name : {"Active0", "Active30", "Active20"}) firstRows.push_back(top(f.Get<TControl>(name)));
    for (const char* name : {"Column1", "Column2", "Column3"}) lefts.push_back(left(f.Get<TControl>(name)));
    f.Click("CancelButton");
  });
  ExecuteLayerControl();
  ASSERT_EQ(heads.size(), 3u);
  EXPECT_EQ(heads[1], heads[0]);
  EXPECT_EQ(heads[2], heads[0]);
  EXPECT_EQ(firstRows[1], firstRows[0]);
  EXPECT_EQ(firstRows[2], firstRows[0]);
  EXPECT_GT(firstRows[0], heads[0]);
  // Still side by side, in order.
  EXPECT_LT(lefts[0], lefts[1]);
  EXPECT_LT(lefts[1], lefts[2]);
}

// The page frame of a plot's placement shows on the navy view in a light
// colour (white under exclusive or), whatever pen was left on the canvas,
// and a repaint while it moves leaves no second frame behind.
TEST_F(TOperatorSessionTest, ThePlotPlacementFrameShowsOnTheNavyView) {
  TWorkspace& form = StartProgram();
  BackgroundColor = clNavy;
  ViewServices().RedrawView();
  TCanvas& canvas = form.PaintBox.Canvas();
  canvas.Pen.Color = clBlack;
  canvas.Pen.Mode = pmCopy;
  const int32_t w = 254000 * 40, h = 254000 * 30;
  TColor corner = clBlack, oldCorner = clBlack, newCorner = clBlack;
  int step = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (MyScreen->Activity != acPrintPlacement) return;
    TInputEvent e;
    e.X = 60;
    e.Y = 80;
    switch (step++) {
      case 0:
        e.Kind = ievMouseMove;
        break;
      case 1:
        corner = canvas.GetPixel(60, 80);
        // A dialog closing over the view repaints it from the picture.
        MyScreen->ShowView(false);
        return;
      case 2:
        e.X = 90;
        e.Y = 110;
        e.Kind = ievMouseMove;
        break;
      case 3:
        oldCorner = canvas.GetPixel(60, 80);
        newCorner = canvas.GetPixel(90, 110);
        e.Kind = ievMouseDown;
        e.Buttons = mbtRight;
        break;
      default:
        e.Kind = ievMouseUp;
        break;
    }
    MyScreen->HandleEvent(e);
  });
  int32_t x = 0, y = 0;
  EXPECT_FALSE(PlacePage(w, h, x, y));
  HeadlessSetProcessMessagesHook({});
  EXPECT_EQ(corner, TColor(clNavy ^ 0xFFFFFF));
  // One frame only: the one the repaint wiped is not drawn back by the move.
  EXPECT_EQ(oldCorner, clNavy);
  EXPECT_EQ(newCorner, TColor(clNavy ^ 0xFFFFFF));
  // Erased again on the way out.
  EXPECT_EQ(canvas.GetPixel(60, 80), clNavy);
  EXPECT_EQ(canvas.GetPixel(90, 110), clNavy);
}

}  // namespace
