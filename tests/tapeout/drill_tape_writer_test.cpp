// The drill tape writer: tape lines in every dialect, tools and numbers that
// do not fit, the export filter, and tapes read back by the drill tape import
// to the same hits.
#include <gtest/gtest.h>

#include <tuple>

#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <tuple>

#include "import/esi_import.h"
#include "../tapein/drill_import_test_support.h"
#include "foundation/file_utils.h"
#include "foundation/nc_format.h"
#include "model/drill_tools.h"
#include "model/hit_patterns.h"
#include "tapein/filter_lists.h"
#include "tapeout/drill_tape_writer.h"
#include "tapeout/drill_gerber_writer.h"
#include "tapeout/esi_laser_writer.h"
#include "tapeout/make_drill_tape.h"
#include "tapeout/tooling_hit_marks.h"

namespace {

constexpr int32_t Inch = 25400000;
namespace fs = std::filesystem;

// A hit, slot end, circle or text of a tape as the import reads it back:
// tool, kind and positions in steps of the tape's last digit.
using THitKey = std::tuple<int32_t, int32_t, int64_t, int64_t, int64_t, int64_t, std::string>;

class TDrillTapeWriterTest : public TDrillImportCommandTest {
 protected:
  void SetUp() override {
    TDrillImportCommandTest::SetUp();
    ResetLayerMasks();
    DrillInputFormat.ShowMessages = false;
    Options = TMakeTapeDefaults{};
    Options.WriteToolTableFile = false;
    HeadlessSetProcessMessagesHook([] {
      if (DrillTapeReader != nullptr && DrillTapeReader->Report && DrillTapeReader->Report->OKVisible)
        DrillTapeReader->Report->OKButton.Click();
    });
  }
  void TearDown() override {
    for (auto& f : ExportFilters) f = {};
    SetDrillTapeLayerMask({});
    TDrillImportCommandTest::TearDown();
  }

  std::string Path(const std::string& name) const { return (TempDir / name).string(); }

  // Imports a tape with the format and makes its entities live on D0.
  bool Import(const std::string& file, const TDrillFormatRecord& format) {
    DrillInputFormat = format;
    DrillInputFormat.ShowMessages = false;
    DrillInputFormat.ResolveG93 = false;
    QueueModalScript("TDrillInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    const int32_t first = DrillEntityCount + 1;
    if (!ImportDrillTape(file, 0)) return false;
    for (int32_t i = first; i <= DrillEntityCount; ++i) DRDB->Undelete(i);
    return true;
  }

  // Every hit of DRDB with its step copies, positions in steps of the
  // format's last digit, rounded as the writer rounds them.
  static std::multiset<THitKey> Hits(const TDrillFormatRecord& f) {
    std::multiset<THitKey> out;
    const double units = UnitsFactorOf(f.Metric);
    const double scale = PowersOfTen[f.Metric ? f.MetricDecimalDigits : f.DecimalDigits];
    auto q = [=](int32_t v) { return static_cast<int64_t>(std::nearbyint(v / units * scale)); };
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      TDrillEntity* e = DRDB->EntityAt(i);
      if (e == nullptr || SlotDeleted(DRDB->WordAt(i))) continue;
      std::vector<TIntPoint> points{{e->X, e->Y}};
      std::string text;
      int64_t extra = 0;
      if (e->GetType() == etDrillSlot) {
        TIntPoint p;
        e->GetSecondPoint(p);
        points.push_back(p);
      } else if (e->GetType() == etDrillCircle) {
        extra = q(e->GetRadius());
      } else if (e->GetType() == etDrillText) {
        e->GetString(text);
        text += e->GetVertical() ? "|V" : "|H";
      }
      auto add = [&](const std::vector<TIntPoint>& p) {
        const TIntPoint b = p.size() > 1 ? p[1] : TIntPoint{0, 0};
        out.insert(THitKey{e->GetToolNumber(), e->GetType(), q(p[0].X), q(p[0].Y), q(b.X) + extra,
                           q(b.Y), text});
      };
      add(points);
      if (TStepObject* s = e->GetStepObj()) {
        std::vector<TIntPoint> copy;
        bool mirrored = false;
        s->BeginCopies(&points);
        while (s->NextCopy(copy, mirrored)) add(copy);
        s->BeginCopies(nullptr);
      }
    }
    return out;
  }

  bool Write(const std::string& file, const TDrillFormatRecord& format, int optimizer,
             uint8_t filter = 0) {
    TDrillTapeProgram program = CollectDrillTape(Options, DrillTapeLayerMask(), format);
    TOptimizerOptions order;
    order.Method = optimizer;
    order.BudgetMilliseconds = 20;
    OrderDrillTape(program, order);
    return WriteDrillTape(program, format, Options, filter, file);
  }

  std::vector<std::string> Lines(const TDrillTapeProgram& program, const TDrillFormatRecord& format,
                                 std::vector<std::string>* errors = nullptr) {
    std::vector<std::string> lines, faults;
    const bool ok = BuildDrillTapeLines(program, format, Options, false, false, lines, faults);
    if (errors != nullptr) *errors = faults;
    else EXPECT_TRUE(ok) << (faults.empty() ? "" : faults.front());
    return lines;
  }

  static TStepObject* Steps(TStepCommandList commands) {
    auto* step = new TStepObject(std::move(commands));
    return step;
  }

  TMakeTapeDefaults Options;
};

TDrillFormatRecord Format(bool metric, uint8_t zeros, bool absolute, uint8_t version) {
  TDrillFormatRecord f = DefaultDrillFormat(true);
  f.Metric = metric;
  f.UnitsFactor = UnitsFactorOf(metric);
  f.ZerosUsed = zeros;
  f.Absolute = absolute;
  f.Version = version;
  return f;
}

// ---- Tape lines ----------------------------------------------------------------------------

TEST_F(TDrillTapeWriterTest, EveryKindOfWorkIsWrittenWithItsCode) {
  TDrillTapeProgram program;
  TDrillTapeTool t1{1, Inch / 40, {}, {}};
  t1.Items.push_back({TDrillTapeItemKind::Hits, {{Inch, Inch}}, 0, "", false});
  t1.Items.push_back({TDrillTapeItemKind::Slot, {{Inch, 2 * Inch}, {2 * Inch, 2 * Inch}}, 0, "", false});
  t1.Items.push_back({TDrillTapeItemKind::Circle, {{3 * Inch, Inch}}, Inch / 2, "", false});
  t1.Items.push_back({TDrillTapeItemKind::Text, {{Inch / 2, Inch / 4}}, 0, "AB1", true});
  TDrillTapeTool t2{12, Inch / 8, {}, {}};
  t2.Patterns.push_back({{{1, 1, 0, 0, 0}, {0, 1, Inch, 0, 0}, {0, 3, 0, Inch / 2, 3}},
                         {{TDrillTapeItemKind::Hits, {{0, 0}, {Inch / 10, 0}}, 0, "", false}}});
  program.Tools = {t1, t2};
  EXPECT_EQ(Lines(program, DefaultDrillFormat(true)),
            (std::vector<std::string>{"M48", "INCH,LZ", "; FILE_FORMAT=2:4", "T01C0.025", "T12C0.125", "%", "G90", "T01",
                                      "X01Y01", "X01Y02G85X02Y02", "X03Y01G84X005", "M98,AB1",
                                      "X005Y0025", "T12", "M25", "X0Y0", "X001Y0", "M01",
                                      "M02X01Y0", "M02X0Y005M70M80R2", "M08", "M30"}));

  // Trailing zeros, incremental, metric, and no header: the size goes with
  // the tool change; the G93 origin comes first and moves no point.
  Options.OutputM48Header = false;
  program.G93Origin = {Inch, 0};
  TDrillFormatRecord f = Format(true, 1, false, 1);
  const auto lines = Lines(program, f);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
            (std::vector<std::string>{"G91", "G93X25400Y0", "T01C0.635", "X25400Y25400",
                                      "X0Y25400G85X25400Y0"}));
  // Axis version 2 exchanges X and Y; explicit decimal point.
  const auto swapped = Lines(program, Format(false, 3, true, 2));
  EXPECT_EQ(swapped[1], "G93X0.0Y1.0");
  EXPECT_EQ(swapped[3], "X1.0Y1.0");
}

TEST_F(TDrillTapeWriterTest, AToolsHitLimitGoesWithItsDefinitionAndReadsBack) {
  ToolTable[3].Diameter = Inch / 40;
  ToolTable[3].MaxHits = 500;
  ToolTable[4].Diameter = Inch / 20;
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 3, true);
  DRDB->AddHoleOnLayer(2 * Inch, Inch, 30, 4, true);
  const TDrillFormatRecord f = DefaultDrillFormat(true);
  TDrillTapeProgram program = CollectDrillTape(Options, DrillTapeLayerMask(), f);
  const auto lines = Lines(program, f);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[3], "T03C0.025H500");
  EXPECT_EQ(lines[4], "T04C0.05");  // no limit, no H
  // Without a header the definition goes with the tool change.
  Options.OutputM48Header = false;
  const auto body = Lines(program, f);
  EXPECT_NE(std::find(body.begin(), body.end(), "T03C0.025H500"), body.end());

  // Read back, the tool table has the limit again.
  Options.OutputM48Header = true;
  const std::string file = Path("limit.drl");
  ASSERT_TRUE(Write(file, f, 0));
  ToolTable.Fill(TToolRecord{});
  delete DRDB;
  DRDB = new TDrillDatabase();
  ASSERT_TRUE(Import(file, f));
  EXPECT_EQ(ToolTable[3].MaxHits, 500);
  EXPECT_EQ(ToolTable[4].MaxHits, 0);
}

TEST_F(TDrillTapeWriterTest, ToolsAndNumbersThatDoNotFitAreReportedAndNothingIsWritten) {
  const std::string file = Path("old.drl");
  WriteFileBytes(file, "OLD TAPE\n");
  const TDrillFormatRecord metric = Format(true, 0, true, 1);  // 3.3 mm
  ToolTable[1].Diameter = Inch / 40;
  ToolTable[100].Diameter = Inch / 40;  // the tape reads T100 as tool 1, offset 00
  ToolTable[7].Diameter = 1000000000;  // 1000 mm: four integer digits
  ToolTable[8].Diameter = 400;         // 0.0004 mm: below the last digit
  ToolTable[9].Diameter = 0;           // no size at all
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, true);
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 9, true);
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 100, true);
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 7, true);
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 8, true);
  EXPECT_FALSE(Write(file, metric, 1));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The drill tape was not written:\r\n"
            "Tool T7 size 1000.0 does not fit the drill output format metric 3.3.\r\n"
            "Tool T8 size 0.0 does not fit the drill output format metric 3.3.\r\n"
            "Tool T9 has no size: give it one in the tool table before writing the tape.\r\n"
            "Tool T100 cannot be written: tape tool numbers run from 1 to 99.");
  EXPECT_EQ(ReadFileBytes(file), "OLD TAPE\n");

  // A hit beyond the format's integer digits.
  DRDB->Clear();
  ToolTable[1].Diameter = Inch / 40;
  DRDB->AddHoleOnLayer(1000000000, Inch, 30, 1, true);
  ResetHeadlessDialogs();
  EXPECT_FALSE(Write(file, metric, 0));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The drill tape was not written:\r\n"
            "The point 1000000000,25400000 does not fit the drill output format metric 3.3.");
  EXPECT_EQ(ReadFileBytes(file), "OLD TAPE\n");

  // A drilled text holding a control character.
  DRDB->Clear();
  ToolTable[1].Diameter = Inch / 40;
  DRDB->AddTextOnLayer(Inch, Inch, "LOT\x1a" "7", false, 30, 1, true);
  ResetHeadlessDialogs();
  EXPECT_FALSE(Write(file, metric, 0));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("\"LOT<SUB>7\" of tool T1 holds characters no tape may carry"),
            std::string::npos)
      << ShownMessageBoxes()[0].Text;
  EXPECT_EQ(ReadFileBytes(file), "OLD TAPE\n");

  // A panel whose step is wider than the format's digits, its copies
  // within them: the step is named in the tape's unit, and the tape is
  // written expanded.
  DRDB->Clear();
  ToolTable[1].Diameter = Inch / 40;
  const int32_t hole = DRDB->AddHoleOnLayer(-600000000, Inch, 30, 1, true);
  DRDB->EntityAt(hole)->SetStepObj(Steps({{1, 1, 0, 0, 0}, {0, 1, 1155700000, Inch, 0}, {0, 1, 0, 0, 0}}));
  ResetHeadlessDialogs();
  EXPECT_FALSE(Write(file, metric, 0));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "The drill tape was not written:\r\n"
            "The step offset X 1155.700 mm, Y 25.400 mm does not fit the drill output format metric 3.3. Make "
            "Drill Tape with Expand Steps ticked writes such a panel, each copy with its own coordinates.");
  EXPECT_EQ(ReadFileBytes(file), "OLD TAPE\n");
  Options.ExpandSteps = true;
  EXPECT_TRUE(Write(file, metric, 0)) << ShownMessageBoxes().back().Text;
}

// A drilled text goes onto the tape as it stands: DEL and bytes from 0x80
// on refuse the tape as control characters do, every such text is counted
// and the first three named with their tools, and the old tape stays.
TEST_F(TDrillTapeWriterTest, EveryDrilledTextATapeCannotCarryIsCountedAndTheFirstNamed) {
  const std::string file = Path("text.drl");
  const TDrillFormatRecord inch = Format(false, 0, true, 1);
  const struct {
    std::vector<std::pair<int32_t, std::string>> Texts;  // tool, text
    std::string Box;
  } cases[] = {
      {{{1, "LOT\x7f" "7"}},
       "The drill tape was not written:\r\nThe drilled text \"LOT<DEL>7\" of tool T1 holds characters no tape may "
       "carry (shown in angle brackets)."},
      {{{1, "OK"}, {2, "\xe9T\xff"}}, "The drilled text \"<xE9>T<xFF>\" of tool T2 holds"},
      {{{1, "A\x80"}, {1, "B"}, {2, "C\x7f"}},
       "2 drilled texts hold characters no tape may carry (shown in angle brackets): \"A<x80>\" of tool T1 and "
       "\"C<DEL>\" of tool T2."},
      {{{1, "A\x80"}, {1, "D\x01"}, {2, "C\x7f"}, {2, "E\xc3\xa9"}, {2, "F"}},
       "4 drilled texts hold characters no tape may carry (shown in angle brackets): \"A<x80>\" of tool T1, "
       "\"D<SOH>\" of tool T1, \"C<DEL>\" of tool T2 and 1 more."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Box);
    DRDB->Clear();
    ToolTable[1].Diameter = ToolTable[2].Diameter = Inch / 40;
    int32_t x = Inch;
    for (const auto& [tool, text] : c.Texts) DRDB->AddTextOnLayer(x += Inch, Inch, text, false, 30, tool, true);
    WriteFileBytes(file, "OLD TAPE\n\x7f");
    ResetHeadlessDialogs();
    EXPECT_FALSE(Write(file, inch, 0));
    ASSERT_EQ(ShownMessageBoxes().size(), 1u);
    EXPECT_NE(ShownMessageBoxes()[0].Text.find(c.Box), std::string::npos) << ShownMessageBoxes()[0].Text;
    const std::string& box = ShownMessageBoxes()[0].Text;
    EXPECT_EQ(box.find("no tape may carry"), box.rfind("no tape may carry"));  // one sentence for them all
    EXPECT_EQ(ReadFileBytes(file), "OLD TAPE\n\x7f");
  }
}

TEST_F(TDrillTapeWriterTest, TheExportFilterFramesTheTapeAndAMissingSwapFileStopsFirst) {
  ToolTable[1].Diameter = Inch / 40;
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, true);
  const std::string file = Path("t.drl");
  ExportFilters[1].Name = "Machine";
  ExportFilters[1].SwapFile = Path("missing.swp");
  EXPECT_FALSE(Write(file, DefaultDrillFormat(true), 1, 1));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, " Cannot find specified swap file " + Path("missing.swp") + "!");
  EXPECT_FALSE(fs::exists(file));

  // The swap file's header holds M48 and its trailer M30: the writer leaves
  // out its own, and the digits and the tools follow the swap file's lines
  // inside the block the writer closes; its units line states the zeros the
  // tape keeps.
  WriteFileBytes(Path("m.swp"), "HEADER = M48\nHEADER=INCH,TZ\nTRAILER=M30\n");
  ExportFilters[1].SwapFile = Path("m.swp");
  EXPECT_TRUE(Write(file, DefaultDrillFormat(true), 1, 1));
  EXPECT_EQ(ReadFileBytes(file),
            "M48\r\nINCH,LZ\r\n; FILE_FORMAT=2:4\r\nT01C0.025\r\n%\r\nG90\r\nT01\r\nX01Y01\r\nM30\r\n");
}

// ---- Round trips -------------------------------------------------------------------------

TEST_F(TDrillTapeWriterTest, SampleTapesComeBackWithTheSameHitsInEveryDialectAndOrder) {
  const fs::path dir = SharedTestData() / "excellon";
  if (SharedTestData().empty() || !fs::exists(dir)) GTEST_SKIP() << "no sample tapes";
  // Some samples read with the default format reach beyond a metre; four
  // integer digits in millimetres hold them.
  auto mm = [](uint8_t zeros, bool absolute, uint8_t version) {
    TDrillFormatRecord f = Format(true, zeros, absolute, version);
    f.MetricIntegerDigits = 4;
    return f;
  };
  const std::vector<TDrillFormatRecord> dialects = {
      Format(false, 0, true, 1), Format(false, 1, false, 1), Format(false, 2, true, 3),
      mm(0, true, 2),            mm(1, true, 5),             mm(3, false, 8),
      Format(false, 3, true, 4), mm(2, false, 6),            Format(false, 0, false, 7)};
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name == "README.md" || name.find("LICENSE") != std::string::npos ||
        name.find("nc_param") != std::string::npos)
      continue;
    SCOPED_TRACE(name);
    // The sample as the import reads it; sizes the tape gave none of get
    // one, so that every tool can be written.
    auto load = [&]() {
      DRDB->Clear();
      ToolTable.Fill(TToolRecord{});
      if (!Import(entry.path().string(), DefaultDrillFormat(false))) return false;
      for (int32_t t = 1; t <= kToolCount; ++t)
        if (ToolTable[t].Diameter == 0) ToolTable[t].Diameter = Inch / 50;
      return DrillEntityCount > 0;
    };
    if (!load()) continue;
    ++files;
    for (std::size_t d = 0; d < dialects.size(); ++d) {
      const TDrillFormatRecord& f = dialects[d];
      const double step = UnitsFactorOf(f.Metric) / PowersOfTen[f.Metric ? f.MetricDecimalDigits : f.DecimalDigits];
      // Every optimiser with the first dialect, then one each.
      const std::vector<int> optimizers = d == 0 ? std::vector<int>{0, 1, 2, 3, 4, 5}
                                                 : std::vector<int>{static_cast<int>(d % 6)};
      for (int optimizer : optimizers) {
        SCOPED_TRACE(testing::Message() << "dialect " << d << " optimizer " << optimizer);
        ASSERT_TRUE(load());
        const auto before = Hits(f);
        const auto tools = ToolTable;
        const std::string tape = Path("round.drl");
        ASSERT_TRUE(Write(tape, f, optimizer)) << ShownMessageBoxes().back().Text;
        DRDB->Clear();
        ASSERT_TRUE(Import(tape, f));
        EXPECT_EQ(Hits(f), before);
        for (const THitKey& k : before) {
          const int32_t t = std::get<0>(k);
          EXPECT_NEAR(ToolTable[t].Diameter, tools[t].Diameter, step / 2) << "T" << t;
        }
      }
    }
  }
  EXPECT_GE(files, 10);
}

// A blank in a drilled text is a character of it: the text reads back
// with its blanks where they stood, horizontal or vertical, in either
// coordinate mode; blanks after the last character drill nothing.
TEST_F(TDrillTapeWriterTest, ADrilledTextReadsBackWithItsBlanks) {
  const struct {
    const char* Text;
    const char* Read;
    bool Vertical, Absolute;
  } cases[] = {
      {"LOT 7", "LOT 7", false, true}, {" A", " A", true, true},     {"A  B", "A  B", false, false},
      {"a b;c", "a b;c", true, false}, {"AB  ", "AB", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    DRDB->Clear();
    ToolTable[1].Diameter = Inch / 40;
    DRDB->AddTextOnLayer(Inch, Inch, c.Text, c.Vertical, 30, 1, true);
    const TDrillFormatRecord f = Format(false, 0, c.Absolute, 1);
    const std::string tape = Path("text.drl");
    ASSERT_TRUE(Write(tape, f, 1)) << (ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text);
    EXPECT_NE(ReadFileBytes(tape).find(std::string(c.Vertical ? "M98," : "M97,") + c.Text + "\r\n"),
              std::string::npos);
    DRDB->Clear();
    ASSERT_TRUE(Import(tape, f));
    std::vector<std::string> texts;
    for (int32_t i = 1; i <= DrillEntityCount; ++i)
      if (TDrillEntity* e = DRDB->EntityAt(i); e != nullptr && e->GetType() == etDrillText) {
        std::string text;
        e->GetString(text);
        texts.push_back(text + (e->GetVertical() ? "|V" : "|H"));
      }
    EXPECT_EQ(texts, std::vector<std::string>{std::string(c.Read) + (c.Vertical ? "|V" : "|H")});
  }
}

// Random drill layers (holes, slots, circles, drilled texts of any
// characters a tape carries, steps) written in random output formats, with
// the work unexpanded or expanded, read back to the same hits and sizes.
TEST_F(TDrillTapeWriterTest, RandomDrillLayersReadBackInEveryOutputFormat) {
  constexpr int32_t Grid = Inch / 100;
  std::mt19937 random(7243);
  const auto pick = [&random](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(random); };
  const std::string printable = "ABCXYZ0123456789 ,.;:()/-+=*#%_abcxyz";
  int tapes = 0;
  for (int round = 0; round < 150; ++round) {
    DRDB->Clear();
    ToolTable.Fill(TToolRecord{});
    TDrillFormatRecord f = Format(pick(0, 1) == 1, static_cast<uint8_t>(pick(0, 3)), pick(0, 1) == 1,
                                  static_cast<uint8_t>(pick(1, 8)));
    f.IntegerDigits = static_cast<uint8_t>(pick(2, 3));
    f.DecimalDigits = static_cast<uint8_t>(pick(2, 5));
    f.MetricIntegerDigits = static_cast<uint8_t>(pick(3, 4));
    f.MetricDecimalDigits = static_cast<uint8_t>(pick(3, 4));
    Options = TMakeTapeDefaults{};
    Options.WriteToolTableFile = false;
    Options.OutputM48Header = pick(0, 3) > 0;
    Options.ExpandSlots = pick(0, 3) == 0;
    Options.ExpandCircles = pick(0, 3) == 0;
    Options.ExpandDrilledText = pick(0, 3) == 0;
    Options.ExpandSteps = pick(0, 3) == 0;
    for (int32_t t = 1; t <= 5; ++t) ToolTable[t].Diameter = pick(1, 25) * Grid;
    const auto point = [&] { return TIntPoint{pick(100, 800) * Grid, pick(100, 800) * Grid}; };
    std::vector<int32_t> stepped;
    for (int n = pick(1, 8); n > 0; --n) {
      const TIntPoint p = point();
      const int32_t tool = pick(1, 5);
      int32_t e = 0;
      switch (pick(0, 3)) {
        case 0:
          e = DRDB->AddHoleOnLayer(p.X, p.Y, 30, tool, true);
          break;
        case 1:
          e = DRDB->AddSlotOnLayer(p.X, p.Y, p.X + pick(1, 50) * Grid, p.Y + pick(-50, 50) * Grid, 30, tool, true);
          break;
        case 2:
          e = DRDB->AddCircleOnLayer(p.X, p.Y, pick(5, 50) * Grid, 30, tool, true);
          break;
        default: {
          std::string text;
          for (int c = pick(1, 8); c > 0; --c) text += printable[pick(0, int(printable.size()) - 1)];
          // A blank after the last character drills nothing.
          if (text.back() == ' ') text.back() = 'K';
          e = DRDB->AddTextOnLayer(p.X, p.Y, text, pick(0, 1) == 1, 30, tool, true);
        }
      }
      if (pick(0, 4) == 0) stepped.push_back(e);
    }
    if (!stepped.empty()) {
      TStepObject* step = Steps({{1, 1, 0, 0, 0}, {0, static_cast<int32_t>(pick(1, 3)), pick(1, 9) * 10 * Grid, 0, 0},
                                 {0, 1, 0, pick(1, 9) * 10 * Grid, 0}, {0, 1, 0, 0, 0}});
      for (int32_t e : stepped) DRDB->EntityAt(e)->SetStepObj(step);
    }
    SCOPED_TRACE(testing::Message() << "round " << round);
    const auto before = Hits(f);
    const auto tools = ToolTable;
    const int32_t count = DrillEntityCount;
    const std::string tape = Path("random.drl");
    if (!Write(tape, f, pick(0, 5))) {
      ADD_FAILURE() << (ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text);
      break;
    }
    ++tapes;
    for (int32_t i = 1; i <= count; ++i) DRDB->MarkDeleted(i);
    ASSERT_TRUE(Import(tape, f)) << ReadFileBytes(tape);
    // Steps written out copy by copy read back as the same hits; slots,
    // circles and texts drilled as hits read back as holes.
    if (!Options.ExpandSlots && !Options.ExpandCircles && !Options.ExpandDrilledText) {
      EXPECT_EQ(Hits(f), before) << ReadFileBytes(tape);
    }
    for (int32_t t = 1; t <= 5; ++t) {
      if (Options.OutputM48Header && ToolTable[t].Diameter != 0) {
        EXPECT_EQ(ToolTable[t].Diameter, tools[t].Diameter) << "T" << t;
      }
    }
    if (HasFailure()) break;
  }
  EXPECT_EQ(tapes, 150);
}

// A shop reads its own tapes back with Drill Import's pre-filled answers, not
// with the format they were written in. The digits are stated in the
// header (a units line says none), so the holes come back where they were
// instead of ten times off; numbers with their point need no statement.
TEST_F(TDrillTapeWriterTest, TapesStateTheirDigitsAndReadBackWithThePrefilledAnswers) {
  const fs::path dir = SharedTestData() / "excellon";
  if (SharedTestData().empty() || !fs::exists(dir)) GTEST_SKIP() << "no sample tapes";
  const TDrillFormatRecord stored = DefaultDrillFormat(false);
  auto wide = [](bool metric, uint8_t zeros) {
    TDrillFormatRecord f = Format(metric, zeros, true, 1);
    f.IntegerDigits = 3;
    f.MetricIntegerDigits = 4;
    f.MetricDecimalDigits = 4;
    return f;
  };
  struct TCase {
    TDrillFormatRecord Format;
    const char* Comment;  // "" where the numbers carry their point
  };
  const TCase cases[] = {{wide(false, 0), ";FILE_FORMAT=3:4"},
                         {wide(true, 0), ";FILE_FORMAT=4:4"},
                         {wide(true, 1), ";FILE_FORMAT=4:4"},
                         {Format(true, 0, true, 1), "; FILE_FORMAT=3:3"},
                         {Format(false, 2, true, 1), "; FILE_FORMAT=2:4"},
                         {Format(false, 3, true, 1), ""}};
  for (const char* name : {"drill0.exc", "kicad-older__chibi_2024.drl", "easyeda__Gerber_Drill_PTH.DRL"}) {
    for (const TCase& c : cases) {
      const TDrillFormatRecord& f = c.Format;
      SCOPED_TRACE(testing::Message() << name << (f.Metric ? " metric" : " inch") << " zeros "
                                      << int(f.ZerosUsed));
      DRDB->Clear();
      ToolTable.Fill(TToolRecord{});
      ASSERT_TRUE(Import((dir / name).string(), stored));
      const auto before = Hits(f);
      const std::string tape = Path("wide.drl");
      ASSERT_TRUE(Write(tape, f, 1));
      const std::string text = ReadFileBytes(tape);
      if (*c.Comment != '\0') {
        EXPECT_NE(text.find(std::string(f.Metric ? "METRIC" : "INCH") + (f.ZerosUsed % 2 == 1 ? ",TZ\r\n" : ",LZ\r\n") +
                            c.Comment + "\r\n"),
                  std::string::npos)
            << text.substr(0, 80);
      } else {
        EXPECT_EQ(text.find("FILE_FORMAT"), std::string::npos);
      }
      DRDB->Clear();
      ASSERT_TRUE(Import(tape, stored));
      EXPECT_EQ(Hits(f), before);
    }
  }
}

TEST_F(TDrillTapeWriterTest, UnexpandedWorkAndStepsReadBackAsTheSameExpandedHits) {
  ToolTable[1].Diameter = Inch / 40;
  ToolTable[2].Diameter = Inch / 20;
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, true);
  DRDB->AddSlotOnLayer(2 * Inch, Inch, 3 * Inch, Inch, 30, 2, true);
  DRDB->AddCircleOnLayer(5 * Inch, 5 * Inch, Inch / 2, 30, 2, true);
  DRDB->AddTextOnLayer(Inch / 2, 6 * Inch, "K6", false, 30, 1, true);
  // Two holes sharing a step list of two levels of offsets, one oriented.
  const int32_t a = DRDB->AddHoleOnLayer(Inch / 4, Inch / 4, 30, 1, true);
  const int32_t b = DRDB->AddHoleOnLayer(Inch / 2, Inch / 4, 30, 1, true);
  TStepObject* step =
      Steps({{1, 1, 0, 0, 0}, {0, 2, 4 * Inch, 0, 0}, {0, 1, 0, 3 * Inch, 2}, {0, 1, 0, 0, 0}});
  ASSERT_EQ(step->CopyCount(), 3);
  DRDB->EntityAt(a)->SetStepObj(step);
  DRDB->EntityAt(b)->SetStepObj(step);
  const TDrillFormatRecord f = DefaultDrillFormat(true);
  const auto before = Hits(f);
  const int32_t count = DrillEntityCount;

  const std::string tape = Path("steps.drl");
  ASSERT_TRUE(Write(tape, f, 1));
  const std::string text = ReadFileBytes(tape);
  EXPECT_NE(text.find("M25\r\n"), std::string::npos);
  EXPECT_NE(text.find("M02X04Y0R2\r\nM02X0Y03M80\r\nM08"), std::string::npos);
  EXPECT_NE(text.find("G85"), std::string::npos);
  EXPECT_NE(text.find("G84"), std::string::npos);
  EXPECT_NE(text.find("M97,K6"), std::string::npos);
  for (int32_t i = 1; i <= count; ++i) DRDB->MarkDeleted(i);
  ASSERT_TRUE(Import(tape, f));
  EXPECT_EQ(Hits(f), before);

  // On an incremental tape the copies go out one by one.
  TDrillFormatRecord incremental = f;
  incremental.Absolute = false;
  for (int32_t i = count + 1; i <= DrillEntityCount; ++i) DRDB->MarkDeleted(i);
  for (int32_t i = 1; i <= count; ++i) DRDB->Undelete(i);
  ASSERT_TRUE(Write(tape, incremental, 1));
  EXPECT_EQ(ReadFileBytes(tape).find("M25"), std::string::npos);
  const int32_t written = DrillEntityCount;
  for (int32_t i = 1; i <= written; ++i) DRDB->MarkDeleted(i);
  ASSERT_TRUE(Import(tape, incremental));
  EXPECT_EQ(Hits(incremental), before);

  // Expanded: every copy and every pattern hit drilled one by one.
  Options.ExpandSteps = Options.ExpandSlots = Options.ExpandCircles = Options.ExpandDrilledText = true;
  for (int32_t i = count + 1; i <= DrillEntityCount; ++i) DRDB->MarkDeleted(i);
  for (int32_t i = 1; i <= count; ++i) DRDB->Undelete(i);
  int64_t expected = 0;
  for (int32_t i = 1; i <= count; ++i) expected += DRDB->EntityAt(i)->HitCount();
  ASSERT_TRUE(Write(tape, f, 5));
  const std::string expanded = ReadFileBytes(tape);
  EXPECT_EQ(expanded.find("M25"), std::string::npos);
  EXPECT_EQ(expanded.find("G85"), std::string::npos);
  for (int32_t i = 1; i <= count; ++i) DRDB->MarkDeleted(i);
  ASSERT_TRUE(Import(tape, f));
  int64_t hits = 0;
  for (const THitKey& k : Hits(f)) hits += std::get<1>(k) == etDrillHole;
  EXPECT_EQ(hits, expected);
}

// ---- The command ---------------------------------------------------------------------------

// The thickness takes up to ten inches in either unit, as typed and as the
// unit switch shows a thickness already taken; a hair more is refused with
// the range, the dialog left open.
TEST_F(TDrillTapeWriterTest, TheThicknessTakesTenInchesInEitherUnit) {
  struct TCase {
    bool Metric;
    const char* Typed;   // null: the thickness of 0.5" as the unit switch shows it
    int32_t Thickness;   // 0: refused
  };
  const TCase cases[] = {
      {false, "10", 254000000}, {false, "10.00001", 0}, {true, "254", 254000000},
      {true, "254.0005", 0},    {true, "12.7", 12700000}, {true, nullptr, 12700000},
  };
  const TDrillFormatRecord format = DrillOutputFormat;
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Metric ? "mm " : "in ") + (c.Typed ? c.Typed : "switched"));
    ResetHeadlessDialogs();
    DRDB->MakeTapeDefaults.Thickness = Inch / 2;
    DrillOutputFormat = format;
    DrillOutputFormat.Metric = false;
    QueueModalScript("TMakeDrillTapeDialog", [&c](TForm& f) {
      auto& d = static_cast<TMakeDrillTapeDialog&>(f);
      if (c.Metric) d.UnitGroup.ClickItem(1);
      if (c.Typed != nullptr) d.ThicknessEdit.SetText(c.Typed);
      d.OKButton.Click();
      if (f.ModalEnded()) return;
      EXPECT_EQ(c.Thickness, 0);
      EXPECT_EQ(ShownMessageBoxes().back().Text,
                "The thickness \"" + std::string(c.Typed) + "\" is not a valid length: it must be between 0 and " +
                    (c.Metric ? "254.000 mm." : "10.0000 inches."));
      f.Click("CancelButton");
    });
    EXPECT_EQ(ExecuteMakeDrillTapeDialog(), c.Thickness != 0);
    EXPECT_EQ(DRDB->MakeTapeDefaults.Thickness, c.Thickness != 0 ? c.Thickness : Inch / 2);
  }
  DrillOutputFormat = format;
}

TEST_F(TDrillTapeWriterTest, MakeDrillTapeAsksOptionsAndFileAndWritesTheDisplayedLayers) {
  ToolTable[1].Diameter = Inch / 40;
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, true);
  DRDB->AddHoleOnLayer(2 * Inch, Inch, 31, 1, true);
  SetDrillTapeLayerMask([] { return NCLayerBit(30) | 0x80000000u; });
  const std::string file = Path("job.drl");

  // Cancel in the dialog: nothing asked, nothing written, options kept.
  const TMakeTapeDefaults before = DRDB->MakeTapeDefaults;
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    f.Get<TCheckBox>("M48CheckBox").Click();
    f.Click("CancelButton");
  });
  EXPECT_FALSE(MakeDrillTape());
  EXPECT_EQ(DRDB->MakeTapeDefaults, before);
  EXPECT_EQ(PendingCommonDialogAnswers(), 0u);

  // A thickness that is no length keeps the dialog open with a message.
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.ThicknessEdit.SetText("thick");
    d.OKButton.Click();
    EXPECT_EQ(ShownMessageBoxes().back().Text, "The thickness \"thick\" is not a valid length.");
    d.ThicknessEdit.SetText("0.093");
    d.M48CheckBox.Click();
    d.ToolTableCheckBox.SetChecked(false);
    d.OptimizerGroup.ClickItem(3);
    d.DecimalGroup.ClickItem(1);
    d.DefaultCheckBox.SetChecked(true);
    d.OKButton.Click();
  });
  ScriptFileDialogAnswer(file);
  EXPECT_TRUE(MakeDrillTape());
  EXPECT_EQ(DRDB->MakeTapeDefaults.Thickness, 2362200);
  EXPECT_EQ(DRDB->MakeTapeDefaults.Optimizer, 3);
  EXPECT_FALSE(DRDB->MakeTapeDefaults.OutputM48Header);
  EXPECT_EQ(DrillOutputFormat.ZerosUsed, 1);
  // "Save Defaults" stored both families.
  TMakeTapeDefaults stored;
  LoadMakeTapeDefaults(stored);
  EXPECT_EQ(stored.Optimizer, 3);
  EXPECT_EQ(stored.Thickness, 2362200);
  TDrillFormatRecord format = DefaultDrillFormat(true);
  LoadDrillFormatDefaults(format, true);
  EXPECT_EQ(format.ZerosUsed, 1);
  EXPECT_EQ(ReadFileBytes(file), "G90\r\nT01C0.025\r\nX10000Y10000\r\nM30\r\n");
  EXPECT_EQ(DrillTapeFileName, file);

  // Cancel in the status box while the hits are ordered: no tape at all, and
  // the old one stays.
  WriteFileBytes(file, "OLD\n");
  HeadlessViewServices().CancelPressed = true;
  EXPECT_FALSE(WriteDrillTapeFile(file, 0));
  HeadlessViewServices().CancelPressed = false;
  EXPECT_EQ(ReadFileBytes(file), "OLD\n");
  EXPECT_FALSE(HeadlessViewServices().StatusOpen);
}

TEST_F(TDrillTapeWriterTest, TheGerberFileOfTheDrillDataFlashesEveryHitWithItsToolsAperture) {
  ToolTable[1].Diameter = Inch / 40;
  ToolTable[4].Diameter = Inch / 10;
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 4, true);
  DRDB->AddSlotOnLayer(0, 0, Inch / 40, 0, 30, 1, true);
  DRDB->MakeTapeDefaults = Options;
  DRDB->MakeTapeDefaults.OutputGerberFile = true;
  DRDB->MakeTapeDefaults.GerberPath = TempDir.string();
  DRDB->MakeTapeDefaults.WriteToolTableFile = true;
  DrillOutputFormat = DefaultDrillFormat(true);
  ASSERT_TRUE(WriteDrillTapeFile(Path("board.drl"), 0));
  // The tool table goes to TOOLDATA under the tape's name.
  EXPECT_EQ(ReadFileBytes(NativePath(ExecutionPath() + "TOOLDATA\\board.drl")).size(), 21000u);
  // The slot goes as its pattern: both ends, then the hits between them
  // until the cusps are small enough.
  EXPECT_EQ(ReadFileBytes(Path("board.GBR")),
            "%FSLAX24Y24*%\r\n%MOIN*%\r\n%LPD*%\r\n%ADD10C,0.0250*%\r\n%ADD11C,0.1000*%\r\n"
            "D10*\r\nX0Y0D03*\r\nX250Y0D03*\r\nX125Y0D03*\r\nX62Y0D03*\r\nX188Y0D03*\r\nD11*\r\nX10000Y10000D03*\r\nM02*\r\n");
  EXPECT_EQ(DrillGerberFileName("", "C:\\TAPES\\A.DRL"), "C:\\TAPES\\A.GBR");
  EXPECT_EQ(DrillGerberFileName("/plots", "/tapes/a.drl"), "/plots\\a.GBR");
}

TEST_F(TDrillTapeWriterTest, MarkedToolingHitsAreDrilledFirstAndLastInTheirTool) {
  ToolTable[1].Diameter = Inch / 40;
  for (int i = 0; i < 4; ++i) DRDB->AddHoleOnLayer(i * Inch, 0, 30, 1, true);
  // A stepped hole does not count as a tooling hit, but is written.
  const int32_t stepped = DRDB->AddHoleOnLayer(0, 5 * Inch, 30, 1, true);
  DRDB->EntityAt(stepped)->SetStepObj(Steps({{1, 1, 0, 0, 0}, {0, 1, Inch, 0, 0}, {0, 1, 0, 0, 0}}));
  SetToolingMarkView(true);
  const std::string file = Path("marked.drl");
  // The user's mouse: a corner clicked near the hole at 2 in and taken back
  // with the right button; a window of two clicks round the hole at 3 in;
  // the right button; a window dragged round the hole at 0; the right
  // button.
  std::vector<TInputEvent> events;
  auto mouse = [&events](uint16_t kind, uint8_t buttons, int32_t x, int32_t y) {
    TInputEvent e;
    e.Kind = kind;
    e.Buttons = buttons;
    e.WorldX = x;
    e.WorldY = y;
    events.push_back(e);
  };
  mouse(ievMouseDown, mbtLeft, 2 * Inch - Inch / 2, -Inch / 2);
  mouse(ievMouseUp, 0, 2 * Inch - Inch / 2, -Inch / 2);
  mouse(ievMouseDown, mbtRight, 0, 0);
  mouse(ievMouseDown, mbtLeft, 3 * Inch - Inch / 2, -Inch / 2);
  mouse(ievMouseUp, 0, 3 * Inch - Inch / 2, -Inch / 2);
  mouse(ievMouseMove, 0, 3 * Inch + Inch / 2, Inch / 2);
  mouse(ievMouseDown, mbtLeft, 3 * Inch + Inch / 2, Inch / 2);
  mouse(ievMouseUp, 0, 3 * Inch + Inch / 2, Inch / 2);
  mouse(ievMouseDown, mbtRight, 0, 0);
  mouse(ievMouseDown, mbtLeft, -Inch / 2, -Inch / 2);
  mouse(ievMouseMove, 0, 0, 0);
  mouse(ievMouseUp, 0, Inch / 2, Inch / 2);
  mouse(ievMouseDown, mbtRight, 0, 0);
  std::size_t next = 0;
  uint8_t activity = 0, colours = 0;
  HeadlessSetProcessMessagesHook([&] {
    if (!ToolingMarks.Marking || next >= events.size()) return;
    activity = HeadlessViewServices().Activity();
    colours = ColorHolesBy;
    WindowMarkMouseHook(events[next++]);
  });
  auto options = [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.M48CheckBox.SetChecked(false);
    d.ToolDiametersCheckBox.SetChecked(false);
    d.ToolTableCheckBox.SetChecked(false);
    d.OptimizerGroup.ClickItem(1);
    d.OKButton.Click();
  };
  QueueModalScript("TMakeDrillTapeDialog", options);
  ScriptFileDialogAnswer(file);
  ColorHolesBy = 1;
  ASSERT_TRUE(MakeDrillTape());
  EXPECT_EQ(activity, 6);
  EXPECT_EQ(colours, 4);  // stepped holes hidden while marking
  EXPECT_EQ(ColorHolesBy, 1);
  EXPECT_EQ(HeadlessViewServices().Activity(), 0);
  EXPECT_EQ(ToolingMarks.First.size(), 1u);
  EXPECT_EQ(ToolingMarks.Last.size(), 1u);
  EXPECT_EQ(ReadFileBytes(file),
            "G90\r\nT01\r\nX03Y0\r\nX02Y0\r\nX01Y0\r\nX0Y0\r\nM25\r\nX0Y05\r\nM01\r\n"
            "M02X01Y0\r\nM08\r\nM30\r\n");

  // Escape gives up: no tape.
  events.clear();
  next = 0;
  TInputEvent escape;
  escape.Kind = ievKey;
  escape.Flags[0] = 27;
  events.push_back(escape);
  QueueModalScript("TMakeDrillTapeDialog", options);
  const std::size_t dialogs = ShownCommonDialogs().size();
  EXPECT_FALSE(MakeDrillTape());
  EXPECT_EQ(ShownCommonDialogs().size(), dialogs);  // no file asked for
  EXPECT_EQ(ColorHolesBy, 1);
  SetToolingMarkView(false);
}

// The dialog, with every option shown, fits on a 1024 x 768 screen with its
// title bar: OK and Cancel can be reached.
TEST_F(TDrillTapeWriterTest, TheMakeTapeDialogFitsOnASmallScreen) {
  TMakeDrillTapeDialog d;
  EXPECT_LE(d.Height(), 700);
  EXPECT_LE(d.Width(), 1000);
  const TRect panel = d.ButtonPanel.Bounds();
  EXPECT_LE(panel.Bottom, d.Height());
  EXPECT_LE(panel.Right, d.Width());
  const TRect options = d.OptionPanel.Bounds();
  EXPECT_LE(options.Bottom, d.Height());
  EXPECT_LE(options.Right, d.Width());
  // The two edits say what they hold, each just above it.
  const auto& path = d.Get<TLabel>("GerberPathLabel");
  const auto& thickness = d.Get<TLabel>("ThicknessLabel");
  EXPECT_EQ(path.Caption(), "Gerber Path");
  EXPECT_EQ(thickness.Caption(), "Thickness");
  EXPECT_LE(path.Bounds().Bottom, d.GerberPathEdit.Bounds().Top);
  EXPECT_LE(thickness.Bounds().Bottom, d.ThicknessEdit.Bounds().Top);
}

TEST_F(TDrillTapeWriterTest, FlaggedToolsDrillCouponHitsBeforeAndAfterTheirWork) {
  TDrillTapeProgram program;
  for (int32_t t : {1, 2, 3}) {
    program.Tools.push_back({t, Inch / 40, {}, {}});
    program.Tools.back().Items.push_back({TDrillTapeItemKind::Hits, {{t * Inch, t * Inch}}, 0, "", false});
  }
  ToolTable[1].FirstLastHit = 1;
  ToolTable[3].FirstLastHit = 1;
  auto points = [](const TDrillTapeTool& tool) {
    std::vector<TIntPoint> out;
    for (const TDrillTapeItem& item : tool.Items) out.push_back(item.Points.front());
    return out;
  };
  TFirstLastHitDefaults coupon;  // vertical rows 0.2 in apart, rows 0.5 in across
  coupon.FirstHit = coupon.LastHit = true;
  TDrillTapeProgram p = program;
  AddFirstLastHitCoupon(p, coupon, {0, 0});
  EXPECT_EQ(points(p.Tools[0]), (std::vector<TIntPoint>{{0, 0}, {Inch, Inch}, {Inch / 2, 0}}));
  EXPECT_EQ(points(p.Tools[1]), (std::vector<TIntPoint>{{2 * Inch, 2 * Inch}}));
  EXPECT_EQ(points(p.Tools[2]), (std::vector<TIntPoint>{{0, Inch / 5}, {3 * Inch, 3 * Inch}, {Inch / 2, Inch / 5}}));
  // One row across X: first and last hits side by side, half an inch apart.
  coupon.Vertical = false;
  coupon.OneRow = true;
  p = program;
  AddFirstLastHitCoupon(p, coupon, {Inch, 0});
  EXPECT_EQ(points(p.Tools[2]), (std::vector<TIntPoint>{{2 * Inch, 0}, {3 * Inch, 3 * Inch}, {5 * Inch / 2, 0}}));
  // Last hits only.
  coupon.FirstHit = false;
  p = program;
  AddFirstLastHitCoupon(p, coupon, {0, 0});
  EXPECT_EQ(points(p.Tools[2]), (std::vector<TIntPoint>{{3 * Inch, 3 * Inch}, {Inch / 2, 0}}));

  // Through the command: the corner is picked on the drawing.
  ToolTable[1].Diameter = Inch / 40;
  DRDB->AddHoleOnLayer(Inch, Inch, 30, 1, true);
  DRDB->FirstLastHitDefaults.FirstHit = true;
  SetToolingMarkView(true);
  HeadlessSetProcessMessagesHook([] {
    if (HeadlessViewServices().Activity() != 5) return;
    TInputEvent e;
    e.Kind = ievMouseDown;
    e.Buttons = mbtLeft;
    e.WorldX = 5 * Inch;
    e.WorldY = 0;
    MakeTapePickEvent(e);
  });
  QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
    auto& d = static_cast<TMakeDrillTapeDialog&>(f);
    d.M48CheckBox.SetChecked(false);
    d.ToolDiametersCheckBox.SetChecked(false);
    d.ToolTableCheckBox.SetChecked(false);
    d.MarkFirstCheckBox.SetChecked(false);
    d.MarkLastCheckBox.SetChecked(false);
    d.FirstLastCheckBox.SetChecked(true);
    d.OKButton.Click();
  });
  const std::string file = Path("coupon.drl");
  ScriptFileDialogAnswer(file);
  ASSERT_TRUE(MakeDrillTape());
  SetToolingMarkView(false);
  EXPECT_EQ(ReadFileBytes(file), "G90\r\nT01\r\nX05Y0\r\nX01Y01\r\nM30\r\n");
  EXPECT_EQ(HeadlessViewServices().Activity(), 0);
}

// ---- ESI laser file -------------------------------------------------------------------------

TEST_F(TDrillTapeWriterTest, TheEsiLaserFileHoldsEveryExpandedHitInMicrons) {
  // Checked by hand against the ESI reader's grammar: T0 names the tool, T2
  // gives its size and T1 1 starts holes; coordinates in thousandths of a
  // millimetre.
  ToolTable[3].Diameter = 254000;   // 0.254 mm
  ToolTable[9].Diameter = 100500;   // 0.1005 mm
  DRDB->AddHoleOnLayer(Inch, 2 * Inch, 30, 3, true);
  DRDB->AddHoleOnLayer(-1500, 7, 30, 9, true);
  const int32_t c = DRDB->AddHoleOnLayer(0, 0, 30, 3, true);
  DRDB->EntityAt(c)->SetStepObj(Steps({{1, 1, 0, 0, 0}, {0, 1, Inch, 0, 0}, {0, 1, 0, 0, 0}}));
  DRDB->AddTextOnLayer(0, 0, "  ", false, 30, 5, true);  // no hits at all
  const std::string file = Path("laser.esi");
  ASSERT_TRUE(WriteEsiLaserFile(file));
  EXPECT_EQ(ReadFileBytes(file),
            "%\r\n(ESI 5100)\r\nT0 3\r\nT2 254\r\nT1 1\r\nX0 Y0\r\nX25400 Y0\r\n"
            "X25400 Y50800\r\nT0 9\r\nT2 100.5\r\nT1 1\r\nX-1.5 Y0.007\r\nM02\r\n");
  // The laser import reads back the same hits and sizes.
  TEsiToDrillImporter reader(file);
  ASSERT_TRUE(reader.Read()) << reader.ErrorText;
  std::vector<std::tuple<int32_t, int32_t, int32_t>> holes;
  for (const auto& h : reader.Holes) holes.emplace_back(h.Tool, h.X, h.Y);
  EXPECT_EQ(holes, (std::vector<std::tuple<int32_t, int32_t, int32_t>>{
                       {3, 0, 0}, {3, Inch, 0}, {3, Inch, 2 * Inch}, {9, -1500, 7}}));
  EXPECT_EQ(EsiToDatabase(reader.Tools.at(3)), 254000);
  EXPECT_EQ(EsiToDatabase(reader.Tools.at(9)), 100500);
  // Nothing to drill: a message and no file.
  DRDB->Clear();
  EXPECT_FALSE(WriteEsiLaserFile(Path("none.esi")));
  EXPECT_FALSE(fs::exists(Path("none.esi")));
}

}  // namespace

namespace {

// A slot generator that keeps its hits and its pilot hits.
class TSlotHitsSeen : public TDrilledSlotPattern {
 public:
  using TDrilledSlotPattern::TDrilledSlotPattern;
  void EmitHit(int32_t x, int32_t y) override { Hits.push_back({x, y}); }
  void EmitPilotHit(int32_t x, int32_t y) override { Pilots.push_back({x, y}); }
  std::vector<TIntPoint> Hits, Pilots;
};

// The expanded hits of each tool of a collected tape.
std::map<int32_t, std::vector<TIntPoint>> ToolHits(const TDrillTapeProgram& program) {
  std::map<int32_t, std::vector<TIntPoint>> out;
  for (const TDrillTapeTool& t : program.Tools)
    for (const TDrillTapeItem& item : t.Items)
      out[t.Tool].insert(out[t.Tool].end(), item.Points.begin(), item.Points.end());
  return out;
}

TEST_F(TDrillTapeWriterTest, ExpandedSlotsFollowTheSlotAlgorithmSettings) {
  const int32_t S = Inch / 8, cusp = DRDB->SlotAlgorithm.CuspDefault;
  ToolTable[1].Diameter = S;
  ToolTable[2].Diameter = Inch / 20;  // 40 % of tool 1: its pilot drill
  ToolTable[3].Diameter = Inch / 10;  // 80 %: too large for a pilot
  const TIntPoint a{Inch, Inch}, b{2 * Inch, Inch}, shortEnd{Inch + S / 2, Inch};
  Options.ExpandSlots = true;
  auto collect = [&](const TIntPoint& end) {
    for (int32_t i = 1; i <= DrillEntityCount; ++i) DRDB->DeleteEntity(i);
    DRDB->AddSlotOnLayer(a.X, a.Y, end.X, end.Y, 30, 1, true);
    return ToolHits(CollectDrillTape(Options, DrillTapeLayerMask(), DefaultDrillFormat(true)));
  };
  EXPECT_EQ(PilotToolFor(S, DRDB->SlotAlgorithm), 2);

  // Bi-directional: the row-refinement pass; uni-directional: subdivision.
  TSlotHitsSeen rows(0, a, b, S, cusp), halves(1, a, b, S, cusp);
  rows.Generate();
  halves.Generate();
  ASSERT_NE(rows.Hits, halves.Hits);
  DRDB->SlotAlgorithm.BiDirectional = 0;
  EXPECT_EQ(collect(b), (std::map<int32_t, std::vector<TIntPoint>>{{1, rows.Hits}}));
  DRDB->SlotAlgorithm.BiDirectional = 1;
  EXPECT_EQ(collect(b), (std::map<int32_t, std::vector<TIntPoint>>{{1, halves.Hits}}));

  // A short slot of the row-refinement pass compensated by 10 % of the
  // drill, at most 0.005 in.
  DRDB->SlotAlgorithm.BiDirectional = 0;
  DRDB->SlotAlgorithm.DoShortSlotComp = 1;
  DRDB->SlotAlgorithm.ShortSlotCompFactor = 10;
  DRDB->SlotAlgorithm.ShortSlotMaxComp = Inch / 200;
  TSlotHitsSeen compensated(0, a, shortEnd, S, cusp), plain(0, a, shortEnd, S, cusp);
  compensated.GenerateWith(true, false, 0.005, 0.1);
  plain.Generate();
  ASSERT_NE(compensated.Hits, plain.Hits);
  EXPECT_EQ(collect(shortEnd)[1], compensated.Hits);
  DRDB->SlotAlgorithm.DoShortSlotComp = 0;
  EXPECT_EQ(collect(shortEnd)[1], plain.Hits);

  // Multi tool piloting: the pilot hits go to the pilot tool.
  DRDB->SlotAlgorithm.MultiToolPiloting = true;
  TSlotHitsSeen piloted(0, a, b, S, cusp);
  piloted.GeneratePilot(Inch / 20);
  ASSERT_FALSE(piloted.Pilots.empty());
  EXPECT_EQ(collect(b), (std::map<int32_t, std::vector<TIntPoint>>{{1, piloted.Hits}, {2, piloted.Pilots}}));
  // A short slot is piloted only under the multi tool short-slot method.
  EXPECT_EQ(collect(shortEnd), (std::map<int32_t, std::vector<TIntPoint>>{{1, plain.Hits}}));
  DRDB->SlotAlgorithm.DoShortSlotComp = 2;
  TSlotHitsSeen shortPiloted(0, a, shortEnd, S, cusp);
  shortPiloted.GeneratePilot(Inch / 20);
  EXPECT_EQ(collect(shortEnd),
            (std::map<int32_t, std::vector<TIntPoint>>{{1, shortPiloted.Hits}, {2, shortPiloted.Pilots}}));
  // No tool within the pilot sizes: the slot is drilled unpiloted.
  DRDB->SlotAlgorithm.MinPilotHolePercent = 50;
  DRDB->SlotAlgorithm.MaxPilotHolePercent = 60;
  EXPECT_EQ(collect(b), (std::map<int32_t, std::vector<TIntPoint>>{{1, rows.Hits}}));
}

}  // namespace
