#include "platform/common_dialogs.h"

#include <sys/stat.h>

#include "platform/headless/headless_dialogs.h"
#include "platform/message_box.h"
#include "platform/paths.h"

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

std::string WithChosenExtension(const std::string& fileName, const std::string& filter, int filterIndex) {
  const size_t slash = fileName.find_last_of("/\\");
  const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  if (base.empty() || base.find('.') != std::string::npos) return fileName;
  const std::vector<TFileFilter> filters = ParseFilterText(filter);
  if (filterIndex < 1 || filterIndex > static_cast<int>(filters.size())) return fileName;
  const std::vector<std::string>& masks = filters[static_cast<size_t>(filterIndex - 1)].Masks;
  if (masks.empty() || masks.front().rfind("*.", 0) != 0) return fileName;
  const std::string extension = masks.front().substr(2);
  if (extension.empty() || extension.find_first_of("*?.") != std::string::npos) return fileName;
  return fileName + "." + extension;
}

bool TOpenDialog::Execute() {
  if (!CommonDialogBackend().ExecuteFileDialog(*this)) return false;
  // A name typed without an extension is saved under the chosen type's.
  if (kind_ == TFileDialogKind::Save) FileName = WithChosenExtension(FileName, Filter, FilterIndex);
  // A device or a pipe typed or picked by mistake is no file: reading one
  // may never end (a pipe waits for a writer, a device never runs dry),
  // and a save would put a file in its place.
  struct stat st;
  if (!FileName.empty() && ::stat(NativePath(FileName).c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
      !S_ISDIR(st.st_mode)) {
    MessageDlg("<" + FileName + "> is a device or a pipe, not a file: it cannot be " +
                   (kind_ == TFileDialogKind::Save ? "saved to." : "opened."),
               mtError, mbOK);
    return false;
  }
  return true;
}

bool TFontDialog::Execute() { return CommonDialogBackend().ExecuteFontDialog(*this); }

TCommonDialogBackend* SetCommonDialogBackend(TCommonDialogBackend* backend) {
  TCommonDialogBackend* previous = g_backend;
  g_backend = backend;
  return previous;
}

TCommonDialogBackend& CommonDialogBackend() {
  return g_backend ? *g_backend : HeadlessCommonDialogBackend();
}
