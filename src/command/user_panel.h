// UserPanel: the command strip at the bottom of the main window. It shows
// three prompt lines that the commands write and takes what the user types:
// characters typed into the main window collect on the entry line (after
// the third prompt line, with a blinking cursor); Enter hands the text to
// ECO, Backspace takes the last character back, Escape clears it. While a
// modal dialog runs, entry is disabled (the bracket may nest).
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "command/input_event.h"

class TPaintBox;

// The three prompt lines, as SavePrompts keeps them.
using TPromptBuffer = std::array<std::string, 3>;

class TUserPanel {
 public:
  static constexpr size_t MaxLine = 256;

  // Paints on the command strip (null: nothing is painted).
  explicit TUserPanel(TPaintBox* strip = nullptr);
  virtual ~TUserPanel();
  TUserPanel(const TUserPanel&) = delete;
  TUserPanel& operator=(const TUserPanel&) = delete;

  // Puts text into a prompt line (1..3) from a column (1-based): the line
  // is padded with blanks up to the column, the text replaces what stood
  // there, and the line is cut to 256 characters. A line outside 1..3 is
  // ignored.
  void SetPromptLine(int line, int column, const std::string& text);
  const std::string& PromptLine(int line) const;
  void ClearPrompts();
  void SavePrompts(TPromptBuffer& buffer) const { buffer = Lines_; }
  void RestorePrompts(const TPromptBuffer& buffer);

  // Nesting count of the disabled entry (modal bracket).
  void DisableEntry();
  void EnableEntry();
  bool EntryEnabled() const { return Disabled_ == 0; }
  int32_t DisabledCount() const { return Disabled_; }

  // The text typed so far.
  const std::string& Entry() const { return Entry_; }
  // A typed character (32..126 collect; ignored while entry is disabled).
  void TypeChar(char c);
  // Backspace: removes the last character.
  void Backspace();
  // Enter: hands the entry to ECO and clears it; false when entry is
  // disabled, the entry was empty, or ECO did not take it.
  bool Enter();
  // Escape: clears the entry.
  void ClearEntry();

  // The timer's tick: the entry cursor blinks.
  void BlinkCursor();
  bool CursorShown() const { return CursorShown_; }
  // Repaints the strip.
  void Invalidate();
  // Mouse events of the strip: a click puts the keyboard to the entry line
  // (entry enabled) and shows the cursor.
  void HandleEvent(const TInputEvent& event);

 private:
  void PaintEntryLine();
  TPaintBox* Strip_;
  TPromptBuffer Lines_;
  std::string Entry_;
  int32_t Disabled_ = 0;
  bool CursorShown_ = false;
};

// Created seventh at start-up; null before and after.
extern TUserPanel* UserPanel;
