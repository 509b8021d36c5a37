#include "inventory/classify.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

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

// The entries of each serial number.  An entry belongs with exactly those
// whose serial number is one of the (at most 24) prefixes of its own, so
// the entries it belongs with are found by looking up those prefixes
// instead of walking the whole list.
using SerialGroups = std::unordered_map<std::string_view, std::vector<int>>;

// Calls visit(id) for every id filed under a prefix of the serial number,
// shortest prefix first.
template <typename Visit>
void ForEachBelongedTo(const SerialGroups& groups, std::string_view serial, Visit visit) {
  for (std::size_t length = 0; length <= serial.size(); ++length) {
    auto group = groups.find(serial.substr(0, length));
    if (group == groups.end()) continue;
    for (int id : group->second) visit(id);
  }
}

// The list as a counted array; n is the number of entries before the null.
// While the walks reorder it, it also knows where each entry stands: an
// entry's id is its position when the tracking started.
struct PortList {
  hba_info** slot;
  int n;
  std::vector<int>* position_of = nullptr;  // by id
  std::vector<int>* id_at = nullptr;        // by position
  hba_info* operator[](int i) const { return slot[i]; }
  void Exchange(int i, int j) const {
    std::swap(slot[i], slot[j]);
    if (position_of == nullptr) return;
    std::swap((*id_at)[i], (*id_at)[j]);
    (*position_of)[(*id_at)[i]] = i;
    (*position_of)[(*id_at)[j]] = j;
  }
};

// The positions and serial groups that the grouping walks look up.
struct WalkIndex {
  std::vector<int> position_of;
  std::vector<int> id_at;
  SerialGroups groups;
};

void StartTracking(PortList* list, WalkIndex* index) {
  index->position_of.resize(list->n);
  index->id_at.resize(list->n);
  index->groups.reserve(list->n);
  for (int i = 0; i < list->n; ++i) {
    index->position_of[i] = i;
    index->id_at[i] = i;
    index->groups[(*list)[i]->SerialNumber.view()].push_back(i);
  }
  list->position_of = &index->position_of;
  list->id_at = &index->id_at;
}

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

// Gathers the entries from c + 2 on that the entry at c belongs with right
// behind it, at c + 1, c + 2, ...: the k-th of them in list order is
// exchanged with the entry at c + k.  This is exactly what scanning the
// rest of the list and exchanging each such entry with the next free slot
// does (every entry that the scan passes over or moves stays behind the
// scan), but it looks only at the entries with a fitting serial number.
void GatherBehind(const PortList& list, const SerialGroups& groups, int c,
                  std::vector<int>* found) {
  found->clear();
  ForEachBelongedTo(groups, list[c]->SerialNumber.view(), [&](int id) {
    int position = (*list.position_of)[id];
    if (position >= c + 2) found->push_back(position);
  });
  std::sort(found->begin(), found->end());
  int t = c + 1;
  for (int j : *found) list.Exchange(t++, j);
}

// The grouping walk from position s: the entries that belong with the one
// the walk stands on are gathered right behind it.  With an anchor the walk
// stops at the first entry that does not belong with the anchor's entry.
// With marks, every entry the walk stands on is examined for its kind.
void GroupingWalk(const PortList& list, const SerialGroups& groups, int s, int anchor,
                  KindMarks* marks) {
  std::vector<int> found;
  for (int c = s; c + 1 < list.n; ++c) {
    if (anchor >= 0 && !BelongsWith(list[c], list[anchor])) return;
    if (marks != nullptr) {
      if (IsFCoE(list[c]))
        marks->fcoe = true;
      else if (IsISCSI(list[c]))
        marks->iscsi = true;
    }
    if (BelongsWith(list[c], list[c + 1])) continue;
    GatherBehind(list, groups, c, &found);
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
bool PlaceKind(const PortList& list, const SerialGroups& groups, int p,
               bool (*is_kind)(const hba_info*), bool* finished) {
  if (is_kind(list[p])) {
    GroupingWalk(list, groups, p, -1, nullptr);
    return true;
  }
  if (p + 1 >= list.n) {
    *finished = true;
    return false;
  }
  for (int j = p + 1; j < list.n; ++j) {
    if (!is_kind(list[j])) continue;
    list.Exchange(j, p);
    GroupingWalk(list, groups, p, p, nullptr);
    return true;
  }
  return false;
}

// Adapters with an FCoE port first, then those with an iSCSI port, each
// headed by such a port.
void OrderByKind(const PortList& list, const SerialGroups& groups, const KindMarks& marks) {
  int p = 0;
  while (p < list.n && (marks.fcoe || marks.iscsi)) {
    bool finished = false;
    bool fcoe_placed = marks.fcoe && PlaceKind(list, groups, p, IsFCoE, &finished);
    if (finished) return;
    if (fcoe_placed) p = AdvanceOverGroup(list, p);
    bool iscsi_placed = false;
    if (!fcoe_placed) {
      iscsi_placed = marks.iscsi && PlaceKind(list, groups, p, IsISCSI, &finished);
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

// The end of the FCoE chain behind one flash partner while the ports are
// entered: the last port entered other than the partner, and whether the
// partner itself is in its chain.
struct ChainEnd {
  hba_info* last = nullptr;
  bool holds_partner = false;
};
using ChainEnds = std::unordered_map<const hba_info*, ChainEnd>;

// Enters an FCoE port into the chain behind its flash partner, which the
// sub-system check walks from the partner's link.  Every port goes to the
// end, so that the check reaches each FCoE port of the adapter (a third
// port must not take the place of the second, or its storage would never be
// checked).  A partner that is an FCoE port itself stays in its own chain,
// last, its link leading back to the first port.  For the usual adapter (a
// NIC partner, two FCoE ports) the chain is partner -> first -> second.
void EnterIntoChain(hba_info* partner, hba_info* port, ChainEnds* ends) {
  ChainEnd& end = (*ends)[partner];
  if (port == partner) {
    if (end.holds_partner) return;
    end.holds_partner = true;
    if (end.last == nullptr)
      partner->NextFCoEPort = partner;
    else
      end.last->NextFCoEPort = partner;
    return;
  }
  if (end.last == nullptr)
    partner->NextFCoEPort = port;
  else
    end.last->NextFCoEPort = port;
  if (end.holds_partner) port->NextFCoEPort = partner;
  end.last = port;
}

void Link(hba_info* port, hba_info* partner, ChainEnds* ends) {
  port->FlashPartner = partner;
  if (port->PortType.starts_with("FCoE")) EnterIntoChain(partner, port, ends);
}

// The entries with a serial number whose function and port number both
// begin with the digit, filed by serial number, each group in list order.
SerialGroups PartnerCandidates(const PortList& list, char digit) {
  SerialGroups candidates;
  for (int q = 0; q < list.n; ++q) {
    const hba_info* partner = list[q];
    if (HasNoSerialNumber(partner)) continue;
    if (partner->PortFunction.c_str()[0] != digit || partner->PortNumber.c_str()[0] != digit)
      continue;
    candidates[partner->SerialNumber.view()].push_back(q);
  }
  return candidates;
}

// Links the port to every candidate that it belongs with, in list order;
// the last one stays its partner.
void LinkToPartners(const PortList& list, const SerialGroups& candidates, hba_info* port,
                    ChainEnds* ends, std::vector<int>* found) {
  found->clear();
  ForEachBelongedTo(candidates, port->SerialNumber.view(),
                    [&](int q) { found->push_back(q); });
  std::sort(found->begin(), found->end());
  for (int q : *found) Link(port, list[q], ends);
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

  WalkIndex index;
  StartTracking(&list, &index);
  KindMarks marks;
  GroupingWalk(list, index.groups, 0, -1, &marks);
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

  OrderByKind(list, index.groups, marks);
  SortByFunction(list);
  PrintListing(list, "\n\nTotal Result after PCI function sort.\n\n");
  return 0;
}

int Determine_Flash_Ports() {
  if (p_hba_info_list == nullptr) return 0;
  PortList list = CurrentList();
  const SerialGroups on_zero = PartnerCandidates(list, '0');
  const SerialGroups on_one = PartnerCandidates(list, '1');
  ChainEnds ends;
  std::vector<int> found;
  for (int p = 0; p < list.n; ++p) {
    hba_info* port = list[p];
    if (HasNoSerialNumber(port)) continue;
    LinkToPartners(list, on_zero, port, &ends, &found);
    if (port->FlashPartner == nullptr) LinkToPartners(list, on_one, port, &ends, &found);
  }
  return 0;
}
