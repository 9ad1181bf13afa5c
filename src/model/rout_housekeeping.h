// Whole-database housekeeping of the rout database beside Clear and
// DeleteLayer: the emptiness test of a rout layer and the sharing of equal
// step-and-repeat lists after a rout tape import.
#pragma once
#include <cstdint>

class TStepObject;

// True when no live entity of the rout store lies on the layer; true for an
// empty store. Deleted entities waiting for the next Compact (a Layer Erase
// leaves its slots so) are not counted: the layer holds nothing to write.
bool RoutLayerEmpty(uint8_t layer);

// True when the two chains have the same number of levels and each level's
// command list has the same length with equal commands; two pattern marks
// count as equal whatever their counts. False when either is nullptr.
bool SameStepLists(TStepObject* a, TStepObject* b);

// Most pairs one sharing run makes.
constexpr int32_t kMaxStepListPairs = 1000;

// Gives entities with equal step lists one object: the step objects of the
// active drill entities and of the jogs, circles and holes of rout layers
// 40..44 (in cut order) are listed once each; each listed object is paired
// with the first later-or-earlier listed object equal to it (at most
// kMaxStepListPairs pairs), and every entity holding the first of a pair is
// moved to the second. Every listed object is held for the whole run, so an
// object that loses its last entity is released only when nothing can
// reach it any more. Returns the number of pairs made.
int32_t ShareIdenticalStepLists();
