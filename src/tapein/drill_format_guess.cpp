#include "tapein/drill_format_guess.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "foundation/file_utils.h"
#include "foundation/utilities.h"
#include "platform/paths.h"

namespace {

// Coordinate words read for the inference; the scan ends there.
constexpr size_t MaxKeptWords = 200000;
// A board larger than this (inches) is no board: the digits are wrong.
constexpr double LargestBoard = 40.0;

struct TWord {
  bool X = false;
  bool Negative = false;
  int32_t Length = 0;
  double Digits = 0.0;  // the digit string as a number
  bool FirstZero = false, LastZero = false;  // its first and its last digit are 0
};

struct TScan {
  TTapeFormatGuess Guess;
  std::vector<TWord> Words;
  int32_t MaxLength = 0;
  int32_t MinLength = 0;  // of the words of two digits or more
  int32_t LeadingZeroWords = 0;   // shorter than the longest and beginning with 0
  int32_t TrailingZeroWords = 0;  // shorter than the longest and ending in 0
  double LargestTool = 0.0;       // in the tape's unit as written
};

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The fields after a unit keyword: "LZ" / "TZ" and a digit pattern "000.000".
void ReadUnitFields(const std::string& tail, TTapeFormatGuess& g) {
  size_t from = 0;
  while (from <= tail.size()) {
    size_t comma = tail.find(',', from);
    if (comma == std::string::npos) comma = tail.size();
    const std::string field = tail.substr(from, comma - from);
    if (field == "LZ" || field == "TZ") {
      g.ZerosKnown = true;
      g.LeadingZeros = field == "LZ";
    } else if (const size_t point = field.find('.');
               point != std::string::npos && field.find_first_not_of("0.") == std::string::npos) {
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
  const std::string rest = line.substr(word + 6);
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
  if (!g.UnitsKnown && (rest.find("METRIC") != std::string::npos || rest.find("/MM") != std::string::npos)) {
    g.UnitsKnown = true;
    g.Metric = true;
  } else if (!g.UnitsKnown && rest.find("INCH") != std::string::npos) {
    g.UnitsKnown = true;
    g.Metric = false;
  }
  if (!g.ZerosKnown && rest.find("SUPPRESSTRAILING") != std::string::npos) {
    g.ZerosKnown = true;
    g.LeadingZeros = true;
  } else if (!g.ZerosKnown && rest.find("SUPPRESSLEADING") != std::string::npos) {
    g.ZerosKnown = true;
    g.LeadingZeros = false;
  }
}

void ReadFileFormat(const std::string& line, TTapeFormatGuess& g) {
  const std::string key = ";FILE_FORMAT=";
  if (!StartsWith(line, key)) {
    ReadFormatComment(line, g);
    return;
  }
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
  if (end - first > 19) return std::strtod(line.substr(first, end - first).c_str(), nullptr);
  uint64_t v = 0;
  for (size_t k = first; k < end; ++k) v = v * 10 + uint64_t(line[k] - '0');
  return double(v);
}

// The words of one program block: coordinates and tool sizes.
void ReadBlock(const std::string& line, TScan& s) {
  const bool toolBlock = line.find('T') != std::string::npos;
  for (size_t i = 0; i < line.size(); ++i) {
    const char letter = line[i];
    if (letter != 'X' && letter != 'Y' && letter != 'C') continue;
    size_t j = i + 1;
    bool negative = false;
    if (j < line.size() && (line[j] == '+' || line[j] == '-')) negative = line[j++] == '-';
    const size_t first = j;
    while (j < line.size() && line[j] >= '0' && line[j] <= '9') ++j;
    const bool point = j < line.size() && line[j] == '.';
    if (j == first && !point) continue;
    if (letter == 'C') {
      if (toolBlock && point)
        s.LargestTool = std::max(s.LargestTool, std::strtod(line.c_str() + first, nullptr));
      continue;
    }
    ++s.Guess.Words;
    if (point) {
      ++s.Guess.PointWords;
      continue;
    }
    const int32_t length = int32_t(j - first);
    if (s.Words.size() < MaxKeptWords)
      s.Words.push_back(TWord{letter == 'X', negative, length, DigitsValue(line, first, j),
                              line[first] == '0', line[j - 1] == '0'});
  }
}

// The largest coordinate and the larger side of the hit extent, in inches,
// when the words are read with the format; false when half the words or
// more have more digits than the format holds. Fewer such words are faults
// of the tape (the reader reports them), not of the format: left out.
bool Extent(const TScan& s, bool metric, bool leading, int32_t integer, int32_t decimal,
            double& largest, double& side) {
  const int32_t total = integer + decimal;
  size_t overflows = 0;
  for (const TWord& w : s.Words) overflows += w.Length > total ? 1 : 0;
  if (2 * overflows >= s.Words.size()) return false;
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  largest = 0.0;
  // The powers of ten a word's length can ask for, worked out once.
  const double scale = std::pow(10.0, decimal);
  std::vector<double> shift(size_t(std::max(total, 0)) + 1);
  for (int32_t n = 0; n <= total; ++n) shift[size_t(n)] = std::pow(10.0, total - n);
  for (const TWord& w : s.Words) {
    if (w.Length > total) continue;
    double v = w.Digits / scale;
    if (leading) v *= shift[size_t(w.Length)];
    if (metric) v /= 25.4;
    if (w.Negative) v = -v;
    largest = std::max(largest, std::fabs(v));
    if (w.X) {
      minX = std::min(minX, v);
      maxX = std::max(maxX, v);
    } else {
      minY = std::min(minY, v);
      maxY = std::max(maxY, v);
    }
  }
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

void InferZeros(const TScan& s, TTapeFormatGuess& g) {
  // Words of varying length of which some begin with 0 and none ends in 0
  // can only have their trailing zeros left out, and the other way round:
  // what the words show beats a statement that says otherwise.
  int32_t first = 0, last = 0, shortest = 1 << 30;
  for (const TWord& w : s.Words) {
    if (w.Length < 2) continue;
    shortest = std::min(shortest, w.Length);
    first += w.FirstZero ? 1 : 0;
    last += w.LastZero ? 1 : 0;
  }
  if (shortest < s.MaxLength && (first == 0) != (last == 0)) {
    g.ZerosKnown = true;
    g.LeadingZeros = first > 0;
    return;
  }
  if (g.ZerosKnown) return;
  const int32_t lead = s.LeadingZeroWords, trail = s.TrailingZeroWords;
  if (lead == trail) return;  // fixed-width words (or no evidence either way)
  g.ZerosKnown = true;
  g.LeadingZeros = lead > trail;
}

void InferDigits(const TScan& s, const TStoredTapeFormat& stored, TTapeFormatGuess& g) {
  if (g.DigitsKnown || s.Words.empty()) return;
  const bool metric = g.UnitsKnown ? g.Metric : stored.Metric;
  const bool leading = g.ZerosKnown ? g.LeadingZeros : stored.LeadingZeros;
  const int32_t baseInteger = metric ? stored.MetricIntegerDigits : stored.IntegerDigits;
  const int32_t baseDecimal = metric ? stored.MetricDecimalDigits : stored.DecimalDigits;
  if (Plausible(s, metric, leading, baseInteger, baseDecimal)) return;
  // Words of varying length that show neither zero: the zeros that give a
  // sensible board with the stored digits.
  if (!g.ZerosKnown && s.MinLength < s.MaxLength &&
      Plausible(s, metric, !leading, baseInteger, baseDecimal)) {
    g.ZerosKnown = true;
    g.LeadingZeros = !leading;
    return;
  }
  // The nearest format that gives a sensible board: with leading zeros
  // written the integer digits place the point, else the decimal digits.
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
      if (Plausible(s, metric, leading, integer, decimal)) {
        g.DigitsKnown = true;
        g.IntegerDigits = integer;
        g.DecimalDigits = decimal;
        return;
      }
    }
  }
}

}  // namespace

TTapeFormatGuess GuessTapeFormat(const std::string& fileName, const TStoredTapeFormat& stored) {
  TScan s;
  std::FILE* file = std::fopen(NativePath(fileName).c_str(), "rb");
  if (file == nullptr) return s.Guess;
  TTapeFormatGuess& g = s.Guess;
  std::string raw, line;
  // The statements stand at the top; the words of a big panel's first part
  // show all the numbers can.
  // A line too long for any tape ends the scan; the reading says why.
  while (s.Words.size() < MaxKeptWords && ReadTextLineLimited(file, raw) == lrLine) {
    // The line without its blanks, in upper case, in the one buffer.
    line.resize(raw.size());
    size_t kept = 0;
    for (const char c : raw)
      if (c != ' ') line[kept++] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    line.resize(kept);
    if (line.empty()) continue;
    if (line[0] == ';') {
      ReadFileFormat(line, g);
      continue;
    }
    // A comment after the words holds no numbers of the tape.
    if (line.find("M97,") == std::string::npos && line.find("M98,") == std::string::npos) {
      const size_t comment = line.find(';');
      if (comment != std::string::npos) line.resize(comment);
    }
    const size_t comma = line.find(',');
    const std::string_view keyword = std::string_view(line).substr(0, comma);
    if (keyword == "INCH" || keyword == "METRIC" || keyword == "M71" || keyword == "M72") {
      g.UnitsKnown = true;
      g.Metric = keyword == "METRIC" || keyword == "M71";
      ReadUnitFields(comma == std::string::npos ? std::string() : line.substr(comma + 1), g);
      continue;
    }
    ReadBlock(line, s);
  }
  IOResult();  // a read error only ends the scan
  std::fclose(file);
  // The zero evidence needs the full word length, known only now: the
  // longest length that two words and more than one word in twenty have (a
  // lone longer word is a fault of the tape).
  std::vector<size_t> lengths;
  for (const TWord& w : s.Words) {
    if (lengths.size() <= size_t(w.Length)) lengths.resize(size_t(w.Length) + 1);
    ++lengths[size_t(w.Length)];
  }
  s.MaxLength = 0;
  for (size_t n = 0; n < lengths.size(); ++n)
    if (lengths[n] >= 2 && 20 * lengths[n] > s.Words.size()) s.MaxLength = int32_t(n);
  s.MinLength = s.MaxLength;
  for (const TWord& w : s.Words)
    if (w.Length >= 2) s.MinLength = std::min(s.MinLength, w.Length);
  for (const TWord& w : s.Words) {
    if (w.Length >= s.MaxLength || w.Length < 2) continue;
    // Told by the digits as written: a word too long for a 64-bit number
    // has no exact value to look at.
    if (w.FirstZero) ++s.LeadingZeroWords;
    else if (w.LastZero) ++s.TrailingZeroWords;
  }
  InferZeros(s, g);
  InferDigits(s, stored, g);
  return g;
}
