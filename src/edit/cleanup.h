// The Automatic Cleanup command of the CAD mode (menu "&Automatic Cleanup").
#pragma once

// Shows the "Clean Up Drawing" dialog; on OK runs the chosen passes on the
// current CAD layer in the order duplicates, arcs from chords, circles from
// arcs, overlapping lines, with progress and Cancel in the status box
// "Automatic cleanup"; then shows the drawing statistics, closes every
// deletion and addition under the one undo step "Auto Cleanup" of
// ActiveUndo, sets the Undo and Redo buttons and redraws the view. When the
// CAD drawing refuses an entity a pass adds, the whole clean-up is taken
// back and a box says so. False when the dialog was cancelled (nothing
// changes).
bool RunAutomaticCleanup();
