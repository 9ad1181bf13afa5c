// Internal helpers of the clean-up passes (not for other subsystems).
#pragma once
#include <cstdint>
#include <string>

#include "edit/cleanup_passes.h"
#include "foundation/geometry.h"

class TRootDBObject;

// The entity of the slot when its word equals layerBit exactly, else null
// (also for an index outside 1..CadEntityCount).
TRootDBObject* LayerEntity(int32_t index, uint32_t layerBit);
// Its type code, 0 when it does not take part.
uint8_t LayerEntityType(int32_t index, uint32_t layerBit);
// First and second end point (line ends, arc start and end).
void EntityEnds(TRootDBObject* entity, TIntPoint& first, TIntPoint& second);
// One status update: cancelled becomes true once the box's Cancel was
// pressed. At most every 500 ms the update counts as a redraw and the message
// loop runs once, so that Cancel can be pressed. Returns whether it did.
bool CleanupStatus(const std::string& text, int32_t percent, bool& cancelled);
// The CAD entity's duplicate key and duplicate test.
uint16_t CadHashKey(TRootDBObject* entity);
bool CadIsDuplicate(TRootDBObject* entity, TRootDBObject* other);
// Starts the next clean-up's status clock afresh: its first update lets
// the message loop run.
void ResetCleanupStatusClock();
// The status box redraws at most this often (ms).
constexpr uint32_t StatusRedrawInterval = 500;
