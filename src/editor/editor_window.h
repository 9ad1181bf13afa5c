// The NC text editor window: a modal window around the text editor control
// with file, block, edit, goto and search menus, WordStar two-key commands,
// ten markers, search and replace with history, and a status bar.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "editor/text_editor.h"
#include "platform/forms.h"
#include "platform/menus.h"

// State kept between openings of the window.
struct TEditorSession {
  bool BlockBeginSet = false, BlockEndSet = false, BlockHidden = false, BlockCaretAtEnd = false;
  TTextPoint BlockBegin, BlockEnd;
  std::string FindText, ReplaceText;
  std::array<std::string, 10> SearchWords, ReplaceWords;
  uint8_t SearchOptions = 0;
  bool PromptOnReplace = true;
  bool ReplaceOneMode = true;
  bool SearchAtCursor = false;
  bool SearchDone = false;
  bool LastWasReplace = false;
  // The match the last find selected (zero when none) and the editor's
  // selection stamp right after it: while both still hold, the selection is
  // the search's own and no selection of the user's.
  TTextPoint LastMatchStart{0, 0}, LastMatchEnd{0, 0};
  uint32_t LastMatchStamp = 0;
};
extern TEditorSession EditorSession;

// Puts text first in a ten-entry history, most recent first.
void RememberWord(std::array<std::string, 10>& words, const std::string& text);

// The find and the replace dialogs ("Find Text", "Replace Text").
class TSearchDialog : public TForm {
 public:
  explicit TSearchDialog(bool replace);
  TComboBox& FindTextCombo;
  TComboBox* ReplaceTextCombo = nullptr;
  TCheckBox& CaseSensitiveCheckBox;
  TCheckBox& WholeCheckBox;
  TRadioGroup& DirectionGroup;
  TRadioGroup& ScopeGroup;
  TRadioGroup& OriginGroup;
  TCheckBox* PromptCheckBox = nullptr;

 private:
  TComboBox& AddTextRows(bool replace);
};
// Runs the find dialog; true when confirmed.
bool RunSearchDialog(std::string& findText, uint8_t& options);
// Runs the replace dialog; true when confirmed (OK or Replace All).
bool RunReplaceDialog(std::string& findText, std::string& replaceText, uint8_t& options);

class TQuillexForm : public TForm {
 public:
  TQuillexForm();
  ~TQuillexForm() override;

  TMainMenu MainMenu;
  TPaintBox& EditorBox;
  TStatusBar& StatusBar;
  TPanel& BottomPanel;
  TScrollBar& VScrollBar;
  TScrollBar& HScrollBar;
  // The form's controller: the editor's command tables and the one timer
  // shared by its controls' blinking and delays.
  TQedController Controller{*this};
  std::unique_ptr<TQedTextFileEditor> Editor;
  std::string FileName = "UNTITLED.TXT";
  std::string LastDir;

  // Loads a file (an existing one); false with an error box when it fails.
  bool OpenFile(const std::string& name);
  // Offers to save a modified text, then empties the window; false after
  // Cancel (of the question or of the save).
  bool AskToSave();
  // Offers to save a modified text; false after Cancel.
  bool SaveIfWanted();
  void Save();
  void SaveAs();
  void New() { AskToSave(); }
  void Open();
  void BlockBegin();
  void BlockEnd();
  void BlockHide();
  void BlockCopy(bool move);
  void BlockWrite();
  void BlockRead();
  void SetMarker();
  void GotoMarker();
  void GotoLine();
  void Find();
  void ReplaceText();
  void Again();
  void GetInfo();
  void Print();
  void UserCommand(uint16_t command);
  void ShowStatus(int32_t line, int32_t col);

 private:
  void BuildMenu();
  void EnableMenus();
  bool SaveTo(const std::string& name);
  void RunReplace();
  bool MenusEnabled_ = false;
};

// The window's dialogs.
void ShowPrintDialog(TQuillexForm& form);
void ShowFileInfo(const std::string& fileName, bool modified, int32_t lines, int64_t bytes);
// The four colours change only on OK.
bool RunColorDialog(TColor& back, TColor& text, TColor& highBack, TColor& highText);
void ShowAbout();

// Opens the editor window modally on the file (loaded when it exists) at
// the line (0: none); true when it was closed with OK.
bool RunTextEditor(const std::string& fileName, int32_t line);
