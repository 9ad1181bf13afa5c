#include "editor/caret.h"

void TQedCaret::SetShape(TQedCaretShape shape) {
  if (shape == Shape_) return;
  Shape_ = shape;
  switch (shape) {
    case csBlock: Align_ = caLeft; break;
    case csHalfBlock: Align_ = caBottom; break;
    case csVertLine:
      Align_ = caLeft;
      Width_ = 2;
      break;
    case csHorzLine:
      Align_ = caBottom;
      Height_ = 2;
      break;
    case csBitmap:
      if (BitmapW_ > 0 && BitmapH_ > 0) {
        Width_ = BitmapW_;
        Height_ = BitmapH_;
      }
      break;
    case csCustom: break;
  }
  Changed();
}

void TQedCaret::SetAlign(TQedCaretAlign align) {
  if (align == Align_) return;
  Align_ = align;
  Changed();
}

void TQedCaret::SetCaretHeight(int height) {
  if (height < 1 || height == Height_) return;
  Height_ = height;
  Changed();
}

void TQedCaret::SetCaretWidth(int width) {
  if (width < 1 || width == Width_) return;
  Width_ = width;
  Changed();
}

void TQedCaret::SetBlinkTime(uint16_t ms) {
  if (ms == BlinkTime_) return;
  BlinkTime_ = ms;
  Changed();
}

void TQedCaret::SetIsGray(bool gray) {
  if (gray == IsGray_) return;
  IsGray_ = gray;
  Changed();
}

void TQedCaret::SetBitmapSize(int width, int height) {
  if (width < 1 || height < 1) return;
  BitmapW_ = width;
  BitmapH_ = height;
  if (Shape_ == csBitmap) {
    Width_ = width;
    Height_ = height;
  }
  Changed();
}

void TQedCaret::SetBitmapHotSpotX(int x) {
  if (x == HotX_) return;
  HotX_ = x;
  if (Shape_ == csBitmap) Changed();
}

void TQedCaret::SetBitmapHotSpotY(int y) {
  if (y == HotY_) return;
  HotY_ = y;
  if (Shape_ == csBitmap) Changed();
}

// ---------------------------------------------------------------- one control's caret

void TQedSingleCaret::SetCaret(TQedCaret* caret) {
  Caret_ = caret;
  Recompute();
}

void TQedSingleCaret::SetCellHeight(int h) {
  if (h < 1) return;
  CellH_ = h;
  Recompute();
}

void TQedSingleCaret::SetCellWidth(int w) {
  if (w < 1) return;
  CellW_ = w;
  Recompute();
}

void TQedSingleCaret::MoveTo(int x, int y) {
  X_ = x < 0 ? kParked : x;
  Y_ = y < 0 ? kParked : y;
}

uint16_t TQedSingleCaret::BlinkTime() const {
  return Caret_ != nullptr && Caret_->BlinkTime() != 0 ? Caret_->BlinkTime() : kSystemBlinkTime;
}

void TQedSingleCaret::Recompute() {
  if (Caret_ == nullptr) return;
  H_ = Caret_->CaretHeight();
  W_ = Caret_->CaretWidth();
  switch (Caret_->Shape()) {
    case csBlock:
      H_ = CellH_;
      W_ = CellW_;
      break;
    case csHalfBlock:
      H_ = CellH_ / 2;
      W_ = CellW_;
      break;
    case csVertLine: H_ = CellH_; break;
    case csHorzLine: W_ = CellW_; break;
    case csCustom:
    case csBitmap: break;
  }
  switch (Caret_->Align()) {
    case caLeft:
      OffX_ = 0;
      OffY_ = (CellH_ - H_) / 2;
      break;
    case caTop:
      OffX_ = (CellW_ - W_) / 2;
      OffY_ = 0;
      break;
    case caRight:
      OffX_ = CellW_ - W_;
      OffY_ = (CellH_ - H_) / 2;
      break;
    case caBottom:
      OffX_ = (CellW_ - W_) / 2;
      OffY_ = CellH_ - H_;
      break;
    case caCenter:
      OffX_ = (CellW_ - W_) / 2;
      OffY_ = (CellH_ - H_) / 2;
      break;
  }
  if (Caret_->Shape() == csBitmap) {
    OffX_ -= Caret_->BitmapHotSpotX();
    OffY_ -= Caret_->BitmapHotSpotY();
  }
}

TRect TQedSingleCaret::Rect() const {
  if (Parked()) return TRect{};
  const int x = X_ + OffX_, y = Y_ + OffY_;
  return TRect{x, y, x + W_, y + H_};
}

// ---------------------------------------------------------------- the pair

TQedCaretPair::TQedCaretPair(TQedCaret* first, TQedCaret* second)
    : TQedSingleCaret(first), First_(first), Second_(second) {}

void TQedCaretPair::SetSelector(bool first) {
  if (first == Selector_) return;
  Selector_ = first;
  SetCaret(first ? First_ : Second_);
}

void TQedCaretPair::SetFirst(TQedCaret* caret) {
  First_ = caret;
  if (Selector_) SetCaret(caret);
}

void TQedCaretPair::SetSecond(TQedCaret* caret) {
  Second_ = caret;
  if (!Selector_) SetCaret(caret);
}
