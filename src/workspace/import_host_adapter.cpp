#include "workspace/import_host_adapter.h"

#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "tapein/rout_import.h"
#include "workspace/my_screen.h"
#include "foundation/report_windows.h"
#include "workspace/startup.h"
#include "model/view_services.h"
#include "workspace/workspace.h"

namespace {

class TWindowReport : public TImportReport {
 public:
  TWindowReport(const std::string& caption, int32_t columns, int32_t rows) {
    Window_.SetCaption(caption);
    Window_.SetScreenSize(columns, rows);
    Window_.Show();
  }
  void Write(const std::string& text) override { Window_.Write(text); }
  void WriteLn(const std::string& text) override { Window_.WriteLn(text); }
  int32_t WhereX() override { return Window_.WhereX(); }
  void ClrScr() override { Window_.ClrScr(); }

 private:
  TGTWindow Window_;
};

}  // namespace

void TWorkspaceImportHost::BeginModal() { ViewServices().BeginModal(); }
void TWorkspaceImportHost::EndModal() { ViewServices().EndModal(); }
void TWorkspaceImportHost::ShowPleaseWait(const std::string& text) { ViewServices().ShowPleaseWait(text); }
void TWorkspaceImportHost::HidePleaseWait() { ViewServices().HidePleaseWait(); }
void TWorkspaceImportHost::SetBusyCursor(bool busy) {
  ViewServices().SetCursor(busy ? crHourGlass : crDefault);
}

std::unique_ptr<TImportReport> TWorkspaceImportHost::OpenReport(const std::string& caption,
                                                                int32_t columns, int32_t rows) {
  return std::make_unique<TWindowReport>(caption, columns, rows);
}

void TWorkspaceImportHost::ShowCadLayer(uint8_t layer) {
  if (layer < 30) DisplayedLayerMask |= 1u << layer;
}

void TWorkspaceImportHost::UpdateView() { ViewServices().UpdateView(); }

void TWorkspaceImportHost::ZoomAll() {
  if (MyScreen != nullptr) MyScreen->ZoomAll();
}

void TWorkspaceImportHost::BeginUpdate() {
  if (MyScreen != nullptr) MyScreen->BeginUpdate();
}

void TWorkspaceImportHost::EndUpdate() {
  if (MyScreen != nullptr) MyScreen->EndUpdate();
}

void TWorkspaceImportHost::NameJobAfter(const std::string& bareFileName) {
  if (DatabaseFileName.empty()) DatabaseFileName = DatabasePath + ChangeFileExtension(bareFileName, "ZUL");
  if (Workspace != nullptr) Workspace->UpdateCaption();
}

void TWorkspaceImportHost::ViewFile(const std::string& fileName) { ViewTextFile(fileName); }
