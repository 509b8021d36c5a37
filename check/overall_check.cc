// The check driver: pairs every selection with the installed ports that
// match it and every matched port with the conditions entries that fit it,
// has each pair checked, and returns the verdict of the first active check
// mode.
#include "check/overall_check.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "check/controller_check.h"
#include "conditions/config_file.h"
#include "driver/base/print_debug.h"
#include "driver/base/settings.h"
#include "inventory/hba_info.h"

namespace {

uint64_t IdPair(int32_t vendor, int32_t device) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(vendor)) << 32) |
         static_cast<uint32_t>(device);
}

// The positions in fc_config_entry_list of the entries of each vendor and
// device id pair, in list order.  Built once per check, so that hundreds of
// ports against a long conditions file stay linear.
class EntryIndex {
 public:
  const std::vector<std::size_t>& Lookup(int32_t vendor, int32_t device) {
    if (!built_) Build();
    auto it = positions_.find(IdPair(vendor, device));
    return it != positions_.end() ? it->second : none_;
  }

 private:
  void Build() {
    built_ = true;
    if (fc_config_entry_list == nullptr) return;
    for (std::size_t i = 0; fc_config_entry_list[i] != nullptr; ++i) {
      const fc_config_file_entry* e = fc_config_entry_list[i];
      positions_[IdPair(e->PciVendorId, e->PciDeviceId)].push_back(i);
    }
  }

  bool built_ = false;
  std::unordered_map<uint64_t, std::vector<std::size_t>> positions_;
  const std::vector<std::size_t> none_{};
};

bool EntrySubIdsFit(const fc_config_file_entry* entry, const hba_attributes_entry* ids) {
  return entry->PciSubVendorId == ids->PciSubVendorId &&
         entry->PciSubDeviceId == ids->PciSubDeviceId;
}

void ReportSkippedPort(const hba_info* port) {
  if (!LevelAbove(5)) return;
  PrintDebugf(2, "\tVendor: %s Model: %s; SN: %s port: %s function: %s\n",
              port->Vendor.c_str(), port->Model.c_str(), port->SerialNumber.c_str(),
              port->PortNumber.c_str(), port->PortFunction.c_str());
  PrintDebugf(1, "\tNo serial number => SKIP\n");
  PrintDebugf(2, "%s\n", kDashRuler);
}

bool Verdict(const global_ctrl_flags* flags) {
  if (active_option_valid_subsystem != 0) {
    return flags->InvalidCtrlSubsystemCombinationFound == 0;
  }
  if (active_option_ctrl_wide_identical != 0) {
    return flags->CtrlSpecificSubsystemEquality != 0;
  }
  if (active_option_ctrl_vendor_wide_identical != 0) {
    return flags->CtrlVendorSpecificSubsystemEquality != 0;
  }
  return true;
}

}  // namespace

bool OverallSubSystemCheck(option_input* selections, global_ctrl_flags* flags) {
  // Every check starts with the vendor identity holding.
  flags->CtrlVendorSpecificSubsystemEquality =
      global_ctrl_flags{}.CtrlVendorSpecificSubsystemEquality;
  flags->VendorWideDifference = vendor_difference{};
  PrintDebugf(3, "\n\n%s\n%s\n", kStarRuler, kStarRuler);

  EntryIndex entries;
  for (const option_input* selection = selections; selection != nullptr;
       selection = selection->next) {
    if (p_hba_info_list == nullptr) break;
    for (hba_info** slot = p_hba_info_list; *slot != nullptr; ++slot) {
      hba_info* port = *slot;
      if (HasNoSerialNumber(port)) {
        ReportSkippedPort(port);
        continue;
      }
      const hba_attributes_entry* ids = port->Attributes;
      if (!SelectionMatchesPort(selection, ids)) continue;

      flags->MatchingCtrlModelInstalled = 1;

      for (std::size_t position : entries.Lookup(ids->PciVendorId, ids->PciDeviceId)) {
        fc_config_file_entry** entry = &fc_config_entry_list[position];
        if (SelectionNamesSubVendor(selection) && !EntrySubIdsFit(*entry, ids)) continue;
        if (LevelAbove(5)) PrintMatchingEntry(position + 1, *entry);
        DoSubSystemCheck(port, entry, flags);
      }
    }
  }

  PrintDebugf(3, "\n%s\n%s\n\n", kStarRuler, kStarRuler);
  return Verdict(flags);
}
