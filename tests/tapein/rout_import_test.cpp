// Rout tape import into a rout layer, the rout file commands, and the rout
// tape writer read back through the import.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "command/command_services.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_shadow.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "tapeout/rout_file_commands.h"
#include "tapein/drill_import_command.h"
#include "tapein/rout_import.h"
#include "tapeout/rout_tape_writer.h"
#include "workspace/startup.h"

namespace fs = std::filesystem;

namespace {

class TRoutImportTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ResetModalScripts();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetHeadlessViewServices();
    EditorMode = emRout;
    CurrentLayer = 40;
    for (int l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
      RoutLayerTools[l] = {};
      RoutToolPages[l].Fill({});
      RoutLayerModified[l] = false;
      RoutLayerFileNames[l].clear();
    }
    RoutUndo = new TRoutUndo();
    ActiveUndo = RoutUndo;
    RTDB = new TRoutDatabase();
    Seq = new TSequenceStore();
    RoutInputFormat = DefaultRoutFormat(false);
    RoutOutputFormat = DefaultRoutFormat(true);
    DatabaseFileName.clear();
    RoutMakeTapePath = ExecutionPath() + "ROUT\\";
    RoutImportPath = ExecutionPath() + "ROUT\\";
  }
  void TearDown() override {
    delete RTDB;
    RTDB = nullptr;
    delete Seq;
    Seq = nullptr;
    delete RoutUndo;
    RoutUndo = nullptr;
    ActiveUndo = nullptr;
    ResetModalScripts();
    ResetHeadlessDialogs();
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }

  std::string Tape(const std::string& name, const std::string& text) {
    const std::string tape = ExecutionPath() + "ROUT\\" + name;
    WriteFileBytes(NativePath(tape), text);
    return tape;
  }

  // The format dialog answered with OK as it is.
  static void AcceptFormat() {
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  }
  static void AcceptOutputFormat() {
    QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  }

  // The layer in cut order: "J x,y tT/C sS", "L x,y fF", "A7|A8 x,y cX,Y",
  // "C x,y rR", "H x,y", "M text".
  static std::vector<std::string> Layer(uint8_t layer = 40) {
    std::vector<std::string> out;
    for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
      const int32_t h = Seq->HandleAt(layer, p);
      const TEntitySlot* slot = RTDB->SlotAt(h);
      TRoutEntity* e = RTDB->EntityAt(h);
      if (!slot || !e || SlotDeleted(slot->Flags)) continue;
      const std::string pt = std::to_string(e->X) + "," + std::to_string(e->Y);
      switch (e->GetType()) {
        case 5:
          out.push_back("J " + pt + " t" + std::to_string(e->GetToolNumber()) + "/" +
                        std::to_string(e->GetCompIndex()) + " s" + std::to_string(e->GetComp()));
          break;
        case 6:
          out.push_back("L " + pt + " f" + std::to_string(e->GetFeedRate()));
          break;
        case 7:
        case 8: {
          TIntPoint c;
          e->GetCentre(c);
          out.push_back("A" + std::to_string(e->GetType()) + " " + pt + " c" + std::to_string(c.X) +
                        "," + std::to_string(c.Y));
          break;
        }
        case 9:
          out.push_back("C " + pt + " r" + std::to_string(e->GetRadius()));
          break;
        case 10:
          out.push_back("H " + pt);
          break;
        default: {
          std::string text;
          e->GetString(text);
          out.push_back("M " + text);
        }
      }
    }
    return out;
  }

  static std::vector<std::string> Geometry(uint8_t layer = 40) {
    std::vector<std::string> out;
    for (const std::string& s : Layer(layer))
      if (s[0] != 'M') out.push_back(s);
    return out;
  }

  static std::string LastBoxText() {
    const auto& boxes = ShownMessageBoxes();
    return boxes.empty() ? std::string() : boxes.back().Text;
  }
};

constexpr int32_t Inch = 25400000;

// ---- Reading ---------------------------------------------------------------------------

TEST_F(TRoutImportTest, PathsContinueAtTheirEndAndStartAgainElsewhere) {
  const std::string tape = Tape("A.RT",
                                "M48\nINCH,LZ\nT01C0.0620\n%\nG90\nT01\n"
                                "G00X010000Y010000\nM15\nG01X020000Y010000\nX020000Y020000\nM16\n"
                                "G00X020000Y020000\nM15\nG01X030000Y020000\nM16\n"
                                "G00X050000Y050000\nM15\nG01X060000Y050000\nM16\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  // A rapid back to the last end continues the path; one elsewhere starts a
  // new path with a jog.
  EXPECT_EQ(Geometry(), (std::vector<std::string>{
                            "J " + std::to_string(Inch) + "," + std::to_string(Inch) + " t1/1 s0",
                            "L " + std::to_string(2 * Inch) + "," + std::to_string(Inch) + " f0",
                            "L " + std::to_string(2 * Inch) + "," + std::to_string(2 * Inch) + " f0",
                            "L " + std::to_string(3 * Inch) + "," + std::to_string(2 * Inch) + " f0",
                            "J " + std::to_string(5 * Inch) + "," + std::to_string(5 * Inch) + " t1/1 s0",
                            "L " + std::to_string(6 * Inch) + "," + std::to_string(5 * Inch) + " f0"}));
  EXPECT_EQ(RoutToolPages[40][1].Diameter, 1574800);
}

TEST_F(TRoutImportTest, AToolChangeOrASecondG93StartsANewPath) {
  const std::string tape = Tape("B.RT",
                                "%\nG90\nT01\nG00X010000Y010000\nM15\nG01X020000Y010000\nM16\n"
                                "T02\nG00X020000Y010000\nM15\nG01X030000Y010000\nM16\n"
                                "T02\nG00X030000Y010000\nM15\nG01X040000Y010000\nM16\n"
                                "G93X000000Y000000\nG93X010000Y000000\n"
                                "G00X020000Y010000\nM15\nG01X035000Y010000\nM16\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  const auto g = Geometry();
  ASSERT_EQ(g.size(), 7u) << ::testing::PrintToString(g);
  EXPECT_EQ(g[0].substr(0, 1), "J");
  EXPECT_EQ(g[2], "J " + std::to_string(2 * Inch) + "," + std::to_string(Inch) + " t2/2 s0");
  EXPECT_EQ(g[4].substr(0, 1), "L");  // the same tool again continues
  // After the second G93 every point is shifted by its difference from the
  // first one.
  EXPECT_EQ(g[5], "J " + std::to_string(3 * Inch) + "," + std::to_string(Inch) + " t2/2 s0");
  EXPECT_EQ(g[6], "L " + std::to_string(45 * Inch / 10) + "," + std::to_string(Inch) + " f0");
}

TEST_F(TRoutImportTest, AFeedEqualToTheToolsFeedIsDroppedOnlyRightAfterAPlunge) {
  RoutToolPages[40][1].HighFeed = 127 * 20;
  const std::string tape = Tape("F.RT",
                                "%\nG90\nT01\nG00X010000Y010000\nM15\nG01X020000Y010000F020\n"
                                "X030000Y010000F030\nX040000Y010000F020\nM16\nM30\n");
  RoutImportPath = ExecutionPath();
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  // T01 reset the page on construction only through the tape's own words:
  // the page feed stays.
  const auto g = Geometry();
  ASSERT_EQ(g.size(), 4u);
  EXPECT_EQ(g[1].substr(g[1].size() - 3), " f0");
  EXPECT_EQ(g[2].substr(g[2].size() - 6), " f3810");
  EXPECT_EQ(g[3].substr(g[3].size() - 6), " f2540");
}

TEST_F(TRoutImportTest, APatternGivesEachHoleAndPathStartOneSharedStepObject) {
  // Many holes and paths inside one pattern, then a path after it: every
  // entity recorded in the pattern gets the repeat once, the later one none.
  std::string text = "%\nG90\nT01\nM25\n";
  for (int i = 0; i < 300; ++i) {
    const std::string x = std::to_string(10000 + 100 * i);
    text += "G05X" + x + "Y010000\n";
    if (i % 3 == 0) text += "G00X" + x + "Y020000\nM15\nG01X" + x + "Y021000\nM16\n";
  }
  text += "M01\nM02X050000\nM08\nG00X090000Y090000\nM15\nG01X091000Y090000\nM16\nM30\n";
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(Tape("P.RT", text), 0, false));
  int holes = 0, jogs = 0;
  TStepObject* shared = nullptr;
  for (int32_t p = 1; p <= Seq->Count(40); ++p) {
    const int32_t h = Seq->HandleAt(40, p);
    TRoutEntity* e = RTDB->EntityAt(h);
    if (e->GetType() != 5 && e->GetType() != 10) continue;
    auto* carrier = dynamic_cast<TRoutStepCarrier*>(e);
    ASSERT_NE(carrier, nullptr);
    if (e->Y == 9 * Inch) {
      EXPECT_EQ(carrier->GetStepObj(), nullptr);
      continue;
    }
    (e->GetType() == 10 ? holes : jogs)++;
    if (!shared) shared = carrier->GetStepObj();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(carrier->GetStepObj(), shared) << "handle " << h;
  }
  EXPECT_EQ(holes, 300);
  EXPECT_EQ(jogs, 100);
  EXPECT_FALSE(shared->FlattenCommands().empty());
}

TEST_F(TRoutImportTest, EachPatternRepeatsOnlyTheEntitiesOfItsOwn) {
  // Two patterns one after the other with other repeats: a hole and a path
  // of the first keep its step, those of the second get theirs; a path
  // between them gets none. The hole of the second pattern has the number
  // the first pattern's list reached, as its flags must start clear.
  const std::string tape = Tape("TWO.RT",
                                "%\nT01\nM25\nG05X010000Y010000\n"
                                "G00X010000Y020000\nM15\nG01X020000Y020000\nM16\nM01\nM02X030000\nM08\n"
                                "G00X010000Y040000\nM15\nG01X020000Y040000\nM16\n"
                                "M25\nG05X010000Y060000\n"
                                "G00X010000Y070000\nM15\nG01X020000Y070000\nM16\nM01\nM02Y050000\nM08\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  std::map<int32_t, TStepObject*> steps;  // by the entity's Y, in tenths of an inch
  for (int32_t i = 1; i <= RoutEntityCount; ++i) {
    TRoutEntity* e = RTDB->EntityAt(i);
    if (e->GetType() != etRoutJog && e->GetType() != etRoutHole) continue;
    steps[e->Y / (Inch / 10)] = e->GetStepObj();
  }
  ASSERT_EQ(steps.size(), 5u) << ::testing::PrintToString(Geometry());
  ASSERT_NE(steps[10], nullptr);
  EXPECT_EQ(steps[20], steps[10]);
  EXPECT_EQ(steps[40], nullptr);
  ASSERT_NE(steps[60], nullptr);
  EXPECT_EQ(steps[70], steps[60]);
  EXPECT_NE(steps[60], steps[10]);
  EXPECT_EQ(steps[10]->Commands()[1].DX, 3 * Inch);
  EXPECT_EQ(steps[60]->Commands()[1].DY, 5 * Inch);
}

// A pattern group after an M08 without an M25 of its own repeats nothing;
// the import is kept and its warning names the block.
TEST_F(TRoutImportTest, APatternGroupWithoutItsOwnM25RepeatsNothing) {
  const std::string tape = Tape("GROUP.RT", "M48\nINCH,LZ\nT1C0.030\n%\nT1\nM25\nX010000Y010000\nM01\n"
                                            "M02X010000\nM08\nM01\nM02X020000\nM01\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  std::vector<TRoutEntity*> holes;
  for (int32_t i = 1; i <= RoutEntityCount; ++i)
    if (RTDB->EntityAt(i)->GetType() == etRoutHole) holes.push_back(RTDB->EntityAt(i));
  ASSERT_EQ(holes.size(), 1u) << ::testing::PrintToString(Geometry());
  EXPECT_EQ(holes[0]->X, Inch);
  ASSERT_NE(holes[0]->GetStepObj(), nullptr);
  const auto& commands = holes[0]->GetStepObj()->Commands();
  ASSERT_EQ(commands.size(), 3u);  // the mark, the step and the closing step
  EXPECT_EQ(commands[1].DX, Inch);
  EXPECT_EQ(holes[0]->GetStepObj()->Offsets().size(), 1u);  // the one M02's copy
  EXPECT_NE(LastBoxText().find("Line 11: M01 ends a pattern that no M25 began after the step and "
                               "repeat ended in line 10"),
            std::string::npos)
      << LastBoxText();
}

TEST_F(TRoutImportTest, CancelledFormatDialogAndMissingSwapFileImportNothing) {
  const std::string tape = Tape("C.RT", "%\nG00X010000Y010000\nM15\nG01X020000Y010000\nM30\n");
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("CancelButton"); });
  EXPECT_FALSE(ImportRoutTape(tape, 0, false));
  ImportFilters[1] = {"Gone", ExecutionPath() + "SWAP\\GONE.SWP"};
  EXPECT_FALSE(ImportRoutTape(tape, 1, false));
  EXPECT_EQ(LastBoxText(), " Cannot find specified swap file " + ExecutionPath() + "SWAP\\GONE.SWP!");
  EXPECT_EQ(RoutEntityCount, 0);
  ImportFilters[1] = {};
}

// Blocks the decoder stumbles over (a trailing "*", a comment, a coordinate
// with one digit too many) are kept as far as they read and reported once the
// tape is in; the rest of the tape is not thrown away.
TEST_F(TRoutImportTest, BlocksThatDecodeBadlyAreKeptAndReported) {
  const std::string tape = Tape("BAD.RT",
                                "M48\nT03C0.1250\n%\nT03\nG00X050000Y050000*\nM15\n"
                                "G01X060000Y050000(CUT)\nG01X1234567Y050000\nG01X080000Y050000\nM16\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  const auto g = Geometry();
  ASSERT_GE(g.size(), 3u) << ::testing::PrintToString(g);
  EXPECT_EQ(g.front().rfind("J " + std::to_string(5 * Inch) + "," + std::to_string(5 * Inch), 0), 0u);
  EXPECT_EQ(g.back(), "L " + std::to_string(8 * Inch) + "," + std::to_string(5 * Inch) + " f0");
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtWarning);
  const std::string text = ShownMessageBoxes()[0].Text;
  EXPECT_NE(text.find("Block"), std::string::npos) << text;
  EXPECT_NE(text.find("Some errors were detected in this file."), std::string::npos) << text;
}

// NULs in a block of text are blank tape: its command is kept without them
// (it goes onto the tapes written from the layer), the block is reported
// with them shown, and the paths come in. A TAB is a blank and stays.
TEST_F(TRoutImportTest, NulsInABlockOfTextAreReportedAndLeftOutOfItsCommand) {
  const std::string tape = Tape("CONTROL.RT", std::string("M48\nT03C0.1250\n%\nT03\nG00X050000Y050000\nM15\n"
                                                          "M47,AB\0\0C\nG01X060000Y050000\nM47,A\tB\n"
                                                          "G01X070000Y050000\nM16\nM30\n", 105));
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  const auto layer = Layer();
  EXPECT_EQ(Geometry().size(), 3u) << ::testing::PrintToString(layer);
  std::vector<std::string> commands;
  for (const std::string& entity : layer)
    if (entity[0] == 'M') commands.push_back(entity);
  EXPECT_EQ(commands, (std::vector<std::string>{"M M47,ABC", "M M47,A\tB"}));
  const std::string text = LastBoxText();
  EXPECT_NE(text.find("Line 7: the tape feed inside the block \"M47,AB<NUL><NUL>C\" was passed over"),
            std::string::npos)
      << text;
  // A note, no fault: the tape read as the clean tape.
  EXPECT_EQ(ShownMessageBoxes().back().Type, mtInformation);
  EXPECT_EQ(text.find("error"), std::string::npos) << text;
}

TEST_F(TRoutImportTest, FormatDialogKeepsTypedDigitsWithinTheirRanges) {
  const TRoutFormatRecord before = RoutInputFormat;
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) {
    f.Get<TSpinEdit>("IntegerEdit").SetText("9");  // above the range 1..4
    f.Get<TSpinEdit>("DecimalEdit").SetText("x");  // no count: the stored one stays
    f.Get<TRadioGroup>("ClockWiseGroup").SetItemIndex(1);
    f.Click("OKButton");
  });
  ASSERT_TRUE(RunRoutFormatDialog("C.RT"));
  EXPECT_EQ(RoutInputFormat.IntegerDigits, 4);
  EXPECT_EQ(RoutInputFormat.DecimalDigits, before.DecimalDigits);
  EXPECT_TRUE(RoutInputFormat.CounterClockwise);
  RoutInputFormat = before;
}

// A tape that cannot be read at all leaves the layer as it was.
TEST_F(TRoutImportTest, AnUnreadableTapeShowsItsErrorAndLeavesTheLayer) {
  const std::string good = Tape("G.RT", "%\nG00X010000Y010000\nM15\nG01X020000Y010000\nM16\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(good, 0, false));
  const auto before = Layer();
  const TRoutToolPage page = RoutToolPages[40];
  AcceptFormat();
  EXPECT_FALSE(ImportRoutTape(ExecutionPath() + "ROUT\\NONE.RT", 0, false));
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_EQ(ShownMessageBoxes().back().Type, mtError);
  EXPECT_EQ(Layer(), before);
  EXPECT_TRUE(RoutToolPages[40].Items == page.Items);
}

TEST_F(TRoutImportTest, AFullStoreEndsTheImportWithOneMessageAndWithdrawsIt) {
  const std::string good = Tape("G.RT", "%\nG00X010000Y010000\nM15\nG01X020000Y010000\nM16\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(good, 0, false));
  const auto before = Layer();
  ResetHeadlessDialogs();
  // Two lines of 98,000 holes each: the rout store takes 100,000 entities.
  const std::string big = Tape("BIG.RT", "M48\nINCH,LZ\nT1C0.03\n%\nT1\nP7000\nP7000\nM30\n");
  AcceptFormat();
  EXPECT_FALSE(ImportRoutTape(big, 0, false));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(LastBoxText(), "Line 7: The rout database is full: it holds at most 100,000 entities. "
                           "The reading stops.");
  EXPECT_EQ(Layer(), before);
}

TEST_F(TRoutImportTest, TypedDigitsBeyondTheEditsAreKeptWithinThem) {
  const std::string tape = Tape("D.RT", "%\nG00X010000Y010000\nM15\nG01X020000Y010000\nM16\nM30\n");
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) {
    f.Get<TRadioGroup>("UnitGroup").SetItemIndex(1);
    f.Get<TSpinEdit>("IntegerEdit").SetText("12");
    f.Get<TSpinEdit>("DecimalEdit").SetText("13");
    f.Click("OKButton");
  });
  EXPECT_TRUE(ImportRoutTape(tape, 0, false)) << LastBoxText();
  EXPECT_EQ(RoutInputFormat.MetricIntegerDigits, 4);
  EXPECT_EQ(RoutInputFormat.MetricDecimalDigits, 6);
}

TEST_F(TRoutImportTest, ReplaceCreateWithRoutLooksAtTheSixthToEleventhCharacters) {
  std::string text = "Undo create line, Create arc";
  ReplaceCreateWithRout(text);
  EXPECT_EQ(text, "Undo Rout line, Create arc");
  for (std::string same : {"Undo move", "Create line", "Undone: create", "Undo Creat"}) {
    const std::string before = same;
    ReplaceCreateWithRout(same);
    EXPECT_EQ(same, before);
  }
}

// ---- Written and read back ---------------------------------------------------------------

class TRoutRoundTripTest : public TRoutImportTest {
 protected:
  // Writes layer 40 with the output format, empties it and reads it back.
  std::vector<std::string> WriteAndReadBack() {
    std::string scratch;
    EXPECT_TRUE(SaveRoutLayerToScratch(40, scratch));
    EXPECT_FALSE(scratch.empty());
    EXPECT_TRUE(ReloadRoutLayer(scratch));
    return Layer();
  }
};

TEST_F(TRoutRoundTripTest, LinesArcsCirclesHolesAndCommandsComeBackTheSame) {
  const std::string tape = Tape("R.RT",
                                "M48\nINCH,LZ\nT01C0.1250\nT02C0.0620\n%\nG90\nT01\n"
                                "G00X010000Y010000\nG42\nM15\nG01X020000Y010000F300\n"
                                "G02X030000Y020000A010000\nG01X030000Y030000\nM16\n"
                                "T02\nG32X050000Y050000A005000\n"
                                "g05x070000y070000 ; a block in lower case ends in a comment\n"
                                "M47,Operator check; as written\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  const auto first = Layer();
  ASSERT_GE(first.size(), 6u);
  // The hole of the lower-case block, and the message kept as written.
  EXPECT_NE(std::find(first.begin(), first.end(), "H 177800000,177800000"), first.end());
  EXPECT_EQ(first.back(), "M M47,Operator check; as written");
  for (const auto& format : {DefaultRoutFormat(true), [] {
                               TRoutFormatRecord f = DefaultRoutFormat(true);
                               f.Absolute = false;
                               f.ZerosUsed = 1;
                               return f;
                             }(), [] {
                               TRoutFormatRecord f = DefaultRoutFormat(true);
                               f.Metric = true;
                               f.MetricDecimalDigits = 4;
                               return f;
                             }(), [] {
                               // The arc's centre as its own coordinates,
                               // mirrored to negative ones, on an
                               // incremental tape.
                               TRoutFormatRecord f = DefaultRoutFormat(true);
                               f.Metric = true;
                               f.Absolute = false;
                               f.Version = 6;
                               f.IJMode = true;
                               f.IJIncremental = false;
                               return f;
                             }(), [] {
                               // The same unsigned: a centre's coordinates keep their signs.
                               TRoutFormatRecord f = DefaultRoutFormat(true);
                               f.Version = 7;
                               f.IJMode = true;
                               f.IJIncremental = false;
                               f.IJSigned = false;
                               return f;
                             }(), [] {
                               TRoutFormatRecord f = DefaultRoutFormat(true);
                               f.IJMode = true;
                               f.IJFromStartPoint = false;
                               f.IJSigned = false;
                               return f;
                             }()}) {
    RoutOutputFormat = format;
    EXPECT_EQ(WriteAndReadBack(), first) << "absolute " << format.Absolute << " metric " << format.Metric
                                         << " version " << int(format.Version) << " I/J " << format.IJMode
                                         << format.IJIncremental << format.IJSigned;
  }
  EXPECT_EQ(RoutToolPages[40][1].Diameter, 3175000);
}

// A tab of no width with break-off holes: the path after the holes begins
// where the one before them ended. The machine left the path to drill, so
// the path after is a path of its own, on the layer and on the tape written
// from it again; the holes never stand inside a path.
TEST_F(TRoutRoundTripTest, APathBegunAfterHolesWhereTheLastEndedIsAPathOfItsOwn) {
  const std::string tape = Tape("H.RT",
                                "M48\nINCH,LZ\nT01C0.1250\n%\nG90\nT01\n"
                                "G00X010000Y010000\nM15\nG01X020000Y010000\nM16\n"
                                "G05X020000Y011000\nG05X021000Y011000\n"
                                "G00X020000Y010000\nM15\nG01X030000Y010000\nM16\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  const auto first = Layer();
  std::string kinds;
  for (const std::string& e : first) kinds += e[0];
  EXPECT_EQ(kinds, "JLHHJL");
  for (const bool metric : {false, true}) {
    TRoutFormatRecord f = DefaultRoutFormat(true);
    f.Metric = metric;
    RoutOutputFormat = f;
    EXPECT_EQ(WriteAndReadBack(), first) << "metric " << metric;
  }
}

// A path start carries one compensation side: a cut on another side,
// begun where the last path ended (after a lift, or with the head down),
// is read as a path of its own on that side, and so it is written again.
// A lift back onto the same side goes on with the path.
TEST_F(TRoutRoundTripTest, ACutOnAnotherSideWhereTheLastEndedIsAPathOfItsOwn) {
  const std::string head = "M48\nINCH,LZ\nT01C0.1250\n%\nG90\nT01\nG00X010000Y010000\n";
  const struct {
    const char* Tape;
    const char* Starts;  // the side of each path start, in cut order
  } cases[] = {
      {"M15\nG01X020000Y010000\nM16\nG00X020000Y010000\nG42\nM15\nG01X030000Y010000\nM16\nM30\n", "02"},
      {"G41\nM15\nG01X020000Y010000\nM16\nG00X020000Y010000\nG42\nM15\nG01X030000Y010000\nM16\nM30\n", "12"},
      {"G42\nM15\nG01X020000Y010000\nM16\nG40\nG00X020000Y010000\nM15\nG01X030000Y010000\nM16\nM30\n", "20"},
      {"G42\nM15\nG01X020000Y010000\nM16\nG00X020000Y010000\nG42\nM15\nG01X030000Y010000\nM16\nM30\n", "2"},
      {"M15\nG01X020000Y010000\nG41\nG01X020000Y020000\nM16\nM30\n", "01"},
      {"M15\nG01X020000Y010000\nG02X030000Y020000A010000\nM16\nG00X030000Y020000\nG41\nM15\n"
       "G03X040000Y030000A010000\nM16\nM30\n", "01"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Tape);
    RTDB->DeleteLayer(40);
    AcceptFormat();
    ASSERT_TRUE(ImportRoutTape(Tape("SIDES.RT", head + c.Tape), 0, false));
    const auto first = Layer();
    std::string starts;
    for (const std::string& e : first)
      if (e[0] == 'J') starts += e.back();
    EXPECT_EQ(starts, c.Starts);
    RoutOutputFormat = DefaultRoutFormat(true);
    EXPECT_EQ(WriteAndReadBack(), first);
  }
}

TEST_F(TRoutImportTest, ACompensatedTapeIsShownOffsetByTheToolRadius) {
  // A 1 in square programmed on the part line with G41 (cutter on the left
  // of travel), cut clockwise: the cutter runs outside.
  const std::string tape = Tape("G41.RT",
                                "M48\nINCH,LZ\nT01C0.1250\n%\nG90\nT01\n"
                                "G00X010000Y010000\nG41\nM15\nG01X010000Y020000\n"
                                "X020000Y020000\nX020000Y010000\nX010000Y010000\nM16\nG40\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  ASSERT_FALSE(Geometry().empty());
  EXPECT_EQ(Geometry()[0], "J " + std::to_string(Inch) + "," + std::to_string(Inch) + " t1/1 s1");
  // The layer holds the programmed path; the display compensates it with
  // the tool page's compensation diameter.
  RoutToolPages[40][1].CompDiameter = RoutToolPages[40][1].Diameter;
  RTDB->DrawStepRepeats(40);
  const int32_t r = 3175000 / 2;
  std::vector<std::pair<TIntPoint, TIntPoint>> cuts;
  for (int32_t p = 1; p <= Seq->Count(40); ++p) {
    TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(40, p));
    std::vector<TRoutShadow*> mine;
    for (TRoutShadow* s = e ? e->Shadow : nullptr; s; s = s->Next)
      if (s->Kind == rsLine && !s->HeadUp) mine.insert(mine.begin(), s);
    for (TRoutShadow* s : mine) cuts.push_back({s->A, s->B});
  }
  ASSERT_EQ(cuts.size(), 4u);
  const int32_t lo = Inch - r, hi = 2 * Inch + r;
  EXPECT_EQ(cuts[0].first, (TIntPoint{lo, Inch}));
  EXPECT_EQ(cuts[0].second, (TIntPoint{lo, hi}));
  EXPECT_EQ(cuts[1].second, (TIntPoint{hi, hi}));
  EXPECT_EQ(cuts[2].second, (TIntPoint{hi, lo}));
  EXPECT_EQ(cuts[3].second, (TIntPoint{Inch, lo}));
}

// A break-off hole of a tool from 100 on is named by the number the header
// defines, and reads back as that tool where it was, with a size or none; a
// tape without a header cannot name it, and the box says where the break-off
// holes' tool is set. A tool with a compensation index whose word would
// read as that defined tool refuses the tape.
TEST_F(TRoutRoundTripTest, ABreakOffHoleOfAToolFrom100OnReadsBackAsThatTool) {
  const std::string tape = Tape("H.RT", "M48\nINCH,LZ\nT01C0.125\n%\nG90\nT01\nG00X01Y01\nM15\nG01X02Y01\nM16\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  const TIntPoint at{5 * Inch, Inch};
  RTDB->AddHole(at, 40, 150);
  const auto written = Layer();
  const auto holeTools = [] {
    std::vector<int32_t> tools;
    for (int32_t p = 1; p <= Seq->Count(40); ++p)
      if (TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(40, p)); e && e->GetType() == 10)
        tools.push_back(e->GetToolNumber());
    return tools;
  };
  const struct {
    bool Header;
    int32_t Size;
  } cases[] = {{true, Inch / 25}, {true, 0}, {false, Inch / 25}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "header " << c.Header << " size " << c.Size);
    ResetHeadlessDialogs();
    RoutOutputFormat = DefaultRoutFormat(true);
    RoutOutputFormat.OutputM48Header = c.Header;
    RoutToolPages[40][150].Diameter = c.Size;
    std::string scratch;
    EXPECT_EQ(SaveRoutLayerToScratch(40, scratch), c.Header) << LastBoxText();
    if (c.Header) {
      EXPECT_TRUE(ReloadRoutLayer(scratch));
      EXPECT_TRUE(ShownMessageBoxes().empty()) << LastBoxText();
    } else {
      EXPECT_NE(LastBoxText().find("Tool 150 of the break-off holes"), std::string::npos) << LastBoxText();
      EXPECT_NE(LastBoxText().find("Tool Number in Auto Tab Settings"), std::string::npos) << LastBoxText();
    }
    EXPECT_EQ(Layer(), written);
    EXPECT_EQ(holeTools(), std::vector<int32_t>{150});
  }
  RoutOutputFormat = DefaultRoutFormat(true);
  // T0150 would read as tool 150, which the header defines.
  RTDB->AddJog({Inch, 2 * Inch}, 40, 0, 1, 50);
  std::string scratch;
  EXPECT_FALSE(SaveRoutLayerToScratch(40, scratch));
  EXPECT_NE(LastBoxText().find("Tool 1 with compensation index 50"), std::string::npos) << LastBoxText();
}

// The arc blocks of a tape in absolute coordinates with leading zeros kept,
// as a machine reads them, block by block: where each starts and ends, in
// steps of the format, the radius it states (A, or the length of its I and
// J as an offset; absolute I and J from its start), and whether its end
// lies on the ray from the centre its I and J state through its start (it
// turns none or a whole circle).
struct TMachineArc {
  std::pair<int64_t, int64_t> Start, End;
  double Radius = 0;
  bool Radial = false;
  std::string Text;
};
std::vector<TMachineArc> MachineArcs(const std::string& tape, const TRoutFormatRecord& f) {
  const TRoutTapeDigits d = RoutTapeDigits(f);
  std::vector<TMachineArc> arcs;
  std::pair<int64_t, int64_t> at{0, 0};
  int motion = -1;
  bool body = tape.rfind("M48", 0) != 0;
  std::size_t from = 0;
  while (from < tape.size()) {
    std::size_t to = tape.find('\n', from);
    if (to == std::string::npos) to = tape.size();
    std::string line = tape.substr(from, to - from);
    from = to + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!body) {
      body = line == "%";
      continue;
    }
    std::map<char, int64_t> words;
    for (std::size_t k = 0; k < line.size();) {
      const char letter = line[k++];
      std::size_t end = k;
      if (end < line.size() && (line[end] == '-' || line[end] == '+')) ++end;
      while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end]))) ++end;
      std::string digits = line.substr(k, end - k);
      k = end;
      const bool negative = !digits.empty() && digits[0] == '-';
      if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.erase(0, 1);
      if (digits.empty()) continue;
      // A G or M word is its number; a length has its trailing zeros left off.
      int64_t value = std::stoll(digits);
      if (letter != 'G' && letter != 'M')
        for (std::size_t n = digits.size(); n < std::size_t(d.IntegerDigits + d.DecimalDigits); ++n) value *= 10;
      words[letter] = negative ? -value : value;
    }
    if (words.count('G') && words['G'] <= 3) motion = int(words['G']);
    if (!words.count('X') && !words.count('Y')) continue;
    const std::pair<int64_t, int64_t> start = at;
    if (words.count('X')) at.first = words['X'];
    if (words.count('Y')) at.second = words['Y'];
    if (motion != 2 && motion != 3) continue;
    double radius = double(words['A']);
    bool radial = false;
    if (f.IJMode) {
      const int64_t i = words['I'] - (f.IJIncremental ? 0 : start.first);
      const int64_t j = words['J'] - (f.IJIncremental ? 0 : start.second);
      radius = std::hypot(double(i), double(j));
      if (f.IJSigned || !f.IJIncremental) {
        int64_t cx = words['I'], cy = words['J'];
        if (f.IJIncremental) {
          const auto& from = f.IJFromStartPoint ? start : at;
          cx += from.first;
          cy += from.second;
        }
        const int64_t ax = start.first - cx, ay = start.second - cy, bx = at.first - cx, by = at.second - cy;
        radial = ax * by == ay * bx && ax * bx + ay * by > 0;
      }
    }
    arcs.push_back({start, at, radius, radial, line});
  }
  return arcs;
}

// An arc of more than a half circle (a job of another version holds them)
// is cut about its own centre when its tape is read back, whatever the
// arc words: a radius alone would state the shorter arc about the other
// centre. Nor may the digits throw it off where a block's sweep nears a half
// circle and the rounded ends and radius leave its centre loose (350 degrees
// in two halves, a single arc of 170 or 175): every arc read back runs the arc's way
// about a centre within one step of the format from the arc's own, and the
// last ends within one step of the arc's end. The rows in the default
// digits read back exactly, as they always have.
TEST_F(TRoutRoundTripTest, AnArcPastOrNearAHalfCircleReadsBackAboutItsCentre) {
  const struct {
    bool IJ, FromStart, Signed, Incremental;
    bool Metric = false;
    int Integer = 0, Decimal = 0;  // 0: the default digits
    double Sweep = 270;            // degrees
    int32_t Off = 0;               // the centre off (1, 1) by this and a third of it, database units
    int32_t Radius = Inch;
    // Lines each way between the arc and its path's ends: the ends of the
    // path's first and last lines stay, however the arc reads back.
    int Lines = 0;
    double From = 0;  // the angle the arc is drawn from, degrees
    // A short arc of this radius goes on from the arc's end the same way
    // round, half a degree, before the lines after it.
    int32_t Then = 0;
    // The arc is under a step of the format: the tape cuts it as a line or
    // not at all, and states no arc block for it.
    bool NoBlock = false;
    uint8_t Version = 1;  // the machine's axis version
  } cases[] = {{false, true, true, true},
               {true, true, true, true},
               {true, false, false, true},
               {true, true, true, false},
               {false, true, true, true, true, 3, 2, 350},
               {false, true, true, true, true, 4, 2, 350},
               {false, true, true, true, false, 2, 3, 350},
               {false, true, true, true, false, 3, 3, 350},
               {false, true, true, true, true, 3, 2, 170},
               {false, true, true, true, false, 2, 3, 175},
               {true, true, true, true, true, 3, 2, 350},
               {true, false, false, true, false, 2, 3, 350},
               {true, true, true, false, false, 3, 3, 350},
               // A centre between steps: I and J, or a radius, rounded
               // from it would read back more than a step off.
               {true, true, true, false, true, 3, 2, 350, 4948},
               {false, true, true, true, true, 3, 2, 60, 4948, 7584570},
               // Nor in equal pieces: the ends between pieces go on the
               // steps beside them that read back nearest.
               {false, true, true, true, false, 2, 3, 159, 4041, 6939184},
               {true, true, true, true, true, 3, 2, 167, 9143, 35255318},
               // A short arc the path goes on from each way: its ends go on
               // the steps beside them that read back nearest.
               {false, true, true, true, true, 3, 2, 19, 4926, 25737856, 2},
               {false, true, true, true, false, 2, 3, 13, 860, 19446865, 2},
               {false, true, true, true, true, 3, 2, 19, 4926, 25737856, 1},
               // Read back, the centre lies on a step: the radius it was
               // read from writes the tape again as it was.
               {false, true, true, true, false, 3, 3, 94, 4268, 19775357, 0, 30},
               {false, true, true, true, true, 3, 2, 50, 474, 12664630, 0, 30},
               // An arc whose ends fall on one step of the format (a pad's
               // corner of 0.43 degree, radius 0.017 in): no arc block, which
               // a machine reading I and J would cut as a whole circle, alone
               // or inside a path, in radius, I/J from the start and absolute.
               {false, true, true, true, false, 2, 3, 0.43, 4948, 431800, 0, 225, 0, true},
               {true, true, true, true, false, 2, 3, 0.43, 4948, 431800, 0, 225, 0, true},
               {true, true, true, false, false, 2, 3, 0.43, 4948, 431800, 1, 225, 0, true},
               {true, true, true, true, false, 2, 3, 0.43, 4948, 431800, 1, 225, 0, true},
               {false, true, true, true, false, 2, 2, 0.43, 4948, 431800, 2, 225, 0, true},
               {true, false, false, true, true, 3, 1, 0.43, 4948, 431800, 1, 225, 0, true},
               // A radius under a step: the line between the rounded ends.
               {true, true, true, true, true, 3, 1, 170, 50000, 40000, 1, 0, 0, true},
               {false, true, true, true, true, 3, 1, 170, 50000, 40000, 0, 0, 0, true},
               // A long flat arc whose end the path goes on from, then one of
               // 0.0001 in radius: that one is no hook of arc blocks.
               {true, true, true, false, false, 2, 2, 0.83, 4948, 1064260000, 1, 200, 2540},
               // A short arc whose start, the end of the line before it, would
               // go a step past its end: no whole circle back round to it.
               {true, false, true, true, false, 3, 3, 0.55, 0, 2235200, 2, 42},
               // Absolute I and J of a radius a little over a step: no block
               // states its centre on its start.
               {true, true, true, false, false, 2, 2, 30, 211, 304800, 1},
               // Nor one that ends on the ray from it through its start,
               // where the tape's axes mirror the drawing's: a line instead.
               {true, true, true, false, false, 2, 4, 30, 776, 3048, 1, 0, 0, true, 2},
               // A short arc after one whose end went a step aside, its ends
               // a step apart: not cut back round a circle about I and J a
               // step off its centre.
               {true, true, true, true, false, 2, 4, 5, 1655, 124086, 1, 0, 17537}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "I/J " << c.IJ << c.FromStart << c.Signed << c.Incremental << " metric "
                                    << c.Metric << " " << c.Integer << "." << c.Decimal << " sweep " << c.Sweep
                                    << " lines " << c.Lines << " version " << int(c.Version));
    for (const bool clockwise : {true, false}) {
      RTDB->DeleteLayer(40);
      // About (1, 1) clockwise from (2, 1), or from the angle From, through the sweep, back from there
      // counter-clockwise: three quarters of a circle end at (1, 2).
      const double near = c.From * M_PI / 180, far = near - c.Sweep * M_PI / 180;
      const TIntPoint centre{Inch + c.Off, Inch + c.Off / 3},
          a{centre.X + int32_t(std::lround(c.Radius * std::cos(near))),
            centre.Y + int32_t(std::lround(c.Radius * std::sin(near)))};
      const TIntPoint b{centre.X + int32_t(std::lround(c.Radius * std::cos(far))),
                        centre.Y + int32_t(std::lround(c.Radius * std::sin(far)))};
      const TIntPoint from = clockwise ? a : b, to = clockwise ? b : a;
      if (c.Lines > 0) {
        RTDB->AddJog({from.X - Inch / 2, from.Y - Inch / 3}, 40, 0, 1, 1);
        if (c.Lines > 1) RTDB->AddLine({from.X - Inch / 3, from.Y + Inch / 5}, 40, 0, 0);
        RTDB->AddLine(from, 40, 0, 0);
      } else {
        RTDB->AddJog(from, 40, 0, 1, 1);
      }
      RTDB->AddArc(to, 40, 0, clockwise, centre, 0);
      if (c.Then > 0) {
        // Its centre on the radius through the arc's end, on the arc's side.
        const double along = std::atan2(double(centre.Y) - to.Y, double(centre.X) - to.X);
        const TIntPoint then{to.X + int32_t(std::lround(c.Then * std::cos(along))),
                             to.Y + int32_t(std::lround(c.Then * std::sin(along)))};
        const double turn = (clockwise ? -0.5 : 0.5) * M_PI / 180, back = along + M_PI + turn;
        RTDB->AddArc({then.X + int32_t(std::lround(c.Then * std::cos(back))),
                      then.Y + int32_t(std::lround(c.Then * std::sin(back)))},
                     40, 0, clockwise, then, 0);
      }
      if (c.Lines > 0) RTDB->AddLine({to.X + Inch / 3, to.Y - Inch / 5}, 40, 0, 0);
      if (c.Lines > 1) RTDB->AddLine({to.X + Inch / 2, to.Y + Inch / 3}, 40, 0, 0);
      RoutOutputFormat = DefaultRoutFormat(true);
      RoutOutputFormat.IJMode = c.IJ;
      RoutOutputFormat.IJFromStartPoint = c.FromStart;
      RoutOutputFormat.IJSigned = c.Signed;
      RoutOutputFormat.IJIncremental = c.Incremental;
      RoutOutputFormat.Metric = c.Metric;
      RoutOutputFormat.UnitsFactor = UnitsFactorOf(c.Metric);
      RoutOutputFormat.Version = c.Version;
      if (c.Decimal > 0) {
        (c.Metric ? RoutOutputFormat.MetricIntegerDigits : RoutOutputFormat.IntegerDigits) = uint8_t(c.Integer);
        (c.Metric ? RoutOutputFormat.MetricDecimalDigits : RoutOutputFormat.DecimalDigits) = uint8_t(c.Decimal);
      }
      // One step of the format, in database units.
      const int32_t within = c.Decimal > 0 ? int32_t(UnitsFactorOf(c.Metric) / std::pow(10, c.Decimal)) : 0;
      std::string tape;
      ASSERT_TRUE(SaveRoutLayerToScratch(40, tape));
      const std::string written = ReadFileBytes(NativePath(tape));
      // Block by block, as a machine reads them: no arc block ends where it
      // starts, and each states the arc's radius.
      const std::vector<TMachineArc> blocks = MachineArcs(written, RoutOutputFormat);
      if (c.NoBlock) {
        EXPECT_TRUE(blocks.empty()) << written;
      }
      const double step = UnitsFactorOf(c.Metric) / std::pow(10, RoutTapeDigits(RoutOutputFormat).DecimalDigits);
      for (const TMachineArc& block : blocks) {
        EXPECT_NE(block.End, block.Start) << block.Text << "\n" << written;
        EXPECT_NEAR(block.Radius, c.Radius / step, 2) << block.Text << "\n" << written;
        EXPECT_GE(block.Radius, 1) << block.Text << "\n" << written;
        EXPECT_FALSE(block.Radial) << block.Text << "\n" << written;
      }
      // Radii the layer keeps whole (past 135 degrees it reads pieces),
      // read by Open Rout Tape and written again, come back as they were.
      const auto writtenAgain = [&] {
        if (c.IJ || c.Sweep > 135) return;
        RoutInputFormat = RoutOutputFormat;
        AcceptFormat();
        RTDB->DeleteLayer(40);
        ASSERT_TRUE(ImportRoutTape(tape, 0, false));
        std::string again;
        ASSERT_TRUE(SaveRoutLayerToScratch(40, again));
        EXPECT_EQ(ReadFileBytes(NativePath(again)), written);
      };
      // Alone on its path, it leaves a plunge that draws nothing read back.
      if (c.NoBlock && c.Lines == 0) continue;
      const auto back = WriteAndReadBack();
      if (c.NoBlock) {
        // Nor does one come back: the lines' ends do, as the tape rounds them.
        for (const std::string& entity : back) EXPECT_NE(entity[0], 'A') << entity;
        EXPECT_GE(back.size(), 1u + 2 * c.Lines);
        writtenAgain();
        continue;
      }
      ASSERT_GE(back.size(), c.Sweep > 180 ? 3u : 2u);
      TIntPoint start{}, end{}, before{}, last{};
      std::size_t arcs = 0;
      double turned = 0;  // degrees, by the arcs read back
      for (int32_t p = 1; p <= Seq->Count(40); ++p) {
        TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(40, p));
        if (e == nullptr) continue;
        const TIntPoint from = last;
        last = {e->X, e->Y};
        if (!IsArcType(e->GetType())) before = last;
        if (!IsArcType(e->GetType())) continue;
        if (arcs == 0) start = before;
        SCOPED_TRACE(back[++arcs]);
        TIntPoint at;
        e->GetCentre(at);
        end = {e->X, e->Y};
        EXPECT_EQ(e->GetType(), clockwise ? etRoutArcReverse : etRoutArc);
        const double a0 = std::atan2(double(from.Y) - at.Y, double(from.X) - at.X),
                     a1 = std::atan2(double(end.Y) - at.Y, double(end.X) - at.X);
        const double turn = std::remainder(clockwise ? a0 - a1 : a1 - a0, 2 * M_PI) * 180 / M_PI;
        turned += turn <= 0 ? turn + 360 : turn;
        // An arc of a few degrees may come back steps off its centre along
        // its chord (the README gives how far).
        if (c.Lines == 1 || c.Sweep < 5) continue;
        EXPECT_LE(std::abs(at.X - centre.X), within);
        EXPECT_LE(std::abs(at.Y - centre.Y), within);
      }
      // The short arc after it comes back as a line at most, and the arcs
      // turn as far as the arc, not round a circle or a hook more.
      EXPECT_LE(back.size() - 1 - 2 * std::size_t(c.Lines) - arcs, c.Then > 0 ? 1u : 0u);
      EXPECT_NEAR(turned, c.Sweep, 10 + 2 / (c.Radius / step) * 180 / M_PI);
      // The ends of a path and of its first and last lines stay where the
      // tape rounds them.
      const int32_t startWithin = c.Lines > 1 ? within : within / 2;
      const int32_t endWithin = c.Lines > 1 || c.Then > 0 ? within : within / 2;
      EXPECT_LE(std::abs(start.X - from.X), startWithin);
      EXPECT_LE(std::abs(start.Y - from.Y), startWithin);
      EXPECT_LE(std::abs(end.X - to.X), endWithin);
      EXPECT_LE(std::abs(end.Y - to.Y), endWithin);
      writtenAgain();
    }
  }
}

TEST_F(TRoutRoundTripTest, EveryAxisVersionReadsBackToTheSamePoints) {
  const std::string tape = Tape("V.RT",
                                "%\nG90\nT01\nG00X010000Y020000\nM15\nG01X030000Y020000\n"
                                "X030000Y050000\nM16\nG05X012500Y017500\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  const auto first = Layer();
  for (uint8_t v = 1; v <= 8; ++v) {
    RoutOutputFormat = DefaultRoutFormat(true);
    RoutOutputFormat.Version = v;
    EXPECT_EQ(WriteAndReadBack(), first) << "version " << int(v);
  }
}

// Random rout layers (paths of either compensation side or none, lines and
// arcs either way, routed circles, break-off holes, commands, feeds, a
// panel origin), each written in a random output format and read back with
// it: the layer, the stated tool sizes and compensation sizes come back,
// and the tape written again is the same tape.
// The machine data of layer 40 in cut order: each entity's kind and point,
// a path start's tool, compensation index and side, a cut's feed (none
// where feeds are not written), a circle's tool, index, radius and
// direction, a hole's tool and a command's text (none where commands are
// not written).
std::vector<std::string> MachineData(bool feeds, bool commands) {
  std::vector<std::string> out;
  for (int32_t p = 1; p <= Seq->Count(40); ++p) {
    const int32_t h = Seq->HandleAt(40, p);
    const TEntitySlot* slot = RTDB->SlotAt(h);
    TRoutEntity* e = RTDB->EntityAt(h);
    if (!slot || !e || SlotDeleted(slot->Flags)) continue;
    const uint8_t type = e->GetType();
    if (type == etRoutCommand && !commands) continue;
    // A command's point is where the layer drew it, not machine data.
    std::string line = std::to_string(type);
    if (type != etRoutCommand) line += " " + std::to_string(e->X) + "," + std::to_string(e->Y);
    const std::string feed = feeds && type != etRoutJog && type != etRoutHole && type != etRoutCommand
                                 ? " f" + std::to_string(e->GetFeedRate())
                                 : "";
    TIntPoint c;
    std::string text;
    switch (type) {
      case etRoutJog:
        line += " t" + std::to_string(e->GetToolNumber()) + "/" + std::to_string(e->GetCompIndex()) + " s" +
                std::to_string(e->GetComp());
        break;
      case etRoutArc:
      case etRoutArcReverse:
        e->GetCentre(c);
        line += " c" + std::to_string(c.X) + "," + std::to_string(c.Y);
        break;
      case etRoutCircle:
        line += " t" + std::to_string(e->GetToolNumber()) + "/" + std::to_string(e->GetCompIndex()) + " r" +
                std::to_string(e->GetRadius()) + (e->IsAG32() ? " G32" : " G33");
        break;
      case etRoutHole:
        line += " t" + std::to_string(e->GetToolNumber());
        break;
      case etRoutCommand:
        e->GetString(text);
        line += " " + text;
        break;
      default:
        break;
    }
    out.push_back(line + feed);
  }
  return out;
}

TEST_F(TRoutRoundTripTest, RandomLayersReadBackInEveryOutputFormat) {
  constexpr int32_t Grid = Inch / 100;  // every point and size lies on a 0.01 in grid
  std::mt19937 random(20240611);
  const auto pick = [&random](int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(random);
  };
  // Offsets from an arc's centre of one radius: the eight of 5 and the four of 0/5.
  const TIntPoint rims[] = {{3, 4}, {4, 3}, {-3, 4}, {-4, 3}, {3, -4}, {4, -3}, {-3, -4},
                            {-4, -3}, {5, 0}, {0, 5}, {-5, 0}, {0, -5}};
  const std::string printable = "ABCXYZ0123456789 ,.;:()/-+=*#%_abcxyz\t";
  int layers = 0, tapes = 0, refused = 0;
  for (int round = 0; round < 400; ++round) {
    RTDB->DeleteLayer(40);
    RoutToolPages[40].Fill({});
    RTDB->G93Origins[40] = {};
    TRoutFormatRecord f = DefaultRoutFormat(true);
    f.Metric = pick(0, 1) == 1;
    f.UnitsFactor = UnitsFactorOf(f.Metric);
    f.IntegerDigits = static_cast<uint8_t>(pick(2, 4));
    f.DecimalDigits = static_cast<uint8_t>(pick(2, 6));
    f.MetricIntegerDigits = static_cast<uint8_t>(pick(3, 4));
    f.MetricDecimalDigits = static_cast<uint8_t>(pick(3, 6));
    f.ZerosUsed = static_cast<uint8_t>(pick(0, 3));
    f.Absolute = pick(0, 1) == 1;
    f.Version = static_cast<uint8_t>(pick(1, 8));
    f.CounterClockwise = pick(0, 1) == 1;
    const int arcMode = pick(0, 3);
    f.IJMode = arcMode > 0;
    f.IJIncremental = arcMode != 3;
    f.IJFromStartPoint = arcMode != 2;
    f.IJSigned = pick(0, 3) > 0;
    f.OutputM48Header = pick(0, 3) > 0;
    f.OutputFeedRate = pick(0, 1) == 1;
    f.OutputUnparsed = pick(0, 3) > 0;
    f.OutputG93 = pick(0, 1) == 1;
    RoutOutputFormat = f;
    const int32_t feedStep = f.Metric ? 300 : 127;
    // Tools 1 to 6 mostly, now and then one about 100 (named on a tape only
    // where its header defines it), some without a size.
    const auto toolOf = [&] { return pick(0, 9) > 0 ? pick(1, 6) : pick(97, 103); };
    const std::vector<int32_t> pageTools = {1, 2, 3, 4, 5, 6, 97, 98, 99, 100, 101, 102, 103};
    for (const int32_t tool : pageTools) {
      RoutToolPages[40][tool].Diameter = pick(0, 9) > 0 ? pick(1, 25) * Grid : 0;
      const int comp = pick(0, 2);
      RoutToolPages[40][tool].CompDiameter =
          comp == 0 ? 0 : comp == 1 ? RoutToolPages[40][tool].Diameter : pick(1, 25) * Grid;
    }
    if (pick(0, 3) == 0) RTDB->G93Origins[40] = {pick(0, 90) * Grid, pick(0, 90) * Grid};
    // The points keep 1 in from the format's edge: incremental words and
    // arc centres stay inside it too.
    const auto point = [&] { return TIntPoint{pick(100, 800) * Grid, pick(100, 800) * Grid}; };
    TIntPoint at{};
    // The tool, compensation index and side of the path that ended at
    // "at": a path begun there with all three the same reads back as that
    // path going on.
    std::array<int32_t, 3> ended{};
    const int paths = pick(1, 6);
    for (int p = 0; p < paths; ++p) {
      const int kind = pick(0, 9);
      if (kind == 0) {
        const int32_t radius = pick(5, 50) * Grid;
        const int32_t tool = toolOf();
        RTDB->AddCircle(point(), 40, tool, static_cast<uint16_t>(pick(0, 1) * pick(1, 200) * feedStep),
                        pick(0, 2) == 0 ? pick(0, 6) : tool, radius, pick(0, 1) == 1, 0);
        continue;
      }
      if (kind == 1) {
        for (int h = pick(1, 3); h > 0; --h) RTDB->AddHole(point(), 40, toolOf());
        ended = {};
        continue;
      }
      if (kind == 2) {
        std::string text = "M47,";
        for (int c = pick(0, 12); c > 0; --c) text += printable[pick(0, int(printable.size()) - 1)];
        RTDB->AddCommand(at, text, 0);
        continue;
      }
      const int32_t tool = toolOf();
      const std::array<int32_t, 3> path{tool, pick(0, 2) == 0 ? pick(0, 6) : tool, pick(0, 2)};
      if (pick(0, 3) > 0 || at == TIntPoint{} || path == ended) at = point();
      RTDB->AddJog(at, 40, static_cast<uint8_t>(path[2]), path[0], path[1]);
      ended = path;
      for (int s = pick(1, 5); s > 0; --s) {
        const uint16_t feed = static_cast<uint16_t>(pick(0, 2) == 0 ? pick(1, 200) * feedStep : 0);
        // A line, or an arc from a rim point of a radius of 5 to another.
        const bool clockwise = pick(0, 1) == 1;
        const int32_t scale = pick(1, 10) * Grid;
        const TIntPoint from = rims[pick(0, 11)];
        TIntPoint to = rims[pick(0, 11)];
        if ((from.X * from.X + from.Y * from.Y) != (to.X * to.X + to.Y * to.Y) || to == from) to = {-from.Y, from.X};
        // The layer's arcs sweep less than 135 degrees and, for unsigned
        // I and J, keep within a quadrant, as drawing and reading cut them.
        const double a0 = std::atan2(double(from.Y), double(from.X)), a1 = std::atan2(double(to.Y), double(to.X));
        const double sweep = std::remainder(a1 - a0, 2 * M_PI);
        const bool quadrant = std::floor(std::min(a0, a0 + sweep) / (M_PI / 2) + 1e-9) ==
                              std::floor(std::max(a0, a0 + sweep) / (M_PI / 2) - 1e-9);
        if (pick(0, 1) == 0 || (clockwise ? -sweep : sweep) <= 0 || std::fabs(sweep) >= 0.75 * M_PI ||
            (f.IJMode && !f.IJSigned && !quadrant)) {
          TIntPoint next = point();
          if (next == at) next.X += Grid;
          RTDB->AddLine(next, 40, feed, 0);
          at = next;
          continue;
        }
        // An arc about a centre one radius away from here, to another rim
        // point of the same radius.
        const TIntPoint centre{at.X - from.X * scale, at.Y - from.Y * scale};
        const TIntPoint end{centre.X + to.X * scale, centre.Y + to.Y * scale};
        RTDB->AddArc(end, 40, feed, clockwise, centre, 0);
        at = end;
      }
    }
    const auto layer = MachineData(f.OutputFeedRate, f.OutputUnparsed);
    if (layer.empty()) continue;  // commands alone, left off the tape
    ++layers;
    const TRoutToolPage page = RoutToolPages[40];
    const TIntPoint origin = RTDB->G93Origins[40];
    std::string first;
    if (!SaveRoutLayerToScratch(40, first)) {
      // Only a tool the tape cannot name refuses it.
      const std::string box = LastBoxText();
      EXPECT_TRUE(box.find("cannot be written to a rout tape") != std::string::npos ||
                  box.find("of the break-off holes is named on a rout tape only by the M48 header") !=
                      std::string::npos)
          << "round " << round << ": " << box;
      ++refused;
      continue;
    }
    ++tapes;
    const std::string written = ReadFileBytes(NativePath(first));
    const auto trace = testing::Message() << "round " << round << "\n" << written;
    RoutToolPages[40].Fill({});
    ASSERT_TRUE(ReloadRoutLayer(first)) << trace << LastBoxText();
    EXPECT_EQ(MachineData(f.OutputFeedRate, f.OutputUnparsed), layer) << trace;
    if (f.OutputG93) {
      EXPECT_EQ(RTDB->G93Origins[40], origin) << trace;
    }
    for (const int32_t tool : pageTools) {
      if (written.find("CP," + std::to_string(tool) + ",") != std::string::npos) {
        EXPECT_EQ(RoutToolPages[40][tool].CompDiameter, page[tool].CompDiameter) << "tool " << tool << trace;
      }
      if (written.find((tool < 10 ? "T0" : "T") + std::to_string(tool) + "C") != std::string::npos) {
        EXPECT_EQ(RoutToolPages[40][tool].Diameter, page[tool].Diameter) << "tool " << tool << trace;
      }
    }
    std::string second;
    ASSERT_TRUE(SaveRoutLayerToScratch(40, second)) << trace << LastBoxText();
    EXPECT_EQ(ReadFileBytes(NativePath(second)), written) << trace;
    DeleteFileIfExists(first);
    DeleteFileIfExists(second);
    if (HasFailure()) break;
  }
  EXPECT_EQ(tapes + refused, layers);
  EXPECT_GT(tapes, layers * 3 / 4);
}

TEST_F(TRoutRoundTripTest, PublicRoutTapesComeBackWithIdenticalPaths) {
  const fs::path data = SharedTestData();
  if (data.empty()) GTEST_SKIP() << "shared test data absent";
  int tapes = 0;
  for (const auto& entry : fs::directory_iterator(data / "excellon")) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".rou" && ext != ".RT") continue;
    SCOPED_TRACE(entry.path().filename().string());
    RTDB->DeleteLayer(40);
    AcceptFormat();
    ASSERT_TRUE(ImportRoutTape(entry.path().string(), 0, false));
    const auto first = Geometry();
    ASSERT_FALSE(first.empty());
    std::string scratch;
    ASSERT_TRUE(SaveRoutLayerToScratch(40, scratch));
    ASSERT_TRUE(ReloadRoutLayer(scratch));
    EXPECT_EQ(Geometry(), first);
    ++tapes;
  }
  EXPECT_GE(tapes, 1);
}

// ---- File commands ---------------------------------------------------------------------

TEST_F(TRoutImportTest, OpenRoutTapeKeepsTheLayerWhenTheDialogIsCancelledOrTheTapeFails) {
  const std::string good = Tape("G.RT", "%\nG00X010000Y010000\nM15\nG01X020000Y010000\nM16\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(good, 0, false));
  RoutLayerModified[40] = false;
  const auto before = Layer();

  ScriptCommonDialogCancel();
  OpenRoutTape(40);
  EXPECT_EQ(Layer(), before);

  ScriptFileDialogAnswer(NativePath(ExecutionPath() + "ROUT\\GONE.RT"));
  AcceptFormat();
  OpenRoutTape(40);
  EXPECT_EQ(Layer(), before);
  EXPECT_EQ(ShownMessageBoxes().back().Type, mtError);

  // A good tape replaces the layer.
  const std::string other = Tape("O.RT", "%\nG00X050000Y050000\nM15\nG01X060000Y050000\nM16\nM30\n");
  ScriptFileDialogAnswer(NativePath(other));
  AcceptFormat();
  OpenRoutTape(40);
  const auto after = Geometry();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0], "J " + std::to_string(5 * Inch) + "," + std::to_string(5 * Inch) + " t1/1 s0");
  EXPECT_FALSE(RoutLayerModified[40]);
}

TEST_F(TRoutImportTest, SaveOverAnExistingTapeKeepsABackupAndAFailedSaveRestoresIt) {
  const std::string good = Tape("G.RT", "%\nG00X010000Y010000\nM15\nG01X020000Y010000\nM16\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(good, 0, false));
  RoutLayerModified[40] = true;
  const fs::path target = NativePath(ExecutionPath() + "ROUT\\OUT.RT");
  WriteFileBytes(target, "OLD TAPE\r\n");

  // Overwrite, then Cancel in the output format dialog: nothing is written,
  // the old tape is back and the layer is still modified.
  ScriptFileDialogAnswer(target.string());
  ScriptMessageBoxAnswer(mrYes);
  QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("CancelButton"); });
  EXPECT_FALSE(SaveRoutFileAs(40));
  EXPECT_EQ(ReadFileBytes(target), "OLD TAPE\r\n");
  EXPECT_TRUE(RoutLayerModified[40]);
  EXPECT_TRUE(RoutLayerFileNames[40].empty());

  ScriptFileDialogAnswer(target.string());
  ScriptMessageBoxAnswer(mrYes);
  AcceptOutputFormat();
  ASSERT_TRUE(SaveRoutFileAs(40));
  EXPECT_EQ(ReadFileBytes(NativePath(ExecutionPath() + "ROUT\\OUT.~RT")), "OLD TAPE\r\n");
  EXPECT_NE(ReadFileBytes(target).find("G01X02Y01"), std::string::npos) << ReadFileBytes(target);
  EXPECT_FALSE(RoutLayerModified[40]);
  EXPECT_FALSE(RoutLayerFileNames[40].empty());
  EXPECT_FALSE(DatabaseFileName.empty());

  // Cancel in the save dialog changes nothing.
  RoutLayerModified[40] = true;
  ScriptCommonDialogCancel();
  EXPECT_FALSE(SaveRoutFileAs(40));
  EXPECT_TRUE(RoutLayerModified[40]);
}

TEST_F(TRoutImportTest, AModifiedLayerIsSavedOrKeptBeforeItIsReplaced) {
  RoutLayerModified[40] = true;
  ScriptMessageBoxAnswer(mrCancel);
  EXPECT_FALSE(ConfirmRoutLayerSave(40));
  ScriptMessageBoxAnswer(mrNo);
  EXPECT_TRUE(ConfirmRoutLayerSave(40));
  RoutLayerModified[40] = false;
  EXPECT_TRUE(ConfirmRoutLayerSave(40));
}

}  // namespace

namespace {
// Two paths under equal step lists share one pattern after the import;
// deleting one path leaves the other's copies whole.
TEST_F(TRoutImportTest, EqualStepListsAreSharedAndSurviveDeletingOnePath) {
  const std::string tape = Tape("STEPS.RT",
                                "M48\nT03C0.1250\n%\nT03\n"
                                "M25\nG00X010000Y010000\nM15\nG01X020000Y010000\nM16\nM01\nM02X030000\nM08\n"
                                "M25\nG00X010000Y050000\nM15\nG01X020000Y050000\nM16\nM01\nM02X030000\nM08\n"
                                "M30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(tape, 0, false));
  std::vector<int32_t> jogs;
  for (int32_t i = 1; i <= RoutEntityCount; ++i)
    if (RTDB->EntityAt(i)->GetType() == etRoutJog && RTDB->EntityAt(i)->GetStepObj() != nullptr)
      jogs.push_back(i);
  ASSERT_EQ(jogs.size(), 2u) << ::testing::PrintToString(Geometry());
  TStepObject* shared = RTDB->EntityAt(jogs[0])->GetStepObj();
  EXPECT_EQ(shared, RTDB->EntityAt(jogs[1])->GetStepObj());
  const TStepCommandList commands = shared->Commands();
  ASSERT_FALSE(commands.empty());
  for (int32_t i = jogs[1] - 1; i >= jogs[0]; --i) {
    Seq->RemoveHandle(i);
    RTDB->DeleteEntity(i);
  }
  RTDB->Compact();
  TStepObject* left = nullptr;
  for (int32_t i = 1; i <= RoutEntityCount; ++i)
    if (RTDB->EntityAt(i)->GetType() == etRoutJog) left = RTDB->EntityAt(i)->GetStepObj();
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(left->Commands(), commands);
}

// A tape as old machines and serial links leave it reads as the clean tape
// does, as a machine's tape reader reads it: the same paths, holes and
// commands (none from tape feed or blank lines), block numbers that are
// the tape's own lines, and the same answer from Drill Import's guess.
TEST_F(TRoutImportTest, TapeFeedAndLineEndsReadAsTheCleanTape) {
  using namespace std::string_literals;
  const std::vector<std::string> lines = {"M48",     "INCH,LZ",           "T03C0.1250",        "%",
                                          "G90",     "T03",               "G00X010000Y010000", "M15",
                                          "G01X020000Y010000", "M47,CUT HERE", "G01X020000Y021234", "M16",
                                          "G00X1234567Y010000", "M30"};
  const auto join = [&lines](const std::string& end, const std::string& before = "") {
    std::string text;
    for (const std::string& line : lines) text += before + line + end;
    return text;
  };
  // Lines 1..9, a line of its own, and lines 10..14.
  const auto between = [&lines](const std::string& line) {
    std::string text;
    for (std::size_t k = 0; k < lines.size(); ++k) text += (k == 9 ? line + "\r\n" : "") + lines[k] + "\r\n";
    return text;
  };
  const std::string clean = join("\r\n");
  std::string inWord = clean;
  inWord.insert(inWord.find("Y021234") + 3, "\0"s);
  // A TAB inside a word and between words is a blank of the block.
  std::string tabs = clean;
  tabs.insert(tabs.find("Y021234") + 3, "\t");
  tabs.insert(tabs.find("Y010000\r\nM15"), "\t");
  tabs.insert(tabs.find("T03C") + 1, "\t");
  const std::string nuls(300, '\0'), dels(40, '\x7f');
  const struct {
    const char* Name;
    std::string Text;
    int32_t BadLine;  // where the tape's block of too many digits stands
    int32_t FeedLine = 0;  // the block named for the feed inside it
  } cases[] = {
      {"CR LF", clean, 13},
      {"LF", join("\n"), 13},
      {"CR", join("\r"), 13},
      {"CR CR LF", join("\r\r\n"), 13},
      {"LF CR", join("\n\r"), 13},
      {"NUL leader", nuls + clean, 13},
      {"NUL leader line", nuls + "\r\n" + clean, 14},
      {"DEL leader", dels + clean, 13},
      {"NUL trailer", clean + nuls, 13},
      {"DEL trailer", clean + dels + "\r\n" + dels, 13},
      {"empty line", between(""), 14},
      {"blank line", between(" \t "), 14},
      {"NUL line", between(nuls), 14},
      {"DEL line", between(dels), 14},
      {"Ctrl-Z line", between("\x1a"), 14},
      {"XON line", "\x11\x11\x11\r\n" + clean, 14},
      {"XOFF at the end", clean + "\x13", 13},
      {"DC2 ... DC4", "\x12" + clean + "\x14", 13},
      {"fill after line ends", join("\r\n\0\0"s), 13},
      {"fill before line ends", join("\0\0\r\n"s), 13},
      {"DEL fill", join("\r\n", "\x7f"), 13},
      {"Ctrl-Z line at the end", clean + "\x1a\r\n", 13},
      {"NUL inside a word", inWord, 13, 11},
      {"blank lines in CR CR LF", between("\r\r\n\r\r") , 15},
      {"TABs inside and between words", tabs, 13},
  };
  uint8_t cleanFormat = 99;
  ASSERT_TRUE(DetectImportFormat(Tape("CLEAN.RT", clean), cleanFormat));
  std::vector<std::string> want;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    RTDB->EmptyLayer(40);
    ResetHeadlessDialogs();
    const std::string tape = Tape("DIRTY.RT", c.Text);
    AcceptFormat();
    ASSERT_TRUE(ImportRoutTape(tape, 0, false)) << LastBoxText();
    const auto layer = Layer();
    if (want.empty()) want = layer;
    EXPECT_EQ(layer, want);
    const std::string text = LastBoxText();
    EXPECT_NE(text.find("Block " + std::to_string(c.BadLine) + ":"), std::string::npos) << text;
    EXPECT_EQ(text.find("Block ", text.find("Block ") + 1), std::string::npos) << text;
    EXPECT_NE(text.find("Some errors were detected"), std::string::npos) << text;  // feed or not
    const std::size_t feed = text.find("tape feed");
    if (c.FeedLine == 0) {
      EXPECT_EQ(feed, std::string::npos) << text;
    } else {
      EXPECT_NE(text.find("Line " + std::to_string(c.FeedLine) + ": the tape feed inside the block "
                          "\"G01X020000Y02<NUL>1234\" was passed over"),
                std::string::npos)
          << text;
      EXPECT_EQ(text.find("tape feed", feed + 1), std::string::npos) << text;  // once a read
    }
    uint8_t format = 99;
    ASSERT_TRUE(DetectImportFormat(tape, format));
    EXPECT_EQ(format, cleanFormat);
  }
  EXPECT_EQ(cleanFormat, ifExcellon);
}

// The bounds of blank tape: a trailer of more zero bytes than a line holds
// behind M30 is never reached (the reader stops at the program's end) and
// reads clean; without M30, or as a leader or inside the tape, it is no
// tape. A read stopped so leaves the layer, its insertion point and its
// path state as they were, whatever it had read before.
TEST_F(TRoutImportTest, ZeroBytesPastBlankTapeStopTheReadAndLeaveTheLayer) {
  const std::string head = "M48\r\nINCH,LZ\r\nT03C0.1250\r\n%\r\nG90\r\nT03\r\nG00X012345Y016789\r\nM15\r\n"
                           "G01X023456Y016789\r\nG01X023456Y027890\r\nG01X031234Y027890\r\nM16\r\n";
  const std::string zeros(kMaxTextLine + 10, '\0');
  const struct {
    const char* Name;
    std::string Text, Said;  // nothing said: read clean
    bool Guessed = true;     // Drill Import's guess is asked
  } cases[] = {
      {"trailer after M30", head + "M30\r\n" + zeros, ""},
      {"trailer after M30 on lines", head + "M30\r\n" + zeros + "\r\n" + zeros, ""},
      {"trailer after M30 and a rewind stop", head + "M30\r\n%\r\n" + zeros, ""},
      {"trailer after M30 and a comment", head + "M30\r\n;END OF TAPE\r\n\x13" + zeros, ""},
      {"trailer without M30", head + zeros, "Line 13: the file ends in 65,546 zero bytes"},
      {"leader", zeros + head + "M30\r\n", "Line 1: more than 65,536 zero bytes in a row"},
      {"leader behind an XON", "\x11" + zeros + head + "M30\r\n", "Line 1: more than 65,536 zero bytes in a row"},
      {"leader behind DC2 and rubouts", "\x12\x7f\x7f" + zeros + head + "M30\r\n",
       "Line 1: more than 65,536 zero bytes in a row"},
      {"inside the tape", head + zeros + "\r\nG00X0Y0\r\nM30\r\n", "Line 13: more than 65,536 zero bytes in a row"},
      {"a line too long", head + std::string(kMaxTextLine + 10, '7') + "\r\nM30\r\n",
       "Line 13 is longer than 65,536 characters", false},
  };
  const std::string good = Tape("G.RT", "%\nG00X010000Y010000\nM15\nG01X020000Y010000\nM16\nM30\n");
  AcceptFormat();
  ASSERT_TRUE(ImportRoutTape(good, 0, false));
  Seq->SetInsertAtStart(40);
  const auto before = Layer();
  const int32_t insert = Seq->InsertPoint(40);
  const TRoutPathState path = RTDB->PathState[40];
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ResetHeadlessDialogs();
    const std::string tape = Tape("ZEROS.RT", c.Text);
    AcceptFormat();
    const bool read = ImportRoutTape(tape, 0, false);
    uint8_t format = 99;
    ASSERT_TRUE(DetectImportFormat(tape, format));
    if (c.Said.empty()) {
      EXPECT_TRUE(read) << LastBoxText();
      EXPECT_TRUE(ShownMessageBoxes().empty()) << LastBoxText();
      EXPECT_EQ(format, ifExcellon);
      RTDB->EmptyLayer(40);
      AcceptFormat();
      ASSERT_TRUE(ImportRoutTape(good, 0, false));
      Seq->SetInsertAtStart(40);
      continue;
    }
    EXPECT_FALSE(read);
    EXPECT_NE(LastBoxText().find(c.Said), std::string::npos) << LastBoxText();
    EXPECT_NE(LastBoxText().find("this is no tape"), std::string::npos) << LastBoxText();
    EXPECT_EQ(Layer(), before);
    EXPECT_EQ(Seq->InsertPoint(40), insert);
    EXPECT_EQ(RTDB->PathState[40], path);
    if (c.Guessed) {
      EXPECT_EQ(format, ifUnrecognized);
    }
  }
}
}  // namespace

namespace {

// A rout tape with step patterns and an M99 subprogram, and the
// subprogram's own tape, as old machines and serial links leave it: the
// same paths and step lists as from the clean tapes, and feed inside a
// subprogram's block told once, as for the main tape, naming the block's
// line and the subprogram's tape.
TEST_F(TRoutImportTest, PatternsAndSubprogramTapesReadAsTheCleanTapes) {
  using namespace std::string_literals;
  const std::string main =
      "M48\r\nINCH,LZ\r\nT03C0.1250\r\n%\r\nG90\r\nT03\r\nM25\r\nG00X010000Y010000\r\nM15\r\n"
      "G01X020000Y010000\r\nM16\r\nM01\r\nM02X030000Y005000\r\nM08\r\nM99,SUB.RT\r\nX050000Y050000\r\n"
      "P2X010000\r\nM30\r\n";
  const std::string sub = "G00X001000Y001000\r\nM15\r\nG01X002000Y001000\r\nG01X002000Y003000\r\nM16\r\n";
  const auto inside = [](std::string text, const std::string& word, const std::string& feed) {
    return text.insert(text.find(word) + 3, feed);
  };
  const auto steps = [] {
    std::vector<TStepCommandList> out;
    for (int32_t p = 1; p <= Seq->Count(40); ++p)
      if (TRoutEntity* e = RTDB->EntityAt(Seq->HandleAt(40, p));
          e != nullptr && e->GetType() == etRoutJog && e->GetStepObj() != nullptr)
        out.push_back(e->GetStepObj()->Commands());
    return out;
  };
  const auto read = [this](const std::string& mainText, const std::string& subText) {
    Tape("SUB.RT", subText);
    const std::string tape = Tape("MAIN.RT", mainText);
    RTDB->EmptyLayer(40);
    ResetHeadlessDialogs();
    AcceptFormat();
    EXPECT_TRUE(ImportRoutTape(tape, 0, false)) << LastBoxText();
    return std::make_pair(Layer(), LastBoxText());
  };
  const auto clean = read(main, sub);
  const auto cleanSteps = steps();
  ASSERT_EQ(clean.first.size(), 11u) << ::testing::PrintToString(clean.first);
  ASSERT_EQ(cleanSteps.size(), 1u);
  ASSERT_EQ(clean.second, "");
  const std::string subName = ExecutionPath() + "ROUT\\SUB.RT";
  const struct {
    const char* Name;
    std::string Sub;
    std::string Told;  // the read's word of the feed
  } cases[] = {
      {"a rubout inside a word", inside(sub, "Y003000", "\x7f"),
       "Line 4 in M99 file " + subName + ": the tape feed inside the block \"G01X002000Y00<DEL>3000\" was passed over"},
      {"feed inside words of two blocks", inside(inside(sub, "X002000Y001", "\0"s), "Y003000", "\x13"),
       "Line 3 in M99 file " + subName + ": the tape feed inside the block \"G01X00<NUL>2000Y001000\" was passed over, "
       "as a tape reader does (2 blocks held some)."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto dirty = read(main, c.Sub);
    EXPECT_EQ(dirty.first, clean.first);
    EXPECT_EQ(steps(), cleanSteps);
    // Told once, though the subprogram is read three times, as a note.
    EXPECT_NE(dirty.second.find(c.Told), std::string::npos) << dirty.second;
    EXPECT_EQ(ShownMessageBoxes().back().Type, mtInformation);
    EXPECT_EQ(dirty.second.find("error"), std::string::npos) << dirty.second;
    EXPECT_EQ(dirty.second.find("tape feed", dirty.second.find("tape feed") + 1), std::string::npos) << dirty.second;
  }
}

}  // namespace
