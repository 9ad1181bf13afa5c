#include "routpath/checked_fields.h"

#include "foundation/utilities.h"
#include "platform/keys.h"
#include "platform/message_box.h"

std::string ShortRealText(double value) { return RealToStr(value).substr(0, 6); }

std::string FieldRealText(double value) { return RealToStr(value); }

bool NumberTextAccepted(const std::string& text, bool integer, double low, double high) {
  if (text.empty()) return false;
  for (char c : text) {
    const bool digit = c >= '0' && c <= '9';
    if (!digit && (integer || (c != '+' && c != '-' && c != '.'))) return false;
  }
  const double v = integer ? double(StrToIntLenient(text)) : StrToRealLenient(text);
  return v >= low && v <= high;
}

double TCheckedFields::Value(const TControl& edit, bool integer) {
  return integer ? double(StrToIntLenient(edit.Caption())) : StrToRealLenient(edit.Caption());
}

TCheckedFields::TField& TCheckedFields::Add(TControl& edit, bool integer, double low, double high) {
  return Add(edit, integer, [low] { return low; }, [high] { return high; });
}

TCheckedFields::TField& TCheckedFields::Add(TControl& edit, bool integer, std::function<double()> low,
                                            std::function<double()> high) {
  auto field = std::make_unique<TField>();
  field->Edit = &edit;
  field->Integer = integer;
  field->Low = std::move(low);
  field->High = std::move(high);
  TField* f = field.get();
  fields_.push_back(std::move(field));
  edit.OnEnter = [f](TControl&) { f->Remembered = Value(*f->Edit, f->Integer); };
  edit.OnExit = [this, f](TControl&) {
    if (!checking_) Check(*f);
  };
  return *f;
}

bool TCheckedFields::Check(TField& f) {
  const std::string text = f.Edit->Caption();
  const bool charsOk = NumberTextAccepted(text, f.Integer, -1e300, 1e300);
  if (NumberTextAccepted(text, f.Integer, f.Low(), f.High())) {
    const double v = Value(*f.Edit, f.Integer);
    if (!f.Integer) f.Edit->SetCaption(FieldRealText(v));
    if (f.Accepted) f.Accepted(v);
    return true;
  }
  checking_ = true;
  ErrorBox(charsOk && !f.RangeMessage.empty() ? f.RangeMessage : "Illegal value: <" + text + ">");
  f.Edit->SetCaption(f.Integer ? std::to_string(int64_t(f.Remembered)) : FieldRealText(f.Remembered));
  f.Edit->SetFocus();
  checking_ = false;
  return false;
}

void TCheckedFields::RememberAll() {
  for (auto& f : fields_) f->Remembered = Value(*f->Edit, f->Integer);
}

bool TCheckedFields::CheckAll() {
  for (auto& f : fields_)
    if (f->Edit->Enabled() && !Check(*f)) return false;
  return true;
}

void MoveFocusOnEnter(const std::vector<TControl*>& order) {
  for (std::size_t i = 0; i < order.size(); ++i) {
    TControl* next = order[(i + 1) % order.size()];
    order[i]->OnKeyDown = [next](TControl&, uint16_t& key, TShiftState) {
      if (key != VK_RETURN) return;
      next->SetFocus();
      key = 0;
    };
  }
}
