#include "workspace/stroke_font.h"

void ShowMultipleItemsNotice(TCanvas& canvas, int32_t paintBoxWidth, int32_t paintBoxHeight) {
  TViewStrokeText text(canvas, "Multiple items at this location", paintBoxWidth / 2 - 100,
                       20 - paintBoxHeight, 8, 12);
  text.Draw();
}
