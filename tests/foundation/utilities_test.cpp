#include "foundation/utilities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <regex>
#include <string>
#include <tuple>
#include <utility>

#include "platform/headless/headless_dialogs.h"

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST(LenientConversion, IntegerTakesTheValidPrefixAndNeverOverflows) {
  const std::pair<const char*, int32_t> rows[] = {
      {"12x4", 12}, {"x", 0}, {"", 0}, {"-", 0}, {"  -42", -42}, {"+7", 7}, {"$1F", 31}, {"$FFFFFFFF", -1},
      {"-2147483648", kMin}, {"2147483647", kMax},
      // Beyond the 32-bit range the value is limited, not wrapped.
      {"2147483648", kMax}, {"99999999999999999999999999", kMax}, {"-99999999999999999999999999mm", kMin}};
  for (const auto& [text, value] : rows) EXPECT_EQ(StrToIntLenient(text), value) << text;
}

TEST(LenientConversion, RealAppendsZeroAfterPointAndRetriesPrefix) {
  // A retried prefix that ends in "." gets its "0" too; out of the double
  // range no infinity escapes.
  const std::pair<const char*, double> rows[] = {
      {"3.", 3.0},    {"1.5mm", 1.5}, {"", 0.0},     {"x", 0.0},      {"-", 0.0},      {"3.x", 3.0},
      {"  -.5", -0.5}, {"2E3", 2000.0}, {"1.5e", 1.5}, {"1,5", 1.0},   {"1e999", 0.0}, {"-1e999", 0.0},
      {"1e-999", 0.0}};
  for (const auto& [text, value] : rows) EXPECT_EQ(StrToRealLenient(text), value) << text;
}

TEST(NumberText, RealToStrKeepsOneDecimalAtLeast) {
  const std::pair<double, const char*> rows[] = {
      {0.0, "0.0"},   {-0.125, "-0.125"}, {3.0, "3.0"},          {100.0, "100.0"}, {1.0 / 3.0, "0.3333333333"},
      {4e-11, "0.0"}, {-4e-11, "0.0"},    {-0.0, "0.0"}};
  for (const auto& [value, text] : rows) EXPECT_EQ(RealToStr(value), text) << value;
  EXPECT_EQ(RealToStr(1e300).size(), 255u);
  // Round trip through the lenient reader.
  EXPECT_EQ(StrToRealLenient(RealToStr(-12.0625)), -12.0625);
}

TEST(NumberText, IntegerTexts) {
  EXPECT_EQ(IntToShortStr(kMin), "-2147483648");
  EXPECT_EQ(IntToShortStr(0), "0");
  for (const auto& [value, text] : {std::pair<int32_t, const char*>{123, "123"}, {1000, "1,000"}, {-1234, "-1,234"},
                                     {kMin, "-2,147,483,648"}})
    EXPECT_EQ(IntToStrGrouped(value), text);
  EXPECT_EQ(IntToStrGroupedPadded(1234, 8), "   1,234");
  EXPECT_EQ(IntToStrGroupedPadded(1234567, 3), "1,234,567");
  EXPECT_EQ(IntToStr2(5) + IntToStr2(0) + IntToStr2(12) + IntToStr2(-5), "050012-5");
  EXPECT_NEAR(Power(2.0, 10.0), 1024.0, 1e-9);
  EXPECT_EQ(Power(0.0, 2.0), 0.0);
  EXPECT_EQ(Power(-2.0, 2.0), 0.0);
}

TEST(ShortStrings, CaseBlanksAndZeros) {
  EXPECT_EQ(UpperCaseStr("ab\xE4z1"), "AB\xE4Z1");
  EXPECT_EQ(LowerCaseStr("AB\xC4Z1"), "ab\xC4z1");
  EXPECT_EQ(RemoveBlanks(" a b  c "), "abc");
  // Only spaces go: tabs and line ends stay, and a line without one is kept whole.
  EXPECT_EQ(RemoveBlanks("X1\tY2\r"), "X1\tY2\r");
  EXPECT_EQ(RemoveBlanks("   "), "");
  EXPECT_EQ(RemoveBlanks(""), "");
  EXPECT_EQ(RemoveBlanks("ab c"), "abc");
  EXPECT_EQ(TrimBlanks("\t a b \r\n"), "a b");
  // Characters above 127 are not blanks.
  EXPECT_EQ(TrimBlanks("\xC8x\xC8"), "\xC8x\xC8");
  EXPECT_EQ(CleanUpperCase("  ab\x01" "c\x7F\xC8 d  "), "ABC D");
  EXPECT_EQ(StripTrailingZeros("100"), "1");
  EXPECT_EQ(StripTrailingZeros("000"), "");
  EXPECT_EQ(StripTrailingZeros("1.050"), "1.05");
  EXPECT_EQ(ReverseStr("abc"), "cba");
  EXPECT_EQ(FirstUpperLetterPos("12aB"), 4);
  EXPECT_EQ(FirstUpperLetterPos("12ab"), 0);
  EXPECT_EQ(CountCharsOutside('0', '9', "1a2\xC8"), 2);
  EXPECT_EQ(FirstChar(""), '\0');
  EXPECT_EQ(FirstChar("xy"), 'x');
  // Counts beyond either end of the text are limited to it.
  for (const auto& [n, left, right] : {std::tuple<int, const char*, const char*>{2, "ab", "bc"}, {5, "abc", "abc"},
                                       {0, "", ""}, {-1, "", ""}}) {
    EXPECT_EQ(LeftStr("abc", n), left) << n;
    EXPECT_EQ(RightStr("abc", n), right) << n;
  }
}

TEST(ShortStrings, LastPosAndNthPos) {
  struct TRow {
    int32_t N;  // 0: LastPos
    const char *Sub, *Text;
    int32_t Pos;
  };
  const TRow rows[] = {
      {0, "\\", "C:\\A\\B", 5}, {0, "ab", "abxab", 4}, {0, "aa", "aaa", 2}, {0, "z", "C:\\A\\B", 0},
      {0, "", "abc", 0},          {0, "abcd", "abc", 0}, {0, "a", "", 0},
      {1, ",", "a,b,c", 2},       {2, ",", "a,b,c", 4},  {3, ",", "a,b,c", 0}, {-1, ",", "a,b,c", 0},
      {1, "", "a,b,c", 0},
      // Occurrences may overlap.
      {3, "aa", "aaaa", 3},       {4, "aa", "aaaa", 0}};
  for (const TRow& r : rows)
    EXPECT_EQ(r.N == 0 ? LastPos(r.Sub, r.Text) : NthPos(r.N, r.Sub, r.Text), r.Pos) << r.N << " " << r.Sub << " " << r.Text;
  EXPECT_EQ(NthPos(0, ",", "a,b,c"), 0);
}

TEST(ShortStrings, FileExtensionsLookOnlyAtTheFileName) {
  const std::pair<const char*, const char*> ext[] = {
      {"C:\\DIR.X\\FILE.DRL", "DRL"}, {"C:\\DIR.X\\FILE", ""}, {"/home/a.b/file", ""}, {"JOB.TEXT", "TEX"},
      {"JOB.V1.ZUL", "ZUL"},         {"JOB.", "   "},           {"", ""}};
  for (const auto& [name, e] : ext) EXPECT_EQ(FileExtension3(name), e) << name;

  EXPECT_EQ(ChangeFileExtension("C:\\DIR.X\\FILE", ".DRL"), "C:\\DIR.X\\FILE.DRL");
  for (const char* name : {"JOB.TXT", "JOB.", "JOB  "}) EXPECT_EQ(ChangeFileExtension(name, "BAK"), "JOB.BAK") << name;
  EXPECT_EQ(ChangeFileExtension("JOB.V1.TXT", "BAK"), "JOB.V1.BAK");
  // A long name keeps every character: a cut name could be the file itself.
  EXPECT_EQ(ChangeFileExtension(std::string(255, 'A'), "BAK"), std::string(255, 'A') + ".BAK");
}

TEST(ShortStrings, AbbreviatePathKeepsTheTailAfterABackslash) {
  // The tail already starts with a backslash: width + 1 characters.
  EXPECT_EQ(AbbreviatePath("C:\\PROJECTS\\BOARD77\\REV_B\\NCDATA\\DRL.TXT", 20),
            "C:\\...\\NCDATA\\DRL.TXT");
  // A partial folder name after "..." is dropped, then blanks pad to width.
  EXPECT_EQ(AbbreviatePath("C:\\PROJECTS\\BORD\\ALPHA\\TAPE\\ABCDEFGH.DRL", 20),
            "C:\\...\\ABCDEFGH.DRL ");
  // With a single backslash nothing is dropped.
  const std::string flat = "C:\\" + std::string(33, 'N') + ".DRL";
  EXPECT_EQ(AbbreviatePath(flat, 20), "C:\\..." + std::string(11, 'N') + ".DRL");
  // Short paths are only padded.
  EXPECT_EQ(AbbreviatePath("C:\\A.DRL", 12), "C:\\A.DRL    ");
  // Tiny widths stay within the text.
  EXPECT_EQ(AbbreviatePath("ABCDEFGH", 3), "ABC...");
  EXPECT_EQ(AbbreviatePath("ABCDEFGH", -5), "ABC...");
}

TEST(ShortStrings, TokenScanner) {
  const std::string text = "addline (click, rclick)=*;";
  int32_t pos = 1;
  EXPECT_EQ(NextToken(text, pos, true), "ADDLINE");
  EXPECT_EQ(pos, 8);
  EXPECT_EQ(NextToken(text, pos, true), "(");
  EXPECT_EQ(pos, 10);
  EXPECT_EQ(NextToken(text, pos, false), "click,");
  EXPECT_EQ(NextToken(text, pos, true), "RCLICK");
  EXPECT_EQ(NextToken(text, pos, true), ")");
  EXPECT_EQ(NextToken(text, pos, true), "=");
  EXPECT_EQ(NextToken(text, pos, true), "*");
  EXPECT_EQ(NextToken(text, pos, true), ";");
  EXPECT_EQ(NextToken(text, pos, true), "");
  EXPECT_EQ(pos, static_cast<int32_t>(text.size()) + 1);
  EXPECT_EQ(NextToken(text, pos, true), "");

  pos = 0;  // treated as the start
  EXPECT_EQ(NextToken("  ab", pos, false), "ab");

  EXPECT_EQ(WordIndex("B", "a b c"), 1);
  EXPECT_EQ(WordIndex("A", "a b c"), 0);
  // No match: the index of the last token read.
  EXPECT_EQ(WordIndex("X", "A B C"), 2);
  // A one-character token at the very end is still read.
  EXPECT_EQ(WordIndex("(", "AB("), 1);
  EXPECT_EQ(WordIndex("X", ""), 0);
  EXPECT_EQ(ResText(42, "text"), "text");
}

TEST(Hex, DigitsAndEntityReferences) {
  EXPECT_EQ(ByteToHex(0xAF), "AF");
  EXPECT_EQ(ByteToHex(0x05), "05");
  EXPECT_EQ(WordToHex(0x12AB), "12AB");
  EXPECT_EQ(LongToHex(0x0012ABCDu), "0012ABCD");
  EXPECT_EQ(HexToInt("$1aG"), 26);
  for (const char* none : {"", "$", "G1"}) EXPECT_EQ(HexToInt(none), 0) << none;
  EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
  EXPECT_EQ(FormatSegOfs(0x0012ABCDu), "$0012:$ABCD");
  for (uint32_t v : {0u, 1u, 0x0012ABCDu, 0x80000000u, 0xFFFFFFFFu})
    EXPECT_EQ(ParseSegOfs(FormatSegOfs(v)), v) << v;
  EXPECT_EQ(ParseSegOfs(""), 0u);
  EXPECT_EQ(ParseSegOfs("$0012"), 0x00120000u);
}

TEST(DateTime, DosPackingRoundTripsAndKeepsFieldsApart) {
  EXPECT_EQ(PackDosDateTime(TDateTimeRec{1980, 1, 1, 0, 0, 0}), 0x00210000u);
  TDateTimeRec dt{2024, 2, 29, 23, 59, 59};
  TDateTimeRec back = UnpackDosDateTime(PackDosDateTime(dt));
  EXPECT_EQ(back, (TDateTimeRec{2024, 2, 29, 23, 59, 58}));
  // The last representable year uses bit 31.
  EXPECT_EQ(UnpackDosDateTime(PackDosDateTime(TDateTimeRec{2107, 12, 31, 0, 0, 0})).Year, 2107);
  // An out-of-range field does not spill into its neighbour.
  EXPECT_EQ(UnpackDosDateTime(PackDosDateTime(TDateTimeRec{2000, 16, 1, 0, 0, 0})).Year, 2000);

  EXPECT_TRUE(std::regex_match(TimeText(), std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]")));
  EXPECT_TRUE(std::regex_match(DateText(), std::regex("[01][0-9]-[0-3][0-9]-[0-9]{4}")));
}

struct TCountedNode {
  explicit TCountedNode(int& count) : Count(count) {}
  virtual ~TCountedNode() { ++Count; }
  int& Count;
  TCountedNode* Next = nullptr;
};

struct TDerivedNode : TCountedNode {
  TDerivedNode(int& count, int& derived) : TCountedNode(count), Derived(derived) {}
  ~TDerivedNode() override { ++Derived; }
  int& Derived;
};

TEST(SmallHelpers, FreeObjectListRunsEachNodesOwnDestructor) {
  int count = 0, derived = 0;
  TCountedNode* head = new TDerivedNode(count, derived);
  head->Next = new TCountedNode(count);
  head->Next->Next = new TDerivedNode(count, derived);
  FreeObjectList(head);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(derived, 2);
  FreeObjectList<TCountedNode>(nullptr);
}

TEST(SmallHelpers, ComparisonsSwapsAndAngles) {
  unsigned char a[] = {1, 2, 3}, b[] = {1, 2, 4};
  EXPECT_TRUE(BytesEqual(a, b, 2));
  EXPECT_FALSE(BytesEqual(a, b, 3));
  EXPECT_TRUE(BytesEqual(nullptr, nullptr, 0));
  EXPECT_TRUE(BytesEqual(a, b, -1));

  EXPECT_EQ(MaxInt2(-3, 2), 2);
  EXPECT_EQ(MinInt2(-3, 2), -3);
  EXPECT_EQ(MaxReal(1.5, -2.0), 1.5);
  for (const auto& [a1, b1, m] : {std::tuple{0, 5, 5}, {5, 0, 5}, {3, 2, 2}, {-3, 2, -3}, {0, 0, 0}})
    EXPECT_EQ(MinNonZero(a1, b1), m) << a1 << "," << b1;

  int32_t i = 1, j = 2;
  SwapIntegers(i, j);
  EXPECT_EQ(i, 2);
  int32_t low = INT32_MIN, high = INT32_MAX;
  SwapIntegers2(low, high);
  EXPECT_EQ(low, INT32_MAX);
  EXPECT_EQ(high, INT32_MIN);
  double x = 1.5, y = 2.5;
  SwapReals(x, y);
  EXPECT_EQ(x, 2.5);

  EXPECT_DOUBLE_EQ(ArcTan2(0.0, -1.0), M_PI);
  EXPECT_DOUBLE_EQ(ArcTan2(-1.0, 0.0), -M_PI / 2);
  EXPECT_DOUBLE_EQ(ArcSin(0.5), M_PI / 6);
  EXPECT_DOUBLE_EQ(ArcSin(-1.0), -M_PI / 2);
  // Slightly out of domain (rounding noise of a caller) is limited, not NaN.
  EXPECT_DOUBLE_EQ(ArcSin(1.0000000001), M_PI / 2);
  EXPECT_DOUBLE_EQ(ArcSin(-7.0), -M_PI / 2);
}

}  // namespace

TEST(SmallHelpers, BeepSoundsTheSimpleBeep) {
  ResetMessageBoxScript();
  Beep();
  ASSERT_EQ(Beeps().size(), 1u);
  EXPECT_EQ(Beeps()[0], 0xFFFFFFFFu);
  ResetMessageBoxScript();
}
