// The title block in the bottom-right corner of every plotted or printed
// page, the drill tool table stacked above it on request, and the stroke
// lettering they are written in.
//
// Everything is drawn through the device's own operations (device lines),
// so the layout is the same in the plot files and on the printer. Heights
// count upward from the bottom edge of the printed page: the plot body
// negates ScaleY of a device whose Y grows upward before it calls these.
#pragma once
#include <cstdint>
#include <string>

class TPlotDevice;

// A non-empty text in stroke characters of 0.075 in, its first character's
// lower-left corner at the device point; upright on both Y directions.
void DrawPlotText(TPlotDevice& device, int32_t x, int32_t y, const std::string& text);

// Asks for the two title lines and the format block (the Plot Configuration
// dialog), then draws the block; sets PlotFormatBlock and TitleBlockEdge.
void DrawTitleBlock(TPlotDevice& device);
// The totals row and one row per drill tool with hits, lowest tool on top;
// TitleBlockEdge ends up at the top of the stack.
void DrawToolTable(TPlotDevice& device);

// The text of a tool's row in the tool table: "T07=0.0250\" " and the hits
// padded to five places (longer counts are not cut).
std::string ToolRowText(int32_t tool, int32_t diameter, int32_t hits);
// The letter of a tool's holes: tool mod 52 (0 read as 52) as "A".."Z" for
// 1..26 and "a".."z" above.
char HoleLetterOf(int32_t tool);

// A tool's size for the table: inches as "%6.4f" and a double quote and a
// blank, or millimetres as "%6.3f" and "mm" (the standard metric size of a
// standard inch drill).
std::string FormatToolSize(int32_t diameter);
// The metric size in microns of a size in 1/10,000 inch: the standard
// drill's when the size is one, else round(v x 2.54).
int32_t MetricDrillSize(int32_t v);
