// The input event record: what the main window builds from mouse and key
// events of the drawing area and the command strip, and what the menus and
// tool buttons send as command events. The command interpreter ECO routes
// it to the waiting command.
#pragma once
#include <cstdint>

// Kinds.
constexpr uint16_t ievMouseDown = 1;
constexpr uint16_t ievMouseUp = 2;
constexpr uint16_t ievMouseMove = 4;
constexpr uint16_t ievClick = 8;
constexpr uint16_t ievKey = 16;
constexpr uint16_t ievCommand = 1024;
// A value was accepted in an edit field of the command panel: Flags[0] is
// the field code's index, the value is UserPanel's LastFieldValue. (Its own
// bit: a command event must never be mistaken for it.)
constexpr uint16_t ievFieldAccepted = 2048;

// Button bits.
constexpr uint8_t mbtLeft = 1;
constexpr uint8_t mbtRight = 2;
constexpr uint8_t mbtMiddle = 4;

// The command number that cancels the active command.
constexpr int32_t cmdCancel = 1;
// World X and Y of a command event that carries no position.
constexpr int32_t NoPosition = 2147483647;

struct TInputEvent {
  uint16_t Kind = 0;
  uint8_t Buttons = 0;   // mbtLeft | mbtRight | mbtMiddle held
  int32_t X = 0;         // paint-box pixels
  int32_t Y = 0;
  uint8_t Spare = 0;
  uint8_t Shift = 0;     // 1 when held
  uint8_t Ctrl = 0;
  uint8_t Alt = 0;
  // Command events: Flags[0] is the command number (1 cancels). Key
  // events: Flags[0] and Flags[1] the key code (low byte first), Flags[2]
  // the character typed (0 for none).
  uint8_t Flags[4] = {0, 0, 0, 0};
  int32_t WorldX = 0;    // database units
  int32_t WorldY = 0;
};

// A command event for the command number (1..255) with no position.
inline TInputEvent CommandEvent(uint8_t command) {
  TInputEvent e;
  e.Kind = ievCommand;
  e.Flags[0] = command;
  e.WorldX = NoPosition;
  e.WorldY = NoPosition;
  return e;
}
