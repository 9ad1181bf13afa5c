// Menu trees. See menus.h.
#include "platform/menus.h"

#include <algorithm>

#include "platform/forms.h"
#include "platform/headless/headless_menus.h"

namespace {
TMenusBackend* installedMenusBackend = nullptr;

bool SameCaption(const std::string& a, const std::string& b) {
  return a == b || StripAccelerator(a) == StripAccelerator(b);
}
}  // namespace

std::string StripAccelerator(const std::string& caption) {
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    else if (caption[i] == '&') continue;
    out += caption[i];
  }
  return out;
}

TMenusBackend& MenusBackend() {
  return installedMenusBackend ? *installedMenusBackend : HeadlessMenusBackend();
}

void SetMenusBackend(TMenusBackend* backend) { installedMenusBackend = backend; }

// ---------------------------------------------------------------- TMenuItem

TMenuItem::TMenuItem(const std::string& caption, const std::string& name) : caption_(caption), name_(name) {}

TMenu* TMenuItem::Menu() const {
  const TMenuItem* i = this;
  while (i->parent_) i = i->parent_;
  return i->menu_;
}

void TMenuItem::Changed(TMenuChange what) {
  if (TMenu* m = Menu()) m->Changed(what, this);
}

TMenuItem& TMenuItem::Add(const std::string& caption, const std::string& name) {
  items_.push_back(std::make_unique<TMenuItem>(caption, name));
  items_.back()->parent_ = this;
  Changed(TMenuChange::Structure);
  return *items_.back();
}

TMenuItem& TMenuItem::AddSeparator() { return Add("-"); }

void TMenuItem::Clear() {
  items_.clear();
  Changed(TMenuChange::Structure);
}

TMenuItem& TMenuItem::SetCaption(const std::string& caption) {
  if (caption != caption_) {
    caption_ = caption;
    Changed(TMenuChange::Item);
  }
  return *this;
}

TMenuItem& TMenuItem::SetShortCut(const std::string& shortCut) {
  if (shortCut != shortCut_) {
    shortCut_ = shortCut;
    Changed(TMenuChange::Item);
  }
  return *this;
}

TMenuItem& TMenuItem::SetChecked(bool checked) {
  if (checked == checked_) return *this;
  checked_ = checked;
  if (checked && radioItem_ && parent_) {
    for (auto& sibling : parent_->items_)
      if (sibling.get() != this && sibling->radioItem_ && sibling->groupIndex_ == groupIndex_)
        sibling->SetChecked(false);
  }
  Changed(TMenuChange::Item);
  return *this;
}

TMenuItem& TMenuItem::SetRadioItem(bool radio, int groupIndex) {
  radioItem_ = radio;
  groupIndex_ = groupIndex;
  Changed(TMenuChange::Item);
  return *this;
}

TMenuItem& TMenuItem::SetEnabled(bool enabled) {
  if (enabled != enabled_) {
    enabled_ = enabled;
    Changed(TMenuChange::Item);
  }
  return *this;
}

TMenuItem& TMenuItem::SetVisible(bool visible) {
  if (visible != visible_) {
    visible_ = visible;
    Changed(TMenuChange::Item);
  }
  return *this;
}

TMenuItem& TMenuItem::SetHint(const std::string& hint) {
  hint_ = hint;
  return *this;
}

bool TMenuItem::IsUsable() const {
  for (const TMenuItem* i = this; i; i = i->parent_)
    if (!i->enabled_ || !i->visible_) return false;
  return true;
}

bool TMenuItem::Click() {
  if (!IsUsable() || IsSeparator()) return false;
  if (TMenu* menu = Menu(); menu != nullptr && menu->ClickGate && !menu->ClickGate(*this)) return false;
  if (OnClick) OnClick(*this);
  return true;
}

void TMenuItem::DropDown() {
  if (OnPopup) OnPopup(*this);
}

void TMenuItem::Highlight() { SetPointedHint(hint_); }

TMenuItem* TMenuItem::Find(const std::string& captionOrName) const {
  for (auto& i : items_)
    if (!i->IsSeparator() && SameCaption(i->caption_, captionOrName)) return i.get();
  for (auto& i : items_)
    if (!i->name_.empty() && SameName(i->name_, captionOrName)) return i.get();
  return nullptr;
}

TMenuItem* TMenuItem::FindByName(const std::string& name) {
  if (!name_.empty() && SameName(name_, name)) return this;
  for (auto& i : items_)
    if (TMenuItem* found = i->FindByName(name)) return found;
  return nullptr;
}

TMenuItem* TMenuItem::FindShortCut(const std::string& shortCut) {
  if (!shortCut_.empty() && SameName(shortCut_, shortCut)) return this;
  for (auto& i : items_)
    if (TMenuItem* found = i->FindShortCut(shortCut)) return found;
  return nullptr;
}

// ---------------------------------------------------------------- menus

TMenu::TMenu(const std::string& name) : name_(name) { root_.menu_ = this; }

TMenu::~TMenu() {
  peer_.reset();
  root_.menu_ = nullptr;
}

void TMenu::Changed(TMenuChange what, TMenuItem* item) {
  if (peer_) peer_->Changed(what, item);
}

TMenuItem* TMenu::PrepareShortCut(const std::string& shortCut) {
  TMenuItem* item = root_.FindShortCut(shortCut);
  if (item == nullptr) return nullptr;
  std::vector<TMenuItem*> above;
  for (TMenuItem* p = item->Parent(); p != nullptr && p != &root_; p = p->Parent()) above.push_back(p);
  for (auto it = above.rbegin(); it != above.rend(); ++it) (*it)->DropDown();
  // A handler may have rebuilt the menu.
  return root_.FindShortCut(shortCut);
}

bool TMenu::ClickShortCut(const std::string& shortCut) {
  TMenuItem* item = PrepareShortCut(shortCut);
  return item && item->Click();
}

TMainMenu::~TMainMenu() {
  // A form must not keep showing a menu that is gone.
  while (!forms_.empty()) forms_.back()->SetMenu(nullptr);
}

void TMainMenu::AttachForm(TForm& form) {
  if (std::find(forms_.begin(), forms_.end(), &form) == forms_.end()) forms_.push_back(&form);
}

void TMainMenu::DetachForm(TForm& form) { forms_.erase(std::remove(forms_.begin(), forms_.end(), &form), forms_.end()); }

TPopupMenu::~TPopupMenu() { HeadlessForgetPopup(*this); }

void TPopupMenu::Popup(int x, int y) {
  if (OnPopup) OnPopup(*this);
  MenusBackend().Popup(*this, x, y);
}

// ---------------------------------------------------------------- paths

TMenuItem* FindMenuItem(TMenu& menu, const std::string& path) {
  TMenuItem* item = &menu.Items();
  size_t start = 0;
  while (item) {
    size_t bar = path.find('|', start);
    std::string part = path.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    item = item->Find(part);
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return item;
}

bool ClickMenu(TMenu& menu, const std::string& path) {
  TMenuItem* target = FindMenuItem(menu, path);
  if (!target) return false;
  std::vector<TMenuItem*> chain;
  for (TMenuItem* i = target->Parent(); i && i->Parent(); i = i->Parent()) chain.push_back(i);
  std::reverse(chain.begin(), chain.end());
  for (TMenuItem* i : chain) {
    if (!i->IsUsable()) return false;
    i->DropDown();
  }
  // Choosing an item with a sub-menu opens that sub-menu.
  if (target->Count() > 0) {
    if (!target->IsUsable()) return false;
    target->DropDown();
    return true;
  }
  // A drop-down handler may have changed the item (Undo enabled or not).
  return target->Click();
}
