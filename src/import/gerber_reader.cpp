#include "import/gerber_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_map>

#include "foundation/file_utils.h"
#include "foundation/import_guard.h"
#include "foundation/geometry_matrix.h"
#include "foundation/nc_format.h"
#include "foundation/settings_families.h"
#include "foundation/tape_feed.h"
#include "foundation/utilities.h"
#include "import/cad_sink.h"
#include "import/counted_names.h"
#include "import/import_frame.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "tapein/tape_input_filter.h"

namespace {

bool ParseDecimal(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

// Rounded, and held within a quarter of the 64-bit range (no position of a
// job comes near), so that a sum of two never overflows; 0 for NaN.
int64_t RoundToInt64(double v) {
  constexpr double kLimit = 2305843009213693952.0;  // 2^61
  if (!(std::fabs(v) < kLimit)) return std::isnan(v) ? 0 : v < 0 ? -int64_t{1} << 61 : int64_t{1} << 61;
  return static_cast<int64_t>(std::llround(v));
}

constexpr const char* kBeyondJob =
    "the position lies beyond the largest coordinate a job holds (84.5466 in or 2147.48 mm); "
    "check the format and the units";

// Flashes of aperture blocks draw at most this many objects in one file:
// far more than any job holds, and few enough to be refused at once.
constexpr double kMaxBlockObjects = 4000000;

double DecimalScale() {
  return PowersOfTen[std::clamp<int32_t>(GerberImportDefaults.DecimalDigits, 0, 10)];
}

// The parameter commands of a % group: its text split at "*", blanks and
// line breaks dropped.
std::vector<std::string> Commands(std::string_view group) {
  std::vector<std::string> out;
  std::string command;
  for (char c : group) {
    if (c == '*') {
      if (!command.empty()) out.push_back(command);
      command.clear();
    } else if (static_cast<unsigned char>(c) > 32) {
      command += c;
    }
  }
  if (!command.empty()) out.push_back(command);
  return out;
}

// What the aperture pass looks for in a data block (its first characters,
// as written): a comment anywhere in it; the units it changes to (G70 or
// M72 inches 0, G71 or M71 millimetres 1, inches when both; -1 none);
// whether it holds a coordinate.
struct TBlockUnits {
  bool Comment = false;
  int32_t Units = -1;
  bool Positioned = false;
};

TBlockUnits BlockUnits(std::string_view block) {
  TBlockUnits b;
  bool inches = false, millimetres = false;
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (std::size_t k = 0; k < block.size(); ++k) {
    const char c = upper(block[k]);
    if (c == 'X' || c == 'Y') b.Positioned = true;
    if ((c != 'G' && c != 'M') || k + 2 >= block.size()) continue;
    const char a = block[k + 1], d = block[k + 2];
    if (c == 'G' && a == '0' && d == '4') b.Comment = true;
    if (a == '7' && d == '1') millimetres = true;
    if (a == '7' && (c == 'G' ? d == '0' : d == '2')) inches = true;
  }
  // "G4" and a blank begin a comment too.
  if (block.size() > 2 && upper(block[0]) == 'G' && block[1] == '4' && static_cast<unsigned char>(block[2]) <= 32)
    b.Comment = true;
  b.Units = inches ? 0 : millimetres ? 1 : -1;
  return b;
}

// The end of the block from p: the first "*" or end-of-block character, or
// end. (The other character is looked for only up to the first, so that a
// file without it is not searched to its end at every block.)
const char* BlockEnd(const char* p, const char* end, char eob) {
  const char* stop = eob != '*' ? static_cast<const char*>(std::memchr(p, eob, static_cast<std::size_t>(end - p))) : nullptr;
  const char* const limit = stop != nullptr ? stop : end;
  const char* const star = static_cast<const char*>(std::memchr(p, '*', static_cast<std::size_t>(limit - p)));
  return star != nullptr ? star : limit;
}

// The length of the G04 (or G4) that begins a block whose first blank is at
// blank; 0 when the block is no comment.
std::size_t CommentCode(const char* start, const char* blank) {
  const std::size_t n = static_cast<std::size_t>(blank - start);
  if (n < 2 || (start[0] != 'G' && start[0] != 'g')) return 0;
  if (n == 2 && start[1] == '4') return 2;
  if (n == 3 && start[1] == '0' && start[2] == '4') return 3;
  return 0;
}

constexpr uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;

// The line feeds from p up to end: a short stretch (a comment, a block)
// line by line, a long one eight bytes at a time.
int32_t CountLineFeeds(const char* p, const char* end) {
  constexpr uint64_t kFeeds = kOnes * '\n';
  int32_t n = 0;
  if (end - p < 256) {
    while (const void* feed = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
      ++n;
      p = static_cast<const char*>(feed) + 1;
    }
    return n;
  }
  for (; end - p >= 8; p += 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    // A byte of x is 0 where the text has a line feed; zeros has the high
    // bit of exactly those bytes (the sum stays within each byte), and the
    // product adds the bytes of zeros >> 7 up in its top byte.
    const uint64_t x = word ^ kFeeds;
    const uint64_t zeros = ~(((x & ~kHigh) + ~kHigh) | x) & kHigh;
    n += static_cast<int32_t>(((zeros >> 7) * kOnes) >> 56);
  }
  for (; p < end; ++p) n += *p == '\n';
  return n;
}

// The first blank, "*" or end-of-block character from p on (the end of a
// block's first word); end when none. Eight bytes at a time: in each mask
// the lowest byte marked is a byte sought (a borrow only marks bytes above
// one that is), and on a little-endian machine the lowest byte comes first.
const char* WordEnd(const char* p, const char* end, char eob) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  const uint64_t stars = kOnes * '*', ends = kOnes * static_cast<unsigned char>(eob);
  const auto zeroBytes = [](uint64_t x) { return (x - kOnes) & ~x & kHigh; };
  for (; end - p >= 8; p += 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    const uint64_t found = ((word - kOnes * 33) & ~word & kHigh) | zeroBytes(word ^ stars) | zeroBytes(word ^ ends);
    if (found != 0) return p + __builtin_ctzll(found) / 8;
  }
#endif
  while (p < end && static_cast<unsigned char>(*p) > 32 && *p != '*' && *p != eob) ++p;
  return p;
}

}  // namespace

TGerberReader::TGerberReader(const std::string& fileName, bool toCad) : FileName(fileName) {
  // The text is held whole while it is read: a file beyond what that may
  // take is refused before any of it is read.
  if (FileSizeOf(FileName) > ImportWholeFileLimit()) {
    MessageBeep(0);
    ErrorBox(ImportFileTooLargeText(FileName) + "\r\nNothing was imported.");
    return;
  }
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
  if (!ExecuteGerberImportDialog(fileName, toCad, CodeName)) return;
  Window = ImportHost().OpenReport(ImportCaption("Gerber-to-Drill ", "6.00", fileName), 50, 15);
  Opened = true;
}

TGerberReader::TGerberReader(const std::string& fileName, TQuiet) : FileName(fileName), quiet_(true) {}

TGerberReader::~TGerberReader() = default;

// ---- Input -------------------------------------------------------------------------------

bool TGerberReader::OpenInput() {
  pos_ = 0;
  line_ = 1;
  if (loaded_) return true;
  if (!FileExistsNoWild(FileName)) return false;
  if (Coded) {
    // A tape in a coded character set: its blocks through the tape filter,
    // each closed by "*".
    TTapeFilter filter;
    if (!filter.Init(FileName)) return false;
    std::string block;
    text_.clear();
    while (filter.ReadBlock(block, 255) && (!quiet_ || text_.size() < (1u << 20))) {
      text_ += block;
      text_ += '*';
      text_ += '\n';
    }
    filter.Close();
    loaded_ = true;
    return true;
  }
  std::ifstream in(NativePath(FileName), std::ios::binary);
  if (!in) return false;
  // Whether the text may name a file to include ("%IF"): looked for in
  // each piece read while it is fresh, so that a big file is not gone
  // through once more for it.
  bool includes = true;
  if (quiet_) {
    // The detector looks at the start of the file only.
    text_.resize(1 << 20);
    in.read(text_.data(), static_cast<std::streamsize>(text_.size()));
    text_.resize(static_cast<std::size_t>(in.gcount()));
  } else {
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size >= 0) {
      // Read in pieces of 1 MB into room made for the whole (the text is
      // not filled with zeros first only to be overwritten), each looked
      // through for an include ("%IF") while it is fresh, so that a big
      // file is not gone through once more for it.
      text_.clear();
      text_.reserve(static_cast<std::size_t>(size));
      includes = false;
      std::vector<char> piece(std::size_t{1} << 20);
      while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
        const std::size_t from = text_.size() < 2 ? 0 : text_.size() - 2;  // "%IF" across two pieces
        text_.append(piece.data(), static_cast<std::size_t>(in.gcount()));
        if (!includes) includes = std::string_view(text_).substr(from).find("%IF") != std::string_view::npos;
      }
    } else {
      // No size to ask for (a pipe): read to the end.
      in.clear();
      text_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  // A text editor's byte-order mark is no part of the first parameter.
  if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) text_.erase(0, 3);
  loaded_ = true;
  missingIncludes_.clear();
  if (!quiet_ && includes) ExpandIncludes();
  // A photoplotter's tape reader passes over the tape feed wherever it
  // stands (a punch's blank leader and trailer, rubouts, the marks of a
  // serial link): it is no character of a block or a parameter. More zero
  // bytes in a row than a line holds are no blank tape: they stay, for the
  // block check to refuse the file.
  std::size_t zeros = 0, most = 0;
  for (const char c : text_) {
    zeros = c == '\0' ? zeros + 1 : 0;
    most = std::max(most, zeros);
  }
  if (most <= kMaxTextLine) DropTapeFeed(text_);
  return true;
}

void TGerberReader::ExpandIncludes() {
  missingIncludes_.clear();
  const std::filesystem::path folder = std::filesystem::path(NativePath(FileName)).parent_path();
  // The text is put together anew as it is gone through, so that each
  // parameter dropped (its file cannot be read) costs no copy of the rest.
  std::string out;
  std::size_t from = 0;
  // At most 100 files are taken in, so that a file including itself ends.
  for (int32_t taken = 0; taken < 100;) {
    const std::size_t at = text_.find("%IF", from);
    if (at == std::string::npos) break;
    const std::size_t close = text_.find('%', at + 1);
    if (close == std::string::npos) break;
    std::string name;
    for (std::size_t k = at + 3; k < close; ++k)
      if (text_[k] != '*' && text_[k] != '\r' && text_[k] != '\n') name += text_[k];
    while (!name.empty() && name.back() == ' ') name.pop_back();
    std::filesystem::path path(name);
    if (path.is_relative()) path = folder / path;
    // Only a file of its size is read: a device or a pipe named here
    // (/dev/zero) would never end.
    std::error_code error;
    const bool regular = std::filesystem::is_regular_file(path, error);
    const std::uintmax_t size = regular ? std::filesystem::file_size(path, error) : 0;
    const std::uintmax_t held = out.size() + (text_.size() - from);
    const bool fits = regular && !error && size <= (std::uintmax_t{1} << 30) - std::min<std::uintmax_t>(held, std::uintmax_t{1} << 30);
    std::ifstream in;
    if (fits) in.open(path, std::ios::binary);
    std::string included;
    if (fits && in) {
      included.resize(static_cast<std::size_t>(size));
      in.read(included.data(), static_cast<std::streamsize>(size));
      included.resize(static_cast<std::size_t>(in.gcount()));
    }
    out.append(text_, from, at - from);
    if (!fits || !in) {
      missingIncludes_.push_back(CountedName(name));
      from = close + 1;
      continue;
    }
    ++taken;
    // The included text stands where the parameter stood, and is read next.
    included.append(text_, close + 1, std::string::npos);
    text_.swap(included);
    from = 0;
  }
  if (out.empty() && from == 0) return;
  out.append(text_, from, std::string::npos);
  text_.swap(out);
}

void TGerberReader::CloseInput() { pos_ = 0; }

bool TGerberReader::HasOverlongBlock() {
  if (!OpenInput()) return false;
  std::array<bool, 256> ends{};
  for (char c : {EndOfBlock, '*', '%', '\n', '\r'}) ends[static_cast<unsigned char>(c)] = true;
  // From each block's start, the last end character within the longest
  // block allowed; the scan goes on after it, and fails where there is none.
  const std::size_t size = text_.size();
  std::size_t start = 0;
  bool found = false;
  while (size - start > kMaxTextLine) {
    std::size_t k = start + kMaxTextLine;
    while (k >= start && !ends[static_cast<unsigned char>(text_[k])]) {
      if (k == start) {
        found = true;
        break;
      }
      --k;
    }
    if (found) break;
    start = k + 1;
  }
  CloseInput();
  return found;
}

bool TGerberReader::FindEndOfBlock() {
  if (!FileExistsNoWild(FileName)) return false;
  {
    TTapeFilter filter;
    const bool opened = filter.Init(FileName);
    const bool coded = opened && filter.Code() >= 2;
    CodeName = opened ? filter.CodeName() : "ASCII";
    const bool notText = filter.Plausible();
    filter.Close();
    if (coded != Coded) {
      Coded = coded;
      loaded_ = false;
    }
    if (Coded) {
      EndOfBlock = '*';
      return opened && !notText;
    }
  }
  if (!OpenInput()) return false;
  std::array<int32_t, 128> counts{};
  int32_t total = 0;
  for (std::size_t k = 0; k < text_.size() && total < 1024; ++k) {
    const int c = static_cast<unsigned char>(text_[k]) & 127;
    if (c <= 9 || c == 11 || c == 12 || (c >= 14 && c <= 32)) continue;
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

bool TGerberReader::NextUnit(std::string_view& unit, bool& group, bool blocks, bool raw) {
  const char* const base = text_.data();
  const char* const end = base + text_.size();
  const char* p = base + pos_;
  const char eob = EndOfBlock;
  while (true) {
    while (p < end && static_cast<unsigned char>(*p) <= 32) {
      if (*p == '\n') ++line_;
      ++p;
    }
    if (p >= end) {
      pos_ = text_.size();
      unit = {};
      return false;
    }
    if ((blocks && !raw) || *p == '%') break;
    if (blocks) {
      // A data block answered as it stands.
      const char* const stop = BlockEnd(p, end, eob);
      unitLine_ = line_;
      line_ += CountLineFeeds(p, stop);
      if (stop < end && *stop == '\n') ++line_;
      group = false;
      comment_ = {};
      unit = std::string_view(p, static_cast<std::size_t>(stop - p));
      pos_ = static_cast<std::size_t>((stop < end ? stop + 1 : end) - base);
      return true;
    }
    // Data blocks passed over, up to the next "%" that begins a unit: one
    // with only blanks between it and the end of a block (any other is a
    // comment's text). Only their lines are counted.
    const char* const from = p;
    const char* mark = p;
    while (true) {
      mark = static_cast<const char*>(std::memchr(mark, '%', static_cast<std::size_t>(end - mark)));
      if (mark == nullptr) {
        mark = end;
        break;
      }
      const char* q = mark;
      while (q > from && static_cast<unsigned char>(q[-1]) <= 32 && q[-1] != eob) --q;
      if (q == from || q[-1] == '*' || q[-1] == eob) break;
      ++mark;
    }
    if (mark < end) line_ += CountLineFeeds(from, mark);
    p = mark;
  }
  unitLine_ = line_;
  group = *p == '%';
  if (group) {
    const char* close = static_cast<const char*>(std::memchr(p + 1, '%', static_cast<std::size_t>(end - p - 1)));
    if (close == nullptr) close = end;
    unit = std::string_view(p + 1, static_cast<std::size_t>(close - p - 1));
    line_ += CountLineFeeds(unit.data(), unit.data() + unit.size());
    pos_ = static_cast<std::size_t>((close < end ? close + 1 : end) - base);
    return true;
  }
  // A data block; a "%" inside it (a comment's text) is no parameter group.
  comment_ = {};
  const char* const start = p;
  p = WordEnd(p, end, eob);
  if (p >= end || *p == '*' || *p == eob) {
    // No blank in it: the block is read where it stands.
    unit = std::string_view(start, static_cast<std::size_t>(p - start));
  } else if (const std::size_t g = CommentCode(start, p); g != 0) {
    // A comment: its text is never decoded, only its lines are counted and
    // the text is kept to be shown. (Its blanks are not dropped first:
    // "G04 1 mm" is no G code 41.)
    const char* const stop = BlockEnd(p, end, eob);
    line_ += CountLineFeeds(p, stop);
    p = stop;
    unit = std::string_view(start, g);
    comment_ = std::string_view(start, static_cast<std::size_t>(p - start));
  } else {
    // Blanks and line breaks inside the block are dropped.
    unitBuffer_.assign(start, static_cast<std::size_t>(p - start));
    while (p < end && *p != '*' && *p != eob) {
      const char* run = p;
      while (p < end && static_cast<unsigned char>(*p) > 32 && *p != '*' && *p != eob) ++p;
      unitBuffer_.append(run, static_cast<std::size_t>(p - run));
      while (p < end && static_cast<unsigned char>(*p) <= 32 && *p != eob) {
        if (*p == '\n') ++line_;
        ++p;
      }
    }
    unit = unitBuffer_;
  }
  if (p < end && *p == '\n') ++line_;  // a line feed ending the block
  pos_ = static_cast<std::size_t>(p - base) + (p < end ? 1 : 0);
  return true;
}

void TGerberReader::ParseFormatParameters() {
  if (!OpenInput()) return;
  TGerberFormatRecord& g = GerberImportDefaults;
  std::string_view unit;
  bool group = false;
  while (NextUnit(unit, group)) {
    if (!group) {
      // The parameters are over at the first coordinate.
      if (unit.compare(0, 3, "G04") != 0 && unit.find_first_of("XY") != std::string::npos) break;
      continue;
    }
    for (const std::string& raw : Commands(unit)) {
      const std::string c = UpperCaseStr(raw);
      if (c.compare(0, 2, "FS") == 0) {
        if (c.size() > 2 && c[2] == 'L') g.ZeroUsage = 1;
        if (c.size() > 2 && c[2] == 'T') g.ZeroUsage = 0;
        if (c.size() > 3 && c[3] == 'A') g.IncrementalMode = false;
        if (c.size() > 3 && c[3] == 'I') g.IncrementalMode = true;
        const std::size_t x = c.find('X');
        if (x != std::string::npos) {
          if (x + 1 < c.size() && std::isdigit(static_cast<unsigned char>(c[x + 1])))
            g.IntegerDigits = c[x + 1] - '0';
          if (x + 2 < c.size() && std::isdigit(static_cast<unsigned char>(c[x + 2])))
            g.DecimalDigits = c[x + 2] - '0';
          // A Y format other than the X format is kept for the Y words.
          yIntegerDigits_ = yDecimalDigits_ = -1;
          const std::size_t y = c.find('Y', x);
          if (y != std::string::npos && y + 2 < c.size() && std::isdigit(static_cast<unsigned char>(c[y + 1])) &&
              std::isdigit(static_cast<unsigned char>(c[y + 2])) &&
              (c[y + 1] - '0' != g.IntegerDigits || c[y + 2] - '0' != g.DecimalDigits)) {
            yIntegerDigits_ = c[y + 1] - '0';
            yDecimalDigits_ = c[y + 2] - '0';
          }
        }
      } else if (c.compare(0, 2, "MO") == 0 && c.size() > 2) {
        if (c[2] == 'M') g.Metric = true;
        if (c[2] == 'I') g.Metric = false;
      }
    }
  }
  CloseInput();
}

std::string TGerberReader::ReadBlock(bool strip) {
  while (true) {
    std::string block;
    bool ended = false;
    while (!ended && block.size() < 255 && pos_ < text_.size()) {
      int c = static_cast<unsigned char>(text_[pos_++]);
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
    if (pos_ < text_.size() && text_[pos_] == '%') ++pos_;
  }
}

// ---- Apertures -------------------------------------------------------------------------

bool TGerberReader::ParseApertureDefinition(const std::string& text, TApertureRecord& record) {
  std::string t = text.size() > 3 ? text.substr(3) : std::string();
  std::size_t digits = 0;
  while (digits < t.size() && std::isdigit(static_cast<unsigned char>(t[digits]))) ++digits;
  if (digits == 0 || digits > 9) return false;
  record.DCode = std::atoi(t.substr(0, digits).c_str());
  t.erase(0, digits);
  std::size_t nameEnd = t.find_first_of(",*%");
  if (nameEnd == std::string::npos) nameEnd = t.size();
  const std::string name = t.substr(0, nameEnd);
  if (name.empty()) return false;
  record.Shape = name == "C"   ? apCircle
                 : name == "R" ? apRectangle
                 : name == "O" ? apObround
                 : name == "P" ? apPolygon
                 : name.size() == 1 ? apUndefined
                                    : apMacro;
  record.MacroName = record.Shape == apMacro || record.Shape == apUndefined ? name : std::string();
  t.erase(0, nameEnd);
  record.Parameters.clear();
  if (!t.empty() && t[0] == ',') {
    t.erase(0, 1);
    const std::size_t star = t.find_first_of("*%");
    std::string list = t.substr(0, star);
    std::size_t start = 0;
    while (start <= list.size()) {
      const std::size_t x = list.find_first_of("Xx", start);
      double v = 0.0;
      // A stray "X" after the last parameter ("C,0.1X") closes nothing.
      if (x == std::string::npos && start == list.size() && !record.Parameters.empty()) break;
      if (!ParseDecimal(list.substr(start, x == std::string::npos ? std::string::npos : x - start), v))
        return false;
      record.Parameters.push_back(v);
      if (x == std::string::npos) break;
      start = x + 1;
    }
  } else if (record.Shape != apMacro) {
    return false;
  }
  const std::vector<double>& v = record.Parameters;
  record.SizeX = v.empty() ? 0.0 : v[0];
  record.SizeY = v.size() > 1 ? v[1] : record.SizeX;
  if (record.Shape == apPolygon) {
    record.Vertices = v.size() > 1 && std::fabs(v[1]) <= 1e6 ? static_cast<int32_t>(v[1]) : 0;
    record.Rotation = v.size() > 2 ? v[2] : 0.0;
    record.SizeY = record.SizeX;
    if (record.Vertices < 3 || record.Vertices > 12) return false;
  }
  return true;
}

void TGerberReader::Fail(const std::string& what) {
  if (Failed) return;
  Failed = true;
  ErrorText = FileName + ", line " + std::to_string(line_) + ": " + what;
  if (Window) Window->WriteLn(ErrorText);
}

void TGerberReader::LoadApertures() {
  Apertures.clear();
  ApertureIndex.clear();
  macros_.clear();
  if (!OpenInput()) return;
  std::vector<TApertureRecord> pending;
  std::vector<int32_t> pendingLines;
  std::string_view unit;
  bool group = false;
  // Each aperture keeps the units in force where it is defined (-1: none
  // stated yet). The units the header ends with are the dialog's answer.
  int32_t units = -1, headerUnits = -1;
  bool drawn = false;
  std::vector<int32_t> pendingUnits;
  // Blocks are read, as written, for the unit changes they make and for where the
  // drawing begins. Once it has begun, the blocks matter only to apertures
  // defined after them: they are passed over, and read from where the
  // reading left off (unreadPos, unreadLine) when a group defines one. A
  // group that states the units makes the blocks before it no matter.
  std::size_t unreadPos = 0;
  int32_t unreadLine = 1;
  const auto readBlock = [&](std::string_view block) {
    const TBlockUnits b = BlockUnits(block.substr(0, 40));
    if (b.Comment) return;
    if (b.Units >= 0) units = b.Units;
    if (!drawn && b.Positioned) {
      drawn = true;
      headerUnits = units;
      unreadPos = pos_;
      unreadLine = line_;
    }
  };
  while (!Failed) {
    if (!NextUnit(unit, group, !drawn, true)) break;
    const int32_t line = unitLine_;
    if (!group) {
      readBlock(unit);
      continue;
    }
    line_ = line;
    std::string clean;
    for (char c : unit)
      if (static_cast<unsigned char>(c) > 32) clean += c;
    if (drawn && clean.find("ADD") != std::string::npos && unreadPos < pos_) {
      // The blocks passed over up to this group, for its units.
      const std::size_t after = pos_;
      const int32_t afterLine = unitLine_ + static_cast<int32_t>(std::count(unit.begin(), unit.end(), '\n'));
      const char* const here = unit.data();
      pos_ = unreadPos;
      line_ = unreadLine;
      std::string_view passed;
      bool passedGroup = false;
      while (pos_ < after && NextUnit(passed, passedGroup, true, true)) {
        if (!passedGroup) readBlock(passed);
        else if (passed.data() == here) break;
      }
      pos_ = after;
      unitLine_ = line_ = line;
      unreadPos = after;
      unreadLine = afterLine;
    }
    if (clean.compare(0, 2, "AM") == 0) {
      TMacro macro;
      if (!ParseMacro(clean, macro)) Fail("a macro without a name");
      else macros_.push_back(macro);
    } else {
      for (const std::string& c : Commands(clean)) {
        if (c.compare(0, 4, "MOMM") == 0 || c.compare(0, 4, "MOIN") == 0) {
          units = c[2] == 'M' ? 1 : 0;
          if (drawn) {
            unreadPos = pos_;
            unreadLine = line + static_cast<int32_t>(std::count(unit.begin(), unit.end(), '\n'));
          }
        }
        if (c.compare(0, 3, "ADD") != 0) continue;
        TApertureRecord record;
        if (!ParseApertureDefinition(c, record)) {
          // Flashes of the code then draw as undefined apertures.
          if (Window) Window->WriteLn("Line " + std::to_string(line) + ": \"" + c.substr(0, 30) + "\" ignored");
          continue;
        }
        pending.push_back(record);
        pendingLines.push_back(line);
        pendingUnits.push_back(units);
      }
    }
    line_ = line + static_cast<int32_t>(std::count(unit.begin(), unit.end(), '\n'));
  }
  if (!drawn) headerUnits = units;
  for (std::size_t k = 0; k < pending.size(); ++k)
    pending[k].Metric = pendingUnits[k] < 0 || pendingUnits[k] == headerUnits
                            ? GerberImportDefaults.Metric
                            : pendingUnits[k] == 1;
  // Macro apertures are flattened once, with their own parameters, all of
  // them within one allowance of points. The steps are counted first: the
  // apertures past the allowance would draw more than any job holds, and
  // the file is refused before a point is made.
  // A name defined twice means its first macro. Looked up by name, so that
  // a file of many macros costs no more per aperture than one of a few.
  std::unordered_map<std::string_view, std::size_t> macroIndex;
  macroIndex.reserve(macros_.size());
  for (std::size_t k = 0; k < macros_.size(); ++k) macroIndex.emplace(macros_[k].Name, k);
  const auto macroOf = [this, &macroIndex](const TApertureRecord& r) {
    if (r.Shape != apMacro && !(r.Shape == apUndefined && !r.MacroName.empty())) return macros_.end();
    const auto found = macroIndex.find(r.MacroName);
    return found == macroIndex.end() ? macros_.end() : macros_.begin() + static_cast<std::ptrdiff_t>(found->second);
  };
  int64_t macroSteps = kMaxMacroSteps;
  for (std::size_t k = 0; k < pending.size() && !Failed; ++k) {
    const auto m = macroOf(pending[k]);
    std::string error;
    if (m != macros_.end() && !CountMacroSteps(*m, pending[k].Parameters, error, &macroSteps) &&
        macroSteps == 0) {
      line_ = pendingLines[k];
      Fail(error + "; no job holds them");
      break;
    }
  }
  macroSteps = kMaxMacroSteps;
  for (std::size_t k = 0; k < pending.size() && !Failed; ++k) {
    TApertureRecord& r = pending[k];
    if (r.Shape == apMacro || (r.Shape == apUndefined && !r.MacroName.empty())) {
      const auto m = macroOf(r);
      line_ = pendingLines[k];
      // An aperture that cannot be drawn costs its own flashes, never the
      // file: they are named after the import.
      if (m == macros_.end()) {
        if (r.Shape == apMacro) r.Unreadable = "the undefined macro " + TextStart(r.MacroName, 40);
        continue;
      }
      std::string error;
      r.Shape = apMacro;
      if (!FlattenMacro(*m, r.Parameters, r.Shapes, error, &macroSteps)) {
        r.Unreadable = error;
        r.Shapes.clear();
        continue;
      }
      double extent = 0.0;
      for (const TMacroShape& s : r.Shapes) {
        if (s.IsCircle) extent = std::max(extent, std::hypot(s.Cx, s.Cy) + s.R);
        for (const TRealPoint& q : s.Points) extent = std::max(extent, std::hypot(q.X, q.Y));
      }
      r.SizeX = r.SizeY = 2 * extent;
    }
  }
  Apertures = std::move(pending);
  // The last definition of a D code counts.
  for (std::size_t k = 0; k < Apertures.size(); ++k) ApertureIndex[Apertures[k].DCode] = k;
  CloseInput();
}

void TGerberReader::FindAperture(int32_t dCode) {
  const auto at = ApertureIndex.find(dCode);
  Aperture = at == ApertureIndex.end() ? nullptr : &Apertures[at->second];
}

void TGerberReader::SelectDCode(int32_t n) {
  const bool changed = n != CurrentDCode;
  CurrentDCode = n;
  if (!changed) return;
  FindAperture(n);
  if (Window) {
    if (Window->WhereX() > 30) Window->WriteLn();
    Window->Write("D" + std::to_string(n) + " ");
  }
  ProcessMessages();
}

// ---- Decoding ------------------------------------------------------------------------------

void TGerberReader::Reset() {
  DMode = 2;
  MultiQuadrant = false;
  Stopped = false;
  CurrentDCode = 0;
  Aperture = nullptr;
  Interpolation = 1;
  AbsoluteCentre = false;
  InRegion = false;
  Layer = 0;
  repeatX_ = repeatY_ = 1;
  stepX_ = stepY_ = 0;
  recorded_.clear();
  swapAxes_ = mirrorA_ = mirrorB_ = false;
  scaleA_ = scaleB_ = 1;
  offsetA_ = offsetB_ = layerRotation_ = imageRotation_ = imageOffsetA_ = imageOffsetB_ = 0;
  ComputeImage();
  Skipped.clear();
  Undefined.clear();
  blocks_.clear();
  openBlocks_.clear();
  blockDepth_ = 0;
  blockObjects_.clear();
  blockObjectsDrawn_ = 0;
  objectMirrorX_ = objectMirrorY_ = false;
  objectRotation_ = 0;
  objectScale_ = 1;
}

bool TGerberReader::Coordinate(std::string_view digits, int64_t& value, bool yAxis) const {
  if (digits.empty()) return false;
  std::size_t k = 0;
  bool negative = false;
  if (digits[0] == '+' || digits[0] == '-') {
    negative = digits[0] == '-';
    k = 1;
  }
  // The digits of an integer coordinate; anything else is read as a
  // number with a decimal point when it holds one.
  const std::size_t n = digits.size();
  uint64_t u = 0;
  std::size_t q = k;
  for (; q < n; ++q) {
    const unsigned d = static_cast<unsigned char>(digits[q]) - unsigned{'0'};
    if (d > 9) break;
    u = u * 10 + d;
  }
  if (q < n || q == k || n - k > 18) {
    if (digits.find('.') == std::string_view::npos) return false;
    double v = 0.0;
    if (!ParseDecimal(std::string(digits), v)) return false;
    value = RoundToInt64(v * DecimalScale());
    return true;
  }
  int64_t v = static_cast<int64_t>(u);
  const TGerberFormatRecord& g = GerberImportDefaults;
  const bool ownY = yAxis && yDecimalDigits_ >= 0;
  if (g.ZeroUsage != 1) {
    // Trailing zeros left out: the digits fill the format from the left.
    const int32_t width = ownY ? yIntegerDigits_ + yDecimalDigits_ : g.IntegerDigits + g.DecimalDigits;
    for (int32_t n = static_cast<int32_t>(digits.size() - k); n < width; ++n) v *= 10;
  }
  value = negative ? -v : v;
  // Y words of their own format are brought to the decimals of X.
  if (ownY && yDecimalDigits_ != std::clamp<int32_t>(g.DecimalDigits, 0, 10))
    value = RoundToInt64(static_cast<double>(value) * DecimalScale() / PowersOfTen[yDecimalDigits_]);
  return true;
}

namespace {

// The integer value of a word's digits (sign allowed); 0 when none.
int32_t WordInteger(std::string_view digits) {
  int64_t v = 0;
  bool negative = false;
  std::size_t k = 0;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    negative = digits[0] == '-';
    k = 1;
  }
  for (; k < digits.size() && digits[k] >= '0' && digits[k] <= '9' && v < 1000000000; ++k)
    v = v * 10 + (digits[k] - '0');
  return static_cast<int32_t>(negative ? -v : v);
}

}  // namespace

void TGerberReader::ShowBlock(std::string_view block) {
  if (Window) {
    // Its line breaks are shown as blanks. (The text's room is kept for
    // the next.)
    shown_.assign(block.data(), block.size());
    if (shown_.find('\n') != std::string::npos)
      for (char& c : shown_)
        if (c == '\r' || c == '\n') c = ' ';
    Window->WriteLn();
    Window->WriteLn(shown_);
  }
  // A file may hold a comment for every few blocks: the loop's pass.
  ProcessMessagesInLoop();
}

void TGerberReader::ExecuteBlock(std::string_view text) {
  // A comment written with blanks is shown whole and ends the block.
  if (!comment_.empty()) {
    ShowBlock(comment_);
    return;
  }
  if (ExecuteCommonBlock(text)) return;
  const std::string_view block(text);
  // Left unset: only the words read are used.
  std::array<TWord, kMaxBlockWords> words;
  std::size_t count = 0;
  bool whole = true;
  for (std::size_t k = 0; k < block.size();) {
    char letter = block[k++];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') continue;
    if (count == words.size()) {
      whole = false;
      break;
    }
    const std::size_t start = k;
    while (k < block.size() && ((block[k] >= '0' && block[k] <= '9') || block[k] == '.' || block[k] == '-' ||
                                block[k] == '+'))
      ++k;
    words[count++] = {letter, static_cast<uint32_t>(k - start), block.data() + start};
    if (letter == 'G' && words[count - 1].Digits().size() <= 2 && WordInteger(words[count - 1].Digits()) == 4)
      break;  // a comment: the rest is text
  }
  if (!whole)
    ++Skipped["blocks read only to their " + std::to_string(kMaxBlockWords) + "th word"];
  // A block that holds several operations (a writer left out the "*"
  // between them, as in "D10" + line break + "X0Y0D03") is carried out
  // operation by operation: each D01, D02 or D03 closes the words it
  // follows, an aperture select among them is made first.
  const auto operates = [](const TWord& w) {
    if (w.Letter != 'D') return false;
    const int32_t d = WordInteger(w.Digits());
    return d >= 1 && d <= 3;
  };
  std::size_t begin = 0;
  do {
    std::size_t end = begin;
    bool positioned = false, closed = false;
    while (end < count && !closed) {
      const TWord& w = words[end++];
      closed = operates(w);
      positioned = positioned || w.Letter == 'X' || w.Letter == 'Y' || w.Letter == 'I' || w.Letter == 'J';
    }
    if (closed && !positioned && end < count) {
      // An operation written ahead of its coordinates ("D03X0Y0") takes
      // them when no other operation follows.
      bool another = false;
      for (std::size_t m = end; m < count && !another; ++m) another = operates(words[m]);
      if (!another) end = count;
    }
    if (ExecuteWords(words.data() + begin, end - begin, text)) return;
    begin = end;
  } while (begin < count && !Failed && !Stopped);
}

bool TGerberReader::ExecuteWords(const TWord* words, std::size_t count, std::string_view text) {
  TGerberFormatRecord& g = GerberImportDefaults;
  for (std::size_t k = 0; k < count && !Stopped; ++k) {
    if (words[k].Letter != 'G' && words[k].Letter != 'M') continue;
    const int32_t v = WordInteger(words[k].Digits());
    if (words[k].Letter == 'G') {
      if (v >= 1 && v <= 3) {
        Interpolation = v;
      } else if (v == 4 || v == 56 || v == 57) {
        ShowBlock(text);
        return true;
      } else if (v == 36 || v == 37) {
        InRegion = v == 36;
      } else if (v == 54) {
        // The aperture is selected; what the block holds besides is read on
        // (a "G54D10" whose "*" was left out goes on with the next block).
        for (std::size_t m = 0; m < count; ++m)
          if (words[m].Letter == 'D') {
            SelectDCode(WordInteger(words[m].Digits()));
            break;
          }
      } else if (v == 70 || v == 71) {
        ChangeUnits(v == 71);
      } else if (v == 74 || v == 75) {
        // Real files put the quadrant mode in front of the arc it governs
        // ("G75G03X..Y..I..J..D01*"): the block goes on.
        MultiQuadrant = v == 75;
      } else if (v == 90 || v == 91) {
        g.IncrementalMode = v == 91;
      } else if (v != 55) {
        // G55 only prepares a flash; any other code is named afterwards.
        ++Skipped["G" + std::string(v < 10 ? "0" : "") + std::to_string(v)];
      }
    } else if (words[k].Letter == 'M') {
      if (v == 2) Stopped = true;
      if (v == 71) ChangeUnits(true);
      if (v == 72) ChangeUnits(false);
    }
  }
  // A coordinate written twice counts with its last value.
  auto last = [&](char letter, int64_t& value) {
    for (std::size_t m = count; m-- > 0;)
      if (words[m].Letter == letter) {
        if (!Coordinate(words[m].Digits(), value, letter == 'Y' || letter == 'J')) {
          Fail("\"" + std::string(1, letter) + std::string(words[m].Digits()) + "\" is not a coordinate");
          return false;
        }
        return true;
      }
    return false;
  };
  int64_t value = 0;
  if (last('X', value)) X = g.IncrementalMode ? X + value : value;
  if (last('Y', value)) Y = g.IncrementalMode ? Y + value : value;
  if (Failed || !PenWithinJob()) return true;
  const bool moved = X != PrevX || Y != PrevY;
  // The D codes in order: selects, then the operation. A group of modes
  // only, or one that only selects an aperture, draws nothing (a "D11*"
  // after an arc is no full circle).
  bool flash = false, drawing = false, positioned = false;
  for (std::size_t m = 0; m < count; ++m) {
    const char letter = words[m].Letter;
    if (letter == 'D') {
      const int32_t d = WordInteger(words[m].Digits());
      if (d >= 1 && d <= 3) {
        DMode = d;
        flash = flash || d == 3;
        drawing = true;
      } else {
        SelectDCode(d);
      }
    } else if (letter == 'X' || letter == 'Y') {
      positioned = drawing = true;
    } else if (letter == 'I' || letter == 'J') {
      drawing = true;
    }
  }
  int64_t i = 0, j = 0;
  if (Interpolation != 1) {
    last('I', i);
    last('J', j);
    if (Failed) return true;
  }
  Operate(moved, flash, drawing, positioned, i, j);
  return false;
}

bool TGerberReader::PenWithinJob() {
  // A position beyond what a job holds is never cut to its edge: the format
  // or the units are wrong.
  // Database units per file unit, worked out again only when the units or
  // the decimals change.
  const TGerberFormatRecord& g = GerberImportDefaults;
  if (g.Metric != perUnitMetric_ || g.DecimalDigits != perUnitDigits_) {
    perUnitMetric_ = g.Metric;
    perUnitDigits_ = g.DecimalDigits;
    perUnit_ = (g.Metric ? 1000000.0 : 25400000.0) / DecimalScale();
  }
  const double perUnit = perUnit_;
  double imageX = static_cast<double>(X), imageY = static_cast<double>(Y);
  ToImage(imageX, imageY);
  if (std::fabs(static_cast<double>(X) * perUnit) > 2147483647.0 ||
      std::fabs(static_cast<double>(Y) * perUnit) > 2147483647.0 || !(std::fabs(imageX * perUnit) <= 2147483647.0) ||
      !(std::fabs(imageY * perUnit) <= 2147483647.0)) {
    Fail(kBeyondJob);
    return false;
  }
  return true;
}

void TGerberReader::Operate(bool moved, bool flash, bool drawing, bool positioned, int64_t i, int64_t j) {
  // A draw to the point where the pen stands leaves the aperture's mark,
  // as does a single-quadrant arc from a point to itself and a full circle
  // about the point itself.
  const bool mark = MarksZeroDraws && DMode == 1 && !moved && positioned && !InRegion &&
                    (Interpolation == 1 || !MultiQuadrant || (i == 0 && j == 0)) &&
                    ((Aperture != nullptr && Aperture->Shape != apUndefined && Aperture->Unreadable.empty()) ||
                     blocks_.count(CurrentDCode) != 0);
  if (drawing && (flash || moved || mark || Interpolation == 2 || Interpolation == 3)) {
    // Before the first position the pen stands at the origin.
    if (PrevX == 2147483647 && PrevY == 2147483647) PrevX = PrevY = 0;
    if (mark) {
      EmitFlash(X, Y);
    } else if (DMode == 1 && Interpolation == 1) {
      EmitLine(PrevX, PrevY, X, Y);
    } else if (DMode == 1) {
      EmitArc(Interpolation == 3, MultiQuadrant, PrevX, PrevY, X, Y, i, j);
    } else if (DMode == 3 && !InRegion) {
      EmitFlash(X, Y);
    }
  }
  PrevX = X;
  PrevY = Y;
}

bool TGerberReader::ExecuteCommonBlock(std::string_view block) {
  // "X<digits>Y<digits>D0<n>" (either coordinate may be left out), written
  // tight with capital letters and no decimal point; anything else is read
  // word by word.
  const char* p = block.data();
  const char* const end = p + block.size();
  const auto number = [&p, end](char letter, std::string_view& digits) {
    if (p >= end || *p != letter) return true;
    const char* const start = ++p;
    if (p < end && (*p == '-' || *p == '+')) ++p;
    const char* const first = p;
    while (p < end && *p >= '0' && *p <= '9') ++p;
    digits = std::string_view(start, static_cast<std::size_t>(p - start));
    return p > first && p - first <= 18;
  };
  std::string_view x, y;
  if (!number('X', x) || !number('Y', y) || (x.empty() && y.empty())) return false;
  if (end - p == 3 && p[0] == 'D' && p[1] == '0') ++p;
  else if (end - p != 2 || p[0] != 'D') return false;
  const int32_t d = p[1] - '0';
  if (d < 1 || d > 3) return false;
  int64_t vx = 0, vy = 0;
  if ((!x.empty() && !Coordinate(x, vx)) || (!y.empty() && !Coordinate(y, vy, true))) return false;
  const bool incremental = GerberImportDefaults.IncrementalMode;
  if (!x.empty()) X = incremental ? X + vx : vx;
  if (!y.empty()) Y = incremental ? Y + vy : vy;
  if (!PenWithinJob()) return true;
  const bool moved = X != PrevX || Y != PrevY;
  DMode = d;
  Operate(moved, d == 3, true, true, 0, 0);
  return true;
}

namespace {

// The number after the letter in a parameter command (from its third
// character on), as in "SRX3Y2I5.0J2" or "OFA-2.0B1.5"; false when the
// letter or its number is missing.
bool ParameterNumber(const std::string& command, char letter, double& v) {
  const std::size_t p = command.find_first_of(std::string{letter, static_cast<char>(std::tolower(letter))}, 2);
  if (p == std::string::npos) return false;
  std::size_t e = p + 1;
  while (e < command.size() && (std::isdigit(static_cast<unsigned char>(command[e])) || command[e] == '.' ||
                                command[e] == '-' || command[e] == '+'))
    ++e;
  return ParseDecimal(command.substr(p + 1, e - p - 1), v);
}

}  // namespace

void TGerberReader::ExecuteParameter(const std::string& command) {
  const std::string c = UpperCaseStr(command.substr(0, 2));
  const std::string upper = UpperCaseStr(command);
  double a = 0, b = 0;
  if (c == "MO") {
    // A unit change after the drawing began (the header's units are the
    // dialog's).
    if (Blocks > 0) {
      const std::string unit = upper.substr(2, 2);
      if (unit == "MM") ChangeUnits(true);
      if (unit == "IN") ChangeUnits(false);
    }
  } else if (c == "LP") {
    Layer = command.size() > 2 && (command[2] == 'C' || command[2] == 'c') ? 1 : 0;
  } else if (c == "SR") {
    FlushStepRepeat();
    repeatX_ = repeatY_ = 1;
    stepX_ = stepY_ = 0;
    double x = 1, y = 1, i = 0, j = 0;
    ParameterNumber(command, 'X', x);
    ParameterNumber(command, 'Y', y);
    ParameterNumber(command, 'I', i);
    ParameterNumber(command, 'J', j);
    if (x < 1 || y < 1 || x * y > 1e6) {
      Fail("the step and repeat " + QuotedStart(command, 60) + " is out of range");
      return;
    }
    repeatX_ = static_cast<int32_t>(x);
    repeatY_ = static_cast<int32_t>(y);
    stepX_ = RoundToInt64(i * DecimalScale());
    stepY_ = RoundToInt64(j * DecimalScale());
  } else if (c == "AS") {
    swapAxes_ = upper.compare(2, 4, "AYBX") == 0;
    ComputeImage();
  } else if (c == "MI") {
    mirrorA_ = ParameterNumber(command, 'A', a) && a == 1;
    mirrorB_ = ParameterNumber(command, 'B', b) && b == 1;
    ComputeImage();
  } else if (c == "SF") {
    scaleA_ = ParameterNumber(command, 'A', a) && a > 0 ? a : 1;
    scaleB_ = ParameterNumber(command, 'B', b) && b > 0 ? b : 1;
    ComputeImage();
  } else if (c == "OF" || c == "IO") {
    // Offsets in the units in force, held in file integer units.
    const double ia = ParameterNumber(command, 'A', a) ? a * DecimalScale() : 0;
    const double ib = ParameterNumber(command, 'B', b) ? b * DecimalScale() : 0;
    (c == "OF" ? offsetA_ : imageOffsetA_) = ia;
    (c == "OF" ? offsetB_ : imageOffsetB_) = ib;
    ComputeImage();
  } else if (c == "IR" || c == "RO") {
    double angle = 0;
    if (!ParseDecimal(command.substr(2), angle)) angle = 0;
    if (c == "IR" && angle != 0 && angle != 90 && angle != 180 && angle != 270) {
      ++Skipped["%" + command.substr(0, 12) + " (a turn other than 0, 90, 180 or 270)"];
      angle = 0;
    }
    (c == "IR" ? imageRotation_ : layerRotation_) = angle;
    ComputeImage();
  } else if (c == "IP") {
    // The outlines of a negative image are the same lines.
    if (upper.compare(2, 3, "NEG") == 0) ++Skipped["%IPNEG (the negative image is drawn as positive)"];
  } else if (c == "AB") {
    // "%ABD12*%" opens the block of D12, "%AB*%" closes the innermost.
    if (command.size() > 3 && (command[2] == 'D' || command[2] == 'd')) {
      double d = 0;
      if (!ParseDecimal(command.substr(3), d) || d < 10 || d > 1e9) {
        Fail("the aperture block \"" + command.substr(0, 30) + "\" has no D code");
        return;
      }
      openBlocks_.emplace_back(static_cast<int32_t>(d), std::vector<TRecorded>{});
    } else if (!openBlocks_.empty()) {
      blocks_[openBlocks_.back().first] = std::move(openBlocks_.back().second);
      openBlocks_.pop_back();
      blockObjects_.clear();
    }
  } else if (c == "LM") {
    const std::string m = upper.substr(2);
    objectMirrorX_ = m == "X" || m == "XY";
    objectMirrorY_ = m == "Y" || m == "XY";
  } else if (c == "LR") {
    if (!ParseDecimal(command.substr(2), objectRotation_)) objectRotation_ = 0;
  } else if (c == "LS") {
    if (!ParseDecimal(command.substr(2), objectScale_) || !(objectScale_ > 0)) objectScale_ = 1;
  } else if (c == "KO" || c == "IJ") {
    ++Skipped["%" + c];
  } else if (c.size() == 2 && std::isalpha(static_cast<unsigned char>(c[0])) &&
             std::isalpha(static_cast<unsigned char>(c[1])) && c != "FS" && c != "AD" && c != "AM" &&
             c != "IN" && c != "LN" && c != "TF" && c != "TA" && c != "TO" && c != "TD" && c != "IC" &&
             c != "PF") {
    // Names, attributes and film settings change no geometry; any other
    // parameter is named. (A piece after a stray "*" in a definition is no
    // parameter of its own.)
    ++Skipped["%" + c];
  }
}

void TGerberReader::ComputeImage() {
  TImageMap m;
  // Each step maps the image so far: new = step(old).
  const auto linear = [&m](double xx, double xy, double yx, double yy) {
    const TImageMap o = m;
    m.Xx = xx * o.Xx + xy * o.Yx;
    m.Xy = xx * o.Xy + xy * o.Yy;
    m.Yx = yx * o.Xx + yy * o.Yx;
    m.Yy = yx * o.Xy + yy * o.Yy;
    const double dx = xx * o.Dx + xy * o.Dy, dy = yx * o.Dx + yy * o.Dy;
    m.Dx = dx;
    m.Dy = dy;
  };
  const auto turn = [&linear](double degrees) {
    if (degrees == 0) return;
    const double r = degrees * 3.14159265358979323846 / 180;
    double cs = std::cos(r), sn = std::sin(r);
    // Quarter turns exactly.
    if (std::fmod(degrees, 90) == 0) {
      cs = std::nearbyint(cs);
      sn = std::nearbyint(sn);
    }
    linear(cs, -sn, sn, cs);
  };
  if (swapAxes_) linear(0, 1, 1, 0);
  linear(mirrorA_ ? -1 : 1, 0, 0, mirrorB_ ? -1 : 1);
  linear(scaleA_, 0, 0, scaleB_);
  m.Dx += offsetA_;
  m.Dy += offsetB_;
  turn(layerRotation_);
  turn(imageRotation_);
  m.Dx += imageOffsetA_;
  m.Dy += imageOffsetB_;
  Image = m;
}

void TGerberReader::ChangeUnits(bool metric) {
  TGerberFormatRecord& g = GerberImportDefaults;
  if (g.Metric == metric) return;
  FlushStepRepeat();
  const double factor = metric ? 25.4 : 1 / 25.4;
  const auto carry = [factor](int64_t& v) { v = RoundToInt64(static_cast<double>(v) * factor); };
  carry(X);
  carry(Y);
  if (!(PrevX == 2147483647 && PrevY == 2147483647)) {
    carry(PrevX);
    carry(PrevY);
  }
  for (double* v : {&offsetA_, &offsetB_, &imageOffsetA_, &imageOffsetB_}) *v *= factor;
  g.Metric = metric;
  ComputeImage();
}

void TGerberReader::EmitLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  if (!openBlocks_.empty()) {
    // Inside an aperture block definition: kept for its flashes.
    openBlocks_.back().second.push_back(TRecorded{0, Layer, false, false, 0, x1, y1, x2, y2, 0, 0});
    return;
  }
  if (repeatX_ * repeatY_ > 1 && !replaying_) {
    recorded_.push_back({0, Layer, false, false, 0, x1, y1, x2, y2, 0, 0});
    return;
  }
  Line(x1, y1, x2, y2);
}

void TGerberReader::EmitArc(bool ccw, bool multi, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                            int64_t i, int64_t j) {
  if (!openBlocks_.empty()) {
    // Inside an aperture block definition: kept for its flashes.
    openBlocks_.back().second.push_back(TRecorded{1, Layer, ccw, multi, 0, x1, y1, x2, y2, i, j});
    return;
  }
  if (repeatX_ * repeatY_ > 1 && !replaying_) {
    recorded_.push_back({1, Layer, ccw, multi, 0, x1, y1, x2, y2, i, j});
    return;
  }
  Arc(ccw, multi, x1, y1, x2, y2, i, j);
}

void TGerberReader::EmitFlash(int64_t x, int64_t y) {
  if (!openBlocks_.empty()) {
    // Inside an aperture block definition: kept for its flashes.
    openBlocks_.back().second.push_back(TRecorded{2, Layer, false, false, CurrentDCode, x, y, 0, 0, 0, 0});
    return;
  }
  if (repeatX_ * repeatY_ > 1 && !replaying_) {
    recorded_.push_back({2, Layer, false, false, CurrentDCode, x, y, 0, 0, 0, 0});
    return;
  }
  Flash(CurrentDCode, x, y);
}

void TGerberReader::FlushStepRepeat() {
  if (recorded_.empty()) return;
  // Copies beyond what the drawing can hold are refused before they are made.
  const int64_t copies = static_cast<int64_t>(repeatX_) * repeatY_ * static_cast<int64_t>(recorded_.size());
  if (copies > 5000000) {
    Fail("the step and repeat makes " + std::to_string(copies) + " copies, more than the drawing holds");
    recorded_.clear();
    return;
  }
  replaying_ = true;
  const uint8_t layer = Layer;
  const int32_t dCode = CurrentDCode;
  const int32_t dMode = DMode;
  for (int32_t row = 0; row < repeatY_ && !Failed; ++row)
    for (int32_t column = 0; column < repeatX_ && !Failed; ++column) {
      const int64_t dx = column * stepX_, dy = row * stepY_;
      for (const TRecorded& r : recorded_) {
        ++replayed_;
        Poll();
        if (Failed) break;
        Layer = r.Layer;
        if (r.Kind == 0) {
          Line(r.A + dx, r.B + dy, r.C + dx, r.D + dy);
        } else if (r.Kind == 1) {
          DMode = 1;
          Arc(r.Ccw, r.Multi, r.A + dx, r.B + dy, r.C + dx, r.D + dy, r.E, r.F);
        } else {
          if (r.DCode != CurrentDCode) {
            CurrentDCode = r.DCode;
            FindAperture(r.DCode);
          }
          Flash(r.DCode, r.A + dx, r.B + dy);
        }
      }
      ProcessMessages();
    }
  recorded_.clear();
  replaying_ = false;
  Layer = layer;
  DMode = dMode;
  if (CurrentDCode != dCode) {
    CurrentDCode = dCode;
    FindAperture(dCode);
  }
}

void TGerberReader::DecodeFile() {
  LoadApertures();
  if (Failed) return;
  Reset();
  if (!OpenInput()) return;
  for (const std::string& name : missingIncludes_) ++Skipped["%IF " + name + " (the file cannot be read)"];
  X = Y = 0;
  PrevX = PrevY = 2147483647;
  Blocks = 0;
  std::string_view unit;
  bool group = false;
  while (!Stopped && !Failed && NextUnit(unit, group)) {
    if (group) {
      if (unit.compare(0, 2, "AM") != 0)
        for (const std::string& command : Commands(unit)) ExecuteParameter(command);
      continue;
    }
    if (unit.empty()) continue;
    ExecuteBlock(unit);
    Poll();
    if (++Blocks % 501 == 0) {
      if (Window) Window->Write(".");
      ProcessMessages();
      ImportHost().UpdateView();
    }
  }
  if (!Failed) FlushStepRepeat();
  // A block left open at the end was never flashed: it is named.
  for (const auto& open : openBlocks_) ++Skipped["%AB D" + std::to_string(open.first) + " (not closed)"];
  openBlocks_.clear();
  CloseInput();
}

void TGerberReader::Poll() {
  if (Failed || !CancelBox.TimeToLook(Blocks + replayed_)) return;
  ProcessMessages();
  // The status box shows how far through the file the reading is.
  const int32_t percent =
      text_.empty() ? 0 : static_cast<int32_t>(std::min<std::size_t>(100, pos_ * 100 / text_.size()));
  if (!CancelBox.Cancelled(percent)) return;
  Failed = true;
  ErrorText = CancelledImportText(FileName);
  if (Window) Window->WriteLn(ErrorText);
}

void TGerberReader::Run() {
  if (!Opened) return;
  DecodeFile();
  // The text is read: its memory goes back before the entities read from
  // it are stored, so that a big file and its entities are not held at once.
  std::string().swap(text_);
  std::string().swap(unitBuffer_);
  comment_ = {};
  loaded_ = false;
  if (Window) Window->ClrScr();
}

// ---- Flashes --------------------------------------------------------------------------------

void TGerberReader::ReplayBlock(const std::vector<TRecorded>& objects, int64_t x, int64_t y) {
  if (blockDepth_ >= 16) {
    Fail("the aperture block D" + std::to_string(CurrentDCode) + " places itself");
    return;
  }
  ++blockDepth_;
  const uint8_t layer = Layer;
  const int32_t dCode = CurrentDCode, dMode = DMode;
  const TApertureRecord* aperture = Aperture;
  // The block's objects about the flash point, turned with the aperture.
  const auto at = [&](int64_t dx, int64_t dy, int64_t& px, int64_t& py) {
    double fx = static_cast<double>(dx), fy = static_cast<double>(dy);
    ObjectMap(fx, fy);
    px = RoundToInt64(static_cast<double>(x) + fx);
    py = RoundToInt64(static_cast<double>(y) + fy);
    // Where the object lands is held to the job as a written position is.
    const double perUnit = (GerberImportDefaults.Metric ? 1000000.0 : 25400000.0) / DecimalScale();
    double ix = static_cast<double>(px), iy = static_cast<double>(py);
    ToImage(ix, iy);
    if (!(std::fabs(static_cast<double>(px) * perUnit) <= 2147483647.0) ||
        !(std::fabs(static_cast<double>(py) * perUnit) <= 2147483647.0) || !(std::fabs(ix * perUnit) <= 2147483647.0) ||
        !(std::fabs(iy * perUnit) <= 2147483647.0))
      Fail(kBeyondJob);
  };
  for (const TRecorded& r : objects) {
    ++replayed_;
    Poll();
    if (Failed) break;
    // A clear flash of a block turns its polarities over.
    Layer = static_cast<uint8_t>(r.Layer ^ layer);
    int64_t ax = 0, ay = 0, bx = 0, by = 0;
    at(r.A, r.B, ax, ay);
    if (r.Kind != 2) at(r.C, r.D, bx, by);
    if (Failed) break;
    if (r.Kind == 0) {
      Line(ax, ay, bx, by);
    } else if (r.Kind == 1) {
      double i = static_cast<double>(r.E), j = static_cast<double>(r.F);
      ObjectMap(i, j, false);
      DMode = 1;
      Arc(ObjectTurnsOver() ? !r.Ccw : r.Ccw, r.Multi, ax, ay, bx, by, RoundToInt64(i), RoundToInt64(j));
    } else {
      CurrentDCode = r.DCode;
      FindAperture(r.DCode);
      Flash(r.DCode, ax, ay);
    }
  }
  Layer = layer;
  CurrentDCode = dCode;
  DMode = dMode;
  Aperture = aperture;
  --blockDepth_;
}

double TGerberReader::BlockObjects(int32_t dCode, int32_t depth) {
  if (const auto known = blockObjects_.find(dCode); known != blockObjects_.end()) return known->second;
  const auto block = blocks_.find(dCode);
  if (block == blocks_.end()) return 1;
  // Deeper than a replay goes: refused there.
  if (depth >= 16) return 0;
  // While it is being counted a block stands for nothing.
  blockObjects_[dCode] = 0;
  // A flash of a block is an object itself, and then what that block draws:
  // blocks of blocks that draw nothing still cost their replays.
  double n = 0;
  for (const TRecorded& r : block->second)
    n += r.Kind == 2 && blocks_.count(r.DCode) != 0 ? 1 + BlockObjects(r.DCode, depth + 1) : 1;
  blockObjects_[dCode] = n;
  return n;
}

void TGerberReader::ObjectMap(double& dx, double& dy, bool scaled) const {
  if (objectMirrorX_) dx = -dx;
  if (objectMirrorY_) dy = -dy;
  if (objectRotation_ != 0) RotatePoint(dx, dy, objectRotation_);
  if (scaled) {
    dx *= objectScale_;
    dy *= objectScale_;
  }
}

void TGerberReader::Flash(int32_t, int64_t x, int64_t y) {
  if (const auto block = blocks_.find(CurrentDCode); block != blocks_.end()) {
    if (blockDepth_ == 0) {
      // Blocks that flash blocks multiply: what a flash would draw is
      // counted before it is drawn.
      blockObjectsDrawn_ += BlockObjects(CurrentDCode);
      if (blockObjectsDrawn_ > kMaxBlockObjects) {
        Fail("the aperture block D" + std::to_string(CurrentDCode) + " places more than " +
             IntToStrGrouped(static_cast<int32_t>(kMaxBlockObjects)) + " objects; no job holds them");
        return;
      }
    }
    ReplayBlock(block->second, x, y);
    return;
  }
  const TApertureRecord* a = Aperture;
  if (a != nullptr && !a->Unreadable.empty()) {
    ++Skipped["flashes of D" + std::to_string(a->DCode) + " (" + a->Unreadable + ")"];
    return;
  }
  if (a == nullptr || a->Shape == apUndefined) {
    ++Undefined["D" + std::to_string(CurrentDCode)];
    if (!FlashHook(x, y, 0)) Point(x, y);
    return;
  }
  // Sizes in the units the aperture was defined in.
  const double scale = DecimalScale() * (a->Metric == GerberImportDefaults.Metric ? 1.0
                                         : a->Metric                             ? 1 / 25.4
                                                                                 : 25.4);
  const double sx = a->SizeX * scale;
  const double sy = a->SizeY * scale;
  if (FlashHook(x, y, RoundToInt64(sx * objectScale_))) return;
  // The hole a standard aperture may have is no part of its outline here.
  const std::size_t sizes = a->Shape == apCircle ? 1 : a->Shape == apPolygon ? 3 : 2;
  if (a->Shape <= apPolygon && a->Shape != apUndefined && a->Parameters.size() > sizes &&
      a->Parameters[sizes] > 0)
    ++Skipped["flashes of D" + std::to_string(a->DCode) + " without its hole"];
  auto r = [](double v) { return RoundToInt64(v); };
  const double fx = static_cast<double>(x), fy = static_cast<double>(y);
  // A point of the aperture's outline, given about the flash point, as
  // mirrored, turned and scaled by LM, LR and LS.
  struct TAt {
    int64_t X, Y;
  };
  const auto at = [&](double dx, double dy) {
    ObjectMap(dx, dy);
    return TAt{r(fx + dx), r(fy + dy)};
  };
  const auto line = [&](double dx1, double dy1, double dx2, double dy2) {
    const TAt p = at(dx1, dy1), q = at(dx2, dy2);
    Line(p.X, p.Y, q.X, q.Y);
  };
  const auto circle = [&](double dx, double dy, double radius) {
    const TAt c = at(dx, dy);
    Circle(c.X, c.Y, r(radius * objectScale_));
  };
  // A half circle of the obround's end, its centre passed in place of (i, j).
  const auto cap = [&](bool ccw, double dx1, double dy1, double dx2, double dy2, double cx, double cy) {
    const TAt p = at(dx1, dy1), q = at(dx2, dy2), c = at(cx, cy);
    Arc(ObjectTurnsOver() ? !ccw : ccw, false, p.X, p.Y, q.X, q.Y, c.X, c.Y);
  };
  switch (a->Shape) {
    case apCircle: circle(0, 0, sx * 0.5); break;
    case apRectangle: {
      const double hx = sx / 2, hy = sy / 2;
      line(-hx, -hy, hx, -hy);
      line(hx, -hy, hx, hy);
      line(hx, hy, -hx, hy);
      line(-hx, hy, -hx, -hy);
      break;
    }
    case apObround: {
      AbsoluteCentre = true;
      if (sx > sy) {
        const double d = (sx - sy) / 2, hy = sy / 2;
        line(-d, -hy, d, -hy);
        line(-d, hy, d, hy);
        cap(false, d, hy, d, -hy, d, 0);
        cap(true, -d, hy, -d, -hy, -d, 0);
      } else {
        const double d = (sy - sx) / 2, hx = sx / 2;
        line(-hx, -d, -hx, d);
        line(hx, -d, hx, d);
        cap(false, -hx, d, hx, d, 0, d);
        cap(true, -hx, -d, hx, -d, 0, -d);
      }
      AbsoluteCentre = false;
      break;
    }
    case apPolygon: {
      const double radius = sx / 2;
      const int32_t n = a->Vertices;
      constexpr double Pi = 3.14159265358979323846;
      for (int32_t k = 0; k < n && !Failed; ++k) {
        const double a1 = a->Rotation * Pi / 180 + 2 * Pi * k / n, a2 = a1 + 2 * Pi / n;
        line(radius * std::cos(a1), radius * std::sin(a1), radius * std::cos(a2), radius * std::sin(a2));
      }
      break;
    }
    default:
      for (const TMacroShape& s : a->Shapes) {
        // A drawing that filled the job stops the flash too.
        if (Failed) break;
        if (s.IsCircle) {
          circle(s.Cx * scale, s.Cy * scale, s.R * scale);
          continue;
        }
        for (std::size_t k = 0; k < s.Points.size() && !Failed; ++k) {
          const TRealPoint& p = s.Points[k];
          const TRealPoint& q = s.Points[(k + 1) % s.Points.size()];
          line(p.X * scale, p.Y * scale, q.X * scale, q.Y * scale);
        }
      }
      break;
  }
}

std::string GerberSkippedNotice(const TGerberReader& reader, const std::string& undefinedAs) {
  std::string notice;
  int64_t total = 0;
  if (!reader.Skipped.empty()) {
    const std::string kinds = CountedNames(reader.Skipped, total);
    notice = std::to_string(total) + (total == 1 ? " parameter or code" : " parameters or codes") +
             " that " + (total == 1 ? "is" : "are") + " not imported " + (total == 1 ? "was" : "were") +
             " skipped:\n" + kinds;
  }
  if (!reader.Undefined.empty()) {
    const std::string codes = CountedNames(reader.Undefined, total);
    notice += (notice.empty() ? "" : "\n\n") + std::to_string(total) +
              (total == 1 ? " flash of an aperture" : " flashes of apertures") +
              " without a definition in the file " + (total == 1 ? "was" : "were") + " imported as " +
              undefinedAs + ":\n" + codes;
  }
  return notice;
}

// ---- Detection -------------------------------------------------------------------------------

bool TGerberReader::HasFormatParameter() {
  if (!OpenInput()) return false;
  std::string_view unit;
  bool group = false;
  for (int32_t units = 0; units < 1000 && NextUnit(unit, group); ++units) {
    if (!group) {
      if (unit.compare(0, 3, "G04") != 0 && unit.find_first_of("XY") != std::string::npos) break;
      continue;
    }
    const std::string c = UpperCaseStr(std::string(unit.substr(0, 4)));
    if (c.size() == 4 && c.compare(0, 2, "FS") == 0 && (c[2] == 'L' || c[2] == 'T' || c[2] == 'D') &&
        (c[3] == 'A' || c[3] == 'I')) {
      CloseInput();
      return true;
    }
  }
  CloseInput();
  return false;
}

double DetectGerber(TGerberReader& reader) {
  if (!reader.FindEndOfBlock()) return 0.0;
  // An RS-274X file announces its coordinate format ahead of the drawing.
  if (reader.HasFormatParameter()) return 0.91;
  if (!reader.OpenInput()) return 0.0;
  int32_t blocks = 0, longBlocks = 0;
  double total = 0.0, bad = 0.0;
  bool xSeen = false, ySeen = false, d01 = false, d02 = false, d03 = false, otherD = false;
  std::array<bool, 10> digits{};
  double score = 0.0;
  bool decided = false;
  auto distinct = [&] { return static_cast<int>(std::count(digits.begin(), digits.end(), true)); };
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
