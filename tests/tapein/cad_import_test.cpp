// The Excellon-to-CAD import: dialog, geometry drawn into DB, one undo step.
#include <gtest/gtest.h>

#include "detached_undo_window.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/silent_drawing.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "tapein/cad_import.h"

namespace {

constexpr int32_t Inch = 25400000;

class CadImportTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ResetModalScripts();
    HeadlessResetEvents();
    DetachedUndoWindow().Clear();
    ASSERT_TRUE(EnsureWorkingDirectories());
    ResetHeadlessViewServices();
    EditorMode = emCad;
    ResetLayerMasks();
    CurrentLayer = 5;
    CadUndo = new TCadUndo();
    ActiveUndo = CadUndo;
    DB = new TCadDatabase();
  }
  void TearDown() override {
    delete DB;
    DB = nullptr;
    delete CadUndo;
    CadUndo = nullptr;
    ActiveUndo = nullptr;
    ResetHeadlessViewServices();
    ResetHeadlessDialogs();
    ResetModalScripts();
    TKorvexTest::TearDown();
  }
  std::string Tape(const std::string& text) {
    WriteFileBytes(TempDir / "t.drl", text);
    return (TempDir / "t.drl").string();
  }
  bool Import(const std::string& text) {
    QueueModalScript("TCadInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    return ImportExcellonToCad(Tape(text));
  }
  static TCadEntity* At(int32_t i) { return static_cast<TCadEntity*>(DB->EntityAt(i)); }
  static std::vector<int32_t> Points(int32_t i) {
    TIntPoint a, b, c;
    TCadEntity* e = At(i);
    e->GetPoint(a);
    std::vector<int32_t> v{a.X, a.Y};
    if (e->GetType() == etCadLine || e->GetType() == etCadArc) {
      e->GetSecondPoint(b);
      v.insert(v.end(), {b.X, b.Y});
    }
    if (e->GetType() == etCadArc) {
      e->GetThirdPoint(c);
      v.insert(v.end(), {c.X, c.Y});
    }
    return v;
  }
};

TEST_F(CadImportTest, DialogOkAndCancel) {
  const TCadFormatRecord before = CadInputFormat;
  QueueModalScript("TCadInputFormatDialog", [](TForm& f) {
    f.Get<TRadioGroup>("ClockWiseGroup").ClickItem(1);
    f.Click("CancelButton");
  });
  EXPECT_FALSE(ImportExcellonToCad(Tape("")));
  EXPECT_EQ(CadInputFormat, before);
  EXPECT_EQ(CadEntityCount, 0);

  QueueModalScript("TCadInputFormatDialog", [](TForm& f) {
    auto& d = static_cast<TCadInputFormatDialog&>(f);
    EXPECT_EQ(f.Caption(), "Excellon-to-CAD");
    // No unit handler: the digit edits stay as they were.
    d.UnitGroup.ClickItem(1);
    EXPECT_EQ(d.IntegerEdit.Value(), 2);
    d.ClockWiseGroup.ClickItem(1);
    d.CompCheckBox.Click();
    d.DefaultCheckBox.Click();
    f.Click("OKButton");
  });
  EXPECT_TRUE(RunCadFormatDialog("t.drl"));
  EXPECT_TRUE(CadInputFormat.Metric);
  EXPECT_EQ(CadInputFormat.MetricIntegerDigits, 2);  // the inch digits shown, taken for mm
  EXPECT_TRUE(CadInputFormat.CounterClockwise);
  EXPECT_TRUE(CadInputFormat.UseCutterCompensation);
  TCadFormatRecord stored = DefaultCadInputFormat();
  LoadCadFormatDefaults(stored, false);
  EXPECT_TRUE(stored.CounterClockwise);
}

TEST_F(CadImportTest, HitsBecomeCirclesOfTheToolSizeOnLayerZero) {
  DisplayedLayerMask = 0xFFFFFFFEu;
  EXPECT_TRUE(Import("M48\nT1C0.0135\n%\nT1\nX010000Y020000\nM30\n"));
  ASSERT_EQ(CadEntityCount, 1);
  EXPECT_EQ(At(1)->GetType(), etCadCircle);
  EXPECT_EQ(At(1)->GetRadius(), 171450);
  EXPECT_EQ(Points(1), (std::vector<int32_t>{Inch, 2 * Inch}));
  EXPECT_EQ(DB->SlotAt(1)->Flags, 1u);  // layer 0, live
  EXPECT_EQ(DisplayedLayerMask & 1u, 1u);
  // One undo step takes the whole import away.
  std::string name;
  ASSERT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Import file");
}

TEST_F(CadImportTest, ClockwiseArcsAreStoredCounterClockwise) {
  EXPECT_TRUE(Import("M48\nT1C0.01\n%\nT1\nG00X010000Y000000\nM15\nG02X000000Y010000I-010000J000000\n"
                     "M16\nG00X000000Y010000\nM15\nG03X010000Y000000I000000J-010000\nM16\nM30\n"));
  std::vector<std::vector<int32_t>> arcs;
  for (int32_t i = 1; i <= CadEntityCount; ++i)
    if (At(i)->GetType() == etCadArc) arcs.push_back(Points(i));
  ASSERT_EQ(arcs.size(), 2u);
  EXPECT_EQ(arcs[0], arcs[1]);
  // Counter-clockwise from the G02's end to its start.
  EXPECT_EQ((std::vector<int32_t>(arcs[0].begin(), arcs[0].begin() + 4)),
            (std::vector<int32_t>{0, Inch, Inch, 0}));
}

TEST_F(CadImportTest, SlotOutlines) {
  AddSlotOutline(0, 100000, 0, 0, 20000, 0);
  ASSERT_EQ(CadEntityCount, 4);
  EXPECT_EQ(Points(1), (std::vector<int32_t>{-10000, 100000, -10000, 0}));
  EXPECT_EQ(Points(2), (std::vector<int32_t>{10000, 100000, 10000, 0}));
  // Counter-clockwise half circles bulging outwards around each end.
  EXPECT_EQ(Points(3), (std::vector<int32_t>{10000, 100000, -10000, 100000, 0, 100000}));
  EXPECT_EQ(Points(4), (std::vector<int32_t>{-10000, 0, 10000, 0, 0, 0}));

  AddSlotOutline(0, 0, 100000, 0, 20000, 0);  // horizontal: larger X first
  EXPECT_EQ(Points(5), (std::vector<int32_t>{100000, 10000, 0, 10000}));
  EXPECT_EQ(Points(6), (std::vector<int32_t>{100000, -10000, 0, -10000}));
  EXPECT_EQ(Points(7), (std::vector<int32_t>{100000, -10000, 100000, 10000, 100000, 0}));

  AddSlotOutline(0, 0, 30000, 40000, 20000, 0);  // diagonal: offset (-8000, 6000)
  EXPECT_EQ(Points(9), (std::vector<int32_t>{8000, -6000, 38000, 34000}));
  EXPECT_EQ(Points(10), (std::vector<int32_t>{-8000, 6000, 22000, 46000}));
}

TEST_F(CadImportTest, DrilledCircleGivesTwoCircles) {
  // G84: a circle of diameter 0.2 in drilled with a 0.02 in tool.
  EXPECT_TRUE(Import("M48\nT1C0.02\n%\nT1\nX010000Y010000G84X002000\nM30\n"));
  ASSERT_EQ(CadEntityCount, 2);
  EXPECT_EQ(At(1)->GetRadius(), Inch / 10 - Inch / 50);
  EXPECT_EQ(At(2)->GetRadius(), Inch / 10);
}

TEST_F(CadImportTest, AStoppedReadIsReportedAndUndoableInOneStep) {
  QueueModalScript("TCadInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  EXPECT_FALSE(ImportExcellonToCad((TempDir / "gone.drl").string()));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
  EXPECT_EQ(CadEntityCount, 0);
}

TEST_F(CadImportTest, AFailedImportIsWithdrawnWhole) {
  ASSERT_TRUE(Import("M48\nINCH,LZ\nT1C0.02\n%\nT1\nX010000Y010000\nM30\n"));
  ASSERT_EQ(CadEntityCount, 1);
  std::string step;
  ASSERT_TRUE(CadUndo->CanUndo(step));
  const int32_t records = CadUndo->RecordCount();
  ResetHeadlessDialogs();

  // Holes, then a position no number can hold.
  EXPECT_FALSE(Import("M48\nINCH,LZ\nT1C0.02\n%\nT1\nX020000Y010000\nX030000Y010000\n"
                      "X99999999999999999999Y1\nX040000Y010000\nM30\n"));
  EXPECT_EQ(CadEntityCount, 1);
  EXPECT_EQ(CadUndo->RecordCount(), records);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  const std::string& text = ShownMessageBoxes()[0].Text;
  EXPECT_NE(text.find("Line 8 \"X99999999999999999999Y1\""), std::string::npos) << text;
  EXPECT_NE(text.find("The import was withdrawn; the drawing is unchanged."), std::string::npos);
}

// A pattern group after an M08 without an M25 of its own is read once: the
// step and repeat before it is not read again and again up to the reader's
// limits (once half a million circles and then the import withdrawn). The
// warning after the import names the block.
TEST_F(CadImportTest, APatternGroupWithoutItsOwnM25IsReadOnce) {
  EXPECT_TRUE(Import("M48\nINCH,LZ\nT1C0.030\n%\nT1\nM25\nX010000Y010000\nM01\nM02X010000\nM08\n"
                     "M01\nM02X020000\nM01\nM30\n"));
  ASSERT_EQ(CadEntityCount, 2);
  EXPECT_EQ(Points(1), (std::vector<int32_t>{Inch, Inch}));
  EXPECT_EQ(Points(2), (std::vector<int32_t>{2 * Inch, Inch}));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "Line 11: M01 ends a pattern that no M25 began after the step and repeat ended in line 10; the "
            "pattern holds no blocks and its repeats add nothing.\r\nSome errors were detected in this file."
            "\r\nInspect the output carefully!");
  ResetHeadlessDialogs();
  // Nothing drawn: said with the faults that may be why, and not taken for
  // an import.
  EXPECT_FALSE(Import("M1\nM8\nM1\nM2\nM1\n"));
  EXPECT_EQ(CadEntityCount, 2);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "<" + (TempDir / "t.drl").string() +
                "> draws nothing.\r\nLine 1: M01 ends a pattern that no M25 began; the pattern holds no blocks and its "
                "repeats add nothing.\r\nLine 3: M01 ends a pattern that no M25 began after the step and repeat ended "
                "in line 2; the pattern holds no blocks and its repeats add nothing.\r\nNothing was imported.");
}

// A picture that counts the shapes drawn on it.
class TCountingSurface : public TSilentSurface {
 public:
  void DrawLine(int32_t, int32_t, int32_t, int32_t) override { ++Drawn; }
  void DrawCircle(double, double, double) override { ++Drawn; }
  void DrawArc(bool, double, double, double, double, double, double) override { ++Drawn; }
  int Drawn = 0;
};

TEST_F(CadImportTest, TheViewIsDrawnOnceAfterTheImportKeptOrWithdrawn) {
  TCountingSurface picture;
  DrawSurface = &picture;
  EXPECT_TRUE(Import("M48\nINCH,LZ\nT1C0.02\n%\nT1\nX010000Y010000\nG85X020000Y010000\nM30\n"));
  EXPECT_EQ(CadEntityCount, 5);
  EXPECT_EQ(picture.Drawn, 0);
  EXPECT_EQ(DrawSurface, &picture);
  EXPECT_EQ(HeadlessViewServices().RedrawCount, 1);

  ResetHeadlessDialogs();
  EXPECT_FALSE(Import("M48\nINCH,LZ\nT1C0.02\n%\nT1\nX020000Y010000\nX99999999999999999999Y1\nM30\n"));
  EXPECT_EQ(CadEntityCount, 5);
  EXPECT_EQ(picture.Drawn, 0);
  EXPECT_EQ(DrawSurface, &picture);
  // The redraw takes the withdrawn entities off the picture.
  EXPECT_EQ(HeadlessViewServices().RedrawCount, 2);
  DrawSurface = nullptr;

  // Drawn by hand, an entity still shows at once.
  DB->AddCircleOnLayer(0, 0, 1000, 0);
  picture.Drawn = 0;
  DrawSurface = &picture;
  DB->AddCircleOnLayer(0, 0, 1000, 0);
  EXPECT_EQ(picture.Drawn, 1);
  DrawSurface = nullptr;
}

TEST_F(CadImportTest, DetectionCountsCommentLines) {
  const std::string tape = ";C\n;C\nM48\nT1C0.02\n%\nT1\nX012345Y067890\nM30\n";
  EXPECT_DOUBLE_EQ(DetectExcellonFile(Tape(tape)), 0.9);
  EXPECT_EQ(DetectExcellonFile(Tape("")), 0.0);
  // Comment-only: counted here, but nothing marks it a tape.
  EXPECT_EQ(DetectExcellonFile(Tape(";only\n;comments\n")), 0.0);
  // Lower-case letters count as odd characters: 2 of 8 characters here.
  EXPECT_DOUBLE_EQ(DetectExcellonFile(Tape("X1Y1\nx1\nX1Y1\n")), 0.4 * (10 - 2) / 10);
}

}  // namespace
