// Undo and redo of one step that added every entity of a rout layer (with
// drawing suspended, and drawn on the headless picture as the editor does),
// and a compaction that drops every other entity (taken out of the cut
// sequence first, or left in it as a delete leaves them), at 20,000 and
// 80,000 entities: the time per entity must stay flat. Also a window erase
// of half a layer and a window copy of a fifth of it through the editor's
// commands, and a run of insertions and removals in the middle of a long cut
// sequence.
#include <benchmark/benchmark.h>

#include <chrono>

#include "support/bench_run.h"
#include "foundation/settings.h"
#include "edit/edit_commands.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/undo_journal.h"
#include "model/view_services.h"

namespace {

// A fresh rout database holding n entities (n / 2 separate one-line paths,
// 200 to a row) added in one undo step. The window edits count on whole rows
// in their quarters and fifths: the smoke run's 8,000 entities are 20 rows.
void BuildLayer(int64_t n) {
  ResetHeadlessViewServices();
  EditorMode = emRout;
  CurrentLayer = 40;
  RoutUndo = new TRoutUndo();
  ActiveUndo = RoutUndo;
  RTDB = new TRoutDatabase();
  Seq = new TSequenceStore();
  RTDB->SuspendDrawing();
  RoutUndo->BeginOperation("Build");
  for (int64_t i = 0; i < n / 2; ++i) {
    const int32_t x = int32_t(i % 200) * 100000, y = int32_t(i / 200) * 100000;
    RTDB->AddLineSegment({x, y}, {x + 50000, y}, false, 0, 0);
  }
}

void DropLayer() {
  delete RTDB;
  RTDB = nullptr;
  delete Seq;
  Seq = nullptr;
  delete RoutUndo;
  RoutUndo = nullptr;
  ActiveUndo = nullptr;
}

// Undoes and redoes the building step; drawn: on the headless picture. The
// counters undo_ms and redo_ms give each half's time per iteration.
void UndoRedo(benchmark::State& state, bool drawn) {
  using TClock = std::chrono::steady_clock;
  const int64_t n = state.range(0);
  BuildLayer(n);
  if (drawn) RTDB->ResumeDrawing();
  TClock::duration undo{}, redo{};
  for (auto _ : state) {
    const TClock::time_point start = TClock::now();
    RoutUndo->Undo();
    const TClock::time_point middle = TClock::now();
    RoutUndo->Redo();
    undo += middle - start;
    redo += TClock::now() - middle;
  }
  if (Seq->Count(40) != n) state.SkipWithError("entities missing after redo");
  DropLayer();
  state.SetItemsProcessed(state.iterations() * n);
  using TMs = std::chrono::duration<double, std::milli>;
  const auto perIteration = benchmark::Counter::kAvgIterations;
  state.counters["undo_ms"] = benchmark::Counter(TMs(undo).count(), perIteration);
  state.counters["redo_ms"] = benchmark::Counter(TMs(redo).count(), perIteration);
}

void BM_RoutUndoRedo(benchmark::State& state) { UndoRedo(state, false); }
void BM_RoutUndoRedoDrawn(benchmark::State& state) { UndoRedo(state, true); }

void BM_RoutCompactListed(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    BuildLayer(n);
    for (int32_t i = 1; i <= RoutEntityCount; i += 4) {
      RTDB->DeleteEntity(i);
      RTDB->DeleteEntity(i + 1);
    }
    state.ResumeTiming();
    RTDB->Compact();
    state.PauseTiming();
    if (RoutEntityCount != n / 2 || Seq->Count(40) != n / 2)
      state.SkipWithError("compaction kept the wrong count");
    DropLayer();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_RoutCompact(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    BuildLayer(n);
    for (int32_t i = 1; i <= RoutEntityCount; i += 4) {
      Seq->RemoveHandle(i);
      Seq->RemoveHandle(i + 1);
      RTDB->DeleteEntity(i);
      RTDB->DeleteEntity(i + 1);
    }
    state.ResumeTiming();
    RTDB->Compact();
    state.PauseTiming();
    if (RoutEntityCount != n / 2) state.SkipWithError("compaction kept the wrong count");
    DropLayer();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// Window Erase (EDITDELETE) over the middle half of the rows of a drawn
// layer of n entities: n / 2 entities deleted in one step.
void BM_RoutWindowErase(benchmark::State& state) {
  const int64_t n = state.range(0);
  const int32_t rows = int32_t((n / 2 + 199) / 200);
  const std::string text = "EDITDELETE(-10," + std::to_string(rows / 4 * 100000 - 10) + ",20000000," +
                           std::to_string((rows * 3 / 4) * 100000 - 10) + ")";
  for (auto _ : state) {
    state.PauseTiming();
    BuildLayer(n);
    RoutUndo->BeginOperation("Built");
    RTDB->ResumeDrawing();
    state.ResumeTiming();
    ExecWindowEdit(text, 1);
    state.PauseTiming();
    int32_t deleted = 0;
    for (int32_t i = 1; i <= RoutEntityCount; ++i) deleted += SlotDeleted(RTDB->SlotAt(i)->Flags) ? 1 : 0;
    if (deleted < n / 2) state.SkipWithError("window erase kept entities");
    DropLayer();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n / 2);
}

// Window Copy (EDITCOPY) of a fifth of the rows of a drawn layer of n
// entities: each copy goes into the sequence just after its source.
void BM_RoutWindowCopy(benchmark::State& state) {
  const int64_t n = state.range(0);
  const int32_t rows = int32_t((n / 2 + 199) / 200);
  const int32_t y1 = rows / 4 * 100000 - 10, y2 = (rows / 4 + rows / 5) * 100000 - 10;
  const std::string text = "EDITCOPY(-10," + std::to_string(y1) + ",20000000," + std::to_string(y2) +
                           ",0,0,25000,25000)";
  for (auto _ : state) {
    state.PauseTiming();
    BuildLayer(n);
    RoutUndo->BeginOperation("Built");
    RTDB->ResumeDrawing();
    state.ResumeTiming();
    ExecWindowEdit(text, 1);
    state.PauseTiming();
    if (Seq->Count(40) < n + n / 6) state.SkipWithError("window copy made too few copies");
    DropLayer();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n / 5);
}

// n / 2 handles inserted one by one in the middle of a list of n / 2 (each
// looked up after its insertion, as an added entity is), then taken out
// again one by one in list order.
void BM_RoutSequenceMiddle(benchmark::State& state) {
  const int32_t half = int32_t(state.range(0) / 2);
  for (auto _ : state) {
    state.PauseTiming();
    Seq = new TSequenceStore();
    for (int32_t h = 1; h <= half; ++h) Seq->InsertHandle(40, h);
    Seq->SetInsertPoint(40, half / 2 + 1);
    state.ResumeTiming();
    for (int32_t h = half + 1; h <= 2 * half; ++h) {
      Seq->InsertHandle(40, h);
      benchmark::DoNotOptimize(Seq->LayerOf(h));
    }
    for (int32_t h = half + 1; h <= 2 * half; ++h) Seq->RemoveHandle(h);
    state.PauseTiming();
    if (Seq->Count(40) != half || Seq->HandleAt(40, half / 2 + 1) != half / 2 + 1)
      state.SkipWithError("wrong list after the removals");
    delete Seq;
    Seq = nullptr;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_RoutWindowErase)->Apply(korvex_bench::Sizes<8000, 20000, 80000>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoutWindowCopy)->Apply(korvex_bench::Sizes<8000, 20000, 80000>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoutSequenceMiddle)->Apply(korvex_bench::Sizes<8000, 20000, 80000>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoutUndoRedo)->Apply(korvex_bench::Sizes<8000, 20000, 80000>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoutUndoRedoDrawn)->Apply(korvex_bench::Sizes<8000, 20000, 80000>)->Unit(benchmark::kMillisecond);
// Taking each handle out of the sequence costs a pass over its list, so the
// set-up of this one is quadratic: a fixed count of runs keeps it short.
BENCHMARK(BM_RoutCompact)->Apply(korvex_bench::Sizes<8000, 20000, 80000>)->Iterations(korvex_bench::Iterations(40))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoutCompactListed)->Apply(korvex_bench::Sizes<8000, 20000, 80000>)->Unit(benchmark::kMillisecond);
