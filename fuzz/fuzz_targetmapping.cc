// The targetmapping report parser on any content, read for one FCoE port
// record.  The first byte chooses the output levels (see
// SetLevelsFromByte); the rest is the report.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "inventory/hba_info.h"
#include "inventory/reports.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadAfterLevelByte(data, size, [](FILE* file, uint8_t) {
    ReadTargetMappingReport(file, NewFuzzPort("FCoE"));
  });
  return 0;
}
