// Single-step play of a rout layer in the started program: the View item
// starts it, the play buttons step by cut and by path, 'A' and the animate
// item animate it, the right button stops the animation and then the play,
// and 'E' hands the layer to the text editor while the play goes on.
#include <gtest/gtest.h>

#include <cctype>

#include "command/button_manager.h"
#include "editor/editor_window.h"
#include "foundation/display_units.h"
#include "platform/keys.h"
#include "model/rout_database.h"
#include "model/undo_journal.h"
#include "platform/headless/headless_forms.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;
constexpr int32_t PlayButtons[] = {PlayNextCutCommand, PlayNextPathCommand, PlayBackCutCommand,
                                   PlayBackPathCommand};

class TSingleStepPlayTest : public TWorkspaceTest {
 protected:
  // Two paths on layer 40: a jog and three lines, a jog and two lines.
  TWorkspace& StartWithTwoPaths() {
    TWorkspace& form = StartProgram();
    SelectLayer(40);
    RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
    RTDB->AppendLine({In, In}, 0, NoZOffset);
    RTDB->AppendLine({0, In}, 0, NoZOffset);
    RTDB->AddLineSegment({5 * In, 5 * In}, {6 * In, 5 * In}, false, NoZOffset, 0);
    RTDB->AppendLine({6 * In, 6 * In}, 0, NoZOffset);
    return form;
  }
  static void Play(TWorkspace& form) {
    TMenuItem* item = form.MenuItem(emRout, "SingleStep1");
    ASSERT_NE(item, nullptr);
    item->OnClick(*item);
    ASSERT_EQ(RTDB->SingleStepActive, 1);
  }
  static void Key(TWorkspace& form, char c) { form.FormKeyPress(c); }
  static void RightButton() {
    TInputEvent e;
    e.Kind = ievMouseDown;
    e.Buttons = mbtRight;
    MyScreen->HandleEvent(e);
  }
  static bool ButtonsEnabled() {
    bool all = true, none = true;
    for (int32_t c : PlayButtons) {
      all = all && ButtonManager().IsEnabled(c);
      none = none && !ButtonManager().IsEnabled(c);
    }
    EXPECT_TRUE(all || none);
    return all;
  }
};

TEST_F(TSingleStepPlayTest, ThePlayButtonsStepByCutAndByPath) {
  TWorkspace& form = StartWithTwoPaths();
  const std::string prompt = UserPanel->PromptLine(1);
  EXPECT_FALSE(ButtonsEnabled());
  Play(form);
  EXPECT_TRUE(ButtonsEnabled());
  EXPECT_EQ(UserPanel->PromptLine(1), "Single Step Mode.  Press left mouse button to advance,");
  EXPECT_EQ(MyScreen->Activity, acSingleStep);

  const int32_t first = RTDB->PlayCursor;
  ASSERT_TRUE(ButtonManager().Press(PlayNextCutCommand));
  EXPECT_GT(RTDB->PlayCursor, first);
  // To the end of the first path: the next node starts the second.
  ASSERT_TRUE(ButtonManager().Press(PlayNextPathCommand));
  const int32_t endOfFirst = RTDB->PlayCursor;
  ASSERT_LT(endOfFirst + 1, int32_t(RTDB->PlayList.size()));
  EXPECT_TRUE(RTDB->PlayList[endOfFirst + 1].PathStart);
  EXPECT_EQ(RTDB->EntityAt(RTDB->PlayList[endOfFirst].Handle)->Y, In);
  ASSERT_TRUE(ButtonManager().Press(PlayBackCutCommand));
  EXPECT_EQ(RTDB->PlayCursor, endOfFirst - 1);
  // Back past the start of the first path: the play ends and the layer,
  // the prompt and the buttons come back.
  ASSERT_TRUE(ButtonManager().Press(PlayBackPathCommand));
  EXPECT_EQ(RTDB->SingleStepActive, 0);
  EXPECT_FALSE(ButtonsEnabled());
  EXPECT_EQ(UserPanel->PromptLine(1), prompt);
  EXPECT_EQ(MyScreen->Activity, acIdle);
  // Without a play the buttons do nothing.
  EXPECT_FALSE(ButtonManager().Press(PlayNextCutCommand));
}

// A play button clicked on the tool bar shows its step in the window at
// once: the picture it drew into has nothing left to show.
TEST_F(TSingleStepPlayTest, AClickedPlayButtonShowsItsStepAtOnce) {
  TWorkspace& form = StartWithTwoPaths();
  Play(form);
  ASSERT_TRUE(TMyScreen::HasPicture());
  for (int32_t c : {PlayNextCutCommand, PlayNextPathCommand, PlayBackCutCommand}) {
    TSpeedButton* button = ButtonManager().ButtonOf(c);
    ASSERT_NE(button, nullptr) << c;
    const int32_t before = RTDB->PlayCursor;
    button->OnClick(*button);
    EXPECT_NE(RTDB->PlayCursor, before) << c;
    EXPECT_FALSE(MyScreen->Picture().Dirty) << c;
  }
}

TEST_F(TSingleStepPlayTest, AAnimatesTheRightButtonStopsAndEEditsTheLayer) {
  TWorkspace& form = StartWithTwoPaths();
  TMenuItem* animate = form.MenuItem(emRout, "Animate1");
  ASSERT_NE(animate, nullptr);
  // The item's access key is its own in the View menu: a key that two
  // items share only moves between them.
  auto key = [](const TMenuItem& item) {
    const size_t at = item.Caption().find('&');
    return at == std::string::npos || at + 1 >= item.Caption().size() ? '\0'
                                                                      : char(std::tolower(item.Caption()[at + 1]));
  };
  ASSERT_NE(animate->Parent(), nullptr);
  ASSERT_NE(key(*animate), '\0');
  for (const auto& other : animate->Parent()->Items())
    if (other.get() != animate) EXPECT_NE(key(*other), key(*animate)) << other->Caption();
  Play(form);
  Key(form, 'a');
  EXPECT_EQ(RTDB->Animate, 1);
  EXPECT_TRUE(animate->Checked());
  EXPECT_TRUE(form.SingleStepTimer.TimerEnabled());
  // The right button first stops the animation, then the play.
  RightButton();
  EXPECT_EQ(RTDB->Animate, 0);
  EXPECT_FALSE(animate->Checked());
  EXPECT_EQ(RTDB->SingleStepActive, 1);
  animate->OnClick(*animate);
  EXPECT_EQ(RTDB->Animate, 1);
  RightButton();
  RightButton();
  EXPECT_EQ(RTDB->SingleStepActive, 0);
  EXPECT_FALSE(animate->Checked());
  // Out of play the letters go to the command line.
  Key(form, 'A');
  EXPECT_EQ(RTDB->Animate, 0);

  // 'E' opens the layer's tape in the editor; closed unchanged, the play
  // goes on where it was.
  Play(form);
  const int32_t at = RTDB->PlayCursor;
  bool edited = false;
  QueueModalScript("TQuillexForm", [&](TForm& f) {
    edited = true;
    f.Close();
  });
  Key(form, 'E');
  EXPECT_TRUE(edited);
  EXPECT_EQ(RTDB->SingleStepActive, 1);
  EXPECT_EQ(RTDB->PlayCursor, at);
  EXPECT_EQ(MyScreen->Activity, acSingleStep);
  RightButton();
  EXPECT_EQ(RTDB->SingleStepActive, 0);
}

// The play buttons answer to the command table's codes of their commands,
// in their hints and typed on the command line while the play runs; 'E'
// stays the editor's key.
TEST_F(TSingleStepPlayTest, ThePlayCodesAreTheCommandTablesAndStepWhenTyped) {
  TWorkspace& form = StartWithTwoPaths();
  EXPECT_EQ(ButtonManager().HintOf(PlayBackPathCommand), "[EN] Previous Path");
  EXPECT_EQ(ButtonManager().HintOf(PlayNextPathCommand), "[FF] Next Path");
  EXPECT_EQ(ButtonManager().HintOf(PlayNextCutCommand), "[PR] Next Cut");
  EXPECT_EQ(ButtonManager().HintOf(PlayBackCutCommand), "[RW] Previous Cut");
  for (int32_t c : PlayButtons) {
    EXPECT_EQ(ButtonManager().CodeOf(c), CommandCodes[c]) << c;
    EXPECT_EQ(ButtonManager().CommandOfCode(CommandCodes[c]), c) << c;
  }
  // "PB" is the code of another command, none of the play's.
  EXPECT_NE(ButtonManager().CommandOfCode("PB"), PlayBackCutCommand);
  Play(form);
  const int32_t first = RTDB->PlayCursor;
  Type(form, "PR");
  EXPECT_GT(RTDB->PlayCursor, first);
  Type(form, "FF");
  const int32_t endOfFirst = RTDB->PlayCursor;
  ASSERT_LT(endOfFirst + 1, int32_t(RTDB->PlayList.size()));
  EXPECT_TRUE(RTDB->PlayList[endOfFirst + 1].PathStart);
  Type(form, "rw");
  EXPECT_EQ(RTDB->PlayCursor, endOfFirst - 1);
  // "EN" cannot be typed in play: its E opens the editor.
  bool edited = false;
  QueueModalScript("TQuillexForm", [&](TForm& f) {
    edited = true;
    f.Close();
  });
  Key(form, 'E');
  EXPECT_TRUE(edited);
  EXPECT_EQ(RTDB->SingleStepActive, 1);
  // The tool button steps back past the first path's start: the play ends.
  ASSERT_TRUE(ButtonManager().Press(PlayBackPathCommand));
  EXPECT_EQ(RTDB->SingleStepActive, 0);
}

// 'E' shows the tape at the line of the cut the play stands on.
TEST_F(TSingleStepPlayTest, EShowsTheTapeAtTheLineOfTheCurrentCut) {
  TWorkspace& form = StartWithTwoPaths();
  Play(form);
  struct TShown {
    int32_t Line = 0;
    std::string Text, Last;
  } shown;
  auto editor = [&shown](TForm& f) {
    auto& q = static_cast<TQuillexForm&>(f);
    shown.Line = q.Editor->Caret().Line;
    shown.Text = q.Editor->LineText(shown.Line);
    shown.Last = q.Editor->LineText(q.Editor->LineCount());
    f.Close();
  };
  auto left = [] {
    TInputEvent e;
    e.Kind = ievMouseDown;
    e.Buttons = mbtLeft;
    MyScreen->HandleEvent(e);
  };
  // The first cut: the line after the rapid move to the path's start.
  QueueModalScript("TQuillexForm", editor);
  Key(form, 'E');
  EXPECT_GT(shown.Line, 1);
  EXPECT_EQ(shown.Text.substr(0, 3), "G01") << shown.Text;
  const int32_t start = shown.Line;
  // Three steps on: the rapid move to the second path, then its first cut
  // after the head goes down.
  for (int i = 0; i < 3; ++i) left();
  ASSERT_EQ(RTDB->SingleStepActive, 1);
  QueueModalScript("TQuillexForm", editor);
  Key(form, 'E');
  EXPECT_GT(shown.Line, start + 2);
  EXPECT_EQ(shown.Text.substr(0, 3), "G00") << shown.Text;
  const int32_t rapid = shown.Line;
  left();
  QueueModalScript("TQuillexForm", editor);
  Key(form, 'E');
  EXPECT_GT(shown.Line, rapid);
  EXPECT_EQ(shown.Text.substr(0, 3), "G01") << shown.Text;
  EXPECT_NE(shown.Text.find('X'), std::string::npos) << shown.Text;
  EXPECT_NE(shown.Text, shown.Last);
  // Out of play the editor opens at the top.
  RightButton();
  ASSERT_EQ(RTDB->SingleStepActive, 0);
  QueueModalScript("TQuillexForm", editor);
  form.MenuItem(emRout, "TextEditRout1")->OnClick(*form.MenuItem(emRout, "TextEditRout1"));
  EXPECT_EQ(shown.Line, 1);
}

}  // namespace

namespace {

// View > Refresh redraws with the flag: the compensation violations of the
// rout layers are reported in a box; a plain redraw reports none.
TEST_F(TWorkspaceTest, RefreshReportsTheCompensationViolations) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  GougeDetect = true;
  // A line into a clockwise arc of a quarter of the cutter's radius, the
  // cutter on the right, inside the arc: the compensated path gouges.
  RoutToolPages[40][1].Diameter = RoutToolPages[40][1].CompDiameter = 2000000;
  RoutLayerTools[40] = {1, 1};
  RTDB->AutoRoutCompensation = 2;
  RTDB->AddLineSegment({0, -10000000}, {0, 0}, false, NoZOffset, 0);
  RTDB->AppendArc({1000000, 0}, {500000, 0}, 0, NoZOffset, true);
  ResetHeadlessDialogs();
  MyScreen->RedrawView();
  EXPECT_TRUE(ShownMessageBoxes().empty());
  TMenuItem* refresh = form.MenuItem(emRout, "Refresh1");
  ASSERT_NE(refresh, nullptr);
  refresh->OnClick(*refresh);
  ASSERT_FALSE(ShownMessageBoxes().empty());
  EXPECT_NE(ShownMessageBoxes().back().Text.find("compensation"), std::string::npos);
  EXPECT_EQ(CurrentHelpContext, 83);
  GougeDetect = false;
}

}  // namespace
