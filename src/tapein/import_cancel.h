// The Cancel of a long tape import. Once the reading has taken more than a
// second, the status box shows the text with its Cancel button; the reader's
// Poll asks TimeToLook and, when it says so, lets the events through and
// asks Cancelled; a cancelled import is withdrawn like a failed one. The box
// closes with the object.
#pragma once
#include <cstdint>
#include <string>

class TImportCancel {
 public:
  explicit TImportCancel(std::string text);
  ~TImportCancel();
  TImportCancel(const TImportCancel&) = delete;
  TImportCancel& operator=(const TImportCancel&) = delete;

  // True when the user pressed Cancel (the box is asked at most ten times a
  // second); percent is how far the reading is, when known.
  bool Cancelled(int32_t percent = 0);

  // A reader asks to poll twice a line and every few hundred holes of a
  // repeat; a look at the events and the box costs far more than a line.
  // True once the work (lines plus holes and moves) since the last look
  // reaches kLookEveryWork, or kLookEveryMs have passed (the clock is read
  // every kClockEveryAsks asks), so a slow tape stays as responsive as a
  // fast one and Cancel stops a reading within a few hundred lines.
  // Inline: asked twice a line, it mostly answers false at once.
  bool TimeToLook(int64_t work) {
    if (work - LookWork_ < kLookEveryWork && ++AsksSinceClock_ < kClockEveryAsks) return false;
    return TimeToLookAtClock(work);
  }

  static constexpr int64_t kLookEveryWork = 512;
  static constexpr uint32_t kLookEveryMs = 50;
  static constexpr int32_t kClockEveryAsks = 64;

 private:
  std::string Text_;
  uint32_t Start_ = 0;
  uint32_t LastAsk_ = 0;
  bool Open_ = false;
  bool Cancelled_ = false;
  // Work at the last look, its tick count, and the asks since the clock
  // was last read.
  int64_t LookWork_ = 0;
  uint32_t LookTick_ = 0;
  int32_t AsksSinceClock_ = 0;
  // TimeToLook once the work reached a look or the clock is to be read.
  bool TimeToLookAtClock(int64_t work);
};
