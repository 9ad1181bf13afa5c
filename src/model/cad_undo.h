// The CAD mode's undo journal CadUndo and the CAD selection handles.
//
// CadUndo replays CAD records through DB: undoing an add erases the entity
// and marks it deleted, undoing a delete undeletes it and draws it.
//
// TCadHandle names one CAD entity by its store index; a selection is a
// linked list of handles and every list operation is called on its first
// handle. Moves, copies and stretches never change an entity in place: the
// source is marked deleted and a transformed clone is appended, journalling
// RecordDelete and RecordAdd on ActiveUndo; the caller then closes the
// operation with BeginOperation. An entity whose transform is refused (a
// point would leave the database extent) stays where it was, undeleted, and
// the walk reports the refusal through its failed flag.
#pragma once
#include <cstdint>
#include <string>

#include "model/cad_entities.h"
#include "model/root_entity.h"
#include "model/undo_journal.h"

class TCadUndo : public TUndoJournal {
 protected:
  void EraseEntity(int32_t index) override;
  void DrawEntity(int32_t index) override;
  void DeleteEntity(int32_t index) override;
  void UndeleteEntity(int32_t index) override;
};

// Created first at start-up; the initial ActiveUndo.
extern TCadUndo* CadUndo;

class TCadHandle : public TRootEntityHandle {
 public:
  explicit TCadHandle(int32_t index) : TRootEntityHandle(index) {}

  uint8_t GetKind() override { return 3; }
  // Each entity drawn in the colour, dotted: the highlight of a selection.
  void DrawListColour(TColor colour) override;
  // The displayed entities back in their layer colours.
  void DrawList() override;
  void EraseList() override;
  // Deletes (journalled) the listed entities on active layers; the others
  // are redrawn and stay.
  void DeleteList() override;
  // Moves or (copy) copies the listed entities on active layers: a
  // transformed clone is appended for each, on the given layer when
  // changeLayer; a move deletes the source only when its clone was made.
  // failed is set when an entity was refused.
  void TransformList(const TMatrix3& matrix, bool copy, bool& failed, uint8_t layer,
                     bool changeLayer) override;
  // The entity in the handle's slot (nullptr for an index out of use).
  TRootDBObject* GetEntity() override;

  void GetMiddlePoint(TIntPoint& point);
  void GetInfoString(std::string& text);
  void GetPerpPoint(const TIntPoint& from, TIntPoint& point);
  void GetSecondPoint(TIntPoint& point);

  // The CAD entity of the handle's slot, or nullptr.
  TCadEntity* CadEntity();
};

// A handle of a line crossing a stretch window, with the flags of its
// defining points inside the window.
class TCadStretchHandle : public TCadHandle {
 public:
  explicit TCadStretchHandle(int32_t index) : TCadHandle(index) {}
  // Stretches every listed entity on an active layer: a clone with only the
  // inside points moved replaces it (journalled); an entity whose stretch
  // is refused stays as it was and failed is set. Then the list is redrawn.
  void Stretch(const TMatrix3& matrix, bool& failed, uint8_t layer, bool changeLayer);

  TPointsInside Inside;
};
