#include "model/root_entity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "korvex_test.h"
#include "platform/headless/headless_dialogs.h"

namespace {

// Redraws made by the handles, and the handles alive.
std::vector<int32_t> Redrawn;
int LiveHandles = 0;

// A handle whose list operations only note what they did.
class TTestHandle : public TRootEntityHandle {
 public:
  explicit TTestHandle(int32_t index) : TRootEntityHandle(index) { ++LiveHandles; }
  ~TTestHandle() override { --LiveHandles; }
  uint8_t GetKind() override { return 3; }
  void DrawListColour(TColor) override {}
  void DrawList() override {
    for (TRootEntityHandle* h = this; h != nullptr; h = h->Next) Redrawn.push_back(h->Index);
  }
  void EraseList() override {}
  void DeleteList() override {}
  void TransformList(const TMatrix3&, bool, bool&, uint8_t, bool) override {}
  TRootDBObject* GetEntity() override { return nullptr; }
};

// An entity with only the operations every type must have.
class TTestEntity : public TRootDBObject {
 public:
  uint8_t GetType() override { return etCadPoint; }
  void DrawColour(TColor) override {}
  void Erase() override {}
  void Draw(uint8_t) override {}
  void GetPoint(TIntPoint& p) override { p = Point; }
  void GetSecondPoint(TIntPoint& p) override { p = Point; }
  int32_t GetRadius() override { return 0; }
  void SetPoint(const TIntPoint& p) override { Point = p; }
  void SetSecondPoint(const TIntPoint& p) override { Point = p; }
  bool Transform(const TMatrix3&) override { return false; }
  void GetCentre(TIntPoint& p) override { p = Point; }
  TIntPoint Point{1, 2};
};

TRootEntityHandle* MakeList(const std::vector<int32_t>& indices) {
  TRootEntityHandle* head = nullptr;
  TRootEntityHandle* last = nullptr;
  for (int32_t i : indices) {
    auto* h = new TTestHandle(i);
    if (last == nullptr)
      head = h;
    else
      last->Next = h;
    last = h;
  }
  return head;
}

std::vector<int32_t> Indices(const TRootEntityHandle* list) {
  std::vector<int32_t> out;
  for (; list != nullptr; list = list->Next) out.push_back(list->GetIndex());
  return out;
}

void FreeList(TRootEntityHandle* list) {
  while (list != nullptr) {
    TRootEntityHandle* next = list->Next;
    delete list;
    list = next;
  }
}

class RootEntityTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessDialogs();
    Redrawn.clear();
    LiveHandles = 0;
  }
  void TearDown() override {
    ResetHeadlessDialogs();
    TKorvexTest::TearDown();
  }
  std::vector<std::string> BoxTexts() {
    std::vector<std::string> out;
    for (const auto& box : ShownMessageBoxes()) {
      EXPECT_EQ(box.Type, mtError);
      EXPECT_EQ(box.Buttons, TMsgDlgButtons(mbOK));
      out.push_back(box.Text);
    }
    return out;
  }
};

TEST_F(RootEntityTest, MergeListsIsTheSymmetricDifference) {
  struct TCase {
    std::vector<int32_t> A, B;
    std::vector<int32_t> Merged, Redrawn;
    bool CheckRedrawn = true;
  };
  const std::vector<TCase> cases = {
      // The deselected entity is redrawn alone, in its layer colour.
      {{3, 5}, {5, 7}, {3, 7}, {5}},
      // Every handle of A removed: nothing, or the rest of B.
      {{4}, {4}, {}, {}, false},
      {{4}, {4, 7}, {7}, {}, false},
      {{4, 6}, {6, 4, 8, 9}, {8, 9}, {6, 4}},
      // An index twice in B ends in neither list.
      {{1}, {2, 2, 3}, {1, 3}, {}, false},
  };
  for (const TCase& c : cases) {
    Redrawn.clear();
    TRootEntityHandle* merged = TRootEntityHandle::MergeLists(MakeList(c.A), MakeList(c.B));
    EXPECT_EQ(Indices(merged), c.Merged);
    if (c.CheckRedrawn) {
      EXPECT_EQ(Redrawn, c.Redrawn);
    }
    EXPECT_EQ(LiveHandles, static_cast<int>(c.Merged.size()));
    FreeList(merged);
    EXPECT_EQ(LiveHandles, 0);
  }
  // An empty list gives the other one back.
  TRootEntityHandle* b = MakeList({1, 2});
  EXPECT_EQ(TRootEntityHandle::MergeLists(nullptr, b), b);
  EXPECT_EQ(TRootEntityHandle::MergeLists(b, nullptr), b);
  EXPECT_EQ(Indices(b), (std::vector<int32_t>{1, 2}));
  FreeList(b);
  EXPECT_EQ(TRootEntityHandle::MergeLists(nullptr, nullptr), nullptr);
}

TEST_F(RootEntityTest, Contains) {
  TRootEntityHandle* list = MakeList({3, 9, 12});
  EXPECT_TRUE(TRootEntityHandle::Contains(list, 12));
  EXPECT_TRUE(TRootEntityHandle::Contains(list, 3));
  EXPECT_FALSE(TRootEntityHandle::Contains(list, 4));
  EXPECT_FALSE(TRootEntityHandle::Contains(nullptr, 3));
  EXPECT_EQ(list->Self(), list);
  FreeList(list);
}

TEST_F(RootEntityTest, MissingEntityOperationsShowTheirNames) {
  TTestEntity e;
  TIntPoint p{7, 8};
  e.Push();
  e.ComputeShadow();
  e.GetThirdPoint(p);
  e.SetThirdPoint({1, 1});
  EXPECT_EQ(e.GetStepObj(), nullptr);
  e.SetStepObj(nullptr);
  e.AppendStepObj(nullptr);
  EXPECT_EQ(p, (TIntPoint{7, 8}));
  EXPECT_EQ(e.Point, (TIntPoint{1, 2}));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                            "Push called on Root DB Object",
                            "ComputeShadow called on Root DB Object",
                            "GetThirdPoint called on Root DB Object",
                            "SetThirdPoint called on Root DB Object",
                            "GetStepObj called on Root DB Object",
                            "SetStepObj called on Root DB Object",
                            "AppendStepObj called on Root DB Object",
                        }));
}

TEST_F(RootEntityTest, MissingHandleOperationsShowTheirNames) {
  TTestHandle h(1);
  h.Step();
  h.CreateStep();
  h.EditStep();
  h.DeleteStep();
  h.CopyStepList(&h);
  h.CrossCopyStepList(5);
  h.ExpandStepsIntoDatabase();
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                            "Step called on Root Entity Handle",
                            "CreateStep called on Root Entity Handle",
                            "EditStep called on Root Entity Handle",
                            "DeleteStep called on Root Entity Handle",
                            "CopyStepList called on Root Entity Handle",
                            "CrossCopyStepList called on Root Entity Handle",
                            "ExpandStepsIntoDatabase called on Root Entity Handle",
                        }));
}

TEST_F(RootEntityTest, InRangeIsStrictOnBothSides) {
  struct TPt {
    double X, Y;
  };
  EXPECT_FALSE(TRootDBObject::InRange(1073741823.0, 0.0));
  EXPECT_FALSE(TRootDBObject::InRange(0.0, -1073741823.0));
  EXPECT_TRUE(TRootDBObject::InRange(1073741822.5, -1073741822.5));
  EXPECT_TRUE(TRootDBObject::InRange(TPt{-1073741822.5, 1073741822.5}));
  EXPECT_FALSE(TRootDBObject::InRange(TPt{0.0, 2e9}));
  // A point already past the extent may come in or move along it, never
  // farther out, nor past what a coordinate holds.
  EXPECT_TRUE(TRootDBObject::InRangeFrom(-2e9, 1e9, 2000000000, 0));
  EXPECT_FALSE(TRootDBObject::InRangeFrom(2e9 + 1, 0.0, 2000000000, 0));
  EXPECT_FALSE(TRootDBObject::InRangeFrom(2147483648.0, 0.0, INT32_MIN, 0));
}

TEST_F(RootEntityTest, TransformPointUsesRowVectors) {
  double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {10, -5, 1}};
  double x = 0, y = 0;
  TRootDBObject::TransformPoint(2, 3, m, x, y);
  EXPECT_DOUBLE_EQ(x, 12.0);
  EXPECT_DOUBLE_EQ(y, -2.0);
  // A quarter turn: x' = x m11 + y m21, y' = x m12 + y m22.
  double turn[3][3] = {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}};
  TRootDBObject::TransformPoint(2, 3, turn, x, y);
  EXPECT_DOUBLE_EQ(x, -3.0);
  EXPECT_DOUBLE_EQ(y, 2.0);
  // Large coordinates are not cut to 32 bits on the way.
  double twice[3][3] = {{2, 0, 0}, {0, 2, 0}, {0, 0, 1}};
  TRootDBObject::TransformPoint(2147483647, -2147483647 - 1, twice, x, y);
  EXPECT_DOUBLE_EQ(x, 4294967294.0);
  EXPECT_DOUBLE_EQ(y, -4294967296.0);
}

}  // namespace
