#include "foundation/utilities.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "platform/message_box.h"

#include <cstdlib>
#include <new>
#ifdef __linux__
#include <sys/mman.h>
#endif

std::string ShortStr(std::string text) {
  if (text.size() > kShortStringMax) text.resize(kShortStringMax);
  return text;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Result of a strict conversion: the 1-based position of the offending
// character (the length + 1 when the text ended too early), 0 on success.
template <typename T>
struct TParse {
  T Value{};
  std::size_t ErrorPos = 0;
};

TParse<int32_t> ParseInt(const std::string& text) {
  TParse<int32_t> r;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i < n && text[i] == '$') {
    ++i;
    if (i >= n) {
      r.ErrorPos = n + 1;
      return r;
    }
    uint64_t v = 0;
    for (; i < n; ++i) {
      int d = HexDigitValue(text[i]);
      if (d < 0 || v > 0x0FFFFFFFu) {  // not a digit, or a ninth digit
        r.ErrorPos = i + 1;
        return r;
      }
      v = v * 16 + static_cast<uint64_t>(d);
    }
    uint32_t bits = static_cast<uint32_t>(v);
    if (negative) bits = 0u - bits;
    r.Value = static_cast<int32_t>(bits);
    return r;
  }
  if (i >= n) {
    r.ErrorPos = n + 1;
    return r;
  }
  int64_t v = 0;
  for (; i < n; ++i) {
    if (!IsDigit(text[i])) {
      r.ErrorPos = i + 1;
      return r;
    }
    // Saturate instead of overflowing; the sign is applied afterwards.
    if (v <= int64_t{1} << 32) v = v * 10 + (text[i] - '0');
  }
  if (negative) v = -v;
  v = std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                          std::numeric_limits<int32_t>::max());
  r.Value = static_cast<int32_t>(v);
  return r;
}

// True when a validated real text (optional sign, digits with an optional
// point, optional exponent) stands for a magnitude of at least 10.
bool DecimalOrderPositive(const std::string& text) {
  std::size_t i = 0, n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  int64_t order = 0;  // decimal exponent of the first significant digit
  bool seenPoint = false, seenSignificant = false;
  int64_t intDigits = 0, leadingFractionZeros = 0;
  for (; i < n && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      seenPoint = true;
    } else if (!seenPoint) {
      if (seenSignificant || text[i] != '0') {
        seenSignificant = true;
        ++intDigits;
      }
    } else if (!seenSignificant) {
      if (text[i] == '0') ++leadingFractionZeros;
      else seenSignificant = true;
    }
  }
  if (!seenSignificant) return false;
  order = intDigits > 0 ? intDigits - 1 : -leadingFractionZeros - 1;
  if (i < n) {
    ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t e = 0;
    for (; i < n; ++i)
      if (e < 1000000000) e = e * 10 + (text[i] - '0');
    order += negative ? -e : e;
  }
  return order > 0;
}

TParse<double> ParseReal(const std::string& text) {
  TParse<double> r;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  std::size_t start = i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t mantissaStart = i;
  while (i < n && IsDigit(text[i])) ++i;
  bool anyDigits = i > mantissaStart;
  if (i < n && text[i] == '.') {
    ++i;
    const std::size_t fractionStart = i;
    while (i < n && IsDigit(text[i])) ++i;
    if (i == fractionStart) {
      // A point must be followed by a digit.
      r.ErrorPos = i + 1;
      return r;
    }
    anyDigits = true;
  }
  if (!anyDigits) {
    r.ErrorPos = i + 1;
    return r;
  }
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    const std::size_t e = i;
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t exponentStart = i;
    while (i < n && IsDigit(text[i])) ++i;
    if (i == exponentStart) {
      // No exponent digits: the number ends before the "E".
      r.ErrorPos = e + 1;
      return r;
    }
  }
  if (i < n) {
    r.ErrorPos = i + 1;
    return r;
  }
  if (text[start] == '+') ++start;  // from_chars takes no "+"
  const std::string number = text.substr(start);
  double v = 0.0;
  auto res = std::from_chars(number.data(), number.data() + number.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // Too small reads as zero; too large is no usable number.
    if (DecimalOrderPositive(number)) {
      r.ErrorPos = n + 1;
      return r;
    }
    v = 0.0;
  } else if (res.ec != std::errc() || res.ptr != number.data() + number.size() ||
             !std::isfinite(v)) {
    r.ErrorPos = n + 1;
    return r;
  }
  r.Value = v;
  return r;
}

TParse<double> ParseRealDotFixed(std::string text) {
  if (!text.empty() && text.back() == '.') text += '0';
  return ParseReal(text);
}

std::string DigitsOf(uint64_t v) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

}  // namespace

std::string IntToShortStr(int32_t value) {
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

int32_t StrToIntLenient(const std::string& text) {
  TParse<int32_t> r = ParseInt(text);
  if (r.ErrorPos == 0) return r.Value;
  r = ParseInt(text.substr(0, r.ErrorPos - 1));
  return r.ErrorPos == 0 ? r.Value : 0;
}

double StrToRealLenient(const std::string& text) {
  if (text.empty()) return 0.0;
  TParse<double> r = ParseRealDotFixed(text);
  if (r.ErrorPos == 0) return r.Value;
  // The error position refers to the text as converted; when a "0" was
  // appended it lies past the original text, which is then retried whole.
  std::size_t keep = std::min(r.ErrorPos - 1, text.size());
  if (keep == text.size()) return 0.0;
  r = ParseRealDotFixed(text.substr(0, keep));
  return r.ErrorPos == 0 ? r.Value : 0.0;
}

std::string RealToStr(double value) {
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 10);
  std::string s = res.ec == std::errc() ? std::string(buf, res.ptr) : std::string();
  // A field of 20 only ever adds leading blanks, which are removed again.
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (s.size() >= 2 && s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
  if (s == "-0.0") s = "0.0";
  return ShortStr(std::move(s));
}

double IntToReal(int32_t value) { return static_cast<double>(value); }
double Int64ToReal(int64_t value) { return static_cast<double>(value); }

std::string IntToStrGrouped(int32_t value) { return Int64ToStrGrouped(value); }

std::string Int64ToStrGrouped(int64_t value) {
  const bool negative = value < 0;
  // The magnitude in unsigned arithmetic: INT64_MIN has no positive twin.
  std::string digits = DigitsOf(negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return negative ? "-" + out : out;
}

std::string IntToStrGroupedPadded(int32_t value, int32_t width) {
  std::string s = IntToStrGrouped(value);
  int32_t target = std::min<int32_t>(width, kShortStringMax);
  if (static_cast<int32_t>(s.size()) < target) s.insert(0, target - s.size(), ' ');
  return s;
}

std::string IntToStr2(int32_t value) {
  std::string s = IntToShortStr(value);
  return (value >= 0 && value < 10) ? "0" + s : s;
}

double Power(double base, double exponent) {
  if (!(base > 0.0)) return 0.0;
  return std::exp(std::log(base) * exponent);
}

// ---- Short strings -----------------------------------------------------------

std::string UpperCaseStr(const std::string& text) {
  std::string s = text;
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string LowerCaseStr(const std::string& text) {
  std::string s = text;
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string RemoveBlanks(const std::string& text) {
  const std::size_t first = text.find(' ');
  if (first == std::string::npos) return text;
  std::string s(text, 0, first);
  s.reserve(text.size());
  for (std::size_t i = first + 1; i < text.size(); ++i)
    if (text[i] != ' ') s += text[i];
  return s;
}

std::string TrimBlanks(const std::string& text) {
  auto code = [](char c) { return static_cast<unsigned char>(c); };
  std::size_t end = text.size();
  while (end > 0 && code(text[end - 1]) <= 32) --end;
  std::size_t begin = 0;
  while (begin < end && code(text[begin]) < 33) ++begin;
  return text.substr(begin, end - begin);
}

std::string CleanUpperCase(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  std::string s;
  for (std::size_t i = begin; i < end; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 32 && c <= 126) s += static_cast<char>(c);
  }
  return UpperCaseStr(s);
}

std::string StripTrailingZeros(const std::string& text) {
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  return s;
}

std::string ReverseStr(const std::string& text) { return std::string(text.rbegin(), text.rend()); }

int32_t LastPos(const std::string& sub, const std::string& text) {
  if (sub.empty() || sub.size() > text.size()) return 0;
  std::size_t p = text.rfind(sub);
  return p == std::string::npos ? 0 : static_cast<int32_t>(p + 1);
}

int32_t NthPos(int32_t n, const std::string& sub, const std::string& text) {
  if (n < 1 || sub.empty()) return 0;
  // Each occurrence found is spoiled by complementing its first character,
  // so the next search finds the following one (overlaps included).
  std::string work = text;
  for (int32_t i = 1; i < n; ++i) {
    std::size_t p = work.find(sub);
    if (p == std::string::npos) return 0;
    work[p] = static_cast<char>(~static_cast<unsigned char>(work[p]));
  }
  std::size_t p = work.find(sub);
  return p == std::string::npos ? 0 : static_cast<int32_t>(p + 1);
}

int32_t FirstUpperLetterPos(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] >= 'A' && text[i] <= 'Z') return static_cast<int32_t>(i + 1);
  return 0;
}

int32_t CountCharsOutside(unsigned char lo, unsigned char hi, const std::string& text) {
  int32_t count = 0;
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < lo || c > hi) ++count;
  }
  return count;
}

char FirstChar(const std::string& text) { return text.empty() ? '\0' : text[0]; }

std::string LeftStr(const std::string& text, int32_t n) {
  if (n <= 0) return std::string();
  return text.substr(0, static_cast<std::size_t>(n));
}

std::string RightStr(const std::string& text, int32_t n) {
  if (n <= 0) return std::string();
  if (text.size() <= static_cast<std::size_t>(n)) return text;
  return text.substr(text.size() - static_cast<std::size_t>(n));
}

namespace {

std::string LengthText(std::size_t length) {
  return " (" + Int64ToStrGrouped(static_cast<int64_t>(length)) + " characters)";
}

}  // namespace

std::string TextStart(std::string_view text, std::size_t most) {
  if (text.size() <= most) return std::string(text);
  return std::string(text.substr(0, most)) + "..." + LengthText(text.size());
}

std::string QuotedStart(std::string_view text, std::size_t most) {
  if (text.size() <= most) return "\"" + std::string(text) + "\"";
  return "\"" + std::string(text.substr(0, most)) + "...\"" + LengthText(text.size());
}

namespace {

bool IsTapeControlChar(char c) { return static_cast<unsigned char>(c) < ' ' && c != '\t'; }

}  // namespace

bool HoldsTapeControlChar(std::string_view text) {
  return std::any_of(text.begin(), text.end(), IsTapeControlChar);
}

std::string ShowTapeControlChars(std::string_view text) {
  static const char* const kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                         "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                         "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                         "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    if (IsTapeControlChar(c)) shown += std::string("<") + kNames[static_cast<unsigned char>(c)] + ">";
    else if (c == '\x7f') shown += "<DEL>";
    else shown += c;
  }
  return shown;
}

namespace {

// Index of the first character of the file name part of a path.
std::size_t FileNameStart(const std::string& name) {
  std::size_t sep = name.find_last_of("\\/");
  return sep == std::string::npos ? 0 : sep + 1;
}

// Index of the extension dot of the file name part, npos when none.
std::size_t ExtensionDot(const std::string& name) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < FileNameStart(name)) return std::string::npos;
  return dot;
}

}  // namespace

std::string FileExtension3(const std::string& name) {
  std::size_t dot = ExtensionDot(name);
  if (dot == std::string::npos) return std::string();
  if (dot + 1 == name.size()) return "   ";
  return name.substr(dot + 1, 3);
}

std::string ChangeFileExtension(const std::string& name, const std::string& ext) {
  std::string e = (!ext.empty() && ext[0] == '.') ? ext.substr(1) : ext;
  std::size_t dot = ExtensionDot(name);
  if (dot != std::string::npos) return name.substr(0, dot + 1) + e;
  std::string s = name;
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s + "." + e;
}

std::string FolderOf(const std::string& name) {
  const std::size_t at = name.find_last_of("\\/");
  return at == std::string::npos ? std::string() : name.substr(0, at + 1);
}

std::string BareName(const std::string& name) {
  const std::size_t at = name.find_last_of("\\/");
  std::string part = at == std::string::npos ? name : name.substr(at + 1);
  const std::size_t dot = part.rfind('.');
  if (dot != std::string::npos) part.erase(dot);
  return part;
}

std::string AbbreviatePath(const std::string& path, int32_t width) {
  std::string s = path;
  if (static_cast<int64_t>(s.size()) > width) {
    // The tail starts at 1-based position Length - width + 6.
    int64_t from = static_cast<int64_t>(s.size()) - width + 5;  // 0-based
    std::string tail = from < static_cast<int64_t>(s.size()) ? s.substr(static_cast<std::size_t>(std::max<int64_t>(from, 0))) : std::string();
    s = s.substr(0, 3) + "..." + tail;
    if (s.size() >= 7 && s[6] != '\\' && CountBackslashes(s) >= 2) {
      std::size_t next = s.find('\\', 6);
      if (next != std::string::npos) s.erase(6, next - 6);
    }
  }
  int32_t target = std::min<int32_t>(width, kShortStringMax);
  if (static_cast<int32_t>(s.size()) < target) s.append(target - s.size(), ' ');
  return ShortStr(std::move(s));
}

int32_t CountBackslashes(const std::string& text) {
  return static_cast<int32_t>(std::count(text.begin(), text.end(), '\\'));
}

namespace {
bool IsTokenDelimiter(char c) {
  return c == ' ' || c == '(' || c == ')' || c == '*' || c == ';' || c == '=';
}
}  // namespace

std::string NextToken(const std::string& text, int32_t& position, bool upcase) {
  const int64_t n = static_cast<int64_t>(text.size());
  int64_t i = std::max<int64_t>(position, 1);  // 1-based
  while (i <= n && text[i - 1] == ' ') ++i;
  std::string token;
  if (i <= n) {
    if (IsTokenDelimiter(text[i - 1])) {
      token = text[i - 1];
      ++i;
    } else {
      int64_t start = i;
      while (i <= n && !IsTokenDelimiter(text[i - 1])) ++i;
      token = text.substr(start - 1, i - start);
    }
  }
  position = static_cast<int32_t>(std::min<int64_t>(i, std::numeric_limits<int32_t>::max()));
  return upcase ? UpperCaseStr(token) : token;
}

uint8_t WordIndex(const std::string& word, const std::string& list) {
  const int32_t n = static_cast<int32_t>(std::min(list.size(), std::size_t{0x7FFFFFF0}));
  int32_t position = 1;
  int32_t index = -1;
  do {
    std::string token = NextToken(list, position, true);
    ++index;
    if (token == word) break;
  } while (position <= n);
  return static_cast<uint8_t>(std::min(index, 255));
}

std::string ResText(uint16_t /*number*/, const std::string& text) { return text; }

// ---- Hexadecimal -------------------------------------------------------------

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}

std::string ByteToHex(uint8_t b) {
  return std::string{kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
}

std::string WordToHex(uint16_t w) {
  return ByteToHex(static_cast<uint8_t>(w >> 8)) + ByteToHex(static_cast<uint8_t>(w & 0xFF));
}

std::string LongToHex(uint32_t v) {
  return WordToHex(static_cast<uint16_t>(v >> 16)) + WordToHex(static_cast<uint16_t>(v & 0xFFFF));
}

int32_t HexToInt(const std::string& text) {
  std::size_t i = (!text.empty() && text[0] == '$') ? 1 : 0;
  uint32_t v = 0;
  for (; i < text.size(); ++i) {
    int d = HexDigitValue(text[i]);
    if (d < 0) break;
    v = v * 16u + static_cast<uint32_t>(d);
  }
  return static_cast<int32_t>(v);
}

std::string FormatSegOfs(uint32_t v) {
  return "$" + WordToHex(static_cast<uint16_t>(v >> 16)) + ":$" +
         WordToHex(static_cast<uint16_t>(v & 0xFFFF));
}

uint32_t ParseSegOfs(const std::string& text) {
  auto part = [&](std::size_t from) {
    return from < text.size() ? text.substr(from, 4) : std::string();
  };
  uint32_t high = static_cast<uint32_t>(HexToInt(part(1))) & 0xFFFFu;
  uint32_t low = static_cast<uint32_t>(HexToInt(part(7))) & 0xFFFFu;
  return (high << 16) | low;
}

// ---- Date, time and small helpers -------------------------------------------

uint32_t PackDosDateTime(const TDateTimeRec& dt) {
  uint32_t year = static_cast<uint32_t>(dt.Year - 1980) & 0x7Fu;
  return (year << 25) | ((dt.Month & 0x0Fu) << 21) | ((dt.Day & 0x1Fu) << 16) |
         ((dt.Hour & 0x1Fu) << 11) | ((dt.Min & 0x3Fu) << 5) | ((dt.Sec / 2u) & 0x1Fu);
}

TDateTimeRec UnpackDosDateTime(uint32_t value) {
  TDateTimeRec dt;
  dt.Year = static_cast<uint16_t>(1980 + (value >> 25));
  dt.Month = static_cast<uint16_t>((value >> 21) & 0x0F);
  dt.Day = static_cast<uint16_t>((value >> 16) & 0x1F);
  dt.Hour = static_cast<uint16_t>((value >> 11) & 0x1F);
  dt.Min = static_cast<uint16_t>((value >> 5) & 0x3F);
  dt.Sec = static_cast<uint16_t>((value & 0x1F) * 2);
  return dt;
}

namespace {

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

std::string TwoDigits(int v) { return IntToStr2(v); }

}  // namespace

std::string TimeText() {
  std::tm tm = LocalNow();
  return TwoDigits(tm.tm_hour) + ":" + TwoDigits(tm.tm_min) + ":" + TwoDigits(tm.tm_sec);
}

std::string DateText() {
  std::tm tm = LocalNow();
  std::string year = IntToShortStr(tm.tm_year + 1900);
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  return TwoDigits(tm.tm_mon + 1) + "-" + TwoDigits(tm.tm_mday) + "-" + year;
}

bool BytesEqual(const void* a, const void* b, int32_t n) {
  if (n < 1) return true;
  return std::memcmp(a, b, static_cast<std::size_t>(n)) == 0;
}

int32_t MaxInt2(int32_t a, int32_t b) { return a > b ? a : b; }
int32_t MinInt2(int32_t a, int32_t b) { return a < b ? a : b; }
double MaxReal(double a, double b) { return a > b ? a : b; }

int32_t MinNonZero(int32_t a, int32_t b) {
  if (b == 0) return a;
  if (a == 0) return b;
  return a < b ? a : b;
}

void SwapIntegers(int32_t& a, int32_t& b) { std::swap(a, b); }
void SwapIntegers2(int32_t& a, int32_t& b) { std::swap(a, b); }
void SwapReals(double& a, double& b) { std::swap(a, b); }

double ArcTan2(double y, double x) { return std::atan2(y, x); }

double ArcSin(double x) {
  if (x > 1.0) x = 1.0;
  if (x < -1.0) x = -1.0;
  return ArcTan2(x, std::sqrt(1.0 - x * x));
}

void Beep() { MessageBeep(MB_SIMPLEBEEP); }

void* NewAlignedBlock(std::size_t bytes) {
#ifdef __linux__
  // Twice the size mapped, the aligned block kept, the rest given back; the
  // system gives the pages zeroed.
  void* mapped = ::mmap(nullptr, 2 * bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t block = (at + bytes - 1) & ~std::uintptr_t(bytes - 1);
  if (block > at) ::munmap(mapped, block - at);
  if (block + bytes < at + 2 * bytes) ::munmap(reinterpret_cast<void*>(block + bytes), at + bytes - block);
  // Small pages: a fault on memory advised for large pages makes the system
  // compact its memory first where it has no large page free, which after
  // another program freed much (a busy machine, a desktop running for days)
  // held an import of a million entities up by half a second.
  return reinterpret_cast<void*>(block);
#else
  void* memory = std::aligned_alloc(bytes, bytes);
  if (memory == nullptr) throw std::bad_alloc();
  std::memset(memory, 0, bytes);
  return memory;
#endif
}

void FreeAlignedBlock(void* block, std::size_t bytes) {
#ifdef __linux__
  ::munmap(block, bytes);
#else
  (void)bytes;
  std::free(block);
#endif
}
