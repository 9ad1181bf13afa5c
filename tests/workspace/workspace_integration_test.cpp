// The running program's pieces working together: the screen picture made at
// start-up, the view drawing the job into it, Pan, the please-wait box, the
// report windows and the File menu's items.
#include <algorithm>
#include <cerrno>

#include "editor/editor_window.h"
#include "foundation/file_utils.h"
#include "foundation/report_windows.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_edit.h"
#include "model/rout_housekeeping.h"
#include "plot/odb_export.h"
#include "workspace/db_bitmap.h"
#include "workspace/small_dialogs.h"
#include "workspace/statistics_reports.h"
#include "workspace/view_setup.h"
#include "workspace/wait_box.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t Inch = 25400000;

class TWorkspaceIntegrationTest : public TWorkspaceTest {
 protected:
  void SetUp() override {
    TWorkspaceTest::SetUp();
    ResetHeadlessDialogs();
    // Report windows close with OK; their captions and lines are kept.
    RegisterModalScript("TGTWindow", [this](TForm& f) {
      auto& w = static_cast<TGTWindow&>(f);
      Reports.push_back({w.Caption(), {}, w.Columns});
      for (int32_t row = 1; row <= w.Rows; ++row) Reports.back().Lines.push_back(w.Lines[row]);
      f.Click("OKButton");
    });
    RegisterModalScript("TGTScrollWindow", [this](TForm& f) {
      auto& w = static_cast<TGTScrollWindow&>(f);
      Reports.push_back({w.Caption(), w.Memo1.Lines()});
      f.Click("OKButton");
    });
  }
  void TearDown() override {
    ResetHeadlessDialogs();
    TWorkspaceTest::TearDown();
    DatabaseFileName.clear();
  }
  // The picture's pixel at a world point.
  static TColor PictureAt(int32_t x, int32_t y) {
    int32_t dx, dy;
    DBBitmap->WorldToDevice(x, y, dx, dy);
    return OffscreenBitmap->Canvas().GetPixel(dx, dy);
  }
  struct TReport {
    std::string Caption;
    std::vector<std::string> Lines;
    int32_t Columns = 0;
  };
  std::vector<TReport> Reports;
};

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& l : lines)
    if (l.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST_F(TWorkspaceIntegrationTest, StartUpMakesTheScreenPictureAndShowsTheAboutBox) {
  StartProgram();
  // Made three screens each way at the screen's depth, the buffer holds
  // the picture the view rendered, at the picture's own size.
  ASSERT_NE(OffscreenBitmap, nullptr);
  EXPECT_TRUE(OffscreenBitmap->UsesDIB);
  ASSERT_NE(DBBitmap, nullptr);
  EXPECT_EQ(OffscreenBitmap->Pixels().Width(), DBBitmap->W());
  EXPECT_EQ(OffscreenBitmap->Pixels().Height(), DBBitmap->H());
  EXPECT_EQ(DrawSurface, DBBitmap);
  EXPECT_EQ(&ViewServices().Picture(), DBBitmap);
  EXPECT_EQ(&CurrentSurface(), DBBitmap);
  // The picture is three paint boxes, as the view rendered it.
  EXPECT_EQ(DBBitmap->W(), 3 * Form->PaintBox.Width());
  EXPECT_EQ(DBBitmap->H(), 3 * Form->PaintBox.Height());
  // The about box ran once, and the splash screen went with it.
  EXPECT_EQ(ModalFormsShown(), std::vector<std::string>{"TAboutDialog"});
  EXPECT_EQ(SplashScreen(), nullptr);
  EXPECT_NE(&DialogHost(), &HeadlessDialogHost());

  CloseProgram();
  EXPECT_EQ(DBBitmap, nullptr);
  EXPECT_EQ(OffscreenBitmap, nullptr);
  EXPECT_EQ(DrawSurface, nullptr);
  EXPECT_EQ(&DialogHost(), &HeadlessDialogHost());
  EXPECT_FALSE(CommandDefined(cmZoomPan));
}

TEST_F(TWorkspaceIntegrationTest, TheViewDrawsTheJobGridAxesAndShadingIntoThePicture) {
  StartProgram();
  Form->LayerPanel.FindControl("L30")->Click();
  ASSERT_EQ(EditorMode, emDrill);
  ASSERT_GT(DRDB->AddHoleOnLayer(Inch, Inch / 2, 30, 1, true), 0);
  ASSERT_GT(DRDB->AddHoleOnLayer(2 * Inch, Inch, 30, 1, true), 0);
  // Zoom All (command 147) fits the view to the extents, drill holes too.
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|Zoom &All"));
  EXPECT_GT(MyScreen->Zoom, 10.0);
  EXPECT_NEAR(MyScreen->CentreX, 1.5 * Inch, Inch / 100.0);
  EXPECT_NEAR(MyScreen->CentreY, 0.75 * Inch, Inch / 100.0);
  EXPECT_NE(PictureAt(Inch, Inch / 2), BackgroundColor);
  EXPECT_NE(PictureAt(2 * Inch, Inch), BackgroundColor);
  EXPECT_EQ(PictureAt(Inch + Inch / 4, Inch), BackgroundColor);
  // The view shows the middle of the picture: the hole on the paint box.
  int32_t dx, dy;
  DBBitmap->WorldToDevice(Inch, Inch / 2, dx, dy);
  const int32_t col = dx - Form->PaintBox.Width(), row = dy - Form->PaintBox.Height();
  EXPECT_NE(Form->PaintBox.Canvas().GetPixel(col, row), BackgroundColor);

  // The grid and the axes come from the picture.
  DisplayGrid = true;
  GridStep = 1.0;
  ViewServices().RedrawView();
  EXPECT_LT(GridStep, 1.0);
  int32_t axisColumn, axisRow;
  DBBitmap->WorldToDevice(0, 0, axisColumn, axisRow);
  int axisDots = 0;
  for (int32_t r = 0; r < DBBitmap->H(); ++r)
    axisDots += OffscreenBitmap->Canvas().GetPixel(axisColumn, r) == GridAndAxisColor;
  EXPECT_GT(axisDots, DBBitmap->H() / 3);  // the dash-dot Y axis
  DisplayGrid = false;

  // Zoomed all the way out, the picture reaches beyond the limits: grey.
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|&Full Screen"));
  EXPECT_EQ(MyScreen->Zoom, 0.95);
  EXPECT_EQ(OffscreenBitmap->Canvas().GetPixel(1, 1), 0x808080u);
  EXPECT_EQ(PictureAt(Inch * 10, Inch * 10), BackgroundColor);
}

TEST_F(TWorkspaceIntegrationTest, ZoomWindowAndPanTextsShowTheirRectangleAndCentre) {
  StartProgram();
  ASSERT_TRUE(ExecZoomWindow("ZOOMWINDOW(0,0,25400000,25400000)"));
  // One square inch fills the view (with a margin), centred.
  EXPECT_EQ(MyScreen->CentreX, Inch / 2);
  EXPECT_EQ(MyScreen->CentreY, Inch / 2);
  const int32_t w = Form->PaintBox.Width(), h = Form->PaintBox.Height();
  const int32_t left = MyScreen->MouseToWorldX(0), right = MyScreen->MouseToWorldX(w);
  const int32_t top = MyScreen->MouseToWorldY(0), bottom = MyScreen->MouseToWorldY(h);
  EXPECT_LE(left, 0);
  EXPECT_GE(right, Inch);
  EXPECT_GE(top, Inch);
  EXPECT_LE(bottom, 0);
  EXPECT_LT(std::min(right - left, top - bottom), Inch * 6 / 5) << "the inch is not lost in a wider view";
  ASSERT_TRUE(ExecZoomPan("ZOOMPAN(2540000,-2540000)"));
  EXPECT_EQ(MyScreen->CentreX, 2540000);
  EXPECT_EQ(MyScreen->CentreY, -2540000);
  EXPECT_FALSE(ExecZoomWindow("ZOOMWINDOW(0,0,1)"));
  EXPECT_FALSE(ExecZoomPan("ZOOMPAN(1.5,2)"));
}

TEST_F(TWorkspaceIntegrationTest, PanCentresTheViewOnTheNextClick) {
  StartProgram();
  MyScreen->SetZoom(8.0);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|&Pan"));
  EXPECT_EQ(ECO->ActiveCommandNumber(), cmZoomPan);
  const int32_t x = Form->PaintBox.Width() / 4, y = Form->PaintBox.Height() / 4;
  const int32_t wx = MyScreen->MouseToWorldX(x), wy = MyScreen->MouseToWorldY(y);
  TInputEvent click;
  click.Kind = ievMouseDown;
  click.Buttons = mbtLeft;
  click.X = x;
  click.Y = y;
  Form->ViewHandleEvent(click);
  EXPECT_EQ(MyScreen->CentreX, wx);
  EXPECT_EQ(MyScreen->CentreY, wy);
  // Line waits again (CAD mode's own command): the next click starts a
  // line, the view stays.
  EXPECT_EQ(ECO->ActiveCommandNumber(), 59);
  Form->ViewHandleEvent(click);
  EXPECT_EQ(MyScreen->CentreX, wx);
}

TEST_F(TWorkspaceIntegrationTest, ThePleaseWaitBoxShowsItsLinesAndGrowsToHoldThem) {
  StartProgram();
  {
    THourGlass wait;
    EXPECT_EQ(Form->WaitBox(), nullptr);
    wait.Show("Packing");
    ASSERT_NE(Form->WaitBox(), nullptr);
    TShowWaitDlg& box = *Form->WaitBox();
    EXPECT_TRUE(box.Showing());
    EXPECT_EQ(box.Caption(), "Please Wait...");
    EXPECT_EQ(box.Lines, std::vector<std::string>{"Packing"});
    // Six lines and a long one: taller and wider than it started.
    wait.Show("1\n2\n3\n4\n5\n" + std::string(120, 'W'));
    EXPECT_EQ(&box, Form->WaitBox());
    EXPECT_EQ(box.Lines.size(), 6u);
    box.CaptionPaintBox.Repaint();
    const int32_t h = box.CaptionPaintBox.Canvas().TextHeight("X");
    EXPECT_EQ(box.BoxHeight, h * 3 + 90);
    EXPECT_GT(box.BoxWidth, TShowWaitDlg::StartWidth);
    EXPECT_EQ(box.CaptionPaintBox.Width(), box.BoxWidth - TShowWaitDlg::ImagePanelWidth);
  }
  EXPECT_EQ(Form->WaitBox(), nullptr);
  // Counting the rout database shows the box and takes it down again.
  TRoutStatistics counters{};
  RTDB->CollectStatistics(counters);
  EXPECT_EQ(Form->WaitBox(), nullptr);
}

TEST_F(TWorkspaceIntegrationTest, GetInfoAndPathLengthShowTheirReportWindows) {
  StartProgram();
  DB->AddLine(0, 0, Inch, 0);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&Get Info"));
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].Caption, "Drawing Statistics");
  EXPECT_TRUE(Contains(Reports[0].Lines, "              Lines :       1"));

  Form->LayerPanel.FindControl("L30")->Click();
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&Get Info"));
  ASSERT_EQ(Reports.size(), 2u);
  EXPECT_EQ(Reports[1].Caption, "Drill Database Statistics");

  Form->LayerPanel.FindControl("L40")->Click();
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&Get Info"));
  ASSERT_EQ(Reports.size(), 3u);
  EXPECT_EQ(Reports[2].Caption, "Drawing Statistics");
  EXPECT_TRUE(Contains(Reports[2].Lines, "Packable Garbage 0%, or 0 bytes"));
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|Pat&h Length Report"));
  ASSERT_EQ(Reports.size(), 4u);
  EXPECT_EQ(Reports[3].Caption, "Path Length Report");
  EXPECT_TRUE(Contains(Reports[3].Lines, "Layer Tool  Total Path Length"));
  // Every report ran inside the modal bracket and left the area idle.
  EXPECT_EQ(Form->ModalLevel(), 0);
  EXPECT_EQ(MyScreen->Activity, acIdle);
  EXPECT_EQ(Form->Menu(), &Form->RoutMenu);
}

TEST_F(TWorkspaceIntegrationTest, RoutGarbageCountsDeletedPathEntities) {
  TEntityStatistics counters{};
  counters[etRoutLine] = 2;            // deleted
  counters[etRoutArc] = 1;             // deleted
  counters[etRoutLine + 15] = 5;       // live
  counters[etRoutCircle] = 7;          // circles are not counted
  int32_t percent = -1, bytes = -1;
  EstimateRoutDatabaseSize(counters, percent, bytes);
  EXPECT_EQ(bytes, 72 * 2 + 86);
  EXPECT_EQ(percent, 39);  // 230 of 590 bytes
  EstimateRoutDatabaseSize(TEntityStatistics{}, percent, bytes);
  EXPECT_EQ(bytes, 0);
  EXPECT_EQ(percent, 0);
}

TEST_F(TWorkspaceIntegrationTest, OptionsAboutAndErrorInspectorItems) {
  StartProgram();
  Form->LayerPanel.FindControl("L35")->Click();
  // Options: the layer buttons go at once.
  QueueModalScript("TOptionsDialog", [](TForm& f) {
    f.Get<TCheckBox>("LayerCheckBox").SetChecked(false);
    f.Click("OKButton");
  });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|Options"));
  EXPECT_FALSE(Form->LayerPanel.Visible());
  EXPECT_FALSE(ShowLayerButtons);
  ShowLayerButtons = true;

  ResetModalScripts();
  RegisterModalScript("TAboutDialog", [](TForm& f) { f.Click("OKButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|About &VarovUvov"));
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Help|&About"));
  RegisterModalScript("TExceptionHandler", [](TForm& f) { f.Close(); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&Error Inspector"));
  EXPECT_EQ(ModalFormsShown(),
            (std::vector<std::string>{"TAboutDialog", "TAboutDialog", "TExceptionHandler"}));
  EXPECT_EQ(Form->ModalLevel(), 0);
  EXPECT_EQ(Form->Menu(), &Form->DrillMenu);
}

TEST_F(TWorkspaceIntegrationTest, CadImportReadsAnExcellonTapeIntoTheDrawing) {
  StartProgram();
  const std::string tape = (Home() / "INDATA" / "PANEL.DRL").string();
  WriteFileBytes(tape, "M48\nT1C0.04\n%\nT1\nX010000Y010000\nX020000Y010000\nM30\n");
  ScriptFileDialogAnswer(tape);
  // The user confirms the file as an Excellon tape in the "File Format" box.
  QueueModalScript("TForceFormatDialog", [](TForm& f) {
    f.Get<TComboBox>("PullDown").SetItemIndex(3);
    f.Click("OKButton");
  });
  QueueModalScript("TCadInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  DatabaseFileName.clear();
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&Import"));
  // Two hits became two circles of the tool's radius, as one undo step.
  TCadStatistics counts = DB->CountByType();
  EXPECT_EQ(counts[etCadCircle + 15], 2);
  std::string name;
  EXPECT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Import file");
  EXPECT_EQ(NativePath(CadImportPath), NativePath(ExecutionPath() + "INDATA\\"));
  EXPECT_EQ(DatabaseFileName, DatabasePath + "PANEL.ZUL");
  // The view zoomed to the drawing.
  EXPECT_NEAR(MyScreen->CentreX, 1.5 * Inch, Inch / 100.0);
  EXPECT_EQ(MyScreen->UpdateLock, 0);
  EXPECT_EQ(Form->ModalLevel(), 0);

  // Cancel in the file dialog imports nothing.
  ScriptCommonDialogCancel();
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&Import"));
  EXPECT_EQ(DB->CountByType()[etCadCircle + 15], 2);
}

TEST_F(TWorkspaceIntegrationTest, RoutEditingReachesTheCommandLineAndTheLayerFiles) {
  StartProgram();
  TRoutEditServices& services = RoutEditServices();
  EXPECT_EQ(dynamic_cast<THeadlessRoutEditServices*>(&services), nullptr);
  // Prompts go to the command line and come back.
  TPromptLines saved;
  services.SavePrompts(saved);
  services.SetPromptLine(1, 1, "Pick the path>");
  TPromptLines now;
  services.SavePrompts(now);
  EXPECT_NE(now[0].find("Pick the path>"), std::string::npos);
  services.RestorePrompts(saved);
  services.SavePrompts(now);
  EXPECT_EQ(now, saved);
  // The text editor opens; leaving it without OK takes nothing back.
  QueueModalScript("TQuillexForm", [](TForm& f) { f.SetModalResult(mrCancel); });
  EXPECT_FALSE(services.RunTextEditor("R0.TMP", 3));
}

TEST_F(TWorkspaceIntegrationTest, RoutMenusReachTheRoutFileAndFormatDialogs) {
  StartProgram();
  Form->LayerPanel.FindControl("L40")->Click();
  ASSERT_EQ(Form->Menu(), &Form->RoutMenu);
  QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("CancelButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|Rout Output For&mat"));
  QueueModalScript("TSwapTablesDialog", [](TForm& f) { f.Close(); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|F&ilters"));
  EXPECT_EQ(ModalFormsShown(), (std::vector<std::string>{"TAboutDialog", "TRoutOutputFormatDialog",
                                                       "TSwapTablesDialog"}));
  EXPECT_EQ(Form->ModalLevel(), 0);
}

TEST_F(TWorkspaceIntegrationTest, DrillAndRoutMenusReachTheTapeAndToolTableDialogs) {
  StartProgram();
  Form->LayerPanel.FindControl("L30")->Click();
  ASSERT_EQ(Form->Menu(), &Form->DrillMenu);
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) { f.Click("CancelButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&Make Drill Tape"));
  ScriptCommonDialogCancel();
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|Make ESI Laser File"));
  EXPECT_EQ(ShownCommonDialogs().back().Title, "Save ESI Laser File as:");
  QueueModalScript("TActiveToolsDialog", [](TForm& f) { f.Click("CancelButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|Active &Tools"));
  QueueModalScript("TVersionDialog", [](TForm& f) { f.Click("CancelButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|&Version"));
  QueueModalScript("TToolTableDialog", [](TForm& f) { f.Click("CancelButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Tools|&Edit Tool Table"));
  ScriptCommonDialogCancel();
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Tools|&Auto Load Feeds && Speeds"));
  EXPECT_EQ(ShownCommonDialogs().back().Title, "Select Feed/Speed Table");
  Form->LayerPanel.FindControl("L40")->Click();
  QueueModalScript("TToolPageDialog", [](TForm& f) { f.Click("CancelButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Modify|C&utter Config"));
  EXPECT_EQ(ModalFormsShown(),
            (std::vector<std::string>{"TAboutDialog", "TMakeDrillTapeDialog", "TActiveToolsDialog",
                                      "TVersionDialog", "TToolTableDialog", "TToolPageDialog"}));
  EXPECT_EQ(Form->ModalLevel(), 0);
}

TEST_F(TWorkspaceIntegrationTest, TextEditorAndRoutTextEditingOpenTheEditorWindow) {
  StartProgram();
  // File > Text Editor opens an empty text; the main window is locked meanwhile.
  QueueModalScript("TQuillexForm", [this](TForm& f) {
    EXPECT_EQ(f.Caption(), "Quillex - UNTITLED");
    EXPECT_GT(Form->ModalLevel(), 0);
    f.Close();
  });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|Text E&ditor"));
  EXPECT_EQ(ModalFormsShown().back(), "TQuillexForm");
  EXPECT_EQ(Form->ModalLevel(), 0);

  // Text Edit Rout: the layer goes to a scratch tape, is edited as text and
  // is read back after OK.
  Form->LayerPanel.FindControl("L40")->Click();
  ASSERT_EQ(Form->Menu(), &Form->RoutMenu);
  const int32_t before = RoutEntityCount;
  std::string edited;
  QueueModalScript("TQuillexForm", [&edited](TForm& f) {
    auto& w = static_cast<TQuillexForm&>(f);
    int32_t m30 = 0;
    for (int32_t l = 1; l <= w.Editor->LineCount(); ++l)
      if (w.Editor->LineText(l) == "M30") m30 = l;
    ASSERT_GT(m30, 0) << w.Editor->Text();
    w.Editor->SetCaretPosition(m30, 1);
    w.Editor->InsertString("T01\r\nG00X010000Y010000\r\nM15\r\nG01X020000Y010000\r\nM16\r\n");
    edited = w.Editor->Text();
    f.Get<TButton>("OKButton").Click();
  });
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|Text &Edit Rout"));
  EXPECT_NE(edited.find("G01X020000Y010000"), std::string::npos);
  EXPECT_GT(RoutEntityCount, before);
  EXPECT_EQ(Form->ModalLevel(), 0);
}

// A rout tape written without G93 gives no origin back: Text Edit Rout keeps
// the layer's panel origin, a save keeps its ROUTG93 record; Layer Erase
// still clears the origin.
TEST_F(TWorkspaceIntegrationTest, TextEditRoutKeepsThePanelOriginThatTheTapeLeavesOut) {
  StartProgram();
  Form->LayerPanel.FindControl("L41")->Click();
  RTDB->AddLineSegment({0, Inch}, {Inch, Inch}, false, NoZOffset, 0);
  Form->LayerPanel.FindControl("L40")->Click();
  ASSERT_EQ(Form->Menu(), &Form->RoutMenu);
  RoutOutputFormat.OutputG93 = false;
  QueueModalScript("TG93Dialog", [](TForm& f) {
    f.Get<TEdit>("XEdit").SetText("1.5");
    f.Get<TEdit>("YEdit").SetText("2");
    f.Click("OKButton");
  });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Modify|Set Panel &Origin"));
  const TIntPoint origin = RTDB->G93Origins[40];
  ASSERT_NE(origin, (TIntPoint{0, 0}));
  RTDB->AddLineSegment({0, 0}, {Inch, 0}, false, NoZOffset, 0);

  std::string tape;
  QueueModalScript("TQuillexForm", [&tape](TForm& f) {
    auto& w = static_cast<TQuillexForm&>(f);
    tape = w.Editor->Text();
    w.Editor->SetCaretPosition(1, 1);
    w.Editor->InsertString(";EDITED\r\n");
    f.Get<TButton>("OKButton").Click();
  });
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|Text &Edit Rout"));
  ASSERT_FALSE(tape.empty());
  EXPECT_EQ(tape.find("G93"), std::string::npos) << tape;
  EXPECT_EQ(RTDB->G93Origins[40], origin);

  // Saved and opened again: the origin is in the file.
  const std::string job = (TempDir / "ORIGIN.ZUL").string();
  ScriptFileDialogAnswer(job);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|Save &As"));
  EXPECT_NE(ReadFileBytes(job).find("ROUTG93"), std::string::npos);
  RTDB->G93Origins[40] = {};
  ScriptFileDialogAnswer(job);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&Open"));
  EXPECT_EQ(RTDB->G93Origins[40], origin);

  // Layer Erase takes the origin with the layer.
  QueueModalScript("TPickLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  ScriptMessageBoxAnswer(mrYes);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Layers|Layer &Erase"));
  EXPECT_EQ(RTDB->G93Origins[40], (TIntPoint{0, 0}));
  // The erased layer is empty to the rout database and to the ODB++ export
  // alike; the other keeps its path.
  EXPECT_TRUE(RoutLayerEmpty(40));
  EXPECT_FALSE(RoutLayerEmpty(41));
  EXPECT_FALSE(OdbLayersWithData()[40]);
  EXPECT_TRUE(OdbLayersWithData()[41]);
  QueueModalScript("TPickLayerDialog", [](TForm& f) {
    f.Get<TRadioGroup>("LayerGroup").ClickItem(41);
    f.Click("OKButton");
  });
  ScriptMessageBoxAnswer(mrYes);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Layers|Layer &Erase"));
  EXPECT_TRUE(RoutLayerEmpty(41));
  // With both erased the job holds nothing to export.
  Form->LayerPanel.FindControl("L30")->Click();
  ResetHeadlessDialogs();
  ScriptFileDialogAnswer((TempDir / "odb").string(), 1);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|Export"));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "The database is empty.  There is nothing to output");
}

// A save that puts the job in place but cannot keep the previous version
// under the backup's name (a folder has it) keeps it under the next free
// name and says so; the job counts as saved.
TEST_F(TWorkspaceIntegrationTest, ASaveThatCannotKeepTheBackupSaysSo) {
  StartProgram();
  Form->LayerPanel.FindControl("L30")->Click();
  ASSERT_NE(DRDB->AddHole(Inch, Inch, true), 0);
  const std::string job = (TempDir / "PANEL.ZUL").string();
  ScriptFileDialogAnswer(job);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|Save &As"));
  ASSERT_EQ(DatabaseFileName, job);
  const std::string first = ReadFileBytes(job);
  const std::filesystem::path backup = TempDir / "PANEL.~ZU";
  std::filesystem::create_directory(backup);
  ASSERT_NE(DRDB->AddHole(2 * Inch, Inch, true), 0);
  DatabaseModified = true;
  ResetHeadlessDialogs();
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&Save"));
  EXPECT_NE(ReadFileBytes(job), first);
  EXPECT_FALSE(DatabaseModified);
  EXPECT_TRUE(std::filesystem::is_directory(backup));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtWarning);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The job was saved as <" + job + ">, but its previous version could not be kept as <" +
                backup.string() + ">:\r\n" + SystemErrorText(EISDIR) +
                "\r\nThe previous version was kept as <" + backup.string() + "1>.");
  EXPECT_EQ(ReadFileBytes(backup.string() + "1"), first);
  // Nothing else of the attempt is left beside the job.
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(TempDir))
    if (e.path().filename().string().rfind("PANEL", 0) == 0) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"PANEL.ZUL", "PANEL.~ZU", "PANEL.~ZU1"}));
  // A backup that can be made is made without a word.
  std::filesystem::remove(backup);
  const std::string second = ReadFileBytes(job);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&Save"));
  EXPECT_EQ(ReadFileBytes(backup), second);
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
}

TEST_F(TWorkspaceIntegrationTest, AutomaticCleanupIsReachedFromTheCadMenu) {
  StartProgram();
  Form->LayerPanel.FindControl("L0")->Click();
  ASSERT_EQ(Form->Menu(), &Form->CadMenu);
  QueueModalScript("TCleanDialog", [](TForm& f) { f.Click("CancelButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Modify|&Automatic Cleanup"));
  EXPECT_EQ(ModalFormsShown().back(), "TCleanDialog");
  EXPECT_EQ(Form->ModalLevel(), 0);
}

// Automatic Cleanup on a drawing without room for the lines its merges
// make: the box names the drawing, what the clean-up needs at least and
// the room, and every line stays as it was, the undo step too.
TEST_F(TWorkspaceIntegrationTest, AutomaticCleanupWithoutRoomForItsLinesChangesNothing) {
  StartProgram();
  Form->LayerPanel.FindControl("L0")->Click();
  // Three overlapping lines along X: two merges, a line each.
  for (const auto& [a, b] : {std::pair{0, 2}, {1, 3}, {2, 4}}) DB->AddLine(a * Inch, 0, b * Inch, 0);
  CadUndo->BeginOperation("Draw");
  auto drawing = [] {
    std::vector<std::string> out;
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      TEntitySlot* slot = EntityArray->GetSlot(i);
      if (SlotDeleted(slot->Flags) || slot->Flags != 1) continue;
      TIntPoint a, b;
      slot->Entity->GetPoint(a);
      slot->Entity->GetSecondPoint(b);
      out.push_back(std::to_string(slot->Flags) + ": " + std::to_string(a.X / (Inch / 10)) + " " +
                    std::to_string(b.X / (Inch / 10)));
    }
    return out;
  };
  const std::vector<std::string> before = drawing();
  ASSERT_EQ(before.size(), 3u);
  // Points on another layer up to room for one more entity.
  const int32_t full = TEntityArray::HighestIndex - 1;
  EntityArray->GetSlot(full);
  for (int32_t i = CadEntityCount + 1; i <= full; ++i) *EntityArray->GetSlot(i) = {1u << 5, new TCadPoint(-i, -i)};
  CadEntityCount = full;
  QueueModalScript("TCleanDialog", [](TForm& f) { f.Click("OKButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Modify|&Automatic Cleanup"));
  EXPECT_EQ(LastBox(), "The CAD drawing is full: it holds at most 1,000,000 entities.\r\nCleaning up the drawing "
                       "needs at least 2 more; there is room for 1.\r\nNothing was changed.");
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(drawing(), before);
  EXPECT_EQ(CadEntityCount, full);
  std::string name;
  ASSERT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Draw");
  EXPECT_EQ(Form->ModalLevel(), 0);

  // With room for both, the three lines become one.
  TEntitySlot* last = EntityArray->GetSlot(full);
  delete last->Entity;
  *last = TEntitySlot{};
  CadEntityCount = full - 1;
  EntityArray->SetCount(full - 1);
  QueueModalScript("TCleanDialog", [](TForm& f) { f.Click("OKButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Modify|&Automatic Cleanup"));
  EXPECT_EQ(drawing(), (std::vector<std::string>{"1: 0 40"}));
  ASSERT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Auto Cleanup");
}

TEST_F(TWorkspaceIntegrationTest, ViewItemsFlipTheDisplaySettingsAndTickThemselves) {
  StartProgram();
  Form->LayerPanel.FindControl("L40")->Click();
  ASSERT_EQ(Form->Menu(), &Form->RoutMenu);
  const bool kerf = KerfFill;
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|&Kerf Fill"));
  EXPECT_EQ(KerfFill, !kerf);
  EXPECT_EQ(FindMenuItem(*Form->Menu(), "&View|&Kerf Fill")->Checked(), !kerf);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|&Units|&Millimeters"));
  EXPECT_TRUE(Metric);
  EXPECT_EQ(UnitsPerDisplayUnit, 1000000);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|&Color|Color &Tools"));
  EXPECT_EQ(RoutColors, 0);

  // The drill menu shows the same settings when it drops down.
  Form->LayerPanel.FindControl("L30")->Click();
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|&Holes|S&hapes"));
  EXPECT_EQ(DisplayHolesAs, 3);
  EXPECT_TRUE(FindMenuItem(*Form->Menu(), "&View|&Units|&Millimeters")->Checked());
  DisplayGrid = true;
  SnapToGrid = true;
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|&Grid Display"));
  EXPECT_FALSE(DisplayGrid);
  EXPECT_FALSE(SnapToGrid);
}

// An import put live as one step: the Undo button and the Edit menu agree,
// and Undo and Redo show their result without a Refresh.
TEST_F(TWorkspaceIntegrationTest, UndoAndRedoOfAnImportRedrawAndKeepTheButtonsInStep) {
  StartProgram();
  Form->LayerPanel.FindControl("L30")->Click();
  ASSERT_EQ(EditorMode, emDrill);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|&Full Screen"));
  EXPECT_FALSE(ButtonManager().IsEnabled(UndoCommand));
  const int32_t first = DrillEntityCount + 1;
  ASSERT_GT(DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, false), 0);
  ASSERT_GT(DRDB->AddHoleOnLayer(2 * Inch, Inch, 30, 1, false), 0);
  ASSERT_TRUE(DRDB->TranslateFrom(first, 0, 0, 30));
  DrillUndo->BeginOperation("Import file");
  ViewServices().RedrawView();
  ASSERT_NE(PictureAt(Inch, Inch), BackgroundColor);

  EXPECT_TRUE(ButtonManager().IsEnabled(UndoCommand));
  FindMenuItem(*Form->Menu(), "&Edit")->DropDown();
  EXPECT_TRUE(FindMenuItem(*Form->Menu(), "&Edit|&Undo")->Enabled());

  // What the window shows of the picture at a world point.
  auto shownAt = [this](int32_t x, int32_t y) {
    int32_t dx, dy;
    DBBitmap->WorldToDevice(x, y, dx, dy);
    return Form->PaintBox.Canvas().GetPixel(dx - Form->PaintBox.Width(), dy - Form->PaintBox.Height());
  };
  ASSERT_NE(shownAt(Inch, Inch), BackgroundColor);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|&Undo"));
  EXPECT_EQ(PictureAt(Inch, Inch), BackgroundColor);
  EXPECT_EQ(PictureAt(2 * Inch, Inch), BackgroundColor);
  EXPECT_EQ(shownAt(Inch, Inch), BackgroundColor);
  EXPECT_FALSE(ButtonManager().IsEnabled(UndoCommand));
  ASSERT_TRUE(ButtonManager().ButtonOf(RedoCommand)->Click());
  EXPECT_NE(PictureAt(Inch, Inch), BackgroundColor);
  EXPECT_NE(shownAt(Inch, Inch), BackgroundColor);
  EXPECT_TRUE(ButtonManager().IsEnabled(UndoCommand));
}

// In rout mode the Edit menu's Undo and Redo say what the journal holds,
// as the buttons do, when the Edit menu itself drops down.
TEST_F(TWorkspaceIntegrationTest, TheRoutEditMenuShowsWhatCanBeUndone) {
  StartProgram();
  Form->LayerPanel.FindControl("L40")->Click();
  ASSERT_EQ(EditorMode, emRout);
  EXPECT_FALSE(ButtonManager().IsEnabled(UndoCommand));
  FindMenuItem(*Form->Menu(), "&Edit")->DropDown();
  EXPECT_FALSE(FindMenuItem(*Form->Menu(), "&Edit|&Undo")->Enabled());
  EXPECT_FALSE(FindMenuItem(*Form->Menu(), "&Edit|&Redo")->Enabled());
}

// File > New clears the picture and the window at once, without a Refresh.
TEST_F(TWorkspaceIntegrationTest, NewClearsTheDrawingOnScreen) {
  StartProgram();
  Form->LayerPanel.FindControl("L30")->Click();
  ASSERT_EQ(EditorMode, emDrill);
  ASSERT_GT(DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, true), 0);
  ASSERT_GT(DRDB->AddHoleOnLayer(2 * Inch, Inch / 2, 30, 1, true), 0);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&View|Zoom &All"));
  auto shownAt = [this](int32_t x, int32_t y) {
    int32_t dx, dy;
    DBBitmap->WorldToDevice(x, y, dx, dy);
    return Form->PaintBox.Canvas().GetPixel(dx - Form->PaintBox.Width(), dy - Form->PaintBox.Height());
  };
  ASSERT_NE(PictureAt(Inch, Inch), BackgroundColor);
  ASSERT_NE(shownAt(Inch, Inch), BackgroundColor);
  DatabaseModified = false;  // as just opened: nothing to save
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|&New"));
  EXPECT_EQ(DrillEntityCount, 0);
  EXPECT_EQ(PictureAt(Inch, Inch), BackgroundColor);
  EXPECT_EQ(shownAt(Inch, Inch), BackgroundColor);
}

// A short report with a long caption: the window is wide enough to show it.
TEST_F(TWorkspaceIntegrationTest, AReportWindowIsWideEnoughForItsCaption) {
  StartProgram();
  const std::string caption = "Tool Data Report for the second panel of the job";
  ViewServices().ShowReport(caption, {"T01 0.0100"});
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].Caption, caption);
  EXPECT_GE(Reports[0].Columns, int32_t(caption.size()) + 12);
}
