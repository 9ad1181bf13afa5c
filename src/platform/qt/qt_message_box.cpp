#include "platform/qt/qt_message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {

QString ToQt(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A box's text wraps at its blanks, and the box widens for a run without
// one up to some sixty characters at least; a longer run (a long path, a file
// name of many words joined) would run past its edge and be cut: such a run
// alone may also wrap after its punctuation, or after every 40 characters
// where it has none (a zero-width space, not seen). Shorter runs are left as
// they are, so that what is copied from the box reads as it was given.
QString WrapsWithinTheBox(const QString& text) {
  constexpr int kTooLong = 60, kLongRun = 24, kMostRun = 40;
  QString out;
  out.reserve(text.size() + text.size() / 16);
  for (qsizetype at = 0; at < text.size();) {
    qsizetype end = at;
    while (end < text.size() && !text[end].isSpace()) ++end;
    if (end - at <= kTooLong) {
      out += text.mid(at, end - at);
    } else {
      int run = 0;
      for (qsizetype i = at; i < end; ++i) {
        const QChar c = text[i];
        out += c;
        ++run;
        const bool punctuation = c == '_' || c == '-' || c == '.' || c == '\\' || c == '/' || c == ',';
        if ((run >= kLongRun && punctuation) || run >= kMostRun) {
          out += QChar(0x200B);
          run = 0;
        }
      }
    }
    for (at = end; at < text.size() && text[at].isSpace(); ++at) out += text[at];
  }
  return out;
}

QMessageBox::Icon IconOf(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    case mtCustom: return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::ButtonRole RoleOf(TMsgDlgBtn b) {
  switch (b) {
    case mbYes: return QMessageBox::YesRole;
    case mbNo: return QMessageBox::NoRole;
    case mbOK: return QMessageBox::AcceptRole;
    case mbCancel: return QMessageBox::RejectRole;
    case mbAbort: return QMessageBox::RejectRole;
    case mbRetry: return QMessageBox::AcceptRole;
    case mbIgnore: return QMessageBox::AcceptRole;
    case mbAll: return QMessageBox::YesRole;
  }
  return QMessageBox::ActionRole;
}

QWidget* DialogParent() {
  QWidget* w = QApplication::activeModalWidget();
  if (!w) w = QApplication::activeWindow();
  return w;
}

// A box asked for while the program is busy (the hourglass shown) waits for
// the user: the arrow over it until it is answered.
struct TArrowWhileAsking {
  const bool Busy = QApplication::overrideCursor() != nullptr;
  TArrowWhileAsking() {
    if (Busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~TArrowWhileAsking() {
    if (Busy) QApplication::restoreOverrideCursor();
  }
};

class TQtMessageBoxBackend : public TMessageBoxBackend {
 public:
  TModalResult ShowMessageBox(const TMessageBoxRequest& request) override {
    const TArrowWhileAsking arrow;
    QPointer<QMessageBox> box = CreateQtMessageBox(request, DialogParent());
    box->exec();
    if (!box) return mrCancel;  // destroyed while open (application shutting down)
    TModalResult result = QtMessageBoxResult(*box);
    delete box;
    return result;
  }

  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override {
    const TArrowWhileAsking arrow;
    QPointer<QInputDialog> dialog = new QInputDialog(DialogParent());
    dialog->setWindowTitle(ToQt(caption));
    // The prompt label is the edit's buddy, so it reads "&" marks itself.
    QString label = ToQt(prompt);
    label.replace("\r\n", "\n").replace('\r', '\n');
    dialog->setLabelText(label);
    dialog->setInputMode(QInputDialog::TextInput);
    dialog->setTextValue(ToQt(value));
    // Sized for the short prompt the window is narrower than its title,
    // which the window manager then cuts ("Maxim... e size"): leave room for
    // the title beside the frame's buttons.
    // The dialog's layout sets its minimum size, so the edit field carries
    // the width.
    const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
    if (auto* edit = dialog->findChild<QLineEdit*>())
      edit->setMinimumWidth(title.horizontalAdvance(ToQt(caption)) + 100);
    const bool ok = dialog->exec() == QDialog::Accepted;
    if (!dialog) return false;
    if (ok) value = dialog->textValue().toStdString();
    delete dialog;
    return ok;
  }

  void Beep(uint32_t) override { QApplication::beep(); }
};

}  // namespace

QMessageBox* CreateQtMessageBox(const TMessageBoxRequest& request, QWidget* parent) {
  auto* box = new QMessageBox(parent);
  box->setWindowTitle(ToQt(request.Caption));
  // Plain text: the program's texts contain "<" and ">" freely.
  box->setTextFormat(Qt::PlainText);
  box->setText(WrapsWithinTheBox(ToQt(MessageDisplayText(request.Text))));
  box->setIcon(IconOf(request.Type));
  const TMsgDlgBtn defaultButton = DefaultButton(request);
  TMsgDlgBtn escape = mbOK;
  const bool hasEscape = EscapeButton(request.Buttons, escape);
  const bool hiddenCancel = request.EscapeCancels && !request.Buttons.Has(mbCancel);
  for (TMsgDlgBtn b : request.Buttons.List()) {
    QPushButton* button = box->addButton(ToQt(ButtonCaption(b)), RoleOf(b));
    button->setProperty("modalResult", static_cast<int>(ButtonModalResult(b)));
    if (b == defaultButton) box->setDefaultButton(button);
    if (hasEscape && b == escape && !hiddenCancel) box->setEscapeButton(button);
  }
  if (hiddenCancel) {
    // Escape and the close box press a Cancel that is not shown.
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    cancel->setProperty("modalResult", static_cast<int>(mrCancel));
    cancel->hide();
    box->setEscapeButton(cancel);
  }
  return box;
}

TModalResult QtMessageBoxResult(QMessageBox& box) {
  QAbstractButton* clicked = box.clickedButton();
  if (!clicked) {
    // Closed without a button: the escape button's answer, if it has one.
    clicked = box.escapeButton();
  }
  if (!clicked) return mrCancel;
  return static_cast<TModalResult>(clicked->property("modalResult").toInt());
}

void InstallQtMessageBoxBackend() {
  static TQtMessageBoxBackend backend;
  SetMessageBoxBackend(&backend);
}
