// Numbers of an aperture macro that are taken as whole numbers (the
// primitive's code, a count of points, vertices or rings, a variable's
// number) are refused with the macro's name when no count can be that big,
// before they are converted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/gerber_macro.h"

namespace {

std::string Refusal(const std::vector<std::string>& statements) {
  const TMacro macro{"BIG", statements};
  std::vector<TMacroShape> shapes;
  std::string error;
  EXPECT_FALSE(FlattenMacro(macro, {}, shapes, error));
  return error;
}

TEST(MacroNumberRanges, CodesCountsAndVariableNumbersBeyondAnyCountAreRefused) {
  EXPECT_EQ(Refusal({"999999999999,1,0.1,0,0"}),
            "the macro BIG holds the unknown primitive \"999999999999,1,0.1,0,0\"");
  for (const std::string& s : {"4,1,99999999999,0,0,1,1,0", "5,1,-99999999999x99999999999,0,0,1,0",
                               "6,0,0,1,0.1,0.1,99999999999,0.01,1,0"})
    EXPECT_EQ(Refusal({s}), "the macro BIG holds a count out of range in \"" + s + "\"");
  EXPECT_EQ(Refusal({"$99999999999=1", "1,1,0.1,0,0"}),
            "the macro BIG holds a bad assignment \"$99999999999=1\"");
  // Within range they are read as before.
  const TMacro macro{"OK", {"$12=0.5", "1,1,$12,0,0", "5,1,6,0,0,1,0", "6,0,0,1,0.1,0.1,2,0.01,1,0"}};
  std::vector<TMacroShape> shapes;
  std::string error;
  EXPECT_TRUE(FlattenMacro(macro, {}, shapes, error)) << error;
  ASSERT_FALSE(shapes.empty());
  EXPECT_DOUBLE_EQ(shapes.front().R, 0.25);
}

}  // namespace

namespace {

// Expressions nest a hundred deep at most, and give finite numbers only;
// the points the macros of a file make are counted together.
TEST(MacroNumberRanges, NestingValuesAndPointsHaveTheirBounds) {
  const std::vector<double> vars;
  double v = 0.0;
  EXPECT_TRUE(EvaluateMacroExpression(std::string(100, '(') + "2" + std::string(100, ')'), vars, v));
  EXPECT_DOUBLE_EQ(v, 2.0);
  EXPECT_TRUE(EvaluateMacroExpression(std::string(50, '-') + "(" + std::string(48, '-') + "3)", vars, v));
  EXPECT_DOUBLE_EQ(v, 3.0);
  for (const std::string& deep : {std::string(101, '(') + "2" + std::string(101, ')'), std::string(101, '-') + "3",
                                  std::string(200000, '(') + "1" + std::string(200000, ')'),
                                  std::string(200000, '+') + "1"})
    EXPECT_FALSE(EvaluateMacroExpression(deep, vars, v)) << deep.size();
  const std::string huge(300, '9');
  EXPECT_FALSE(EvaluateMacroExpression(huge + "x" + huge, vars, v));
  EXPECT_FALSE(EvaluateMacroExpression("0-" + huge + "x" + huge, vars, v));

  // Forty polygons of 100,000 vertices fit the allowance of one file; the
  // next polygon, in this macro or another, does not.
  std::vector<std::string> polygons(39, "5,1,100000,0,0,1,0");
  const TMacro ring{"RING", polygons};
  int64_t left = kMaxMacroSteps;
  std::vector<TMacroShape> shapes;
  std::string error;
  ASSERT_TRUE(FlattenMacro(ring, {}, shapes, error, &left)) << error;
  EXPECT_EQ(shapes.size(), 39u);
  EXPECT_EQ(left, kMaxMacroSteps - 39 * 100004);
  const TMacro two{"TWO", {"5,1,100000,0,0,1,0", "5,1,100000,0,0,1,0"}};
  shapes.clear();
  EXPECT_FALSE(FlattenMacro(two, {}, shapes, error, &left));
  EXPECT_EQ(left, 0);
  EXPECT_EQ(error, "the aperture macros make more than 4,000,000 points (macro TWO)");
  // A moire whose rings never shrink stops at the allowance too.
  shapes.clear();
  EXPECT_FALSE(FlattenMacro(TMacro{"MO", {"6,0,0,1,0,0,1000000,0.01,1,0"}}, {}, shapes, error));
  EXPECT_EQ(error, "the aperture macros make more than 4,000,000 points (macro MO)");

  // Counting spends what flattening spends, and fails where it fails.
  const TMacro mixed{"MIX", {"$1=2", "1,1,0.5,0,0", "20,1,0.1,0,0,1,1,0", "21,1,1,1,0,0,0", "22,1,1,1,0,0,0",
                             "4,1,3,0,0,1,0,1,1,0,0,0", "5,1,$1x4,0,0,1,0", "6,0,0,1,0.1,0.1,3,0.01,1,0",
                             "7,0,0,1,0.5,0.1,0"}};
  for (const TMacro& m : {mixed, two, TMacro{"BAD", {"1,1,0.5,0,0", "9,1"}}}) {
    SCOPED_TRACE(m.Name);
    int64_t flattened = 500000, counted = 500000;
    std::string flatError, countError;
    shapes.clear();
    const bool flat = FlattenMacro(m, {}, shapes, flatError, &flattened);
    EXPECT_EQ(CountMacroSteps(m, {}, countError, &counted), flat);
    EXPECT_EQ(counted, flattened);
    EXPECT_EQ(countError, flatError);
  }
}

}  // namespace
