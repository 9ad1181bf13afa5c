// Photoplots read through the started program: the same drawing at any
// resolution, aperture blocks that replay nothing, and notices that stay
// readable whatever names and how many of them the file holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "../workspace/workspace_test_support.h"
#include "import/import_frame.h"
#include "model/cad_database.h"

namespace {

class TPhotoplotReadingTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  }
  // Each CAD entity as the user reads it back: its type, then its points.
  static std::vector<std::vector<int32_t>> Entities() {
    std::vector<std::vector<int32_t>> all;
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      TCadEntity* e = DB->EntityAt(i);
      if (e == nullptr) continue;
      TIntPoint a, b, c;
      e->GetPoint(a);
      e->GetSecondPoint(b);
      std::vector<int32_t> entity{e->GetType(), a.X, a.Y, b.X, b.Y};
      if (e->GetType() == etCadArc) {
        e->GetThirdPoint(c);
        entity.insert(entity.end(), {c.X, c.Y});
      }
      all.push_back(entity);
    }
    return all;
  }
  // What the last import added.
  static std::vector<std::vector<int32_t>> Added(std::size_t before) {
    const auto all = Entities();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(before, all.size())), all.end()};
  }
  static std::string Repeat(const std::string& text, int times) {
    std::string all;
    for (int k = 0; k < times; ++k) all += text;
    return all;
  }
};

// An arc whose end radii differ by the rounding of its coordinates reads
// as the same arc whether the file has five decimals or six; a 2.4 file
// keeps its three units (0.0003 in) between an arc and a chord.
TEST_F(TPhotoplotReadingTest, AnArcReadsAlikeAtEveryResolution) {
  TWorkspace& form = StartProgram();
  const std::string head = "%MOIN*%\n%ADD10C,0.01*%\nD10*\n";
  const auto import = [&](const std::string& name, const std::string& text) {
    const std::size_t before = Entities().size();
    ImportIntoCad(form, Input(name, text + "M02*\n"), fcGerber);
    return Added(before);
  };
  const auto five =
      import("FIVE.GBR", "%FSLAX45Y45*%\n" + head + "X13281Y250000D02*\nG02X13653Y249452I0J-400D01*\n");
  ASSERT_EQ(five.size(), 1u);
  EXPECT_EQ(five[0][0], etCadArc);
  // Centre (0.13281, 2.496) in, a unit of five decimals being 254.
  EXPECT_EQ(std::vector<int32_t>(five[0].begin() + 5, five[0].end()),
            (std::vector<int32_t>{13281 * 254, 249600 * 254}));
  // The same drawing with six decimals, its radii 3.6 units apart: the
  // same arc.
  EXPECT_EQ(import("SIX.GBR", "%FSLAX36Y36*%\n" + head + "X132810Y2500000D02*\nG02X136530Y2494520I0J-4000D01*\n"),
            five);
  // The quoted blocks themselves under a 3.6 format: an arc too.
  const auto quoted =
      import("QUOTED.GBR", "%FSLAX36Y36*%\n" + head + "X13281Y250000D02*\nG02X13653Y249452I0J-400D01*\n");
  ASSERT_EQ(quoted.size(), 1u);
  EXPECT_EQ(quoted[0][0], etCadArc);

  // A 2.4 file as before: radii 2 units apart make an arc, 3 apart a line;
  // with six decimals, 300 units (0.0003 in) apart is that line again, and
  // so is a coarse 2.3 file 3 units apart.
  for (const auto& [format, end, type] :
       {std::tuple{"%FSLAX24Y24*%\n", "X0Y10002", etCadArc}, std::tuple{"%FSLAX24Y24*%\n", "X0Y10003", etCadLine},
        std::tuple{"%FSLAX36Y36*%\n", "X0Y1000299", etCadArc}, std::tuple{"%FSLAX36Y36*%\n", "X0Y1000301", etCadLine},
        std::tuple{"%FSLAX23Y23*%\n", "X0Y1002", etCadArc}, std::tuple{"%FSLAX23Y23*%\n", "X0Y1003", etCadLine}}) {
    SCOPED_TRACE(std::string(format) + end);
    const std::string radius = std::string(format) == "%FSLAX24Y24*%\n"   ? "10000"
                               : std::string(format) == "%FSLAX36Y36*%\n" ? "1000000"
                                                                           : "1000";
    const auto added =
        import("ARC.GBR", format + head + "G75*\nX" + radius + "Y0D02*\nG03" + end + "I-" + radius + "J0D01*\n");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0][0], type);
  }
}

}  // namespace
