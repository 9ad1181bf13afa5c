// The editor's text: a list of paragraphs (one per line of the file, no line
// ends stored) with limits, thirteen position markers and a bounded, grouped
// undo and redo history.
//
// Paragraphs and positions count from 1; a position is a character index
// plus one, and position length + 1 is the end of a paragraph. The list owns
// its paragraphs; the history keeps its own copies of the text it needs, so
// nothing is owned twice and replaying can never reach a freed paragraph.
//
// Editing operations return 0 or one of the result codes below and change
// nothing when a limit test fails.
//
// With word wrap on, a paragraph shows as one or more display lines; line
// numbers (also 1-based) count display lines, and without word wrap they
// are the paragraph numbers. Every paragraph keeps where its display lines
// start, and every edit wraps the paragraph it changed again.
#pragma once
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Result codes of the editing operations.
constexpr int edOutOfMemory = 263;
constexpr int edRegionTooLarge = 264;
constexpr int edTooManyParas = 265;
constexpr int edCannotJoin = 266;
constexpr int edTextTooLarge = 267;
constexpr int edParaTooLong = 268;

constexpr int32_t kNoLimit = 2147483647;
constexpr int kMarkerSlots = 13;
// Places of an editor that shares its list: caret, the selection's two
// ends and the top line's first character.
constexpr int kViewMarks = 4;

struct TMarker {
  int32_t Para = 0;  // 0: not set
  int32_t Pos = 0;
  bool operator==(const TMarker&) const = default;
};

// One step of the history. Kinds: 0 caret position, 1 text inserted,
// 2 and 3 paragraph inserted (before or after), 4 text deleted, 5 paragraph
// deleted, 6 text replaced (Text the old run, NewText the new one).
struct TUndoRecord {
  uint8_t Kind = 0;
  int32_t Group = 0;
  bool Modified = false;  // the text's state before this step
  int32_t Para = 0;
  int32_t Pos = 0;
  std::string Text;
  std::string NewText;
  int64_t Cost() const { return int64_t(Text.size() + NewText.size()) + 16; }
};

constexpr int32_t kNoWrap = 32767;

// One paragraph: its characters and, with word wrap, where its display
// lines start. A paragraph shown as one line keeps no table.
class TParaNode {
 public:
  TParaNode() = default;
  explicit TParaNode(std::string text) : Text(std::move(text)) {}
  TParaNode(TParaNode&&) = default;
  TParaNode& operator=(TParaNode&&) = default;

  std::string Text;

  int32_t LineCount() const { return Breaks_ ? 1 + int32_t(Breaks_->size()) : 1; }
  // Offset of display line k's first character (line 1 starts at 0).
  int32_t LineStart(int32_t k) const { return k <= 1 || !Breaks_ ? 0 : (*Breaks_)[size_t(k - 2)]; }
  // Characters of display line k, the blanks left at its break included;
  // 0 outside 1 to LineCount.
  int32_t LineLength(int32_t k) const;
  // The display line holding a 0-based offset (the paragraph's end belongs
  // to its last line).
  int32_t LineOfOffset(int32_t offset) const;
  // Breaks the text into display lines of at most wrapColumn display
  // columns (a TAB reaching the next multiple of tabSize); a wrap column of
  // 0 or kNoWrap keeps one line.
  void Wrap(int32_t wrapColumn, int32_t tabSize);
  // The line starts after the first, for comparisons.
  std::vector<int32_t> Starts() const { return Breaks_ ? *Breaks_ : std::vector<int32_t>(); }

 private:
  std::unique_ptr<std::vector<int32_t>> Breaks_;
};

// A display line: its paragraph, the 0-based offset of its first character
// in it, its length and its number within the paragraph.
struct TLineRef {
  int32_t Para = 1;
  int32_t Start = 0;
  int32_t Length = 0;
  int32_t LineInPara = 1;
  bool LastOfPara = true;
};

// The editors showing a list. Editors that share one list form a ring; each
// is told when the whole text was wrapped anew (before and after, so that it
// can keep its caret on the same character), after each edit while the ring
// has several editors (their places, kept by the list, moved with the text)
// and when the Modified state changed.
class TParaListView {
 public:
  virtual ~TParaListView() = default;
  virtual void ListRewrapping() = 0;
  virtual void ListRewrapped() = 0;
  virtual void ListModifiedChanged() = 0;
  virtual void ListEdited() = 0;
};

class TUndoBuffer {
 public:
  explicit TUndoBuffer(int32_t size) : Size_(size) {}
  int32_t Size() const { return Size_; }
  bool Enabled() const { return Enabled_; }
  bool InGroup() const { return GroupOpen_; }
  // Opens a group unless one is open; returns whether one already was.
  bool BeginGroup();
  void EndGroup(bool wasOpen);
  // Records a step (merging it into the last one where typing continues).
  void Add(TUndoRecord rec);
  bool CanUndo() const { return !Undo_.empty(); }
  bool CanRedo() const { return !Redo_.empty(); }
  void MarkAllModified();
  void Clear();
  int64_t Used() const { return Used_; }
  const std::deque<TUndoRecord>& UndoRecords() const { return Undo_; }
  const std::vector<TUndoRecord>& RedoRecords() const { return Redo_; }

 private:
  friend class TParaList;
  bool CanMerge(const TUndoRecord& rec);
  bool MakeRoom(int64_t n);
  void DropOldestGroup();

  int32_t Size_;
  std::deque<TUndoRecord> Undo_;
  std::vector<TUndoRecord> Redo_;  // the next one to redo at the back
  int64_t Used_ = 0;
  int32_t GroupCounter_ = 0;
  bool GroupOpen_ = false;
  bool Enabled_ = true;
};

class TParaList {
 public:
  explicit TParaList(int32_t undoSize = 8192);

  int32_t ParaCount() const { return int32_t(Paras_.size()); }
  // Display lines (the paragraph count without word wrap).
  int32_t LineCount() const { return WordWrap_ ? Lines_ : ParaCount(); }
  // Characters plus two for every line end.
  int64_t ByteCount() const { return Chars_ + 2 * int64_t(Paras_.size() - 1); }
  // The paragraph's text; p from 1 to ParaCount.
  const std::string& Para(int32_t p) const { return Paras_[size_t(p - 1)].Text; }
  const TParaNode& Node(int32_t p) const { return Paras_[size_t(p - 1)]; }
  int32_t ParaLength(int32_t p) const { return int32_t(Paras_[size_t(p - 1)].Text.size()); }

  int32_t ParaLimit = kNoLimit;
  // The most bytes the text may take in its file: its characters and a line
  // end of LineEndBytes (1 for LF or CR, 2 for CR LF) after each paragraph
  // but the last, as a save writes it.
  int64_t ByteLimit = kNoLimit;
  int32_t LineEndBytes = 2;
  int64_t FileByteCount() const { return Chars_ + LineEndBytes * int64_t(Paras_.size() - 1); }
  int32_t ParaLengthLimit = 32767;

  // Word wrap, the wrap column and the tab stops; a change wraps the whole
  // text again (TabSize and WrapColumn only while word wrap is on) and
  // refreshes every editor of the ring.
  bool WordWrap() const { return WordWrap_; }
  int32_t WrapColumn() const { return WrapColumn_; }
  int32_t TabSize() const { return TabSize_; }
  void SetWordWrap(bool on);
  void SetWrapColumn(int32_t column);
  void SetTabSize(int32_t size);
  // The wrap column in force: WrapColumn with word wrap, else kNoWrap.
  int32_t EffectiveWrap() const { return WordWrap_ ? WrapColumn_ : kNoWrap; }
  void ReWrapAll();

  // Display lines and paragraphs. Lookups start from the nearest of the
  // first line, the last one and the line last reached.
  TLineRef GetLine(int32_t line) const;
  // The paragraph of a display line and the offset of the line in it.
  void LineToPara(int32_t line, int32_t& p, int32_t& offset) const {
    const TLineRef r = GetLine(line);
    p = r.Para;
    offset = r.Start;
  }
  // The display line of a paragraph position (p clamped to the text).
  int32_t ParaPosToLine(int32_t p, int32_t pos) const;
  int32_t ParaFirstLine(int32_t p) const;

  // The editors sharing this list; the first is its owner.
  void AddView(TParaListView* view);
  void RemoveView(TParaListView* view);
  const std::vector<TParaListView*>& Views() const { return Views_; }
  // Tells the editors of a shared list that the text changed (each edit
  // does this itself; loading calls it once at the end).
  void Edited();
  // An editor's places while the list is shared (false when it is not).
  bool GetViewMarks(const TParaListView* view, TMarker (&marks)[kViewMarks]) const;
  void SetViewMarks(const TParaListView* view, const TMarker (&marks)[kViewMarks]);

  bool Modified() const { return Modified_; }
  void SetModified(bool modified);

  // Back to one empty paragraph, history dropped, markers cleared.
  void Clear();
  void SetUndoBufferSize(int32_t size);
  TUndoBuffer& Undo() { return Undo_; }

  // The limit test: p the paragraph that grows (0: none), dp paragraphs and
  // db bytes added (two for each paragraph's line end, as ByteCount counts
  // them; the byte limit counts the file's own).
  int CheckLimits(int32_t p, int32_t dp, int64_t db) const;

  int InsertText(int32_t p, int32_t pos, const std::string& text);
  void DeleteText(int32_t p, int32_t pos, int32_t count);
  int ReplaceText(int32_t p, int32_t pos, int32_t oldLength, const std::string& text);
  int InsertParaBefore(int32_t p, const std::string& text);
  int InsertParaAfter(int32_t p, const std::string& text);
  void DeletePara(int32_t p);
  // Enter: breaks p at pos (trimming the blanks before it when asked) and
  // indents the new paragraph by indent columns; indent returns the
  // characters inserted.
  int SplitPara(int32_t p, int32_t pos, bool trim, int32_t& indent, int32_t tabSize);
  int JoinParas(int32_t p, int32_t pos);
  void DeleteRange(int32_t p1, int32_t pos1, int32_t p2, int32_t pos2);
  // Text with line ends (CR LF, LF or CR); p and pos return the point after it.
  int InsertTextBlock(int32_t& p, int32_t& pos, const std::string& text);
  // Loading: a paragraph before the last one, no history.
  int AppendPara(std::string text, bool trim);
  // Loading a file whole or not at all: it is read into an empty list with
  // this one's limits and wrap settings (room made for the paragraphs
  // counted beforehand), and only a file read in full replaces this list's
  // text, at once (the settings unchanged meanwhile). TakeText drops the
  // history and the markers, takes the loaded text's LineEndBytes, leaves
  // the text not modified and the loaded list empty.
  std::unique_ptr<TParaList> EmptyLike() const;
  void Reserve(int32_t paras) { Paras_.reserve(size_t(std::max(paras, 0)) + 1); }
  void TakeText(TParaList& loaded);
  // The text from (p1, pos1) up to (p2, pos2), lines joined by eol.
  std::string GetRange(int32_t p1, int32_t pos1, int32_t p2, int32_t pos2,
                       const std::string& eol = "\r\n") const;

  // Groups of steps that undo as one.
  bool BeginGroup() { return Undo_.BeginGroup(); }
  void EndGroup(bool wasOpen) { Undo_.EndGroup(wasOpen); }
  void RecordCaret(int32_t p, int32_t pos);
  // Replays one group; p and pos return where the caret goes. False when
  // there was nothing to do.
  bool UndoGroup(int32_t& p, int32_t& pos);
  bool RedoGroup(int32_t& p, int32_t& pos);

  // Markers 0 to 12 (slots above 12 are ignored); they move with the text.
  const TMarker& Marker(int slot) const { return Markers_[size_t(slot)]; }
  void SetMarker(int slot, int32_t p, int32_t pos);
  bool TrackMarkers = true;

  // The lines an edit touched, for repainting (first, last; 0 when none).
  int32_t FirstChanged = 0, LastChanged = 0;
  void ResetChanged() { FirstChanged = LastChanged = 0; }

  // Display columns: a TAB reaches the next stop of TabSize, counted from
  // the start of its paragraph (or of its display line, for the line forms).
  int32_t ColOfPos(int32_t p, int32_t pos) const;
  int32_t PosOfCol(int32_t p, int32_t col) const;
  std::string Expanded(int32_t p) const;
  // The paragraph position's column on its display line, and back; a column
  // past the line's end gives a position past it by as much.
  int32_t LineColOfPos(const TLineRef& line, int32_t pos) const;
  int32_t LinePosOfCol(const TLineRef& line, int32_t col) const;
  std::string LineText(const TLineRef& line) const;
  std::string ExpandedLine(const TLineRef& line) const;

 private:
  // A new text: no history, no markers, not modified, all to repaint.
  void Restart();
  void Record(uint8_t kind, int32_t p, int32_t pos, std::string text, std::string newText = {});
  void Touch(int32_t first, int32_t last);
  // After paragraph p's text changed: wraps it again, keeps the line count
  // and the lookup cache right and notes the lines to repaint.
  void Rewrapped(int32_t p, int32_t oldLines);
  void Cache(int32_t p, int32_t firstLine) const;
  void ReWrap(const std::function<void()>& change);
  size_t ViewSlot(const TParaListView* view) const;
  void MarkChanged();
  // Primitive changes, shared by editing and replaying.
  void RawInsert(int32_t p, int32_t pos, const std::string& text);
  std::string RawDelete(int32_t p, int32_t pos, int32_t count);
  void RawInsertPara(int32_t at, std::string text);
  std::string RawDeletePara(int32_t p);
  void Apply(const TUndoRecord& r, bool forward, int32_t& p, int32_t& pos);

  std::vector<TParaNode> Paras_;
  int64_t Chars_ = 0;
  int32_t Lines_ = 1;  // display lines while word wrap is on
  bool WordWrap_ = false;
  int32_t WrapColumn_ = 80;
  int32_t TabSize_ = 8;
  // The paragraph last reached by a line lookup and its first display line.
  mutable int32_t CachePara_ = 1, CacheLine_ = 1;
  std::vector<TParaListView*> Views_;
  bool Modified_ = false;
  bool Replaying_ = false;
  TUndoBuffer Undo_;
  // Slots 0 to 12, then kViewMarks for each editor of a shared list.
  std::vector<TMarker> Markers_ = std::vector<TMarker>(kMarkerSlots);
};
