// A redraw's drill holes drawn band by band of picture rows.
//
// The holes of a panel land at random places all over the screen picture,
// tens of megabytes, so that drawing them in store order misses the cache
// at nearly every stroke. Drawn band after band of rows instead, each band
// with the canvas clipped to it, the band's memory stays in the cache while
// its holes are drawn. Within a band the holes keep their drawing order and
// every hole draws exactly its own pixels that fall in the band (a hole
// reaching into two bands is drawn in both), so each pixel ends as the last
// hole over it left it: the picture is the one drawing the lists in order
// gives. The pen (colour and position) is left as that order leaves it.
#pragma once
#include <cstdint>
#include <vector>

class TDrawingBase;
class TDrillEntity;
class TProgressiveCopy;

// Draws the lists (list k holding entities of drill layer firstLayer + k, in
// drawing order) on the surface as e->Draw(layer) for each entity of each
// list in turn would, with one copy.Tick() per entity, when the surface is
// the screen picture of width x height pixels, its canvas unclipped, holes
// are shown as pixels or symbols and every entity is a hole without step
// copies. Otherwise draws nothing and answers false.
bool DrawHolesInRowBands(const std::vector<TDrillEntity*>* lists, int listCount, uint8_t firstLayer,
                         TDrawingBase& surface, int32_t width, int32_t height, TProgressiveCopy& copy);
