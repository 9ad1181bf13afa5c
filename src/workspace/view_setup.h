// Puts the view, the rubber-band painter and the layer bar into the main
// window: creation and release of MyScreen and RubberPaint for the start-up
// order, and the connection of the window's controls and view hooks.
#pragma once
#include <cstdint>
#include <string>

#include "command/command_interpreter.h"
#include "command/user_panel.h"

class TWorkspace;
class TWorkspaceViewServices;

// Pan (command 81, "ZOOMPAN"): the next left click in the drawing area
// becomes the view's centre.
class TPanCommand : public TInteractiveCommand {
 public:
  // Puts its prompt on the command line (the lines before come back when
  // it ends).
  TPanCommand();
  uint16_t InputMode() const override;
  bool HandleEvent(TInputEvent& event) override;
  // A point typed on the command line is the new centre, as a click is.
  bool TypedText(const std::string& typed) override;
  void Cancel() override;

 private:
  void RestorePrompts();
  void PanTo(int32_t x, int32_t y);
  TPromptBuffer prompts_;
  bool done_ = false;
};

// The view commands that ECO runs from their texts: "ZOOMWINDOW(x1,y1,x2,y2)"
// shows the rectangle of the two corners, "ZOOMPAN(x,y)" centres the view
// on the point (database units). False when the text lacks the integers or
// there is no view.
bool ExecZoomWindow(const std::string& text);
bool ExecZoomPan(const std::string& text);

// Start-up entries of the global objects (false when creation failed) and
// their release at shutdown.
bool CreateMyScreen();
void FreeMyScreen();
bool CreateRubberPaint();
void FreeRubberPaint();

// Binds MyScreen to the window's drawing area, scroll bars and coordinate
// panel, serves the view calls from it through the window's view services,
// and connects the window's view hooks, the layer menu commands and the
// hooks of the view and the layer model to the window, ECO, RubberBrain, the
// screen picture DBBitmap and the rout and drill databases. Defines the view
// commands (147, 148, 150, 153 and Pan, 81).
void ConnectView(TWorkspace& form, TWorkspaceViewServices& services);
// Adds the layer buttons to the window's layer panel and creates LayerBar,
// which selects the saved layer and so sets the first editor mode.
void ConnectLayerBar(TWorkspace& form);
// Undoes both (before the window and the objects go).
void DisconnectView(TWorkspaceViewServices* services);
