// Drawing on after Add Tab: the next path drawn goes where it would have
// gone without the tab, and the rout tape cuts the tabbed board whole and the
// new path alone. The hint of a step command on a tabbed piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "command/button_manager.h"
#include "foundation/file_utils.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/undo_journal.h"
#include "platform/message_box.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;
constexpr int32_t Mil = In / 1000;

struct TMenus : TWorkspaceTest {
  using TWorkspaceTest::Run;
};

// The layer's live entities in cut order: kind and point in thousandths.
std::vector<std::string> Layer(uint8_t layer) {
  std::vector<std::string> out;
  for (int32_t p = 1; p <= Seq->Count(layer); ++p) {
    const int32_t h = Seq->HandleAt(layer, p);
    TRoutEntity* e = RTDB->EntityAt(h);
    if (e == nullptr || SlotDeleted(RTDB->SlotAt(h)->Flags)) continue;
    const char kind = e->GetType() == etRoutJog ? 'J' : e->GetType() == etRoutHole ? 'H' : 'L';
    out.push_back(kind + std::string(" ") + std::to_string(std::lround(double(e->X) / Mil)) + "," +
                  std::to_string(std::lround(double(e->Y) / Mil)));
  }
  return out;
}

// The layer's paths, each the points it cuts through in thousandths; holes
// are left out.
using TPoint = std::pair<int, int>;
std::vector<std::vector<TPoint>> Paths(uint8_t layer) {
  std::vector<std::vector<TPoint>> paths;
  for (const std::string& s : Layer(layer)) {
    if (s[0] == 'H') continue;
    if (s[0] == 'J' || paths.empty()) paths.emplace_back();
    paths.back().push_back({std::stoi(s.substr(2)), std::stoi(s.substr(s.find(',') + 1))});
  }
  return paths;
}

TEST_F(TWorkspaceDialogsTest, APathDrawnAfterATabGoesWhereItWouldHaveGone) {
  TWorkspace& form = StartProgram();
  const int32_t d = std::lround(In * std::sqrt(0.5));
  struct TCase {
    const char* Name;
    bool OnArc, Simple;
    int Undos, Redos;
  };
  const TCase cases[] = {
      {"line, simple", false, true, 0, 0},    {"line, complex", false, false, 0, 0},
      {"arc, simple", true, true, 0, 0},      {"arc, complex", true, false, 0, 0},
      {"undone", false, true, 1, 0},          {"undone and redone", true, false, 1, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    RTDB->DeleteLayer(40);
    SelectLayer(40);
    RTDB->AutoTab.TabType = c.Simple;
    // A board 2 in square routed from its corner; the top side an arc
    // bulging up to y = 3 in.
    ButtonManager().Press(59);
    Click(0, 0);
    Click(2 * In, 0);
    ECO->CancelCommand();
    RTDB->AppendLine({2 * In, 2 * In}, 0, NoZOffset);
    if (c.OnArc)
      RTDB->AppendArc({0, 2 * In}, {In, 2 * In}, 0, NoZOffset, false);
    else
      RTDB->AppendLine({0, 2 * In}, 0, NoZOffset);
    RTDB->AppendLine({0, 0}, 0, NoZOffset);
    RoutUndo->BeginOperation("Line");
    const std::vector<std::string> board = Layer(40);
    const TIntPoint tab = c.OnArc ? TIntPoint{In + d, 2 * In + d} : TIntPoint{In, 2 * In};
    TMenus::Run(form, emRout, "Tab1");
    Click(tab.X, tab.Y);
    Click(tab.X, tab.Y);
    ECO->CancelCommand();
    ASSERT_GT(Layer(40).size(), board.size() + 2) << LastBox();
    for (int k = 0; k < c.Undos; ++k) ButtonManager().Press(UndoCommand);
    for (int k = 0; k < c.Redos; ++k) ButtonManager().Press(RedoCommand);
    std::vector<std::string> drawn = Layer(40);
    if (c.Undos > c.Redos) {
      ASSERT_EQ(drawn, board);
    }

    ButtonManager().Press(59);
    Click(5 * In, 0);
    Click(6 * In, 0);
    ECO->CancelCommand();
    drawn.insert(drawn.end(), {"J 5000,0", "L 6000,0"});
    EXPECT_EQ(Layer(40), drawn);

    const std::string tape = NativePath(ExecutionPath() + "ROUT\\TAB" + std::to_string(&c - cases) + ".RT");
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TRoutOutputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    TMenus::Run(form, emRout, "MakeRoutTape1");
    SelectLayer(41);
    ScriptFileDialogAnswer(tape);
    QueueModalScript("TRoutInputFormatDialog", [](TForm& f) { f.Click("OKButton"); });
    TMenus::Run(form, emRout, "OpenRoutTape1");
    std::vector<std::vector<TPoint>> cut = Paths(41);
    ASSERT_GE(cut.size(), 2u) << ReadFileBytes(tape);
    EXPECT_EQ(cut.back(), (std::vector<TPoint>{{5000, 0}, {6000, 0}})) << ReadFileBytes(tape);
    cut.pop_back();
    // The board's pieces, one after another, from its corner round to it.
    EXPECT_EQ(cut.front().front(), TPoint(0, 0));
    EXPECT_EQ(cut.back().back(), TPoint(0, 0));
    std::vector<TPoint> around;
    for (const std::vector<TPoint>& piece : cut) around.insert(around.end(), piece.begin(), piece.end());
    for (const TPoint& corner : {TPoint{2000, 0}, TPoint{2000, 2000}, TPoint{0, 2000}})
      EXPECT_NE(std::find(around.begin(), around.end(), corner), around.end()) << corner.first << "," << corner.second;
    EXPECT_EQ(cut.size(), size_t(std::count_if(drawn.begin(), drawn.end(), [](const std::string& s) {
                return s[0] == 'J';
              })) - 1);
    RTDB->DeleteLayer(41);
  }
}

// The hint strip shows a step command's title as the menus write it, and
// Edit Step List on a tabbed piece says it changed every piece's pattern.
TEST_F(TWorkspaceDialogsTest, StepHintsOnATabbedPieceReadAsTheCommandIsNamed) {
  TWorkspace& form = StartProgram();
  SelectLayer(40);
  RTDB->AutoStepRepeat = {2, 3 * In, 1, In, false, true, false};
  ButtonManager().Press(59);
  Click(0, 0);
  Click(2 * In, 0);
  ECO->CancelCommand();
  for (const TIntPoint p : {TIntPoint{2 * In, 2 * In}, TIntPoint{0, 2 * In}, TIntPoint{0, 0}})
    RTDB->AppendLine(p, 0, NoZOffset);
  RoutUndo->BeginOperation("Line");
  TMenus::Run(form, emRout, "Tab1");
  Click(In, 0);
  Click(In, 0);
  ECO->CancelCommand();
  struct TCase {
    const char* Item;
    const char* Steps;  // the step list typed, "" for Auto Step & Repeat
    const char* Hint;   // as the strip shows it
  };
  const TCase cases[] = {
      {"CreateStepRepeat1", "M02X0Y03", "Rout Step & Repeat took 2 paths and 3 holes"},
      {"EditStepList1", "M02X0Y04", "Step & Repeat Edit took 2 paths and 3 holes"},
      {"AutoStepRepeat1", "", "Step & Repeat took 2 paths and 3 holes"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Item);
    SetApplicationHint("");
    const std::string steps = c.Steps;
    if (steps.empty())
      QueueModalScript("TStepRepeatDialog", [](TForm& f) { f.Click("OKButton"); });
    else
      QueueModalScript("TEditStepDialog", [steps](TForm& f) {
        f.Get<TMemo>("Step1Memo").SetLines({"M01", steps, "M02", "M08"});
        f.Click("OKButton");
      });
    TMenus::Run(form, emRout, c.Item);
    Click(In / 2, 0);
    ECO->CancelCommand();
    EXPECT_NE(MessageDisplayText(form.HintPanel.Caption()).find(c.Hint), std::string::npos)
        << form.HintPanel.Caption();
  }
}

}  // namespace
