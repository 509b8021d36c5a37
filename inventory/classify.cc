#include "inventory/classify.h"

#include <utility>

#include "driver/print_debug.h"
#include "inventory/hba_info.h"
#include "inventory/hba_info_memory.h"

namespace {

// Entry a belongs with entry b when a's serial number begins with all of
// b's.  Not symmetric: every entry belongs with one whose serial is empty.
bool BelongsWith(const hba_info* a, const hba_info* b) {
  return a->SerialNumber.starts_with(b->SerialNumber.view());
}

bool IsFC(const hba_info* port) { return port->PortType == "FC"; }
bool IsFCoE(const hba_info* port) { return port->PortType == "FCoE"; }
bool IsISCSI(const hba_info* port) { return port->PortType == "iSCSI"; }

// The value of the leading decimal digits of the PCI function, 0 without
// any.  The field holds three characters at most.
int FunctionNumber(const hba_info* port) {
  int number = 0;
  for (const char* c = port->PortFunction.c_str(); *c >= '0' && *c <= '9'; ++c)
    number = number * 10 + (*c - '0');
  return number;
}

// The list as a counted array; n is the number of entries before the null.
struct PortList {
  hba_info** slot;
  int n;
  hba_info* operator[](int i) const { return slot[i]; }
  void Exchange(int i, int j) const { std::swap(slot[i], slot[j]); }
};

PortList CurrentList() {
  int n = 0;
  while (p_hba_info_list[n] != nullptr) ++n;
  return {p_hba_info_list, n};
}

// One line per entry, numbered from 0; the first line is preceded by its
// own text, in the same message.
void PrintListing(const PortList& list, const char* first_prefix) {
  for (int i = 0; i < list.n; ++i) {
    const hba_info* port = list[i];
    PrintDebugf(6, "%s%d\t%s %s %s %s %s\n", i == 0 ? first_prefix : "", i, port->Model.c_str(),
                port->PortType.c_str(), port->SerialNumber.c_str(), port->PortFunction.c_str(),
                port->PortNumber.c_str());
  }
}

struct KindMarks {
  bool fcoe = false;
  bool iscsi = false;
};

// The grouping walk from position s: the entries that belong with the one
// the walk stands on are gathered right behind it.  With an anchor the walk
// stops at the first entry that does not belong with the anchor's entry.
// With marks, every entry the walk stands on is examined for its kind.
void GroupingWalk(const PortList& list, int s, int anchor, KindMarks* marks) {
  for (int c = s; c + 1 < list.n; ++c) {
    if (anchor >= 0 && !BelongsWith(list[c], list[anchor])) return;
    if (marks != nullptr) {
      if (IsFCoE(list[c]))
        marks->fcoe = true;
      else if (IsISCSI(list[c]))
        marks->iscsi = true;
    }
    if (BelongsWith(list[c], list[c + 1])) continue;
    int t = c + 1;
    for (int j = c + 2; j < list.n; ++j) {
      if (!BelongsWith(list[c], list[j])) continue;
      list.Exchange(t, j);
      ++t;
    }
  }
}

// From p onto the last entry of the run of entries that belong together.
int AdvanceOverGroup(const PortList& list, int p) {
  while (p + 1 < list.n && BelongsWith(list[p], list[p + 1])) ++p;
  return p;
}

// Moves the FC entries behind all others, keeping the order of the
// others, frees them and writes nulls into their slots.
void DropFCEntries(PortList* list) {
  int next = 0;  // no entry that is not FC stands between c and next
  for (int c = 0; c < list->n; ++c) {
    if (!IsFC((*list)[c])) continue;
    if (c == list->n - 1) break;
    int j = next > c + 1 ? next : c + 1;
    while (j < list->n && IsFC((*list)[j])) ++j;
    if (j == list->n) break;  // only FC entries are left
    list->Exchange(c, j);
    next = j + 1;
  }
  for (int i = 0; i < list->n; ++i) {
    if (!IsFC((*list)[i])) continue;
    FreeHbaInfo((*list)[i]);
    list->slot[i] = nullptr;
  }
  *list = CurrentList();
}

// One kind's turn of the ordering at p (sub-step 3 for FCoE, 5 for
// iSCSI).  Returns whether an adapter of the kind was placed at p; sets
// *finished when the ordering is over.
bool PlaceKind(const PortList& list, int p, bool (*is_kind)(const hba_info*), bool* finished) {
  if (is_kind(list[p])) {
    GroupingWalk(list, p, -1, nullptr);
    return true;
  }
  if (p + 1 >= list.n) {
    *finished = true;
    return false;
  }
  for (int j = p + 1; j < list.n; ++j) {
    if (!is_kind(list[j])) continue;
    list.Exchange(j, p);
    GroupingWalk(list, p, p, nullptr);
    return true;
  }
  return false;
}

// Adapters with an FCoE port first, then those with an iSCSI port, each
// headed by such a port.
void OrderByKind(const PortList& list, const KindMarks& marks) {
  int p = 0;
  while (p < list.n && (marks.fcoe || marks.iscsi)) {
    bool finished = false;
    bool fcoe_placed = marks.fcoe && PlaceKind(list, p, IsFCoE, &finished);
    if (finished) return;
    if (fcoe_placed) p = AdvanceOverGroup(list, p);
    bool iscsi_placed = false;
    if (!fcoe_placed) {
      iscsi_placed = marks.iscsi && PlaceKind(list, p, IsISCSI, &finished);
      if (finished) return;
      if (iscsi_placed) p = AdvanceOverGroup(list, p);
    }
    ++p;
    if (!fcoe_placed && !iscsi_placed) p = list.n;
  }
}

// Sorts each adapter by the number of its PCI function.
void SortByFunction(const PortList& list) {
  for (int i = 0; i + 1 < list.n; ++i) {
    for (int j = i + 1; j < list.n && BelongsWith(list[i], list[j]); ++j)
      if (FunctionNumber(list[j]) < FunctionNumber(list[i])) list.Exchange(i, j);
  }
}

void Link(hba_info* port, hba_info* partner) {
  port->FlashPartner = partner;
  if (!port->PortType.starts_with("FCoE")) return;
  hba_info* target = partner->NextFCoEPort == nullptr ? partner : partner->NextFCoEPort;
  target->NextFCoEPort = port;
}

// Links the port to every entry of its adapter with the function and port
// number that begin with the digit; the last such entry stays its partner.
void LinkToPartners(const PortList& list, hba_info* port, char digit) {
  for (int q = 0; q < list.n; ++q) {
    hba_info* partner = list[q];
    if (HasNoSerialNumber(partner) || !BelongsWith(port, partner)) continue;
    if (partner->PortFunction.c_str()[0] != digit || partner->PortNumber.c_str()[0] != digit)
      continue;
    Link(port, partner);
  }
}

}  // namespace

int Classify_Ctrl_List() {
  if (p_hba_info_list == nullptr) return 0;
  PortList list = CurrentList();
  PrintDebugf(6, "\n\nOriginal input list.\n");
  PrintListing(list, "\n");

  DropFCEntries(&list);
  PrintDebugf(6, "\n\nList of CNA controller.\n");
  PrintListing(list, "\n");

  KindMarks marks;
  GroupingWalk(list, 0, -1, &marks);
  if (list.n > 0) {
    if (IsFCoE(list[list.n - 1]))
      marks.fcoe = true;
    else if (IsISCSI(list[list.n - 1]))
      marks.iscsi = true;
  }
  if (marks.fcoe && marks.iscsi)
    PrintDebugf(6, "\nFC and iSCSI ports detected.\n");
  else if (marks.iscsi)
    PrintDebugf(6, "\nOnly iSCSI ports detected.\n");
  else if (marks.fcoe)
    PrintDebugf(6, "\nOnly FC ports detected.\n");

  OrderByKind(list, marks);
  SortByFunction(list);
  PrintListing(list, "\n\nTotal Result after PCI function sort.\n\n");
  return 0;
}

int Determine_Flash_Ports() {
  if (p_hba_info_list == nullptr) return 0;
  PortList list = CurrentList();
  for (int p = 0; p < list.n; ++p) {
    hba_info* port = list[p];
    if (HasNoSerialNumber(port)) continue;
    LinkToPartners(list, port, '0');
    if (port->FlashPartner == nullptr) LinkToPartners(list, port, '1');
  }
  return 0;
}
