#include "inventory/collect.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "driver/base/record_memory.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "tests/support/inventory_util.h"

namespace {

using inventory_test::InventoryTest;
using inventory_test::ListSize;
using inventory_test::TempDir;

// A stand-in for hbacmd: logs its arguments, one call a line with every
// word in brackets, prints canned/<command>_<address> (canned/listhbas for
// listhbas) and exits with the number in the same name plus ".status".
const char kFakeHbacmd[] =
    "#!/bin/sh\n"
    "d=\"$(dirname \"$0\")/..\"\n"
    "{ for a in \"$@\"; do printf '[%s]' \"$a\"; done; echo; } >> \"$d/calls.log\"\n"
    "if [ \"$1\" = listhbas ]; then f=\"$d/canned/listhbas\"; else f=\"$d/canned/$1_$2\"; fi\n"
    "[ -f \"$f\" ] && cat \"$f\"\n"
    "[ -f \"$f.status\" ] && exit \"$(cat \"$f.status\")\"\n"
    "exit 0\n";

const char kFCoEWWN[] = "10:00:00:00:c9:aa:bb:02";
const char kFCWWN[] = "10:00:00:00:c9:cc:dd:01";
const char kNicMAC[] = "00-00-c9-aa-bb-10";
const char kISCSIMAC[] = "00-00-c9-aa-bb-11";

std::string PortBlock(const std::string& address_line, const std::string& serial,
                      const std::string& function, const std::string& type) {
  return address_line + "\nSerial No.     : " + serial + "\nPort Number    : 0\n" +
         "PCI Function   : " + function + "\nPort Type      : " + type +
         "\nModel          : OCe11102-FM\n\n";
}

std::string Attributes(const std::string& address, const std::string& device) {
  return "HBA Attributes for " + address + "\n\nModel          : OCe11102-FM\n" +
         "Vendor Spec ID : 19A2\nDevice ID      : " + device + "\n" +
         "Sub Vendor ID  : 10DF\nSub Device ID  : E70E\n";
}

const char kTargetMapping[] =
    "Target Mapping for 10:00:00:00:c9:aa:bb:02\n\nSCSI Target 0\n\n"
    "FCP LUN         : 0000000000000000\nVendor ID       : DGC\n"
    "Product ID      : RAID 5\nProduct Version : 0531\n";

class CollectTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    dir_.Write("bin/hbacmd", kFakeHbacmd);
    ASSERT_EQ(chmod((dir_.path() + "/bin/hbacmd").c_str(), 0755), 0);
    dir_.Write("work/.keep", "");
    dir_.Write("cwd/.keep", "");
    pHBAFlashCmdPath.assign_cut(dir_.path() + "/bin/hbacmd");
    pHBAWorkingPath.assign_cut(dir_.path() + "/work/");
    // The shell starts where we are: a hostile value that ran would leave
    // its traces here.
    ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
    ASSERT_EQ(chdir((dir_.path() + "/cwd").c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(old_cwd_), 0);
    InventoryTest::TearDown();
  }

  void Canned(const std::string& name, const std::string& text) {
    dir_.Write("canned/" + name, text);
  }
  // The usual site: an FCoE port and a NIC and an iSCSI function of one
  // adapter, and a pure FC port of another.
  void CannedSite() {
    Canned("listhbas", "Manageable HBA List\n\n" +
                           PortBlock("Port WWN       : " + std::string(kFCoEWWN), "SN1", "2",
                                     "FCoE") +
                           PortBlock("Permanent MAC  : " + std::string(kNicMAC), "SN1", "0", "NIC") +
                           PortBlock("Port WWN       : " + std::string(kFCWWN), "SN2", "0", "FC") +
                           PortBlock("Permanent MAC  : " + std::string(kISCSIMAC), "SN1", "1",
                                     "iSCSI"));
    Canned(std::string("hbaattributes_") + kFCoEWWN, Attributes(kFCoEWWN, "0714"));
    Canned(std::string("hbaattributes_") + kNicMAC, Attributes(kNicMAC, "0710"));
    Canned(std::string("hbaattributes_") + kFCWWN, Attributes(kFCWWN, "F100"));
    Canned(std::string("hbaattributes_") + kISCSIMAC, Attributes(kISCSIMAC, "0712"));
    Canned(std::string("targetmapping_") + kFCoEWWN, kTargetMapping);
  }

  int Collect(std::string* out = nullptr) {
    // The shell's complaints about files it cannot create are not ours.
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    int result = Get_All_Hba_Info();
    std::string text = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    if (out != nullptr) *out = text;
    return result;
  }
  std::string Calls() const { return dir_.Read("calls.log"); }
  std::string Work() const { return pHBAWorkingPath.c_str(); }

  TempDir dir_;
  char old_cwd_[PATH_MAX];
};

TEST_F(CollectTest, BuildsTheInventoryFromTheThreeReports) {
  CannedSite();
  ASSERT_EQ(Collect(), 0);
  EXPECT_EQ(Calls(), std::string("[listhbas]\n") +
                         "[hbaattributes][" + kFCoEWWN + "]\n" +
                         "[hbaattributes][" + kNicMAC + "]\n" +
                         "[hbaattributes][" + kFCWWN + "]\n" +
                         "[hbaattributes][" + kISCSIMAC + "]\n" +
                         "[targetmapping][" + kFCoEWWN + "]\n" +
                         "[targetmapping][" + kFCWWN + "]\n");
  ASSERT_EQ(ListSize(), 4);
  const hba_info* fcoe = p_hba_info_list[0];
  ASSERT_NE(fcoe->Attributes, nullptr);
  EXPECT_EQ(fcoe->Attributes->PciVendorId, 0x19A2);
  EXPECT_EQ(fcoe->Attributes->PciDeviceId, 0x0714);
  EXPECT_EQ(fcoe->Attributes->PciSubVendorId, 0x10DF);
  EXPECT_EQ(fcoe->Attributes->PciSubDeviceId, 0xE70E);
  ASSERT_NE(fcoe->TargetMapping, nullptr);
  EXPECT_EQ(fcoe->TargetMapping->VendorID, "DGC");
  EXPECT_EQ(fcoe->TargetMapping->ProductID, "RAID 5");
  EXPECT_EQ(p_hba_info_list[1]->Attributes->PciDeviceId, 0x0710);
  EXPECT_EQ(p_hba_info_list[1]->TargetMapping, nullptr);
  EXPECT_EQ(p_hba_info_list[3]->Attributes->PciDeviceId, 0x0712);
  // The FC port's report is empty: four lines or fewer make no entry.
  EXPECT_EQ(p_hba_info_list[2]->TargetMapping, nullptr);
  EXPECT_TRUE(dir_.Exists("work/SN1_2_target_mapping.out"));
  EXPECT_TRUE(dir_.Exists("work/SN1_1_hba_attributes.out"));
}

TEST_F(CollectTest, ShowsCommandsAndStatusesAtLevelSix) {
  CannedSite();
  Canned(std::string("hbaattributes_") + kNicMAC + ".status", "2");
  Canned(std::string("targetmapping_") + kFCWWN + ".status", "1");
  VerboseLevel = 6;
  std::string out;
  ASSERT_EQ(Collect(&out), 0);
  std::string cmd = pHBAFlashCmdPath.c_str();
  EXPECT_NE(out.find(cmd + " listhbas > " + Work() + "/local_hba_list.out \n"
                     "\nSuccess, \"hbacmd listhbas\" command returned code 0.\n"),
            std::string::npos);
  EXPECT_NE(out.find("\n\t\t" + cmd + " hbaattributes " + kFCoEWWN + " > " + Work() +
                     "/SN1_2_hba_attributes.out\n" +
                     "\n\t\tSuccess, \"hbacmd hbaattributes " + kFCoEWWN +
                     "\" command returned code 0.\n"),
            std::string::npos);
  // A failed hbaattributes is only reported; its report is read all the same.
  EXPECT_NE(out.find(std::string("\n\t\tFail, \"hbacmd hbaattributes ") + kNicMAC +
                     "\" command returned code 512.\n"),
            std::string::npos);
  EXPECT_EQ(p_hba_info_list[1]->Attributes->PciDeviceId, 0x0710);
  EXPECT_NE(out.find("\n\t\t\t" + cmd + " targetmapping " + kFCoEWWN + " > " + Work() +
                     "/SN1_2_target_mapping.out\n"),
            std::string::npos);
  EXPECT_NE(out.find(std::string("\n\n\t\t\tFail, \"hbacmd targetmapping ") + kFCWWN +
                     "\" command returned code 256.\n"),
            std::string::npos);
  EXPECT_NE(out.find("\n\t\t\tTarget Mapping for 10:00:00:00:c9:aa:bb:02\n"), std::string::npos);
}

TEST_F(CollectTest, SimulationReadsTheReportsAlreadyThere) {
  pHBAFlashCmdPath.assign_cut(dir_.path() + "/nowhere/hbacmd");
  active_option_simulate = 1;
  dir_.Write("work/local_hba_list.out", PortBlock("Port WWN: 10:01", "SN7", "0", "FCoE"));
  dir_.Write("work/SN7_0_hba_attributes.out", Attributes("10:01", "0714"));
  dir_.Write("work/SN7_0_target_mapping.out", kTargetMapping);
  VerboseLevel = 6;
  std::string out;
  ASSERT_EQ(Collect(&out), 0);
  EXPECT_FALSE(dir_.Exists("calls.log"));
  ASSERT_EQ(ListSize(), 1);
  EXPECT_EQ(p_hba_info_list[0]->Attributes->PciDeviceId, 0x0714);
  EXPECT_EQ(p_hba_info_list[0]->TargetMapping->VendorID, "DGC");
  // The command lines are shown all the same.
  EXPECT_NE(out.find(" listhbas > "), std::string::npos);
}

TEST_F(CollectTest, SimulationWithoutReports) {
  active_option_simulate = 1;
  std::string out;
  EXPECT_EQ(Collect(&out), RET_REPORT_FILE_MISSING);
  EXPECT_EQ(out, "Error: Could not open file " + Work() + "/local_hba_list.out\n");
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(CollectTest, MissingHbacmd) {
  pHBAFlashCmdPath.assign_cut(dir_.path() + "/nowhere/hbacmd");
  std::string out;
  EXPECT_EQ(Collect(&out), RET_SCLI_NOT_INSTALLED);
  EXPECT_EQ(out, "\t\tCommand " + dir_.path() + "/nowhere/hbacmd is not available!\n\n");
  EXPECT_EQ(p_hba_info_list, nullptr);
}

TEST_F(CollectTest, FailedListHbasEndsTheCollectionAtAnyLevel) {
  CannedSite();
  Canned("listhbas.status", "3");
  std::string out;
  VerboseLevel = 4;
  EXPECT_EQ(Collect(&out), RET_FATAL_ERROR);
  EXPECT_EQ(out, "\nFail, \"hbacmd listhbas\" command returned code 768.\n");
  // Silent: the report of the failed command is not read either.
  VerboseLevel = 0;
  DebugLevel = 0;
  PrintDebugOnScreen = 0;
  EXPECT_EQ(Collect(&out), RET_FATAL_ERROR);
  EXPECT_EQ(out, "");
  EXPECT_EQ(p_hba_info_list, nullptr);
  EXPECT_EQ(Calls(), "[listhbas]\n[listhbas]\n");
}

TEST_F(CollectTest, NoPortsListed) {
  Canned("listhbas", "No HBAs found.\n");
  EXPECT_EQ(Collect(), RET_NO_FC_CTRL_INSTALLED);
  EXPECT_EQ(Calls(), "[listhbas]\n");
}

TEST_F(CollectTest, PortsWithoutSerialNumberAreNotRead) {
  Canned("listhbas", PortBlock("Port WWN: 10:01", "n/a", "0", "FCoE"));
  std::string out;
  ASSERT_EQ(Collect(&out), 0);
  EXPECT_EQ(out, "\t\tNo serial number => SKIP!\n\t\t\tNo serial number => SKIP!\n");
  // Both commands are still run; the shell cannot create their files.
  FreeHbaInfoList();
  VerboseLevel = 6;
  ASSERT_EQ(Collect(&out), 0);
  EXPECT_NE(out.find(" hbaattributes 10:01 > " + Work() + "/n/a_0_hba_attributes.out\n"
                     "\n\t\tFail, \"hbacmd hbaattributes 10:01\" command returned code 512.\n"),
            std::string::npos);
  EXPECT_NE(out.find(" targetmapping 10:01 > " + Work() + "/n/a_0_target_mapping.out\n"
                     "\n\n\t\t\tFail, \"hbacmd targetmapping 10:01\" command returned code 512.\n"),
            std::string::npos);
  EXPECT_EQ(p_hba_info_list[0]->Attributes, nullptr);
  EXPECT_EQ(p_hba_info_list[0]->TargetMapping, nullptr);
}

TEST_F(CollectTest, SerialThatCannotNameAFile) {
  Canned("listhbas", PortBlock("Port WWN: 10:01", "ab/cd", "0", "FCoE") +
                         PortBlock("Permanent MAC: 00-01", "SN1", "0", "NIC"));
  Canned("hbaattributes_00-01", Attributes("00-01", "0714"));
  std::string out;
  EXPECT_EQ(Collect(&out), RET_REPORT_FILE_MISSING);
  // The ports after it are not reached; what was collected stays.
  ASSERT_EQ(ListSize(), 2);
  EXPECT_EQ(p_hba_info_list[1]->Attributes, nullptr);
  EXPECT_EQ(out, "Error: Could not open file " + Work() + "/ab/cd_0_hba_attributes.out\n");
  EXPECT_EQ(Calls(), "[listhbas]\n");
}

// Values from the reports reach the shell as words, never as commands.
TEST_F(CollectTest, HostileValuesRunNothing) {
  Canned("listhbas", PortBlock("Port WWN: 10:01", "X;touch pwned", "0", "FCoE") +
                         PortBlock("Permanent MAC: $(touch pwned)", "a'b;touch pwned", "1", "NIC") +
                         PortBlock("Port WWN: `touch pwned`", "S|touch pwned", "2", "FC"));
  Canned("hbaattributes_10:01", Attributes("10:01", "0714"));
  ASSERT_EQ(Collect(), 0);
  EXPECT_FALSE(dir_.Exists("cwd/pwned"));
  EXPECT_FALSE(dir_.Exists("work/pwned"));
  EXPECT_FALSE(dir_.Exists("pwned"));
  EXPECT_EQ(Calls(), "[listhbas]\n"
                     "[hbaattributes][10:01]\n"
                     "[hbaattributes][$(touch pwned)]\n"
                     "[hbaattributes][`touch pwned`]\n"
                     "[targetmapping][10:01]\n"
                     "[targetmapping][`touch pwned`]\n");
  // The reports land under the serial numbers as they stand.
  EXPECT_TRUE(dir_.Exists("work/X;touch pwned_0_hba_attributes.out"));
  EXPECT_TRUE(dir_.Exists("work/a'b;touch pwned_1_hba_attributes.out"));
  ASSERT_NE(p_hba_info_list[0]->Attributes, nullptr);
  EXPECT_EQ(p_hba_info_list[0]->Attributes->PciDeviceId, 0x0714);
}

TEST_F(CollectTest, OutOfMemory) {
  CannedSite();
  LimitRecordAllocations(3);  // two records and the list: no attributes
  std::string out;
  EXPECT_EQ(Collect(&out), RET_MEMALLOC_FAIL);
  EXPECT_NE(out.find("Error: "), std::string::npos);
}

}  // namespace
