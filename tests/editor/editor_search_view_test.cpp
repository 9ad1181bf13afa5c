// Search and replace in a selected scope, the editor's scroll bars, caret
// jumps, double clicks, painting of the selection and the bookmarks, the
// window's settings and the command tables' numbers and streams.
#include <gtest/gtest.h>

#include "editor/editor_commands.h"
#include "editor/editor_settings.h"
#include "editor/editor_window.h"
#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"
#include "platform/registry.h"

namespace {

class EditorScopeTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    EditorSession = TEditorSession{};
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
  // The replace dialog answered with Replace All (prompting).
  static void ReplaceAllWith(const std::string& find, const std::string& with) {
    QueueModalScript("TSearchAndReplaceDialog", [find, with](TForm& d) {
      d.Get<TComboBox>("FindTextCombo").SetText(find);
      d.Get<TComboBox>("ReplaceTextCombo").SetText(with);
      d.Get<TCheckBox>("PromptCheckBox").SetChecked(true);
      d.Click("ReplaceButton");
    });
  }
  static size_t Questions() {
    size_t n = 0;
    for (const auto& b : ShownMessageBoxes()) n += b.Text == "Replace this occurrence?";
    return n;
  }
};

TEST_F(EditorScopeTest, ReplaceAllWithPromptsStaysInTheSelectedLine) {
  RunWindow([](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    e.InsertString("A A A\r\nA A A\r\nA A A");
    // Every answer Yes: the whole of line 2 and nothing else.
    e.SetSelection({2, 1}, {2, 6});
    ReplaceAllWith("A", "B");
    for (int i = 0; i < 3; ++i) ScriptMessageBoxAnswer(mrYes);
    w.ReplaceText();
    EXPECT_EQ(e.Text("/"), "A A A/B B B/A A A");
    EXPECT_EQ(Questions(), 3u);
    TTextPoint a, b;
    ASSERT_TRUE(e.GetSelection(a, b));  // the scope is marked again
    EXPECT_EQ(a, (TTextPoint{2, 1}));
    EXPECT_EQ(b, (TTextPoint{2, 6}));
    // No, No, No: the three matches of the line are offered, nothing of
    // line 3, and nothing changes.
    ResetMessageBoxScript();
    e.SetSelection({2, 1}, {2, 6});
    ReplaceAllWith("B", "C");
    for (int i = 0; i < 3; ++i) ScriptMessageBoxAnswer(mrNo);
    ScriptMessageBoxAnswer(mrYes);
    w.ReplaceText();
    EXPECT_EQ(e.Text("/"), "A A A/B B B/A A A");
    EXPECT_EQ(Questions(), 3u);
    ResetMessageBoxScript();
    // Mixed answers with a longer replacement keep to the scope as it grows.
    e.SetSelection({2, 1}, {2, 6});
    ReplaceAllWith("B", "XYZ");
    for (TModalResult r : {mrNo, mrYes, mrYes}) ScriptMessageBoxAnswer(r);
    w.ReplaceText();
    EXPECT_EQ(e.Text("/"), "A A A/B XYZ XYZ/A A A");
    EXPECT_EQ(Questions(), 3u);
    ResetMessageBoxScript();
  });
}

TEST_F(EditorScopeTest, FindAndAgainKeepTheSelectedScope) {
  RunWindow([](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    e.InsertString("X1 X2\r\nX3 X4 X5\r\nX6");
    e.SetSelection({2, 1}, {2, 9});  // the caret in the selection: scope "Selected text"
    QueueModalScript("TSearchDialog", [](TForm& d) {
      EXPECT_EQ(d.Get<TRadioGroup>("ScopeGroup").ItemIndex(), 1);
      EXPECT_EQ(d.ActiveControl(), &d.Get<TComboBox>("FindTextCombo"));  // typing goes to the text
      d.Get<TComboBox>("FindTextCombo").SetText("X");
      d.Click("OKButton");
    });
    w.Find();
    TTextPoint a, b;
    ASSERT_TRUE(e.GetSelection(a, b));
    EXPECT_EQ(a, (TTextPoint{2, 1}));  // the scope stays marked
    EXPECT_EQ(b, (TTextPoint{2, 9}));
    EXPECT_EQ(e.Caret(), (TTextPoint{2, 2}));  // the caret after the first match
    w.Again();
    EXPECT_EQ(e.Caret(), (TTextPoint{2, 5}));
    ASSERT_TRUE(e.GetSelection(a, b));
    EXPECT_EQ(b, (TTextPoint{2, 9}));
    w.Again();
    EXPECT_EQ(e.Caret(), (TTextPoint{2, 8}));
    w.Again();  // no X after the scope's last one within it
    EXPECT_EQ(ShownMessageBoxes().back().Text, "Search string 'X' not found");
    EXPECT_EQ(e.Caret(), (TTextPoint{2, 8}));
    // Without a selection a find marks the match and Again moves on from it.
    e.Deselect();
    e.SetCaretPosition(1, 1);
    QueueModalScript("TSearchDialog", [](TForm& d) {
      EXPECT_EQ(d.Get<TRadioGroup>("ScopeGroup").ItemIndex(), 0);
      d.Get<TComboBox>("FindTextCombo").SetText("X");
      d.Click("OKButton");
    });
    w.Find();
    EXPECT_EQ(e.SelectedText(), "X");
    EXPECT_EQ(EditorSession.LastMatchStart, (TTextPoint{1, 1}));
    w.Again();
    ASSERT_TRUE(e.GetSelection(a, b));
    EXPECT_EQ(a, (TTextPoint{1, 4}));
    EXPECT_EQ(EditorSession.LastMatchStart, (TTextPoint{1, 4}));
  });
}

// Finds that change direction go on from the match found last instead of
// finding it again: forward after backward, backward after forward, and
// Again follows the last direction chosen.
TEST_F(EditorScopeTest, FindsThatTurnRoundGoOnPastTheLastMatch) {
  RunWindow([](TQuillexForm& w) {
    TQedTextFileEditor& e = *w.Editor;
    e.InsertString("X1 X2 X3 X4");
    e.SetCaretPosition(1, 1);
    auto find = [&w](bool backward) {
      QueueModalScript("TSearchDialog", [backward](TForm& d) {
        d.Get<TComboBox>("FindTextCombo").SetText("X");
        d.Get<TRadioGroup>("DirectionGroup").SetItemIndex(backward ? 1 : 0);
        d.Click("OKButton");
      });
      w.Find();
    };
    auto selected = [&e] {
      TTextPoint a, b;
      return e.GetSelection(a, b) && a.Line == 1 && b.Col == a.Col + 1 ? a.Col : 0;
    };
    find(false);
    w.Again();
    w.Again();
    EXPECT_EQ(selected(), 7);  // X3
    find(true);
    EXPECT_EQ(selected(), 4);  // X2, not X3 again
    w.Again();
    EXPECT_EQ(selected(), 1);
    find(false);
    EXPECT_EQ(selected(), 4);  // X2, not X1 again
    w.Again();
    EXPECT_EQ(selected(), 7);
    w.Again();
    EXPECT_EQ(selected(), 10);
    w.Again();
    EXPECT_EQ(ShownMessageBoxes().back().Text, "Search string 'X' not found");
    EXPECT_EQ(selected(), 10);
  });
}

TEST_F(EditorScopeTest, TheWindowStartsWithItsFileMenuEnabledAndItsSettingsApplied) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(std::string(EditorRegistryKey) + "\\Layout", true));
    reg.WriteInteger("Top", 40);
    reg.WriteInteger("Left", 70);
    reg.WriteInteger("Height", 500);
    reg.WriteInteger("Width", 300);  // below the smallest width
    reg.WriteBool("Font StrikeOut", true);
  }
  RunWindow([](TQuillexForm& w) {
    for (const char* n : {"Close1", "Save1", "Writeto1"}) EXPECT_TRUE(w.MainMenu.FindItem(n)->Enabled()) << n;
    EXPECT_EQ(w.Bounds().Top, 40);
    EXPECT_EQ(w.Bounds().Left, 70);
    EXPECT_EQ(w.Bounds().Height(), 500);
    EXPECT_EQ(w.Bounds().Width(), 550);
    EXPECT_TRUE(w.Editor->FixedFont.Font().StrikeOut);
    w.ResizedByUser(100, 100);  // the window is not made smaller than its least size
    EXPECT_EQ(w.Bounds().Width(), 550);
    EXPECT_EQ(w.Bounds().Height(), 440);
    w.NormalBoundsFromBackend(TRect{15, 25, 15 + 600, 25 + 470});
    w.FrameExtentFromBackend(TPoint{10, 50});
  });
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(std::string(EditorRegistryKey) + "\\Layout", false));
  int32_t v = 0;
  bool strike = false;
  reg.ReadInteger("Width", v);
  EXPECT_EQ(v, 610);  // the window's size, its frame included
  reg.ReadInteger("Height", v);
  EXPECT_EQ(v, 520);
  reg.ReadInteger("Left", v);
  EXPECT_EQ(v, 15);
  reg.ReadBool("Font StrikeOut", strike);
  EXPECT_TRUE(strike);
  TForm other("TOther");
  other.FrameExtentFromBackend(TPoint{0, 0});  // what later windows take before they show
}

// ---------------------------------------------------------------- the view

class EditorViewTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    Box.SetBounds(0, 0, 400, 300);
    Ed = std::make_unique<TQedTextFileEditor>(Box);
    Ed->AttachScrollBars(&HBar, &VBar);
  }
  void Lines(int n, const std::string& tail = "") {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "N" + std::to_string(i) + tail + (i < n ? "\r\n" : "");
    Ed->InsertString(text);
    Ed->SetCaretPosition(1, 1);
  }
  TForm Form{"THost"};
  TPaintBox& Box = Form.Add<TPaintBox>("Box");
  TQedController Controller{Form};
  TScrollBar& HBar = Form.Add<TScrollBar>("HBar", sbHorizontal);
  TScrollBar& VBar = Form.Add<TScrollBar>("VBar", sbVertical);
  std::unique_ptr<TQedTextFileEditor> Ed;
};

TEST_F(EditorViewTest, CaretJumpsCentreTheLineAndScrollingKeepsToTheText) {
  Lines(300);
  const int32_t vis = Ed->VisibleLines();
  Ed->SetCaretPosition(300, 1);
  EXPECT_EQ(Ed->TopLine(), 300 - vis / 2);
  Ed->SetCaretPosition(1, 1);
  Ed->SetCaretPosition(vis + 1, 1);  // one line past the bottom: one line down
  EXPECT_EQ(Ed->TopLine(), 2);
  Ed->SetCaretPosition(1, 1);  // one line past the top
  EXPECT_EQ(Ed->TopLine(), 1);
  std::vector<int32_t> tops;
  Ed->OnTopLineChanged = [&tops](int32_t line) { tops.push_back(line); };
  Ed->ScrollBy(0, 1000);
  EXPECT_EQ(Ed->TopLine(), 300 - (vis - 1));
  EXPECT_EQ(tops, (std::vector<int32_t>{300 - (vis - 1)}));
  Ed->ScrollBy(0, -1000);
  EXPECT_EQ(Ed->TopLine(), 1);
  Ed->ScrollBy(3, 0);  // columns have no upper bound
  EXPECT_EQ(Ed->LeftCol(), 3);
  Ed->ScrollBy(-5, 0);
  EXPECT_EQ(Ed->LeftCol(), 0);
  tops.clear();
  Ed->ScrollBy(0, 0);
  EXPECT_TRUE(tops.empty());
  // The vertical bar: a page is a whole view; the thumb at the end shows
  // the last view.
  VBar.Scroll(scPageDown, 0);
  EXPECT_EQ(Ed->TopLine(), 1 + vis);
  VBar.Scroll(scLineUp, 0);
  EXPECT_EQ(Ed->TopLine(), vis);
  VBar.Scroll(scTrack, VBar.Max());
  EXPECT_EQ(Ed->TopLine(), 300 - (vis - 1));
  EXPECT_EQ(VBar.Position(), Ed->TopLine());
  VBar.Scroll(scTrack, 1);
  EXPECT_EQ(Ed->TopLine(), 1);
}

TEST_F(EditorViewTest, TheHorizontalBarReachesColumnsPastTheWindow) {
  Lines(3, std::string(200, 'x'));
  EXPECT_TRUE(HBar.Visible());
  EXPECT_EQ(HBar.Max(), 512);  // the longest allowed line, at most 512 columns
  const int32_t cols = Ed->VisibleCols();
  HBar.Scroll(scPageDown, 0);
  EXPECT_EQ(Ed->LeftCol(), cols - 1);
  HBar.Scroll(scLineUp, 0);
  EXPECT_EQ(Ed->LeftCol(), cols - 2);
  HBar.Scroll(scTrack, 150);
  EXPECT_EQ(Ed->LeftCol(), 150);
  EXPECT_EQ(HBar.Position(), 150);
  EXPECT_EQ(Ed->Caret(), (TTextPoint{1, 1}));  // the caret stays
  // The editor's bars leave it the keyboard when they are clicked.
  ASSERT_TRUE(Box.SetFocus());
  EXPECT_TRUE(HBar.Click());
  EXPECT_TRUE(Box.Focused());
  // Word wrap narrows the range to the wrap column; no need, no range.
  Ed->SetWrapColumn(20);
  Ed->SetWordWrap(true);
  EXPECT_EQ(HBar.Max(), 0);
  Ed->SetScrollBarsAlways(true);
  EXPECT_EQ(HBar.Max(), 20);
  Ed->SetScrollBars(ssVertical);
  EXPECT_FALSE(HBar.Visible());
  EXPECT_TRUE(VBar.Visible());
  Ed->SetScrollBars(ssNone);  // no bars: none always either
  EXPECT_FALSE(VBar.Visible());
  EXPECT_FALSE(Ed->ScrollBarsAlways());
}

TEST_F(EditorViewTest, AHundredThousandLinesScaleTheVerticalBar) {
  Box.SetBounds(0, 0, 400, Ed->LineHeight() * 20);
  std::string text;
  for (int i = 1; i < 100000; ++i) text += "\r\n";
  Ed->InsertString(text);
  EXPECT_EQ(Ed->VisibleLines(), 20);
  EXPECT_EQ(Ed->VScrollScale(), 6);
  EXPECT_EQ(VBar.Min(), 1);
  EXPECT_EQ(VBar.Max(), 16663);
}

TEST_F(EditorViewTest, DoubleClicksSelectWordsAndParagraphs) {
  Ed->InsertString("G01 X1.25 Y7\r\nM30");
  const int cw = Ed->CharWidth(), lh = Ed->LineHeight();
  const int x6 = Ed->LeftMargin + 5 * cw + 1;  // over column 6
  Box.DblClick(mbLeft, 0, x6, 1);
  EXPECT_EQ(Ed->SelectedText(), "X1");
  Box.DblClick(mbLeft, ssShift, Ed->LeftMargin + 10 * cw + 1, 1);  // Shift: grows by a word
  EXPECT_EQ(Ed->SelectedText(), "X1.25 Y7");
  Box.DblClick(mbLeft, 0, 2, lh + 1);  // the left margin: the paragraph
  EXPECT_EQ(Ed->SelectedText(), "M30");
  Box.DblClick(mbLeft, ssShift, 2, 1);
  EXPECT_EQ(Ed->SelectedText(), "G01 X1.25 Y7\r\nM30");
}

TEST_F(EditorViewTest, PaintingBandsTheInnerLinesGlyphsAndDisabledText) {
  Lines(5, "xxxxxxx");  // "N1xxxxxxx": 9 characters a line
  Ed->HideSelection = false;
  Ed->SetSelection({2, 5}, {4, 3});
  Ed->Paint();
  TCanvas& c = Box.Canvas();
  const int cw = Ed->CharWidth(), lh = Ed->LineHeight();
  const int far = Ed->LeftMargin + 30 * cw;  // beyond every line's text
  auto at = [&](int line, int col) { return c.GetPixel(Ed->LeftMargin + (col - 1) * cw + cw / 2, (line - 1) * lh + lh - 1); };
  EXPECT_EQ(c.GetPixel(far, 2 * lh + lh / 2), Ed->HighlightColors.BackColor());  // line 3: a band to the edge
  EXPECT_EQ(c.GetPixel(far, 1 * lh + lh / 2), Ed->Color);          // line 2 ends normal
  EXPECT_EQ(at(2, 4), Ed->Color);
  EXPECT_EQ(at(2, 5), Ed->HighlightColors.BackColor());
  EXPECT_EQ(at(4, 2), Ed->HighlightColors.BackColor());
  EXPECT_EQ(at(4, 3), Ed->Color);
  // A bookmark's glyph: a raised silver button in the left margin.
  Ed->SetMarkerAt(2, 3, 1);
  Ed->Paint();
  EXPECT_EQ(c.GetPixel(1, 2 * lh + (lh - 12) / 2), clWhite);
  EXPECT_EQ(c.GetPixel(1 + 6, 2 * lh + (lh - 12) / 2 + 11), clGray);
  // Disabled: grey text, no selection.
  Box.SetEnabled(false);
  Ed->Paint();
  EXPECT_EQ(c.GetPixel(far, 2 * lh + lh / 2), Ed->Color);
  bool grey = false;
  for (int x = Ed->LeftMargin; x < Ed->LeftMargin + 9 * cw; ++x)
    for (int y = 0; y < lh; ++y) grey = grey || c.GetPixel(x, y) == clGray;
  EXPECT_TRUE(grey);
}

TEST_F(EditorViewTest, OwnerDrawnRowsAndLimits) {
  Lines(2, "AB");
  std::vector<std::string> rows;
  Ed->OnDrawLine = [&rows](TQedTextFileEditor&, TCanvas&, const TRect&, const char* s, int32_t len, int32_t line,
                           int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, bool& drawn) {
    rows.push_back(std::to_string(line) + ":" + std::string(s, size_t(len)));
    drawn = line == 1;
  };
  Ed->Paint();
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[0], "1:N1AB");
  EXPECT_EQ(rows[1], "2:N2AB");
  EXPECT_EQ(rows[2], "3:");  // rows past the text are offered empty
  Ed->SetParaLimit(0);
  Ed->SetByteLimit(-1);
  Ed->SetParaLengthLimit(40000);
  EXPECT_EQ(Ed->List().ParaLimit, kNoLimit);
  EXPECT_EQ(Ed->List().ByteLimit, kNoLimit);
  EXPECT_EQ(Ed->List().ParaLengthLimit, 32767);
  Ed->SetParaLimit(5);
  EXPECT_EQ(Ed->List().ParaLimit, 5);
}

// ---------------------------------------------------------------- command tables

TEST(EditorCommandTables, NumbersNamesAndBuiltInTables) {
  EXPECT_EQ(CommandName(9), "ccDec");
  EXPECT_EQ(CommandName(10), "ccDel");
  EXPECT_EQ(CommandName(14), "ccDelWord");
  EXPECT_EQ(CommandName(15), "ccDown");
  EXPECT_EQ(TQedCommandTable::BuiltIn("Default").size(), 64u);
  EXPECT_EQ(TQedCommandTable::BuiltIn("wordstar").size(), 40u);
  EXPECT_EQ(TQedCommandTable::BuiltIn("Grid").size(), 38u);
  TQedCommandProcessor p;
  EXPECT_EQ(p.TranslateKey(VK_PRIOR, ssShift | ssCtrl), ccExtTopOfPage);
  p.FindTable("Default")->Active = false;
  p.FindTable("Grid")->Active = true;
  EXPECT_EQ(p.TranslateKey(VK_NEXT, ssShift | ssCtrl), ccExtBotOfPage);
  EXPECT_EQ(p.TranslateKey(VK_F1 + 1, 0), ccTableEdit);
}

TEST(EditorCommandTables, StreamsKeepTheChangesToBuiltInTables) {
  TQedCommandProcessor p;
  TQedCommandTable& d = *p.FindTable("Default");
  d.Records.erase(d.Records.begin());                    // Left unbound
  d.Records[0].Command = ccEnd;                          // Right rebound
  d.Records.push_back(TCommandRecord{'Q', kCtrl, 0, 0, 300});  // a new binding
  auto extra = std::make_unique<TQedCommandTable>();
  extra->Name = "Mine";
  extra->Active = false;
  extra->Records.push_back(TCommandRecord{VK_F1, 0, 0, 0, 301});
  p.AddTable(std::move(extra));
  const std::string stream = p.WriteTableList();
  // The default table is written as its three changes, not its 64 records.
  TQedCommandTable alone;
  alone.Name = "Default";
  alone.Records = d.Records;
  std::string one;
  alone.WriteStream(one);
  EXPECT_EQ(one.size(), 2u + 7 + 1 + 4 + 3 * 6);
  TQedCommandProcessor q;
  ASSERT_TRUE(q.ReadTableList(stream));
  ASSERT_EQ(q.TableList.size(), 4u);
  EXPECT_EQ(q.FindTable("Default")->Records.size(), 64u);
  EXPECT_EQ(q.FindTable("Default")->IndexOfKey(TCommandRecord{VK_LEFT, 0, 0, 0, 0}.Key()), -1);
  EXPECT_EQ(q.TranslateKey(VK_RIGHT, 0), ccEnd);
  EXPECT_EQ(q.TranslateKey('Q', ssCtrl), 300);
  EXPECT_FALSE(q.FindTable("Mine")->Active);
  EXPECT_EQ(q.FindTable("Mine")->Records.size(), 1u);
  // A cut stream changes nothing.
  EXPECT_FALSE(q.ReadTableList(stream.substr(0, stream.size() - 3)));
  EXPECT_EQ(q.TableList.size(), 4u);
}

}  // namespace

// ---------------------------------------------------------------- library foundation

namespace {

TEST(EditorLibrary, StringTablesAndTheExceptionFamily) {
  EXPECT_EQ(QedLoadStr(33768), "ccNone");
  EXPECT_EQ(QedLoadStr(34270), "ccUser%d");
  EXPECT_EQ(QedLoadStr(34171), "");  // between two entries
  EXPECT_EQ(CommandName(300), "ccUser300");
  EXPECT_EQ(SrMgrStrings().GetText(5), "Invalid QedString resource");
  const TQedStringResource strict("QED_STRINGS_ENGLISH", true);
  EXPECT_EQ(strict.GetText(34284), "Grid");
  try {
    strict.GetText(99);
    ADD_FAILURE();
  } catch (const ETQedStringResourceError& e) {
    EXPECT_STREQ(e.what(), "String not found: 99");
  }
  try {
    TQedStringResource missing("NO_SUCH_STRINGS", false);
    ADD_FAILURE();
  } catch (const ETQedStringResourceError& e) {
    EXPECT_STREQ(e.what(), "String resource not found: NO_SUCH_STRINGS");
  }
  // Every library error is an EQedException with the table's text.
  TQedCommandProcessor p;
  try {
    p.AddBinding("Default", TCommandRecord{VK_LEFT, 0, 0, 0, ccRight});
    ADD_FAILURE();
  } catch (const ECmdProcessorError& e) {
    EXPECT_STREQ(e.what(), "Duplicate command found while adding a new command to the table");
  }
  EXPECT_THROW(p.AddBinding("Nothing", TCommandRecord{}), ETableNotFound);
  const EQedException& para = EInvalidLineOrPara();
  EXPECT_STREQ(para.what(), "Invalid line or paragraph index");
  EXPECT_STREQ(EEditorError(265).what(), "Current operation will exceed the maximum number of allowed paragraphs");
  EXPECT_EQ(IntlSup().ShortDateFormat, "MM/dd/yy");
}

TEST(EditorLibrary, ControllerColoursAndFixedFonts) {
  TForm form("THost");
  TPaintBox& box = form.Add<TPaintBox>("Box");
  try {
    TQedTextFileEditor orphan(box);  // the form has no controller
    ADD_FAILURE();
  } catch (const EControllerError& e) {
    EXPECT_STREQ(e.what(), "No Controller assigned");
  }
  TQedController controller(form);
  TQedTextFileEditor editor(box);
  EXPECT_EQ(&TQedController::Of(&form), &controller);
  EXPECT_EQ(controller.Epoch, 1900);
  EXPECT_TRUE(controller.EntryCommands.FindTable("Default")->Active);
  auto& cancel = form.Add<TButton>("CancelButton", "Cancel");
  EXPECT_FALSE(controller.IsSpecialControl(&cancel));
  controller.BtnCancel = &cancel;
  EXPECT_TRUE(controller.IsSpecialControl(&cancel));
  int fired = 0;
  controller.OnTimerTrigger = [&fired](int, uint32_t, uint32_t) { ++fired; };
  controller.TimerPool().Add(100, nullptr, false);
  HeadlessAdvanceTime(200);
  EXPECT_EQ(fired, 1);
  // Colours: a colour of its own leaves the default; UseDefault puts it back.
  TQedColors colors(clBlack, clWhite);
  int changes = 0;
  colors.OnChange = [&changes] { ++changes; };
  colors.SetBackColor(clBlack);
  EXPECT_EQ(changes, 0);
  colors.SetBackColor(clSilver);
  EXPECT_FALSE(colors.UseDefault());
  colors.SetUseDefault(true);
  EXPECT_EQ(colors.BackColor(), clBlack);
  EXPECT_EQ(changes, 2);
  // Only fixed-pitch fonts are taken.
  TQedFixedFont font(TFont{"Courier New", 10});
  EXPECT_THROW(font.SetName("Times New Roman"), EInvalidFixedFont);
  EXPECT_EQ(font.Name(), "Courier New");
  TFont reported{"Hack", 12};
  reported.FixedPitch = true;  // the font dialog said so
  font.Assign(reported);
  EXPECT_EQ(font.Name(), "Hack");
  font.SetStyle(1 | 8);
  EXPECT_TRUE(font.Font().Bold);
  EXPECT_TRUE(font.Font().StrikeOut);
  EXPECT_EQ(font.Style(), 9);
}

}  // namespace
