// Main menus and popup menus: trees of items.
//
// An item has a caption ("&" marks its accelerator, "-" makes a separator),
// a shortcut written as text ("Ctrl+Z", "F3", "Shift+Alt+Backspace"), a tick
// (radio items tick one of the items beside them with the same group index),
// enabled and visible flags, a hint and two events: OnClick when chosen and
// OnPopup when its sub-menu drops down. A form shows one main menu at a time
// (TForm::SetMenu); swapping it is how the program changes its menus.
//
// Tests choose items by caption path: ClickMenu(menu, "&File|&Open"). The
// path's captions match with or without their "&" marks.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TForm;
class TMenu;
class TMenuItem;

using TMenuEvent = std::function<void(TMenuItem& sender)>;

// What changed in a menu, for the backend.
enum class TMenuChange { Structure, Item };

// The backend's object behind a menu (a menu bar or a popup); owned by it.
class TMenuPeer {
 public:
  virtual ~TMenuPeer() = default;
  virtual void Changed(TMenuChange what, TMenuItem* item) = 0;
};

class TMenuItem {
 public:
  TMenuItem(const std::string& caption = "", const std::string& name = "");
  TMenuItem(const TMenuItem&) = delete;
  TMenuItem& operator=(const TMenuItem&) = delete;

  // Adds a sub-item and returns it.
  TMenuItem& Add(const std::string& caption, const std::string& name = "");
  TMenuItem& AddSeparator();
  void Clear();  // removes every sub-item
  int Count() const { return int(items_.size()); }
  TMenuItem& Item(int index) const { return *items_.at(size_t(index)); }
  const std::vector<std::unique_ptr<TMenuItem>>& Items() const { return items_; }
  TMenuItem* Parent() const { return parent_; }
  TMenu* Menu() const;

  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  TMenuItem& SetCaption(const std::string& caption);
  bool IsSeparator() const { return caption_ == "-"; }
  const std::string& ShortCut() const { return shortCut_; }
  TMenuItem& SetShortCut(const std::string& shortCut);
  bool Checked() const { return checked_; }
  // Ticking a radio item clears the radio items beside it of its group.
  TMenuItem& SetChecked(bool checked);
  bool RadioItem() const { return radioItem_; }
  int GroupIndex() const { return groupIndex_; }
  TMenuItem& SetRadioItem(bool radio, int groupIndex = 0);
  bool Enabled() const { return enabled_; }
  TMenuItem& SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  TMenuItem& SetVisible(bool visible);
  const std::string& Hint() const { return hint_; }
  TMenuItem& SetHint(const std::string& hint);
  int Tag = 0;

  TMenuEvent OnClick;
  TMenuEvent OnPopup;  // before the sub-menu shows

  // Enabled and visible, and so is every item above it.
  bool IsUsable() const;
  // A user's choice: OnClick when the item is usable and its menu's
  // ClickGate lets it run; false otherwise.
  bool Click();
  // The sub-menu drops down: OnPopup.
  void DropDown();
  // The pointer rests on the item: its hint becomes the application's hint.
  void Highlight();

  // Sub-item by caption (with or without "&") or by name; null if none.
  TMenuItem* Find(const std::string& captionOrName) const;
  // This item or one below it by name; null if none.
  TMenuItem* FindByName(const std::string& name);
  // This item or one below it whose shortcut is the text; null if none.
  TMenuItem* FindShortCut(const std::string& shortCut);

 private:
  friend class TMenu;
  void Changed(TMenuChange what);

  std::string caption_;
  std::string name_;
  std::string shortCut_;
  std::string hint_;
  bool checked_ = false;
  bool radioItem_ = false;
  int groupIndex_ = 0;
  bool enabled_ = true;
  bool visible_ = true;
  TMenuItem* parent_ = nullptr;
  TMenu* menu_ = nullptr;  // set on the root item only
  std::vector<std::unique_ptr<TMenuItem>> items_;
};

class TMenu {
 public:
  explicit TMenu(const std::string& name = "");
  virtual ~TMenu();
  TMenu(const TMenu&) = delete;
  TMenu& operator=(const TMenu&) = delete;

  const std::string& Name() const { return name_; }
  // The invisible root; its sub-items are the menu's top-level items.
  TMenuItem& Items() { return root_; }
  const TMenuItem& Items() const { return root_; }
  TMenuItem& Add(const std::string& caption, const std::string& name = "") { return root_.Add(caption, name); }
  TMenuItem* FindItem(const std::string& name) { return root_.FindByName(name); }
  // Asked before any item of the menu is carried out, however it was chosen
  // (a click, its shortcut): false holds the item back, and the gate tells
  // the user why. None lets every item run.
  std::function<bool(TMenuItem& item)> ClickGate;
  // Chooses the item whose shortcut is the text (the window does this for
  // keys): true when a usable item was found and clicked.
  bool ClickShortCut(const std::string& shortCut);
  // Drops down the menus above the item whose shortcut is the text, as
  // opening them would, so that their handlers bring the item's state up to
  // date before the key acts on it. The item, or nullptr.
  TMenuItem* PrepareShortCut(const std::string& shortCut);

  // --- backend ---
  TMenuPeer* Peer() const { return peer_.get(); }
  void SetPeer(std::unique_ptr<TMenuPeer> peer) { peer_ = std::move(peer); }
  void Changed(TMenuChange what, TMenuItem* item);

 private:
  std::string name_;
  TMenuItem root_;
  std::unique_ptr<TMenuPeer> peer_;
};

class TMainMenu : public TMenu {
 public:
  using TMenu::TMenu;
  ~TMainMenu() override;
  // The forms showing this menu (TForm::SetMenu keeps this up to date).
  const std::vector<TForm*>& Forms() const { return forms_; }
  void AttachForm(TForm& form);
  void DetachForm(TForm& form);

 private:
  std::vector<TForm*> forms_;
};

class TPopupMenu : public TMenu {
 public:
  using TMenu::TMenu;
  ~TPopupMenu() override;
  // Shows the menu at a screen point: OnPopup, then the backend's menu; a
  // chosen item runs its OnClick.
  void Popup(int x, int y);
  std::function<void(TPopupMenu&)> OnPopup;
};

class TMenusBackend {
 public:
  virtual ~TMenusBackend() = default;
  virtual void Popup(TPopupMenu& menu, int x, int y) = 0;
};
// The installed backend; the headless one (which only records the last
// popup) until another is installed. Null reinstalls the headless one.
TMenusBackend& MenusBackend();
void SetMenusBackend(TMenusBackend* backend);

// The caption without its "&" marks ("&&" is one "&").
std::string StripAccelerator(const std::string& caption);

// The item at a path of captions separated by "|" ("&File|&Open"); null if none.
TMenuItem* FindMenuItem(TMenu& menu, const std::string& path);
// Chooses an item as a user does: every menu on the way drops down (its
// OnPopup runs), then the item is clicked (an item with a sub-menu drops
// down). False when the path does not exist or an item on it is disabled or
// hidden when reached.
bool ClickMenu(TMenu& menu, const std::string& path);
