// A varied CAD drawing exported in each format that the program also
// imports and read back through that import: the same entities in the same
// order, within the format's resolution. POST and HPGL draw a point as a
// plus of two lines; only DXF keeps the layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "cad_export_test_support.h"
#include "foundation/stroke_text.h"
#include "import/dxf_import.h"
#include "import/gcadd_import.h"
#include "import/hpgl_reader.h"
#include "import/igi_post_import.h"
#include "plot/dxf_export.h"
#include "plot/gcadd_export.h"
#include "plot/hpgl_export.h"
#include "plot/igi_export.h"

namespace {

using TEntities = std::vector<std::vector<int32_t>>;

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kPlusArm = Inch / 40;  // 0.025 in

TIntPoint Polar(const TIntPoint& c, double r, double degrees) {
  return {c.X + int32_t(std::lround(r * std::cos(degrees * kPi / 180))),
          c.Y + int32_t(std::lround(r * std::sin(degrees * kPi / 180)))};
}

// A counter-clockwise arc about c of radius r from angle a0 to a1.
void AddArcAbout(const TIntPoint& c, double r, double a0, double a1, uint8_t layer) {
  DB->AddArcOnLayer(Polar(c, r, a0), Polar(c, r, a1), c, layer);
}

// Text as the copy of a drill layer to CAD draws it: strokes of lines.
class TCadStrokeText : public TStrokeText {
 public:
  TCadStrokeText(const std::string& text, int32_t x, int32_t y, int32_t size, uint8_t layer)
      : TStrokeText(text, x, y, size, size), Layer(layer) {}
  void MoveTo(int32_t x, int32_t y) override { At = {x, y}; }
  void LineTo(int32_t x, int32_t y) override {
    DB->AddLineOnLayer(At.X, At.Y, x, y, Layer);
    At = {x, y};
  }

 private:
  uint8_t Layer;
  TIntPoint At{};
};

class CadExportRoundTripTest : public TCadExportTest {
 protected:
  // Points, lines short and long, joined and apart, arcs of every kind
  // (quarter, across 0 degrees, over 180 degrees, tiny, large, between two
  // lines, ending where the line before it ends) and circles from tiny to
  // large, near the origin and far from it, and a line of stroke text, on
  // layers 0, 3, 5, 12, 20 and 29.
  static void AddVariedDrawing() {
    DB->AddPointOnLayer(Inch, Inch, 0);
    DB->AddPointOnLayer(-5 * Inch / 2, 15 * Inch / 4, 0);

    DB->AddLineOnLayer(0, 0, Inch, Inch / 2, 3);
    DB->AddLineOnLayer(Inch, Inch / 2, 2 * Inch, Inch / 2, 3);
    DB->AddLineOnLayer(2 * Inch, Inch / 2, 2 * Inch, -3 * Inch, 3);
    DB->AddLineOnLayer(5 * Inch, 5 * Inch, 5 * Inch + 10 * Mil, 5 * Inch, 3);
    DB->AddLineOnLayer(-15 * Inch, -15 * Inch, 15 * Inch, 12 * Inch, 3);
    DB->AddLineOnLayer(7 * Inch, Inch, 4 * Inch, Inch, 3);
    DB->AddLineOnLayer(3 * Inch + 1234, -7 * Inch - 98765, 6 * Inch - 4321, -2 * Inch + 55555, 3);

    AddArcAbout({0, 0}, 2 * Inch, 0, 90, 5);
    AddArcAbout({8 * Inch, -4 * Inch}, Inch, 300, 60, 5);
    AddArcAbout({-6 * Inch, 2 * Inch}, 3 * Inch / 4, 0, 270, 5);
    AddArcAbout({Inch / 2, Inch / 2}, 5 * Mil, 30, 150, 5);
    AddArcAbout({0, -10 * Inch}, 10 * Inch, 60, 120, 5);
    // Line, half circle, line: one pen stroke.
    DB->AddLineOnLayer(10 * Inch, 10 * Inch, 11 * Inch, 10 * Inch, 5);
    DB->AddArcOnLayer({11 * Inch, 10 * Inch}, {11 * Inch, 11 * Inch}, {11 * Inch, 21 * Inch / 2}, 5);
    DB->AddLineOnLayer(11 * Inch, 11 * Inch, 10 * Inch, 11 * Inch, 5);
    // An arc that ends where the line before it ended.
    DB->AddLineOnLayer(-8 * Inch, -8 * Inch, -7 * Inch, -8 * Inch, 5);
    AddArcAbout({-7 * Inch, -15 * Inch / 2}, Inch / 2, 0, 270, 5);

    DB->AddCircleOnLayer(3 * Inch, 3 * Inch, 250 * Mil, 12);
    DB->AddCircleOnLayer(Inch / 5, -3 * Inch / 10, 4 * Mil, 12);
    DB->AddCircleOnLayer(-Inch, Inch, 8 * Inch, 12);
    DB->AddCircleOnLayer(12 * Inch, -9 * Inch, 3 * Inch / 2, 12);
    DB->AddCircleOnLayer(-13 * Inch - 777, 14 * Inch + 333, 1234567, 12);

    TCadStrokeText("LOT 7B-X/42", 2 * Inch, 6 * Inch, Inch / 10, 20).Draw();

    for (const auto& [a, b] : {std::pair<TIntPoint, TIntPoint>{{0, 0}, {Inch, 0}},
                               {{Inch, 0}, {Inch, Inch}},
                               {{Inch, Inch}, {0, Inch}},
                               {{0, Inch}, {0, 0}}}) {
      DB->AddLineOnLayer(a.X + 9 * Inch, a.Y - 12 * Inch, b.X + 9 * Inch, b.Y - 12 * Inch, 29);
    }
  }

  // The drawing as a format gives it back: points as pluses, layers
  // dropped, each line's ends in ascending order (a plotter may draw a line
  // either way).
  static TEntities Expected(const TEntities& drawn, bool pointsAsPlus, bool keepsLayers) {
    TEntities out;
    for (std::vector<int32_t> e : drawn) {
      if (!keepsLayers) e[1] = 0;
      if (pointsAsPlus && e[0] == etCadPoint) {
        const int32_t x = e[2], y = e[3];
        out.push_back({etCadLine, e[1], x, y - kPlusArm, x, y + kPlusArm});
        out.push_back({etCadLine, e[1], x - kPlusArm, y, x + kPlusArm, y});
        continue;
      }
      out.push_back(e);
    }
    return Normalised(out);
  }
  static TEntities Normalised(TEntities list) {
    for (std::vector<int32_t>& e : list) {
      if (e[0] == etCadLine && std::pair(e[4], e[5]) < std::pair(e[2], e[3])) {
        std::swap(e[2], e[4]);
        std::swap(e[3], e[5]);
      }
    }
    return list;
  }
};

TEST_F(CadExportRoundTripTest, EachFormatReadsBackTheDrawingItWrote) {
  struct TCase {
    const char* Name;
    std::function<void(const std::string&)> Export, Import;
    bool PointsAsPlus, KeepsLayers;
    int32_t Tolerance;  // database units
  };
  // Float32 inches hold 24 bits: under 16 in that is within 12 units.
  // HPGL plotter units are 1/1,016 in; DXF reals carry ten decimals.
  const TCase cases[] = {
      {"JOB.PST", ExportIgiPostFile, ImportIgiPostToCad, true, false, 30},
      {"JOB.GCD", ExportGcaddFile, ImportGcaddToCad, false, false, 30},
      {"JOB.HPL", ExportHpglFile, ImportHpglToCad, true, false, Inch / 1016},
      {"JOB.DXF", ExportDxfFile, ImportDxfToCad, false, true, 2},
  };
  AddVariedDrawing();
  const TEntities drawn = LiveEntities();
  EXPECT_GT(std::count_if(drawn.begin(), drawn.end(), [](const auto& e) { return e[1] == 20; }), 30);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ClearDatabase();
    AddVariedDrawing();
    const TEntities want = Expected(LiveEntities(), c.PointsAsPlus, c.KeepsLayers);
    c.Export(Path(c.Name));
    ASSERT_TRUE(std::filesystem::exists(TempDir / c.Name));
    ClearDatabase();
    c.Import(Path(c.Name));
    ExpectSameEntities(want, Normalised(LiveEntities()), c.Tolerance);
  }
}

}  // namespace
