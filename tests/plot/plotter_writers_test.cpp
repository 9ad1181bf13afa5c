// The HPGL, Infinite Graphics post and GCADD writers: their bytes for small
// jobs checked by hand, and the inch units they keep whatever the DXF units
// were last set to.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <tuple>

#include "cad_export_test_support.h"
#include "plot/gcadd_export.h"
#include "plot/hpgl_export.h"
#include "plot/igi_export.h"
#include "import/gcadd_import.h"
#include "import/hpgl_reader.h"

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
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "Warning: HPGL is not very precise!\nYour exported drawing will lose accuracy.");
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

// ---- Binary formats -----------------------------------------------------------------

std::string Word(uint16_t w) { return std::string{char(w), char(w >> 8)}; }
std::string Float32(float f) {
  const auto u = std::bit_cast<uint32_t>(f);
  return std::string{char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
}
// One post record and one GCADD data unit.
std::string Post(uint16_t type, float x, float y, uint16_t word) {
  return Word(type) + Float32(x) + Float32(y) + Word(word);
}
std::string Unit(uint16_t number, float x, float y) { return Word(number) + Float32(x) + Float32(y); }
std::string GcaddHeader(char type, char units) { return std::string{0, 0, type, 0, 0, 3, 0, 0, units, 0}; }
const std::string GcaddEnd("\xFF\xFF\0\0\0\0\0\0\0\0", 10);

TEST_F(PlotterWritersTest, IgiPostRecordsOfAnEmptyJobAndOfEachEntity) {
  TIgiPostExportWriter empty;
  const std::string head = std::string("\x3C\x00\xBB\xFF\x44\x73\xBB\xFF\x44\x73\x33\xFF", 12) + Post(61, 0, 0, 200) +
                           Post(62, 0, 0, 1) + Post(63, 0, 0, 257) + Post(64, 0, 0, 500) + Post(10, 0.001f, 0.001f, 0);
  EXPECT_EQ(Run(empty, "EMPTY.PST"), head + Post(9, 0, 0, 0));

  CadExportInches = false;  // the format holds inches whatever DXF used last
  DB->AddLineOnLayer(Inch, 2 * Inch, 3 * Inch, 4 * Inch, 5);
  DB->AddPointOnLayer(Inch, Inch, 0);
  DB->AddCircleOnLayer(0, 0, Inch / 2, 0);
  DB->AddArcOnLayer({Inch, 0}, {0, Inch}, {0, 0}, 0);
  TIgiPostExportWriter writer;
  EXPECT_EQ(Run(writer, "JOB.PST"),
            head + Post(2, 1, 2, 0) + Post(3, 3, 4, 0) +                                           // line
                Post(2, 1, 0.975f, 0) + Post(3, 1, 1.025f, 0) + Post(2, 0.975f, 1, 0) + Post(3, 1.025f, 1, 0) +
                Post(30, 0, 0, 0) + Post(36, -0.00005f, 0.5f, 1) + Post(37, 0.00005f, 0.5f, 0) +  // circle
                Post(30, 0, 0, 0) + Post(36, 1, 0, 1) + Post(37, 0, 1, 0) +                        // arc
                Post(9, 0, 0, 0));
}

TEST_F(PlotterWritersTest, GcaddRecordsAreBuiltUnitByUnit) {
  DB->AddLineOnLayer(0, 0, Inch, 0, 7);
  TGcaddExportWriter line;
  EXPECT_EQ(Run(line, "LINE.GCD"), GcaddHeader(2, 2) + Unit(1, 0, 0) + Unit(2, 1, 0) + GcaddEnd);

  ClearDatabase();
  CadExportInches = false;  // inches whatever DXF used last
  DB->AddPointOnLayer(Inch, 2 * Inch, 0);
  DB->AddCircleOnLayer(Inch, Inch, Inch / 2, 0);
  DB->AddArcOnLayer({Inch, 0}, {0, Inch}, {0, 0}, 0);
  // Crossing 0 degrees, from 270 round to 90: its middle is (1, 0), not (-1, 0).
  DB->AddArcOnLayer({0, -Inch}, {0, Inch}, {0, 0}, 0);
  TGcaddExportWriter writer;
  const float half = static_cast<float>(std::sqrt(0.5));
  EXPECT_EQ(Run(writer, "JOB.GCD"),
            GcaddHeader(1, 1) + Unit(1, 1, 2) +                                   // point
                GcaddHeader(10, 2) + Unit(1, 1, 1) + Unit(2, 1, 1.5f) +           // circle and the point above
                GcaddHeader(11, 3) + Unit(1, 1, 0) + Unit(2, half, half) + Unit(3, 0, 1) +
                GcaddHeader(11, 3) + Unit(1, 0, -1) + Unit(2, 1, 0) + Unit(3, 0, 1) + GcaddEnd);
}

}  // namespace

namespace {

// ---- Read back by the program's own imports ----------------------------------------------

// The sample job written by the GCADD and HPGL writers and read back by that
// format's import: the same entities, to the precision of the format (GCADD
// drawings and plots have no layers, and a plot has no points).
TEST_F(PlotterWritersTest, WrittenFilesReadBackAsTheSameDrawing) {
  THpglExportWriter hpgl;
  TGcaddExportWriter gcadd;
  const std::tuple<const char*, TCadExportWriter*, void (*)(const std::string&), int32_t, bool> cases[] = {
      {"JOB.GCD", &gcadd, ImportGcaddToCad, 2, false},
      {"JOB.HPL", &hpgl, ImportHpglToCad, Inch / 1016, false},
  };
  for (const auto& [name, writer, import, tolerance, keepsLayers] : cases) {
    SCOPED_TRACE(name);
    ClearDatabase();
    AddSampleJob();
    // A point is plotted as a cross of two lines.
    if (writer == &hpgl) DB->MarkDeleted(1);
    auto before = LiveEntities();
    ASSERT_TRUE(RunCadExport(Path(name), *writer));
    ClearDatabase();
    import(Path(name));
    auto after = LiveEntities();
    if (!keepsLayers) {
      for (auto* list : {&before, &after})
        for (auto& e : *list) e[1] = 0;
    }
    ExpectSameEntities(before, after, tolerance);
  }
}

}  // namespace
