// A program started with nothing set by hand: the layers carry their names,
// an ODB++ product model exported from it reads back whole, an ODB++ import
// hands its rout tool on to the next path drawn, and a card-image file cut
// short keeps what was read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "foundation/display_units.h"
#include "entity_counts.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/keys.h"
#include "workspace_test_support.h"

namespace {

namespace fs = std::filesystem;

const char* const Artwork =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nG54D10*\nX10000Y10000D02*\nX20000Y10000D01*\n"
    "X20000Y20000D01*\nX15000Y15000D03*\nM02*\n";
const char* const DrillTape = "M48\nINCH,LZ\nT01C0.030\nT02C0.062\n%\nT01\nX010000Y010000\n"
                              "X020000Y010000\nT02\nX015000Y020000\nM30\n";

class TFreshStartTest : public TWorkspaceTest {
 protected:
  // File > Import of a photoplot into the current CAD layer.
  void ImportArtwork(TWorkspace& form, const std::string& name) {
    ScriptFileDialogAnswer(Input(name, Artwork));
    QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    QueueModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emCad, "Import1");
  }
  // The tool of the last rout jog from the index on (0 for none).
  static int32_t LastJogTool(int32_t from) {
    int32_t tool = 0;
    for (int32_t i = from; i <= RoutEntityCount; ++i) {
      TEntitySlot* slot = RoutEntities->GetSlot(i);
      if (slot == nullptr || slot->Flags == 0 || SlotDeleted(slot->Flags)) continue;
      if (auto* jog = dynamic_cast<TRoutJog*>(slot->Entity)) tool = jog->GetToolNumber();
    }
    return tool;
  }
  // File > Import of an ODB++ matrix with every layer of every step ticked.
  void ImportProductModel(TWorkspace& form, const std::string& matrix) {
    ScriptFileDialogAnswer(matrix);
    QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    QueueModalScript("TValorLayerDialog", [](TForm& f) {
      for (int step = 1; f.Find<TControl>("Step" + std::to_string(step)); ++step)
        f.Click("Step" + std::to_string(step));
      f.Click("OKButton");
    });
    Run(form, emCad, "Import1");
  }
};

TEST_F(TFreshStartTest, AnOdbExportOfAFreshProgramNamesEveryLayerAndReadsBackWhole) {
  TWorkspace& form = StartProgram();
  EXPECT_EQ(LayerNames[0], "0");
  EXPECT_EQ(LayerNames[29], "29");
  EXPECT_EQ(LayerNames[30], "D0");
  EXPECT_EQ(LayerNames[44], "R4");
  // CAD layers 0 and 1 and drill layer D0, through the imports.
  ImportArtwork(form, "TOP.GBR");
  SelectLayer(1);
  Run(form, emCad, "Line1");
  Click(form, 100, 100);
  Click(form, 300, 200);
  form.KeyDown(VK_ESCAPE);
  SelectLayer(30);
  ImportExcellonTape(form, Input("HOLES.DRL", DrillTape));
  // Two tracks and a round flash on layer 0, a line on layer 1.
  ASSERT_EQ(CadCounts(), (std::map<std::string, int>{{"0:L", 2}, {"0:C", 1}, {"1:L", 1}}));
  const std::map<int, int> holes = HoleCounts();
  ASSERT_EQ(holes, (std::map<int, int>{{30, 3}}));

  // Drill > File > Export: the dialog offers the layers by their names.
  std::vector<std::string> offered;
  QueueModalScript("TValorExportDialog", [&](TForm& f) {
    for (int layer = 0; layer < 45; ++layer)
      if (auto* edit = f.Find<TEdit>("Name" + std::to_string(layer))) offered.push_back(edit->Text());
    f.Click("OKButton");
  });
  const fs::path product = TempDir / "product";
  ScriptFileDialogAnswer(product.string());
  const size_t boxes = ShownMessageBoxes().size();
  Run(form, emDrill, "Export2");
  for (size_t i = boxes; i < ShownMessageBoxes().size(); ++i)
    ADD_FAILURE() << ShownMessageBoxes()[i].Text;
  EXPECT_EQ(offered, (std::vector<std::string>{"0", "1", "D0"}));
  const fs::path matrix = product / "matrix" / "matrix";
  ASSERT_TRUE(fs::exists(matrix));

  // The program's own import reads every layer back under its name.
  ScriptMessageBoxAnswer(mrNo);  // the job is not saved
  Run(form, emCad, "New1");
  for (std::string& name : LayerNames) name.clear();
  ImportProductModel(form, matrix.string());
  // The step's profile (the job's extents) comes first, then the layers in
  // their rows; the flash comes back as its round pad's two halves.
  EXPECT_EQ(LayerNames[0], "PROFILE");
  EXPECT_EQ(LayerNames[1], "0");
  EXPECT_EQ(LayerNames[2], "1");
  EXPECT_EQ(LayerNames[30], "D0");
  EXPECT_EQ(CadCounts(),
            (std::map<std::string, int>{{"0:L", 4}, {"1:L", 2}, {"1:A", 2}, {"2:L", 1}}));
  EXPECT_EQ(HoleCounts(), holes);
}

TEST_F(TFreshStartTest, AnOdbRoutLayerHandsItsToolToThePathDrawnNext) {
  TWorkspace& form = StartProgram();
  ASSERT_EQ(RoutLayerTools[40], (TRoutLayerTool{1, 1}));
  // A product model with one rout layer cut with a 0.062 inch tool, then
  // a 0.093 inch one.
  const fs::path job = TempDir / "routjob";
  auto file = [&](const std::string& path, const std::string& text) {
    fs::create_directories((job / path).parent_path());
    std::ofstream(job / path, std::ios::binary) << text;
  };
  file("matrix/matrix",
       "STEP {\n   COL=1\n   NAME=PCB\n}\n\nLAYER {\n   ROW=1\n   CONTEXT=BOARD\n   TYPE=ROUT\n"
       "   NAME=OUTLINE\n   POLARITY=POSITIVE\n}\n");
  file("steps/pcb/layers/outline/features",
       "UNITS=INCH\n$0 r62\n$1 r93\n@0 .rout_chain\n@1 .comp\n#\nL 0 0 2 0 0 P 0;0=1,1=0\n"
       "L 2 0 2 1 0 P 0;0=1,1=0\nL 3 0 4 0 1 P 0;0=2,1=0\nL 4 0 4 1 1 P 0;0=2,1=0\n");
  ImportProductModel(form, (job / "matrix" / "matrix").string());
  ASSERT_GT(RoutEntityCount, 0);
  const int32_t importedTool = LastJogTool(1);
  ASSERT_GT(importedTool, 1);
  EXPECT_EQ(RoutLayerTools[40], (TRoutLayerTool{importedTool, importedTool}));

  // A line drawn next on the layer starts with a jog of that tool.
  SelectLayer(40);
  const int32_t before = RoutEntityCount;
  Run(form, emRout, "Line1");
  Click(form, 100, 100);
  Click(form, 200, 100);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(LastJogTool(before + 1), importedTool);
}

TEST_F(TFreshStartTest, ACardImageFileCutShortKeepsWhatWasRead) {
  TWorkspace& form = StartProgram();
  auto record = [](std::string head, const std::string& fields = "") {
    head.resize(30, ' ');
    head += fields;
    head.resize(80, ' ');
    return head;
  };
  std::string cards = record("P  JOB   CUT BOARD");
  for (int i = 0; i < 20; ++i) cards += record("C  comment " + std::to_string(i));
  cards += record("171", "X000000Y000000X010000Y000000X010000Y010000");
  cards += "171   X0000";  // the copy ends inside the last record
  ScriptFileDialogAnswer(Input("CUT.IPC", cards));
  QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  const size_t boxes = ShownMessageBoxes().size();
  Run(form, emCad, "Import1");
  EXPECT_EQ(CadCounts(), (std::map<std::string, int>{{"0:L", 2}}));
  for (size_t i = boxes; i < ShownMessageBoxes().size(); ++i)
    ADD_FAILURE() << ShownMessageBoxes()[i].Text;
}

}  // namespace
