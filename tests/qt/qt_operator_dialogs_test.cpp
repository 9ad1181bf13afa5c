// Dialogs and menus as the operator sees them on the Qt backend
// (offscreen): column heads over their columns, scroll bars only where the
// text needs them, menu hints that go with their menu, the import's dialogs
// driven with the keys and the mouse.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWidget>

#include "korvex_test.h"
#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_forms.h"
#include "platform/qt/qt_menus.h"
#include "foundation/report_windows.h"
#include "import/import_frame.h"
#include "import/odb_import.h"
#include "plot/odb_export_dialogs.h"

namespace {

class QtOperatorDialogsTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    InstallQtCanvasBackend();
    InstallQtFormsBackend();
  }
  void TearDown() override {
    QApplication::processEvents();
    SetFormsBackend(nullptr);
    SetMenusBackend(nullptr);
    SetCanvasBackend(nullptr);
    TKorvexTest::TearDown();
  }
};

// The ODB++ export's layer list: each column head stands over its column,
// and a box in its 12-pixel cell shows its whole indicator.
TEST_F(QtOperatorDialogsTest, TheOdbExportLayerListHeadsStandOverTheirColumns) {
  TOdbLayerFlags flags{};
  flags[0] = flags[31] = true;
  TValorExportDialog dialog(flags);
  dialog.Show();
  QApplication::processEvents();
  QWidget* window = QtWidgetOf(dialog);
  auto x = [&](const char* name) { return QtWidgetOf(dialog.Get<TControl>(name))->mapTo(window, QPoint(0, 0)).x(); };
  EXPECT_EQ(x("NameLabel"), x("Name0"));
  QWidget* output = QtWidgetOf(dialog.Get<TControl>("OutputLabel"));
  QWidget* box = QtWidgetOf(dialog.Get<TControl>("Output0"));
  EXPECT_GE(x("Output0"), x("OutputLabel"));
  EXPECT_LE(x("Output0") + box->width(), x("OutputLabel") + output->width());
  EXPECT_GE(box->width(), box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box));
  EXPECT_GE(box->height(), box->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, box));
  EXPECT_NEAR(box->geometry().center().x(), 16 + 6, 1);
  dialog.Hide();
}

// The drill import's results report: short lines show no bar across; a
// report longer than the window gets one down its side.
TEST_F(QtOperatorDialogsTest, TheImportReportShowsScrollBarsOnlyWhenItsTextNeedsThem) {
  TGTScrollWindow report;
  report.SetCaption("Import results");
  report.SetTextSize(30, 16);
  report.WriteLn("Decoding /work/shared/testdata/excellon/diptrace__mainboard.drl");
  report.WriteLn(" ");
  report.WriteLn("There were 168 regular hits.");
  report.Show();
  QApplication::processEvents();
  auto* memo = qobject_cast<QPlainTextEdit*>(QtWidgetOf(report.Memo1));
  ASSERT_NE(memo, nullptr);
  EXPECT_FALSE(memo->horizontalScrollBar()->isVisible());
  EXPECT_FALSE(memo->verticalScrollBar()->isVisible());
  for (int i = 0; i < 40; ++i) report.WriteLn("T" + std::to_string(i));
  QApplication::processEvents();
  EXPECT_TRUE(memo->verticalScrollBar()->isVisible());
  EXPECT_FALSE(memo->horizontalScrollBar()->isVisible());
  report.Hide();
}

// A menu item's hint shows while the pointer is on it and goes with the
// menu; what a picked item's handler puts in the hint stays.
TEST_F(QtOperatorDialogsTest, AMenuItemsHintGoesWithTheMenuButAPickedItemsReportStays) {
  TForm form("TWorkspace");
  form.Add<TLabel>("Label1", "Main window");
  TMainMenu menu("CadMenu");
  auto& view = menu.Add("&View");
  auto& step = view.Add("&Single Step", "SingleStep1");
  step.SetHint("[PL] Next Cut");
  step.OnClick = [](TMenuItem&) { SetApplicationHint("Drill tape written: 1 hit"); };
  form.SetMenu(&menu);
  form.Show();
  QApplication::processEvents();
  SetApplicationHint("");
  QMenu* popup = QtMenuBarOf(menu)->actions()[0]->menu();
  QAction* action = popup->actions()[0];
  popup->popup(QPoint(20, 20));
  QApplication::processEvents();
  action->hover();
  EXPECT_EQ(ApplicationHint(), "[PL] Next Cut");
  popup->hide();
  QApplication::processEvents();
  EXPECT_EQ(ApplicationHint(), "");
  // Picked with the mouse: the menu closes, then the handler reports.
  popup->popup(QPoint(20, 20));
  QApplication::processEvents();
  action->hover();
  const QPoint at = popup->actionGeometry(action).center();
  QMouseEvent press(QEvent::MouseButtonPress, at, popup->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, popup->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(popup, &press);
  QApplication::sendEvent(popup, &release);
  QApplication::processEvents();
  EXPECT_FALSE(popup->isVisible());
  EXPECT_EQ(ApplicationHint(), "Drill tape written: 1 hit");
  SetApplicationHint("");
  form.Hide();
}

// Keys typed into whatever has the keyboard once the dialog is up.
void TypeWhenShown(std::vector<std::pair<int, QString>> keys, QString* focusedKind) {
  QTimer::singleShot(50, [keys, focusedKind] {
    QWidget* focus = QApplication::focusWidget();
    if (focusedKind != nullptr) *focusedKind = focus ? focus->metaObject()->className() : "none";
    for (const auto& [key, text] : keys) {
      QWidget* target = QApplication::focusWidget();
      if (target == nullptr) return;
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
      QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
      QApplication::sendEvent(target, &press);
      QApplication::sendEvent(target, &release);
      QApplication::processEvents();
    }
  });
}

// The format dialog has the keys on its list at once: Down and Enter give
// DXF, a typed letter picks the format it begins; Enter takes a detected one.
TEST_F(QtOperatorDialogsTest, TheFormatDialogTakesDownLettersAndEnterOnItsList) {
  QString focused;
  TypeWhenShown({{Qt::Key_Down, ""}, {Qt::Key_Return, "\r"}}, &focused);
  EXPECT_EQ(AskFileFormat("NOTES.TXT"), fcDxf);
  EXPECT_EQ(focused, "QComboBox");
  TypeWhenShown({{Qt::Key_G, "g"}, {Qt::Key_Return, "\r"}}, nullptr);
  EXPECT_EQ(AskFileFormat("NOTES.TXT"), fcGerber);
  uint8_t code = fcHpgl;
  TypeWhenShown({{Qt::Key_Return, "\r"}}, &focused);
  ConfirmFileFormat(code, "BOARD.PLT");
  EXPECT_EQ(code, fcHpgl);
  EXPECT_EQ(focused, "QComboBox");
}

// The names of the layer dialog look pressed while the mouse button is
// down on them, and the click toggles the row.
TEST_F(QtOperatorDialogsTest, ALayerNameLooksPressedWhileTheMouseIsDownOnIt) {
  TValorLayerDialog dialog({"TOP", "DRILL"}, {"PCB", "PANEL"});
  dialog.Show();
  QApplication::processEvents();
  for (const char* name : {"Layer1", "Step2", "StepName1"}) {
    auto* frame = qobject_cast<QFrame*>(QtWidgetOf(dialog.Get<TControl>(name)));
    ASSERT_NE(frame, nullptr) << name;
    EXPECT_EQ(frame->frameShadow(), QFrame::Raised) << name;
    auto send = [frame](QEvent::Type type, Qt::MouseButtons held) {
      const QPoint at = frame->rect().center();
      QMouseEvent e(type, at, frame->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
      QApplication::sendEvent(frame, &e);
      QApplication::processEvents();
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(frame->frameShadow(), QFrame::Sunken) << name;
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    EXPECT_EQ(frame->frameShadow(), QFrame::Raised) << name;
  }
  EXPECT_TRUE(dialog.Cell(1, 1).Checked());  // the row's click
  EXPECT_TRUE(dialog.Cell(1, 2).Checked());
  dialog.Hide();
}

// A job of 40 layers: the layer dialog shows 32 rows and scrolls to the
// rest, each step number still over its column of boxes.
TEST_F(QtOperatorDialogsTest, TheLayerDialogScrollsToLayersPastTheThirtySecond) {
  std::vector<std::string> layers;
  for (int r = 1; r <= 40; ++r) layers.push_back(r == 40 ? "DRILL" : "L" + std::to_string(r));
  TValorLayerDialog dialog(layers, {"PCB", "PANEL"});
  dialog.Show();
  QApplication::processEvents();
  auto& rows = dialog.Get<TScrollBox>("LayerScrollBox");
  auto* area = qobject_cast<QScrollArea*>(QtWidgetOf(rows));
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(QtWidgetOf(dialog.Cell(40, 2))->window(), QtWidgetOf(dialog));
  EXPECT_GE(area->widget()->height(), 16 * 40 + 14);  // the last row whole
  EXPECT_EQ(area->verticalScrollBar()->maximum(), 16 * 8);
  EXPECT_EQ(area->verticalScrollBar()->maximum(), rows.MaxScrollTop());
  area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
  QApplication::processEvents();
  QWidget* last = QtWidgetOf(dialog.Cell(40, 2));
  const QPoint seen = last->mapTo(area->viewport(), QPoint(0, 0));
  EXPECT_GE(seen.y(), 0);
  EXPECT_LE(seen.y() + last->height(), area->viewport()->height());
  for (int s = 1; s <= 2; ++s) {
    QWidget* number = QtWidgetOf(dialog.Get<TControl>("Step" + std::to_string(s)));
    QWidget* cell = QtWidgetOf(dialog.Cell(1, s));
    const QWidget* top = QtWidgetOf(dialog);
    EXPECT_NEAR(number->mapTo(top, QPoint(0, 0)).x(), cell->mapTo(top, QPoint(0, 0)).x(), 2) << s;
  }
  dialog.Hide();
}

// The import's results report opens over the main window it reports on,
// wherever that window stands, and its lines are in a fixed-pitch font.
TEST_F(QtOperatorDialogsTest, TheImportResultsReportOpensOverTheMainWindow) {
  TForm main("TWorkspace");
  main.Add<TLabel>("Label1", "Main window");
  TMainMenu menu("CadMenu");
  menu.Add("&File");
  main.SetMenu(&menu);
  main.SetClientSize(600, 420);
  main.Show();
  QApplication::processEvents();
  QWidget* mainWindow = QtWidgetOf(main);
  mainWindow->move(150, 90);
  QApplication::processEvents();
  TGTScrollWindow report;
  report.SetCaption("Import results");
  report.SetTextSize(30, 16);
  report.WriteLn("Decoding BOARD.DRL");
  report.Show();
  QApplication::processEvents();
  const QPoint reportCentre = QtWidgetOf(report)->frameGeometry().center();
  const QPoint mainCentre = mainWindow->frameGeometry().center();
  EXPECT_LE((reportCentre - mainCentre).manhattanLength(), 40)
      << reportCentre.x() << "," << reportCentre.y() << " over " << mainCentre.x() << "," << mainCentre.y();
  // Its columns line up: digits, capitals and blanks advance equally.
  const QFont font = QtWidgetOf(report.Memo1)->font();
  const QFontMetricsF metrics(font);
  const QString probe = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ ";
  for (QChar c : probe)
    EXPECT_NEAR(metrics.horizontalAdvance(c), metrics.horizontalAdvance(QChar('0')), 0.01)
        << "'" << QString(c).toStdString() << "' in " << QFontInfo(font).family().toStdString();
  report.Hide();
  main.SetMenu(nullptr);
  main.Hide();
}

// A matrix of 32 steps: every step's number reads whole inside its raised
// frame (the caption stands 4 pixels inside it), over its column of boxes.
TEST_F(QtOperatorDialogsTest, TwoDigitStepNumbersReadWholeOverTheirColumns) {
  std::vector<std::string> steps(32, "S");
  TValorLayerDialog dialog({"TOP", "DRILL"}, steps);
  dialog.Show();
  QApplication::processEvents();
  const QWidget* top = QtWidgetOf(dialog);
  for (int s = 1; s <= 32; ++s) {
    auto* number = qobject_cast<QFrame*>(QtWidgetOf(dialog.Get<TControl>("Step" + std::to_string(s))));
    ASSERT_NE(number, nullptr);
    EXPECT_LE(number->fontMetrics().horizontalAdvance(QString::number(s)), number->contentsRect().width() - 8) << s;
    QWidget* cell = QtWidgetOf(dialog.Cell(1, s));
    EXPECT_NEAR(number->mapTo(top, number->rect().center()).x(), cell->mapTo(top, cell->rect().center()).x(), 2) << s;
  }
  dialog.Hide();
}

// A layer's name reads whole in its 15-pixel frame: the tails of g, j, p,
// q, y and an underscore, and the tops of b, d, f, show.
TEST_F(QtOperatorDialogsTest, LayerNamesShowTheirTallLettersWhole) {
  TValorLayerDialog dialog({"bdf_gjpqy", "acemnor"}, {"S"});
  dialog.Show();
  QApplication::processEvents();
  const auto inkedRows = [&dialog](int layer) {
    const QImage image = QtWidgetOf(dialog.Get<TControl>("Layer" + std::to_string(layer)))->grab().toImage();
    int rows = 0;
    for (int y = 1; y < image.height() - 1; ++y)
      for (int x = 3; x < image.width() - 3; ++x)
        if (image.pixelColor(x, y).lightness() < 128) {
          ++rows;
          break;
        }
    return rows;
  };
  EXPECT_GE(inkedRows(1), inkedRows(2) + 3);
  dialog.Hide();
}

}  // namespace
