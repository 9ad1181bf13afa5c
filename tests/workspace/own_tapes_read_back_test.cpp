// The program's own tapes read back through the started program: Make Drill
// Tape and Make Rout Tape, then Drill Import and Open Rout Tape with the
// answers the format dialogs offer, give the same places and tool sizes:
// a G93 panel origin moves no point, an export filter whose header opens
// M48 still gets the tool sizes, and a small job's tape says its digits.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/file_utils.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/rout_sequence.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "tapeout/make_drill_tape.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class TOwnTapesReadBackTest : public TTapeWritingTest {
 protected:
  std::string Folder() const { return ExecutionPath() + "ROUT\\"; }
  // Make Drill Tape with the dialog's answers, no tooling hits marked and
  // no tool table file; the export filter by its place in the list (0:
  // as offered). Gives the tape's text.
  std::string MakeDrillTape(TWorkspace& form, const std::string& name, int filter = 0) {
    QueueModalScript("TMakeDrillTapeDialog", [](TForm& f) {
      auto& d = static_cast<TMakeDrillTapeDialog&>(f);
      d.ToolTableCheckBox.SetChecked(false);
      d.MarkFirstCheckBox.SetChecked(false);
      d.MarkLastCheckBox.SetChecked(false);
      d.OKButton.Click();
    });
    const std::string tape = (TempDir / name).string();
    ScriptFileDialogAnswer(tape, filter);
    Run(form, emDrill, "MakeDrillTape1");
    return ReadFileBytes(tape);
  }
  std::string MakeRoutTape(TWorkspace& form, const std::string& name, int filter = 0) {
    const std::string tape = NativePath(Folder() + name);
    ScriptFileDialogAnswer(tape, filter);
    QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "MakeRoutTape1");
    return ReadFileBytes(tape);
  }
  void OpenRoutTape(TWorkspace& form, const std::string& name) {
    ScriptFileDialogAnswer(NativePath(Folder() + name));
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "OpenRoutTape1");
  }
  void WriteRoutInput(const std::string& name, const std::string& text) {
    WriteFileBytes(NativePath(Folder() + name), text);
  }
  // The live drill entities: first point, second point (slots) and tool.
  static std::vector<std::vector<int32_t>> DrillWork() {
    std::vector<std::vector<int32_t>> out;
    for (int32_t i = 1; i <= DrillEntityCount; ++i) {
      TDrillEntity* e = DRDB->EntityAt(i);
      if (e == nullptr || static_cast<int32_t>(DRDB->WordAt(i)) <= 0) continue;
      TIntPoint b;
      if (e->GetType() == etDrillSlot) e->GetSecondPoint(b);
      out.push_back({e->X, e->Y, b.X, b.Y, e->GetToolNumber()});
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // The points of a rout layer's paths and holes, in cut order.
  static std::vector<TIntPoint> RoutPoints(uint8_t layer) {
    std::vector<TIntPoint> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      const TEntitySlot* slot = RTDB->SlotAt(h);
      if (e == nullptr || slot == nullptr || SlotDeleted(slot->Flags) || e->GetType() == 11) continue;
      out.push_back({e->X, e->Y});
    }
    return out;
  }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

};

// A G93 tape read with the offered answers and written again drills the same
// places, and the job's rout tape with the same panel origin cuts through
// the hole where the drill tape puts it.
TEST_F(TOwnTapesReadBackTest, AG93TapeWrittenAgainDrillsTheSamePlacesAsTheRoutTape) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ImportExcellonTape(form, Input("G93.DRL", "M48\nINCH,LZ\nT01C0.025\n%\nG93X010000Y020000\nT01\n"
                                            "X005000Y005000\nX010000Y005000\nM30\n"));
  const std::vector<std::vector<int32_t>> held = {{In / 2, In / 2, 0, 0, 1}, {In, In / 2, 0, 0, 1}};
  ASSERT_EQ(DrillWork(), held);
  ASSERT_EQ(DRDB->G93OriginX, In);
  ASSERT_EQ(DRDB->G93OriginY, 2 * In);

  const std::string drill = MakeDrillTape(form, "AGAIN.DRL");
  EXPECT_TRUE(Has(drill, "\r\nG93X01Y02\r\nT01\r\n")) << drill;
  EXPECT_TRUE(Has(drill, "\r\nX005Y005\r\n")) << drill;
  EXPECT_TRUE(Has(drill, "\r\nX01Y005\r\n")) << drill;

  // The rout layer with the same origin, a cut through the first hole.
  SelectLayer(40);
  WriteRoutInput("CUT.RT", "M48\nINCH,LZ\n;FILE_FORMAT=2:4\nT01C0.0625\n%\nG90\nG93X010000Y020000\nT01\n"
                           "G00X005000Y005000\nM15\nG01X005000Y015000\nM16\nM30\n");
  OpenRoutTape(form, "CUT.RT");
  ASSERT_EQ(RTDB->G93Origins[40], (TIntPoint{In, 2 * In}));
  ASSERT_EQ(RoutPoints(40).front(), (TIntPoint{In / 2, In / 2}));
  const std::string rout = MakeRoutTape(form, "CUTOUT.RT");
  EXPECT_TRUE(Has(rout, "\r\nG93X01Y02\r\n")) << rout;
  EXPECT_TRUE(Has(rout, "G00X005Y005\r\n")) << rout;

  // Both tapes read back where the job holds them, with the same origin.
  SelectLayer(30);
  DRDB->Clear();
  ToolTable[1].Diameter = 0;
  ImportExcellonTape(form, (TempDir / "AGAIN.DRL").string());
  EXPECT_EQ(DrillWork(), held);
  EXPECT_EQ(DRDB->G93OriginX, In);
  EXPECT_EQ(DRDB->G93OriginY, 2 * In);
  EXPECT_EQ(ToolTable[1].Diameter, In / 40);
  SelectLayer(41);
  OpenRoutTape(form, "CUTOUT.RT");
  EXPECT_EQ(RTDB->G93Origins[41], (TIntPoint{In, 2 * In}));
  EXPECT_EQ(RoutPoints(41), RoutPoints(40));
}

// An export filter whose header opens M48, closed by it or not, with its
// units or without: each tape has one M48 with the units, the digits and
// the tool sizes inside it, closed once before the first hit (the filter's
// lines after its close follow), and reads back. Units the filter states
// other than the tape's give way to the tape's.
TEST_F(TOwnTapesReadBackTest, ToolSizesGoInsideAnExportFiltersM48Header) {
  TWorkspace& form = StartProgram();
  // Trailing zeros kept, as the filter's units line says.
  DrillOutputFormat.ZerosUsed = 1;
  RoutOutputFormat.ZerosUsed = 1;
  SelectLayer(30);
  ToolTable[1].Diameter = In / 40;
  ToolTable[2].Diameter = In / 8;
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  DRDB->AddHoleOnLayer(2 * In, In, 30, 2, true);
  const auto work = DrillWork();
  SelectLayer(40);
  WriteRoutInput("PATH.RT", "M48\nINCH,LZ\n;FILE_FORMAT=2:4\nT03C0.0937\n%\nG90\nT03\n"
                            "G00X010000Y010000\nM15\nG01X050000Y010000\nM16\nM30\n");
  OpenRoutTape(form, "PATH.RT");
  const int32_t size = RoutToolPages[40][3].Diameter;
  ASSERT_EQ(size, 2379980);
  const std::string head = "M48\r\nINCH,TZ\r\n; FILE_FORMAT=2:4\r\n";
  uint8_t into = 41;  // each rout tape read into a layer of its own
  for (const auto& [frame, close] : std::vector<std::pair<std::string, std::string>>{
           {"HEADER = M48\nHEADER=INCH,TZ\n", "%\r\n"},
           {"HEADER=M48\nHEADER=INCH,TZ\nHEADER=%\nHEADER=;JOB 7\n", "%\r\n;JOB7\r\n"},
           {"HEADER=M48\nHEADER=M95\n", "M95\r\n"},
           {"HEADER=M48\nHEADER=INCH,LZ\nHEADER=%\n", "%\r\n"}}) {
    SCOPED_TRACE(frame);
    ExportFilters[1] = {"M48 frame", Input("M48.SWP", frame + "TRAILER=M30\n")};
    SelectLayer(30);
    const std::string name = "FRAMED" + std::to_string(into);
    const std::string drill = MakeDrillTape(form, name + ".DRL", 2);
    EXPECT_EQ(drill.substr(0, drill.find("G90")), head + "T01C0.025\r\nT02C0.125\r\n" + close) << drill;
    EXPECT_EQ(drill.find("M48", 1), std::string::npos) << drill;
    DRDB->Clear();
    ImportExcellonTape(form, (TempDir / (name + ".DRL")).string());
    EXPECT_EQ(DrillWork(), work);
    EXPECT_EQ(ToolTable[1].Diameter, In / 40);
    EXPECT_EQ(ToolTable[2].Diameter, In / 8);

    SelectLayer(40);
    const std::string rout = MakeRoutTape(form, name + ".RT", 2);
    EXPECT_EQ(rout.substr(0, rout.find("G90")), head + "T03C0.0937\r\nCP,3,0.0937\r\n" + close) << rout;
    SelectLayer(into);
    RoutToolPages[into][3].Diameter = 0;
    OpenRoutTape(form, name + ".RT");
    EXPECT_EQ(RoutToolPages[into][3].Diameter, size);
    EXPECT_EQ(RoutPoints(into++), RoutPoints(40));
  }
}

// A small job: its tapes state their digits, so the offered answers read
// them where they were and not ten times larger.
TEST_F(TOwnTapesReadBackTest, ASmallJobsTapesReadBackAsWritten) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  ToolTable[1].Diameter = In / 16;
  DRDB->AddSlotOnLayer(In, In, In + In / 20, In, 30, 1, true);
  DRDB->AddSlotOnLayer(In, In + In / 25, In + In / 20, In + In / 25, 30, 1, true);
  const auto work = DrillWork();
  const std::string drill = MakeDrillTape(form, "SMALL.DRL");
  EXPECT_TRUE(Has(drill, "M48\r\nINCH,LZ\r\n; FILE_FORMAT=2:4\r\nT01C0.0625\r\n%\r\n")) << drill;
  DRDB->Clear();
  ImportExcellonTape(form, (TempDir / "SMALL.DRL").string());
  EXPECT_EQ(DrillWork(), work);

  // The rout tape of a short cut with a wide tool, in millimetres.
  RoutOutputFormat.Metric = true;
  RoutOutputFormat.UnitsFactor = 1000000;
  SelectLayer(40);
  WriteRoutInput("SHORT.RT", "M48\nINCH,LZ\n;FILE_FORMAT=2:4\nT01C0.1250\n%\nG90\nT01\n"
                             "G00X010000Y010000\nM15\nG01X010500Y010000\nM16\nM30\n");
  OpenRoutTape(form, "SHORT.RT");
  const std::vector<TIntPoint> cut = RoutPoints(40);
  ASSERT_FALSE(cut.empty());
  ASSERT_EQ(cut.front(), (TIntPoint{In, In}));
  const std::string rout = MakeRoutTape(form, "SHORTOUT.RT");
  EXPECT_TRUE(Has(rout, "M48\r\nMETRIC,LZ\r\n; FILE_FORMAT=3:3\r\n")) << rout;
  SelectLayer(41);
  OpenRoutTape(form, "SHORTOUT.RT");
  EXPECT_EQ(RoutPoints(41), cut) << rout;
}

// The program's own rout tape as a serial link or a punch leaves it (feed
// around and inside its blocks, link marks, other line ends, blank lines)
// reads back as the tape itself: the same cut, no rout command of feed,
// and written again, the same tape.
TEST_F(TOwnTapesReadBackTest, ARoutTapeDirtiedAsALinkLeavesItReadsBackAsWritten) {
  using namespace std::string_literals;
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  WriteRoutInput("SOURCE.RT", "M48\nINCH,LZ\n;FILE_FORMAT=2:4\nT01C0.0625\n%\nG90\nT01\n"
                              "G00X012345Y016789\nM15\nG01X023456Y016789\nM47,CUT HERE\nG01X023456Y027891\n"
                              "G02X031234Y019340I003889J-004275\nM16\nM30\n");
  OpenRoutTape(form, "SOURCE.RT");
  const std::string clean = MakeRoutTape(form, "CLEAN.RT");
  ASSERT_TRUE(Has(clean, "M47,CUT HERE\r\n")) << clean;
  const auto commands = [](uint8_t layer) {
    std::vector<std::string> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(layer, p));
      std::string text;
      if (e != nullptr && e->GetType() == 11) out.push_back((e->GetString(text), text));
    }
    return out;
  };
  // Every line end of the tape written otherwise, feed before or after it.
  const auto ends = [&clean](const std::string& end) {
    std::string text = clean;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + end.size()))
      text.replace(at, 2, end);
    return text;
  };
  std::string inWord = clean;
  inWord.insert(inWord.find("Y016789") + 3, "\0\x7f"s);
  const struct {
    const char* Name;
    std::string Text;
  } cases[] = {
      {"as written", clean},
      {"punched", std::string(200, '\0') + clean + std::string(200, '\0')},
      {"teleprinter", ends("\r\n\0\0\0"s)},
      {"rubouts", ends("\x7f\r\n")},
      {"serial link", "\x11\r\n" + clean + "\x13\r\n"},
      {"punch marks", "\x12" + clean + "\x14"},
      {"rewind stops", "\x12%\r\n" + clean + "%\x14\r\n"},  // as an export filter frames it for a punch
      {"CR CR LF", ends("\r\r\n")},
      {"LF CR", ends("\n\r")},
      {"blank lines", ends("\r\n\r\n  \r\n\x1a\r\n")},
      {"feed inside a word", inWord},
  };
  // Each form is read into layer 41 over the one before, and compared with
  // the tape as written, read into layer 42.
  SelectLayer(42);
  WriteRoutInput("DIRTY.RT", clean);
  OpenRoutTape(form, "DIRTY.RT");
  ASSERT_EQ(commands(42), std::vector<std::string>{"M47,CUT HERE"});
  ASSERT_EQ(RoutPoints(42).size(), 5u);
  const std::string again = MakeRoutTape(form, "AGAIN.RT");
  SelectLayer(41);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteRoutInput("DIRTY.RT", c.Text);
    RoutLayerModified[41] = false;  // no question of saving the layer first
    OpenRoutTape(form, "DIRTY.RT");
    EXPECT_EQ(RoutPoints(41), RoutPoints(42));
    EXPECT_EQ(commands(41), commands(42));
    EXPECT_EQ(MakeRoutTape(form, std::string("AGAIN_") + std::to_string(&c - cases) + ".RT"), again);
  }
}

}  // namespace
