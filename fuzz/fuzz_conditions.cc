// The conditions file reader on any content.  The first byte chooses the
// output levels (see SetLevelsFromByte); the rest is FC_HBA_Conditions.txt.
// The entries read are then listed as the start-up lists them.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "conditions/config_file.h"
#include "driver/base/process_exit.h"
#include "driver/startup.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietScreenStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  SetLevelsFromByte(data[0]);
  FILE* file = OpenInput(data + 1, size - 1);
  try {
    if (Read_FC_Config_Stream(file, "FC_HBA_Conditions.txt") == 0) PrintConditionsListing();
  } catch (const ProcessExit&) {
    // A refused cell ends the run: a defined outcome.
  }
  std::fclose(file);
  ResetGlobals();
  return 0;
}
