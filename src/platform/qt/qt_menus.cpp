// The Qt menus backend. See qt_menus.h.
#include "platform/qt/qt_menus.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QCursor>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include "platform/forms.h"
#include "platform/menus.h"

namespace {

QString ToQt(const std::string& s) { return QString::fromStdString(s); }

// Fills a QMenu-like widget (menu bar or menu) with the sub-items of an
// item; each action remembers its item.
class TMenuBuilder {
 public:
  // The actions of the items, to update single items later.
  std::vector<std::pair<TMenuItem*, QPointer<QAction>>> actions;

  template <class W>
  void Fill(W* widget, TMenuItem& parent) {
    for (auto& up : parent.Items()) {
      TMenuItem& item = *up;
      QAction* action;
      if (item.IsSeparator()) {
        action = widget->addSeparator();
      } else if (item.Count() > 0) {
        QMenu* sub = new QMenu(ToQt(item.Caption()), widget);
        QObject::connect(sub, &QMenu::aboutToShow, sub, [&item] { item.DropDown(); });
        // The hint of the item last pointed at goes with the menu: Qt says
        // nothing when the pointer leaves a closing menu. (The menu closes
        // before a picked item's handler runs, so what that shows stays.)
        QObject::connect(sub, &QMenu::aboutToHide, sub, [] { SetPointedHint(""); });
        Fill(sub, item);
        action = sub->menuAction();
        widget->addAction(action);
      } else {
        action = new QAction(ToQt(item.Caption()), widget);
        widget->addAction(action);
        QObject::connect(action, &QAction::triggered, action, [&item, action] {
          item.Click();
          // The handler decides the tick; Qt toggled its own.
          action->setChecked(item.Checked());
        });
      }
      QObject::connect(action, &QAction::hovered, action, [&item] { item.Highlight(); });
      actions.emplace_back(&item, action);
      Update(item, action);
    }
  }

  static void Update(TMenuItem& item, QAction* action) {
    if (!action || item.IsSeparator()) {
      if (action) action->setVisible(item.Visible());
      return;
    }
    action->setText(ToQt(item.Caption()));
    if (item.Count() == 0) {
      action->setShortcut(QKeySequence(ToQt(item.ShortCut())));
      action->setCheckable(item.Checked() || item.RadioItem());
      action->setChecked(item.Checked());
    }
    action->setEnabled(item.Enabled());
    action->setVisible(item.Visible());
    action->setStatusTip(ToQt(item.Hint()));
  }

  void UpdateItem(TMenuItem* item) {
    for (auto& [i, a] : actions)
      if (i == item) Update(*i, a);
  }
};

// A key about to act as a shortcut of a menu bar's action first drops down
// the menus above the action's item, so a state their handlers set on
// opening (Undo and Redo enabled or not) is current: Qt passes a key by
// when the action is disabled.
class TShortCutPreparer : public QObject {
 public:
  TShortCutPreparer(TMainMenu& menu, QMenuBar* bar,
                    std::vector<std::pair<TMenuItem*, QPointer<QAction>>>& actions)
      : QObject(bar), menu_(menu), bar_(bar), actions_(actions) {
    qApp->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    // Once per key, at the widget it was sent to first.
    if (QApplication::focusWidget() != nullptr && widget != QApplication::focusWidget()) return false;
    if (!bar_->isVisible() || widget->window() != bar_->window()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() >= Qt::Key_Shift && key->key() <= Qt::Key_ScrollLock) return false;
    const QKeySequence pressed(key->keyCombination());
    std::string shortCut;
    for (auto& [item, action] : actions_)
      if (action && !item->ShortCut().empty() && action->shortcut() == pressed) {
        shortCut = item->ShortCut();
        break;
      }
    if (!shortCut.empty()) menu_.PrepareShortCut(shortCut);
    return false;
  }

 private:
  TMainMenu& menu_;
  QMenuBar* bar_;
  std::vector<std::pair<TMenuItem*, QPointer<QAction>>>& actions_;
};

class TQtMainMenuPeer : public TMenuPeer {
 public:
  explicit TQtMainMenuPeer(TMainMenu& menu) : menu_(menu) {}
  ~TQtMainMenuPeer() override { delete bar_.data(); }

  QMenuBar* Bar() {
    if (!bar_) {
      bar_ = new QMenuBar;
      new TShortCutPreparer(menu_, bar_, builder_.actions);
      Rebuild();
    }
    return bar_;
  }
  void Changed(TMenuChange what, TMenuItem* item) override {
    if (!bar_) return;
    if (what == TMenuChange::Structure) Rebuild();
    else builder_.UpdateItem(item);
  }

 private:
  void Rebuild() {
    bar_->clear();
    for (QObject* child : bar_->children())
      if (auto* m = qobject_cast<QMenu*>(child)) m->deleteLater();
    builder_ = TMenuBuilder{};
    builder_.Fill(bar_.data(), menu_.Items());
  }

  TMainMenu& menu_;
  QPointer<QMenuBar> bar_;
  TMenuBuilder builder_;
};

class TQtPopupMenuPeer : public TMenuPeer {
 public:
  explicit TQtPopupMenuPeer(TPopupMenu& menu) : menu_(menu) {}
  ~TQtPopupMenuPeer() override { delete qmenu_.data(); }

  QMenu* Menu() {
    if (!qmenu_) {
      qmenu_ = new QMenu;
      Rebuild();
    }
    return qmenu_;
  }
  void Changed(TMenuChange what, TMenuItem* item) override {
    if (!qmenu_) return;
    if (what == TMenuChange::Structure) Rebuild();
    else builder_.UpdateItem(item);
  }

 private:
  void Rebuild() {
    qmenu_->clear();
    for (QObject* child : qmenu_->children())
      if (auto* m = qobject_cast<QMenu*>(child)) m->deleteLater();
    builder_ = TMenuBuilder{};
    builder_.Fill(qmenu_.data(), menu_.Items());
  }

  TPopupMenu& menu_;
  QPointer<QMenu> qmenu_;
  TMenuBuilder builder_;
};

class TQtMenusBackend : public TMenusBackend {
 public:
  void Popup(TPopupMenu& menu, int x, int y) override { QtPopupMenuOf(menu)->popup(QPoint(x, y)); }
};

}  // namespace

QMenuBar* QtMenuBarOf(TMainMenu& menu) {
  auto* peer = dynamic_cast<TQtMainMenuPeer*>(menu.Peer());
  if (!peer) {
    menu.SetPeer(std::make_unique<TQtMainMenuPeer>(menu));
    peer = static_cast<TQtMainMenuPeer*>(menu.Peer());
  }
  return peer->Bar();
}

QMenu* QtPopupMenuOf(TPopupMenu& menu) {
  auto* peer = dynamic_cast<TQtPopupMenuPeer*>(menu.Peer());
  if (!peer) {
    menu.SetPeer(std::make_unique<TQtPopupMenuPeer>(menu));
    peer = static_cast<TQtPopupMenuPeer*>(menu.Peer());
  }
  return peer->Menu();
}

void InstallQtMenusBackend() {
  static TQtMenusBackend backend;
  SetMenusBackend(&backend);
}
