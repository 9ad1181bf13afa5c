// The korvex program: the Qt desktop front end.
#include <QApplication>
#include <string>

#include "foundation/file_utils.h"
#include "platform/forms.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/qt/qt_backend.h"
#include "platform/registry.h"
#include "platform/single_instance.h"

namespace {
const char* const kInstanceName = "Orbenwright, Inc. KORVEX : Previous Semaphore";
}

int main(int argc, char** argv) {
  InitUtilities();
  SeedTempFileCounter(10);

  QApplication app(argc, argv);
  QApplication::setApplicationName("KORVEX 6");
  InstallQtBackend();

  TForm* window = nullptr;
  // A second start asks the running program to come to the front and stops.
  TSingleInstanceLock instance(kInstanceName, [&window] {
    if (window) window->BringToFront();
  });
  if (!instance.IsFirst()) return 0;

  const std::string registryError = OpenPersistentRegistry();
  if (!registryError.empty()) MessageDlg(registryError, mtWarning, mbOKOnly);
  std::string folderError;
  if (!EnsureWorkingDirectories(&folderError)) MessageDlg(folderError, mtError, mbOKOnly);

  // The main window at its design bounds; its menus, view and panels come
  // with the workspace.
  TForm mainForm("TWorkspace");
  mainForm.SetCaption("KORVEX 6");
  mainForm.SetBounds(250, 141, 600, 476);
  window = &mainForm;
  mainForm.Show();
  const int rc = app.exec();
  window = nullptr;

  DeleteMatchingFiles(ExecutionPath() + "SCRATCH\\", "*.TMP");
  std::string saveError;
  if (!TRegistryStore::Instance().Flush(&saveError)) MessageDlg(saveError, mtError, mbOKOnly);
  DoneUtilities();
  return rc;
}
