// Swap BASIC: the small expression and statement language of swap filter
// editing programs.
//
// A statement is tokenised once into a byte string; evaluation rewrites that
// string, replacing an operator or function with its operands by the result,
// until one value is left. Every value is itself a byte string that can stand
// inside a token string:
//
//   bytes 0, 1       truth values FALSE and TRUE
//   bytes 33..127    ordinary characters (digits, "-" of a negative number)
//   byte 128         the string mark: a string value is mark, text, mark
//   bytes 129..172   keyword tokens (KeywordNames, in order)
//   bytes 173..182   the variables %0..%9
//
// Nothing here raises or shows a message: malformed text evaluates to
// something (usually the empty value). Every loop is bounded, recursion is
// limited to MaxBasicDepth levels, and no text grows past SwapTextLimit.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Longest text a filter builds: lines, string values, substitutions.
inline constexpr std::size_t SwapTextLimit = 65536;
// Deepest nesting of statements and function calls that is still run; a
// deeper one gives the empty value.
inline constexpr int MaxBasicDepth = 64;

inline constexpr char StringMark = '\x80';

// Keyword tokens.
inline constexpr uint8_t KeywordCount = 44;
extern const char* const KeywordNames[KeywordCount];
enum : uint8_t {
  tkNotEqual = 129, tkLessEqual, tkGreaterEqual, tkLess, tkGreater, tkEqual,
  tkPlus, tkMinus, tkOpen, tkClose, tkTimes, tkDiv, tkTrue, tkFalse,
  tkAnd, tkXor, tkOr, tkNot, tkEqv, tkImp,
  tkSqr, tkLeft, tkRight, tkMid, tkLz, tkLen, tkDecStr, tkAbs, tkAsc, tkChr,
  tkInstr, tkSgn, tkSpace, tkLzVal, tkDecVal, tkStr, tkStrip, tkCap, tkVal,
  tkLet, tkIf, tkEof, tkThen, tkElse,
  tkVariable0 = 173  // %0; %9 is 182
};

// The ten swap variables of one swap file.
using TVarArray = std::array<std::string, 10>;

// Value kinds.
enum TValueKind : uint8_t { vkEmpty = 0, vkOperator = 1, vkTruth = 2, vkString = 3, vkNumber = 4, vkVariable = 5 };

// One compiled statement of a swap file. Id is what the statement reference
// "BASIC:" + eight hexadecimal digits names (1, 2, ... per swap file).
struct TTokenizedBasic {
  uint32_t Id = 0;
  std::string Text;
};
using TStatementList = std::vector<TTokenizedBasic>;

// ---- Values ---------------------------------------------------------------

// mark + text + mark (the text is cut at SwapTextLimit).
std::string StringValue(const std::string& text);
// The text of a string value without its marks (an unclosed value runs to
// the end); any other value unchanged.
std::string StringText(const std::string& value);
std::string TruthValue(bool value);
std::string NumberValue(int64_t value);  // clamped to the 32-bit range

uint8_t ValueKind(const std::string& value);
// False for the empty text, a text starting with byte 0, and exactly "0".
bool IsTrue(const std::string& value);
// The integer of a number: a leading "--" reads as "+"; a text that is not
// wholly a 32-bit integer gives 0.
int32_t ValueToInt(const std::string& value);
// The value converted to another kind (vkTruth, vkString, vkNumber; vkEmpty
// gives the empty text, vkOperator the byte 255). A variable is first
// replaced by its value.
std::string ConvertValue(const std::string& value, uint8_t kind, const TVarArray& vars);

// ---- Tokens and expressions --------------------------------------------------

// Token string of a statement text. unterminated (when given) is set when a
// string literal was still open at the end of the text.
std::string Tokenize(const std::string& text, bool* unterminated = nullptr);

// Value of an expression that holds no function and no statement keyword.
std::string EvaluateExpression(const std::string& tokens, const TVarArray& vars);

// Value of one function call: keywordIndex is the token code - 129, args the
// text between the parentheses. Each argument is run by ExecuteStatement.
std::string CallFunction(int keywordIndex, const std::string& args, TVarArray& vars, bool& stopped);

// ---- Statements ---------------------------------------------------------------

// Runs a statement or evaluates an expression; returns its value.
// Unbalanced parentheses give the string value "MISMATCHED PARENTHESES".
std::string ExecuteStatement(const std::string& tokens, TVarArray& vars, bool& stopped);
// ExecuteStatement with the value dropped.
void RunStatement(const std::string& tokens, TVarArray& vars, bool& stopped);

// True when the "(" and ")" tokens outside string values pair up.
bool ParenthesesBalance(const std::string& tokens);

// Compiles one segment of an editing program: a statement (IF..., EOF...,
// LET%d..., %d...) becomes a new record of statements (with the next id) and
// the segment becomes "BASIC:" + the id in eight hexadecimal digits; any
// other segment comes back unchanged. Problems found in a statement (an open
// literal, unbalanced parentheses, nesting too deep to run) are appended to
// problems.
std::string CompileStatement(const std::string& segment, TStatementList& statements,
                             std::vector<std::string>& problems);
// Compiles each "/"-separated segment of a bracket group's text (a "/"
// inside double quotes does not separate); the text before the first "/"
// stays as it is.
std::string CompileStatementList(const std::string& group, TStatementList& statements,
                                 std::vector<std::string>& problems);
// The statement with this id, or nullptr.
const TTokenizedBasic* FindStatement(const TStatementList& statements, uint32_t id);
