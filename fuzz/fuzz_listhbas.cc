// The listhbas report parser on any content, then the classification and
// pairing of whatever inventory it produced.  The first byte chooses the
// output levels (see SetLevelsFromByte); the rest is the report.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "inventory/classify.h"
#include "inventory/hba_info.h"
#include "inventory/reports.h"
#include "fuzz/fuzz_support.h"

namespace {

std::vector<const hba_info*> ListedPorts() {
  std::vector<const hba_info*> ports;
  for (hba_info** slot = p_hba_info_list; slot != nullptr && *slot != nullptr; ++slot)
    ports.push_back(*slot);
  return ports;
}

size_t CountNotFC(const std::vector<const hba_info*>& ports) {
  return static_cast<size_t>(std::count_if(ports.begin(), ports.end(),
                                           [](const hba_info* port) { return !IsFcPort(port); }));
}

// After classification and pairing the list holds exactly the records that
// are not FC, and every link leads to one of them (the FC records were
// freed).  A function 0 on port 0 with a serial number is at least its own
// flash partner.
void CheckClassification(size_t not_fc) {
  std::vector<const hba_info*> ports = ListedPorts();
  if (ports.size() != not_fc || CountNotFC(ports) != not_fc)
    PropertyFailed("classification lost, kept or added records");
  std::vector<const hba_info*> sorted = ports;
  std::sort(sorted.begin(), sorted.end());
  auto listed = [&](const hba_info* port) {
    return std::binary_search(sorted.begin(), sorted.end(), port);
  };
  for (const hba_info* port : ports) {
    if (port->FlashPartner != nullptr && !listed(port->FlashPartner))
      PropertyFailed("a flash partner is not in the list");
    if (port->NextFCoEPort != nullptr && !listed(port->NextFCoEPort))
      PropertyFailed("an FCoE chain link is not in the list");
    if (port->FlashPartner == nullptr && !HasNoSerialNumber(port) &&
        (port->PortFunction.c_str()[0] == '0' && port->PortNumber.c_str()[0] == '0'))
      PropertyFailed("a function 0 on port 0 is not its own adapter's partner");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadAfterLevelByte(data, size, [](FILE* file, uint8_t) {
    if (ReadListHbasReport(file) != 0 || p_hba_info_list == nullptr) return;
    size_t not_fc = CountNotFC(ListedPorts());
    Classify_Ctrl_List();
    Determine_Flash_Ports();
    CheckClassification(not_fc);
  });
  return 0;
}
