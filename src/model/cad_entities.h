// The four entity types of the CAD drawing (layers 0 to 29): point, line,
// counter-clockwise arc and circle, with int32 coordinates in database units.
//
// Besides the operations every entity shares (TRootDBObject), a CAD entity
// answers the questions of picking, snapping, window selection, stretching,
// the clean-up's duplicate search and the redraw fast path. Every entity
// keeps a 16-bit X and Y band mask of its extent (BandMask) so a redraw can
// reject it with two ANDs; every change of geometry recomputes them.
//
// Every construction (adds, clones, loads) sets DatabaseModified.
//
// Distance protocol of DistanceToPoint and NearestPoint: a distance is a
// non-negative int32, 2147483647 meaning "not near". A caller searching many
// entities passes the same box and its best distance so far to each; an
// entity nearer than that best shrinks the box to the square of half-size d
// around the pick point, so entities further on are rejected by outcodes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/root_entity.h"

struct TMatrix3;
class TCanvas;
class TDrawingBase;

// "Not near" of the distance protocol.
constexpr int32_t NotNear = 2147483647;

// Which defining points lie in a stretch window: 1 when that point does.
struct TPointsInside {
  uint8_t P1 = 0;
  uint8_t P2 = 0;
  uint8_t P3 = 0;
  bool operator==(const TPointsInside&) const = default;
};

class TCadEntity : public TRootDBObject {
 public:
  // Both band masks 0; DatabaseModified := true. Each type stores its fields
  // and then runs ComputeShadow.
  TCadEntity();

  // ---- Root operations every CAD type supplies ----
  void DrawColour(TColor colour) override;
  void Erase() override;
  void Draw(uint8_t layer) override;
  void GetThirdPoint(TIntPoint& point) override;
  void SetThirdPoint(const TIntPoint& point) override;
  void GetCentre(TIntPoint& point) override;

  // ---- CAD operations ----
  // Numbers joined by "," (at most 255 characters): point X,Y,0; line the
  // normalised equation A,B,C; arc and circle centre X,Y and radius.
  virtual void InfoString(std::string& text) = 0;
  // XOR over the int32 fields of (value shr 16) and (value and $FFFF).
  virtual uint16_t HashKey() = 0;
  // A new entity of the same type with the same fields (caller owns it).
  virtual TCadEntity* Clone() = 0;
  // Point: the point twice; line: the two ends in stored order; arc and
  // circle: the box of the whole circle.
  virtual void GetExtents(TIntPoint& min, TIntPoint& max) = 0;
  // Distance from the pick point (x, y) to the entity; shrinks box when
  // 0 <= d < best (see the protocol above).
  virtual int32_t DistanceToPoint(TIntBox& box, int32_t best, int32_t x, int32_t y) = 0;
  // The nearest defining point in the box (earlier point wins a tie) into
  // (outX, outY) when nearer than best; shrinks the box like
  // DistanceToPoint and returns its distance.
  virtual int32_t NearestPoint(TIntBox& box, int32_t best, int32_t& outX, int32_t& outY,
                               int32_t x, int32_t y) = 0;
  virtual void MiddlePoint(TIntPoint& point) = 0;
  // Direction in degrees [0, 360): line first to second end, arc start to
  // end; 0 for points and circles.
  virtual double Angle() = 0;
  // Foot of the perpendicular from the point (line), its radial projection
  // (arc, circle), the point itself (point).
  virtual void PerpPoint(const TIntPoint& from, TIntPoint& point) = 0;
  virtual void TangentPoint(const TIntPoint& from, TIntPoint& point) = 0;
  // Mode 0: every tested point inside the box (borders included); mode 1:
  // every tested point outside; other modes false.
  virtual bool InsideWindow(const TIntBox& box, uint8_t mode) = 0;
  // Line only: exactly one end inside the box.
  virtual bool CrossesWindow(const TIntBox& box);
  // Line only: its ends' flags; all clear for the other types.
  virtual void PointsInWindow(const TIntBox& box, TPointsInside& inside);
  // Line only (the stretch): moves the ends whose flag is set; false, and
  // the entity unchanged, when an end would leave the database extent.
  virtual bool TransformPoints(const TMatrix3& matrix, const TPointsInside& which);
  virtual bool IsDuplicateOf(TRootDBObject& other) = 0;
  // Redraw fast path on the screen picture's canvas, the pen chosen by the
  // caller.
  virtual void FastDraw(TCanvas& canvas) = 0;
  // Construction marks as small X's on the picture's canvas.
  virtual void FastDrawMarks(TCanvas& canvas);
  // Adds to the screen picture's stale box what the entity and its
  // construction marks may paint (while the picture tracks it): an erase
  // paints the background over what lies beneath, and an entity drawn alone
  // lies over what a redraw paints after it.
  void MarkStale(TDrawingBase& surface);

  uint16_t XMask = 0;
  uint16_t YMask = 0;

 protected:
  // Paints the figure on the surface in its current pen.
  virtual void Paint(TDrawingBase& surface) = 0;
  // Marks the construction points with DrawXMark.
  virtual void PaintMarks(TDrawingBase&) {}
};

// Points, lines, arcs and circles come from pools of their own (one per
// class): imports bring them by the hundred thousand. A class derived from
// a line or an arc (of another size) takes its memory from the heap.
class TCadPoint final : public TCadEntity {
 public:
  TCadPoint(int32_t x, int32_t y);
  static void* operator new(std::size_t size);
  static void operator delete(void* p) noexcept;
  uint8_t GetType() override { return etCadPoint; }
  void ComputeShadow() override;
  void GetPoint(TIntPoint& point) override { point = {X, Y}; }
  void GetSecondPoint(TIntPoint& point) override;
  int32_t GetRadius() override;
  void SetPoint(const TIntPoint& point) override;
  void SetSecondPoint(const TIntPoint& point) override;
  bool Transform(const TMatrix3& matrix) override;
  void InfoString(std::string& text) override;
  uint16_t HashKey() override;
  TCadEntity* Clone() override;
  void GetExtents(TIntPoint& min, TIntPoint& max) override;
  int32_t DistanceToPoint(TIntBox& box, int32_t best, int32_t x, int32_t y) override;
  int32_t NearestPoint(TIntBox& box, int32_t best, int32_t& outX, int32_t& outY, int32_t x,
                       int32_t y) override;
  void MiddlePoint(TIntPoint& point) override { point = {X, Y}; }
  double Angle() override { return 0.0; }
  void PerpPoint(const TIntPoint&, TIntPoint& point) override { point = {X, Y}; }
  void TangentPoint(const TIntPoint&, TIntPoint& point) override { point = {X, Y}; }
  bool InsideWindow(const TIntBox& box, uint8_t mode) override;
  bool IsDuplicateOf(TRootDBObject& other) override;
  void FastDraw(TCanvas& canvas) override;

  int32_t X, Y;

 protected:
  void Paint(TDrawingBase& surface) override;
};

class TCadLine : public TCadEntity {
 public:
  TCadLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  static void* operator new(std::size_t size);
  static void operator delete(void* p, std::size_t size) noexcept;
  uint8_t GetType() override { return etCadLine; }
  void ComputeShadow() override;
  void GetPoint(TIntPoint& point) override { point = {X1, Y1}; }
  void GetSecondPoint(TIntPoint& point) override { point = {X2, Y2}; }
  int32_t GetRadius() override;
  void SetPoint(const TIntPoint& point) override;
  void SetSecondPoint(const TIntPoint& point) override;
  bool Transform(const TMatrix3& matrix) override;
  void InfoString(std::string& text) override;
  uint16_t HashKey() override;
  TCadEntity* Clone() override;
  void GetExtents(TIntPoint& min, TIntPoint& max) override;
  int32_t DistanceToPoint(TIntBox& box, int32_t best, int32_t x, int32_t y) override;
  int32_t NearestPoint(TIntBox& box, int32_t best, int32_t& outX, int32_t& outY, int32_t x,
                       int32_t y) override;
  void MiddlePoint(TIntPoint& point) override;
  double Angle() override;
  void PerpPoint(const TIntPoint& from, TIntPoint& point) override;
  void TangentPoint(const TIntPoint& from, TIntPoint& point) override;
  bool InsideWindow(const TIntBox& box, uint8_t mode) override;
  bool CrossesWindow(const TIntBox& box) override;
  void PointsInWindow(const TIntBox& box, TPointsInside& inside) override;
  bool TransformPoints(const TMatrix3& matrix, const TPointsInside& which) override;
  bool IsDuplicateOf(TRootDBObject& other) override;
  void FastDraw(TCanvas& canvas) override;
  void FastDrawMarks(TCanvas& canvas) override;

  int32_t X1, Y1, X2, Y2;

 protected:
  void Paint(TDrawingBase& surface) override;
  void PaintMarks(TDrawingBase& surface) override;
};

// Counter-clockwise from start to end; the radius is the distance from the
// centre to the start.
class TCadArc : public TCadEntity {
 public:
  TCadArc(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy);
  static void* operator new(std::size_t size);
  static void operator delete(void* p, std::size_t size) noexcept;
  uint8_t GetType() override { return etCadArc; }
  void ComputeShadow() override;
  void GetPoint(TIntPoint& point) override { point = {SX, SY}; }
  void GetSecondPoint(TIntPoint& point) override { point = {EX, EY}; }
  void GetThirdPoint(TIntPoint& point) override { point = {CX, CY}; }
  int32_t GetRadius() override;
  void SetPoint(const TIntPoint& point) override;
  void SetSecondPoint(const TIntPoint& point) override;
  void SetThirdPoint(const TIntPoint& point) override;
  // A uniform matrix maps the three points (start and end exchanged under a
  // mirror); any other matrix maps start, midpoint and end and rebuilds the
  // arc through them, refusing when they come out collinear.
  bool Transform(const TMatrix3& matrix) override;
  void GetCentre(TIntPoint& point) override { point = {CX, CY}; }
  void InfoString(std::string& text) override;
  uint16_t HashKey() override;
  TCadEntity* Clone() override;
  void GetExtents(TIntPoint& min, TIntPoint& max) override;
  int32_t DistanceToPoint(TIntBox& box, int32_t best, int32_t x, int32_t y) override;
  int32_t NearestPoint(TIntBox& box, int32_t best, int32_t& outX, int32_t& outY, int32_t x,
                       int32_t y) override;
  void MiddlePoint(TIntPoint& point) override;
  double Angle() override;
  void PerpPoint(const TIntPoint& from, TIntPoint& point) override;
  void TangentPoint(const TIntPoint& from, TIntPoint& point) override { PerpPoint(from, point); }
  bool InsideWindow(const TIntBox& box, uint8_t mode) override;
  bool IsDuplicateOf(TRootDBObject& other) override;
  void FastDraw(TCanvas& canvas) override;
  void FastDrawMarks(TCanvas& canvas) override;

  // Rounded (saturating) distance from the centre to the start.
  int32_t RadiusOf() const;

  int32_t SX, SY, EX, EY, CX, CY;

 protected:
  void Paint(TDrawingBase& surface) override;
  void PaintMarks(TDrawingBase& surface) override;
};

class TCadCircle final : public TCadEntity {
 public:
  TCadCircle(int32_t cx, int32_t cy, int32_t radius);
  static void* operator new(std::size_t size);
  static void operator delete(void* p) noexcept;
  uint8_t GetType() override { return etCadCircle; }
  void ComputeShadow() override;
  void GetPoint(TIntPoint& point) override { point = {CX, CY}; }
  // (radius, radius).
  void GetSecondPoint(TIntPoint& point) override { point = {Radius, Radius}; }
  int32_t GetRadius() override { return Radius; }
  void SetPoint(const TIntPoint& point) override;
  // The radius becomes the point's X.
  void SetSecondPoint(const TIntPoint& point) override;
  // Centre mapped; radius scaled by the matrix's length scale (measured on
  // a 45-degree test vector): a circle stays a circle.
  bool Transform(const TMatrix3& matrix) override;
  void InfoString(std::string& text) override;
  uint16_t HashKey() override;
  TCadEntity* Clone() override;
  void GetExtents(TIntPoint& min, TIntPoint& max) override;
  int32_t DistanceToPoint(TIntBox& box, int32_t best, int32_t x, int32_t y) override;
  int32_t NearestPoint(TIntBox& box, int32_t best, int32_t& outX, int32_t& outY, int32_t x,
                       int32_t y) override;
  void MiddlePoint(TIntPoint& point) override { point = {CX, CY}; }
  double Angle() override { return 0.0; }
  void PerpPoint(const TIntPoint& from, TIntPoint& point) override;
  void TangentPoint(const TIntPoint& from, TIntPoint& point) override { PerpPoint(from, point); }
  bool InsideWindow(const TIntBox& box, uint8_t mode) override;
  bool IsDuplicateOf(TRootDBObject& other) override;
  void FastDraw(TCanvas& canvas) override;
  void FastDrawMarks(TCanvas& canvas) override;

  int32_t CX, CY, Radius;

 protected:
  void Paint(TDrawingBase& surface) override;
  void PaintMarks(TDrawingBase& surface) override;
};

// The CAD entity in a root reference, or nullptr for any other family.
TCadEntity* AsCadEntity(TRootDBObject* entity);

// Rounded Euclidean distance (ties to even, saturating) between two points.
int32_t IntDistance(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
