// A step command's pick on a rout layer of 30,000 paths of one tool: the
// search for the other pieces of a cut that tabs split (FindTabbedCut), run
// on a path in the middle of the layer. Layouts: separate slots in a grid
// (none is a piece of another); one row of dashes on one line, each going
// on across a tab's gap with the line of the one before (the longest run of
// pieces a layer can hold, closing nowhere); boards cut in four pieces by
// three tabs; and dashes of one circle, as the line's dashes (an arc boxed
// by its sweep meets only its neighbours' boxes, where one boxed by its
// whole circle met every other's). Also, on the same layouts, the whole of
// Delete Step & Repeat after its click. Goal: under 0.1 s each at full size
// (Release).
// Measured (Release, load average 12), the pieces found from the layer's
// lines and circles: slots 1.3 ms, dashes 2.6 ms, boards 1.8 ms a pick (the
// slowest of 20: 3.2, 4.0 and 2.4 ms); the search that took every path of
// the tool as a possible piece took over 10 s a pick on the slots. The
// whole of Delete Step & Repeat after its click (the pick of the entity,
// the search, the deletion and its journal entry), every path stepped:
// slots 2.1 ms, dashes 2.2 ms, boards 3.1 ms. Dashes of one circle (Release,
// load average 4): a pick 7.1 ms (slowest 8.5 ms), the delete 5.5 ms
// (slowest 11.1 ms).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>

#include "support/bench_run.h"
#include "command/command_text.h"
#include "edit/edit_commands.h"
#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/step_repeat.h"
#include "model/undo_journal.h"
#include "model/view_services.h"
#include "routpath/rout_tabs.h"

namespace {

constexpr int32_t In = InchUnitsPerDisplayUnit;
enum TLayout { Slots, Dashes, Boards, Arcs };

// One path of tool 1 on R0 through the points; its start's handle.
int32_t Path(std::initializer_list<TIntPoint> points) {
  const int32_t start = RTDB->AddJog(*points.begin(), 40, 0, 1, 0);
  for (auto p = points.begin() + 1; p != points.end(); ++p) RTDB->AddLine(*p, 40, 0, NoZOffset);
  return start;
}

// A fresh rout database holding n paths of the layout; the start of the
// path in the middle, and how many starts a pick on it must take.
int32_t BuildLayer(TLayout layout, int32_t n, std::size_t& taken) {
  ResetHeadlessViewServices();
  EditorMode = emRout;
  CurrentLayer = 40;
  RoutUndo = new TRoutUndo();
  ActiveUndo = RoutUndo;
  RTDB = new TRoutDatabase();
  Seq = new TSequenceStore();
  RTDB->SuspendDrawing();
  RTDB->AutoTab = TAutoTabSettings{};
  int32_t middle = 0;
  taken = layout == Boards ? 4 : 1;
  const int32_t row = 200;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t x = i % row, y = i / row;  // 150 rows of 200
    int32_t start = 0;
    if (layout == Slots) {
      // 0.15 in slots 0.2 in apart along the rows, the rows 0.2 in apart.
      start = Path({{x * (In / 20) * 7, y * (In / 5)}, {x * (In / 20) * 7 + In / 20 * 3, y * (In / 5)}});
    } else if (layout == Dashes) {
      // Dashes of 0.0015 in 0.001 in apart, all on one line: each goes on
      // across a tab's gap with the line the one before ran on.
      start = Path({{i * (In / 400), 0}, {i * (In / 400) + In / 1000 * 3 / 2, 0}});
    } else if (layout == Arcs) {
      // Dashes of 0.0015 in 0.001 in apart, all on one circle 12.5 in
      // across (they go most of the way round): each goes on across a tab's
      // gap with the circle the one before ran on.
      const double r = 12.5 * In, a0 = i * 0.0025 * In / r, a1 = a0 + 0.0015 * In / r;
      auto on = [&](double a) { return TIntPoint{SaturatingRound(r * std::cos(a)), SaturatingRound(r * std::sin(a))}; };
      start = RTDB->AddJog(on(a0), 40, 0, 1, 0);
      RTDB->AddArc(on(a1), 40, 0, false, {0, 0}, NoZOffset);
    } else {
      // A 0.4 in board cut from its corner, three 0.2 in tabs in the middle
      // of its first three sides: four pieces, the last back at the corner;
      // 100 boards to a row, 0.6 in apart.
      const int32_t b = In / 5 * 2, bx = (i / 4) % 100 * (In / 5) * 3, by = (i / 4) / 100 * (In / 5) * 3;
      const int32_t h = In / 10;
      const TIntPoint c[4] = {{bx, by}, {bx + b, by}, {bx + b, by + b}, {bx, by + b}};
      auto mid = [&](int32_t a, int32_t off) {  // on the side from corner a, off toward its end
        const TIntPoint& p = c[a];
        const TIntPoint& q = c[(a + 1) % 4];
        const int32_t dx = q.X > p.X ? 1 : q.X < p.X ? -1 : 0, dy = q.Y > p.Y ? 1 : q.Y < p.Y ? -1 : 0;
        return TIntPoint{p.X + b / 2 * dx + dx * off, p.Y + b / 2 * dy + dy * off};
      };
      const int32_t s = i % 4;
      start = s == 0   ? Path({c[0], mid(0, -h)})
              : s < 3 ? Path({mid(s - 1, h), c[s], mid(s, -h)})
                      : Path({mid(2, h), c[3], c[0]});
    }
    if (i == n / 2) middle = start;
  }
  return middle;
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

void BM_TabbedCutPick(benchmark::State& state) {
  const auto layout = TLayout(state.range(0));
  const int32_t n = int32_t(state.range(1));
  std::size_t taken = 0;
  const int32_t middle = BuildLayer(layout, n, taken);
  std::chrono::duration<double> slowest{};
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const TTabbedCut cut = FindTabbedCut(middle);
    slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start));
    if (cut.Starts.size() != taken || cut.Starts.front() > middle || cut.Starts.back() < middle)
      state.SkipWithError("the pick took the wrong paths");
  }
  DropLayer();
  state.counters["slowest_ms"] = slowest.count() * 1000.0;
  if (!korvex_bench::Smoke() && slowest.count() > 0.1) state.SkipWithError("a pick took over 0.1 s (goal)");
}

// What the operator waits for after the click of Delete Step & Repeat on
// the middle path, every path of the layer stepped by one pattern: the pick
// of the entity under the cursor, the search, and the deletion with its
// journal entry (taken back between the runs).
void BM_DeleteStepOnAPick(benchmark::State& state) {
  const auto layout = TLayout(state.range(0));
  const int32_t n = int32_t(state.range(1));
  std::size_t taken = 0;
  const int32_t middle = BuildLayer(layout, n, taken);
  ResetLayerMasks();
  auto* pattern = new TStepObject({{1, 1, 0, 0, 0}, {0, 1, 0, In, 0}, {0, 1, 0, 0, 0}});
  for (int32_t p = 1; p <= Seq->Count(40); ++p)
    if (TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(40, p)); e->GetType() == etRoutJog) e->SetStepObj(pattern);
  RoutUndo->BeginOperation("Stepped");
  TIntPoint at;
  RTDB->EntityAt(middle)->GetPoint(at);
  std::chrono::duration<double> slowest{};
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    TRootEntityHandle* picked = nullptr;
    int32_t distance = 0;
    if (!RTDB->PickNearest(254000, at, false, picked, distance) || picked == nullptr) {
      state.SkipWithError("nothing picked");
      break;
    }
    TRootEntityHandle* list = PickedPathStart("STEPDEL(" + EntityRefText(picked->Index) + ")", 1);
    FreeObjectList(picked);
    if (list != nullptr) list->DeleteStep();
    FreeObjectList(list);
    slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start));
    state.PauseTiming();
    // The picked cut's starts, and those alone, lost the pattern.
    std::size_t plain = 0;
    for (int32_t p = 1; p <= Seq->Count(40); ++p) {
      const int32_t h = Seq->HandleAt(40, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      plain += !SlotDeleted(RTDB->SlotAt(h)->Flags) && e->GetType() == etRoutJog && e->GetStepObj() == nullptr;
    }
    if (plain != taken) state.SkipWithError("the delete took the wrong paths");
    RoutUndo->Undo();
    state.ResumeTiming();
  }
  DropLayer();
  state.counters["slowest_ms"] = slowest.count() * 1000.0;
  if (!korvex_bench::Smoke() && slowest.count() > 0.1) state.SkipWithError("a delete took over 0.1 s (goal)");
}

void PickCases(benchmark::internal::Benchmark* b) {
  korvex_bench::AddCases(b, {{Slots, 30000}, {Dashes, 30000}, {Boards, 30000}, {Arcs, 30000}}, {Arcs, 2000});
}

}  // namespace

BENCHMARK(BM_TabbedCutPick)->Apply(PickCases)->Iterations(korvex_bench::Iterations(20))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteStepOnAPick)
    ->Apply(PickCases)
    ->Iterations(korvex_bench::Iterations(10))
    ->Unit(benchmark::kMillisecond);
