#include <gtest/gtest.h>

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
    w.Editor->FixedFont.Size = 14;
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
    EXPECT_EQ(w.Editor->FixedFont.Size, 14);
    EXPECT_EQ(w.Editor->FixedFont.Name, "Courier New");
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
    EXPECT_EQ(w.Editor->HighlightBack, clBlack);
    EXPECT_EQ(w.Editor->Color, TColor(0x800000));
    // Undo is offered once there is something to undo; cut needs a selection.
    TMenuItem& edit = *w.MainMenu.FindItem("Edit1");
    edit.OnPopup(edit);
    EXPECT_TRUE(w.MainMenu.FindItem("Undo1")->Enabled());
    EXPECT_FALSE(w.MainMenu.FindItem("Cut1")->Enabled());
  });
}

}  // namespace
