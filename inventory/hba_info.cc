#include "inventory/hba_info.h"

#include <cstddef>
#include <cstdlib>

#include "driver/base/record_memory.h"

hba_info** p_hba_info_list = nullptr;
int hbainfo_entry_cnt = 0;

namespace {

// Slots allocated for p_hba_info_list.
std::size_t list_slots = 0;

}  // namespace

hba_info* get_new_hba_info_entry() {
  return NewRecordInList(&p_hba_info_list, &hbainfo_entry_cnt, &list_slots);
}

hba_attributes_entry* get_new_hba_attributes_entry() {
  return NewRecord<hba_attributes_entry>();
}

target_mapping_entry* get_new_target_mapping_entry() {
  return NewRecord<target_mapping_entry>();
}

bool AppendSubsystem(hba_info* port, const storage_subsystem& subsystem) {
  auto count = static_cast<std::size_t>(port->SubsystemCount);
  // The slots are a power of two: the list grows when it is full.
  if ((count & (count - 1)) == 0) {
    std::size_t slots = count == 0 ? 1 : count * 2;
    void* grown = ResizeRecordList(port->Subsystems, slots, sizeof(storage_subsystem));
    if (grown == nullptr) return false;
    port->Subsystems = static_cast<storage_subsystem*>(grown);
  }
  port->Subsystems[count] = subsystem;
  ++port->SubsystemCount;
  return true;
}

subsystem_span AttachedSubsystems(const hba_info* port, storage_subsystem* single) {
  if (port->SubsystemCount > 0) return {port->Subsystems, port->SubsystemCount};
  const target_mapping_entry* mapping = port->TargetMapping;
  if (mapping == nullptr) return {single, 0};
  *single = storage_subsystem{};
  single->VendorID = mapping->VendorID;
  single->ProductID = mapping->ProductID;
  single->ProductVersion = mapping->ProductVersion;
  return {single, 1};
}

const char* ReferenceVendor(const hba_info* port) {
  if (port->SubsystemCount > 0) return port->Subsystems[0].VendorID.c_str();
  return port->TargetMapping != nullptr ? port->TargetMapping->VendorID.c_str() : "";
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
  std::free(port->Subsystems);
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
  list_slots = 0;
}
