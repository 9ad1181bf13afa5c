#include "foundation/nc_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using S = TNCFormatStatus;

// The four formatters on format 2.4 (2 integer, 4 decimal digits), as the
// tape writers call them for zero modes 2, 0, 1 and 3.
struct TRow {
  double Value;
  const char* Both;
  const char* LeadingKept;
  const char* TrailingKept;
  const char* Explicit;
};

TEST(NCFormat, WorkedValuesInFormat24) {
  const TRow rows[] = {
      {1.5, "015000", "015", "15000", "1.5"},
      {0.05, "000500", "0005", "500", "0.05"},
      {0.0, "000000", "0", "0", "0.0"},
      {-0.25, "-002500", "-0025", "-2500", "-0.25"},
      {12.3456, "123456", "123456", "123456", "12.3456"},
      {123.0, "1230000", "123", "1230000", "123.0"},
      // Negative values that round to zero carry no sign.
      {-0.00001, "000000", "0", "0", "0.0"},
      {-0.00004999, "000000", "0", "0", "0.0"},
  };
  for (const TRow& r : rows) {
    SCOPED_TRACE(r.Value);
    EXPECT_EQ(FormatNCNumber(2, 6, r.Value), r.Both);
    EXPECT_EQ(FormatNCNumberTZ(2, 6, r.Value), r.LeadingKept);
    EXPECT_EQ(FormatNCNumberLZ(4, r.Value), r.TrailingKept);
    EXPECT_EQ(FormatDecimalNumber(4, r.Value), r.Explicit);
  }
}

TEST(NCFormat, HalvesRoundToEven) {
  // Format 3.1: 0.25 scales to 2.5 and 0.75 to 7.5.
  EXPECT_EQ(FormatNCNumber(3, 4, 0.25), "0002");
  EXPECT_EQ(FormatNCNumber(3, 4, 0.75), "0008");
  EXPECT_EQ(FormatNCNumber(3, 4, -0.25), "-0002");
  EXPECT_EQ(FormatNCNumberTZ(3, 4, 0.25), "0002");
  EXPECT_EQ(FormatNCNumberTZ(3, 4, 0.75), "0008");
  EXPECT_EQ(FormatNCNumberLZ(1, 0.25), "2");
  EXPECT_EQ(FormatNCNumberLZ(1, 0.75), "8");
  EXPECT_EQ(FormatDecimalNumber(1, 0.25), "0.2");
  EXPECT_EQ(FormatDecimalNumber(1, 0.75), "0.8");
  EXPECT_EQ(FormatDecimalNumber(0, 2.5), "2.0");
  EXPECT_EQ(FormatDecimalNumber(0, 3.5), "4.0");
}

TEST(NCFormat, ZeroSuppressionEdges) {
  // At least one digit stays when trailing zeros go.
  EXPECT_EQ(FormatNCNumberTZ(2, 6, 10.0), "1");
  EXPECT_EQ(FormatNCNumberTZ(2, 6, -10.0), "-1");
  EXPECT_EQ(FormatDecimalNumber(0, 5.0), "5.0");
  EXPECT_EQ(FormatDecimalNumber(0, 0.0), "0.0");
  EXPECT_EQ(FormatDecimalNumber(3, 20.0), "20.0");
  EXPECT_EQ(FormatDecimalNumber(3, -0.001), "-0.001");
  EXPECT_EQ(FormatDecimalNumber(3, 100.5), "100.5");
  // The sign is not counted in the digits.
  EXPECT_EQ(FormatNCNumber(2, 6, -1.5).size(), 7u);
  // A format without decimals scales by 1.
  EXPECT_EQ(FormatNCNumber(1, 1, 7.0), "7");
}

TEST(NCFormat, StatusTellsFitsFromTooWide) {
  S s = S::BadFormat;
  EXPECT_EQ(FormatNCNumber(2, 6, 99.9999, &s), "999999");
  EXPECT_EQ(s, S::Fits);
  EXPECT_EQ(FormatNCNumber(2, 6, -99.9999, &s), "-999999");
  EXPECT_EQ(s, S::Fits);
  // Rounds up into a seventh digit.
  EXPECT_EQ(FormatNCNumber(2, 6, 99.99995, &s), "1000000");
  EXPECT_EQ(s, S::TooWide);
  // Written as "123", which a reader of format 2.4 would take for 12.3.
  EXPECT_EQ(FormatNCNumberTZ(2, 6, 123.0, &s), "123");
  EXPECT_EQ(s, S::TooWide);
  EXPECT_EQ(FormatNCNumberTZ(2, 6, -123.0, &s), "-123");
  EXPECT_EQ(s, S::TooWide);
  // Without a digit limit the other two modes only overflow 32 bits.
  EXPECT_EQ(FormatNCNumberLZ(4, 123.0, &s), "1230000");
  EXPECT_EQ(s, S::Fits);
  EXPECT_EQ(FormatDecimalNumber(4, 123.0, &s), "123.0");
  EXPECT_EQ(s, S::Fits);
}

TEST(NCFormat, ScaledValuesBeyond32BitsAreLimitedAndReported) {
  S s = S::Fits;
  EXPECT_EQ(FormatNCNumberLZ(4, 1.0e6, &s), "2147483647");
  EXPECT_EQ(s, S::TooWide);
  EXPECT_EQ(FormatNCNumberLZ(4, -1.0e6, &s), "-2147483647");
  EXPECT_EQ(s, S::TooWide);
  EXPECT_EQ(FormatNCNumber(6, 10, 1.0e30, &s), "2147483647");
  EXPECT_EQ(s, S::TooWide);
  EXPECT_EQ(FormatDecimalNumber(3, -1.0e30, &s), "-2147483.647");
  EXPECT_EQ(s, S::TooWide);
  EXPECT_EQ(FormatNCNumberLZ(2, std::nan(""), &s), "0");
  EXPECT_EQ(s, S::TooWide);
  EXPECT_EQ(FormatNCNumberTZ(2, 6, std::numeric_limits<double>::infinity(), &s), "2147483647");
  EXPECT_EQ(s, S::TooWide);
  // The extremes of the range still fit.
  EXPECT_EQ(FormatNCNumberLZ(0, -2147483648.0, &s), "-2147483648");
  EXPECT_EQ(s, S::Fits);
  EXPECT_EQ(FormatNCNumberLZ(10, 0.2147483647, &s), "2147483647");
  EXPECT_EQ(s, S::Fits);
}

TEST(NCFormat, UnusableDigitCountsAreRejected) {
  S s = S::Fits;
  for (int total : {1, 0, -3}) {
    for (double v : {0.0, 1.5, -2.0}) {
      EXPECT_EQ(FormatNCNumberTZ(0, total, v, &s), kNCFormatErrorText);
      EXPECT_EQ(s, S::BadFormat);
    }
  }
  // Scale exponents outside 0..10 never index past the table.
  EXPECT_EQ(FormatNCNumber(2, 13, 1.0, &s), kNCFormatErrorText);
  EXPECT_EQ(s, S::BadFormat);
  EXPECT_EQ(FormatNCNumber(3, 2, 1.0, &s), kNCFormatErrorText);
  EXPECT_EQ(s, S::BadFormat);
  EXPECT_EQ(FormatNCNumber(-1, 2, 1.0, &s), kNCFormatErrorText);
  EXPECT_EQ(s, S::BadFormat);
  EXPECT_EQ(FormatNCNumberTZ(2, 20, 1.0, &s), kNCFormatErrorText);
  EXPECT_EQ(s, S::BadFormat);
  EXPECT_EQ(FormatNCNumberLZ(11, 1.0, &s), kNCFormatErrorText);
  EXPECT_EQ(s, S::BadFormat);
  EXPECT_EQ(FormatNCNumberLZ(-1, 1.0, &s), kNCFormatErrorText);
  EXPECT_EQ(s, S::BadFormat);
  EXPECT_EQ(FormatDecimalNumber(-2, 1.0, &s), kNCFormatErrorText);
  EXPECT_EQ(s, S::BadFormat);
  // Huge digit counts stay within a short string.
  EXPECT_LE(FormatNCNumber(300, 300, -1.0, &s).size(), 255u);
  EXPECT_EQ(s, S::Fits);
}

}  // namespace
