#include "platform/settings.h"

#include <gtest/gtest.h>

namespace {

TEST(MemorySettings, TypedReadsAndWrongTypesReadAsMissing) {
  platform::MemorySettings s;
  s.WriteInt("", "A", 5);
  s.WriteString("G", "B", "text");
  s.WriteBytes("", "C", {1, 2, 3});
  s.WriteBool("G", "D", true);
  EXPECT_EQ(s.ReadInt("", "A"), 5);
  EXPECT_EQ(s.ReadString("G", "B"), "text");
  EXPECT_EQ(s.ReadBytes("", "C"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(s.ReadBool("G", "D"), true);
  EXPECT_EQ(s.ReadInt("G", "D"), 1);
  // Same name in another group is another value.
  EXPECT_FALSE(s.Exists("G", "A"));
  EXPECT_EQ(s.ReadInt("G", "B"), std::nullopt);
  EXPECT_EQ(s.ReadString("", "A"), std::nullopt);
  EXPECT_EQ(s.ReadBytes("", "A"), std::nullopt);
  EXPECT_TRUE(s.Exists("G", "B"));
  s.set_fail_writes(true);
  s.WriteInt("", "A", 6);
  EXPECT_FALSE(s.Flush());
  EXPECT_EQ(s.ReadInt("", "A"), 5);
}

}  // namespace
