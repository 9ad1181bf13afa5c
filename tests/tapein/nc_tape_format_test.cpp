// How a tape states its format (unit lines, M71/M72, FILE_FORMAT comments,
// tool words, the header's end) and how the reader reads it, in both units
// and both zero modes; and the format the drill dialog is pre-filled with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>

#include "foundation/file_utils.h"
#include "nc_call_log.h"
#include "tapein/drill_format_guess.h"

namespace {

constexpr int32_t Inch = 25400000;
constexpr int32_t Mm = 1000000;

class NcTapeFormat : public TKorvexTest {
 protected:
  std::string Tape(const std::vector<std::string>& lines, const std::string& name = "tape.drl") {
    const auto path = TempDir / name;
    std::ofstream out(path);
    for (const auto& l : lines) out << l << "\r\n";
    return path.string();
  }
  // Reads the tape with the reader built as the options say.
  std::unique_ptr<TCallLog> Read(const std::vector<std::string>& lines, const TTapeOptions& o) {
    auto r = std::make_unique<TCallLog>(Tape(lines), TempDir.string(), o);
    Failed = r->RunFailed();
    return r;
  }
  static TTapeOptions Options(bool metric, bool leadingZeros) {
    TTapeOptions o;
    o.Metric = metric;
    o.LeadingZeros = leadingZeros;
    o.IntegerDigits = metric ? 3 : 2;
    o.DecimalDigits = metric ? 3 : 4;
    return o;
  }
  bool Failed = false;
};

// ---- Units, zeros and digits --------------------------------------------------------------

struct TUnitCase {
  const char* Name;
  bool ReaderMetric, ReaderLeading;
  std::vector<std::string> Lines;
  int32_t X;  // internal units of the first hit
};

TEST_F(NcTapeFormat, UnitStatementsAreReadWithTheirZerosAndTheirUnitsDigits) {
  const TUnitCase cases[] = {
      // A unit without digits takes that unit's digits: metric 3.3, inch 2.4.
      {"METRIC, inch reader", false, true, {"M48", "METRIC", "%", "X0125Y0"}, 12500 * 1000},
      {"METRIC,TZ", false, true, {"M48", "METRIC,TZ", "%", "X12500Y0"}, 12500 * 1000},
      {"METRIC,LZ", false, false, {"M48", "METRIC,LZ", "%", "X0125Y0"}, 12500 * 1000},
      {"INCH, metric reader", true, false, {"M48", "INCH", "%", "X12500Y0"}, Inch + Inch / 4},
      {"INCH,LZ", true, false, {"M48", "INCH,LZ", "%", "X0125Y0"}, Inch + Inch / 4},
      // Stated digits hold.
      {"METRIC,TZ,000.00", false, true, {"M48", "METRIC,TZ,000.00", "%", "X1250Y0"}, 12500 * 1000},
      // Unit lines before M48, or without any header.
      {"INCH,TZ before M48", false, true, {"INCH,TZ", "M48", "T1C0.02", "%", "T1", "X12500Y0"},
       Inch + Inch / 4},
      {"METRIC,LZ, no header", true, false, {"METRIC,LZ", "X0125Y0"}, 12500 * 1000},
      // M71 / M72 in the header, with or without zeros.
      {"M71 in the header", false, false, {"M48", "M71", "T1C1.0", "%", "T1", "X12500Y0"},
       12500 * 1000},
      {"M71,TZ in the header", false, true, {"M48", "M71,TZ", "%", "X12500Y0"}, 12500 * 1000},
      {"M72,LZ in the header", true, false, {"M48", "M72,LZ", "%", "X0125Y0"}, Inch + Inch / 4},
      {"M72 in the header", true, false, {"M48", "M72", "%", "X12500Y0"}, Inch + Inch / 4},
      // A FILE_FORMAT comment states the digits of either unit.
      {"FILE_FORMAT=4:4", false, false, {"M48", ";FILE_FORMAT=4:4", "METRIC,LZ", "%", "X00248233Y0"},
       24823300},
      {"FILE_FORMAT=2:5", true, false, {"M48", ";FILE_FORMAT=2:5", "INCH,TZ", "%", "X125000Y0"},
       Inch + Inch / 4},
  };
  for (const TUnitCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto r = Read(c.Lines, Options(c.ReaderMetric, c.ReaderLeading));
    EXPECT_FALSE(Failed);
    ASSERT_EQ(r->Hits.size(), 1u);
    EXPECT_EQ(r->Hits[0].X, c.X);
    r->Done();
  }
}

TEST_F(NcTapeFormat, PositionsBeyondTheRangeStopTheReadingNamingTheLine) {
  // Leading zeros read as written where the tape suppressed them: 92.5 in.
  auto inch = Read({"M48", "T1C0.02", "%", "T1", "X02Y02", "X9250Y4064"}, Options(false, true));
  EXPECT_TRUE(Failed);
  EXPECT_EQ(inch->Hits.size(), 1u);
  const std::string error = inch->First("Error");
  EXPECT_NE(error.find("Line 6 \"X9250Y4064\""), std::string::npos) << error;
  EXPECT_NE(error.find("84.5466 in"), std::string::npos) << error;
  inch->Done();
  // 3000 mm.
  auto metric = Read({"X3000000Y0"}, Options(true, false));
  EXPECT_TRUE(Failed);
  EXPECT_TRUE(metric->Hits.empty());
  EXPECT_NE(metric->First("Error").find("2147.48 mm"), std::string::npos);
  metric->Done();
}

// ---- Tool words --------------------------------------------------------------------------

TEST_F(NcTapeFormat, ToolNumbersTheTapeDefinedAreThoseTools) {
  // T100 defined in the header is tool 100; an undefined T102 is tool 1
  // with compensation 2; T0 with a size is the first free number (T2), an
  // undefined T0 stays tool 1.
  for (const bool metric : {false, true}) {
    SCOPED_TRACE(metric ? "metric" : "inch");
    auto r = Read({"M48", "T100C0.5", "T0C0.15", "T1C0.3", "%", "T100", "X10Y10", "T0", "X20Y20",
                   "T1", "X30Y30", "T0", "X40Y40", "T102", "X50Y50"},
                  Options(metric, false));
    EXPECT_FALSE(Failed);
    std::vector<int32_t> tools;
    for (const TLoggedHit& h : r->Hits) tools.push_back(h.Tool);
    EXPECT_EQ(tools, (std::vector<int32_t>{100, 2, 1, 2, 1}));
    const int32_t unit = metric ? Mm : Inch;
    EXPECT_EQ(r->First("ToolDiameter 2"), "ToolDiameter 2 " + std::to_string(unit * 15 / 100));
    EXPECT_EQ(r->With("Notice Tool T0").size(), 1u);
    r->Done();
  }
  auto undefined = Read({"M48", "T1C0.3", "%", "T0", "X10Y10"}, Options(false, false));
  ASSERT_EQ(undefined->Hits.size(), 1u);
  EXPECT_EQ(undefined->Hits[0].Tool, 1);
  EXPECT_TRUE(undefined->With("Notice Tool T0").empty());
  undefined->Done();
}

TEST_F(NcTapeFormat, ToolSizesKeepEveryDigitWritten) {
  auto metric = Read({"M48", "METRIC", "T1C4.3053", "T2C0.0005", "%"}, Options(false, true));
  EXPECT_EQ(metric->First("ToolDiameter 1"), "ToolDiameter 1 4305300");
  EXPECT_EQ(metric->First("ToolDiameter 2"), "ToolDiameter 2 500");
  metric->Done();
  auto inch = Read({"M48", "INCH", "T1C0.00595", "%"}, Options(true, true));
  EXPECT_EQ(inch->First("ToolDiameter 1"), "ToolDiameter 1 151130");
  inch->Done();
}

// ---- The header's end -----------------------------------------------------------------------

TEST_F(NcTapeFormat, AHeaderWithoutItsEndEndsAtTheFirstBodyBlock) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Lines;
    size_t Hits;
    int Body;  // the line of the first body block
  };
  const TCase cases[] = {
      {"a position", {"M48", "INCH,TZ", "T1C0.02", "X12500Y100", "X100Y100", "M30"}, 2, 4},
      {"a tool select", {"M48", "METRIC,TZ", "T1C0.5", "T2C0.6", "T2", "X100Y100", "M30"}, 1, 5},
      {"a drilled slot", {"M48", "T1C0.02", "X100Y100G85X200Y100", "X300Y100"}, 1, 3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto r = Read(c.Lines, Options(false, false));
    EXPECT_FALSE(Failed);
    EXPECT_EQ(r->Hits.size(), c.Hits);
    EXPECT_EQ(r->With("Notice The header opened by M48 in line 1 is not closed").size(), 1u);
    EXPECT_EQ(r->First("Notice The header"),
              "Notice The header opened by M48 in line 1 is not closed by % or M95: it ends before line " +
                  std::to_string(c.Body) + ".");
    EXPECT_EQ(r->With("HeaderDone").size(), 1u);
    r->Done();
  }
  // A closed header gives no notice.
  auto closed = Read({"M48", "T1C0.02", "%", "T1", "X100Y100"}, Options(false, false));
  EXPECT_TRUE(closed->With("Notice The header").empty());
  closed->Done();
}

// ---- The pre-filled format ------------------------------------------------------------------

TEST_F(NcTapeFormat, PrefilledFormatTakesWhatTheTapeStatesOrShows) {
  TDrillFormatRecord stored;  // inch 2.4, metric 3.3, leading zeros kept
  // Stated: units, zeros and digits.
  TDrillFormatRecord f = PrefilledTapeFormat(
      Tape({"M48", ";FILE_FORMAT=4:4", "METRIC,LZ", "%", "X00248233Y001"}), stored);
  EXPECT_TRUE(f.Metric);
  EXPECT_EQ(f.UnitsFactor, 1000000u);
  EXPECT_EQ(f.ZerosUsed, 0);
  EXPECT_EQ(f.MetricIntegerDigits, 4);
  EXPECT_EQ(f.MetricDecimalDigits, 4);
  EXPECT_EQ(f.IntegerDigits, 2);  // the other unit's digits stay
  // A statement after the program began is a comment carried over from
  // another tape: the header's stands, for the guess as for the reading.
  const std::string carried = Tape({"M48", ";FILE_FORMAT=4:4", "METRIC,LZ", "%", "G90",
                                    ";FILE_FORMAT=2:4", "X00248233Y001", "M30"});
  f = PrefilledTapeFormat(carried, stored);
  EXPECT_EQ(f.MetricIntegerDigits, 4);
  EXPECT_EQ(f.MetricDecimalDigits, 4);
  {
    TCallLog r(carried, TempDir.string(), true);
    r.RunFailed();
    ASSERT_EQ(r.Hits.size(), 1u);
    EXPECT_EQ(r.Hits[0].X, 248233000 / 10);
    EXPECT_EQ(r.With("Unparsed ;FILE_FORMAT").size(), 2u);
    r.Done();
  }
  // A tape framed by a punch's rewind stops, bare or behind its DC2 and
  // DC4: the statement after the opening stop, in the header or ahead of
  // it, or on a tape without one, states the tape's digits, for the guess
  // as for the reading.
  const std::vector<std::vector<std::string>> layouts = {
      {"M48", ";FILE_FORMAT=2:3", "INCH,TZ", "%"},
      {";FILE_FORMAT=2:3", "M48", "INCH,TZ", "%"},
      {";FILE_FORMAT=2:3", "INCH,TZ"}};
  for (const auto& [first, last] : {std::pair{"", ""}, {"%", "%"}, {"\x12%", "%\x14"}}) {
    for (const std::vector<std::string>& layout : layouts) {
      SCOPED_TRACE(testing::PrintToString(first) + " " + layout[0]);
      std::vector<std::string> lines = {first};
      lines.insert(lines.end(), layout.begin(), layout.end());
      lines.insert(lines.end(), {"X01234Y01", "M30", last});
      const std::string framed = Tape(lines);
      f = PrefilledTapeFormat(framed, stored);
      EXPECT_EQ(f.IntegerDigits, 2);
      EXPECT_EQ(f.DecimalDigits, 3);
      TCallLog r(framed, TempDir.string(), false);
      r.RunFailed();
      ASSERT_EQ(r.Hits.size(), 1u);
      EXPECT_EQ(r.Hits[0].X, int64_t(Inch) * 1234 / 1000);
      EXPECT_EQ(r.Hits[0].Y, int64_t(Inch) / 1000);
      r.Done();
    }
  }
  f = PrefilledTapeFormat(Tape({"M48", "INCH,TZ", "%", "X012500Y012500"}), stored);
  EXPECT_FALSE(f.Metric);
  EXPECT_EQ(f.ZerosUsed, 1);

  // Shown: words of varying length ending in 0 keep their trailing zeros;
  // words beginning with 0 their leading ones.
  f = PrefilledTapeFormat(Tape({"M48", "T1C0.02", "%", "T1", "X40500Y6270", "X12100Y5314",
                                 "X9250Y14064"}),
                           stored);
  EXPECT_EQ(f.ZerosUsed, 1);
  EXPECT_EQ(f.IntegerDigits, 2);
  EXPECT_EQ(f.DecimalDigits, 4);
  TDrillFormatRecord trailing = stored;
  trailing.ZerosUsed = 1;
  f = PrefilledTapeFormat(Tape({"T1", "X0405Y00627", "X01215Y05314", "X019Y011"}), trailing);
  EXPECT_EQ(f.ZerosUsed, 0);
  // "Both" is kept for a tape with leading zeros.
  TDrillFormatRecord both = stored;
  both.ZerosUsed = 2;
  EXPECT_EQ(PrefilledTapeFormat(Tape({"T1", "X0405Y00627", "X01215Y05314"}), both).ZerosUsed, 2);
  // Fixed-width words and decimal points show nothing: as stored.
  EXPECT_EQ(PrefilledTapeFormat(Tape({"T1", "X012500Y012500", "X030000Y011000"}), trailing),
            trailing);
  EXPECT_EQ(PrefilledTapeFormat(Tape({"INCH", "T1", "X1.25Y-3.5", "X2.5Y1"}), trailing), trailing);
  // A lone overlong word is a fault of the tape, which the reader reports,
  // not a format.
  EXPECT_EQ(PrefilledTapeFormat(Tape({"T1", "X012500Y012500", "X030000Y011000", "X020000Y013000",
                                      "X1234567Y010000"}),
                                trailing),
            trailing);

  // Digits that would put the board beyond a metre, or overflow, give way
  // to the nearest that does not: seven-digit words with trailing zeros
  // kept need five decimals in inches.
  f = PrefilledTapeFormat(Tape({"INCH,TZ", "T1C0.02", "X2500000Y1000000", "X100000Y200000"}),
                           stored);
  EXPECT_EQ(f.ZerosUsed, 1);
  EXPECT_EQ(f.DecimalDigits, 5);
  EXPECT_EQ(f.IntegerDigits, 2);

  // The rout and CAD imports' records are pre-filled alike.
  const std::string metricTape = Tape({"M48", "METRIC,TZ", "%", "G00X12500Y100", "G01X100Y12500"});
  const TRoutFormatRecord rout = PrefilledTapeFormat(metricTape, TRoutFormatRecord{});
  EXPECT_TRUE(rout.Metric);
  EXPECT_EQ(rout.ZerosUsed, 1);
  const TCadFormatRecord cad = PrefilledTapeFormat(metricTape, TCadFormatRecord{});
  EXPECT_TRUE(cad.Metric);
  EXPECT_EQ(cad.UnitsFactor, 1000000u);

  // Statements in lower case, with blanks and a comment after them.
  const TCadFormatRecord spaced =
      PrefilledTapeFormat(Tape({"m48", " metric , tz ;units", "%", "g00 x12500 y100", "x100y12500"}),
                          TCadFormatRecord{});
  EXPECT_TRUE(spaced.Metric);
  EXPECT_EQ(spaced.ZerosUsed, 1);

  // Words longer than any number (21 digits and more) show nothing either,
  // and are no trouble to look at.
  EXPECT_EQ(PrefilledTapeFormat(Tape({"T1", "X1000000000000000000000Y1000000000000000000000",
                                      "X100000000000000000000Y0100"}),
                                trailing),
            trailing);

  // A file that cannot be read leaves the stored format.
  EXPECT_EQ(PrefilledTapeFormat((TempDir / "missing.drl").string(), trailing), trailing);
}

// A board of holes of the given size on a pitch (both in the unit written),
// ten by four, each coordinate written by the function; a size of 0 leaves
// the tool without one.
std::vector<std::string> GridTape(std::vector<std::string> header, double size, double pitch,
                                  const std::function<std::string(double)>& number) {
  char tool[32];
  std::snprintf(tool, sizeof tool, "T1C%.3f", size);
  if (size > 0.0) header.push_back(tool);
  header.push_back("%");
  header.push_back("T1");
  for (int i = 0; i < 10; ++i)
    for (int j = 0; j < 4; ++j)
      header.push_back("X" + number(10 * pitch + i * pitch) + "Y" + number(5 * pitch + j * pitch));
  header.push_back("M30");
  return header;
}

// Six digits, every zero written, the point after the given digit.
std::string SixDigits(double value, int integer) {
  char text[16];
  std::snprintf(text, sizeof text, "%06lld",
                static_cast<long long>(std::llround(value * std::pow(10.0, 6 - integer))));
  return text;
}

// What the shared tapes written in other formats do not show: answers left
// by the tape before, too few holes, stated digits, sizes only in comments
// and units shown by them.
TEST_F(NcTapeFormat, PrefilledFormatWeighsTheHolesSpacingAndTheirSizes) {
  TDrillFormatRecord stored;  // inch 2.4, metric 3.3, leading zeros kept
  const auto twoFour = [](double v) { return SixDigits(v, 2); };
  // Answers left at 3.3 inch by the tape before: a board at 0.1 in with its
  // trailing zeros written reads 10 in wide, its holes 28 sizes apart; four
  // decimals place the point.
  TDrillFormatRecord left = stored;
  left.IntegerDigits = left.DecimalDigits = 3;
  TDrillFormatRecord f = PrefilledTapeFormat(
      Tape(GridTape({"M48", "INCH,TZ"}, 0.035, 0.1,
                    [](double v) { return std::to_string(std::llround(v * 10000)); })),
      left);
  EXPECT_EQ(f.ZerosUsed, 1);
  EXPECT_EQ(f.DecimalDigits, 4);
  // Incremental moves of 2.54 mm in 2.4 are spaced as the sums of the
  // moves.
  std::vector<std::string> steps = {"M48", "METRIC", "T1C1.000", "%", "G91", "T1"};
  for (int i = 0; i < 40; ++i) steps.push_back(i % 10 == 0 ? "X-228600Y+025400" : "X+025400");
  EXPECT_EQ(PrefilledTapeFormat(Tape(steps), stored).MetricIntegerDigits, 2);
  // The points of a routed path stand closer than its router's size: they
  // are no holes.
  std::vector<std::string> path = {"M48", "INCH", "T1C0.125", "%", "T1", "G00X010000Y010000",
                                   "M15"};
  for (int i = 1; i <= 40; ++i) path.push_back("G01X" + SixDigits(1.0 + i * 0.01, 2) + "Y010000");
  path.push_back("M16");
  EXPECT_EQ(PrefilledTapeFormat(Tape(path), stored), stored);
  // Too few holes to tell, or stated digits, keep the digits.
  EXPECT_EQ(PrefilledTapeFormat(Tape({"M48", "INCH", "T1C0.125", "%", "T1", "X010000Y010000",
                                      "X100000Y010000", "X100000Y080000", "X010000Y080000"}),
                                stored),
            stored);
  f = PrefilledTapeFormat(Tape(GridTape({"M48", ";FILE_FORMAT=3:3", "METRIC"}, 1.0, 2.54, twoFour)),
                          stored);
  EXPECT_EQ(f.MetricIntegerDigits, 3);
  EXPECT_EQ(f.MetricDecimalDigits, 3);

  // Tools whose sizes only the drill list's comments give, in millimetres
  // or in mils; a comment without a unit, or about no tool, gives none.
  f = PrefilledTapeFormat(
      Tape(GridTape({"M48", ";T01 1.000mm PLATED", "METRIC"}, 0, 2.54, twoFour)), stored);
  EXPECT_EQ(f.MetricIntegerDigits, 2);
  f = PrefilledTapeFormat(
      Tape(GridTape(
          {"M48", ";T01 Holesize 1. = 35.000000 Tolerance = +0.000000/-0.000000 PLATED MILS",
           "INCH"},
          0, 0.1, [](double v) { return SixDigits(v, 3); })),
      stored);
  EXPECT_EQ(f.IntegerDigits, 3);
  f = PrefilledTapeFormat(
      Tape(GridTape({"M48", ";T01 1.000", ";DRILL 1.000mm", "METRIC"}, 0, 2.54, twoFour)), stored);
  EXPECT_EQ(f.MetricIntegerDigits, 3);

  // No unit line: inch sizes make an inch tape, sizes that fit both units
  // leave the stored one, unless a comment gives them in a unit.
  TDrillFormatRecord metric = stored;
  metric.Metric = true;
  const auto fixed = [](double v) { return SixDigits(v, 3); };
  EXPECT_FALSE(PrefilledTapeFormat(Tape(GridTape({"M48"}, 0.032, 0.1, twoFour)), metric).Metric);
  EXPECT_TRUE(PrefilledTapeFormat(Tape(GridTape({"M48"}, 0.15, 0.5, fixed)), metric).Metric);
  EXPECT_FALSE(PrefilledTapeFormat(Tape(GridTape({"M48"}, 0.15, 0.5, fixed)), stored).Metric);
  EXPECT_TRUE(PrefilledTapeFormat(Tape(GridTape({"M48", ";T01 0.150mm"}, 0.15, 0.5, fixed)), stored)
                  .Metric);
  EXPECT_FALSE(PrefilledTapeFormat(
                   Tape(GridTape({"M48", ";Holesize 1 = 150 mils"}, 0.15, 0.5, fixed)), metric)
                   .Metric);
}

// A hole drilled again, right after itself or after the rest of the board,
// is one hole: the board's spacing is that of its holes, whichever way its
// hits repeat them.
TEST_F(NcTapeFormat, PrefilledFormatTakesHolesDrilledAgainOnce) {
  TDrillFormatRecord left;
  left.IntegerDigits = left.DecimalDigits = 3;
  const auto trailing = [](double v) { return std::to_string(std::llround(v * 10000)); };
  const std::vector<std::string> once = GridTape({"M48", "INCH,TZ"}, 0.035, 0.1, trailing);
  const TDrillFormatRecord expected = PrefilledTapeFormat(Tape(once, "once.drl"), left);
  ASSERT_EQ(expected.DecimalDigits, 4);
  // The hits between the tool selection and M30.
  const auto first = std::find(once.begin(), once.end(), "T1") + 1;
  const std::vector<std::string> hits(first, once.end() - 1);
  for (int pass = 0; pass < 3; ++pass) {
    std::vector<std::string> tape(once.begin(), first);
    for (std::size_t i = 0; i < hits.size(); ++i)
      for (std::size_t k = 0; k <= (i + pass) % 3; ++k) tape.push_back(hits[i]);
    if (pass == 2) tape.insert(tape.end(), hits.rbegin(), hits.rend());
    tape.push_back("M30");
    EXPECT_EQ(PrefilledTapeFormat(Tape(tape, "again.drl"), left), expected) << "pass " << pass;
  }
  // A board of one hole drilled over and over shows no spacing: the stored
  // digits stay.
  std::vector<std::string> one(once.begin(), first);
  for (int i = 0; i < 40; ++i) one.push_back(hits[7]);
  EXPECT_EQ(PrefilledTapeFormat(Tape(one, "one.drl"), left).DecimalDigits, 3);
}

// A word of hundreds of digits is no number of a board: its hit neither
// stops the guess nor moves it off what the other holes show.
TEST_F(NcTapeFormat, PrefilledFormatPassesOverWordsBeyondEveryNumber) {
  TDrillFormatRecord stored;
  const std::string huge(400, '9');
  for (const std::string& far : {"X" + huge + "Y010000", "X-" + huge + "Y010000",
                                 "X" + std::string(308, '9') + "Y" + std::string(308, '9')}) {
    std::vector<std::string> lines = {"M48", "INCH", "T1C0.020", "%", "T1"};
    for (int i = 0; i < 30; ++i)
      lines.push_back("X0" + std::to_string(10000 + 1000 * (i % 6)) + "Y0" + std::to_string(10000 + 1000 * (i / 6)));
    lines.push_back(far);
    lines.push_back("X-" + std::string(308, '9') + "Y-" + std::string(308, '9'));
    const TDrillFormatRecord f = PrefilledTapeFormat(Tape(lines), stored);
    EXPECT_EQ(f.IntegerDigits, 2) << far.substr(0, 12);
    EXPECT_EQ(f.DecimalDigits, 4) << far.substr(0, 12);
  }
}

// The guess reads the tape a block at a time: every way of ending lines,
// a last line without its end and lines across the blocks read give what
// the tape says; a line too long for any tape ends the scan there.
TEST_F(NcTapeFormat, PrefilledFormatReadsTheLinesHoweverTheyEnd) {
  TDrillFormatRecord stored;
  const auto bytes = [&](const std::string& text) {
    const auto path = TempDir / "bytes.drl";
    std::ofstream(path, std::ios::binary) << text;
    return PrefilledTapeFormat(path.string(), stored);
  };
  const std::vector<std::string> lines = {"M48", ";t01 0.8mm", "T1C0.8", "%", "T1", "x0405Y00627",
                                          "X01215Y05314", "X019y011"};
  const TDrillFormatRecord expected = PrefilledTapeFormat(Tape(lines), stored);
  EXPECT_TRUE(expected.Metric);
  EXPECT_EQ(expected.ZerosUsed, 0);
  for (const std::string end : {"\n", "\r", "\r\r\n", "\n\r", "\n\n"}) {
    std::string text;
    for (const std::string& l : lines) text += l + end;
    EXPECT_EQ(bytes(text), expected) << int(end[0]) << " " << end.size();
    text.resize(text.size() - end.size());  // the last line without its end
    EXPECT_EQ(bytes(text), expected) << int(end[0]) << " " << end.size();
    // Lines of up to the longest a tape may have, ahead of the statements,
    // push them across the blocks read.
    const std::string longest = ";" + std::string(kMaxTextLine - 1, 'a');
    EXPECT_EQ(bytes(longest + end + longest + end + longest + end + text), expected);
    EXPECT_EQ(bytes(std::string(40000, ' ') + end + text), expected);
  }
  // A NUL is tape feed, passed over as the reader passes over it: no end
  // of its line, nor a character of it.
  std::string nul = "M48\nMET";
  nul += '\0';
  EXPECT_TRUE(bytes(nul + "RIC\n").Metric);
  // Nor is a TAB: a blank inside the block, as the reader takes it.
  EXPECT_TRUE(bytes("M48\nMET\tRIC\n").Metric);
  // What follows a longer line is not read.
  const std::string overlong = ";" + std::string(kMaxTextLine, 'a') + "\n";
  EXPECT_TRUE(bytes("METRIC\n" + overlong + "INCH\n").Metric);
  EXPECT_FALSE(bytes("M48\n" + overlong + "METRIC\n").Metric);
  EXPECT_EQ(bytes(""), stored);
}

}  // namespace
