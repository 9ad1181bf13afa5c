// The editor library's base objects: the controller shared by the editing
// controls of one form (command translation, a timer pool, form-wide
// settings and events), the colour pair with its default, and the
// fixed-pitch font. Every class of the library reports the version
// "2.15.00".
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editor/editor_commands.h"
#include "editor/qed_strings.h"
#include "editor/timer_pool.h"
#include "platform/canvas.h"
#include "platform/forms.h"

constexpr const char* kQedVersion = "2.15.00";

// A controller placed on a form: the controls of that form that have none
// of their own use it (Of). Created with the three built-in command tables.
class TQedController {
 public:
  explicit TQedController(TForm& owner);
  ~TQedController();
  TQedController(const TQedController&) = delete;
  TQedController& operator=(const TQedController&) = delete;

  TForm& Owner() const { return Owner_; }
  TQedCommandProcessor EntryCommands;
  int32_t Epoch = 1900;
  TControl* BtnCancel = nullptr;
  TControl* BtnHelp = nullptr;
  TControl* BtnRestore = nullptr;
  int Tag = 0;
  TQedTimerPool& TimerPool() { return Pool_; }

  std::function<void(TQedController& sender, const std::string& message)> OnError;
  std::function<void(TQedController& sender, TControl* control)> OnDelayNotify;
  std::function<void(TQedController& sender, TControl* control, bool& special)> OnIsSpecialControl;
  std::function<void(TQedController& sender, TControl* control)> OnPostEdit, OnPreEdit;
  // Every trigger of the pool, after its own handler.
  TTriggerEvent OnTimerTrigger;

  // Whether the control taking the focus is one of the special buttons
  // (or one OnIsSpecialControl names), so that validation may be skipped.
  bool IsSpecialControl(TControl* control);

  // The first controller placed on the form; ENoControllerAssigned when it
  // has none.
  static TQedController& Of(const TForm* form);

 private:
  TForm& Owner_;
  TQedTimerPool Pool_;
};

// A colour pair (background and text) with a default pair.
class TQedColors {
 public:
  TQedColors(TColor defaultBack, TColor defaultText);
  TColor BackColor() const { return Back_; }
  TColor TextColor() const { return Text_; }
  bool UseDefault() const { return UseDefault_; }
  // A colour other than both the current and the default one clears
  // UseDefault.
  void SetBackColor(TColor c);
  void SetTextColor(TColor c);
  // True puts the default pair back.
  void SetUseDefault(bool on);
  void Assign(const TQedColors& other);
  std::function<void()> OnChange;

 private:
  TColor Back_, Text_, DefBack_, DefText_;
  bool UseDefault_ = true;
};

// The names accepted as fixed-pitch fonts: the usual fixed faces of the
// platform, plus every font the font dialog reported as fixed-pitch.
std::vector<std::string>& FixedPitchFontNames();
bool IsFixedPitchFont(const TFont& font);

// A font that is always fixed-pitch: assigning another raises
// EInvalidFixedFont and leaves it unchanged.
class TQedFixedFont {
 public:
  explicit TQedFixedFont(const TFont& font);
  const TFont& Font() const { return Font_; }
  const std::string& Name() const { return Font_.Name; }
  int Size() const { return Font_.Size; }
  TColor Color() const { return Font_.Color; }
  void SetName(const std::string& name);
  void SetSize(int points);
  void SetColor(TColor c);
  // Bold, italic, underline and strike-out: bits 1, 2, 4 and 8.
  uint8_t Style() const;
  void SetStyle(uint8_t style);
  void Assign(const TFont& font);
  void Assign(const TQedFixedFont& other) { Font_ = other.Font_; }
  std::function<void()> OnChange;

 private:
  TFont Font_;
};
