// Puts the view, the rubber-band painter and the layer bar into the main
// window: creation and release of MyScreen and RubberPaint for the start-up
// order, and the connection of the window's controls and view hooks.
#pragma once

class TWorkspace;
class TWorkspaceViewServices;

// Start-up entries of the global objects (false when creation failed) and
// their release at shutdown.
bool CreateMyScreen();
void FreeMyScreen();
bool CreateRubberPaint();
void FreeRubberPaint();

// Binds MyScreen to the window's drawing area, scroll bars and coordinate
// panel, serves the view calls from it through the window's view services,
// and connects the window's view hooks, the layer menu commands and the
// hooks of the view and the layer model to the window, ECO and RubberBrain.
void ConnectView(TWorkspace& form, TWorkspaceViewServices& services);
// Adds the layer buttons to the window's layer panel and creates LayerBar,
// which selects the saved layer and so sets the first editor mode.
void ConnectLayerBar(TWorkspace& form);
// Undoes both (before the window and the objects go).
void DisconnectView(TWorkspaceViewServices* services);
