// File writes of the headless backend: a save can be made to fail on demand,
// as a full disk would fail it.
#pragma once
#include <cerrno>
#include <cstdint>

// From now on the writes of replacing files fail with the error once
// afterBytes more bytes were written; a negative count writes normally
// again.
void HeadlessFailWritesAfter(int64_t afterBytes, int error = ENOSPC);

// From now on a replacing file's rename into place fails with the error, as
// a full file system may fail it; 0 renames normally again.
void HeadlessFailRenames(int error);
