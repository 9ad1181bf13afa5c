// The editor's timer pool on the virtual clock, the caret shapes and their
// placement in the character cell, and the blinking caret of the control.
#include <gtest/gtest.h>

#include "editor/caret.h"
#include "editor/text_editor.h"
#include "editor/timer_pool.h"
#include "platform/forms.h"
#include "platform/headless/headless_events.h"
#include "canvas_test_helpers.h"
#include "korvex_test.h"

namespace {

class TimerPoolTest : public TKorvexTest {};

TEST_F(TimerPoolTest, OneTimerAtACommonBaseServesEveryTrigger) {
  TQedTimerPool pool;
  EXPECT_EQ(pool.BaseInterval(), 0u);  // nothing to do: the timer is off
  std::vector<std::pair<int, uint32_t>> fired;
  int all = 0;
  pool.OnAllTriggers = [&](int, uint32_t, uint32_t) { ++all; };
  const int a = pool.Add(500, [&](int h, uint32_t elapsed, uint32_t) { fired.emplace_back(h, elapsed); });
  EXPECT_EQ(pool.BaseInterval(), 500u);
  const int b = pool.Add(300, [&](int h, uint32_t elapsed, uint32_t) { fired.emplace_back(h, elapsed); });
  EXPECT_EQ(pool.BaseInterval(), 100u);
  HeadlessAdvanceTime(1500);
  // 500 ms three times, 300 ms five times, each at its own multiple.
  std::vector<std::pair<int, uint32_t>> want{{b, 300}, {a, 500}, {b, 600}, {b, 900}, {a, 1000}, {b, 1200}, {a, 1500}, {b, 1500}};
  EXPECT_EQ(fired, want);
  EXPECT_EQ(all, 8);
  // A switched-off trigger neither fires nor sets the base.
  pool.SetActive(b, false);
  EXPECT_EQ(pool.ActiveCount(), 1);
  EXPECT_EQ(pool.BaseInterval(), 500u);
  fired.clear();
  HeadlessAdvanceTime(1000);
  EXPECT_EQ(fired.size(), 2u);
  pool.Remove(a);
  EXPECT_EQ(pool.BaseInterval(), 0u);
  // A lone short trigger runs at the minimum; a single-shot one goes after
  // it fired.
  int shots = 0;
  const int c = pool.Add(40, [&](int, uint32_t, uint32_t) { ++shots; }, false);
  EXPECT_EQ(pool.BaseInterval(), 55u);
  HeadlessAdvanceTime(500);
  EXPECT_EQ(shots, 1);
  EXPECT_FALSE(pool.Active(c));
  EXPECT_EQ(pool.BaseInterval(), 0u);
  // A handler may remove its own trigger and others.
  int d = 0, e = 0;
  d = pool.Add(100, [&](int, uint32_t, uint32_t) {
    pool.Remove(d);
    pool.Remove(e);
  });
  e = pool.Add(100, [&](int, uint32_t, uint32_t) { ADD_FAILURE() << "removed before it was due"; });
  HeadlessAdvanceTime(300);
  EXPECT_EQ(pool.ActiveCount(), 0);
}

TEST(Caret, ShapesSetTheirRulesAndThePlacementFollowsTheCell) {
  TQedCaret shape;
  int changes = 0;
  shape.OnChange = [&] { ++changes; };
  EXPECT_EQ(shape.Shape(), csVertLine);
  shape.SetCaretWidth(0);  // ignored
  EXPECT_EQ(shape.CaretWidth(), 2);
  EXPECT_EQ(changes, 0);
  shape.SetShape(csCustom);
  shape.SetCaretWidth(5);
  shape.SetShape(csVertLine);  // back to a line two pixels wide
  EXPECT_EQ(shape.CaretWidth(), 2);
  EXPECT_EQ(changes, 3);
  shape.SetBitmapHotSpotX(3);  // no notice unless the shape is a bitmap
  EXPECT_EQ(changes, 3);

  TQedSingleCaret caret(&shape);
  caret.SetCellWidth(8);
  caret.SetCellHeight(13);
  caret.SetCellHeight(0);  // ignored
  EXPECT_EQ(caret.CellHeight(), 13);
  auto geometry = [&] {
    caret.Recompute();
    return std::vector<int>{caret.Width(), caret.Height(), caret.Offset().X, caret.Offset().Y};
  };
  EXPECT_EQ(geometry(), (std::vector<int>{2, 13, 0, 0}));  // vertical line, left
  shape.SetShape(csBlock);
  EXPECT_EQ(geometry(), (std::vector<int>{8, 13, 0, 0}));
  shape.SetShape(csHalfBlock);  // bottom half
  EXPECT_EQ(geometry(), (std::vector<int>{8, 6, 0, 7}));
  shape.SetShape(csHorzLine);
  EXPECT_EQ(geometry(), (std::vector<int>{8, 2, 0, 11}));
  shape.SetShape(csCustom);
  shape.SetCaretWidth(4);
  shape.SetCaretHeight(5);
  shape.SetAlign(caCenter);
  EXPECT_EQ(geometry(), (std::vector<int>{4, 5, 2, 4}));
  shape.SetAlign(caRight);
  EXPECT_EQ(geometry(), (std::vector<int>{4, 5, 4, 4}));
  shape.SetAlign(caTop);
  EXPECT_EQ(geometry(), (std::vector<int>{4, 5, 2, 0}));
  shape.SetBitmapSize(6, 9);
  shape.SetShape(csBitmap);  // the bitmap's size, less the hot spot
  EXPECT_EQ(geometry(), (std::vector<int>{6, 9, 1 - 3, 0}));

  caret.MoveTo(40, 26);
  EXPECT_EQ(caret.Rect().Left, 38);
  // A negative position parks the caret; it is still there.
  caret.Link();
  caret.MoveTo(-1, 26);
  EXPECT_TRUE(caret.Parked());
  EXPECT_TRUE(caret.Linked());
  EXPECT_EQ(caret.Rect().Width(), 0);

  // A pair shows its first shape while the selector is true.
  TQedCaret ins, ovr;
  ovr.SetShape(csBlock);
  TQedCaretPair pair(&ins, &ovr);
  pair.SetCellWidth(8);
  pair.SetCellHeight(13);
  EXPECT_EQ(pair.Width(), 2);
  pair.SetSelector(false);
  EXPECT_EQ(pair.Width(), 8);
}

class BlinkTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    Box.SetBounds(0, 0, 400, 200);
  }
  // Pixels of the caret's colour inside the caret's rectangle.
  int CaretPixels(TQedTextFileEditor& ed) {
    ed.Paint();
    const TRect r = ed.CaretObject().Rect();
    const std::vector<TColor> px = Box.Buffer().Pixels();
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) n += px[size_t(y * Box.Buffer().Width() + x)] == ed.FixedFont.Color();
    return n;
  }
  TForm Form{"THost"};
  TPaintBox& Box = Form.Add<TPaintBox>("Box");
};

TEST_F(BlinkTest, TheCaretBlinksOnThePoolWhileTheControlHasTheFocus) {
  TQedController controller(Form);
  TQedTimerPool& pool = controller.TimerPool();
  TQedTextFileEditor ed(Box, &controller);
  ed.InsertString("G01");
  ASSERT_EQ(pool.BaseInterval(), uint32_t(kSystemBlinkTime));
  // Without the focus there is no caret and nothing blinks.
  EXPECT_EQ(CaretPixels(ed), 0);
  HeadlessAdvanceTime(kSystemBlinkTime);
  EXPECT_TRUE(ed.CaretBlinkOn());
  ASSERT_TRUE(Box.SetFocus());
  const int full = ed.LineHeight() * 2;  // a vertical line two pixels wide
  EXPECT_EQ(CaretPixels(ed), full);
  HeadlessAdvanceTime(kSystemBlinkTime);
  EXPECT_FALSE(ed.CaretBlinkOn());
  EXPECT_EQ(CaretPixels(ed), 0);
  HeadlessAdvanceTime(kSystemBlinkTime);
  EXPECT_EQ(CaretPixels(ed), full);
  // A key shows the caret at once, in its new place.
  HeadlessAdvanceTime(kSystemBlinkTime);
  Box.KeyPress('X');
  EXPECT_TRUE(ed.CaretBlinkOn());
  EXPECT_EQ(CaretPixels(ed), full);
  EXPECT_EQ(ed.CaretObject().Rect().Left, ed.LeftMargin + 4 * ed.CharWidth());
  // Overwrite mode shows the block; a blink time of its own re-times it.
  ed.SetInsertMode(false);
  ed.CaretOvr.SetShape(csBlock);
  EXPECT_EQ(CaretPixels(ed), ed.LineHeight() * ed.CharWidth());
  ed.CaretIns.SetBlinkTime(300);
  ed.SetInsertMode(true);
  ed.Paint();
  EXPECT_EQ(pool.BaseInterval(), 300u);
  HeadlessAdvanceTime(300);
  EXPECT_FALSE(ed.CaretBlinkOn());
  // A caret scrolled out of the view is parked, not drawn.
  ed.InsertString(std::string(60, '\n'));
  ed.SetCaretPosition(1, 1);
  ed.SetTopLine(30);
  EXPECT_EQ(CaretPixels(ed), 0);
  EXPECT_TRUE(ed.CaretObject().Parked());
}

}  // namespace
