// The run's inventory phase: hbacmd located, reports collected, ports
// ordered and paired, the FCoE ports listed.
#pragma once

#include "driver/run_state.h"

// Returns true when the run goes on with the mode dispatch; otherwise the
// run ends with *status.
bool RunInventoryPhase(run_state* state, int* status);
