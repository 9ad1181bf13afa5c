#include "plot/odb_export.h"

#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "import/import_frame.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_housekeeping.h"
#include "platform/forms.h"
#include "platform/message_box.h"

namespace {

uint8_t KindOf(int32_t layer) { return layer >= 40 ? 1 : layer >= 30 ? 0 : 2; }

bool IsProfileLayer(int32_t layer) { return layer < 30 && LayerNames[layer] == "PROFILE"; }

// Adds the step and the flagged layers; false after a message when a name
// clashes with the model.
bool AddStepAndLayers(TOdbWriter& w, const TOdbLayerFlags& flags) {
  w.AddStep(OdbStepName);
  for (int32_t l = 0; l < 45; ++l)
    if (flags[static_cast<std::size_t>(l)] && !IsProfileLayer(l)) w.AddLayer(LayerNames[l], KindOf(l));
  if (w.Ok) return true;
  ErrorBox(w.ErrorText + "\r\nNo output was generated.");
  return false;
}

// A failure is shown; a model written says so in the hint strip.
void ReportFailure(const TOdbWriter& w, const std::string& path) {
  if (!w.Ok) {
    ErrorBox(w.ErrorText);
    return;
  }
  SetApplicationHint("ODB++ model written: step " + OdbStepName + ", " + path);
}

// The names of the model's steps or layers, at most 32, each cut to 16.
std::vector<std::string> Names(TOdbWriter& w, bool layers) {
  std::vector<std::string> out;
  std::string name;
  if (layers) {
    w.FirstLayer();
    while (out.size() < kOdbNameTableSize && w.NextLayerName(name, kOdbNameLength)) out.push_back(name);
  } else {
    w.FirstStep();
    while (out.size() < kOdbNameTableSize && w.NextStepName(name, kOdbNameLength)) out.push_back(name);
  }
  return out;
}

void UpdateModel(TOdbWriter& w, TOdbLayerFlags flags, const std::string& path) {
  uint8_t type = 0;
  if (!RunUpdateDialog(type)) return;
  const std::vector<std::string> steps = Names(w, false);
  if (type == 0) {
    std::string name;
    if (!RunStepNameDialog(steps, name)) return;
    OdbStepName = name;
    if (!RunValorExportDialog(flags)) return;
    bool any = false;
    for (bool f : flags) any = any || f;
    if (!any || !AddStepAndLayers(w, flags)) return;
    w.BuildTree();
    w.WriteMatrix();
    WriteSelectedLayers(w, flags);
  } else if (type == 1) {
    const std::vector<std::string> layers = Names(w, true);
    int32_t i = 0, j = 0, program = 0;
    if (w.Steps.size() > kOdbNameTableSize || w.Layers.size() > kOdbNameTableSize) return;
    if (!RunValorPickLayerDialog(layers, steps, i, j)) return;
    if (!RunLayerSelectDialog(flags, program)) return;
    const uint8_t existing = w.LayerType(i);
    const uint8_t kind = KindOf(program);
    const bool suits = kind == 2 ? existing != otDrill && existing != otRout
                                 : existing == (kind == 0 ? otDrill : otRout);
    if (!suits) {
      ErrorBox("The layer you have selected to output\r\ndoes not match the existing layer in "
               "the matrix!\r\nNo output was generated.");
      return;
    }
    OdbStepName = w.Steps[static_cast<std::size_t>(j - 1)].Name;
    WriteOneLayer(w, w.Layers[static_cast<std::size_t>(i - 1)].Name, program);
  } else {
    const std::vector<std::string> layers = Names(w, true);
    int32_t j = 0, program = 0;
    std::string name;
    if (w.Steps.size() > kOdbNameTableSize) return;
    if (!RunValorPickStepDialog(steps, j) || !RunLayerSelectDialog(flags, program) ||
        !RunLayerNameDialog(layers, name))
      return;
    w.AddLayer(name, KindOf(program));
    if (!w.Ok) {
      ErrorBox(w.ErrorText + "\r\nNo output was generated.");
      return;
    }
    w.BuildTree();
    w.WriteMatrix();
    OdbStepName = w.Steps[static_cast<std::size_t>(j - 1)].Name;
    WriteOneLayer(w, name, program);
  }
  ReportFailure(w, path);
}

}  // namespace

TOdbLayerFlags OdbLayersWithData() {
  TOdbLayerFlags flags{};
  for (int32_t l = 0; l < 30; ++l) flags[static_cast<std::size_t>(l)] = DB != nullptr && !DB->LayerIsEmpty(static_cast<uint8_t>(l));
  for (int32_t l = 30; l < 40; ++l)
    flags[static_cast<std::size_t>(l)] = DRDB != nullptr && !DRDB->LayerIsEmpty(static_cast<uint8_t>(l));
  for (int32_t l = 40; l < 45; ++l)
    flags[static_cast<std::size_t>(l)] = RTDB != nullptr && !RoutLayerEmpty(static_cast<uint8_t>(l));
  return flags;
}

void WriteSelectedLayers(TOdbWriter& w, const TOdbLayerFlags& flags) {
  bool profile = false;
  for (int32_t l = 0; l < 45; ++l) {
    if (!flags[static_cast<std::size_t>(l)]) continue;
    if (IsProfileLayer(l)) {
      profile = WriteLayerProfile(w, l);
    } else {
      WriteOneLayer(w, LayerNames[l], l);
    }
  }
  if (!profile) WriteExtentsProfile(w);
}

void WriteOneLayer(TOdbWriter& w, const std::string& name, int32_t layer) {
  if (layer >= 40) {
    WriteRoutLayer(w, layer, name);
  } else if (layer >= 30) {
    WriteDrillLayer(w, layer, name);
  } else {
    w.OpenFeatures(name, OdbStepName);
    WriteCadLayer(w, layer);
    w.CloseFeatures();
  }
}

void ExportOdbProduct(const std::string& path) {
  TOdbLayerFlags flags = OdbLayersWithData();
  bool any = false;
  for (bool f : flags) any = any || f;
  if (!any) {
    ErrorBox("The database is empty.  There is nothing to output");
    return;
  }
  TOdbWriter w;
  if (!FileExistsNoWild(path)) {
    OdbStepName = "KORVEX6";
    if (!RunValorExportDialog(flags)) return;
    any = false;
    for (bool f : flags) any = any || f;
    if (!any) return;
    // A model that could not be set up is not written at all.
    const std::string error = w.Init(path);
    if (!error.empty()) {
      ErrorBox(error);
      return;
    }
    if (!AddStepAndLayers(w, flags)) return;
    w.BuildTree();
    w.WriteMatrix();
    WriteSelectedLayers(w, flags);
    ReportFailure(w, path);
    return;
  }
  if (DetectValorMatrix(path) <= 0.6) return;
  const std::string error = w.Init(path);
  if (!error.empty()) {
    ErrorBox(error);
    return;
  }
  UpdateModel(w, flags, path);
}
