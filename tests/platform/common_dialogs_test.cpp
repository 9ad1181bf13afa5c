#include "platform/common_dialogs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"

class CommonDialogsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetCommonDialogScript();
  }
  void TearDown() override {
    ResetCommonDialogScript();
    TKorvexTest::TearDown();
  }
};

const char* const kCadFilter =
    "All Files (*.*)|*.*|DXF (*.DXF)|*.DXF|GCadd Drawing (*.GCD,*.DWG)|*.GCD;*.DWG|"
    "Infinite Graphics Post|*.PST|VALOR Matrix file|MATRIX.*";

TEST_F(CommonDialogsTest, FilterTextSplitsIntoDescriptionsAndMasks) {
  auto filters = ParseFilterText(kCadFilter);
  ASSERT_EQ(filters.size(), 5u);
  EXPECT_EQ(filters[0], (TFileFilter{"All Files (*.*)", {"*.*"}}));
  EXPECT_EQ(filters[2], (TFileFilter{"GCadd Drawing (*.GCD,*.DWG)", {"*.GCD", "*.DWG"}}));
  EXPECT_EQ(filters[4], (TFileFilter{"VALOR Matrix file", {"MATRIX.*"}}));
  EXPECT_TRUE(ParseFilterText("").empty());
  // A description left without a pattern is dropped.
  auto odd = ParseFilterText("Standard|*.*|Dangling");
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_EQ(odd[0].Description, "Standard");
  EXPECT_TRUE(HasWildcards("*.DRL"));
  EXPECT_TRUE(HasWildcards("A?.TXT"));
  EXPECT_FALSE(HasWildcards("BOARD.ZUL"));
}

TEST_F(CommonDialogsTest, OpenDialogRecordsItsSettingsAndReturnsTheChoice) {
  const std::string folder = (TempDir / "home" / "TOOLDATA").string();
  TOpenDialog dlg;
  dlg.Title = "Select Drill Tool Table";
  dlg.InitialDir = folder;
  dlg.FileName = "*.*";
  dlg.Filter = kCadFilter;
  dlg.FilterIndex = 2;
  dlg.Options |= ofHideReadOnly;

  ScriptFileDialogAnswer("TABLE1.TXT", 3);
  ASSERT_TRUE(dlg.Execute());
  // A bare name is taken inside the dialog's folder.
  EXPECT_EQ(dlg.FileName, folder + "/TABLE1.TXT");
  EXPECT_EQ(dlg.FilterIndex, 3);

  ASSERT_EQ(ShownCommonDialogs().size(), 1u);
  const TCommonDialogRecord& rec = ShownCommonDialogs()[0];
  EXPECT_EQ(rec.Kind, TCommonDialogKind::Open);
  EXPECT_EQ(rec.Title, "Select Drill Tool Table");
  EXPECT_EQ(rec.InitialDir, folder);
  EXPECT_EQ(rec.FileName, "*.*");
  EXPECT_EQ(rec.Filter, kCadFilter);
  EXPECT_EQ(rec.FilterIndex, 2);
  EXPECT_EQ(rec.Options, ofHideReadOnly);
  EXPECT_TRUE(rec.Accepted);
}

TEST_F(CommonDialogsTest, SaveDialogCancelLeavesEverythingAlone) {
  TSaveDialog dlg;
  dlg.Title = "Save Database as:";
  dlg.FileName = "BOARD.ZUL";
  dlg.FilterIndex = 1;
  EXPECT_EQ(dlg.Kind(), TFileDialogKind::Save);

  ScriptCommonDialogCancel();
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(dlg.FileName, "BOARD.ZUL");
  EXPECT_EQ(dlg.FilterIndex, 1);
  EXPECT_EQ(ShownCommonDialogs()[0].Kind, TCommonDialogKind::Save);
  EXPECT_FALSE(ShownCommonDialogs()[0].Accepted);

  // A full path comes back as it is; index 0 keeps the dialog's own.
  ScriptFileDialogAnswer("/tmp/x/NEW.ZUL");
  ASSERT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.FileName, "/tmp/x/NEW.ZUL");
  EXPECT_EQ(dlg.FilterIndex, 1);
}

// A name typed without an extension is saved under the chosen type's; the
// open dialog, a name with an extension and a type of any extension leave
// the name alone.
TEST_F(CommonDialogsTest, SaveDialogGivesATypedNameTheChosenTypesExtension) {
  const std::string filter = "Gerber (*.GBR,*.GRB)|*.GBR;*.GRB|PostScript (*.PS)|*.PS|All|*.*";
  TSaveDialog save;
  save.Filter = filter;
  ScriptFileDialogAnswer("/tmp/x/plot1", 2);
  ASSERT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, "/tmp/x/plot1.PS");
  ScriptFileDialogAnswer("/tmp/x/plot2", 1);
  ASSERT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, "/tmp/x/plot2.GBR");
  ScriptFileDialogAnswer("/tmp/x.dir/plot3", 3);
  ASSERT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, "/tmp/x.dir/plot3");
  ScriptFileDialogAnswer("/tmp/x/plot4.gbr", 2);
  ASSERT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, "/tmp/x/plot4.gbr");
  TOpenDialog open;
  open.Filter = filter;
  ScriptFileDialogAnswer("/tmp/x/plot5", 2);
  ASSERT_TRUE(open.Execute());
  EXPECT_EQ(open.FileName, "/tmp/x/plot5");
  EXPECT_EQ(WithChosenExtension("a", filter, 9), "a");
  EXPECT_EQ(WithChosenExtension("a", "", 1), "a");
}

TEST_F(CommonDialogsTest, ScriptMistakesAndMissingScriptsFailLoudly) {
  TOpenDialog dlg;
  dlg.Title = "Select file to open";
  try {
    dlg.Execute();
    FAIL() << "an unscripted dialog must throw";
  } catch (const EUnscriptedDialog& e) {
    EXPECT_NE(std::string(e.what()).find("Select file to open"), std::string::npos);
  }

  // A filter the dialog does not offer.
  dlg.Filter = "Standard|*.*|Filter A|*.*";
  ScriptFileDialogAnswer("a.txt", 3);
  EXPECT_THROW(dlg.Execute(), EUnscriptedDialog);
  ResetCommonDialogScript();

  // A font answer for a file dialog, and a file answer for a font dialog.
  ScriptFontDialogAnswer(TFont{});
  EXPECT_THROW(dlg.Execute(), EUnscriptedDialog);
  ResetCommonDialogScript();
  ScriptFileDialogAnswer("a.txt");
  TFontDialog fd;
  EXPECT_THROW(fd.Execute(), EUnscriptedDialog);
  EXPECT_EQ(PendingCommonDialogAnswers(), 1u);
}

TEST_F(CommonDialogsTest, FontDialog) {
  TFontDialog dlg;
  dlg.Font.Name = "Courier New";
  dlg.Font.Size = 10;
  dlg.Options = fdFixedPitchOnly;  // no effects section

  TFont chosen;
  chosen.Name = "DejaVu Sans Mono";
  chosen.Size = 12;
  chosen.Bold = true;
  chosen.FixedPitch = true;
  ScriptFontDialogAnswer(chosen);
  ScriptCommonDialogCancel();

  ASSERT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.Font.Name, "DejaVu Sans Mono");
  EXPECT_EQ(dlg.Font.Size, 12);
  EXPECT_TRUE(dlg.Font.Bold);
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(dlg.Font.Name, "DejaVu Sans Mono");

  const auto& rec = ShownCommonDialogs();
  ASSERT_EQ(rec.size(), 2u);
  EXPECT_EQ(rec[0].Kind, TCommonDialogKind::Font);
  EXPECT_EQ(rec[0].Font.Name, "Courier New");
  EXPECT_EQ(rec[0].FontOptions, fdFixedPitchOnly);
  EXPECT_EQ(rec[1].Font.Name, "DejaVu Sans Mono");
}
