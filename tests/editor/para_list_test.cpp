#include "editor/para_list.h"

#include <gtest/gtest.h>

#include <random>

#include "editor/editor_commands.h"
#include "platform/keys.h"

namespace {

std::string All(const TParaList& l) { return l.GetRange(1, 1, l.ParaCount(), l.ParaLength(l.ParaCount()) + 1, "\n"); }

TEST(ParaList, TypingMergesIntoOneStepAndUndoRestoresTheSavedState) {
  TParaList l;
  EXPECT_EQ(l.ParaCount(), 1);
  EXPECT_EQ(l.ByteCount(), 0);
  for (int i = 0; i < 3; ++i) l.InsertText(1, i + 1, std::string(1, char('a' + i)));
  ASSERT_EQ(l.Undo().UndoRecords().size(), 1u);
  EXPECT_EQ(l.Undo().UndoRecords()[0].Text, "abc");
  EXPECT_TRUE(l.Modified());
  int32_t p, pos;
  EXPECT_TRUE(l.UndoGroup(p, pos));
  EXPECT_EQ(All(l), "");
  EXPECT_FALSE(l.Modified());
  // Backspacing three characters makes one deletion at the first remaining one.
  l.InsertText(1, 1, "hello");
  l.DeleteText(1, 5, 1);
  l.DeleteText(1, 4, 1);
  l.DeleteText(1, 3, 1);
  EXPECT_EQ(l.Undo().UndoRecords().back().Kind, 4);
  EXPECT_EQ(l.Undo().UndoRecords().back().Pos, 3);
  EXPECT_EQ(l.Undo().UndoRecords().back().Text, "llo");
  // Insertion beyond the end pads with blanks, undone as one.
  l.InsertText(1, 6, "X");
  EXPECT_EQ(l.Para(1), "he   X");
}

TEST(ParaList, LimitsRefuseAndChangeNothing) {
  TParaList l;
  l.ParaLimit = 5;
  for (int i = 0; i < 4; ++i) ASSERT_EQ(l.InsertParaBefore(1, "x"), 0);
  // Four full paragraphs plus an empty last one: a sixth may still come.
  EXPECT_EQ(l.InsertParaBefore(1, "y"), 0);
  EXPECT_EQ(l.InsertParaBefore(1, "z"), edTooManyParas);
  EXPECT_EQ(l.ParaCount(), 6);
  TParaList m;
  m.ParaLengthLimit = 6;
  m.InsertText(1, 1, "abcd");
  int32_t indent = 0;
  m.SplitPara(1, 3, false, indent, 8);
  EXPECT_EQ(m.InsertText(1, 1, "12345"), edParaTooLong);
  m.InsertText(1, 1, "1234");
  EXPECT_EQ(m.JoinParas(1, m.ParaLength(1) + 1), edCannotJoin);
  EXPECT_EQ(All(m), "1234ab\ncd");
  m.ByteLimit = m.ByteCount();
  EXPECT_EQ(m.InsertText(2, 1, "q"), edTextTooLarge);
}

// With one-byte line ends the byte limit counts one byte a line end in
// every edit that adds or removes one: new paragraphs, blocks, splits,
// joins.
TEST(ParaList, TheByteLimitCountsLineEndsAsTheTextsFileHasThem) {
  TParaList l;
  l.LineEndBytes = 1;
  l.ByteLimit = 10;
  ASSERT_EQ(l.InsertParaBefore(1, "ab"), 0);
  ASSERT_EQ(l.InsertParaBefore(1, "cd"), 0);
  EXPECT_EQ(l.FileByteCount(), 6);  // "cd\nab\n"
  EXPECT_EQ(l.ByteCount(), 8);
  int32_t p = 3, pos = 1;
  EXPECT_EQ(l.InsertTextBlock(p, pos, "efg\n"), 0);
  EXPECT_EQ(l.FileByteCount(), 10);
  EXPECT_EQ(l.InsertText(3, 1, "h"), edTextTooLarge);
  // A join takes a line end away; a split adds one up to the limit.
  l.DeletePara(3);
  EXPECT_EQ(l.JoinParas(1, 3), 0);
  EXPECT_EQ(All(l), "cdab\n");
  EXPECT_EQ(l.FileByteCount(), 5);
  EXPECT_EQ(l.InsertText(1, 1, "hhhh"), 0);
  int32_t indent = 0;
  EXPECT_EQ(l.SplitPara(1, 5, false, indent, 8), 0);
  EXPECT_EQ(All(l), "hhhh\ncdab\n");
  EXPECT_EQ(l.FileByteCount(), 10);
  EXPECT_EQ(l.SplitPara(1, 2, false, indent, 8), edTextTooLarge);
}

TEST(ParaList, MarkersFollowEdits) {
  TParaList l;
  l.InsertText(1, 1, "abc   def");
  l.SetMarker(0, 1, 2);  // b
  l.SetMarker(1, 1, 8);  // e
  l.SetMarker(2, 1, 5);  // a blank
  int32_t indent = 0;
  l.SplitPara(1, 7, true, indent, 8);
  EXPECT_EQ(l.Para(1), "abc");
  EXPECT_EQ(l.Para(2), "def");
  EXPECT_EQ(l.Marker(0), (TMarker{1, 2}));
  EXPECT_EQ(l.Marker(1), (TMarker{2, 2}));
  l.DeleteText(1, 1, 2);
  EXPECT_EQ(l.Marker(0), TMarker{});
  l.JoinParas(1, 2);
  EXPECT_EQ(l.Para(1), "cdef");
  EXPECT_EQ(l.Marker(1), (TMarker{1, 3}));
}

TEST(ParaList, LongRandomEditingUndoesAndRedoesByteForByte) {
  TParaList l(1 << 24);
  std::mt19937 rng(7);
  for (int i = 0; i < 50; ++i) l.AppendPara("G01 X" + std::to_string(i) + " Y" + std::to_string(i * 3), false);
  const std::string original = All(l);
  std::vector<std::string> states{original};
  for (int step = 0; step < 600; ++step) {
    const int32_t p = int32_t(rng() % uint32_t(l.ParaCount())) + 1;
    const int32_t len = l.ParaLength(p);
    const int32_t pos = int32_t(rng() % uint32_t(len + 1)) + 1;
    int32_t indent = 0;
    switch (rng() % 7) {
      case 0: l.InsertText(p, pos, "T12"); break;
      case 1: l.DeleteText(p, pos, 3); break;
      case 2: l.SplitPara(p, pos, true, indent, 8); break;
      case 3: l.JoinParas(p, pos); break;
      case 4: l.DeletePara(p); break;
      case 5: l.ReplaceText(p, pos, 2, "M30"); break;
      case 6: {
        int32_t q = p, at = pos;
        l.InsertTextBlock(q, at, "A\r\nB\nC");
        break;
      }
    }
    states.push_back(All(l));
  }
  int32_t p, pos;
  while (l.UndoGroup(p, pos)) {
  }
  EXPECT_EQ(All(l), original);
  EXPECT_FALSE(l.Modified());
  while (l.RedoGroup(p, pos)) {
  }
  EXPECT_EQ(All(l), states.back());
}

TEST(ParaList, SmallBufferDropsOldestGroupsAndOversizedGroupsAreNotRecorded) {
  TParaList l(200);
  for (int i = 0; i < 30; ++i) l.InsertParaAfter(l.ParaCount(), "line " + std::to_string(i));
  EXPECT_LE(l.Undo().Used(), 200);
  int32_t p, pos;
  int undone = 0;
  while (l.UndoGroup(p, pos)) ++undone;
  EXPECT_GT(undone, 0);
  EXPECT_LT(undone, 30);
  // A group larger than the block is not recorded, and the steps before it
  // go too: replaying them over the unrecorded change would corrupt the text.
  TParaList m(100);
  m.InsertText(1, 1, "keep");
  const bool was = m.BeginGroup();
  m.InsertText(1, 1, std::string(60, 'x'));
  m.InsertText(1, 1, std::string(60, 'y'));
  m.EndGroup(was);
  EXPECT_FALSE(m.UndoGroup(p, pos));
  EXPECT_EQ(m.Para(1), std::string(60, 'y') + std::string(60, 'x') + "keep");
  // Recording resumes once the group is closed.
  m.InsertText(1, 1, "z");
  EXPECT_TRUE(m.UndoGroup(p, pos));
  EXPECT_EQ(m.Para(1).substr(0, 1), "y");
}

TEST(CommandTables, TranslationOfKeysAndSequences) {
  TQedCommandProcessor p;
  EXPECT_EQ(p.Translate(VK_LEFT, 0), ccLeft);
  EXPECT_EQ(p.Translate('A', 0), ccChar);
  p.FindTable("WordStar")->Active = true;
  EXPECT_EQ(p.Translate('X', kCtrl), ccCut);  // the first active table wins
  EXPECT_EQ(p.Translate('Q', kCtrl), ccSequence);
  EXPECT_EQ(p.Translate(VK_SHIFT, kShift), ccSequence);  // a modifier keeps it pending
  EXPECT_EQ(p.Translate('S', 0), ccHome);
  EXPECT_EQ(p.Translate('Q', kCtrl), ccSequence);
  EXPECT_EQ(p.Translate('S', kCtrl), ccHome);
  EXPECT_EQ(p.Translate('Q', kCtrl), ccSequence);
  EXPECT_EQ(p.Translate('S', kShift), ccBroken);
  EXPECT_EQ(p.Translate('P', kCtrl), ccCtrlChar);
  EXPECT_EQ(p.Translate('B', kCtrl), ccChar);
  EXPECT_EQ(CommandName(ccWordRight), "ccWordRight");
  EXPECT_EQ(CommandName(300), "ccUser300");
  EXPECT_THROW(p.AddBinding("Nope", TCommandRecord{}), ETableNotFound);
  EXPECT_THROW(p.AddBinding("Default", TCommandRecord{VK_LEFT, 0, 0, 0, ccUp}), EDuplicateCommand);
  auto t = std::make_unique<TQedCommandTable>();
  t->Name = "Default2";
  EXPECT_EQ(p.AddTable(std::move(t)).Name, "Default1");
}

TEST(CommandTables, TableFilesRoundTripAndAddTheirBindings) {
  TQedCommandProcessor p;
  const std::string name = ::testing::TempDir() + "/keys.tbl";
  int error = 0;
  ASSERT_TRUE(p.FindTable("WordStar")->SaveTableFile(name, error));
  TQedCommandTable copy;
  ASSERT_TRUE(copy.LoadTableFile(name, error));
  EXPECT_EQ(copy.Name, "WordStar");
  ASSERT_EQ(copy.Records.size(), p.FindTable("WordStar")->Records.size());
  EXPECT_EQ(copy.Records[10].Key(), p.FindTable("WordStar")->Records[10].Key());
  EXPECT_EQ(copy.Records[10].Command, ccHome);
  EXPECT_FALSE(copy.LoadTableFile(name + ".none", error));
  EXPECT_NE(error, 0);
}

}  // namespace
