// The one-pass decoding of plain hole lines against the general way: every
// tape is read twice, once with the fast way switched off, and every call of
// the reader's consumer, every hit with its block, every tool record and the
// failed flag must agree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "nc_call_log.h"

namespace {

namespace fs = std::filesystem;

struct TReading {
  std::vector<std::string> Calls;
  std::vector<std::string> Hits;
  std::vector<std::string> Tools;
  bool Failed = false;
};

// A tape whose repeats make millions of holes is cut short: the reading is
// cancelled once the log is long, at the same poll both ways.
class TCappedLog : public TCallLog {
 public:
  using TCallLog::TCallLog;
  void Poll(bool& abort) override {
    if (Calls.size() > 20000) abort = true;
  }
};

TReading ReadTape(const fs::path& file, const fs::path& scratch, const TTapeOptions& o,
                  bool incremental, bool fast, bool direct = false) {
  PlainLineFastPath = fast;
  TCappedLog r(file.string(), scratch.string(), o);
  r.Incremental = incremental;
  if (direct) r.SetDirectEmission();
  TReading out;
  out.Failed = r.RunFailed();
  PlainLineFastPath = true;
  out.Calls = r.Calls;
  for (const TLoggedHit& h : r.Hits)
    out.Hits.push_back(std::to_string(h.X) + " " + std::to_string(h.Y) + " " +
                       std::to_string(h.Size) + " " + std::to_string(h.Tool) + " " +
                       std::to_string(h.Block));
  TNCReader::TTakenTool t;
  while (r.TakeFirstTool(t))
    out.Tools.push_back(std::to_string(t.Tool) + " " + std::to_string(t.Diameter) + " " +
                        std::to_string(t.Hits) + " " + std::to_string(t.Travel));
  r.Done();
  return out;
}

// The formats a tape is read with: zeros, digits, units and incremental mode.
struct TFormatCase {
  bool LeadingZeros;
  int32_t IntegerDigits, DecimalDigits;
  bool Metric, Incremental;
};
const TFormatCase Formats[] = {
    {true, 2, 4, false, false},  {false, 2, 4, false, false}, {true, 3, 3, true, false},
    {false, 3, 3, true, false},  {true, 2, 4, false, true},   {false, 3, 3, true, true},
    {true, 1, 2, false, false},  {false, 10, 10, false, false},
};

// Reads the tape both ways in every format; answers how many hits the fast
// way's readings gave in all.
size_t ExpectSameBothWays(const fs::path& file, const fs::path& scratch) {
  size_t hits = 0;
  for (const TFormatCase& f : Formats) {
    SCOPED_TRACE(file.filename().string() + " LZ " + std::to_string(f.LeadingZeros) + " " +
                 std::to_string(f.IntegerDigits) + "." + std::to_string(f.DecimalDigits) +
                 (f.Metric ? " mm" : " in") + (f.Incremental ? " inc" : " abs"));
    TTapeOptions o;
    o.LeadingZeros = f.LeadingZeros;
    o.IntegerDigits = f.IntegerDigits;
    o.DecimalDigits = f.DecimalDigits;
    o.Metric = f.Metric;
    const TReading general = ReadTape(file, scratch, o, f.Incremental, false);
    const TReading fast = ReadTape(file, scratch, o, f.Incremental, true);
    EXPECT_EQ(fast.Failed, general.Failed);
    EXPECT_EQ(fast.Hits, general.Hits);
    EXPECT_EQ(fast.Calls, general.Calls);
    EXPECT_EQ(fast.Tools, general.Tools);
    hits += fast.Hits.size();
  }
  return hits;
}

class NcPlainLines : public TKorvexTest {};

TEST_F(NcPlainLines, OnePassDecodingGivesTheWordsOfTheGeneralDecoding) {
  // Random lines of X and Y words and their near misses in random formats:
  // where the one-pass decoding takes a line, words, values and the table's
  // state are those of the general decoding; what it leaves is left as it was.
  std::mt19937 random(4404);
  const char* const pieces[] = {"X", "Y", "+", "-", ".", "0", "1", "2", "5", "9", "Z", " "};
  size_t taken = 0;
  for (int round = 0; round < 20000; ++round) {
    TWordFormatTable formats;
    for (char letter : {'X', 'Y'}) {
      TLetterFormat& f = formats.Of(letter);
      f.LeftAligned = random() % 2;
      // (Formats of more than 18 digits in all overflow the general decoding.)
      f.IntegerDigits = random() % 10;
      f.DecimalDigits = random() % 10;
      f.PointMode = random() % 8 == 0;
      f.UseDefault = random() % 2;
    }
    formats.Default = {bool(random() % 2), 2, 4, false};
    std::string line;
    if (round % 2 == 0) {
      line = "X" + std::string(random() % 3 ? "" : "-") + std::to_string(random() % 1000000000);
      if (random() % 4) line += "Y" + std::to_string(random() % (1 + random() % 1000000));
    } else {
      const int n = 1 + random() % 12;
      for (int k = 0; k < n; ++k) line += pieces[random() % (sizeof pieces / sizeof *pieces)];
    }
    // A NUL inside the line (a damaged tape) is no end of it.
    if (round % 16 == 1) line.insert(random() % (line.size() + 1), 1, '\0');
    SCOPED_TRACE(line);
    TWordFormatTable general = formats;
    TDecodedBlock expected;
    bool error = false;
    std::string errorText;
    DecodeLine(general, line, expected, error, errorText);

    formats.DecodeError = true;
    formats.DecodeErrorText = "before";
    formats.DroppedLetters = "P";
    TDecodedBlock block;
    block.WordCount = -1;
    if (!DecodePlainPositionLine(formats, line, block.Letters.data(), block.Values.data(),
                                 block.WordCount)) {
      EXPECT_EQ(block.WordCount, -1);
      EXPECT_EQ(formats.DecodeErrorText, "before");
      continue;
    }
    ++taken;
    EXPECT_FALSE(error);
    EXPECT_EQ(block.WordCount, expected.WordCount);
    EXPECT_EQ(block.Letters, expected.Letters);
    EXPECT_EQ(block.Values, expected.Values);
    EXPECT_EQ(formats.DecodeError, general.DecodeError);
    EXPECT_EQ(formats.DecodeErrorText, general.DecodeErrorText);
    EXPECT_EQ(formats.DroppedLetters, general.DroppedLetters);
    EXPECT_EQ(formats.XYPoint, general.XYPoint);
  }
  EXPECT_GT(taken, 2000u);
}

TEST_F(NcPlainLines, GeneratedTapesReadAlikeBothWays) {
  // Signs, points, suppressed zeros, one axis, too many digits, words the
  // general way reads in other ways, and lines around modal state (repeats,
  // patterns, cycles, unit switches, a header, an M99 call).
  const std::string fixed =
      "M48\nINCH,TZ\nT1C0.0100\nT2C.02\n%\nG90\nG05\nT1\nX1Y1\nX+0010Y-0020\nX-5\nY7\n"
      "X123456Y1234567\nX1234567890Y1\nX12345678901\nX1.5Y-.25\nX.5\nY2.\nX3Y4X5\nY1Y2\n"
      "X+Y-\nX1Y\nXY\nX-0Y+0\nX12R3\nX10Y10R2\nM25\nX1Y2\nM01\nM02X10Y10\nM08\nT2\nX5Y5\n"
      "G81\nX1Y1\nX2Y2\nX3Y3\nG82\nM97,AB\nX4Y4\nG91\nX1Y1\nX-2\nG90\nX1Y1 \n X2Y2\nx3y3\n"
      "X4Y4;note\nM71\nX100Y200\nM72\nX100Y200\nMETRIC,LZ\nX100Y200\nX100Y200*\nINCH,TZ\n"
      "X12Y34\nM99,nothere.drl\nX5Y6\nP2X1Y1\nX7Y7\nM30\n";
  WriteFileBytes(TempDir / "fixed.drl", fixed);
  EXPECT_GT(ExpectSameBothWays(TempDir / "fixed.drl", TempDir), 0u);

  // Random plain and nearly plain lines.
  std::mt19937 random(44);
  const char* const pieces[] = {"X", "Y", "+", "-", ".", "0", "1", "5", "9", "R", "T1", "G91",
                                "G90", "M25", "M01", "M02", ",", ";", " "};
  std::ostringstream tape;
  tape << "M48\nT1C0.01\n%\n";
  for (int line = 0; line < 3000; ++line) {
    if (line % 3 == 0) {
      tape << "X" << (random() % 2 ? "-" : "") << random() % 2000000 << "Y" << random() % 99999
           << "\n";
      continue;
    }
    const int n = 1 + random() % 8;
    for (int k = 0; k < n; ++k) tape << pieces[random() % (sizeof pieces / sizeof *pieces)];
    tape << "\n";
  }
  tape << "M30\n";
  WriteFileBytes(TempDir / "random.drl", tape.str());
  EXPECT_GT(ExpectSameBothWays(TempDir / "random.drl", TempDir), 0u);
}

TEST_F(NcPlainLines, HolesAmongRoutMovesReadAlikeBothWays) {
  // Holes after a held rout move, after queued texts, with compensation
  // switched on and off, in patterns and cycles, through a divisor and with
  // every move emitted at once: the hole without a record where nothing is
  // held, the general emission where something is.
  std::mt19937 random(4471);
  const char* const pieces[] = {"G00", "G01", "G02", "G03", "G05", "G40", "G41", "G42", "M15",
                                "M16", "N12", "M47,STOP", "T2", "T1", "M25", "M01", "M02",
                                "G81", "G82", "R2", "I5", "J5", "G91", "G90", "M71", "M72"};
  for (int tapeNo = 0; tapeNo < 6; ++tapeNo) {
    std::ostringstream tape;
    tape << "M48\nT1C0.01\nT2C0.02\n%\nT1\n";
    // A compensation side set in the drill mode, then holes and a path.
    tape << "G05\nG41\nX100Y100\nX150Y50\nG01\nM15\nX200Y200\nX300Y100\nM16\nG05\nX400Y400\n";
    for (int line = 0; line < 1500; ++line) {
      const int kind = int(random() % 4);
      if (kind <= 1) {
        tape << "X" << (random() % 2 ? "-" : "") << random() % 3000 << "Y" << random() % 3000
             << "\n";
      } else if (kind == 2) {
        tape << pieces[random() % (sizeof pieces / sizeof *pieces)] << "\n";
      } else {
        tape << pieces[random() % (sizeof pieces / sizeof *pieces)] << "X" << random() % 3000
             << "Y" << random() % 3000 << "\n";
      }
    }
    tape << "M30\n";
    const fs::path file = TempDir / ("rout" + std::to_string(tapeNo) + ".drl");
    WriteFileBytes(file, tape.str());
    for (int variant = 0; variant < 4; ++variant) {
      SCOPED_TRACE("tape " + std::to_string(tapeNo) + " variant " + std::to_string(variant));
      TTapeOptions o;
      o.LeadingZeros = false;
      o.Divisor = variant == 1 ? 3 : 1;
      o.Metric = variant == 2;
      o.CutterCompensation = variant != 3;
      const bool direct = variant == 3;
      const TReading general = ReadTape(file, TempDir, o, false, false, direct);
      const TReading fast = ReadTape(file, TempDir, o, false, true, direct);
      EXPECT_EQ(fast.Failed, general.Failed);
      EXPECT_EQ(fast.Hits, general.Hits);
      EXPECT_EQ(fast.Calls, general.Calls);
      EXPECT_EQ(fast.Tools, general.Tools);
      EXPECT_GT(fast.Hits.size(), 100u);
    }
  }
}

TEST_F(NcPlainLines, TapesOfTheTestsAndSamplesReadAlikeBothWays) {
  std::vector<fs::path> files;
  const fs::path corpus = fs::path(KORVEX_TEST_DATA_DIR).parent_path() / "fuzz" / "corpus";
  for (const char* folder : {"nc_reader", "drill_import", "detect", "rout_import", "cad_import"}) {
    if (!fs::exists(corpus / folder)) continue;
    for (const auto& entry : fs::directory_iterator(corpus / folder))
      if (entry.is_regular_file()) files.push_back(entry.path());
  }
  const fs::path samples = SharedTestData() / "excellon";
  if (!SharedTestData().empty() && fs::exists(samples))
    for (const auto& entry : fs::directory_iterator(samples))
      if (entry.is_regular_file()) files.push_back(entry.path());
  if (files.empty()) GTEST_SKIP() << "no tapes";
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) ExpectSameBothWays(file, TempDir);
}

}  // namespace
