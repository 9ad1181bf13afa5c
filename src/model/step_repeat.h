// Step-and-repeat: command lists in the manner of M-code step-and-repeat,
// the engine that expands them into copy offsets (three nested levels, eight
// orientations), the conversion of orientation codes between machine axis
// versions, and the step object that entities share by reference count.
//
// Orientation code (three bits): 1 exchanges X and Y, 2 negates X, 4 negates
// Y; the negations act before the exchange (StepTransformPoint). Code 0 is
// the identity; codes 8 and above count as 0.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "foundation/geometry.h"

// One step-and-repeat command, also used for an expanded offset.
struct TStepCommand {
  uint8_t Command = 0;      // 0 = step (offset); any other value = pattern mark
  int32_t Count = 1;        // repeat count; 0 or less runs once
  int32_t DX = 0;           // offset in database units
  int32_t DY = 0;
  uint8_t Orientation = 0;  // 0..7
  bool operator==(const TStepCommand&) const = default;
};

// A command list in order (a pattern starts with a mark {1, 1, 0, 0, 0}).
using TStepCommandList = std::vector<TStepCommand>;

// Empties a list and gives its memory back.
void FreeStepCommands(TStepCommandList& list);

// ---- Orientation tables ------------------------------------------------------

// StepCompositionTable[outer][inner]: the code of "inner, then outer".
extern const uint8_t StepCompositionTable[8][8];
// AxisVersionTable[row - 1][version - 1]: the orientation code that the row
// stands for on a machine of that axis version (rows and versions 1..8).
extern const uint8_t AxisVersionTable[8][8];

// True when the orientation reverses the sense of rotation (its transform has
// a negative determinant): codes 1, 2, 4 and 7. A mirrored copy runs its arcs
// the other way and exchanges the compensation sides. Codes 8 and above: false.
bool StepOrientationMirrored(uint8_t code);

// The code of `code` (on a machine of axis version `from`) for a machine of
// version `to`: the first row whose column `from` holds the code gives its
// entry in column `to`. False when the code is 8 or more, a version lies
// outside 1..8, or no row holds the code.
bool ConvertOrientationVersion(uint8_t code, int32_t from, uint8_t& result, int32_t to);

// The offset of a pattern origin for the eight orientations of a W x H block:
// 0 (X, Y); 1 (X-W+H, Y-H+W); 2 (X-2W, Y); 3 (X-W+H, Y-W-H); 4 (X, Y-2H);
// 5 (X-W-H, Y+W-H); 6 (X-2W, Y-2H); 7 (X-W-H, Y-W-H); codes 8 and above as 0.
// Results are limited to +-2,147,483,647.
void OrientOffset(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t code, int32_t& outX,
                  int32_t& outY);

// True when every element of the two matrices differs by less than 2.0.
bool SameMatrix(const TMatrix3& a, const TMatrix3& b);

// ---- Expansion ---------------------------------------------------------------

// Most copies one expansion produces; more is reported as an error.
constexpr int32_t kMaxStepCopies = 65535;
// Most levels a list nests (a pattern mark opens one); a further mark is an
// error, so a chain of more step objects than this never expands whole.
constexpr int32_t kMaxStepLevels = 3;

// Expands a command list into offsets. Absolute mode: one record {0, 1, dx,
// dy, orientation} per copy (the unmoved original is not in the list).
// Relative mode: a leading mark {1, 1, 0, 0, 0}, one record per copy holding
// the move from the previous copy, and a closing {0, 1, 0, 0, 0}.
// Returns true without error and position 0. On error (a fourth level, a step
// outside any level, an offset beyond +-2,147,483,647, more than
// kMaxStepCopies copies) returns false with the offsets built so far and the
// 1-based position of the command being run, never 0.
bool ExpandStepList(bool relative, const TStepCommandList& commands, TStepCommandList& offsets,
                    int32_t& position);

// While one lives, an expansion that stops at an error shows no box: the
// code that made the object looks at Whole() and says what it did instead
// (an edit or import that would make a pattern that cannot expand leaves
// it out).
class TQuietStepExpansion {
 public:
  TQuietStepExpansion();
  ~TQuietStepExpansion();
  TQuietStepExpansion(const TQuietStepExpansion&) = delete;
  TQuietStepExpansion& operator=(const TQuietStepExpansion&) = delete;
};

// ---- Step objects ----------------------------------------------------------

// A step-and-repeat pattern that entities point to. Created with reference
// count 0; every entity that holds it takes a reference (AddRef) and gives it
// back with ReleaseStepObject. A nested chain holds a reference on each outer
// level, and each cached derived object (Transformed, ReplaceLevel,
// AppendLevel) is held by one reference of its cache.
class TStepObject {
 public:
  // Takes the list and expands it; an expansion error is shown as
  // "Step && Repeat Crash.  Error Line: " and the position (unless a
  // TQuietStepExpansion lives), and the offsets built up to the error are
  // kept.
  explicit TStepObject(TStepCommandList commands);
  virtual ~TStepObject();
  TStepObject(const TStepObject&) = delete;
  TStepObject& operator=(const TStepObject&) = delete;

  void AddRef() { ++RefCount_; }
  // Count - 1; true when it is now below 1 (the caller then deletes it).
  bool Release() { return --RefCount_ < 1; }
  bool IsUnused() const { return RefCount_ < 1; }
  int32_t RefCount() const { return RefCount_; }

  const TStepCommandList& Commands() const { return Commands_; }
  const TStepCommandList& Offsets() const { return Offsets_; }
  // The last expansion of the chain ended without an error.
  bool Whole() const { return Whole_; }
  // This object and every level below it expanded without an error.
  bool ChainWhole() const;
  TStepObject* Nested() const { return Nested_; }

  // The n-th object of the nested chain (1 = this one); nullptr past the end.
  TStepObject* GetLevel(int32_t n);
  // Objects in the chain from here (1 when nothing is nested).
  int32_t LevelCount() const;
  // This object's commands followed by those of every nested level.
  TStepCommandList FlattenCommands() const;

  // Replaces the nested object (the old one released), takes a reference on
  // the new one (may be nullptr), expands the whole chain again and forgets
  // the derived objects, which were built on the old chain. A nested object
  // whose chain holds this object is refused (nothing changes).
  void SetNested(TStepObject* nested);
  // Expands the chain again without changing it.
  void Reexpand();

  // The step object for an entity moved by the matrix (cached per matrix,
  // matrices equal by SameMatrix sharing one result).
  TStepObject* Transformed(const TMatrix3& m);
  // Whether Transformed made a result that is still cached.
  bool HasTransforms() const { return !TransformCache_.empty(); }
  // The result Transformed gave for the matrix already, or nullptr.
  TStepObject* TransformedBefore(const TMatrix3& m) const;
  // A chain equal to this one with the level `target` replaced by a new
  // object on *newCommands, or removed when newCommands is nullptr. Returns
  // nullptr when target is not in the chain; also nullptr with emptied set
  // when removing the only level left nothing. Equal requests share results.
  TStepObject* ReplaceLevel(TStepObject* target, const TStepCommandList* newCommands,
                            bool& emptied);
  // A chain equal to this one with `outer` added as the outermost level;
  // nullptr when outer's chain holds this object.
  TStepObject* AppendLevel(TStepObject* outer);

  // The copy walk: BeginCopies(points); while (NextCopy(copy, mirrored)) use
  // the copy. The points (not owned) must outlive the walk.
  void BeginCopies(const std::vector<TIntPoint>* points);
  // The next copy of every point; false (and an empty copy) when all copies
  // are done. mirrored tells whether the copy's orientation is mirrored.
  bool NextCopy(std::vector<TIntPoint>& copy, bool& mirrored);
  // The next copy of the first point alone; false at the end (point untouched).
  bool NextCopyPoint(TIntPoint& point);
  // Number of copies (offset records with command 0).
  uint16_t CopyCount() const;
  // Widens min and max by every copy the walk makes of the point: the copies
  // of one orientation lie between the point moved by their least and by
  // their greatest offsets, so each orientation is looked at once, not each
  // copy.
  void ExtendByCopies(const TIntPoint& point, TIntPoint& min, TIntPoint& max) const;
  // Whether every copy the walk makes of the point lies inside
  // +-2,147,483,647. A copy past it would be limited onto the edge, where
  // the copies beyond stack on one another: an entity whose copies leave
  // the range has a pattern that cannot expand, as one whose chain is not
  // whole (ChainWhole).
  bool CopiesInRange(const TIntPoint& point) const;

 private:
  struct TTransformNode {
    TMatrix3 Matrix;
    TStepObject* Result;
  };
  struct TReplaceNode {
    TStepObject* Target;
    std::optional<TStepCommandList> Key;
    TStepObject* Result;
  };
  struct TAppendNode {
    TStepObject* Key;
    TStepObject* Result;
  };

  // The least and greatest offsets of the copies of each orientation, and
  // the number of copies, worked out with each expansion.
  struct TOffsetRange {
    bool Any = false;
    int32_t MinDX = 0, MaxDX = 0, MinDY = 0, MaxDY = 0;
  };

  // A level over a nested chain (a reference taken on it), the whole chain
  // expanded once: AppendLevel's result, which expanding the level alone
  // first would only throw away.
  TStepObject(TStepCommandList commands, TStepObject* nested);

  void Expand();
  bool ComposeOverNested();
  void TakeOffsetRanges();
  void ClearCaches();
  bool ChainHolds(const TStepObject* object) const;
  TStepObject* Cache(TStepObject* result);

  TStepCommandList Commands_;
  const std::vector<TIntPoint>* CopySource_ = nullptr;
  TStepCommandList Offsets_;
  std::size_t Cursor_ = 0;
  int32_t RefCount_ = 0;
  std::vector<TTransformNode> TransformCache_;
  TStepObject* Nested_ = nullptr;
  std::vector<TReplaceNode> ReplaceCache_;
  std::vector<TAppendNode> AppendCache_;
  std::array<TOffsetRange, 8> OffsetRanges_{};
  uint16_t CopyCount_ = 0;
  // The last expansion ended without an error, and the levels of the chain
  // it expanded.
  bool Whole_ = false;
  int32_t ExpandedLevels_ = 1;
};

// Gives back one reference and deletes the object when it is unused; sets the
// pointer to nullptr. Does nothing for nullptr.
void ReleaseStepObject(TStepObject*& object);

// ---- The Edit Steps dialog ---------------------------------------------------

// The three command lists of a step object's levels 1..3 as the Edit Steps
// dialog shows and returns them; an absent level has no list.
using TEditStepLists = std::array<std::optional<TStepCommandList>, 3>;
// The dialog: edits the lists in place; false on Cancel (lists unchanged).
using TEditStepDialogProc = std::function<bool(TEditStepLists& lists)>;
// Installs the dialog (the program does so at start-up); an empty function
// removes it. With none installed the dialog answers Cancel.
void SetEditStepDialog(TEditStepDialogProc dialog);
bool ExecuteEditStepDialog(TEditStepLists& lists);

// The automatic step-and-repeat dialog that the Auto Step & Repeat command
// runs before the entities are picked: true when the settings were confirmed.
// Installed at start-up; with none installed the settings stand as they are.
void SetStepRepeatDialog(std::function<bool()> dialog);
bool ConfirmAutoStepRepeat();

// The step object of an imported pattern: the list, moved by (dx, dy) when
// either is not 0. The caller holds one reference and gives it back with
// ReleaseStepObject once the pattern's entities took theirs.
TStepObject* NewMovedStepObject(const TStepCommandList& commands, int32_t dx, int32_t dy);
