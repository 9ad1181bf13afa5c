#include "model/undo_journal.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "detached_undo_window.h"
#include "foundation/file_utils.h"
#include "korvex_test.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

// A journal bound to a drill store: every slot holds a live entity on layer
// 30 until the journal's callbacks mark it deleted; every callback is noted.
class TTestJournal : public TUndoJournal {
 public:
  TDrillEntities Store;
  int32_t Count = 0;
  std::vector<std::string> Log;

  // An edit that appends an entity and journals it.
  int32_t AddEntity() {
    TEntitySlot* slot = Store.AddSlot(Count);
    slot->Flags = NCLayerBit(30);
    RecordAdd(Count);
    return Count;
  }
  // An edit that deletes an entity and journals it.
  void DeleteIt(int32_t index) {
    Store.GetSlot(index)->Flags |= SlotDeletedBit;
    RecordDelete(index);
  }
  bool Live(int32_t index) { return !SlotDeleted(Store.GetSlot(index)->Flags); }
  // The slot of an index in use, else nullptr (journals may carry any index).
  TEntitySlot* SlotOf(int32_t index) {
    return index >= 1 && index <= Count ? Store.GetSlot(index) : nullptr;
  }

 protected:
  void EraseEntity(int32_t index) override { Log.push_back("erase " + std::to_string(index)); }
  void DrawEntity(int32_t index) override { Log.push_back("draw " + std::to_string(index)); }
  void DeleteEntity(int32_t index) override {
    Log.push_back("delete " + std::to_string(index));
    if (TEntitySlot* slot = SlotOf(index)) slot->Flags |= SlotDeletedBit;
  }
  void UndeleteEntity(int32_t index) override {
    Log.push_back("undelete " + std::to_string(index));
    if (TEntitySlot* slot = SlotOf(index)) slot->Flags &= ~SlotDeletedBit;
  }
  void UndoChange(int32_t index, uint8_t flag) override {
    Log.push_back("undo change " + std::to_string(index) + " " + std::to_string(flag));
  }
  void RedoChange(int32_t index, uint8_t flag) override {
    Log.push_back("redo change " + std::to_string(index) + " " + std::to_string(flag));
  }
};

class UndoJournalTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    DetachedUndoWindow().Clear();
    ASSERT_TRUE(EnsureWorkingDirectories());
  }
  void TearDown() override {
    ResetHeadlessDialogs();
    DetachedUndoWindow().Clear();
    TKorvexTest::TearDown();
  }

  static std::string FileOf(const TUndoJournal& j) {
    return ReadFileBytes(NativePath(j.FileName()));
  }
  static int64_t SizeOf(const TUndoJournal& j) { return fs::file_size(NativePath(j.FileName())); }
  static std::string UndoName(const TUndoJournal& j) {
    std::string name;
    j.CanUndo(name);
    return name;
  }
  static std::string RedoName(const TUndoJournal& j) {
    std::string name;
    j.CanRedo(name);
    return name;
  }
  static std::string Hint() { return DetachedUndoWindow().HintCaption; }
};

TEST_F(UndoJournalTest, ScratchFileLivesAsLongAsTheJournal) {
  std::string native;
  {
    TTestJournal j;
    native = NativePath(j.FileName());
    EXPECT_TRUE(fs::exists(native));
    EXPECT_EQ(fs::file_size(native), 0u);
    EXPECT_EQ(fs::path(native).parent_path().filename(), "SCRATCH");
    std::string name = fs::path(native).filename();
    EXPECT_EQ(name.size(), 12u);
    EXPECT_EQ(name.substr(8), ".TMP");
    EXPECT_EQ(j.FileName().substr(0, ExecutionPath().size()), ExecutionPath());

    TTestJournal other;
    EXPECT_NE(other.FileName(), j.FileName());
    for (int i = 0; i < 2000; ++i) j.AddEntity();
    j.BeginOperation("Import file");
  }
  EXPECT_FALSE(fs::exists(native));
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

TEST_F(UndoJournalTest, RecordLayoutOnDisk) {
  TTestJournal j;
  j.AddEntity();                      // index 1
  j.RecordDelete(0x01020304);         // an index spanning all four bytes
  j.RecordChange(-2, 0xAB);
  j.BeginOperation("Create Step && Repeat");  // cut to 20 characters
  j.Undo();                           // flushes the block being filled
  std::string bytes = FileOf(j);
  ASSERT_EQ(bytes.size(), 33000u);
  // Record 1: added, index 1; record 2 at byte 22: deleted, little-endian
  // index; record 3 at byte 44: changed, index -2, flag byte.
  EXPECT_EQ(bytes.substr(0, 5), std::string("\x01\x01\x00\x00\x00", 5));
  EXPECT_EQ(bytes.substr(22, 5), std::string("\x02\x04\x03\x02\x01", 5));
  EXPECT_EQ(bytes.substr(44, 6), std::string("\x03\xFE\xFF\xFF\xFF\xAB", 6));
  // Record 4 at byte 66: marker, length, the name's first 20 characters.
  EXPECT_EQ(bytes.substr(66, 22), std::string("\x00\x14", 2) + "Create Step && Repea");
  // The rest of a fresh block is zero.
  EXPECT_EQ(bytes.substr(88), std::string(33000 - 88, '\0'));
  EXPECT_EQ(j.Log, (std::vector<std::string>{"undo change -2 171", "undelete 16909060",
                                             "draw 16909060", "erase 1", "delete 1"}));
  EXPECT_EQ(RedoName(j), "Create Step && Repea");
}

TEST_F(UndoJournalTest, ExactlyFifteenHundredRecordsFillOneBlock) {
  TTestJournal j;
  for (int i = 0; i < 1499; ++i) j.AddEntity();
  EXPECT_EQ(SizeOf(j), 0);
  j.BeginOperation("Fill");  // the 1,500th record stores block 0
  EXPECT_EQ(j.RecordCount(), 1500);
  ASSERT_EQ(SizeOf(j), 33000);
  std::string bytes = FileOf(j);
  EXPECT_EQ(static_cast<uint8_t>(bytes[1498 * 22]), 1);
  EXPECT_EQ(static_cast<uint8_t>(bytes[1499 * 22]), 0);
  EXPECT_EQ(bytes.substr(1499 * 22 + 2, 4), "Fill");

  // Undo steps back from record 1 of block 1 into block 0.
  j.Undo();
  EXPECT_EQ(SizeOf(j), 66000);
  ASSERT_EQ(j.Log.size(), 2998u);
  EXPECT_EQ(j.Log.front(), "erase 1499");
  EXPECT_EQ(j.Log.back(), "delete 1");
  for (int32_t i = 1; i <= 1499; ++i) ASSERT_FALSE(j.Live(i));
  std::string name;
  EXPECT_FALSE(j.CanUndo(name));
  EXPECT_EQ(name, "");
  EXPECT_TRUE(j.CanRedo(name));
  EXPECT_EQ(name, "Fill");

  j.Log.clear();
  j.Redo();
  ASSERT_EQ(j.Log.size(), 2998u);
  EXPECT_EQ(j.Log.front(), "undelete 1");
  EXPECT_EQ(j.Log.back(), "draw 1499");
  for (int32_t i = 1; i <= 1499; ++i) ASSERT_TRUE(j.Live(i));
  EXPECT_EQ(UndoName(j), "Fill");
  EXPECT_EQ(j.UndoneCount(), 0);
  EXPECT_EQ(j.RecordCount(), 1500);
}

TEST_F(UndoJournalTest, OperationsSpanningBlocksUndoAndRedoCompletely) {
  TTestJournal j;
  for (int i = 0; i < 10; ++i) j.AddEntity();
  j.BeginOperation("First");
  for (int i = 0; i < 4000; ++i) j.AddEntity();  // records 12..4011
  for (int32_t i = 1; i <= 5; ++i) j.DeleteIt(i);
  j.BeginOperation("Big");
  for (int i = 0; i < 1700; ++i) j.AddEntity();
  j.BeginOperation("Last");
  EXPECT_EQ(j.RecordCount(), 11 + 4006 + 1701);

  j.Undo();
  j.Undo();
  EXPECT_EQ(UndoName(j), "First");
  EXPECT_EQ(RedoName(j), "Big");
  for (int32_t i = 1; i <= 5; ++i) EXPECT_TRUE(j.Live(i));
  for (int32_t i = 11; i <= j.Count; ++i) ASSERT_FALSE(j.Live(i));
  // The walk of "Big" went backwards: deletions first undone, adds last.
  EXPECT_EQ(j.Log[2 * 1700], "undelete 5");
  EXPECT_EQ(j.Log.back(), "delete 11");

  j.Log.clear();
  j.Redo();  // reads the later blocks back from the file
  EXPECT_EQ(j.Log.front(), "undelete 11");
  EXPECT_EQ(j.Log.back(), "delete 5");
  EXPECT_EQ(j.Log.size(), 2u * 4005);
  EXPECT_EQ(RedoName(j), "Last");
  EXPECT_EQ(UndoName(j), "Big");
  j.Redo();  // the partly filled last block that the first undo flushed
  for (int32_t i = 6; i <= j.Count; ++i) ASSERT_TRUE(j.Live(i));
  for (int32_t i = 1; i <= 5; ++i) EXPECT_FALSE(j.Live(i));
  std::string name;
  EXPECT_FALSE(j.CanRedo(name));
  EXPECT_EQ(UndoName(j), "Last");
  EXPECT_EQ(j.UndoneCount(), 0);

  // Everything back to the start, then forward again.
  j.Undo();
  j.Undo();
  j.Undo();
  for (int32_t i = 1; i <= j.Count; ++i) ASSERT_FALSE(j.Live(i));
  EXPECT_FALSE(j.CanUndo(name));
  EXPECT_EQ(j.UndoneCount(), j.RecordCount());
  j.Redo();
  j.Redo();
  j.Redo();
  for (int32_t i = 6; i <= j.Count; ++i) ASSERT_TRUE(j.Live(i));
  EXPECT_EQ(j.RedoCount(), 0);
  EXPECT_EQ(j.UndoCount(), 3);
  EXPECT_TRUE(ShownMessageBoxes().empty());
}

TEST_F(UndoJournalTest, NewChangeAfterUndoDropsTheRedoTail) {
  TTestJournal j;
  j.AddEntity();
  j.BeginOperation("One");
  j.AddEntity();
  j.BeginOperation("Two");
  j.AddEntity();
  j.BeginOperation("Three");
  j.Undo();
  j.Undo();
  EXPECT_EQ(RedoName(j), "Two");
  EXPECT_EQ(j.RecordCount(), 6);

  j.DeleteIt(1);
  std::string name = "x";
  EXPECT_FALSE(j.CanRedo(name));
  EXPECT_EQ(name, "");
  EXPECT_EQ(j.RecordCount(), 3);
  j.BeginOperation("Four");
  EXPECT_EQ(j.RecordCount(), 4);
  EXPECT_EQ(UndoName(j), "Four");
  EXPECT_EQ(j.UndoCount(), 2);

  // The new records overwrote the undone ones in place.
  j.Undo();
  std::string bytes = FileOf(j);
  EXPECT_EQ(static_cast<uint8_t>(bytes[2 * 22]), 2);
  EXPECT_EQ(static_cast<uint8_t>(bytes[2 * 22 + 1]), 1);
  EXPECT_EQ(static_cast<uint8_t>(bytes[3 * 22]), 0);
  EXPECT_EQ(bytes.substr(3 * 22 + 2, 4), "Four");
  EXPECT_TRUE(j.Live(1));
  j.Undo();
  EXPECT_FALSE(j.Live(1));
  std::string undoName;
  EXPECT_FALSE(j.CanUndo(undoName));
}

TEST_F(UndoJournalTest, RedoLooksAheadForTheNextName) {
  TTestJournal j;
  for (const char* op : {"A", "B", "C"}) {
    j.AddEntity();
    j.AddEntity();
    j.BeginOperation(op);
  }
  j.Undo();
  EXPECT_EQ(Hint(), "[OO] Undo B");
  j.Undo();
  j.Undo();
  EXPECT_EQ(Hint(), "[OO] Undo ");
  EXPECT_EQ(RedoName(j), "A");
  j.Redo();
  EXPECT_EQ(Hint(), "[UU] Redo B");
  EXPECT_EQ(UndoName(j), "A");
  EXPECT_EQ(j.UndoneCount(), 6);  // just after the marker of A
  j.Redo();
  EXPECT_EQ(RedoName(j), "C");
  j.Redo();
  EXPECT_EQ(Hint(), "[UU] Redo ");
  for (int32_t i = 1; i <= 6; ++i) EXPECT_TRUE(j.Live(i));
  // Each replay ran inside one modal bracket under the hourglass.
  EXPECT_EQ(DetachedUndoWindow().ModalBrackets, 6);
  EXPECT_EQ(DetachedUndoWindow().ModalDepth, 0);
  EXPECT_FALSE(DetachedUndoWindow().HourGlass);
}

TEST_F(UndoJournalTest, NothingToUndoOrRedoStillSetsTheHint) {
  TTestJournal j;
  j.Undo();
  EXPECT_EQ(Hint(), "[OO] Undo ");
  j.Redo();
  EXPECT_EQ(Hint(), "[UU] Redo ");
  EXPECT_TRUE(j.Log.empty());
  EXPECT_EQ(SizeOf(j), 0);
}

TEST_F(UndoJournalTest, BeginOperationWritesAMarkerOnlyAfterRecords) {
  TTestJournal j;
  j.BeginOperation("Nothing");
  EXPECT_EQ(j.RecordCount(), 0);
  EXPECT_EQ(j.UndoCount(), 0);
  j.AddEntity();
  EXPECT_TRUE(j.OpenRecords());
  j.BeginOperation("Once");
  j.BeginOperation("Twice");
  EXPECT_EQ(j.RecordCount(), 2);
  EXPECT_EQ(j.UndoCount(), 1);
  EXPECT_EQ(UndoName(j), "Once");
  std::string shortName;
  EXPECT_TRUE(j.CanUndo(shortName, 2));
  EXPECT_EQ(shortName, "On");
}

TEST_F(UndoJournalTest, UndoClosesRecordsLeftOpenAsTheirOwnStep) {
  TTestJournal j;
  j.AddEntity();
  j.BeginOperation("Closed");
  j.AddEntity();
  j.DeleteIt(1);  // not closed by a marker
  j.Undo();
  // Only the open records were undone.
  EXPECT_EQ(j.Log, (std::vector<std::string>{"undelete 1", "draw 1", "erase 2", "delete 2"}));
  EXPECT_TRUE(j.Live(1));
  EXPECT_FALSE(j.Live(2));
  EXPECT_EQ(UndoName(j), "Closed");
  EXPECT_FALSE(j.OpenRecords());
  j.Log.clear();
  j.Undo();
  EXPECT_EQ(j.Log, (std::vector<std::string>{"erase 1", "delete 1"}));
  j.Redo();
  j.Redo();
  EXPECT_TRUE(j.Live(2));
  EXPECT_FALSE(j.Live(1));
}

// A deletion constructs nothing, yet it changes the job as much as an
// addition; so do Undo and Redo.
TEST_F(UndoJournalTest, EveryClosedStepUndoAndRedoMarkTheJobModified) {
  TTestJournal j;
  DatabaseModified = false;
  j.BeginOperation("Nothing open");  // only a step with records counts
  EXPECT_FALSE(DatabaseModified);
  j.AddEntity();
  j.AddEntity();
  j.BeginOperation("Add");
  DatabaseModified = false;
  j.DeleteIt(1);
  EXPECT_FALSE(DatabaseModified);
  j.BeginOperation("Delete");
  EXPECT_TRUE(DatabaseModified);
  DatabaseModified = false;
  j.Undo();
  EXPECT_TRUE(DatabaseModified);
  DatabaseModified = false;
  j.Redo();
  EXPECT_TRUE(DatabaseModified);
  DatabaseModified = false;
  j.Redo();  // nothing left to redo
  EXPECT_FALSE(DatabaseModified);
}

TEST_F(UndoJournalTest, ResetForgetsEverything) {
  TTestJournal j;
  for (int i = 0; i < 1600; ++i) j.AddEntity();
  j.BeginOperation("Before pack");
  j.AddEntity();
  j.BeginOperation("More");
  j.Undo();
  EXPECT_GT(SizeOf(j), 0);

  j.Reset();
  EXPECT_EQ(SizeOf(j), 0);
  EXPECT_EQ(j.RecordCount(), 0);
  EXPECT_EQ(j.UndoneCount(), 0);
  EXPECT_EQ(j.UndoCount(), 0);
  EXPECT_EQ(j.RedoCount(), 0);
  EXPECT_EQ(UndoName(j), "");
  EXPECT_EQ(RedoName(j), "");
  EXPECT_EQ(DetachedUndoWindow().DisabledButtons, (std::vector<int32_t>{79, 124}));

  // No stale index is ever replayed.
  j.Log.clear();
  j.Undo();
  j.Redo();
  EXPECT_TRUE(j.Log.empty());
  j.RecordAdd(7);
  j.BeginOperation("After");
  j.Undo();
  EXPECT_EQ(j.Log, (std::vector<std::string>{"erase 7", "delete 7"}));

  // A reset of a journal that wrote nothing more leaves the file empty; one
  // that filled a block again empties it again.
  j.Reset();
  j.Reset();
  EXPECT_EQ(SizeOf(j), 0);
  for (int i = 0; i < 1500; ++i) j.AddEntity();
  j.BeginOperation("Again");
  EXPECT_EQ(SizeOf(j), 33000);
  j.Reset();
  EXPECT_EQ(SizeOf(j), 0);
}

TEST_F(UndoJournalTest, MissingScratchFolderIsReportedAndLeavesAnEmptyJournal) {
  fs::remove_all(NativePath(ExecutionPath() + "SCRATCH"));
  TTestJournal j;
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            SystemErrorText(ENOENT) + "\r\nwhile creating the undo journal " + j.FileName());

  // Journalling works in memory; the undo needs the file and fails cleanly.
  j.AddEntity();
  j.BeginOperation("Lost");
  j.Undo();
  EXPECT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_TRUE(j.Log.empty());
  EXPECT_TRUE(j.Live(1));
  std::string name;
  EXPECT_FALSE(j.CanUndo(name));
  EXPECT_FALSE(j.CanRedo(name));
  EXPECT_EQ(j.RecordCount(), 0);
  EXPECT_EQ(DetachedUndoWindow().ModalDepth, 0);

  // Once the folder is back, the journal picks up its file again.
  ASSERT_TRUE(EnsureWorkingDirectories());
  j.AddEntity();
  j.BeginOperation("Kept");
  j.Undo();
  EXPECT_EQ(j.Log, (std::vector<std::string>{"erase 2", "delete 2"}));
  EXPECT_EQ(ShownMessageBoxes().size(), 2u);
}

// Journals made together in a folder that refuses them all report it once;
// each still reports when it needs its file later.
TEST_F(UndoJournalTest, JournalsRefusedTogetherReportOnce) {
  fs::remove_all(NativePath(ExecutionPath() + "SCRATCH"));
  TTestJournal a, b, c;
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            SystemErrorText(ENOENT) + "\r\nwhile creating the undo journal " + a.FileName());
  a.Reset();
  b.Reset();
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  c.AddEntity();
  c.BeginOperation("Line");
  c.Undo();
  ASSERT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_EQ(ShownMessageBoxes()[1].Text,
            SystemErrorText(ENOENT) + "\r\nwhile creating the undo journal " + c.FileName());
}

// Limits the size of files this process may write, for the duration of a
// scope; a write beyond it fails with EFBIG instead of raising a signal.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  void (*old_handler_)(int);
};

TEST_F(UndoJournalTest, WriteFailureDropsTheOperationBeingRecorded) {
  TTestJournal j;
  j.AddEntity();
  j.BeginOperation("Earlier");
  {
    TFileSizeLimit limit(40000);
    // Block 0 fits; block 1 (at record 3,000) does not.
    for (int i = 0; i < 3100; ++i) j.AddEntity();
    j.BeginOperation("Too big");
  }
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            SystemErrorText(EFBIG) + "\r\nwhile writing the undo journal " + j.FileName());
  std::string name;
  EXPECT_FALSE(j.CanUndo(name));
  EXPECT_EQ(j.RecordCount(), 0);
  EXPECT_FALSE(j.OpenRecords());
  EXPECT_EQ(DetachedUndoWindow().DisabledButtons, (std::vector<int32_t>{79, 124}));

  // The next operation is journalled as usual and undoes alone.
  j.DeleteIt(2);
  j.BeginOperation("Next");
  j.Undo();
  EXPECT_EQ(j.Log, (std::vector<std::string>{"undelete 2", "draw 2"}));
  EXPECT_FALSE(j.CanUndo(name));
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
}

}  // namespace
