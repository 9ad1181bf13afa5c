// The headless menus backend: a popup only records itself; tests then
// choose its items with ClickMenu.
#pragma once
#include "platform/menus.h"
#include "platform/types.h"

TMenusBackend& HeadlessMenusBackend();

// The popup menu shown last and where (null when none since the reset).
TPopupMenu* LastPopupMenu();
TPoint LastPopupPoint();
void ResetHeadlessMenus();
// A popup menu that goes away is forgotten.
void HeadlessForgetPopup(TPopupMenu& menu);
