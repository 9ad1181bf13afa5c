#include "editor/editor_settings.h"

#include <string>

#include "editor/editor_window.h"
#include "platform/registry.h"

const char* const EditorRegistryKey = "\\Software\\Orbenwright\\Quillex\\v1.0";

namespace {

// One value: read and applied when present, else written from the current
// setting (loading); always written (saving).
struct TSync {
  TRegistry& Reg;
  bool Saving;
  void Int(const char* name, int32_t& v) {
    if (!Saving && Reg.ReadInteger(name, v) == TRegStatus::Ok) return;
    Reg.WriteInteger(name, v);
  }
  void Bool(const char* name, bool& v) {
    if (!Saving && Reg.ReadBool(name, v) == TRegStatus::Ok) return;
    Reg.WriteBool(name, v);
  }
  void Str(const char* name, std::string& v) {
    if (!Saving && Reg.ReadString(name, v) == TRegStatus::Ok) return;
    Reg.WriteString(name, v);
  }
  void Flag(const char* name, uint8_t& options, uint8_t bit) {
    bool on = (options & bit) != 0;
    Bool(name, on);
    options = on ? uint8_t(options | bit) : uint8_t(options & ~bit);
  }
};

void SyncLayout(TRegistry& reg, TQuillexForm& form, bool saving) {
  if (!reg.OpenKey(std::string(EditorRegistryKey) + "\\Layout", true)) return;
  TSync s{reg, saving};
  // The window's size and place, frame included. Before the window was
  // shown its designed bounds stand.
  const TPoint frame = form.FrameExtent();
  const TRect b = form.NormalBounds();
  const bool placed = saving && b.Width() > 0 && b.Height() > 0;
  int32_t h = placed ? b.Height() + frame.Y : 457, w = placed ? b.Width() + frame.X : 557;
  int32_t top = placed ? b.Top : 112, left = placed ? b.Left : 212;
  s.Int("Height", h);
  s.Int("Width", w);
  s.Int("Top", top);
  s.Int("Left", left);
  if (!saving) {
    const int cw = std::max(w, 550) - frame.X, ch = std::max(h, 440) - frame.Y;
    form.SetBounds(left, top, cw, ch);
    form.SetClientSize(cw, ch);
  }
  TQedTextFileEditor& e = *form.Editor;
  int32_t back = int32_t(e.Color), fore = int32_t(e.FixedFont.Color());
  int32_t hb = int32_t(e.HighlightColors.BackColor()), hf = int32_t(e.HighlightColors.TextColor());
  s.Int("Background Color", back);
  s.Int("Font Color", fore);
  s.Int("Highlight Background Color", hb);
  s.Int("Highlight Font Color", hf);
  TFont f = e.FixedFont.Font();
  int32_t size = f.Size;
  s.Int("Font Size", size);
  s.Str("Font Name", f.Name);
  s.Bool("Font Italic", f.Italic);
  s.Bool("Font Bold", f.Bold);
  s.Bool("Font Underline", f.Underline);
  s.Bool("Font StrikeOut", f.StrikeOut);
  f.Size = size;
  f.Color = TColor(fore);
  try {
    e.FixedFont.Assign(f);
  } catch (const EInvalidFixedFont&) {
    // A stored face that is not fixed-pitch: the current font stays.
    e.FixedFont.SetSize(f.Size);
    e.FixedFont.SetColor(f.Color);
  }
  e.Color = TColor(back);
  e.HighlightColors.SetBackColor(TColor(hb));
  e.HighlightColors.SetTextColor(TColor(hf));
  reg.CloseKey();
}

void SyncSearch(TRegistry& reg, bool saving) {
  if (!reg.OpenKey(std::string(EditorRegistryKey) + "\\Search", true)) return;
  TSync s{reg, saving};
  TEditorSession& es = EditorSession;
  s.Bool("Prompt On Replace", es.PromptOnReplace);
  s.Flag("Backwards", es.SearchOptions, soBackward);
  s.Flag("Case Sensitive", es.SearchOptions, soCaseSensitive);
  s.Flag("Whole Words", es.SearchOptions, soWholeWords);
  s.Bool("Search at cursor", es.SearchAtCursor);
  reg.CloseKey();
}

void SyncHistory(TRegistry& reg, bool saving) {
  for (auto [key, words] : {std::pair{"\\Search Words", &EditorSession.SearchWords},
                            std::pair{"\\Replace Words", &EditorSession.ReplaceWords}}) {
    if (!reg.OpenKey(std::string(EditorRegistryKey) + key, true)) return;
    TSync s{reg, saving};
    for (int i = 0; i < 10; ++i) s.Str(("Word " + std::to_string(i + 1)).c_str(), (*words)[size_t(i)]);
    reg.CloseKey();
  }
}

void Sync(TQuillexForm& form, bool saving) {
  TRegistry reg;
  if (!reg.OpenKey(EditorRegistryKey, true)) return;
  reg.CloseKey();
  SyncLayout(reg, form, saving);
  SyncSearch(reg, saving);
  SyncHistory(reg, saving);
}

}  // namespace

void LoadEditorSettings(TQuillexForm& form) { Sync(form, false); }
void SaveEditorSettings(TQuillexForm& form) { Sync(form, true); }
