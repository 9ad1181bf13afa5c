#include "foundation/swap_filter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "foundation/file_utils.h"
#include "korvex_test.h"

namespace fs = std::filesystem;

class SwapFilterTest : public TKorvexTest {
 protected:
  // Writes a swap file into the test folder and returns its name.
  std::string SwapFile(const std::string& name, const std::string& text) {
    fs::path path = TempDir / "home" / "SWAP" / name;
    WriteFileBytes(path, text);
    return path.string();
  }
  // Loads an import filter from the rules and returns the filter.
  std::unique_ptr<TSwapFilter> Filter(const std::string& rules, bool outputMode = false) {
    auto filter = std::make_unique<TSwapFilter>();
    LoadSwapFiles(*filter, SwapFile("TEST.SWP", rules), {}, outputMode, {});
    return filter;
  }
  std::string Apply(const std::string& rules, const std::string& line) {
    auto filter = Filter(rules);
    return ApplySwapFilter(*filter, line);
  }
  // Reads every line of a tape through an import filter.
  std::vector<std::string> ReadAll(const std::string& fileList, const fs::path& tape, bool charMode = false,
                                   int32_t* rawCount = nullptr) {
    std::FILE* f = std::fopen(tape.c_str(), "rb");
    SwapReadFileObj swap;
    swap.Init(fileList, f, charMode);
    std::vector<std::string> lines;
    while (!swap.Eof() && lines.size() < 1000) {
      std::string line;
      swap.ReadLine(line);
      lines.push_back(line);
    }
    if (rawCount) *rawCount = swap.LineCount();
    swap.Done();
    std::fclose(f);
    return lines;
  }
  // Writes the lines through an export filter and returns the file's bytes.
  std::string WriteAll(const std::string& fileList, const std::vector<std::string>& lines) {
    fs::path out = TempDir / "OUT.DRL";
    std::FILE* f = std::fopen(out.c_str(), "wb");
    SwapWriteFileObj swap;
    swap.Init(fileList, f);
    for (const std::string& line : lines) swap.WriteLine(line);
    EXPECT_EQ(swap.IOResultCode(), 0);
    swap.Done();
    std::fclose(f);
    return ReadFileBytes(out);
  }
};

TEST_F(SwapFilterTest, PlainRulesReplaceTheFirstOccurrenceInFileOrder) {
  EXPECT_EQ(Apply("X=Y\n", "X1X2"), "Y1X2");
  EXPECT_EQ(Apply("X=\n", "X1X2"), "1X2");
  EXPECT_EQ(Apply("X=Y\nY=Z\n", "X1"), "Z1");
  EXPECT_EQ(Apply("  ; comment=no\n\nno equals here\nA = B\n", "A =1"), " B=1");  // blanks belong to the rule
  EXPECT_EQ(Apply("swap=T=TOOL\n", "T1"), "TOOL1");
  EXPECT_EQ(Apply("HEADER=H\n", "HEADER"), "H");  // input mode: any line with "=" is a rule
  EXPECT_EQ(Apply("=<\n", "ABC"), "<ABC");         // an empty pattern matches at the start
  EXPECT_EQ(Apply("Q=%%3\n", "Q"), "%%3");          // an empty variable stays as written
}

TEST_F(SwapFilterTest, EditingProgramsFromTheirDescription) {
  EXPECT_EQ(Apply("G81=G81[/c]T1\n", "X1G81Y2"), "X1G81\r\nT1Y2");
  EXPECT_EQ(Apply("M30=[/e]\n", "M30"), "M30");
  auto filter = Filter("N=[/l/K]\n");
  EXPECT_EQ(ApplySwapFilter(*filter, "N123X5"), "X5");
  EXPECT_EQ(filter->Controls[0]->Vars[9], StringValue("N123"));
  filter = Filter("N=[/K]\n");
  EXPECT_EQ(ApplySwapFilter(*filter, "N123X5"), "NX5");
  EXPECT_EQ(filter->Controls[0]->Vars[9], StringValue("123"));
  EXPECT_EQ(Apply("A=[/c2]\n", "xAy"), "xA\r\ny");  // empty lines disappear
  EXPECT_EQ(filter->LoadErrors.size(), 0u);
}

TEST_F(SwapFilterTest, CursorCommands) {
  EXPECT_EQ(Apply("X=[/h]S\n", "AX"), "SAX");
  EXPECT_EQ(Apply("X=[/e]E\n", "XA"), "XAE");
  EXPECT_EQ(Apply("X=[/l2]-\n", "ABX"), "A-BX");
  EXPECT_EQ(Apply("X=[/l9]-\n", "ABX"), "-ABX");
  EXPECT_EQ(Apply("X=[/r3]-\n", "XA"), "XA  -");       // blanks appended past the end
  EXPECT_EQ(Apply("X=[/b2]\n", "ABX1"), "A1");          // the cursor stands after the pattern
  EXPECT_EQ(Apply("X=[/b0]\n", "ABX1"), "ABX1");
  EXPECT_EQ(Apply("X=[/t]\n", "AX123"), "AX");
  EXPECT_EQ(Apply("X=[/o]YZ\n", "AX123"), "AXYZ3");
  EXPECT_EQ(Apply("X=[/o]YZW\n", "AX1"), "AXYZW");
  EXPECT_EQ(Apply("X=[/o/i]YZ\n", "AX1"), "AXYZ1");
  EXPECT_EQ(Apply("X=[/s(3)]-\n", "X1234"), "X123-4");
  EXPECT_EQ(Apply("X=[/s2(1)]-\n", "X1A1B1"), "X1A1-B1");
  EXPECT_EQ(Apply("X=[/s(Q)]-\n", "X1"), "X-1");
  EXPECT_EQ(Apply("X=[/R(1)(9)]\n", "1X1X1"), "1X9X1");
  EXPECT_EQ(Apply("X=[/R5(1)(99)]\n", "1X1X1"), "1X99X99");
  EXPECT_EQ(Apply("X=[/R(1)]\n", "X1"), "X1");          // without both arguments nothing happens
  EXPECT_EQ(Apply("X=[/c2/b]\n", "AXB"), "AX\r\nB");     // "b" takes a line break back whole
  EXPECT_EQ(Apply("X=[/l/o]Y\n", "AXB"), "AYB");
  EXPECT_EQ(Apply("X=[/e/c/h]-\n", "X1"), "-X1");
  EXPECT_EQ(Apply("X=[/q/e]!\n", "X1"), "X1!");          // an unknown command is ignored
  EXPECT_EQ(Apply("X=[/c2 ]T1[/e]\n", "AXB"), "AX\r\nB");  // the group ends only at "]" after a command
}

TEST_F(SwapFilterTest, StatementsCountAssignAndStop) {
  auto filter = Filter("X=[/%1=%1+1]%%1\n");
  EXPECT_EQ(ApplySwapFilter(*filter, "X"), "X1");
  EXPECT_EQ(ApplySwapFilter(*filter, "X"), "X2");
  EXPECT_EQ(ApplySwapFilter(*filter, "Y"), "Y");
  EXPECT_EQ(ApplySwapFilter(*filter, "AX"), "AX3");

  filter = Filter("X=[/%1=%1+1/IF %1=2 THEN EOF]\nX=Y\n");
  EXPECT_EQ(ApplySwapFilter(*filter, "X"), "Y");
  EXPECT_EQ(ApplySwapFilter(*filter, "X"), "X");  // stopped: the later rules leave the line alone
  EXPECT_TRUE(filter->Controls[0]->Stopped);
  EXPECT_EQ(ApplySwapFilter(*filter, "X"), "X");

  EXPECT_EQ(Apply("X=[/%2=\"A/B\"]%%2\n", "X"), "XA/B");
  EXPECT_EQ(Apply("X=[/%2=LEFT$(%0,2)+\"-\"]%%2\n", "X123"), "XX1-123");
  // Not statements: unknown commands, after which the group runs to the end.
  EXPECT_EQ(Apply("X=[/LET %1=5]%%1\n", "X"), "X");
  EXPECT_EQ(Apply("X=[/%12=5]%%1\n", "X"), "X");
  EXPECT_EQ(Apply("X=[/LET%1=5]%%1\n", "X"), "X5");
  EXPECT_EQ(Apply("T=[/%1=\"]\"]%%1\n", "T1"), "T]1");  // "]" inside a literal does not end the group
  EXPECT_EQ(Apply("X=[/IF 1<2 THEN %5=TRUE]%%5\n", "X"), "XTRUE");
}

TEST_F(SwapFilterTest, SectionSwitchTakesEffectOnTheNextLine) {
  // Rules 1-2 form the first section; "!" in rule 2 moves on to rules 3-4.
  auto filter = Filter("A=a\nB=[/!]\nC=c\nD=[/e/!]\nE=e\n");
  EXPECT_EQ(ApplySwapFilter(*filter, "ABCDE"), "aBCDE");
  EXPECT_EQ(ApplySwapFilter(*filter, "ABCDE"), "ABcDE");
  EXPECT_EQ(ApplySwapFilter(*filter, "ABCDE"), "ABCDe");
}

TEST_F(SwapFilterTest, FilesWorkInListOrderAndAMissingFileIsReported) {
  std::string a = SwapFile("A.SWP", "X=Y\n");
  std::string b = SwapFile("B.SWP", "Y=Z\n");
  TSwapFilter filter;
  LoadSwapFiles(filter, a + ";" + b, {}, false, {});
  EXPECT_TRUE(filter.Loaded);
  EXPECT_EQ(ApplySwapFilter(filter, "X1"), "Z1");
  std::vector<std::string> reported;
  LoadSwapFiles(filter, a + ";" + (TempDir / "MISSING.SWP").string(), {}, false,
                [&](const std::string& m) { reported.push_back(m); });
  EXPECT_FALSE(filter.Loaded);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "Swap file " + (TempDir / "MISSING.SWP").string() + ": " + SystemErrorText(ENOENT));
  EXPECT_EQ(filter.LoadErrors, reported);
  ASSERT_EQ(filter.Controls.size(), 2u);
  EXPECT_EQ(ApplySwapFilter(filter, "X1"), "Y1");
  LoadSwapFiles(filter, "", {}, false, {});
  EXPECT_TRUE(filter.Loaded);
  EXPECT_EQ(ApplySwapFilter(filter, "X1\r\n"), "X1");

  // EOF in the first file leaves the second file working.
  std::string stop = SwapFile("STOP.SWP", "M30=[/EOF]\nX=x\n");
  LoadSwapFiles(filter, stop + ";" + b, {}, false, {});
  EXPECT_EQ(ApplySwapFilter(filter, "XY"), "xZ");
  EXPECT_EQ(ApplySwapFilter(filter, "M30"), "M30");
  EXPECT_EQ(ApplySwapFilter(filter, "XY"), "XZ");
}

TEST_F(SwapFilterTest, LoaderCountsRulesAndReportsMalformedOnesByFileAndLine) {
  std::string name = SwapFile("BAD.SWP",
                              "; first line\n"
                              "G81=[/c\n"                      // line 2: no "]"
                              "X=[/z]\n"                       // line 3: unknown command
                              "Y=[/s]\n"                       // line 4: "s" without its text
                              "Z=[/IF (1 THEN EOF]\n"          // line 5: parentheses
                              "W=" + std::string(10000, 'w') + "\n"  // line 6: too long
                              "OK=[/e]\n");
  std::vector<std::string> messages;
  int notified = 0;
  TSwapFilter filter;
  LoadSwapFiles(filter, name, [&](int32_t size) { notified += size; }, false,
                [&](const std::string& m) { messages.push_back(m); });
  EXPECT_TRUE(filter.Loaded);
  EXPECT_EQ(notified, 5 * SwapRuleSize);
  EXPECT_EQ(messages, filter.LoadErrors);
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[0].rfind("Swap file " + name + ", line 2: ", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find("without \"]\""), std::string::npos);
  EXPECT_NE(messages[1].find("line 3: unknown command \"/z\""), std::string::npos) << messages[1];
  EXPECT_NE(messages[2].find("line 4: \"/s\" needs"), std::string::npos) << messages[2];
  EXPECT_NE(messages[3].find("line 5: mismatched parentheses"), std::string::npos) << messages[3];
  EXPECT_NE(messages[4].find("line 6: rule longer than 4096"), std::string::npos) << messages[4];
  // The unterminated group keeps its last command.
  EXPECT_EQ(ApplySwapFilter(filter, "AG81B"), "AG81\r\nB");
  EXPECT_EQ(ApplySwapFilter(filter, std::string(20000, 'W')), std::string(20000, 'W'));

  // A rule, then zeros without a line end: the reading stops at the bound.
  const std::string endless = SwapFile("ENDLESS.SWP", "A=B\n");
  fs::resize_file(endless, 6u << 20);
  TSwapFilter cut;
  LoadSwapFiles(cut, endless, {}, false, {});
  EXPECT_FALSE(cut.Loaded);
  ASSERT_EQ(cut.LoadErrors.size(), 1u);
  EXPECT_EQ(cut.LoadErrors[0], "Swap file " + endless +
                                   ", line 2: line longer than 65536 characters; the rest of the file is not read");
  EXPECT_EQ(ApplySwapFilter(cut, "XAX"), "XBX");
}

TEST_F(SwapFilterTest, StatementReferencesAreIdsOfTheirOwnFile) {
  std::string a = SwapFile("A.SWP", "X=[/%1=\"a\"]%%1\n");
  // A reference written by hand names a statement only of its own file.
  std::string b = SwapFile("B.SWP", "Y=[/BASIC:00000001]%%1\nZ=[/BASIC:00000009]\n");
  TSwapFilter filter;
  LoadSwapFiles(filter, a + ";" + b, {}, false, {});
  EXPECT_EQ(filter.Controls[0]->Rules[1].Replacement, "[/BASIC:00000001]%%1");
  EXPECT_EQ(ApplySwapFilter(filter, "XYZ"), "XaY%%1Z");  // and B's %1 is B's own
  ASSERT_EQ(filter.LoadErrors.size(), 2u);
  EXPECT_NE(filter.LoadErrors[0].find("names no statement"), std::string::npos);
}

TEST_F(SwapFilterTest, OutputModeTakesOnlySwapLines) {
  auto filter = Filter("HEADER=M48\nX=Y\nSwap=T=TT\n", true);
  EXPECT_EQ(ApplySwapFilter(*filter, "HEADER X T1"), "HEADER X TT1");
}

TEST_F(SwapFilterTest, WriterSkipsEmptyResultsAndWritesUnderscoreAsEmptyLine) {
  std::string name = SwapFile("OUT.SWP", "SWAP=M47=\nSWAP=M71=_\nSWAP=G81=[/c2]\nSWAP=T=[/c]T\n");
  EXPECT_EQ(WriteAll(name, {"M48", "M47", "M71", "G81", "T1X2"}), "M48\r\n\r\nG81\r\nT\r\nT1X2\r\n");
  EXPECT_EQ(WriteAll(name, {"M47", "M71", "M47"}), "\r\n");
  EXPECT_EQ(WriteAll("", {"A", "", "B"}), "A\r\nB\r\n");
}

TEST_F(SwapFilterTest, WriteErrorIsKeptAndLaterLinesAreDropped) {
  std::FILE* f = std::fopen("/dev/full", "wb");
  if (f == nullptr) GTEST_SKIP() << "no /dev/full";
  std::setvbuf(f, nullptr, _IONBF, 0);
  SwapWriteFileObj swap;
  swap.Init("", f);
  swap.WriteLine("M48");
  EXPECT_EQ(swap.IOResultCode(), ENOSPC);
  EXPECT_EQ(IOResult(), ENOSPC);
  swap.WriteLine("M30");
  EXPECT_EQ(IOResult(), 0);
  swap.Done();
  std::fclose(f);
}

TEST_F(SwapFilterTest, ReaderDeliversSplitLinesAndCountsRawLines) {
  std::string name = SwapFile("IN.SWP", "G81=G81[/c]T1\nM47=\nM71=_\n");
  fs::path tape = TempDir / "TAPE.DRL";
  WriteFileBytes(tape, "M48\r\nX1G81Y2\r\nM47\r\nM71\nM30");
  int32_t raw = 0;
  EXPECT_EQ(ReadAll(name, tape, false, &raw), (std::vector<std::string>{"M48", "X1G81", "T1Y2", "", "", "M30"}));
  EXPECT_EQ(raw, 5);

  WriteFileBytes(tape, "A\r\r\nB\n\nC\r\n\r\n");
  EXPECT_EQ(ReadAll("", tape, true), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(ReadAll("", tape, false), (std::vector<std::string>{"A", "", "B", "", "C", ""}));
}

TEST_F(SwapFilterTest, ACtrlZAsTheLastByteEndsTheTapeAndOneInsideALineIsKept) {
  fs::path tape = TempDir / "TAPE.DRL";
  using Lines = std::vector<std::string>;
  int32_t raw = 0;
  // Behind the last line end: no line of its own, in either mode and
  // through a filter.
  WriteFileBytes(tape, "M47,A\x1a" "B\r\nM16\r\n\x1a");
  EXPECT_EQ(ReadAll("", tape, false, &raw), (Lines{"M47,A\x1a" "B", "M16"}));
  EXPECT_EQ(raw, 2);
  EXPECT_EQ(ReadAll("", tape, true), (Lines{"M47,A\x1a" "B", "M16"}));
  const std::string filter = SwapFile("IN.SWP", "M16=M16[/c]M17\n");
  EXPECT_EQ(ReadAll(filter, tape, false), (Lines{"M47,A\x1a" "B", "M16", "M17"}));
  // Closing a last line without its line end.
  WriteFileBytes(tape, "M15\nM30\x1a");
  EXPECT_EQ(ReadAll("", tape, false), (Lines{"M15", "M30"}));
  // Or followed by one line end only, closing a line or on its own.
  WriteFileBytes(tape, "M15\r\nM30\x1a\r\n");
  EXPECT_EQ(ReadAll("", tape, false), (Lines{"M15", "M30"}));
  EXPECT_EQ(ReadAll("", tape, true), (Lines{"M15", "M30"}));
  WriteFileBytes(tape, "M15\r\n\x1a\r\n");
  EXPECT_EQ(ReadAll("", tape, true), (Lines{"M15"}));
  // Or by more end marks, blanks and line ends, as a padded transfer leaves
  // them. Anywhere else it is a character of its line.
  WriteFileBytes(tape, "\x1a\nM30\n\x1a\x1a \r\n\n\x1a");
  EXPECT_EQ(ReadAll("", tape, false), (Lines{"\x1a", "M30"}));
  EXPECT_EQ(ReadAll(filter, tape, true), (Lines{"\x1a", "M30"}));
  WriteFileBytes(tape, "M15\r\nM30\x1a\r\n\r\n");
  EXPECT_EQ(ReadAll("", tape, false), (Lines{"M15", "M30"}));
  // Starting a line as the last byte of the reader's block (64 KB) that is
  // not the file's.
  const std::string full(65535, 'X');
  WriteFileBytes(tape, full.substr(1) + "\n\x1a" "B\n");
  EXPECT_EQ(ReadAll("", tape, false), (Lines{full.substr(1), "\x1a" "B"}));
  WriteFileBytes(tape, full.substr(1) + "\n\x1a");
  EXPECT_EQ(ReadAll("", tape, false), (Lines{full.substr(1)}));
}

// A punch's blank trailer: NUL bytes behind the last line, with or without
// its line end, mixed with line ends, blanks and Ctrl-Zs, end the tape as a
// Ctrl-Z does, up to as many as a line holds. NULs that a line follows are
// characters of their line.
TEST_F(SwapFilterTest, ABlankTrailerOfNulsEndsTheTapeAndNulsInsideItAreKept) {
  fs::path tape = TempDir / "TAPE.RT";
  using Lines = std::vector<std::string>;
  const std::string trailer(80, '\0');
  const std::string filter = SwapFile("IN.SWP", "M16=M16[/c]M17\n");
  for (const std::string& tail : {trailer, "\r\n" + trailer, "\r\n" + trailer + "\r\n\x1a \n" + trailer,
                                  "\x1a" + trailer}) {
    SCOPED_TRACE(tail.size());
    WriteFileBytes(tape, "M15\r\nM16" + tail);
    int32_t raw = 0;
    EXPECT_EQ(ReadAll("", tape, false, &raw), (Lines{"M15", "M16"}));
    EXPECT_EQ(raw, 2);
    EXPECT_EQ(ReadAll("", tape, true), (Lines{"M15", "M16"}));
    EXPECT_EQ(ReadAll(filter, tape, false), (Lines{"M15", "M16", "M17"}));
  }
  // A line of them that a block follows is blank tape, read past.
  WriteFileBytes(tape, "M15\r\n" + trailer + "\r\nM30\r\nX1" + std::string(2, '\0') + "Y1");
  EXPECT_EQ(ReadAll("", tape, false), (Lines{"M15", "M30", "X1" + std::string(2, '\0') + "Y1"}));
  // More NULs than a line holds are a file never written to its end: the
  // reading stops there.
  WriteFileBytes(tape, "M15\r\n" + std::string(kMaxTextLine, '\0'));
  EXPECT_EQ(ReadAll("", tape, false), (Lines{"M15"}));
  WriteFileBytes(tape, "M15\r\n" + std::string(kMaxTextLine, '\0') + "\r\n\x1a\r\n" + trailer);
  EXPECT_EQ(ReadAll("", tape, false), (Lines{"M15", ""}));
  WriteFileBytes(tape, "M15\r\n" + std::string(kMaxTextLine + 1, '\0'));
  EXPECT_EQ(ReadAll("", tape, false), (Lines{"M15", ""}));
}

TEST_F(SwapFilterTest, SkipLinesRewindsAndDropsPendingLines) {
  std::string name = SwapFile("IN.SWP", "G81=G81[/c]T1\n");
  fs::path tape = TempDir / "TAPE.DRL";
  WriteFileBytes(tape, "X1G81Y2\nM30\n");
  std::FILE* f = std::fopen(tape.c_str(), "rb");
  SwapReadFileObj swap;
  swap.Init(name, f, false);
  std::string line;
  swap.ReadLine(line);
  EXPECT_EQ(line, "X1G81");
  swap.SkipLines(1);
  EXPECT_EQ(swap.LineCount(), 1);
  EXPECT_EQ(swap.DeliveredCount(), 1);
  swap.ReadLine(line);
  EXPECT_EQ(line, "T1Y2");
  swap.ReadLine(line);
  EXPECT_EQ(line, "M30");
  EXPECT_TRUE(swap.Eof());
  swap.SkipLines(0);
  EXPECT_FALSE(swap.Eof());
  swap.Done();
  std::fclose(f);
}

namespace {

// Reads up to n lines.
std::vector<std::string> ReadLines(SwapReadFileObj& swap, int n) {
  std::vector<std::string> lines;
  for (int k = 0; k < n && !swap.Eof(); ++k) {
    std::string line;
    swap.ReadLine(line);
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

// Going back to a remembered place gives what reading the file again up to
// there gives: the same lines (a split line's pending half included), line
// numbers and byte position.
TEST_F(SwapFilterTest, SkipLinesGoesBackToARememberedPlace) {
  std::string name = SwapFile("IN.SWP", "G81=G81[/c]T1\nQ=X\n");
  fs::path tape = TempDir / "TAPE.DRL";
  WriteFileBytes(tape, "M48\r\nQ1\nX1G81Y2\r\nQ2\rQ3\nM30");
  std::FILE* f = std::fopen(tape.c_str(), "rb");
  SwapReadFileObj swap;
  swap.Init(name, f, false);
  EXPECT_EQ(ReadLines(swap, 3), (std::vector<std::string>{"M48", "X1", "X1G81"}));
  swap.RememberPosition();
  const int64_t bytes = swap.BytesRead();
  const std::vector<std::string> rest = {"T1Y2", "X2", "X3", "M30"};
  EXPECT_EQ(ReadLines(swap, 10), rest);
  EXPECT_EQ(swap.RereadLines(3), 0);
  EXPECT_EQ(swap.RereadLines(2), 2);
  for (int pass = 0; pass < 2; ++pass) {
    swap.SkipLines(3);
    EXPECT_EQ(swap.LineCount(), 3);
    EXPECT_EQ(swap.DeliveredCount(), 3);
    EXPECT_EQ(swap.BytesRead(), bytes);
    EXPECT_EQ(ReadLines(swap, 10), rest);
    EXPECT_TRUE(swap.Eof());
  }
  // Another count reads again, and its place is kept from then on.
  swap.SkipLines(4);
  EXPECT_EQ(ReadLines(swap, 10), (std::vector<std::string>{"X2", "X3", "M30"}));
  EXPECT_EQ(swap.RereadLines(4), 0);
  EXPECT_EQ(swap.RereadLines(3), 3);
  swap.Done();
  std::fclose(f);
}

// Rules that carry something from line to line see the lines before the
// place again whenever what they carry differs from where the kept place's
// reading began; once it matches, the place is gone back to. (Rules that
// count lines never match: see the reader's tests.)
TEST_F(SwapFilterTest, SkipLinesReadsAgainWhatTheRulesCarryDiffers) {
  fs::path tape = TempDir / "TAPE.DRL";
  WriteFileBytes(tape, "NOTE\nX1\nNOTE\nX2\n");
  std::FILE* f = std::fopen(tape.c_str(), "rb");
  SwapReadFileObj swap;
  swap.Init(SwapFile("SET.SWP", "NOTE=[/%1=\"A\"]%%1\n"), f, false);
  ReadLines(swap, 2);
  swap.RememberPosition();
  EXPECT_EQ(ReadLines(swap, 10), (std::vector<std::string>{"NOTEA", "X2"}));
  EXPECT_EQ(swap.RereadLines(2), 2);  // %1 was empty when the reading began
  swap.SkipLines(2);
  EXPECT_EQ(ReadLines(swap, 10), (std::vector<std::string>{"NOTEA", "X2"}));
  EXPECT_EQ(swap.RereadLines(2), 0);
  swap.SkipLines(2);
  EXPECT_EQ(swap.LineCount(), 2);
  EXPECT_EQ(ReadLines(swap, 10), (std::vector<std::string>{"NOTEA", "X2"}));
  swap.Done();
  std::fclose(f);
}

namespace {

// The lines of a tape as the reader is to split them, one character at a
// time: CR, LF and CR LF end a line; in character mode empty pieces are read
// past. "_" is delivered as an empty line.
// numbers gets the raw line number of each line delivered, and the raw
// line count last.
std::vector<std::string> SplitPlainly(const std::string& bytes, bool charMode,
                                      std::vector<int32_t>* numbers = nullptr) {
  std::vector<std::string> lines;
  int32_t raw = 0;
  std::string line;
  bool pending = false;
  // Blank tape: a line of nothing but NULs and blanks is read past, and the
  // NULs and blanks ahead of the first block are dropped.
  bool leader = true;
  auto push = [&] {
    const std::size_t block = std::min(line.find_first_not_of(std::string("\0 \t", 3)), line.size());
    const bool blank = block == line.size();
    const bool nul = line.find('\0') < block;
    if ((blank || leader) && nul) line.erase(0, block);
    leader = leader && blank;
    ++raw;
    if (blank && nul) return;
    lines.push_back(line == "_" ? std::string() : line);
    if (numbers) numbers->push_back(raw);
  };
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') {
      line += c;
      pending = true;
      continue;
    }
    if (!charMode && c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    if (charMode && line.empty()) continue;
    push();
    line.clear();
    pending = false;
  }
  if (pending || (charMode && !line.empty())) push();
  if (numbers) numbers->push_back(raw);
  return lines;
}

}  // namespace

// Tapes of every mixture of line ends, with lines long enough to span the
// blocks the reader reads the file in (a CR LF split between two blocks
// among them), are split as a plain character reader splits them, with
// the same line count and the bytes read counted exactly. Every other round
// the lines also hold bytes next to CR and LF and bytes with the high bit
// set, which the reader's word-at-a-time line end search must pass over.
// A subprogram's reader runs beside the main tape's, and the blocks of
// readers that ended are handed on: each reader keeps to its own file.
TEST_F(SwapFilterTest, ReadersSideBySideKeepToTheirOwnFiles) {
  const fs::path mainTape = TempDir / "MAIN.DRL", subTape = TempDir / "SUB.DRL";
  WriteFileBytes(mainTape, "M48\nT1C0.1\n%\nX1Y1\nM30\n");
  WriteFileBytes(subTape, "X2Y2\r\nX3Y3\r\n");
  EXPECT_EQ(ReadAll("", mainTape).size(), 5u);  // an ended reader leaves its block
  for (int round = 0; round < 2; ++round) {
    std::FILE* m = std::fopen(mainTape.c_str(), "rb");
    std::FILE* u = std::fopen(subTape.c_str(), "rb");
    SwapReadFileObj main, sub;
    main.Init("", m, false);
    sub.Init("", u, false);
    std::vector<std::string> got;
    std::string line;
    main.ReadLine(line);
    got.push_back(line);
    while (!sub.Eof()) {
      sub.ReadLine(line);
      got.push_back(line);
    }
    while (!main.Eof()) {
      main.ReadLine(line);
      got.push_back(line);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"M48", "X2Y2", "X3Y3", "T1C0.1", "%", "X1Y1", "M30"}));
    main.Done();
    sub.Done();
    std::fclose(m);
    std::fclose(u);
  }
}

TEST_F(SwapFilterTest, ReaderSplitsRandomTapesAcrossItsReadBlocks) {
  fs::path tape = TempDir / "TAPE.DRL";
  std::mt19937 rng(2024);
  auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  for (int round = 0; round < 24; ++round) {
    std::string bytes;
    const int lines = 50 + below(400);
    for (int k = 0; k < lines; ++k) {
      const int kind = below(20);
      const std::size_t length = kind == 0 ? 20000 + below(45000) : kind < 3 ? 0 : below(40);
      static const char odd[] = {'\t', '\v', '\f', '\x0e', '\x8a', '\x8d', '\x80', '\xff', '\0'};
      for (std::size_t i = 0; i < length; ++i)
        bytes += round % 2 == 1 && below(3) == 0 ? odd[below(9)] : static_cast<char>('A' + below(26));
      if (kind == 3) bytes += "_";
      static const char* const ends[] = {"\n", "\r\n", "\r", "\n\r"};
      bytes += ends[below(4)];
    }
    if (round % 3 == 0) {
      // A CR LF whose LF opens the reader's second block.
      bytes.resize(65535, 'Q');
      bytes += "\r\nX1Y1\r\n";
    }
    if (round % 4 == 1) bytes += "LAST";  // no line end at the end
    WriteFileBytes(tape, bytes);
    for (const bool charMode : {false, true}) {
      SCOPED_TRACE("round " + std::to_string(round) + (charMode ? " character mode" : ""));
      std::vector<int32_t> numbers;
      const std::vector<std::string> want = SplitPlainly(bytes, charMode, &numbers);
      std::FILE* f = std::fopen(tape.c_str(), "rb");
      SwapReadFileObj swap;
      swap.Init("", f, charMode);
      std::vector<std::string> got;
      int64_t position = 0;
      bool forward = true;
      while (!swap.Eof() && got.size() <= want.size()) {
        std::string line;
        swap.ReadLine(line);
        got.push_back(line);
        // The position (counted, not asked of the file) never goes back.
        forward = forward && swap.BytesRead() >= position;
        position = swap.BytesRead();
        if (got.size() == 1 && !charMode) {
          // Just behind the first line's end.
          std::size_t end = bytes.find_first_of("\r\n");
          if (end != std::string::npos)
            end += bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1;
          else
            end = bytes.size();
          EXPECT_EQ(position, static_cast<int64_t>(end));
        }
      }
      EXPECT_TRUE(forward);
      EXPECT_EQ(got.size(), want.size());
      EXPECT_TRUE(got == want);
      EXPECT_EQ(swap.IOResultCode(), 0);
      EXPECT_FALSE(swap.LineTooLong());
      EXPECT_EQ(swap.BytesRead(), static_cast<int64_t>(bytes.size()));
      if (!charMode) {
        EXPECT_EQ(swap.LineCount(), numbers.back());
        // Read again from a line in the middle.
        const int32_t skip = static_cast<int32_t>(want.size() / 2);
        swap.SkipLines(skip);
        std::string line;
        swap.ReadLine(line);
        EXPECT_EQ(line, want[static_cast<std::size_t>(skip)]);
        EXPECT_EQ(swap.LineCount(), numbers[static_cast<std::size_t>(skip)]);
        EXPECT_LE(swap.BytesRead(), static_cast<int64_t>(bytes.size()));
        EXPECT_GT(swap.BytesRead(), 0);
      }
      swap.Done();
      std::fclose(f);
    }
  }
}

// A line of the longest length is read; one character more stops the
// reading, whichever block the line lies in.
TEST_F(SwapFilterTest, LongestLineIsReadAndALongerOneStopsTheReading) {
  fs::path tape = TempDir / "TAPE.DRL";
  for (const std::size_t offset : {std::size_t{0}, std::size_t{40000}}) {
    for (const std::size_t extra : {std::size_t{0}, std::size_t{1}}) {
      const std::string head(offset, 'H');
      const std::string longest(kMaxTextLine + extra, 'L');
      WriteFileBytes(tape, (offset ? head + "\r\n" : "") + longest + "\r\nM30\r\n");
      std::FILE* f = std::fopen(tape.c_str(), "rb");
      SwapReadFileObj swap;
      swap.Init("", f, false);
      std::string line;
      if (offset) swap.ReadLine(line);
      swap.ReadLine(line);
      EXPECT_EQ(swap.LineTooLong(), extra == 1);
      if (extra == 0) {
        EXPECT_EQ(line, longest);
        swap.ReadLine(line);
        EXPECT_EQ(line, "M30");
      } else {
        EXPECT_TRUE(line.empty());
        EXPECT_TRUE(swap.Eof());
        IOResult();
      }
      swap.Done();
      std::fclose(f);
    }
  }
}

TEST_F(SwapFilterTest, ReadErrorEndsTheTape) {
  fs::path tape = TempDir / "TAPE.DRL";
  WriteFileBytes(tape, "");
  std::FILE* f = std::fopen(tape.c_str(), "wb");  // not readable
  SwapReadFileObj swap;
  swap.Init("", f, false);
  int reads = 0;
  while (!swap.Eof() && reads < 10) {
    std::string line;
    swap.ReadLine(line);
    ++reads;
  }
  EXPECT_LE(reads, 1);
  EXPECT_NE(swap.IOResultCode(), 0);
  EXPECT_NE(IOResult(), 0);
  swap.Done();
  std::fclose(f);
}

TEST_F(SwapFilterTest, TapeThroughTwoImportFiltersAndBackThroughAnExportFilter) {
  // Import: metric tape coordinates in 1/1000 mm rewritten to decimal text,
  // then tools renumbered by a second file.
  std::string scale = SwapFile("SCALE.SWP",
                               "; X words carry three implied decimals\n"
                               "X=X[/%1=0/K/%2=DECSTR$(VAL(%9),3)]%%2\n"
                               "T01=T1\n");
  std::string tools = SwapFile("TOOLS.SWP", "T1=T7\nM30=M30[/c]%\n");
  fs::path tape = TempDir / "IN.DRL";
  WriteFileBytes(tape, "M48\r\nT01\r\nX12500Y1\r\nX5Y2\r\nM30\r\n");
  std::vector<std::string> lines = ReadAll(scale + ";" + tools, tape);
  EXPECT_EQ(lines, (std::vector<std::string>{"M48", "T7", "X12.5Y1", "X0.005Y2", "M30", "%"}));

  std::string out = SwapFile("OUT.SWP",
                             "HEADER=M48\n"
                             "SWAP=T7=T07\n"
                             "SWAP=%=_\n"
                             "SWAP=Y=[/%3=%3+1]\n"
                             "SWAP=M30=[/h]N%%3[/e]\n");
  EXPECT_EQ(WriteAll(out, lines), "M48\r\nT07\r\nX12.5Y1\r\nX0.005Y2\r\nN2M30\r\n\r\n");
  // A second export file works on the first one's output.
  std::string inch = SwapFile("INCH.SWP", "SWAP=M48=M48[/c]INCH,TZ\nSWAP=N2=N02\n");
  EXPECT_EQ(WriteAll(out + ";" + inch, lines),
            "M48\r\nINCH,TZ\r\nT07\r\nX12.5Y1\r\nX0.005Y2\r\nN02M30\r\n\r\n");
}

// Read as a tape, a line end is any run of CR and LF whose LFs (else CRs)
// count as lines, tape feed goes wherever it stands, and lines of blank
// tape give nothing: each block comes with its own line number, and the
// tape ends where only blank tape is left. Going back to a line finds it
// with its number, also where the line was read ahead past blank tape.
TEST_F(SwapFilterTest, ATapeIsSplitIntoBlocksAsATapeReaderSplitsIt) {
  using namespace std::string_literals;
  using Blocks = std::vector<std::pair<std::string, int32_t>>;
  const fs::path tape = TempDir / "TAPE.RT";
  const struct {
    std::string Bytes;
    Blocks Want;
  } cases[] = {
      {"A\r\nB\r\nC", {{"A", 1}, {"B", 2}, {"C", 3}}},
      {"A\r\r\nB\r\r\nC\r\r\n", {{"A", 1}, {"B", 2}, {"C", 3}}},
      {"A\n\rB\n\rC\n\r", {{"A", 1}, {"B", 2}, {"C", 3}}},
      {"A\r\n\r\nB\n\nC\r\rD", {{"A", 1}, {"B", 3}, {"C", 5}, {"D", 7}}},
      {"A\r\r\n\r\r\nB", {{"A", 1}, {"B", 3}}},
      {"\r\n\r\nA\r\n\r\n\r\n", {{"A", 3}}},
      {"A\r\n\0\0B\r\n\0\0"s, {{"A", 1}, {"B", 2}}},
      {"A\0\0\r\nB\x7f\r\n\x7f"s, {{"A", 1}, {"B", 2}}},
      {"\x11\x11\r\nM48\r\n\x13", {{"M48", 2}}},
      {"\x12M48\r\nM30\x14\r\n", {{"M48", 1}, {"M30", 2}}},
      {"A\r\n \t \r\n\x1a\r\n\x7f\x7f\r\nB", {{"A", 1}, {"B", 5}}},
      {"X0\x7f" "1\r\nY0\0" "2\r\n"s, {{"X01", 1}, {"Y02", 2}}},
      {"A\r\n\x1a", {{"A", 1}}},
      {" A\t1 \r\n", {{" A\t1 ", 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Bytes));
    WriteFileBytes(tape, c.Bytes);
    std::FILE* f = std::fopen(tape.c_str(), "rb");
    SwapReadFileObj swap;
    swap.Init("", f, false);
    swap.ReadAsTape();
    Blocks got;
    while (!swap.Eof() && got.size() < 20) {
      std::string line;
      swap.ReadLine(line);
      got.emplace_back(line, swap.LineCount());
    }
    EXPECT_EQ(got, c.Want);
    EXPECT_EQ(swap.IOResultCode(), 0);
    if (c.Want.size() >= 2) {
      swap.SkipLines(1);
      std::string line;
      swap.ReadLine(line);
      EXPECT_EQ(std::make_pair(line, swap.LineCount()), c.Want[1]);
      swap.SkipLines(1);
      EXPECT_FALSE(swap.Eof());
      swap.ReadLine(line);
      EXPECT_EQ(std::make_pair(line, swap.LineCount()), c.Want[1]);
    }
    swap.Done();
    std::fclose(f);
  }
}
