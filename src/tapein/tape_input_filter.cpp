#include "tapein/tape_input_filter.h"

#include <algorithm>
#include <bit>
#include <cerrno>

#include "foundation/file_utils.h"
#include "foundation/tape_feed.h"
#include "platform/paths.h"

namespace {

constexpr unsigned char LF = 10;
constexpr unsigned char CR = 13;

// Characters that count toward a code during detection.
bool InDetectionSet(unsigned char c) {
  if (c == LF || c == CR || c == ' ') return true;
  if (c >= '0' && c <= '9') return true;
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  switch (c) {
    case '#': case '$': case '%': case '*': case '+': case '-': case '.': case ';': case '|':
      return true;
    default:
      return false;
  }
}

bool Printable(unsigned char c) { return c >= 20 && c <= 127; }

// A byte of blank tape in any code: no hole punched, or a rubout (all seven
// holes, all eight in even parity).
bool BlankTapeByte(unsigned char b) { return b == 0x00 || b == 0x7F || b == 0xFF; }

struct TEiaEntry {
  unsigned char Byte;
  char Char;
};

const TEiaEntry EiaTable[] = {
    {0x01, '1'}, {0x02, '2'}, {0x04, '4'}, {0x07, '7'}, {0x08, '8'}, {0x0B, '%'}, {0x13, '3'},
    {0x15, '5'}, {0x16, '6'}, {0x19, '9'}, {0x20, '0'}, {0x23, 'T'}, {0x24, '$'}, {0x25, 'V'},
    {0x26, 'W'}, {0x27, '\''}, {0x28, '('}, {0x29, 'Z'}, {0x2B, '+'}, {0x2C, ','}, {0x2D, '-'},
    {0x2E, '.'}, {0x2F, '/'}, {0x30, '0'}, {0x31, '/'}, {0x32, 'S'}, {0x34, 'U'}, {0x35, '5'},
    {0x36, '6'}, {0x37, 'X'}, {0x38, 'Y'}, {0x39, '9'}, {0x3A, ':'}, {0x3B, ','}, {0x3C, '<'},
    {0x3D, '='}, {0x3E, '>'}, {0x3F, '?'}, {0x40, '-'}, {0x41, 'A'}, {0x42, 'B'}, {0x43, 'L'},
    {0x44, 'D'}, {0x45, 'N'}, {0x46, 'O'}, {0x47, 'G'}, {0x48, 'H'}, {0x49, 'R'}, {0x4A, 'J'},
    {0x4B, 'K'}, {0x4C, 'L'}, {0x4D, 'M'}, {0x4E, 'N'}, {0x4F, 'O'}, {0x50, 'P'}, {0x51, 'J'},
    {0x52, 'K'}, {0x53, 'S'}, {0x54, 'M'}, {0x55, 'U'}, {0x56, 'V'}, {0x57, 'P'}, {0x58, 'Q'},
    {0x59, 'Y'}, {0x5A, 'Z'}, {0x5B, '%'}, {0x5C, '\\'}, {0x5D, ']'}, {0x5E, '^'}, {0x5F, '_'},
    {0x60, '`'}, {0x61, 'A'}, {0x62, 'B'}, {0x64, 'D'}, {0x67, 'G'}, {0x68, 'H'}, {0x6B, '.'},
    {0x70, '+'}, {0x73, 'C'}, {0x75, 'E'}, {0x76, 'F'}, {0x79, 'I'}, {0x7B, '{'}, {0x7C, '|'},
    {0x7D, '}'}, {0x80, '*'},
};

const unsigned char EbcdicInvalid[] = {0x00, 0x01, 0x02, 0x03, 0x05, 0x07, 0x0B, 0x0C, 0x0E,
                                       0x0F, 0x10, 0x11, 0x12, 0x16, 0x18, 0x19, 0x22, 0x26,
                                       0x27, 0x2D, 0x2E, 0x2F, 0x32, 0x35, 0x37, 0x3C, 0x3D,
                                       0x3F};

void EbcdicRange(std::array<unsigned char, 256>& t, int from, int to, char first) {
  for (int b = from; b <= to; ++b) t[static_cast<std::size_t>(b)] = static_cast<unsigned char>(first + (b - from));
}

}  // namespace

void TapeCodeTable(uint8_t code, std::array<bool, 256>& valid,
                   std::array<unsigned char, 256>& translate) {
  valid.fill(false);
  for (int b = 0; b < 256; ++b) translate[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b);
  switch (code) {
    case 0:
      valid.fill(true);
      break;
    case 1:  // ISO 840: even parity on the eighth bit
      for (int b = 0; b < 256; ++b) {
        valid[static_cast<std::size_t>(b)] = std::popcount(static_cast<unsigned>(b)) % 2 == 0;
        translate[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b & 0x7F);
      }
      translate[0x0A] = '*';
      break;
    case 2: {
      valid.fill(true);
      for (unsigned char b : EbcdicInvalid) valid[b] = false;
      translate[0x40] = ' ';
      translate[0x4B] = '.';
      translate[0x4C] = '<';
      translate[0x4D] = '(';
      translate[0x4E] = '+';
      translate[0x50] = '&';
      translate[0x5A] = '!';
      translate[0x5B] = '$';
      translate[0x5C] = '*';
      translate[0x5D] = ')';
      translate[0x5E] = ';';
      translate[0x60] = '-';
      translate[0x61] = '/';
      translate[0x6E] = '>';
      translate[0x6F] = '?';
      translate[0x7A] = ':';
      translate[0x7C] = '@';
      translate[0x7E] = '=';
      translate[0x7F] = '"';
      EbcdicRange(translate, 0x81, 0x89, 'a');
      EbcdicRange(translate, 0x91, 0x99, 'j');
      EbcdicRange(translate, 0xA2, 0xA9, 's');
      EbcdicRange(translate, 0xC1, 0xC9, 'A');
      EbcdicRange(translate, 0xD1, 0xD9, 'J');
      EbcdicRange(translate, 0xE2, 0xE9, 'S');
      EbcdicRange(translate, 0xF0, 0xF9, '0');
      translate[0x25] = LF;
      translate[0x6C] = ',';
      translate[0x7B] = '*';
      translate[0x7D] = '`';
      break;
    }
    case 3:
      for (const TEiaEntry& e : EiaTable) {
        valid[e.Byte] = true;
        translate[e.Byte] = static_cast<unsigned char>(e.Char);
      }
      break;
    default:
      break;
  }
}

TTapeFilter::~TTapeFilter() {
  if (File != nullptr) std::fclose(File);
}

bool TTapeFilter::Init(const std::string& fileName) {
  FileName = fileName;
  FirstOpen = true;
  Opened = false;
  if (!FileExistsNoWild(fileName)) return false;
  Reset();
  return Opened;
}

void TTapeFilter::Reset() {
  if (File != nullptr) {
    std::fclose(File);
    File = nullptr;
  }
  errno = 0;
  File = std::fopen(NativePath(FileName).c_str(), "rb");
  Opened = File != nullptr;
  IoError = false;
  Count = 0;
  Pos = 1;
  HasChar = false;
  Current = 0;
  if (!Opened) return;
  if (FirstOpen) {
    Refill();
    DetectCode();
    DetectEndOfBlock();
    CheckText();
    FirstOpen = false;
  }
  ReadNextChar();
}

void TTapeFilter::Close() {
  if (File != nullptr) std::fclose(File);
  File = nullptr;
  Opened = false;
  HasChar = false;
}

bool TTapeFilter::FileAtEnd() {
  if (File == nullptr) return true;
  const int c = std::fgetc(File);
  if (c == EOF) {
    if (std::ferror(File)) IoError = true;
    return true;
  }
  std::ungetc(c, File);
  return false;
}

void TTapeFilter::Refill() {
  if (!Opened || Pos <= Count || FileAtEnd()) return;
  const std::size_t n = std::fread(Buffer.data(), 1, Buffer.size(), File);
  if (n == 0 && std::ferror(File)) IoError = true;
  Count = static_cast<int32_t>(n);
  Pos = 1;
}

bool TTapeFilter::Eof() {
  if (IoError) return true;
  return !HasChar && Pos > Count && FileAtEnd();
}

void TTapeFilter::ReadNextChar() {
  HasChar = false;
  do {
    if (Pos > Count) Refill();
    if (Pos <= Count) {
      const unsigned char b = Buffer[static_cast<std::size_t>(Pos - 1)];
      HasChar = Valid[b];
      if (HasChar) Current = Translate[b];
      ++Pos;
    }
  } while (!HasChar && !Eof());
}

bool TTapeFilter::ReadBlock(std::string& text, std::size_t maxLength) {
  text.clear();
  if (Eof() || !HasChar) return false;
  std::size_t taken = 0;
  while (!Eof() && HasChar && Current != EndOfBlock && taken < 255) {
    if (Printable(Current)) {
      if (text.size() < maxLength) text.push_back(static_cast<char>(Current));
      ++taken;
    }
    ReadNextChar();
  }
  if (HasChar && Current == EndOfBlock) ReadNextChar();
  return true;
}

std::string TTapeFilter::CodeName() const {
  switch (CodeIndex) {
    case 1: return "ISOASCII";
    case 2: return "EBCDIC";
    case 3: return "EIA";
    default: return "ASCII";
  }
}

int32_t TTapeFilter::DetectionStart() const {
  // The code and the block end are told from the characters after the
  // tape's blank leader.
  int32_t start = 0;
  while (start < Count && BlankTapeByte(Buffer[static_cast<std::size_t>(start)])) ++start;
  return start;
}

void TTapeFilter::DetectCode() {
  CodeIndex = 0;
  const int32_t start = DetectionStart();
  const int32_t n = start + std::min<int32_t>(Count - start, 1024);
  if (Count > 0) {
    int32_t best = -1;
    for (uint8_t code = 0; code < 4; ++code) {
      std::array<bool, 256> valid{};
      std::array<unsigned char, 256> translate{};
      TapeCodeTable(code, valid, translate);
      int32_t score = 0;
      for (int32_t i = start; i < n; ++i) {
        const unsigned char b = Buffer[static_cast<std::size_t>(i)];
        if (valid[b] && InDetectionSet(translate[b])) ++score;
      }
      if (score > best) {
        best = score;
        CodeIndex = code;
      }
    }
  }
  TapeCodeTable(CodeIndex, Valid, Translate);
}

void TTapeFilter::DetectEndOfBlock() {
  if (Count == 0) {
    EndOfBlock = LF;
    return;
  }
  const int32_t start = DetectionStart();
  const int32_t n = std::min<int32_t>(Count - start, 1024);
  std::array<int32_t, 256> histogram{};
  for (int32_t i = start; i < start + n; ++i) {
    const unsigned char b = Buffer[static_cast<std::size_t>(i)];
    if (Valid[b]) ++histogram[Translate[b]];
  }
  const int32_t limit = (histogram['X'] + histogram['Y']) / 4;
  const unsigned char candidates[] = {'*', CR, LF, '$', '#', ';', '|'};
  for (unsigned char c : candidates) {
    const bool qualifies = n > 127 ? histogram[c] > limit : histogram[c] > 0;
    if (qualifies) {
      EndOfBlock = c;
      return;
    }
  }
}

void TTapeFilter::CheckText() {
  if (Count == 0) {
    NotText = true;
    return;
  }
  int32_t lines = 1, lineLength = 0, longLines = 0, bad = 0, looked = 0;
  for (int32_t i = 0; i < Count; ++i) {
    const unsigned char b = Buffer[static_cast<std::size_t>(i)];
    const unsigned char t = Translate[b];
    // Blank tape (no hole punched, or tape feed the code holds no
    // character for) is passed over by the reader: no sign of a file that
    // is not text.
    if (b == 0 || (!Valid[b] && IsTapeFeed(static_cast<char>(b)))) continue;
    ++looked;
    if (t == EndOfBlock) {
      lineLength = 0;
      ++lines;
    } else {
      ++lineLength;
    }
    if (lineLength == 256) ++longLines;
    if (t != LF && t != CR && !Printable(t)) ++bad;
  }
  NotText = looked == 0 || static_cast<double>(bad) / looked >= 0.1 ||
            static_cast<double>(longLines) / lines >= 0.07;
}
