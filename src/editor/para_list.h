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
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
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
  int32_t LineCount() const { return ParaCount(); }
  // Characters plus two for every line end.
  int64_t ByteCount() const { return Chars_ + 2 * int64_t(Paras_.size() - 1); }
  // The paragraph's text; p from 1 to ParaCount.
  const std::string& Para(int32_t p) const { return Paras_[size_t(p - 1)]; }
  int32_t ParaLength(int32_t p) const { return int32_t(Paras_[size_t(p - 1)].size()); }

  int32_t ParaLimit = kNoLimit;
  int64_t ByteLimit = kNoLimit;
  int32_t ParaLengthLimit = 32767;
  int32_t TabSize = 8;

  bool Modified() const { return Modified_; }
  void SetModified(bool modified);
  std::function<void()> OnModifiedChange;

  // Back to one empty paragraph, history dropped, markers cleared.
  void Clear();
  void SetUndoBufferSize(int32_t size);
  TUndoBuffer& Undo() { return Undo_; }

  // The limit test: p the paragraph that grows (0: none), dp paragraphs and
  // db bytes added.
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

  // Display columns: a TAB reaches the next stop of TabSize.
  int32_t ColOfPos(int32_t p, int32_t pos) const;
  int32_t PosOfCol(int32_t p, int32_t col) const;
  std::string Expanded(int32_t p) const;

 private:
  void Record(uint8_t kind, int32_t p, int32_t pos, std::string text, std::string newText = {});
  void Touch(int32_t first, int32_t last);
  void MarkChanged();
  // Primitive changes, shared by editing and replaying.
  void RawInsert(int32_t p, int32_t pos, const std::string& text);
  std::string RawDelete(int32_t p, int32_t pos, int32_t count);
  void RawInsertPara(int32_t at, std::string text);
  std::string RawDeletePara(int32_t p);
  void Apply(const TUndoRecord& r, bool forward, int32_t& p, int32_t& pos);

  std::vector<std::string> Paras_;
  int64_t Chars_ = 0;
  bool Modified_ = false;
  bool Replaying_ = false;
  TUndoBuffer Undo_;
  TMarker Markers_[kMarkerSlots];
};
