// Open, save and font dialogs on the Qt desktop. The dialogs are Qt's own
// (never the desktop's native ones), so they look and behave the same
// everywhere.
#pragma once
#include <string>

#include <QStringList>

#include "platform/common_dialogs.h"

class QFileDialog;
class QFontDialog;
class QWidget;

// Installs the Qt backend of common_dialogs.h (once a QApplication exists).
void InstallQtCommonDialogBackend();

// The dialog's name filters for a filter text: "Description (masks)", the
// masks made case-insensitive ("*.DRL" becomes "*.[dD][rR][lL]") and "*.*"
// made to match every name; the mask part is hidden from the user.
QStringList QtNameFilters(const std::string& filterText);

// Builds the file dialog the backend shows (not yet shown), and reads its
// answer back into the settings after it was accepted. Exposed for tests.
QFileDialog* CreateQtFileDialog(const TOpenDialog& settings, QWidget* parent);
void ReadQtFileDialogAnswer(QFileDialog& dialog, TOpenDialog& settings);

QFontDialog* CreateQtFontDialog(const TFontDialog& settings, QWidget* parent);
void ReadQtFontDialogAnswer(QFontDialog& dialog, TFontDialog& settings);
