// The dialogs over the job's tool tables: the drill tool table editor, the
// active tools, the machine's axis version, and the rout tool pages (the
// current layer's page and the default page file).
//
// Every dialog edits a working copy; OK checks every cell first and puts the
// copy back only when all of them read, so a bad entry changes nothing.
#pragma once
#include <string>

#include "platform/forms.h"
#include "model/tool_tables.h"

// "Edit Tool Table": one row per tool 1..1000 with Diameter, Feed, Speed,
// Z Offset, Max Hits and First/Last, lengths in the display units
// (inches or millimetres), feed in inches (millimetres) per minute, speed
// in thousands of rpm.
class TToolTableDialog : public TForm {
 public:
  TToolTableDialog();
  TStringGrid& Grid;
  TButton& OKButton;
  TButton& CancelButton;
  TIndexedArray<TToolRecord, 1, kToolCount> Work;
  void FillGrid();
  // False after a message naming the first cell that does not read.
  bool ReadGrid();
};

// "Active Tools": the tools the drill layers use, each with its size and
// hits; the selected ones are drawn, picked and written.
class TActiveToolsDialog : public TForm {
 public:
  TActiveToolsDialog();
  TListBox& ToolList;
  TButton& AllButton;
  TButton& NoneButton;
  TButton& OKButton;
  TButton& CancelButton;
  std::vector<int32_t> Tools;  // the tool of each list line
};

// "Version": the machine axis version 1..8.
class TVersionDialog : public TForm {
 public:
  TVersionDialog();
  TRadioGroup& VersionGroup;
  TButton& OKButton;
  TButton& CancelButton;
};

// "Cutter Config": the current rout layer's tool page, one row per tool with
// Diameter, Comp Diameter and Z Offset in display units and the high and low
// feeds as stored; "&Load" and "Sa&ve" read and write *.RTT files.
class TToolPageDialog : public TForm {
 public:
  TToolPageDialog();
  TStringGrid& Grid;
  TButton& LoadButton;
  TButton& SaveButton;
  TButton& OKButton;
  TButton& CancelButton;
  int Layer = kFirstRoutLayer;
  TRoutToolPage Work;
  void FillGrid();
  bool ReadGrid();
  void LoadButtonClick();
  void SaveButtonClick();
};

// "Drilled Text": the text of a drilled text (at most maxLength characters)
// and its orientation.
class TM97M98Dialog : public TForm {
 public:
  TM97M98Dialog();
  TEdit& TextEdit;
  TRadioGroup& OrientationGroup;
  TButton& OKButton;
  TButton& CancelButton;
};

// "New Feed Rate" (or "New Z Offset"): how far a change reaches.
class TFeedRateDialog : public TForm {
 public:
  explicit TFeedRateDialog(bool forZ);
  TRadioGroup& ScopeGroup;
  TButton& OKButton;
  TButton& CancelButton;
};

// On OK: true with the edited text and the vertical flag; on Cancel false,
// both left as they were.
bool RunDrilledTextDialog(std::string& text, int maxLength, bool& vertical);
// On OK: true with the chosen scope 0..2 (up to the next change, this cut
// only, the whole chain).
bool RunFeedRateDialog(int& scope, bool forZ);

// A tool size in database units as the display shows it (millimetres while
// Metric, else inches).
std::string ToolSizeToText(int32_t size);

// Auto Load Feeds & Speeds: a feed/speed table (the tape reader's parameter
// table: one line of tool words per size, C the diameter, F the feed and S
// the spindle speed, in the drill input format) gives every tool of the
// drill tool table with a diameter the feed and speed of the line of its
// size, or of the next larger size. Tools without such a line keep theirs.
// The file is chosen with "Select Feed/Speed Table"; true when read.
bool LoadFeedSpeedTable();
bool LoadFeedSpeedTableFile(const std::string& fileName);

// The menu targets. True on OK (the table changed as asked).
bool ExecuteToolTableDialog();
bool ExecuteActiveToolsDialog();
bool ShowVersionDialog();
// The page of the rout layer (40..44).
bool ExecuteToolPageDialog(int layer);
// Chooses the default rout tool page file ("Select Default Tool Page"),
// remembers it ("Default Rout Tool Page") and loads it into the layer's
// page. True when a file was chosen and read.
bool ExecuteDefaultToolPageDialog(int layer);
