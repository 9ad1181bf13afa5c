// The File menu's Plot, Quick Print and Printer Setup.
#pragma once
#include <string>

// Asks for the plot file and its format (Gerber, HP7580, RS-274X,
// PostScript), then runs the plot job; DrawSurface is as it was afterwards.
void PlotToFile();
// Prints the plot on the current printer.
void QuickPrint();
// The printer set-up dialog.
void PrinterSetup();

// The plot file dialog: the chosen name and the 1-based format; false on
// Cancel.
bool ExecutePlotFileDialog(std::string& fileName, int& filterIndex);
