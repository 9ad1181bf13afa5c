// An import as one transaction: what a file brings into the job stays only
// when the import commits it. Taken back (a refusal, a withdrawal, an import
// that brought nothing) the job is exactly as the transaction found it:
//   - every store (CAD, drill, rout) cut back to the slots it held, the
//     entities added freed and their pages given back, so the room of the
//     store is what it was (not merely the entities flagged deleted);
//   - the undo journals back at their end: no new step, and nothing of the
//     import offered to redo;
//   - the drill tool table and active tools, the current drill tool, the
//     main part and its origin, the rout tool pages and layer tools, the
//     rout path states and insertion points, the layer names and the
//     layers shown;
//   - the job's name, the caption and the modified flags (the job's and
//     each rout layer's).
// Every import entry (File > Import, Drill Import) opens one before it runs
// its reader, so a reader or limit added later is taken back with the rest.
//
// Transactions nest: one opened while another is open is a point within it
// (an importer taking back its own part); only the outermost closes the undo
// step of what it commits ("Import file").
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

class TImportTransaction {
 public:
  TImportTransaction();
  // Takes back what was not committed.
  ~TImportTransaction();
  TImportTransaction(const TImportTransaction&) = delete;
  TImportTransaction& operator=(const TImportTransaction&) = delete;

  // True when a store holds more slots than when the transaction began.
  bool Added() const;
  // The import stays. The outermost transaction closes the records the
  // import left open in a journal as one step, "Import file".
  void Commit();
  // Puts the job back as it was when the transaction began (once; a
  // committed transaction takes nothing back).
  void TakeBack();
  // Puts the drill side alone back as the transaction found it, the rest of
  // the import staying open: the drill store cut back with its room, the
  // drill journal at its mark (no step, the steps to redo as they were), the
  // drill tool table, active tools and current tool, and the drill layers'
  // names. For an importer that refuses the holes it read and keeps the
  // rest of what it read.
  void TakeBackDrill();
  bool Open() const { return open_; }
  // The job the transaction was taken on is gone (the program ends): it
  // closes with nothing taken back.
  void Drop() { open_ = false; }

 private:
  struct TState;
  std::unique_ptr<TState> state_;
  bool open_ = true;
  bool outermost_ = false;
};
