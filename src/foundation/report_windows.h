// The two report windows of long operations.
//
// TGTWindow is a text console of 25 buffered lines painted in a fixed-pitch
// font, with a cursor that Write and WriteLn advance and that scrolls the
// buffer when it runs past the last row. TGTScrollWindow is a read-only
// scrolling memo for result reports. Both stay on top, are sized from a
// number of text columns and rows, and can show an OK strip (41 pixels
// high) at their bottom once the work is done.
//
// Both can be resized and maximised; the scroll window widens to its longest
// line (before it is shown, or when the OK strip comes; the backend keeps a
// window within the screen).
//
// Their user creates one for an operation, shows it modelessly while the
// work runs, shows the OK strip at the end and either shows the window
// modally or (the scroll window) lets messages run until OKPressed.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/events.h"
#include "platform/forms.h"

// A console written faster than it can be read (an import that reports
// every comment of a file) is painted again at most every kRepaintMs as it
// scrolls: the lines in between are kept, and a timer paints what stands at
// the end once the writing pauses.
class TGTWindow : public TForm {
 public:
  static constexpr int32_t BufferLines = 25;
  static constexpr int32_t OKStripHeight = 41;
  // The shortest time between two paints of a scrolling console.
  static constexpr uint32_t kRepaintMs = 40;

  TGTWindow();

  TPanel& PaintBoxRoot;
  TPaintBox& PaintBox;
  TPanel& ButtonPanel;
  TButton& OKButton;

  bool OKVisible = false;
  int32_t Columns = 80;
  int32_t Rows = 25;
  int32_t CursorX = 1;
  int32_t CursorY = 1;
  int32_t CharHeight = 0;
  int32_t CharWidth = 0;
  // Lines 1..25 (entry 0 unused); a blank line is 80 blanks.
  std::array<std::string, BufferLines + 1> Lines;

  void ClrScr();
  int32_t WhereX() const { return CursorX; }
  int32_t WhereY() const { return CursorY; }
  void GotoXY(int32_t column, int32_t row);
  void Write(const std::string& text);
  void WriteLn(const std::string& text = "");
  void SetScreenSize(int32_t columns, int32_t rows);
  void ShowOKButton();
  // Draws the buffer and takes the console size from the window's size.
  void PaintBoxPaint();

 private:
  void FormCreate();
  void MeasureX();
  void WriteAt(int32_t x, int32_t y, const std::string& text);
  void Scroll();
  // The picture after a scroll: painted now, or by the timer when the last
  // paint is under kRepaintMs old.
  void RepaintScrolled();
  uint32_t lastPaint_ = 0;
  bool painted_ = false;  // a paint has been made since the window was created
  bool behind_ = false;   // the picture shows the lines as they were before the last scrolls
  TTimer repaintTimer_;
};

class TGTScrollWindow : public TForm {
 public:
  static constexpr int32_t OKStripHeight = 41;
  static constexpr int32_t MemoFontHeight = 12;

  TGTScrollWindow();

  TMemo& Memo1;
  TPanel& ButtonPanel;
  TButton& OKButton;

  bool OKVisible = false;
  std::string PendingLine;

  void Clear();
  // Collects text for the current line (at most 255 characters).
  void Write(const std::string& text);
  // The pending text as a line of its own (when there is any), then the text.
  void WriteLn(std::string text = "");
  void SetTextSize(int32_t columns, int32_t rows);
  void ShowOKButton();
  void HideOKButton();
  void ScrollToEnd();
  bool OKPressed() const { return OKPressed_; }
  // OK: pressed; a window shown modally ends with mrOk.
  void OKButtonClick();
  // The caret's line and column after ScrollToEnd (0-based).
  int32_t CaretLine = 0;
  int32_t CaretColumn = 0;

 private:
  // Room beside a line: the memo's frame, margins and vertical scroll bar.
  static constexpr int32_t LineMargin = 40;
  // Widens the window so that the line shows whole.
  void FitLine(const std::string& line);
  bool OKPressed_ = false;
  int32_t WantedWidth_ = 0;  // the longest line's room so far
};
