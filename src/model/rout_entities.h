// The six entity types of the rout layers 40 to 44 and their common base.
//
// A rout path is a run of the layer's cut sequence (model/rout_sequence.h):
// a jog starts it (the head-up move to its point), lines and arcs continue it
// (each keeps only its end point; its start is the point of the previous
// path entity of the sequence), a circle is a path of its own, a hole is one
// plunge and a command carries a line of NC text between paths.
//
// A rout entity never draws from its own fields. Its picture is its display
// chain of TRoutShadow records (model/rout_shadow.h), the compensated
// geometry of the entity and of each of its step-and-repeat copies, built by
// the cutter compensator (routpath/cutter_compensator.h) when the rout
// database redraws the layer. Without a chain nothing is drawn.
//
// Operations that need the previous point of a path take PrevIndex, the store
// index of the previous path entity (0 for none, meaning the origin); the
// previous point is read from the rout store.
//
// An operation a type does not have shows an error box naming it ("GetFeedRate
// called on untyped entity") and changes nothing; what it returns then is 0,
// false, nullptr or empty and has no meaning.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/root_entity.h"
#include "model/tool_tables.h"  // TIndexedArray, rout layer numbers

class TRoutShadow;
class TDrawingBase;
class TRoutStepCarrier;

// Set by the construction of any rout entity on the layer; cleared when the
// layer or the job is saved or loaded.
extern TIndexedArray<bool, kFirstRoutLayer, 5> RoutLayerModified;

// "Not near" of the distance protocol of picks and snaps.
constexpr int32_t RoutNotNear = 2147483647;
// Z offset of a segment that has none.
constexpr int32_t NoZOffset = 2147483647;

class TRoutEntity : public TRootDBObject {
 public:
  // The base part of every constructor, run after the type's own fields:
  // no chain, no step object, RoutLayerModified[layer] and DatabaseModified
  // set (a layer outside 40..44 sets no layer flag).
  TRoutEntity(int32_t x, int32_t y, uint8_t type, uint8_t layer);
  // Frees the display chain.
  ~TRoutEntity() override;

  // ---- Root operations ----
  uint8_t GetType() override { return Type; }
  TRoutEntity* AsRout() final { return this; }
  // The entity as a carrier of a step object (a jog, circle, hole or
  // command), nullptr for the path's lines and arcs.
  virtual TRoutStepCarrier* AsStepCarrier() { return nullptr; }
  // Highlight: the chain with a dotted pen in the colour, on the screen
  // picture; nothing without a chain.
  void DrawColour(TColor colour) override;
  // The chain (and, with RoutConstructionPoints, the construction marks) in
  // the background colour on the screen picture; nothing without a chain.
  void Erase() override;
  // The chain on the current surface in the colour of the tool of the first
  // record (RoutColors 0) or of the layer; dimmed on the screen outside rout
  // editing.
  void Draw(uint8_t layer) override;
  // The chain as CAD geometry (see TRoutShadow::PushChain).
  void Push() override;
  void GetPoint(TIntPoint& point) override { point = {X, Y}; }
  void GetSecondPoint(TIntPoint& point) override;
  int32_t GetRadius() override;
  void SetPoint(const TIntPoint& point) override { X = point.X, Y = point.Y; }
  void SetSecondPoint(const TIntPoint& point) override;
  TStepObject* GetStepObj() override;
  void SetStepObj(TStepObject* step) override;
  void AppendStepObj(TStepObject* step) override;
  void GetCentre(TIntPoint& point) override { point = {X, Y}; }

  // ---- Rout family ----
  virtual uint16_t GetFeedRate();
  virtual int32_t GetZOffset();
  virtual void GetString(std::string& text);
  virtual uint8_t GetHoldOff();
  virtual void SetFeedRate(uint16_t feed);
  virtual void SetZOffset(int32_t offset);
  virtual void SetRadius(int32_t radius);
  virtual bool IsAG32();
  virtual void SetG32(bool g32);
  virtual uint8_t GetComp();
  virtual void SetComp(uint8_t side);
  virtual int32_t GetToolNumber();
  virtual void SetToolNumber(int32_t tool);
  virtual int32_t GetCompIndex();
  virtual void SetCompIndex(int32_t index);
  // Arc only: exchanges the direction (7 <-> 8).
  virtual void Mirror();
  // A new entity of the same type and fields on the layer (caller owns it).
  virtual TRoutEntity* Clone(uint8_t layer) = 0;
  // Arc: a line to its end point; every other type: Clone.
  virtual TRoutEntity* CloneAsLine(uint8_t layer) { return Clone(layer); }

  // Single-step play: draws the records of copy n on the screen picture;
  // true when some record of that copy was drawn.
  virtual bool DrawStep(int32_t copyNumber);
  virtual bool HasCopy(int32_t copyNumber);
  // 1 without a chain, else the largest copy number of the chain.
  virtual int32_t CopyCount();
  virtual void UndrawStep(int32_t copyNumber);
  // An X mark at the own point on the screen picture in its current pen
  // (the arc also marks its centre).
  virtual void DrawConstructionMarks();
  // Frees every record of the display chain.
  virtual void FreeShadows();

  // The midpoint of the segment from the previous point (or the own point
  // of a one-point type).
  virtual void AveragePoint(int32_t prevIndex, TIntPoint& point);
  virtual int32_t EntityLength(int32_t prevIndex);
  // Distance protocol: d >= 0, RoutNotNear when not near; when d < best the
  // box shrinks to the square of half-size d around the pick point.
  virtual int32_t DistanceToPoint(int32_t prevIndex, TIntBox& box, int32_t best, int32_t pickX,
                                  int32_t pickY) = 0;
  // The own point lies in the box (borders included).
  virtual bool InsideWindow(const TIntBox& box);
  virtual bool InWindowTest(int32_t prevIndex, const TIntBox& box) = 0;
  // Snap: with useChain the nearest end of the compensated chain, else the
  // own point; same protocol, the taken point in (outX, outY).
  virtual int32_t NearestPoint(TIntBox& box, int32_t best, int32_t pickX, int32_t pickY,
                               int32_t& outX, int32_t& outY, bool useChain);
  virtual void PerpPoint(int32_t prevIndex, const TIntPoint& pick, TIntPoint& point);
  virtual void PerpDefString(int32_t prevIndex, std::string& text);
  // The chain with the pen the caller set.
  virtual void DrawShadow();

  // ---- Display chain ----
  // Puts the record at the head of the chain (the entity owns it from now).
  void AttachShadow(TRoutShadow* record);
  // The pen of a normal draw (Draw) set on the surface for the layer.
  void SetDrawPen(TDrawingBase& surface, uint8_t layer);
  // Number of records in the chain.
  int32_t ShadowCount() const;

  TRoutShadow* Shadow = nullptr;  // newest record first
  int32_t X;
  int32_t Y;
  uint8_t Type;
  TStepObject* StepObj = nullptr;  // one reference held (carriers only)
};

// The jog, hole, circle and command: the types that carry a step object.
class TRoutStepCarrier : public TRoutEntity {
 public:
  using TRoutEntity::TRoutEntity;
  // Releases the step object (deleting it when unused), then frees the chain.
  ~TRoutStepCarrier() override;
  TRoutStepCarrier* AsStepCarrier() final { return this; }
  TStepObject* GetStepObj() override { return StepObj; }
  // Releases the old object, takes a reference on the new one (may be nullptr).
  void SetStepObj(TStepObject* step) override;
  // Nests the new object outside the present one (a new shared chain);
  // nothing changes when the chain refuses it.
  void AppendStepObj(TStepObject* step) override;

 protected:
  // The point moved by the matrix when it stays in the database extent
  // (false and unchanged otherwise); the step object is replaced by its
  // transformed one in both cases.
  bool TransformOwnPoint(const TMatrix3& matrix);
  // Replaces the step object by its transformed one.
  void TransformStepObj(const TMatrix3& matrix);
};

// Starts a path: the head-up move from the previous point to its point.
class TRoutJog : public TRoutStepCarrier {
 public:
  // side: 0 none, 1 and 2 the two compensation sides.
  TRoutJog(const TIntPoint& point, uint8_t compSide, int32_t tool, int32_t compIndex,
           uint8_t layer);
  uint8_t GetComp() override { return CompSide; }
  void SetComp(uint8_t side) override { CompSide = side; }
  int32_t GetToolNumber() override { return Tool; }
  void SetToolNumber(int32_t tool) override { Tool = tool; }
  int32_t GetCompIndex() override { return CompIndex; }
  void SetCompIndex(int32_t index) override { CompIndex = index; }
  bool Transform(const TMatrix3& matrix) override { return TransformOwnPoint(matrix); }
  TRoutEntity* Clone(uint8_t layer) override;
  void AveragePoint(int32_t prevIndex, TIntPoint& point) override;
  // The larger of |dx| and |dy| from the previous point.
  int32_t EntityLength(int32_t prevIndex) override;
  // To the head-up move drawn as a 45-degree leg then an axis-parallel leg;
  // never near while HeadUpMoves is off.
  int32_t DistanceToPoint(int32_t prevIndex, TIntBox& box, int32_t best, int32_t pickX,
                          int32_t pickY) override;
  bool InWindowTest(int32_t prevIndex, const TIntBox& box) override;

  uint8_t CompSide;
  int32_t Tool;
  int32_t CompIndex;
};

class TRoutLine : public TRoutEntity {
 public:
  TRoutLine(const TIntPoint& end, uint16_t feedRate, int32_t zOffset, uint8_t layer);
  uint16_t GetFeedRate() override { return FeedRate; }
  void SetFeedRate(uint16_t feed) override { FeedRate = feed; }
  int32_t GetZOffset() override { return ZOffset; }
  void SetZOffset(int32_t offset) override { ZOffset = offset; }
  bool Transform(const TMatrix3& matrix) override;
  TRoutEntity* Clone(uint8_t layer) override;
  void AveragePoint(int32_t prevIndex, TIntPoint& point) override;
  int32_t EntityLength(int32_t prevIndex) override;
  int32_t DistanceToPoint(int32_t prevIndex, TIntBox& box, int32_t best, int32_t pickX,
                          int32_t pickY) override;
  bool InWindowTest(int32_t prevIndex, const TIntBox& box) override;
  // Foot of the perpendicular on the line through the previous point and
  // the end; the pick point itself for a line of no length.
  void PerpPoint(int32_t prevIndex, const TIntPoint& pick, TIntPoint& point) override;
  // The line's equation "A,B,C"; "0.0,0.0,0.0" for a line of no length.
  void PerpDefString(int32_t prevIndex, std::string& text) override;

  uint16_t FeedRate;
  int32_t ZOffset;
};

// Type 7 runs counter-clockwise, 8 clockwise from the previous point to the
// end point about the centre.
class TRoutArc : public TRoutEntity {
 public:
  TRoutArc(uint8_t type, uint16_t feedRate, int32_t zOffset, const TIntPoint& end,
           const TIntPoint& centre, uint8_t layer);
  void GetSecondPoint(TIntPoint& point) override { point = Centre; }
  void SetSecondPoint(const TIntPoint& point) override { Centre = point; }
  void GetCentre(TIntPoint& point) override { point = Centre; }
  uint16_t GetFeedRate() override { return FeedRate; }
  void SetFeedRate(uint16_t feed) override { FeedRate = feed; }
  int32_t GetZOffset() override { return ZOffset; }
  void SetZOffset(int32_t offset) override { ZOffset = offset; }
  void Mirror() override { Type = (Type == etRoutArc) ? etRoutArcReverse : etRoutArc; }
  // End point and centre moved; the direction is kept even under a mirror.
  bool Transform(const TMatrix3& matrix) override;
  TRoutEntity* Clone(uint8_t layer) override;
  TRoutEntity* CloneAsLine(uint8_t layer) override;
  void DrawConstructionMarks() override;
  void AveragePoint(int32_t prevIndex, TIntPoint& point) override;
  // The shorter way round, whatever the direction.
  int32_t EntityLength(int32_t prevIndex) override;
  int32_t DistanceToPoint(int32_t prevIndex, TIntBox& box, int32_t best, int32_t pickX,
                          int32_t pickY) override;
  bool InWindowTest(int32_t prevIndex, const TIntBox& box) override;
  void PerpPoint(int32_t prevIndex, const TIntPoint& pick, TIntPoint& point) override;
  void PerpDefString(int32_t prevIndex, std::string& text) override;

  TIntPoint Centre;
  uint16_t FeedRate;
  int32_t ZOffset;
};

// A routed circle about its point; a path by itself.
class TRoutCircle : public TRoutStepCarrier {
 public:
  TRoutCircle(const TIntPoint& centre, uint16_t feedRate, int32_t zOffset, int32_t tool,
              int32_t radius, int32_t compIndex, bool g32, uint8_t layer);
  int32_t GetRadius() override { return Radius; }
  void SetRadius(int32_t radius) override { Radius = radius; }
  bool IsAG32() override { return G32; }
  void SetG32(bool g32) override { G32 = g32; }
  uint16_t GetFeedRate() override { return FeedRate; }
  void SetFeedRate(uint16_t feed) override { FeedRate = feed; }
  int32_t GetZOffset() override { return ZOffset; }
  void SetZOffset(int32_t offset) override { ZOffset = offset; }
  int32_t GetToolNumber() override { return Tool; }
  void SetToolNumber(int32_t tool) override { Tool = tool; }
  int32_t GetCompIndex() override { return CompIndex; }
  void SetCompIndex(int32_t index) override { CompIndex = index; }
  // Centre moved, radius scaled by the matrix's length factor.
  bool Transform(const TMatrix3& matrix) override;
  TRoutEntity* Clone(uint8_t layer) override;
  void AveragePoint(int32_t prevIndex, TIntPoint& point) override { point = {X, Y}; }
  // Three times pi times the radius.
  int32_t EntityLength(int32_t prevIndex) override;
  int32_t DistanceToPoint(int32_t prevIndex, TIntBox& box, int32_t best, int32_t pickX,
                          int32_t pickY) override;
  // The circle's bounding square lies in the window.
  bool InWindowTest(int32_t prevIndex, const TIntBox& box) override;
  void PerpPoint(int32_t prevIndex, const TIntPoint& pick, TIntPoint& point) override;
  void PerpDefString(int32_t prevIndex, std::string& text) override;

  int32_t Tool;
  int32_t CompIndex;
  int32_t Radius;
  bool G32;  // true G32, false G33
  uint16_t FeedRate;
  int32_t ZOffset;
};

// One plunge of a rout tool.
class TRoutHole : public TRoutStepCarrier {
 public:
  TRoutHole(const TIntPoint& point, int32_t tool, uint8_t layer);
  // Holes come by the hundred thousand with a tape: they are carved from
  // shared blocks (model/slot_pool.h), wherever they are made or deleted.
  static void* operator new(std::size_t size);
  static void operator delete(void* p, std::size_t size) noexcept;
  int32_t GetToolNumber() override { return Tool; }
  void SetToolNumber(int32_t tool) override { Tool = tool; }
  bool Transform(const TMatrix3& matrix) override { return TransformOwnPoint(matrix); }
  TRoutEntity* Clone(uint8_t layer) override;
  void AveragePoint(int32_t, TIntPoint& point) override { point = {X, Y}; }
  int32_t DistanceToPoint(int32_t prevIndex, TIntBox& box, int32_t best, int32_t pickX,
                          int32_t pickY) override;
  bool InWindowTest(int32_t, const TIntBox& box) override { return InsideWindow(box); }

  int32_t Tool;
};

// A line of NC text in the path; never drawn and never picked as nearest.
class TRoutCommand : public TRoutStepCarrier {
 public:
  static constexpr std::size_t MaxTextLength = 80;
  // The text is cut to 80 characters.
  TRoutCommand(uint8_t layer, const TIntPoint& point, const std::string& text, uint8_t holdOff);
  void GetString(std::string& text) override { text = Text; }
  uint8_t GetHoldOff() override { return HoldOff; }
  bool Transform(const TMatrix3& matrix) override { return TransformOwnPoint(matrix); }
  // Without the step object.
  TRoutEntity* Clone(uint8_t layer) override;
  int32_t DistanceToPoint(int32_t, TIntBox&, int32_t, int32_t, int32_t) override {
    return RoutNotNear;
  }
  bool InWindowTest(int32_t, const TIntBox& box) override { return InsideWindow(box); }

  std::string Text;
  uint8_t HoldOff;
};

// ---- Rout store access ------------------------------------------------------------

// The rout entity of a store index, or nullptr (index outside 1 ..
// RoutEntityCount, no store, an empty slot or another family).
TRoutEntity* RoutEntityAt(int32_t index);
// The slot word of a store index; 0 when there is no such slot.
uint32_t RoutSlotFlags(int32_t index);
// The point of the entity at the index: the previous point of a path
// entity; (0, 0) for index 0 or an index without an entity.
TIntPoint PreviousPoint(int32_t prevIndex);
// The rout entity in a root reference, or nullptr for another family.
TRoutEntity* AsRoutEntity(TRootDBObject* entity);
