#include "inventory/hba_info.h"

#include <cstdlib>

#include "driver/record_memory.h"
#include "inventory/hba_info_memory.h"

hba_info** p_hba_info_list = nullptr;
int hbainfo_entry_cnt = 0;

namespace {

// Slots allocated for p_hba_info_list; grown geometrically, so that
// appending hundreds of ports stays linear.
int list_capacity = 0;

// Allocations still allowed before the creators report failure; -1 means
// no limit.
int allocations_left = -1;

bool AllocationAllowed() {
  if (allocations_left < 0) return true;
  if (allocations_left == 0) return false;
  --allocations_left;
  return true;
}

template <typename Record>
Record* NewInventoryRecord() {
  if (!AllocationAllowed()) return nullptr;
  return NewRecord<Record>();
}

// Makes room for slot hbainfo_entry_cnt and the null after it.
bool GrowList() {
  int needed = hbainfo_entry_cnt + 2;
  if (p_hba_info_list != nullptr && needed <= list_capacity) return true;
  if (!AllocationAllowed()) return false;
  int capacity = list_capacity * 2 > needed ? list_capacity * 2 : needed;
  void* grown = std::realloc(p_hba_info_list, sizeof(hba_info*) * static_cast<size_t>(capacity));
  if (grown == nullptr) return false;
  p_hba_info_list = static_cast<hba_info**>(grown);
  list_capacity = capacity;
  return true;
}

}  // namespace

void LimitInventoryAllocations(int count) { allocations_left = count; }

hba_info* get_new_hba_info_entry() {
  hba_info* record = NewInventoryRecord<hba_info>();
  if (record == nullptr) return nullptr;
  if (!GrowList()) {
    ReleaseRecord(record);
    return nullptr;
  }
  p_hba_info_list[hbainfo_entry_cnt] = record;
  p_hba_info_list[hbainfo_entry_cnt + 1] = nullptr;
  ++hbainfo_entry_cnt;
  return record;
}

hba_attributes_entry* get_new_hba_attributes_entry() {
  return NewInventoryRecord<hba_attributes_entry>();
}

target_mapping_entry* get_new_target_mapping_entry() {
  return NewInventoryRecord<target_mapping_entry>();
}

bool HasNoSerialNumber(const hba_info* port) { return port->SerialNumber.starts_with("n/a"); }

bool IsAddressedByWWN(const hba_info* port) {
  return BeginsWithFcoe(port) || IsFcPort(port);
}

const char* PortAddress(const hba_info* port) {
  return IsAddressedByWWN(port) ? port->PortWWN.c_str() : port->PermanentMAC.c_str();
}

void FreeHbaInfo(hba_info* port) {
  ReleaseRecord(port->Attributes);
  ReleaseRecord(port->TargetMapping);
  ReleaseRecord(port);
}

void FreeHbaInfoList() {
  // Classification leaves nulls in the slots of the records it freed, so
  // every slot ever used is looked at.
  for (int i = 0; p_hba_info_list != nullptr && i < hbainfo_entry_cnt; ++i)
    if (p_hba_info_list[i] != nullptr) FreeHbaInfo(p_hba_info_list[i]);
  std::free(p_hba_info_list);
  p_hba_info_list = nullptr;
  hbainfo_entry_cnt = 0;
  list_capacity = 0;
}
