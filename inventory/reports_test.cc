#include "inventory/reports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "driver/base/record_memory.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "tests/support/inventory_util.h"

namespace {

using inventory_test::InventoryTest;
using inventory_test::ListSize;
using inventory_test::ReportFile;

class ReportsTest : public InventoryTest {
 protected:
  int ReadListHbas(const std::string& text) {
    ReportFile report(text);
    return ReadListHbasReport(report.get());
  }
  int ReadAttributes(const std::string& text, hba_info* port) {
    ReportFile report(text);
    return ReadHbaAttributesReport(report.get(), port);
  }
  int ReadTargetMapping(const std::string& text, hba_info* port) {
    ReportFile report(text);
    return ReadTargetMappingReport(report.get(), port);
  }
};

const char kTwoPorts[] =
    "Manageable HBA List\n"
    "\n"
    "Port WWN       : 10:00:00:00:c9:aa:bb:01\n"
    "Node WWN       : 20:00:00:00:c9:aa:bb:01\n"
    "Fabric Name    : 10:00:00:05:1e:00:00:01\n"
    "Flags          : 8000fe0d\n"
    "Host Name      : blade7\n"
    "Mfg            : Emulex Corporation\n"
    "Serial No.     : 5CF1234567\n"
    "Port Number    : 0\n"
    "Mode           : Initiator\n"
    "PCI Bus Number : 4\n"
    "PCI Function   : 2\n"
    "Port Type      : FCoE\n"
    "Model          : OCe11102-FM\n"
    "\n"
    "Current MAC    : 00-00-c9-aa-bb-00\n"
    "Permanent MAC  : 00-00-c9-aa-bb-10\n"
    "Current MAC    : 00-00-c9-aa-bb-11\n"
    "Serial No.     : 5CF1234567\n"
    "PCI Function   : 0\n"
    "Port Type      : NIC\n"
    "Model          : OCe11102-FM\n";

TEST_F(ReportsTest, ListHbasFillsOneRecordPerBlock) {
  ASSERT_EQ(ReadListHbas(kTwoPorts), 0);
  ASSERT_EQ(ListSize(), 2);
  const hba_info* fcoe = p_hba_info_list[0];
  EXPECT_EQ(fcoe->PortWWN, "10:00:00:00:c9:aa:bb:01");
  EXPECT_EQ(fcoe->NodeWWN, "20:00:00:00:c9:aa:bb:01");
  EXPECT_EQ(fcoe->Fabric_Name, "10:00:00:05:1e:00:00:01");
  EXPECT_EQ(fcoe->Flags, "8000fe0d");
  EXPECT_EQ(fcoe->HostName, "blade7");
  EXPECT_EQ(fcoe->Vendor, "Emulex Corporation");
  EXPECT_EQ(fcoe->SerialNumber, "5CF1234567");
  EXPECT_EQ(fcoe->PortNumber, "0");
  EXPECT_EQ(fcoe->Mode, "Initiator");
  EXPECT_EQ(fcoe->PCIBusNumber, "4");
  EXPECT_EQ(fcoe->PortFunction, "2");
  EXPECT_EQ(fcoe->PortType, "FCoE");
  EXPECT_EQ(fcoe->Model, "OCe11102-FM");
  // The "Current MAC" before the second block still fills the first.
  EXPECT_EQ(fcoe->CurrentMAC, "00-00-c9-aa-bb-00");

  const hba_info* nic = p_hba_info_list[1];
  EXPECT_TRUE(nic->PortWWN.empty());
  EXPECT_EQ(nic->PermanentMAC, "00-00-c9-aa-bb-10");
  EXPECT_EQ(nic->CurrentMAC, "00-00-c9-aa-bb-11");
  EXPECT_EQ(nic->PortType, "NIC");
  EXPECT_STREQ(PortAddress(fcoe), "10:00:00:00:c9:aa:bb:01");
  EXPECT_STREQ(PortAddress(nic), "00-00-c9-aa-bb-10");
}

TEST_F(ReportsTest, ListHbasLabelEdges) {
  ASSERT_EQ(ReadListHbas("Serial No: before any port\n"
                         "Model: ignored too\n"
                         "Port WWN\n"                  // no colon: a record all the same
                         "Model: OCe14102\n"           // Model, never Mode
                         "Mode: Target\n"
                         "Modem: m\n"                  // begins with "Mode"
                         "Port Type FCoE\n"            // no colon: nothing stored
                         "Serial No.: \"A1\"\t \n"     // quotes and tabs cleaned
                         "PCI Function:\n"             // ends before the value
                         "PCI Bus Number: 12345\n"     // cut to the field
                         "Flags:x\n"                   // value starts 2 after the colon
                         " Mfg: indented, ignored\n"),
            0);
  ASSERT_EQ(ListSize(), 1);
  const hba_info* port = p_hba_info_list[0];
  EXPECT_TRUE(port->PortWWN.empty());
  EXPECT_EQ(port->Model, "OCe14102");
  EXPECT_EQ(port->Mode, "m");
  EXPECT_TRUE(port->PortType.empty());
  EXPECT_EQ(port->SerialNumber, "A1");
  EXPECT_TRUE(port->PortFunction.empty());
  EXPECT_EQ(port->PCIBusNumber, "123");
  EXPECT_TRUE(port->Flags.empty());
  EXPECT_TRUE(port->Vendor.empty());
}

TEST_F(ReportsTest, ListHbasWithoutPortsLeavesListNull) {
  EXPECT_EQ(ReadListHbas(""), 0);
  EXPECT_EQ(ReadListHbas("No HBAs found\nSerial No: 1\n"), 0);
  EXPECT_EQ(p_hba_info_list, nullptr);
}

TEST_F(ReportsTest, LongPhysicalLineIsReadAsSeveralLines) {
  // 1023 characters fill the buffer; the rest of the physical line is read
  // as a line of its own, which here begins with a label.
  std::string text = "Permanent MAC: 00-00-c9-00-00-01\nHost Name: " + std::string(1012, 'h') +
                     "Serial No: S9\n" + "Model: " + std::string(3000, 'm') + "\n";
  ASSERT_EQ(ReadListHbas(text), 0);
  ASSERT_EQ(ListSize(), 1);
  EXPECT_EQ(p_hba_info_list[0]->HostName, std::string(63, 'h'));
  EXPECT_EQ(p_hba_info_list[0]->SerialNumber, "S9");
  EXPECT_EQ(p_hba_info_list[0]->Model, std::string(63, 'm'));
}

TEST_F(ReportsTest, ListHbasShowsParsedFieldsAtLevelSix) {
  VerboseLevel = 6;
  testing::internal::CaptureStdout();
  ASSERT_EQ(ReadListHbas("Port WWN: 10:00\nMode: Initiator\nPort WWN\nPermanent MAC: 00-11\n"
                         "Node WWN: 20:00\nCurrent MAC: 00-12\nFabric Name: 30\nModel:\n"),
            0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\n1)\tPortWWN: 10:00\n\tInitiator\n"
            "\n3)\tPermanentMAC: 00-11\n\tNodeWWN: 20:00\n\tCurrentMAC: 00-12\n"
            "\tFabric_Name: 30\n\t\n");
}

TEST_F(ReportsTest, ListHbasOutOfMemory) {
  LimitRecordAllocations(2);  // the first record and its list slot
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadListHbas("Port WWN: 1\nPort WWN: 2\n"), RET_MEMALLOC_FAIL);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Error: "), std::string::npos);
  EXPECT_EQ(ListSize(), 1);
}

TEST_F(ReportsTest, AttributesFillTheEntry) {
  hba_info* port = get_new_hba_info_entry();
  port->PortType.assign_cut("FCoE");
  port->PortWWN.assign_cut("10:00:00:00:c9:aa:bb:01");
  ASSERT_EQ(ReadAttributes("Host Name: before the head, ignored\n"
                           "HBA Attributes for 10:00:00:00:c9:aa:bb:01\n"
                           "\n"
                           "Host Name              : blade7\n"
                           "Manufacturer           : Emulex Corporation\n"
                           "Serial Number          : 5CF1234567\n"
                           "Model                  : OCe11102-FM\n"
                           "Model Desc             : Emulex OneConnect 10Gb FCoE\n"
                           "Vendor Spec ID         : 19A2\n"
                           "Device ID              : 0714\n"
                           "Sub Device ID          : E70E\n"
                           "Sub Vendor ID          : 10df\n"
                           "PCI Func Number        : 2\n"
                           "PCI Express Bus Width  : x8\n"
                           "Start-up Boot Code Version : 1.2.3\n"
                           "FW Version             : 4.9.416.0\n",
                           port),
            0);
  const hba_attributes_entry* a = port->Attributes;
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->HostName == "blade7");
  EXPECT_TRUE(a->Model == "OCe11102-FM");
  EXPECT_TRUE(a->ModelDesc == "Emulex OneConnect 10Gb FCoE");
  EXPECT_TRUE(a->PCIFuncNumber == "2");
  EXPECT_TRUE(a->PCIExpressBusWidth == "x8");
  EXPECT_TRUE(a->StartUpBootCodeVersion == "1.2.3");
  EXPECT_TRUE(a->FWVersion == "4.9.416.0");
  EXPECT_EQ(a->PciVendorId, 6562);
  EXPECT_EQ(a->PciDeviceId, 0x0714);
  EXPECT_EQ(a->PciSubDeviceId, 0xE70E);
  EXPECT_EQ(a->PciSubVendorId, 0x10df);
}

TEST_F(ReportsTest, AttributesIdEdges) {
  hba_info* port = get_new_hba_info_entry();
  ASSERT_EQ(ReadAttributes("HBA Attributes for x\n"
                           "Vendor Spec ID:\n"      // empty value: -1
                           "Device ID: 07Z4\n"      // not hexadecimal: -1
                           "Sub Device ID\n"        // no colon: nothing read
                           "Sub Vendor ID: 10DF9\n" // cut to 4 characters
                           "Model Description: d\n",
                           port),
            0);
  const hba_attributes_entry* a = port->Attributes;
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->PciVendorId, -1);
  EXPECT_EQ(a->PciDeviceId, -1);
  EXPECT_EQ(a->PciSubDeviceId, 0);
  EXPECT_EQ(a->PciSubVendorId, 0x10DF);
  EXPECT_TRUE(a->ModelDesc == "d");
  EXPECT_TRUE(a->Model.empty());
}

TEST_F(ReportsTest, EachAttributesHeadStartsAFreshEntry) {
  hba_info* port = get_new_hba_info_entry();
  ASSERT_EQ(ReadAttributes("HBA Attributes for a\nModel: first\nHW Version: 1\n"
                           "HBA Attributes for b\nModel: second\n",
                           port),
            0);
  ASSERT_NE(port->Attributes, nullptr);
  EXPECT_TRUE(port->Attributes->Model == "second");
  EXPECT_TRUE(port->Attributes->HWVersion.empty());

  hba_info* headless = get_new_hba_info_entry();
  ASSERT_EQ(ReadAttributes("Model: m\nVendor Spec ID: 19A2\n", headless), 0);
  EXPECT_EQ(headless->Attributes, nullptr);
}

TEST_F(ReportsTest, AttributesShowSomeLabelsAtLevelSix) {
  hba_info* port = get_new_hba_info_entry();
  port->PermanentMAC.assign_cut("00-11");
  VerboseLevel = 6;
  testing::internal::CaptureStdout();
  ASSERT_EQ(ReadAttributes("HBA Attributes for 00-11\nHost Name: quiet\nModel: M\n"
                           "Model Desc: quiet\nHW Version\nIPL Filename: ipl\n",
                           port),
            0);
  // "HW Version" without a value shows the field as it stands.
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\n\t\tHBA Attributes for 00-11\n\n\t\tM\n\t\t\n\t\tipl\n");
}

TEST_F(ReportsTest, TargetMappingLastValueOfEachLabelWins) {
  hba_info* port = get_new_hba_info_entry();
  ASSERT_EQ(ReadTargetMapping("Target Mapping for 10:00:00:00:c9:aa:bb:01\n"
                              "\n"
                              "Vendor ID: in the head, ignored\n"
                              "SCSI Target 0\n"
                              "FCP LUN          : 0000000000000000\n"
                              "SCSI OS Lun      : 0\n"
                              "Vendor ID        : DGC\n"
                              "Product ID       : RAID 5\n"
                              "Product Version  : 0531\n"
                              "Type             : Disk\n"
                              "SCSI Capacity    : 10 GB\n"
                              "Block Size       : 512 Bytes\n"
                              "\n"
                              "FCP LUN          : 0001000000000000\n"
                              "Vendor ID        : NETAPP\n"
                              "Lun Device Name  : /dev/sdb\n",
                              port),
            0);
  const target_mapping_entry* t = port->TargetMapping;
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->FCPLun == "0001000000000000");
  EXPECT_TRUE(t->SCSIOSLun == "0");
  EXPECT_TRUE(t->VendorID == "NETAPP");
  EXPECT_TRUE(t->ProductID == "RAID 5");
  EXPECT_TRUE(t->ProductVersion == "0531");
  EXPECT_TRUE(t->Type == "Disk");
  EXPECT_TRUE(t->SCSICapacity == "10 GB");
  EXPECT_TRUE(t->BlockSize == "512 Bytes");
  EXPECT_TRUE(t->LunDeviceName == "/dev/sdb");
}

// Every distinct (vendor, product) of the report is kept once, in order of
// first appearance, with the version of its first LUN: 100,000 LUNs of
// three sub-systems keep three.
TEST_F(ReportsTest, TargetMappingKeepsEachDistinctSubsystemOnce) {
  const char* const kLuns[][3] = {
      {"DGC", "VRAID", "0533"}, {"DGC", "LUNZ", "0534"}, {"DGC", "VRAID", "0999"},
      {"HITACHI", "OPEN-V", "8001"}};
  std::string text = "Target Mapping for 10:00:00:00:c9:aa:bb:01:\n\nMapped LUNs : 9\n\n";
  for (int i = 0; i < 100000; ++i) {
    const char* const* lun = kLuns[i < 4 ? i : i % 3];
    text += std::string("FCP LUN          : 0\nVendor ID        : ") + lun[0] +
            "\nProduct ID       : " + lun[1] + "\nProduct Version  : " + lun[2] + "\n\n";
  }
  hba_info* port = get_new_hba_info_entry();
  ASSERT_EQ(ReadTargetMapping(text, port), 0);
  ASSERT_EQ(port->SubsystemCount, 3);
  const storage_subsystem* s = port->Subsystems;
  EXPECT_EQ(std::string(s[0].VendorID.c_str()) + " " + s[0].ProductID.c_str() + " " +
                s[0].ProductVersion.c_str() + ", " + s[1].ProductID.c_str() + " " +
                s[1].ProductVersion.c_str() + ", " + s[2].VendorID.c_str() + " " +
                s[2].ProductID.c_str() + " " + s[2].ProductVersion.c_str(),
            "DGC VRAID 0533, LUNZ 0534, HITACHI OPEN-V 8001");
  // The target mapping itself still holds the last value of each label.
  EXPECT_TRUE(port->TargetMapping->VendorID == "DGC" && port->TargetMapping->ProductID == "VRAID");
}

TEST_F(ReportsTest, TargetMappingFifthLineRule) {
  hba_info* short_report = get_new_hba_info_entry();
  ASSERT_EQ(ReadTargetMapping("a: 1\nb: 2\nVendor ID: X\nd: 4\n", short_report), 0);
  EXPECT_EQ(short_report->TargetMapping, nullptr);

  hba_info* no_colon = get_new_hba_info_entry();
  ASSERT_EQ(ReadTargetMapping("1\n2\n3\n4\nVendor ID X\nNo LUNs\n", no_colon), 0);
  EXPECT_EQ(no_colon->TargetMapping, nullptr);

  // The entry is made at the first line with a colon from line 5 on, and
  // that line is read into it.
  hba_info* late = get_new_hba_info_entry();
  ASSERT_EQ(ReadTargetMapping("1\n2\n3\n4\nVendor ID X\nsix\nVendor ID: LATE\n", late), 0);
  ASSERT_NE(late->TargetMapping, nullptr);
  EXPECT_TRUE(late->TargetMapping->VendorID == "LATE");

  // A colon in an unknown line makes an empty entry.
  hba_info* empty = get_new_hba_info_entry();
  ASSERT_EQ(ReadTargetMapping("1\n2\n3\n4\nSCSI Target: 0\n", empty), 0);
  ASSERT_NE(empty->TargetMapping, nullptr);
  EXPECT_TRUE(empty->TargetMapping->VendorID.empty());
}

TEST_F(ReportsTest, TargetMappingShowsAtLevelSix) {
  hba_info* port = get_new_hba_info_entry();
  port->PortWWN.assign_cut("10:01");
  VerboseLevel = 6;
  testing::internal::CaptureStdout();
  ASSERT_EQ(ReadTargetMapping("Target Mapping for 10:01\n2\n3\n4\nVendor ID: V\nType\n", port), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\n\t\t\tTarget Mapping for 10:01\n\t\t\tV\n\t\t\t\n");
}

TEST_F(ReportsTest, ReportEntriesOutOfMemory) {
  hba_info* port = get_new_hba_info_entry();
  LimitRecordAllocations(0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadAttributes("HBA Attributes for x\n", port), RET_MEMALLOC_FAIL);
  EXPECT_EQ(ReadTargetMapping("1\n2\n3\n4\nx: y\n", port), RET_MEMALLOC_FAIL);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(port->Attributes, nullptr);
  EXPECT_EQ(port->TargetMapping, nullptr);
}

// Every text field of a record holds its terminator within its width.
template <std::size_t N>
void ExpectTerminated(const FixedText<N>& field) {
  EXPECT_LT(strnlen(field.text, N), N);
}

void ExpectSound(const hba_info* port) {
  ExpectTerminated(port->PortWWN);
  ExpectTerminated(port->PermanentMAC);
  ExpectTerminated(port->SerialNumber);
  ExpectTerminated(port->PortFunction);
  ExpectTerminated(port->PCIBusNumber);
  ExpectTerminated(port->Model);
  ExpectTerminated(port->Mode);
  if (const hba_attributes_entry* a = port->Attributes) {
    ExpectTerminated(a->VendorSpecID);
    ExpectTerminated(a->ModelDesc);
    ExpectTerminated(a->PCIExpressBusWidth);
  }
  if (const target_mapping_entry* t = port->TargetMapping) {
    ExpectTerminated(t->VendorID);
    ExpectTerminated(t->Type);
  }
}

// Reports made of label pieces, colons, blanks, tabs, quotes, NULs and long
// runs: nothing may be written past a field (the sanitizers watch).
TEST_F(ReportsTest, ReadersSurviveArbitraryReports) {
  const char* pieces[] = {"Port WWN", "Permanent MAC", "Serial No", "Model", "Mode",
                          "PCI Function", "HBA Attributes for", "Vendor Spec ID", "Device ID",
                          "Model Desc", "Target Mapping for", "Vendor ID", "Type", ":", ": ",
                          " ", "\t", "\"", "\n", "\n\n", "19A2", "n/a", "-", "0x"};
  std::mt19937 random(20240611);
  for (int round = 0; round < 1500; ++round) {
    std::string text;
    int count = static_cast<int>(random() % 60);
    for (int i = 0; i < count; ++i) {
      switch (random() % 8) {
        case 0:
          text.append(random() % 1500, static_cast<char>('A' + random() % 26));
          break;
        case 1:
          text.push_back(static_cast<char>(random() % 256));
          break;
        default:
          text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
      }
    }
    ASSERT_EQ(ReadListHbas(text), 0);
    hba_info* port = get_new_hba_info_entry();
    ASSERT_EQ(ReadAttributes(text, port), 0);
    ASSERT_EQ(ReadTargetMapping(text, port), 0);
    for (int i = 0; p_hba_info_list[i] != nullptr; ++i) ExpectSound(p_hba_info_list[i]);
    FreeHbaInfoList();
  }
}

}  // namespace
