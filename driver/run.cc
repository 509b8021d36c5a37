#include "driver/run.h"

#include "driver/dispatch.h"
#include "driver/inventory_phase.h"
#include "driver/run_state.h"
#include "driver/startup.h"

int RunFcguard(int argc, char** argv) {
  run_state state{};
  StartUp(argc, argv, &state);
  int status = 0;
  if (!RunInventoryPhase(&state, &status)) return status;
  return RunDispatch(&state);
}
