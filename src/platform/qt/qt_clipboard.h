// The clipboard through QClipboard.
#pragma once

// Makes the system clipboard the program's clipboard (needs the
// QGuiApplication).
void InstallQtClipboardBackend();
