#include "workspace/page_placement.h"

#include <chrono>
#include <thread>

#include "command/input_event.h"
#include "command/rubber_brain.h"
#include "platform/events.h"
#include "platform/keys.h"
#include "plot/plot_placement.h"
#include "workspace/my_screen.h"
#include "workspace/view_mapping.h"
#include "workspace/workspace.h"

namespace {

constexpr double Int32Max = 2147483647.0;

// The corner keeps the whole rectangle within the 32-bit range.
void GuardCorner(int32_t width, int32_t height) {
  if (double(MouseWorldX) + width > Int32Max) MouseWorldX = int32_t(Int32Max - 1 - width);
  if (double(MouseWorldY) + height > Int32Max) MouseWorldY = int32_t(Int32Max - 1 - height);
}

bool InRange(int32_t width, int32_t height) {
  return double(MouseWorldX) + width <= Int32Max && double(MouseWorldY) + height <= Int32Max;
}

bool PlaceOnView(int32_t width, int32_t height, int32_t& x, int32_t& y) {
  if (MyScreen == nullptr || RubberPaint == nullptr) return true;
  uint8_t buttonState = 0, lastButton = 0;
  // The page frame is a rubber band like any other: white under exclusive
  // or, so it shows on every background and erases itself. RubberBrain
  // keeps it: it takes the old frame off before the new one and draws it
  // again when a repaint of the window has wiped it, so no stale frame is
  // left behind.
  auto rectangle = [&](bool show) {
    if (RubberBrain == nullptr) return;
    if (!show) {
      RubberBrain->Hide();
      return;
    }
    const TRealPoint a{double(MouseWorldX), double(MouseWorldY)};
    const TRealPoint b{double(MouseWorldX) + width, double(MouseWorldY) + height};
    RubberBrain->Show([a, b] {
      if (RubberPaint == nullptr) return;
      RubberPaint->SetXorPen();
      RubberPaint->RubberRectangle(a, b, true, false);
    });
  };
  const auto savedHook = ViewHooks.PrintPlacementEvent;
  const uint8_t savedActivity = MyScreen->Activity;
  MyScreen->Activity = acPrintPlacement;
  GuardCorner(width, height);
  // Whatever band the waiting command showed gives way to the frame.
  if (RubberBrain != nullptr) RubberBrain->Hide();
  rectangle(true);
  ViewHooks.PrintPlacementEvent = [&](TInputEvent& event) {
    // Escape stops the plot: the placement ends without asking again.
    if (event.Kind == ievKey && event.Flags[0] == VK_ESCAPE) {
      StopPlacement();
      lastButton = 2;
      return;
    }
    if (event.Kind == ievMouseDown) buttonState = (event.Buttons & mbtLeft) ? 1 : (event.Buttons & mbtRight) ? 2 : 0;
    if (event.Kind == ievMouseUp) lastButton = buttonState;
    if (event.Kind == ievMouseMove || event.Kind == ievMouseDown) {
      MouseWorldX = MyScreen->MouseToWorldX(event.X);
      MouseWorldY = MyScreen->MouseToWorldY(event.Y);
      if (InRange(width, height)) rectangle(true);
    }
  };
  while (lastButton == 0 && !AppClosing) {
    ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (lastButton == 0) StopPlacement();  // the program closes
  GuardCorner(width, height);
  rectangle(false);
  // The window is shown again from the picture: a repaint while the page was
  // being placed would otherwise leave a frame behind that the XOR above
  // draws instead of erasing.
  MyScreen->ShowView(false);
  ViewHooks.PrintPlacementEvent = savedHook;
  MyScreen->Activity = savedActivity == acPrintPlacement ? acIdle : savedActivity;
  ProcessMessages();
  x = MouseWorldX;
  y = MouseWorldY;
  return lastButton == 1;
}

}  // namespace

void ConnectPagePlacement() { SetPagePlacer(PlaceOnView); }
