// Drill tool table services of the drill editor's Tools menu: saving and
// loading tool table files, and the warning box that can be told to stay
// quiet. The tool data report, hit counting and the renumbering commands are
// operations of DRDB (model/drill_database.h) implemented beside these.
//
// Tool table file: the records of tools 1..1000 in order, 21 bytes each
// (EncodeToolRecord), no header; a full file is 21,000 bytes. Files live in
// TOOLDATA\ and have no fixed extension.
#pragma once
#include <string>

#include "platform/forms.h"

// The full name of the last drill tape written since the job was opened;
// empty when none was.
extern std::string DrillTapeFileName;

// Writes the 1,000 records of ToolTable to a temporary file beside the
// target and renames it over the target. A failure is reported (the
// system's text, a line break, "while " and the action) and gives false;
// the old file then stays as it was.
bool WriteDrillToolTableFile(const std::string& fileName);
// Reads a tool table file: records go to tools 1, 2, ... up to the end of
// the file or 1,000 records; the remaining tools become empty. The table is
// changed only when the whole file was read and its size is a multiple of 21
// bytes; otherwise an error box says why and the answer is false.
bool ReadDrillToolTableFile(const std::string& fileName);

// Menu item Save Tool Table: without a dialog into TOOLDATA\ under the name
// of the last drill tape written, else through the save dialog "Save Drill
// Tool Table as:", which replaces an existing file only on a Yes to "File
// <name> exists!" (No asks for another name). The hint strip names the file
// written. False when cancelled or when writing failed.
bool SaveDrillToolTable();
// Menu item Load Tool Table: the open dialog "Select Drill Tool Table" on
// TOOLDATA\, then ReadDrillToolTableFile. Cancel leaves the table alone.
bool LoadDrillToolTable();

// The warning box with "OK" and "OK to &All".
class TSuppressDialog : public TForm {
 public:
  TSuppressDialog();
  // Places the buttons either side of the middle.
  void FormResize();
};

// Shows the message in a TSuppressDialog unless suppressed is already set;
// "OK to &All" sets suppressed.
void ShowSuppressibleWarning(const std::string& message, bool& suppressed);
