// RubberBrain: the rubber band of the waiting command. A command hands it a
// drawing procedure that paints its pending geometry with an exclusive-or
// pen (so drawing it twice removes it); RubberBrain remembers whether the
// band is on the screen, takes it off before the next shape, and puts it
// back when the view was copied again from the off-screen picture (which
// wiped it).
#pragma once
#include <functional>

class TRubberBrain {
 public:
  using TDraw = std::function<void()>;

  TRubberBrain();
  virtual ~TRubberBrain();
  TRubberBrain(const TRubberBrain&) = delete;
  TRubberBrain& operator=(const TRubberBrain&) = delete;

  // Takes the old band off the screen and draws the new one.
  void Show(TDraw draw);
  // Takes the band off the screen and forgets it.
  void Hide();
  // The view was copied from the picture: the band is no longer on the
  // screen; it is drawn again.
  void ViewRestored();
  // The paint box was resized: the drawn band is forgotten (not erased);
  // the next ViewRestored draws it again.
  virtual void Forget();
  bool Drawn() const { return Drawn_; }
  bool HasBand() const { return static_cast<bool>(Draw_); }

 private:
  TDraw Draw_;
  bool Drawn_ = false;
};

// Created eleventh at start-up; null before and after.
extern TRubberBrain* RubberBrain;
