// The targetmapping report parser on any content, read for one FCoE port
// record.  The first byte chooses the output levels (see
// SetLevelsFromByte); the rest is the report.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "inventory/hba_info.h"
#include "inventory/reports.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietScreenStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  SetLevelsFromByte(data[0]);
  hba_info* port = NewFuzzPort("FCoE");
  FILE* file = OpenInput(data + 1, size - 1);
  ReadTargetMappingReport(file, port);
  std::fclose(file);
  ResetGlobals();
  return 0;
}
