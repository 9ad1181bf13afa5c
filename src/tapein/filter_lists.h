// The import and export filter lists: the pick dialog with which an import
// chooses its filter, and the "Import/Export Filters" dialog that names
// filters, points them at swap files and deletes them.
//
// The lists themselves are ImportFilters and ExportFilters with the default
// filter bytes (foundation/settings_families.h). A list's entries are the
// records 1, 2, ... up to the first record without a name; index 0 is
// "Standard" (no filter).
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "foundation/settings_families.h"
#include "platform/forms.h"

// The number of listed filters of a table (records 1.. up to the first
// without a name).
int FilterListCount(const std::array<TFilterRecord, FilterCount + 1>& filters);
// Clears the list box, adds and selects "Standard", then adds the listed
// filters' names; returns how many names were added.
int FillFilterList(TListBox& list, const std::array<TFilterRecord, FilterCount + 1>& filters);

// Form "PickFilterDialog".
class TPickFilterDialog : public TForm {
 public:
  TPickFilterDialog();
  TGroupBox& ExportGroup;
  TListBox& ExportList;
  TButton& OKButton;
  TButton& CancelButton;
  uint8_t Count = 0;       // filters listed
  bool ImportMode = false;
  // Gives the list the focus when the dialog shows.
  void FormPaint();
};

// Form "SwapTablesDialog".
class TSwapTablesDialog : public TForm {
 public:
  TSwapTablesDialog();
  TGroupBox& ImportGroup;
  TListBox& ImportList;
  TPanel& ImportPanel;
  TButton& INewButton;
  TButton& IBrowseButton;
  TButton& IDeleteButton;
  TGroupBox& ExportGroup;
  TListBox& ExportList;
  TPanel& ExportPanel;
  TButton& ENewButton;
  TButton& EBrowseButton;
  TButton& EDeleteButton;
  TButton& OKButton;
  uint8_t ImportCount = 0;
  uint8_t ExportCount = 0;

  // Refills both lists ("Standard" selected, panels empty).
  void FillLists();
  void ImportListClick();
  void ExportListClick();
  void INewButtonClick();
  void ENewButtonClick();
  void IBrowseButtonClick();
  void EBrowseButtonClick();
  void IDeleteButtonClick();
  void EDeleteButtonClick();

 private:
  void ListClick(bool import);
  void NewClick(bool import);
  void BrowseClick(bool import);
  void DeleteClick(bool import);
};

// Shows the import or export filter list with entry index selected. True on
// OK, false on Cancel; index receives the selected entry either way (it
// stays as it was when nothing is selected). With no named filter in the
// list, index becomes 0 and the result is true without showing anything.
bool PickFilter(uint8_t& index, bool import);

// The Filters command.
void ExecuteSwapTablesDialog();

// After filter k (1..10) of a list was deleted: a default that named it
// becomes 0 ("Standard"), one after it moves down by one, and any default
// beyond the count of listed filters becomes 0.
uint8_t FixFilterDefault(uint8_t value, int deleted, int count);
