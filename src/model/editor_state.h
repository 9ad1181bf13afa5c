// The editor and layer state of the job that every draw, pick and tape
// writer filters on: the editor mode, the four layer masks, the modified
// flag and the job's file names.
#pragma once
#include <cstdint>
#include <string>

#include "model/tool_tables.h"
#include "platform/types.h"

// 0 drill editing, 1 rout editing, 2 CAD.
enum : uint8_t { emDrill = 0, emRout = 1, emCad = 2 };
extern uint8_t EditorMode;
// Layer masks: bit n for CAD layer n (0..29), bit (n - 30) for layers 30..44;
// all ones at start, bit 31 always set.
extern uint32_t ActiveLayerMask;
extern uint32_t DisplayedLayerMask;
extern uint32_t ActiveNCLayerMask;
extern uint32_t DisplayedNCLayerMask;
// Sets all four masks to all ones.
void ResetLayerMasks();
// The colour of entities outside the editor mode of their group (silver).
constexpr TColor DimColor = 0x00C0C0C0;
// Set by every entity construction; cleared when the job is saved or loaded.
extern bool DatabaseModified;

// The lowest set bit among bits 0..29 of a layer word; 30 when none is.
uint8_t LayerOfBit(uint32_t flags);

// The job file's name; empty for a new job.
extern std::string DatabaseFileName;
// The rout tape file name of each rout layer 40..44 (emptied when a job is
// opened).
extern TIndexedArray<std::string, kFirstRoutLayer, 5> RoutLayerFileNames;
