#include "foundation/swap_basic.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "foundation/display_units.h"
#include "foundation/utilities.h"

const char* const KeywordNames[KeywordCount] = {
    "<>",    "<=",      ">=",   "<",     ">",     "=",       "+",   "-",     "(",      ")",     "*",
    "DIV",   "TRUE",    "FALSE", "AND",  "XOR",   "OR",      "NOT", "EQV",   "IMP",    "SQR",   "LEFT$",
    "RIGHT$", "MID$",   "LZ$",  "LEN",   "DECSTR$", "ABS",   "ASC", "CHR$",  "INSTR",  "SGN",   "SPACE$",
    "LZVAL", "DECVAL",  "STR$", "STRIP$", "CAP$",  "VAL",    "LET", "IF",    "EOF",    "THEN",  "ELSE"};

namespace {

constexpr uint8_t kMark = 128;
constexpr uint8_t kFirstKeyword = 129;
constexpr uint8_t kLastKeyword = 172;
constexpr uint8_t kLastVariable = 182;

inline uint8_t Byte(const std::string& t, std::size_t i) { return static_cast<uint8_t>(t[i]); }
inline bool IsKeywordByte(uint8_t b) { return b >= kFirstKeyword && b <= kLastKeyword; }
inline bool IsVariableByte(uint8_t b) { return b >= tkVariable0 && b <= kLastVariable; }
// Bytes that form runs of ordinary operand text: everything that is not a
// truth byte, the string mark, a keyword or a variable.
inline bool IsOrdinaryByte(uint8_t b) { return !(b <= 1 || (b >= kMark && b <= kLastVariable)); }


// Index just past the string value that starts at i (t[i] is the mark): after
// its closing mark, or the end of the text when it is not closed.
std::size_t StringEnd(const std::string& t, std::size_t i) {
  std::size_t close = t.find(static_cast<char>(kMark), i + 1);
  return close == std::string::npos ? t.size() : close + 1;
}

// One piece of a token string: a keyword token or an operand.
struct TSpan {
  std::size_t Start = 0;
  std::size_t Len = 0;
  bool IsToken = false;
};

std::vector<TSpan> Segment(const std::string& t) {
  std::vector<TSpan> spans;
  std::size_t i = 0;
  while (i < t.size()) {
    uint8_t b = Byte(t, i);
    TSpan s;
    s.Start = i;
    if (b == kMark) {
      i = StringEnd(t, i);
    } else if (IsKeywordByte(b)) {
      s.IsToken = true;
      ++i;
    } else if (IsVariableByte(b) || b <= 1) {
      ++i;
    } else {
      while (i < t.size() && IsOrdinaryByte(Byte(t, i))) ++i;
    }
    s.Len = i - s.Start;
    spans.push_back(s);
  }
  return spans;
}

// Index of the first byte outside string values for which pred holds.
template <typename TPred>
std::size_t FindOutsideStrings(const std::string& t, std::size_t from, TPred pred) {
  std::size_t i = from;
  while (i < t.size()) {
    uint8_t b = Byte(t, i);
    if (b == kMark) {
      i = StringEnd(t, i);
      continue;
    }
    if (pred(b)) return i;
    ++i;
  }
  return std::string::npos;
}

// Index of the ")" token that closes a group whose "(" lies before from
// (depth 1 at from), or npos.
std::size_t MatchingClose(const std::string& t, std::size_t from) {
  int depth = 1;
  std::size_t i = from;
  while (i < t.size()) {
    uint8_t b = Byte(t, i);
    if (b == kMark) {
      i = StringEnd(t, i);
      continue;
    }
    if (b == tkOpen) ++depth;
    if (b == tkClose && --depth == 0) return i;
    ++i;
  }
  return std::string::npos;
}

std::string Deref(const std::string& operand, const TVarArray& vars) {
  if (operand.size() == 1 && IsVariableByte(Byte(operand, 0))) return vars[Byte(operand, 0) - tkVariable0];
  return operand;
}

// Reads a wholly integer text (optional sign, digits) within 32 bits.
bool ReadInt(const std::string& text, int32_t& out) {
  std::string s = text;
  if (s.size() >= 2 && s[0] == '-' && s[1] == '-') s.replace(0, 2, "+");
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int32_t>::max()) return false;
  out = static_cast<int32_t>(v);
  return true;
}

// The leading integer of a text: characters before the first "+", "-" or
// digit are skipped, the sign is read, then the digits (saturating).
int32_t LeadingInteger(const std::string& text) {
  std::size_t i = text.find_first_of("+-0123456789");
  if (i == std::string::npos) return 0;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > 4000000000LL) v = 4000000000LL;
  }
  return ClampToInt32(negative ? -v : v);
}

int32_t ToNumber(const std::string& value, const TVarArray& vars) {
  return ValueToInt(ConvertValue(value, vkNumber, vars));
}
bool ToTruth(const std::string& value, const TVarArray& vars) {
  return IsTrue(ConvertValue(value, vkTruth, vars));
}
std::string ToText(const std::string& value, const TVarArray& vars) {
  return StringText(ConvertValue(value, vkString, vars));
}

int64_t Quotient(int64_t a, int64_t b) {
  if (b == 0) return a >= 1 ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int32_t>::min();
  return a / b;  // 64-bit: INT32_MIN / -1 fits and is clamped by the caller
}

int32_t CountOccurrences(const std::string& text, const std::string& sub) {
  if (sub.empty()) return 0;
  int32_t n = 0;
  for (std::size_t p = text.find(sub); p != std::string::npos; p = text.find(sub, p + sub.size())) ++n;
  return n;
}

// The result of a binary operator; empty when the operator vanishes.
std::string BinaryResult(uint8_t op, const std::string& left, const std::string& right,
                         const TVarArray& vars) {
  switch (op) {
    case tkAnd: return TruthValue(ToTruth(left, vars) && ToTruth(right, vars));
    case tkOr: return TruthValue(ToTruth(left, vars) || ToTruth(right, vars));
    case tkXor: return TruthValue(ToTruth(left, vars) != ToTruth(right, vars));
    case tkEqv: return TruthValue(ToTruth(left, vars) == ToTruth(right, vars));
    case tkImp: return TruthValue(!ToTruth(left, vars) || ToTruth(right, vars));
    default: break;
  }
  uint8_t kind = ValueKind(right);
  if (kind != vkTruth && kind != vkString && kind != vkNumber) return std::string();
  int64_t a = 0, b = 0;
  auto numbers = [&] {
    a = ToNumber(left, vars);
    b = ToNumber(right, vars);
  };
  switch (op) {
    case tkTimes:
      if (kind == vkTruth) return TruthValue(ToTruth(left, vars) && IsTrue(right));
      numbers();
      return NumberValue(a * b);
    case tkDiv:
      if (kind == vkString) return NumberValue(CountOccurrences(ToText(left, vars), StringText(right)));
      numbers();
      return NumberValue(Quotient(a, b));
    case tkPlus:
      if (kind == vkTruth) return TruthValue(ToTruth(left, vars) || IsTrue(right));
      if (kind == vkString) return StringValue(ToText(left, vars) + StringText(right));
      numbers();
      return NumberValue(a + b);
    case tkMinus:
      if (kind == vkString) {
        std::string l = ToText(left, vars);
        std::string r = StringText(right);
        std::size_t p = r.empty() ? std::string::npos : l.find(r);
        if (p != std::string::npos) l.erase(p, r.size());
        return StringValue(l);
      }
      numbers();
      return NumberValue(a - b);
    default: break;
  }
  // Comparisons.
  int cmp = 0;
  if (kind == vkTruth) {
    cmp = static_cast<int>(ToTruth(left, vars)) - static_cast<int>(IsTrue(right));
  } else if (kind == vkString) {
    int c = ToText(left, vars).compare(StringText(right));  // bytes as unsigned chars
    cmp = c < 0 ? -1 : (c > 0 ? 1 : 0);
  } else {
    numbers();
    cmp = a < b ? -1 : (a > b ? 1 : 0);
  }
  switch (op) {
    case tkLess: return TruthValue(cmp < 0);
    case tkGreater: return TruthValue(cmp > 0);
    case tkLessEqual: return TruthValue(cmp <= 0);
    case tkGreaterEqual: return TruthValue(cmp >= 0);
    case tkNotEqual: return TruthValue(cmp != 0);
    default: return TruthValue(cmp == 0);
  }
}

// Evaluates every occurrence of the operators in ops, leftmost first, until
// none is left. Each step removes one operator token, so the loop ends.
void ReducePass(std::string& t, std::initializer_list<uint8_t> ops, const TVarArray& vars) {
  for (std::size_t guard = t.size() + 1; guard > 0; --guard) {
    std::vector<TSpan> spans = Segment(t);
    std::size_t k = 0;
    for (; k < spans.size(); ++k) {
      if (!spans[k].IsToken) continue;
      uint8_t b = Byte(t, spans[k].Start);
      if (std::find(ops.begin(), ops.end(), b) != ops.end()) break;
    }
    if (k == spans.size()) return;
    uint8_t op = Byte(t, spans[k].Start);
    std::size_t from = spans[k].Start;
    std::size_t to = spans[k].Start + 1;
    std::string left, right;
    if (op != tkNot && k > 0 && !spans[k - 1].IsToken) {
      from = spans[k - 1].Start;
      left = Deref(t.substr(from, spans[k - 1].Len), vars);
    }
    if (k + 1 < spans.size() && !spans[k + 1].IsToken) {
      right = Deref(t.substr(spans[k + 1].Start, spans[k + 1].Len), vars);
      to = spans[k + 1].Start + spans[k + 1].Len;
    }
    std::string result =
        op == tkNot ? TruthValue(!ToTruth(right, vars)) : BinaryResult(op, left, right, vars);
    t.replace(from, to - from, result);
  }
}

std::string EvaluateFlat(std::string t, const TVarArray& vars) {
  if (FindOutsideStrings(t, 0, IsKeywordByte) == std::string::npos) return Deref(t, vars);
  ReducePass(t, {tkTimes, tkDiv}, vars);
  ReducePass(t, {tkPlus, tkMinus}, vars);
  for (uint8_t op : {tkLess, tkGreater, tkLessEqual, tkGreaterEqual, tkNotEqual, tkEqual}) ReducePass(t, {op}, vars);
  for (uint8_t op : {tkNot, tkAnd, tkOr, tkXor, tkEqv, tkImp}) ReducePass(t, {op}, vars);
  return Deref(t, vars);
}

// Keeps the nesting of ExecuteStatement calls within MaxBasicDepth.
int gBasicDepth = 0;
struct TDepthGuard {
  TDepthGuard() { ++gBasicDepth; }
  ~TDepthGuard() { --gBasicDepth; }
  bool TooDeep() const { return gBasicDepth > MaxBasicDepth; }
};

// Arguments of a function call: split at "," outside parentheses and string
// values.
std::vector<std::string> SplitArguments(const std::string& args) {
  std::vector<std::string> out;
  std::size_t start = 0, i = 0;
  int depth = 0;
  while (i < args.size()) {
    uint8_t b = Byte(args, i);
    if (b == kMark) {
      i = StringEnd(args, i);
      continue;
    }
    if (b == tkOpen) ++depth;
    if (b == tkClose) --depth;
    if (b == ',' && depth == 0) {
      out.push_back(args.substr(start, i - start));
      start = i + 1;
    }
    ++i;
  }
  out.push_back(args.substr(start));
  return out;
}

// Real text made of digits with at most one "." (the part before a second
// "." or any other character); 0 for nothing readable.
double ReadDecimal(const std::string& s) {
  std::size_t end = 0;
  bool point = false;
  while (end < s.size() && ((s[end] >= '0' && s[end] <= '9') || (s[end] == '.' && !point))) {
    if (s[end] == '.') point = true;
    ++end;
  }
  std::string text = s.substr(0, end);
  if (text.empty() || text == ".") return 0.0;
  if (text.front() == '.') text.insert(text.begin(), '0');
  if (text.back() == '.') text.push_back('0');
  double v = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

const double kPowersOfTen[21] = {1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1.0,
                                 1e1,   1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10};

int32_t RoundedScaled(double v, bool negative) {
  v = negative ? -v - 0.5 : v + 0.5;
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::trunc(v));
}

int32_t LzVal(const std::string& s, int32_t d) {
  d = std::clamp(d, 1, 9);
  if (s.empty() || !(s[0] == '+' || s[0] == '-' || (s[0] >= '0' && s[0] <= '9'))) return 0;
  bool negative = s[0] == '-';
  std::size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  std::size_t end = i;
  while (end < s.size() && s[end] >= '0' && s[end] <= '9') ++end;
  std::string digits = s.substr(i, end - i);
  while (digits.size() < static_cast<std::size_t>(d)) digits.push_back('0');
  if (digits.size() == static_cast<std::size_t>(d)) {
    int32_t v = std::stoi(digits);
    return negative ? -v : v;
  }
  int64_t power = static_cast<int64_t>(d) - static_cast<int64_t>(digits.size());
  if (power < -10) power = -10;
  double v = 0.0;
  std::from_chars(digits.data(), digits.data() + digits.size(), v);
  return RoundedScaled(v * kPowersOfTen[power + 10], negative);
}

int32_t DecVal(const std::string& s, int32_t d) {
  d = std::clamp(d, -10, 10);
  if (s.empty() || !(s[0] == '+' || s[0] == '-' || s[0] == '.' || (s[0] >= '0' && s[0] <= '9'))) return 0;
  bool negative = s[0] == '-';
  std::size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  std::size_t end = i;
  while (end < s.size() && ((s[end] >= '0' && s[end] <= '9') || s[end] == '.')) ++end;
  std::string text = s.substr(i, end - i);
  if (text.find('.') == std::string::npos) text += ".0";
  return RoundedScaled(ReadDecimal(text) * kPowersOfTen[d + 10], negative);
}

std::string AbsDigits(int32_t v) { return std::to_string(std::llabs(static_cast<int64_t>(v))); }

std::string LzString(int32_t v, int32_t d) {
  d = std::clamp(d, 0, static_cast<int32_t>(kShortStringMax));
  std::string digits = AbsDigits(v);
  if (digits.size() > static_cast<std::size_t>(d)) return std::string(static_cast<std::size_t>(d), '?');
  digits.insert(0, static_cast<std::size_t>(d) - digits.size(), '0');
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return v < 0 ? "-" + digits : digits;
}

std::string DecString(int32_t v, int32_t d) {
  d = std::clamp(d, 0, static_cast<int32_t>(kShortStringMax) - 1);
  std::string digits = AbsDigits(v);
  std::size_t width = static_cast<std::size_t>(d) + 1;
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  digits.insert(digits.size() - static_cast<std::size_t>(d), ".");
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  return v < 0 ? "-" + digits : digits;
}

}  // namespace

// ---- Values ---------------------------------------------------------------

std::string StringValue(const std::string& text) {
  std::string v;
  v.reserve(std::min(text.size(), SwapTextLimit) + 2);
  v.push_back(StringMark);
  v.append(text, 0, SwapTextLimit);
  v.push_back(StringMark);
  return v;
}

std::string StringText(const std::string& value) {
  if (value.empty() || Byte(value, 0) != kMark) return value;
  std::size_t end = StringEnd(value, 0);
  std::size_t len = end - 1;
  if (end <= value.size() && end >= 2 && Byte(value, end - 1) == kMark) len = end - 2;
  return value.substr(1, len);
}

std::string TruthValue(bool value) { return std::string(1, value ? '\x01' : '\x00'); }

std::string NumberValue(int64_t value) { return std::to_string(ClampToInt32(value)); }

uint8_t ValueKind(const std::string& value) {
  if (value.empty()) return vkEmpty;
  uint8_t b = Byte(value, 0);
  if (b == kMark) return vkString;
  if (value.size() == 1) {
    if (IsKeywordByte(b)) return vkOperator;
    if (b <= 1) return vkTruth;
    if (IsVariableByte(b)) return vkVariable;
  }
  return vkNumber;
}

bool IsTrue(const std::string& value) {
  if (value.empty() || value[0] == '\0') return false;
  return value != "0";
}

int32_t ValueToInt(const std::string& value) {
  int32_t v = 0;
  return ReadInt(value, v) ? v : 0;
}

std::string ConvertValue(const std::string& value, uint8_t kind, const TVarArray& vars) {
  std::string v = Deref(value, vars);
  if (kind == vkEmpty) return std::string();
  if (kind == vkOperator) return std::string(1, '\xFF');
  uint8_t from = ValueKind(v);
  if (from == kind) return v;
  switch (from) {
    case vkTruth:
      if (kind == vkString) return StringValue(IsTrue(v) ? "TRUE" : "FALSE");
      if (kind == vkNumber) return IsTrue(v) ? "1" : "0";
      break;
    case vkString:
      if (kind == vkTruth) return TruthValue(StringText(v) == "TRUE");
      if (kind == vkNumber) return std::to_string(LeadingInteger(StringText(v)));
      break;
    case vkNumber:
      if (kind == vkTruth) return TruthValue(ValueToInt(v) != 0);
      if (kind == vkString) return StringValue(v);
      break;
    default: break;
  }
  return v;
}

// ---- Tokens and expressions ------------------------------------------------

std::string Tokenize(const std::string& text, bool* unterminated) {
  // String literals become string values.
  std::string t;
  bool inLiteral = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!inLiteral) {
      if (c == '"') {
        t.push_back(StringMark);
        inLiteral = true;
      } else {
        t.push_back(c);
      }
    } else if (c == '"') {
      if (i + 1 < text.size() && text[i + 1] == '"') {
        t.push_back('"');
        ++i;
      } else {
        t.push_back(StringMark);
        inLiteral = false;
      }
    } else {
      t.push_back(c);
    }
  }
  if (inLiteral) t.push_back(StringMark);
  if (unterminated) *unterminated = inLiteral;

  // Keywords, then the variable names, by plain substring in list order.
  auto replaceAll = [&t](const std::string& word, char token) {
    std::string out;
    out.reserve(t.size());
    std::size_t i = 0;
    while (i < t.size()) {
      if (Byte(t, i) == kMark) {
        std::size_t end = StringEnd(t, i);
        out.append(t, i, end - i);
        i = end;
      } else if (t[i] == word[0] && t.compare(i, word.size(), word) == 0) {
        out.push_back(token);
        i += word.size();
      } else {
        out.push_back(t[i++]);
      }
    }
    t.swap(out);
  };
  for (int k = 0; k < KeywordCount; ++k) replaceAll(KeywordNames[k], static_cast<char>(kFirstKeyword + k));
  for (int d = 0; d < 10; ++d) replaceAll("%" + std::to_string(d), static_cast<char>(tkVariable0 + d));

  // Blanks go; TRUE and FALSE become truth bytes.
  std::string out;
  out.reserve(t.size());
  std::size_t i = 0;
  while (i < t.size()) {
    uint8_t b = Byte(t, i);
    if (b == kMark) {
      std::size_t end = StringEnd(t, i);
      out.append(t, i, end - i);
      i = end;
      continue;
    }
    if (b == tkTrue) out.push_back('\x01');
    else if (b == tkFalse) out.push_back('\x00');
    else if (b != ' ') out.push_back(static_cast<char>(b));
    ++i;
  }
  return out;
}

std::string EvaluateExpression(const std::string& tokens, const TVarArray& vars) {
  std::string t = tokens;
  // Parenthesised groups, innermost first, in one scan: at each ")" the
  // group of the last open "(" is evaluated and put in its place, and the
  // scan goes on after the value. A "(" never closed takes the rest of the
  // text.
  std::vector<std::size_t> open;
  std::size_t i = 0;
  while (i < t.size()) {
    uint8_t b = Byte(t, i);
    if (b == kMark) {
      i = StringEnd(t, i);
      continue;
    }
    if (b == tkOpen) open.push_back(i);
    if (b == tkClose && !open.empty()) {
      std::size_t from = open.back();
      open.pop_back();
      std::string value = EvaluateFlat(t.substr(from + 1, i - from - 1), vars);
      t.replace(from, i + 1 - from, value);
      i = from + value.size();
      continue;
    }
    ++i;
  }
  while (!open.empty()) {
    std::size_t from = open.back();
    open.pop_back();
    t.replace(from, std::string::npos, EvaluateFlat(t.substr(from + 1), vars));
  }
  // Operands left side by side (no operator between them) stay as they are;
  // the whole is kept within the size of one value.
  t = EvaluateFlat(t, vars);
  if (t.size() > SwapTextLimit + 2) t.resize(SwapTextLimit + 2);
  return t;
}

std::string CallFunction(int keywordIndex, const std::string& args, TVarArray& vars, bool& stopped) {
  uint8_t fn = static_cast<uint8_t>(kFirstKeyword + keywordIndex);
  std::vector<std::string> values;
  for (const std::string& a : SplitArguments(args)) values.push_back(ExecuteStatement(a, vars, stopped));

  bool failed = false;
  auto text = [&](std::size_t i) -> std::string {
    if (i >= values.size()) {
      failed = true;
      return std::string();
    }
    std::string v = ConvertValue(values[i], vkString, vars);
    if (ValueKind(v) != vkString) failed = true;
    return StringText(v);
  };
  auto number = [&](std::size_t i) -> int32_t {
    int32_t n = 0;
    if (i >= values.size() || !ReadInt(ConvertValue(values[i], vkNumber, vars), n)) failed = true;
    return n;
  };
  auto orEmpty = [&](const std::string& result) { return failed ? std::string() : result; };
  auto orZero = [&](int64_t result) { return NumberValue(failed ? 0 : result); };

  switch (fn) {
    case tkSqr: {
      int32_t n = number(0);
      return orEmpty(NumberValue(static_cast<int64_t>(std::nearbyint(std::sqrt(std::fabs(static_cast<double>(n)))))));
    }
    case tkLeft: {
      std::string s = text(0);
      int32_t n = number(1);
      return orEmpty(StringValue(LeftStr(s, n)));
    }
    case tkRight: {
      std::string s = text(0);
      int32_t n = number(1);
      return orEmpty(StringValue(RightStr(s, n)));
    }
    case tkMid: {
      std::string s = text(0);
      int32_t i = std::max(number(1), 1);
      int32_t n = number(2);
      if (n <= 0 || static_cast<std::size_t>(i) > s.size()) return orEmpty(StringValue(""));
      return orEmpty(StringValue(s.substr(static_cast<std::size_t>(i) - 1, static_cast<std::size_t>(n))));
    }
    case tkLz: {
      int32_t v = number(0);
      int32_t d = number(1);
      return orEmpty(StringValue(LzString(v, d)));
    }
    case tkLen: {
      std::string s = text(0);
      return orEmpty(NumberValue(static_cast<int64_t>(s.size())));
    }
    case tkDecStr: {
      int32_t v = number(0);
      int32_t d = number(1);
      return orEmpty(StringValue(DecString(v, d)));
    }
    case tkAbs: {
      int64_t n = number(0);
      return orEmpty(NumberValue(n < 0 ? -n : n));
    }
    case tkAsc: {
      std::string s = text(0);
      return orEmpty(NumberValue(s.empty() ? 0 : Byte(s, 0)));
    }
    case tkChr: {
      int64_t n = number(0);
      int64_t code = (n < 0 ? -n : n) % 256;
      return orEmpty(StringValue(code < 128 ? std::string(1, static_cast<char>(code)) : "?"));
    }
    case tkInstr: {
      std::size_t first = values.size() >= 3 ? 1 : 0;
      int32_t start = first == 1 ? number(0) : 1;
      std::string s = text(first);
      std::string t = text(first + 1);
      if (start < 1) start = 1;
      if (failed || t.empty() || static_cast<std::size_t>(start) > s.size()) return orZero(0);
      std::size_t p = s.find(t, static_cast<std::size_t>(start) - 1);
      return orZero(p == std::string::npos ? 0 : static_cast<int64_t>(p) + 1);
    }
    case tkSgn: {
      int32_t n = number(0);
      return orEmpty(NumberValue(n >= 0 ? 1 : -1));
    }
    case tkSpace: {
      int32_t n = std::clamp(number(0), 0, 128);
      return orEmpty(StringValue(std::string(static_cast<std::size_t>(n), ' ')));
    }
    case tkLzVal: {
      std::string s = text(0);
      int32_t d = number(1);
      return orZero(LzVal(s, d));
    }
    case tkDecVal: {
      std::string s = text(0);
      int32_t d = number(1);
      return orZero(DecVal(s, d));
    }
    case tkStr: {
      if (values.empty()) return std::string();
      return ConvertValue(values[0], vkString, vars);
    }
    case tkStrip: {
      std::string s = text(0);
      return orEmpty(StringValue(RemoveBlanks(s)));
    }
    case tkCap: {
      std::string s = text(0);
      return orEmpty(StringValue(UpperCaseStr(ShortStr(s))));
    }
    case tkVal: {
      std::string s = text(0);
      return orEmpty(NumberValue(LeadingInteger(s)));
    }
    default: return std::string();
  }
}

// ---- Statements ---------------------------------------------------------------

bool ParenthesesBalance(const std::string& tokens) {
  int depth = 0;
  std::size_t i = 0;
  while (i < tokens.size()) {
    uint8_t b = Byte(tokens, i);
    if (b == kMark) {
      i = StringEnd(tokens, i);
      continue;
    }
    if (b == tkOpen) ++depth;
    if (b == tkClose && --depth < 0) return false;
    ++i;
  }
  return depth == 0;
}

namespace {

// IF: text holds what follows the IF token.
void RunIf(const std::string& text, TVarArray& vars, bool& stopped) {
  std::size_t then = FindOutsideStrings(text, 0, [](uint8_t b) { return b == tkThen; });
  if (then == std::string::npos) return;
  bool condition = IsTrue(ExecuteStatement(text.substr(0, then), vars, stopped));
  std::string rest = text.substr(then + 1);
  // The ELSE that pairs with this IF: nested IF ... ELSE pairs are skipped.
  int ifs = 1, elses = 0;
  std::size_t match = std::string::npos;
  std::size_t i = 0;
  while (i < rest.size()) {
    uint8_t b = Byte(rest, i);
    if (b == kMark) {
      i = StringEnd(rest, i);
      continue;
    }
    if (b == tkIf) ++ifs;
    if (b == tkElse && ++elses == ifs) {
      match = i;
      break;
    }
    ++i;
  }
  std::string branch;
  if (condition) branch = rest.substr(0, match == std::string::npos ? rest.size() : match);
  else if (match != std::string::npos) branch = rest.substr(match + 1);
  if (branch.empty()) return;
  if (!IsKeywordByte(Byte(branch, 0))) branch.insert(branch.begin(), static_cast<char>(tkLet));
  ExecuteStatement(branch, vars, stopped);
}

}  // namespace

std::string ExecuteStatement(const std::string& tokens, TVarArray& vars, bool& stopped) {
  TDepthGuard depth;
  if (depth.TooDeep()) return std::string();
  if (!ParenthesesBalance(tokens)) return StringValue("MISMATCHED PARENTHESES");
  std::string t = tokens;
  // Each round replaces one function call (removing its token) or ends.
  for (std::size_t guard = t.size() + 1; guard > 0; --guard) {
    std::size_t p = FindOutsideStrings(t, 0, [](uint8_t b) { return b >= tkSqr && b <= tkEof; });
    if (p == std::string::npos) return EvaluateExpression(t, vars);
    uint8_t b = Byte(t, p);
    if (b == tkLet) {
      if (p == 0 && t.size() > 2 && IsVariableByte(Byte(t, 1))) {
        std::string value = ExecuteStatement(t.substr(3), vars, stopped);
        vars[Byte(t, 1) - tkVariable0] = value;
      }
      return std::string();
    }
    if (b == tkEof) {
      stopped = true;
      return std::string();
    }
    if (b == tkIf) {
      RunIf(t.substr(p + 1), vars, stopped);
      return std::string();
    }
    // A function: the byte after it stands for "(", the arguments run to the
    // matching ")" (or the end).
    std::size_t argStart = std::min(p + 2, t.size());
    std::size_t close = MatchingClose(t, argStart);
    std::size_t argEnd = close == std::string::npos ? t.size() : close;
    std::string value = CallFunction(b - kFirstKeyword, t.substr(argStart, argEnd - argStart), vars, stopped);
    t.replace(p, (close == std::string::npos ? t.size() : close + 1) - p, value);
  }
  return EvaluateExpression(t, vars);
}

void RunStatement(const std::string& tokens, TVarArray& vars, bool& stopped) {
  ExecuteStatement(tokens, vars, stopped);
}

namespace {

// True when the digits at text[pos] start a number below 10.
bool VariableNumberAt(const std::string& text, std::size_t pos) {
  if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
  int value = 0;
  for (std::size_t i = pos; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value >= 10) return false;
  }
  return true;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// How deep ExecuteStatement will nest for a statement: one level per
// parenthesis level (function arguments) and per IF (its condition and
// branch), plus the statement itself.
int NestingEstimate(const std::string& tokens) {
  int depth = 0, deepest = 0, ifs = 0;
  FindOutsideStrings(tokens, 0, [&](uint8_t b) {
    if (b == tkOpen) deepest = std::max(deepest, ++depth);
    if (b == tkClose) --depth;
    if (b == tkIf) ++ifs;
    return false;
  });
  return deepest + ifs + 1;
}

}  // namespace

std::string CompileStatement(const std::string& segment, TStatementList& statements,
                             std::vector<std::string>& problems) {
  std::string s = segment;
  if (s.size() >= 2 && s[0] == '%' && VariableNumberAt(s, 1)) s.insert(0, "LET");
  bool statement = StartsWith(s, "IF") || (StartsWith(s, "LET%") && VariableNumberAt(s, 4)) ||
                   StartsWith(s, "EOF");
  if (!statement) return segment;
  bool unterminated = false;
  TTokenizedBasic record;
  record.Text = Tokenize(s, &unterminated);
  record.Id = statements.empty() ? 1 : statements.back().Id + 1;
  if (unterminated) problems.push_back("string literal not closed in \"" + segment + "\"");
  if (!ParenthesesBalance(record.Text)) problems.push_back("mismatched parentheses in \"" + segment + "\"");
  if (NestingEstimate(record.Text) > MaxBasicDepth) {
    problems.push_back("statement nested too deeply to run: \"" + ShortStr(segment) + "\"");
  }
  statements.push_back(record);
  return "BASIC:" + LongToHex(record.Id);
}

std::string CompileStatementList(const std::string& group, TStatementList& statements,
                                 std::vector<std::string>& problems) {
  std::size_t slash = group.find('/');
  if (slash == std::string::npos) return group;
  std::string out = group.substr(0, slash + 1);
  std::string segment;
  bool quoted = false;
  for (std::size_t i = slash + 1; i < group.size(); ++i) {
    char c = group[i];
    if (c == '"') quoted = !quoted;
    if (c == '/' && !quoted) {
      out += CompileStatement(segment, statements, problems);
      out.push_back('/');
      segment.clear();
    } else {
      segment.push_back(c);
    }
  }
  out += CompileStatement(segment, statements, problems);
  return out;
}

const TTokenizedBasic* FindStatement(const TStatementList& statements, uint32_t id) {
  for (const TTokenizedBasic& s : statements) {
    if (s.Id == id) return &s;
  }
  return nullptr;
}
