// The photoplot import dialog: the coordinate format the file will be read
// with, preset from the format parameters found in it.
#include "foundation/settings_families.h"
#include "import/gerber_reader.h"
#include "import/import_host.h"
#include "platform/forms.h"

class TGerberDrillDialog : public TForm {
 public:
  TGerberDrillDialog()
      : TForm("TGerberDrillDialog"),
        CoordinatesGroup(Add<TGroupBox>("CoordinatesGroup", "Coordinates")),
        DigitsGroup(CoordinatesGroup.Add<TGroupBox>("DigitsGroup", "Digits")),
        IntegerSpin(DigitsGroup.Add<TSpinEdit>("IntegerSpin")),
        DecimalSpin(DigitsGroup.Add<TSpinEdit>("DecimalSpin")),
        ZerosGroup(CoordinatesGroup.Add<TRadioGroup>("ZerosGroup", "Zeros Used")),
        ModeGroup(CoordinatesGroup.Add<TRadioGroup>("ModeGroup", "Mode")),
        UnitGroup(CoordinatesGroup.Add<TRadioGroup>("UnitGroup", "Units")),
        DetectedCodeCaption(Add<TLabel>("DetectedCodeCaption", "Detected Code:")),
        CodeNameLabel(Add<TLabel>("CodeNameLabel")),
        ViewButton(Add<TButton>("ViewButton", "&View File")),
        DefaultCheckBox(Add<TCheckBox>("DefaultCheckBox", "Chan&ge Defaults")),
        OKButton(Add<TPanel>("ButtonRow").Add<TButton>("OKButton", "OK", mrOk)),
        CancelButton(Get<TPanel>("ButtonRow").Add<TButton>("CancelButton", "Cancel", mrCancel)) {
    SetCaption("Gerber to Drill");
    Get<TPanel>("ButtonRow").SetFlow(TFlow::Horizontal);
    Get<TPanel>("ButtonRow").SetBevel(bvNone);
    DigitsGroup.SetFlow(TFlow::Horizontal);
    IntegerSpin.SetRange(1, 4);
    DecimalSpin.SetRange(1, 7);
    IntegerSpin.SetValue(2);
    DecimalSpin.SetValue(4);
    ZerosGroup.SetItems({"&Leading", "&Trailing", "Bot&h"});
    ZerosGroup.SetColumns(3);
    ModeGroup.SetItems({"&Absolute", "Inc&remental"});
    ModeGroup.SetColumns(2);
    UnitGroup.SetItems({"I&nches", "&Millimeters"});
    UnitGroup.SetColumns(2);
    OKButton.SetDefault(true);
    CancelButton.SetCancel(true);
    ViewButton.OnClick = [this](TControl&) { ImportHost().ViewFile(FileName); };
  }

  TGroupBox& CoordinatesGroup;
  TGroupBox& DigitsGroup;
  TSpinEdit& IntegerSpin;
  TSpinEdit& DecimalSpin;
  TRadioGroup& ZerosGroup;
  TRadioGroup& ModeGroup;
  TRadioGroup& UnitGroup;
  TLabel& DetectedCodeCaption;
  TLabel& CodeNameLabel;
  TButton& ViewButton;
  TCheckBox& DefaultCheckBox;
  TButton& OKButton;
  TButton& CancelButton;
  std::string FileName;
};

bool ExecuteGerberImportDialog(const std::string& fileName, bool toCad, const std::string& codeName) {
  TImportModal bracket;
  TGerberDrillDialog dialog;
  dialog.FileName = fileName;
  if (toCad) dialog.SetCaption("Gerber To Cad");
  dialog.CodeNameLabel.SetCaption(codeName);
  dialog.ViewButton.SetEnabled(codeName == "ASCII");
  TGerberFormatRecord& g = GerberImportDefaults;
  dialog.IntegerSpin.SetValue(g.IntegerDigits);
  dialog.DecimalSpin.SetValue(g.DecimalDigits);
  dialog.ZerosGroup.SetItemIndex(g.ZeroUsage);
  dialog.ModeGroup.SetItemIndex(g.IncrementalMode ? 1 : 0);
  dialog.UnitGroup.SetItemIndex(g.Metric ? 1 : 0);
  if (dialog.ShowModal() != mrOk) return false;
  g.IntegerDigits = dialog.IntegerSpin.Value();
  g.DecimalDigits = dialog.DecimalSpin.Value();
  g.ZeroUsage = static_cast<uint8_t>(std::max(0, dialog.ZerosGroup.ItemIndex()));
  g.IncrementalMode = dialog.ModeGroup.ItemIndex() == 1;
  g.Metric = dialog.UnitGroup.ItemIndex() == 1;
  if (dialog.DefaultCheckBox.Checked()) SaveGerberImportDefaults();
  return true;
}
