// Counts of the live entities of the job, by program layer, for the tests
// that compare what an import or a reopened job holds.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/drill_database.h"
#include "model/entity_store.h"

// Live CAD entities per layer and type ("5:L" lines on layer 5, "5:A", "5:C", "5:P").
inline std::map<std::string, int> CadCounts() {
  std::map<std::string, int> out;
  for (int32_t i = 1; i <= CadEntityCount; ++i) {
    const uint32_t flags = DB->SlotAt(i)->Flags;
    if (flags == 0 || SlotDeleted(flags)) continue;
    int layer = 0;
    while (layer < 30 && (flags & (1u << layer)) == 0) ++layer;
    static const char kinds[] = "?PLAC";
    const uint8_t type = DB->EntityAt(i)->GetType();
    ++out[std::to_string(layer) + ":" + kinds[type <= 4 ? type : 0]];
  }
  return out;
}

// Live drill holes per drill layer (30..39).
inline std::map<int, int> HoleCounts() {
  std::map<int, int> out;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    const uint32_t word = DRDB->WordAt(i);
    if (word == 0 || SlotDeleted(word)) continue;
    int layer = 0;
    while (layer < 10 && (word & (1u << layer)) == 0) ++layer;
    ++out[30 + layer];
  }
  return out;
}

// Where the live drill entities are, as (x, y) in database units.
inline std::multiset<std::pair<int32_t, int32_t>> LiveDrillPositions() {
  std::multiset<std::pair<int32_t, int32_t>> at;
  for (int32_t i = 1; i <= DrillEntityCount; ++i) {
    const uint32_t word = DRDB->WordAt(i);
    if (word == 0 || SlotDeleted(word)) continue;
    TIntPoint p;
    DRDB->EntityAt(i)->GetPoint(p);
    at.insert({p.X, p.Y});
  }
  return at;
}
