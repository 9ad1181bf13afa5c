// A drill tape of a header and no holes (a CAD program's tape of a board
// without holes of that kind) through File > Import and Drill Import in the
// started program: the tape is recognised as an Excellon tape, an
// information box says it holds no holes, nothing is imported and nothing
// the job held is lost.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "import/import_frame.h"
#include "platform/headless/headless_dialogs.h"
#include "tapein/drill_import_command.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class THolelessTapeImportTest : public TWorkspaceDialogsTest {};

TEST_F(THolelessTapeImportTest, AHeaderWithoutHolesIsRecognisedAndSaysSo) {
  TWorkspace& form = StartProgram();
  const std::string tapes[] = {
      Input("NPTH.DRL",
            "M48\r\n; DRILL file {Pcbnew 7.0.5} date 2024-03-01T10:20:30+0100\r\n"
            "; FORMAT={-:-/ absolute / metric / decimal}\r\n"
            "; #@! TF.FileFunction,NonPlated,1,2,NPTH\r\nFMAT,2\r\nMETRIC\r\n%\r\nG90\r\nG05\r\n"
            "T0\r\nM30\r\n"),
      Input("EMPTY.DRL", "M48\nINCH,LZ\nT1C0.0300\nT2C0.0400\n%\nM30\n"),
      // The same over a serial link: its marks, feed and TABs are blank tape.
      Input("LINKED.DRL", std::string("\x11\r\nM48\r\nINCH,\tLZ\r\nT1\tC0.03\0" "00\r\nT2C0.0400\r\n%\r\n\x1a\r\n"
                                      "M30\r\n\x13", 54))};
  DB->AddCircleOnLayer(In, In, In / 10, 1);
  const int32_t cadBefore = CadEntityCount;
  for (const std::string& tape : tapes) {
    SCOPED_TRACE(tape);
    const std::string said = "The Excellon tape " + tape + " holds a header and no holes.\r\nNothing was imported.";
    // File > Import: the format is known, and the box says what the tape is.
    ScriptFileDialogAnswer(tape);
    int offered = -1;
    QueueModalScript("TForceFormatDialog", [&offered](TForm& f) {
      offered = f.Get<TComboBox>("PullDown").ItemIndex();
      f.Click("OKButton");
    });
    const size_t boxes = ShownMessageBoxes().size();
    Run(form, emCad, "Import1");
    EXPECT_EQ(offered, int(fcExcellon));
    ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
    EXPECT_EQ(ShownMessageBoxes().back().Text, said);
    EXPECT_EQ(ShownMessageBoxes().back().Type, mtInformation);
    EXPECT_EQ(CadEntityCount, cadBefore);
    EXPECT_EQ(DatabaseFileName, "");  // no job is named after it

    // Drill Import, on a drill layer that holds a hole.
    SelectLayer(30);
    if (DrillEntityCount == 0) DRDB->AddHoleOnLayer(In, In, 30, 1, true);
    const int32_t drillBefore = DrillEntityCount;
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TForceDrillFormatDialog", [&offered](TForm& f) {
      offered = f.Get<TComboBox>("PullDown").ItemIndex();
      f.Click("OKButton");
    });
    Run(form, emDrill, "Import2");
    EXPECT_EQ(offered, int(ifExcellon));
    ASSERT_EQ(ShownMessageBoxes().size(), boxes + 2);
    EXPECT_EQ(ShownMessageBoxes().back().Text, said);
    EXPECT_EQ(DrillEntityCount, drillBefore);
    EXPECT_EQ(PendingCommonDialogAnswers(), 0u);
    EditorMode = emCad;
  }
}

}  // namespace
