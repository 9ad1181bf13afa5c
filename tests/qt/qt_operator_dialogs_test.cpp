// Dialogs as the operator sees them on the Qt backend (offscreen): a long
// list of rows scrolls to its end with the bar's thumb at the end, and
// column heads stand over their columns.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
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

void Inspect(TValorExportDialog& dialog);

TEST_F(QtOperatorDialogsTest, TheOdbExportLayerListScrollsToItsEndAndItsHeadsStandOverTheirColumns) {
  TOdbLayerFlags flags{};
  for (int l : {0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,31}) flags[l] = true;
  TValorExportDialog dialog(flags);
  // Shown as the export shows it: modal.
  QTimer::singleShot(50, [&dialog] { Inspect(dialog); });
  dialog.ShowModal();
}

void Inspect(TValorExportDialog& dialog) {
  auto& box = dialog.Get<TScrollBox>("ScrollBox");
  auto* area = qobject_cast<QScrollArea*>(QtWidgetOf(box));
  ASSERT_NE(area, nullptr);
  QScrollBar* bar = area->verticalScrollBar();
  ASSERT_GT(box.MaxScrollTop(), 0);
  EXPECT_EQ(bar->maximum(), box.MaxScrollTop());
  // Dragged to the end, the model is at its end and the last row shows.
  bar->setValue(bar->maximum());
  QApplication::processEvents();
  EXPECT_EQ(box.ScrollTop(), box.MaxScrollTop());
  EXPECT_EQ(bar->value(), bar->maximum());
  QWidget* last = QtWidgetOf(dialog.Get<TControl>("Name31"));
  const QPoint bottom = last->mapTo(area->viewport(), QPoint(0, last->height()));
  EXPECT_LE(bottom.y(), area->viewport()->height());
  EXPECT_GE(bottom.y(), area->viewport()->height() - 30);
  // Each head over its column: "Name" at the edit boxes' left edge, "Layer"
  // and "Output" over their columns.
  const int name = QtWidgetOf(dialog.Get<TControl>("NameLabel"))->mapTo(area->window(), QPoint(0, 0)).x();
  const int edit = QtWidgetOf(dialog.Get<TControl>("Name0"))->mapTo(area->window(), QPoint(0, 0)).x();
  EXPECT_EQ(name, edit);
  QWidget* output = QtWidgetOf(dialog.Get<TControl>("OutputLabel"));
  QWidget* box0 = QtWidgetOf(dialog.Get<TControl>("Output0"));
  const int boxLeft = box0->mapTo(area->window(), QPoint(0, 0)).x();
  const int outputLeft = output->mapTo(area->window(), QPoint(0, 0)).x();
  // The box shows its whole indicator, centred on its 12-pixel cell.
  EXPECT_GE(box0->width(), box0->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box0));
  EXPECT_GE(box0->height(), box0->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, box0));
  EXPECT_NEAR(box0->geometry().center().x(), 16 + 6, 1);
  EXPECT_GE(boxLeft, outputLeft);
  EXPECT_LE(boxLeft + box0->width(), outputLeft + output->width());
  dialog.Close();
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

}  // namespace
