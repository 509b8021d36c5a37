// The caller's selection of controllers: one option_input per selected
// controller type, in a singly linked list.
#pragma once

#include <cstdint>

#include "driver/base/fixed_text.h"

struct hba_attributes_entry;

struct option_input {
  FixedText<20> VendorName;       // -vn, stored and echoed only
  FixedText<20> ModelString;      // -mod, stored and echoed only
  int32_t PciVendorId;            // -pci-id id 1, -vid
  FixedText<8> PciVendorIdText;
  int32_t PciSubVendorId;         // -pci-id id 3, -subvid; 0 = not given
  FixedText<8> PciSubVendorIdText;
  int32_t PciDeviceId;            // -pci-id id 2, -dev
  FixedText<8> PciDeviceIdText;
  int32_t PciSubDeviceId;         // -pci-id id 4, -subdev
  FixedText<8> PciSubDeviceIdText;
  option_input* next;
};

// Kind codes of save_list_of_ctrl_options.
constexpr int kSelectVendorId = 0;      // -vid
constexpr int kSelectSubVendorId = 1;   // -subvid
constexpr int kSelectVendorName = 2;    // -vn
constexpr int kSelectDeviceId = 3;      // -dev
constexpr int kSelectSubDeviceId = 4;   // -subdev
constexpr int kSelectModel = 5;         // -mod

// A selection with a sub-vendor id above 0 names a sub-vendor: then the
// sub-ids must agree too.
inline bool SelectionNamesSubVendor(const option_input* selection) {
  return selection->PciSubVendorId > 0;
}

// A port's ids match a selection on vendor and device id, and on the sub
// ids too when the selection names a sub-vendor.  A port without ids
// matches nothing.
bool SelectionMatchesPort(const option_input* selection, const hba_attributes_entry* ids);

// Builds the pci-id list from a -pci-id value and returns its head.  Ends
// the process with 3 or 55 on a malformed value.
option_input* save_list_of_pci_ids(const char* text);

// Stores the items of one ctrl option into the shared positional list and
// returns its head (null while nothing was stored).  Splits the text in
// place.  Ends the process with 55 on a bad id or kind.
option_input* save_list_of_ctrl_options(char* text, int kind);

// A new zero-filled selection, or null.
option_input* get_new_option_input_buffer();

// Forgets both lists (tests and fuzzing only).
void ResetSelectionLists();
