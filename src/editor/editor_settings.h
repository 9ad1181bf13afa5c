// The editor window's settings under its own registry key: layout,
// colours and font, search options, and the find and replace histories.
// Loaded when the window opens and saved when it closes. A value missing
// from the registry is written with the current setting.
#pragma once

class TQuillexForm;

extern const char* const EditorRegistryKey;

void LoadEditorSettings(TQuillexForm& form);
void SaveEditorSettings(TQuillexForm& form);
