#include "import/gerber_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "foundation/file_utils.h"
#include "foundation/nc_format.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace {

bool ParseDecimal(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

int64_t RoundToInt64(double v) { return static_cast<int64_t>(std::llround(v)); }

}  // namespace

TGerberReader::TGerberReader(const std::string& fileName) : FileName(fileName) {
  if (!FindEndOfBlock()) {
    MessageBeep(0);
    ErrorBox("DECODE FAILED: Unable to find any end-of-block!\r\nThis file is not a Gerber Photoplot.");
    return;
  }
  if (HasOverlongBlock()) {
    MessageBeep(0);
    ErrorBox("DECODE FAILED: a block of " + FileName + " is longer than " +
             IntToStrGrouped(int32_t(kMaxTextLine)) + " characters!\r\nThis file is not a Gerber Photoplot.");
    return;
  }
  ParseFormatParameters();
  Opened = true;
}

TGerberReader::TGerberReader(const std::string& fileName, TQuiet) : FileName(fileName) {}

TGerberReader::~TGerberReader() { CloseInput(); }

// ---- Input -------------------------------------------------------------------------------

bool TGerberReader::OpenInput() {
  CloseInput();
  if (!FileExistsNoWild(FileName)) return false;
  input_ = std::fopen(NativePath(FileName).c_str(), "rb");
  pending_ = -1;
  return input_ != nullptr;
}

void TGerberReader::CloseInput() {
  if (input_) std::fclose(input_);
  input_ = nullptr;
  pending_ = -1;
}

int TGerberReader::Get() {
  if (pending_ >= 0) {
    const int c = pending_;
    pending_ = -1;
    return c;
  }
  return input_ ? std::fgetc(input_) : EOF;
}

bool TGerberReader::Eof() {
  if (!input_) return true;
  if (pending_ >= 0) return false;
  pending_ = std::fgetc(input_);
  return pending_ < 0;
}

bool TGerberReader::FindEndOfBlock() {
  if (!OpenInput()) return false;
  std::array<int32_t, 128> counts{};
  int32_t total = 0;
  for (int c = Get(); c != EOF && total < 1024; c = Get()) {
    c &= 127;
    if ((c >= 0 && c <= 9) || c == 11 || c == 12 || (c >= 14 && c <= 32)) continue;
    ++counts[static_cast<std::size_t>(c)];
    ++total;
  }
  CloseInput();
  const int32_t xy = counts['X'] + counts['Y'];
  for (char candidate : {'*', '\r', '\n', '$', '#', ';'}) {
    const int32_t n = counts[static_cast<std::size_t>(candidate)];
    if ((total < 128 && n > 0) || (total >= 128 && n > xy / 4)) {
      EndOfBlock = candidate;
      return true;
    }
  }
  return false;
}

bool TGerberReader::HasOverlongBlock() {
  if (!OpenInput()) return false;
  std::size_t run = 0;
  bool found = false;
  for (int c = Get(); c != EOF; c = Get()) {
    if (c == static_cast<unsigned char>(EndOfBlock) || c == '\n' || c == '\r') {
      run = 0;
    } else if (++run > kMaxTextLine) {
      found = true;
      break;
    }
  }
  CloseInput();
  return found;
}

void TGerberReader::ParseFormatParameters() {
  if (!OpenInput()) return;
  TGerberFormatRecord& g = GerberImportDefaults;
  bool starSeen = false;
  std::string line;
  bool more = true;
  while (more) {
    line.clear();
    int c = Get();
    if (c == EOF) break;
    while (c != EOF && c != '\n') {
      // The statements read here stand at the start of their lines.
      if (c != '\r' && line.size() < 255) line += static_cast<char>(c);
      c = Get();
    }
    more = c != EOF;
    if (!line.empty() && line[0] == '*') {
      starSeen = true;
      continue;
    }
    const std::string upper = UpperCaseStr(line);
    if (!upper.empty() && upper[0] == '%') {
      starSeen = false;
      const std::size_t fs = upper.find("FS");
      if (fs != std::string::npos && fs > 0) {
        if (fs + 2 < upper.size()) {
          if (upper[fs + 2] == 'L') g.ZeroUsage = 1;
          if (upper[fs + 2] == 'T') g.ZeroUsage = 0;
        }
        if (fs + 3 < upper.size()) {
          if (upper[fs + 3] == 'A') g.IncrementalMode = false;
          if (upper[fs + 3] == 'I') g.IncrementalMode = true;
        }
        const std::string rest = upper.substr(fs);
        const std::size_t x = rest.find('X');
        const std::size_t end = rest.find(EndOfBlock);
        if (x != std::string::npos && (end == std::string::npos || x < end)) {
          if (x + 1 < rest.size() && std::isdigit(static_cast<unsigned char>(rest[x + 1])))
            g.IntegerDigits = rest[x + 1] - '0';
          if (x + 2 < rest.size() && std::isdigit(static_cast<unsigned char>(rest[x + 2])))
            g.DecimalDigits = rest[x + 2] - '0';
        }
      }
      const std::size_t mo = upper.find("MO");
      if (mo != std::string::npos && mo > 0 && mo + 2 < upper.size()) {
        if (upper[mo + 2] == 'M') g.Metric = true;
        if (upper[mo + 2] == 'I') g.Metric = false;
      }
    } else if (upper.empty() || upper[0] != '*') {
      if (starSeen) break;
    }
  }
  CloseInput();
}

std::string TGerberReader::ReadBlock(bool strip) {
  while (true) {
    std::string block;
    bool ended = false;
    while (!ended && block.size() < 255) {
      int c = Get();
      if (c == EOF) break;
      if (c == static_cast<unsigned char>(EndOfBlock)) ended = true;
      if (strip) {
        c &= 127;
        if (c > 32) block += static_cast<char>(c);
      } else {
        block += static_cast<char>(c);
      }
    }
    if (!block.empty() && block[0] == '%') block.clear();
    if (!block.empty() || Eof()) return block;
    // A dropped block: a "%" right after its end is passed over.
    if (!Eof() && pending_ == '%') pending_ = -1;
  }
}

// ---- Apertures -------------------------------------------------------------------------

bool TGerberReader::ParseApertureDefinition(const std::string& text, TApertureRecord& record) {
  std::string t = text.size() > 3 ? text.substr(3) : std::string();
  std::size_t digits = 0;
  while (digits < t.size() && std::isdigit(static_cast<unsigned char>(t[digits]))) ++digits;
  double code = 0.0;
  // A D-code of more than nine digits is no aperture any plotter knows.
  if (digits > 9 || !ParseDecimal(t.substr(0, digits), code)) return false;
  t.erase(0, digits);
  if (t.empty()) return false;
  const char shape = t[0];
  record.DCode = static_cast<int32_t>(code);
  record.Shape = shape == 'C' ? 0 : shape == 'R' ? 1 : shape == 'O' ? 2 : 3;
  const std::size_t comma = t.find(',');
  if (comma == std::string::npos) return false;
  t.erase(0, comma + 1);
  std::size_t end = t.find('X');
  if (end == std::string::npos) end = t.find('*');
  const std::string first = t.substr(0, end);
  t = end == std::string::npos ? std::string() : t.substr(end + 1);
  double sx = 0.0;
  if (!ParseDecimal(first, sx)) return false;
  record.SizeX = sx;
  const std::size_t star = t.find('*');
  if (star != std::string::npos) {
    double sy = 0.0;
    if (!ParseDecimal(t.substr(0, star), sy)) return false;
    record.SizeY = sy;
  }
  return true;
}

void TGerberReader::LoadApertures() {
  Apertures.clear();
  if (!OpenInput()) return;
  std::string line;
  for (int c = Get();; c = Get()) {
    if (c != EOF && c != '\n' && c != '\r') {
      // An aperture definition is short: the rest of a long line is passed over.
      if (line.size() < 255) line += static_cast<char>(c);
      continue;
    }
    std::size_t p = 0;
    while (p < line.size() && line[p] == '%') ++p;
    const std::string rest = line.substr(p);
    if (UpperCaseStr(rest.substr(0, 3)) == "ADD") {
      TApertureRecord record;
      if (ParseApertureDefinition(rest, record)) Apertures.push_back(record);
    }
    line.clear();
    if (c == EOF) break;
  }
  CloseInput();
}

void TGerberReader::FindAperture(int32_t dCode) {
  for (const TApertureRecord& r : Apertures)
    if (r.DCode == dCode) {
      Aperture = r;
      return;
    }
  Aperture = TApertureRecord{};
  Aperture.DCode = dCode;
  Aperture.Shape = 3;
}

// ---- Decoding ------------------------------------------------------------------------------

void TGerberReader::Reset() {
  DMode = 2;
  MultiQuadrant = false;
  Stopped = false;
  CurrentDCode = 0;
  Interpolation = 1;
  AbsoluteCentre = false;
}

void TGerberReader::ExecuteBlock(const std::array<char, MaxNcWords>& letters,
                                 const std::array<int32_t, MaxNcWords>& values, int32_t count) {
  TGerberFormatRecord& g = GerberImportDefaults;
  bool ended = false;
  for (int32_t k = 0; k < count && !ended && !Stopped; ++k) {
    const char letter = letters[static_cast<std::size_t>(k)];
    const int32_t v = values[static_cast<std::size_t>(k)];
    if (letter == 'G') {
      if (v >= 1 && v <= 3) {
        Interpolation = v;
      } else if (v == 4 || v == 56 || v == 57) {
        ProcessMessages();
        ended = true;
      } else if (v == 54) {
        for (int32_t m = 0; m < count; ++m)
          if (letters[static_cast<std::size_t>(m)] == 'D') {
            SelectDCode(values[static_cast<std::size_t>(m)]);
            break;
          }
        ended = true;
      } else if (v == 74 || v == 75) {
        MultiQuadrant = v == 75;
        ended = true;
      } else if (v == 90 || v == 91) {
        g.IncrementalMode = v == 91;
        ended = true;
      }
    } else if (letter == 'M') {
      if (v == 2) Stopped = true;
      if (v == 71) g.Metric = true;
      if (v == 72) g.Metric = false;
    }
  }
  if (ended) return;
  auto first = [&](char letter, int32_t& value) {
    for (int32_t m = 0; m < count; ++m)
      if (letters[static_cast<std::size_t>(m)] == letter) {
        value = values[static_cast<std::size_t>(m)];
        return true;
      }
    return false;
  };
  int32_t value = 0;
  if (first('X', value)) X = g.IncrementalMode ? ClampRoundToInt(double(X) + value) : value;
  if (first('Y', value)) Y = g.IncrementalMode ? ClampRoundToInt(double(Y) + value) : value;
  const bool moved = X != PrevX || Y != PrevY;
  bool flash = false;
  if (first('D', value)) {
    if (value == 3) flash = true;
    if (value >= 1 && value <= 3) DMode = value;
    else SelectDCode(value);
  }
  if (flash || moved || Interpolation == 2 || Interpolation == 3) {
    if (DMode == 1 && Interpolation == 1) {
      Line(PrevX, PrevY, X, Y);
    } else if (DMode == 1) {
      int32_t i = 0, j = 0;
      first('I', i);
      first('J', j);
      Arc(Interpolation == 3, MultiQuadrant, PrevX, PrevY, X, Y, i, j);
    } else if (DMode == 3) {
      Flash(CurrentDCode, X, Y);
    }
  }
  PrevX = X;
  PrevY = Y;
}

void TGerberReader::DecodeFile() {
  LoadApertures();
  Reset();
  if (!OpenInput()) return;
  X = Y = 0;
  PrevX = PrevY = 2147483647;
  int32_t blocks = 0;
  std::array<char, MaxNcWords> letters{};
  std::array<int32_t, MaxNcWords> values{};
  while (!Eof() && !Stopped) {
    const std::string block = ReadBlock(true);
    if (++blocks % 501 == 0) ProcessMessages();
    const int32_t count = DecodeNcBlock(block, letters, values);
    ExecuteBlock(letters, values, count);
  }
  CloseInput();
}

void TGerberReader::Run() {
  if (!Opened) return;
  const TGerberFormatRecord& g = GerberImportDefaults;
  SetNcWordFormats(1, g.ZeroUsage != 1, g.IntegerDigits, g.DecimalDigits, false);
  DecodeFile();
}

// ---- Sinks ----------------------------------------------------------------------------------

void TGerberReader::Point(int64_t, int64_t) {}
void TGerberReader::Line(int64_t, int64_t, int64_t, int64_t) {}
void TGerberReader::Circle(int64_t, int64_t, int64_t) {}
void TGerberReader::Arc(bool, bool, int64_t, int64_t, int64_t, int64_t, int64_t, int64_t) {}
bool TGerberReader::FlashHook(int64_t, int64_t, int64_t) { return false; }

void TGerberReader::Flash(int32_t, int64_t x, int64_t y) {
  FindAperture(CurrentDCode);
  if (Aperture.Shape == 3) {
    if (!FlashHook(x, y, 0)) Point(x, y);
    return;
  }
  const int32_t d = std::clamp<int32_t>(GerberImportDefaults.DecimalDigits, 0, 10);
  const double sx = Aperture.SizeX * PowersOfTen[d];
  const double sy = Aperture.SizeY * PowersOfTen[d];
  if (FlashHook(x, y, RoundToInt64(sx))) return;
  if (Aperture.Shape == 0) {
    Circle(x, y, RoundToInt64(sx * 0.5));
  } else if (Aperture.Shape == 1) {
    const double hx = sx / 2, hy = sy / 2;
    auto r = [](double v) { return RoundToInt64(v); };
    Line(r(x - hx), r(y - hy), r(x + hx), r(y - hy));
    Line(r(x + hx), r(y - hy), r(x + hx), r(y + hy));
    Line(r(x + hx), r(y + hy), r(x - hx), r(y + hy));
    Line(r(x - hx), r(y + hy), r(x - hx), r(y - hy));
  } else {
    AbsoluteCentre = true;
    auto r = [](double v) { return RoundToInt64(v); };
    if (sx > sy) {
      const double dd = (sx - sy) / 2, hy = sy / 2;
      Line(r(x - dd), r(y - hy), r(x + dd), r(y - hy));
      Line(r(x - dd), r(y + hy), r(x + dd), r(y + hy));
      Arc(false, false, r(x + dd), r(y + hy), r(x + dd), r(y - hy), r(x + dd), y);
      Arc(true, false, r(x - dd), r(y + hy), r(x - dd), r(y - hy), r(x - dd), y);
    } else {
      const double dd = (sy - sx) / 2, hx = sx / 2;
      Line(r(x - hx), r(y - dd), r(x - hx), r(y + dd));
      Line(r(x + hx), r(y - dd), r(x + hx), r(y + dd));
      Arc(false, false, r(x - hx), r(y + dd), r(x + hx), r(y + dd), x, r(y + dd));
      Arc(true, false, r(x - hx), r(y - dd), r(x + hx), r(y - dd), x, r(y - dd));
    }
    AbsoluteCentre = false;
  }
}

// ---- Detection -------------------------------------------------------------------------------

double DetectGerber(TGerberReader& reader) {
  if (!reader.FindEndOfBlock() || !reader.OpenInput()) return 0.0;
  int32_t blocks = 0, longBlocks = 0;
  double total = 0.0, bad = 0.0;
  bool xSeen = false, ySeen = false, d01 = false, d02 = false, d03 = false, otherD = false;
  std::array<bool, 10> digits{};
  double score = 0.0;
  bool decided = false;
  auto distinct = [&] {
    int n = 0;
    for (bool b : digits) n += b ? 1 : 0;
    return n;
  };
  while (!decided && longBlocks < 4 && blocks < 1000 && !reader.Eof()) {
    std::string block = reader.ReadBlock(false);
    ++blocks;
    if (blocks <= 4 && block.find("G04%PAR") != std::string::npos) {
      reader.CloseInput();
      return 0.91;
    }
    for (const char* g : {"G04", "G28", "G53", "G59"})
      if (block.find(g) != std::string::npos) block = "G04";
    total += static_cast<double>(block.size());
    if (block.size() > 78) ++longBlocks;
    std::string clean;
    for (char c : block)
      if (c != '\r' && c != '\n') clean += c;
    for (char c : clean)
      if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 94) bad += 1.0;
    const bool hasX = clean.find('X') != std::string::npos;
    const bool hasY = clean.find('Y') != std::string::npos;
    xSeen = xSeen || hasX;
    ySeen = ySeen || hasY;
    if (hasX || hasY)
      for (char c : clean)
        if (c >= '0' && c <= '9') digits[static_cast<std::size_t>(c - '0')] = true;
    const std::size_t d = clean.find('D');
    if (d != std::string::npos) {
      int32_t n = 0;
      std::size_t k = d + 1;
      bool any = false;
      while (k < clean.size() && std::isdigit(static_cast<unsigned char>(clean[k])) && n < 100000) {
        n = n * 10 + (clean[k] - '0');
        ++k;
        any = true;
      }
      if (any) {
        if (n == 1) d01 = true;
        else if (n == 2) d02 = true;
        else if (n == 3) d03 = true;
        else otherD = true;
      }
    }
    const double b = std::min(2.0 * bad, total);
    if (xSeen && ySeen && d03 && distinct() > 5) {
      score = bad == 0.0 ? 0.9 : 0.9 * (total - b) / total;
      decided = true;
    } else if (blocks > 100) {
      const double ratio = total > 0.0 ? (total - b) / total : 0.0;
      double w = 0.0;
      if (xSeen && ySeen) {
        w = 0.4;
        if (distinct() >= 5) w += 1.0 / 6;
        if (d01 || d02 || d03) w += 1.0 / 6;
        if (otherD) w += 1.0 / 6;
      }
      score = w * ratio;
      decided = true;
    }
  }
  reader.CloseInput();
  if (longBlocks >= 4) return 0.0;
  return decided ? score : 0.0;
}
