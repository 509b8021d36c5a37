// Classification and pairing look up the entries an entry belongs with by
// serial number instead of scanning the list.  These tests hold them to a
// plain transcription of the walks (every scan over the whole list) on
// many random lists full of serial prefixes, empty serials, "n/a" serials,
// odd port types and function numbers.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "inventory/classify.h"
#include "tests/support/classify_reference.h"
#include "tests/support/inventory_util.h"
#include "tests/support/port_record.h"

namespace {

using classify_reference::Port;
using classify_reference::Reference;

class ClassifyEquivalenceTest : public inventory_test::InventoryTest {};

TEST_F(ClassifyEquivalenceTest, RandomListsMatchTheFullScans) {
  const char* serials[] = {"", "A", "AB", "ABC", "AC", "B", "BA", "n/a", "n/aX", "C1", "C12"};
  const char* types[] = {"FC", "FCoE", "FCoE-x", "iSCSI", "NIC", "NIC"};
  const char* functions[] = {"0", "1", "2", "3", "10", "x", ""};
  const char* numbers[] = {"0", "1", "2", ""};
  std::mt19937 random(2024);
  auto pick = [&](const auto& choices) {
    return choices[random() % (sizeof choices / sizeof choices[0])];
  };

  for (int round = 0; round < 3000; ++round) {
    FreeHbaInfoList();
    std::vector<Port> ports(random() % 30);
    // Few serials per list, so that adapters have several entries.
    int serial_choices = 1 + static_cast<int>(random() % 6);
    int offset = static_cast<int>(random() % 11);
    std::unordered_map<const hba_info*, int> ids;  // the reference's ids
    for (Port& port : ports) {
      port.serial = serials[(offset + random() % serial_choices) % 11];
      port.type = pick(types);
      port.function = pick(functions);
      port.number = pick(numbers);
      hba_info* record = get_new_hba_info_entry();
      ASSERT_NE(record, nullptr);
      test_support::FillPort(record,
                             {"", "", port.serial, port.type, port.number, port.function, "", ""});
      ids[record] = static_cast<int>(ids.size());
    }

    Reference reference(ports);
    reference.Classify();
    reference.DetermineFlashPorts();
    testing::internal::CaptureStdout();
    if (p_hba_info_list != nullptr) {
      Classify_Ctrl_List();
      Determine_Flash_Ports();
    }
    testing::internal::GetCapturedStdout();

    auto id = [&](const hba_info* port) { return port == nullptr ? -1 : ids.at(port); };
    std::vector<int> order, partners, nexts, expected_partners, expected_nexts;
    for (int i = 0; p_hba_info_list != nullptr && p_hba_info_list[i] != nullptr; ++i) {
      order.push_back(id(p_hba_info_list[i]));
      partners.push_back(id(p_hba_info_list[i]->FlashPartner));
      nexts.push_back(id(p_hba_info_list[i]->NextFCoEPort));
    }
    for (int i : reference.list()) {
      expected_partners.push_back(reference.port(i).partner);
      expected_nexts.push_back(reference.port(i).next_fcoe);
    }
    ASSERT_EQ(order, reference.list()) << "round " << round;
    ASSERT_EQ(partners, expected_partners) << "round " << round;
    ASSERT_EQ(nexts, expected_nexts) << "round " << round;
  }
}

}  // namespace
