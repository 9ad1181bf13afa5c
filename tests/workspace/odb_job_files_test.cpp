// ODB++ job trees through File > Import and Drill > Import of the started
// program: each fault ends with a box that says what was kept and why.
#include <gtest/gtest.h>

#include <algorithm>

#include "entity_counts.h"
#include "import/odb_import.h"
#include "lzw_compress.h"
#include "model/cad_database.h"
#include "model/rout_database.h"
#include "platform/headless/headless_files.h"
#include "workspace_test_support.h"

namespace {

namespace fs = std::filesystem;

const char* const kMatrix =
    "STEP {\n COL=1\n NAME=PANEL\n}\nSTEP {\n COL=2\n NAME=PCB\n}\n"
    "LAYER {\n ROW=1\n CONTEXT=BOARD\n TYPE=SIGNAL\n NAME=TOP\n POLARITY=POSITIVE\n}\n"
    "LAYER {\n ROW=2\n CONTEXT=BOARD\n TYPE=DRILL\n NAME=DRILL\n POLARITY=POSITIVE\n}\n";

const char* const kStepRepeat =
    "STEP-REPEAT {\n NAME=pcb\n X=0\n Y=0\n DX=1\n DY=1\n NX=2147483647\n NY=2147483647\n ANGLE=0\n}\n";

class TOdbJobFilesTest : public TWorkspaceDialogsTest {
 protected:
  std::string Path(const std::string& path) { return (TempDir / "job" / path).string(); }
  // A file of the job tree.
  void File(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(Path(path)).parent_path());
    std::ofstream(Path(path), std::ios::binary) << text;
  }
  // A panel step with a pad on TOP, a hole on DRILL and a line of profile.
  void PanelJob(const std::string& header) {
    File("matrix/matrix", kMatrix);
    File("steps/panel/stephdr", header);
    File("steps/panel/profile", "OB 0 0 I\nOS 1 0\n");
    File("steps/panel/layers/top/features", "UNITS=INCH\n$0 r10\nP 1 1 0 P 0 0\n");
    File("steps/panel/layers/drill/features", "UNITS=INCH\n$0 r20\nP 1 1 0 P 0 0\n");
  }
  // File > Import of the job's TOP layer in the panel step, or Drill >
  // Import of its DRILL layer as the main part; the boxes it showed.
  std::vector<std::string> Import(TWorkspace& form, bool drill) {
    const size_t first = ShownMessageBoxes().size();
    SelectLayer(drill ? 30 : 0);
    ScriptFileDialogAnswer(Path("matrix/matrix"));
    QueueModalScript(drill ? "TForceDrillFormatDialog" : "TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    QueueModalScript("TValorLayerDialog", [drill](TForm& f) {
      f.Click(drill ? "Cell2_1" : "Cell1_1");
      f.Click("OKButton");
    });
    if (drill) {
      ScriptMessageBoxAnswer(mrYes);  // the main part
      QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
    }
    Run(form, drill ? emDrill : emCad, drill ? "Import2" : "Import1");
    std::vector<std::string> shown;
    for (size_t b = first; b < ShownMessageBoxes().size(); ++b) shown.push_back(ShownMessageBoxes()[b].Text);
    return shown;
  }
  static int32_t Circles() {
    int32_t n = 0;
    for (int32_t i = 1; i <= CadEntityCount; ++i) n += DB->EntityAt(i)->GetType() == 4;
    return n;
  }
  // The files of a folder of the job.
  std::vector<std::string> Folder(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(TempDir / "job" / path)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

const char* const kMainPart = "Is this the main part?";

// A multilayer job of 40 layers written with its drill and rout layers last:
// "Import Valor Layers" offers every one of them, the rows past the 32nd
// scrolled to under the step numbers, and both come in.
TEST_F(TOdbJobFilesTest, EveryLayerOfAMatrixPastThirtyTwoIsOfferedAndRead) {
  TWorkspace& form = StartProgram();
  std::string matrix = "STEP {\n COL=1\n NAME=PANEL\n}\n";
  for (int r = 1; r <= 40; ++r) {
    const std::string name = r == 39 ? "DRILL" : r == 40 ? "ROUT" : "L" + std::to_string(r);
    const std::string type = r == 39 ? "DRILL" : r == 40 ? "ROUT" : "SIGNAL";
    matrix += "LAYER {\n ROW=" + std::to_string(r) + "\n CONTEXT=BOARD\n TYPE=" + type + "\n NAME=" + name +
              "\n POLARITY=POSITIVE\n}\n";
  }
  File("matrix/matrix", matrix);
  File("steps/panel/stephdr", "");
  File("steps/panel/profile", "");
  File("steps/panel/layers/drill/features", "UNITS=INCH\n$0 r20\nP 1 1 0 P 0 0\nP 2 1 0 P 0 0\n");
  File("steps/panel/layers/rout/features",
       "UNITS=INCH\n@0 .rout_chain\n@1 .comp\n$0 r100\nL 0 0 1 0 0 P 0;0=1,1=0\n");
  ScriptFileDialogAnswer(Path("matrix/matrix"));
  QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  int hidden = -1, shownRows = 0;
  QueueModalScript("TValorLayerDialog", [&](TForm& f) {
    auto& dialog = static_cast<TValorLayerDialog&>(f);
    EXPECT_EQ(f.Get<TPanel>("Layer39").Caption(), "DRILL");
    EXPECT_EQ(f.Get<TPanel>("Layer40").Caption(), "ROUT");
    EXPECT_EQ(dialog.Cell(40, 1).Hint(), "ROUT in step 1 PANEL");
    auto& rows = f.Get<TScrollBox>("LayerScrollBox");
    hidden = rows.MaxScrollTop();
    shownRows = rows.Height() / 16;
    rows.SetScrollTop(hidden);
    f.Click("Layer39");
    f.Click("Layer40");
    f.Click("OKButton");
  });
  Run(form, emCad, "Import1");
  EXPECT_EQ(hidden, 16 * 8);
  EXPECT_GE(shownRows, 32);
  EXPECT_EQ(HoleCounts()[30], 2);
  EXPECT_EQ(LayerNames[30], "DRILL");
  EXPECT_EQ(LayerNames[40], "ROUT");
  int32_t routs = 0;
  for (int32_t i = 1; i <= RoutEntityCount; ++i) routs += RTDB->EntityAt(i) != nullptr;
  EXPECT_GT(routs, 0);
}

// A matrix of more layers than any board has: those past the 256th offered
// are named in a box before the dialog, the drill and rout layers with them.
TEST_F(TOdbJobFilesTest, LayersPastThoseOfferedAreNamed) {
  TWorkspace& form = StartProgram();
  std::string matrix = "STEP {\n COL=1\n NAME=PANEL\n}\n";
  for (int r = 1; r <= 258; ++r)
    matrix += "LAYER {\n ROW=" + std::to_string(r) + "\n TYPE=" + (r < 257 ? "DOCUMENT" : r == 257 ? "DRILL" : "ROUT") +
              "\n NAME=" + (r < 257 ? "DOC" + std::to_string(r) : r == 257 ? "DRILL" : "ROUT") + "\n}\n";
  File("matrix/matrix", matrix);
  File("steps/panel/stephdr", "");
  File("steps/panel/profile", "");
  ScriptFileDialogAnswer(Path("matrix/matrix"));
  QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  bool offered = false, past = true;
  QueueModalScript("TValorLayerDialog", [&](TForm& f) {
    offered = f.Get<TPanel>("Layer256").Caption() == "DOC256";
    past = f.FindControl("Layer257") != nullptr;
    f.Click("CancelButton");
  });
  Run(form, emCad, "Import1");
  EXPECT_TRUE(offered);
  EXPECT_FALSE(past);
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "<" + (TempDir / "job").string() +
                                             "> has 258 layers; \"Import Valor Layers\" offers the first 256. "
                                             "Not offered: DRILL, ROUT.");
  std::vector<std::string> many;
  for (int k = 1; k <= 23; ++k) many.push_back("X" + std::to_string(k));
  const std::string notice = LayersLeftOutNotice("J", many);
  EXPECT_EQ(notice.substr(notice.find("Not offered")),
            "Not offered: X1, X2, X3, X4, X5, X6, X7, X8, X9, X10, X11, X12, X13, X14, X15, X16, X17, X18, X19, "
            "X20 and 3 more.");
}

// A matrix of more steps than the dialog offers: the box before it names
// those past the 32nd, which the dialog leaves out.
TEST_F(TOdbJobFilesTest, StepsPastThoseOfferedAreNamed) {
  TWorkspace& form = StartProgram();
  std::string matrix = "LAYER {\n ROW=1\n TYPE=DOCUMENT\n NAME=DOC\n}\n";
  for (int c = 1; c <= 34; ++c) matrix += "STEP {\n COL=" + std::to_string(c) + "\n NAME=S" + std::to_string(c) + "\n}\n";
  File("matrix/matrix", matrix);
  ScriptFileDialogAnswer(Path("matrix/matrix"));
  QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  QueueModalScript("TValorLayerDialog", [](TForm& f) {
    EXPECT_NE(f.FindControl("Step32"), nullptr);
    EXPECT_EQ(f.FindControl("Step33"), nullptr);
    f.Click("CancelButton");
  });
  Run(form, emCad, "Import1");
  EXPECT_EQ(LastBox(), "<" + (TempDir / "job").string() +
                           "> has 34 steps; \"Import Valor Layers\" offers the first 32. Not offered: S33, S34.");
}

// Up to 32 layers the rows show whole, without scrolling.
TEST_F(TOdbJobFilesTest, ThirtyTwoLayersShowWithoutScrolling) {
  std::vector<std::string> layers;
  for (int r = 1; r <= 32; ++r) layers.push_back("L" + std::to_string(r));
  TValorLayerDialog dialog(layers, {"PCB"});
  dialog.Height();
  EXPECT_EQ(dialog.Get<TScrollBox>("LayerScrollBox").MaxScrollTop(), 0);
  layers.push_back("DRILL");
  TValorLayerDialog more(layers, {"PCB"});
  more.Height();
  EXPECT_EQ(more.Get<TScrollBox>("LayerScrollBox").MaxScrollTop(), 16);
  EXPECT_EQ(more.Get<TScrollBox>("LayerScrollBox").Height(),
            dialog.Get<TScrollBox>("LayerScrollBox").Height());
}

// Three blocks of the largest copies pass the largest count: the notice
// shows a lower bound, on both sides; two blocks are counted exactly.
TEST_F(TOdbJobFilesTest, StepRepeatCountsPastTheLargestAreShownAsALowerBound) {
  TWorkspace& form = StartProgram();
  PanelJob(std::string("UNITS=INCH\n") + kStepRepeat + kStepRepeat + kStepRepeat);
  const std::string bound =
      "At least 9223372036854775807 copies of steps placed by step and repeat were not imported with the "
      "steps that place them; choose those steps to import them:\nat least 9223372036854775807 PCB";
  EXPECT_EQ(Import(form, false), std::vector<std::string>{bound});
  EXPECT_EQ(Circles(), 1);
  EXPECT_EQ(Import(form, true), (std::vector<std::string>{bound, kMainPart}));
  File("steps/panel/stephdr", std::string(kStepRepeat) + kStepRepeat);
  EXPECT_EQ(Import(form, false),
            std::vector<std::string>{"9223372028264841218 copies of steps placed by step and repeat were not "
                                     "imported with the steps that place them; choose those steps to import "
                                     "them:\n9223372028264841218 PCB"});
}

// A line past the longest a reader takes ends the file: what came before
// it is imported; a matrix with such a line is not read at all.
TEST_F(TOdbJobFilesTest, AnOverlongLineEndsItsFileWithABoxNamingFileAndLine) {
  TWorkspace& form = StartProgram();
  PanelJob("");
  const std::string overlong = std::string(70000, '\0') + "\nP 2 2 0 P 0 0\n";
  File("steps/panel/layers/top/features", "UNITS=INCH\n$0 r10\nP 1 1 0 P 0 0\n" + overlong);
  File("steps/panel/layers/drill/features", "UNITS=INCH\n$0 r20\nP 1 1 0 P 0 0\n" + overlong);
  const std::string tail = " is longer than 65,536 characters.\r\nThe lines before it are read; the rest of the file is not.";
  EXPECT_EQ(Import(form, false),
            std::vector<std::string>{"Line 4 of <" + Path("steps/panel/layers/top/features") + ">" + tail});
  EXPECT_EQ(Circles(), 1);
  EXPECT_EQ(Import(form, true),
            (std::vector<std::string>{"Line 4 of <" + Path("steps/panel/layers/drill/features") + ">" + tail,
                                      kMainPart}));
  EXPECT_EQ(LiveDrillEntities(), 1);
  File("matrix/matrix", std::string(kMatrix) + "LAYER {\n NAME=" + std::string(70000, 'X') + "\n}\n");
  const int32_t entities = CadEntityCount;
  EXPECT_EQ(Import(form, false),
            std::vector<std::string>{"The valor read object failed to init with the following error:\r\n<Line 24 of <" +
                                     Path("matrix/matrix") + "> is longer than 65,536 characters.>"});
  EXPECT_EQ(CadEntityCount, entities);
}

// A compressed features file that decodes past the limit or onto a full
// disk is left out with the reason, leaving nothing of its decoding behind.
TEST_F(TOdbJobFilesTest, CompressedFilesPastTheLimitOrOntoAFullDiskAreLeftOutWithTheReason) {
  TWorkspace& form = StartProgram();
  PanelJob("");
  std::string comments;  // 200 KB after the pad
  while (comments.size() < 200000) comments += "# " + std::to_string(comments.size()) + "\n";
  for (const std::string layer : {"top", "drill"}) {
    fs::remove(Path("steps/panel/layers/" + layer + "/features"));
    File("steps/panel/layers/" + layer + "/features.Z",
         LzwCompress("UNITS=INCH\n$0 r" + std::string(layer == "top" ? "10" : "20") + "\nP 1 1 0 P 0 0\n" + comments));
  }
  const auto leftOut = [this](const std::string& layer, const std::string& reason) {
    const std::string features = Path("steps/panel/layers/" + layer + "/features");
    return "Error decompressing " + features + ".Z: " + reason + "\r\n<" + features +
           "> is left out; the rest of the job is read.";
  };
  {
    const TDecompressLimitFor lower(100000);
    const std::string reason = "The decoded file would be larger than 100,000 bytes; no job file is that large.";
    EXPECT_EQ(Import(form, false), std::vector<std::string>{leftOut("top", reason)});
    EXPECT_EQ(Circles(), 0);
    EXPECT_EQ(CadEntityCount, 1);  // the profile
    EXPECT_EQ(Import(form, true), std::vector<std::string>{leftOut("drill", reason)});
    EXPECT_EQ(LiveDrillEntities(), 0);
  }
  EXPECT_EQ(Folder("steps/panel/layers/top"), std::vector<std::string>{"features.Z"});
  EXPECT_EQ(Folder("steps/panel/layers/drill"), std::vector<std::string>{"features.Z"});
  HeadlessFailWritesAfter(1000);
  const std::vector<std::string> shown = Import(form, false);
  HeadlessFailWritesAfter(-1);
  EXPECT_EQ(shown, std::vector<std::string>{leftOut("top", "Error writing output file: No space left on device")});
  EXPECT_EQ(Folder("steps/panel/layers/top"), std::vector<std::string>{"features.Z"});
  // With room and within the limit the same file comes in whole.
  EXPECT_EQ(Import(form, false), std::vector<std::string>{});
  EXPECT_EQ(Circles(), 1);
}

}  // namespace
