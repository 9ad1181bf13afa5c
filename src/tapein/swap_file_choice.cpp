#include "tapein/swap_file_choice.h"

#include "foundation/file_dialogs.h"
#include "foundation/utilities.h"
#include "platform/paths.h"

bool ChooseSwapFile(std::string& swapFile) {
  std::string name = ExecutionPath() + "SWAP\\*.*";
  // A longer name would not fit the filter record; the dialog refuses it.
  if (!ExecuteOpenFileDialog("Select swap file", name, static_cast<int>(kShortStringMax))) return false;
  swapFile = UpperCaseStr(name);
  return true;
}
