// The application-wide message hook: a dialog that wants the keyboard stream
// of the whole program installs a hook and sees every key message before the
// focused control does.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/keys.h"

constexpr uint32_t WM_KEYDOWN = 256;
constexpr uint32_t WM_KEYUP = 257;
constexpr uint32_t WM_CHAR = 258;


struct TMessage {
  uintptr_t Window = 0;  // the window the message is for (0: not known)
  uint32_t Msg = 0;
  uintptr_t WParam = 0;  // key messages: virtual key code, or the character for WM_CHAR
  intptr_t LParam = 0;
};

// Returns the hook that was installed before (may be empty). A hook sets
// Handled to stop the message from reaching its window.
using TMessageHook = std::function<void(TMessage& msg, bool& handled)>;
TMessageHook SetApplicationMessageHook(TMessageHook hook);

// Called by the backends for each key message before dispatching it; true
// when the hook handled it.
bool DispatchApplicationMessage(TMessage& msg);
