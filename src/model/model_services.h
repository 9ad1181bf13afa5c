// What the model asks of the subsystems above it: the rout path
// subsystem's cutter compensator for a rout layer's display, the edit
// subsystem's automatic clean-up, the command subsystem's tool buttons and
// the interpreter's two arc parameters.
//
// The model declares them here and the program installs them at start-up
// (InstallModelServices in the workspace). Until then the model does without:
// no compensated display is drawn, the clean-up does nothing, no button
// changes, and the arc parameters are the model's own stand-in values.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "foundation/geometry.h"

class TRoutEntity;

// The report record of a rebuild: which reports to show and the counts
// accumulated over the layers rebuilt with the same record.
struct TGougeReport {
  uint8_t ShowViolations = 0;
  uint8_t ShowNoIntersections = 0;
  int32_t ViolationCount = 0;
  int32_t NoIntersectionCount = 0;
};

// A compensator fed the entities of one rout layer in cut order, drawing the
// display records it makes.
class TLayerCompensation {
 public:
  virtual ~TLayerCompensation() = default;
  // Feeds one entity of the layer in cut order (copy 1).
  virtual void AddEntity(TRoutEntity* entity) = 0;
  // Feeds one entity of step copy stepNumber (2 and up) with its moved point
  // and centre; type is the entity's type with 7 and 8 exchanged by the
  // caller for a mirrored copy.
  virtual void AddStepEntity(TRoutEntity* entity, const TIntPoint& point, bool mirrored,
                             int32_t stepNumber, uint8_t type, const TIntPoint& centre) = 0;
  // Ends the last path.
  virtual void Finish() = 0;
  // Adds this rebuild's counts into the report and shows what it asks for.
  virtual void Done(TGougeReport& report) = 0;
};

struct TModelServices {
  // The compensator that draws a rout layer's display.
  std::function<std::unique_ptr<TLayerCompensation>(uint8_t layer)> LayerCompensation;
  // The CAD mode's Automatic Cleanup command; false when it was cancelled.
  std::function<bool()> AutomaticCleanup;
  // A command's tool button up and enabled, or up and disabled.
  std::function<void(int32_t command)> ReleaseButton;
  std::function<void(int32_t command)> DisableButton;
  // Where the command interpreter keeps the arc parameters while it exists;
  // null when it does not.
  std::function<double*()> InterpreterArcDisplayTolerance;
  std::function<double*()> InterpreterArcLengthParameter;
};
extern TModelServices ModelServices;

// What the subsystems ask of the main window beyond the view services,
// installed with the model's services; each is optional.
struct TWindowServices {
  // The caption shows the job's name.
  std::function<void()> UpdateCaption;
  // The view shows the whole table.
  std::function<void()> ZoomAll;
  // Select Layer For Data: a drill layer 30..39, or -1 when the box was
  // closed without OK (Escape, the close box).
  std::function<int32_t()> PickDrillLayer;
};
extern TWindowServices WindowServices;

// Deviation, in device units, within which arcs are flattened into chords
// for display: ECO's field (0.4 when ECO is built; 0.4 before).
double ArcDisplayTolerance();
void SetArcDisplayTolerance(double tolerance);
// Radius bound, in inches, of the arcs that rout path edits add as real arcs:
// ECO's field (DefaultArcLengthParameter when ECO is built, and before). An
// arc of a larger radius is added as chords. The bound lies beyond the width
// of the database extent (84.5 in), so the arcs of any board stay arcs; only
// near-straight arcs about a remote centre become chords.
constexpr double DefaultArcLengthParameter = 100.0;
double ArcLengthParameter();
void SetArcLengthParameter(double inches);
