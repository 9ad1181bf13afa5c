#include "model/job_file_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace {

enum TSectionState : uint8_t { ssNone, ssHeader, ssTools, ssSteps, ssEntities };

// The file is read in blocks of this size; the buffer also holds the unread
// start of a line of up to kMaxTextLine characters. A block this size stays
// in the processor's cache from the read to the parse, and the buffer costs
// a quarter of the page faults of one of 1 MB.
constexpr std::size_t kReadBlock = 1 << 18;
constexpr std::size_t kNoMark = std::string::npos;

// An optional sign and at least one digit, nothing else.
bool IsNumberText(std::string_view text) {
  std::size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (i >= text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

std::string Num(int32_t v) { return IntToShortStr(v); }

// True when the number a value line holds (as read leniently, exponent
// included) is a 32-bit integer; text that is no number counts as 0.
bool FitsInt32(const std::string& work) {
  const double v = StrToRealLenient(work);
  return v >= -2147483648.0 && v <= 2147483647.0;
}

// A line that is an optional "-" and one to eighteen digits, nothing else:
// its value. Such a line reads the same as compared, so the value is the one
// the lenient conversions give. False for any other line (which then takes
// the general way).
bool PlainNumber(const char* p, std::size_t n, int64_t& value) {
  const bool negative = n > 0 && p[0] == '-';
  const std::size_t first = negative ? 1 : 0;
  if (n <= first || n - first > 18) return false;
  int64_t v = 0;
  for (std::size_t i = first; i < n; ++i) {
    const unsigned d = unsigned(p[i]) - unsigned('0');
    if (d > 9) return false;
    v = v * 10 + d;
  }
  value = negative ? -v : v;
  return true;
}

bool InInt32(int64_t v) { return v >= -2147483648LL && v <= 2147483647LL; }

static_assert(std::endian::native == std::endian::little, "digits are read as little-endian words");

// Eight bytes read as one little-endian word: true when all are digits.
bool EightDigits(uint64_t chunk) {
  return (chunk & 0xF0F0F0F0F0F0F0F0ull) == 0x3030303030303030ull &&
         ((chunk + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) == 0x3030303030303030ull;
}

// The value of eight digits read as one little-endian word, the first digit
// in the lowest byte.
uint32_t EightDigitValue(uint64_t chunk) {
  chunk -= 0x3030303030303030ull;
  chunk = (chunk * 10 + (chunk >> 8)) & 0x00FF00FF00FF00FFull;
  chunk = (chunk * 100 + (chunk >> 16)) & 0x0000FFFF0000FFFFull;
  chunk = (chunk * 10000 + (chunk >> 32)) & 0x00000000FFFFFFFFull;
  return uint32_t(chunk);
}

// The records this reader knows, by the name as compared.
enum TRecordKind : uint8_t {
  rkUnknown, rkHeader, rkEof, rkEndSec, rkToolSection, rkStepSection, rkEntities,
  rkTool, rkCompIndex, rkStepList, rkM01, rkM02, rkM08, rkEndStepList,
  rkPoint, rkLine, rkArc, rkCircle, rkDrillHole, rkDrillSlot, rkDrillCircle, rkDrillText,
  rkRoutHole, rkRoutCircle, rkRoutJog, rkRoutLine, rkRoutArc, rkRoutCommand, rkRoutG93,
  rkDrillG93
};

struct TRecordName {
  std::string_view Name;
  TRecordKind Kind;
};

// The most frequent records first: a name is looked up by comparing it
// with each in turn.
constexpr TRecordName kRecordNames[] = {
    {"DRILLHOLE", rkDrillHole},     {"LINE", rkLine},           {"ROUTLINE", rkRoutLine},
    {"ROUTARC", rkRoutArc},         {"ARC", rkArc},             {"CIRCLE", rkCircle},
    {"POINT", rkPoint},             {"ROUTJOG", rkRoutJog},     {"DRILLSLOT", rkDrillSlot},
    {"ROUTHOLE", rkRoutHole},       {"DRILLCIRCLE", rkDrillCircle},
    {"ROUTCIRCLE", rkRoutCircle},   {"DRILLTEXT", rkDrillText}, {"ROUTCOMMAND", rkRoutCommand},
    {"M02", rkM02},                 {"M01", rkM01},             {"M08", rkM08},
    {"STEPLIST", rkStepList},       {"ENDSTEPLIST", rkEndStepList}, {"TOOL", rkTool},
    {"COMPINDEX", rkCompIndex},     {"ROUTG93", rkRoutG93},     {"DRILLG93", rkDrillG93},
    {"ENDSEC", rkEndSec},           {"HEADER", rkHeader},       {"EOF", rkEof},
    {"TOOLSECTION", rkToolSection}, {"STEPSECTION", rkStepSection}, {"ENTITIES", rkEntities},
};

uint8_t KindOf(std::string_view name) {
  for (const TRecordName& r : kRecordNames)
    if (r.Name == name) return r.Kind;
  return rkUnknown;
}

// The name of a known kind, else the name as read.
std::string NameOf(uint8_t kind, const std::string& read) {
  for (const TRecordName& r : kRecordNames)
    if (r.Kind == kind) return std::string(r.Name);
  return read;
}

}  // namespace

// ---- Texts -------------------------------------------------------------------------------

namespace {
bool EscapedInJobText(unsigned char c) { return c < 0x20 || c == 0x7F || c == '%'; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

bool JobTextNeedsEscape(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\x1a", 3)) != std::string_view::npos;
}

std::string EscapeJobText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line;
  line.reserve(text.size() + 16);
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (!EscapedInJobText(c)) {
      line.push_back(ch);
      continue;
    }
    line.push_back('%');
    line.push_back(kHex[c >> 4]);
    line.push_back(kHex[c & 15]);
  }
  return line;
}

std::string UnescapeJobText(std::string_view line) {
  std::string text;
  text.reserve(std::min(line.size(), kShortStringMax));
  for (std::size_t i = 0; i < line.size() && text.size() < kShortStringMax; ++i) {
    const char c = line[i];
    if (c == '\r') continue;
    if (c == '%' && i + 2 < line.size() && HexDigitValue(line[i + 1]) >= 0 &&
        HexDigitValue(line[i + 2]) >= 0) {
      text.push_back(char(HexDigitValue(line[i + 1]) * 16 + HexDigitValue(line[i + 2])));
      i += 2;
      continue;
    }
    text.push_back(c);
  }
  return text;
}

// ---- TJobFileReader ----------------------------------------------------------------------

TJobFileReader::TJobFileReader(const std::string& fileName) : FileName_(fileName) {
  Opened_ = FileExistsNoWild(fileName);
}

void TJobFileReader::Yield() { ProcessMessagesInLoop(); }

void TJobFileReader::Tick() {
  if (++TickCounter_ > 100) {
    TickCounter_ = 0;
    Yield();
  }
}

void TJobFileReader::TickLines(int32_t lines) {
  TickCounter_ += lines;
  if (TickCounter_ > 100) {
    TickCounter_ = 0;
    Yield();
  }
}

void TJobFileReader::FailAt(int32_t line, const std::string& text) {
  if (Failed_) return;
  Failed_ = true;
  ReportError("The job file " + FileName_ + " cannot be read.\r\nLine " + Num(line) + ": " + text +
              "\r\nThe job was left as it was.");
}

void TJobFileReader::ReportReadError(int error) {
  if (Failed_) return;
  Failed_ = true;
  ReportError(SystemErrorText(error != 0 ? error : EIO) + "\r\nwhile reading " + FileName_);
}

bool TJobFileReader::Run() {
  if (!Opened_) {
    ReportError("File does not exist!");
    return false;
  }
  errno = 0;
  Fd_ = ::open(NativePath(FileName_).c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd_ < 0) {
    ReportReadError(errno);
    return false;
  }
  Capacity_ = kReadBlock + kMaxTextLine + 1;
  // Room for the mark behind the bytes read and for reading eight bytes at
  // a time up to it.
  Buffer_ = std::make_unique<char[]>(Capacity_ + 8);
  Next_ = End_ = 0;
  DosMark_ = kNoMark;
  AtEnd_ = false;
  LineCounter_ = 0;
  DosEndSeen_ = false;
  Parse();
  ::close(Fd_);
  Fd_ = -1;
  Buffer_.reset();
  return !Failed_;
}

bool TJobFileReader::Refill() {
  const std::size_t pending = End_ - Next_;
  if (Next_ > 0) {
    std::memmove(Buffer_.get(), Buffer_.get() + Next_, pending);
    if (DosMark_ != kNoMark) DosMark_ -= Next_;
    Next_ = 0;
    End_ = pending;
    Buffer_[End_] = '\0';
  }
  for (;;) {
    const ssize_t n = ::read(Fd_, Buffer_.get() + End_, Capacity_ - End_);
    if (n < 0) {
      if (errno == EINTR) continue;
      ReportReadError(errno);
      return false;
    }
    if (n == 0) {
      AtEnd_ = true;
      return true;
    }
    if (DosMark_ == kNoMark)
      if (const void* z = std::memchr(Buffer_.get() + End_, '\x1a', std::size_t(n)))
        DosMark_ = std::size_t(static_cast<const char*>(z) - Buffer_.get());
    End_ += std::size_t(n);
    Buffer_[End_] = '\0';  // no digit: numbers end here
    return true;
  }
}

bool TJobFileReader::ReadLine() {
  if (Failed_ || DosEndSeen_) return false;
  char* const buffer = Buffer_.get();
  const void* newline = nullptr;
  for (;;) {
    newline = std::memchr(buffer + Next_, '\n', End_ - Next_);
    if (newline != nullptr || AtEnd_) break;
    std::size_t pending = End_ - Next_;
    if (pending > kMaxTextLine) {
      // A line this long is refused unless its CRs bring it within the
      // limit: they are dropped in place, as they would be anyway.
      char* p = buffer + Next_;
      pending = std::size_t(std::remove(p, p + pending, '\r') - p);
      End_ = Next_ + pending;
      buffer[End_] = '\0';
      const void* z = std::memchr(p, '\x1a', pending);
      DosMark_ = z != nullptr ? std::size_t(static_cast<const char*>(z) - buffer) : kNoMark;
      if (pending > kMaxTextLine) {
        ++LineCounter_;
        FailAt(LineCounter_, "the line is longer than " + Num(int32_t(kMaxTextLine)) + " characters.");
        return false;
      }
    }
    if (!Refill()) return false;
  }
  const char* begin = buffer + Next_;
  const char* end = newline != nullptr ? static_cast<const char*>(newline) : buffer + End_;
  if (newline == nullptr && begin == end) return false;  // the end of the file
  Next_ = std::size_t(end - buffer) + (newline != nullptr ? 1 : 0);
  ++LineCounter_;
  std::size_t size = std::size_t(end - begin);
  if (size > kMaxTextLine &&
      size - std::size_t(std::count(begin, end, '\r')) > kMaxTextLine) {
    FailAt(LineCounter_, "the line is longer than " + Num(int32_t(kMaxTextLine)) + " characters.");
    return false;
  }
  // A DOS end-of-file mark (Ctrl-Z) ends the text.
  if (DosMark_ != kNoMark && buffer + DosMark_ < end) {
    size = std::size_t(buffer + DosMark_ - begin);
    DosEndSeen_ = true;
  }
  if (size > 0 && begin[size - 1] == '\r') --size;
  Line_ = begin;
  LineSize_ = size;
  RawMade_ = WorkMade_ = false;
  Tick();
  return true;
}

const std::string& TJobFileReader::Raw() {
  if (!RawMade_) {
    Raw_.assign(Line_, LineSize_);
    Raw_.erase(std::remove(Raw_.begin(), Raw_.end(), '\r'), Raw_.end());
    if (Raw_.size() > kShortStringMax) Raw_.resize(kShortStringMax);
    RawMade_ = true;
  }
  return Raw_;
}

const std::string& TJobFileReader::Work() {
  if (!WorkMade_) {
    Work_ = UpperCaseStr(RemoveBlanks(Raw()));
    WorkMade_ = true;
  }
  return Work_;
}

bool TJobFileReader::LineIsZero() {
  // The first character of a line that starts with neither a blank nor a
  // CR is the first one compared.
  if (LineSize_ > 0 && Line_[0] != ' ' && Line_[0] != '\r') {
    if (Line_[0] != '0') return false;
    if (LineSize_ == 1) return true;
  }
  return Work() == "0";
}

bool TJobFileReader::ReadCodeLine() {
  // Editors and transfers leave blank lines between records; a value line
  // is read as it stands.
  while (ReadLine()) {
    // A line that starts with neither a blank nor a CR is not blank.
    if (LineSize_ > 0 && Line_[0] != ' ' && Line_[0] != '\r') return true;
    if (!Work().empty()) return true;
  }
  return false;
}

bool TJobFileReader::ReadGroupCode(int32_t& code) {
  int64_t v = 0;
  if (PlainNumber(Line_, LineSize_, v) && InInt32(v)) {
    code = int32_t(v);
    return true;
  }
  if (!IsNumberText(Work())) {
    FailAt(LineCounter_, "a group code was expected, not \"" + Raw() + "\".");
    return false;
  }
  code = StrToIntLenient(Work());
  return true;
}

bool TJobFileReader::ReadNumericValue(int32_t code, int32_t& value) {
  int64_t v = 0;
  if (PlainNumber(Line_, LineSize_, v) && InInt32(v)) {
    value = int32_t(v);
    return true;
  }
  if (!FitsInt32(Work())) {
    FailAt(LineCounter_, "the value " + Raw() + " of group " + Num(code) +
                             " lies outside -2147483648 to 2147483647.");
    return false;
  }
  value = StrToIntLenient(Work());
  return true;
}

namespace {

void StoreField(TJobFields& f, int32_t code, int32_t v) {
  switch (code) {
    case 10: f.X = v; break;
    case 20: f.Y = v; break;
    case 11: f.X2 = v; break;
    case 21: f.Y2 = v; break;
    case 12: f.X3 = v; break;
    case 22: f.Y3 = v; break;
    case 40: f.Radius = v; break;
    case 42: f.Flag42 = v; break;
    case 43: f.Side = v; break;
    case 44: f.Vertical = v; break;
    case 45: f.HoldOff = v; break;
    case 50: f.Tool = v; break;
    case 51: f.Index = v; break;
    case 52: f.StepId = v; break;
    case 53: f.NestedId = v; break;
    case 60: case 61: case 62: case 63: case 64: case 65: case 66: f.G[code - 60] = v; break;
    case 70:
      f.Count = v;
      f.HasCount = true;
      break;
    case 71: f.Orientation = v; break;
    default: break;  // a group this reader does not know
  }
}

}  // namespace

bool TJobFileReader::ReadPlainNumberLine(int64_t& value) {
  if (Failed_ || DosEndSeen_) return false;
  const char* const begin = Buffer_.get() + Next_;
  const char* const end = Buffer_.get() + End_;
  const char* p = begin;
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  const char* const digits = p;
  uint64_t v = 0;
  // Eight digits at a time while they are all digits, then one by one up to
  // the mark behind the bytes read, which ends them.
  while (end - p >= 8) {
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    if (!EightDigits(chunk)) break;
    v = v * 100000000 + EightDigitValue(chunk);
    p += 8;
  }
  for (unsigned d; (d = unsigned(*p) - unsigned('0')) <= 9; ++p) v = v * 10 + d;
  if (p == digits || p - digits > 18) return false;
  const char* const lineEnd = p;
  if (*p == '\r') ++p;
  // Anything else before the line's end, or a line the buffer does not
  // hold to its end, takes the general way. Digits, CR and LF are no
  // Ctrl-Z, and eighteen digits are far within every limit.
  if (p >= end || *p != '\n') return false;
  TakeLine(begin, lineEnd, p + 1);
  value = negative ? -int64_t(v) : int64_t(v);
  return true;
}

bool TJobFileReader::ReadPlainNameLine() {
  if (Failed_ || DosEndSeen_) return false;
  const char* const begin = Buffer_.get() + Next_;
  const char* const end = Buffer_.get() + End_;
  const char* p = begin;
  // The mark behind the bytes read is neither a letter nor a digit.
  while ((*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9')) ++p;
  if (p == begin || p - begin > 16) return false;
  const char* const lineEnd = p;
  if (*p == '\r') ++p;
  if (p >= end || *p != '\n') return false;
  TakeLine(begin, lineEnd, p + 1);
  return true;
}

namespace {

// The number of digits at the start of eight bytes read as one
// little-endian word (8 when all are).
int32_t LeadingDigits(uint64_t chunk) {
  // A byte is a digit when its high half is 3 and adding 6 keeps it so; the
  // carries of the addition only reach bytes behind the first non-digit.
  const uint64_t other =
      ((chunk & 0xF0F0F0F0F0F0F0F0ull) ^ 0x3030303030303030ull) |
      (((chunk + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) ^ 0x3030303030303030ull);
  return other == 0 ? 8 : std::countr_zero(other) / 8;
}

// A value line at p (before end) as the writer writes it: an optional "-",
// one to ten digits and CR LF, all before end, the value within 32 bits.
// The start of the next line with the value, else nullptr. Eight bytes
// from p are readable; the mark behind the bytes read ends the digits.
// kRoomy: the caller knows the longest such line to lie before end.
template <bool kRoomy>
[[gnu::always_inline]] inline const char* PlainValueLine(const char* p, const char* end,
                                                         int32_t& value) {
  const bool negative = *p == '-';
  if (negative) ++p;
  uint64_t chunk;
  std::memcpy(&chunk, p, 8);
  const int32_t n = LeadingDigits(chunk);
  if (n == 0) return nullptr;
  uint64_t v;
  if (n < 8) {
    // The digits moved to the word's end behind leading zeros: within 32
    // bits.
    v = EightDigitValue(chunk << (8 * (8 - n)) | 0x3030303030303030ull >> (8 * n));
    p += n;
  } else {
    v = EightDigitValue(chunk);
    p += 8;
    // A ninth and a tenth digit.
    if (const unsigned d = unsigned(*p) - unsigned('0'); d <= 9) {
      v = v * 10 + d;
      ++p;
      if (const unsigned d10 = unsigned(*p) - unsigned('0'); d10 <= 9) {
        v = v * 10 + d10;
        ++p;
        if (v > (negative ? 2147483648ull : 2147483647ull)) return nullptr;
      }
    }
  }
  if (!kRoomy && end - p < 2) return nullptr;
  uint16_t lineEnd;
  std::memcpy(&lineEnd, p, 2);
  if (lineEnd != 0x0A0D) return nullptr;  // CR LF
  value = negative ? int32_t(-int64_t(v)) : int32_t(v);
  return p + 2;
}

// Group code lines of a hole record and the "0" that ends it, as the
// writer writes them, read as little-endian words.
constexpr uint32_t kZeroLine = 0x0A0D30;  // "0" CR LF (three bytes)
constexpr uint32_t kCode8 = 0x0A0D38;     // "8" CR LF (three bytes)
constexpr uint32_t kCode10 = 0x0A0D3031;
constexpr uint32_t kCode20 = 0x0A0D3032;
constexpr uint32_t kCode50 = 0x0A0D3035;
constexpr uint32_t kCode52 = 0x0A0D3235;

// More pairs than a hole record has take the general way.
constexpr int32_t kMaxHolePairs = 8;
// A hole record as the writer writes it, from its name to the "0" of the
// next record, is far shorter than this.
constexpr std::ptrdiff_t kRoomyHole = 11 + kMaxHolePairs * (4 + 1 + 10 + 2) + 4 + 8;

// The fields of the hole record at p (behind its name) as the writer writes
// them, up to the "0" of the next record: where that "0" stands, else
// nullptr (nothing taken). pairs counts the fields. Four bytes from p on
// are readable (the mark and the room behind it); kRoomy: the caller knows
// kRoomyHole bytes from the name on to lie before end.
template <bool kRoomy, class THole>
const char* PlainHoleFields(const char* p, const char* end, THole& hole, int32_t& pairs) {
  pairs = 0;
  for (;;) {
    if (!kRoomy && end - p < 3) return nullptr;
    uint32_t word;
    std::memcpy(&word, p, 4);
    if ((word & 0xFFFFFF) == kZeroLine) return p;
    int32_t* field = nullptr;
    if ((word & 0xFFFFFF) == kCode8) {
      field = &hole.Layer;
      p += 3;
    } else {
      // A code of two digits: the mark at end is no LF, so the word lies
      // before it.
      switch (word) {
        case kCode10: field = &hole.X; break;
        case kCode20: field = &hole.Y; break;
        case kCode50: field = &hole.Tool; break;
        case kCode52: field = &hole.StepId; break;
        default: return nullptr;
      }
      p += 4;
    }
    if (++pairs > kMaxHolePairs || (!kRoomy && p >= end)) return nullptr;
    p = PlainValueLine<kRoomy>(p, end, *field);
    if (p == nullptr) return nullptr;
  }
}

// The same for a record in the writer's own order (8, 10 and 20 where not
// 0, 50, then 52 where not 0; the layer of one digit), at kRoomyHole bytes
// or more before end, read straight through; nullptr for any other record,
// which the loop above then reads from the start.
template <class THole>
const char* WrittenHoleFields(const char* p, const char* end, THole& hole, int32_t& pairs) {
  uint32_t word;
  std::memcpy(&word, p, 4);
  // The layer, "8" and one digit, taken without a branch on whether it is
  // there: holes of layer 0 and of other layers alternate, and such a
  // branch would be guessed wrong time and again.
  const bool layered = (word & 0xFFFFFF) == kCode8;
  const unsigned digit = unsigned(p[3]) - unsigned('0');
  uint16_t lineEnd;
  std::memcpy(&lineEnd, p + 4, 2);
  if (layered & ((digit > 9) | (lineEnd != 0x0A0D))) return nullptr;
  hole.Layer = int32_t(digit & (0u - unsigned(layered)));
  p += 6 * int32_t(layered);
  pairs = int32_t(layered);
  std::memcpy(&word, p, 4);
  if (word == kCode10) {
    if ((p = PlainValueLine<true>(p + 4, end, hole.X)) == nullptr) return nullptr;
    ++pairs;
    std::memcpy(&word, p, 4);
  }
  if (word == kCode20) {
    if ((p = PlainValueLine<true>(p + 4, end, hole.Y)) == nullptr) return nullptr;
    ++pairs;
    std::memcpy(&word, p, 4);
  }
  if (word != kCode50 || (p = PlainValueLine<true>(p + 4, end, hole.Tool)) == nullptr)
    return nullptr;
  ++pairs;
  std::memcpy(&word, p, 4);
  if (word == kCode52) {
    if ((p = PlainValueLine<true>(p + 4, end, hole.StepId)) == nullptr) return nullptr;
    ++pairs;
    std::memcpy(&word, p, 4);
  }
  return (word & 0xFFFFFF) == kZeroLine ? p : nullptr;
}

}  // namespace

bool TJobFileReader::ReadPlainFields(TJobFields& f) {
  if (Failed_ || DosEndSeen_) return false;
  const char* const end = Buffer_.get() + End_;
  // The pairs are checked first and stored after, so that a record that
  // needs the general way has read nothing.
  struct TPair {
    int32_t Code, Value;
    const char* Text;
    std::size_t Size;
  };
  TPair pairs[kMaxPlainPairs];
  int32_t count = 0;
  const char* p = Buffer_.get() + Next_;
  for (;;) {
    // A group code of one to three digits, or the "0" of the next record;
    // the mark behind the bytes read ends the digits.
    const char* q = p;
    int32_t code = 0;
    for (unsigned d; q - p < 3 && (d = unsigned(*q) - unsigned('0')) <= 9; ++q)
      code = code * 10 + int32_t(d);
    if (q == p || end - q < 2 || q[0] != '\r' || q[1] != '\n') return false;
    if (q - p == 1 && code == 0) break;
    // Texts, and more pairs than any record has, take the general way.
    if (code == kJobTextGroup || code == kJobEscapedTextGroup || code == 999 ||
        count == kMaxPlainPairs)
      return false;
    const char* const valueStart = q + 2;
    if (valueStart >= end) return false;
    int32_t value = 0;
    const char* const next = PlainValueLine<false>(valueStart, end, value);
    if (next == nullptr) return false;
    pairs[count++] = {code, value, valueStart, std::size_t(next - 2 - valueStart)};
    p = next;
  }
  for (int32_t i = 0; i < count; ++i) {
    const TPair& pair = pairs[i];
    if (pair.Code == 8) {
      f.LayerText.assign(pair.Text, pair.Size);
      f.Layer = pair.Value;
      f.HasLayer = true;
    } else {
      StoreField(f, pair.Code, pair.Value);
    }
  }
  // The lines as one by one: two a pair and the "0", which is the current
  // line.
  for (int32_t i = 0; i < 2 * count; ++i) {
    ++LineCounter_;
    Tick();
  }
  TakeLine(p, p + 1, p + 3);
  return true;
}

bool TJobFileReader::TakePlainHole(const TPlainHole&) { return false; }

void TJobFileReader::ReadPlainHoles() {
  ReadPlainHoleRun([this](const TPlainHole& hole) { return TakePlainHole(hole); });
}

template <class TTake>
void TJobFileReader::ReadPlainHoleRun(TTake&& take) {
  static constexpr char kName[] = "DRILLHOLE\r\n";
  static constexpr std::size_t kNameSize = sizeof kName - 1;
  // The name as two words: its first eight bytes, and its last four ("LE"
  // CR LF), which overlap them by one.
  static constexpr uint64_t kNameHead = 0x4C4F484C4C495244ull;  // "DRILLHOL"
  static constexpr uint32_t kNameTail = 0x0A0D454Cu;            // "LE" CR LF
  if (Failed_ || DosEndSeen_) return;
  const char* const buffer = Buffer_.get();
  const char* const end = buffer + End_;
  // The reader's place, kept here while the run lasts and put back before
  // the GUI runs and when the run ends: the next unread byte, the lines
  // read, the "0" of the last record taken.
  const char* p = buffer + Next_;
  int32_t lines = LineCounter_;
  int32_t ticks = TickCounter_;
  const char* zero = nullptr;
  auto putBack = [&] {
    Next_ = std::size_t(p - buffer);
    LineCounter_ = lines;
    TickCounter_ = ticks;
    if (zero != nullptr) {
      Line_ = zero;
      LineSize_ = 1;
      RawMade_ = WorkMade_ = false;
    }
  };
  for (;;) {
    // Far from the end of the bytes read, as nearly every record is, no
    // step of the record needs to look where they end, and one in the
    // writer's order is read straight through.
    TPlainHole hole;
    int32_t pairs = 0;
    const char* next = nullptr;
    if (end - p >= kRoomyHole) {
      uint64_t head;
      uint32_t tail;
      std::memcpy(&head, p, 8);
      std::memcpy(&tail, p + 7, 4);
      if (head != kNameHead || tail != kNameTail) break;
      next = WrittenHoleFields(p + kNameSize, end, hole, pairs);
      if (next == nullptr) {
        hole = TPlainHole{};
        next = PlainHoleFields<true>(p + kNameSize, end, hole, pairs);
      }
    } else {
      if (std::size_t(end - p) < kNameSize || std::memcmp(p, kName, kNameSize) != 0) break;
      next = PlainHoleFields<false>(p + kNameSize, end, hole, pairs);
    }
    if (next == nullptr) break;
    RecordLine_ = lines + 1;
    if (!take(hole)) break;
    // next is the "0" of the next record.
    const int32_t recordLines = 2 + 2 * pairs;
    lines += recordLines;
    zero = next;
    p = next + 3;
    ticks += recordLines;
    if (ticks > 100) {
      ticks = 0;
      putBack();
      Yield();
      if (Failed_ || DosEndSeen_) return;
    }
  }
  putBack();
}

void TJobFileReader::TakeLine(const char* begin, const char* end, const char* next) {
  Next_ = std::size_t(next - Buffer_.get());
  ++LineCounter_;
  Line_ = begin;
  LineSize_ = std::size_t(end - begin);
  RawMade_ = WorkMade_ = false;
  Tick();
}

bool TJobFileReader::NextRecord(std::string& name, uint8_t& kind, int32_t& nameLine,
                                TJobFields& f) {
  if (!PendingStart_) {
    if (!ReadCodeLine()) return false;
    if (!LineIsZero()) {
      FailAt(LineCounter_, "a record (\"0\") was expected, not \"" + Raw() + "\".");
      return false;
    }
  }
  PendingStart_ = false;
  if (!ReadPlainNameLine() && !ReadLine()) {
    FailAt(LineCounter_, "the file ends where a record name was expected.");
    return false;
  }
  // A name written as the writer writes it reads as it stands. The name
  // of a known record is its kind's; only another one is kept.
  kind = KindOf(std::string_view(Line_, LineSize_));
  if (kind == rkUnknown) {
    kind = KindOf(Work());
    name = kind == rkUnknown ? Work() : std::string();
  }
  nameLine = LineCounter_;
  f.Clear();
  if (ReadPlainFields(f)) {
    PendingStart_ = true;
    return true;
  }
  for (;;) {
    int64_t number = 0;
    int32_t code = 0;
    if (ReadPlainNumberLine(number)) {
      if (LineSize_ == 1 && number == 0) {
        PendingStart_ = true;
        break;
      }
      if (InInt32(number))
        code = int32_t(number);
      else if (!ReadGroupCode(code))
        return false;
    } else {
      if (!ReadCodeLine()) {
        if (Failed_) return false;
        break;
      }
      if (LineIsZero()) {
        PendingStart_ = true;
        break;
      }
      if (!ReadGroupCode(code)) return false;
    }
    const int32_t codeLine = LineCounter_;
    // Values as the writer writes them are taken straight from the buffer.
    bool valueRead = false;
    const bool text = code == kJobTextGroup || code == kJobEscapedTextGroup || code == 999;
    if (!text && ReadPlainNumberLine(number)) {
      if (InInt32(number)) {
        if (code != 8) {
          StoreField(f, code, int32_t(number));
          continue;
        }
        f.LayerText.assign(Line_, LineSize_);
        f.Layer = int32_t(number);
        f.HasLayer = true;
        continue;
      }
      valueRead = true;
    }
    if (!valueRead && !ReadLine()) {
      FailAt(codeLine, "the file ends where the value of group " + Num(code) + " was expected.");
      return false;
    }
    if (code == kJobTextGroup) {
      f.Text = Raw();
      continue;
    }
    if (code == kJobEscapedTextGroup) {
      f.Text = UnescapeJobText(std::string_view(Line_, LineSize_));
      continue;
    }
    if (code == 8) {
      f.LayerText = Work();
      f.Layer = StrToIntLenient(Work());
      f.HasLayer = true;
      continue;
    }
    if (code == 999) continue;
    int32_t v = 0;
    if (!ReadNumericValue(code, v)) return false;
    StoreField(f, code, v);
  }
  return true;
}

void TJobFileReader::Parse() {
  std::string name;
  uint8_t kind = rkUnknown;
  int32_t line = 0;
  TJobFields f;
  if (!NextRecord(name, kind, line, f)) {
    if (!Failed_) FailAt(1, "the file is empty.");
    return;
  }
  if (kind != rkHeader) {
    FailAt(line, "this is not a job database file (no HEADER record).");
    return;
  }
  uint8_t section = ssHeader;
  bool inList = false;
  bool ended = false;
  while (!ended) {
    // Holes as the writer writes them come by the hundred thousand: they
    // are taken straight from the buffer.
    if (section == ssEntities && PendingStart_) {
      ReadPlainHoles();
      if (Failed_) return;
    }
    if (!NextRecord(name, kind, line, f)) break;
    RecordLine_ = line;
    if (kind == rkEof || kind == rkEndSec) {
      if (inList) {
        Fail("a step list ends without M08 and ENDSTEPLIST.");
        return;
      }
      if (kind == rkEof) ended = true;
      section = ssNone;
      continue;
    }
    if (section == ssNone) {
      if (kind == rkToolSection)
        section = ssTools;
      else if (kind == rkStepSection)
        section = ssSteps;
      else if (kind == rkEntities)
        section = ssEntities;
      else {
        Fail("a section name was expected, not \"" + NameOf(kind, name) + "\".");
        return;
      }
      continue;
    }
    Dispatch(section, kind, name, f, inList);
    if (Failed_) return;
  }
  if (Failed_) return;
  if (!ended) {
    FailAt(LineCounter_, "the file ends before its EOF record: it is incomplete.");
    return;
  }
  ResolveSteps();
}

void TJobFileReader::Dispatch(uint8_t section, uint8_t kind, const std::string& name,
                              const TJobFields& f, bool& inList) {
  switch (section) {
    case ssTools:
      if (kind == rkTool) {
        const char letter = f.HasLayer ? FirstChar(f.LayerText) : 'D';
        if (letter == 'R')
          SetRoutTool(f);
        else if (letter == 'D')
          SetDrillTool(f);
        else
          Fail("the tool kind \"" + f.LayerText + "\" is neither D nor R.");
      } else if (kind == rkCompIndex) {
        SetCompIndex(f);
      } else {
        Skip();
      }
      return;
    case ssSteps:
      switch (kind) {
        case rkStepList:
          // A second STEPLIST inside an open list only repeats the opening.
          if (!inList) BeginStepList();
          inList = true;
          return;
        case rkM01:
        case rkM02:
        case rkM08:
          if (!inList) {
            Fail("the step record " + NameOf(kind, name) + " stands outside a step list.");
            return;
          }
          if (kind == rkM01)
            AddStepMark(f);
          else if (kind == rkM02)
            AddStep(f);
          else
            EndStepList(f);
          return;
        case rkEndStepList: inList = false; return;
        default: Skip(); return;
      }
    case ssEntities:
      switch (kind) {
        case rkPoint: AddPoint(f); return;
        case rkLine: AddLine(f); return;
        case rkArc: AddArc(f); return;
        case rkCircle: AddCircle(f); return;
        case rkDrillHole: AddDrillHole(f); return;
        case rkDrillSlot: AddDrillSlot(f); return;
        case rkDrillCircle: AddDrillCircle(f); return;
        case rkDrillText: AddDrillText(f); return;
        case rkRoutHole: AddRoutHole(f); return;
        case rkRoutCircle: AddRoutCircle(f); return;
        case rkRoutJog: AddRoutJog(f); return;
        case rkRoutLine: AddRoutLine(f); return;
        case rkRoutArc: AddRoutArc(f); return;
        case rkRoutCommand: AddRoutCommand(f); return;
        case rkRoutG93: SetRoutG93(f); return;
        case rkDrillG93: SetDrillG93(f); return;
        default: Skip(); return;
      }
    default:
      Skip();  // a record inside the header
      return;
  }
}

void TJobFileReader::Skip() {
  ++SkippedRecords_;
  if (SkippedLines_.size() < kMaxSkippedLines) SkippedLines_.push_back(RecordLine_);
}

// ---- TJobFileLoader: checks ------------------------------------------------------------------

void TJobFileLoader::ReportError(const std::string& text) { ErrorBox(text); }

bool TJobFileLoader::CheckTool(int32_t tool, const char* what) {
  if (ValidToolNumber(tool)) return true;
  Fail(std::string(what) + " number " + Num(tool) + " lies outside 1 to 1000.");
  return false;
}

namespace {
// The layer index of group 8: a number, or for tool records a letter and
// a number.
bool LayerIndex(const TJobFields& f, bool letter, int32_t& index) {
  std::string_view text = f.LayerText;
  if (letter && !text.empty() && text[0] >= 'A' && text[0] <= 'Z') text.remove_prefix(1);
  if (text.empty()) {
    index = 0;
    return true;
  }
  if (!IsNumberText(text)) return false;
  // The whole text is already converted in the record's fields.
  index = text.size() == f.LayerText.size() ? f.Layer : StrToIntLenient(std::string(text));
  return true;
}
}  // namespace

bool TJobFileLoader::CheckRoutLayer(const TJobFields& f, int32_t& layer) {
  int32_t index = 0;
  if (!LayerIndex(f, true, index) || index < 0 || index > 4) {
    Fail("the layer \"" + f.LayerText + "\" lies outside the rout layers 0 to 4.");
    return false;
  }
  layer = kFirstRoutLayer + index;
  return true;
}

bool TJobFileLoader::CheckRoom(int32_t& count, int32_t highest, const char* store) {
  if (++count <= highest) return true;
  Fail("the " + std::string(store) + " takes at most " + Num(highest) + " entities.");
  return false;
}

bool TJobFileLoader::CheckCount(int32_t count) {
  if (count >= 0 && count <= kMaxStepCopies) return true;
  Fail("the repeat count " + Num(count) + " lies outside 0 to " + Num(kMaxStepCopies) + ".");
  return false;
}

// ---- TJobFileLoader: entities ------------------------------------------------------------------

void TJobFileLoader::AddCad(uint8_t type, const TJobFields& f) {
  int32_t index = 0;
  if (!LayerIndex(f, false, index) || index < 0 || index > 29) {
    Fail("the layer \"" + f.LayerText + "\" lies outside the CAD layers 0 to 29.");
    return;
  }
  if (!CheckRoom(CadCount_, TEntityArray::HighestIndex, "CAD drawing")) return;
  TJobContents::TEntity e;
  e.Type = type;
  e.Layer = uint8_t(index);
  e.X = f.X, e.Y = f.Y, e.X2 = f.X2, e.Y2 = f.Y2, e.X3 = f.X3, e.Y3 = f.Y3;
  e.Radius = f.Radius;
  Contents.AddEntity(e);
}

void TJobFileLoader::AddDrill(uint8_t type, const TJobFields& f) {
  int32_t index = 0;
  if (!LayerIndex(f, false, index) || index < 0 || index > 9) {
    Fail("the layer \"" + f.LayerText + "\" lies outside the drill layers 0 to 9.");
    return;
  }
  if (!CheckTool(f.Tool, "the tool")) return;
  if (!CheckRoom(DrillCount_, TDrillEntities::HighestIndex, "drill database")) return;
  if (type == etDrillHole) {
    Contents.AddDrillHole(uint8_t(kFirstDrillLayer + index), f.X, f.Y, f.Tool, f.StepId);
    return;
  }
  TJobContents::TEntity e;
  e.Type = type;
  e.Layer = uint8_t(30 + index);
  e.X = f.X, e.Y = f.Y, e.X2 = f.X2, e.Y2 = f.Y2;
  e.Radius = f.Radius;
  e.Tool = f.Tool;
  e.StepId = f.StepId;
  e.Flag = f.Vertical != 0 ? 1 : 0;
  if (type == etDrillText) {
    e.Text = int32_t(Contents.Texts.size());
    Contents.Texts.push_back(f.Text);
  }
  Contents.AddEntity(e);
}

void TJobFileLoader::AddRout(uint8_t type, const TJobFields& f) {
  int32_t index = 0;
  if (!LayerIndex(f, false, index) || index < 0 || index > 4) {
    Fail("the layer \"" + f.LayerText + "\" lies outside the rout layers 0 to 4.");
    return;
  }
  const bool hasTool = type == etRoutJog || type == etRoutCircle || type == etRoutHole;
  if (hasTool && !CheckTool(f.Tool, "the tool")) return;
  if ((type == etRoutJog || type == etRoutCircle) && (f.Index < 0 || f.Index > kToolCount)) {
    Fail("the compensation index " + Num(f.Index) + " lies outside 0 to 1000.");
    return;
  }
  if (type == etRoutJog && (f.Side < 0 || f.Side > 2)) {
    Fail("the compensation side " + Num(f.Side) + " is not 0, 1 or 2.");
    return;
  }
  const int32_t feed = f.G[1];
  if (feed < 0 || feed > 65535) {
    Fail("the feed rate " + Num(feed) + " lies outside 0 to 65535.");
    return;
  }
  if (f.HoldOff < 0 || f.HoldOff > 255) {
    Fail("the hold-off " + Num(f.HoldOff) + " lies outside 0 to 255.");
    return;
  }
  if (!CheckRoom(RoutCount_, TRoutEntities::HighestIndex, "rout database")) return;
  TJobContents::TEntity e;
  e.Type = type;
  e.Layer = uint8_t(kFirstRoutLayer + index);
  e.X = f.X, e.Y = f.Y, e.X2 = f.X2, e.Y2 = f.Y2;
  e.Radius = f.Radius;
  e.Tool = f.Tool;
  e.Index = f.Index;
  e.Side = uint8_t(f.Side);
  e.Flag = f.Flag42 != 0 ? 1 : 0;
  e.StepId = f.StepId;
  e.Feed = feed;
  e.ZOffset = f.G[3];
  e.HoldOff = uint8_t(f.HoldOff);
  if (type == etRoutCommand) {
    e.Text = int32_t(Contents.Texts.size());
    Contents.Texts.push_back(f.Text);
  }
  Contents.AddEntity(e);
}

inline bool TJobFileLoader::TakeHole(const TPlainHole& hole) {
  // Anything AddDrill would refuse takes the general way, which says why.
  if (hole.Layer < 0 || hole.Layer > 9 || !ValidToolNumber(hole.Tool) ||
      DrillCount_ >= TDrillEntities::HighestIndex)
    return false;
  ++DrillCount_;
  Contents.AddDrillHole(uint8_t(kFirstDrillLayer + hole.Layer), hole.X, hole.Y, hole.Tool,
                        hole.StepId);
  return true;
}

bool TJobFileLoader::TakePlainHole(const TPlainHole& hole) { return TakeHole(hole); }

// A job's holes pass here by the million: each is taken and made in place,
// without a call.
[[gnu::flatten]] void TJobFileLoader::ReadPlainHoles() {
  ReadPlainHoleRun([this](const TPlainHole& hole) { return TakeHole(hole); });
}

// ---- TJobFileLoader: tools and origins -----------------------------------------------------

void TJobFileLoader::SetDrillTool(const TJobFields& f) {
  if (!CheckTool(f.Tool, "the drill tool")) return;
  Contents.AddDrillTool(
      {f.Tool, f.G[0], f.G[1], f.G[2], f.G[3], f.G[4], uint8_t(f.G[5] != 0 ? 1 : 0)});
}

void TJobFileLoader::SetRoutTool(const TJobFields& f) {
  int32_t layer = 0;
  if (!CheckRoutLayer(f, layer) || !CheckTool(f.Tool, "the rout tool")) return;
  if (f.G[1] < 0 || f.G[1] > 65535 || f.G[6] < 0 || f.G[6] > 65535) {
    Fail("a feed rate of rout tool " + Num(f.Tool) + " lies outside 0 to 65535.");
    return;
  }
  Contents.RoutTools.push_back({layer, f.Tool, f.G[0], f.G[1], f.G[6], f.G[3]});
}

void TJobFileLoader::SetCompIndex(const TJobFields& f) {
  int32_t layer = 0;
  if (!CheckRoutLayer(f, layer) || !CheckTool(f.Index, "the rout tool")) return;
  Contents.CompIndices.push_back({layer, f.Index, f.G[3]});
}

void TJobFileLoader::SetDrillG93(const TJobFields& f) {
  Contents.HasDrillG93 = true;
  Contents.DrillG93X = f.X;
  Contents.DrillG93Y = f.Y;
}

void TJobFileLoader::SetRoutG93(const TJobFields& f) {
  int32_t index = 0;
  if (!LayerIndex(f, false, index) || index < 0 || index > 4) {
    Fail("the layer \"" + f.LayerText + "\" lies outside the rout layers 0 to 4.");
    return;
  }
  Contents.RoutG93s.push_back({kFirstRoutLayer + index, f.X, f.Y});
}

// ---- TJobFileLoader: step lists -----------------------------------------------------------

void TJobFileLoader::BeginStepList() { List_.clear(); }

void TJobFileLoader::AddStepMark(const TJobFields& f) {
  const int32_t count = f.HasCount ? f.Count : 1;
  if (!CheckCount(count)) return;
  List_.push_back({1, count, 0, 0, 0});
}

void TJobFileLoader::AddStep(const TJobFields& f) {
  const int32_t count = f.HasCount ? f.Count : 1;
  if (!CheckCount(count)) return;
  if (f.Orientation < 0 || f.Orientation > 7) {
    Fail("the orientation " + Num(f.Orientation) + " lies outside 0 to 7.");
    return;
  }
  List_.push_back({0, count, f.X, f.Y, uint8_t(f.Orientation)});
}

void TJobFileLoader::EndStepList(const TJobFields& f) {
  TJobContents::TStepList list;
  list.Id = f.StepId > 0 ? f.StepId
                         : (Contents.StepLists.empty() ? 1 : Contents.StepLists.back().Id + 1);
  list.NestedId = f.NestedId > 0 ? f.NestedId : 0;
  list.Line = RecordLine();
  if (!StepListIds_.insert(list.Id).second) {
    Fail("step list " + Num(list.Id) + " is defined twice.");
    return;
  }
  list.Commands = std::move(List_);
  List_.clear();
  Contents.StepLists.push_back(std::move(list));
}

void TJobFileLoader::ResolveSteps() {
  std::unordered_map<int32_t, const TJobContents::TStepList*> byId;
  for (const TJobContents::TStepList& l : Contents.StepLists) byId[l.Id] = &l;
  for (const TJobContents::TStepList& l : Contents.StepLists) {
    int32_t levels = 1;
    for (const TJobContents::TStepList* s = &l; s->NestedId > 0;) {
      auto it = byId.find(s->NestedId);
      if (it == byId.end()) break;  // names no list: nothing is nested
      s = it->second;
      if (s == &l) {
        FailAt(l.Line, "step list " + Num(l.Id) + " nests itself.");
        return;
      }
      if (++levels > 3) {
        FailAt(l.Line, "step list " + Num(l.Id) + " nests more than three levels deep.");
        return;
      }
    }
  }
  // The lists the entities use, with the levels they nest, are built as
  // step objects when the job is put in; the others are read and checked
  // but never expanded, and cost nothing here. A chain that does not expand
  // as the job would expand it (more than kMaxStepCopies copies, an offset
  // outside the coordinate range) is no fault of the file: its entities are
  // put in without it (CommitJobContents says which) and it draws no copies.
  // All of them together, commands and the copies made up to where each
  // stopped, come to no more than a job file may hold (JobFileStepWorkLimit).
  std::unordered_set<int32_t> used;
  auto use = [&](int32_t id) {
    for (int32_t level = 0; id > 0 && level < kMaxStepLevels && used.insert(id).second; ++level) {
      auto it = byId.find(id);
      if (it == byId.end()) break;
      id = it->second->NestedId;
    }
  };
  if (!Contents.StepLists.empty()) {
    for (const auto& [index, id] : Contents.HoleSteps) use(id);
    Contents.ForEachEntity([&](const TJobContents::TEntity& e) {
      if (e.StepId > 0 && JobEntityCarriesSteps(e.Type)) use(e.StepId);
    });
  }
  int64_t work = 0;
  for (TJobContents::TStepList& l : Contents.StepLists) {
    l.Used = used.count(l.Id) != 0;
    if (!l.Used) continue;
    TStepCommandList chain = l.Commands;
    for (const TJobContents::TStepList* s = &l; s->NestedId > 0;) {
      auto it = byId.find(s->NestedId);
      if (it == byId.end()) break;
      s = it->second;
      chain.insert(chain.end(), s->Commands.begin(), s->Commands.end());
    }
    TStepCommandList offsets;
    int32_t position = 0;
    l.Copies = ExpandStepList(false, chain, offsets, position) ? int32_t(offsets.size()) : 0;

    work += StepChainWork(chain.size(), offsets.size());
    if (work > JobFileStepWorkLimit()) {
      FailAt(l.Line, "the step lists up to step list " + Num(l.Id) + " come to more than " +
                         IntToStrGrouped(static_cast<int32_t>(std::min<int64_t>(JobFileStepWorkLimit(), INT32_MAX))) +
                         " commands and copies.");
      return;
    }
  }
  CheckDrawnCopies();
}

bool TJobFileLoader::CheckDrawnCopies() {
  if (Contents.StepLists.empty()) return true;
  // The entities that use each list (the lines and arcs of a rout path
  // count for its start's list, whose copies they are drawn with).
  std::unordered_map<int32_t, int64_t> users;
  for (const auto& [index, id] : Contents.HoleSteps) ++users[id];
  std::array<int32_t, 256> pathStep{};
  Contents.ForEachEntity([&](const TJobContents::TEntity& e) {
    switch (e.Type) {
      case etRoutJog:
        pathStep[e.Layer] = e.StepId;
        ++users[e.StepId];
        break;
      case etRoutLine:
      case etRoutArc:
      case etRoutArcReverse:
        ++users[pathStep[e.Layer]];
        break;
      default:
        if (JobEntityCarriesSteps(e.Type)) ++users[e.StepId];
        break;
    }
  });
  int64_t copies = 0;
  for (const TJobContents::TStepList& l : Contents.StepLists) {
    if (!l.Used) continue;
    const auto it = users.find(l.Id);
    if (it == users.end()) continue;
    copies += it->second * l.Copies;
    if (copies > JobFileDrawnCopiesLimit()) {
      FailAt(l.Line, "the entities using the step lists up to step list " + Num(l.Id) +
                         " come to more than " +
                         IntToStrGrouped(int32_t(JobFileDrawnCopiesLimit())) +
                         " copies: drawing them would take hours.");
      return false;
    }
  }
  return true;
}

// ---- TJobContents: the packed entity list ---------------------------------------------------

namespace {
// Head word: bits 0-7 type, 8-15 layer, 16-17 side, 18 flag, 19 a step id
// follows the fields, 24-31 hold-off.
constexpr uint32_t kHasStepBit = 1u << 19;

}  // namespace

const TJobContents::TFieldList& TJobContents::FieldsOf(uint8_t type) {
  using E = TEntity;
  static constexpr TFieldList kFields[16] = {
      {0, {}},
      {2, {&E::X, &E::Y}},                                              // CAD point
      {4, {&E::X, &E::Y, &E::X2, &E::Y2}},                              // CAD line
      {6, {&E::X, &E::Y, &E::X2, &E::Y2, &E::X3, &E::Y3}},              // CAD arc
      {3, {&E::X, &E::Y, &E::Radius}},                                  // CAD circle
      {4, {&E::X, &E::Y, &E::Tool, &E::Index}},                         // rout jog
      {4, {&E::X, &E::Y, &E::Feed, &E::ZOffset}},                       // rout line
      {6, {&E::X, &E::Y, &E::X2, &E::Y2, &E::Feed, &E::ZOffset}},       // rout arc
      {6, {&E::X, &E::Y, &E::X2, &E::Y2, &E::Feed, &E::ZOffset}},       // rout arc, clockwise
      {7, {&E::X, &E::Y, &E::Radius, &E::Tool, &E::Index, &E::Feed, &E::ZOffset}},  // rout circle
      {3, {&E::X, &E::Y, &E::Tool}},                                    // rout hole
      {3, {&E::X, &E::Y, &E::Text}},                                    // rout command
      {3, {&E::X, &E::Y, &E::Tool}},                                    // drill hole
      {5, {&E::X, &E::Y, &E::X2, &E::Y2, &E::Tool}},                    // drill slot
      {4, {&E::X, &E::Y, &E::Radius, &E::Tool}},                        // drill circle
      {4, {&E::X, &E::Y, &E::Tool, &E::Text}},                          // drill text
  };
  return kFields[type < 16 ? type : 0];
}

void TJobContents::AddEntity(const TEntity& e) {
  if (e.Type == etDrillHole) {
    AddDrillHole(e.Layer, e.X, e.Y, e.Tool, e.StepId);
    return;
  }
  if (e.Type > etDrillHole) {
    if (Drill.Append(NCLayerBit(e.Layer)) == nullptr) return;  // more than a store takes
    DrillSlotsWaiting.push_back(Drill.Count());
  }
  const bool step = e.StepId != 0 && JobEntityCarriesSteps(e.Type);
  const uint32_t head = uint32_t(e.Type) | uint32_t(e.Layer) << 8 | uint32_t(e.Side & 3) << 16 |
                        uint32_t(e.Flag != 0) << 18 | (step ? kHasStepBit : 0) |
                        uint32_t(e.HoldOff) << 24;
  EntityWords_.push_back(int32_t(head));
  const TFieldList& fields = FieldsOf(e.Type);
  for (int32_t i = 0; i < fields.Count; ++i) EntityWords_.push_back(e.*fields.Fields[i]);
  if (step) EntityWords_.push_back(e.StepId);
  ++EntityCount_;
}

void TJobContents::AddDrillHole(uint8_t layer, int32_t x, int32_t y, int32_t tool,
                                int32_t stepId) {
  if (!ValidToolNumber(tool)) return;  // the loader checked it, and the room
  TEntitySlot* slot = Drill.Append(NCLayerBit(layer));
  if (slot == nullptr) return;
  slot->Entity = new TDrillHole({x, y}, uint16_t(tool), ToolDiameters_[std::size_t(tool)]);
  HoleTools_[std::size_t(tool)] = true;
  if (stepId != 0) HoleSteps.push_back({Drill.Count(), stepId});
  ++EntityCount_;
}

void TJobContents::AddDrillTool(const TDrillTool& tool) {
  DrillTools.push_back(tool);
  if (!ValidToolNumber(tool.Tool)) return;
  int32_t& diameter = ToolDiameters_[std::size_t(tool.Tool)];
  if (HoleTools_[std::size_t(tool.Tool)] && diameter != tool.Diameter) HoleBandsStale_ = true;
  diameter = tool.Diameter;
}

bool TJobContents::HoleBandsHold() const {
  if (HoleBandsStale_) return false;
  for (int32_t t = 1; t <= kToolCount; ++t)
    if (HoleTools_[std::size_t(t)] && ToolTable[t].Diameter != ToolDiameters_[std::size_t(t)])
      return false;
  return true;
}

TJobContents::TEntity TJobContents::Unpack(const int32_t*& word) {
  TEntity e;
  const uint32_t head = uint32_t(*word++);
  e.Type = uint8_t(head);
  e.Layer = uint8_t(head >> 8);
  e.Side = uint8_t((head >> 16) & 3);
  e.Flag = uint8_t((head >> 18) & 1);
  e.HoldOff = uint8_t(head >> 24);
  const TFieldList& fields = FieldsOf(e.Type);
  for (int32_t i = 0; i < fields.Count; ++i) e.*fields.Fields[i] = *word++;
  if ((head & kHasStepBit) != 0) e.StepId = *word++;
  return e;
}

namespace {
int64_t jobStepWorkLimit = kMaxJobStepWork;
int64_t jobDrawnCopiesLimit = kMaxEditedDrawnCopies;
}  // namespace

int64_t JobStepWorkLimit() { return jobStepWorkLimit; }

void SetJobStepWorkLimit(int64_t work) { jobStepWorkLimit = work > 0 ? work : kMaxJobStepWork; }

int64_t JobDrawnCopiesLimit() { return jobDrawnCopiesLimit; }

void SetJobDrawnCopiesLimit(int64_t copies) {
  jobDrawnCopiesLimit = copies > 0 ? std::min(copies, kMaxEditedDrawnCopies) : kMaxEditedDrawnCopies;
}

bool JobEntityCarriesSteps(uint8_t type) {
  return type >= etDrillHole || type == etRoutJog || type == etRoutCircle || type == etRoutHole ||
         type == etRoutCommand;
}

// ---- Reading and loading -------------------------------------------------------------------

bool ReadJobFile(const std::string& fileName, TJobContents& contents) {
  TJobFileLoader loader(fileName);
  // Room for the entities of the list a file of this size rarely exceeds
  // (a CAD point, the shortest record, takes some 35 bytes of file and 12
  // of the list; memory not written is never touched).
  if (const int64_t size = FileSizeOf(fileName); size > 0)
    loader.Contents.ReserveEntityWords(std::size_t(size / 12) + 16);
  if (!loader.Run()) return false;
  contents = std::move(loader.Contents);
  contents.SkippedRecords = loader.SkippedRecords();
  contents.SkippedLines = loader.SkippedLines();
  return true;
}

namespace {

// The chain depth of each step list (1 when nothing is nested).
int32_t ChainDepth(const TJobContents::TStepList& list,
                   const std::unordered_map<int32_t, const TJobContents::TStepList*>& byId) {
  int32_t depth = 1;
  const TJobContents::TStepList* s = &list;
  while (s->NestedId > 0 && depth <= 3) {
    auto it = byId.find(s->NestedId);
    if (it == byId.end()) break;
    s = it->second;
    ++depth;
  }
  return depth;
}

// CurrentLayer for the guard's lifetime (the rout command add works on it).
class TCurrentLayerGuard {
 public:
  explicit TCurrentLayerGuard(uint8_t layer) : Saved_(CurrentLayer) { CurrentLayer = layer; }
  ~TCurrentLayerGuard() { CurrentLayer = Saved_; }
  TCurrentLayerGuard(const TCurrentLayerGuard&) = delete;
  TCurrentLayerGuard& operator=(const TCurrentLayerGuard&) = delete;

 private:
  uint8_t Saved_;
};

// Keeps the rout journal out of the way while a job is put in.
class TRoutJournalPause {
 public:
  TRoutJournalPause() : Saved_(RoutUndo) { RoutUndo = nullptr; }
  ~TRoutJournalPause() { RoutUndo = Saved_; }
  TRoutJournalPause(const TRoutJournalPause&) = delete;
  TRoutJournalPause& operator=(const TRoutJournalPause&) = delete;

 private:
  TRoutUndo* Saved_;
};

// What an entity is called in the lines on patterns not applied.
const char* JobEntityName(uint8_t type) {
  switch (type) {
    case etDrillHole: return "drill hole";
    case etDrillSlot: return "drill slot";
    case etDrillCircle: return "drill circle";
    case etDrillText: return "drill text";
    case etRoutJog: return "rout path";
    case etRoutCircle: return "rout circle";
    case etRoutHole: return "rout hole";
    default: return "rout command";
  }
}

// Whether the chain expands whole with every copy of the points inside the
// coordinate range.
bool ChainExpandsAt(const TStepObject& step, std::span<const TIntPoint> points) {
  if (!step.ChainWhole()) return false;
  for (const TIntPoint& p : points)
    if (!step.CopiesInRange(p)) return false;
  return true;
}

}  // namespace

void CommitJobContents(TJobContents& c) {
  for (const auto& t : c.DrillTools)
    ToolTable[t.Tool] = {t.Diameter, t.Feed, t.Speed, t.ZOffset, t.MaxHits, t.FirstLastHit};
  // A tool listed is the record's, its compensation diameter its COMPINDEX
  // record's (none: 0, as the writer leaves it out then); the others stay
  // as the cleared job has them.
  for (const auto& t : c.RoutTools)
    RoutToolPages[t.Layer][t.Tool] = {t.Diameter, 0, uint16_t(t.HighFeed), uint16_t(t.LowFeed), t.ZOffset};
  for (const auto& t : c.CompIndices) RoutToolPages[t.Layer][t.Tool].CompDiameter = t.Value;
  if (c.HasDrillG93 && DRDB != nullptr) {
    DRDB->G93OriginX = c.DrillG93X;
    DRDB->G93OriginY = c.DrillG93Y;
  }
  if (RTDB != nullptr)
    for (const auto& g : c.RoutG93s) RTDB->G93Origins[g.Layer] = {g.X, g.Y};

  // Step objects: each held by this routine until the entities took theirs;
  // the outer levels are set innermost first so that every chain expands
  // over finished levels.
  std::unordered_map<int32_t, const TJobContents::TStepList*> lists;
  for (const auto& l : c.StepLists) lists[l.Id] = &l;
  std::unordered_map<int32_t, TStepObject*> objects;
  std::vector<std::pair<int32_t, const TJobContents::TStepList*>> byDepth;
  TQuietStepExpansion quiet;  // a chain that cannot expand is left out below, and named
  for (const auto& l : c.StepLists) {
    // A list no entity uses is never built (ResolveSteps did not expand it).
    if (!l.Used) continue;
    auto* object = new TStepObject(l.Commands);
    object->AddRef();
    objects[l.Id] = object;
    byDepth.push_back({ChainDepth(l, lists), &l});
  }
  std::stable_sort(byDepth.begin(), byDepth.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [depth, l] : byDepth) {
    if (depth < 2) continue;
    objects[l->Id]->SetNested(objects.at(l->NestedId));
  }
  auto stepOf = [&](int32_t id) -> TStepObject* {
    if (id <= 0) return nullptr;
    auto it = objects.find(id);
    return it == objects.end() ? nullptr : it->second;
  };
  auto leaveOut = [&](uint8_t type, const TIntPoint& at) {
    if (++c.UnappliedSteps > int64_t(TJobContents::kMaxStepNotices)) return;
    const double unit = UnitsPerDisplayUnit;
    c.StepNotices.push_back(std::string("the ") + JobEntityName(type) + " at X " + RealToStr(at.X / unit) +
                            " Y " + RealToStr(at.Y / unit));
  };
  // The chain of the id for an entity at the points: nullptr, the entity
  // named, when it cannot expand there.
  auto stepAt = [&](int32_t id, uint8_t type, std::span<const TIntPoint> points) -> TStepObject* {
    TStepObject* step = stepOf(id);
    if (step == nullptr || ChainExpandsAt(*step, points)) return step;
    leaveOut(type, points.front());
    return nullptr;
  };
  // The lines and arcs of a rout path are drawn with the chain of its
  // start: a path start whose chain would put a copy of one of them
  // outside the range loses it once the layer's entities are in.
  struct TPathStart {
    int32_t Handle = 0;
    TStepObject* Step = nullptr;
    TIntPoint At;
  };
  std::array<TPathStart, 256> paths{};
  std::vector<TPathStart> pathsLeft;

  if (Seq != nullptr)
    for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) Seq->SetInsertAtEnd(l);

  // A load is no edit: nothing is journalled, and nothing is drawn until
  // the caller shows the job. The drill entities other than holes fill the
  // slots the batch of holes keeps for them, which then goes into the store
  // in one piece.
  TRoutJournalPause pause;
  std::size_t waiting = 0;
  c.ForEachEntity([&](const TJobContents::TEntity& e) {
    const TIntPoint p{e.X, e.Y};
    if (e.Type <= etCadCircle) {
      if (DB == nullptr) return;
      DisplayedLayerMask |= CadLayerBit(e.Layer);
      TCadEntity* entity = nullptr;
      switch (e.Type) {
        case etCadPoint: entity = new TCadPoint(e.X, e.Y); break;
        case etCadLine: entity = TCadDatabase::NewLineOrPoint(e.X, e.Y, e.X2, e.Y2); break;
        case etCadArc: entity = new TCadArc(e.X, e.Y, e.X2, e.Y2, e.X3, e.Y3); break;
        default: entity = new TCadCircle(e.X, e.Y, e.Radius); break;
      }
      DB->AppendEntity(entity, e.Layer);
    } else if (e.Type >= etDrillHole) {
      if (DRDB == nullptr) return;
      const uint16_t tool = uint16_t(e.Tool);
      TDrillEntity* entity = nullptr;
      switch (e.Type) {
        case etDrillSlot: entity = new TDrillSlot(p, {e.X2, e.Y2}, tool); break;
        case etDrillCircle: entity = new TDrillCircle(p, e.Radius, tool); break;
        default:
          entity = new TDrillText(p, c.Texts[std::size_t(e.Text)], e.Flag != 0, tool);
          break;
      }
      if (e.StepId > 0)
        if (TStepObject* step = stepAt(e.StepId, e.Type, entity->StepPoints())) entity->SetStepObj(step);
      c.Drill.At(c.DrillSlotsWaiting[waiting++]).Entity = entity;
    } else {
      if (RTDB == nullptr) return;
      const uint16_t feed = uint16_t(e.Feed);
      int32_t h = 0;
      switch (e.Type) {
        case etRoutJog: h = RTDB->AddJog(p, e.Layer, e.Side, e.Tool, e.Index); break;
        case etRoutLine: h = RTDB->AddLine(p, e.Layer, feed, e.ZOffset); break;
        case etRoutArc:
        case etRoutArcReverse:
          h = RTDB->AddArc(p, e.Layer, feed, e.Type == etRoutArcReverse, {e.X2, e.Y2}, e.ZOffset);
          break;
        case etRoutCircle:
          h = RTDB->AddCircle(p, e.Layer, e.Tool, feed, e.Index, e.Radius, e.Flag != 0,
                              e.ZOffset);
          break;
        case etRoutHole: h = RTDB->AddHole(p, e.Layer, e.Tool); break;
        default: {
          TCurrentLayerGuard layer(e.Layer);
          h = RTDB->AddCommand(p, c.Texts[std::size_t(e.Text)], uint8_t(e.HoldOff));
          break;
        }
      }
      const bool carrier = e.Type == etRoutJog || e.Type == etRoutCircle ||
                           e.Type == etRoutHole || e.Type == etRoutCommand;
      TPathStart& path = paths[e.Layer];
      if (e.Type == etRoutJog) path = {};
      if (TStepObject* step = carrier ? stepAt(e.StepId, e.Type, std::span(&p, 1)) : nullptr)
        if (TRoutEntity* entity = RTDB->EntityAt(h)) {
          entity->SetStepObj(step);
          if (e.Type == etRoutJog) path = {h, step, p};
        }
      const bool drawn = e.Type == etRoutLine || e.Type == etRoutArc || e.Type == etRoutArcReverse;
      if (drawn && path.Step != nullptr) {
        const TIntPoint points[2] = {p, {e.X2, e.Y2}};
        if (!ChainExpandsAt(*path.Step, std::span(points, e.Type == etRoutLine ? 1 : 2))) {
          pathsLeft.push_back(path);
          path = {};
        }
      }
    }
  });
  for (const TPathStart& path : pathsLeft)
    if (TRoutEntity* start = RTDB->EntityAt(path.Handle)) {
      start->SetStepObj(nullptr);
      leaveOut(etRoutJog, path.At);
    }
  if (DRDB != nullptr && c.Drill.Count() > 0) {
    for (const auto& [index, id] : c.HoleSteps) {
      TRootDBObject* hole = c.Drill.At(index).Entity;
      TIntPoint at;
      hole->GetPoint(at);
      if (TStepObject* step = stepAt(id, etDrillHole, std::span(&at, 1))) hole->SetStepObj(step);
    }
    // A tool record behind the holes, or a tool table the file left as it
    // was, may have given a hole's tool another diameter than the one it
    // was made with.
    if (!c.HoleBandsHold())
      for (int32_t i = 1; i <= c.Drill.Count(); ++i) c.Drill.At(i).Entity->ComputeShadow();
    DatabaseModified = true;
    DRDB->TakeEntities(c.Drill);
  }

  // Lists no entity uses are freed here.
  for (auto& [id, object] : objects) ReleaseStepObject(object);
}

bool LoadJobFile(const std::string& fileName) {
  TJobContents contents;
  if (!ReadJobFile(fileName, contents)) return false;
  CommitJobContents(contents);
  return true;
}
