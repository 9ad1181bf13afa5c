// The rubber bands of the argument commands drawn with RubberPaint: the
// kinds of TBandKind over the command's points and the pointer.
#pragma once
#include <vector>

#include "command/argument_command.h"

// Draws the band with the exclusive-or pen; drawing it again takes it off.
void DrawCommandBand(TBandKind kind, const std::vector<TIntPoint>& points);
