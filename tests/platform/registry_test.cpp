#include <gtest/gtest.h>

#include "korvex_test.h"
#include "platform/registry.h"

class RegistryTest : public TKorvexTest {};

TEST_F(RegistryTest, KeysAndValuesAreCaseInsensitiveAndTyped) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Orbenwright\\KORVEX\\6.0\\System", true));
  EXPECT_EQ(reg.CurrentPath(), "\\Software\\Orbenwright\\KORVEX\\6.0\\System");
  EXPECT_TRUE(reg.WriteBool("Metric", true));
  EXPECT_TRUE(reg.WriteString("Name", "abc"));
  EXPECT_TRUE(reg.WriteFloat("Size", 0.125));
  reg.CloseKey();

  ASSERT_TRUE(reg.OpenKey("\\software\\ORBENWRIGHT\\korvex\\6.0\\system", false));
  bool metric = false;
  EXPECT_EQ(reg.ReadBool("METRIC", metric), TRegStatus::Ok);
  EXPECT_TRUE(metric);
  double size = 0;
  EXPECT_EQ(reg.ReadFloat("size", size), TRegStatus::Ok);
  EXPECT_EQ(size, 0.125);

  // Wrong kinds are reported and leave the output alone.
  int32_t i = 42;
  EXPECT_EQ(reg.ReadInteger("Name", i), TRegStatus::WrongType);
  EXPECT_EQ(i, 42);
  EXPECT_EQ(reg.ReadFloat("Metric", size), TRegStatus::WrongType);
  std::string s = "keep";
  EXPECT_EQ(reg.ReadString("Missing", s), TRegStatus::Missing);
  EXPECT_EQ(s, "keep");
  EXPECT_FALSE(reg.OpenKey("\\Software\\Nothing", false));
}

TEST_F(RegistryTest, RelativeKeysAndDeletion) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\A", true));
  ASSERT_TRUE(reg.OpenKey("B", true));
  EXPECT_EQ(reg.CurrentPath(), "\\Software\\A\\B");
  EXPECT_TRUE(reg.KeyExists("\\Software\\A\\B"));
  EXPECT_TRUE(reg.DeleteKey("\\Software\\A"));
  EXPECT_FALSE(reg.HasCurrentKey());
  EXPECT_FALSE(reg.KeyExists("\\Software\\A\\B"));
  EXPECT_FALSE(reg.WriteInteger("X", 1));  // no open key
}
