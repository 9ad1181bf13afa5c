// The full redraw the user waits for: the started program on the Qt backend
// (its main window, view and paint box, as korvex runs), with the panel of
// bench/redraw_bench.cpp (50,000 CAD lines, 500,000 drill hits in 40 tools
// of 0.007 to 0.046 in) in its databases. Each iteration redraws the view as
// the program's redraw does (the picture rendered, then copied to the view)
// and lets the window paint it. Built when both the benchmarks and the Qt
// front end are; bench/qt_program_redraw.sh runs it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdint>

#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_forms.h"
#include "workspace/my_screen.h"
#include "workspace/startup.h"
#include "workspace/workspace.h"
#include "../redraw_panel.h"
#include "../support/bench_run.h"

namespace {

constexpr double Inch = 25400000.0;
constexpr int kViewWidth = 1280, kViewHeight = 1024;

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

void FillPanel() {
  AddRedrawPanel();
  DisplayedLayerMask |= 0xF;
  DisplayedNCLayerMask |= 0x7;
}

// Arguments: zoom (1: the whole panel in view, 10: zoomed in ten times on
// the panel's middle, as a zoom window does) and the
// hole display (0 pixel, 1 circles of the tool's size, the program's
// default, 3 shapes).
void BM_ProgramRedraw(benchmark::State& state) {
  DisplayHolesAs = uint8_t(state.range(1));
  const int32_t cx = int32_t(10 * Inch), cy = int32_t(8 * Inch);
  // The window that zooms to 64 pixels an inch times the zoom (a zoom
  // window is widened by a tenth), the scale of bench/redraw_bench.cpp.
  const int32_t hx = int32_t(0.9 * kViewWidth / 128.0 * Inch / double(state.range(0)));
  const int32_t hy = int32_t(0.9 * kViewHeight / 128.0 * Inch / double(state.range(0)));
  MyScreen->ZoomWindow(cx - hx, cy - hy, cx + hx, cy + hy);
  Settle();
  for (auto _ : state) {
    MyScreen->Redraw(false);
    // Until the window has painted what the redraw showed.
    Settle();
  }
  state.counters["pixels_per_inch"] = ViewServices().PixelsPerInch();
  state.counters["view_width"] = ViewServices().ViewWidth();
  state.counters["view_height"] = ViewServices().ViewHeight();
}

BENCHMARK(BM_ProgramRedraw)->Apply(RedrawCases);

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallQtBackend();
  if (!korvex_bench::InitializeBenchmarks(&argc, argv)) return 1;
  // The boxes of start-up (the about box) are answered with OK.
  QTimer ok;
  ok.setInterval(20);
  QObject::connect(&ok, &QTimer::timeout, [] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (!top->isVisible() || (Workspace != nullptr && top == QtWidgetOf(*Workspace))) continue;
      for (QPushButton* button : top->findChildren<QPushButton*>())
        if (button->text() == "OK" && button->isVisible() && button->isEnabled()) {
          button->click();
          return;
        }
    }
  });
  ok.start();
  return RunProgram([] {
    if (Workspace == nullptr || MyScreen == nullptr) return 1;
    // The view of 1280 x 1024 pixels that bench/redraw_bench.cpp draws for:
    // the window is sized to its frame, menus and panels around it.
    QWidget* window = QtWidgetOf(*Workspace);
    for (int i = 0; i < 3; ++i) {
      TViewServices& view = ViewServices();
      window->resize(window->width() + kViewWidth - view.ViewWidth(),
                     window->height() + kViewHeight - view.ViewHeight());
      Settle();
    }
    FillPanel();
    const int result = korvex_bench::RunInitializedBenchmarks();
    // Nothing to save: the panel was made for the benchmark.
    DatabaseModified = false;
    window->close();
    Settle();
    return result;
  });
}
