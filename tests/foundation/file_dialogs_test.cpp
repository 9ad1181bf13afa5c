#include "foundation/file_dialogs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/file_utils.h"
#include "korvex_test.h"
#include "platform/app_messages.h"
#include "platform/headless/headless_dialogs.h"

namespace fs = std::filesystem;

class FileDialogsTest : public TKorvexTest {};

TEST_F(FileDialogsTest, OpenDialogStartsInTheProposedFolderWithTheMask) {
  fs::create_directories(TempDir / "DRILL");
  std::string name = (TempDir / "DRILL").string() + "\\*.DRL";
  ScriptFileDialogAnswer("JOB.DRL");
  ASSERT_TRUE(ExecuteOpenFileDialog("Open Drill File", name, 255));
  ASSERT_EQ(ShownCommonDialogs().size(), 1u);
  const auto& shown = ShownCommonDialogs()[0];
  EXPECT_EQ(shown.Kind, TCommonDialogKind::Open);
  EXPECT_EQ(shown.Title, "Open Drill File");
  EXPECT_EQ(shown.InitialDir, (TempDir / "DRILL").string());
  EXPECT_EQ(shown.FileName, "*.DRL");
  EXPECT_TRUE(shown.Options & ofHideReadOnly);
  EXPECT_EQ(name, (TempDir / "DRILL" / "JOB.DRL").string());
}

TEST_F(FileDialogsTest, MissingFolderOpensInTheDialogsOwnFolderAndCancelKeepsTheName) {
  std::string name = (TempDir / "NOWHERE").string() + "\\JOB.ZUL";
  ScriptCommonDialogCancel();
  EXPECT_FALSE(ExecuteSaveFileDialog("Save Job", name, 255));
  EXPECT_EQ(ShownCommonDialogs()[0].InitialDir, "");
  EXPECT_EQ(ShownCommonDialogs()[0].FileName, "JOB.ZUL");
  EXPECT_EQ(name, (TempDir / "NOWHERE").string() + "\\JOB.ZUL");
}

TEST_F(FileDialogsTest, ChosenNameLongerThanTheLimitIsRefusedNotCut) {
  std::string name = "JOB.ZUL";
  ScriptFileDialogAnswer((TempDir / "a-rather-long-file-name.ZUL").string());
  EXPECT_FALSE(ExecuteOpenFileDialog("Open", name, 20));
  EXPECT_EQ(name, "JOB.ZUL");
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
  EXPECT_NE(ShownMessageBoxes()[0].Text.find("longer than 20 characters"), std::string::npos);
}

TEST_F(FileDialogsTest, CadImportDialogOffersTheImportFormats) {
  std::string name = "*.*";
  ScriptFileDialogAnswer((TempDir / "BOARD.DXF").string(), 2);
  ASSERT_TRUE(ExecuteCadImportDialog("Import", name, 255));
  EXPECT_EQ(ShownCommonDialogs()[0].Filter, CadImportFilterText);
  EXPECT_EQ(name, (TempDir / "BOARD.DXF").string());
}

TEST_F(FileDialogsTest, CheckIOErrorShowsTheSystemTextAndTheAction) {
  EXPECT_FALSE(CheckIOError("opening a file"));
  EXPECT_TRUE(ShownMessageBoxes().empty());
  InOutRes = ENOENT;
  EXPECT_TRUE(CheckIOError("writing rout file."));
  EXPECT_EQ(InOutRes, 0);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, SystemErrorText(ENOENT) + "\r\nwhile writing rout file.");
}

TEST_F(FileDialogsTest, TryOpenFileTellsTextFromBinary) {
  // Missing: unusable, and nothing is shown.
  EXPECT_TRUE(TryOpenFile((TempDir / "none.txt").string()));
  EXPECT_TRUE(ShownMessageBoxes().empty());

  // One 300-character line among ten: long, but all printable, so text.
  std::string text;
  for (int i = 0; i < 9; ++i) text += "X1000Y2000\n";
  text += std::string(300, 'A') + "\n";
  WriteFileBytes(TempDir / "long.txt", text);
  EXPECT_FALSE(TryOpenFile((TempDir / "long.txt").string()));

  // 10 zero bytes in 50: 10 / 51 >= 0.1.
  std::string binary(40, 'A');
  binary += std::string(10, '\0');
  WriteFileBytes(TempDir / "bin.dat", binary);
  EXPECT_TRUE(TryOpenFile((TempDir / "bin.dat").string()));

  // A stray control byte in a tape of short lines stays below both ratios...
  std::string tape;
  for (int i = 0; i < 200; ++i) tape += "X1000Y2000\r\n";
  tape[5] = '\x01';
  WriteFileBytes(TempDir / "tape.drl", tape);
  EXPECT_FALSE(TryOpenFile((TempDir / "tape.drl").string()));
  // ...but together with an over-long line it marks the file binary.
  WriteFileBytes(TempDir / "long1.drl", std::string(2000, 'B') + "\x01\r\n");
  EXPECT_TRUE(TryOpenFile((TempDir / "long1.drl").string()));

  // Ten long lines in a hundred, with one stray byte: 10 / 101 line ends is
  // too many long lines, whether the lines end in CR LF, LF or CR.
  for (const std::string eol : {"\r\n", "\n", "\r"}) {
    std::string mixed = "\x01";
    for (int i = 0; i < 100; ++i) mixed += (i % 10 == 0 ? std::string(300, 'A') : std::string("X1000Y2000")) + eol;
    WriteFileBytes(TempDir / "mixed.drl", mixed);
    EXPECT_TRUE(TryOpenFile((TempDir / "mixed.drl").string())) << int(eol.size());
  }
}

namespace {
class TRecordingFilter : public TKeyFilter {
 public:
  int Seen = 0;
  void HandleKey(TMessage& msg, bool& handled) override {
    ++Seen;
    handled = msg.WParam == VK_ESCAPE;
  }
};
}  // namespace

TEST_F(FileDialogsTest, KeyFilterSeesOnlyKeyMessagesWhileEnabledAndRestoresTheHook) {
  int outerCalls = 0;
  TMessageHook outer = [&](TMessage&, bool&) { ++outerCalls; };
  TMessageHook before = SetApplicationMessageHook(outer);
  {
    TRecordingFilter filter;
    TKeyFilterHook hook(filter);
    TMessage key{0, WM_KEYDOWN, VK_ESCAPE, 0};
    EXPECT_FALSE(DispatchApplicationMessage(key));  // not enabled yet
    filter.Enable();
    EXPECT_TRUE(DispatchApplicationMessage(key));
    TMessage paint{0, 15, 0, 0};
    EXPECT_FALSE(DispatchApplicationMessage(paint));
    TMessage chr{0, WM_CHAR, 'a', 0};
    EXPECT_FALSE(DispatchApplicationMessage(chr));
    EXPECT_EQ(filter.Seen, 2);
  }
  TMessage key{0, WM_KEYUP, 'A', 0};
  DispatchApplicationMessage(key);
  EXPECT_EQ(outerCalls, 1);
  SetApplicationMessageHook(before);
}

TEST_F(FileDialogsTest, SwapFilterDialogsListNamedFiltersUpToTheFirstGap) {
  auto savedImport = ImportFilters;
  ImportFilters = {};
  ImportFilters[1].Name = "Mill Dialect";
  ImportFilters[2].Name = "Old Driller";
  ImportFilters[4].Name = "After the gap";
  EXPECT_EQ(SwapFilterDialogText(ImportFilters), "Standard|*.*|Mill Dialect|*.*|Old Driller|*.*");

  // The index goes in as 0..n and the dialog's own index is one more.
  std::string name = "*.DRL";
  uint8_t index = 2;
  ScriptFileDialogAnswer((TempDir / "IN.DRL").string(), 1);
  ASSERT_TRUE(ExecuteImportFilterDialog("Import", name, 255, index));
  EXPECT_EQ(ShownCommonDialogs()[0].FilterIndex, 3);
  EXPECT_EQ(index, 0);  // "Standard" chosen
  ImportFilters = savedImport;

  uint8_t exportIndex = 0;
  ScriptCommonDialogCancel();
  EXPECT_FALSE(ExecuteExportFilterDialog("Export", name, 255, exportIndex));
  EXPECT_EQ(ShownCommonDialogs()[1].Kind, TCommonDialogKind::Save);
  EXPECT_EQ(ShownCommonDialogs()[1].Filter, "Standard|*.*");
}
