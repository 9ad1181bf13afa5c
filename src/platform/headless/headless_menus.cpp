// The headless menus backend.
#include "platform/headless/headless_menus.h"

namespace {

TPopupMenu* lastPopup = nullptr;
TPoint lastPoint;

class THeadlessMenusBackend : public TMenusBackend {
 public:
  void Popup(TPopupMenu& menu, int x, int y) override {
    lastPopup = &menu;
    lastPoint = TPoint{x, y};
  }
};

}  // namespace

TMenusBackend& HeadlessMenusBackend() {
  static THeadlessMenusBackend backend;
  return backend;
}

TPopupMenu* LastPopupMenu() { return lastPopup; }
TPoint LastPopupPoint() { return lastPoint; }

void ResetHeadlessMenus() {
  lastPopup = nullptr;
  lastPoint = TPoint{};
}

void HeadlessForgetPopup(TPopupMenu& menu) {
  if (lastPopup == &menu) lastPopup = nullptr;
}
