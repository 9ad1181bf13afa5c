#include "platform/qt/qt_backend.h"

#include "platform/qt/qt_app_messages.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_common_dialogs.h"
#include "platform/qt/qt_events.h"
#include "platform/qt/qt_forms.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_printer.h"
#include "platform/qt/qt_single_instance.h"

void InstallQtBackend() {
  InstallQtAppMessagesBackend();
  InstallQtCanvasBackend();
  InstallQtEventsBackend();
  InstallQtPrinterBackend();
  InstallQtFormsBackend();  // with the menus
  InstallQtClipboardBackend();
  InstallQtCommonDialogBackend();
  InstallQtMessageBoxBackend();
  InstallQtSingleInstanceBackend();
}
