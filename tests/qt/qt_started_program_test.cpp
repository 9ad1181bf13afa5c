// The started program on the Qt backend (offscreen) as the operator drives
// it: the keys of its dialogs, its prints and where its windows open.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QImage>
#include <QLineEdit>
#include <QGroupBox>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>

#include "korvex_test.h"
#include "model/drill_database.h"
#include "model/tool_tables.h"
#include "model/view_services.h"
#include "platform/forms.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/menus.h"
#include "platform/paths.h"
#include "platform/printer.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_events.h"
#include "platform/qt/qt_forms.h"
#include "platform/qt/qt_menus.h"
#include "platform/qt/qt_printer.h"
#include "command/rubber_brain.h"
#include "command/user_panel.h"
#include "tapeout/make_drill_tape.h"
#include "tapein/drill_import.h"
#include "workspace/layers.h"
#include "workspace/my_screen.h"
#include "workspace/startup.h"
#include "workspace/workspace.h"

namespace {

class QtStartedProgramTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessViewServices();
    ResetHeadlessDialogs();
    InstallQtCanvasBackend();
    InstallQtEventsBackend();
    InstallQtFormsBackend();
  }
  void TearDown() override {
    SetFormsBackend(nullptr);
    SetMenusBackend(nullptr);
    SetEventsBackend(nullptr);
    SetCanvasBackend(nullptr);
    SetPrinterBackend(nullptr);
    ResetHeadlessDialogs();
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }
};

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

void Key(int key, const QString& text = {}) {
  QWidget* to = QApplication::focusWidget();
  ASSERT_NE(to, nullptr);
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(to, &press);
  QApplication::sendEvent(to, &release);
  Settle();
}

void ClickWidget(QWidget* w) {
  const QPoint at = w->rect().center();
  QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QApplication::sendEvent(w, &release);
  Settle();
}

// The operator at the screen: each modal window, once it is up, gets what
// was planned for its title (in order); the about box of the start-up gets
// its OK. The titles met are kept.
class TOperator {
 public:
  TOperator() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start();
  }
  void At(const QString& title, std::function<void(QWidget*)> act) { plans_[title].push_back(std::move(act)); }
  std::vector<std::string> Met;

 private:
  // A window that waits for its OK without being modal (a report) is
  // looked at once its OK has the keyboard.
  static QWidget* WaitingReport() {
    auto* ok = qobject_cast<QPushButton*>(QApplication::focusWidget());
    if (ok == nullptr || ok->text() != "OK") return nullptr;
    QWidget* top = ok->window();
    return top->isVisible() && top->windowModality() == Qt::NonModal ? top : nullptr;
  }
  void Look() {
    QWidget* w = QApplication::activeModalWidget();
    if (w == nullptr) w = WaitingReport();
    if (w == nullptr || !w->isVisible() || w == busy_) return;
    // Keys go where the focus is: the window has the keyboard first.
    if (!w->isAncestorOf(QApplication::focusWidget()) && w->windowModality() != Qt::NonModal) return;
    const QString title = w->windowTitle();
    auto plan = plans_.find(title);
    if (plan != plans_.end() && !plan->second.empty()) {
      auto act = std::move(plan->second.front());
      plan->second.pop_front();
      Met.push_back(title.toStdString());
      busy_ = w;
      act(w);
      busy_ = nullptr;
      return;
    }
    if (title.startsWith("About"))
      for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == "OK" && b->isVisible()) {
          b->click();
          return;
        }
  }
  QTimer timer_;
  std::map<QString, std::deque<std::function<void(QWidget*)>>> plans_;
  QWidget* busy_ = nullptr;
};

// The radio buttons of the window's group of that title.
QList<QRadioButton*> RadioItems(QWidget* window, const QString& title) {
  for (QGroupBox* box : window->findChildren<QGroupBox*>())
    if (box->title() == title) return box->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly);
  return {};
}

// The texts of the window's spin boxes, in their order left to right.
std::string SpinTexts(QWidget* window) {
  std::string out;
  for (QSpinBox* spin : window->findChildren<QSpinBox*>()) out += (out.empty() ? "" : " ") + spin->text().toStdString();
  return out;
}

// The tops of the bands of inked rows on the first page of a PDF, in
// points from the page's top, as ghostscript renders it at 144 dpi; empty
// when it cannot.
std::vector<double> InkedLineTops(const std::filesystem::path& pdf) {
  const std::filesystem::path page = pdf.parent_path() / "page.pgm";
  const std::string render = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r144 -dFirstPage=1 -dLastPage=1 "
                             "-sOutputFile='" + page.string() + "' '" + pdf.string() + "' >/dev/null 2>&1";
  std::vector<double> tops;
  if (std::system(render.c_str()) != 0) return tops;
  const QImage image(QString::fromStdString(page.string()));
  bool inked = false;
  for (int y = 0; y < image.height(); ++y) {
    bool row = false;
    for (int x = 0; x < image.width() && !row; ++x) row = qGray(image.pixel(x, y)) < 128;
    if (row && !inked) tops.push_back(y * 72.0 / 144.0);
    inked = row;
  }
  return tops;
}

// The started program: on drill layer D0, File > Import of the tape as the
// main part (the operator answering the dialogs); check sees the job, then
// the program closes without saving it.
int ImportWithTheMenu(const std::string& tape, const std::function<void()>& check) {
  return RunProgram([&] {
    TWorkspace* form = Workspace;
    if (form == nullptr) return 1;
    Settle();
    form->LayerPanel.FindControl("L30")->Click();
    Settle();
    ScriptFileDialogAnswer(tape);
    ScriptMessageBoxAnswer(mrYes);  // the main part
    EXPECT_TRUE(ClickMenu(*form->Menu(), "&File|&Import"));
    Settle();
    check();
    ScriptMessageBoxAnswer(mrNo);  // the job is not saved
    QtWidgetOf(*form)->close();
    Settle();
    return 0;
  });
}

// A tape without a units statement: the operator's choice of units decides.
constexpr char kTape[] = "M48\nT01C0.8\n%\nT01\nX012500Y034600\nX078900Y034600\nM30\n";

}  // namespace

// The arrow keys of a radio group move the choice with the focus, as a
// click does, and what shows chosen is what the import acts on: Millimeters
// chosen with Down reads the tape in millimetres, and Down Down Enter at
// "Select Layer For Data" puts the hits on D2.
TEST_F(QtStartedProgramTest, TheArrowKeysOfARadioGroupMoveTheChoiceTheImportActsOn) {
  const std::string tape = (TempDir / "METRIC.DRL").string();
  WriteFileBytes(tape, kTape);
  TOperator user;
  std::vector<std::string> shown;  // the chosen units after each key
  std::vector<std::string> digits;  // the digits shown with them
  user.At("File Format", [](QWidget*) { Key(Qt::Key_Return, "\r"); });
  user.At("Excellon-to-Drill", [&](QWidget* window) {
    for (QCheckBox* box : window->findChildren<QCheckBox*>())
      if (box->text() == "Show Messages" && box->isChecked()) ClickWidget(box);
    const QList<QRadioButton*> units = RadioItems(window, "Units");
    ASSERT_EQ(units.size(), 2);
    ClickWidget(units[0]);  // the focus on the chosen item, Inches
    digits.push_back(SpinTexts(window));
    for (int key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_Home, Qt::Key_Right}) {
      Key(key);
      shown.push_back(std::string(units[0]->isChecked() ? "I" : "") + (units[1]->isChecked() ? "M" : "") +
                      (units[1]->hasFocus() ? "*" : ""));
      digits.push_back(SpinTexts(window));
    }
    Key(Qt::Key_Return, "\r");
  });
  std::string layers;  // the layer shown chosen and the one with the focus, before and after
  user.At("Select Layer For Data", [&](QWidget* window) {
    auto look = [&] {
      for (QRadioButton* item : RadioItems(window, "Layer")) {
        if (item->isChecked()) layers += "(" + item->text().toStdString() + ")";
        if (item->hasFocus()) layers += "[" + item->text().toStdString() + "]";
      }
    };
    look();
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    look();
    Key(Qt::Key_Return, "\r");
  });
  const int rc = ImportWithTheMenu(tape, [] {
    EXPECT_FALSE(DRDB->LayerIsEmpty(32));
    EXPECT_TRUE(DRDB->LayerIsEmpty(30));
    EXPECT_GE(DrillEntityCount, 1);
    // Read in millimetres (3.3 digits): 12.5 mm, not 1.25 in.
    TIntPoint at;
    if (DrillEntityCount >= 1) DRDB->EntityAt(1)->GetPoint(at);
    EXPECT_EQ(at.X, 12500000);
    EXPECT_EQ(at.Y, 34600000);
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(user.Met, (std::vector<std::string>{"File Format", "Excellon-to-Drill", "Select Layer For Data"}));
  // Down, Up, End, Home, Right: the dot goes with the focus each time, and
  // the digits follow the units as for a click.
  EXPECT_EQ(shown, (std::vector<std::string>{"M*", "I", "M*", "I", "M*"}));
  EXPECT_EQ(digits, (std::vector<std::string>{"2 4", "3 3", "2 4", "3 3", "2 4", "3 3"}));
  EXPECT_EQ(layers, "(D0)[D0](D2)[D2]");
}

// A radio group is one stop of the Tab key: Tab enters it at its chosen
// item, whatever the order of its items, and the next Tab leaves it; Shift
// Tab comes back to the item chosen meanwhile with the arrows.
TEST_F(QtStartedProgramTest, TabEntersARadioGroupAtItsChoiceAndLeavesItWhole) {
  const std::string tape = (TempDir / "TABS.DRL").string();
  WriteFileBytes(tape, kTape);
  TOperator user;
  std::vector<std::string> focus;  // the item with the focus after each key, and whether it is chosen
  user.At("File Format", [](QWidget*) { Key(Qt::Key_Return, "\r"); });
  user.At("Excellon-to-Drill", [&](QWidget* window) {
    auto look = [&] {
      auto* item = qobject_cast<QRadioButton*>(QApplication::focusWidget());
      focus.push_back(item == nullptr ? "?" : item->text().remove('&').toStdString() + (item->isChecked() ? "*" : ""));
    };
    const QList<QRadioButton*> units = RadioItems(window, "Units");
    const QList<QRadioButton*> zeros = RadioItems(window, "Zeros Used");
    ASSERT_EQ(units.size(), 2);
    ASSERT_EQ(zeros.size(), 3);
    ClickWidget(zeros[1]);  // Trailing, the second item
    ClickWidget(units[0]);  // Inches, chosen
    for (int key : {Qt::Key_Tab, Qt::Key_Down, Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Backtab}) {
      Key(key);
      look();
    }
    Key(Qt::Key_Escape);
  });
  const int rc = ImportWithTheMenu(tape, [] { EXPECT_EQ(DrillEntityCount, 0); });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(user.Met, (std::vector<std::string>{"File Format", "Excellon-to-Drill"}));
  // Tab: Zeros Used at Trailing; Down: Both; Tab: Axis Version at 1; Shift
  // Tab twice: Both again, then Inches.
  EXPECT_EQ(focus, (std::vector<std::string>{"Trailing*", "Both*", "1*", "Both*", "Inches*"}));
}

// The status box of a long reading shows its text whole, the Cancel it
// speaks of beside it: the box widens to a text longer than it, and to a
// longer one that comes after it showed.
TEST_F(QtStartedProgramTest, TheStatusBoxOfALongReadingShowsItsWholeText) {
  const std::vector<std::string> texts = {"Reading the file: Cancel withdraws the import.",
                                          "Reading the tape: Cancel withdraws the import.",
                                          "Reading </tmp/a very long name of a customer's tape.drl>: Cancel withdraws "
                                          "the import."};
  TOperator user;  // the about box of the start-up gets its OK
  std::vector<std::string> cut;
  const int rc = RunProgram([&] {
    if (Workspace == nullptr) return 1;
    Settle();
    ViewServices().OpenStatus(texts[0]);
    for (const std::string& text : texts) {
      bool cancelled = false;
      LastStatusTick = GetTickCount() - 1000;  // at once, not half a second after the last update
      ViewServices().UpdateStatus(text, 10, cancelled);
      Settle();
      TStatusDialog* box = Workspace->StatusBox();
      if (box == nullptr) return 2;
      QWidget* panel = QtWidgetOf(box->CaptionPanel);
      const QRect screen = panel->screen()->availableGeometry();
      const int room = panel->contentsRect().width() - 8;  // the caption's margins
      if (QFontMetrics(panel->font()).horizontalAdvance(QString::fromStdString(text)) > room ||
          !screen.contains(panel->window()->frameGeometry()))
        cut.push_back(text);
    }
    ViewServices().CloseStatus();
    QtWidgetOf(*Workspace)->close();
    Settle();
    return 0;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(cut, std::vector<std::string>{});
}

// Printer Setup proposes the PDF of a print without a printer in the
// program's PLOT folder, as the plots do, and makes no folder in the
// user's account; Print Tool Table, whose font keeps the device's size,
// prints readable lines of about 10 points.
TEST_F(QtStartedProgramTest, PrintsGoToThePlotFolderInReadableText) {
  const char* savedHome = std::getenv("HOME");
  const std::string home = savedHome != nullptr ? savedHome : "";
  const std::filesystem::path account = TempDir / "account";
  std::filesystem::create_directories(account);
  setenv("HOME", account.c_str(), 1);
  InstallQtPrinterBackend();
  Printer().SetPrinterIndex(int(Printer().Printers().size()) - 1);  // no printer: a PDF
  TOperator user;
  QString proposed;
  user.At("Printer Setup", [&](QWidget* window) {
    for (QLineEdit* edit : window->findChildren<QLineEdit*>())
      if (edit->text().endsWith(".pdf")) proposed = edit->text();
    for (QDialogButtonBox* box : window->findChildren<QDialogButtonBox*>())
      if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) ok->click();
  });
  std::string plot, told;
  const int rc = RunProgram([&] {
    TWorkspace* form = Workspace;
    if (form == nullptr) return 1;
    Settle();
    plot = NativePath(ExecutionPath() + "PLOT");
    form->LayerPanel.FindControl("L30")->Click();
    Settle();
    ToolTable[1].Diameter = 25400000 / 32;
    DRDB->AddHoleOnLayer(25400000, 25400000, 30, 1, true);
    DRDB->AddHoleOnLayer(2 * 25400000, 25400000, 30, 1, true);
    EXPECT_TRUE(ClickMenu(*form->Menu(), "&File|P&rinter Setup"));
    Settle();
    EXPECT_TRUE(ClickMenu(*form->Menu(), "&Tools|&Print Tool Table"));
    Settle();
    if (!ShownMessageBoxes().empty()) told = ShownMessageBoxes().back().Text;
    ScriptMessageBoxAnswer(mrNo);  // the job is not saved
    QtWidgetOf(*form)->close();
    Settle();
    return 0;
  });
  setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(user.Met, std::vector<std::string>{"Printer Setup"});
  EXPECT_EQ(proposed.toStdString(), plot + "/print.pdf");
  EXPECT_FALSE(std::filesystem::exists(account / "Documents"));
  const std::string written = "The print was written to the file\n";
  ASSERT_EQ(told.substr(0, written.size()), written);
  const std::filesystem::path pdf = told.substr(written.size());
  EXPECT_EQ(pdf.parent_path().string(), plot);
  ASSERT_TRUE(std::filesystem::exists(pdf));
  const std::vector<double> tops = InkedLineTops(pdf);
  if (tops.empty()) GTEST_SKIP() << "no ghostscript to render the PDF";
  // The lines below a blank one: the title, the blanks, the column heads, a
  // rule, the one tool, a rule and three totals.
  ASSERT_EQ(tops.size(), 8u);
  const double pitch = (tops.back() - tops.front()) / 9;
  EXPECT_GT(pitch, 9.0) << pitch;
  EXPECT_LT(pitch, 16.0) << pitch;
}

// The windows of an import as the operator meets them: the Digits group of
// Excellon-to-Drill shows its whole frame, on a light face too; the results
// report opens in the middle of the main window and stays there, on the
// screen, when it widens to a line that came after it showed.
TEST_F(QtStartedProgramTest, TheImportsWindowsShowWholeOverTheMainWindow) {
  // Twenty tools, one hit each: the line of tool changes comes after the
  // report is up, and is wider than it.
  std::string text = "M48\n";
  for (int t = 1; t <= 20; ++t) text += "T" + std::to_string(t) + "C0.0" + std::to_string(10 + t) + "\n";
  text += "%\n";
  for (int t = 1; t <= 20; ++t)
    text += "T" + std::to_string(t) + "\nX0" + std::to_string(12345 + 1111 * t) + "Y0" + std::to_string(67890 - 999 * t) + "\n";
  text += "M30\n";
  const std::string tape = (TempDir / "TOOLS.DRL").string();
  WriteFileBytes(tape, text);
  TOperator user;
  user.At("File Format", [](QWidget*) { Key(Qt::Key_Return, "\r"); });
  std::vector<std::string> unseenSides;
  user.At("Excellon-to-Drill", [&](QWidget* window) {
    for (QCheckBox* box : window->findChildren<QCheckBox*>())
      if (box->text() == "Show Messages" && !box->isChecked()) ClickWidget(box);
    // The frame's line stands out of the face on each side.
    QFrame* digits = nullptr;
    for (QFrame* f : window->findChildren<QFrame*>())
      if (f->findChildren<QSpinBox*>().size() == 2) digits = f;
    ASSERT_NE(digits, nullptr);
    const QImage image = digits->grab().toImage();
    const int face = qGray(window->palette().color(QPalette::Window).rgb());
    auto seen = [&](int x, int y, int dx, int dy) {
      for (int i = 0; i < 2; ++i)
        if (std::abs(qGray(image.pixel(x + i * dx, y + i * dy)) - face) >= 40) return true;
      return false;
    };
    const int w = image.width(), h = image.height();
    if (!seen(w / 2, 0, 0, 1)) unseenSides.push_back("top");
    if (!seen(w - 1, h / 2, -1, 0)) unseenSides.push_back("right");
    if (!seen(w / 2, h - 1, 0, -1)) unseenSides.push_back("bottom");
    if (!seen(0, h / 2, 1, 0)) unseenSides.push_back("left");
    Key(Qt::Key_Return, "\r");
  });
  user.At("Select Layer For Data", [](QWidget*) { Key(Qt::Key_Return, "\r"); });
  QRect report, main, screen;
  user.At("Import results", [&](QWidget* window) {
    report = window->frameGeometry();
    main = QtWidgetOf(*Workspace)->frameGeometry();
    screen = window->screen()->availableGeometry();
    for (QPushButton* b : window->findChildren<QPushButton*>())
      if (b->text() == "OK") b->click();
  });
  const int rc = ImportWithTheMenu(tape, [] { EXPECT_FALSE(DRDB->LayerIsEmpty(30)); });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(user.Met, (std::vector<std::string>{"File Format", "Excellon-to-Drill", "Import results",
                                                "Select Layer For Data"}));
  EXPECT_EQ(unseenSides, std::vector<std::string>{});
  EXPECT_GT(report.width(), 400);
  EXPECT_TRUE(screen.contains(report)) << report.x() << "," << report.y() << " " << report.width() << "x" << report.height();
  EXPECT_LE((report.center() - main.center()).manhattanLength(), 4)
      << report.center().x() << "," << report.center().y() << " over " << main.center().x() << "," << main.center().y();
}

namespace {

// The live drill hits of the job.
int LiveHits() {
  int n = 0;
  for (int32_t i = 1; i <= DrillEntityCount; ++i)
    if (static_cast<int32_t>(DRDB->WordAt(i)) > 0) ++n;
  return n;
}

// Excellon-to-Drill answered OK without its report.
void ReadWithoutReport(QWidget* window) {
  for (QCheckBox* box : window->findChildren<QCheckBox*>())
    if (box->text() == "Show Messages" && box->isChecked()) ClickWidget(box);
  Key(Qt::Key_Return, "\r");
}

// Where a point of the job shows in the drawing area: the pixel the view
// takes for the nearest point.
QPoint PixelOf(int32_t x, int32_t y) {
  QPoint best;
  int64_t dx = INT64_MAX, dy = INT64_MAX;
  for (int i = -2000; i < 4000; ++i) {
    if (std::abs(int64_t{MyScreen->MouseToWorldX(i)} - x) < dx) dx = std::abs(int64_t{MyScreen->MouseToWorldX(i)} - x), best.setX(i);
    if (std::abs(int64_t{MyScreen->MouseToWorldY(i)} - y) < dy) dy = std::abs(int64_t{MyScreen->MouseToWorldY(i)} - y), best.setY(i);
  }
  return best;
}

// The Alt letter as the window system hands it in: through the shortcuts
// of the window that has the keyboard. A button so pressed shows itself
// down a moment before it acts.
void AltKey(Qt::Key letter) {
  QTest::keyClick(QApplication::focusWidget(), letter, Qt::AltModifier);
  QTest::qWait(200);
}

}  // namespace

// Select Layer For Data closed without OK withdraws the import, as Esc in
// the placement does: Esc from the keyboard and the title bar's close for
// the main part, Esc again for a part to be placed. The job keeps no hit
// and nothing waits for a place.
TEST_F(QtStartedProgramTest, EscAndTheCloseBoxAtSelectLayerForDataWithdrawTheImport) {
  const std::string tape = (TempDir / "WITHDRAWN.DRL").string();
  WriteFileBytes(tape, kTape);
  TOperator user;
  for (int i = 0; i < 3; ++i) {
    user.At("File Format", [](QWidget*) { Key(Qt::Key_Return, "\r"); });
    user.At("Excellon-to-Drill", ReadWithoutReport);
  }
  user.At("Select Layer For Data", [](QWidget*) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); });
  user.At("Select Layer For Data", [](QWidget* window) { window->close(); });
  user.At("Select Layer For Data", [](QWidget*) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); });
  std::vector<std::string> hints;
  std::vector<int> hits;
  std::vector<bool> waits;
  const int rc = RunProgram([&] {
    TWorkspace* form = Workspace;
    if (form == nullptr) return 1;
    Settle();
    form->LayerPanel.FindControl("L30")->Click();
    Settle();
    for (TModalResult mainPart : {mrYes, mrYes, mrNo}) {
      SetApplicationHint("");
      ScriptFileDialogAnswer(tape);
      ScriptMessageBoxAnswer(mainPart);
      EXPECT_TRUE(ClickMenu(*form->Menu(), "&File|&Import"));
      Settle();
      hints.push_back(form->HintPanel.Caption());
      hits.push_back(LiveHits());
      waits.push_back(DrawingAreaInputWaits());
    }
    QtWidgetOf(*form)->close();
    Settle();
    return 0;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(user.Met, (std::vector<std::string>{"File Format", "Excellon-to-Drill", "Select Layer For Data",
                                                "File Format", "Excellon-to-Drill", "Select Layer For Data",
                                                "File Format", "Excellon-to-Drill", "Select Layer For Data"}));
  const std::string withdrawn = "The import was withdrawn; the drill database is unchanged.";
  EXPECT_EQ(hints, (std::vector<std::string>{withdrawn, withdrawn, withdrawn}));
  EXPECT_EQ(hits, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(waits, (std::vector<bool>{false, false, false}));
}

// Each Alt letter of Make Drill Tape acts on its own control: M chooses
// Millimeters (the digits follow), U unticks the M48 header, C chooses
// Incremental, P Decimal Point, W unticks the tool table, N goes back to
// Inches. Esc leaves the options as they were.
TEST_F(QtStartedProgramTest, TheAltLettersOfMakeDrillTapeActOnTheirOwnControls) {
  TOperator user;
  std::vector<std::string> seen;
  user.At("Make Drill Tape", [&](QWidget* window) {
    auto chosen = [&](const QString& group, int item) {
      const QList<QRadioButton*> items = RadioItems(window, group);
      return item < items.size() && items[item]->isChecked();
    };
    auto ticked = [&](const QString& text) {
      for (QCheckBox* box : window->findChildren<QCheckBox*>())
        if (box->text().remove('&') == text) return box->isChecked();
      return false;
    };
    auto look = [&] {
      seen.push_back(std::string(chosen("Units", 1) ? "mm " : "in ") + SpinTexts(window) +
                     (ticked("Output M48 Header") ? " M48" : "") + (chosen("Coordinate Mode", 1) ? " inc" : "") +
                     (chosen("Zeros Used", 3) ? " point" : "") + (ticked("Write Tool Table File") ? " table" : ""));
    };
    look();
    for (Qt::Key letter : {Qt::Key_M, Qt::Key_U, Qt::Key_C, Qt::Key_P, Qt::Key_W, Qt::Key_N}) {
      AltKey(letter);
      look();
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  bool m48 = false;
  const int rc = RunProgram([&] {
    TWorkspace* form = Workspace;
    if (form == nullptr) return 1;
    Settle();
    form->LayerPanel.FindControl("L30")->Click();
    Settle();
    DRDB->MakeTapeDefaults.OutputM48Header = true;
    DRDB->MakeTapeDefaults.WriteToolTableFile = true;
    DrillOutputFormat.Metric = false;
    DrillOutputFormat.Absolute = true;
    DrillOutputFormat.ZerosUsed = 0;
    EXPECT_TRUE(ClickMenu(*form->Menu(), "&File|&Make Drill Tape"));
    Settle();
    m48 = DRDB->MakeTapeDefaults.OutputM48Header && DRDB->MakeTapeDefaults.WriteToolTableFile &&
          !DrillOutputFormat.Metric;
    QtWidgetOf(*form)->close();
    Settle();
    return 0;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(user.Met, std::vector<std::string>{"Make Drill Tape"});
  EXPECT_EQ(seen, (std::vector<std::string>{"in 2 4 M48 table", "mm 3 3 M48 table", "mm 3 3 table",
                                            "mm 3 3 inc table", "mm 3 3 inc point table", "mm 3 3 inc point",
                                            "in 2 4 inc point"}));
  EXPECT_TRUE(m48);
}

// The tooling hits marked with the mouse on the drawing: two clicks make a
// window with a rubber band between, a drag makes one too, two clicks on
// one point mark round it; each window says on the command line how many
// hits it caught. The right button goes on to the last hits; Esc stops
// with a box saying that no tape was written, and none is.
TEST_F(QtStartedProgramTest, ToolingHitsAreWindowedByClicksAndDragsAndEscWritesNoTape) {
  const std::string tape = (TempDir / "MARKED.DRL").string();
  WriteFileBytes(tape, kTape);
  TOperator user;
  user.At("File Format", [](QWidget*) { Key(Qt::Key_Return, "\r"); });
  user.At("Excellon-to-Drill", ReadWithoutReport);
  user.At("Select Layer For Data", [](QWidget*) { Key(Qt::Key_Return, "\r"); });
  std::vector<std::string> lines;  // the command line after each window, and after the right button
  bool band = false;
  auto mark = [&] {
    QWidget* area = QtWidgetOf(Workspace->PaintBox);
    // The two hits of the tape, the first to the left.
    TIntPoint first, second;
    DRDB->EntityAt(1)->GetPoint(first);
    DRDB->EntityAt(2)->GetPoint(second);
    const QPoint a = PixelOf(first.X, first.Y);
    const QPoint b = PixelOf(second.X, second.Y);
    auto line = [&] { lines.push_back(UserPanel->PromptLine(1) + " | " + UserPanel->PromptLine(2)); };
    // Two clicks round the first hit, the pointer moved between.
    QTest::mouseClick(area, Qt::LeftButton, {}, a - QPoint(15, 15));
    QTest::mouseMove(area, a + QPoint(15, 15));
    Settle();
    band = RubberBrain != nullptr && RubberBrain->Drawn();
    QTest::mouseClick(area, Qt::LeftButton, {}, a + QPoint(15, 15));
    line();

    // A drag over both.
    QTest::mousePress(area, Qt::LeftButton, {}, a - QPoint(20, 20));
    QTest::mouseMove(area, (a + b) / 2);
    QTest::mouseRelease(area, Qt::LeftButton, {}, b + QPoint(20, 20));
    line();
    QTest::mouseClick(area, Qt::RightButton, {}, (a + b) / 2);
    line();
    // Two clicks on one point between the hits.
    QTest::mouseClick(area, Qt::LeftButton, {}, (a + b) / 2);
    QTest::mouseClick(area, Qt::LeftButton, {}, (a + b) / 2);
    line();
    QTest::mouseClick(area, Qt::LeftButton, {}, b);
    QTest::mouseClick(area, Qt::LeftButton, {}, b);
    line();
    // The main window has the keyboard again once the dialog has gone, as
    // the window manager gives it back.
    QApplication::setActiveWindow(QtWidgetOf(*Workspace));
    Settle();
    QWidget* keys = QApplication::focusWidget();
    ASSERT_NE(keys, nullptr);
    QTest::keyClick(keys, Qt::Key_Escape);
  };
  user.At("Make Drill Tape", [&](QWidget* window) {
    // Both markings, no coupon.
    for (QCheckBox* box : window->findChildren<QCheckBox*>()) {
      const QString text = box->text().remove('&');
      if (text.startsWith("Mark ") != box->isChecked() && (text.startsWith("Mark ") || text.contains("First-Last")))
        ClickWidget(box);
    }
    QTimer::singleShot(100, mark);
    Key(Qt::Key_Return, "\r");
  });
  std::string after;
  size_t boxes = 0;
  const int rc = RunProgram([&] {
    TWorkspace* form = Workspace;
    if (form == nullptr) return 1;
    Settle();
    form->LayerPanel.FindControl("L30")->Click();
    Settle();
    ScriptFileDialogAnswer(tape);
    ScriptMessageBoxAnswer(mrYes);  // the main part
    EXPECT_TRUE(ClickMenu(*form->Menu(), "&File|&Import"));
    Settle();
    // The hits shown well apart, as a zoom window shows them.
    TIntPoint first, second;
    DRDB->EntityAt(1)->GetPoint(first);
    DRDB->EntityAt(2)->GetPoint(second);
    ViewServices().ZoomWindow(first.X - 20000000, first.Y - 20000000, second.X + 20000000, second.Y + 20000000);
    Settle();
    boxes = ShownMessageBoxes().size();
    EXPECT_TRUE(ClickMenu(*form->Menu(), "&File|&Make Drill Tape"));
    Settle();
    after = ShownMessageBoxes().size() > boxes ? ShownMessageBoxes().back().Text : "";
    EXPECT_EQ(MyScreen->Activity, acIdle);
    ScriptMessageBoxAnswer(mrNo);  // the job is not saved
    QtWidgetOf(*form)->close();
    Settle();
    return 0;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(band);
  const std::string first = "Window the FIRST tooling hits; right button when done, Esc to stop | ";
  const std::string last = "Window the LAST tooling hits; right button when done, Esc to stop | ";
  EXPECT_EQ(lines, (std::vector<std::string>{
                       first + "The window marks 1 hit to drill first; 1 hit marked first in all",
                       first + "The window marks 2 hits to drill first; 2 hits marked first in all",
                       last + "2 hits marked first",
                       last + "The window marks no hit: a hit is marked when its centre is inside",
                       last + "The window marks no hit: the hits inside it are marked first"}));
  EXPECT_EQ(after, "The marking of the tooling hits was stopped: no drill tape was written.");
  EXPECT_EQ(user.Met, (std::vector<std::string>{"File Format", "Excellon-to-Drill", "Select Layer For Data",
                                                "Make Drill Tape"}));
}
