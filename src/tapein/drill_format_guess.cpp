#include "tapein/drill_format_guess.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string_view>
#include <vector>

#include "foundation/file_utils.h"
#include "foundation/tape_feed.h"
#include "foundation/utilities.h"
#include "platform/paths.h"

namespace {

// Coordinate words read for the inference; the scan ends there.
constexpr size_t MaxKeptWords = 200000;
// A board larger than this (inches) is no board: the digits are wrong.
constexpr double LargestBoard = 40.0;
// On a drilled board the holes stand apart by a few of their sizes: the
// median of a hole's distance to its nearest neighbour over its size lies
// near SpacingTarget. Below SpacingLow the holes would overlap; above
// SpacingHigh the board is spread ten times too wide for its holes.
constexpr double SpacingTarget = 4.5;
constexpr double SpacingLow = 1.0;
constexpr double SpacingHigh = 20.0;
// Words enough to show that none ends in 0.
constexpr size_t ZeroEvidenceWords = 50;
// Fewer hits with a tool size than this show no spacing.
constexpr size_t SpacingHits = 10;
// Hits whose nearest neighbour is looked for, and the holes looked at for
// one of them at most: the median needs no more.
constexpr size_t SpacingQueries = 4096;
constexpr size_t SpacingVisits = 4096;
// The lists kept for the next tape hold no more hits than this (the line
// and word length lists are bounded by the longest line read).
constexpr size_t KeptHits = 1 << 15;
constexpr size_t FileBufferSize = 1 << 16;

// A kept coordinate word, as much of it as the spacing needs.
struct TWord {
  double Digits = 0.0;  // the digit string as a number
  int32_t Length = 0;   // 0: no word
  bool Negative = false;
};

// A hit: its X and Y words (of an incremental move the words of its block,
// none for an axis that does not move), its tool and the tool's size as
// written.
struct THitWords {
  TWord X, Y;
  double Size = 0.0;
  int32_t Tool = -1;
  bool Incremental = false;
};

// The words of one length: how many, how many begin with 0, end in 0 and
// end in 0 without beginning with it, and the extremes of their signed
// digit strings on either axis.
struct TLengthStats {
  size_t Count = 0;
  size_t FirstZero = 0, LastZero = 0, OnlyLastZero = 0;
  double MinX = 1e300, MaxX = -1e300, MinY = 1e300, MaxY = -1e300;
};

// A token of a drill list comment: a word, a number, "=" or '"'.
struct TSizeToken {
  std::string_view Text;
  bool Number = false;
  bool Joined = false;  // follows the token before without a gap
};

// Sizes by tool number: the usual numbers by index, the rare larger ones
// in a map (in number order after them).
class TToolSizes {
 public:
  void Clear() {
    small_.clear();
    large_.clear();
  }
  void Set(int32_t tool, double size) {
    if (tool >= 0 && tool < int32_t(SmallTools)) {
      if (small_.size() <= size_t(tool)) small_.resize(size_t(tool) + 1, -1.0);
      small_[size_t(tool)] = size;
    } else {
      large_[tool] = size;
    }
  }
  // nullptr when the tool has no size.
  const double* Find(int32_t tool) const {
    if (tool >= 0 && tool < int32_t(SmallTools))
      return size_t(tool) < small_.size() && small_[size_t(tool)] >= 0.0 ? &small_[size_t(tool)] : nullptr;
    const auto at = large_.find(tool);
    return at == large_.end() ? nullptr : &at->second;
  }
  // Calls f(tool, size) in tool order.
  template <typename F>
  void ForEach(F f) const {
    for (size_t t = 0; t < small_.size(); ++t)
      if (small_[t] >= 0.0) f(int32_t(t), small_[t]);
    for (const auto& [tool, size] : large_) f(tool, size);
  }

 private:
  static constexpr size_t SmallTools = 1000;
  std::vector<double> small_;  // -1: no size
  std::map<int32_t, double> large_;
};

// The working lists of the nearest-neighbour search.
struct TSpacingLists {
  struct TPoint {
    double X, Y;
  };
  std::vector<TPoint> Holes, Cells;
  std::vector<uint32_t> Start, Key, Next, Once;
  std::vector<double> Nearest, Ratios;
};

struct TScan {
  TTapeFormatGuess Guess;
  std::vector<TSizeToken> SizeTokens;  // of the comment read last
  std::vector<uint32_t> Marks;         // letters of words in the line read last
  std::vector<TLengthStats> Lengths;  // by word length
  std::vector<THitWords> Hits;
  TToolSizes ToolSizes;     // C values of the tool words, as written
  TToolSizes CommentSizes;  // inches, from the drill list's comments
  std::string Raw, Line, Upper;  // the line read last, cleaned, upper-cased
  std::vector<char> FileBuffer;  // the tape file's
  TSpacingLists Spacing;
  std::vector<double> Sizes;
  size_t Words = 0;       // coordinate words kept
  size_t SizedHits = 0;   // hits with a tool size
  int32_t Tool = -1;                     // the tool selected last
  double ToolSize = 0.0;                 // and its size
  TWord LastX, LastY;                    // the words of the position reached
  bool Incremental = false;              // G91 (or ICI,ON) in force
  bool Routing = false;                  // G00..G03 in force (G05 drills again)
  bool MovesLost = false;                // an incremental move the kept words do not hold
  int32_t MaxLength = 0;
  int32_t MinLength = 0;  // of the words of two digits or more
  int32_t LeadingZeroWords = 0;   // shorter than the longest and beginning with 0
  int32_t TrailingZeroWords = 0;  // shorter than the longest and ending in 0
  double LargestTool = 0.0;       // in the tape's unit as written
  int32_t PointDecimals = 0;      // the most decimals of a coordinate with its point
  // The program began (a "%" or "M95", or a position): a digits statement
  // after it is a comment a later program kept, not the tape's own...
  bool InBody = false;
  // ...unless it stands in an M48 header, which "%" or "M95" closes: the
  // reader takes it there, after a rewind stop "%" that opens the tape too.
  bool InHeader = false;
  // A block outside the header was read: a "%" before it is a rewind stop
  // that opens the tape, not the program's beginning.
  bool Begun = false;

  // Empty for the next tape, the lists keeping their room.
  void Clear() {
    Guess = {};
    InBody = InHeader = Begun = false;
    Lengths.clear();
    Hits.clear();
    ToolSizes.Clear();
    CommentSizes.Clear();
    Words = SizedHits = 0;
    Tool = -1;
    ToolSize = 0.0;
    LastX = LastY = {};
    Incremental = Routing = MovesLost = false;
    MaxLength = MinLength = LeadingZeroWords = TrailingZeroWords = 0;
    LargestTool = 0.0;
    PointDecimals = 0;
  }
};

// Character classes looked up by table: in the fuzzing build every
// comparison in a loop over the characters is traced, a look-up is not.
// ccBlank: taken out of a line, the blanks (space, TAB) and the tape feed
// the tape reader passes over wherever it stands.
enum : uint8_t { ccDigit = 1, ccWordLetter = 2, ccBlank = 4 };
constexpr std::array<uint8_t, 256> CharClasses() {
  std::array<uint8_t, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[size_t(c)] = ccDigit;
  for (const char c : {'T', 'G', 'X', 'Y', 'C'}) t[size_t(c)] = ccWordLetter;
  for (int c = 0; c < 256; ++c)
    if (IsTapeBlank(static_cast<char>(c)) || IsTapeFeed(static_cast<char>(c))) t[size_t(c)] = ccBlank;
  return t;
}
constexpr std::array<uint8_t, 256> CharClass = CharClasses();

// The characters in upper case (ASCII letters only).
constexpr std::array<char, 256> UpperCases() {
  std::array<char, 256> t{};
  for (int c = 0; c < 256; ++c) t[size_t(c)] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return t;
}
constexpr std::array<char, 256> UpperCase = UpperCases();

bool IsDigit(char c) { return (CharClass[static_cast<unsigned char>(c)] & ccDigit) != 0; }

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The fields after a unit keyword: "LZ" / "TZ" and a digit pattern "000.000".
void ReadUnitFields(std::string_view tail, TTapeFormatGuess& g) {
  size_t from = 0;
  while (from <= tail.size()) {
    size_t comma = tail.find(',', from);
    if (comma == std::string_view::npos) comma = tail.size();
    const std::string_view field = tail.substr(from, comma - from);
    if (field == "LZ" || field == "TZ") {
      g.ZerosKnown = true;
      g.LeadingZeros = field == "LZ";
    } else if (const size_t point = field.find('.');
               point != std::string_view::npos && field.find_first_not_of("0.") == std::string_view::npos) {
      const int32_t integer = int32_t(point);
      const int32_t decimal = int32_t(field.size() - point - 1);
      if (integer >= 1 && integer <= 5 && decimal >= 1 && decimal <= 6) {
        g.DigitsKnown = true;
        g.IntegerDigits = integer;
        g.DecimalDigits = decimal;
      }
    }
    from = comma + 1;
  }
}

// A format comment of another writer: ";FORMAT={3:3/ absolute / metric /
// suppress trailing zeros}" or "; Format : 2.4 / Absolute / INCH": the
// first digit pair after the word, the unit and the zeros where they are
// named. The unit lines of the header, where there are any, come later and
// win.
void ReadFormatComment(const std::string& line, TTapeFormatGuess& g) {
  const size_t word = line.find("FORMAT");
  if (word == std::string::npos) return;
  const std::string_view rest = std::string_view(line).substr(word + 6);
  for (size_t i = 0; i + 2 < rest.size(); ++i) {
    const char a = rest[i], mark = rest[i + 1], b = rest[i + 2];
    if (a < '1' || a > '5' || b < '1' || b > '6' || (mark != ':' && mark != '.')) continue;
    if ((i > 0 && std::isdigit(static_cast<unsigned char>(rest[i - 1]))) ||
        (i + 3 < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i + 3]))))
      continue;
    g.DigitsKnown = true;
    g.IntegerDigits = a - '0';
    g.DecimalDigits = b - '0';
    break;
  }
  if (!g.UnitsKnown && (rest.find("METRIC") != std::string_view::npos || rest.find("/MM") != std::string_view::npos)) {
    g.UnitsKnown = true;
    g.Metric = true;
  } else if (!g.UnitsKnown && rest.find("INCH") != std::string_view::npos) {
    g.UnitsKnown = true;
    g.Metric = false;
  }
  if (!g.ZerosKnown && rest.find("SUPPRESSTRAILING") != std::string_view::npos) {
    g.ZerosKnown = true;
    g.LeadingZeros = true;
  } else if (!g.ZerosKnown && rest.find("SUPPRESSLEADING") != std::string_view::npos) {
    g.ZerosKnown = true;
    g.LeadingZeros = false;
  }
}

void ReadFileFormat(const std::string& line, bool inBody, TTapeFormatGuess& g) {
  const std::string key = ";FILE_FORMAT=";
  if (!StartsWith(line, key)) {
    ReadFormatComment(line, g);
    return;
  }
  if (inBody) return;
  const size_t colon = line.find(':', key.size());
  if (colon == std::string::npos) return;
  const int32_t integer = StrToIntLenient(line.substr(key.size(), colon - key.size()));
  const int32_t decimal = StrToIntLenient(line.substr(colon + 1));
  if (integer < 1 || integer > 5 || decimal < 1 || decimal > 6) return;
  g.DigitsKnown = true;
  g.IntegerDigits = integer;
  g.DecimalDigits = decimal;
}

// The digit string line[first, end) as a number: up to 19 digits exactly
// as strtod rounds them, longer strings through strtod.
double DigitsValue(const std::string& line, size_t first, size_t end) {
  if (end - first > 19) {
    // The digits alone: strtod would read on into a point or an exponent.
    char digits[128];
    if (end - first >= sizeof digits) return std::strtod(line.substr(first, end - first).c_str(), nullptr);
    line.copy(digits, end - first, first);
    digits[end - first] = '\0';
    return std::strtod(digits, nullptr);
  }
  uint64_t v = 0;
  for (size_t k = first; k < end; ++k) v = v * 10 + uint64_t(line[k] - '0');
  return double(v);
}

// A drill list comment that gives a tool's size with its unit: ";T01
// 0.800mm", ";T01 Holesize 1. = 12.000000 ... PLATED MILS" or ";Holesize 1
// = 0.0120 inch". The size (inches) is the first number after the tool, or
// after the first "=" behind it; the unit the first unit word behind it.
void ReadSizeComment(std::string_view text, TScan& s) {
  // The tokens point into the text, in the one list kept for every comment.
  std::vector<TSizeToken>& tokens = s.SizeTokens;
  tokens.clear();
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool joined = i > 0 && !std::isspace(static_cast<unsigned char>(text[i - 1]));
    size_t j = i + 1;
    if (std::isalpha(c)) {
      while (j < text.size() && std::isalpha(static_cast<unsigned char>(text[j]))) ++j;
    } else if (std::isdigit(c) || c == '.') {
      while (j < text.size() &&
             (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '.'))
        ++j;
    } else if (c != '=' && c != '"') {
      i = j;
      continue;
    }
    tokens.push_back({text.substr(i, j - i), std::isdigit(c) || c == '.', joined});
    i = j;
  }
  // The tool: T01, or the number after HOLESIZE or TOOL.
  size_t at = tokens.size();
  int32_t tool = -1;
  for (size_t k = 0; k + 1 < tokens.size() && tool < 0; ++k) {
    const TSizeToken& next = tokens[k + 1];
    if (!next.Number || next.Text.find_first_not_of("0123456789.") != std::string_view::npos) continue;
    const bool t = tokens[k].Text == "T" && next.Joined;
    if (t || tokens[k].Text == "HOLESIZE" || tokens[k].Text == "TOOL") {
      tool = StrToIntLenient(std::string(next.Text));
      at = k + 2;
    }
  }
  if (tool < 0) return;
  for (size_t k = at; k < tokens.size(); ++k)
    if (tokens[k].Text == "=") {
      at = k + 1;
      break;
    }
  double size = 0.0;
  for (size_t k = at; k < tokens.size() && size <= 0.0; ++k)
    if (tokens[k].Number) size = std::strtod(std::string(tokens[k].Text).c_str(), nullptr);
  double unit = 0.0;
  for (size_t k = at; k < tokens.size() && unit == 0.0; ++k) {
    const std::string_view w = tokens[k].Text;
    if (w == "MM") unit = 1.0 / 25.4;
    else if (w == "MIL" || w == "MILS") unit = 0.001;
    else if (w == "IN" || w == "INCH" || w == "INCHES" || w == "\"") unit = 1.0;
  }
  if (size > 0.0 && unit > 0.0) s.CommentSizes.Set(tool, size * unit);
}

// A coordinate word counted by its length, for the zeros and the extents.
void KeepWord(TScan& s, bool x, const TWord& w, bool firstZero, bool lastZero) {
  ++s.Words;
  if (s.Lengths.size() <= size_t(w.Length)) s.Lengths.resize(size_t(w.Length) + 1);
  TLengthStats& l = s.Lengths[size_t(w.Length)];
  ++l.Count;
  l.FirstZero += firstZero ? 1 : 0;
  l.LastZero += lastZero ? 1 : 0;
  l.OnlyLastZero += lastZero && !firstZero ? 1 : 0;
  const double v = w.Negative ? -w.Digits : w.Digits;
  (x ? l.MinX : l.MinY) = std::min(x ? l.MinX : l.MinY, v);
  (x ? l.MaxX : l.MaxY) = std::max(x ? l.MaxX : l.MaxY, v);
}

// The words of one program block: coordinates, tool sizes and selections.
// s.Marks holds where in the block its first count letters of words stand.
void ReadBlock(const std::string& line, size_t count, TScan& s) {
  const uint32_t* const marks = s.Marks.data();
  // The tool word, and the G codes of coordinates (G90, G91) and of
  // routing (G00 to G03; G05 drills again), before the coordinates.
  int32_t tool = -1;
  for (size_t m = 0; m < count; ++m) {
    const size_t i = marks[m];
    const char c = line[i];
    // line[i + 1] is at most the terminating NUL, no digit.
    if ((c != 'T' && c != 'G') || !IsDigit(line[i + 1])) continue;
    int32_t n = 0;
    for (size_t k = i + 1; IsDigit(line[k]) && n < 100000; ++k) n = n * 10 + (line[k] - '0');
    if (c == 'T' && tool < 0) tool = n;
    if (c == 'G') {
      if (n == 90 || n == 91) s.Incremental = n == 91;
      else if (n <= 3) s.Routing = true;
      else if (n == 5) s.Routing = false;
    }
  }
  const bool toolBlock = tool >= 0;
  bool moved = false;
  TWord blockX, blockY;
  for (size_t m = 0; m < count; ++m) {
    const size_t i = marks[m];
    const char letter = line[i];
    if (letter != 'X' && letter != 'Y' && letter != 'C') continue;
    size_t j = i + 1;
    bool negative = false;
    if (j < line.size() && (line[j] == '+' || line[j] == '-')) negative = line[j++] == '-';
    const size_t first = j;
    while (IsDigit(line[j])) ++j;
    const bool point = j < line.size() && line[j] == '.';
    if (j == first && !point) continue;
    if (letter == 'C') {
      if (toolBlock && point) {
        const double size = std::strtod(line.c_str() + first, nullptr);
        s.LargestTool = std::max(s.LargestTool, size);
        s.ToolSizes.Set(tool, size);
      }
      continue;
    }
    ++s.Guess.Words;
    TWord& last = letter == 'X' ? s.LastX : s.LastY;
    moved = true;
    if (point) {
      ++s.Guess.PointWords;
      size_t decimals = j + 1;
      while (IsDigit(line[decimals])) ++decimals;
      s.PointDecimals = std::max(s.PointDecimals, int32_t(decimals - j - 1));
      last = {};  // a position the kept words do not hold
      s.MovesLost = s.MovesLost || s.Incremental;
      continue;
    }
    if (s.Words < MaxKeptWords) {
      last = {DigitsValue(line, first, j), int32_t(j - first), negative};
      (letter == 'X' ? blockX : blockY) = last;
      KeepWord(s, letter == 'X', last, line[first] == '0', line[j - 1] == '0');
    } else {
      last = {};
    }
  }
  if (toolBlock) {
    const double* size = s.ToolSizes.Find(tool);
    s.Tool = tool;
    s.ToolSize = size == nullptr ? 0.0 : *size;
  }
  // Only drilled holes show their spacing; the points of a routed path
  // stand as close as the path needs.
  if (!moved) return;
  if (s.Routing) {
    s.MovesLost = s.MovesLost || s.Incremental;
    return;
  }
  if (s.Incremental)
    s.Hits.push_back({blockX, blockY, s.ToolSize, s.Tool, true});
  else if (s.LastX.Length > 0 && s.LastY.Length > 0)
    s.Hits.push_back({s.LastX, s.LastY, s.ToolSize, s.Tool, false});
}

// 10 to the power n as std::pow gives it, looked up for the usual n.
constexpr int32_t TabledPowers = 40;
const std::array<double, 2 * TabledPowers + 1> PowersOfTen = [] {
  std::array<double, 2 * TabledPowers + 1> t{};
  for (int32_t n = -TabledPowers; n <= TabledPowers; ++n) t[size_t(n + TabledPowers)] = std::pow(10.0, n);
  return t;
}();
double PowerOfTen(int32_t n) {
  return n >= -TabledPowers && n <= TabledPowers ? PowersOfTen[size_t(n + TabledPowers)] : std::pow(10.0, n);
}

// The largest coordinate and the larger side of the hit extent, in inches,
// when the words are read with the format; false when half the words or
// more have more digits than the format holds. Fewer such words are faults
// of the tape (the reader reports them), not of the format: left out.
bool Extent(const TScan& s, bool metric, bool leading, int32_t integer, int32_t decimal,
            double& largest, double& side) {
  const int32_t total = integer + decimal;
  size_t overflows = 0;
  for (size_t n = size_t(std::max(total, 0)) + 1; n < s.Lengths.size(); ++n)
    overflows += s.Lengths[n].Count;
  if (2 * overflows >= s.Words) return false;
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  largest = 0.0;
  // The words of one length scale alike: their extremes give the extent.
  for (size_t n = 0; n < s.Lengths.size() && int32_t(n) <= total; ++n) {
    const TLengthStats& l = s.Lengths[n];
    if (l.Count == 0) continue;
    double factor = PowerOfTen(leading ? total - int32_t(n) - decimal : -decimal);
    if (metric) factor /= 25.4;
    if (l.MinX <= l.MaxX) {
      minX = std::min(minX, l.MinX * factor);
      maxX = std::max(maxX, l.MaxX * factor);
    }
    if (l.MinY <= l.MaxY) {
      minY = std::min(minY, l.MinY * factor);
      maxY = std::max(maxY, l.MaxY * factor);
    }
  }
  for (const double v : {minX, maxX, minY, maxY})
    if (std::fabs(v) < 1e300) largest = std::max(largest, std::fabs(v));
  side = std::max(maxX >= minX ? maxX - minX : 0.0, maxY >= minY ? maxY - minY : 0.0);
  return true;
}

// A board of sensible size whose holes are smaller than the board.
bool Plausible(const TScan& s, bool metric, bool leading, int32_t integer, int32_t decimal) {
  double largest = 0.0, side = 0.0;
  if (!Extent(s, metric, leading, integer, decimal, largest, side)) return false;
  if (largest > LargestBoard) return false;
  const double tool = metric ? s.LargestTool / 25.4 : s.LargestTool;
  return !(tool > 0.0 && side > 0.0 && side < tool);
}

// The median, over the hits with a tool size, of a hole's distance to the
// nearest other hole over its size, the words read as fractions (leading
// zeros written: no integer digits) or as integers (no decimal digits).
// Another format of the same zeros scales it by a power of ten; 0 when the
// tape shows too few such hits.
double ReferenceSpacing(const TScan& s, bool leading, TSpacingLists& lists) {
  using TPoint = TSpacingLists::TPoint;
  const size_t sized = s.SizedHits;
  if (sized < SpacingHits || s.MovesLost) return 0.0;
  const auto value = [&](const TWord& w) {
    double v = w.Digits;
    if (leading) v *= PowerOfTen(-w.Length);
    return w.Negative ? -v : v;
  };
  std::vector<TPoint>& holes = lists.Holes;
  holes.clear();
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  TPoint p{0.0, 0.0};
  for (const THitWords& h : s.Hits) {
    if (!h.Incremental) {
      p = {value(h.X), value(h.Y)};
    } else {
      if (h.X.Length > 0) p.X += value(h.X);
      if (h.Y.Length > 0) p.Y += value(h.Y);
    }
    // A word beyond every number (hundreds of digits) places no hole: the
    // tape shows no spacing.
    if (!std::isfinite(p.X) || !std::isfinite(p.Y)) return 0.0;
    holes.push_back(p);
    minX = std::min(minX, p.X);
    maxX = std::max(maxX, p.X);
    minY = std::min(minY, p.Y);
    maxY = std::max(maxY, p.Y);
  }
  if (!std::isfinite(maxX - minX) || !std::isfinite(maxY - minY)) return 0.0;
  // The holes sorted into cells of about one hole each (a hole drilled
  // twice is one hole: distances of 0 do not count).
  const double n = double(holes.size());
  double cell = std::sqrt((maxX - minX) * (maxY - minY) / n);
  cell = std::max({cell, std::max(maxX - minX, maxY - minY) / n, 1e-300});
  const int64_t columns = std::min(int64_t((maxX - minX) / cell), int64_t(holes.size())) + 1;
  const int64_t rows = std::min(int64_t((maxY - minY) / cell), int64_t(holes.size())) + 1;
  const auto column = [&](double x) { return std::min(int64_t((x - minX) / cell), columns - 1); };
  const auto row = [&](double y) { return std::min(int64_t((y - minY) / cell), rows - 1); };
  std::vector<uint32_t>& start = lists.Start;
  start.assign(size_t(columns * rows) + 1, 0);
  std::vector<uint32_t>& key = lists.Key;
  key.resize(holes.size());
  for (size_t i = 0; i < holes.size(); ++i) {
    key[i] = uint32_t(column(holes[i].X) * rows + row(holes[i].Y));
    ++start[key[i] + 1];
  }
  for (size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
  std::vector<TPoint>& cells = lists.Cells;
  cells.resize(holes.size());
  {
    std::vector<uint32_t>& next = lists.Next;
    next.assign(start.begin(), start.end() - 1);
    for (size_t i = 0; i < holes.size(); ++i) cells[next[key[i]]++] = holes[i];
  }
  // A cell's holes once each (a hole drilled again stands in the same
  // cell): distances of 0 do not count, so the nearest other hole is the
  // same, and a hole's look ends where it did, each cell counting the holes
  // drilled in it. The nearest distance of a place is kept for the hits
  // drilled there again.
  const auto before = [](const TPoint& a, const TPoint& b) { return a.X < b.X || (a.X == b.X && a.Y < b.Y); };
  std::vector<uint32_t>& once = lists.Once;
  once.resize(start.size());
  size_t places = 0;
  for (size_t c = 0; c + 1 < start.size(); ++c) {
    once[c] = uint32_t(places);
    if (start[c + 1] - start[c] > 1) std::sort(cells.begin() + start[c], cells.begin() + start[c + 1], before);
    for (uint32_t k = start[c]; k < start[c + 1]; ++k)
      if (k == start[c] || before(cells[k - 1], cells[k])) cells[places++] = cells[k];
  }
  once.back() = uint32_t(places);
  std::vector<double>& nearest = lists.Nearest;
  nearest.assign(places, -1.0);
  // Nearest neighbours of an even spread of the sized hits.
  std::vector<double>& ratios = lists.Ratios;
  ratios.clear();
  const size_t stride = std::max<size_t>(1, sized / SpacingQueries);
  size_t seen = 0;
  for (size_t i = 0; i < s.Hits.size(); ++i) {
    if (s.Hits[i].Size <= 0.0 || seen++ % stride != 0) continue;
    const TPoint q = holes[i];
    const size_t own = key[i];
    const int64_t cx = int64_t(own) / rows, cy = int64_t(own) % rows;
    double& known = nearest[size_t(
        std::lower_bound(cells.begin() + once[own], cells.begin() + once[own + 1], q, before) - cells.begin())];
    if (known >= 0.0) {
      if (known < 1e300) ratios.push_back(std::sqrt(known) / s.Hits[i].Size);
      continue;
    }
    double best = 1e300;  // squared
    size_t visits = 0;
    const auto look = [&](int64_t x, int64_t y) {
      const size_t c = size_t(x * rows + y);
      ++visits;
      for (uint32_t k = once[c]; k < once[c + 1]; ++k) {
        const double dx = cells[k].X - q.X, dy = cells[k].Y - q.Y;
        const double d = dx * dx + dy * dy;
        if (d > 0.0 && d < best) best = d;
      }
      visits += start[c + 1] - start[c];
    };
    // Ring by ring of cells around the hole's own, until no nearer hole
    // can lie further out.
    for (int64_t r = 0; r <= std::max(columns, rows) && visits < SpacingVisits; ++r) {
      const int64_t top = cy - r, bottom = cy + r;
      for (int64_t x = std::max<int64_t>(cx - r, 0); x <= std::min(cx + r, columns - 1); ++x) {
        if (x == cx - r || x == cx + r) {
          for (int64_t y = std::max<int64_t>(top, 0); y <= std::min(bottom, rows - 1); ++y)
            look(x, y);
        } else {
          if (top >= 0) look(x, top);
          if (bottom < rows) look(x, bottom);
        }
      }
      const double reach = double(r) * cell;
      if (best <= reach * reach) break;
    }
    known = best;
    if (best < 1e300) ratios.push_back(std::sqrt(best) / s.Hits[i].Size);
  }
  if (ratios.size() < SpacingHits) return 0.0;
  std::nth_element(ratios.begin(), ratios.begin() + ptrdiff_t(ratios.size() / 2), ratios.end());
  return ratios[ratios.size() / 2];
}

// The spacing of the holes read with a format, worked out once for each
// zero mode.
class TSpacing {
 public:
  TSpacing(const TScan& s, TSpacingLists& lists) : s_(s), lists_(lists) {}
  // 0 when the tape does not show it.
  double Of(bool leading, int32_t integer, int32_t decimal) {
    const int k = leading ? 1 : 0;
    if (!done_[k]) {
      reference_[k] = ReferenceSpacing(s_, leading, lists_);
      done_[k] = true;
    }
    return reference_[k] * PowerOfTen(leading ? integer : -decimal);
  }
  // Holes that neither overlap nor stand ten times too far apart.
  bool Sensible(bool leading, int32_t integer, int32_t decimal) {
    const double r = Of(leading, integer, decimal);
    return r == 0.0 || (r >= SpacingLow && r <= SpacingHigh);
  }

 private:
  const TScan& s_;
  TSpacingLists& lists_;
  bool done_[2] = {false, false};
  double reference_[2] = {0.0, 0.0};
};

void InferZeros(const TScan& s, TTapeFormatGuess& g) {
  // Words of varying length of which some begin with 0 and none ends in 0
  // can only have their trailing zeros left out, and the other way round:
  // what the words show beats a statement that says otherwise.
  int32_t first = 0, last = 0, shortest = 1 << 30;
  for (size_t n = 2; n < s.Lengths.size(); ++n) {
    const TLengthStats& l = s.Lengths[n];
    if (l.Count == 0) continue;
    shortest = std::min(shortest, int32_t(n));
    first += int32_t(l.FirstZero);
    last += int32_t(l.LastZero);
  }
  if (shortest < s.MaxLength && (first == 0) != (last == 0)) {
    g.ZerosKnown = true;
    g.LeadingZeros = first > 0;
    return;
  }
  if (g.ZerosKnown) return;
  // Many words of varying length none of which ends in 0: with the
  // trailing zeros written about one in ten would.
  if (shortest < s.MaxLength && last == 0 && s.Words >= ZeroEvidenceWords) {
    g.ZerosKnown = true;
    g.LeadingZeros = true;
    return;
  }
  const int32_t lead = s.LeadingZeroWords, trail = s.TrailingZeroWords;
  if (lead == trail) return;  // fixed-width words (or no evidence either way)
  g.ZerosKnown = true;
  g.LeadingZeros = lead > trail;
}

// A tape that states no unit shows it by its tool sizes: drills of a
// hundredth of an inch to a few tenths, which written in millimetres are
// numbers 25.4 times larger. The middle size decides where it is plainly
// one or the other.
void InferUnits(TScan& s, TTapeFormatGuess& g) {
  if (g.UnitsKnown) return;
  // A tool whose size a comment gives in inches or millimetres and the
  // tool word in the tape's unit shows that unit: the lowest such tool.
  s.CommentSizes.ForEach([&](int32_t tool, double inches) {
    const double* written = s.ToolSizes.Find(tool);
    if (g.UnitsKnown || written == nullptr || *written <= 0.0) return;
    const double q = *written / inches;
    if (std::fabs(q - 1.0) < 0.05 || std::fabs(q / 25.4 - 1.0) < 0.05) {
      g.UnitsKnown = true;
      g.Metric = q > 5.0;
    }
  });
  if (g.UnitsKnown) return;
  std::vector<double>& sizes = s.Sizes;
  sizes.clear();
  s.ToolSizes.ForEach([&](int32_t, double size) {
    if (size > 0.0) sizes.push_back(size);
  });
  if (sizes.empty()) return;
  std::sort(sizes.begin(), sizes.end());
  const double middle = sizes[sizes.size() / 2];
  if (middle <= 0.1 && sizes.back() <= 0.5) {
    g.UnitsKnown = true;
    g.Metric = false;
  } else if (middle >= 0.3) {
    g.UnitsKnown = true;
    g.Metric = true;
  }
}

void InferDigits(const TScan& s, TSpacingLists& lists, const TStoredTapeFormat& stored, TTapeFormatGuess& g) {
  if (s.Words == 0) return;
  const bool metric = g.UnitsKnown ? g.Metric : stored.Metric;
  const bool leading = g.ZerosKnown ? g.LeadingZeros : stored.LeadingZeros;
  const int32_t baseInteger =
      g.DigitsKnown ? g.IntegerDigits : metric ? stored.MetricIntegerDigits : stored.IntegerDigits;
  const int32_t baseDecimal =
      g.DigitsKnown ? g.DecimalDigits : metric ? stored.MetricDecimalDigits : stored.DecimalDigits;
  TSpacing spacing(s, lists);
  const auto sensible = [&](bool lead, int32_t integer, int32_t decimal) {
    return Plausible(s, metric, lead, integer, decimal) && spacing.Sensible(lead, integer, decimal);
  };
  if (sensible(leading, baseInteger, baseDecimal)) return;
  // Words that show neither zero, of varying length or shorter than the
  // digits: the zeros that give a sensible board with the digits.
  if (!g.ZerosKnown && (s.MinLength < s.MaxLength || s.MaxLength < baseInteger + baseDecimal) &&
      sensible(!leading, baseInteger, baseDecimal)) {
    g.ZerosKnown = true;
    g.LeadingZeros = !leading;
    return;
  }
  // Stated digits are taken as written: only the zeros were open.
  if (g.DigitsKnown) return;
  // The nearest format that gives a sensible board: with leading zeros
  // written the integer digits place the point, else the decimal digits.
  // Where the holes show their spacing, the one whose spacing is most like
  // a board's goes first.
  struct TCandidate {
    int32_t Integer, Decimal;
    double Miss;
  };
  // At most two for each step; sorted in place, ties keeping their order.
  std::array<TCandidate, 12> candidates;
  size_t count = 0;
  for (int32_t step = 0; step <= 5; ++step) {
    for (const int32_t sign : {-1, 1}) {
      int32_t integer = baseInteger, decimal = baseDecimal;
      if (leading) {
        integer = baseInteger + sign * step;
        if (integer < 1 || integer > 4) continue;
        decimal = std::clamp(std::max(baseDecimal, s.MaxLength - integer), 1, 6);
      } else {
        decimal = baseDecimal + sign * step;
        if (decimal < 1 || decimal > 6) continue;
        integer = std::clamp(std::max(baseInteger, s.MaxLength - decimal), 1, 4);
      }
      const double r = spacing.Of(leading, integer, decimal);
      TCandidate c{integer, decimal, r > 0.0 ? std::fabs(std::log10(r / SpacingTarget)) : 0.0};
      size_t k = count++;
      for (; k > 0 && c.Miss < candidates[k - 1].Miss; --k) candidates[k] = candidates[k - 1];
      candidates[k] = c;
    }
  }
  for (size_t k = 0; k < count; ++k) {
    const TCandidate& c = candidates[k];
    if (!Plausible(s, metric, leading, c.Integer, c.Decimal)) continue;
    g.DigitsKnown = true;
    g.IntegerDigits = c.Integer;
    g.DecimalDigits = c.Decimal;
    return;
  }
}

// Coordinates with their point are read to the format's decimals: a tape
// that writes all its coordinates so is offered the decimals it writes, as
// many as the format holds.
void OfferPointDecimals(const TScan& s, const TStoredTapeFormat& stored, TTapeFormatGuess& g) {
  if (g.PointWords == 0 || g.PointWords < g.Words) return;
  const bool metric = g.UnitsKnown ? g.Metric : stored.Metric;
  const int32_t decimal =
      g.DigitsKnown ? g.DecimalDigits : metric ? stored.MetricDecimalDigits : stored.DecimalDigits;
  if (s.PointDecimals <= decimal) return;
  if (!g.DigitsKnown) g.IntegerDigits = metric ? stored.MetricIntegerDigits : stored.IntegerDigits;
  g.DigitsKnown = true;
  g.DecimalDigits = std::min(s.PointDecimals, MostFormatDecimals);
}

// The scan of a tape into s (empty), and what it states or shows.
TTapeFormatGuess ScanTape(const std::string& fileName, const TStoredTapeFormat& stored, TScan& s) {
  s.Incremental = !stored.Absolute;
  std::FILE* file = std::fopen(NativePath(fileName).c_str(), "rb");
  if (file == nullptr) return s.Guess;
  s.FileBuffer.resize(FileBufferSize);
  std::setvbuf(file, s.FileBuffer.data(), _IOFBF, s.FileBuffer.size());
  TTapeFormatGuess& g = s.Guess;
  std::string& raw = s.Raw;
  std::string& line = s.Line;
  std::string& upper = s.Upper;
  // The statements stand at the top; the words of a big panel's first part
  // show all the numbers can.
  // A line too long for any tape ends the scan; the reading says why.
  while (s.Words < MaxKeptWords && ReadTextLineLimited(file, raw) == lrLine) {
    // The line without its blanks and tape feed, in upper case, in the one
    // buffer.
    // Where the letters of words stand is marked on the way, by looking
    // each character up rather than comparing it.
    line.resize(raw.size());
    if (s.Marks.size() < raw.size()) s.Marks.resize(raw.size());
    char* const to = line.data();
    uint32_t* const marks = s.Marks.data();
    size_t kept = 0, count = 0;
    for (const char c : raw) {
      const unsigned char u = static_cast<unsigned char>(c);
      const char upper = UpperCase[u];
      to[kept] = upper;
      marks[count] = uint32_t(kept);
      count += (CharClass[static_cast<unsigned char>(upper)] & ccWordLetter) >> 1;
      kept += 1 - ((CharClass[u] & ccBlank) >> 2);
    }
    line.resize(kept);
    if (line.empty()) continue;
    if (line[0] == ';') {
      ReadFileFormat(line, s.InBody && !s.InHeader, g);
      // The comment's words as the reader reads them: its blanks kept, its
      // tape feed taken out ("1<NUL>2.0" is a size of 12).
      upper.assign(raw);
      DropTapeFeed(upper);
      for (char& c : upper) c = UpperCase[static_cast<unsigned char>(c)];
      ReadSizeComment(upper, s);
      continue;
    }
    // A comment after the words holds no numbers of the tape (the text of
    // an M97 or M98 block is no comment).
    if (const size_t comment = line.find(';');
        comment != std::string::npos && line.find("M97,") == std::string::npos &&
        line.find("M98,") == std::string::npos) {
      line.resize(comment);
      while (count > 0 && marks[count - 1] >= line.size()) --count;
    }
    const bool opensTape = line[0] == '%' && !s.InHeader && !s.Begun;
    if (!opensTape && !s.InHeader && line != "M48") s.Begun = true;
    const size_t comma = line.find(',');
    const std::string_view keyword = std::string_view(line).substr(0, comma);
    if (keyword == "ICI") {
      s.Incremental = comma != std::string::npos && std::string_view(line).substr(comma + 1) == "ON";
      continue;
    }
    if (keyword == "INCH" || keyword == "METRIC" || keyword == "M71" || keyword == "M72") {
      g.UnitsKnown = true;
      g.Metric = keyword == "METRIC" || keyword == "M71";
      ReadUnitFields(comma == std::string::npos ? std::string_view() : std::string_view(line).substr(comma + 1), g);
      continue;
    }
    if (line == "M48") s.InHeader = true;
    if (line[0] == '%' || line == "M95") s.InHeader = false;
    if (!s.InBody && !opensTape)
      s.InBody = line[0] == '%' || line == "M95" || line.find_first_of("XY") != std::string::npos;
    ReadBlock(line, count, s);
  }
  IOResult();  // a read error only ends the scan
  std::fclose(file);
  // The zero evidence needs the full word length, known only now: the
  // longest length that two words and more than one word in twenty have (a
  // lone longer word is a fault of the tape).
  s.MaxLength = 0;
  for (size_t n = 0; n < s.Lengths.size(); ++n)
    if (s.Lengths[n].Count >= 2 && 20 * s.Lengths[n].Count > s.Words) s.MaxLength = int32_t(n);
  s.MinLength = s.MaxLength;
  for (size_t n = 2; n < s.Lengths.size(); ++n) {
    const TLengthStats& l = s.Lengths[n];
    if (l.Count > 0) s.MinLength = std::min(s.MinLength, int32_t(n));
    if (int32_t(n) >= s.MaxLength) continue;
    // A word beginning with 0 has fewer significant digits than its length.
    // Taken from the digits as written: the value of a word of twenty
    // digits or more holds no integer.
    s.LeadingZeroWords += int32_t(l.FirstZero);
    s.TrailingZeroWords += int32_t(l.OnlyLastZero);
  }
  InferZeros(s, g);
  InferUnits(s, g);
  // Tools without a size of their own take the size their comment gives,
  // in the unit the tape is read in.
  const double perInch = (g.UnitsKnown ? g.Metric : stored.Metric) ? 25.4 : 1.0;
  for (THitWords& h : s.Hits) {
    if (h.Size <= 0.0)
      if (const double* inches = s.CommentSizes.Find(h.Tool)) h.Size = *inches * perInch;
    s.SizedHits += h.Size > 0.0 ? 1 : 0;
  }
  InferDigits(s, s.Spacing, stored, g);
  OfferPointDecimals(s, stored, g);
  return g;
}

}  // namespace

TTapeFormatGuess GuessTapeFormat(const std::string& fileName, const TStoredTapeFormat& stored) {
  // The scan's lists are kept between guesses: a tape of the usual size is
  // guessed without allocating once they have grown to it, and what one
  // guess allocates beyond them it releases. A big tape's lists are let go
  // after it.
  static TScan kept;
  TScan& s = kept;
  s.Clear();
  const TTapeFormatGuess g = ScanTape(fileName, stored, s);
  s.Clear();
  if (s.Hits.capacity() > KeptHits) s = TScan();
  return g;
}

