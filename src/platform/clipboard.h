// The clipboard's text.
#pragma once
#include <memory>
#include <string>

class TClipboardBackend {
 public:
  virtual ~TClipboardBackend() = default;
  virtual void SetText(const std::string& text) = 0;
  // Empty when the clipboard holds no text.
  virtual std::string GetText() = 0;
};

// The installed backend; an in-memory clipboard when none was installed.
TClipboardBackend& ClipboardBackend();
// Installs a backend (null puts the in-memory one back).
void SetClipboardBackend(std::unique_ptr<TClipboardBackend> backend);

void SetClipboardText(const std::string& text);
std::string GetClipboardText();
