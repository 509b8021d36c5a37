#include "inventory/hba_info.h"

#include <gtest/gtest.h>

#include "driver/base/record_memory.h"
#include "tests/support/inventory_util.h"

namespace {

using inventory_test::InventoryTest;

class HbaInfoTest : public InventoryTest {};

TEST_F(HbaInfoTest, ListStartsNullAndStaysNullTerminated) {
  EXPECT_EQ(p_hba_info_list, nullptr);
  EXPECT_EQ(hbainfo_entry_cnt, 0);

  hba_info* first = get_new_hba_info_entry();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(p_hba_info_list, nullptr);
  EXPECT_EQ(p_hba_info_list[0], first);
  EXPECT_EQ(p_hba_info_list[1], nullptr);

  // Geometric growth must not break the terminator at any count.
  for (int i = 1; i < 300; ++i) {
    hba_info* port = get_new_hba_info_entry();
    ASSERT_NE(port, nullptr);
    ASSERT_EQ(p_hba_info_list[i], port);
    ASSERT_EQ(p_hba_info_list[i + 1], nullptr);
  }
  EXPECT_EQ(hbainfo_entry_cnt, 300);
  EXPECT_EQ(p_hba_info_list[0], first);
}

TEST_F(HbaInfoTest, RecordsAreZeroFilled) {
  hba_info* port = get_new_hba_info_entry();
  ASSERT_NE(port, nullptr);
  EXPECT_TRUE(port->PortWWN.empty());
  EXPECT_EQ(port->PortIndex, 0);
  EXPECT_EQ(port->FlashPartner, nullptr);
  // The PCI numbers start at 0, not at the -1 of an unreadable id.
  port->Attributes = get_new_hba_attributes_entry();
  ASSERT_NE(port->Attributes, nullptr);
  EXPECT_EQ(port->Attributes->PciVendorId, 0);
  EXPECT_EQ(port->Attributes->PciSubDeviceId, 0);
}

TEST_F(HbaInfoTest, FailedAllocationAppendsNothing) {
  // Three records fill the four slots the list has grown to.
  for (int i = 0; i < 3; ++i) ASSERT_NE(get_new_hba_info_entry(), nullptr);

  LimitRecordAllocations(0);
  EXPECT_EQ(get_new_hba_info_entry(), nullptr);
  EXPECT_EQ(get_new_hba_attributes_entry(), nullptr);
  EXPECT_EQ(get_new_target_mapping_entry(), nullptr);
  EXPECT_EQ(hbainfo_entry_cnt, 3);
  EXPECT_EQ(p_hba_info_list[3], nullptr);

  // The record is had but the list cannot grow: no record either, and the
  // record does not leak.
  LimitRecordAllocations(1);
  EXPECT_EQ(get_new_hba_info_entry(), nullptr);
  EXPECT_EQ(hbainfo_entry_cnt, 3);
  EXPECT_EQ(p_hba_info_list[3], nullptr);
}

TEST_F(HbaInfoTest, SerialAndAddressRules) {
  hba_info port{};
  port.SerialNumber.assign_cut("n/a");
  EXPECT_TRUE(HasNoSerialNumber(&port));
  port.SerialNumber.assign_cut("n/a (none)");
  EXPECT_TRUE(HasNoSerialNumber(&port));
  port.SerialNumber.assign_cut("N/A");
  EXPECT_FALSE(HasNoSerialNumber(&port));
  port.SerialNumber.clear();
  EXPECT_FALSE(HasNoSerialNumber(&port));

  port.PortWWN.assign_cut("10:00:00:00:c9:11:22:33");
  port.PermanentMAC.assign_cut("00-00-c9-11-22-33");
  const struct {
    const char* type;
    bool by_wwn;
  } cases[] = {{"FC", true},     {"FCoE", true},   {"FCoE-x", true}, {"FCx", false},
               {"iSCSI", false}, {"NIC", false},   {"", false},      {"fc", false}};
  for (const auto& c : cases) {
    port.PortType.assign_cut(c.type);
    EXPECT_EQ(IsAddressedByWWN(&port), c.by_wwn) << c.type;
    EXPECT_STREQ(PortAddress(&port), c.by_wwn ? port.PortWWN.c_str() : port.PermanentMAC.c_str())
        << c.type;
  }
}

TEST_F(HbaInfoTest, FreeHbaInfoListSkipsFreedSlots) {
  for (int i = 0; i < 3; ++i) {
    hba_info* port = get_new_hba_info_entry();
    ASSERT_NE(port, nullptr);
    port->Attributes = get_new_hba_attributes_entry();
  }
  // As classification leaves it: a freed record's slot holds null.
  FreeHbaInfo(p_hba_info_list[2]);
  p_hba_info_list[2] = nullptr;
  FreeHbaInfoList();
  EXPECT_EQ(p_hba_info_list, nullptr);
  EXPECT_EQ(hbainfo_entry_cnt, 0);
  ASSERT_NE(get_new_hba_info_entry(), nullptr);
  EXPECT_EQ(p_hba_info_list[1], nullptr);
}

}  // namespace
