// The editor's caret: a shape (block, half block, vertical or horizontal
// line, custom size or bitmap) with its alignment in the character cell, and
// the caret object of one control, which places the shape in the cell under
// the caret position. A caret pair holds two shapes (insert and overwrite)
// and shows one of them by a selector.
#pragma once
#include <climits>
#include <cstdint>
#include <functional>

#include "platform/types.h"

enum TQedCaretShape { csBlock, csHalfBlock, csVertLine, csHorzLine, csCustom, csBitmap };
enum TQedCaretAlign { caLeft, caTop, caRight, caBottom, caCenter };

class TQedCaret {
 public:
  TQedCaretShape Shape() const { return Shape_; }
  TQedCaretAlign Align() const { return Align_; }
  int CaretHeight() const { return Height_; }
  int CaretWidth() const { return Width_; }
  // Milliseconds of each blink phase; 0 takes the system's.
  uint16_t BlinkTime() const { return BlinkTime_; }
  bool IsGray() const { return IsGray_; }
  int BitmapHotSpotX() const { return HotX_; }
  int BitmapHotSpotY() const { return HotY_; }

  // Each setter notifies the holder only when the value changes. The shape
  // brings its alignment and size rules with it.
  void SetShape(TQedCaretShape shape);
  void SetAlign(TQedCaretAlign align);
  void SetCaretHeight(int height);  // 1 and above
  void SetCaretWidth(int width);    // 1 and above
  void SetBlinkTime(uint16_t ms);
  void SetIsGray(bool gray);
  // A bitmap caret takes the bitmap's size; the hot spot is the bitmap's
  // point that stands on the caret position.
  void SetBitmapSize(int width, int height);
  void SetBitmapHotSpotX(int x);
  void SetBitmapHotSpotY(int y);

  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  TQedCaretShape Shape_ = csVertLine;
  TQedCaretAlign Align_ = caLeft;
  int Height_ = 10, Width_ = 2;
  uint16_t BlinkTime_ = 0;
  bool IsGray_ = false;
  int BitmapW_ = 0, BitmapH_ = 0;
  int HotX_ = 0, HotY_ = 0;
};

// The caret of one control: the shape shown, the character cell it sits in
// and its position in the control. A negative coordinate parks the caret
// out of sight without destroying it.
class TQedSingleCaret {
 public:
  static constexpr int kParked = INT_MAX;

  explicit TQedSingleCaret(TQedCaret* caret = nullptr) : Caret_(caret) { Recompute(); }
  virtual ~TQedSingleCaret() = default;

  const TQedCaret* Caret() const { return Caret_; }
  void SetCaret(TQedCaret* caret);
  void SetCellHeight(int h);  // values below 1 are ignored
  void SetCellWidth(int w);
  int CellHeight() const { return CellH_; }
  int CellWidth() const { return CellW_; }
  // Linked: the caret exists for its control (it is shown while visible).
  void Link() { Linked_ = true; }
  void Unlink() { Linked_ = false; }
  bool Linked() const { return Linked_; }
  void Show() { Visible_ = true; }
  void Hide() { Visible_ = false; }
  bool Visible() const { return Visible_; }
  void MoveTo(int x, int y);
  TPoint Position() const { return {X_, Y_}; }
  bool Parked() const { return X_ == kParked || Y_ == kParked; }
  // The caret's size and its offset inside the cell.
  int Width() const { return W_; }
  int Height() const { return H_; }
  TPoint Offset() const { return {OffX_, OffY_}; }
  // The caret's rectangle in the control; empty while parked.
  TRect Rect() const;
  // The shape's blink time in force (the system's when it gives none).
  uint16_t BlinkTime() const;
  // Size and offset from the shape and the cell.
  void Recompute();

 protected:
  TQedCaret* Caret_;

 private:
  int CellH_ = 10, CellW_ = 10;
  int X_ = 0, Y_ = 0;
  int W_ = 2, H_ = 10, OffX_ = 0, OffY_ = 0;
  bool Linked_ = false, Visible_ = false;
};

// Two shapes: the first is shown while Selector is true, the second while
// it is false.
class TQedCaretPair : public TQedSingleCaret {
 public:
  TQedCaretPair(TQedCaret* first, TQedCaret* second);
  bool Selector() const { return Selector_; }
  void SetSelector(bool first);
  void SetFirst(TQedCaret* caret);
  void SetSecond(TQedCaret* caret);

 private:
  TQedCaret* First_;
  TQedCaret* Second_;
  bool Selector_ = true;
};

// The blink phase used when a caret gives no blink time of its own.
constexpr uint16_t kSystemBlinkTime = 530;
