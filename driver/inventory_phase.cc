#include "driver/inventory_phase.h"

#include "driver/base/print_debug.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "inventory/classify.h"
#include "inventory/collect.h"
#include "inventory/hba_info.h"

namespace {

bool InventoryIsEmpty() { return p_hba_info_list == nullptr; }

// A port with a serial number but no flash partner: its adapter's driver
// or firmware does not present the function the adapter is flashed
// through.
bool PortWithoutFlashPartner() {
  for (hba_info** port = p_hba_info_list; port && *port; ++port)
    if (!HasNoSerialNumber(*port) && (*port)->FlashPartner == nullptr) return true;
  return false;
}

void ListFCoEPorts() {
  PrintDebugf(3, "\n%s \n", kStarRow);
  PrintDebugf(3, "\nList of Fibre-Channel-Controller and attached Online-Storage-Systems:\n\n");
  for (hba_info** entry = p_hba_info_list; entry && *entry; ++entry) {
    const hba_info* port = *entry;
    if (!IsFcoePort(port)) continue;
    PrintDebugf(3, "  %s", port->Vendor.c_str());
    PrintDebugf(3, "\t%s", port->Model.c_str());
    PrintDebugf(3, "\t%s", port->PortType.c_str());
    PrintDebugf(3, "\t%s", port->SerialNumber.c_str());
    PrintDebugf(3, "  port %d", static_cast<int>(port->PortIndex));
    PrintDebugf(3, "  function %s\n", port->PortFunction.c_str());
    const target_mapping_entry* storage = port->TargetMapping;
    if (storage != nullptr && !storage->VendorID.empty()) {
      PrintDebugf(3, "\n");
      PrintDebugf(3, "\t%s\n", storage->VendorID.c_str());
      PrintDebugf(3, "\t%s\n", storage->ProductID.c_str());
      PrintDebugf(3, "\t%s\n", storage->ProductVersion.c_str());
    }
    PrintDebugf(3, "\n");
  }
  PrintDebugf(3, "\n%s\n", kStarRow);
}

}  // namespace

bool RunInventoryPhase(run_state* state, int* status) {
  int result = Get_HbaCmd_Path();
  if (result != RET_OK) {
    *status = result;
    return false;
  }
  result = Get_All_Hba_Info();
  if (result != RET_OK && result != RET_NO_FC_CTRL_INSTALLED) {
    *status = result;
    return false;
  }
  if (result == RET_NO_FC_CTRL_INSTALLED || InventoryIsEmpty()) {
    if (LevelAbove(0)) PrintDebugf(1, "\nNo Blade Engine was found in this system.\n\n");
    state->ctrl_flags.NoFcCtrlInstalled = 1;
    *status = state->option_dov_mode ? RET_OK : RET_NO_FC_CTRL_INSTALLED;
    return false;
  }

  Classify_Ctrl_List();
  Determine_Flash_Ports();

  if (PortWithoutFlashPartner()) {
    *status = RET_KERNEL_MODULE_MISSING;
    return false;
  }
  if (LevelAbove(3)) ListFCoEPorts();
  return true;
}
