#include <gtest/gtest.h>

#include <filesystem>

#include "editor/editor_settings.h"
#include "editor/editor_window.h"
#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/headless/headless_printer.h"
#include "platform/registry.h"

namespace {

class EditorDialogsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    EditorSession = TEditorSession{};
    HeadlessPrinter().Reset();
  }
  // Runs the window on no file with the script, closing it unsaved.
  void RunWindow(std::function<void(TQuillexForm&)> script) {
    QueueModalScript("TQuillexForm", [script](TForm& f) {
      auto& w = static_cast<TQuillexForm&>(f);
      script(w);
      w.Editor->SetModified(false);
      f.Close();
    });
    RunTextEditor("", 0);
  }
};

TEST_F(EditorDialogsTest, SettingsAreCreatedOnFirstUseAndComeBack) {
  RunWindow([](TQuillexForm& w) {
    EXPECT_EQ(w.Editor->Color, TColor(0x800000));
    EditorSession.SearchOptions = soCaseSensitive | soBackward;
    RememberWord(EditorSession.SearchWords, "T01");
    w.Editor->FixedFont.SetSize(14);
  });
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(std::string(EditorRegistryKey) + "\\Layout", false));
  int32_t size = 0;
  EXPECT_EQ(reg.ReadInteger("Font Size", size), TRegStatus::Ok);
  EXPECT_EQ(size, 14);
  // A removed value is written back from the current setting; the rest stay.
  ASSERT_TRUE(reg.DeleteValue("Font Name"));
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKey(std::string(EditorRegistryKey) + "\\Search Words", false));
  std::string w10 = "x";
  EXPECT_EQ(reg.ReadString("Word 10", w10), TRegStatus::Ok);  // empty entries are written too
  EXPECT_EQ(w10, "");
  reg.CloseKey();
  EditorSession = TEditorSession{};
  RunWindow([](TQuillexForm& w) {
    EXPECT_EQ(w.Editor->FixedFont.Size(), 14);
    EXPECT_EQ(w.Editor->FixedFont.Name(), "Courier New");
    EXPECT_EQ(EditorSession.SearchOptions, soCaseSensitive | soBackward);
    EXPECT_EQ(EditorSession.SearchWords[0], "T01");
  });
}

TEST_F(EditorDialogsTest, PrintingCutsLongLinesAndCanPrintTheSelection) {
  RunWindow([](TQuillexForm& w) {
    w.Editor->InsertString("G01\t X1\r\n" + std::string(300, 'Y'));
    QueueModalScript("TDoPrintDialog", [](TForm& d) {
      EXPECT_FALSE(d.Get<TCheckBox>("SelTextCheckBox").Enabled());
      EXPECT_EQ(d.Get<TLabel>("Label1").Caption(), "UNTITLED.TXT");
      d.Click("OKButton");
    });
    w.Print();
    w.Editor->SetSelection({1, 1}, {1, 4}, false);
    w.Editor->SetCaretPosition(2, 1);  // the caret is outside: unchecked at first
    QueueModalScript("TDoPrintDialog", [](TForm& d) {
      auto& box = d.Get<TCheckBox>("SelTextCheckBox");
      EXPECT_FALSE(box.Checked());
      box.Click();
      d.Click("OKButton");
    });
    w.Print();
  });
  const auto& docs = HeadlessPrinter().Documents;
  ASSERT_EQ(docs.size(), 2u);
  EXPECT_EQ(docs[0].Pages[0].Lines, (std::vector<std::string>{"G01      X1", std::string(255, 'Y')}));
  EXPECT_EQ(docs[1].Pages[0].Lines, (std::vector<std::string>{"G01"}));
}

TEST_F(EditorDialogsTest, InformationColoursAndMenuStates) {
  RunWindow([](TQuillexForm& w) {
    QueueModalScript("TInfoDialog", [](TForm& d) {
      EXPECT_EQ(d.Get<TLabel>("LinesLabel").Caption(), "1 Line");
      EXPECT_EQ(d.Get<TLabel>("BytesLabel").Caption(), "0 Bytes");
      EXPECT_EQ(d.Get<TLabel>("ModifiedLabel").Caption(), "Not Modified");
      d.Click("OKButton");
    });
    w.GetInfo();
    w.Editor->InsertString("A");
    QueueModalScript("TInfoDialog", [](TForm& d) {
      EXPECT_EQ(d.Get<TLabel>("BytesLabel").Caption(), "1 Byte");
      EXPECT_EQ(d.Get<TLabel>("ModifiedLabel").Caption(), "Modified");
      d.Click("OKButton");
    });
    w.GetInfo();
    // Selected-text colours are edited on the grid; Cancel would keep them.
    QueueModalScript("TFontColorDialog", [](TForm& d) {
      d.Get<TRadioGroup>("SelectGroup").SetItemIndex(1);
      d.Get<TColorGrid>("ColorGrid1").ClickColor(TColorGrid::IndexOfColor(clBlack), mbRight);
      d.Click("OKButton");
    });
    TMenuItem* colors = w.MainMenu.FindItem("Colors1");
    ASSERT_NE(colors, nullptr);
    colors->Click();
    EXPECT_EQ(w.Editor->HighlightColors.BackColor(), clBlack);
    EXPECT_EQ(w.Editor->Color, TColor(0x800000));
    // Undo is offered once there is something to undo; cut needs a selection.
    TMenuItem& edit = *w.MainMenu.FindItem("Edit1");
    edit.OnPopup(edit);
    EXPECT_TRUE(w.MainMenu.FindItem("Undo1")->Enabled());
    EXPECT_FALSE(w.MainMenu.FindItem("Cut1")->Enabled());
  });
}

}  // namespace

namespace {

namespace fs = std::filesystem;

class EditorBlocksTest : public EditorDialogsTest {};

TEST_F(EditorBlocksTest, BlocksCopyMoveHideWriteAndRead) {
  const fs::path in = TempDir / "IN.NC";
  WriteFileBytes(in, std::string("M06\r\nT02\r\n") + char(26));
  const fs::path out = TempDir / "OUT.NC";
  RunWindow([&](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    e.InsertString("AAA\r\nBBB\r\nCCC");
    const std::string start = e.Text();
    // Ctrl K B / Ctrl K K mark lines 1 and 2 as the block.
    e.SetCaretPosition(1, 1);
    w.UserCommand(260);
    e.SetCaretPosition(3, 1);
    w.UserCommand(261);
    EXPECT_EQ(e.SelectedText(), "AAA\r\nBBB\r\n");
    // Hide and show it again.
    w.BlockHide();
    EXPECT_FALSE(e.SelectionExists());
    w.BlockHide();
    EXPECT_EQ(e.SelectedText(), "AAA\r\nBBB\r\n");
    // Copy to the end of the text, then move it back to the start.
    e.SetCaretPosition(3, 4);
    w.BlockCopy(false);
    EXPECT_EQ(e.Text("|"), "AAA|BBB|CCCAAA|BBB|");
    e.SetSelection({3, 4}, {5, 1});
    e.SetCaretPosition(1, 1);
    w.BlockCopy(true);
    EXPECT_EQ(e.Text("|"), "AAA|BBB|AAA|BBB|CCC");
    // Write the selection to a file: exactly its bytes.
    e.SetSelection({1, 1}, {2, 4});
    ScriptFileDialogAnswer(out.string());
    w.BlockWrite();
    EXPECT_EQ(ReadFileBytes(out), "AAA\r\nBBB");
    // Read a file in at the caret: its closing Ctrl-Z stays out; the text read is selected.
    e.Deselect();
    e.SetCaretPosition(5, 1);
    ScriptFileDialogAnswer(in.string());
    w.BlockRead();
    EXPECT_EQ(e.Text("|"), "AAA|BBB|AAA|BBB|M06|T02|CCC");
    EXPECT_EQ(e.SelectedText(), "M06\r\nT02\r\n");
    // Every step undoes back to the text as typed.
    while (e.CanUndo()) e.Undo();
    EXPECT_EQ(e.Text(), "");
    while (e.CanRedo()) e.Redo();
    EXPECT_EQ(e.Text("|"), "AAA|BBB|AAA|BBB|M06|T02|CCC");
    (void)start;
  });
}

TEST_F(EditorBlocksTest, OpeningAndSavingTellTheUserWhatWentWrong) {
  const fs::path f = TempDir / "A.NC";
  WriteFileBytes(f, "G00\r\n");
  RunWindow([&](TQuillexForm& w) {
    w.Editor->InsertString("X");
    // Cancel at the save question keeps the text, its name and the caption.
    ScriptMessageBoxAnswer(mrCancel);
    w.Open();
    EXPECT_EQ(w.Editor->Text(), "X");
    EXPECT_EQ(w.Caption(), "Quillex - UNTITLED");
    // No: the chosen file opens in place of the text; a missing one is
    // named and the text stays.
    ScriptMessageBoxAnswer(mrNo);
    ScriptFileDialogAnswer((TempDir / "NONE.NC").string());
    w.Open();
    EXPECT_EQ(ShownMessageBoxes().back().Text, "File <" + (TempDir / "NONE.NC").string() + "> does not exist!");
    EXPECT_EQ(w.Editor->Text(), "X");
    EXPECT_TRUE(w.Editor->Modified());
    ScriptMessageBoxAnswer(mrNo);
    ScriptFileDialogAnswer(f.string());
    w.Open();
    EXPECT_EQ(w.Caption(), "Quillex - " + f.string());
    EXPECT_EQ(w.Editor->LineText(1), "G00");
    // A save that fails keeps the text modified and says why.
    w.Editor->InsertString("N1");
    fs::remove_all(TempDir / "GONE");
    fs::create_directories(TempDir / "GONE");
    w.FileName = (TempDir / "GONE" / "sub" / "B.NC").string();
    w.Save();
    EXPECT_NE(ShownMessageBoxes().back().Text.find("File access error"), std::string::npos);
    EXPECT_TRUE(w.Editor->Modified());
    EXPECT_EQ(ReadFileBytes(f), "G00\r\n");
    // With one marker set, Go to marker jumps without asking.
    w.Editor->SetCaretPosition(1, 2);
    w.SetMarker();
    w.Editor->SetCaretPosition(2, 1);
    w.GotoMarker();
    EXPECT_EQ(w.Editor->Caret(), (TTextPoint{1, 2}));
  });
}

TEST_F(EditorBlocksTest, CancelLeavesTheFileAsItWas) {
  const fs::path f = TempDir / "C.NC";
  WriteFileBytes(f, "G00\r\n");
  QueueModalScript("TQuillexForm", [](TForm& form) {
    auto& w = static_cast<TQuillexForm&>(form);
    w.Editor->InsertString("JUNK");
    form.Get<TButton>("CancelButton").Click();
  });
  EXPECT_FALSE(RunTextEditor(f.string(), 0));
  EXPECT_EQ(ReadFileBytes(f), "G00\r\n");
}

}  // namespace
