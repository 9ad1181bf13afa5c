#include "platform/qt/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

#include "platform/clipboard.h"

namespace {

// The program's texts are byte strings. Text that is valid UTF-8 goes to the
// clipboard as such; other bytes are taken as Latin-1, so no byte is lost.
QString ToQString(const std::string& text) {
  QString utf8 = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (!utf8.contains(QChar::ReplacementCharacter) || text.find("\xEF\xBF\xBD") != std::string::npos)
    return utf8;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

class TQtClipboard : public TClipboardBackend {
 public:
  void SetText(const std::string& text) override { QGuiApplication::clipboard()->setText(ToQString(text)); }
  std::string GetText() override { return QGuiApplication::clipboard()->text().toStdString(); }
};

}  // namespace

void InstallQtClipboardBackend() { SetClipboardBackend(std::make_unique<TQtClipboard>()); }
