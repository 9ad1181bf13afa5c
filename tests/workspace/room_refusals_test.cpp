// Step & Repeat on a store without room for the clones it makes: the box
// names the store, what the command needs and the room, and nothing of the
// job changes, the undo step included.
#include <gtest/gtest.h>

#include "model/drill_database.h"
#include "model/drill_entities.h"
#include "model/entity_store.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/rout_handles.h"
#include "model/step_repeat.h"
#include "model/undo_journal.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t Inch = 25400000;

class TRoomRefusalsTest : public TWorkspaceDialogsTest {
 protected:
  // Drill or rout Create Step & Repeat of three copies in place over the
  // window (drill) or the path picked at a (rout).
  static void CreateSteps(TWorkspace& form, uint8_t mode, const TIntPoint& a, const TIntPoint& b = {}) {
    QueueModalScript("TEditStepDialog", [](TForm& f) {
      f.Get<TMemo>("Step1Memo").SetLines({"M01", "R3M02X0Y0", "M02", "M08"});
      f.Click("OKButton");
    });
    Run(form, mode, mode == emDrill ? "CreateStepRepeat2" : "CreateStepRepeat1");
    Click(a.X, a.Y);
    if (mode == emDrill) Click(b.X, b.Y);
    form.KeyDown(VK_ESCAPE);
  }
  static std::string LastUndo(TUndoJournal* journal) {
    std::string name;
    return journal->CanUndo(name) ? name : "";
  }
};

TEST_F(TRoomRefusalsTest, StepRepeatWithoutRoomForItsClonesChangesNothing) {
  TWorkspace& form = StartProgram();
  // Drill Delete Step & Repeat of four stepped holes with room for two.
  SelectLayer(30);
  for (int32_t k = 0; k < 4; ++k) DRDB->AddHole(Inch + k * Inch / 10, Inch, true);
  DrillUndo->BeginOperation("Holes");
  CreateSteps(form, emDrill, {Inch / 2, Inch / 2}, {2 * Inch, 2 * Inch});
  TDrillEntityBatch filler;
  while (filler.Count() < TDrillEntities::HighestIndex - DrillEntityCount - 2)
    filler.Append(NCLayerBit(30))->Entity = new TDrillHole({-10 * Inch, filler.Count()}, 1);
  DRDB->TakeEntities(filler);
  const int32_t live = LiveDrillEntities();
  auto stepped = [] {
    int32_t n = 0;
    for (int32_t i = 1; i <= DrillEntityCount; ++i)
      if (static_cast<int32_t>(DRDB->WordAt(i)) > 0 && DRDB->EntityAt(i)->GetStepObj() != nullptr) ++n;
    return n;
  };
  ASSERT_EQ(stepped(), 4);
  ResetHeadlessDialogs();
  Run(form, emDrill, "DeleteStepRepeat2");
  Click(Inch / 2, Inch / 2);
  Click(2 * Inch, 2 * Inch);
  form.KeyDown(VK_ESCAPE);
  EXPECT_EQ(LastBox(), "The drill database is full: it holds at most 1,000,000 entities.\r\n"
                       "Deleting the step patterns needs 4 more; there is room for 2.\r\nNothing was changed.");
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(stepped(), 4);
  EXPECT_EQ(LiveDrillEntities(), live);
  EXPECT_EQ(LastUndo(DrillUndo), "Create Step && Repea");

  // Rout Create Step & Repeat of a path on a full rout store.
  ResetHeadlessDialogs();
  SelectLayer(40);
  const int32_t start = RoutEntityCount + 1;
  RTDB->AddLineSegment({0, 0}, {Inch, 0}, false, NoZOffset, 0);
  ASSERT_TRUE(IsPathStartType(RTDB->EntityAt(start)->GetType()));
  while (RoutEntityCount < TRoutEntities::HighestIndex) ASSERT_NE(RTDB->AddHole({-9 * Inch, 0}, 44, 1), 0);
  RoutUndo->BeginOperation("Filled");
  CreateSteps(form, emRout, {Inch / 2, 0});
  EXPECT_EQ(LastBox(), "The rout database is full: it holds at most 100,000 entities.\r\n"
                       "Giving the paths the step pattern needs 1 more; there is room for 0.\r\nNothing was changed.");
  EXPECT_EQ(ShownMessageBoxes().size(), 1u);
  EXPECT_FALSE(SlotDeleted(RTDB->SlotAt(start)->Flags));
  EXPECT_EQ(RTDB->EntityAt(start)->GetStepObj(), nullptr);
  EXPECT_EQ(LastUndo(RoutUndo), "Filled");
}

}  // namespace
