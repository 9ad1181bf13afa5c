// The NC editor window as the started program opens it: every way in reaches
// an editor that takes its keys through the window's own command tables, and
// backward finds and replaces inside a selected scope go on through the
// whole scope with Again.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "../workspace/workspace_test_support.h"
#include "editor/editor_window.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_housekeeping.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/keys.h"

namespace {

constexpr int32_t In = 25400000;

class TEditorInProgramTest : public TWorkspaceTest {
 protected:
  void SetUp() override {
    TWorkspaceTest::SetUp();
    ResetHeadlessDialogs();
    EditorSession = TEditorSession{};
  }
  void TearDown() override {
    EditorSession = TEditorSession{};
    TWorkspaceTest::TearDown();
  }
  // File > Text Editor with the script run in the window, which is then
  // closed without saving.
  void InEditor(std::function<void(TQuillexForm&)> script) {
    bool ran = false;
    QueueModalScript("TQuillexForm", [script, &ran](TForm& f) {
      auto& w = static_cast<TQuillexForm&>(f);
      ran = true;
      script(w);
      w.Editor->SetModified(false);
      f.Close();
    });
    ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|Text E&ditor"));
    EXPECT_TRUE(ran);
  }
  // The find dialog answered: text, backward.
  static void FindBackward(const std::string& text) {
    QueueModalScript("TSearchDialog", [text](TForm& d) {
      EXPECT_EQ(d.Get<TRadioGroup>("ScopeGroup").ItemIndex(), 1);  // "Selected text"
      d.Get<TComboBox>("FindTextCombo").SetText(text);
      d.Get<TRadioGroup>("DirectionGroup").SetItemIndex(1);
      d.Click("OKButton");
    });
  }
  // The replace dialog answered with OK (one occurrence, no prompt), backward.
  static void ReplaceBackward(const std::string& text, const std::string& with) {
    QueueModalScript("TSearchAndReplaceDialog", [text, with](TForm& d) {
      EXPECT_EQ(d.Get<TRadioGroup>("ScopeGroup").ItemIndex(), 1);
      d.Get<TComboBox>("FindTextCombo").SetText(text);
      d.Get<TComboBox>("ReplaceTextCombo").SetText(with);
      d.Get<TCheckBox>("PromptCheckBox").SetChecked(false);
      d.Get<TRadioGroup>("DirectionGroup").SetItemIndex(1);
      d.Click("OKButton");
    });
  }
  // Search > Find, or Replace All from the start without prompting; the
  // scope the dialog offers is checked (0 Global, 1 Selected text).
  static void Find(TQuillexForm& w, const std::string& text, bool backward, int scope) {
    QueueModalScript("TSearchDialog", [text, backward, scope](TForm& d) {
      EXPECT_EQ(d.Get<TRadioGroup>("ScopeGroup").ItemIndex(), scope) << text;
      d.Get<TComboBox>("FindTextCombo").SetText(text);
      d.Get<TRadioGroup>("DirectionGroup").SetItemIndex(backward ? 1 : 0);
      d.Click("OKButton");
    });
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Find"));
  }
  static void ReplaceAll(TQuillexForm& w, const std::string& text, const std::string& with, int scope) {
    QueueModalScript("TSearchAndReplaceDialog", [text, with, scope](TForm& d) {
      EXPECT_EQ(d.Get<TRadioGroup>("ScopeGroup").ItemIndex(), scope) << text;
      d.Get<TComboBox>("FindTextCombo").SetText(text);
      d.Get<TComboBox>("ReplaceTextCombo").SetText(with);
      d.Get<TCheckBox>("PromptCheckBox").SetChecked(false);
      d.Get<TRadioGroup>("OriginGroup").SetItemIndex(1);
      d.Click("ReplaceButton");
    });
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Replace"));
  }
  // A short drill tape in the editor, the caret at its start.
  static TQedTextFileEditor& Tape(TQuillexForm& w) {
    w.Editor->InsertString("M48\r\nT03\r\nX0100Y0100\r\nT05\r\nX0200Y0200\r\nT03\r\nX0300Y0300\r\nT05\r\nM30");
    w.Editor->SetCaretPosition(1, 1);
    return *w.Editor;
  }
  static std::string LastBox() { return ShownMessageBoxes().empty() ? "" : ShownMessageBoxes().back().Text; }
  static void ExpectScope(TQedTextFileEditor& e, TTextPoint from, TTextPoint to) {
    TTextPoint a, b;
    ASSERT_TRUE(e.GetSelection(a, b));
    EXPECT_EQ(a, from);
    EXPECT_EQ(b, to);
  }
};

TEST_F(TEditorInProgramTest, BackwardFindAndAgainWalkTheSelectedScopeToItsStart) {
  StartProgram();
  InEditor([](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    e.InsertString("X1 X2\r\nX3 X4 X5\r\nX6 X7\r\nX8");
    // One line: X5, X4, X3, then nothing more in the scope.
    e.SetSelection({2, 1}, {2, 9});
    FindBackward("X");
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Find"));
    std::vector<TTextPoint> carets{e.Caret()};
    ExpectScope(e, {2, 1}, {2, 9});
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
      carets.push_back(e.Caret());
      ExpectScope(e, {2, 1}, {2, 9});
    }
    EXPECT_EQ(carets, (std::vector<TTextPoint>{{2, 7}, {2, 4}, {2, 1}}));
    EXPECT_EQ(LastBox(), "");
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    EXPECT_EQ(LastBox(), "Search string 'X' not found");
    EXPECT_EQ(e.Caret(), (TTextPoint{2, 1}));

    // Several lines, from X2 to X6: each match once, last to first.
    ResetHeadlessDialogs();
    e.SetSelection({1, 4}, {3, 3});
    FindBackward("X");
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Find"));
    carets = {e.Caret()};
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
      carets.push_back(e.Caret());
    }
    EXPECT_EQ(carets, (std::vector<TTextPoint>{{3, 1}, {2, 7}, {2, 4}, {2, 1}, {1, 4}}));
    ExpectScope(e, {1, 4}, {3, 3});
    EXPECT_EQ(LastBox(), "");
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    EXPECT_EQ(LastBox(), "Search string 'X' not found");

    // A match the user selected is not found again backwards.
    ResetHeadlessDialogs();
    e.SetSelection({2, 4}, {2, 5});
    QueueModalScript("TSearchDialog", [](TForm& d) {
      d.Get<TComboBox>("FindTextCombo").SetText("X");
      d.Get<TRadioGroup>("ScopeGroup").SetItemIndex(0);
      d.Get<TRadioGroup>("OriginGroup").SetItemIndex(0);
      d.Get<TRadioGroup>("DirectionGroup").SetItemIndex(1);
      d.Click("OKButton");
    });
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Find"));
    EXPECT_EQ(e.Caret(), (TTextPoint{2, 1}));
  });
}

TEST_F(TEditorInProgramTest, BackwardReplaceAndAgainReplaceTheWholeScopeOnly) {
  StartProgram();
  InEditor([](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    e.InsertString("A A A\r\nA A A\r\nA A A");
    // One line: the three A of line 2, last first, and nothing else.
    e.SetSelection({2, 1}, {2, 6});
    ReplaceBackward("A", "Y");
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Replace"));
    EXPECT_EQ(e.Text("/"), "A A A/A A Y/A A A");
    ExpectScope(e, {2, 1}, {2, 6});
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    EXPECT_EQ(e.Text("/"), "A A A/A Y Y/A A A");
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    EXPECT_EQ(e.Text("/"), "A A A/Y Y Y/A A A");
    EXPECT_EQ(LastBox(), "");
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    EXPECT_EQ(LastBox(), "Search string 'A' not found");
    EXPECT_EQ(e.Text("/"), "A A A/Y Y Y/A A A");
    ExpectScope(e, {2, 1}, {2, 6});

    // Several lines, from the second A of line 1 to the first of line 3,
    // with a longer replacement.
    ResetHeadlessDialogs();
    e.SetSelection({1, 3}, {3, 2});
    ReplaceBackward("A", "ZZ");
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Replace"));
    EXPECT_EQ(e.Text("/"), "A A A/Y Y Y/ZZ A A");
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    EXPECT_EQ(e.Text("/"), "A ZZ ZZ/Y Y Y/ZZ A A");
    EXPECT_EQ(LastBox(), "");
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    EXPECT_EQ(LastBox(), "Search string 'A' not found");
    EXPECT_EQ(e.Text("/"), "A ZZ ZZ/Y Y Y/ZZ A A");
  });
}

// Dragging a selection past the top edge scrolls up as past the bottom edge
// scrolls down; the last, partly shown column counts as visible, so the view
// moves right only past it and a page right is one column less than the
// visible columns.
TEST_F(TEditorInProgramTest, DraggingPastEitherEdgeScrollsAndThePartColumnCounts) {
  StartProgram();
  InEditor([](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    std::string text;
    for (int i = 1; i <= 200; ++i) text += "N" + std::to_string(i) + std::string(300, 'x') + "\r\n";
    e.InsertString(text);
    e.SetCaretPosition(100, 1);
    const int32_t vis = e.VisibleLines(), h = e.LineHeight(), x = e.LeftMargin + 1;
    const int32_t top = e.TopLine();
    ASSERT_GT(top, 3);
    w.EditorBox.MouseDown(mbLeft, ssLeft, x, 1);
    EXPECT_EQ(e.Caret(), (TTextPoint{top, 1}));
    w.EditorBox.MouseMove(ssLeft, x, -1);  // just above the text
    EXPECT_EQ(e.TopLine(), top - 1);
    w.EditorBox.MouseMove(ssLeft, x, -1);
    EXPECT_EQ(e.TopLine(), top - 2);
    TTextPoint a, b;
    ASSERT_TRUE(e.GetSelection(a, b));
    EXPECT_EQ(a, (TTextPoint{top - 2, 1}));
    EXPECT_EQ(b, (TTextPoint{top, 1}));
    // And below it, one line a move.
    w.EditorBox.MouseMove(ssLeft, x, vis * h + 1);
    EXPECT_EQ(e.TopLine(), top - 1);
    EXPECT_EQ(e.Caret().Line, top - 2 + vis);
    w.EditorBox.MouseUp(mbLeft, 0, x, vis * h + 1);

    // Columns: the text area's width in characters, plus the one cut by the
    // right edge.
    const int32_t cols = (w.EditorBox.Width() - e.LeftMargin - e.RightMargin) / e.CharWidth() + 1;
    EXPECT_EQ(e.VisibleCols(), cols);
    e.SetCaretPosition(1, cols);
    EXPECT_EQ(e.LeftCol(), 0);
    e.SetCaretPosition(1, cols + 1);
    EXPECT_EQ(e.LeftCol(), 1);
    e.SetCaretPosition(1, 1);
    EXPECT_EQ(e.LeftCol(), 0);
    w.HScrollBar.Scroll(scPageDown, 0);
    EXPECT_EQ(e.LeftCol(), cols - 1);
  });
}

// Write block and Read block offer the window's two filters, as Open and
// Save As do; the chosen text goes out and comes back whole.
TEST_F(TEditorInProgramTest, BlockWriteAndReadOfferAllFilesAndTextFiles) {
  StartProgram();
  const std::string file = (TempDir / "BLOCK.TXT").string();
  InEditor([&file](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    e.InsertString("G81\r\nX0324Y-0283\r\nG80");
    e.SetSelection({2, 1}, {3, 1});
    ScriptFileDialogAnswer(file, 2);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Block|&Write"));
    EXPECT_EQ(ReadFileBytes(file), "X0324Y-0283\r\n");
    e.Deselect();
    e.SetCaretPosition(1, 1);
    ScriptFileDialogAnswer(file, 1);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Block|&Read.."));
    EXPECT_EQ(e.Text("/"), "X0324Y-0283/G81/X0324Y-0283/G80");
    ASSERT_EQ(ShownCommonDialogs().size(), 2u);
    for (const TCommonDialogRecord& d : ShownCommonDialogs()) {
      EXPECT_EQ(d.Filter, "All Files (*.*)|*.*|Text Files (*.TXT)|*.TXT") << d.Title;
      EXPECT_EQ(d.FileName, "*.*") << d.Title;
    }
    EXPECT_EQ(ShownCommonDialogs()[0].Title, "Save selected block as");
    EXPECT_EQ(ShownCommonDialogs()[1].Title, "Select file to load from");
  });
}

// Every way into the editor gives it the window's controller: Ctrl Q then F
// (the window's own binding) opens the find dialog.
TEST_F(TEditorInProgramTest, EveryWayInGivesTheEditorItsWindowsKeys) {
  StartProgram();
  int finds = 0;
  auto pressFind = [&finds](TForm& f) {
    auto& w = static_cast<TQuillexForm&>(f);
    EXPECT_EQ(&TQedController::Of(&w), &w.Controller);
    QueueModalScript("TSearchDialog", [&finds](TForm& d) {
      ++finds;
      d.Click("CancelButton");
    });
    w.EditorBox.KeyDown('Q', ssCtrl);
    w.EditorBox.KeyDown('F', 0);
    f.Close();
  };
  QueueModalScript("TQuillexForm", pressFind);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|Text E&ditor"));
  EXPECT_EQ(finds, 1);

  // Text Edit Rout, then E during the single-step play of a rout layer.
  Form->LayerPanel.FindControl("L40")->Click();
  ASSERT_EQ(Form->Menu(), &Form->RoutMenu);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  QueueModalScript("TQuillexForm", pressFind);
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|Text &Edit Rout"));
  EXPECT_EQ(finds, 2);
  Run(*Form, emRout, "SingleStep1");
  ASSERT_EQ(RTDB->SingleStepActive, 1);
  QueueModalScript("TQuillexForm", pressFind);
  char e = 'E';
  Form->FormKeyPress(e);
  EXPECT_EQ(finds, 3);
  EXPECT_EQ(ModalFormsShown(), (std::vector<std::string>{"TAboutDialog", "TQuillexForm", "TSearchDialog",
                                                          "TQuillexForm", "TSearchDialog", "TQuillexForm",
                                                          "TSearchDialog"}));
}

// The match a find leaves selected is no scope: the next find, Again,
// Replace and Replace All search the whole text, forward and backward.
TEST_F(TEditorInProgramTest, AFindAfterAFindSearchesTheWholeText) {
  StartProgram();
  InEditor([](TQuillexForm& w) {
    TQedTextFileEditor& e = Tape(w);
    Find(w, "T03", false, 0);
    ExpectScope(e, {2, 1}, {2, 4});
    // A text not found leaves the match selected, and still the search's.
    Find(w, "T99", false, 0);
    EXPECT_EQ(LastBox(), "Search string 'T99' not found");
    ExpectScope(e, {2, 1}, {2, 4});
    ResetHeadlessDialogs();
    Find(w, "T05", false, 0);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    ExpectScope(e, {8, 1}, {8, 4});
    EXPECT_EQ(e.Caret(), (TTextPoint{8, 4}));
    // Backward, the caret at the start of each match.
    e.Deselect();
    e.SetCaretPosition(9, 1);
    Find(w, "T05", true, 0);
    Find(w, "T03", true, 0);
    ExpectScope(e, {6, 1}, {6, 4});
    EXPECT_EQ(e.Caret(), (TTextPoint{6, 1}));
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    ExpectScope(e, {2, 1}, {2, 4});

    // Replace after a find takes the next match; typed as an operator does,
    // Tab goes from the text to find to its replacement. Replace All changes
    // every match and leaves nothing selected.
    e.Deselect();
    e.SetCaretPosition(1, 1);
    Find(w, "T03", false, 0);
    QueueModalScript("TSearchAndReplaceDialog", [](TForm& d) {
      EXPECT_EQ(d.Get<TRadioGroup>("ScopeGroup").ItemIndex(), 0);
      ASSERT_NE(d.ActiveControl(), nullptr);
      EXPECT_EQ(d.ActiveControl()->Name(), "FindTextCombo");
      d.ActiveControl()->Type("T05");
      d.ActiveControl()->PressKey(VK_TAB);
      ASSERT_NE(d.ActiveControl(), nullptr);
      EXPECT_EQ(d.ActiveControl()->Name(), "ReplaceTextCombo");
      d.ActiveControl()->Type("T07");
      d.Get<TCheckBox>("PromptCheckBox").SetChecked(false);
      d.ActiveControl()->PressKey(VK_RETURN);
    });
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Replace"));
    EXPECT_EQ(e.Text("/"), "M48/T03/X0100Y0100/T07/X0200Y0200/T03/X0300Y0300/T05/M30");
    Find(w, "T03", false, 0);
    ReplaceAll(w, "T0", "T9", 0);
    EXPECT_EQ(e.Text("/"), "M48/T93/X0100Y0100/T97/X0200Y0200/T93/X0300Y0300/T95/M30");
    EXPECT_FALSE(e.SelectionExists());
    EXPECT_EQ(LastBox(), "");
  });
}

// Replace takes the match a find left selected first, whichever way either
// of them went; Again then goes on to the next one.
TEST_F(TEditorInProgramTest, ReplaceAfterABackwardFindReplacesTheSelectedMatchFirst) {
  StartProgram();
  InEditor([](TQuillexForm& w) {
    TQedTextFileEditor& e = Tape(w);
    auto replaceForward = [&w](const std::string& text, const std::string& with) {
      QueueModalScript("TSearchAndReplaceDialog", [text, with](TForm& d) {
        EXPECT_EQ(d.Get<TRadioGroup>("ScopeGroup").ItemIndex(), 0);
        d.Get<TComboBox>("FindTextCombo").SetText(text);
        d.Get<TComboBox>("ReplaceTextCombo").SetText(with);
        d.Get<TCheckBox>("PromptCheckBox").SetChecked(false);
        d.Get<TRadioGroup>("DirectionGroup").SetItemIndex(0);
        d.Click("OKButton");
      });
      ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Replace"));
    };
    // The last T05, found from the end: replaced, no "not found".
    e.SetCaretPosition(9, 1);
    Find(w, "T05", true, 0);
    ExpectScope(e, {8, 1}, {8, 4});
    replaceForward("T05", "T07");
    EXPECT_EQ(e.Text("/"), "M48/T03/X0100Y0100/T05/X0200Y0200/T03/X0300Y0300/T07/M30");
    EXPECT_EQ(LastBox(), "");
    // The first T03, reached backward with Again: it goes first, then the
    // one after it.
    e.SetCaretPosition(9, 1);
    Find(w, "t03", true, 0);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    ExpectScope(e, {2, 1}, {2, 4});
    replaceForward("T03", "T09");
    EXPECT_EQ(e.Text("/"), "M48/T09/X0100Y0100/T05/X0200Y0200/T03/X0300Y0300/T07/M30");
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Again"));
    EXPECT_EQ(e.Text("/"), "M48/T09/X0100Y0100/T05/X0200Y0200/T09/X0300Y0300/T07/M30");
    EXPECT_EQ(LastBox(), "");
  });
}

// The match a find left selected is replaced first only when it is a match
// under the replace dialog's own options: a part of a word is no whole word,
// whether one occurrence is replaced, all of them, or each on a prompt.
TEST_F(TEditorInProgramTest, ReplaceOfWholeWordsLeavesAPartOfAWordTheFindSelected) {
  StartProgram();
  InEditor([](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    // How the replace dialog is left: OK (one), Replace All, Replace All
    // asking before each.
    enum TWay { kOne, kAll, kPrompted };
    auto replaceWhole = [&w](TWay way, bool whole) {
      QueueModalScript("TSearchAndReplaceDialog", [way, whole](TForm& d) {
        d.Get<TComboBox>("FindTextCombo").SetText("T0");
        d.Get<TComboBox>("ReplaceTextCombo").SetText("X");
        d.Get<TCheckBox>("WholeCheckBox").SetChecked(whole);
        d.Get<TCheckBox>("PromptCheckBox").SetChecked(way == kPrompted);
        d.Click(way == kOne ? "OKButton" : "ReplaceButton");
      });
      ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Replace"));
    };
    auto find = [&w, &e](bool whole) {
      e.SetCaretPosition(1, 1);
      QueueModalScript("TSearchDialog", [whole](TForm& d) {
        d.Get<TComboBox>("FindTextCombo").SetText("T0");
        d.Get<TCheckBox>("WholeCheckBox").SetChecked(whole);
        d.Click("OKButton");
      });
      ASSERT_TRUE(ClickMenu(w.MainMenu, "&Search|&Find"));
    };
    for (TWay way : {kOne, kAll, kPrompted}) {
      SCOPED_TRACE(int(way));
      ResetHeadlessDialogs();
      e.Clear();
      e.InsertString("T03 T0 T05\r\nT0");
      find(false);
      ExpectScope(e, {1, 1}, {1, 3});
      if (way == kPrompted) {
        // The question comes at the whole word, the second only after it.
        ScriptMessageBoxAnswer(mrYes);
        ScriptMessageBoxAnswer(mrCancel);
      }
      replaceWhole(way, true);
      EXPECT_EQ(e.Text("/"), way == kAll ? "T03 X T05/X" : "T03 X T05/T0");
      EXPECT_EQ(LastBox().find("not found"), std::string::npos) << LastBox();
    }
    EXPECT_EQ(ShownMessageBoxes().size(), 2u);
    EXPECT_EQ(ShownMessageBoxes()[0].Text, "Replace this occurrence?");

    // A find of whole words leaves a match that is one: replaced first.
    e.Clear();
    e.InsertString("T03 T0 T05 T0");
    find(true);
    ExpectScope(e, {1, 5}, {1, 7});
    replaceWhole(kOne, true);
    EXPECT_EQ(e.Text("/"), "T03 X T05 T0");
    // Without whole words the part of T03 a find selects goes first.
    find(false);
    replaceWhole(kOne, false);
    EXPECT_EQ(e.Text("/"), "X3 X T05 T0");
  });
}

// Every save dialog of the editor asks before it writes over a file there:
// No offers the dialog again, and the other tape (and its backup) stay as
// they were; Yes replaces it.
TEST_F(TEditorInProgramTest, SaveDialogsAskBeforeWritingOverAnotherFile) {
  StartProgram();
  const std::string mine = (TempDir / "MINE.NC").string(), other = (TempDir / "OTHER.NC").string();
  const std::string otherBackup = (TempDir / "OTHER.BAK").string(), fresh = (TempDir / "NEW.NC").string();
  WriteFileBytes(mine, "T01\r\nX1Y1\r\n");
  WriteFileBytes(other, "T02\r\nX2Y2\r\n");
  WriteFileBytes(otherBackup, "T02\r\n");
  const std::string question = "File <" + other + "> exists!\r\nDo you wish to overwrite it?";
  InEditor([&](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    // Untitled and changed: F2 asks for a name.
    e.InsertString("T09\r\n");
    ScriptFileDialogAnswer(other);
    ScriptMessageBoxAnswer(mrNo);
    ScriptCommonDialogCancel();
    w.EditorBox.KeyDown(VK_F1 + 1, 0);
    EXPECT_EQ(LastBox(), question);
    EXPECT_EQ(w.FileName, "UNTITLED.TXT");
    EXPECT_EQ(ShownCommonDialogs().size(), 2u);
    // Opening another file asks to save the change, then for a name.
    ScriptMessageBoxAnswer(mrYes);
    ScriptFileDialogAnswer(other);
    ScriptMessageBoxAnswer(mrNo);
    ScriptCommonDialogCancel();
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|&Open"));
    EXPECT_EQ(LastBox(), question);
    EXPECT_EQ(e.Text("/"), "T09/");
    e.SetModified(false);

    ScriptFileDialogAnswer(mine);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|&Open"));
    const size_t boxes = ShownMessageBoxes().size();
    // Save As over the other tape: No, then Cancel of the dialog offered again.
    ScriptFileDialogAnswer(other);
    ScriptMessageBoxAnswer(mrNo);
    ScriptCommonDialogCancel();
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|Save &As"));
    ASSERT_EQ(ShownMessageBoxes().size(), boxes + 1);
    EXPECT_EQ(LastBox(), question);
    EXPECT_EQ(w.Caption(), "Quillex - " + mine);
    w.EditorBox.KeyDown(VK_F1 + 1, 0);  // F2 still writes its own file
    EXPECT_EQ(ReadFileBytes(other), "T02\r\nX2Y2\r\n");
    EXPECT_EQ(ReadFileBytes(otherBackup), "T02\r\n");
    // Block Write over it: asked as well.
    e.SetSelection({1, 1}, {2, 1});
    ScriptFileDialogAnswer(other);
    ScriptMessageBoxAnswer(mrNo);
    ScriptCommonDialogCancel();
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&Block|&Write"));
    EXPECT_EQ(LastBox(), question);
    EXPECT_EQ(ReadFileBytes(other), "T02\r\nX2Y2\r\n");
    // A new name is not asked about; Yes writes over the other tape.
    ScriptFileDialogAnswer(fresh);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|Save &As"));
    EXPECT_EQ(ReadFileBytes(fresh), "T01\r\nX1Y1\r\n");
    EXPECT_EQ(LastBox(), question);
    ScriptFileDialogAnswer(other);
    ScriptMessageBoxAnswer(mrYes);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|Save &As"));
    EXPECT_EQ(ReadFileBytes(other), "T01\r\nX1Y1\r\n");
    EXPECT_EQ(w.Caption(), "Quillex - " + other);
  });
  EXPECT_EQ(ReadFileBytes(mine), "T01\r\nX1Y1\r\n");
  EXPECT_EQ(PendingMessageBoxAnswers(), 0u);
  EXPECT_EQ(PendingCommonDialogAnswers(), 0u);
}

// A name the file system holds with a trailing dot is that file's: read and
// written under it, the file without the dot left alone.
TEST_F(TEditorInProgramTest, ATapeNamedWithATrailingDotIsReadAndWrittenUnderItsName) {
  StartProgram();
  const std::string plain = (TempDir / "TAPE").string(), dotted = plain + ".";
  WriteFileBytes(plain, "T01\r\nX1Y1\r\n");
  WriteFileBytes(dotted, "T02\r\nX2Y2\r\n");
  InEditor([&](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    ScriptFileDialogAnswer(dotted);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|&Open"));
    EXPECT_EQ(e.Text("/"), "T02/X2Y2/");
    EXPECT_EQ(e.FileName(), dotted);
    e.SetCaretPosition(1, 1);
    e.InsertString("M48\r\n");
    w.EditorBox.KeyDown(VK_F1 + 1, 0);
    EXPECT_EQ(ReadFileBytes(dotted), "M48\r\nT02\r\nX2Y2\r\n");
    // Without a file of the dotted name the dot is dropped, as before.
    std::filesystem::remove(dotted);
    e.SetFileName(dotted);
    EXPECT_EQ(e.FileName(), plain);
    e.Open();
    EXPECT_EQ(e.Text("/"), "T01/X1Y1/");
  });
  EXPECT_EQ(ReadFileBytes(plain), "T01\r\nX1Y1\r\n");
}

// The byte limit counts the bytes the file has: a tape of LF line ends is
// held up to the limit in its own bytes (two bytes a line end would refuse
// it at two thirds), and edits go on up to the limit in the same count.
TEST_F(TEditorInProgramTest, TheByteLimitCountsTheFilesOwnLineEnds) {
  StartProgram();
  std::string lf;
  for (int i = 0; i < 40; ++i) lf += "X\n";  // 80 bytes, 40 lines
  const std::string tape = (TempDir / "LF.NC").string(), over = (TempDir / "OVER.NC").string();
  const std::string crlf = (TempDir / "CRLF.NC").string();
  WriteFileBytes(tape, lf);
  WriteFileBytes(over, lf + std::string(21, 'Y'));
  WriteFileBytes(crlf, std::string(96, 'Z') + "\r\n");
  InEditor([&](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    e.SetByteLimit(100);
    ScriptFileDialogAnswer(tape);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|&Open"));
    ASSERT_EQ(e.Text("\n"), lf);
    EXPECT_EQ(LastBox(), "");
    // The status bar still shows two bytes a line end.
    EXPECT_EQ(w.StatusBar.Panels()[3].Text, "Bytes: 120");
    // Twenty more characters fit; the one after them does not.
    e.SetCaretPosition(41, 1);
    e.InsertString(std::string(19, 'Y'));
    e.InsertString("\r\n");
    EXPECT_EQ(LastBox(), "");
    e.InsertString("Y");
    EXPECT_EQ(LastBox(), EditorErrorMessage(edTextTooLarge));
    w.EditorBox.KeyDown(VK_F1 + 1, 0);
    EXPECT_EQ(ReadFileBytes(tape), lf + std::string(19, 'Y') + "\n");
    // A file past the limit in its own bytes is refused; a CR LF tape is
    // counted with its two bytes.
    ScriptFileDialogAnswer(over);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|&Open"));
    EXPECT_EQ(LastBox(), "<" + over + "> is larger than the 1 MB the editor can hold.");
    ScriptFileDialogAnswer(crlf);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|&Open"));
    EXPECT_EQ(e.Text("/"), std::string(96, 'Z') + "/");
    e.SetCaretPosition(1, 97);
    e.InsertString("ZZ");
    EXPECT_EQ(e.Text("/"), std::string(98, 'Z') + "/");
    e.InsertString("Z");
    EXPECT_EQ(e.Text("/"), std::string(98, 'Z') + "/");
  });
}

// Files the editor refuses: a line too long, one line too many, a byte too
// many (refused unread: the file is all hole). Each gives its box and leaves
// the open text, its name, its state and its history as they were, so that
// F2 writes the file's own bytes and OK in Text Edit Rout gives the layer
// back as it was.
class TRefusedOpenTest : public TEditorInProgramTest {
 protected:
  std::vector<std::pair<std::string, std::string>> Refused;
  void SetUp() override {
    TEditorInProgramTest::SetUp();
    const std::string longLine = (TempDir / "LONGLINE.NC").string();
    WriteFileBytes(longLine, "M48\r\n" + std::string(40000, '0') + "\r\nM30\r\n");
    const std::string manyLines = (TempDir / "MANY.NC").string();
    WriteFileBytes(manyLines, std::string(20000001, '\n'));
    const std::string big = (TempDir / "BIG.NC").string();
    WriteFileBytes(big, "");
    std::filesystem::resize_file(big, (uintmax_t{512} << 20) + 1);
    Refused = {{longLine, "Line 2 of <" + longLine + "> is longer than the 32767 characters the editor can hold."},
               {manyLines, "<" + manyLines + "> has more than the 20000000 lines the editor can hold."},
               {big, "<" + big + "> is larger than the 512 MB the editor can hold."}};
  }
  // File > Open of each refused file: the box, and the window as it was.
  void OpenEachRefused(TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    const std::string text = e.Text(), caption = w.Caption(), name = w.FileName;
    const bool modified = e.Modified();
    for (const auto& [file, box] : Refused) {
      if (modified) ScriptMessageBoxAnswer(mrNo);  // not saved: do not save
      ScriptFileDialogAnswer(file);
      ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|&Open"));
      EXPECT_EQ(LastBox(), box);
      EXPECT_EQ(e.Text(), text) << file;
      EXPECT_EQ(w.Caption(), caption) << file;
      EXPECT_EQ(w.FileName, name) << file;
      EXPECT_EQ(e.Modified(), modified) << file;
    }
  }
};

TEST_F(TRefusedOpenTest, ARefusedOpenLeavesTheOpenTapeAndItsNameForF2) {
  StartProgram();
  const std::string tape = (TempDir / "SMALL.NC").string();
  const std::string bytes = "M48\r\nT01C0.0100\r\n%\r\nT01\r\nX0100Y0100\r\nM30\r\n";
  WriteFileBytes(tape, bytes);
  InEditor([&](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    ScriptFileDialogAnswer(tape);
    ASSERT_TRUE(ClickMenu(w.MainMenu, "&File|&Open"));
    ASSERT_EQ(e.Text(), bytes);
    EXPECT_EQ(w.Caption(), "Quillex - " + tape);
    OpenEachRefused(w);
    w.EditorBox.KeyDown(VK_F1 + 1, 0);  // F2
    EXPECT_EQ(ReadFileBytes(tape), bytes);
    // Changed and not saved: the change and its undo stay.
    e.SetCaretPosition(5, 1);
    e.InsertString("G05");
    OpenEachRefused(w);
    ASSERT_TRUE(e.CanUndo());
    e.Undo();
    EXPECT_EQ(e.Text(), bytes);
  });
}

TEST_F(TRefusedOpenTest, OkAfterARefusedOpenInTextEditRoutKeepsTheLayer) {
  StartProgram();
  Form->LayerPanel.FindControl("L40")->Click();
  ASSERT_EQ(Form->Menu(), &Form->RoutMenu);
  RTDB->AddLineSegment({0, 0}, {In, 0}, false, NoZOffset, 0);
  RTDB->AppendLine({In, In}, 0, NoZOffset);
  RoutUndo->BeginOperation("Lines");
  RTDB->AddLineSegment({2 * In, 0}, {3 * In, 0}, false, NoZOffset, 0);
  RoutUndo->BeginOperation("Line");
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|&Undo"));
  ASSERT_EQ(RoutUndo->RedoCount(), 1);
  DatabaseModified = false;
  // The layer as the editor shows it, before and after.
  auto layerTape = [this] {
    std::string tape;
    QueueModalScript("TQuillexForm", [&tape](TForm& f) {
      tape = static_cast<TQuillexForm&>(f).Editor->Text();
      f.Get<TButton>("CancelButton").Click();
    });
    EXPECT_TRUE(ClickMenu(*Form->Menu(), "&Edit|Text &Edit Rout"));
    return tape;
  };
  const std::string before = layerTape();
  ASSERT_NE(before.find("X"), std::string::npos) << before;
  QueueModalScript("TQuillexForm", [this](TForm& f) {
    OpenEachRefused(static_cast<TQuillexForm&>(f));
    f.Get<TButton>("OKButton").Click();
  });
  QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|Text &Edit Rout"));
  EXPECT_FALSE(RoutLayerEmpty(40));
  EXPECT_EQ(layerTape(), before);
  // The tape came back as it was written: the layer, its undo and redo and
  // the job's flag are as they were.
  EXPECT_FALSE(DatabaseModified);
  std::string step;
  ASSERT_TRUE(RoutUndo->CanUndo(step));
  EXPECT_EQ(step, "Lines");
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&Edit|&Redo"));
  EXPECT_EQ(RoutUndo->RedoCount(), 0);
  EXPECT_GT(layerTape().size(), before.size()) << "the line undone is not back";
}

// A selection of the user's is the scope, even one set by hand to the
// range the last find selected.
TEST_F(TEditorInProgramTest, AUserSelectionStillLimitsFindAndReplaceAll) {
  StartProgram();
  InEditor([](TQuillexForm& w) {
    TQedTextFileEditor& e = Tape(w);
    Find(w, "T0", false, 0);
    // The same two characters selected again with the keys.
    for (uint16_t key : {VK_LEFT, VK_RIGHT}) w.EditorBox.KeyDown(key, 0);
    for (int i = 0; i < 2; ++i) w.EditorBox.KeyDown(VK_LEFT, ssShift);
    ExpectScope(e, {2, 1}, {2, 3});
    ReplaceAll(w, "T0", "T9", 1);
    EXPECT_EQ(e.Text("/"), "M48/T93/X0100Y0100/T05/X0200Y0200/T03/X0300Y0300/T05/M30");
    ExpectScope(e, {2, 1}, {2, 3});
    // Lines 4 to 6 selected: Find keeps to them, Replace All too.
    e.SetSelection({4, 1}, {6, 4});
    Find(w, "T0", false, 1);
    EXPECT_EQ(e.Caret(), (TTextPoint{4, 3}));
    ExpectScope(e, {4, 1}, {6, 4});
    ReplaceAll(w, "T0", "T7", 1);
    EXPECT_EQ(e.Text("/"), "M48/T93/X0100Y0100/T75/X0200Y0200/T73/X0300Y0300/T05/M30");
  });
}

// A drag held past the text scrolls on the timer, faster farther away; the
// selection follows; releasing or coming back inside stops it; a move alone
// never jumps.
TEST_F(TEditorInProgramTest, ADragHeldPastTheTextScrollsOnTheTimer) {
  StartProgram();
  InEditor([](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    std::string text;
    for (int i = 1; i <= 400; ++i) text += "N" + std::to_string(i) + std::string(120, 'x') + "\r\n";
    e.InsertString(text);
    e.SetCaretPosition(1, 1);
    const int32_t vis = e.VisibleLines(), h = e.LineHeight(), x = e.LeftMargin + 1;
    TPaintBox& box = w.EditorBox;
    // Over ten ticks the top line rises by the step at (nearly) every tick.
    auto expectSteps = [&e](int32_t step) {
      int moved = 0;
      for (int i = 0; i < 10; ++i) {
        const int32_t top = e.TopLine();
        HeadlessAdvanceTime(TQedTimerPool::kMinInterval);
        EXPECT_TRUE(e.TopLine() == top || e.TopLine() == top + step) << e.TopLine() - top;
        moved += e.TopLine() != top;
      }
      EXPECT_GE(moved, 9);
    };
    box.MouseDown(mbLeft, ssLeft, x, 1);
    box.MouseMove(ssLeft, x, 40 * vis * h);  // far below: one line, no jump
    EXPECT_EQ(e.TopLine(), 2);
    box.MouseMove(ssLeft, x, vis * h + 1);  // within a line of the edge
    expectSteps(1);
    // The selection reaches from the press to the last line shown.
    ExpectScope(e, {1, 1}, e.Caret());
    EXPECT_EQ(e.Caret().Line, e.TopLine() + vis - 1);
    box.MouseMove(ssLeft, x, vis * h + 3 * h + 1);  // four lines a tick
    expectSteps(4);
    box.MouseMove(ssLeft, x, vis * h + 100 * h);  // at most ten
    expectSteps(10);
    // Released: the view stands.
    box.MouseUp(mbLeft, 0, x, vis * h + 100 * h);
    int32_t top = e.TopLine();
    HeadlessAdvanceTime(1000);
    EXPECT_EQ(e.TopLine(), top);
    ExpectScope(e, {1, 1}, e.Caret());

    // Above the text it scrolls up; back inside it stops, the caret there.
    box.MouseDown(mbLeft, ssLeft, x, 1);
    box.MouseMove(ssLeft, x, -1);
    top = e.TopLine();
    HeadlessAdvanceTime(10 * TQedTimerPool::kMinInterval);
    EXPECT_LE(e.TopLine(), top - 9);
    EXPECT_EQ(e.Caret().Line, e.TopLine());
    box.MouseMove(ssLeft, x, 2 * h + 1);
    top = e.TopLine();
    HeadlessAdvanceTime(1000);
    EXPECT_EQ(e.TopLine(), top);
    EXPECT_EQ(e.Caret().Line, top + 2);
    // Right of the text the columns scroll, up to the line's end.
    box.MouseMove(ssLeft, box.Width() + 1, 2 * h + 1);
    HeadlessAdvanceTime(10 * TQedTimerPool::kMinInterval);
    EXPECT_GE(e.LeftCol(), 10);
    HeadlessAdvanceTime(6000);
    EXPECT_EQ(e.Caret().Col, int32_t(std::to_string(top + 2).size()) + 122);
    EXPECT_EQ(e.LeftCol(), e.Caret().Col - e.VisibleCols());
    // Held below to the end, the view stops at the last line.
    box.MouseMove(ssLeft, x, vis * h + 100 * h);
    HeadlessAdvanceTime(3000);
    EXPECT_EQ(e.TopLine(), e.LineCount() - vis + 1);
    EXPECT_EQ(e.Caret().Line, e.LineCount());
    box.MouseUp(mbLeft, 0, x, vis * h + 100 * h);
  });
}

}  // namespace
