// File writes of the headless backend: a save can be made to fail on demand,
// as a full disk would fail it.
#pragma once
#include <cerrno>
#include <cstdint>

// From now on the writes of replacing files fail with the error once
// afterBytes more bytes were written; a negative count writes normally
// again.
void HeadlessFailWritesAfter(int64_t afterBytes, int error = ENOSPC);
