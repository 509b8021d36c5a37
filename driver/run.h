// The whole run, from the command line to the exit status.
#pragma once

// Returns the exit status; a step that ends the process throws
// ProcessExit instead.
int RunFcguard(int argc, char** argv);
