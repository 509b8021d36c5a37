#include "driver/shell.h"

#include <gtest/gtest.h>

namespace {

TEST(ShellQuote, OrdinaryValuesStayAsTheyAre) {
  EXPECT_EQ("10:00:00:00:c9:6b:9c:e8", ShellQuote("10:00:00:00:c9:6b:9c:e8"));
  EXPECT_EQ("/work/site/", ShellQuote("/work/site/"));
  EXPECT_EQ("00-90-FA-12-34-56", ShellQuote("00-90-FA-12-34-56"));
  EXPECT_EQ("", ShellQuote(""));
}

TEST(ShellQuote, AnythingElseIsOneQuotedWord) {
  EXPECT_EQ("'X;reboot'", ShellQuote("X;reboot"));
  EXPECT_EQ("'fw 1.ufi'", ShellQuote("fw 1.ufi"));
  EXPECT_EQ("'a'\\''b'", ShellQuote("a'b"));
  EXPECT_EQ("'$(id)'", ShellQuote("$(id)"));
}

TEST(ShellQuote, QuotedWordsReachTheCommandUnchanged) {
  std::string hostile = "a'b;$(false)`x`\"|&<>\\ \r";
  std::string command = "test \"$(printf '%s' " + ShellQuote(hostile) + ")\" = " +
                        ShellQuote(hostile);
  EXPECT_EQ(0, RunShellCommand(command));
}

}  // namespace

namespace {

TEST(HasParentComponent, OnlyAWholeDotDotComponentCounts) {
  EXPECT_TRUE(HasParentComponent(".."));
  EXPECT_TRUE(HasParentComponent("../x_0_hba_attributes.out"));
  EXPECT_TRUE(HasParentComponent("a/../b"));
  EXPECT_TRUE(HasParentComponent("a/.."));
  EXPECT_FALSE(HasParentComponent("n/a_0_hba_attributes.out"));
  EXPECT_FALSE(HasParentComponent("a/.._0_x"));
  EXPECT_FALSE(HasParentComponent("..x/y"));
  EXPECT_FALSE(HasParentComponent(""));
}

}  // namespace
