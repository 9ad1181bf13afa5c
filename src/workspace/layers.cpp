#include "workspace/layers.h"

#include "command/button_manager.h"
#include "command/input_event.h"
#include "model/cad_database.h"
#include "platform/message_box.h"
#include "workspace/layer_dialogs.h"
#include "workspace/my_screen.h"

TLayerHooks LayerHooks;
TLayerBar* LayerBar = nullptr;

namespace {

// The mask pair and bit of a layer.
struct TLayerBit {
  uint32_t* Active;
  uint32_t* Displayed;
  uint32_t Bit;
};

TLayerBit BitOf(int32_t layer) {
  if (IsCadLayer(layer)) return {&ActiveLayerMask, &DisplayedLayerMask, 1u << layer};
  return {&ActiveNCLayerMask, &DisplayedNCLayerMask, 1u << (layer - FirstDrillLayer)};
}

// While an input of the drawing area waits (an import placement too) a
// layer button waits as the menus do, and says so.
bool LayersMayChange() {
  const bool free = UserCommandGate == nullptr || UserCommandGate(0);
  return free && ViewServices().Activity() == acIdle;
}

}  // namespace

uint8_t ModeOfLayer(uint8_t layer) {
  if (IsDrillLayer(layer)) return emDrill;
  if (IsRoutLayer(layer)) return emRout;
  return emCad;
}

std::string LayerName(int32_t layer) {
  if (IsCadLayer(layer)) return std::to_string(layer);
  if (IsDrillLayer(layer)) return "D" + std::to_string(layer - FirstDrillLayer);
  if (IsRoutLayer(layer)) return "R" + std::to_string(layer - FirstRoutLayer);
  return "";
}

bool LayerActive(int32_t layer) {
  if (!IsValidLayer(layer)) return false;
  TLayerBit b = BitOf(layer);
  return (*b.Active & b.Bit) != 0;
}

bool LayerDisplayed(int32_t layer) {
  if (!IsValidLayer(layer)) return false;
  TLayerBit b = BitOf(layer);
  return (*b.Displayed & b.Bit) != 0;
}

void SetLayerActive(int32_t layer, bool active) {
  if (!IsValidLayer(layer)) return;
  TLayerBit b = BitOf(layer);
  if (active) {
    *b.Active |= b.Bit;
    *b.Displayed |= b.Bit;
  } else {
    *b.Active &= ~b.Bit;
  }
}

void SetLayerDisplayed(int32_t layer, bool displayed) {
  if (!IsValidLayer(layer)) return;
  TLayerBit b = BitOf(layer);
  if (displayed) {
    *b.Displayed |= b.Bit;
  } else {
    *b.Displayed &= ~b.Bit;
    *b.Active &= ~b.Bit;
  }
}

// ---- SelectLayer ------------------------------------------------------------------------------

void SelectLayer(int32_t layer) {
  if (LayerBar != nullptr) LayerBar->PreviousLayer = CurrentLayer;
  if (!IsValidLayer(layer)) return;
  bool redraw = false;
  const int32_t previous = CurrentLayer;
  if (layer != CurrentLayer) {
    if (LayerHooks.EndSingleStep) LayerHooks.EndSingleStep();
    if (LayerHooks.HideOriginMarker) LayerHooks.HideOriginMarker();
    if (ViewHooks.CommandEvent) {
      TInputEvent cancel = CommandEvent(cmdCancel);
      cancel.Flags[3] = 1;
      ViewHooks.CommandEvent(cancel);
    }
    const int32_t old = CurrentLayer;
    CurrentLayer = uint8_t(layer);
    if (LayerBar != nullptr) {
      LayerBar->ColourCaption(old, false);
      LayerBar->ColourCaption(layer, true);
    }
    if (!LayerDisplayed(layer)) redraw = true;
    SetLayerActive(layer, true);
    if (!IsCadLayer(layer) && LayerHooks.ClearRoutSelection) LayerHooks.ClearRoutSelection();
  }
  const uint8_t mode = ModeOfLayer(uint8_t(layer));
  if (EditorMode != mode) {
    if (LayerHooks.SetMode)
      LayerHooks.SetMode(mode);
    else
      EditorMode = mode;
    redraw = true;
  } else if (mode == emRout && LayerHooks.UpdateCaption) {
    LayerHooks.UpdateCaption();
  }
  if (redraw) {
    ViewServices().RedrawView();
  } else if (layer != previous && mode == emRout && LayerHooks.DrawRoutLayer) {
    // A redraw paints the current rout layer over the others, and the one
    // that was current among them: drawn again, both are painted in order.
    if (IsValidLayer(previous) && ModeOfLayer(uint8_t(previous)) == emRout)
      LayerHooks.DrawRoutLayer(uint8_t(previous));
    LayerHooks.DrawRoutLayer(uint8_t(layer));
  } else if (layer != previous && mode == emCad && LayerHooks.RepaintCadLayer) {
    // The layer that was current lies among the others again, and the new
    // one over them.
    if (IsCadLayer(previous)) LayerHooks.RepaintCadLayer(uint8_t(previous));
    LayerHooks.RepaintCadLayer(uint8_t(layer));
  }
  if (LayerHooks.ShowOriginMarker) LayerHooks.ShowOriginMarker();
}

// ---- The button bar -------------------------------------------------------------------------------

void CreateLayerButtons(TControl& panel) {
  constexpr int ButtonWidth = 24, ButtonHeight = 20, Rows = 15;
  for (int layer = 0; layer < LayerLimit; ++layer) {
    auto& b = panel.Add<TSpeedButton>("L" + std::to_string(layer), LayerName(layer));
    b.SetGroupIndex(1);
    b.SetAllowAllUp(true);
    b.SetFontColor(clBlack);
    // Three columns: CAD 0-14, CAD 15-29, then drill and rout.
    b.SetBounds((layer / Rows) * ButtonWidth, (layer % Rows) * ButtonHeight, ButtonWidth,
                ButtonHeight);
  }
}

TLayerBar::TLayerBar(TControl& panel) {
  Buttons.fill(nullptr);
  for (int layer = 0; layer < LayerLimit; ++layer)
    Buttons[layer] = dynamic_cast<TSpeedButton*>(panel.FindControl("L" + std::to_string(layer)));
  // A stored layer out of range starts on layer 0.
  if (!IsValidLayer(CurrentLayer)) CurrentLayer = 0;
  const uint8_t saved = CurrentLayer;
  ColourCaption(saved, true);
  PreviousLayer = saved;
  // Start from another layer and no mode, so that the selection below is a
  // real change that sets the editor mode for the first time.
  CurrentLayer = uint8_t((saved + 1) % LayerLimit);
  EditorMode = 3;
  LayerBar = this;
  if (Buttons[saved] != nullptr)
    ButtonClicked(*Buttons[saved]);
  else
    SelectLayer(saved);
  PressCurrent();
}

TLayerBar::~TLayerBar() {
  if (LayerBar == this) LayerBar = nullptr;
}

int32_t TLayerBar::LayerOfButton(const TControl* button) const {
  if (button == nullptr) return -1;
  for (int layer = 0; layer < LayerLimit; ++layer)
    if (Buttons[layer] == button) return layer;
  return -1;
}

void TLayerBar::ColourCaption(int32_t layer, bool current) {
  if (!IsValidLayer(layer) || Buttons[layer] == nullptr) return;
  Buttons[layer]->SetFontColor(current ? LayerColors[layer] : clBlack);
  // The current layer's caption stands on the drawing's background, where
  // the layer's colour is seen: a grey or white layer reads there, and the
  // button never looks like a disabled one.
  Buttons[layer]->SetColor(current ? BackgroundColor : clDefault);
}

void TLayerBar::ButtonClicked(TControl& button) {
  const int32_t layer = LayerOfButton(&button);
  if (layer >= 0) SelectLayer(layer);
}

void TLayerBar::SelectAndPress(int32_t layer) {
  SelectLayer(layer);
  PressCurrent();
}

void TLayerBar::PressCurrent() {
  if (PreviousLayer != CurrentLayer) ColourCaption(PreviousLayer, false);
  RestoreCurrent();
  PreviousLayer = CurrentLayer;
}

void TLayerBar::RestoreCurrent() {
  if (!IsValidLayer(CurrentLayer) || Buttons[CurrentLayer] == nullptr) return;
  Buttons[CurrentLayer]->SetDown(true);
  ColourCaption(CurrentLayer, true);
}

void TLayerBar::LClick(TControl& button) {
  const int32_t layer = LayerOfButton(&button);
  if (layer < 0) return;
  if (layer == CurrentLayer) {
    // The group allows all up: a click on the current button lifted it.
    Buttons[layer]->SetDown(true);
    return;
  }
  if (LayersMayChange()) {
    ButtonClicked(button);
    if (LayerHooks.SetHelpContext)
      LayerHooks.SetHelpContext(IsCadLayer(layer) ? 2 : IsDrillLayer(layer) ? 3 : 4);
  } else {
    RestoreCurrent();
  }
}

void TLayerBar::LayerMouseDown(TControl& button, TMouseButton mouseButton, int x, int y) {
  // The layer's own box shows and sets what Layer Control does.
  if (mouseButton == mbRight && LayersMayChange()) ExecuteIndividualLayer(button, x, y);
}

// ---- Menu commands ----------------------------------------------------------------------------------

void Layers1Click() {
  if (ViewServices().Activity() != acIdle) return;
  ExecuteLayerControl();
}

void SwitchToLayer1Click() {
  if (ViewServices().Activity() != acIdle) return;
  int32_t layer = CurrentLayer;
  if (!ExecuteSwitchLayer(layer)) return;
  if (LayerBar != nullptr)
    LayerBar->SelectAndPress(layer);
  else
    SelectLayer(layer);
}

void LayerErase1Click() {
  int32_t layer = CurrentLayer;
  if (ExecutePickLayer(layer) && IsValidLayer(layer)) {
    TModalBracket bracket;
    const std::string text = "This erase cannot be undone!\r\nAre you sure you wish to erase\r\nlayer " +
                             LayerName(layer) + "?";
    if (ConfirmDestroying(text)) {
      if (IsCadLayer(layer)) {
        if (DB != nullptr) DB->DeleteLayer(uint8_t(layer));
      } else if (IsDrillLayer(layer)) {
        if (LayerHooks.DeleteDrillLayer) LayerHooks.DeleteDrillLayer(uint8_t(layer));
      } else if (LayerHooks.DeleteRoutLayer) {
        LayerHooks.DeleteRoutLayer(uint8_t(layer));
      }
    }
  }
  ViewServices().RedrawView();
}
