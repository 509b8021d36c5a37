// The reference model of classification and pairing: the walks of
// Classify_Ctrl_List and Determine_Flash_Ports as plainly as they can be
// written, every scan over the whole list.  inventory/classify.cc does the
// same with an index; the equivalence tests hold it to this model.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace classify_reference {

// One port as the reference sees it; links are indices into the ports.
struct Port {
  std::string serial, type, function, number;
  int partner = -1;
  int next_fcoe = -1;
};

class Reference {
 public:
  explicit Reference(std::vector<Port> ports) : ports_(std::move(ports)) {
    for (int i = 0; i < static_cast<int>(ports_.size()); ++i) list_.push_back(i);
  }

  const std::vector<int>& list() const { return list_; }
  const Port& port(int id) const { return ports_[id]; }

  void Classify() {
    // FC entries behind the others, then gone.
    std::vector<int> kept;
    for (int id : list_)
      if (ports_[id].type != "FC") kept.push_back(id);
    list_ = kept;

    bool fcoe = false, iscsi = false;
    Walk(0, -1, &fcoe, &iscsi);
    if (!list_.empty()) {
      const std::string& last = ports_[list_.back()].type;
      if (last == "FCoE")
        fcoe = true;
      else if (last == "iSCSI")
        iscsi = true;
    }

    int n = Size();
    for (int p = 0; p < n && (fcoe || iscsi);) {
      bool fcoe_placed = false, iscsi_placed = false, finished = false;
      if (fcoe) fcoe_placed = Place(p, "FCoE", &finished);
      if (finished) break;
      if (fcoe_placed) p = Advance(p);
      if (!fcoe_placed && iscsi) {
        iscsi_placed = Place(p, "iSCSI", &finished);
        if (finished) break;
        if (iscsi_placed) p = Advance(p);
      }
      ++p;
      if (!fcoe_placed && !iscsi_placed) p = n;
    }

    for (int i = 0; i + 1 < n; ++i)
      for (int j = i + 1; j < n && Belongs(i, j); ++j)
        if (Function(list_[j]) < Function(list_[i])) std::swap(list_[i], list_[j]);
  }

  void DetermineFlashPorts() {
    for (int p : list_) {
      if (NoSerial(p)) continue;
      LinkAll(p, '0');
      if (ports_[p].partner < 0) LinkAll(p, '1');
    }
  }

 private:
  int Size() const { return static_cast<int>(list_.size()); }
  bool NoSerial(int id) const { return ports_[id].serial.rfind("n/a", 0) == 0; }
  // The entry at position a belongs with the entry at position b.
  bool Belongs(int a, int b) const {
    return ports_[list_[a]].serial.rfind(ports_[list_[b]].serial, 0) == 0;
  }
  int Function(int id) const {
    int number = 0;
    for (char c : ports_[id].function) {
      if (c < '0' || c > '9') break;
      number = number * 10 + (c - '0');
    }
    return number;
  }

  void Walk(int s, int anchor, bool* fcoe, bool* iscsi) {
    for (int c = s; c + 1 < Size(); ++c) {
      if (anchor >= 0 && !Belongs(c, anchor)) return;
      if (fcoe != nullptr) {
        if (ports_[list_[c]].type == "FCoE")
          *fcoe = true;
        else if (ports_[list_[c]].type == "iSCSI")
          *iscsi = true;
      }
      if (Belongs(c, c + 1)) continue;
      int t = c + 1;
      for (int j = c + 2; j < Size(); ++j)
        if (Belongs(c, j)) std::swap(list_[t++], list_[j]);
    }
  }

  bool Place(int p, const std::string& kind, bool* finished) {
    if (ports_[list_[p]].type == kind) {
      Walk(p, -1, nullptr, nullptr);
      return true;
    }
    if (p + 1 >= Size()) {
      *finished = true;
      return false;
    }
    for (int j = p + 1; j < Size(); ++j) {
      if (ports_[list_[j]].type != kind) continue;
      std::swap(list_[j], list_[p]);
      Walk(p, p, nullptr, nullptr);
      return true;
    }
    return false;
  }

  int Advance(int p) const {
    while (p + 1 < Size() && Belongs(p, p + 1)) ++p;
    return p;
  }

  bool Candidate(int p, int q, char digit, bool exact) const {
    if (NoSerial(q) || ports_[p].serial.rfind(ports_[q].serial, 0) != 0) return false;
    if (exact && ports_[p].serial != ports_[q].serial) return false;
    return ports_[q].function.substr(0, 1) == std::string(1, digit) &&
           ports_[q].number.substr(0, 1) == std::string(1, digit);
  }

  // Candidates of the port's own serial number, when there are any, else
  // those whose serial number is a prefix of its own.
  void LinkAll(int p, char digit) {
    bool exact = false;
    for (int q : list_) exact = exact || Candidate(p, q, digit, true);
    for (int q : list_) {
      if (!Candidate(p, q, digit, exact)) continue;
      ports_[p].partner = q;
      if (ports_[p].type.rfind("FCoE", 0) != 0) continue;
      // Into q's chain, at its end; q itself, when it joins, goes last and
      // leads back to the first.
      ChainEnd& end = ends_[q];
      if (p == q) {
        if (end.holds_partner) continue;
        end.holds_partner = true;
        ports_[end.last < 0 ? q : end.last].next_fcoe = q;
        continue;
      }
      ports_[end.last < 0 ? q : end.last].next_fcoe = p;
      if (end.holds_partner) ports_[p].next_fcoe = q;
      end.last = p;
    }
  }

  struct ChainEnd {
    int last = -1;
    bool holds_partner = false;
  };
  std::unordered_map<int, ChainEnd> ends_;

  std::vector<Port> ports_;
  std::vector<int> list_;  // ids in list order
};

}  // namespace classify_reference
