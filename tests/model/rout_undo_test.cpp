// Long random runs of rout edits, undos, redos and compactions. Every undo
// must bring back the layers as they were before the step, every redo the
// layers as the step left them; and the journal's replay, which steps over
// hidden entries by the sequence store's bit maps, must draw and leave
// exactly what the plain walk (no watch open) draws and leaves.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/geometry_matrix.h"
#include "rout_db_support.h"

namespace {

class TRoutUndoTest : public TRoutDbTest {
 protected:
  // What one run saw after each step: the layers, the cursors and path
  // state the step left, and everything it drew.
  using TView = std::vector<int32_t>;
  struct TTrace {
    std::vector<TView> Views;
    std::vector<std::string> Cursors;
    std::vector<std::string> Drawn;
  };

  // The visible entities of the edited layers in cut order, each layer ended
  // by its negated number. Entities never change in place, so equal handles
  // are equal layers.
  static TView View() {
    TView view;
    for (uint8_t l = 40; l <= 42; ++l) {
      const std::vector<int32_t> handles = Visible(l);
      view.insert(view.end(), handles.begin(), handles.end());
      view.push_back(-l);
    }
    return view;
  }
  static std::string Cursors() {
    std::string s;
    for (uint8_t l = 40; l <= 42; ++l) {
      const TRoutPathState& p = RTDB->PathState[l];
      s += std::to_string(Seq->ReadCursor(l)) + "/" + std::to_string(Seq->InsertPoint(l)) + " " +
           std::to_string(p.LastX) + "," + std::to_string(p.LastY) + " t" +
           std::to_string(p.Tool) + "; ";
    }
    return s;
  }

  // The visible entities of a layer, in cut order.
  static std::vector<int32_t> Visible(uint8_t layer) {
    std::vector<int32_t> out;
    Seq->SetReadCursor(layer, 1);
    for (int32_t h = Seq->NextVisible(layer); h != 0; h = Seq->NextVisible(layer))
      out.push_back(h);
    return out;
  }

  // The path of a random visible entity of the layer; nullptr when none.
  static TRootEntityHandle* RandomPath(std::mt19937& rng, uint8_t layer) {
    const std::vector<int32_t> visible = Visible(layer);
    if (visible.empty()) return nullptr;
    TRoutEntity* e = RTDB->EntityAt(visible[rng() % visible.size()]);
    TRootEntityHandle* list = nullptr;
    RTDB->PickPath(1, {e->X, e->Y}, true, list);
    return list;
  }

  // Runs `steps` random steps from an empty database. With the watch off,
  // the journal replays through its plain walk (as before the bit maps).
  void Run(uint32_t seed, int steps, bool watch, TTrace& trace) {
    std::mt19937 rng(seed);
    std::vector<TView> done{View()};  // the state before each undoable step, and now
    std::vector<TView> undone;        // the states the redos must bring back
    auto grid = [&rng](int n) { return int32_t(rng() % uint32_t(n)) * 10000; };
    for (int step = 0; step < steps; ++step) {
      Surface.Clear();
      CurrentLayer = uint8_t(40 + rng() % 3);
      const uint32_t pick = rng() % 100;
      enum { kNothing, kUndone, kRedone, kReset, kEdited } what = kNothing;
      std::string name;
      // Only the replays draw: what the edits draw is not under test here.
      RTDB->DrawingEnabled = pick < 24;
      if (pick < 14 && RoutUndo->CanUndo(name)) {
        if (watch) {
          RoutUndo->Undo();
        } else {
          RoutUndo->TUndoJournal::Undo();
          RTDB->UpdateChangedPath();
        }
        what = kUndone;
      } else if (pick < 24 && RoutUndo->CanRedo(name)) {
        if (watch) {
          RoutUndo->Redo();
        } else {
          RoutUndo->TUndoJournal::Redo();
          RTDB->UpdateChangedPath();
        }
        what = kRedone;
      } else if (pick < 25) {
        // Dropping a slot renumbers the store and so resets the journal.
        const int32_t count = RoutEntityCount;
        RTDB->Compact();
        if (RoutEntityCount != count) what = kReset;
        ExpectConsistent();
      } else if (pick < 26) {
        // Both reset the journal; they keep the store small.
        RTDB->DeleteLayer(CurrentLayer);
        RTDB->Compact();
        what = kReset;
      } else if (Edit(rng, pick, grid)) {
        RoutUndo->BeginOperation("Edit");
        what = kEdited;
      }
      RTDB->DrawingEnabled = 1;
      trace.Cursors.push_back(Cursors());  // before View moves the read cursors
      const TView view = View();
      switch (what) {
        case kUndone:
          ASSERT_GE(done.size(), 2u) << "undo beyond the first step at step " << step;
          undone.push_back(done.back());
          done.pop_back();
          EXPECT_EQ(view, done.back()) << "undo at step " << step;
          break;
        case kRedone:
          ASSERT_FALSE(undone.empty()) << "redo of a step never undone at step " << step;
          done.push_back(undone.back());
          undone.pop_back();
          EXPECT_EQ(view, done.back()) << "redo at step " << step;
          break;
        case kReset:
          done.assign(1, view);
          undone.clear();
          break;
        case kEdited:
          done.push_back(view);
          undone.clear();
          break;
        case kNothing:
          EXPECT_EQ(view, done.back()) << "a change left out of the journal at step " << step;
          break;
      }
      trace.Views.push_back(view);
      std::string drawn;
      for (const std::string& c : Surface.Calls) drawn += c + " ";
      for (const TCanvasCall& c : Surface.Recorder.Calls) drawn += c.ToString() + " ";
      trace.Drawn.push_back(drawn);
      if (step % 250 == 0) ExpectConsistent();
    }
    ExpectConsistent();
  }

  // One edit of the current layer; true when it journalled something.
  template <class TGrid>
  bool Edit(std::mt19937& rng, uint32_t pick, TGrid grid) {
    const uint8_t layer = CurrentLayer;
    if (pick < 46) {
      // A new path of lines and half circles.
      RTDB->AddLineSegment({grid(40), grid(40)}, {grid(40), grid(40)}, true, NoZOffset, 0);
      for (uint32_t k = rng() % 4; k > 0; --k) {
        const TRoutPathState& p = RTDB->PathState[layer];
        if (rng() % 2 != 0) {
          RTDB->AppendLine({grid(40), grid(40)}, 0, NoZOffset);
        } else {
          const int32_t r = 5000 + grid(3);
          RTDB->AppendArc({p.LastX, p.LastY + 2 * r}, {p.LastX, p.LastY + r}, 0, NoZOffset,
                          rng() % 2 != 0);
        }
      }
    } else if (pick < 50) {
      RTDB->AddHoleAndDraw({grid(40), grid(40)});
    } else if (pick < 72) {
      // Deletes one entity (its path keeps a start) or a whole path.
      TRootEntityHandle* path = RandomPath(rng, layer);
      if (path == nullptr) return false;
      if (rng() % 2 != 0) {
        TRoutHandle one(path->Index);
        one.DeleteList();
      } else {
        path->DeleteList();
      }
      FreeRoutHandles(path);
    } else if (pick < 86) {
      TRootEntityHandle* path = RandomPath(rng, layer);
      if (path == nullptr) return false;
      TMatrix3 m = IdentityMatrix;
      TranslateMatrix(m, grid(5) - 20000, grid(5) - 20000);
      bool failed = false;
      if (rng() % 3 == 0)
        static_cast<TRoutHandle*>(path)->ReversePaths(m, rng() % 2 != 0, failed);
      else
        path->TransformList(m, rng() % 2 != 0, failed, 0, false);
      FreeRoutHandles(path);
    } else {
      // Cuts a path last, as Do Last does: the layer's sequence is saved first.
      TRootEntityHandle* path = RandomPath(rng, layer);
      if (path == nullptr) return false;
      const uint8_t l = Seq->LayerOf(path->Index);
      std::vector<int32_t> run;
      for (TRootEntityHandle* h = path; h != nullptr; h = h->Next) run.push_back(h->Index);
      FreeRoutHandles(path);
      if (!Seq->SaveUndoLayer(l)) return false;
      RTDB->ErasePathStarts(l);
      const int32_t insert = Seq->InsertPoint(l);
      for (int32_t h : run) Seq->RemoveHandle(h);
      Seq->SetInsertPoint(l, Seq->Count(l) + 1);
      for (int32_t h : run) Seq->InsertHandle(l, h);
      Seq->SetInsertPoint(l, insert);
      RTDB->DrawStepRepeats(l);
      RTDB->DrawPathStarts(l);
    }
    return RoutUndo->OpenRecords();
  }

  // Back to an empty database and journal for the next run.
  void Restart() {
    delete RTDB;
    delete Seq;
    delete RoutUndo;
    RoutUndo = new TRoutUndo();
    ActiveUndo = RoutUndo;
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
  }
};

// Thousands of random steps: every undo and redo lands on the state recorded
// for it, and the watched replay draws and leaves exactly what the plain
// walk does, step for step.
TEST_F(TRoutUndoTest, RandomEditsUndoAndRedoLikeThePlainReplay) {
  for (uint32_t seed : {21u, 4711u}) {
    TTrace plain, watched;
    Restart();
    Run(seed, 1000, false, plain);
    Restart();
    Run(seed, 1000, true, watched);
    ASSERT_EQ(plain.Views.size(), watched.Views.size());
    for (std::size_t k = 0; k < plain.Views.size(); ++k) {
      ASSERT_EQ(watched.Views[k], plain.Views[k]) << "seed " << seed << " step " << k;
      ASSERT_EQ(watched.Cursors[k], plain.Cursors[k]) << "seed " << seed << " step " << k;
      ASSERT_EQ(watched.Drawn[k], plain.Drawn[k]) << "seed " << seed << " step " << k;
    }
  }
}

// The bit maps follow every reported change of a slot word while the watch
// is open, a walk that finds one stale tests the entries itself, and a
// handle standing in the lists twice drops the maps at each change.
TEST_F(TRoutUndoTest, WatchedWalksFollowSlotChanges) {
  for (int32_t k = 0; k < 6; ++k)
    RTDB->AddLineSegment({k * 10000, 0}, {k * 10000 + 5000, 0}, false, NoZOffset, 0);
  RoutUndo->BeginOperation("Build");
  const std::vector<int32_t> all = Visible(40);
  ASSERT_EQ(all.size(), 12u);
  TVisibilityWatch watch(Seq);
  EXPECT_EQ(Visible(40), all);  // builds the map
  for (int32_t h : {2, 3, 12}) RTDB->DeleteEntity(h);
  EXPECT_EQ(Visible(40), (std::vector<int32_t>{1, 4, 5, 6, 7, 8, 9, 10, 11}));
  RTDB->UndeleteEntity(3);
  EXPECT_EQ(RTDB->PathEntityAfter(1), 3);
  EXPECT_EQ(RTDB->PathEntityAfter(11), 0);
  // A deletion nobody reported is still stepped over.
  RTDB->SlotAt(7)->Flags |= SlotDeletedBit;
  EXPECT_EQ(RTDB->PathEntityAfter(6), 8);
  RTDB->UndeleteEntity(7);
  // A handle listed twice: the walks test every entry again.
  Seq->SetInsertPoint(41, 1);
  Seq->InsertHandle(41, 5);
  RTDB->DeleteEntity(5);
  EXPECT_EQ(RTDB->PathEntityAfter(4), 6);
  RTDB->UndeleteEntity(5);
  EXPECT_EQ(RTDB->PathEntityAfter(4), 5);
  Seq->RemoveHandle(5);  // the first one, on layer 40
  EXPECT_EQ(Visible(40), (std::vector<int32_t>{1, 3, 4, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(Visible(41), (std::vector<int32_t>{5}));
}

}  // namespace
