#include "command/command_services.h"

#include <algorithm>

#include "command/command_interpreter.h"
#include "foundation/utilities.h"
#include "model/rout_edit.h"
#include "model/view_services.h"

TButtonManager* ButtonManagerObject = nullptr;
TUserCommandGate UserCommandGate = nullptr;
TUserInputGate UserInputGate = nullptr;

namespace {
constexpr uint8_t bmAll = bmDrill | bmRout | bmCad;
constexpr int32_t CompensationGroup = 1;
constexpr int ButtonWidth = 24;
constexpr int ButtonHeight = 22;
constexpr int ButtonColumns = 3;

// The tool buttons in panel order: command, hint, help context, modes,
// group.
const TToolButtonInfo ToolButtons[] = {
    {79, "[OO] Undo", 38, bmAll, 0},
    {124, "[UU] Redo", 39, bmAll, 0},
    {153, "[ZW] Zoom In", 43, bmAll, 0},
    {148, "[ZB] Zoom Out", 45, bmAll, 0},
    {147, "[ZA] Zoom All", 44, bmAll, 0},
    {81, "[PA] Pan", 71, bmAll, 0},
    // Creation.
    {86, "[PO] Create Point", 5, bmCad, 0},
    {59, "[LI] Create Line", 6, bmCad | bmRout, 0},
    {91, "[RE] Create Rectangle", 7, bmCad, 0},
    {9, "[A2] Create 2-Point Arc", 8, bmCad | bmRout, 0},
    {10, "[A3] Create 3-Point Arc", 9, bmCad | bmRout, 0},
    {21, "[C2] Create Circle", 10, bmCad, 0},
    {114, "[TA] Text Add", 0, bmCad, 0},
    {26, "[DH] Drill Hole", 46, bmRout | bmDrill, 0},
    {30, "[DS] Drill Slot", 50, bmDrill, 0},
    {23, "[DC] Drill Circle", 47, bmDrill, 0},
    {31, "[DT] Drill Text", 49, bmDrill, 0},
    {103, "[SH] Single Hole Slot", 52, bmDrill, 0},
    {50, "[HT] Convert Single Hole To Slot", 53, bmDrill, 0},
    {13, "[CD] Convert Holes to Slot", 51, bmDrill, 0},
    {44, "[HC] Convert Hole To Circle", 48, bmDrill, 0},
    {43, "[GC] G32/G33 Circle", 108, bmRout, 0},
    {53, "[IR] Create Inside Rectangle", 56, bmRout, 0},
    {96, "[RS] Create Outside Rectangle", 7, bmRout, 0},
    {41, "[FP] Follow Profile", 54, bmRout, 0},
    {125, "[WA] Window Auto Follow", 0, bmRout, 0},
    {83, "[PC] Pocket Rout", 108, bmRout, 0},
    {66, "[MP] Milled Pocket Rout", 107, bmRout, 0},
    {5, "[AR] Auto Rout Outside", 61, bmRout, 0},
    {93, "[RI] Auto Rout Inside", 62, bmRout, 0},
    {97, "[RT] Full Panel Autorout", 103, bmRout, 0},
    {52, "[IN] Auto Part Rout", 0, bmRout, 0},
    {46, "[HL] Comp Left", 58, bmRout, CompensationGroup},
    {47, "[HN] Comp None", 59, bmRout, CompensationGroup},
    {48, "[HR] Comp Right", 60, bmRout, CompensationGroup},
    // Window edits.
    {127, "[WE] Window Erase", 37, bmAll, 0},
    {131, "[WO] Window Delete Outside", 89, bmAll, 0},
    {130, "[WM] Window Move", 28, bmAll, 0},
    {126, "[WC] Window Copy", 31, bmAll, 0},
    {132, "[WS] Window Stretch", 0, bmCad | bmRout, 0},
    {111, "[SW] Window Scale", 30, bmAll, 0},
    {128, "[WF] Window Flip", 33, bmAll, 0},
    {129, "[WI] Window Mirror", 32, bmAll, 0},
    {95, "[RO] Rotate", 36, bmAll, 0},
    {89, "[RC] Radial Copy", 35, bmAll, 0},
    {63, "[MC] Matrix Copy", 34, bmAll, 0},
    {115, "[TC] Window Tool Change", 106, bmDrill, 0},
    // Snaps.
    {100, "[SC] Snap Closest Endpoint", 11, bmCad, 0},
    {104, "[SI] Snap Intersection", 12, bmCad, 0},
    {106, "[SM] Snap Midpoint", 13, bmCad, 0},
    {107, "[SN] Snap Arc-Circle Center", 14, bmCad, 0},
    {110, "[ST] Snap Tangent", 15, bmCad, 0},
    {108, "[SP] Snap Perpendicular", 16, bmCad, 0},
    {105, "[SL] Snap Parallel", 17, bmCad, 0},
    {80, "[OR] Turn on Ortho Snap", 19, bmCad, 0},
    {74, "[OA] Ortho Angle", 20, bmCad, 0},
    // Modify.
    {94, "[RM] Trim Line", 22, bmCad, 0},
    {54, "[JO] Join Lines", 23, bmCad, 0},
    {75, "[OB] Object Break", 24, bmCad, 0},
    {15, "[CH] Chamfer Lines", 25, bmCad, 0},
    {40, "[FL] Fillet Lines", 26, bmCad, 0},
    {42, "[FR] Fillet Radius", 75, bmCad, 0},
    // Steps and sequence.
    {102, "[SE] Step && Repeat Edit", 98, bmRout | bmDrill, 0},
    {18, "[CS] Create Step && Repeat", 100, bmRout | bmDrill, 0},
    {109, "[SR] Step && Repeat", 97, bmRout | bmDrill, 0},
    {6, "[AS] Add to Step && Repeat", 101, bmRout | bmDrill, 0},
    {140, "[XP] Expand Step && Repeat", 102, bmRout | bmDrill, 0},
    {101, "[SD] Step && Repeat Delete", 99, bmRout | bmDrill, 0},
    // Single-step play: enabled while a rout layer is played. Their codes
    // are the command table's own (typed during play, E stays the editor's
    // key).
    {PlayBackPathCommand, "[EN] Previous Path", 64, bmRout, 0},
    {PlayBackCutCommand, "[RW] Previous Cut", 64, bmRout, 0},
    {PlayNextCutCommand, "[PR] Next Cut", 64, bmRout, 0},
    {PlayNextPathCommand, "[FF] Next Path", 64, bmRout, 0},
    {25, "[DF] Do First", 68, bmRout, 0},
    {22, "[DB] Do Before", 69, bmRout, 0},
    {27, "[DL] Do Last", 70, bmRout, 0},
    // Check.
    {78, "[OI] Object Inspect", 40, bmAll, 0},
    {64, "[ME] Measure", 41, bmAll, 0},
    {119, "[TP] Test Path", 91, bmCad, 0},
};

// Commands the menus press that have no button.
const TToolButtonInfo CommandHints[] = {
    {150, "", 0, 0, 0},
    {12, "[CA] Chamfer Distance", 85, 0, 0},
    {11, "[CB] Chamfer Distance", 85, 0, 0},
    {7, "", 0, 0, 0},
    {32, "", 0, 0, 0},
};
}  // namespace

TButtonManager::TButtonManager() = default;

TButtonManager::~TButtonManager() = default;

void TButtonManager::DetachPanel() {
  Panel_ = nullptr;
  Buttons_.clear();
}

void TButtonManager::Register(const TToolButtonInfo& info) {
  if (Info_.count(info.Command) == 0 && info.Modes != 0) Order_.push_back(info.Command);
  Info_[info.Command] = info;
  State_.emplace(info.Command, TButtonState{});
}

void TButtonManager::AddButtons(TControl* panel) {
  Panel_ = panel;
  for (const TToolButtonInfo& info : ToolButtons) {
    Register(info);
    if (panel == nullptr) continue;
    auto& button = panel->Add<TSpeedButton>(CodeOf(info.Command) + "B", CodeOf(info.Command));
    button.Tag = info.Command;
    button.SetHint(info.Hint);
    button.SetGroupIndex(0);
    // Through the global: the buttons may outlive this manager.
    button.OnClick = [](TControl& sender) {
      ButtonManager().ButtonClick(static_cast<TSpeedButton&>(sender));
    };
    Buttons_[info.Command] = &button;
  }
  SetMode(Mode_);
}

void TButtonManager::AddCommandHints() {
  for (const TToolButtonInfo& info : CommandHints) Register(info);
}

bool TButtonManager::Press(int32_t command) {
  if (ECO == nullptr || !CommandDefined(command)) return false;
  auto info = Info_.find(command);
  const int32_t group = info == Info_.end() ? 0 : info->second.Group;
  if (group > 0) {
    for (auto& [other, otherInfo] : Info_)
      if (other != command && otherInfo.Group == group && State_[other].Down) {
        State_[other].Down = false;
        Show(other);
      }
  }
  TButtonState& state = State_[command];
  state.Down = true;
  state.State = 1;
  Show(command);
  const bool started = ECO->RunCommand(command);
  // A one-shot command's button comes up when it has run; a waiting
  // command keeps it down until it finishes; a group keeps its choice.
  TButtonState& after = State_[command];
  if (group == 0 && ECO->ActiveCommandNumber() != command && after.Down) {
    after.Down = false;
    after.State = 0;
    Show(command);
  }
  if (!started && group > 0) {
    after.Down = false;
    Show(command);
  }
  return started;
}

bool TButtonManager::PressByUser(int32_t command) {
  if (UserCommandGate != nullptr && !UserCommandGate(command)) return false;
  return Press(command);
}

void TButtonManager::ReleaseButton(int32_t command) {
  TButtonState& state = State_[command];
  state.Down = false;
  state.Enabled = true;
  state.State = 0;
  Show(command);
  ButtonBar().ReleaseButton(command);
}

void TButtonManager::DisableButton(int32_t command) {
  TButtonState& state = State_[command];
  state.Down = false;
  state.Enabled = false;
  state.State = 0;
  Show(command);
  ButtonBar().DisableButton(command);
}

void TButtonManager::ButtonClick(TSpeedButton& button) {
  PressByUser(button.Tag);
  // A command that ran at once (a play step, an undo) drew into the
  // picture: the window shows it now, not at the next move of the mouse
  // over the drawing.
  ViewServices().UpdateView();
}

void TButtonManager::SetCadMode() { SetMode(2); }
void TButtonManager::SetRoutMode() { SetMode(1); }
void TButtonManager::SetDrillMode() { SetMode(0); }

void TButtonManager::SetMode(uint8_t mode) {
  Mode_ = mode;
  if (Panel_ == nullptr) return;
  // The mode's buttons in rows of three from the top of the panel.
  int slot = 0;
  for (int32_t command : Order_) {
    TSpeedButton* button = ButtonOf(command);
    if (button == nullptr) continue;
    const bool shown = (Info_[command].Modes & (1u << mode)) != 0;
    if (!shown) {
      button->SetVisible(false);
      continue;
    }
    button->SetBounds(3 + (slot % ButtonColumns) * ButtonWidth,
                      3 + (slot / ButtonColumns) * ButtonHeight, ButtonWidth, ButtonHeight);
    // A shown button's widget moves only when told.
    button->Changed(TChange::Bounds);
    button->SetVisible(true);
    ++slot;
    Show(command);
  }
  // Place the buttons now, so the window shows the new set at once.
  if (TForm* form = Panel_->Form()) form->Realign();
}

void TButtonManager::Show(int32_t command) {
  TSpeedButton* button = ButtonOf(command);
  if (button == nullptr) return;
  const TButtonState& state = State_[command];
  button->SetDown(state.Down);
  button->SetEnabled(state.Enabled && CommandDefined(command));
}

bool TButtonManager::IsDown(int32_t command) const {
  auto it = State_.find(command);
  return it != State_.end() && it->second.Down;
}

bool TButtonManager::IsEnabled(int32_t command) const {
  auto it = State_.find(command);
  return (it == State_.end() || it->second.Enabled) && CommandDefined(command);
}

std::string TButtonManager::HintOf(int32_t command) const {
  auto it = Info_.find(command);
  return it == Info_.end() ? std::string() : it->second.Hint;
}

std::string TButtonManager::CodeOf(int32_t command) const {
  const std::string hint = HintOf(command);
  if (hint.size() < 4 || hint[0] != '[') return std::string();
  const size_t close = hint.find(']');
  if (close == std::string::npos) return std::string();
  return hint.substr(1, close - 1);
}

int32_t TButtonManager::CommandOfCode(const std::string& code) const {
  const std::string wanted = UpperCaseStr(TrimBlanks(code));
  if (wanted.empty()) return 0;
  for (const auto& [command, info] : Info_)
    if (CodeOf(command) == wanted) return command;
  return 0;
}

std::vector<int32_t> TButtonManager::ShownCommands() const {
  std::vector<int32_t> shown;
  for (int32_t command : Order_) {
    auto it = Info_.find(command);
    if (it != Info_.end() && (it->second.Modes & (1u << Mode_))) shown.push_back(command);
  }
  return shown;
}

TSpeedButton* TButtonManager::ButtonOf(int32_t command) const {
  auto it = Buttons_.find(command);
  return it == Buttons_.end() ? nullptr : it->second;
}
