// The dialogs of plotting and printing: "Plotter File" (paper, scale and
// orientation of a plot file), "Quick Print" (scale or Auto Scale,
// orientation, printer set-up), "Plot Configuration" (the title lines and
// the format block), and the option boxes of the Gerber and HP7580 devices.
//
// Each Run function shows its dialog inside the main window's modal
// bracket; the choices live in PlotDefaults and the print defaults.
#pragma once
#include <cstdint>
#include <string>

#include "platform/forms.h"

struct TPaperTable;

class TPlotPromptDialog : public TForm {
 public:
  // ScaleRadioGroup "Scale", OrientationRadioGroup "Orientation",
  // PaperRadioGroup "Paper Size", XEdit and YEdit in "Custom Paper Size",
  // DefaultsCheckBox "Set De&faults", OKButton, CancelButton.
  TPlotPromptDialog();
};

class TQuickPrintDialog : public TForm {
 public:
  // ScaleRadioGroup (the five scales and "Auto Scale"),
  // OrientationRadioGroup, DefaultsCheckBox, OKButton, CancelButton and
  // PrinterSetupButton "Printer Setup" (the printer set-up dialog).
  TQuickPrintDialog();
};

class TPlotConfigurationDialog : public TForm {
 public:
  // Line1Edit and Line2Edit in "Title Block Contents", FormatBlockCheckBox
  // "&Plot format block", OKButton; there is no Cancel.
  TPlotConfigurationDialog();
};

class TGerberDialog : public TForm {
 public:
  // InterpolationCheckBox "Use &circular interpolation", FlashCheckBox
  // "&Flash true sized holes", OKButton, CancelButton.
  TGerberDialog();
};

class THP7580Dialog : public TForm {
 public:
  // FineCirclesCheckBox "&Fine Circles", OKButton, CancelButton.
  THP7580Dialog();
};

// The paper, scale and orientation of a plot file. Appends the "Custom"
// paper (PlotDefaults' custom size) unless the last paper is one. True on
// OK with custom sizes from 1 to 80 inches; an illegal size is refused with
// "Illegal entry <text>" and keeps the previous custom size. The defaults
// are saved when asked, after OK or Cancel.
bool RunPlotPrompt(TPaperTable& papers);
// The scale (0..5, 5 Auto Scale) and orientation of a print; true on OK.
bool RunQuickPrintDialog(uint8_t& scale, uint8_t& orientation);
// The title lines (cut to 255 characters) and the format-block choice.
bool AskPlotConfiguration(std::string& line1, std::string& line2);
// The Gerber options; false on Cancel. Flashing is offered only while holes
// are shown at true size.
bool RunGerberDialog(bool& circularInterpolation, bool& flashHoles);
// The HP7580 option; false on Cancel.
bool RunHP7580Dialog(bool& fineCircles);
