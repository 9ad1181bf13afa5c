#pragma once

// Installs every Qt implementation of the platform layer. Needs the
// QApplication to exist.
void InstallQtBackend();
