#include "import/hpgl_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "foundation/file_utils.h"
#include "foundation/geometry_matrix.h"
#include "foundation/geometry_points.h"
#include "foundation/import_guard.h"
#include "foundation/stroke_glyphs.h"
#include "foundation/utilities.h"
#include "import/counted_names.h"
#include "import/import_host.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace {

constexpr const char* kMnemonics[68] = {
    "AA", "AF", "AH", "AP", "AR", "AS", "BL", "CA", "CC", "CI", "CM", "CP", "CS", "CT",
    "DC", "DF", "DI", "DL", "DP", "DR", "DS", "DT", "EA", "EC", "EP", "ER", "ES", "EW",
    "FP", "FS", "FT", "GP", "IM", "IN", "IP", "IV", "IW", "LB", "LO", "LT", "NR", "PA",
    "PB", "PD", "PG", "PM", "PR", "PT", "PU", "RA", "RO", "RR", "SA", "SC", "SG", "SI",
    "SL", "SM", "SP", "SR", "SS", "TL", "UC", "UF", "VS", "WG", "XT", "YT"};
// The instructions the second version of the language added, numbered on
// from 69.
constexpr const char* kMnemonics2[] = {
    "AC", "AD", "AT", "BP", "BR", "BZ", "CF", "CO", "CR", "DV", "FI", "FN", "FR", "IR", "LA",
    "LM", "MC", "MG", "MT", "NP", "OA", "OC", "OD", "OE", "OF", "OH", "OI", "OO", "OP", "OS",
    "OW", "PC", "PE", "PP", "PS", "PW", "QL", "RF", "RP", "RT", "SB", "SD", "ST", "SV", "TD",
    "TR", "UL", "WU"};
constexpr int32_t kMnemonicCount = 68 + static_cast<int32_t>(std::size(kMnemonics2));
enum : int32_t {
  mAA = 1, mAF = 2, mAH = 3, mAP = 4, mAR = 5, mBL = 7, mCI = 10, mCT = 14, mDF = 16, mDI = 17, mDR = 20,
  mDT = 22, mIN = 34, mIP = 35, mLB = 38, mLT = 40, mPA = 42, mPD = 44, mPG = 45, mPR = 47,
  mPU = 49, mRO = 51, mSC = 54, mSI = 56, mSP = 59, mSR = 60,
  mPM = 46, mEA = 23, mER = 26, mEW = 28, mIW = 37, mRA = 50, mRR = 52, mWG = 66,
  mAT = 71, mBR = 73, mBZ = 74, mCO = 76, mDV = 78, mPE = 101, mRT = 108
};

// Instructions that draw on a plotter but not here, or place the drawing
// in a way not followed here: counted and named after the import. The
// rest of the table sets pens, paper, fonts, fills or the plotter's own
// state and changes nothing in the drawing.
bool DrawsNothingHere(int32_t m) {
  // IR places P1 and P2 by shares of a page this import does not know.
  static const std::vector<std::string> kinds = {"SM", "XT", "YT", "FP", "CP", "LO", "SL", "ES",
                                                 "UL", "PB", "UC", "DL", "RP", "IR"};
  const std::string name = HpglMnemonicName(m);
  return std::find(kinds.begin(), kinds.end(), name) != kinds.end();
}

// Segment fractions of the dashed line types -6 to 6, pen down first.
const std::vector<double> kLineTypes[13] = {
    {0.25, 0.1, 0.1, 0.1, 0.1, 0.1, 0.25}, {0.35, 0.1, 0.1, 0.1, 0.35},
    {0.39, 0.1, 0.02, 0.1, 0.39},          {0.375, 0.25, 0.375},
    {0.25, 0.5, 0.25},                     {0.1, 0.9},
    {},                                    {0.3, 0.7},
    {0.5, 0.5},                            {0.75, 0.25},
    {0.78, 0.1, 0.02, 0.1},                {0.7, 0.1, 0.1, 0.1},
    {0.5, 0.1, 0.1, 0.1, 0.1, 0.1}};

// The label font is the view's stroke font, but for the plotter's own
// lower-case letters and its M: the character, a blank, then U (move) and
// D (draw) points.
const char* const kPlotterGlyphs[27] = {
    "M U0,0 D3,15 D6,8 D8,15 D11,0 E",
    "a U3,7 D5,8 D12,8 D13,6 D13,0 U13,1 D12,0 D4,0 D3,1 D3,4 D5,6 D12,6 D13,0 E",
    "b U3,16 D3,0 U3,1 D4,0 D12,0 D13,1 D13,7 D12,8 D4,8 D3,7 E",
    "c U13,1 D12,0 D4,0 D3,1 D3,7 D4,8 D12,8 D13,7 E",
    "d U13,2 D12,0 D4,0 D3,1 D3,7 D4,8 D11,8 D12,7 U13,0 D13,16 E",
    "e U3,4 D12,4 D13,6 D13,7 D12,8 D4,8 D3,7 D3,2 D5,0 D12,0 D13,1 E",
    "f U4,0 D4,15 D6,16 D11,16 D13,14 U2,8 D8,8 E",
    "g U3,-2 D4,-4 D12,-4 D13,-2 D13,6 D12,8 D4,8 D3,6 D3,1 D4,0 D12,0 D13,1 E",
    "h U3,0 D3,16 U3,6 D5,8 D12,8 D13,6 D13,0 E",
    "i U6,0 D10,0 U8,0 D8,8 D7,8 U7,10 D8,10 D8,11 D7,11 D7,10 E",
    "j U3,-2 D4,-4 D12,-4 D13,-2 D13,8 D12,8 U12,10 D13,10 D13,11 D12,11 D12,10 E",
    "k U2,0 D2,16 U2,6 D9,6 D13,8 U9,6 D13,0 E",
    "l U6,0 D10,0 U8,0 D8,16 D7,16 E",
    "m U3,8 D3,0 U3,7 D4,8 D7,8 D8,7 D8,0 U8,7 D9,8 D12,8 D13,7 D13,0 E",
    "n U3,8 D3,0 U3,7 D4,8 D12,8 D13,7 D13,0 E",
    "o U3,1 D4,0 D12,0 D13,1 D13,6 D12,8 D4,8 D3,6 D3,1 E",
    "p U3,-6 D3,8 U3,7 D4,8 D12,8 D13,7 D13,2 D12,0 D4,0 D3,2 E",
    "q U13,-6 D13,8 U13,7 D11,8 D4,8 D3,7 D3,2 D4,0 D11,0 D13,2 E",
    "r U3,0 D3,8 U3,6 D5,8 D12,8 D13,6 E",
    "s U3,2 D4,0 D12,0 D13,2 D13,3 D12,4 D4,4 D3,6 D4,8 D12,8 D13,6 E",
    "t U3,8 D9,8 U5,15 D5,1 D7,0 D12,0 13,1 E",
    "u U3,8 D3,1 D4,0 D12,0 D13,1 U13,0 D13,8 E",
    "v U3,8 D3,6 D8,0 D13,6 D13,8 E",
    "w U3,8 D3,6 D6,0 D8,7 D10,0 D13,6 D13,8 E",
    "x U3,0 D4,0 D13,8 D14,8 U3,8 D4,8 D13,0 D14,0 E",
    "y U3,-5 D4,-6 D11,-6 D13,-4 D13,8 U3,8 D3,2 D5,0 D13,0 E",
    "z U3,8 D13,8 D3,0 D13,0 E",
};

const char* GlyphOf(char ch) {
  for (const char* g : kPlotterGlyphs)
    if (g[0] == ch) return g;
  for (const char* g : ViewStrokeFont)
    if (g[0] == ch) return g;
  return nullptr;
}

constexpr double kDatabasePerPlotter = 25000.0;
constexpr TRealPoint kDefaultP1{-20840, -16180};
constexpr TRealPoint kDefaultP2{20840, 16180};

double ToDb(double v) { return std::nearbyint(v * kDatabasePerPlotter); }

bool IsLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
int Upper(int c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

}  // namespace

int32_t HpglMnemonic(char first, char second) {
  const int a = Upper(static_cast<unsigned char>(first)), b = Upper(static_cast<unsigned char>(second));
  for (int32_t i = 0; i < 68; ++i)
    if (kMnemonics[i][0] == a && kMnemonics[i][1] == b) return i + 1;
  for (int32_t i = 68; i < kMnemonicCount; ++i)
    if (kMnemonics2[i - 68][0] == a && kMnemonics2[i - 68][1] == b) return i + 1;
  return 0;
}

std::string HpglMnemonicName(int32_t m) {
  if (m >= 1 && m <= 68) return kMnemonics[m - 1];
  if (m > 68 && m <= kMnemonicCount) return kMnemonics2[m - 69];
  return {};
}

std::string SkippedInstructionsNotice(const std::map<std::string, int64_t>& skipped) {
  if (skipped.empty()) return {};
  int64_t total = 0;
  const std::string kinds = CountedNames(skipped, total);
  return std::to_string(total) + (total == 1 ? " instruction" : " instructions") +
         " that " + (total == 1 ? "is" : "are") + " not imported " + (total == 1 ? "was" : "were") +
         " skipped:\n" + kinds;
}

// ---- Tokenizer ------------------------------------------------------------------------------

bool THpglReader::ReadNumber(bool& any, double& value, int& end) {
  bool negative = false;
  any = false;
  double v = 0;
  for (;;) {
    const int c = In_.Peek();
    if (c < 0) {
      end = -1;
      break;
    }
    const int ch = c & 0x7F;
    if (ch >= '0' && ch <= '9') {
      any = true;
      Skipped_ = 0;
      if (v + 1 < 214748364.0) v = v * 10 + (ch - '0');
      ++In_.Pos;
      continue;
    }
    if (any) {
      end = ch;
      break;
    }
    if (ch == '-') negative = true;
    else if (ch == '\n' || ch == '\r' || ch == ',' || ch == '.' || ch == ';' || IsLetter(ch)) {
      end = ch;
      break;
    }
    ++In_.Pos;  // blanks, plus signs and stray characters
    if (!PassedOver()) {
      end = -1;
      break;
    }
  }
  value = negative ? -v : v;
  return negative;
}

bool THpglReader::ReadExponent(double& value) {
  const int e = In_.Peek();
  if (e < 0 || ((e & 0x7F) != 'e' && (e & 0x7F) != 'E')) return false;
  std::size_t k = 1;
  int sign = 1;
  const int s = In_.Peek(1);
  if (s >= 0 && ((s & 0x7F) == '-' || (s & 0x7F) == '+')) {
    sign = (s & 0x7F) == '-' ? -1 : 1;
    k = 2;
  }
  // "E" before a letter is the next instruction (EA, ER, EW ...).
  const int d = In_.Peek(k);
  if (d < 0 || (d & 0x7F) < '0' || (d & 0x7F) > '9') return false;
  In_.Pos += k;
  int exponent = 0;
  for (int c; (c = In_.Peek()) >= 0 && (c & 0x7F) >= '0' && (c & 0x7F) <= '9'; ++In_.Pos)
    if (exponent < 1000) exponent = exponent * 10 + ((c & 0x7F) - '0');
  value *= std::pow(10.0, sign * exponent);
  return true;
}

bool THpglReader::PassedOver() {
  if (Skipped_ == 0) stretchStart_ = In_.Base + In_.Pos - 1;
  if (++Skipped_ <= kMaxTextLine) return true;
  NoInstructions = true;
  return false;
}

std::string THpglReader::NoInstructionsText() const {
  return FileName + ", line " + std::to_string(LineOfOffset(stretchStart_)) + ": more than " +
         IntToStrGrouped(static_cast<int32_t>(kMaxTextLine)) +
         " characters without an instruction follow; the rest of the file is no plot.";
}

bool THpglReader::Tokenize() {
  if (NoInstructions) return false;
  const int c0 = In_.Peek();
  if (c0 < 0) return false;
  const int ch = c0 & 0x7F;
  switch (State_) {
    case 0: {
      const int c1 = In_.Peek(1);
      const int k1 = c1 < 0 ? -1 : c1 & 0x7F;
      const int32_t m = c1 < 0 ? 0 : HpglMnemonic(static_cast<char>(ch), static_cast<char>(k1));
      if (m > 0 && IsLetter(ch)) {
        Tokens_.push_back({THpglToken::Mnemonic, m, 0, In_.Base + In_.Pos});
        In_.Pos += 2;
        State_ = m == mDT ? 3 : m == mLB || m == mBL ? 2 : m == mCO ? 4 : m == mPE ? 6 : 1;
        Skipped_ = 0;
      } else if (IsLetter(ch) && IsLetter(k1) && (In_.Peek(2) < 0 || !IsLetter(In_.Peek(2) & 0x7F))) {
        // A letter pair that is no instruction, standing alone as one does:
        // it and its parameters are passed over, and it is named afterwards.
        ++Skipped[std::string{static_cast<char>(Upper(ch)), static_cast<char>(Upper(k1))}];
        In_.Pos += 2;
        State_ = 5;
        Skipped_ = 0;
      } else if (ch == 27) {
        // A printer-language escape wrapped around the plot (ESC E,
        // ESC %-1B, ESC &l1O): up to its capital final letter.
        ++In_.Pos;
        int64_t value = 0;
        for (int n = 0, c; n < 32 && (c = In_.Peek()) >= 0; ++n) {
          ++In_.Pos;
          const int k = c & 0x7F;
          if (k >= '0' && k <= '9') {
            if (value < (int64_t{1} << 40)) value = value * 10 + (k - '0');
          } else if (k >= 'a' && k <= 'z') {
            value = 0;  // one parameter of a combined sequence ends
          } else if (k >= '@' && k <= 'Z') {
            // Raster rows and planes (ESC*b#W, ESC*b#V) and font or pattern
            // data carry that many bytes of their own: passed over, never
            // read as instructions.
            if (k == 'W' || k == 'V')
              for (int64_t left = value; left > 0 && In_.Peek() >= 0; --left) ++In_.Pos;
            break;
          }
        }
      } else if (ch == '@' && In_.Peek(1) >= 0 && (In_.Peek(1) & 0x7F) == 'P') {
        // A job-language line (@PJL ...) up to its line end (an LF, or a
        // CR alone as older systems end a line).
        for (int c; (c = In_.Peek()) >= 0 && (c & 0x7F) != '\n' && (c & 0x7F) != '\r';) ++In_.Pos;
      } else {
        ++In_.Pos;
        // Plots run their instructions on without line ends, but no plot
        // holds a stretch this long without one: the rest is not read.
        if (!PassedOver()) return false;
      }
      break;
    }
    case 1: {
      bool any = false;
      double value = 0;
      int end = -1;
      const bool negative = ReadNumber(any, value, end);
      if (end == '.') {
        ++In_.Pos;
        double fraction = 0, place = 0.1;
        int c;
        while ((c = In_.Peek()) >= 0 && (c & 0x7F) >= '0' && (c & 0x7F) <= '9') {
          fraction += ((c & 0x7F) - '0') * place;
          place /= 10;
          ++In_.Pos;
        }
        double magnitude = std::fabs(value) + fraction;
        if (ReadExponent(magnitude)) c = In_.Peek();
        Tokens_.push_back({THpglToken::Decimal, 0, negative ? -magnitude : magnitude});
        if (c < 0) break;
        if (IsLetter(c & 0x7F)) State_ = 0;
        else ++In_.Pos;
        break;
      }
      if (any && IsLetter(end) && ReadExponent(value)) {
        // "1e2": a decimal written with an exponent.
        Tokens_.push_back({THpglToken::Decimal, 0, value});
        const int next = In_.Peek();
        if (next < 0) break;
        if (IsLetter(next & 0x7F)) State_ = 0;
        else ++In_.Pos;
        break;
      }
      if (any) Tokens_.push_back({THpglToken::Integer, static_cast<int32_t>(value), value});
      if (end < 0) break;
      if (IsLetter(end)) {
        State_ = 0;
      } else {
        ++In_.Pos;
        if (any) {
          Skipped_ = 0;
        } else if (!PassedOver()) {
          return false;
        }
      }
      break;
    }
    case 2:
      ++In_.Pos;
      if (ch == Terminator) State_ = 0;
      else Tokens_.push_back({THpglToken::Character, ch, 0, In_.Base + In_.Pos - 1});
      break;
    case 3:
      // DT; and DT with nothing before the instruction's end return to the
      // default terminator.
      if (ch != ';') ++In_.Pos;
      Terminator = static_cast<char>(ch == ';' ? 3 : ch);
      State_ = 0;
      break;
    case 5:
      // The parameters of an unknown instruction, up to the next letter.
      if (IsLetter(ch)) {
        State_ = 0;
      } else {
        ++In_.Pos;
        if (!PassedOver()) return false;
      }
      break;
    case 6: {
      // An encoded polyline: its data up to the instruction's end, held
      // for the instruction (letters are data here).
      Encoded_.clear();
      for (int c; (c = In_.Peek()) >= 0;) {
        ++In_.Pos;
        if ((c & 0x7F) == ';') break;
        if (c == 27) {  // a printer escape ends the plot's data
          --In_.Pos;
          break;
        }
        if (Encoded_.size() < (1u << 26)) Encoded_ += static_cast<char>(c);
      }
      Tokens_.push_back({THpglToken::Encoded, 0, 0});
      Skipped_ = 0;
      State_ = 0;
      break;
    }
    default: {
      // A comment: passed over up to the instruction's end, a quoted text
      // as a whole.
      bool quoted = false;
      for (int c; (c = In_.Peek()) >= 0;) {
        ++In_.Pos;
        const int k = c & 0x7F;
        if (k == '"') quoted = !quoted;
        else if (k == ';' && !quoted) break;
        if (!PassedOver()) return false;
      }
      Skipped_ = 0;
      State_ = 0;
      break;
    }
  }
  if (State_ != 2 && State_ != 3)
    for (int c; (c = In_.Peek()) >= 0;) {
      const int k = c & 0x7F;
      if (k != '\n' && k != '\r' && k != ',' && k != ';') break;
      ++In_.Pos;
    }
  return true;
}

const THpglToken& THpglReader::PeekToken() {
  while (Tokens_.empty() && Tokenize()) {
  }
  return Tokens_.empty() ? None_ : Tokens_.front();
}

THpglToken THpglReader::TakeToken() {
  PeekToken();
  if (Tokens_.empty()) return None_;
  THpglToken t = Tokens_.front();
  Tokens_.pop_front();
  if (++TokenCount % 500 == 0) Progress();
  return t;
}

bool THpglReader::GetInt(int32_t& v) {
  if (PeekToken().Kind != THpglToken::Integer) return false;
  v = TakeToken().Int;
  return true;
}

bool THpglReader::GetReal(double& v) {
  const THpglToken& t = PeekToken();
  if (t.Kind != THpglToken::Integer && t.Kind != THpglToken::Decimal) return false;
  v = TakeToken().Real;
  return true;
}

// Integers and decimals mix freely within a pair.
bool THpglReader::GetPair(double& x, double& y) { return GetReal(x) && GetReal(y); }

bool THpglReader::GetPoint(TRealPoint& p) {
  double x = 0, y = 0;
  if (!GetPair(x, y)) return false;
  if (Absolute) p = {ScaleX * x + OffsetX, ScaleY * y + OffsetY};
  else p = {PenPos.X + ScaleX * x, PenPos.Y + ScaleY * y};
  return true;
}

// ---- Plotter model --------------------------------------------------------------------------

void THpglReader::Warn(const std::string& text) {
  const std::string kind = text.substr(0, 2);
  if (std::find(WarnedKinds_.begin(), WarnedKinds_.end(), kind) != WarnedKinds_.end()) return;
  WarnedKinds_.push_back(kind);
  Warnings.push_back(text);
}

void THpglReader::ComputeScale() {
  ScaleX = (P2.X - P1.X) / (S2.X - S1.X);
  ScaleY = (P2.Y - P1.Y) / (S2.Y - S1.Y);
  OffsetX = std::trunc((P1.X + P2.X) / 2 - ScaleX * (S1.X + S2.X) / 2 + 0.5);
  OffsetY = std::trunc((P1.Y + P2.Y) / 2 - ScaleY * (S1.Y + S2.Y) / 2 + 0.5);
  if (ScType_ == 1) {
    // Isotropic: the smaller scale on both axes, and the space it leaves
    // over shared out by the left and bottom percentages.
    const double s = std::min(std::fabs(ScaleX), std::fabs(ScaleY));
    ScaleX = std::copysign(s, ScaleX);
    ScaleY = std::copysign(s, ScaleY);
    const auto place = [s](double p1, double p2, double u1, double u2, double scale, double share) {
      const double spare = std::fabs(p2 - p1) - s * std::fabs(u2 - u1);
      return std::min(p1, p2) + spare * share / 100 - std::min(scale * u1, scale * u2);
    };
    OffsetX = place(P1.X, P2.X, S1.X, S2.X, ScaleX, ScLeft_);
    OffsetY = place(P1.Y, P2.Y, S1.Y, S2.Y, ScaleY, ScBottom_);
  }
  if (!patternInMillimetres_) PatternLength = PatternPercent * 0.01 * Distance(P1, P2);
  // A scaling that turns one axis over (IP0,8396,11881,0) is still equal
  // in both directions.
  Isotropic = std::fabs(std::fabs(ScaleX) - std::fabs(ScaleY)) < 0.01;
}

TRealPoint THpglReader::Out(const TRealPoint& p) const {
  double x = p.X, y = p.Y;
  if (Rotation != 0) RotatePoint(x, y, Rotation);
  return {ToDb(x), ToDb(y)};
}

int64_t THpglReader::LineOfOffset(int64_t offset) const {
  std::FILE* f = std::fopen(NativePath(FileName).c_str(), "rb");
  if (f == nullptr) return 0;
  int64_t line = 1;
  for (int64_t at = 0; at < offset; ++at) {
    const int c = std::fgetc(f);
    if (c == EOF) break;
    if (c == '\n') ++line;
  }
  std::fclose(f);
  return line;
}

bool THpglReader::Fits(std::initializer_list<double> values) {
  for (const double v : values) {
    if (std::fabs(v) <= 2147483647.0) continue;
    if (!Failed) {
      Failed = true;
      ErrorText = FileName + ", line " + std::to_string(LineOfOffset(InstructionOffset_)) +
                  ": the plot reaches beyond the largest coordinate a job holds (84.5466 in or "
                  "2147.48 mm); check the plot's scaling (IP, SC).";
    }
    return false;
  }
  return true;
}

void THpglReader::Initialize() {
  P1 = kDefaultP1;
  P2 = kDefaultP2;
  S1 = P1;
  S2 = P2;
  Absolute = true;
  PenDown = false;
  LineType = 7;
  PatternPercent = 4;
  PatternOffset = 0;
  ChordAngle = 5;
  ChordMode = 0;
  CharWidth = 0.285;
  CharHeight = 0.375;
  LabelAngle = 0;
  LabelVertical = false;
  Rotation = 0;
  Terminator = 3;
  ScType_ = 0;
  Clipping_ = false;
  inPolygon_ = polygonStartPending_ = polygonDrawn_ = false;
  patternInMillimetres_ = false;
  ComputeScale();
  PenPos = {OffsetX, OffsetY};
}

void THpglReader::Stroke(TRealPoint from, TRealPoint to) {
  if (Clipping_) {
    // The part inside the input window (parametric clipping).
    double t0 = 0, t1 = 1;
    const double dx = to.X - from.X, dy = to.Y - from.Y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {from.X - ClipLow_.X, ClipHigh_.X - from.X, from.Y - ClipLow_.Y, ClipHigh_.Y - from.Y};
    for (int k = 0; k < 4; ++k) {
      if (p[k] == 0) {
        if (q[k] < 0) return;
        continue;
      }
      const double t = q[k] / p[k];
      if (p[k] < 0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
    }
    if (t0 > t1) return;
    const TRealPoint a{from.X + t0 * dx, from.Y + t0 * dy}, b{from.X + t1 * dx, from.Y + t1 * dy};
    from = a;
    to = b;
  }
  const TRealPoint a = Out(from), b = Out(to);
  if (Fits({a.X, a.Y, b.X, b.Y})) {
    AddLine(Pen, a.X, a.Y, b.X, b.Y);
    ++Drawn;
  }
}

void THpglReader::Segment(const TRealPoint& to, bool down) {
  if (Failed) return;
  // Dashes, chords and the pieces of curves make many moves of one
  // instruction: an arc of a few bytes can ask for millions. Beyond one
  // move for every token read, the repeat limit holds (a piece counting as
  // four records).
  const int64_t most = ImportRepeatLimit() / 4;
  if (++Pieces_ > most + TokenCount) {
    Failed = true;
    ErrorText = "<" + FileName + "> breaks its lines, arcs and curves into more than " +
                IntToStrGrouped(static_cast<int32_t>(std::min<int64_t>(most, INT32_MAX))) + " pieces.";
    return;
  }
  if (down) Stroke(PenPos, to);
  PenPos = to;
}

void THpglReader::MoveTo(const TRealPoint& target) {
  if (target.X == PenPos.X && target.Y == PenPos.Y) return;
  if (!PenDown || LineType == 7) {
    Segment(target, PenDown);
    return;
  }
  if (LineType < -6 || LineType > 6) return;
  if (LineType != 0 && !(PatternLength > 0)) {
    Warn("LT with a pattern length of 0 cannot be dashed: drawn solid");
    Segment(target, true);
    return;
  }
  // A pattern so short against the move that it would make tens of
  // thousands of dashes (a scaling window of a few plotter units) is no
  // dashing anyone can see.
  if (LineType != 0 && Distance(PenPos, target) / PatternLength > 10000) {
    Warn("LT pattern of " + RealToStr(PatternLength) + " plotter units is too short to dash: drawn solid");
    Segment(target, true);
    return;
  }
  const std::vector<double>& pattern = kLineTypes[LineType + 6];
  const TRealPoint from = PenPos;
  const double length = Distance(from, target);
  const auto along = [&](double d) {
    return TRealPoint{from.X + (target.X - from.X) * d / length, from.Y + (target.Y - from.Y) * d / length};
  };
  if (LineType == 0) {
    Segment(target, false);
    Segment(target, true);
  } else if (LineType < 0) {
    const double n = std::max(1.0, std::nearbyint(length / PatternLength));
    const double each = length / n;
    double done = 0;
    for (int32_t k = 0; k < static_cast<int32_t>(n) && !Failed; ++k)
      for (std::size_t s = 0; s < pattern.size(); ++s) {
        done += pattern[s] * each;
        const bool last = k + 1 == static_cast<int32_t>(n) && s + 1 == pattern.size();
        Segment(last ? target : along(done), s % 2 == 0);
      }
  } else {
    std::vector<double> ends;  // pattern offsets where each segment ends
    double sum = 0;
    for (double f : pattern) ends.push_back(sum += f * PatternLength);
    const auto segmentAt = [&](double offset) {
      std::size_t k = 0;
      while (k < ends.size() && offset >= ends[k]) ++k;
      return k;
    };
    double done = 0;
    for (int guard = 0; done < length && guard < 1000000 && !Failed; ++guard) {
      if (PatternOffset >= PatternLength) PatternOffset = 0;
      const double remaining = length - done;
      const std::size_t k = segmentAt(PatternOffset);
      if (k >= ends.size()) {  // past the last segment by rounding
        PatternOffset = 0;
        continue;
      }
      double step = remaining;
      if (k != segmentAt(PatternOffset + remaining)) step = std::min(remaining, ends[k] - PatternOffset);
      done += step;
      Segment(done >= length ? target : along(done), k % 2 == 0);
      PatternOffset += step + 0.0001;
    }
    PenPos = target;
  }
  PenDown = true;
}

void THpglReader::MovesTo() {
  TRealPoint p;
  while (!Failed && GetPoint(p)) {
    if (polygonStartPending_) {
      // The first point after a subpolygon is closed starts the next one:
      // the pen goes there without drawing.
      polygonStart_ = p;
      polygonStartPending_ = false;
      polygonDrawn_ = false;
      const bool wasDown = PenDown;
      PenDown = false;
      MoveTo(p);
      PenDown = wasDown;
      continue;
    }
    polygonDrawn_ = polygonDrawn_ || PenDown;
    MoveTo(p);
  }
}

void THpglReader::ClosePolygon() {
  // A subpolygon is closed by an edge back to its start.
  if (polygonDrawn_ && !polygonStartPending_) {
    const bool wasDown = PenDown;
    PenDown = true;
    MoveTo(polygonStart_);
    PenDown = wasDown;
  }
  polygonStartPending_ = true;
  polygonDrawn_ = false;
}

void THpglReader::Arc(const TRealPoint& centre, double sweep, double chord) {
  // Turns beyond the first retrace it: a full circle (and no endless
  // chords for a sweep of millions of degrees).
  if (!std::isfinite(sweep)) return;
  if (std::fabs(sweep) > 360) sweep = std::copysign(360.0, sweep);
  const double reach = Distance(PenPos, centre);
  // An arc that the input window cuts is drawn as chords, clipped.
  const bool cut = Clipping_ && (centre.X - reach < ClipLow_.X || centre.X + reach > ClipHigh_.X ||
                                 centre.Y - reach < ClipLow_.Y || centre.Y + reach > ClipHigh_.Y);
  if (Isotropic && LineType == 7 && !cut) {
    double r = 0, a0 = 0;
    RectToPolar(PenPos.X - centre.X, PenPos.Y - centre.Y, r, a0);
    if (r <= 0 || sweep == 0) return;
    const TRealPoint c = Out(centre);
    const double rr = r * kDatabasePerPlotter;
    if (std::fabs(sweep) == 360) {
      if (PenDown && Fits({c.X - rr, c.X + rr, c.Y - rr, c.Y + rr})) {
        AddCircle(Pen, c.X, c.Y, rr);
        ++Drawn;
      }
      return;
    }
    // A scaling that turns one axis over turns the sense of every sweep.
    if (ScaleX * ScaleY < 0) sweep = -sweep;
    double a1 = std::fmod(a0 + sweep, 360.0);
    if (a1 < 0) a1 += 360;
    const TRealPoint end{centre.X + r * CosDeg(a1), centre.Y + r * SinDeg(a1)};
    if (PenDown && Fits({c.X - rr, c.X + rr, c.Y - rr, c.Y + rr})) {
      const TRealPoint s = Out(PenPos), e = Out(end);
      const double turned0 = std::fmod(a0 + Rotation, 360.0), turned1 = std::fmod(a1 + Rotation, 360.0);
      if (sweep > 0) AddArc(Pen, s.X, s.Y, e.X, e.Y, c.X, c.Y, turned0, turned1);
      else AddArc(Pen, e.X, e.Y, s.X, s.Y, c.X, c.Y, turned1, turned0);
      ++Drawn;
    }
    PenPos = end;
    return;
  }
  const TRealPoint c{(centre.X - OffsetX) / ScaleX, (centre.Y - OffsetY) / ScaleY};
  const TRealPoint p{(PenPos.X - OffsetX) / ScaleX, (PenPos.Y - OffsetY) / ScaleY};
  const double r = Distance(c, p);
  if (sweep == 0 || r == 0) return;
  double angle = chord;
  if (ChordMode == 1) {
    if (!(chord > 0) || chord > 2 * r) {
      Warn("CT deviation " + RealToStr(chord) + " does not fit the radius: chords of " +
           RealToStr(ChordAngle) + " degrees used");
      angle = ChordAngle > 0 ? ChordAngle : 5;
    } else {
      angle = std::nearbyint(2 * ArcCosDeg((r - chord) / r));
      if (angle <= 0) angle = 1;
    }
  } else if (angle == 0) {
    return;
  } else if (std::fabs(angle) < 0.5) {
    // A plotter takes no finer chord angle than half a degree.
    angle = std::copysign(0.5, angle);
  }
  const int32_t count = std::max<int32_t>(1, static_cast<int32_t>(std::ceil(std::fabs(sweep / angle))));
  const double step = sweep / count;
  for (int32_t k = 1; k <= count && !Failed; ++k) {
    double dx = p.X - c.X, dy = p.Y - c.Y;
    RotatePoint(dx, dy, step * k);
    MoveTo({(c.X + dx) * ScaleX + OffsetX, (c.Y + dy) * ScaleY + OffsetY});
  }
}

void THpglReader::Circle(double radius, double chord) {
  const TRealPoint centre = PenPos;
  const bool wasDown = PenDown;
  PenDown = false;
  MoveTo({centre.X + radius, centre.Y});
  PenDown = true;
  Arc(centre, 360, chord);
  PenDown = false;
  MoveTo(centre);
  PenPos = centre;
  PenDown = wasDown;
}

void THpglReader::Label() {
  std::string text;
  while (PeekToken().Kind == THpglToken::Character) {
    const THpglToken t = TakeToken();
    if (text.size() < 255) text += static_cast<char>(t.Int);
  }
  const double wf = std::nearbyint(CharWidth * 10000 / 15.24) / 15;
  const double hf = std::nearbyint(CharHeight * 10000 / 15.24) / 15;
  // The run of the text and the up of its characters, from DI or DR.
  const TRealPoint run{CosDeg(LabelAngle), SinDeg(LabelAngle)}, up{-run.Y, run.X};
  const double advance = std::nearbyint(13.5 * wf), lineStep = std::nearbyint(15 * hf);
  const auto step = [](const TRealPoint& p, const TRealPoint& d, double by) {
    return TRealPoint{std::nearbyint(p.X + d.X * by), std::nearbyint(p.Y + d.Y * by)};
  };
  TRealPoint origin = PenPos, lineStart = PenPos;
  for (char ch : text) {
    origin = {std::nearbyint(origin.X), std::nearbyint(origin.Y)};
    // A carriage return goes back to the start of the line, a line feed one
    // line on (one column to the left in vertical labels).
    if (ch == '\r') {
      origin = lineStart;
      continue;
    }
    if (ch == '\n') {
      const TRealPoint d = LabelVertical ? TRealPoint{-run.X, -run.Y} : TRealPoint{-up.X, -up.Y};
      const double by = LabelVertical ? advance : lineStep;
      origin = step(origin, d, by);
      lineStart = step(lineStart, d, by);
      continue;
    }
    const char* glyph = GlyphOf(ch);
    if (glyph != nullptr) {
      TRealPoint last = origin;
      for (const char* at = glyph + 2; *at != 0 && !Failed;) {
        while (*at == ' ') ++at;
        const char command = *at;
        if (command != 'U' && command != 'D' && command != 'C') break;
        char* rest = nullptr;
        const long x = std::strtol(at + 1, &rest, 10);
        const long y = *rest == ',' ? std::strtol(rest + 1, &rest, 10) : 0;
        at = rest;
        const double lx = std::nearbyint(x * wf * 0.5), ly = std::nearbyint(y * hf * 0.5);
        const TRealPoint point{origin.X + run.X * lx + up.X * ly, origin.Y + run.Y * lx + up.Y * ly};
        if (command != 'U') Stroke(last, point);
        last = point;
      }
    }
    origin = LabelVertical ? step(origin, {-up.X, -up.Y}, lineStep) : step(origin, run, advance);
  }
  PenPos = origin;
}

void THpglReader::SetRelativeSize(double width, double height) {
  CharWidth = width / 100 * std::fabs(P2.X - P1.X) / 400;
  CharHeight = height / 100 * std::fabs(P2.Y - P1.Y) / 400;
}

void THpglReader::Outline(const std::vector<TRealPoint>& points) {
  const TRealPoint start = PenPos;
  const bool wasDown = PenDown;
  PenDown = true;
  for (const TRealPoint& p : points)
    if (!Failed) MoveTo(p);
  PenDown = wasDown;
  PenPos = start;
}

namespace {

double Normalized(double degrees) {
  double a = std::fmod(degrees, 360.0);
  if (a < 0) a += 360;
  return a;
}

}  // namespace

void THpglReader::ThreePointArc(bool relative) {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0, chord = ChordAngle;
  if (!GetPair(x1, y1) || !GetPair(x2, y2)) return;
  if (GetReal(chord) && !(chord > 0)) chord = ChordAngle;
  // In user units: the pen, the point the arc passes and its end.
  const TRealPoint u0{(PenPos.X - OffsetX) / ScaleX, (PenPos.Y - OffsetY) / ScaleY};
  const TRealPoint u1 = relative ? TRealPoint{u0.X + x1, u0.Y + y1} : TRealPoint{x1, y1};
  const TRealPoint u2 = relative ? TRealPoint{u0.X + x2, u0.Y + y2} : TRealPoint{x2, y2};
  const auto plotter = [this](const TRealPoint& u) {
    return TRealPoint{ScaleX * u.X + OffsetX, ScaleY * u.Y + OffsetY};
  };
  if (u0.X == u2.X && u0.Y == u2.Y) {
    // Back to its start: the circle whose diameter ends at the middle point.
    if (u1.X == u0.X && u1.Y == u0.Y) return;
    Arc(plotter({(u0.X + u1.X) / 2, (u0.Y + u1.Y) / 2}), 360, chord);
    return;
  }
  const double d = 2 * (u0.X * (u1.Y - u2.Y) + u1.X * (u2.Y - u0.Y) + u2.X * (u0.Y - u1.Y));
  const double span = std::max({Distance(u0, u1), Distance(u1, u2), Distance(u0, u2)});
  if (std::fabs(d) <= 1e-9 * span * span) {
    // Three points on a line: a line to the end.
    MoveTo(plotter(u2));
    return;
  }
  const double n0 = u0.X * u0.X + u0.Y * u0.Y, n1 = u1.X * u1.X + u1.Y * u1.Y, n2 = u2.X * u2.X + u2.Y * u2.Y;
  const TRealPoint c{(n0 * (u1.Y - u2.Y) + n1 * (u2.Y - u0.Y) + n2 * (u0.Y - u1.Y)) / d,
                     (n0 * (u2.X - u1.X) + n1 * (u0.X - u2.X) + n2 * (u1.X - u0.X)) / d};
  const auto angle = [&c](const TRealPoint& p) { return RadToDeg(std::atan2(p.Y - c.Y, p.X - c.X)); };
  const double a0 = angle(u0);
  const double sweep = Normalized(angle(u2) - a0), through = Normalized(angle(u1) - a0);
  Arc(plotter(c), through < sweep ? sweep : sweep - 360, chord);
  PenPos = plotter(u2);
}

void THpglReader::Beziers(bool relative) {
  double x[3] = {}, y[3] = {};
  while (!Failed) {
    if (!GetPair(x[0], y[0])) return;
    if (!GetPair(x[1], y[1]) || !GetPair(x[2], y[2])) return;
    const TRealPoint p0 = PenPos;
    TRealPoint p[3];
    for (int k = 0; k < 3; ++k)
      p[k] = relative ? TRealPoint{p0.X + ScaleX * x[k], p0.Y + ScaleY * y[k]}
                      : TRealPoint{ScaleX * x[k] + OffsetX, ScaleY * y[k] + OffsetY};
    // Chords about a millimetre long, 4 to 64 of them.
    const double length = Distance(p0, p[0]) + Distance(p[0], p[1]) + Distance(p[1], p[2]);
    // (A length beyond every number takes the most; its points then
    // refuse the plot.)
    const int32_t n = length < 40 * 64 ? std::max(4, static_cast<int32_t>(std::ceil(length / 40))) : 64;
    for (int32_t k = 1; k <= n && !Failed; ++k) {
      const double t = static_cast<double>(k) / n, s = 1 - t;
      const double b0 = s * s * s, b1 = 3 * s * s * t, b2 = 3 * s * t * t, b3 = t * t * t;
      MoveTo(k == n ? p[2]
                    : TRealPoint{b0 * p0.X + b1 * p[0].X + b2 * p[1].X + b3 * p[2].X,
                                 b0 * p0.Y + b1 * p[0].Y + b2 * p[1].Y + b3 * p[2].Y});
    }
  }
}

void THpglReader::Rectangle(bool relative) {
  double x = 0, y = 0;
  if (!GetPair(x, y)) return;
  const TRealPoint c = PenPos;
  const TRealPoint u0{(c.X - OffsetX) / ScaleX, (c.Y - OffsetY) / ScaleY};
  const TRealPoint u = relative ? TRealPoint{u0.X + x, u0.Y + y} : TRealPoint{x, y};
  const auto plotter = [this](double ux, double uy) { return TRealPoint{ScaleX * ux + OffsetX, ScaleY * uy + OffsetY}; };
  Outline({plotter(u.X, u0.Y), plotter(u.X, u.Y), plotter(u0.X, u.Y), c});
}

void THpglReader::Wedge() {
  double radius = 0, start = 0, sweep = 0, chord = ChordAngle;
  if (!GetReal(radius) || !GetReal(start) || !GetReal(sweep)) return;
  if (GetReal(chord) && !(chord > 0)) chord = ChordAngle;
  const double r = radius * std::fabs(ScaleX);
  if (r == 0 || sweep == 0) return;
  if (std::fabs(sweep) >= 360) {
    const bool wasDown = PenDown;
    Circle(std::fabs(r), chord);
    PenDown = wasDown;
    return;
  }
  // A negative radius starts the wedge on the opposite side.
  const TRealPoint centre = PenPos;
  const TRealPoint edge{centre.X + r * CosDeg(start), centre.Y + r * SinDeg(start)};
  const bool wasDown = PenDown;
  PenDown = true;
  MoveTo(edge);
  PenDown = true;
  Arc(centre, sweep, chord);
  PenDown = true;
  MoveTo(centre);
  PenDown = wasDown;
  PenPos = centre;
}

void THpglReader::EncodedPolyline(const std::string& data) {
  bool sevenBit = false, penUpNext = false, absoluteNext = false;
  double fraction = 1;  // divisor of the fractional binary digits
  std::size_t at = 0;
  // One number: base-64 digits (base 32 in seven-bit mode), the least
  // significant first, closed by a terminating digit; the lowest bit of the
  // value is its sign.
  const auto number = [&](double& value) {
    uint64_t v = 0, place = 1;
    for (int digits = 0; at < data.size(); ++at) {
      const int c = static_cast<unsigned char>(data[at]);
      int digit = -1;
      bool last = false;
      if (sevenBit) {
        if (c >= 63 && c <= 94) digit = c - 63;
        else if (c >= 95 && c <= 126) digit = c - 95, last = true;
      } else {
        if (c >= 63 && c <= 126) digit = c - 63;
        else if (c >= 191 && c <= 254) digit = c - 191, last = true;
      }
      if (digit < 0) {
        if (c == ':' || c == '<' || c == '>' || c == '=' || c == '7') return false;
        continue;  // line ends and blanks between digits
      }
      if (digits++ < 10) v += static_cast<uint64_t>(digit) * place;
      place *= sevenBit ? 32 : 64;
      if (last) {
        ++at;
        const double magnitude = static_cast<double>(v >> 1);
        value = (v & 1) != 0 ? -magnitude : magnitude;
        return true;
      }
    }
    return false;
  };
  while (at < data.size() && !Failed) {
    const int c = static_cast<unsigned char>(data[at]);
    double a = 0, b = 0;
    if (c == ':') {
      ++at;
      if (number(a)) SetPen(static_cast<int32_t>(std::clamp(a, -2147483648.0, 2147483647.0)));
    } else if (c == '<') {
      ++at;
      penUpNext = true;
    } else if (c == '>') {
      ++at;
      if (number(a)) fraction = std::pow(2.0, std::clamp(a, 0.0, 26.0));
    } else if (c == '=') {
      ++at;
      absoluteNext = true;
    } else if (c == '7') {
      ++at;
      sevenBit = true;
    } else if (c >= 63) {
      if (!number(a) || !number(b)) break;
      a /= fraction;
      b /= fraction;
      const TRealPoint target = absoluteNext ? TRealPoint{ScaleX * a + OffsetX, ScaleY * b + OffsetY}
                                             : TRealPoint{PenPos.X + ScaleX * a, PenPos.Y + ScaleY * b};
      PenDown = !penUpNext;
      if (penUpNext) PatternOffset = 0;
      MoveTo(target);
      PenDown = !penUpNext;
      penUpNext = absoluteNext = false;
    } else {
      ++at;
    }
  }
}

void THpglReader::Dispatch(int32_t m) {
  double a = 0, b = 0, c = 0, d = 0;
  int32_t n = 0;
  TRealPoint p;
  switch (m) {
    case mIN: Initialize(); break;
    case mIP: {
      const bool first = GetPair(a, b), second = first && GetPair(c, d);
      if (first && second) {
        P1 = {a, b};
        P2 = {c, d};
      } else {
        P1 = {kDefaultP1.X + 0.6, kDefaultP1.Y + 0.6};
        P2 = {kDefaultP2.X - 0.6, kDefaultP2.Y - 0.6};
      }
      if (P1.X == P2.X) P2.X += 1;
      if (P1.Y == P2.Y) P2.Y += 1;
      S1 = P1;
      S2 = P2;
      ScType_ = 0;
      ComputeScale();
      break;
    }
    case mSC: {
      const bool xs = GetPair(a, b), ys = xs && GetPair(c, d);
      double type = 0, left = 50, bottom = 50;
      if (ys && GetReal(type) && type == 1 && GetReal(left)) GetReal(bottom);
      if (xs && ys && (type == 2 ? b == 0 || d == 0 : a == b || c == d)) {
        Warn("SC with equal limits cannot scale: the instruction was left out");
        break;
      }
      ScType_ = 0;
      if (xs && ys && type == 2) {
        // Plotter units per user unit from the user point at P1.
        S1 = {a, c};
        S2 = {a + (P2.X - P1.X) / b, c + (P2.Y - P1.Y) / d};
      } else if (xs && ys) {
        S1 = {a, c};
        S2 = {b, d};
        if (type == 1) {
          ScType_ = 1;
          ScLeft_ = std::clamp(left, 0.0, 100.0);
          ScBottom_ = std::clamp(bottom, 0.0, 100.0);
        }
      } else {
        S1 = P1;
        S2 = P2;
      }
      ComputeScale();
      break;
    }
    case mPA: Absolute = true; MovesTo(); break;
    case mPR: Absolute = false; MovesTo(); break;
    case mPD: PenDown = true; MovesTo(); break;
    case mPU: PenDown = false; PatternOffset = 0; MovesTo(); break;
    case mAP: PenDown = false; break;
    case mLT:
      LineType = GetInt(n) ? n : 7;
      if (LineType == -7) LineType = 7;
      PatternPercent = GetReal(a) ? a : 4;
      // The later dialect's third parameter 1 gives the length in
      // millimetres instead of a share of the P1-P2 diagonal.
      patternInMillimetres_ = GetReal(b) && b == 1;
      PatternLength = patternInMillimetres_ ? PatternPercent * 40 : PatternPercent * 0.01 * Distance(P1, P2);
      PatternOffset = 0;
      PenDown = false;
      break;
    case mDF: PatternOffset = 0; break;
    case mCT: ChordMode = GetInt(n) && n == 1 ? 1 : 0; break;
    case mAA:
    case mAR: {
      // AA's centre is absolute and AR's relative to the pen, whichever
      // of PA and PR is in force.
      const bool mode = Absolute;
      Absolute = m == mAA;
      const bool centre = GetPoint(p);
      Absolute = mode;
      if (centre && GetReal(a)) Arc(p, a, GetInt(n) ? n : ChordAngle);
      break;
    }
    case mCI:
      if (GetReal(a)) {
        const double chord = GetInt(n) && n > 0 ? n : ChordAngle;
        a *= std::fabs(ScaleX);
        if (std::nearbyint(a) != 0) Circle(a, chord);
      }
      break;
    case mSI:
      if (GetPair(a, b)) {
        CharWidth = a;
        CharHeight = b;
      } else {
        CharWidth = 0.285;
        CharHeight = 0.375;
      }
      break;
    case mLB: {
      const int32_t kept = LineType;
      LineType = 7;
      Label();
      LineType = kept;
      break;
    }
    case mSP: SetPen(GetInt(n) ? n : 0); break;
    case mDI:
      LabelAngle = GetPair(a, b) && (a != 0 || b != 0) ? RadToDeg(std::atan2(b, a)) : 0;
      break;
    case mDR:
      LabelAngle = GetPair(a, b) && (a != 0 || b != 0)
                       ? RadToDeg(std::atan2(b * (P2.Y - P1.Y), a * (P2.X - P1.X)))
                       : 0;
      break;
    case mDV: LabelVertical = GetInt(n) && n == 1; break;
    case mSR:
      if (GetPair(a, b)) SetRelativeSize(a, b);
      else SetRelativeSize(0.75, 1.5);
      break;
    case mPM: {
      // Polygon mode: the edges are drawn as the pen goes; each subpolygon
      // is closed at PM1 and PM2, and the pen is lifted at PM2.
      const int32_t mode = GetInt(n) ? n : 0;
      if (mode == 0) {
        inPolygon_ = true;
        polygonStart_ = PenPos;
        polygonStartPending_ = false;
        polygonDrawn_ = false;
      } else if (inPolygon_) {
        ClosePolygon();
        if (mode == 2) {
          inPolygon_ = false;
          polygonStartPending_ = false;
          PenDown = false;
        }
      }
      break;
    }
    case mAT: ThreePointArc(false); break;
    case mRT: ThreePointArc(true); break;
    case mBZ: Beziers(false); break;
    case mBR: Beziers(true); break;
    case mEA:
    case mRA: Rectangle(false); break;
    case mER:
    case mRR: Rectangle(true); break;
    case mEW:
    case mWG: Wedge(); break;
    case mPE:
      if (PeekToken().Kind == THpglToken::Encoded) {
        TakeToken();
        EncodedPolyline(Encoded_);
      }
      break;
    case mIW:
      if (GetPair(a, b) && GetPair(c, d)) {
        // Corners in the units in force, kept in plotter units.
        const TRealPoint lo{ScaleX * a + OffsetX, ScaleY * b + OffsetY}, hi{ScaleX * c + OffsetX, ScaleY * d + OffsetY};
        ClipLow_ = {std::min(lo.X, hi.X), std::min(lo.Y, hi.Y)};
        ClipHigh_ = {std::max(lo.X, hi.X), std::max(lo.Y, hi.Y)};
        Clipping_ = true;
      } else {
        Clipping_ = false;
      }
      break;
    case mRO:
      Rotation = GetReal(a) && (a == 90 || a == 180 || a == 270) ? a : 0;
      break;
    default:
      if (DrawsNothingHere(m)) ++Skipped[HpglMnemonicName(m)];
      break;
  }
}

bool THpglReader::Begin() {
  Pen = 0;
  Tokens_.clear();
  State_ = 0;
  Skipped_ = 0;
  NoInstructions = false;
  Failed = false;
  ErrorText.clear();
  Skipped.clear();
  Initialize();
  Opened = In_.Open(FileName);
  return Opened;
}

void THpglReader::Read() {
  if (!Begin()) return;
  for (;;) {
    const THpglToken t = TakeToken();
    if (t.Kind == THpglToken::None || Failed) break;
    if (t.Kind == THpglToken::Mnemonic) {
      InstructionOffset_ = t.Offset;
      Dispatch(t.Int);
    }
  }
  In_.Close();
}

// ---- Entry ----------------------------------------------------------------------------------

void ImportHpglToCad(const std::string& fileName) {
  if (!CheckImportFile(fileName)) return;
  auto report = ImportHost().OpenReport(ImportCaption("HPGL-to-CAD ", "6.0", fileName), 50, 15);
  report->WriteLn("Reading HPGL file...");
  struct TImporter : THpglToCad {
    using THpglToCad::THpglToCad;
    void Progress() override { ProcessMessages(); }
  } importer(fileName);
  importer.Read();
  for (const std::string& w : importer.Warnings) report->WriteLn(w);
  if (importer.Failed) {
    report->WriteLn(importer.ErrorText);
    NothingImported(importer.ErrorText);
    return;
  }
  if (!importer.Opened || importer.NoInstructions || importer.Pending.Count() == 0) {
    const std::string skipped = SkippedInstructionsNotice(importer.Skipped);
    const std::string text = !importer.Opened          ? "<" + fileName + "> cannot be read."
                             : importer.NoInstructions ? importer.NoInstructionsText()
                                                       : "<" + fileName + "> draws nothing." +
                                                             (skipped.empty() ? "" : "\n" + skipped);
    report->WriteLn(text);
    NothingImported(text);
    return;
  }
  if (!importer.Pending.Commit()) return;
  const std::string skipped = SkippedInstructionsNotice(importer.Skipped);
  if (!skipped.empty()) {
    report->WriteLn(skipped);
    InformationBox(skipped);
  }
}
