#pragma once

// Routes the Qt application's key events through the application message
// hook (WM_KEYDOWN and WM_CHAR for a press, WM_KEYUP for a release).
void InstallQtAppMessagesBackend();

// The virtual key code of a Qt key (0 when it has none).
unsigned QtKeyToVirtualKey(int qtKey);
