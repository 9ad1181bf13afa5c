// Photoplots read through the started program: the same drawing at any
// resolution, aperture blocks that replay nothing, and notices that stay
// readable whatever names and how many of them the file holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "../workspace/workspace_test_support.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "import/import_frame.h"
#include "model/cad_database.h"

namespace {

class TPhotoplotReadingTest : public TWorkspaceDialogsTest {
 protected:
  void SetUp() override {
    TWorkspaceDialogsTest::SetUp();
    RegisterModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  }
  // Each CAD entity as the user reads it back: its type, then its points.
  static std::vector<std::vector<int32_t>> Entities() {
    std::vector<std::vector<int32_t>> all;
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      TCadEntity* e = DB->EntityAt(i);
      if (e == nullptr) continue;
      TIntPoint a, b, c;
      e->GetPoint(a);
      e->GetSecondPoint(b);
      std::vector<int32_t> entity{e->GetType(), a.X, a.Y, b.X, b.Y};
      if (e->GetType() == etCadArc) {
        e->GetThirdPoint(c);
        entity.insert(entity.end(), {c.X, c.Y});
      }
      all.push_back(entity);
    }
    return all;
  }
  // What the last import added.
  static std::vector<std::vector<int32_t>> Added(std::size_t before) {
    const auto all = Entities();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(before, all.size())), all.end()};
  }
  static std::string Repeat(const std::string& text, int times) {
    std::string all;
    for (int k = 0; k < times; ++k) all += text;
    return all;
  }
};

// An arc whose end radii differ by the rounding of its coordinates reads
// as the same arc whether the file has five decimals or six; the length
// between an arc and a chord is three units of a 2.3 file (0.003 in).
TEST_F(TPhotoplotReadingTest, AnArcReadsAlikeAtEveryResolution) {
  TWorkspace& form = StartProgram();
  const std::string head = "%MOIN*%\n%ADD10C,0.01*%\nD10*\n";
  const auto import = [&](const std::string& name, const std::string& text) {
    const std::size_t before = Entities().size();
    ImportIntoCad(form, Input(name, text + "M02*\n"), fcGerber);
    return Added(before);
  };
  const auto five =
      import("FIVE.GBR", "%FSLAX45Y45*%\n" + head + "X13281Y250000D02*\nG02X13653Y249452I0J-400D01*\n");
  ASSERT_EQ(five.size(), 1u);
  EXPECT_EQ(five[0][0], etCadArc);
  // Centre (0.13281, 2.496) in, a unit of five decimals being 254.
  EXPECT_EQ(std::vector<int32_t>(five[0].begin() + 5, five[0].end()),
            (std::vector<int32_t>{13281 * 254, 249600 * 254}));
  // The same drawing with six decimals, its radii 3.6 units apart: the
  // same arc.
  EXPECT_EQ(import("SIX.GBR", "%FSLAX36Y36*%\n" + head + "X132810Y2500000D02*\nG02X136530Y2494520I0J-4000D01*\n"),
            five);
  // The quoted blocks themselves under a 3.6 format: an arc too.
  const auto quoted =
      import("QUOTED.GBR", "%FSLAX36Y36*%\n" + head + "X13281Y250000D02*\nG02X13653Y249452I0J-400D01*\n");
  ASSERT_EQ(quoted.size(), 1u);
  EXPECT_EQ(quoted[0][0], etCadArc);

  // A 2.3 file as before: radii 2 units apart make an arc, 3 apart a line;
  // that length (0.003 in) is the line in 2.4 and 3.6 files too, and what
  // is closer an arc.
  for (const auto& [format, end, type] :
       {std::tuple{"%FSLAX24Y24*%\n", "X0Y10003", etCadArc}, std::tuple{"%FSLAX24Y24*%\n", "X0Y10029", etCadArc},
        std::tuple{"%FSLAX24Y24*%\n", "X0Y10031", etCadLine},
        std::tuple{"%FSLAX36Y36*%\n", "X0Y1002999", etCadArc}, std::tuple{"%FSLAX36Y36*%\n", "X0Y1003001", etCadLine},
        std::tuple{"%FSLAX23Y23*%\n", "X0Y1002", etCadArc}, std::tuple{"%FSLAX23Y23*%\n", "X0Y1003", etCadLine}}) {
    SCOPED_TRACE(std::string(format) + end);
    const std::string radius = std::string(format) == "%FSLAX24Y24*%\n"   ? "10000"
                               : std::string(format) == "%FSLAX36Y36*%\n" ? "1000000"
                                                                           : "1000";
    const auto added =
        import("ARC.GBR", format + head + "G75*\nX" + radius + "Y0D02*\nG03" + end + "I-" + radius + "J0D01*\n");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0][0], type);
  }
}

// Blocks of flashes of blocks that draw nothing still replay every flash:
// each is counted against the objects a file may place, and such a chain
// is refused at once with the job as it was.
TEST_F(TPhotoplotReadingTest, BlocksOfBlocksThatDrawNothingAreCountedAndRefused) {
  TWorkspace& form = StartProgram();
  DB->AddLineOnLayer(0, 0, 25400000, 25400000, 0);
  const int32_t before = CadEntityCount;
  std::string text = "%FSLAX24Y24*%\n%MOIN*%\n%ABD10*%\n%AB*%\n";
  for (int d = 11; d <= 14; ++d)
    text += "%ABD" + std::to_string(d) + "*%\nD" + std::to_string(d - 1) + "*\n" + Repeat("X0Y0D03*\n", 100) + "%AB*%\n";
  const std::string chain = Input("CHAIN.GBR", text + "D14*\nX0Y0D03*\nM02*\n");
  ImportIntoCad(form, chain, fcGerber);
  EXPECT_EQ(LastBox(), chain + ", line " + std::to_string(418) +
                           ": the aperture block D14 places more than 4,000,000 objects; no job holds them\r\n"
                           "Nothing was imported.");
  EXPECT_EQ(CadEntityCount, before);
  // Ten blocks of nothing flashed a hundred times each by one block are a
  // thousand objects: read.
  const std::string few = Input("FEW.GBR", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\n%ABD11*%\n%AB*%\n%ABD12*%\nD11*\n" +
                                               Repeat("X0Y0D03*\n", 1000) + "%AB*%\nD12*\nX0Y0D03*\nD10*\nX0Y0D03*\nM02*\n");
  ImportIntoCad(form, few, fcGerber);
  EXPECT_EQ(CadEntityCount, before + 1) << LastBox();
}

// A reading of seconds shows the status box; its Cancel ends it, in the
// file's blocks and inside the flash of a block, with the job as it was.
TEST_F(TPhotoplotReadingTest, CancelEndsALongPhotoplotReading) {
  TWorkspace& form = StartProgram();
  const int32_t before = CadEntityCount;
  const std::string head = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\n";
  const std::string blocks = Input("BLOCKS.GBR", head + Repeat("X0Y0D03*\n", 12000) + "M02*\n");
  const std::string replay = Input("REPLAY.GBR", head + "%ABD11*%\nD10*\n" + Repeat("X0Y0D03*\n", 100) +
                                                     "%AB*%\n%ABD12*%\nD11*\n" + Repeat("X0Y0D03*\n", 100) +
                                                     "%AB*%\nD12*\nX0Y0D03*\nM02*\n");
  for (const std::string& file : {blocks, replay}) {
    SCOPED_TRACE(file);
    std::string status;
    int percent = -1;
    HeadlessSetProcessMessagesHook([&] {
      HeadlessAdvanceTime(100);
      if (auto* box = static_cast<TStatusDialog*>(ShowingModelessForm("TStatusDialog"))) {
        status = box->CaptionPanel.Caption();
        percent = box->StatusGauge.Progress();
        box->Click("CancelButton");
      }
    });
    ImportIntoCad(form, file, fcGerber);
    HeadlessSetProcessMessagesHook(nullptr);
    EXPECT_EQ(status, "Reading the file: Cancel withdraws the import.");
    EXPECT_EQ(LastBox(), "The import of <" + file + "> was cancelled.\r\nNothing was imported.");
    EXPECT_EQ(CadEntityCount, before);
    EXPECT_EQ(ShowingModelessForm("TStatusDialog"), nullptr);
    // The box says how far through the file the reading is.
    if (file == blocks) EXPECT_GT(percent, 0);
  }
  // Not cancelled, the replay comes in whole.
  ImportIntoCad(form, replay, fcGerber);
  EXPECT_EQ(CadEntityCount, before + 10000) << LastBox();

  // Drill Import of the photoplot: the same box, the drill layer as it was.
  SelectLayer(30);
  const int32_t holes = DrillEntityCount;
  HeadlessSetProcessMessagesHook([] {
    HeadlessAdvanceTime(100);
    if (TForm* box = ShowingModelessForm("TStatusDialog")) box->Click("CancelButton");
  });
  ScriptFileDialogAnswer(blocks);
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  QueueModalScript("TPickDrillLayerDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emDrill, "Import2");
  HeadlessSetProcessMessagesHook(nullptr);
  EXPECT_EQ(LastBox(), "The import of <" + blocks + "> was cancelled.\r\nNothing was imported.");
  EXPECT_EQ(DrillEntityCount, holes);
}

// Apertures of many macros: each finds its own by name, a name defined twice
// meaning its first macro.
TEST_F(TPhotoplotReadingTest, EachApertureTakesTheFirstMacroOfItsName) {
  TWorkspace& form = StartProgram();
  std::string text = "%FSLAX24Y24*%\n%MOIN*%\n";
  for (int k = 0; k < 300; ++k) text += "%AMM" + std::to_string(k) + "*1,1,0." + std::to_string(k % 9 + 1) + ",0,0*%\n";
  text += "%AMM7*4,1,3,0,0,1,0,0,1,0,0,0*%\n";
  for (int k = 0; k < 300; ++k) text += "%ADD" + std::to_string(10 + k) + "M" + std::to_string(k) + "*%\n";
  text += "D17*\nX0Y0D03*\nD309*\nX10000Y0D03*\nM02*\n";
  const std::size_t before = Entities().size();
  ImportIntoCad(form, Input("MACROS.GBR", text), fcGerber);
  const auto added = Added(before);
  ASSERT_EQ(added.size(), 2u) << LastBox();
  // M7 is a circle of 0.8 in, M299 one of 0.3 in.
  EXPECT_EQ(added[0][0], etCadCircle);
  EXPECT_EQ(DB->EntityAt(CadEntityCount - 1)->GetRadius(), 25400000 * 4 / 10);
  EXPECT_EQ(DB->EntityAt(CadEntityCount)->GetRadius(), 25400000 * 3 / 20);
}

// Names from the file are quoted by their start and lists of them end in a
// count of those left out: the notice stays a few lines long.
TEST_F(TPhotoplotReadingTest, TheNoticeCutsNamesAndCountsWhatItsListsLeaveOut) {
  TWorkspace& form = StartProgram();
  const std::string name(200000, 'a');
  std::string text = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\n%IF" + name + "*%\n";
  for (int k = 0; k < 30; ++k) text += "%IFmissing" + std::to_string(k) + ".gbr*%\n";
  text += "D10*\nX0Y0D03*\n";
  for (int k = 0; k < 300; ++k) text += "D" + std::to_string(100 + k) + "*\nX0Y0D03*\n";
  const std::string file = Input("NAMES.GBR", text + "M02*\n");
  ImportIntoCad(form, file, fcGerber);
  const std::vector<TMessageBoxRecord>& boxes = ShownMessageBoxes();
  ASSERT_FALSE(boxes.empty());
  const std::string notice = boxes.back().Text;
  EXPECT_EQ(notice.find(name), std::string::npos);
  EXPECT_NE(notice.find("1 %IF " + std::string(40, 'a') + "... (200,000 characters) (the file cannot be read)"),
            std::string::npos)
      << notice.substr(0, 400);
  // 31 includes: 20 named, then the rest counted.
  EXPECT_NE(notice.find("31 parameters or codes that are not imported were skipped:\n"), std::string::npos);
  EXPECT_NE(notice.find(", (11 more)\n\n300 flashes of apertures without a definition in the file were imported as "
                        "points:\n1 D100, 1 D101, "),
            std::string::npos)
      << notice;
  EXPECT_TRUE(notice.ends_with("1 D118, 1 D119, (280 more)")) << notice;
  EXPECT_LT(notice.size(), 2000u);
}

}  // namespace
