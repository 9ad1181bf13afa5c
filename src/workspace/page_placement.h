// The view's side of placing a plot or print page: a page-sized rectangle
// follows the mouse over the drawing until a button is clicked.
#pragma once

// Installs the placement into the plot subsystem (start-up).
void ConnectPagePlacement();
