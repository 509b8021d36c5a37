#include "driver/base/print_debug.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/base/settings.h"
#include "tests/support/fresh_state_test.h"

namespace {

class PrintDebugTest : public test_support::FreshStateTest {};

TEST_F(PrintDebugTest, DefaultLevelsShowOnlyLevelOneOnStandardOutput) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(1, PrintDebug(1, "shown %d\n", nullptr));
  EXPECT_EQ(0, PrintDebug(2, "hidden\n", nullptr));
  EXPECT_EQ("shown %d\n", testing::internal::GetCapturedStdout());
}

TEST_F(PrintDebugTest, DebugLevelWithScreenOnGoesToStandardError) {
  VerboseLevel = 0;
  DebugLevel = 3;
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, PrintDebug(3, "debug\n", nullptr));
  EXPECT_EQ(0, PrintDebug(4, "deeper\n", nullptr));
  EXPECT_EQ("debug\n", testing::internal::GetCapturedStderr());
}

TEST_F(PrintDebugTest, ScreenOffDropsEverythingWithoutAFile) {
  VerboseLevel = 0;
  PrintDebugOnScreen = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(0, PrintDebug(1, "x", nullptr));
  EXPECT_EQ(0, PrintDebugf(1, "%s", "x"));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

TEST_F(PrintDebugTest, CutsTextsAt4095Characters) {
  std::string text(5000, 'a');
  testing::internal::CaptureStdout();
  PrintDebug(1, text.c_str(), nullptr);
  EXPECT_EQ(4095u, testing::internal::GetCapturedStdout().size());
}

TEST_F(PrintDebugTest, FormatsBeforeHandingOn) {
  testing::internal::CaptureStdout();
  PrintDebugf(1, "%d) %s\n", 7, "x");
  EXPECT_EQ("7) x\n", testing::internal::GetCapturedStdout());
}

}  // namespace
