// ButtonManager: the tool buttons of the three editor modes and the
// commands without a button. Every command number that the menus, the tool
// buttons or the keyboard codes press goes through Press, which shows the
// button down and hands the command to ECO.
//
// Each button is a speed button on the main window's tool panel, captioned
// with the command's two-letter keyboard code and hinted with its name
// ("[ZA] Zoom All"). A button whose command is not defined in ECO is shown
// disabled.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/forms.h"

// The tool buttons of a mode: bit 1 << mode (emDrill 0, emRout 1, emCad 2).
constexpr uint8_t bmDrill = 1;
constexpr uint8_t bmRout = 2;
constexpr uint8_t bmCad = 4;

struct TToolButtonInfo {
  int32_t Command = 0;
  std::string Hint;     // "[ZA] Zoom All"
  int32_t HelpContext = 0;
  uint8_t Modes = 0;    // the modes that show it as a button; 0 = no button
  int32_t Group = 0;    // buttons of one group above 0: one is down
};

// Asked before a command the user starts runs: false while an input of the
// drawing area (a placement, a pick, single step) waits, which then says
// how to end it. Unset: every command may start.
using TUserCommandGate = bool (*)(int32_t command);
extern TUserCommandGate UserCommandGate;
// Asked before what the user types or keys in (a typed text, a key, a field
// of the command strip) reaches the waiting command or the entity editor:
// false while the drawing area takes an input of its own, which then, when
// sayWhy, beeps and says how to end it. Unset: the input goes on.
using TUserInputGate = bool (*)(bool sayWhy);
extern TUserInputGate UserInputGate;

class TButtonManager {
 public:
  TButtonManager();
  virtual ~TButtonManager();
  TButtonManager(const TButtonManager&) = delete;
  TButtonManager& operator=(const TButtonManager&) = delete;

  // Registers the tool buttons of the three modes and makes their speed
  // buttons on the panel (null: the buttons are kept without controls).
  void AddButtons(TControl* panel);
  // The panel and its buttons are going away: keep the states only.
  void DetachPanel();
  // Registers the commands that the menus press without a button.
  void AddCommandHints();

  // Presses the command's button (or starts a button-less command) and
  // starts it in ECO; true when it started. A one-shot command's button
  // comes up again when it has run.
  bool Press(int32_t command);
  // Press for a command the user starts (a tool button, a typed code, a
  // menu item): it waits, and false comes back, while UserCommandGate says
  // the drawing area's own input must end first.
  bool PressByUser(int32_t command);
  // Sets the command's button up, enabled, state 0.
  virtual void ReleaseButton(int32_t command);
  // Sets it up and disabled.
  void DisableButton(int32_t command);
  // A click on one of the speed buttons.
  void ButtonClick(TSpeedButton& button);

  // Shows the tool buttons of the mode.
  void SetCadMode();
  void SetRoutMode();
  void SetDrillMode();
  uint8_t Mode() const { return Mode_; }

  // State of a command's button.
  bool IsDown(int32_t command) const;
  bool IsEnabled(int32_t command) const;
  // The hint of a registered command ("" when unknown).
  std::string HintOf(int32_t command) const;
  // The two-letter keyboard code of a command's hint ("ZA"), "" when none.
  std::string CodeOf(int32_t command) const;
  // The command whose keyboard code is the text (any case), 0 when none.
  int32_t CommandOfCode(const std::string& code) const;
  // The commands whose buttons the current mode shows, in panel order.
  std::vector<int32_t> ShownCommands() const;
  // The speed button of a command (null when it has none).
  TSpeedButton* ButtonOf(int32_t command) const;
  const std::map<int32_t, TToolButtonInfo>& Commands() const { return Info_; }

 private:
  struct TButtonState {
    bool Down = false;
    bool Enabled = true;
    uint8_t State = 0;
  };
  void Register(const TToolButtonInfo& info);
  void SetMode(uint8_t mode);
  void Show(int32_t command);

  std::map<int32_t, TToolButtonInfo> Info_;
  std::vector<int32_t> Order_;  // buttons in panel order
  std::map<int32_t, TButtonState> State_;
  std::map<int32_t, TSpeedButton*> Buttons_;
  TControl* Panel_ = nullptr;
  uint8_t Mode_ = 2;
};

// Created sixth at start-up; null before and after. ButtonManager()
// (command_services.h) reaches it, or a stand-in while it does not exist.
extern TButtonManager* ButtonManagerObject;
