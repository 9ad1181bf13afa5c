// The please-wait box of long database operations: a small white box with
// the hourglass image panel at its left and the message beside it, one
// line per line feed of the message. The main window shows it for the view
// services' please-wait calls (THourGlass).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/forms.h"

class TShowWaitDlg : public TForm {
 public:
  static constexpr int32_t ImagePanelWidth = 65;
  static constexpr int32_t StartWidth = 300;
  static constexpr int32_t StartHeight = 100;

  TShowWaitDlg();

  TPanel& ImagePanel;
  TPaintBox& CaptionPaintBox;

  // The message's lines (split at line feeds), shown at once.
  void SetMessage(const std::string& message);
  // Paints the lines, first growing the box to hold them.
  void CaptionPaintBoxPaint();

  std::vector<std::string> Lines;
  int32_t BoxWidth = StartWidth;
  int32_t BoxHeight = StartHeight;

 private:
  void Place();
};
