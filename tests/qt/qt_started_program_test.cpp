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
#include "tapein/drill_import.h"
#include "workspace/layers.h"
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
