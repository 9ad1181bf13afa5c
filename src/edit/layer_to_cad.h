// Rout and drill layers into CAD geometry: what the rout or drill layers
// show (full-width outlines, head-up moves, path numbers, direction arrows,
// the hole display mode, all as the view toggles say) becomes lines, arcs,
// circles and points on one CAD layer.
//
// The entities convert themselves (Push); the emitters here turn what they
// hand over into CAD entities on TargetCadLayer, journalled in the CAD undo
// journal. Each copy is one undo step, "Copy Layer to CAD".
#pragma once
#include <cstdint>

#include "model/drill_entities.h"
#include "model/rout_shadow.h"
#include "platform/forms.h"

// The CAD layer every emitter writes to: the last dialog choice, 0 at start.
extern uint8_t TargetCadLayer;

// Adds 360 or takes it away until 0 <= angle < 360.
double NormalizeAngleDeg(double angle);

// The CAD side of both conversions. Lengths and coordinates in database
// units.
class TCadLayerEmitter : public TRoutCadTarget, public TCadConversionTarget {
 public:
  // ---- Plain geometry ----
  // A line; ends less than 500 apart in X and Y give a point.
  void AddCadLineOnTarget(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // The counter-clockwise arc from (x1, y1) to (x2, y2) about the centre;
  // reversed exchanges start and end.
  void AddCadArcOnTarget(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t cx, int32_t cy,
                         bool reversed);
  // A circle; a radius of 0 or less draws nothing.
  void AddCadCircleOnTarget(int32_t cx, int32_t cy, int32_t r);

  // ---- Pen strokes (symbols and letters) ----
  void SetCadPen(int32_t x, int32_t y);
  void CadLineTo(int32_t x, int32_t y);

  // ---- Rout display records ----
  void AddCadHeadUpMove(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void AddCadSequenceNumber(int32_t x, int32_t y, int32_t n) override;
  void AddCadRoutLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width) override;
  void AddCadRoutArc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t cx, int32_t cy,
                     int32_t width, int8_t turn) override;
  void AddCadHoleCircle(int32_t x, int32_t y, int32_t diameter) override;

  // ---- Drill entities ----
  void AddCadCircle(int32_t x, int32_t y, int32_t radius) override;
  void AddCadStrokeText(int32_t x, int32_t y, uint16_t tool) override;
  void AddCadDrillSymbol(int32_t x, int32_t y, uint16_t tool) override;
  void AddCadSlotLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void AddCadSlotOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                         int32_t diameter) override;

 private:
  // Two sides and two semicircular end caps about the centre line.
  void AddOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width);
  void AddLineArrow(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t size);
  void AddArcArrow(int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx, int32_t cy,
                   int32_t size, bool reversed);

  int32_t PenX = 0;
  int32_t PenY = 0;
};

// "Copy Rout Layer to Cad": the rout layer to copy and the CAD layer to
// copy it to.
class TPushDialog : public TForm {
 public:
  TPushDialog();
  TRadioGroup& RoutGroup;
  TRadioGroup& CadGroup;
};

// Shows the dialog inside the main form's modal bracket: routLayer := 40 +
// the rout choice, cadLayer := the CAD choice. True on OK.
bool ExecutePushDialog(uint8_t& routLayer, uint8_t& cadLayer);

// The rout editor's "Copy Layer to CAD": the dialog, then every live entity
// of the chosen rout layer onto the chosen CAD layer, which is then
// displayed. False when the dialog was cancelled.
bool CopyRoutLayerToCad();
// The drill editor's "Copy Layer to CAD": every live entity of the displayed
// drill layers onto TargetCadLayer.
void CopyDrillLayersToCad();
