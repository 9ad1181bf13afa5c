#include "command/rubber_brain.h"

TRubberBrain* RubberBrain = nullptr;

TRubberBrain::TRubberBrain() = default;

TRubberBrain::~TRubberBrain() = default;

void TRubberBrain::Show(TDraw draw) {
  Hide();
  Draw_ = std::move(draw);
  if (Draw_) {
    Draw_();
    Drawn_ = true;
  }
}

void TRubberBrain::Hide() {
  // Drawing the band again with the exclusive-or pen takes it off.
  if (Drawn_ && Draw_) Draw_();
  Drawn_ = false;
  Draw_ = nullptr;
}

void TRubberBrain::ViewRestored() {
  if (!Draw_) return;
  Draw_();
  Drawn_ = true;
}

void TRubberBrain::Forget() { Drawn_ = false; }
