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
#include <vector>

#include "command/input_event.h"

class TPaintBox;

// The three prompt lines, as SavePrompts keeps them.
using TPromptBuffer = std::array<std::string, 3>;

// An edit field of a prompt line, written into the line's text as
// "~" value type "[" low ".." high "]" code code "~" (a button: "~0.0C["
// caption "]" code "~"). Type letters: R real, L integer, B yes/no,
// O coordinate (database units), S and T plain numbers, D drill layer,
// C button.
struct TPanelField {
  int Line = 1;          // 1..3
  int Column = 1;        // 1-based column of the shown value
  int Width = 0;         // characters shown
  char Type = 'R';
  double Value = 0.0;
  double Low = 0.0;
  double High = 0.0;
  std::string Caption;   // buttons
  int32_t Code = 0;      // index in CommandCodes
};

// A coordinate in database units as the panels show it: display units
// rounded to 0.0001 in or 0.001 mm, "+" before a non-negative value,
// right-aligned to 9 characters.
std::string FormatCoordinate(double value);

class TUserPanel {
 public:
  static constexpr size_t MaxLine = 256;

  // Paints on the command strip (null: nothing is painted).
  explicit TUserPanel(TPaintBox* strip = nullptr);
  virtual ~TUserPanel();
  TUserPanel(const TUserPanel&) = delete;
  TUserPanel& operator=(const TUserPanel&) = delete;

  // Puts text into a prompt line (1..3) from a column (1-based): the line
  // is padded with blanks up to the column, the text replaces the rest of
  // the line, and the line is cut to 256 characters. A line outside 1..3 is
  // ignored. The text's edit fields ("~...~") are taken out and shown by
  // their values; they replace the line's fields from that column on.
  // "|" characters are dropped; a line ending in ">" gets a blank.
  void SetPromptLine(int line, int column, const std::string& text);
  const std::string& PromptLine(int line) const;
  void ClearPrompts();
  void SavePrompts(TPromptBuffer& buffer) const { buffer = Lines_; }
  void RestorePrompts(const TPromptBuffer& buffer);

  // ---- Edit fields ----
  const std::vector<TPanelField>& Fields() const { return Fields_; }
  // The field that typed values go to (-1 when the lines have none).
  int SelectedField() const { return Selected_; }
  void SelectField(int index);
  // Reads a typed value into a field: refused with a box ("<" text
  // "> is illegal! Must be from " low " to " high) when it does not read or
  // lies outside the field's bounds; else the field takes it, LastFieldValue
  // holds it and ECO gets the field-accepted event with the code's index.
  bool AcceptField(int index, const std::string& text);
  // A button field chosen: the field-accepted event with its code.
  bool ChooseField(int index);
  // The value of the field most recently accepted (database units for a
  // coordinate field).
  double LastFieldValue() const { return LastFieldValue_; }

  // Nesting count of the disabled entry (modal bracket).
  void DisableEntry();
  void EnableEntry();
  bool EntryEnabled() const { return Disabled_ == 0; }
  int32_t DisabledCount() const { return Disabled_; }

  // Typed characters collect: the command entry is enabled, or (while it
  // is disabled) the lines have an edit field to take them.
  bool Typing() const;
  // The text typed so far.
  const std::string& Entry() const { return Entry_; }
  // A typed character (32..126 collect; ignored unless Typing).
  void TypeChar(char c);
  // Backspace: removes the last character.
  void Backspace();
  // Enter: hands the entry to the selected edit field, else to ECO, and
  // clears it; false when nothing was typed or it was not taken.
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
  // Paints the selected field in reverse when it stands on the line.
  void PaintSelectedField(int line);
  void ShowField(TPanelField& field);
  void SendFieldEvent(const TPanelField& field);
  TPaintBox* Strip_;
  std::vector<TPanelField> Fields_;
  int Selected_ = -1;
  double LastFieldValue_ = 0.0;
  TPromptBuffer Lines_;
  std::string Entry_;
  int32_t Disabled_ = 0;
  bool CursorShown_ = false;
};

// Created seventh at start-up; null before and after.
extern TUserPanel* UserPanel;
