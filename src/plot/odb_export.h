// The ODB++ export: a new product model at the chosen path, or an update of
// an existing one when the path names its matrix file (a new step with
// several layers, one layer overwritten, or one layer added). CAD layers
// become pads, lines and arcs; drill layers pads, one per hit; rout layers
// rout chains and pads; a CAD layer named "PROFILE" (else the job's
// extents) becomes the step profile.
#pragma once
#include <cstdint>
#include <string>

#include "plot/odb_export_dialogs.h"
#include "plot/odb_writer.h"

// The step written into ("KORVEX6" for a new model).
extern std::string OdbStepName;

// The whole run; path is the export save dialog's file name.
void ExportOdbProduct(const std::string& path);

// The layers with entities (0-29 CAD, 30-39 drill, 40-44 rout).
TOdbLayerFlags OdbLayersWithData();
// Every flagged layer into OdbStepName, then the profile.
void WriteSelectedLayers(TOdbWriter& writer, const TOdbLayerFlags& flags);
// Program layer L as the ODB++ layer name; no profile.
void WriteOneLayer(TOdbWriter& writer, const std::string& name, int32_t layer);

// The layer writers (the caller opened the features file of a CAD layer).
void WriteCadLayer(TOdbWriter& writer, int32_t layer);
void WriteDrillLayer(TOdbWriter& writer, int32_t layer, const std::string& name);
void WriteRoutLayer(TOdbWriter& writer, int32_t layer, const std::string& name);
// The profile from the first closed outline of the CAD layer; false when
// it has none.
bool WriteLayerProfile(TOdbWriter& writer, int32_t layer);
void WriteExtentsProfile(TOdbWriter& writer);
