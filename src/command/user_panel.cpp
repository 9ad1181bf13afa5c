#include "command/user_panel.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "command/command_interpreter.h"
#include "command/expression.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
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
// The type letters of the edit fields; a letter's place here is its type.
const std::string FieldTypes = "?RLBOSDCT?";

// The field's value as the line shows it.
std::string FieldText(const TPanelField& f) {
  switch (f.Type) {
    case 'L': return std::to_string(static_cast<long long>(std::trunc(f.Value)));
    case 'O': return FormatCoordinate(std::nearbyint(f.Value));
    case 'D': {
      const long long v = static_cast<long long>(std::trunc(f.Value));
      return v <= 39 ? "D" + std::to_string(v - 30) : "R" + std::to_string(v - 40);
    }
    case 'C': return f.Caption;
    case 'B': return f.Value != 0.0 ? "Yes" : "No";
    default: return RealToStr(f.Value);
  }
}

// A bound as the refusal text shows it.
std::string BoundText(char type, double v) {
  if (type == 'O') return TrimBlanks(FormatCoordinate(v));
  if (type == 'L' || type == 'D') return std::to_string(static_cast<long long>(std::trunc(v)));
  return RealToStr(v);
}

// Reads one field written after a "~" at text[at]: value, type letter,
// "[" low ".." high "]" (a button: caption), code, "~". Returns the
// position after the closing "~", or npos when the text holds no field
// there.
size_t ParseField(const std::string& text, size_t at, TPanelField& f) {
  size_t p = at;
  while (p < text.size() && (std::isdigit(static_cast<unsigned char>(text[p])) || text[p] == '.' ||
                             text[p] == '-' || text[p] == '+'))
    ++p;
  if (p >= text.size()) return std::string::npos;
  const size_t type = FieldTypes.find(text[p], 1);
  if (type == std::string::npos || type >= 9) return std::string::npos;
  f.Type = text[p];
  f.Value = StrToRealLenient(text.substr(at, p - at));
  ++p;
  if (p >= text.size() || text[p] != '[') return std::string::npos;
  const size_t close = text.find(']', p);
  if (close == std::string::npos) return std::string::npos;
  const std::string inside = text.substr(p + 1, close - p - 1);
  if (f.Type == 'C') {
    f.Caption = inside;
  } else {
    const size_t dots = inside.find("..");
    if (dots == std::string::npos) return std::string::npos;
    f.Low = StrToRealLenient(inside.substr(0, dots));
    f.High = StrToRealLenient(inside.substr(dots + 2));
  }
  const size_t end = text.find('~', close + 1);
  if (end == std::string::npos) return std::string::npos;
  f.Code = FindCommandCode(text.substr(close + 1, std::min<size_t>(2, end - close - 1)));
  return end + 1;
}
}  // namespace

std::string FormatCoordinate(double value) {
  const bool metric = Metric;
  const double scale = metric ? 1000.0 : 10000.0;
  const double units = UnitsPerDisplayUnit != 0 ? double(UnitsPerDisplayUnit) : 25400000.0;
  double steps = std::nearbyint(value / units * scale);
  if (!std::isfinite(steps) || std::fabs(steps) > 9e15) steps = 0.0;
  const long long whole = static_cast<long long>(std::fabs(steps));
  const long long divisor = metric ? 1000 : 10000;
  std::string fraction = std::to_string(whole % divisor);
  fraction.insert(0, (metric ? 3 : 4) - fraction.size(), '0');
  std::string text = (steps < 0 ? "-" : "+") + std::to_string(whole / divisor) + "." + fraction;
  if (text.size() < 9) text.insert(0, 9 - text.size(), ' ');
  return text;
}

TUserPanel::TUserPanel(TPaintBox* strip) : Strip_(strip) {}

TUserPanel::~TUserPanel() = default;

void TUserPanel::SetPromptLine(int line, int column, const std::string& source) {
  if (line < 1 || line > 3) return;
  if (column < 1) column = 1;
  // The fields of this line from the column on give way to the new ones.
  std::erase_if(Fields_, [&](const TPanelField& f) { return f.Line == line && f.Column >= column; });
  std::string text;
  for (size_t i = 0; i < source.size(); ++i) {
    const char c = source[i];
    if (c == '|') continue;
    if (c == '~') {
      TPanelField field;
      const size_t after = ParseField(source, i + 1, field);
      if (after != std::string::npos) {
        field.Line = line;
        field.Column = column + int(text.size());
        const std::string shown = FieldText(field);
        field.Width = int(shown.size());
        text += shown;
        Fields_.push_back(field);
        i = after - 1;
        continue;
      }
    }
    text += c;
  }
  if (!text.empty() && text.back() == '>') text += ' ';
  std::sort(Fields_.begin(), Fields_.end(), [](const TPanelField& a, const TPanelField& b) {
    return a.Line != b.Line ? a.Line < b.Line : a.Column < b.Column;
  });
  if (Fields_.empty())
    Selected_ = -1;
  else if (Selected_ < 0 || Selected_ >= int(Fields_.size()))
    Selected_ = 0;
  std::string& target = Lines_[size_t(line - 1)];
  const size_t start = size_t(column - 1);
  if (start >= MaxLine) return;
  // The text takes the line from the column to its end: nothing of a longer
  // text written there before stays behind it.
  target.resize(start, ' ');
  target += text;
  if (target.size() > MaxLine) target.resize(MaxLine);
  Invalidate();
}

const std::string& TUserPanel::PromptLine(int line) const {
  if (line < 1 || line > 3) return EmptyLine;
  return Lines_[size_t(line - 1)];
}

void TUserPanel::ClearPrompts() {
  Lines_ = {};
  Fields_.clear();
  Selected_ = -1;
  Invalidate();
}

void TUserPanel::RestorePrompts(const TPromptBuffer& buffer) {
  Lines_ = buffer;
  // The restored lines are plain text again.
  Fields_.clear();
  Selected_ = -1;
  Invalidate();
}

void TUserPanel::DisableEntry() {
  Entry_.clear();
  ++Disabled_;
  CursorShown_ = false;
  Invalidate();
}

void TUserPanel::EnableEntry() {
  Entry_.clear();
  if (Disabled_ > 0) --Disabled_;
  Invalidate();
}

bool TUserPanel::Typing() const {
  return EntryEnabled() || (Selected_ >= 0 && Selected_ < int(Fields_.size()));
}

void TUserPanel::TypeChar(char c) {
  if (!Typing() || c < 32 || c > 126) return;
  if (Entry_.size() + PromptLine(3).size() >= MaxLine) {
    MessageBeep(MB_OK);
    return;
  }
  Entry_ += c;
  CursorShown_ = true;
  PaintEntryLine();
}

void TUserPanel::Backspace() {
  if (!Typing() || Entry_.empty()) return;
  Entry_.pop_back();
  PaintEntryLine();
}

void TUserPanel::ClearEntry() {
  Entry_.clear();
  PaintEntryLine();
}

bool TUserPanel::Enter() {
  if (!Typing() || Entry_.empty()) return false;
  const std::string text = Entry_;
  Entry_.clear();
  PaintEntryLine();
  // With edit fields on the lines the typed value goes to the selected one.
  if (Selected_ >= 0 && Selected_ < int(Fields_.size())) {
    if (Fields_[size_t(Selected_)].Type == 'C') return ChooseField(Selected_);
    return AcceptField(Selected_, text);
  }
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

void TUserPanel::SelectField(int index) {
  if (index < 0 || index >= int(Fields_.size())) return;
  Selected_ = index;
  Invalidate();
}

bool TUserPanel::AcceptField(int index, const std::string& typed) {
  if (index < 0 || index >= int(Fields_.size())) return false;
  TPanelField& f = Fields_[size_t(index)];
  const std::string text = TrimBlanks(typed);
  double v = 0.0;
  if (f.Type == 'B') {
    const std::string upper = UpperCaseStr(text);
    if (upper == "YES" || upper == "Y") {
      v = 1.0;
    } else if (upper == "NO" || upper == "N") {
      v = 0.0;
    } else {
      ErrorBox("<" + text + "> is illegal! Must be either \"Yes\" or \"No\"");
      return false;
    }
  } else if (f.Type == 'C') {
    return ChooseField(index);
  } else {
    const bool read = EvaluateExpression(text, v);
    if (read && f.Type == 'O') v = std::nearbyint(v * double(UnitsPerDisplayUnit));
    if (!read || v < f.Low || v > f.High) {
      ErrorBox("<" + text + "> is illegal! Must be from " + BoundText(f.Type, f.Low) + " to " +
               BoundText(f.Type, f.High));
      return false;
    }
  }
  f.Value = v;
  LastFieldValue_ = v;
  ShowField(f);
  SendFieldEvent(f);
  if (!Fields_.empty()) Selected_ = (index + 1) % int(Fields_.size());
  Invalidate();
  return true;
}

bool TUserPanel::ChooseField(int index) {
  if (index < 0 || index >= int(Fields_.size())) return false;
  LastFieldValue_ = Fields_[size_t(index)].Value;
  SendFieldEvent(Fields_[size_t(index)]);
  return true;
}

void TUserPanel::ShowField(TPanelField& f) {
  std::string& target = Lines_[size_t(f.Line - 1)];
  const std::string shown = FieldText(f);
  const size_t start = size_t(f.Column - 1);
  if (target.size() < start) target.resize(start, ' ');
  const int oldWidth = f.Width;
  target.replace(start, std::min(size_t(f.Width), target.size() - start), shown);
  f.Width = int(shown.size());
  // Later fields of the line move with the text.
  for (TPanelField& other : Fields_)
    if (other.Line == f.Line && other.Column > f.Column) other.Column += f.Width - oldWidth;
  if (target.size() > MaxLine) target.resize(MaxLine);
  Invalidate();
}

void TUserPanel::SendFieldEvent(const TPanelField& f) {
  if (ECO == nullptr) return;
  TInputEvent event;
  event.Kind = ievFieldAccepted;
  event.Flags[0] = uint8_t(f.Code);
  ECO->HandleEvent(event);
}

void TUserPanel::HandleEvent(const TInputEvent& event) {
  // A click on a field selects it.
  if (event.Kind == ievClick && Strip_ != nullptr) {
    const int line = (event.Y - 2) / LineHeight + 1;
    const int cell = std::max(1, Strip_->Canvas().TextWidth("X"));
    const int column = (event.X - TextLeft) / cell + 1;
    for (size_t i = 0; i < Fields_.size(); ++i)
      if (Fields_[i].Line == line && column >= Fields_[i].Column &&
          column < Fields_[i].Column + std::max(1, Fields_[i].Width)) {
        Selected_ = int(i);
        Invalidate();
        // A button is chosen by the click.
        if (Fields_[i].Type == 'C') {
          ChooseField(int(i));
          return;
        }
      }
  }
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
  for (int line = 1; line <= 2; ++line) {
    canvas.TextOut(TextLeft, 2 + (line - 1) * LineHeight, PromptLine(line));
    PaintSelectedField(line);
  }
  PaintEntryLine();
}

void TUserPanel::PaintSelectedField(int line) {
  // The value that typing goes to stands out: "Use mouse to select" shows
  // what was selected.
  if (Strip_ == nullptr || Selected_ < 0 || Selected_ >= int(Fields_.size())) return;
  const TPanelField& f = Fields_[size_t(Selected_)];
  if (f.Line != line || f.Column < 1) return;
  const std::string& text = PromptLine(line);
  const size_t start = size_t(f.Column - 1);
  if (start >= text.size()) return;
  const std::string shown = text.substr(start, size_t(std::max(1, f.Width)));
  TCanvas& canvas = Strip_->Canvas();
  const int left = TextLeft + canvas.TextWidth(text.substr(0, start));
  canvas.Brush.Color = PromptColor;
  canvas.Font.Color = StripColor;
  canvas.TextOut(left, 2 + (line - 1) * LineHeight, shown);
  canvas.Brush.Color = StripColor;
  canvas.Font.Color = PromptColor;
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
  PaintSelectedField(3);
  const int entryLeft = TextLeft + canvas.TextWidth(PromptLine(3));
  canvas.Font.Color = EntryColor;
  canvas.TextOut(entryLeft, top, Entry_ + (CursorShown_ && Typing() ? "_" : ""));
}
