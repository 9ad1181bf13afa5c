// The Cancel of a long tape import. Once the reading has taken more than a
// second, the status box shows the text with its Cancel button; the reader's
// Poll asks Cancelled, and a cancelled import is withdrawn like a failed
// one. The box closes with the object.
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

 private:
  std::string Text_;
  uint32_t Start_ = 0;
  uint32_t LastAsk_ = 0;
  bool Open_ = false;
  bool Cancelled_ = false;
};
