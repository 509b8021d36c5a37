#include <gtest/gtest.h>

#include <string>

#include "check/overall_check.h"
#include "driver/base/settings.h"
#include "tests/support/check_records.h"

namespace {

using check_test::Conditions;
using check_test::Inventory;
using check_test::PortFields;
using check_test::Selections;
using check_test::StartFlags;
using test_support::Count;
using test_support::kDash;
using test_support::kStars;

class OverallTest : public check_test::CheckTest {
 protected:
  // One adapter: a NIC function 0 (device 0710) as flash partner and an
  // FCoE function 2 (device 0714) chained behind it.  Returns the FCoE port.
  hba_info* AddAdapter(const std::string& serial, const std::string& sub_vendor = "10CF",
                       const std::string& sub_device = "1234") {
    PortFields nic;
    nic.serial = serial;
    nic.type = "NIC";
    nic.function = "0";
    hba_info* partner = inventory_.AddPort(nic);
    inventory_.SetIds(partner, "19A2", "0710", sub_vendor, sub_device);
    PortFields fcoe;
    fcoe.serial = serial;
    fcoe.wwn = "10:00:" + serial;
    hba_info* port = inventory_.AddPort(fcoe);
    inventory_.SetIds(port, "19A2", "0714", sub_vendor, sub_device);
    partner->FlashPartner = partner;
    port->FlashPartner = partner;
    partner->NextFCoEPort = port;
    return port;
  }

  bool Run() {
    inventory_.Install();
    conditions_.Install();
    return OverallSubSystemCheck(selections_.Head(), &flags_);
  }
  std::string CapturedRun() {
    StartCapture();
    Run();
    return Captured();
  }

  Inventory inventory_;
  Conditions conditions_;
  Selections selections_;
  global_ctrl_flags flags_ = StartFlags();
};

std::string BannersOnly() {
  return "\n\n" + kStars + "\n" + kStars + "\n" + "\n" + kStars + "\n" + kStars + "\n\n";
}
std::string InLine(int n) {
  return "\tFound a matching controller-device in line " + std::to_string(n) + ":\n";
}

// --- exact output ----------------------------------------------------------

class RepresentativeRun : public OverallTest {
 protected:
  void SetUp() override {
    OverallTest::SetUp();
    PortFields none;
    none.serial = "n/a";
    hba_info* unnamed = inventory_.AddPort(none);
    inventory_.SetIds(unnamed, "19A2", "0714", "10CF", "1234");
    hba_info* port = AddAdapter("SN1");
    inventory_.Attach(port, "DGC", "VRAID", "0533");
    conditions_.Allow(conditions_.AddEntry("Emulex", "OCe14102"), "DGC", "");
    selections_.Add("19A2", "0714");
    active_option_valid_subsystem = 1;
  }
};

TEST_F(RepresentativeRun, OutputAtLevelSix) {
  VerboseLevel = 6;
  EXPECT_EQ(
      "\n\n"
      "*********+*********+*********+*********+*********+*********+*********+*********+\n"
      "*********+*********+*********+*********+*********+*********+*********+*********+\n"
      "\tVendor: Emulex Model: OCe14102; SN: n/a port: 0 function: 2\n"
      "\tNo serial number => SKIP\n"
      "---------+---------+---------+---------+---------+---------+---------+---------+\n"
      "\tFC_HBA_Conditions.txt:\n"
      "\tFound a matching controller-device in line 1:\n"
      "\t\tvendor-id: 19A2, device-id: 0714\n"
      "\t\tsubvendor-id: 10CF, subdevice-id: 1234\n"
      "\t\tCorrespondig data: vendor: Emulex; model: OCe14102\n\n"
      "\n\t\t---------+---------+---------+---------+---------+---------+---------+---------+\n"
      "\n\t\tPerform subsystem check for:\n"
      "\t\tVendor: Emulex, Model: OCe14102 SerialNumber: SN1 PortType: FCoE PortNumber: 0 PCI function: 2\n"
      "\n\t\tAttached storage sub-system:\n\t\t\t\tDGC\n\t\t\t\tVRAID\n\t\t\t\t0533\n"
      "\n" +
      test_support::TakenAsReferences(PortFields()) +
      "---------+---------+---------+---------+---------+---------+---------+---------+\n"
      "\n"
      "*********+*********+*********+*********+*********+*********+*********+*********+\n"
      "*********+*********+*********+*********+*********+*********+*********+*********+\n"
      "\n",
      CapturedRun());
}

TEST_F(RepresentativeRun, OutputAtLevelOne) {
  StartCapture();
  EXPECT_TRUE(Run());
  EXPECT_EQ(
      "\n\t\t---------+---------+---------+---------+---------+---------+---------+---------+\n"
      "\n\t\tPerform subsystem check for:\n"
      "\t\tVendor: Emulex, Model: OCe14102 SerialNumber: SN1 PortType: FCoE PortNumber: 0 PCI function: 2\n"
      "\n\t\tAttached storage sub-system:\n\t\t\t\tDGC\n\t\t\t\tVRAID\n\t\t\t\t0533\n"
      "\n"
      "\n",
      Captured());
  EXPECT_EQ(1, flags_.MatchingCtrlModelInstalled);
}

// --- selections ------------------------------------------------------------

TEST_F(OverallTest, EmptySelectionListPrintsOnlyTheBanners) {
  AddAdapter("SN1");
  conditions_.AddEntry("Emulex", "OCe14102");
  active_option_valid_subsystem = 1;
  VerboseLevel = 3;
  StartCapture();
  EXPECT_TRUE(Run());
  EXPECT_EQ(BannersOnly(), Captured());
  EXPECT_EQ(0, flags_.MatchingCtrlModelInstalled);
}

TEST_F(OverallTest, NoInventoryAndNoConditionsMatchNothing) {
  selections_.Add("19A2", "0714");
  EXPECT_TRUE(OverallSubSystemCheck(selections_.Head(), &flags_));
  EXPECT_EQ(0, flags_.MatchingCtrlModelInstalled);

  hba_info* port = AddAdapter("SN1");
  inventory_.Install();
  EXPECT_TRUE(OverallSubSystemCheck(selections_.Head(), &flags_));
  EXPECT_EQ(1, flags_.MatchingCtrlModelInstalled);
  EXPECT_FALSE(port->SubsystemCheckDone);
}

TEST_F(OverallTest, MatchedPortWithoutFittingEntryPassesEveryCheck) {
  hba_info* port = AddAdapter("SN1");
  inventory_.Attach(port, "HP", "X", "1");
  conditions_.Allow(conditions_.AddEntry("Emulex", "OCe14102", "19A2", "0715"), "DGC", "");
  selections_.Add("19A2", "0714");
  active_option_valid_subsystem = 1;
  EXPECT_TRUE(Run());
  EXPECT_EQ(1, flags_.MatchingCtrlModelInstalled);
  EXPECT_EQ(0, flags_.InvalidCtrlSubsystemCombinationFound);
  EXPECT_FALSE(port->SubsystemCheckDone);
}

TEST_F(OverallTest, WithoutSubVendorEveryAdapterAndEveryEntryOfTheIdsIsUsed) {
  hba_info* a = AddAdapter("SN1", "10CF", "1234");
  hba_info* b = AddAdapter("SN2", "1014", "0001");
  conditions_.AddEntry("Emulex", "OCe14102", "19A2", "0714", "10CF", "1234");
  conditions_.AddEntry("Emulex", "OCe14102", "19A2", "0710", "10CF", "1234");
  conditions_.AddEntry("Emulex", "OCe14102", "19A2", "0714", "1014", "0002");
  selections_.Add("19A2", "0714");
  VerboseLevel = 6;
  std::string out = CapturedRun();
  // Two matching ports, each with the entries in lines 1 and 3.
  EXPECT_EQ(2, Count(out, InLine(1)));
  EXPECT_EQ(0, Count(out, InLine(2)));
  EXPECT_EQ(2, Count(out, InLine(3)));
  EXPECT_LT(out.find(InLine(1)), out.find(InLine(3)));
  EXPECT_TRUE(a->SubsystemCheckDone);
  EXPECT_TRUE(b->SubsystemCheckDone);
}

TEST_F(OverallTest, WithSubVendorAllFourIdsMustAgree) {
  hba_info* a = AddAdapter("SN1", "10CF", "1234");
  hba_info* b = AddAdapter("SN2", "10CF", "1235");
  conditions_.AddEntry("Emulex", "OCe14102", "19A2", "0714", "10CF", "1235");
  conditions_.AddEntry("Emulex", "OCe14102", "19A2", "0714", "10CF", "1234");
  conditions_.AddEntry("Emulex", "OCe14102", "19A2", "0714", "1014", "1234");
  selections_.Add("19A2", "0714", "10CF", "1234");
  VerboseLevel = 6;
  std::string out = CapturedRun();
  EXPECT_EQ(0, Count(out, InLine(1)));
  EXPECT_EQ(1, Count(out, InLine(2)));
  EXPECT_EQ(0, Count(out, InLine(3)));
  EXPECT_TRUE(a->SubsystemCheckDone);
  EXPECT_FALSE(b->SubsystemCheckDone);
}

TEST_F(OverallTest, SubVendorZeroNamesNoSubVendor) {
  hba_info* a = AddAdapter("SN1", "10CF", "1234");
  hba_info* b = AddAdapter("SN2", "1014", "0001");
  conditions_.AddEntry("Emulex", "OCe14102", "19A2", "0714", "0", "1234");
  selections_.Add("19A2", "0714", "0", "1234");
  Run();
  EXPECT_TRUE(a->SubsystemCheckDone);
  EXPECT_TRUE(b->SubsystemCheckDone);
}

TEST_F(OverallTest, PortsWithoutSerialNumberAreSkipped) {
  PortFields none;
  none.serial = "n/a-1";
  hba_info* port = inventory_.AddPort(none);
  inventory_.SetIds(port, "19A2", "0714", "10CF", "1234");
  port->FlashPartner = port;
  port->NextFCoEPort = port;
  conditions_.AddEntry("Emulex", "OCe14102");
  selections_.Add("19A2", "0714");
  selections_.Add("19A2", "0714");
  VerboseLevel = 5;
  EXPECT_EQ(BannersOnly(), CapturedRun());
  VerboseLevel = 6;
  std::string out = CapturedRun();
  EXPECT_EQ(2, Count(out, "\tVendor: Emulex Model: OCe14102; SN: n/a-1 port: 0 function: 2\n"
                          "\tNo serial number => SKIP\n" + kDash + "\n"));
  EXPECT_FALSE(port->SubsystemCheckDone);
  EXPECT_EQ(0, flags_.MatchingCtrlModelInstalled);
}

TEST_F(OverallTest, PortWithoutAttributesMatchesNothing) {
  hba_info* port = AddAdapter("SN1");
  port->Attributes = nullptr;
  port->FlashPartner->Attributes = nullptr;
  conditions_.AddEntry("Emulex", "OCe14102", "0", "0", "0", "0");
  selections_.Add("0", "0");
  Run();
  EXPECT_EQ(0, flags_.MatchingCtrlModelInstalled);
}

TEST_F(OverallTest, SecondSelectionPassesOverExaminedPorts) {
  hba_info* port = AddAdapter("SN1");
  inventory_.Attach(port, "DGC", "VRAID", "1");
  conditions_.Allow(conditions_.AddEntry("Emulex", "OCe14102"), "DGC", "");
  selections_.Add("19A2", "0714");
  selections_.Add("19A2", "0714", "10CF", "1234");
  VerboseLevel = 4;
  std::string out = CapturedRun();
  EXPECT_EQ(2, Count(out, "Perform subsystem check for"));
  EXPECT_EQ(1, Count(out, "Subsystem check already done => continue."));
}

TEST_F(OverallTest, LongConditionsListIsNumberedByPosition) {
  AddAdapter("SN1");
  for (int i = 1; i <= 100000; ++i) {
    bool fits = (i == 50000 || i == 100000);
    conditions_.AddEntry("Emulex", "OCe14102", "19A2", fits ? "0714" : "0716");
  }
  selections_.Add("19A2", "0714");
  VerboseLevel = 6;
  std::string out = CapturedRun();
  EXPECT_EQ(1, Count(out, "in line 50000:\n"));
  EXPECT_EQ(1, Count(out, "in line 100000:\n"));
  EXPECT_EQ(2, Count(out, "\tFound a matching controller-device"));
}

// --- the verdict -----------------------------------------------------------

// One adapter with two allowed sub-systems of two vendors: valid, but not
// of one vendor.
class VerdictTest : public OverallTest {
 protected:
  void SetUp() override {
    OverallTest::SetUp();
    hba_info* f2 = AddAdapter("SN1");
    PortFields fields;
    fields.function = "3";
    hba_info* f3 = inventory_.AddPort(fields);
    inventory_.SetIds(f3, "19A2", "0714", "10CF", "1234");
    f3->FlashPartner = f2->FlashPartner;
    f2->NextFCoEPort = f3;
    inventory_.Attach(f2, "DGC", "A", "1");
    inventory_.Attach(f3, "HP", "B", "1");
    fc_config_file_entry* entry = conditions_.AddEntry("Emulex", "OCe14102");
    conditions_.Allow(entry, "DGC", "");
    conditions_.Allow(entry, "HP", "");
    selections_.Add("19A2", "0714");
    VerboseLevel = 0;
  }
};

TEST_F(VerdictTest, FirstActiveModeDecides) {
  struct Case {
    int valid, ctrl_wide, vendor_wide;
    bool verdict;
  };
  for (Case c : {Case{1, 1, 1, true}, Case{1, 0, 0, true}, Case{0, 1, 1, false},
                 Case{0, 1, 0, false}, Case{0, 0, 1, false}, Case{0, 0, 0, true}}) {
    active_option_valid_subsystem = c.valid;
    active_option_ctrl_wide_identical = c.ctrl_wide;
    active_option_ctrl_vendor_wide_identical = c.vendor_wide;
    for (hba_info** p = p_hba_info_list; p != nullptr && *p != nullptr; ++p) {
      (*p)->SubsystemCheckDone = false;
    }
    flags_ = StartFlags();
    EXPECT_EQ(c.verdict, Run()) << c.valid << c.ctrl_wide << c.vendor_wide;
    EXPECT_EQ(0, flags_.InvalidCtrlSubsystemCombinationFound);
    EXPECT_EQ(0, flags_.CtrlSpecificSubsystemEquality);
    EXPECT_EQ(0, flags_.CtrlVendorSpecificSubsystemEquality);
  }
}

TEST_F(OverallTest, VerdictFollowsTheFlags) {
  VerboseLevel = 0;
  active_option_valid_subsystem = 1;
  flags_.InvalidCtrlSubsystemCombinationFound = 1;
  EXPECT_FALSE(Run());
  active_option_valid_subsystem = 0;
  active_option_ctrl_wide_identical = 1;
  EXPECT_TRUE(Run());
  active_option_ctrl_wide_identical = 0;
  active_option_ctrl_vendor_wide_identical = 1;
  flags_.CtrlVendorSpecificSubsystemEquality = 0;  // set again at the start
  EXPECT_TRUE(Run());
  EXPECT_EQ(1, flags_.CtrlVendorSpecificSubsystemEquality);
}

}  // namespace
