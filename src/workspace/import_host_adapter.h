// The main window's side of the importers' host: the view's brackets and
// update lock, report windows, the displayed layers and the job name.
#pragma once
#include "import/import_host.h"

class TWorkspaceImportHost : public TImportHost {
 public:
  void BeginModal() override;
  void EndModal() override;
  void ShowPleaseWait(const std::string& text) override;
  void HidePleaseWait() override;
  void SetBusyCursor(bool busy) override;
  std::unique_ptr<TImportReport> OpenReport(const std::string& caption, int32_t columns,
                                            int32_t rows) override;
  void ShowCadLayer(uint8_t layer) override;
  void UpdateView() override;
  void ZoomAll() override;
  void BeginUpdate() override;
  void EndUpdate() override;
  void NameJobAfter(const std::string& bareFileName) override;
  void ViewFile(const std::string& fileName) override;
};
