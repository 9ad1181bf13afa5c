// What the CAD, rout and drill databases have in common, so that the
// database of the current editor mode (ActiveDB) is called without knowing
// the mode: compaction, clearing, deleting a layer and redrawing.
#pragma once
#include <cstdint>

class TJobDatabase {
 public:
  virtual ~TJobDatabase() = default;
  // Drops deleted slots and renumbers the rest; the database's journal
  // starts afresh, since its indices no longer name the same entities.
  virtual void Compact() = 0;
  // Frees every entity and empties the store.
  virtual void Clear() = 0;
  // Removes the entities of one of the database's layers.
  virtual void DeleteLayer(uint8_t layer) = 0;
  // Redraws the database's part of the screen picture; the rout database
  // passes the flag on to the drawing of the step copies.
  virtual void Redraw(uint8_t flag) = 0;
};
