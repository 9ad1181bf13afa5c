#include "model/rout_sequence.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "foundation/byte_order.h"
#include "foundation/file_utils.h"
#include "model/entity_store.h"
#include "model/root_entity.h"
#include "model/rout_entities.h"
#include "model/view_services.h"
#include "platform/message_box.h"
#include "platform/paths.h"

TSequenceStore* Seq = nullptr;

namespace {

TSequenceHost* Host = nullptr;

constexpr int32_t kRecordSize = 4;

// Erases the log when it exists; a failure is a run-time I/O error.
void EraseLog(const std::string& name) {
  if (!FileExistsNoWild(name)) return;
  if (::unlink(NativePath(name).c_str()) != 0 && errno != ENOENT)
    throw std::system_error(errno, std::generic_category(), "erasing " + name);
}

// An open log file, closed on every path out.
class TLogFile {
 public:
  explicit TLogFile(const std::string& name)
      : Fd_(::open(NativePath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {}
  ~TLogFile() {
    if (Fd_ >= 0) ::close(Fd_);
  }
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;
  bool IsOpen() const { return Fd_ >= 0; }
  // Whole transfers at a byte offset; false on an error or a short transfer.
  bool WriteAt(off_t offset, const uint8_t* bytes, size_t size) {
    while (size > 0) {
      ssize_t n = ::pwrite(Fd_, bytes, size, offset);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes += n;
      size -= size_t(n);
      offset += n;
    }
    return true;
  }
  bool ReadAt(off_t offset, uint8_t* bytes, size_t size) {
    while (size > 0) {
      ssize_t n = ::pread(Fd_, bytes, size, offset);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes += n;
      size -= size_t(n);
      offset += n;
    }
    return true;
  }
  // Flushes and closes; false when closing reported an error.
  bool Close() {
    int fd = Fd_;
    Fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int Fd_;
};

}  // namespace

TSequenceHost* SetSequenceHost(TSequenceHost* host) {
  TSequenceHost* old = Host;
  Host = host;
  return old;
}

TSequenceHost* SequenceHost() { return Host; }

// ---- Construction ---------------------------------------------------------------------

TSequenceStore::TSequenceStore()
    : UndoFileName_(ExecutionPath() + "UNDOSEQ.LOG"),
      RedoFileName_(ExecutionPath() + "REDOSEQ.LOG") {
  for (TLayerList& list : Layers_) list.Handles = std::make_unique<int32_t[]>(Capacity);
  EraseLog(UndoFileName_);
  EraseLog(RedoFileName_);
}

TSequenceStore::~TSequenceStore() {
  if (!LogsOpened_) return;
  try {
    EraseLog(RedoFileName_);
    EraseLog(UndoFileName_);
  } catch (const std::system_error&) {
    // Nothing is left to tell at the end of the store's life.
  }
}

std::size_t TSequenceStore::Slot(uint8_t layer) {
  if (!IsRoutLayer(layer)) throw std::out_of_range("not a rout layer");
  return std::size_t(layer - kFirstRoutLayer);
}

int32_t TSequenceStore::HandleAt(uint8_t layer, int32_t position) const {
  const TLayerList& list = List(layer);
  // Places past the end hold 0.
  if (position < 1 || position > list.Count) return 0;
  return list.At(position);
}

void TSequenceStore::TLayerList::MoveGap(int32_t to) const {
  int32_t* h = Handles.get();
  const int32_t length = Capacity - Count;
  if (to < Gap)
    std::move_backward(h + to, h + Gap, h + Gap + length);
  else if (to > Gap)
    std::move(h + Gap + length, h + to + length, h + Gap);
  Gap = to;
}

// ---- Entity tests -----------------------------------------------------------------------

bool TSequenceStore::IsVisible(int32_t handle) const {
  return static_cast<int32_t>(RoutSlotFlags(handle) & DisplayedNCLayerMask) > 0;
}

uint8_t TSequenceStore::TypeOf(int32_t handle) const {
  TRoutEntity* e = RoutEntityAt(handle);
  return e ? e->GetType() : 0;
}

bool TSequenceStore::IsPathEntity(int32_t handle) const {
  if (!IsVisible(handle)) return false;
  uint8_t type = TypeOf(handle);
  return type != etRoutHole && type != etRoutCommand;
}

// ---- Lookups ------------------------------------------------------------------------------

int32_t TSequenceStore::FindHandle(int32_t handle, uint8_t& layer) const {
  if (Index_ == TIndexState::Stale) RebuildIndex();
  if (Index_ == TIndexState::Unusable) return ScanForHandle(handle, layer);
  if (handle < 1 || handle >= int32_t(Where_.size()) || Where_[size_t(handle)].Position == 0) {
    layer = 0;
    return 0;
  }
  const TWhere w = Where_[size_t(handle)];
  const std::size_t slot = std::size_t(w.Layer - kFirstRoutLayer);
  int32_t& clean = Clean_[slot];
  const TLayerList& list = Layers_[slot];
  // An entry that has gone stale may point into the exact run, but never at
  // the handle itself: a handle standing in the run has its entry exact. A
  // run over the whole list leaves no stale entry.
  if (w.Position <= clean && (clean == list.Count || list.At(w.Position) == handle)) {
    layer = w.Layer;
    return w.Position;
  }
  // Beyond the exact run: index on from it as far as the handle.
  for (int32_t p = clean + 1; p <= list.Count; ++p) {
    const int32_t h = list.At(p);
    Where_[size_t(h)] = {p, w.Layer};
    clean = p;
    if (h == handle) {
      layer = w.Layer;
      return p;
    }
  }
  // Not where its entry says: start again from the lists.
  RebuildIndex();
  if (Index_ != TIndexState::Valid) return ScanForHandle(handle, layer);
  layer = Where_[size_t(handle)].Layer;
  return Where_[size_t(handle)].Position;
}

bool TSequenceStore::HandlesDistinct() const {
  if (Index_ == TIndexState::Stale) RebuildIndex();
  return Index_ == TIndexState::Valid;
}

void TSequenceStore::RebuildIndex() const {
  Where_.clear();
  Index_ = TIndexState::Unusable;
  int32_t highest = 0;
  for (const TLayerList& list : Layers_)
    for (int32_t p = 1; p <= list.Count; ++p) {
      const int32_t h = list.At(p);
      if (h < 1 || h > MaxIndexedHandle) return;
      highest = std::max(highest, h);
    }
  Where_.assign(size_t(highest) + 1, TWhere{});
  for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
    const TLayerList& list = List(l);
    for (int32_t p = 1; p <= list.Count; ++p) {
      TWhere& w = Where_[size_t(list.At(p))];
      if (w.Position != 0) {  // twice in the lists: first match must win, so scan
        Where_.clear();
        return;
      }
      w = {p, l};
    }
  }
  for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) Clean_[Slot(l)] = List(l).Count;
  Index_ = TIndexState::Valid;
}

void TSequenceStore::IndexInserted(uint8_t layer, int32_t handle, int32_t at) {
  if (Index_ != TIndexState::Valid) return;
  if (handle < 1 || handle > MaxIndexedHandle ||
      (handle < int32_t(Where_.size()) && Where_[size_t(handle)].Position != 0)) {
    Where_.clear();
    Index_ = TIndexState::Unusable;
    return;
  }
  if (handle >= int32_t(Where_.size()))
    Where_.resize(std::clamp(Where_.size() * 2, size_t(handle) + 1, size_t(MaxIndexedHandle) + 1),
                  TWhere{});
  Where_[size_t(handle)] = {at, layer};
  int32_t& clean = Clean_[Slot(layer)];
  clean = std::min(clean, at - 1);
}

void TSequenceStore::IndexRemoved(uint8_t layer, int32_t handle, int32_t position) {
  if (Index_ != TIndexState::Valid) return;
  Where_[size_t(handle)] = {};
  int32_t& clean = Clean_[Slot(layer)];
  clean = std::min(clean, position - 1);
}

int32_t TSequenceStore::ScanForHandle(int32_t handle, uint8_t& layer) const {
  for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) {
    const TLayerList& list = List(l);
    for (int32_t p = 1; p <= list.Count; ++p) {
      if (list.At(p) == handle) {
        layer = l;
        return p;
      }
    }
  }
  layer = 0;
  return 0;
}

uint8_t TSequenceStore::LayerOf(int32_t handle) const {
  uint8_t layer;
  FindHandle(handle, layer);
  return layer;
}

bool TSequenceStore::IsBefore(int32_t a, int32_t b) const {
  if (b == NoHandle) return true;
  if (a == NoHandle) return false;
  uint8_t la, lb;
  return FindHandle(a, la) < FindHandle(b, lb);
}

int32_t TSequenceStore::FindPathJog(int32_t handle) {
  uint8_t type = TypeOf(handle);
  if (type == etRoutJog || type == etRoutCircle || type == etRoutHole) return handle;
  uint8_t layer = LayerOf(handle);
  int32_t found = 0;
  if (layer != 0) {
    int32_t saved = ReadCursor(layer);
    SeekHandle(handle);
    int32_t p = PrevPathEntity(layer);
    while (p > 0 && TypeOf(p) != etRoutJog && TypeOf(p) != etRoutCircle) p = PrevPathEntity(layer);
    found = p;
    SetReadCursor(layer, saved);
  }
  if (found == 0) ErrorBox("DataBase error.  Jog missing from sequence.");
  return found;
}

// ---- Insertion points ------------------------------------------------------------------

void TSequenceStore::ClearLayer(uint8_t layer) {
  TLayerList& list = List(layer);
  list.Count = 0;
  list.Gap = 0;
  list.Cursor = 1;
  list.Insert = 1;
  MarkIndexStale();
  ListChanged(layer);
}

void TSequenceStore::SetInsertAtStart(uint8_t layer) { List(layer).Insert = 1; }

void TSequenceStore::SetInsertAtEnd(uint8_t layer) {
  TLayerList& list = List(layer);
  list.Insert = list.Count + 1;
  TIntPoint last;
  if (!AtLayerStart(layer)) {
    if (TRoutEntity* e = RoutEntityAt(EntityBeforeInsert(layer))) e->GetPoint(last);
  }
  if (Host) Host->SetLastPoint(last.X, last.Y, layer);
}

bool TSequenceStore::SetInsertAfter(int32_t handle) {
  uint8_t layer = LayerOf(handle);
  if (layer == 0) return false;
  int32_t saved = ReadCursor(layer);
  SeekHandle(handle);
  NextVisible(layer);
  int32_t next = NextVisible(layer);
  uint8_t nextLayer = 0;
  int32_t position = next ? FindHandle(next, nextLayer) : 0;
  bool found = position != 0;
  if (found)
    List(nextLayer).Insert = position;
  else
    SetInsertAtEnd(layer);
  SetReadCursor(layer, saved);
  return found;
}

bool TSequenceStore::SetInsertBefore(int32_t handle) {
  SeekHandle(handle);
  uint8_t layer = LayerOf(handle);
  if (layer == 0) return false;
  int32_t next = NextPathEntity(layer);
  uint8_t nextLayer = 0;
  int32_t position = next ? FindHandle(next, nextLayer) : 0;
  if (position != 0) {
    List(layer).Insert = position;
    return true;
  }
  SetInsertAtEnd(layer);
  return false;
}

// ---- Insertion and removal -------------------------------------------------------------

bool TSequenceStore::Insert(uint8_t layer, int32_t handle, bool advance) {
  if (!IsRoutLayer(layer)) return false;
  TLayerList& list = List(layer);
  if (list.Count >= Capacity) {
    ErrorBox(FullMessage);
    return false;
  }
  // An insertion point left outside the list by earlier removals goes to
  // the nearer end, so no stale place is ever counted.
  int32_t at = std::clamp(list.Insert, 1, list.Count + 1);
  list.MoveGap(at - 1);
  list.Handles[size_t(at - 1)] = handle;
  ++list.Count;
  list.Gap = at;
  list.Insert = advance ? at + 1 : at;
  IndexInserted(layer, handle, at);
  ListChanged(layer);
  return true;
}

bool TSequenceStore::InsertHandle(uint8_t layer, int32_t handle) {
  return Insert(layer, handle, true);
}

bool TSequenceStore::InsertHandleKeepPoint(uint8_t layer, int32_t handle) {
  return Insert(layer, handle, false);
}

bool TSequenceStore::Remove(int32_t handle) {
  uint8_t layer;
  int32_t position = FindHandle(handle, layer);
  if (position == 0) return false;
  TLayerList& list = List(layer);
  // The handle ends the part before the gap, which then takes its place.
  list.MoveGap(position);
  list.Handles[size_t(position - 1)] = 0;
  list.Gap = position - 1;
  --list.Count;
  IndexRemoved(layer, handle, position);
  ListChanged(layer);
  return true;
}

void TSequenceStore::RemoveHandle(int32_t handle) { Remove(handle); }

void TSequenceStore::RemoveHandlesFrom(int32_t first) {
  ListsChanged();
  MarkIndexStale();  // the kept handles move down
  for (TLayerList& list : Layers_) {
    int32_t* h = list.Packed();
    int32_t kept = 0;
    for (int32_t p = 0; p < list.Count; ++p)
      if (h[p] < first) h[kept++] = h[p];
    std::fill(h + kept, h + list.Count, 0);
    list.Count = list.Gap = kept;
    list.Cursor = std::min(list.Cursor, kept + 1);
    list.Insert = std::min(list.Insert, kept + 1);
  }
}

void TSequenceStore::DeleteHandleRenumber(int32_t handle) {
  Remove(handle);
  ListsChanged();
  for (TLayerList& list : Layers_) {
    int32_t* h = list.Packed();
    for (int32_t p = 0; p < list.Count; ++p)
      if (h[p] > handle) --h[p];
  }
  // Every handle above it moved down by one, and so do their entries.
  if (Index_ != TIndexState::Valid || handle >= int32_t(Where_.size())) return;
  if (handle >= 1)
    Where_.erase(Where_.begin() + handle);
  else
    MarkIndexStale();
}

void TSequenceStore::DropHandlesRenumber(const std::vector<int32_t>& dropped) {
  if (dropped.empty()) return;
  ListsChanged();
  if (Index_ == TIndexState::Stale) RebuildIndex();
  if (Index_ != TIndexState::Valid) {
    // A handle twice in the lists: one call at a time, as the compaction
    // renumbers, so the first match goes each time.
    for (std::size_t k = 0; k < dropped.size(); ++k) DeleteHandleRenumber(dropped[k] - int32_t(k));
    return;
  }
  // Every handle is in the lists once: a dropped one goes, any other moves
  // down by the number of dropped handles below it.
  for (TLayerList& list : Layers_) {
    int32_t* h = list.Packed();
    int32_t kept = 0;
    for (int32_t p = 0; p < list.Count; ++p) {
      const auto below = std::lower_bound(dropped.begin(), dropped.end(), h[p]);
      if (below != dropped.end() && *below == h[p]) continue;
      h[kept++] = h[p] - int32_t(below - dropped.begin());
    }
    std::fill(h + kept, h + list.Count, 0);
    list.Count = list.Gap = kept;
  }
  MarkIndexStale();
}

// ---- Walks ---------------------------------------------------------------------------------

namespace {

// The first set bit at or after bit `from`, -1 when none: the word holding
// it, else the first later word that the summary marks.
int32_t NextSetBit(const std::vector<uint64_t>& bits, const std::vector<uint64_t>& any,
                   int32_t from) {
  std::size_t w = std::size_t(from) >> 6;
  if (w >= bits.size()) return -1;
  if (const uint64_t word = bits[w] & (~uint64_t(0) << (from & 63)); word != 0)
    return int32_t((w << 6) + std::size_t(std::countr_zero(word)));
  const std::size_t next = w + 1;
  std::size_t s = next >> 6;
  if (s >= any.size()) return -1;
  for (uint64_t marks = any[s] & (~uint64_t(0) << (next & 63));; marks = any[s]) {
    if (marks != 0) {
      w = (s << 6) + std::size_t(std::countr_zero(marks));
      return int32_t((w << 6) + std::size_t(std::countr_zero(bits[w])));
    }
    if (++s >= any.size()) return -1;
  }
}

void SetBit(std::vector<uint64_t>& bits, std::vector<uint64_t>& any, int32_t bit, bool on) {
  const std::size_t w = std::size_t(bit) >> 6;
  const uint64_t mask = uint64_t(1) << (bit & 63);
  bits[w] = on ? bits[w] | mask : bits[w] & ~mask;
  const uint64_t mark = uint64_t(1) << (w & 63);
  any[w >> 6] = bits[w] != 0 ? any[w >> 6] | mark : any[w >> 6] & ~mark;
}

}  // namespace

void TSequenceStore::BeginVisibilityWatch() {
  if (Watches_++ == 0) ListsChanged();
}

void TSequenceStore::EndVisibilityWatch() {
  if (Watches_ == 0 || --Watches_ > 0) return;
  // Nobody reports slot words now: the maps would go stale.
  for (TSkipMap& map : Skips_) map = TSkipMap{};
}

const TSequenceStore::TSkipMap* TSequenceStore::SkipMapOf(uint8_t layer) const {
  if (Watches_ == 0) return nullptr;
  if (SkipMask_ != DisplayedNCLayerMask) {
    for (TSkipMap& map : Skips_) map.Valid = false;
    SkipMask_ = DisplayedNCLayerMask;
  }
  TSkipMap& map = Skips_[Slot(layer)];
  if (map.Valid) return &map;
  const TLayerList& list = List(layer);
  const std::size_t words = (std::size_t(list.Count) + 63) / 64;
  for (auto* bits : {&map.Visible, &map.Path}) bits->assign(words, 0);
  for (auto* any : {&map.VisibleAny, &map.PathAny}) any->assign((words + 63) / 64, 0);
  for (int32_t p = 0; p < list.Count; ++p) {
    const int32_t h = list.At(p + 1);
    if (IsVisible(h)) SetBit(map.Visible, map.VisibleAny, p, true);
    if (IsPathEntity(h)) SetBit(map.Path, map.PathAny, p, true);
  }
  map.Valid = true;
  return &map;
}

void TSequenceStore::VisibilityChanged(int32_t handle) {
  if (Watches_ == 0) return;
  uint8_t layer;
  const int32_t position = FindHandle(handle, layer);
  if (Index_ != TIndexState::Valid) {
    ListsChanged();  // the handle may stand in more than one place
    return;
  }
  if (position == 0) return;
  TSkipMap& map = Skips_[Slot(layer)];
  if (!map.Valid) return;
  SetBit(map.Visible, map.VisibleAny, position - 1, IsVisible(handle));
  SetBit(map.Path, map.PathAny, position - 1, IsPathEntity(handle));
}

int32_t TSequenceStore::SkipHidden(uint8_t layer, int32_t position, bool pathOnly) const {
  const TLayerList& list = List(layer);
  if (position > list.Count) return position;
  auto passes = [&](int32_t p) {
    const int32_t h = list.At(p);
    return pathOnly ? IsPathEntity(h) : IsVisible(h);
  };
  if (const TSkipMap* map = SkipMapOf(layer)) {
    const int32_t bit = pathOnly ? NextSetBit(map->Path, map->PathAny, position - 1)
                                 : NextSetBit(map->Visible, map->VisibleAny, position - 1);
    if (bit < 0) return list.Count + 1;
    if (passes(bit + 1)) return bit + 1;
    // A slot word changed and nobody told: the map goes, this walk tests.
    Skips_[Slot(layer)].Valid = false;
  }
  while (position <= list.Count && !passes(position)) ++position;
  return position;
}

void TSequenceStore::RewindAll() {
  for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l)
    List(l).Cursor = SkipHidden(l, 1, false);
}

bool TSequenceStore::SeekHandle(int32_t handle) {
  if (handle == 0) {
    RewindAll();
    return false;
  }
  uint8_t layer;
  int32_t position = FindHandle(handle, layer);
  if (position == 0) return false;
  List(layer).Cursor = SkipHidden(layer, position, false);
  return true;
}

int32_t TSequenceStore::NextMatching(uint8_t layer, bool pathOnly) {
  TLayerList& list = List(layer);
  if (list.Cursor < 1) list.Cursor = 1;
  if (!pathOnly && Watches_ == 0 && RoutEntities != nullptr) {
    // SkipHidden twice without a map, the slot words read in place: each
    // redraw walks every layer this way more than once.
    TRoutEntities& store = *RoutEntities;
    const int32_t slots = store.Count();
    const uint32_t mask = DisplayedNCLayerMask;
    auto visibleFrom = [&](int32_t p) {
      for (; p <= list.Count; ++p) {
        const int32_t h = list.At(p);
        if (h >= 1 && h <= slots && static_cast<int32_t>(store.GetSlot(h)->Flags & mask) > 0) break;
      }
      return p;
    };
    list.Cursor = visibleFrom(list.Cursor);
    if (list.Cursor > list.Count) return 0;
    const int32_t handle = list.At(list.Cursor);
    list.Cursor = visibleFrom(list.Cursor + 1);
    return handle;
  }
  list.Cursor = SkipHidden(layer, list.Cursor, pathOnly);
  if (list.Cursor > list.Count) return 0;
  int32_t handle = list.At(list.Cursor);
  list.Cursor = SkipHidden(layer, list.Cursor + 1, pathOnly);
  return handle;
}

int32_t TSequenceStore::NextPathEntity(uint8_t layer) { return NextMatching(layer, true); }

int32_t TSequenceStore::NextVisible(uint8_t layer) { return NextMatching(layer, false); }

int32_t TSequenceStore::PrevPathEntity(uint8_t layer) {
  TLayerList& list = List(layer);
  // A cursor beyond the list (left there by removals) starts at its end.
  if (list.Cursor > list.Count + 1) list.Cursor = list.Count + 1;
  if (list.Cursor < 2) return 0;
  do {
    --list.Cursor;
  } while (list.Cursor >= 2 && !IsPathEntity(list.At(list.Cursor)));
  int32_t handle = list.At(list.Cursor);
  return IsPathEntity(handle) ? handle : 0;
}

bool TSequenceStore::AtLayerStart(uint8_t layer) {
  List(layer).Cursor = List(layer).Insert;
  return PrevPathEntity(layer) == 0;
}

int32_t TSequenceStore::EntityBeforeInsert(uint8_t layer) {
  List(layer).Cursor = List(layer).Insert;
  int32_t handle = PrevPathEntity(layer);
  return handle != 0 ? handle : RoutEntityCount + 1;
}

// ---- Logs ------------------------------------------------------------------------------------

void TSequenceStore::ResetLogs() {
  UndoPos_ = 1;
  RedoPos_ = 1;
  if (!LogsOpened_) return;
  EraseLog(UndoFileName_);
  EraseLog(RedoFileName_);
  LogsOpened_ = false;
}

bool TSequenceStore::WriteRecords(const std::string& name, int32_t position,
                                  const int32_t* values, int32_t count) {
  LogsOpened_ = true;
  TLogFile file(name);
  if (!file.IsOpen()) return false;
  std::vector<uint8_t> bytes(size_t(count) * kRecordSize);
  for (int32_t i = 0; i < count; ++i) PutInt32(&bytes[size_t(i) * kRecordSize], values[i]);
  bool ok = file.WriteAt(off_t(position - 1) * kRecordSize, bytes.data(), bytes.size());
  return file.Close() && ok;
}

bool TSequenceStore::ReadRecords(const std::string& name, int32_t position, int32_t* values,
                                 int32_t count) {
  LogsOpened_ = true;
  TLogFile file(name);
  if (!file.IsOpen() || position < 1) return false;
  std::vector<uint8_t> bytes(size_t(count) * kRecordSize);
  bool ok = file.ReadAt(off_t(position - 1) * kRecordSize, bytes.data(), bytes.size());
  file.Close();
  if (!ok) return false;
  for (int32_t i = 0; i < count; ++i) values[i] = GetInt32(&bytes[size_t(i) * kRecordSize]);
  return true;
}

bool TSequenceStore::SaveUndoLayer(uint8_t layer) {
  const TLayerList& list = List(layer);
  if (int64_t(UndoPos_) + list.Count > int64_t(INT32_MAX)) {
    ErrorBox(FullMessage);
    return false;
  }
  if (!WriteRecords(UndoFileName_, UndoPos_, list.Packed(), list.Count)) return false;
  UndoPos_ += list.Count;
  if (Host) Host->RecordSequenceSave(list.Count, layer);
  return true;
}

bool TSequenceStore::LoadUndoLayer(uint8_t layer, int32_t count) {
  TLayerList& list = List(layer);
  if (count > Capacity) {
    ErrorBox(FullMessage);
    return false;
  }
  if (count < 0 || count > UndoPos_ - 1) return false;
  std::vector<int32_t> handles(static_cast<size_t>(count));
  if (!ReadRecords(UndoFileName_, UndoPos_ - count, handles.data(), count)) return false;
  std::fill(list.Handles.get(), list.Handles.get() + Capacity, 0);
  std::copy(handles.begin(), handles.end(), list.Handles.get());
  list.Count = list.Gap = count;
  MarkIndexStale();
  ListChanged(layer);
  UndoPos_ -= count;
  return true;
}

void TSequenceStore::AdvanceUndoPos(int32_t n) { UndoPos_ += n; }

bool TSequenceStore::SaveRedoLayer(uint8_t layer) {
  const TLayerList& list = List(layer);
  if (int64_t(RedoPos_) + list.Count + 1 > int64_t(INT32_MAX)) {
    ErrorBox(FullMessage);
    return false;
  }
  const int32_t* h = list.Packed();
  std::vector<int32_t> records(h, h + list.Count);
  records.push_back(RedoPos_);
  if (!WriteRecords(RedoFileName_, RedoPos_, records.data(), int32_t(records.size())))
    return false;
  RedoPos_ += list.Count + 1;
  return true;
}

bool TSequenceStore::LoadRedoLayer(uint8_t layer) {
  TLayerList& list = List(layer);
  if (RedoPos_ < 2) return false;  // nothing on the stack
  int32_t start = 0;
  if (!ReadRecords(RedoFileName_, RedoPos_ - 1, &start, 1)) return false;
  // The record's start must lie below its own trailer.
  if (start < 1 || start > RedoPos_ - 1) return false;
  int32_t count = (RedoPos_ - 1) - start;
  if (count > Capacity) {
    ErrorBox(FullMessage);
    return false;
  }
  std::vector<int32_t> handles(static_cast<size_t>(count));
  if (!ReadRecords(RedoFileName_, start, handles.data(), count)) return false;
  std::fill(list.Handles.get(), list.Handles.get() + Capacity, 0);
  std::copy(handles.begin(), handles.end(), list.Handles.get());
  list.Count = list.Gap = count;
  MarkIndexStale();
  ListChanged(layer);
  RedoPos_ = start;
  return true;
}
