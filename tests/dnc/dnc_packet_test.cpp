#include "dnc/dnc_packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(DncPacketTest, PacketsAreFramedCheckedAndSevenBit) {
  const TDncPacket empty = BuildDncPacket("");
  EXPECT_EQ(DncWireBytes(empty), std::string("\x82\x01\x8D\x8D\x8D", 5));

  // Letters after the kind and its comma are upper-cased.
  TDncPacket om = BuildDncPacket("om,tool 3");
  TDncPacket copy = om;
  ASSERT_TRUE(CheckDncPacket(copy));
  EXPECT_EQ(copy.Text, "om,TOOL 3\r");

  // 249 characters and more: cut, and no CR.
  TDncPacket longest = BuildDncPacket(std::string(300, 'x'));
  EXPECT_EQ(longest.Text.size(), DncMaxText);
  EXPECT_EQ(uint8_t(longest.Text.back()), uint8_t('X' | 0x80));
  TDncPacket ends = BuildDncPacket("D,X1\r");
  EXPECT_EQ(ends.Text.size(), 5u);

  // A character above 127 arrives with its top bit cleared.
  TDncPacket high = BuildDncPacket("D,\xC1");
  ASSERT_TRUE(CheckDncPacket(high));
  EXPECT_EQ(high.Text, "D,A\r");

  // Any changed bit is caught by the sum or the exclusive-or.
  const TDncPacket good = BuildDncPacket("D,X12345Y67890");
  for (size_t i = 0; i < good.Text.size(); ++i)
    for (int bit = 0; bit < 8; ++bit) {
      TDncPacket bad = good;
      bad.Text[i] = char(uint8_t(bad.Text[i]) ^ (1u << bit));
      EXPECT_FALSE(CheckDncPacket(bad)) << i << " " << bit;
    }
  TDncPacket swapped = good;
  std::swap(swapped.Text[2], swapped.Text[3]);
  EXPECT_TRUE(CheckDncPacket(swapped));  // what the protocol cannot see
}

TEST(DncPacketTest, CommandsAndRepliesAreRecognised) {
  auto word = [](const std::string& text) { return ParseDncCommand(text).Word; };
  EXPECT_EQ(word("E,00\r"), DncReplyOk);
  EXPECT_EQ(word("E,-1"), DncReplyRefused);
  EXPECT_EQ(word("E 03"), DncReplyNotFound);
  EXPECT_EQ(word("e,06"), DncReplyTimeOut);
  EXPECT_EQ(word("G,02"), DncReplyRewind);
  EXPECT_EQ(word("G,00"), DncReplyStop);
  for (const char* odd : {"E,5", "E,01", "G,01", "E,", "E,X", "", "RECEIVE ERROR", "G,-1"})
    EXPECT_EQ(word(odd), DncWordUnknown) << odd;
  const TDncCommand send = ParseDncCommand("send part 7\r");
  EXPECT_EQ(send.Word, DncWordSend);
  EXPECT_EQ(send.Field2, "PART");
  EXPECT_EQ(send.Field3, "7");
  EXPECT_EQ(send.Text, "SEND,PART,7");
  EXPECT_EQ(word("SEN?,A"), DncWordSendQuery);
  EXPECT_EQ(word("RECN,A"), DncWordRecvN);
  EXPECT_EQ(word("OM,HELLO"), DncWordOM);
  EXPECT_EQ(word("NOSUCH,A"), DncWordUnknown);
  EXPECT_EQ(word("SENDX,A"), DncWordUnknown);
}

TEST(DncPacketTest, UserCommandsKeepTheUsersFileNames) {
  TDncUserCommand t = ParseDncUserCommand("COPY,/home/op/Job 4, rev a/part.nc,XM(P1)");
  EXPECT_EQ(t.Kind, TDncUserCommandKind::Transmit);
  EXPECT_EQ(t.PcFile, "/home/op/Job 4, rev a/part.nc");
  EXPECT_EQ(t.RemoteName, "P1");
  TDncUserCommand f = ParseDncUserCommand("copy xm(p1) /home/op/Mixed Case.nc");
  EXPECT_EQ(f.Kind, TDncUserCommandKind::Fetch);
  EXPECT_EQ(f.PcFile, "/home/op/Mixed Case.nc");
  EXPECT_EQ(f.RemoteName, "p1");
  TDncUserCommand om = ParseDncUserCommand("OM,Change tool, please");
  EXPECT_EQ(om.Kind, TDncUserCommandKind::OperatorMessage);
  EXPECT_EQ(om.Message, "Change tool, please");
  EXPECT_EQ(ParseDncUserCommand("COPIES,a.nc,XM(B)").Kind, TDncUserCommandKind::Transmit);
  for (const char* bad : {"", "COPY,a.nc", "COPY,XM(B)", "COPY,XM(B),", "COPY,,XM(B)", "COPY,a.nc,XM()",
                          "MOVE,a.nc,XM(B)", "CO,a.nc,XM(B)"})
    EXPECT_EQ(ParseDncUserCommand(bad).Kind, TDncUserCommandKind::Illegal) << bad;
}

TEST(DncPacketTest, OnlyPlainFileNamesAreSafe) {
  std::string why;
  EXPECT_TRUE(IsSafeRemoteName("PART-7.NC", why));
  EXPECT_TRUE(IsSafeRemoteName("O1234", why));
  for (const std::string bad : std::vector<std::string>{"", ".", "..", "../X", "A/B", "A\\B", "C:X", "A\tB",
                                "A\x7F", "A\rB"})
    EXPECT_FALSE(IsSafeRemoteName(bad, why)) << bad;
}
