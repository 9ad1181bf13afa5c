// The "New Panel Origin" dialog: the G93 panel origin of the job, shown and
// typed in the machine's axis version and the display unit. In drill editing
// it edits the drill database's origin, in rout editing the origin of the
// current rout layer.
#pragma once
#include "routpath/checked_fields.h"

class TG93Dialog : public TForm {
 public:
  // Controls: XEdit, YEdit, OKButton "OK" (default), CancelButton "Cancel".
  TG93Dialog();
  // Stores the typed origin (OK).
  void Store() const;

  TEdit* XEdit = nullptr;
  TEdit* YEdit = nullptr;

 private:
  TCheckedFields fields_;
};

// Runs the dialog inside the caller's modal bracket; true on OK.
bool ExecuteG93Dialog();
