// The file viewer: a read-only memo with the file's contents and OK.
#pragma once
#include <cstdint>
#include <string>

#include "platform/forms.h"

class TViewFileDialog : public TForm {
 public:
  TViewFileDialog();
  TMemo& Memo;
  TButton& OKButton;
};

// Fills the viewer with the file: a text file as it is, one of more than
// 1 MB up to the last line end within its first MB and a last line that
// says the rest is not shown; any other file as at most 255 lines of
// 255-byte blocks. The caller shows it.
void ViewFile(TViewFileDialog& dialog, const std::string& fileName);

// The viewers' last line when they show only the first shownBytes of a file
// of fileBytes.
std::string RestNotShownText(int64_t shownBytes, int64_t fileBytes);
