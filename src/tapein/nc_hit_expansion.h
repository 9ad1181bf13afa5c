// Expansion of the reader's drilled slots, circles and texts into single hits
// for consumers that only take hits. Every value is in the consumer's units
// (internal units divided by the reader's divisor); the divisor scales the
// built-in default hit size and the cusp limit.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Receives one hit; travel tells whether the hit counts toward the tool's
// travel (the hits of a short slot do not). False ends the expansion: a
// reading that stopped takes no more of its hits.
using TExpandedHitSink = std::function<bool(int32_t x, int32_t y, bool travel)>;

// Hit size standing in for a missing one (1/8 inch) and the largest ridge
// left between neighbouring hits (0.0005 inch), internal units.
constexpr int32_t kReaderDefaultHitSize = 3175000;
constexpr double kReaderCuspLimit = 12700.0;

// A G85 slot from (x0, y0) to (x1, y1) drilled with hits of the given size.
void ExpandSlotHits(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size,
                    int32_t divisor, const TExpandedHitSink& hit);

// A G84 circle of the given diameter about (x, y), cut by hits of the given
// size, starting straight above the centre.
void ExpandCircleHits(int32_t x, int32_t y, int32_t size, int32_t diameter, int32_t divisor,
                      const TExpandedHitSink& hit);

// An M97/M98 text as 5x7 dot-matrix hits relative to the text origin; the
// dot pitch is 1.2 x size (size 0 or less: the built-in pitch). orientation
// is the reader's axis version, applied to every dot.
void ExpandTextHits(const std::string& text, int32_t size, bool vertical, uint8_t orientation,
                    const std::function<void(int32_t dx, int32_t dy)>& dot);
