// The undo journal's window side for tests: it keeps what the main window
// would show. The fixture installs it for every test.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "model/undo_journal.h"

class TDetachedUndoWindow : public TUndoWindow {
 public:
  void BeginModal() override {
    ++ModalDepth;
    ++ModalBrackets;
  }
  void EndModal() override { --ModalDepth; }
  void ShowHourGlass(bool on) override { HourGlass = on; }
  std::string UndoButtonHint() override { return "[OO] Undo"; }
  std::string RedoButtonHint() override { return "[UU] Redo"; }
  void SetHintCaption(const std::string& caption) override { HintCaption = caption; }
  void DisableButton(int32_t command) override { DisabledButtons.push_back(command); }
  // Back to the start state.
  void Clear() { *this = TDetachedUndoWindow(); }

  int32_t ModalDepth = 0;       // open modal brackets
  int32_t ModalBrackets = 0;    // brackets opened so far
  bool HourGlass = false;
  std::string HintCaption;
  std::vector<int32_t> DisabledButtons;  // in the order they were disabled
};

TDetachedUndoWindow& DetachedUndoWindow();
