#include "import/dxf_import.h"

#include <cmath>

#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "import/import_host.h"
#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/entity_store.h"
#include "model/undo_journal.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "model/tool_tables.h"

// ---- Units dialog ---------------------------------------------------------------------------

TDrawingUnits::TDrawingUnits()
    : TForm("TDrawingUnits"),
      DrawingUnitsGroup(Add<TRadioGroup>("DrawingUnitsGroup", "Drawing Units")),
      OKButton(Add<TPanel>("ButtonRow").Add<TButton>("OKButton", "OK", mrOk)),
      CancelButton(Get<TPanel>("ButtonRow").Add<TButton>("CancelButton", "Cancel", mrCancel)) {
  SetCaption("DXF File Units");
  Get<TPanel>("ButtonRow").SetFlow(TFlow::Horizontal);
  Get<TPanel>("ButtonRow").SetBevel(bvNone);
  DrawingUnitsGroup.SetItems({"&Inches", "&Millimeters"});
  OKButton.SetDefault(true);
  CancelButton.SetCancel(true);
}

bool AskDrawingUnits(bool& inches) {
  TImportModal bracket;
  TDrawingUnits dialog;
  dialog.DrawingUnitsGroup.SetItemIndex(inches ? 0 : 1);
  if (dialog.ShowModal() != mrOk) return false;
  inches = dialog.DrawingUnitsGroup.ItemIndex() == 0;
  return true;
}

// ---- CAD side -------------------------------------------------------------------------------

uint8_t CadLayerOfDxfLayer(int32_t layer) { return layer < 0 ? 0 : static_cast<uint8_t>(layer % 30); }

void TDxfToCadImporter::AddPoint(int32_t layer, double x, double y) {
  Pending.Point(CadLayerOfDxfLayer(layer), SaturatingRound(x), SaturatingRound(y));
}

void TDxfToCadImporter::AddLine(int32_t layer, double x1, double y1, double x2, double y2) {
  Pending.Line(CadLayerOfDxfLayer(layer), SaturatingRound(x1), SaturatingRound(y1),
               SaturatingRound(x2), SaturatingRound(y2));
}

void TDxfToCadImporter::AddArc(int32_t layer, double sx, double sy, double ex, double ey, double cx,
                               double cy, double a1, double a2) {
  if ((sx == ex && sy == ey) || std::fabs(a1 - a2) < 1e-10) {
    AddCircle(layer, cx, cy, std::hypot(sx - cx, sy - cy));
    return;
  }
  Pending.Arc(CadLayerOfDxfLayer(layer), SaturatingRound(sx), SaturatingRound(sy),
              SaturatingRound(ex), SaturatingRound(ey), SaturatingRound(cx), SaturatingRound(cy));
}

void TDxfToCadImporter::AddCircle(int32_t layer, double cx, double cy, double r) {
  Pending.Circle(CadLayerOfDxfLayer(layer), SaturatingRound(cx), SaturatingRound(cy),
                 SaturatingRound(r));
}

void TDxfToCadImporter::Progress() { ProcessMessages(); }

// ---- Drill side -----------------------------------------------------------------------------

TDxfToDrillImporter::TDxfToDrillImporter(const std::string& fileName, double scale)
    : TDxfReader(fileName, scale) {
  for (int32_t i = 1; i <= DrillEntityCount && DRDB != nullptr; ++i) {
    const uint32_t word = DRDB->WordAt(i);
    if (word == 0 || SlotDeleted(word)) continue;
    if (TDrillEntity* e = DRDB->EntityAt(i)) {
      const int32_t tool = e->GetToolNumber();
      if (tool >= 1 && tool <= 1000) ToolInUse[static_cast<std::size_t>(tool)] = true;
    }
  }
}

void TDxfToDrillImporter::AddCircle(int32_t, double cx, double cy, double r) {
  const int32_t d = SaturatingRound(2 * r);
  int32_t tool = 0;
  if (ToolAssigned[static_cast<std::size_t>(CurrentTool)] &&
      ToolSize[static_cast<std::size_t>(CurrentTool)] == d) {
    tool = CurrentTool;
  }
  for (int32_t t = 1; t <= 1000 && tool == 0; ++t)
    if (ToolAssigned[static_cast<std::size_t>(t)] && ToolSize[static_cast<std::size_t>(t)] == d) tool = t;
  for (int32_t t = 1; t <= 1000 && tool == 0; ++t)
    if (!ToolAssigned[static_cast<std::size_t>(t)] && !ToolInUse[static_cast<std::size_t>(t)]) {
      tool = t;
      ToolAssigned[static_cast<std::size_t>(t)] = true;
      ToolSize[static_cast<std::size_t>(t)] = d;
    }
  if (tool == 0) {
    ++Dropped;
    return;
  }
  Holes.push_back({SaturatingRound(cx), SaturatingRound(cy), tool});
}

void TDxfToDrillImporter::Commit() {
  for (int32_t t = 1; t <= 1000; ++t)
    if (ToolAssigned[static_cast<std::size_t>(t)]) ToolTable[t].Diameter = ToolSize[static_cast<std::size_t>(t)];
  int32_t counter = 0;
  for (const THole& h : Holes) {
    if (DRDB != nullptr) DRDB->AddHoleOnLayer(h.X, h.Y, CurrentLayer, h.Tool, false);
    if (++counter > 500) {
      ProcessMessages();
      counter = 0;
    }
  }
  Holes.clear();
}

// ---- Entries --------------------------------------------------------------------------------

namespace {

// False when the drawing, read at the scale, reaches beyond what a job
// holds; a drawing that cannot be read for another reason fits.
bool DxfFitsJob(const std::string& fileName, double scale) {
  TDxfReader probe(fileName, scale);
  probe.Read();
  return !probe.OutOfRange;
}

template <class TImporter>
bool RunDxfImport(const std::string& fileName, const std::string& what, TImporter*& out,
                  std::unique_ptr<TImporter>& holder) {
  if (!CheckImportFile(fileName)) {
    ImportFailed();
    return false;
  }
  bool inches = !Metric;
  double metricFactor = 1;
  // A drawing that declares no units and reaches beyond a job in inches
  // but not in millimetres is offered in millimetres.
  if (!DxfDeclaredUnits(fileName, inches, metricFactor) && inches && !DxfFitsJob(fileName, InchImportScale) &&
      DxfFitsJob(fileName, MetricImportScale))
    inches = false;
  if (!AskDrawingUnits(inches)) {
    ImportFailed();
    return false;
  }
  // Centimetres and metres come in as millimetres scaled to them.
  if (inches) metricFactor = 1;
  auto report = ImportHost().OpenReport(ImportCaption(what, "6.0", fileName), 50, 15);
  report->WriteLn("Reading DXF file...");
  holder = std::make_unique<TImporter>(fileName, inches ? InchImportScale : MetricImportScale * metricFactor);
  out = holder.get();
  out->Read();
  if (out->Failed && out->OutOfRange && metricFactor != 1) {
    // Many drawings declare centimetres or metres and are drawn in
    // millimetres: one that does not fit at its declared size is read at
    // one unit to the millimetre, and the user is told.
    holder = std::make_unique<TImporter>(fileName, MetricImportScale);
    out = holder.get();
    out->Read();
    out->UnitsNotice = std::string("The drawing declares ") + (metricFactor == 10 ? "centimetres" : "metres") +
                       " but does not fit a job at that size; it was read as millimetres.";
  }
  if (out->Failed) {
    report->WriteLn(out->ErrorText);
    NothingImported(out->ErrorText);
    return false;
  }
  for (const std::string& notice :
       {out->UnitsNotice, SkippedEntitiesNotice(out->Skipped), NotAsDrawnNotice(out->NotAsDrawn)})
    if (!notice.empty()) report->WriteLn(notice);
  return true;
}

// What was imported stands; the geometry the drawing held beyond it must not
// go unnoticed.
void TellSkippedEntities(const TDxfReader& reader) {
  std::string notice = reader.UnitsNotice;
  for (const std::string& more : {SkippedEntitiesNotice(reader.Skipped), NotAsDrawnNotice(reader.NotAsDrawn)})
    if (!more.empty()) notice += (notice.empty() ? "" : "\n\n") + more;
  if (!notice.empty()) InformationBox(notice);
}

}  // namespace

void ImportDxfToCad(const std::string& fileName) {
  TDxfToCadImporter* importer = nullptr;
  std::unique_ptr<TDxfToCadImporter> holder;
  if (RunDxfImport(fileName, "DXF-to-CAD ", importer, holder) && importer->Pending.Commit())
    TellSkippedEntities(*importer);
}

void ImportDxfToDrill(const std::string& fileName) {
  TDxfToDrillImporter* importer = nullptr;
  std::unique_ptr<TDxfToDrillImporter> holder;
  if (RunDxfImport(fileName, "DXF-to-Drill ", importer, holder)) {
    // Lines and arcs make no holes: a drawing without circles gives nothing.
    if (importer->Holes.empty() && importer->Dropped == 0) {
      NothingImported("<" + fileName + "> draws no circles; a drill layer takes holes only.");
      return;
    }
    importer->Commit();
    TellSkippedEntities(*importer);
  }
}

double DetectDxfForDrill(const std::string& fileName) { return DetectDxf(fileName); }
