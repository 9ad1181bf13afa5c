// The file viewer: a read-only memo with the file's contents and OK.
#pragma once
#include <string>

#include "platform/forms.h"

class TViewFileDialog : public TForm {
 public:
  TViewFileDialog();
  TMemo& Memo;
  TButton& OKButton;
};

// Fills the viewer with the file: a text file as it is; any other file as at
// most 255 lines of 255-byte blocks. The caller shows it.
void ViewFile(TViewFileDialog& dialog, const std::string& fileName);
