#include "plot/plot_placement.h"

#include "command/user_panel.h"
#include "platform/events.h"

namespace {

TPagePlacer& Placer() {
  static TPagePlacer placer;
  return placer;
}

// The prompt lines saved by ShowPlacementPrompt (empty at start).
TPromptBuffer SavedPrompts;
bool Stopped = false;

}  // namespace

TPagePlacer SetPagePlacer(TPagePlacer placer) {
  TPagePlacer old = std::move(Placer());
  Placer() = std::move(placer);
  return old;
}

void ShowPlacementPrompt(const std::string& text) {
  if (UserPanel != nullptr) {
    UserPanel->SavePrompts(SavedPrompts);
    UserPanel->ClearPrompts();
    UserPanel->DisableEntry();
    UserPanel->SetPromptLine(1, 1, text);
  }
  ProcessMessages();
}

void ClearPlacementPrompt() {
  if (UserPanel != nullptr) {
    UserPanel->RestorePrompts(SavedPrompts);
    UserPanel->EnableEntry();
  }
  ProcessMessages();
}

void StopPlacement() { Stopped = true; }
bool PlacementStopped() { return Stopped; }

bool PlacePage(int32_t width, int32_t height, int32_t& x, int32_t& y) {
  Stopped = false;
  ShowPlacementPrompt("left button to plot, right for menu");
  bool placed = true;
  x = 0;
  y = 0;
  if (Placer()) placed = Placer()(width, height, x, y);
  ClearPlacementPrompt();
  return placed;
}
