#include "model/drill_tools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "foundation/display_units.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "model/drill_database.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/forms.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/printer.h"

std::string DrillTapeFileName;

namespace {

constexpr int32_t kRenumbered = 995;  // tools 996..1000 keep their numbers
constexpr int32_t kNameLength = 255;

std::string ToolDataFolder() { return ExecutionPath() + "TOOLDATA" + PathDelim; }

std::string BaseName(const std::string& name) {
  std::size_t p = name.find_last_of("\\/:");
  return p == std::string::npos ? name : name.substr(p + 1);
}

bool UsedTool(const TToolHits& holes, const TToolHits& others, int32_t t) {
  return holes[t] > 0 || others[t] > 0;
}

}  // namespace

// ---- Files --------------------------------------------------------------------------

bool WriteDrillToolTableFile(const std::string& fileName) {
  std::vector<uint8_t> bytes;
  bytes.reserve(kToolCount * kToolRecordSize);
  for (const TToolRecord& r : ToolTable.Items) {
    auto b = EncodeToolRecord(r);
    bytes.insert(bytes.end(), b.begin(), b.end());
  }
  int error = WriteFileReplacing(fileName, bytes) ? 0 : IOResult();
  if (error == 0) return true;
  ReportIOError(error, "writing the drill tool table " + fileName);
  return false;
}

bool ReadDrillToolTableFile(const std::string& fileName) {
  std::string path = NativePath(fileName);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ReportIOError(errno ? errno : ENOENT, "opening the drill tool table " + fileName);
    return false;
  }
  // The size decides; only the records the table can hold are read, so a
  // huge file chosen by mistake costs no more than a table.
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || !in) {
    ReportIOError(EIO, "reading the drill tool table " + fileName);
    return false;
  }
  if (static_cast<uint64_t>(size) % kToolRecordSize != 0) {
    ErrorBox(fileName + " is not a drill tool table: its size of " + std::to_string(size) +
             " bytes is not a multiple of 21.");
    return false;
  }
  const std::size_t records =
      static_cast<std::size_t>(std::min<uint64_t>(static_cast<uint64_t>(size) / kToolRecordSize, kToolCount));
  std::vector<uint8_t> bytes(records * kToolRecordSize);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()))) {
    ReportIOError(EIO, "reading the drill tool table " + fileName);
    return false;
  }
  TIndexedArray<TToolRecord, 1, kToolCount> table;
  for (std::size_t n = 0; n < records; ++n)
    table[int32_t(n + 1)] = DecodeToolRecord(bytes.data() + n * kToolRecordSize);
  ToolTable = table;
  return true;
}

bool SaveDrillToolTable() {
  std::string name;
  if (!DrillTapeFileName.empty()) {
    name = ToolDataFolder() + BaseName(DrillTapeFileName);
  } else {
    // A table of that name is replaced only when the user says so; No asks
    // for another name.
    for (;;) {
      name = ToolDataFolder() + "*.*";
      if (!ExecuteSaveFileDialog("Save Drill Tool Table as:", name, kNameLength)) return false;
      if (!FileExistsNoWild(name)) break;
      name = ExistingFileName(name);  // the file replaced, in its own spelling
      if (ConfirmOverwrite(name)) break;
    }
  }
  if (!WriteDrillToolTableFile(name)) return false;
  // Without a dialog the user would not know where the table went.
  SetApplicationHint("Drill tool table written: " + name);
  return true;
}

bool LoadDrillToolTable() {
  std::string name = ToolDataFolder() + "*.*";
  if (!ExecuteOpenFileDialog("Select Drill Tool Table", name, kNameLength)) return false;
  return ReadDrillToolTableFile(name);
}

// ---- Hits and the tool data report ------------------------------------------------------

void TDrillDatabase::HitsPerTool(TToolHits& holes, TToolHits& others) {
  holes.fill(0);
  others.fill(0);
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    if (static_cast<int32_t>(WordAt(i)) <= 0) continue;
    TDrillEntity* e = EntityAt(i);
    if (!ValidToolNumber(e->Tool)) continue;
    TToolHits& hits = e->GetType() == etDrillHole ? holes : others;
    hits[e->Tool] = ClampCompToInt(int64_t(hits[e->Tool]) + e->HitCount());
  }
}

void TDrillDatabase::ShowToolData(bool print) {
  if (DrillEntityCount < 1) {
    InformationBox("No drill data loaded!");
    return;
  }
  TToolHits holes, others;
  std::vector<std::string> toolLines;
  int64_t h = 0, o = 0;
  {
    THourGlassCursor hourglass;
    HitsPerTool(holes, others);
    for (int32_t t = 1; t <= kToolCount; ++t) {
      h += holes[t];
      o += others[t];
      if (holes[t] == 0 && others[t] == 0) continue;
      const TToolRecord& r = ToolTable[t];
      std::string line = PadIntText(t, 3, ' ');
      // Tool 1000 takes one of the blanks after its number, so that its
      // columns stand where those of the shorter numbers do.
      line += std::string(std::size_t(Metric ? 3 : 2) - (line.size() - 3), ' ');
      line += DisplaySizeToText(double(EquivalentToolSize(r.Diameter, !Metric)) /
                                UnitsPerDisplayUnit);
      line += "  " + FeedRateToText(r.Feed);
      line += "  " + SpeedToText(r.Speed);
      line += "   " + ZOffsetToText(r.ZOffset);
      line += "   " + PadIntText(r.MaxHits, 4, ' ');
      line += "  " + PadIntText(holes[t], 5, ' ');
      line += "    " + PadIntText(others[t], 5, ' ');
      line += r.FirstLastHit ? "    YES" : "     NO";
      toolLines.push_back(line);
    }
  }
  const std::string header = "Tool  Diam  INF  K-RPM  Offset  MAX-H   HITS  CST HITS  FLH-COUP";
  const std::string rule(65, '-');
  std::vector<std::string> totals = {"Regular hits = " + std::to_string(h),
                                     "Circle/Slot/Drilled Text hits = " + std::to_string(o),
                                     "Total hits = " + std::to_string(h + o)};
  std::vector<std::string> lines;
  if (!print) {
    lines.push_back(header);
    lines.push_back(rule);
    lines.insert(lines.end(), toolLines.begin(), toolLines.end());
    lines.push_back(rule);
    lines.push_back(" ");
    lines.insert(lines.end(), totals.begin(), totals.end());
    ViewServices().ShowReport("Tool Data", lines);
    return;
  }
  TPrinter& printer = Printer();
  printer.Title = "KORVEX 6 Drill Edit Tool Data";
  TCanvas& canvas = printer.Canvas();
  std::vector<std::string> fonts = printer.Fonts();
  canvas.Font.Name = fonts.empty() ? "Courier New" : fonts.front();
  canvas.Font.Bold = canvas.Font.Italic = canvas.Font.Underline = false;
  canvas.Font.Size = 0;
  canvas.Pen.Color = clBlack;
  canvas.Pen.Width = 1;
  canvas.Pen.Style = psSolid;
  canvas.Pen.Mode = pmCopy;
  lines = {" ", "KORVEX 6 Drill Edit Tool Table ", " ", " ", header, rule};
  lines.insert(lines.end(), toolLines.begin(), toolLines.end());
  lines.push_back(rule);
  lines.insert(lines.end(), totals.begin(), totals.end());
  TPrinterLineChannel channel(printer);
  if (!channel.Open()) {
    if (printer.LastError.empty()) return;  // the user cancelled
    throw std::runtime_error(printer.LastError + "\r\nwhile printing");
  }
  for (const std::string& line : lines) channel.WriteLine(line);
  channel.Close();
}

// ---- Renumbering ------------------------------------------------------------------------

void TDrillDatabase::Renumber(const std::array<int32_t, 1001>& newNo) {
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    TDrillEntity* e = EntityAt(i);
    if (ValidToolNumber(e->Tool) && newNo[e->Tool] != 0) e->SetToolNumber(uint16_t(newNo[e->Tool]));
  }
  auto old = ToolTable;
  ToolTable.Fill(TToolRecord{});
  for (int32_t t = 1; t <= kToolCount; ++t)
    if (newNo[t] != 0) ToolTable[newNo[t]] = old[t];
}

namespace {

// Selection passes: 995 times the tool with the best key among those not yet
// numbered gets the next number (ties to the lowest tool).
std::array<int32_t, 1001> SelectByKey(std::array<int64_t, 1001> key, bool largestFirst) {
  std::array<int32_t, 1001> newNo{};
  for (int32_t t = kRenumbered + 1; t <= kToolCount; ++t) newNo[t] = t;
  const int64_t done = largestFirst ? -2147483647 : 2147483647;
  for (int32_t n = 1; n <= kRenumbered; ++n) {
    int32_t bestT = 0;
    for (int32_t t = 1; t <= kRenumbered; ++t) {
      if (newNo[t] != 0) continue;
      if (bestT == 0 || (largestFirst ? key[t] > key[bestT] : key[t] < key[bestT])) bestT = t;
    }
    newNo[bestT] = n;
    key[bestT] = done;
  }
  return newNo;
}

}  // namespace

void TDrillDatabase::RenumberByKey(
    bool largestFirst, const std::function<int64_t(int64_t hits, int64_t diameter, bool used)>& keyOf) {
  if (DrillEntityCount < 1) return;
  THourGlassCursor hourglass;
  TToolHits holes, others;
  HitsPerTool(holes, others);
  std::array<int64_t, 1001> key{};
  for (int32_t t = 1; t <= kRenumbered; ++t) {
    const int64_t hits = int64_t(holes[t]) + others[t];
    key[t] = keyOf(hits, int64_t(ToolTable[t].Diameter), UsedTool(holes, others, t));
  }
  Renumber(SelectByKey(key, largestFirst));
}

void TDrillDatabase::RenumberToolsByHits() {
  RenumberByKey(true, [](int64_t hits, int64_t, bool) { return hits == 0 ? -2147483646 : hits; });
}

void TDrillDatabase::RenumberToolsByHitsAscending() {
  RenumberByKey(false, [](int64_t hits, int64_t, bool) { return hits == 0 ? 2147483646 : hits; });
}

void TDrillDatabase::RenumberToolsBySize() {
  RenumberByKey(true, [](int64_t, int64_t d, bool used) {
    return d == 0 ? -2147483646 : used ? d : d - 50800000;
  });
}

void TDrillDatabase::RenumberToolsBySizeAscending() {
  RenumberByKey(false, [](int64_t, int64_t d, bool used) {
    return d == 0 ? 2147483646 : used ? d : d + 25400000;
  });
}

void TDrillDatabase::RenumberToolsUsedFirst() {
  if (DrillEntityCount < 1) return;
  THourGlassCursor hourglass;
  TToolHits holes, others;
  HitsPerTool(holes, others);
  std::array<int32_t, 1001> newNo{};
  int32_t n = 0;
  for (int32_t t = 1; t <= kRenumbered; ++t)
    if (UsedTool(holes, others, t)) newNo[t] = ++n;
  for (int32_t t = 1; t <= kRenumbered; ++t)
    if (!UsedTool(holes, others, t)) newNo[t] = ++n;
  for (int32_t t = kRenumbered + 1; t <= kToolCount; ++t) newNo[t] = t;
  Renumber(newNo);
}

void TDrillDatabase::RenumberToolsMergeSizes() {
  if (DrillEntityCount < 1) return;
  THourGlassCursor hourglass;
  TToolHits holes, others;
  HitsPerTool(holes, others);
  std::array<int32_t, 1001> newNo{};
  for (int32_t t = kRenumbered + 1; t <= kToolCount; ++t) newNo[t] = t;
  int32_t n = 0;
  for (int32_t t = 1; t <= kRenumbered; ++t) {
    if (newNo[t] != 0) continue;
    newNo[t] = ++n;
    const int32_t d = ToolTable[t].Diameter;
    // A used tool without a diameter is not "the same size" as anything:
    // merging it would give its holes another tool's record.
    if (d == 0 && UsedTool(holes, others, t)) continue;
    for (int32_t u = t + 1; u <= kRenumbered; ++u) {
      if (newNo[u] != 0 || ToolTable[u].Diameter != d) continue;
      if (d == 0 && UsedTool(holes, others, u)) continue;
      newNo[u] = n;
    }
  }
  Renumber(newNo);
}

// ---- TSuppressDialog ------------------------------------------------------------------

TSuppressDialog::TSuppressDialog() : TForm("TSuppressDialog") {
  SetCaption("Error");
  SetFontBold(true);
  Add<TImage>("Image1");
  Add<TLabel>("WarningLabel", "Warning!");
  auto& row = Add<TPanel>("ButtonRow");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  row.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  row.Add<TButton>("SuppressButton", "OK to &All", mrAbort);
  OnResize = [this](TControl&) { FormResize(); };
}

void TSuppressDialog::FormResize() {
  auto& ok = Get<TButton>("OKButton");
  auto& suppress = Get<TButton>("SuppressButton");
  int half = Width() / 2;
  ok.SetLeft(half - 10 - ok.Width());
  suppress.SetLeft(half + 10);
}

void ShowSuppressibleWarning(const std::string& message, bool& suppressed) {
  if (suppressed) return;
  TSuppressDialog dialog;
  auto& label = dialog.Get<TLabel>("WarningLabel");
  label.SetCaption(message);
  dialog.SetClientSize(std::max(label.PreferredSize().X + 62, 210), dialog.PreferredSize().Y);
  dialog.FormResize();
  suppressed = dialog.ShowModal() == mrAbort;
}
