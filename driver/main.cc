// The whole run, from the command line to the exit status: start-up, the
// inventory, and the dispatch to the check and the flash engine.
#include "driver/base/process_exit.h"
#include "driver/base/shell.h"
#include "driver/dispatch.h"
#include "driver/inventory_phase.h"
#include "driver/run_state.h"
#include "driver/startup.h"

namespace {

// Returns the exit status; a step that ends the process throws
// ProcessExit instead.
int RunFcguard(int argc, char** argv) {
  run_state state{};
  StartUp(argc, argv, &state);
  int status = 0;
  if (!RunInventoryPhase(&state, &status)) return status;
  return RunDispatch(&state);
}

}  // namespace

int main(int argc, char** argv) {
  ProtectStandardStreams();
  try {
    return RunFcguard(argc, argv);
  } catch (const ProcessExit& ended) {
    return ended.status;
  }
}
