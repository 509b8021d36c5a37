// The start of every fuzz target that needs nothing else made first: the
// program's screen streams go quiet (see QuietScreenStreams).
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietScreenStreams();
  return 0;
}
