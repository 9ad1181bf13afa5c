// The HPGL, Infinite Graphics post and GCADD writers: their bytes for small
// jobs checked by hand, and the inch units they keep whatever the DXF units
// were last set to.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "cad_export_test_support.h"
#include "plot/gcadd_export.h"
#include "plot/hpgl_export.h"
#include "plot/igi_export.h"

namespace {

class PlotterWritersTest : public TCadExportTest {
 protected:
  std::string Run(TCadExportWriter& writer, const std::string& name) {
    EXPECT_TRUE(RunCadExport(Path(name), writer));
    return Bytes(name);
  }
};

// ---- HPGL ---------------------------------------------------------------------------

TEST_F(PlotterWritersTest, HpglConnectsLinesAndLiftsThePenOnlyBetweenPaths) {
  DB->AddLineOnLayer(0, 0, Inch, 0, 0);
  DB->AddLineOnLayer(Inch, 0, Inch, Inch, 0);        // continues from the pen
  DB->AddLineOnLayer(2 * Inch, 2 * Inch, Inch, Inch, 0);  // ends at the pen: drawn backwards
  DB->AddCircleOnLayer(2 * Inch, 2 * Inch, Inch / 2, 0);  // pen already at the centre
  DB->AddCircleOnLayer(3 * Inch, 2 * Inch, Inch / 2, 0);
  THpglExportWriter writer;
  EXPECT_EQ(Run(writer, "A.HPL"),
            "IN;SC;SP1;PU;PU0,0;PD1016,0;PD1016,1016;PD2032,2032;CI508;PU3048,2032;CI508;");
  // One warning, after the file was opened.
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "Warning: HPGL is not very precise!\nYour exported drawing will lose accuracy.");
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtWarning);
}

TEST_F(PlotterWritersTest, HpglArcsAreDrawnWithThePenDown) {
  // Pen elsewhere: a move to the start, then the pen goes down for the arc.
  DB->AddArcOnLayer({Inch, 0}, {0, Inch}, {0, 0}, 0);
  THpglExportWriter first;
  EXPECT_EQ(Run(first, "B.HPL"), "IN;SC;SP1;PU;PU1016,0;PD;AA0,0,90.0;");

  // After a line that ends at the arc's end the pen is down: the arc runs
  // backwards with a negative sweep and leaves the pen at its start.
  ClearDatabase();
  DB->AddLineOnLayer(0, 2 * Inch, 0, Inch, 0);
  DB->AddArcOnLayer({Inch, 0}, {0, Inch}, {0, 0}, 0);
  DB->AddLineOnLayer(Inch, 0, 2 * Inch, 0, 0);
  THpglExportWriter second;
  EXPECT_EQ(Run(second, "C.HPL"), "IN;SC;SP1;PU;PU0,2032;PD0,1016;AA0,0,-90.0;PD2032,0;");

  // After a circle the pen is up at its centre: an arc starting there
  // still puts it down.
  ClearDatabase();
  DB->AddCircleOnLayer(Inch, 0, Inch / 4, 0);
  DB->AddArcOnLayer({Inch, 0}, {0, Inch}, {0, 0}, 0);
  THpglExportWriter third;
  EXPECT_EQ(Run(third, "D.HPL"), "IN;SC;SP1;PU;PU1016,0;CI254;PD;AA0,0,90.0;");
}

TEST_F(PlotterWritersTest, HpglPointIsAPlusAndUnitsStayInches) {
  CadExportInches = false;  // the last DXF export was in millimetres
  DB->AddPointOnLayer(Inch, Inch, 0);
  DB->AddLineOnLayer(Inch / 2, 0, 0, 0, 0);
  THpglExportWriter writer;
  EXPECT_EQ(Run(writer, "P.HPL"),
            "IN;SC;SP1;PU;PU1016,991;PD1016,1041;PU991,1016;PD1041,1016;PU508,0;PD0,0;");
  EXPECT_EQ(FormatPlotterUnits(0.5 / 1016), "0");   // a half goes to the even neighbour
  EXPECT_EQ(FormatPlotterUnits(1.5 / 1016), "2");
  EXPECT_EQ(FormatPlotterUnits(-2.5 / 1016), "-2");
}

// ---- Infinite Graphics post ---------------------------------------------------------

struct TPostRecord {
  int16_t Type;
  float X, Y;
  int16_t Word;
  bool operator==(const TPostRecord&) const = default;
};

std::vector<TPostRecord> PostRecords(const std::string& bytes) {
  EXPECT_EQ(bytes.size() % IgiPostRecordSize, 0u);
  std::vector<TPostRecord> out;
  for (std::size_t at = 0; at + IgiPostRecordSize <= bytes.size(); at += IgiPostRecordSize) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    auto f32 = [](const uint8_t* q) {
      return std::bit_cast<float>(uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16 | uint32_t(q[3]) << 24);
    };
    out.push_back({static_cast<int16_t>(p[0] | p[1] << 8), f32(p + 2), f32(p + 6),
                   static_cast<int16_t>(p[10] | p[11] << 8)});
  }
  return out;
}

TEST_F(PlotterWritersTest, IgiPostRecordsOfAnEmptyJobAndOfEachEntity) {
  TIgiPostExportWriter empty;
  const std::string nothing = Run(empty, "EMPTY.PST");
  ASSERT_EQ(nothing.size(), 84u);
  // The header record's X and Y carry the mark, little-endian.
  EXPECT_EQ(nothing.substr(0, 12), std::string("\x3C\x00\xBB\xFF\x44\x73\xBB\xFF\x44\x73\x33\xFF", 12));
  const auto head = PostRecords(nothing);
  EXPECT_EQ(head[1], (TPostRecord{61, 0, 0, 200}));
  EXPECT_EQ(head[4], (TPostRecord{64, 0, 0, 500}));
  EXPECT_EQ(head[5], (TPostRecord{10, 0.001f, 0.001f, 0}));
  EXPECT_EQ(head[6], (TPostRecord{9, 0, 0, 0}));

  CadExportInches = false;  // the format holds inches whatever DXF used last
  DB->AddLineOnLayer(Inch, 2 * Inch, 3 * Inch, 4 * Inch, 5);
  DB->AddPointOnLayer(Inch, Inch, 0);
  DB->AddCircleOnLayer(0, 0, Inch / 2, 0);
  DB->AddArcOnLayer({Inch, 0}, {0, Inch}, {0, 0}, 0);
  TIgiPostExportWriter writer;
  const auto r = PostRecords(Run(writer, "JOB.PST"));
  const std::vector<TPostRecord> want = {
      {2, 1, 2, 0},         {3, 3, 4, 0},
      {2, 1, 0.975f, 0},    {3, 1, 1.025f, 0}, {2, 0.975f, 1, 0}, {3, 1.025f, 1, 0},
      {30, 0, 0, 0},        {36, -0.00005f, 0.5f, 1}, {37, 0.00005f, 0.5f, 0},
      {30, 0, 0, 0},        {36, 1, 0, 1},     {37, 0, 1, 0},
      {9, 0, 0, 0}};
  ASSERT_EQ(r.size(), 6 + want.size());
  EXPECT_EQ(std::vector<TPostRecord>(r.begin() + 6, r.end()), want);
}

// ---- GCADD --------------------------------------------------------------------------

std::string Float32(float f) {
  const uint32_t u = std::bit_cast<uint32_t>(f);
  return std::string{char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
}

TEST_F(PlotterWritersTest, GcaddRecordsAreBuiltUnitByUnit) {
  DB->AddLineOnLayer(0, 0, Inch, 0, 7);
  TGcaddExportWriter line;
  const std::string one = Run(line, "LINE.GCD");
  const std::string want = std::string("\0\0\x02\0\0\x03\0\0\x02\0", 10) + std::string("\x01\0", 2) + Float32(0) +
                           Float32(0) + std::string("\x02\0", 2) + Float32(1) + Float32(0) +
                           std::string("\xFF\xFF\0\0\0\0\0\0\0\0", 10);
  EXPECT_EQ(one, want);

  ClearDatabase();
  CadExportInches = false;  // inches whatever DXF used last
  DB->AddPointOnLayer(Inch, 2 * Inch, 0);
  DB->AddCircleOnLayer(Inch, Inch, Inch / 2, 0);
  DB->AddArcOnLayer({Inch, 0}, {0, Inch}, {0, 0}, 0);
  // Crossing 0 degrees: from 270 round to 90 through 0.
  DB->AddArcOnLayer({0, -Inch}, {0, Inch}, {0, 0}, 0);
  TGcaddExportWriter writer;
  const std::string bytes = Run(writer, "JOB.GCD");
  ASSERT_EQ(bytes.size(), 20u + 30u + 40u + 40u + 10u);
  auto floatAt = [&bytes](std::size_t at) {
    const auto* q = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    return std::bit_cast<float>(uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16 | uint32_t(q[3]) << 24);
  };
  EXPECT_EQ(bytes[2], 1);
  EXPECT_EQ(bytes[8], 1);
  EXPECT_EQ(floatAt(12), 1.0f);
  EXPECT_EQ(floatAt(16), 2.0f);
  // The circle's second unit is the point above its centre.
  EXPECT_EQ(bytes[22], 10);
  EXPECT_EQ(floatAt(20 + 20 + 2), 1.0f);
  EXPECT_EQ(floatAt(20 + 20 + 6), 1.5f);
  // The quarter arc's middle unit lies halfway round.
  EXPECT_EQ(bytes[52], 11);
  EXPECT_EQ(bytes[58], 3);
  EXPECT_NEAR(floatAt(50 + 20 + 2), 0.70710678, 1e-6);
  EXPECT_NEAR(floatAt(50 + 20 + 6), 0.70710678, 1e-6);
  // The arc across 0 degrees passes (1, 0), not (-1, 0).
  EXPECT_NEAR(floatAt(90 + 20 + 2), 1.0, 1e-6);
  EXPECT_NEAR(floatAt(90 + 20 + 6), 0.0, 1e-6);
  EXPECT_EQ(bytes.substr(bytes.size() - 10), std::string("\xFF\xFF\0\0\0\0\0\0\0\0", 10));
}

}  // namespace
