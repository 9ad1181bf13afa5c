// The four drill entity types of the drill store: the plain hole, the
// drilled slot, the drilled circle and the drilled text.
//
// Every drill entity carries one drill tool (1..1000) whose diameter comes
// from ToolTable, and may carry a shared step-and-repeat object: the entity
// then stands for itself plus one copy per expanded step offset, and drawing,
// picking, snapping, hit counting and extents treat the copies like the
// entity. An entity whose tool is not active (ActiveTools) is neither drawn,
// erased, pushed, picked, snapped nor selected.
//
// Band masks (XBand, YBand) always cover the entity, its step copies and half
// the tool's diameter around them; every change of position, tool or step
// object recomputes them.
//
// Distance protocol of the four searches: a distance is a non-negative int32,
// NotNearDrill (2147483647) meaning nothing near; a candidate is taken only
// when 0 <= d < Best, and the search box then shrinks to the query point plus
// or minus d. A take writes the snap record (SnapPointX, SnapPointY,
// SnapPointFound).
//
// A tool number outside 1..1000 has no table entry: such an entity counts as
// inactive and of diameter 0; the database refuses such numbers where they
// enter.
#pragma once
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/entity_store.h"
#include "model/root_entity.h"
#include "model/step_repeat.h"

class TDrawingBase;
class TProgressiveCopy;

constexpr int32_t NotNearDrill = 2147483647;

// ---- Shared state -------------------------------------------------------------

// The point found by the last successful snap or pick search and what it
// belongs to: 1 an entity without a step object, 2 the own point of a stepped
// entity, 0 a step copy.
extern int32_t SnapPointX;
extern int32_t SnapPointY;
extern uint8_t SnapPointFound;
// The point list that BeginStepCopies hands to the step object's copy walk.
extern std::vector<TIntPoint> StepScratchPoint;

// Tool helpers that never index outside the tables.
int32_t DrillToolDiameter(int32_t tool);   // 0 outside 1..1000
bool DrillToolActive(int32_t tool);        // false outside 1..1000
// The cusp limit of slot and circle hit counts: DRDB's "Cusp Default", 12,700
// while no drill database exists.
int32_t DrillCuspLimit();

// Round(sqrt(dx^2 + dy^2)), ties to even, saturating.
int32_t DrillPointDistance(int64_t dx, int64_t dy);

// What converting a drill layer into CAD geometry adds to the drawing; the
// conversion command installs its target. Without one, Push adds nothing.
class TCadConversionTarget {
 public:
  virtual ~TCadConversionTarget() = default;
  virtual void AddCadCircle(int32_t x, int32_t y, int32_t radius) = 0;
  virtual void AddCadStrokeText(int32_t x, int32_t y, uint16_t tool) = 0;
  virtual void AddCadDrillSymbol(int32_t x, int32_t y, uint16_t tool) = 0;
  virtual void AddCadSlotLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  virtual void AddCadSlotOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                 int32_t diameter) = 0;
};
// Installs the target (not owned); returns the previous one.
TCadConversionTarget* SetCadConversionTarget(TCadConversionTarget* target);
TCadConversionTarget* CadConversionTarget();

// Whether a redraw paints the plain holes (no step copies) that show as
// pixels or symbols on the screen picture in runs, a canvas call for many
// holes; off, every entity draws itself. The picture is the same either
// way.
extern bool PaintHoleRuns;

class TDrillEntity;
// Draws a layer's entities in order as each one's Draw(layer) would, and
// ticks the progressive copy after each; the surface, its canvas and the
// view are left as those draws leave them.
void DrawDrillLayer(const std::vector<TDrillEntity*>& entities, uint8_t layer,
                    TProgressiveCopy& copy);

// ---- Entity base ---------------------------------------------------------------

class TDrillEntity : public TRootDBObject {
 public:
  // Releases the entity's reference on its step object.
  ~TDrillEntity() override;

  // ---- Root operations ----
  void Erase() override;
  void GetPoint(TIntPoint& point) override;
  void GetSecondPoint(TIntPoint& point) override;  // "GetSecondPoint called on non-Slot!"
  int32_t GetRadius() override;                     // "GetRadius called on non-Circle entity"
  void SetPoint(const TIntPoint& point) override;
  void SetSecondPoint(const TIntPoint& point) override;
  // Moves the entity by the matrix: either every point and the step object
  // change, or (a point would leave the database extent) nothing does and
  // the result is false.
  bool Transform(const TMatrix3& matrix) override;
  TStepObject* GetStepObj() override { return StepObj; }
  void SetStepObj(TStepObject* step) override;
  // Adds the pattern as the outermost level of the entity's own; the old
  // pattern stays when the two cannot be combined.
  void AppendStepObj(TStepObject* step) override;
  void GetCentre(TIntPoint& point) override { MidPoint(point); }
  // The bands of the extent Reach gives.
  void ComputeShadow() override;

  // ---- Drill operations ----
  // The extent of the entity and its step copies: the points from mn to mx,
  // widened by half each way.
  virtual void Reach(TIntPoint& mn, TIntPoint& mx, int64_t& half);
  // Adds to the screen picture's stale box what the entity's marks, its
  // copies' included, may paint (while the picture tracks it).
  void MarkStale(TDrawingBase& surface);
  virtual void SetRadius(int32_t radius);
  virtual void GetString(std::string& text);
  virtual void SetString(const std::string& text);
  virtual bool GetVertical();
  virtual void SetVertical(bool vertical);
  uint16_t GetToolNumber() const { return Tool; }
  void SetToolNumber(uint16_t tool);
  // The first point lies in the box (borders included) and the tool is active.
  bool InsideWindow(const TIntBox& box);
  // The whole entity lies in the box: what window selection asks.
  virtual bool InWindowTest(const TIntBox& box);
  virtual void MidPoint(TIntPoint& point);
  virtual void DefString(std::string& text);
  virtual void PerpPoint(const TIntPoint& from, TIntPoint& point);
  virtual int32_t DistanceToPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy);
  // As DistanceToPoint, step copies included; point receives the found point.
  virtual int32_t DistanceToPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                           TIntPoint& point);
  virtual int32_t NearestSnapPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                   int32_t& sx, int32_t& sy);
  virtual int32_t NearestSnapPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                            int32_t& sx, int32_t& sy);
  // Hits of the expanded entity, step copies included; saturates at
  // 2,147,483,647.
  virtual int32_t HitCount();
  // A new entity of the same type and fields sharing the step object
  // (caller owns it).
  virtual TDrillEntity* Clone() = 0;
  // The copy walk of the first point through StepScratchPoint: false when the
  // entity has no step object.
  bool BeginStepCopies();
  bool NextStepCopy(TIntPoint& point);
  // The colour Draw paints the entity in on the surface, and the one of its
  // step copies.
  void DrawColours(TDrawingBase& s, uint8_t layer, TColor& own, TColor& copies);

  uint16_t XBand = 0;
  uint16_t YBand = 0;
  int32_t X = 0;
  int32_t Y = 0;
  uint16_t Tool = 0;
  TStepObject* StepObj = nullptr;

  // The points that step copies move (first point; slot: both ends).
  virtual std::vector<TIntPoint> StepPoints();

 protected:
  // Stores the point and tool and sets DatabaseModified; the concrete type's
  // constructor computes the shadow once its own fields are set.
  TDrillEntity(const TIntPoint& point, uint16_t tool);
  // The same, leaving DatabaseModified alone (an entity made ahead of the
  // job it is meant for).
  TDrillEntity(const TIntPoint& point, uint16_t tool, bool /*ahead*/)
      : X(point.X), Y(point.Y), Tool(tool) {}
  // Every step copy of the point list, in order.
  template <class F>
  void ForEachCopy(const std::vector<TIntPoint>& points, F&& f);
  // The search primitive: the point's distance from the query when inside
  // the box, else NotNearDrill.
  static int32_t BoxedDistance(const TIntBox& box, int32_t x, int32_t y, int32_t qx, int32_t qy);
  static void NarrowBox(TIntBox& box, int32_t qx, int32_t qy, int32_t d);
  void SetSnap(int32_t x, int32_t y, bool copy);
  // Multiplies a single entity's hits by the number of copies, saturating.
  int32_t TimesCopies(int64_t hits);
  // Sets the new step object: takes a reference first, then gives back the
  // old one.
  void ReplaceStepObj(TStepObject* step);
};

template <class F>
void TDrillEntity::ForEachCopy(const std::vector<TIntPoint>& points, F&& f) {
  if (StepObj == nullptr) return;
  std::vector<TIntPoint> copy;
  bool mirrored = false;
  StepObj->BeginCopies(&points);
  while (StepObj->NextCopy(copy, mirrored)) f(copy);
  StepObj->BeginCopies(nullptr);
}

// ---- Hole ------------------------------------------------------------------------

class TDrillHole final : public TDrillEntity {
 public:
  TDrillHole(const TIntPoint& point, uint16_t tool);
  // A hole made ahead of the job it is meant for (a job file being read):
  // its bands are those of a tool of the diameter given, since the job's
  // tool table may not hold the file's yet, and DatabaseModified stays as
  // it is. Inline: a job brings holes by the million.
  TDrillHole(const TIntPoint& point, uint16_t tool, int32_t diameter)
      : TDrillEntity(point, tool, true) {
    const int32_t h = diameter / 2;
    XBand = WidenedBands(point.X, h);
    YBand = WidenedBands(point.Y, h);
  }
  // Holes come by the hundred thousand with a tape or a job: they are carved
  // from shared blocks instead of one heap allocation each. Every delete,
  // wherever it happens, gives the hole back to its block.
  static void* operator new(std::size_t size);
  static void operator delete(void* p) noexcept;
  uint8_t GetType() override { return etDrillHole; }
  void DrawColour(TColor colour) override;
  void Erase() override;
  void Draw(uint8_t layer) override;
  void Push() override;
  void Reach(TIntPoint& mn, TIntPoint& mx, int64_t& half) override;
  TDrillEntity* Clone() override;

 private:
  // The bands of a coordinate widened by h on both sides, held within 32
  // bits (an overflow, which a coordinate at the edge of the range and a
  // tool may give, saturates).
  static uint16_t WidenedBands(int32_t v, int32_t h) {
    int32_t lo, hi;
    if (__builtin_sub_overflow(v, h, &lo)) lo = h > 0 ? INT32_MIN : INT32_MAX;
    if (__builtin_add_overflow(v, h, &hi)) hi = h > 0 ? INT32_MAX : INT32_MIN;
    return BandMask(lo, hi);
  }
};

// ---- Slot ------------------------------------------------------------------------

class TDrillSlot final : public TDrillEntity {
 public:
  TDrillSlot(const TIntPoint& p1, const TIntPoint& p2, uint16_t tool);
  // From a pool of their own, as the holes.
  static void* operator new(std::size_t size);
  static void operator delete(void* p) noexcept;
  uint8_t GetType() override { return etDrillSlot; }
  void DrawColour(TColor colour) override;
  void Erase() override;
  void Draw(uint8_t layer) override;
  void Push() override;
  void Reach(TIntPoint& mn, TIntPoint& mx, int64_t& half) override;
  void GetSecondPoint(TIntPoint& point) override { point = {X2, Y2}; }
  void SetSecondPoint(const TIntPoint& point) override;
  // Both ends or neither: false, with the slot unchanged, when either end
  // would leave the database extent.
  bool Transform(const TMatrix3& matrix) override;
  bool InWindowTest(const TIntBox& box) override;
  void MidPoint(TIntPoint& point) override;
  void DefString(std::string& text) override;
  void PerpPoint(const TIntPoint& from, TIntPoint& point) override;
  int32_t DistanceToPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy) override;
  int32_t DistanceToPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                   TIntPoint& point) override;
  int32_t NearestSnapPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy, int32_t& sx,
                           int32_t& sy) override;
  int32_t NearestSnapPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                    int32_t& sx, int32_t& sy) override;
  int32_t HitCount() override;
  TDrillEntity* Clone() override;

  // Distance from the query point to the centre segment between the ends.
  static int32_t SegmentDistance(const TIntBox& box, const TIntPoint& a, const TIntPoint& b,
                                 int32_t qx, int32_t qy);

  int32_t X2 = 0;
  int32_t Y2 = 0;

  std::vector<TIntPoint> StepPoints() override;

 private:
  void Paint(const std::vector<TIntPoint>& ends, bool outlineMode);
};

// ---- Circle ----------------------------------------------------------------------

class TDrillCircle final : public TDrillEntity {
 public:
  TDrillCircle(const TIntPoint& centre, int32_t radius, uint16_t tool);
  uint8_t GetType() override { return etDrillCircle; }
  void DrawColour(TColor colour) override;
  void Erase() override;
  void Draw(uint8_t layer) override;
  void Push() override;
  void Reach(TIntPoint& mn, TIntPoint& mx, int64_t& half) override;
  int32_t GetRadius() override { return Radius; }
  void SetRadius(int32_t radius) override;
  bool InWindowTest(const TIntBox& box) override;
  void DefString(std::string& text) override;
  void PerpPoint(const TIntPoint& from, TIntPoint& point) override;
  int32_t DistanceToPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy) override;
  int32_t DistanceToPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                   TIntPoint& point) override;
  int32_t HitCount() override;
  TDrillEntity* Clone() override;

  // The radius of the ring's inner edge: Radius less the tool's diameter,
  // never below 0.
  int32_t InnerRadius();
  // Distance from the query point to the ring about (cx, cy); a point near
  // the centre also counts as near.
  int32_t RingDistance(int32_t cx, int32_t cy, int32_t qx, int32_t qy);

  int32_t Radius = 0;
};

// ---- Text ------------------------------------------------------------------------

class TDrillText final : public TDrillEntity {
 public:
  TDrillText(const TIntPoint& point, const std::string& text, bool vertical, uint16_t tool);
  uint8_t GetType() override { return etDrillText; }
  void DrawColour(TColor colour) override;
  void Erase() override;
  void Draw(uint8_t layer) override;
  void Push() override;
  void Reach(TIntPoint& mn, TIntPoint& mx, int64_t& half) override;
  // The far corner of the laid-out text: position plus its extent.
  void GetSecondPoint(TIntPoint& point) override;
  void GetString(std::string& text) override { text = Text; }
  void SetString(const std::string& text) override;
  bool GetVertical() override { return Vertical; }
  void SetVertical(bool vertical) override;
  bool InWindowTest(const TIntBox& box) override;
  void MidPoint(TIntPoint& point) override;
  void DefString(std::string& text) override;
  void PerpPoint(const TIntPoint& from, TIntPoint& point) override;
  int32_t DistanceToPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy) override;
  int32_t DistanceToPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                   TIntPoint& point) override;
  int32_t NearestSnapPoint(TIntBox& box, int32_t best, int32_t qx, int32_t qy, int32_t& sx,
                           int32_t& sy) override;
  int32_t NearestSnapPointWithSteps(TIntBox& box, int32_t best, int32_t qx, int32_t qy,
                                    int32_t& sx, int32_t& sy) override;
  int32_t HitCount() override;
  TDrillEntity* Clone() override;

  // Width and height of the laid-out text (signed: an oriented layout may
  // run left or down from the position).
  void Extent(int32_t& width, int32_t& height);
  // The orientation the text is laid out in: Version with
  // TextFlipsWithVersion set, else 1.
  static uint8_t LayoutOrientation();
  // The laid-out rectangle at position (x, y), normalised.
  TIntBox RectangleAt(int32_t x, int32_t y);
  // Distance from the query point to the rectangle (0 inside).
  static int32_t RectangleDistance(const TIntBox& r, int32_t qx, int32_t qy);
  // The nearest dot of the text at position p: p becomes the dot, d its
  // distance; false (nothing changed) when the layout has no dot.
  bool NearestDot(TIntPoint& p, int32_t qx, int32_t qy, int32_t& d);

  std::string Text;
  bool Vertical = false;

 private:
  void PaintText(TDrawingBase& surface, int32_t x, int32_t y);
  void PushText(int32_t x, int32_t y);
  void PaintAll(TDrawingBase& surface, TColor copies, bool setCopies);
};
