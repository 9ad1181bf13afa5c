// The texts of the Modify commands and the snaps given as a line's first
// point, in the started program: Break takes the text of the entity it
// picks (the error log's last command shows it), and a tangent that cannot
// be built says why in one box while its first point waits.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "command/argument_command.h"
#include "command/button_manager.h"
#include "command/command_text.h"
#include "foundation/display_units.h"
#include "model/cad_database.h"
#include "model/cad_entities.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "platform/headless/headless_dialogs.h"
#include "workspace/error_log.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;
using V = std::vector<std::string>;

class TCommandTextsTest : public TWorkspaceDialogsTest {
 protected:
  static V Boxes() {
    V texts;
    for (const auto& box : ShownMessageBoxes()) texts.push_back(box.Text);
    return texts;
  }
  static TCadLine* NewestLine() {
    for (int32_t i = CadEntityCount; i >= 1; --i)
      if (TEntitySlot* slot = DB->SlotAt(i); slot != nullptr && !SlotDeleted(slot->Flags))
        if (auto* line = dynamic_cast<TCadLine*>(DB->EntityAt(i))) return line;
    return nullptr;
  }
};

TEST_F(TCommandTextsTest, BreakBuildsTheTextOfTheEntityItPicks) {
  TWorkspace& form = StartProgram();
  const int32_t line = DB->AddLine(0, 0, 4 * In, 0);
  const int32_t arc = DB->AddArc({10 * In, 0}, {8 * In, 0}, {9 * In, 0});
  const int32_t circle = DB->AddCircle(20 * In, 0, In);
  DB->AddPoint(30 * In, 0);

  Run(form, emCad, "Break1");
  EXPECT_EQ(ECO->QueuedCommands(), V{"BREAK(PICK)"});
  Click(2 * In, 0);
  // The line: its reference, its equation (the X axis) and its ends.
  const V queued = ECO->QueuedCommands();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(CommandWord(queued[0]), "BREAKLI");
  EXPECT_EQ(GetCommandEntityRef(queued[0], 1), line);
  double a = 1.0, b = 0.0, c = 1.0;
  ASSERT_TRUE(GetCommandReal(queued[0], 2, a) && GetCommandReal(queued[0], 3, b) &&
              GetCommandReal(queued[0], 4, c));
  EXPECT_EQ(a, 0.0);
  EXPECT_NE(b, 0.0);
  EXPECT_EQ(c, 0.0);
  const std::string head = queued[0].substr(0, queued[0].find(",0,0,101600000,0,"));
  EXPECT_EQ(queued[0], head + ",0,0,101600000,0,CLICK,CLICK)");
  EXPECT_EQ(UserPanel->PromptLine(3), "Select first break point > ");
  // The right button goes back to the pick.
  Click(0, 0, mbtRight);
  EXPECT_EQ(ECO->QueuedCommands(), V{"BREAK(PICK)"});
  EXPECT_EQ(UserPanel->PromptLine(3), "Pick entity to break > ");
  Click(2 * In, 0);
  Click(In, 0);
  Click(3 * In, 0);
  EXPECT_EQ(CurrentCommandText(), head + ",0,0,101600000,0,25400000,0,76200000,0)");
  EXPECT_EQ(NewestLine()->X1, 3 * In);

  // The arc: ends, centre and radius; the circle: centre and radius.
  Click(9 * In, In);
  EXPECT_EQ(ECO->QueuedCommands(),
            V{"BREAKA2(" + EntityRefText(arc) + ",254000000,0,203200000,0,228600000,0,25400000.0,CLICK,CLICK)"});
  Click(0, 0, mbtRight);
  Click(21 * In, 0);
  EXPECT_EQ(ECO->QueuedCommands(),
            V{"BREAKC2(" + EntityRefText(circle) + ",508000000,0,25400000,CLICK,CLICK)"});
  Click(20 * In, In);
  Click(19 * In, 0);
  EXPECT_EQ(CurrentCommandText(),
            "BREAKC2(" + EntityRefText(circle) + ",508000000,0,25400000,508000000,25400000,482600000,0)");
  // A point does not break: the pick beeps and Break waits for another.
  const size_t beeps = Beeps().size();
  Click(30 * In, 0);
  EXPECT_EQ(Beeps().size(), beeps + 1);
  EXPECT_EQ(ECO->QueuedCommands(), V{"BREAK(PICK)"});
}

TEST_F(TCommandTextsTest, ATangentThatCannotBeBuiltSaysWhyOnce) {
  TWorkspace& form = StartProgram();
  DB->AddCircle(0, 0, In);
  DB->AddCircle(0, 0, 2 * In);  // the same centre
  DB->AddLine(-4 * In, -3 * In, 4 * In, -3 * In);
  Run(form, emCad, "Line1");
  // Picked up to the right: the touching point on that side.
  const int32_t diagonal = SaturatingRound(In * std::sqrt(0.5));
  ButtonManager().Press(110);
  Click(diagonal, diagonal);
  // A second tangent to a circle of the same centre: one box, and the first
  // point still waits for the next.
  ButtonManager().Press(110);
  Click(0, 2 * In);
  EXPECT_EQ(Boxes(), V{"No line touches both circles."});
  ASSERT_EQ(ECO->QueuedCommands().size(), 1u);
  EXPECT_EQ(ECO->QueuedCommands()[0].substr(0, 14), "ADDLINE(TNCIR[");
  // A tangent to a line: one box again.
  ButtonManager().Press(110);
  Click(0, -3 * In);
  EXPECT_EQ(Boxes(), (V{"No line touches both circles.", "Tangent needs an arc or a circle."}));
  // A perpendicular to the line: the line that touches the circle at right
  // angles to it, from the circle to its foot.
  ButtonManager().Press(108);
  Click(2 * In, -3 * In);
  EXPECT_EQ(Boxes().size(), 2u);
  TCadLine* t = NewestLine();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ((V{std::to_string(t->X1), std::to_string(t->Y1), std::to_string(t->X2), std::to_string(t->Y2)}),
            (V{std::to_string(In), "0", std::to_string(In), std::to_string(-3 * In)}));
  // A perpendicular first and the tangent after: the same line from the
  // other end.
  Run(form, emCad, "Line1");
  ButtonManager().Press(108);
  Click(-2 * In, -3 * In);
  ButtonManager().Press(110);
  Click(-In, 0);
  t = NewestLine();
  EXPECT_EQ((V{std::to_string(t->X1), std::to_string(t->Y1), std::to_string(t->X2), std::to_string(t->Y2)}),
            (V{std::to_string(-In), std::to_string(-3 * In), std::to_string(-In), "0"}));
  EXPECT_EQ(Boxes().size(), 2u);
}

// Snap Closest Endpoint typed in rout mode takes the end of the rout entity
// it picks, not of a CAD entity that happens to share its number.
TEST_F(TCommandTextsTest, TheClosestEndpointSnapTakesTheEndInTheModesDatabase) {
  StartProgram();
  DB->AddLine(5 * In, 5 * In, 6 * In, 5 * In);
  SelectLayer(40);
  ButtonManager().Press(59);
  Click(0, 0);
  Click(In, 0);
  ECO->CancelCommand();
  const int32_t before = RoutEntityCount;
  ButtonManager().Press(59);
  ASSERT_TRUE(ECO->EnterText("SC"));
  Click(In - In / 100, 0);
  EXPECT_EQ(ECO->QueuedCommands(), V{"ADDLINE(25400000,0,CLICK)"});
  Click(2 * In, In);
  ECO->CancelCommand();
  // The new line goes on from the picked end.
  ASSERT_EQ(RoutEntityCount, before + 1);
  TIntPoint end;
  RTDB->EntityAt(RoutEntityCount)->GetPoint(end);
  EXPECT_EQ(end, (TIntPoint{2 * In, In}));
}

}  // namespace
