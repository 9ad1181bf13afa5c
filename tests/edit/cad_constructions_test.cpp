// The readers of picked entities and the construction tokens: what the
// snaps write into a command text and read back from it.
#include "edit/cad_constructions.h"

#include <gtest/gtest.h>

#include "cleanup_test_support.h"
#include "command/command_text.h"
#include "model/cad_database.h"
#include "model/editor_state.h"

namespace {

constexpr int32_t In = 25400000;

class TCadConstructionsTest : public TCleanupTest {
 protected:
  static std::string Ref(int32_t index) { return "X(" + EntityRefText(index) + ")"; }
};

TEST_F(TCadConstructionsTest, EntityEndsAnglesAndMidpoints) {
  EditorMode = emCad;
  const int32_t line = DB->AddLine(0, 0, 1000, 0);
  const int32_t circle = DB->AddCircle(5000, 5000, 300);
  TIntPoint a, b;
  ASSERT_TRUE(OrderEntityEnds(Ref(line), {1000, 10}, a, b));
  EXPECT_EQ(a, (TIntPoint{1000, 0}));  // the end at the reference first
  EXPECT_EQ(b, (TIntPoint{0, 0}));
  ASSERT_TRUE(OrderEntityEnds(Ref(circle), {0, 0}, a, b));
  EXPECT_EQ(a, b);  // a point-like entity gives its point twice
  EXPECT_FALSE(OrderEntityEnds("X(1,2)", {0, 0}, a, b));

  const int32_t back = DB->AddLine(1000, 1000, 0, 1000);  // 180 degrees
  EXPECT_DOUBLE_EQ(GetEntityAngle(Ref(back)), 0.0);
  const int32_t steep = DB->AddLine(0, 0, 0, -1000);  // 270 degrees
  EXPECT_DOUBLE_EQ(GetEntityAngle(Ref(steep)), 90.0);
  TIntPoint mid;
  double angle = -1;
  ASSERT_TRUE(GetEntityMidPointAndAngle(Ref(line), mid, angle));
  EXPECT_EQ(mid, (TIntPoint{500, 0}));
  EXPECT_DOUBLE_EQ(angle, 0.0);

  std::string text = "ADDLINE(R,CLICK)";
  ASSERT_TRUE(SubstituteMidPoint(text, 255, Ref(line)));
  EXPECT_EQ(text, "ADDLINE(500,0,CLICK)");
  std::string tight = "ADDLINE(R)";
  EXPECT_FALSE(SubstituteMidPoint(tight, 12, Ref(line)));  // no room
  EXPECT_EQ(tight, "ADDLINE(R)");
}

TEST_F(TCadConstructionsTest, TokensAreWrittenAndReadBack) {
  const int32_t line = DB->AddLine(0, 0, 1000, 0);
  const int32_t circle = DB->AddCircle(5000, 6000, 300);
  const int32_t point = DB->AddPoint(1, 1);
  EXPECT_EQ(BuildPerpDefText(line, 10, 20), "PRPLIN[0.0,0.0,1000.0,0.0,10.0,20.0]");
  EXPECT_EQ(BuildPerpDefText(circle, 10, 20), "PRPCIR[5000.0,6000.0,300.0,10.0,20.0]");
  EXPECT_EQ(BuildPerpDefText(point, 10, 20), "");
  const std::string token = BuildPerpDefText(circle, 5300.0, 6000.0, true);
  int32_t cx = 0, cy = 0, px = 0, py = 0;
  double r = 0;
  ASSERT_TRUE(ParseTnCirToken(token, cx, cy, r, px, py));
  EXPECT_EQ(cx, 5000);
  EXPECT_EQ(cy, 6000);
  EXPECT_DOUBLE_EQ(r, 300.0);
  EXPECT_EQ(px, 5300);
  EXPECT_FALSE(ParseTnCirToken("TNCIR[1.0,2.0]", cx, cy, r, px, py));
  EXPECT_FALSE(ParseTnCirToken("PRPCIR[1.0,2.0,3.0,4.0,5.0]", cx, cy, r, px, py));

  TIntPoint at;
  ASSERT_TRUE(GetPickedRadius(Ref(circle), r, at));
  EXPECT_DOUBLE_EQ(r, 300.0);
  EXPECT_FALSE(GetPickedRadius(Ref(line), r, at));

  // Concentric circles have no common tangent; a bad token gives none.
  const int32_t inner = DB->AddCircle(5000, 6000, 100);
  EXPECT_EQ(ResolveTnCirSnap(token, Ref(inner), 0, 0), "");
  EXPECT_EQ(ResolveTnCirSnap("TNCIR[x]", Ref(inner), 0, 0), "");
  const int32_t other = DB->AddCircle(5000 + 2 * In, 6000, 300);
  EXPECT_EQ(ResolveTnCirSnap(BuildPerpDefText(circle, 5000.0, 6300.0, true), Ref(other), 5000 + 2 * In, 6300),
            "5000,6300," + std::to_string(5000 + 2 * In) + ",6300");

  TIntPoint p{700, 900};
  ASSERT_TRUE(ResolvePrl("PRL[0,100,1000,0]", p));
  EXPECT_EQ(p, (TIntPoint{700, 100}));
  EXPECT_FALSE(ResolvePrl("PRL[0,100,0,0]", p));
}

}  // namespace
