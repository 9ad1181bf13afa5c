// The seam between the NC tape reader and the contour offset engine of the
// rout path generation: the reader hands two move records (the held move and
// its successor) and receives their offset path. Until an engine is
// installed the seam passes the records through unchanged, so compensated
// moves are read as programmed; OffsetContour then answers false, and the
// reader says so in its notices.
#pragma once
#include <cstdint>
#include <functional>

#include "tapein/nc_reader.h"

// Room for output records of one offset call.
inline constexpr int32_t MaxOffsetRecords = 4;

// in[0..count-1] are the input records; the engine writes its output into
// out[0..MaxOffsetRecords-1] and sets count to the number written: first the
// offset of in[0], last the offset of the last input record. radius is in
// internal units, side true for the mirrored side, tolerance the tape's
// decimal resolution (10 to the power of its decimal digits).
using TOffsetContourEngine = std::function<void(TNCMove* out, int32_t& count, const TNCMove* in,
                                                int32_t radius, bool side, double tolerance)>;

// Installs the engine; an empty one restores the pass-through.
void SetOffsetContourEngine(TOffsetContourEngine engine);
bool OffsetContourEngineInstalled();

// Runs the installed engine, or copies in to out when there is none
// (answering false). The count returned is limited to 0..MaxOffsetRecords.
bool OffsetContour(TNCMove* out, int32_t& count, const TNCMove* in, int32_t radius, bool side,
                   double tolerance);
