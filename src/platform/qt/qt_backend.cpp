#include "platform/qt/qt_backend.h"

#include "platform/qt/qt_app_messages.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_common_dialogs.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_single_instance.h"

void InstallQtBackend() {
  InstallQtAppMessagesBackend();
  InstallQtClipboardBackend();
  InstallQtCommonDialogBackend();
  InstallQtMessageBoxBackend();
  InstallQtSingleInstanceBackend();
}
