// The Qt menus backend: a main menu becomes a QMenuBar of QMenus and
// QActions, a popup menu a QMenu. Choosing an action clicks its item, a menu
// about to show drops its item down, hovering an action sets the
// application's hint.
#pragma once

class QMenu;
class QMenuBar;
class TMainMenu;
class TPopupMenu;

void InstallQtMenusBackend();

// The menu bar showing a main menu (built on first use; owned by the menu,
// or by the window it is placed in).
QMenuBar* QtMenuBarOf(TMainMenu& menu);
// The QMenu of a popup menu (built on first use).
QMenu* QtPopupMenuOf(TPopupMenu& menu);
