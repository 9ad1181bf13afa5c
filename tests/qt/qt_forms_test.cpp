#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_forms.h"
#include "platform/qt/qt_menus.h"

namespace {

class QtFormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallQtCanvasBackend();
    InstallQtFormsBackend();
  }
  void TearDown() override {
    QApplication::processEvents();
    SetFormsBackend(nullptr);
    SetMenusBackend(nullptr);
    SetCanvasBackend(nullptr);
  }
};

// One form with a control of every kind, set up as a dialog would be.
class TAllControls : public TForm {
 public:
  TAllControls() : TForm("TAllControls") {
    SetCaption("All Controls");
    auto& top = Add<TPanel>("TopRow");
    top.SetFlow(TFlow::Horizontal);
    top.SetBevel(bvNone);

    auto& left = top.Add<TGroupBox>("Inputs", "Inputs");
    left.Add<TLabel>("Label1", "A &label above the edit");
    left.Add<TEdit>("Edit", "0.2000");
    auto& spin = left.Add<TSpinEdit>("Spin");
    spin.SetRange(1, 50);
    spin.SetValue(3);
    left.Add<TCheckBox>("Check", "&Save Defaults").SetChecked(true);
    left.Add<TRadioButton>("Radio1", "&Simple").SetChecked(true);
    left.Add<TRadioButton>("Radio2", "&Complex");
    auto& combo = left.Add<TComboBox>("PullDown");
    combo.SetItems({"Unrecognized", "DXF", "Excellon Drill/Rout"});
    combo.SetStyle(csDropDownList);
    combo.SetItemIndex(2);

    auto& mid = top.Add<TPanel>("Lists");
    auto& zeros = mid.Add<TRadioGroup>("Zeros", "Zeros Used");
    zeros.SetItems({"Leading", "Trailing", "None", "Both"});
    zeros.SetColumns(2);
    zeros.SetItemIndex(1);
    auto& list = mid.Add<TListBox>("Filters");
    list.SetItems({"Standard", "Excellon", "Shop Router"});
    list.SetItemIndex(0);
    list.SetHeight(60);
    auto& memo = mid.Add<TMemo>("Memo1");
    memo.SetText("KORVEX has determined the\r\nfile to be of the following type.\r\nPlease correct as necessary.");
    memo.SetWidth(220);
    memo.SetHeight(60);

    auto& right = top.Add<TTabbedPages>("TabbedNotebook1");
    auto& colors = right.AddPage("ColorsPage", "&Colors");
    colors.SetFlow(TFlow::Horizontal);
    auto& grid = colors.Add<TColorGrid>("ColorGrid1");
    grid.SetForegroundIndex(12);
    grid.SetBackgroundIndex(4);
    auto& sample = colors.Add<TPaintBox>("SamplePaintBox");
    sample.SetWidth(100);
    sample.SetHeight(100);
    sample.OnPaint = [](TControl& s) {
      TCanvas& c = static_cast<TPaintBox&>(s).Canvas();
      c.Brush.Color = clNavy;
      c.FillRect(TRect{0, 0, s.Width(), s.Height()});
      c.Pen.Color = clBlue;
      c.MoveTo(5, s.Height() / 2);
      c.LineTo(s.Width() - 5, s.Height() / 2);
    };
    right.AddPage("LayoutPage", "&Layout").Add<TCheckBox>("LayerCheckBox", "Show &Layer Buttons");

    auto& strip = Add<TPanel>("Strip");
    strip.SetFlow(TFlow::Horizontal);
    auto& bar = strip.Add<TScrollBar>("HorizontalScrollbar");
    bar.SetRange(0, 10000);
    bar.SetPosition(5000);
    bar.SetWidth(160);
    for (int i = 0; i < 3; ++i) {
      auto& b = strip.Add<TSpeedButton>("L" + std::to_string(i), "D" + std::to_string(i));
      b.SetGroupIndex(1);
      if (i == 1) {
        b.SetDown(true);
        b.SetFontColor(clRed);
      }
    }
    auto& gauge = strip.Add<TGauge>("StatusGauge");
    gauge.SetProgress(40);
    auto& image = strip.Add<TImage>("Logo");
    image.SetPicture(TBitmap::Create(40, 24));
    auto& g = strip.Add<TStringGrid>("Grid");
    g.SetSize(3, 3);
    g.SetCell(0, 0, "T#");
    g.SetCell(1, 0, "Size");
    g.SetCell(0, 1, "1");
    g.SetCell(1, 1, "0.0320");
    g.SetDefaultCellSize(48, 20);
    strip.Add<TPanel>("Counter", "0").SetBevel(bvLowered);

    auto& status = Add<TStatusBar>("StatusBar");
    status.SetAlign(alBottom);
    status.AddPanel("12:00:00", 110);
    status.AddPanel("[ZA] Zoom All", 250);
    status.AddPanel("X 1.0000 Y 2.0000", 150);
    auto& buttons = Add<TPanel>("ButtonRow");
    buttons.SetFlow(TFlow::Horizontal);
    buttons.SetBevel(bvNone);
    buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
    buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
    Add<TFormTimer>("Timer1", 250).SetTimerEnabled(false);
  }
};

TEST_F(QtFormsTest, EveryControlKindRendersOffscreen) {
  TAllControls form;
  TMainMenu menu("Main");
  menu.Add("&File").Add("&Open").SetShortCut("F3");
  menu.Add("&View");
  form.SetMenu(&menu);
  form.Show();
  QApplication::processEvents();
  QWidget* window = QtWidgetOf(form);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "All Controls");
  EXPECT_NE(window->findChild<QMenuBar*>(), nullptr);
  EXPECT_NE(qobject_cast<QTabWidget*>(QtWidgetOf(form.Get<TControl>("TabbedNotebook1"))), nullptr);
  EXPECT_EQ(QtWidgetOf(form.Get<TControl>("Timer1")), nullptr);

  // Every widget sits where the layout put its control.
  TControl& spin = form.Get<TControl>("Spin");
  QWidget* spinWidget = QtWidgetOf(spin);
  EXPECT_EQ(spinWidget->geometry(), QRect(spin.Left(), spin.Top(), spin.Width(), spin.Height()));

  QPixmap shot = window->grab();
  ASSERT_FALSE(shot.isNull());
  EXPECT_GE(shot.width(), form.Width());
  EXPECT_TRUE(shot.save(KORVEX_BUILD_DIR "/forms_all_controls.png"));
  form.Hide();
  EXPECT_FALSE(window->isVisible());
}

TEST_F(QtFormsTest, PaintBoxWidgetShowsItsBackBuffer) {
  TForm form("TViewForm");
  auto& box = form.Add<TPaintBox>("PaintBox");
  box.SetWidth(120);
  box.SetHeight(80);
  int paints = 0;
  std::vector<std::string> mouse;
  box.OnPaint = [&](TControl&) {
    ++paints;
    TCanvas& c = box.Canvas();
    c.Brush.Color = clNavy;
    c.FillRect(TRect{0, 0, box.Width(), box.Height()});
  };
  box.OnMouseDown = [&](TControl&, TMouseButton b, TShiftState, int x, int y) {
    mouse.push_back((b == mbRight ? "right " : "left ") + std::to_string(x) + "," + std::to_string(y));
  };
  int clicks = 0;
  box.OnClick = [&](TControl&) { ++clicks; };
  form.Show();
  QApplication::processEvents();
  QWidget* w = QtWidgetOf(box);
  QImage shot = w->grab().toImage();
  EXPECT_GE(paints, 1);
  EXPECT_EQ(shot.pixelColor(60, 40), QColor(0, 0, 0x80));

  // A rubber band drawn outside any paint event shows too, without OnPaint.
  int before = paints;
  TCanvas& c = box.Canvas();
  c.Brush.Color = clYellow;
  c.FillRect(TRect{10, 10, 20, 20});
  QApplication::processEvents();
  shot = w->grab().toImage();
  EXPECT_EQ(shot.pixelColor(15, 15), QColor(0xFF, 0xFF, 0));
  EXPECT_EQ(paints, before);

  QMouseEvent press(QEvent::MouseButtonPress, QPointF(7, 9), QPointF(7, 9), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(7, 9), QPointF(7, 9), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QApplication::sendEvent(w, &release);
  EXPECT_EQ(mouse, std::vector<std::string>{"left 7,9"});
  EXPECT_EQ(clicks, 1);
  form.Hide();
}

TEST_F(QtFormsTest, PropertiesFlowBothWays) {
  TAllControls form;
  form.Show();
  QApplication::processEvents();

  // C++ to widget.
  auto& check = form.Get<TCheckBox>("Check");
  auto* qcheck = qobject_cast<QCheckBox*>(QtWidgetOf(check));
  check.SetChecked(false);
  EXPECT_FALSE(qcheck->isChecked());
  form.Get<TRadioGroup>("Zeros").SetItemIndex(3);
  auto radios = QtWidgetOf(form.Get<TControl>("Zeros"))->findChildren<QRadioButton*>();
  ASSERT_EQ(radios.size(), 4);
  EXPECT_TRUE(radios[3]->isChecked());
  EXPECT_FALSE(radios[1]->isChecked());
  form.Get<TGauge>("StatusGauge").SetProgress(75);
  EXPECT_EQ(qobject_cast<QProgressBar*>(QtWidgetOf(form.Get<TControl>("StatusGauge")))->value(), 75);
  auto& edit = form.Get<TEdit>("Edit");
  edit.SetText("0.5");
  auto* qedit = qobject_cast<QLineEdit*>(QtWidgetOf(edit));
  EXPECT_EQ(qedit->text(), "0.5");
  auto& hidden = form.Get<TControl>("Radio2");
  hidden.SetVisible(false);
  EXPECT_FALSE(QtWidgetOf(hidden)->isVisible());

  // Widget to C++, with the same events as a scripted user.
  int clicks = 0, changes = 0;
  check.OnClick = [&](TControl&) { ++clicks; };
  check.OnChange = [&](TControl&) { ++changes; };
  qcheck->click();
  EXPECT_TRUE(check.Checked());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(form.ActiveControl(), &check);

  std::vector<std::string> texts;
  edit.OnChange = [&](TControl&) { texts.push_back(edit.Text()); };
  edit.OnKeyPress = [](TControl&, char& key) {
    if (key == 'x') key = 0;  // swallowed before the widget sees it
  };
  qedit->setFocus();
  qedit->selectAll();
  for (char c : std::string("7x5")) {
    int key = c >= '0' && c <= '9' ? Qt::Key_0 + (c - '0') : Qt::Key_A + (c - 'a');
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(QChar(c)));
    QApplication::sendEvent(qedit, &press);
  }
  EXPECT_EQ(edit.Text(), "75");
  EXPECT_EQ(texts, (std::vector<std::string>{"7", "75"}));

  auto& spin = form.Get<TSpinEdit>("Spin");
  qobject_cast<QSpinBox*>(QtWidgetOf(spin))->setValue(42);
  EXPECT_EQ(spin.Value(), 42);
  auto& bar = form.Get<TScrollBar>("HorizontalScrollbar");
  qobject_cast<QScrollBar*>(QtWidgetOf(bar))->setValue(7000);
  EXPECT_EQ(bar.Position(), 7000);
  radios[0]->click();
  EXPECT_EQ(form.Get<TRadioGroup>("Zeros").ItemIndex(), 0);
  EXPECT_FALSE(radios[3]->isChecked());
  auto& pages = form.Get<TTabbedPages>("TabbedNotebook1");
  qobject_cast<QTabWidget*>(QtWidgetOf(pages))->setCurrentIndex(1);
  EXPECT_EQ(pages.ActivePage(), 1);
  form.Hide();
}

// The arrow keys of radio buttons choose as a click does: in a group of
// two columns Left and Right go across; radio buttons of one container
// (not a group) are one set too.
TEST_F(QtFormsTest, ArrowKeysChooseInRadioGroupsAndSetsOfRadioButtons) {
  TAllControls form;
  form.Show();
  QApplication::processEvents();
  auto& zeros = form.Get<TRadioGroup>("Zeros");  // Leading Trailing | None Both
  int changes = 0, clicks = 0;
  zeros.OnChange = [&](TControl&) { ++changes; };
  zeros.OnClick = [&](TControl&) { ++clicks; };
  auto radios = QtWidgetOf(zeros)->findChildren<QRadioButton*>();
  ASSERT_EQ(radios.size(), 4);
  auto press = [](int key) {
    QWidget* to = QApplication::focusWidget();
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    if (to != nullptr) QApplication::sendEvent(to, &e);
    QApplication::processEvents();
  };
  radios[1]->setFocus();
  std::vector<int> chosen;
  for (int key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Left, Qt::Key_Up, Qt::Key_Up, Qt::Key_Down}) {
    press(key);
    chosen.push_back(zeros.ItemIndex());
    EXPECT_TRUE(radios[zeros.ItemIndex()]->isChecked() && radios[zeros.ItemIndex()]->hasFocus());
  }
  // Right from the last row's Trailing: Both; no third column; back;
  // Up to Leading, round to Both, round to Leading.
  EXPECT_EQ(chosen, (std::vector<int>{3, 3, 1, 0, 3, 0}));
  EXPECT_EQ(changes, 5);
  EXPECT_EQ(clicks, 5);

  auto& simple = form.Get<TRadioButton>("Radio1");
  auto& complex = form.Get<TRadioButton>("Radio2");
  QtWidgetOf(simple)->setFocus();
  press(Qt::Key_Down);
  EXPECT_TRUE(complex.Checked());
  EXPECT_FALSE(simple.Checked());
  EXPECT_FALSE(qobject_cast<QRadioButton*>(QtWidgetOf(simple))->isChecked());
  EXPECT_TRUE(QtWidgetOf(complex)->hasFocus());
  press(Qt::Key_Home);
  EXPECT_TRUE(simple.Checked());
  EXPECT_TRUE(QtWidgetOf(simple)->hasFocus());
  form.Hide();
}

TEST_F(QtFormsTest, AScrollBoxShowsPartOfItsRowsAndScrollsBothWays) {
  TForm form("TRows");
  form.SetCaption("Rows");
  auto& box = form.Add<TScrollBox>("Rows");
  box.SetAlign(alClient);
  for (int r = 1; r <= 40; ++r)
    box.Add<TEdit>("Edit" + std::to_string(r)).SetBounds(8, 24 * r - 20, 150, 21);
  form.Add<TButton>("OKButton", "OK", mrOk).SetAlign(alBottom);
  form.SetClientSize(250, 200);
  form.Show();
  QApplication::processEvents();
  auto* area = qobject_cast<QScrollArea*>(QtWidgetOf(box));
  ASSERT_NE(area, nullptr);
  // The rows sit on the area's inner widget, which holds them all.
  EXPECT_EQ(QtWidgetOf(form.Get<TControl>("Edit40"))->parentWidget(), area->widget());
  EXPECT_GE(area->widget()->height(), 24 * 40);
  EXPECT_LT(box.Height(), 200);
  EXPECT_EQ(area->verticalScrollBar()->maximum(), box.MaxScrollTop());
  EXPECT_GT(box.MaxScrollTop(), 700);
  box.SetScrollTop(240);
  EXPECT_EQ(area->verticalScrollBar()->value(), 240);
  area->verticalScrollBar()->setValue(100);
  EXPECT_EQ(box.ScrollTop(), 100);
  form.Hide();
}

TEST_F(QtFormsTest, ModalDialogEndsWithTheClickedButtonsResult) {
  TForm dialog("TQuestion");
  dialog.SetCaption("Question");
  dialog.Add<TLabel>("Label1", "Proceed?");
  auto& row = dialog.Add<TPanel>("Row");
  row.SetFlow(TFlow::Horizontal);
  auto& yes = row.Add<TButton>("YesButton", "&Yes", mrYes);
  row.Add<TButton>("NoButton", "&No", mrNo);
  int queries = 0;
  dialog.OnCloseQuery = [&](TForm&, bool& canClose) { canClose = ++queries > 1; };
  auto* qyes = qobject_cast<QPushButton*>(QtWidgetOf(yes));
  ASSERT_NE(qyes, nullptr);
  // The first click is refused by the close query; the second ends it.
  QTimer::singleShot(0, qyes, [qyes] {
    qyes->click();
    QTimer::singleShot(0, qyes, [qyes] { qyes->click(); });
  });
  EXPECT_EQ(dialog.ShowModal(), mrYes);
  EXPECT_EQ(queries, 2);
  EXPECT_FALSE(QtWidgetOf(dialog)->isVisible());

  // Escape in a dialog without a cancel button closes it with mrCancel.
  QTimer::singleShot(0, QtWidgetOf(dialog), [&dialog] {
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(QtWidgetOf(dialog), &esc);
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
}

// A dialog taller than the screen opens within the screen's free area.
TEST_F(QtFormsTest, ADialogTallerThanTheScreenIsKeptOnIt) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  TForm dialog("TTall");
  dialog.SetCaption("Tall");
  dialog.Add<TPanel>("Body").SetHeight(area.height() + 400);
  auto& cancel = dialog.Add<TButton>("CancelButton", "Cancel", mrCancel);
  cancel.SetCancel(true);
  QRect shown;
  QTimer::singleShot(0, QtWidgetOf(dialog), [&] {
    shown = QtWidgetOf(dialog)->geometry();
    qobject_cast<QPushButton*>(QtWidgetOf(cancel))->click();
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_TRUE(area.contains(shown)) << shown.top() << " " << shown.height() << " in " << area.height();
}

TEST_F(QtFormsTest, MenuBarActionsClickItemsAndMenusSwap) {
  TForm form("TWorkspace");
  form.Add<TLabel>("Label1", "Main window");
  TMainMenu cad("CadMenu"), working("WorkingMenu");
  int opened = 0, dropped = 0;
  auto& file = cad.Add("&File");
  file.OnPopup = [&](TMenuItem&) { ++dropped; };
  auto& open = file.Add("&Open");
  open.SetShortCut("F3").OnClick = [&](TMenuItem&) { ++opened; };
  working.Add("Working...");
  form.SetMenu(&cad);
  form.Show();
  QApplication::processEvents();
  QMenuBar* bar = QtMenuBarOf(cad);
  ASSERT_EQ(bar->actions().size(), 1);
  QMenu* fileMenu = bar->actions()[0]->menu();
  ASSERT_NE(fileMenu, nullptr);
  EXPECT_EQ(fileMenu->actions()[0]->shortcut(), QKeySequence("F3"));
  fileMenu->actions()[0]->trigger();
  EXPECT_EQ(opened, 1);
  // The menu's gate is asked for an action triggered in Qt as well.
  std::vector<std::string> asked;
  cad.ClickGate = [&](TMenuItem& item) {
    asked.push_back(item.Caption());
    return false;
  };
  fileMenu->actions()[0]->trigger();
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(asked, std::vector<std::string>{"&Open"});
  cad.ClickGate = nullptr;
  open.SetEnabled(false);
  EXPECT_FALSE(fileMenu->actions()[0]->isEnabled());
  emit fileMenu->aboutToShow();
  EXPECT_EQ(dropped, 1);

  form.SetMenu(&working);
  QMenuBar* shown = QtWidgetOf(form)->findChild<QMenuBar*>();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown, QtMenuBarOf(working));
  EXPECT_EQ(shown->actions()[0]->text(), "Working...");
  form.SetMenu(&cad);
  EXPECT_EQ(QtWidgetOf(form)->findChild<QMenuBar*>(), QtMenuBarOf(cad));
  form.Hide();
}

}  // namespace

TEST_F(QtFormsTest, AShortcutKeyBringsItsItemUpToDateFirst) {
  TForm form("TWorkspace");
  form.Add<TLabel>("Label1", "Main window");
  TMainMenu menu("CadMenu");
  bool canRedo = false;
  int popups = 0;
  auto& edit = menu.Add("&Edit");
  auto& redo = edit.Add("Re&Do");
  redo.SetShortCut("Shift+Alt+Backspace");
  edit.OnPopup = [&](TMenuItem&) {
    ++popups;
    redo.SetEnabled(canRedo);
  };
  form.SetMenu(&menu);
  form.Show();
  QApplication::processEvents();
  QAction* action = QtMenuBarOf(menu)->actions()[0]->menu()->actions()[0];
  emit QtMenuBarOf(menu)->actions()[0]->menu()->aboutToShow();
  ASSERT_FALSE(action->isEnabled());
  canRedo = true;
  QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : QtWidgetOf(form);
  // Another key leaves the menu alone; the shortcut's key drops it down, so
  // Qt finds the action enabled.
  QKeyEvent other(QEvent::ShortcutOverride, Qt::Key_Backspace, Qt::AltModifier);
  QApplication::sendEvent(target, &other);
  EXPECT_EQ(popups, 1);
  QKeyEvent key(QEvent::ShortcutOverride, Qt::Key_Backspace, Qt::ShiftModifier | Qt::AltModifier);
  QApplication::sendEvent(target, &key);
  EXPECT_EQ(popups, 2);
  EXPECT_TRUE(action->isEnabled());
  form.Hide();
}

TEST_F(QtFormsTest, BringToFrontRestoresAMinimisedForm) {
  TForm form("TWorkspace");
  form.SetCaption("KORVEX 6");
  form.Show();
  QWidget* w = QtWidgetOf(form);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), "KORVEX 6");
  w->showMinimized();
  QApplication::processEvents();
  form.BringToFront();
  QApplication::processEvents();
  EXPECT_FALSE(w->isMinimized());
  EXPECT_TRUE(w->isVisible());
  form.Hide();
}

TEST_F(QtFormsTest, AWindowOpenedFromTheMainWindowComesToTheFrontAndStaysAboveIt) {
  TForm main("TWorkspace");
  TMainMenu menu("MainMenu");
  menu.Add("&File");
  main.SetMenu(&menu);
  main.Show();
  QWidget* mainWidget = QtWidgetOf(main);
  mainWidget->activateWindow();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::activeWindow(), mainWidget);

  TForm report("TGTScrollWindow");
  report.SetCaption("Import results");
  report.Show();
  QApplication::processEvents();
  QWidget* reportWidget = QtWidgetOf(report);
  EXPECT_EQ(QApplication::activeWindow(), reportWidget);
  ASSERT_NE(reportWidget->windowHandle(), nullptr);
  EXPECT_EQ(reportWidget->windowHandle()->transientParent(), mainWidget->windowHandle());
  // The main window itself is tied to nothing, and the report is not its
  // child: it lives as long as its form.
  EXPECT_EQ(mainWidget->windowHandle()->transientParent(), nullptr);
  EXPECT_EQ(reportWidget->parentWidget(), nullptr);
  report.Hide();
  main.Hide();
}

// A box opened from a menu takes the keyboard even when the window below
// is handed the activation back after the box shows (as a closing menu
// does): Enter then answers the default button.
TEST_F(QtFormsTest, AModalBoxTakesTheKeyboardAndEnterAnswersItsDefaultButton) {
  TForm main("TWorkspace");
  TMainMenu menu("MainMenu");
  menu.Add("&File");
  main.SetMenu(&menu);
  main.Show();
  QWidget* mainWidget = QtWidgetOf(main);
  TForm box("TAboutDialog");
  box.SetCaption("About");
  box.Add<TLabel>("ProductLabel", "Product");
  box.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  QWidget* boxWidget = QtWidgetOf(box);
  QWidget* active = nullptr;
  QWidget* focus = nullptr;
  QTimer::singleShot(0, mainWidget, [&] {
    mainWidget->activateWindow();  // the late activation of the window below
    QTimer::singleShot(0, boxWidget, [&] {
      QApplication::processEvents();
      active = QApplication::activeWindow();
      focus = QApplication::focusWidget();
      if (focus != nullptr) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(focus, &enter);
        QKeyEvent up(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(focus, &up);
      }
      // Ends the box when Enter did not.
      QTimer::singleShot(0, boxWidget, [&] {
        if (boxWidget->isVisible()) static_cast<QDialog*>(boxWidget)->done(mrCancel);
      });
    });
  });
  EXPECT_EQ(box.ShowModal(), mrOk);
  EXPECT_EQ(active, boxWidget);
  ASSERT_NE(focus, nullptr);
  EXPECT_TRUE(boxWidget->isAncestorOf(focus));
  main.Hide();
}

// A progress box opened while a dialog is up belongs to that dialog and
// stays above it; one opened from a window without menus belongs to the
// main window, never to nothing.
TEST_F(QtFormsTest, AProgressBoxIsTiedToTheModalBoxOrTheMainWindow) {
  TForm main("TWorkspace");
  TMainMenu menu("MainMenu");
  menu.Add("&File");
  main.SetMenu(&menu);
  main.Show();
  QWidget* mainWidget = QtWidgetOf(main);
  mainWidget->activateWindow();
  QApplication::processEvents();

  TForm layers("TSaveLayerDialog");
  layers.SetCaption("Save Layers");
  auto& ok = layers.Add<TButton>("OKButton", "OK", mrOk);
  TForm progress("TCancelDialog");
  progress.SetCaption("Cancel Cad Operation");
  progress.Add<TButton>("CancelButton", "Cancel", mrCancel);
  QWidget* layersWidget = QtWidgetOf(layers);
  QWidget* progressWidget = QtWidgetOf(progress);
  QWindow* tiedTo = nullptr;
  QTimer::singleShot(0, layersWidget, [&] {
    progress.Show();
    QApplication::processEvents();
    tiedTo = progressWidget->windowHandle() ? progressWidget->windowHandle()->transientParent() : nullptr;
    progress.Hide();
    qobject_cast<QPushButton*>(QtWidgetOf(ok))->click();
  });
  EXPECT_EQ(layers.ShowModal(), mrOk);
  EXPECT_EQ(tiedTo, layersWidget->windowHandle());

  // Shown while another window without menus is in front.
  TForm other("TGTScrollWindow");
  other.SetCaption("Results");
  other.Show();
  QApplication::processEvents();
  progress.Show();
  QApplication::processEvents();
  ASSERT_NE(progressWidget->windowHandle(), nullptr);
  EXPECT_EQ(progressWidget->windowHandle()->transientParent(), mainWidget->windowHandle());
  EXPECT_EQ(QApplication::activeWindow(), progressWidget);
  progress.Hide();
  other.Hide();
  main.Hide();
}

TEST_F(QtFormsTest, AMemoCaretGoesBothWaysBetweenTheModelAndTheWidget) {
  TForm form("TSteps");
  auto& memo = form.Add<TMemo>("Step1Memo");
  memo.SetLines({"M01", "T1", "M08"});
  // Placed before the widget exists, it is shown with the text.
  memo.SetSelection(memo.LineStart(1));
  form.Show();
  auto* q = qobject_cast<QPlainTextEdit*>(QtWidgetOf(memo));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->textCursor().position(), 4);
  // Placed by the program: the widget's caret and selection follow.
  memo.SetSelection(memo.LineStart(2), 3);
  EXPECT_EQ(q->textCursor().selectionStart(), 7);
  EXPECT_EQ(q->textCursor().selectionEnd(), 10);
  EXPECT_EQ(q->textCursor().selectedText(), "M08");
  // Moved by the user: the model hears of it.
  QTextCursor c = q->textCursor();
  c.setPosition(1);
  q->setTextCursor(c);
  EXPECT_EQ(memo.SelStart(), 1);
  EXPECT_EQ(memo.SelLength(), 0);
  EXPECT_EQ(memo.CaretLine(), 0);
  // Typing keeps the user's caret where the typing left it.
  q->insertPlainText("X");
  EXPECT_EQ(memo.Lines().front(), "MX01");
  EXPECT_EQ(q->textCursor().position(), 2);
  EXPECT_EQ(memo.SelStart(), 2);
  form.Hide();
}

TEST_F(QtFormsTest, MemoLinesAddedOneByOneReachTheWidget) {
  TForm form("TReport");
  auto& memo = form.Add<TMemo>("Lines");
  memo.SetLines({"first"});
  form.Show();
  auto* q = qobject_cast<QPlainTextEdit*>(QtWidgetOf(memo));
  ASSERT_NE(q, nullptr);
  // Each line costs the line: the widget's text is not copied back into
  // the model (its change signal stays quiet) and the model hears of each
  // line once.
  int widgetChanges = 0, modelChanges = 0;
  QObject::connect(q, &QPlainTextEdit::textChanged, [&] { ++widgetChanges; });
  memo.OnChange = [&](TControl&) { ++modelChanges; };
  for (int i = 0; i < 3; ++i) memo.AddLine("line " + std::to_string(i));
  EXPECT_EQ(q->toPlainText(), "first\nline 0\nline 1\nline 2");
  EXPECT_EQ(widgetChanges, 0);
  EXPECT_EQ(modelChanges, 3);
  memo.OnChange = nullptr;
  memo.SetLines({"reset"});
  EXPECT_EQ(q->toPlainText(), "reset");
  form.Hide();
}

// A dialog keeps its size (the window manager shows no resize handle); a
// form that says it may be resized can be. A caption in a colour that would
// look disabled on its button (a grey layer colour) is drawn darker in the
// same hue; a colour that reads well stays.
TEST_F(QtFormsTest, DialogsKeepTheirSizeAndColouredCaptionsReadAsEnabled) {
  TForm dialog("TFixed");
  dialog.SetCaption("Fixed");
  auto& grey = dialog.Add<TSpeedButton>("Grey", "D2");
  grey.SetFontColor(clSilver);
  auto& navy = dialog.Add<TSpeedButton>("Navy", "D3");
  navy.SetFontColor(clNavy);
  dialog.Show();
  QApplication::processEvents();
  QWidget* window = QtWidgetOf(dialog);
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  const QPalette p = QtWidgetOf(grey)->palette();
  const QColor shown = p.color(QPalette::Active, QPalette::ButtonText);
  const QColor pressed = p.color(QPalette::Active, QPalette::Button).darker(112);
  EXPECT_LT(shown.lightness(), QColor(0xC0, 0xC0, 0xC0).lightness());
  EXPECT_EQ(ReadableTextColor(shown, pressed), shown);  // dark enough now
  EXPECT_EQ(QtWidgetOf(navy)->palette().color(QPalette::Active, QPalette::ButtonText), QColor(0, 0, 0x80));
  // A yellow keeps its hue; on a dark face a dark colour goes lighter.
  const QColor yellow = ReadableTextColor(Qt::yellow, QColor(0xEF, 0xEF, 0xEF));
  EXPECT_EQ(yellow.hue(), QColor(Qt::yellow).hue());
  EXPECT_LT(yellow.lightness(), QColor(Qt::yellow).lightness());
  EXPECT_GT(ReadableTextColor(QColor(0x20, 0x20, 0x20), Qt::black).lightness(), 0x20);
  dialog.Hide();

  TForm sizeable("TSizeable");
  sizeable.SetSizeable(true);
  sizeable.Add<TButton>("OKButton", "OK");
  sizeable.Show();
  QApplication::processEvents();
  EXPECT_NE(QtWidgetOf(sizeable)->minimumSize(), QtWidgetOf(sizeable)->maximumSize());
  sizeable.Hide();
}

// A dialog whose first field is a text box opens with the keyboard there:
// a title typed with blanks and Enter goes into the box, and Enter then
// takes OK. A picture on a speed button shows as its icon.
TEST_F(QtFormsTest, ADialogOpensWithTheKeyboardInItsFirstField) {
  TForm dialog("TTitleDialog");
  dialog.SetCaption("Title");
  auto& buttons = dialog.Add<TPanel>("ButtonPanel");
  buttons.SetAlign(alBottom);
  buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  auto& title = dialog.Add<TEdit>("TitleEdit");
  auto& picture = dialog.Add<TSpeedButton>("PictureButton");
  auto glyph = TBitmap::Create(40, 20);
  glyph->Canvas().Brush.Color = clRed;
  glyph->Canvas().FillRect(TRect{0, 0, 40, 20});
  picture.SetGlyph(std::move(glyph));
  std::string typed;
  bool sawIcon = false, inTitle = false;
  QTimer::singleShot(50, [&] {
    QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr) focus = QtWidgetOf(title);
    for (QChar c : QString("Board 7 top")) {
      QKeyEvent press(QEvent::KeyPress, c == ' ' ? Qt::Key_Space : Qt::Key_A, Qt::NoModifier, QString(c));
      QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : focus, &press);
    }
    typed = title.Text();
    auto* tool = qobject_cast<QToolButton*>(QtWidgetOf(picture));
    sawIcon = tool != nullptr && !tool->icon().isNull() && tool->iconSize() == QSize(40, 20);
    inTitle = dialog.ActiveControl() == &title && QApplication::focusWidget() == QtWidgetOf(title);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : focus, &enter);
    // Ends the dialog when Enter did not.
    if (!dialog.ModalEnded()) dialog.SetModalResult(mrCancel);
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_TRUE(inTitle);
  EXPECT_EQ(typed, "Board 7 top");
  EXPECT_TRUE(sawIcon);
}

// A shown window that grows past its screen (a report widening to a long
// line) is fitted inside the screen's free area, frame and all, and its
// bottom strip stays in view.
TEST_F(QtFormsTest, AGrowingWindowStaysWithinTheScreen) {
  TForm report("TGrowingReport");
  report.SetCaption("Report");
  report.SetSizeable(true);
  auto& strip = report.Add<TPanel>("ButtonPanel");
  strip.SetAlign(alBottom);
  strip.SetHeight(41);
  auto& ok = strip.Add<TButton>("OKButton", "OK", mrOk);
  report.Add<TMemo>("Memo1").SetLines({"short"});
  report.Show();
  QApplication::processEvents();
  QWidget* window = QtWidgetOf(report);
  const QRect area = window->screen()->availableGeometry();
  report.SetClientSize(area.width() + 400, area.height() + 300);
  QApplication::processEvents();
  EXPECT_LE(window->frameGeometry().width(), area.width());
  EXPECT_LE(window->frameGeometry().height(), area.height());
  EXPECT_TRUE(area.contains(window->frameGeometry()));
  EXPECT_LE(report.Width(), area.width());
  const QRect button(QtWidgetOf(ok)->mapToGlobal(QPoint(0, 0)), QtWidgetOf(ok)->size());
  EXPECT_TRUE(area.contains(button));
  report.Hide();
}
