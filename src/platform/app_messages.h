// The application-wide message hook: a dialog that wants the keyboard stream
// of the whole program installs a hook and sees every key message before the
// focused control does.
#pragma once
#include <cstdint>
#include <functional>

constexpr uint32_t WM_KEYDOWN = 256;
constexpr uint32_t WM_KEYUP = 257;
constexpr uint32_t WM_CHAR = 258;

// Virtual key codes of the keys the program's dialogs look at.
constexpr uint32_t VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
                   VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23,
                   VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
                   VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_F1 = 0x70;

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
