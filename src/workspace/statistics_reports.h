// The Get Info statistics windows of the three databases, the Path Length
// Report of the rout layers, and the text layout of the please-wait box.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/canvas.h"

// Counter t (1..15) counts deleted entities of type code t, counter t + 15
// the live ones.
using TEntityStatistics = std::array<int32_t, 31>;

enum class TStatisticsKind { Cad, Rout, Drill };

// The statistics window: a table of counts by entity type (deleted, then
// live), their total and the packable garbage ("percent%, or bytes bytes").
void ShowStatisticsWindow(TStatisticsKind kind, const TEntityStatistics& counters,
                          int32_t percent, int32_t bytes);
// Get Info of the CAD mode (DB) and the drill mode (DRDB).
void ShowDrawingStatistics();
void ShowDrillStatistics();
// Get Info of the rout mode, from the rout database's counts and its
// garbage figures; without arguments, of RTDB.
void ShowRoutStatistics(const TEntityStatistics& counters, int32_t percent, int32_t bytes);
void ShowRoutStatistics();
// The packable garbage of the rout database from its counts: 72 bytes per
// deleted jog, line or hole, 86 per deleted arc (circles and commands not
// counted), and its share of all those bytes in percent.
void EstimateRoutDatabaseSize(const TEntityStatistics& counters, int32_t& percent,
                              int32_t& bytes);

// Routed path length in database units per rout layer (index 0..4 for
// layers 40..44) and tool (1..1000; entry 0 unused).
using TPathLengths = std::array<std::array<double, 1001>, 5>;
// "Path Length Report": one line per layer and tool with a path.
void PathLengthReport(const TPathLengths& lengths);
// The report of the rout database RTDB.
void PathLengthReport();
// A length in display units as six characters and the unit: " 1.500 in."
// or " 12.34 mm".
std::string FormatPathLength(double value);

// The lines of a please-wait message, split at line feeds.
std::vector<std::string> SplitWaitMessage(const std::string& message);
// Paints the lines on the box's caption area (x = 5, rows of the height of
// "X" from y = 5; a single line one row lower) after growing the box to fit
// them: taller for more than three lines, wider for a line wider than the
// box beside its image panel of width imageWidth.
void PaintWaitLines(TCanvas& canvas, const std::vector<std::string>& lines, int32_t imageWidth,
                    int32_t& boxWidth, int32_t& boxHeight);
