// Tapes not seen before: every shared sample tape written again in other
// units, digits and zeros, with and without the header's unit and zero
// statement and a format comment, imports through the started program with
// the answers the format dialog offers where the original reading put its
// holes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../workspace/workspace_test_support.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/tool_tables.h"
#include "platform/events.h"
#include "platform/headless/headless_events.h"
#include "tapein/drill_import.h"

namespace {

constexpr double Inch = 25400000.0;

struct THole {
  int32_t X = 0, Y = 0;
  int32_t Tool = 0;
  int32_t Diameter = 0;
};

// A way of writing the numbers of a tape.
struct TVariant {
  bool Metric = false;
  int32_t Integer = 2, Decimal = 4;
  char Zeros = 'L';  // 'L' leading zeros written, 'T' trailing zeros written, 'B' both
  bool Statement = true;  // METRIC/INCH with LZ/TZ in the header
  bool Comment = false;   // ;FILE_FORMAT=i:d
  std::string Name() const {
    std::ostringstream o;
    o << (Metric ? "metric " : "inch ") << Integer << '.' << Decimal << " zeros " << Zeros
      << (Statement ? " stated" : " unstated") << (Comment ? " +comment" : "");
    return o.str();
  }
};

// A position in steps of the variant's last digit.
int64_t Steps(int32_t position, const TVariant& v) {
  const double unit = v.Metric ? 1000000.0 : Inch;
  return std::llround(position / unit * std::pow(10.0, v.Decimal));
}

// One coordinate as the variant writes it; false when it has more digits
// than the format holds.
bool WriteNumber(int32_t position, const TVariant& v, std::string& out) {
  const int64_t steps = Steps(position, v);
  std::string digits = std::to_string(steps < 0 ? -steps : steps);
  const size_t total = size_t(v.Integer + v.Decimal);
  if (digits.size() > total) return false;
  if (v.Zeros != 'T') digits.insert(0, total - digits.size(), '0');
  if (v.Zeros == 'L') {
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  }
  out = (steps < 0 ? "-" : "") + digits;
  return true;
}

// Where the written number puts a hole, in database units.
double Written(int32_t position, const TVariant& v) {
  const double unit = v.Metric ? 1000000.0 : Inch;
  return double(Steps(position, v)) * unit / std::pow(10.0, v.Decimal);
}

// The holes written again as a tape of the variant, with the original's
// comments other than its format; empty when a hole does not fit the
// format.
std::string Rewrite(const std::vector<THole>& holes, const std::vector<std::string>& comments,
                    const TVariant& v) {
  const double unit = v.Metric ? 1000000.0 : Inch;
  std::ostringstream tape;
  tape << "M48\n";
  for (const std::string& c : comments) tape << c << "\n";
  if (v.Comment) tape << ";FILE_FORMAT=" << v.Integer << ':' << v.Decimal << "\n";
  if (v.Statement)
    tape << (v.Metric ? "METRIC," : "INCH,") << (v.Zeros == 'T' ? "TZ" : "LZ") << "\n";
  std::map<int32_t, int32_t> sizes;
  for (const THole& h : holes) sizes[h.Tool] = h.Diameter;
  for (const auto& [tool, diameter] : sizes) {
    if (diameter <= 0) continue;
    char size[32];
    std::snprintf(size, sizeof size, "%.5f", diameter / unit);
    tape << 'T' << tool << 'C' << size << "\n";
  }
  tape << "%\n";
  int32_t tool = -1;
  for (const THole& h : holes) {
    if (h.Tool != tool) tape << 'T' << (tool = h.Tool) << "\n";
    std::string x, y;
    if (!WriteNumber(h.X, v, x) || !WriteNumber(h.Y, v, y)) return {};
    tape << 'X' << x << 'Y' << y << "\n";
  }
  tape << "M30\n";
  return tape.str();
}

class DrillFormatVariants : public TWorkspaceTest {
 protected:
  void SetUp() override {
    // The started program works in its own folders; the other tests of
    // this program find theirs as they were.
    folder_ = std::filesystem::current_path();
    TWorkspaceTest::SetUp();
    ResetHeadlessDialogs();
    // The user presses OK in every question of the import.
    RegisterModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    RegisterModalScript("TDrillInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    RegisterModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
    HeadlessSetProcessMessagesHook([] {
      if (DrillTapeReader != nullptr && DrillTapeReader->Report &&
          DrillTapeReader->Report->OKVisible)
        DrillTapeReader->Report->OKButton.Click();
    });
  }
  void TearDown() override {
    HeadlessSetProcessMessagesHook(nullptr);
    ResetHeadlessDialogs();
    TWorkspaceTest::TearDown();
    std::filesystem::current_path(folder_);
  }
  // Drill Import of the file into a new job as the main part: its holes.
  std::vector<THole> Import(TWorkspace& form, const std::string& file) {
    if (DatabaseModified) ScriptMessageBoxAnswer(mrNo);  // the last import is not saved
    Run(form, emDrill, "New1");
    ScriptFileDialogAnswer(file);
    ScriptMessageBoxAnswer(mrYes);  // the main part
    Run(form, emDrill, "Import2");
    return Holes();
  }
  // The tape read into an empty job with the format dialog's answers.
  static std::vector<THole> Read(const std::string& file) {
    ClearJob();
    ImportDrillTape(file, 0);
    return Holes();
  }
  static std::vector<THole> Holes() {
    std::vector<THole> holes;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      TDrillEntity* e = DRDB->EntityAt(i);
      if (e == nullptr || e->GetType() != etDrillHole) continue;
      const int32_t tool = e->GetToolNumber();
      holes.push_back({e->X, e->Y, tool, ToolTable[tool].Diameter});
    }
    return holes;
  }
  std::string Input(const std::string& name, const std::string& text) {
    const std::string path = (TempDir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

 private:
  std::filesystem::path folder_;
};

// The shared tapes that drill holes.
const char* const Samples[] = {
    "drill0.exc",
    "drill1.exc",
    "drill20.exc",
    "drill30.exc",
    "test_syntax_error.exc",
    "altium-composite-drill__NC_Drill__LimeSDR-QPCIe_1v2-RoundHoles.TXT",
    "easyeda__Gerber_Drill_PTH.DRL",
    "allegro__ncdrill-1-4.drl",
    "diptrace__mainboard.drl",
    "eagle-newer__drills.xln",
    "hellboard.plated-drill.cnc",
    "kicad-older__chibi_2024.drl",
    "pcb-rnd__power-art.xln",
    "thruhole.tap",
};

std::vector<TVariant> Variants() {
  std::vector<TVariant> out;
  const std::pair<int32_t, int32_t> inch[] = {{2, 4}, {2, 5}, {3, 3}};
  const std::pair<int32_t, int32_t> metric[] = {{3, 3}, {4, 2}, {2, 4}};
  for (const bool isMetric : {false, true})
    for (const auto& [integer, decimal] : isMetric ? metric : inch)
      for (const char zeros : {'L', 'T', 'B'})
        for (const bool statement : {true, false})
          for (const bool comment : {false, true})
            out.push_back({isMetric, integer, decimal, zeros, statement, comment});
  return out;
}

// Every hole where the written numbers put it, in the tape's order.
bool SamePlaces(const std::vector<THole>& read, const std::vector<THole>& original,
                const TVariant& v) {
  if (read.size() != original.size()) return false;
  for (size_t i = 0; i < read.size(); ++i)
    if (std::fabs(read[i].X - Written(original[i].X, v)) > Inch * 1e-4 ||
        std::fabs(read[i].Y - Written(original[i].Y, v)) > Inch * 1e-4)
      return false;
  return true;
}

TEST_F(DrillFormatVariants, SharedTapesWrittenInOtherFormatsImportWhereTheirHolesAre) {
  const auto dir = SharedTestData() / "excellon";
  if (SharedTestData().empty() || !std::filesystem::exists(dir)) GTEST_SKIP() << "no sample tapes";
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  // Each tape is read as by a program just started: the answers given for
  // the one before are not carried over.
  const TDrillFormatRecord started = DrillInputFormat;
  int32_t right = 0, open = 0, unwritable = 0;
  for (const char* sample : Samples) {
    DrillInputFormat = started;
    const std::vector<THole> original = Import(form, (dir / sample).string());
    ASSERT_FALSE(original.empty()) << sample;
    bool sized = false;
    for (const THole& h : original) sized = sized || h.Diameter > 0;
    // The comments of the drill list go along; those stating the format
    // are the variant's to write.
    std::vector<std::string> comments;
    std::istringstream lines(ReadFileBytes(dir / sample));
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::string upper = line;
      for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
      if (!line.empty() && line[0] == ';' && upper.find("FORMAT") == std::string::npos)
        comments.push_back(line);
    }
    for (const TVariant& v : Variants()) {
      const std::string text = Rewrite(original, comments, v);
      if (text.empty()) {
        ++unwritable;  // the board does not fit the digits
        continue;
      }
      DrillInputFormat = started;
      const bool same = SamePlaces(Read(Input("variant.drl", text)), original, v);
      // A tape whose tools have no size words (its sizes are in its
      // comments, in mils) does not show the unit of its numbers: unless it
      // states it, or it is the program's own, an inch and a metric board
      // are both sensible readings.
      const bool unitShown = v.Statement || v.Metric == started.Metric;
      if (!sized && !unitShown) {
        ++open;
        continue;
      }
      if (same) ++right;
      else ADD_FAILURE() << sample << ": " << v.Name();
    }
  }
  // 14 tapes in 72 ways: 96 boards do not fit the digits (metric 2.4 holds
  // less than 100 mm); 18 ways are open.
  EXPECT_EQ(right + open + unwritable, 14 * 72);
  EXPECT_EQ(open, 18);
}

}  // namespace
