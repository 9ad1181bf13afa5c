// What the program installs for the model and the subsystems at start-up.
#include <memory>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "edit/cleanup.h"
#include "import/import_frame.h"
#include "model/model_services.h"
#include "routpath/cutter_compensator.h"
#include "workspace/layer_dialogs.h"
#include "workspace/my_screen.h"
#include "workspace/startup.h"
#include "workspace/workspace.h"

void InstallModelServices() {
  ModelServices.LayerCompensation = [](uint8_t layer) -> std::unique_ptr<TLayerCompensation> {
    return std::make_unique<TRoutLayerCompensator>(layer);
  };
  ModelServices.AutomaticCleanup = RunAutomaticCleanup;
  ModelServices.ReleaseButton = [](int32_t command) { ButtonManager().ReleaseButton(command); };
  ModelServices.DisableButton = [](int32_t command) { ButtonManager().DisableButton(command); };
  ModelServices.InterpreterArcDisplayTolerance = []() -> double* {
    return ECO != nullptr ? &ECO->ArcDisplayTolerance : nullptr;
  };
  ModelServices.InterpreterArcLengthParameter = []() -> double* {
    return ECO != nullptr ? &ECO->ArcLengthParameter : nullptr;
  };
  WindowServices.UpdateCaption = [] {
    if (Workspace != nullptr) Workspace->UpdateCaption();
  };
  WindowServices.ZoomAll = [] {
    if (MyScreen != nullptr) MyScreen->ZoomAll();
  };
  WindowServices.PickDrillLayer = PickDrillLayer;
  InstallDrillImporters();
}
