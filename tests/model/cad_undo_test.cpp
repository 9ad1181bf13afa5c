#include "model/cad_undo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command/command_services.h"
#include "foundation/geometry_matrix.h"
#include "foundation/settings.h"
#include "model/cad_database.h"
#include "model/view_services.h"
#include "platform/headless/headless_dialogs.h"
#include "recording_surface.h"

namespace {

class CadUndoTest : public TCadTest {
 protected:
  // Every live entity as "layer type fields", in slot order.
  static std::vector<std::string> Drawing() {
    std::vector<std::string> v;
    for (int32_t i = 1; i <= CadEntityCount; ++i) {
      TEntitySlot* slot = DB->SlotAt(i);
      if (SlotDeleted(slot->Flags)) continue;
      std::string s = std::to_string(LayerOfBit(slot->Flags)) + " ";
      TCadEntity* e = DB->EntityAt(i);
      if (auto* p = dynamic_cast<TCadPoint*>(e)) {
        s += "point " + std::to_string(p->X) + "," + std::to_string(p->Y);
      } else if (auto* l = dynamic_cast<TCadLine*>(e)) {
        s += "line " + std::to_string(l->X1) + "," + std::to_string(l->Y1) + " " +
             std::to_string(l->X2) + "," + std::to_string(l->Y2);
      } else if (auto* a = dynamic_cast<TCadArc*>(e)) {
        s += "arc " + std::to_string(a->SX) + "," + std::to_string(a->SY) + " " +
             std::to_string(a->EX) + "," + std::to_string(a->EY) + " " + std::to_string(a->CX) +
             "," + std::to_string(a->CY);
      } else if (auto* c = dynamic_cast<TCadCircle*>(e)) {
        s += "circle " + std::to_string(c->CX) + "," + std::to_string(c->CY) + " " +
             std::to_string(c->Radius);
      }
      v.push_back(s);
    }
    return v;
  }
  static TRootEntityHandle* All() {
    TRootEntityHandle* list = nullptr;
    DB->SelectInWindow({-2000000000, -2000000000}, {2000000000, 2000000000}, true, 0, list);
    return list;
  }
  static void Free(TRootEntityHandle* list) {
    while (list != nullptr) {
      TRootEntityHandle* next = list->Next;
      delete list;
      list = next;
    }
  }
  static TMatrix3 Move(double dx, double dy) {
    TMatrix3 m = IdentityMatrix;
    TranslateMatrix(m, dx, dy);
    return m;
  }
};

TEST_F(CadUndoTest, EditsUndoAndRedoToTheExactDrawing) {
  DB->AddPoint(1, 2);
  DB->AddLine(0, 0, 10000, 0);
  DB->AddArc({1000, 0}, {0, 1000}, {0, 0});
  CurrentLayer = 5;
  DB->AddCircle(50, 60, 700);
  CadUndo->BeginOperation("Add");
  const auto added = Drawing();

  // Move everything.
  TRootEntityHandle* list = All();
  bool failed = true;
  list->TransformList(Move(100, -200), false, failed, 0, false);
  EXPECT_FALSE(failed);
  Free(list);
  CadUndo->BeginOperation("Move");
  const auto moved = Drawing();
  // The selection runs from the highest index down, so the clones come in
  // reverse order.
  EXPECT_EQ(moved, (std::vector<std::string>{"5 circle 150,-140 700",
                                             "0 arc 1100,-200 100,800 100,-200",
                                             "0 line 100,-200 10100,-200", "0 point 101,-198"}));
  // Stretch the right end of the line.
  TRootEntityHandle *inside = nullptr, *crossing = nullptr;
  ASSERT_TRUE(DB->SelectInWindowForStretch({5000, -1000}, {20000, 1000}, 0, inside, crossing));
  EXPECT_EQ(inside, nullptr);
  static_cast<TCadStretchHandle*>(crossing)->Stretch(Move(0, 5000), failed, 0, false);
  EXPECT_FALSE(failed);
  Free(crossing);
  CadUndo->BeginOperation("Stretch");
  const auto stretched = Drawing();
  EXPECT_EQ(stretched[3], "0 line 100,-200 10100,4800");
  // Delete the point and the circle.
  list = All();
  TRootEntityHandle* keep = list;
  while (keep != nullptr && !(DB->EntityAt(keep->Index)->GetType() == etCadPoint)) keep = keep->Next;
  ASSERT_NE(keep, nullptr);
  TCadHandle single(keep->Index);
  single.DeleteList();
  Free(list);
  CadUndo->BeginOperation("Delete");
  const auto deleted = Drawing();
  EXPECT_EQ(deleted.size(), 3u);

  std::string name;
  ASSERT_TRUE(CadUndo->CanUndo(name));
  EXPECT_EQ(name, "Delete");
  CadUndo->Undo();
  EXPECT_EQ(Drawing(), stretched);
  CadUndo->Undo();
  EXPECT_EQ(Drawing(), moved);
  CadUndo->Undo();
  EXPECT_EQ(Drawing(), added);
  CadUndo->Undo();
  EXPECT_TRUE(Drawing().empty());
  EXPECT_FALSE(CadUndo->CanUndo(name));
  CadUndo->Redo();
  EXPECT_EQ(Drawing(), added);
  CadUndo->Redo();
  EXPECT_EQ(Drawing(), moved);
  CadUndo->Redo();
  EXPECT_EQ(Drawing(), stretched);
  CadUndo->Redo();
  EXPECT_EQ(Drawing(), deleted);
}

TEST_F(CadUndoTest, UndoOfAnAddErasesAndRedoDraws) {
  DB->AddLine(0, 0, 10000, 0);
  CadUndo->BeginOperation("Add Line");
  Surface.Clear();
  CadUndo->Undo();
  EXPECT_TRUE(SlotDeleted(DB->SlotAt(1)->Flags));
  EXPECT_EQ(Surface.Calls.front(), "SetColor(" + std::to_string(BackgroundColor) + ")");
  EXPECT_EQ(Surface.Count("DrawLine"), 1);
  Surface.Clear();
  CadUndo->Redo();
  EXPECT_FALSE(SlotDeleted(DB->SlotAt(1)->Flags));
  EXPECT_EQ(Surface.Count("DrawLine"), 1);
  EXPECT_EQ(Surface.Count("SetColor(" + std::to_string(LayerColors[0]) + ")"), 1);
}

TEST_F(CadUndoTest, RefusedMovesAndStretchesKeepTheirSources) {
  DB->AddLine(0, 0, 10000, 0);            // 1
  DB->AddLine(1073000000, 0, 1073000000, 10000);  // 2: would leave the extent
  CadUndo->BeginOperation("Add");
  TRootEntityHandle* list = All();
  bool failed = false;
  list->TransformList(Move(1000000, 0), false, failed, 0, false);
  Free(list);
  EXPECT_TRUE(failed);
  EXPECT_EQ(CadEntityCount, 3);  // one clone only
  EXPECT_TRUE(SlotDeleted(DB->SlotAt(1)->Flags));
  EXPECT_FALSE(SlotDeleted(DB->SlotAt(2)->Flags));  // refused: still there
  CadUndo->BeginOperation("Move");
  CadUndo->Undo();
  EXPECT_EQ(Drawing(), (std::vector<std::string>{"0 line 0,0 10000,0",
                                                 "0 line 1073000000,0 1073000000,10000"}));

  TRootEntityHandle *inside = nullptr, *crossing = nullptr;
  ASSERT_TRUE(DB->SelectInWindowForStretch({1072000000, -1}, {1073500000, 1}, 0, inside, crossing));
  static_cast<TCadStretchHandle*>(crossing)->Stretch(Move(1000000, 0), failed, 0, false);
  Free(inside);
  Free(crossing);
  EXPECT_TRUE(failed);
  EXPECT_EQ(Drawing(), (std::vector<std::string>{"0 line 0,0 10000,0",
                                                 "0 line 1073000000,0 1073000000,10000"}));
}

TEST_F(CadUndoTest, CopiesKeepTheSourcesAndCanChangeLayer) {
  DB->AddLine(0, 0, 10000, 0);
  TRootEntityHandle* list = All();
  bool failed = true;
  Surface.Clear();
  list->TransformList(Move(0, 1000), true, failed, 9, true);
  Free(list);
  EXPECT_FALSE(failed);
  EXPECT_EQ(Drawing(), (std::vector<std::string>{"0 line 0,0 10000,0", "9 line 0,1000 10000,1000"}));
  // The copy, then the source redrawn without its highlight.
  EXPECT_EQ(Surface.Count("DrawLine"), 2);
}

TEST_F(CadUndoTest, DeleteListSparesInactiveLayers) {
  DB->AddPoint(0, 0);
  CurrentLayer = 3;
  DB->AddPoint(5, 5);
  ActiveLayerMask = 0x80000000u | 1u;
  TRootEntityHandle* list = nullptr;
  list = new TCadHandle(2);
  list->Next = new TCadHandle(1);
  Surface.Clear();
  list->DeleteList();
  Free(list);
  EXPECT_EQ(Drawing(), (std::vector<std::string>{"3 point 5,5"}));
  // The spared entity is drawn again in its layer colour.
  EXPECT_EQ(Surface.Calls.front(), "DrawPlusMark(5,5)");
  EXPECT_EQ(Surface.Recorder.Calls.front().Pen.Color, LayerColors[3]);
}

TEST_F(CadUndoTest, DrawingWalksCopyThePictureEveryThousandEntities) {
  DrawSurface = nullptr;
  for (int i = 0; i < 2500; ++i) DB->AddPoint(i, 0);
  TRootEntityHandle* list = All();
  HeadlessViewServices().CopyCount = 0;
  list->DrawListColour(HighlightColor);
  EXPECT_EQ(HeadlessViewServices().CopyCount, 2);
  EXPECT_EQ(HeadlessViewServices().Cursor, crDefault);
  // A walk stops at an index the store no longer holds.
  TCadHandle stale(99999);
  stale.DrawList();
  Free(list);
}

TEST_F(CadUndoTest, CompactAndClearResetTheJournal) {
  DB->AddPoint(1, 1);
  DB->AddPoint(2, 2);
  DB->AddPoint(3, 3);
  DB->MarkDeleted(2);
  CadUndo->RecordDelete(2);
  CadUndo->BeginOperation("Delete");
  DB->Compact();
  EXPECT_EQ(CadEntityCount, 2);
  EXPECT_EQ(Drawing(), (std::vector<std::string>{"0 point 1,1", "0 point 3,3"}));
  std::string name;
  EXPECT_FALSE(CadUndo->CanUndo(name));
  EXPECT_EQ(CadUndo->RecordCount(), 0);
  EXPECT_EQ(HeadlessViewServices().PleaseWaitTexts,
            (std::vector<std::string>{"Compacting database.  Please wait..."}));
  EXPECT_FALSE(HeadlessViewServices().PleaseWaitShown);
  CadUndo->Undo();  // nothing stale to replay
  EXPECT_EQ(CadEntityCount, 2);

  DB->AddPoint(4, 4);
  CadUndo->BeginOperation("Add");
  DB->Clear();
  EXPECT_EQ(CadEntityCount, 0);
  EXPECT_FALSE(CadUndo->CanUndo(name));
}

}  // namespace
