// File > Import of drawings whose few bytes ask for unbounded work, through
// the started program: placements of placements, arrays of empty blocks,
// nesting thousands deep, dashed arcs of millions of pieces. Each ends with
// a box naming the file and the cause, adds nothing and leaves the step to
// undo as it was; drawings within the limits still come in. The repeat limit
// is lowered so that small files reach it.
#include <gtest/gtest.h>

#include <cstring>

#include "entity_counts.h"
#include "foundation/import_guard.h"
#include "import/import_frame.h"
#include "gcadd_records.h"
#include "model/cad_database.h"
#include "model/undo_journal.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;
constexpr int64_t Limit = 20000;

using gcadd::Header;
using gcadd::NameUnits;
using gcadd::Unit;
std::string GLine(float y) { return Header(2, 2) + Unit(0, y) + Unit(1, y, 2); }
std::string Define(const std::string& name, const std::string& body) {
  return Header(30, 3) + Unit(0, 0) + NameUnits(name) + body + Header(31, 0);
}
std::string Place(const std::string& name) {
  return Header(32, 5) + Unit(0, 0) + Unit(1, 1, 2) + Unit(0, 0, 3) + NameUnits(name);
}
std::string Gcadd(const std::string& records) { return gcadd::Drawing(records); }

// IGI POST records of 12 bytes: type, two reals, a word.
std::string Igi(int16_t type, float x = 0, float y = 0, int16_t word = 0) {
  std::string r(12, '\0');
  std::memcpy(&r[0], &type, 2);
  std::memcpy(&r[2], &x, 4);
  std::memcpy(&r[6], &y, 4);
  std::memcpy(&r[10], &word, 2);
  return r;
}
// Sub-figure n, flashing figure n - 1 (when n > 1) count times.
std::string Figure(int16_t n, const std::string& own, int count = 1) {
  std::string r = Igi(84, 0, 0, n) + own;
  if (n > 1) {
    r += Igi(10, 0, 0, static_cast<int16_t>(-(n - 1)));
    for (int k = 0; k < count; ++k) r += Igi(1);
  }
  return r + Igi(15);
}
std::string FlashFigure(int16_t n) { return Igi(10, 0, 0, static_cast<int16_t>(-n)) + Igi(1); }

std::string Dxf(const std::string& blocks, const std::string& entities) {
  return "0\nSECTION\n2\nBLOCKS\n" + blocks + "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + entities +
         "0\nENDSEC\n0\nEOF\n";
}
std::string Block(const std::string& name, const std::string& body) {
  return "0\nBLOCK\n2\n" + name + "\n10\n0\n20\n0\n" + body + "0\nENDBLK\n";
}
std::string Insert(const std::string& name, const std::string& columns = "1", const std::string& rows = "1") {
  return "0\nINSERT\n2\n" + name + "\n10\n0\n20\n0\n70\n" + columns + "\n71\n" + rows + "\n44\n1\n45\n1\n";
}
const std::string DLine = "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n0.5\n21\n0.5\n";

class THostileCadImportTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    SetImportRepeatLimit(Limit);
    RegisterModalScript("TDrawingUnits", [](TForm& f) { f.Click("OKButton"); });
  }
  void TearDown() override {
    SetImportRepeatLimit(0);
    TWorkspaceDialogsTest::TearDown();
  }
  static std::string UndoName() {
    std::string name;
    return ActiveUndo != nullptr && ActiveUndo->CanUndo(name) ? name : std::string("(none)");
  }
  // Imports the file; it must be refused with the text and leave the job
  // with one line, "Line" to undo.
  void Refused(TWorkspace& form, const std::string& file, int format, const std::string& text) {
    SCOPED_TRACE(file);
    const auto counts = CadCounts();
    ImportIntoCad(form, file, format);
    EXPECT_NE(LastBox().find(text), std::string::npos) << LastBox();
    EXPECT_NE(LastBox().find("Nothing was imported."), std::string::npos) << LastBox();
    EXPECT_EQ(CadCounts(), counts);
    EXPECT_EQ(UndoName(), "Line");
  }
  // Imports the file; it must add count entities, then they are undone.
  void Imported(TWorkspace& form, const std::string& file, int format, int32_t count) {
    SCOPED_TRACE(file);
    const int32_t before = CadEntityCount;
    const size_t boxes = ShownMessageBoxes().size();
    ImportIntoCad(form, file, format);
    EXPECT_EQ(ShownMessageBoxes().size(), boxes) << LastBox();
    EXPECT_EQ(CadEntityCount - before, count);
    EXPECT_EQ(UndoName(), "Import file");
    ActiveUndo->Undo();
  }
  TWorkspace& StartWithALine() {
    TWorkspace& form = StartProgram();
    DB->AddLineOnLayer(0, 0, In, In, 0);
    ActiveUndo->BeginOperation("Line");
    return form;
  }
};

// Components placing components: a thousand-fold fan of empty ones, and
// nesting past 100 levels, are refused; a component of a hundred lines
// placed 150 times (15,000 records again), and nesting 100 deep, come in.
TEST_F(THostileCadImportTest, GcaddPlacementsBeyondTheLimitsAreRefused) {
  TWorkspace& form = StartWithALine();
  std::string fan = Define("L0", "");
  for (int level = 1; level <= 3; ++level) {
    std::string places;
    for (int k = 0; k < 1000; ++k) places += Place("L" + std::to_string(level - 1));
    fan += Define("L" + std::to_string(level), places);
  }
  const std::string fanned = Input("FAN.GCD", Gcadd(fan + Place("L3")));
  Refused(form, fanned, fcGcadd,
          "<" + fanned + "> repeats more than 20,000 records through the placements of its components.");
  const auto deep = [](int levels) {
    std::string r = Define("C0", GLine(0));
    for (int k = 1; k < levels; ++k) r += Define("C" + std::to_string(k), Place("C" + std::to_string(k - 1)));
    return Gcadd(r + Place("C" + std::to_string(levels - 1)));
  };
  const std::string tooDeep = Input("DEEP.GCD", deep(101));
  Refused(form, tooDeep, fcGcadd, "<" + tooDeep + "> nests the placements of its components more than 100 deep.");
  Imported(form, Input("NEST.GCD", deep(100)), fcGcadd, 1);
  std::string lines, places;
  for (int k = 0; k < 100; ++k) lines += GLine(0.01f * static_cast<float>(k));
  for (int k = 0; k < 150; ++k) places += Place("PART");
  Imported(form, Input("PARTS.GCD", Gcadd(Define("PART", lines) + places)), fcGcadd, 15000);
}

// The same for sub-figures flashed by sub-figures.
TEST_F(THostileCadImportTest, IgiPostFlashesBeyondTheLimitsAreRefused) {
  TWorkspace& form = StartWithALine();
  const std::string fanned =
      Input("FAN.PST", Figure(1, "") + Figure(2, "", 1000) + Figure(3, "", 1000) + Figure(4, "", 1000) + FlashFigure(4));
  Refused(form, fanned, fcIgiPost,
          "<" + fanned + "> repeats more than 20,000 records through the placements of its sub-figures.");
  const auto deep = [](int16_t levels) {
    std::string r = Figure(1, Igi(6) + Igi(2, 1, 1));
    for (int16_t n = 2; n <= levels; ++n) r += Figure(n, "");
    return r + FlashFigure(levels);
  };
  const std::string tooDeep = Input("DEEP.PST", deep(101));
  Refused(form, tooDeep, fcIgiPost, "<" + tooDeep + "> nests the placements of its sub-figures more than 100 deep.");
  Imported(form, Input("NEST.PST", deep(100)), fcIgiPost, 1);
}

// Arrays of empty blocks, of blocks of nothing drawn and of long texts, and
// counts whose product overflows, are refused before they are read; blocks
// nesting past 100 levels too. 100 levels come in.
TEST_F(THostileCadImportTest, DxfBlockCopiesBeyondTheLimitsAreRefused) {
  TWorkspace& form = StartWithALine();
  const std::string expands = "the drawing expands to more than 20000000 entities through its blocks";
  Refused(form, Input("EMPTY.DXF", Dxf(Block("E", ""), Insert("E", "32767", "32767"))), fcDxf, expands);
  Refused(form, Input("ENDS.DXF", Dxf(Block("E", "0\nSEQEND\n"), Insert("E", "5000", "5000"))), fcDxf, expands);
  Refused(form, Input("TEXT.DXF", Dxf(Block("T", "0\nTEXT\n10\n0\n20\n0\n40\n0.1\n1\n" + std::string(255, 'W') + "\n"),
                                      Insert("T", "300", "300"))),
          fcDxf, expands);
  const std::string most = "2147483647";
  Refused(form, Input("HUGE.DXF", Dxf(Block("B", DLine + DLine) + Block("A", Insert("B", most, most)),
                                      Insert("A", most, most))),
          fcDxf, expands);
  const auto deep = [](int levels) {
    std::string blocks = Block("B0", DLine);
    for (int k = 1; k < levels; ++k) blocks += Block("B" + std::to_string(k), Insert("B" + std::to_string(k - 1)));
    return Dxf(blocks, Insert("B" + std::to_string(levels - 1)));
  };
  Refused(form, Input("DEEP.DXF", deep(101)), fcDxf, "the drawing nests its blocks more than 100 deep");
  Imported(form, Input("NEST.DXF", deep(100)), fcDxf, 1);
}

// An arc of a few bytes, dashed finely or clipped away by the window, asks
// for hundreds of thousands of pieces: refused; a dashed square comes in.
TEST_F(THostileCadImportTest, HpglDashesAndChordsBeyondTheLimitAreRefused) {
  TWorkspace& form = StartWithALine();
  const std::string pieces = "breaks its lines, arcs and curves into more than 5,000 pieces.";
  const std::string arc = "LT1,0.0004;PU90,0;PD;AA0,0,360,1;";
  const std::string dashed = Input("DASHED.PLT", "IN;SC-100,100,-100,100;" + arc);
  Refused(form, dashed, fcHpgl, "<" + dashed + "> " + pieces);
  const std::string clipped = Input("CLIPPED.PLT", "IN;SC-100,100,-100,100;IW0,0,1,1;" + arc);
  Refused(form, clipped, fcHpgl, "<" + clipped + "> " + pieces);
  Imported(form, Input("SQUARE.PLT", "IN;LT2,1;PU0,0;PD4000,0;PU;"), fcHpgl, 8);
}

}  // namespace
