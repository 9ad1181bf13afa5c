// ODB++ export: the texts the writer puts in the job tree, the set-up and
// name-clash failures, the dialogs' name checks, and a job written out and
// read back by the importer.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "../import/odb_test_support.h"
#include "foundation/display_units.h"
#include "import/odb_import.h"
#include "model/step_repeat.h"
#include "plot/odb_export.h"
#include "plot/odb_export_dialogs.h"

namespace fs = std::filesystem;

namespace {

class OdbExportTest : public TOdbTest {
 protected:
  static std::string Text(const fs::path& p) { return ReadFileBytes(p); }
  static constexpr int32_t kInch = 25400000;
};

TEST_F(OdbExportTest, NumbersAndRecordsAreWrittenInInchesAndMils) {
  EXPECT_EQ(OdbCoordinate(25400000), "1.000000");
  EXPECT_EQ(OdbCoordinate(-76200), "-0.003000");
  EXPECT_EQ(OdbCoordinate(-1), "0.000000");
  EXPECT_EQ(OdbSizeText(635000), "25.0");
  EXPECT_EQ(OdbSizeText(317500), "12.5");
  TOdbWriter w;
  ASSERT_EQ(w.Init((TempDir / "job").string()), "");
  w.AddStep("korvex6");
  w.AddLayer("top", 2);
  w.BuildTree();
  w.WriteMatrix();
  w.OpenFeatures("TOP", "KORVEX6");
  w.WriteCircle(0, 0, kInch);
  w.BeginSurface(0, 0);
  w.WritePad(kInch, 0);  // ends the open surface first
  w.CloseFeatures();
  ASSERT_TRUE(w.Ok) << w.ErrorText;
  EXPECT_EQ(Text(TempDir / "job/matrix/matrix"),
            "\r\nSTEP {\r\n    COL=1\r\n    NAME=KORVEX6\r\n}\r\n\r\n"
            "LAYER {\r\n    ROW=1\r\n    CONTEXT=BOARD\r\n    TYPE=SIGNAL\r\n    NAME=TOP\r\n"
            "    POLARITY=POSITIVE\r\n    START_NAME=\r\n    END_NAME=\r\n}\r\n\r\n");
  const std::string features = Text(TempDir / "job/steps/korvex6/layers/top/features");
  EXPECT_NE(features.find("$0 r0\r\n"), std::string::npos);
  EXPECT_NE(features.find("A -1.000000 0.000000 1.000000 0.000000 0.000000 0.000000 0 P 0 N\r\n"
                          "A 1.000000 0.000000 -1.000000 0.000000 0.000000 0.000000 0 P 0 N\r\n"),
            std::string::npos);
  EXPECT_NE(features.find("S P 0\r\nOB 0.000000 0.000000 I\r\nOE\r\nSE\r\nP 1.000000 0.000000 0 P 0 0"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(TempDir / "job/steps/korvex6/stephdr"));
  const std::string font = Text(TempDir / "job/fonts/standard");
  EXPECT_NE(font.find("CHAR !\r\nLINE 0.000000 0.000000 0.000000 0.200000 P R 0.0125000\r\n"),
            std::string::npos);
  int chars = 0;
  for (std::size_t p = font.find("ECHAR"); p != std::string::npos; p = font.find("ECHAR", p + 1)) ++chars;
  EXPECT_EQ(chars, 94);
  EXPECT_NE(font.find("CHAR A\r\n"
                      "LINE -0.100000 -0.100000 -0.100000 0.150000 P R 0.0125000\r\n"
                      "LINE -0.100000 0.150000 -0.050000 0.200000 P R 0.0125000\r\n"
                      "LINE -0.050000 0.200000 0.050000 0.200000 P R 0.0125000\r\n"
                      "LINE 0.050000 0.200000 0.100000 0.150000 P R 0.0125000\r\n"
                      "LINE 0.100000 0.150000 0.100000 -0.100000 P R 0.0125000\r\n"
                      "LINE -0.100000 0.050000 0.100000 0.050000 P R 0.0125000\r\nECHAR\r\n"),
            std::string::npos);
  // Every glyph: 1 to 15 strokes on the 0.025 in grid inside the cell, and
  // none is the plain box of a character the font lacks.
  const std::string box = "LINE -0.100000 0.000000 0.100000 0.000000 P R 0.0125000\r\n"
                          "LINE 0.100000 0.000000 0.100000 0.200000 P R 0.0125000\r\n"
                          "LINE 0.100000 0.200000 -0.100000 0.200000 P R 0.0125000\r\n"
                          "LINE -0.100000 0.200000 -0.100000 0.000000 P R 0.0125000\r\nECHAR";
  for (int c = 33; c <= 126; ++c) {
    const std::size_t at = font.find("CHAR " + std::string(1, char(c)) + "\r\n");
    ASSERT_NE(at, std::string::npos) << char(c);
    const std::size_t end = font.find("ECHAR", at + 6);
    const std::string glyph = font.substr(at + 8, end + 5 - (at + 8));
    EXPECT_NE(glyph, box) << char(c);
    std::istringstream lines(glyph);
    std::string word;
    int strokes = 0;
    while (lines >> word) {
      if (word != "LINE") continue;
      ++strokes;
      for (int k = 0; k < 4; ++k) {
        double v = 0;
        lines >> v;
        EXPECT_NEAR(v / 0.025, std::round(v / 0.025), 1e-6) << char(c);
        EXPECT_TRUE(k % 2 == 0 ? v >= -0.1 && v <= 0.1 : v >= -0.15 && v <= 0.2) << char(c);
      }
    }
    EXPECT_GE(strokes, 1) << char(c);
    EXPECT_LE(strokes, 15) << char(c);
  }
}

TEST_F(OdbExportTest, ExistingModelsAndNameClashes) {
  JobFile("m", "matrix/matrix",
          "STEP {\n COL=1\n NAME=A\n}\nSTEP {\n COL=3\n NAME=B\n}\n"
          "LAYER {\n ROW=1\n TYPE=SIGNAL\n NAME=TOP\n}\n");
  TOdbWriter w;
  ASSERT_EQ(w.Init(Matrix("m")), "");
  w.AddStep("new");
  EXPECT_EQ(w.Steps.back().Col, 4);
  w.AddLayer("top", 2);  // the existing layer is used
  EXPECT_TRUE(w.Ok);
  EXPECT_EQ(w.Layers.size(), 1u);
  w.AddLayer("top", 0);
  EXPECT_FALSE(w.Ok);
  EXPECT_EQ(w.ErrorText, "AddLayer: Layer already exists with different type");
  TOdbWriter v;
  ASSERT_EQ(v.Init(Matrix("m")), "");
  v.AddStep("b");
  EXPECT_EQ(v.ErrorText, "AddStep: Step already exists!");
  // Set-up failures.
  TOdbWriter u;
  EXPECT_EQ(u.Init(Write("plain.txt", "x")), "Matrix file found in invalid file structure");
  JobFile("k", "matrix/matrix", "STEP {\n COL=1\n NAME=A\n}\n");
  EXPECT_EQ(u.Init(Matrix("k")), "Unable to load Matrix file.");
  EXPECT_FALSE(u.Ok);
}

TEST_F(OdbExportTest, NameDialogsCheckTheNameThatIsStored) {
  // A 20-character name that matches an existing one once cut to 16.
  RegisterModalScript("TStepNameDialog", [](TForm& f) {
    f.Get<TEdit>("NewNameEdit").SetText("newstep");
    f.Click("OKButton");  // refused: NEWSTEP exists
    EXPECT_EQ(f.Get<TEdit>("NewNameEdit").Text(), "NEWSTEP");
    f.Get<TEdit>("NewNameEdit").SetText("abcdefghijklmnopqrst");
    f.Click("OKButton");  // refused: the cut name exists
    f.Get<TEdit>("NewNameEdit").SetText("panel2");
    f.Click("OKButton");
  });
  std::string name;
  ASSERT_TRUE(RunStepNameDialog({"NEWSTEP", "ABCDEFGHIJKLMNOP"}, name));
  EXPECT_EQ(name, "PANEL2");
  ASSERT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The step name you have entered is the same as an existing\r\nstep name.  Please enter "
            "a different step name");
  // 33 steps: the pick dialogs answer false without showing anything.
  std::vector<std::string> many(33, "S");
  int32_t a = 0, b = 0;
  EXPECT_FALSE(RunValorPickStepDialog(many, a));
  EXPECT_FALSE(RunValorPickLayerDialog({"L"}, many, a, b));
}

TEST_F(OdbExportTest, LayerDialogsGrowWithTheirRowsUpTo400PixelsAndScrollTheRest) {
  // Every layer: 45 rows would need 1,166 pixels; the dialog stops at 400,
  // its buttons inside, and the rows scroll.
  TOdbLayerFlags all;
  all.fill(true);
  for (const char* form : {"TValorExportDialog", "TLayerSelectDialog"}) {
    int32_t height = 0, bottom = 0, scroll = 0, lastRow = 0;
    RegisterModalScript(form, [&](TForm& f) {
      height = f.Height();
      bottom = f.Get<TControl>("ButtonPanel").Top() + f.Get<TControl>("ButtonPanel").Height();
      auto& box = f.Get<TScrollBox>("ScrollBox");
      scroll = box.MaxScrollTop();
      box.SetScrollTop(scroll);
      lastRow = f.Get<TControl>("Name44").Top();
      if (std::string(form) == "TLayerSelectDialog") f.Get<TRadioButton>("Select44").Click();
      f.Click("OKButton");
    });
    TOdbLayerFlags flags = all;
    int32_t layer = -1;
    ASSERT_TRUE(std::string(form) == "TValorExportDialog" ? RunValorExportDialog(flags)
                                                           : RunLayerSelectDialog(flags, layer));
    EXPECT_EQ(height, 400) << form;
    EXPECT_LE(bottom, 400) << form;
    EXPECT_GT(scroll, 24 * 45 - 400) << form;
    EXPECT_EQ(lastRow, 24 * 45 - 20) << form;  // rows keep their places on the scrolled area
    if (std::string(form) == "TLayerSelectDialog") EXPECT_EQ(layer, 44);
  }
  // Three layers fit: 24 pixels a row and 86, nothing to scroll.
  TOdbLayerFlags few{};
  few[0] = few[1] = few[30] = true;
  RegisterModalScript("TValorExportDialog", [](TForm& f) {
    EXPECT_EQ(f.Height(), 24 * 3 + 86);
    EXPECT_EQ(f.Get<TScrollBox>("ScrollBox").MaxScrollTop(), 0);
    f.Click("OKButton");
  });
  EXPECT_TRUE(RunValorExportDialog(few));
}

TEST_F(OdbExportTest, EmptyJobAndForeignFilesWriteNothing) {
  ExportOdbProduct((TempDir / "out").string());
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "The database is empty.  There is nothing to output");
  EXPECT_FALSE(fs::exists(TempDir / "out"));
  DB->AddLineOnLayer(0, 0, kInch, 0, 1);
  ExportOdbProduct(Write("notes.txt", "hello"));  // not a matrix file: silently nothing
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
}

TEST_F(OdbExportTest, DrillToolsAreListedInToolOrder) {
  ToolTable[1].Diameter = 635000;
  ToolTable[3].Diameter = 317500;
  DRDB->AddHoleOnLayer(kInch, 0, 30, 3, true);
  DRDB->AddHoleOnLayer(0, kInch, 30, 1, true);
  TOdbWriter w;
  ASSERT_EQ(w.Init((TempDir / "d").string()), "");
  w.AddStep(OdbStepName = "KORVEX6");
  w.AddLayer("D0", 0);
  w.BuildTree();
  WriteDrillLayer(w, 30, "");
  const std::string tools = Text(TempDir / "d/steps/korvex6/layers/d0/tools");
  EXPECT_LT(tools.find("NUM=1"), tools.find("NUM=3"));
  EXPECT_NE(tools.find("DRILL_SIZE=25.0"), std::string::npos);
  const std::string features = Text(TempDir / "d/steps/korvex6/layers/d0/features");
  EXPECT_NE(features.find("$0 r25.0\r\n$1 r12.5\r\n"), std::string::npos);
  EXPECT_NE(features.find("P 1.000000 0.000000 1 P 0 0"), std::string::npos);
  EXPECT_NE(features.find("P 0.000000 1.000000 0 P 0 0"), std::string::npos);
}

TEST_F(OdbExportTest, SteppedHoleWritesItsCopies) {
  ToolTable[1].Diameter = 635000;
  const int32_t index = DRDB->AddHoleOnLayer(0, 0, 30, 1, true);
  DRDB->EntityAt(index)->SetStepObj(
      new TStepObject({{1, 1, 0, 0, 0}, {0, 4, kInch, 0, 0}, {0, 1, 0, 0, 0}}));
  TOdbWriter w;
  ASSERT_EQ(w.Init((TempDir / "s").string()), "");
  w.AddStep(OdbStepName = "KORVEX6");
  w.AddLayer("D0", 0);
  w.BuildTree();
  WriteDrillLayer(w, 30, "");
  const std::string features = Text(TempDir / "s/steps/korvex6/layers/d0/features");
  int pads = 0;
  for (std::size_t p = features.find("\nP "); p != std::string::npos; p = features.find("\nP ", p + 1)) ++pads;
  EXPECT_EQ(pads, 5);
  EXPECT_NE(features.find("P 4.000000 0.000000 0 P 0 0"), std::string::npos);
}

// A drilled slot's pads follow the slot algorithm settings: the direction
// picks the pass.
TEST_F(OdbExportTest, SlotPadsFollowTheSlotAlgorithm) {
  ToolTable[1].Diameter = kInch / 8;
  DRDB->AddSlotOnLayer(0, 0, kInch, 0, 30, 1, true);
  auto pads = [&](uint8_t direction, const std::string& name) {
    DRDB->SlotAlgorithm.BiDirectional = direction;
    TOdbWriter w;
    EXPECT_EQ(w.Init((TempDir / name).string()), "");
    w.AddStep(OdbStepName = "KORVEX6");
    w.AddLayer("D0", 0);
    w.BuildTree();
    WriteDrillLayer(w, 30, "");
    const std::string features = Text(TempDir / name / "steps/korvex6/layers/d0/features");
    std::vector<std::string> out;
    for (std::size_t p = features.find("\nP "); p != std::string::npos; p = features.find("\nP ", p + 1))
      out.push_back(features.substr(p + 1, features.find('\n', p + 1) - p - 1));
    return out;
  };
  const std::vector<std::string> rows = pads(0, "rows"), halves = pads(1, "halves");
  ASSERT_FALSE(rows.empty());
  // The subdivision pass starts with both ends, then the middle.
  ASSERT_GE(halves.size(), 3u);
  EXPECT_NE(rows, halves);
  EXPECT_EQ(halves[0].substr(0, 20), "P 0.000000 0.000000 ");
  EXPECT_EQ(halves[1].substr(0, 20), "P 1.000000 0.000000 ");
  EXPECT_EQ(halves[2].substr(0, 20), "P 0.500000 0.000000 ");
  EXPECT_EQ(rows[1].substr(0, 20), "P 0.125000 0.000000 ");
}

TEST_F(OdbExportTest, ExportedJobReadsBack) {
  // CAD layer 1: a line, an arc, a circle and a point; a PROFILE layer;
  // drill layer D0 with two tools, one hole stepped four times; rout
  // layer R0 with a compensated path of a line and a clockwise arc.
  InitLayerNames();
  LayerNames[1] = "TOP";
  LayerNames[2] = "PROFILE";
  DB->AddLineOnLayer(0, 0, kInch, kInch / 2, 1);
  DB->AddArcOnLayer({kInch, 0}, {0, kInch}, {0, 0}, 1);
  DB->AddCircleOnLayer(2 * kInch, 2 * kInch, kInch / 4, 1);
  DB->AddPointOnLayer(kInch / 3, kInch / 7, 1);
  for (auto [x1, y1, x2, y2] : {std::array<int32_t, 4>{0, 0, 4 * kInch, 0},
                               {4 * kInch, 0, 4 * kInch, 3 * kInch},
                               {4 * kInch, 3 * kInch, 0, 3 * kInch},
                               {0, 3 * kInch, 0, 0}})
    DB->AddLineOnLayer(x1, y1, x2, y2, 2);
  ToolTable[2].Diameter = 635000;
  ToolTable[5].Diameter = 1270000;
  DRDB->AddHoleOnLayer(kInch, kInch, 30, 2, true);
  DRDB->AddHoleOnLayer(2 * kInch, kInch, 30, 5, true);
  RoutToolPages[40][3].Diameter = 2540000;
  RTDB->AddJog({0, 0}, 40, 1, 3, 3);
  RTDB->AddLine({kInch, 0}, 40, 0, 0);
  RTDB->AddArc({2 * kInch, kInch}, 40, 0, true, {kInch, kInch}, 0);
  RegisterModalScript("TValorExportDialog", [](TForm& f) { f.Click("OKButton"); });
  ExportOdbProduct((TempDir / "out").string());
  ASSERT_TRUE(ShownMessageBoxes().empty()) << ShownMessageBoxes()[0].Text;
  const std::string matrix = Text(TempDir / "out/matrix/matrix");
  EXPECT_NE(matrix.find("NAME=KORVEX6"), std::string::npos);
  EXPECT_EQ(matrix.find("NAME=PROFILE"), std::string::npos);
  const std::string profile = Text(TempDir / "out/steps/korvex6/profile");
  EXPECT_NE(profile.find("S P 0\r\nOB 0.000000 0.000000 I\r\nOS 4.000000 0.000000\r\n"), std::string::npos);
  const std::string rout = Text(TempDir / "out/steps/korvex6/layers/r0/features");
  EXPECT_NE(rout.find("L 0.000000 0.000000 1.000000 0.000000 0 P 0;1=2,2=1,3=0,4=0,5=0"), std::string::npos);
  EXPECT_NE(rout.find(" 0 P 0 Y;1=2,2=1"), std::string::npos);

  // Read it back into empty databases.
  const auto cadBefore = CadCounts();
  DB->Clear();
  DRDB->Clear();
  delete RTDB;
  delete Seq;
  RTDB = new TRoutDatabase();
  Seq = new TSequenceStore();
  ToolTable.Fill(TToolRecord{});
  RegisterModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Step1");
    f.Click("OKButton");
  });
  ImportValorJob((TempDir / "out/matrix/matrix").string());
  EXPECT_TRUE(ShownMessageBoxes().empty()) << ShownMessageBoxes()[0].Text;
  std::map<std::string, int> cad = CadCounts();
  // Profile first (layer 0), then TOP (layer 1).
  EXPECT_EQ(cad["0:L"], 4);
  EXPECT_EQ(cad["1:L"], 1);
  EXPECT_EQ(cad["1:P"], 1);
  EXPECT_EQ(cad["1:A"], 1 + 2);  // the arc and the circle's two halves
  // The arc keeps its ends and centre.
  bool arc = false;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TCadEntity* e = DB->EntityAt(i);
    if (e->GetType() != 3) continue;
    TIntPoint s, f, c;
    e->GetPoint(s);
    e->GetSecondPoint(f);
    e->GetThirdPoint(c);
    arc = arc || (s == TIntPoint{kInch, 0} && f == TIntPoint{0, kInch} && c == TIntPoint{0, 0});
  }
  EXPECT_TRUE(arc);
  EXPECT_EQ(HoleCounts()[30], 2);
  std::vector<int32_t> sizes;
  for (int t = 1; t <= 1000; ++t)
    if (ToolTable[t].Diameter != 0) sizes.push_back(ToolTable[t].Diameter);
  EXPECT_EQ(sizes, (std::vector<int32_t>{635000, 1270000}));
  // The rout path: one jog with its compensation side, the line, the arc.
  std::vector<std::string> path;
  for (int32_t i = 1; i <= RoutEntityCount; ++i) {
    TRoutEntity* e = RTDB->EntityAt(i);
    TIntPoint p;
    e->GetPoint(p);
    path.push_back(std::to_string(e->GetType()) + "@" + std::to_string(p.X / (kInch / 100)) + "," +
                   std::to_string(p.Y / (kInch / 100)) +
                   (e->GetType() == 5 ? "c" + std::to_string(e->GetComp()) : ""));
  }
  EXPECT_EQ(path, (std::vector<std::string>{"5@0,0c1", "6@100,0", "8@200,100"}));
  EXPECT_EQ(RoutToolPages[40][3].Diameter, 2540000);
  EXPECT_EQ(RTDB->EntityAt(1)->GetToolNumber(), 3);
}

TEST_F(OdbExportTest, UpdatesOfAnExistingModel) {
  InitLayerNames();
  LayerNames[1] = "TOP";
  DB->AddLineOnLayer(0, 0, kInch, 0, 1);
  ToolTable[1].Diameter = 635000;
  DRDB->AddHoleOnLayer(kInch, kInch, 30, 1, true);
  RegisterModalScript("TValorExportDialog", [](TForm& f) { f.Click("OKButton"); });
  ExportOdbProduct((TempDir / "job").string());
  ASSERT_TRUE(ShownMessageBoxes().empty());
  const std::string matrix = (TempDir / "job/matrix/matrix").string();
  // A new step: its name is asked, the layers are shared.
  RegisterModalScript("TUpdateDialog", [](TForm& f) { f.Click("OKButton"); });
  RegisterModalScript("TStepNameDialog", [](TForm& f) {
    f.Get<TEdit>("NewNameEdit").SetText("second");
    f.Click("OKButton");
  });
  ExportOdbProduct(matrix);
  ASSERT_TRUE(ShownMessageBoxes().empty()) << ShownMessageBoxes()[0].Text;
  const std::string text = ReadFileBytes(TempDir / "job/matrix/matrix");
  EXPECT_NE(text.find("    COL=2\r\n    NAME=SECOND"), std::string::npos);
  EXPECT_EQ(text.find("ROW=3"), std::string::npos);
  EXPECT_TRUE(fs::exists(TempDir / "job/steps/second/layers/d0/features"));
  // Overwriting the drill layer with a CAD layer is refused.
  RegisterModalScript("TUpdateDialog", [](TForm& f) {
    f.Get<TRadioGroup>("UpdateGroup").SetItemIndex(1);
    f.Click("OKButton");
  });
  RegisterModalScript("TValorPickLayerDialog", [](TForm& f) {
    f.Click("Pick2_1");
    f.Click("OKButton");
  });
  RegisterModalScript("TLayerSelectDialog", [](TForm& f) {
    f.Click("Select1");
    f.Click("OKButton");
  });
  const std::string before = ReadFileBytes(TempDir / "job/steps/korvex6/layers/d0/features");
  ExportOdbProduct(matrix);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The layer you have selected to output\r\ndoes not match the existing layer in the "
            "matrix!\r\nNo output was generated.");
  EXPECT_EQ(ReadFileBytes(TempDir / "job/steps/korvex6/layers/d0/features"), before);
}

TEST_F(OdbExportTest, RoutCircleIsOneChainOfSixArcs) {
  RoutToolPages[40][2].Diameter = 500000;
  RTDB->AddCircle({0, 0}, 40, 2, 0, 2, kInch / 10, false, 0);
  TOdbWriter w;
  ASSERT_EQ(w.Init((TempDir / "r").string()), "");
  w.AddStep(OdbStepName = "KORVEX6");
  w.AddLayer("R0", 1);
  w.BuildTree();
  WriteRoutLayer(w, 40, "");
  const std::string features = ReadFileBytes(TempDir / "r/steps/korvex6/layers/r0/features");
  int arcs = 0;
  for (std::size_t p = features.find("\nA "); p != std::string::npos; p = features.find("\nA ", p + 1)) ++arcs;
  EXPECT_EQ(arcs, 6);
  EXPECT_EQ(features.find("\nL "), std::string::npos);
  EXPECT_NE(features.find("\nA 0.090000 0.000000 0.000000 0.100000 "), std::string::npos);
  EXPECT_NE(features.find(" N;1=2,2=1,3=0,4=0,5=0"), std::string::npos);
  EXPECT_EQ(features.find(" Y;"), std::string::npos);
}

}  // namespace

namespace {

// A board outline drawn with small gaps (0.002 in) between its edges, one
// edge backwards and an arc corner, is still the step profile; a stray open
// line beside it changes nothing.
TEST_F(OdbExportTest, AnOutlineWithSmallGapsIsTheProfile) {
  InitLayerNames();
  LayerNames[2] = "PROFILE";
  const int32_t gap = 50800;
  DB->AddLineOnLayer(0, 5 * kInch, 2 * kInch, 5 * kInch, 2);  // open, not part of the outline
  DB->AddLineOnLayer(0, 0, 4 * kInch, 0, 2);
  DB->AddArcOnLayer({4 * kInch + gap, 0}, {5 * kInch, kInch}, {4 * kInch, kInch}, 2);
  DB->AddLineOnLayer(5 * kInch, 3 * kInch, 5 * kInch, kInch + gap, 2);  // drawn backwards
  DB->AddLineOnLayer(5 * kInch - gap, 3 * kInch, 0, 3 * kInch, 2);
  DB->AddLineOnLayer(0, 3 * kInch, 0, gap, 2);
  DB->AddPointOnLayer(kInch, kInch, 1);
  RegisterModalScript("TValorExportDialog", [](TForm& f) { f.Click("OKButton"); });
  ExportOdbProduct((TempDir / "out").string());
  ASSERT_TRUE(ShownMessageBoxes().empty()) << ShownMessageBoxes()[0].Text;
  const std::string profile = Text(TempDir / "out/steps/korvex6/profile");
  EXPECT_NE(profile.find("OB 0.000000 0.000000 I\r\nOS 4.000000 0.000000\r\nOC 5.000000 1.000000 4.000000 1.000000"),
            std::string::npos)
      << profile;
  EXPECT_NE(profile.find("OS 5.000000 3.000000\r\nOS 0.000000 3.000000\r\nOS 0.000000 0.002000"), std::string::npos)
      << profile;
  EXPECT_EQ(profile.find("5.000000 5.000000"), std::string::npos);
  EXPECT_EQ(profile.find("2.000000 5.000000"), std::string::npos);
}

}  // namespace
