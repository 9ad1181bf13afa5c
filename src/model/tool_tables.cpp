#include "model/tool_tables.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <vector>

#include "foundation/byte_order.h"
#include "foundation/display_units.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "platform/paths.h"

TIndexedArray<TToolRecord, 1, kToolCount> ToolTable;
TIndexedArray<bool, 1, kToolCount> ActiveTools = [] {
  TIndexedArray<bool, 1, kToolCount> all;
  all.Fill(true);
  return all;
}();
TIndexedArray<TRoutToolPage, kFirstRoutLayer, 5> RoutToolPages;
TIndexedArray<TRoutLayerTool, kFirstRoutLayer, 5> RoutLayerTools;

// The number, letter and fractional drill series (#80 to 1 inch) paired one
// to one, in order, with the standard metric series (0.05 mm steps to 3 mm,
// 0.1 mm to 10 mm, 0.5 mm beyond): each inch size with a metric size within
// 3.5 % of it, as many pairs as fit, the nearer pairing preferred.
const TToolSizePair EquivalentSizes[kEquivalentSizeCount] = {
    {342900, 350000},  // #80 0.0135 in, 0.35 mm
    {396875, 400000},  // 1/64" 0.0156 in, 0.40 mm
    {457200, 450000},  // #77 0.0180 in, 0.45 mm
    {508000, 500000},  // #76 0.0200 in, 0.50 mm
    {533400, 550000},  // #75 0.0210 in, 0.55 mm
    {609600, 600000},  // #73 0.0240 in, 0.60 mm
    {660400, 650000},  // #71 0.0260 in, 0.65 mm
    {711200, 700000},  // #70 0.0280 in, 0.70 mm
    {741680, 750000},  // #69 0.0292 in, 0.75 mm
    {793750, 800000},  // 1/32" 0.0312 in, 0.80 mm
    {838200, 850000},  // #66 0.0330 in, 0.85 mm
    {889000, 900000},  // #65 0.0350 in, 0.90 mm
    {939800, 950000},  // #63 0.0370 in, 0.95 mm
    {990600, 1000000},  // #61 0.0390 in, 1.00 mm
    {1041400, 1050000},  // #59 0.0410 in, 1.05 mm
    {1092200, 1100000},  // #57 0.0430 in, 1.10 mm
    {1181100, 1150000},  // #56 0.0465 in, 1.15 mm
    {1190625, 1200000},  // 3/64" 0.0469 in, 1.20 mm
    {1320800, 1300000},  // #55 0.0520 in, 1.30 mm
    {1397000, 1400000},  // #54 0.0550 in, 1.40 mm
    {1511300, 1500000},  // #53 0.0595 in, 1.50 mm
    {1587500, 1600000},  // 1/16" 0.0625 in, 1.60 mm
    {1612900, 1650000},  // #52 0.0635 in, 1.65 mm
    {1701800, 1700000},  // #51 0.0670 in, 1.70 mm
    {1778000, 1800000},  // #50 0.0700 in, 1.80 mm
    {1854200, 1850000},  // #49 0.0730 in, 1.85 mm
    {1930400, 1900000},  // #48 0.0760 in, 1.90 mm
    {1984375, 1950000},  // 5/64" 0.0781 in, 1.95 mm
    {1993900, 2000000},  // #47 0.0785 in, 2.00 mm
    {2057400, 2050000},  // #46 0.0810 in, 2.05 mm
    {2082800, 2100000},  // #45 0.0820 in, 2.10 mm
    {2184400, 2200000},  // #44 0.0860 in, 2.20 mm
    {2260600, 2250000},  // #43 0.0890 in, 2.25 mm
    {2374900, 2350000},  // #42 0.0935 in, 2.35 mm
    {2381250, 2400000},  // 3/32" 0.0938 in, 2.40 mm
    {2438400, 2450000},  // #41 0.0960 in, 2.45 mm
    {2489200, 2500000},  // #40 0.0980 in, 2.50 mm
    {2527300, 2550000},  // #39 0.0995 in, 2.55 mm
    {2578100, 2600000},  // #38 0.1015 in, 2.60 mm
    {2641600, 2650000},  // #37 0.1040 in, 2.65 mm
    {2705100, 2700000},  // #36 0.1065 in, 2.70 mm
    {2778125, 2750000},  // 7/64" 0.1094 in, 2.75 mm
    {2794000, 2800000},  // #35 0.1100 in, 2.80 mm
    {2819400, 2850000},  // #34 0.1110 in, 2.85 mm
    {2870200, 2900000},  // #33 0.1130 in, 2.90 mm
    {2946400, 2950000},  // #32 0.1160 in, 2.95 mm
    {3048000, 3000000},  // #31 0.1200 in, 3.00 mm
    {3175000, 3200000},  // 1/8" 0.1250 in, 3.20 mm
    {3263900, 3300000},  // #30 0.1285 in, 3.30 mm
    {3454400, 3400000},  // #29 0.1360 in, 3.40 mm
    {3568700, 3500000},  // #28 0.1405 in, 3.50 mm
    {3571875, 3600000},  // 9/64" 0.1406 in, 3.60 mm
    {3733800, 3700000},  // #26 0.1470 in, 3.70 mm
    {3797300, 3800000},  // #25 0.1495 in, 3.80 mm
    {3911600, 3900000},  // #23 0.1540 in, 3.90 mm
    {3987800, 4000000},  // #22 0.1570 in, 4.00 mm
    {4089400, 4100000},  // #20 0.1610 in, 4.10 mm
    {4216400, 4200000},  // #19 0.1660 in, 4.20 mm
    {4305300, 4300000},  // #18 0.1695 in, 4.30 mm
    {4394200, 4400000},  // #17 0.1730 in, 4.40 mm
    {4495800, 4500000},  // #16 0.1770 in, 4.50 mm
    {4622800, 4600000},  // #14 0.1820 in, 4.60 mm
    {4699000, 4700000},  // #13 0.1850 in, 4.70 mm
    {4800600, 4800000},  // #12 0.1890 in, 4.80 mm
    {4914900, 4900000},  // #10 0.1935 in, 4.90 mm
    {4978400, 5000000},  // #9 0.1960 in, 5.00 mm
    {5105400, 5100000},  // #7 0.2010 in, 5.10 mm
    {5181600, 5200000},  // #6 0.2040 in, 5.20 mm
    {5219700, 5300000},  // #5 0.2055 in, 5.30 mm
    {5308600, 5400000},  // #4 0.2090 in, 5.40 mm
    {5410200, 5500000},  // #3 0.2130 in, 5.50 mm
    {5556250, 5600000},  // 7/32" 0.2188 in, 5.60 mm
    {5613400, 5700000},  // #2 0.2210 in, 5.70 mm
    {5791200, 5800000},  // #1 0.2280 in, 5.80 mm
    {5943600, 5900000},  // A 0.2340 in, 5.90 mm
    {5953125, 6000000},  // 15/64" 0.2344 in, 6.00 mm
    {6045200, 6100000},  // B 0.2380 in, 6.10 mm
    {6146800, 6200000},  // C 0.2420 in, 6.20 mm
    {6248400, 6300000},  // D 0.2460 in, 6.30 mm
    {6350000, 6400000},  // E 0.2500 in, 6.40 mm
    {6527800, 6500000},  // F 0.2570 in, 6.50 mm
    {6629400, 6600000},  // G 0.2610 in, 6.60 mm
    {6746875, 6700000},  // 17/64" 0.2656 in, 6.70 mm
    {6756400, 6800000},  // H 0.2660 in, 6.80 mm
    {6908800, 6900000},  // I 0.2720 in, 6.90 mm
    {7035800, 7000000},  // J 0.2770 in, 7.00 mm
    {7137400, 7100000},  // K 0.2810 in, 7.10 mm
    {7143750, 7200000},  // 9/32" 0.2812 in, 7.20 mm
    {7366000, 7400000},  // L 0.2900 in, 7.40 mm
    {7493000, 7500000},  // M 0.2950 in, 7.50 mm
    {7540625, 7600000},  // 19/64" 0.2969 in, 7.60 mm
    {7670800, 7700000},  // N 0.3020 in, 7.70 mm
    {7937500, 7900000},  // 5/16" 0.3125 in, 7.90 mm
    {8026400, 8000000},  // O 0.3160 in, 8.00 mm
    {8204200, 8200000},  // P 0.3230 in, 8.20 mm
    {8334375, 8300000},  // 21/64" 0.3281 in, 8.30 mm
    {8432800, 8400000},  // Q 0.3320 in, 8.40 mm
    {8610600, 8600000},  // R 0.3390 in, 8.60 mm
    {8731250, 8700000},  // 11/32" 0.3438 in, 8.70 mm
    {8839200, 8800000},  // S 0.3480 in, 8.80 mm
    {9093200, 9100000},  // T 0.3580 in, 9.10 mm
    {9128125, 9200000},  // 23/64" 0.3594 in, 9.20 mm
    {9347200, 9300000},  // U 0.3680 in, 9.30 mm
    {9525000, 9500000},  // 3/8" 0.3750 in, 9.50 mm
    {9575800, 9600000},  // V 0.3770 in, 9.60 mm
    {9804400, 9700000},  // W 0.3860 in, 9.70 mm
    {9921875, 9800000},  // 25/64" 0.3906 in, 9.80 mm
    {10083800, 9900000},  // X 0.3970 in, 9.90 mm
    {10261600, 10000000},  // Y 0.4040 in, 10.00 mm
    {10490200, 10500000},  // Z 0.4130 in, 10.50 mm
    {11112500, 11000000},  // 7/16" 0.4375 in, 11.00 mm
    {11509375, 11500000},  // 29/64" 0.4531 in, 11.50 mm
    {11906250, 12000000},  // 15/32" 0.4688 in, 12.00 mm
    {12700000, 12500000},  // 1/2" 0.5000 in, 12.50 mm
    {13096875, 13000000},  // 33/64" 0.5156 in, 13.00 mm
    {13493750, 13500000},  // 17/32" 0.5312 in, 13.50 mm
    {13890625, 14000000},  // 35/64" 0.5469 in, 14.00 mm
    {14684375, 14500000},  // 37/64" 0.5781 in, 14.50 mm
    {15081250, 15000000},  // 19/32" 0.5938 in, 15.00 mm
    {15478125, 15500000},  // 39/64" 0.6094 in, 15.50 mm
    {15875000, 16000000},  // 5/8" 0.6250 in, 16.00 mm
    {16668750, 16500000},  // 21/32" 0.6562 in, 16.50 mm
    {17065625, 17000000},  // 43/64" 0.6719 in, 17.00 mm
    {17462500, 17500000},  // 11/16" 0.6875 in, 17.50 mm
    {17859375, 18000000},  // 45/64" 0.7031 in, 18.00 mm
    {18653125, 18500000},  // 47/64" 0.7344 in, 18.50 mm
    {19050000, 19000000},  // 3/4" 0.7500 in, 19.00 mm
    {19446875, 19500000},  // 49/64" 0.7656 in, 19.50 mm
    {19843750, 20000000},  // 25/32" 0.7812 in, 20.00 mm
    {20637500, 20500000},  // 13/16" 0.8125 in, 20.50 mm
    {21034375, 21000000},  // 53/64" 0.8281 in, 21.00 mm
    {21431250, 21500000},  // 27/32" 0.8438 in, 21.50 mm
    {21828125, 22000000},  // 55/64" 0.8594 in, 22.00 mm
    {22621875, 22500000},  // 57/64" 0.8906 in, 22.50 mm
    {23018750, 23000000},  // 29/32" 0.9062 in, 23.00 mm
    {23415625, 23500000},  // 59/64" 0.9219 in, 23.50 mm
    {23812500, 24000000},  // 15/16" 0.9375 in, 24.00 mm
    {24606250, 24500000},  // 31/32" 0.9688 in, 24.50 mm
    {25003125, 25000000},  // 63/64" 0.9844 in, 25.00 mm
    {25400000, 25500000},  // 1" 1.0000 in, 25.50 mm
};

namespace {

// Fixed-point text of value / divisor with the given decimals, rounded
// half away from zero, "-" in front of a negative value that does not show
// as zero.
std::string FixedText(int64_t value, int64_t divisor, int decimals) {
  int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const int64_t magnitude = value < 0 ? -value : value;
  // magnitude * scale fits easily: |value| <= 2^31, scale <= 10^4.
  const int64_t units = (magnitude * scale * 2 + divisor) / (divisor * 2);
  std::string text = std::to_string(units / scale);
  if (decimals > 0) {
    std::string frac = std::to_string(units % scale);
    text += "." + std::string(decimals - frac.size(), '0') + frac;
  }
  return (value < 0 && units > 0) ? "-" + text : text;
}

}  // namespace

std::array<uint8_t, kToolRecordSize> EncodeToolRecord(const TToolRecord& record) {
  std::array<uint8_t, kToolRecordSize> b{};
  PutInt32(&b[0], record.Diameter);
  PutInt32(&b[4], record.Feed);
  PutInt32(&b[8], record.Speed);
  PutInt32(&b[12], record.ZOffset);
  PutInt32(&b[16], record.MaxHits);
  b[20] = record.FirstLastHit;
  return b;
}

TToolRecord DecodeToolRecord(const uint8_t* bytes) {
  TToolRecord r;
  r.Diameter = GetInt32(bytes);
  r.Feed = GetInt32(bytes + 4);
  r.Speed = GetInt32(bytes + 8);
  r.ZOffset = GetInt32(bytes + 12);
  r.MaxHits = GetInt32(bytes + 16);
  r.FirstLastHit = bytes[20];
  return r;
}

std::array<uint8_t, kRoutToolRecordSize> EncodeRoutToolRecord(const TRoutToolRecord& record) {
  std::array<uint8_t, kRoutToolRecordSize> b{};
  PutInt32(&b[0], record.Diameter);
  PutInt32(&b[4], record.CompDiameter);
  PutUInt16(&b[8], record.HighFeed);
  PutUInt16(&b[10], record.LowFeed);
  PutInt32(&b[12], record.ZOffset);
  return b;
}

TRoutToolRecord DecodeRoutToolRecord(const uint8_t* bytes) {
  TRoutToolRecord r;
  r.Diameter = GetInt32(bytes);
  r.CompDiameter = GetInt32(bytes + 4);
  r.HighFeed = GetUInt16(bytes + 8);
  r.LowFeed = GetUInt16(bytes + 10);
  r.ZOffset = GetInt32(bytes + 12);
  return r;
}

namespace {
// The page of a rout tool page file: cleared and filled from it; false,
// with the page untouched, when the file is missing or cannot be read.
bool ReadRoutToolPage(const std::string& fileName, TRoutToolPage& page) {
  if (fileName.empty()) return false;
  std::FILE* f = std::fopen(NativePath(fileName).c_str(), "rb");
  if (f == nullptr) return false;
  // Read everything first, so that a failed read leaves the page alone.
  std::vector<uint8_t> bytes(kToolCount * kRoutToolRecordSize);
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return false;
  page.Fill(TRoutToolRecord{});
  const std::size_t records = got / kRoutToolRecordSize;
  for (std::size_t i = 0; i < records; ++i)
    page.Items[i] = DecodeRoutToolRecord(&bytes[i * kRoutToolRecordSize]);
  return true;
}
}  // namespace

bool LoadRoutToolPage(const std::string& fileName, int layer) {
  if (!IsRoutLayer(layer)) return false;
  return ReadRoutToolPage(fileName, RoutToolPages[layer]);
}

bool SaveRoutToolPage(const std::string& fileName, int layer) {
  if (!IsRoutLayer(layer)) return false;
  std::vector<uint8_t> bytes;
  bytes.reserve(kToolCount * kRoutToolRecordSize);
  for (const TRoutToolRecord& r : RoutToolPages[layer].Items) {
    const auto b = EncodeRoutToolRecord(r);
    bytes.insert(bytes.end(), b.begin(), b.end());
  }
  if (!WriteFileReplacing(fileName, bytes)) {
    CheckIOError("writing a file");
    return false;
  }
  return true;
}

namespace {
// Built-in rout tools 1 to 4: diameter, high feed, low feed.
struct TBuiltInRoutTool {
  int32_t Diameter;
  uint16_t HighFeed;
  uint16_t LowFeed;
};
constexpr TBuiltInRoutTool BuiltInRoutTools[4] = {
    {812800, 6350, 2540},
    {1574800, 6350, 2540},
    {2362200, 10160, 5080},
    {3175000, 10160, 5080},
};
}  // namespace

TRoutToolPage DefaultRoutToolPage() {
  TRoutToolPage page;
  for (int tool = 1; tool <= 4; ++tool) {
    const TBuiltInRoutTool& builtIn = BuiltInRoutTools[tool - 1];
    TRoutToolRecord& record = page[tool];
    record.Diameter = EquivalentToolSize(builtIn.Diameter, false);
    record.CompDiameter = record.Diameter;
    record.HighFeed = builtIn.HighFeed;
    record.LowFeed = builtIn.LowFeed;
  }
  ReadRoutToolPage(DefaultToolFile, page);
  return page;
}

int32_t EquivalentToolSize(int32_t size, bool toInch) {
  if (MicronMetricToolResolution) return size;
  const TToolSizePair* begin = EquivalentSizes;
  const TToolSizePair* end = EquivalentSizes + kEquivalentSizeCount;
  if (toInch) {
    const auto* p = std::lower_bound(begin, end, size,
                                     [](const TToolSizePair& e, int32_t v) { return e.Metric < v; });
    return p != end && p->Metric == size ? p->Inch : size;
  }
  const auto* p = std::lower_bound(begin, end, size,
                                   [](const TToolSizePair& e, int32_t v) { return e.Inch < v; });
  return p != end && p->Inch == size ? p->Metric : size;
}

std::string DisplaySizeToText(double size) {
  const double units = std::trunc(size * UnitsPerDisplayUnit);
  const int32_t u = std::isnan(units) ? 0 : ClampCompToInt(static_cast<int64_t>(
                                                std::clamp(units, -2147483647.0, 2147483647.0)));
  return Metric ? FormatToolSizeMetric(u) : FormatToolSizeInch(u);
}

std::string FeedRateToText(int32_t feed) {
  const double value = Metric ? feed / 1000.0 : feed * 60.0 / 25400.0;
  const int32_t n = SaturatingRound(value);
  const std::string digits = PadIntText(n < 0 ? -n : n, 3, '0');
  return n < 0 ? "-" + digits : digits;
}

std::string SpeedToText(int32_t speed) {
  const int64_t s = speed;
  const int64_t magnitude = s < 0 ? -s : s;
  std::string text = std::to_string(magnitude / 10);
  if (text.size() < 3) text.insert(0, 3 - text.size(), '0');
  text += "." + std::to_string(magnitude % 10);
  return s < 0 ? "-" + text : text;
}

std::string ZOffsetToText(int32_t offset) {
  return Metric ? FixedText(offset, MetricUnitsPerDisplayUnit, 3)
                : FixedText(offset, InchUnitsPerDisplayUnit, 4);
}

std::string PadIntText(int32_t value, int32_t width, char pad) {
  std::string text = std::to_string(value);
  if (width > 0 && text.size() < static_cast<std::size_t>(width))
    text.insert(0, static_cast<std::size_t>(width) - text.size(), pad);
  return text;
}
