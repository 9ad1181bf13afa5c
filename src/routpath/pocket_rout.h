// Pocket routs and the full-panel (web) rout: closed CAD outlines become
// rout paths on the current rout layer with the current rout tool.
//
// A pocket rout clears the inside of one picked closed outline with
// parallel passes and then cuts the outline itself, offset inwards by the
// tool radius; closed chains and circles lying inside the outline are
// islands that the passes go around (each offset outwards and cut as well).
// The milled pocket rout does the same at a Z depth with closer passes.
// The full-panel rout offsets every closed chain of CAD lines and arcs on
// the active layers outwards by the tool radius, removes the cuts that run
// twice along one channel and chains the rest into paths; with Pocket
// Dusting it also clears the inside of each chain.
//
// Each rout is all or nothing and one undo step; the compensation mode is
// none while it writes and is given back afterwards.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/geometry.h"
#include "model/rout_database.h"
#include "routpath/auto_rout.h"
#include "routpath/contour_offset.h"
#include "routpath/ring_cleaner.h"

// Chord tolerance of the pass fill (0.015 in) and the resolution the
// offsets scale their tolerances by (0.001 in).
constexpr double kPocketChordTolerance = 381000.0;
constexpr double kRoutOffsetResolution = 25400.0;

// Raised when the user cancels a long rout; the rout is then taken back.
class ERoutCancelled : public std::runtime_error {
 public:
  ERoutCancelled() : std::runtime_error("Rout cancelled.") {}
};

// Half the diameter of the current tool of the current rout layer (0 when
// the layer has no tool).
int32_t CurrentToolRadius();
// The diameter of that tool.
int32_t CurrentToolDiameter();

// Pass spacing and the inset of each pass's ends: pocket 2R and R,
// milled pocket 1.6R and 0.
struct TPocketSpacing {
  int32_t Spacing = 0;
  int32_t Inset = 0;
};
TPocketSpacing PocketSpacing(int32_t toolRadius, bool milled);

// Writes cuts into the current rout layer: a cut after a move starts a new
// path with a jog and carries the Z depth (NoZOffset for none); the cuts
// after it continue the path.
class TRoutWriter {
 public:
  TRoutWriter(TRoutDatabase& rtdb, int32_t zDepth) : Db(rtdb), ZDepth(zDepth) {}
  void MoveTo(const TIntPoint& p);
  void LineTo(const TIntPoint& p);
  void ArcTo(const TIntPoint& p, const TIntPoint& centre, bool clockwise);
  const TIntPoint& Last() const { return Last_; }
  bool PenUp() const { return PenUp_; }

 private:
  void StartPath();
  TRoutDatabase& Db;
  int32_t ZDepth;
  TIntPoint Last_{};
  bool PenUp_ = true;
};

// A contour that keeps its offset as a closed ring: each segment ends at its
// point and starts at the point of the one before it (the first follows
// the last). Corner arc pieces continuing an arc of the same direction and
// centre extend it.
class TPocketContour : public TContourList {
 public:
  // Offsets the closed contour and returns the ring (empty when the offset
  // gave fewer than two segments).
  std::vector<TRingSegment> OffsetRing(uint8_t side, int32_t radius);
  // The side that puts the offset inside the closed contour.
  uint8_t InsideSide() const { return OutsideSide() == 0 ? 1 : 0; }

 protected:
  void MoveTo(int32_t x, int32_t y) override;
  void LineTo(int32_t x, int32_t y, int32_t tag) override;
  void ArcToCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) override;
  void ArcToCCW(int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy) override;

 private:
  void AddArc(uint8_t kind, int32_t x, int32_t y, int32_t tag, int32_t cx, int32_t cy);
  std::vector<TRingSegment> Ring_;
  TIntPoint Start_{};
  TIntPoint At_{};
};

// Puts a linked closed chain into cut order: the first entity runs towards
// the second (backwards on a tie), each later one from the end reached.
void OrientChain(std::vector<TProfileEntity>& chain);
// Builds the closed contour of an oriented chain; ends that do not meet
// exactly are joined at their midpoint.
void ContourOfChain(TContourList& contour, std::vector<TProfileEntity> chain);
// The contour of a CAD circle (two counter-clockwise halves).
void ContourOfCircle(TContourList& contour, const TIntPoint& centre, int32_t radius);

// Writes a ring as one path (moves inside it start new paths).
void WriteRing(TRoutWriter& writer, const std::vector<TRingSegment>& ring);

// The pocket rout of a closed chain of CAD lines and arcs (the handles of
// the chain in path order, as linked). milled routs at zDepth (NoZOffset:
// the tool's own depth) with closer passes. Unless quiet the rout is named
// "Pocket Rout" or "Milled Pocket Rout" in the undo journal. Raises
// EHatchFill for a tool too small to space passes; everything written is
// then taken back.
void PocketRout(TRoutDatabase& rtdb, bool milled, TRootEntityHandle* path, bool quiet,
                int32_t zDepth);

// The full-panel rout of every closed chain of the active CAD layers
// (command "Auto Web Rout"); one undo step "Full Panel AutoRout". False
// when nothing was written.
bool FullPanelAutoRout(TRoutDatabase& rtdb, bool pocketDusting);

// Saves the compensation mode and the auto rout settings; sets the working
// mode (none unless told) while a generation writes. Restores the settings
// unless committed and always gives the compensation mode back.
class TRoutSettingsScope {
 public:
  explicit TRoutSettingsScope(TRoutDatabase& rtdb, uint8_t workingCompensation = 0);
  ~TRoutSettingsScope();
  TRoutSettingsScope(const TRoutSettingsScope&) = delete;
  TRoutSettingsScope& operator=(const TRoutSettingsScope&) = delete;
  void Commit() { Committed = true; }
  uint8_t SavedCompensation() const { return Compensation; }

 private:
  TRoutDatabase& Db;
  uint8_t Compensation;
  TAutoRoutSettings AutoRout;
  TFullPanelInlineRout Inline;
  bool Committed = false;
};

