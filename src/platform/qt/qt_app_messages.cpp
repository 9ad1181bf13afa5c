#include "platform/qt/qt_app_messages.h"

#include <QApplication>
#include <QKeyEvent>
#include <QObject>
#include <QWidget>

#include "platform/app_messages.h"

unsigned QtKeyToVirtualKey(int key) {
  if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) return key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: return 0;
  }
}

namespace {
class TKeyHookFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    // Key events travel up the widget tree; look at each once, at the widget
    // it was sent to first (the focus widget, when there is one).
    if (!watched->isWidgetType()) return false;
    QWidget* focus = QApplication::focusWidget();
    if (focus && watched != focus) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    TMessage msg;
    msg.Window = reinterpret_cast<uintptr_t>(watched);
    msg.WParam = QtKeyToVirtualKey(key->key());
    bool handled = false;
    if (event->type() == QEvent::KeyPress) {
      msg.Msg = WM_KEYDOWN;
      if (msg.WParam != 0) handled = DispatchApplicationMessage(msg);
      const QString text = key->text();
      if (!handled && text.size() == 1 && text[0].unicode() < 256) {
        TMessage chr = msg;
        chr.Msg = WM_CHAR;
        chr.WParam = text[0].unicode();
        handled = DispatchApplicationMessage(chr);
      }
    } else {
      msg.Msg = WM_KEYUP;
      if (msg.WParam != 0) handled = DispatchApplicationMessage(msg);
    }
    return handled;
  }
};
}  // namespace

void InstallQtAppMessagesBackend() {
  static TKeyHookFilter* filter = nullptr;
  if (filter || !qApp) return;
  filter = new TKeyHookFilter(qApp);
  qApp->installEventFilter(filter);
}
