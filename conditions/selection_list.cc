// Turns the selection options of the command line into lists of
// option_input: -pci-id into a list of its own, -vid, -subvid, -vn, -dev,
// -subdev and -mod into one positional list shared by all six.
#include "conditions/option_input.h"

#include <cstring>
#include <new>
#include <string>

#include "driver/print_debug.h"
#include "driver/process_exit.h"
#include "driver/return_codes.h"
#include "driver/settings.h"
#include "driver/text.h"

namespace {

// The heads of the two lists.  A builder never starts a fresh list: each
// call overwrites its fields from the head onward and appends only where
// the list is too short.
option_input* pci_id_list = nullptr;
option_input* ctrl_option_list = nullptr;

// The four kinds of id, in the order of a -pci-id group.
enum IdKind { kVendor, kDevice, kSubVendor, kSubDevice };

// The node that follows `node` (or the head when `node` is null), created
// when the list ends there.  A node that cannot be allocated ends the run.
option_input* NextNode(option_input** head, option_input* node) {
  option_input** link = node == nullptr ? head : &node->next;
  if (*link == nullptr) {
    *link = get_new_option_input_buffer();
    if (*link == nullptr) {
      PrintDebugf(1, "Could not allocate memory for new option_input.\n");
      EndProcess(RET_MEMALLOC_FAIL);
    }
  }
  return *link;
}

// Stores one id into its fields: the text as written (cut to fit), and the
// value converted from the whole item.  An invalid id ends the run with 55,
// after its message at `message_level` in a run that shows messages.
void StoreId(option_input* node, IdKind kind, char* item, int message_level) {
  int32_t* id = nullptr;
  FixedText<8>* text = nullptr;
  switch (kind) {
    case kVendor: id = &node->PciVendorId; text = &node->PciVendorIdText; break;
    case kDevice: id = &node->PciDeviceId; text = &node->PciDeviceIdText; break;
    case kSubVendor: id = &node->PciSubVendorId; text = &node->PciSubVendorIdText; break;
    case kSubDevice: id = &node->PciSubDeviceId; text = &node->PciSubDeviceIdText; break;
  }
  text->assign(item);
  *id = string2int(item, 16);
  if (*id >= 0) return;
  if (LevelAbove(0)) {
    switch (kind) {
      case kVendor:
        PrintDebugf(message_level, "Error: Vendor-Id %s is not a valid hex value!\n", text->c_str());
        break;
      case kDevice:
        PrintDebugf(message_level, "Error: Device-Id %s is not a valid hex value!\n", text->c_str());
        break;
      case kSubVendor:
        PrintDebugf(message_level, "Error: SubVendor-Id %s is not a valid hex value!\n", text->c_str());
        break;
      case kSubDevice:
        PrintDebugf(message_level, "Error: SubDevice-Id %s is not a valid hex value!\n", text->c_str());
        break;
    }
  }
  EndProcess(RET_FATAL_ERROR);
}

// Cuts the next token off the text at the first separator character and
// returns it, or null when the text has no more.  A run of separators is
// one separator and empty tokens vanish.
char* NextToken(char** cursor, const char* separators) {
  char* token = *cursor + strspn(*cursor, separators);
  if (*token == '\0') return nullptr;
  char* end = token + strcspn(token, separators);
  if (*end != '\0') *end++ = '\0';
  *cursor = end;
  return token;
}

// Fills one node from one -pci-id group: vendor:device[:subvendor:subdevice],
// runs of colons counting as one.
void StorePciIdGroup(option_input* node, char* group, const char* whole_text) {
  static const IdKind kOrder[] = {kVendor, kDevice, kSubVendor, kSubDevice};
  int count = 0;
  char* cursor = group;
  for (char* token = NextToken(&cursor, ":"); token != nullptr;
       token = NextToken(&cursor, ":")) {
    if (count == 4) EndProcess(RET_FATAL_ERROR);
    StoreId(node, kOrder[count], token, 2);
    ++count;
  }
  if (count == 0 || count == 2 || count == 4) return;
  if (LevelAbove(0))
    PrintDebugf(2, "Error: List of PCI-IDs %s is incomplete!\n", whole_text);
  EndProcess(RET_BAD_CALL);
}

void FreeList(option_input** head) {
  while (*head != nullptr) {
    option_input* next = (*head)->next;
    delete *head;
    *head = next;
  }
}

}  // namespace

option_input* get_new_option_input_buffer() {
  return new (std::nothrow) option_input();
}

option_input* save_list_of_pci_ids(const char* text) {
  if (LevelAbove(2)) PrintDebugf(2, "\nList of input pci-ids: \"%s\"\n", text);
  if (*text == '\0') EndProcess(RET_BAD_CALL);

  // Groups are split at every comma; an empty group (a leading comma, two
  // commas in a row, a comma at the end) ends the list.
  std::string copy(text);
  char* group = copy.data();
  option_input* node = NextNode(&pci_id_list, nullptr);
  for (;;) {
    char* comma = strchr(group, ',');
    if (comma != nullptr) *comma = '\0';
    if (*group == '\0') break;
    StorePciIdGroup(node, group, text);
    if (comma == nullptr) break;
    group = comma + 1;
    if (*group == '\0' || *group == ',') break;
    node = NextNode(&pci_id_list, node);
  }

  if (LevelAbove(5)) {
    for (const option_input* n = pci_id_list; n != nullptr; n = n->next) {
      PrintDebugf(2, "\n\tVendor-Id 0x%x\n", static_cast<unsigned>(n->PciVendorId));
      PrintDebugf(2, "\tDevice-Id 0x%x\n", static_cast<unsigned>(n->PciDeviceId));
      PrintDebugf(2, "\tSubVendor-Id 0x%x\n", static_cast<unsigned>(n->PciSubVendorId));
      PrintDebugf(2, "\tSubDevice-Id 0x%x\n", static_cast<unsigned>(n->PciSubDeviceId));
    }
  }
  return pci_id_list;
}

option_input* save_list_of_ctrl_options(char* text, int kind) {
  if (kind < kSelectVendorId || kind > kSelectModel) EndProcess(RET_FATAL_ERROR);

  if (LevelAbove(2)) {
    switch (kind) {
      case kSelectVendorId: PrintDebugf(2, "List of input vendor-ids: %s\n", text); break;
      case kSelectSubVendorId: PrintDebugf(2, "List of input sub-vendor-ids: %s\n", text); break;
      case kSelectVendorName: PrintDebugf(2, "List of input vendor-names: %s\n", text); break;
      case kSelectDeviceId: PrintDebugf(2, "List of input device-ids: %s\n", text); break;
      case kSelectSubDeviceId: PrintDebugf(2, "List of input sub-device-ids: %s\n", text); break;
      case kSelectModel: PrintDebugf(2, "List of input controller-model strings: %s\n", text); break;
    }
  }

  option_input* node = nullptr;
  int number = 0;
  char* cursor = text;
  for (char* item = NextToken(&cursor, ","); item != nullptr;
       item = NextToken(&cursor, ","), ++number) {
    node = NextNode(&ctrl_option_list, node);
    bool echo = LevelAbove(2);
    switch (kind) {
      case kSelectVendorId:
        StoreId(node, kVendor, item, 1);
        if (echo) PrintDebugf(2, "%d. Vendor-Id: 0x%x\n", number, static_cast<unsigned>(node->PciVendorId));
        break;
      case kSelectSubVendorId:
        StoreId(node, kSubVendor, item, 1);
        if (echo) PrintDebugf(2, "%d. SubVendor-Id: 0x%x\n", number, static_cast<unsigned>(node->PciSubVendorId));
        break;
      case kSelectVendorName:
        node->VendorName.assign(item);
        if (echo) PrintDebugf(2, "%d. Vendor: %s\n", number, node->VendorName.c_str());
        break;
      case kSelectDeviceId:
        StoreId(node, kDevice, item, 1);
        if (echo) PrintDebugf(2, "%d. Device-Id: 0x%x\n", number, static_cast<unsigned>(node->PciDeviceId));
        break;
      case kSelectSubDeviceId:
        StoreId(node, kSubDevice, item, 1);
        if (echo) PrintDebugf(2, "%d. SubDevice-Id: 0x%x\n", number, static_cast<unsigned>(node->PciSubDeviceId));
        break;
      case kSelectModel:
        node->ModelString.assign(item);
        if (echo) PrintDebugf(2, "%d. Model: %s\n", number, node->ModelString.c_str());
        break;
    }
  }
  return ctrl_option_list;
}

void ResetSelectionLists() {
  FreeList(&pci_id_list);
  FreeList(&ctrl_option_list);
}
