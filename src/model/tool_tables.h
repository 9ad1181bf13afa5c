// The job's tool tables: the drill tool table with its per-tool active
// flags, the rout tool pages of the five rout layers with their current tool
// and compensation index, the rout tool page files (*.RTT), the standard
// inch/metric drill size pairs and the display texts of tool values.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "foundation/settings_families.h"  // DefaultToolFile

constexpr int32_t kToolCount = 1000;
constexpr int kFirstRoutLayer = 40;
constexpr int kLastRoutLayer = 44;

// True for the rout layers 40..44.
constexpr bool IsRoutLayer(int32_t layer) { return layer >= kFirstRoutLayer && layer <= kLastRoutLayer; }

// True for tool numbers 1..1000; others lie outside every table.
constexpr bool ValidToolNumber(int32_t tool) { return tool >= 1 && tool <= kToolCount; }

// An array indexed First..First+N-1; an index outside throws std::out_of_range.
template <typename T, int32_t First, std::size_t N>
struct TIndexedArray {
  std::array<T, N> Items{};
  T& operator[](int32_t i) { return Items.at(static_cast<std::size_t>(i - First)); }
  const T& operator[](int32_t i) const { return Items.at(static_cast<std::size_t>(i - First)); }
  void Fill(const T& value) { Items.fill(value); }
};

// ---- Drill tool table ------------------------------------------------------

// One drill tool; 21 bytes in files, little-endian, in this order.
struct TToolRecord {
  int32_t Diameter = 0;      // database units; 0 = empty record
  int32_t Feed = 0;          // 1/25,400 inch per second
  int32_t Speed = 0;         // hundreds of rpm
  int32_t ZOffset = 0;       // database units
  int32_t MaxHits = 0;       // hits before a tool change
  uint8_t FirstLastHit = 0;  // takes part in the first/last hit coupon
  bool operator==(const TToolRecord&) const = default;
};
constexpr std::size_t kToolRecordSize = 21;
std::array<uint8_t, kToolRecordSize> EncodeToolRecord(const TToolRecord& record);
TToolRecord DecodeToolRecord(const uint8_t* bytes);

// Tools 1..1000 of the job; zero at start.
extern TIndexedArray<TToolRecord, 1, kToolCount> ToolTable;
// A drill entity is drawn, picked and selected only while its tool's flag is
// set; all set at start.
extern TIndexedArray<bool, 1, kToolCount> ActiveTools;

// ---- Rout tool pages -------------------------------------------------------

// One rout tool; 16 bytes in files, little-endian, in this order.
struct TRoutToolRecord {
  int32_t Diameter = 0;      // database units
  int32_t CompDiameter = 0;  // compensation diameter, database units
  uint16_t HighFeed = 0;
  uint16_t LowFeed = 0;
  int32_t ZOffset = 0;       // database units
  bool operator==(const TRoutToolRecord&) const = default;
};
constexpr std::size_t kRoutToolRecordSize = 16;
std::array<uint8_t, kRoutToolRecordSize> EncodeRoutToolRecord(const TRoutToolRecord& record);
TRoutToolRecord DecodeRoutToolRecord(const uint8_t* bytes);

using TRoutToolPage = TIndexedArray<TRoutToolRecord, 1, kToolCount>;
// RoutToolPages[layer][tool]: the page of each rout layer 40..44.
extern TIndexedArray<TRoutToolPage, kFirstRoutLayer, 5> RoutToolPages;

// The tool and compensation index a rout layer draws with.
struct TRoutLayerTool {
  int32_t Tool = 1;
  int32_t CompIndex = 1;
  bool operator==(const TRoutLayerTool&) const = default;
};
extern TIndexedArray<TRoutLayerTool, kFirstRoutLayer, 5> RoutLayerTools;

// A rout tool page file holds up to 1,000 16-byte records of tools 1, 2, ...
// and nothing else. Loading clears the layer's page and fills it from the
// file (a partial record at the end is ignored); when the file is missing or
// cannot be read the page stays as it was and the answer is false. A layer
// outside 40..44 is refused.
bool LoadRoutToolPage(const std::string& fileName, int layer);
// Writes the layer's 1,000 records to a temporary file beside the target and
// renames it over the target; on failure the old file stays, the error is
// shown ("<system text>" + line break + "while writing a file") and the
// answer is false.
bool SaveRoutToolPage(const std::string& fileName, int layer);
// The rows a new job's rout layers start with: tools 1 to 4 built in (each
// diameter as EquivalentToolSize gives it, stored as diameter and
// compensation diameter) and every other tool zero, or the default rout
// tool page file (DefaultToolFile) in their place when it can be read.
// Start-up, New and Open give every rout layer this page, so what was
// open before never shows through.
TRoutToolPage DefaultRoutToolPage();

// ---- Standard sizes and display texts ----------------------------------------

constexpr int kEquivalentSizeCount = 140;
struct TToolSizePair {
  int32_t Inch;    // database units
  int32_t Metric;  // database units
};
// The standard drill sizes in both systems, ascending in both columns.
extern const TToolSizePair EquivalentSizes[kEquivalentSizeCount];

// A size of the table is replaced by its counterpart (toInch: metric to
// inch, else inch to metric); other sizes, and every size while
// MicronMetricToolResolution is on, come back unchanged.
int32_t EquivalentToolSize(int32_t size, bool toInch);

// A size in display units as the tool table shows diameters: times the units
// per display unit, truncated, then ".0135" (inch) or "0.35" / "0.350" (mm).
std::string DisplaySizeToText(double size);
// Inches per minute (feed x 60 / 25,400) or, in metric display, feed / 1000;
// rounded, at least 3 digits with leading zeros.
std::string FeedRateToText(int32_t feed);
// Thousands of rpm with one decimal and at least 3 digits before the point:
// 600 gives "060.0", 5 gives "000.5".
std::string SpeedToText(int32_t speed);
// The Z offset in inches (4 decimals) or millimetres (3 decimals), "-" in
// front when negative: "0.0100", "-0.250".
std::string ZOffsetToText(int32_t offset);
// The decimal value with pad characters in front up to the width.
std::string PadIntText(int32_t value, int32_t width, char pad);
