#include <gtest/gtest.h>

#include <memory>

#include "korvex_test.h"
#include "platform/forms.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_forms.h"

namespace {

class FormsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetModalScripts();
    HeadlessResetEvents();
  }
  void TearDown() override {
    ResetModalScripts();
    TKorvexTest::TearDown();
  }
};

// A small format dialog as the program writes them: a working copy that OK
// copies back.
struct TFormat {
  int Digits = 2;
  int Zeros = 0;
};

class TFormatDialog : public TForm {
 public:
  explicit TFormatDialog(TFormat& format) : TForm("TFormatDialog"), format_(format) {
    SetCaption("Format");
    auto& digits = Add<TSpinEdit>("Digits");
    digits.SetRange(1, 6);
    digits.SetValue(format.Digits);
    auto& zeros = Add<TRadioGroup>("Zeros", "Zeros Used");
    zeros.SetItems({"Leading", "Trailing", "None"});
    zeros.SetItemIndex(format.Zeros);
    auto& row = Add<TPanel>("ButtonRow");
    row.SetFlow(TFlow::Horizontal);
    row.SetBevel(bvNone);
    row.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
    row.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
    digits.OnChange = [this](TControl&) { ++digitChanges; };
    Get<TButton>("OKButton").OnClick = [this](TControl&) {
      format_.Digits = Get<TSpinEdit>("Digits").Value();
      format_.Zeros = Get<TRadioGroup>("Zeros").ItemIndex();
    };
  }
  int digitChanges = 0;

 private:
  TFormat& format_;
};

TEST_F(FormsTest, ScriptedDialogSetsControlsAndOkHandlerSeesThem) {
  RegisterModalScript("TFormatDialog", [](TForm& f) {
    f.Find<TSpinEdit>("Digits")->SetValue(3);
    EXPECT_TRUE(f.Get<TRadioGroup>("Zeros").ClickItem(2));
    EXPECT_TRUE(f.Click("OKButton"));
  });
  TFormat format;
  TFormatDialog dialog(format);
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(format.Digits, 3);
  EXPECT_EQ(format.Zeros, 2);
  EXPECT_EQ(dialog.digitChanges, 1);
  EXPECT_FALSE(dialog.Showing());
  EXPECT_EQ(ModalFormsShown(), std::vector<std::string>{"TFormatDialog"});

  // The registered script serves the next showing too.
  format = TFormat{};
  TFormatDialog again(format);
  EXPECT_EQ(again.ShowModal(), mrOk);
  EXPECT_EQ(format.Digits, 3);
}

TEST_F(FormsTest, CancelAndEscapeLeaveTheRecordAlone) {
  QueueModalScript("TFormatDialog", [](TForm& f) {
    f.Get<TSpinEdit>("Digits").SetValue(5);
    f.Click("CancelButton");
  });
  QueueModalScript("TFormatDialog", [](TForm& f) {
    f.Get<TSpinEdit>("Digits").SetValue(5);
    f.Get<TSpinEdit>("Digits").PressKey(VK_ESCAPE);
  });
  QueueModalScript("TFormatDialog", [](TForm& f) {
    f.Get<TSpinEdit>("Digits").Type("4");
    f.Get<TSpinEdit>("Digits").PressKey(VK_RETURN);  // the default button
  });
  TFormat format;
  {
    TFormatDialog d(format);
    EXPECT_EQ(d.ShowModal(), mrCancel);
  }
  {
    TFormatDialog d(format);
    EXPECT_EQ(d.ShowModal(), mrCancel);
  }
  EXPECT_EQ(format.Digits, 2);
  {
    TFormatDialog d(format);
    EXPECT_EQ(d.ShowModal(), mrOk);
  }
  EXPECT_EQ(format.Digits, 4);
  // The queue is used up and nothing is registered.
  TFormatDialog d(format);
  EXPECT_THROW(d.ShowModal(), EUnscriptedModalForm);
}

TEST_F(FormsTest, CloseQueryAndClickHandlerCanKeepTheDialogOpen) {
  TFormat format;
  TFormatDialog dialog(format);
  int queries = 0;
  dialog.OnCloseQuery = [&](TForm& f, bool& canClose) {
    ++queries;
    canClose = f.Get<TSpinEdit>("Digits").Value() != 6;
  };
  // A handler that takes the button's result back, as validation does.
  dialog.Get<TButton>("OKButton").OnClick = [&](TControl&) {
    if (dialog.Get<TSpinEdit>("Digits").Value() == 1) dialog.SetModalResult(mrNone);
  };
  int closes = 0;
  dialog.OnClose = [&](TForm&) { ++closes; };
  RegisterModalScript("TFormatDialog", [&](TForm& f) {
    auto& digits = f.Get<TSpinEdit>("Digits");
    digits.SetValue(6);
    f.Click("OKButton");
    EXPECT_FALSE(f.ModalEnded());
    EXPECT_EQ(f.ModalResult(), mrNone);
    EXPECT_EQ(queries, 1);
    digits.SetValue(1);
    f.Click("OKButton");
    EXPECT_FALSE(f.ModalEnded());
    EXPECT_EQ(queries, 1);  // the handler kept it open before any query
    digits.SetValue(2);
    f.Click("OKButton");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(queries, 2);
  EXPECT_EQ(closes, 1);
}

TEST_F(FormsTest, UnscriptedOrUnfinishedModalFormsFailLoudly) {
  TFormat format;
  TFormatDialog dialog(format);
  try {
    dialog.ShowModal();
    FAIL() << "no exception";
  } catch (const EUnscriptedModalForm& e) {
    EXPECT_EQ(e.ClassName(), "TFormatDialog");
    EXPECT_NE(std::string(e.what()).find("TFormatDialog"), std::string::npos);
  }
  EXPECT_FALSE(dialog.IsModal());

  RegisterModalScript("TFormatDialog", [](TForm& f) { f.Get<TSpinEdit>("Digits").SetValue(4); });
  try {
    dialog.ShowModal();
    FAIL() << "no exception";
  } catch (const EModalScriptError& e) {
    EXPECT_NE(std::string(e.what()).find("TFormatDialog"), std::string::npos);
  }
  // The form is usable again afterwards; a disabled button cannot be clicked.
  RegisterModalScript("TFormatDialog", [](TForm& f) {
    f.Get<TButton>("OKButton").SetEnabled(false);
    EXPECT_FALSE(f.Click("OKButton"));
    f.Close();
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_THROW(dialog.Get<TEdit>("Digits"), EFormError);
  EXPECT_THROW(dialog.Get<TEdit>("Nothing"), EFormError);
  EXPECT_EQ(dialog.Find<TEdit>("Digits"), nullptr);
  EXPECT_THROW(dialog.Add<TLabel>("digits"), EFormError);  // names are unique, any case
  EXPECT_THROW(dialog.Get<TButton>("OKButton").Add<TLabel>("Inner"), EFormError);
}

TEST_F(FormsTest, NestedModalDialogsRunTheirOwnScripts) {
  TForm outer("TOuterDialog");
  outer.Add<TButton>("ViewButton", "&View File").OnClick = [](TControl&) {
    TForm viewer("TViewFileDialog");
    viewer.Add<TMemo>("Memo").SetText("line 1\r\nline 2");
    viewer.Add<TButton>("OKButton", "OK", mrOk);
    EXPECT_EQ(viewer.ShowModal(), mrOk);
  };
  outer.Add<TButton>("OKButton", "OK", mrOk);
  RegisterModalScript("TViewFileDialog", [](TForm& f) {
    EXPECT_EQ(f.Get<TMemo>("Memo").Lines(), (std::vector<std::string>{"line 1", "line 2"}));
    f.Click("OKButton");
  });
  RegisterModalScript("TOuterDialog", [](TForm& f) {
    f.Click("ViewButton");
    EXPECT_FALSE(f.ModalEnded());
    f.Click("OKButton");
  });
  EXPECT_EQ(outer.ShowModal(), mrOk);
  EXPECT_EQ(ModalFormsShown(), (std::vector<std::string>{"TOuterDialog", "TViewFileDialog"}));
}

TEST_F(FormsTest, ExitValidationCanRefuseTheFocusAndVoidTheClick) {
  // Leaving a field checks it; a refused entry puts the old text back and
  // keeps the focus there, so the OK click does not happen.
  TForm form("TTabDialog");
  auto& width = form.Add<TEdit>("WidthEdit", "0.2");
  auto& other = form.Add<TEdit>("OtherEdit");
  auto& ok = form.Add<TButton>("OKButton", "OK", mrOk);
  std::string remembered;
  std::vector<std::string> log;
  width.OnEnter = [&](TControl&) {
    remembered = width.Text();
    log.push_back("enter");
  };
  width.OnExit = [&](TControl&) {
    log.push_back("exit " + width.Text());
    if (width.Text() == "9") {
      width.SetText(remembered);
      width.SetFocus();
    }
  };
  width.OnKeyPress = [](TControl&, char& key) {
    if (!(key >= '0' && key <= '9') && key != '.') key = 0;
  };
  int okClicks = 0;
  ok.OnClick = [&](TControl&) { ++okClicks; };
  RegisterModalScript("TTabDialog", [&](TForm& f) {
    EXPECT_TRUE(width.Type("9x"));  // x is swallowed
    EXPECT_EQ(width.Text(), "9");
    EXPECT_FALSE(f.Click("OKButton"));
    EXPECT_EQ(okClicks, 0);
    EXPECT_EQ(width.Text(), "0.2");
    EXPECT_EQ(f.ActiveControl(), &width);
    EXPECT_TRUE(width.Type("0.5"));
    other.SetFocus();
    width.PressKey(VK_TAB);  // tab order follows the form
    EXPECT_EQ(f.ActiveControl(), &other);
    EXPECT_TRUE(f.Click("OKButton"));
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(okClicks, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"enter", "exit 9", "exit 0.5", "enter", "exit 0.5"}));
}

TEST_F(FormsTest, FormKeyPreviewSeesKeysFirst) {
  TForm form("TKeys");
  auto& edit = form.Add<TEdit>("Edit");
  std::vector<std::string> log;
  form.KeyPreview = true;
  form.OnKeyDown = [&](TControl&, uint16_t& key, TShiftState) {
    log.push_back("form " + std::to_string(key));
    if (key == VK_RETURN) key = 0;
  };
  edit.OnKeyDown = [&](TControl&, uint16_t& key, TShiftState) { log.push_back("edit " + std::to_string(key)); };
  EXPECT_EQ(edit.KeyDown(VK_RETURN), 0);
  EXPECT_EQ(edit.KeyDown('A', ssShift), 'A');
  EXPECT_EQ(log, (std::vector<std::string>{"form 13", "form 65", "edit 65"}));
}

TEST_F(FormsTest, ValueControlsKeepTheirRulesAndReportChanges) {
  TForm form("TValues");
  int changes = 0;
  auto count = [&](TControl&) { ++changes; };

  auto& a = form.Add<TRadioButton>("A", "A");
  auto& b = form.Add<TRadioButton>("B", "B");
  a.OnChange = b.OnChange = count;
  a.SetChecked(true);
  EXPECT_TRUE(b.Click());
  EXPECT_FALSE(a.Checked());
  EXPECT_TRUE(b.Checked());
  EXPECT_EQ(changes, 3);  // a on, then b on and a off

  auto& check = form.Add<TCheckBox>("Check", "&Save Defaults");
  int clicks = 0;
  check.OnClick = [&](TControl&) { ++clicks; };
  check.SetChecked(true);
  EXPECT_EQ(clicks, 0);  // the program's change is no click
  check.Click();
  EXPECT_FALSE(check.Checked());
  EXPECT_EQ(clicks, 1);

  auto& spin = form.Add<TSpinEdit>("Spin");
  spin.SetRange(1, 50);
  spin.SetValue(70);
  EXPECT_EQ(spin.Text(), "50");
  spin.SetText("12x");
  EXPECT_EQ(spin.Value(), 1);  // not a number: the minimum
  spin.SetText(" -3 ");
  EXPECT_EQ(spin.Value(), 1);
  spin.SetText("99999999999999");
  EXPECT_EQ(spin.Value(), 1);
  spin.SetValue(10);
  spin.StepUp();
  EXPECT_EQ(spin.Value(), 11);

  auto& combo = form.Add<TComboBox>("PullDown");
  combo.SetItems({"Unrecognized", "DXF", "ESI Laser"});
  combo.SetStyle(csDropDownList);
  changes = 0;
  combo.OnChange = count;
  combo.SetText("dxf");
  EXPECT_EQ(combo.ItemIndex(), 1);
  EXPECT_EQ(combo.Text(), "DXF");
  combo.SetText("Gerber");  // not an item of a drop-down list
  EXPECT_EQ(combo.ItemIndex(), 1);
  EXPECT_EQ(changes, 1);
  combo.Type("abc");  // a drop-down list takes no typing
  EXPECT_EQ(combo.Text(), "DXF");
  combo.SetItems({"Only"});
  EXPECT_EQ(combo.ItemIndex(), -1);
  EXPECT_EQ(combo.Text(), "");

  auto& list = form.Add<TListBox>("List");
  list.SetItems({"a", "b", "c"});
  list.SetMultiSelect(true);
  list.SetSelected(0, true);
  list.SetSelected(2, true);
  EXPECT_EQ(list.SelCount(), 2);
  list.SetItems({"x"});
  EXPECT_EQ(list.SelCount(), 1);
  EXPECT_FALSE(list.Selected(2));

  auto& memo = form.Add<TMemo>("Memo");
  memo.SetText("KORVEX cannot determine the format\r\nof the file\nx\r");
  EXPECT_EQ(memo.Lines(), (std::vector<std::string>{"KORVEX cannot determine the format", "of the file", "x"}));
  EXPECT_EQ(memo.Text(), "KORVEX cannot determine the format\r\nof the file\r\nx\r\n");
  memo.Type("ab\rc");
  EXPECT_EQ(memo.Lines(), (std::vector<std::string>{"ab", "c"}));

  auto& edit = form.Add<TEdit>("Name");
  edit.SetMaxLength(4);
  edit.SetText("ABCDEFG");
  EXPECT_EQ(edit.Text(), "ABCD");
  edit.SetReadOnly(true);
  edit.Type("zz");
  EXPECT_EQ(edit.Text(), "ABCD");

  auto& grid = form.Add<TStringGrid>("Grid");
  grid.SetSize(3, 3);
  grid.SetCell(2, 1, "x");
  grid.SetCell(5, 5, "ignored");
  grid.SetSize(4, 2);
  EXPECT_EQ(grid.Cell(2, 1), "x");
  EXPECT_EQ(grid.Cell(5, 5), "");
  grid.SetSize(2, 2);
  EXPECT_EQ(grid.Cell(2, 1), "");

  auto& bar = form.Add<TScrollBar>("VerticalScrollbar", sbVertical);
  bar.SetRange(0, 10000);
  bar.SetPosition(5000);
  bar.SetRange(0, 100);
  EXPECT_EQ(bar.Position(), 100);
  bar.SetPosition(-5);
  EXPECT_EQ(bar.Position(), 0);

  auto& gauge = form.Add<TGauge>("StatusGauge");
  gauge.SetProgress(150);
  EXPECT_EQ(gauge.Progress(), 100);
  gauge.SetRange(50, 150);
  gauge.SetProgress(75);
  EXPECT_EQ(gauge.Percent(), 25);

  auto& pages = form.Add<TTabbedPages>("TabbedNotebook1");
  pages.AddPage("Colors", "&Colors");
  pages.AddPage("Layout", "&Layout").Add<TCheckBox>("LayerCheckBox", "Show &Layer Buttons");
  EXPECT_EQ(pages.ActivePage(), 0);
  EXPECT_FALSE(form.Get<TCheckBox>("LayerCheckBox").Click());  // on a hidden page
  pages.SetActivePage(1);
  EXPECT_TRUE(form.Get<TCheckBox>("LayerCheckBox").Click());
  pages.SetActivePage(7);
  EXPECT_EQ(pages.ActivePage(), 1);
}

TEST_F(FormsTest, SpeedButtonGroupsAndColourGrid) {
  TForm form("TButtons");
  auto& bar = form.Add<TPanel>("LayerPanel");
  std::vector<TSpeedButton*> buttons;
  for (int i = 0; i < 3; ++i) {
    auto& b = bar.Add<TSpeedButton>("L" + std::to_string(i), std::to_string(i));
    b.SetGroupIndex(1);
    buttons.push_back(&b);
  }
  buttons[0]->SetDown(true);
  EXPECT_TRUE(buttons[2]->Click());
  EXPECT_FALSE(buttons[0]->Down());
  EXPECT_TRUE(buttons[2]->Down());
  buttons[2]->Click();  // a group that must keep one down
  EXPECT_TRUE(buttons[2]->Down());
  buttons[2]->SetAllowAllUp(true);
  buttons[2]->Click();
  EXPECT_FALSE(buttons[2]->Down());
  EXPECT_EQ(form.ActiveControl(), nullptr);  // speed buttons take no focus

  std::vector<std::string> mouse;
  buttons[1]->OnMouseDown = [&](TControl& s, TMouseButton b, TShiftState, int x, int y) {
    mouse.push_back(s.Name() + (b == mbRight ? " right " : " left ") + std::to_string(x) + "," + std::to_string(y));
  };
  buttons[1]->MouseDown(mbRight, 0, 3, 4);
  buttons[1]->SetEnabled(false);
  buttons[1]->MouseDown(mbLeft, 0, 3, 4);
  EXPECT_EQ(mouse, std::vector<std::string>{"L1 right 3,4"});

  auto& grid = form.Add<TColorGrid>("ColorGrid1");
  grid.SetBounds(0, 0, 100, 100);
  EXPECT_EQ(grid.ForegroundColor(), clBlack);
  EXPECT_EQ(grid.BackgroundColor(), clWhite);
  grid.MouseDown(mbLeft, 0, 30, 60);  // column 1, row 2
  EXPECT_EQ(grid.ForegroundIndex(), 9);
  EXPECT_EQ(grid.ForegroundColor(), clRed);
  grid.ClickColor(4, mbRight);
  EXPECT_EQ(grid.BackgroundColor(), clNavy);
  EXPECT_EQ(TColorGrid::IndexOfColor(clSilver), 7);
  EXPECT_EQ(TColorGrid::IndexOfColor(RGB(1, 2, 3)), -1);
}

TEST_F(FormsTest, LayoutFlowsAlignsAndKeepsFixedBounds) {
  TForm form("TLayout");
  auto& a = form.Add<TButton>("A", "A");
  auto& b = form.Add<TButton>("B", "B");
  auto& row = form.Add<TPanel>("Row");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  auto& label = row.Add<TLabel>("Label", "Width");
  auto& edit = row.Add<TEdit>("Edit");
  auto& hidden = form.Add<TButton>("Hidden", "Hidden");
  hidden.SetVisible(false);
  auto& group = form.Add<TRadioGroup>("LayerGroup", "Layer");
  group.SetColumns(3);
  for (int i = 0; i < 45; ++i) group.AddItem(std::to_string(i));
  auto& fixed = form.Add<TButton>("Fixed", "Fixed");
  fixed.SetBounds(300, 200, 50, 20);
  form.Add<TFormTimer>("Timer1", 250).SetTimerEnabled(false);

  TRect ra = a.Bounds(), rb = b.Bounds(), rr = row.Bounds();
  EXPECT_EQ(ra.Left, rb.Left);
  EXPECT_GE(rb.Top, ra.Bottom);  // stacked
  EXPECT_GE(rr.Top, rb.Bottom);
  EXPECT_GE(edit.Left(), label.Left() + label.Width());  // side by side, centred on the row
  EXPECT_NEAR(edit.Top() + edit.Height() / 2.0, label.Top() + label.Height() / 2.0, 1.0);
  EXPECT_GE(group.Top(), rr.Bottom);  // the hidden button takes no room
  EXPECT_LT(group.Top(), rr.Bottom + 10);
  EXPECT_GE(group.Height(), 15 * 20);  // 45 items in 3 columns
  EXPECT_EQ(fixed.Bounds(), (TRect{300, 200, 350, 220}));
  EXPECT_GE(form.Width(), 350);  // the form grows to hold everything
  EXPECT_GE(form.Height(), group.Top() + group.Height());
}

// A dialog shown without a window is laid out when its script reads where
// its controls are, or first changes what moves them; typed text moves
// nothing. A resize handler runs before the script and, changing a
// caption, sees the size the caption now needs.
TEST_F(FormsTest, AScriptSeesTheLayoutOfTheDialogItRuns) {
  TForm form("TRows");
  auto& row = form.Add<TPanel>("Row");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  auto& label = row.Add<TLabel>("Label", "Digits");
  auto& edit = row.Add<TEdit>("Edit");
  form.Add<TButton>("OKButton", "OK", mrOk);
  TRect editAt;
  int rowWidth = 0;
  RegisterModalScript("TRows", [&](TForm& f) {
    editAt = edit.Bounds();
    rowWidth = row.Width();
    edit.SetText("a much longer text than the edit shows");
    EXPECT_EQ(edit.Bounds(), editAt);
    label.SetCaption("Integer digits");
    EXPECT_EQ(edit.Left(), editAt.Left + 7 * 8);
    EXPECT_EQ(row.Width(), rowWidth + 7 * 8);
    f.Click("OKButton");
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_GE(editAt.Left, label.Left() + 7 * 6);

  auto& note = form.Add<TLabel>("Note", "-");
  TPoint noteSize{0, 0};
  row.OnResize = [&](TControl&) {
    note.SetCaption(std::string(size_t(row.Width() / 7), 'x'));
    noteSize = note.PreferredSize();
  };
  label.SetCaption("Digits");
  RegisterModalScript("TRows", [&](TForm& f) { f.Click("OKButton"); });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(noteSize.X, 7 * (row.Width() / 7));
}

TEST_F(FormsTest, AlignedPanelsFillTheWindowAndFollowResizing) {
  TForm form("TWorkspace");
  form.SetClientSize(600, 476);
  auto& status = form.Add<TPanel>("StatusRoot");
  status.SetAlign(alBottom);
  status.SetHeight(25);
  auto& left = form.Add<TPanel>("LayerPanel");
  left.SetAlign(alLeft);
  left.SetWidth(78);
  auto& right = form.Add<TPanel>("CadButtonPanel");
  right.SetAlign(alRight);
  right.SetWidth(78);
  auto& area = form.Add<TPanel>("DrawingAreaRoot");
  area.SetAlign(alClient);
  auto& box = area.Add<TPaintBox>("PaintBox");
  box.SetAlign(alClient);
  // A handler that centres a button on its panel, as button bars do.
  auto& ok = status.Add<TButton>("OK", "OK");
  int resizes = 0;
  status.OnResize = [&](TControl& s) {
    ++resizes;
    ok.SetLeft(s.Width() / 2 - 85);
  };
  EXPECT_EQ(left.Bounds(), (TRect{0, 0, 78, 451}));
  EXPECT_EQ(right.Bounds(), (TRect{522, 0, 600, 451}));
  EXPECT_EQ(status.Bounds(), (TRect{0, 451, 600, 476}));
  EXPECT_EQ(area.Bounds(), (TRect{78, 0, 522, 451}));
  EXPECT_EQ(ok.Left(), 215);
  EXPECT_EQ(resizes, 1);

  int boxResizes = 0;
  box.OnResize = [&](TControl&) { ++boxResizes; };
  form.ResizedByUser(800, 476);
  EXPECT_EQ(area.Bounds(), (TRect{78, 0, 722, 451}));
  EXPECT_EQ(box.Width(), 644 - 8);  // inside the panel's bevel
  EXPECT_EQ(ok.Left(), 315);
  EXPECT_EQ(boxResizes, 1);
  EXPECT_EQ(resizes, 2);
}

// A resize handler that removes a control the same layout resized: the
// removed control gets no call of its own, and the layout goes on.
TEST_F(FormsTest, AResizeHandlerMayRemoveAControlResizedWithIt) {
  TForm form("TBars");
  form.SetClientSize(300, 200);
  auto& top = form.Add<TPanel>("Top");
  top.SetAlign(alTop);
  top.SetHeight(30);
  auto* area = &form.Add<TPanel>("Area");
  area->SetAlign(alClient);
  int areaResizes = 0;
  area->OnResize = [&](TControl&) { ++areaResizes; };
  EXPECT_EQ(area->Bounds(), (TRect{0, 30, 300, 200}));
  EXPECT_EQ(areaResizes, 1);
  top.OnResize = [&](TControl&) {
    if (area == nullptr) return;
    form.Remove(*area);
    area = nullptr;
  };
  form.ResizedByUser(400, 200);
  EXPECT_EQ(area, nullptr);
  EXPECT_EQ(areaResizes, 1);
  EXPECT_EQ(top.Bounds(), (TRect{0, 0, 400, 30}));
  EXPECT_EQ(form.FindControl("Area"), nullptr);
}

TEST_F(FormsTest, PaintBoxKeepsItsBackBufferThroughPaintsAndResizes) {
  TForm form("TClockForm");
  auto& box = form.Add<TPaintBox>("ClockPanel");
  box.SetWidth(110);
  box.SetHeight(20);
  int paints = 0;
  box.OnPaint = [&](TControl& s) {
    ++paints;
    TCanvas& c = static_cast<TPaintBox&>(s).Canvas();
    c.Brush.Color = clNavy;
    c.FillRect(TRect{0, 0, s.Width(), s.Height()});
  };
  box.Invalidate();
  EXPECT_EQ(paints, 0);  // nothing paints before the form shows
  form.Show();
  EXPECT_EQ(paints, 1);
  EXPECT_EQ(box.Buffer().Width(), 110);
  EXPECT_EQ(box.Buffer().Height(), 20);
  EXPECT_EQ(box.Canvas().GetPixel(5, 5), clNavy);
  // Drawing outside a paint event stays in the buffer until the next paint.
  box.Canvas().SetPixel(1, 1, clRed);
  EXPECT_EQ(box.Buffer().Canvas().GetPixel(1, 1), clRed);
  box.Invalidate();
  EXPECT_EQ(paints, 2);
  EXPECT_EQ(box.Buffer().Canvas().GetPixel(1, 1), clNavy);
  // A new size resizes the buffer and paints it again.
  box.SetWidth(150);
  EXPECT_EQ(paints, 3);
  EXPECT_EQ(box.Buffer().Width(), 150);
  EXPECT_EQ(box.Buffer().Canvas().GetPixel(140, 10), clNavy);
  form.Hide();
  box.Invalidate();
  EXPECT_EQ(paints, 3);
}

TEST_F(FormsTest, FormTimersTickOnTheClock) {
  TForm form("TWorkspace");
  auto& timer = form.Add<TFormTimer>("Timer1", 250);
  int ticks = 0;
  timer.OnTimer = [&](TControl& sender) {
    EXPECT_EQ(&sender, &timer);
    ++ticks;
  };
  HeadlessAdvanceTime(1000);
  EXPECT_EQ(ticks, 4);
  timer.SetTimerEnabled(false);
  HeadlessAdvanceTime(1000);
  EXPECT_EQ(ticks, 4);
  EXPECT_EQ(timer.Interval(), 250u);
  form.Remove(timer);  // a removed timer stops
  HeadlessAdvanceTime(1000);
  EXPECT_EQ(ticks, 4);
}

TEST_F(FormsTest, AScrollBoxHoldsRowsTallerThanItselfAndScrollsWithinThem) {
  TForm form("TRows");
  TScrollBox& box = form.Add<TScrollBox>("Rows");
  box.SetAlign(alClient);
  for (int r = 1; r <= 30; ++r) box.Add<TEdit>("Edit" + std::to_string(r)).SetBounds(8, 24 * r - 20, 150, 21);
  form.SetClientSize(200, 300);
  EXPECT_EQ(box.Height(), 300);
  EXPECT_EQ(box.Extent().Y, 24 * 30 + 1);
  // Rows keep their places on the area; the box is wide enough for them
  // and its bar.
  EXPECT_EQ(form.Get<TControl>("Edit30").Top(), 24 * 30 - 20);
  EXPECT_GE(form.PreferredSize().X, 158 + TScrollBox::BarWidth);
  EXPECT_EQ(box.MaxScrollTop(), 24 * 30 + 1 - 300);
  box.SetScrollTop(100000);
  EXPECT_EQ(box.ScrollTop(), box.MaxScrollTop());
  box.SetScrollTop(-5);
  EXPECT_EQ(box.ScrollTop(), 0);
  box.SetScrollTop(200);
  // Fewer rows: the place scrolled to stays within what is left.
  for (int r = 11; r <= 30; ++r) box.Remove(form.Get<TControl>("Edit" + std::to_string(r)));
  EXPECT_EQ(box.MaxScrollTop(), 0);
  EXPECT_EQ(box.ScrollTop(), 0);
}

}  // namespace

TEST_F(FormsTest, AMemoCaretIsPlacedByLineAndStaysInsideTheText) {
  TForm form("TMemoForm");
  auto& memo = form.Add<TMemo>("Memo1");
  memo.SetLines({"M01", "M02X01", "", "M08"});
  // Each line break counts once.
  EXPECT_EQ(memo.LineStart(0), 0);
  EXPECT_EQ(memo.LineStart(1), 4);
  EXPECT_EQ(memo.LineStart(3), 12);
  EXPECT_EQ(memo.LineStart(9), 15);  // past the last line: the end
  memo.SetSelection(memo.LineStart(1), 2);
  EXPECT_EQ(memo.SelStart(), 4);
  EXPECT_EQ(memo.SelLength(), 2);
  EXPECT_EQ(memo.CaretLine(), 1);
  memo.SetSelection(memo.LineStart(2));
  EXPECT_EQ(memo.CaretLine(), 2);  // an empty line holds its caret
  memo.SetSelection(-5, 100);
  EXPECT_EQ(memo.SelStart(), 0);
  EXPECT_EQ(memo.SelLength(), 15);
  // Shorter lines pull the caret and the selection in.
  memo.SetSelection(13, 2);
  memo.SetLines({"M01"});
  EXPECT_EQ(memo.SelStart(), 3);
  EXPECT_EQ(memo.SelLength(), 0);
  EXPECT_EQ(memo.CaretLine(), 0);
  memo.ClearLines();
  EXPECT_EQ(memo.SelStart(), 0);
  EXPECT_EQ(memo.CaretLine(), 0);
}

namespace {

TEST_F(FormsTest, AModelessFormFreedWhileShownIsNoLongerListedAsShowing) {
  auto kept = std::make_unique<TForm>("TKeptWindow");
  {
    TForm gone("TGoneWindow");
    gone.Show();
    kept->Show();
    EXPECT_EQ(ShowingModelessForm("TGoneWindow"), &gone);
  }
  EXPECT_EQ(ShowingModelessForm("TGoneWindow"), nullptr);
  EXPECT_EQ(ShowingModelessForm("TKeptWindow"), kept.get());
  kept->Hide();
  EXPECT_EQ(ShowingModelessForm("TKeptWindow"), nullptr);
}

}  // namespace
