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
#include "inventory/inventory_test_util.h"

namespace {

// One port as the reference sees it; links are indices into the ports.
struct Port {
  std::string serial, type, function, number;
  int partner = -1;
  int next_fcoe = -1;
};

class Reference {
 public:
  explicit Reference(std::vector<Port> ports) : ports_(std::move(ports)) {
    for (int i = 0; i < static_cast<int>(ports_.size()); ++i) list_.push_back(i);
  }

  const std::vector<int>& list() const { return list_; }
  const Port& port(int id) const { return ports_[id]; }

  void Classify() {
    // FC entries behind the others, then gone.
    std::vector<int> kept;
    for (int id : list_)
      if (ports_[id].type != "FC") kept.push_back(id);
    list_ = kept;

    bool fcoe = false, iscsi = false;
    Walk(0, -1, &fcoe, &iscsi);
    if (!list_.empty()) {
      const std::string& last = ports_[list_.back()].type;
      if (last == "FCoE")
        fcoe = true;
      else if (last == "iSCSI")
        iscsi = true;
    }

    int n = Size();
    for (int p = 0; p < n && (fcoe || iscsi);) {
      bool fcoe_placed = false, iscsi_placed = false, finished = false;
      if (fcoe) fcoe_placed = Place(p, "FCoE", &finished);
      if (finished) break;
      if (fcoe_placed) p = Advance(p);
      if (!fcoe_placed && iscsi) {
        iscsi_placed = Place(p, "iSCSI", &finished);
        if (finished) break;
        if (iscsi_placed) p = Advance(p);
      }
      ++p;
      if (!fcoe_placed && !iscsi_placed) p = n;
    }

    for (int i = 0; i + 1 < n; ++i)
      for (int j = i + 1; j < n && Belongs(i, j); ++j)
        if (Function(list_[j]) < Function(list_[i])) std::swap(list_[i], list_[j]);
  }

  void DetermineFlashPorts() {
    for (int p : list_) {
      if (NoSerial(p)) continue;
      LinkAll(p, '0');
      if (ports_[p].partner < 0) LinkAll(p, '1');
    }
  }

 private:
  int Size() const { return static_cast<int>(list_.size()); }
  bool NoSerial(int id) const { return ports_[id].serial.rfind("n/a", 0) == 0; }
  // The entry at position a belongs with the entry at position b.
  bool Belongs(int a, int b) const {
    return ports_[list_[a]].serial.rfind(ports_[list_[b]].serial, 0) == 0;
  }
  int Function(int id) const {
    int number = 0;
    for (char c : ports_[id].function) {
      if (c < '0' || c > '9') break;
      number = number * 10 + (c - '0');
    }
    return number;
  }

  void Walk(int s, int anchor, bool* fcoe, bool* iscsi) {
    for (int c = s; c + 1 < Size(); ++c) {
      if (anchor >= 0 && !Belongs(c, anchor)) return;
      if (fcoe != nullptr) {
        if (ports_[list_[c]].type == "FCoE")
          *fcoe = true;
        else if (ports_[list_[c]].type == "iSCSI")
          *iscsi = true;
      }
      if (Belongs(c, c + 1)) continue;
      int t = c + 1;
      for (int j = c + 2; j < Size(); ++j)
        if (Belongs(c, j)) std::swap(list_[t++], list_[j]);
    }
  }

  bool Place(int p, const std::string& kind, bool* finished) {
    if (ports_[list_[p]].type == kind) {
      Walk(p, -1, nullptr, nullptr);
      return true;
    }
    if (p + 1 >= Size()) {
      *finished = true;
      return false;
    }
    for (int j = p + 1; j < Size(); ++j) {
      if (ports_[list_[j]].type != kind) continue;
      std::swap(list_[j], list_[p]);
      Walk(p, p, nullptr, nullptr);
      return true;
    }
    return false;
  }

  int Advance(int p) const {
    while (p + 1 < Size() && Belongs(p, p + 1)) ++p;
    return p;
  }

  void LinkAll(int p, char digit) {
    for (int q : list_) {
      if (NoSerial(q) || ports_[p].serial.rfind(ports_[q].serial, 0) != 0) continue;
      if (ports_[q].function.substr(0, 1) != std::string(1, digit) ||
          ports_[q].number.substr(0, 1) != std::string(1, digit))
        continue;
      ports_[p].partner = q;
      if (ports_[p].type.rfind("FCoE", 0) != 0) continue;
      // Into q's chain, at its end; q itself, when it joins, goes last and
      // leads back to the first.
      ChainEnd& end = ends_[q];
      if (p == q) {
        if (end.holds_partner) continue;
        end.holds_partner = true;
        ports_[end.last < 0 ? q : end.last].next_fcoe = q;
        continue;
      }
      ports_[end.last < 0 ? q : end.last].next_fcoe = p;
      if (end.holds_partner) ports_[p].next_fcoe = q;
      end.last = p;
    }
  }

  struct ChainEnd {
    int last = -1;
    bool holds_partner = false;
  };
  std::unordered_map<int, ChainEnd> ends_;

  std::vector<Port> ports_;
  std::vector<int> list_;  // ids in list order
};

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
      record->SerialNumber.assign_cut(port.serial);
      record->PortType.assign_cut(port.type);
      record->PortFunction.assign_cut(port.function);
      record->PortNumber.assign_cut(port.number);
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
