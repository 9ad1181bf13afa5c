// The import frame: the choice among the detectors' scores, the samples of
// every format against the detectors, and the File/Import command from the
// file dialog to the imported drawing.
#include <gtest/gtest.h>

#include "foundation/settings_families.h"
#include "import/import_frame.h"
#include "tapein/drill_import.h"
#include "import_test_support.h"
#include "import/dxf_import.h"
#include "import/gerber_cad.h"
#include "tapein/cad_import.h"
#include "tapein/nc_words.h"

namespace fs = std::filesystem;

namespace {

class ImportFrameTest : public TImportTest {};

TEST_F(ImportFrameTest, TheWinnerMustLeadClearly) {
  struct TCase {
    std::array<double, FormatCount> Scores;
    uint8_t Code;
  };
  const TCase cases[] = {
      {{0, 0.7, 0.75}, fcUnrecognized},     // HPGL leads DXF by less than 0.12
      {{0, 0.7, 0.9}, fcHpgl},              // ... by 0.2
      {{0, 0.9, 0, 0, 0.85}, fcDxf},        // a close second does not count
      {{0, 0.65, 0.7, 0, 0, 0.95}, fcGcadd},  // an ambiguity cleared by a clear leader
      {{0, 0.6, 0, 0, 0, 0, 0, 0, 0, 0.6}, fcUnrecognized},  // 0.6 never counts
      {{0, 0.8, 0, 0.8}, fcDxf},            // an equal later score does not replace
      {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0.61}, fcEsi},
  };
  for (const TCase& c : cases) EXPECT_EQ(PickFormat(c.Scores), c.Code);
}

TEST_F(ImportFrameTest, SamplesAreWonByTheirOwnDetectors) {
  if (!fs::exists(SharedTestData() / "gerber")) GTEST_SKIP() << "shared test data absent";
  auto code = [](const fs::path& p) { return DetectFileFormat(p.string()); };
  // Every photoplot in the README's table is a photoplot (checked with the
  // figures in the photoplot tests); no drill tape is taken for one, and
  // the tapes the Excellon detector is sure of are Excellon tapes. One file
  // of the drill folder is a photoplot drill drawing.
  for (const auto& e : fs::directory_iterator(SharedTestData() / "excellon")) {
    if (!e.is_regular_file() || e.path().extension() == ".md") continue;
    SCOPED_TRACE(e.path().filename().string());
    const uint8_t c = code(e.path());
    if (e.path().filename() == "rs232_cm.drd") {
      EXPECT_EQ(c, fcGerber);
      continue;
    }
    EXPECT_TRUE(c == fcExcellon || c == fcUnrecognized) << int(c);
    if (DetectExcellonFile(e.path().string()) > 0.72) EXPECT_EQ(c, fcExcellon);
  }
  for (const char* f : {"top.gbx", "d1.grb", "pads__Layer2.pho", "allegro__MinnowMax_lyr2.art"})
    EXPECT_EQ(code(SharedTestData() / "gerber" / f), fcGerber) << f;
  for (const char* f : {"autocad__floorplan.dxf", "ezdxf__Minimal_DXF_AC1021.dxf", "librecad__blocks1.dxf"})
    EXPECT_EQ(code(SharedTestData() / "dxf" / f), fcDxf) << f;
  for (const char* f : {"hp2xx__acad.hp", "hp2xx__fill.plt", "hp2xx__arcs.hp"})
    EXPECT_EQ(code(SharedTestData() / "hpgl" / f), fcHpgl) << f;
  EXPECT_EQ(code(SharedTestData() / "odb" / "kicad9-flat_hierarchy" / "matrix" / "matrix"), fcOdb);
  // A drawing of 10-byte units: twenty lines and the end mark.
  std::string gcadd;
  for (int k = 0; k < 20; ++k) {
    gcadd += std::string("\0\0\x02\0\0\x03\0\0\x02\0", 10);
    gcadd += std::string(20, static_cast<char>(k + 1));
  }
  gcadd += std::string("\xFF\xFF\0\0\0\0\0\0\0\0", 10);
  EXPECT_EQ(code(Write("d.gcd", gcadd)), fcGcadd);
  EXPECT_EQ(code(Write("e.gcd", gcadd + std::string(3, '\0'))), fcGcadd);  // zeros after the mark
  EXPECT_EQ(code(Write("f.gcd", gcadd.substr(0, 360) + "x")), fcGcadd);      // the records alone
  // Laser files announce themselves.
  EXPECT_EQ(code(Write("l.esi", "(ESI 5100)\n%\nT1\nX1000Y2000\nX-1000Y2000\nG2X100Y100\n")), fcEsi);
  // Also with the tools, decimals and many digits of the program's own laser
  // output, which read like a drill tape but for the header.
  EXPECT_EQ(code(Write("m.esi", "%\n(ESI 5100)\nT0 1\nT2 762\nT1 1\nX31343.6 Y39801.8\nX59563 Y48006\n"
                                "T0 2\nT2 1574.8\nT1 1\nX42621.2 Y73685.4\nM02\n")),
            fcEsi);
  EXPECT_EQ(code(Write("ipc.txt", "P  JOB" + std::string(74, ' ') + "\n" +
                                      [] {
                                        std::string s;
                                        for (int k = 0; k < 20; ++k) s += "C  " + std::string(77, 'x') + "\n";
                                        return s;
                                      }())),
            fcIpc);
}

TEST_F(ImportFrameTest, EmptyAndBinaryFilesAreRefusedByAll) {
  std::string binary;
  for (int k = 0; k < 4096; ++k) binary += static_cast<char>((k * 37) & 0xFF);
  const std::string files[] = {Write("empty.dat", ""), Write("binary.dat", binary)};
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    for (uint8_t c = fcDxf; c < FormatCount; ++c)
      if (ImportFormat(c).Detect) EXPECT_LE(ImportFormat(c).Detect(f), 0.6) << int(c);
    EXPECT_EQ(DetectFileFormat(f), fcUnrecognized);
  }
  EXPECT_TRUE(CheckImportFile(files[1]));
  EXPECT_FALSE(CheckImportFile(files[0]));
  EXPECT_FALSE(CheckImportFile((TempDir / "missing.dat").string()));
  ASSERT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "File access error #100\r\n" + IoErrorText(100));
  EXPECT_EQ(ShownMessageBoxes()[1].Text, "File access error #2\r\n" + IoErrorText(2));
}

// Text without line ends (here 8 MB of one drill block repeated): no
// detector takes it, and none reads past the longest line a format holds
// (detection of the whole set stays far below the time a full read takes).
TEST_F(ImportFrameTest, AFileWithoutLineEndsIsTurnedDownEarly) {
  std::string line;
  line.reserve(8u << 20);
  while (line.size() < (8u << 20)) line += "X012345Y067890T01";
  const std::string header = "M48\r\n%\r\n";
  for (const std::string& text : {line, header + line}) {
    const std::string f = Write("oneline.drl", text);
    for (uint8_t c = fcDxf; c < FormatCount; ++c)
      if (ImportFormat(c).Detect) EXPECT_LE(ImportFormat(c).Detect(f), 0.6) << int(c);
    EXPECT_LE(DetectExcellon(f, false), 0.6);
    EXPECT_EQ(DetectFileFormat(f), fcUnrecognized);
  }
}

// ---- The command -----------------------------------------------------------------------------

TEST_F(ImportFrameTest, ImportRunsTheConfirmedFormatsImporter) {
  const std::string dxf = Write("BOARD.DXF", "0\nSECTION\n2\nENTITIES\n0\nCIRCLE\n8\n3\n10\n1\n20\n1\n40\n0.5\n"
                                             "0\nENDSEC\n0\nEOF\n");
  // The dialog offers the detected format; View File shows the file and
  // comes back to the same choice.
  int offered = -1;
  int shown = 0;
  QueueModalScript("TForceFormatDialog", [&](TForm& f) {
    offered = f.Get<TComboBox>("PullDown").ItemIndex();
    ++shown;
    f.Click("ViewButton");
  });
  QueueModalScript("TForceFormatDialog", [&](TForm& f) {
    EXPECT_EQ(f.Get<TComboBox>("PullDown").ItemIndex(), offered);
    ++shown;
    f.Click("OKButton");
  });
  ScriptFileDialogAnswer(dxf);
  RunCadImport();
  EXPECT_EQ(offered, fcDxf);
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(DetachedImportHost().Viewed, std::vector<std::string>{dxf});
  EXPECT_EQ(Tally(25400000.0).ByType[4], 1);
  EXPECT_EQ(DetachedImportHost().ShownLayers, 1u << 3);
  EXPECT_EQ(CadImportPath, TempDir.string() + "/");
  EXPECT_EQ(DetachedImportHost().JobName, "BOARD.DXF");
  ASSERT_FALSE(DetachedImportHost().Reports.empty());
  EXPECT_EQ(DetachedImportHost().Reports.back().Text, "Reading DXF file...\n");
  EXPECT_EQ(DetachedImportHost().ModalDepth, 0);

  // Cancel, or "Unrecognized" with OK, imports nothing.
  for (bool cancel : {true, false}) {
    QueueModalScript("TForceFormatDialog", [cancel](TForm& f) {
      f.Get<TComboBox>("PullDown").SetItemIndex(0);
      f.Click(cancel ? "CancelButton" : "OKButton");
    });
    ScriptFileDialogAnswer(dxf);
    RunCadImport();
    EXPECT_EQ(CadEntityCount, 1);
  }

  // The wrong format forced on a file draws nothing and says so.
  ResetHeadlessDialogs();
  QueueModalScript("TForceFormatDialog", [](TForm& f) {
    f.Get<TComboBox>("PullDown").SetItemIndex(fcHpgl);
    f.Click("OKButton");
  });
  ScriptFileDialogAnswer(dxf);
  RunCadImport();
  EXPECT_EQ(CadEntityCount, 1);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("draws nothing."), std::string::npos);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("\r\nNothing was imported."), std::string::npos);

  // A drawing forced on as DXF and refused, or whose units are cancelled,
  // leaves the job named as it was.
  const std::string binary = Write("other.dxf", std::string("AutoCAD Binary DXF\r\n\x1a", 21) + "xx");
  const std::string second = Write("second.dxf", ReadFileBytes(dxf));
  for (bool refused : {true, false}) {
    ResetHeadlessDialogs();
    QueueModalScript("TForceFormatDialog", [](TForm& f) {
      f.Get<TComboBox>("PullDown").SetItemIndex(fcDxf);
      f.Click("OKButton");
    });
    QueueModalScript("TDrawingUnits", [refused](TForm& f) { f.Click(refused ? "OKButton" : "CancelButton"); });
    ScriptFileDialogAnswer(refused ? binary : second);
    RunCadImport();
    EXPECT_EQ(ShownMessageBoxes().size(), refused ? 1u : 0u);
    EXPECT_EQ(DetachedImportHost().JobName, "BOARD.DXF");
  }
  EXPECT_EQ(CadEntityCount, 1);
}

TEST_F(ImportFrameTest, TheFormatDialogsTextFitsItsMemo) {
  TForceFormatDialog dialog;
  const int lineHeight = FormsBackend().TextExtent("Xg").Y;
  EXPECT_GE(dialog.Memo1.Height(), 4 * lineHeight);
  for (const std::string& line : dialog.Memo1.Lines())
    EXPECT_GT(dialog.Memo1.Width(), FormsBackend().TextExtent(line).X + 16) << line;
}

TEST_F(ImportFrameTest, AnUnknownFileIsPutToTheUser) {
  const std::string text = Write("notes.txt", "just some words\nand more words\n");
  std::string memo;
  QueueModalScript("TForceFormatDialog", [&memo](TForm& f) {
    const TMemo& box = f.Get<TMemo>("Memo1");
    int height = 0;
    for (const std::string& l : box.Lines()) {
      memo += l + "|";
      // The question is shown whole: no line is wrapped or cut.
      EXPECT_GT(box.Width(), FormsBackend().TextExtent(l).X) << l;
      height += FormsBackend().TextExtent("Xg").Y;
    }
    EXPECT_FALSE(box.WordWrap());
    EXPECT_GT(box.Height(), height);
    EXPECT_EQ(f.Get<TComboBox>("PullDown").ItemIndex(), 0);
    f.Click("OKButton");
  });
  ScriptFileDialogAnswer(text);
  RunCadImport();
  EXPECT_EQ(memo.rfind("KORVEX cannot determine the format", 0), 0u) << memo;
  EXPECT_EQ(CadEntityCount, 0);
  EXPECT_TRUE(DetachedImportHost().JobName.empty());
}

// ---- Hostile input ---------------------------------------------------------------------------

TEST_F(ImportFrameTest, HostileFilesEndInAMessageWithTheDrawingUnchanged) {
  // A block inserted as a 1,000 x 1,000 array of a block inserting another
  // 1,000 times; a photoplot repeating a thousand flashes a million times.
  std::string bomb = "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nB\n10\n0\n20\n0\n"
                     "0\nINSERT\n8\n0\n2\nC\n10\n0\n20\n0\n70\n1000\n0\nENDBLK\n"
                     "0\nBLOCK\n2\nC\n10\n0\n20\n0\n0\nPOINT\n8\n0\n10\n0\n20\n0\n0\nENDBLK\n0\nENDSEC\n"
                     "0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\nB\n10\n0\n20\n0\n70\n1000\n71\n1000\n"
                     "0\nENDSEC\n0\nEOF\n";
  std::string repeat = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\n%SRX1000Y1000I0.1J0.1*%\nD10*\n";
  for (int k = 0; k < 1000; ++k) repeat += "X" + std::to_string(k) + "Y0D03*\n";
  repeat += "%SR*%\nM02*\n";
  const std::string dxf = Write("bomb.dxf", bomb), gbr = Write("repeat.gbr", repeat);
  ImportDxfToCad(dxf);
  ImportGerberToCad(gbr);
  EXPECT_EQ(CadEntityCount, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("expands to more than"), std::string::npos);
  EXPECT_NE(ShownMessageBoxes()[1].Text.find("the step and repeat makes 1000000000 copies"), std::string::npos);

  // The inputs that once broke the readers: each as a drawing and as a
  // photoplot, ending in a message or a sound result.
  const fs::path bad = SharedTestData() / "bad-input";
  if (!fs::exists(bad)) return;
  for (const auto& e : fs::directory_iterator(bad)) {
    if (e.path().extension() != ".bin") continue;
    SCOPED_TRACE(e.path().filename().string());
    DetectFileFormat(e.path().string());
    ImportDxfToCad(e.path().string());
    ImportGerberToCad(e.path().string());
  }
  EXPECT_LE(CadEntityCount, 1000);
}

}  // namespace

namespace {

// Entities beyond what any drawing holds are counted, not kept: the file is
// refused with its whole count, and the drawing is as it was.
TEST_F(ImportFrameTest, MoreEntitiesThanADrawingHoldsAreCountedAndRefused) {
  DB->AddLineOnLayer(0, 0, 1, 1, 0);
  const int32_t before = CadEntityCount;
  TPendingCad pending;
  for (int32_t i = 0; i < 1000003; ++i) {
    if (i % 2 == 0) pending.Line(0, i, 0, i, 5);
    else pending.Arc(0, i, 0, i, 10, i, 5);
  }
  EXPECT_EQ(pending.Count(), 1000003u);
  EXPECT_FALSE(pending.Commit());
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "The file makes 1,000,003 entities; the CAD drawing has room for 999,999 more.\r\nNothing was imported.");
  EXPECT_EQ(CadEntityCount, before);
  EXPECT_EQ(pending.Count(), 0u);
}

}  // namespace
