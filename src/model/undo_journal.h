// The undo journal: the common base of the CAD, rout and drill journals.
//
// A journal copies no entities. It records in a scratch file the store index
// of every entity an operation added, deleted or changed, and closes each
// operation with a named marker. Undo walks the records of the last operation
// backwards and Redo walks them forwards again, replaying each record through
// callbacks that the derived journal binds to its own database.
//
// An edit changes its store directly (marks entities deleted, appends new
// ones), calls RecordAdd / RecordDelete / RecordChange for each index it
// touched, in the order of the changes, and then BeginOperation (name) once:
// the marker closes the records before it. An operation that recorded nothing
// leaves no undo step.
//
// Scratch file SCRATCH\NNNNNNNN.TMP: blocks of exactly 33,000 bytes (1,500
// records of 22 bytes), no header; record r (1..1500) of block k (from 0)
// starts at k x 33,000 + (r - 1) x 22. Records, little-endian:
//   marker:  [0] kind 0, [1] name length 0..20, [2..21] name characters;
//   entity:  [0] kind 1 added / 2 deleted / 3 changed, [1..4] index (int32),
//            [5] flag byte (kind 3), [6..21] zero.
// Only the block being filled is held in memory; it reaches the file when it
// is full or when Undo starts from the end of the journal.
//
// Store indices stay valid only until the store is renumbered or emptied:
// whoever compacts, clears or reloads a store calls Reset of its journal.
//
// A failed file operation shows an error box with the system's text, a line
// break, "while ", the action and the file's name. The journal then drops its history (the
// Undo and Redo buttons are disabled), and ignores the rest of an operation
// that was being recorded until its BeginOperation, so it never replays a
// partial or stale step.
#pragma once
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Command numbers of the Undo and Redo tool buttons.
constexpr int32_t UndoCommand = 79;
constexpr int32_t RedoCommand = 124;

// What the journal needs of the main window: the modal bracket, the
// hourglass cursor, the hint panel caption, the hints of the Undo and Redo
// tool buttons, and disabling a tool button.
class TUndoWindow {
 public:
  virtual ~TUndoWindow() = default;
  virtual void BeginModal() = 0;
  virtual void EndModal() = 0;
  virtual void ShowHourGlass(bool on) = 0;
  // The hints of the Undo ("[OO] Undo") and Redo ("[UU] Redo") buttons.
  virtual std::string UndoButtonHint() = 0;
  virtual std::string RedoButtonHint() = 0;
  virtual void SetHintCaption(const std::string& caption) = 0;
  virtual void DisableButton(int32_t command) = 0;
  // What can be undone or redone changed: an operation was marked, or a
  // step was undone or redone (replayed: the databases changed under the
  // view).
  virtual void UndoStepsChanged(bool replayed) { (void)replayed; }
};

// Installs the main window's side (not owned). Until one is installed, and
// after nullptr, the journal goes through the view services: their modal
// bracket and cursor, the buttons' standard hints, no hint panel, and the
// model's tool-button service. Returns the one installed before (nullptr
// for that one).
TUndoWindow* SetUndoWindow(TUndoWindow* window);
TUndoWindow& UndoWindow();

class TUndoJournal {
 public:
  static constexpr int32_t RecordSize = 22;
  static constexpr int32_t RecordsPerBlock = 1500;
  static constexpr int32_t BlockSize = RecordSize * RecordsPerBlock;  // 33,000
  static constexpr int32_t MaxNameLength = 20;

  // Creates the empty scratch file ExecutionPath + "SCRATCH\" + the next
  // free scratch name (a failure is reported, naming the file; the journal
  // still works in memory up to its first block and tries a new file when it
  // needs one).
  TUndoJournal();
  // Closes and erases the scratch file.
  virtual ~TUndoJournal();
  TUndoJournal(const TUndoJournal&) = delete;
  TUndoJournal& operator=(const TUndoJournal&) = delete;

  // Empties the journal and its file and disables the Undo and Redo buttons.
  virtual void Reset();
  // Undoes the last operation, then shows "[OO] Undo <next undo name>" in the
  // hint panel. Records written since the last marker are first closed as an
  // unnamed step of their own, so they are what is undone.
  virtual void Undo();
  // Redoes the last undone operation, then shows "[UU] Redo <next redo
  // name>" in the hint panel.
  virtual void Redo();

  void RecordAdd(int32_t index);
  void RecordDelete(int32_t index);
  void RecordChange(int32_t index, uint8_t flag);
  // Closes the records written since the last marker under the name (cut to
  // 20 characters); does nothing when there are none.
  void BeginOperation(const std::string& name);
  // Forgets the steps that could be redone, as a new change does: a step
  // undone to take back a failed operation is not offered again.
  void DiscardRedo();

  // Where the journal stands: taken before a change that may be taken back
  // whole (an import refused or withdrawn).
  struct TMark {
    int32_t Records = 0, Undone = 0, Undos = 0, Redos = 0;
    std::string UndoName, RedoName;
    bool Open = false;
    uint32_t History = 0;
    // The records of the steps the mark could redo: a record written after
    // an undo overwrites them in the journal.
    std::vector<uint8_t> RedoRecords;
  };
  TMark Mark() const;
  // Forgets every record written since the mark, as if they had never been:
  // the steps to undo, and to redo, are those of the mark again. A history
  // dropped or emptied since is left as it is.
  void TakeBackTo(const TMark& mark);

  // True when a step can be undone (redone); name gets the step's name, at
  // most maxLength characters.
  bool CanUndo(std::string& name, int32_t maxLength = MaxNameLength) const;
  bool CanRedo(std::string& name, int32_t maxLength = MaxNameLength) const;

  // The scratch file's name (Windows-style, under ExecutionPath).
  const std::string& FileName() const { return FileName_; }
  int32_t RecordCount() const { return RecordCount_; }
  int32_t UndoneCount() const { return UndoneCount_; }
  int32_t UndoCount() const { return UndoCount_; }
  int32_t RedoCount() const { return RedoCount_; }
  bool OpenRecords() const { return OpenRecords_; }

 protected:
  // Replay callbacks bound by the derived journal to its database.
  virtual void EraseEntity(int32_t index) = 0;
  virtual void DrawEntity(int32_t index) = 0;
  virtual void DeleteEntity(int32_t index) = 0;
  virtual void UndeleteEntity(int32_t index) = 0;
  virtual void UndoChange(int32_t index, uint8_t flag) {}
  virtual void RedoChange(int32_t index, uint8_t flag) {}

 private:
  enum : uint8_t { rkMarker = 0, rkAdded = 1, rkDeleted = 2, rkChanged = 3 };

  void WriteRecord(uint8_t kind, int32_t index, std::string_view name, uint8_t flag);
  bool StepBack();
  bool StepForward();
  bool PeekRedoName();
  void ReplayUndo(uint8_t kind, int32_t index, uint8_t flag);
  void ReplayRedo(uint8_t kind, int32_t index, uint8_t flag);

  uint8_t* RecordAt(int32_t pos) { return Block_.data() + (pos - 1) * RecordSize; }
  uint8_t RecordKind(int32_t pos) { return *RecordAt(pos); }
  int32_t RecordIndex(int32_t pos);
  uint8_t RecordFlag(int32_t pos) { return RecordAt(pos)[5]; }
  std::string RecordName(int32_t pos);

  // File access at whole blocks; false after a reported failure.
  bool OpenFile(bool truncate);
  bool WriteBlock(int32_t block);
  bool ReadBlock(int32_t block);
  // The bytes at the file's offset, whole: 0, or the error (EIO for a file
  // that ends before them).
  int WriteAt(off_t at, const uint8_t* data, size_t size);
  int ReadAt(off_t at, uint8_t* data, size_t size) const;
  // Makes a new file at the next free scratch name; false after the failure
  // was reported. quietRepeat: a failure the same as the last journal's
  // drops the history without a second report.
  bool MakeFile(bool quietRepeat);
  // Writes the records of the steps the mark could redo back after its end.
  bool RestoreRedo(const TMark& mark);
  // Reports a failed file operation, naming the file, and drops the history.
  void Fail(int error, const char* action);
  void Drop();
  void ClearState();

  std::string FileName_;
  int Fd_ = -1;
  bool Created_ = false;  // the file is ours to erase
  bool Written_ = false;  // a block went to the file since it was made or emptied
  std::array<uint8_t, BlockSize> Block_{};
  uint16_t BlockPos_ = 1;        // record of Block_ the next write or read uses
  int32_t CurrentBlock_ = 0;     // number (from 0) of the block in Block_
  int32_t RecordCount_ = 0;      // records from the start to the current end
  int32_t UndoneCount_ = 0;      // records between the position and the end
  int32_t UndoCount_ = 0;        // closed operations before the position
  int32_t RedoCount_ = 0;        // undone operations after the position
  std::string NextUndoName_;
  std::string NextRedoName_;
  bool OpenRecords_ = false;     // records written since the last marker
  bool Discarding_ = false;      // an I/O failure hit the operation being recorded
  uint32_t History_ = 0;         // counts the times the history was emptied
};

// The journal of the current editor mode.
extern TUndoJournal* ActiveUndo;

// RecordAdd / RecordDelete on the journal when there is one.
inline void JournalAdd(TUndoJournal* journal, int32_t index) {
  if (journal != nullptr) journal->RecordAdd(index);
}
inline void JournalDelete(TUndoJournal* journal, int32_t index) {
  if (journal != nullptr) journal->RecordDelete(index);
}
