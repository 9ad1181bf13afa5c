// The cut-sequence store Seq: for each rout layer 40 to 44 the order in which
// the router cuts its entities, as a list of rout store indices (handles).
//
// The rout store keeps entities in creation order; every walk that must visit
// them in cutting order (display, tape output, export, job save, path
// commands) goes through these lists. A path is a run of a list that begins
// with a jog (5) or a circle (9) and goes on with lines and arcs (6, 7, 8) up
// to the next jog or circle; holes (10) and commands (11) stand between
// paths.
//
// An entity is visible when its slot word AND DisplayedNCLayerMask is above
// zero as a signed value (a deleted slot is therefore invisible); a path
// entity is a visible entity that is neither a hole nor a command. Deleted
// entities stay in the lists until the rout database is compacted.
//
// Seq also keeps an undo and a redo log of whole layer lists, so that the
// commands that reorder a layer can be undone through the rout journal:
//   UNDOSEQ.LOG: a stack of saved lists, each its handles in order; the
//     count and layer of each are journalled (a change record whose index
//     carries the count and whose flag byte carries the layer).
//   REDOSEQ.LOG: a stack of lists, each its handles followed by one record
//     holding the position at which the list begins.
// Both are files of 4-byte little-endian signed records in the program's own
// folder; positions are 1-based record numbers. They live only while the
// program runs.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "model/tool_tables.h"  // kFirstRoutLayer, kLastRoutLayer

// What the sequence store needs of the rout database and its journal. The
// rout database installs itself; with nothing installed, the last point is
// not kept and sequence saves are not journalled.
class TSequenceHost {
 public:
  virtual ~TSequenceHost() = default;
  // The rout database's last point of the layer (TRoutDatabase.SetLastPoint).
  virtual void SetLastPoint(int32_t x, int32_t y, uint8_t layer) = 0;
  // Journals a saved layer list in the rout journal (RoutUndo.RecordChange
  // with the count in the index field and the layer in the flag byte).
  virtual void RecordSequenceSave(int32_t count, uint8_t layer) = 0;
};
// Installs the host (not owned); nullptr removes it. Returns the previous one.
TSequenceHost* SetSequenceHost(TSequenceHost* host);
TSequenceHost* SequenceHost();

class TSequenceStore {
 public:
  static constexpr int32_t Capacity = 100000;  // handles per layer list
  static constexpr int32_t NoHandle = 2147483647;
  // The message of a list or log that cannot take more handles.
  static constexpr const char* FullMessage = "Rout sequence list is full (100,000 entries).";

  // Logs named ExecutionPath + "UNDOSEQ.LOG" / "REDOSEQ.LOG", both erased when
  // they exist, positions 1; every list empty with read cursor and insertion
  // point 1. A log that exists and cannot be erased throws std::system_error.
  TSequenceStore();
  // Erases REDOSEQ.LOG, then UNDOSEQ.LOG (failures ignored).
  virtual ~TSequenceStore();
  TSequenceStore(const TSequenceStore&) = delete;
  TSequenceStore& operator=(const TSequenceStore&) = delete;

  // The jog or circle that begins the path holding the handle (a jog,
  // circle or hole answers itself). Shows "DataBase error.  Jog missing from
  // sequence." and gives 0 when none precedes it. The read cursor of the
  // layer is kept.
  virtual int32_t FindPathJog(int32_t handle);

  // List position of the handle and its layer (layers 40..44 in order, first
  // match); 0 and layer 0 when absent.
  int32_t FindHandle(int32_t handle, uint8_t& layer) const;
  uint8_t LayerOf(int32_t handle) const;
  // True when no handle stands in the lists twice. False may also mean a
  // handle the lookups cannot index (below 1 or very high).
  bool HandlesDistinct() const;
  // True when b is NoHandle; else false when a is NoHandle; else position of
  // a < position of b (positions compared whatever their layers; absent 0).
  bool IsBefore(int32_t a, int32_t b) const;

  void ClearLayer(uint8_t layer);
  void SetInsertAtStart(uint8_t layer);
  // Insertion point at the end; the rout database's last point of the layer
  // becomes the origin at the layer's start, else the point of the path
  // entity before the insertion point.
  void SetInsertAtEnd(uint8_t layer);
  // The next handle goes just before the next visible handle after h; true
  // when there is one, else at the end of h's layer and false.
  bool SetInsertAfter(int32_t handle);
  // The next handle goes before the first path entity at or after h; true
  // when there is one, else at the end of h's layer and false.
  bool SetInsertBefore(int32_t handle);
  // Inserts at the insertion point (later handles move up) and advances the
  // insertion point. False, with a message and nothing changed, when the
  // list is full or the layer is not a rout layer.
  bool InsertHandle(uint8_t layer, int32_t handle);
  // The same without advancing the insertion point.
  bool InsertHandleKeepPoint(uint8_t layer, int32_t handle);
  // Takes the handle out of its list (later handles move down; the freed last
  // place becomes 0). A handle in no list changes nothing.
  void RemoveHandle(int32_t handle);
  // Takes every handle from first on out of every list, in one pass.
  void RemoveHandlesFrom(int32_t first);
  // RemoveHandle, then every handle above it in every list goes down by one
  // (after a compaction removed its slot).
  void DeleteHandleRenumber(int32_t handle);
  // The same as DeleteHandleRenumber for each of the store's slots that a
  // compaction dropped (given in rising order of their old handles), in one
  // pass over the lists.
  void DropHandlesRenumber(const std::vector<int32_t>& dropped);

  // A watch over the entities' slot words. While one is open, whoever
  // changes the slot word of a listed entity reports it (VisibilityChanged),
  // and the walks step over hidden entries with a bit map per layer instead
  // of testing them one by one: replaying n entities in a row costs n, not
  // n squared. Watches nest; the maps are dropped when the last one ends.
  void BeginVisibilityWatch();
  void EndVisibilityWatch();
  // The handle's slot word changed (nothing when no watch is open).
  void VisibilityChanged(int32_t handle);

  // Read cursors: each layer's cursor to its first visible handle.
  void RewindAll();
  // Cursor of the handle's layer to the handle, then on to the first visible
  // one at or after it; true. Handle 0: RewindAll and false; a handle in no
  // list: false.
  bool SeekHandle(int32_t handle);
  // The path entity at or after the read cursor (0 at the end); the cursor is
  // left on the path entity after it.
  int32_t NextPathEntity(uint8_t layer);
  // The same for any visible entity.
  int32_t NextVisible(uint8_t layer);
  // Back to the previous path entity and returns it; 0 at the start.
  int32_t PrevPathEntity(uint8_t layer);
  // Cursor := insertion point; true when no path entity comes before it.
  bool AtLayerStart(uint8_t layer);
  // Cursor := insertion point; the path entity before it, or
  // RoutEntityCount + 1 when none.
  int32_t EntityBeforeInsert(uint8_t layer);

  // Both positions 1; UNDOSEQ.LOG, then REDOSEQ.LOG, erased when they exist
  // (a failure throws std::system_error). A store that opened neither since
  // they were last erased leaves the folder alone.
  void ResetLogs();
  // Pushes the layer's list onto the undo log and journals it. The position
  // moves only when the whole list was written; false on an I/O error (with
  // nothing journalled) or a full log (with a message).
  bool SaveUndoLayer(uint8_t layer);
  // Pops a list of count handles from the undo log into the layer. The list
  // is replaced and the position moved only when the whole list was read;
  // false otherwise (a count outside 0..Capacity or beyond the log's
  // position is refused).
  bool LoadUndoLayer(uint8_t layer, int32_t count);
  // Undo position += n.
  void AdvanceUndoPos(int32_t n);
  // Pushes the layer's list and its start position onto the redo log.
  bool SaveRedoLayer(uint8_t layer);
  // Pops the top list of the redo log into the layer; the list and the
  // position change only when the record is sound and was read whole.
  bool LoadRedoLayer(uint8_t layer);

  // ---- State ----
  int32_t Count(uint8_t layer) const { return Layers_[Slot(layer)].Count; }
  // The handle at a 1-based list position (0 outside 1..Capacity).
  int32_t HandleAt(uint8_t layer, int32_t position) const;
  int32_t ReadCursor(uint8_t layer) const { return Layers_[Slot(layer)].Cursor; }
  void SetReadCursor(uint8_t layer, int32_t position) { Layers_[Slot(layer)].Cursor = position; }
  int32_t InsertPoint(uint8_t layer) const { return Layers_[Slot(layer)].Insert; }
  // Puts the insertion point back at a list position (limited to 1..Count + 1).
  void SetInsertPoint(uint8_t layer, int32_t position) {
    Layers_[Slot(layer)].Insert = std::clamp(position, 1, Count(layer) + 1);
  }
  int32_t UndoPos() const { return UndoPos_; }
  int32_t RedoPos() const { return RedoPos_; }
  const std::string& UndoFileName() const { return UndoFileName_; }
  const std::string& RedoFileName() const { return RedoFileName_; }

 private:
  // The handles with a gap of Capacity - Count free places after the first
  // Gap of them. The gap goes where the list changes, so a run of insertions
  // at an advancing insertion point, or of removals in list order, moves each
  // handle at most once, not once per change.
  struct TLayerList {
    std::unique_ptr<int32_t[]> Handles;  // Capacity entries
    int32_t Count = 0;
    int32_t Cursor = 1;
    int32_t Insert = 1;
    mutable int32_t Gap = 0;  // 0..Count
    // The handle at position p (1..Count).
    int32_t At(int32_t p) const { return Handles[size_t(p - 1 < Gap ? p - 1 : p - 1 + Capacity - Count)]; }
    // Moves the gap to begin after the first `to` handles (0..Count).
    void MoveGap(int32_t to) const;
    // The handles in order from [0], the gap moved to the end.
    int32_t* Packed() const {
      MoveGap(Count);
      return Handles.get();
    }
  };
  // The list of a layer; a layer outside 40..44 throws std::out_of_range.
  static std::size_t Slot(uint8_t layer);
  TLayerList& List(uint8_t layer) { return Layers_[Slot(layer)]; }
  const TLayerList& List(uint8_t layer) const { return Layers_[Slot(layer)]; }
  bool IsVisible(int32_t handle) const;
  bool IsPathEntity(int32_t handle) const;
  uint8_t TypeOf(int32_t handle) const;
  // The first position at or after the given one whose handle is visible
  // (pathOnly: a path entity); Count + 1 when none. A position beyond the
  // list is given back as it is.
  int32_t SkipHidden(uint8_t layer, int32_t position, bool pathOnly) const;
  // The entry at or after the cursor that passes the test, and the cursor on
  // to the next one that does.
  int32_t NextMatching(uint8_t layer, bool pathOnly);
  bool Insert(uint8_t layer, int32_t handle, bool advance);
  // Removes the handle; false when it is in no list.
  bool Remove(int32_t handle);
  // Log I/O: whole runs of records at a 1-based record number.
  bool WriteRecords(const std::string& name, int32_t position, const int32_t* values,
                    int32_t count);
  bool ReadRecords(const std::string& name, int32_t position, int32_t* values, int32_t count);

  // Where each handle stands, so lookups need not scan the lists. Rebuilt on
  // the next lookup after a list is replaced or cleared, and given up
  // (lookups scan again) while a handle is in the lists twice or lies outside
  // 1..MaxIndexedHandle. Every listed handle's entry names its layer; the
  // handles at positions up to Clean_ of the layer have exact entries (a
  // handle beyond may have a stale one pointing anywhere), and an insertion or
  // removal only moves that mark back: the lookup of a handle beyond it
  // brings the entries up to date as far as the handle. So a run of n
  // insertions or removals in the middle of a list re-indexes it once, not n
  // times.
  static constexpr int32_t MaxIndexedHandle = 1 << 23;
  struct TWhere {
    int32_t Position = 0;  // 0: in no list
    uint8_t Layer = 0;
  };
  enum class TIndexState : uint8_t { Stale, Valid, Unusable };
  void RebuildIndex() const;
  void IndexInserted(uint8_t layer, int32_t handle, int32_t at);
  void IndexRemoved(uint8_t layer, int32_t handle, int32_t position);
  void MarkIndexStale() {
    Where_.clear();
    Index_ = TIndexState::Stale;
  }
  int32_t ScanForHandle(int32_t handle, uint8_t& layer) const;
  mutable std::vector<TWhere> Where_;  // by handle
  mutable TIndexState Index_ = TIndexState::Stale;
  mutable std::array<int32_t, 5> Clean_{};  // per layer: positions 1..Clean_ indexed exactly

  // Per layer while a watch is open: bit p - 1 of Visible (Path) tells
  // whether the entry at position p is visible (a path entity); bit w of the
  // Any maps whether word w has a bit set. Built on the first walk, dropped
  // when the list changes.
  struct TSkipMap {
    bool Valid = false;
    std::vector<uint64_t> Visible, VisibleAny, Path, PathAny;
  };
  // The layer's map, built when needed; nullptr when no watch is open.
  const TSkipMap* SkipMapOf(uint8_t layer) const;
  void ListChanged(uint8_t layer) { Skips_[Slot(layer)].Valid = false; }
  void ListsChanged() {
    for (TSkipMap& map : Skips_) map.Valid = false;
  }
  int32_t Watches_ = 0;
  mutable uint32_t SkipMask_ = 0;  // the displayed layers the maps were built for
  mutable std::array<TSkipMap, 5> Skips_;

  int32_t UndoPos_ = 1;
  std::string UndoFileName_;
  int32_t RedoPos_ = 1;
  std::string RedoFileName_;
  // A log was opened since the logs were last erased: only then can there
  // be one to erase.
  bool LogsOpened_ = false;
  std::array<TLayerList, 5> Layers_;
};

// Keeps a visibility watch open on the store (when there is one) for its
// lifetime.
class TVisibilityWatch {
 public:
  explicit TVisibilityWatch(TSequenceStore* store) : Store_(store) {
    if (Store_ != nullptr) Store_->BeginVisibilityWatch();
  }
  ~TVisibilityWatch() {
    if (Store_ != nullptr) Store_->EndVisibilityWatch();
  }
  TVisibilityWatch(const TVisibilityWatch&) = delete;
  TVisibilityWatch& operator=(const TVisibilityWatch&) = delete;

 private:
  TSequenceStore* Store_;
};

// The global cut-sequence store, created last of the global objects.
extern TSequenceStore* Seq;
