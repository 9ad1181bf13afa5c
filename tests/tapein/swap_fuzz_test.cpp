// Bounded randomized tests of the swap rule loader, the editing programs and
// Swap BASIC: texts mutated from valid ones must load, filter and evaluate
// without crashing or hanging, stay within the size limit, and have their
// faults reported. Fixed seeds keep every run the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "foundation/swap_basic.h"
#include "foundation/swap_filter.h"
#include "korvex_test.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kValidRules = {
    "G81=G81[/c]T1",
    "M30=[/e]",
    "N=[/l/K]",
    "N=[/K]",
    "X=",
    "T01=T1",
    "X=[/%1=%1+1]%%1",
    "X=[/IF %1>5 THEN %2=1 ELSE %2=0]",
    "X=[/IF %1=3 THEN EOF]",
    "Y=[/%2=LEFT$(%0,2)+\"-\"]%%2",
    "X=X[/%1=0/K/%2=DECSTR$(VAL(%9),3)]%%2",
    "B=[/!]",
    "D=[/e/!]",
    "A=[/c2/b/r3/l2/o]QQ[/i/h]S",
    "X=[/s2(1)]-[/R3(1)(99)]",
    "Z=[/t/%3=LZ$(LZVAL(%0,6),4)+STR$(INSTR(2,%0,\"Z\"))]%%3",
    "SWAP=M48=[/h]%[/e]",
    "=[/%4=%4+%0]",
    "Q=_",
};

const std::vector<std::string> kValidExpressions = {
    "1<2", "2+3*4", "(2+3)*4", "10-4-3", "1<2=TRUE", "NOT 1=2", "\"AB\"+\"CD\"", "\"ABCAB\"-\"B\"",
    "\"ABCAB\" DIV \"AB\"", "3+\"4\"", "\"12X\"*2", "7 DIV 0", "0 DIV 0", "-7 DIV 2",
    "LZ$(1200,6)", "DECSTR$(1500,3)", "SGN(0)", "SPACE$(500)", "CHR$(200)", "INSTR(4,\"ABCABC\",\"C\")",
    "LET%1=%1+1", "IF %1>5 THEN %2=1 ELSE %2=0", "IF 1 THEN IF 0 THEN %1=1 ELSE %1=2 ELSE %1=3",
    "LET%1=LEFT$(\"ABC\",2)+\"X\"", "LZVAL(\"0125\",6)", "DECVAL(\"-0.25\",2)", "CAP$(STRIP$(\" a b \"))",
    "%3=MID$(%0,2,3)+RIGHT$(%0,1)", "ABS(SQR(0-2147483647-1))", "TRUE XOR FALSE IMP TRUE EQV NOT FALSE",
    "LET%2=%2+%2+%2+%2", "IF %2<>\"\" THEN EOF",
};

const std::string kInteresting = "[]/()\"%!=_;,0123456789hleiorbctsRKB$+-*<> ABCDEFGHIJKLMNOPQRSTUVWXYZ";

std::string Mutate(std::string text, std::mt19937& rng, const std::vector<std::string>& corpus) {
  int steps = 1 + static_cast<int>(rng() % 4);
  for (int k = 0; k < steps; ++k) {
    std::size_t pos = text.empty() ? 0 : rng() % (text.size() + 1);
    switch (rng() % 6) {
      case 0: text.insert(pos, 1, kInteresting[rng() % kInteresting.size()]); break;
      case 1: text.insert(pos, 1, static_cast<char>(rng() % 256)); break;
      case 2:
        if (!text.empty()) text.erase(std::min(pos, text.size() - 1), 1 + rng() % 3);
        break;
      case 3: {  // splice a piece of another text in
        const std::string& other = corpus[rng() % corpus.size()];
        std::size_t from = rng() % (other.size() + 1);
        text.insert(pos, other.substr(from, rng() % 12));
        break;
      }
      case 4:
        if (text.size() > 1) std::swap(text[rng() % text.size()], text[rng() % text.size()]);
        break;
      default: text.insert(pos, std::string(1 + rng() % 8, kInteresting[rng() % 12])); break;
    }
  }
  return text;
}

std::string NaiveCollapse(std::string text) {
  for (std::size_t p; (p = text.find("\r\n\r\n")) != std::string::npos;) text.erase(p, 2);
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  return text;
}

}  // namespace

class SwapFuzzTest : public TKorvexTest {};

TEST_F(SwapFuzzTest, MutatedRuleFilesLoadAndFilterWithinBounds) {
  std::mt19937 rng(20240611);
  const std::vector<std::string> lines = {"X1G81Y2", "N123X5", "", "M30", "T01", "ABQZX1X1",
                                          std::string(10000, 'X') + "1", "A\r\nB", "%%1%%9"};
  fs::path file = TempDir / "home" / "SWAP" / "FUZZ.SWP";
  for (int round = 0; round < 700; ++round) {
    std::string text;
    int rules = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < rules; ++k) {
      text += Mutate(kValidRules[rng() % kValidRules.size()], rng, kValidRules);
      text += (rng() % 5 == 0) ? "\r" : "\n";
    }
    WriteFileBytes(file, text);
    TSwapFilter filter;
    int reported = 0;
    LoadSwapFiles(filter, file.string(), {}, rng() % 4 == 0, [&](const std::string&) { ++reported; });
    ASSERT_TRUE(filter.Loaded);
    ASSERT_EQ(static_cast<std::size_t>(reported), filter.LoadErrors.size());
    for (const std::string& message : filter.LoadErrors) {
      ASSERT_EQ(message.rfind("Swap file " + file.string() + ", line ", 0), 0u) << message;
    }
    for (int k = 0; k < 6; ++k) {
      const std::string& line = lines[rng() % lines.size()];
      std::string result = ApplySwapFilter(filter, line);
      ASSERT_LE(result.size(), std::max(SwapTextLimit, line.size()) * 4 + 64) << text;
    }
  }
}

TEST_F(SwapFuzzTest, MalformedGroupsAreAlwaysReported) {
  std::mt19937 rng(7);
  fs::path file = TempDir / "home" / "SWAP" / "BAD.SWP";
  const std::string unknown = "adfgjkmnpquvwxyzACDEFGHIJLMNOPQSTUVWXYZ";
  for (int round = 0; round < 300; ++round) {
    std::string good = kValidRules[rng() % kValidRules.size()];
    int line = 1 + static_cast<int>(rng() % 5);
    std::string text;
    for (int k = 1; k < line; ++k) text += "; comment\n";
    // An unknown command, or a group that is never closed.
    std::string bad = rng() % 2 ? "X=[/" + std::string(1, unknown[rng() % unknown.size()]) + "]"
                                : "X=[/e" + std::string(1 + rng() % 5, 'c');
    text += bad + "\n" + good + "\n";
    WriteFileBytes(file, text);
    TSwapFilter filter;
    LoadSwapFiles(filter, file.string(), {}, false, {});
    ASSERT_FALSE(filter.LoadErrors.empty()) << bad;
    EXPECT_NE(filter.LoadErrors[0].find(", line " + std::to_string(line) + ": "), std::string::npos)
        << filter.LoadErrors[0];
    ApplySwapFilter(filter, "X1");
  }
}

TEST_F(SwapFuzzTest, MutatedExpressionsEvaluateWithinBounds) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 2000; ++round) {
    std::string text = Mutate(kValidExpressions[rng() % kValidExpressions.size()], rng, kValidExpressions);
    std::string tokens = Tokenize(text);
    TVarArray vars;
    vars[0] = StringValue("X12.5Y-3");
    vars[2] = StringValue(std::string(SwapTextLimit, 'A'));
    bool stopped = false;
    for (int k = 0; k < 3; ++k) {
      std::string value = ExecuteStatement(tokens, vars, stopped);
      ASSERT_LE(value.size(), SwapTextLimit + 2) << text;
      if (!ParenthesesBalance(tokens)) {
        ASSERT_EQ(value, StringValue("MISMATCHED PARENTHESES")) << text;
      }
      for (const std::string& v : vars) ASSERT_LE(v.size(), SwapTextLimit + 2) << text;
    }
    TStatementList statements;
    std::vector<std::string> problems;
    std::string compiled = CompileStatementList("/" + text, statements, problems);
    for (const TTokenizedBasic& s : statements) RunStatement(s.Text, vars, stopped);
  }
}

TEST_F(SwapFuzzTest, EmptyLinesCollapseLikeRepeatedRemoval) {
  std::mt19937 rng(99);
  TSwapFilter none;
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int n = static_cast<int>(rng() % 16);
    for (int k = 0; k < n; ++k) text.push_back("\r\na"[rng() % 3]);
    ASSERT_EQ(ApplySwapFilter(none, text), NaiveCollapse(text)) << round;
  }
}
