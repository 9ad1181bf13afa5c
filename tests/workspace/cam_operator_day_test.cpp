// A shop day through the started program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <chrono>
#include <fstream>
#include <string>

#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/rout_database.h"
#include "platform/headless/headless_events.h"
#include "platform/keys.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

class TCamOperatorDayTest : public TWorkspaceDialogsTest {
 protected:
  // The pixel of the drawing area nearest a world point.
  static std::pair<int, int> Pixel(TWorkspace& form, int32_t x, int32_t y) {
    int bx = 0, by = 0;
    int64_t dx = INT64_MAX, dy = INT64_MAX;
    for (int c = 0; c < form.PaintBox.Width(); ++c) {
      const int64_t d = std::llabs(int64_t(MyScreen->MouseToWorldX(c)) - x);
      if (d < dx) dx = d, bx = c;
    }
    for (int r = 0; r < form.PaintBox.Height(); ++r) {
      const int64_t d = std::llabs(int64_t(MyScreen->MouseToWorldY(r)) - y);
      if (d < dy) dy = d, by = r;
    }
    return {bx, by};
  }
};

// Whether a colour shows within a few pixels of a world point.
bool ShownNear(TWorkspace& form, std::pair<int, int> at, TColor colour) {
  for (int dx = -12; dx <= 12; ++dx)
    for (int dy = -12; dy <= 12; ++dy)
      if (form.PaintBox.Canvas().GetPixel(at.first + dx, at.second + dy) == colour) return true;
  return false;
}

TEST_F(TCamOperatorDayTest, ANewPanelOriginMovesTheOriginMarker) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const TColor green = 0x00FF00;
  const auto zero = Pixel(form, 0, 0);
  ASSERT_TRUE(ShownNear(form, zero, green));
  QueueModalScript("TG93Dialog", [](TForm& f) {
    f.Get<TEdit>("XEdit").SetText("3.0");
    f.Click("OKButton");
  });
  Run(form, emDrill, "SetPanelOrigin1");
  ASSERT_EQ(DRDB->G93OriginX, 3 * In);
  // The mark stands at minus the origin, and no longer at zero.
  EXPECT_TRUE(ShownNear(form, Pixel(form, -3 * In, 0), green));
  EXPECT_FALSE(ShownNear(form, zero, green));
  // Cancel leaves it where it is.
  QueueModalScript("TG93Dialog", [](TForm& f) { f.Click("CancelButton"); });
  Run(form, emDrill, "SetPanelOrigin1");
  EXPECT_TRUE(ShownNear(form, Pixel(form, -3 * In, 0), green));
}

// A tape whose reading fails is withdrawn whole; with Show Messages off
// the operator is still told so, and the job stays as it was.
TEST_F(TCamOperatorDayTest, AWithdrawnDrillImportSaysSoWithoutTheResultsWindow) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  DRDB->AddHoleOnLayer(In, In, 30, 1, true);
  const std::string tape = (TempDir / "FAR.DRL").string();
  std::ofstream(tape) << "M48\nMETRIC,TZ\nT1C0.8\n%\nT1\nX1000Y1000\nX25679999Y9449\nM30\n";
  for (bool messages : {false, true}) {
    const size_t boxes = ShownMessageBoxes().size();
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    QueueModalScript("TDrillInputFormatDialog", [messages](TForm& f) {
      f.Get<TCheckBox>("ShowMessagesCheckBox").SetChecked(messages);
      f.Click("OKButton");
    });
    if (messages) HeadlessSetProcessMessagesHook([] {
        if (TForm* report = ShowingModelessForm("TGTScrollWindow")) report->Click("OKButton");
      });
    Run(form, emDrill, "Import2");
    HeadlessSetProcessMessagesHook(nullptr);
    EXPECT_EQ(DrillEntityCount, 1);
    size_t withdrawn = 0;
    for (size_t b = boxes; b < ShownMessageBoxes().size(); ++b)
      withdrawn += ShownMessageBoxes()[b].Text ==
                   "Line 7 \"X25679999Y9449\": the position lies beyond the largest coordinate (2147.48 mm). Check "
                   "the units, digits and zeros of the format.\r\nThe import was withdrawn; the drill database is "
                   "unchanged.";
    // With the results window it says so there.
    EXPECT_EQ(withdrawn, messages ? 0u : 1u) << LastBox();
  }
}

// A photoplot with no flashes read into a drill layer makes no holes and
// says so, as the CAD import of it does.
TEST_F(TCamOperatorDayTest, APhotoplotWithoutFlashesReadIntoADrillLayerSaysItDrawsNothing) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const std::string plot = (TempDir / "OUTLINE.GBR").string();
  std::ofstream(plot) << "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nG54D10*\nX0Y0D02*\nX20000Y0D01*\n"
                         "X20000Y10000D01*\nM02*\n";
  const size_t boxes = ShownMessageBoxes().size();
  ScriptFileDialogAnswer(plot);
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  QueueModalScript("TGerberDrillDialog", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emDrill, "Import2");
  EXPECT_EQ(DrillEntityCount, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
  EXPECT_EQ(ShownMessageBoxes().back().Text, "<" + plot + "> draws nothing.\r\nNothing was imported.");
  EXPECT_EQ(MyScreen->Activity, acIdle);  // no placement waits
}

// A drawing of lines alone read into a drill layer: no holes, and a box
// that says why.
TEST_F(TCamOperatorDayTest, ADrawingWithoutCirclesReadIntoADrillLayerSaysWhy) {
  TWorkspace& form = StartProgram();
  SelectLayer(30);
  const std::string drawing = (TempDir / "LINES.DXF").string();
  std::ofstream(drawing) << "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0.0\n20\n0.0\n11\n1.0\n21\n1.0\n"
                            "0\nENDSEC\n0\nEOF\n";
  const size_t boxes = ShownMessageBoxes().size();
  ScriptFileDialogAnswer(drawing);
  QueueModalScript("TForceDrillFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  QueueModalScript("TDrawingUnits", [](TForm& f) { f.Click("OKButton"); });
  Run(form, emDrill, "Import2");
  EXPECT_EQ(DrillEntityCount, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
  EXPECT_EQ(ShownMessageBoxes().back().Text,
            "<" + drawing + "> draws no circles; a drill layer takes holes only.\r\nNothing was imported.");
  EXPECT_EQ(MyScreen->Activity, acIdle);
}

}  // namespace
