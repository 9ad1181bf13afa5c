#include "tapein/nc_move.h"

#include <gtest/gtest.h>

namespace {

TEST(NCMove, RecordLayoutOnDisk) {
  TNCMove m = BlankMove();
  EXPECT_EQ(m.Kind, kMoveNone);
  EXPECT_EQ(m.SourceBlock, 1);
  EXPECT_EQ(m.Tool, 1);
  EXPECT_EQ(m.ToolOffset, 1);

  TPendingTexts texts;
  m.Kind = kMoveHit;
  m.SourceBlock = -7;
  m.StartX = 0x01020304;
  m.EndY = -2;
  m.CentreX = 123456789;
  m.CentreY = -123456789;
  m.Comp = 2;
  m.FromRepeat = 1;
  m.Head = 1;
  m.Tool = 65537;
  m.ToolOffset = 3;
  m.PendingTexts = &texts;
  const TNCMoveBytes b = EncodeMove(m);
  EXPECT_EQ(b.size(), 273u);
  EXPECT_EQ(b[0], 6);
  EXPECT_EQ(b[1], 0xF9);  // -7 little-endian
  EXPECT_EQ(b[4], 0xFF);
  EXPECT_EQ(b[5], 0x04);
  EXPECT_EQ(b[8], 0x01);
  for (int i = 13; i < 17; ++i) EXPECT_EQ(b[i], 0) << "the text reference is never written";
  EXPECT_EQ(b[33], 2);
  EXPECT_EQ(b[34], 1);
  EXPECT_EQ(b[35], 1);
  EXPECT_EQ(b[36], 0x01);
  EXPECT_EQ(b[38], 0x01);
  EXPECT_EQ(b[40], 3);
  for (int i = 44; i < 273; ++i) ASSERT_EQ(b[i], 0);

  const TNCMove back = DecodeMove(b);
  EXPECT_EQ(back.Kind, m.Kind);
  EXPECT_EQ(back.SourceBlock, m.SourceBlock);
  EXPECT_EQ(back.StartX, m.StartX);
  EXPECT_EQ(back.EndY, m.EndY);
  EXPECT_EQ(back.CentreX, m.CentreX);
  EXPECT_EQ(back.CentreY, m.CentreY);
  EXPECT_EQ(back.Tool, m.Tool);
  EXPECT_EQ(back.ToolOffset, m.ToolOffset);
  EXPECT_EQ(back.PendingTexts, nullptr);
}

TEST(NCMove, MirrorParityCountsOddBits) {
  for (int code = 0; code < 8; ++code)
    EXPECT_EQ(MirrorParity[code], __builtin_popcount(code) % 2) << code;
}

}  // namespace
