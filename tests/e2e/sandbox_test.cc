// sim/sandbox itself, used the way the README tells an administrator to try
// a conditions file: started from the checkout, with the program named by a
// path relative to it and another directory to start in.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e/harness.h"

namespace {

TEST(Sandbox, RelativeCommandIsTheCallersEvenAfterCwd) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  // "build/fcguard", seen from the directory above the build directory.
  std::filesystem::path build(e2e::BinaryDir());
  std::string caller = build.parent_path().string();
  std::string command = build.filename().string() + "/fcguard";
  e2e::Result result = e2e::RunCommand(
      {"/bin/bash", e2e::SourceDir() + "/sim/sandbox", "--sim", e2e::BinaryDir() + "/hbacmd-sim",
       "--cwd", scenario.Path(), "--argv0", "./fcguard", "--", command, "-v", "0", "-pci-id",
       "19A2:0714"},
      {"PATH=/usr/sbin:/usr/bin:/sbin:/bin",
       "HBACMD_SIM_SITE=" + e2e::SourceDir() + "/sim/sites/cna-basic.site"},
      caller);
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_TRUE(scenario.Exists("local_hba_list.out"));
}

}  // namespace
