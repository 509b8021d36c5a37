// Ordering and pairing the inventory.
//
// Written plainly, over the list of n entries
// (tests/support/classify_reference.h holds this walk as written, and the
// tests hold the code below to it):
//
// belongs(a, b): a's serial number begins with all of b's.
//
// group(s, anchor): for c from s while c + 1 < n, and with an anchor while
// belongs(c, anchor): unless belongs(c, c + 1), let t be c + 1, and for
// every j from c + 2 to the end with belongs(c, j) exchange the entries at
// t and j and move t on.
//
// Classify_Ctrl_List: move the FC entries behind the others and free them.
// group(0), marking whether FCoE and iSCSI entries are there.  Then from
// p = 0, as long as an adapter is placed at p: place one with an FCoE entry
// (when the entry at p is FCoE, group(p); else exchange the first later
// FCoE entry to p and group(p, p)), or else one with an iSCSI entry alike,
// each only when its kind is marked, and step p over its run.  Last, for
// each i and each later j while belongs(i, j), exchange the entries at i
// and j when j's function number is smaller.
//
// Determine_Flash_Ports: link every port with a serial number to each
// entry, in list order, of its own serial number or, when there is none,
// that it belongs with, and whose function and port number begin with "0"
// (none: "1"); the last one stays its partner, and an FCoE port joins the
// partner's chain.
//
// Where the plain walk scans the rest of the list for the entries that one
// entry belongs with, the code looks them up: an entry belongs with exactly
// the entries whose serial number is one of the (at most 24) prefixes of its
// own, so an index by serial number finds them, and the list knows where
// each entry stands while it is reordered.  The growth stays near-linear.
#include "inventory/classify.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "driver/base/print_debug.h"
#include "inventory/hba_info.h"

namespace {

// Entry a belongs with entry b when a's serial number begins with all of
// b's.  Not symmetric: every entry belongs with one whose serial is empty.
bool BelongsWith(const hba_info* a, const hba_info* b) {
  return a->SerialNumber.starts_with(b->SerialNumber.view());
}

// The value of the leading decimal digits of the PCI function, 0 without
// any.  The field holds three characters at most.
int FunctionNumber(const hba_info* port) {
  int number = 0;
  for (const char* c = port->PortFunction.c_str(); *c >= '0' && *c <= '9'; ++c)
    number = number * 10 + (*c - '0');
  return number;
}

// The number of entries of p_hba_info_list before its null.
int CountEntries() {
  int n = 0;
  while (p_hba_info_list[n] != nullptr) ++n;
  return n;
}

// p_hba_info_list as a counted array that knows where each entry stands
// while it is reordered: an entry's id is its position when the list was
// taken.
class PortList {
 public:
  PortList() : slot_(p_hba_info_list) {
    int n = CountEntries();
    n_ = n;
    position_of_.resize(n);
    id_at_.resize(n);
    for (int i = 0; i < n; ++i) position_of_[i] = id_at_[i] = i;
  }

  int size() const { return n_; }
  hba_info* operator[](int i) const { return slot_[i]; }
  int PositionOf(int id) const { return position_of_[id]; }

  void Exchange(int i, int j) {
    std::swap(slot_[i], slot_[j]);
    std::swap(id_at_[i], id_at_[j]);
    position_of_[id_at_[i]] = i;
    position_of_[id_at_[j]] = j;
  }

 private:
  hba_info** slot_;
  int n_;
  std::vector<int> position_of_;  // by id
  std::vector<int> id_at_;        // by position
};

// Entry ids (or positions) filed by serial number.
using SerialGroups = std::unordered_map<std::string_view, std::vector<int>>;

SerialGroups GroupBySerial(const PortList& list) {
  SerialGroups groups;
  groups.reserve(list.size());
  for (int i = 0; i < list.size(); ++i) groups[list[i]->SerialNumber.view()].push_back(i);
  return groups;
}

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

// One line per entry, numbered from 0; the first line is preceded by its
// own text, in the same message.
void PrintListing(const PortList& list, const char* first_prefix) {
  for (int i = 0; i < list.size(); ++i) {
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

void Mark(const hba_info* port, KindMarks* marks) {
  if (IsFcoePort(port))
    marks->fcoe = true;
  else if (IsIscsiPort(port))
    marks->iscsi = true;
}

// Gathers the entries from c + 2 on that the entry at c belongs with right
// behind it, at c + 1, c + 2, ...: the k-th of them in list order is
// exchanged with the entry at c + k.  This is exactly what the plain scan
// of the rest of the list does (every entry that the scan passes over or
// moves stays behind the scan), but it looks only at the entries with a
// fitting serial number.
void GatherBehind(PortList& list, const SerialGroups& groups, int c, std::vector<int>* found) {
  found->clear();
  ForEachBelongedTo(groups, list[c]->SerialNumber.view(), [&](int id) {
    int position = list.PositionOf(id);
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
void GroupingWalk(PortList& list, const SerialGroups& groups, int s, int anchor,
                  KindMarks* marks) {
  std::vector<int> found;
  for (int c = s; c + 1 < list.size(); ++c) {
    if (anchor >= 0 && !BelongsWith(list[c], list[anchor])) return;
    if (marks != nullptr) Mark(list[c], marks);
    if (BelongsWith(list[c], list[c + 1])) continue;
    GatherBehind(list, groups, c, &found);
  }
}

// From p onto the last entry of the run of entries that belong together.
int AdvanceOverGroup(const PortList& list, int p) {
  while (p + 1 < list.size() && BelongsWith(list[p], list[p + 1])) ++p;
  return p;
}

// Moves the FC entries behind all others, keeping the order of the
// others, frees them and writes nulls into their slots.  The list is then
// taken again.
void DropFCEntries(PortList* list) {
  int n = list->size();
  int next = 0;  // no entry that is not FC stands between c and next
  for (int c = 0; c < n; ++c) {
    if (!IsFcPort((*list)[c])) continue;
    if (c == n - 1) break;
    int j = next > c + 1 ? next : c + 1;
    while (j < n && IsFcPort((*list)[j])) ++j;
    if (j == n) break;  // only FC entries are left
    list->Exchange(c, j);
    next = j + 1;
  }
  for (int i = 0; i < n; ++i) {
    if (!IsFcPort((*list)[i])) continue;
    FreeHbaInfo((*list)[i]);
    p_hba_info_list[i] = nullptr;
  }
  *list = PortList();
}

// One kind's turn of the ordering at p.  Returns whether an adapter of the
// kind was placed at p; sets *finished when the ordering is over.
bool PlaceKind(PortList& list, const SerialGroups& groups, int p,
               bool (*is_kind)(const hba_info*), bool* finished) {
  if (is_kind(list[p])) {
    GroupingWalk(list, groups, p, -1, nullptr);
    return true;
  }
  if (p + 1 >= list.size()) {
    *finished = true;
    return false;
  }
  for (int j = p + 1; j < list.size(); ++j) {
    if (!is_kind(list[j])) continue;
    list.Exchange(j, p);
    GroupingWalk(list, groups, p, p, nullptr);
    return true;
  }
  return false;
}

// Adapters with an FCoE port first, then those with an iSCSI port, each
// headed by such a port.
void OrderByKind(PortList& list, const SerialGroups& groups, const KindMarks& marks) {
  int p = 0;
  while (p < list.size() && (marks.fcoe || marks.iscsi)) {
    bool finished = false;
    bool fcoe_placed = marks.fcoe && PlaceKind(list, groups, p, IsFcoePort, &finished);
    if (finished) return;
    if (fcoe_placed) p = AdvanceOverGroup(list, p);
    bool iscsi_placed = false;
    if (!fcoe_placed) {
      iscsi_placed = marks.iscsi && PlaceKind(list, groups, p, IsIscsiPort, &finished);
      if (finished) return;
      if (iscsi_placed) p = AdvanceOverGroup(list, p);
    }
    ++p;
    if (!fcoe_placed && !iscsi_placed) p = list.size();
  }
}

// Sorts each adapter by the number of its PCI function.
void SortByFunction(PortList& list) {
  for (int i = 0; i + 1 < list.size(); ++i) {
    for (int j = i + 1; j < list.size() && BelongsWith(list[i], list[j]); ++j)
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
  if (BeginsWithFcoe(port)) EnterIntoChain(partner, port, ends);
}

// The entries with a serial number whose function and port number both
// begin with the digit, filed by serial number, each group in list order.
SerialGroups PartnerCandidates(int n, char digit) {
  SerialGroups candidates;
  for (int q = 0; q < n; ++q) {
    const hba_info* partner = p_hba_info_list[q];
    if (HasNoSerialNumber(partner)) continue;
    if (partner->PortFunction.c_str()[0] != digit || partner->PortNumber.c_str()[0] != digit)
      continue;
    candidates[partner->SerialNumber.view()].push_back(q);
  }
  return candidates;
}

// Links the port to every candidate of its own serial number, in list
// order, or, when there is none, to every candidate that it belongs with;
// the last one stays its partner.  An adapter whose serial number begins
// with another's is thus flashed through its own function, never through
// the other adapter's.
void LinkToPartners(const SerialGroups& candidates, hba_info* port, ChainEnds* ends,
                    std::vector<int>* found) {
  found->clear();
  auto own = candidates.find(port->SerialNumber.view());
  if (own != candidates.end()) {
    *found = own->second;
  } else {
    ForEachBelongedTo(candidates, port->SerialNumber.view(),
                      [&](int q) { found->push_back(q); });
    std::sort(found->begin(), found->end());
  }
  for (int q : *found) Link(port, p_hba_info_list[q], ends);
}

}  // namespace

int Classify_Ctrl_List() {
  if (p_hba_info_list == nullptr) return 0;
  PortList list;
  PrintDebugf(6, "\n\nOriginal input list.\n");
  PrintListing(list, "\n");

  DropFCEntries(&list);
  PrintDebugf(6, "\n\nList of CNA controller.\n");
  PrintListing(list, "\n");

  const SerialGroups groups = GroupBySerial(list);
  KindMarks marks;
  GroupingWalk(list, groups, 0, -1, &marks);
  if (list.size() > 0) Mark(list[list.size() - 1], &marks);
  if (marks.fcoe && marks.iscsi)
    PrintDebugf(6, "\nFC and iSCSI ports detected.\n");
  else if (marks.iscsi)
    PrintDebugf(6, "\nOnly iSCSI ports detected.\n");
  else if (marks.fcoe)
    PrintDebugf(6, "\nOnly FC ports detected.\n");

  OrderByKind(list, groups, marks);
  SortByFunction(list);
  PrintListing(list, "\n\nTotal Result after PCI function sort.\n\n");
  return 0;
}

int Determine_Flash_Ports() {
  if (p_hba_info_list == nullptr) return 0;
  // The order is settled: the list is walked as it stands.
  int n = CountEntries();
  const SerialGroups on_zero = PartnerCandidates(n, '0');
  const SerialGroups on_one = PartnerCandidates(n, '1');
  ChainEnds ends;
  std::vector<int> found;
  for (int p = 0; p < n; ++p) {
    hba_info* port = p_hba_info_list[p];
    if (HasNoSerialNumber(port)) continue;
    LinkToPartners(on_zero, port, &ends, &found);
    if (port->FlashPartner == nullptr) LinkToPartners(on_one, port, &ends, &found);
  }
  return 0;
}
