#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "driver/base/settings.h"
#include "inventory/hba_info.h"
#include "tests/support/port_record.h"

void QuietScreenStreams() {
  FILE* sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) PropertyFailed("/dev/null cannot be opened");
  // glibc's standard streams are plain variables.  libFuzzer took its own
  // copy of stderr before this runs.
  stdout = sink;
  stderr = sink;
}

void SetLevelsFromByte(uint8_t byte) {
  int level = byte & 7;
  if (level == 7) {
    DebugLevel = 6;
    VerboseLevel = 0;
    PrintDebugOnScreen = 0;
  } else {
    DebugLevel = 0;
    VerboseLevel = level;
    PrintDebugOnScreen = level > 0 ? 1 : 0;
  }
}

FILE* OpenInput(const uint8_t* data, size_t size) {
  static uint8_t empty[1];
  // Read mode never writes into the buffer.
  void* buffer = size == 0 ? empty : const_cast<uint8_t*>(data);
  FILE* file = fmemopen(buffer, size, "r");
  if (file == nullptr) PropertyFailed("fmemopen failed");
  return file;
}

void PropertyFailed(const char* what) {
  // Straight to the descriptor: the stderr stream is quiet.
  const char prefix[] = "fcguard fuzz: property failed: ";
  ssize_t ignored = write(2, prefix, sizeof prefix - 1);
  ignored = write(2, what, std::strlen(what));
  ignored = write(2, "\n", 1);
  (void)ignored;
  std::abort();
}

hba_info* NewFuzzPort(const char* type) {
  hba_info* port = get_new_hba_info_entry();
  if (port == nullptr) PropertyFailed("no memory for a port record");
  test_support::FillPort(port, {"", "", "FC55667788", type, "", "2", "10:00:00:90:fa:55:66:02",
                                "00-90-FA-55-66-02"});
  return port;
}
