// The root of every entity type and the root of every selection handle.
//
// TRootDBObject fixes the virtual operations that all fifteen entity types
// share, so that the databases, the undo journals, the executors and the
// exporters call any entity without knowing its type. TRootEntityHandle is a
// node of a singly linked selection list naming one entity by its store
// index; the CAD, drill and rout handles derive from it.
//
// An operation that a type does not have shows an error box naming the
// operation and the type ("Push called on Root DB Object") and changes
// nothing; out-parameters stay untouched.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "model/entity_store.h"
#include "platform/types.h"

struct TMatrix3;    // geometry kernel: 3 x 3 transform, row-vector convention
class TStepObject;  // step-and-repeat pattern of drill and rout entities
class TRoutEntity;  // the rout family (rout_entities.h)

// Entity type codes, one code space over the three stores.
enum : uint8_t {
  etCadPoint = 1,
  etCadLine = 2,
  etCadArc = 3,
  etCadCircle = 4,
  etRoutJog = 5,
  etRoutLine = 6,
  etRoutArc = 7,
  etRoutArcReverse = 8,
  etRoutCircle = 9,
  etRoutHole = 10,
  etRoutCommand = 11,
  etDrillHole = 12,
  etDrillSlot = 13,
  etDrillCircle = 14,
  etDrillText = 15,
};

// The rout arcs, counter-clockwise and clockwise.
inline bool IsArcType(uint8_t type) { return type == etRoutArc || type == etRoutArcReverse; }
// The rout entities that start a path: a jog, a circle or a hole.
inline bool IsPathStartType(uint8_t type) {
  return type == etRoutJog || type == etRoutCircle || type == etRoutHole;
}

// Shows the error box "<operation> called on <typeName>".
void ReportMissingOperation(const std::string& operation, const std::string& typeName);

class TRootDBObject {
 public:
  TRootDBObject() = default;
  TRootDBObject(const TRootDBObject&) = delete;
  TRootDBObject& operator=(const TRootDBObject&) = delete;
  virtual ~TRootDBObject() = default;

  // Type code 1..15.
  virtual uint8_t GetType() = 0;
  // The entity as one of the rout family, nullptr for another family: a
  // call where a cast looked the class up by name (the rout store asks it
  // of every entity it hands out).
  virtual TRoutEntity* AsRout() { return nullptr; }
  // Draws the entity in the colour (highlight).
  virtual void DrawColour(TColor colour) = 0;
  // Draws the entity in the background colour.
  virtual void Erase() = 0;
  // Draws the entity in the colour of the layer.
  virtual void Draw(uint8_t layer) = 0;
  // Adds the entity's picture to the CAD drawing.
  virtual void Push();
  // Recomputes the display data (band masks of CAD and drill types).
  virtual void ComputeShadow();
  virtual void GetPoint(TIntPoint& point) = 0;
  virtual void GetSecondPoint(TIntPoint& point) = 0;
  virtual void GetThirdPoint(TIntPoint& point);
  virtual int32_t GetRadius() = 0;
  virtual void SetPoint(const TIntPoint& point) = 0;
  virtual void SetSecondPoint(const TIntPoint& point) = 0;
  virtual void SetThirdPoint(const TIntPoint& point);
  // Applies the transform; false when the result would leave the database
  // extent (the entity is then unchanged).
  virtual bool Transform(const TMatrix3& matrix) = 0;
  // The step-and-repeat object, or nullptr.
  virtual TStepObject* GetStepObj();
  virtual void SetStepObj(TStepObject* step);
  virtual void AppendStepObj(TStepObject* step);
  // The family's characteristic point.
  virtual void GetCentre(TIntPoint& point) = 0;

  // True when -1,073,741,823 < X < 1,073,741,823 and the same for Y: the
  // point lies inside the database extent. Works on any point record with
  // X and Y members.
  static bool InRange(double x, double y);
  template <class TPoint>
  static bool InRange(const TPoint& point) {
    return InRange(point.X, point.Y);
  }
  // Whether a point an edit moves from (fromX, fromY) to (x, y) may stand
  // there: on each axis inside the database extent, or no farther past it
  // than the point already was. An entity a file put past the extent can be
  // brought in, or moved along it, but never taken farther out; for a point
  // inside the extent this is InRange.
  static bool InRangeFrom(double x, double y, int32_t fromX, int32_t fromY);

  // The integer point under a row-vector transform m (m[row][column], rows
  // and columns from 0): X' = x m11 + y m21 + m31, Y' = x m12 + y m22 + m32.
  static void TransformPoint(int32_t x, int32_t y, const double m[3][3], double& outX,
                             double& outY);
};

class TRootEntityHandle {
 public:
  explicit TRootEntityHandle(int32_t index) : Index(index) {}
  TRootEntityHandle(const TRootEntityHandle&) = delete;
  TRootEntityHandle& operator=(const TRootEntityHandle&) = delete;
  // Frees this node only; a whole list is freed by FreeObjectList.
  virtual ~TRootEntityHandle() = default;

  // 1 drill handle, 2 rout handle, 3 CAD handle.
  virtual uint8_t GetKind() = 0;
  TRootEntityHandle* Self() { return this; }
  // Each list operation is called on the first handle and walks the list.
  virtual void DrawListColour(TColor colour) = 0;
  virtual void DrawList() = 0;
  virtual void EraseList() = 0;
  // Deletes the listed entities, journalled.
  virtual void DeleteList() = 0;
  int32_t GetIndex() const { return Index; }
  // Transforms (or, with copy, copies) every listed entity; failed is set
  // when at least one entity was refused.
  virtual void TransformList(const TMatrix3& matrix, bool copy, bool& failed, uint8_t layer,
                             bool changeLayer) = 0;
  // The step pattern (nullptr: none) of each entity TransformList would move
  // or copy, appended to chains, to drawn how many entities draw with each
  // (a rout path's start with its lines and arcs) and to reach the points
  // its copies are made of.
  virtual void MovedStepChains(std::vector<TStepObject*>& chains, std::vector<int64_t>& drawn,
                               std::vector<std::vector<TIntPoint>>& reach) {
    (void)chains;
    (void)drawn;
    (void)reach;
  }
  virtual TRootDBObject* GetEntity() = 0;

  // The symmetric difference of two selections: a handle of B whose index A
  // already holds removes that handle from A (its entity is redrawn in its
  // layer colour) and both are freed; the other handles of B are appended
  // to A. Either list may be empty (nullptr). Returns the merged list.
  static TRootEntityHandle* MergeLists(TRootEntityHandle* a, TRootEntityHandle* b);
  // True when a handle of the list carries the index; false for no list.
  static bool Contains(const TRootEntityHandle* list, int32_t index);

  // Step-and-repeat operations; the drill and rout handles supply them.
  virtual void Step();
  virtual void CreateStep();
  virtual void EditStep();
  virtual void DeleteStep();
  virtual void CopyStepList(TRootEntityHandle* source);
  virtual void CrossCopyStepList(int32_t routIndex);
  virtual void ExpandStepsIntoDatabase();

  int32_t Index;                       // the entity's 1-based slot index
  TRootEntityHandle* Next = nullptr;   // next handle of the list
};
