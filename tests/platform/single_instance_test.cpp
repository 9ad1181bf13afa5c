#include "platform/single_instance.h"

#include <gtest/gtest.h>

#include "platform/clipboard.h"

namespace {

const char* const kName = "Orbenwright, Inc. KORVEX : Previous Semaphore";

TEST(SingleInstanceTest, SecondAcquireFailsAndRaisesTheFirst) {
  int firstRaised = 0, secondRaised = 0;
  {
    TSingleInstanceLock first(kName, [&] { ++firstRaised; });
    EXPECT_TRUE(first.IsFirst());
    {
      TSingleInstanceLock second(kName, [&] { ++secondRaised; });
      EXPECT_FALSE(second.IsFirst());
    }  // the failed one releases nothing
    EXPECT_EQ(firstRaised, 1);
    EXPECT_FALSE(SingleInstanceBackend().Acquire(kName, nullptr));
    EXPECT_EQ(firstRaised, 2);
    // Other names are independent.
    TSingleInstanceLock other("Another", nullptr);
    EXPECT_TRUE(other.IsFirst());
  }
  EXPECT_EQ(secondRaised, 0);
  // Released: the next instance is the first again.
  TSingleInstanceLock again(kName, nullptr);
  EXPECT_TRUE(again.IsFirst());
}

TEST(SingleInstanceTest, LockNamesBecomeFileNames) {
  EXPECT_EQ(SingleInstanceFileName(kName), "Orbenwright__Inc._KORVEX___Previous_Semaphore");
  EXPECT_EQ(SingleInstanceFileName("a/b\\c"), "a_b_c");
  EXPECT_EQ(SingleInstanceFileName(".."), "_..");
  EXPECT_EQ(SingleInstanceFileName(""), "_");
  EXPECT_EQ(SingleInstanceFileName(std::string(100, 'x')).size(), 64u);
}

TEST(ClipboardTest, HoldsText) {
  EXPECT_EQ(GetClipboardText(), "");
  SetClipboardText("M48\r\nT01C0.0400\r\n");
  EXPECT_EQ(GetClipboardText(), "M48\r\nT01C0.0400\r\n");
  SetClipboardText("");
  EXPECT_EQ(GetClipboardText(), "");
}

}  // namespace
