#include "command/user_panel.h"

#include "command/command_interpreter.h"
#include "platform/forms.h"
#include "platform/message_box.h"

TUserPanel* UserPanel = nullptr;

namespace {
constexpr int LineHeight = 16;
constexpr int TextLeft = 4;
constexpr TColor StripColor = 0x00C0C0C0;   // button face
constexpr TColor PromptColor = clNavy;
constexpr TColor EntryColor = clBlack;
const std::string EmptyLine;
}  // namespace

TUserPanel::TUserPanel(TPaintBox* strip) : Strip_(strip) {}

TUserPanel::~TUserPanel() = default;

void TUserPanel::SetPromptLine(int line, int column, const std::string& text) {
  if (line < 1 || line > 3) return;
  if (column < 1) column = 1;
  std::string& target = Lines_[size_t(line - 1)];
  const size_t start = size_t(column - 1);
  if (start >= MaxLine) return;
  if (target.size() < start) target.resize(start, ' ');
  target.replace(start, std::min(text.size(), target.size() - start), text);
  if (target.size() > MaxLine) target.resize(MaxLine);
  Invalidate();
}

const std::string& TUserPanel::PromptLine(int line) const {
  if (line < 1 || line > 3) return EmptyLine;
  return Lines_[size_t(line - 1)];
}

void TUserPanel::ClearPrompts() {
  Lines_ = {};
  Invalidate();
}

void TUserPanel::RestorePrompts(const TPromptBuffer& buffer) {
  Lines_ = buffer;
  Invalidate();
}

void TUserPanel::DisableEntry() {
  ++Disabled_;
  CursorShown_ = false;
  Invalidate();
}

void TUserPanel::EnableEntry() {
  if (Disabled_ > 0) --Disabled_;
  Invalidate();
}

void TUserPanel::TypeChar(char c) {
  if (!EntryEnabled() || c < 32 || c > 126) return;
  if (Entry_.size() + PromptLine(3).size() >= MaxLine) {
    MessageBeep(MB_OK);
    return;
  }
  Entry_ += c;
  CursorShown_ = true;
  PaintEntryLine();
}

void TUserPanel::Backspace() {
  if (!EntryEnabled() || Entry_.empty()) return;
  Entry_.pop_back();
  PaintEntryLine();
}

void TUserPanel::ClearEntry() {
  Entry_.clear();
  PaintEntryLine();
}

bool TUserPanel::Enter() {
  if (!EntryEnabled() || Entry_.empty()) return false;
  const std::string text = Entry_;
  Entry_.clear();
  PaintEntryLine();
  const bool taken = ECO != nullptr && ECO->EnterText(text);
  if (!taken) MessageBeep(MB_OK);
  return taken;
}

void TUserPanel::BlinkCursor() {
  if (!EntryEnabled()) {
    if (CursorShown_) {
      CursorShown_ = false;
      PaintEntryLine();
    }
    return;
  }
  CursorShown_ = !CursorShown_;
  PaintEntryLine();
}

void TUserPanel::HandleEvent(const TInputEvent& event) {
  if (event.Kind == ievClick && EntryEnabled()) {
    CursorShown_ = true;
    PaintEntryLine();
  }
}

void TUserPanel::Invalidate() {
  if (Strip_ == nullptr) return;
  TCanvas& canvas = Strip_->Canvas();
  canvas.Brush.Color = StripColor;
  canvas.Pen.Color = StripColor;
  canvas.FillRect(TRect{0, 0, Strip_->Width(), Strip_->Height()});
  canvas.Font.Color = PromptColor;
  for (int line = 1; line <= 2; ++line)
    canvas.TextOut(TextLeft, 2 + (line - 1) * LineHeight, PromptLine(line));
  PaintEntryLine();
}

void TUserPanel::PaintEntryLine() {
  if (Strip_ == nullptr) return;
  TCanvas& canvas = Strip_->Canvas();
  const int top = 2 + 2 * LineHeight;
  canvas.Brush.Color = StripColor;
  canvas.Pen.Color = StripColor;
  canvas.FillRect(TRect{0, top, Strip_->Width(), top + LineHeight + 2});
  canvas.Font.Color = PromptColor;
  canvas.TextOut(TextLeft, top, PromptLine(3));
  const int entryLeft = TextLeft + canvas.TextWidth(PromptLine(3));
  canvas.Font.Color = EntryColor;
  canvas.TextOut(entryLeft, top, Entry_ + (CursorShown_ && EntryEnabled() ? "_" : ""));
}
