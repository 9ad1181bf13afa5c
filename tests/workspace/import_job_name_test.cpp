// The job's name, caption and modified flag through the imports of the
// started program.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "foundation/file_utils.h"
#include "import/import_frame.h"
#include "model/cad_database.h"
#include "model/editor_state.h"
#include "tapein/drill_import_command.h"
#include "workspace_test_support.h"

namespace {

namespace fs = std::filesystem;

const char* const Holes = "M48\nINCH,LZ\nT1C0.030\n%\nT1\nX010000Y010000\nX020000Y010000\nM30\n";

class TImportJobNameTest : public TWorkspaceDialogsTest {
 protected:
  // Caption, name and modified flag.
  static auto JobState(TWorkspace& form) { return std::tuple(form.Caption(), DatabaseFileName, DatabaseModified); }
};

TEST_F(TImportJobNameTest, OnlyAPlacedDrillImportNamesTheJobAndASavedJobOfItsNameIsLeftAlone) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const std::string saved = NativePath(DatabasePath + "BOARD.ZUL");
  std::ofstream(saved, std::ios::binary) << "the saved job";
  ASSERT_EQ(DatabaseFileName, "");
  const auto fresh = JobState(form);
  auto placement = [&form, &fresh](const std::function<void()>& end) {
    return [&form, &fresh, end] {
      ASSERT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
      EXPECT_EQ(form.Caption(), std::get<0>(fresh));  // not named while it waits
      EXPECT_EQ(DatabaseFileName, "");
      end();
      EXPECT_NE(ECO->ActiveCommandNumber(), cmImportFinalize);
    };
  };
  const struct {
    const char* Way;
    std::string Tape;
    TModalResult Answer;
    std::function<void()> End;
  } endings[] = {
      {"Esc at the question", Holes, mrCancel, [] {}},
      {"Esc in the placement", Holes, mrNo, placement([&form] { form.KeyDown(VK_ESCAPE); })},
      // A right click leaves the placement waiting as it was.
      {"right click, then Esc in the placement", Holes, mrNo, placement([&form] {
         form.PaintBox.MouseDown(mbRight, 0, 50, 50);
         form.PaintBox.MouseUp(mbRight, 0, 50, 50);
         EXPECT_EQ(ECO->ActiveCommandNumber(), cmImportFinalize);
         form.KeyDown(VK_ESCAPE);
       })},
      {"the reader withdraws it", "M48\nINCH,LZ\nT1C0.030\n%\nT1\nX010000Y010000\nX99999999999999999999Y1\nM30\n",
       mrNo, [] {}},
      {"the tape adds nothing", "M48\nMETRIC,TZ\nT1C1.0\n%\nT1\nP99999999\nM30\n", mrNo, [] {}},
  };
  for (const auto& ending : endings) {
    SCOPED_TRACE(ending.Way);
    ImportExcellonTape(form, Input("BOARD.DRL", ending.Tape), ending.Answer);
    ending.End();
    EXPECT_EQ(JobState(form), fresh);
    EXPECT_EQ(LiveDrillEntities(), 0);
    ResetHeadlessDialogs();
    ResetModalScripts();
  }
  // Save asks for a name; cancelled, the saved job is as it was, no backup.
  ScriptCommonDialogCancel();
  Run(form, emDrill, "Save1");
  EXPECT_EQ(ShownCommonDialogs().size(), 1u);
  EXPECT_EQ(ReadFileBytes(saved), "the saved job");
  EXPECT_FALSE(fs::exists(NativePath(DatabasePath + "BOARD.~ZU")));

  // Placed by a click, the import names the job.
  ImportExcellonTape(form, Input("BOARD.DRL", Holes), mrNo);
  Click(form, 100, 100);
  const std::string name = DatabasePath + "BOARD.ZUL";
  EXPECT_EQ(DatabaseFileName, name);
  EXPECT_NE(form.Caption().find("<" + name + ">"), std::string::npos) << form.Caption();
  EXPECT_TRUE(DatabaseModified);
  EXPECT_EQ(LiveDrillEntities(), 2);

  // The job was never read from that name: Save asks before it replaces the
  // saved job. No asks for a name (cancelled here); Yes replaces it, the
  // saved job kept as the backup, and the next Save asks no more.
  const std::string question = "File <" + name + "> exists!\r\nDo you wish to overwrite it?";
  ScriptMessageBoxAnswer(mrNo);
  ScriptCommonDialogCancel();
  const std::size_t dialogs = ShownCommonDialogs().size();
  Run(form, emDrill, "Save1");
  EXPECT_EQ(LastBox(), question);
  EXPECT_EQ(ShownCommonDialogs().size(), dialogs + 1);
  EXPECT_EQ(ReadFileBytes(saved), "the saved job");
  ScriptMessageBoxAnswer(mrYes);
  Run(form, emDrill, "Save1");
  EXPECT_EQ(ReadFileBytes(NativePath(DatabasePath + "BOARD.~ZU")), "the saved job");
  EXPECT_FALSE(DatabaseModified);
  const std::size_t boxes = ShownMessageBoxes().size();
  Run(form, emDrill, "Save1");
  EXPECT_EQ(ShownMessageBoxes().size(), boxes);
  // After File > New the name an import gives is a stranger's again.
  Run(form, emDrill, "New1");
  ImportExcellonTape(form, Input("BOARD.DRL", Holes), mrNo);
  Click(form, 100, 100);
  ScriptMessageBoxAnswer(mrNo);
  ScriptCommonDialogCancel();
  Run(form, emDrill, "Save1");
  EXPECT_EQ(LastBox(), question);
}

// File > Import into CAD: a withdrawn tape and a cancelled ODB++ layer
// choice name and mark nothing; a kept tape names the job.
TEST_F(TImportJobNameTest, ACadImportNamesTheJobOnlyWhenItAddsSomething) {
  TWorkspace& form = StartProgram();
  const auto fresh = JobState(form);
  QueueModalScript("TCadInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ImportIntoCad(form, Input("BOARD.DRL", "M48\nINCH,LZ\nT1C0.030\n%\nT1\nX010000Y010000\nX99999999999999999999Y1\n"),
                fcExcellon);
  EXPECT_EQ(JobState(form), fresh);
  bool asked = false;
  QueueModalScript("TValorLayerDialog", [&asked](TForm& f) {
    asked = true;
    f.Click("CancelButton");
  });
  ImportIntoCad(form, SmallOdbJob(TempDir / "panel"), fcOdb);
  EXPECT_TRUE(asked);
  EXPECT_EQ(CadEntityCount, 0);
  EXPECT_EQ(JobState(form), fresh);

  QueueModalScript("TCadInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ImportIntoCad(form, Input("BOARD.DRL", Holes), fcExcellon);
  EXPECT_EQ(DatabaseFileName, DatabasePath + "BOARD.ZUL");
  EXPECT_TRUE(DatabaseModified);
}

// The same tape through Drill Import, Open Rout Tape and File > Import into
// CAD: each names the pattern group that no M25 began in the same words.
TEST_F(TImportJobNameTest, APatternWithoutItsM25IsNamedAlikeByTheThreeImports) {
  TWorkspace& form = StartProgram();
  const std::string tape = Input("GROUP.DRL", "M48\nINCH,LZ\nT1C0.030\n%\nT1\nM25\nX010000Y010000\nM01\n"
                                              "M02X010000\nM08\nM01\nM02X020000\nM01\nM30\n");
  const std::string said = "Line 11: M01 ends a pattern that no M25 began after the step and repeat ended in "
                           "line 10; the pattern holds no blocks and its repeats add nothing.";
  SelectLayer(30);
  std::string report;
  CloseResultWindows(&report);
  ImportExcellonTape(form, tape, mrYes, true);
  HeadlessSetProcessMessagesHook(nullptr);
  EXPECT_NE(report.find(said + "\r\n"), std::string::npos) << report;

  SelectLayer(40);
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ScriptFileDialogAnswer(tape);
  Run(form, emRout, "OpenRoutTape1");
  const std::string routBox = LastBox();
  EXPECT_EQ(routBox.rfind(said + "\r\n", 0), 0u) << routBox;

  const size_t boxes = ShownMessageBoxes().size();
  QueueModalScript("TCadInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ImportIntoCad(form, tape, fcExcellon);
  EXPECT_EQ(CadEntityCount, 2);
  ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
  EXPECT_EQ(ShownMessageBoxes().back().Text, routBox);
  EXPECT_EQ(ShownMessageBoxes().back().Type, mtWarning);
}

}  // namespace
