// A test fixture whose every test starts and ends with the process state
// at its start values.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/process_state.h"

namespace test_support {

class FreshStateTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProcessState(); }
  void TearDown() override { ResetProcessState(); }
};

}  // namespace test_support
