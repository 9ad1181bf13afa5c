#include "tapeout/tooling_hit_marks.h"

#include <algorithm>
#include <cmath>

#include "command/argument_command.h"
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
// The coupon pick: 1 waiting, 2 picked, 0 given up.
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

void End(bool finished) {
  ToolingMarks.Marking = false;
  ToolingMarks.Finished = finished;
  ToolingMarks.Pressed = false;
}

}  // namespace

void SetToolingMarkView(bool available) { ViewAvailable = available; }
bool ToolingMarkViewAvailable() { return ViewAvailable; }

void WindowMarkMouseHook(TInputEvent& event) {
  TToolingMarks& m = ToolingMarks;
  if (!m.Marking) return;
  if (event.Kind == ievKey && event.Flags[0] == kEscape && event.Flags[1] == 0) {
    End(false);
    return;
  }
  if (event.Kind == ievMouseDown && (event.Buttons & mbtRight)) {
    if (!m.MarkingLast && m.WantLast) {
      m.MarkingLast = true;
      PromptPhase();
      return;
    }
    End(true);
    return;
  }
  if (event.Kind == ievMouseDown && (event.Buttons & mbtLeft)) {
    m.Pressed = true;
    m.Corner = {event.WorldX, event.WorldY};
    return;
  }
  if (event.Kind == ievMouseUp && m.Pressed) {
    m.Pressed = false;
    TIntBox box{std::min(m.Corner.X, event.WorldX), std::min(m.Corner.Y, event.WorldY),
                std::max(m.Corner.X, event.WorldX), std::max(m.Corner.Y, event.WorldY)};
    // A click: a few pixels round the point.
    const double ppi = std::max(ViewServices().PixelsPerInch(), 1e-6);
    const int32_t pad = static_cast<int32_t>(std::min(1.0e8, kClickPixels * 25400000.0 / ppi));
    if (box.Right - int64_t{box.Left} < pad && box.Top - int64_t{box.Bottom} < pad) {
      box = {ClampCompToInt(int64_t{event.WorldX} - pad), ClampCompToInt(int64_t{event.WorldY} - pad),
             ClampCompToInt(int64_t{event.WorldX} + pad), ClampCompToInt(int64_t{event.WorldY} + pad)};
    }
    (m.MarkingLast ? m.Last : m.First).push_back(box);
    DrawBox(box);
    ViewServices().UpdateView();
  }
}

void DrawWindowMarks() {
  // The windows show only while they are being marked.
  if (!ToolingMarks.Marking) return;
  for (const TIntBox& b : ToolingMarks.First) DrawBox(b);
  for (const TIntBox& b : ToolingMarks.Last) DrawBox(b);
}

bool MarkToolingHits(bool first, bool last) {
  TToolingMarks& m = ToolingMarks;
  m = TToolingMarks{};
  if (!ViewAvailable || (!first && !last)) return true;
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
    CouponPick = 0;
  } else if (event.Kind == ievMouseDown && (event.Buttons & mbtLeft)) {
    CouponOrigin = {event.WorldX, event.WorldY};
    CouponPick = 2;
  }
}

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
