// The whole job as a user could tell it apart: the job file it saves (its
// bytes), and what a job file does not hold: the room of every store, the
// tool tables, the layer names and the layers shown, the job's name, caption
// and modified flag, and the undo and redo steps of each journal. Two
// snapshots compare equal exactly when nothing of that changed.
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/display_units.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/entity_store.h"
#include "model/job_file_writer.h"
#include "model/rout_handles.h"
#include "model/tool_tables.h"
#include "model/undo_journal.h"

struct TJobSnapshot {
  std::string JobFile;
  // Slots in use and pages held, CAD, drill, rout.
  std::vector<int32_t> Room;
  std::vector<TToolRecord> Tools;
  std::vector<bool> Active;
  std::vector<TRoutToolRecord> RoutTools;
  std::vector<std::string> LayerNames;
  uint32_t Shown = 0, ShownNC = 0;
  std::string FileName, Caption;
  bool Modified = false;
  // Per journal: "undo <name> x<steps> redo <name> x<steps> records <n>".
  std::vector<std::string> Undo;

  // The parts that differ from another snapshot, one a line; empty when
  // none does.
  std::string Differences(const TJobSnapshot& other) const {
    std::ostringstream out;
    auto part = [&out](const char* name, bool same) {
      if (!same) out << name << " differ\n";
    };
    part("job file bytes", JobFile == other.JobFile);
    part("store room", Room == other.Room);
    part("tools", Tools == other.Tools && Active == other.Active);
    part("rout tools", RoutTools == other.RoutTools);
    part("layer names", LayerNames == other.LayerNames);
    part("layers shown", Shown == other.Shown && ShownNC == other.ShownNC);
    if (FileName != other.FileName) out << "name " << FileName << " / " << other.FileName << "\n";
    if (Caption != other.Caption) out << "caption " << Caption << " / " << other.Caption << "\n";
    if (Modified != other.Modified) out << "modified " << Modified << " / " << other.Modified << "\n";
    for (std::size_t k = 0; k < Undo.size() && k < other.Undo.size(); ++k)
      if (Undo[k] != other.Undo[k]) out << "journal " << k << ": " << Undo[k] << " / " << other.Undo[k] << "\n";
    if (Room != other.Room)
      for (std::size_t k = 0; k < Room.size() && k < other.Room.size(); ++k)
        if (Room[k] != other.Room[k]) out << "room " << k << ": " << Room[k] << " / " << other.Room[k] << "\n";
    return out.str();
  }
};

// Takes the snapshot; the job file goes to scratchFile (the job's own name
// and flag are left alone).
inline TJobSnapshot TakeJobSnapshot(const std::string& scratchFile, const std::string& caption) {
  TJobSnapshot s;
  const bool modified = DatabaseModified;
  if (WriteJobFile(scratchFile) == 0) {
    std::ifstream in(scratchFile, std::ios::binary);
    s.JobFile.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  DatabaseModified = modified;
  s.Room = {CadEntityCount, EntityArray != nullptr ? EntityArray->Count() : -1,
            EntityArray != nullptr ? EntityArray->AllocatedPages() : -1, DrillEntityCount,
            DrillEntities != nullptr ? DrillEntities->Count() : -1,
            DrillEntities != nullptr ? DrillEntities->AllocatedPages() : -1, RoutEntityCount,
            RoutEntities != nullptr ? RoutEntities->Count() : -1,
            RoutEntities != nullptr ? RoutEntities->AllocatedPages() : -1};
  for (int32_t t = 1; t <= kToolCount; ++t) {
    s.Tools.push_back(ToolTable[t]);
    s.Active.push_back(ActiveTools[t]);
  }
  for (int layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer)
    for (int32_t t = 1; t <= kToolCount; ++t) s.RoutTools.push_back(RoutToolPages[layer][t]);
  s.LayerNames.assign(std::begin(LayerNames), std::end(LayerNames));
  s.Shown = DisplayedLayerMask;
  s.ShownNC = DisplayedNCLayerMask;
  s.FileName = DatabaseFileName;
  s.Caption = caption;
  s.Modified = DatabaseModified;
  for (const TUndoJournal* journal : {static_cast<const TUndoJournal*>(CadUndo),
                                      static_cast<const TUndoJournal*>(DrillUndo),
                                      static_cast<const TUndoJournal*>(RoutUndo)}) {
    std::string undo, redo;
    if (journal == nullptr) {
      s.Undo.push_back("(none)");
      continue;
    }
    journal->CanUndo(undo);
    journal->CanRedo(redo);
    s.Undo.push_back("undo " + undo + " x" + std::to_string(journal->UndoCount()) + " redo " + redo + " x" +
                     std::to_string(journal->RedoCount()) + " records " + std::to_string(journal->RecordCount()));
  }
  return s;
}
