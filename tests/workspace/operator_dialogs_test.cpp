// Dialogs and reports as the operator meets them in the started program.
#include <gtest/gtest.h>

#include "model/cad_database.h"
#include "tapeout/make_drill_tape.h"
#include "workspace/small_dialogs.h"
#include "workspace_test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t In = 25400000;

class TOperatorDialogsTest : public TWorkspaceDialogsTest {};

// File > Import of an ODB++ job: a layer's name, a step's number and name
// look pressed while the mouse button is down; the click still toggles.
TEST_F(TOperatorDialogsTest, TheOdbLayerNamesLookPressedWhileTheMouseIsDown) {
  TWorkspace& form = StartProgram();
  std::string looks;
  QueueModalScript("TValorLayerDialog", [&looks](TForm& f) {
    for (const char* name : {"Layer1", "Step1", "StepName1"}) {
      TPanel& label = f.Get<TPanel>(name);
      auto look = [&label] { return label.Bevel() == bvLowered ? "pressed " : "raised "; };
      looks += look();
      label.MouseDown(mbLeft, 0, 5, 5);
      looks += look();
      label.MouseUp(mbLeft, 0, 5, 5);
      looks += std::string(look()) + "/ ";
    }
    f.Click("Layer1");  // ticks the row of one box
    f.Click("OKButton");
  });
  ImportIntoCad(form, SmallOdbJob(TempDir / "job"), 0);
  EXPECT_EQ(looks, "raised pressed raised / raised pressed raised / raised pressed raised / ");
  EXPECT_GT(CadEntityCount, 0);  // the ticked layer came in
}

// Make Drill Tape: a name typed without an extension becomes a ".DRL"
// tape, as a rout tape's becomes ".RT"; a name with one is kept.
TEST_F(TOperatorDialogsTest, ADrillTapeNameTypedWithoutAnExtensionGetsDrl) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  for (const std::string& typed : {"d1lz", "d2.tap"}) {
    QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
      auto& d = static_cast<TMakeDrillTapeDialog&>(f);
      d.MarkFirstCheckBox.SetChecked(false);
      d.MarkLastCheckBox.SetChecked(false);
      d.FirstLastCheckBox.SetChecked(false);
      d.OKButton.Click();
    });
    ScriptFileDialogAnswer((TempDir / typed).string());
    Run(form, emDrill, "MakeDrillTape1");
  }
  EXPECT_TRUE(fs::exists(TempDir / "d1lz.DRL"));
  EXPECT_FALSE(fs::exists(TempDir / "d1lz"));
  EXPECT_TRUE(fs::exists(TempDir / "d2.tap"));
  EXPECT_FALSE(fs::exists(TempDir / "d2.tap.DRL"));
}

// Options keeps OK and Cancel under its pages; Cutter Config's columns are
// wide enough for their heads.
TEST_F(TOperatorDialogsTest, OptionsButtonsStandUnderThePagesAndCutterConfigHeadsReadWhole) {
  TWorkspace& form = StartProgram();
  int pagesBottom = 0, buttonsTop = -1;
  QueueModalScript("TOptionsDialog", [&](TForm& f) {
    f.Realign();
    const TControl& pages = f.Get<TControl>("TabbedNotebook1");
    pagesBottom = pages.Top() + pages.Height();
    const TControl& ok = f.Get<TControl>("OKButton");
    buttonsTop = ok.Top() + (ok.Parent() != &f ? ok.Parent()->Top() : 0);
    f.Click("Button1");
  });
  Run(form, emCad, "Options1");
  EXPECT_GE(buttonsTop, pagesBottom);

  SelectLayer(kFirstRoutLayer);
  std::vector<std::string> cut;
  QueueModalScript("TToolPageDialog", [&cut](TForm& f) {
    auto& grid = f.Get<TStringGrid>("Grid");
    for (int c = 0; c < grid.ColCount(); ++c)
      if (FormsBackend().TextExtent(grid.Cell(c, 0)).X + 8 > grid.DefaultColWidth()) cut.push_back(grid.Cell(c, 0));
    f.Click("CancelButton");
  });
  Run(form, emRout, "CutterConfig1");
  EXPECT_EQ(cut, std::vector<std::string>{});
}

// Save Tool Table and Cutter Config's Save over an existing file ask first,
// No the default: Enter keeps the file and asks for another name.
TEST_F(TOperatorDialogsTest, ToolTablesReplaceAnExistingFileOnlyOnYes) {
  TWorkspace& form = StartProgram();
  const fs::path table = TempDir / "OTHER.TBL", page = TempDir / "OTHER.RTT";
  for (const fs::path& p : {table, page}) WriteFileBytes(p, "kept");
  ScriptFileDialogAnswer(table.string());
  ScriptMessageBoxEnter();
  ScriptCommonDialogCancel();
  Run(form, emDrill, "SaveToolTable1");
  ScriptFileDialogAnswer(table.string());
  ScriptMessageBoxAnswer(mrYes);
  Run(form, emDrill, "SaveToolTable1");
  SelectLayer(kFirstRoutLayer);
  QueueModalScript("TToolPageDialog", [&page](TForm& f) {
    ScriptFileDialogAnswer(page.string());
    ScriptMessageBoxEnter();
    ScriptCommonDialogCancel();
    f.Click("SaveButton");
    f.Click("CancelButton");
  });
  Run(form, emRout, "CutterConfig1");
  ASSERT_EQ(ShownMessageBoxes().size(), 3u);
  EXPECT_EQ(ShownMessageBoxes()[2].Text, "File <" + page.string() + "> exists!\r\nDo you wish to overwrite it?");
  EXPECT_EQ(ShownMessageBoxes()[0].Default, mbNo);
  EXPECT_EQ(ReadFileBytes(table).size(), 21000u);
  EXPECT_EQ(ReadFileBytes(page), "kept");
}

// Show Tool Table with tools of one to four digits: every column starts
// where the others' do, in inch and in metric display.
TEST_F(TOperatorDialogsTest, ToolDataColumnsLineUpForToolsOfOneToFourDigits) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  for (int32_t t : {1, 12, 123, 1000}) {
    ToolTable[t] = {In / 40, 0, 600, 0, 1500, t == 12};
    DRDB->AddHoleOnLayer(In, In, 30, uint16_t(t), true);
  }
  for (bool metric : {false, true}) {
    Metric = metric;
    std::vector<std::string> lines;
    QueueModalScript("TGTWindow", [&lines](TForm& f) {
      auto& window = static_cast<TGTWindow&>(f);
      EXPECT_TRUE(window.PaintBox.Canvas().Font.FixedPitch);
      for (int i = 3; i <= 6; ++i) lines.push_back(window.Lines[i]);
      f.Click("OKButton");
    });
    Run(form, emDrill, "ShowToolTable1");
    ASSERT_EQ(lines.size(), 4u);
    // Where each field after the tool number ends.
    auto ends = [](const std::string& line) {
      std::vector<size_t> out;
      const std::string text = line.substr(0, line.find_last_not_of(' ') + 1) + " ";
      for (size_t i = 4; i + 1 < text.size(); ++i)
        if (text[i] != ' ' && text[i + 1] == ' ') out.push_back(i);
      return out;
    };
    EXPECT_EQ(lines[0].substr(0, 4), "  1 ") << lines[0];
    for (const std::string& line : lines) EXPECT_EQ(ends(line), ends(lines[0])) << metric << "\n" << line << "\n" << lines[0];
  }
}

}  // namespace
