// Files far larger than what they hold, or one endless line, offered to the
// places beside the imports where the operator picks a file to read: File >
// Open of a job, Open Rout Tape, the format dialogs' View File, the text
// editor's Open and Block Read, Auto Load Feeds & Speeds. Each ends with a
// box naming the file, and the job or text as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "editor/editor_window.h"
#include "entity_counts.h"
#include "foundation/file_viewer.h"
#include "foundation/report_windows.h"
#include "model/rout_database.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "workspace_test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t In = 25400000;

class TLargeFileOpenTest : public TWorkspaceDialogsTest {
 protected:
  // The head, then zero bytes up to size; sparse where the file system allows.
  std::string Sparse(const std::string& name, const std::string& head, std::uintmax_t size = 6u << 20) {
    const std::string path = Input(name, head);
    fs::resize_file(path, size);
    return path;
  }
  static int32_t LiveRouts() {
    int32_t n = 0;
    for (int32_t i = 1; i <= RoutEntityCount; ++i)
      if (RTDB->EntityAt(i) != nullptr && !SlotDeleted(RTDB->SlotAt(i)->Flags)) ++n;
    return n;
  }
  std::string LastBox() const {
    return ShownMessageBoxes().empty() ? std::string() : ShownMessageBoxes().back().Text;
  }
};

TEST_F(TLargeFileOpenTest, JobsTapesAndTablesOfLargeFilesEndWithABoxAndNothingChanged) {
  TWorkspace& form = StartProgram();
  DB->AddLineOnLayer(0, 0, In, In, 0);
  const std::string job = (TempDir / "KEPT.ZUL").string();
  ScriptFileDialogAnswer(job);
  ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|Save &As"));
  const std::string saved = ReadFileBytes(job);
  const auto counts = CadCounts();
  ASSERT_EQ(DatabaseFileName, job);

  // File > Open: a job's head then zeros, zeros alone, one endless line.
  const std::string head = saved.substr(0, saved.find('\n', saved.size() / 2) + 1);
  for (const std::string& file : {Sparse("HEAD.ZUL", head), Sparse("ZEROS.ZUL", ""),
                                  Input("LINE.ZUL", std::string(300000, '7'))}) {
    SCOPED_TRACE(file);
    const size_t boxes = ShownMessageBoxes().size();
    ScriptFileDialogAnswer(file);
    ASSERT_TRUE(ClickMenu(*form.Menu(), "&File|&Open"));
    EXPECT_GT(ShownMessageBoxes().size(), boxes);
    EXPECT_NE(LastBox().find(file), std::string::npos) << LastBox();
    EXPECT_EQ(CadCounts(), counts);
    EXPECT_EQ(DatabaseFileName, job);
  }
  EXPECT_EQ(ReadFileBytes(job), saved);

  // Drill Import's View File shows an endless line only in part.
  const std::string line = Sparse("LINE.DRL", "M48\nINCH\n" + std::string(100000, 'X'));
  std::string caption, last;
  QueueModalScript("TForceDrillFormatDialog", [&](TForm& f) {
    QueueModalScript("TGTWindow", [&](TForm& w) {
      caption = w.Caption();
      for (const std::string& row : static_cast<TGTWindow&>(w).Lines)
        if (row.find('X') != std::string::npos) last = row;
      w.Click("OKButton");
    });
    f.Click("ViewButton");
    f.Click("CancelButton");
  });
  ScriptFileDialogAnswer(line);
  Run(form, emDrill, "Import2");
  EXPECT_EQ(caption, line);
  EXPECT_EQ(last.substr(0, 20), std::string(20, 'X')) << last;

  // Open Rout Tape: the layer keeps its path.
  SelectLayer(40);
  RTDB->AddLineSegment({0, In}, {In, In}, false, NoZOffset, 0);
  const int32_t routs = LiveRouts();
  for (const std::string& file : {Sparse("HEAD.ROU", "M48\nINCH,TZ\nT01C0.1\n%\nT01\nG00X0Y0\nM15\nG01X010000Y0\nM16\n"),
                                  Sparse("ZEROS.ROU", ""), Input("LINE.ROU", "M48\n" + std::string(300000, '7'))}) {
    SCOPED_TRACE(file);
    const size_t boxes = ShownMessageBoxes().size();
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    ScriptMessageBoxAnswer(mrNo);  // the layer as it is stays unsaved
    ScriptFileDialogAnswer(file);
    Run(form, emRout, "OpenRoutTape1");
    EXPECT_GT(ShownMessageBoxes().size(), boxes);
    EXPECT_EQ(LiveRouts(), routs);
    EXPECT_NE(LastBox().find("this is no tape"), std::string::npos) << LastBox();
  }
  // The format dialog's View File shows a text only in its first part.
  std::string lineText;
  for (int i = 0; i < 30000; ++i) lineText += "X0Y0\r\n";
  const std::string text = Sparse("TEXT.ROU", lineText);
  size_t shown = 0;
  QueueModalScript("TRoutInputFormatDialog", [&shown](TForm& f) {
    QueueModalScript("TViewFileDialog", [&shown](TForm& v) {
      shown = static_cast<TViewFileDialog&>(v).Memo.Text().size();
      v.Click("OKButton");
    });
    f.Click("ViewButton");
    f.Click("CancelButton");
  });
  ScriptMessageBoxAnswer(mrNo);
  ScriptFileDialogAnswer(text);
  Run(form, emRout, "OpenRoutTape1");
  EXPECT_GE(shown, lineText.size());
  EXPECT_LE(shown, std::size_t{2} << 20);
  EXPECT_EQ(LiveRouts(), routs);

  // Auto Load Feeds & Speeds of a table that never ends a line.
  SelectLayer(30);
  ToolTable[1].Diameter = In / 100;
  const auto tools = Tools();
  const std::string table = Sparse("FEEDS.TXT", "C0.0200F100S50\n");
  ScriptFileDialogAnswer(table);
  Run(form, emDrill, "AutoLoadFeedsSpeeds1");
  EXPECT_EQ(LastBox(), "The feed/speed table was not loaded:\r\nLine 2 longer than 65536 characters in parameter table " +
                           table);
  EXPECT_EQ(Tools(), tools);
}

TEST_F(TLargeFileOpenTest, TheTextEditorRefusesWhatItCannotHoldAndKeepsItsText) {
  StartProgram();
  const std::string big = Sparse("BIG.NC", "M48\r\n", std::uintmax_t{513} << 20);
  const std::string longLine = Input("LONG.NC", "M48\r\nT1\r\nX1Y1\r\n" + std::string(40000, '1') + "\r\nM30\r\n");
  std::string many;
  for (int i = 0; i < 20; ++i) many += "X" + std::to_string(i) + "\r\n";
  const std::string manyLines = Input("MANY.NC", many);
  const std::string small = Input("SMALL.NC", "T2\r\nX2Y2\r\n");
  std::vector<std::string> boxes;
  std::string text, afterRead;
  QueueModalScript("TQuillexForm", [&](TForm& f) {
    auto& w = static_cast<TQuillexForm&>(f);
    const auto open = [&](const std::string& file) {
      ScriptFileDialogAnswer(file);
      ClickMenu(w.MainMenu, "&File|&Open");
      boxes.push_back(LastBox());
      EXPECT_EQ(w.Editor->Text(), "") << file;
    };
    const auto read = [&](const std::string& file) {
      ScriptFileDialogAnswer(file);
      ClickMenu(w.MainMenu, "&Block|&Read..");
      boxes.push_back(LastBox());
    };
    open(big);
    open(longLine);
    w.Editor->SetParaLimit(10);
    open(manyLines);
    ScriptFileDialogAnswer(small);
    ClickMenu(w.MainMenu, "&File|&Open");
    text = w.Editor->Text();
    ASSERT_EQ(text, "T2\r\nX2Y2\r\n");
    read(big);
    read(longLine);
    read(manyLines);
    EXPECT_EQ(w.Editor->Text(), text);
    read(small);
    afterRead = w.Editor->Text();
    w.Editor->SetModified(false);
    f.Close();
  });
  ASSERT_TRUE(ClickMenu(*Form->Menu(), "&File|Text E&ditor"));
  ASSERT_EQ(boxes.size(), 7u);
  EXPECT_EQ(boxes[0], "<" + big + "> is larger than the 512 MB the editor can hold.");
  EXPECT_EQ(boxes[1], "Line 4 of <" + longLine + "> is longer than the 32767 characters the editor can hold.");
  EXPECT_EQ(boxes[2], "<" + manyLines + "> has more than the 10 lines the editor can hold.");
  EXPECT_EQ(boxes[3], boxes[0]);
  EXPECT_EQ(boxes[4], boxes[1]);
  EXPECT_EQ(boxes[5], boxes[2]);
  EXPECT_EQ(afterRead, "T2\r\nX2Y2\r\nT2\r\nX2Y2\r\n");
}

}  // namespace
