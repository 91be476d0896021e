// Unit tests of the safe file names, with the POSIX rules and the Windows rules on any host.
#include "common/writing/safe_file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Safe(const char* listed, bool windows, bool* changed = nullptr) {
  char safe[kSafeFileNameSize];
  const bool was_changed = MakeSafeFileName(listed, safe, sizeof safe, windows);
  if (changed != nullptr) *changed = was_changed;
  return safe;
}

TEST(SafeFileNameTest, PlainNamesAndShiftJisPassUnchanged) {
  for (bool windows : {false, true}) {
    bool changed = true;
    EXPECT_EQ(Safe("README.TXT", windows, &changed), "README.TXT");
    EXPECT_FALSE(changed);
    EXPECT_EQ(Safe("A B ", windows, &changed), "A B ");
    EXPECT_FALSE(changed);
    EXPECT_EQ(Safe("\x83\x54\x83\x75.BIN", windows), "\x83\x54\x83\x75.BIN");
    EXPECT_EQ(Safe("CONSOLE", windows), "CONSOLE");
    EXPECT_EQ(Safe("COM0", windows), "COM0");
    EXPECT_EQ(Safe("...", windows), "...");
  }
}

TEST(SafeFileNameTest, NamesThatLeaveTheDirectoryAreChanged) {
  for (bool windows : {false, true}) {
    bool changed = false;
    EXPECT_EQ(Safe("../A", windows, &changed), ".._A");
    EXPECT_TRUE(changed);
    EXPECT_EQ(Safe("/", windows), "_");
    EXPECT_EQ(Safe("", windows), "_");
    EXPECT_EQ(Safe(".", windows), "_");
    EXPECT_EQ(Safe("..", windows), "__");
  }
}

TEST(SafeFileNameTest, WindowsRulesReplaceRefusedCharactersAndDeviceNames) {
  EXPECT_EQ(Safe("A\\B:C*?\"<>|\x01", false), "A\\B:C*?\"<>|\x01");
  EXPECT_EQ(Safe("A\\B:C*?\"<>|\x01", true), "A_B_C_______");
  EXPECT_EQ(Safe("CON", false), "CON");
  for (const char* device : {"CON", "con", "PRN", "AUX", "NUL", "COM1", "com9", "LPT1", "LPT9"}) {
    EXPECT_EQ(Safe(device, true), std::string("_") + device);
  }
  EXPECT_EQ(Safe("NUL.TXT", true), "_NUL.TXT");
  EXPECT_EQ(Safe("AUX .BAS", true), "_AUX .BAS");
  EXPECT_EQ(Safe("LPT1.A.B", true), "_LPT1.A.B");
}

TEST(SafeFileNameTest, LongNamesAreCutToTheBuffer) {
  char safe[4];
  EXPECT_TRUE(MakeSafeFileName("ABCDEFG", safe, sizeof safe, false));
  EXPECT_STREQ(safe, "ABC");
}

}  // namespace
