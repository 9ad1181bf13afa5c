// Where the operator goes on drawing after a rout edit that adds or moves
// entities elsewhere in the cut order: the window edits and Do First,
// Before and Last. A line drawn next is the layer's last path, runs from
// the point clicked, and continues the path before it only where that path
// still ends there, as before the edit.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "command/button_manager.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "workspace_test_support.h"

namespace {

constexpr int32_t In = 25400000;

struct TKeptCase {
  const char* Name;
  const char* Item;                    // the rout menu item
  std::vector<TIntPoint> Clicks;       // in tenths of an inch
  std::vector<std::string> Typed;      // the values asked for after them
  bool Continues;  // a line from (2, 2), the end of the path last drawn, continues the layer's last path
};

// Layer 40 holds path A from (1, 1) to (2, 1) and then path B from (1, 2)
// to (2, 2); the windows below hold A (y 0.5 to 1.5) or B (y 1.5 to 2.5).
const TKeptCase Cases[] = {
    {"Do First on A", "DoFirst1", {{15, 10}}, {}, true},
    {"Do First on B", "DoFirst1", {{15, 20}}, {}, false},
    {"Do Last on A", "DoLast1", {{15, 10}}, {}, false},
    {"Do Last on B", "DoLast1", {{15, 20}}, {}, true},
    {"Do Before: B before A", "DoBefore1", {{15, 20}, {15, 10}}, {}, false},
    {"Do Before: A before B", "DoBefore1", {{15, 10}, {15, 20}}, {}, true},
    {"move of A", "Move1", {{5, 5}, {25, 15}, {0, 0}, {0, 5}}, {}, true},
    {"move of B", "Move1", {{5, 15}, {25, 25}, {0, 0}, {0, 5}}, {}, false},
    {"copy of A", "Copy1", {{5, 5}, {25, 15}, {0, 0}, {0, 5}}, {}, true},
    {"copy of B", "Copy1", {{5, 15}, {25, 25}, {0, 0}, {0, 5}}, {}, false},
    {"rotation of B", "Rotate1", {{5, 15}, {25, 25}, {10, 20}}, {"90"}, false},
    {"mirror of A", "Mirror1", {{5, 5}, {25, 15}, {0, 0}, {10, 0}}, {}, true},
    {"mirror of B", "Mirror1", {{5, 15}, {25, 25}, {0, 30}, {10, 30}}, {}, false},
    {"matrix copy of A", "MatrixCopy1", {{5, 5}, {25, 15}}, {"2", "1", "3", "0"}, true},
    {"radial copy of B", "RadialCopy1", {{5, 15}, {25, 25}, {0, 0}}, {"1", "45"}, false},
};

class TKeptInsertPointsTest : public TWorkspaceDialogsTest {
 protected:
  static void Line(const TIntPoint& a, const TIntPoint& b) {
    ButtonManager().Press(59);
    Click(a.X, a.Y);
    Click(b.X, b.Y);
    ECO->CancelCommand();
  }
  // The live entities of layer 40 in cut order.
  static std::vector<int32_t> Live() {
    std::vector<int32_t> out;
    for (int32_t p = 1; p <= Seq->Count(40); ++p) {
      const int32_t h = Seq->HandleAt(40, p);
      if (!SlotDeleted(RTDB->SlotAt(h)->Flags)) out.push_back(h);
    }
    return out;
  }
  static TIntPoint PointOf(int32_t h) {
    TIntPoint p;
    RTDB->EntityAt(h)->GetPoint(p);
    return p;
  }
};

TEST_F(TKeptInsertPointsTest, ALineDrawnAfterAnEditIsLastAndRunsFromItsFirstClick) {
  const TIntPoint from{2 * In, 2 * In}, to{3 * In, 3 * In};
  for (const TKeptCase& c : Cases) {
    SCOPED_TRACE(c.Name);
    TWorkspace& form = StartProgram();
    SelectLayer(40);
    Line({In, In}, {2 * In, In});
    Line({In, 2 * In}, {2 * In, 2 * In});
    const std::size_t before = Live().size();
    ASSERT_EQ(before, 4u);

    Run(form, emRout, c.Item);
    for (const TIntPoint& p : c.Clicks) Click(p.X * (In / 10), p.Y * (In / 10));
    for (const std::string& value : c.Typed) Type(form, value);
    ECO->CancelCommand();
    const std::vector<int32_t> edited = Live();
    ASSERT_FALSE(edited.empty());
    const bool lastEndsThere = PointOf(edited.back()) == from;
    ASSERT_EQ(lastEndsThere, c.Continues) << "the edit left the layer otherwise than the case says";

    Line(from, to);
    const std::vector<int32_t> drawn = Live();
    EXPECT_EQ(drawn.size(), edited.size() + (c.Continues ? 1 : 2)) << "entities added by the line";
    // The new line is the layer's last entity and runs from the first click.
    const int32_t line = drawn.back();
    EXPECT_EQ(PointOf(line), to);
    EXPECT_EQ(RTDB->EntityAt(line)->GetType(), etRoutLine);
    EXPECT_EQ(PointOf(drawn[drawn.size() - 2]), from);
    EXPECT_EQ(std::vector<int32_t>(drawn.begin(), drawn.begin() + edited.size()), edited);
    EXPECT_EQ(RTDB->PathEntityBefore(line), drawn[drawn.size() - 2]);
    DatabaseModified = false;
    CloseProgram();
  }
}

}  // namespace
