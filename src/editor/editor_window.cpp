#include "editor/editor_window.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "command/command_services.h"
#include "editor/editor_settings.h"
#include "foundation/utilities.h"
#include "platform/clipboard.h"
#include "platform/common_dialogs.h"
#include "platform/file_ops.h"
#include "platform/message_box.h"
#include "platform/printer.h"

TEditorSession EditorSession;

namespace {

constexpr const char* kUntitled = "UNTITLED.TXT";
// Every file dialog of the window offers the same two filters.
constexpr const char* kFileFilter = "All Files (*.*)|*.*|Text Files (*.TXT)|*.TXT";
// The most the editor holds: laser drilling tapes of several million holes
// and more, while a file chosen by mistake is refused before it fills the
// memory (a paragraph takes some 40 bytes besides its text).
constexpr int64_t kEditorByteLimit = int64_t{512} << 20;
constexpr int32_t kEditorParaLimit = 20000000;

bool FileExists(const std::string& name) {
  struct stat st {};
  return !name.empty() && stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The save dialog (title, starting with start) until it gives a name to
// write: a file of that name is replaced only when the user says so, and
// No offers the dialog again. False on Cancel.
bool ChooseSaveName(const std::string& title, const std::string& start, std::string& name) {
  for (;;) {
    TSaveDialog d;
    d.Title = title;
    d.FileName = start;
    d.Filter = kFileFilter;
    if (!d.Execute()) return false;
    if (!FileExists(d.FileName) ||
        ConfirmOverwrite(d.FileName)) {
      name = d.FileName;
      return true;
    }
  }
}

// The window's own bindings on top of the built-in tables.
void BindWindowKeys(TQedCommandProcessor& p) {
  TQedCommandTable& t = *p.FindTable("Default");
  auto set = [&t](uint8_t k1, uint8_t s1, uint8_t k2, uint8_t s2, uint16_t cmd) {
    TCommandRecord r{k1, s1, k2, s2, cmd};
    const int i = t.IndexOfKey(r.Key());
    if (i >= 0) t.Records[size_t(i)].Command = cmd;
    else t.Records.push_back(r);
  };
  auto seq = [&set](char first, char second, uint16_t cmd) { set(uint8_t(first), kCtrl, uint8_t(second), kAnyCtrl, cmd); };
  set(VK_PRIOR, kCtrl, 0, 0, ccFirstPage);
  seq('Q', 'R', ccFirstPage);
  set(VK_NEXT, kCtrl, 0, 0, ccLastPage);
  seq('Q', 'C', ccLastPage);
  set(VK_HOME, kCtrl | kShift, 0, 0, ccExtTopOfPage);
  set(VK_END, kCtrl | kShift, 0, 0, ccExtBotOfPage);
  set(VK_PRIOR, kCtrl | kShift, 0, 0, ccExtFirstPage);
  set(VK_NEXT, kCtrl | kShift, 0, 0, ccExtLastPage);
  set('X', kCtrl, 0, 0, ccDown);
  set('C', kCtrl, 0, 0, ccNextPage);
  set('V', kCtrl, 0, 0, ccIns);
  set(VK_HOME, kCtrl, 0, 0, ccTopOfPage);
  seq('Q', 'E', ccTopOfPage);
  set(VK_END, kCtrl, 0, 0, ccBotOfPage);
  seq('Q', 'X', ccBotOfPage);
  set('Y', kCtrl, 0, 0, ccDelLine);
  set('I', kCtrl, 0, 0, ccTab);
  seq('Q', 'A', 256);
  seq('Q', 'F', 257);
  seq('K', 'R', 258);
  seq('K', 'W', 259);
  seq('K', 'B', 260);
  seq('K', 'K', 261);
  seq('K', 'Y', 262);
  seq('K', 'V', 263);
  seq('K', 'C', 264);
  set(VK_F1 + 1, 0, 0, 0, 265);
  set(VK_F1 + 2, 0, 0, 0, 266);
  seq('K', 'H', 267);
  seq('Q', 'K', 268);
  seq('K', 'D', 269);
  seq('K', 'S', 270);
  seq('O', 'G', 271);
  seq('K', 'Q', 272);
  p.FindTable("WordStar")->Active = true;
  p.FindTable("Grid")->Active = false;
}

}  // namespace

void RememberWord(std::array<std::string, 10>& words, const std::string& text) {
  size_t i = 0;
  while (i < words.size() && words[i] != text) ++i;
  if (i == words.size()) i = words.size() - 1;
  for (; i > 0; --i) words[i] = words[i - 1];
  words[0] = text;
}

// ---------------------------------------------------------------- dialogs

// The text to find and, in the replace dialog, the text to put in its place
// right below it, so that Tab goes from the one to the other before the
// options.
TComboBox& TSearchDialog::AddTextRows(bool replace) {
  Add<TLabel>("FindLabel", "&Text to find:");
  TComboBox& find = Add<TComboBox>("FindTextCombo");
  if (replace) {
    Add<TLabel>("ReplaceLabel", "&Replace with:");
    Add<TComboBox>("ReplaceTextCombo");
  }
  return find;
}

TSearchDialog::TSearchDialog(bool replace)
    : TForm(replace ? "TSearchAndReplaceDialog" : "TSearchDialog"),
      FindTextCombo(AddTextRows(replace)),
      CaseSensitiveCheckBox(Add<TGroupBox>("OptionsGroup", "Options:").Add<TCheckBox>("CaseSensitiveCheckBox", "&Case Sensitive")),
      WholeCheckBox(Get<TGroupBox>("OptionsGroup").Add<TCheckBox>("WholeCheckBox", "&Whole words only")),
      DirectionGroup(Add<TRadioGroup>("DirectionGroup", "Direction:")),
      ScopeGroup(Add<TRadioGroup>("ScopeGroup", "Scope:")),
      OriginGroup(Add<TRadioGroup>("OriginGroup", "Origin:")) {
  SetCaption(replace ? "Replace Text" : "Find Text");
  DirectionGroup.SetItems({"Forwar&d", "&Backward"});
  ScopeGroup.SetItems({"&Global", "&Selected text"});
  OriginGroup.SetItems({"&From cursor", "&Entire scope"});
  if (replace) {
    ReplaceTextCombo = &Get<TComboBox>("ReplaceTextCombo");
    PromptCheckBox = &Add<TCheckBox>("PromptCheckBox", "&Prompt on replace");
  }
  auto& row = Add<TPanel>("ButtonRow");
  row.SetFlow(TFlow::Horizontal);
  row.SetBevel(bvNone);
  row.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  if (replace) row.Add<TButton>("ReplaceButton", "Replace &All", TModalResult(6));
  row.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
  // Typing starts in the text to find as soon as the dialog is up.
  SetActiveControl(&FindTextCombo);
}

namespace {

std::vector<std::string> NonEmpty(const std::array<std::string, 10>& words) {
  std::vector<std::string> out;
  for (auto& w : words)
    if (!w.empty()) out.push_back(w);
  return out;
}

void FillSearch(TSearchDialog& d, const std::string& findText, uint8_t options) {
  d.FindTextCombo.SetItems(NonEmpty(EditorSession.SearchWords));
  d.FindTextCombo.SetText(findText);
  d.DirectionGroup.SetItemIndex(options & soBackward ? 1 : 0);
  d.ScopeGroup.SetItemIndex(options & soSelectedOnly ? 1 : 0);
  d.CaseSensitiveCheckBox.SetChecked(options & soCaseSensitive);
  d.WholeCheckBox.SetChecked(options & soWholeWords);
  d.OriginGroup.SetItemIndex(options & soEntireScope ? 1 : 0);
}

uint8_t ChosenBits(TSearchDialog& d) {
  uint8_t o = 0;
  if (d.DirectionGroup.ItemIndex() == 1) o |= soBackward;
  if (d.ScopeGroup.ItemIndex() == 1) o |= soSelectedOnly;
  if (d.CaseSensitiveCheckBox.Checked()) o |= soCaseSensitive;
  if (d.WholeCheckBox.Checked()) o |= soWholeWords;
  if (d.OriginGroup.ItemIndex() == 1) o |= soEntireScope;
  return o;
}

}  // namespace

bool RunSearchDialog(std::string& findText, uint8_t& options) {
  TSearchDialog d(false);
  FillSearch(d, findText, options);
  if (d.ShowModal() != mrOk) return false;
  options = uint8_t(soFind | ChosenBits(d));
  findText = d.FindTextCombo.Text().substr(0, 255);
  RememberWord(EditorSession.SearchWords, findText);
  return true;
}

bool RunReplaceDialog(std::string& findText, std::string& replaceText, uint8_t& options) {
  TSearchDialog d(true);
  FillSearch(d, findText, options);
  d.ReplaceTextCombo->SetItems(NonEmpty(EditorSession.ReplaceWords));
  d.ReplaceTextCombo->SetText(replaceText);
  d.PromptCheckBox->SetChecked(EditorSession.PromptOnReplace);
  const TModalResult r = d.ShowModal();
  if (r != mrOk && r != TModalResult(6)) return false;
  options = uint8_t(soReplace | ChosenBits(d));
  EditorSession.PromptOnReplace = d.PromptCheckBox->Checked();
  EditorSession.ReplaceOneMode = r == mrOk;
  findText = d.FindTextCombo.Text().substr(0, 255);
  replaceText = d.ReplaceTextCombo->Text().substr(0, 255);
  RememberWord(EditorSession.SearchWords, findText);
  RememberWord(EditorSession.ReplaceWords, replaceText);
  return true;
}

// ---------------------------------------------------------------- window

TQuillexForm::TQuillexForm()
    : TForm("TQuillexForm"),
      EditorBox(Add<TPaintBox>("Editor")),
      StatusBar(Add<TStatusBar>("StatusBar1")),
      BottomPanel(Add<TPanel>("BottomPanel")),
      VScrollBar(Add<TScrollBar>("VScrollBar", sbVertical)),
      HScrollBar(Add<TScrollBar>("HScrollBar", sbHorizontal)) {
  SetCaption("Quillex - UNTITLED");
  SetSizeable(true);
  // Designed at 557 x 457, never smaller than 550 x 440 (the window with
  // its frame).
  const TPoint frame = FrameExtent();
  SetClientSize(557 - frame.X, 457 - frame.Y);
  SetMinClientSize(550 - frame.X, 440 - frame.Y);
  StatusBar.SetAlign(alBottom);
  for (const char* p : {"LocationPanel", "ModifiedPanel", "TotalLinesPanel", "BytesPanel", "InsertPanel", "HintPanel"}) {
    (void)p;
    StatusBar.AddPanel("", 90);
  }
  BottomPanel.SetAlign(alBottom);
  BottomPanel.SetFlow(TFlow::Horizontal);
  BottomPanel.SetVisible(false);
  BottomPanel.Add<TButton>("OKButton", "OK").OnClick = [this](TControl&) {
    Save();
    if (!Editor->Modified()) SetModalResult(mrOk);
  };
  BottomPanel.Add<TButton>("CancelButton", "Cancel").OnClick = [this](TControl&) {
    Editor->SetModified(false);
    SetModalResult(mrCancel);
  };
  // OK ends 20 pixels left of the panel's centre, Cancel starts 20 pixels
  // right of it.
  BottomPanel.SetHeight(41);
  auto centre = [this](TControl&) {
    const int mid = BottomPanel.Width() / 2;
    BottomPanel.FindControl("OKButton")->SetBounds(mid - 20 - 75, 8, 75, 25);
    BottomPanel.FindControl("CancelButton")->SetBounds(mid + 20, 8, 75, 25);
  };
  BottomPanel.OnResize = centre;
  centre(BottomPanel);
  HScrollBar.SetAlign(alBottom);
  VScrollBar.SetAlign(alRight);
  EditorBox.SetAlign(alClient);
  BindWindowKeys(Controller.EntryCommands);
  Editor = std::make_unique<TQedTextFileEditor>(EditorBox, &Controller);
  // What the editor holds stays within what it can show and edit at ease.
  Editor->SetByteLimit(kEditorByteLimit);
  Editor->SetParaLimit(kEditorParaLimit);
  Editor->RefuseLongLines = true;
  Editor->HighlightColors.SetBackColor(clSilver);
  Editor->HighlightColors.SetTextColor(0x800000);
  Editor->CaretOvr.SetShape(csBlock);
  Editor->WantTab = true;
  Editor->TabType = ttSmart;
  Editor->MakeBackup = true;
  Editor->HideSelection = false;
  Editor->SetUndoBufferSize(65535);
  Editor->AttachScrollBars(&HScrollBar, &VScrollBar);
  Editor->OnShowStatus = [this](int32_t l, int32_t c) { ShowStatus(l, c); };
  Editor->OnUserCommand = [this](uint16_t c) { UserCommand(c); };
  Editor->OnError = [](int code) { ErrorBox(EditorErrorMessage(code)); };
  Editor->OnChange = [this] {
    if (!MenusEnabled_ && Editor->Modified()) EnableMenus();
  };
  BuildMenu();
  SetMenu(&MainMenu);
  OnCloseQuery = [this](TForm&, bool& canClose) {
    if (ModalResult() == mrOk || !Editor->Modified()) return;
    const TModalResult r = ConfirmationBox(FileName + " not saved.  Save?", mbYesNoCancel);
    if (r == mrCancel) {
      canClose = false;
    } else if (r == mrYes) {
      Save();
      canClose = !Editor->Modified();
    }
  };
  EnableMenus();
  ShowStatus(1, 1);
  // A match found in an earlier opening is no match in this text.
  EditorSession.LastMatchStart = EditorSession.LastMatchEnd = TTextPoint{0, 0};
}

TQuillexForm::~TQuillexForm() { SetMenu(nullptr); }

void TQuillexForm::BuildMenu() {
  auto item = [](TMenuItem& m, const char* caption, const char* name, const char* hint, std::function<void()> f) -> TMenuItem& {
    TMenuItem& i = m.Add(caption, name);
    if (hint[0]) i.SetHint(hint);
    i.OnClick = [f](TMenuItem&) { f(); };
    return i;
  };
  TMenuItem& file = MainMenu.Add("&File", "File1");
  item(file, "&New", "Close1", "", [this] { New(); }).SetEnabled(false);
  item(file, "&Open", "Open1", "F3", [this] { Open(); });
  item(file, "&Save", "Save1", "F2", [this] { Save(); }).SetEnabled(false);
  item(file, "Save &As", "Writeto1", "", [this] { SaveAs(); }).SetEnabled(false);
  file.AddSeparator();
  item(file, "&Print", "Print1", "", [this] { Print(); });
  item(file, "P&rinter Setup", "PrinterSetup1", "", [] { Printer().ExecuteSetupDialog(); });
  file.AddSeparator();
  item(file, "&Get info", "Getinfo1", "", [this] { GetInfo(); });
  file.AddSeparator();
  item(file, "E&xit", "Quit1", "Ctrl K + Q", [this] { Close(); });
  TMenuItem& block = MainMenu.Add("&Block", "Block1");
  item(block, "&Begin", "Begin1", "Ctrl K + B", [this] { BlockBegin(); });
  item(block, "&End", "End1", "Ctrl K + K", [this] { BlockEnd(); });
  item(block, "&Hide", "Hide1", "Ctrl K + H", [this] { BlockHide(); });
  block.AddSeparator();
  item(block, "&Copy", "Copy2", "Ctrl K + C", [this] { BlockCopy(false); });
  item(block, "&Move", "Move1", "Ctrl K + V", [this] { BlockCopy(true); });
  item(block, "&Delete", "Delete2", "Ctrl K + Y", [this] { Editor->DeleteSelection(); });
  block.AddSeparator();
  item(block, "&Write", "Write1", "Ctrl K + W", [this] { BlockWrite(); });
  item(block, "&Read..", "Read1", "Ctrl K + R", [this] { BlockRead(); });
  TMenuItem& edit = MainMenu.Add("&Edit", "Edit1");
  item(edit, "&Set Marker..", "SetMarker1", "Ctrl K + #", [this] { SetMarker(); });
  item(edit, "&Undo", "Undo1", "Alt+BkSp", [this] { Editor->Undo(); }).SetShortCut("Alt+BkSp");
  item(edit, "&Redo", "Redo1", "Shift+Alt+BkSp", [this] { Editor->Redo(); }).SetShortCut("Shift+Alt+BkSp");
  edit.AddSeparator();
  item(edit, "Cu&t", "Cut1", "Shift+Del", [this] { Editor->CutToClipboard(); }).SetShortCut("Shift+Del");
  item(edit, "&Copy", "Copy1", "Ctrl+Ins", [this] { Editor->CopyToClipboard(); }).SetShortCut("Ctrl+Ins");
  item(edit, "&Paste", "Paste1", "Shift+Ins", [this] { Editor->PasteFromClipboard(); }).SetShortCut("Shift+Ins");
  item(edit, "&Delete", "Delete1", "Ctrl+Del", [this] { Editor->DeleteSelection(); }).SetShortCut("Ctrl+Del");
  TMenuItem& go = MainMenu.Add("&Goto", "Goto1");
  item(go, "&Line number..", "Linenumber1", "Ctrl O + G", [this] { GotoLine(); });
  item(go, "&Top of file", "Topoffile1", "Ctrl + PgUp", [this] { Editor->SetCaretPosition(1, 1); });
  item(go, "&Bottom of file", "Bottomoffile1", "Ctrl + PgDn", [this] { Editor->SetCaretPosition(Editor->LineCount(), 1); });
  item(go, "&Marker", "Marker1", "Ctrl Q + #", [this] { GotoMarker(); });
  TMenuItem& search = MainMenu.Add("&Search", "Search1");
  item(search, "&Find", "Find2", "Ctrl Q + F", [this] { Find(); });
  item(search, "&Replace", "Replace1", "Ctrl Q + A", [this] { ReplaceText(); });
  item(search, "&Again", "Again1", "Ctrl+L", [this] { Again(); }).SetShortCut("Ctrl+L");
  TMenuItem& options = MainMenu.Add("&Options", "Options1");
  item(options, "&Colors..", "Colors1", "", [this] {
    TQedTextFileEditor& e = *Editor;
    TColor text = e.FixedFont.Color(), highBack = e.HighlightColors.BackColor(), highText = e.HighlightColors.TextColor();
    if (!RunColorDialog(e.Color, text, highBack, highText)) return;
    e.FixedFont.SetColor(text);
    e.HighlightColors.SetBackColor(highBack);
    e.HighlightColors.SetTextColor(highText);
    e.Invalidate();
  });
  item(options, "&Font", "Font1", "", [this] {
    TFontDialog d;
    d.Font = Editor->FixedFont.Font();
    d.Options = fdFixedPitchOnly;
    if (!d.Execute()) return;
    TFont chosen = d.Font;
    chosen.Color = Editor->FixedFont.Color();
    try {
      Editor->FixedFont.Assign(chosen);
    } catch (const EInvalidFixedFont& e) {
      ErrorBox(e.what());
    }
  });
  item(options, "F&ind text at cursor", "Findtextatcursor1", "", [this] {
    EditorSession.SearchAtCursor = !EditorSession.SearchAtCursor;
    MainMenu.FindItem("Findtextatcursor1")->SetChecked(EditorSession.SearchAtCursor);
  }).SetChecked(EditorSession.SearchAtCursor);
  TMenuItem& help = MainMenu.Add("&Help", "Help1");
  item(help, "&About", "About1", "", [] { ShowAbout(); });
  // What can be done shows when a menu drops down.
  edit.OnPopup = [this](TMenuItem& m) {
    const bool sel = Editor->SelectionExists();
    m.FindByName("Undo1")->SetEnabled(Editor->CanUndo());
    m.FindByName("Redo1")->SetEnabled(Editor->CanRedo());
    for (const char* n : {"Cut1", "Copy1", "Delete1"}) m.FindByName(n)->SetEnabled(sel);
    m.FindByName("Paste1")->SetEnabled(!GetClipboardText().empty());
  };
  block.OnPopup = [this](TMenuItem& m) {
    const bool sel = Editor->SelectionExists();
    for (const char* n : {"Move1", "Copy2", "Delete2", "Write1"}) m.FindByName(n)->SetEnabled(sel);
  };
}

void TQuillexForm::EnableMenus() {
  for (const char* n : {"Close1", "Save1", "Writeto1", "Block1", "Goto1", "Search1"}) MainMenu.FindItem(n)->SetEnabled(true);
  MenusEnabled_ = true;
}

void TQuillexForm::ShowStatus(int32_t line, int32_t col) {
  if (!Editor) return;
  StatusBar.SetPanelText(0, std::to_string(line) + ":" + std::to_string(col));
  StatusBar.SetPanelText(1, Editor->Modified() ? "Modified" : "");
  StatusBar.SetPanelText(2, "Total: " + std::to_string(Editor->LineCount()));
  StatusBar.SetPanelText(3, "Bytes: " + std::to_string(Editor->ByteCount()));
  StatusBar.SetPanelText(4, Editor->InsertMode() ? "Insert" : "Overwrite");
  StatusBar.SetPanelText(5, "");
}

bool TQuillexForm::OpenFile(const std::string& name) {
  // A file the editor refuses leaves the text and its name as they were.
  try {
    Editor->Open(name);
  } catch (const std::exception& e) {
    ErrorBox(e.what());
    return false;
  }
  FileName = name;
  LastDir = FolderOf(name);
  SetCaption("Quillex - " + name);
  EnableMenus();
  return true;
}

bool TQuillexForm::SaveTo(const std::string& name) {
  std::string error;
  if (Editor->SaveToFile(name, error)) return true;
  ErrorBox(error);
  return false;
}

bool TQuillexForm::AskToSave() {
  if (!SaveIfWanted()) return false;
  Editor->Clear();
  Editor->SetFileName("");
  SetCaption("Quillex - UNTITLED");
  FileName = kUntitled;
  return true;
}

bool TQuillexForm::SaveIfWanted() {
  if (Editor->Modified()) {
    const TModalResult r = ConfirmationBox(FileName + " not saved.  Save?", mbYesNoCancel);
    if (r == mrCancel) return false;
    if (r == mrYes) {
      std::string name = FileName;
      if (name == kUntitled && !ChooseSaveName("Save file as", "", name)) return false;
      if (!SaveTo(name)) return false;
      FileName = name;
      SetCaption("Quillex - " + name);
    }
  }
  return true;
}

void TQuillexForm::Open() {
  // The text stays until another has been read in its place: a cancelled
  // choice or a refused file leaves it, its name and its state as they were.
  if (!SaveIfWanted()) return;
  TOpenDialog d;
  d.Title = "Select file to edit";
  d.InitialDir = LastDir;
  d.FileName = "*.*";
  d.Filter = kFileFilter;
  d.Options = ofHideReadOnly;
  if (!d.Execute()) return;
  if (!FileExists(d.FileName)) {
    ErrorBox("File <" + d.FileName + "> does not exist!");
    return;
  }
  OpenFile(d.FileName);
}

void TQuillexForm::Save() {
  if (FileName != kUntitled) {
    SaveTo(FileName);
    return;
  }
  SaveAs();
}

void TQuillexForm::SaveAs() {
  std::string name;
  if (!ChooseSaveName("Save file as", "", name)) return;
  if (SaveTo(name)) {
    FileName = name;
    Editor->SetFileName(name);
    SetCaption("Quillex - " + FileName);
  }
}

// ---------------------------------------------------------------- blocks

void TQuillexForm::BlockBegin() {
  TEditorSession& s = EditorSession;
  TTextPoint a, b;
  if (Editor->GetSelection(a, b)) {
    s.BlockEndSet = true;
    s.BlockBegin = a;
    s.BlockEnd = b;
  }
  s.BlockBeginSet = true;
  s.BlockHidden = false;
  s.BlockBegin = Editor->Caret();
  if (s.BlockBeginSet && s.BlockEndSet) {
    if (s.BlockBegin < s.BlockEnd) Editor->SetSelection(s.BlockBegin, s.BlockEnd, false);
    else Editor->Deselect();
  }
}

void TQuillexForm::BlockEnd() {
  TEditorSession& s = EditorSession;
  TTextPoint a, b;
  if (Editor->GetSelection(a, b)) {
    s.BlockBeginSet = true;
    s.BlockBegin = a;
    s.BlockEnd = b;
  }
  s.BlockEndSet = true;
  s.BlockHidden = false;
  s.BlockEnd = Editor->Caret();
  if (s.BlockBeginSet && s.BlockEndSet) {
    if (s.BlockBegin < s.BlockEnd) Editor->SetSelection(s.BlockBegin, s.BlockEnd, true);
    else Editor->Deselect();
  }
}

void TQuillexForm::BlockHide() {
  TEditorSession& s = EditorSession;
  TTextPoint a, b;
  if (Editor->GetSelection(a, b)) {
    s.BlockBegin = a;
    s.BlockEnd = b;
    s.BlockCaretAtEnd = Editor->Caret() == b;
    Editor->Deselect(s.BlockCaretAtEnd);
    s.BlockHidden = true;
  } else if (s.BlockHidden) {
    Editor->SetSelection(s.BlockBegin, s.BlockEnd, s.BlockCaretAtEnd);
    s.BlockHidden = false;
  }
}

void TQuillexForm::BlockCopy(bool move) {
  TTextPoint a, b;
  if (!Editor->GetSelection(a, b)) return;
  const std::string text = Editor->SelectedText();
  TParaList& l = Editor->List();
  const bool wasOpen = l.BeginGroup();
  if (move) {
    // The caret is kept as a marker while the block goes.
    const TParaPos c = Editor->ParaPosOf(Editor->Caret());
    l.SetMarker(10, c.Para, std::min(c.Pos, l.ParaLength(c.Para) + 1));
    Editor->DeleteSelection();
    const TMarker m = l.Marker(10);
    l.SetMarker(10, 0, 0);
    if (m.Para > 0) {
      const TTextPoint p = Editor->PointOf(m.Para, m.Pos);
      Editor->SetCaretPosition(p.Line, p.Col);
    }
  } else {
    const TTextPoint c = Editor->Caret();
    Editor->Deselect(false);
    Editor->SetCaretPosition(c.Line, c.Col);
  }
  const TTextPoint start = Editor->Caret();
  Editor->InsertString(text);
  l.EndGroup(wasOpen);
  Editor->SetCaretPosition(start.Line, start.Col);
}

void TQuillexForm::BlockWrite() {
  if (!Editor->SelectionExists()) return;
  std::string name;
  if (!ChooseSaveName("Save selected block as", "*.*", name)) return;
  const std::string text = Editor->SelectedText();
  if (int err = ReplaceFileContents(name, text.data(), text.size()))
    ErrorBox("File access error #" + std::to_string(err) + " <" + name + ">");
}

void TQuillexForm::BlockRead() {
  TOpenDialog d;
  d.Title = "Select file to load from";
  d.InitialDir = LastDir;
  d.FileName = "*.*";
  d.Filter = kFileFilter;
  d.Options = ofHideReadOnly;
  if (!d.Execute()) return;
  std::ifstream in(d.FileName, std::ios::binary);
  if (!in) {
    ErrorBox("File <" + d.FileName + "> does not exist!");
    return;
  }
  LastDir = FolderOf(d.FileName);
  // The file is taken whole or not at all: it is read only when the text
  // has room for it, and its lines are measured before any goes in.
  const TParaList& list = Editor->List();
  const int64_t room = list.ByteLimit - list.FileByteCount();
  in.seekg(0, std::ios::end);
  const int64_t size = int64_t(in.tellg());
  in.seekg(0, std::ios::beg);
  if (size > room) {
    ErrorBox(EditorFileTooLargeText(d.FileName, list.ByteLimit));
    return;
  }
  std::string text(size_t(std::max<int64_t>(size, 0)), '\0');
  if (size > 0 && !in.read(text.data(), std::streamsize(size))) {
    ErrorBox("File access error #" + std::to_string(EIO) + " <" + d.FileName + ">");
    return;
  }
  if (!text.empty() && text.back() == 26) text.pop_back();
  int64_t lines = 1;
  for (size_t at = 0, end; at <= text.size(); at = end + 1, ++lines) {
    end = std::min(text.find_first_of("\r\n", at), text.size());
    if (end - at > size_t(list.ParaLengthLimit)) {
      ErrorBox(EditorLineTooLongText(d.FileName, lines, list.ParaLengthLimit));
      return;
    }
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
  }
  if (lines - 2 + list.ParaCount() > list.ParaLimit) {
    ErrorBox(EditorTooManyLinesText(d.FileName, list.ParaLimit));
    return;
  }
  Editor->Deselect();
  const TTextPoint from = Editor->Caret();
  Editor->InsertString(text);
  Editor->SetSelection(from, Editor->Caret(), true);
}

// ---------------------------------------------------------------- markers, goto

void TQuillexForm::SetMarker() {
  const TTextPoint c = Editor->Caret();
  for (int n = 0; n <= 9; ++n)
    if (Editor->GetMarkerPosition(n) == c) {
      Editor->ClearMarker(n);
      return;
    }
  for (int n = 0; n <= 9; ++n)
    if (Editor->GetMarkerPosition(n).Line < 0) {
      Editor->SetMarkerAt(n, c.Line, c.Col);
      return;
    }
  ErrorBox("There are no more available markers");
}

void TQuillexForm::GotoMarker() {
  std::vector<int> set;
  for (int n = 0; n <= 9; ++n)
    if (Editor->GetMarkerPosition(n).Line > 0) set.push_back(n);
  if (set.empty()) {
    ErrorBox("There are no markers set.");
    return;
  }
  int chosen = set[0];
  if (set.size() > 1) {
    TForm d("TMarkerSelectionDialog");
    d.SetCaption("Go to marker");
    auto& g = d.Add<TRadioGroup>("RadioGroup1", "Marker number");
    g.SetColumns(2);
    std::vector<std::string> items;
    for (int n : set) items.push_back("&" + std::to_string(n));
    g.SetItems(items);
    d.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
    d.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
    if (d.ShowModal() != mrOk || g.ItemIndex() < 0) return;
    chosen = set[size_t(g.ItemIndex())];
  }
  Editor->GotoMarker(chosen);
}

void TQuillexForm::GotoLine() {
  std::string value;
  if (!InputQuery("Goto", "Select new line number (1-" + std::to_string(Editor->LineCount()) + ") ", value)) return;
  char* end = nullptr;
  const long n = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != 0 || n < 1 || n > Editor->LineCount()) {
    ErrorBox("Illegal line number <" + value + ">");
    return;
  }
  Editor->SetCaretPosition(int32_t(n), 1);
}

// ---------------------------------------------------------------- search

namespace {

void NotFound(const std::string& text) { InformationBox("Search string '" + text + "' not found"); }

void ForgetLastMatch() {
  TEditorSession& s = EditorSession;
  s.LastMatchStart = s.LastMatchEnd = TTextPoint{0, 0};
}

// A selection of the user's: any selection but the match the last find
// left selected. Once the caret moved, the selection was set again (even
// to the same range) or the text changed, the match counts as the user's.
bool UserSelection(const TQedTextFileEditor& e) {
  const TEditorSession& s = EditorSession;
  TTextPoint a, b;
  if (!e.GetSelection(a, b)) return false;
  return !(s.LastMatchStart.Line > 0 && a == s.LastMatchStart && b == s.LastMatchEnd &&
           e.SelectionStamp() == s.LastMatchStamp);
}

// The match the last find left selected, still selected and still a match
// of the text under the options now chosen (their case and whole words).
bool LastMatchSelected(const TQedTextFileEditor& e, const std::string& text, uint8_t options) {
  return !UserSelection(e) && e.SelectionMatches(text, options);
}

// Find and Replace start in the user's selection when the caret stands in
// it; the last find's match is no scope.
void ChooseScope(TQedTextFileEditor& e) {
  TEditorSession& s = EditorSession;
  TTextPoint a, b;
  const bool sel = UserSelection(e) && e.GetSelection(a, b);
  const TTextPoint c = e.Caret();
  s.SearchOptions &= uint8_t(~(soSelectedOnly | soEntireScope));
  if (sel && !(c < a) && !(b < c)) s.SearchOptions |= soSelectedOnly | soEntireScope;
  s.FindText = s.SearchAtCursor ? e.GetCurrentWord() : std::string();
}

// Searches FindText with the session's options; a match found becomes
// LastMatch (nothing found leaves the selection, and so LastMatch, as they
// were). A selection the user made is selected again afterwards, the caret
// staying at the match, and LastMatch is then cleared: the scope stays
// marked and Again goes on from the caret.
void SearchKeepingSelection(TQedTextFileEditor& e, bool userSelection) {
  TEditorSession& s = EditorSession;
  TTextPoint a, b;
  const bool had = userSelection && e.GetSelection(a, b);
  if (!e.Search(s.FindText, s.SearchOptions)) NotFound(s.FindText);
  else if (e.GetSelection(s.LastMatchStart, s.LastMatchEnd)) s.LastMatchStamp = e.SelectionStamp();
  else ForgetLastMatch();
  if (had) {
    e.SetSelection(a, b, true, true);
    ForgetLastMatch();
  }
}

}  // namespace

void TQuillexForm::Find() {
  TEditorSession& s = EditorSession;
  const bool userSelection = UserSelection(*Editor);
  ChooseScope(*Editor);
  if (RunSearchDialog(s.FindText, s.SearchOptions)) SearchKeepingSelection(*Editor, userSelection);
  s.SearchDone = true;
  s.SearchOptions &= uint8_t(~soEntireScope);
  s.LastWasReplace = false;
}

// One replacement (OK) or all of them (Replace All), asking before each
// with PromptOnReplace. The selection met at the start is remembered; with
// the scope "Selected text" it stays the scope of the whole run, however
// the answers go, and it is selected again at the end.
void TQuillexForm::RunReplace() {
  TEditorSession& s = EditorSession;
  TQedTextFileEditor& e = *Editor;
  const bool backward = s.SearchOptions & soBackward;
  // The last find's match still selected is no selection to keep.
  TTextPoint ra, rb;
  const bool had = UserSelection(e) && e.GetSelection(ra, rb);
  if (had) e.KeepSearchScope(ra, rb);
  struct TForget {
    TQedTextFileEditor& E;
    ~TForget() { E.ForgetSearchScope(); }
  } forget{e};
  const uint8_t find = uint8_t(s.SearchOptions & ~(soReplace | soReplaceAll));
  const uint8_t findNext = uint8_t(find & ~soEntireScope);
  const uint8_t replace = uint8_t((s.SearchOptions | soReplace) & ~(soReplaceAll | soEntireScope));
  // The match the last find selected is the first one offered, whichever
  // way the replace goes; otherwise the next match is.
  const bool selectedMatch = LastMatchSelected(e, s.FindText, s.SearchOptions);
  if (!s.ReplaceOneMode && !s.PromptOnReplace) {
    if (e.Replace(s.FindText, s.ReplaceText, uint8_t(s.SearchOptions | soReplace | soReplaceAll)) < 0) NotFound(s.FindText);
  } else if (!selectedMatch && !e.Search(s.FindText, find)) {
    NotFound(s.FindText);
  } else if (s.ReplaceOneMode) {
    TTextPoint a, b;
    e.GetSelection(a, b);
    const int32_t top = e.TopLine();
    const TModalResult answer = s.PromptOnReplace ? ConfirmationBox("Replace this occurrence?", mbYesNoCancel) : mrYes;
    TTextPoint caret = backward ? a : b;
    if (answer == mrYes && !e.ReadOnly) {
      e.Replace(s.FindText, s.ReplaceText, replace);
      // The caret goes back to the replaced match, not on to the next one.
      const TParaPos at = e.ParaPosOf(a);
      caret = backward ? a : e.PointOf(at.Para, at.Pos + int32_t(s.ReplaceText.size()));
    }
    e.Deselect(!backward);
    e.SetCaretPosition(caret.Line, caret.Col);
    e.SetTopLine(std::min(top, e.LineCount()));
  } else {
    while (e.SelectionExists() && !e.ReadOnly) {
      const TModalResult answer = ConfirmationBox("Replace this occurrence?", mbYesNoCancel);
      if (answer == mrCancel) {
        e.Deselect(!backward);
        break;
      }
      if (answer == mrYes) {
        // Replaces the selected match and selects the next one.
        e.Replace(s.FindText, s.ReplaceText, replace);
      } else {
        e.Deselect(!backward);
        e.Search(s.FindText, findNext);
      }
    }
  }
  if (had && e.KeptSearchScope(ra, rb)) e.SetSelection(ra, rb, true, true);
}

void TQuillexForm::ReplaceText() {
  TEditorSession& s = EditorSession;
  ChooseScope(*Editor);
  s.ReplaceText.clear();
  if (!RunReplaceDialog(s.FindText, s.ReplaceText, s.SearchOptions)) return;
  RunReplace();
  s.SearchDone = true;
  s.LastWasReplace = true;
  s.SearchOptions &= uint8_t(~soEntireScope);
}

void TQuillexForm::Again() {
  TEditorSession& s = EditorSession;
  if (!s.SearchDone || s.FindText.empty()) {
    ErrorBox("Tried to search for an empty string");
    return;
  }
  if (s.LastWasReplace) {
    RunReplace();
    return;
  }
  SearchKeepingSelection(*Editor, UserSelection(*Editor));
}

// ---------------------------------------------------------------- info, print

void TQuillexForm::GetInfo() { ShowFileInfo(FileName, Editor->Modified(), Editor->LineCount(), Editor->ByteCount()); }

void TQuillexForm::Print() { ShowPrintDialog(*this); }

void TQuillexForm::UserCommand(uint16_t command) {
  switch (command) {
    case 256: ReplaceText(); break;
    case 257: Find(); break;
    case 258: BlockRead(); break;
    case 259: BlockWrite(); break;
    case 260: BlockBegin(); break;
    case 261: BlockEnd(); break;
    case 262: Editor->DeleteSelection(); break;
    case 263: BlockCopy(true); break;
    case 264: BlockCopy(false); break;
    case 265: case 270: Save(); break;
    case 266: Open(); break;
    case 267: BlockHide(); break;
    case 268:
      if (EditorSession.BlockEndSet) Editor->SetCaretPosition(EditorSession.BlockEnd.Line, EditorSession.BlockEnd.Col);
      break;
    case 271: GotoLine(); break;
    case 272: Close(); break;
    default: break;
  }
}

bool RunTextEditor(const std::string& fileName, int32_t line) {
  // The editor's menu hints ("F2", "F3") go to the application's hint; the
  // window below gets its own back when the editor closes, however it ends.
  struct THintKeeper {
    std::string Saved = ApplicationHint();
    ~THintKeeper() { SetApplicationHint(Saved); }
  } hint;
  TQuillexForm form;
  LoadEditorSettings(form);
  form.OnClose = [](TForm& f) { SaveEditorSettings(static_cast<TQuillexForm&>(f)); };
  if (FileExists(fileName)) {
    if (form.OpenFile(fileName)) form.BottomPanel.SetVisible(true);
  }
  if (line > 0 && line <= form.Editor->LineCount()) {
    form.Editor->SetCaretPosition(line, 1);
    form.Editor->SetTopLine(std::max(1, line - 12));
  }
  form.EditorBox.SetFocus();
  return form.ShowModal() == mrOk;
}
