#include "editor/qed_controller.h"

#include <algorithm>
#include <cctype>

namespace {

std::vector<TQedController*>& Controllers() {
  static std::vector<TQedController*> list;
  return list;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(uint8_t(c)));
  return s;
}

}  // namespace

TQedController::TQedController(TForm& owner) : Owner_(owner) {
  Controllers().push_back(this);
  Pool_.OnAllTriggers = [this](int handle, uint32_t elapsed, uint32_t interval) {
    if (OnTimerTrigger) OnTimerTrigger(handle, elapsed, interval);
  };
}

TQedController::~TQedController() {
  auto& list = Controllers();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

bool TQedController::IsSpecialControl(TControl* control) {
  bool special = control != nullptr && (control == BtnCancel || control == BtnHelp || control == BtnRestore);
  if (OnIsSpecialControl) OnIsSpecialControl(*this, control, special);
  return special;
}

TQedController& TQedController::Of(const TForm* form) {
  for (TQedController* c : Controllers())
    if (&c->Owner() == form) return *c;
  throw ENoControllerAssigned();
}

// ---------------------------------------------------------------- colours

TQedColors::TQedColors(TColor defaultBack, TColor defaultText)
    : Back_(defaultBack), Text_(defaultText), DefBack_(defaultBack), DefText_(defaultText) {}

void TQedColors::SetBackColor(TColor c) {
  if (c == Back_) return;
  if (c != DefBack_) UseDefault_ = false;
  Back_ = c;
  if (OnChange) OnChange();
}

void TQedColors::SetTextColor(TColor c) {
  if (c == Text_) return;
  if (c != DefText_) UseDefault_ = false;
  Text_ = c;
  if (OnChange) OnChange();
}

void TQedColors::SetUseDefault(bool on) {
  UseDefault_ = on;
  if (!on) return;
  Back_ = DefBack_;
  Text_ = DefText_;
  if (OnChange) OnChange();
}

void TQedColors::Assign(const TQedColors& other) {
  Back_ = other.Back_;
  Text_ = other.Text_;
  UseDefault_ = Back_ == DefBack_ && Text_ == DefText_;
  if (OnChange) OnChange();
}

// ---------------------------------------------------------------- fixed font

std::vector<std::string>& FixedPitchFontNames() {
  static std::vector<std::string> names = {"Courier New", "Courier", "Lucida Console", "Consolas", "Fixedsys",
                                           "Terminal", "DejaVu Sans Mono", "Liberation Mono", "Monospace",
                                           "Noto Mono", "FreeMono"};
  return names;
}

bool IsFixedPitchFont(const TFont& font) {
  auto& names = FixedPitchFontNames();
  const auto same = [&font](const std::string& n) { return Upper(n) == Upper(font.Name); };
  if (std::any_of(names.begin(), names.end(), same)) return true;
  if (!font.FixedPitch) return false;
  names.push_back(font.Name);  // the window system said so
  return true;
}

TQedFixedFont::TQedFixedFont(const TFont& font) : Font_(font) { Font_.FixedPitch = true; }

void TQedFixedFont::Assign(const TFont& font) {
  if (!IsFixedPitchFont(font)) throw EInvalidFixedFont();
  Font_ = font;
  Font_.FixedPitch = true;
  if (OnChange) OnChange();
}

void TQedFixedFont::SetName(const std::string& name) {
  TFont f = Font_;
  f.Name = name;
  f.FixedPitch = false;
  Assign(f);
}

void TQedFixedFont::SetSize(int points) {
  Font_.Size = points;
  if (OnChange) OnChange();
}

void TQedFixedFont::SetColor(TColor c) {
  Font_.Color = c;
  if (OnChange) OnChange();
}

uint8_t TQedFixedFont::Style() const {
  return uint8_t((Font_.Bold ? 1 : 0) | (Font_.Italic ? 2 : 0) | (Font_.Underline ? 4 : 0) | (Font_.StrikeOut ? 8 : 0));
}

void TQedFixedFont::SetStyle(uint8_t style) {
  Font_.Bold = style & 1;
  Font_.Italic = style & 2;
  Font_.Underline = style & 4;
  Font_.StrikeOut = style & 8;
  if (OnChange) OnChange();
}
