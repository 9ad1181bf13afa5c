#include "editor/text_editor.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "editor/editor_window.h"
#include "platform/clipboard.h"
#include "platform/file_ops.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "canvas_test_helpers.h"
#include "korvex_test.h"

namespace fs = std::filesystem;

namespace {

class EditorTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    Box.SetBounds(0, 0, 600, 400);
    Ed = std::make_unique<TQedTextFileEditor>(Box);
  }
  void Type(const std::string& s) {
    for (char c : s) Box.KeyPress(c);
  }
  void Key(uint16_t key, TShiftState shift = 0) { Box.KeyDown(key, shift); }
  TForm Form{"THost"};
  TPaintBox& Box = Form.Add<TPaintBox>("Box");
  TQedController Controller{Form};
  std::unique_ptr<TQedTextFileEditor> Ed;
};

TEST_F(EditorTest, TypingSelectionClipboardAndUndoThroughKeys) {
  Type("G01 X1.0\rG02 Y2.5");
  EXPECT_EQ(Ed->Text("\n"), "G01 X1.0\nG02 Y2.5");
  EXPECT_EQ(Ed->Caret(), (TTextPoint{2, 9}));
  Key(VK_HOME, ssShift);
  EXPECT_EQ(Ed->SelectedText(), "G02 Y2.5");
  Key('C', ssCtrl);
  EXPECT_EQ(GetClipboardText(), "G02 Y2.5");
  Key(VK_HOME, ssCtrl);
  Key(VK_INSERT, ssShift);  // paste at the start
  EXPECT_EQ(Ed->Text("\n"), "G02 Y2.5G01 X1.0\nG02 Y2.5");
  EXPECT_EQ(Ed->SelectedText(), "G02 Y2.5");  // the pasted text stays marked
  Key(VK_DELETE, ssShift);  // cut it again
  EXPECT_EQ(Ed->Text("\n"), "G01 X1.0\nG02 Y2.5");
  // Word moves and deleting back over a line start.
  Key(VK_RIGHT, ssCtrl);
  EXPECT_EQ(Ed->Caret(), (TTextPoint{1, 5}));
  Key(VK_DOWN);
  Key(VK_HOME);
  Key(VK_BACK);
  EXPECT_EQ(Ed->Text("\n"), "G01 X1.0G02 Y2.5");
  // Everything undoes to the empty text and redoes to the last one.
  while (Ed->CanUndo()) Key('Z', ssCtrl);
  EXPECT_EQ(Ed->Text("\n"), "");
  EXPECT_FALSE(Ed->Modified());
  Key('Z', ssCtrl);
  EXPECT_FALSE(Beeps().empty());  // nothing left to undo
  while (Ed->CanRedo()) Key('Z', ssCtrl | ssShift);
  EXPECT_EQ(Ed->Text("\n"), "G01 X1.0G02 Y2.5");
  // Overwrite mode replaces the character at the caret.
  Key(VK_INSERT);
  Key(VK_HOME);
  Type("M");
  EXPECT_EQ(Ed->LineText(1), "M01 X1.0G02 Y2.5");
}

TEST_F(EditorTest, BookmarksAndSmartTabs) {
  Type("G01 X1.0\r");
  Key('3', ssCtrl | ssShift);  // set marker 3 at line 2
  EXPECT_EQ(Ed->GetMarkerPosition(3).Line, 2);
  Key(VK_HOME, ssCtrl);
  Type("N1\r");
  EXPECT_EQ(Ed->GetMarkerPosition(3).Line, 3);  // the marker moved with its line
  Key('3', ssCtrl);
  EXPECT_EQ(Ed->Caret().Line, 3);
  EXPECT_EQ(Ed->GetMarkerPosition(4).Line, -1);
  EXPECT_THROW(Ed->SetMarkerAt(1, 9, 1), EInvalidLineOrCol);
  EXPECT_THROW(Ed->SetCaretPosition(0, 1), EInvalidLineOrPara);
  // A smart tab under "G01 X1.0" lines up with the next word.
  Ed->WantTab = true;
  Ed->TabType = ttSmart;
  Ed->SetCaretPosition(3, 1);
  Key(VK_TAB);
  EXPECT_EQ(Ed->LineText(3), "    ");
  EXPECT_EQ(Ed->Caret().Col, 5);
}

TEST_F(EditorTest, SearchAndReplaceHonourCaseWordsAndDirection) {
  Ed->InsertString("x1 X1 x12\r\nY x1\r\n");
  Ed->List().Undo().Clear();
  Ed->SetCaretPosition(1, 1);
  EXPECT_TRUE(Ed->Search("X1", soCaseSensitive));
  TTextPoint a, b;
  ASSERT_TRUE(Ed->GetSelection(a, b));
  EXPECT_EQ(a, (TTextPoint{1, 4}));
  EXPECT_TRUE(Ed->Search("x1", soWholeWords));  // skips x12
  Ed->GetSelection(a, b);
  EXPECT_EQ(a, (TTextPoint{2, 3}));
  EXPECT_TRUE(Ed->Search("x1", soBackward | soWholeWords));
  Ed->GetSelection(a, b);
  EXPECT_EQ(a, (TTextPoint{1, 4}));
  EXPECT_FALSE(Ed->Search("Z9", 0));
  const std::string before = Ed->Text();
  EXPECT_EQ(Ed->Replace("x1", "T05", soReplaceAll | soEntireScope), 4);
  EXPECT_EQ(Ed->Text("\n"), "T05 T05 T052\nY T05\n");
  while (Ed->CanUndo()) Ed->Undo();
  EXPECT_EQ(Ed->Text(), before);
  // Only inside the selected lines.
  Ed->SetSelection({2, 1}, {3, 1});
  EXPECT_EQ(Ed->Replace("x1", "Q", soReplaceAll | soEntireScope | soSelectedOnly), 1);
  EXPECT_EQ(Ed->Text("\n"), "x1 X1 x12\nY Q\n");
}

TEST_F(EditorTest, FilesLoadAndSaveWithTheirLineEnds) {
  const fs::path f = TempDir / "T.NC";
  Ed->TrimWhiteSpace = false;
  for (const std::string& eol : {std::string("\r\n"), std::string("\n"), std::string("\r")}) {
    const std::string bytes = "%" + eol + "T01C0.0100 " + eol + eol + "X1Y1" + eol + "M30" + eol;
    WriteFileBytes(f, bytes);
    Ed->SetFileName(f.string() + "x");
    Ed->SetFileName(f.string());
    Ed->Open();
    EXPECT_EQ(Ed->LineCount(), 6);
    std::string error;
    ASSERT_TRUE(Ed->SaveToFile(f.string(), error)) << error;
    EXPECT_EQ(ReadFileBytes(f), bytes);
  }
  // A 100,000-character line is kept whole; a last line without an end gets one.
  const std::string big(100000, '7');
  WriteFileBytes(f, "A\r\n" + big);
  Ed->Open();
  EXPECT_EQ(Ed->LineText(2), big);
  std::string error;
  ASSERT_TRUE(Ed->SaveToFile(f.string(), error));
  EXPECT_EQ(ReadFileBytes(f), "A\r\n" + big + "\r\n");
  // Trimming drops trailing blanks only; the backup keeps the old file.
  Ed->TrimWhiteSpace = true;
  Ed->MakeBackup = true;
  WriteFileBytes(f, "G01  \r\n");
  Ed->Open();
  ASSERT_TRUE(Ed->SaveToFile(f.string(), error));
  EXPECT_EQ(ReadFileBytes(f), "G01\r\n");
  EXPECT_EQ(ReadFileBytes(TempDir / "T.BAK"), "G01  \r\n");
  // A save that fails keeps the older backup: here a folder has taken the
  // file's name, and neither it nor T.BAK may change.
  fs::remove(f);
  fs::create_directory(f);
  EXPECT_FALSE(Ed->SaveToFile(f.string(), error));
  EXPECT_TRUE(fs::is_directory(f));
  EXPECT_EQ(ReadFileBytes(TempDir / "T.BAK"), "G01  \r\n");
  fs::remove(f);
  // A save that cannot write keeps the old file and the modified text.
  Ed->InsertString("X");
  EXPECT_FALSE(Ed->SaveToFile((TempDir / "missing" / "T.NC").string(), error));
  EXPECT_NE(error.find("File access error"), std::string::npos);
  EXPECT_TRUE(Ed->Modified());
  Ed->SetFileName((TempDir / "none.nc").string());
  EXPECT_THROW(Ed->Open(), std::runtime_error);
  EXPECT_FALSE(Ed->IsOpen());
}

// The file is read in blocks of 1 MB: a line longer than a block, a CR LF
// and a lone CR split by a block's end all come out as written.
TEST_F(EditorTest, LinesCutByTheReadingBlocksComeOutWhole) {
  const size_t block = size_t(1) << 20;
  std::string bytes = std::string(block - 1, 'a') + "\r\n";
  bytes += std::string(2 * block - 1 - bytes.size(), 'b') + "\rc\n";
  bytes += std::string(3 * block - 1 - bytes.size(), 'd') + "\r";
  bytes += "\ne\r\rf\n\ng";
  std::string expected, line;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') {
      line += bytes[i];
      continue;
    }
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    expected += line + "|";
    line.clear();
  }
  expected += line + "|";
  const fs::path f = TempDir / "BLOCKS.NC";
  WriteFileBytes(f, bytes);
  Ed->TrimWhiteSpace = false;
  Ed->Open(f.string());
  EXPECT_EQ(Ed->LineCount(), 10);  // nine lines and the empty one after the last
  EXPECT_TRUE(Ed->Text("|") == expected);
  EXPECT_EQ(Ed->LineEnd(), TLineEnd::CrLf);
  EXPECT_EQ(Ed->List().LineEndBytes, 2);  // its CR last in the first block
  EXPECT_FALSE(Ed->LastLineEnded());
  // A line of the most a paragraph holds, its CR last in the block, is no
  // line too long.
  std::string lines;
  while (lines.size() < block - 1 - 32767) lines += std::string(30, 'y') + "\r\n";
  ASSERT_EQ(lines.size(), block - 1 - 32767);
  WriteFileBytes(f, lines + std::string(32767, 'z') + "\r\n");
  Ed->RefuseLongLines = true;
  Ed->Open(f.string());
  EXPECT_EQ(Ed->LineText(Ed->LineCount() - 1), std::string(32767, 'z'));
}

TEST_F(EditorTest, EveryTestDataTapeRoundTrips) {
  const fs::path dir = SharedTestData();
  if (dir.empty()) GTEST_SKIP() << "no shared test data";
  Ed->TrimWhiteSpace = false;
  int files = 0;
  for (const char* sub : {"excellon", "gerber"}) {
    if (!fs::exists(dir / sub)) continue;
    for (const auto& e : fs::directory_iterator(dir / sub)) {
      if (!e.is_regular_file() || e.path().filename() == "README.md") continue;
      const std::string bytes = ReadFileBytes(e.path());
      Ed->SetFileName(e.path().string());
      Ed->Open();
      const fs::path out = TempDir / "copy";
      std::string error;
      ASSERT_TRUE(Ed->SaveToFile(out.string(), error)) << error;
      const std::string back = ReadFileBytes(out);
      // Only a missing end on the last line is added.
      if (back != bytes) EXPECT_EQ(back.substr(0, bytes.size()), bytes) << e.path();
      EXPECT_LE(back.size(), bytes.size() + 2) << e.path();
      ++files;
    }
  }
  EXPECT_GT(files, 0);
}

TEST_F(EditorTest, ReadOnlyAutoIndentLiteralKeysAndTheMouse) {
  Ed->InsertString("    G01 X1");
  Ed->AutoIndent = true;
  Ed->TabType = ttFixed;
  Key(VK_END);
  Type("\rY2");
  EXPECT_EQ(Ed->LineText(2), "    Y2");  // indented to the first word above
  // WordStar: Ctrl+P makes the next key a literal control character.
  Ed->Processor().FindTable("WordStar")->Active = true;
  Key('P', ssCtrl);
  Key('L', ssCtrl);
  EXPECT_EQ(Ed->LineText(2), "    Y2\x0c");
  // Read-only: typing, pasting and undo change nothing; Back only moves left.
  const std::string before = Ed->Text();
  Ed->ReadOnly = true;
  Type("Z");
  SetClipboardText("Q");
  Ed->PasteFromClipboard();
  Ed->Undo();
  const TTextPoint c = Ed->Caret();
  Key(VK_BACK);
  EXPECT_EQ(Ed->Text(), before);
  EXPECT_EQ(Ed->Caret().Col, c.Col - 1);
  Ed->ReadOnly = false;
  // A click puts the caret under the pointer; shift-click selects.
  Ed->MouseDown(mbLeft, 0, Ed->LeftMargin + 2 * Ed->CharWidth() + 1, 1);
  EXPECT_EQ(Ed->Caret(), (TTextPoint{1, 3}));
  Ed->MouseDown(mbLeft, ssShift, Ed->LeftMargin + 6 * Ed->CharWidth() + 1, Ed->LineHeight() + 1);
  EXPECT_EQ(Ed->SelectedText(), "  G01 X1\r\n    Y2");
}

TEST_F(EditorTest, PaintingShowsTheSelectionAndScrollingFollowsTheCaret) {
  std::string text;
  for (int i = 1; i <= 500; ++i) text += "N" + std::to_string(i) + "\r\n";
  Ed->InsertString(text);
  Key(VK_END, ssCtrl);
  EXPECT_EQ(Ed->Caret().Line, 501);
  EXPECT_GE(Ed->TopLine(), 501 - Ed->VisibleLines() + 1);
  EXPECT_LE(Ed->TopLine(), 501);
  Key(VK_HOME, ssCtrl);
  EXPECT_EQ(Ed->TopLine(), 1);
  Key(VK_NEXT);
  EXPECT_EQ(Ed->Caret().Line, Ed->VisibleLines());
  EXPECT_THROW(Ed->SetTopLine(502), EInvalidLineOrPara);
  Ed->SetCaretPosition(1, 1);
  Ed->HideSelection = false;  // the box has no focus here
  Ed->Paint();
  EXPECT_EQ(CountColor(Box.Buffer(), Ed->HighlightColors.BackColor()), 0);
  Key(VK_DOWN, ssShift);
  Ed->Paint();
  EXPECT_GT(CountColor(Box.Buffer(), Ed->HighlightColors.BackColor()), 0);
}

TEST_F(EditorTest, AnyLineEndLoadsAndARefusedOpenLeavesTheTextAsItWas) {
  const fs::path f = TempDir / "CR.NC";
  WriteFileBytes(f, "A\rB\rC");
  Ed->SetFileName(f.string());
  Ed->Open();
  EXPECT_EQ(Ed->Text("|"), "A|B|C|");
  EXPECT_EQ(Ed->LineEnd(), TLineEnd::Cr);
  EXPECT_FALSE(Ed->LastLineEnded());
  EXPECT_FALSE(Ed->Modified());
  EXPECT_FALSE(Ed->CanUndo());  // loading is not an edit
  // More lines than allowed: refused, and the open text stays.
  Ed->List().ParaLimit = 2;
  EXPECT_THROW(Ed->Open(), EEditorError);
  EXPECT_TRUE(Ed->IsOpen());
  EXPECT_EQ(Ed->Text("|"), "A|B|C|");
}

// ---------------------------------------------------------------- the window

class EditorWindowTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    EditorSession = TEditorSession{};
  }
};

TEST_F(EditorWindowTest, WindowEditsAndSavesWithOkAndItsKeys) {
  const fs::path f = TempDir / "R.NC";
  WriteFileBytes(f, "G00 X1\r\nG01 X2\r\nM30\r\n");
  QueueModalScript("TQuillexForm", [](TForm& form) {
    auto& w = static_cast<TQuillexForm&>(form);
    TPaintBox& box = w.EditorBox;
    EXPECT_EQ(w.Editor->Caret().Line, 2);  // opened at the given line
    box.KeyDown('Y', ssCtrl);              // delete line 2
    box.KeyDown('Q', ssCtrl);              // Ctrl Q then C: end of the text
    box.KeyDown('C', 0);
    EXPECT_EQ(w.Editor->Caret().Line, 3);
    for (char c : std::string("M02")) box.KeyPress(c);
    // Ctrl O then G: go to a line; a bad number is refused by name.
    ScriptInputBoxAnswer("9");
    box.KeyDown('O', ssCtrl);
    box.KeyDown('G', ssCtrl);
    EXPECT_EQ(ShownMessageBoxes().back().Text, "Illegal line number <9>");
    form.Get<TButton>("OKButton").Click();
  });
  EXPECT_TRUE(RunTextEditor(f.string(), 2));
  EXPECT_EQ(ReadFileBytes(f), "G00 X1\r\nM30\r\nM02\r\n");
}

TEST_F(EditorWindowTest, TheMainWindowGetsItsHintBackWhenTheEditorCloses) {
  SetApplicationHint("Create Rout Path");
  std::string heard;
  OnApplicationHint = [&heard] { heard = ApplicationHint(); };
  QueueModalScript("TQuillexForm", [](TForm& form) {
    auto& w = static_cast<TQuillexForm&>(form);
    w.MainMenu.FindItem("Save1")->Highlight();
    EXPECT_EQ(ApplicationHint(), "F2");
    form.Close();
  });
  RunTextEditor("", 0);
  EXPECT_EQ(ApplicationHint(), "Create Rout Path");
  EXPECT_EQ(heard, "Create Rout Path");
  OnApplicationHint = nullptr;
  SetApplicationHint("");
}

TEST_F(EditorWindowTest, FindReplaceMarkersAndAgain) {
  QueueModalScript("TQuillexForm", [](TForm& form) {
    auto& w = static_cast<TQuillexForm&>(form);
    w.Editor->InsertString("T1 T2 T1\r\nT1");
    w.Editor->SetCaretPosition(1, 1);
    w.Again();
    EXPECT_EQ(ShownMessageBoxes().back().Text, "Tried to search for an empty string");
    QueueModalScript("TSearchAndReplaceDialog", [](TForm& d) {
      d.Get<TComboBox>("FindTextCombo").SetText("T1");
      d.Get<TComboBox>("ReplaceTextCombo").SetText("T9");
      d.Get<TCheckBox>("PromptCheckBox").SetChecked(false);
      d.Click("ReplaceButton");
    });
    w.ReplaceText();
    EXPECT_EQ(w.Editor->Text("\n"), "T9 T2 T9\nT9");
    EXPECT_EQ(EditorSession.SearchWords[0], "T1");
    QueueModalScript("TSearchDialog", [](TForm& d) {
      d.Get<TComboBox>("FindTextCombo").SetText("T7");
      d.Click("OKButton");
    });
    w.Find();
    EXPECT_EQ(ShownMessageBoxes().back().Text, "Search string 'T7' not found");
    // One occurrence at a time, asked each time.
    w.Editor->SetCaretPosition(1, 1);
    QueueModalScript("TSearchAndReplaceDialog", [](TForm& d) {
      d.Get<TComboBox>("FindTextCombo").SetText("T9");
      d.Get<TComboBox>("ReplaceTextCombo").SetText("T4");
      d.Get<TCheckBox>("PromptCheckBox").SetChecked(true);
      d.Click("OKButton");
    });
    ScriptMessageBoxAnswer(mrYes);
    w.ReplaceText();
    EXPECT_EQ(ShownMessageBoxes().back().Text, "Replace this occurrence?");
    EXPECT_EQ(w.Editor->Text("\n"), "T4 T2 T9\nT9");
    EXPECT_EQ(w.Editor->Caret(), (TTextPoint{1, 3}));
    ScriptMessageBoxAnswer(mrNo);  // Again: the next one is found but kept
    w.Again();
    EXPECT_EQ(w.Editor->Text("\n"), "T4 T2 T9\nT9");
    EXPECT_FALSE(w.Editor->SelectionExists());
    // Markers: the lowest free one is set, the one at the caret cleared.
    for (int i = 0; i < 10; ++i) {
      w.Editor->SetCaretPosition(1, i + 1);
      w.SetMarker();
    }
    w.Editor->SetCaretPosition(2, 1);
    w.SetMarker();
    EXPECT_EQ(ShownMessageBoxes().back().Text, "There are no more available markers");
    w.Editor->SetCaretPosition(1, 3);
    w.SetMarker();
    EXPECT_EQ(w.Editor->GetMarkerPosition(2).Line, -1);
    // Block begin after block end on one line removes the selection.
    w.Editor->SetCaretPosition(1, 2);
    w.BlockEnd();
    w.Editor->SetCaretPosition(1, 5);
    w.BlockBegin();
    EXPECT_FALSE(w.Editor->SelectionExists());
    ScriptMessageBoxAnswer(mrNo);  // not saved: do not save
    form.Close();
  });
  EXPECT_FALSE(RunTextEditor("", 0));
}

TEST_F(EditorWindowTest, HistoryKeepsTenDistinctEntries) {
  std::array<std::string, 10> words;
  for (int i = 0; i < 12; ++i) RememberWord(words, "w" + std::to_string(i));
  EXPECT_EQ(words[0], "w11");
  EXPECT_EQ(words[9], "w2");
  RememberWord(words, "w8");  // place 4 moves to place 1
  EXPECT_EQ(words[0], "w8");
  EXPECT_EQ(words[1], "w11");
  EXPECT_EQ(words[3], "w9");
  EXPECT_EQ(words[4], "w7");
}

}  // namespace
