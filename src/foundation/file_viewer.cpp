#include "foundation/file_viewer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <vector>

#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/utilities.h"
#include "platform/paths.h"

TViewFileDialog::TViewFileDialog()
    : TForm("TViewFileDialog"), Memo(Add<TMemo>("Memo")), OKButton(Add<TButton>("OKButton", "OK", mrOk)) {
  SetSizeable(false);
  Memo.SetAlign(alClient);
  Memo.SetReadOnly(true);
  Memo.SetWordWrap(false);
  Memo.SetScrollBars(true);
  OKButton.SetAlign(alBottom);
  OKButton.SetDefault(true);
}

void ViewFile(TViewFileDialog& dialog, const std::string& fileName) {
  constexpr int MaxBlocks = 255;
  constexpr size_t BlockBytes = 255;
  dialog.SetCaption("<" + CleanUpperCase(AbbreviatePath(fileName, 40)) + ">");
  dialog.Memo.ClearLines();
  if (!TryOpenFile(fileName)) {
    // Text is shown as it stands, a very large file only in its first part.
    constexpr std::size_t MaxTextBytes = std::size_t{1} << 20;
    std::ifstream in(NativePath(fileName), std::ios::binary);
    std::string text(MaxTextBytes, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(std::max<std::streamsize>(in.gcount(), 0)));
    const int64_t size = FileSizeOf(fileName);
    if (size > static_cast<int64_t>(text.size())) {
      // Cut at the last line end shown, and said so: a tape cut mid-line
      // would show a block that is not in it.
      const std::size_t end = text.find_last_of('\n');
      if (end != std::string::npos) text.resize(end + 1);
      else text += "\r\n";
      text += RestNotShownText(static_cast<int64_t>(text.size()), size);
    }
    dialog.Memo.SetText(text);
    return;
  }
  if (!FileExistsNoWild(fileName)) return;
  std::FILE* f = std::fopen(NativePath(fileName).c_str(), "rb");
  if (f == nullptr) InOutRes = errno != 0 ? errno : EIO;
  if (CheckIOError("opening the input file") || f == nullptr) {
    if (f != nullptr) std::fclose(f);
    return;
  }
  std::vector<std::string> lines;
  std::string block(BlockBytes, '\0');
  while (int(lines.size()) < MaxBlocks) {
    const size_t got = std::fread(block.data(), 1, BlockBytes, f);
    if (got == 0) break;
    lines.push_back(block.substr(0, got));
    if (got < BlockBytes) break;
  }
  std::fclose(f);
  dialog.Memo.SetLines(lines);
}

std::string RestNotShownText(int64_t shownBytes, int64_t fileBytes) {
  return "(The rest of the file is not shown: these are the first " + Int64ToStrGrouped(shownBytes) + " of its " +
         Int64ToStrGrouped(fileBytes) + " bytes.)";
}
