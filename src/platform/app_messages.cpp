#include "platform/app_messages.h"

namespace {
TMessageHook& CurrentHook() {
  static TMessageHook hook;
  return hook;
}
}  // namespace

TMessageHook SetApplicationMessageHook(TMessageHook hook) {
  TMessageHook previous = std::move(CurrentHook());
  CurrentHook() = std::move(hook);
  return previous;
}

bool DispatchApplicationMessage(TMessage& msg) {
  // Copy: a hook may replace itself while it runs.
  TMessageHook hook = CurrentHook();
  if (!hook) return false;
  bool handled = false;
  hook(msg, handled);
  return handled;
}
