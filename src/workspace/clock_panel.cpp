#include "workspace/clock_panel.h"

#include <algorithm>

#include "platform/events.h"
#include "platform/forms.h"
#include "workspace/workspace.h"

TUserClock* UserClock = nullptr;

namespace {
constexpr TColor ButtonFace = 0x00C0C0C0;
constexpr TColor ClockTextColor = clNavy;

std::string TwoDigits(int value) {
  return std::string(1, char('0' + value / 10)) + char('0' + value % 10);
}
}  // namespace

TUserClock::TUserClock(TPaintBox* panel) : Panel_(panel) {
  ReadTime();
  ShownHour = ReadHour;
  ShownMinute = ReadMinute;
  ShownSecond = ReadSecond;
  ShownMillisecond = ReadMillisecond;
}

TUserClock::~TUserClock() = default;

std::string TUserClock::ClockText(int hour, int minute, int second) {
  int dial = hour % 12;
  if (dial == 0) dial = 12;
  std::string text = dial < 10 ? " " + std::to_string(dial) : std::to_string(dial);
  text += ":" + TwoDigits(minute) + ":" + TwoDigits(second) + " ";
  text += hour < 12 ? "am" : "pm";
  return text;
}

std::string TUserClock::DisplayText() const {
  std::string text = ClockText(ShownHour, ShownMinute, ShownSecond);
  std::replace(text.begin(), text.end(), '0', 'O');
  return text;
}

void TUserClock::ReadTime() {
  const TDateTimeParts now = LocalNow();
  ReadHour = uint16_t(now.Hour);
  ReadMinute = uint16_t(now.Minute);
  ReadSecond = uint16_t(now.Second);
  ReadMillisecond = uint16_t(now.Millisecond);
}

void TUserClock::Paint() {
  const std::string text = DisplayText();
  if (Panel_ != nullptr) {
    TCanvas& canvas = Panel_->Canvas();
    canvas.Font.Color = ClockTextColor;
    canvas.Font.FixedPitch = true;
    if (TControl* holder = Panel_->Parent()) holder->SetWidth(canvas.TextWidth(text) + 17);
    canvas.Pen.Color = ButtonFace;
    canvas.Brush.Color = ButtonFace;
    canvas.Brush.Style = bsSolid;
    canvas.FillRect(TRect{0, 0, Panel_->Width(), Panel_->Height()});
    CellWidth = canvas.TextWidth("X");
    for (size_t i = 0; i < text.size(); ++i) DrawCell(i, text[i]);
  }
  Painted = true;
  ShownText = text;
}

void TUserClock::DrawCell(size_t index, char c) {
  if (Panel_ == nullptr) return;
  TCanvas& canvas = Panel_->Canvas();
  canvas.Font.Color = ClockTextColor;
  canvas.Font.FixedPitch = true;
  canvas.Brush.Color = ButtonFace;
  canvas.Brush.Style = bsSolid;
  canvas.TextOut(int(index) * CellWidth + 3, 3, std::string(1, c));
}

void TUserClock::DrawChangedTime() {
  ShownSecond = ReadSecond;
  ShownMillisecond = ReadMillisecond;
  // The hour follows even when the minute reads the same (a jump of a
  // whole hour).
  ShownMinute = ReadMinute;
  ShownHour = ReadHour;
  if (!WorkspaceReady) return;
  const std::string text = DisplayText();
  for (size_t i = 0; i < text.size(); ++i)
    if (i >= ShownText.size() || ShownText[i] != text[i]) DrawCell(i, text[i]);
  ShownText = text;
}

void TUserClock::Tick() {
  if (!Painted) Paint();
  if (PollCountdown > 0) {
    --PollCountdown;
    return;
  }
  ReadTime();
  if (ReadSecond == ShownSecond) {
    if (Grace > 0)
      --Grace;
    else
      ++PollInterval;
    PollCountdown = PollInterval / 4;
    return;
  }
  int advanced = int(ReadSecond) - int(ShownSecond);
  if (ReadMinute != ShownMinute) advanced += 60;
  if (advanced > 1) PollInterval /= 2;
  DrawChangedTime();
  PollCountdown = PollInterval / 4;
  Grace = 4;
  SecondChanged();
}

void TUserClock::Refresh() {
  if (!Painted) Paint();
  ReadTime();
  if (ReadSecond != ShownSecond) {
    DrawChangedTime();
    PollInterval = 0;
    PollCountdown = 0;
    Grace = 0;
  }
  ProcessMessages();
}
