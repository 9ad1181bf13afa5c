// The layer dialogs: Layer Control (all 45 layers at once), the individual
// layer box of a layer button, the Layer Color box and the three layer
// pickers (Select Layer To Erase, Switch to Layer, Select Layer For Data).
//
// The mask rules are those of the layer model: ticking Active ticks
// Displayed, unticking Displayed unticks Active, and the current layer's
// row cannot be changed.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/forms.h"
#include "workspace/layers.h"

// "Layer Control": rows Layer0..Layer44 with Active<n>, Displayed<n> and a
// "C" button Color<n>; OK rebuilds the four masks, Cancel keeps them
// (colours chosen with "C" stay either way).
class TLayerDialog : public TForm {
 public:
  TLayerDialog();
  // The row captions of the form: "   0", "  D0", "  R4".
  static std::string RowCaption(int32_t layer);
  TCheckBox& Active(int32_t layer) { return *Active_[layer]; }
  TCheckBox& Displayed(int32_t layer) { return *Displayed_[layer]; }
  // Rebuilds the four masks from the ticks (bit 31 stays set).
  void ApplyMasks();

 private:
  std::array<TCheckBox*, LayerLimit> Active_{};
  std::array<TCheckBox*, LayerLimit> Displayed_{};
};

// The individual layer box: one row (Active0, Displayed0, Color0 "&C") that
// acts on the masks at once; "&Done" closes it.
class TIndividualLayerDialog : public TForm {
 public:
  explicit TIndividualLayerDialog(int32_t layer);
  // "  0".."  9", " 10".." 29", " D0".." D9", " R0".." R4".
  static std::string RowCaption(int32_t layer);
  int32_t Layer() const { return Layer_; }

 private:
  int32_t Layer_;
};

// "Layer Color": a 16-colour grid (left click the layer colour, right click
// the background) and a sample line.
class TLayerColorDialog : public TForm {
 public:
  TLayerColorDialog(TColor layerColour, TColor backColour);
  // The chosen colours; a colour that is not one of the grid's stays as
  // given until another is picked.
  TColor LayerColour() const;
  TColor BackColour() const;
  void PaintSample();

 private:
  TColor InitialLayer_, InitialBack_;
  int InitialFg_, InitialBg_;
};

// "Select Layer To Erase": a radio group of the 45 layers.
class TPickLayerDialog : public TForm {
 public:
  explicit TPickLayerDialog(int32_t layer);
  int32_t Layer() const;
};

// "Switch to Layer": CAD, drill and rout groups; a click in one group clears
// the others.
class TSwitchLayerDialog : public TForm {
 public:
  explicit TSwitchLayerDialog(int32_t layer);
  // The CAD item, else the rout item + 40, else the drill item + 30, else
  // the given layer.
  int32_t Layer() const;

 private:
  int32_t Given_;
};

// "Select Layer For Data": the ten drill layers.
class TPickDrillLayerDialog : public TForm {
 public:
  explicit TPickDrillLayerDialog(int32_t layer);
  int32_t Layer() const;
};

// Runs the Layer Control box and redraws when a displayed mask or a colour
// changed.
void ExecuteLayerControl();
// The individual layer box of a layer button, its top-left corner at the
// pointer (x, y in the button's pixels); nothing for a button not in the bar.
void ExecuteIndividualLayer(TControl& button, int x, int y);
// The Layer Color box: both colours in, the chosen ones out.
void ExecuteLayerColor(TColor& layerColour, TColor& backColour);
// Select Layer To Erase inside the modal bracket; true on OK with the layer.
bool ExecutePickLayer(int32_t& layer);
// Switch to Layer inside the modal bracket; true on OK with the layer.
bool ExecuteSwitchLayer(int32_t& layer);
// Select Layer For Data inside the modal bracket: a drill layer 30..39.
int32_t PickDrillLayer();
