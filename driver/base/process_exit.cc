#include "driver/base/process_exit.h"

void EndProcess(int status) { throw ProcessExit{status}; }
