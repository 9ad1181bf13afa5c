// GCADD drawings into the CAD drawing: recognition by the end mark and the
// header, or by a clean walk of records; points, lines, circles, three-point
// arcs; components placed with scale and rotation, nested and mirrored; a
// component that places itself; files cut short.
#include <gtest/gtest.h>

#include <cstring>

#include "foundation/import_guard.h"
#include "gcadd_records.h"
#include "import/gcadd_import.h"
#include "import/import_frame.h"
#include "import_test_support.h"

namespace {

constexpr double Inch = 25400000.0;

using gcadd::Header;
using gcadd::NameUnits;
using gcadd::Unit;

std::string Line(float x1, float y1, float x2, float y2) { return Header(2, 2) + Unit(x1, y1) + Unit(x2, y2, 2); }
std::string Define(const std::string& name) { return Header(30, 3) + Unit(0, 0) + NameUnits(name); }
std::string EndDefine() { return Header(31, 0); }
std::string Place(const std::string& name, float x, float y, float sx, float sy, float turn) {
  return Header(32, 5) + Unit(x, y) + Unit(sx, sy, 2) + Unit(turn, 0, 3) + NameUnits(name);
}
using gcadd::Drawing;

class GcaddImportTest : public TImportTest {
 protected:
  TTally Import(const std::string& bytes) {
    const int32_t before = CadEntityCount;
    ImportGcaddToCad(Write("t.gcd", bytes));
    return Tally(Inch, before + 1);
  }
  static std::string LastBox() {
    const auto& boxes = ShownMessageBoxes();
    return boxes.empty() ? std::string() : boxes.back().Text;
  }
};

TEST_F(GcaddImportTest, RecognitionByEndMarkHeaderOrRecordWalk) {
  int32_t offset = -1;
  std::vector<uint8_t> bytes(10000, 0);
  bytes[9990 - 10] = bytes[9990 - 9] = 0xFF;
  EXPECT_TRUE(RecognizeGcadd(bytes, offset));
  EXPECT_EQ(offset, 0);
  bytes.resize(10003, 0);  // remainder 3: only with its header
  EXPECT_FALSE(RecognizeGcadd(bytes, offset));
  bytes[0] = 0x01;
  bytes[1] = 0xE7;
  bytes[2] = 0x02;
  EXPECT_TRUE(RecognizeGcadd(bytes, offset));
  EXPECT_EQ(offset, 743);
  // No end mark: 60 well-formed records.
  std::string walk;
  for (int i = 0; i < 60; ++i) walk += Line(0, 0, 1, 1);
  bytes.assign(walk.begin(), walk.end());
  EXPECT_TRUE(RecognizeGcadd(bytes, offset));
  bytes[2 + 30 * 30] = 99;  // an unknown type
  EXPECT_FALSE(RecognizeGcadd(bytes, offset));
  const std::string file = Write("d.gcd", Drawing(Line(0, 0, 1, 1)));
  EXPECT_EQ(DetectFileFormat(file), fcGcadd);
}

TEST_F(GcaddImportTest, ElementsAndArcDirection) {
  // B above the chord A->C: the arc runs counter-clockwise from C to A.
  const TTally t = Import(Drawing(Header(1, 1) + Unit(5, 5) + Line(0, 0, 2, 0) +
                                  Header(10, 2) + Unit(1, 1) + Unit(1, 2, 2) +
                                  Header(11, 3) + Unit(-1, 0) + Unit(0, 1, 2) + Unit(1, 0, 3) +
                                  Header(11, 3) + Unit(0, 0) + Unit(1, 1, 2) + Unit(2, 2, 3)));
  EXPECT_EQ(t.ByType[1], 1) << Shown(t);
  EXPECT_EQ(t.ByType[2], 1);
  EXPECT_EQ(t.ByType[4], 1);
  ASSERT_EQ(t.ByType[3], 1);  // the collinear arc draws nothing
  TIntPoint s;
  DB->EntityAt(4)->GetPoint(s);
  EXPECT_EQ(s.X, 25400000);
  EXPECT_NEAR(t.MaxY, 5.0, 1e-9);
  EXPECT_NEAR(t.MinX, -1.0, 1e-9);
}

TEST_F(GcaddImportTest, ComponentsTurnScaleNestAndMirror) {
  // "UNIT" is a line from (0, 0) to (1, 0); "PAIR" places it twice, the
  // second time mirrored in X; the drawing places PAIR at (10, 0) turned by
  // 90 degrees and scaled by 2.
  const std::string bytes =
      Drawing(Define("UNIT") + Line(0, 0, 1, 0) + EndDefine() + Define("PAIR") +
              Place("UNIT", 0, 0, 1, 1, 0) + Place("UNIT", 0, 0, -1, 1, 0) + EndDefine() +
              Place("PAIR", 10, 0, 2, 2, 90) + Place("UNIT", 0, 0, 1, 1, 0));
  const TTally t = Import(bytes);
  EXPECT_EQ(t.ByType[2], 3) << Shown(t);
  TIntPoint a, b;
  DB->EntityAt(1)->GetPoint(a);
  DB->EntityAt(1)->GetSecondPoint(b);
  EXPECT_EQ(a.X, 10 * 25400000);
  EXPECT_EQ(b.X, 10 * 25400000);
  EXPECT_EQ(b.Y, 2 * 25400000);   // turned counter-clockwise
  DB->EntityAt(2)->GetSecondPoint(b);
  EXPECT_EQ(b.Y, -2 * 25400000);  // the mirrored copy
  EXPECT_NEAR(t.MaxX, 10.0, 1e-6);
}

TEST_F(GcaddImportTest, SelfPlacingAndBrokenDrawingsAddNothing) {
  Import(Drawing(Line(0, 0, 1, 0)));
  const int32_t kept = CadEntityCount;
  // A places B, B places A (names cut to 12 characters on both sides).
  Import(Drawing(Define("B") + Place("ALONGNAME123", 0, 0, 1, 1, 0) + EndDefine() +
                 Define("ALONGNAME123XYZ") + Place("B", 0, 0, 1, 1, 0) + EndDefine() +
                 Place("B", 0, 0, 1, 1, 0)));
  EXPECT_NE(LastBox().find("places itself"), std::string::npos) << LastBox();
  EXPECT_EQ(CadEntityCount, kept);
  // A name defined twice keeps its first definition: the second, which
  // would place itself, is passed over.
  const TTally first = Import(Drawing(Define("B") + Line(0, 0, 1, 1) + EndDefine() + Define("B") +
                                      Place("B", 0, 0, 1, 1, 0) + Line(0, 0, 5, 5) + EndDefine() +
                                      Place("B", 2, 0, 1, 1, 0)));
  EXPECT_EQ(CadEntityCount, kept + 1) << LastBox();
  EXPECT_NEAR(first.MaxX, 3.0, 1e-6);
  EXPECT_NEAR(first.MaxY, 1.0, 1e-6);
  std::string walk;
  for (int i = 0; i < 60; ++i) walk += Line(0, 0, 1, 1);
  Import(walk.substr(0, walk.size() - 5));
  EXPECT_NE(LastBox().find("cut short"), std::string::npos) << LastBox();
  Import("not a drawing at all");
  EXPECT_NE(LastBox().find("not a GCADD drawing"), std::string::npos) << LastBox();
  EXPECT_EQ(CadEntityCount, kept + 1);
  // A drawing beyond what a job holds is refused, not pinned to its edge.
  const std::string far = Write("far.gcd", Drawing(Line(0, 0, 1e9f, 0)));
  ImportGcaddToCad(far);
  EXPECT_EQ(LastBox(), BeyondTheJobText(far) + "\r\nNothing was imported.");
  EXPECT_EQ(CadEntityCount, kept + 1);
  // A missing component is reported and the rest is read.
  Import(Drawing(Place("NONE", 0, 0, 1, 1, 0) + Line(0, 0, 3, 0)));
  EXPECT_EQ(CadEntityCount, kept + 2);
  EXPECT_NE(DetachedImportHost().Reports.back().Text.find("ERROR: Component <NONE> not found!"),
            std::string::npos);
}

// Records of zero bytes after a drawing (a padded copy) are named in a box;
// a walkable drawing read from a file far larger than its head is read
// record by record, whatever the file's size.
TEST_F(GcaddImportTest, BlankRecordsAreCountedAndSaid) {
  std::string walk;
  for (int i = 0; i < 80; ++i) walk += Line(0, 0, 1, static_cast<float>(i));
  const std::string file = Write("pad.gcd", walk + std::string(40, '\0'));
  EXPECT_DOUBLE_EQ(DetectGcadd(file), 0.9);
  ImportGcaddToCad(file);
  EXPECT_EQ(CadEntityCount, 80);
  EXPECT_EQ(LastBox(), "4 records of <" + file + "> hold only zero bytes and were passed over.");
}

// A component is kept for its placements up to the hold limit: a definition
// beyond it refuses the drawing, naming the file.
TEST_F(GcaddImportTest, ADefinitionBeyondTheHoldLimitIsRefused) {
  std::string lines;
  for (int i = 0; i < 100; ++i) lines += Line(0, 0, 1, 0.5f * static_cast<float>(i));
  const std::string body = Define("BIG") + lines + EndDefine() + Place("BIG", 0, 0, 1, 1, 0);
  SetImportHoldLimit(2000);
  const std::string file = Write("big.gcd", Drawing(body));
  ImportGcaddToCad(file);
  SetImportHoldLimit(0);
  EXPECT_EQ(LastBox(), "<" + file + "> needs more than 1 MB of memory to import.\r\nNothing was imported.");
  EXPECT_EQ(CadEntityCount, 0);
  ImportGcaddToCad(file);
  EXPECT_EQ(CadEntityCount, 100) << LastBox();
}

// Placements that multiply past a drawing's room are refused at the
// placement that would pass it, before its entities are made; a drawing
// that fits is read whole.
TEST_F(GcaddImportTest, PlacementsPastTheDrawingsRoomAreRefused) {
  // 101 rows of 100 units of 100 lines: 1,010,000 lines.
  std::string lines, rows, grid;
  for (int i = 0; i < 100; ++i) lines += Line(0, 0.001f * static_cast<float>(i), 0.0005f, 0);
  for (int i = 0; i < 100; ++i) rows += Place("UNIT", 0.01f * static_cast<float>(i), 0, 1, 1, 0);
  for (int i = 0; i < 101; ++i) grid += Place("ROW", 0, 0.1f * static_cast<float>(i), 1, 1, 0);
  const std::string defined = Define("UNIT") + lines + EndDefine() + Define("ROW") + rows + EndDefine();
  const std::string file = Write("grid.gcd", Drawing(defined + grid));
  ImportGcaddToCad(file);
  EXPECT_EQ(LastBox(), RepeatsPastTheDrawingText(file, "the placements of its components") +
                           "\r\nNothing was imported.");
  EXPECT_EQ(CadEntityCount, 0);
  const TTally t = Import(Drawing(defined + grid.substr(0, 3 * Place("ROW", 0, 0, 1, 1, 0).size())));
  EXPECT_EQ(t.ByType[2], 30000) << LastBox();
}

}  // namespace
