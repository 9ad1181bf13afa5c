// Set-up shared by the job file tests: the three databases with their
// journals and Seq, empty tool tables, a silent screen picture, and a text
// view of the whole job for comparisons.
#pragma once
#include <filesystem>
#include <string>

#include "korvex_test.h"
#include "model/step_repeat.h"
#include "recording_surface.h"

class TJobFileTest : public TKorvexTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Every live entity of the job (CAD and drill in store order, rout in cut
  // order of every layer, hidden or not), the tool tables, the origins and
  // the step chains, one line each.
  static std::string DumpJob();
  // A job with every entity type on several layers, steps nested three deep,
  // tools, rout commands, a hidden rout layer, Z offsets and origins.
  static void BuildRichJob();
  // Empties the databases and tool tables as a fresh program has them.
  static void ClearAll();

  // A file of the test folder, as the program names it.
  std::string FileIn(const std::string& name) const { return (TempDir / name).string(); }
  // The texts of the message boxes shown so far.
  static std::vector<std::string> Boxes();

  TRecordingSurface Surface;
};

// The step list {mark, step ...} of an object built from (dx, dy, count).
TStepObject* MakeSteps(std::initializer_list<TStepCommand> steps);
