#include "command/argument_command.h"

#include <cmath>

#include "command/command_services.h"
#include "command/command_text.h"
#include "command/expression.h"
#include "command/rubber_brain.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/drill_database.h"
#include "platform/message_box.h"

TCommandServices CommandServices;

namespace {
TConstructionResolver ConstructionResolver;

// The database extent: a point beyond it is refused.
constexpr double CoordinateRange = 1073741823.0;

bool IsPlaceholder(const std::string& slot) {
  return slot == "CLICK" || slot == "RCLICK" || slot == "PICK" || slot == "PICKAT" ||
         slot == "VALUE" || slot == "TEXT";
}
bool IsPointSlot(const std::string& slot) { return slot == "CLICK" || slot == "RCLICK"; }

std::string PointText(const TIntPoint& p) { return std::to_string(p.X) + "," + std::to_string(p.Y); }

// The active argument command of ECO, if any.
TArgumentCommand* ActiveArgumentCommand() {
  return ECO != nullptr ? dynamic_cast<TArgumentCommand*>(ECO->ActiveCommand()) : nullptr;
}

void Refuse(const std::string& text, const std::string& low, const std::string& high) {
  ErrorBox("<" + text + "> is illegal! Must be from " + low + " to " + high);
}

// Reads a typed point: "x,y" absolute or "@dx,dy" from the last point, in
// display units.
bool ReadTypedPoint(const std::string& typed, const TIntPoint* last, TIntPoint& p) {
  std::string text = typed;
  bool relative = false;
  if (!text.empty() && text[0] == '@') {
    relative = true;
    text.erase(0, 1);
  }
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  double x = 0.0, y = 0.0;
  if (!EvaluateExpression(text.substr(0, comma), x) || !EvaluateExpression(text.substr(comma + 1), y))
    return false;
  x *= UnitsPerDisplayUnit;
  y *= UnitsPerDisplayUnit;
  if (relative && last != nullptr) {
    x += last->X;
    y += last->Y;
  }
  if (std::fabs(x) > CoordinateRange || std::fabs(y) > CoordinateRange) return false;
  p = {SaturatingRound(x), SaturatingRound(y)};
  return true;
}
}  // namespace

bool AcceptTypedPoint(const std::string& typed, const TIntPoint* last, TIntPoint& point) {
  if (ReadTypedPoint(typed, last, point)) return true;
  const std::string bound = TrimBlanks(FormatCoordinate(CoordinateRange));
  Refuse(typed, "-" + bound.substr(1), bound);
  return false;
}

// ---- Definitions ----------------------------------------------------------------------

void SetConstructionResolver(TConstructionResolver resolver) { ConstructionResolver = std::move(resolver); }

void DefineArgumentCommand(int32_t number, const TArgumentCommandDef& def) {
  DefineCommand(number, def.Text, [def] {
    if (ECO == nullptr) return false;
    // The command before gives its prompts back before this one takes them.
    ECO->CancelCommand();
    ECO->SetActiveCommand(std::make_unique<TArgumentCommand>(def));
    return true;
  });
}

void DefineSnapCommand(int32_t number, const std::string& text, const std::string& title,
                       const std::vector<std::string>& prompts, TPointEvaluator evaluate,
                       TConstructionDeferrer defer) {
  TArgumentCommandDef def;
  def.Text = text;
  def.Title = title;
  def.Prompts = prompts;
  DefineCommand(number, text, [def, evaluate, defer] {
    TArgumentCommand* waiting = ActiveArgumentCommand();
    if (waiting == nullptr || !waiting->PushSnap(def, evaluate, defer)) {
      MessageBeep(MB_OK);
      return false;
    }
    return true;
  });
}

void DefineSettingCommand(int32_t number, const TArgumentCommandDef& def) {
  DefineCommand(number, def.Text, [def] {
    if (ECO == nullptr) return false;
    if (TArgumentCommand* waiting = ActiveArgumentCommand()) return waiting->PushSetting(def);
    ECO->CancelCommand();
    ECO->SetActiveCommand(std::make_unique<TArgumentCommand>(def));
    return true;
  });
}

// ---- TArgumentCommand ---------------------------------------------------------------

TArgumentCommand::TArgumentCommand(const TArgumentCommandDef& def) : RootDef_(def) {
  TFrame root;
  root.Def = def;
  root.Slots = CommandArguments(def.Text);
  Frames_.push_back(std::move(root));
  SkipFixed(Top());
  ShowPrompt();
}

TArgumentCommand::~TArgumentCommand() = default;

void TArgumentCommand::Reset() {
  for (const TFrame& f : Frames_) Unhighlight(f);
  Frames_.resize(1);
  Top().Def = RootDef_;
  Top().Slots = CommandArguments(RootDef_.Text);
  Top().ExpandedFrom.clear();
  Top().PromptsBefore = 0;
  Top().Picked.clear();
  Top().Given.clear();
  Top().Points.clear();
  Top().DeferredGiven = Top().DeferredPoint = -1;
  SkipFixed(Top());
}

const std::string* TArgumentCommand::NextSlot() const {
  if (Finished_ || Frames_.empty()) return nullptr;
  const TFrame& f = Top();
  return f.Given.size() < f.Slots.size() ? &f.Slots[f.Given.size()] : nullptr;
}

void TArgumentCommand::SkipFixed(TFrame& frame) {
  while (frame.Given.size() < frame.Slots.size() && !IsPlaceholder(frame.Slots[frame.Given.size()]))
    frame.Given.push_back(frame.Slots[frame.Given.size()]);
}

bool TArgumentCommand::WaitsForPoint() const {
  const std::string* slot = NextSlot();
  return slot != nullptr && IsPointSlot(*slot);
}

bool TArgumentCommand::PointSlotFollows(const TFrame& frame) {
  for (size_t i = frame.Given.size() + 1; i < frame.Slots.size(); ++i)
    if (IsPointSlot(frame.Slots[i])) return true;
  return false;
}

void TArgumentCommand::Settle(TFrame& frame, const TIntPoint& first) {
  if (frame.DeferredGiven >= 0 && size_t(frame.DeferredGiven) < frame.Given.size())
    frame.Given[size_t(frame.DeferredGiven)] = PointText(first);
  if (frame.DeferredPoint >= 0 && size_t(frame.DeferredPoint) < frame.Points.size())
    frame.Points[size_t(frame.DeferredPoint)] = first;
  frame.DeferredGiven = frame.DeferredPoint = -1;
}

bool TArgumentCommand::PushSnap(const TArgumentCommandDef& def, TPointEvaluator evaluate,
                                TConstructionDeferrer defer) {
  if (!WaitsForPoint()) return false;
  TFrame frame;
  frame.Def = def;
  frame.Evaluate = std::move(evaluate);
  frame.Defer = std::move(defer);
  frame.Slots = CommandArguments(def.Text);
  Frames_.push_back(std::move(frame));
  SkipFixed(Top());
  HideBand();
  if (!CompleteFrames()) Finished_ = true;
  return true;
}

bool TArgumentCommand::PushSetting(const TArgumentCommandDef& def) {
  TFrame frame;
  frame.Def = def;
  frame.Slots = CommandArguments(def.Text);
  Frames_.push_back(std::move(frame));
  SkipFixed(Top());
  HideBand();
  if (!CompleteFrames()) Finished_ = true;
  return true;
}

const TIntPoint* TArgumentCommand::LastPointBelow(size_t frame) const {
  for (size_t i = frame; i-- > 0;)
    if (!Frames_[i].Points.empty()) return &Frames_[i].Points.back();
  return nullptr;
}

TIntPoint TArgumentCommand::ApplyGridAndOrtho(TIntPoint p) const {
  if (SnapToGrid && CommandServices.GridStep) {
    const double step = CommandServices.GridStep();
    if (step > 0.0) {
      p.X = SaturatingRound(std::nearbyint(p.X / step) * step);
      p.Y = SaturatingRound(std::nearbyint(p.Y / step) * step);
    }
  }
  const TIntPoint* last = LastPointBelow(Frames_.size());
  if (ECO != nullptr && ECO->Ortho && last != nullptr) {
    const double a = ECO->OrthoAngle * M_PI / 180.0;
    const double dx = double(p.X) - last->X, dy = double(p.Y) - last->Y;
    const double along = dx * std::cos(a) + dy * std::sin(a);
    const double across = -dx * std::sin(a) + dy * std::cos(a);
    if (std::fabs(along) >= std::fabs(across)) {
      p.X = SaturatingRound(last->X + along * std::cos(a));
      p.Y = SaturatingRound(last->Y + along * std::sin(a));
    } else {
      p.X = SaturatingRound(last->X - across * std::sin(a));
      p.Y = SaturatingRound(last->Y + across * std::cos(a));
    }
  }
  return p;
}

bool TArgumentCommand::Give(const std::string& value, const TIntPoint* point, int32_t picked) {
  if (point != nullptr && Top().DeferredGiven >= 0) {
    // The point settles the construction given before it.
    const std::string token = Top().Given[size_t(Top().DeferredGiven)];
    TIntPoint first{0, 0}, second = *point;
    if (!ConstructionResolver || ConstructionResolver(token, "", point, Pointer_, first, second) != crSettled)
      return true;  // still waiting for a point that fits
    Settle(Top(), first);
    Top().Given.push_back(PointText(second));
    Top().Points.push_back(second);
    SkipFixed(Top());
    return CompleteFrames();
  }
  Top().Given.push_back(value);
  if (point != nullptr) Top().Points.push_back(*point);
  if (picked != 0) {
    Top().Picked.push_back(picked);
    if (CommandServices.Highlight) CommandServices.Highlight(picked, true, PickModeOf(Top()));
    if (Frames_.size() == 1 && Top().Def.Expand && Top().ExpandedFrom.empty() && !ExpandRoot())
      return true;
  }
  SkipFixed(Top());
  return CompleteFrames();
}

bool TArgumentCommand::ExpandRoot() {
  TFrame& f = Top();
  const std::string built = f.Def.Expand(BuildCommandText(CommandWord(f.Def.Text), f.Given));
  if (built.empty()) {
    if (CommandServices.Highlight) CommandServices.Highlight(f.Picked.back(), false, PickModeOf(f));
    f.Picked.pop_back();
    f.Given.pop_back();
    MessageBeep(MB_OK);
    return false;
  }
  size_t asked = 0;
  for (size_t i = 0; i < f.Given.size() && i < f.Slots.size(); ++i)
    if (IsPlaceholder(f.Slots[i])) ++asked;
  f.ExpandedFrom = f.Def.Text;
  f.PromptsBefore = asked;
  f.Def.Text = built;
  f.Slots = CommandArguments(built);
  f.Given.clear();
  return true;
}

void TArgumentCommand::UndoExpand() {
  TFrame& f = Top();
  f.Def.Text = f.ExpandedFrom;
  f.Slots = CommandArguments(f.Def.Text);
  f.ExpandedFrom.clear();
  f.PromptsBefore = 0;
  f.Given.clear();
  SkipFixed(f);
  // Back to the pick: the picked entity is let go.
  if (!f.Picked.empty()) {
    if (CommandServices.Highlight) CommandServices.Highlight(f.Picked.back(), false, PickModeOf(f));
    f.Picked.pop_back();
  }
}

bool TArgumentCommand::CompleteFrames() {
  while (Top().Given.size() >= Top().Slots.size()) {
    // While the command's own text is carried out only what it asks for in
    // between completes here.
    if (Executing_ && Frames_.size() == 1) break;
    const std::string text = BuildCommandText(CommandWord(Top().Def.Text), Top().Given);
    if (Frames_.size() > 1) {
      TFrame done = std::move(Frames_.back());
      Frames_.pop_back();
      Unhighlight(done);
      if (done.Evaluate) {
        TFrame& below = Top();
        const bool pending = below.DeferredGiven >= 0;
        TIntPoint p{0, 0};
        if (pending) {
          const std::string token = below.Given[size_t(below.DeferredGiven)];
          TIntPoint first{0, 0};
          // A snap that builds on the construction settles both points;
          // one that cannot has told why, and the point is asked again.
          const TConstructionResult built =
              ConstructionResolver ? ConstructionResolver(token, text, nullptr, Pointer_, first, p) : crOther;
          if (built == crRefused) break;
          if (built == crSettled) {
            Settle(below, first);
          } else {
            if (!done.Evaluate(text, nullptr, Pointer_, p)) break;
            TIntPoint second = p;
            if (!ConstructionResolver || ConstructionResolver(token, "", &p, Pointer_, first, second) != crSettled)
              break;
            Settle(below, first);
            p = second;
          }
        } else if (done.Defer && LastPointBelow(Frames_.size()) == nullptr && PointSlotFollows(below)) {
          // No point to build from yet: the snap stands for a construction
          // that the next point settles.
          std::string token;
          if (!done.Defer(text, Pointer_, token, p)) break;
          below.DeferredGiven = int(below.Given.size());
          below.DeferredPoint = int(below.Points.size());
          below.Given.push_back(token);
          below.Points.push_back(p);
          SkipFixed(below);
          continue;
        } else if (!done.Evaluate(text, LastPointBelow(Frames_.size()), Pointer_, p)) {
          break;
        }
        Top().Given.push_back(PointText(p));
        Top().Points.push_back(p);
        SkipFixed(Top());
      } else if (done.Def.Execute) {
        done.Def.Execute(text);
      }
      continue;
    }
    // The command itself is complete: the next pick starts a new cycle.
    HideBand();
    Unhighlight(Top());
    // Inspect hands its pick to the entity editor: the cycle and its marks
    // stay while the entity is edited, so that a click at the same spot takes
    // the next entity stacked there. The editor's ending keys cancel it.
    if (DRDB != nullptr && CommandWord(Top().Def.Text) != "INSPECT") DRDB->CancelPick();
    if (ECO != nullptr) ECO->SetCurrentCommand(text);
    const TArgumentCommandDef def = Top().Def;
    // A command that ends gives the prompt lines back first: what it starts
    // (an Inspect editor) writes its own.
    if (!def.Repeat) RestorePrompts();
    Executing_ = true;
    if (def.Execute) def.Execute(text);
    Executing_ = false;
    if (!def.Repeat) return false;
    // Sticky lines: in CAD the next line starts where the last one ended.
    const bool sticky = ECO != nullptr && ECO->StickyLines && ECO->Mode() == 2 &&
                        CommandWord(def.Text) == "ADDLINE" && !Top().Points.empty();
    const TIntPoint end = sticky ? Top().Points.back() : TIntPoint{};
    Reset();
    if (sticky) {
      Top().Given.push_back(PointText(end));
      Top().Points.push_back(end);
      SkipFixed(Top());
    }
  }
  ShowPrompt();
  return true;
}

uint8_t TArgumentCommand::PickModeOf(const TFrame& frame) {
  if (frame.Def.PickMode != 255) return frame.Def.PickMode;
  return ECO != nullptr ? ECO->Mode() : 2;
}

void TArgumentCommand::Unhighlight(const TFrame& frame) {
  if (!CommandServices.Highlight) return;
  for (int32_t index : frame.Picked) CommandServices.Highlight(index, false, PickModeOf(frame));
}

bool TArgumentCommand::HandleEvent(TInputEvent& event) {
  if (Finished_) return false;
  const TIntPoint pointer{event.WorldX, event.WorldY};
  if (event.Kind == ievMouseMove) {
    ShowBand(pointer);
    return true;
  }
  if (event.Kind != ievMouseDown) return true;
  const std::string* slot = NextSlot();
  if (slot == nullptr) return true;
  if (event.Buttons & mbtRight) {
    // The right button takes back the window's first corner.
    if (WindowOpen_) return BackUpOneStep();
    if (*slot == "RCLICK") {
      const TIntPoint p = ApplyGridAndOrtho(pointer);
      Finished_ = !Give(PointText(p), &p, 0);
      return !Finished_;
    }
    // The right button takes back the newest argument; with none given it
    // ends the command.
    if (!BackUpOneStep()) {
      Cancel();
      Finished_ = true;
    }
    return !Finished_;
  }
  if ((event.Buttons & mbtLeft) == 0) return true;
  if (*slot == "CLICK") {
    const TIntPoint p = ApplyGridAndOrtho(pointer);
    Pointer_ = pointer;
    Finished_ = !Give(PointText(p), &p, 0);
  } else if (WindowOpen_) {
    return CloseWindow(pointer);
  } else if (*slot == "PICK" || *slot == "PICKAT") {
    const int32_t aperture = CommandServices.Aperture ? CommandServices.Aperture() : 254000;
    const int32_t index =
        CommandServices.Pick ? CommandServices.Pick(pointer.X, pointer.Y, aperture, PickModeOf(Top())) : 0;
    if (index == 0 && *slot == "PICK" && Top().Def.WindowPick && Frames_.size() == 1) {
      WindowOpen_ = true;
      WindowCorner_ = pointer;
      if (UserPanel != nullptr) UserPanel->SetPromptLine(3, 1, "Select opposite corner of window >");
      return true;
    }
    if (index == 0) {
      MessageBeep(MB_OK);
      return true;
    }
    Pointer_ = pointer;
    std::string value = EntityRefText(index);
    if (*slot == "PICKAT") value += "," + PointText(pointer);
    Finished_ = !Give(value, nullptr, index);
  } else {
    // A value or text is typed.
    MessageBeep(MB_OK);
  }
  return !Finished_;
}

bool TArgumentCommand::CloseWindow(const TIntPoint& pointer) {
  WindowOpen_ = false;
  HideBand();
  Pointer_ = pointer;
  Finished_ = !Give(PointText(WindowCorner_) + "," + PointText(pointer), nullptr, 0);
  return !Finished_;
}

bool TArgumentCommand::TypedText(const std::string& typed) {
  const std::string* slot = NextSlot();
  if (slot == nullptr) return false;
  // A keyboard code typed while waiting presses its command (a snap).
  if (typed.size() == 2 && ButtonManager().CommandOfCode(typed) != 0) return false;
  if (IsPointSlot(*slot)) {
    TIntPoint p{0, 0};
    if (!AcceptTypedPoint(typed, LastPointBelow(Frames_.size()), p)) return true;
    Finished_ = !Give(PointText(p), &p, 0);
  } else if (*slot == "VALUE") {
    double v = 0.0;
    if (!EvaluateExpression(typed, v) || v < Top().Def.Low || v > Top().Def.High) {
      Refuse(typed, RealToStr(Top().Def.Low), RealToStr(Top().Def.High));
      return true;
    }
    Finished_ = !Give(RealToStr(v), nullptr, 0);
  } else if (*slot == "TEXT") {
    std::string text = typed;
    std::erase(text, '"');
    Finished_ = !Give("\"" + text + "\"", nullptr, 0);
  } else {
    MessageBeep(MB_OK);
  }
  return true;
}

bool TArgumentCommand::BackUpOneStep() {
  if (Finished_) return false;
  if (WindowOpen_) {
    WindowOpen_ = false;
    HideBand();
    ShowPrompt();
    return true;
  }
  TFrame& f = Top();
  // Trailing fixed arguments go with the placeholder before them.
  while (!f.Given.empty() && !IsPlaceholder(f.Slots[f.Given.size() - 1])) f.Given.pop_back();
  if (f.Given.empty()) {
    if (Frames_.size() == 1 && !f.ExpandedFrom.empty()) {
      UndoExpand();
      HideBand();
      ShowPrompt();
      return true;
    }
    if (Frames_.size() == 1) {
      SkipFixed(f);
      return false;
    }
    Unhighlight(f);
    Frames_.pop_back();
    ShowPrompt();
    return true;
  }
  const std::string& slot = f.Slots[f.Given.size() - 1];
  if (IsPointSlot(slot) && !f.Points.empty()) f.Points.pop_back();
  if (f.DeferredGiven >= int(f.Given.size()) - 1) f.DeferredGiven = f.DeferredPoint = -1;
  if ((slot == "PICK" || slot == "PICKAT") && !f.Picked.empty()) {
    if (CommandServices.Highlight) CommandServices.Highlight(f.Picked.back(), false, PickModeOf(f));
    f.Picked.pop_back();
  }
  f.Given.pop_back();
  HideBand();
  ShowPrompt();
  return true;
}

void TArgumentCommand::QueueTexts(std::vector<std::string>& texts) const {
  for (const TFrame& f : Frames_) {
    std::vector<std::string> args = f.Given;
    for (size_t i = f.Given.size(); i < f.Slots.size(); ++i) args.push_back(f.Slots[i]);
    texts.push_back(BuildCommandText(CommandWord(f.Def.Text), args));
  }
}

void TArgumentCommand::Cancel() {
  HideBand();
  WindowOpen_ = false;
  // At work: only what it asked for in between is taken back.
  const size_t keep = Executing_ ? 1 : 0;
  while (Frames_.size() > keep) {
    TFrame f = std::move(Frames_.back());
    Frames_.pop_back();
    Unhighlight(f);
    if (f.Def.OnCancel) f.Def.OnCancel();
  }
  if (Executing_) return;
  RestorePrompts();
}

void TArgumentCommand::ShowPicked() {
  if (!CommandServices.Highlight) return;
  for (const TFrame& f : Frames_)
    for (int32_t index : f.Picked) CommandServices.Highlight(index, true, PickModeOf(f));
}

void TArgumentCommand::ShowPrompt() {
  if (UserPanel == nullptr || Finished_) return;
  if (!PromptsSaved_) {
    UserPanel->SavePrompts(SavedPrompts_);
    PromptsSaved_ = true;
  }
  const TFrame& f = Top();
  size_t asked = f.PromptsBefore;
  for (size_t i = 0; i < f.Given.size() && i < f.Slots.size(); ++i)
    if (IsPlaceholder(f.Slots[i])) ++asked;
  const std::string prompt = asked < f.Def.Prompts.size() ? f.Def.Prompts[asked] : "";
  UserPanel->ClearPrompts();
  UserPanel->SetPromptLine(1, 1, Frames_.front().Def.Title);
  if (Frames_.size() > 1) UserPanel->SetPromptLine(2, 1, f.Def.Title);
  UserPanel->SetPromptLine(3, 1, prompt + " >");
}

void TArgumentCommand::RestorePrompts() {
  if (UserPanel != nullptr && PromptsSaved_) UserPanel->RestorePrompts(SavedPrompts_);
  PromptsSaved_ = false;
}

void TArgumentCommand::ShowBand(const TIntPoint& pointer) {
  if (RubberBrain == nullptr || !CommandServices.DrawBand || Frames_.size() != 1) return;
  if (WindowOpen_) {
    const std::vector<TIntPoint> corners{WindowCorner_, pointer};
    RubberBrain->Show([corners] { CommandServices.DrawBand(bandRectangle, corners); });
    return;
  }
  const TFrame& f = Top();
  if (f.Def.Band == bandNone || !WaitsForPoint()) return;
  // Only the cross-hair is shown before the first point.
  if (f.Points.empty() && f.Def.Band != bandCrossHair) return;
  std::vector<TIntPoint> points = f.Points;
  points.push_back(ApplyGridAndOrtho(pointer));
  const TBandKind kind = f.Def.Band;
  RubberBrain->Show([kind, points] { CommandServices.DrawBand(kind, points); });
}

void TArgumentCommand::HideBand() {
  if (RubberBrain != nullptr) RubberBrain->Hide();
}
