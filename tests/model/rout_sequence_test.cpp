// The cut-sequence store: lists, walks, insertion points and the undo and
// redo logs of whole layer lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>
#include <vector>

#include "rout_test_support.h"

namespace {

// The rout database's side as the store sees it.
struct TFakeHost : TSequenceHost {
  std::vector<std::string> Calls;
  void SetLastPoint(int32_t x, int32_t y, uint8_t layer) override {
    Calls.push_back("last " + std::to_string(layer) + ": " + std::to_string(x) + "," +
                    std::to_string(y));
  }
  void RecordSequenceSave(int32_t count, uint8_t layer) override {
    Calls.push_back("save " + std::to_string(layer) + ": " + std::to_string(count));
  }
};

}  // namespace

class RoutSequenceTest : public TRoutTest {
 protected:
  void SetUp() override {
    TRoutTest::SetUp();
    OldHost = SetSequenceHost(&Host);
  }
  void TearDown() override {
    SetSequenceHost(OldHost);
    TRoutTest::TearDown();
  }
  std::vector<int32_t> List(uint8_t layer) const {
    std::vector<int32_t> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) out.push_back(Seq->HandleAt(layer, p));
    return out;
  }
  int32_t Jog(int32_t x, int32_t y, uint8_t layer = 40) {
    return Add(new TRoutJog({x, y}, 0, 1, 1, layer), layer);
  }
  int32_t Line(int32_t x, int32_t y, uint8_t layer = 40) {
    return Add(new TRoutLine({x, y}, 1, 0, layer), layer);
  }
  int32_t Hole(int32_t x, int32_t y, uint8_t layer = 40) {
    return Add(new TRoutHole({x, y}, 1, layer), layer);
  }
  int32_t Command(uint8_t layer = 40) { return Add(new TRoutCommand(layer, {0, 0}, "M47", 0), layer); }
  std::filesystem::path LogPath(const char* name) const { return NativePath(ExecutionPath() + name); }

  TFakeHost Host;
  TSequenceHost* OldHost = nullptr;
};

// ---- Lists ----------------------------------------------------------------------------

TEST_F(RoutSequenceTest, InsertionKeepsCallOrderAtTheInsertionPoint) {
  int32_t a = Jog(0, 0), b = Line(10, 0), c = Line(20, 0);
  EXPECT_EQ(List(40), (std::vector<int32_t>{a, b, c}));
  EXPECT_EQ(Seq->InsertPoint(40), 4);
  Seq->SetInsertAtStart(40);
  int32_t d = Jog(5, 5), e = Line(6, 6);
  EXPECT_EQ(List(40), (std::vector<int32_t>{d, e, a, b, c}));
  Seq->InsertHandleKeepPoint(40, 99);
  EXPECT_EQ(Seq->InsertPoint(40), 3);
  EXPECT_EQ(List(40), (std::vector<int32_t>{d, e, 99, a, b, c}));

  uint8_t layer = 0;
  EXPECT_EQ(Seq->FindHandle(a, layer), 4);
  EXPECT_EQ(layer, 40);
  EXPECT_EQ(Seq->FindHandle(12345, layer), 0);
  EXPECT_EQ(layer, 0);
  int32_t other = Jog(0, 0, 43);
  EXPECT_EQ(Seq->LayerOf(other), 43);
  // Positions compare whatever the layers; NoHandle is after everything.
  EXPECT_TRUE(Seq->IsBefore(other, e));
  EXPECT_TRUE(Seq->IsBefore(TSequenceStore::NoHandle, TSequenceStore::NoHandle));
  EXPECT_TRUE(Seq->IsBefore(c, TSequenceStore::NoHandle));
  EXPECT_FALSE(Seq->IsBefore(TSequenceStore::NoHandle, c));
}

TEST_F(RoutSequenceTest, RemovalAndRenumberingAfterACompaction) {
  int32_t a = Jog(0, 0), b = Line(10, 0), c = Jog(0, 0, 41), d = Line(20, 0), e = Line(5, 0, 41);
  Seq->RemoveHandle(b);
  EXPECT_EQ(List(40), (std::vector<int32_t>{a, d}));
  EXPECT_EQ(Seq->HandleAt(40, 3), 0);  // the freed last place
  Seq->RemoveHandle(777);               // in no list: nothing changes
  EXPECT_EQ(List(40), (std::vector<int32_t>{a, d}));
  Seq->InsertHandle(40, b);
  // Slot 2 (b) went from the store: every handle above it drops by one.
  Seq->DeleteHandleRenumber(b);
  EXPECT_EQ(List(40), (std::vector<int32_t>{a, d - 1}));
  EXPECT_EQ(List(41), (std::vector<int32_t>{c - 1, e - 1}));
}

// Lookups after thousands of random insertions, removals, renumberings,
// clears and undo-log reloads answer as a plain scan of the lists does,
// including while a handle stands in the lists twice, and after runs of
// insertions or removals in the middle of a list with no lookup between them.
TEST_F(RoutSequenceTest, LookupsAgreeWithAScanAfterRandomEdits) {
  std::mt19937 rng(21);
  std::array<std::vector<int32_t>, 5> model;  // each layer's handles in order
  auto scan = [&](int32_t h, uint8_t& layer) {
    for (int l = 0; l < 5; ++l)
      for (size_t p = 0; p < model[l].size(); ++p)
        if (model[l][p] == h) {
          layer = uint8_t(kFirstRoutLayer + l);
          return int32_t(p + 1);
        }
    layer = 0;
    return 0;
  };
  auto pick = [&](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
  int32_t next = 1;
  for (int step = 0; step < 8000; ++step) {
    const int l = pick(5);
    const uint8_t layer = uint8_t(kFirstRoutLayer + l);
    std::vector<int32_t>& list = model[l];
    const int op = pick(100);
    if (op < 55) {  // insert, now and then an old handle again
      const int32_t h = op < 2 && next > 1 ? 1 + pick(next - 1) : next++;
      const int at = pick(int(list.size()) + 1);
      Seq->SetInsertPoint(layer, at + 1);
      ASSERT_TRUE(Seq->InsertHandle(layer, h));
      list.insert(list.begin() + at, h);
    } else if (op < 62) {  // a run at an advancing insertion point
      const int at = pick(int(list.size()) + 1);
      Seq->SetInsertPoint(layer, at + 1);
      for (int k = 0, n = 1 + pick(60); k < n; ++k, ++next) {
        ASSERT_TRUE(Seq->InsertHandle(layer, next));
        list.insert(list.begin() + at + k, next);
      }
    } else if (op < 66) {  // a stretch of the list taken out in list order
      const int from = pick(int(list.size()) + 1);
      const int n = std::min(int(list.size()) - from, 1 + pick(60));
      const std::vector<int32_t> stretch(list.begin() + from, list.begin() + from + n);
      for (int32_t h : stretch) {
        uint8_t found;
        const int32_t p = scan(h, found);
        Seq->RemoveHandle(h);
        model[found - kFirstRoutLayer].erase(model[found - kFirstRoutLayer].begin() + p - 1);
      }
    } else if (op < 67) {
      const int32_t first = 1 + pick(next);
      Seq->RemoveHandlesFrom(first);
      for (auto& m : model) std::erase_if(m, [first](int32_t x) { return x >= first; });
    } else if (op < 80) {
      const int32_t h = 1 + pick(next);
      uint8_t found;
      const int32_t p = scan(h, found);
      Seq->RemoveHandle(h);
      if (p) model[found - kFirstRoutLayer].erase(model[found - kFirstRoutLayer].begin() + p - 1);
    } else if (op < 90) {
      const int32_t h = 1 + pick(next);
      uint8_t found;
      const int32_t p = scan(h, found);
      Seq->DeleteHandleRenumber(h);
      if (p) model[found - kFirstRoutLayer].erase(model[found - kFirstRoutLayer].begin() + p - 1);
      for (auto& m : model)
        for (int32_t& x : m)
          if (x > h) --x;
    } else if (op < 92) {
      Seq->ClearLayer(layer);
      list.clear();
    } else if (op < 96) {
      ASSERT_TRUE(Seq->SaveUndoLayer(layer));
    } else if (Seq->UndoPos() > 1) {
      // Back to the layer's last saved list, taken from the log as it is.
      const std::vector<int32_t> saved = List(layer);
      ASSERT_TRUE(Seq->SaveUndoLayer(layer));
      ASSERT_TRUE(Seq->LoadUndoLayer(layer, int32_t(saved.size())));
      list = saved;
    }
    for (int probe = 0, probes = pick(5); probe < probes; ++probe) {
      const int32_t a = pick(next + 2), b = pick(next + 2);
      uint8_t want, got;
      ASSERT_EQ(Seq->FindHandle(a, got), scan(a, want)) << "step " << step << " handle " << a;
      ASSERT_EQ(got, want);
      ASSERT_EQ(Seq->LayerOf(b), (scan(b, want), want));
      uint8_t la, lb;
      ASSERT_EQ(Seq->IsBefore(a, b), scan(a, la) < scan(b, lb));
    }
    ASSERT_EQ(List(layer), list) << "step " << step;
  }
}

// Dropping a compaction's slots in one pass leaves the lists exactly as one
// renumbering per dropped slot does, with and without a handle listed twice.
TEST_F(RoutSequenceTest, DroppingSlotsInOnePassMatchesOneAtATime) {
  std::mt19937 rng(8);
  for (int round = 0; round < 40; ++round) {
    TSequenceStore one, batch;
    const int32_t slots = 50 + int32_t(rng() % 400);
    for (int32_t h = 1; h <= slots + 5; ++h) {  // a few beyond the store too
      if (rng() % 7 == 0) continue;
      const uint8_t layer = uint8_t(kFirstRoutLayer + rng() % 5);
      const int32_t listed = round % 4 == 3 && rng() % 50 == 0 ? 2 : 1;
      for (int32_t k = 0; k < listed; ++k) {
        one.SetInsertPoint(layer, 1 + int32_t(rng() % (one.Count(layer) + 1)));
        batch.SetInsertPoint(layer, one.InsertPoint(layer));
        ASSERT_TRUE(one.InsertHandle(layer, h));
        ASSERT_TRUE(batch.InsertHandle(layer, h));
      }
    }
    uint8_t unused;
    batch.FindHandle(1, unused);  // the index built before the drop
    std::vector<int32_t> dropped;
    for (int32_t i = 1; i <= slots; ++i)
      if (rng() % 3 == 0) dropped.push_back(i);
    for (std::size_t k = 0; k < dropped.size(); ++k) one.DeleteHandleRenumber(dropped[k] - int32_t(k));
    batch.DropHandlesRenumber(dropped);
    for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
      ASSERT_EQ(batch.Count(l), one.Count(l)) << "round " << round;
      for (int32_t p = 1; p <= one.Count(l) + 3; ++p)
        ASSERT_EQ(batch.HandleAt(l, p), one.HandleAt(l, p)) << "round " << round << " place " << p;
    }
    for (int32_t h = 0; h <= slots + 6; ++h) {
      uint8_t la, lb;
      ASSERT_EQ(batch.FindHandle(h, la), one.FindHandle(h, lb));
      ASSERT_EQ(la, lb);
    }
  }
}

TEST_F(RoutSequenceTest, AFullListRefusesAnotherHandle) {
  for (int32_t i = 1; i <= TSequenceStore::Capacity; ++i) ASSERT_TRUE(Seq->InsertHandle(42, i));
  EXPECT_FALSE(Seq->InsertHandle(42, 1));
  EXPECT_EQ(Seq->Count(42), TSequenceStore::Capacity);
  EXPECT_EQ(Boxes(), std::vector<std::string>{TSequenceStore::FullMessage});
  EXPECT_FALSE(Seq->InsertHandle(12, 1));  // not a rout layer
}

// ---- Walks -----------------------------------------------------------------------------

TEST_F(RoutSequenceTest, WalksSkipHiddenDeletedHolesAndCommands) {
  EXPECT_EQ(Seq->NextPathEntity(40), 0);
  EXPECT_EQ(Seq->NextVisible(40), 0);
  EXPECT_EQ(Seq->PrevPathEntity(40), 0);
  EXPECT_TRUE(Seq->AtLayerStart(40));
  EXPECT_EQ(Seq->EntityBeforeInsert(40), RoutEntityCount + 1);

  int32_t h = Hole(1, 1), k = Command();
  Seq->RewindAll();
  EXPECT_EQ(Seq->NextPathEntity(40), 0);
  Seq->RewindAll();
  EXPECT_EQ(Seq->NextVisible(40), h);
  EXPECT_EQ(Seq->NextVisible(40), k);
  EXPECT_EQ(Seq->NextVisible(40), 0);

  int32_t j = Jog(0, 0), gone = Line(5, 5), l = Line(9, 9);
  MarkDeleted(gone);
  Seq->RewindAll();
  EXPECT_EQ(Seq->NextPathEntity(40), j);
  EXPECT_EQ(Seq->NextPathEntity(40), l);
  EXPECT_EQ(Seq->PrevPathEntity(40), l);  // the one just returned
  EXPECT_EQ(Seq->PrevPathEntity(40), j);
  EXPECT_EQ(Seq->PrevPathEntity(40), 0);
  uint8_t layer;
  EXPECT_EQ(Seq->FindHandle(gone, layer), 4);

  DisplayedNCLayerMask &= ~NCLayerBit(40);  // the whole layer hidden
  Seq->RewindAll();
  EXPECT_EQ(Seq->ReadCursor(40), Seq->Count(40) + 1);
  EXPECT_EQ(Seq->NextVisible(40), 0);
}

// Walks forward and back, and seeks, after random runs of insertions and
// removals at places all over a layer, step over exactly the hidden entries
// of the list as HandleAt gives it.
TEST_F(RoutSequenceTest, WalksFollowTheListAfterRandomEditsInTheMiddle) {
  std::mt19937 rng(2112);
  auto pick = [&](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
  auto visible = [](int32_t h) { return int32_t(RoutSlotFlags(h) & DisplayedNCLayerMask) > 0; };
  auto path = [&](int32_t h) {
    const uint8_t t = RoutEntityAt(h)->GetType();
    return visible(h) && t != etRoutHole && t != etRoutCommand;
  };
  for (int step = 0; step < 300; ++step) {
    const int op = pick(10);
    const int32_t count = Seq->Count(40);
    if (op < 5) {
      Seq->SetInsertPoint(40, 1 + pick(count + 1));
      for (int k = 0, n = 1 + pick(40); k < n; ++k) {
        const int kind = pick(6);
        if (kind == 0) Jog(k, step); else if (kind == 1) Hole(k, step);
        else if (kind == 2) Command(); else Line(k, step);
      }
    } else if (op < 8 && count > 0) {
      const int32_t from = 1 + pick(count);
      const std::vector<int32_t> list = List(40);
      for (int32_t p = from; p < std::min(count, from + 1 + pick(30)) + 1; ++p)
        Seq->RemoveHandle(list[size_t(p - 1)]);
    } else if (RoutEntityCount > 0) {
      for (int k = 0; k < 10; ++k) MarkDeleted(1 + pick(RoutEntityCount));
    }
    const std::vector<int32_t> list = List(40);
    std::vector<int32_t> shown, paths, walked;
    for (int32_t h : list) {
      if (visible(h)) shown.push_back(h);
      if (path(h)) paths.push_back(h);
    }
    Seq->RewindAll();
    for (int32_t h = Seq->NextVisible(40); h != 0; h = Seq->NextVisible(40)) walked.push_back(h);
    ASSERT_EQ(walked, shown) << "step " << step;
    walked.clear();
    Seq->RewindAll();
    for (int32_t h = Seq->NextPathEntity(40); h != 0; h = Seq->NextPathEntity(40)) walked.push_back(h);
    ASSERT_EQ(walked, paths) << "step " << step;
    walked.clear();
    Seq->SetReadCursor(40, Seq->Count(40) + 1);
    for (int32_t h = Seq->PrevPathEntity(40); h != 0; h = Seq->PrevPathEntity(40)) walked.insert(walked.begin(), h);
    ASSERT_EQ(walked, paths) << "step " << step;
    if (!list.empty()) {
      const size_t at = size_t(pick(int(list.size())));
      ASSERT_TRUE(Seq->SeekHandle(list[at]));
      const auto next = std::find_if(list.begin() + long(at), list.end(), visible);
      ASSERT_EQ(Seq->NextVisible(40), next == list.end() ? 0 : *next) << "step " << step;
    }
  }
}

TEST_F(RoutSequenceTest, FindPathJogWalksBackAndKeepsTheCursor) {
  int32_t j = Jog(0, 0), a = Line(10, 0), h = Hole(3, 3), b = Line(20, 0);
  int32_t c = Add(new TRoutCircle({50, 50}, 1, 0, 1, 5, 1, false, 40));
  Seq->SetReadCursor(40, 2);
  EXPECT_EQ(Seq->FindPathJog(b), j);
  EXPECT_EQ(Seq->FindPathJog(a), j);
  EXPECT_EQ(Seq->FindPathJog(h), h);
  EXPECT_EQ(Seq->FindPathJog(c), c);
  EXPECT_EQ(Seq->ReadCursor(40), 2);
  EXPECT_TRUE(Boxes().empty());

  int32_t orphan = Line(1, 1, 41);
  EXPECT_EQ(Seq->FindPathJog(orphan), 0);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"DataBase error.  Jog missing from sequence."});
}

// ---- Insertion points -------------------------------------------------------------------

TEST_F(RoutSequenceTest, InsertionPointsAndTheRoutDatabasesLastPoint) {
  Seq->SetInsertAtEnd(40);
  EXPECT_EQ(Host.Calls, std::vector<std::string>{"last 40: 0,0"});
  int32_t j = Jog(100, 0), a = Line(200, 0), h = Hole(5, 5), k = Command(), b = Line(300, 0);
  Host.Calls.clear();
  Seq->SetInsertAtEnd(40);
  EXPECT_EQ(Seq->InsertPoint(40), 6);
  EXPECT_EQ(Host.Calls, std::vector<std::string>{"last 40: 300,0"});

  // After a: the next handle goes before the next visible one (the hole).
  Seq->SetReadCursor(40, 4);
  EXPECT_TRUE(Seq->SetInsertAfter(a));
  EXPECT_EQ(Seq->InsertPoint(40), 3);
  EXPECT_EQ(Seq->ReadCursor(40), 4);
  // After the last visible handle: at the end, false.
  EXPECT_FALSE(Seq->SetInsertAfter(b));
  EXPECT_EQ(Seq->InsertPoint(40), 6);

  // Before the hole: before the first path entity at or after it (b).
  EXPECT_TRUE(Seq->SetInsertBefore(h));
  EXPECT_EQ(Seq->InsertPoint(40), 5);
  EXPECT_TRUE(Seq->SetInsertBefore(j));
  EXPECT_EQ(Seq->InsertPoint(40), 1);
  Seq->SetInsertAtEnd(40);
  int32_t tail = Hole(7, 7);
  EXPECT_FALSE(Seq->SetInsertBefore(tail));  // no path entity after it
  EXPECT_EQ(Seq->InsertPoint(40), Seq->Count(40) + 1);
  EXPECT_EQ(Seq->EntityBeforeInsert(40), b);
  EXPECT_FALSE(Seq->AtLayerStart(40));
  (void)k;
}

// ---- Logs ----------------------------------------------------------------------------------

TEST_F(RoutSequenceTest, ThreeUndoPushesComeBackInReverseOrder) {
  std::vector<std::vector<int32_t>> saved;
  for (int round = 0; round < 3; ++round) {
    Seq->ClearLayer(40);
    for (int32_t i = 0; i <= round; ++i) Seq->InsertHandle(40, 10 * round + i + 1);
    saved.push_back(List(40));
    ASSERT_TRUE(Seq->SaveUndoLayer(40));
  }
  EXPECT_EQ(Seq->UndoPos(), 7);
  EXPECT_EQ(Host.Calls, (std::vector<std::string>{"save 40: 1", "save 40: 2", "save 40: 3"}));
  // Little-endian 4-byte records, nothing else.
  std::string bytes = ReadFileBytes(LogPath("UNDOSEQ.LOG"));
  ASSERT_EQ(bytes.size(), 24u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x01\0\0\0\x0B\0\0\0", 8));

  Seq->ClearLayer(41);
  for (int i = 2; i >= 0; --i) {
    ASSERT_TRUE(Seq->LoadUndoLayer(41, i + 1));
    EXPECT_EQ(List(41), saved[i]);
    EXPECT_EQ(Seq->HandleAt(41, i + 2), 0);  // places beyond the count are cleared
  }
  EXPECT_EQ(Seq->UndoPos(), 1);
  EXPECT_FALSE(Seq->LoadUndoLayer(41, 1));  // nothing left
  Seq->AdvanceUndoPos(3);
  EXPECT_EQ(Seq->UndoPos(), 4);
}

TEST_F(RoutSequenceTest, ThreeRedoPushesComeBackInReverseOrder) {
  std::vector<std::vector<int32_t>> saved;
  for (int round = 0; round < 3; ++round) {
    Seq->ClearLayer(44);
    for (int32_t i = 0; i < 2 - round; ++i) Seq->InsertHandle(44, 100 + 10 * round + i);
    saved.push_back(List(44));  // 2, 1 and 0 handles
    ASSERT_TRUE(Seq->SaveRedoLayer(44));
  }
  EXPECT_EQ(Seq->RedoPos(), 7);
  for (int i = 2; i >= 0; --i) {
    ASSERT_TRUE(Seq->LoadRedoLayer(43));
    EXPECT_EQ(List(43), saved[i]);
  }
  EXPECT_EQ(Seq->RedoPos(), 1);
  EXPECT_FALSE(Seq->LoadRedoLayer(43));
  EXPECT_TRUE(Host.Calls.empty());
}

TEST_F(RoutSequenceTest, AFailedWriteMovesNothingAndJournalsNothing) {
  Seq->InsertHandle(40, 5);
  ASSERT_TRUE(Seq->SaveUndoLayer(40));
  std::filesystem::remove(LogPath("UNDOSEQ.LOG"));
  std::filesystem::create_directory(LogPath("UNDOSEQ.LOG"));  // cannot be opened as a file
  std::filesystem::create_directory(LogPath("REDOSEQ.LOG"));
  Host.Calls.clear();
  EXPECT_FALSE(Seq->SaveUndoLayer(40));
  EXPECT_EQ(Seq->UndoPos(), 2);
  EXPECT_TRUE(Host.Calls.empty());
  EXPECT_FALSE(Seq->SaveRedoLayer(40));
  EXPECT_EQ(Seq->RedoPos(), 1);
  EXPECT_FALSE(Seq->LoadUndoLayer(40, 1));
  EXPECT_EQ(List(40), std::vector<int32_t>{5});
  std::filesystem::remove(LogPath("UNDOSEQ.LOG"));
  std::filesystem::remove(LogPath("REDOSEQ.LOG"));
}

TEST_F(RoutSequenceTest, AShortOrCorruptLogLeavesTheLayerAlone) {
  for (int32_t h : {1, 2, 3}) Seq->InsertHandle(40, h);
  ASSERT_TRUE(Seq->SaveUndoLayer(40));
  ASSERT_TRUE(Seq->SaveRedoLayer(40));
  Seq->ClearLayer(41);
  Seq->InsertHandle(41, 9);

  // The undo log lost its last record.
  std::filesystem::resize_file(LogPath("UNDOSEQ.LOG"), 8);
  EXPECT_FALSE(Seq->LoadUndoLayer(41, 3));
  EXPECT_EQ(List(41), std::vector<int32_t>{9});
  EXPECT_EQ(Seq->UndoPos(), 4);
  EXPECT_FALSE(Seq->LoadUndoLayer(41, 200000));  // beyond any list
  EXPECT_EQ(Boxes(), std::vector<std::string>{TSequenceStore::FullMessage});

  // The redo trailer points past itself, then below the file's start.
  WriteFileBytes(LogPath("REDOSEQ.LOG"), std::string("\x01\0\0\0\x02\0\0\0\x03\0\0\0\x09\0\0\0", 16));
  EXPECT_FALSE(Seq->LoadRedoLayer(41));
  WriteFileBytes(LogPath("REDOSEQ.LOG"), std::string("\x01\0\0\0\x02\0\0\0\x03\0\0\0\xFF\xFF\xFF\xFF", 16));
  EXPECT_FALSE(Seq->LoadRedoLayer(41));
  EXPECT_EQ(List(41), std::vector<int32_t>{9});
  EXPECT_EQ(Seq->RedoPos(), 5);
  // Truncated behind the trailer's record.
  WriteFileBytes(LogPath("REDOSEQ.LOG"), std::string("\x01\0\0\0", 4));
  EXPECT_FALSE(Seq->LoadRedoLayer(41));
  EXPECT_EQ(List(41), std::vector<int32_t>{9});
}

TEST_F(RoutSequenceTest, LogsLiveOnlyWithTheStore) {
  Seq->InsertHandle(40, 1);
  ASSERT_TRUE(Seq->SaveUndoLayer(40));
  ASSERT_TRUE(Seq->SaveRedoLayer(40));
  EXPECT_TRUE(std::filesystem::exists(LogPath("UNDOSEQ.LOG")));
  Seq->ResetLogs();
  EXPECT_EQ(Seq->UndoPos(), 1);
  EXPECT_EQ(Seq->RedoPos(), 1);
  EXPECT_FALSE(std::filesystem::exists(LogPath("UNDOSEQ.LOG")));
  EXPECT_FALSE(std::filesystem::exists(LogPath("REDOSEQ.LOG")));

  ASSERT_TRUE(Seq->SaveRedoLayer(40));
  delete Seq;
  Seq = nullptr;
  EXPECT_FALSE(std::filesystem::exists(LogPath("REDOSEQ.LOG")));
  WriteFileBytes(LogPath("UNDOSEQ.LOG"), "stale");
  Seq = new TSequenceStore();  // a new store starts with no logs
  EXPECT_FALSE(std::filesystem::exists(LogPath("UNDOSEQ.LOG")));
  EXPECT_EQ(Seq->Count(40), 0);
}
