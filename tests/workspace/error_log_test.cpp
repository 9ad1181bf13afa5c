#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/file_utils.h"
#include "korvex_test.h"
#include "model/view_services.h"
#include "platform/clipboard.h"
#include "platform/events.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_forms.h"
#include "platform/headless/headless_printer.h"
#include "platform/menus.h"
#include "platform/paths.h"
#include "workspace/error_inspector.h"
#include "workspace/error_log.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const std::string& prefix, int count) {
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(prefix + std::to_string(i));
  return out;
}

int32_t SlotNumberOf(const std::string& bytes, int slot) {
  const size_t o = size_t(slot - 1) * 85;
  return int32_t(uint32_t(uint8_t(bytes[o])) | uint32_t(uint8_t(bytes[o + 1])) << 8 |
                 uint32_t(uint8_t(bytes[o + 2])) << 16 | uint32_t(uint8_t(bytes[o + 3])) << 24);
}

struct TEntry {
  int32_t Number = 0;
  int32_t Newest = 0;
  std::vector<std::string> Lines;
};

TEntry Read(const std::string& file, int32_t entry) {
  TEntry e;
  e.Number = entry;
  EXPECT_TRUE(ReadLogEntry(file, e.Number, e.Lines, e.Newest));
  return e;
}

class ErrorLogTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetModalScripts();
    ResetHeadlessViewServices();
    SetCurrentCommandHook({});
    EditorMode = emCad;
    Log = (TempDir / "home" / "KORVEX6.LOG").string();
  }
  void TearDown() override {
    DoneErrorInspector();
    ResetModalScripts();
    SetCurrentCommandHook({});
    TKorvexTest::TearDown();
  }
  std::string Log;
};

}  // namespace

TEST_F(ErrorLogTest, FirstEntryMakesAFreshLogBesideTheProgram) {
  EXPECT_EQ(ErrorLogFileName(), ExecutionPath() + "KORVEX6.LOG");
  EXPECT_EQ(NativePath(ErrorLogFileName()), Log);
  std::vector<std::string> lines = {"first", std::string(90, 'x'), ""};
  WriteLogEntry(ErrorLogFileName(), lines);

  const std::string bytes = ReadFileBytes(Log);
  ASSERT_EQ(bytes.size(), 85000u);
  EXPECT_EQ(bytes.substr(0, 4), "\xCE\xFA\xAD\xDE");
  EXPECT_EQ(size_t(uint8_t(bytes[4])), std::string(LogHeaderText).size());
  EXPECT_EQ(bytes.substr(5, 47), "Orbenwright Error log file, please do not edit.");
  EXPECT_EQ(SlotNumberOf(bytes, 2), 1);
  EXPECT_EQ(SlotNumberOf(bytes, 4), 1);
  EXPECT_EQ(SlotNumberOf(bytes, 5), 0);

  const TEntry e = Read(Log, INT32_MAX);
  EXPECT_EQ(e.Number, 1);
  EXPECT_EQ(e.Newest, 1);
  ASSERT_EQ(e.Lines.size(), 3u);
  EXPECT_EQ(e.Lines[0], "first");
  EXPECT_EQ(e.Lines[1], std::string(80, 'x'));
  EXPECT_EQ(e.Lines[2], "");
}

TEST_F(ErrorLogTest, EntriesAgeOutAtTheBoundary) {
  WriteLogEntry(Log, Lines("one ", 500));  // slots 2..501
  WriteLogEntry(Log, Lines("two ", 400));  // slots 502..901, last used 901
  // 999 - 901 = 98 lines still fit without dropping anything.
  WriteLogEntry(Log, Lines("three ", 98));
  TEntry e = Read(Log, 1);
  EXPECT_EQ(e.Newest, 3);
  EXPECT_EQ(e.Lines.size(), 500u);
  e = Read(Log, 3);
  EXPECT_EQ(e.Lines.size(), 98u);
  EXPECT_EQ(SlotNumberOf(ReadFileBytes(Log), 999), 3);
  EXPECT_EQ(SlotNumberOf(ReadFileBytes(Log), 1000), 0);

  // One more line drops the oldest entry and renumbers the rest.
  WriteLogEntry(Log, {"four"});
  e = Read(Log, 1);
  EXPECT_EQ(e.Newest, 3);
  ASSERT_EQ(e.Lines.size(), 400u);
  EXPECT_EQ(e.Lines[0], "two 0");
  e = Read(Log, 2);
  EXPECT_EQ(e.Lines.size(), 98u);
  e = Read(Log, 3);
  EXPECT_EQ(e.Lines, std::vector<std::string>{"four"});
  const std::string bytes = ReadFileBytes(Log);
  EXPECT_EQ(SlotNumberOf(bytes, 500), 3);
  EXPECT_EQ(SlotNumberOf(bytes, 501), 0);
}

TEST_F(ErrorLogTest, AgeingRepeatsUntilTheEntryFits) {
  for (int i = 0; i < 5; ++i) WriteLogEntry(Log, Lines("old" + std::to_string(i) + " ", 100));
  WriteLogEntry(Log, Lines("big ", 700));  // needs three of the five old entries gone
  TEntry e = Read(Log, 1);
  EXPECT_EQ(e.Newest, 3);
  EXPECT_EQ(e.Lines.front(), "old3 0");
  e = Read(Log, 3);
  ASSERT_EQ(e.Lines.size(), 700u);
  EXPECT_EQ(e.Lines.back(), "big 699");
}

TEST_F(ErrorLogTest, OversizedEntryIsCutInsteadOfLoopingForever) {
  WriteLogEntry(Log, Lines("old ", 10));
  WriteLogEntry(Log, Lines("huge ", 1200));
  const TEntry e = Read(Log, INT32_MAX);
  EXPECT_EQ(e.Number, 1);
  EXPECT_EQ(e.Newest, 1);
  ASSERT_EQ(e.Lines.size(), 998u);
  EXPECT_EQ(e.Lines.front(), "huge 0");
  EXPECT_EQ(e.Lines.back(), "huge 997");
  EXPECT_EQ(SlotNumberOf(ReadFileBytes(Log), 1000), 0);
  // The next entry replaces it.
  WriteLogEntry(Log, {"next"});
  EXPECT_EQ(Read(Log, 1).Lines, std::vector<std::string>{"next"});
}

TEST_F(ErrorLogTest, ReadingCorrectsTheEntryNumber) {
  WriteLogEntry(Log, {"a1", "a2"});
  WriteLogEntry(Log, {"b1"});
  WriteLogEntry(Log, {"c1", "c2", "c3"});
  EXPECT_EQ(Read(Log, 0).Lines, (std::vector<std::string>{"a1", "a2"}));
  EXPECT_EQ(Read(Log, -5).Number, 1);
  const TEntry newest = Read(Log, 99);
  EXPECT_EQ(newest.Number, 3);
  EXPECT_EQ(newest.Lines, (std::vector<std::string>{"c1", "c2", "c3"}));
  const TEntry middle = Read(Log, 2);
  EXPECT_EQ(middle.Lines, std::vector<std::string>{"b1"});
  EXPECT_EQ(middle.Newest, 3);

  // No file, or not a log: nothing, 0 of 0.
  const TEntry none = Read((TempDir / "none.LOG").string(), 4);
  EXPECT_EQ(none.Number, 0);
  EXPECT_EQ(none.Newest, 0);
  EXPECT_TRUE(none.Lines.empty());
  WriteFileBytes(TempDir / "other.LOG", "just some text");
  EXPECT_EQ(Read((TempDir / "other.LOG").string(), 1).Newest, 0);
  // Writing puts a fresh log in place of a file that is not a log, the file
  // kept aside; an empty one holds nothing to keep.
  EXPECT_EQ(WriteLogEntry((TempDir / "other.LOG").string(), {"x"}),
            (TempDir / "other.LOG.damaged").string());
  EXPECT_EQ(Read((TempDir / "other.LOG").string(), 1).Lines, std::vector<std::string>{"x"});
  EXPECT_EQ(ReadFileBytes(TempDir / "other.LOG.damaged"), "just some text");
  WriteFileBytes(TempDir / "empty.LOG", "");
  EXPECT_EQ(WriteLogEntry((TempDir / "empty.LOG").string(), {"y"}), "");
  EXPECT_FALSE(fs::exists(TempDir / "empty.LOG.damaged"));
}

TEST_F(ErrorLogTest, HeaderOnlyLogStartsAtSlotTwo) {
  std::string bytes(85000, '\0');
  const std::string header = "\xCE\xFA\xAD\xDE";
  bytes.replace(0, 4, header);
  WriteFileBytes(Log, bytes);
  EXPECT_EQ(Read(Log, 1).Newest, 0);
  WriteLogEntry(Log, {"only"});
  EXPECT_EQ(SlotNumberOf(ReadFileBytes(Log), 2), 1);
  const TEntry e = Read(Log, 1);
  EXPECT_EQ(e.Lines, std::vector<std::string>{"only"});
  EXPECT_EQ(e.Newest, 1);
}

TEST_F(ErrorLogTest, ErrorTimeTextSpellsTheDate) {
  EXPECT_EQ(ErrorTimeText({2026, 1, 5, 15, 7, 9, 0}), "Monday, January 5, 2026 at 3:07 pm");
  EXPECT_EQ(ErrorTimeText({2024, 2, 29, 0, 5, 0, 0}), "Thursday, February 29, 2024 at 12:05 am");
  EXPECT_EQ(ErrorTimeText({2000, 12, 31, 12, 30, 0, 0}), "Sunday, December 31, 2000 at 12:30 pm");
}

TEST_F(ErrorLogTest, EntryLinesDescribeTheError) {
  SetCurrentCommandHook([] { return std::string("ADDLINE(CLICK,RCLICK),COMMAND("); });
  EditorMode = emRout;
  TErrorDescription io = DescribeException(std::make_exception_ptr(EInOutError("gone", 103)));
  EXPECT_EQ(io.ClassName, "EInOutError");
  EXPECT_EQ(io.ParentClassName, "std::runtime_error");
  auto lines = ErrorEntryLines(io, ENOENT, 0xABCD, {2026, 1, 5, 15, 7, 0, 0});
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[0], "Time of error : Monday, January 5, 2026 at 3:07 pm");
  EXPECT_EQ(lines[1], "Error message : gone");
  EXPECT_EQ(lines[2], "Error address : 0000ABCD");
  EXPECT_EQ(lines[3], "Error class   : EInOutError (std::runtime_error)");
  EXPECT_EQ(lines[4].rfind("Application   : /", 0), 0u);
  EXPECT_EQ(lines[5], "IO Error Code : 103 - File not open");
  EXPECT_EQ(lines[6], "WIN32 Error   : (2) - No such file or directory");
  EXPECT_EQ(lines[7], "Program name  : KORVEX 6.12.5");
  EXPECT_EQ(lines[8], "Last command  : ADDLINE(CLICK,RCLICK),COMMAND(");
  EXPECT_EQ(lines[9], "Current app.  : Rout");
  EXPECT_EQ(lines[10], "");
  EXPECT_EQ(lines[11].rfind("User name                 : ", 0), 0u);
  EXPECT_EQ(lines.back(), "");

  io.InOutErrorCode = 7;
  lines = ErrorEntryLines(io, 0, 0, {2026, 1, 5, 15, 7, 0, 0});
  EXPECT_EQ(lines[5], "IO Error Code : 7 - Unknown");
  EXPECT_EQ(lines[6], "Program name  : KORVEX 6.12.5");  // no system error line

  // Neither an I/O error nor a standard exception.
  EditorMode = 3;
  const TErrorDescription odd = DescribeException(std::make_exception_ptr(42));
  EXPECT_EQ(odd.Message, "Unknown exception");
  EXPECT_EQ(odd.ClassName, "int");
  lines = ErrorEntryLines(odd, 0, 0, {2026, 1, 5, 15, 7, 0, 0});
  EXPECT_EQ(lines[5], "Program name  : KORVEX 6.12.5");
  EXPECT_EQ(lines[7], "Current app.  : Error");
}

TEST_F(ErrorLogTest, EscapedExceptionIsLoggedAndShownInTheInspector) {
  HeadlessSetLocalTime({2026, 1, 5, 15, 7, 0, 0});
  SetCurrentCommandHook([] { return std::string("ZOOMWINDOW(CLICK,CLICK)"); });
  InstallErrorInspector();
  std::vector<std::string> shown;
  std::string counter;
  int modalDepth = -1;
  RegisterModalScript("TExceptionHandler", [&](TForm& f) {
    counter = f.Get<TPanel>("Number").Caption();
    shown = f.Get<TMemo>("Display").Lines();
    modalDepth = HeadlessViewServices().ModalDepth;
    EXPECT_FALSE(f.FindControl("Display") == nullptr);
    f.Click("Button1");
  });
  errno = 0;
  try {
    throw std::out_of_range("index past the end");
  } catch (...) {
    HandleCurrentException();
  }
  EXPECT_EQ(ModalFormsShown(), std::vector<std::string>{"TExceptionHandler"});
  EXPECT_EQ(counter, "1 of 1");
  EXPECT_EQ(modalDepth, 1);
  EXPECT_EQ(HeadlessViewServices().ModalDepth, 0);
  ASSERT_GT(shown.size(), 12u);
  EXPECT_EQ(shown[0], "Time of error : Monday, January 5, 2026 at 3:07 pm");
  EXPECT_EQ(shown[1], "Error message : index past the end");
  EXPECT_EQ(shown[3], "Error class   : std::out_of_range (std::logic_error)");
  EXPECT_EQ(shown[5], "Program name  : KORVEX 6.12.5");
  EXPECT_EQ(shown[6], "Last command  : ZOOMWINDOW(CLICK,CLICK)");
  EXPECT_EQ(shown[7], "Current app.  : Cad");
  EXPECT_FALSE(ErrorInspector().Busy);
  EXPECT_TRUE(ShownMessageBoxes().empty());
  // The entry is on disk with its system information block.
  const TEntry e = Read(Log, INT32_MAX);
  EXPECT_EQ(e.Lines, shown);
  bool hasMemory = false;
  for (const auto& l : e.Lines) hasMemory |= l.rfind("Total Physical Memory     : ", 0) == 0;
  EXPECT_TRUE(hasMemory);

  // A second error gets entry 2.
  HandleApplicationException(std::runtime_error("second"));
  EXPECT_EQ(counter, "2 of 2");
}

TEST_F(ErrorLogTest, ExceptionDuringRecordingGetsOnlyTheStandardBox) {
  InstallErrorInspector();
  RegisterModalScript("TExceptionHandler", [&](TForm& f) {
    // Something fails while the inspector shows the first error.
    HandleApplicationException(std::runtime_error("nested failure"));
    f.Click("Button1");
  });
  HandleApplicationException(std::runtime_error("first failure"));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "nested failure.");
  EXPECT_EQ(ShownMessageBoxes()[0].Caption, "KORVEX 6");
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtError);
  EXPECT_EQ(Read(Log, INT32_MAX).Newest, 1);
  EXPECT_FALSE(ErrorInspector().Busy);
}

TEST_F(ErrorLogTest, FailedRecordingDoesNotDisableTheLog) {
  InstallErrorInspector();
  RegisterModalScript("TExceptionHandler", [](TForm& f) { f.Click("Button1"); });
  TExceptionHandler& inspector = ErrorInspector();
  const std::string missing = (TempDir / "missing" / "folder" / "KORVEX6.LOG").string();
  inspector.LogFileName = missing;
  HandleApplicationException(std::runtime_error("cannot be logged"));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  // The user learns that the error is not in the log, and why.
  EXPECT_EQ(ShownMessageBoxes()[0].Text,
            "cannot be logged.\r\n\r\nThe error could not be recorded in the error log " + missing +
                ":\r\n" + SystemErrorText(ENOENT) + "\r\nwhile writing the error log.");
  EXPECT_TRUE(ModalFormsShown().empty());
  EXPECT_FALSE(inspector.Busy);

  // A full disk.
  inspector.LogFileName = Log;
  HeadlessFailWritesAfter(1000, ENOSPC);
  HandleApplicationException(std::runtime_error("disk full"));
  HeadlessFailWritesAfter(-1);
  ASSERT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_EQ(ShownMessageBoxes()[1].Text,
            "disk full.\r\n\r\nThe error could not be recorded in the error log " + Log + ":\r\n" +
                SystemErrorText(ENOSPC) + "\r\nwhile writing the error log.");
  EXPECT_FALSE(fs::exists(Log));

  // Once the log can be written again, errors are recorded again.
  HandleApplicationException(std::runtime_error("logged"));
  EXPECT_EQ(ModalFormsShown().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes().size(), 2u);
  EXPECT_EQ(Read(Log, 1).Lines[1], "Error message : logged");

  // A failure inside the inspector window clears the flag too.
  RegisterModalScript("TExceptionHandler", [](TForm&) { throw std::runtime_error("window"); });
  HandleApplicationException(std::runtime_error("third"));
  EXPECT_FALSE(inspector.Busy);
  EXPECT_EQ(ShownMessageBoxes().back().Text, "third.");
}

TEST_F(ErrorLogTest, ADamagedLogIsKeptAsideAndToldOfOnce) {
  WriteLogEntry(Log, {"an older error"});
  std::string damaged = ReadFileBytes(Log);
  damaged[0] = 'X';
  WriteFileBytes(Log, damaged);
  InstallErrorInspector();
  std::string counter;
  RegisterModalScript("TExceptionHandler", [&](TForm& f) {
    counter = f.Get<TPanel>("Number").Caption();
    f.Click("Button1");
  });
  HandleApplicationException(std::runtime_error("after the damage"));
  EXPECT_EQ(ReadFileBytes(Log + ".damaged"), damaged);
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "The error log " + Log + " was damaged; it was kept as " +
                                             Log + ".damaged and a new error log was started.");
  EXPECT_EQ(ShownMessageBoxes()[0].Type, mtWarning);
  EXPECT_EQ(counter, "1 of 1");
  HandleApplicationException(std::runtime_error("next"));
  EXPECT_EQ(counter, "2 of 2");
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
}

TEST_F(ErrorLogTest, BeforeInstallingOnlyTheStandardBoxShows) {
  HandleApplicationException(std::runtime_error("early."));
  ASSERT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(ShownMessageBoxes()[0].Text, "early.");
  EXPECT_FALSE(fs::exists(Log));
}

TEST_F(ErrorLogTest, InspectorPagesPrintsAndCopies) {
  WriteLogEntry(Log, {"first entry"});
  WriteLogEntry(Log, {"second entry", "more"});
  WriteLogEntry(Log, {"third entry"});
  TExceptionHandler& inspector = ErrorInspector();
  EXPECT_EQ(inspector.Caption(), "Error Inspector");
  EXPECT_FALSE(inspector.MainMenu.FindItem("Open1")->Visible());
  std::vector<std::string> seen;
  auto note = [&](TForm& f) {
    seen.push_back(f.Get<TPanel>("Number").Caption() + ": " +
                   f.Get<TMemo>("Display").Lines().front());
  };
  RegisterModalScript("TExceptionHandler", [&](TForm& f) {
    note(f);
    f.Click("Next");  // already the newest: beep
    note(f);
    f.Click("Previous");
    note(f);
    f.Click("First");
    note(f);
    f.Click("Previous");  // already the first: beep
    note(f);
    f.Click("Last");
    note(f);
    f.Click("Previous");
    ClickMenu(inspector.MainMenu, "&File|&Print");
    ClickMenu(inspector.MainMenu, "&File|&Copy to clipboard");
    ClickMenu(inspector.MainMenu, "&File|E&xit");
  });
  HeadlessSetLocalTime({2026, 3, 2, 9, 41, 0, 0});
  ShowErrorInspector();
  EXPECT_EQ(seen, (std::vector<std::string>{"3 of 3: third entry", "3 of 3: third entry",
                                            "2 of 3: second entry", "1 of 3: first entry",
                                            "1 of 3: first entry", "3 of 3: third entry"}));
  EXPECT_EQ(Beeps(), (std::vector<uint32_t>{0xFFFF, 0xFFFF}));

  const auto& docs = HeadlessPrinter().Documents;
  ASSERT_EQ(docs.size(), 1u);
  EXPECT_EQ(docs[0].Title, "Exception Inspector");
  ASSERT_FALSE(docs[0].Pages.empty());
  EXPECT_EQ(docs[0].Pages[0].Lines,
            (std::vector<std::string>{"=================  Error Inspector Printout  =================",
                                      "Printed on Monday, March 2, 2026 at 9:41 am", "",
                                      "second entry", "more"}));
  EXPECT_EQ(GetClipboardText(), "second entry\r\nmore\r\n");
}

TEST_F(ErrorLogTest, InspectorNeverShrinksBelowItsDesignSize) {
  TExceptionHandler& inspector = ErrorInspector();
  inspector.Realign();
  EXPECT_EQ(inspector.MinWidth, 560);
  EXPECT_EQ(inspector.MinHeight, 400);
  inspector.ResizedByUser(300, 200);
  inspector.Realign();
  EXPECT_GE(inspector.Width(), 560);
  EXPECT_GE(inspector.Height(), 400);
  inspector.ResizedByUser(800, 600);
  inspector.Realign();
  EXPECT_EQ(inspector.Width(), 800);
}
