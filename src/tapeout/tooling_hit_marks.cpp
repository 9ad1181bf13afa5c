#include "tapeout/tooling_hit_marks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "command/argument_command.h"
#include "command/rubber_brain.h"
#include "command/user_panel.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "platform/events.h"
#include "model/drawing_base.h"
#include "model/view_services.h"

TToolingMarks ToolingMarks;
TIntPoint CouponOrigin;

namespace {

bool ViewAvailable = false;
// The command line as it stood before a marking or a pick took it over.
TPromptBuffer SavedPrompts;
// The coupon pick: 1 waiting, 2 picked, 3 stopped by the user, 0 given up
// otherwise.
int CouponPick = 0;
constexpr uint16_t kEscape = 27;
constexpr double kClickPixels = 4.0;

void Prompt(const std::string& text) {
  if (UserPanel != nullptr) UserPanel->SetPromptLine(1, 1, text);
}

// The marking or pick owns the command line while it runs: its prompt stands
// alone (the waiting command's lines go), and the old lines come back after.
void TakeCommandLine(const std::string& text) {
  if (UserPanel == nullptr) return;
  UserPanel->SavePrompts(SavedPrompts);
  UserPanel->ClearPrompts();
  Prompt(text);
}

void GiveBackCommandLine() {
  if (UserPanel != nullptr) UserPanel->RestorePrompts(SavedPrompts);
}

void PromptPhase() {
  Prompt(ToolingMarks.MarkingLast
             ? "Window the LAST tooling hits; right button when done, Esc to stop"
             : "Window the FIRST tooling hits; right button when done, Esc to stop");
}

void DrawBox(const TIntBox& b) {
  TDrawingBase& d = ViewServices().Picture();
  d.DrawLine(b.Left, b.Bottom, b.Right, b.Bottom);
  d.DrawLine(b.Right, b.Bottom, b.Right, b.Top);
  d.DrawLine(b.Right, b.Top, b.Left, b.Top);
  d.DrawLine(b.Left, b.Top, b.Left, b.Bottom);
}

// A few pixels of the view in database units: a window smaller than this
// both ways is a click.
int32_t ClickPad() {
  const double ppi = std::max(ViewServices().PixelsPerInch(), 1e-6);
  return static_cast<int32_t>(std::min(1.0e8, kClickPixels * 25400000.0 / ppi));
}

// The band from the open window's corner to the pointer.
void ShowWindowBand(const TIntPoint& pointer) {
  if (RubberBrain == nullptr || !CommandServices.DrawBand) return;
  const std::vector<TIntPoint> corners{ToolingMarks.Corner, pointer};
  RubberBrain->Show([corners] { CommandServices.DrawBand(bandRectangle, corners); });
}

void HideWindowBand() {
  if (RubberBrain != nullptr) RubberBrain->Hide();
}

void End(bool finished) {
  HideWindowBand();
  ToolingMarks.Marking = false;
  ToolingMarks.Finished = finished;
  ToolingMarks.Pressed = false;
}

bool Inside(const std::vector<TIntBox>& boxes, const TIntPoint& p) {
  for (const TIntBox& b : boxes)
    if (p.X >= b.Left && p.X <= b.Right && p.Y >= b.Bottom && p.Y <= b.Top) return true;
  return false;
}

// The hits a window of the phase moves: those whose item starts inside it
// (a hit inside a first-hit window as well stays first).
int64_t HitsMarked(const std::vector<TIntBox>& boxes, bool last) {
  int64_t n = 0;
  for (const TMarkableHit& h : ToolingMarks.Hits)
    if (Inside(boxes, h.At) && !(last && Inside(ToolingMarks.First, h.At))) n += h.Hits;
  return n;
}

std::string HitsText(int64_t n) { return std::to_string(n) + (n == 1 ? " hit" : " hits"); }

// The window from the corner to the second point: a click (both within a
// few pixels) marks a few pixels round the point.
void CloseWindow(const TIntPoint& at) {
  TToolingMarks& m = ToolingMarks;
  m.Pressed = false;
  HideWindowBand();
  TIntBox box{std::min(m.Corner.X, at.X), std::min(m.Corner.Y, at.Y), std::max(m.Corner.X, at.X),
              std::max(m.Corner.Y, at.Y)};
  const int32_t pad = ClickPad();
  if (box.Right - int64_t{box.Left} < pad && box.Top - int64_t{box.Bottom} < pad) {
    box = {ClampCompToInt(int64_t{at.X} - pad), ClampCompToInt(int64_t{at.Y} - pad),
           ClampCompToInt(int64_t{at.X} + pad), ClampCompToInt(int64_t{at.Y} + pad)};
  }
  std::vector<TIntBox>& phase = m.MarkingLast ? m.Last : m.First;
  phase.push_back(box);
  const int64_t caught = HitsMarked({box}, m.MarkingLast);
  const std::string which = m.MarkingLast ? "last" : "first";
  // A last window over hits that are all marked first catches none of them,
  // though their centres are inside.
  const std::string none = m.MarkingLast && HitsMarked({box}, false) > 0
                               ? "The window marks no hit: the hits inside it are marked first"
                               : "The window marks no hit: a hit is marked when its centre is inside";
  if (UserPanel != nullptr)
    UserPanel->SetPromptLine(2, 1,
                             caught == 0 ? none
                                         : "The window marks " + HitsText(caught) + " to drill " + which + "; " +
                                               HitsText(HitsMarked(phase, m.MarkingLast)) + " marked " +
                                               which + " in all");
  DrawBox(box);
  ViewServices().UpdateView();
}

}  // namespace

void SetToolingMarkView(bool available) { ViewAvailable = available; }
bool ToolingMarkViewAvailable() { return ViewAvailable; }

void WindowMarkMouseHook(TInputEvent& event) {
  TToolingMarks& m = ToolingMarks;
  if (!m.Marking) return;
  const TIntPoint pointer{event.WorldX, event.WorldY};
  if (event.Kind == ievKey && event.Flags[0] == kEscape && event.Flags[1] == 0) {
    m.Stopped = true;
    End(false);
    return;
  }
  if (event.Kind == ievMouseMove) {
    if (m.Pressed) ShowWindowBand(pointer);
    return;
  }
  if (event.Kind == ievMouseDown && (event.Buttons & mbtRight)) {
    // The right button takes back an open window's corner first.
    if (m.Pressed) {
      m.Pressed = false;
      HideWindowBand();
      return;
    }
    if (!m.MarkingLast && m.WantLast) {
      m.MarkingLast = true;
      PromptPhase();
      if (UserPanel != nullptr)
        UserPanel->SetPromptLine(2, 1, HitsText(HitsMarked(m.First, false)) + " marked first");
      return;
    }
    End(true);
    return;
  }
  if (event.Kind == ievMouseDown && (event.Buttons & mbtLeft)) {
    // The first click opens a window, the second closes it.
    if (m.Pressed) {
      CloseWindow(pointer);
      return;
    }
    m.Pressed = true;
    m.Corner = pointer;
    ShowWindowBand(pointer);
    return;
  }
  // A drag closes the window where the button comes up; a click leaves it
  // open for the opposite corner.
  if (event.Kind == ievMouseUp && m.Pressed) {
    const int32_t pad = ClickPad();
    if (std::abs(int64_t{pointer.X} - m.Corner.X) >= pad || std::abs(int64_t{pointer.Y} - m.Corner.Y) >= pad)
      CloseWindow(pointer);
  }
}

void DrawWindowMarks() {
  // The windows show only while they are being marked.
  if (!ToolingMarks.Marking) return;
  for (const TIntBox& b : ToolingMarks.First) DrawBox(b);
  for (const TIntBox& b : ToolingMarks.Last) DrawBox(b);
}

bool MarkToolingHits(bool first, bool last, std::vector<TMarkableHit> hits) {
  TToolingMarks& m = ToolingMarks;
  m = TToolingMarks{};
  if (!ViewAvailable || (!first && !last)) return true;
  m.Hits = std::move(hits);
  m.Marking = true;
  m.MarkingLast = !first;
  m.WantLast = first && last;
  const uint8_t activity = ViewServices().Activity();
  const uint8_t colours = ColorHolesBy;
  ColorHolesBy = static_cast<uint8_t>(colours % 3 + 3);
  ViewServices().SetActivity(6);
  ViewServices().RedrawView();
  TakeCommandLine("");
  PromptPhase();
  // Anything else that takes the view (a new job, closing) gives up.
  while (m.Marking && ViewServices().Activity() == 6) ProcessMessages();
  if (m.Marking) End(false);
  GiveBackCommandLine();
  ViewServices().SetActivity(activity);
  ColorHolesBy = colours;
  ViewServices().RedrawView();
  return m.Finished;
}

void MakeTapePickEvent(TInputEvent& event) {
  if (CouponPick != 1) return;
  if ((event.Kind == ievKey && event.Flags[0] == kEscape && event.Flags[1] == 0) ||
      (event.Kind == ievMouseDown && (event.Buttons & mbtRight))) {
    CouponPick = 3;
  } else if (event.Kind == ievMouseDown && (event.Buttons & mbtLeft)) {
    CouponOrigin = {event.WorldX, event.WorldY};
    CouponPick = 2;
  }
}

bool CouponPickStopped() { return CouponPick == 3; }

bool TypedCouponOrigin(const std::string& typed) {
  if (CouponPick != 1) return false;
  TIntPoint p{0, 0};
  if (AcceptTypedPoint(typed, nullptr, p)) {
    CouponOrigin = p;
    CouponPick = 2;
  }
  return true;
}

bool PickCouponOrigin() {
  if (!ViewAvailable) return true;  // no view: the last corner stays
  CouponPick = 1;
  const uint8_t activity = ViewServices().Activity();
  ViewServices().SetActivity(5);
  TakeCommandLine("Pick the corner of the first/last hit coupon; right button or Esc to stop");
  while (CouponPick == 1 && ViewServices().Activity() == 5) ProcessMessages();
  if (CouponPick == 1) CouponPick = 0;
  GiveBackCommandLine();
  ViewServices().SetActivity(activity);
  return CouponPick == 2;
}
