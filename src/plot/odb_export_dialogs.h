// The dialogs of the ODB++ export: which program layers go out and under
// which names, how an existing product model is updated, the name of a new
// step or layer, and which existing step or layer is meant. Each answers
// true only when closed with OK.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/forms.h"

// One flag per program layer: 0-29 CAD, 30-39 drill, 40-44 rout.
using TOdbLayerFlags = std::array<bool, 45>;
// At most 32 names of 16 characters.
constexpr std::size_t kOdbNameTableSize = 32;
constexpr std::size_t kOdbNameLength = 16;

// The label of a program layer: "7", "D3", "R1".
std::string OdbLayerLabel(int32_t layer);

// Form "TValorExportDialog": per flagged layer a check box "Output<L>",
// its label and an edit "Name<L>" with its name; on OK unticked layers lose
// their flag and ticked ones take the typed name.
class TValorExportDialog : public TForm {
 public:
  explicit TValorExportDialog(const TOdbLayerFlags& flags, bool select = false);
  void OKButtonClick();
  TOdbLayerFlags Flags;
  int32_t Chosen = -1;  // the layer select dialog's radio button

 private:
  bool select_;
};

// Form "TUpdateDialog" with the radio group "UpdateGroup".
class TUpdateDialog : public TForm {
 public:
  TUpdateDialog();
};

// Forms "TStepNameDialog" and "TLayerNameDialog": the existing names in
// "ExistingListBox", the new one in "NewNameEdit".
class TNewNameDialog : public TForm {
 public:
  TNewNameDialog(bool layer, const std::vector<std::string>& existing);
  // Upper case, cut to 16; false (after the message, the edit reset) when
  // an existing name has it.
  bool OKButtonClick();
  std::string NewName;

 private:
  bool layer_;
  std::vector<std::string> existing_;
};

bool RunValorExportDialog(TOdbLayerFlags& flags);
bool RunUpdateDialog(uint8_t& updateType);
bool RunStepNameDialog(const std::vector<std::string>& existing, std::string& newName);
bool RunLayerNameDialog(const std::vector<std::string>& existing, std::string& newName);
// Radio buttons "Pick<layer>_<step>" (1-based); false at once with more
// than 32 layers or steps.
bool RunValorPickLayerDialog(const std::vector<std::string>& layers,
                             const std::vector<std::string>& steps, int32_t& layer,
                             int32_t& step);
// Radio buttons "Step<n>".
bool RunValorPickStepDialog(const std::vector<std::string>& steps, int32_t& step);
// Form "TLayerSelectDialog": radio buttons "Select<L>"; layer 0 counts as
// no choice.
bool RunLayerSelectDialog(const TOdbLayerFlags& flags, int32_t& layer);
