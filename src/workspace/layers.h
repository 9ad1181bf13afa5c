// The layer model and the layer button bar.
//
// Every entity lies on one of 45 fixed layers: 0..29 CAD, 30..39 drill
// ("D0".."D9"), 40..44 rout ("R0".."R4"). The layer state lives in globals
// that every draw, pick and tape writer filters on: CurrentLayer and the
// layer colours (foundation/settings.h), the active and displayed masks
// and the editor mode (model/editor_state.h). The rules kept here:
//   - an active layer is always displayed: setting an active bit sets the
//     displayed bit, clearing a displayed bit clears the active bit;
//   - the current layer is always active and displayed;
//   - making a layer current switches to the editor mode of its group.
//
// The layer button bar LayerBar shows one speed button per layer on the
// main form's layer panel: the current layer's button is down with its
// caption in the layer's colour; a left click makes a layer current, a
// right click opens the individual layer box.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "foundation/settings.h"
#include "model/view_services.h"
#include "platform/forms.h"

constexpr uint8_t FirstDrillLayer = 30;
constexpr uint8_t FirstRoutLayer = 40;
constexpr int32_t LayerLimit = 45;  // layers are 0 .. LayerLimit - 1

inline bool IsCadLayer(int32_t layer) { return layer >= 0 && layer < FirstDrillLayer; }
inline bool IsDrillLayer(int32_t layer) { return layer >= FirstDrillLayer && layer < FirstRoutLayer; }
inline bool IsValidLayer(int32_t layer) { return layer >= 0 && layer < LayerLimit; }

// The editor mode of the layer's group (emCad, emDrill, emRout).
uint8_t ModeOfLayer(uint8_t layer);
// "0".."29", "D0".."D9", "R0".."R4"; empty outside 0..44.
std::string LayerName(int32_t layer);

// The mask word and bit of a layer: CAD layers in the CAD masks, drill and
// rout layers in the NC masks.
bool LayerActive(int32_t layer);
bool LayerDisplayed(int32_t layer);
// Active also makes it displayed.
void SetLayerActive(int32_t layer, bool active);
// Not displayed also makes it inactive.
void SetLayerDisplayed(int32_t layer, bool displayed);

// What a layer change asks of the rest of the program. Each is optional.
struct TLayerHooks {
  // Switches the main window to an editor mode (menus, tool buttons, the
  // active database); unset, the editor mode alone changes.
  std::function<void(uint8_t mode)> SetMode;
  std::function<void()> EndSingleStep;      // the rout database's single step
  std::function<void()> HideOriginMarker;   // the drill origin marker
  std::function<void()> ShowOriginMarker;
  std::function<void()> ClearRoutSelection; // the rout database's pending-selection byte
  std::function<void()> UpdateCaption;      // the main window's caption
  std::function<void(uint8_t layer)> DeleteDrillLayer;
  std::function<void(uint8_t layer)> DeleteRoutLayer;
  // Draws the rout layer's paths again (the picture then paints them, as
  // a redraw does, over the other layers).
  std::function<void(uint8_t layer)> DrawRoutLayer;
  // Has the view paint the CAD layer's entities again in redraw order.
  std::function<void(uint8_t layer)> RepaintCadLayer;
  std::function<void(int32_t context)> SetHelpContext;
};
extern TLayerHooks LayerHooks;

// Makes the layer current (see the rules above); nothing for a number
// outside 0..44. A change first cancels the running command through the
// view's command sink (ViewHooks.CommandEvent).
void SelectLayer(int32_t layer);

// Adds the 45 layer speed buttons ("L0".."L44", captioned with the layer
// names) to the panel, in one group that allows all up.
void CreateLayerButtons(TControl& panel);

class TLayerBar {
 public:
  // Collects the 45 buttons of the panel, shows the current layer and
  // selects it fully (the editor mode is set for the first time).
  explicit TLayerBar(TControl& panel);
  virtual ~TLayerBar();
  TLayerBar(const TLayerBar&) = delete;
  TLayerBar& operator=(const TLayerBar&) = delete;

  std::array<TSpeedButton*, LayerLimit> Buttons{};
  uint8_t PreviousLayer = 0;
  TForm* IndividualLayerBox = nullptr;  // while open
  TForm* LayerControlBox = nullptr;     // while open

  // The button's layer, or -1 for a control that is not in the bar.
  int32_t LayerOfButton(const TControl* button) const;
  void ButtonClicked(TControl& button);
  void SelectAndPress(int32_t layer);
  // The previous button's caption black, the current one down in its colour.
  void PressCurrent();
  void RestoreCurrent();
  // Captions: the layer's colour for the current layer, black for others.
  void ColourCaption(int32_t layer, bool current);

  // ---- Main form handlers ----
  // A left click on a layer button.
  void LClick(TControl& button);
  // A button down on a layer button: the right button opens its box.
  void LayerMouseDown(TControl& button, TMouseButton mouseButton, int x, int y);
};

// The layer bar of the main window (null before start-up).
extern TLayerBar* LayerBar;

// ---- Menu commands ----
// Layer Control (only while the view is idle).
void Layers1Click();
// Switch To Layer (only while the view is idle).
void SwitchToLayer1Click();
// Layer Erase: pick, confirm, erase; the view is redrawn in every case.
void LayerErase1Click();
