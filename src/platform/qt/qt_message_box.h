// Message boxes, the input box and the beep on the Qt desktop.
#pragma once
#include "platform/message_box.h"

class QMessageBox;
class QWidget;

// Installs the Qt backend of message_box.h (once a QApplication exists).
void InstallQtMessageBoxBackend();

// Builds the box the backend shows (not yet shown), parented to parent; the
// buttons carry their modal result in the property "modalResult". Exposed so
// that tests can check and drive the box.
QMessageBox* CreateQtMessageBox(const TMessageBoxRequest& request, QWidget* parent);
// The modal result of the button that closed a box made by CreateQtMessageBox.
TModalResult QtMessageBoxResult(QMessageBox& box);
