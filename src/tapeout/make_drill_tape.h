// Make Drill Tape: the drill menu's command that writes the drill layers as
// an Excellon tape. The dialog "Make Drill Tape" asks for the output format
// (DrillOutputFormat) and the make-tape options (DRDB's MakeTapeDefaults);
// the export filter dialog asks for the tape's name and filter; then the
// tape is collected, put in drilling order by the chosen optimiser and
// written, with the tool table file and the Gerber file of the drill data
// when asked.
#pragma once
#include <functional>
#include <string>

#include "foundation/settings_families.h"
#include "tapein/drill_format_dialog.h"

class TMakeDrillTapeDialog : public TExcellonFormatForm {
 public:
  TMakeDrillTapeDialog();

  TCheckBox& M48CheckBox;
  TCheckBox& G93CheckBox;
  TCheckBox& ToolDiametersCheckBox;
  TCheckBox& FirstLastCheckBox;
  TCheckBox& MarkFirstCheckBox;
  TCheckBox& MarkLastCheckBox;
  TCheckBox& HardLinkCheckBox;
  TCheckBox& ExpandSlotsCheckBox;
  TCheckBox& ExpandCirclesCheckBox;
  TCheckBox& ExpandTextCheckBox;
  TCheckBox& ExpandStepsCheckBox;
  TCheckBox& PinAvoidanceCheckBox;
  TCheckBox& ToolTableCheckBox;
  TCheckBox& GerberCheckBox;
  TEdit& GerberPathEdit;
  TEdit& ThicknessEdit;
  TRadioGroup& OptimizerGroup;
  TButton& CircleSlotButton;

  // The working copies the dialog edits.
  TDrillFormatRecord Format;
  TMakeTapeDefaults Options;

  void FillControls();
  void UnitGroupClick();
  void CircleSlotButtonClick();
  // False (after a message, the dialog staying open) when the thickness is
  // not a length.
  bool OKButtonClick();
};

// The slot algorithm dialog the "C&ircle/Slot" button opens, in the tape's
// units (metric flag); the button is disabled while none is installed.
void SetSlotAlgorithmDialog(std::function<void(bool metric)> dialog);

// The dialog on working copies of DrillOutputFormat and DRDB's make-tape
// options inside the modal bracket; OK copies them back (and saves both
// families when "&Save Defaults" is ticked). True on OK.
bool ExecuteMakeDrillTapeDialog();

// The menu command: dialog, file and filter, tape. True when a tape was
// written.
bool MakeDrillTape();

// The time the "Best in Time" optimiser may take over one tape.
extern uint32_t DrillPathTimeBudget;

// The tape of the current drill layers with the current options, format and
// optimiser, into the file through the filter, without dialogs. True when
// written.
bool WriteDrillTapeFile(const std::string& fileName, uint8_t filter);
