#include "foundation/nc_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

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
  for (const TRow& r : {TRow{0.25, "0002", "0002", "2", "0.2"}, TRow{0.75, "0008", "0008", "8", "0.8"}}) {
    SCOPED_TRACE(r.Value);
    EXPECT_EQ(FormatNCNumber(3, 4, r.Value), r.Both);
    EXPECT_EQ(FormatNCNumberTZ(3, 4, r.Value), r.LeadingKept);
    EXPECT_EQ(FormatNCNumberLZ(1, r.Value), r.TrailingKept);
    EXPECT_EQ(FormatDecimalNumber(1, r.Value), r.Explicit);
  }
  EXPECT_EQ(FormatNCNumber(3, 4, -0.25), "-0002");
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

// One formatter call with its expected text and status.
struct TStatusRow {
  std::function<std::string(S*)> Format;
  const char* Text;
  S Status;
};

void ExpectRows(const std::vector<TStatusRow>& rows) {
  for (size_t i = 0; i < rows.size(); ++i) {
    S s = rows[i].Status == S::Fits ? S::BadFormat : S::Fits;
    EXPECT_EQ(rows[i].Format(&s), rows[i].Text) << "row " << i;
    EXPECT_EQ(s, rows[i].Status) << "row " << i;
  }
}

TEST(NCFormat, StatusTellsFitsFromTooWide) {
  ExpectRows({
      {[](S* s) { return FormatNCNumber(2, 6, 99.9999, s); }, "999999", S::Fits},
      {[](S* s) { return FormatNCNumber(2, 6, -99.9999, s); }, "-999999", S::Fits},
      // Rounds up into a seventh digit.
      {[](S* s) { return FormatNCNumber(2, 6, 99.99995, s); }, "1000000", S::TooWide},
      // Written as "123", which a reader of format 2.4 would take for 12.3.
      {[](S* s) { return FormatNCNumberTZ(2, 6, 123.0, s); }, "123", S::TooWide},
      {[](S* s) { return FormatNCNumberTZ(2, 6, -123.0, s); }, "-123", S::TooWide},
      // Without a digit limit the other two modes only overflow 32 bits.
      {[](S* s) { return FormatNCNumberLZ(4, 123.0, s); }, "1230000", S::Fits},
      {[](S* s) { return FormatDecimalNumber(4, 123.0, s); }, "123.0", S::Fits},
  });
}

TEST(NCFormat, ScaledValuesBeyond32BitsAreLimitedAndReported) {
  ExpectRows({
      {[](S* s) { return FormatNCNumberLZ(4, 1.0e6, s); }, "2147483647", S::TooWide},
      {[](S* s) { return FormatNCNumberLZ(4, -1.0e6, s); }, "-2147483647", S::TooWide},
      {[](S* s) { return FormatNCNumber(6, 10, 1.0e30, s); }, "2147483647", S::TooWide},
      {[](S* s) { return FormatDecimalNumber(3, -1.0e30, s); }, "-2147483.647", S::TooWide},
      {[](S* s) { return FormatNCNumberLZ(2, std::nan(""), s); }, "0", S::TooWide},
      {[](S* s) { return FormatNCNumberTZ(2, 6, std::numeric_limits<double>::infinity(), s); }, "2147483647",
       S::TooWide},
      // The extremes of the range still fit.
      {[](S* s) { return FormatNCNumberLZ(0, -2147483648.0, s); }, "-2147483648", S::Fits},
      {[](S* s) { return FormatNCNumberLZ(10, 0.2147483647, s); }, "2147483647", S::Fits},
  });
}

TEST(NCFormat, UnusableDigitCountsAreRejected) {
  std::vector<TStatusRow> rows;
  for (int total : {1, 0, -3})
    for (double v : {0.0, 1.5, -2.0})
      rows.push_back({[=](S* s) { return FormatNCNumberTZ(0, total, v, s); }, kNCFormatErrorText, S::BadFormat});
  // Scale exponents outside 0..10 never index past the table.
  const char* bad = kNCFormatErrorText;
  rows.insert(rows.end(), {
                              {[](S* s) { return FormatNCNumber(2, 13, 1.0, s); }, bad, S::BadFormat},
                              {[](S* s) { return FormatNCNumber(3, 2, 1.0, s); }, bad, S::BadFormat},
                              {[](S* s) { return FormatNCNumber(-1, 2, 1.0, s); }, bad, S::BadFormat},
                              {[](S* s) { return FormatNCNumberTZ(2, 20, 1.0, s); }, bad, S::BadFormat},
                              {[](S* s) { return FormatNCNumberLZ(11, 1.0, s); }, bad, S::BadFormat},
                              {[](S* s) { return FormatNCNumberLZ(-1, 1.0, s); }, bad, S::BadFormat},
                              {[](S* s) { return FormatDecimalNumber(-2, 1.0, s); }, bad, S::BadFormat},
                          });
  ExpectRows(rows);
  // Huge digit counts stay within a short string.
  S s = S::BadFormat;
  EXPECT_LE(FormatNCNumber(300, 300, -1.0, &s).size(), 255u);
  EXPECT_EQ(s, S::Fits);
}

}  // namespace
