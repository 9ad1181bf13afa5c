// Laser drill files into the CAD drawing and into the drill database: tool
// sizes and hits, modal coordinates, stop words, arcs, tool numbers out of
// range and files that hold nothing.
#include <gtest/gtest.h>

#include "import/esi_import.h"
#include "import/import_frame.h"
#include "import_test_support.h"
#include "model/drill_entities.h"

namespace {

class EsiImportTest : public TImportTest {
 protected:
  static TIntPoint Point(int32_t i, int which = 1) {
    TIntPoint p;
    if (which == 1) DB->EntityAt(i)->GetPoint(p);
    else if (which == 2) DB->EntityAt(i)->GetSecondPoint(p);
    else DB->EntityAt(i)->GetThirdPoint(p);
    return p;
  }
  static std::string LastBox() {
    const auto& boxes = ShownMessageBoxes();
    return boxes.empty() ? std::string() : boxes.back().Text;
  }
};

const char* const kHand =
    "%\n(ESI 5100)\nT0 5\nT2 250\nT1 1\nX1000 Y2000\nX1500.5\nT0 7\nT2 100.25\nT1 1\nX0 Y0\nM02\n";

TEST_F(EsiImportTest, HandWrittenFileGivesCirclesOfItsToolSizes) {
  const std::string file = Write("hand.las", kHand);
  EXPECT_GT(DetectEsi(file), 0.6);
  EXPECT_EQ(DetectFileFormat(file), fcEsi);
  ImportEsiToCad(file);
  ASSERT_EQ(CadEntityCount, 3);
  EXPECT_EQ(DB->EntityAt(1)->GetType(), 4);
  EXPECT_EQ(Point(1).X, 1000000);
  EXPECT_EQ(Point(1).Y, 2000000);
  const TTally t = Tally(1.0);
  EXPECT_EQ(t.ByType[4], 3) << Shown(t);
  // Y is modal: the second hit is at (1.5005 mm, 2 mm); radii 125 um and
  // 50.125 um (integer halves of the diameters).
  EXPECT_EQ(Point(2).X, 1500500);
  EXPECT_EQ(Point(2).Y, 2000000);
  EXPECT_DOUBLE_EQ(t.MaxX, 1500500.0 + 125000.0);
  EXPECT_DOUBLE_EQ(t.MinX, -50125.0);
}

// The CAD entities go to the current CAD layer; while a drill layer is
// current, to layer 0.
TEST_F(EsiImportTest, EntitiesGoToTheCurrentCadLayer) {
  const std::string file = Write("hand.las", kHand);
  for (const auto& [current, expected] : {std::pair{7, 7}, std::pair{30, 0}}) {
    CurrentLayer = static_cast<uint8_t>(current);
    const int32_t before = CadEntityCount;
    ImportEsiToCad(file);
    ASSERT_EQ(CadEntityCount - before, 3);
    for (int32_t i = before + 1; i <= CadEntityCount; ++i)
      EXPECT_NE(DB->SlotAt(i)->Flags & (1u << expected), 0u) << current;
  }
}

TEST_F(EsiImportTest, DrillSideGetsHiddenHitsAndToolDiameters) {
  ImportEsiToDrill(Write("hand.las", kHand));
  ASSERT_EQ(DrillEntityCount, 3);
  EXPECT_EQ(DRDB->EntityAt(1)->GetToolNumber(), 5);
  EXPECT_EQ(DRDB->EntityAt(3)->GetToolNumber(), 7);
  TIntPoint p;
  DRDB->EntityAt(2)->GetPoint(p);
  EXPECT_EQ(p.X, 1500500);
  EXPECT_TRUE(SlotDeleted(DRDB->WordAt(1)));
  EXPECT_EQ(ToolTable[5].Diameter, 250000);
  EXPECT_EQ(ToolTable[7].Diameter, 100250);
}

TEST_F(EsiImportTest, ToolsOutsideTheTableRefuseTheFileWhole) {
  // Tool 1000 is a tool; 1005 is not tool 5, and 0 is none.
  ImportEsiToDrill(Write("ok.las", "(ESI 5100)\nT0 1000\nT2 80\nT1 1\nX1 Y1\n"));
  ASSERT_EQ(DrillEntityCount, 1);
  EXPECT_EQ(DRDB->EntityAt(1)->GetToolNumber(), 1000);
  EXPECT_EQ(ToolTable[1000].Diameter, 80000);
  for (const char* tool : {"1005", "0", "-3"}) {
    ToolTable[5].Diameter = 7;
    ImportEsiToDrill(Write("bad.las", std::string("(ESI 5100)\nT0 5\nT2 300\nT1 1\nX5 Y5\nT0 ") +
                                           tool + "\nT2 80\nT1 1\nX1 Y1\n"));
    EXPECT_EQ(DrillEntityCount, 1) << tool;
    EXPECT_EQ(ToolTable[5].Diameter, 7) << tool;
    EXPECT_NE(LastBox().find("tool " + std::string(tool)), std::string::npos) << LastBox();
  }
}

// A tool size no diameter can hold refuses the file with its line.
TEST_F(EsiImportTest, AToolSizeBeyondAnyDiameterRefusesTheFileWithItsLine) {
  ToolTable[5].Diameter = 7;
  ImportEsiToDrill(Write("big.las", "(ESI 5100)\nT0 5\nT2 99999999999999999999\nT1 1\nX5 Y5\n"));
  EXPECT_EQ(DrillEntityCount, 0);
  EXPECT_EQ(ToolTable[5].Diameter, 7);
  EXPECT_NE(LastBox().find("Line 3 of <"), std::string::npos) << LastBox();
  EXPECT_NE(LastBox().find(">: the tool size 99999999999999999999 is out of range."), std::string::npos)
      << LastBox();
}

TEST_F(EsiImportTest, StopWordsModalValuesAndPaths) {
  // M30 X500 hands nothing over but keeps X; G1 alone draws nothing; G2/G3
  // give arcs about absolute centres, G2 running clockwise from the pen.
  ImportEsiToCad(Write("path.las",
                       "(ESI 5100)\nM30 X500\nG0 Y0\nG1\nX1000\nG3 X2000 Y1000 I1000 J1000\n"
                       "G2 X3000 Y0 I3000 J1000\nP9 X7\n"));
  ASSERT_EQ(CadEntityCount, 3);
  // The move went to (500, 0): X kept from the stop-word line.
  EXPECT_EQ(Point(1).X, 500000);
  EXPECT_EQ(Point(1, 2).X, 1000000);
  EXPECT_EQ(DB->EntityAt(2)->GetType(), 3);
  EXPECT_EQ(Point(2).X, 1000000);  // G3: counter-clockwise from the pen
  EXPECT_EQ(Point(2, 2).X, 2000000);
  EXPECT_EQ(Point(3).X, 3000000);  // G2: from the new point back to the pen
  EXPECT_EQ(Point(3, 2).X, 2000000);
  EXPECT_EQ(Point(3, 3).X, 3000000);
  EXPECT_EQ(Point(3, 3).Y, 1000000);
}

TEST_F(EsiImportTest, UnreadableOrEmptyFilesChangeNothing) {
  ImportEsiToCad(Write("one.las", "(ESI 5100)\nT0 1\nT2 100\nT1 1\nX1 Y1\n"));
  ASSERT_EQ(CadEntityCount, 1);
  ImportEsiToCad(Write("empty.las", "(ESI 5100)\n%\n(nothing)\n"));
  EXPECT_NE(LastBox().find("holds no laser drill data"), std::string::npos) << LastBox();
  // A comment line without end is refused at its start, nothing read in.
  const std::string endless = Write("endless.las", "(ESI 5100)\nT0 1\nT2 100\nT1 1\nX1 Y1\n(" +
                                                       std::string(70000, 'x') + ")\nX2 Y2\n");
  ImportEsiToCad(endless);
  EXPECT_NE(LastBox().find("Line 6 of <" + endless + "> is longer than 65,536 characters."),
            std::string::npos)
      << LastBox();
  ImportEsiToCad((TempDir / "missing.las").string());
  EXPECT_NE(LastBox().find("Nothing was imported"), std::string::npos);
  EXPECT_EQ(CadEntityCount, 1);
  // A hit beyond what a job holds refuses the file on both sides.
  const std::string far = Write("far.las", "(ESI 5100)\nT0 1\nT2 100\nT1 1\nX1 Y1\nX3000000 Y1\n");
  ImportEsiToCad(far);
  EXPECT_EQ(LastBox(), "Line 6 of <" + far +
                           "> lies beyond the largest coordinate a job holds (84.5466 in or 2147.48 mm)."
                           "\r\nNothing was imported.");
  EXPECT_EQ(CadEntityCount, 1);
}

// A laser drill program that came off a punch or over a serial link is
// recognised and read as the clean one: its blank leader and trailer, the
// fill after its line ends and a rubout inside a word are passed over.
TEST_F(EsiImportTest, AProgramAsAPunchOrASerialLinkLeavesItReadsAsTheCleanOne) {
  using namespace std::string_literals;
  std::string clean = kHand;
  for (std::size_t at = clean.find('\n'); at != std::string::npos; at = clean.find('\n', at + 2))
    clean.replace(at, 1, "\r\n");
  const auto ends = [&clean](const std::string& end) {
    std::string text = clean;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + end.size()))
      text.replace(at, 2, end);
    return text;
  };
  std::string inWord = clean;
  inWord.insert(inWord.find("X1000") + 2, "\x7f");
  const auto read = [this](const std::string& text) {
    const std::string file = Write("tape.las", text);
    delete DB;
    DB = new TCadDatabase();
    ResetHeadlessDialogs();
    const uint8_t format = DetectFileFormat(file);
    ImportEsiToCad(file);
    std::vector<std::vector<int32_t>> drawing;
    for (int32_t i = 1; i <= CadEntityCount; ++i)
      drawing.push_back({DB->EntityAt(i)->GetType(), Point(i).X, Point(i).Y, Point(i, 2).X, Point(i, 2).Y});
    return std::make_pair(format, drawing);
  };
  const auto want = read(clean);
  ASSERT_EQ(want.first, fcEsi);
  ASSERT_EQ(want.second.size(), 3u);
  const struct {
    const char* Name;
    std::string Text;
  } cases[] = {
      {"NUL leader and trailer", std::string(200, '\0') + clean + std::string(200, '\0')},
      {"fill after the line ends", ends("\r\n\0\0"s)},
      {"a rubout inside a word", inWord},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(read(c.Text), want);
  }
}

}  // namespace
