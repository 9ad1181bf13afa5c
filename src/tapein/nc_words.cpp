#include "tapein/nc_words.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <limits>

#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "foundation/utilities.h"

namespace {

bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 10 to the n, n taken within 0..18.
int64_t PowerOfTen(int32_t n) {
  static constexpr int64_t Powers[19] = {
      1LL, 10LL, 100LL, 1000LL, 10000LL, 100000LL, 1000000LL, 10000000LL, 100000000LL,
      1000000000LL, 10000000000LL, 100000000000LL, 1000000000000LL, 10000000000000LL,
      100000000000000LL, 1000000000000000LL, 10000000000000000LL, 100000000000000000LL,
      1000000000000000000LL};
  return Powers[n <= 0 ? 0 : n >= 18 ? 18 : n];
}

// v times ten to the n, held at the ends of the 64-bit range: a format of
// up to 20 digits fills a short word with zeros past that range, and the
// value is clamped to 32 bits afterwards anyway.
int64_t ScaleByPowerOfTen(int64_t v, int32_t n) {
  constexpr int64_t most = std::numeric_limits<int64_t>::max();
  constexpr int64_t least = std::numeric_limits<int64_t>::min();
  // The ends of the range over each power, worked out once: every word of a
  // tape with leading zeros comes here, and two 64-bit divisions a word
  // cost more than the rest of its scaling.
  struct TBounds {
    int64_t Most, Least;
  };
  static constexpr std::array<TBounds, 19> bounds = [] {
    std::array<TBounds, 19> b{};
    int64_t p = 1;
    for (size_t k = 0; k < b.size(); ++k) {
      b[k] = {most / p, least / p};
      if (k + 1 < b.size()) p *= 10;
    }
    return b;
  }();
  const TBounds& b = bounds[size_t(n <= 0 ? 0 : n >= 18 ? 18 : n)];
  if (v > b.Most) return most;
  if (v < b.Least) return least;
  return v * PowerOfTen(n);
}


// Result of scanning one word from a position.
struct TScan {
  bool Ok = false;
  char Letter = 0;
  int32_t Value = 0;
  int32_t Digits = 0;
  bool Point = false;
  std::size_t LetterPos = 0;  // where the letter stands
  std::size_t End = 0;        // first character after the word
};

// Scans the word at or after from; the text is taken as characters and a
// length so that the loop keeps them in registers.
TScan ScanWord(const char* text, std::size_t size, std::size_t from) {
  TScan scan;
  std::size_t i = from;
  while (i < size && !IsUpperLetter(text[i])) ++i;
  if (i >= size) return scan;
  scan.Letter = text[i];
  scan.LetterPos = i;
  ++i;
  bool negative = false;
  if (i < size && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int32_t value = 0;
  int32_t digits = 0;
  while (i < size) {
    const char c = text[i];
    if (c == '.') {
      scan.Point = true;
      ++i;
      break;
    }
    if (!IsDigit(c)) break;
    if (value >= 214748363) {
      scan.Value = 0;
      scan.Digits = digits;
      return scan;  // overflow
    }
    value = value * 10 + (c - '0');
    ++digits;
    ++i;
  }
  scan.Digits = digits;
  scan.Value = negative ? -value : value;
  scan.End = i;
  scan.Ok = true;
  return scan;
}

// The number right after a letter, read with a format; pos is moved past it.
int32_t ParseNumber(const std::string& text, std::size_t& pos, bool leftAligned,
                    int32_t integerDigits, int32_t decimalDigits, bool pointMode, bool& point) {
  point = false;
  if (pos < text.size() && text[pos] == '+') ++pos;
  if (pos >= text.size()) return 0;
  char c = text[pos];
  if (c != '-' && c != '.' && !IsDigit(c)) return 0;
  bool negative = false;
  if (c == '-') {
    negative = true;
    ++pos;
  }
  // Is a "." after the run of digits and minus signs?
  std::size_t k = pos;
  while (k < text.size() && (IsDigit(text[k]) || text[k] == '-')) ++k;
  const bool hasPoint = k < text.size() && text[k] == '.';
  int64_t result = 0;
  if (!pointMode && !hasPoint) {
    std::size_t e = pos;
    while (e < text.size() && (IsDigit(text[e]) || (e == pos && text[e] == '-'))) ++e;
    const std::string digits = text.substr(pos, e - pos);
    result = StrToIntLenient(digits);
    const int32_t n = static_cast<int32_t>(digits.size());
    pos = e;
    if (leftAligned && integerDigits + decimalDigits > n)
      result = ScaleByPowerOfTen(result, integerDigits + decimalDigits - n);
    result = ClampCompToInt(result);
  } else {
    double v = 0.0;
    while (pos < text.size() && IsDigit(text[pos])) {
      v = v * 10.0 + (text[pos] - '0');
      ++pos;
    }
    if (pos < text.size() && text[pos] == '.') {
      point = true;
      ++pos;
      double f = 0.1;
      while (pos < text.size() && IsDigit(text[pos])) {
        v += (text[pos] - '0') * f;
        f *= 0.1;
        ++pos;
      }
    }
    if (decimalDigits >= 1) v *= static_cast<double>(PowerOfTen(decimalDigits));
    result = SafeRound(v);
  }
  return static_cast<int32_t>(negative ? -result : result);
}

// The decoder shared by DecodeLine and DecodeFirstWord. With wanted > 0 the
// loop stops at that word and returns it in letter/value.
void DecodeWords(TWordFormatTable& formats, const std::string& text, char* letters,
                 int32_t* values, int32_t& count, int32_t wanted, char& letter, int32_t& value,
                 bool& found) {
  formats.DecodeError = false;
  formats.DecodeErrorText.clear();
  formats.DroppedLetters.clear();
  count = 0;
  found = false;
  const char* const data = text.data();
  const std::size_t size = text.size();
  std::size_t cursor = 0;
  while (cursor < size && !(wanted > 0 && found)) {
    TScan scan = ScanWord(data, size, cursor);
    if (!scan.Ok) {
      // One on, then to the next letter.
      std::size_t next = (scan.Letter != 0 ? scan.LetterPos : cursor) + 1;
      while (next < size && !IsUpperLetter(data[next])) ++next;
      cursor = next;
      formats.DecodeError = true;
      formats.DecodeErrorText = FormatOverflowText;
      if (scan.Letter != 0) formats.DroppedLetters += scan.Letter;
      continue;
    }
    if (count >= MaxBlockWords) {
      // The word list is full: the rest of the block is not stored.
      formats.DecodeError = true;
      formats.DecodeErrorText = TooManyWordsText;
      break;
    }
    TLetterFormat& own = formats.Of(scan.Letter);
    char wordLetter = scan.Letter;
    int32_t wordValue = 0;
    if (!scan.Point && !own.PointMode) {
      const int32_t total = own.IntegerDigits + own.DecimalDigits;
      int64_t v = scan.Value;
      if (total < scan.Digits) {
        formats.DecodeError = true;
        formats.DecodeErrorText = DigitOverflowText;
        // A repeat count longer than its format is no count a tape means:
        // used, it would make millions of holes, so the word goes. Other
        // numbers keep their value: as written, or with leading zeros kept,
        // their leading digits.
        if (wordLetter == 'P' || wordLetter == 'R') {
          formats.DroppedLetters += wordLetter;
          cursor = scan.End;
          continue;
        }
        if (own.LeftAligned) v /= PowerOfTen(scan.Digits - total);
      } else if (own.LeftAligned && total > scan.Digits) {
        v = ScaleByPowerOfTen(v, total - scan.Digits);
      }
      wordValue = ClampCompToInt(v);
      cursor = scan.End;
    } else {
      std::size_t pos = scan.LetterPos + 1;
      bool point = false;
      if (own.UseDefault) {
        const TDefaultFormat& f = formats.Default;
        wordValue = ParseNumber(text, pos, f.LeftAligned, f.IntegerDigits, f.DecimalDigits,
                                f.PointMode, point);
      } else {
        wordValue = ParseNumber(text, pos, own.LeftAligned, own.IntegerDigits, own.DecimalDigits,
                                own.PointMode, point);
      }
      if (point && (wordLetter == 'X' || wordLetter == 'Y')) formats.XYPoint = true;
      cursor = pos > scan.LetterPos + 1 ? pos : scan.LetterPos + 1;
    }
    ++count;
    if (letters != nullptr) letters[count] = wordLetter;
    if (values != nullptr) values[count] = wordValue;
    if (wanted > 0 && count == wanted) {
      letter = wordLetter;
      value = wordValue;
      found = true;
    }
  }
}

}  // namespace

void TWordFormatTable::Clear() {
  Letters = {};
  XYPoint = false;
  DecodeError = false;
  DecodeErrorText.clear();
}

void TWordFormatTable::Done() {
  DecodeError = false;
  DecodeErrorText.clear();
}

void DecodeLine(TWordFormatTable& formats, const std::string& text, char* letters, int32_t* values,
                int32_t& count, bool& error, std::string& errorText) {
  char letter = 0;
  int32_t value = 0;
  bool found = false;
  DecodeWords(formats, text, letters, values, count, 0, letter, value, found);
  error = formats.DecodeError;
  errorText = formats.DecodeErrorText;
}

void DecodeLine(TWordFormatTable& formats, const std::string& text, TDecodedBlock& block,
                bool& error, std::string& errorText) {
  DecodeLine(formats, text, block.Letters.data(), block.Values.data(), block.WordCount, error,
             errorText);
}

void DecodeFirstWord(TWordFormatTable& formats, const std::string& text, int32_t wordIndex,
                     char& letter, int32_t& value, bool& found, bool& error,
                     std::string& errorText) {
  std::array<char, MaxBlockWords + 1> letters{};
  std::array<int32_t, MaxBlockWords + 1> values{};
  int32_t count = 0;
  letter = 0;
  value = 0;
  DecodeWords(formats, text, letters.data(), values.data(), count, wordIndex, letter, value,
              found);
  error = formats.DecodeError;
  errorText = formats.DecodeErrorText;
}

bool DecodePlainPositionLine(TWordFormatTable& formats, const std::string& text, char* letters,
                             int32_t* values, int32_t& count) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  char wordLetters[2] = {0, 0};
  int32_t wordValues[2] = {0, 0};
  int32_t words = 0;
  bool seenX = false, seenY = false;
  std::size_t i = 0;
  if (size == 0) return false;
  while (i < size) {
    const char letter = data[i];
    if (letter == 'X') {
      if (seenX) return false;
      seenX = true;
    } else if (letter == 'Y') {
      if (seenY) return false;
      seenY = true;
    } else {
      return false;
    }
    ++i;
    bool negative = false;
    if (i < size && (data[i] == '+' || data[i] == '-')) {
      negative = data[i] == '-';
      ++i;
    }
    // The digits run up to the NUL that ends the string at the latest; a
    // word of more than nine is the general decoding's.
    const std::size_t first = i;
    uint32_t value = 0;
    while (IsDigit(data[i])) {
      value = value * 10u + static_cast<uint32_t>(data[i] - '0');
      ++i;
    }
    const int32_t digits = static_cast<int32_t>(i - first);
    if (digits == 0 || digits > 9) return false;
    const TLetterFormat& own = formats.Of(letter);
    const int32_t total = own.IntegerDigits + own.DecimalDigits;
    if (own.PointMode || total < digits || total > 18) return false;
    const int64_t magnitude = value;
    int64_t v = negative ? -magnitude : magnitude;
    if (own.LeftAligned && total > digits) v = ScaleByPowerOfTen(v, total - digits);
    wordLetters[words] = letter;
    wordValues[words] = ClampCompToInt(v);
    ++words;
  }
  formats.DecodeError = false;
  formats.DecodeErrorText.clear();
  formats.DroppedLetters.clear();
  count = words;
  for (int32_t w = 0; w < words; ++w) {
    letters[w + 1] = wordLetters[w];
    values[w + 1] = wordValues[w];
  }
  return true;
}

std::string IoErrorText(int32_t code) {
  switch (code) {
    case 2: return "File not found";
    case 3: return "Path not found: Check for proper installation!";
    case 4: return "Too many open files: Edit CONFIG.SYS and add FILES=40";
    case 5: return "File access denied";
    case 6: return "Invalid file handle";
    case 12: return "Invalid file access code";
    case 15: return "Invalid drive number";
    case 16: return "Cannot remove current directory";
    case 17: return "Cannot rename across drives";
    case 32: return "File in use";
    case 100: return "Disk read error";
    case 101: return "Disk write error";
    case 102: return "File not assigned";
    case 103: return "File not open";
    case 104: return "File not open for input";
    case 105: return "File not open for output";
    case 106: return "Invalid numeric format";
    case 150: return "Disk is write-protected";
    case 151: return "Unknown unit";
    case 152: return "Drive not ready";
    case 153: return "Unknown command";
    case 154: return "CRC error in data";
    case 155: return "Bad drive request structure length";
    case 156: return "Disk seek error";
    case 157: return "Unknown media type";
    case 158: return "Sector not found";
    case 159: return "Printer out of paper";
    case 160: return "Device write fault";
    case 161: return "Device read fault";
    case 162: return "Hardware failure";
    case 200: return "Division by zero";
    case 201: return "Range check error";
    case 202: return "Stack overflow error";
    case 203: return "Heap overflow error";
    case 204: return "Invalid pointer operation";
    case 205: return "Floating point overflow";
    case 206: return "Floating point underflow";
    case 207: return "Invalid floating point operation";
    case 215: return "Arithmetic Overflow";
    case 216: return "General Protection Fault";
    default: return "Undefined";
  }
}

int32_t RuntimeCodeOfErrno(int errnoValue) {
  switch (errnoValue) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EISDIR: return 5;
    case EBADF: return 6;
    case EXDEV: return 17;
    case EBUSY:
    case ETXTBSY: return 32;
    case EIO: return 100;
    case ENOSPC: return 101;
    case EROFS: return 150;
    default: return 0;
  }
}

std::string IoResultText(int errnoValue) {
  const int32_t code = RuntimeCodeOfErrno(errnoValue);
  return code != 0 ? IoErrorText(code) : SystemErrorText(errnoValue);
}
