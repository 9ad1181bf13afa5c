#include "model/step_repeat.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "foundation/display_units.h"
#include "foundation/geometry_matrix.h"
#include "foundation/utilities.h"
#include "platform/message_box.h"

// clang-format off
const uint8_t StepCompositionTable[8][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7},
    {1, 0, 3, 2, 5, 4, 7, 6},
    {2, 5, 0, 7, 6, 1, 4, 3},
    {3, 4, 1, 6, 7, 0, 5, 2},
    {4, 3, 6, 1, 0, 7, 2, 5},
    {5, 2, 7, 0, 1, 6, 3, 4},
    {6, 7, 4, 5, 2, 3, 0, 1},
    {7, 6, 5, 4, 3, 2, 1, 0},
};

const uint8_t AxisVersionTable[8][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0},
    {1, 1, 7, 7, 1, 1, 7, 7},
    {2, 4, 4, 2, 4, 2, 2, 4},
    {4, 2, 2, 4, 2, 4, 4, 2},
    {3, 5, 3, 5, 5, 3, 5, 3},
    {5, 3, 5, 3, 3, 5, 3, 5},
    {6, 6, 6, 6, 6, 6, 6, 6},
    {7, 7, 1, 1, 7, 7, 1, 1},
};
// clang-format on

namespace {

constexpr int64_t kOffsetLimit = 2147483647;

// The orientation's linear map applied in 64 bits: negations, then exchange.
void OrientStep(uint8_t code, int64_t x, int64_t y, int64_t& ox, int64_t& oy) {
  if (code > 7) code = 0;
  if (code & 2) x = -x;
  if (code & 4) y = -y;
  if (code & 1) std::swap(x, y);
  ox = x;
  oy = y;
}

// Repeat count of a command: 0 or less runs once.
int32_t Runs(const TStepCommand& c) { return c.Count > 1 ? c.Count : 1; }

// The expansion engine. One instance per expansion, so expansions cannot
// disturb each other.
class TStepEngine {
 public:
  bool Expand(bool relative, const TStepCommandList& commands, TStepCommandList& offsets,
              int32_t& position) {
    Error = false;
    Relative = relative;
    ResetStepEngine();
    Output = &offsets;
    Output->clear();
    if (Relative) Output->push_back(TStepCommand{1, 1, 0, 0, 0});
    RunStepCommands(commands);
    if (Relative) Output->push_back(TStepCommand{0, 1, 0, 0, 0});
    position = Error ? std::max<int32_t>(Position, 1) : 0;
    return !Error;
  }

 private:
  struct TLevel {
    int32_t Count = 0;
    int32_t Limit = -1;
    int64_t X = 0;
    int64_t Y = 0;
    uint8_t Code = 0;  // swap 1, mirror-X 2, mirror-Y 4
  };

  void ResetLevels() {
    L = 0;
    for (TLevel& lv : Level) lv = TLevel{};
    ComposedX = ComposedY = 0;
    ComposedCode = 0;
  }

  void ResetStepEngine() {
    ResetLevels();
    PreviousX = PreviousY = 0;
    Copies = 0;
  }

  void EmitStepOffset(uint8_t code, int64_t x, int64_t y) {
    auto clamp = [this](int64_t v) {
      if (v > kOffsetLimit || v < -kOffsetLimit) {
        Error = true;
        return static_cast<int32_t>(v > 0 ? kOffsetLimit : -kOffsetLimit);
      }
      return static_cast<int32_t>(v);
    };
    const int32_t dx = clamp(x);
    const int32_t dy = clamp(y);
    Output->push_back(TStepCommand{0, 1, dx, dy, code});
    ++Copies;
  }

  void ComposeStepOffset() {
    L = 0;
    const uint8_t o1 = Level[1].Code, o2 = Level[2].Code, o3 = Level[3].Code;
    ComposedCode = StepCompositionTable[o3][StepCompositionTable[o2][o1]];
    int64_t x1, y1, x2, y2;
    OrientStep(o2, Level[1].X, Level[1].Y, x1, y1);
    OrientStep(o3, x1 + Level[2].X, y1 + Level[2].Y, x2, y2);
    ComposedX = x2 + Level[3].X;
    ComposedY = y2 + Level[3].Y;
    if (!Relative) {
      EmitStepOffset(ComposedCode, ComposedX, ComposedY);
    } else {
      EmitStepOffset(ComposedCode, ComposedX - PreviousX, ComposedY - PreviousY);
      PreviousX = ComposedX;
      PreviousY = ComposedY;
    }
  }

  // A pattern mark.
  void OpenStepLevel(bool& replay) {
    replay = false;
    if (L == 0) {
      L = 1;
      ++Level[1].Count;
      Level[1].X = Level[1].Y = 0;
      Level[1].Code = 0;
    } else if (Level[L].Count == Level[L].Limit) {
      Level[L].Limit = -1;
      replay = true;
    } else {
      for (int k = L; k >= 1; --k) Level[k] = TLevel{};
      ++L;
      if (L > kMaxStepLevels) {
        L = kMaxStepLevels;  // stays on the deepest level that exists
        Error = true;
        return;
      }
      ++Level[L].Count;
      Level[L].X = Level[L].Y = 0;
    }
  }

  // A step run `runs` times in a row. In the scan that builds copy c of the
  // level, the first c steps of the level are summed; the step after them
  // makes the limit equal the count (this level has a further copy) and the
  // level ignores every step after that.
  void AdvanceStepLevel(int32_t dx, int32_t dy, uint8_t code, int32_t runs) {
    if (L < 1 || L > kMaxStepLevels) {
      Error = true;
      return;
    }
    TLevel& lv = Level[L];
    if (lv.Count == lv.Limit) return;
    const int64_t taken = std::min<int64_t>(runs, int64_t{lv.Count} - lv.Limit);
    const int64_t newLimit = lv.Limit + taken;
    const int64_t adds = newLimit == lv.Count ? taken - 1 : taken;
    lv.Limit = static_cast<int32_t>(newLimit);
    if (adds <= 0) return;
    // At most 2^31 adds of at most 2^31 each: no 64-bit overflow.
    lv.X += adds * dx;
    lv.Y += adds * dy;
    if (lv.X >= kOffsetLimit || lv.X <= -kOffsetLimit || lv.Y >= kOffsetLimit ||
        lv.Y <= -kOffsetLimit) {
      lv.X = std::clamp(lv.X, -kOffsetLimit, kOffsetLimit);
      lv.Y = std::clamp(lv.Y, -kOffsetLimit, kOffsetLimit);
      Error = true;
    }
    lv.Code = code > 7 ? 0 : code;
  }

  // End of the list.
  void CloseStepLevels(bool& replay) {
    replay = false;
    if (L == 0) return;
    if (Level[L].Count != Level[L].Limit) {
      ResetLevels();  // every step of the level was used: expansion ends
    } else {
      Level[L].Limit = -1;
      replay = true;
    }
  }

  void DoStepCommand(const TStepCommand& c, bool& replay) {
    if (c.Command == 0) {
      replay = false;
      AdvanceStepLevel(c.DX, c.DY, c.Orientation, Runs(c));
      return;
    }
    // A repeated mark runs again only while nothing has gone wrong; each run
    // either opens a deeper level or asks for a replay, so this ends after a
    // few runs at the latest.
    const int32_t runs = Runs(c);
    for (int32_t k = 0; k < runs; ++k) {
      OpenStepLevel(replay);
      if (Error) break;
    }
  }

  // The level as it was when its last copy began, one count on.
  static bool NextCopyOf(const TLevel& last, const TLevel& now) {
    return now.Count == last.Count + 1 && now.Limit == last.Limit && now.X == last.X && now.Y == last.Y &&
           now.Code == last.Code;
  }

  // Each copy reads the list again from its start, and a level sums its
  // steps afresh for each copy: read step by step, a list of n steps would
  // cost n x n. Two short cuts give the same copies at a cost that grows
  // with the list: the steps after the one that completed the level's copy
  // do nothing up to the next mark and are passed over; and a level read
  // again from the same state for its next copy (its count one higher)
  // resumes at the step that completed the last copy, with the sums it had
  // before that step (the steps before it add the same again).
  void RunStepCommands(const TStepCommandList& commands) {
    const std::size_t n = commands.size();
    // The next mark from each command on (a short list is looked through).
    std::vector<std::size_t> marks;
    if (n > 32) {
      marks.assign(n + 1, n);
      for (std::size_t k = n; k-- > 0;) marks[k] = commands[k].Command != 0 ? k : marks[k + 1];
    }
    const auto nextMark = [&](std::size_t k) {
      if (!marks.empty()) return marks[k];
      while (k < n && commands[k].Command == 0) ++k;
      return k;
    };
    // Where each level's steps began in this reading, and its state there.
    std::size_t begun[kMaxStepLevels + 1] = {};
    TLevel entry[kMaxStepLevels + 1];
    // The step that completed a level's last copy, and the level before it.
    struct TResume {
      bool Valid = false;
      std::size_t Begun = 0, At = 0;
      TLevel Entry, Before;
    } resume[kMaxStepLevels + 1];
    Position = 0;
    std::size_t i = 0;
    while (i < n) {
      ++Position;
      bool replay = false;
      const TStepCommand& c = commands[i];
      const bool step = c.Command == 0 && L >= 1 && L <= kMaxStepLevels;
      if (step && Level[L].Count == Level[L].Limit) {
        const std::size_t to = nextMark(i);
        Position += static_cast<int32_t>(to - i - 1);
        i = to;
        if (i == n) CloseStepLevels(replay);
        if (!replay) {
          if (Error) return;
          continue;
        }
      } else {
        if (step) {
          TLevel& lv = Level[L];
          const TResume& r = resume[L];
          if (i == begun[L] && r.Valid && r.Begun == i && NextCopyOf(r.Entry, lv)) {
            Position += static_cast<int32_t>(r.At - i);
            i = r.At;
            lv.Limit = r.Before.Limit;
            lv.X = r.Before.X;
            lv.Y = r.Before.Y;
            lv.Code = r.Before.Code;
          }
        }
        const TLevel before = step ? Level[L] : TLevel{};
        const int level = L;
        DoStepCommand(commands[i], replay);
        if (step && !Error && Level[level].Count == Level[level].Limit)
          resume[level] = TResume{true, begun[level], i, entry[level], before};
        if (!step && c.Command != 0 && !replay && !Error && L >= 1 && L <= kMaxStepLevels) {
          begun[L] = i + 1;
          entry[L] = Level[L];
        }
      }
      if (!replay) {
        ++i;
        if (i == n) CloseStepLevels(replay);
        if (!replay) {
          if (Error) return;
          continue;
        }
      }
      // A copy whose level sums already failed is not emitted.
      if (Error) return;
      if (Copies >= kMaxStepCopies) {
        Error = true;
        return;
      }
      ComposeStepOffset();
      if (Error) return;  // the position names the command that completed the copy
      Position = 0;
      i = 0;
    }
  }

  bool Error = false;
  bool Relative = false;
  int L = 0;
  TLevel Level[kMaxStepLevels + 1];  // 1..kMaxStepLevels used
  int64_t ComposedX = 0, ComposedY = 0;
  uint8_t ComposedCode = 0;
  int64_t PreviousX = 0, PreviousY = 0;
  int32_t Position = 0;
  int32_t Copies = 0;
  TStepCommandList* Output = nullptr;
};

int32_t QuietExpansions = 0;

void ShowExpansionError(int32_t position) {
  if (QuietExpansions > 0) return;
  ErrorBox("Step && Repeat Crash.  Error Line: " + IntToShortStr(position));
}

int32_t RoundToInt(double v) { return SaturatingRound(v); }

}  // namespace

void FreeStepCommands(TStepCommandList& list) {
  list.clear();
  list.shrink_to_fit();
}

bool StepOrientationMirrored(uint8_t code) {
  if (code > 7) return false;
  // Columns of the 2 x 2 map are the images of (1, 0) and (0, 1).
  int64_t ax, ay, bx, by;
  OrientStep(code, 1, 0, ax, ay);
  OrientStep(code, 0, 1, bx, by);
  return ax * by - bx * ay < 0;
}

bool ConvertOrientationVersion(uint8_t code, int32_t from, uint8_t& result, int32_t to) {
  if (code > 7 || from < 1 || from > 8 || to < 1 || to > 8) return false;
  for (int r = 0; r < 8; ++r) {
    if (AxisVersionTable[r][from - 1] == code) {
      result = AxisVersionTable[r][to - 1];
      return true;
    }
  }
  return false;
}

void OrientOffset(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t code, int32_t& outX,
                  int32_t& outY) {
  const int64_t X = x, Y = y, W = w, H = h;
  int64_t rx = X, ry = Y;
  switch (code) {
    case 1: rx = X - W + H; ry = Y - H + W; break;
    case 2: rx = X - 2 * W; ry = Y; break;
    case 3: rx = X - W + H; ry = Y - W - H; break;
    case 4: rx = X; ry = Y - 2 * H; break;
    case 5: rx = X - W - H; ry = Y + W - H; break;
    case 6: rx = X - 2 * W; ry = Y - 2 * H; break;
    case 7: rx = X - W - H; ry = Y - W - H; break;
    default: break;
  }
  outX = ClampCompToInt(rx);
  outY = ClampCompToInt(ry);
}

bool SameMatrix(const TMatrix3& a, const TMatrix3& b) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (!(std::fabs(a.M[i][j] - b.M[i][j]) < 2.0)) return false;
  return true;
}

bool ExpandStepList(bool relative, const TStepCommandList& commands, TStepCommandList& offsets,
                    int32_t& position) {
  TStepEngine engine;
  return engine.Expand(relative, commands, offsets, position);
}

TQuietStepExpansion::TQuietStepExpansion() { ++QuietExpansions; }
TQuietStepExpansion::~TQuietStepExpansion() { --QuietExpansions; }

// ---- TStepObject ---------------------------------------------------------

bool TStepObject::ChainWhole() const {
  for (const TStepObject* s = this; s != nullptr; s = s->Nested_)
    if (!s->Whole_) return false;
  return true;
}

TStepObject::TStepObject(TStepCommandList commands) : Commands_(std::move(commands)) {
  int32_t position = 0;
  Whole_ = ExpandStepList(false, Commands_, Offsets_, position);
  if (!Whole_) ShowExpansionError(position);
  Cursor_ = 0;
  TakeOffsetRanges();
}

TStepObject::TStepObject(TStepCommandList commands, TStepObject* nested)
    : Commands_(std::move(commands)), Nested_(nested) {
  if (Nested_ != nullptr) Nested_->AddRef();
  Expand();
}

TStepObject::~TStepObject() {
  ClearCaches();
  ReleaseStepObject(Nested_);
}

void ReleaseStepObject(TStepObject*& object) {
  if (object == nullptr) return;
  if (object->Release()) delete object;
  object = nullptr;
}

TStepObject* NewMovedStepObject(const TStepCommandList& commands, int32_t dx, int32_t dy) {
  TStepObject* step = new TStepObject(commands);
  step->AddRef();
  if (dx == 0 && dy == 0) return step;
  TMatrix3 m = IdentityMatrix;
  TranslateMatrix(m, dx, dy);
  TStepObject* moved = step->Transformed(m);
  moved->AddRef();
  ReleaseStepObject(step);  // frees the unmoved one; its cache lets go of the moved one
  return moved;
}

void TStepObject::ClearCaches() {
  // Take the lists first: deleting a result never reaches back into this
  // object, but the lists must be empty before anything else runs.
  std::vector<TTransformNode> transforms = std::move(TransformCache_);
  std::vector<TReplaceNode> replaces = std::move(ReplaceCache_);
  std::vector<TAppendNode> appends = std::move(AppendCache_);
  TransformCache_.clear();
  ReplaceCache_.clear();
  AppendCache_.clear();
  for (TTransformNode& n : transforms) ReleaseStepObject(n.Result);
  for (TReplaceNode& n : replaces) ReleaseStepObject(n.Result);
  for (TAppendNode& n : appends) ReleaseStepObject(n.Result);
}

TStepObject* TStepObject::Cache(TStepObject* result) {
  if (result) result->AddRef();
  return result;
}

TStepObject* TStepObject::GetLevel(int32_t n) {
  if (n < 1) return nullptr;
  TStepObject* s = this;
  for (int32_t k = 1; s != nullptr && k < n; ++k) s = s->Nested_;
  return s;
}

int32_t TStepObject::LevelCount() const {
  int32_t n = 0;
  for (const TStepObject* s = this; s != nullptr; s = s->Nested_) ++n;
  return n;
}

TStepCommandList TStepObject::FlattenCommands() const {
  TStepCommandList all;
  for (const TStepObject* s = this; s != nullptr; s = s->Nested_)
    all.insert(all.end(), s->Commands_.begin(), s->Commands_.end());
  return all;
}

namespace {

// A list of one level: a pattern mark run once, then its steps.
bool SingleLevel(const TStepCommandList& commands) {
  if (commands.empty() || commands[0].Command == 0 || Runs(commands[0]) != 1) return false;
  for (std::size_t i = 1; i < commands.size(); ++i)
    if (commands[i].Command != 0) return false;
  return true;
}

}  // namespace

// A level of one pattern mark and its steps over a chain of such levels
// that expanded without an error: the copies of the whole chain are the
// copies of the level alone (the unmoved one first) moved by the unmoved
// chain and then by each copy of the chain, in that order, which is how the
// expansion of the whole list gives them one by one. False, with nothing
// made, for another shape, an error of the level alone, and a copy count or
// an offset the whole list's expansion would stop at: that expansion then
// runs and tells where.
bool TStepObject::ComposeOverNested() {
  // The chain's offsets are those of the chain it has now: a level taken
  // out below it since leaves them to the whole list's expansion.
  if (Nested_ == nullptr || !Nested_->Whole_ || Nested_->ExpandedLevels_ != Nested_->LevelCount() ||
      !SingleLevel(Commands_))
    return false;
  int32_t levels = 1;
  for (const TStepObject* s = Nested_; s != nullptr; s = s->Nested_) {
    if (!SingleLevel(s->Commands_)) return false;
    ++levels;
  }
  if (levels > kMaxStepLevels) return false;
  TStepCommandList own;
  int32_t position = 0;
  if (!ExpandStepList(false, Commands_, own, position)) return false;
  const TStepCommandList& outer = Nested_->Offsets_;
  const int64_t copies = (int64_t(own.size()) + 1) * (int64_t(outer.size()) + 1) - 1;
  if (copies > kMaxStepCopies) return false;
  Offsets_.reserve(std::size_t(copies));
  for (std::size_t j = 0; j <= outer.size(); ++j) {
    const TStepCommand base = j == 0 ? TStepCommand{0, 1, 0, 0, 0} : outer[j - 1];
    const uint8_t code = base.Orientation > 7 ? 0 : base.Orientation;
    if (j > 0) Offsets_.push_back(TStepCommand{0, 1, base.DX, base.DY, code});
    for (const TStepCommand& a : own) {
      int64_t x = 0, y = 0;
      OrientStep(code, a.DX, a.DY, x, y);
      x += base.DX;
      y += base.DY;
      if (x > kOffsetLimit || x < -kOffsetLimit || y > kOffsetLimit || y < -kOffsetLimit) {
        FreeStepCommands(Offsets_);
        return false;
      }
      Offsets_.push_back(TStepCommand{0, 1, int32_t(x), int32_t(y),
                                      StepCompositionTable[code][a.Orientation > 7 ? 0 : a.Orientation]});
    }
  }
  return true;
}

void TStepObject::Expand() {
  FreeStepCommands(Offsets_);
  ExpandedLevels_ = LevelCount();
  Whole_ = ComposeOverNested();
  if (Whole_) {
    Cursor_ = 0;
    TakeOffsetRanges();
    return;
  }
  // A chain makes about a copy of the chain it wraps for each of its own
  // steps and the unmoved one: room for those at once spares the list its
  // growth (an import's pattern ends wrap chains of thousands of copies). A
  // list that took much less than its room gives the rest back.
  std::size_t room = 0;
  if (Nested_ != nullptr) {
    int64_t own = 0;
    for (const TStepCommand& c : Commands_)
      if (c.Command == 0) own += Runs(c);
    const int64_t copies = (std::min<int64_t>(own, kMaxStepCopies) + 1) * int64_t(Nested_->Offsets_.size() + 1);
    room = std::size_t(std::min<int64_t>(copies, kMaxStepCopies + 1));
    Offsets_.reserve(room);
  }
  int32_t position = 0;
  Whole_ = ExpandStepList(false, FlattenCommands(), Offsets_, position);
  if (!Whole_) ShowExpansionError(position);
  if (room > 64 && Offsets_.size() < room / 2) Offsets_.shrink_to_fit();
  Cursor_ = 0;
  TakeOffsetRanges();
}

void TStepObject::TakeOffsetRanges() {
  OffsetRanges_ = {};
  int32_t copies = 0;
  for (const TStepCommand& r : Offsets_) {
    if (r.Command == 0) ++copies;
    // The walk takes every record, an orientation beyond 7 as none.
    TOffsetRange& range = OffsetRanges_[r.Orientation > 7 ? 0 : r.Orientation];
    if (!range.Any) {
      range = {true, r.DX, r.DX, r.DY, r.DY};
      continue;
    }
    range.MinDX = std::min(range.MinDX, r.DX);
    range.MaxDX = std::max(range.MaxDX, r.DX);
    range.MinDY = std::min(range.MinDY, r.DY);
    range.MaxDY = std::max(range.MaxDY, r.DY);
  }
  CopyCount_ = static_cast<uint16_t>(std::min<int32_t>(copies, 65535));
}

void TStepObject::ExtendByCopies(const TIntPoint& point, TIntPoint& min, TIntPoint& max) const {
  // A copy is the oriented point plus its offset, each axis limited on its
  // own, so the least and greatest offsets give the least and greatest copy.
  for (uint8_t code = 0; code < 8; ++code) {
    const TOffsetRange& range = OffsetRanges_[code];
    if (!range.Any) continue;
    TIntPoint low, high;
    StepTransformPointNoExtra(point.X, point.Y, range.MinDX, range.MinDY, code, low.X, low.Y);
    StepTransformPointNoExtra(point.X, point.Y, range.MaxDX, range.MaxDY, code, high.X, high.Y);
    if (low.X < min.X) min.X = low.X;
    if (low.Y < min.Y) min.Y = low.Y;
    if (high.X > max.X) max.X = high.X;
    if (high.Y > max.Y) max.Y = high.Y;
  }
}

bool TStepObject::CopiesInRange(const TIntPoint& point) const {
  // The copies of one orientation lie between the point oriented and moved
  // by their least and by their greatest offsets, worked out here in 64 bits.
  for (uint8_t code = 0; code < 8; ++code) {
    const TOffsetRange& range = OffsetRanges_[code];
    if (!range.Any) continue;
    int64_t x = 0, y = 0;
    OrientStep(code, point.X, point.Y, x, y);
    if (x + range.MinDX < -kOffsetLimit || x + range.MaxDX > kOffsetLimit || y + range.MinDY < -kOffsetLimit ||
        y + range.MaxDY > kOffsetLimit)
      return false;
  }
  return true;
}

bool TStepObject::ChainHolds(const TStepObject* object) const {
  for (const TStepObject* s = this; s != nullptr; s = s->Nested_)
    if (s == object) return true;
  return false;
}

void TStepObject::SetNested(TStepObject* nested) {
  if (nested && nested->ChainHolds(this)) return;  // a chain never contains itself
  if (nested) nested->AddRef();  // first, in case it is the current one
  ReleaseStepObject(Nested_);
  Nested_ = nested;
  ClearCaches();
  Expand();
}

void TStepObject::Reexpand() { Expand(); }

TStepObject* TStepObject::TransformedBefore(const TMatrix3& m) const {
  TStepObject* found = nullptr;
  for (const TTransformNode& n : TransformCache_)
    if (SameMatrix(n.Matrix, m)) found = n.Result;
  return found;
}

TStepObject* TStepObject::Transformed(const TMatrix3& m) {
  if (TStepObject* found = TransformedBefore(m)) return found;

  const int32_t w = -RoundToInt(m.M[2][0]);
  const int32_t h = -RoundToInt(m.M[2][1]);
  TStepCommandList out;
  out.reserve(Commands_.size());
  int64_t sx = 0, sy = 0, tx = 0, ty = 0;
  for (std::size_t i = 0; i < Commands_.size(); ++i) {
    const TStepCommand& r = Commands_[i];
    if (r.Command != 0) {
      out.push_back(TStepCommand{r.Command, 1, 0, 0, r.Orientation});
      sx = sy = tx = ty = 0;
      continue;
    }
    int32_t px, py;
    OrientOffset(ClampCompToInt(sx + r.DX), ClampCompToInt(sy + r.DY), w, h, r.Orientation, px,
                 py);
    const int32_t runs = Runs(r);
    TStepCommand n{0, runs, ClampCompToInt(px - tx), ClampCompToInt(py - ty), r.Orientation};
    const bool last = i + 1 == Commands_.size();
    if (last && r.DX == 0 && r.DY == 0) n.DX = n.DY = 0;
    const int64_t moveX = px - tx, moveY = py - ty;
    sx += int64_t{runs} * r.DX;
    sy += int64_t{runs} * r.DY;
    tx += int64_t{runs} * moveX;
    ty += int64_t{runs} * moveY;
    out.push_back(n);
  }
  auto* result = new TStepObject(std::move(out));
  TransformCache_.push_back(TTransformNode{m, Cache(result)});
  if (Nested_) result->SetNested(Nested_->Transformed(m));
  return result;
}

TStepObject* TStepObject::ReplaceLevel(TStepObject* target, const TStepCommandList* newCommands,
                                       bool& emptied) {
  emptied = false;
  auto lookup = [&]() -> TStepObject* {
    for (const TReplaceNode& n : ReplaceCache_) {
      if (n.Target != target || n.Key.has_value() != (newCommands != nullptr)) continue;
      if (newCommands == nullptr || *n.Key == *newCommands) return n.Result;
    }
    return nullptr;
  };
  auto remember = [&](TStepObject* result) {
    ReplaceCache_.push_back(TReplaceNode{
        target, newCommands ? std::optional<TStepCommandList>(*newCommands) : std::nullopt,
        Cache(result)});
    return result;
  };

  if (this == target) {
    if (newCommands == nullptr) {
      emptied = Nested_ == nullptr;
      return Nested_;
    }
    if (TStepObject* found = lookup()) return found;
    auto* result = new TStepObject(*newCommands);
    if (Nested_) result->SetNested(Nested_);
    return remember(result);
  }
  if (Nested_ == nullptr) return nullptr;
  TStepObject* r = Nested_->ReplaceLevel(target, newCommands, emptied);
  if (r == nullptr && !emptied) return nullptr;
  TStepObject* found = lookup();
  if (found == nullptr) {
    found = new TStepObject(Commands_);
    if (r) found->SetNested(r);
    remember(found);
  }
  emptied = false;
  return found;
}

TStepObject* TStepObject::AppendLevel(TStepObject* outer) {
  if (outer && outer->ChainHolds(this)) return nullptr;
  TStepObject* key = Nested_ ? Nested_->AppendLevel(outer) : outer;
  for (const TAppendNode& n : AppendCache_)
    if (n.Key == key) return n.Result;
  auto* result = key ? new TStepObject(Commands_, key) : new TStepObject(Commands_);
  AppendCache_.push_back(TAppendNode{key, Cache(result)});
  return result;
}

void TStepObject::BeginCopies(const std::vector<TIntPoint>* points) {
  CopySource_ = points;
  Cursor_ = 0;
}

bool TStepObject::NextCopy(std::vector<TIntPoint>& copy, bool& mirrored) {
  copy.clear();
  if (Cursor_ >= Offsets_.size()) return false;
  const TStepCommand& r = Offsets_[Cursor_];
  if (CopySource_) {
    copy.reserve(CopySource_->size());
    for (const TIntPoint& p : *CopySource_) {
      TIntPoint q;
      StepTransformPointNoExtra(p.X, p.Y, r.DX, r.DY, r.Orientation > 7 ? 0 : r.Orientation, q.X,
                                q.Y);
      copy.push_back(q);
    }
  }
  mirrored = StepOrientationMirrored(r.Orientation);
  ++Cursor_;
  return true;
}

bool TStepObject::NextCopyPoint(TIntPoint& point) {
  if (Cursor_ >= Offsets_.size()) return false;
  const TStepCommand& r = Offsets_[Cursor_];
  if (CopySource_ && !CopySource_->empty()) {
    const TIntPoint& p = CopySource_->front();
    StepTransformPointNoExtra(p.X, p.Y, r.DX, r.DY, r.Orientation > 7 ? 0 : r.Orientation,
                              point.X, point.Y);
  }
  ++Cursor_;
  return true;
}

uint16_t TStepObject::CopyCount() const { return CopyCount_; }

namespace {
TEditStepDialogProc StepDialog;
}  // namespace

void SetEditStepDialog(TEditStepDialogProc dialog) { StepDialog = std::move(dialog); }
bool ExecuteEditStepDialog(TEditStepLists& lists) { return StepDialog ? StepDialog(lists) : false; }

std::function<bool()> AutoStepDialog;
void SetStepRepeatDialog(std::function<bool()> dialog) { AutoStepDialog = std::move(dialog); }
bool ConfirmAutoStepRepeat() { return AutoStepDialog ? AutoStepDialog() : true; }
