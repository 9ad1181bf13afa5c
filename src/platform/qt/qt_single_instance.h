// Single instance across processes: a lock file held with flock in the
// runtime folder, and a local socket beside it through which a later
// instance asks the holder to raise its window.
#pragma once
#include <string>

// $XDG_RUNTIME_DIR when it names a folder, else /tmp.
std::string SingleInstanceRuntimeDir();

// Where the lock file ("<base>.lock") and the socket ("<base>.sock") of a
// name live: the runtime folder, the name made safe for a file name, and the
// user id (so that users sharing /tmp do not meet).
std::string SingleInstanceBasePath(const std::string& name);

// Installs the cross-process backend (needs the QCoreApplication; the raise
// handler runs from its event loop).
void InstallQtSingleInstanceBackend();
