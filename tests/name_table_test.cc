// Unit tests of the table of written names: the names stay apart and their owners known when they
// move from the table's own first slots to the caller's, and the table says when it is full.
#include "common/run/name_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(NameTableTest, NamesAndOwnersSurviveTheMoveToTheCallersSlots) {
  std::vector<NameSlot> slots(4096);
  NameTable table(slots.data(), slots.size());
  for (uint64_t key = 1; key <= 3072; ++key) {
    ASSERT_EQ(table.Record(key * 0x9E3779B97F4A7C15u, static_cast<int>(key)), -1) << key;
  }
  EXPECT_FALSE(table.Full());
  for (uint64_t key = 1; key <= 3072; ++key) {
    ASSERT_TRUE(table.Contains(key * 0x9E3779B97F4A7C15u)) << key;
    ASSERT_EQ(table.Record(key * 0x9E3779B97F4A7C15u, 0), static_cast<int>(key)) << key;
  }
  EXPECT_EQ(table.Record(5, 1), -1);  // three quarters full: not recorded
  EXPECT_TRUE(table.Full());
  EXPECT_FALSE(table.Contains(5));
  table.Clear();
  EXPECT_FALSE(table.Full());
  EXPECT_FALSE(table.Contains(1 * 0x9E3779B97F4A7C15u));
  EXPECT_EQ(table.Record(7, 3), -1);
  EXPECT_EQ(table.Record(7, 4), 3);
}

}  // namespace
