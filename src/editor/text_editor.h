// The multi-line text editor control: a fixed-pitch text view on a paint
// box, with a caret, a selection, ten bookmarks, undo and redo, clipboard
// exchange, search and replace, and keys translated into commands by a
// command processor. The file level loads a text file into it and saves it
// back (through the replacing save, with an optional backup copy), keeping
// the file's own line ends.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "editor/caret.h"
#include "editor/editor_commands.h"
#include "editor/qed_controller.h"
#include "editor/para_list.h"
#include "editor/timer_pool.h"
#include "platform/canvas.h"
#include "platform/forms.h"

enum TTabType { ttReal, ttFixed, ttSmart };

// Search options (one byte).
constexpr uint8_t soFind = 1, soBackward = 2, soCaseSensitive = 4, soEntireScope = 8, soReplace = 16,
                  soReplaceAll = 32, soWholeWords = 64, soSelectedOnly = 128;

// Which scroll bars the control has.
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// Line ends a file may use.
enum class TLineEnd { CrLf, Lf, Cr };

struct TTextPoint {
  int32_t Line = 1;
  int32_t Col = 1;
  bool operator==(const TTextPoint&) const = default;
  bool operator<(const TTextPoint& o) const { return Line < o.Line || (Line == o.Line && Col < o.Col); }
};

// A point of the text as a paragraph and a position in it.
struct TParaPos {
  int32_t Para = 1;
  int32_t Pos = 1;
};

// The messages of a file the editor cannot hold: beyond limit bytes, a
// line (1-based) beyond limit characters, or beyond limit lines.
std::string EditorFileTooLargeText(const std::string& fileName, int64_t limit);
std::string EditorLineTooLongText(const std::string& fileName, int64_t line, int32_t limit);
std::string EditorTooManyLinesText(const std::string& fileName, int32_t limit);

class TQedTextFileEditor;
// Lets the owner draw a row: S and Len are the whole line (TABs expanded),
// Pos the columns scrolled out at the left, Count the visible columns, the
// four H values the selection as painted (all 0 without one). Leaving
// wasDrawn false lets the control draw the row itself.
using TEditorDrawLineEvent =
    std::function<void(TQedTextFileEditor& sender, TCanvas& canvas, const TRect& rect, const char* s, int32_t len,
                       int32_t line, int32_t pos, int32_t count, int32_t hbLine, int32_t hbCol, int32_t heLine,
                       int32_t heCol, bool& wasDrawn)>;

class TQedTextFileEditor : public TParaListView {
 public:
  // Shows the text on the paint box and takes its keys and mouse. The
  // controller's command tables translate the keys and its timer pool
  // blinks the caret; without one the controller placed on the box's form
  // is taken (ENoControllerAssigned when the form has none).
  explicit TQedTextFileEditor(TPaintBox& box, TQedController* controller = nullptr);
  ~TQedTextFileEditor() override;
  TQedTextFileEditor(const TQedTextFileEditor&) = delete;
  TQedTextFileEditor& operator=(const TQedTextFileEditor&) = delete;

  TParaList& List() { return *List_; }
  TPaintBox& Box() { return Box_; }
  TQedCommandProcessor& Processor() { return *Processor_; }

  // --- settings
  bool AutoIndent = false;
  bool ReadOnly = false;
  bool WantEnter = true;
  bool WantTab = false;
  bool TrimWhiteSpace = true;
  bool MakeBackup = false;
  // Open refuses a file with a line longer than a paragraph may hold;
  // otherwise such a line is kept whole.
  bool RefuseLongLines = false;
  std::string BackupExt = "BAK";
  bool HideSelection = true;
  bool ShowBookmarks = true;
  TTabType TabType = ttReal;
  int32_t LeftMargin = 15;
  int32_t RightMargin = 5;
  TQedFixedFont FixedFont{TFont{"Courier New", 11, clWhite, false, false, false, true}};
  TColor Color = 0x800000;           // navy
  // Selected text: the system's highlight colours unless set.
  TQedColors HighlightColors{0x00D77800, clWhite};
  // After the control gained or lost the focus, once the focus change is
  // complete.
  std::function<void(TQedTextFileEditor& sender)> OnAfterEnter, OnAfterExit;
  bool InsertMode() const { return InsertMode_; }
  void SetInsertMode(bool on);
  void SetTabSize(int32_t size);
  int32_t TabSize() const { return List_->TabSize(); }
  // Word wrap: paragraphs are shown as display lines of at most WrapColumn
  // columns; lines, columns and the caret then count display lines.
  bool WordWrap() const { return List_->WordWrap(); }
  void SetWordWrap(bool on);
  int32_t WrapColumn() const { return List_->WrapColumn(); }
  void SetWrapColumn(int32_t column);
  // Left at column 1 goes to the end of the line above (always with word
  // wrap); with ScrollPastEnd the caret may stand past a line's end (never
  // with word wrap).
  bool WrapAtLeft() const { return WrapAtLeft_; }
  void SetWrapAtLeft(bool on);
  bool ScrollPastEnd() const { return ScrollPastEnd_; }
  // With word wrap, the wrap column follows the window's width (the
  // visible columns less two).
  bool WrapToWindow() const { return WrapToWindow_; }
  void SetWrapToWindow(bool on);
  void SetScrollPastEnd(bool on);
  // The caret shapes of insert and overwrite mode.
  TQedCaret CaretIns, CaretOvr;
  const TQedCaretPair& CaretObject() const { return CaretObj_; }
  // The caret is drawn in this blink phase (while the control has the focus).
  bool CaretBlinkOn() const { return BlinkOn_; }
  // Shares another editor's text: this editor's own text is dropped and the
  // two show one paragraph list (an edit or a wrap change in either shows in
  // both).
  void AttachTo(TQedTextFileEditor& other);
  void SetUndoBufferSize(int32_t size) { List_->SetUndoBufferSize(size); }
  // The list's limits; a value outside the accepted range (paragraph length
  // 1 to 32,767, paragraphs 1 and more, bytes 0 and more) is ignored.
  void SetParaLengthLimit(int32_t limit);
  void SetParaLimit(int32_t limit);
  void SetByteLimit(int64_t limit);

  // --- scroll bars (not owned; either may be null)
  // The horizontal bar runs over the columns of the longest allowed line
  // (at most 512) with the left column as its position; the vertical one
  // over the top lines, scaled down above 32,767 lines.
  void AttachScrollBars(TScrollBar* horizontal, TScrollBar* vertical);
  TScrollStyle ScrollBars() const { return ScrollBars_; }
  void SetScrollBars(TScrollStyle style);
  bool ScrollBarsAlways() const { return ScrollBarsAlways_; }
  void SetScrollBarsAlways(bool on);
  int32_t VScrollScale() const { return VScale_; }
  // What the user did to a bar.
  void HScroll(TScrollCode code, int position);
  void VScroll(TScrollCode code, int position);

  // --- events
  std::function<void()> OnChange;
  std::function<void(int code)> OnError;
  std::function<void(int32_t line, int32_t col)> OnShowStatus;
  std::function<void(int32_t line)> OnTopLineChanged;
  std::function<void(uint16_t command)> OnUserCommand;
  TEditorDrawLineEvent OnDrawLine;
  // Calls OnDrawLine; true when it drew the row.
  virtual bool DoDrawLine(TCanvas& canvas, const TRect& rect, const char* s, int32_t len, int32_t line,
                          int32_t pos, int32_t count, int32_t hbLine, int32_t hbCol, int32_t heLine,
                          int32_t heCol);

  // --- the text
  void Clear(bool repaint = true);
  int32_t LineCount() const { return List_->LineCount(); }
  int64_t ByteCount() const { return List_->ByteCount(); }
  bool Modified() const { return List_->Modified(); }
  void SetModified(bool modified) { List_->SetModified(modified); }
  // Display line's text (the paragraph without word wrap).
  std::string LineText(int32_t line) const { return List_->LineText(List_->GetLine(line)); }
  // Where a display point lies in the paragraphs, and back.
  TParaPos ParaPosOf(TTextPoint p) const;
  TTextPoint PointOf(int32_t para, int32_t pos) const;
  // The whole text, lines joined by eol.
  std::string Text(const std::string& eol = "\r\n") const;

  // --- caret, view and selection
  TTextPoint Caret() const { return Caret_; }
  void SetCaretPosition(int32_t line, int32_t col);
  int32_t TopLine() const { return Top_; }
  void SetTopLine(int32_t line);
  // Columns scrolled out at the left.
  int32_t LeftCol() const { return Left_ - 1; }
  // Moves the view: the left column by columns (not below 0), the top line
  // by lines (kept within 1 and line count - (visible lines - 1)); calls
  // OnTopLineChanged when the top line moved. (0, 0) only places the caret.
  void ScrollBy(int32_t columns, int32_t lines);
  void ScrollByColumns(int32_t columns) { ScrollBy(columns, 0); }
  void ScrollByLines(int32_t lines) { ScrollBy(0, lines); }
  int32_t VisibleLines() const;
  int32_t VisibleCols() const;
  bool SelectionExists() const { return !(SelA_ == SelB_); }
  // Changes with every move of the caret, every setting of the selection
  // (the same range set again included) and every edit; scrolling leaves it.
  // Lets the owner tell a selection it made itself from a later one.
  uint32_t SelectionStamp() const { return Stamp_; }
  bool GetSelection(TTextPoint& start, TTextPoint& end) const;
  void SetSelection(TTextPoint a, TTextPoint b, bool caretAtEnd = true, bool keepCaret = false);
  void Deselect(bool toEnd = true);
  std::string SelectedText() const;
  void InsertString(const std::string& text);
  void DeleteSelection();
  void CutToClipboard();
  void CopyToClipboard();
  void PasteFromClipboard();
  bool CanUndo() const { return !ReadOnly && List_->Undo().CanUndo(); }
  bool CanRedo() const { return !ReadOnly && List_->Undo().CanRedo(); }
  void Undo();
  void Redo();
  // Bookmarks 0 to 9.
  void ToggleMarker(int n);
  void ClearMarker(int n);
  void GotoMarker(int n);
  // The marker's line and column; line -1 when it is not set.
  TTextPoint GetMarkerPosition(int n) const;
  void SetMarkerAt(int n, int32_t line, int32_t col);
  std::string GetCurrentWord() const;
  std::string GetPrintableLine(int32_t line, size_t size) const;

  // A search scope kept apart from the selection while a run of searches
  // and replacements goes on: with soSelectedOnly, Search and Replace work
  // in it whatever is selected. Its start is held as a paragraph and a
  // position, its end as the distance from the end of the text, so that
  // edits inside the scope leave both ends on their characters.
  void KeepSearchScope(TTextPoint a, TTextPoint b);
  void ForgetSearchScope() { Scope_.reset(); }
  bool KeptSearchScope(TTextPoint& a, TTextPoint& b) const;

  // Search and replace: true when found.
  bool Search(const std::string& text, uint8_t options);
  // True when the selection is a match of text under options: within one
  // line, equal to it in the case the options ask for and, with
  // soWholeWords, bounded by delimiters or the line's ends.
  bool SelectionMatches(const std::string& text, uint8_t options) const;
  // The replacement count, 0 when a match was only selected, -1 when none.
  int Replace(const std::string& text, const std::string& replacement, uint8_t options);

  // --- commands and input
  void ExecuteCommand(uint16_t command, char ch = 0);
  // A key from the window system: true when the editor took it.
  bool KeyDown(uint16_t key, TShiftState shift);
  bool KeyPress(char ch);
  // A drag extends the selection. Past an edge of the text the caret goes
  // at most one line or column beyond it, and while the button stays down
  // there the view goes on scrolling on the timer pool, by more the farther
  // the pointer is; the button's release or the pointer's return stops it.
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void MouseMove(TShiftState shift, int x, int y);
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  // A double click selects the word under the pointer, in the left margin
  // the whole paragraph; with Shift the selection grows by that unit.
  void DblClick(TShiftState shift, int x, int y);

  // --- files (native paths)
  const std::string& FileName() const { return FileName_; }
  void SetFileName(const std::string& name);
  bool IsOpen() const { return IsOpen_; }
  // Loads the file, which then becomes FileName, whole or not at all: it
  // throws EEditorError (a file beyond the byte or paragraph limits, or with
  // a line beyond the paragraph length limit: the message names the file)
  // or std::runtime_error (file access), and the text, its history, the
  // caret, FileName, IsOpen and Modified then stay as they were. A file
  // beyond the limits is refused before a line of it is kept.
  void Open(const std::string& fileName);
  // Loads FileName so.
  void Open();
  void Close() { Clear(); IsOpen_ = false; }
  // Saves through the replacing save: on failure the old file (and its
  // backup) stay as they were, Modified is kept, error holds the message and
  // the answer is false.
  bool SaveToFile(const std::string& name, std::string& error);
  TLineEnd LineEnd() const { return LineEnd_; }
  bool LastLineEnded() const { return LastLineEnded_; }

  // --- painting
  void Paint();
  void Invalidate();
  int CharWidth() { Metrics(); return CharW_; }
  int LineHeight() { Metrics(); return LineH_; }

 private:
  int32_t PosOf(TTextPoint p) const { return ParaPosOf(p).Pos; }
  int32_t ParaOf(TTextPoint p) const { return List_->GetLine(p.Line).Para; }
  // Display column after the last character of a line.
  int32_t EndCol(int32_t line) const;
  TTextPoint Clamp(TTextPoint p) const;
  void ListRewrapping() override;
  void ListRewrapped() override;
  void ListModifiedChanged() override;
  void ListEdited() override;
  // Keeps this editor's places in the shared list.
  void StoreViewMarks();
  // Marks an edit made through this editor: while it runs, the list's
  // notices of edits do not move this editor's places.
  struct TActing {
    explicit TActing(TQedTextFileEditor& e) : E(e) { ++E.Acting_; }
    ~TActing() { --E.Acting_; }
    TQedTextFileEditor& E;
  };
  int Acting_ = 0;
  void Blink();
  void StartBlinking();
  void FitWrapToWindow();
  void PlaceCaret();
  void MoveCaret(TTextPoint p, bool extend);
  void ScrollIntoView();
  void Changed();
  void Status();
  int Report(int code);
  void SaveSelectionToMarkers();
  void LoadSelectionFromMarkers();
  void TypeChar(char ch);
  void NewLine();
  void Tab();
  void DeleteBack();
  void DeleteForward();
  TTextPoint WordLeft(TTextPoint p) const;
  TTextPoint WordRight(TTextPoint p) const;
  bool IsDelimiter(char c) const;
  void ReplaceSelection(const std::string& text);
  bool FindFrom(const std::string& pat, uint8_t options, int32_t& p, int32_t& pos, const TMarker& s1,
                const TMarker& s2);
  void Metrics();

  struct TKeptScope {
    int32_t Para = 1, Pos = 1;              // start
    int32_t ParasAfter = 0, CharsAfter = 0;  // end, counted from the end of the text
  };
  std::optional<TKeptScope> Scope_;
  TMarker ScopeEnd() const;
  TPaintBox& Box_;
  TQedCommandProcessor* Processor_;
  TQedTimerPool* Pool_;
  int BlinkTrigger_ = 0;
  uint32_t BlinkInterval_ = 0;
  bool BlinkOn_ = true;
  TQedCaretPair CaretObj_{&CaretIns, &CaretOvr};
  std::shared_ptr<TParaList> List_;
  bool WrapAtLeft_ = true;
  bool ScrollPastEnd_ = false;
  bool WrapToWindow_ = false;
  // Where the caret, the selection and the top line stood while the text
  // is wrapped anew.
  TParaPos KeptCaret_, KeptSelA_, KeptSelB_, KeptTop_;
  TTextPoint Caret_;
  TTextPoint SelA_, SelB_;  // anchor and moving end; equal when nothing is selected
  uint32_t Stamp_ = 0;
  int32_t Top_ = 1, Left_ = 1;
  bool InsertMode_ = true;
  bool CtrlCharNext_ = false;
  bool KeyTaken_ = false;
  std::string FileName_;
  bool IsOpen_ = false;
  TLineEnd LineEnd_ = TLineEnd::CrLf;
  bool LastLineEnded_ = true;
  int CharW_ = 0, LineH_ = 0;
  std::unique_ptr<TBitmap> MarkerGlyphs_;
  TScrollBar* HBar_ = nullptr;
  TScrollBar* VBar_ = nullptr;
  TScrollStyle ScrollBars_ = ssBoth;
  bool ScrollBarsAlways_ = false;
  int32_t VScale_ = 1;
  void UpdateScrollBars();
  void SetTop(int32_t top);
  TTextPoint PointAt(int x, int y);
  // Lines and columns (signed) one scrolling step moves the view for the
  // pointer at (x, y); both 0 inside the text.
  void DragSteps(int x, int y, int32_t& lines, int32_t& cols);
  void AutoScroll();
  void StopAutoScroll();
  int ScrollTrigger_ = 0;
  int DragX_ = 0, DragY_ = 0;
  void PaintRow(TCanvas& c, int32_t row, int32_t hbLine, int32_t hbCol, int32_t heLine, int32_t heCol, TColor text);
  void PaintBookmarks(TCanvas& c);
  TFont MetricsFont_;
};
