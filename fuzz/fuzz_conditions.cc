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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadAfterLevelByte(data, size, [](FILE* file, uint8_t) {
    try {
      if (Read_FC_Config_Stream(file, "FC_HBA_Conditions.txt") == 0) PrintConditionsListing();
    } catch (const ProcessExit&) {
      // A refused cell ends the run: a defined outcome.
    }
  });
  return 0;
}
