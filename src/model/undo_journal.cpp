#include "model/undo_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/byte_order.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "model/editor_state.h"
#include "model/model_services.h"
#include "model/view_services.h"
#include "platform/message_box.h"
#include "platform/paths.h"

TUndoJournal* ActiveUndo = nullptr;

// ---- The main window's side ----------------------------------------------------------

namespace {

// The journal's side without a main window.
class TViewUndoWindow : public TUndoWindow {
 public:
  void BeginModal() override { ViewServices().BeginModal(); }
  void EndModal() override { ViewServices().EndModal(); }
  void ShowHourGlass(bool on) override { ViewServices().SetCursor(on ? crHourGlass : crDefault); }
  std::string UndoButtonHint() override { return "[OO] Undo"; }
  std::string RedoButtonHint() override { return "[UU] Redo"; }
  void SetHintCaption(const std::string&) override {}
  void DisableButton(int32_t command) override {
    if (ModelServices.DisableButton) ModelServices.DisableButton(command);
  }
};
TViewUndoWindow ViewWindow;

TUndoWindow* InstalledWindow = nullptr;

// The modal bracket and hourglass around a replay, closed on every path.
class TReplayBracket {
 public:
  TReplayBracket() {
    UndoWindow().BeginModal();
    UndoWindow().ShowHourGlass(true);
  }
  ~TReplayBracket() {
    UndoWindow().ShowHourGlass(false);
    UndoWindow().EndModal();
  }
};

const char* const ActionCreating = "creating the undo journal";
const char* const ActionWriting = "writing the undo journal";
const char* const ActionReading = "reading the undo journal";
const char* const ActionErasing = "erasing the undo journal";
const char* const ActionClosing = "closing the undo journal";

}  // namespace

TUndoWindow* SetUndoWindow(TUndoWindow* window) {
  TUndoWindow* previous = InstalledWindow;
  InstalledWindow = window;
  return previous;
}

TUndoWindow& UndoWindow() {
  return InstalledWindow != nullptr ? *InstalledWindow : ViewWindow;
}

// ---- Construction and file access -----------------------------------------------------

namespace {
// The error of the last journal file that could not be made, 0 once one
// was made: the journals live, are made and are reset together, and a
// scratch folder that refuses the first refuses the others the same way.
int LastMakeError = 0;
int LiveJournals = 0;
}  // namespace

TUndoJournal::TUndoJournal() {
  if (LiveJournals++ == 0) LastMakeError = 0;
  MakeFile(true);
  ClearState();
}

TUndoJournal::~TUndoJournal() {
  --LiveJournals;
  if (Fd_ >= 0 && ::close(Fd_) != 0) Fail(errno, ActionClosing);
  Fd_ = -1;
  if (Created_ && ::unlink(NativePath(FileName_).c_str()) != 0 && errno != ENOENT)
    Fail(errno, ActionErasing);
}

bool TUndoJournal::MakeFile(bool quietRepeat) {
  // A file left from before (its descriptor lost) goes; the journal always
  // starts a new file of its own at a free scratch name.
  if (Created_) ::unlink(NativePath(FileName_).c_str());
  Created_ = false;
  Written_ = false;
  Fd_ = CreateScratchFile(ExecutionPath() + "SCRATCH" + PathDelim, FileName_);
  const int error = IOResult();
  if (Fd_ >= 0) {
    Created_ = true;
    LastMakeError = 0;
    return true;
  }
  const bool repeat = quietRepeat && error == LastMakeError;
  LastMakeError = error;
  if (repeat)
    Drop();
  else
    Fail(error, ActionCreating);
  return false;
}

bool TUndoJournal::OpenFile(bool truncate) {
  if (Fd_ >= 0 && !truncate) return true;
  // An open file is emptied in place (one no block was written to is empty
  // already); a new one is made only when that fails.
  if (Fd_ >= 0) {
    if (!Written_ || ::ftruncate(Fd_, 0) == 0) {
      Written_ = false;
      return true;
    }
    ::close(Fd_);
    Fd_ = -1;
  }
  return MakeFile(truncate);
}

int TUndoJournal::WriteAt(off_t at, const uint8_t* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::pwrite(Fd_, data + done, size - done, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int TUndoJournal::ReadAt(off_t at, uint8_t* data, size_t size) const {
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::pread(Fd_, data + done, size - done, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    // The journal only ever reads what it has written whole.
    if (n == 0) return EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

bool TUndoJournal::WriteBlock(int32_t block) {
  if (!OpenFile(false)) return false;
  Written_ = true;
  if (const int error = WriteAt(static_cast<off_t>(block) * BlockSize, Block_.data(), Block_.size())) {
    Fail(error, ActionWriting);
    return false;
  }
  return true;
}

bool TUndoJournal::ReadBlock(int32_t block) {
  if (!OpenFile(false)) return false;
  if (const int error = ReadAt(static_cast<off_t>(block) * BlockSize, Block_.data(), Block_.size())) {
    Fail(error, ActionReading);
    return false;
  }
  return true;
}

void TUndoJournal::Fail(int error, const char* action) {
  ReportIOError(error, std::string(action) + " " + FileName_);
  Drop();
}

void TUndoJournal::Drop() {
  // Whatever was recorded can no longer be trusted: start again empty.
  ClearState();
  if (Fd_ >= 0 && ::ftruncate(Fd_, 0) != 0) {
    // The file is only truncated to free space; its contents are no longer
    // read either way.
  }
  UndoWindow().DisableButton(UndoCommand);
  UndoWindow().DisableButton(RedoCommand);
}

void TUndoJournal::ClearState() {
  ++History_;
  RecordCount_ = 0;
  UndoneCount_ = 0;
  UndoCount_ = 0;
  RedoCount_ = 0;
  BlockPos_ = 1;
  CurrentBlock_ = 0;
  NextUndoName_.clear();
  NextRedoName_.clear();
  OpenRecords_ = false;
  Block_.fill(0);
}

void TUndoJournal::Reset() {
  ClearState();
  Discarding_ = false;
  OpenFile(true);
  UndoWindow().DisableButton(UndoCommand);
  UndoWindow().DisableButton(RedoCommand);
}

// ---- Records ----------------------------------------------------------------------------

int32_t TUndoJournal::RecordIndex(int32_t pos) {
  return GetInt32(RecordAt(pos) + 1);
}

void TUndoJournal::DiscardRedo() {
  if (RedoCount_ == 0) return;
  RedoCount_ = 0;
  NextRedoName_.clear();
  RecordCount_ -= UndoneCount_;
  UndoneCount_ = 0;
  UndoWindow().DisableButton(RedoCommand);
}

TUndoJournal::TMark TUndoJournal::Mark() const {
  TMark mark{RecordCount_, UndoneCount_, UndoCount_, RedoCount_, NextUndoName_, NextRedoName_, OpenRecords_,
             History_, {}};
  if (RedoCount_ > 0 && UndoneCount_ > 0) {
    // An undo from the end wrote the block it left, so every record up to
    // the end is in the file (or, without one, in the only block).
    const int32_t end = RecordCount_ - UndoneCount_;
    mark.RedoRecords.resize(static_cast<size_t>(UndoneCount_) * RecordSize);
    const off_t at = static_cast<off_t>(end) * RecordSize;
    bool read = false;
    if (Fd_ >= 0 && Written_) {
      read = ReadAt(at, mark.RedoRecords.data(), mark.RedoRecords.size()) == 0;
    } else if (RecordCount_ <= RecordsPerBlock) {
      std::memcpy(mark.RedoRecords.data(), Block_.data() + at, mark.RedoRecords.size());
      read = true;
    }
    // Unreadable: taken back, the journal offers nothing to redo.
    if (!read) mark.RedoRecords.clear();
  }
  return mark;
}

void TUndoJournal::TakeBackTo(const TMark& mark) {
  if (RecordCount_ == mark.Records && UndoneCount_ == mark.Undone && UndoCount_ == mark.Undos &&
      RedoCount_ == mark.Redos && OpenRecords_ == mark.Open)
    return;
  // The end the later records were written after.
  const int32_t end = mark.Records - mark.Undone;
  // A history dropped or walked since holds nothing of the mark's to go back to.
  if (History_ != mark.History || UndoneCount_ != 0 || RecordCount_ < end) return;
  const int32_t block = end / RecordsPerBlock;
  if (block != CurrentBlock_) {
    // A block left behind went to the file whole.
    if (!ReadBlock(block)) return;
    CurrentBlock_ = block;
  }
  BlockPos_ = static_cast<uint16_t>(end % RecordsPerBlock + 1);
  std::memset(RecordAt(BlockPos_), 0, static_cast<size_t>(RecordsPerBlock - BlockPos_ + 1) * RecordSize);
  RecordCount_ = end;
  UndoneCount_ = 0;
  UndoCount_ = mark.Undos;
  NextUndoName_ = mark.UndoName;
  RedoCount_ = 0;
  NextRedoName_.clear();
  OpenRecords_ = mark.Open;
  Discarding_ = false;
  if (!mark.RedoRecords.empty() && RestoreRedo(mark)) {
    RecordCount_ = mark.Records;
    UndoneCount_ = mark.Undone;
    RedoCount_ = mark.Redos;
    NextRedoName_ = mark.RedoName;
  }
  if (UndoCount_ == 0 && !OpenRecords_) UndoWindow().DisableButton(UndoCommand);
  if (RedoCount_ == 0) UndoWindow().DisableButton(RedoCommand);
  UndoWindow().UndoStepsChanged(false);
}

bool TUndoJournal::RestoreRedo(const TMark& mark) {
  const int32_t end = mark.Records - mark.Undone;
  const int32_t block = end / RecordsPerBlock;
  if (Fd_ < 0 || !Written_) {
    // Still the one block in memory.
    if (mark.Records > RecordsPerBlock || block != 0) return false;
    std::memcpy(Block_.data() + static_cast<size_t>(end) * RecordSize, mark.RedoRecords.data(),
                mark.RedoRecords.size());
    return true;
  }
  // The block being filled goes to the file whole first, then the steps to
  // redo over it and the blocks after, and the block is read back.
  if (!WriteBlock(block)) return false;
  if (const int error =
          WriteAt(static_cast<off_t>(end) * RecordSize, mark.RedoRecords.data(), mark.RedoRecords.size())) {
    Fail(error, ActionWriting);
    return false;
  }
  return ReadBlock(block);
}

std::string TUndoJournal::RecordName(int32_t pos) {
  const uint8_t* r = RecordAt(pos);
  uint8_t length = r[1] > MaxNameLength ? MaxNameLength : r[1];
  return std::string(reinterpret_cast<const char*>(r + 2), length);
}

void TUndoJournal::WriteRecord(uint8_t kind, int32_t index, std::string_view name,
                               uint8_t flag) {
  // Entity records come by the million with an import: they take no name.
  const std::string_view cut = name.substr(0, MaxNameLength);
  if (RedoCount_ > 0) {
    // A new change after undo: the undone steps are gone, and the new record
    // overwrites the first of them.
    RedoCount_ = 0;
    NextRedoName_.clear();
    RecordCount_ -= UndoneCount_;
    UndoneCount_ = 0;
  }
  uint8_t* r = RecordAt(BlockPos_);
  std::memset(r, 0, RecordSize);
  r[0] = kind;
  if (kind == rkMarker) {
    r[1] = static_cast<uint8_t>(cut.size());
    std::memcpy(r + 2, cut.data(), cut.size());
    NextUndoName_.assign(cut);
    ++UndoCount_;
  } else {
    PutInt32(r + 1, index);
    if (kind == rkChanged) r[5] = flag;
  }
  if (BlockPos_ == RecordsPerBlock) {
    if (!WriteBlock(CurrentBlock_)) {
      // The history is gone; the rest of the operation being recorded goes
      // unrecorded, so that no partial step can be undone.
      Discarding_ = kind != rkMarker;
      return;
    }
    ++CurrentBlock_;
    BlockPos_ = 1;
    Block_.fill(0);
  } else {
    ++BlockPos_;
  }
  ++RecordCount_;
}

void TUndoJournal::RecordAdd(int32_t index) {
  if (Discarding_) return;
  WriteRecord(rkAdded, index, {}, 0);
  if (!Discarding_) OpenRecords_ = true;
}

void TUndoJournal::RecordDelete(int32_t index) {
  if (Discarding_) return;
  WriteRecord(rkDeleted, index, {}, 0);
  if (!Discarding_) OpenRecords_ = true;
}

void TUndoJournal::RecordChange(int32_t index, uint8_t flag) {
  if (Discarding_) return;
  WriteRecord(rkChanged, index, {}, flag);
  if (!Discarding_) OpenRecords_ = true;
}

void TUndoJournal::BeginOperation(const std::string& name) {
  if (Discarding_) {
    // The end of an operation that could not be recorded: journal anew.
    Discarding_ = false;
    return;
  }
  if (!OpenRecords_) return;
  WriteRecord(rkMarker, 0, name, 0);
  OpenRecords_ = false;
  // Every change of the job is journalled, deletions too, which construct
  // nothing that would mark the job: a closed step does.
  DatabaseModified = true;
  UndoWindow().UndoStepsChanged(false);
}

bool TUndoJournal::CanUndo(std::string& name, int32_t maxLength) const {
  name = NextUndoName_.substr(0, maxLength < 0 ? 0 : maxLength);
  return UndoCount_ > 0;
}

bool TUndoJournal::CanRedo(std::string& name, int32_t maxLength) const {
  name = NextRedoName_.substr(0, maxLength < 0 ? 0 : maxLength);
  return RedoCount_ > 0;
}

// ---- Walking the journal ----------------------------------------------------------------

bool TUndoJournal::StepBack() {
  if (BlockPos_ == 1) {
    if (CurrentBlock_ == 0) {
      Fail(EIO, ActionReading);
      return false;
    }
    if (!ReadBlock(CurrentBlock_ - 1)) return false;
    --CurrentBlock_;
    BlockPos_ = RecordsPerBlock;
  } else {
    --BlockPos_;
  }
  ++UndoneCount_;
  return true;
}

bool TUndoJournal::StepForward() {
  if (BlockPos_ == RecordsPerBlock) {
    int32_t next = CurrentBlock_ + 1;
    struct stat st;
    if (!OpenFile(false)) return false;
    if (::fstat(Fd_, &st) != 0) {
      Fail(errno, ActionReading);
      return false;
    }
    if (st.st_size > static_cast<off_t>(next) * BlockSize) {
      if (!ReadBlock(next)) return false;
    } else {
      Block_.fill(0);
    }
    CurrentBlock_ = next;
    BlockPos_ = 1;
  } else {
    ++BlockPos_;
  }
  --UndoneCount_;
  return true;
}

void TUndoJournal::ReplayUndo(uint8_t kind, int32_t index, uint8_t flag) {
  switch (kind) {
    case rkAdded:
      EraseEntity(index);
      DeleteEntity(index);
      break;
    case rkDeleted:
      UndeleteEntity(index);
      DrawEntity(index);
      break;
    case rkChanged:
      UndoChange(index, flag);
      break;
    default:
      break;
  }
}

void TUndoJournal::ReplayRedo(uint8_t kind, int32_t index, uint8_t flag) {
  switch (kind) {
    case rkAdded:
      UndeleteEntity(index);
      DrawEntity(index);
      break;
    case rkDeleted:
      EraseEntity(index);
      DeleteEntity(index);
      break;
    case rkChanged:
      RedoChange(index, flag);
      break;
    default:
      break;
  }
}

void TUndoJournal::Undo() {
  {
    TReplayBracket bracket;
    // Records not yet closed by a marker are the latest changes: they
    // become a step of their own, so the walk below undoes exactly them.
    if (OpenRecords_) BeginOperation("");
    if (UndoCount_ > 0) {
      DatabaseModified = true;  // the job is no longer what was saved
      // From the end of the journal the block being filled exists only in
      // memory; the walk may leave it.
      bool ok = RedoCount_ != 0 || WriteBlock(CurrentBlock_);
      ok = ok && StepBack();  // over the marker that closes the step
      bool atStart = false;
      while (ok) {
        if (!StepBack()) {
          ok = false;
          break;
        }
        uint8_t kind = RecordKind(BlockPos_);
        ReplayUndo(kind, RecordIndex(BlockPos_), RecordFlag(BlockPos_));
        if (UndoneCount_ >= RecordCount_) {
          atStart = true;
          break;
        }
        if (kind == rkMarker) break;
      }
      if (ok) {
        --UndoCount_;
        ++RedoCount_;
        NextRedoName_ = NextUndoName_;
        if (atStart) {
          NextUndoName_.clear();
        } else {
          NextUndoName_ = RecordName(BlockPos_);
          StepForward();
        }
      }
    }
  }
  std::string name;
  CanUndo(name, MaxNameLength);
  UndoWindow().SetHintCaption(UndoWindow().UndoButtonHint() + " " + name);
  UndoWindow().UndoStepsChanged(true);
}

bool TUndoJournal::PeekRedoName() {
  int32_t steps = 0;
  do {
    if (UndoneCount_ <= 1) {
      // No marker before the end: the journal is not what it should be.
      Fail(EIO, ActionReading);
      return false;
    }
    if (!StepForward()) return false;
    ++steps;
  } while (RecordKind(BlockPos_) != rkMarker);
  NextRedoName_ = RecordName(BlockPos_);
  for (; steps > 0; --steps)
    if (!StepBack()) return false;
  return true;
}

void TUndoJournal::Redo() {
  {
    TReplayBracket bracket;
    if (RedoCount_ > 0) {
      DatabaseModified = true;
      bool ok = true;
      // The walk ends at the marker that closes the step; a journal that
      // ended before one would be inconsistent.
      do {
        ReplayRedo(RecordKind(BlockPos_), RecordIndex(BlockPos_), RecordFlag(BlockPos_));
        if (UndoneCount_ <= 1) {
          ok = false;
          Fail(EIO, ActionReading);
          break;
        }
        ok = StepForward();
      } while (ok && RecordKind(BlockPos_) != rkMarker);
      if (ok) {
        ++UndoCount_;
        --RedoCount_;
        NextUndoName_ = RecordName(BlockPos_);
        ok = StepForward();
      }
      if (ok) {
        if (RedoCount_ > 0)
          PeekRedoName();
        else
          NextRedoName_.clear();
      }
    }
  }
  std::string name;
  CanRedo(name, MaxNameLength);
  UndoWindow().SetHintCaption(UndoWindow().RedoButtonHint() + " " + name);
  UndoWindow().UndoStepsChanged(true);
}
