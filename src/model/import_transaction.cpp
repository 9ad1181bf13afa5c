#include "model/import_transaction.h"

#include <algorithm>

#include "foundation/display_units.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/model_services.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/tool_tables.h"
#include "model/undo_journal.h"
#include "model/view_services.h"

namespace {

int32_t openTransactions = 0;

// Frees the entities of the slots above count and gives their pages back.
template <int32_t Pages, int32_t SlotsPerPage>
void CutStoreBack(TPagedEntityStore<Pages, SlotsPerPage>* store, int32_t& entityCount, int32_t count) {
  if (store == nullptr || entityCount <= count) return;
  for (int32_t i = std::min(entityCount, store->Count()); i > count; --i) {
    TEntitySlot* slot = store->GetSlot(i);
    delete slot->Entity;
    *slot = TEntitySlot{};
  }
  entityCount = count;
  store->SetCount(count);
}

// A journal of the job still (not one paused or gone since it was marked).
bool Current(const TUndoJournal* journal) {
  return journal != nullptr && (journal == CadUndo || journal == DrillUndo || journal == RoutUndo);
}

struct TJournalMark {
  TUndoJournal* Journal = nullptr;
  TUndoJournal::TMark Mark;
};

}  // namespace

struct TImportTransaction::TState {
  int32_t Cad = 0, Drill = 0, Rout = 0;
  std::array<TJournalMark, 3> Journals;
  TIndexedArray<TToolRecord, 1, kToolCount> Tools;
  TIndexedArray<bool, 1, kToolCount> Active;
  uint16_t CurrentTool = 1;
  bool MainPartSet = false;
  int32_t G93X = 0, G93Y = 0;
  TIndexedArray<TRoutToolPage, kFirstRoutLayer, 5> RoutPages;
  TIndexedArray<TRoutLayerTool, kFirstRoutLayer, 5> RoutTools;
  TIndexedArray<TRoutPathState, kFirstRoutLayer, 5> RoutPaths;
  TIndexedArray<int32_t, kFirstRoutLayer, 5> RoutInserts;
  TIndexedArray<TIntPoint, kFirstRoutLayer, 5> RoutOrigins;
  TIndexedArray<std::string, kFirstRoutLayer, 5> RoutFiles;
  TIndexedArray<bool, kFirstRoutLayer, 5> RoutModified;
  std::array<std::string, kLayerCount> Names;
  uint32_t Shown = 0, ShownNC = 0;
  std::string FileName;
  bool Modified = false;
};

TImportTransaction::TImportTransaction() : state_(std::make_unique<TState>()) {
  outermost_ = openTransactions++ == 0;
  TState& s = *state_;
  s.Cad = CadEntityCount;
  s.Drill = DrillEntityCount;
  s.Rout = RoutEntityCount;
  TUndoJournal* journals[3] = {CadUndo, DrillUndo, RoutUndo};
  for (std::size_t k = 0; k < 3; ++k)
    if (journals[k] != nullptr) s.Journals[k] = {journals[k], journals[k]->Mark()};
  s.Tools = ToolTable;
  s.Active = ActiveTools;
  if (DRDB != nullptr) {
    s.CurrentTool = DRDB->CurrentTool;
    s.MainPartSet = DRDB->MainPartSet;
    s.G93X = DRDB->G93OriginX;
    s.G93Y = DRDB->G93OriginY;
  }
  s.RoutPages = RoutToolPages;
  s.RoutTools = RoutLayerTools;
  s.RoutFiles = RoutLayerFileNames;
  s.RoutModified = RoutLayerModified;
  if (RTDB != nullptr) {
    s.RoutPaths = RTDB->PathState;
    s.RoutOrigins = RTDB->G93Origins;
  }
  if (Seq != nullptr)
    for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) s.RoutInserts[l] = Seq->InsertPoint(l);
  std::copy(std::begin(LayerNames), std::end(LayerNames), s.Names.begin());
  s.Shown = DisplayedLayerMask;
  s.ShownNC = DisplayedNCLayerMask;
  s.FileName = DatabaseFileName;
  s.Modified = DatabaseModified;
}

TImportTransaction::~TImportTransaction() {
  TakeBack();
  --openTransactions;
}

bool TImportTransaction::Added() const {
  const TState& s = *state_;
  return CadEntityCount > s.Cad || DrillEntityCount > s.Drill || RoutEntityCount > s.Rout;
}

void TImportTransaction::Commit() {
  if (!open_) return;
  open_ = false;
  if (!outermost_) return;
  for (const TJournalMark& j : state_->Journals) {
    if (!Current(j.Journal)) continue;
    if (j.Journal->OpenRecords() && j.Journal->RecordCount() > j.Mark.Records - j.Mark.Undone)
      j.Journal->BeginOperation("Import file");
  }
}

void TImportTransaction::TakeBackDrill() {
  if (!open_) return;
  const TState& s = *state_;
  const TJournalMark& journal = s.Journals[1];
  if (Current(journal.Journal)) journal.Journal->TakeBackTo(journal.Mark);
  if (DRDB != nullptr && DrillEntityCount > s.Drill) {
    CutStoreBack(DrillEntities, DrillEntityCount, s.Drill);
    DRDB->PickCount = 0;
  }
  ToolTable = s.Tools;
  ActiveTools = s.Active;
  if (DRDB != nullptr) DRDB->CurrentTool = s.CurrentTool;
  for (uint8_t l = kFirstDrillLayer; l <= kLastDrillLayer; ++l) LayerNames[l] = s.Names[l];
}

void TImportTransaction::TakeBack() {
  if (!open_) return;
  open_ = false;
  const TState& s = *state_;
  const bool added = Added();
  // The journals first: their records name the slots about to go.
  for (const TJournalMark& j : s.Journals)
    if (Current(j.Journal)) j.Journal->TakeBackTo(j.Mark);
  CutStoreBack(EntityArray, CadEntityCount, s.Cad);
  if (DRDB != nullptr && DrillEntityCount > s.Drill) {
    CutStoreBack(DrillEntities, DrillEntityCount, s.Drill);
    // A pick of the slots cut names nothing.
    DRDB->PickCount = 0;
  }
  if (RTDB != nullptr && RoutEntityCount > s.Rout) {
    if (Seq != nullptr) Seq->RemoveHandlesFrom(s.Rout + 1);
    CutStoreBack(RoutEntities, RoutEntityCount, s.Rout);
    RTDB->EntityChanged = RTDB->PathChanged = 0;
    RTDB->FirstChangedEntity = RTDB->FirstChangedPath = kNoChangedHandle;
  }
  ToolTable = s.Tools;
  ActiveTools = s.Active;
  if (DRDB != nullptr) {
    DRDB->CurrentTool = s.CurrentTool;
    DRDB->MainPartSet = s.MainPartSet;
    DRDB->G93OriginX = s.G93X;
    DRDB->G93OriginY = s.G93Y;
  }
  RoutToolPages = s.RoutPages;
  RoutLayerTools = s.RoutTools;
  RoutLayerFileNames = s.RoutFiles;
  RoutLayerModified = s.RoutModified;
  if (RTDB != nullptr) {
    RTDB->PathState = s.RoutPaths;
    RTDB->G93Origins = s.RoutOrigins;
  }
  // The layers hold their handles in the order they had: each insertion
  // point goes back where it stood, not to the end the read left it at.
  if (Seq != nullptr)
    for (uint8_t l = kFirstRoutLayer; l <= kLastRoutLayer; ++l) Seq->SetInsertPoint(l, s.RoutInserts[l]);
  std::copy(s.Names.begin(), s.Names.end(), std::begin(LayerNames));
  DisplayedLayerMask = s.Shown;
  DisplayedNCLayerMask = s.ShownNC;
  const bool renamed = DatabaseFileName != s.FileName || DatabaseModified != s.Modified;
  DatabaseFileName = s.FileName;
  DatabaseModified = s.Modified;
  if (renamed && WindowServices.UpdateCaption) WindowServices.UpdateCaption();
  if (added) ViewServices().RedrawView();
}
