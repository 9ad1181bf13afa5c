// The tape imports' fuzz entries reset between inputs only what an input
// changed (the layer stays selected, a fresh command is not restarted, an
// unchanged database is not cleared). An input after others must give what
// it gives on a fresh start: each input is run alone in a child process
// forked before this process ran any, and its outcome compared with the
// same input's in a run of several.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "command/command_interpreter.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "fuzz_entries.h"
#include "import/import_host.h"
#include "model/cad_database.h"
#include "model/drill_database.h"
#include "model/editor_state.h"
#include "model/rout_database.h"
#include "model/tool_tables.h"

namespace {

// An option prefix answering the format dialog (see fuzz_entries.h):
// metric, 3.3 digits, trailing zeros kept, axis version 1.
const std::string kMetric = std::string("\x01\x01\x33\x01\x00", 5);

const std::vector<std::string> kDrillTapes = {
    "M48\nINCH,LZ\nT1C0.0250\nT2C0.0400\n%\nT1\nX010000Y010000\nX020000Y010000\nT2\n"
    "X015000Y020000\nG85X030000Y020000\nQ7\nM30\n",
    "T3\nX1Y1\nX2Y2\nM30\n",
    kMetric + "M48\nMETRIC\nT5C1.0\n%\nT5\nX10000Y10000\nR3X1000\nM30\n",
    "",
};

const std::vector<std::string> kRoutTapes = {
    "M48\nINCH\nT1C0.125\n%\nT1\nG00X0Y0\nM15\nG01X010000Y0\nG02X020000Y010000I010000J0\n"
    "M16\nM30\n",
    kMetric + "T2\nG00X1000Y1000\nM15\nG01X5000Y1000\nM17\nM30\n",
    "G01X1Y\nM30\n",
};

// What an input made of the program, in a line per item.
std::string Outcome(const std::string& target, const std::string& input) {
  FindFuzzEntry(target)(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  std::string text;
  // A box may name the input file, which lies in this process's own home.
  const char* home = std::getenv("KORVEX_HOME");
  for (std::string m : LastFuzzMessages()) {
    for (std::size_t at; home != nullptr && *home != '\0' && (at = m.find(home)) != std::string::npos;)
      m.replace(at, std::char_traits<char>::length(home), "<home>");
    text += "box: " + m + "\n";
  }
  for (const auto& r : DetachedImportHost().Reports) text += "report: " + r.Caption + "\n" + r.Text + "\n";
  text += "work " + std::to_string(LastFuzzWork()) + "\n";
  text += "entities " + std::to_string(DrillEntityCount) + " " + std::to_string(RoutEntityCount) + " " +
          std::to_string(CadEntityCount) + "\n";
  text += "layer " + std::to_string(CurrentLayer) + " mode " + std::to_string(EditorMode) + " masks " +
          std::to_string(ActiveLayerMask) + " " + std::to_string(DisplayedLayerMask) + "\n";
  text += "command " + std::to_string(ECO != nullptr ? ECO->ActiveCommandNumber() : -1) + "\n";
  if (DRDB != nullptr) text += "tool " + std::to_string(DRDB->CurrentTool) + "\n";
  for (int t = 1; t <= 6; ++t) text += "T" + std::to_string(t) + " " + std::to_string(ToolTable[t].Diameter) + "\n";
  text += "drill format " + std::to_string(DrillInputFormat.Metric) + " " +
          std::to_string(DrillInputFormat.IntegerDigits) + " " + std::to_string(DrillInputFormat.DecimalDigits) +
          "\n";
  text += "rout format " + std::to_string(RoutInputFormat.Metric) + "\n";
  ReleaseFuzzInput();
  return text;
}

// The outcome of the input run first in a process of its own.
std::string FreshOutcome(const std::string& target, const std::string& input) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    const std::string text = Outcome(target, input);
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(pipeEnds[1], text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += std::size_t(n);
    }
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, std::size_t(n));
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return text;
}

TEST(FuzzEntries, AnInputAfterOthersGivesWhatItGivesOnAFreshStart) {
  const std::map<std::string, const std::vector<std::string>*> targets = {
      {"drill_import", &kDrillTapes}, {"cad_import", &kDrillTapes}, {"rout_import", &kRoutTapes}};
  // Every fresh run is forked before this process runs an input.
  std::map<std::pair<std::string, std::size_t>, std::string> fresh;
  for (const auto& [target, tapes] : targets)
    for (std::size_t i = 0; i < tapes->size(); ++i) fresh[{target, i}] = FreshOutcome(target, (*tapes)[i]);

  for (const auto& [target, tapes] : targets) {
    // Each input after every other one, itself included.
    for (int round = 0; round < 2; ++round)
      for (std::size_t i = 0; i < tapes->size(); ++i) {
        SCOPED_TRACE(target + " input " + std::to_string(i) + " round " + std::to_string(round));
        const std::string& expected = fresh[{target, i}];
        EXPECT_NE(expected.find("entities"), std::string::npos) << expected;
        EXPECT_EQ(Outcome(target, (*tapes)[i]), expected);
      }
  }
}

// The copies of a rout pattern are drawn and worked out with the job: they
// count as work, and a tape whose pattern gives more than the fuzzer's limit
// is cut (its import withdrawn) even when the pattern ends the tape.
TEST(FuzzEntries, RoutPatternCopiesCountAsWork) {
  const std::string tape =
      "M48\nINCH\nT1C0.125\n%\nT1\nM25\nG00X0Y0\nM15\nG01X010000Y0\nG01X010000Y010000\nM16\nM01\n"
      "M02X000010R9000\nM02Y000010R9000\nM08";
  const auto run = [&](int64_t limit) {
    SetFuzzWorkLimit(limit);
    FindFuzzEntry("rout_import")(reinterpret_cast<const uint8_t*>(tape.data()), tape.size());
    std::string outcome = "work " + std::to_string(LastFuzzWork());
    for (const std::string& m : LastFuzzMessages()) outcome += "\nbox: " + m;
    ReleaseFuzzInput();
    SetFuzzWorkLimit(0);
    return outcome;
  };
  // More than the limit of holes, 25 copies to a hole.
  const std::string whole = run(0);
  EXPECT_GT(std::stoll(whole.substr(5)), kFuzzWorkLimit) << whole;
  EXPECT_EQ(whole.find("box:"), std::string::npos) << whole;
  const std::string cut = run(kFuzzWorkLimit);
  EXPECT_NE(cut.find("was cancelled"), std::string::npos) << cut;
}

// The homes of fuzz processes that ended are removed by the next one; a
// running process's home, and anything not named as a home, stay.
TEST(FuzzHomes, OnlyTheHomesOfEndedProcessesAreRemoved) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("fuzz_homes_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  const std::string running = "korvex_fuzz_" + std::to_string(::getpid()) + "_abc123";
  const std::string ended = "korvex_fuzz_999999999_def456";  // above any pid
  for (const std::string& name : {running, ended, std::string("korvex_fuzz_old"), std::string("other")}) {
    fs::create_directories(folder / name / "home");
  }
  RemoveEndedFuzzHomes(folder.string());
  EXPECT_TRUE(fs::exists(folder / running));
  EXPECT_FALSE(fs::exists(folder / ended));
  EXPECT_TRUE(fs::exists(folder / "korvex_fuzz_old"));
  EXPECT_TRUE(fs::exists(folder / "other"));
  fs::remove_all(folder);
}

}  // namespace
