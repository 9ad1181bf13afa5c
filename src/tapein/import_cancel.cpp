#include "tapein/import_cancel.h"

#include <utility>

#include "platform/events.h"
#include "model/view_services.h"

namespace {
constexpr uint32_t kShowAfterMs = 1000;
constexpr uint32_t kAskEveryMs = 100;
}  // namespace

TImportCancel::TImportCancel(std::string text)
    : Text_(std::move(text)), Start_(GetTickCount()), LookTick_(Start_) {}

TImportCancel::~TImportCancel() {
  if (Open_) ViewServices().CloseStatus();
}

bool TImportCancel::Cancelled(int32_t percent) {
  if (Cancelled_) return true;
  const uint32_t now = GetTickCount();
  // The look ends here: the time until the next one counts from now, after
  // the events were let through.
  LookTick_ = now;
  if (!Open_) {
    if (now - Start_ < kShowAfterMs) return false;
    ViewServices().OpenStatus(Text_);
    Open_ = true;
  } else if (now - LastAsk_ < kAskEveryMs) {
    return false;
  }
  LastAsk_ = now;
  bool cancelled = false;
  ViewServices().UpdateStatus(Text_, percent, cancelled);
  Cancelled_ = cancelled;
  return Cancelled_;
}

bool TImportCancel::TimeToLookAtClock(int64_t work) {
  if (work - LookWork_ < kLookEveryWork) {
    // The asks reached kClockEveryAsks.
    AsksSinceClock_ = 0;
    if (GetTickCount() - LookTick_ < kLookEveryMs) return false;
  }
  LookWork_ = work;
  AsksSinceClock_ = 0;
  return true;
}
