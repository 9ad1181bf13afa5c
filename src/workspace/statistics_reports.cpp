#include "workspace/statistics_reports.h"

#include <algorithm>
#include <cmath>

#include "foundation/settings.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/root_entity.h"
#include "model/rout_database.h"
#include "model/view_services.h"

namespace {

struct TRow {
  const char* Label;
  std::vector<int> Counters;
};

std::vector<TRow> RowsOf(TStatisticsKind kind) {
  switch (kind) {
    case TStatisticsKind::Cad:
      return {{"   Deleted Entities :", {1, 2, 3, 4}}, {"             Points :", {16}},
              {"              Lines :", {17}},         {"               Arcs :", {18}},
              {"            Circles :", {19}}};
    case TStatisticsKind::Rout:
      return {{"   Deleted Entities :", {5, 6, 7, 8, 9}}, {"               Jogs :", {20}},
              {"              Lines :", {21}},            {"     Clockwise Arcs :", {22}},
              {"CounterClckwse Arcs :", {23}},            {"    Drilled Circles :", {24}}};
    case TStatisticsKind::Drill:
      return {{"   Deleted Entities :", {12, 13, 14, 15}}, {"              Holes :", {27}},
              {"              Slots :", {28}},             {"            Circles :", {29}},
              {"               Text :", {30}}};
  }
  return {};
}

const char* Dashes = "   -------------------------------";

}  // namespace

void ShowStatisticsWindow(TStatisticsKind kind, const TEntityStatistics& counters,
                          int32_t percent, int32_t bytes) {
  TReportConsole w(kind == TStatisticsKind::Drill ? "Drill Database Statistics"
                                                  : "Drawing Statistics");
  w.SetScreenSize(50, kind == TStatisticsKind::Cad ? 13 : 15);
  w.ClrScr();
  w.WriteLn(std::string("   ") + "Entity Type          number");
  w.WriteLn(Dashes);
  int64_t total = 0;
  for (const TRow& row : RowsOf(kind)) {
    int64_t count = 0;
    for (int c : row.Counters) count += counters[size_t(c)];
    total += count;
    w.Write(row.Label);
    w.GotoXY(24, w.WhereY());
    w.WriteLn(IntToStrGroupedPadded(int32_t(std::clamp<int64_t>(count, INT32_MIN, INT32_MAX)), 6));
  }
  w.WriteLn(Dashes);
  w.Write("              Total :");
  w.GotoXY(24, w.WhereY());
  w.Write(std::to_string(total));
  w.WriteLn("");
  w.WriteLn("");
  w.Write(std::string("   Packable Garbage") + " " + std::to_string(percent) + "%, or " +
          std::to_string(bytes) + " " + "bytes");
  w.ShowModal();
}

void ShowDrawingStatistics() {
  if (DB == nullptr) return;
  TCadStatistics counters = DB->CountByType();
  int32_t percent = 0, bytes = 0;
  DB->EstimateMemory(counters, percent, bytes);
  ShowStatisticsWindow(TStatisticsKind::Cad, counters, percent, bytes);
}

void ShowDrillStatistics() {
  if (DRDB == nullptr) return;
  TDrillStatistics counters{};
  DRDB->CollectStatistics(counters);
  int32_t percent = 0, bytes = 0;
  TDrillDatabase::StatisticsBytes(counters, percent, bytes);
  ShowStatisticsWindow(TStatisticsKind::Drill, counters, percent, bytes);
}

void ShowRoutStatistics(const TEntityStatistics& counters, int32_t percent, int32_t bytes) {
  ShowStatisticsWindow(TStatisticsKind::Rout, counters, percent, bytes);
}

void EstimateRoutDatabaseSize(const TEntityStatistics& counters, int32_t& percent,
                              int32_t& bytes) {
  auto weighed = [&counters](int offset) {
    return 72 * (int64_t(counters[etRoutJog + offset]) + counters[etRoutLine + offset] +
                 counters[etRoutHole + offset]) +
           86 * (int64_t(counters[etRoutArc + offset]) + counters[etRoutArcReverse + offset]);
  };
  const int64_t garbage = weighed(0);
  int64_t all = garbage + weighed(15);
  if (all == 0) all = 1;
  bytes = int32_t(std::min<int64_t>(garbage, INT32_MAX));
  percent = int32_t(std::nearbyint(double(garbage) / double(all) * 100.0));
}

void ShowRoutStatistics() {
  if (RTDB == nullptr) return;
  TRoutStatistics counters{};
  RTDB->CollectStatistics(counters);
  int32_t percent = 0, bytes = 0;
  EstimateRoutDatabaseSize(counters, percent, bytes);
  ShowRoutStatistics(counters, percent, bytes);
}

std::string FormatPathLength(double value) {
  // Blanks in front until the point stands at its column: position 4 for
  // millimetres (two decimals), 3 for inches (three).
  std::string s;
  size_t column;
  if (Metric) {
    s = RealToStr(std::nearbyint(value * 100) * 0.01);
    column = 4;
  } else {
    s = RealToStr(std::nearbyint(value * 1000) * 0.001);
    column = 3;
  }
  for (size_t p = s.find('.'); p != std::string::npos && p + 1 < column; p = s.find('.'))
    s.insert(0, " ");
  if (s.size() > 6) s.resize(6);
  while (s.size() < 6) s += "0";
  return s + (Metric ? " mm" : " in.");
}

void PathLengthReport(const TPathLengths& lengths) {
  std::vector<std::string> lines = {"   Layer Tool  Total Path Length",
                                    "   -----------------------------"};
  const double u = UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : 25400000.0;
  for (int layer = 0; layer < 5; ++layer)
    for (int tool = 1; tool <= 1000; ++tool) {
      double length = lengths[size_t(layer)][size_t(tool)];
      if (length == 0.0) continue;
      std::string s = "  R" + std::to_string(layer) + "   T" + std::to_string(tool);
      s.resize(std::max<size_t>(s.size(), 17), ' ');
      lines.push_back("   " + s + FormatPathLength(length / u));
    }
  lines.push_back("   -----------------------------");
  ViewServices().ShowReport("Path Length Report", lines, {true, 22, 16});
}

void PathLengthReport() {
  if (RTDB == nullptr) return;
  TPathLengthTable table{};
  RTDB->PathLengths(table);
  TPathLengths lengths{};
  for (int layer = 0; layer < 5; ++layer)
    for (int tool = 1; tool <= 1000; ++tool)
      lengths[size_t(layer)][size_t(tool)] = table[kFirstRoutLayer + layer][tool];
  PathLengthReport(lengths);
}

std::vector<std::string> SplitWaitMessage(const std::string& message) {
  std::vector<std::string> lines;
  std::string rest = message;
  while (!rest.empty()) {
    size_t p = rest.find('\n');
    if (p == std::string::npos) {
      lines.push_back(rest.substr(0, 255));
      break;
    }
    lines.push_back(rest.substr(0, std::min<size_t>(p, 255)));
    rest.erase(0, p + 1);
  }
  return lines;
}

void PaintWaitLines(TCanvas& canvas, const std::vector<std::string>& lines, int32_t imageWidth,
                    int32_t& boxWidth, int32_t& boxHeight) {
  const int32_t n = int32_t(lines.size());
  int32_t widest = 0;
  for (const std::string& l : lines) widest = std::max(widest, canvas.TextWidth(l));
  const int32_t h = canvas.TextHeight("X");
  if (n > 3 && h * (n - 3) + 90 > boxHeight) boxHeight = h * (n - 3) + 90;
  if (imageWidth + widest + 20 > boxWidth) boxWidth = imageWidth + widest + 20;
  int32_t row = n == 1 ? 1 : 0;
  for (const std::string& l : lines) canvas.TextOut(5, h * row++ + 5, l);
}
