// A pipe or a device picked or typed in a file dialog by mistake: no import
// waits for a writer or reads on without end, no job is opened from it, and
// no save puts a file in its place.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "entity_counts.h"
#include "model/drill_database.h"
#include "platform/file_ops.h"
#include "platform/headless/headless_dialogs.h"
#include "workspace_test_support.h"

namespace {

class TNotAFileTest : public TWorkspaceDialogsTest {
 protected:
  // A named pipe in the test's folder (nothing ever writes to it).
  std::string Pipe(const std::string& name) {
    const std::string path = (TempDir / name).string();
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return path;
  }
  static bool IsPipe(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
  }
};

TEST_F(TNotAFileTest, APipeIsNeitherImportedNorOpenedNorSavedOver) {
  TWorkspace& form = StartProgram();
  const std::string pipe = Pipe("BOARD.DRL");
  const auto refused = [&](const char* cannot) { return "<" + pipe + "> is a device or a pipe, not a file: it cannot be " + cannot; };
  const auto cad = CadCounts();
  const std::string caption = form.Caption();

  // File > Import in CAD mode and Drill File > Import end at the dialog.
  ImportIntoCad(form, pipe, 0);
  EXPECT_EQ(LastBox(), refused("opened."));
  EXPECT_EQ(CadCounts(), cad);
  ResetModalScripts();
  ImportExcellonTape(form, pipe);
  EXPECT_EQ(LastBox(), refused("opened."));
  EXPECT_EQ(LiveDrillEntities(), 0);
  ResetModalScripts();

  // File > Open and Save As: the job stays as it was, the pipe a pipe.
  ScriptFileDialogAnswer(pipe);
  Run(form, emDrill, "Open1");
  EXPECT_EQ(LastBox(), refused("opened."));
  ScriptFileDialogAnswer(pipe);
  Run(form, emDrill, "SaveAs1");
  EXPECT_EQ(LastBox(), refused("saved to."));
  EXPECT_TRUE(IsPipe(pipe));
  EXPECT_EQ(form.Caption(), caption);
  EXPECT_EQ(ShownMessageBoxes().size(), 4u);
}

TEST(TReplacingFileTest, OnlyAFileIsReplaced) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "korvex_not_a_file";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "folder");
  const std::string pipe = (dir / "pipe").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(ReplaceFileContents(pipe, "x", 1), EPERM);
  EXPECT_EQ(ReplaceFileContents((dir / "folder").string(), "x", 1), EISDIR);
  struct stat st;
  EXPECT_TRUE(::lstat(pipe.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);  // no temporary file left
  std::filesystem::remove_all(dir);
}

}  // namespace
