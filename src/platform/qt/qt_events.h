// The Qt events backend: QTimer for timers, QElapsedTimer for the tick
// count, the system clock for the local time, and the application's event
// loop for ProcessMessages.
#pragma once

void InstallQtEventsBackend();
