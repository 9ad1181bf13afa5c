#include "platform/common_dialogs.h"

#include "platform/headless/headless_dialogs.h"

namespace {

TCommonDialogBackend* g_backend = nullptr;

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t pos = text.find(sep, start);
    parts.push_back(text.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
    if (pos == std::string::npos) break;
    start = pos + 1;
  }
  return parts;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

std::vector<TFileFilter> ParseFilterText(const std::string& filter) {
  std::vector<TFileFilter> out;
  if (filter.empty()) return out;
  std::vector<std::string> parts = Split(filter, '|');
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    TFileFilter f;
    f.Description = parts[i];
    for (const std::string& mask : Split(parts[i + 1], ';')) {
      std::string m = Trim(mask);
      if (!m.empty()) f.Masks.push_back(m);
    }
    out.push_back(std::move(f));
  }
  return out;
}

bool HasWildcards(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

bool TOpenDialog::Execute() { return CommonDialogBackend().ExecuteFileDialog(*this); }

bool TFontDialog::Execute() { return CommonDialogBackend().ExecuteFontDialog(*this); }

TCommonDialogBackend* SetCommonDialogBackend(TCommonDialogBackend* backend) {
  TCommonDialogBackend* previous = g_backend;
  g_backend = backend;
  return previous;
}

TCommonDialogBackend& CommonDialogBackend() {
  return g_backend ? *g_backend : HeadlessCommonDialogBackend();
}
