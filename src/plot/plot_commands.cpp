#include "plot/plot_commands.h"

#include <memory>

#include "command/command_services.h"
#include "foundation/file_utils.h"
#include "model/drawing_base.h"
#include "model/view_services.h"
#include "platform/common_dialogs.h"
#include "platform/forms.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/printer.h"
#include "plot/gerber_plot_device.h"
#include "plot/hp7580_plot_device.h"
#include "plot/postscript_plot_device.h"
#include "plot/printer_device.h"

namespace {

// Runs a device's job and puts the drawing surface back on every path.
void RunDevice(TPlotDevice& device) {
  struct TRestore {
    TPlotDevice& Device;
    ~TRestore() { DrawSurface = Device.SavedDrawSurface; }
  } restore{device};
  device.Execute();
}

}  // namespace

bool ExecutePlotFileDialog(std::string& fileName, int& filterIndex) {
  TSaveDialog dialog;
  dialog.Filter =
      "Gerber (*.GBR,*.GRB)|*.GBR;*.GRB|HP7580 (*.HP)|*.HP|RS274X (*.GBR)|*.GBR|PostScript "
      "(*.PS)|*.PS";
  const std::string plotFolder = ExecutionPath() + "PLOT" + PathDelim;
  dialog.InitialDir = DirectoryExists(plotFolder) ? plotFolder : ExecutionPath();
  dialog.FileName = "";
  dialog.Options = ofHideReadOnly;
  // The main window's menus are locked while the dialog is open, as for
  // every other dialog: a pick there must not start a second command.
  TModalBracket modal;
  if (!dialog.Execute()) return false;
  fileName = dialog.FileName;
  filterIndex = dialog.FilterIndex;
  return true;
}

void PlotToFile() {
  std::string name;
  int index = 1;
  // An existing file is replaced only when the user says so; No asks for
  // another name.
  for (;;) {
    if (!ExecutePlotFileDialog(name, index)) return;
    if (!FileExistsNoWild(name)) break;
    name = ExistingFileName(name);  // the file replaced, in its own spelling
    if (ConfirmOverwrite(name)) break;
  }
  std::unique_ptr<TPlotDevice> device;
  std::string kind = "Gerber";
  switch (index) {
    case 2: device = std::make_unique<THP7580PlotDevice>(name); kind = "HP7580"; break;
    case 3: device = std::make_unique<TRS274XPlotDevice>(name); kind = "RS274X"; break;
    case 4: device = std::make_unique<TPostScriptPlotDevice>(name); kind = "PostScript"; break;
    default: device = std::make_unique<TGerberPlotDevice>(name); break;
  }
  RunDevice(*device);
  if (device->Written) SetApplicationHint("Plot written: " + kind + ", " + name);
}

void QuickPrint() {
  TPrinterDevice device;
  RunDevice(device);
}

void PrinterSetup() {
  TModalBracket modal;
  Printer().ExecuteSetupDialog();
}
