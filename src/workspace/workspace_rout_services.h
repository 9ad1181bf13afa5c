// What the rout editing operations need of the main window: the command
// line's prompts, the animate check mark, scratch copies of a rout layer and
// reloading a layer from a tape.
#pragma once
#include "model/rout_edit.h"

class TWorkspaceRoutEditServices : public TRoutEditServices {
 public:
  void SavePrompts(TPromptLines& lines) override;
  void RestorePrompts(const TPromptLines& lines) override;
  void SetPromptLine(int32_t column, int32_t line, const std::string& text) override;
  void SetAnimateChecked(bool checked) override;
  std::string SaveRoutLayerToScratch(uint8_t layer) override;
  void ReloadRoutLayer(const std::string& fileName) override;
  // The NC text editor window on the scratch tape.
  bool RunTextEditor(const std::string& fileName, int32_t line) override;
};

// The NC text editor window on the file at the line, inside the main
// window's modal bracket; true when it was closed with OK.
bool RunWorkspaceTextEditor(const std::string& fileName, int32_t line);
