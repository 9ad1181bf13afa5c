// The form model: windows and dialogs as trees of named controls.
//
// A dialog is a class derived from TForm. Its constructor adds the controls
// (Add<TKind>(name, ...) on the form or on a container) and assigns their
// handlers; the installed backend shows it. The headless backend runs a
// registered script in place of a user (see headless/headless_forms.h), the
// Qt backend gives every control a widget and keeps both in step.
//
//   class TDigitsDialog : public TForm {
//    public:
//     TDigitsDialog() : TForm("TDigitsDialog") {
//       SetCaption("Digits");
//       auto& spin = Add<TSpinEdit>("Digits");
//       spin.SetRange(1, 6);
//       auto& row = Add<TPanel>("ButtonRow");
//       row.SetFlow(TFlow::Horizontal);
//       row.SetBevel(bvNone);
//       row.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
//       row.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
//       spin.OnChange = [this](TControl&) { ... };
//     }
//   };
//
// Events. OnChange fires whenever a control's value changes, whether the
// program or the user changed it (text, checked, item index, value,
// position, active page, colours); it does not fire when a setter is given
// the value the control already has. OnClick fires only for a user's click
// (Click(), ClickItem(), the Qt widget's click). OnEnter/OnExit follow the
// keyboard focus inside a form. Mouse coordinates are in the control's own
// pixels.
//
// Layout. Every container arranges its children: first the aligned ones
// (alTop, alBottom, alLeft, alRight in the order added, then alClient takes
// the rest), then the others in a flow, stacked vertically or, when the
// container's flow is horizontal, side by side in one row. A child placed
// with SetBounds/SetLeft/SetTop keeps its position; SetWidth/SetHeight only
// fix its size. Containers and forms size themselves to their contents
// unless given a size. Hidden controls take no room.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/events.h"
#include "platform/keys.h"
#include "platform/types.h"

class TControl;
class TForm;
class TMainMenu;
class TButton;

// "The control's usual colour": no colour of its own.
constexpr TColor clDefault = 0x20000000;

using TShiftState = uint8_t;
constexpr TShiftState ssShift = 1;
constexpr TShiftState ssAlt = 2;
constexpr TShiftState ssCtrl = 4;
constexpr TShiftState ssLeft = 8;
constexpr TShiftState ssRight = 16;
constexpr TShiftState ssMiddle = 32;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// OnKeyDown/OnKeyUp take the virtual key codes of platform/keys.h; letters
// and digits are their upper-case ASCII codes.

enum class TControlKind {
  Form, Panel, GroupBox, Label, Button, CheckBox, RadioButton, RadioGroup, Edit, SpinEdit,
  Memo, ListBox, ComboBox, StringGrid, PaintBox, ScrollBar, SpeedButton, TabbedPages, TabPage,
  Gauge, Image, ColorGrid, StatusBar, Timer, ScrollBox
};

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TFlow { Vertical, Horizontal };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TBevelCut { bvNone, bvLowered, bvRaised };
enum TScrollBarKind { sbHorizontal, sbVertical };
enum TComboBoxStyle { csDropDown, csDropDownList };

// What changed about a control, for its widget.
enum class TChange {
  Caption,   // caption or text
  State,     // enabled, visible, hint, colours
  Bounds,    // position or size (after layout)
  Value,     // checked, item index, value, position, cells, down, page...
  Items,     // item list, lines, columns, panels, grid size
  LineAdded, // memo: one line appended at the end
  Picture,   // paint box back buffer or image drawn: show it again
  Repaint,   // paint box: run OnPaint and show the result
  Menu,      // form: main menu set or swapped
  Focus,     // form: the active control changed
  Selection, // memo: caret or selection placed by the program
  Created,   // a child control was added (sent to its container)
};

using TNotifyEvent = std::function<void(TControl& sender)>;
using TMouseEvent =
    std::function<void(TControl& sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TControl& sender, TShiftState shift, int x, int y)>;
// Setting key to 0 swallows the key.
using TKeyEvent = std::function<void(TControl& sender, uint16_t& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TControl& sender, char& key)>;
using TCloseQueryEvent = std::function<void(TForm& sender, bool& canClose)>;
using TFormEvent = std::function<void(TForm& sender)>;

// The backend's object behind one control (its widget); owned by the control.
class TControlPeer {
 public:
  virtual ~TControlPeer() = default;
  virtual void Changed(TChange what) = 0;
};

// A misuse of the form model by the program or a test script (unknown
// control name, wrong control kind, adding to a non-container).
class EFormError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class TControl {
 public:
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl();

  TControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  TControl* Parent() const { return parent_; }
  TForm* Form() const;  // the form holding this control; a form returns itself
  bool IsContainer() const;

  // --- children (containers only; a child is owned by its parent) ---
  template <class T, class... Args>
  T& Add(const std::string& name, Args&&... args) {
    auto child = std::make_unique<T>(name, std::forward<Args>(args)...);
    T& ref = *child;
    Adopt(std::move(child));
    return ref;
  }
  void Remove(TControl& child);  // destroys the child
  const std::vector<std::unique_ptr<TControl>>& Children() const { return children_; }
  // This control or a descendant by name (case-insensitive); null if none.
  TControl* FindControl(const std::string& name);

  // --- common properties ---
  const std::string& Caption() const { return caption_; }
  virtual void SetCaption(const std::string& caption);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // Enabled and visible, and so is every container up to the form.
  bool IsUsable() const;
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);
  TColor Color() const { return color_; }  // background; clDefault when unset
  void SetColor(TColor color);
  TColor FontColor() const { return fontColor_; }
  void SetFontColor(TColor color);
  bool FontBold() const { return fontBold_; }
  void SetFontBold(bool bold);
  int Tag = 0;

  // --- geometry, in the parent's client coordinates ---
  TRect Bounds() const;
  int Left() const { return Bounds().Left; }
  int Top() const { return Bounds().Top; }
  int Width() const { return Bounds().Width(); }
  int Height() const { return Bounds().Height(); }
  TRect ClientRect() const { return TRect{0, 0, Width(), Height()}; }
  void SetBounds(int left, int top, int width, int height);  // fixed place and size
  void SetLeft(int left);  // fixes the place
  void SetTop(int top);
  void SetWidth(int width);  // fixes the size only; the layout places it
  void SetHeight(int height);
  bool HasFixedPlace() const { return fixedPlace_; }
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  TFlow Flow() const { return flow_; }
  void SetFlow(TFlow flow);
  // The size this control asks for: its explicit width and height where
  // given, else what its contents need.
  TPoint PreferredSize() const;

  // --- events ---
  TNotifyEvent OnClick, OnChange, OnEnter, OnExit, OnResize;
  TMouseEvent OnMouseDown, OnMouseUp;
  // The second press of a double click (after its own OnMouseDown and
  // OnMouseUp of the first press).
  TMouseEvent OnDblClick;
  TMouseMoveEvent OnMouseMove;
  TKeyEvent OnKeyDown, OnKeyUp;
  TKeyPressEvent OnKeyPress;

  // --- what a user does ---
  // A click: focus moves to the control first where it takes focus (when
  // that is refused, nothing more happens), then the control's own reaction
  // (a check box toggles, a radio button checks, a button with a modal
  // result closes its form...) and OnClick. False when the control is
  // disabled or hidden, or the focus was refused.
  bool Click();
  bool CanFocus() const;  // a focusable kind (or one that asks for keys), usable
  // Controls that are not focusable by kind may ask for the keyboard.
  virtual bool WantsFocus() const { return false; }
  // Whether the control's kind takes the focus (a scroll bar that belongs
  // to a control, see TScrollBar::OnScroll, does not).
  virtual bool FocusableKind() const;
  bool Focused() const;
  // Makes this the form's active control: OnExit of the previous one (which
  // may refuse by focusing it again), then OnEnter of this one.
  bool SetFocus();
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void MouseMove(TShiftState shift, int x, int y);
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void DblClick(TMouseButton button, TShiftState shift, int x, int y);
  // Key events as the window system delivers them: the form's handler first
  // when it previews keys, then the control's. They return the key left
  // after the handlers (0 when swallowed).
  uint16_t KeyDown(uint16_t key, TShiftState shift = 0);
  char KeyPress(char key);
  uint16_t KeyUp(uint16_t key, TShiftState shift = 0);
  // A complete key stroke: focus, key down, key press for a character,
  // key up, and the form's own reaction when no handler swallowed it (Enter
  // clicks the default button, Escape the cancel button, Tab moves on).
  void PressKey(uint16_t key, TShiftState shift = 0);
  // Typing into an edit, spin edit, memo or editable combo box: focus, then
  // every character as a key press; accepted characters replace the old text
  // (one OnChange per character).
  bool Type(const std::string& text);

  // --- backend ---
  TControlPeer* Peer() const { return peer_.get(); }
  void SetPeer(std::unique_ptr<TControlPeer> peer);
  // The widget's click (the focus already went where the window system put it).
  void ClickFromBackend();
  // Sends a change to the widget and, where it may move things, re-lays out.
  void Changed(TChange what);
  // Layout result (set by the form's layout).
  void SetLayoutBounds(const TRect& r);

 protected:
  TControl(TControlKind kind, const std::string& name);
  // The control's own reaction to a user's click, before OnClick.
  virtual void ClickReaction() {}
  // Its own reaction to a mouse button going down, before OnMouseDown.
  virtual void MouseDownReaction(TMouseButton button, int x, int y) {}
  // Size of the contents when no explicit size is given.
  virtual TPoint ContentSize() const;
  // Arranges the children inside (0, 0, width, height).
  virtual void ArrangeChildren();
  // Area of the client left for the children (inside frames, captions, tabs).
  virtual TRect ChildArea() const;
  // Margin around the flowed children (aligned ones reach the area's edge).
  virtual int FlowPad() const { return 0; }
  // Flow size of the children, without padding.
  TPoint ChildrenExtent() const;
  int ExplicitWidth() const { return explicitWidth_; }
  static void ArrangeChildrenOf(TControl& c) { c.ArrangeChildren(); }
  static const TRect& LaidOutBounds(const TControl& c) { return c.bounds_; }
  // The bounds from the last layout (reading them never lays out).
  TRect bounds_;
  // The text content a key press edits (edit kinds only).
  virtual bool TypeCharacter(char c, bool first);
  void FireChange();
  void Adopt(std::unique_ptr<TControl> child);
  virtual void ChildAdded(TControl& child) {}

  friend class TForm;

 private:
  TControlKind kind_;
  std::string name_;
  TControl* parent_ = nullptr;
  std::vector<std::unique_ptr<TControl>> children_;
  std::string caption_;
  std::string hint_;
  bool enabled_ = true;
  bool visible_ = true;
  TColor color_ = clDefault;
  TColor fontColor_ = clDefault;
  bool fontBold_ = false;
  bool fixedPlace_ = false;
  int explicitWidth_ = -1;
  int explicitHeight_ = -1;
  TAlign align_ = alNone;
  TFlow flow_ = TFlow::Vertical;
  std::unique_ptr<TControlPeer> peer_;
  // The size asked for, as the form's layout pass sizeStamp_ found it.
  mutable TPoint preferred_{0, 0};
  mutable uint64_t preferredStamp_ = 0;
};

// --- containers ---

class TPanel : public TControl {
 public:
  explicit TPanel(const std::string& name, const std::string& caption = "");
  TBevelCut Bevel() const { return bevel_; }
  void SetBevel(TBevelCut bevel);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);

 protected:
  TPoint ContentSize() const override;
  TRect ChildArea() const override;

 private:
  TBevelCut bevel_ = bvRaised;
  TAlignment alignment_ = taCenter;
};

class TGroupBox : public TControl {
 public:
  explicit TGroupBox(const std::string& name, const std::string& caption = "");

 protected:
  TPoint ContentSize() const override;
  TRect ChildArea() const override;
};

// One page of a TTabbedPages.
class TTabPage : public TControl {
 public:
  explicit TTabPage(const std::string& name, const std::string& caption = "");

 protected:
  int FlowPad() const override;
};

// Pages of which one shows at a time, chosen by tabs (or, without tabs, by
// the program only).
class TTabbedPages : public TControl {
 public:
  explicit TTabbedPages(const std::string& name);
  TTabPage& AddPage(const std::string& name, const std::string& caption);
  int PageCount() const { return int(Children().size()); }
  TTabPage& Page(int index) const;
  int ActivePage() const { return activePage_; }
  void SetActivePage(int index);  // OnChange
  bool ShowTabs() const { return showTabs_; }
  void SetShowTabs(bool show);
  static constexpr int TabHeight = 24;

 protected:
  TPoint ContentSize() const override;
  TRect ChildArea() const override;
  void ArrangeChildren() override;
  void ChildAdded(TControl& child) override;

 private:
  int activePage_ = -1;
  bool showTabs_ = true;
};

// A container whose children lie on an area that may be larger than the box:
// the box shows the area from ScrollTop down and scrolls the rest into view.
// Children are placed in the area's coordinates.
class TScrollBox : public TControl {
 public:
  explicit TScrollBox(const std::string& name);
  // The size of the area that the children need.
  TPoint Extent() const;
  int ScrollTop() const;
  int MaxScrollTop() const;  // 0 when the area fits in the box
  void SetScrollTop(int top);  // kept within 0..MaxScrollTop
  static constexpr int BarWidth = 17;

 protected:
  // As wide as the area and its scroll bar, as high as the area; the form
  // or the alignment usually makes it lower.
  TPoint ContentSize() const override;
  TRect ChildArea() const override;
  void ArrangeChildren() override;

 private:
  int scrollTop_ = 0;
};

// --- simple controls ---

class TLabel : public TControl {
 public:
  explicit TLabel(const std::string& name, const std::string& caption = "");
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool wrap);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);

 protected:
  TPoint ContentSize() const override;

 private:
  bool wordWrap_ = false;
  TAlignment alignment_ = taLeftJustify;
};

class TButton : public TControl {
 public:
  explicit TButton(const std::string& name, const std::string& caption = "",
                   TModalResult modalResult = mrNone);
  TModalResult ModalResult() const { return modalResult_; }
  TButton& SetModalResult(TModalResult r);
  // Enter in the form clicks the default button, Escape the cancel button.
  bool Default() const { return default_; }
  TButton& SetDefault(bool d);
  bool Cancel() const { return cancel_; }
  TButton& SetCancel(bool c);

 protected:
  void ClickReaction() override;
  TPoint ContentSize() const override;

 private:
  TModalResult modalResult_;
  bool default_ = false;
  bool cancel_ = false;
};

class TCheckBox : public TControl {
 public:
  explicit TCheckBox(const std::string& name, const std::string& caption = "");
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);  // OnChange

 protected:
  void ClickReaction() override;
  TPoint ContentSize() const override;

 private:
  bool checked_ = false;
};

// Checking a radio button clears the radio buttons beside it (same parent).
class TRadioButton : public TControl {
 public:
  explicit TRadioButton(const std::string& name, const std::string& caption = "");
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);  // OnChange (also for the sibling cleared)

 protected:
  void ClickReaction() override;
  TPoint ContentSize() const override;

 private:
  bool checked_ = false;
};

// Base of the controls holding a list of texts with one chosen item.
class TItemsControl : public TControl {
 public:
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(const std::vector<std::string>& items);
  void AddItem(const std::string& item);
  void ClearItems();
  int ItemIndex() const { return itemIndex_; }
  // An index outside the list chooses nothing (-1). OnChange.
  virtual void SetItemIndex(int index);
  // What a user's click on item index does: focus, choose, OnClick.
  bool ClickItem(int index);

 protected:
  TItemsControl(TControlKind kind, const std::string& name);
  virtual void ItemsChanged() {}

 private:
  std::vector<std::string> items_;
  int itemIndex_ = -1;
};

class TRadioGroup : public TItemsControl {
 public:
  explicit TRadioGroup(const std::string& name, const std::string& caption = "");
  int Columns() const { return columns_; }
  void SetColumns(int columns);

 protected:
  TPoint ContentSize() const override;

 private:
  int columns_ = 1;
};

class TListBox : public TItemsControl {
 public:
  explicit TListBox(const std::string& name);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool multi);
  bool Selected(int index) const;
  void SetSelected(int index, bool selected);  // OnChange
  int SelCount() const;
  void SetItemIndex(int index) override;  // also the single selection

 protected:
  TPoint ContentSize() const override;
  void ItemsChanged() override;

 private:
  bool multiSelect_ = false;
  std::vector<bool> selected_;
};

class TComboBox : public TItemsControl {
 public:
  explicit TComboBox(const std::string& name);
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle style);
  // The edit text; for a drop-down list the chosen item's text.
  const std::string& Text() const { return text_; }
  // In a drop-down list only an item's text can be set (case-insensitive;
  // it chooses that item); other texts are ignored. OnChange.
  void SetText(const std::string& text);
  void SetItemIndex(int index) override;

 protected:
  TPoint ContentSize() const override;
  bool TypeCharacter(char c, bool first) override;
  void ItemsChanged() override;

 private:
  TComboBoxStyle style_ = csDropDown;
  std::string text_;
};

class TEdit : public TControl {
 public:
  explicit TEdit(const std::string& name, const std::string& text = "");
  const std::string& Text() const { return Caption(); }
  void SetText(const std::string& text);  // cut to MaxLength; OnChange
  void SetCaption(const std::string& text) override { SetText(text); }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  int MaxLength() const { return maxLength_; }  // 0: no limit
  void SetMaxLength(int maxLength);

 protected:
  TPoint ContentSize() const override;
  bool TypeCharacter(char c, bool first) override;

 private:
  bool readOnly_ = false;
  int maxLength_ = 0;
};

// An integer edit with up and down arrows. The text may hold anything a
// user typed; Value reads it (the minimum when it is not a number) and
// keeps it within MinValue..MaxValue when they differ.
class TSpinEdit : public TControl {
 public:
  explicit TSpinEdit(const std::string& name);
  const std::string& Text() const { return Caption(); }
  void SetText(const std::string& text);  // OnChange
  void SetCaption(const std::string& text) override { SetText(text); }
  int Value() const;
  void SetValue(int value);  // kept within the range; OnChange
  int MinValue() const { return minValue_; }
  int MaxValue() const { return maxValue_; }
  void SetRange(int minValue, int maxValue);
  int Increment() const { return increment_; }
  void SetIncrement(int increment);
  void StepUp() { SetValue(Value() + increment_); }  // the arrows
  void StepDown() { SetValue(Value() - increment_); }

 protected:
  TPoint ContentSize() const override;
  bool TypeCharacter(char c, bool first) override;

 private:
  int Clamp(int v) const;
  int minValue_ = 0;
  int maxValue_ = 100;
  int increment_ = 1;
};

class TMemo : public TControl {
 public:
  explicit TMemo(const std::string& name);
  const std::vector<std::string>& Lines() const { return lines_; }
  void SetLines(const std::vector<std::string>& lines);  // OnChange
  void AddLine(const std::string& line);
  void AddLine(std::string&& line);
  void ClearLines();
  // The lines joined by CR LF; SetText splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(const std::string& text);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool wrap);
  bool ScrollBars() const { return scrollBars_; }
  void SetScrollBars(bool both);
  // The lines show in a fixed-pitch font: a report's columns stand under
  // their heads whatever the digits and blanks in them.
  bool FixedPitch() const { return fixedPitch_; }
  void SetFixedPitch(bool fixed);
  // The caret and the selection behind it, as character positions in the
  // lines joined by one line break each; a length of 0 is a bare caret.
  // SetSelection clamps both to the text and shows them; a change of the
  // lines keeps them inside the new text.
  int SelStart() const { return selStart_; }
  int SelLength() const { return selLength_; }
  void SetSelection(int start, int length = 0);
  // The position where a line (from 0) starts; past the last line, the end
  // of the text.
  int LineStart(int line) const;
  // The line (from 0) that holds the caret.
  int CaretLine() const;
  // The backend reports where the user put the caret (nothing is echoed).
  void NoteSelection(int start, int length);

 protected:
  TPoint ContentSize() const override;
  bool TypeCharacter(char c, bool first) override;

 private:
  int TextLength() const;
  void ClampSelection();

  std::vector<std::string> lines_;
  bool readOnly_ = false;
  bool wordWrap_ = true;
  bool scrollBars_ = false;
  bool fixedPitch_ = false;
  int selStart_ = 0;
  int selLength_ = 0;
};

class TStringGrid : public TControl {
 public:
  explicit TStringGrid(const std::string& name);
  int ColCount() const { return colCount_; }
  int RowCount() const { return rowCount_; }
  void SetSize(int cols, int rows);  // keeps the cells that remain
  int FixedCols() const { return fixedCols_; }
  int FixedRows() const { return fixedRows_; }
  void SetFixed(int cols, int rows);
  // Cells outside the grid read as "" and ignore writes.
  const std::string& Cell(int col, int row) const;
  void SetCell(int col, int row, const std::string& text);  // OnChange
  bool Editing() const { return editing_; }  // users may edit non-fixed cells
  void SetEditing(bool editing);
  int Col() const { return col_; }  // the current cell
  int Row() const { return row_; }
  void SetCurrentCell(int col, int row);
  int DefaultColWidth() const { return colWidth_; }
  int DefaultRowHeight() const { return rowHeight_; }
  void SetDefaultCellSize(int colWidth, int rowHeight);

 protected:
  TPoint ContentSize() const override;

 private:
  int colCount_ = 5, rowCount_ = 5, fixedCols_ = 1, fixedRows_ = 1;
  int col_ = 1, row_ = 1;
  int colWidth_ = 64, rowHeight_ = 24;
  bool editing_ = false;
  std::vector<std::string> cells_;  // row by row
};

// A drawing surface. It keeps a back buffer of its own size: OnPaint and any
// other code draw on Canvas() (the buffer's canvas), and the backend shows the
// buffer. So drawing outside paint events shows too.
class TPaintBox : public TControl {
 public:
  explicit TPaintBox(const std::string& name);
  ~TPaintBox() override;
  // The back buffer's canvas, sized to the control. Taking it tells the
  // backend to show the buffer again soon, so take it for every drawing run.
  TCanvas& Canvas();
  // The back buffer (created on first use).
  TBitmap& Buffer();
  const TBitmap* BufferIfAny() const { return buffer_.get(); }
  // Runs OnPaint on the buffer now and shows it.
  void Repaint();
  // Runs OnPaint on the buffer (for a backend about to show it).
  void PaintBuffer();
  // Asks for a repaint: the Qt backend repaints with the window system, the
  // headless one at once while the form shows.
  void Invalidate();
  TNotifyEvent OnPaint;
  // A paint box that takes the keyboard focus and its keys (a text view).
  void SetWantsKeys(bool wants) { wantsKeys_ = wants; }
  bool WantsFocus() const override { return wantsKeys_; }

 protected:
  TPoint ContentSize() const override { return TPoint{105, 105}; }

 private:
  std::unique_ptr<TBitmap> buffer_;
  bool wantsKeys_ = false;
};

// What the user did to a scroll bar: an arrow (line), the trough (page),
// the thumb dragged (track, position given) or let go (position).
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };

class TScrollBar : public TControl {
 public:
  explicit TScrollBar(const std::string& name, TScrollBarKind kind = sbHorizontal);
  TScrollBarKind ScrollKind() const { return scrollKind_; }
  void SetScrollKind(TScrollBarKind kind);
  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetRange(int min, int max);  // the position is kept inside
  int Position() const { return position_; }
  void SetPosition(int position);  // kept inside Min..Max; OnChange
  int PageSize() const { return pageSize_; }
  void SetPageSize(int page);
  int SmallChange() const { return smallChange_; }
  int LargeChange() const { return largeChange_; }
  void SetChanges(int smallChange, int largeChange);
  // With OnScroll assigned the bar does not move itself: its owner hears
  // what the user did and sets the position (line and page codes carry the
  // position the bar would have taken, the thumb codes the thumb's).
  // Such a bar never takes the keyboard focus: it belongs to its owner.
  std::function<void(TScrollBar& sender, TScrollCode code, int position)> OnScroll;
  bool FocusableKind() const override { return !OnScroll; }
  // A user's action on the bar (a test's or the widget's).
  void Scroll(TScrollCode code, int position);

 protected:
  TPoint ContentSize() const override;

 private:
  TScrollBarKind scrollKind_;
  int min_ = 0, max_ = 100, position_ = 0, pageSize_ = 0, smallChange_ = 1, largeChange_ = 1;
};

// A flat tool button. Buttons of one container with the same GroupIndex
// above 0 act as a group: one is down; a click on the down one lifts it only
// when AllowAllUp.
class TSpeedButton : public TControl {
 public:
  explicit TSpeedButton(const std::string& name, const std::string& caption = "");
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int group);
  bool Down() const { return down_; }
  void SetDown(bool down);  // lifts the others of its group; OnChange
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool allow);
  // A picture the program drew, shown on the button above its caption (or
  // alone when the caption is empty); null for none.
  const TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(std::unique_ptr<TBitmap> glyph);

 protected:
  void ClickReaction() override;
  TPoint ContentSize() const override;

 private:
  int groupIndex_ = 0;
  bool down_ = false;
  bool allowAllUp_ = false;
  std::unique_ptr<TBitmap> glyph_;
};

class TGauge : public TControl {
 public:
  explicit TGauge(const std::string& name);
  int MinValue() const { return minValue_; }
  int MaxValue() const { return maxValue_; }
  void SetRange(int minValue, int maxValue);
  int Progress() const { return progress_; }
  void SetProgress(int progress);  // kept inside the range
  int Percent() const;

 protected:
  TPoint ContentSize() const override { return TPoint{100, 20}; }

 private:
  int minValue_ = 0, maxValue_ = 100, progress_ = 0;
};

class TImage : public TControl {
 public:
  explicit TImage(const std::string& name);
  ~TImage() override;
  TBitmap* Picture() const { return picture_.get(); }
  void SetPicture(std::unique_ptr<TBitmap> picture);
  void PictureChanged();  // after drawing on Picture()

 protected:
  TPoint ContentSize() const override;

 private:
  std::unique_ptr<TBitmap> picture_;
};

// The sixteen basic colours in a 4 x 4 grid; a left click picks the
// foreground, a right click the background.
class TColorGrid : public TControl {
 public:
  explicit TColorGrid(const std::string& name);
  static constexpr int ColorCount = 16;
  static TColor GridColor(int index);  // 0..15
  static int IndexOfColor(TColor color);  // -1 when not in the grid
  int ForegroundIndex() const { return fg_; }
  int BackgroundIndex() const { return bg_; }
  TColor ForegroundColor() const { return GridColor(fg_); }
  TColor BackgroundColor() const { return GridColor(bg_); }
  void SetForegroundIndex(int index);  // OnChange
  void SetBackgroundIndex(int index);
  // A user's click on a cell.
  bool ClickColor(int index, TMouseButton button = mbLeft);
  // Cell under a point of the control, or -1.
  int CellAt(int x, int y) const;

 protected:
  void MouseDownReaction(TMouseButton button, int x, int y) override;
  TPoint ContentSize() const override { return TPoint{100, 100}; }

 private:
  int fg_ = 0;
  int bg_ = 15;
};

struct TStatusPanel {
  std::string Text;
  int Width = 100;  // the last panel takes what is left
};

class TStatusBar : public TControl {
 public:
  explicit TStatusBar(const std::string& name);
  const std::vector<TStatusPanel>& Panels() const { return panels_; }
  void AddPanel(const std::string& text, int width);
  void SetPanelText(int index, const std::string& text);
  void ClearPanels();

 protected:
  TPoint ContentSize() const override;

 private:
  std::vector<TStatusPanel> panels_;
};

// A timer placed on a form (takes no room).
class TFormTimer : public TControl {
 public:
  explicit TFormTimer(const std::string& name, uint32_t interval = 1000);
  uint32_t Interval() const { return timer_.Interval(); }
  void SetInterval(uint32_t ms) { timer_.SetInterval(ms); }
  bool TimerEnabled() const { return timer_.Enabled(); }
  void SetTimerEnabled(bool enabled) { timer_.SetEnabled(enabled); }
  TNotifyEvent OnTimer;

 protected:
  TPoint ContentSize() const override { return TPoint{0, 0}; }

 private:
  TTimer timer_;
};

// --- the form ---

class TForm : public TControl {
 public:
  explicit TForm(const std::string& className);
  ~TForm() override;

  // The dialog's class name; the headless backend finds scripts by it.
  const std::string& ClassName() const { return className_; }

  // The client area's size: from the contents unless set here (or by the
  // user resizing the window).
  void SetClientSize(int width, int height);
  // The smallest client area the user may size the window to.
  void SetMinClientSize(int width, int height);
  TPoint MinClientSize() const { return TPoint{minWidth_, minHeight_}; }
  // How much larger the window is than its client area (title bar, frame,
  // menu bar), as the window system last said for this form or, before
  // that, for any form; (0, 0) until one was shown.
  TPoint FrameExtent() const;
  void FrameExtentFromBackend(TPoint extent);
  // The user may resize it (and maximise it). A dialog is not, unless it
  // says so: its window has a fixed size and no resize handle.
  bool Sizeable() const { return sizeable_; }
  void SetSizeable(bool sizeable);
  // The window's frame stands in the middle of the screen: Left and Top
  // are the program's guess, made before the window system has told the
  // size of the frame; the backend centres the window it actually got.
  bool ScreenCentred() const { return screenCentred_; }
  void SetScreenCentred(bool centred) { screenCentred_ = centred; }

  // Shows the form modally and returns its modal result once it closed.
  TModalResult ShowModal();
  void Show();  // modeless
  void Hide();
  // A shown form that is minimised is restored; either way it comes to the
  // front (a second start of the program asks this of the main window).
  void BringToFront();
  // Asks to close (OnCloseQuery may refuse); a modal form ends with its modal
  // result, or mrCancel when none is set. True when it closed.
  bool Close();
  bool Showing() const { return showing_; }
  bool IsModal() const { return modal_; }
  TModalResult ModalResult() const { return modalResult_; }
  // A result other than mrNone closes a modal form (OnCloseQuery may refuse,
  // which puts mrNone back).
  void SetModalResult(TModalResult result);

  TControl* ActiveControl() const { return active_; }
  void SetActiveControl(TControl* control) {
    if (control) control->SetFocus();
  }
  TButton* DefaultButton() const;
  TButton* CancelButton() const;
  // The first control in the form's order (as added, depth first; on the
  // shown page of tabbed pages) that can take the focus and is not a push
  // button: a dialog's first field. A read-only text (an explanation above
  // a list) is passed over for a control that takes input, and is the
  // first field only of a form that has nothing else. Null when there is
  // none.
  TControl* FirstFieldControl();
  // A form shows with the focus where its code put it, else on its first
  // field (else the backend's choice, the default button): typing starts
  // in the first edit box, never on OK. Windows with menus are left alone.
  void FocusFirstField();

  // The main menu shown in the window (not owned); null for none.
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu);

  // When set the form's key handlers see every key before the control's.
  bool KeyPreview = false;

  TCloseQueryEvent OnCloseQuery;
  TFormEvent OnShow, OnClose, OnActivate;

  // Controls by name.
  template <class T = TControl>
  T* Find(const std::string& name) {
    return dynamic_cast<T*>(FindControl(name));
  }
  // As Find, but a missing control or one of another kind throws EFormError.
  template <class T = TControl>
  T& Get(const std::string& name) {
    TControl* c = FindControl(name);
    T* t = dynamic_cast<T*>(c);
    if (!t) ThrowMissing(name, c != nullptr);
    return *t;
  }
  // A user's click on the named control.
  using TControl::Click;
  bool Click(const std::string& name) { return Get<TControl>(name).Click(); }

  // Lays the controls out now (otherwise done when needed).
  void Realign();
  bool LayoutPending() const { return layoutDirty_; }

  // --- backend ---
  void MarkLayoutDirty();
  // The window system resized the client area.
  void ResizedByUser(int width, int height);
  // Where the window is and how big its client area is while it is neither
  // maximised nor minimised (the form's bounds until the window system
  // said): what is kept of a window's place.
  TRect NormalBounds() const;
  void NormalBoundsFromBackend(const TRect& bounds);
  // A window shown maximised (set before Show), and whether the window
  // system has it maximised now.
  bool Maximized() const { return maximized_; }
  void SetMaximized(bool maximized) { maximized_ = maximized; }
  void MaximizedFromBackend(bool maximized) { maximized_ = maximized; }
  // The window system moved the focus to a control (or away: null).
  void FocusFromBackend(TControl* control);
  // The window system's close button: Close(); true when it closed.
  bool CloseFromBackend() { return Close(); }
  bool FocusControl(TControl* control);
  // The modal form's close was accepted and the backend told to end it.
  bool ModalEnded() const { return modalEnded_; }

 protected:
  TPoint ContentSize() const override;
  int FlowPad() const override;

 private:
  void ThrowMissing(const std::string& name, bool wrongKind) const;
  bool CloseQuery();
  void EndModalNow();
  void CheckModalEnd();
  void RepaintAll(TControl& c);
  void Forget(TControl& c);

  friend class TControl;
  friend class TUserAction;

  std::string className_;
  bool sizeable_ = false;
  bool screenCentred_ = false;
  int clientWidth_ = -1, clientHeight_ = -1;
  int minWidth_ = 0, minHeight_ = 0;
  bool frameKnown_ = false;
  TPoint frame_{0, 0};
  bool showing_ = false;
  bool normalKnown_ = false;
  TRect normal_{};
  bool maximized_ = false;
  bool modal_ = false;
  bool closing_ = false;
  bool modalEnded_ = false;
  int actionDepth_ = 0;
  bool inFocusChange_ = false;
  std::vector<TControl*> resized_;
  bool layoutDirty_ = true;
  int arranging_ = 0;
  // While a layout pass measures and places the controls nothing else
  // changes: each control's preferred size is worked out once a pass, not
  // once for every container above it. Any change that may move things
  // starts a new stamp.
  bool sizing_ = false;
  uint64_t sizeStamp_ = 0;
  TModalResult modalResult_ = mrNone;
  TControl* active_ = nullptr;
  TMainMenu* menu_ = nullptr;
};

// --- the backend ---

class TFormsBackend {
 public:
  virtual ~TFormsBackend() = default;
  // Shows the form modally and returns when it closed (EndModal ran).
  virtual void RunModal(TForm& form) = 0;
  // The form's modal result was accepted: leave RunModal.
  virtual void EndModal(TForm& form) = 0;
  virtual void ShowForm(TForm& form) = 0;  // modeless
  virtual void HideForm(TForm& form) = 0;
  virtual void BringFormToFront(TForm& form) = 0;
  // Size of a text in the controls' font.
  virtual TPoint TextExtent(const std::string& text) = 0;
  // Size of a text in the font of a fixed-pitch memo.
  virtual TPoint FixedPitchTextExtent(const std::string& text) { return TextExtent(text); }
  // Whether a form is laid out before it shows (a window system places its
  // widgets from the layout). Without one, a form whose layout nothing
  // watches is laid out once something reads where its controls are.
  virtual bool LaysOutShownForms() const { return true; }
  // Shows the pointer's shape (crDefault, crHourGlass) over every window.
  virtual void SetCursor(int32_t) {}
};

// The installed backend; the headless one until another is installed.
TFormsBackend& FormsBackend();
// Installs a backend (not owned); null reinstalls the headless one.
void SetFormsBackend(TFormsBackend* backend);

// The pointer's shape over every window of the program: one setting, not a
// count, so the arrow comes back at the first crDefault.
void SetScreenCursor(int32_t cursor);
int32_t ScreenCursor();

// The application's hint: what the pointer rests on (a menu item, a control)
// sets it, and OnApplicationHint (when set) hears every change.
const std::string& ApplicationHint();
void SetApplicationHint(const std::string& hint);
// The same for the hint of what the pointer rests on (a menu item, a
// control); ApplicationHintPointed tells it from a text a command set.
void SetPointedHint(const std::string& hint);
bool ApplicationHintPointed();
extern std::function<void()> OnApplicationHint;

// Case-insensitive comparison of control and item names.
bool SameName(const std::string& a, const std::string& b);
