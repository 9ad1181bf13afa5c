// Basic value types shared by the platform layer and the program.
#pragma once
#include <cstdint>
#include <string>

// A colour as $00BBGGRR: red in bits 0-7, green 8-15, blue 16-23.
using TColor = uint32_t;
constexpr TColor clBlack = 0x00000000;
constexpr TColor clMaroon = 0x00000080;
constexpr TColor clGreen = 0x00008000;
constexpr TColor clOlive = 0x00008080;
constexpr TColor clNavy = 0x00800000;
constexpr TColor clPurple = 0x00800080;
constexpr TColor clTeal = 0x00808000;
constexpr TColor clGray = 0x00808080;
constexpr TColor clSilver = 0x00C0C0C0;
constexpr TColor clRed = 0x000000FF;
constexpr TColor clLime = 0x0000FF00;
constexpr TColor clYellow = 0x0000FFFF;
constexpr TColor clBlue = 0x00FF0000;
constexpr TColor clFuchsia = 0x00FF00FF;
constexpr TColor clAqua = 0x00FFFF00;
constexpr TColor clWhite = 0x00FFFFFF;

constexpr uint8_t GetRValue(TColor c) { return c & 0xFF; }
constexpr uint8_t GetGValue(TColor c) { return (c >> 8) & 0xFF; }
constexpr uint8_t GetBValue(TColor c) { return (c >> 16) & 0xFF; }
// The pointer's shape over the program's windows: the arrow, or the
// hourglass while the program is busy.
constexpr int32_t crDefault = 0;
constexpr int32_t crHourGlass = -11;

constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) {
  return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}

// Device (pixel) coordinates.
struct TPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint&) const = default;
};

// Left/Top inclusive, Right/Bottom exclusive, as device rectangles are.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

// Results of modal dialogs and message boxes.
enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrAll = 8,
};
