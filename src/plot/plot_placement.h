// Placing a page on the drawing before a plot or print.
//
// The user drags a page-sized rectangle over the view and clicks: the left
// button places it, the right button gives up (the caller shows its dialog
// again). The view's side is installed by the main window at start-up;
// until then a page is placed with its lower-left corner at the world
// origin, which is what a program without a view can do.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Answers true with the lower-left corner (database units) of a page of
// width x height database units placed by the user; false when the user
// gave up.
using TPagePlacer = std::function<bool(int32_t width, int32_t height, int32_t& x, int32_t& y)>;

// Installs the placement (an empty one puts the default back); returns the
// one installed before.
TPagePlacer SetPagePlacer(TPagePlacer placer);

// The placement framed by the command strip's prompt "left button to plot,
// right for menu" (the three prompt lines come back afterwards).
bool PlacePage(int32_t width, int32_t height, int32_t& x, int32_t& y);

// The placement was stopped (Escape, the program closing) rather than given
// up with the right button: the plot ends instead of asking again. The view
// calls StopPlacement; PlacePage clears it when it starts.
void StopPlacement();
bool PlacementStopped();

// Saves the three prompt lines, clears lines 2 and 3, disables the typed
// entry and shows the text in line 1; Clear puts all back.
void ShowPlacementPrompt(const std::string& text);
void ClearPlacementPrompt();
