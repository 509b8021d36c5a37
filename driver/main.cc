#include "driver/process_exit.h"
#include "driver/run.h"
#include "driver/shell.h"

int main(int argc, char** argv) {
  ProtectStandardStreams();
  try {
    return RunFcguard(argc, argv);
  } catch (const ProcessExit& ended) {
    return ended.status;
  }
}
