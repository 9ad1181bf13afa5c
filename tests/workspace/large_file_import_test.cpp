// Imports of files far larger than what they hold, and imports that run out
// of memory, through the started program. The readers' limits are lowered so
// that a few megabytes stand in for gigabytes.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "entity_counts.h"
#include "foundation/import_guard.h"
#include "foundation/settings.h"
#include "import/import_frame.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/undo_journal.h"
#include "tapein/drill_import_command.h"
#include "workspace_test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t In = 25400000;
constexpr std::uintmax_t Size = std::uintmax_t{6} << 20;

class TLargeFileImportTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    SetImportWholeFileLimit(Size / 2);
    SetImportHoldLimit(Size / 4);
    for (const char* form : {"TDrawingUnits", "TGerberDrillDialog", "TCadInputFormatDialog",
                             "TDrillInputFormatDialog", "TValorLayerDialog", "TPickDrillLayerDialog"})
      RegisterModalScript(form, [](TForm& f) { f.Click("OKButton"); });
    CloseResultWindows();
  }
  void TearDown() override {
    SetImportWholeFileLimit(0);
    SetImportHoldLimit(0);
    TWorkspaceDialogsTest::TearDown();
  }
  // The head, then zero bytes up to Size; sparse where the file system allows.
  std::string Sparse(const std::string& name, const std::string& head) {
    const std::string path = Input(name, head);
    fs::resize_file(path, Size);
    return path;
  }
  static std::string UndoName() {
    std::string name;
    return ActiveUndo != nullptr && ActiveUndo->CanUndo(name) ? name : std::string("(none)");
  }
};

// A plausible head followed by zero bytes, or zero bytes alone, in every
// format File > Import and Drill Import offer: each import ends with a box,
// adds nothing and leaves the job unnamed, with the same step to undo.
TEST_F(TLargeFileImportTest, ALargeFileOfEveryFormatEndsWithABoxAndTheJobAsItWas) {
  TWorkspace& form = StartProgram();
  DB->AddLineOnLayer(0, 0, In, In, 0);
  ActiveUndo->BeginOperation("Line");
  const auto counts = CadCounts();
  const std::string zeros = Sparse("ZEROS.BIN", "");
  std::vector<std::pair<int, std::string>> cases;
  for (int format = fcDxf; format < FormatCount; ++format)
    if (format != fcOdb) cases.push_back({format, zeros});
  cases.push_back({fcHpgl, Sparse("HEAD.PLT", "IN;SP1;PU0,0;PD1000,1000;PU;\n")});
  cases.push_back({fcExcellon, Sparse("HEAD.DRL", "M48\nINCH,TZ\nT1C0.0100\n%\nT1\nX010000Y010000\n")});
  cases.push_back({fcGerber, Sparse("HEAD.GBR", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\nX0Y0D02*\nX10000Y10000D01*\n")});
  cases.push_back({fcIgiPost, Sparse("HEAD.PST", std::string("\x06\0\0\0\0\0\0\0\0\0\0\0", 12))});
  cases.push_back({fcDxf, Sparse("HEAD.DXF", "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n")});
  for (const auto& [format, file] : cases) {
    SCOPED_TRACE(std::string(FormatListNames[format]) + " " + file);
    const size_t boxes = ShownMessageBoxes().size();
    ImportIntoCad(form, file, format);
    EXPECT_GT(ShownMessageBoxes().size(), boxes);
    EXPECT_EQ(CadCounts(), counts);
    EXPECT_EQ(UndoName(), "Line");
    EXPECT_EQ(DatabaseFileName, "");
  }
  SelectLayer(30);
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  const auto holes = HoleCounts();
  for (int format : {ifDxf, ifExcellon, ifGerber, ifEsi}) {
    SCOPED_TRACE(format);
    const size_t boxes = ShownMessageBoxes().size();
    ImportDrill(form, zeros, format);
    EXPECT_GT(ShownMessageBoxes().size(), boxes);
    EXPECT_EQ(HoleCounts(), holes);
    EXPECT_EQ(DatabaseFileName, "");
  }
}

// A photoplot is held whole while it is read: one beyond the limit is
// refused before it is read; definitions beyond what an import may keep
// refuse the file too; zero bytes read as IGI POST records draw nothing.
TEST_F(TLargeFileImportTest, FilesBeyondTheLimitsAreRefusedNamingTheFile) {
  TWorkspace& form = StartProgram();
  const std::string plot = Sparse("BIG.GBR", "%FSLAX24Y24*%\n%MOIN*%\n");
  ImportIntoCad(form, plot, fcGerber);
  EXPECT_EQ(LastBox(), "<" + plot + "> is larger than the 3 MB this format can import.\r\nNothing was imported.");
  const std::string drawing = Sparse("BIG.DXF", "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n");
  ImportIntoCad(form, drawing, fcDxf);
  EXPECT_NE(LastBox().find("<" + drawing + "> is larger than the 3 MB this format can import."), std::string::npos)
      << LastBox();
  // A sub-figure that never ends holds every record after it.
  const std::string figure = Sparse("FIGURE.PST", std::string("T\0\0\0\0\0\0\0\0\0\x07\0", 12));
  ImportIntoCad(form, figure, fcIgiPost);
  EXPECT_EQ(LastBox(), "<" + figure + "> needs more than 2 MB of memory to import.\r\nNothing was imported.");
  const std::string zeros = Sparse("ZEROS.PST", "");
  ImportIntoCad(form, zeros, 0);  // zero bytes pass for IGI POST records
  EXPECT_EQ(LastBox(), "<" + zeros + "> draws nothing.\r\nNothing was imported.");
  EXPECT_EQ(CadEntityCount, 0);
  EXPECT_EQ(DatabaseFileName, "");
}

// An allocation refused halfway through an import: a box names the file,
// not the exception, and what the import had added is gone.
TEST_F(TLargeFileImportTest, AnImportThatRunsOutOfMemoryEndsWithAMessageAndTheJobAsItWas) {
  TWorkspace& form = StartProgram();
  DB->AddLineOnLayer(0, 0, In, In, 0);
  ActiveUndo->BeginOperation("Line");
  const auto counts = CadCounts();
  const TImportFormat kept = ImportFormat(fcGcadd);
  SetImportFormat(fcGcadd, {kept.Detect, [](const std::string&) {
                              DB->AddLineOnLayer(0, 0, 2 * In, 0, 0);
                              DB->AddLineOnLayer(0, 0, 3 * In, 0, 0);
                              throw std::bad_alloc();
                            }});
  const std::string file = Input("DRAWING.GCD", "anything");
  ImportIntoCad(form, file, fcGcadd);
  SetImportFormat(fcGcadd, kept);
  EXPECT_EQ(LastBox(), "There is not enough memory to import <" + file + ">.\r\nNothing was imported.");
  EXPECT_EQ(CadCounts(), counts);
  EXPECT_EQ(UndoName(), "Line");
  std::string redo;
  EXPECT_FALSE(ActiveUndo->CanRedo(redo)) << redo;  // the half import is not offered again

  // Drill Import: the holes read so far are withdrawn.
  SelectLayer(30);
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  const auto holes = HoleCounts();
  SetDrillFormatImporter(ifDxf, {nullptr, [](const std::string&) {
                                   DRDB->AddHoleOnLayer(2 * In, In, 30, 1, false);
                                   throw std::length_error("vector");
                                 }});
  const std::string tape = Input("TAPE.DXF", "anything");
  ImportDrill(form, tape, ifDxf);
  InstallDrillImporters();
  EXPECT_EQ(LastBox(), "There is not enough memory to import <" + tape + ">.\r\nNothing was imported.");
  EXPECT_EQ(HoleCounts(), holes);
  EXPECT_EQ(DatabaseFileName, "");
}

}  // namespace
