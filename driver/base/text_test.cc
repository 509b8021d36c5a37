#include "driver/base/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "driver/base/process_exit.h"

namespace {

int Parse(std::string text, int base) { return string2int(text.data(), base); }

TEST(String2Int, TrimsTrailingBlanksAndLineFeedsInPlace) {
  char text[] = "3\n";
  EXPECT_EQ(3, string2int(text, 10));
  EXPECT_STREQ("3", text);
  char padded[] = "  12  \n ";
  EXPECT_EQ(12, string2int(padded, 10));
  EXPECT_STREQ("  12", padded);
}

TEST(String2Int, RejectsTextThatIsNotWhollyANumber) {
  EXPECT_EQ(-1, Parse("3x", 10));
  EXPECT_EQ(-1, Parse("", 10));
  EXPECT_EQ(-1, Parse("   ", 10));
  EXPECT_EQ(-1, Parse("3\r", 10));  // a carriage return is not trimmed
  EXPECT_EQ(-1, Parse("-zz", 16));
  EXPECT_EQ(-1, Parse("0x", 16));
}

TEST(String2Int, SignsAndBases) {
  EXPECT_EQ(-5, Parse("-5", 10));
  EXPECT_EQ(-5, Parse("  -5", 10));
  EXPECT_EQ(0, Parse("-", 10));
  EXPECT_EQ(26, Parse("1a", 16));
  EXPECT_EQ(26, Parse("0x1A", 16));
  EXPECT_EQ(0x19A2, Parse("19A2", 16));
}

TEST(String2Int, TakesTheValueModuloTheIntWidth) {
  EXPECT_EQ(-1, Parse("4294967295", 10));
  EXPECT_EQ(INT_MIN, Parse("2147483648", 10));
  EXPECT_EQ(INT_MIN, Parse("-2147483648", 10));
}

TEST(String2Int, EndsTheProcessWithStatusOneOnARangeError) {
  std::string too_large = sizeof(unsigned long) == 8 ? "18446744073709551616" : "4294967296";
  try {
    Parse(too_large, 10);
    FAIL() << "no range error";
  } catch (const ProcessExit& exit) {
    EXPECT_EQ(1, exit.status);
  }
  EXPECT_NO_THROW(Parse(sizeof(unsigned long) == 8 ? "18446744073709551615" : "4294967295", 10));
}

TEST(CleanString, BlanksQuotesTabsAndLineFeeds) {
  char text[] = "\t\"Emulex\"  \n";
  EXPECT_STREQ("Emulex", cleanString(text));
  char empty[] = "";
  EXPECT_STREQ("", cleanString(empty));
  char blanks[] = "   ";
  char* cleaned = cleanString(blanks);
  EXPECT_STREQ("", cleaned);
  char cr[] = " 0326\r\n";
  EXPECT_STREQ("0326\r", cleanString(cr));  // carriage returns stay
}

}  // namespace
