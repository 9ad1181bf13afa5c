// The rout Modify commands that set how new paths are cut and in which
// order the paths of a layer are cut: the compensation side of new paths
// (left, none, right) and Do First, Do Before and Do Last, which move a
// picked path within its layer's cut sequence. A move saves the layer's
// sequence in RoutUndo first, so each is one undo step.
#include <vector>

#include "command/argument_command.h"
#include "command/command_interpreter.h"
#include "command/command_text.h"
#include "edit/edit_commands.h"
#include "model/root_entity.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "platform/message_box.h"

namespace {

bool Ready() { return ECO != nullptr && ECO->Mode() == 1 && RTDB != nullptr && Seq != nullptr && RoutUndo != nullptr; }

// The list positions of the path that holds the handle: its jog or circle
// and everything after it up to the next jog or circle. Empty when the
// handle has no path start.
std::vector<int32_t> PathRun(int32_t handle, uint8_t& layer) {
  std::vector<int32_t> run;
  const int32_t start = Seq->FindPathJog(handle);
  if (start == 0) return run;
  const int32_t first = Seq->FindHandle(start, layer);
  if (first == 0) return run;
  run.push_back(start);
  for (int32_t p = first + 1; p <= Seq->Count(layer); ++p) {
    const int32_t h = Seq->HandleAt(layer, p);
    TRoutEntity* e = RTDB->EntityAt(h);
    if (e != nullptr && IsPathStartType(e->GetType())) break;
    run.push_back(h);
  }
  return run;
}

// Moves the run to the list position `at` of the list without it (1: first;
// beyond the end: last). Saves the layer for undo first; when the sequence
// cache cannot take it, the order stays as it is.
bool MoveRun(const std::vector<int32_t>& run, uint8_t layer, int32_t at, const std::string& name) {
  if (!Seq->SaveUndoLayer(layer)) {
    ErrorBox("File access error creating sequence cache!");
    return false;
  }
  RTDB->ErasePathStarts(layer);
  {
    const TKeptInsertPoints kept;
    for (int32_t h : run) Seq->RemoveHandle(h);
    Seq->SetInsertPoint(layer, at);
    for (int32_t h : run) Seq->InsertHandle(layer, h);
  }
  RoutUndo->BeginOperation(name);
  RTDB->DrawStepRepeats(layer);
  RTDB->DrawPathStarts(layer);
  return true;
}

bool DoFirstOrLast(const std::string& text, bool first) {
  if (!Ready()) return false;
  uint8_t layer = 0;
  const std::vector<int32_t> run = PathRun(GetCommandEntityRef(text, 1), layer);
  if (run.empty()) return false;
  return MoveRun(run, layer, first ? 1 : Seq->Count(layer) + 1, first ? "Do First" : "Do Last");
}

bool DoBefore(const std::string& text) {
  if (!Ready()) return false;
  uint8_t layer = 0, targetLayer = 0;
  const std::vector<int32_t> run = PathRun(GetCommandEntityRef(text, 1), layer);
  const std::vector<int32_t> target = PathRun(GetCommandEntityRef(text, 2), targetLayer);
  if (run.empty() || target.empty()) return false;
  if (targetLayer != layer || target.front() == run.front()) {
    MessageBeep(MB_OK);
    return false;
  }
  // The target's place once the moved path has left the list.
  uint8_t l = 0;
  int32_t at = Seq->FindHandle(target.front(), l);
  if (at > Seq->FindHandle(run.front(), l)) at -= static_cast<int32_t>(run.size());
  return MoveRun(run, layer, at, "Do Before");
}

void DefineOrder(int32_t number, const std::string& text, const std::string& title,
                 const std::vector<std::string>& prompts, TCommandExecutor execute) {
  TArgumentCommandDef def;
  def.Text = text;
  def.Title = title;
  def.Prompts = prompts;
  def.Execute = std::move(execute);
  def.Repeat = true;
  def.PickMode = 1;
  DefineArgumentCommand(number, def);
}

// The compensation side of the paths drawn from now on.
void DefineSide(int32_t number, const std::string& word, uint8_t side) {
  DefineCommand(number, word, [side] {
    if (RTDB == nullptr) return false;
    RTDB->AutoRoutCompensation = side;
    return true;
  });
}
}  // namespace

void DefineRoutOrderCommands() {
  DefineSide(46, "COMPLEFT", 1);
  DefineSide(47, "COMPNONE", 0);
  DefineSide(48, "COMPRIGHT", 2);
  DefineOrder(25, "LINKFIRST(PICK)", "Do First", {"Pick the path to cut first"},
              [](const std::string& t) { return DoFirstOrLast(t, true); });
  DefineOrder(22, "LINKBEFORE(PICK,PICK)", "Do Before",
              {"Pick the path to move", "Pick the path it is to be cut before"}, DoBefore);
  DefineOrder(27, "LINKLAST(PICK)", "Do Last", {"Pick the path to cut last"},
              [](const std::string& t) { return DoFirstOrLast(t, false); });
}
