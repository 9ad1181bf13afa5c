// The format dialogs of the Excellon imports: "Excellon-to-Drill"
// (TDrillInputFormatDialog) and, sharing its controls, the CAD import's
// "Excellon-to-CAD" (TCadInputFormatDialog, cad_import.h).
//
// Each dialog edits a working copy of its settings record; OK copies the
// copy back to the program-wide record (and saves it when "&Save Defaults"
// is ticked); Cancel changes nothing.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>

#include "foundation/settings_families.h"
#include "platform/forms.h"

// The controls both Excellon format dialogs have.
class TExcellonFormatForm : public TForm {
 public:
  TPanel& DigitsPanel;
  TLabel& IntegerPanel;
  TSpinEdit& IntegerEdit;
  TLabel& DecimalPanel;
  TSpinEdit& DecimalEdit;
  TRadioGroup& UnitGroup;
  TRadioGroup& DecimalGroup;
  TRadioGroup& AxisGroup;
  TRadioGroup& AbsoluteGroup;
  TRadioGroup& BlockDeleteGroup;
  TPanel& OptionPanel;  // the dialog's own controls go here
  TCheckBox& DefaultCheckBox;
  TPanel& ButtonPanel;
  TButton& OKButton;
  TButton& CancelButton;
  TButton& ViewButton;

  // The file being imported (at most 255 characters), for the viewer.
  std::string FileName;

  void IntegerPanelClick() { IntegerEdit.SetFocus(); }
  void DecimalPanelClick() { DecimalEdit.SetFocus(); }
  // Shows the file in the read-only viewer.
  void ViewButtonClick();
  // An edit's digit count for OK: the leniently read value kept within the
  // edit's range, or 0 when it holds no positive number (the caller then
  // keeps the stored count).
  static int32_t EditDigits(const TSpinEdit& edit);

 protected:
  explicit TExcellonFormatForm(const std::string& className);

  // OK: the shared controls into the fields the drill and CAD format records
  // have in common; a digit edit without a usable count keeps the stored one.
  template <typename TRecord>
  void ReadSharedControls(TRecord& work, const TRecord& stored) const {
    work.ZerosUsed = uint8_t(std::max(0, DecimalGroup.ItemIndex()));
    work.Version = uint8_t(std::max(0, AxisGroup.ItemIndex()) + 1);
    work.Absolute = AbsoluteGroup.ItemIndex() == 0;
    work.Metric = UnitGroup.ItemIndex() == 1;
    const int32_t integer = EditDigits(IntegerEdit);
    const int32_t decimal = EditDigits(DecimalEdit);
    if (work.Metric) {
      work.MetricIntegerDigits = integer != 0 ? uint8_t(integer) : stored.MetricIntegerDigits;
      work.MetricDecimalDigits = decimal != 0 ? uint8_t(decimal) : stored.MetricDecimalDigits;
    } else {
      work.IntegerDigits = integer != 0 ? uint8_t(integer) : stored.IntegerDigits;
      work.DecimalDigits = decimal != 0 ? uint8_t(decimal) : stored.DecimalDigits;
    }
    work.UnitsFactor = UnitsFactorOf(work.Metric);
    work.BlockDelete = BlockDeleteGroup.ItemIndex() == 0;
  }
};

class TDrillInputFormatDialog : public TExcellonFormatForm {
 public:
  TDrillInputFormatDialog();

  TRadioGroup& ResolveG93Group;
  TCheckBox& ShowMessagesCheckBox;

  // The working copy the dialog edits.
  TDrillFormatRecord Work;

  // Fills the controls from the working copy.
  void FillControls();
  void UnitGroupClick();
  void OKButtonClick();
};

// Shows the dialog filled from DrillInputFormat inside the modal bracket;
// true when closed with OK (DrillInputFormat then holds the choice).
bool RunDrillFormatDialog(const std::string& fileName);
