// A test fixture whose every test starts with the process state at its
// start values and a scratch directory of its own, root_, removed again
// when the test ends.  A derived SetUp goes on only when root_ was made:
//   ASSERT_NO_FATAL_FAILURE(ScratchDirTest::SetUp());
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/fresh_state_test.h"
#include "tests/support/temp_dir.h"

namespace test_support {

class ScratchDirTest : public FreshStateTest {
 protected:
  void SetUp() override {
    FreshStateTest::SetUp();
    ASSERT_NE("", temp_.path());
    root_ = temp_.path();
  }

  TempDir temp_;
  std::string root_;
};

}  // namespace test_support
