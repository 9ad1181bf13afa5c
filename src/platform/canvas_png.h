// A small PNG writer for pictures held as $00BBGGRR pixels (no compression
// library needed: the image data is stored in uncompressed deflate blocks).
#pragma once
#include <string>
#include <vector>

#include "platform/types.h"

// Writes an 8-bit RGB PNG of width x height pixels (row by row from the top)
// through a temporary file renamed over path. False when the file cannot be
// written or the pixel count does not match.
bool WritePngFile(const std::string& path, int width, int height, const std::vector<TColor>& pixels);
