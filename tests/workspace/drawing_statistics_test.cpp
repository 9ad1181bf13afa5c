// Statistics windows, the path-length report and the please-wait layout.
#include <gtest/gtest.h>

#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/view_services.h"
#include "platform/headless/recording_canvas.h"
#include "workspace/statistics_reports.h"

namespace {

class DrawingStatisticsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessViewServices();
  }
  const THeadlessViewServices::TReport& LastReport() {
    return HeadlessViewServices().Reports.back();
  }
};

TEST_F(DrawingStatisticsTest, EmptyDrawingShowsZeroCounts) {
  TCadDatabase* saved = DB;
  DB = new TCadDatabase();
  ShowDrawingStatistics();
  delete DB;
  DB = saved;
  ASSERT_EQ(HeadlessViewServices().Reports.size(), 1u);
  EXPECT_EQ(LastReport().Caption, "Drawing Statistics");
  EXPECT_EQ(LastReport().Shape, (TReportShape{false, 50, 13}));
  EXPECT_EQ(LastReport().Lines,
            (std::vector<std::string>{"   Entity Type          number",
                                      "   -------------------------------",
                                      "   Deleted Entities :       0",
                                      "             Points :       0",
                                      "              Lines :       0",
                                      "               Arcs :       0",
                                      "            Circles :       0",
                                      "   -------------------------------",
                                      "              Total :  0",
                                      "",
                                      "   Packable Garbage 0%, or 0 bytes"}));
}

TEST_F(DrawingStatisticsTest, DrillCountsAddDeletedKindsAndKeepLargeNumbersWhole) {
  TEntityStatistics c{};
  c[12] = 2;  // deleted holes
  c[14] = 3;  // deleted circles
  c[27] = 1234567;
  c[30] = 5;
  ShowStatisticsWindow(TStatisticsKind::Drill, c, 12, 4096);
  EXPECT_EQ(LastReport().Caption, "Drill Database Statistics");
  EXPECT_EQ(LastReport().Shape, (TReportShape{false, 50, 15}));
  const auto& l = LastReport().Lines;
  EXPECT_EQ(l[2], "   Deleted Entities :       5");
  EXPECT_EQ(l[3], "              Holes :  1,234,567");
  EXPECT_EQ(l[6], "               Text :       5");
  EXPECT_EQ(l[8], "              Total :  1234577");
  EXPECT_EQ(l[10], "   Packable Garbage 12%, or 4096 bytes");

  TEntityStatistics r{};
  r[22] = 7;
  r[23] = 8;
  ShowRoutStatistics(r, 0, 0);
  EXPECT_EQ(LastReport().Lines[5], "     Clockwise Arcs :       7");
  EXPECT_EQ(LastReport().Lines[6], "CounterClckwse Arcs :       8");
  EXPECT_EQ(LastReport().Lines[7], "    Drilled Circles :       0");
}

TEST_F(DrawingStatisticsTest, PathLengthsInFixedWidthColumns) {
  EXPECT_EQ(FormatPathLength(1.5), " 1.500 in.");
  EXPECT_EQ(FormatPathLength(12.3456), "12.346 in.");
  EXPECT_EQ(FormatPathLength(123.4567), "123.45 in.");
  Metric = true;
  EXPECT_EQ(FormatPathLength(12.345), " 12.34 mm");
  EXPECT_EQ(FormatPathLength(1.5), "  1.50 mm");
  Metric = false;

  TPathLengths lengths{};
  lengths[0][3] = 1.5 * 25400000;
  lengths[4][1000] = 25400000;
  PathLengthReport(lengths);
  EXPECT_EQ(LastReport().Caption, "Path Length Report");
  EXPECT_EQ(LastReport().Shape, (TReportShape{true, 22, 16}));
  EXPECT_EQ(LastReport().Lines,
            (std::vector<std::string>{"   Layer Tool  Total Path Length",
                                      "   -----------------------------",
                                      "     R0   T3         1.500 in.",
                                      "     R4   T1000      1.000 in.",
                                      "   -----------------------------"}));
}

TEST_F(DrawingStatisticsTest, WaitMessageLinesAndTheirPlaces) {
  EXPECT_EQ(SplitWaitMessage("one\ntwo\nthree"),
            (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_TRUE(SplitWaitMessage("").empty());

  TRecordingCanvas c;
  int32_t w = 300, h = 100;
  PaintWaitLines(c, {"alone"}, 65, w, h);
  const int32_t th = c.TextHeight("X");
  ASSERT_EQ(c.Calls.size(), 1u);
  EXPECT_EQ(c.Calls[0].Args, (std::vector<int>{5, th + 5}));  // one line stands lower

  c.Calls.clear();
  std::vector<std::string> many = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"};
  PaintWaitLines(c, many, 65, w, h);
  EXPECT_EQ(c.Calls[0].Args, (std::vector<int>{5, 5}));
  EXPECT_EQ(h, std::max(100, th * 9 + 90));
  std::string wide(200, 'W');
  PaintWaitLines(c, {wide, "x"}, 65, w, h);
  EXPECT_EQ(w, 65 + c.TextWidth(wide) + 20);
}

}  // namespace
