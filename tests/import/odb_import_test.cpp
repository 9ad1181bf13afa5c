// ODB++ import: the sample job trees (plain and compressed) against their
// reference figures, metric and inch units, drill tools and their offset,
// rout chains, the pad outlines, and the failures of a broken job.
#include <gtest/gtest.h>

#include "foundation/display_units.h"
#include "import/import_frame.h"
#include "import/odb_import.h"
#include "lzw_compress.h"
#include "odb_test_support.h"
#include "platform/headless/headless_dialogs.h"

namespace fs = std::filesystem;

namespace {

class OdbImportTest : public TOdbTest {
 protected:
  // The layer dialog answers with the given layers ticked in step 1.
  void Choose(std::vector<int> layers) {
    RegisterModalScript("TValorLayerDialog", [layers](TForm& f) {
      for (int l : layers) f.Click("Cell" + std::to_string(l) + "_1");
      f.Click("OKButton");
    });
  }
  static std::string Errors() {
    std::string s;
    for (const auto& b : ShownMessageBoxes()) s += b.Text + "\n";
    return s;
  }
  static constexpr double kMm = 1000000.0;
};

// Positions in the sample's matrix.
constexpr int kSilk = 2, kTop = 5, kEdge = 17, kNonPlated = 23, kPlated = 24;

TEST_F(OdbImportTest, SampleJobGivesTheReferenceFigures) {
  const fs::path job = SharedTestData() / "odb" / "kicad9-flat_hierarchy";
  if (!fs::exists(job)) GTEST_SKIP() << "shared test data absent";
  // The job directory must be writable (compressed files are unpacked
  // beside themselves): work on a copy.
  fs::copy(job, TempDir / "plain", fs::copy_options::recursive);
  Choose({kSilk, kTop, kEdge, kNonPlated, kPlated});
  ImportValorJob(Matrix("plain"));
  EXPECT_EQ(Errors(), "");
  std::map<std::string, int> cad = CadCounts();
  // The profile comes first and is named after it; then the layers in
  // matrix order.
  EXPECT_EQ(LayerNames[0], "PROFILE");
  EXPECT_EQ(LayerNames[1], "F.SILKSCREEN");
  EXPECT_EQ(LayerNames[3], "EDGE.CUTS");
  // Six contour segments; the first one has no length and is a point.
  EXPECT_EQ(cad["0:L"], 5);
  EXPECT_EQ(cad["0:P"], 1);
  EXPECT_EQ(cad["3:L"], 5);
  EXPECT_EQ(cad["1:L"], 2114);
  EXPECT_EQ(cad["1:A"], 20);
  EXPECT_EQ(cad["1:C"], 8);  // four donut pads, two circles each
  EXPECT_GE(cad["2:L"], 1038);
  // Holes: 6 non-plated and 248 plated, on D0 and D1, live.
  std::map<int, int> holes = HoleCounts();
  EXPECT_EQ(holes[30], 6);
  EXPECT_EQ(holes[31], 248);
  EXPECT_EQ(LayerNames[31], "DRILL_PLATED_TOP_COP");
  // Millimetres: the profile lies between 73.66 and 233.68 mm in X and
  // -139.7 and -40.64 mm in Y, not 25.4 times that.
  TIntPoint lo{2147483647, 2147483647}, hi{-2147483647, -2147483647};
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    if (DB->SlotAt(i)->Flags != 1u || DB->EntityAt(i)->GetType() != 2) continue;
    TIntPoint p, q;
    DB->EntityAt(i)->GetPoint(p);
    DB->EntityAt(i)->GetSecondPoint(q);
    for (const TIntPoint& r : {p, q}) {
      lo = {std::min(lo.X, r.X), std::min(lo.Y, r.Y)};
      hi = {std::max(hi.X, r.X), std::max(hi.Y, r.Y)};
    }
  }
  EXPECT_NEAR(lo.X / kMm, 73.66, 1e-3);
  EXPECT_NEAR(hi.X / kMm, 233.68, 1e-3);
  EXPECT_NEAR(lo.Y / kMm, -139.70, 1e-3);
  EXPECT_NEAR(hi.Y / kMm, -40.64, 1e-3);
  // Tool sizes in microns: every plated hole's tool has a diameter from
  // the tool file (0.6 mm is among them).
  bool found = false;
  for (int t = 1; t <= 1000; ++t) found = found || ToolTable[t].Diameter == 600000;
  EXPECT_TRUE(found);
  // One undo step for the CAD part.
  EXPECT_TRUE(DetachedImportHost().ShownLayers & 1u);
}

TEST_F(OdbImportTest, CompressedJobReadsLikeThePlainOne) {
  const fs::path plain = SharedTestData() / "odb" / "kicad9-flat_hierarchy";
  const fs::path packed = SharedTestData() / "odb" / "kicad9-flat_hierarchy-Z";
  if (!fs::exists(packed)) GTEST_SKIP() << "shared test data absent";
  fs::copy(plain, TempDir / "plain", fs::copy_options::recursive);
  fs::copy(packed, TempDir / "packed", fs::copy_options::recursive);
  ASSERT_FALSE(fs::exists(TempDir / "packed/steps/pcb/layers/top_copper/features"));
  Choose({kTop, kPlated});
  ImportValorJob(Matrix("plain"));
  const auto cadPlain = CadCounts();
  const auto holesPlain = HoleCounts();
  DB->Clear();
  DRDB->Clear();
  InitLayerNames();
  ImportValorJob(Matrix("packed"));
  EXPECT_EQ(Errors(), "");
  EXPECT_EQ(CadCounts(), cadPlain);
  EXPECT_EQ(HoleCounts(), holesPlain);
  // The compressed copy is unpacked beside itself and left in place.
  EXPECT_TRUE(fs::exists(TempDir / "packed/steps/pcb/layers/top_copper/features"));
  EXPECT_TRUE(fs::exists(TempDir / "packed/steps/pcb/layers/top_copper/features.Z"));
}

const char* kMatrix =
    "STEP {\n COL=1\n NAME=PANEL\n}\n"
    "LAYER {\n ROW=1\n CONTEXT=BOARD\n TYPE=SIGNAL\n NAME=TOP\n POLARITY=POSITIVE\n}\n"
    "LAYER {\n ROW=2\n CONTEXT=BOARD\n TYPE=DRILL\n NAME=DRILL\n POLARITY=POSITIVE\n}\n"
    "LAYER {\n ROW=3\n CONTEXT=BOARD\n TYPE=ROUT\n NAME=ROUT\n POLARITY=POSITIVE\n}\n";

TEST_F(OdbImportTest, InchJobWithPadsHolesAndRoutChains) {
  JobFile("j", "matrix/matrix", kMatrix);
  JobFile("j", "steps/panel/stephdr", "X_DATUM=0\nY_DATUM=0\n");
  JobFile("j", "steps/panel/profile", "S P 0\nOB 0 0 I\nOS 2 0\nOS 2 1\nOS 0 1\nOS 0 0\nOE\nSE\n");
  JobFile("j", "steps/panel/layers/top/features",
          "$0 s40\n$1 oval20x40\n$2 r10\n$3 rect20x10\n"
          "P 1.0 1.0 0 P 0 0\nP 1.5 1.0 1 P 0 0\nP 0.5 0.5 2 P 0 0\nP 0.2 0.2 3 P 0 0\n"
          "L 0 0 1 0 2 P 0\nA 1 0 0 1 0 0 2 P 0 Y\n");
  JobFile("j", "steps/panel/layers/drill/tools",
          "THICKNESS=0\nTOOLS {\n NUM=7\n TYPE=PLATED\n FINISH_SIZE=20.0\n DRILL_SIZE=20.0\n}\n");
  JobFile("j", "steps/panel/layers/drill/features",
          "$0 r20\n$1 r35\nP 1.0 2.0 0 P 0 0\nP 1.1 2.0 1 P 0 0\nP 1.2 2.0 0 P 0 0\n");
  JobFile("j", "steps/panel/layers/rout/features",
          "$0 r93.7\n@0 .comp\n@1 .rout_chain\n"
          "L 0 0 1 0 0 P 0;0=1,1=3\nL 1 1 1 0 0 P 0;0=1,1=3\n"
          "A 1 1 2 2 1 2 0 P 0 Y;0=0,1=4\n");
  // Tools 1..12 are already used by the job's drill entities.
  for (int t = 1; t <= 12; ++t) DRDB->AddHoleOnLayer(0, 0, 35, t, true);
  RegisterModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Step1");  // the whole column
    f.Click("OKButton");
  });
  ImportValorJob(Matrix("j"));
  // The offset is announced and added to the new tools.
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "12 tool numbers are already in use.\r\nNew tool numbers will be offset by 12");
  std::map<int, int> holes = HoleCounts();
  EXPECT_EQ(holes[30], 3);
  // r20 is tool 7 of the tool file (index 1 -> 13), r35 a new tool (14).
  EXPECT_EQ(ToolTable[13].Diameter, 508000);
  EXPECT_EQ(ToolTable[14].Diameter, 889000);
  std::map<std::string, int> cad = CadCounts();
  EXPECT_EQ(cad["0:L"], 4);   // the profile
  // s40: a square of four lines; r10 a circle; rect20x10 four lines; the
  // upright oval two sides and two half circles; the line and the arc.
  EXPECT_EQ(cad["1:L"], 4 + 4 + 2 + 1);
  EXPECT_EQ(cad["1:C"], 1);
  EXPECT_EQ(cad["1:A"], 2 + 1);
  // The oval's half circles: radius 10 mils about (1.5, 1.0 -+ 0.01).
  std::vector<TIntPoint> ends;
  for (int32_t i = 1; i <= CadEntityCount; ++i)
    if (DB->EntityAt(i)->GetType() == 3) {
      TIntPoint c;
      DB->EntityAt(i)->GetThirdPoint(c);
      if (c.X == 38100000) ends.push_back(c);
    }
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(std::min(ends[0].Y, ends[1].Y), 25400000 - 254000);
  EXPECT_EQ(std::max(ends[0].Y, ends[1].Y), 25400000 + 254000);
  // Half side 20 mils of the square at (1, 1).
  bool corner = false;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TIntPoint p;
    DB->EntityAt(i)->GetPoint(p);
    corner = corner || (p.X == 25400000 - 508000 && p.Y == 25400000 - 508000);
  }
  EXPECT_TRUE(corner);
  // The clockwise arc arrives counter-clockwise, start and end exchanged.
  for (int32_t i = 1; i <= CadEntityCount; ++i)
    if (TIntPoint c; DB->EntityAt(i)->GetType() == 3 && (DB->EntityAt(i)->GetThirdPoint(c), c.X == 0)) {
      TIntPoint s;
      DB->EntityAt(i)->GetPoint(s);
      EXPECT_EQ(s.X, 0);
      EXPECT_EQ(s.Y, 25400000);
    }
  // Rout: chain 3 is one path (the second line taken end first), chain 4
  // a second path; the tool of r93.7 gets its size on R0.
  int jogs = 0, lines = 0, arcs = 0;
  TIntPoint lastLine{};
  for (int32_t i = 1; i <= RoutEntityCount; ++i) {
    TRoutEntity* e = RTDB->EntityAt(i);
    if (e == nullptr) continue;
    const uint8_t t = e->GetType();
    if (t == 5) ++jogs;
    if (t == 6) {
      ++lines;
      e->GetPoint(lastLine);
    }
    if (t == 7 || t == 8) ++arcs;
  }
  EXPECT_EQ(jogs, 2);
  EXPECT_EQ(lines, 2);
  EXPECT_EQ(arcs, 1);
  EXPECT_EQ(lastLine.X, 25400000);
  EXPECT_EQ(lastLine.Y, 25400000);
  EXPECT_EQ(RoutToolPages[40][1].Diameter, 2379980);
}

TEST_F(OdbImportTest, ToolNumbersPastTheTableAreRefused) {
  JobFile("j", "matrix/matrix", kMatrix);
  JobFile("j", "steps/panel/stephdr", "");
  JobFile("j", "steps/panel/profile", "");
  JobFile("j", "steps/panel/layers/drill/features", "$0 r20\n$1 r30\nP 1 2 0 P 0 0\nP 1 3 1 P 0 0\n");
  DRDB->AddHoleOnLayer(0, 0, 35, 999, true);
  Choose({2});
  ImportValorJob(Matrix("j"));
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_NE(ShownMessageBoxes().back().Text.find("No drill holes were imported."), std::string::npos);
  EXPECT_EQ(HoleCounts()[30], 0);
  EXPECT_EQ(ToolTable[1000].Diameter, 0);
}

TEST_F(OdbImportTest, MissingRoutAttributesAreReported) {
  JobFile("j", "matrix/matrix", kMatrix);
  JobFile("j", "steps/panel/stephdr", "");
  JobFile("j", "steps/panel/profile", "");
  JobFile("j", "steps/panel/layers/rout/features", "$0 r93.7\nL 0 0 1 0 0 P 0;0=1\n");
  Choose({3});
  ImportValorJob(Matrix("j"));
  const std::string errors = Errors();
  EXPECT_NE(errors.find("Attribute .rout_chain missing"), std::string::npos) << errors;
  EXPECT_NE(errors.find("Attribute .comp missing"), std::string::npos) << errors;
}

TEST_F(OdbImportTest, BrokenJobsFailWithTheirReason) {
  // Not a matrix file of a job tree.
  ImportValorJob(Write("matrix", "STEP {\n}\n"));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The valor read object failed to init with the following error:\r\n<Path not found>");
  // Steps but no layers.
  JobFile("k", "matrix/matrix", "STEP {\n COL=1\n NAME=A\n}\n");
  ImportValorJob(Matrix("k"));
  EXPECT_NE(Errors().find("<Unable to load Matrix file.>"), std::string::npos);
  // A missing layer file is reported and the rest is read.
  JobFile("m", "matrix/matrix", kMatrix);
  JobFile("m", "steps/panel/stephdr", "");
  JobFile("m", "steps/panel/profile", "OB 0 0 I\nOS 1 0\n");
  Choose({1});
  ImportValorJob(Matrix("m"));
  EXPECT_NE(Errors().find("Could not open <"), std::string::npos);
  EXPECT_EQ(CadCounts()["0:L"], 1);
  EXPECT_EQ(CadEntityCount, 1);
}

TEST_F(OdbImportTest, LayerDialogTogglesRowsAndColumns) {
  TValorLayerDialog dialog({"TOP", "BOTTOM", "DRILL"}, {"PCB", "PANEL"});
  dialog.Cell(1, 2).SetChecked(true);
  dialog.Click("Layer1");  // one of two ticked: not more than half, so all
  EXPECT_TRUE(dialog.Cell(1, 1).Checked());
  EXPECT_TRUE(dialog.Cell(1, 2).Checked());
  dialog.Click("Layer1");  // all ticked: cleared
  EXPECT_FALSE(dialog.Cell(1, 1).Checked());
  dialog.Cell(1, 2).SetChecked(true);
  dialog.Cell(2, 2).SetChecked(true);
  dialog.Click("StepName2");  // two of three: cleared
  for (int l = 1; l <= 3; ++l) EXPECT_FALSE(dialog.Cell(l, 2).Checked());
}

// Where a control stands in its form.
TPoint FormPosition(const TControl& c) {
  TPoint at{0, 0};
  for (const TControl* p = &c; p != nullptr && p->Parent() != nullptr; p = p->Parent()) {
    at.X += p->Bounds().Left;
    at.Y += p->Bounds().Top;
  }
  return at;
}

TEST_F(OdbImportTest, LayerDialogCellsStandInTheirLayersRowUnderTheirStepsNumber) {
  TValorLayerDialog dialog({"COMP_+_TOP", "DIELECTRIC_1", "BOTTOM_COPPER_XX"}, {"PCB", "PANEL"});
  dialog.Height();  // laid out
  for (int32_t l = 1; l <= 3; ++l) {
    const TControl& label = dialog.Get<TPanel>("Layer" + std::to_string(l));
    EXPECT_GE(label.Bounds().Width(), FormsBackend().TextExtent(label.Caption()).X) << l;
    for (int32_t s = 1; s <= 2; ++s) {
      const TPoint cell = FormPosition(dialog.Cell(l, s));
      const TPoint name = FormPosition(label);
      const TPoint number = FormPosition(dialog.Get<TPanel>("Step" + std::to_string(s)));
      EXPECT_NEAR(cell.Y, name.Y, 2) << l << "," << s;
      EXPECT_GT(cell.X, name.X + label.Bounds().Width()) << l << "," << s;
      EXPECT_NEAR(cell.X, number.X, 2) << l << "," << s;
      EXPECT_LT(number.Y, cell.Y);
    }
  }
  // The numbers follow "Step Number:" in the top panel; a box without room
  // for a caption names its layer and step in its hint.
  const TControl& heading = dialog.Get<TLabel>("StepNumberLabel");
  EXPECT_EQ(heading.Caption(), "Step Number:");
  const TControl& first = dialog.Get<TPanel>("Step1");
  EXPECT_EQ(first.Parent()->Name(), "StepnumberPanel");
  EXPECT_GT(first.Left(), heading.Left() + heading.Width());
  EXPECT_NEAR(FormPosition(first).Y, FormPosition(heading).Y, 2);
  EXPECT_EQ(dialog.Cell(2, 1).Hint(), "DIELECTRIC_1 in step 1 PCB");
  // OK and Cancel stand at the foot of the dialog, either side of its middle.
  const TControl& buttons = dialog.Get<TPanel>("ButtonPanel");
  EXPECT_EQ(dialog.Get<TButton>("OKButton").Left(), buttons.Width() / 2 - 85);
  EXPECT_EQ(dialog.Get<TButton>("CancelButton").Left(), buttons.Width() / 2 + 10);
  EXPECT_GT(FormPosition(buttons).Y, FormPosition(dialog.Cell(3, 2)).Y);
}

TEST_F(OdbImportTest, DetectorAndFrameEntry) {
  JobFile("j", "matrix/matrix", kMatrix);
  EXPECT_EQ(DetectFileFormat(Matrix("j")), fcOdb);
  EXPECT_NE(ImportFormat(fcOdb).Import, nullptr);
  EXPECT_DOUBLE_EQ(DetectValorMatrix(Write("m.txt", "STEP LAYER COL ROW TYPE\n")), 0.75);
  EXPECT_EQ(ValorJobName("/jobs/Board7/matrix/matrix"), "/jobs/Board7");
  // File/Import: the matrix file is recognised, read, and the job named
  // after its folder.
  JobFile("j", "steps/panel/stephdr", "");
  JobFile("j", "steps/panel/profile", "OB 0 0 I\nOS 1 0\nOS 1 1\n");
  ScriptFileDialogAnswer(Matrix("j"));
  QueueModalScript("TForceFormatDialog", [](TForm& f) {
    EXPECT_EQ(f.Get<TComboBox>("PullDown").ItemIndex(), fcOdb);
    f.Click("OKButton");
  });
  Choose({1});
  RunCadImport();
  EXPECT_EQ(DetachedImportHost().JobName, "j");
  EXPECT_EQ(CadCounts()["0:L"], 2);
}

}  // namespace

namespace {

// Entities of a CAD layer within a box (database units).
int CountWithin(int32_t minX, int32_t minY, int32_t maxX, int32_t maxY) {
  int n = 0;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    TIntPoint a, b;
    DB->EntityAt(i)->GetPoint(a);
    DB->EntityAt(i)->GetSecondPoint(b);
    if (std::min(a.X, b.X) >= minX && std::max(a.X, b.X) <= maxX && std::min(a.Y, b.Y) >= minY &&
        std::max(a.Y, b.Y) <= maxY)
      ++n;
  }
  return n;
}

// A job kept compressed, matrix included, is recognised from its matrix.Z
// as the reader reads it; its oval and rectangular-donut pads are drawn and
// the pads of symbols that are not are counted.
TEST_F(OdbImportTest, CompressedMatrixIsRecognisedAndOvalAndDonutPadsAreDrawn) {
  fs::copy(fs::path(KORVEX_TEST_DATA_DIR) / "odb-compressed", TempDir / "cz", fs::copy_options::recursive);
  const std::string matrix = (TempDir / "cz" / "matrix" / "matrix.Z").string();
  const fs::path scratch = NativePath(ExecutionPath() + "SCRATCH");
  const auto files = [&scratch] {
    return std::distance(fs::directory_iterator(scratch), fs::directory_iterator{});
  };
  const auto before = files();
  EXPECT_NEAR(DetectValorMatrix(matrix), 0.9, 1e-9);
  EXPECT_EQ(DetectFileFormat(matrix), fcOdb);
  EXPECT_EQ(files(), before);  // the decoded copy is gone again
  EXPECT_FALSE(fs::exists(TempDir / "cz" / "matrix" / "matrix"));
  EXPECT_EQ(ValorJobName(matrix), (TempDir / "cz").string());

  Choose({1});
  ImportValorJob(matrix);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u) << Errors();
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "3 pads of symbols that are not imported were skipped:\n1 moire, 2 thr");
  int lines = 0, arcs = 0;
  for (const auto& [kind, count] : CadCounts()) {
    if (kind.back() == 'L') lines += count;
    if (kind.back() == 'A') arcs += count;
  }
  EXPECT_EQ(lines, 2 + 8);
  EXPECT_EQ(arcs, 2);
  const int32_t mm = 1000000;
  // The 2 x 1 mm oval at (10, 10): sides at y = 9.5 and 10.5 from x = 9.5
  // to 10.5, half circles about (9.5, 10) and (10.5, 10).
  EXPECT_EQ(CountWithin(9 * mm, 9 * mm + mm / 2, 11 * mm, 10 * mm + mm / 2), 4);
  // The 4 x 2 mm donut of 0.5 mm at (20, 10): 18..22 by 9..11 and
  // 18.5..21.5 by 9.5..10.5.
  EXPECT_EQ(CountWithin(18 * mm, 9 * mm, 22 * mm, 11 * mm), 8);
  EXPECT_EQ(CountWithin(18 * mm + mm / 2, 9 * mm + mm / 2, 21 * mm + mm / 2, 10 * mm + mm / 2), 4);
}

// The format guess decodes a compressed matrix into the scratch folder with
// the same bound as the reading: past it the guess fails and leaves nothing.
TEST_F(OdbImportTest, TheGuessOfACompressedMatrixStopsAtTheDecodingLimit) {
  std::string matrix = kMatrix;
  while (matrix.size() < 20000) matrix += "# " + std::to_string(matrix.size()) + "\n";
  JobFile("z", "matrix/matrix.Z", LzwCompress(matrix));
  const std::string packed = (TempDir / "z" / "matrix" / "matrix.Z").string();
  const fs::path scratch = NativePath(ExecutionPath() + "SCRATCH");
  const auto files = [&scratch] {
    return std::distance(fs::directory_iterator(scratch), fs::directory_iterator{});
  };
  const auto before = files();
  {
    const TDecompressLimitFor lower(10000);
    EXPECT_EQ(DetectValorMatrix(packed), 0.0);
    EXPECT_EQ(files(), before);
  }
  EXPECT_GT(DetectValorMatrix(packed), 0.6);
  EXPECT_EQ(files(), before);
}

// A symbol number beyond 32 bits is refused with its line; the rest of the
// layer is read. With Holes off and Pads on, round pads of a drill layer
// come in as pads.
TEST_F(OdbImportTest, OutOfRangeSymbolNumbersAndHolesOffPadsOn) {
  JobFile("j", "matrix/matrix", kMatrix);
  JobFile("j", "steps/panel/stephdr", "");
  JobFile("j", "steps/panel/profile", "");
  JobFile("j", "steps/panel/layers/top/features", "$0 r10\nP 1 1 5600000000 P 0 0\nP 2 2 0 P 0 0\n");
  JobFile("j", "steps/panel/layers/drill/features", "$0 r20\nP 3 3 0 P 0 0\n");
  RegisterModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Cell1_1");
    f.Click("Cell2_1");
    f.Get<TCheckBox>("HolesCheck").SetChecked(false);
    f.Click("OKButton");
  });
  ImportValorJob(Matrix("j"));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u) << Errors();
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("features, line 2: the symbol number 5600000000 is out of range"),
            std::string::npos)
      << Errors();
  EXPECT_EQ(HoleCounts()[30], 0);
  int circles = 0;
  for (int32_t i = 1; i <= CadEntityCount; ++i)
    if (DB->EntityAt(i)->GetType() == 4) {
      TIntPoint c;
      DB->EntityAt(i)->GetPoint(c);
      EXPECT_TRUE(c.X == c.Y && (c.X == 2 * 25400000 || c.X == 3 * 25400000)) << c.X;
      ++circles;
    }
  EXPECT_EQ(circles, 2);
}

// A pad orientation beyond 32 bits is refused with its line as a symbol
// number is; the other pads of the layer come in.
TEST_F(OdbImportTest, OutOfRangePadOrientationsAreRefusedWithTheirLine) {
  JobFile("j", "matrix/matrix", kMatrix);
  JobFile("j", "steps/panel/stephdr", "");
  JobFile("j", "steps/panel/profile", "");
  JobFile("j", "steps/panel/layers/top/features",
          "$0 r10\n$1 r20\nP 0 0 1 P 0 2222222222\nP 1 1 0 P 0 -9e99\nP 2 2 1 P 0 1\n");
  JobFile("j", "steps/panel/layers/drill/features", "");
  RegisterModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Cell1_1");
    f.Click("OKButton");
  });
  ImportValorJob(Matrix("j"));
  ASSERT_EQ(ShownMessageBoxes().size(), 2u) << Errors();
  const std::string text = Errors();
  EXPECT_NE(text.find("features, line 3: the pad orientation 2222222222 is out of range"), std::string::npos)
      << text;
  EXPECT_NE(text.find("features, line 4: the pad orientation -9e99 is out of range"), std::string::npos)
      << text;
  int circles = 0;
  for (int32_t i = 1; i <= CadEntityCount; ++i)
    if (DB->EntityAt(i)->GetType() == 4) {
      TIntPoint c;
      DB->EntityAt(i)->GetPoint(c);
      EXPECT_EQ(c.X, 2 * 25400000);
      ++circles;
    }
  EXPECT_EQ(circles, 1);
}

}  // namespace

// Pads follow their orientation (mirrored in X first, then turned
// clockwise); rectangles with rounded or cut corners, hexagons and
// triangles are drawn as their symbols define them; pads of the symbols
// that are not drawn, texts and barcodes, and the step-and-repeat copies a
// step places are named after the import.
TEST_F(OdbImportTest, PadsFollowTheirOrientationAndEveryShapeIsDrawnOrNamed) {
  JobFile("j", "matrix/matrix", kMatrix);
  JobFile("j", "steps/panel/stephdr",
          "X_DATUM=0\nY_DATUM=0\nSTEP-REPEAT {\n NAME=pcb\n X=0\n Y=0\n DX=100\n DY=0\n NX=2\n NY=3\n"
          " ANGLE=0\n FLIP=NO\n MIRROR=NO\n}\n");
  JobFile("j", "steps/panel/profile", "");
  JobFile("j", "steps/panel/layers/top/features",
          "UNITS=MM\n$0 rect2000x1000\n$1 rect2000x1000xr200x1\n$2 rect2000x1000xc200\n"
          "$3 hex_l3000x2000x500\n$4 hex_s2000x3000x500\n$5 tri2000x1000\n$6 thr2000x1500x45x4x300\n"
          "$7 r40 I\n$8 r500\n"
          "P 10 10 0 P 0 1\nP 20 10 1 P 0 4\nP 30 10 1 P 0 9 90\nP 40 10 2 P 0 0\n"
          "P 50 10 3 P 0 0\nP 60 10 4 P 0 0\nP 70 10 5 P 0 0\nP 80 10 6 P 0 0\n"
          "P 90 10 7 P 0 0\nP 95 10 8 P 0 0\n"
          "T 1 1 standard P 0 1 1 0.1 AB 0\nB 1 2 UPC39 standard P 0 1 1 0.2 E Y AB\n");
  Choose({1});
  ImportValorJob(Matrix("j"));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u) << Errors();
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "1 pad of symbols that are not imported was skipped:\n1 thr\n\n"
            "2 features of kinds that are not imported were skipped:\n1 barcode, 1 text\n\n"
            "6 copies of steps placed by step and repeat were not imported with the steps that place "
            "them; choose those steps to import them:\n6 PCB");
  const int32_t mm = 1000000;
  // The 2 x 1 mm rectangle turned a quarter: 1 mm wide and 2 mm high.
  EXPECT_EQ(CountWithin(9 * mm + mm / 2, 9 * mm, 10 * mm + mm / 2, 11 * mm), 4);
  // The rounded upper right corner (its centre 0.8, 0.3 from the pad's)
  // mirrored is the upper left one; mirrored and turned a quarter clockwise
  // it is at (0.3, 0.8).
  std::vector<TIntPoint> centres;
  for (int32_t i = 1; i <= CadEntityCount; ++i)
    if (DB->EntityAt(i)->GetType() == 3) {
      TIntPoint c;
      DB->EntityAt(i)->GetThirdPoint(c);
      centres.push_back(c);
    }
  ASSERT_EQ(centres.size(), 2u);
  EXPECT_EQ(centres[0], (TIntPoint{19 * mm + mm / 5, 10 * mm + 3 * mm / 10}));
  EXPECT_EQ(centres[1], (TIntPoint{30 * mm + 3 * mm / 10, 10 * mm + 8 * mm / 10}));
  EXPECT_EQ(CountWithin(19 * mm, 9 * mm + mm / 2, 21 * mm, 10 * mm + mm / 2), 4 + 1);
  // Cut corners: eight sides; the hexagons six each; the triangle three,
  // its base below and its tip at half its height above the centre.
  EXPECT_EQ(CountWithin(39 * mm, 9 * mm + mm / 2, 41 * mm, 10 * mm + mm / 2), 8);
  EXPECT_EQ(CountWithin(48 * mm + mm / 2, 9 * mm, 51 * mm + mm / 2, 11 * mm), 6);
  EXPECT_EQ(CountWithin(59 * mm, 8 * mm + mm / 2, 61 * mm, 11 * mm + mm / 2), 6);
  EXPECT_EQ(CountWithin(69 * mm, 9 * mm + mm / 2, 71 * mm, 10 * mm + mm / 2), 3);
  EXPECT_EQ(CountWithin(69 * mm, 9 * mm + mm / 2, 71 * mm, 9 * mm + mm / 2), 1);  // the base
  EXPECT_EQ(CountWithin(78 * mm, 8 * mm, 82 * mm, 12 * mm), 0);
  // A symbol that names its own unit keeps it in a metric file: 40 mils
  // across; the next one is in the file's microns again.
  std::vector<int32_t> radii;
  for (int32_t i = 1; i <= CadEntityCount; ++i)
    if (DB->EntityAt(i)->GetType() == 4) {
      TIntPoint r;
      DB->EntityAt(i)->GetSecondPoint(r);
      radii.push_back(r.X);
    }
  EXPECT_EQ(radii, (std::vector<int32_t>{508000, 250000}));
}

// Every standard symbol a pad may have is drawn or named after the import:
// none is left out without a word.
TEST_F(OdbImportTest, EveryStandardSymbolIsDrawnOrNamed) {
  const char* const symbols[] = {
      "r20", "s20", "rect20x10", "rect20x10xr2", "rect20x10xc2x13", "oval20x10", "di20x10",
      "oct20x20x5", "donut_r20x10", "donut_s20x10", "donut_rc20x10x2", "donut_o20x10x2",
      "hex_l20x10x4", "hex_s10x20x4", "bfr20", "bfs20", "tri20x10", "oval_h20x10",
      "thr20x14x45x4x3", "ths20x14x45x4x3", "s_ths20x14x45x4x3", "s_tho20x14x45x4x3",
      "sr_ths20x14x45x4x3", "rc_ths20x10x45x4x3x2", "el20x10", "moire2x2x3x1x30x0", "hole10xpx1x1",
      "null1", "my_pad"};
  std::string features;
  int n = 0;
  for (const char* s : symbols) features += "$" + std::to_string(n++) + " " + s + "\n";
  for (int i = 0; i < n; ++i) features += "P " + std::to_string(i) + " 0 " + std::to_string(i) + " P 0 0\n";
  JobFile("j", "matrix/matrix", kMatrix);
  JobFile("j", "steps/panel/stephdr", "");
  JobFile("j", "steps/panel/profile", "");
  JobFile("j", "steps/panel/layers/top/features", features);
  Choose({1});
  ImportValorJob(Matrix("j"));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u) << Errors();
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "13 pads of symbols that are not imported were skipped:\n1 bfr, 1 bfs, 1 el, 1 hole, 1 moire, "
            "1 my_pad, 1 oval_h, 1 rc_ths, 1 s_tho, 1 s_ths, 1 sr_ths, 1 thr, 1 ths");
  // The oval donut: two ovals of two sides and two half circles each.
  EXPECT_EQ(CountWithin(11 * 25400000 - 254000, -127000, 11 * 25400000 + 254000, 127000), 8);
  const std::map<std::string, int> cad = CadCounts();
  int points = 0, circles = 0;
  for (const auto& [kind, count] : cad) {
    if (kind.back() == 'P') points += count;
    if (kind.back() == 'C') circles += count;
  }
  EXPECT_EQ(points, 1);   // null
  EXPECT_EQ(circles, 3);  // r and the two rings of donut_r
}
