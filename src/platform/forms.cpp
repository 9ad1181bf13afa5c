// The form model: controls, their user actions, layout, and the form's
// show/close cycle. See forms.h.
#include "platform/forms.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "platform/headless/headless_forms.h"
#include "platform/menus.h"

namespace {

TFormsBackend* installedBackend = nullptr;
std::string applicationHint;

constexpr int Spacing = 6;    // between flowed controls
constexpr int FormPad = 8;    // inside a form's client area
constexpr int PanelPad = 4;   // inside a bevelled panel
constexpr int GroupPad = 8;   // inside a group box
constexpr int GroupTop = 18;  // room for a group box's caption

// The caption as shown: "&" marks the accelerator, "&&" is one "&".
std::string ShownText(const std::string& caption) {
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    out += caption[i];
  }
  return out;
}

// Extent of a (possibly multi-line) caption.
TPoint TextSize(const std::string& caption) {
  std::string text = ShownText(caption);
  TPoint size{0, 0};
  size_t start = 0;
  while (true) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    TPoint e = FormsBackend().TextExtent(line.empty() ? " " : line);
    size.X = std::max(size.X, line.empty() ? 0 : e.X);
    size.Y += e.Y;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return size;
}

int LineHeight() { return FormsBackend().TextExtent("Xg").Y; }

bool IsFocusableKind(TControlKind k) {
  switch (k) {
    case TControlKind::Button:
    case TControlKind::CheckBox:
    case TControlKind::RadioButton:
    case TControlKind::RadioGroup:
    case TControlKind::Edit:
    case TControlKind::SpinEdit:
    case TControlKind::Memo:
    case TControlKind::ListBox:
    case TControlKind::ComboBox:
    case TControlKind::StringGrid:
    case TControlKind::ScrollBar:
    case TControlKind::TabbedPages:
    case TControlKind::ColorGrid:
      return true;
    default:
      return false;
  }
}

void CollectFocusable(TControl& c, std::vector<TControl*>& out) {
  if (!c.Visible()) return;
  if (c.Kind() != TControlKind::Form && c.CanFocus()) out.push_back(&c);
  if (c.Kind() == TControlKind::TabbedPages) {
    auto& pages = static_cast<TTabbedPages&>(c);
    if (pages.ActivePage() >= 0) CollectFocusable(pages.Page(pages.ActivePage()), out);
    return;
  }
  for (auto& ch : c.Children()) CollectFocusable(*ch, out);
}

}  // namespace

// Keeps a form's modal close check until the outermost user action is over,
// so that a click handler may still take back a button's modal result.
class TUserAction {
 public:
  explicit TUserAction(TForm* form) : form_(form) {
    if (form_) ++form_->actionDepth_;
  }
  ~TUserAction() {
    if (form_ && --form_->actionDepth_ == 0) form_->CheckModalEnd();
  }
  TUserAction(const TUserAction&) = delete;
  TUserAction& operator=(const TUserAction&) = delete;

 private:
  TForm* form_;
};

TFormsBackend& FormsBackend() {
  return installedBackend ? *installedBackend : HeadlessFormsBackend();
}

void SetFormsBackend(TFormsBackend* backend) { installedBackend = backend; }

namespace {
int32_t screenCursor = crDefault;
}  // namespace

void SetScreenCursor(int32_t cursor) {
  screenCursor = cursor;
  FormsBackend().SetCursor(cursor);
}

int32_t ScreenCursor() { return screenCursor; }

std::function<void()> OnApplicationHint;

const std::string& ApplicationHint() { return applicationHint; }

namespace {
bool hintPointed = false;
}  // namespace

void SetApplicationHint(const std::string& hint) {
  if (hint == applicationHint && !hintPointed) return;
  applicationHint = hint;
  hintPointed = false;
  if (OnApplicationHint) OnApplicationHint();
}

void SetPointedHint(const std::string& hint) {
  if (hint == applicationHint && hintPointed) return;
  applicationHint = hint;
  hintPointed = true;
  if (OnApplicationHint) OnApplicationHint();
}

bool ApplicationHintPointed() { return hintPointed; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// ---------------------------------------------------------------- TControl

TControl::TControl(TControlKind kind, const std::string& name) : kind_(kind), name_(name) {}

TControl::~TControl() {
  children_.clear();
  if (kind_ != TControlKind::Form) {
    if (TForm* f = Form()) f->Forget(*this);
  }
  peer_.reset();
}

TForm* TControl::Form() const {
  const TControl* c = this;
  while (c && c->kind_ != TControlKind::Form) c = c->parent_;
  return const_cast<TForm*>(static_cast<const TForm*>(c));
}

bool TControl::IsContainer() const {
  switch (kind_) {
    case TControlKind::Form:
    case TControlKind::Panel:
    case TControlKind::GroupBox:
    case TControlKind::TabPage:
    case TControlKind::TabbedPages:
    case TControlKind::ScrollBox:
      return true;
    default:
      return false;
  }
}

void TControl::Adopt(std::unique_ptr<TControl> child) {
  if (!IsContainer())
    throw EFormError("Control " + name_ + " cannot hold other controls (adding " + child->name_ + ")");
  bool isPage = child->kind_ == TControlKind::TabPage;
  if (isPage != (kind_ == TControlKind::TabbedPages))
    throw EFormError("Tab pages go only into tabbed pages (adding " + child->name_ + " to " + name_ + ")");
  if (child->kind_ == TControlKind::Form) throw EFormError("A form cannot be a child control");
  if (TForm* f = Form(); f && !child->name_.empty() && f->FindControl(child->name_))
    throw EFormError("Form " + f->ClassName() + " already has a control named " + child->name_);
  child->parent_ = this;
  TControl& ref = *child;
  children_.push_back(std::move(child));
  ChildAdded(ref);
  Changed(TChange::Created);
}

void TControl::Remove(TControl& child) {
  auto it = std::find_if(children_.begin(), children_.end(),
                         [&](const std::unique_ptr<TControl>& c) { return c.get() == &child; });
  if (it == children_.end()) return;
  std::unique_ptr<TControl> doomed = std::move(*it);
  children_.erase(it);
  doomed.reset();
  if (TForm* f = Form()) f->MarkLayoutDirty();
}

TControl* TControl::FindControl(const std::string& name) {
  if (SameName(name_, name)) return this;
  for (auto& c : children_)
    if (TControl* found = c->FindControl(name)) return found;
  return nullptr;
}

void TControl::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  Changed(TChange::Caption);
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Changed(TChange::State);
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Changed(TChange::State);
  if (TForm* f = Form(); f && f != this) f->MarkLayoutDirty();
}

bool TControl::IsUsable() const {
  for (const TControl* c = this; c; c = c->parent_) {
    if (!c->enabled_) return false;
    if (!c->visible_ && c->kind_ != TControlKind::Form) return false;
    if (c->kind_ == TControlKind::TabPage && c->parent_) {
      auto* pages = static_cast<const TTabbedPages*>(c->parent_);
      if (pages->ActivePage() < 0 || &pages->Page(pages->ActivePage()) != c) return false;
    }
  }
  return true;
}

void TControl::SetHint(const std::string& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  Changed(TChange::State);
}

void TControl::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed(TChange::State);
}

void TControl::SetFontColor(TColor color) {
  if (color == fontColor_) return;
  fontColor_ = color;
  Changed(TChange::State);
}

void TControl::SetFontBold(bool bold) {
  if (bold == fontBold_) return;
  fontBold_ = bold;
  Changed(TChange::Caption);
}

TRect TControl::Bounds() const {
  TForm* f = Form();
  if (f && f->layoutDirty_ && f->arranging_ == 0) f->Realign();
  return bounds_;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  fixedPlace_ = true;
  explicitWidth_ = std::max(0, width);
  explicitHeight_ = std::max(0, height);
  const TRect r{left, top, left + explicitWidth_, top + explicitHeight_};
  const bool changed = r.Left != bounds_.Left || r.Top != bounds_.Top || r.Right != bounds_.Right ||
                       r.Bottom != bounds_.Bottom;
  bounds_ = r;
  // A fixed control is passed over by the layout, so a widget that exists
  // already must hear of the new place here.
  if (changed && peer_) peer_->Changed(TChange::Bounds);
  if (TForm* f = Form()) f->MarkLayoutDirty();
}

void TControl::SetLeft(int left) {
  TRect b = Bounds();
  SetBounds(left, b.Top, b.Width(), b.Height());
}

void TControl::SetTop(int top) {
  TRect b = Bounds();
  SetBounds(b.Left, top, b.Width(), b.Height());
}

void TControl::SetWidth(int width) {
  explicitWidth_ = std::max(0, width);
  if (TForm* f = Form()) f->MarkLayoutDirty();
}

void TControl::SetHeight(int height) {
  explicitHeight_ = std::max(0, height);
  if (TForm* f = Form()) f->MarkLayoutDirty();
}

void TControl::SetAlign(TAlign align) {
  align_ = align;
  if (TForm* f = Form()) f->MarkLayoutDirty();
}

void TControl::SetFlow(TFlow flow) {
  flow_ = flow;
  if (TForm* f = Form()) f->MarkLayoutDirty();
}

TPoint TControl::PreferredSize() const {
  if (explicitWidth_ >= 0 && explicitHeight_ >= 0) return TPoint{explicitWidth_, explicitHeight_};
  const TForm* f = Form();
  const bool pass = f != nullptr && f->sizing_;
  if (pass && preferredStamp_ == f->sizeStamp_) return preferred_;
  TPoint content = ContentSize();
  const TPoint size{explicitWidth_ >= 0 ? explicitWidth_ : content.X,
                    explicitHeight_ >= 0 ? explicitHeight_ : content.Y};
  if (pass) {
    preferred_ = size;
    preferredStamp_ = f->sizeStamp_;
  }
  return size;
}

TRect TControl::ChildArea() const { return TRect{0, 0, bounds_.Width(), bounds_.Height()}; }

TPoint TControl::ChildrenExtent() const {
  int flowW = 0, flowH = 0, flowCount = 0;
  int tbW = 0, tbH = 0, lrW = 0, lrH = 0, clientW = 0, clientH = 0;
  for (auto& c : children_) {
    if (!c->visible_ || c->kind_ == TControlKind::Timer) continue;
    TPoint s = c->PreferredSize();
    switch (c->align_) {
      case alTop:
      case alBottom:
        tbH += s.Y;
        tbW = std::max(tbW, s.X);
        break;
      case alLeft:
      case alRight:
        lrW += s.X;
        lrH = std::max(lrH, s.Y);
        break;
      case alClient:
        clientW = std::max(clientW, s.X);
        clientH = std::max(clientH, s.Y);
        break;
      case alNone:
        if (c->fixedPlace_) break;
        if (flow_ == TFlow::Vertical) {
          flowW = std::max(flowW, s.X);
          flowH += s.Y + (flowCount ? Spacing : 0);
        } else {
          flowH = std::max(flowH, s.Y);
          flowW += s.X + (flowCount ? Spacing : 0);
        }
        ++flowCount;
        break;
    }
  }
  if (flowCount) {
    flowW += 2 * FlowPad();
    flowH += 2 * FlowPad();
  }
  int innerW = lrW + std::max(flowW, clientW);
  int innerH = std::max(std::max(flowH, clientH), lrH);
  return TPoint{std::max(innerW, tbW), tbH + innerH};
}

TPoint TControl::ContentSize() const {
  if (!IsContainer()) return TPoint{75, 25};
  TRect area = ChildArea();
  int right = bounds_.Width() - area.Right;
  int bottom = bounds_.Height() - area.Bottom;
  TPoint e = ChildrenExtent();
  int w = area.Left + e.X + right;
  int h = area.Top + e.Y + bottom;
  for (auto& c : children_) {
    if (!c->visible_ || !c->fixedPlace_ || c->align_ != alNone) continue;
    TPoint s = c->PreferredSize();
    w = std::max(w, c->bounds_.Left + s.X + right);
    h = std::max(h, c->bounds_.Top + s.Y + bottom);
  }
  return TPoint{w, h};
}

void TControl::ArrangeChildren() {
  TRect area = ChildArea();
  bool clients = false;
  for (auto& cp : children_) {
    TControl& c = *cp;
    if (!c.visible_ || c.kind_ == TControlKind::Timer) continue;
    if (c.align_ == alNone) continue;
    TPoint s = c.PreferredSize();
    switch (c.align_) {
      case alTop:
        c.SetLayoutBounds(TRect{area.Left, area.Top, area.Right, area.Top + s.Y});
        area.Top += s.Y;
        break;
      case alBottom:
        c.SetLayoutBounds(TRect{area.Left, area.Bottom - s.Y, area.Right, area.Bottom});
        area.Bottom -= s.Y;
        break;
      case alLeft:
        c.SetLayoutBounds(TRect{area.Left, area.Top, area.Left + s.X, area.Bottom});
        area.Left += s.X;
        break;
      case alRight:
        c.SetLayoutBounds(TRect{area.Right - s.X, area.Top, area.Right, area.Bottom});
        area.Right -= s.X;
        break;
      case alClient:
        clients = true;
        break;
      case alNone:
        break;
    }
  }
  if (area.Right < area.Left) area.Right = area.Left;
  if (area.Bottom < area.Top) area.Bottom = area.Top;
  // The client controls share what the edges left, in their order.
  if (clients)
    for (auto& c : children_)
      if (c->visible_ && c->kind_ != TControlKind::Timer && c->align_ == alClient) c->SetLayoutBounds(area);
  int pad = FlowPad();
  area = TRect{area.Left + pad, area.Top + pad, area.Right - pad, area.Bottom - pad};

  // The flow: one column, or one row whose controls are centred on its height.
  int rowHeight = 0;
  if (flow_ == TFlow::Horizontal)
    for (auto& c : children_)
      if (c->visible_ && c->align_ == alNone && !c->fixedPlace_ && c->kind_ != TControlKind::Timer)
        rowHeight = std::max(rowHeight, c->PreferredSize().Y);
  int x = area.Left, y = area.Top;
  for (auto& cp : children_) {
    TControl& c = *cp;
    if (!c.visible_ || c.kind_ == TControlKind::Timer || c.align_ != alNone) continue;
    TPoint s = c.PreferredSize();
    if (c.fixedPlace_) {
      c.SetLayoutBounds(TRect{c.bounds_.Left, c.bounds_.Top, c.bounds_.Left + s.X, c.bounds_.Top + s.Y});
    } else if (flow_ == TFlow::Vertical) {
      c.SetLayoutBounds(TRect{x, y, x + s.X, y + s.Y});
      y += s.Y + Spacing;
    } else {
      int top = y + (rowHeight - s.Y) / 2;
      c.SetLayoutBounds(TRect{x, top, x + s.X, top + s.Y});
      x += s.X + Spacing;
    }
  }
  for (auto& c : children_)
    if (c->visible_) c->ArrangeChildren();
}

void TControl::SetLayoutBounds(const TRect& r) {
  bool resized = r.Width() != bounds_.Width() || r.Height() != bounds_.Height();
  bool moved = r.Left != bounds_.Left || r.Top != bounds_.Top;
  bounds_ = r;
  if (!resized && !moved) return;
  if (resized)
    if (TForm* f = Form()) f->resized_.push_back(this);
  if (peer_) peer_->Changed(TChange::Bounds);
}

void TControl::Changed(TChange what) {
  if (peer_) peer_->Changed(what);
  // The text of an edit or a spin edit takes no room of its own: typing
  // into one moves nothing.
  const bool textOnly =
      what == TChange::Caption && (kind_ == TControlKind::Edit || kind_ == TControlKind::SpinEdit);
  if ((what == TChange::Caption && !textOnly) || what == TChange::Items || what == TChange::Created) {
    if (TForm* f = Form()) f->MarkLayoutDirty();
  }
}

void TControl::SetPeer(std::unique_ptr<TControlPeer> peer) { peer_ = std::move(peer); }

void TControl::FireChange() {
  if (OnChange) OnChange(*this);
}

bool TControl::FocusableKind() const { return IsFocusableKind(kind_); }

bool TControl::CanFocus() const { return (FocusableKind() || WantsFocus()) && IsUsable(); }

bool TControl::Focused() const {
  TForm* f = Form();
  return f && f->ActiveControl() == this;
}

bool TControl::SetFocus() {
  TForm* f = Form();
  if (!f || !CanFocus()) return false;
  return f->FocusControl(this);
}

bool TControl::Click() {
  TUserAction action(Form());
  if (!IsUsable()) return false;
  if (FocusableKind() && !SetFocus()) return false;
  ClickReaction();
  if (OnClick) OnClick(*this);
  return true;
}

void TControl::ClickFromBackend() {
  TUserAction action(Form());
  if (!IsUsable()) return;
  // The window system moved the focus here on the press; when an OnExit
  // handler refused that, the click is void.
  if (FocusableKind() && !Focused() && !SetFocus()) return;
  ClickReaction();
  if (OnClick) OnClick(*this);
}

void TControl::DblClick(TMouseButton button, TShiftState shift, int x, int y) {
  TUserAction action(Form());
  if (!IsUsable()) return;
  if (OnDblClick) OnDblClick(*this, button, shift, x, y);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TUserAction action(Form());
  if (!IsUsable()) return;
  MouseDownReaction(button, x, y);
  if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  TUserAction action(Form());
  if (!IsUsable()) return;
  if (OnMouseMove) OnMouseMove(*this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TUserAction action(Form());
  if (!IsUsable()) return;
  if (OnMouseUp) OnMouseUp(*this, button, shift, x, y);
}

uint16_t TControl::KeyDown(uint16_t key, TShiftState shift) {
  TForm* f = Form();
  TUserAction action(f);
  if (f && f != this && f->KeyPreview && f->OnKeyDown && key) f->OnKeyDown(*f, key, shift);
  if (key && OnKeyDown) OnKeyDown(*this, key, shift);
  return key;
}

char TControl::KeyPress(char key) {
  TForm* f = Form();
  TUserAction action(f);
  if (f && f != this && f->KeyPreview && f->OnKeyPress && key) f->OnKeyPress(*f, key);
  if (key && OnKeyPress) OnKeyPress(*this, key);
  return key;
}

uint16_t TControl::KeyUp(uint16_t key, TShiftState shift) {
  TForm* f = Form();
  TUserAction action(f);
  if (f && f != this && f->KeyPreview && f->OnKeyUp && key) f->OnKeyUp(*f, key, shift);
  if (key && OnKeyUp) OnKeyUp(*this, key, shift);
  return key;
}

void TControl::PressKey(uint16_t key, TShiftState shift) {
  TForm* f = Form();
  TUserAction action(f);
  if (!IsUsable()) return;
  if ((FocusableKind() || WantsFocus()) && !SetFocus()) return;
  uint16_t left = KeyDown(key, shift);
  char ch = 0;
  if (key == VK_RETURN) ch = '\r';
  else if (key == VK_ESCAPE) ch = 27;
  else if (key == VK_BACK) ch = 8;
  else if (key == VK_SPACE) ch = ' ';
  else if (key >= '0' && key <= '9') ch = char(key);
  else if (key >= 'A' && key <= 'Z') ch = (shift & ssShift) ? char(key) : char(key - 'A' + 'a');
  if (left && ch && !(shift & (ssCtrl | ssAlt))) {
    ch = KeyPress(ch);
    if (ch == 0) left = 0;
  }
  KeyUp(key, shift);
  if (!left || !f) return;
  // What the window itself does with a key nobody swallowed.
  if (key == VK_RETURN && kind_ != TControlKind::Memo && kind_ != TControlKind::Button) {
    if (TButton* b = f->DefaultButton()) b->ClickFromBackend();
  } else if (key == VK_ESCAPE) {
    if (TButton* b = f->CancelButton()) b->ClickFromBackend();
  } else if (key == VK_SPACE && (kind_ == TControlKind::Button || kind_ == TControlKind::CheckBox ||
                                 kind_ == TControlKind::RadioButton)) {
    ClickFromBackend();
  } else if (key == VK_TAB) {
    std::vector<TControl*> order;
    CollectFocusable(*f, order);
    if (order.empty()) return;
    auto it = std::find(order.begin(), order.end(), this);
    size_t i = it == order.end() ? 0 : size_t(it - order.begin());
    size_t n = order.size();
    size_t next = (shift & ssShift) ? (i + n - 1) % n : (i + 1) % n;
    order[next]->SetFocus();
  }
}

bool TControl::Type(const std::string& text) {
  TUserAction action(Form());
  if (!IsUsable() || !SetFocus()) return false;
  bool first = true;
  for (char c : text) {
    char k = KeyPress(c);
    if (k == 0) continue;
    if (TypeCharacter(k, first)) first = false;
  }
  return true;
}

bool TControl::TypeCharacter(char, bool) { return false; }

// ---------------------------------------------------------------- containers

TPanel::TPanel(const std::string& name, const std::string& caption) : TControl(TControlKind::Panel, name) {
  TControl::SetCaption(caption);
}

void TPanel::SetBevel(TBevelCut bevel) {
  if (bevel == bevel_) return;
  bevel_ = bevel;
  Changed(TChange::Items);
}

void TPanel::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  Changed(TChange::Caption);
}

TRect TPanel::ChildArea() const {
  int pad = bevel_ == bvNone ? 0 : PanelPad;
  TRect r{pad, pad, bounds_.Width() - pad, bounds_.Height() - pad};
  // A panel's caption comes first in its flow.
  if (!Caption().empty() && !Children().empty()) {
    TPoint t = TextSize(Caption());
    if (Flow() == TFlow::Horizontal) r.Left += t.X + Spacing;
    else r.Top += t.Y + 2;
  }
  return r;
}

TPoint TPanel::ContentSize() const {
  if (Children().empty()) {
    TPoint t = TextSize(Caption());
    return TPoint{std::max(t.X + 16, 41), std::max(t.Y + 8, 41)};
  }
  return TControl::ContentSize();
}

TGroupBox::TGroupBox(const std::string& name, const std::string& caption)
    : TControl(TControlKind::GroupBox, name) {
  TControl::SetCaption(caption);
}

TRect TGroupBox::ChildArea() const {
  return TRect{GroupPad, GroupTop, bounds_.Width() - GroupPad, bounds_.Height() - GroupPad};
}

TPoint TGroupBox::ContentSize() const {
  TPoint s = TControl::ContentSize();
  return TPoint{std::max(s.X, TextSize(Caption()).X + 2 * GroupPad + 8), s.Y};
}

TScrollBox::TScrollBox(const std::string& name) : TControl(TControlKind::ScrollBox, name) {}

TPoint TScrollBox::Extent() const {
  TPoint e = ChildrenExtent();
  for (auto& c : Children()) {
    if (!c->Visible() || !c->HasFixedPlace() || c->Align() != alNone) continue;
    const TPoint s = c->PreferredSize();
    e.X = std::max(e.X, LaidOutBounds(*c).Left + s.X);
    e.Y = std::max(e.Y, LaidOutBounds(*c).Top + s.Y);
  }
  return e;
}

// Both read the box after any pending layout.
int TScrollBox::ScrollTop() const {
  Bounds();
  return scrollTop_;
}

int TScrollBox::MaxScrollTop() const { return std::max(0, Extent().Y - Bounds().Height()); }

void TScrollBox::SetScrollTop(int top) {
  top = std::clamp(top, 0, MaxScrollTop());
  if (top == scrollTop_) return;
  scrollTop_ = top;
  if (Peer()) Peer()->Changed(TChange::Value);
}

TPoint TScrollBox::ContentSize() const {
  const TPoint e = Extent();
  return TPoint{e.X + BarWidth, e.Y};
}

TRect TScrollBox::ChildArea() const {
  const TPoint e = Extent();
  return TRect{0, 0, std::max(bounds_.Width() - BarWidth, e.X), std::max(bounds_.Height(), e.Y)};
}

void TScrollBox::ArrangeChildren() {
  TControl::ArrangeChildren();
  // The area may have shrunk under the scrolled place; the widget resizes
  // its area to the children.
  scrollTop_ = std::clamp(scrollTop_, 0, std::max(0, Extent().Y - bounds_.Height()));
  if (Peer()) Peer()->Changed(TChange::Items);
}

TTabPage::TTabPage(const std::string& name, const std::string& caption) : TControl(TControlKind::TabPage, name) {
  TControl::SetCaption(caption);
}

int TTabPage::FlowPad() const { return FormPad; }

TTabbedPages::TTabbedPages(const std::string& name) : TControl(TControlKind::TabbedPages, name) {}

TTabPage& TTabbedPages::AddPage(const std::string& name, const std::string& caption) {
  return Add<TTabPage>(name, caption);
}

TTabPage& TTabbedPages::Page(int index) const {
  if (index < 0 || index >= PageCount())
    throw EFormError("Page " + std::to_string(index) + " of " + Name() + " does not exist");
  return static_cast<TTabPage&>(*Children()[size_t(index)]);
}

void TTabbedPages::ChildAdded(TControl&) {
  if (activePage_ < 0) activePage_ = 0;
}

void TTabbedPages::SetActivePage(int index) {
  if (index < 0 || index >= PageCount() || index == activePage_) return;
  activePage_ = index;
  Changed(TChange::Value);
  FireChange();
}

void TTabbedPages::SetShowTabs(bool show) {
  if (show == showTabs_) return;
  showTabs_ = show;
  Changed(TChange::Items);
}

TRect TTabbedPages::ChildArea() const {
  return TRect{2, 2 + (showTabs_ ? TabHeight : 0), bounds_.Width() - 2, bounds_.Height() - 2};
}

TPoint TTabbedPages::ContentSize() const {
  TRect area = ChildArea();
  int w = 0, h = 0;
  for (auto& p : Children()) {
    TPoint s = p->PreferredSize();
    w = std::max(w, s.X);
    h = std::max(h, s.Y);
  }
  if (showTabs_) {
    int tabs = 0;
    for (auto& p : Children()) tabs += TextSize(p->Caption()).X + 20;
    w = std::max(w, tabs);
  }
  return TPoint{w + area.Left + (bounds_.Width() - area.Right),
                h + area.Top + (bounds_.Height() - area.Bottom)};
}

void TTabbedPages::ArrangeChildren() {
  TRect area = ChildArea();
  if (area.Right < area.Left) area.Right = area.Left;
  if (area.Bottom < area.Top) area.Bottom = area.Top;
  for (auto& p : Children()) {
    p->SetLayoutBounds(area);
    ArrangeChildrenOf(*p);
  }
}

// ---------------------------------------------------------------- simple controls

TLabel::TLabel(const std::string& name, const std::string& caption) : TControl(TControlKind::Label, name) {
  TControl::SetCaption(caption);
}

void TLabel::SetWordWrap(bool wrap) {
  if (wrap == wordWrap_) return;
  wordWrap_ = wrap;
  Changed(TChange::Caption);
}

void TLabel::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  Changed(TChange::Caption);
}

TPoint TLabel::ContentSize() const {
  TPoint t = TextSize(Caption());
  if (!wordWrap_) return t;
  // A wrapped label keeps the width it was given (else a reasonable one)
  // and grows downwards.
  int width = ExplicitWidth() >= 0 ? ExplicitWidth() : 250;
  std::string text = ShownText(Caption());
  int lines = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    std::string para = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string line;
    int count = 1;
    size_t pos = 0;
    while (pos < para.size()) {
      size_t sp = para.find(' ', pos);
      std::string word = para.substr(pos, sp == std::string::npos ? std::string::npos : sp - pos + 1);
      std::string trial = line + word;
      if (!line.empty() && FormsBackend().TextExtent(trial).X > width) {
        ++count;
        line = word;
      } else {
        line = trial;
      }
      if (sp == std::string::npos) break;
      pos = sp + 1;
    }
    lines += count;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return TPoint{std::min(t.X, width), lines * LineHeight()};
}

TButton::TButton(const std::string& name, const std::string& caption, TModalResult modalResult)
    : TControl(TControlKind::Button, name), modalResult_(modalResult) {
  TControl::SetCaption(caption);
}

TButton& TButton::SetModalResult(TModalResult r) {
  modalResult_ = r;
  return *this;
}

TButton& TButton::SetDefault(bool d) {
  if (d != default_) {
    default_ = d;
    Changed(TChange::State);
  }
  return *this;
}

TButton& TButton::SetCancel(bool c) {
  cancel_ = c;
  return *this;
}

void TButton::ClickReaction() {
  // The result is set before OnClick runs, so the handler can take it back
  // (set the form's result to mrNone) to keep the dialog open.
  if (modalResult_ != mrNone)
    if (TForm* f = Form()) f->SetModalResult(modalResult_);
}

TPoint TButton::ContentSize() const {
  TPoint t = TextSize(Caption());
  return TPoint{std::max(75, t.X + 20), std::max(25, t.Y + 10)};
}

TCheckBox::TCheckBox(const std::string& name, const std::string& caption)
    : TControl(TControlKind::CheckBox, name) {
  TControl::SetCaption(caption);
}

void TCheckBox::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  Changed(TChange::Value);
  FireChange();
}

void TCheckBox::ClickReaction() { SetChecked(!checked_); }

TPoint TCheckBox::ContentSize() const {
  TPoint t = TextSize(Caption());
  return TPoint{t.X + 24, std::max(20, t.Y + 4)};
}

TRadioButton::TRadioButton(const std::string& name, const std::string& caption)
    : TControl(TControlKind::RadioButton, name) {
  TControl::SetCaption(caption);
}

void TRadioButton::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  if (checked && Parent()) {
    for (auto& c : Parent()->Children())
      if (c.get() != this && c->Kind() == TControlKind::RadioButton)
        static_cast<TRadioButton&>(*c).SetChecked(false);
  }
  Changed(TChange::Value);
  FireChange();
}

void TRadioButton::ClickReaction() { SetChecked(true); }

TPoint TRadioButton::ContentSize() const {
  TPoint t = TextSize(Caption());
  return TPoint{t.X + 24, std::max(20, t.Y + 4)};
}

// ---------------------------------------------------------------- item lists

TItemsControl::TItemsControl(TControlKind kind, const std::string& name) : TControl(kind, name) {}

void TItemsControl::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  int old = itemIndex_;
  if (itemIndex_ >= int(items_.size())) itemIndex_ = -1;
  ItemsChanged();
  Changed(TChange::Items);
  if (old != itemIndex_) FireChange();
}

void TItemsControl::AddItem(const std::string& item) {
  items_.push_back(item);
  ItemsChanged();
  Changed(TChange::Items);
}

void TItemsControl::ClearItems() { SetItems({}); }

void TItemsControl::SetItemIndex(int index) {
  if (index < 0 || index >= int(items_.size())) index = -1;
  if (index == itemIndex_) return;
  itemIndex_ = index;
  Changed(TChange::Value);
  FireChange();
}

bool TItemsControl::ClickItem(int index) {
  TUserAction action(Form());
  if (!IsUsable() || index < 0 || index >= int(items_.size())) return false;
  if (!SetFocus()) return false;
  SetItemIndex(index);
  if (OnClick) OnClick(*this);
  return true;
}

TRadioGroup::TRadioGroup(const std::string& name, const std::string& caption)
    : TItemsControl(TControlKind::RadioGroup, name) {
  TControl::SetCaption(caption);
}

void TRadioGroup::SetColumns(int columns) {
  columns = std::max(1, columns);
  if (columns == columns_) return;
  columns_ = columns;
  Changed(TChange::Items);
}

TPoint TRadioGroup::ContentSize() const {
  int n = int(Items().size());
  int rows = (n + columns_ - 1) / columns_;
  int itemW = 0;
  for (auto& s : Items()) itemW = std::max(itemW, TextSize(s).X);
  itemW += 24;
  int rowH = std::max(20, LineHeight() + 4);
  int w = 2 * GroupPad + columns_ * itemW + (columns_ - 1) * Spacing;
  w = std::max(w, TextSize(Caption()).X + 2 * GroupPad + 8);
  return TPoint{w, GroupTop + rows * rowH + GroupPad};
}

TListBox::TListBox(const std::string& name) : TItemsControl(TControlKind::ListBox, name) {}

void TListBox::SetMultiSelect(bool multi) {
  if (multi == multiSelect_) return;
  multiSelect_ = multi;
  selected_.assign(Items().size(), false);
  if (ItemIndex() >= 0) selected_[size_t(ItemIndex())] = true;
  Changed(TChange::Items);
}

void TListBox::ItemsChanged() { selected_.resize(Items().size(), false); }

bool TListBox::Selected(int index) const {
  if (index < 0 || index >= int(selected_.size())) return false;
  return multiSelect_ ? bool(selected_[size_t(index)]) : index == ItemIndex();
}

void TListBox::SetSelected(int index, bool selected) {
  if (index < 0 || index >= int(selected_.size())) return;
  if (!multiSelect_) {
    if (selected) SetItemIndex(index);
    else if (index == ItemIndex()) SetItemIndex(-1);
    return;
  }
  if (selected_[size_t(index)] == selected) return;
  selected_[size_t(index)] = selected;
  Changed(TChange::Value);
  FireChange();
}

int TListBox::SelCount() const {
  if (!multiSelect_) return ItemIndex() >= 0 ? 1 : 0;
  return int(std::count(selected_.begin(), selected_.end(), true));
}

void TListBox::SetItemIndex(int index) {
  if (!multiSelect_ && index >= 0 && index < int(selected_.size())) {
    std::fill(selected_.begin(), selected_.end(), false);
    selected_[size_t(index)] = true;
  }
  TItemsControl::SetItemIndex(index);
}

TPoint TListBox::ContentSize() const {
  constexpr int Height = 97, Frame = 4;
  int text = 0, lineHeight = 0;
  for (auto& s : Items()) {
    const TPoint t = TextSize(s);
    text = std::max(text, t.X);
    lineHeight = std::max(lineHeight, t.Y);
  }
  // The items' padding and frame, and the scroll bar when they do not all
  // show: the longest item is never cut.
  int w = text + 16;
  if (lineHeight > 0 && int(Items().size()) * lineHeight > Height - Frame) w += TScrollBox::BarWidth;
  return TPoint{std::clamp(w, 121, 400), Height};
}

TComboBox::TComboBox(const std::string& name) : TItemsControl(TControlKind::ComboBox, name) {}

void TComboBox::SetStyle(TComboBoxStyle style) {
  if (style == style_) return;
  style_ = style;
  if (style_ == csDropDownList) text_ = ItemIndex() >= 0 ? Items()[size_t(ItemIndex())] : "";
  Changed(TChange::Items);
}

void TComboBox::SetText(const std::string& text) {
  if (style_ == csDropDownList) {
    for (size_t i = 0; i < Items().size(); ++i)
      if (SameName(Items()[i], text)) {
        SetItemIndex(int(i));
        return;
      }
    return;
  }
  if (text == text_) return;
  text_ = text;
  // A typed text that is not an item leaves no item chosen.
  if (ItemIndex() >= 0 && Items()[size_t(ItemIndex())] != text_) TItemsControl::SetItemIndex(-1);
  Changed(TChange::Caption);
  FireChange();
}

void TComboBox::SetItemIndex(int index) {
  if (index < 0 || index >= int(Items().size())) index = -1;
  std::string text = index >= 0 ? Items()[size_t(index)] : (style_ == csDropDownList ? "" : text_);
  bool textChanged = text != text_;
  text_ = text;
  if (index != ItemIndex()) {
    TItemsControl::SetItemIndex(index);  // fires OnChange once
  } else if (textChanged) {
    Changed(TChange::Caption);
    FireChange();
  }
}

void TComboBox::ItemsChanged() {
  if (style_ == csDropDownList && ItemIndex() < 0) text_.clear();
}

bool TComboBox::TypeCharacter(char c, bool first) {
  if (style_ == csDropDownList || c < 32) return false;
  SetText(first ? std::string(1, c) : text_ + c);
  return true;
}

TPoint TComboBox::ContentSize() const {
  int w = 145;
  for (auto& s : Items()) w = std::max(w, TextSize(s).X + 36);
  return TPoint{std::min(w, 400), std::max(23, LineHeight() + 8)};
}

TEdit::TEdit(const std::string& name, const std::string& text) : TControl(TControlKind::Edit, name) {
  TControl::SetCaption(text);
}

void TEdit::SetText(const std::string& text) {
  std::string t = maxLength_ > 0 && int(text.size()) > maxLength_ ? text.substr(0, size_t(maxLength_)) : text;
  if (t == Caption()) return;
  TControl::SetCaption(t);
  FireChange();
}

void TEdit::SetReadOnly(bool readOnly) {
  if (readOnly == readOnly_) return;
  readOnly_ = readOnly;
  Changed(TChange::State);
}

void TEdit::SetMaxLength(int maxLength) {
  maxLength_ = std::max(0, maxLength);
  Changed(TChange::State);
  if (maxLength_ > 0 && int(Caption().size()) > maxLength_) SetText(Caption());
}

bool TEdit::TypeCharacter(char c, bool first) {
  if (readOnly_ || c < 32) return false;
  SetText(first ? std::string(1, c) : Caption() + c);
  return true;
}

TPoint TEdit::ContentSize() const { return TPoint{121, std::max(23, LineHeight() + 8)}; }

TSpinEdit::TSpinEdit(const std::string& name) : TControl(TControlKind::SpinEdit, name) {
  TControl::SetCaption("0");
}

void TSpinEdit::SetText(const std::string& text) {
  if (text == Caption()) return;
  TControl::SetCaption(text);
  FireChange();
}

int TSpinEdit::Clamp(int v) const {
  if (maxValue_ == minValue_) return v;
  return std::clamp(v, minValue_, maxValue_);
}

int TSpinEdit::Value() const {
  const std::string& t = Caption();
  size_t i = 0, n = t.size();
  while (i < n && t[i] == ' ') ++i;
  while (n > i && t[n - 1] == ' ') --n;
  bool negative = false;
  if (i < n && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  if (i == n) return Clamp(minValue_);
  long long v = 0;
  for (; i < n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) return Clamp(minValue_);
    v = v * 10 + (t[i] - '0');
    if (v > INT_MAX + 1LL) return Clamp(minValue_);
  }
  if (negative) v = -v;
  if (v > INT_MAX || v < INT_MIN) return Clamp(minValue_);
  return Clamp(int(v));
}

void TSpinEdit::SetValue(int value) { SetText(std::to_string(Clamp(value))); }

void TSpinEdit::SetRange(int minValue, int maxValue) {
  minValue_ = minValue;
  maxValue_ = std::max(minValue, maxValue);
  Changed(TChange::Items);
}

void TSpinEdit::SetIncrement(int increment) { increment_ = std::max(1, increment); }

bool TSpinEdit::TypeCharacter(char c, bool first) {
  if (c < 32) return false;
  SetText(first ? std::string(1, c) : Caption() + c);
  return true;
}

TPoint TSpinEdit::ContentSize() const { return TPoint{80, std::max(23, LineHeight() + 8)}; }

TMemo::TMemo(const std::string& name) : TControl(TControlKind::Memo, name) {}

void TMemo::SetLines(const std::vector<std::string>& lines) {
  if (lines == lines_) return;
  lines_ = lines;
  ClampSelection();
  Changed(TChange::Items);
  FireChange();
}

void TMemo::AddLine(const std::string& line) { AddLine(std::string(line)); }

void TMemo::AddLine(std::string&& line) {
  // Reports append line by line: keep this linear in the length of the memo.
  lines_.push_back(std::move(line));
  Changed(TChange::LineAdded);
  FireChange();
}

void TMemo::ClearLines() { SetLines({}); }

std::string TMemo::Text() const {
  std::string out;
  for (auto& l : lines_) out += l + "\r\n";
  return out;
}

void TMemo::SetText(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  bool pending = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      pending = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      cur += c;
      pending = true;
    }
  }
  if (pending) lines.push_back(cur);
  SetLines(lines);
}

void TMemo::SetReadOnly(bool readOnly) {
  if (readOnly == readOnly_) return;
  readOnly_ = readOnly;
  Changed(TChange::State);
}

void TMemo::SetWordWrap(bool wrap) {
  if (wrap == wordWrap_) return;
  wordWrap_ = wrap;
  Changed(TChange::State);
}

void TMemo::SetFixedPitch(bool fixed) {
  if (fixed == fixedPitch_) return;
  fixedPitch_ = fixed;
  Changed(TChange::Value);
}

void TMemo::SetScrollBars(bool both) {
  if (both == scrollBars_) return;
  scrollBars_ = both;
  Changed(TChange::State);
}

bool TMemo::TypeCharacter(char c, bool first) {
  bool newLine = c == '\r' || c == '\n';
  if (readOnly_ || (c < 32 && !newLine)) return false;
  std::vector<std::string> lines = first ? std::vector<std::string>{} : lines_;
  if (lines.empty()) lines.push_back("");
  if (newLine) lines.push_back("");
  else lines.back() += c;
  SetLines(lines);
  return true;
}

int TMemo::TextLength() const {
  int length = 0;
  for (const std::string& l : lines_) length += int(l.size()) + 1;
  return std::max(0, length - 1);
}

void TMemo::ClampSelection() {
  const int length = TextLength();
  selStart_ = std::clamp(selStart_, 0, length);
  selLength_ = std::clamp(selLength_, 0, length - selStart_);
}

void TMemo::NoteSelection(int start, int length) {
  selStart_ = start;
  selLength_ = length;
  ClampSelection();
}

void TMemo::SetSelection(int start, int length) {
  NoteSelection(start, length);
  Changed(TChange::Selection);
}

int TMemo::LineStart(int line) const {
  if (line <= 0) return 0;
  if (line >= int(lines_.size())) return TextLength();
  int position = 0;
  for (int i = 0; i < line; ++i) position += int(lines_[size_t(i)].size()) + 1;
  return position;
}

int TMemo::CaretLine() const {
  int position = 0;
  for (size_t i = 0; i < lines_.size(); ++i) {
    position += int(lines_[i].size()) + 1;
    if (selStart_ < position) return int(i);
  }
  return lines_.empty() ? 0 : int(lines_.size()) - 1;
}

TPoint TMemo::ContentSize() const { return TPoint{185, 89}; }

TStringGrid::TStringGrid(const std::string& name) : TControl(TControlKind::StringGrid, name) {
  cells_.assign(size_t(colCount_ * rowCount_), "");
}

void TStringGrid::SetSize(int cols, int rows) {
  cols = std::max(1, cols);
  rows = std::max(1, rows);
  std::vector<std::string> cells(size_t(cols * rows));
  for (int r = 0; r < std::min(rows, rowCount_); ++r)
    for (int c = 0; c < std::min(cols, colCount_); ++c)
      cells[size_t(r * cols + c)] = std::move(cells_[size_t(r * colCount_ + c)]);
  cells_ = std::move(cells);
  colCount_ = cols;
  rowCount_ = rows;
  fixedCols_ = std::min(fixedCols_, cols - 1);
  fixedRows_ = std::min(fixedRows_, rows - 1);
  col_ = std::clamp(col_, fixedCols_, cols - 1);
  row_ = std::clamp(row_, fixedRows_, rows - 1);
  Changed(TChange::Items);
}

void TStringGrid::SetFixed(int cols, int rows) {
  fixedCols_ = std::clamp(cols, 0, colCount_ - 1);
  fixedRows_ = std::clamp(rows, 0, rowCount_ - 1);
  col_ = std::max(col_, fixedCols_);
  row_ = std::max(row_, fixedRows_);
  Changed(TChange::Items);
}

const std::string& TStringGrid::Cell(int col, int row) const {
  static const std::string empty;
  if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return empty;
  return cells_[size_t(row * colCount_ + col)];
}

void TStringGrid::SetCell(int col, int row, const std::string& text) {
  if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return;
  std::string& cell = cells_[size_t(row * colCount_ + col)];
  if (cell == text) return;
  cell = text;
  Changed(TChange::Value);
  FireChange();
}

void TStringGrid::SetEditing(bool editing) {
  editing_ = editing;
  Changed(TChange::State);
}

void TStringGrid::SetCurrentCell(int col, int row) {
  col = std::clamp(col, fixedCols_, colCount_ - 1);
  row = std::clamp(row, fixedRows_, rowCount_ - 1);
  if (col == col_ && row == row_) return;
  col_ = col;
  row_ = row;
  Changed(TChange::Value);
}

void TStringGrid::SetDefaultCellSize(int colWidth, int rowHeight) {
  colWidth_ = std::max(4, colWidth);
  rowHeight_ = std::max(4, rowHeight);
  Changed(TChange::Items);
}

TPoint TStringGrid::ContentSize() const {
  return TPoint{std::min(colCount_ * (colWidth_ + 1) + 3, 480), std::min(rowCount_ * (rowHeight_ + 1) + 3, 320)};
}

// ---------------------------------------------------------------- paint box, image

TPaintBox::TPaintBox(const std::string& name) : TControl(TControlKind::PaintBox, name) {}
TPaintBox::~TPaintBox() = default;

TBitmap& TPaintBox::Buffer() {
  TRect b = Bounds();
  int w = std::max(1, b.Width()), h = std::max(1, b.Height());
  if (!buffer_) {
    buffer_ = TBitmap::Create(w, h);
    buffer_->Canvas().Brush.Color = Color() == clDefault ? clWhite : Color();
    buffer_->Canvas().FillRect(TRect{0, 0, w, h});
  } else if (buffer_->Width() != w || buffer_->Height() != h) {
    buffer_->SetSize(w, h);
  }
  return *buffer_;
}

TCanvas& TPaintBox::Canvas() {
  TBitmap& b = Buffer();
  if (Peer()) Peer()->Changed(TChange::Picture);
  return b.Canvas();
}

void TPaintBox::PaintBuffer() {
  Buffer();
  if (OnPaint) OnPaint(*this);
}

void TPaintBox::Repaint() {
  PaintBuffer();
  if (Peer()) Peer()->Changed(TChange::Picture);
}

void TPaintBox::Invalidate() {
  if (Peer()) {
    Peer()->Changed(TChange::Repaint);
    return;
  }
  TForm* f = Form();
  if (f && f->Showing() && IsUsable()) Repaint();
}

TImage::TImage(const std::string& name) : TControl(TControlKind::Image, name) {}
TImage::~TImage() = default;

void TImage::SetPicture(std::unique_ptr<TBitmap> picture) {
  picture_ = std::move(picture);
  Changed(TChange::Picture);
  if (TForm* f = Form()) f->MarkLayoutDirty();
}

void TImage::PictureChanged() { Changed(TChange::Picture); }

TPoint TImage::ContentSize() const {
  if (!picture_) return TPoint{105, 105};
  return TPoint{picture_->Width(), picture_->Height()};
}

// ---------------------------------------------------------------- the rest

TScrollBar::TScrollBar(const std::string& name, TScrollBarKind kind)
    : TControl(TControlKind::ScrollBar, name), scrollKind_(kind) {}

void TScrollBar::SetScrollKind(TScrollBarKind kind) {
  if (kind == scrollKind_) return;
  scrollKind_ = kind;
  Changed(TChange::Items);
}

void TScrollBar::SetRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  Changed(TChange::Items);
  SetPosition(position_);
}

void TScrollBar::SetPosition(int position) {
  position = std::clamp(position, min_, max_);
  if (position == position_) return;
  position_ = position;
  Changed(TChange::Value);
  FireChange();
}

void TScrollBar::SetPageSize(int page) {
  pageSize_ = std::max(0, page);
  Changed(TChange::Items);
}

void TScrollBar::SetChanges(int smallChange, int largeChange) {
  smallChange_ = std::max(1, smallChange);
  largeChange_ = std::max(1, largeChange);
  Changed(TChange::Items);
}

void TScrollBar::Scroll(TScrollCode code, int position) {
  TUserAction action(Form());
  if (!IsUsable()) return;
  if (OnScroll) {
    OnScroll(*this, code, position);
    return;
  }
  switch (code) {
    case scLineUp: SetPosition(position_ - smallChange_); break;
    case scLineDown: SetPosition(position_ + smallChange_); break;
    case scPageUp: SetPosition(position_ - (pageSize_ > 0 ? pageSize_ : largeChange_)); break;
    case scPageDown: SetPosition(position_ + (pageSize_ > 0 ? pageSize_ : largeChange_)); break;
    case scPosition: case scTrack: SetPosition(position); break;
    case scTop: SetPosition(min_); break;
    case scBottom: SetPosition(max_); break;
    case scEndScroll: break;
  }
}

TPoint TScrollBar::ContentSize() const {
  return scrollKind_ == sbHorizontal ? TPoint{121, 17} : TPoint{17, 121};
}

TSpeedButton::TSpeedButton(const std::string& name, const std::string& caption)
    : TControl(TControlKind::SpeedButton, name) {
  TControl::SetCaption(caption);
}

void TSpeedButton::SetGroupIndex(int group) { groupIndex_ = std::max(0, group); }

void TSpeedButton::SetDown(bool down) {
  if (down == down_) return;
  down_ = down;
  if (down && groupIndex_ > 0 && Parent()) {
    for (auto& c : Parent()->Children())
      if (c.get() != this && c->Kind() == TControlKind::SpeedButton) {
        auto& other = static_cast<TSpeedButton&>(*c);
        if (other.groupIndex_ == groupIndex_) other.SetDown(false);
      }
  }
  Changed(TChange::Value);
  FireChange();
}

void TSpeedButton::SetAllowAllUp(bool allow) { allowAllUp_ = allow; }

void TSpeedButton::ClickReaction() {
  if (groupIndex_ == 0) return;
  if (!down_) SetDown(true);
  else if (allowAllUp_) SetDown(false);
}

void TSpeedButton::SetGlyph(std::unique_ptr<TBitmap> glyph) {
  glyph_ = std::move(glyph);
  Changed(TChange::Caption);
}

TPoint TSpeedButton::ContentSize() const {
  TPoint t = Caption().empty() && glyph_ ? TPoint{0, 0} : TextSize(Caption());
  if (glyph_) {
    const int textHeight = Caption().empty() ? 0 : t.Y + 2;
    return TPoint{std::max(glyph_->Width(), t.X) + 8, glyph_->Height() + textHeight + 8};
  }
  return TPoint{std::max(23, t.X + 8), std::max(22, t.Y + 6)};
}

TGauge::TGauge(const std::string& name) : TControl(TControlKind::Gauge, name) {}

void TGauge::SetRange(int minValue, int maxValue) {
  minValue_ = minValue;
  maxValue_ = std::max(minValue, maxValue);
  progress_ = std::clamp(progress_, minValue_, maxValue_);
  Changed(TChange::Value);
}

void TGauge::SetProgress(int progress) {
  progress = std::clamp(progress, minValue_, maxValue_);
  if (progress == progress_) return;
  progress_ = progress;
  Changed(TChange::Value);
}

int TGauge::Percent() const {
  if (maxValue_ == minValue_) return 100;
  return int((int64_t(progress_) - minValue_) * 100 / (int64_t(maxValue_) - minValue_));
}

namespace {
// The grid's colours: the first eight and the last eight entries of the
// classic twenty-colour system palette.
constexpr TColor GridColors[TColorGrid::ColorCount] = {
    clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple, clTeal, clSilver,
    clGray,  clRed,    clLime,  clYellow, clBlue, clFuchsia, clAqua, clWhite};
}  // namespace

TColorGrid::TColorGrid(const std::string& name) : TControl(TControlKind::ColorGrid, name) {}

TColor TColorGrid::GridColor(int index) { return GridColors[std::clamp(index, 0, ColorCount - 1)]; }

int TColorGrid::IndexOfColor(TColor color) {
  for (int i = 0; i < ColorCount; ++i)
    if (GridColors[i] == color) return i;
  return -1;
}

void TColorGrid::SetForegroundIndex(int index) {
  if (index < 0 || index >= ColorCount || index == fg_) return;
  fg_ = index;
  Changed(TChange::Value);
  FireChange();
}

void TColorGrid::SetBackgroundIndex(int index) {
  if (index < 0 || index >= ColorCount || index == bg_) return;
  bg_ = index;
  Changed(TChange::Value);
  FireChange();
}

int TColorGrid::CellAt(int x, int y) const {
  TRect b = Bounds();
  if (x < 0 || y < 0 || x >= b.Width() || y >= b.Height()) return -1;
  int col = x * 4 / std::max(1, b.Width());
  int row = y * 4 / std::max(1, b.Height());
  return row * 4 + col;
}

void TColorGrid::MouseDownReaction(TMouseButton button, int x, int y) {
  int cell = CellAt(x, y);
  if (cell < 0) return;
  if (button == mbLeft) SetForegroundIndex(cell);
  else if (button == mbRight) SetBackgroundIndex(cell);
}

bool TColorGrid::ClickColor(int index, TMouseButton button) {
  TUserAction action(Form());
  if (!IsUsable() || index < 0 || index >= ColorCount) return false;
  if (!SetFocus()) return false;
  if (button == mbLeft) SetForegroundIndex(index);
  else if (button == mbRight) SetBackgroundIndex(index);
  if (OnClick) OnClick(*this);
  return true;
}

TStatusBar::TStatusBar(const std::string& name) : TControl(TControlKind::StatusBar, name) {}

void TStatusBar::AddPanel(const std::string& text, int width) {
  panels_.push_back(TStatusPanel{text, std::max(0, width)});
  Changed(TChange::Items);
}

void TStatusBar::SetPanelText(int index, const std::string& text) {
  if (index < 0 || index >= int(panels_.size()) || panels_[size_t(index)].Text == text) return;
  panels_[size_t(index)].Text = text;
  Changed(TChange::Value);
}

void TStatusBar::ClearPanels() {
  panels_.clear();
  Changed(TChange::Items);
}

TPoint TStatusBar::ContentSize() const {
  int w = 0;
  for (auto& p : panels_) w += p.Width;
  return TPoint{std::max(w, 100), std::max(19, LineHeight() + 6)};
}

TFormTimer::TFormTimer(const std::string& name, uint32_t interval) : TControl(TControlKind::Timer, name) {
  timer_.SetInterval(interval);
  timer_.OnTimer = [this] {
    if (OnTimer) OnTimer(*this);
  };
}

// ---------------------------------------------------------------- TForm

TForm::TForm(const std::string& className) : TControl(TControlKind::Form, className), className_(className) {}

TForm::~TForm() {
  // A modeless form freed while it shows leaves the backend's list of shown
  // forms, so nothing looks it up after it is gone.
  if (showing_ && !modal_) FormsBackend().HideForm(*this);
  showing_ = false;
  if (menu_) menu_->DetachForm(*this);
  menu_ = nullptr;
  // Children go while the form is still whole (they tell it they are gone).
  while (!Children().empty()) Remove(*Children().back());
  active_ = nullptr;
}

void TForm::ThrowMissing(const std::string& name, bool wrongKind) const {
  throw EFormError("Form " + className_ + (wrongKind ? " has a control " + name + " of another kind"
                                                     : " has no control named " + name));
}

void TForm::Forget(TControl& c) {
  if (active_ == &c) active_ = nullptr;
  // Blanked, not erased: Realign may be walking the list.
  std::replace(resized_.begin(), resized_.end(), &c, static_cast<TControl*>(nullptr));
}

void TForm::SetClientSize(int width, int height) {
  clientWidth_ = std::max(0, width);
  clientHeight_ = std::max(0, height);
  MarkLayoutDirty();
}

void TForm::SetMinClientSize(int width, int height) {
  minWidth_ = std::max(0, width);
  minHeight_ = std::max(0, height);
  Changed(TChange::State);
}

namespace {
TPoint& LastFrameExtent() {
  static TPoint extent{0, 0};
  return extent;
}
}  // namespace

TPoint TForm::FrameExtent() const { return frameKnown_ ? frame_ : LastFrameExtent(); }

void TForm::FrameExtentFromBackend(TPoint extent) {
  frameKnown_ = true;
  frame_ = extent;
  LastFrameExtent() = extent;
}

void TForm::SetSizeable(bool sizeable) {
  sizeable_ = sizeable;
  Changed(TChange::State);
}

int TForm::FlowPad() const { return FormPad; }

TPoint TForm::ContentSize() const {
  TPoint s = TControl::ContentSize();
  return TPoint{std::max(s.X, 120), std::max(s.Y, 40)};
}

void TForm::MarkLayoutDirty() {
  layoutDirty_ = true;
  ++sizeStamp_;
  if (showing_ && arranging_ == 0) Realign();
}

void TForm::Realign() {
  if (arranging_) {
    layoutDirty_ = true;
    return;
  }
  ++arranging_;
  struct Done {
    int& n;
    ~Done() { --n; }
  } done{arranging_};
  // Resize handlers may change the layout again; a few rounds settle it.
  for (int round = 0; round < 4 && layoutDirty_; ++round) {
    layoutDirty_ = false;
    resized_.clear();
    {
      ++sizeStamp_;
      sizing_ = true;
      struct Measured {
        bool& sizing;
        ~Measured() { sizing = false; }
      } measured{sizing_};
      TPoint pref = ContentSize();
      int w = clientWidth_ >= 0 ? clientWidth_ : pref.X;
      int h = clientHeight_ >= 0 ? clientHeight_ : pref.Y;
      SetLayoutBounds(TRect{bounds_.Left, bounds_.Top, bounds_.Left + w, bounds_.Top + h});
      ArrangeChildren();
    }
    // Walked in place: a control a handler removes is blanked in the list
    // (Forget), and what a handler resizes is added behind this round's
    // entries, which the next round's layout notes again.
    const size_t count = resized_.size();
    for (size_t i = 0; i < count; ++i) {
      TControl* c = resized_[i];
      if (c == nullptr) continue;
      if (std::find(resized_.begin(), resized_.begin() + long(i), c) != resized_.begin() + long(i)) continue;
      if (c->OnResize) c->OnResize(*c);
      if (c->Kind() == TControlKind::PaintBox && showing_) static_cast<TPaintBox*>(c)->Invalidate();
    }
  }
  layoutDirty_ = false;
}

void TForm::ResizedByUser(int width, int height) {
  if (width == clientWidth_ && height == clientHeight_ && width == bounds_.Width() && height == bounds_.Height())
    return;
  TUserAction action(this);
  SetClientSize(std::max(width, minWidth_), std::max(height, minHeight_));
  if (!showing_) Realign();
}

TRect TForm::NormalBounds() const { return normalKnown_ ? normal_ : Bounds(); }

void TForm::NormalBoundsFromBackend(const TRect& bounds) {
  normalKnown_ = true;
  normal_ = bounds;
}

void TForm::RepaintAll(TControl& c) {
  if (c.Kind() == TControlKind::PaintBox) static_cast<TPaintBox&>(c).Invalidate();
  for (auto& ch : c.Children()) RepaintAll(*ch);
}

namespace {
// True when a control of the tree acts on its layout: a resize handler or
// a paint box, which paints at its size once shown.
bool WatchesLayout(const TControl& c) {
  if (c.OnResize || c.Kind() == TControlKind::PaintBox) return true;
  for (const auto& child : c.Children())
    if (WatchesLayout(*child)) return true;
  return false;
}
}  // namespace

TModalResult TForm::ShowModal() {
  if (modal_) throw EFormError("Form " + className_ + " is already showing modally");
  // Before showing, so that the first paint comes once, below. A dialog
  // that is shown without a window and has nothing that watches its layout
  // is laid out when its places are first read, or at its first change
  // that moves things.
  if (FormsBackend().LaysOutShownForms() || WatchesLayout(*this)) Realign();
  modal_ = true;
  modalEnded_ = false;
  modalResult_ = mrNone;
  showing_ = true;
  struct Restore {
    TForm& f;
    ~Restore() {
      f.modal_ = false;
      f.modalEnded_ = false;
      f.showing_ = false;
      f.actionDepth_ = 0;
    }
  } restore{*this};
  if (OnShow) OnShow(*this);
  FocusFirstField();
  RepaintAll(*this);
  if (OnActivate) OnActivate(*this);
  FormsBackend().RunModal(*this);
  return modalResult_;
}

void TForm::Show() {
  if (showing_) return;
  Realign();
  showing_ = true;
  if (OnShow) OnShow(*this);
  // A window with menus keeps the keyboard where its own code puts it.
  if (menu_ == nullptr) FocusFirstField();
  FormsBackend().ShowForm(*this);
  RepaintAll(*this);
  if (OnActivate) OnActivate(*this);
}

void TForm::BringToFront() {
  if (showing_) FormsBackend().BringFormToFront(*this);
}

void TForm::Hide() {
  if (!showing_ || modal_) return;
  showing_ = false;
  FormsBackend().HideForm(*this);
}

bool TForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(*this, canClose);
  return canClose;
}

void TForm::EndModalNow() {
  modalEnded_ = true;
  if (OnClose) OnClose(*this);
  FormsBackend().EndModal(*this);
}

void TForm::CheckModalEnd() {
  if (!modal_ || modalEnded_ || closing_ || modalResult_ == mrNone) return;
  closing_ = true;
  bool ok = CloseQuery();
  closing_ = false;
  if (!ok) {
    modalResult_ = mrNone;
    return;
  }
  EndModalNow();
}

void TForm::SetModalResult(TModalResult result) {
  modalResult_ = result;
  if (actionDepth_ == 0) CheckModalEnd();
}

bool TForm::Close() {
  if (modal_) {
    if (modalEnded_) return true;
    if (closing_ || !CloseQuery()) return false;
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
    EndModalNow();
    return true;
  }
  if (!showing_) return true;
  if (!CloseQuery()) return false;
  if (OnClose) OnClose(*this);
  Hide();
  return true;
}

namespace {
TButton* FindButton(TControl& c, bool wantDefault) {
  if (c.Kind() == TControlKind::Button) {
    auto& b = static_cast<TButton&>(c);
    if ((wantDefault ? b.Default() : b.Cancel()) && b.IsUsable()) return &b;
  }
  for (auto& ch : c.Children())
    if (TButton* b = FindButton(*ch, wantDefault)) return b;
  return nullptr;
}
}  // namespace

TButton* TForm::DefaultButton() const { return FindButton(const_cast<TForm&>(*this), true); }
TButton* TForm::CancelButton() const { return FindButton(const_cast<TForm&>(*this), false); }

void TForm::SetMenu(TMainMenu* menu) {
  if (menu == menu_) return;
  if (menu_) menu_->DetachForm(*this);
  menu_ = menu;
  if (menu_) menu_->AttachForm(*this);
  Changed(TChange::Menu);
}

namespace {
// A text the user reads but cannot change (a dialog's explanation, a
// report): keys typed there change nothing the dialog asks for.
bool IsReadOnlyText(const TControl& c) {
  if (c.Kind() == TControlKind::Memo) return static_cast<const TMemo&>(c).ReadOnly();
  if (c.Kind() == TControlKind::Edit) return static_cast<const TEdit&>(c).ReadOnly();
  return false;
}

// The first control in the form's order (children in the order added,
// depth first) that takes the focus and is not a push button; read-only
// texts only when withReadOnly.
TControl* FirstField(TControl& c, bool withReadOnly) {
  for (auto& child : c.Children()) {
    if (!child->Visible()) continue;
    if (child->Kind() != TControlKind::Button && child->CanFocus() &&
        (withReadOnly || !IsReadOnlyText(*child)))
      return child.get();
    if (child->Kind() == TControlKind::TabbedPages) {
      auto& pages = static_cast<TTabbedPages&>(*child);
      if (pages.ActivePage() < 0) continue;
      if (TControl* f = FirstField(pages.Page(pages.ActivePage()), withReadOnly)) return f;
      continue;
    }
    if (TControl* f = FirstField(*child, withReadOnly)) return f;
  }
  return nullptr;
}
}  // namespace

TControl* TForm::FirstFieldControl() {
  if (TControl* f = FirstField(*this, false)) return f;
  return FirstField(*this, true);
}

void TForm::FocusFirstField() {
  if (active_ != nullptr && active_->CanFocus()) return;
  if (TControl* first = FirstFieldControl()) first->SetFocus();
}

bool TForm::FocusControl(TControl* control) {
  if (control == active_) return true;
  if (inFocusChange_) {
    // An OnExit handler moves the focus (usually back to itself).
    active_ = control;
    return true;
  }
  TControl* old = active_;
  active_ = control;
  if (old && old->OnExit) {
    inFocusChange_ = true;
    struct Reset {
      bool& b;
      ~Reset() { b = false; }
    } reset{inFocusChange_};
    old->OnExit(*old);
  }
  if (active_ != control) {
    Changed(TChange::Focus);
    return false;
  }
  Changed(TChange::Focus);
  if (control && control->OnEnter) control->OnEnter(*control);
  return true;
}

void TForm::FocusFromBackend(TControl* control) {
  TUserAction action(this);
  if (control && !control->CanFocus()) return;
  FocusControl(control);
}
