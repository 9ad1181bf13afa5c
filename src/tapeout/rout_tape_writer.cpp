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

// A value in tape units rounded to the format's last digit, as an integer
// count of that digit (so incremental steps add up exactly).
bool TapeSteps(const TRoutFormatRecord& format, double units, int64_t& steps) {
  const TRoutTapeDigits d = RoutTapeDigits(format);
  if (d.DecimalDigits < 0 || d.DecimalDigits > 10) return false;
  const double scaled = units / UnitsPerTapeUnit(format) * PowersOfTen[d.DecimalDigits];
  if (!std::isfinite(scaled) || std::fabs(scaled) > 9.0e15) return false;
  steps = static_cast<int64_t>(std::nearbyint(scaled));
  return true;
}

}  // namespace

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

// An arc's centre read back this far off, in steps of the format, or
// nearer, is where the tape puts it.
constexpr double kOneStep = 1 + 1e-9;
// A centre read back this near a point is read back at it.
constexpr double kExactly = 1e-6;

class TRoutTapeBuilder {
 public:
  TRoutTapeBuilder(const TRoutFormatRecord& format, const TRoutToolPage& tools,
                   std::vector<std::string>& lines)
      : f_(format), tools_(tools), lines_(lines) {}

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
  // A point in steps of the tape's last digit along the tape's axes; false
  // when it does not fit a step count.
  bool TapePoint(const TIntPoint& p, int64_t& sx, int64_t& sy) const;
  bool Word(char letter, int64_t steps, std::string& out);
  bool LengthWord(char letter, double units, std::string& out);
  bool ToolWord(int32_t tool, int32_t compIndex);
  void HeadUp();
  void HeadDown();
  bool FeedWord(uint16_t feed, std::string& out);
  // A block of an arc: its end and, where its words are not those of the
  // arc's centre as ArcWords rounds them, the radius or the I and J it
  // states, in steps as written.
  struct TArcPiece {
    TIntPoint End;
    bool OwnWords = false;
    int64_t Radius = 0, I = 0, J = 0;
  };
  // The block of an arc from the last point to the piece's end, of a half
  // circle at most.
  bool ArcBlock(const TRoutTapeItem& item, const TArcPiece& piece);
  // The arc words of a block from start to the item's point, database
  // units: the radius (A), or I and J along the tape's axes as written.
  struct TArcWordValues {
    double Radius = 0;
    int64_t I = 0, J = 0;
  };
  TArcWordValues ArcWords(const TIntPoint& start, const TRoutTapeItem& item) const;
  // The blocks an arc from the last point is written as: its own end, or
  // the ends of equal pieces of it. `next` is the point of the line or arc
  // the path goes on with from the arc's end, nullptr where the arc's end
  // stays where it is. readingMiss, where given, is set to how far off the
  // blocks read back at most; firstOnly tries the fewest pieces alone.
  std::vector<TArcPiece> ArcEnds(const TRoutTapeItem& item, const TIntPoint* next, double* readingMiss = nullptr,
                                 bool firstOnly = false) const;
  // How far, in steps along either axis, the centres the tape's reading
  // finds for the arc blocks from the last point through the pieces' ends
  // lie from the arc's own centre at most (see ArcEnds). Where the words
  // rounded from the centre would read back more than a step off, a piece
  // is given those of a radius a step longer or shorter, or the I and J of
  // a step next to the centre, that read back nearest; about a centre on a
  // step, a radius a step off that reads back exactly at it.
  double ArcReadingMiss(const TRoutTapeItem& item, std::vector<TArcPiece>& pieces) const;
  // What the reading is held to for an arc: its centre in steps along the
  // tape's axes, its radius in steps, and the side its centre lies on.
  // Valid is false where the reader could not hold the format's numbers.
  struct TArcReading {
    bool Valid = false;
    double UnitsPerStep = 0, CentreX = 0, CentreY = 0, Radius = 0;
    bool Side = false;
  };
  TArcReading ArcReadingOf(const TRoutTapeItem& item) const;
  // How far off the reading finds the centre of the block from `from` (sx,
  // sy in steps) to the piece's end, its words chosen as ArcReadingMiss
  // says; HUGE_VAL where the block would state no arc, nothing where the
  // block is left to the writing.
  std::optional<double> PieceReadingMiss(const TRoutTapeItem& item, const TArcReading& reading,
                                         const TIntPoint& from, int64_t sx, int64_t sy, TArcPiece& piece) const;
  // The ends between equal pieces of an arc put on the steps beside them,
  // a step off the arc at most, and, where the path goes on to `next`, the
  // arc's own end on a step within a step of it, that bring the pieces'
  // readings nearest its centre; the farthest reading, HUGE_VAL where none
  // is found.
  double ChosenArcEnds(const TRoutTapeItem& item, const TArcReading& reading, std::vector<TArcPiece>& pieces,
                       const TIntPoint* next) const;
  // The start the arc is written from: the end of the line before it, or
  // a step beside it that the arc reads back nearer from (see ArcEnds).
  TIntPoint ArcStart(const TIntPoint& start, const TRoutTapeItem& arc, const TIntPoint* next);
  // The database point on a step of the tape's axes.
  TIntPoint StepPoint(const TArcReading& reading, int64_t x, int64_t y) const;
  // A point's rounding (sx, sy, in steps) and the steps beside it that lie
  // within a step of the arc the reading is held to and, where `near` is
  // given, within a step of that point, in rows along the tape's axes; each
  // with the database point on it (the point itself where it stays).
  struct TStepBeside {
    TIntPoint At;
    int64_t X = 0, Y = 0;
    bool Moved = false;
  };
  std::vector<TStepBeside> StepsBeside(const TArcReading& reading, const TIntPoint& point, int64_t sx, int64_t sy,
                                       bool near) const;
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
  // The blocks of the next arc from the start ArcStart kept.
  std::optional<std::pair<TIntPoint, std::vector<TArcPiece>>> arcFromStart_;
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
  if (!FormatTapeValue(f_, value, text)) return Fail(std::string("word ") + letter, text);
  out += letter;
  out += text;
  return true;
}

bool TRoutTapeBuilder::LengthWord(char letter, double units, std::string& out) {
  int64_t steps = 0;
  if (!TapeSteps(f_, units, steps)) return Fail(std::string("word ") + letter, RealToStr(units));
  return Word(letter, steps, out);
}

bool TRoutTapeBuilder::TapePoint(const TIntPoint& p, int64_t& sx, int64_t& sy) const {
  int64_t tx = 0, ty = 0;
  ToTapeAxes(f_.Version, p.X, p.Y, tx, ty);
  return TapeSteps(f_, static_cast<double>(tx), sx) && TapeSteps(f_, static_cast<double>(ty), sy);
}

bool TRoutTapeBuilder::PointWords(const TIntPoint& p, std::string& words) {
  int64_t sx = 0, sy = 0;
  if (!TapePoint(p, sx, sy)) return Fail("point", IntToShortStr(p.X) + "," + IntToShortStr(p.Y));
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

TRoutTapeBuilder::TArcWordValues TRoutTapeBuilder::ArcWords(const TIntPoint& start,
                                                            const TRoutTapeItem& item) const {
  TArcWordValues w;
  if (!f_.IJMode) {
    w.Radius = std::hypot(double(start.X) - item.Centre.X, double(start.Y) - item.Centre.Y);
    return w;
  }
  const TIntPoint from = f_.IJIncremental ? (f_.IJFromStartPoint ? start : item.Point) : TIntPoint{0, 0};
  ToTapeAxes(f_.Version, int64_t{item.Centre.X} - from.X, int64_t{item.Centre.Y} - from.Y, w.I, w.J);
  // Unsigned I and J are an offset's sizes; a centre's own
  // coordinates keep their signs, as X and Y do.
  if (!f_.IJSigned && f_.IJIncremental) {
    w.I = std::llabs(w.I);
    w.J = std::llabs(w.J);
  }
  return w;
}

bool TRoutTapeBuilder::ArcBlock(const TRoutTapeItem& arc, const TArcPiece& piece) {
  std::string words;
  const bool ccw = f_.CounterClockwise;
  TRoutTapeItem item = arc;
  item.Point = piece.End;
  const bool tapeClockwise = item.Clockwise != ccw;
  const int32_t g = tapeClockwise ? 2 : 3;
  if (motion_ != g) words = g == 2 ? "G02" : "G03";
  motion_ = g;
  const TArcWordValues w = ArcWords(lastPoint_, item);
  if (!PointWords(item.Point, words)) return false;
  if (!f_.IJMode) {
    if (piece.OwnWords ? !Word('A', piece.Radius, words) : !LengthWord('A', w.Radius, words)) return false;
  } else if (piece.OwnWords) {
    if (!Word('I', piece.I, words) || !Word('J', piece.J, words)) return false;
  } else if (!LengthWord('I', static_cast<double>(w.I), words) ||
             !LengthWord('J', static_cast<double>(w.J), words)) {
    return false;
  }
  if (!FeedWord(item.Feed, words)) return false;
  lines_.push_back(words);
  return true;
}

TRoutTapeBuilder::TArcReading TRoutTapeBuilder::ArcReadingOf(const TRoutTapeItem& item) const {
  // The reading in the output format (Text Edit Rout) finds every arc's
  // centre from its rounded ends and the radius its words state, I and J
  // too; a tape reader that takes I and J as the centre finds it within
  // half a step. A number the reader could not hold is left to the
  // writing, which refuses it or writes it as it always has.
  TArcReading r;
  const TRoutTapeDigits d = RoutTapeDigits(f_);
  if (d.DecimalDigits < 0 || d.DecimalDigits > 10) return r;
  r.UnitsPerStep = UnitsPerTapeUnit(f_) / PowersOfTen[d.DecimalDigits];
  int64_t tx = 0, ty = 0;
  ToTapeAxes(f_.Version, item.Centre.X, item.Centre.Y, tx, ty);
  r.CentreX = static_cast<double>(tx) / r.UnitsPerStep;
  r.CentreY = static_cast<double>(ty) / r.UnitsPerStep;
  r.Radius = std::hypot(double(lastPoint_.X) - item.Centre.X, double(lastPoint_.Y) - item.Centre.Y) / r.UnitsPerStep;
  r.Side = TNCReader::ArcCentreSide(item.Clockwise, f_.Version);
  r.Valid = true;
  return r;
}

std::optional<double> TRoutTapeBuilder::PieceReadingMiss(const TRoutTapeItem& item, const TArcReading& reading,
                                                         const TIntPoint& from, int64_t sx, int64_t sy,
                                                         TArcPiece& piece) const {
  const auto held = [](int64_t v) { return v >= -INT32_MAX && v <= INT32_MAX; };
  const double centreX = reading.CentreX, centreY = reading.CentreY;
  TRoutTapeItem block = item;
  block.Point = piece.End;
  const TArcWordValues w = ArcWords(from, block);
  int64_t ex = 0, ey = 0, radius = 0;
  if (!TapePoint(piece.End, ex, ey)) return std::nullopt;
  if (!held(sx) || !held(sy) || !held(ex) || !held(ey)) return std::nullopt;
  // A piece whose ends fall on one step states no arc.
  if (ex == sx && ey == sy) return HUGE_VAL;
  // How far off the reading finds the centre of a block stating radius,
  // or I and J as written; HUGE_VAL where it could not hold them.
  const auto readingMiss = [&](int64_t radius) {
    if (!held(radius)) return HUGE_VAL;
    int32_t cx = 0, cy = 0;
    TNCReader::ArcCentreFromRadius(reading.Side, static_cast<int32_t>(radius), static_cast<int32_t>(ex),
                                   static_cast<int32_t>(ey), static_cast<int32_t>(sx), static_cast<int32_t>(sy), cx,
                                   cy);
    return std::max(std::fabs(cx - centreX), std::fabs(cy - centreY));
  };
  const auto ijMiss = [&](int64_t i, int64_t j) {
    // Absolute I and J are read from the arc's start.
    if (!f_.IJIncremental) {
      i -= sx;
      j -= sy;
    }
    return readingMiss(TNCReader::ArcRadiusOfIJ(i, j));
  };
  double pieceMiss = 0;
  piece.OwnWords = false;
  if (!f_.IJMode) {
    if (!TapeSteps(f_, w.Radius, radius) || !held(radius)) return std::nullopt;
    pieceMiss = readingMiss(radius);
    // The radius is seldom a whole number of steps, and what the block
    // states is its centre: a radius a step longer or shorter may read
    // back nearer it. An arc read from a tape in this format has its
    // centre on a step and some radius reads back exactly there, the one it
    // was read from: written in it, the tape comes back as it was, where a
    // radius that merely reads back within a step would move the arc.
    const auto onStep = [](double v) { return std::fabs(v - std::round(v)) < kExactly; };
    const bool centreOnStep = onStep(centreX) && onStep(centreY);
    for (const int64_t other : {radius - 1, radius + 1}) {
      if (other <= 0 || pieceMiss <= (centreOnStep ? kExactly : kOneStep)) continue;
      if (const double candidate = readingMiss(other);
          candidate < pieceMiss && (pieceMiss > kOneStep || candidate <= kExactly)) {
        pieceMiss = candidate;
        piece.OwnWords = true;
        piece.Radius = other;
      }
    }
  } else {
    int64_t i = 0, j = 0;
    if (!TapeSteps(f_, static_cast<double>(w.I), i) || !TapeSteps(f_, static_cast<double>(w.J), j))
      return std::nullopt;
    pieceMiss = ijMiss(i, j);
    // The centre is seldom on a step: its I and J rounded one way or
    // the other state a centre within a step of it, and one of those
    // may read back nearer.
    for (int32_t k = 0; k < 4 && pieceMiss > kOneStep; ++k) {
      const double gx = (k & 1) ? std::ceil(centreX) : std::floor(centreX);
      const double gy = (k & 2) ? std::ceil(centreY) : std::floor(centreY);
      if (!(std::fabs(gx) < 9.0e15 && std::fabs(gy) < 9.0e15)) break;
      const int64_t cx = static_cast<int64_t>(gx), cy = static_cast<int64_t>(gy);
      const int64_t ox = f_.IJIncremental ? (f_.IJFromStartPoint ? sx : ex) : 0;
      const int64_t oy = f_.IJIncremental ? (f_.IJFromStartPoint ? sy : ey) : 0;
      int64_t wi = cx - ox, wj = cy - oy;
      if (!f_.IJSigned && f_.IJIncremental) {
        wi = std::llabs(wi);
        wj = std::llabs(wj);
      }
      const double candidate = ijMiss(wi, wj);
      if (candidate < pieceMiss) {
        pieceMiss = candidate;
        piece.OwnWords = true;
        piece.I = wi;
        piece.J = wj;
      }
    }
  }
  return pieceMiss;
}

double TRoutTapeBuilder::ArcReadingMiss(const TRoutTapeItem& item, std::vector<TArcPiece>& pieces) const {
  const TArcReading reading = ArcReadingOf(item);
  if (!reading.Valid) return 0;
  TIntPoint from = lastPoint_;
  int64_t sx = lastX_, sy = lastY_;
  double miss = 0;
  for (TArcPiece& piece : pieces) {
    const std::optional<double> pieceMiss = PieceReadingMiss(item, reading, from, sx, sy, piece);
    if (!pieceMiss) return 0;
    miss = std::max(miss, *pieceMiss);
    from = piece.End;
    TapePoint(piece.End, sx, sy);
  }
  return miss;
}

TIntPoint TRoutTapeBuilder::StepPoint(const TArcReading& reading, int64_t x, int64_t y) const {
  int64_t ax = 0, ay = 0, bx = 0, by = 0;
  ToTapeAxes(f_.Version, 1, 0, ax, ay);
  ToTapeAxes(f_.Version, 0, 1, bx, by);
  const double tx = double(x) * reading.UnitsPerStep, ty = double(y) * reading.UnitsPerStep;
  return TIntPoint{SaturatingRound(double(ax) * tx + double(ay) * ty),
                   SaturatingRound(double(bx) * tx + double(by) * ty)};
}

std::vector<TRoutTapeBuilder::TStepBeside> TRoutTapeBuilder::StepsBeside(const TArcReading& reading,
                                                                         const TIntPoint& point, int64_t sx,
                                                                         int64_t sy, bool near) const {
  int64_t tx = 0, ty = 0;
  ToTapeAxes(f_.Version, point.X, point.Y, tx, ty);
  const double pointX = double(tx) / reading.UnitsPerStep, pointY = double(ty) / reading.UnitsPerStep;
  std::vector<TStepBeside> steps;
  for (int64_t dy = -1; dy <= 1; ++dy)
    for (int64_t dx = -1; dx <= 1; ++dx) {
      TStepBeside step{point, sx + dx, sy + dy, dx != 0 || dy != 0};
      if (step.Moved) {
        if ((near && std::max(std::fabs(double(step.X) - pointX), std::fabs(double(step.Y) - pointY)) > kOneStep) ||
            std::fabs(std::hypot(double(step.X) - reading.CentreX, double(step.Y) - reading.CentreY) -
                      reading.Radius) > 1)
          continue;
        step.At = StepPoint(reading, step.X, step.Y);
        int64_t cx = 0, cy = 0;
        if (!TapePoint(step.At, cx, cy) || cx != step.X || cy != step.Y) continue;
      }
      steps.push_back(step);
    }
  return steps;
}

TIntPoint TRoutTapeBuilder::ArcStart(const TIntPoint& start, const TRoutTapeItem& arc, const TIntPoint* next) {
  // Where the ends of the arc alone leave its reading more than a step
  // off, its start, the end of the line before it, may lie on a step beside
  // it as the arc's own end may: the one the arc reads back nearest from.
  const TIntPoint point = lastPoint_;
  const int64_t x = lastX_, y = lastY_;
  std::vector<TArcPiece> pieces;
  const auto missFrom = [&](const TIntPoint& at, int64_t sx, int64_t sy, bool firstOnly) {
    lastPoint_ = at;
    lastX_ = sx;
    lastY_ = sy;
    double miss = HUGE_VAL;
    pieces = ArcEnds(arc, next, &miss, firstOnly);
    return miss;
  };
  TIntPoint chosen = start;
  int64_t ex = 0, ey = 0;
  if (TapePoint(start, ex, ey)) {
    // An arc that reads back within a step from the line's own end, in
    // however many pieces, is written from there as it always was. From a
    // step beside it the fewest pieces tell: more pieces come nearer only
    // for arcs near or past a half circle, whose ends between the pieces
    // choose more than its start does.
    double least = missFrom(start, ex, ey, false);
    arcFromStart_ = {start, std::move(pieces)};
    lastPoint_ = start;
    const TArcReading reading = ArcReadingOf(arc);
    if (reading.Valid && least > kOneStep)
      for (const TStepBeside& step : StepsBeside(reading, start, ex, ey, true)) {
        // Not where the line begins.
        if (!step.Moved || (step.X == x && step.Y == y)) continue;
        if (const double miss = missFrom(step.At, step.X, step.Y, true); miss < least) {
          least = miss;
          chosen = step.At;
          arcFromStart_.reset();
          if (least <= kOneStep) break;
        }
      }
  }
  lastPoint_ = point;
  lastX_ = x;
  lastY_ = y;
  return chosen;
}

double TRoutTapeBuilder::ChosenArcEnds(const TRoutTapeItem& item, const TArcReading& reading,
                                       std::vector<TArcPiece>& pieces, const TIntPoint* next) const {
  // A block's reading is thrown along its chord by how far its two rounded
  // ends lie off the arc, the one against the other. Between the arc's own
  // ends each piece's end may lie on any step beside it within a step of
  // the arc, and so may the arc's end within a step of it where the path
  // goes on from there (the next block starts where this one ends; the end
  // of a path, which may close it or meet a tab, stays where it is): the
  // ends whose pieces read back nearest are found piece by piece, each kept
  // with the nearest way to it from the arc's start.
  int64_t nx = 0, ny = 0;
  const bool endFree = next != nullptr && TapePoint(*next, nx, ny);
  if (!reading.Valid || (pieces.size() < 2 && !endFree)) return HUGE_VAL;
  struct TEnd {
    TIntPoint At;
    int64_t X = 0, Y = 0;  // steps
    double Miss = HUGE_VAL;  // the farthest reading of the pieces to it
    int32_t From = -1;       // the end before it on that way
    TArcPiece Piece;         // the piece to it from there
  };
  // An end a step aside keeps the pieces running on along the arc only
  // where each piece spans a few steps.
  constexpr int64_t kFewestSteps = 4;
  int64_t sx = lastX_, sy = lastY_;
  for (const TArcPiece& piece : pieces) {
    int64_t px = 0, py = 0;
    if (!TapePoint(piece.End, px, py) || std::max(std::llabs(px - sx), std::llabs(py - sy)) < kFewestSteps)
      return HUGE_VAL;
    sx = px;
    sy = py;
  }
  std::vector<std::vector<TEnd>> ends(pieces.size());
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const bool own = k + 1 == pieces.size();
    int64_t px = 0, py = 0;
    if (!TapePoint(pieces[k].End, px, py)) return HUGE_VAL;
    for (const TStepBeside& step : StepsBeside(reading, pieces[k].End, px, py, own)) {
      if (own && step.Moved && (!endFree || (step.X == nx && step.Y == ny))) continue;
      TEnd e;
      e.At = step.At;
      e.X = step.X;
      e.Y = step.Y;
      // The arc's own end, where it is, comes first: it stays where no
      // other reads back nearer.
      if (own && !step.Moved) ends[k].insert(ends[k].begin(), e);
      else ends[k].push_back(e);
    }
  }
  for (std::size_t k = 0; k < ends.size(); ++k) {
    for (TEnd& e : ends[k]) {
      const auto reach = [&](const TIntPoint& from, int64_t sx, int64_t sy, double before, int32_t index) {
        TArcPiece piece{e.At};
        const std::optional<double> miss = PieceReadingMiss(item, reading, from, sx, sy, piece);
        if (!miss) return false;
        if (std::max(before, *miss) < e.Miss) {
          e.Miss = std::max(before, *miss);
          e.From = index;
          e.Piece = piece;
        }
        return true;
      };
      if (k == 0) {
        if (!reach(lastPoint_, lastX_, lastY_, 0, -1)) return HUGE_VAL;
        continue;
      }
      for (std::size_t b = 0; b < ends[k - 1].size(); ++b) {
        const TEnd& before = ends[k - 1][b];
        if (before.Miss < e.Miss && !reach(before.At, before.X, before.Y, before.Miss, int32_t(b)))
          return HUGE_VAL;
      }
    }
  }
  const TEnd* e = &ends.back().front();
  for (const TEnd& other : ends.back())
    if (other.Miss < e->Miss) e = &other;
  const double miss = e->Miss;
  if (!(miss < HUGE_VAL)) return HUGE_VAL;
  for (std::size_t k = pieces.size(); k-- > 0;) {
    pieces[k] = e->Piece;
    if (k > 0) e = &ends[k - 1][std::size_t(e->From)];
  }
  return miss;
}

std::vector<TRoutTapeBuilder::TArcPiece> TRoutTapeBuilder::ArcEnds(const TRoutTapeItem& item, const TIntPoint* next,
                                                                   double* readingMiss, bool firstOnly) const {
  // A radius states the shorter of the two arcs between two points, and so
  // does the program's own tape read back: an arc of more than a half
  // circle goes out as two halves at least. Its reading finds the centre
  // from the rounded ends and radius, and the nearer a block's sweep comes
  // to a half circle the farther that rounding throws the centre along the
  // chord's normal: an arc whose blocks would read back more than a step
  // off goes out in the fewest pieces that read back within one, or in
  // those that come nearest, each piece's words chosen as ArcReadingMiss
  // says and, among a few pieces, the ends between them as ChosenArcEnds
  // says. The blocks that read back within a step are written as they
  // always were. Pieces shorter than kLeastPieceSweep come no nearer than
  // fewer, longer ones: an arc is tried in as many pieces as keep them that
  // long, and in up to four however short it is.
  constexpr int32_t kMostPieces = 16, kMostChosenPieces = 4;
  constexpr double kLeastPieceSweep = M_PI / 8;
  constexpr double kThrownAtMost = 2.2;
  const TIntPoint start = lastPoint_;
  const double a0 = std::atan2(double(start.Y) - item.Centre.Y, double(start.X) - item.Centre.X);
  const double a1 = std::atan2(double(item.Point.Y) - item.Centre.Y, double(item.Point.X) - item.Centre.X);
  double sweep = std::remainder(item.Clockwise ? a0 - a1 : a1 - a0, 2 * M_PI);
  if (sweep <= 0) sweep += 2 * M_PI;
  const double r = std::hypot(double(start.X) - item.Centre.X, double(start.Y) - item.Centre.Y);
  // Whatever ends lie between its pieces, their readings are thrown along
  // their chords, all told, by as much as the arc's own rounded ends lie
  // off it, the one against the other, over its length. Past
  // kThrownAtMost steps over each radian, some piece's reading is thrown
  // off its chord's midline by more than a step and a half along an axis,
  // and so, its centre rounded to a step, by more than a step: no ends are
  // chosen. An arc's end that may go on a step beside it is held to this
  // where it lies nearest the arc.
  const TArcReading reading = ArcReadingOf(item);
  int64_t ex = 0, ey = 0;
  const auto off = [&reading](int64_t x, int64_t y) {
    return std::hypot(double(x) - reading.CentreX, double(y) - reading.CentreY) - reading.Radius;
  };
  const auto choosable = [&](const TIntPoint* freeEnd) {
    if (!reading.Valid || !TapePoint(item.Point, ex, ey)) return false;
    double endOff = std::fabs(off(ex, ey) - off(lastX_, lastY_));
    if (freeEnd != nullptr)
      for (int64_t dy = -1; dy <= 1; ++dy)
        for (int64_t dx = -1; dx <= 1; ++dx)
          endOff = std::min(endOff, std::fabs(off(ex + dx, ey + dy) - off(lastX_, lastY_)));
    return endOff <= kThrownAtMost * sweep;
  };
  std::vector<TArcPiece> best;
  double bestMiss = HUGE_VAL;
  const int32_t fewest = sweep > M_PI + 1e-9 ? 2 : 1;
  const int32_t most =
      firstOnly ? fewest
                : std::clamp(static_cast<int32_t>(std::ceil(sweep / kLeastPieceSweep)), kMostChosenPieces, kMostPieces);
  const auto tryPieces = [&](const TIntPoint* freeEnd) {
    const bool chooses = choosable(freeEnd);
    for (int32_t n = fewest; n <= most; ++n) {
      std::vector<TArcPiece> ends;
      const double piece = (item.Clockwise ? -sweep : sweep) / n;
      for (int32_t k = 1; k < n; ++k)
        ends.push_back({{SaturatingRound(item.Centre.X + r * std::cos(a0 + piece * k)),
                         SaturatingRound(item.Centre.Y + r * std::sin(a0 + piece * k))}});
      ends.push_back({item.Point});
      double miss = ArcReadingMiss(item, ends);
      // The ends between a few pieces, and the end of an arc the path goes
      // on from, may be put on the steps beside them.
      if (miss > kOneStep && chooses && (n > 1 || freeEnd != nullptr) && n <= kMostChosenPieces) {
        std::vector<TArcPiece> chosen = ends;
        if (const double chosenMiss = ChosenArcEnds(item, reading, chosen, freeEnd); chosenMiss < miss) {
          ends = std::move(chosen);
          miss = chosenMiss;
        }
      }
      if (best.empty() || miss < bestMiss) {
        best = ends;
        bestMiss = miss;
      }
      if (miss <= kOneStep) break;
    }
  };
  // The arc's end stays where it is where pieces read back within a step
  // from there; the end of an arc the path goes on from is put on a step
  // beside it only where none do. Tried in the fewest pieces alone, the
  // end's steps beside it are tried with it where it is.
  if (!firstOnly || next == nullptr) tryPieces(nullptr);
  if (next != nullptr && bestMiss > kOneStep) tryPieces(next);
  if (readingMiss != nullptr) *readingMiss = bestMiss;
  return best;
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
    if (!TapeSteps(f_, static_cast<double>(tx), sx) || !TapeSteps(f_, static_cast<double>(ty), sy) ||
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
        // on a step beside it (see ArcStart).
        const bool beforeArc = index + 1 < items.size() && items[index + 1].Kind == TRoutTapeItemKind::Arc;
        const TIntPoint end = beforeArc && index > 0 && goesOn(index - 1) != nullptr
                                  ? ArcStart(item.Point, items[index + 1], movableEnd(index + 1))
                                  : item.Point;
        if (!PointWords(end, words) || !FeedWord(item.Feed, words)) return false;
        lines_.push_back(words);
        break;
      }
      case TRoutTapeItemKind::Arc: {
        HeadDown();
        // The blocks ArcStart found from the line's end, where it kept it.
        const std::vector<TArcPiece> pieces = arcFromStart_ && arcFromStart_->first == lastPoint_
                                                  ? std::move(arcFromStart_->second)
                                                  : ArcEnds(item, movableEnd(index));
        arcFromStart_.reset();
        for (const TArcPiece& piece : pieces)
          if (!ArcBlock(item, piece)) return false;
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
