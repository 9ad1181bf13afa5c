// The Edit Steps dialog: a table written as text and read back, the lines it
// refuses, and the dialog run as a user would.
#include "routpath/edit_step_dialog.h"

#include <gtest/gtest.h>

#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"

namespace {

using Lines = std::vector<std::string>;
constexpr int32_t Inch = 25400000;

TStepTextFormat InchFormat(uint8_t version = 1) {
  TStepTextFormat f;
  f.Version = version;
  return f;
}

class TEditStepDialogTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    ResetModalScripts();
  }
  void TearDown() override {
    ResetModalScripts();
    ResetHeadlessDialogs();
    TKorvexTest::TearDown();
  }
  static TStepTextReading Read(Lines p1, Lines p2 = {}, Lines p3 = {}) {
    std::array<Lines, 3> panes{p1, p2, p3};
    return ReadStepText(panes, InchFormat());
  }
};

TEST_F(TEditStepDialogTest, TablesAreWrittenAsNcTextAndReadBack) {
  const TStepCommandList list{{1, 1, 0, 0, 0}, {0, 1, Inch, 0, 0}, {0, 3, Inch, 0, 0}, {0, 1, 0, 0, 0}};
  EXPECT_EQ(StepListText(list, InchFormat()), (Lines{"M01", "M02X01Y0", "R3M02X01Y0", "M02"}));
  std::array<Lines, 3> panes{StepListText(list, InchFormat()), {}, {}};
  panes[0].push_back("M08");
  TStepTextReading r = ReadStepText(panes, InchFormat());
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Lists[0], list);

  // Axis version 2 exchanges the axes on the way out and back in; the
  // orientation words follow the same machine.
  const TStepCommandList turned{{1, 1, 0, 0, 0}, {0, 1, Inch, 0, 1}};
  const Lines text = StepListText(turned, InchFormat(2));
  EXPECT_EQ(text[1].substr(0, 9), "M02X0Y01M");
  panes = {text, {}, {}};
  r = ReadStepText(panes, InchFormat(2));
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Lists[0], turned);
}

// A closing zero step that repeats or turns must not lose its R and
// orientation words; every orientation and axis version reads back as written.
TEST_F(TEditStepDialogTest, AClosingZeroStepKeepsItsRepeatAndOrientation) {
  for (uint8_t version = 1; version <= 8; ++version)
    for (uint8_t code = 0; code < 8; ++code) {
      const TStepCommandList list{{1, 1, 0, 0, 0}, {0, 2, Inch, -Inch / 2, code}, {0, 4, 0, 0, code}};
      std::array<Lines, 3> panes{StepListText(list, InchFormat(version)), {}, {}};
      const TStepTextReading r = ReadStepText(panes, InchFormat(version));
      ASSERT_TRUE(r.Ok) << int(version) << " " << int(code);
      EXPECT_EQ(r.Lists[0], list) << int(version) << " " << int(code);
    }
  EXPECT_EQ(StepListText({{1, 1, 0, 0, 0}, {0, 1, 0, 0, 0}}, InchFormat()), (Lines{"M01", "M02"}));
  EXPECT_EQ(StepListText({{1, 1, 0, 0, 0}, {0, 3, 0, 0, 2}}, InchFormat()),
            (Lines{"M01", "R3M02X0Y0M80"}));
}

// A repeat count outside 1..the most copies is a line error, found before any
// expansion is attempted.
TEST_F(TEditStepDialogTest, AnUnboundedRepeatIsRefusedAtItsLine) {
  TStepTextReading r = Read({"M01", "R2M02X01Y0"}, {"M01", "R999999999M02X01Y0"});
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorPane, 1);
  EXPECT_EQ(r.ErrorNumber, 4);
  EXPECT_FALSE(Read({"R0M02X01Y0"}).Ok);
  EXPECT_TRUE(Read({"R65535M02X01Y0"}).Ok);
  EXPECT_FALSE(Read({"R65536M02X01Y0"}).Ok);
}

TEST_F(TEditStepDialogTest, LinesAreReadByTheirKind) {
  // A first M02 line opens the pattern; blank lines go; after M08 nothing is
  // read, in later panes neither.
  std::array<Lines, 3> panes{Lines{"  m02x01", "", "M02", "M08", "T1"}, Lines{"junk"}, Lines{}};
  TStepTextReading r = ReadStepText(panes, InchFormat());
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Lists[0], (TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, Inch, 0, 0}, {0, 1, 0, 0, 0}}));
  EXPECT_EQ(panes[0], (Lines{"M02X01", "M02", "M08", "T1"}));

  // Errors count their line across the panes.
  r = Read({"M01", "M02X01"}, {"M01", "T1"});
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorPane, 1);
  EXPECT_EQ(r.ErrorLine, 2);
  EXPECT_EQ(r.ErrorNumber, 4);
  r = Read({"M02X01", "M01"});
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorNumber, 2);
  EXPECT_FALSE(Read({"M01", "M02X99999999"}).Ok);  // beyond the 32-bit range
}

TEST_F(TEditStepDialogTest, TheDialogKeepsUntouchedPanesAndStaysOpenOnABadTable) {
  TEditStepLists table;
  table[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 2, Inch, 0, 0}, {0, 1, 0, 0, 0}};
  table[1] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 0, Inch, 0}, {0, 1, 0, 0, 0}};
  const TEditStepLists before = table;

  // Cancel: nothing changes.
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    EXPECT_EQ(f.Caption(), "Edit Steps");
    EXPECT_TRUE(f.Get<TMemo>("Step2Memo").Visible());
    EXPECT_FALSE(f.Get<TMemo>("Step3Memo").Visible());
    EXPECT_EQ(f.Get<TMemo>("Step2Memo").Lines().back(), "M08");
    // The first pane has the focus; OK and Cancel stand 20 pixels either
    // side of the centre of their strip.
    EXPECT_TRUE(f.Get<TMemo>("Step1Memo").Focused());
    const TControl& strip = f.Get<TControl>("ButtonPanel");
    const TControl& ok = f.Get<TControl>("OKButton");
    EXPECT_EQ(ok.Left() + ok.Width(), strip.Width() / 2 - 20);
    EXPECT_EQ(f.Get<TControl>("CancelButton").Left(), strip.Width() / 2 + 20);
    // The two panes shown share the pane area.
    const TControl& panes = f.Get<TControl>("PanePanel");
    EXPECT_EQ(f.Get<TMemo>("Step1Memo").Height(), panes.Height() / 2);
    EXPECT_EQ(f.Get<TMemo>("Step2Memo").Top(), panes.Height() / 2);
    EXPECT_EQ(f.Get<TMemo>("Step2Memo").Width(), panes.Width());
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "M02X05"});
    f.Click("CancelButton");
  });
  EXPECT_FALSE(RunEditStepDialog(table, true));
  EXPECT_EQ(table, before);

  // A bad line is refused and the dialog stays; corrected, only the edited
  // pane replaces its level.
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    auto& d = static_cast<TEditStepDialog&>(f);
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "T1", "M02X05"});
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    EXPECT_EQ(d.ErrorPane, 0);
    EXPECT_EQ(d.ErrorLine, 2);
    // The user is taken to the start of the line to correct.
    auto& pane1 = f.Get<TMemo>("Step1Memo");
    EXPECT_TRUE(pane1.Focused());
    EXPECT_EQ(pane1.SelStart(), 4);
    EXPECT_EQ(pane1.SelLength(), 0);
    EXPECT_EQ(pane1.CaretLine(), 1);
    // In the second pane, behind a blank line that the reading drops, the
    // caret lands on the bad line as the pane now shows it.
    pane1.SetLines({"M01", "M02X05"});
    auto& pane2 = f.Get<TMemo>("Step2Memo");
    pane2.SetLines({"M01", "", "M02Y01", "X1"});
    pane2.SetSelection(0, 3);
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    EXPECT_EQ(d.ErrorPane, 1);
    EXPECT_EQ(pane2.Lines(), (Lines{"M01", "M02Y01", "X1"}));
    EXPECT_EQ(pane2.CaretLine(), 2);
    EXPECT_EQ(pane2.SelStart(), pane2.LineStart(2));
    EXPECT_EQ(pane2.SelLength(), 0);
    pane2.SetLines({"M01", "M02Y01", "M02", "M08"});
    // The first level's last step would make no copy of its own.
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    EXPECT_EQ(d.ErrorPane, 0);
    EXPECT_EQ(d.ErrorLine, 2);
    pane1.SetLines({"M01", "M02X05", "M02"});
    f.Click("OKButton");
  });
  EXPECT_TRUE(RunEditStepDialog(table, true));
  ASSERT_EQ(ShownMessageBoxes().size(), 3u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "Step && Repeat error.\r\nCheck line 2 for errors.");
  EXPECT_EQ(ShownMessageBoxes()[1].Text, "Step && Repeat error.\r\nCheck line 5 for errors.");
  EXPECT_EQ(ShownMessageBoxes()[2].Text,
            "Step && Repeat makes no copy.\r\nThe last M02 of a level closes it and makes no copy of its own: end "
            "the level with a line M02 after its last step.\r\nCheck line 2 for errors.");
  EXPECT_EQ(table[0], (TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 5 * Inch, 0, 0}, {0, 1, 0, 0, 0}}));
  EXPECT_EQ(table[1], (TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 0, Inch, 0}, {0, 1, 0, 0, 0}}));
}

// A table whose copies leave the coordinate range is refused at its command.
TEST_F(TEditStepDialogTest, AnExpansionOutOfBoundsIsRefused) {
  TEditStepLists table;
  table[0] = TStepCommandList{{1, 1, 0, 0, 0}, {0, 1, 0, 0, 0}};
  QueueModalScript("TEditStepDialog", [](TForm& f) {
    f.Get<TMemo>("Step1Memo").SetLines({"M01", "R99M02X50", "M08"});
    f.Click("OKButton");
    EXPECT_TRUE(f.Showing());
    EXPECT_EQ(f.Get<TMemo>("Step1Memo").CaretLine(), 1);
    EXPECT_EQ(f.Get<TMemo>("Step1Memo").SelStart(), 4);
    // The window keeps its smallest size.
    f.ResizedByUser(200, 100);
    EXPECT_EQ(f.Width(), TEditStepDialog::kMinWidth);
    EXPECT_EQ(f.Height(), TEditStepDialog::kMinHeight);
    f.ResizedByUser(500, 400);
    EXPECT_EQ(f.Width(), 500);
    f.Click("CancelButton");
  });
  EXPECT_FALSE(RunEditStepDialog(table, false));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "Step && Repeat out of bounds.\r\nCheck line 2 for errors.");
}

}  // namespace
