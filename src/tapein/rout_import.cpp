#include "tapein/rout_import.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <unordered_set>
#include <utility>

#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "foundation/file_viewer.h"
#include "foundation/nc_format.h"
#include "foundation/utilities.h"
#include "model/entity_store.h"
#include "model/import_transaction.h"
#include "model/job_file_reader.h"
#include "model/job_file_writer.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "tapein/drill_format_dialog.h"
#include "tapein/drill_import.h"
#include "model/rout_housekeeping.h"
#include "tapein/drill_format_guess.h"
#include "model/rout_sequence.h"
#include "model/view_services.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace {

TRoutImportTarget* ImportTarget = nullptr;

// The rout database itself as the import's target.
class TRoutDatabaseTarget : public TRoutImportTarget {
 public:
  uint8_t Layer() override { return CurrentLayer; }
  int32_t EntityCount() override { return RoutEntityCount; }
  uint8_t CompSide() override { return RTDB->AutoRoutCompensation; }
  void SetCompSide(uint8_t side) override { RTDB->AutoRoutCompensation = side; }
  TIntPoint G93Origin(uint8_t layer) override { return RTDB->G93Origins[layer]; }
  void SetG93Origin(uint8_t layer, const TIntPoint& origin) override {
    RTDB->G93Origins[layer] = origin;
  }
  void SuspendDrawing() override { RTDB->SuspendDrawing(); }
  void ResumeDrawing() override { RTDB->ResumeDrawing(); }

  int32_t AddCommand(const TIntPoint& at, const std::string& text, uint8_t holdOff) override {
    return RTDB->AddCommand(at, text, holdOff);
  }
  int32_t AddHole(const TIntPoint& at) override {
    const int32_t before = RoutEntityCount;
    RTDB->AddHoleAndDraw(at);
    return RoutEntityCount > before ? RoutEntityCount : 0;
  }
  int32_t AddLinePath(const TIntPoint& start, const TIntPoint& end, uint16_t feed,
                      int32_t zOffset) override {
    const int32_t before = RoutEntityCount;
    OpenNewPath();
    RTDB->AddLineSegment(start, end, false, zOffset, feed);
    return RoutEntityCount > before ? RoutEntityCount : 0;
  }
  int32_t ContinueLine(const TIntPoint& end, uint16_t feed, int32_t zOffset) override {
    const int32_t before = RoutEntityCount;
    RTDB->InsertLineSegment(end, false, feed, zOffset);
    return RoutEntityCount > before ? RoutEntityCount : 0;
  }
  int32_t AddArcPath(const TIntPoint& start, const TIntPoint& end, const TIntPoint& centre,
                     bool clockwise, uint16_t feed, int32_t zOffset) override {
    const int32_t before = RoutEntityCount;
    OpenNewPath();
    RTDB->AddArcSegment(start, false, end, clockwise, feed, zOffset, centre);
    return RoutEntityCount > before ? RoutEntityCount : 0;
  }
  int32_t ContinueArc(const TIntPoint& end, const TIntPoint& centre, bool clockwise,
                      uint16_t feed, int32_t zOffset) override {
    const int32_t before = RoutEntityCount;
    RTDB->InsertArcSegment(end, centre, clockwise, feed, zOffset, false);
    return RoutEntityCount > before ? RoutEntityCount : 0;
  }
  int32_t AddCircle(const TIntPoint& centre, const TIntPoint& onCircle, uint16_t feed) override {
    const int32_t before = RoutEntityCount;
    RTDB->AddCircleAndDraw(centre, onCircle, feed);
    return RoutEntityCount > before ? RoutEntityCount : 0;
  }
  int32_t PathStartOf(int32_t index) override {
    return index > 0 && Seq != nullptr ? Seq->FindPathJog(index) : 0;
  }
  TStepObject* StepObjectOf(int32_t index) override {
    TRoutEntity* r = RTDB->EntityAt(index);
    auto* carrier = r != nullptr ? r->AsStepCarrier() : nullptr;
    return carrier != nullptr ? carrier->GetStepObj() : nullptr;
  }
  void AppendStepObject(int32_t index, TStepObject* step) override {
    if (TRoutEntity* r = RTDB->EntityAt(index); auto* carrier = r != nullptr ? r->AsStepCarrier() : nullptr)
      carrier->AppendStepObj(step);
  }
  void ShareIdenticalStepLists(int32_t) override { ::ShareIdenticalStepLists(); }
  void DiscardFrom(int32_t first) override {
    const uint8_t layer = CurrentLayer;
    if (Seq != nullptr) Seq->RemoveHandlesFrom(std::max(first, 1));
    for (int32_t i = RoutEntityCount; i >= std::max(first, 1); --i) RTDB->DeleteEntity(i);
    if (Seq != nullptr && IsRoutLayer(layer)) Seq->SetInsertAtEnd(layer);
    RTDB->EntityChanged = RTDB->PathChanged = 0;
    RTDB->FirstChangedEntity = RTDB->FirstChangedPath = kNoChangedHandle;
  }

 private:
  // The reader starts a path where the tape does: its jog is made also
  // where the path before ended, with the same tool.
  static void OpenNewPath() {
    if (IsRoutLayer(CurrentLayer)) RTDB->PathState[CurrentLayer].Tool = -1;
  }
};

// The digits of a record's unit.
void UnitDigits(const TRoutFormatRecord& r, int32_t& integer, int32_t& decimal) {
  integer = r.Metric ? r.MetricIntegerDigits : r.IntegerDigits;
  decimal = r.Metric ? r.MetricDecimalDigits : r.DecimalDigits;
}

}  // namespace

void SetRoutImportTarget(TRoutImportTarget* target) { ImportTarget = target; }
TRoutImportTarget* RoutImportTarget() {
  static TRoutDatabaseTarget database;
  if (ImportTarget) return ImportTarget;
  return RTDB != nullptr && Seq != nullptr ? &database : nullptr;
}

// ---- Viewer --------------------------------------------------------------------------

void ViewTextFile(const std::string& fileName) {
  std::vector<std::string> lines;
  // A viewer, not an editor: a very long file, or one with a very long line,
  // is shown in part, up to the first line cut short.
  if (std::FILE* file = std::fopen(NativePath(fileName).c_str(), "rb")) {
    std::string line;
    std::size_t shown = 0;
    for (TLineRead got = lrLine; got == lrLine && lines.size() < 5000 && shown < kMaxTextLine * 16;) {
      got = ReadTextLineLimited(file, line);
      if (got == lrEnd) break;
      shown += line.size();
      lines.push_back(line);
    }
    const int64_t read = std::ftell(file);
    std::fclose(file);
    const int64_t size = FileSizeOf(fileName);
    if (read >= 0 && size > read) lines.push_back(RestNotShownText(read, size));
  }
  ViewServices().ShowReport(fileName, lines);
}

// ---- The format dialog -------------------------------------------------------------

TRoutInputFormatDialog::TRoutInputFormatDialog()
    : TExcellonFormatForm("TRoutInputFormatDialog"),
      ClockWiseGroup(OptionPanel.Add<TRadioGroup>("ClockWiseGroup", "CCW")),
      IJGroup(OptionPanel.Add<TRadioGroup>("IJGroup", "I&JSigned")),
      ResolveG93Group(OptionPanel.Add<TRadioGroup>("ResolveG93Group", "Resolve G93")) {
  SetCaption("Excellon-to-Rout");
  // Alt+N is Resolve G93's No here: Inches takes I. The IJ group's Off and
  // On have the letters of the CCW group's: Alt+J reaches the group.
  UnitGroup.SetItems({"&Inches", "&Millimeters"});
  ClockWiseGroup.SetItems({"O&ff", "&On"});
  IJGroup.SetItems({"Off", "On"});
  ResolveG93Group.SetItems({"&No", "&Yes"});
  UnitGroup.OnClick = [this](TControl&) { UnitGroupClick(); };
  OKButton.OnClick = [this](TControl&) { OKButtonClick(); };
}

void TRoutInputFormatDialog::Fill() {
  UnitGroup.SetItemIndex(Work.Metric ? 1 : 0);
  DecimalGroup.SetItemIndex(std::min<int>(Work.ZerosUsed, 2));
  int32_t integer = 0, decimal = 0;
  UnitDigits(Work, integer, decimal);
  IntegerEdit.SetValue(integer);
  DecimalEdit.SetValue(decimal);
  AxisGroup.SetItemIndex(std::clamp<int>(Work.Version, 1, 8) - 1);
  AbsoluteGroup.SetItemIndex(Work.Absolute ? 0 : 1);
  ClockWiseGroup.SetItemIndex(Work.CounterClockwise ? 1 : 0);
  IJGroup.SetItemIndex(Work.IJSigned ? 1 : 0);
  BlockDeleteGroup.SetItemIndex(Work.BlockDelete ? 0 : 1);
  ResolveG93Group.SetItemIndex(Work.ResolveG93 ? 1 : 0);
}

void TRoutInputFormatDialog::UnitGroupClick() {
  Work.Metric = UnitGroup.ItemIndex() == 1;
  int32_t integer = 0, decimal = 0;
  UnitDigits(Work, integer, decimal);
  IntegerEdit.SetValue(integer);
  DecimalEdit.SetValue(decimal);
}

void TRoutInputFormatDialog::OKButtonClick() {
  const TRoutFormatRecord stored = Work;
  ReadSharedControls(Work, stored);
  Work.CounterClockwise = ClockWiseGroup.ItemIndex() == 1;
  Work.IJSigned = IJGroup.ItemIndex() == 1;
  Work.ResolveG93 = ResolveG93Group.ItemIndex() == 1;
}

bool RunRoutFormatDialog(const std::string& fileName) {
  TRoutInputFormatDialog dialog;
  // Pre-filled with what the tape states or shows, over the stored format.
  dialog.Work = PrefilledTapeFormat(fileName, RoutInputFormat);
  dialog.FileName = fileName;
  dialog.Fill();
  TModalBracket bracket;
  if (dialog.ShowModal() != mrOk) return false;
  RoutInputFormat = dialog.Work;
  if (dialog.DefaultCheckBox.Checked()) SaveRoutFormatDefaults(RoutInputFormat, RoutFormatInput);
  return true;
}

// ---- The reader ----------------------------------------------------------------------

TRoutTapeReader::TRoutTapeReader(TRoutImportTarget& target, const std::string& fileName,
                                 const std::string& swapFilterName, const std::string& scratchDir,
                                 bool zeroMode, int32_t integerDigits, int32_t decimalDigits,
                                 bool incremental, bool metric, int32_t axisVersion,
                                 bool blockDelete, bool counterClockwise, bool resolveG93)
    : TNCReader(fileName, swapFilterName, scratchDir, 1, zeroMode, integerDigits, decimalDigits,
                incremental, false, metric, axisVersion, blockDelete, counterClockwise),
      target_(target),
      layer_(target.Layer()) {
  SavedCompSide = target_.CompSide();
  OriginSeen = resolveG93;
  target_.SetG93Origin(layer_, {0, 0});
  target_.SuspendDrawing();
  RoutLayerTools[layer_] = {1, 1};
}

TRoutTapeReader::~TRoutTapeReader() {
  // A reader left without Done still gives the drawing back.
  if (!done_) {
    target_.SetCompSide(SavedCompSide);
    target_.ResumeDrawing();
  }
}

uint16_t TRoutTapeReader::ConvertFeed(int32_t feed) const {
  const int64_t f = int64_t{feed} * (Metric ? 300 : 127);
  return static_cast<uint16_t>(std::clamp<int64_t>(f, 0, 65535));
}

TIntPoint TRoutTapeReader::Shifted(int32_t x, int32_t y) const {
  return {ClampCompToInt(int64_t{x} + OffsetX), ClampCompToInt(int64_t{y} + OffsetY)};
}

void TRoutTapeReader::Record(int32_t index) {
  if (!Recording || index <= 0) return;
  const std::size_t at = std::size_t(index);
  if (at >= PatternSeen.size()) PatternSeen.resize(std::max(at + 1, PatternSeen.size() * 2));
  if (PatternSeen[at]) return;
  PatternSeen[at] = true;
  PatternEntities.push_back(index);
}

void TRoutTapeReader::Reach(const TIntPoint& p) {
  if (!Recording) return;
  ReachMin = Reached ? TIntPoint{std::min(ReachMin.X, p.X), std::min(ReachMin.Y, p.Y)} : p;
  ReachMax = Reached ? TIntPoint{std::max(ReachMax.X, p.X), std::max(ReachMax.Y, p.Y)} : p;
  Reached = true;
}

void TRoutTapeReader::ForgetPattern() {
  for (const int32_t index : PatternEntities) PatternSeen[std::size_t(index)] = false;
  PatternEntities.clear();
  PatternRefused = 0;
  Reached = false;
}

void TRoutTapeReader::Poll(bool& abort) {
  // Sixteen copies cost about what a line does.
  const int64_t work = (GlobalRec ? GlobalRec->LinesRead + GlobalRec->TapeEmits : 0) + RepeatCopies / 16;
  if (!CancelBox.TimeToLook(work)) return;
  ProcessMessages();
  if (CancelBox.Cancelled(PercentRead())) abort = true;
}

void TRoutTapeReader::Error(std::string text) {
  // The first error is shown, whether or not the error flag was set before
  // the report arrived; the later ones are only kept.
  Errors.push_back(std::move(text));
  if (Errors.size() == 1) ErrorBox(Errors.front());
}

void TRoutTapeReader::UnparsedBlock(const std::string& text, uint8_t kind) {
  // A digits statement is the tape's format, no command of the layer: a
  // tape written from the layer states its own digits in its header.
  if (IsTapeDigitsStatement(text)) return;
  // The reader took the tape feed out of the block (see ReadAsTape).
  const uint8_t holdOff = kind == 1 ? 2 : kind == 0 ? 3 : (PlungePending ? 1 : 0);
  const int32_t index = target_.AddCommand({LastX, LastY}, text, holdOff);
  if (kind == 2) {
    Record(index);
    Reach({LastX, LastY});
  }
}

bool TRoutTapeReader::SetOrigin(int32_t x, int32_t y) {
  if (!OriginSeen) {
    OriginSeen = true;
    target_.SetG93Origin(layer_, {x, y});
  } else {
    const TIntPoint origin = target_.G93Origin(layer_);
    OffsetX = ClampCompToInt(int64_t{x} - origin.X);
    OffsetY = ClampCompToInt(int64_t{y} - origin.Y);
    LastX = LastY = -1;
    NewPath = true;
  }
  return false;
}

// The machine leaves the path to drill: a hole ends the path before it, and
// a path after it begins anew, also where the last one ended.
void TRoutTapeReader::Hit(int32_t x, int32_t y, int32_t, int32_t, int32_t, uint8_t) {
  Record(target_.AddHole(Shifted(x, y)));
  Reach(Shifted(x, y));
  FeedCheck = true;
  NewPath = true;
}

// A pattern's bounds end the path before them: a path the pattern starts
// with takes its copies even where it begins at the last one's end, and a
// path after the pattern does not join the pattern's last one.
void TRoutTapeReader::PatternStart(int32_t) {
  ForgetPattern();
  Recording = true;
  NewPath = true;
}

void TRoutTapeReader::RapidMove(int32_t, int32_t, int32_t, int32_t) {
  PlungePending = true;
  FeedCheck = true;
}

void TRoutTapeReader::RoutLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t feed,
                               int32_t moveParameter, uint8_t comp) {
  uint16_t f = ConvertFeed(feed);
  if (f != 0) {
    const int32_t tool = RoutLayerTools[layer_].Tool;
    if (FeedCheck && ValidToolNumber(tool) && f == RoutToolPages[layer_][tool].HighFeed)
      f = 0;
    else
      FeedCheck = false;
  }
  target_.SetCompSide(comp);
  const TIntPoint start = Shifted(x0, y0), end = Shifted(x1, y1);
  Reach(start);
  Reach(end);
  if (start.X == LastX && start.Y == LastY && !NewPath) {
    target_.ContinueLine(end, f, moveParameter);
  } else {
    const int32_t index = target_.AddLinePath(start, end, f, moveParameter);
    Record(target_.PathStartOf(index));
  }
  LastX = end.X;
  LastY = end.Y;
  NewPath = false;
  PlungePending = false;
}

void TRoutTapeReader::RoutArc(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx,
                              int32_t cy, int32_t feed, int32_t moveParameter, uint8_t comp,
                              bool clockwise) {
  uint16_t f = ConvertFeed(feed);
  if (f != 0) {
    const int32_t tool = RoutLayerTools[layer_].Tool;
    if (FeedCheck && ValidToolNumber(tool) && f == RoutToolPages[layer_][tool].HighFeed)
      f = 0;
    else
      FeedCheck = false;
  }
  target_.SetCompSide(comp);
  const TIntPoint start = Shifted(x0, y0), end = Shifted(x1, y1), centre = Shifted(cx, cy);
  for (const TIntPoint& p : {start, end, centre}) Reach(p);
  if (start.X == LastX && start.Y == LastY && !NewPath) {
    target_.ContinueArc(end, centre, clockwise, f, moveParameter);
  } else {
    const int32_t index = target_.AddArcPath(start, end, centre, clockwise, f, moveParameter);
    Record(target_.PathStartOf(index));
  }
  LastX = end.X;
  LastY = end.Y;
  NewPath = false;
  PlungePending = false;
}

void TRoutTapeReader::RoutCircle(int32_t cx, int32_t cy, int32_t radius, int32_t feed, int32_t,
                                 bool g32, bool& handled) {
  target_.SetCompSide(g32 ? 2 : 1);
  const TIntPoint centre = Shifted(cx, cy);
  const TIntPoint on{centre.X, ClampCompToInt(int64_t{centre.Y} + radius)};
  Record(target_.AddCircle(centre, on, ConvertFeed(feed)));
  Reach(centre);
  Reach(on);
  handled = true;
  PlungePending = false;
}

void TRoutTapeReader::ToolCompDiameter(int32_t tool, int32_t value) {
  if (!ValidToolNumber(tool)) return;
  RoutToolPages[layer_][tool].CompDiameter = value;
  compStated_[std::size_t(tool)] = true;
}

void TRoutTapeReader::ToolDiameter(int32_t tool, int32_t value) {
  if (!ValidToolNumber(tool)) return;
  TRoutToolRecord& record = RoutToolPages[layer_][tool];
  // The page's compensation size went with the page's cutter: a tape that
  // names another cutter and no compensation size compensates by its size.
  // The page's cutter is the tape's where the page's size, stated in the
  // tape's unit with the digits the tape states it with, is the tape's.
  const double perStep =
      UnitsFactorOf(Metric) / PowersOfTen[std::size_t(std::clamp(SizeDecimals('C'), 0, 10))];
  const bool sameCutter = std::llround(record.Diameter / perStep) == std::llround(value / perStep);
  if (!sameCutter && !compStated_[std::size_t(tool)]) record.CompDiameter = value;
  record.Diameter = value;
}

void TRoutTapeReader::ToolChange(int32_t tool, int32_t compTool) {
  TRoutLayerTool& entry = RoutLayerTools[layer_];
  if (entry.Tool != tool || entry.CompIndex != compTool) NewPath = true;
  entry = {tool, compTool};
  FeedCheck = true;
}

void TRoutTapeReader::ApplyRepeats() {
  if (!PatternEntities.empty()) {
    // A stored list ends with a closing step, as the step-list editor keeps
    // it: without it the last M02 of the tape would give no copy.
    RepeatList.push_back({0, 1, 0, 0, 0});
    TStepObject* step = nullptr;
    {
      TQuietStepExpansion quiet;  // a pattern that cannot expand is reported below
      step = NewMovedStepObject(RepeatList, OffsetX, OffsetY);
    }
    // Each pattern end wraps the entities of the pattern once more, as a
    // drill tape's does: an entity that would take a fourth level, a chain
    // that would not expand whole, or one past the job's step bound is not
    // made; the entity keeps the copies it has and leaves the pattern.
    if (StepWork < 0) StepWork = JobStepWork();
    std::unordered_set<const TStepObject*> counted;
    const bool whole = step->ChainWhole();
    // The copies of the corners of the reach are those farthest out: each
    // axis is looked at on its own.
    std::vector<TIntPoint> corners;
    if (Reached) corners = {ReachMin, ReachMax, {ReachMin.X, ReachMax.Y}, {ReachMax.X, ReachMin.Y}};
    int32_t refused = PatternRefused, pastBound = 0, cannotExpand = 0;
    std::size_t kept = 0;
    for (const int32_t index : PatternEntities) {
      const TPatternTake take = whole ? TakePatternLevel(target_.StepObjectOf(index), step, StepWork, counted,
                                                         nullptr, &corners)
                                      : TPatternTake::CannotExpand;
      if (take != TPatternTake::Taken) {
        if (take == TPatternTake::TooDeep) ++PatternRefused;
        ++(take == TPatternTake::TooDeep ? refused : take == TPatternTake::PastBound ? pastBound : cannotExpand);
        PatternSeen[std::size_t(index)] = false;
        continue;
      }
      target_.AppendStepObject(index, step);
      // Every copy of every entity is worked out and drawn with the job: a
      // pattern of many copies is work the Cancel box looks at at once, also
      // when the tape ends with it.
      if (const TStepObject* chain = target_.StepObjectOf(index)) RepeatCopies += chain->CopyCount();
      PatternEntities[kept++] = index;
    }
    PatternEntities.resize(kept);
    if (refused > 0) Message(PatternTooDeepText(BlockNumber, refused, kMaxStepLevels));
    if (cannotExpand > 0) Message(PatternCannotExpandText(BlockNumber, cannotExpand));
    if (pastBound > 0) Message(PatternPastJobBoundText(BlockNumber, pastBound, JobStepWorkLimit()));
    ReleaseStepObject(step);
    Poll(Abort);
  }
  RepeatList.clear();
}

void TRoutTapeReader::PatternEnd(bool& handled) {
  handled = true;
  NewPath = true;
  if (!RepeatList.empty()) ApplyRepeats();
  RepeatList.push_back({1, 1, 0, 0, 0});
}

void TRoutTapeReader::PatternRepeat(bool& handled, int32_t x, int32_t y, uint8_t orientation,
                                    int32_t count) {
  RepeatList.push_back({0, count, x, y, orientation});
  handled = true;
}

void TRoutTapeReader::PatternsDone(bool& handled) {
  handled = true;
  if (!RepeatList.empty()) ApplyRepeats();
  Recording = false;
  NewPath = true;
  ForgetPattern();
}

void TRoutTapeReader::Done() {
  if (done_) return;
  done_ = true;
  Finish();
  target_.SetCompSide(SavedCompSide);
  target_.ResumeDrawing();
}

// ---- Import operations ------------------------------------------------------------------

bool ImportRoutTape(const std::string& fileName, uint8_t filter, bool useOutputFormat) {
  TRoutImportTarget* target = RoutImportTarget();
  if (!target) {
    ErrorBox("The rout database is not available.");
    return false;
  }
  const uint8_t layer = target->Layer();
  if (layer < kFirstRoutLayer || layer > kLastRoutLayer) {
    ErrorBox("A rout tape is read into a rout layer: make a rout layer current first.");
    return false;
  }
  std::string swapFile;
  if (filter > 0) {
    swapFile = filter <= FilterCount ? ImportFilters[filter].SwapFile : std::string();
    if (!FileExistsNoWild(swapFile)) {
      ErrorBox(" Cannot find specified swap file " + swapFile + "!");
      return false;
    }
  }
  // The input format of this import; RoutInputFormat itself is put back
  // afterwards when the output format stood in for it.
  const TRoutFormatRecord savedInput = RoutInputFormat;
  if (useOutputFormat) {
    RoutInputFormat = RoutOutputFormat;
  } else if (!RunRoutFormatDialog(fileName)) {
    return false;
  }
  const TRoutFormatRecord format = RoutInputFormat;
  if (useOutputFormat) RoutInputFormat = savedInput;

  int32_t integer = 0, decimal = 0;
  UnitDigits(format, integer, decimal);
  const int32_t firstNew = target->EntityCount() + 1;
  // A failed run is taken back whole: its entities freed (the store's room
  // comes back), the layer's origin, tools and tool page, the flags.
  TImportTransaction transaction;

  bool failed = false, drawsNothing = false, pastDrawnCopies = false;
  int64_t drawnCopies = 0;
  TTapeFaults faults;
  {
    TRoutTapeReader reader(*target, fileName, swapFile, ExecutionPath() + "SCRATCH\\",
                           format.ZerosUsed == 0 || format.ZerosUsed == 2, integer, decimal,
                           !format.Absolute, format.Metric, format.Version, format.BlockDelete,
                           format.CounterClockwise, format.ResolveG93);
    reader.SetDirectEmission();
    reader.SetUseIJCentre(format.IJSigned && !useOutputFormat);
    reader.Run(failed);
    failed = failed || reader.ErrorFlag || reader.Abort;
    if (failed && reader.Errors.empty())
      reader.Error(reader.Abort ? "The import of the rout tape " + fileName + " was cancelled."
                                : "The rout tape " + fileName + " could not be read.");
    faults = std::move(reader.Faults);
    // A tape that draws nothing brings nothing: the layer it was to replace
    // stays as it was.
    drawsNothing = !failed && target->EntityCount() < firstNew;
    failed = failed || drawsNothing;
    // Nor does one whose patterns would take the job past the copies a job
    // file holds: saved, it would not open again.
    if (!failed) {
      drawnCopies = JobDrawnCopies();
      pastDrawnCopies = drawnCopies > JobDrawnCopiesLimit();
      failed = pastDrawnCopies;
    }
    if (failed) {
      // Taken out before the drawing resumes, so the picture never shows them.
      transaction.TakeBack();
    } else {
      transaction.Commit();
    }
    reader.Done();
  }
  // The program's own tape is a scratch file the user edited, never chose:
  // the box speaks of the edit, not of the scratch file's name.
  if (drawsNothing && useOutputFormat)
    ErrorBox("The edited rout tape draws nothing.\r\n" + faults.Lines() + "The layer was kept as it was.");
  else if (drawsNothing)
    ReportTapeDrawsNothing(fileName, faults);
  else if (pastDrawnCopies)
    ErrorBox("<" + fileName + ">: " + JobDrawnCopiesText(drawnCopies) + "\r\nNothing was imported.");
  if (!failed) {
    target->ShareIdenticalStepLists(firstNew);
    if (!faults.Empty()) ShowTapeFaults(faults);
  }
  return !failed;
}

void ReplaceCreateWithRout(std::string& text) {
  if (text.size() >= 11 && UpperCaseStr(text.substr(5, 6)) == "CREATE") text.replace(5, 6, "Rout");
}
