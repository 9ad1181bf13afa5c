#include "tapein/drill_import.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <unordered_set>

#include "foundation/display_units.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/tape_feed.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/job_file_reader.h"
#include "model/job_file_writer.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "tapein/drill_format_dialog.h"
#include "tapein/filter_lists.h"

int32_t DrillToolOffset = 0;
int32_t ImportOriginX = 0;
int32_t ImportOriginY = 0;
TDrillTapeReader* DrillTapeReader = nullptr;

namespace {

int32_t DigitsOf(const TDrillFormatRecord& f, bool integer) {
  if (f.Metric) return integer ? f.MetricIntegerDigits : f.MetricDecimalDigits;
  return integer ? f.IntegerDigits : f.DecimalDigits;
}

int32_t Shifted(int32_t value, int32_t offset) {
  return ClampCompToInt(int64_t{value} + offset);
}

}  // namespace

// They were added hidden and never journalled, so nothing else refers to
// them.
void RemoveDrillEntitiesFrom(int32_t firstIndex) {
  for (int32_t i = DrillEntityCount; i >= std::max(1, firstIndex); --i) {
    TEntitySlot* s = DrillEntities->GetSlot(i);
    delete s->Entity;
    *s = TEntitySlot{};
  }
  const int32_t count = std::max(0, firstIndex - 1);
  if (count < DrillEntityCount) {
    DrillEntityCount = count;
    DrillEntities->SetCount(count);
  }
}

namespace {

// What an import may change besides the entities, kept to put back when the
// import is withdrawn.
struct TDrillImportSnapshot {
  TIndexedArray<TToolRecord, 1, kToolCount> Tools;
  TIndexedArray<bool, 1, kToolCount> Active;
  uint16_t CurrentTool = 1;
  TImportPlacement Placement;
  void Take() {
    Tools = ToolTable;
    Active = ActiveTools;
    CurrentTool = DRDB->CurrentTool;
    Placement = DRDB->ImportPlacement;
  }
  void Restore() const {
    ToolTable = Tools;
    ActiveTools = Active;
    DRDB->CurrentTool = CurrentTool;
    DRDB->ImportPlacement = Placement;
  }
};

}  // namespace

// ---- The reader ---------------------------------------------------------------------------

TDrillTapeReader::TDrillTapeReader(const std::string& fileName, const std::string& swapFileName)
    : TNCReader(fileName, swapFileName, ExecutionPath() + "SCRATCH\\", 1,
                DrillInputFormat.ZerosUsed == 0 || DrillInputFormat.ZerosUsed == 2,
                DigitsOf(DrillInputFormat, true), DigitsOf(DrillInputFormat, false),
                !DrillInputFormat.Absolute, false, DrillInputFormat.Metric,
                DrillInputFormat.Version, DrillInputFormat.BlockDelete, false) {
  DrillTapeReader = this;
  // A unit statement without digits takes the dialog's digits of its unit.
  InchIntegerDigits = DrillInputFormat.IntegerDigits;
  InchDecimalDigits = DrillInputFormat.DecimalDigits;
  MetricIntegerDigits = DrillInputFormat.MetricIntegerDigits;
  MetricDecimalDigits = DrillInputFormat.MetricDecimalDigits;
  OriginSeen = DrillInputFormat.ResolveG93;
  OffsetX = OffsetY = 0;
  ImportOriginX = ImportOriginY = 0;
  ShowMessages = DrillInputFormat.ShowMessages;
  Layer = ValidDrillLayer(CurrentLayer) ? CurrentLayer : kFirstDrillLayer;

  // The offset is the highest tool of a live drill entity, 0 when there is
  // none: found on the way, not by a look at every tool number after.
  int32_t highest = 0;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (static_cast<int32_t>(DRDB->WordAt(i)) <= 0) continue;
    if (TDrillEntity* e = DRDB->EntityAt(i); e != nullptr && ValidToolNumber(e->GetToolNumber())) {
      LiveTools[e->GetToolNumber()] = true;
      highest = std::max<int32_t>(highest, e->GetToolNumber());
    }
  }
  DrillToolOffset = highest;
  SavedTool = DRDB->CurrentTool;
  DRDB->CurrentTool = uint16_t(std::min(DrillToolOffset + 1, kToolCount));

  Report = std::make_unique<TGTScrollWindow>();
  Report->SetCaption(Text(432, "Import results"));
  Report->SetTextSize(30, 16);
  Report->Clear();
  Report->WriteLn("Decoding " + fileName);
  Report->WriteLn(" ");
  Report->HideOKButton();
  ProcessMessages();
  if (ShowMessages) Report->Show();
  ErrorsSeen = false;
}

TDrillTapeReader::~TDrillTapeReader() {
  if (DrillTapeReader == this) DrillTapeReader = nullptr;
}

void TDrillTapeReader::ReportLine(std::string text, bool fault) {
  if (fault) ErrorsSeen = true;
  if (!Report) return;
  if (ListingEnded_ || ListedLines_ < kListedLines) {
    ++ListedLines_;
    Report->WriteLn(std::move(text));
    return;
  }
  // A tape faulty in every block would otherwise fill the window, and the
  // memory, with a line for each.
  ++LinesPastList_;
  LastLines_.push_back(std::move(text));
  if (LastLines_.size() > kLastLines) LastLines_.pop_front();
}

void TDrillTapeReader::EndListing() {
  if (ListingEnded_) return;
  ListingEnded_ = true;
  if (!Report) return;
  const int64_t unlisted = LinesPastList_ - int64_t(LastLines_.size());
  if (unlisted > 0)
    Report->WriteLn("(" + std::to_string(unlisted) + (unlisted == 1 ? " more line is" : " more lines are") +
                    " not listed here.)");
  for (std::string& line : LastLines_) Report->WriteLn(std::move(line));
  LastLines_.clear();
}

void TDrillTapeReader::Poll(bool& abort) {
  // Sixteen copies of a pattern cost about what a line does.
  const int64_t work =
      (GlobalRec ? GlobalRec->LinesRead + GlobalRec->TapeEmits : 0) + RepeatCopies / 16;
  if (!CancelBox.TimeToLook(work)) return;
  ProcessMessages();
  // The status box shows how far the reading is.
  if (CancelBox.Cancelled(PercentRead())) abort = true;
}

void TDrillTapeReader::Progress(const std::string& text) {
  if (Report) Report->Write(text);
}

void TDrillTapeReader::Notice(std::string text) { ReportLine(std::move(text), false); }
void TDrillTapeReader::Message(std::string text) {
  TNCReader::Message(text);
  ReportLine(std::move(text), true);
}

void TDrillTapeReader::Note(std::string text) {
  TNCReader::Note(text);
  ReportLine(std::move(text), false);
}

void TDrillTapeReader::Error(std::string text) {
  // Errors come from what stops the reading: files, filters, memory,
  // limits, a position that did not decode.
  if (StopReason.empty()) StopReason = text;
  ReportLine(std::move(text), true);
  Stopped = true;
}

void TDrillTapeReader::Warning(int32_t, int32_t, int32_t, std::string text) {
  ReportLine(std::move(text), true);
}

void TDrillTapeReader::M96Block(int32_t, std::string text) { ReportLine(std::move(text), false); }

void TDrillTapeReader::BlockMessage(int32_t, std::string text) { ReportLine(std::move(text), true); }

bool TDrillTapeReader::SetOrigin(int32_t x, int32_t y) {
  if (!OriginSeen) {
    OriginSeen = true;
    ImportOriginX = x;
    ImportOriginY = y;
  } else {
    OffsetX = ClampCompToInt(int64_t{x} - ImportOriginX);
    OffsetY = ClampCompToInt(int64_t{y} - ImportOriginY);
  }
  return false;
}

void TDrillTapeReader::RecordPattern(int32_t index) {
  if (Recording && index != 0) PatternEntities.push_back(index);
}

void TDrillTapeReader::Hit(int32_t x, int32_t y, int32_t, int32_t, int32_t, uint8_t) {
  RecordPattern(DRDB->AddHoleOnLayer(Shifted(x, OffsetX), Shifted(y, OffsetY), Layer,
                                     DRDB->CurrentTool, false));
}

void TDrillTapeReader::Circle(int32_t x, int32_t y, int32_t, int32_t diameter, int32_t, int32_t) {
  RecordPattern(DRDB->AddCircleOnLayer(Shifted(x, OffsetX), Shifted(y, OffsetY), diameter / 2,
                                       Layer, DRDB->CurrentTool, false));
}

void TDrillTapeReader::Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t, int32_t,
                            int32_t, uint8_t) {
  RecordPattern(DRDB->AddSlotOnLayer(Shifted(x0, OffsetX), Shifted(y0, OffsetY),
                                     Shifted(x1, OffsetX), Shifted(y1, OffsetY), Layer,
                                     DRDB->CurrentTool, false));
}

void TDrillTapeReader::LineMove(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                uint8_t) {
  ++RoutMovesLeftOut;
}

void TDrillTapeReader::ArcMove(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, bool,
                               int32_t, int32_t) {
  ++RoutMovesLeftOut;
}

void TDrillTapeReader::DrilledText(int32_t x, int32_t y, int32_t, bool vertical, int32_t,
                                   const std::string& text, int32_t) {
  RecordPattern(DRDB->AddTextOnLayer(Shifted(x, OffsetX), Shifted(y, OffsetY), text, vertical,
                                     Layer, DRDB->CurrentTool, false));
}

void TDrillTapeReader::PatternStart(int32_t) {
  ClearPatternEntities();
  Recording = true;
}

bool TDrillTapeReader::DrillTool(int32_t tapeTool, int32_t& drillTool) {
  const int64_t tool = int64_t{tapeTool} + DrillToolOffset;
  if (tool >= 1 && tool <= kToolCount) {
    drillTool = int32_t(tool);
    return true;
  }
  std::string text = "Tool T" + std::to_string(tapeTool) + " in line " +
                     std::to_string(BlockNumber);
  if (DrillToolOffset > 0)
    text += " (offset by " + std::to_string(DrillToolOffset) + " to tool " +
            std::to_string(tool) + ")";
  text += " is beyond the last drill tool 1000.";
  Fail(text);  // reported through Error, which stops the reading
  return false;
}

void TDrillTapeReader::ToolDiameter(int32_t tool, int32_t value) {
  int32_t t = 0;
  if (DrillTool(tool, t)) ToolTable[t].Diameter = value;
}

void TDrillTapeReader::ToolChange(int32_t tool, int32_t) {
  int32_t t = 0;
  if (!DrillTool(tool, t)) return;
  DRDB->CurrentTool = uint16_t(t);
  ActiveTools[t] = true;
}

void TDrillTapeReader::ReportPattern(std::string text) {
  PatternNotices.push_back(text);
  ReportLine(std::move(text), true);
}

void TDrillTapeReader::ApplyRepeats() {
  TStepObject* step = nullptr;
  if (!PatternEntities.empty()) {
    // A stored list ends with a closing step, as the step-list editor keeps
    // it: without it the last M02 of the tape would give no copy.
    RepeatList.push_back(TStepCommand{0, 1, 0, 0, 0});
    TQuietStepExpansion quiet;  // a pattern that cannot expand is reported below
    step = NewMovedStepObject(RepeatList, OffsetX, OffsetY);
  }
  RepeatList.clear();
  // Each pattern end wraps the holes of the pattern once more. Past
  // kMaxPatternChain levels (all a step list nests) the entity keeps the
  // copies it has, leaves the list (its levels never fall) and the report
  // says so at this end and every later one. A chain that would not expand
  // whole (too many copies, or copies outside the coordinate range) or
  // would take the job past its step bound is not made: the entity keeps
  // the copies it has and leaves the list.
  int32_t refused = PatternRefused;
  int32_t pastBound = 0, cannotExpand = 0, pastDrawn = 0;
  if (step != nullptr) {
    size_t kept = 0;
    // The entities of a pattern mostly share their chain of steps: each
    // chain made is expanded once and counted once.
    const TStepObject* last = nullptr;
    if (StepWork < 0) StepWork = JobStepWork();
    if (DrawnCopies < 0) DrawnCopies = JobDrawnCopies();
    std::unordered_set<const TStepObject*> counted;
    const bool whole = step->ChainWhole();
    for (const int32_t index : PatternEntities) {
      TDrillEntity* e = DRDB->EntityAt(index);
      if (e == nullptr) continue;
      const std::vector<TIntPoint> points = e->StepPoints();
      const TPatternTake take = whole ? TakePatternLevel(e->StepObj, step, StepWork, counted, &DrawnCopies, &points)
                                      : TPatternTake::CannotExpand;
      if (take == TPatternTake::TooDeep) {
        ++refused;
        ++PatternRefused;
        continue;
      }
      if (take != TPatternTake::Taken) {
        ++(take == TPatternTake::PastBound ? pastBound : take == TPatternTake::PastDrawnCopies ? pastDrawn : cannotExpand);
        continue;
      }
      e->AppendStepObj(step);
      if (e->StepObj != last) {
        last = e->StepObj;
        if (last != nullptr) RepeatCopies += last->CopyCount();
      }
      PatternEntities[kept++] = index;
    }
    PatternEntities.resize(kept);
    ReleaseStepObject(step);
  }
  if (refused > 0)
    ReportPattern(PatternTooDeepText(BlockNumber, refused, kMaxPatternChain));
  if (cannotExpand > 0) ReportPattern(PatternCannotExpandText(BlockNumber, cannotExpand));
  if (pastBound > 0) ReportPattern(PatternPastJobBoundText(BlockNumber, pastBound, JobStepWorkLimit()));
  if (pastDrawn > 0) ReportPattern(PatternPastDrawnCopiesText(BlockNumber, pastDrawn, JobDrawnCopiesLimit()));
}

void TDrillTapeReader::PatternEnd(bool& handled) {
  handled = true;
  if (!RepeatList.empty()) ApplyRepeats();
  RepeatList.push_back(TStepCommand{1, 1, 0, 0, 0});
}

void TDrillTapeReader::PatternRepeat(bool& handled, int32_t x, int32_t y, uint8_t orientation,
                                     int32_t count) {
  RepeatList.push_back(TStepCommand{0, count, x, y, orientation});
  handled = true;
}

void TDrillTapeReader::PatternsDone(bool& handled) {
  handled = true;
  if (!RepeatList.empty()) ApplyRepeats();
  Recording = false;
  ClearPatternEntities();
}

std::string TDrillTapeReader::ToolOffsetNotice() const {
  const std::string n = std::to_string(DrillToolOffset);
  return n + " tool numbers are already in use.\r\nNew tool numbers will be offset by " + n;
}

std::string TDrillTapeReader::RoutMovesNotice() const {
  return std::to_string(RoutMovesLeftOut) +
         (RoutMovesLeftOut == 1 ? " routed move was" : " routed moves were") +
         " not imported: a drill layer takes holes and slots only.\r\n"
         "Open Rout Tape on a rout layer reads them.";
}

void TDrillTapeReader::Done() {
  EndListing();
  Finish();
  DRDB->CurrentTool = SavedTool;
  if (DrillToolOffset > 0) InformationBox(ToolOffsetNotice());
  TImportPlacement& placement = DRDB->ImportPlacement;
  int32_t minX = 2147483647, maxX = -2147483647, minY = 2147483647, maxY = -2147483647;
  int32_t holes = 0, others = 0;
  if (DRDB->ExtentsAndHitsFrom(placement.FirstIndex, minX, maxX, minY, maxY, holes, others)) {
    placement.MinX = minX;
    placement.MaxX = maxX;
    placement.MinY = minY;
    placement.MaxY = maxY;
    placement.Flags |= 1;
    const double unit = UnitsPerDisplayUnit;
    Report->WriteLn("");
    Report->WriteLn("There were " + std::to_string(holes) + " regular hits.");
    Report->WriteLn("There were about " + std::to_string(others) + " hits from");
    Report->WriteLn("nibbled slots, circles and drilled text.");
    Report->WriteLn(" ");
    Report->WriteLn("X Min = " + FormatReportLength(minX / unit) +
                    "  Y Min = " + FormatReportLength(minY / unit));
    Report->WriteLn("X Max = " + FormatReportLength(maxX / unit) +
                    "  Y Max = " + FormatReportLength(maxY / unit));
  }
  if (RoutCommandsSeen()) {
    Report->WriteLn("");
    Report->WriteLn("Notice: Rout Commands were decoded in this file.");
  }
  if (RoutMovesLeftOut > 0) {
    const std::string text = RoutMovesNotice();
    Report->WriteLn(text);
    // Also without the results window: the moves must not vanish unnoticed.
    InformationBox(text);
  }
  Report->WriteLn("");
  Report->WriteLn("Done decoding file.");
  if (ErrorsSeen) {
    Report->WriteLn("");
    Report->WriteLn("Errors were encountered reading the file.");
    Report->WriteLn("Inspect output carefully for errors!");
  }
  ViewServices().SetCursor(crDefault);
  if (ShowMessages) {
    Report->ShowOKButton();
    Report->ScrollToEnd();
    // Until OK, or until the window was closed some other way.
    while (!Report->OKPressed() && Report->Showing()) ProcessMessages();
    Report->Hide();
  }
  ViewServices().SetCursor(crHourGlass);
  Report.reset();
}

// ---- The import ----------------------------------------------------------------------------

bool ImportDrillTapeWithFilter(const std::string& fileName) {
  TModalBracket bracket;
  uint8_t filter = DrillImportFilter;
  if (!PickFilter(filter, true)) return false;
  ViewServices().SetCursor(crHourGlass);
  const bool read = ImportDrillTape(fileName, filter);
  ViewServices().SetCursor(crDefault);
  DrillImportFilter = filter;
  return read;
}

bool ImportDrillTape(const std::string& fileName, uint8_t filter) {
  static const char* const kWithdrawn = "The import was withdrawn; the drill database is unchanged.";
  if (DRDB == nullptr) return false;
  std::string swapFile;
  if (filter > 0 && filter <= FilterCount) {
    swapFile = ImportFilters[filter].SwapFile;
    if (!FileExistsNoWild(swapFile)) {
      MessageDlg(" Cannot find specified swap file " + swapFile + "!", mtError, mbOKOnly);
      return false;
    }
  }
  // A swap filter may turn the tape's words into holes.
  if (swapFile.empty() && TapeHoldsNoHoles(fileName)) {
    ReportTapeWithoutHoles(fileName);
    return false;
  }
  if (!RunDrillFormatDialog(fileName)) return false;

  TModalBracket bracket;
  TDrillImportSnapshot before;
  before.Take();
  const int32_t firstIndex = DrillEntityCount + 1;
  DRDB->ImportPlacement.FirstIndex = firstIndex;
  DRDB->ImportPlacement.Flags &= uint8_t(~1u);

  bool kept = false;
  {
    TDrillJournalPause pause;
    TDrillTapeReader reader(fileName, swapFile);
    bool failed = false;
    {
      std::error_code error;
      const auto size = std::filesystem::file_size(NativePath(fileName), error);
      reader.FileBytes = error ? 0 : static_cast<int64_t>(size);
      reader.Run(failed);
    }
    reader.EndListing();
    // A file that is not there stops the reading as much as one that cannot
    // be read.
    if (!FileExistsNoWild(fileName) && !reader.Stopped) {
      reader.Error("File not found: " + fileName);
    }
    if (!reader.Abort && !reader.Stopped) {
      TNCReader::TTakenTool tool;
      while (reader.TakeFirstTool(tool)) {
        int32_t t = 0;
        if (!reader.DrillTool(tool.Tool, t)) break;
        TToolRecord& record = ToolTable[t];
        record.Diameter = tool.Diameter;
        record.Feed = tool.Feed / 1000;
        record.Speed = tool.Speed / 100;
        record.ZOffset = tool.Depth;
        record.MaxHits = tool.MaxHits;
      }
    }
    kept = !reader.Abort && !reader.Stopped;
    if (!kept) {
      RemoveDrillEntitiesFrom(firstIndex);
      before.Restore();
      DRDB->ImportPlacement.FirstIndex = firstIndex;
      reader.Notice("");
      reader.Notice(kWithdrawn);
    }
    // A tape read to its end that gave nothing (and no routed moves, which
    // have their own notice) says so as the other imports do.
    const bool nothing = kept && DrillEntityCount < firstIndex && reader.RoutMovesLeftOut == 0;
    if (nothing) {
      reader.Notice("");
      reader.Notice("<" + fileName + "> draws nothing.");
      reader.Notice("Nothing was imported.");
    }
    reader.Done();
    // Without the results window the withdrawal would pass unseen, and so
    // would what stopped the reading or left the tape without a hole.
    if (!kept && !reader.ShowMessages) {
      if (reader.StopReason.empty())
        InformationBox(kWithdrawn);
      else
        ErrorBox(TextStart(reader.StopReason, kShortStringMax) + "\r\n" + kWithdrawn);
    }
    if (nothing && !reader.ShowMessages) ReportTapeDrawsNothing(fileName, reader.Faults);
    // Nor would the pattern repeats left unapplied.
    if (kept && !nothing && !reader.ShowMessages && !reader.PatternNotices.empty())
      WarningBox(PatternNoticesText(reader.PatternNotices));
  }
  if (kept && DrillUndo != nullptr)
    for (int32_t i = firstIndex; i <= DrillEntityCount; ++i) DrillUndo->RecordAdd(i);
  return kept;
}

// ---- Report lengths ---------------------------------------------------------------------------

std::string FormatReportLength(double value) {
  std::string text = RealToStr(value);
  const size_t point = text.find('.');
  if (point != std::string::npos) {
    text = text.substr(0, point + 3);
    while (text.size() < point + 3) text += '0';
  } else {
    text += ".00";
  }
  text += Metric ? "mm" : "\" ";
  if (text.size() < 9) text.insert(0, 9 - text.size(), ' ');
  return text;
}

// ---- Detection ------------------------------------------------------------------------------------

bool TapeHoldsNoHoles(const std::string& fileName) {
  std::FILE* file = std::fopen(NativePath(fileName).c_str(), "rb");
  if (file == nullptr) return false;
  // A header is short: a longer file is read as a tape.
  constexpr int32_t kMostLines = 5000;
  bool m48 = false, closed = false, stated = false, drills = false, odd = false;
  std::string raw;
  int32_t lines = 0;
  while (!drills && !odd && ++lines <= kMostLines && ReadTextLineLimited(file, raw) == lrLine) {
    DropTapeFeed(raw);
    if (IsBlankTapeLine(raw)) continue;
    std::erase_if(raw, IsTapeBlank);
    std::string line = UpperCaseStr(raw);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (const size_t comment = line.find(';'); comment != std::string::npos) line.resize(comment);
    if (line.empty()) continue;
    for (const char c : line)
      odd = odd || !(std::isalnum(static_cast<unsigned char>(c)) || c == ',' || c == '.' ||
                     c == '+' || c == '-' || c == '%' || c == '/' || c == ':');
    for (size_t i = 0; i + 1 < line.size(); ++i) {
      const char next = line[i + 1];
      if ((line[i] == 'X' || line[i] == 'Y' || (i == 0 && line[i] == 'P')) &&
          (std::isdigit(static_cast<unsigned char>(next)) || next == '+' || next == '-' || next == '.'))
        drills = true;
    }
    drills = drills || line.find("M97") != std::string::npos || line.find("M98") != std::string::npos ||
             line.find("M99") != std::string::npos;
    if (line == "M48") m48 = true;
    if (m48 && (line[0] == '%' || line == "M95")) closed = true;
    const std::string keyword = line.substr(0, line.find(','));
    stated = stated || keyword == "INCH" || keyword == "METRIC" || keyword == "M71" || keyword == "M72" ||
             (line[0] == 'T' && line.size() > 1 && std::isdigit(static_cast<unsigned char>(line[1])) &&
              line.find('C') != std::string::npos);
  }
  const bool whole = lines <= kMostLines && !drills && !odd && std::feof(file) != 0;
  std::fclose(file);
  return whole && m48 && closed && stated;
}

void ReportTapeWithoutHoles(const std::string& fileName) {
  InformationBox("The Excellon tape " + fileName +
                 " holds a header and no holes.\r\nNothing was imported.");
}

void ReportTapeDrawsNothing(const std::string& fileName, const TTapeFaults& faults) {
  ErrorBox("<" + fileName + "> draws nothing.\r\n" + faults.Lines() + "Nothing was imported.");
}

double DetectExcellon(const std::string& fileName, bool skipComments) {
  if (TapeFileIsNotText(fileName)) return 0.0;
  std::FILE* file = std::fopen(NativePath(fileName).c_str(), "rb");
  if (file == nullptr) return 0.0;
  // Lines as the tape reader takes them: a line end is any run of CR and
  // LF. A line longer than any tape block ends the look: a file without
  // line ends is not read whole just to be turned down.
  auto readLine = [file](std::string& line) -> bool { return ReadTextLineLimited(file, line) == lrLine; };
  std::string line;

  int64_t total = 0, odd = 0, counted = 0;
  bool g04par = false, esi = false, mo = false, fs = false, g54 = false;
  bool m48 = false, t = false, x = false, y = false, pct = false;
  std::set<char> digits;
  // Share of the characters that look like tape text; 0 for a file with
  // nothing to look at.
  auto ratio = [&]() -> double {
    if (total <= 0) return 0.0;
    return double(total - std::min(2 * odd, total)) / double(total);
  };
  double score = 0.0;
  bool decided = false;
  while (readLine(line)) {
    // Tape feed, wherever it stands, and lines of blank tape are no odd
    // characters: the tape reader passes over them.
    DropTapeFeed(line);
    if (IsBlankTapeLine(line)) continue;
    if (skipComments && !line.empty() && line[0] == ';') continue;
    ++counted;
    total += int64_t(line.size());
    // A TAB is a blank of the block, as the reader takes it (a space is
    // no odd character anyway).
    odd += CountCharsOutside(' ', '^', line) - std::count(line.begin(), line.end(), '\t');
    const std::string upper = UpperCaseStr(line);
    g04par = g04par || upper.find("G04%PAR.%*") != std::string::npos;
    // Any dialect's header marks a laser file: the program's own laser
    // output is "(ESI 5100)".
    esi = esi || upper.find("(ESI 5000)") != std::string::npos ||
          upper.find("(ESI 5100)") != std::string::npos || upper.find("(ESI 5200)") != std::string::npos;
    mo = mo || upper.find("%MO") != std::string::npos;
    fs = fs || upper.find("%FS") != std::string::npos;
    g54 = g54 || upper.find("G54") != std::string::npos;
    m48 = m48 || line.find("M48") != std::string::npos;
    t = t || line.find('T') != std::string::npos;
    const bool hasX = line.find('X') != std::string::npos;
    const bool hasY = line.find('Y') != std::string::npos;
    x = x || hasX;
    y = y || hasY;
    pct = pct || line.find('%') != std::string::npos;
    if (hasX || hasY)
      for (char c : line)
        if (c >= '0' && c <= '9') digits.insert(c);
    if (t && x && y && (pct || m48) && digits.size() > 5) {
      score = odd == 0 ? 0.9 : 0.9 * ratio();
      decided = true;
      break;
    }
    if (counted > 100) break;
  }
  std::fclose(file);
  if (!decided) {
    const double r = ratio();
    score = 0.0;
    if (x && y) {
      score = 0.4 * r;
      if (digits.size() >= 5) {
        score = 0.5 * r;
        if (t) {
          score = 0.6 * r;
          if (pct) score = 0.75 * r;
        }
      }
    }
  }
  if (!decided && !x && !y && m48 && pct && TapeHoldsNoHoles(fileName)) score = 0.9;
  if (g04par || esi) score = 0.0;
  if (g54) score -= 0.1;
  if (mo) score -= 0.15;
  if (fs) score -= 0.15;
  return score;
}

double DetectExcellonDrillFile(const std::string& fileName) {
  return DetectExcellon(fileName, true);
}
