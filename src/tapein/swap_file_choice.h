// The file dialog through which the filter lists choose a swap file. Kept
// apart from the filter dialogs so that it is compiled without the form
// model's key codes, which clash with those of the key-message layer.
#pragma once
#include <string>

// "Select swap file" on the program's SWAP folder with the name "*.*"; true
// with the chosen full name in upper case.
bool ChooseSwapFile(std::string& swapFile);
