#include "driver/process_exit.h"
#include "driver/run.h"

int main(int argc, char** argv) {
  try {
    return RunFcguard(argc, argv);
  } catch (const ProcessExit& ended) {
    return ended.status;
  }
}
