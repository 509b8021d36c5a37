#include "inventory/classify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "driver/base/settings.h"
#include "tests/support/inventory_util.h"
#include "tests/support/port_record.h"

namespace {

using inventory_test::InventoryTest;
using inventory_test::ListSize;

class ClassifyTest : public InventoryTest {
 protected:
  // A port named by its Model, which the listings show first.
  static hba_info* Add(const char* name, const char* type, const char* serial,
                       const char* function, const char* port_number = "0") {
    hba_info* port = get_new_hba_info_entry();
    test_support::FillPort(port, {"", name, serial, type, port_number, function, "", ""});
    return port;
  }

  // The names of the list in order.
  static std::string Order() {
    std::string names;
    for (int i = 0; p_hba_info_list[i] != nullptr; ++i) {
      if (i > 0) names += ' ';
      names += p_hba_info_list[i]->Model.view();
    }
    return names;
  }

  static std::string Classify() {
    testing::internal::CaptureStdout();
    EXPECT_EQ(Classify_Ctrl_List(), 0);
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(ClassifyTest, InterleavedFCEntriesAreFreedAndDropped) {
  hba_info* fc = Add("x", "FC", "S1", "0");
  fc->Attributes = get_new_hba_attributes_entry();
  fc->TargetMapping = get_new_target_mapping_entry();
  Add("y", "FCoE", "S2", "2");
  Add("z", "FC", "S3", "0");
  Add("w", "NIC", "S4", "0");
  Add("v", "FC", "S5", "1");
  Classify();
  EXPECT_EQ(Order(), "y w");
  EXPECT_EQ(hbainfo_entry_cnt, 5);
  EXPECT_EQ(p_hba_info_list[2], nullptr);
  EXPECT_EQ(p_hba_info_list[4], nullptr);
}

TEST_F(ClassifyTest, OnlyFCPortsLeaveAnEmptyList) {
  Add("m1", "FC", "S1", "0");
  Add("m2", "FC", "S2", "1", "1");
  VerboseLevel = 6;
  EXPECT_EQ(Classify(),
            "\n\nOriginal input list.\n"
            "\n0\tm1 FC S1 0 0\n"
            "1\tm2 FC S2 1 1\n"
            "\n\nList of CNA controller.\n");
  EXPECT_EQ(ListSize(), 0);
  EXPECT_EQ(Determine_Flash_Ports(), 0);
}

TEST_F(ClassifyTest, NullListIsLeftAlone) {
  EXPECT_EQ(Classify(), "");
  EXPECT_EQ(Determine_Flash_Ports(), 0);
  EXPECT_EQ(p_hba_info_list, nullptr);
}

TEST_F(ClassifyTest, FunctionsSortByTheirNumber) {
  Add("f10", "NIC", "S1", "10");
  Add("f2", "FCoE", "S1", "2");
  Add("fx", "NIC", "S1", "x");  // no digits: function 0
  Add("f1", "iSCSI", "S1", "1");
  Classify();
  EXPECT_EQ(Order(), "fx f1 f2 f10");
}

// The adapter with an FCoE port is moved ahead of the one with an iSCSI
// port, and every function points at its adapter's function 0 on port 0.
TEST_F(ClassifyTest, FCoEAdaptersFirstThenISCSIAndTheirPartners) {
  Add("A0", "NIC", "SA", "0");
  Add("A1", "iSCSI", "SA", "1");
  Add("B0", "NIC", "SB", "0");
  Add("B2", "FCoE", "SB", "2");
  Add("B3", "FCoE", "SB", "3", "1");
  VerboseLevel = 6;
  std::string out = Classify();
  EXPECT_EQ(Order(), "B0 B2 B3 A0 A1");
  EXPECT_NE(out.find("\nFC and iSCSI ports detected.\n"), std::string::npos);
  EXPECT_NE(out.find("\n\nTotal Result after PCI function sort.\n\n0\tB0 NIC SB 0 0\n"
                     "1\tB2 FCoE SB 2 0\n"),
            std::string::npos);

  ASSERT_EQ(Determine_Flash_Ports(), 0);
  hba_info* const* l = p_hba_info_list;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(l[i]->FlashPartner, l[0]) << i;
  for (int i = 3; i < 5; ++i) EXPECT_EQ(l[i]->FlashPartner, l[3]) << i;
  EXPECT_EQ(l[0]->NextFCoEPort, l[1]);
  EXPECT_EQ(l[1]->NextFCoEPort, l[2]);
  EXPECT_EQ(l[2]->NextFCoEPort, nullptr);
  EXPECT_EQ(l[3]->NextFCoEPort, nullptr);
}

// A lone FCoE port brought to the front displaces the first entry of the
// adapter that stood there; the anchored walk does not bring it back.
TEST_F(ClassifyTest, PlacingAnFCoEPortCanSplitAnotherAdapter) {
  Add("G1", "NIC", "SG", "0");
  Add("G2", "NIC", "SG", "1");
  Add("X1", "NIC", "SX", "0");
  Add("X2", "NIC", "SX", "1");
  Add("H1", "FCoE", "SH", "0");
  VerboseLevel = 6;
  std::string out = Classify();
  EXPECT_EQ(Order(), "H1 G2 X1 X2 G1");
  EXPECT_NE(out.find("\nOnly FC ports detected.\n"), std::string::npos);
  // Pairing goes by serial number, not by place.
  ASSERT_EQ(Determine_Flash_Ports(), 0);
  EXPECT_EQ(p_hba_info_list[1]->FlashPartner, p_hba_info_list[4]);
}

TEST_F(ClassifyTest, KindMessages) {
  Add("a", "iSCSI", "S1", "0");
  Add("b", "NIC", "S2", "0");
  VerboseLevel = 6;
  std::string out = Classify();
  EXPECT_NE(out.find("\nOnly iSCSI ports detected.\n"), std::string::npos);
  EXPECT_EQ(out.find("FC ports detected"), std::string::npos);
}

TEST_F(ClassifyTest, WithoutFCoEOrISCSIOnlyGroupingAndSortApply) {
  Add("S2f1", "NIC", "S2", "1");
  Add("S1f0", "NIC", "S1", "0");
  Add("S2f0", "NIC", "S2", "0");
  Add("S1f1", "NIC", "S1", "1");
  VerboseLevel = 6;
  std::string out = Classify();
  EXPECT_EQ(Order(), "S2f0 S2f1 S1f0 S1f1");
  EXPECT_EQ(out.find("detected"), std::string::npos);
}

// Membership is a prefix test: every entry belongs with one whose serial
// number is empty, which itself belongs only with such entries.
TEST_F(ClassifyTest, EmptySerialNumbers) {
  Add("X", "NIC", "S1", "1", "1");
  Add("Y", "NIC", "S2", "0");
  Add("E", "NIC", "", "0");
  Classify();
  // Gathered behind X, then sorted ahead of it as function 0.
  EXPECT_EQ(Order(), "E X Y");

  ASSERT_EQ(Determine_Flash_Ports(), 0);
  hba_info* const* l = p_hba_info_list;
  EXPECT_EQ(l[0]->FlashPartner, l[0]);  // E only with itself
  EXPECT_EQ(l[1]->FlashPartner, l[0]);  // X with E
  EXPECT_EQ(l[2]->FlashPartner, l[2]);  // Y matches E, then itself: the last stays
}

TEST_F(ClassifyTest, SerialPrefixesGatherOneWayOnly) {
  // "S10" belongs with "S1": gathered behind it, then sorted.
  Add("S10", "NIC", "S10", "1");
  Add("T", "NIC", "T", "0");
  Add("S1", "NIC", "S1", "0");
  Classify();
  EXPECT_EQ(Order(), "S1 S10 T");
  FreeHbaInfoList();

  // "S1" does not belong with "S10": nothing moves.
  Add("S1", "NIC", "S1", "0");
  Add("T", "NIC", "T", "0");
  Add("S10", "NIC", "S10", "1");
  Classify();
  EXPECT_EQ(Order(), "S1 T S10");
}

TEST_F(ClassifyTest, FCoEChainLoops) {
  // Its own partner and the only FCoE port: its own next.
  hba_info* alone = Add("alone", "FCoE", "S1", "0");
  // Its own partner, followed by a second FCoE port of its adapter: the
  // partner stays in its chain, behind the second port, so that the check
  // reaches both.
  hba_info* first = Add("first", "FCoE", "S2", "0");
  hba_info* second = Add("second", "FCoE", "S2", "1", "1");
  // Another FCoE port of its adapter entered before it: a loop of two.
  hba_info* before = Add("before", "FCoE", "S3", "0", "1");
  hba_info* own = Add("own", "FCoE", "S3", "0");
  ASSERT_EQ(Determine_Flash_Ports(), 0);

  EXPECT_EQ(alone->FlashPartner, alone);
  EXPECT_EQ(alone->NextFCoEPort, alone);
  EXPECT_EQ(second->FlashPartner, first);
  EXPECT_EQ(first->NextFCoEPort, second);
  EXPECT_EQ(second->NextFCoEPort, first);
  EXPECT_EQ(before->FlashPartner, own);
  EXPECT_EQ(own->NextFCoEPort, before);
  EXPECT_EQ(before->NextFCoEPort, own);
}

TEST_F(ClassifyTest, EveryFCoEPortJoinsTheChain) {
  // A four-port adapter: no FCoE port may drop out of the chain, or the
  // storage behind it would never be checked.
  hba_info* nic = Add("nic", "NIC", "S1", "0");
  hba_info* f2 = Add("f2", "FCoE", "S1", "2");
  hba_info* f3 = Add("f3", "FCoE-x", "S1", "3");  // counts as FCoE here
  hba_info* f4 = Add("f4", "FCoE", "S1", "4");
  ASSERT_EQ(Determine_Flash_Ports(), 0);
  EXPECT_EQ(nic->FlashPartner, nic);
  EXPECT_EQ(f3->FlashPartner, nic);
  EXPECT_EQ(nic->NextFCoEPort, f2);
  EXPECT_EQ(f2->NextFCoEPort, f3);
  EXPECT_EQ(f3->NextFCoEPort, f4);
  EXPECT_EQ(f4->NextFCoEPort, nullptr);
}

TEST_F(ClassifyTest, PartnerFallsBackToFunctionOneOnPortOne) {
  hba_info* one = Add("one", "NIC", "S1", "1", "1");
  hba_info* two = Add("two", "FCoE", "S1", "2", "0");
  hba_info* ten = Add("ten", "NIC", "S2", "10", "1");  // "10" counts as "1"
  hba_info* lost1 = Add("lost1", "NIC", "S3", "0", "1");
  hba_info* lost2 = Add("lost2", "NIC", "S3", "1", "0");
  ASSERT_EQ(Determine_Flash_Ports(), 0);
  EXPECT_EQ(one->FlashPartner, one);
  EXPECT_EQ(two->FlashPartner, one);
  EXPECT_EQ(one->NextFCoEPort, two);
  EXPECT_EQ(ten->FlashPartner, ten);
  EXPECT_EQ(lost1->FlashPartner, nullptr);
  EXPECT_EQ(lost2->FlashPartner, nullptr);
}

TEST_F(ClassifyTest, PortsWithoutSerialNumberArePassedOver) {
  hba_info* n0 = Add("n0", "FCoE", "n/a", "0");
  hba_info* n1 = Add("n1", "NIC", "n/a", "1", "1");
  hba_info* real = Add("real", "NIC", "n", "1", "1");
  Classify();
  ASSERT_EQ(Determine_Flash_Ports(), 0);
  EXPECT_EQ(n0->FlashPartner, nullptr);
  EXPECT_EQ(n0->NextFCoEPort, nullptr);
  EXPECT_EQ(n1->FlashPartner, nullptr);
  EXPECT_EQ(real->FlashPartner, real);
}

// Hundreds of adapters in shuffled order: the walks stay quick, no port
// is lost and every port finds its partner.
TEST_F(ClassifyTest, ManyAdapters) {
  std::vector<std::string> names;
  const char* types[] = {"NIC", "FCoE", "iSCSI", "FC"};
  for (int adapter = 0; adapter < 200; ++adapter)
    for (int function = 0; function < 4; ++function) {
      char name[16];
      std::snprintf(name, sizeof name, "A%03dF%d", adapter, function);
      names.push_back(name);
    }
  std::shuffle(names.begin(), names.end(), std::mt19937(7));
  for (const std::string& name : names) {
    int function = name[5] - '0';
    std::string serial = "SER" + name.substr(1, 3);
    const char* type = types[(function + std::stoi(name.substr(1, 3))) % 4];
    Add(name.c_str(), type, serial.c_str(), name.substr(5).c_str(), function % 2 ? "1" : "0");
  }
  auto start = std::chrono::steady_clock::now();
  Classify();
  ASSERT_EQ(Determine_Flash_Ports(), 0);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(2));

  EXPECT_EQ(ListSize(), 600);
  for (int i = 0; p_hba_info_list[i] != nullptr; ++i) {
    const hba_info* port = p_hba_info_list[i];
    ASSERT_NE(port->FlashPartner, nullptr) << port->Model.view();
    EXPECT_TRUE(port->FlashPartner->SerialNumber == port->SerialNumber.view());
  }
}

}  // namespace
