#include "tapeout/rout_tape_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <utility>

#include "foundation/display_units.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/nc_format.h"
#include "foundation/tape_feed.h"
#include "foundation/utilities.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_edit.h"
#include "model/rout_entities.h"
#include "model/rout_sequence.h"
#include "model/view_services.h"
#include "platform/forms.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "tapein/nc_reader.h"
#include "tapeout/drill_tape_writer.h"
#include "tapeout/rout_arc_blocks.h"

// ---- Swap-writer protocol ------------------------------------------------------------

TSwapTapeFrame ReadSwapTapeFrame(const std::string& swapFileList) {
  TSwapTapeFrame frame;
  std::size_t start = 0;
  while (start <= swapFileList.size()) {
    std::size_t end = swapFileList.find(';', start);
    if (end == std::string::npos) end = swapFileList.size();
    const std::string name = TrimBlanks(swapFileList.substr(start, end - start));
    start = end + 1;
    if (name.empty() || !FileExistsNoWild(name)) continue;
    std::FILE* in = std::fopen(NativePath(name).c_str(), "rb");
    if (in == nullptr) continue;
    // A line beyond the bound ends the reading; loading the filter reports it.
    std::string raw;
    while (ReadTextLineLimited(in, raw) == lrLine) {
      std::string line;
      for (char c : raw)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') line += c;
      const std::string upper = UpperCaseStr(line);
      const bool header = upper.rfind("HEADER=", 0) == 0;
      const bool trailer = upper.rfind("TRAILER=", 0) == 0;
      if (!header && !trailer) continue;
      const std::string text = line.substr(line.find('=') + 1);
      if (header) {
        frame.Header.push_back(text);
        if (UpperCaseStr(text).find("M48") != std::string::npos) frame.HeaderHasM48 = true;
      } else {
        frame.Trailer.push_back(text);
        if (UpperCaseStr(text).find("M30") != std::string::npos) frame.TrailerHasM30 = true;
      }
    }
    std::fclose(in);
  }
  // The M48 block: from the first line holding M48 to the first "%" or M95
  // line after it.
  const std::vector<std::string>& h = frame.Header;
  std::size_t at = 0;
  while (at < h.size() && UpperCaseStr(h[at]).find("M48") == std::string::npos) ++at;
  for (++at; at < h.size(); ++at) {
    const std::string upper = UpperCaseStr(h[at]);
    if (upper == "%" || upper.rfind("M95", 0) == 0) break;
    if (!frame.HeaderHasUnits && (upper.rfind("INCH", 0) == 0 || upper.rfind("METRIC", 0) == 0)) {
      frame.HeaderHasUnits = true;
      frame.HeaderUnits = at;
    }
  }
  frame.HeaderClose = std::min(at, h.size());
  return frame;
}

std::string TapeUnitsLine(bool metric, uint8_t zerosUsed) {
  const bool leading = zerosUsed == 0 || zerosUsed == 2;
  return std::string(metric ? "METRIC" : "INCH") + (leading ? ",LZ" : ",TZ");
}

TTapeSwapWriter::~TTapeSwapWriter() { Abandon(); }

bool TTapeSwapWriter::Open(const std::string& fileName, uint8_t filter) {
  Abandon();
  std::string swapFile;
  if (filter != 0) {
    swapFile = filter <= FilterCount ? ExportFilters[filter].SwapFile : std::string();
    if (!FileExistsNoWild(swapFile)) {
      ErrorBox(" Cannot find specified swap file " + swapFile + "!");
      return false;
    }
  }
  // The tape is built in an anonymous scratch file and written over the
  // target in one step by Commit.
  file_ = std::tmpfile();
  if (!file_) {
    ReportIOError(errno, "opening a file");
    return false;
  }
  target_ = fileName;
  filter_ = filter;
  frame_ = ReadSwapTapeFrame(swapFile);
  swap_.Init(swapFile, file_);
  swapOpen_ = true;
  return true;
}

void TTapeSwapWriter::WriteLine(const std::string& line) {
  if (!swapOpen_) return;
  const long before = file_ != nullptr ? std::ftell(file_) : -1;
  swap_.WriteLine(line);
  if (file_ != nullptr && std::ftell(file_) != before) ++linesOut_;
}

void TTapeSwapWriter::WriteHeader() {
  for (std::size_t i = 0; i < frame_.HeaderClose && i < frame_.Header.size(); ++i) WriteLine(frame_.Header[i]);
}

void TTapeSwapWriter::CloseHeader() {
  if (frame_.HeaderClose >= frame_.Header.size()) WriteLine("%");
  for (std::size_t i = frame_.HeaderClose; i < frame_.Header.size(); ++i) WriteLine(frame_.Header[i]);
}

void TTapeSwapWriter::StateUnits(const std::string& units, bool point) {
  if (!frame_.HeaderHasUnits) return;
  std::string& own = frame_.Header[frame_.HeaderUnits];
  const std::string upper = UpperCaseStr(own);
  const auto zeros = [](const std::string& line) {
    return line.find(",LZ") != std::string::npos ? 'L' : line.find(",TZ") != std::string::npos ? 'T' : ' ';
  };
  const bool sameUnit = (upper.rfind("INCH", 0) == 0) == (units.rfind("INCH", 0) == 0);
  if (!sameUnit || (!point && zeros(upper) != zeros(units))) own = units;
}

void TTapeSwapWriter::WriteTrailer() {
  for (const std::string& line : frame_.Trailer) WriteLine(line);
}

bool TTapeSwapWriter::Commit() {
  if (!file_) return false;
  int code = swap_.IOResultCode();
  swap_.Done();
  swapOpen_ = false;
  std::vector<uint8_t> bytes;
  if (code == 0 && std::fflush(file_) != 0) code = errno ? errno : EIO;
  if (code == 0) {
    std::rewind(file_);
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    if (std::ferror(file_)) code = errno ? errno : EIO;
  }
  std::fclose(file_);
  file_ = nullptr;
  if (code == 0 && !CarriesTextOnly(bytes)) return false;
  if (code == 0 && !WriteFileReplacing(target_, bytes)) code = IOResult();
  if (code != 0) {
    ReportIOError(code, "writing a file");
    return false;
  }
  return true;
}

bool TTapeSwapWriter::CarriesTextOnly(const std::vector<uint8_t>& bytes) const {
  // The writers refuse what they would write themselves; what is left is
  // what the export filter put there: its header and trailer lines and
  // what its rules made of the tape's lines. They are judged as a tape
  // reader reads them: every run of CR and LF ends a line, tape feed (a
  // punch's leader and its rewind stops, a link's XON and XOFF, rubouts)
  // is passed over, and so is the DOS end mark and fill behind the tape's
  // last line. What is left must be text.
  const auto lineAt = [&bytes](std::size_t from, std::size_t to) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()) + from, to - from);
  };
  std::size_t end = bytes.size();
  while (end > 0 && IsDosTailByte(static_cast<char>(bytes[end - 1]))) --end;
  TUncarriedTapeTexts uncarried;
  int32_t line = 1;
  std::size_t start = 0;
  for (std::size_t k = 0; k <= end; ++k) {
    if (k < end && bytes[k] != '\r' && bytes[k] != '\n') continue;
    if (k > start && !ReadsAsTapeText(lineAt(start, k))) uncarried.Note(lineAt(start, k), line);
    if (k + 1 < bytes.size() && bytes[k] == '\r' && bytes[k + 1] == '\n') ++k;
    ++line;
    start = k + 1;
  }
  if (uncarried.Empty()) return true;
  using TText = TUncarriedTapeTexts::TText;
  const auto alone = [](const TText& t) { return "Line " + IntToShortStr(t.Place) + " of the tape, " + t.Shown + ","; };
  const auto listed = [](const TText& t) { return "line " + IntToShortStr(t.Place) + " (" + t.Shown + ")"; };
  std::string text = uncarried.Sentence(alone, "lines of the tape", listed);
  if (filter_ != 0 && filter_ <= FilterCount)
    text += ": the export filter " + ExportFilters[filter_].Name + " (" + ExportFilters[filter_].SwapFile +
            ") puts them there";
  ErrorBox(text + ". The tape is not written.");
  return false;
}

void TTapeSwapWriter::Abandon() {
  if (swapOpen_) {
    swap_.Done();
    swapOpen_ = false;
  }
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

// ---- What a tape carries ---------------------------------------------------------------

bool TUncarriedTapeTexts::Note(std::string_view text, int32_t place) {
  if (!HoldsTapeControlChar(text)) return false;
  ++count_;
  if (named_.size() < kNamed) named_.push_back({place, "\"" + ShowTapeControlChars(text) + "\""});
  return true;
}

std::string TUncarriedTapeTexts::Sentence(const std::function<std::string(const TText&)>& alone,
                                          const std::string& plural,
                                          const std::function<std::string(const TText&)>& listed) const {
  static const std::string kWhat = " characters no tape may carry (shown in angle brackets)";
  if (count_ == 1) return alone(named_.front()) + " holds" + kWhat;
  std::string text = IntToShortStr(count_) + " " + plural + " hold" + kWhat + ": ";
  const int32_t more = count_ - static_cast<int32_t>(named_.size());
  for (std::size_t k = 0; k < named_.size(); ++k) {
    if (k > 0) text += k + 1 == named_.size() && more == 0 ? " and " : ", ";
    text += listed(named_[k]);
  }
  if (more > 0) text += " and " + IntToShortStr(more) + " more";
  return text;
}

std::string OrdinalText(int32_t n) {
  const int32_t tens = n % 100, ones = n % 10;
  if (tens >= 11 && tens <= 13) return IntToShortStr(n) + "th";
  return IntToShortStr(n) + (ones == 1 ? "st" : ones == 2 ? "nd" : ones == 3 ? "rd" : "th");
}

// ---- Numbers -------------------------------------------------------------------------------

TRoutTapeDigits RoutTapeDigits(const TRoutFormatRecord& format) {
  TRoutTapeDigits d;
  d.IntegerDigits = format.Metric ? format.MetricIntegerDigits : format.IntegerDigits;
  d.DecimalDigits = format.Metric ? format.MetricDecimalDigits : format.DecimalDigits;
  return d;
}

namespace {

double UnitsPerTapeUnit(const TRoutFormatRecord& format) {
  return static_cast<double>(UnitsFactorOf(format.Metric));
}

// The value in tape units written by the format's zero mode.
bool FormatTapeValue(const TRoutFormatRecord& format, double value, std::string& text) {
  const TRoutTapeDigits d = RoutTapeDigits(format);
  return FormatTapeDigits(format.ZerosUsed, d.IntegerDigits, d.DecimalDigits, value, text);
}

}  // namespace

bool RoutTapeSteps(const TRoutFormatRecord& format, double units, int64_t& steps) {
  const TRoutTapeDigits d = RoutTapeDigits(format);
  if (d.DecimalDigits < 0 || d.DecimalDigits > 10) return false;
  const double scaled = units / UnitsPerTapeUnit(format) * PowersOfTen[d.DecimalDigits];
  if (!std::isfinite(scaled) || std::fabs(scaled) > 9.0e15) return false;
  steps = static_cast<int64_t>(std::nearbyint(scaled));
  return true;
}

bool RoutTapePoint(const TRoutFormatRecord& format, const TIntPoint& p, int64_t& sx, int64_t& sy) {
  int64_t tx = 0, ty = 0;
  ToTapeAxes(format.Version, p.X, p.Y, tx, ty);
  return RoutTapeSteps(format, static_cast<double>(tx), sx) && RoutTapeSteps(format, static_cast<double>(ty), sy);
}

bool FormatTapeDigits(uint8_t zerosUsed, int32_t integerDigits, int32_t decimalDigits,
                      double value, std::string& text) {
  TNCFormatStatus status = TNCFormatStatus::Fits;
  switch (zerosUsed) {
    case 0:
      text = FormatNCNumberTZ(integerDigits, integerDigits + decimalDigits, value, &status);
      break;
    case 1:
      text = FormatNCNumberLZ(decimalDigits, value, &status);
      break;
    case 2:
      text = FormatNCNumber(integerDigits, integerDigits + decimalDigits, value, &status);
      break;
    default:
      text = FormatDecimalNumber(decimalDigits, value, &status);
      break;
  }
  return status == TNCFormatStatus::Fits;
}

void ToTapeAxes(int32_t version, int64_t x, int64_t y, int64_t& tx, int64_t& ty) {
  switch (version) {
    case 2: tx = y; ty = x; break;
    case 3: tx = y; ty = -x; break;
    case 4: tx = -x; ty = y; break;
    case 5: tx = -y; ty = -x; break;
    case 6: tx = -x; ty = -y; break;
    case 7: tx = x; ty = -y; break;
    case 8: tx = -y; ty = x; break;
    default: tx = x; ty = y; break;
  }
}

bool FormatRoutTapeNumber(const TRoutFormatRecord& format, double value, std::string& text) {
  return FormatTapeValue(format, value / UnitsPerTapeUnit(format), text);
}

// ---- Tape lines --------------------------------------------------------------------------

namespace {

class TRoutTapeBuilder {
 public:
  TRoutTapeBuilder(const TRoutFormatRecord& format, const TRoutToolPage& tools,
                   std::vector<std::string>& lines)
      : f_(format), tools_(tools), lines_(lines), arcs_(format) {}

  bool Build(const TRoutTapeProgram& program, const TSwapTapeFrame& frame);
  std::string Error;
  // The line that closes the tape's header block ("%"); the writer puts the
  // export filter's own close there. npos when the tape has no header.
  std::size_t CloseLine = std::string::npos;
  // The entity to find on the tape, and the line (1-based, among the
  // built lines) of its move; 0 when it was not built.
  int32_t LocateEntity = 0;
  int32_t LocatedLine = 0;

 private:
  // "X..Y.." of a point, absolute or incremental from the last point.
  bool PointWords(const TIntPoint& p, std::string& words);
  bool Word(char letter, int64_t steps, std::string& out);
  bool LengthWord(char letter, double units, std::string& out);
  bool ToolWord(int32_t tool, int32_t compIndex);
  void HeadUp();
  void HeadDown();
  bool FeedWord(uint16_t feed, std::string& out);
  // A block an arc goes out as (TRoutArcBlocks), from the last point.
  bool ArcBlock(const TRoutTapeItem& arc, const TRoutArcBlock& block);
  // Where the head stands.
  TTapePlace Head() const { return {lastPoint_, lastX_, lastY_}; }
  bool Fail(const std::string& what, const std::string& text);
  // False, with the tools named in Error, when a tool whose compensation
  // size the header would state has a negative one.
  bool NoNegativeCompensation(uint8_t layer, const std::set<int32_t>& stated);
  // The program's items as the tape cuts them: a run of items with step
  // copies between a pattern's start and end where the format can state
  // its list, else followed by each copy of it.
  std::vector<TRoutTapeItem> WrittenItems(const TRoutTapeProgram& program) const;

  const TRoutFormatRecord& f_;
  const TRoutToolPage& tools_;
  std::vector<std::string>& lines_;
  int64_t lastX_ = 0, lastY_ = 0;  // last programmed position, tape steps
  TIntPoint lastPoint_;            // the same in database units
  const TRoutArcBlocks arcs_;
  // The blocks of the arc after a line, found with the line's end, and
  // where that end is.
  std::optional<std::pair<TIntPoint, std::vector<TRoutArcBlock>>> arcAfterLine_;
  int32_t motion_ = -1;
  bool headDown_ = false;
  int32_t tool_ = -1, compIndex_ = -1;
  // The tools the header defines with a T..C line: the reader takes a T
  // word of such a number as that tool, not as a tool and a compensation
  // index.
  std::set<int32_t> headerTools_;
};

bool TRoutTapeBuilder::NoNegativeCompensation(uint8_t layer, const std::set<int32_t>& stated) {
  // A tape reader takes no negative CP: it would keep the size its own page
  // holds, and the cut would go along the other side of the path from the
  // one the screen draws. Cutter Config takes none; a page file or an older
  // job may still hold one.
  std::vector<int32_t> negative;
  for (int32_t tool : stated)
    if (ValidToolNumber(tool) && tools_[tool].CompDiameter < 0) negative.push_back(tool);
  if (negative.empty()) return true;
  const std::string unit = f_.Metric ? " mm" : " in";
  std::string named;
  for (std::size_t k = 0; k < negative.size(); ++k) {
    if (k > 0) named += k + 1 == negative.size() ? " and " : ", ";
    named += IntToShortStr(negative[k]) + " (" +
             FormatDecimalNumber(f_.Metric ? 3 : 4, tools_[negative[k]].CompDiameter / UnitsPerTapeUnit(f_)) + unit +
             ")";
  }
  const bool one = negative.size() == 1;
  Error = (one ? "Tool " : "Tools ") + named + " on the tool page of rout layer R" +
          IntToShortStr(layer - kFirstRoutLayer) +
          (one ? " has a negative compensation size" : " have negative compensation sizes") +
          ", which no tape may state: give " + (one ? "it its size" : "them their sizes") +
          " in Cutter Config (Modify menu) before writing the tape. The tape is not written.";
  return false;
}

bool TRoutTapeBuilder::Fail(const std::string& what, const std::string& text) {
  const TRoutTapeDigits d = RoutTapeDigits(f_);
  Error = "The " + what + " " + text + " does not fit the rout output format " +
          IntToShortStr(d.IntegerDigits) + "." + IntToShortStr(d.DecimalDigits) + ".";
  return false;
}

std::vector<TRoutTapeItem> TRoutTapeBuilder::WrittenItems(const TRoutTapeProgram& program) const {
  const std::vector<TRoutTapeItem>& items = program.Items;
  std::vector<TRoutTapeItem> out;
  out.reserve(items.size());
  for (std::size_t begin = 0; begin < items.size();) {
    const int32_t p = items[begin].Pattern;
    std::size_t end = begin + 1;
    while (p != 0 && end < items.size() && items[end].Pattern == p) ++end;
    const TRoutTapePattern* pattern =
        p > 0 && std::size_t(p) <= program.Patterns.size() ? &program.Patterns[p - 1] : nullptr;
    const bool asPattern = pattern != nullptr && RoutTapeStatesPattern(*pattern, f_);
    if (asPattern) {
      TRoutTapeItem start;
      start.Kind = TRoutTapeItemKind::PatternStart;
      out.push_back(std::move(start));
    }
    out.insert(out.end(), items.begin() + begin, items.begin() + end);
    if (asPattern) {
      TRoutTapeItem close;
      close.Kind = TRoutTapeItemKind::PatternEnd;
      close.Steps = TapePatternRepeats(pattern->Commands);
      out.push_back(std::move(close));
    } else if (pattern != nullptr) {
      // Each copy moves and turns the points; a mirrored one runs its arcs
      // the other way round and cuts on the other side, as the screen's
      // copies do.
      for (const TStepCommand& offset : pattern->Offsets) {
        const uint8_t code = offset.Orientation > 7 ? 0 : offset.Orientation;
        const bool mirrored = StepOrientationMirrored(code);
        auto move = [&](TIntPoint& point) {
          StepTransformPointNoExtra(point.X, point.Y, offset.DX, offset.DY, code, point.X, point.Y);
        };
        for (std::size_t k = begin; k < end; ++k) {
          TRoutTapeItem copy = items[k];
          move(copy.Point);
          if (copy.Kind == TRoutTapeItemKind::Arc) {
            move(copy.Centre);
            copy.Clockwise = copy.Clockwise != mirrored;
          }
          if (mirrored && copy.Kind == TRoutTapeItemKind::Jog && copy.CompSide != 0)
            copy.CompSide = copy.CompSide == 1 ? 2 : 1;
          out.push_back(std::move(copy));
        }
      }
    }
    begin = end;
  }
  return out;
}

bool TRoutTapeBuilder::Word(char letter, int64_t steps, std::string& out) {
  const TRoutTapeDigits d = RoutTapeDigits(f_);
  if (d.DecimalDigits < 0 || d.DecimalDigits > 10) return Fail("format", "of the digits");
  std::string text;
  const double value = static_cast<double>(steps) / PowersOfTen[d.DecimalDigits];
  if (!FormatTapeValue(f_, value, text)) {
    // Named by its length in the tape's unit: the digits cut to the format
    // would name another number ("X 1" for 1000.0 mm with leading zeros kept).
    const std::string unit = f_.Metric ? " mm" : " in";
    return Fail(std::string("word ") + letter, FormatDecimalNumber(d.DecimalDigits, value) + unit);
  }
  out += letter;
  out += text;
  return true;
}

bool TRoutTapeBuilder::LengthWord(char letter, double units, std::string& out) {
  int64_t steps = 0;
  if (!RoutTapeSteps(f_, units, steps)) return Fail(std::string("word ") + letter, RealToStr(units));
  return Word(letter, steps, out);
}

bool TRoutTapeBuilder::PointWords(const TIntPoint& p, std::string& words) {
  int64_t sx = 0, sy = 0;
  if (!RoutTapePoint(f_, p, sx, sy)) return Fail("point", IntToShortStr(p.X) + "," + IntToShortStr(p.Y));
  const int64_t wx = f_.Absolute ? sx : sx - lastX_;
  const int64_t wy = f_.Absolute ? sy : sy - lastY_;
  if (!Word('X', wx, words) || !Word('Y', wy, words)) return false;
  lastX_ = sx;
  lastY_ = sy;
  lastPoint_ = p;
  return true;
}

bool TRoutTapeBuilder::FeedWord(uint16_t feed, std::string& out) {
  if (feed == 0 || !f_.OutputFeedRate) return true;
  // The reader takes F as 127 (inch) or 300 (metric) feed units.
  const int32_t per = f_.Metric ? 300 : 127;
  const int32_t value = static_cast<int32_t>(std::lround(static_cast<double>(feed) / per));
  // F is read as three digits, left aligned.
  if (value > 999) return Fail("feed", IntToShortStr(value));
  out += "F" + PadIntText(std::max(value, 1), 3, '0');
  return true;
}

bool TRoutTapeBuilder::ToolWord(int32_t tool, int32_t compIndex) {
  if (tool == tool_ && compIndex == compIndex_) return true;
  // T<tool> when the compensation index is the tool itself (a tool from
  // 100 on only where the header defines it), else T<tool><compensation
  // index as two digits>, unless that reads as a tool the header defines.
  std::string word;
  if (compIndex == tool && (tool < 100 || headerTools_.count(tool) > 0)) {
    word = "T" + PadIntText(tool, 2, '0');
  } else if (compIndex >= 0 && compIndex <= 99 && tool >= 1 && tool <= 1000 &&
             headerTools_.count(tool * 100 + compIndex) == 0) {
    word = "T" + PadIntText(tool, 2, '0') + PadIntText(compIndex, 2, '0');
  } else {
    Error = "Tool " + IntToShortStr(tool) + " with compensation index " +
            IntToShortStr(compIndex) + " cannot be written to a rout tape.";
    return false;
  }
  HeadUp();
  lines_.push_back(word);
  tool_ = tool;
  compIndex_ = compIndex;
  return true;
}

void TRoutTapeBuilder::HeadUp() {
  if (!headDown_) return;
  lines_.push_back("M16");
  headDown_ = false;
}

void TRoutTapeBuilder::HeadDown() {
  if (headDown_) return;
  lines_.push_back("M15");
  headDown_ = true;
}

bool TRoutTapeBuilder::ArcBlock(const TRoutTapeItem& arc, const TRoutArcBlock& block) {
  std::string words;
  if (block.Straight) {
    if (motion_ != 1) words = "G01";
    motion_ = 1;
    if (!PointWords(block.End, words) || !FeedWord(arc.Feed, words)) return false;
    lines_.push_back(words);
    return true;
  }
  const int32_t g = arc.Clockwise != f_.CounterClockwise ? 2 : 3;
  if (motion_ != g) words = g == 2 ? "G02" : "G03";
  motion_ = g;
  if (!PointWords(block.End, words)) return false;
  if (!f_.IJMode) {
    if (block.OwnWords ? !Word('A', block.Radius, words) : !LengthWord('A', block.RadiusUnits, words)) return false;
  } else if (block.OwnWords) {
    if (!Word('I', block.I, words) || !Word('J', block.J, words)) return false;
  } else if (!LengthWord('I', static_cast<double>(block.IUnits), words) ||
             !LengthWord('J', static_cast<double>(block.JUnits), words)) {
    return false;
  }
  if (!FeedWord(arc.Feed, words)) return false;
  lines_.push_back(words);
  return true;
}

bool TRoutTapeBuilder::Build(const TRoutTapeProgram& program, const TSwapTapeFrame& frame) {
  const bool ccw = f_.CounterClockwise;
  // A control character in a command would end its block or reach the
  // machine's control as it stands, and a tape reader passes over DEL or
  // takes a byte from 0x80 on for no text: such a layer gives no tape.
  if (f_.OutputUnparsed) {
    TUncarriedTapeTexts uncarried;
    int32_t commands = 0;
    for (const TRoutTapeItem& item : program.Items)
      if (item.Kind == TRoutTapeItemKind::Command) uncarried.Note(item.Text, ++commands);
    if (!uncarried.Empty()) {
      using TText = TUncarriedTapeTexts::TText;
      const auto alone = [](const TText& t) {
        return "Rout command " + IntToShortStr(t.Place) + " in cut order, " + t.Shown + ",";
      };
      const auto listed = [](const TText& t) { return "the " + OrdinalText(t.Place) + " (" + t.Shown + ")"; };
      Error = uncarried.Sentence(alone, "rout commands in cut order", listed) + ": the tape is not written.";
      return false;
    }
  }
  // Header: units, the tools the layer cuts with and the compensation
  // sizes of those and of the compensation indices it names. A hole's tool
  // from 100 on is defined there whatever its size: T<tool> then names it.
  std::set<int32_t> used, stated, definedHoleTools;
  for (const TRoutTapeItem& item : program.Items)
    if (item.Kind == TRoutTapeItemKind::Jog || item.Kind == TRoutTapeItemKind::Circle) {
      used.insert(item.Tool);
      stated.insert(item.Tool);
      stated.insert(item.CompIndex);
    } else if (item.Kind == TRoutTapeItemKind::Hole && ValidToolNumber(item.Tool)) {
      used.insert(item.Tool);
      stated.insert(item.Tool);
      if (item.Tool >= 100) definedHoleTools.insert(item.Tool);
    }
  // The writer's own header, or the tools defined inside the export
  // filter's header block when that opens one.
  if (f_.OutputM48Header || frame.HeaderHasM48) {
    if (!NoNegativeCompensation(program.Layer, stated)) return false;
    if (!frame.HeaderHasM48) lines_.push_back("M48");
    if (!frame.HeaderHasUnits) lines_.push_back(TapeUnitsLine(f_.Metric, f_.ZerosUsed));
    const TRoutTapeDigits digits = RoutTapeDigits(f_);
    const std::string comment =
        TapeDigitsComment(f_.Metric, digits.IntegerDigits, digits.DecimalDigits, f_.ZerosUsed);
    if (!comment.empty()) lines_.push_back(comment);
    const int32_t decimals = f_.Metric ? 3 : 4;
    const double perUnit = UnitsPerTapeUnit(f_);
    // CP is stated even where it equals the size: a reader whose page holds
    // another compensation for the size would otherwise keep its own.
    for (int32_t tool : stated) {
      if (!ValidToolNumber(tool)) continue;
      const TRoutToolRecord& rec = tools_[tool];
      TNCFormatStatus status = TNCFormatStatus::Fits;
      if ((rec.Diameter > 0 && used.count(tool) > 0) || definedHoleTools.count(tool) > 0) {
        const std::string c = FormatDecimalNumber(decimals, rec.Diameter / perUnit, &status);
        if (status != TNCFormatStatus::Fits) return Fail("tool diameter", c);
        lines_.push_back("T" + PadIntText(tool, 2, '0') + "C" + c);
        headerTools_.insert(tool);
      }
      const std::string cp = FormatDecimalNumber(decimals, rec.CompDiameter / perUnit, &status);
      if (status != TNCFormatStatus::Fits) return Fail("compensation diameter", cp);
      lines_.push_back("CP," + IntToShortStr(tool) + "," + cp);
    }
    CloseLine = lines_.size();
    lines_.push_back("%");
  }
  lines_.push_back(f_.Absolute ? "G90" : "G91");
  if (f_.OutputG93 && (program.G93Origin.X != 0 || program.G93Origin.Y != 0)) {
    // The origin in absolute form whatever the coordinate mode.
    int64_t tx = 0, ty = 0, sx = 0, sy = 0;
    ToTapeAxes(f_.Version, program.G93Origin.X, program.G93Origin.Y, tx, ty);
    // Refused as the origin, in the tape's unit, whichever word does not fit.
    std::string words = "G93";
    if (!RoutTapeSteps(f_, static_cast<double>(tx), sx) || !RoutTapeSteps(f_, static_cast<double>(ty), sy) ||
        !Word('X', sx, words) || !Word('Y', sy, words))
      return Fail("G93 origin", TapeStepOffsetText(program.G93Origin.X, program.G93Origin.Y, f_.Metric,
                                                   RoutTapeDigits(f_).DecimalDigits));
    lines_.push_back(words);
  }

  const std::vector<TRoutTapeItem> items = WrittenItems(program);
  // The point of the line or arc at k, which starts where the one before it
  // ends; nullptr where the path ends before k.
  const auto goesOn = [&items](std::size_t k) -> const TIntPoint* {
    return k < items.size() && (items[k].Kind == TRoutTapeItemKind::Line || items[k].Kind == TRoutTapeItemKind::Arc)
               ? &items[k].Point
               : nullptr;
  };
  // The point of what goes on from the arc at k where the arc's end may go
  // on a step beside it: the end of a path stays where it is, and so do the
  // ends of its first and last lines, which a layer read back takes a tabbed
  // cut's gaps along, knowing them only as near as the tape rounds a point.
  const auto movableEnd = [&items, &goesOn](std::size_t k) -> const TIntPoint* {
    const TIntPoint* next = goesOn(k + 1);
    return next != nullptr && (items[k + 1].Kind == TRoutTapeItemKind::Arc || goesOn(k + 2) != nullptr) ? next
                                                                                                   : nullptr;
  };
  // Where the drawing has the head, which the tape may put a step beside:
  // the point of the last move, cut or hole.
  TIntPoint drawn;
  for (std::size_t index = 0; index < items.size(); ++index) {
    const TRoutTapeItem& item = items[index];
    std::string words;
    const std::size_t first = lines_.size();
    const bool located = LocateEntity != 0 && item.Entity == LocateEntity && LocatedLine == 0;
    switch (item.Kind) {
      case TRoutTapeItemKind::PatternStart:
        HeadUp();
        lines_.push_back("M25");
        // Each run of the pattern names its tool and its first motion again.
        tool_ = compIndex_ = motion_ = -1;
        break;
      case TRoutTapeItemKind::PatternEnd:
        HeadUp();
        lines_.push_back("M01");
        for (const TStepCommand& c : item.Steps) {
          int64_t tx = 0, ty = 0;
          ToTapeAxes(f_.Version, c.DX, c.DY, tx, ty);
          words = c.Count > 1 ? "R" + IntToShortStr(c.Count) + "M02" : "M02";
          if (!LengthWord('X', static_cast<double>(tx), words) ||
              !LengthWord('Y', static_cast<double>(ty), words)) {
            // A panel's copies may lie within the format where the step
            // between them does not: expanded, each goes out at its own point.
            Fail("step offset", TapeStepOffsetText(c.DX, c.DY, f_.Metric, RoutTapeDigits(f_).DecimalDigits));
            Error += " Expand Steps (Modify menu) writes such a panel, each copy with its own coordinates.";
            return false;
          }
          if (c.Orientation & 1) words += "M70";
          if (c.Orientation & 2) words += "M80";
          if (c.Orientation & 4) words += "M90";
          lines_.push_back(words);
        }
        lines_.push_back("M08");
        motion_ = -1;
        break;
      case TRoutTapeItemKind::Jog: {
        if (!ToolWord(item.Tool, item.CompIndex)) return false;
        HeadUp();
        words = "G00";
        motion_ = 0;
        if (!PointWords(item.Point, words)) return false;
        lines_.push_back(words);
        if (item.CompSide == 1) lines_.push_back(ccw ? "G42" : "G41");
        else if (item.CompSide == 2) lines_.push_back(ccw ? "G41" : "G42");
        HeadDown();
        break;
      }
      case TRoutTapeItemKind::Line: {
        HeadDown();
        if (motion_ != 1) words = "G01";
        motion_ = 1;
        // The end of a line between the path's first move and an arc may go
        // on a step beside it (see TRoutArcBlocks::LineEnd).
        const bool beforeArc = index + 1 < items.size() && items[index + 1].Kind == TRoutTapeItemKind::Arc;
        TIntPoint end = item.Point;
        if (beforeArc && index > 0 && goesOn(index - 1) != nullptr) {
          std::vector<TRoutArcBlock> blocks;
          if (arcs_.LineEnd(Head(), item.Point, items[index + 1], movableEnd(index + 1), end, blocks))
            arcAfterLine_ = {end, std::move(blocks)};
        }
        if (!PointWords(end, words) || !FeedWord(item.Feed, words)) return false;
        lines_.push_back(words);
        break;
      }
      case TRoutTapeItemKind::Arc: {
        HeadDown();
        // The blocks found with the line's end before it, where the line
        // ends there.
        const std::vector<TRoutArcBlock> blocks = arcAfterLine_ && arcAfterLine_->first == lastPoint_
                                                      ? std::move(arcAfterLine_->second)
                                                      : arcs_.Blocks(Head(), drawn, item, movableEnd(index));
        arcAfterLine_.reset();
        for (const TRoutArcBlock& block : blocks)
          if (!ArcBlock(item, block)) return false;
        break;
      }
      case TRoutTapeItemKind::Circle: {
        if (!ToolWord(item.Tool, item.CompIndex)) return false;
        HeadUp();
        words = item.G32 ? "G32" : "G33";
        motion_ = item.G32 ? 32 : 33;
        if (!PointWords(item.Point, words) || !LengthWord('A', item.Radius, words) ||
            !FeedWord(item.Feed, words))
          return false;
        lines_.push_back(words);
        break;
      }
      case TRoutTapeItemKind::Hole: {
        // A hole plunges the tool in the spindle: its own, when that is
        // another than the one before it.
        if (ValidToolNumber(item.Tool) && item.Tool != tool_ && !ToolWord(item.Tool, item.Tool)) {
          Error = "Tool " + IntToShortStr(item.Tool) +
                  " of the break-off holes is named on a rout tape only by the M48 header that "
                  "defines it, and this tape has none. The break-off holes' tool is set by Tool "
                  "Number in Auto Tab Settings: a tool from 1 to 99 is named on any tape.";
          return false;
        }
        HeadUp();
        words = "G05";
        motion_ = 5;
        if (!PointWords(item.Point, words)) return false;
        lines_.push_back(words);
        break;
      }
      case TRoutTapeItemKind::Command:
        // The header states the tape's digits; a statement a job kept would
        // state other digits in the body.
        if (f_.OutputUnparsed && !item.Text.empty() && !IsTapeDigitsStatement(item.Text))
          lines_.push_back(item.Text);
        break;
    }
    if (item.Kind != TRoutTapeItemKind::Command && item.Kind != TRoutTapeItemKind::PatternStart &&
        item.Kind != TRoutTapeItemKind::PatternEnd)
      drawn = item.Point;
    if (located && lines_.size() > first) {
      // The move itself, past the tool change and head words before it.
      std::size_t at = first;
      for (std::size_t k = first; k < lines_.size(); ++k) {
        const char c = lines_[k].empty() ? ' ' : lines_[k][0];
        if (c != 'T' && c != 'M') {
          at = k;
          break;
        }
      }
      LocatedLine = static_cast<int32_t>(at) + 1;
    }
  }
  HeadUp();
  if (!frame.TrailerHasM30) lines_.push_back("M30");
  return true;
}

TRoutLayerCollector RoutLayerCollector = nullptr;

// The layer's live entities in the order of its cut sequence. Paths in a
// row whose starts carry the same step object, with what follows them up to
// the next path start, are copied together, as the screen draws them.
bool CollectFromRoutDatabase(uint8_t layer, TRoutTapeProgram& program) {
  if (RTDB == nullptr || Seq == nullptr || !IsRoutLayer(layer)) return false;
  program.Layer = layer;
  program.G93Origin = RTDB->G93Origins[layer];
  TStepObject* groupStep = nullptr;
  int32_t pattern = 0;
  const int32_t count = Seq->Count(layer);
  for (int32_t p = 1; p <= count; ++p) {
    const int32_t handle = Seq->HandleAt(layer, p);
    const TEntitySlot* slot = RTDB->SlotAt(handle);
    TRoutEntity* e = RTDB->EntityAt(handle);
    if (slot == nullptr || e == nullptr || SlotDeleted(slot->Flags)) continue;
    if (IsPathStartType(e->GetType()) && e->GetStepObj() != groupStep) {
      groupStep = e->GetStepObj();
      pattern = 0;
      if (groupStep != nullptr && !groupStep->Offsets().empty()) {
        TRoutTapePattern copies;
        if (groupStep->LevelCount() == 1 && groupStep->Whole()) copies.Commands = groupStep->Commands();
        copies.Offsets = groupStep->Offsets();
        program.Patterns.push_back(std::move(copies));
        pattern = static_cast<int32_t>(program.Patterns.size());
      }
    }
    TRoutTapeItem item;
    item.Entity = handle;
    item.Pattern = pattern;
    e->GetPoint(item.Point);
    switch (e->GetType()) {
      case 5:
        item.Kind = TRoutTapeItemKind::Jog;
        item.Tool = e->GetToolNumber();
        item.CompIndex = e->GetCompIndex();
        item.CompSide = e->GetComp();
        break;
      case 6:
        item.Kind = TRoutTapeItemKind::Line;
        item.Feed = e->GetFeedRate();
        break;
      case 7:
      case 8:
        item.Kind = TRoutTapeItemKind::Arc;
        e->GetCentre(item.Centre);
        item.Clockwise = e->GetType() == 8;
        item.Feed = e->GetFeedRate();
        break;
      case 9:
        item.Kind = TRoutTapeItemKind::Circle;
        item.Radius = e->GetRadius();
        item.Tool = e->GetToolNumber();
        item.CompIndex = e->GetCompIndex();
        item.G32 = e->IsAG32();
        item.Feed = e->GetFeedRate();
        break;
      case 10:
        item.Kind = TRoutTapeItemKind::Hole;
        item.Tool = e->GetToolNumber();
        break;
      case 11:
        item.Kind = TRoutTapeItemKind::Command;
        e->GetString(item.Text);
        break;
      default:
        continue;
    }
    program.Items.push_back(std::move(item));
  }
  return true;
}

}  // namespace

bool RoutTapeStatesPattern(const TRoutTapePattern& pattern, const TRoutFormatRecord& format) {
  // An incremental tape would need the position after each run: copies
  // are written out there, as on a drill tape.
  return !pattern.Offsets.empty() && format.Absolute && WritableAsPattern(pattern.Commands, format.Version);
}

bool CollectRoutLayer(uint8_t layer, TRoutTapeProgram& program) {
  program.Layer = layer;
  const TRoutLayerCollector collect = RoutLayerCollector ? RoutLayerCollector : CollectFromRoutDatabase;
  return layer >= kFirstRoutLayer && layer <= kLastRoutLayer && collect(layer, program);
}

bool BuildRoutTapeLines(const TRoutTapeProgram& program, const TRoutFormatRecord& format,
                        const TRoutToolPage& tools, bool headerHasM48, bool trailerHasM30,
                        std::vector<std::string>& lines, std::string& error) {
  TSwapTapeFrame frame;
  frame.HeaderHasM48 = frame.HeaderHasUnits = headerHasM48;
  frame.TrailerHasM30 = trailerHasM30;
  TRoutTapeBuilder builder(format, tools, lines);
  const bool ok = builder.Build(program, frame);
  error = builder.Error;
  return ok;
}

bool WriteRoutTape(const TRoutTapeProgram& program, const TRoutFormatRecord& format,
                   const TRoutToolPage& tools, uint8_t filter, const std::string& fileName) {
  TTapeSwapWriter writer;
  if (!writer.Open(fileName, filter)) return false;
  writer.StateUnits(TapeUnitsLine(format.Metric, format.ZerosUsed), format.ZerosUsed == 3);
  std::vector<std::string> lines;
  TRoutTapeBuilder builder(format, tools, lines);
  builder.LocateEntity = LocateEntity;
  if (!builder.Build(program, writer.Frame())) {
    writer.Abandon();
    ErrorBox(builder.Error);
    return false;
  }
  writer.WriteHeader();
  int32_t located = 0;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (k == builder.CloseLine) writer.CloseHeader();
    else writer.WriteLine(lines[k]);
    if (static_cast<int32_t>(k) + 1 == builder.LocatedLine) located = std::max(writer.LinesOut(), 1);
  }
  writer.WriteTrailer();
  if (!writer.Commit()) return false;
  if (LocateEntity != 0) LocateEntityLine = located > 0 ? located : 1;
  return true;
}

void SetRoutLayerCollector(TRoutLayerCollector collector) { RoutLayerCollector = collector; }

// ---- The rout output format dialog ----------------------------------------------------

namespace {

class TRoutOutputFormatDialog : public TForm {
 public:
  TRoutOutputFormatDialog()
      : TForm("TRoutOutputFormatDialog"),
        UnitGroup(Add<TRadioGroup>("UnitGroup", "Units")),
        DigitsPanel(Add<TPanel>("DigitsPanel", " Digits   ")),
        IntegerEdit(DigitsPanel.Add<TSpinEdit>("IntegerEdit")),
        DecimalEdit(DigitsPanel.Add<TSpinEdit>("DecimalEdit")),
        DecimalGroup(Add<TRadioGroup>("DecimalGroup", "Zeros Used")),
        AbsoluteGroup(Add<TRadioGroup>("AbsoluteGroup", "Coordinate Mode")),
        AxisGroup(Add<TRadioGroup>("AxisGroup", "Axis Version")),
        ArcGroup(Add<TRadioGroup>("ArcGroup", "Arc Centre")),
        IJGroup(Add<TRadioGroup>("IJGroup", "I&JSigned")),
        ClockWiseGroup(Add<TRadioGroup>("ClockWiseGroup", "CCW")),
        DefaultCheckBox(Add<TCheckBox>("DefaultCheckBox", "&Save Defaults")),
        OKButton(Add<TPanel>("ButtonRow").Add<TButton>("OKButton", "OK", mrOk)),
        CancelButton(Get<TPanel>("ButtonRow").Add<TButton>("CancelButton", "Cancel", mrCancel)) {
    SetCaption("Rout Output Format");
    auto& row = Get<TPanel>("ButtonRow");
    row.SetFlow(TFlow::Horizontal);
    row.SetBevel(bvNone);
    DigitsPanel.SetFlow(TFlow::Horizontal);
    UnitGroup.SetItems({"I&nches", "&Millimeters"});
    IntegerEdit.SetRange(1, 4);
    DecimalEdit.SetRange(1, 6);
    DecimalGroup.SetItems({"&Leading", "&Trailing", "Bot&h", "Decimal &Point"});
    AbsoluteGroup.SetItems({"&Absolute", "In&cremental"});
    AxisGroup.SetItems({"&1", "&2", "&3", "&4", "&5", "&6", "&7", "&8"});
    AxisGroup.SetColumns(4);
    ArcGroup.SetItems({"&Radius (A)", "I/J from Start", "I/J from End", "I/J Absolute"});
    // Off and On have the letters of the CCW group's: Alt+J reaches the
    // IJ group.
    IJGroup.SetItems({"Off", "On"});
    ClockWiseGroup.SetItems({"O&ff", "&On"});
    OKButton.SetDefault(true);
    CancelButton.SetCancel(true);
    UnitGroup.OnChange = [this](TControl&) { UnitGroupClick(); };
    OKButton.OnClick = [this](TControl&) { OKButtonClick(); };
  }

  void Fill() {
    UnitGroup.SetItemIndex(Work.Metric ? 1 : 0);
    ShowDigits();
    DecimalGroup.SetItemIndex(std::min<int>(Work.ZerosUsed, 3));
    AbsoluteGroup.SetItemIndex(Work.Absolute ? 0 : 1);
    AxisGroup.SetItemIndex(std::clamp<int>(Work.Version, 1, 8) - 1);
    ArcGroup.SetItemIndex(!Work.IJMode ? 0 : !Work.IJIncremental ? 3 : Work.IJFromStartPoint ? 1 : 2);
    IJGroup.SetItemIndex(Work.IJSigned ? 1 : 0);
    ClockWiseGroup.SetItemIndex(Work.CounterClockwise ? 1 : 0);
  }

  void ShowDigits() {
    IntegerEdit.SetValue(Work.Metric ? Work.MetricIntegerDigits : Work.IntegerDigits);
    DecimalEdit.SetValue(Work.Metric ? Work.MetricDecimalDigits : Work.DecimalDigits);
  }

  void UnitGroupClick() {
    Work.Metric = UnitGroup.ItemIndex() == 1;
    ShowDigits();
  }

  void OKButtonClick() {
    Work.Metric = UnitGroup.ItemIndex() == 1;
    Work.UnitsFactor = UnitsFactorOf(Work.Metric);
    const int32_t i = StrToIntLenient(IntegerEdit.Text());
    const int32_t d = StrToIntLenient(DecimalEdit.Text());
    uint8_t& iField = Work.Metric ? Work.MetricIntegerDigits : Work.IntegerDigits;
    uint8_t& dField = Work.Metric ? Work.MetricDecimalDigits : Work.DecimalDigits;
    if (i > 0 && i <= 4) iField = static_cast<uint8_t>(i);
    if (d > 0 && d <= 6) dField = static_cast<uint8_t>(d);
    Work.ZerosUsed = static_cast<uint8_t>(std::max(0, DecimalGroup.ItemIndex()));
    Work.Absolute = AbsoluteGroup.ItemIndex() == 0;
    Work.Version = static_cast<uint8_t>(std::clamp(AxisGroup.ItemIndex(), 0, 7) + 1);
    const int arc = ArcGroup.ItemIndex();
    Work.IJMode = arc > 0;
    Work.IJIncremental = arc != 3;
    Work.IJFromStartPoint = arc != 2;
    Work.IJSigned = IJGroup.ItemIndex() == 1;
    Work.CounterClockwise = ClockWiseGroup.ItemIndex() == 1;
  }

  TRoutFormatRecord Work;
  TRadioGroup& UnitGroup;
  TPanel& DigitsPanel;
  TSpinEdit& IntegerEdit;
  TSpinEdit& DecimalEdit;
  TRadioGroup& DecimalGroup;
  TRadioGroup& AbsoluteGroup;
  TRadioGroup& AxisGroup;
  TRadioGroup& ArcGroup;
  TRadioGroup& IJGroup;
  TRadioGroup& ClockWiseGroup;
  TCheckBox& DefaultCheckBox;
  TButton& OKButton;
  TButton& CancelButton;
};

bool WriteRoutLayer(uint8_t layer, uint8_t filter, const std::string& fileName) {
  TRoutTapeProgram program;
  if (!CollectRoutLayer(layer, program)) {
    ErrorBox("Rout layer R" + IntToShortStr(layer - kFirstRoutLayer) + " cannot be written.");
    return false;
  }
  THourGlassCursor hourglass;
  return WriteRoutTape(program, RoutOutputFormat, RoutToolPages[layer], filter, fileName);
}

}  // namespace

bool ExecuteRoutOutputFormatDialog() {
  TRoutOutputFormatDialog dialog;
  dialog.Work = RoutOutputFormat;
  dialog.Fill();
  TModalBracket bracket;
  if (dialog.ShowModal() != mrOk) return false;
  RoutOutputFormat = dialog.Work;
  if (dialog.DefaultCheckBox.Checked())
    SaveRoutFormatDefaults(RoutOutputFormat, RoutFormatOutput);
  return true;
}

bool WriteRoutFileWithDialog(uint8_t layer, uint8_t filter, const std::string& fileName) {
  if (!ExecuteRoutOutputFormatDialog()) return false;
  return WriteRoutLayer(layer, filter, fileName);
}

bool WriteRoutFileNoDialog(uint8_t layer, uint8_t filter, const std::string& fileName) {
  return WriteRoutLayer(layer, filter, fileName);
}
