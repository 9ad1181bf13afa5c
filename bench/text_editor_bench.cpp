// The NC text editor on a big tape: opening a 1,000,000-line, 50 MB file
// (time and memory against the file size), scrolling to its end, a
// search-and-replace over every line, and word wrap switched on (at 20
// columns, some 3,000,000 display lines) and off again over the whole text.
// Each also runs on a 20,000-line tape of 1 MB, the size a quick run takes.
//
// Measured when word wrap came in (Release, a noisy shared machine, the
// program before the change alongside): open 198 -> 221 ms CPU, peak growth
// 1.94 -> 2.10 x the file (each paragraph keeps a pointer to its line table);
// scroll to the end 4.1 -> 3.7 ms (callgrind: the same paint instructions);
// replace all 266 -> 279 ms (callgrind +7 % instructions); word wrap on at
// 20 columns, to the last line, painted, and off again: 97 ms.
//
// The open reads a file twice, since it is taken whole or not at all: its
// lines are counted (a file beyond the limits refused before any is kept)
// and then kept, the paragraphs' room made once. Measured then (Release,
// the shared machine at a load of 8-38 on its 8 cores): the 50 MB tape in
// 149-162 ms CPU (151-192 ms), peak growth 2.10 x the file; the 1 MB tape in
// 3-5 ms, 3.1 x (the read block is as large as the file). A tape of
// 20,000,000 lines of 16 bytes (320 MB) opened in 2.1 s with 763 MB of
// paragraphs; with one line more it was refused in 0.2 s, 1 MB grown.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "support/bench_run.h"
#include "editor/editor_window.h"
#include "editor/text_editor.h"

namespace {

constexpr int kSmallLines = 20000, kBigLines = 1000000;

// The tape files live as long as the run: the disk is shared.
struct TScratchTape {
  std::string Name;
  ~TScratchTape() {
    if (!Name.empty()) std::remove(Name.c_str());
  }
};

// 50 bytes a line with CR LF.
const std::string& Tape(int lines) {
  static std::map<int, TScratchTape> tapes;
  TScratchTape& tape = tapes[lines];
  if (tape.Name.empty()) {
    tape.Name = "/tmp/korvex_editor_bench_" + std::to_string(getpid()) + "_" + std::to_string(lines) + ".nc";
    std::ofstream out(tape.Name, std::ios::binary);
    char line[64];
    for (int i = 0; i < lines; ++i) {
      std::snprintf(line, sizeof line, "N%07d G01 X%08d Y%08d F0300 T01 M08", i, i * 7 % 99999999, i * 3);
      std::string s(line);
      s.resize(48, '0');
      out << s << "\r\n";
    }
  }
  return tape.Name;
}

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string k;
  long v = 0;
  while (in >> k) {
    if (k == key) {
      in >> v;
      return v;
    }
    in.ignore(4096, '\n');
  }
  return 0;
}

// The peak memory from here on: the kernel forgets the earlier peak.
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

// The editor as the program has it: in its window, with the window's
// controller (command tables and timer pool), its text area 800 x 600.
struct TEditorHost {
  TQuillexForm Form;
  TQedTextFileEditor& Editor = *Form.Editor;
  explicit TEditorHost(int lines) {
    Form.EditorBox.SetBounds(0, 0, 800, 600);
    Editor.TrimWhiteSpace = false;
    Editor.SetFileName(Tape(lines));
  }
};

void BM_OpenBigTape(benchmark::State& state) {
  const int lines = int(state.range(0));
  const std::string& name = Tape(lines);
  const double fileBytes = double(std::ifstream(name, std::ios::ate | std::ios::binary).tellg());
  double grown = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto host = std::make_unique<TEditorHost>(lines);
    ResetPeak();
    const long before = StatusKb("VmRSS:");
    state.ResumeTiming();
    host->Editor.Open();
    state.PauseTiming();
    grown = std::max(grown, double(StatusKb("VmHWM:") - before) * 1024.0);
    const bool right = host->Editor.LineCount() == lines + 1;
    host.reset();
    malloc_trim(0);
    state.ResumeTiming();
    if (!right) state.SkipWithError("wrong line count");
  }
  state.counters["file_MB"] = fileBytes / 1e6;
  state.counters["peak_growth_x_file"] = grown / fileBytes;
}
BENCHMARK(BM_OpenBigTape)->Apply(korvex_bench::Sizes<kSmallLines, kSmallLines, kBigLines>)->Unit(benchmark::kMillisecond);

void BM_ScrollToEnd(benchmark::State& state) {
  TEditorHost host(int(state.range(0)));
  host.Editor.Open();
  for (auto _ : state) {
    host.Editor.ExecuteCommand(ccFirstPage);
    host.Editor.ExecuteCommand(ccLastPage);
    host.Editor.Paint();
  }
  state.counters["rows"] = host.Editor.VisibleLines();
  state.counters["columns"] = host.Editor.VisibleCols();
}
BENCHMARK(BM_ScrollToEnd)->Apply(korvex_bench::Sizes<kSmallLines, kSmallLines, kBigLines>)->Unit(benchmark::kMillisecond);

void BM_ReplaceAllLines(benchmark::State& state) {
  const int lines = int(state.range(0));
  TEditorHost host(lines);
  host.Editor.Open();
  host.Editor.SetUndoBufferSize(65535);
  int count = 0;
  for (auto _ : state) {
    host.Editor.SetCaretPosition(1, 1);
    count = host.Editor.Replace("M08", "M09", soReplaceAll | soEntireScope | soCaseSensitive);
    state.PauseTiming();
    host.Editor.Replace("M09", "M08", soReplaceAll | soEntireScope | soCaseSensitive);
    state.ResumeTiming();
  }
  if (count != lines) state.SkipWithError("not every line was replaced");
}
BENCHMARK(BM_ReplaceAllLines)->Apply(korvex_bench::Sizes<kSmallLines, kSmallLines, kBigLines>)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_WordWrapBigTape(benchmark::State& state) {
  const int lines = int(state.range(0));
  TEditorHost host(lines);
  host.Editor.Open();
  host.Editor.SetWrapColumn(20);
  int32_t shown = 0;
  for (auto _ : state) {
    host.Editor.SetWordWrap(true);
    shown = host.Editor.LineCount();
    host.Editor.ExecuteCommand(ccLastPage);
    host.Editor.Paint();
    host.Editor.SetWordWrap(false);
  }
  state.counters["display_lines"] = shown;
  if (shown <= lines * 2) state.SkipWithError("the text was not wrapped");
}
BENCHMARK(BM_WordWrapBigTape)->Apply(korvex_bench::Sizes<kSmallLines, kSmallLines, kBigLines>)->Unit(benchmark::kMillisecond)->Iterations(korvex_bench::Iterations(3));

}  // namespace
