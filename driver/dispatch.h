// The run's last phase: the check and/or the flash engine, and the exit
// status derived from the findings.
#pragma once

#include "driver/run_state.h"

// Runs the engines the mode asks for and returns the exit status.
int RunDispatch(run_state* state);
