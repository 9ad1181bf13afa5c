#include "tapein/filter_lists.h"

#include "foundation/file_dialogs.h"
#include "foundation/utilities.h"
#include "platform/message_box.h"
#include "platform/paths.h"

namespace {

using TFilterTable = std::array<TFilterRecord, FilterCount + 1>;

TFilterTable& Table(bool import) { return import ? ImportFilters : ExportFilters; }

// "Select swap file" on the program's SWAP folder with the name "*.*"; true
// with the chosen full name in upper case.
bool ChooseSwapFile(std::string& swapFile) {
  std::string name = ExecutionPath() + "SWAP\\*.*";
  // A longer name would not fit the filter record; the dialog refuses it.
  if (!ExecuteOpenFileDialog("Select swap file", name, static_cast<int>(kShortStringMax))) return false;
  swapFile = UpperCaseStr(name);
  return true;
}

}  // namespace

int FilterListCount(const TFilterTable& filters) {
  int n = 0;
  while (n < FilterCount && !filters[static_cast<std::size_t>(n) + 1].Name.empty()) ++n;
  return n;
}

int FillFilterList(TListBox& list, const TFilterTable& filters) {
  list.ClearItems();
  list.AddItem("Standard");
  list.SetItemIndex(0);
  int n = FilterListCount(filters);
  for (int k = 1; k <= n; ++k) list.AddItem(filters[static_cast<std::size_t>(k)].Name);
  return n;
}

uint8_t FixFilterDefault(uint8_t value, int deleted, int count) {
  int v = value;
  if (v == deleted) v = 0;
  else if (v > deleted) v -= 1;
  if (v < 0 || v > count) v = 0;
  return static_cast<uint8_t>(v);
}

// ---- TPickFilterDialog -------------------------------------------------------

TPickFilterDialog::TPickFilterDialog()
    : TForm("TPickFilterDialog"),
      ExportGroup(Add<TGroupBox>("ExportGroup", "Export Filters")),
      ExportList(ExportGroup.Add<TListBox>("ExportList")),
      OKButton(Add<TPanel>("ButtonRow").Add<TButton>("OKButton", "OK", mrOk)),
      CancelButton(Get<TPanel>("ButtonRow").Add<TButton>("CancelButton", "Cancel", mrCancel)) {
  SetCaption("Export Filters");
  auto& row = Get<TPanel>("ButtonRow");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  ExportList.SetWidth(240);
  ExportList.SetHeight(180);
  OKButton.SetDefault(true);
  CancelButton.SetCancel(true);
  OnShow = [this](TForm&) { FormPaint(); };
}

void TPickFilterDialog::FormPaint() { ExportList.SetFocus(); }

bool PickFilter(uint8_t& index, bool import) {
  TPickFilterDialog dialog;
  dialog.ImportMode = import;
  if (import) {
    dialog.SetCaption("Import Filters");
    dialog.ExportGroup.SetCaption("Import Filters");
  }
  dialog.Count = static_cast<uint8_t>(FillFilterList(dialog.ExportList, Table(import)));
  if (dialog.Count == 0) {
    index = 0;
    return true;
  }
  dialog.ExportList.SetItemIndex(index <= dialog.Count ? index : 0);
  bool ok = dialog.ShowModal() == mrOk;
  int selected = dialog.ExportList.ItemIndex();
  if (selected >= 0 && selected <= dialog.Count) index = static_cast<uint8_t>(selected);
  else if (index > dialog.Count) index = 0;
  return ok;
}

// ---- TSwapTablesDialog --------------------------------------------------------

namespace {

// One side of the dialog: a group with the list, the swap file panel and the
// three buttons.
TGroupBox& AddFilterGroup(TForm& form, const std::string& prefix, const std::string& letter,
                          const std::string& caption) {
  auto& group = form.Add<TGroupBox>(prefix + "Group", caption);
  auto& list = group.Add<TListBox>(prefix + "List");
  list.SetWidth(300);
  list.SetHeight(160);
  auto& panel = group.Add<TPanel>(prefix + "Panel");
  panel.SetBevel(bvLowered);
  panel.SetAlignment(taLeftJustify);
  panel.SetWidth(300);
  auto& row = group.Add<TPanel>(prefix + "Buttons");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  row.Add<TButton>(letter + "NewButton", "New");
  row.Add<TButton>(letter + "BrowseButton", "Browse");
  row.Add<TButton>(letter + "DeleteButton", "Delete");
  return group;
}

}  // namespace

TSwapTablesDialog::TSwapTablesDialog()
    : TForm("TSwapTablesDialog"),
      ImportGroup(AddFilterGroup(*this, "Import", "I", "Import Filters")),
      ImportList(Get<TListBox>("ImportList")),
      ImportPanel(Get<TPanel>("ImportPanel")),
      INewButton(Get<TButton>("INewButton")),
      IBrowseButton(Get<TButton>("IBrowseButton")),
      IDeleteButton(Get<TButton>("IDeleteButton")),
      ExportGroup(AddFilterGroup(*this, "Export", "E", "Export Filters")),
      ExportList(Get<TListBox>("ExportList")),
      ExportPanel(Get<TPanel>("ExportPanel")),
      ENewButton(Get<TButton>("ENewButton")),
      EBrowseButton(Get<TButton>("EBrowseButton")),
      EDeleteButton(Get<TButton>("EDeleteButton")),
      OKButton(Add<TButton>("OKButton", "Done", mrOk)) {
  SetCaption("Import/Export Filters");
  OKButton.SetDefault(true);
  OKButton.SetCancel(true);
  ImportList.OnClick = ImportList.OnChange = [this](TControl&) { ImportListClick(); };
  ExportList.OnClick = ExportList.OnChange = [this](TControl&) { ExportListClick(); };
  INewButton.OnClick = [this](TControl&) { INewButtonClick(); };
  ENewButton.OnClick = [this](TControl&) { ENewButtonClick(); };
  IBrowseButton.OnClick = [this](TControl&) { IBrowseButtonClick(); };
  EBrowseButton.OnClick = [this](TControl&) { EBrowseButtonClick(); };
  IDeleteButton.OnClick = [this](TControl&) { IDeleteButtonClick(); };
  EDeleteButton.OnClick = [this](TControl&) { EDeleteButtonClick(); };
}

void TSwapTablesDialog::FillLists() {
  ImportCount = static_cast<uint8_t>(FillFilterList(ImportList, ImportFilters));
  ExportCount = static_cast<uint8_t>(FillFilterList(ExportList, ExportFilters));
  ImportPanel.SetCaption("");
  ExportPanel.SetCaption("");
}

void TSwapTablesDialog::ImportListClick() { ListClick(true); }
void TSwapTablesDialog::ExportListClick() { ListClick(false); }
void TSwapTablesDialog::INewButtonClick() { NewClick(true); }
void TSwapTablesDialog::ENewButtonClick() { NewClick(false); }
void TSwapTablesDialog::IBrowseButtonClick() { BrowseClick(true); }
void TSwapTablesDialog::EBrowseButtonClick() { BrowseClick(false); }
void TSwapTablesDialog::IDeleteButtonClick() { DeleteClick(true); }
void TSwapTablesDialog::EDeleteButtonClick() { DeleteClick(false); }

void TSwapTablesDialog::ListClick(bool import) {
  TListBox& list = import ? ImportList : ExportList;
  TPanel& panel = import ? ImportPanel : ExportPanel;
  int k = list.ItemIndex();
  panel.SetCaption(k >= 1 && k <= FilterCount ? Table(import)[static_cast<std::size_t>(k)].SwapFile : "");
}

void TSwapTablesDialog::NewClick(bool import) {
  const std::string side = import ? "import" : "export";
  uint8_t& count = import ? ImportCount : ExportCount;
  if (count >= FilterCount) {
    ErrorBox("Maximum number of " + side + " filters reached!\r\nIf you need more than " +
             IntToShortStr(FilterCount) + " filters,\r\ncontact Orbenwright!");
    return;
  }
  std::string name;
  if (!InputQuery("Filter Name", "Enter a new name for an " + side + " filter", name)) {
    FillLists();
    return;
  }
  if (name == "Standard") {
    ErrorBox("Cannot assign 'Standard' as a name!");
    return;
  }
  TFilterTable& table = Table(import);
  for (int k = 1; k <= count; ++k) {
    if (table[static_cast<std::size_t>(k)].Name == name) {
      ErrorBox("That name already exists!");
      return;
    }
  }
  std::string swapFile;
  if (ChooseSwapFile(swapFile)) {
    TFilterRecord& record = table[static_cast<std::size_t>(count) + 1];
    record.Name = ShortStr(name);
    record.SwapFile = swapFile;
  }
  FillLists();
}

void TSwapTablesDialog::BrowseClick(bool import) {
  int k = (import ? ImportList : ExportList).ItemIndex();
  if (k < 0) return;
  if (k == 0) {
    ErrorBox(import ? "Cannot assign swap file to standard input!" : "Cannot assign swap file to standard output!");
    return;
  }
  std::string swapFile;
  if (k <= FilterCount && ChooseSwapFile(swapFile)) {
    Table(import)[static_cast<std::size_t>(k)].SwapFile = swapFile;
    FillLists();
  }
}

void TSwapTablesDialog::DeleteClick(bool import) {
  int k = (import ? ImportList : ExportList).ItemIndex();
  if (k < 0) return;  // nothing selected: nothing to delete
  if (k == 0) {
    ErrorBox(import ? "Cannot delete standard input!" : "Cannot delete standard output!");
    return;
  }
  if (k > FilterCount) return;
  TFilterTable& table = Table(import);
  for (int j = k; j < FilterCount; ++j) table[static_cast<std::size_t>(j)] = table[static_cast<std::size_t>(j) + 1];
  table[FilterCount] = TFilterRecord{};
  int count = FilterListCount(table);
  if (import) {
    RoutImportFilter = FixFilterDefault(RoutImportFilter, k, count);
    DrillImportFilter = FixFilterDefault(DrillImportFilter, k, count);
  } else {
    for (int layer = 40; layer <= 44; ++layer) {
      RoutLayerExportFilter[static_cast<std::size_t>(layer)] =
          FixFilterDefault(RoutLayerExportFilter[static_cast<std::size_t>(layer)], k, count);
    }
    DrillExportFilter = FixFilterDefault(DrillExportFilter, k, count);
  }
  FillLists();
}

void ExecuteSwapTablesDialog() {
  TSwapTablesDialog dialog;
  dialog.FillLists();
  dialog.ShowModal();
}
