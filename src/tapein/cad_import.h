// The Excellon-to-CAD import: an Excellon tape drawn into the CAD drawing DB
// on CadImportLayer. Every hit becomes a circle of its tool size, a drilled
// circle its two outline circles, a slot its outline (two sides and two
// half circles), and rout moves become lines and arcs. The reader itself
// expands patterns and drilled text.
//
// The entities of one import form one undo step, "Import file", in the
// current journal. When the reading stops part-way the import is withdrawn
// and an error box names what stopped it. A tape read to its end whose
// blocks met faults is kept, and a warning names the faults as the drill
// import's report does.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tapein/drill_format_dialog.h"
#include "tapein/import_cancel.h"
#include "tapein/nc_reader.h"

// The CAD layer that receives the import.
extern uint8_t CadImportLayer;

class TCadInputFormatDialog : public TExcellonFormatForm {
 public:
  TCadInputFormatDialog();

  TRadioGroup& ClockWiseGroup;
  TCheckBox& CompCheckBox;

  TCadFormatRecord Work;

  void FillControls();
  void OKButtonClick();
};

// The dialog on a working copy of CadInputFormat inside the modal bracket;
// true on OK (CadInputFormat then holds the choice).
bool RunCadFormatDialog(const std::string& fileName);

class TCadTapeReader : public TNCReader {
 public:
  // Cancel of a long reading: Poll sets Abort when it was pressed.
  TImportCancel CancelBox{"Reading the tape: Cancel withdraws the import."};
  // The reader over the file with the format of CadInputFormat.
  explicit TCadTapeReader(const std::string& fileName);

  /* 1 */ void Poll(bool& abort) override;
  /* 7 */ void Error(std::string text) override;
  /* 14 */ void Hit(int32_t x, int32_t y, int32_t size, int32_t tool, int32_t block,
                    uint8_t flag) override;
  /* 15 */ void Circle(int32_t x, int32_t y, int32_t size, int32_t diameter, int32_t tool,
                       int32_t block) override;
  /* 16 */ void Slot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size, int32_t tool,
                     int32_t block, uint8_t flag) override;
  /* 19 */ void LineMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size,
                         int32_t tool, int32_t block, uint8_t flag) override;
  /* 20 */ void ArcMove(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cx, int32_t cy,
                        int32_t size, bool clockwise, int32_t tool, int32_t block) override;
  /* 38 */ void Done() override { Finish(); }

  // The texts of the errors that stopped the reading. The faults of single
  // blocks are in Faults, told once the tape is in.
  std::vector<std::string> Errors;
};

// Draws a slot's outline of the tool size on the layer.
void AddSlotOutline(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t size, uint8_t layer);

// The import: dialog, read, one undo step. True when the file was read to
// its end and drew something; false when cancelled, stopped or empty (the
// drawing and the job's modified flag then as they were).
bool ImportExcellonToCad(const std::string& fileName);

// Confidence 0..0.9 for the CAD import dispatcher (lines beginning with ";"
// count like the others).
double DetectExcellonFile(const std::string& fileName);
