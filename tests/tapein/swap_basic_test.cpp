#include "foundation/swap_basic.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs a statement text on the variables and returns its value.
std::string Exec(const std::string& text, TVarArray& vars, bool& stopped) {
  return ExecuteStatement(Tokenize(text), vars, stopped);
}
std::string Eval(const std::string& text) {
  TVarArray vars;
  bool stopped = false;
  return Exec(text, vars, stopped);
}
std::string Str(const std::string& text) { return StringValue(text); }
const std::string kTrue = TruthValue(true);
const std::string kFalse = TruthValue(false);

}  // namespace

TEST(SwapBasicTest, ComparisonsAndPrecedence) {
  EXPECT_EQ(Eval("1<2"), kTrue);
  EXPECT_EQ(Eval("2<1"), kFalse);
  EXPECT_EQ(Eval("2+3*4"), "14");
  EXPECT_EQ(Eval("(2+3)*4"), "20");
  EXPECT_EQ(Eval("10-4-3"), "3");
  EXPECT_EQ(Eval("1<2=TRUE"), kTrue);
  EXPECT_EQ(Eval("NOT 1=2"), kTrue);
}

TEST(SwapBasicTest, OperatorsFollowTheKindOfTheRightOperand) {
  EXPECT_EQ(Eval("\"AB\"+\"CD\""), Str("ABCD"));
  EXPECT_EQ(Eval("\"ABCAB\"-\"B\""), Str("ACAB"));
  EXPECT_EQ(Eval("\"ABCAB\" DIV \"AB\""), "2");
  EXPECT_EQ(Eval("\"ABC\" DIV \"\""), "0");
  EXPECT_EQ(Eval("3+\"4\""), Str("34"));
  EXPECT_EQ(Eval("\"12X\"*2"), "24");
  EXPECT_EQ(Eval("-5"), "-5");
  EXPECT_EQ(Eval("TRUE+FALSE"), kTrue);   // OR
  EXPECT_EQ(Eval("TRUE*FALSE"), kFalse);  // AND
  EXPECT_EQ(Eval("5-TRUE"), "4");
  EXPECT_EQ(Eval("\"abc\"<\"abd\""), kTrue);
  EXPECT_EQ(Eval("\"B\"<\"a\""), kTrue);  // byte order, case-sensitive
  EXPECT_EQ(Eval("FALSE<TRUE"), kTrue);
  EXPECT_EQ(Eval("1.5+1"), "1");          // a decimal number reads as 0
  EXPECT_EQ(Eval("7*"), "");              // no right operand: the operator vanishes
  EXPECT_EQ(Eval("2*(3"), Str("MISMATCHED PARENTHESES"));
  EXPECT_EQ(EvaluateExpression(Tokenize("2*(3"), TVarArray()), "6");  // an open group runs to the end
}

TEST(SwapBasicTest, DivisionAndClampingInThirtyTwoBits) {
  EXPECT_EQ(Eval("7 DIV 0"), "2147483647");
  EXPECT_EQ(Eval("0 DIV 0"), "-2147483648");
  EXPECT_EQ(Eval("(0-7) DIV 0"), "-2147483648");
  EXPECT_EQ(Eval("-7 DIV 0"), "-2147483647");  // DIV binds before the leading minus
  EXPECT_EQ(Eval("-7 DIV 2"), "-3");
  EXPECT_EQ(Eval("(0-2147483647-1) DIV (0-1)"), "2147483647");
  EXPECT_EQ(Eval("2147483647+1"), "2147483647");
  EXPECT_EQ(Eval("0-2147483647-5"), "-2147483648");
  EXPECT_EQ(Eval("65536*65536"), "2147483647");
  EXPECT_EQ(Eval("ABS(0-2147483647-1)"), "2147483647");
  EXPECT_EQ(Eval("LZ$(0-2147483647-1,10)"), Str("-2147483648"));
  EXPECT_EQ(Eval("DECSTR$(0-2147483647-1,3)"), Str("-2147483.648"));
  EXPECT_EQ(Eval("SQR(0-2147483647-1)"), "46341");
  EXPECT_EQ(Eval("CHR$(0-2147483647-1)"), Str(std::string(1, '\0')));
  EXPECT_EQ(Eval("99999999999+0"), "0");  // not a 32-bit integer
}

TEST(SwapBasicTest, LogicalOperators) {
  EXPECT_EQ(Eval("TRUE AND FALSE"), kFalse);
  EXPECT_EQ(Eval("TRUE OR FALSE"), kTrue);
  EXPECT_EQ(Eval("TRUE XOR TRUE"), kFalse);
  EXPECT_EQ(Eval("FALSE EQV FALSE"), kTrue);
  EXPECT_EQ(Eval("TRUE IMP FALSE"), kFalse);
  EXPECT_EQ(Eval("FALSE IMP FALSE"), kTrue);
  EXPECT_EQ(Eval("NOT 0"), kTrue);
  EXPECT_EQ(Eval("1 AND 2"), kTrue);
  EXPECT_EQ(Eval("\"TRUE\" AND \"true\""), kFalse);
}

TEST(SwapBasicTest, ConversionsAndTruth) {
  TVarArray vars;
  EXPECT_EQ(ConvertValue(Str("  -12.5"), vkNumber, vars), "-12");
  EXPECT_EQ(ConvertValue(Str("X+7Y"), vkNumber, vars), "7");
  EXPECT_EQ(ConvertValue(Str("none"), vkNumber, vars), "0");
  EXPECT_EQ(ConvertValue(kTrue, vkString, vars), Str("TRUE"));
  EXPECT_EQ(ConvertValue(kFalse, vkNumber, vars), "0");
  EXPECT_EQ(ConvertValue("-3", vkTruth, vars), kTrue);
  EXPECT_EQ(ConvertValue("12", vkEmpty, vars), "");
  EXPECT_EQ(ConvertValue("12", vkOperator, vars), "\xFF");
  vars[4] = "17";
  EXPECT_EQ(ConvertValue(std::string(1, static_cast<char>(tkVariable0 + 4)), vkString, vars), Str("17"));
  EXPECT_FALSE(IsTrue(""));
  EXPECT_FALSE(IsTrue("0"));
  EXPECT_FALSE(IsTrue(kFalse));
  EXPECT_TRUE(IsTrue("00"));
  EXPECT_EQ(ValueToInt("--5"), 5);
  EXPECT_EQ(ValueToInt("5X"), 0);
  EXPECT_EQ(ValueKind(""), vkEmpty);
  EXPECT_EQ(ValueKind(std::string(1, static_cast<char>(tkPlus))), vkOperator);
  EXPECT_EQ(ValueKind(Str("x")), vkString);
  EXPECT_EQ(ValueKind("12X"), vkNumber);
}

TEST(SwapBasicTest, TokenizerKeepsLiteralsAndOrdersOverlappingKeywords) {
  std::string t = Tokenize("%1 <= \"A \"\"B\" XOR LZVAL");
  std::string expected;
  expected += static_cast<char>(tkVariable0 + 1);
  expected += static_cast<char>(tkLessEqual);
  expected += Str("A \"B");
  expected += static_cast<char>(tkXor);
  expected += static_cast<char>(tkLzVal);
  EXPECT_EQ(t, expected);
  bool open = false;
  EXPECT_EQ(Tokenize("\"ABC", &open), Str("ABC"));
  EXPECT_TRUE(open);
  // "%10" is %1 followed by the digit 0.
  EXPECT_EQ(Tokenize("%10"), std::string(1, static_cast<char>(tkVariable0 + 1)) + "0");
  EXPECT_EQ(Tokenize("TRUE FALSE"), std::string("\x01\x00", 2));
}

TEST(SwapBasicTest, StringFunctions) {
  EXPECT_EQ(Eval("LEFT$(\"ABCDE\",2)"), Str("AB"));
  EXPECT_EQ(Eval("LEFT$(\"ABC\",9)"), Str("ABC"));
  EXPECT_EQ(Eval("LEFT$(\"ABC\",0-1)"), Str(""));
  EXPECT_EQ(Eval("RIGHT$(\"ABCDE\",2)"), Str("DE"));
  EXPECT_EQ(Eval("RIGHT$(\"ABC\",9)"), Str("ABC"));
  EXPECT_EQ(Eval("MID$(\"ABCDE\",2,3)"), Str("BCD"));
  EXPECT_EQ(Eval("MID$(\"ABCDE\",9,3)"), Str(""));
  EXPECT_EQ(Eval("MID$(\"ABCDE\",4,9)"), Str("DE"));
  EXPECT_EQ(Eval("LEN(\"ABC\")"), "3");
  EXPECT_EQ(Eval("LEN(\"\")"), "0");
  EXPECT_EQ(Eval("LEN(12345)"), "5");
  EXPECT_EQ(Eval("ASC(\"A\")"), "65");
  EXPECT_EQ(Eval("ASC(\"\")"), "0");
  EXPECT_EQ(Eval("CHR$(65)"), Str("A"));
  EXPECT_EQ(Eval("CHR$(0-65)"), Str("A"));
  EXPECT_EQ(Eval("CHR$(321)"), Str("A"));  // 321 mod 256
  EXPECT_EQ(Eval("CHR$(200)"), Str("?"));
  EXPECT_EQ(Eval("SPACE$(3)"), Str("   "));
  EXPECT_EQ(Eval("SPACE$(500)"), Str(std::string(128, ' ')));
  EXPECT_EQ(Eval("SPACE$(0-5)"), Str(""));
  EXPECT_EQ(Eval("STRIP$(\" A B \")"), Str("AB"));
  EXPECT_EQ(Eval("CAP$(\"x1y\")"), Str("X1Y"));
  EXPECT_EQ(Eval("CAP$(SPACE$(128)+SPACE$(128)+\"a\")"), Str(std::string(255, ' ')));
  EXPECT_EQ(Eval("STR$(42)"), Str("42"));
  EXPECT_EQ(Eval("STR$(TRUE)"), Str("TRUE"));
  EXPECT_EQ(Eval("VAL(\"X-12Y\")"), "-12");
  EXPECT_EQ(Eval("VAL(\"\")"), "0");
  EXPECT_EQ(Eval("LEFT$(\"ABC\")"), "");   // a missing argument gives the empty text
  EXPECT_EQ(Eval("LEFT$(\"ABC\",2X)"), "");  // so does one that does not read
}

TEST(SwapBasicTest, NumberFunctions) {
  EXPECT_EQ(Eval("SQR(16)"), "4");
  EXPECT_EQ(Eval("SQR(0-17)"), "4");
  EXPECT_EQ(Eval("SQR(20)"), "4");
  EXPECT_EQ(Eval("SQR(21)"), "5");
  EXPECT_EQ(Eval("ABS(0-5)"), "5");
  EXPECT_EQ(Eval("SGN(0)"), "1");
  EXPECT_EQ(Eval("SGN(0-3)"), "-1");
  EXPECT_EQ(Eval("INSTR(\"ABCABC\",\"C\")"), "3");
  EXPECT_EQ(Eval("INSTR(4,\"ABCABC\",\"C\")"), "6");
  EXPECT_EQ(Eval("INSTR(0-4,\"ABCABC\",\"C\")"), "3");
  EXPECT_EQ(Eval("INSTR(7,\"ABCABC\",\"C\")"), "0");
  EXPECT_EQ(Eval("INSTR(\"ABC\",\"\")"), "0");
  EXPECT_EQ(Eval("INSTR(\"ABC\")"), "0");
}

TEST(SwapBasicTest, ZeroFormatsAtTheirEdges) {
  EXPECT_EQ(Eval("LZ$(1200,6)"), Str("0012"));
  EXPECT_EQ(Eval("LZ$(0-5,3)"), Str("-005"));
  EXPECT_EQ(Eval("LZ$(1234567,6)"), Str("??????"));
  EXPECT_EQ(Eval("LZ$(0,3)"), Str("0"));
  EXPECT_EQ(Eval("LZ$(5,0)"), Str(""));
  EXPECT_EQ(Eval("LZ$(5,100000)"), Str(std::string(254, '0') + "5"));  // width kept to 255
  EXPECT_EQ(Eval("DECSTR$(1500,3)"), Str("1.5"));
  EXPECT_EQ(Eval("DECSTR$(2000,3)"), Str("2."));
  EXPECT_EQ(Eval("DECSTR$(5,3)"), Str("0.005"));
  EXPECT_EQ(Eval("DECSTR$(0-25,2)"), Str("-0.25"));
  EXPECT_EQ(Eval("DECSTR$(1500,0)"), Str("1500."));
  EXPECT_EQ(Eval("DECSTR$(0,2)"), Str("0."));
  EXPECT_EQ(Eval("LZVAL(\"0125\",6)"), "12500");
  EXPECT_EQ(Eval("LZVAL(\"01250000\",6)"), "12500");
  EXPECT_EQ(Eval("LZVAL(\"-0125\",6)"), "-12500");
  EXPECT_EQ(Eval("LZVAL(\"+25X\",2)"), "25");
  EXPECT_EQ(Eval("LZVAL(\"X25\",2)"), "0");
  EXPECT_EQ(Eval("LZVAL(\"5\",0)"), "5");          // d limited to 1
  EXPECT_EQ(Eval("LZVAL(\"99999999999999\",9)"), "1000000000");  // 999999999.99999 rounded
  EXPECT_EQ(Eval("LZVAL(\"9999999999999999999999\",1)"), "2147483647");
  EXPECT_EQ(Eval("DECVAL(\"1.5\",3)"), "1500");
  EXPECT_EQ(Eval("DECVAL(\"-0.25\",2)"), "-25");
  EXPECT_EQ(Eval("DECVAL(\"12\",1)"), "120");
  EXPECT_EQ(Eval("DECVAL(\".5\",1)"), "5");
  EXPECT_EQ(Eval("DECVAL(\"1.2.3\",1)"), "12");
  EXPECT_EQ(Eval("DECVAL(\"1\",20)"), "2147483647");  // 10^10, clamped
  EXPECT_EQ(Eval("DECVAL(\"-5000000000\",0)"), "-2147483648");
  EXPECT_EQ(Eval("DECVAL(\"A1\",3)"), "0");
}

TEST(SwapBasicTest, StatementsAssignBranchAndStop) {
  TVarArray vars;
  bool stopped = false;
  Exec("LET%1=%1+1", vars, stopped);
  EXPECT_EQ(vars[1], "1");
  Exec("LET%1=%1+1", vars, stopped);
  EXPECT_EQ(vars[1], "2");
  Exec("IF %1>5 THEN %2=1 ELSE %2=0", vars, stopped);
  EXPECT_EQ(vars[2], "0");
  Exec("IF 1 THEN IF 0 THEN %3=1 ELSE %3=2 ELSE %3=3", vars, stopped);
  EXPECT_EQ(vars[3], "2");
  Exec("IF 0 THEN IF 1 THEN %3=1 ELSE %3=2 ELSE %3=3", vars, stopped);
  EXPECT_EQ(vars[3], "3");
  Exec("LET%4=LEFT$(\"ABC\",2)+\"X\"", vars, stopped);
  EXPECT_EQ(vars[4], Str("ABX"));
  Exec("LET%5=\"A/B\"", vars, stopped);
  EXPECT_EQ(vars[5], Str("A/B"));
  Exec("IF 1 %1=9", vars, stopped);  // no THEN: nothing happens
  EXPECT_EQ(vars[1], "2");
  Exec("5 LET%1=9", vars, stopped);  // LET not at the start does nothing
  EXPECT_EQ(vars[1], "2");
  EXPECT_FALSE(stopped);
  Exec("IF %1=2 THEN EOF", vars, stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(Exec("LEN(\"AB\"", vars, stopped), Str("MISMATCHED PARENTHESES"));
  Exec("LET%6=LEN(\"AB\"", vars, stopped);
  EXPECT_EQ(vars[6], "");
  EXPECT_EQ(Exec("LEN(LEFT$(\"ABCD\",LEN(\"ABC\")))", vars, stopped), "3");
}

TEST(SwapBasicTest, CompilingSegmentsRecognisesOnlyStatements) {
  TStatementList statements;
  std::vector<std::string> problems;
  EXPECT_EQ(CompileStatementList("/%1=%1+1", statements, problems), "/BASIC:00000001");
  EXPECT_EQ(CompileStatementList("/c2/LET %1=5/LET%1=5/%12=5", statements, problems),
            "/c2/LET %1=5/BASIC:00000002/%12=5");
  EXPECT_EQ(CompileStatementList("x/%1=\"A/B\"/e", statements, problems), "x/BASIC:00000003/e");
  EXPECT_EQ(CompileStatementList("no slash", statements, problems), "no slash");
  EXPECT_TRUE(problems.empty());
  ASSERT_EQ(statements.size(), 3u);
  ASSERT_NE(FindStatement(statements, 3), nullptr);
  EXPECT_EQ(FindStatement(statements, 3)->Text,
            std::string(1, static_cast<char>(tkLet)) + static_cast<char>(tkVariable0 + 1) +
                static_cast<char>(tkEqual) + Str("A/B"));
  EXPECT_EQ(FindStatement(statements, 4), nullptr);

  CompileStatementList("/IF (1 THEN EOF/%2=\"open", statements, problems);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("mismatched parentheses"), std::string::npos);
  EXPECT_NE(problems[1].find("not closed"), std::string::npos);
}

TEST(SwapBasicTest, DeepNestingIsLimitedNotOverflowed) {
  std::string text = "LET%1=";
  for (int k = 0; k < 1000; ++k) text += "LEN(";
  text += "\"A\"";
  for (int k = 0; k < 1000; ++k) text += ")";
  TVarArray vars;
  bool stopped = false;
  Exec(text, vars, stopped);
  EXPECT_EQ(vars[1], "");  // too deep to run: nothing is computed
  TStatementList statements;
  std::vector<std::string> problems;
  CompileStatement(text, statements, problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("nested too deeply"), std::string::npos);

  std::string parens;
  for (int k = 0; k < 2000; ++k) parens += "(";
  parens += "2";
  for (int k = 0; k < 2000; ++k) parens += ")";
  EXPECT_EQ(Eval(parens + "*3"), "6");  // plain parentheses are not recursion
}
