// Orientation codes and axis versions, tape units, the letter formats of a
// file and the block word list.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "korvex_test.h"
#include "nc_call_log.h"

namespace {

class NcReaderUnits : public TKorvexTest {
 protected:
  // A reader with a work record but no file, as inside a run.
  std::unique_ptr<TCallLog> Prepared(const TTapeOptions& options = {}) {
    auto r = std::make_unique<TCallLog>((TempDir / "x.drl").string(), TempDir.string(), options);
    r->GlobalRec = std::make_unique<TGlobalRec>();
    r->ResetFileState();
    return r;
  }
  static void SetWords(TNCReader& r, const std::string& letters, std::vector<int32_t> values) {
    TGlobalRec& g = *r.GlobalRec;
    g.WordCount = static_cast<int32_t>(letters.size());
    for (int32_t i = 1; i <= g.WordCount; ++i) {
      g.Letters[i] = letters[static_cast<std::size_t>(i - 1)];
      g.Values[i] = values[static_cast<std::size_t>(i - 1)];
    }
  }
  static std::string Letters(const TNCReader& r) {
    const TGlobalRec& g = *r.GlobalRec;
    return std::string(g.Letters.begin() + 1, g.Letters.begin() + 1 + g.WordCount);
  }
};

}  // namespace

TEST_F(NcReaderUnits, AxisVersionsTurnTapePoints) {
  auto r = Prepared();
  int64_t x = 0, y = 0;
  r->AxisMap(3, 5, x, y);
  EXPECT_EQ(std::make_pair(x, y), std::make_pair(int64_t{3}, int64_t{5}));
  r->AxisVersion = 6;
  r->AxisMap(3, 5, x, y);
  EXPECT_EQ(std::make_pair(x, y), std::make_pair(int64_t{-3}, int64_t{-5}));
  r->AxisVersion = 8;
  r->AxisMap(3, 5, x, y);
  EXPECT_EQ(std::make_pair(x, y), std::make_pair(int64_t{5}, int64_t{-3}));
  r->AxisVersion = 9;  // not a version: the output is left alone
  x = y = 42;
  r->AxisMap(3, 5, x, y);
  EXPECT_EQ(x, 42);
  r->Done();
}

TEST_F(NcReaderUnits, TapeUnitsFollowTheDecimalDigits) {
  TTapeOptions o;
  o.DecimalDigits = 3;
  auto r = Prepared(o);
  EXPECT_NEAR(r->GlobalRec->InchScale, 25400.0, 1e-6);
  EXPECT_EQ(r->NCToInternal(1000), 25400000);
  r->Metric = true;
  EXPECT_NEAR(r->GlobalRec->MetricScale, 1000.0, 1e-6);
  EXPECT_EQ(r->NCToInternal(1000), 1000000);
  r->DecimalDigits = 4;
  r->LoadFormatOptions();
  r->ResetNumberFormat();
  EXPECT_EQ(r->NCToInternal(1), 100);
  r->Metric = false;
  EXPECT_EQ(r->NCToInternal(1), 2540);
  EXPECT_EQ(r->NCToInternal(2147483647), 2147483647);  // limited, not wrapped
  r->Done();
}

TEST_F(NcReaderUnits, LetterFormatsOfAFile) {
  auto r = Prepared();  // an LZ 2.4 file
  const TLetterFormat& x = r->WordFormats.Of('X');
  EXPECT_TRUE(x.LeftAligned);
  EXPECT_EQ(x.IntegerDigits, 2);
  EXPECT_EQ(x.DecimalDigits, 4);
  r->Done();
}

TEST_F(NcReaderUnits, WordListOperations) {
  auto r = Prepared();
  SetWords(*r, "XYXG", {1, 2, 3, 4});
  int32_t cursor = 3, value = 0;
  EXPECT_TRUE(r->FindWord('X', cursor, value));  // the start position counts
  EXPECT_EQ(cursor, 3);
  EXPECT_EQ(value, 3);
  cursor = 4;
  EXPECT_FALSE(r->FindWord('X', cursor, value));
  EXPECT_EQ(cursor, 4);
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(r->HasWordValue('X', 3));
  EXPECT_FALSE(r->HasWordValue('X', 2));
  r->RemoveWord('Q');
  EXPECT_EQ(Letters(*r), "XYXG");
  r->RemoveWord('X');
  EXPECT_EQ(Letters(*r), "YXG");
  EXPECT_TRUE(r->InsertWord('R', 9, 1));
  EXPECT_EQ(Letters(*r), "RYXG");
  EXPECT_TRUE(r->InsertWord('Z', 8, 10));
  EXPECT_EQ(Letters(*r), "RYXGZ");
  // A full list takes no more words.
  SetWords(*r, std::string(40, 'G'), std::vector<int32_t>(40, 1));
  EXPECT_FALSE(r->InsertWord('X', 1, 1));
  EXPECT_EQ(r->GlobalRec->WordCount, 40);
  r->Done();
}

TEST_F(NcReaderUnits, ToolValuesPassThroughTheConsumer) {
  TTapeOptions o;
  o.Divisor = 7;
  auto r = Prepared(o);
  r->SetToolDiameter(5, 100, true);
  EXPECT_EQ(r->First("ToolDiameter"), "ToolDiameter 5 14");  // truncated toward zero
  EXPECT_EQ(r->ToolSize(5), 98);
  EXPECT_EQ(r->First("ToolValue "), "ToolValue 5 14");
  r->SetToolCompDiameter(5, -100);
  EXPECT_EQ(r->First("ToolCompDiameter"), "ToolCompDiameter 5 -14");
  EXPECT_EQ(r->ToolCompSize(5), -98);
  r->Done();
}
