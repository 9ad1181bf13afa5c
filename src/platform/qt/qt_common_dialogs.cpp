#include "platform/qt/qt_common_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QPointer>

namespace {

QString ToQt(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A mask that matches regardless of case, as file names match on the
// program's home system.
QString CaseInsensitiveMask(const std::string& mask) {
  if (mask == "*.*") return "*";
  QString out;
  for (QChar c : ToQt(mask)) {
    if (c.isLetter() && c.toLower() != c.toUpper())
      out += QString("[%1%2]").arg(c.toLower()).arg(c.toUpper());
    else
      out += c;
  }
  return out;
}

QString NameFilter(const std::string& description, const std::vector<std::string>& masks) {
  QStringList patterns;
  for (const std::string& m : masks) patterns << CaseInsensitiveMask(m);
  return ToQt(description) + " (" + patterns.join(' ') + ")";
}

QWidget* DialogParent() {
  QWidget* w = QApplication::activeModalWidget();
  if (!w) w = QApplication::activeWindow();
  return w;
}

class TQtCommonDialogBackend : public TCommonDialogBackend {
 public:
  bool ExecuteFileDialog(TOpenDialog& settings) override {
    QPointer<QFileDialog> dialog = CreateQtFileDialog(settings, DialogParent());
    const bool ok = dialog->exec() == QDialog::Accepted;
    if (!dialog) return false;
    if (ok) ReadQtFileDialogAnswer(*dialog, settings);
    delete dialog;
    return ok;
  }

  bool ExecuteFontDialog(TFontDialog& settings) override {
    QPointer<QFontDialog> dialog = CreateQtFontDialog(settings, DialogParent());
    const bool ok = dialog->exec() == QDialog::Accepted;
    if (!dialog) return false;
    if (ok) ReadQtFontDialogAnswer(*dialog, settings);
    delete dialog;
    return ok;
  }
};

}  // namespace

QStringList QtNameFilters(const std::string& filterText) {
  QStringList out;
  for (const TFileFilter& f : ParseFilterText(filterText)) out << NameFilter(f.Description, f.Masks);
  return out;
}

QFileDialog* CreateQtFileDialog(const TOpenDialog& settings, QWidget* parent) {
  auto* dialog = new QFileDialog(parent);
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setOption(QFileDialog::HideNameFilterDetails, true);
  const bool save = settings.Kind() == TFileDialogKind::Save;
  dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // Like the program's home system, the open dialog lets a name through
  // whether or not the file exists; the caller checks.
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, !(settings.Options & ofOverwritePrompt));
  if (!settings.Title.empty()) dialog->setWindowTitle(ToQt(settings.Title));
  if (!settings.InitialDir.empty()) dialog->setDirectory(ToQt(settings.InitialDir));

  QStringList filters = QtNameFilters(settings.Filter);
  if (filters.isEmpty() && HasWildcards(settings.FileName))
    filters << NameFilter(settings.FileName, {settings.FileName});
  if (!filters.isEmpty()) {
    dialog->setNameFilters(filters);
    const int index = settings.FilterIndex;
    dialog->selectNameFilter(filters.value(index >= 1 && index <= filters.size() ? index - 1 : 0));
  }
  if (!settings.FileName.empty()) dialog->selectFile(ToQt(settings.FileName));
  return dialog;
}

void ReadQtFileDialogAnswer(QFileDialog& dialog, TOpenDialog& settings) {
  const QStringList files = dialog.selectedFiles();
  if (!files.isEmpty()) settings.FileName = files.front().toStdString();
  // The dialog reports the chosen filter without its hidden mask part.
  const QString selected = dialog.selectedNameFilter();
  const std::vector<TFileFilter> filters = ParseFilterText(settings.Filter);
  for (size_t i = 0; i < filters.size(); ++i) {
    if (ToQt(filters[i].Description).simplified() == selected.simplified() ||
        NameFilter(filters[i].Description, filters[i].Masks) == selected) {
      settings.FilterIndex = static_cast<int>(i) + 1;
      break;
    }
  }
}

QFontDialog* CreateQtFontDialog(const TFontDialog& settings, QWidget* parent) {
  auto* dialog = new QFontDialog(parent);
  dialog->setOption(QFontDialog::DontUseNativeDialog, true);
  dialog->setOption(QFontDialog::MonospacedFonts, (settings.Options & fdFixedPitchOnly) != 0);
  QFont font(ToQt(settings.Font.Name));
  if (settings.Font.Size > 0) font.setPointSize(settings.Font.Size);
  font.setBold(settings.Font.Bold);
  font.setItalic(settings.Font.Italic);
  font.setUnderline(settings.Font.Underline);
  font.setStrikeOut(settings.Font.StrikeOut);
  dialog->setCurrentFont(font);
  if (!(settings.Options & fdEffects)) {
    // Qt's dialog has no switch for its effects section: hide the group
    // that holds the effect check boxes (strike-out, underline).
    for (QGroupBox* group : dialog->findChildren<QGroupBox*>())
      if (!group->findChildren<QCheckBox*>().isEmpty()) group->hide();
  }
  return dialog;
}

void ReadQtFontDialogAnswer(QFontDialog& dialog, TFontDialog& settings) {
  const QFont font = dialog.selectedFont();
  settings.Font.Name = font.family().toStdString();
  if (font.pointSize() > 0) settings.Font.Size = font.pointSize();
  settings.Font.Bold = font.bold();
  settings.Font.Italic = font.italic();
  settings.Font.Underline = font.underline();
  settings.Font.StrikeOut = font.strikeOut();
  settings.Font.FixedPitch = QFontInfo(font).fixedPitch();
}

void InstallQtCommonDialogBackend() {
  static TQtCommonDialogBackend backend;
  SetCommonDialogBackend(&backend);
}
