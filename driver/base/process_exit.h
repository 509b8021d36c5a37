// Ending the process from deep inside a step.
//
// A parser that meets input it cannot accept ends the whole run with a
// status.  It does so by throwing ProcessExit, which main() catches and
// turns into the exit status; tests catch it the same way.
#pragma once

struct ProcessExit {
  int status;
};

[[noreturn]] void EndProcess(int status);
