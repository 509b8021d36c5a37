#include "tests/support/process_state.h"

#include "conditions/config_entry.h"
#include "conditions/option_input.h"
#include "driver/settings.h"
#include "inventory/hba_info.h"

namespace test_support {

void ResetProcessState() {
  FreeConfigEntryList();
  FreeHbaInfoList();
  ResetSelectionLists();
  ResetSettings();
}

}  // namespace test_support
