#include "model/editor_state.h"

uint8_t EditorMode = emCad;
uint32_t ActiveLayerMask = 0xFFFFFFFFu;
uint32_t DisplayedLayerMask = 0xFFFFFFFFu;
uint32_t ActiveNCLayerMask = 0xFFFFFFFFu;
uint32_t DisplayedNCLayerMask = 0xFFFFFFFFu;
bool DatabaseModified = false;

void ResetLayerMasks() {
  ActiveLayerMask = DisplayedLayerMask = 0xFFFFFFFFu;
  ActiveNCLayerMask = DisplayedNCLayerMask = 0xFFFFFFFFu;
}

uint8_t LayerOfBit(uint32_t flags) {
  for (uint8_t b = 0; b < 30; ++b)
    if (flags & (1u << b)) return b;
  return 30;
}

std::string DatabaseFileName;
TIndexedArray<std::string, kFirstRoutLayer, 5> RoutLayerFileNames;
