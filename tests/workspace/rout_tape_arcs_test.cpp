// Rout arcs in the started program: a tape with G02 and G03 opened with Open
// Rout Tape keeps its arcs as arcs, Make Rout Tape writes them as arcs, and
// the tape read back gives the same arcs; the 3-point arc command adds an arc.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "command/button_manager.h"
#include "foundation/file_utils.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_sequence.h"
#include "platform/headless/headless_dialogs.h"
#include "tapeout/rout_file_commands.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

struct TArcSeen {
  int32_t Type;
  TIntPoint End, Centre;
  int64_t Radius;
  bool operator==(const TArcSeen&) const = default;
};

class TRoutTapeArcsTest : public TWorkspaceDialogsTest {
 protected:
  // The arcs of a layer in cut order, and how many lines it holds.
  static std::vector<TArcSeen> Arcs(uint8_t layer, int* lines = nullptr) {
    std::vector<TArcSeen> out;
    if (lines) *lines = 0;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      TRoutEntity* e = RTDB->EntityAt(h);
      const TEntitySlot* slot = RTDB->SlotAt(h);
      if (e == nullptr || slot == nullptr || SlotDeleted(slot->Flags)) continue;
      if (e->GetType() == 6 && lines) ++*lines;
      if (e->GetType() != 7 && e->GetType() != 8) continue;
      TIntPoint c;
      e->GetCentre(c);
      const int64_t r = std::llround(std::hypot(double(e->X) - c.X, double(e->Y) - c.Y));
      out.push_back({e->GetType(), {e->X, e->Y}, c, r});
    }
    return out;
  }
};

TEST_F(TRoutTapeArcsTest, ATapesArcsSurviveOpenMakeRoutTapeAndReadingBack) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  ASSERT_EQ(EditorMode, emRout);
  const std::string folder = ExecutionPath() + "ROUT\\";
  const std::filesystem::path in = NativePath(folder + "ARCS.RT");
  // A quarter arc each way, one of them of 10 in radius.
  WriteFileBytes(in,
                 "M48\nINCH,LZ\nT01C0.1250\n%\nG90\nT01\n"
                 "G00X010000Y010000\nM15\nG01X020000Y010000\n"
                 "G03X030000Y020000A010000\nG01X030000Y030000\n"
                 "G02X020000Y040000A010000\nG01X020000Y050000\n"
                 "G03X120000Y150000A100000\nM16\nM30\n");
  ScriptFileDialogAnswer(in.string());
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emRout, "OpenRoutTape1");
  int lines = 0;
  const std::vector<TArcSeen> opened = Arcs(40, &lines);
  const std::vector<TArcSeen> expected = {
      {7, {3 * In, 2 * In}, {2 * In, 2 * In}, In},
      {8, {2 * In, 4 * In}, {3 * In, 4 * In}, In},
      {7, {12 * In, 15 * In}, {2 * In, 15 * In}, 10 * In}};
  EXPECT_EQ(opened, expected);
  EXPECT_EQ(lines, 3);

  // Make Rout Tape writes the arcs as arcs.
  const std::filesystem::path out = NativePath(folder + "ARCSOUT.RT");
  ScriptFileDialogAnswer(out.string());
  QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emRout, "MakeRoutTape1");
  const std::string written = ReadFileBytes(out);
  EXPECT_NE(written.find("G02"), std::string::npos) << written;
  EXPECT_NE(written.find("G03"), std::string::npos) << written;

  // The written tape opened again gives the same arcs.
  ScriptFileDialogAnswer(out.string());
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emRout, "OpenRoutTape1");
  int linesBack = 0;
  EXPECT_EQ(Arcs(40, &linesBack), expected);
  EXPECT_EQ(linesBack, 3);
  EXPECT_EQ(PendingCommonDialogAnswers(), 0u);
}

TEST_F(TRoutTapeArcsTest, TheThreePointArcCommandAddsAnArc) {
  StartProgram();
  SelectLayer(41);
  ButtonManager().Press(10);
  Click(0, 0);
  Click(In, In);
  Click(2 * In, 0);
  ECO->CancelCommand();
  const std::vector<TArcSeen> arcs = Arcs(41);
  // A half circle through the top: clockwise about (1, 0), cut in two.
  ASSERT_EQ(arcs.size(), 2u);
  for (const TArcSeen& a : arcs) {
    EXPECT_EQ(a.Type, 8);
    EXPECT_EQ(a.Centre, (TIntPoint{In, 0}));
    EXPECT_EQ(a.Radius, In);
  }
  EXPECT_EQ(arcs.back().End, (TIntPoint{2 * In, 0}));
}

// A rout layer edited as text is written in the output format and read back
// in it: its arcs come back about the same centres whichever way the format
// states them (radius, I/J from the start or the end point, absolute I/J,
// signed or not), on either side of the origin, in a stepped path too.
TEST_F(TRoutTapeArcsTest, ALayerReadBackInTheOutputFormatKeepsItsArcs) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  const std::string folder = ExecutionPath() + "ROUT\\";
  const std::filesystem::path in = NativePath(folder + "QUARTERS.RT");
  WriteFileBytes(in,
                 "M48\nINCH,LZ\nT01C0.1250\n%\nG90\nT01\n"
                 "G00X030000Y020000\nM15\nG03X020000Y030000I-010000J000000\n"
                 "G03X010000Y020000I-000000J-010000\nM16\nM25\nG00X-010000Y-010000\nM15\n"
                 "G02X000000Y-020000I000000J-010000\nX-010000Y-030000I-010000J000000\nM16\n"
                 "M01\nM02X050000Y000000\nM02\nM08\nM30\n");
  ScriptFileDialogAnswer(in.string());
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) {
    f.Get<TRadioGroup>("IJGroup").SetItemIndex(1);
    f.Click("OKButton");
  });
  Run(form, emRout, "OpenRoutTape1");
  const std::vector<TArcSeen> quarters = {{7, {2 * In, 3 * In}, {2 * In, 2 * In}, In},
                                          {7, {In, 2 * In}, {2 * In, 2 * In}, In},
                                          {8, {0, -2 * In}, {-In, -2 * In}, In},
                                          {8, {-In, -3 * In}, {-In, -2 * In}, In}};
  ASSERT_EQ(Arcs(40), quarters);
  const TRoutFormatRecord saved = RoutOutputFormat;
  struct TCase {
    const char* Name;
    bool IJMode, Incremental, FromStart, Signed;
  };
  for (const TCase& c : {TCase{"radius", false, true, true, false}, TCase{"I/J from start", true, true, true, false},
                         TCase{"I/J from start, signed", true, true, true, true},
                         TCase{"I/J from end", true, true, false, false},
                         TCase{"I/J from end, signed", true, true, false, true},
                         TCase{"I/J absolute", true, false, true, false},
                         TCase{"I/J absolute, signed", true, false, true, true}}) {
    SCOPED_TRACE(c.Name);
    RoutOutputFormat.IJMode = c.IJMode;
    RoutOutputFormat.IJIncremental = c.Incremental;
    RoutOutputFormat.IJFromStartPoint = c.FromStart;
    RoutOutputFormat.IJSigned = c.Signed;
    std::string name;
    ASSERT_TRUE(SaveRoutLayerToScratch(40, name));
    const std::string text = ReadFileBytes(NativePath(name));
    EXPECT_TRUE(ReloadRoutLayer(name));
    EXPECT_EQ(Arcs(40), quarters) << text;
    EXPECT_NE(text.find("M25"), std::string::npos) << text;
    // Written again, the same tape: the copy's arcs too.
    ASSERT_TRUE(SaveRoutLayerToScratch(40, name));
    EXPECT_EQ(ReadFileBytes(NativePath(name)), text);
  }
  RoutOutputFormat = saved;
}

}  // namespace
