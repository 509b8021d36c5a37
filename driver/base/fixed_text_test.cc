#include "driver/base/fixed_text.h"

#include <gtest/gtest.h>

namespace {

TEST(FixedText, ValueInitialisedIsEmpty) {
  FixedText<4> text{};
  EXPECT_TRUE(text.empty());
  EXPECT_EQ("", text.view());
}

TEST(FixedText, CutsAssignedAndAppendedValuesToFit) {
  FixedText<5> bus{};
  EXPECT_TRUE(bus.assign("1234"));
  EXPECT_EQ("1234", bus.view());
  EXPECT_FALSE(bus.assign("12345"));
  EXPECT_EQ("1234", bus.view());
  bus.assign_cut("12");
  EXPECT_FALSE(bus.append("345"));
  EXPECT_EQ("1234", bus.view());
  EXPECT_TRUE(bus.starts_with("12"));
  EXPECT_FALSE(bus.starts_with("12345"));
}

TEST(FixedText, CuttingFormsKeepWhatFits) {
  FixedText<5> bus{};
  bus.assign_cut("123456");
  EXPECT_EQ("1234", bus.view());
  bus.assign_cut("12");
  bus.append_cut("345");
  EXPECT_EQ("1234", bus.view());
}

}  // namespace
