// The "Edit Steps" dialog: the step-and-repeat table of an entity as NC
// text, one pane per nesting level, edited as text and read back into step
// command lists. A table that does not read, whose expansion leaves the
// coordinate range, or that makes no copy or a level of which ends in a step
// that moves or repeats (the last step closes a level and makes no copy of
// its own) is refused with the line to correct and the dialog stays open.
//
// Text of one level: "M01", then one line per step, "R<count>" when the
// count is above 1, "M02X<dx>Y<dy>" and the orientation words (M70 exchange,
// M80 mirror X, M90 mirror Y); a closing zero step is the bare line "M02";
// the pane of the last level ends with "M08". Numbers are written in the NC
// output format of the editor (rout or drill) in the display unit, points
// and orientations turned to the machine's axis version.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "model/step_repeat.h"
#include "platform/forms.h"

// The number format of the step text.
struct TStepTextFormat {
  int32_t IntegerDigits = 2;
  int32_t DecimalDigits = 4;
  uint8_t ZerosUsed = 0;  // 0 leading kept, 1 trailing kept, 2 both, 3 decimal point
  uint8_t Version = 1;    // machine axis version 1..8
  int32_t UnitsPerDisplayUnit = 25400000;
};
// The format of the rout output (rout editing) or of the drill output, with
// the digits of the display unit and the current axis version.
TStepTextFormat CurrentStepTextFormat(bool routEditing);

// The lines of one level (no "M08").
std::vector<std::string> StepListText(const TStepCommandList& list, const TStepTextFormat& format);

// What reading the panes gave: the new lists, or the line that failed.
struct TStepTextReading {
  bool Ok = true;
  std::array<TStepCommandList, 3> Lists;
  int32_t ErrorPane = 0;  // 0-based
  int32_t ErrorLine = 0;  // 1-based within the pane
  int32_t ErrorNumber = 0;  // counted across the panes, as reported
  // The last M02 line read in each pane (1-based; 0: none).
  std::array<int32_t, 3> LastStepLines{};
};
// Reads the panes (blank lines taken out of them); stops at "M08" and at the
// first error.
TStepTextReading ReadStepText(std::array<std::vector<std::string>, 3>& panes,
                              const TStepTextFormat& format);

class TEditStepDialog : public TForm {
 public:
  // Controls: Step1Memo..Step3Memo (in PanePanel), OKButton "OK" (mrOk) and
  // CancelButton "Cancel" (mrCancel) in ButtonPanel.
  TEditStepDialog(const TStepTextFormat& format);
  // Fills the panes from the table; the panes beyond the last level are
  // hidden.
  void SetTable(const TEditStepLists& table);
  // After OK: each pane the user changed replaces its level's list (an empty
  // pane removes the level).
  void GetTable(TEditStepLists& table) const;
  // Reads and checks the panes: false (with the error box shown, the
  // failing pane focused and its caret at the start of the line to
  // correct) when the table is refused.
  bool Validate();

  int32_t ErrorPane = -1;  // the pane that holds the last error
  int32_t ErrorLine = 0;
  // The smallest client area the window keeps.
  static constexpr int kMinWidth = 350, kMinHeight = 325;

 private:
  void ShowError();
  TMemo* Pane(int k) const { return panes_[k]; }
  TStepTextFormat format_;
  std::array<TMemo*, 3> panes_{};
  std::array<bool, 3> modified_{};
  std::array<TStepCommandList, 3> read_;
  bool filling_ = false;
};

// Runs the dialog on the table; true on OK with a valid table (the table
// then holds the new lists), false on Cancel with the table unchanged.
bool RunEditStepDialog(TEditStepLists& table, bool routEditing);
