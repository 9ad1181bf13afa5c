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
