// Turns the selection options of the command line into lists of
// option_input: -pci-id into a list of its own, -vid, -subvid, -vn, -dev,
// -subdev and -mod into one positional list shared by all six.
#include "conditions/selection_list.h"

#include <cstring>
#include <iterator>
#include <string>

#include "driver/base/print_debug.h"
#include "driver/base/process_exit.h"
#include "driver/base/record_memory.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "driver/base/text.h"
#include "inventory/hba_info.h"

namespace {

// The heads of the two lists.  A builder never starts a fresh list: each
// call overwrites its fields from the head onward and appends only where
// the list is too short.
option_input* pci_id_list = nullptr;
option_input* ctrl_option_list = nullptr;

// The four ids of a selection, in the order of a -pci-id group: the
// fields that hold one, and its name in the refusal.
struct IdField {
  int32_t option_input::*id;
  FixedText<8> option_input::*text;
  const char* name;
};

constexpr IdField kVendor = {&option_input::PciVendorId, &option_input::PciVendorIdText,
                             "Vendor-Id"};
constexpr IdField kDevice = {&option_input::PciDeviceId, &option_input::PciDeviceIdText,
                             "Device-Id"};
constexpr IdField kSubVendor = {&option_input::PciSubVendorId, &option_input::PciSubVendorIdText,
                                "SubVendor-Id"};
constexpr IdField kSubDevice = {&option_input::PciSubDeviceId, &option_input::PciSubDeviceIdText,
                                "SubDevice-Id"};
constexpr const IdField* kPciIdGroup[] = {&kVendor, &kDevice, &kSubVendor, &kSubDevice};

// The six kinds of save_list_of_ctrl_options, by kind code: what the
// heading calls the items, and the field an item goes to (an id, or a
// text stored as given) with its name in the item echo.
struct CtrlOptionKind {
  const char* items;
  const IdField* id;
  FixedText<20> option_input::*text;
  const char* text_name;
};

constexpr CtrlOptionKind kCtrlOptionKinds[] = {
    {"vendor-ids", &kVendor, nullptr, nullptr},                                // kSelectVendorId
    {"sub-vendor-ids", &kSubVendor, nullptr, nullptr},                         // kSelectSubVendorId
    {"vendor-names", nullptr, &option_input::VendorName, "Vendor"},            // kSelectVendorName
    {"device-ids", &kDevice, nullptr, nullptr},                                // kSelectDeviceId
    {"sub-device-ids", &kSubDevice, nullptr, nullptr},                         // kSelectSubDeviceId
    {"controller-model strings", nullptr, &option_input::ModelString, "Model"},  // kSelectModel
};
static_assert(std::size(kCtrlOptionKinds) == kSelectModel + 1);

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
void StoreId(option_input* node, const IdField& field, char* item, int message_level) {
  FixedText<8>& text = node->*field.text;
  text.assign_cut(item);
  node->*field.id = string2int(item, 16);
  if (node->*field.id >= 0) return;
  if (LevelAbove(0))
    PrintDebugf(message_level, "Error: %s %s is not a valid hex value!\n", field.name,
                text.c_str());
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
  int count = 0;
  char* cursor = group;
  for (char* token = NextToken(&cursor, ":"); token != nullptr;
       token = NextToken(&cursor, ":")) {
    if (count == 4) EndProcess(RET_FATAL_ERROR);
    StoreId(node, *kPciIdGroup[count], token, 2);
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
    ReleaseRecord(*head);
    *head = next;
  }
}

}  // namespace

bool SelectionMatchesPort(const option_input* selection, const hba_attributes_entry* ids) {
  if (ids == nullptr) return false;
  if (ids->PciVendorId != selection->PciVendorId || ids->PciDeviceId != selection->PciDeviceId)
    return false;
  if (!SelectionNamesSubVendor(selection)) return true;
  return ids->PciSubVendorId == selection->PciSubVendorId &&
         ids->PciSubDeviceId == selection->PciSubDeviceId;
}

option_input* get_new_option_input_buffer() { return NewRecord<option_input>(); }

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

  const CtrlOptionKind& items = kCtrlOptionKinds[kind];
  if (LevelAbove(2)) PrintDebugf(2, "List of input %s: %s\n", items.items, text);

  option_input* node = nullptr;
  int number = 0;
  char* cursor = text;
  for (char* item = NextToken(&cursor, ","); item != nullptr;
       item = NextToken(&cursor, ","), ++number) {
    node = NextNode(&ctrl_option_list, node);
    if (items.id != nullptr) {
      StoreId(node, *items.id, item, 1);
      if (LevelAbove(2))
        PrintDebugf(2, "%d. %s: 0x%x\n", number, items.id->name,
                    static_cast<unsigned>(node->*items.id->id));
    } else {
      FixedText<20>& stored = node->*items.text;
      stored.assign_cut(item);
      if (LevelAbove(2)) PrintDebugf(2, "%d. %s: %s\n", number, items.text_name, stored.c_str());
    }
  }
  return ctrl_option_list;
}

void ResetSelectionLists() {
  FreeList(&pci_id_list);
  FreeList(&ctrl_option_list);
}
