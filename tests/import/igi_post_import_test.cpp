// Infinite Graphics POST records into the CAD drawing: paths, arcs, flashes,
// both byte orders, the header, nested sub-figures and a figure that places
// itself, and files cut short.
#include <gtest/gtest.h>

#include <cstring>

#include "import/igi_post_import.h"
#include "import/import_frame.h"
#include "import_test_support.h"

namespace {

constexpr double Inch = 25400000.0;

struct TRec {
  int16_t Type;
  float X, Y;
  int16_t Word;
};

std::string Records(const std::vector<TRec>& list, bool bigEndian = false) {
  std::string out;
  auto put = [&](const void* p, int n) {
    const auto* b = static_cast<const char*>(p);
    for (int k = 0; k < n; ++k) out += b[bigEndian ? n - 1 - k : k];
  };
  for (const TRec& r : list) {
    put(&r.Type, 2);
    put(&r.X, 4);
    put(&r.Y, 4);
    put(&r.Word, 2);
  }
  return out;
}

class IgiPostImportTest : public TImportTest {
 protected:
  TTally Import(const std::vector<TRec>& list, bool bigEndian = false) {
    const int32_t before = CadEntityCount;
    ImportIgiPostToCad(Write("t.pst", Records(list, bigEndian)));
    return Tally(Inch, before + 1);
  }
  static std::string LastBox() {
    const auto& boxes = ShownMessageBoxes();
    return boxes.empty() ? std::string() : boxes.back().Text;
  }
};

TEST_F(IgiPostImportTest, PathsArcsAndFlashesInEitherByteOrder) {
  const std::vector<TRec> list = {{6, 0, 0, 0},    {2, 1, 0, 0},      {2, 1, 1, 0}, {3, 0, 1, 0},
                                  {30, 0, 0, 0},   {36, 1, 0, 1},     {37, 0, 1, 0},
                                  {10, 0.05f, 0.05f, 0}, {1, 2, 3, 0}, {9, 0, 0, 0}, {2, 9, 9, 0}};
  for (bool big : {false, true}) {
    SCOPED_TRACE(big);
    const std::string file = Write("p.pst", Records(list, big));
    EXPECT_DOUBLE_EQ(DetectIgiPost(file), 0.85);
    const int32_t before = CadEntityCount;
    ImportIgiPostToCad(file);
    const TTally t = Tally(Inch, before + 1);
    // Three lines, the quarter arc, the flash; nothing after the end record.
    EXPECT_EQ(t.ByType[2], 3) << Shown(t);
    EXPECT_EQ(t.ByType[3], 1);
    EXPECT_EQ(t.ByType[4], 1);
    EXPECT_NEAR(t.MaxX, 2.025, 1e-6);
    EXPECT_NEAR(t.MaxY, 3.025, 1e-6);
  }
  TIntPoint s;
  DB->EntityAt(CadEntityCount - 1)->GetPoint(s);  // the arc runs counter-clockwise from (1, 0)
  EXPECT_EQ(s.X, 25400000);
  EXPECT_EQ(s.Y, 0);
}

TEST_F(IgiPostImportTest, ObroundFlashesKeepTheirCapsOutside) {
  for (const auto& [w, h] : {std::pair{0.3f, 0.1f}, std::pair{0.1f, 0.3f}}) {
    const TTally t = Import({{10, w, h, 0}, {1, 1, 1, 0}});
    EXPECT_EQ(t.ByType[2], 2) << Shown(t);
    EXPECT_EQ(t.ByType[3], 2);
    EXPECT_NEAR(t.MaxX - t.MinX, w, 1e-6);
    EXPECT_NEAR(t.MaxY - t.MinY, h, 1e-6);
  }
}

TEST_F(IgiPostImportTest, HeaderRecordsAreSkipped) {
  float magic;
  const uint32_t bits = 0x7344FFBB;
  std::memcpy(&magic, &bits, 4);
  float odd;
  const uint32_t one = 1;
  std::memcpy(&odd, &one, 4);
  // Header, R1 with bit 0 set (two more), one more: the drawing starts at 6.
  const TTally t = Import({{60, magic, magic, static_cast<int16_t>(0xFF33)}, {2, 0, odd, 0}, {2, 5, 5, 0},
                          {2, 6, 6, 0}, {2, 7, 7, 0}, {6, 0, 0, 0}, {2, 1, 0, 0}});
  EXPECT_EQ(t.ByType[2], 1) << Shown(t);
  EXPECT_NEAR(t.MaxX, 1.0, 1e-9);
}

TEST_F(IgiPostImportTest, NestedSubFiguresLandWhereTheyArePlaced) {
  // Figure 7: a unit line and a square flash. Figure 8 places 7 at (1, 0).
  // The drawing places 8 at (10, 10) and 7 at (0, 20).
  const TTally t = Import({{84, 0, 0, 7},   {6, 0, 0, 0},   {2, 1, 0, 0},  {10, 0.5f, 0.5f, 1},
                          {1, 0, 0, 0},    {15, 0, 0, 0},  {84, 0, 0, 8}, {10, 0, 0, -7},
                          {1, 1, 0, 0},    {15, 0, 0, 0},  {10, 0, 0, -8}, {1, 10, 10, 0},
                          {10, 0, 0, -7},  {1, 0, 20, 0}});
  EXPECT_EQ(t.ByType[2], 10) << Shown(t);
  EXPECT_NEAR(t.MinX, -0.25, 1e-6);
  EXPECT_NEAR(t.MaxX, 12.0, 1e-6);  // 10 + 1 + the unit line
  EXPECT_NEAR(t.MinY, 9.75, 1e-6);
  EXPECT_NEAR(t.MaxY, 20.25, 1e-6);
  // No scratch files anywhere near the program.
  for (const auto& e : std::filesystem::directory_iterator(NativePath(ExecutionPath())))
    EXPECT_NE(e.path().extension(), ".PSF");
}

TEST_F(IgiPostImportTest, SelfPlacingFiguresAndBrokenFilesAddNothing) {
  Import({{6, 0, 0, 0}, {2, 1, 0, 0}});
  const int32_t kept = CadEntityCount;
  // 5 places 6, which places 5.
  Import({{84, 0, 0, 6}, {10, 0, 0, -5}, {1, 0, 0, 0}, {15, 0, 0, 0}, {84, 0, 0, 5},
          {10, 0, 0, -6}, {1, 1, 1, 0}, {2, 2, 2, 0}, {15, 0, 0, 0}, {10, 0, 0, -5}, {1, 0, 0, 0}});
  EXPECT_NE(LastBox().find("places itself"), std::string::npos) << LastBox();
  EXPECT_EQ(CadEntityCount, kept);
  // A tail shorter than a record is left unread, and the report says so:
  // the whole records before it are the drawing.
  ImportIgiPostToCad(Write("cut.pst", Records({{6, 0, 0, 0}, {2, 1, 0, 0}}).substr(0, 20)));
  EXPECT_EQ(CadEntityCount, kept);
  ImportIgiPostToCad(Write("tail.pst", Records({{6, 0, 0, 0}, {2, 1, 0, 0}}) + "\x1a"));
  EXPECT_EQ(CadEntityCount, kept + 1);
  EXPECT_NE(DetachedImportHost().Reports.back().Text.find("The last 1 bytes hold no whole record"),
            std::string::npos);
  ImportIgiPostToCad(Write("junk.pst", Records({{200, 0, 0, 0}, {-3, 0, 0, 0}}, false)));
  EXPECT_EQ(CadEntityCount, kept + 1);
}

// A drawing padded with records of zero bytes is read up to its end record
// or the file's end: what it draws comes in, and the padding is named in a
// box. Padding alone draws nothing, and says so.
TEST_F(IgiPostImportTest, BlankRecordsAreCountedAndSaid) {
  const std::string padded =
      Write("pad.pst", Records({{6, 0, 0, 0}, {2, 1, 0, 0}}) + std::string(3 * 12, '\0'));
  ImportIgiPostToCad(padded);
  EXPECT_EQ(CadEntityCount, 1);
  EXPECT_EQ(LastBox(), "3 records of <" + padded + "> hold only zero bytes and were passed over.");
  const std::string blank = Write("blank.pst", std::string(5 * 12, '\0'));
  ImportIgiPostToCad(blank);
  EXPECT_EQ(CadEntityCount, 1);
  EXPECT_EQ(LastBox(), "<" + blank + "> draws nothing.\r\nNothing was imported.");
}

}  // namespace
