// The hole spacing check and the expanded-slot conversion on production-size
// data.
//
// Spacing: a 18 x 24 inch panel of BGA fields (4,000 vias of 0.3 mm at
// 0.5 mm pitch each) plus random holes of 0.5 to 3.2 mm, 0.1 mm clearance;
// time per hit at a quarter of the panel and at the whole panel shows
// whether the check stays near-linear. Slots: 100,000 hits of slots expanded
// by the slot pattern, traced back into slots.
//
// Measured on the shared build machine under load (Release, load average
// 13): the spacing check takes 0.35 s on 125,000 hits and 1.5 s on 500,000
// (2.8 and 2.9 us per hit: linear); 100,000 nibbled hits of 1,887 slots
// become those 1,887 slots in 40 ms. Measured side by side with the row
// trace that took the nearest free hit in either direction (load average
// 12 to 16): 48 ms in the pattern's order and 57 ms shuffled, every slot
// whole, against 65 ms and 69 to 79 ms with 105 of the shuffled slots cut
// short; the stacked cases below unchanged (9.5 and 21 ms).
//
// Stacked hits (a broken tape): the drill menu's Spacing Check and the slot
// conversion, each with its reactions on the drill database, on 100,000
// hits at one place and on 100,000 in 100 stacks. Goal: under 1 s each.
// Measured (Release, load average 2 to 5): the spacing check 53 ms and
// 96 ms (54 s and 3.4 s when every pair was reported), the slot conversion
// 8 ms and 19 ms (20 s and 0.4 s when every stacked hit was looked at).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>
#include <set>

#include "support/bench_run.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/hit_patterns.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "routpath/expanded_slots.h"
#include "routpath/hole_spacing.h"
#include "tapeout/make_drill_tape.h"

namespace {

constexpr int32_t kMm = 1000000;
constexpr int32_t kInch = 25400000;

class TCountingCheck : public TSpacingCheck {
 public:
  int64_t Reports = 0;

 protected:
  void ReportTooClose(const TSpacingHit&) override { ++Reports; }
  void ReportIdentical(const TSpacingHit&) override { ++Reports; }
  void ReportPilot(const TSpacingHit&) override { ++Reports; }
};

// A panel of about n hits: 80 % in BGA fields, the rest random.
void BuildPanel(int32_t n) {
  delete DRDB;
  DRDB = new TDrillDatabase();
  ToolTable.Fill(TToolRecord{});
  ToolTable[1].Diameter = kMm * 3 / 10;
  for (int32_t t = 2; t <= 6; ++t) ToolTable[t].Diameter = kMm / 2 + (t - 2) * 675000;
  std::mt19937 rng(500000);
  const int32_t fields = n * 4 / 5 / 4000;
  std::uniform_int_distribution<int32_t> fx(0, 18 * kInch - 40 * kMm / 2), fy(0, 24 * kInch - 50 * kMm / 2);
  for (int32_t f = 0; f < fields; ++f) {
    const int32_t ox = fx(rng), oy = fy(rng);
    for (int32_t i = 0; i < 4000; ++i)
      DRDB->AppendEntity(new TDrillHole({ox + (i % 80) * kMm / 2, oy + (i / 80) * kMm / 2}, 1), NCLayerBit(30));
  }
  std::uniform_int_distribution<int32_t> x(0, 18 * kInch), y(0, 24 * kInch), tool(2, 6);
  for (int32_t i = fields * 4000; i < n; ++i)
    DRDB->AppendEntity(new TDrillHole({x(rng), y(rng)}, uint16_t(tool(rng))), NCLayerBit(31));
}

void BM_SpacingCheck(benchmark::State& state) {
  EnsureWorkingDirectories();
  const int32_t n = int32_t(state.range(0));
  BuildPanel(n);
  int64_t reports = 0;
  for (auto _ : state) {
    TCountingCheck check;
    check.Init(true, true, true, kMm / 10);
    check.Build();
    check.Run();
    reports = check.Reports;
  }
  state.counters["hits"] = DrillEntityCount;
  state.counters["reports"] = double(reports);
  state.counters["hits_per_s"] =
      benchmark::Counter(double(DrillEntityCount), benchmark::Counter::kIsIterationInvariantRate);
  delete DRDB;
  DRDB = nullptr;
}
BENCHMARK(BM_SpacingCheck)->Apply(korvex_bench::Sizes<5000, 125000, 500000>)->Unit(benchmark::kMillisecond);

class TCountingFinder : public TExpandedSlotFinder {
 public:
  using TExpandedSlotFinder::TExpandedSlotFinder;
  int64_t Slots = 0, Deleted = 0, Kept = 0, Whole = 0;
  // The slots expected, each end to end in both directions.
  const std::set<std::array<int32_t, 4>>* Expected = nullptr;

 protected:
  void AddSlot(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    ++Slots;
    Whole += int64_t(Expected->count({x1, y1, x2, y2}));
  }
  void KeepHit(int32_t, int32_t, int32_t) override { ++Kept; }
  void DeleteHit(int32_t, int32_t, int32_t) override { ++Deleted; }
};

class TCollectingSlot : public TDrilledSlotPattern {
 public:
  using TDrilledSlotPattern::TDrilledSlotPattern;
  void EmitHit(int32_t x, int32_t y) override { Hits.push_back({x, y}); }
  std::vector<TIntPoint> Hits;
};

void BM_ExpandedSlotConversion(benchmark::State& state) {
  // Slots of 1 mm tools, 2 to 12 mm long at random angles, 30 mm apart in
  // rows of 70 (within the 32-bit coordinates); the hits in the order of the
  // slot pattern (arg 0) or of a tape drilled in another order (arg 1:
  // shuffled). slots_whole counts the slots found from end to end.
  std::vector<TIntPoint> hits;
  std::set<std::array<int32_t, 4>> expected;
  std::mt19937 rng(100000);
  std::uniform_real_distribution<double> length(2 * kMm, 12 * kMm), angle(0, 6.283185307);
  int32_t slots = 0;
  const auto wanted = std::size_t(korvex_bench::Size(100000, 2000));
  while (hits.size() < wanted) {
    const int32_t ox = (slots % 70) * 30 * kMm - 1000 * kMm, oy = (slots / 70) * 30 * kMm - 1000 * kMm;
    const double l = length(rng), turn = angle(rng);
    const TIntPoint a{ox, oy}, b{ox + int32_t(l * std::cos(turn)), oy + int32_t(l * std::sin(turn))};
    TCollectingSlot slot(0, a, b, kMm, 12700);
    slot.Generate();
    expected.insert({a.X, a.Y, b.X, b.Y});
    expected.insert({b.X, b.Y, a.X, a.Y});
    hits.insert(hits.end(), slot.Hits.begin(), slot.Hits.end());
    ++slots;
  }
  if (state.range(0) == 1) std::shuffle(hits.begin(), hits.end(), rng);
  int64_t found = 0, whole = 0;
  for (auto _ : state) {
    TCountingFinder finder(kMm / 2, 4.0 * 25400);
    finder.Expected = &expected;
    for (size_t i = 0; i < hits.size(); ++i) finder.AddHit(hits[i].X, hits[i].Y, int32_t(i + 1));
    finder.Find();
    finder.Emit();
    found = finder.Slots;
    whole = finder.Whole;
  }
  state.counters["hits"] = double(hits.size());
  state.counters["slots"] = slots;
  state.counters["slots_found"] = double(found);
  state.counters["slots_whole"] = double(whole);
  if (whole != slots) state.SkipWithError("slots were not found from end to end");
}
BENCHMARK(BM_ExpandedSlotConversion)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A broken tape: 100,000 hits of 0.3 and 0.5 mm at one place (arg 1) or in
// 100 stacks (arg 100), entered in turn, the stacks 0.35 mm apart in rows
// of ten and the rows 5 mm apart. Fresh for each run of the commands.
void BuildStacks(int32_t places) {
  delete DRDB;
  DRDB = new TDrillDatabase();
  delete DrillUndo;
  DrillUndo = new TDrillUndo();
  ActiveUndo = DrillUndo;
  ToolTable.Fill(TToolRecord{});
  ToolTable[1].Diameter = kMm * 3 / 10;
  ToolTable[2].Diameter = kMm / 2;
  for (int64_t i = 0, n = korvex_bench::Size(100000, 2000); i < n; ++i) {
    const int32_t place = int32_t(i % places);
    const TIntPoint at{(place % 10) * kMm * 35 / 100, (place / 10) * 5 * kMm};
    DRDB->AppendEntity(new TDrillHole(at, uint16_t(i % 7 == 0 ? 2 : 1)), NCLayerBit(30));
  }
}

void BM_SpacingCheckCommandStacked(benchmark::State& state) {
  EnsureWorkingDirectories();
  EditorMode = emDrill;
  int32_t live = 0;
  for (auto _ : state) {
    state.PauseTiming();
    BuildStacks(int32_t(state.range(0)));
    QueueModalScript("TSpacingCheckDialog", [](TForm& f) {
      f.Click("PilotCheckBox");
      f.Get<TEdit>("ClearanceEdit").SetText("0.004");
      f.Click("OKButton");
    });
    state.ResumeTiming();
    SpacingCheckCommand();
    state.PauseTiming();
    live = 0;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) live += static_cast<int32_t>(DRDB->WordAt(i)) > 0;
    ResetHeadlessDialogs();
    state.ResumeTiming();
  }
  state.counters["live_after"] = live;
}
BENCHMARK(BM_SpacingCheckCommandStacked)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_ExpandedSlotConversionStacked(benchmark::State& state) {
  EnsureWorkingDirectories();
  EditorMode = emDrill;
  int32_t live = 0;
  for (auto _ : state) {
    state.PauseTiming();
    BuildStacks(int32_t(state.range(0)));
    ScriptInputBoxAnswer("0.001");
    state.ResumeTiming();
    ConvertExpandedSlots();
    state.PauseTiming();
    live = 0;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) live += static_cast<int32_t>(DRDB->WordAt(i)) > 0;
    ResetHeadlessDialogs();
    state.ResumeTiming();
  }
  state.counters["live_after"] = live;
}
BENCHMARK(BM_ExpandedSlotConversionStacked)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);

// What the operator waits for when the broken tape's drill tape is made:
// collecting the hits, the drilling order of both tools (method 1) and the
// file, on the same stacks. Goal: under 1 s. Measured: 1 place 0.07 s, 100
// stacks 0.25 s (the drilling order alone took minutes on one place).
void BM_DrillTapeOfStacks(benchmark::State& state) {
  EnsureWorkingDirectories();
  EditorMode = emDrill;
  DrillOutputFormat = DefaultDrillFormat(true);
  const std::string file = (std::filesystem::temp_directory_path() / "korvex_bench_stacks.drl").string();
  for (auto _ : state) {
    state.PauseTiming();
    BuildStacks(int32_t(state.range(0)));
    DRDB->MakeTapeDefaults.Optimizer = 1;
    state.ResumeTiming();
    if (!WriteDrillTapeFile(file, 0)) state.SkipWithError("no tape written");
  }
  std::filesystem::remove(file);
}
BENCHMARK(BM_DrillTapeOfStacks)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
