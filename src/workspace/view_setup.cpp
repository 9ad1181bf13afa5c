#include "workspace/view_setup.h"

#include <memory>

#include "command/command_interpreter.h"
#include "command/rubber_brain.h"
#include "workspace/layers.h"
#include "workspace/my_screen.h"
#include "workspace/view_mapping.h"
#include "workspace/workspace.h"

namespace {
std::unique_ptr<TMyScreenViewServices> ScreenServices;
}  // namespace

bool CreateMyScreen() {
  if (MyScreen == nullptr) MyScreen = new TMyScreen();
  return MyScreen != nullptr;
}

void FreeMyScreen() {
  ScreenServices.reset();
  delete MyScreen;
  MyScreen = nullptr;
}

bool CreateRubberPaint() {
  if (RubberPaint == nullptr) RubberPaint = new TRubberPaint();
  return RubberPaint != nullptr;
}

void FreeRubberPaint() {
  delete RubberPaint;
  RubberPaint = nullptr;
}

void ConnectView(TWorkspace& form, TWorkspaceViewServices& services) {
  if (MyScreen == nullptr) return;
  MyScreen->Attach({&form.PaintBox, &form.HorizontalScrollbar, &form.VerticalScrollbar,
                    &form.XScrollbarRoot, &form.YScrollbarRoot, &form.CoordinatePanel});
  ScreenServices = std::make_unique<TMyScreenViewServices>(*MyScreen);
  services.SetViewPart(ScreenServices.get());

  form.ViewHandleEvent = [](TInputEvent& event) {
    if (MyScreen != nullptr) MyScreen->HandleEvent(event);
  };
  form.ViewPaint = [] {
    if (MyScreen != nullptr) MyScreen->PaintBoxPaint();
  };
  form.ViewPaintCoordinates = [] {
    if (MyScreen != nullptr) MyScreen->PaintCoordinates();
  };
  form.ViewResize = [] {
    if (MyScreen != nullptr) MyScreen->PaintBoxResize();
  };
  form.ViewScrollbarChange = [] {
    if (MyScreen != nullptr) MyScreen->ScrollbarChange();
  };
  form.LayerControlCommand = [] { Layers1Click(); };
  form.LayerEraseCommand = [] { LayerErase1Click(); };
  form.SwitchToLayerCommand = [] { SwitchToLayer1Click(); };

  ViewHooks.CommandEvent = [](TInputEvent& event) {
    if (ECO != nullptr) ECO->HandleEvent(event);
  };
  ViewHooks.ViewRestored = [] {
    if (RubberBrain != nullptr) RubberBrain->ViewRestored();
  };
  ViewHooks.ForgetRubberBand = [] {
    if (RubberBrain != nullptr) RubberBrain->Forget();
  };
  TWorkspace* window = &form;
  LayerHooks.SetMode = [window](uint8_t mode) {
    switch (mode) {
      case emDrill: window->SetDrillMode(); break;
      case emRout: window->SetRoutMode(); break;
      default: window->SetCadMode(); break;
    }
  };
  LayerHooks.UpdateCaption = [window] { window->UpdateCaption(); };
  LayerHooks.SetHelpContext = [](int32_t context) { CurrentHelpContext = context; };
}

void ConnectLayerBar(TWorkspace& form) {
  if (LayerBar != nullptr) return;
  CreateLayerButtons(form.LayerPanel);
  for (int layer = 0; layer < LayerLimit; ++layer) {
    auto* button =
        dynamic_cast<TSpeedButton*>(form.LayerPanel.FindControl("L" + std::to_string(layer)));
    if (button == nullptr) continue;
    button->OnClick = [button](TControl&) {
      if (LayerBar != nullptr) LayerBar->LClick(*button);
    };
    button->OnMouseDown = [button](TControl&, TMouseButton b, TShiftState, int x, int y) {
      if (LayerBar != nullptr) LayerBar->LayerMouseDown(*button, b, x, y);
    };
  }
  new TLayerBar(form.LayerPanel);  // registers itself as LayerBar
}

void DisconnectView(TWorkspaceViewServices* services) {
  delete LayerBar;
  LayerBar = nullptr;
  if (services != nullptr) services->SetViewPart(nullptr);
  ScreenServices.reset();
  ViewHooks = {};
  LayerHooks = {};
}
