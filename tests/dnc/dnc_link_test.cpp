#include "dnc/dnc_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dnc_machine.h"
#include "korvex_test.h"
#include "platform/headless/headless_events.h"

namespace fs = std::filesystem;

namespace {

// An NC program of about the given size, upper case as the wire carries it,
// with program ends, an M30 block, blank lines and a long comment line.
std::vector<std::string> MakeProgram(size_t bytes) {
  std::vector<std::string> lines = {"%", "M48", "T01C0.0350", "%", ""};
  size_t size = 0;
  for (int n = 0; size < bytes; ++n) {
    std::string line = "X" + std::to_string(10000 + n * 7 % 90000) + "Y" + std::to_string(20000 + n * 13 % 70000);
    if (n % 500 == 0) line = "";
    if (n % 1700 == 0) line = "(" + std::string(600, 'C') + ")";
    size += line.size() + 2;
    lines.push_back(line);
  }
  lines.push_back("M30");
  return lines;
}

std::string CrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

class TDncLinkTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    Upload = TempDir / "up";
    Download = TempDir / "down";
    fs::create_directories(Upload);
    fs::create_directories(Download);
    Link.UploadDir = Upload.string();
    Link.DownloadDir = Download.string();
    Link.SetComPortName(Machine.Path);
    Link.SetComPortBaud(9600);
    Link.AcceptCmds = true;
    Link.AllowUploads = true;
    Link.OnStatusMsg = [this](TDNC13Link& l) { Log.push_back(l.Message()); };
    Link.OnTaskFailed = [this](TDNC13Link&) { ++Failed; };
    Link.OnTaskDone = [this](TDNC13Link&) { ++Done; };
  }

  // Ticks the link and pumps the machine until the condition holds or the
  // virtual time runs out; true when it held.
  bool RunUntil(const std::function<bool()>& condition, uint32_t ms = 3600000) {
    for (uint32_t t = 0; t < ms; t += 20) {
      if (condition()) return true;
      Machine.Pump();
      HeadlessAdvanceTime(20);
    }
    return condition();
  }
  bool RunCommand(const std::string& command) {
    Link.ExecuteUserCommand(command);
    return RunUntil([this] { return !Link.DNCCommandProcessing(); });
  }
  // Lets the link run idle for a while (the machine's requests get served).
  void RunFor(uint32_t ms) {
    RunUntil([] { return false; }, ms);
  }
  bool Logged(const std::string& text) const { return std::find(Log.begin(), Log.end(), text) != Log.end(); }

  TDncMachine Machine;
  TDNC13Link Link;
  fs::path Upload, Download;
  std::vector<std::string> Log;
  int Failed = 0, Done = 0;
};

TEST_F(TDncLinkTest, AOneMegabyteTapeGoesToTheMachineAndComesBackByteExact) {
  const std::vector<std::string> program = MakeProgram(1 << 20);
  const fs::path tape = Download / "BIG.DRL";
  WriteFileBytes(tape, CrLf(program));
  Link.SetEnabled(true);
  ASSERT_EQ(Log, (std::vector<std::string>{"DNC 1.3 Ready", "DNC 1.3 Link Ready"}));
  int lastProgress = -1;
  bool progressFell = false;
  Link.OnProgressMsg = [&](TDNC13Link& l) {
    progressFell = progressFell || (l.Progress() < lastProgress && l.Progress() != 0);
    lastProgress = l.Progress();
  };

  ASSERT_TRUE(RunCommand("COPY," + tape.string() + ",XM(BIG1)"));
  EXPECT_EQ(Failed, 0);
  EXPECT_TRUE(Logged("DNC Send <" + tape.string() + "> transfer completed")) << Log.back();
  EXPECT_TRUE(Logged("PC Done Sending <" + tape.string() + ">"));
  ASSERT_EQ(Machine.Programs.count("BIG1"), 1u);
  EXPECT_TRUE(Machine.Programs["BIG1"] == program) << "the machine got another program";
  EXPECT_FALSE(progressFell);
  EXPECT_EQ(Link.Progress(), 0);  // idle again
  for (const std::string& text : Machine.Received) ASSERT_LE(text.size(), DncMaxText);

  const fs::path back = Upload / "back.drl";
  ASSERT_TRUE(RunCommand("COPY,XM(BIG1)," + back.string()));
  EXPECT_EQ(Failed, 0);
  EXPECT_EQ(ReadFileBytes(back), CrLf(program));
  EXPECT_EQ(FilesIn(Upload), std::vector<std::string>{"back.drl"});
  EXPECT_EQ(Link.State(), 0);
}

TEST_F(TDncLinkTest, UserCommandsKeepPathsAndReportEveryOutcome) {
  // A folder with blanks and a comma in its name survives the command.
  const fs::path odd = TempDir / "Job 7, rev b";
  fs::create_directories(odd);
  WriteFileBytes(odd / "Part a.nc", "%\r\nG90\r\nX1Y2\r\nlast line without end");
  Link.SetEnabled(true);
  ASSERT_TRUE(RunCommand("copy " + (odd / "Part a.nc").string() + " xm(P2)")) << ::testing::PrintToString(Log);
  EXPECT_EQ(Failed, 0) << Log.back();
  EXPECT_EQ(Machine.Programs["P2"], (std::vector<std::string>{"%", "G90", "X1Y2", "LAST LINE WITHOUT END"}));

  ASSERT_TRUE(RunCommand("COPY,XM(P2)," + (odd / "Back b.nc").string()));
  EXPECT_EQ(ReadFileBytes(odd / "Back b.nc"), "%\r\nG90\r\nX1Y2\r\nLAST LINE WITHOUT END\r\n");

  // A program the machine does not have: refused, no file left.
  ASSERT_TRUE(RunCommand("COPY,XM(NOPE)," + (Upload / "nope.nc").string()));
  EXPECT_EQ(Failed, 1);
  EXPECT_TRUE(Logged("DNC Refused file receive request"));
  EXPECT_FALSE(fs::exists(Upload / "nope.nc"));

  // A PC file that exists is never fetched over; a missing one is never sent.
  ASSERT_TRUE(RunCommand("COPY,XM(P2)," + (odd / "Back b.nc").string()));
  EXPECT_TRUE(Logged("Error : PC File <" + (odd / "Back b.nc").string() + "> already exists."));
  ASSERT_TRUE(RunCommand("COPY," + (odd / "gone.nc").string() + ",XM(G)"));
  EXPECT_TRUE(Logged("Error : PC File <" + (odd / "gone.nc").string() + "> not found."));
  ASSERT_TRUE(RunCommand("DIR,XM(A)"));
  EXPECT_TRUE(Logged("Illegal User DNC command <DIR,XM(A)>"));
  EXPECT_EQ(Failed, 4);

  // Operator messages both ways.
  ASSERT_TRUE(RunCommand("OM,Load drill T3"));
  EXPECT_EQ(Machine.OperatorMessages, std::vector<std::string>{"LOAD DRILL T3"});
  EXPECT_TRUE(Logged("E,00"));
  Machine.Request("OM,SPINDLE WARM");
  RunFor(2000);
  EXPECT_TRUE(Logged("OM,SPINDLE WARM"));
  EXPECT_EQ(Machine.Replies.back(), "E,00");
  EXPECT_EQ(Failed, 4);

  // A head, then zeros without a line end: refused at the bound, not sent as complete.
  const fs::path endless = odd / "endless.nc";
  WriteFileBytes(endless, "%\r\nG90\r\n");
  fs::resize_file(endless, 6u << 20);
  ASSERT_TRUE(RunCommand("COPY," + endless.string() + ",XM(P3)"));
  EXPECT_EQ(Failed, 5);
  EXPECT_TRUE(Logged("<" + endless.string() + "> has a line longer than 65536 characters")) << Log.back();
  EXPECT_EQ(Machine.Programs.count("P3"), 0u);
}

TEST_F(TDncLinkTest, TheMachinesRequestsAreServedFromAndIntoTheLinksFolders) {
  WriteFileBytes(Download / "PART1", "%\r\nT1\r\nX1Y1\r\nM30\r\n");
  Link.SetEnabled(true);
  Machine.Request("SEN? PART1");
  Machine.Request("SEN?,PART9");
  Machine.Request("SEND,PART1");
  RunFor(8000);
  EXPECT_EQ(Machine.Programs["PART1"], (std::vector<std::string>{"%", "T1", "X1Y1", "M30"}));
  EXPECT_EQ(Machine.Replies, (std::vector<std::string>{"E,00", "E,03", "E,00"})) << ::testing::PrintToString(Log);
  EXPECT_TRUE(Logged("DNC Done Sending <" + (Download / "PART1").string() + ">"));

  Machine.Upload("NEW1", {"%", "", "X5Y5", std::string(700, 'A'), "M30"});
  RunFor(8000);
  EXPECT_EQ(ReadFileBytes(Upload / "NEW1"), "%\r\n\r\nX5Y5\r\n" + std::string(700, 'A') + "\r\nM30\r\n");
  EXPECT_TRUE(Logged("DNC Received <" + (Upload / "NEW1").string() + "> 5 blocks"));

  // The same name again is refused and the first program stays.
  Machine.Upload("NEW1", {"X9"});
  RunFor(8000);
  EXPECT_TRUE(Logged("DNC Receive Refused : Duplicate File Name <" + (Upload / "NEW1").string() + ">"));
  EXPECT_EQ(Machine.Replies.back(), "E,-1");
  EXPECT_EQ(ReadFileBytes(Upload / "NEW1").substr(0, 3), "%\r\n");

  Machine.Request("SENB,X");
  Machine.Request("FOO,X");
  RunFor(8000);
  EXPECT_TRUE(Logged("UnImplemented DNC request : SENB"));
  EXPECT_EQ(Machine.Replies.back(), "E,-1");
}

TEST_F(TDncLinkTest, HostileNamesFromTheMachineAreRefusedAndNothingIsWrittenOutside) {
  WriteFileBytes(TempDir / "secret", "KEEP");
  WriteFileBytes(Download / "OK", "X1\r\n");
  fs::create_symlink(TempDir / "target-of-link", Upload / "LINKED");
  Link.SetEnabled(true);
  const std::vector<std::string> names = {"../secret", "..", "SUB/FILE", "..\\SECRET", "C:EVIL", "A\x01" "B",
                                          "LINKED"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    Machine.Upload(name, {"X1"});
    RunFor(6000);
    EXPECT_EQ(Machine.Replies.back(), "E,-1");
    Machine.Request("SEND," + name);
    RunFor(6000);
    EXPECT_EQ(Machine.Replies.back(), "E,-1");
  }
  EXPECT_EQ(ReadFileBytes(TempDir / "secret"), "KEEP");
  EXPECT_FALSE(fs::exists(TempDir / "target-of-link"));
  EXPECT_EQ(FilesIn(Upload), std::vector<std::string>{"LINKED"});
  EXPECT_EQ(FilesIn(TempDir / "up"), std::vector<std::string>{"LINKED"});
  EXPECT_TRUE(Machine.Programs.empty());

  // With uploads off, or server mode off, the requests are refused.
  Link.AllowUploads = false;
  Machine.Upload("FINE", {"X1"});
  RunFor(6000);
  EXPECT_TRUE(Logged("Upload request denied."));
  Link.AcceptCmds = false;
  Machine.Request("SEND,OK");
  RunFor(6000);
  EXPECT_TRUE(Logged("Request rejected: server mode off."));
  EXPECT_EQ(Machine.Replies.back(), "E,-1");
  EXPECT_FALSE(fs::exists(Upload / "FINE"));
}

TEST_F(TDncLinkTest, NaksAreRetriedAndTwelveInARowResetTheLink) {
  const std::vector<std::string> program = MakeProgram(4000);
  WriteFileBytes(Download / "T.NC", CrLf(program));
  Link.SetEnabled(true);
  Machine.NakNextPackets = 7;  // the fourth NAK makes the PC bid again
  ASSERT_TRUE(RunCommand("COPY,T.NC,XM(T)"));
  EXPECT_EQ(Failed, 0);
  EXPECT_EQ(Machine.Programs["T"], program);
  EXPECT_EQ(Machine.NaksSent, 7);

  Machine.NakAlways = true;
  Machine.NaksSent = 0;
  ASSERT_TRUE(RunCommand("COPY,T.NC,XM(T2)"));
  EXPECT_EQ(Machine.NaksSent, 12);
  EXPECT_TRUE(Logged("DNC ERROR : No Response!"));
  EXPECT_EQ(Log.back(), "DNC 1.3 Reset") ;
  EXPECT_GE(Failed, 1);
  EXPECT_EQ(Machine.Programs.count("T2"), 0u);
  EXPECT_EQ(Link.State(), 0);

  // A machine that falls silent after the fourth NAK, when the PC bids
  // again, does not leave the link waiting for ever.
  Machine.NakAlways = false;
  Machine.NaksSent = 0;
  Machine.NakNextPackets = 4;
  Machine.FallSilentAfterNaks = 4;
  Log.clear();
  const uint64_t start = HeadlessElapsed();
  ASSERT_TRUE(RunCommand("COPY,T.NC,XM(T3)"));
  EXPECT_LE(HeadlessElapsed() - start, 20000u);
  EXPECT_EQ(Log.back(), "DNC 1.3 Reset");
  EXPECT_EQ(Machine.Programs.count("T3"), 0u);
}

TEST_F(TDncLinkTest, ASilentMachineTimesOutAndABusyOneIsWaitedFor) {
  WriteFileBytes(Download / "A.NC", "X1\r\n");
  Link.SetEnabled(true);
  Machine.AnswerCan = true;
  ASSERT_TRUE(RunCommand("COPY,A.NC,XM(A)"));
  EXPECT_EQ(Machine.CansSent, 1);
  EXPECT_EQ(Machine.Programs["A"], std::vector<std::string>{"X1"});

  Machine.Silent = true;
  const uint64_t start = HeadlessElapsed();
  ASSERT_TRUE(RunCommand("COPY,A.NC,XM(B)"));
  const uint64_t took = HeadlessElapsed() - start;
  EXPECT_GE(took, 30000u);  // six ENQs, five seconds apart
  EXPECT_LE(took, 32000u);
  EXPECT_TRUE(Logged("DNC ERROR : No Response from Remote!"));
  EXPECT_EQ(Log.back(), "DNC 1.3 Reset");

  // A fetch whose machine goes quiet after agreeing leaves nothing behind.
  Machine.Silent = false;
  Machine.Programs["C"] = {"X1"};
  Link.ExecuteUserCommand("COPY,XM(C)," + (Upload / "c.nc").string());
  ASSERT_TRUE(RunUntil([&] { return Logged("PC Ready to receive <" + (Upload / "c.nc").string() + ">"); }));
  RunUntil([&] { return !Machine.Received.empty(); });
  Machine.Silent = true;
  ASSERT_TRUE(RunUntil([&] { return !Link.DNCCommandProcessing(); }));
  EXPECT_TRUE(FilesIn(Upload).empty());
}

TEST_F(TDncLinkTest, WaitsHoldAcrossTheTickCountsWrap) {
  // Bring the 32-bit tick count to a few seconds before it wraps.
  HeadlessAdvanceTime(uint32_t(0xFFFFFFFFu - GetTickCount() - 3000));
  WriteFileBytes(Download / "W.NC", CrLf(MakeProgram(3000)));
  Link.SetEnabled(true);
  Machine.Silent = true;
  const uint64_t start = HeadlessElapsed();
  ASSERT_TRUE(RunCommand("COPY,W.NC,XM(W)"));
  EXPECT_LE(HeadlessElapsed() - start, 32000u);
  EXPECT_TRUE(Logged("DNC ERROR : No Response from Remote!"));
  Machine.Silent = false;
  ASSERT_TRUE(RunCommand("COPY,W.NC,XM(W)"));
  EXPECT_EQ(Machine.Programs["W"].size(), MakeProgram(3000).size()) << ::testing::PrintToString(Log);
}

TEST_F(TDncLinkTest, ARewindRequestSendsTheProgramAgainFromItsStart) {
  std::vector<std::string> program = {"%", "T1", "X1Y1", "X2Y2", "M25", "X3Y3", "X4Y4", "M30"};
  WriteFileBytes(Download / "R.NC", CrLf(program));
  Link.SetEnabled(true);
  Machine.RewindAfter = "X3Y3";
  ASSERT_TRUE(RunCommand("COPY,R.NC,XM(R)"));
  EXPECT_EQ(Machine.RewindsAsked, 1) << ::testing::PrintToString(Log) << ::testing::PrintToString(Machine.Received);
  EXPECT_TRUE(Logged("DNC Send <" + (Download / "R.NC").string() + "> rewinding to block 4"));
  // The machine dropped what it had and took the program again from M25.
  EXPECT_EQ(Machine.Programs["R"], (std::vector<std::string>{"M25", "X3Y3", "X4Y4", "M30"}));
  // "M30" and "%" travel alone in their packets.
  EXPECT_NE(std::find(Machine.Received.begin(), Machine.Received.end(), "D,M30\r"), Machine.Received.end());
}

TEST_F(TDncLinkTest, ANoisyLineEndsInAnExactFileOrACleanFailure) {
  const std::vector<std::string> program = MakeProgram(2000);
  WriteFileBytes(Download / "N.NC", CrLf(program));
  Link.SetEnabled(true);
  int exact = 0, failed = 0;
  for (uint32_t seed = 1; seed <= 10; ++seed) {
    SCOPED_TRACE(seed);
    Machine.Random.seed(seed);
    Machine.Noise = TLineNoise{0.0003, 0.0003, 0.001};
    const std::string name = "N" + std::to_string(seed);
    const int failedBefore = Failed;
    ASSERT_TRUE(RunCommand("COPY,N.NC,XM(" + name + ")"));
    if (Failed == failedBefore && Machine.Programs.count(name)) {
      EXPECT_EQ(Machine.Programs[name], program);
      ++exact;
    } else {
      ++failed;
    }
    // The noise stops for the way back so that the machine's copy can be
    // compared; then a noisy fetch.
    const fs::path back = Upload / (name + ".nc");
    if (Machine.Programs.count(name) == 0) Machine.Programs[name] = program;
    const int failedFetch = Failed;
    ASSERT_TRUE(RunCommand("COPY,XM(" + name + ")," + back.string()));
    if (Failed == failedFetch && fs::exists(back)) {
      EXPECT_EQ(ReadFileBytes(back), CrLf(Machine.Programs[name]));
      ++exact;
    } else {
      EXPECT_FALSE(fs::exists(back));
      ++failed;
    }
    Machine.Noise = TLineNoise{};
    RunFor(20000);  // both ends settle
  }
  // Only finished files, no temporary ones, are left in the upload folder.
  for (const std::string& file : FilesIn(Upload)) EXPECT_EQ(file.substr(file.size() - 3), ".nc");
  EXPECT_GT(exact, 0);
  EXPECT_GT(Machine.NaksSent, 0);
  RecordProperty("exact", exact);
  RecordProperty("failed", failed);
}

TEST_F(TDncLinkTest, AVanishingPortEndsTheTransferCleanly) {
  Machine.Programs["BIG"] = MakeProgram(40000);
  Link.SetEnabled(true);
  Link.ExecuteUserCommand("COPY,XM(BIG)," + (Upload / "big.nc").string());
  ASSERT_TRUE(RunUntil([&] { return Log.size() >= 6; }));  // a few blocks are in
  Machine.HangUp();
  ASSERT_TRUE(RunUntil([&] { return !Link.Enabled(); }, 60000));
  EXPECT_FALSE(Link.DNCCommandProcessing());
  EXPECT_EQ(Log.back().rfind("DNC Port error : ", 0), 0u) << Log.back();
  EXPECT_GE(Failed, 1);
  EXPECT_TRUE(FilesIn(Upload).empty());
}

TEST_F(TDncLinkTest, EnablingChecksFoldersRateAndPortAndPortSettingsWaitForAClosedLink) {
  TDNC13Link link;
  link.UploadDir = (TempDir / "missing").string();
  link.DownloadDir = Download.string();
  link.SetComPortBaud(9600);
  link.SetComPortName(Machine.Path);
  auto enableError = [&] {
    try {
      link.SetEnabled(true);
    } catch (const EDncPortError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(enableError(), "Bad upload path <" + (TempDir / "missing").string() + ">.");
  link.UploadDir = Upload.string();
  link.DownloadDir = (TempDir / "missing").string();
  EXPECT_EQ(enableError(), "Bad download path <" + (TempDir / "missing").string() + ">.");
  link.DownloadDir = "";
  link.SetComPortBaud(14400);
  EXPECT_EQ(enableError(), "Illegal baud rate <14400>.");
  link.SetComPortBaud(38400);
  link.SetComPortName("");
  EXPECT_EQ(enableError(), "Illegal com port <>.");
  link.SetComPortName((TempDir / "no-such-tty").string());
  EXPECT_EQ(enableError(), "No such port or directory");
  EXPECT_FALSE(link.Enabled());
  EXPECT_EQ(link.DownloadDir, ".");

  link.SetComPortName(Machine.Path);
  link.SetEnabled(true);
  EXPECT_TRUE(link.Enabled());
  EXPECT_EQ(link.Message(), "DNC 1.3 Link Ready");
  link.SetComPortBaud(38400);  // the same value: nothing happens
  EXPECT_THROW(link.SetComPortBaud(9600), EDncPortError);
  EXPECT_THROW(link.SetComPortName("COM2"), EDncPortError);
  link.SetEnabled(false);
  link.SetComPortBaud(9600);
  EXPECT_EQ(link.ComPortBaud(), 9600);
}
