// The reader object: construction, the base virtual operations, the shared
// finish, the I/O check and the hit counter.
#include "tapein/nc_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/byte_order.h"
#include "foundation/file_utils.h"
#include "foundation/utilities.h"
#include "model/step_repeat.h"
#include "platform/paths.h"

TNCReader* CurrentReader = nullptr;
bool PlainLineFastPath = true;

std::string JoinText(std::initializer_list<std::string_view> pieces) {
  std::size_t size = 0;
  for (const std::string_view piece : pieces) size += piece.size();
  std::string text;
  text.reserve(size);
  for (const std::string_view piece : pieces) text += piece;
  return text;
}

std::string PatternPastDrawnCopiesText(int32_t line, int32_t entities, int64_t limit) {
  return JoinText({"Line ", std::to_string(line), ": the pattern's repeats were not applied to ",
                   std::to_string(entities), entities == 1 ? " entity" : " entities",
                   ": the job's stepped entities would come to more than ",
                   IntToStrGrouped(int32_t(std::min<int64_t>(limit, INT32_MAX))),
                   " copies, all a job file holds."});
}

std::string PatternPastJobBoundText(int32_t line, int32_t entities, int64_t bound) {
  return JoinText({"Line ", std::to_string(line), ": the pattern's repeats were not applied to ",
                   std::to_string(entities), entities == 1 ? " entity" : " entities",
                   ": the job's step patterns would come to more than ",
                   IntToStrGrouped(int32_t(std::min<int64_t>(bound, INT32_MAX))),
                   " commands and copies, all a job file holds."});
}

std::string PatternTooDeepText(int32_t line, int32_t entities, int32_t levels) {
  return JoinText({"Line ", std::to_string(line), ": the pattern's repeats were not applied to ",
                   std::to_string(entities), entities == 1 ? " entity" : " entities", " already repeated by ",
                   std::to_string(levels), " patterns."});
}

std::string PatternCannotExpandText(int32_t line, int32_t entities) {
  return JoinText({"Line ", std::to_string(line), ": the pattern's repeats were not applied to ",
                   std::to_string(entities), entities == 1 ? " entity" : " entities", ": they would make more than ",
                   IntToStrGrouped(kMaxStepCopies), " copies or move outside the coordinate range."});
}

std::string PatternNoticesText(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t k = 0; k < lines.size() && k < kPatternNoticeLines; ++k)
    text += (k == 0 ? "" : "\r\n") + lines[k];
  if (lines.size() > kPatternNoticeLines) {
    const std::size_t more = lines.size() - kPatternNoticeLines;
    text += "\r\n(" + std::to_string(more) + (more == 1 ? " more line.)" : " more lines.)");
  }
  return text;
}

namespace {

// The current directory in the program's name form, ending in "\".
std::string CurrentDirectoryName() {
  char buffer[4096];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return "";
  return buffer;
}

}  // namespace

// ---- Move records ------------------------------------------------------------

void PackMove(const TNCMove& move, unsigned char* record) {
  std::memset(record, 0, NCMoveRecordSize);
  record[0] = move.Kind;
  PutInt32(record + 1, move.SourceBlock);
  PutInt32(record + 5, move.StartX);
  PutInt32(record + 9, move.StartY);
  PutInt32(record + 13, 0);  // pending texts live in memory only
  PutInt32(record + 17, move.EndX);
  PutInt32(record + 21, move.EndY);
  PutInt32(record + 25, move.CentreX);
  PutInt32(record + 29, move.CentreY);
  record[33] = move.Comp;
  record[34] = move.FromRepeat;
  record[35] = move.Head;
  PutInt32(record + 36, move.Tool);
  PutInt32(record + 40, move.ToolOffset);
}

TNCMove UnpackMove(const unsigned char* record) {
  TNCMove move;
  move.Kind = record[0];
  move.SourceBlock = GetInt32(record + 1);
  move.StartX = GetInt32(record + 5);
  move.StartY = GetInt32(record + 9);
  move.PendingTexts = nullptr;
  move.EndX = GetInt32(record + 17);
  move.EndY = GetInt32(record + 21);
  move.CentreX = GetInt32(record + 25);
  move.CentreY = GetInt32(record + 29);
  move.Comp = record[33];
  move.FromRepeat = record[34];
  move.Head = record[35];
  move.Tool = GetInt32(record + 36);
  move.ToolOffset = GetInt32(record + 40);
  return move;
}

TNCMove BlankMove() {
  TNCMove move;
  move.Kind = NCMoveNone;
  move.SourceBlock = 1;
  move.Tool = 1;
  move.ToolOffset = 1;
  return move;
}

// ---- Work record -------------------------------------------------------------

TGlobalRec::~TGlobalRec() {
  if (MainSwapOpen) MainSwap.Done();
  if (SubSwapOpen) SubSwap.Done();
  if (MainText != nullptr) std::fclose(MainText);
  if (SubText != nullptr) std::fclose(SubText);
  if (SymbolFile != nullptr) std::fclose(SymbolFile);
  delete HeldMove.PendingTexts;
  HeldMove.PendingTexts = nullptr;
}

// ---- Construction --------------------------------------------------------------

TNCReader::TNCReader(const std::string& fileName, const std::string& swapFilterName,
                     const std::string& scratchDir, int32_t divisor, bool zeroMode,
                     int32_t integerDigits, int32_t decimalDigits, bool incremental,
                     bool arcAdjust, bool metric, int32_t axisVersion, bool blockDelete,
                     bool counterClockwise) {
  CurrentReader = this;
  IOResult();  // a pending result from before is dropped
  // Every field gets its value first, so that a reader whose scratch path
  // check fails is still in a defined state.
  FileName = fileName;
  SwapFilterName = swapFilterName;
  DefaultFileName.clear();
  Divisor = divisor != 0 ? divisor : 1;
  TrailingZeros = !zeroMode;
  IntegerDigits = integerDigits;
  DecimalDigits = decimalDigits;
  if (integerDigits > 0 && decimalDigits > 0) {
    (metric ? MetricIntegerDigits : InchIntegerDigits) = integerDigits;
    (metric ? MetricDecimalDigits : InchDecimalDigits) = decimalDigits;
  }
  Incremental = incremental;
  ArcAdjust = arcAdjust;
  Metric = metric;
  AxisVersion = axisVersion;
  ErrorsAreFatal = false;
  TravelClock.Init(Acceleration, TopSpeed, TravelSeed);
  CounterClockwise = counterClockwise;
  BlockDelete = blockDelete;

  ScratchDir = scratchDir;
  if (ScratchDir.empty() || !DirectoryIsWritable(ScratchDir)) ScratchDir = CurrentDirectoryName();
  if (ScratchDir.empty()) InOutRes = ENOENT;
  // The consumer's operations cannot be reached while it is being built:
  // the report waits for Run, which then fails at once.
  LastIOResult = IOResult();
  if (LastIOResult != 0) {
    ErrorFlag = true;
    SetupError = IoResultText(LastIOResult) + " checking path <" + ScratchDir + ">";
    return;
  }
  // A 32-bit word holds ten digits: a format beyond them (a damaged setting,
  // a typed count) is refused rather than read wrongly.
  if (integerDigits < 0 || decimalDigits < 0 || integerDigits > MaxFormatDigits ||
      decimalDigits > MaxFormatDigits) {
    ErrorFlag = true;
    SetupError = "The tape format " + std::to_string(integerDigits) + "." +
                 std::to_string(decimalDigits) + " has more digits than a number can hold (at most " +
                 std::to_string(MaxFormatDigits) + " before and after the point).";
    return;
  }
  if (ScratchDir.back() != '\\' && ScratchDir.back() != '/') ScratchDir += '\\';
}

TNCReader::~TNCReader() {
  if (CurrentReader == this) CurrentReader = nullptr;
}

// ---- Base virtual operations ---------------------------------------------------

void TNCReader::HeaderDone(int32_t) {}
void TNCReader::Progress(const std::string&) {}
void TNCReader::Notice(std::string) {}
void TNCReader::ToolValue2(uint16_t, int32_t&) {}
void TNCReader::ToolValue(uint16_t, int32_t&) {}
void TNCReader::Message(std::string text) { Faults.Add(std::move(text)); }
void TNCReader::Note(std::string text) { Faults.AddNote(std::move(text)); }
void TNCReader::Error(std::string) {}
void TNCReader::Warning(int32_t, int32_t, int32_t, std::string) {}
void TNCReader::M96Block(int32_t, std::string) {}
void TNCReader::UnparsedBlock(const std::string&, uint8_t) {}
void TNCReader::OperatorMessage(int32_t, const std::string&) {}
void TNCReader::BlockMessage(int32_t, std::string) {}
bool TNCReader::SetOrigin(int32_t, int32_t) { return true; }
void TNCReader::Emit18(int32_t, int32_t, int32_t, int32_t, uint8_t) {}
void TNCReader::LineMove(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, uint8_t) {}
void TNCReader::ArcMove(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, bool,
                        int32_t, int32_t) {}
void TNCReader::PatternStart(int32_t) {}
void TNCReader::Hook22(int32_t, int32_t, int32_t, uint8_t) {}
void TNCReader::StepRepeatEnd(int32_t) {}
void TNCReader::GetText(int32_t, const std::string& defaultText, std::string& text) {
  text = defaultText;
}
void TNCReader::RapidMove(int32_t, int32_t, int32_t, int32_t) {}
void TNCReader::RoutLine(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, uint8_t) {}
void TNCReader::RoutArc(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                        uint8_t, bool) {}
void TNCReader::RoutCircle(int32_t, int32_t, int32_t, int32_t, int32_t, bool, bool& handled) {
  handled = false;
}
void TNCReader::ToolCompDiameter(int32_t, int32_t) {}
void TNCReader::ToolDiameter(int32_t, int32_t) {}
void TNCReader::ToolChange(int32_t, int32_t) {}
void TNCReader::PatternEnd(bool& handled) { handled = false; }
void TNCReader::PatternRepeat(bool& handled, int32_t, int32_t, uint8_t, int32_t) {
  handled = false;
}
void TNCReader::PatternsDone(bool& handled) { handled = false; }
bool TNCReader::TakesStepRepeat() { return false; }
bool TNCReader::RoutCommandsSeen() { return RoutSeen; }

// ---- Shared operations -------------------------------------------------------------

void TNCReader::Finish() {
  TravelClock.Done();
  LastFoundTool = nullptr;
  ToolList.clear();
  CompList.clear();
  if (CurrentReader == this) CurrentReader = nullptr;
  CheckIO("Unspecific Error");
}

bool TNCReader::CheckIO(std::string_view context) {
  LastIOResult = IOResult();
  if (LastIOResult == 0) return false;
  Error(IoResultText(LastIOResult) + " " + std::string(context));
  ErrorFlag = true;
  return true;
}

void TNCReader::Fail(const std::string& text) {
  ErrorFlag = true;
  Error(text);
}

std::string TNCReader::Text(int32_t id, const std::string& defaultText) {
  std::string text;
  GetText(id, defaultText, text);
  return text;
}

void TNCReader::CountHit(int32_t x, int32_t y, int32_t tool) {
  ++HitCount;
  FindTool(tool).Hits += 1;  // AddToolHits, without the call
  if (MaxHits > 0 && HitCount >= MaxHits) {
    FirstHit = true;
    TravelClock.AddTime(ToolChangeTime);
    Notice("Max hits reached.");
    HitCount = 1;
  }
  if (FirstHit) {
    TravelClock.AddMove(0.0, 0.0);
    FirstHit = false;
  } else {
    TravelClock.AddMove(static_cast<double>(LastHitX) - x, static_cast<double>(LastHitY) - y);
  }
  LastHitX = x;
  LastHitY = y;
}

void TNCReader::AddTravel(int32_t tool, int32_t x, int32_t y) {
  const int64_t dx = std::llabs(static_cast<int64_t>(x) - LastTravelX);
  const int64_t dy = std::llabs(static_cast<int64_t>(y) - LastTravelY);
  AddToolTravel(tool, static_cast<double>(dx > dy ? dx : dy));
  LastTravelX = x;
  LastTravelY = y;
}

void ReaderSwapError(const std::string& message) {
  if (CurrentReader != nullptr) CurrentReader->Fail(ShortStr(message));
}

void ReaderSwapNotice(const std::string& message) {
  if (CurrentReader != nullptr) CurrentReader->Notice(ShortStr(message));
}
