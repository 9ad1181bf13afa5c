#include "editor/text_editor.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/file_utils.h"
#include "platform/clipboard.h"
#include "platform/file_ops.h"
#include "platform/message_box.h"

namespace {

constexpr int kSelA = 11, kSelB = 12, kScopeEnd = 10;
constexpr size_t kPastePiece = 61440;
// Scrolling while a drag holds the pointer past the text: one step per
// tick, of one line (column) per line height (column width) begun past the
// edge, at most this many.
constexpr uint32_t kAutoScrollInterval = TQedTimerPool::kMinInterval;
constexpr int32_t kMostAutoScrollStep = 10;

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(uint8_t(c)));
  return s;
}

std::string FileError(int err, const std::string& name) {
  return "File access error #" + std::to_string(err) + " " + SystemErrorText(err) + " <" + name + ">";
}

}  // namespace

std::string EditorFileTooLargeText(const std::string& fileName, int64_t limit) {
  return "<" + fileName + "> is larger than the " + std::to_string((limit + (int64_t{1} << 20) - 1) >> 20) +
         " MB the editor can hold.";
}

std::string EditorLineTooLongText(const std::string& fileName, int64_t line, int32_t limit) {
  return "Line " + std::to_string(line) + " of <" + fileName + "> is longer than the " + std::to_string(limit) +
         " characters the editor can hold.";
}

std::string EditorTooManyLinesText(const std::string& fileName, int32_t limit) {
  return "<" + fileName + "> has more than the " + std::to_string(limit) + " lines the editor can hold.";
}

TQedTextFileEditor::TQedTextFileEditor(TPaintBox& box, TQedController* controller)
    : Box_(box), List_(std::make_shared<TParaList>()) {
  if (controller == nullptr) controller = &TQedController::Of(box.Form());
  Processor_ = &controller->EntryCommands;
  Pool_ = &controller->TimerPool();
  List_->AddView(this);
  CaretIns.OnChange = CaretOvr.OnChange = [this] {
    CaretObj_.Recompute();
    StartBlinking();
    Invalidate();
  };
  CaretObj_.Link();
  StartBlinking();
  Box_.SetWantsKeys(true);
  Box_.OnPaint = [this](TControl&) { Paint(); };
  Box_.OnKeyDown = [this](TControl&, uint16_t& key, TShiftState shift) {
    if (KeyDown(key, shift)) key = 0;
  };
  Box_.OnKeyPress = [this](TControl&, char& ch) {
    if (KeyPress(ch)) ch = 0;
  };
  Box_.OnMouseDown = [this](TControl&, TMouseButton b, TShiftState s, int x, int y) { MouseDown(b, s, x, y); };
  Box_.OnMouseMove = [this](TControl&, TShiftState s, int x, int y) { MouseMove(s, x, y); };
  Box_.OnMouseUp = [this](TControl&, TMouseButton b, TShiftState s, int x, int y) { MouseUp(b, s, x, y); };
  Box_.OnDblClick = [this](TControl&, TMouseButton b, TShiftState s, int x, int y) {
    if (b == mbLeft) DblClick(s, x, y);
  };
  Box_.OnResize = [this](TControl&) {
    FitWrapToWindow();
    UpdateScrollBars();
    Invalidate();
  };
  // The caret shows while the control has the focus.
  // The caret shows while the control has the focus; the after-enter and
  // after-exit events follow the change.
  Box_.OnEnter = [this](TControl&) {
    BlinkOn_ = true;
    Invalidate();
    if (OnAfterEnter) OnAfterEnter(*this);
  };
  Box_.OnExit = [this](TControl&) {
    StopAutoScroll();
    BlinkOn_ = true;
    Invalidate();
    if (OnAfterExit) OnAfterExit(*this);
  };
  FixedFont.OnChange = [this] { Invalidate(); };
  HighlightColors.OnChange = [this] { Invalidate(); };
}

TQedTextFileEditor::~TQedTextFileEditor() {
  Pool_->Remove(BlinkTrigger_);
  StopAutoScroll();
  List_->RemoveView(this);
  Box_.OnPaint = nullptr;
  Box_.OnKeyDown = nullptr;
  Box_.OnKeyPress = nullptr;
  Box_.OnMouseDown = nullptr;
  Box_.OnMouseMove = nullptr;
  Box_.OnMouseUp = nullptr;
  Box_.OnDblClick = nullptr;
  Box_.OnResize = nullptr;
  if (HBar_) HBar_->OnScroll = nullptr;
  if (VBar_) VBar_->OnScroll = nullptr;
  Box_.OnEnter = nullptr;
  Box_.OnExit = nullptr;
}

// ---------------------------------------------------------------- settings

void TQedTextFileEditor::SetInsertMode(bool on) {
  InsertMode_ = on;
  Status();
  Invalidate();
}

void TQedTextFileEditor::SetTabSize(int32_t size) {
  if (size < 1 || size > 255) return;
  List_->SetTabSize(size);
  Invalidate();
}

void TQedTextFileEditor::SetWordWrap(bool on) {
  if (on) {
    WrapAtLeft_ = true;
    ScrollPastEnd_ = false;
  }
  List_->SetWordWrap(on);
  FitWrapToWindow();
}

void TQedTextFileEditor::SetWrapToWindow(bool on) {
  WrapToWindow_ = on;
  FitWrapToWindow();
}

void TQedTextFileEditor::FitWrapToWindow() {
  if (WrapToWindow_ && WordWrap()) List_->SetWrapColumn(std::max(1, VisibleCols() - 2));
}

void TQedTextFileEditor::SetWrapColumn(int32_t column) {
  if (column >= 1) List_->SetWrapColumn(column);
}

void TQedTextFileEditor::SetWrapAtLeft(bool on) { WrapAtLeft_ = on || WordWrap(); }

void TQedTextFileEditor::SetScrollPastEnd(bool on) {
  ScrollPastEnd_ = on;
  if (on) SetWordWrap(false);
}

// The list tells every editor of its ring before and after it wraps the
// whole text anew: each keeps its caret, selection and top line on the same
// characters.
void TQedTextFileEditor::ListRewrapping() {
  KeptCaret_ = ParaPosOf(Caret_);
  KeptSelA_ = ParaPosOf(SelA_);
  KeptSelB_ = ParaPosOf(SelB_);
  const TLineRef top = List_->GetLine(Top_);
  KeptTop_ = TParaPos{top.Para, top.Start + 1};
}

void TQedTextFileEditor::ListRewrapped() {
  const bool sel = SelectionExists();
  Caret_ = PointOf(KeptCaret_.Para, KeptCaret_.Pos);
  SelA_ = sel ? PointOf(KeptSelA_.Para, KeptSelA_.Pos) : Caret_;
  SelB_ = sel ? PointOf(KeptSelB_.Para, KeptSelB_.Pos) : Caret_;
  const int32_t top = std::clamp(List_->ParaPosToLine(KeptTop_.Para, KeptTop_.Pos), 1, LineCount());
  if (top != Top_) {
    Top_ = top;
    if (OnTopLineChanged) OnTopLineChanged(Top_);
  }
  ScrollIntoView();
  ++Stamp_;
  Invalidate();
  Status();
}

void TQedTextFileEditor::ListModifiedChanged() {
  Status();
  Invalidate();
}

void TQedTextFileEditor::AttachTo(TQedTextFileEditor& other) {
  if (&other == this || other.List_ == List_) return;
  List_->RemoveView(this);
  List_ = other.List_;
  List_->AddView(this);
  other.StoreViewMarks();
  FileName_ = other.FileName_;
  IsOpen_ = other.IsOpen_;
  Caret_ = SelA_ = SelB_ = TTextPoint{};
  Top_ = Left_ = 1;
  ++Stamp_;
  Invalidate();
  Status();
}

// An edit made through another editor of the ring: this one's caret,
// selection and top line moved with the text like markers.
void TQedTextFileEditor::ListEdited() {
  if (Acting_ > 0) return;
  TMarker m[kViewMarks];
  if (!List_->GetViewMarks(this, m)) return;
  const bool sel = SelectionExists();
  Caret_ = PointOf(m[0].Para, m[0].Pos);
  SelA_ = sel ? PointOf(m[1].Para, m[1].Pos) : Caret_;
  SelB_ = sel ? PointOf(m[2].Para, m[2].Pos) : Caret_;
  const int32_t top = std::clamp(List_->ParaPosToLine(m[3].Para, m[3].Pos), 1, LineCount());
  if (top != Top_) {
    Top_ = top;
    if (OnTopLineChanged) OnTopLineChanged(Top_);
  }
  ++Stamp_;
  Invalidate();
  Status();
}

void TQedTextFileEditor::StoreViewMarks() {
  if (List_->Views().size() < 2) return;
  const TParaPos c = ParaPosOf(Caret_), a = ParaPosOf(SelA_), b = ParaPosOf(SelB_);
  const TLineRef top = List_->GetLine(Top_);
  const TMarker m[kViewMarks] = {{c.Para, c.Pos}, {a.Para, a.Pos}, {b.Para, b.Pos}, {top.Para, top.Start + 1}};
  List_->SetViewMarks(this, m);
}

// ---------------------------------------------------------------- caret

void TQedTextFileEditor::StartBlinking() {
  const uint32_t ms = CaretObj_.BlinkTime();
  if (BlinkTrigger_ != 0 && ms == BlinkInterval_) return;
  if (BlinkTrigger_ != 0) Pool_->Remove(BlinkTrigger_);
  BlinkInterval_ = ms;
  BlinkTrigger_ = Pool_->Add(ms, [this](int, uint32_t, uint32_t) { Blink(); });
}

void TQedTextFileEditor::Blink() {
  if (!Box_.Focused()) return;
  BlinkOn_ = !BlinkOn_;
  Invalidate();
}

// The caret object follows the caret: the cell is a character, the shape
// that of the insert mode, and a caret outside the view is parked.
void TQedTextFileEditor::PlaceCaret() {
  Metrics();
  CaretObj_.SetSelector(InsertMode_);
  StartBlinking();
  CaretObj_.SetCellHeight(LineH_);
  CaretObj_.SetCellWidth(CharW_);
  const int32_t row = Caret_.Line - Top_, col = Caret_.Col - Left_;
  if (row < 0 || row > VisibleLines() || col < 0 || col >= VisibleCols()) CaretObj_.MoveTo(-1, -1);
  else CaretObj_.MoveTo(LeftMargin + col * CharW_, row * LineH_);
  if (Box_.Focused()) CaretObj_.Show();
  else CaretObj_.Hide();
}

void TQedTextFileEditor::SetParaLengthLimit(int32_t limit) {
  if (limit < 1 || limit > 32767) return;
  List_->ParaLengthLimit = limit;
  UpdateScrollBars();
}

void TQedTextFileEditor::SetParaLimit(int32_t limit) {
  if (limit >= 1) List_->ParaLimit = limit;
}

void TQedTextFileEditor::SetByteLimit(int64_t limit) {
  if (limit >= 0) List_->ByteLimit = limit;
}

// ---------------------------------------------------------------- text

void TQedTextFileEditor::Clear(bool repaint) {
  const TActing acting(*this);
  List_->Clear();
  Caret_ = SelA_ = SelB_ = TTextPoint{};
  Top_ = Left_ = 1;
  ++Stamp_;
  if (repaint) Invalidate();
  Status();
}

std::string TQedTextFileEditor::Text(const std::string& eol) const {
  const TParaList& l = *List_;
  return l.GetRange(1, 1, l.ParaCount(), l.ParaLength(l.ParaCount()) + 1, eol);
}

TParaPos TQedTextFileEditor::ParaPosOf(TTextPoint p) const {
  if (!WordWrap()) {
    const int32_t para = std::clamp(p.Line, 1, List_->ParaCount());
    return TParaPos{para, List_->PosOfCol(para, std::max(p.Col, 1))};
  }
  const TLineRef l = List_->GetLine(p.Line);
  return TParaPos{l.Para, List_->LinePosOfCol(l, std::max(p.Col, 1))};
}

TTextPoint TQedTextFileEditor::PointOf(int32_t para, int32_t pos) const {
  para = std::clamp(para, 1, List_->ParaCount());
  pos = std::max(pos, 1);
  if (!WordWrap()) return TTextPoint{para, List_->ColOfPos(para, pos)};
  const int32_t line = List_->ParaPosToLine(para, pos);
  return TTextPoint{line, List_->LineColOfPos(List_->GetLine(line), pos)};
}

int32_t TQedTextFileEditor::EndCol(int32_t line) const {
  const TLineRef l = List_->GetLine(line);
  return List_->LineColOfPos(l, l.Start + l.Length + 1);
}

TTextPoint TQedTextFileEditor::Clamp(TTextPoint p) const {
  p.Line = std::clamp(p.Line, 1, List_->LineCount());
  p.Col = std::max(p.Col, 1);
  p.Col = ScrollPastEnd_ ? std::min(p.Col, List_->ParaLengthLimit + 1) : std::min(p.Col, EndCol(p.Line));
  return p;
}

void TQedTextFileEditor::Changed() {
  KeyTaken_ = true;
  ++Stamp_;
  if (OnChange) OnChange();
  ScrollIntoView();
  Invalidate();
  Status();
}

void TQedTextFileEditor::Status() {
  BlinkOn_ = true;  // a caret that moved shows at once
  StoreViewMarks();
  UpdateScrollBars();
  if (OnShowStatus) OnShowStatus(Caret_.Line, Caret_.Col);
}

int TQedTextFileEditor::Report(int code) {
  if (code == 0) return 0;
  if (OnError) OnError(code);
  else throw EEditorError(code);
  return code;
}

void TQedTextFileEditor::SaveSelectionToMarkers() {
  if (!SelectionExists()) return;
  const TParaPos a = ParaPosOf(SelA_), b = ParaPosOf(SelB_);
  List_->SetMarker(kSelA, a.Para, std::min(a.Pos, List_->ParaLength(a.Para) + 1));
  List_->SetMarker(kSelB, b.Para, std::min(b.Pos, List_->ParaLength(b.Para) + 1));
}

void TQedTextFileEditor::LoadSelectionFromMarkers() {
  if (!SelectionExists()) return;
  const TMarker a = List_->Marker(kSelA), b = List_->Marker(kSelB);
  if (a.Para == 0 || b.Para == 0) SelA_ = SelB_ = Caret_;
  else {
    SelA_ = PointOf(a.Para, a.Pos);
    SelB_ = PointOf(b.Para, b.Pos);
  }
  List_->SetMarker(kSelA, 0, 0);
  List_->SetMarker(kSelB, 0, 0);
}

// ---------------------------------------------------------------- view

void TQedTextFileEditor::Metrics() {
  if (CharW_ > 0 && MetricsFont_ == FixedFont.Font()) return;
  TBitmap& b = Box_.Buffer();
  TCanvas& c = b.Canvas();
  const TFont saved = c.Font;
  c.Font = FixedFont.Font();
  const TPoint e = c.TextExtent("W");
  c.Font = saved;
  CharW_ = std::max(e.X, 1);
  // A row is the font's height and one pixel: the text stands one pixel
  // below the row's top.
  LineH_ = std::max(e.Y, 1) + 1;
  MetricsFont_ = FixedFont.Font();
}

int32_t TQedTextFileEditor::VisibleLines() const {
  const int h = const_cast<TQedTextFileEditor*>(this)->LineHeight();
  return std::max(1, Box_.Height() / h);
}

int32_t TQedTextFileEditor::VisibleCols() const {
  const int w = const_cast<TQedTextFileEditor*>(this)->CharWidth();
  // The last column may be cut by the right edge.
  return std::max(1, (Box_.Width() - LeftMargin - RightMargin) / w + 1);
}

void TQedTextFileEditor::SetTopLine(int32_t line) {
  if (line < 1 || line > LineCount()) throw EInvalidLineOrPara();
  if (line != Top_) ScrollBy(0, line - Top_);
}

void TQedTextFileEditor::SetTop(int32_t top) {
  if (top == Top_) return;
  Top_ = top;
  UpdateScrollBars();
  if (OnTopLineChanged) OnTopLineChanged(Top_);
}

void TQedTextFileEditor::ScrollBy(int32_t columns, int32_t lines) {
  const int32_t oldTop = Top_, oldLeft = Left_;
  const int32_t left = Left_ - 1;
  Left_ = (columns < 0 && -int64_t(columns) > left) ? 1 : int32_t(std::min<int64_t>(int64_t(left) + columns, 32767)) + 1;
  if (lines != 0) {
    const int32_t maxTop = std::max(1, LineCount() - (VisibleLines() - 1));
    Top_ = int32_t(std::clamp<int64_t>(int64_t(Top_) + lines, 1, maxTop));
  }
  if (Top_ == oldTop && Left_ == oldLeft) {
    PlaceCaret();
    Status();
    return;
  }
  UpdateScrollBars();
  Invalidate();
  if (Top_ != oldTop && OnTopLineChanged) OnTopLineChanged(Top_);
}

// The caret stays in view: one line past the bottom or the top scrolls by
// that line; a farther jump shows the caret line in the middle.
void TQedTextFileEditor::ScrollIntoView() {
  const int32_t rows = VisibleLines();
  const int32_t line = Caret_.Line;
  int32_t top = Top_;
  if (line >= top && line < top + rows) {
    // in view
  } else if (line == top + rows) {
    ++top;
  } else if (line == top - 1) {
    top = line;
  } else {
    top = std::max(1, line - rows / 2);
  }
  if (line >= top + rows) top = line - rows + 1;
  top = std::clamp(top, 1, LineCount());
  const int32_t cols = VisibleCols();
  const int32_t col = Caret_.Col, left = Left_ - 1;
  if (col <= left) Left_ = (col - 1 > 2 ? col - 1 : 0) + 1;
  else if (col > left + cols) Left_ = col - cols + 1;
  if (Left_ - 1 != left) UpdateScrollBars();
  SetTop(top);
}

void TQedTextFileEditor::SetCaretPosition(int32_t line, int32_t col) {
  if (line < 1 || line > LineCount() || col < 1) throw EInvalidLineOrPara();
  Caret_ = TTextPoint{line, col};
  ++Stamp_;
  ScrollIntoView();
  Invalidate();
  Status();
}

void TQedTextFileEditor::MoveCaret(TTextPoint p, bool extend) {
  p = Clamp(p);
  if (extend) {
    if (!SelectionExists()) SelA_ = Caret_;
    SelB_ = p;
  } else {
    SelA_ = SelB_ = p;
  }
  Caret_ = p;
  ++Stamp_;
  ScrollIntoView();
  Invalidate();
  Status();
}

bool TQedTextFileEditor::GetSelection(TTextPoint& start, TTextPoint& end) const {
  if (!SelectionExists()) return false;
  start = std::min(SelA_, SelB_);
  end = std::max(SelA_, SelB_);
  return true;
}

void TQedTextFileEditor::SetSelection(TTextPoint a, TTextPoint b, bool caretAtEnd, bool keepCaret) {
  a = Clamp(a);
  b = Clamp(b);
  if (b < a) std::swap(a, b);
  if (!keepCaret) Caret_ = caretAtEnd ? b : a;
  SelA_ = caretAtEnd ? a : b;
  SelB_ = caretAtEnd ? b : a;
  ++Stamp_;
  ScrollIntoView();
  Invalidate();
  Status();
}

void TQedTextFileEditor::Deselect(bool toEnd) {
  TTextPoint s, e;
  if (GetSelection(s, e)) Caret_ = toEnd ? e : s;
  SelA_ = SelB_ = Caret_;
  ++Stamp_;
  Invalidate();
  Status();
}

std::string TQedTextFileEditor::SelectedText() const {
  TTextPoint s, e;
  if (!GetSelection(s, e)) return {};
  const TParaPos a = ParaPosOf(s), b = ParaPosOf(e);
  return List_->GetRange(a.Para, a.Pos, b.Para, b.Pos);
}

// ---------------------------------------------------------------- editing

void TQedTextFileEditor::TypeChar(char ch) {
  const TActing acting(*this);
  if (ReadOnly) return;
  SaveSelectionToMarkers();
  const auto [para, pos] = ParaPosOf(Caret_);
  int r;
  if (!InsertMode_ && pos <= List_->ParaLength(para))
    r = List_->ReplaceText(para, pos, 1, std::string(1, ch));
  else
    r = List_->InsertText(para, pos, std::string(1, ch));
  LoadSelectionFromMarkers();
  if (Report(r)) return;
  Caret_ = PointOf(para, pos + 1);
  if (!SelectionExists()) SelA_ = SelB_ = Caret_;
  Changed();
}

void TQedTextFileEditor::NewLine() {
  const TActing acting(*this);
  if (!WantEnter) return;
  if (!InsertMode_ || ReadOnly) {
    if (Caret_.Line < LineCount()) MoveCaret({Caret_.Line + 1, 1}, false);
    else MoveCaret({Caret_.Line, EndCol(Caret_.Line)}, false);
    return;
  }
  const TParaPos at = ParaPosOf(Caret_);
  int32_t indent = 0;
  if (AutoIndent) {
    const std::string e = List_->Expanded(at.Para);
    const size_t first = e.find_first_not_of(' ');
    indent = first == std::string::npos ? 0 : int32_t(first);
  }
  SaveSelectionToMarkers();
  const int32_t pos = std::min(at.Pos, List_->ParaLength(at.Para) + 1);
  const int r = List_->SplitPara(at.Para, pos, true, indent, TabType == ttReal ? List_->TabSize() : 0);
  LoadSelectionFromMarkers();
  if (Report(r)) return;
  Caret_ = PointOf(at.Para + 1, indent + 1);
  if (!SelectionExists()) SelA_ = SelB_ = Caret_;
  Changed();
}

void TQedTextFileEditor::Tab() {
  const TActing acting(*this);
  if (!WantTab || ReadOnly) return;
  if (TabType == ttReal) {
    TypeChar('\t');
    return;
  }
  const int32_t ts = List_->TabSize();
  int32_t target = ((Caret_.Col - 1) / ts + 1) * ts + 1;
  if (TabType == ttSmart) {
    int32_t ref = 0;
    if (Caret_.Line > 1) {
      ref = Caret_.Line - 1;
      if (List_->GetLine(ref).Length == 0 && Caret_.Line < LineCount()) ref = Caret_.Line + 1;
    }
    if (ref > 0) {
      const std::string e = List_->ExpandedLine(List_->GetLine(ref));
      size_t i = size_t(Caret_.Col - 1);
      while (i < e.size() && e[i] != ' ') ++i;
      while (i < e.size() && e[i] == ' ') ++i;
      if (int32_t(i) + 1 > Caret_.Col && i < e.size()) target = int32_t(i) + 1;
    }
  }
  const int32_t n = target - Caret_.Col;
  const std::string blanks(size_t(n), ' ');
  const auto [para, pos] = ParaPosOf(Caret_);
  const bool wasOpen = List_->BeginGroup();
  SaveSelectionToMarkers();
  if (!InsertMode_) List_->DeleteText(para, pos, n);
  const int r = List_->InsertText(para, pos, blanks);
  LoadSelectionFromMarkers();
  List_->EndGroup(wasOpen);
  if (Report(r)) return;
  Caret_ = PointOf(para, pos + n);
  if (!SelectionExists()) SelA_ = SelB_ = Caret_;
  Changed();
}

void TQedTextFileEditor::DeleteBack() {
  const TActing acting(*this);
  if (ReadOnly) {
    if (Caret_.Col > 1) MoveCaret({Caret_.Line, Caret_.Col - 1}, false);
    return;
  }
  const auto [para, pos] = ParaPosOf(Caret_);
  const int32_t len = List_->ParaLength(para);
  SaveSelectionToMarkers();
  if (pos > len + 1) {
    Caret_.Col -= 1;  // beyond the end: only the caret moves
  } else if (pos > 1) {
    List_->DeleteText(para, pos - 1, 1);
    Caret_ = PointOf(para, pos - 1);
  } else if (para > 1) {
    const int32_t prev = para - 1;
    const int32_t at = List_->ParaLength(prev) + 1;
    const int r = List_->JoinParas(prev, at);
    LoadSelectionFromMarkers();
    if (Report(r)) return;
    Caret_ = PointOf(prev, at);
  }
  LoadSelectionFromMarkers();
  if (!SelectionExists()) SelA_ = SelB_ = Caret_;
  Changed();
}

void TQedTextFileEditor::DeleteForward() {
  const TActing acting(*this);
  if (ReadOnly) return;
  const auto [para, pos] = ParaPosOf(Caret_);
  SaveSelectionToMarkers();
  int r = 0;
  if (pos <= List_->ParaLength(para)) List_->DeleteText(para, pos, 1);
  else if (para < List_->ParaCount()) r = List_->JoinParas(para, pos);
  LoadSelectionFromMarkers();
  if (Report(r)) return;
  // The caret stays on the same character, which wrapping may have moved.
  Caret_ = PointOf(para, pos);
  if (!SelectionExists()) SelA_ = SelB_ = Caret_;
  Changed();
}

void TQedTextFileEditor::InsertString(const std::string& text) {
  const TActing acting(*this);
  if (ReadOnly || text.empty()) return;
  const TParaPos at = ParaPosOf(Caret_);
  int32_t p = at.Para, pos = std::min(at.Pos, List_->ParaLength(at.Para) + 1);
  const bool wasOpen = List_->BeginGroup();
  int r = 0;
  for (size_t at = 0; at < text.size() && r == 0;) {
    size_t n = std::min(kPastePiece, text.size() - at);
    while (at + n < text.size() && (text[at + n] == '\r' || text[at + n] == '\n')) ++n;
    r = List_->InsertTextBlock(p, pos, text.substr(at, n));
    at += n;
  }
  List_->EndGroup(wasOpen);
  Caret_ = PointOf(p, pos);
  Report(r);
  Changed();
}

void TQedTextFileEditor::DeleteSelection() {
  const TActing acting(*this);
  TTextPoint s, e;
  if (ReadOnly || !GetSelection(s, e)) return;
  const TParaPos a = ParaPosOf(s), b = ParaPosOf(e);
  const int32_t p1 = std::min(a.Pos, List_->ParaLength(a.Para) + 1);
  const int32_t p2 = std::min(b.Pos, List_->ParaLength(b.Para) + 1);
  List_->DeleteRange(a.Para, p1, b.Para, p2);
  Caret_ = PointOf(a.Para, p1);
  SelA_ = SelB_ = Caret_;
  Changed();
}

void TQedTextFileEditor::ReplaceSelection(const std::string& text) {
  const TActing acting(*this);
  TTextPoint s, e;
  if (!GetSelection(s, e)) return;
  const TParaPos a = ParaPosOf(s), b = ParaPosOf(e);
  const int32_t p1 = a.Pos, p2 = b.Pos;
  if (a.Para == b.Para && text.find_first_of("\r\n") == std::string::npos) {
    const bool wasOpen = List_->BeginGroup();
    const int r = List_->ReplaceText(a.Para, p1, p2 - p1, text);
    List_->EndGroup(wasOpen);
    if (Report(r)) return;
    Caret_ = PointOf(a.Para, p1 + int32_t(text.size()));
  } else {
    const bool wasOpen = List_->BeginGroup();
    List_->DeleteRange(a.Para, p1, b.Para, p2);
    int32_t p = a.Para, pos = p1;
    const int r = List_->InsertTextBlock(p, pos, text);
    List_->EndGroup(wasOpen);
    if (Report(r)) return;
    Caret_ = PointOf(p, pos);
  }
  SelA_ = SelB_ = Caret_;
  KeyTaken_ = true;
  if (OnChange) OnChange();
}

void TQedTextFileEditor::CopyToClipboard() {
  if (SelectionExists()) SetClipboardText(SelectedText());
}

void TQedTextFileEditor::CutToClipboard() {
  const TActing acting(*this);
  CopyToClipboard();
  if (!ReadOnly) DeleteSelection();
}

void TQedTextFileEditor::PasteFromClipboard() {
  const TActing acting(*this);
  if (ReadOnly) return;
  const std::string text = GetClipboardText();
  if (text.empty()) return;
  SelA_ = SelB_ = Caret_;
  const TParaPos at = ParaPosOf(Caret_);
  const TParaPos start{at.Para, std::min(at.Pos, List_->ParaLength(at.Para) + 1)};
  InsertString(text);
  SetSelection(PointOf(start.Para, start.Pos), Caret_, true);
}

void TQedTextFileEditor::Undo() {
  const TActing acting(*this);
  auto [p, pos] = ParaPosOf(Caret_);
  if (ReadOnly || !List_->UndoGroup(p, pos)) {
    MessageBeep(MB_OK);
    return;
  }
  Caret_ = PointOf(p, pos);
  SelA_ = SelB_ = Caret_;
  Changed();
}

void TQedTextFileEditor::Redo() {
  const TActing acting(*this);
  auto [p, pos] = ParaPosOf(Caret_);
  if (ReadOnly || !List_->RedoGroup(p, pos)) {
    MessageBeep(MB_OK);
    return;
  }
  Caret_ = PointOf(p, pos);
  SelA_ = SelB_ = Caret_;
  Changed();
}

// ---------------------------------------------------------------- bookmarks

void TQedTextFileEditor::ToggleMarker(int n) {
  if (n < 0 || n > 9) return;
  const TParaPos at = ParaPosOf(Caret_);
  const int32_t pos = std::min(at.Pos, List_->ParaLength(at.Para) + 1);
  const TMarker m = List_->Marker(n);
  if (m.Para == at.Para && m.Pos == pos) List_->SetMarker(n, 0, 0);
  else List_->SetMarker(n, at.Para, pos);
  Invalidate();
}

void TQedTextFileEditor::ClearMarker(int n) {
  if (n >= 0 && n <= 9) List_->SetMarker(n, 0, 0);
  Invalidate();
}

void TQedTextFileEditor::GotoMarker(int n) {
  if (n < 0 || n > 9 || List_->Marker(n).Para == 0) return;
  MoveCaret(PointOf(List_->Marker(n).Para, List_->Marker(n).Pos), false);
}

TTextPoint TQedTextFileEditor::GetMarkerPosition(int n) const {
  if (n < 0 || n > 9 || List_->Marker(n).Para == 0) return TTextPoint{-1, -1};
  return PointOf(List_->Marker(n).Para, List_->Marker(n).Pos);
}

void TQedTextFileEditor::SetMarkerAt(int n, int32_t line, int32_t col) {
  if (line < 1 || line > LineCount() || col < 1) throw EInvalidLineOrCol();
  if (n < 0 || n > 9) return;
  const TParaPos at = ParaPosOf(TTextPoint{line, col});
  List_->SetMarker(n, at.Para, at.Pos);
  Invalidate();
}

// ---------------------------------------------------------------- words

bool TQedTextFileEditor::IsDelimiter(char c) const {
  static const std::string kDelims = std::string("\t'\r\n ,./?;:`\"<>[]{}-=\\+|()%@&^$#!~*");
  return kDelims.find(c) != std::string::npos;
}

TTextPoint TQedTextFileEditor::WordLeft(TTextPoint p) const {
  const TParaPos at = ParaPosOf(p);
  int32_t i = std::min(at.Pos, List_->ParaLength(at.Para) + 1) - 1;  // characters before the caret
  if (i == 0) {
    if (at.Para == 1) return p;
    return PointOf(at.Para - 1, List_->ParaLength(at.Para - 1) + 1);
  }
  const std::string& s = List_->Para(at.Para);
  while (i > 0 && IsDelimiter(s[size_t(i - 1)])) --i;
  while (i > 0 && !IsDelimiter(s[size_t(i - 1)])) --i;
  return PointOf(at.Para, i + 1);
}

TTextPoint TQedTextFileEditor::WordRight(TTextPoint p) const {
  const TParaPos at = ParaPosOf(p);
  const std::string& s = List_->Para(at.Para);
  int32_t i = at.Pos - 1;
  if (i >= int32_t(s.size())) {
    if (at.Para == List_->ParaCount()) return p;
    return PointOf(at.Para + 1, 1);
  }
  while (i < int32_t(s.size()) && !IsDelimiter(s[size_t(i)])) ++i;
  while (i < int32_t(s.size()) && IsDelimiter(s[size_t(i)])) ++i;
  return PointOf(at.Para, i + 1);
}

std::string TQedTextFileEditor::GetCurrentWord() const {
  const TParaPos at = ParaPosOf(Caret_);
  const std::string& s = List_->Para(at.Para);
  int32_t i = at.Pos - 1;
  if (i > int32_t(s.size())) return {};
  int32_t a = i, b = i;
  while (a > 0 && !IsDelimiter(s[size_t(a - 1)])) --a;
  while (b < int32_t(s.size()) && !IsDelimiter(s[size_t(b)])) ++b;
  return s.substr(size_t(a), size_t(b - a));
}

std::string TQedTextFileEditor::GetPrintableLine(int32_t line, size_t size) const {
  if (line < 1 || line > LineCount()) throw EInvalidLineOrPara();
  std::string s = List_->ExpandedLine(List_->GetLine(line));
  if (size > 0 && s.size() > size - 1) s.resize(size - 1);
  return s;
}

// ---------------------------------------------------------------- search

bool TQedTextFileEditor::FindFrom(const std::string& pat, uint8_t options, int32_t& p, int32_t& pos,
                                  const TMarker& s1, const TMarker& s2) {
  const bool backward = options & soBackward;
  const bool caseSens = options & soCaseSensitive;
  const bool whole = options & soWholeWords;
  const std::string needle = caseSens ? pat : Upper(pat);
  const size_t n = needle.size();
  auto accept = [&](const std::string& s, int32_t para, size_t i) {
    const int32_t a = int32_t(i) + 1, b = a + int32_t(n);
    if (para < s1.Para || (para == s1.Para && a < s1.Pos)) return false;
    if (para > s2.Para || (para == s2.Para && b > s2.Pos)) return false;
    if (whole) {
      if (i > 0 && !IsDelimiter(s[i - 1])) return false;
      if (i + n < s.size() && !IsDelimiter(s[i + n])) return false;
    }
    return true;
  };
  std::string upper;
  if (!backward) {
    for (int32_t para = std::max(p, s1.Para); para <= std::min(s2.Para, List_->ParaCount()); ++para) {
      const std::string& raw = List_->Para(para);
      const std::string* s = &raw;
      if (!caseSens) {
        upper = Upper(raw);
        s = &upper;
      }
      size_t from = para == p ? size_t(std::max(pos, 1) - 1) : 0;
      while (from <= s->size()) {
        const size_t i = s->find(needle, from);
        if (i == std::string::npos) break;
        if (accept(*s, para, i)) {
          p = para;
          pos = int32_t(i) + 1;
          return true;
        }
        from = i + 1;
      }
    }
    return false;
  }
  for (int32_t para = std::min(p, s2.Para); para >= std::max(s1.Para, 1); --para) {
    const std::string& raw = List_->Para(para);
    const std::string* s = &raw;
    if (!caseSens) {
      upper = Upper(raw);
      s = &upper;
    }
    if (s->size() < n) continue;
    // Matches that start before the caret.
    int64_t from = para == p ? int64_t(pos) - 2 : int64_t(s->size());
    while (from >= 0) {
      const size_t i = s->rfind(needle, size_t(from));
      if (i == std::string::npos) break;
      if (accept(*s, para, i)) {
        p = para;
        pos = int32_t(i) + 1;
        return true;
      }
      from = int64_t(i) - 1;
    }
  }
  return false;
}

void TQedTextFileEditor::KeepSearchScope(TTextPoint a, TTextPoint b) {
  if (b < a) std::swap(a, b);
  const TParaPos pa = ParaPosOf(Clamp(a)), pb = ParaPosOf(Clamp(b));
  TKeptScope k;
  k.Para = pa.Para;
  k.Pos = std::min(pa.Pos, List_->ParaLength(pa.Para) + 1);
  k.ParasAfter = List_->ParaCount() - pb.Para;
  k.CharsAfter = List_->ParaLength(pb.Para) + 1 - std::min(pb.Pos, List_->ParaLength(pb.Para) + 1);
  Scope_ = k;
}

TMarker TQedTextFileEditor::ScopeEnd() const {
  const int32_t para = std::clamp(List_->ParaCount() - Scope_->ParasAfter, 1, List_->ParaCount());
  return TMarker{para, std::max(1, List_->ParaLength(para) + 1 - Scope_->CharsAfter)};
}

bool TQedTextFileEditor::KeptSearchScope(TTextPoint& a, TTextPoint& b) const {
  if (!Scope_) return false;
  const int32_t para = std::clamp(Scope_->Para, 1, List_->ParaCount());
  a = PointOf(para, std::min(Scope_->Pos, List_->ParaLength(para) + 1));
  const TMarker e = ScopeEnd();
  b = PointOf(e.Para, e.Pos);
  return true;
}

bool TQedTextFileEditor::SelectionMatches(const std::string& text, uint8_t options) const {
  TTextPoint a, b;
  // A match lies within one line.
  if (text.empty() || !GetSelection(a, b) || a.Line != b.Line) return false;
  const std::string cur = SelectedText();
  if ((options & soCaseSensitive) ? cur != text : Upper(cur) != Upper(text)) return false;
  if (!(options & soWholeWords)) return true;
  const TParaPos at = ParaPosOf(a);
  const std::string& s = List_->Para(at.Para);
  const size_t i = size_t(at.Pos - 1), n = cur.size();
  return (i == 0 || IsDelimiter(s[i - 1])) && (i + n >= s.size() || IsDelimiter(s[i + n]));
}

bool TQedTextFileEditor::Search(const std::string& text, uint8_t options) {
  return Replace(text, std::string(), uint8_t(options & ~(soReplace | soReplaceAll))) == 0;
}

int TQedTextFileEditor::Replace(const std::string& text, const std::string& replacement, uint8_t options) {
  const TActing acting(*this);
  const bool replacing = options & (soReplace | soReplaceAll);
  if (text.empty()) return 0;
  const bool backward = options & soBackward;
  TTextPoint ss, se;
  const bool sel = GetSelection(ss, se);
  const int32_t last = List_->ParaCount();
  TMarker s1{1, 1}, s2{last, List_->ParaLength(last) + 1};
  bool scoped = false;
  if ((options & soSelectedOnly) && Scope_) {
    s1 = TMarker{Scope_->Para, Scope_->Pos};
    s2 = ScopeEnd();
    scoped = true;
  } else if ((options & soSelectedOnly) && sel) {
    const TParaPos a = ParaPosOf(ss), b = ParaPosOf(se);
    s1 = TMarker{a.Para, a.Pos};
    s2 = TMarker{b.Para, b.Pos};
    scoped = true;
  }
  List_->SetMarker(kScopeEnd, s2.Para, s2.Pos);
  int count = 0;
  auto [p, pos] = ParaPosOf(Caret_);
  const bool matchSelected = sel && SelectionMatches(text, options);
  // The search starts at the caret. A selected match (the last one found,
  // its caret at either end) is not found again in either direction: a
  // search forward after a backward one goes on past it. Any other
  // selection, such as the scope marked again after a find, is no match to
  // skip.
  if (matchSelected) {
    const TParaPos a = ParaPosOf(backward ? ss : se);
    p = a.Para;
    pos = a.Pos;
  }
  if (replacing && matchSelected && !ReadOnly) {
    const TParaPos a = ParaPosOf(ss);
    const int32_t start = a.Pos;
    ReplaceSelection(replacement);
    ++count;
    p = a.Para;
    pos = backward ? start : start + int32_t(replacement.size());
  }
  if (options & soEntireScope) {
    p = backward ? s2.Para : s1.Para;
    pos = backward ? s2.Pos + 1 : s1.Pos;
  }
  bool found = false;
  for (;;) {
    const TMarker end = List_->Marker(kScopeEnd);
    if (!FindFrom(text, options, p, pos, s1, end.Para ? end : s2)) break;
    found = true;
    const TTextPoint a = PointOf(p, pos), b = PointOf(p, pos + int32_t(text.size()));
    if (!(options & soReplaceAll) || ReadOnly) {
      SetSelection(a, b, !backward);
      break;
    }
    SelA_ = a;
    SelB_ = b;
    ReplaceSelection(replacement);
    ++count;
    if (!backward) pos += int32_t(replacement.size());
  }
  const TMarker end = List_->Marker(kScopeEnd);
  List_->SetMarker(kScopeEnd, 0, 0);
  if ((options & soReplaceAll) && count > 0) {
    if (scoped) SetSelection(PointOf(s1.Para, s1.Pos), PointOf(end.Para, end.Pos));
    else SelA_ = SelB_ = Caret_;
    Changed();
  }
  if (count > 0) return count;
  return found ? 0 : -1;
}

// ---------------------------------------------------------------- commands

void TQedTextFileEditor::ExecuteCommand(uint16_t command, char ch) {
  const TActing acting(*this);
  KeyTaken_ = true;
  const int32_t page = std::max(1, VisibleLines() - 1);
  const TTextPoint c = Caret_;
  const int32_t endCol = EndCol(c.Line);
  auto go = [&](TTextPoint p, bool extend) { MoveCaret(p, extend); };
  // Left at column 1 goes to the end of the line above; right at a line's
  // end to the start of the next one (unless the caret may pass the end).
  const TTextPoint left = c.Col <= 1 && WrapAtLeft_ && c.Line > 1 ? TTextPoint{c.Line - 1, EndCol(c.Line - 1)}
                                                                  : TTextPoint{c.Line, c.Col - 1};
  const TTextPoint right = !ScrollPastEnd_ && c.Col >= endCol && c.Line < LineCount() ? TTextPoint{c.Line + 1, 1}
                                                                                       : TTextPoint{c.Line, c.Col + 1};
  switch (command) {
    case ccLeft: go(left, false); break;
    case ccRight: go(right, false); break;
    case ccUp: go({c.Line - 1, c.Col}, false); break;
    case ccDown: go({c.Line + 1, c.Col}, false); break;
    case ccWordLeft: go(WordLeft(c), false); break;
    case ccWordRight: go(WordRight(c), false); break;
    case ccHome: go({c.Line, 1}, false); break;
    case ccEnd: go({c.Line, endCol}, false); break;
    case ccPrevPage: SetTop(std::max(1, Top_ - page)); go({c.Line - page, c.Col}, false); break;
    case ccNextPage: SetTop(std::clamp(Top_ + page, 1, LineCount())); go({c.Line + page, c.Col}, false); break;
    case ccTopOfPage: go({Top_, c.Col}, false); break;
    case ccBotOfPage: go({std::min(Top_ + VisibleLines() - 1, LineCount()), c.Col}, false); break;
    case ccFirstPage: go({1, 1}, false); break;
    case ccLastPage: go({LineCount(), EndCol(LineCount())}, false); break;
    case ccExtendLeft: go(left, true); break;
    case ccExtendRight: go(right, true); break;
    case ccExtendUp: go({c.Line - 1, c.Col}, true); break;
    case ccExtendDown: go({c.Line + 1, c.Col}, true); break;
    case ccExtendHome: go({c.Line, 1}, true); break;
    case ccExtendEnd: go({c.Line, endCol}, true); break;
    case ccExtendPgUp: go({c.Line - page, c.Col}, true); break;
    case ccExtendPgDn: go({c.Line + page, c.Col}, true); break;
    case ccExtWordLeft: go(WordLeft(c), true); break;
    case ccExtWordRight: go(WordRight(c), true); break;
    case ccExtTopOfPage: go({Top_, c.Col}, true); break;
    case ccExtBotOfPage: go({std::min(Top_ + VisibleLines() - 1, LineCount()), c.Col}, true); break;
    case ccExtFirstPage: go({1, 1}, true); break;
    case ccExtLastPage: go({LineCount(), EndCol(LineCount())}, true); break;
    case ccScrollUp:
      if (Top_ > 1) {
        SetTop(Top_ - 1);
        if (c.Line >= Top_ + VisibleLines()) go({c.Line - 1, c.Col}, false);
        Invalidate();
      }
      break;
    case ccScrollDown:
      if (Top_ < LineCount()) {
        SetTop(Top_ + 1);
        if (c.Line < Top_) go({Top_, c.Col}, false);
        Invalidate();
      }
      break;
    case ccBack: DeleteBack(); break;
    case ccDel: DeleteForward(); break;
    // Line deletions work on the caret's display line.
    case ccDelBol:
      if (!ReadOnly) {
        const TLineRef l = List_->GetLine(c.Line);
        const int32_t pos = std::min(PosOf(c), l.Start + l.Length + 1);
        if (pos > l.Start + 1) {
          List_->DeleteText(l.Para, l.Start + 1, pos - l.Start - 1);
          Caret_ = PointOf(l.Para, l.Start + 1);
          Changed();
        }
      }
      break;
    case ccDelEol:
      if (!ReadOnly) {
        const TLineRef l = List_->GetLine(c.Line);
        const int32_t pos = PosOf(c);
        List_->DeleteText(l.Para, pos, l.Start + l.Length + 1 - pos);
        Caret_ = PointOf(l.Para, pos);
        Changed();
      }
      break;
    case ccDelLine:
      if (!ReadOnly) {
        const TLineRef l = List_->GetLine(c.Line);
        if (l.LineInPara > 1 || !l.LastOfPara) {
          // One display line of a wrapped paragraph: its characters go.
          List_->DeleteText(l.Para, l.Start + 1, l.Length);
          Caret_ = PointOf(l.Para, l.Start + 1);
        } else {
          if (l.Para < List_->ParaCount()) List_->DeletePara(l.Para);
          else List_->DeleteText(l.Para, 1, List_->ParaLength(l.Para));
          Caret_ = PointOf(std::min(l.Para, List_->ParaCount()), 1);
        }
        SelA_ = SelB_ = Caret_;
        Changed();
      }
      break;
    case ccDelWord:
      if (!ReadOnly) {
        const TParaPos at = ParaPosOf(c);
        const TParaPos r = ParaPosOf(WordRight(c));
        if (r.Para == at.Para && r.Pos > at.Pos) {
          List_->DeleteText(at.Para, at.Pos, r.Pos - at.Pos);
          Caret_ = PointOf(at.Para, at.Pos);
          Changed();
        } else {
          DeleteForward();
        }
      }
      break;
    case ccIns: SetInsertMode(!InsertMode_); break;
    case ccNewLine: NewLine(); break;
    case ccTab: Tab(); break;
    case ccCut: CutToClipboard(); break;
    case ccCopy: CopyToClipboard(); break;
    case ccPaste: PasteFromClipboard(); break;
    case ccUndo: case ccRestore: Undo(); break;
    case ccRedo: Redo(); break;
    case ccCtrlChar: CtrlCharNext_ = true; break;
    case ccChar: TypeChar(ch); break;
    default:
      if (command >= ccSetMarker0 && command <= ccSetMarker9) ToggleMarker(command - ccSetMarker0);
      else if (command >= ccGotoMarker0 && command <= ccGotoMarker9) GotoMarker(command - ccGotoMarker0);
      else if (command >= ccUser) {
        if (OnUserCommand) OnUserCommand(command);
      } else {
        KeyTaken_ = false;
      }
  }
}

bool TQedTextFileEditor::KeyDown(uint16_t key, TShiftState shift) {
  const uint16_t cmd = Processor_->TranslateKey(key, shift);
  if (cmd == ccSequence || cmd == ccBroken) return true;
  if (cmd == ccChar) {
    // A control character after ccCtrlChar: Ctrl+letter types its code.
    if (CtrlCharNext_ && (shift & ssCtrl) && key >= 'A' && key <= 'Z') {
      CtrlCharNext_ = false;
      TypeChar(char(key - 'A' + 1));
      return true;
    }
    return false;
  }
  KeyTaken_ = false;
  ExecuteCommand(cmd);
  return KeyTaken_;
}

bool TQedTextFileEditor::KeyPress(char ch) {
  if (CtrlCharNext_) {
    CtrlCharNext_ = false;
    TypeChar(ch);
    return true;
  }
  if (ch == '\r') {
    if (!WantEnter) return false;
    NewLine();
    return true;
  }
  if (uint8_t(ch) < 32) return false;
  TypeChar(ch);
  return true;
}

TTextPoint TQedTextFileEditor::PointAt(int x, int y) {
  return TTextPoint{Top_ + std::max(0, y) / LineHeight(), std::max(1, Left_ + (x - LeftMargin) / CharWidth())};
}

void TQedTextFileEditor::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button != mbLeft) return;
  StopAutoScroll();
  MoveCaret(PointAt(x, y), (shift & ssShift) != 0);
}

void TQedTextFileEditor::DragSteps(int x, int y, int32_t& lines, int32_t& cols) {
  const int lh = LineHeight(), cw = CharWidth();
  const int bottom = VisibleLines() * lh;
  // The last, partly shown column is inside while it is on the control.
  const int right = std::min(Box_.Width(), LeftMargin + VisibleCols() * cw);
  const auto step = [](int beyond, int unit) { return std::min(1 + beyond / unit, kMostAutoScrollStep); };
  lines = y < 0 ? -step(-y - 1, lh) : y >= bottom ? step(y - bottom, lh) : 0;
  // Over the left margin only while there are columns to bring back.
  cols = x < LeftMargin ? (Left_ > 1 ? -step(LeftMargin - 1 - x, cw) : 0) : x >= right ? step(x - right, cw) : 0;
}

void TQedTextFileEditor::MouseMove(TShiftState shift, int x, int y) {
  if (!(shift & ssLeft)) {
    StopAutoScroll();
    return;
  }
  DragX_ = x;
  DragY_ = y;
  int32_t lines, cols;
  DragSteps(x, y, lines, cols);
  // Past an edge the caret goes to the line or column just beyond it (the
  // view following by that one), never farther: the timer scrolls on.
  int32_t line = Top_ + FloorDiv(y, LineHeight());
  if (lines != 0) line = lines > 0 ? Top_ + VisibleLines() : Top_ - 1;
  int32_t col = Left_ + FloorDiv(x - LeftMargin, CharWidth());
  if (cols != 0) col = cols > 0 ? Left_ + VisibleCols() : Left_ - 1;
  MoveCaret(TTextPoint{std::max(1, line), std::max(1, col)}, true);
  if (lines == 0 && cols == 0) StopAutoScroll();
  else if (ScrollTrigger_ == 0)
    ScrollTrigger_ = Pool_->Add(kAutoScrollInterval, [this](int, uint32_t, uint32_t) { AutoScroll(); });
}

void TQedTextFileEditor::MouseUp(TMouseButton button, TShiftState, int, int) {
  if (button == mbLeft) StopAutoScroll();
}

void TQedTextFileEditor::StopAutoScroll() {
  if (ScrollTrigger_ == 0) return;
  Pool_->Remove(ScrollTrigger_);
  ScrollTrigger_ = 0;
}

// One step of a drag held past the text: the view moves by the step and
// the selection is extended to the edge line (and column) the view now
// shows, or to the pointer's own where it is within the text's extent.
void TQedTextFileEditor::AutoScroll() {
  int32_t lines, cols;
  DragSteps(DragX_, DragY_, lines, cols);
  if (lines == 0 && cols == 0) {
    StopAutoScroll();
    return;
  }
  if (lines != 0) ScrollBy(0, lines);
  TTextPoint p{Top_ + FloorDiv(DragY_, LineHeight()), Left_ + FloorDiv(DragX_ - LeftMargin, CharWidth())};
  if (lines != 0) p.Line = lines > 0 ? Top_ + VisibleLines() - 1 : Top_;
  // Columns go through the caret: the view follows it no farther than the
  // line's end.
  if (cols != 0) p.Col = cols > 0 ? Left_ + VisibleCols() - 1 + cols : Left_ + cols;
  p = Clamp(TTextPoint{std::max(1, p.Line), std::max(1, p.Col)});
  if (p == Caret_) return;
  MoveCaret(p, true);
}

void TQedTextFileEditor::DblClick(TShiftState shift, int x, int y) {
  const TTextPoint at = Clamp(PointAt(x, y));
  const TParaPos pp = ParaPosOf(at);
  const std::string& s = List_->Para(pp.Para);
  int32_t a, b;  // positions of the unit's first character and the one after it
  if (x < LeftMargin) {
    a = 1;
    b = int32_t(s.size()) + 1;
  } else {
    a = b = std::min(pp.Pos, int32_t(s.size()) + 1);
    while (a > 1 && !IsDelimiter(s[size_t(a - 2)])) --a;
    while (b <= int32_t(s.size()) && !IsDelimiter(s[size_t(b - 1)])) ++b;
    if (a == b && b <= int32_t(s.size())) ++b;  // a delimiter alone is its own unit
  }
  TTextPoint from = PointOf(pp.Para, a), to = PointOf(pp.Para, b);
  TTextPoint ss, se;
  if ((shift & ssShift) && GetSelection(ss, se)) {
    // The selection grows by the unit on the side it was clicked.
    from = std::min(from, ss);
    to = std::max(to, se);
  }
  SetSelection(from, to, true);
}

// ---------------------------------------------------------------- scroll bars

void TQedTextFileEditor::AttachScrollBars(TScrollBar* horizontal, TScrollBar* vertical) {
  HBar_ = horizontal;
  VBar_ = vertical;
  if (HBar_) HBar_->OnScroll = [this](TScrollBar&, TScrollCode code, int pos) { HScroll(code, pos); };
  if (VBar_) VBar_->OnScroll = [this](TScrollBar&, TScrollCode code, int pos) { VScroll(code, pos); };
  SetScrollBars(ScrollBars_);
}

void TQedTextFileEditor::SetScrollBars(TScrollStyle style) {
  ScrollBars_ = style;
  if (style == ssNone) ScrollBarsAlways_ = false;
  if (HBar_) HBar_->SetVisible(style == ssHorizontal || style == ssBoth);
  if (VBar_) VBar_->SetVisible(style == ssVertical || style == ssBoth);
  UpdateScrollBars();
}

void TQedTextFileEditor::SetScrollBarsAlways(bool on) {
  ScrollBarsAlways_ = on && ScrollBars_ != ssNone;
  UpdateScrollBars();
}

void TQedTextFileEditor::UpdateScrollBars() {
  if (HBar_) {
    const int32_t longest = WordWrap() ? WrapColumn() : List_->ParaLengthLimit;
    int32_t max = std::min<int32_t>(longest, 512);
    if (ScrollBarsAlways_) max = std::max(max, 1);
    const bool need = max > VisibleCols();
    if (!need && !ScrollBarsAlways_) max = 0;
    if (HBar_->Max() != max || HBar_->Min() != 0) HBar_->SetRange(0, max);
    HBar_->SetEnabled(max > 0);
    const int page = std::max(1, VisibleCols() - 1);
    if (HBar_->LargeChange() != page) HBar_->SetChanges(1, page);
    HBar_->SetPosition(Left_ - 1);
  }
  const int32_t vis = VisibleLines();
  const int32_t n = std::max(0, LineCount() - (vis - 1));
  VScale_ = n > 32767 ? (n / 32768) * 2 : 1;
  if (VBar_) {
    int32_t max = std::max(1, n / VScale_);
    if (ScrollBarsAlways_) max = std::max(max, 2);
    if (LineCount() <= vis && !ScrollBarsAlways_) max = 1;
    if (VBar_->Max() != max || VBar_->Min() != 1) VBar_->SetRange(1, max);
    VBar_->SetEnabled(max > 1);
    if (VBar_->LargeChange() != vis) VBar_->SetChanges(1, vis);
    VBar_->SetPosition(Top_ / VScale_);
  }
}

void TQedTextFileEditor::HScroll(TScrollCode code, int position) {
  const int32_t page = std::max(1, VisibleCols() - 1);
  switch (code) {
    case scLineUp: ScrollBy(-1, 0); break;
    case scLineDown: ScrollBy(1, 0); break;
    case scPageUp: ScrollBy(-page, 0); break;
    case scPageDown: ScrollBy(page, 0); break;
    case scPosition: case scTrack:
      if (position != Left_ - 1) {
        Left_ = std::max(0, position) + 1;
        UpdateScrollBars();
        Invalidate();
      }
      break;
    default: break;
  }
}

void TQedTextFileEditor::VScroll(TScrollCode code, int position) {
  const int32_t vis = VisibleLines();
  switch (code) {
    case scLineUp: ScrollBy(0, -1); break;
    case scLineDown: ScrollBy(0, 1); break;
    case scPageUp: ScrollBy(0, -vis); break;
    case scPageDown: ScrollBy(0, vis); break;
    case scPosition: case scTrack: {
      int64_t target;
      if (position <= 1) target = 1;
      else if (VBar_ && position >= VBar_->Max()) target = LineCount() < vis ? 1 : LineCount() - (vis - 1);
      else target = int64_t(position) * VScale_;
      SetTopLine(int32_t(std::clamp<int64_t>(target, 1, LineCount())));
      break;
    }
    default: break;
  }
}

// ---------------------------------------------------------------- files

namespace {

// A name ending in "." names the file without the dot, as the tapes' own
// system has it, unless a file of exactly that name exists: that file is
// the one meant, read and written under its own name.
std::string WithoutEmptyExtension(const std::string& name) {
  if (name.empty() || name.back() != '.') return name;
  struct stat st {};
  if (stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return name;
  return name.substr(0, name.size() - 1);
}

}  // namespace

void TQedTextFileEditor::SetFileName(const std::string& name) {
  const std::string n = WithoutEmptyExtension(name);
  if (Upper(n) != Upper(FileName_)) IsOpen_ = false;
  FileName_ = n;
}

namespace {

// What a first reading of a file finds: its line ends (CR LF, LF and a lone
// CR each end a line), the bytes they take, the bytes of the first (the
// text's line end; 0 when there is none), and whether its last line has
// none.
struct TLineCount {
  int64_t Ends = 0, EndBytes = 0;
  int32_t FirstEndBytes = 0;
  bool LastUnended = false;
  int64_t Lines() const { return Ends + (LastUnended ? 1 : 0); }
};

bool CountLines(std::FILE* f, std::vector<char>& buf, TLineCount& count) {
  bool afterCr = false;
  char last = '\n';
  for (;;) {
    const size_t n = std::fread(buf.data(), 1, buf.size(), f);
    if (n == 0) break;
    const char* b = buf.data();
    if (count.FirstEndBytes == 0 && afterCr) {
      count.FirstEndBytes = b[0] == '\n' ? 2 : 1;  // the last block ended in the first CR
    } else if (count.FirstEndBytes == 0) {
      const void* end = std::memchr(b, '\n', n);
      const size_t at = end != nullptr ? size_t(static_cast<const char*>(end) - b) : n;
      const void* cr = std::memchr(b, '\r', at);
      if (cr == nullptr && at < n) count.FirstEndBytes = 1;
      // A CR last in the block is decided by the next one.
      if (cr != nullptr && static_cast<const char*>(cr) + 1 < b + n)
        count.FirstEndBytes = static_cast<const char*>(cr)[1] == '\n' ? 2 : 1;
    }
    uint32_t lf = 0, cr = 0, crlf = afterCr && b[0] == '\n' ? 1 : 0;
    for (size_t i = 0; i < n; ++i) {
      lf += b[i] == '\n';
      cr += b[i] == '\r';
    }
    for (size_t i = 0; i + 1 < n; ++i) crlf += (b[i] == '\r') & (b[i + 1] == '\n');
    count.Ends += int64_t(lf) + cr - crlf;
    count.EndBytes += int64_t(lf) + cr;
    last = b[n - 1];
    afterCr = last == '\r';
  }
  count.LastUnended = last != '\n' && last != '\r';
  if (count.FirstEndBytes == 0 && afterCr) count.FirstEndBytes = 1;
  return !std::ferror(f);
}

}  // namespace

void TQedTextFileEditor::Open() {
  if (!FileName_.empty()) Open(std::string(FileName_));
}

void TQedTextFileEditor::Open(const std::string& fileName) {
  const TActing acting(*this);
  const std::string name = WithoutEmptyExtension(fileName);
  if (name.empty()) return;
  const auto fail = [](int code, const std::string& text) {
    EEditorError e(text);
    e.Code = code;
    throw e;
  };
  const auto refuse = [&](int code) {
    if (code == 0) return;
    if (code == edTooManyParas) fail(code, EditorTooManyLinesText(name, List_->ParaLimit));
    if (code == edTextTooLarge) fail(code, EditorFileTooLargeText(name, List_->ByteLimit));
    throw EEditorError(code);
  };
  struct TClose {
    std::FILE* F;
    ~TClose() { if (F != nullptr) std::fclose(F); }
  } file{std::fopen(name.c_str(), "rb")};
  if (file.F == nullptr) throw std::runtime_error(FileError(errno, name));
  std::unique_ptr<TParaList> loaded = List_->EmptyLike();
  // A file beyond what the text may hold is refused before it is read; its
  // lines are counted before any is kept, and too many, or too many bytes
  // with each line end counted as the text's own (the file's first) takes
  // them, refuse it too.
  const int64_t size = FileSizeOf(name);
  if (size > List_->ByteLimit) refuse(edTextTooLarge);
  std::vector<char> buf(size_t(std::clamp<int64_t>(size + 1, 4096, 1 << 20)));
  TLineCount count;
  if (!CountLines(file.F, buf, count) || std::fseek(file.F, 0, SEEK_SET) != 0)
    throw std::runtime_error(FileError(EIO, name));
  loaded->LineEndBytes = count.FirstEndBytes == 1 ? 1 : 2;
  const int64_t lines = count.Lines();
  refuse(loaded->CheckLimits(0, int32_t(std::min<int64_t>(lines, kNoLimit)),
                             std::max<int64_t>(size - count.EndBytes, 0) + 2 * lines));
  loaded->Reserve(int32_t(std::min<int64_t>(lines, kNoLimit)));
  // Then the lines are kept, a block at a time, a line cut by a block's end
  // moved to the front for the next. The first line end met is the file's,
  // used again when saving. A line longer than a paragraph may hold is kept
  // whole, or refuses the file (RefuseLongLines); the limits are tested
  // again for each line, should the file have grown.
  TLineEnd lineEnd = TLineEnd::CrLf;
  bool lastEnded = true, sawEnd = false, atEof = false;
  const size_t longest = size_t(loaded->ParaLengthLimit);
  const auto keep = [&](const char* s, size_t n) {
    if (RefuseLongLines && n > longest)
      fail(edParaTooLong, EditorLineTooLongText(name, int64_t(loaded->ParaCount()), loaded->ParaLengthLimit));
    refuse(loaded->AppendPara(std::string(s, n), TrimWhiteSpace));
  };
  size_t have = 0;
  for (;;) {
    if (have == buf.size()) buf.resize(buf.size() * 2);
    const size_t n = std::fread(buf.data() + have, 1, buf.size() - have, file.F);
    if (n == 0) {
      if (std::ferror(file.F)) throw std::runtime_error(FileError(EIO, name));
      atEof = true;
    }
    have += n;
    const char* b = buf.data();
    size_t at = 0;
    // Where the next LF and CR stand (have: none in the block), found once
    // and kept until passed.
    size_t lf = 0, cr = 0;
    bool lfKnown = false, crKnown = false;
    const auto next = [&](char c, size_t& where, bool& known) {
      if (!known || where < at) {
        const void* p = std::memchr(b + at, c, have - at);
        where = p != nullptr ? size_t(static_cast<const char*>(p) - b) : have;
        known = true;
      }
      return where;
    };
    for (;;) {
      const size_t l = next('\n', lf, lfKnown), r = next('\r', cr, crKnown);
      size_t end, after;
      TLineEnd kind;
      if (r < l) {
        // A CR last in the block may yet be followed by an LF.
        if (r + 1 == have && !atEof) break;
        end = r;
        const bool pair = r + 1 < have && b[r + 1] == '\n';
        after = r + (pair ? 2 : 1);
        kind = pair ? TLineEnd::CrLf : TLineEnd::Cr;
      } else if (l < have) {
        end = l;
        after = l + 1;
        kind = TLineEnd::Lf;
      } else {
        break;
      }
      if (!sawEnd) {
        sawEnd = true;
        lineEnd = kind;
        loaded->LineEndBytes = kind == TLineEnd::CrLf ? 2 : 1;
      }
      keep(b + at, end - at);
      at = after;
    }
    // A line already too long is refused before more of it is read (a CR
    // last in the block may be its end).
    const size_t rest = have - at - (have > at && b[have - 1] == '\r' ? 1 : 0);
    if (RefuseLongLines && rest > longest) keep(b + at, rest);
    if (atEof) {
      if (at < have) {
        keep(b + at, have - at);
        lastEnded = false;
      }
      break;
    }
    std::memmove(buf.data(), b + at, have - at);
    have -= at;
  }
  // Read in full: only now does the text change.
  buf = std::vector<char>();
  List_->TakeText(*loaded);
  loaded.reset();
  FileName_ = name;
  IsOpen_ = true;
  LineEnd_ = lineEnd;
  LastLineEnded_ = lastEnded;
  Caret_ = SelA_ = SelB_ = TTextPoint{};
  Top_ = Left_ = 1;
  ++Stamp_;
  Invalidate();
  Status();
}

bool TQedTextFileEditor::SaveToFile(const std::string& name, std::string& error) {
  if (name.empty()) return false;
  const char* eol = LineEnd_ == TLineEnd::Lf ? "\n" : LineEnd_ == TLineEnd::Cr ? "\r" : "\r\n";
  TReplacingFile out(name);
  if (!out.Opened()) {
    error = FileError(out.Error(), name);
    return false;
  }
  std::string block;
  block.reserve(1 << 20);
  const TParaList& l = *List_;
  int32_t count = l.ParaCount();
  if (count > 0 && l.ParaLength(count) == 0) --count;
  int err = 0;
  for (int32_t p = 1; p <= count && err == 0; ++p) {
    block += l.Para(p);
    block += eol;
    if (block.size() >= (1 << 20)) {
      err = out.Write(block.data(), block.size());
      block.clear();
    }
  }
  if (err == 0 && !block.empty()) err = out.Write(block.data(), block.size());
  if (err == 0) err = out.Close();
  // The old file goes to the backup name only once the new one has replaced
  // it: a save that fails leaves both the file and its older backup as they
  // were.
  std::unique_ptr<TPendingCopy> backupCopy;
  if (err == 0 && MakeBackup && access(name.c_str(), F_OK) == 0) {
    std::string backup = name;
    const size_t slash = backup.find_last_of('/');
    const size_t dot = backup.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) backup.resize(dot);
    backup += "." + BackupExt;
    if (backup != name) {
      backupCopy = std::make_unique<TPendingCopy>(name, backup);
      err = backupCopy->Error();
    }
  }
  if (err == 0) err = out.Commit();
  // The text is saved; should the backup's rename fail, the older backup
  // stays.
  if (err == 0 && backupCopy != nullptr) (void)backupCopy->Commit();
  if (err != 0) {
    error = FileError(err, name);
    return false;
  }
  List_->SetModified(false);
  Status();
  return true;
}

// ---------------------------------------------------------------- painting

void TQedTextFileEditor::Invalidate() { Box_.Invalidate(); }

namespace {

// The digits of the bookmark glyphs, 3 x 5 pixels each (bit 2 is the left
// column), drawn twice the size.
constexpr uint8_t kDigitRows[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};
constexpr int kGlyphW = 12, kGlyphH = 12;

// The "MARKERS" strip: ten raised silver buttons side by side, each with
// its digit in black.
std::unique_ptr<TBitmap> MakeMarkerGlyphs() {
  auto b = TBitmap::Create(kGlyphW * 10, kGlyphH);
  TCanvas& c = b->Canvas();
  for (int n = 0; n < 10; ++n) {
    const int x0 = n * kGlyphW;
    c.Brush.Style = bsSolid;
    c.Brush.Color = clSilver;
    c.FillRect(TRect{x0, 0, x0 + kGlyphW, kGlyphH});
    for (int i = 0; i < kGlyphW; ++i) {
      c.SetPixel(x0 + i, 0, clWhite);
      c.SetPixel(x0 + i, kGlyphH - 1, clGray);
    }
    for (int j = 0; j < kGlyphH; ++j) {
      c.SetPixel(x0, j, clWhite);
      c.SetPixel(x0 + kGlyphW - 1, j, clGray);
    }
    for (int row = 0; row < 5; ++row)
      for (int col = 0; col < 3; ++col)
        if (kDigitRows[n][row] & (4 >> col))
          for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) c.SetPixel(x0 + 3 + col * 2 + dx, 1 + row * 2 + dy, clBlack);
  }
  return b;
}

}  // namespace

bool TQedTextFileEditor::DoDrawLine(TCanvas& canvas, const TRect& rect, const char* s, int32_t len, int32_t line,
                                    int32_t pos, int32_t count, int32_t hbLine, int32_t hbCol, int32_t heLine,
                                    int32_t heCol) {
  bool wasDrawn = false;
  if (OnDrawLine) OnDrawLine(*this, canvas, rect, s, len, line, pos, count, hbLine, hbCol, heLine, heCol, wasDrawn);
  return wasDrawn;
}

void TQedTextFileEditor::PaintBookmarks(TCanvas& c) {
  if (!MarkerGlyphs_) MarkerGlyphs_ = MakeMarkerGlyphs();
  const int gw = MarkerGlyphs_->Width() / 10, gh = MarkerGlyphs_->Height();
  if (gw < 1 || LeftMargin < gw) return;
  int32_t markLine[10];
  for (int n = 0; n <= 9; ++n) {
    const TMarker& m = List_->Marker(n);
    markLine[n] = m.Para > 0 && m.Pos > 0 ? List_->ParaPosToLine(m.Para, m.Pos) : 0;
  }
  for (int32_t r = 1; r <= VisibleLines(); ++r)
    for (int n = 0; n <= 9; ++n)
      if (markLine[n] == Top_ + r - 1) {
        int top = (r - 1) * LineH_;
        if (LineH_ >= gh + 2) top += (LineH_ - gh) / 2;
        c.CopyRect(TRect{1, top, gw + 1, top + gh}, *MarkerGlyphs_, TRect{n * gw, 0, (n + 1) * gw, gh});
        break;
      }
}

// One row of the text area: up to three parts (normal, highlighted,
// normal), each one opaque text output; the highlight runs on to the right
// edge as a band on the lines inside the selection.
void TQedTextFileEditor::PaintRow(TCanvas& c, int32_t row, int32_t hbLine, int32_t hbCol, int32_t heLine,
                                  int32_t heCol, TColor text) {
  const int32_t cols = VisibleCols();
  const int right = LeftMargin + cols * CharW_;
  const int y = (row - 1) * LineH_;
  const TRect rowRect{LeftMargin, y, right, y + LineH_};
  const int32_t L = Top_ + row - 1;
  const int32_t first = Left_;  // first visible display column
  if (L > LineCount()) {
    if (!(OnDrawLine && DoDrawLine(c, rowRect, "", 0, L, first - 1, cols, hbLine, hbCol, heLine, heCol))) {
      c.Brush.Color = Color;
      c.FillRect(rowRect);
    }
    return;
  }
  const std::string line = List_->ExpandedLine(List_->GetLine(L));
  const std::string v = size_t(first - 1) < line.size() ? line.substr(size_t(first - 1), size_t(cols)) : std::string();
  if (OnDrawLine && DoDrawLine(c, rowRect, v.empty() ? "" : line.c_str(), v.empty() ? 0 : int32_t(line.size()), L,
                               first - 1, cols, hbLine, hbCol, heLine, heCol))
    return;
  const int32_t n = int32_t(v.size());
  int32_t a = n, e = n;  // characters [a, e) highlighted
  bool band = false;     // the highlight goes on past the characters
  if (hbLine == 0 || L < hbLine || L > heLine) {
  } else if (L > hbLine && L < heLine) {
    a = 0;
    band = true;
  } else if (hbLine == heLine) {
    a = std::clamp(hbCol - first, 0, n);
    e = std::max(a, std::min(heCol - first, n));
  } else if (L == hbLine) {
    a = std::clamp(hbCol - first, 0, n);
    band = hbCol <= first;
  } else {
    a = 0;
    e = heCol < first ? 0 : std::min(heCol - first, n);
  }
  int x = LeftMargin;
  auto part = [&](int32_t from, int32_t to, bool high) {
    if (to <= from) return;
    const int r = std::min(right, x + (to - from) * CharW_);
    c.Brush.Color = high ? HighlightColors.BackColor() : Color;
    c.Font.Color = high ? HighlightColors.TextColor() : text;
    c.TextRect(TRect{x, y, r, y + LineH_}, x, y + 1, v.substr(size_t(from), size_t(to - from)));
    x = r;
  };
  part(0, a, false);
  part(a, e, true);
  part(e, n, false);
  if (x < right) {
    c.Brush.Color = band && e == n ? HighlightColors.BackColor() : Color;
    c.FillRect(TRect{x, y, right, y + LineH_});
  }
  c.Brush.Color = Color;
  c.Font.Color = text;
}

void TQedTextFileEditor::Paint() {
  Metrics();
  TCanvas& c = Box_.Canvas();
  c.Font = FixedFont.Font();
  c.Brush.Color = Color;
  c.Brush.Style = bsSolid;
  const int w = Box_.Width(), h = Box_.Height();
  const int32_t rows = VisibleLines();
  const int right = std::min(w, LeftMargin + VisibleCols() * CharW_);
  c.FillRect(TRect{0, 0, LeftMargin, h});
  if (right < w) c.FillRect(TRect{right, 0, w, h});
  // The selection as painted: none while disabled, or while hidden
  // without the focus.
  int32_t hbLine = 0, hbCol = 0, heLine = 0, heCol = 0;
  TTextPoint ss, se;
  if (Box_.Enabled() && GetSelection(ss, se) && !(HideSelection && !Box_.Focused())) {
    hbLine = ss.Line;
    hbCol = ss.Col;
    heLine = se.Line;
    heCol = se.Col;
  }
  const TColor text = Box_.Enabled() ? FixedFont.Color() : clGray;
  if (ShowBookmarks) PaintBookmarks(c);
  for (int32_t r = 1; r <= rows + 1; ++r) PaintRow(c, r, hbLine, hbCol, heLine, heCol, text);
  if ((rows + 1) * LineH_ < h) {
    c.Brush.Color = Color;
    c.FillRect(TRect{LeftMargin, (rows + 1) * LineH_, right, h});
  }
  c.ClipRect(TRect{});
  // The caret, in the shape of the insert mode, while the control has the
  // focus and the blink phase shows it.
  PlaceCaret();
  const TRect r = CaretObj_.Rect();
  if (CaretObj_.Visible() && BlinkOn_ && r.Width() > 0) {
    c.Brush.Color = CaretObj_.Caret() != nullptr && CaretObj_.Caret()->IsGray() ? clGray : FixedFont.Color();
    c.FillRect(r);
  }
}
