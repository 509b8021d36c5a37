// The hbaattributes report parser on any content, read for one port
// record.  The first byte chooses the output levels (see SetLevelsFromByte)
// and, by its bit 3, whether the port is an FCoE port (addressed by WWN)
// or a NIC function (addressed by MAC); the rest is the report.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "inventory/hba_info.h"
#include "inventory/reports.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadAfterLevelByte(data, size, [](FILE* file, uint8_t first) {
    ReadHbaAttributesReport(file, NewFuzzPort((first & 8) != 0 ? "NIC" : "FCoE"));
  });
  return 0;
}
