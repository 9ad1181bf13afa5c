// The Qt forms backend: every control of a form gets a Qt widget placed at
// the control's laid-out bounds; properties set in C++ go to the widget, and
// what a user does in the widget goes through the control's user path (so
// the same events fire as in the headless backend). A form is a dialog
// window; ShowModal runs it with exec(), Show shows it modeless, and its
// main menu (TForm::SetMenu) is the window's menu bar.
#pragma once

class QColor;
class QWidget;
class TControl;
class TForm;

// Installs the forms backend and the menus backend (qt_menus.h). Call once
// after the QApplication exists.
void InstallQtFormsBackend();

// The widget of a control (its window for a form), building the form's
// widgets when they do not exist yet; null for a timer.
QWidget* QtWidgetOf(TControl& control);

// The colour an enabled control's text is drawn in on the given face: the
// control's own colour when it contrasts enough (7 : 1), else the same hue
// made darker on a light face or lighter on a dark one until it does.
QColor ReadableTextColor(const QColor& text, const QColor& face);
