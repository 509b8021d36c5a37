// Records for the check tests: an inventory and a conditions list that the
// test owns, published in p_hba_info_list and fc_config_entry_list while
// the test runs and withdrawn again when it ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "check/ctrl_flags.h"
#include "conditions/config_file.h"
#include "conditions/selection_list.h"
#include "driver/base/settings.h"
#include "inventory/hba_info.h"
#include "tests/support/fresh_state_test.h"
#include "tests/support/port_record.h"
#include "tests/support/screen_text.h"

namespace check_test {

inline int32_t Hex(const std::string& text) {
  return static_cast<int32_t>(std::stol(text, nullptr, 16));
}

// A record added at the end of the test's own store, every field at its
// start value.  The store never moves what it holds.
template <typename Record>
Record& NewRecord(std::deque<Record>* store) {
  Record& record = store->emplace_back();
  record = Record{};
  return record;
}

// The four numeric ids of a record, read from their hex texts as the
// parsers read them.
template <typename Record>
void SetNumericIds(Record* record, const std::string& vendor, const std::string& device,
                   const std::string& sub_vendor, const std::string& sub_device) {
  record->PciVendorId = Hex(vendor);
  record->PciDeviceId = Hex(device);
  record->PciSubVendorId = Hex(sub_vendor);
  record->PciSubDeviceId = Hex(sub_device);
}

// The flags as the driver sets them just before the engines run.
inline global_ctrl_flags StartFlags() { return global_ctrl_flags{0, 0, 0, 1, 1, nullptr}; }

// The usual port of the check tests: FCoE function 2 on port 0 of an
// Emulex OCe14102 with serial number SN1, no WWN.
struct PortFields : test_support::PortFields {
  PortFields() {
    vendor = "Emulex";
    model = "OCe14102";
    serial = "SN1";
    type = "FCoE";
    number = "0";
    function = "2";
  }
};

class Inventory {
 public:
  ~Inventory() { p_hba_info_list = nullptr; }

  hba_info* AddPort(const PortFields& fields) {
    hba_info& port = NewRecord(&ports_);
    test_support::FillPort(&port, fields);
    return &port;
  }

  void SetIds(hba_info* port, const std::string& vendor, const std::string& device,
              const std::string& sub_vendor, const std::string& sub_device) {
    hba_attributes_entry& ids = NewRecord(&attributes_);
    ids.VendorSpecID.assign_cut(vendor);
    ids.DeviceID.assign_cut(device);
    ids.SubVendorID.assign_cut(sub_vendor);
    ids.SubDeviceID.assign_cut(sub_device);
    SetNumericIds(&ids, vendor, device, sub_vendor, sub_device);
    port->Attributes = &ids;
  }

  void Attach(hba_info* port, const std::string& vendor, const std::string& product,
              const std::string& version) {
    target_mapping_entry& storage = NewRecord(&mappings_);
    storage.VendorID.assign_cut(vendor);
    storage.ProductID.assign_cut(product);
    storage.ProductVersion.assign_cut(version);
    port->TargetMapping = &storage;
  }

  // Publishes every port added so far, in the order added.
  void Install() {
    list_.clear();
    for (hba_info& port : ports_) list_.push_back(&port);
    list_.push_back(nullptr);
    p_hba_info_list = list_.data();
  }

 private:
  std::deque<hba_info> ports_;
  std::deque<hba_attributes_entry> attributes_;
  std::deque<target_mapping_entry> mappings_;
  std::vector<hba_info*> list_;
};

class Conditions {
 public:
  ~Conditions() { fc_config_entry_list = nullptr; }

  fc_config_file_entry* AddEntry(const std::string& vendor, const std::string& model,
                                 const std::string& vendor_id = "19A2",
                                 const std::string& device_id = "0714",
                                 const std::string& sub_vendor_id = "10CF",
                                 const std::string& sub_device_id = "1234") {
    fc_config_file_entry& entry = NewRecord(&entries_);
    entry.CtrlVendor.assign_cut(vendor);
    entry.CtrlModel.assign_cut(model);
    entry.PciVendorIdText.assign_cut(vendor_id);
    entry.PciDeviceIdText.assign_cut(device_id);
    entry.PciSubVendorIdText.assign_cut(sub_vendor_id);
    entry.PciSubDeviceIdText.assign_cut(sub_device_id);
    SetNumericIds(&entry, vendor_id, device_id, sub_vendor_id, sub_device_id);
    return &entry;
  }

  // Appends an allowed storage sub-system to the entry's chain.
  void Allow(fc_config_file_entry* entry, const std::string& vendor,
             const std::string& group) {
    fc_periphery_info& allowed = NewRecord(&peripheries_);
    allowed.SubsystemVendor.assign_cut(vendor);
    allowed.SubsystemGroup.assign_cut(group);
    fc_periphery_info** link = &entry->Periphery;
    while (*link != nullptr) link = &(*link)->NextPeriphery;
    *link = &allowed;
  }

  // Publishes every entry added so far, in the order added.
  void Install() {
    list_.clear();
    for (fc_config_file_entry& entry : entries_) list_.push_back(&entry);
    list_.push_back(nullptr);
    fc_config_entry_list = list_.data();
  }

  // Forgets every entry (and withdraws the published list).
  void Clear() {
    entries_.clear();
    peripheries_.clear();
    list_.clear();
    fc_config_entry_list = nullptr;
  }

  // The entry's slot in fc_config_entry_list (after Install).
  fc_config_file_entry** Slot(std::size_t position) { return &list_[position]; }

 private:
  std::deque<fc_config_file_entry> entries_;
  std::deque<fc_periphery_info> peripheries_;
  std::vector<fc_config_file_entry*> list_;
};

// A selection as the parsers leave it; sub ids "" means not given.
class Selections {
 public:
  option_input* Add(const std::string& vendor, const std::string& device,
                    const std::string& sub_vendor = "", const std::string& sub_device = "") {
    option_input& s = NewRecord(&nodes_);
    s.PciVendorIdText.assign_cut(vendor);
    s.PciDeviceIdText.assign_cut(device);
    s.PciVendorId = Hex(vendor);
    s.PciDeviceId = Hex(device);
    if (!sub_vendor.empty()) {
      s.PciSubVendorIdText.assign_cut(sub_vendor);
      s.PciSubVendorId = Hex(sub_vendor);
    }
    if (!sub_device.empty()) {
      s.PciSubDeviceIdText.assign_cut(sub_device);
      s.PciSubDeviceId = Hex(sub_device);
    }
    if (nodes_.size() > 1) nodes_[nodes_.size() - 2].next = &s;
    return &s;
  }
  option_input* Head() { return nodes_.empty() ? nullptr : &nodes_.front(); }

 private:
  std::deque<option_input> nodes_;
};

// A port record's fields as the sub-system check prints them.
inline test_support::PortFields TextOf(const hba_info* p) {
  return {p->Vendor.c_str(),     p->Model.c_str(),        p->SerialNumber.c_str(),
          p->PortType.c_str(),   p->PortNumber.c_str(),   p->PortFunction.c_str(),
          p->PortWWN.c_str(),    p->PermanentMAC.c_str()};
}

// Every test starts and ends with the process state at its start values.
// The records are the test's own: they are withdrawn, never freed.
class CheckTest : public test_support::FreshStateTest {
 protected:
  void TearDown() override {
    p_hba_info_list = nullptr;
    fc_config_entry_list = nullptr;
    FreshStateTest::TearDown();
  }

  static void StartCapture() { testing::internal::CaptureStdout(); }
  static std::string Captured() { return testing::internal::GetCapturedStdout(); }
};

}  // namespace check_test
