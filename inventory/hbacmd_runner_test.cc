#include "inventory/hbacmd_runner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "inventory/collect.h"
#include "tests/support/inventory_util.h"

namespace {

using inventory_test::InventoryTest;
using inventory_test::TempDir;

class HbacmdRunnerTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    pHBAFlashCmdPath.assign_cut("/opt/emulex/ocmanager/bin/hbacmd");
    pHBAWorkingPath.assign_cut("/root/fc/");
    port_.PortWWN.assign_cut("10:00:00:00:c9:aa:bb:01");
    port_.PermanentMAC.assign_cut("00-00-c9-aa-bb-10");
    port_.SerialNumber.assign_cut("5CF1234567");
    port_.PortFunction.assign_cut("2");
    port_.PortType.assign_cut("FCoE");
  }
  hba_info port_{};
};

TEST_F(HbacmdRunnerTest, OrdinaryValuesGiveTheCommandLinesAsFormatted) {
  EXPECT_EQ(ListHbasCommand(), "/opt/emulex/ocmanager/bin/hbacmd listhbas > "
                               "/root/fc//local_hba_list.out \n");
  EXPECT_EQ(PortReportCommand(kHbaAttributesReport, &port_),
            "\n\t\t/opt/emulex/ocmanager/bin/hbacmd hbaattributes 10:00:00:00:c9:aa:bb:01 > "
            "/root/fc//5CF1234567_2_hba_attributes.out\n");
  EXPECT_EQ(PortReportCommand(kTargetMappingReport, &port_),
            "\n\t\t\t/opt/emulex/ocmanager/bin/hbacmd targetmapping 10:00:00:00:c9:aa:bb:01 > "
            "/root/fc//5CF1234567_2_target_mapping.out\n");

  // Other ports by their MAC; empty values and "n/a" need no quotes.
  port_.PortType.assign_cut("iSCSI");
  EXPECT_EQ(PortReportCommand(kHbaAttributesReport, &port_),
            "\n\t\t/opt/emulex/ocmanager/bin/hbacmd hbaattributes 00-00-c9-aa-bb-10 > "
            "/root/fc//5CF1234567_2_hba_attributes.out\n");
  port_.SerialNumber.assign_cut("n/a");
  port_.PermanentMAC.clear();
  EXPECT_EQ(PortReportCommand(kHbaAttributesReport, &port_),
            "\n\t\t/opt/emulex/ocmanager/bin/hbacmd hbaattributes  > "
            "/root/fc//n/a_2_hba_attributes.out\n");
}

TEST_F(HbacmdRunnerTest, HostileValuesStayOneWord) {
  port_.SerialNumber.assign_cut("X;touch x");
  port_.PortFunction.assign_cut("0&");
  port_.PortWWN.assign_cut("$(reboot)");
  pHBAWorkingPath.assign_cut("/root/my fc/");
  EXPECT_EQ(PortReportCommand(kTargetMappingReport, &port_),
            "\n\t\t\t/opt/emulex/ocmanager/bin/hbacmd targetmapping '$(reboot)' > "
            "'/root/my fc/'/'X;touch x'_'0&'_target_mapping.out\n");
  port_.SerialNumber.assign_cut("a'b`c`");
  EXPECT_EQ(ListHbasCommand(), "/opt/emulex/ocmanager/bin/hbacmd listhbas > "
                               "'/root/my fc/'/local_hba_list.out \n");
  EXPECT_EQ(PortReportCommand(kHbaAttributesReport, &port_),
            "\n\t\t/opt/emulex/ocmanager/bin/hbacmd hbaattributes '$(reboot)' > "
            "'/root/my fc/'/'a'\\''b`c`'_'0&'_hba_attributes.out\n");
  // The files are read back under the values as they stand.
  EXPECT_EQ(PortReportFile(&port_, kHbaAttributesFile), "/root/my fc//a'b`c`_0&_hba_attributes.out");
  EXPECT_EQ(ListHbasFile(), "/root/my fc//local_hba_list.out");
}

TEST_F(HbacmdRunnerTest, RunHbacmdReportsTheRawStatusUnlessSimulating) {
  VerboseLevel = 6;
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunHbacmd("exit 3"), 3 << 8);
  active_option_simulate = 1;
  EXPECT_EQ(RunHbacmd("exit 3"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "exit 3exit 3");
}

class LocateHbacmdTest : public InventoryTest {
 protected:
  std::string Locate(int* result) {
    testing::internal::CaptureStdout();
    *result = LocateHbacmd(first_.c_str(), second_.c_str());
    return testing::internal::GetCapturedStdout();
  }
  TempDir dir_;
  std::string first_ = dir_.path() + "/sbin/hbacmd";
  std::string second_ = dir_.path() + "/opt/hbacmd";
};

TEST_F(LocateHbacmdTest, NeitherPlace) {
  pHBAFlashCmdPath.assign_cut("stale");
  int result = 0;
  VerboseLevel = 3;
  EXPECT_EQ(Locate(&result),
            "Info: Flash command " + first_ + " is not available: No such file or directory\n\n" +
                "Error: Flash command " + second_ +
                " is not available: No such file or directory\n\n");
  EXPECT_EQ(result, RET_SCLI_NOT_INSTALLED);
  EXPECT_TRUE(pHBAFlashCmdPath.empty());

  VerboseLevel = 1;
  EXPECT_EQ(Locate(&result), "Error: Flash command " + second_ +
                                 " is not available: No such file or directory\n\n");
  VerboseLevel = 0;
  DebugLevel = 0;
  EXPECT_EQ(Locate(&result), "");
  EXPECT_EQ(result, RET_SCLI_NOT_INSTALLED);
}

TEST_F(LocateHbacmdTest, FirstPlaceWins) {
  dir_.Write("sbin/hbacmd", "");
  dir_.Write("opt/hbacmd", "");
  int result = -1;
  VerboseLevel = 3;
  EXPECT_EQ(Locate(&result), "Info: Found flash command: " + first_ + "\n\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(pHBAFlashCmdPath.view(), first_);
}

TEST_F(LocateHbacmdTest, SecondPlace) {
  dir_.Write("opt/hbacmd", "");
  int result = -1;
  VerboseLevel = 2;  // the Info texts need a level above 2
  EXPECT_EQ(Locate(&result), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(pHBAFlashCmdPath.view(), second_);
  VerboseLevel = 3;
  EXPECT_EQ(Locate(&result),
            "Info: Flash command " + first_ + " is not available: No such file or directory\n\n" +
                "Info: Found flash command: " + second_ + "\n\n");
}

class GetHbaCmdPathTest : public InventoryTest {};

TEST_F(GetHbaCmdPathTest, LooksAtTheFixedPlaces) {
  const char* sbin = "/usr/sbin/ocmanager/hbacmd";
  const char* opt = "/opt/emulex/ocmanager/bin/hbacmd";
  FILE* probe_sbin = std::fopen(sbin, "r");
  FILE* probe_opt = std::fopen(opt, "r");
  if (probe_sbin != nullptr) std::fclose(probe_sbin);
  if (probe_opt != nullptr) std::fclose(probe_opt);
  if (probe_sbin != nullptr || probe_opt != nullptr) GTEST_SKIP() << "hbacmd is installed here";
  VerboseLevel = 3;
  testing::internal::CaptureStdout();
  EXPECT_EQ(Get_HbaCmd_Path(), RET_SCLI_NOT_INSTALLED);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Info: Flash command /usr/sbin/ocmanager/hbacmd is not available: "),
            std::string::npos);
  EXPECT_NE(out.find("Error: Flash command /opt/emulex/ocmanager/bin/hbacmd is not available: "),
            std::string::npos);
}

}  // namespace
