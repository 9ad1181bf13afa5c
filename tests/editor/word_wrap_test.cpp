// Word wrap of the editor's text: the display-line tables of paragraphs, the
// list's line lookups through edits and undo, and the control's caret,
// selection and painting over wrapped lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "editor/para_list.h"
#include "editor/text_editor.h"
#include "platform/file_ops.h"
#include "platform/forms.h"
#include "korvex_test.h"

namespace fs = std::filesystem;

namespace {

// The display lines of one paragraph, each as its text.
std::vector<std::string> Lines(const std::string& text, int32_t wrap, int32_t tab = 8) {
  TParaNode n(text);
  n.Wrap(wrap, tab);
  std::vector<std::string> out;
  for (int32_t k = 1; k <= n.LineCount(); ++k) out.push_back(text.substr(size_t(n.LineStart(k)), size_t(n.LineLength(k))));
  return out;
}

using V = std::vector<std::string>;

TEST(WordWrap, ParagraphsBreakAtBlanksHyphensOrTheColumn) {
  // After a hyphen; at the blank before a word; a long word cut at the column.
  EXPECT_EQ(Lines("abc-def", 5), (V{"abc-", "def"}));
  EXPECT_EQ(Lines("G01 X100 Y200", 6), (V{"G01 ", "X100 ", "Y200"}));
  EXPECT_EQ(Lines("ABCDEFGHIJ", 4), (V{"ABCD", "EFGH", "IJ"}));
  // Blanks at the wrap column stay at the end of the line they follow.
  EXPECT_EQ(Lines("abcd   efgh", 4), (V{"abcd   ", "efgh"}));
  // Only blanks left after a break: no empty display line.
  EXPECT_EQ(Lines("abcd    ", 4), (V{"abcd    "}));
  // A TAB counts to its tab stop: "G01" + TAB reaches column 8, so with a
  // wrap column of 12 the first line holds 8 characters.
  EXPECT_EQ(Lines("G01\tX1.0 Y2.0", 12), (V{"G01\tX1.0 ", "Y2.0"}));
  EXPECT_EQ(Lines("G01\tX1.0 Y2.0", 12, 4), (V{"G01\tX1.0 ", "Y2.0"}));
  EXPECT_EQ(Lines("AB\tCD\tEF", 9, 4), (V{"AB\tCD\t", "EF"}));
  // A TAB wider than the column still moves on by a character.
  EXPECT_EQ(Lines("\tabc", 4, 8), (V{"\t", "abc"}));
  // No wrap: a wrap column of 0 or 32,767, or an empty paragraph.
  EXPECT_EQ(Lines(std::string(40000, 'x'), kNoWrap).size(), 1u);
  EXPECT_EQ(Lines("abc def", 0).size(), 1u);
  EXPECT_EQ(Lines("", 5), (V{""}));
  // The end of a paragraph belongs to its last line; a break offset to the
  // line it starts.
  TParaNode n("abc-def");
  n.Wrap(5, 8);
  EXPECT_EQ(n.LineOfOffset(3), 1);
  EXPECT_EQ(n.LineOfOffset(4), 2);
  EXPECT_EQ(n.LineOfOffset(7), 2);
}

// Brute-force display lines of the whole list.
std::vector<TLineRef> AllLines(const TParaList& l) {
  std::vector<TLineRef> out;
  for (int32_t p = 1; p <= l.ParaCount(); ++p) {
    const TParaNode& n = l.Node(p);
    for (int32_t k = 1; k <= n.LineCount(); ++k)
      out.push_back(TLineRef{p, n.LineStart(k), n.LineLength(k), k, k == n.LineCount()});
  }
  return out;
}

// Every paragraph's table is what wrapping it afresh gives, and every line
// lookup agrees with the brute-force list.
void ExpectConsistent(const TParaList& l, std::mt19937& rng) {
  const std::vector<TLineRef> all = AllLines(l);
  ASSERT_EQ(l.LineCount(), int32_t(all.size()));
  for (int32_t p = 1; p <= l.ParaCount(); ++p) {
    TParaNode fresh(l.Para(p));
    fresh.Wrap(l.EffectiveWrap(), l.TabSize());
    ASSERT_EQ(l.Node(p).Starts(), fresh.Starts()) << "paragraph " << p;
  }
  for (int i = 0; i < 20; ++i) {
    const int32_t k = int32_t(rng() % all.size()) + 1;
    const TLineRef r = l.GetLine(k);
    const TLineRef& e = all[size_t(k - 1)];
    ASSERT_EQ(r.Para, e.Para) << "line " << k;
    ASSERT_EQ(r.Start, e.Start);
    ASSERT_EQ(r.Length, e.Length);
    ASSERT_EQ(r.LineInPara, e.LineInPara);
    ASSERT_EQ(l.ParaPosToLine(e.Para, e.Start + 1), k);
  }
}

struct TSnapshot {
  std::vector<std::string> Text;
  std::vector<std::vector<int32_t>> Starts;
  bool operator==(const TSnapshot&) const = default;
};

TSnapshot Snap(const TParaList& l) {
  TSnapshot s;
  for (int32_t p = 1; p <= l.ParaCount(); ++p) {
    s.Text.push_back(l.Para(p));
    s.Starts.push_back(l.Node(p).Starts());
  }
  return s;
}

TEST(WordWrap, EditsUndoAndRedoKeepTablesAndLookupsRight) {
  TParaList l(1 << 24);
  std::mt19937 rng(11);
  for (int i = 0; i < 60; ++i)
    l.AppendPara("N" + std::to_string(i * 10) + " G01 X" + std::to_string(i * 1.25) + "\tY-" + std::to_string(i * 7) +
                     (i % 3 ? " F300 S12000 M03" : ""),
                 false);
  l.SetWrapColumn(9);
  l.SetWordWrap(true);
  ExpectConsistent(l, rng);
  const TSnapshot original = Snap(l);
  for (int step = 0; step < 500; ++step) {
    const int32_t p = int32_t(rng() % uint32_t(l.ParaCount())) + 1;
    const int32_t pos = int32_t(rng() % uint32_t(l.ParaLength(p) + 1)) + 1;
    // Look a line up first, so that the lookup cache sits somewhere.
    l.GetLine(int32_t(rng() % uint32_t(l.LineCount())) + 1);
    int32_t indent = 0;
    switch (rng() % 7) {
      case 0: l.InsertText(p, pos, rng() % 2 ? "T12 " : "-\t"); break;
      case 1: l.DeleteText(p, pos, 4); break;
      case 2: l.SplitPara(p, pos, true, indent, 8); break;
      case 3: l.JoinParas(p, pos); break;
      case 4: l.DeletePara(p); break;
      case 5: l.ReplaceText(p, pos, 2, "M30 "); break;
      case 6: {
        int32_t q = p, at = pos;
        l.InsertTextBlock(q, at, "A B C D\r\nE\nF");
        break;
      }
    }
    ExpectConsistent(l, rng);
    if (HasFatalFailure()) return;
  }
  const TSnapshot edited = Snap(l);
  int32_t p, pos;
  while (l.UndoGroup(p, pos)) ExpectConsistent(l, rng);
  EXPECT_TRUE(Snap(l) == original);
  while (l.RedoGroup(p, pos)) {
  }
  EXPECT_TRUE(Snap(l) == edited);
  // Tab stops and the column re-wrap; word wrap off gives one line each.
  l.SetTabSize(3);
  ExpectConsistent(l, rng);
  l.SetWrapColumn(23);
  ExpectConsistent(l, rng);
  l.SetWordWrap(false);
  EXPECT_EQ(l.LineCount(), l.ParaCount());
  for (int32_t q = 1; q <= l.ParaCount(); ++q) EXPECT_EQ(l.Node(q).LineCount(), 1);
}

TEST(WordWrap, ALongFileReWrapsAndLookupsWalkFromTheNearestEnd) {
  TParaList l;
  int64_t expected = 0;
  for (int i = 0; i < 100000; ++i) {
    std::string s = "N" + std::to_string(i) + " G01 X" + std::to_string(i % 977) + " Y" + std::to_string(i % 353);
    if (i % 10 == 0) s += " (TOOL CHANGE FOLLOWS AFTER THIS BLOCK)";
    expected += int64_t(Lines(s, 16).size());
    l.AppendPara(s, false);
  }
  expected += 1;  // the empty last paragraph
  l.SetWrapColumn(16);
  l.SetWordWrap(true);
  EXPECT_EQ(l.LineCount(), expected);
  // The last line, the first, one in the middle, then their neighbours.
  const TLineRef last = l.GetLine(l.LineCount());
  EXPECT_EQ(last.Para, l.ParaCount());
  EXPECT_EQ(l.GetLine(1).Para, 1);
  const int32_t mid = l.ParaPosToLine(50001, 1);
  EXPECT_EQ(l.GetLine(mid).Para, 50001);
  EXPECT_EQ(l.GetLine(mid - 1).Para, 50000);
  EXPECT_EQ(l.LineText(l.GetLine(mid)), "N50000 G01 X" + std::to_string(50000 % 977) + " ");
  l.SetWordWrap(false);
  EXPECT_EQ(l.LineCount(), 100001);
}

// ---------------------------------------------------------------- the control

class WrapEditorTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    Box.SetBounds(0, 0, 600, 400);
    Ed = std::make_unique<TQedTextFileEditor>(Box);
  }
  void Key(uint16_t key, TShiftState shift = 0) { Box.KeyDown(key, shift); }
  void Type(const std::string& s) {
    for (char c : s) Box.KeyPress(c);
  }
  TForm Form{"THost"};
  TPaintBox& Box = Form.Add<TPaintBox>("Box");
  TQedController Controller{Form};
  std::unique_ptr<TQedTextFileEditor> Ed;
};

TEST_F(WrapEditorTest, CaretSelectionAndEditingWorkOnDisplayLines) {
  Ed->InsertString("G01 X1.0 Y2.0 F300\r\nM30");
  Ed->SetWrapColumn(7);
  Ed->SetWordWrap(true);
  // "G01 X1.0 Y2.0 F300" shows as "G01 ", "X1.0 ", "Y2.0 ", "F300".
  ASSERT_EQ(Ed->LineCount(), 5);
  EXPECT_EQ(Ed->LineText(2), "X1.0 ");
  EXPECT_EQ(Ed->Caret(), (TTextPoint{5, 4}));  // stays after "M30"
  Ed->SetCaretPosition(1, 3);
  Key(VK_DOWN);
  EXPECT_EQ(Ed->Caret(), (TTextPoint{2, 3}));
  Key(VK_END);
  EXPECT_EQ(Ed->Caret(), (TTextPoint{2, 6}));
  Key(VK_RIGHT);  // past the end of a display line: the next one
  EXPECT_EQ(Ed->Caret(), (TTextPoint{3, 1}));
  Key(VK_LEFT);  // back to the end of the line above
  EXPECT_EQ(Ed->Caret(), (TTextPoint{2, 6}));
  Key(VK_UP);
  EXPECT_EQ(Ed->Caret(), (TTextPoint{1, 5}));  // kept within the shorter line
  // A selection over display lines is paragraph text.
  Ed->SetCaretPosition(2, 1);
  Key(VK_DOWN, ssShift);
  Key(VK_DOWN, ssShift);
  EXPECT_EQ(Ed->SelectedText(), "X1.0 Y2.0 ");
  Ed->Deselect();
  // Typing on a wrapped line wraps the paragraph again and the caret rides
  // on after the typed character.
  Ed->SetCaretPosition(2, 1);
  Type("N10 ");
  EXPECT_EQ(Ed->Text("|"), "G01 N10 X1.0 Y2.0 F300|M30");
  EXPECT_EQ(Ed->LineText(1), "G01 N10 ");
  EXPECT_EQ(Ed->LineText(2), "X1.0 ");
  EXPECT_EQ(Ed->Caret(), (TTextPoint{2, 1}));
  EXPECT_EQ(Ed->ParaPosOf(Ed->Caret()).Pos, 9);
  // Deleting a line takes the caret's display line only.
  Ed->ExecuteCommand(ccDelLine);
  EXPECT_EQ(Ed->Text("|"), "G01 N10 Y2.0 F300|M30");
  // Undo brings back the text, its display lines and the caret's character.
  while (Ed->CanUndo()) Ed->Undo();
  EXPECT_EQ(Ed->Text("|"), "");
  while (Ed->CanRedo()) Ed->Redo();
  EXPECT_EQ(Ed->Text("|"), "G01 N10 Y2.0 F300|M30");
  EXPECT_EQ(Ed->LineCount(), 4);
  EXPECT_EQ(Ed->LineText(2), "Y2.0 ");
  // Word wrap off: the caret stays on its character, the top line too.
  Ed->SetCaretPosition(3, 2);
  const TParaPos at = Ed->ParaPosOf(Ed->Caret());
  Ed->SetWordWrap(false);
  EXPECT_EQ(Ed->LineCount(), 2);
  EXPECT_EQ(Ed->ParaPosOf(Ed->Caret()).Para, at.Para);
  EXPECT_EQ(Ed->ParaPosOf(Ed->Caret()).Pos, at.Pos);
  // The print fetches display lines.
  Ed->SetWordWrap(true);
  EXPECT_EQ(Ed->GetPrintableLine(3, 256), "F300");
  // Word wrap and a caret past the line ends exclude each other; left at
  // column 1 always goes up while wrapping.
  Ed->SetWrapAtLeft(false);
  EXPECT_TRUE(Ed->WrapAtLeft());
  Ed->SetScrollPastEnd(true);
  EXPECT_FALSE(Ed->WordWrap());
  Ed->SetCaretPosition(2, 4);
  Key(VK_RIGHT);
  Key(VK_RIGHT);
  EXPECT_EQ(Ed->Caret(), (TTextPoint{2, 6}));
  Ed->SetWordWrap(true);
  EXPECT_FALSE(Ed->ScrollPastEnd());
  // Wrapping to the window: the visible columns less two.
  Ed->SetWrapToWindow(true);
  auto visibleColumns = [this] { return (Box.Width() - Ed->LeftMargin - Ed->RightMargin) / Ed->CharWidth() + 1; };
  EXPECT_EQ(Ed->VisibleCols(), visibleColumns());
  EXPECT_EQ(Ed->WrapColumn(), visibleColumns() - 2);
  Box.SetBounds(0, 0, 300, 400);
  Box.OnResize(Box);  // as the window system reports it
  EXPECT_LT(Ed->WrapColumn(), 50);
  EXPECT_EQ(Ed->WrapColumn(), visibleColumns() - 2);
}

TEST_F(WrapEditorTest, ScrollingCountsDisplayLinesAndALoadedFileWraps) {
  // CR LF, LF and CR files give the same display lines.
  for (const std::string& eol : {std::string("\r\n"), std::string("\n"), std::string("\r")}) {
    const fs::path f = TempDir / "WRAP.NC";
    WriteFileBytes(f, "N1 G00 X10 Y20" + eol + eol + "N2 G01 X-5.25 Y0" + eol);
    Ed->SetFileName("");
    Ed->SetFileName(f.string());
    Ed->SetWrapColumn(7);
    Ed->SetWordWrap(true);
    Ed->Open();
    EXPECT_EQ(Ed->List().ParaCount(), 4);
    ASSERT_EQ(Ed->LineCount(), 7);
    EXPECT_EQ(Ed->LineText(1), "N1 G00 ");
    EXPECT_EQ(Ed->LineText(2), "X10 Y20");
    EXPECT_EQ(Ed->LineText(3), "");
    EXPECT_EQ(Ed->LineText(5), "X-5.25 ");
    // Saving writes paragraphs, not display lines.
    std::string error;
    ASSERT_TRUE(Ed->SaveToFile(f.string(), error)) << error;
    EXPECT_EQ(ReadFileBytes(f), "N1 G00 X10 Y20" + eol + eol + "N2 G01 X-5.25 Y0" + eol);
  }
  // 200 paragraphs of two display lines each: the view scrolls over 401 lines.
  std::string text;
  for (int i = 0; i < 200; ++i) text += "N" + std::to_string(1000 + i) + " X1\r\n";
  Ed->Clear();
  Ed->SetWrapColumn(5);
  Ed->InsertString(text);
  EXPECT_EQ(Ed->LineCount(), 401);
  Key(VK_END, ssCtrl);
  EXPECT_EQ(Ed->Caret().Line, 401);
  EXPECT_GE(Ed->TopLine(), 401 - Ed->VisibleLines() + 1);
  Ed->SetCaretPosition(200, 1);
  EXPECT_EQ(Ed->LineText(200), "X1");
  EXPECT_EQ(Ed->ParaPosOf(Ed->Caret()).Para, 100);
}

TEST_F(WrapEditorTest, EditorsSharingOneListFollowEachOthersEditsAndWrap) {
  TPaintBox& box2 = Form.Add<TPaintBox>("Box2");
  box2.SetBounds(0, 0, 300, 200);
  auto other = std::make_unique<TQedTextFileEditor>(box2);
  other->InsertString("lost when attached");
  Ed->InsertString("N1 G01 X1\r\nN2 G01 X2\r\nN3 M30");
  other->AttachTo(*Ed);
  EXPECT_EQ(other->Text("|"), "N1 G01 X1|N2 G01 X2|N3 M30");
  other->SetCaretPosition(3, 4);
  // A line typed in through one editor moves the other's caret down with
  // its text; the typing editor's own caret goes where the typing left it.
  Ed->SetCaretPosition(1, 1);
  Type("N0\r");
  EXPECT_EQ(other->Text("|"), "N0|N1 G01 X1|N2 G01 X2|N3 M30");
  EXPECT_EQ(other->Caret(), (TTextPoint{4, 4}));
  EXPECT_EQ(Ed->Caret(), (TTextPoint{2, 1}));
  // Word wrap switched on through one editor re-wraps the text of both;
  // each keeps its caret on its character.
  Ed->SetWrapColumn(5);
  Ed->SetWordWrap(true);
  EXPECT_TRUE(other->WordWrap());
  EXPECT_EQ(other->LineCount(), Ed->LineCount());
  EXPECT_EQ(other->ParaPosOf(other->Caret()).Para, 4);
  EXPECT_EQ(other->ParaPosOf(other->Caret()).Pos, 4);
  EXPECT_EQ(other->LineText(other->Caret().Line), "M30");
  // A deletion through the other editor pulls this one's caret back.
  const TTextPoint mine = Ed->PointOf(4, 3);
  Ed->SetCaretPosition(mine.Line, mine.Col);
  other->SetSelection(other->PointOf(2, 1), other->PointOf(3, 1));
  other->DeleteSelection();
  EXPECT_EQ(Ed->Text("|"), "N0|N2 G01 X2|N3 M30");
  EXPECT_EQ(Ed->ParaPosOf(Ed->Caret()).Para, 3);
  EXPECT_EQ(Ed->ParaPosOf(Ed->Caret()).Pos, 3);
  // Undo through either editor undoes the shared history.
  Ed->Undo();
  EXPECT_EQ(other->Text("|"), "N0|N1 G01 X1|N2 G01 X2|N3 M30");
  // The list outlives an editor that leaves it.
  other.reset();
  const TTextPoint end = Ed->PointOf(4, 4);
  Ed->SetCaretPosition(end.Line, end.Col);
  Type("X");
  EXPECT_EQ(Ed->List().Views().size(), 1u);
  EXPECT_EQ(Ed->List().Para(4), "N3 XM30");
}

// Which character cells of the first rows hold ink of the text colour.
std::vector<std::string> InkMask(TQedTextFileEditor& ed, TPaintBox& box, int rows, int cols) {
  const std::vector<TColor> px = box.Buffer().Pixels();
  const int w = box.Buffer().Width();
  std::vector<std::string> out;
  for (int r = 0; r < rows; ++r) {
    std::string line;
    for (int c = 0; c < cols; ++c) {
      bool ink = false;
      for (int y = r * ed.LineHeight(); y < (r + 1) * ed.LineHeight() && !ink; ++y)
        for (int x = ed.LeftMargin + c * ed.CharWidth(); x < ed.LeftMargin + (c + 1) * ed.CharWidth() && !ink; ++x)
          ink = px[size_t(y * w + x)] == ed.FixedFont.Color();
      line += ink ? 'X' : '.';
    }
    out.push_back(line);
  }
  return out;
}

TEST_F(WrapEditorTest, AWrappedParagraphPaintsOneRowPerDisplayLine) {
  Ed->SetTabSize(4);
  Ed->InsertString("AB\tCD EFGH-IJ");
  Ed->SetWrapColumn(6);
  Ed->SetWordWrap(true);
  // "AB" TAB "CD " / "EFGH-" / "IJ"; the TAB drawn as blanks to column 4.
  ASSERT_EQ(Ed->LineCount(), 3);
  Ed->Paint();
  EXPECT_EQ(InkMask(*Ed, Box, 4, 9), (V{"XX..XX...", "XXXXX....", "XX.......", "........."}));
  // The selection from the middle of line 1 to the middle of line 2.
  Ed->HideSelection = false;
  Ed->SetSelection({1, 5}, {2, 3});
  Ed->Paint();
  const int rowH = Ed->LineHeight(), cw = Ed->CharWidth();
  const std::vector<TColor> px = Box.Buffer().Pixels();
  const int w = Box.Buffer().Width();
  // The bottom pixel row of a cell holds no glyph dots of capitals.
  auto at = [&](int row, int col) { return px[size_t(((row + 1) * rowH - 1) * w + Ed->LeftMargin + col * cw)]; };
  EXPECT_EQ(at(0, 3), Ed->Color);
  EXPECT_EQ(at(0, 4), Ed->HighlightColors.BackColor());
  EXPECT_EQ(at(0, 6), Ed->HighlightColors.BackColor());  // the rest of the line's text
  EXPECT_EQ(at(0, 7), Ed->Color);                          // the first line of a selection has no band
  EXPECT_EQ(at(1, 1), Ed->HighlightColors.BackColor());
  EXPECT_EQ(at(1, 2), Ed->Color);
}

}  // namespace
