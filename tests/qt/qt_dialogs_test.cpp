#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "platform/common_dialogs.h"
#include "platform/message_box.h"
#include "platform/qt/qt_common_dialogs.h"
#include "platform/qt/qt_message_box.h"

namespace {

// Runs action on the modal widget as soon as one is open (the code under
// test blocks in its exec() meanwhile).
void WhenModalOpens(std::function<void(QWidget*)> action, int tries = 200) {
  QTimer::singleShot(10, [action, tries] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      QPointer<QWidget> guard = w;
      action(w);
      // A failed expectation must not leave the test waiting on the dialog.
      if (auto* d = qobject_cast<QDialog*>(guard.data()); d && d->isVisible()) d->reject();
    } else if (tries > 0) {
      WhenModalOpens(action, tries - 1);
    }
  });
}

QAbstractButton* ButtonWithText(QMessageBox* box, const QString& text) {
  for (QAbstractButton* b : box->buttons())
    if (b->text() == text) return b;
  return nullptr;
}

class QtDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallQtMessageBoxBackend();
    InstallQtCommonDialogBackend();
  }
  void TearDown() override {
    SetMessageBoxBackend(nullptr);
    SetCommonDialogBackend(nullptr);
  }
};

}  // namespace

TEST_F(QtDialogsTest, MessageBoxShowsTheTextAndReturnsTheClickedButton) {
  QString seenTitle, seenText;
  QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
  QStringList seenButtons;
  WhenModalOpens([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    seenTitle = box->windowTitle();
    seenText = box->text();
    seenIcon = box->icon();
    for (QAbstractButton* b : box->buttons()) seenButtons << b->text();
    QAbstractButton* no = ButtonWithText(box, "&No");
    ASSERT_NE(no, nullptr);
    no->click();
  });
  const TModalResult r = MessageDlg("File <A.RT> exists!\r\nDo you wish to overwrite it?",
                                    mtWarning, mbYesNoCancel);
  EXPECT_EQ(r, mrNo);
  EXPECT_EQ(seenTitle, "Warning");
  // Plain text, line breaks mended.
  EXPECT_EQ(seenText, "File <A.RT> exists!\nDo you wish to overwrite it?");
  EXPECT_EQ(seenIcon, QMessageBox::Warning);
  seenButtons.sort();
  EXPECT_EQ(seenButtons, (QStringList{"&No", "&Yes", "Cancel"}));
}

TEST_F(QtDialogsTest, EscapeAndCaptionedBoxes) {
  // Escape presses Cancel.
  WhenModalOpens([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
  EXPECT_EQ(MessageDlgCaption("Select Com Port", "Go?", mtConfirmation, mbOKCancel), mrCancel);

  // An OK box: Enter presses OK; the text shows "&&" as "&".
  QString text;
  WhenModalOpens([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    text = box->text();
    box->defaultButton()->click();
  });
  ErrorBox("Step && Repeat Crash.  Error Line: 7");
  EXPECT_EQ(text, "Step & Repeat Crash.  Error Line: 7");

  TMessageBoxRequest req;
  req.Type = mtError;
  req.Caption = "Error";
  req.Text = "disk";
  req.Buttons = mbAbortRetryIgnore;
  QMessageBox* box = CreateQtMessageBox(req, nullptr);
  EXPECT_EQ(box->escapeButton(), nullptr);
  ButtonWithText(box, "&Retry")->click();
  EXPECT_EQ(QtMessageBoxResult(*box), mrRetry);
  delete box;
}

void PressEscape(QWidget* w) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

// A box whose text holds a run without blanks wider than the box (the path
// of a file refused for its length) shows the whole run, wrapped within the
// box instead of cut at its edge; the text reads as it was given.
TEST_F(QtDialogsTest, ABoxWrapsALongPathWithinItsEdges) {
  const std::string path = "/tmp/" + std::string(3, 'x') + [] {
    std::string run;
    for (int i = 0; i < 3; ++i) run += "very_long_folder_name_for_the_operators_tapes_";
    return run;
  }() + "/customer_board_revision_C_plated_through_holes_drill20.exc";
  int overflow = -1;
  QString shown;
  WhenModalOpens([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    QLabel* label = box->findChild<QLabel*>("qt_msgbox_label");
    ASSERT_NE(label, nullptr);
    const QRect room = label->contentsRect();
    overflow = QFontMetrics(label->font()).boundingRect(room, Qt::TextWordWrap, label->text()).width() - room.width();
    shown = label->text().remove(QChar(0x200B));
    box->defaultButton()->click();
  });
  ErrorBox("The name of the chosen file is longer than 255 characters and cannot be used:\r\n" + path);
  EXPECT_LE(overflow, 0);
  EXPECT_EQ(shown.toStdString(), "The name of the chosen file is longer than 255 characters and cannot be used:\n" + path);

  // A path of an ordinary length fits as it is: the box's text is the text
  // given, as the clipboard copies it.
  const std::string usual = "/home/cam/jobs/customer_board_rev_C/drill20.exc";
  QString text;
  WhenModalOpens([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    text = box->text();
    box->defaultButton()->click();
  });
  ErrorBox("Cannot open " + usual);
  EXPECT_EQ(text.toStdString(), "Cannot open " + usual);
}


// A question whose No changes the job: Escape and the close box answer
// Cancel, which no shown button offers; the buttons answer as they say.
TEST_F(QtDialogsTest, EscapeOnAChangingQuestionCancels) {
  QStringList shown;
  WhenModalOpens([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* b : box->buttons())
      if (b->isVisible()) shown << b->text();
    PressEscape(box);
  });
  EXPECT_EQ(AskChangingQuestion("Rout all profiles outside?", mtConfirmation, mbYesNo), mrCancel);
  shown.sort();
  EXPECT_EQ(shown, (QStringList{"&No", "&Yes"}));
  WhenModalOpens([](QWidget* w) { w->close(); });
  EXPECT_EQ(AskChangingQuestion("Is this the main part?", mtConfirmation, mbYesNo), mrCancel);
  WhenModalOpens([](QWidget* w) { ButtonWithText(qobject_cast<QMessageBox*>(w), "&No")->click(); });
  EXPECT_EQ(AskChangingQuestion("Is this the main part?", mtConfirmation, mbYesNo), mrNo);
  // An ordinary question keeps Escape as No.
  WhenModalOpens([](QWidget* w) { PressEscape(w); });
  EXPECT_EQ(MessageDlg("Overwrite?", mtConfirmation, mbYesNo), mrNo);
}

// Enter as the window system delivers it: to the widget that has the focus.
void PressEnter(QWidget* box) {
  QWidget* target = QApplication::focusWidget();
  if (target == nullptr || target->window() != box) target = box;
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(target, &release);
}

// A question whose Yes erases or replaces for good answers No to Enter; an
// ordinary question still answers Yes.
TEST_F(QtDialogsTest, EnterOnAQuestionThatDestroysAnswersNo) {
  QString text, defaultText;
  WhenModalOpens([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    text = box->text();
    if (box->defaultButton() != nullptr) defaultText = box->defaultButton()->text();
    PressEnter(box);
  });
  EXPECT_FALSE(ConfirmOverwrite("/jobs/BOARD.ZUL"));
  EXPECT_EQ(text, "File </jobs/BOARD.ZUL> exists!\nDo you wish to overwrite it?");
  EXPECT_EQ(defaultText, "&No");

  WhenModalOpens([](QWidget* w) { PressEnter(w); });
  EXPECT_FALSE(ConfirmDestroying("This erase cannot be undone!\r\nAre you sure you wish to erase\r\nlayer D0?"));
  WhenModalOpens([](QWidget* w) { ButtonWithText(qobject_cast<QMessageBox*>(w), "&Yes")->click(); });
  EXPECT_TRUE(ConfirmDestroying("Erase?"));

  WhenModalOpens([](QWidget* w) { PressEnter(w); });
  EXPECT_EQ(ConfirmationBox("Save it now?"), mrYes);
}

TEST_F(QtDialogsTest, InputBoxReturnsTheTypedText) {
  WhenModalOpens([](QWidget* w) {
    auto* dlg = qobject_cast<QInputDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->windowTitle(), "Maximum nibble size");
    EXPECT_EQ(dlg->labelText(), "Enter nib size in mm");
    EXPECT_EQ(dlg->textValue(), "0.0254");
    // Wide enough for its title, which the window manager would cut to
    // "Maxim... e size" in a window sized for the short prompt.
    const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
    EXPECT_GE(dlg->width(), title.horizontalAdvance(dlg->windowTitle()) + 80);
    dlg->setTextValue("0.1");
    dlg->accept();
  });
  EXPECT_EQ(InputBox("Maximum nibble size", "Enter nib size in mm", "0.0254"), "0.1");

  WhenModalOpens([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
  std::string v = "keep";
  EXPECT_FALSE(InputQuery("c", "p", v));
  EXPECT_EQ(v, "keep");
}

TEST_F(QtDialogsTest, NameFiltersMatchRegardlessOfCase) {
  EXPECT_EQ(QtNameFilters("All Files (*.*)|*.*|GCadd Drawing (*.GCD,*.DWG)|*.GCD;*.DWG"),
            (QStringList{"All Files (*.*) (*)",
                         "GCadd Drawing (*.GCD,*.DWG) (*.[gG][cC][dD] *.[dD][wW][gG])"}));
  EXPECT_TRUE(QtNameFilters("").isEmpty());
}

TEST_F(QtDialogsTest, FileDialogOpensWithTheProposalAndReturnsTheChoice) {
  const QString folder = QDir::tempPath();
  TSaveDialog settings;
  settings.Title = "Save Rout file as:";
  settings.InitialDir = folder.toStdString();
  settings.FileName = "*.RT";
  settings.Filter = "Standard|*.*|Filter A|*.RT|Filter B|*.NC";
  settings.FilterIndex = 2;
  settings.Options = ofHideReadOnly;

  QString title, dir, filter;
  QStringList filters;
  bool native = true, confirmOverwrite = true;
  QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
  const QString chosen = QDir(folder).filePath("OUT.RT");
  WhenModalOpens([&](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    title = dlg->windowTitle();
    dir = dlg->directory().absolutePath();
    filters = dlg->nameFilters();
    filter = dlg->selectedNameFilter();
    native = !dlg->testOption(QFileDialog::DontUseNativeDialog);
    confirmOverwrite = !dlg->testOption(QFileDialog::DontConfirmOverwrite);
    mode = dlg->acceptMode();
    dlg->selectNameFilter(filters.value(2));
    dlg->selectFile(chosen);
    static_cast<QDialog*>(dlg)->accept();
  });
  ASSERT_TRUE(settings.Execute());
  EXPECT_EQ(title, "Save Rout file as:");
  EXPECT_EQ(dir, QDir(folder).absolutePath());
  EXPECT_EQ(filters.size(), 3);
  EXPECT_EQ(filter, "Filter A");  // shown without its masks
  EXPECT_FALSE(native);
  EXPECT_FALSE(confirmOverwrite);
  EXPECT_EQ(mode, QFileDialog::AcceptSave);
  EXPECT_EQ(settings.FileName, chosen.toStdString());
  EXPECT_EQ(settings.FilterIndex, 3);

  // Cancel changes nothing.
  WhenModalOpens([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
  EXPECT_FALSE(settings.Execute());
  EXPECT_EQ(settings.FileName, chosen.toStdString());
  EXPECT_EQ(settings.FilterIndex, 3);
}

TEST_F(QtDialogsTest, OpenDialogWithAMaskAndNoFilterListsByTheMask) {
  TOpenDialog settings;
  settings.FileName = "*.DRL";
  settings.Options = ofOverwritePrompt;
  QFileDialog* dlg = CreateQtFileDialog(settings, nullptr);
  EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(dlg->nameFilters(), (QStringList{"*.DRL (*.[dD][rR][lL])"}));
  // The mask stands in the name box.
  auto* nameEdit = dlg->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(nameEdit, nullptr);
  EXPECT_EQ(nameEdit->text(), "*.DRL");
  delete dlg;
}

TEST_F(QtDialogsTest, FontDialogOffersFixedPitchAndHidesEffects) {
  TFontDialog settings;
  settings.Font.Name = "Monospace";
  settings.Font.Size = 11;
  settings.Options = fdFixedPitchOnly;
  QFontDialog* dlg = CreateQtFontDialog(settings, nullptr);
  EXPECT_TRUE(dlg->testOption(QFontDialog::MonospacedFonts));
  EXPECT_TRUE(dlg->testOption(QFontDialog::DontUseNativeDialog));
  int effectGroups = 0;
  for (QGroupBox* g : dlg->findChildren<QGroupBox*>()) {
    if (g->findChildren<QCheckBox*>().isEmpty()) continue;
    ++effectGroups;
    EXPECT_TRUE(g->isHidden());
  }
  EXPECT_EQ(effectGroups, 1);
  delete dlg;

  if (!QFontDatabase::families().contains("DejaVu Sans Mono"))
    GTEST_SKIP() << "no DejaVu Sans Mono font installed";
  WhenModalOpens([](QWidget* w) {
    auto* fd = qobject_cast<QFontDialog*>(w);
    ASSERT_NE(fd, nullptr);
    QFont f("DejaVu Sans Mono", 14);
    f.setBold(true);
    fd->setCurrentFont(f);
    fd->accept();
  });
  ASSERT_TRUE(settings.Execute());
  EXPECT_EQ(settings.Font.Name, "DejaVu Sans Mono");
  EXPECT_EQ(settings.Font.Size, 14);
  EXPECT_TRUE(settings.Font.Bold);
  EXPECT_TRUE(settings.Font.FixedPitch);
}
