// The program keeps its settings, the conditions list, the inventory and
// the selection lists in process-wide variables.  Tests and fuzz targets
// put them back between cases with one call.
#pragma once

namespace test_support {

// Frees the conditions list, the inventory and the selection lists and
// puts every setting back to its start value.  The lists must be the
// program's own (a test that published records of its own withdraws them
// first).
void ResetProcessState();

}  // namespace test_support
