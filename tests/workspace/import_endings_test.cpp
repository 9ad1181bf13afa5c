// How imports end through the started program: a tape read to its end that
// gives nothing says so, and a features file of thousands of refused numbers
// shows a few boxes and counts the rest.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/report_windows.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/tool_tables.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "workspace_test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t In = 25400000;

// A header, a tool and a pattern call that gives no hit.
const char* const EmptyTape = "M48\nMETRIC,TZ\nT1C1.0\n%\nT1\nP99999999\nM30\n";

class TImportEndingsTest : public TWorkspaceDialogsTest {
 protected:
  std::vector<std::string> BoxesSince(size_t first) {
    std::vector<std::string> out;
    for (size_t b = first; b < ShownMessageBoxes().size(); ++b) out.push_back(ShownMessageBoxes()[b].Text);
    return out;
  }
};

// Drill Import of a tape read as Excellon that gives no hole: the job keeps
// what it had, and the operator is told, in a box without the results
// window and in the window with it.
TEST_F(TImportEndingsTest, ADrillImportOfATapeWithoutHolesSaysItDrawsNothing) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  const int32_t diameter = ToolTable[1].Diameter;
  const std::string tape = Input("EMPTY.BIN", EmptyTape);
  const std::string said = "<" + tape + "> draws nothing.";
  for (bool messages : {false, true}) {
    const size_t boxes = ShownMessageBoxes().size();
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TForceDrillFormatDialog", [](TForm& f) {
      f.Get<TComboBox>("PullDown").SetItemIndex(2);  // Excellon
      f.Click("OKButton");
    });
    QueueModalScript("TDrillInputFormatDialog", [messages](TForm& f) {
      f.Get<TCheckBox>("ShowMessagesCheckBox").SetChecked(messages);
      f.Click("OKButton");
    });
    std::string report;
    if (messages) HeadlessSetProcessMessagesHook([&report] {
        if (TForm* window = ShowingModelessForm("TGTScrollWindow"); window && static_cast<TGTScrollWindow*>(window)->OKVisible) {
          report = static_cast<TGTScrollWindow*>(window)->Memo1.Text();
          window->Click("OKButton");
        }
      });
    Run(form, emDrill, "Import2");
    HeadlessSetProcessMessagesHook(nullptr);
    EXPECT_EQ(DrillEntityCount, 1);
    EXPECT_EQ(ToolTable[1].Diameter, diameter);
    EXPECT_EQ(MyScreen->Activity, acIdle);  // no placement waits
    // The job's tool 1 still offsets the tape's tools, as always said first.
    std::vector<std::string> expected{"1 tool numbers are already in use.\r\nNew tool numbers will be offset by 1"};
    if (messages) {
      EXPECT_NE(report.find(said + "\r\nNothing was imported."), std::string::npos) << report;
    } else {
      expected.push_back(said + "\r\nBlock 6:Digit Overflow\r\nNothing was imported.");
    }
    EXPECT_EQ(BoxesSince(boxes), expected);
  }
}

// Tapes ending in a DOS end-of-file mark and a line end, or more line ends,
// blanks and marks as padded transfers leave them, end there, without a
// rout command, a hole or a box.
TEST_F(TImportEndingsTest, ACtrlZAndALineEndEndTheTape) {
  TWorkspace& form = StartProgram();
  for (const uint8_t layer : {40, 41}) {
    SelectLayer(layer);
    ScriptFileDialogAnswer(Input("DOS.RT", "M48\r\nINCH,LZ\r\nT01C0.125\r\n%\r\nT01\r\nG00X01Y01\r\nM15\r\nG01X02Y01" +
                                               std::string(layer == 40 ? "\r\n\x1a\r\n" : "\x1a\x1a \r\n\r\n")));
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    Run(form, emRout, "OpenRoutTape1");
  }
  ASSERT_GT(RoutEntityCount, 0);
  for (int32_t i = 1; i <= RoutEntityCount; ++i) EXPECT_NE(RTDB->EntityAt(i)->GetType(), 11) << i;
  SelectLayer(30);
  ImportExcellonTape(form, Input("DOS.DRL", "M48\r\nINCH,LZ\r\nT01C0.025\r\n%\r\nT01\r\nX01Y01\r\n\x1a\r\n\x1a\n"));
  EXPECT_EQ(LiveDrillEntities(), 1);
  EXPECT_EQ(BoxesSince(0), std::vector<std::string>{"Is this the main part?"});
}

// Tapes without M30 whose punch left a blank trailer of NUL bytes end there
// too; a line of NULs that a block follows is blank tape, read past.
TEST_F(TImportEndingsTest, ABlankTrailerOfNulsEndsTheTape) {
  TWorkspace& form = StartProgram();
  const std::string trailer(80, '\0');
  for (const std::string& tail : {"\r\n" + trailer, "\r\n" + trailer + "\r\nM30\r\n"}) {
    SelectLayer(40);
    ScriptFileDialogAnswer(
        Input("BLANK.RT", "M48\r\nINCH,LZ\r\nT01C0.125\r\n%\r\nT01\r\nG00X01Y01\r\nM15\r\nG01X02Y01" + tail));
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    const size_t boxes = ShownMessageBoxes().size();
    Run(form, emRout, "OpenRoutTape1");
    int32_t commands = 0;
    for (int32_t i = 1; i <= RoutEntityCount; ++i)
      if (!SlotDeleted(RTDB->SlotAt(i)->Flags) && RTDB->EntityAt(i)->GetType() == 11) ++commands;
    EXPECT_EQ(commands, 0);
    EXPECT_EQ(BoxesSince(boxes), std::vector<std::string>{});
  }
  SelectLayer(30);
  const size_t boxes = ShownMessageBoxes().size();
  std::string report;
  CloseResultWindows(&report);
  ImportExcellonTape(form, Input("BLANK.DRL", "M48\r\nINCH,LZ\r\nT01C0.025\r\n%\r\nT01\r\nX01Y01\r\n" + trailer),
                     mrYes, true);
  EXPECT_EQ(LiveDrillEntities(), 1);
  EXPECT_EQ(BoxesSince(boxes), std::vector<std::string>{"Is this the main part?"});
  EXPECT_EQ(report.find("Format Overflow"), std::string::npos) << report;
}

// A punch's blank tape is no block, on a rout layer as in a Drill Import: a
// leader of NULs (on lines of its own or ahead of the first block), lines
// of NULs and blanks between blocks and a trailer read as the tape without
// them, with no rout command and no fault; so do NULs behind a block's last
// character (a teleprinter's fill). A file ending in more zero bytes than
// a trailer holds, in one line or in many, is refused as such.
TEST_F(TImportEndingsTest, BlankTapeAheadOfBetweenAndBehindTheBlocksIsReadPast) {
  TWorkspace& form = StartProgram();
  const std::string nuls(300, '\0');
  std::string lines;
  for (int k = 0; k < 100; ++k) lines += std::string(1000, '\0') + "\r\n";
  const std::string refused = "the file ends in 100,000 zero bytes";
  struct TCase {
    std::string Lead, Between, Tail, Said;
  };
  const std::vector<TCase> cases = {
      {nuls + "\r\n" + nuls + "\r\n", "", "", ""},
      {nuls, "", "", ""},
      {nuls + "\r\n" + nuls, "", "", ""},
      {"", nuls + "\r\n" + std::string(" \0\0\t \r\n", 7) + nuls + "\r\n", "", ""},
      {nuls, nuls + "\r\n", "\r\n" + nuls, ""},
      {"", "", std::string(2, '\0') + "\r\nM30\r\n", ""},
      {"", "", "\r\n" + std::string(100000, '\0'), refused},
      {"", "", "\r\n" + lines, refused},
  };
  auto seen = [this](size_t boxes, const std::string& report) {
    std::string text = report;
    for (const std::string& box : BoxesSince(boxes)) text += box + "\n";
    return text;
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Lead.size() * 1000000 + c.Between.size() * 1000 + c.Tail.size());
    SelectLayer(40);
    const std::string rout = "M48\r\nINCH,LZ\r\nT01C0.125\r\n%\r\nT01\r\nG00X01Y01\r\nM15\r\n";
    ScriptFileDialogAnswer(Input("LEADER.RT", c.Lead + rout + c.Between + "G01X02Y01\r\nG01X03Y01" + c.Tail));
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    size_t boxes = ShownMessageBoxes().size();
    Run(form, emRout, "OpenRoutTape1");
    int32_t commands = 0, cuts = 0;
    for (int32_t i = 1; i <= RoutEntityCount; ++i)
      if (!SlotDeleted(RTDB->SlotAt(i)->Flags)) ++(RTDB->EntityAt(i)->GetType() == 11 ? commands : cuts);
    std::string text = seen(boxes, "");
    EXPECT_EQ(commands, 0) << text;
    if (c.Said.empty()) {
      EXPECT_EQ(cuts, 3);
      EXPECT_EQ(text, "");
    } else {
      EXPECT_NE(text.find(c.Said), std::string::npos) << text;
      EXPECT_EQ(text.find("longer than"), std::string::npos) << text;
    }

    // The main part's holes take the place of those imported before.
    SelectLayer(30);
    const int32_t before = DrillEntityCount;
    boxes = ShownMessageBoxes().size();
    std::string report;
    CloseResultWindows(&report);
    const std::string drill = "M48\r\nINCH,LZ\r\nT01C0.025\r\n%\r\nT01\r\nX01Y01\r\n";
    ImportExcellonTape(form, Input("LEADER.DRL", c.Lead + drill + c.Between + "X03Y01" + c.Tail),
                       c.Said == refused ? mrOk : mrYes, true);
    HeadlessSetProcessMessagesHook(nullptr);
    text = seen(boxes, report);
    if (c.Said.empty()) {
      EXPECT_EQ(DrillEntityCount, before + 2);
      EXPECT_EQ(LiveDrillEntities(), 2);
      EXPECT_EQ(text.find("Overflow"), std::string::npos) << text;
    } else {
      EXPECT_NE(text.find(c.Said), std::string::npos) << text;
      EXPECT_EQ(text.find("longer than"), std::string::npos) << text;
    }
  }
}

// File > Import of the same tape into CAD: told with the fault that left
// it empty, the drawing and its undo as they were.
TEST_F(TImportEndingsTest, AnExcellonToCadImportThatDrawsNothingSaysSo) {
  TWorkspace& form = StartProgram();
  const std::string tape = Input("EMPTY.BIN", EmptyTape);
  const size_t boxes = ShownMessageBoxes().size();
  ScriptFileDialogAnswer(tape);
  QueueModalScript("TForceFormatDialog", [](TForm& f) {
    f.Get<TComboBox>("PullDown").SetItemIndex(3);  // Excellon
    f.Click("OKButton");
  });
  QueueModalScript("TCadInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emCad, "Import1");
  EXPECT_EQ(CadEntityCount, 0);
  EXPECT_EQ(BoxesSince(boxes),
            std::vector<std::string>{"<" + tape + "> draws nothing.\r\nBlock 6:Digit Overflow\r\nNothing was imported."});
}

// A features file of 5,000 pad lines whose orientation is out of range,
// between good pads: a few boxes name the first lines, the notice counts
// the rest, and every good pad comes in.
TEST_F(TImportEndingsTest, ThousandsOfRefusedOdbLinesShowAFewBoxesAndTheGoodLinesComeIn) {
  TWorkspace& form = StartProgram();
  const fs::path job = TempDir / "bad";
  auto file = [&](const std::string& path, const std::string& text) {
    fs::create_directories((job / path).parent_path());
    std::ofstream(job / path, std::ios::binary) << text;
  };
  file("matrix/matrix",
       "STEP {\n COL=1\n NAME=PCB\n}\nLAYER {\n ROW=1\n CONTEXT=BOARD\n TYPE=SIGNAL\n NAME=TOP\n"
       " POLARITY=POSITIVE\n}\n");
  std::string features = "UNITS=INCH\n$0 r10\n";
  for (int i = 0; i < 5000; ++i) {
    features += "P 0 0 0 P 0 2222222222\n";
    if (i % 1000 == 0) features += "P " + std::to_string(i / 1000 + 1) + " 1 0 P 0 0\n";
  }
  file("steps/pcb/layers/top/features", features);
  file("steps/pcb/profile", "");
  file("steps/pcb/stephdr", "");
  const size_t boxes = ShownMessageBoxes().size();
  ScriptFileDialogAnswer((job / "matrix" / "matrix").string());
  QueueModalScript("TForceFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  QueueModalScript("TValorLayerDialog", [](TForm& f) {
    f.Click("Step1");
    f.Click("OKButton");
  });
  Run(form, emCad, "Import1");
  const std::vector<std::string> shown = BoxesSince(boxes);
  ASSERT_EQ(shown.size(), 4u);
  const std::string features_path = (job / "steps/pcb/layers/top/features").string();
  EXPECT_EQ(shown[0], features_path + ", line 3: the pad orientation 2222222222 is out of range");
  EXPECT_NE(shown[2].find(", line 6: the pad orientation"), std::string::npos) << shown[2];
  EXPECT_EQ(shown[3], "4997 more numbers out of range were refused after the first 3 shown.");
  // The five good pads, one circle each at x = 1..5.
  int circles = 0;
  for (int32_t i = 1; i <= CadEntityCount; ++i)
    if (DB->EntityAt(i)->GetType() == 4) {
      TIntPoint c;
      DB->EntityAt(i)->GetPoint(c);
      EXPECT_EQ(c.Y, In);
      ++circles;
    }
  EXPECT_EQ(circles, 5);
}

}  // namespace
