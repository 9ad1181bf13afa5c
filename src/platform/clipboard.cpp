#include "platform/clipboard.h"

namespace {

class TMemoryClipboard : public TClipboardBackend {
 public:
  void SetText(const std::string& text) override { text_ = text; }
  std::string GetText() override { return text_; }

 private:
  std::string text_;
};

std::unique_ptr<TClipboardBackend>& Installed() {
  static std::unique_ptr<TClipboardBackend> backend = std::make_unique<TMemoryClipboard>();
  return backend;
}

}  // namespace

TClipboardBackend& ClipboardBackend() { return *Installed(); }

void SetClipboardBackend(std::unique_ptr<TClipboardBackend> backend) {
  Installed() = backend ? std::move(backend) : std::make_unique<TMemoryClipboard>();
}

void SetClipboardText(const std::string& text) { ClipboardBackend().SetText(text); }

std::string GetClipboardText() { return ClipboardBackend().GetText(); }
